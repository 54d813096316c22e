#include "browser/BrowserSettings.h"

#include <cstring>
#include <strings.h>

#include "browser/RegistryValues.h"
#include "platform/Registry.h"

namespace {

char g_browserHint[BrowserSettings::kBrowserHintLimit + 1] = {};

constexpr DWORD kCommandBufferSize = 2048;

}  // namespace

void BrowserSettings::SetBrowserHint(const char* hint) {
  if (hint == nullptr) {
    g_browserHint[0] = '\0';
    return;
  }
  std::strncpy(g_browserHint, hint, kBrowserHintLimit);
  g_browserHint[kBrowserHintLimit] = '\0';
}

const char* BrowserSettings::GetBrowserHint() { return g_browserHint; }

bool BrowserSettings::GetBrowserCommandFromKey(const char* commandKey, GString& command) {
  if (g_browserHint[0] != '\0' && strcasecmp(g_browserHint, "\"default\"") != 0) {
    command = g_browserHint;
    return true;
  }
  RegistryKey key;
  if (key.Open(HKEY_CLASSES_ROOT, commandKey, KEY_READ) != ERROR_SUCCESS) return false;
  char buffer[kCommandBufferSize];
  bool read = ReadRegistryString(key.Get(), nullptr, buffer, sizeof buffer, nullptr);
  command = buffer;
  return read;
}
