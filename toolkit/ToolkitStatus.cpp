#include "toolkit/ToolkitStatus.h"

namespace toolkit {

namespace {

struct StatusText {
  int16_t code;
  const char* text;
};

constexpr StatusText kTexts[] = {
    {ToolkitStatus::kOk, "The toolkit call succeeded."},
    {ToolkitStatus::kCertificateExpiresSoon, "Your signing certificate expires within 14 days."},
    {ToolkitStatus::kNoProfile, "No profile was named: forms cannot be signed."},
    {ToolkitStatus::kBadArgument, "A toolkit call was given a missing or invalid argument."},
    {ToolkitStatus::kInternal, "The signing toolkit failed internally."},
    {ToolkitStatus::kProfileUnreadable, "The profile cannot be read."},
    {ToolkitStatus::kProfileDamaged, "The profile is damaged."},
    {ToolkitStatus::kWrongPassword, "Invalid password."},
    {ToolkitStatus::kCertificateExpired, "Your signing certificate has expired."},
    {ToolkitStatus::kCertificateNotYetValid, "Your signing certificate is not valid yet."},
    {ToolkitStatus::kNotLoggedIn, "Not logged in to the signing toolkit."},
    {ToolkitStatus::kNotStarted, "The data to protect was not started."},
    {ToolkitStatus::kUnsupported, "The signing toolkit does not support this request."},
    {ToolkitStatus::kDataTooLarge, "The data to protect is too large."},
    {ToolkitStatus::kSigningFailed, "The data could not be signed."},
    {ToolkitStatus::kTargetTooSmall, "The target buffer is too small."},
    {ToolkitStatus::kNotEncoded, "The text is not in the toolkit's ASCII form."},
    {ToolkitStatus::kDirectoryUnreachable, "The public directory is unavailable."},
};

}  // namespace

const char* ToolkitStatus::Text(int32_t code) {
  for (const StatusText& entry : kTexts) {
    if (entry.code == code || static_cast<uint16_t>(entry.code) == code) return entry.text;
  }
  return "Unknown signing toolkit status.";
}

uint16_t ToolkitStatus::RemoveWarning(int16_t& code) {
  if (IsWarning(code)) code = kOk;
  return static_cast<uint16_t>(code);
}

}  // namespace toolkit
