#pragma once

namespace vserver {

// The server's log: one line per call on standard error, prefixed with
// "velgrade-server: @" and the local time, whole lines never interleaved.
class ServerLog {
 public:
  // Detail lines (one per request) are written only when verbose is on.
  static void SetVerbose(bool verbose);
  static bool IsVerbose();
  static void Write(const char* format, ...) __attribute__((format(printf, 1, 2)));
  static void Detail(const char* format, ...) __attribute__((format(printf, 1, 2)));
};

}  // namespace vserver
