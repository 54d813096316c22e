#include "credentials/sk/SK_RandomGenerator.h"

#include <sys/random.h>

#include <cerrno>

namespace {

// Interruptions by signals are retried, but not forever.
constexpr int kMaxInterruptions = 100;

}  // namespace

SK_Status SK_RandomGenerator::Generate(uint8_t* out, size_t length) {
  if (out == nullptr && length != 0) return kSkBadArgument;
  size_t filled = 0;
  int interruptions = 0;
  while (filled < length) {
    const ssize_t got = getrandom(out + filled, length - filled, 0);
    if (got > 0) {
      filled += static_cast<size_t>(got);
    } else if (got < 0 && errno == EINTR && ++interruptions < kMaxInterruptions) {
      continue;
    } else {
      return kSkRandomFailure;
    }
  }
  return kSkOk;
}
