#pragma once

#include "browser/BrowserSettings.h"

// Netscape before version 4: proxy and form-warning settings in the registry
// below HKEY_CURRENT_USER "Software\Netscape\Netscape Navigator". Also the
// base of CommunicatorSettings, which inherits the record questions
// (GetSavedProxy, GetSavedFormWarning, GetSavedProxyMode) and the browser
// command.
class NavigatorSettings : public BrowserSettings {
 public:
  const char* GetRuntimeClassName() const override { return "NavigatorSettings"; }

  bool GetBrowserCommand(GString& command) override;
  bool GetSavedProxy(const BinData& record, GString& host, int& port, GString& url) override;
  bool GetSavedFormWarning(const BinData& record, int& warn) override;
  bool SaveSettings(BinData& record) override;
  BrowserKind GetBrowserKind() override { return BrowserKind::Navigator; }
  int GetSavedProxyMode(const BinData& record) override;
  bool RestoreSettings(const BinData& record) override;
  bool RestoreAfterBrowserExit() override { return true; }
  bool IsNetscapeFamily() override { return true; }
  bool SetSavedFormWarning(BinData& record, int warn) override;
  bool PointBrowserAtProxy(const char* host, int port, int keepAutoConfiguration,
                           const BinData& record) override;

  static constexpr const char* kCommandKey = "NetscapeMarkup\\shell\\open\\command";
  static constexpr const char* kProxyKey = "Software\\Netscape\\Netscape Navigator\\Proxy Information";
  static constexpr const char* kSecurityKey = "Software\\Netscape\\Netscape Navigator\\Security";
};
