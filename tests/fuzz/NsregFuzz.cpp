// The nsreg.dat walker on arbitrary bytes: it must end (no loop), stay inside
// the buffer and keep the two lists the same length.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "browser/NsregReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<GString> names;
  std::vector<GString> locations;
  std::vector<uint8_t> copy(data, data + size);
  NsregReader::ReadProfiles(copy.data(), copy.size(), names, locations);
  if (names.size() != locations.size()) std::abort();
  return 0;
}
