#pragma once

#include <vector>

#include "browser/NavigatorSettings.h"

// Netscape 4: proxy and form-warning preferences in the current profile's
// "prefs.js". Saving reads the file; every change appends "user_pref" lines
// at its end (the browser takes the last line for a name), so earlier lines
// are never rewritten.
//
// The constructor reads the version of the browser executable (from the
// browser hint or the NetscapeMarkup command): 4.50 and later keep their
// profiles in "nsreg.dat" (newRegistry 1, the lists filled from it), earlier
// versions in the registry.
class CommunicatorSettings : public NavigatorSettings {
 public:
  CommunicatorSettings();

  const char* GetRuntimeClassName() const override { return "CommunicatorSettings"; }

  bool SaveSettings(BinData& record) override;
  BrowserKind GetBrowserKind() override;
  bool RestoreSettings(const BinData& record) override;
  bool SetSavedFormWarning(BinData& record, int warn) override;
  bool PointBrowserAtProxy(const char* host, int port, int keepAutoConfiguration,
                           const BinData& record) override;

  // The current profile's "prefs.js": its folder from nsreg.dat (newRegistry
  // 1) or from the registry's "DirRoot" (0), followed by "/prefs.js".
  bool GetPrefsFilePath(GString& path);

  int GetNewRegistry() const { return newRegistry; }
  const std::vector<GString>& GetProfileNames() const { return profileNames; }
  const std::vector<GString>& GetProfileLocations() const { return profileLocations; }

 private:
  int newRegistry = 0;
  std::vector<GString> profileNames;
  std::vector<GString> profileLocations;  // entry i is the folder of profileNames[i]
};
