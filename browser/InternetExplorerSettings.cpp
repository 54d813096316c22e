#include "browser/InternetExplorerSettings.h"

#include <cstring>

#include "browser/InternetExplorerProxy.h"
#include "browser/InternetExplorerRecord.h"
#include "browser/RecordFields.h"
#include "browser/RegistryValues.h"
#include "platform/Registry.h"

namespace er = explorer_record;

namespace {

void ReadTextField(HKEY key, const char* name, BinData& record, size_t offset) {
  char buffer[er::kTextSize];
  ReadRegistryString(key, name, buffer, sizeof buffer, nullptr);
  SetRecordText(record, offset, er::kTextSize, buffer);
}

void ReadNumberField(HKEY key, const char* name, BinData& record, size_t offset) {
  uint32_t value = 0;
  ReadRegistryDword(key, name, value, 0);
  SetRecordInt(record, offset, value);
}

bool WriteProxyEnable(HKEY key, uint32_t value) {
  uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                      static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
  return WriteRegistryBinary(key, "ProxyEnable", bytes, sizeof bytes);
}

// The form prompts: in the zone key when there is one, else the two values
// of the settings key.
bool WritePrompts(const char* settingsKey, uint32_t zonePolicy, uint32_t proxyHttp11, uint32_t warnOnPost,
                  uint32_t warnAlwaysOnPost) {
  bool zoneFound = false;
  bool ok = WriteZoneSettings(zonePolicy, proxyHttp11, zoneFound);
  if (zoneFound) return ok;
  RegistryKey settings;
  if (settings.Open(HKEY_CURRENT_USER, settingsKey, KEY_WRITE) != ERROR_SUCCESS) return false;
  ok = WriteRegistryDword(settings.Get(), "WarnAlwaysOnPost", warnAlwaysOnPost);
  return WriteRegistryDword(settings.Get(), "WarnOnPost", warnOnPost) && ok;
}

}  // namespace

InternetExplorerSettings::InternetExplorerSettings() : settingsKey(explorer_keys::kSettings) {}

bool InternetExplorerSettings::GetBrowserCommand(GString& command) {
  return GetBrowserCommandFromKey(explorer_keys::kCommand, command);
}

bool InternetExplorerSettings::GetSavedProxy(const BinData& record, GString& host, int& port, GString& url) {
  if (record.GetLength() != er::kLength) return false;
  return GetExplorerSavedProxy(record, host, port, url);
}

bool InternetExplorerSettings::GetSavedFormWarning(const BinData& record, int& warn) {
  if (record.GetLength() != er::kLength) return false;
  warn = GetExplorerSavedFormWarning(record);
  return true;
}

int InternetExplorerSettings::GetSavedProxyMode(const BinData& record) {
  if (record.GetLength() != er::kLength) return -1;
  return GetExplorerSavedProxyMode(record);
}

bool InternetExplorerSettings::SetSavedFormWarning(BinData& record, int warn) {
  if (record.GetLength() != er::kLength) return false;
  SetRecordInt(record, er::kWarnOnPost, static_cast<uint32_t>(warn));
  SetRecordInt(record, er::kZonePolicy, static_cast<uint32_t>(warn));
  return true;
}

bool InternetExplorerSettings::SaveSettings(BinData& record) {
  if (record.SetLength(er::kLength) != 0) return false;
  std::memset(record.GetData(), 0, er::kLength);
  RegistryKey settings;
  if (settings.Open(HKEY_CURRENT_USER, settingsKey, KEY_READ) != ERROR_SUCCESS) return false;
  ReadNumberField(settings.Get(), "ProxyEnable", record, er::kProxyEnable);
  ReadTextField(settings.Get(), "ProxyServer", record, er::kProxyServer);
  ReadTextField(settings.Get(), "AutoConfigUrl", record, er::kAutoConfigUrl);
  ReadNumberField(settings.Get(), "WarnAlwaysOnPost", record, er::kWarnAlwaysOnPost);
  ReadNumberField(settings.Get(), "WarnOnPost", record, er::kWarnOnPost);
  settings.Close();
  return ReadZoneSettings(record);
}

bool InternetExplorerSettings::RestoreSettings(const BinData& record) {
  if (record.GetLength() != er::kLength) return false;
  RegistryKey settings;
  if (settings.Open(HKEY_CURRENT_USER, settingsKey, KEY_WRITE) != ERROR_SUCCESS) return false;
  bool ok = WriteProxyEnable(settings.Get(), GetRecordInt(record, er::kProxyEnable));
  ok = WriteRegistryString(settings.Get(), "ProxyServer", GetRecordText(record, er::kProxyServer, er::kTextSize)) &&
       ok;
  ok = WriteRegistryString(settings.Get(), "AutoConfigUrl",
                           GetRecordText(record, er::kAutoConfigUrl, er::kTextSize)) &&
       ok;
  settings.Close();
  return WritePrompts(settingsKey, GetRecordInt(record, er::kZonePolicy), GetRecordInt(record, er::kProxyHttp11),
                      GetRecordInt(record, er::kWarnOnPost), GetRecordInt(record, er::kWarnAlwaysOnPost)) &&
         ok;
}

bool InternetExplorerSettings::PointBrowserAtProxy(const char* host, int port, int keepAutoConfiguration,
                                                   const BinData& record) {
  if (record.GetLength() != er::kLength) return false;
  bool ok = true;
  if (keepAutoConfiguration == 0 || GetSavedProxyMode(record) != 2) {
    GString merged = MergeProxyServer(GetRecordText(record, er::kProxyServer, er::kTextSize),
                                      static_cast<int>(GetRecordInt(record, er::kProxyEnable)), host, port);
    RegistryKey settings;
    if (settings.Open(HKEY_CURRENT_USER, settingsKey, KEY_WRITE) != ERROR_SUCCESS) return false;
    ok = WriteProxyEnable(settings.Get(), 1);
    ok = WriteRegistryString(settings.Get(), "ProxyServer", merged) && ok;
    ok = WriteRegistryString(settings.Get(), "AutoConfigUrl", "") && ok;
  }
  return WritePrompts(settingsKey, 0, 0, 0, 0) && ok;
}
