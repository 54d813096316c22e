#include "session/CertificateAuthority.h"

#include <openssl/ec.h>
#include <openssl/rand.h>

namespace session {

namespace {

bool SetRandomSerial(X509* certificate) {
  BignumPtr number(BN_new());
  if (!number || BN_rand(number.get(), 127, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY) != 1) return false;
  return BN_to_ASN1_INTEGER(number.get(), X509_get_serialNumber(certificate)) != nullptr;
}

bool SetValidity(X509* certificate, time_t notBefore, time_t notAfter) {
  return notBefore < notAfter && ASN1_TIME_set(X509_getm_notBefore(certificate), notBefore) &&
         ASN1_TIME_set(X509_getm_notAfter(certificate), notAfter);
}

bool AddExtension(X509* certificate, X509V3_CTX* context, int nid, const char* value) {
  X509ExtensionPtr extension(X509V3_EXT_conf_nid(nullptr, context, nid, value));
  return extension && X509_add_ext(certificate, extension.get(), -1) == 1;
}

X509Ptr StartCertificate(const X509_NAME* subject, const X509_NAME* issuer, EVP_PKEY* key,
                         time_t notBefore, time_t notAfter) {
  X509Ptr certificate(X509_new());
  if (!certificate || X509_set_version(certificate.get(), 2) != 1 ||
      !SetRandomSerial(certificate.get()) || !SetValidity(certificate.get(), notBefore, notAfter) ||
      X509_set_subject_name(certificate.get(), subject) != 1 ||
      X509_set_issuer_name(certificate.get(), issuer) != 1 ||
      X509_set_pubkey(certificate.get(), key) != 1)
    return nullptr;
  return certificate;
}

}  // namespace

EvpPkeyPtr CertificateAuthority::GenerateKey() {
  return EvpPkeyPtr(EVP_EC_gen("P-256"));
}

X509Ptr CertificateAuthority::CreateRoot(EVP_PKEY* key, const X509_NAME* name, time_t notBefore,
                                         time_t notAfter) {
  if (key == nullptr || name == nullptr) return nullptr;
  X509Ptr certificate = StartCertificate(name, name, key, notBefore, notAfter);
  if (!certificate) return nullptr;
  X509V3_CTX context;
  X509V3_set_ctx(&context, certificate.get(), certificate.get(), nullptr, nullptr, 0);
  if (!AddExtension(certificate.get(), &context, NID_basic_constraints, "critical,CA:TRUE,pathlen:0") ||
      !AddExtension(certificate.get(), &context, NID_key_usage, "critical,keyCertSign,cRLSign") ||
      !AddExtension(certificate.get(), &context, NID_subject_key_identifier, "hash") ||
      X509_sign(certificate.get(), key, EVP_sha256()) <= 0)
    return nullptr;
  return certificate;
}

X509Ptr CertificateAuthority::Issue(EVP_PKEY* authorityKey, X509* authority,
                                    const X509_NAME* subject, EVP_PKEY* subjectKey, Role role,
                                    time_t notBefore, time_t notAfter) {
  if (authorityKey == nullptr || authority == nullptr || subject == nullptr ||
      subjectKey == nullptr)
    return nullptr;
  X509Ptr certificate = StartCertificate(subject, X509_get_subject_name(authority), subjectKey,
                                         notBefore, notAfter);
  if (!certificate) return nullptr;
  X509V3_CTX context;
  X509V3_set_ctx(&context, authority, certificate.get(), nullptr, nullptr, 0);
  const char* usage = role == Role::kServer ? "serverAuth" : "clientAuth";
  if (!AddExtension(certificate.get(), &context, NID_basic_constraints, "critical,CA:FALSE") ||
      !AddExtension(certificate.get(), &context, NID_key_usage, "critical,digitalSignature") ||
      !AddExtension(certificate.get(), &context, NID_ext_key_usage, usage) ||
      !AddExtension(certificate.get(), &context, NID_subject_key_identifier, "hash") ||
      !AddExtension(certificate.get(), &context, NID_authority_key_identifier, "keyid:always") ||
      X509_sign(certificate.get(), authorityKey, EVP_sha256()) <= 0)
    return nullptr;
  return certificate;
}

}  // namespace session
