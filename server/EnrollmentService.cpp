#include "server/EnrollmentService.h"

#include <openssl/crypto.h>
#include <openssl/x509.h>

#include <ctime>

#include "server/AuthorityFolder.h"
#include "session/CertificateAuthority.h"
#include "session/DistinguishedName.h"
#include "session/EnrollmentMessage.h"

namespace {

using X509ReqPtr = session::OpenSslPtr<X509_REQ, X509_REQ_free>;

std::string ToDer(X509* certificate) {
  unsigned char* der = nullptr;
  int length = i2d_X509(certificate, &der);
  if (length <= 0) return std::string();
  std::string out(reinterpret_cast<const char*>(der), static_cast<size_t>(length));
  OPENSSL_free(der);
  return out;
}

// The public key of a self-signed certification request; null when the
// request does not decode or its signature does not verify.
session::EvpPkeyPtr ProvenKey(const std::string& der) {
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(der.data());
  X509ReqPtr request(d2i_X509_REQ(nullptr, &bytes, static_cast<long>(der.size())));
  if (!request || bytes != reinterpret_cast<const unsigned char*>(der.data()) + der.size()) return nullptr;
  session::EvpPkeyPtr key(X509_REQ_get_pubkey(request.get()));
  if (!key || X509_REQ_verify(request.get(), key.get()) != 1) return nullptr;
  return key;
}

// The value after the first "name=" up to the next "&", as a client reads it.
std::string FirstValue(const std::string& body, const std::string& name) {
  size_t start = body.find(name + "=");
  if (start == std::string::npos) return std::string();
  start += name.size() + 1;
  return body.substr(start, body.find('&', start) - start);
}

std::string Refuse(std::string& outcome, const char* reason) {
  outcome = reason;
  return session::EnrollmentMessage::EncodeReply(session::EnrollmentReply());
}

}  // namespace

std::string EnrollmentService::RegistrationBody(const std::string& reference, const std::string& code) {
  std::string body = "ref=" + reference + "&auth=" + code;
  if (FirstValue(body, "ref") == reference && FirstValue(body, "auth") == code) return body;
  return "auth=" + code + "&ref=" + reference;
}

bool EnrollmentService::Open(const std::string& folder, std::string& error) {
  folder_ = folder;
  return AuthorityFolder::Load(folder, key_, certificate_, error);
}

std::string EnrollmentService::Answer(std::string_view text, std::string& outcome) const {
  session::EnrollmentRequest request;
  if (!session::EnrollmentMessage::ParseRequest(text, request)) return Refuse(outcome, "malformed request");
  EnrollmentStore store(folder_);
  std::string macKey, name;
  EnrollmentStore::Result found = store.FindEnrollment(request.reference, macKey, name);
  bool proven = found == EnrollmentStore::Result::kDone && session::EnrollmentMessage::VerifyMac(macKey, request);
  OPENSSL_cleanse(macKey.data(), macKey.size());
  if (found == EnrollmentStore::Result::kUsed) return Refuse(outcome, "reference number already used");
  if (found != EnrollmentStore::Result::kDone) return Refuse(outcome, "unknown reference number");
  if (!proven) return Refuse(outcome, "wrong authorization code");
  session::EvpPkeyPtr subjectKey = ProvenKey(request.request);
  session::X509NamePtr subject = session::DistinguishedName::Parse(name);
  if (!subjectKey || !subject) return Refuse(outcome, "unusable certification request");
  time_t now = time(nullptr);
  session::X509Ptr issued = session::CertificateAuthority::Issue(
      key_.get(), certificate_.get(), subject.get(), subjectKey.get(), session::CertificateAuthority::Role::kUser,
      now - 60, now + kCertificateDays * 86400);
  session::EnrollmentReply reply;
  reply.granted = true;
  reply.certificate = issued ? ToDer(issued.get()) : std::string();
  reply.authority = ToDer(certificate_.get());
  if (reply.certificate.empty() || reply.authority.empty()) return Refuse(outcome, "cannot issue the certificate");
  EnrollmentStore::Result used = store.UseEnrollment(request.reference);
  if (used == EnrollmentStore::Result::kUsed) return Refuse(outcome, "reference number already used");
  if (used != EnrollmentStore::Result::kDone) return Refuse(outcome, "cannot record the enrollment");
  outcome = "certificate issued for " + name;
  return session::EnrollmentMessage::EncodeReply(reply);
}

bool EnrollmentService::AnswerRegistration(std::string_view identifier, std::string& body,
                                           std::string& outcome) const {
  std::string reference, code;
  switch (EnrollmentStore(folder_).UseCardHolder(std::string(identifier), reference, code)) {
    case EnrollmentStore::Result::kDone:
      body = RegistrationBody(reference, code);
      outcome = "card holder registered";
      return true;
    case EnrollmentStore::Result::kUsed:
      outcome = "card holder already registered";
      return false;
    case EnrollmentStore::Result::kUnknown:
      outcome = "unknown card holder";
      return false;
    default:
      outcome = "cannot read the enrollment store";
      return false;
  }
}
