#pragma once

#include <string>
#include <string_view>

#include "server/EnrollmentStore.h"
#include "session/OpenSslTypes.h"

// The organisation's enrollment service over one authority folder: checks
// a client's enrollment request against the pending enrollment it names,
// issues the user's certificate and uses the enrollment up; and answers a
// card holder's registration identifier with the encrypted reference number
// and authorization code. Shared by threads; holds no per-request state.
class EnrollmentService {
 public:
  static constexpr long kCertificateDays = 365;

  // Loads the authority of folder. False with error.
  bool Open(const std::string& folder, std::string& error);

  // The answer to one request message (always a message: a grant or a
  // refusal); outcome says why, for the log.
  std::string Answer(std::string_view request, std::string& outcome) const;

  // "ref=<value>&auth=<value>" for a card holder known by identifier that
  // has not registered yet; false (outcome set) otherwise.
  bool AnswerRegistration(std::string_view identifier, std::string& body, std::string& outcome) const;

  // The registration answer for two Base64 values. Base64 text may end in
  // "auth=" or "ref==", which a client looking for the first "auth=" or
  // "ref=" would take for the field itself: of the two orders, the one that
  // reads back as written.
  static std::string RegistrationBody(const std::string& reference, const std::string& code);

 private:
  std::string folder_;
  session::EvpPkeyPtr key_;
  session::X509Ptr certificate_;
};
