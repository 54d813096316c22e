#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "browser/InternetExplorer5Settings.h"
#include "browser/InternetExplorerProxy.h"
#include "browser/InternetExplorerRecord.h"
#include "browser/InternetExplorerSettings.h"
#include "browser/RecordFields.h"
#include "browser/RegistryValues.h"
#include "tests/browser/BrowserTestSupport.h"

namespace er = explorer_record;

namespace {

std::string ReadString(const char* keyPath, const char* name) {
  RegistryKey key;
  if (key.Open(HKEY_CURRENT_USER, keyPath, KEY_READ) != ERROR_SUCCESS) return "<no key>";
  char buffer[1024];
  if (!ReadRegistryString(key.Get(), name, buffer, sizeof buffer, nullptr)) return "<missing>";
  return buffer;
}

uint32_t ReadNumber(const char* keyPath, const char* name) {
  RegistryKey key;
  uint32_t value = 0xFFFFFFFF;
  if (key.Open(HKEY_CURRENT_USER, keyPath, KEY_READ) == ERROR_SUCCESS) ReadRegistryDword(key.Get(), name, value, 0xFFFFFFFF);
  return value;
}

std::vector<uint8_t> ReadBinary(const char* keyPath, const char* name) {
  RegistryKey key;
  if (key.Open(HKEY_CURRENT_USER, keyPath, KEY_READ) != ERROR_SUCCESS) return {};
  DWORD size = 0;
  if (RegQueryValueExA(key.Get(), name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) return {};
  std::vector<uint8_t> data(size);
  RegQueryValueExA(key.Get(), name, nullptr, nullptr, data.data(), &size);
  return data;
}

void Set(const char* keyPath, const char* name, const char* text) {
  RegistryKey key;
  ASSERT_EQ(key.Create(HKEY_CURRENT_USER, keyPath, KEY_ALL_ACCESS), ERROR_SUCCESS);
  ASSERT_TRUE(WriteRegistryString(key.Get(), name, text));
}

BinData ExplorerRecord(uint32_t enable, const char* server, const char* url) {
  BinData record;
  EXPECT_EQ(record.SetLength(er::kLength), 0);
  std::memset(record.GetData(), 0, er::kLength);
  SetRecordInt(record, er::kProxyEnable, enable);
  SetRecordText(record, er::kProxyServer, er::kTextSize, server);
  SetRecordText(record, er::kAutoConfigUrl, er::kTextSize, url);
  return record;
}

TEST(MergeProxyServerTest, Examples) {
  struct Case {
    const char* old;
    int enabled;
    const char* merged;
  };
  const Case cases[] = {
      {"ftp=gate:21;http=gate:8000;gopher=gate:70", 1, "ftp=gate:21;http=127.0.0.1:8080;gopher=gate:70"},
      {"gate", 1, "http=127.0.0.1:8080;ftp=gate:80;https=gate:80;gopher=gate:80"},
      {"gate:3128", 1, "http=127.0.0.1:8080;ftp=gate:3128;https=gate:3128;gopher=gate:3128"},
      {"ftp=gate:21", 1, "http=127.0.0.1:8080;ftp=gate:21"},
      {"http=gate:8000", 1, "http=127.0.0.1:8080"},
      {"ftp=gate:21;http=gate:8000", 1, "ftp=gate:21;http=127.0.0.1:8080"},
      {"gate", 0, "http=127.0.0.1:8080"},
      {"", 1, "http=127.0.0.1:8080;ftp=:80;https=:80;gopher=:80"},
  };
  for (const Case& c : cases) EXPECT_EQ(MergeProxyServer(c.old, c.enabled, "127.0.0.1", 8080), c.merged) << c.old;
}

TEST(ExplorerSavedProxyTest, Cases) {
  struct Case {
    uint32_t enable;
    const char* server;
    const char* url;
    bool result;
    const char* host;
    int port;
    const char* outUrl;
    int mode;
  };
  const Case cases[] = {
      {1, "gate:3128", "", true, "gate", 3128, "", 1},
      {1, "ftp=gate:21", "", true, "", 0, "", 0},
      {1, "http=Gate:8000;ftp=x:21", "", true, "gate", 8000, "", 1},
      {1, "http=gate", "", true, "gate", 80, "", 1},
      {1, "http=gate:0", "", false, "", 0, "", 1},
      {1, "http=gate:65536", "", false, "", 0, "", 1},
      {1, "http=gate:99999999999999999999", "", false, "", 0, "", 1},
      {0, "gate:3128", "", true, "", 0, "", 0},
      {0, "gate:3128", "http://pac/", true, "", 0, "http://pac/", 2},
      {1, "gate:3128", "http://pac/", true, "", 0, "http://pac/", 2},
      {1, "", "", true, "", 80, "", 0},
  };
  InternetExplorerSettings settings;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.server);
    BinData record = ExplorerRecord(c.enable, c.server, c.url);
    GString host = "stale", url = "stale";
    int port = -5;
    EXPECT_EQ(settings.GetSavedProxy(record, host, port, url), c.result);
    if (c.result) {
      EXPECT_EQ(host, c.host);
      EXPECT_EQ(port, c.port);
      EXPECT_EQ(url, c.outUrl);
    }
    EXPECT_EQ(settings.GetSavedProxyMode(record), c.mode);
  }
}

TEST(InternetExplorerSettingsTest, SavePointRestoreWithTheZoneKey) {
  TestWindowsFolder folder;
  folder.InstallHive("HKEY_CURRENT_USER", "hkcu_explorer.reg");
  InternetExplorerSettings settings;
  BinData record;
  ASSERT_TRUE(settings.SaveSettings(record));
  ASSERT_EQ(record.GetLength(), 2068u);
  EXPECT_EQ(settings.GetSavedProxyMode(record), 1);
  int warn = 0;
  EXPECT_TRUE(settings.GetSavedFormWarning(record, warn));
  EXPECT_EQ(warn, 1);
  ASSERT_TRUE(settings.PointBrowserAtProxy("127.0.0.1", 8080, 0, record));
  EXPECT_EQ(ReadString(explorer_keys::kSettings, "ProxyServer"),
            "http=127.0.0.1:8080;ftp=gate:3128;https=gate:3128;gopher=gate:3128");
  EXPECT_EQ(ReadNumber(explorer_keys::kSettings, "ProxyEnable"), 1u);
  EXPECT_EQ(ReadBinary(explorer_keys::kSettings, "ProxyEnable").size(), 4u);
  EXPECT_EQ(ReadNumber(explorer_keys::kZone, "1601"), 0u);
  EXPECT_EQ(ReadNumber(explorer_keys::kSettings, "ProxyHttp1.1"), 0u);
  EXPECT_EQ(ReadNumber(explorer_keys::kSettings, "WarnOnPost"), 1u) << "zones present: left alone";

  // With the zone key present a restore puts back 1601 and ProxyHttp1.1 but
  // not WarnOnPost.
  RegistryKey settingsKey;
  ASSERT_EQ(settingsKey.Open(HKEY_CURRENT_USER, explorer_keys::kSettings, KEY_ALL_ACCESS), ERROR_SUCCESS);
  ASSERT_TRUE(WriteRegistryDword(settingsKey.Get(), "WarnOnPost", 9));
  ASSERT_TRUE(settings.RestoreSettings(record));
  EXPECT_EQ(ReadString(explorer_keys::kSettings, "ProxyServer"), "gate:3128");
  EXPECT_EQ(ReadNumber(explorer_keys::kZone, "1601"), 1u);
  EXPECT_EQ(ReadNumber(explorer_keys::kSettings, "ProxyHttp1.1"), 1u);
  EXPECT_EQ(ReadNumber(explorer_keys::kSettings, "WarnOnPost"), 9u);
}

TEST(InternetExplorerSettingsTest, WithoutZonesThePostWarningsAreUsed) {
  TestWindowsFolder folder;
  folder.InstallHive("HKEY_CURRENT_USER", "hkcu_explorer.reg");
  RegistryKey settingsKey;
  ASSERT_EQ(settingsKey.Open(HKEY_CURRENT_USER, explorer_keys::kSettings, KEY_ALL_ACCESS), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteKeyA(settingsKey.Get(), "Zones"), ERROR_SUCCESS);
  InternetExplorerSettings settings;
  BinData record;
  ASSERT_TRUE(settings.SaveSettings(record));
  EXPECT_EQ(GetRecordInt(record, er::kZonePolicy), 0u);
  EXPECT_EQ(GetRecordInt(record, er::kProxyHttp11), 0u);
  ASSERT_TRUE(settings.PointBrowserAtProxy("127.0.0.1", 8080, 0, record));
  EXPECT_EQ(ReadNumber(explorer_keys::kSettings, "WarnOnPost"), 0u);
  EXPECT_EQ(ReadNumber(explorer_keys::kSettings, "WarnAlwaysOnPost"), 0u);
  ASSERT_TRUE(WriteRegistryDword(settingsKey.Get(), "ProxyHttp1.1", 5));
  ASSERT_TRUE(settings.RestoreSettings(record));
  EXPECT_EQ(ReadNumber(explorer_keys::kSettings, "WarnOnPost"), 1u);
  EXPECT_EQ(ReadNumber(explorer_keys::kSettings, "WarnAlwaysOnPost"), 1u);
  EXPECT_EQ(ReadNumber(explorer_keys::kSettings, "ProxyHttp1.1"), 5u) << "not restored without zones";
}

TEST(InternetExplorerSettingsTest, AutoConfigurationKeptOnlyPromptTurnedOff) {
  TestWindowsFolder folder;
  folder.InstallHive("HKEY_CURRENT_USER", "hkcu_explorer.reg");
  Set(explorer_keys::kSettings, "AutoConfigUrl", "http://pac.example/proxy.pac");
  InternetExplorerSettings settings;
  BinData record;
  ASSERT_TRUE(settings.SaveSettings(record));
  EXPECT_EQ(settings.GetSavedProxyMode(record), 2);
  ASSERT_TRUE(settings.PointBrowserAtProxy("127.0.0.1", 8080, 1, record));
  EXPECT_EQ(ReadString(explorer_keys::kSettings, "ProxyServer"), "gate:3128");
  EXPECT_EQ(ReadString(explorer_keys::kSettings, "AutoConfigUrl"), "http://pac.example/proxy.pac");
  EXPECT_EQ(ReadNumber(explorer_keys::kZone, "1601"), 0u);
  ASSERT_TRUE(settings.PointBrowserAtProxy("127.0.0.1", 8080, 0, record));
  EXPECT_EQ(ReadString(explorer_keys::kSettings, "AutoConfigUrl"), "");
}

TEST(InternetExplorerSettingsTest, RecordLengthAndFormWarning) {
  InternetExplorerSettings settings;
  BinData record = ExplorerRecord(0, "", "");
  EXPECT_TRUE(settings.SetSavedFormWarning(record, 1));
  EXPECT_EQ(GetRecordInt(record, er::kWarnOnPost), 1u);
  EXPECT_EQ(GetRecordInt(record, er::kZonePolicy), 1u);
  ASSERT_EQ(record.SetLength(2069), 0);
  int warn = 0;
  EXPECT_FALSE(settings.GetSavedFormWarning(record, warn));
  EXPECT_FALSE(settings.SetSavedFormWarning(record, 0));
  EXPECT_EQ(settings.GetSavedProxyMode(record), -1);
  EXPECT_FALSE(settings.RestoreSettings(record));
  EXPECT_FALSE(settings.PointBrowserAtProxy("127.0.0.1", 8080, 0, record));
  EXPECT_EQ(settings.GetBrowserKind(), BrowserKind::InternetExplorer);
  EXPECT_FALSE(settings.IsNetscapeFamily());
  EXPECT_TRUE(settings.RestoreAfterBrowserExit());
}

TEST(InternetExplorer5SettingsTest, ConnectionRecordForTheLocalProxyIs71Bytes) {
  BinData record = InternetExplorer5Settings::BuildConnectionRecord("http=127.0.0.1:8080");
  ASSERT_EQ(record.GetLength(), 71u);
  EXPECT_EQ(GetRecordInt(record, 0), 60u);
  EXPECT_EQ(GetRecordInt(record, 4), 1u);
  EXPECT_EQ(GetRecordInt(record, 8), 3u);
  EXPECT_EQ(GetRecordInt(record, 12), 19u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(record.GetData()) + 16, 19), "http=127.0.0.1:8080");
  for (size_t i = 35; i < 71; ++i) EXPECT_EQ(record.GetData()[i], 0) << i;
}

TEST(InternetExplorer5SettingsTest, OfficeDialUpEntryIsReadAndWritten) {
  TestWindowsFolder folder;
  folder.InstallHive("HKEY_CURRENT_USER", "hkcu_explorer5_office.reg");
  EXPECT_EQ(FindConnectionName(), "DefaultConnectionSettings") << "no Transient key";
  folder.InstallHive("HKEY_LOCAL_MACHINE", "hklm_transient.reg");
  EXPECT_EQ(FindConnectionName(), "Office");

  std::vector<uint8_t> original = ReadBinary(explorer_keys::kConnections, "Office");
  InternetExplorer5Settings settings;
  BinData record;
  ASSERT_TRUE(settings.SaveSettings(record));
  ASSERT_EQ(record.GetLength(), 2580u + original.size());
  EXPECT_EQ(GetRecordText(record, er::kConnectionName, er::kConnectionNameSize), "Office");
  EXPECT_EQ(GetRecordText(record, er::kProxyServer, er::kTextSize), "ftp=gate:21;http=gate:8000;gopher=gate:70");
  EXPECT_EQ(GetRecordInt(record, er::kProxyEnable), 1u);
  EXPECT_EQ(GetRecordInt(record, er::kZonePolicy), 1u);
  EXPECT_EQ(GetRecordInt(record, er::kProxyHttp11), 1u);
  GString host, url;
  int port = 0;
  EXPECT_TRUE(settings.GetSavedProxy(record, host, port, url));
  EXPECT_EQ(host, "gate");
  EXPECT_EQ(port, 8000);

  ASSERT_TRUE(settings.PointBrowserAtProxy("127.0.0.1", 8080, 0, record));
  std::vector<uint8_t> pointed = ReadBinary(explorer_keys::kConnections, "Office");
  std::string text = "ftp=gate:21;http=127.0.0.1:8080;gopher=gate:70";
  ASSERT_EQ(pointed.size(), 52 + text.size());
  EXPECT_EQ(std::string(pointed.begin() + 16, pointed.begin() + 16 + text.size()), text);
  EXPECT_EQ(ReadNumber(explorer_keys::kZone, "1601"), 0u);
  EXPECT_EQ(ReadBinary(explorer_keys::kConnections, "DefaultConnectionSettings").size(), 32u) << "untouched";

  ASSERT_TRUE(settings.RestoreSettings(record));
  EXPECT_EQ(ReadBinary(explorer_keys::kConnections, "Office"), original);
  EXPECT_EQ(ReadNumber(explorer_keys::kZone, "1601"), 1u);
}

TEST(InternetExplorer5SettingsTest, MissingConnectionValueRestoresAsOneByte) {
  TestWindowsFolder folder;
  folder.InstallHive("HKEY_CURRENT_USER", "hkcu_explorer5_office.reg");
  RegistryKey connections;
  ASSERT_EQ(connections.Open(HKEY_CURRENT_USER, explorer_keys::kConnections, KEY_ALL_ACCESS), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteValueA(connections.Get(), "DefaultConnectionSettings"), ERROR_SUCCESS);
  InternetExplorer5Settings settings;
  BinData record;
  ASSERT_TRUE(settings.SaveSettings(record));
  ASSERT_EQ(record.GetLength(), 2581u);
  EXPECT_EQ(record.GetData()[2580], 60);
  EXPECT_EQ(settings.GetSavedProxyMode(record), 0);
  ASSERT_TRUE(settings.PointBrowserAtProxy("127.0.0.1", 8080, 0, record));
  EXPECT_EQ(ReadBinary(explorer_keys::kConnections, "DefaultConnectionSettings").size(), 71u);
  ASSERT_TRUE(settings.RestoreSettings(record));
  EXPECT_EQ(ReadBinary(explorer_keys::kConnections, "DefaultConnectionSettings"), std::vector<uint8_t>{60});
}

TEST(InternetExplorer5SettingsTest, RemoteAccessNamesTheConnectionWhenEnabled) {
  TestWindowsFolder folder;
  RegistryKey remote;
  ASSERT_EQ(remote.Create(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\RemoteAccess", KEY_ALL_ACCESS),
            ERROR_SUCCESS);
  ASSERT_TRUE(WriteRegistryDword(remote.Get(), "Remote Connection", 0));
  Set("RemoteAccess", "Default", "Modem");
  EXPECT_EQ(FindConnectionName(), "DefaultConnectionSettings");
  ASSERT_TRUE(WriteRegistryDword(remote.Get(), "Remote Connection", 1));
  EXPECT_EQ(FindConnectionName(), "Modem");
}

TEST(InternetExplorer5SettingsTest, ConnectionLengthsPastTheEndAreCut) {
  TestWindowsFolder folder;
  folder.InstallHive("HKEY_CURRENT_USER", "hkcu_explorer5_office.reg");
  const uint8_t damaged[] = {60, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 'h', 't'};
  RegistryKey connections;
  ASSERT_EQ(connections.Open(HKEY_CURRENT_USER, explorer_keys::kConnections, KEY_ALL_ACCESS), ERROR_SUCCESS);
  ASSERT_TRUE(WriteRegistryBinary(connections.Get(), "DefaultConnectionSettings", damaged, sizeof damaged));
  InternetExplorer5Settings settings;
  BinData record;
  ASSERT_TRUE(settings.SaveSettings(record));
  EXPECT_EQ(record.GetLength(), 2580u + sizeof damaged);
  EXPECT_EQ(GetRecordText(record, er::kProxyServer, er::kTextSize), "");
  EXPECT_EQ(settings.GetSavedProxyMode(record), 0);
  ASSERT_TRUE(settings.RestoreSettings(record));
  EXPECT_EQ(ReadBinary(explorer_keys::kConnections, "DefaultConnectionSettings"),
            std::vector<uint8_t>(damaged, damaged + sizeof damaged));
}

}  // namespace
