#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "session/GssApi.h"
#include "session/Profile.h"

namespace session {

// One enrollment in progress: the fresh key pair and the request message
// that asks the organisation's service to certify it. The key lives only in
// this object until Finish has written it, encrypted, into the profile.
class Enrollment {
 public:
  // Makes the key pair and the request bound to reference and proven with
  // the authorization code. Null (minor set) on an OpenSSL failure.
  static std::shared_ptr<Enrollment> Begin(int32_t reference, std::string_view authorizationCode,
                                           const std::string& profilePath, int newProfile,
                                           OM_uint32& minor);

  // True when the library's password policy accepts password.
  static bool IsPasswordAcceptable(const char* password);

  const std::string& GetRequestMessage() const { return message_; }

  // Writes the profile from the service's reply, the key encrypted under
  // password. Minor 40 for a refused password (nothing is written and the
  // enrollment may finish later), 42 for a refusal of the service, 1 for a
  // reply that is not a grant for this key, 21 when the file cannot be
  // written (a new profile never replaces an existing file).
  OM_uint32 Finish(std::string_view reply, const char* password, OM_uint32& minor);

 private:
  Enrollment() = default;

  EvpPkeyPtr key_;
  std::string message_;
  std::string profilePath_;
  int newProfile_ = 1;
};

}  // namespace session
