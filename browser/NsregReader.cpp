#include "browser/NsregReader.h"

#include <cstring>

#include "browser/NetscapeProfiles.h"
#include "common/BinData.h"
#include "platform/Files.h"
#include "platform/WindowsFolder.h"

namespace {

constexpr size_t kHeaderSize = 16;
constexpr size_t kNodeSize = 32;
// Netscape's registry stays far below this; a larger file is not read.
constexpr size_t kFileLimit = 64 * 1024 * 1024;

uint32_t Read32(const uint8_t* p) {
  return p[0] | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

uint16_t Read16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

}  // namespace

NsregReader::NsregReader(const uint8_t* bytes, size_t length)
    : bytes_(bytes), length_(length), budget_(length / kNodeSize + 1) {}

bool NsregReader::ReadNode(uint32_t offset, Node& node) {
  if (budget_ == 0) return false;
  --budget_;
  if (offset > length_ || length_ - offset < kNodeSize) return false;
  const uint8_t* p = bytes_ + offset;
  if (Read32(p) != offset) return false;
  node.nameOffset = Read32(p + 4);
  node.nameLength = Read16(p + 8);
  node.type = Read16(p + 10);
  node.next = Read32(p + 12);
  node.child = Read32(p + 16);
  node.data = Read32(p + 20);
  node.dataLength = Read32(p + 24);
  return true;
}

bool NsregReader::ReadString(uint32_t offset, uint32_t length, GString& text) const {
  if (offset > length_ || length_ - offset < length) return false;
  const char* start = reinterpret_cast<const char*>(bytes_ + offset);
  const void* nul = std::memchr(start, 0, length);
  size_t used = nul != nullptr ? static_cast<size_t>(static_cast<const char*>(nul) - start) : length;
  text = GString(start, used);
  return true;
}

bool NsregReader::FindInChain(uint32_t first, const char* name, Node& found) {
  uint32_t offset = first;
  while (offset != 0) {
    GString nodeName;
    if (!ReadNode(offset, found) || !ReadString(found.nameOffset, found.nameLength, nodeName)) return false;
    if (nodeName == name) return true;
    offset = found.next;
  }
  return false;
}

bool NsregReader::Walk(std::vector<GString>& names, std::vector<GString>& locations) {
  if (length_ < kHeaderSize) return false;
  Node root{};
  if (!ReadNode(Read32(bytes_ + 12), root)) return false;
  Node users{};
  if (!FindInChain(root.child, "Users", users)) return false;
  uint32_t offset = users.child;
  while (offset != 0) {
    Node profile{};
    GString name;
    if (!ReadNode(offset, profile) || !ReadString(profile.nameOffset, profile.nameLength, name)) return false;
    Node location{};
    uint32_t entry = profile.data;
    bool haveLocation = false;
    while (entry != 0 && !haveLocation) {
      GString entryName;
      if (!ReadNode(entry, location) || !ReadString(location.nameOffset, location.nameLength, entryName)) {
        return false;
      }
      haveLocation = entryName == "ProfileLocation";
      entry = location.next;
    }
    if (haveLocation) {
      GString folder;
      if (!ReadString(location.data, location.dataLength, folder)) return false;
      names.push_back(UrlDecode(name));
      locations.push_back(folder);
    }
    offset = profile.next;
  }
  return true;
}

bool NsregReader::ReadProfiles(const uint8_t* bytes, size_t length, std::vector<GString>& names,
                               std::vector<GString>& locations) {
  if (bytes == nullptr) return false;
  NsregReader reader(bytes, length);
  return reader.Walk(names, locations);
}

bool ReadNsregProfiles(std::vector<GString>& names, std::vector<GString>& locations) {
  GString path = GetWindowsDirectory() + "/nsreg.dat";
  BinData file;
  if (!ReadWholeFile(path.Text(), file, kFileLimit)) return false;
  return NsregReader::ReadProfiles(file.GetData(), file.GetLength(), names, locations);
}
