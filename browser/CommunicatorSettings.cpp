#include "browser/CommunicatorSettings.h"

#include <cstdio>
#include <cstring>

#include "browser/BrowserDetection.h"
#include "browser/ExecutableVersion.h"
#include "browser/NetscapeRecord.h"
#include "browser/NsregReader.h"
#include "browser/PrefsReader.h"
#include "browser/RecordFields.h"
#include "browser/RegistryValues.h"
#include "browser/StdioFile.h"
#include "platform/Registry.h"

namespace nr = netscape_record;

namespace {

constexpr const char* kBiffKey = "Software\\Netscape\\Netscape Navigator\\biff";
constexpr const char* kUsersKey = "Software\\Netscape\\Netscape Navigator\\Users";
constexpr size_t kNameBufferSize = 1024;

constexpr const char* kHttpName = "\"network.proxy.http\"";
constexpr const char* kGopherName = "\"network.proxy.gopher\"";
constexpr const char* kFtpName = "\"network.proxy.ftp\"";
constexpr const char* kSslName = "\"network.proxy.ssl\"";
constexpr const char* kWaisName = "\"network.proxy.wais\"";
constexpr const char* kHttpPortName = "\"network.proxy.http_port\"";
constexpr const char* kTypeName = "\"network.proxy.type\"";
constexpr const char* kWarningName = "\"security.warn_submit_insecure\"";

// A value never carries a line end into the file: a damaged record must not
// add lines of its own.
bool AppendText(std::FILE* file, const char* name, const char* value) {
  GString clean;
  for (const char* p = value; *p != '\0'; ++p) {
    if (*p != '\r' && *p != '\n') clean.Append(*p);
  }
  return std::fprintf(file, "user_pref(%s, \"%s\");\n", name, clean.Text()) > 0;
}

bool AppendNumber(std::FILE* file, const char* name, int value) {
  return std::fprintf(file, "user_pref(%s, %d);\n", name, value) > 0;
}

bool AppendWord(std::FILE* file, const char* name, const char* word) {
  return std::fprintf(file, "user_pref(%s, %s);\n", name, word) > 0;
}

}  // namespace

CommunicatorSettings::CommunicatorSettings() {
  GString command;
  NavigatorSettings::GetBrowserCommand(command);
  char* path = command.GetBuffer(command.GetLength());
  if (path == nullptr) return;
  ExtractProgramPath(path);
  command.ReleaseBuffer();
  ExecutableVersion version;
  if (!ReadExecutableVersion(command.Text(), version)) return;
  if (IsNewRegistryVersion(version)) {
    newRegistry = 1;
    ReadNsregProfiles(profileNames, profileLocations);
  }
}

BrowserKind CommunicatorSettings::GetBrowserKind() {
  return newRegistry != 0 ? BrowserKind::Communicator45 : BrowserKind::Communicator;
}

bool CommunicatorSettings::GetPrefsFilePath(GString& path) {
  char buffer[kNameBufferSize];
  RegistryKey key;
  if (newRegistry != 0) {
    if (key.Open(HKEY_CURRENT_USER, kBiffKey, KEY_READ) != ERROR_SUCCESS) return false;
    if (!ReadRegistryString(key.Get(), "CurrentUser", buffer, sizeof buffer, nullptr)) return false;
    for (size_t i = 0; i < profileNames.size() && i < profileLocations.size(); ++i) {
      if (profileNames[i] == buffer) {
        path = profileLocations[i] + "/prefs.js";
        return true;
      }
    }
    return false;
  }
  if (key.Open(HKEY_LOCAL_MACHINE, kUsersKey, KEY_READ) != ERROR_SUCCESS) return false;
  if (!ReadRegistryString(key.Get(), "CurrentUser", buffer, sizeof buffer, nullptr)) return false;
  GString profileKey = GString(kUsersKey) + "\\" + buffer;
  if (key.Open(HKEY_LOCAL_MACHINE, profileKey, KEY_READ) != ERROR_SUCCESS) return false;
  if (!ReadRegistryString(key.Get(), "DirRoot", buffer, sizeof buffer, nullptr)) return false;
  path = GString(buffer) + "/prefs.js";
  return true;
}

bool CommunicatorSettings::SaveSettings(BinData& record) {
  GString path;
  if (!GetPrefsFilePath(path)) return false;
  return ReadPrefsFile(path, record);
}

bool CommunicatorSettings::RestoreSettings(const BinData& record) {
  if (record.GetLength() != nr::kLength) return false;
  GString path;
  if (!GetPrefsFilePath(path)) return false;
  StdioFile file(path, "a+");
  if (!file.IsOpen()) return false;
  std::FILE* f = file.Get();
  bool ok = AppendText(f, kHttpName, GetRecordText(record, nr::kHttpHost, nr::kTextSize)) &&
            AppendText(f, kGopherName, GetRecordText(record, nr::kGopherHost, nr::kTextSize)) &&
            AppendText(f, kFtpName, GetRecordText(record, nr::kFtpHost, nr::kTextSize)) &&
            AppendText(f, kSslName, GetRecordText(record, nr::kSslHost, nr::kTextSize)) &&
            AppendText(f, kWaisName, GetRecordText(record, nr::kWaisHost, nr::kTextSize)) &&
            AppendNumber(f, kHttpPortName, static_cast<int>(GetRecordInt(record, nr::kHttpPort))) &&
            AppendNumber(f, kTypeName, static_cast<int>(GetRecordInt(record, nr::kProxyType))) &&
            AppendWord(f, kWarningName, GetRecordInt(record, nr::kFormWarning) != 0 ? "true" : "false");
  return file.Close() && ok;
}

bool CommunicatorSettings::SetSavedFormWarning(BinData& record, int warn) {
  if (record.IsEmpty()) return false;
  return NavigatorSettings::SetSavedFormWarning(record, warn);
}

bool CommunicatorSettings::PointBrowserAtProxy(const char* host, int port, int keepAutoConfiguration,
                                               const BinData& record) {
  if (record.GetLength() != nr::kLength) return false;
  GString path;
  if (!GetPrefsFilePath(path)) return false;
  StdioFile file(path, "a+");
  if (!file.IsOpen()) return false;
  std::FILE* f = file.Get();
  bool ok = true;
  if (keepAutoConfiguration == 0 || GetSavedProxyMode(record) != nr::kTypeAutoConfig) {
    ok = AppendText(f, kHttpName, host != nullptr ? host : "") && AppendNumber(f, kHttpPortName, port) &&
         AppendNumber(f, kTypeName, nr::kTypeManual);
    if (GetRecordInt(record, nr::kProxyType) != nr::kTypeManual) {
      for (const char* name : {kGopherName, kFtpName, kSslName, kWaisName}) {
        ok = AppendText(f, name, "") && ok;
      }
    }
  }
  ok = std::fputs("user_pref(\"security.warn_submit_insecure\", false);\n", f) >= 0 && ok;
  return file.Close() && ok;
}
