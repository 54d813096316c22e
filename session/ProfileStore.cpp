#include "session/ProfileStore.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace session {

namespace {

bool ReadSmallFile(const char* path, std::string& out) {
  int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  out.clear();
  char chunk[4096];
  bool ok = true;
  for (;;) {
    ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) ok = false;
    if (got <= 0) break;
    if (out.size() + static_cast<size_t>(got) > ProfileStore::kMaxFileSize) {
      ok = false;
      break;
    }
    out.append(chunk, static_cast<size_t>(got));
  }
  ::close(fd);
  return ok;
}

}  // namespace

ProfileStore::Result ProfileStore::Load(const char* path, Profile& out) {
  if (path == nullptr || *path == 0) return Result::kUnreadable;
  std::string text;
  if (!ReadSmallFile(path, text)) return Result::kUnreadable;
  return Profile::Parse(text.data(), text.size(), out) ? Result::kDone : Result::kDamaged;
}

ProfileStore::Result ProfileStore::Save(const char* path, const Profile& profile, bool replace,
                                        AtomicFile::Step failAt) {
  std::string text = profile.Serialize();
  return AtomicFile::Write(path, text.data(), text.size(), replace, failAt) ? Result::kDone
                                                                           : Result::kWriteFailed;
}

ProfileStore::Result ProfileStore::ChangePassword(const char* path, const void* oldPassword,
                                                  size_t oldLength, const void* newPassword,
                                                  size_t newLength, const KdfCost& cost,
                                                  AtomicFile::Step failAt) {
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
  return Save(path, profile, true, failAt);
}

}  // namespace session
