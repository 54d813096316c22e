#include "browser/InternetExplorerProxy.h"

#include <cerrno>
#include <cstdlib>

#include "browser/InternetExplorerRecord.h"
#include "browser/RecordFields.h"
#include "browser/RegistryValues.h"
#include "platform/Registry.h"

namespace er = explorer_record;

namespace {

constexpr const char* kDefaultConnection = "DefaultConnectionSettings";
constexpr size_t kConnectionNameBufferSize = 512;

// The decimal number at the start of text, clamped; 0 when there is none.
long LeadingNumber(const char* text) {
  errno = 0;
  long value = std::strtol(text, nullptr, 10);
  return errno == ERANGE ? -1 : value;
}

GString ReadNameFrom(const char* keyPath, const char* valueName) {
  RegistryKey key;
  if (key.Open(HKEY_CURRENT_USER, keyPath, KEY_READ) != ERROR_SUCCESS) return kDefaultConnection;
  char buffer[kConnectionNameBufferSize];
  ReadRegistryString(key.Get(), valueName, buffer, sizeof buffer, kDefaultConnection);
  return buffer;
}

}  // namespace

bool GetExplorerSavedProxy(const BinData& record, GString& host, int& port, GString& url) {
  host.Empty();
  url.Empty();
  port = 0;
  GString configUrl = GetRecordText(record, er::kAutoConfigUrl, er::kTextSize);
  if (GetRecordInt(record, er::kProxyEnable) == 0 || !configUrl.IsEmpty()) {
    url = configUrl;
    return true;
  }
  GString text = GetRecordText(record, er::kProxyServer, er::kTextSize);
  GString taken;
  int http = text.Find("http=");
  if (http >= 0) {
    taken = text.Mid(http + 5);
    int end = taken.Find(';');
    if (end >= 0) taken = taken.Left(end);
  } else if (text.Find('=') < 0 && text.Find(';') < 0) {
    taken = text;
  } else {
    return true;
  }
  taken.MakeLower();
  int colon = taken.Find(':');
  if (colon < 0) {
    host = taken;
    port = 80;
    return true;
  }
  long number = LeadingNumber(taken.Text() + colon + 1);
  if (number < 1 || number > 65535) return false;
  host = taken.Left(colon);
  port = static_cast<int>(number);
  return true;
}

int GetExplorerSavedProxyMode(const BinData& record) {
  if (!GetRecordText(record, er::kAutoConfigUrl, er::kTextSize).IsEmpty()) return 2;
  if (GetRecordInt(record, er::kProxyEnable) == 0) return 0;
  GString text = GetRecordText(record, er::kProxyServer, er::kTextSize);
  if (text.Find("http=") >= 0) return 1;
  if (text.IsEmpty() || text.Find('=') >= 0 || text.Find(';') >= 0) return 0;
  return 1;
}

int GetExplorerSavedFormWarning(const BinData& record) {
  return GetRecordInt(record, er::kZonePolicy) != 0 || GetRecordInt(record, er::kWarnOnPost) != 0 ? 1 : 0;
}

GString MergeProxyServer(const char* old, int enabled, const char* host, int port) {
  GString merged;
  merged.Format("http=%s:%d", host != nullptr ? host : "", port);
  if (enabled == 0) return merged;
  GString previous = old != nullptr ? old : "";
  int http = previous.Find("http=");
  if (http >= 0) {
    GString result = previous.Left(http) + merged;
    int rest = previous.Find(';', http);
    if (rest >= 0) result += previous.Mid(rest);
    return result;
  }
  if (previous.Find('=') < 0 && previous.Find(';') < 0) {
    GString single = previous;
    if (single.Find(':') < 0) single += ":80";
    return merged + ";ftp=" + single + ";https=" + single + ";gopher=" + single;
  }
  return merged + ";" + previous;
}

GString FindConnectionName() {
  RegistryKey probe;
  if (probe.Open(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Transient",
                 KEY_READ) == ERROR_SUCCESS) {
    probe.Close();
    return ReadNameFrom("Software\\Microsoft\\RAS Phonebook", "DefaultEntry");
  }
  if (probe.Open(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\RemoteAccess", KEY_READ) ==
      ERROR_SUCCESS) {
    uint32_t remote = 0;
    bool read = ReadRegistryDword(probe.Get(), "Remote Connection", remote, 0);
    probe.Close();
    if (read && remote != 0) return ReadNameFrom("RemoteAccess", "Default");
  }
  return kDefaultConnection;
}

bool WriteZoneSettings(uint32_t zonePolicy, uint32_t proxyHttp11, bool& zoneFound) {
  RegistryKey zone;
  zoneFound = zone.Open(HKEY_CURRENT_USER, explorer_keys::kZone, KEY_WRITE) == ERROR_SUCCESS;
  if (!zoneFound) return true;
  bool ok = WriteRegistryDword(zone.Get(), "1601", zonePolicy);
  zone.Close();
  RegistryKey settings;
  if (settings.Open(HKEY_CURRENT_USER, explorer_keys::kSettings, KEY_WRITE) != ERROR_SUCCESS) return false;
  return WriteRegistryDword(settings.Get(), "ProxyHttp1.1", proxyHttp11) && ok;
}

bool ReadZoneSettings(BinData& record) {
  RegistryKey zone;
  if (zone.Open(HKEY_CURRENT_USER, explorer_keys::kZone, KEY_READ) != ERROR_SUCCESS) return true;
  uint32_t value = 0;
  ReadRegistryDword(zone.Get(), "1601", value, 0);
  SetRecordInt(record, er::kZonePolicy, value);
  zone.Close();
  RegistryKey settings;
  if (settings.Open(HKEY_CURRENT_USER, explorer_keys::kSettings, KEY_READ) != ERROR_SUCCESS) return false;
  ReadRegistryDword(settings.Get(), "ProxyHttp1.1", value, 0);
  SetRecordInt(record, er::kProxyHttp11, value);
  return true;
}
