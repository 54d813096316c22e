#include "platform/DebugOutput.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace {

std::mutex outputLock;
std::string outputFile;  // guarded by outputLock; empty means none

void WriteAll(int fd, const char* text, size_t length) {
  while (length > 0) {
    ssize_t n = ::write(fd, text, length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    text += n;
    length -= static_cast<size_t>(n);
  }
}

}  // namespace

void OutputDebugStringA(const char* text) {
  if (text == nullptr) return;
  size_t length = std::strlen(text);
  std::lock_guard<std::mutex> hold(outputLock);
  if (std::getenv("VELGRADE_DEBUG") != nullptr) WriteAll(STDERR_FILENO, text, length);
  if (outputFile.empty()) return;
  int fd = ::open(outputFile.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
  if (fd < 0) return;
  WriteAll(fd, text, length);
  ::close(fd);
}

void SetDebugOutputFile(const char* path) {
  std::lock_guard<std::mutex> hold(outputLock);
  outputFile = path != nullptr ? path : "";
}
