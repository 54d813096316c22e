// Arbitrary text offered to CliDecryptor::Decrypt as a server value: it must
// either decrypt or be refused with the output untouched, never crash.
#include <cstdint>
#include <cstdlib>

#include "common/GString.h"
#include "credentials/CliDecryptor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static CliDecryptor* decryptor = [] {
    auto* prepared = new CliDecryptor(BinData("87654321", 8), BinData("4500123412341234", 16));
    if (prepared->Prepare() != 0) std::abort();
    return prepared;
  }();
  BinData out("x", 1);
  const SK_Status status = decryptor->Decrypt(GString(reinterpret_cast<const char*>(data), size), out);
  if (status != kSkOk && !(out.GetLength() == 1 && out.GetData()[0] == 'x')) std::abort();
  // Plaintext is never longer than the text it came from.
  if (status == kSkOk && out.GetLength() > 1 + size) std::abort();
  return 0;
}
