// Plays a server proxy that answers a browser's request with arbitrary
// bytes: a real engine on loopback relays the request to a listener of this
// program, which answers with the input (the first byte chooses whether it
// then closes or leaves the connection open half-way) and reads whatever
// the browser gets. The engine must neither crash nor keep the transaction.
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <unistd.h>

#include <netinet/in.h>
#include <sys/socket.h>

#include "engine/Velgrade.h"
#include "secure/ProxyInfo.h"
#include "secure/SecurityContextTable.h"

namespace {

int Listen(int& port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 16) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    std::abort();
  }
  port = ntohs(address.sin_port);
  ::fcntl(fd, F_SETFL, O_NONBLOCK);
  return fd;
}

struct Setup {
  Setup() {
    char folder[] = "/tmp/velgrade-fuzz-XXXXXX";
    if (::mkdtemp(folder) == nullptr) std::abort();
    int enginePort = 0;
    int probe = Listen(enginePort);
    ::close(probe);
    std::string ini = std::string(folder) + "/corvask.ini";
    FILE* file = std::fopen(ini.c_str(), "w");
    if (file == nullptr) std::abort();
    std::fprintf(file, "[Velgrade]\nport=%d\n", enginePort);
    std::fclose(file);
    engine = new Velgrade((std::string(folder) + "/").c_str(), EngineCallbacks(), nullptr);
    engine->SetTransactionFactory(ProxyInfo::GetFactory());
    SecurityContextTable::Install(*engine);
    if (!engine->Start()) std::abort();
    listener = Listen(serverPort);
    this->enginePort = enginePort;
  }
  Velgrade* engine = nullptr;
  int listener = -1;
  int serverPort = 0;
  int enginePort = 0;
};

Setup& TheSetup() {
  static Setup* setup = new Setup;
  return *setup;
}

int ConnectTo(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  ::fcntl(fd, F_SETFL, O_NONBLOCK);
  return fd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  Setup& setup = TheSetup();
  bool closeAfter = (data[0] & 1) == 0;
  int browser = ConnectTo(setup.enginePort);
  if (browser < 0) return 0;
  std::string request = "GET http://127.0.0.1:" + std::to_string(setup.serverPort) + "/x HTTP/1.0\r\n\r\n";
  if (::send(browser, request.data(), request.size(), MSG_NOSIGNAL) < 0) std::abort();
  int server = -1;
  bool answered = false;
  bool browserDone = false;
  char buffer[65536];
  for (int pass = 0; pass < 2000 && !browserDone; ++pass) {
    setup.engine->PollFor(2, nullptr);
    if (server < 0) server = ::accept(setup.listener, nullptr, nullptr);
    if (server >= 0 && !answered) {
      ::recv(server, buffer, sizeof buffer, MSG_DONTWAIT);
      ::send(server, data + 1, size - 1, MSG_NOSIGNAL);
      answered = true;
      if (closeAfter) {
        ::close(server);
        server = -1;
      } else {
        ::shutdown(server, SHUT_WR);
      }
    }
    ssize_t n = ::recv(browser, buffer, sizeof buffer, 0);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) browserDone = true;
  }
  ::close(browser);
  if (server >= 0) ::close(server);
  // Every transaction ends once both sides are gone.
  for (int pass = 0; pass < 2000 && setup.engine->GetTransactionCount() != 0; ++pass) setup.engine->PollFor(2, nullptr);
  if (setup.engine->GetTransactionCount() != 0) std::abort();
  return 0;
}
