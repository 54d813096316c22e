#pragma once

#include "browser/BrowserSettings.h"

// Internet Explorer 5: the proxy lives in the binary connection record that
// the browser keeps per connection under the Connections key; the connection
// in use comes from FindConnectionName. Records are at least 2580 bytes: the
// Internet Explorer layout, the connection's name and the connection record
// exactly as read, which a restore writes back unchanged (see
// InternetExplorerRecord.h).
class InternetExplorer5Settings : public BrowserSettings {
 public:
  InternetExplorer5Settings();

  const char* GetRuntimeClassName() const override { return "InternetExplorer5Settings"; }

  bool GetBrowserCommand(GString& command) override;
  bool GetSavedProxy(const BinData& record, GString& host, int& port, GString& url) override;
  bool GetSavedFormWarning(const BinData& record, int& warn) override;
  bool SaveSettings(BinData& record) override;
  BrowserKind GetBrowserKind() override { return BrowserKind::InternetExplorer5; }
  int GetSavedProxyMode(const BinData& record) override;
  bool RestoreSettings(const BinData& record) override;
  bool RestoreAfterBrowserExit() override { return true; }
  bool SetSavedFormWarning(BinData& record, int warn) override;
  bool PointBrowserAtProxy(const char* host, int port, int keepAutoConfiguration,
                           const BinData& record) override;

  // The connection record that sends every protocol to proxyText: marker 60,
  // counter 1, flags 3, the text, empty bypass list and URL, 28 zero bytes.
  static BinData BuildConnectionRecord(const GString& proxyText);

 private:
  GString settingsKey;
};
