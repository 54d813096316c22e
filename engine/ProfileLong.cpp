#include "engine/ProfileLong.h"

#include <cstring>
#include <strings.h>

#include "common/BinData.h"
#include "platform/Files.h"

namespace {

// Profile files larger than this are treated as unreadable.
constexpr size_t kFileLimit = 16 * 1024 * 1024;
// A line longer than this is read in pieces, each treated as a line.
constexpr size_t kReadLimit = 2047;
constexpr char kContinue[] = "_continue_=";
constexpr size_t kContinueLength = sizeof(kContinue) - 1;

// Hands out the file's lines one read at a time, each with its line end.
class LineReader {
 public:
  explicit LineReader(const BinData& file)
      : text_(reinterpret_cast<const char*>(file.GetData())), length_(file.GetLength()) {}

  bool Next(GString& line) {
    if (position_ >= length_) return false;
    size_t end = position_;
    while (end < length_ && end - position_ < kReadLimit) {
      if (text_[end++] == '\n') break;
    }
    line = GString(text_ + position_, end - position_);
    position_ = end;
    return true;
  }

  // Everything not read yet, exactly as it is in the file.
  GString Rest() const { return GString(text_ + position_, length_ - position_); }

 private:
  const char* text_;
  size_t length_;
  size_t position_ = 0;
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

// Leading blanks and tabs; a line end is not white space to be removed here.
GString TrimLeft(const GString& line) {
  int i = 0;
  while (i < line.GetLength() && (line.GetAt(i) == ' ' || line.GetAt(i) == '\t')) ++i;
  return line.Mid(i);
}

GString TrimRight(const GString& text) {
  int end = text.GetLength();
  while (end > 0 && IsBlank(text.GetAt(end - 1))) --end;
  return text.Left(end);
}

GString StripLineEnd(const GString& text) {
  int end = text.GetLength();
  while (end > 0 && (text.GetAt(end - 1) == '\r' || text.GetAt(end - 1) == '\n')) --end;
  return text.Left(end);
}

// For a line with its leading white space removed: true when it is a section
// header, with the name between "[" and the last "]" (or the line end).
bool SectionName(const GString& line, GString& name) {
  if (line.IsEmpty() || line.GetAt(0) != '[') return false;
  GString body = StripLineEnd(line);
  int close = body.ReverseFind(']');
  name = close > 0 ? body.Mid(1, close - 1) : body.Mid(1);
  name.Trim();
  return true;
}

bool NamesEqual(const GString& a, const char* b) { return strcasecmp(a.Text(), b) == 0; }

// The key of a key line: the text before the first "=", trailing white space
// removed. False when the line has no "=".
bool KeyOf(const GString& line, GString& key) {
  int equals = line.Find('=');
  if (equals < 0) return false;
  key = TrimRight(line.Left(equals));
  return true;
}

bool IsContinuation(const GString& line) {
  return std::strncmp(line.Text(), kContinue, kContinueLength) == 0;
}

bool ReadValue(const char* path, const char* section, const char* key, bool engineTrim,
               GString& value) {
  BinData file;
  if (path == nullptr || !ReadWholeFile(path, file, kFileLimit)) return false;
  LineReader reader(file);
  GString line;
  GString name;
  bool inSection = false;
  while (!inSection && reader.Next(line)) {
    inSection = SectionName(TrimLeft(line), name) && NamesEqual(name, section);
  }
  if (!inSection) return false;
  bool found = false;
  while (reader.Next(line)) {
    GString text = TrimLeft(line);
    if (!text.IsEmpty() && text.GetAt(0) == '[') break;
    text = StripLineEnd(text);
    int comment = text.Find(';');
    if (comment >= 0) text = text.Left(comment);
    if (engineTrim) text = TrimRight(text);
    int equals = text.Find('=');
    if (equals < 0) continue;
    if (!found) {
      GString lineKey;
      KeyOf(text, lineKey);
      if (!NamesEqual(lineKey, key)) continue;
      found = true;
      value = text.Mid(equals + 1);
      if (engineTrim) value.Trim();
      continue;
    }
    if (!IsContinuation(text)) break;
    if (value.IsEmpty()) return false;
    value += text.Mid(static_cast<int>(kContinueLength));
    if (engineTrim) value = TrimRight(value);
  }
  return found;
}

}  // namespace

bool GetProfileStringLong(const char* section, const char* key, const char* defaultValue,
                          char* buffer, size_t size, const char* path) {
  if (buffer == nullptr || size == 0) return false;
  const char* fallback = defaultValue != nullptr ? defaultValue : "";
  std::strncpy(buffer, fallback, size - 1);
  buffer[size - 1] = '\0';
  if (section == nullptr || key == nullptr) return false;
  GString value;
  if (!ReadValue(path, section, key, true, value)) return _access(path, kAccessRead) == 0;
  if (value.Size() < size) std::memcpy(buffer, value.Text(), value.Size() + 1);
  return true;
}

GString GetProfileStringLongText(const char* path, const char* section, const char* key,
                                 const char* defaultValue) {
  GString value;
  if (section != nullptr && key != nullptr && ReadValue(path, section, key, false, value)) return value;
  return GString(defaultValue != nullptr ? defaultValue : "");
}

bool WriteProfileStringLong(const char* path, const char* section, const char* key,
                            const char* value) {
  if (path == nullptr || section == nullptr || key == nullptr) return false;
  BinData file;
  if (!ReadWholeFile(path, file, kFileLimit)) return false;
  GString keyLine;
  if (value != nullptr) keyLine = GString(key) + "=" + value + "\n";

  GString out;
  LineReader reader(file);
  GString line;
  GString name;
  bool sectionFound = false;
  bool written = false;
  bool inOldValue = false;
  while (reader.Next(line)) {
    GString text = TrimLeft(line);
    if (!sectionFound) {
      out += text;
      sectionFound = SectionName(text, name) && NamesEqual(name, section);
      continue;
    }
    if (!written && SectionName(text, name)) {
      out += keyLine;
      written = true;
      out += line;
      out += reader.Rest();
      break;
    }
    GString bare = StripLineEnd(text);
    GString lineKey;
    if (inOldValue) {
      if (IsContinuation(bare)) continue;
      if (KeyOf(bare, lineKey) || SectionName(bare, name)) inOldValue = false;
    }
    if (!written && KeyOf(bare, lineKey) && NamesEqual(lineKey, key)) {
      out += keyLine;
      written = true;
      inOldValue = true;
      continue;
    }
    out += bare;
    out += '\n';
  }
  if (!sectionFound) {
    if (!out.IsEmpty() && out.GetAt(out.GetLength() - 1) != '\n') out += '\n';
    out += "[";
    out += section;
    out += "]\n";
    out += keyLine;
  } else if (!written) {
    if (!out.IsEmpty() && out.GetAt(out.GetLength() - 1) != '\n') out += '\n';
    out += keyLine;
  }
  return WriteFileAtomically(path, out.Text(), out.Size());
}
