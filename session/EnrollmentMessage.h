#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace session {

// What a client asks of the organisation's enrollment service: a
// certificate for the public key of request (a DER PKCS#10 request signed
// with its own key), under the pending enrollment reference, proven by mac.
struct EnrollmentRequest {
  int32_t reference = 0;
  int newProfile = 1;
  std::string request;
  std::string mac;
};

// The service's answer: the holder's certificate and the authority's (DER),
// or a refusal when granted is false.
struct EnrollmentReply {
  bool granted = false;
  std::string certificate;
  std::string authority;
};

// The enrollment messages as they travel, the same bytes on the direct route
// (one TCP exchange) and through the server proxy (one POST body each way):
//
//   VELGRADE-ENROLL 1          VELGRADE-ENROLLED 1        VELGRADE-REFUSED 1
//   reference=<decimal>        certificate=<base64>
//   new=<0|1>                  authority=<base64>
//   request=<base64>
//   mac=<base64>
//
// each line ending in LF. The MAC is HMAC-SHA256 over the reference, the flag
// and the request, keyed with DeriveMacKey of the authorization code; the
// service keeps only that derived key.
class EnrollmentMessage {
 public:
  static constexpr size_t kMaxSize = 32 * 1024;
  static constexpr size_t kMacKeySize = 32;
  static constexpr int kMacKeyRounds = 20000;

  static std::string EncodeRequest(const EnrollmentRequest& request);
  // False when text is not a complete, well-formed request.
  static bool ParseRequest(std::string_view text, EnrollmentRequest& out);
  static std::string EncodeReply(const EnrollmentReply& reply);
  static bool ParseReply(std::string_view text, EnrollmentReply& out);

  // PBKDF2-HMAC-SHA256 of the authorization code, salted with the reference
  // number. Empty on an OpenSSL failure.
  static std::string DeriveMacKey(int32_t reference, std::string_view authorizationCode);
  // The MAC of request under macKey; empty on an OpenSSL failure.
  static std::string ComputeMac(std::string_view macKey, const EnrollmentRequest& request);
  // Compares in constant time.
  static bool VerifyMac(std::string_view macKey, const EnrollmentRequest& request);
};

}  // namespace session
