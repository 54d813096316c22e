#pragma once

#include "validation/Export.h"

// The rules for a new password, exported from the resource library with C
// linkage.

// Message ids of the password rules, in the order they are tested.
inline constexpr int kPasswordTooShort = 122;
inline constexpr int kPasswordRepeatsCharacter = 123;
inline constexpr int kPasswordNeedsLowerCase = 124;
inline constexpr int kPasswordNeedsUpperCase = 125;
inline constexpr int kPasswordEqualsUserName = 126;
inline constexpr int kPasswordContainsUserName = 127;
inline constexpr int kPasswordEqualsOldPassword = 129;

extern "C" {

// Returns 0 when `newPassword` is acceptable for `userName`, else the message
// id of the first rule it breaks. With L its length and H = L / 2: at least 8
// characters; no character more than H times; a lower-case and an upper-case
// letter; not the user name ignoring case; when the user name has at least H
// characters, none of its runs of H characters inside the password (both in
// lower case); not the old password ignoring case, when one is given.
// Letter classes and case follow the current locale. A null user name or new
// password counts as empty; a null old password skips the last rule. The
// lower-case copy of the password is overwritten before it is freed.
VELGRES_EXPORT int CvValidatePassword(const char* userName, const char* newPassword,
                                      const char* oldPassword);

}  // extern "C"
