#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace vserver {

// Small readers and editors of HTTP header text (lines ending in CR LF or LF).
class HttpHeader {
 public:
  // The value of the first line whose name equals name (without the colon,
  // ignoring case), trimmed; false when there is none.
  static bool GetField(std::string_view header, std::string_view name, std::string& value);
  // True when some line's name starts with prefix, ignoring case.
  static bool HasFieldPrefix(std::string_view header, std::string_view prefix);
  // The header's lines without those whose name equals one of names
  // (ignoring case), without empty lines and without lines that hold
  // control bytes (a lone CR could split them at the receiver), each ending
  // in CR LF; no closing empty line.
  static std::string Without(std::string_view header, std::initializer_list<std::string_view> names);
  // True when text starts with prefix, ignoring case.
  static bool StartsWithNoCase(std::string_view text, std::string_view prefix);
  static bool EqualsNoCase(std::string_view a, std::string_view b);
};

}  // namespace vserver
