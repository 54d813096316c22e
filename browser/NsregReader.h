#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/GString.h"

// Netscape's own registry file "nsreg.dat", as far as the program reads it:
// the profile keys below "Users" and their "ProfileLocation" values.
//
// The file is a tree of 32-byte nodes linked by offsets. The reader checks
// every offset against the file's size and every node's own-offset field, and
// counts the nodes it visits, so a truncated file, a wrong offset or a chain
// that loops ends the walk with failure instead of reading past the end or
// going round for ever.
class NsregReader {
 public:
  // Walks file bytes (not owned; they must outlive the call). On success
  // names holds the decoded profile names and locations their folders, one
  // entry each per profile key that has a "ProfileLocation". On failure both
  // hold what was found before the fault.
  static bool ReadProfiles(const uint8_t* bytes, size_t length, std::vector<GString>& names,
                           std::vector<GString>& locations);

 private:
  struct Node {
    uint32_t nameOffset;
    uint16_t nameLength;
    uint16_t type;
    uint32_t next;
    uint32_t child;  // key: first child key
    uint32_t data;   // key: first value entry; value entry: data offset
    uint32_t dataLength;
  };

  NsregReader(const uint8_t* bytes, size_t length);

  bool ReadNode(uint32_t offset, Node& node);
  bool ReadString(uint32_t offset, uint32_t length, GString& text) const;
  bool FindInChain(uint32_t first, const char* name, Node& found);
  bool Walk(std::vector<GString>& names, std::vector<GString>& locations);

  const uint8_t* bytes_;
  size_t length_;
  size_t budget_;  // nodes left to visit before the walk counts as looping
};

// The profiles of "nsreg.dat" in the Windows folder (see NsregReader).
// False when the file is missing, unreadable or damaged.
bool ReadNsregProfiles(std::vector<GString>& names, std::vector<GString>& locations);
