#pragma once

#include "browser/BrowserSettings.h"

// Internet Explorer 3 and 4: the proxy values directly under the Internet
// Settings key of HKEY_CURRENT_USER, the form-submission prompt in the
// Internet zone (or, without zones, "WarnOnPost" and "WarnAlwaysOnPost").
// Records are exactly 2068 bytes (see InternetExplorerRecord.h).
class InternetExplorerSettings : public BrowserSettings {
 public:
  InternetExplorerSettings();

  const char* GetRuntimeClassName() const override { return "InternetExplorerSettings"; }

  bool GetBrowserCommand(GString& command) override;
  bool GetSavedProxy(const BinData& record, GString& host, int& port, GString& url) override;
  bool GetSavedFormWarning(const BinData& record, int& warn) override;
  bool SaveSettings(BinData& record) override;
  BrowserKind GetBrowserKind() override { return BrowserKind::InternetExplorer; }
  int GetSavedProxyMode(const BinData& record) override;
  bool RestoreSettings(const BinData& record) override;
  bool RestoreAfterBrowserExit() override { return true; }
  bool SetSavedFormWarning(BinData& record, int warn) override;
  bool PointBrowserAtProxy(const char* host, int port, int keepAutoConfiguration,
                           const BinData& record) override;

 private:
  GString settingsKey;
};
