#include "platform/Registry.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "common/BinData.h"
#include "common/GString.h"
#include "platform/Files.h"
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

constexpr size_t kHiveFileLimit = 16 * 1024 * 1024;
constexpr const char* kHiveNames[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE"};
constexpr const char* kReadOnlyMark = ";read-only";
constexpr REGSAM kWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | 0x000D0000;

RegistryKeyHandle g_predefined[] = {
    {0, true, true, {}, {}}, {1, true, true, {}, {}}, {2, true, true, {}, {}}};

struct Value {
  std::string name;
  DWORD type = REG_NONE;
  std::vector<uint8_t> data;  // REG_SZ without its terminator
};

struct Key {
  std::string path;
  bool readOnly = false;
  std::vector<Value> values;
};

// One hive in memory, in the order of its file.
struct Hive {
  std::vector<Key> keys;
};

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

// True when path is below parent ("" is the hive's root, above everything).
bool IsBelow(const std::string& path, const std::string& parent) {
  if (parent.empty()) return !path.empty();
  if (path.size() <= parent.size() + 1 || path[parent.size()] != '\\') return false;
  return EqualNoCase(path.substr(0, parent.size()), parent);
}

std::string JoinPath(const std::string& parent, const char* subKey) {
  std::string sub = subKey == nullptr ? std::string() : std::string(subKey);
  while (!sub.empty() && sub.front() == '\\') sub.erase(0, 1);
  while (!sub.empty() && sub.back() == '\\') sub.pop_back();
  if (sub.empty()) return parent;
  if (parent.empty()) return sub;
  return parent + "\\" + sub;
}

Key* FindKey(Hive& hive, const std::string& path) {
  for (Key& key : hive.keys) {
    if (EqualNoCase(key.path, path)) return &key;
  }
  return nullptr;
}

// A key exists when it has a section of its own or something below it has.
bool KeyExists(const Hive& hive, const std::string& path) {
  if (path.empty()) return true;
  for (const Key& key : hive.keys) {
    if (EqualNoCase(key.path, path) || IsBelow(key.path, path)) return true;
  }
  return false;
}

bool IsReadOnly(Hive& hive, const std::string& path) {
  const Key* key = FindKey(hive, path);
  return key != nullptr && key->readOnly;
}

Value* FindValue(Key& key, const char* name) {
  std::string wanted = name == nullptr ? std::string() : std::string(name);
  for (Value& value : key.values) {
    if (EqualNoCase(value.name, wanted)) return &value;
  }
  return nullptr;
}

// ---- Reading the export text ----

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = LowerAscii(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Reads a quoted string starting at text[pos] == '"'; pos ends after the
// closing quote. Backslash escapes the next character.
bool ParseQuoted(const std::string& text, size_t& pos, std::string& out) {
  if (pos >= text.size() || text[pos] != '"') return false;
  ++pos;
  out.clear();
  while (pos < text.size()) {
    char c = text[pos++];
    if (c == '"') return true;
    if (c == '\\' && pos < text.size()) {
      char next = text[pos];
      if (next == '\\' || next == '"') {
        out += next;
        ++pos;
        continue;
      }
    }
    out += c;
  }
  return false;
}

bool ParseHexBytes(const std::string& text, std::vector<uint8_t>& out) {
  out.clear();
  size_t pos = 0;
  while (pos < text.size()) {
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
    if (pos >= text.size()) break;
    if (pos + 1 >= text.size()) return false;
    int high = HexDigit(text[pos]);
    int low = HexDigit(text[pos + 1]);
    if (high < 0 || low < 0) return false;
    out.push_back(static_cast<uint8_t>(high * 16 + low));
    pos += 2;
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
    if (pos < text.size()) {
      if (text[pos] != ',') return false;
      ++pos;
    }
  }
  return true;
}

bool ParseData(const std::string& text, Value& value) {
  if (!text.empty() && text[0] == '"') {
    size_t pos = 0;
    std::string s;
    if (!ParseQuoted(text, pos, s) || pos != text.size()) return false;
    value.type = REG_SZ;
    value.data.assign(s.begin(), s.end());
    return true;
  }
  if (text.compare(0, 6, "dword:") == 0) {
    std::string digits = text.substr(6);
    if (digits.empty() || digits.size() > 8) return false;
    uint32_t number = 0;
    for (char c : digits) {
      int d = HexDigit(c);
      if (d < 0) return false;
      number = number * 16 + static_cast<uint32_t>(d);
    }
    value.type = REG_DWORD;
    value.data = {static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8),
                  static_cast<uint8_t>(number >> 16), static_cast<uint8_t>(number >> 24)};
    return true;
  }
  if (text.compare(0, 4, "hex:") == 0) {
    value.type = REG_BINARY;
    return ParseHexBytes(text.substr(4), value.data);
  }
  if (text.compare(0, 4, "hex(") == 0) {
    size_t close = text.find("):", 4);
    if (close == std::string::npos || close == 4 || close > 12) return false;
    uint32_t type = 0;
    for (size_t i = 4; i < close; ++i) {
      int d = HexDigit(text[i]);
      if (d < 0) return false;
      type = type * 16 + static_cast<uint32_t>(d);
    }
    value.type = type;
    if (!ParseHexBytes(text.substr(close + 2), value.data)) return false;
    if (type == REG_SZ && !value.data.empty() && value.data.back() == 0) value.data.pop_back();
    return true;
  }
  return false;
}

bool ParseValueLine(const std::string& line, Key& key) {
  Value value;
  size_t pos = 0;
  if (line[0] == '@') {
    pos = 1;
  } else if (!ParseQuoted(line, pos, value.name)) {
    return false;
  }
  if (pos >= line.size() || line[pos] != '=') return false;
  if (!ParseData(line.substr(pos + 1), value)) return false;
  Value* existing = FindValue(key, value.name.c_str());
  if (existing != nullptr) {
    *existing = value;
  } else {
    key.values.push_back(value);
  }
  return true;
}

// True when the data part of a value line (after the last quote) is a hex
// list, the only kind of data that export files continue over lines.
bool IsHexData(const std::string& line) {
  size_t quote = line.rfind('"');
  size_t start = quote == std::string::npos ? 0 : quote;
  return line.find("=hex", start) != std::string::npos;
}

// Splits the text into logical lines: CR LF or LF ends a line, a line ending
// in a backslash outside quotes continues on the next one.
std::vector<std::string> LogicalLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string current;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string piece = text.substr(pos, end - pos);
    if (!piece.empty() && piece.back() == '\r') piece.pop_back();
    if (!current.empty()) {
      size_t first = piece.find_first_not_of(" \t");
      piece = first == std::string::npos ? std::string() : piece.substr(first);
    }
    current += piece;
    bool continued = !current.empty() && current.back() == '\\' && IsHexData(current);
    if (continued) {
      current.pop_back();
    } else {
      lines.push_back(current);
      current.clear();
    }
    pos = end + 1;
  }
  if (!current.empty()) lines.push_back(current);
  return lines;
}

bool ParseHive(const std::string& text, int hiveIndex, Hive& hive) {
  std::string prefix = std::string(kHiveNames[hiveIndex]);
  Key* current = nullptr;
  bool sawHeader = false;
  for (const std::string& raw : LogicalLines(text)) {
    size_t first = raw.find_first_not_of(" \t");
    if (first == std::string::npos) continue;
    std::string line = raw.substr(first);
    if (!sawHeader) {
      if (line != "REGEDIT4" && line != "Windows Registry Editor Version 5.00") return false;
      sawHeader = true;
      continue;
    }
    if (line[0] == ';') {
      if (current != nullptr && line == kReadOnlyMark) current->readOnly = true;
      continue;
    }
    if (line[0] == '[') {
      if (line.back() != ']') return false;
      std::string path = line.substr(1, line.size() - 2);
      if (!EqualNoCase(path.substr(0, prefix.size()), prefix)) return false;
      path = JoinPath(std::string(), path.substr(prefix.size()).c_str());
      if (path.empty()) return false;
      current = FindKey(hive, path);
      if (current == nullptr) {
        hive.keys.push_back(Key{path, false, {}});
        current = &hive.keys.back();
      }
      continue;
    }
    if (current == nullptr || !ParseValueLine(line, *current)) return false;
  }
  return true;
}

// ---- Writing the export text ----

bool NeedsHexString(const std::vector<uint8_t>& data) {
  for (uint8_t b : data) {
    if (b < 0x20 || b == 0x7F) return true;
  }
  return false;
}

std::string QuoteText(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  out += '"';
  return out;
}

std::string HexList(const std::vector<uint8_t>& data, size_t firstLineUsed) {
  std::string out;
  size_t column = firstLineUsed;
  char cell[4];
  for (size_t i = 0; i < data.size(); ++i) {
    std::snprintf(cell, sizeof cell, "%02x", data[i]);
    out += cell;
    column += 2;
    if (i + 1 < data.size()) {
      out += ',';
      ++column;
      if (column > 74) {
        out += "\\\n  ";
        column = 2;
      }
    }
  }
  return out;
}

std::string FormatValue(const Value& value) {
  std::string line = value.name.empty() ? std::string("@") : QuoteText(value.name);
  line += '=';
  if (value.type == REG_SZ && !NeedsHexString(value.data)) {
    return line + QuoteText(std::string(value.data.begin(), value.data.end()));
  }
  if (value.type == REG_DWORD && value.data.size() == 4) {
    char digits[16];
    uint32_t number = value.data[0] | (uint32_t{value.data[1]} << 8) | (uint32_t{value.data[2]} << 16) |
                      (uint32_t{value.data[3]} << 24);
    std::snprintf(digits, sizeof digits, "dword:%08x", number);
    return line + digits;
  }
  std::vector<uint8_t> bytes = value.data;
  if (value.type == REG_BINARY) {
    line += "hex:";
  } else {
    char head[24];
    std::snprintf(head, sizeof head, "hex(%x):", value.type);
    line += head;
    if (value.type == REG_SZ) bytes.push_back(0);
  }
  return line + HexList(bytes, line.size());
}

std::string FormatHive(const Hive& hive, int hiveIndex) {
  std::string out = "REGEDIT4\n";
  for (const Key& key : hive.keys) {
    out += "\n[";
    out += kHiveNames[hiveIndex];
    out += '\\';
    out += key.path;
    out += "]\n";
    if (key.readOnly) {
      out += kReadOnlyMark;
      out += '\n';
    }
    for (const Value& value : key.values) {
      out += FormatValue(value);
      out += '\n';
    }
  }
  return out;
}

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
  return ParseHive(text, hiveIndex, hive) ? ERROR_SUCCESS : ERROR_BADDB;
}

LONG SaveHive(const std::string& file, int hiveIndex, const Hive& hive) {
  std::string text = FormatHive(hive, hiveIndex);
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
