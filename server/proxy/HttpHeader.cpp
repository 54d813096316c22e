#include "server/proxy/HttpHeader.h"

#include <cctype>

namespace vserver {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view TrimView(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Calls visit(name, value, line) for every line that has a colon; visit
// returns false to stop.
template <typename Visit>
void ForEachLine(std::string_view header, Visit visit) {
  while (!header.empty()) {
    size_t end = header.find('\n');
    std::string_view line = header.substr(0, end);
    header = end == std::string_view::npos ? std::string_view() : header.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    size_t colon = line.find(':');
    std::string_view name = colon == std::string_view::npos ? line : line.substr(0, colon);
    std::string_view value =
        colon == std::string_view::npos ? std::string_view() : line.substr(colon + 1);
    if (!visit(TrimView(name), TrimView(value), line)) return;
  }
}

// A byte below 0x20 other than tab, or DEL: a line that could be read as
// two lines (a lone CR) or cut short by the receiver.
bool HasControl(std::string_view line) {
  for (char c : line) {
    unsigned char byte = static_cast<unsigned char>(c);
    if ((byte < 0x20 && c != '\t') || byte == 0x7f) return true;
  }
  return false;
}

}  // namespace

bool HttpHeader::EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

bool HttpHeader::StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

bool HttpHeader::GetField(std::string_view header, std::string_view name, std::string& value) {
  bool found = false;
  ForEachLine(header, [&](std::string_view lineName, std::string_view lineValue, std::string_view) {
    if (!EqualsNoCase(lineName, name)) return true;
    value.assign(lineValue);
    found = true;
    return false;
  });
  return found;
}

bool HttpHeader::HasFieldPrefix(std::string_view header, std::string_view prefix) {
  bool found = false;
  ForEachLine(header, [&](std::string_view lineName, std::string_view, std::string_view) {
    found = StartsWithNoCase(lineName, prefix);
    return !found;
  });
  return found;
}

std::string HttpHeader::Without(std::string_view header,
                                std::initializer_list<std::string_view> names) {
  std::string out;
  out.reserve(header.size() + 2);
  ForEachLine(header, [&](std::string_view lineName, std::string_view, std::string_view line) {
    if (TrimView(line).empty() || HasControl(line)) return true;
    for (std::string_view name : names)
      if (EqualsNoCase(lineName, name)) return true;
    out.append(line);
    out.append("\r\n");
    return true;
  });
  return out;
}

}  // namespace vserver
