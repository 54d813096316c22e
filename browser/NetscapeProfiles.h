#pragma once

#include <vector>

#include "common/GString.h"

// The Netscape profile list that the browser start-up offers to the user.
//
// newLayout 0 (Netscape 4 before 4.50): the subkeys of HKEY_LOCAL_MACHINE
// "Software\Netscape\Netscape Navigator\Users"; otherwise the profiles of
// "nsreg.dat" with the current one named under HKEY_CURRENT_USER
// "Software\Netscape\Netscape Navigator\biff". current receives the profile
// in use: "CurrentUser" when it names a listed profile, else the last
// enumerated key (old layout, no "CurrentUser") or the first profile; a
// choice made this way is written back as "CurrentUser" when the key can be
// written (old layout without "CurrentUser", or exactly one profile). False
// when the key cannot be opened or no profile is listed.
bool ReadNetscapeProfiles(std::vector<GString>& names, GString& current, int newLayout);

// Decodes a profile name as Netscape stores it: "+" is a space and "%"
// followed by two hexadecimal digits is the byte they give. A "%" not
// followed by two hexadecimal digits is copied unchanged.
GString UrlDecode(const char* text);
