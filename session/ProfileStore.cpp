#include "session/ProfileStore.h"

#include <string>

#include "common/BinData.h"
#include "platform/Files.h"

namespace session {

ProfileStore::Result ProfileStore::Load(const char* path, Profile& out) {
  if (path == nullptr || *path == 0) return Result::kUnreadable;
  BinData text;
  if (!ReadWholeFile(path, text, kMaxFileSize)) return Result::kUnreadable;
  return Profile::Parse(reinterpret_cast<const char*>(text.GetData()), text.GetLength(), out)
             ? Result::kDone
             : Result::kDamaged;
}

ProfileStore::Result ProfileStore::Save(const char* path, const Profile& profile, bool replace) {
  std::string text = profile.Serialize();
  AtomicWriteOptions options;
  options.replace = replace;
  options.newFileMode = 0600;
  return WriteFileAtomically(path, text.data(), text.size(), options) ? Result::kDone
                                                                      : Result::kWriteFailed;
}

ProfileStore::Result ProfileStore::ChangePassword(const char* path, const void* oldPassword,
                                                  size_t oldLength, const void* newPassword,
                                                  size_t newLength, const KdfCost& cost) {
  if (newLength == 0) return Result::kRefused;
  Profile profile;
  Result loaded = Load(path, profile);
  if (loaded != Result::kDone) return loaded;
  EvpPkeyPtr key;
  switch (profile.Unlock(oldPassword, oldLength, key)) {
    case UnlockResult::kOpened:
      break;
    case UnlockResult::kWrongPassword:
      return Result::kWrongPassword;
    case UnlockResult::kDamaged:
      return Result::kDamaged;
  }
  if (!profile.Relock(key.get(), newPassword, newLength, cost)) return Result::kWriteFailed;
  return Save(path, profile, true);
}

}  // namespace session
