#pragma once

#include <string>

#include "session/GssApi.h"

namespace vserver {

// The server's signed-on identity: an accepting credential opened from its
// profile, and the distinguished name it carries. Releases the credential
// when destroyed.
class ServerCredential {
 public:
  ServerCredential() = default;
  ~ServerCredential();
  ServerCredential(const ServerCredential&) = delete;
  ServerCredential& operator=(const ServerCredential&) = delete;

  // Opens profilePath with the password; the caller wipes the password.
  // False with error filled when the profile cannot be opened.
  bool SignOn(const std::string& profilePath, const std::string& password, std::string& error);
  // Reads the password from the first line of a file and signs on with it.
  bool SignOnWithPasswordFile(const std::string& profilePath, const std::string& passwordFile,
                              std::string& error);

  gss_cred_id_t Get() const { return credential_; }
  const std::string& GetName() const { return name_; }

 private:
  bool ReadName(std::string& error);

  gss_cred_id_t credential_ = GSS_C_NO_CREDENTIAL;
  std::string name_;
};

// The readable text of a major and minor status pair.
std::string GssStatusText(OM_uint32 major, OM_uint32 minor);

}  // namespace vserver
