#include "tests/secure/ProxyHarness.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <netinet/in.h>
#include <sys/socket.h>

#include "secure/ProxyInfo.h"
#include "secure/SecurityContextTable.h"

namespace securetest {

namespace {

int ConnectTo(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

void SendAll(int fd, const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;
    sent += static_cast<size_t>(n);
  }
}

// Reads a request up to its empty line and then its Content-Length body.
std::string ReadRequest(int fd) {
  std::string request;
  char buffer[4096];
  size_t wanted = std::string::npos;
  for (int round = 0; round < 1000; ++round) {
    size_t end = request.find("\r\n\r\n");
    if (end != std::string::npos && wanted == std::string::npos) {
      wanted = end + 4;
      size_t at = request.find("Content-Length: ");
      if (at != std::string::npos && at < end) wanted += std::stoul(request.substr(at + 16));
    }
    if (wanted != std::string::npos && request.size() >= wanted) break;
    pollfd ready{fd, POLLIN, 0};
    if (::poll(&ready, 1, 2000) <= 0) break;
    ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    request.append(buffer, static_cast<size_t>(n));
  }
  return request;
}

}  // namespace

FakeOrigin::FakeOrigin(std::string response) : response_(std::move(response)) {
  listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::listen(listener_, 16);
  ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Serve(); });
}

FakeOrigin::~FakeOrigin() {
  stop_ = true;
  thread_.join();
  ::close(listener_);
}

std::vector<std::string> FakeOrigin::Requests() {
  std::lock_guard<std::mutex> guard(lock_);
  return requests_;
}

void FakeOrigin::Serve() {
  while (!stop_) {
    pollfd ready{listener_, POLLIN, 0};
    if (::poll(&ready, 1, 20) <= 0) continue;
    int fd = ::accept(listener_, nullptr, nullptr);
    if (fd < 0) continue;
    ++accepted_;
    std::string request = ReadRequest(fd);
    {
      std::lock_guard<std::mutex> guard(lock_);
      requests_.push_back(request);
    }
    // An empty response keeps the connection open without answering.
    while (response_.empty() && !stop_) ::poll(nullptr, 0, 10);
    SendAll(fd, response_);
    ::close(fd);
  }
}

ProxyHarness::ProxyHarness(const std::string& extraIni, const EngineCallbacks* callbacks) {
  port_ = enginetest::FreePort();
  folder_.Write("corvask.ini", enginetest::IniWithPort(port_, extraIni));
  EngineCallbacks chosen = recorder_.Callbacks();
  if (callbacks != nullptr) {
    chosen.confirmSubmit = callbacks->confirmSubmit;
    chosen.request = callbacks->request;
  }
  engine_ = std::make_unique<Velgrade>(folder_.Path().c_str(), chosen, &recorder_);
  engine_->SetTransactionFactory(ProxyInfo::GetFactory());
  SecurityContextTable::Install(*engine_);
  engine_->Start();
}

std::string ProxyHarness::Exchange(const std::string& request) {
  int fd = ConnectTo(port_);
  if (fd < 0) return "";
  SendAll(fd, request);
  ::fcntl(fd, F_SETFL, O_NONBLOCK);
  std::string response;
  char buffer[65536];
  for (int pass = 0; pass < 20000; ++pass) {
    engine_->PollFor(5, nullptr);
    ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n == 0) break;
    if (n > 0) response.append(buffer, static_cast<size_t>(n));
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) break;
  }
  ::close(fd);
  return response;
}

void ProxyHarness::SendAndClose(const std::string& request, int passes) {
  int fd = ConnectTo(port_);
  if (fd < 0) return;
  SendAll(fd, request);
  for (int pass = 0; pass < passes; ++pass) engine_->PollFor(5, nullptr);
  ::close(fd);
}

bool ProxyHarness::DrainTransactions(int passes) {
  for (int pass = 0; pass < passes; ++pass) {
    if (engine_->GetTransactionCount() == 0) return true;
    engine_->PollFor(5, nullptr);
  }
  return engine_->GetTransactionCount() == 0;
}

}  // namespace securetest
