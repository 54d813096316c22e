#pragma once

#include <string>

#include "session/OpenSslTypes.h"

namespace session {

// Distinguished names as the system writes them: most specific part first,
// attribute types in lower case, parts separated by commas,
// "cn=Alice Smith,o=Example". Known types: cn, ou, o, l, st, c, dc, uid and
// emailaddress. A value may hold ",", "+", "\", "=", "<", ">", "#" or ";" only
// escaped by a backslash; blanks around parts are ignored.
class DistinguishedName {
 public:
  // Parses text into an X.509 name (whose entries run from the least specific
  // part). Returns null for text that is not such a name: empty, a part
  // without "=", an unknown type, an empty or over-long value, a bad escape,
  // a control character, or a country that is not two letters.
  static X509NamePtr Parse(const char* text, size_t length);
  static X509NamePtr Parse(const std::string& text) { return Parse(text.data(), text.size()); }

  // The text form of an X.509 name; empty when the name holds a type outside
  // the known ones or a value that is not valid text.
  static std::string Format(const X509_NAME* name);

  // Parses and formats again: the canonical text of a name, or empty.
  static std::string Normalize(const std::string& text);
};

}  // namespace session
