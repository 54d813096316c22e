#include "browser/NavigatorSettings.h"

#include <strings.h>

#include <cstring>

#include "browser/NetscapeRecord.h"
#include "browser/RecordFields.h"
#include "browser/RegistryValues.h"
#include "platform/Registry.h"

namespace nr = netscape_record;

namespace {

constexpr size_t kWarningBufferSize = 16;

struct TextValue {
  const char* name;
  size_t offset;
};

// The host values in the order they are read.
constexpr TextValue kHostValues[] = {
    {"HTTP_Proxy", nr::kHttpHost},   {"FTP_Proxy", nr::kFtpHost},   {"Gopher_Proxy", nr::kGopherHost},
    {"HTTPS_Proxy", nr::kSslHost},   {"Wais_Proxy", nr::kWaisHost}, {"Auto Config Url", nr::kAutoConfigUrl},
};

// The other protocols' hosts, blanked when HTTP is switched alone.
constexpr const char* kOtherHostValues[] = {"FTP_Proxy", "Gopher_Proxy", "HTTPS_Proxy", "Wais_Proxy"};

void ReadTextField(HKEY key, const char* name, BinData& record, size_t offset) {
  char buffer[nr::kTextSize];
  ReadRegistryString(key, name, buffer, sizeof buffer, nullptr);
  SetRecordText(record, offset, nr::kTextSize, buffer);
}

bool WriteFormWarning(int warn) {
  RegistryKey key;
  if (key.Open(HKEY_CURRENT_USER, NavigatorSettings::kSecurityKey, KEY_WRITE) != ERROR_SUCCESS) {
    return false;
  }
  return WriteRegistryString(key.Get(), "Warn Insecure Forms", warn != 0 ? "yes" : "no");
}

}  // namespace

bool NavigatorSettings::GetBrowserCommand(GString& command) {
  return GetBrowserCommandFromKey(kCommandKey, command);
}

bool NavigatorSettings::GetSavedProxy(const BinData& record, GString& host, int& port, GString& url) {
  if (record.GetLength() != nr::kLength) return false;
  host.Empty();
  url.Empty();
  port = 0;
  int type = static_cast<int>(GetRecordInt(record, nr::kProxyType));
  if (type == nr::kTypeAutoConfig) url = GetRecordText(record, nr::kAutoConfigUrl, nr::kTextSize);
  GString httpHost = GetRecordText(record, nr::kHttpHost, nr::kTextSize);
  if (type != nr::kTypeManual || httpHost.IsEmpty()) return true;
  host = httpHost;
  port = static_cast<int>(GetRecordInt(record, nr::kHttpPort));
  return port >= 1 && port <= 65535;
}

bool NavigatorSettings::GetSavedFormWarning(const BinData& record, int& warn) {
  if (record.GetLength() != nr::kLength) return false;
  warn = static_cast<int>(GetRecordInt(record, nr::kFormWarning));
  return true;
}

bool NavigatorSettings::SaveSettings(BinData& record) {
  if (record.SetLength(nr::kLength) != 0) return false;
  std::memset(record.GetData(), 0, nr::kLength);
  RegistryKey proxyKey;
  if (proxyKey.Create(HKEY_CURRENT_USER, kProxyKey, KEY_ALL_ACCESS) != ERROR_SUCCESS) return false;
  uint32_t number = 0;
  ReadRegistryDword(proxyKey.Get(), "Proxy Type", number, 0);
  SetRecordInt(record, nr::kProxyType, number);
  ReadRegistryDword(proxyKey.Get(), "Http_ProxyPort", number, 0);
  SetRecordInt(record, nr::kHttpPort, number);
  for (const TextValue& value : kHostValues) ReadTextField(proxyKey.Get(), value.name, record, value.offset);
  proxyKey.Close();

  RegistryKey securityKey;
  if (securityKey.Create(HKEY_CURRENT_USER, kSecurityKey, KEY_ALL_ACCESS) != ERROR_SUCCESS) return false;
  char warning[kWarningBufferSize];
  ReadRegistryString(securityKey.Get(), "Warn Insecure Forms", warning, sizeof warning, nullptr);
  SetRecordInt(record, nr::kFormWarning, strcasecmp(warning, "no") == 0 ? 0 : 1);
  return true;
}

int NavigatorSettings::GetSavedProxyMode(const BinData& record) {
  if (record.GetLength() != nr::kLength) return -1;
  int type = static_cast<int>(GetRecordInt(record, nr::kProxyType));
  if (type != nr::kTypeManual) return type;
  return GetRecordText(record, nr::kHttpHost, nr::kTextSize).IsEmpty() ? 0 : 1;
}

bool NavigatorSettings::RestoreSettings(const BinData& record) {
  if (record.GetLength() != nr::kLength) return false;
  RegistryKey proxyKey;
  if (proxyKey.Open(HKEY_CURRENT_USER, kProxyKey, KEY_WRITE) != ERROR_SUCCESS) return false;
  HKEY key = proxyKey.Get();
  bool ok = WriteRegistryDword(key, "Proxy Type", GetRecordInt(record, nr::kProxyType));
  ok = WriteRegistryString(key, "HTTP_Proxy", GetRecordText(record, nr::kHttpHost, nr::kTextSize)) && ok;
  ok = WriteRegistryDword(key, "Http_ProxyPort", GetRecordInt(record, nr::kHttpPort)) && ok;
  ok = WriteRegistryString(key, "FTP_Proxy", GetRecordText(record, nr::kFtpHost, nr::kTextSize)) && ok;
  ok = WriteRegistryString(key, "Gopher_Proxy", GetRecordText(record, nr::kGopherHost, nr::kTextSize)) && ok;
  ok = WriteRegistryString(key, "HTTPS_Proxy", GetRecordText(record, nr::kSslHost, nr::kTextSize)) && ok;
  ok = WriteRegistryString(key, "Wais_Proxy", GetRecordText(record, nr::kWaisHost, nr::kTextSize)) && ok;
  proxyKey.Close();
  return WriteFormWarning(static_cast<int>(GetRecordInt(record, nr::kFormWarning))) && ok;
}

bool NavigatorSettings::SetSavedFormWarning(BinData& record, int warn) {
  if (record.IsEmpty()) return WriteFormWarning(warn);
  if (record.GetLength() != nr::kLength) return false;
  SetRecordInt(record, nr::kFormWarning, static_cast<uint32_t>(warn));
  return true;
}

bool NavigatorSettings::PointBrowserAtProxy(const char* host, int port, int keepAutoConfiguration,
                                            const BinData& record) {
  if (record.GetLength() != nr::kLength) return false;
  bool ok = true;
  if (keepAutoConfiguration == 0 || GetSavedProxyMode(record) != nr::kTypeAutoConfig) {
    RegistryKey proxyKey;
    if (proxyKey.Open(HKEY_CURRENT_USER, kProxyKey, KEY_WRITE) != ERROR_SUCCESS) return false;
    HKEY key = proxyKey.Get();
    ok = WriteRegistryDword(key, "Proxy Type", nr::kTypeManual);
    ok = WriteRegistryString(key, "HTTP_Proxy", host) && ok;
    ok = WriteRegistryDword(key, "Http_ProxyPort", static_cast<uint32_t>(port)) && ok;
    if (GetRecordInt(record, nr::kProxyType) != nr::kTypeManual) {
      for (const char* name : kOtherHostValues) ok = WriteRegistryString(key, name, "") && ok;
    }
  }
  return WriteFormWarning(0) && ok;
}
