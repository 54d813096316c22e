#pragma once

#include <ctime>

#include "session/OpenSslTypes.h"

namespace session {

// The organisation's certification authority: makes key pairs, its own
// self-signed certificate and the certificates of server proxies and users.
// Keys are EC P-256; certificates are X.509 v3 signed with SHA-256.
class CertificateAuthority {
 public:
  enum class Role { kServer, kUser };

  static EvpPkeyPtr GenerateKey();

  // A self-signed authority certificate for name (the name is copied).
  static X509Ptr CreateRoot(EVP_PKEY* key, const X509_NAME* name, time_t notBefore,
                            time_t notAfter);

  // A certificate for subject and its public key, signed by the authority.
  // A server's certificate is for TLS server use, a user's for TLS client
  // use, so neither can stand in for the other.
  static X509Ptr Issue(EVP_PKEY* authorityKey, X509* authority, const X509_NAME* subject,
                       EVP_PKEY* subjectKey, Role role, time_t notBefore, time_t notAfter);
};

}  // namespace session
