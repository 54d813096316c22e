#include "credentials/sk/SK_User.h"

#include <algorithm>
#include <new>

namespace {

struct ListEntry {
  const char* name;
  SKKEYTYPE keyType;
  unsigned long bits;
  SKHASHERTYPE hashType;
};

constexpr ListEntry kCiphers[] = {{"CAST-128", kSkKeyCast128, 128, 0}, {"CAST-80", kSkKeyCast128, 80, 0}};
constexpr ListEntry kHashes[] = {{"SHA-1", 0, 0, kSkHashSha1}};

}  // namespace

SK_User::SK_User(SKKEYTYPE keyType, SKHASHERTYPE hashType, unsigned long number)
    : keyType_(keyType), hashType_(hashType), number_(number) {}

SK_User::~SK_User() = default;

SK_Status SK_User::GenerateRandom(uint8_t* out, size_t length) {
  CriticalSectionLock lock(randomLock_);
  return random_.Generate(out, length);
}

SK_Status SK_User::GenerateRandom(BinData& out, unsigned long length) {
  out.Wipe();
  SK_Status status = out.SetLength(length);
  if (status == kSkOk) status = GenerateRandom(out.GetData(), out.GetLength());
  if (status != kSkOk) out.Clear();
  return status;
}

void SK_User::SetPolicyFlags(bool first, bool second) {
  CriticalSectionLock lock(policyLock_);
  policyFirst_ = first;
  policySecond_ = second;
}

SK_Status SK_User::GrantCapability(unsigned long capability) {
  CriticalSectionLock lock(policyLock_);
  if (HasCapability(capability)) return kSkOk;
  try {
    capabilities_.push_back(capability);
  } catch (const std::bad_alloc&) {
    return kSkNoMemory;
  }
  return kSkOk;
}

bool SK_User::HasCapability(unsigned long capability) const {
  return std::find(capabilities_.begin(), capabilities_.end(), capability) != capabilities_.end();
}

bool SK_User::WithholdsCiphers() {
  CriticalSectionLock lock(policyLock_);
  if (!policyFirst_ || policySecond_) return false;
  return !std::all_of(std::begin(kCipherCapabilities), std::end(kCipherCapabilities),
                      [this](unsigned long capability) { return HasCapability(capability); });
}

SK_Status SK_User::GetAlgorithmList(GString* names, SKKEYTYPE* keyTypes, unsigned long* keyBits,
                                    SKHASHERTYPE* hashTypes, unsigned long& count, SKALGCLASS algClass) {
  const ListEntry* entries;
  unsigned long available;
  if (algClass == kSkClassSymmetric) {
    entries = kCiphers;
    available = WithholdsCiphers() ? 0 : std::size(kCiphers);
  } else if (algClass == kSkClassHash) {
    entries = kHashes;
    available = std::size(kHashes);
  } else {
    count = 0;
    return kSkUnknownAlgorithmClass;
  }

  if (names == nullptr && keyTypes == nullptr && keyBits == nullptr && hashTypes == nullptr) {
    count = available;
    return kSkOk;
  }
  const unsigned long written = std::min(count, available);
  for (unsigned long i = 0; i < written; ++i) {
    if (names != nullptr) names[i] = entries[i].name;
    if (keyTypes != nullptr) keyTypes[i] = entries[i].keyType;
    if (keyBits != nullptr) keyBits[i] = entries[i].bits;
    if (hashTypes != nullptr) hashTypes[i] = entries[i].hashType;
  }
  count = written;
  return kSkOk;
}
