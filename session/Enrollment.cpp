#include "session/Enrollment.h"

#include <openssl/x509.h>

#include <cstring>

#include "session/CertificateAuthority.h"
#include "session/CvsApi.h"
#include "session/EnrollmentMessage.h"
#include "session/InternalError.h"
#include "session/ProfileStore.h"

namespace session {

namespace {

using X509ReqPtr = OpenSslPtr<X509_REQ, X509_REQ_free>;

bool EncodeCertificationRequest(EVP_PKEY* key, std::string& out) {
  X509ReqPtr request(X509_REQ_new());
  if (!request || X509_REQ_set_version(request.get(), 0) != 1 ||
      X509_REQ_set_pubkey(request.get(), key) != 1 || X509_REQ_sign(request.get(), key, EVP_sha256()) <= 0)
    return false;
  unsigned char* der = nullptr;
  int length = i2d_X509_REQ(request.get(), &der);
  if (length <= 0) return false;
  out.assign(reinterpret_cast<const char*>(der), static_cast<size_t>(length));
  OPENSSL_free(der);
  return true;
}

X509Ptr DecodeCertificate(const std::string& der) {
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(der.data());
  X509Ptr certificate(d2i_X509(nullptr, &bytes, static_cast<long>(der.size())));
  if (certificate && bytes != reinterpret_cast<const unsigned char*>(der.data()) + der.size())
    certificate.reset();
  return certificate;
}

// True when certificate is for key and was signed by authority.
bool IsGrantFor(EVP_PKEY* key, X509* certificate, X509* authority) {
  EVP_PKEY* authorityKey = X509_get0_pubkey(authority);
  return authorityKey != nullptr && X509_verify(certificate, authorityKey) == 1 &&
         X509_check_private_key(certificate, key) == 1;
}

}  // namespace

std::shared_ptr<Enrollment> Enrollment::Begin(int32_t reference, std::string_view authorizationCode,
                                              const std::string& profilePath, int newProfile,
                                              OM_uint32& minor) {
  std::shared_ptr<Enrollment> enrollment(new Enrollment());
  enrollment->profilePath_ = profilePath;
  enrollment->newProfile_ = newProfile != 0 ? 1 : 0;
  enrollment->key_ = CertificateAuthority::GenerateKey();
  EnrollmentRequest request;
  request.reference = reference;
  request.newProfile = enrollment->newProfile_;
  std::string macKey = EnrollmentMessage::DeriveMacKey(reference, authorizationCode);
  if (!enrollment->key_ || macKey.empty() ||
      !EncodeCertificationRequest(enrollment->key_.get(), request.request)) {
    OPENSSL_cleanse(macKey.data(), macKey.size());
    InternalError::Record("Cannot make the enrollment key or request");
    minor = CVS_MINOR_INTERNAL;
    return nullptr;
  }
  request.mac = EnrollmentMessage::ComputeMac(macKey, request);
  OPENSSL_cleanse(macKey.data(), macKey.size());
  enrollment->message_ = EnrollmentMessage::EncodeRequest(request);
  return enrollment;
}

bool Enrollment::IsPasswordAcceptable(const char* password) {
  return password != nullptr && std::strlen(password) >= CVS_MIN_PASSWORD_LENGTH;
}

OM_uint32 Enrollment::Finish(std::string_view reply, const char* password, OM_uint32& minor) {
  EnrollmentReply parsed;
  if (!EnrollmentMessage::ParseReply(reply, parsed)) {
    minor = CVS_MINOR_MALFORMED_TOKEN;
    return GSS_S_DEFECTIVE_TOKEN;
  }
  if (!parsed.granted) {
    minor = CVS_MINOR_ENROLLMENT_REFUSED;
    return GSS_S_FAILURE;
  }
  X509Ptr certificate = DecodeCertificate(parsed.certificate);
  X509Ptr authority = DecodeCertificate(parsed.authority);
  if (!certificate || !authority || !IsGrantFor(key_.get(), certificate.get(), authority.get())) {
    minor = CVS_MINOR_MALFORMED_TOKEN;
    return GSS_S_DEFECTIVE_TOKEN;
  }
  if (!IsPasswordAcceptable(password)) {
    minor = CVS_MINOR_PASSWORD_REFUSED;
    return GSS_S_FAILURE;
  }
  Profile profile;
  if (!Profile::Create(key_.get(), certificate.get(), authority.get(), password, std::strlen(password),
                       KdfCost::Default(),
                       profile)) {
    InternalError::Record("Cannot build the profile");
    minor = CVS_MINOR_INTERNAL;
    return GSS_S_FAILURE;
  }
  if (ProfileStore::Save(profilePath_.c_str(), profile, newProfile_ == 0) != ProfileStore::Result::kDone) {
    minor = CVS_MINOR_PROFILE_WRITE;
    return GSS_S_FAILURE;
  }
  return GSS_S_COMPLETE;
}

}  // namespace session
