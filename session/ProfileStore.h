#pragma once

#include <cstddef>

#include "session/Profile.h"

namespace session {

// Profiles on disk: reading, writing and changing the password of a profile
// file. Every write is atomic (WriteFileAtomically): a profile file is always
// either the old one or the new one, and a new one is readable by its owner
// only.
class ProfileStore {
 public:
  // Profile files are small; a larger file is not a profile.
  static constexpr size_t kMaxFileSize = 64 * 1024;

  enum class Result {
    kDone,
    kUnreadable,     // missing, unreadable or too large
    kDamaged,        // not a profile, or its key does not fit its certificate
    kWrongPassword,
    kRefused,        // an empty new password
    kWriteFailed,
  };

  static Result Load(const char* path, Profile& out);
  static Result Save(const char* path, const Profile& profile, bool replace);

  // Re-encrypts the key of the profile at path under the new password and
  // rewrites the file. Any failure leaves the old file, which still opens
  // with the old password.
  static Result ChangePassword(const char* path, const void* oldPassword, size_t oldLength,
                               const void* newPassword, size_t newLength, const KdfCost& cost);
};

}  // namespace session
