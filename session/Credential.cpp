#include "session/Credential.h"

#include <climits>

#include "session/DistinguishedName.h"
#include "session/InternalError.h"

namespace session {

bool Credential::ToUnixTime(const ASN1_TIME* time, time_t& out) {
  struct tm parts {};
  if (ASN1_TIME_to_tm(time, &parts) != 1) return false;
  out = timegm(&parts);
  return true;
}

SslCtxPtr Credential::MakeTlsContext(EVP_PKEY* key, X509* certificate, X509* authority,
                                     bool initiator) {
  SslCtxPtr context(SSL_CTX_new(initiator ? TLS_client_method() : TLS_server_method()));
  if (!context) return nullptr;
  SSL_CTX* tls = context.get();
  X509StorePtr store(X509_STORE_new());
  if (!store || X509_STORE_add_cert(store.get(), authority) != 1) return nullptr;
  SSL_CTX_set_cert_store(tls, store.release());
  // A context is one TLS 1.3 handshake in exactly three flights: no tickets,
  // no resumption, no compatibility records.
  if (SSL_CTX_set_min_proto_version(tls, TLS1_3_VERSION) != 1 ||
      SSL_CTX_set_max_proto_version(tls, TLS1_3_VERSION) != 1 ||
      SSL_CTX_use_certificate(tls, certificate) != 1 || SSL_CTX_use_PrivateKey(tls, key) != 1 ||
      SSL_CTX_check_private_key(tls) != 1 || SSL_CTX_set_num_tickets(tls, 0) != 1)
    return nullptr;
  SSL_CTX_set_options(tls, SSL_OP_NO_TICKET);
  SSL_CTX_clear_options(tls, SSL_OP_ENABLE_MIDDLEBOX_COMPAT);
  SSL_CTX_set_session_cache_mode(tls, SSL_SESS_CACHE_OFF);
  SSL_CTX_set_verify(tls, SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT, nullptr);
  SSL_CTX_set_verify_depth(tls, 1);
  return context;
}

std::shared_ptr<Credential> Credential::Create(EVP_PKEY* key, X509* certificate, X509* authority,
                                               int usage, const std::string& profilePath) {
  std::shared_ptr<Credential> credential(new (std::nothrow) Credential());
  if (!credential || key == nullptr || certificate == nullptr || authority == nullptr) return nullptr;
  credential->usage_ = usage;
  credential->profilePath_ = profilePath;
  credential->name_ = DistinguishedName::Format(X509_get_subject_name(certificate));
  if (credential->name_.empty() || !ToUnixTime(X509_get0_notBefore(certificate), credential->notBefore_) ||
      !ToUnixTime(X509_get0_notAfter(certificate), credential->notAfter_)) {
    InternalError::Record("The certificate's name or validity cannot be read");
    return nullptr;
  }
  if (usage != kAccept) {
    credential->client_ = MakeTlsContext(key, certificate, authority, true);
    if (!credential->client_) {
      InternalError::Record("Cannot prepare the initiator's TLS configuration");
      return nullptr;
    }
  }
  if (usage != kInitiate) {
    credential->server_ = MakeTlsContext(key, certificate, authority, false);
    if (!credential->server_) {
      InternalError::Record("Cannot prepare the acceptor's TLS configuration");
      return nullptr;
    }
  }
  return credential;
}

SSL_CTX* Credential::GetTlsContext(bool initiator) const {
  return initiator ? client_.get() : server_.get();
}

uint32_t Credential::GetLifetime() const {
  time_t now = time(nullptr);
  if (now >= notAfter_) return 0;
  time_t left = notAfter_ - now;
  return left >= static_cast<time_t>(UINT32_MAX) ? UINT32_MAX - 1 : static_cast<uint32_t>(left);
}

}  // namespace session
