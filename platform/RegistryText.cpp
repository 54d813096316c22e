#include "platform/RegistryText.h"

#include "platform/Registry.h"

#include <cstdio>
#include <string>
#include <vector>

namespace registry_text {

namespace {

constexpr const char* kReadOnlyMark = ";read-only";

}  // namespace

static char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

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

// Reading the export text.

static int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = LowerAscii(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Reads a quoted string starting at text[pos] == '"'; pos ends after the
// closing quote. Backslash escapes the next character.
static bool ParseQuoted(const std::string& text, size_t& pos, std::string& out) {
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

static bool ParseHexBytes(const std::string& text, std::vector<uint8_t>& out) {
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

static bool ParseData(const std::string& text, Value& value) {
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

static bool ParseValueLine(const std::string& line, Key& key) {
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
static bool IsHexData(const std::string& line) {
  size_t quote = line.rfind('"');
  size_t start = quote == std::string::npos ? 0 : quote;
  return line.find("=hex", start) != std::string::npos;
}

// Splits the text into logical lines: CR LF or LF ends a line, a line ending
// in a backslash outside quotes continues on the next one.
static std::vector<std::string> LogicalLines(const std::string& text) {
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

bool ParseHive(const std::string& text, const char* hiveName, Hive& hive) {
  std::string prefix = std::string(hiveName);
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

// Writing the export text.

static bool NeedsHexString(const std::vector<uint8_t>& data) {
  for (uint8_t b : data) {
    if (b < 0x20 || b == 0x7F) return true;
  }
  return false;
}

static std::string QuoteText(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  out += '"';
  return out;
}

static std::string HexList(const std::vector<uint8_t>& data, size_t firstLineUsed) {
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

static std::string FormatValue(const Value& value) {
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

std::string FormatHive(const Hive& hive, const char* hiveName) {
  std::string out = "REGEDIT4\n";
  for (const Key& key : hive.keys) {
    out += "\n[";
    out += hiveName;
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

}  // namespace registry_text
