#pragma once

#include <string>

// What a gss_name_t points to: a name the caller imported or the library
// returned, owned by the caller until gss_release_name.
struct gss_name_struct {
  enum Kind { kProfilePath, kDistinguishedName };
  Kind kind = kDistinguishedName;
  // The profile path as given, or the distinguished name in its canonical
  // text form.
  std::string text;
};
