// Base64 decoding of arbitrary text; whatever decodes must encode back to text
// that decodes to the same bytes.
#include <cstdint>
#include <cstdlib>

#include "common/Base64.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  BinData out;
  if (!Base64Decode(reinterpret_cast<const char*>(data), size, out)) return 0;
  GString again = Base64Encode(out);
  BinData back;
  if (!Base64Decode(again, back) || !(back == out)) std::abort();
  return 0;
}
