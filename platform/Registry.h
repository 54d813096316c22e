#pragma once

#include <cstdint>

#include "platform/Win32Types.h"

// The registry as the browser code sees it: three hives of keys holding
// string, 4-byte and binary values, reached through Win32-style calls with
// HKEY handles.
//
// Each hive is a text file in registry-export form ("REGEDIT4") under the
// Windows folder (see platform/WindowsFolder.h): "HKEY_CLASSES_ROOT.reg",
// "HKEY_CURRENT_USER.reg" and "HKEY_LOCAL_MACHINE.reg". Every call reads the
// file afresh and every change rewrites it atomically, so another process (or
// a person with a text editor) always sees a whole, current hive. A handle
// remembers the file of its hive as it was when the key was opened.
//
// A key can be marked read-only (RegSetKeyReadOnly, or a line
// ";read-only" right below its header in the file): opening it with any
// write right then gives ERROR_ACCESS_DENIED, as a key whose security refuses
// full access does. File permissions cannot show this when tests run as root.

struct RegistryKeyHandle;
using HKEY = RegistryKeyHandle*;
using REGSAM = DWORD;

// The predefined hives. They are never closed (closing one is harmless).
extern const HKEY HKEY_CLASSES_ROOT;
extern const HKEY HKEY_CURRENT_USER;
extern const HKEY HKEY_LOCAL_MACHINE;

// Results.
constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_ACCESS_DENIED = 5;
constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_MORE_DATA = 234;
constexpr LONG ERROR_NO_MORE_ITEMS = 259;
constexpr LONG ERROR_CANTWRITE = 1013;
constexpr LONG ERROR_BADDB = 1009;

// Value types.
constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;

// Access rights.
constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_CREATE_LINK = 0x0020;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Opens subKey (backslash-separated, letter case ignored; null or empty opens
// the key itself again) below key. The new handle, stored in *result, must be
// closed with RegCloseKey.
LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM access, HKEY* result);

// Opens subKey, creating it and every missing key above it. *disposition (when
// not null) tells which happened. Creating needs write access to the store.
LONG RegCreateKeyExA(HKEY key, const char* subKey, DWORD reserved, char* className, DWORD options,
                     REGSAM access, void* security, HKEY* result, DWORD* disposition);

// Reads a value (null or "" names the unnamed value). With data null only the
// size is reported. A buffer too small gives ERROR_MORE_DATA and the size
// needed. String values are returned with their terminating NUL, counted in
// the size.
LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                      DWORD* dataSize);

// Writes a value; the handle needs KEY_SET_VALUE. A name with a control
// character is refused (ERROR_INVALID_PARAMETER), as is such a key name in
// RegCreateKeyExA. A REG_SZ value is taken up
// to its first NUL (or the whole size when there is none).
LONG RegSetValueExA(HKEY key, const char* valueName, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD dataSize);

// The name of the index-th subkey (in the order of the file). *nameSize is
// the buffer size in; the name length without its NUL out. ERROR_NO_MORE_ITEMS
// past the last one.
LONG RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD* reserved,
                   char* className, DWORD* classSize, void* lastWriteTime);

LONG RegDeleteValueA(HKEY key, const char* valueName);

// Deletes subKey together with everything below it.
LONG RegDeleteKeyA(HKEY key, const char* subKey);

LONG RegCloseKey(HKEY key);

// Marks subKey below a hive (or clears the mark): while marked, opening it
// with a write right is refused. Returns ERROR_SUCCESS or the store's error.
LONG RegSetKeyReadOnly(HKEY hive, const char* subKey, bool readOnly);

// The RAII holder of one open key.
class RegistryKey {
 public:
  RegistryKey() = default;
  explicit RegistryKey(HKEY key) : key_(key) {}
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;
  ~RegistryKey() { Close(); }

  // Opens or creates subKey below parent; the previous key is closed first.
  LONG Open(HKEY parent, const char* subKey, REGSAM access);
  LONG Create(HKEY parent, const char* subKey, REGSAM access);
  void Close();

  HKEY Get() const { return key_; }
  bool IsOpen() const { return key_ != nullptr; }

 private:
  HKEY key_ = nullptr;
};
