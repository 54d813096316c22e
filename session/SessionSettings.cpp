#include "session/SessionSettings.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "session/IniDocument.h"

namespace session {

namespace {

bool ReadIni(const std::string& path, IniDocument& ini) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char chunk[4096];
  bool ok = true;
  for (;;) {
    ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      ok = got == 0;
      break;
    }
    if (!ini.Feed(chunk, static_cast<size_t>(got))) {
      ok = false;
      break;
    }
  }
  ::close(fd);
  ini.Finish();
  return ok;
}

// Splits "host:port"; false when either part is missing or the port is not
// a number from 1 to 65535.
bool SplitHostPort(const std::string& text, std::string& host, std::string& port) {
  size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 == text.size()) return false;
  host = text.substr(0, colon);
  port = text.substr(colon + 1);
  if (host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  char* end = nullptr;
  long number = std::strtol(port.c_str(), &end, 10);
  return *end == 0 && number > 0 && number <= 65535;
}

bool ConnectWithin(const addrinfo* address, int timeoutMs) {
  int fd = ::socket(address->ai_family, address->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                    address->ai_protocol);
  if (fd < 0) return false;
  bool connected = ::connect(fd, address->ai_addr, address->ai_addrlen) == 0;
  if (!connected && errno == EINPROGRESS) {
    pollfd waiting{fd, POLLOUT, 0};
    int error = 0;
    socklen_t length = sizeof error;
    connected = ::poll(&waiting, 1, timeoutMs) == 1 &&
                ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
  }
  ::close(fd);
  return connected;
}

}  // namespace

SessionSettings& SessionSettings::Instance() {
  static SessionSettings settings;
  return settings;
}

void SessionSettings::SetIniFile(const std::string& path) {
  std::lock_guard<std::mutex> hold(lock_);
  iniFile_ = path;
}

std::string SessionSettings::GetIniFile() const {
  std::lock_guard<std::mutex> hold(lock_);
  return iniFile_;
}

SessionSettings::Directory SessionSettings::CheckDirectory() const {
  std::string path = GetIniFile();
  IniDocument ini;
  std::string server;
  if (path.empty() || !ReadIni(path, ini) || !ini.Get("Corvask Settings", "DirectoryServer", server) ||
      server.empty())
    return Directory::kNotConfigured;
  std::string host, port;
  if (!SplitHostPort(server, host, port)) return Directory::kUnreachable;
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0) return Directory::kUnreachable;
  bool reachable = false;
  for (const addrinfo* address = found; address != nullptr && !reachable; address = address->ai_next)
    reachable = ConnectWithin(address, kConnectTimeoutMs);
  ::freeaddrinfo(found);
  return reachable ? Directory::kReachable : Directory::kUnreachable;
}

bool SessionSettings::GetEnrollmentServer(std::string& server) const {
  std::string path = GetIniFile();
  IniDocument ini;
  return !path.empty() && ReadIni(path, ini) && ini.Get("Corvask Settings", "EnrollmentServer", server) &&
         !server.empty();
}

}  // namespace session
