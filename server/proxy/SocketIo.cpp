#include "server/proxy/SocketIo.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include "server/proxy/HttpMessageReader.h"

namespace vserver {

namespace {

constexpr size_t kReceiveSize = 256 * 1024;

using Clock = std::chrono::steady_clock;

// Waits for events on fd; false with error on time-out or failure.
bool Wait(int fd, short events, int milliseconds, std::string& error) {
  pollfd entry{fd, events, 0};
  for (;;) {
    int n = poll(&entry, 1, milliseconds);
    if (n > 0) return true;
    if (n == 0) {
      error = "timed out";
      return false;
    }
    if (errno != EINTR) {
      error = std::string("poll failed: ") + std::strerror(errno);
      return false;
    }
  }
}

int MillisecondsLeft(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return static_cast<int>(std::max<long long>(0, left));
}

}  // namespace

SocketHandle& SocketHandle::operator=(SocketHandle&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

void SocketHandle::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

bool SocketIo::Prepare(int fd) {
  int flags = fcntl(fd, F_GETFL, 0);
  if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return false;
  int on = 1;
  return setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) == 0;
}

bool SocketIo::ReadMessage(int fd, HttpMessageReader& reader, unsigned idleSeconds,
                           unsigned totalHeaderSeconds, std::string& error) {
  // One receive buffer per thread, made once: bodies of known length are
  // received in place, so it mostly carries heads.
  thread_local std::vector<char> buffer(kReceiveSize);
  Clock::time_point headerDeadline = Clock::now() + std::chrono::seconds(totalHeaderSeconds);
  const int idle = static_cast<int>(idleSeconds * 1000);
  while (reader.GetStatus() == HttpMessageReader::Status::kNeedMore) {
    size_t room = 0;
    char* space = reader.BodySpace(room);
    ssize_t n = space != nullptr ? recv(fd, space, room, 0) : recv(fd, buffer.data(), buffer.size(), 0);
    if (n > 0) {
      if (space != nullptr) reader.CommitBody(static_cast<size_t>(n));
      else reader.Feed(buffer.data(), static_cast<size_t>(n));
      continue;
    }
    if (n == 0) {
      reader.FinishInput();
      break;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) {
      error = std::string("receive failed: ") + std::strerror(errno);
      return false;
    }
    int wait = idle;
    if (totalHeaderSeconds != 0 && reader.Header().empty() && reader.FirstLine().empty())
      wait = std::min(wait, MillisecondsLeft(headerDeadline));
    if (!Wait(fd, POLLIN, wait, error)) return false;
  }
  if (reader.GetStatus() == HttpMessageReader::Status::kError) {
    error = reader.GetError();
    return false;
  }
  return true;
}

bool SocketIo::SendAll(int fd, const std::string_view* pieces, size_t count, unsigned idleSeconds,
                       std::string& error) {
  std::vector<iovec> vectors;
  for (size_t i = 0; i < count; ++i) {
    if (pieces[i].empty()) continue;
    vectors.push_back(iovec{const_cast<char*>(pieces[i].data()), pieces[i].size()});
  }
  size_t first = 0;
  while (first < vectors.size()) {
    msghdr message{};
    message.msg_iov = vectors.data() + first;
    message.msg_iovlen = std::min<size_t>(vectors.size() - first, 64);
    ssize_t n = sendmsg(fd, &message, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) {
        error = std::string("send failed: ") + std::strerror(errno);
        return false;
      }
      if (!Wait(fd, POLLOUT, static_cast<int>(idleSeconds * 1000), error)) return false;
      continue;
    }
    size_t sent = static_cast<size_t>(n);
    while (first < vectors.size() && sent >= vectors[first].iov_len) {
      sent -= vectors[first].iov_len;
      ++first;
    }
    if (first < vectors.size()) {
      vectors[first].iov_base = static_cast<char*>(vectors[first].iov_base) + sent;
      vectors[first].iov_len -= sent;
    }
  }
  return true;
}

SocketHandle SocketIo::Connect(const sockaddr_in& address, unsigned seconds, std::string& error) {
  SocketHandle socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!socket.IsValid() || !Prepare(socket.Get())) {
    error = std::string("cannot create a socket: ") + std::strerror(errno);
    return SocketHandle();
  }
  int rc = connect(socket.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
  if (rc != 0 && errno != EINPROGRESS) {
    error = std::string("cannot connect: ") + std::strerror(errno);
    return SocketHandle();
  }
  if (rc != 0) {
    if (!Wait(socket.Get(), POLLOUT, static_cast<int>(seconds * 1000), error)) {
      error = "cannot connect: " + error;
      return SocketHandle();
    }
    int pending = 0;
    socklen_t size = sizeof pending;
    if (getsockopt(socket.Get(), SOL_SOCKET, SO_ERROR, &pending, &size) != 0 || pending != 0) {
      error = std::string("cannot connect: ") + std::strerror(pending != 0 ? pending : errno);
      return SocketHandle();
    }
  }
  return socket;
}

std::string SocketIo::AddressText(const sockaddr_in& address) {
  char text[INET_ADDRSTRLEN] = {};
  if (inet_ntop(AF_INET, &address.sin_addr, text, sizeof text) == nullptr) return "0.0.0.0";
  return text;
}

}  // namespace vserver
