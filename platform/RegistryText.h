#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Win32Types.h"

// One hive of the registry store in memory, and its registry-export text
// ("REGEDIT4"): sections "[HIVE\path]" holding quoted string values,
// "dword:" numbers and "hex:" / "hex(N):" byte lists (continued over lines
// with a trailing backslash). A line ";read-only" right below a section's
// header marks that key as refusing write access.
//
// Key paths are backslash-separated below the hive, compared without regard
// to ASCII letter case; so are value names ("" is the default value "@").
namespace registry_text {

struct Value {
  std::string name;
  DWORD type = 0;
  std::vector<uint8_t> data;  // a string value without its terminator
};

struct Key {
  std::string path;
  bool readOnly = false;
  std::vector<Value> values;
};

// The keys in the order of the file.
struct Hive {
  std::vector<Key> keys;
};

bool EqualNoCase(const std::string& a, const std::string& b);

// True when path lies below parent ("" is the hive's root, above every key).
bool IsBelow(const std::string& path, const std::string& parent);

// parent + "\\" + subKey without leading or trailing backslashes of subKey;
// a null or empty subKey gives parent.
std::string JoinPath(const std::string& parent, const char* subKey);

Key* FindKey(Hive& hive, const std::string& path);

// A key exists when it has a section of its own or a key below it has.
bool KeyExists(const Hive& hive, const std::string& path);

bool IsReadOnly(Hive& hive, const std::string& path);

Value* FindValue(Key& key, const char* name);

// Reads the export text of the hive named hiveName (e.g. "HKEY_CURRENT_USER")
// into hive. False when the text is not a well-formed export of that hive;
// hive then holds whatever was read before the fault.
bool ParseHive(const std::string& text, const char* hiveName, Hive& hive);

// The export text of hive, which ParseHive reads back to the same keys.
std::string FormatHive(const Hive& hive, const char* hiveName);

}  // namespace registry_text
