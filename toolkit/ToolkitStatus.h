#pragma once

#include <cstdint>

namespace toolkit {

// The 16-bit status codes of the signing toolkit. 0 is success; codes from
// 0x0001 to 0x00FF are warnings (the call did its work, with a remark); codes
// from 0xF000 up, negative as signed 16-bit values, are errors.
class ToolkitStatus {
 public:
  static constexpr int16_t kOk = 0;
  // Warnings.
  static constexpr int16_t kCertificateExpiresSoon = 0x0001;
  static constexpr int16_t kNoProfile = 0x0002;
  // Errors.
  static constexpr int16_t kBadArgument = static_cast<int16_t>(0xF001);
  static constexpr int16_t kInternal = static_cast<int16_t>(0xF002);
  static constexpr int16_t kProfileUnreadable = static_cast<int16_t>(0xF010);
  static constexpr int16_t kProfileDamaged = static_cast<int16_t>(0xF011);
  static constexpr int16_t kWrongPassword = static_cast<int16_t>(0xF012);
  static constexpr int16_t kCertificateExpired = static_cast<int16_t>(0xF013);
  static constexpr int16_t kCertificateNotYetValid = static_cast<int16_t>(0xF014);
  static constexpr int16_t kNotLoggedIn = static_cast<int16_t>(0xF020);
  static constexpr int16_t kNotStarted = static_cast<int16_t>(0xF021);
  static constexpr int16_t kUnsupported = static_cast<int16_t>(0xF022);
  static constexpr int16_t kDataTooLarge = static_cast<int16_t>(0xF023);
  static constexpr int16_t kSigningFailed = static_cast<int16_t>(0xF030);
  static constexpr int16_t kTargetTooSmall = static_cast<int16_t>(0xF040);
  static constexpr int16_t kNotEncoded = static_cast<int16_t>(0xF041);
  // Logged in, but the organisation's directory did not answer. The log-in
  // handle is valid all the same; the caller decides whether to keep it.
  static constexpr int16_t kDirectoryUnreachable = static_cast<int16_t>(0xF075);

  static bool IsWarning(int32_t code) { return code > 0 && code <= 0xFF; }

  // A readable text for code, in static storage; unknown codes share one text.
  static const char* Text(int32_t code);

  // Clears a warning in code (a warning becomes 0) and returns what is left
  // as an unsigned 16-bit value; errors and success are left as they are.
  static uint16_t RemoveWarning(int16_t& code);
};

}  // namespace toolkit
