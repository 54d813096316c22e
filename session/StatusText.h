#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace session {

// The readable texts of the library's statuses, for gss_display_status.
class StatusText {
 public:
  // The pieces of a major status: one text per calling error, routine error
  // and supplementary bit it holds ("complete" for 0). Empty when the status
  // holds a code this library does not know.
  static std::vector<std::string> DescribeMajor(uint32_t major);
  // The text of a minor status, or empty for a code this library does not
  // report.
  static std::string DescribeMinor(uint32_t minor);
};

}  // namespace session
