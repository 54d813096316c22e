#include "tests/browser/NsregWriter.h"

namespace {

constexpr uint16_t kKeyType = 0x01;
constexpr uint16_t kValueType = 0x11;

class Image {
 public:
  Image() { bytes_.assign(16, 0); }

  // Appends a node and its name; returns the node's offset.
  uint32_t AddNode(const std::string& name, uint16_t type) {
    uint32_t node = static_cast<uint32_t>(bytes_.size());
    bytes_.resize(bytes_.size() + 32, 0);
    uint32_t nameOffset = AddBytes(name + std::string(1, '\0'));
    PutU32(bytes_, node, node);
    PutU32(bytes_, node + 4, nameOffset);
    PutU16(node + 8, static_cast<uint16_t>(name.size() + 1));
    PutU16(node + 10, type);
    return node;
  }

  uint32_t AddBytes(const std::string& data) {
    uint32_t offset = static_cast<uint32_t>(bytes_.size());
    bytes_.insert(bytes_.end(), data.begin(), data.end());
    return offset;
  }

  void PutU16(size_t offset, uint16_t value) {
    bytes_[offset] = static_cast<uint8_t>(value);
    bytes_[offset + 1] = static_cast<uint8_t>(value >> 8);
  }

  void Link(uint32_t node, size_t field, uint32_t target) { PutU32(bytes_, node + field, target); }

  uint32_t AddValue(const std::string& name, const std::string& data) {
    uint32_t node = AddNode(name, kValueType);
    uint32_t dataOffset = AddBytes(data + std::string(1, '\0'));
    Link(node, 16, static_cast<uint32_t>(data.size() + 1));
    Link(node, 20, dataOffset);
    Link(node, 24, static_cast<uint32_t>(data.size() + 1));
    return node;
  }

  std::vector<uint8_t> bytes_;
};

}  // namespace

void PutU32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

NsregImage BuildNsreg(const std::vector<NsregProfile>& profiles) {
  Image image;
  NsregImage result;
  PutU32(image.bytes_, 0, 0x76644441);
  uint32_t root = image.AddNode("/", kKeyType);
  PutU32(image.bytes_, 12, root);
  uint32_t common = image.AddNode("Common", kKeyType);
  uint32_t users = image.AddNode("Users", kKeyType);
  image.Link(root, 16, common);
  image.Link(common, 12, users);
  image.Link(common, 28, root);
  image.Link(users, 28, root);
  uint32_t previous = 0;
  for (const NsregProfile& profile : profiles) {
    uint32_t key = image.AddNode(profile.storedName, kKeyType);
    image.Link(key, 28, users);
    result.profileNodes.push_back(key);
    if (previous == 0) {
      image.Link(users, 16, key);
    } else {
      image.Link(previous, 12, key);
    }
    previous = key;
    uint32_t version = image.AddValue("Version", "4.61");
    image.Link(key, 20, version);
    if (profile.hasLocation) image.Link(version, 12, image.AddValue("ProfileLocation", profile.location));
  }
  PutU32(image.bytes_, 8, static_cast<uint32_t>(image.bytes_.size()));
  result.bytes = image.bytes_;
  return result;
}
