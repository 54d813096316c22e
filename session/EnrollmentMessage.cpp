#include "session/EnrollmentMessage.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <map>

#include "common/Base64.h"
#include "common/BinData.h"

namespace session {

namespace {

constexpr char kRequestTag[] = "VELGRADE-ENROLL 1";
constexpr char kGrantedTag[] = "VELGRADE-ENROLLED 1";
constexpr char kRefusedTag[] = "VELGRADE-REFUSED 1";

using Fields = std::map<std::string, std::string, std::less<>>;

// Splits LF-ended lines into the tag line and key=value fields; false on a
// repeated key, a line without '=' or text after the last LF.
bool SplitLines(std::string_view text, std::string& tag, Fields& fields) {
  if (text.size() > EnrollmentMessage::kMaxSize || text.empty() || text.back() != '\n') return false;
  bool first = true;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end + 1);
    if (first) {
      tag.assign(line);
      first = false;
      continue;
    }
    size_t equals = line.find('=');
    if (equals == std::string_view::npos || equals == 0) return false;
    if (!fields.emplace(std::string(line.substr(0, equals)), std::string(line.substr(equals + 1))).second)
      return false;
  }
  return true;
}

bool DecodeField(const Fields& fields, const char* key, std::string& out) {
  auto found = fields.find(key);
  if (found == fields.end() || found->second.empty()) return false;
  for (char c : found->second)
    if (c == ' ' || c == '\r' || c == '\t') return false;
  BinData bytes;
  if (!Base64Decode(found->second.data(), found->second.size(), bytes) || bytes.GetLength() == 0) return false;
  out.assign(reinterpret_cast<const char*>(bytes.GetData()), bytes.GetLength());
  return true;
}

bool DecimalField(const Fields& fields, const char* key, long low, long high, long& out) {
  auto found = fields.find(key);
  if (found == fields.end() || found->second.empty() || found->second.size() > 11) return false;
  const std::string& text = found->second;
  for (size_t i = 0; i < text.size(); ++i)
    if (!(text[i] >= '0' && text[i] <= '9') && !(i == 0 && text[i] == '-' && text.size() > 1)) return false;
  errno = 0;
  out = std::strtol(text.c_str(), nullptr, 10);
  return errno == 0 && out >= low && out <= high;
}

std::string EncodeField(const char* key, const std::string& bytes) {
  GString text = Base64Encode(bytes.data(), bytes.size());
  return std::string(key) + "=" + std::string(text.Text(), text.Size()) + "\n";
}

std::string MacInput(const EnrollmentRequest& request) {
  return "reference=" + std::to_string(request.reference) + "\nnew=" + std::to_string(request.newProfile) +
         "\n" + request.request;
}

}  // namespace

std::string EnrollmentMessage::EncodeRequest(const EnrollmentRequest& request) {
  return std::string(kRequestTag) + "\nreference=" + std::to_string(request.reference) +
         "\nnew=" + std::to_string(request.newProfile) + "\n" + EncodeField("request", request.request) +
         EncodeField("mac", request.mac);
}

bool EnrollmentMessage::ParseRequest(std::string_view text, EnrollmentRequest& out) {
  std::string tag;
  Fields fields;
  if (!SplitLines(text, tag, fields) || tag != kRequestTag || fields.size() != 4) return false;
  long reference = 0;
  long newProfile = 0;
  EnrollmentRequest parsed;
  if (!DecimalField(fields, "reference", INT32_MIN, INT32_MAX, reference) ||
      !DecimalField(fields, "new", 0, 1, newProfile) || !DecodeField(fields, "request", parsed.request) ||
      !DecodeField(fields, "mac", parsed.mac))
    return false;
  parsed.reference = static_cast<int32_t>(reference);
  parsed.newProfile = static_cast<int>(newProfile);
  out = std::move(parsed);
  return true;
}

std::string EnrollmentMessage::EncodeReply(const EnrollmentReply& reply) {
  if (!reply.granted) return std::string(kRefusedTag) + "\n";
  return std::string(kGrantedTag) + "\n" + EncodeField("certificate", reply.certificate) +
         EncodeField("authority", reply.authority);
}

bool EnrollmentMessage::ParseReply(std::string_view text, EnrollmentReply& out) {
  std::string tag;
  Fields fields;
  if (!SplitLines(text, tag, fields)) return false;
  EnrollmentReply parsed;
  if (tag == kRefusedTag && fields.empty()) {
    out = parsed;
    return true;
  }
  if (tag != kGrantedTag || fields.size() != 2 || !DecodeField(fields, "certificate", parsed.certificate) ||
      !DecodeField(fields, "authority", parsed.authority))
    return false;
  parsed.granted = true;
  out = std::move(parsed);
  return true;
}

std::string EnrollmentMessage::DeriveMacKey(int32_t reference, std::string_view authorizationCode) {
  std::string salt = "Velgrade enrollment " + std::to_string(reference);
  std::string key(kMacKeySize, '\0');
  if (PKCS5_PBKDF2_HMAC(authorizationCode.data(), static_cast<int>(authorizationCode.size()),
                        reinterpret_cast<const unsigned char*>(salt.data()), static_cast<int>(salt.size()),
                        kMacKeyRounds, EVP_sha256(), static_cast<int>(key.size()),
                        reinterpret_cast<unsigned char*>(key.data())) != 1)
    return std::string();
  return key;
}

std::string EnrollmentMessage::ComputeMac(std::string_view macKey, const EnrollmentRequest& request) {
  std::string input = MacInput(request);
  unsigned char mac[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (HMAC(EVP_sha256(), macKey.data(), static_cast<int>(macKey.size()),
           reinterpret_cast<const unsigned char*>(input.data()), input.size(), mac, &length) == nullptr)
    return std::string();
  return std::string(reinterpret_cast<const char*>(mac), length);
}

bool EnrollmentMessage::VerifyMac(std::string_view macKey, const EnrollmentRequest& request) {
  std::string expected = ComputeMac(macKey, request);
  return !expected.empty() && expected.size() == request.mac.size() &&
         CRYPTO_memcmp(expected.data(), request.mac.data(), expected.size()) == 0;
}

}  // namespace session
