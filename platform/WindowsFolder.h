#pragma once

#include "common/GString.h"

// The folder that plays the part of the Windows folder: the fallback place of
// the configuration file, the browser's registry file and the registry store.
// It is $VELGRADE_WINDIR when that is set and not empty, else
// $XDG_CONFIG_HOME/velgrade when XDG_CONFIG_HOME is an absolute path, else
// $HOME/.config/velgrade (the home folder from the password database when HOME
// is not set). The folder and any missing parents are created (mode 0700) on
// each call when they do not exist yet. Returned without a trailing '/'; a
// creation failure still returns the path, so that the caller's own file
// access reports the problem.
GString GetWindowsDirectory();
