#pragma once

#include <atomic>
#include <ctime>
#include <memory>
#include <string>

#include "session/OpenSslTypes.h"

namespace session {

// An opened profile: the holder's certificate and private key, ready to
// establish contexts. It owns one TLS 1.3 configuration per usage it was
// opened for (initiator: client, acceptor: server), each presenting the
// holder's certificate, demanding one from the peer and trusting only the
// organisation's authority. The private key lives only inside those
// configurations (OpenSSL frees keys cleansed).
//
// Shared by the credential table and by every context made with it, so a
// context keeps working after the caller released the credential.
class Credential {
 public:
  static constexpr int kInitiate = 1;
  static constexpr int kAccept = 2;
  static constexpr int kBoth = 0;

  // Builds the credential; null on an OpenSSL failure (recorded as an
  // internal error). Does not judge the certificate's validity period.
  static std::shared_ptr<Credential> Create(EVP_PKEY* key, X509* certificate, X509* authority,
                                            int usage, const std::string& profilePath);

  // The TLS configuration for the role, or null when the credential was not
  // opened for it.
  SSL_CTX* GetTlsContext(bool initiator) const;

  const std::string& GetName() const { return name_; }
  const std::string& GetProfilePath() const { return profilePath_; }
  int GetUsage() const { return usage_; }
  time_t GetNotAfter() const { return notAfter_; }
  time_t GetNotBefore() const { return notBefore_; }
  // Seconds until the certificate expires, 0 once it has.
  uint32_t GetLifetime() const;

  // A certificate time as seconds since 1970; false when unreadable.
  static bool ToUnixTime(const ASN1_TIME* time, time_t& out);

  void MarkProfileChanged() { profileChanged_ = true; }
  bool IsProfileChanged() const { return profileChanged_; }

 private:
  Credential() = default;
  static SslCtxPtr MakeTlsContext(EVP_PKEY* key, X509* certificate, X509* authority,
                                  bool initiator);

  SslCtxPtr client_;
  SslCtxPtr server_;
  std::string name_;
  std::string profilePath_;
  int usage_ = kInitiate;
  time_t notBefore_ = 0;
  time_t notAfter_ = 0;
  std::atomic<bool> profileChanged_{false};
};

}  // namespace session
