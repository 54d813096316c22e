#pragma once

#include <memory>

#include "browser/BrowserKind.h"
#include "browser/BrowserSettings.h"
#include "common/GString.h"

// Which browser is installed and in use, and the settings object for it.

// Decides the browser from hint (the -browser= value, or null): a hint
// naming Netscape or Internet Explorer decides by itself, "default" (or no
// hint) asks the registry's http and html handlers. A hint longer than 260
// characters, or naming some other program, gives Unknown. The hint is kept
// as the process-wide browser hint. Before a Netscape 4 is reconfigured its
// open windows are closed (CloseNetscapeWindows), unless the configuration
// file says "notKillCommunicator".
BrowserKind DetectBrowserKind(const char* hint);

// The settings object for DetectBrowserKind(hint); null for Unknown or when
// memory runs out.
std::unique_ptr<BrowserSettings> CreateBrowserSettings(const char* hint);

// The settings object for kind without detection: Communicator and
// Communicator45 give CommunicatorSettings (which works out its layout by
// itself), Navigator NavigatorSettings, InternetExplorer
// InternetExplorerSettings, InternetExplorer5 InternetExplorer5Settings,
// anything else null.
std::unique_ptr<BrowserSettings> CreateBrowserSettingsForKind(BrowserKind kind);

// Cuts a command line down to its program path, in place: a leading double
// quote is removed and the text cut at the next one (none: false); otherwise
// the text is cut at the first space. Null gives false.
bool ExtractProgramPath(char* commandLine);

// The Netscape kind of the executable at path, from its version block:
// Unknown without one, Navigator below version 4, Communicator45 for 4.50
// and later (or any version above 4), else Communicator.
BrowserKind NetscapeKindFromExecutable(const char* path);

// Closes the open Netscape windows after asking the user once (message
// 2124). When the user declines, the program ends at once with exit code 0.
void CloseNetscapeWindows();

// Forgets that the user was asked, so that the next sweep asks again. For
// tests, which run several sweeps in one process.
void ResetCloseNetscapeWindowsQuestion();

// The configuration file read for "notKillCommunicator" (section
// "Velgrade"). By default "corvask.ini" beside the program, or in the Windows
// folder when there is none beside it; the application sets its own.
void SetBrowserConfigFile(const char* path);
GString GetBrowserConfigFile();
