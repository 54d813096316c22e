#pragma once

#include <string>
#include <vector>

namespace session {

// The detail of the last internal error (minor 14) on the calling thread,
// for cvs_display_internal_error.
class InternalError {
 public:
  // Replaces the detail with what and the texts of OpenSSL's error queue
  // (which it empties).
  static void Record(const char* what);
  static const std::vector<std::string>& Lines();
};

}  // namespace session
