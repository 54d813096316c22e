#include <cstdio>
#include <malloc.h>

#include "app/ConsoleFrontEnd.h"

namespace {

// Protected answers pass through the proxy whole, several buffers of their
// size at a time. Kept in the heap instead of being mapped and unmapped for
// every answer, their pages are not faulted in and cleared again each time.
constexpr int kLargeBufferReuse = 64 * 1024 * 1024;

void KeepLargeBuffersInHeap() {
  mallopt(M_MMAP_THRESHOLD, kLargeBufferReuse);
  mallopt(M_TRIM_THRESHOLD, 2 * kLargeBufferReuse);
}

}  // namespace

int main(int argc, char** argv) {
  KeepLargeBuffersInHeap();
  ConsoleFrontEnd::Options options;
  GString error;
  if (!ConsoleFrontEnd::ParseOptions(argc, argv, options, error)) {
    std::fprintf(stderr, "velgrade: %s\n%s", error.Text(), ConsoleFrontEnd::Usage());
    return 2;
  }
  if (options.help) {
    std::fputs(ConsoleFrontEnd::Usage(), stdout);
    return 0;
  }
  return ConsoleFrontEnd::Run(options);
}
