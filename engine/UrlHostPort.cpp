#include "engine/UrlHostPort.h"

#include <cstring>

namespace {

// A port of 1 to 5 digits with a value from 1 to 65535; an empty text is 80.
bool ParsePort(const char* text, int& port) {
  if (*text == '\0') {
    port = 80;
    return true;
  }
  long value = 0;
  int digits = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9' || ++digits > 5) return false;
    value = value * 10 + (*p - '0');
  }
  if (value < 1 || value > 65535) return false;
  port = static_cast<int>(value);
  return true;
}

}  // namespace

bool ParseUrlHostPort(const char* url, GString& host, int& port) {
  if (url == nullptr) return false;
  const char* slashes = std::strstr(url, "//");
  if (slashes == nullptr) return false;
  GString hostPort(slashes + 2);
  int slash = hostPort.Find('/');
  if (slash >= 0) hostPort = hostPort.Left(slash);
  int colon = hostPort.Find(':');
  if (colon < 0) {
    host = hostPort;
    port = 80;
    return true;
  }
  if (!ParsePort(hostPort.Text() + colon + 1, port)) return false;
  host = hostPort.Left(colon);
  return true;
}
