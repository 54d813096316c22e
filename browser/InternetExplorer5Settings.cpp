#include "browser/InternetExplorer5Settings.h"

#include <cstring>
#include <vector>

#include "browser/InternetExplorerProxy.h"
#include "browser/InternetExplorerRecord.h"
#include "browser/RecordFields.h"
#include "browser/RegistryValues.h"
#include "platform/Registry.h"

namespace er = explorer_record;

namespace {

constexpr uint32_t kMarker = 60;
constexpr uint32_t kFlagProxy = 2;
constexpr uint32_t kFlagAutoConfig = 4;
constexpr size_t kHeaderLength = 16;
constexpr size_t kTrailerLength = 28;
// Connection records are small; a larger value is not the browser's.
constexpr DWORD kConnectionLimit = 1024 * 1024;

uint32_t Read32(const std::vector<uint8_t>& data, size_t offset) {
  return data[offset] | (uint32_t{data[offset + 1]} << 8) | (uint32_t{data[offset + 2]} << 16) |
         (uint32_t{data[offset + 3]} << 24);
}

void Append32(BinData& out, uint32_t value) {
  uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                      static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
  out.Append(bytes, sizeof bytes);
}

// The whole binary value name of key; false when missing or unreadable.
bool ReadConnection(HKEY key, const char* name, std::vector<uint8_t>& data) {
  DWORD size = 0;
  if (RegQueryValueExA(key, name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) return false;
  if (size > kConnectionLimit) return false;
  data.resize(size);
  if (size == 0) return true;
  return RegQueryValueExA(key, name, nullptr, nullptr, data.data(), &size) == ERROR_SUCCESS &&
         size == data.size();
}

// Proxy text and configuration URL of a connection record. A length that
// reaches past the end of the data ends the reading: what follows stays empty.
void ParseConnection(const std::vector<uint8_t>& data, BinData& record) {
  uint32_t flags = Read32(data, 8);
  bool proxyOnly = (flags & kFlagProxy) != 0 && (flags & kFlagAutoConfig) == 0;
  SetRecordInt(record, er::kProxyEnable, proxyOnly ? 1 : 0);
  size_t pos = 12;
  uint64_t proxyLength = Read32(data, pos);
  pos += 4;
  if (proxyLength > data.size() - pos) return;
  SetRecordText(record, er::kProxyServer, er::kTextSize, reinterpret_cast<const char*>(data.data() + pos),
                proxyLength);
  pos += proxyLength;
  if (data.size() - pos < 4) return;
  uint64_t bypassLength = Read32(data, pos);
  pos += 4;
  if (bypassLength > data.size() - pos) return;
  pos += bypassLength;
  if (data.size() - pos < 4) return;
  uint64_t urlLength = Read32(data, pos);
  pos += 4;
  if (urlLength > data.size() - pos) return;
  SetRecordText(record, er::kAutoConfigUrl, er::kTextSize, reinterpret_cast<const char*>(data.data() + pos),
                urlLength);
}

}  // namespace

InternetExplorer5Settings::InternetExplorer5Settings() : settingsKey(explorer_keys::kConnections) {}

BinData InternetExplorer5Settings::BuildConnectionRecord(const GString& proxyText) {
  BinData out;
  Append32(out, kMarker);
  Append32(out, 1);
  Append32(out, 3);
  Append32(out, static_cast<uint32_t>(proxyText.Size()));
  out.Append(proxyText.Text(), proxyText.Size());
  Append32(out, 0);
  Append32(out, 0);
  uint8_t zeros[kTrailerLength] = {};
  out.Append(zeros, sizeof zeros);
  return out;
}

bool InternetExplorer5Settings::GetBrowserCommand(GString& command) {
  return GetBrowserCommandFromKey(explorer_keys::kCommand, command);
}

bool InternetExplorer5Settings::GetSavedProxy(const BinData& record, GString& host, int& port, GString& url) {
  if (record.GetLength() < er::kVersion5MinimumLength) return false;
  return GetExplorerSavedProxy(record, host, port, url);
}

bool InternetExplorer5Settings::GetSavedFormWarning(const BinData& record, int& warn) {
  if (record.GetLength() < er::kVersion5MinimumLength) return false;
  warn = GetExplorerSavedFormWarning(record);
  return true;
}

int InternetExplorer5Settings::GetSavedProxyMode(const BinData& record) {
  if (record.GetLength() < er::kVersion5MinimumLength) return -1;
  return GetExplorerSavedProxyMode(record);
}

bool InternetExplorer5Settings::SetSavedFormWarning(BinData& record, int warn) {
  if (record.GetLength() < er::kVersion5MinimumLength) return false;
  SetRecordInt(record, er::kZonePolicy, static_cast<uint32_t>(warn));
  return true;
}

bool InternetExplorer5Settings::SaveSettings(BinData& record) {
  if (record.SetLength(er::kVersion5MinimumLength) != 0) return false;
  std::memset(record.GetData(), 0, er::kVersion5MinimumLength);
  GString name = FindConnectionName();
  RegistryKey connections;
  if (connections.Open(HKEY_CURRENT_USER, settingsKey, KEY_READ) != ERROR_SUCCESS) return false;
  std::vector<uint8_t> data;
  bool read = ReadConnection(connections.Get(), name, data);
  SetRecordText(record, er::kConnectionName, er::kConnectionNameSize, name);
  if (read && data.size() > kHeaderLength) {
    if (record.Append(data.data(), data.size()) != 0) return false;
    ParseConnection(data, record);
  } else if (record.Append(static_cast<uint8_t>(kMarker)) != 0) {
    return false;
  }
  connections.Close();
  return ReadZoneSettings(record);
}

bool InternetExplorer5Settings::RestoreSettings(const BinData& record) {
  if (record.GetLength() < er::kVersion5MinimumLength) return false;
  GString name = GetRecordText(record, er::kConnectionName, er::kConnectionNameSize);
  RegistryKey connections;
  if (connections.Open(HKEY_CURRENT_USER, settingsKey, KEY_WRITE) != ERROR_SUCCESS) return false;
  bool ok = WriteRegistryBinary(connections.Get(), name, record.GetData() + er::kRawConnection,
                                record.GetLength() - er::kRawConnection);
  connections.Close();
  bool zoneFound = false;
  return WriteZoneSettings(GetRecordInt(record, er::kZonePolicy), GetRecordInt(record, er::kProxyHttp11),
                           zoneFound) &&
         ok;
}

bool InternetExplorer5Settings::PointBrowserAtProxy(const char* host, int port, int keepAutoConfiguration,
                                                    const BinData& record) {
  if (record.GetLength() < er::kVersion5MinimumLength) return false;
  bool ok = true;
  if (keepAutoConfiguration == 0 || GetSavedProxyMode(record) != 2) {
    GString merged = MergeProxyServer(GetRecordText(record, er::kProxyServer, er::kTextSize),
                                      static_cast<int>(GetRecordInt(record, er::kProxyEnable)), host, port);
    GString name = GetRecordText(record, er::kConnectionName, er::kConnectionNameSize);
    RegistryKey connections;
    if (connections.Open(HKEY_CURRENT_USER, settingsKey, KEY_WRITE) != ERROR_SUCCESS) return false;
    BinData connection = BuildConnectionRecord(merged);
    ok = WriteRegistryBinary(connections.Get(), name, connection.GetData(), connection.GetLength());
  }
  bool zoneFound = false;
  return WriteZoneSettings(0, 0, zoneFound) && ok;
}
