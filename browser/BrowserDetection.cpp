#include "browser/BrowserDetection.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "browser/BrowserMessages.h"
#include "browser/CommunicatorSettings.h"
#include "browser/ExecutableVersion.h"
#include "browser/InternetExplorer5Settings.h"
#include "browser/InternetExplorerSettings.h"
#include "browser/NavigatorSettings.h"
#include "browser/RegistryValues.h"
#include "platform/Files.h"
#include "platform/MessageBox.h"
#include "platform/Profile.h"
#include "platform/Registry.h"
#include "platform/WindowList.h"
#include "platform/WindowsFolder.h"

namespace {

constexpr size_t kHandlerBufferSize = 260;
constexpr size_t kVersionBufferSize = 2048;
constexpr int kTitleLimit = 1024;
constexpr int kCloseWaitRounds = 1000;

constexpr const char* kHttpCommandKey = "http\\shell\\open\\command";
constexpr const char* kNetscapeCommandKey = "NetscapeMarkup\\shell\\open\\command";
constexpr const char* kHtmlCommandKey = "htmlfile\\shell\\open\\command";
constexpr const char* kExplorerKey = "SOFTWARE\\Microsoft\\Internet Explorer";

// The window sweep's question: 1 not yet asked, 0 asked and accepted, -1
// declined. It lives as long as the process.
int g_askState = 1;

GString g_configFile;

void LowerAscii(char* text) {
  for (char* p = text; *p != '\0'; ++p) {
    if (*p >= 'A' && *p <= 'Z') *p = static_cast<char>(*p - 'A' + 'a');
  }
}

// The unnamed value of key below HKEY_CLASSES_ROOT; false when the key is
// missing.
bool ReadCommandKey(const char* keyPath, char* buffer, size_t size) {
  RegistryKey key;
  buffer[0] = '\0';
  if (key.Open(HKEY_CLASSES_ROOT, keyPath, KEY_READ) != ERROR_SUCCESS) return false;
  ReadRegistryString(key.Get(), nullptr, buffer, size, nullptr);
  return true;
}

BrowserKind InternetExplorerKind() {
  RegistryKey key;
  if (key.Open(HKEY_LOCAL_MACHINE, kExplorerKey, KEY_READ) != ERROR_SUCCESS) {
    return BrowserKind::InternetExplorer;
  }
  char version[kVersionBufferSize];
  bool read = ReadRegistryString(key.Get(), "Version", version, sizeof version, nullptr);
  return read && version[0] == '5' ? BrowserKind::InternetExplorer5 : BrowserKind::InternetExplorer;
}

BrowserKind NetscapeKindFromCommand(char* command) {
  if (!ExtractProgramPath(command)) return BrowserKind::Unknown;
  return NetscapeKindFromExecutable(command);
}

BrowserKind DetectFromRegistry() {
  char handler[kHandlerBufferSize];
  bool opened = ReadCommandKey(kHttpCommandKey, handler, sizeof handler);
  LowerAscii(handler);
  bool explorerHandles = opened && handler[0] != '\0' && std::strstr(handler, "netscape") == nullptr &&
                         std::strstr(handler, "iexplore") != nullptr;
  if (!explorerHandles) {
    char command[kHandlerBufferSize];
    if (ReadCommandKey(kNetscapeCommandKey, command, sizeof command)) return NetscapeKindFromCommand(command);
  }
  char htmlCommand[kHandlerBufferSize];
  if (!ReadCommandKey(kHtmlCommandKey, htmlCommand, sizeof htmlCommand)) return BrowserKind::Unknown;
  return InternetExplorerKind();
}

bool IsNetscapeTitle(const GString& title) {
  return title.Find("- netscape") >= 0 || title == "netscape" || title.Find("netscape message center") >= 0 ||
         title.Find("- netscape folder") >= 0 || title.Find("- netscape discussion") >= 0;
}

}  // namespace

BrowserKind DetectBrowserKind(const char* hint) {
  if (hint != nullptr) {
    if (std::strlen(hint) > static_cast<size_t>(BrowserSettings::kBrowserHintLimit)) return BrowserKind::Unknown;
    BrowserSettings::SetBrowserHint(hint);
    char lower[BrowserSettings::kBrowserHintLimit + 1];
    std::strcpy(lower, hint);
    LowerAscii(lower);
    if (std::strstr(lower, "netscape") != nullptr) {
      // The path keeps its letter case: file names here are case-sensitive.
      char path[BrowserSettings::kBrowserHintLimit + 1];
      std::strcpy(path, hint);
      return NetscapeKindFromCommand(path);
    }
    if (std::strstr(lower, "iexplore") != nullptr) return InternetExplorerKind();
    if (std::strstr(lower, "default") == nullptr) return BrowserKind::Unknown;
  }
  return DetectFromRegistry();
}

std::unique_ptr<BrowserSettings> CreateBrowserSettings(const char* hint) {
  return CreateBrowserSettingsForKind(DetectBrowserKind(hint));
}

std::unique_ptr<BrowserSettings> CreateBrowserSettingsForKind(BrowserKind kind) {
  switch (kind) {
    case BrowserKind::Communicator:
    case BrowserKind::Communicator45:
      return std::unique_ptr<BrowserSettings>(new (std::nothrow) CommunicatorSettings());
    case BrowserKind::Navigator:
      return std::unique_ptr<BrowserSettings>(new (std::nothrow) NavigatorSettings());
    case BrowserKind::InternetExplorer:
      return std::unique_ptr<BrowserSettings>(new (std::nothrow) InternetExplorerSettings());
    case BrowserKind::InternetExplorer5:
      return std::unique_ptr<BrowserSettings>(new (std::nothrow) InternetExplorer5Settings());
    default:
      return nullptr;
  }
}

bool ExtractProgramPath(char* commandLine) {
  if (commandLine == nullptr) return false;
  if (commandLine[0] == '"') {
    char* close = std::strchr(commandLine + 1, '"');
    if (close == nullptr) return false;
    size_t length = static_cast<size_t>(close - (commandLine + 1));
    std::memmove(commandLine, commandLine + 1, length);
    commandLine[length] = '\0';
    return true;
  }
  char* space = std::strchr(commandLine, ' ');
  if (space != nullptr) *space = '\0';
  return true;
}

BrowserKind NetscapeKindFromExecutable(const char* path) {
  ExecutableVersion version;
  if (!ReadExecutableVersion(path, version)) return BrowserKind::Unknown;
  if (!(version.productMajor >= 4 && version.fileMajor >= 4)) return BrowserKind::Navigator;
  GString config = GetBrowserConfigFile();
  if (GetPrivateProfileIntA("Velgrade", "notKillCommunicator", 0, config) == 0) CloseNetscapeWindows();
  return IsNewRegistryVersion(version) ? BrowserKind::Communicator45 : BrowserKind::Communicator;
}

void CloseNetscapeWindows() {
  WindowList& windows = GetWindowList();
  for (WindowHandle window : windows.EnumerateWindows()) {
    DWORD processId = 0;
    GString title;
    if (!windows.GetWindowProcessId(window, processId) || !windows.GetWindowTitle(window, title, kTitleLimit)) {
      continue;
    }
    title.MakeLower();
    if (!IsNetscapeTitle(title)) continue;
    if (g_askState != 0) {
      g_askState = 0;
      GString text = LoadBrowserMessage(kMessageCloseBrowser);
      if (MessageBoxA(nullptr, text, kBrowserMessageCaption, MB_OKCANCEL | MB_ICONEXCLAMATION) != IDOK) {
        g_askState = -1;
        break;
      }
    }
    if (windows.ProcessExists(processId)) {
      windows.SendCloseMessage(window);
      for (int round = 0; round < kCloseWaitRounds && windows.ProcessExists(processId); ++round) {
        windows.Sleep(1);
      }
    }
    if (!windows.ProcessExists(processId)) break;
  }
  if (g_askState == -1) std::_Exit(0);
}

void ResetCloseNetscapeWindowsQuestion() { g_askState = 1; }

void SetBrowserConfigFile(const char* path) { g_configFile = path; }

GString GetBrowserConfigFile() {
  if (!g_configFile.IsEmpty()) return g_configFile;
  GString besideProgram = GetProgramFolder() + "/corvask.ini";
  if (_access(besideProgram, kAccessExists) == 0) return besideProgram;
  return GetWindowsDirectory() + "/corvask.ini";
}
