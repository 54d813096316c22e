#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include <netinet/in.h>

namespace vserver {

class HttpMessageReader;

// Owns a socket descriptor and closes it when destroyed.
class SocketHandle {
 public:
  SocketHandle() = default;
  explicit SocketHandle(int fd) : fd_(fd) {}
  ~SocketHandle() { Close(); }
  SocketHandle(const SocketHandle&) = delete;
  SocketHandle& operator=(const SocketHandle&) = delete;
  SocketHandle(SocketHandle&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  SocketHandle& operator=(SocketHandle&& other) noexcept;

  int Get() const { return fd_; }
  bool IsValid() const { return fd_ >= 0; }
  void Close();

 private:
  int fd_ = -1;
};

// Blocking-style socket I/O over non-blocking sockets with time-outs, so a
// slow or silent peer can hold a worker only for a bounded time.
class SocketIo {
 public:
  // Non-blocking mode and TCP_NODELAY. False when the socket refuses them.
  static bool Prepare(int fd);
  // Reads until the reader has a complete message or fails. idleSeconds
  // bounds each wait for data; totalSeconds (0 = none) the whole header.
  static bool ReadMessage(int fd, HttpMessageReader& reader, unsigned idleSeconds,
                          unsigned totalHeaderSeconds, std::string& error);
  // Sends every piece in order; idleSeconds bounds each wait for room.
  static bool SendAll(int fd, const std::string_view* pieces, size_t count, unsigned idleSeconds,
                      std::string& error);
  // Connects to address within seconds; an invalid handle and error on failure.
  static SocketHandle Connect(const sockaddr_in& address, unsigned seconds, std::string& error);
  // Dotted text of an IPv4 address.
  static std::string AddressText(const sockaddr_in& address);
};

}  // namespace vserver
