#include "server/proxy/ServerLog.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <mutex>

namespace vserver {

namespace {

std::atomic<bool> verboseLog{false};
std::mutex logLock;

void WriteLine(const char* format, va_list arguments) {
  char text[2048];
  std::vsnprintf(text, sizeof text, format, arguments);
  char stamp[32] = {};
  time_t now = std::time(nullptr);
  tm local{};
  localtime_r(&now, &local);
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M.%S", &local);
  std::lock_guard<std::mutex> guard(logLock);
  std::fprintf(stderr, "velgrade-server: @%s %s\n", stamp, text);
}

}  // namespace

void ServerLog::SetVerbose(bool verbose) { verboseLog = verbose; }

bool ServerLog::IsVerbose() { return verboseLog; }

void ServerLog::Write(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  WriteLine(format, arguments);
  va_end(arguments);
}

void ServerLog::Detail(const char* format, ...) {
  if (!verboseLog) return;
  va_list arguments;
  va_start(arguments, format);
  WriteLine(format, arguments);
  va_end(arguments);
}

}  // namespace vserver
