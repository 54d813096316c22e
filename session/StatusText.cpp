#include "session/StatusText.h"

#include "session/CvsApi.h"

namespace session {

namespace {

const char* const kCallingErrors[] = {
    nullptr,
    "A required input parameter could not be read",
    "A required output parameter could not be written",
    "A parameter was malformed",
};

const char* const kRoutineErrors[] = {
    nullptr,
    "An unsupported mechanism was requested",
    "An invalid name was supplied",
    "A supplied name was of an unsupported type",
    "Incorrect channel bindings were supplied",
    "An invalid status code was supplied",
    "A token had an invalid signature",
    "No credentials were supplied, or the credentials were unavailable or inaccessible",
    "No context has been established",
    "A token was invalid",
    "A credential was invalid",
    "The referenced credentials have expired",
    "The context has expired",
    "Unspecified GSS failure",
    "The quality-of-protection requested could not be provided",
    "The operation is forbidden by local security policy",
    "The operation or option is unavailable",
    "The requested credential element already exists",
    "The provided name was not a mechanism name",
};

const char* const kSupplementary[] = {
    "The routine must be called again to complete its function",
    "The token was a duplicate of an earlier token",
    "The token's validity period has expired",
    "A later token has already been processed",
    "An expected per-message token was not received",
};

struct MinorText {
  uint32_t code;
  const char* text;
};

const MinorText kMinorTexts[] = {
    {CVS_MINOR_MALFORMED_TOKEN, "The security token is malformed"},
    {CVS_MINOR_ENROLLMENT_REFUSED,
     "The enrollment service refused the reference number or the authorization code"},
    {CVS_MINOR_ENROLLMENT_UNREACHABLE, "The enrollment service could not be reached"},
    {CVS_MINOR_TOKEN_TYPE, "The security token is not of the type expected here"},
    {CVS_MINOR_UNKNOWN_CONTEXT, "The security token belongs to no known security context"},
    {CVS_MINOR_REPLAYED_TOKEN, "The security token has already been received (replayed)"},
    {CVS_MINOR_OLD_TOKEN, "The security token is too old to be accepted"},
    {CVS_MINOR_INTEGRITY, "The security token failed its integrity check"},
    {CVS_MINOR_PEER_NOT_TRUSTED,
     "The peer's certificate was not issued by the organisation's certification authority"},
    {CVS_MINOR_TARGET_MISMATCH, "The server's name is not the name expected"},
    {CVS_MINOR_WRONG_PASSWORD, "Invalid password"},
    {CVS_MINOR_PROFILE_UNREADABLE, "The profile file cannot be read"},
    {CVS_MINOR_PROFILE_DAMAGED, "The profile file is damaged or not a profile"},
    {CVS_MINOR_CREDENTIAL_EXPIRED, "The profile's certificate is not valid at this time"},
    {CVS_MINOR_HANDSHAKE, "The security context could not be established"},
    {CVS_MINOR_INTERNAL, "Internal error"},
    {CVS_MINOR_NOT_ESTABLISHED, "The security context is not established"},
    {CVS_MINOR_BAD_NAME, "The name is not a valid distinguished name"},
    {CVS_MINOR_NO_TOKEN, "No hardware token is present"},
    {CVS_MINOR_PEER_EXPIRED, "The peer's certificate is not valid at this time"},
    {CVS_MINOR_WRONG_USAGE, "The credential cannot be used for this purpose"},
    {CVS_MINOR_BAD_ARGUMENT, "An argument is missing or invalid"},
    {CVS_MINOR_PROFILE_WRITE, "The profile file cannot be written"},
    {CVS_MINOR_NO_PROFILE, "No profile was given"},
    {CVS_MINOR_TOO_LARGE, "The message is too large"},
    {CVS_MINOR_SEQUENCE_EXHAUSTED, "The security context has sent all the messages it can"},
    {CVS_MINOR_NOT_CONFIGURED, "The configuration file has not been set"},
    {CVS_MINOR_PASSWORD_REFUSED, "The new password does not meet the password rules"},
    {CVS_MINOR_DIRECTORY_UNREACHABLE, "The directory server cannot be reached"},
};

}  // namespace

std::vector<std::string> StatusText::DescribeMajor(uint32_t major) {
  std::vector<std::string> pieces;
  if (major == 0) {
    pieces.emplace_back("The routine completed successfully");
    return pieces;
  }
  uint32_t calling = major >> 24;
  uint32_t routine = (major >> 16) & 0xFF;
  uint32_t supplementary = major & 0xFFFF;
  if (calling >= sizeof kCallingErrors / sizeof kCallingErrors[0] ||
      routine >= sizeof kRoutineErrors / sizeof kRoutineErrors[0] ||
      (supplementary >> (sizeof kSupplementary / sizeof kSupplementary[0])) != 0)
    return pieces;
  if (calling != 0) pieces.emplace_back(kCallingErrors[calling]);
  if (routine != 0) pieces.emplace_back(kRoutineErrors[routine]);
  for (size_t bit = 0; bit < sizeof kSupplementary / sizeof kSupplementary[0]; ++bit)
    if ((supplementary >> bit & 1) != 0) pieces.emplace_back(kSupplementary[bit]);
  return pieces;
}

std::string StatusText::DescribeMinor(uint32_t minor) {
  for (const MinorText& entry : kMinorTexts)
    if (entry.code == minor) return entry.text;
  return std::string();
}

}  // namespace session
