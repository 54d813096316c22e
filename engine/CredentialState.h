#pragma once

#include "common/GString.h"
#include "engine/ToolkitEntryPoints.h"
#include "platform/CriticalSection.h"
#include "platform/Win32Types.h"
#include "session/GssApi.h"

// What the engine keeps of the signed-on user: the session library's
// credential, the signing toolkit's log-in and the names shown to the user.
// The engine owns it; the sign-on operations fill it and SignOff empties it.
struct CredentialState {
  // Owned: released with gss_release_cred by SignOff. None while signed off.
  gss_cred_id_t credential = GSS_C_NO_CREDENTIAL;
  // The toolkit's log-in, 0 when there is none; ended by SignOff.
  CVHandle toolkitHandle = 0;
  // Owned: loaded at most once per engine, freed by the engine's destructor.
  HMODULE toolkitModule = nullptr;
  // Valid while toolkitModule is loaded.
  ToolkitEntryPoints toolkit;
  // The name the toolkit is loaded by.
  GString toolkitLibrary = "cvapi32.dll";
  // The profile path signed on with, or the one the library reports.
  GString profileName;
  // The profile's file title (no folder, no extension), shown to the user.
  GString shortName;
  // The credential's distinguished name and its base64 form.
  GString distinguishedName;
  GString distinguishedNameBase64;
  // Held while the name strings are rebuilt or read.
  CriticalSection lock;
};
