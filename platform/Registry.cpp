#include "platform/Registry.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "common/BinData.h"
#include "common/GString.h"
#include "platform/Files.h"
#include "platform/RegistryText.h"
#include "platform/WindowsFolder.h"

// An open key: the hive's file as it was resolved when the key was opened,
// the key's path below the hive (backslash-separated, empty for the hive
// itself) and whether the handle may change the store.
struct RegistryKeyHandle {
  int hive;
  bool predefined;
  bool writable;
  std::string file;
  std::string path;
};

namespace {

using registry_text::Hive;
using registry_text::Key;
using registry_text::Value;
using registry_text::EqualNoCase;
using registry_text::FindKey;
using registry_text::FindValue;
using registry_text::IsBelow;
using registry_text::IsReadOnly;
using registry_text::JoinPath;
using registry_text::KeyExists;

constexpr size_t kHiveFileLimit = 16 * 1024 * 1024;
constexpr const char* kHiveNames[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE"};
constexpr REGSAM kWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | 0x000D0000;

RegistryKeyHandle g_predefined[] = {
    {0, true, true, {}, {}}, {1, true, true, {}, {}}, {2, true, true, {}, {}}};

// ---- Store access ----

std::string HiveFile(int hiveIndex) {
  GString folder = GetWindowsDirectory();
  return std::string(folder.Text()) + "/" + kHiveNames[hiveIndex] + ".reg";
}

const std::string& FileOf(RegistryKeyHandle* handle) {
  if (handle->predefined) handle->file = HiveFile(handle->hive);
  return handle->file;
}

LONG LoadHive(const std::string& file, int hiveIndex, Hive& hive) {
  hive.keys.clear();
  if (_access(file.c_str(), 0) != 0) return ERROR_SUCCESS;
  BinData bytes;
  if (!ReadWholeFile(file.c_str(), bytes, kHiveFileLimit)) return ERROR_BADDB;
  std::string text(reinterpret_cast<const char*>(bytes.GetData()), bytes.GetLength());
  return registry_text::ParseHive(text, kHiveNames[hiveIndex], hive) ? ERROR_SUCCESS : ERROR_BADDB;
}

LONG SaveHive(const std::string& file, int hiveIndex, const Hive& hive) {
  std::string text = registry_text::FormatHive(hive, kHiveNames[hiveIndex]);
  return WriteFileAtomically(file.c_str(), text.data(), text.size()) ? ERROR_SUCCESS : ERROR_CANTWRITE;
}

bool IsValidHandle(HKEY key) { return key != nullptr; }

// Key and value names go into the text as they are: a control character
// would break the line structure of the file.
bool IsStorableName(const char* name) {
  if (name == nullptr) return true;
  for (const char* p = name; *p != '\0'; ++p) {
    if (static_cast<unsigned char>(*p) < 0x20 || *p == 0x7F) return false;
  }
  return true;
}

LONG NewHandle(HKEY parent, const std::string& path, bool writable, HKEY* result) {
  auto* handle = new (std::nothrow) RegistryKeyHandle{parent->hive, false, writable, FileOf(parent), path};
  if (handle == nullptr) return ERROR_CANTWRITE;
  *result = handle;
  return ERROR_SUCCESS;
}

}  // namespace

const HKEY HKEY_CLASSES_ROOT = &g_predefined[0];
const HKEY HKEY_CURRENT_USER = &g_predefined[1];
const HKEY HKEY_LOCAL_MACHINE = &g_predefined[2];

LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM access, HKEY* result) {
  if (!IsValidHandle(key) || result == nullptr) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  Hive hive;
  LONG status = LoadHive(FileOf(key), key->hive, hive);
  if (status != ERROR_SUCCESS) return status;
  std::string path = JoinPath(key->path, subKey);
  if (!KeyExists(hive, path)) return ERROR_FILE_NOT_FOUND;
  bool wantsWrite = (access & kWriteRights) != 0;
  if (wantsWrite && IsReadOnly(hive, path)) return ERROR_ACCESS_DENIED;
  return NewHandle(key, path, wantsWrite, result);
}

LONG RegCreateKeyExA(HKEY key, const char* subKey, DWORD reserved, char* className, DWORD options,
                     REGSAM access, void* security, HKEY* result, DWORD* disposition) {
  if (!IsValidHandle(key) || result == nullptr) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  if (!IsStorableName(subKey)) return ERROR_INVALID_PARAMETER;
  Hive hive;
  const std::string& file = FileOf(key);
  LONG status = LoadHive(file, key->hive, hive);
  if (status != ERROR_SUCCESS) return status;
  std::string path = JoinPath(key->path, subKey);
  bool wantsWrite = (access & kWriteRights) != 0;
  if (KeyExists(hive, path)) {
    if (wantsWrite && IsReadOnly(hive, path)) return ERROR_ACCESS_DENIED;
    if (disposition != nullptr) *disposition = REG_OPENED_EXISTING_KEY;
    return NewHandle(key, path, wantsWrite, result);
  }
  if (!key->writable) return ERROR_ACCESS_DENIED;
  hive.keys.push_back(Key{path, false, {}});
  status = SaveHive(file, key->hive, hive);
  if (status != ERROR_SUCCESS) return status;
  if (disposition != nullptr) *disposition = REG_CREATED_NEW_KEY;
  return NewHandle(key, path, wantsWrite, result);
}

LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                      DWORD* dataSize) {
  if (!IsValidHandle(key)) return ERROR_INVALID_HANDLE;
  if (data != nullptr && dataSize == nullptr) return ERROR_INVALID_PARAMETER;
  Hive hive;
  LONG status = LoadHive(FileOf(key), key->hive, hive);
  if (status != ERROR_SUCCESS) return status;
  Key* found = FindKey(hive, key->path);
  Value* value = found == nullptr ? nullptr : FindValue(*found, valueName);
  if (value == nullptr) return ERROR_FILE_NOT_FOUND;
  std::vector<uint8_t> bytes = value->data;
  if (value->type == REG_SZ) bytes.push_back(0);
  if (type != nullptr) *type = value->type;
  if (dataSize == nullptr) return ERROR_SUCCESS;
  DWORD room = *dataSize;
  *dataSize = static_cast<DWORD>(bytes.size());
  if (data == nullptr) return ERROR_SUCCESS;
  if (room < bytes.size()) return ERROR_MORE_DATA;
  if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
  return ERROR_SUCCESS;
}

LONG RegSetValueExA(HKEY key, const char* valueName, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD dataSize) {
  if (!IsValidHandle(key)) return ERROR_INVALID_HANDLE;
  if ((data == nullptr && dataSize != 0) || !IsStorableName(valueName)) return ERROR_INVALID_PARAMETER;
  if (!key->writable) return ERROR_ACCESS_DENIED;
  Hive hive;
  const std::string& file = FileOf(key);
  LONG status = LoadHive(file, key->hive, hive);
  if (status != ERROR_SUCCESS) return status;
  if (key->path.empty()) return ERROR_ACCESS_DENIED;
  Key* target = FindKey(hive, key->path);
  if (target == nullptr) {
    if (!KeyExists(hive, key->path)) return ERROR_FILE_NOT_FOUND;
    hive.keys.push_back(Key{key->path, false, {}});
    target = &hive.keys.back();
  }
  Value value;
  value.name = valueName == nullptr ? std::string() : std::string(valueName);
  value.type = type;
  value.data.assign(data, data + dataSize);
  if (type == REG_SZ) {
    const void* nul = dataSize == 0 ? nullptr : std::memchr(data, 0, dataSize);
    if (nul != nullptr) value.data.resize(static_cast<const BYTE*>(nul) - data);
  }
  Value* existing = FindValue(*target, valueName);
  if (existing != nullptr) {
    existing->type = value.type;
    existing->data = value.data;
  } else {
    target->values.push_back(value);
  }
  return SaveHive(file, key->hive, hive);
}

LONG RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD* reserved,
                   char* className, DWORD* classSize, void* lastWriteTime) {
  if (!IsValidHandle(key)) return ERROR_INVALID_HANDLE;
  if (name == nullptr || nameSize == nullptr) return ERROR_INVALID_PARAMETER;
  Hive hive;
  LONG status = LoadHive(FileOf(key), key->hive, hive);
  if (status != ERROR_SUCCESS) return status;
  std::vector<std::string> children;
  for (const Key& k : hive.keys) {
    if (!IsBelow(k.path, key->path)) continue;
    size_t start = key->path.empty() ? 0 : key->path.size() + 1;
    size_t end = k.path.find('\\', start);
    std::string child = k.path.substr(start, end == std::string::npos ? std::string::npos : end - start);
    bool seen = false;
    for (const std::string& c : children) seen = seen || EqualNoCase(c, child);
    if (!seen) children.push_back(child);
  }
  if (index >= children.size()) return ERROR_NO_MORE_ITEMS;
  const std::string& child = children[index];
  if (*nameSize <= child.size()) return ERROR_MORE_DATA;
  std::memcpy(name, child.c_str(), child.size() + 1);
  *nameSize = static_cast<DWORD>(child.size());
  return ERROR_SUCCESS;
}

LONG RegDeleteValueA(HKEY key, const char* valueName) {
  if (!IsValidHandle(key)) return ERROR_INVALID_HANDLE;
  if (!key->writable) return ERROR_ACCESS_DENIED;
  Hive hive;
  const std::string& file = FileOf(key);
  LONG status = LoadHive(file, key->hive, hive);
  if (status != ERROR_SUCCESS) return status;
  Key* target = FindKey(hive, key->path);
  Value* value = target == nullptr ? nullptr : FindValue(*target, valueName);
  if (value == nullptr) return ERROR_FILE_NOT_FOUND;
  target->values.erase(target->values.begin() + (value - target->values.data()));
  return SaveHive(file, key->hive, hive);
}

LONG RegDeleteKeyA(HKEY key, const char* subKey) {
  if (!IsValidHandle(key)) return ERROR_INVALID_HANDLE;
  if (!key->writable) return ERROR_ACCESS_DENIED;
  Hive hive;
  const std::string& file = FileOf(key);
  LONG status = LoadHive(file, key->hive, hive);
  if (status != ERROR_SUCCESS) return status;
  std::string path = JoinPath(key->path, subKey);
  if (path.empty() || !KeyExists(hive, path)) return ERROR_FILE_NOT_FOUND;
  if (IsReadOnly(hive, path)) return ERROR_ACCESS_DENIED;
  std::vector<Key> kept;
  for (Key& k : hive.keys) {
    if (!EqualNoCase(k.path, path) && !IsBelow(k.path, path)) kept.push_back(std::move(k));
  }
  hive.keys = std::move(kept);
  return SaveHive(file, key->hive, hive);
}

LONG RegCloseKey(HKEY key) {
  if (!IsValidHandle(key)) return ERROR_INVALID_HANDLE;
  if (!key->predefined) delete key;
  return ERROR_SUCCESS;
}

LONG RegSetKeyReadOnly(HKEY hive, const char* subKey, bool readOnly) {
  if (!IsValidHandle(hive) || !hive->predefined) return ERROR_INVALID_HANDLE;
  Hive store;
  const std::string& file = FileOf(hive);
  LONG status = LoadHive(file, hive->hive, store);
  if (status != ERROR_SUCCESS) return status;
  std::string path = JoinPath(std::string(), subKey);
  if (path.empty() || !KeyExists(store, path)) return ERROR_FILE_NOT_FOUND;
  Key* target = FindKey(store, path);
  if (target == nullptr) {
    store.keys.push_back(Key{path, false, {}});
    target = &store.keys.back();
  }
  target->readOnly = readOnly;
  return SaveHive(file, hive->hive, store);
}

LONG RegistryKey::Open(HKEY parent, const char* subKey, REGSAM access) {
  Close();
  return RegOpenKeyExA(parent, subKey, 0, access, &key_);
}

LONG RegistryKey::Create(HKEY parent, const char* subKey, REGSAM access) {
  Close();
  return RegCreateKeyExA(parent, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &key_,
                         nullptr);
}

void RegistryKey::Close() {
  if (key_ != nullptr) RegCloseKey(key_);
  key_ = nullptr;
}
