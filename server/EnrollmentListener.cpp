#include "server/EnrollmentListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

#include "session/EnrollmentMessage.h"

namespace {

std::atomic<bool> stopRequested{false};

void OnStopSignal(int) { stopRequested = true; }

bool WaitFor(int fd, short events, int timeoutMs) {
  pollfd waiting{fd, events, 0};
  int ready = ::poll(&waiting, 1, timeoutMs);
  return ready == 1;
}

bool ReadRequest(int fd, std::string& out) {
  char chunk[4096];
  for (;;) {
    if (!WaitFor(fd, POLLIN, EnrollmentListener::kTimeoutMs)) return false;
    ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return false;
    }
    out.append(chunk, static_cast<size_t>(n));
    if (out.size() > session::EnrollmentMessage::kMaxSize) return false;
  }
}

void WriteAnswer(int fd, const std::string& answer) {
  size_t sent = 0;
  while (sent < answer.size() && WaitFor(fd, POLLOUT, EnrollmentListener::kTimeoutMs)) {
    ssize_t n = ::send(fd, answer.data() + sent, answer.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) return;
    sent += static_cast<size_t>(n);
  }
}

}  // namespace

bool EnrollmentListener::Listen(const std::string& address, std::ostream& out, std::string& error) {
  size_t colon = address.rfind(':');
  sockaddr_in bound{};
  bound.sin_family = AF_INET;
  char* end = nullptr;
  long port = colon == std::string::npos ? -1 : std::strtol(address.c_str() + colon + 1, &end, 10);
  if (port < 0 || port > 65535 || end == nullptr || *end != 0 ||
      inet_pton(AF_INET, address.substr(0, colon).c_str(), &bound.sin_addr) != 1) {
    error = "not an IPv4 address and port: " + address;
    return false;
  }
  bound.sin_port = htons(static_cast<uint16_t>(port));
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int on = 1;
  socklen_t length = sizeof bound;
  if (listener_ < 0 || ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
      ::bind(listener_, reinterpret_cast<sockaddr*>(&bound), sizeof bound) != 0 || ::listen(listener_, 16) != 0 ||
      ::getsockname(listener_, reinterpret_cast<sockaddr*>(&bound), &length) != 0) {
    error = "cannot listen on " + address;
    return false;
  }
  out << "listening on " << address.substr(0, colon) << ":" << ntohs(bound.sin_port) << std::endl;
  return true;
}

void EnrollmentListener::Serve(std::ostream& log) {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  while (!stopRequested) {
    if (!WaitFor(listener_, POLLIN, 200)) continue;
    int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    ServeOne(client, log);
    ::close(client);
  }
  ::close(listener_);
  listener_ = -1;
}

void EnrollmentListener::ServeOne(int socket, std::ostream& log) const {
  std::string request;
  if (!ReadRequest(socket, request)) {
    log << "enrollment request dropped: incomplete or too large" << std::endl;
    return;
  }
  std::string outcome;
  WriteAnswer(socket, service_.Answer(request, outcome));
  log << "enrollment request: " << outcome << std::endl;
}
