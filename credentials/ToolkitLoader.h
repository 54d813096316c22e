#pragma once

#include "engine/CredentialState.h"

// Loads the optional signing toolkit for the engine's credential state.
class ToolkitLoader {
 public:
  // Loads the library named by state.toolkitLibrary unless it is loaded
  // already, and fetches its twelve entry points. True when the toolkit is
  // usable afterwards. A library that lacks one of the calls the log-in needs
  // is freed again and counts as missing.
  static bool Load(CredentialState& state);
};
