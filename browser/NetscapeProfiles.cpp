#include "browser/NetscapeProfiles.h"

#include "browser/NsregReader.h"
#include "browser/RegistryValues.h"
#include "platform/Registry.h"

namespace {

constexpr const char* kUsersKey = "Software\\Netscape\\Netscape Navigator\\Users";
constexpr const char* kBiffKey = "Software\\Netscape\\Netscape Navigator\\biff";
constexpr DWORD kSubkeyNameSize = 256;
constexpr size_t kCurrentUserSize = 256;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Opens the key with full access, else for reading; writable tells which.
bool OpenProfileKey(HKEY hive, const char* path, RegistryKey& key, bool& writable) {
  writable = key.Open(hive, path, KEY_ALL_ACCESS) == ERROR_SUCCESS;
  return writable || key.Open(hive, path, KEY_READ) == ERROR_SUCCESS;
}

void EnumerateSubkeys(HKEY key, std::vector<GString>& names) {
  for (DWORD index = 0;; ++index) {
    char name[kSubkeyNameSize];
    DWORD size = sizeof name;
    LONG status = RegEnumKeyExA(key, index, name, &size, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status == ERROR_SUCCESS) names.push_back(GString(name, size));
    if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) break;
  }
}

bool Contains(const std::vector<GString>& names, const GString& name) {
  for (const GString& entry : names) {
    if (entry == name) return true;
  }
  return false;
}

}  // namespace

GString UrlDecode(const char* text) {
  GString out;
  if (text == nullptr) return out;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p == '+') {
      out.Append(' ');
    } else if (*p == '%' && HexValue(p[1]) >= 0 && HexValue(p[2]) >= 0) {
      out.Append(static_cast<char>(HexValue(p[1]) * 16 + HexValue(p[2])));
      p += 2;
    } else {
      out.Append(*p);
    }
  }
  return out;
}

bool ReadNetscapeProfiles(std::vector<GString>& names, GString& current, int newLayout) {
  RegistryKey key;
  bool writable = false;
  if (newLayout == 0) {
    if (!OpenProfileKey(HKEY_LOCAL_MACHINE, kUsersKey, key, writable)) return false;
    EnumerateSubkeys(key.Get(), names);
  } else {
    std::vector<GString> locations;
    ReadNsregProfiles(names, locations);
    if (!OpenProfileKey(HKEY_CURRENT_USER, kBiffKey, key, writable)) return false;
  }

  char buffer[kCurrentUserSize];
  GString name;
  if (ReadRegistryString(key.Get(), "CurrentUser", buffer, sizeof buffer, nullptr)) {
    name = buffer;
  } else if (newLayout == 0 && !names.empty()) {
    name = names.back();
    if (writable) WriteRegistryString(key.Get(), "CurrentUser", name);
  }

  if (Contains(names, name)) {
    current = name;
    return true;
  }
  if (names.empty()) return false;
  current = names.front();
  if (writable && names.size() == 1) WriteRegistryString(key.Get(), "CurrentUser", current);
  return true;
}
