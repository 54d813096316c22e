#pragma once

#include "common/GString.h"
#include "engine/Velgrade.h"

// The user's credential life on the engine: signing on with a profile and a
// password (and logging in to the optional signing toolkit), signing on again
// on demand, changing the password, reporting who is signed on, and the
// hardware-token queries of the log-in dialog. The state lives in the engine
// (Velgrade::GetCredentialState); signing off is the engine's own SignOff.
//
// Every operation runs on the thread that drives the engine, reports by its
// result and tells the user through the engine's messages. Passwords handed
// in stay the caller's; every copy made here is overwritten before release.
class SignOnManager {
 public:
  // Lets the layers below reach EnsureSignedOn through the engine.
  static void Install(Velgrade& engine);

  // Signs on with the profile (a profile file path; empty = take over a
  // log-in that is already open) and its password. Makes no library call when
  // a credential exists already. True when a credential exists afterwards.
  static bool SignOn(Velgrade& engine, const char* profile, const char* password);

  // True when signed on, asking the log-in prompt callback for profile and
  // password as often as the wrong-password count allows (three tries).
  // A cancelled prompt resets the count. Without a prompt callback: false.
  static bool EnsureSignedOn(Velgrade& engine);

  // Changes the password of the signed-on profile. False (after a message)
  // when not signed on, in single-login mode or when the library refuses.
  static bool ChangePassword(Velgrade& engine, const char* oldPassword, const char* newPassword);

  // Who is signed on: detailed gives the distinguished name and the end of
  // the credential's validity, else the profile's short name. False when not
  // signed on.
  static bool GetSignOnInfo(Velgrade& engine, GString& text, int detailed);

  // True when corvask.ini names a cryptographic token library, so the log-in
  // dialog should look for a token.
  static bool IsTokenConfigured(Velgrade& engine);
  // Token queries; each returns false when the library call fails.
  static bool IsTokenRemoved(int& removed);
  static bool GetNumTokenProfiles(int& count);
  static bool GetTokenProfileName(int index, GString& name);

  // The profile's file title: the part after the last folder separator and
  // before the last dot.
  static GString MakeShortName(const GString& profile);

 private:
  static bool AcquireCredential(Velgrade& engine, const GString& profile, const GString& password);
  static bool AcceptUnreachableDirectory(Velgrade& engine, const GString& profile);
  static void RememberNames(Velgrade& engine, const GString& profile);
  static void ReadDistinguishedName(Velgrade& engine);
  static bool LogInToToolkit(Velgrade& engine, const GString& profile, const GString& password);
};
