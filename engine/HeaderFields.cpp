#include "engine/HeaderFields.h"

#include <cstring>
#include <strings.h>

namespace {

GString RestOfLine(const char* start) {
  const char* end = std::strchr(start, '\n');
  GString value = end != nullptr ? GString(start, static_cast<size_t>(end - start)) : GString(start);
  value.Trim();
  return value;
}

}  // namespace

GString RemoveHeaderField(const GString& header, const char* field) {
  size_t fieldLength = std::strlen(field);
  GString result;
  const char* line = header.Text();
  while (*line != '\0') {
    const char* feed = std::strchr(line, '\n');
    size_t length = feed != nullptr ? static_cast<size_t>(feed - line) + 1 : std::strlen(line);
    if (strncasecmp(line, field, fieldLength) != 0) result.Append(line, length);
    line += length;
  }
  return result;
}

bool GetHeaderField(const GString& header, const char* field, GString* value) {
  size_t fieldLength = std::strlen(field);
  const char* text = header.Text();
  for (const char* at = std::strstr(text, field); at != nullptr; at = std::strstr(at + 1, field)) {
    if (at == text || at[-1] == '\n') {
      if (value != nullptr) *value = RestOfLine(at + fieldLength);
      return true;
    }
  }
  const char* line = text;
  while (*line != '\0') {
    const char* start = line;
    while (*start == ' ' || *start == '\t') ++start;
    if (strncasecmp(start, field, fieldLength) == 0) {
      if (value != nullptr) *value = RestOfLine(start + fieldLength);
      return true;
    }
    const char* feed = std::strchr(line, '\n');
    if (feed == nullptr) break;
    line = feed + 1;
  }
  return false;
}

GString PrependHeaderField(const GString& header, const char* field, const char* value) {
  GString result(field);
  result += ' ';
  result += value;
  result += "\r\n";
  result += header.IsEmpty() ? GString("\r\n") : header;
  return result;
}
