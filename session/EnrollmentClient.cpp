#include "session/EnrollmentClient.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "session/CvsApi.h"
#include "session/EnrollmentMessage.h"

namespace session {

namespace {

class Socket {
 public:
  explicit Socket(int fd) : fd_(fd) {}
  ~Socket() {
    if (fd_ >= 0) ::close(fd_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  int Get() const { return fd_; }

 private:
  int fd_;
};

bool WaitFor(int fd, short events) {
  pollfd waiting{fd, events, 0};
  for (;;) {
    int ready = ::poll(&waiting, 1, EnrollmentClient::kTimeoutMs);
    if (ready < 0 && errno == EINTR) continue;
    return ready == 1;
  }
}

bool Connect(const Socket& socket, const addrinfo* address) {
  if (::connect(socket.Get(), address->ai_addr, address->ai_addrlen) == 0) return true;
  if (errno != EINPROGRESS || !WaitFor(socket.Get(), POLLOUT)) return false;
  int error = 0;
  socklen_t length = sizeof error;
  return ::getsockopt(socket.Get(), SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
}

bool SendAll(const Socket& socket, const std::string& data) {
  size_t sent = 0;
  while (sent < data.size()) {
    ssize_t n = ::send(socket.Get(), data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!WaitFor(socket.Get(), POLLOUT)) return false;
    } else {
      return false;
    }
  }
  return true;
}

bool ReceiveAll(const Socket& socket, std::string& out) {
  char chunk[4096];
  out.clear();
  for (;;) {
    ssize_t n = ::recv(socket.Get(), chunk, sizeof chunk, 0);
    if (n == 0) return true;
    if (n > 0) {
      out.append(chunk, static_cast<size_t>(n));
      if (out.size() > EnrollmentMessage::kMaxSize) return false;
    } else if (errno == EINTR) {
      continue;
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
      if (!WaitFor(socket.Get(), POLLIN)) return false;
    } else {
      return false;
    }
  }
}

bool SplitHostPort(const std::string& text, std::string& host, std::string& port) {
  size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 == text.size()) return false;
  host = text.substr(0, colon);
  port = text.substr(colon + 1);
  return true;
}

bool ExchangeWith(const addrinfo* address, const std::string& request, std::string& reply) {
  Socket socket(::socket(address->ai_family, address->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                         address->ai_protocol));
  return socket.Get() >= 0 && Connect(socket, address) && SendAll(socket, request) &&
         ::shutdown(socket.Get(), SHUT_WR) == 0 && ReceiveAll(socket, reply);
}

}  // namespace

bool EnrollmentClient::Exchange(const std::string& server, const std::string& request, std::string& reply,
                                OM_uint32& minor) {
  minor = CVS_MINOR_ENROLLMENT_UNREACHABLE;
  std::string host, port;
  if (!SplitHostPort(server, host, port)) return false;
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0) return false;
  bool done = false;
  for (const addrinfo* address = found; address != nullptr && !done; address = address->ai_next)
    done = ExchangeWith(address, request, reply);
  ::freeaddrinfo(found);
  if (done) minor = 0;
  return done;
}

}  // namespace session
