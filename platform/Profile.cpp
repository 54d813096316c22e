#include "platform/Profile.h"

#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>

#include "common/BinData.h"
#include "common/GString.h"
#include "platform/Files.h"
#include "platform/WindowsFolder.h"

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::mutex profileLock;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

bool Contains(const std::vector<std::string>& names, std::string_view name) {
  for (const std::string& existing : names) {
    if (SameName(existing, name)) return true;
  }
  return false;
}

// Classification of one line, leading blanks already removed.
bool IsHeader(std::string_view line) { return !line.empty() && line.front() == '['; }

std::string_view HeaderName(std::string_view line) {
  line.remove_prefix(1);
  size_t close = line.rfind(']');
  if (close != std::string_view::npos) line = line.substr(0, close);
  return Trim(line);
}

// Splits a key line; false for lines that are not key lines.
bool SplitKeyLine(std::string_view line, std::string_view& key, std::string_view& value) {
  if (line.empty() || line.front() == ';' || line.front() == '[') return false;
  size_t equals = line.find('=');
  if (equals == std::string_view::npos) return false;
  key = Trim(line.substr(0, equals));
  value = Trim(line.substr(equals + 1));
  return !key.empty();
}

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

// The path a profile file name stands for.
GString ProfilePath(const char* file) {
  if (std::strchr(file, '/') != nullptr) return GString(file);
  return GetWindowsDirectory() + "/" + file;
}

// Reads the file; false (and an empty document) when it cannot be read.
bool LoadDocument(const GString& path, ProfileDocument& document) {
  BinData bytes;
  bool read = ReadWholeFile(path, bytes, kProfileFileLimit);
  document.Parse(read ? std::string_view(reinterpret_cast<const char*>(bytes.GetData()), bytes.GetLength())
                      : std::string_view());
  return read;
}

bool HasLineBreak(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

bool IsWritableSection(std::string_view section) {
  return !HasLineBreak(section) && section.find(']') == std::string_view::npos;
}

bool IsWritableKey(std::string_view key) {
  std::string_view trimmed = Trim(key);
  return !trimmed.empty() && !HasLineBreak(key) && key.find('=') == std::string_view::npos &&
         trimmed.front() != '[' && trimmed.front() != ';';
}

DWORD CopyText(std::string_view text, char* out, DWORD size) {
  size_t count = text.size() < size ? text.size() : size - 1;
  std::memcpy(out, text.data(), count);
  out[count] = '\0';
  return static_cast<DWORD>(count);
}

// Copies names as a zero-separated list ending in an extra zero.
DWORD CopyList(const std::vector<std::string>& names, char* out, DWORD size) {
  size_t used = 0;
  for (const std::string& name : names) {
    if (used + name.size() + 2 > size) {
      if (size < 2) break;
      size_t room = size - 2 - used;
      std::memcpy(out + used, name.data(), room);
      out[size - 2] = '\0';
      out[size - 1] = '\0';
      return size - 2;
    }
    std::memcpy(out + used, name.data(), name.size());
    used += name.size();
    out[used++] = '\0';
  }
  out[used] = '\0';
  if (used == 0 && size > 1) out[1] = '\0';
  return static_cast<DWORD>(used);
}

int ParseInteger(std::string_view text, int defaultValue) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i >= text.size() || text[i] < '0' || text[i] > '9') return defaultValue;
  long long magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > static_cast<long long>(INT_MAX) + 1) magnitude = static_cast<long long>(INT_MAX) + 1;
  }
  long long result = negative ? -magnitude : magnitude;
  return result > INT_MAX ? INT_MAX : static_cast<int>(result);
}

}  // namespace

UINT GetPrivateProfileIntA(const char* section, const char* key, int defaultValue, const char* file) {
  if (section == nullptr || key == nullptr || file == nullptr || *file == '\0') {
    return static_cast<UINT>(defaultValue);
  }
  std::lock_guard<std::mutex> hold(profileLock);
  ProfileDocument document;
  LoadDocument(ProfilePath(file), document);
  std::string value;
  if (!document.FindValue(section, key, value)) return static_cast<UINT>(defaultValue);
  return static_cast<UINT>(ParseInteger(value, defaultValue));
}

DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue, char* out,
                               DWORD size, const char* file) {
  if (out == nullptr || size == 0) return 0;
  ProfileDocument document;
  if (file != nullptr && *file != '\0') {
    std::lock_guard<std::mutex> hold(profileLock);
    LoadDocument(ProfilePath(file), document);
  }
  if (section == nullptr) return CopyList(document.SectionNames(), out, size);
  if (key == nullptr) return CopyList(document.KeyNames(section), out, size);
  std::string value;
  if (document.FindValue(section, key, value)) return CopyText(value, out, size);
  std::string_view fallback = defaultValue != nullptr ? defaultValue : "";
  while (!fallback.empty() && (fallback.back() == ' ' || fallback.back() == '\t')) fallback.remove_suffix(1);
  return CopyText(fallback, out, size);
}

BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value, const char* file) {
  if (section == nullptr || file == nullptr || *file == '\0' || !IsWritableSection(section)) return FALSE;
  if (key != nullptr && !IsWritableKey(key)) return FALSE;
  if (value != nullptr && HasLineBreak(value)) return FALSE;
  std::lock_guard<std::mutex> hold(profileLock);
  GString path = ProfilePath(file);
  ProfileDocument document;
  if (!LoadDocument(path, document) && _access(path, kAccessExists) == 0) return FALSE;
  if (key == nullptr) {
    document.DeleteSection(section);
  } else if (value == nullptr) {
    document.DeleteKey(section, key);
  } else {
    document.SetValue(section, key, value);
  }
  std::string text = document.Serialize();
  return WriteFileAtomically(path, text.data(), text.size()) ? TRUE : FALSE;
}

void ProfileDocument::Parse(std::string_view text) {
  lines_.clear();
  lineEnd_ = "\n";
  size_t firstBreak = text.find('\n');
  if (firstBreak != std::string_view::npos && firstBreak > 0 && text[firstBreak - 1] == '\r') lineEnd_ = "\r\n";
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines_.emplace_back(line);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  }
}

std::string ProfileDocument::Serialize() const {
  std::string text;
  for (const std::string& line : lines_) {
    text += line;
    text += lineEnd_;
  }
  return text;
}

std::string_view ProfileDocument::LineText(size_t index) const {
  std::string_view line = lines_[index];
  if (index == 0 && line.substr(0, kByteOrderMark.size()) == kByteOrderMark) line.remove_prefix(kByteOrderMark.size());
  while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
  return line;
}

size_t ProfileDocument::SectionEnd(size_t header) const {
  size_t end = header + 1;
  while (end < lines_.size() && !IsHeader(LineText(end))) ++end;
  return end;
}

ProfileDocument::Range ProfileDocument::FindSection(std::string_view section, size_t from) const {
  section = Trim(section);
  for (size_t i = from; i < lines_.size(); ++i) {
    std::string_view line = LineText(i);
    if (IsHeader(line) && SameName(HeaderName(line), section)) return Range{i, SectionEnd(i)};
  }
  return Range{lines_.size(), lines_.size()};
}

bool ProfileDocument::FindValue(std::string_view section, std::string_view key, std::string& value) const {
  Range range = FindSection(section);
  key = Trim(key);
  for (size_t i = range.first + 1; i < range.end; ++i) {
    std::string_view name;
    std::string_view text;
    if (SplitKeyLine(LineText(i), name, text) && SameName(name, key)) {
      value.assign(Unquote(text));
      return true;
    }
  }
  return false;
}

std::vector<std::string> ProfileDocument::SectionNames() const {
  std::vector<std::string> names;
  for (size_t i = 0; i < lines_.size(); ++i) {
    std::string_view line = LineText(i);
    if (IsHeader(line) && !Contains(names, HeaderName(line))) names.emplace_back(HeaderName(line));
  }
  return names;
}

std::vector<std::string> ProfileDocument::KeyNames(std::string_view section) const {
  std::vector<std::string> names;
  Range range = FindSection(section);
  for (size_t i = range.first + 1; i < range.end; ++i) {
    std::string_view name;
    std::string_view text;
    if (SplitKeyLine(LineText(i), name, text) && !Contains(names, name)) names.emplace_back(name);
  }
  return names;
}

void ProfileDocument::SetValue(std::string_view section, std::string_view key, std::string_view value) {
  section = Trim(section);
  key = Trim(key);
  std::string line = std::string(key) + "=" + std::string(value);
  Range range = FindSection(section);
  if (range.first == lines_.size()) {
    lines_.push_back("[" + std::string(section) + "]");
    lines_.push_back(line);
    return;
  }
  size_t lastFilled = range.first;
  for (size_t i = range.first + 1; i < range.end; ++i) {
    std::string_view name;
    std::string_view text;
    if (SplitKeyLine(LineText(i), name, text) && SameName(name, key)) {
      lines_[i] = line;
      return;
    }
    if (!Trim(LineText(i)).empty()) lastFilled = i;
  }
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(lastFilled + 1), line);
}

void ProfileDocument::DeleteKey(std::string_view section, std::string_view key) {
  Range range = FindSection(section);
  key = Trim(key);
  for (size_t i = range.first + 1; i < range.end;) {
    std::string_view name;
    std::string_view text;
    if (SplitKeyLine(LineText(i), name, text) && SameName(name, key)) {
      lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(i));
      --range.end;
    } else {
      ++i;
    }
  }
}

void ProfileDocument::DeleteSection(std::string_view section) {
  for (Range range = FindSection(section); range.first < lines_.size(); range = FindSection(section, range.first)) {
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(range.first),
                 lines_.begin() + static_cast<std::ptrdiff_t>(range.end));
  }
}
