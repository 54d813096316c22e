#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Builds small "nsreg.dat" files for tests: a root key with the top-level
// keys "Common" and "Users", one key per profile below "Users", each with a
// "Version" value entry and, when wanted, a "ProfileLocation" entry.
struct NsregProfile {
  std::string storedName;
  bool hasLocation = true;
  std::string location;
};

struct NsregImage {
  std::vector<uint8_t> bytes;
  std::vector<uint32_t> profileNodes;  // offset of each profile's key node
};

NsregImage BuildNsreg(const std::vector<NsregProfile>& profiles);

// Field access for tests that damage an image.
void PutU32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value);
