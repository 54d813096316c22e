#pragma once

#include <cstddef>

namespace session {

// Writes whole files so that a reader sees either the old file or the new
// one, never a mixture: the data goes to a temporary file in the same folder,
// which is flushed to disk and then renamed over the target.
class AtomicFile {
 public:
  // The steps of a write, in order. A test names one to make the write fail
  // there, as a crash or a full disk would.
  enum class Step { kNone, kCreate, kWrite, kSync, kClose, kPublish };

  // Writes data to path. With replace false an existing file is left alone
  // and the call fails. A new file gets mode 0600; a replaced one keeps its
  // mode. On failure the temporary file is removed and the target is as it
  // was. failAt is for tests only: kNone in every other caller.
  static bool Write(const char* path, const void* data, size_t length, bool replace,
                    Step failAt = Step::kNone);
};

}  // namespace session
