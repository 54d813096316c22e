#include "platform/WinSock.h"

#include <arpa/inet.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <gtest/gtest.h>

namespace {

using namespace winsock;

// Closes a socket when it goes.
class SocketHolder {
 public:
  explicit SocketHolder(SOCKET s = INVALID_SOCKET) : s_(s) {}
  SocketHolder(const SocketHolder&) = delete;
  SocketHolder& operator=(const SocketHolder&) = delete;
  ~SocketHolder() {
    if (s_ != INVALID_SOCKET) winsock::closesocket(s_);
  }
  SOCKET Get() const { return s_; }
  void Reset(SOCKET s) {
    if (s_ != INVALID_SOCKET) winsock::closesocket(s_);
    s_ = s;
  }

 private:
  SOCKET s_;
};

sockaddr_in Loopback(uint16_t portNetworkOrder) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = portNetworkOrder;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

const sockaddr* AsAddress(const sockaddr_in& address) { return reinterpret_cast<const sockaddr*>(&address); }

// A listening socket on an ephemeral loopback port.
SOCKET Listen(uint16_t& portNetworkOrder) {
  SOCKET s = winsock::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = Loopback(0);
  int length = sizeof(address);
  if (s == INVALID_SOCKET || winsock::bind(s, AsAddress(address), sizeof(address)) != 0 || winsock::listen(s, 5) != 0 ||
      winsock::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    return INVALID_SOCKET;
  }
  portNetworkOrder = address.sin_port;
  return s;
}

// A connected pair over loopback: client and the server's accepted end.
void ConnectPair(SocketHolder& client, SocketHolder& server) {
  uint16_t port = 0;
  SocketHolder listener(Listen(port));
  ASSERT_NE(INVALID_SOCKET, listener.Get());
  client.Reset(winsock::socket(AF_INET, SOCK_STREAM, 0));
  sockaddr_in address = Loopback(port);
  ASSERT_EQ(0, winsock::connect(client.Get(), AsAddress(address), sizeof(address)));
  server.Reset(winsock::accept(listener.Get(), nullptr, nullptr));
  ASSERT_NE(INVALID_SOCKET, server.Get());
}

TEST(FdSetTest, HoldsAtMost64DistinctSockets) {
  FdSet set;
  FdZero(&set);
  for (SOCKET s = 100; s < 164; ++s) EXPECT_TRUE(FdAdd(s, &set));
  EXPECT_TRUE(FdAdd(100, &set));
  EXPECT_FALSE(FdAdd(164, &set));
  EXPECT_EQ(64u, set.count);
  EXPECT_FALSE(FdIsSet(164, &set));
  FdRemove(130, &set);
  EXPECT_FALSE(FdIsSet(130, &set));
  EXPECT_TRUE(FdIsSet(131, &set));
  EXPECT_EQ(63u, set.count);
  EXPECT_TRUE(FdAdd(164, &set));
}

TEST(WinSockTest, MapsSystemErrorsToWsaCodes) {
  struct Case {
    int error;
    int code;
  } cases[] = {
      {EAGAIN, 10035}, {EINPROGRESS, 10035}, {EALREADY, 10037},    {ENOBUFS, 10055}, {EISCONN, 10056},
      {ENOTCONN, 10057}, {ECONNREFUSED, 10061}, {ECONNRESET, 10054}, {EPIPE, 10054},  {EADDRINUSE, 10048},
  };
  for (const Case& c : cases) EXPECT_EQ(c.code, WsaCodeFromErrno(c.error)) << std::strerror(c.error);
  WSASetLastError(1234);
  EXPECT_EQ(1234, WSAGetLastError());
}

TEST(WinSockTest, ExchangesDataThroughSelect) {
  uint16_t port = 0;
  SocketHolder listener(Listen(port));
  ASSERT_NE(INVALID_SOCKET, listener.Get());
  ASSERT_EQ(0, SetNonBlocking(listener.Get(), true));
  SocketHolder client(winsock::socket(AF_INET, SOCK_STREAM, 0));
  ASSERT_EQ(0, SetNonBlocking(client.Get(), true));
  ASSERT_EQ(0, SetNoDelay(client.Get(), true));
  sockaddr_in address = Loopback(port);
  if (winsock::connect(client.Get(), AsAddress(address), sizeof(address)) != 0) {
    EXPECT_EQ(WSAEWOULDBLOCK, WSAGetLastError());
  }

  FdSet read;
  FdZero(&read);
  FdAdd(listener.Get(), &read);
  ASSERT_EQ(1, Select(&read, nullptr, nullptr, 5000));
  sockaddr_in peer{};
  int peerLength = sizeof(peer);
  SocketHolder server(winsock::accept(listener.Get(), reinterpret_cast<sockaddr*>(&peer), &peerLength));
  ASSERT_NE(INVALID_SOCKET, server.Get());
  EXPECT_EQ(htonl(INADDR_LOOPBACK), peer.sin_addr.s_addr);
  char byte;
  EXPECT_EQ(SOCKET_ERROR, winsock::recv(server.Get(), &byte, 1, 0));
  EXPECT_EQ(WSAEWOULDBLOCK, WSAGetLastError()) << "accepted socket inherits non-blocking mode";

  FdSet write;
  FdSet except;
  FdZero(&write);
  FdZero(&except);
  FdAdd(client.Get(), &write);
  FdAdd(client.Get(), &except);
  ASSERT_EQ(1, Select(nullptr, &write, &except, 5000));
  EXPECT_TRUE(FdIsSet(client.Get(), &write));
  EXPECT_EQ(0u, except.count);
  EXPECT_EQ(0, GetSocketError(client.Get()));
  EXPECT_EQ(5, winsock::send(client.Get(), "hello", 5, 0));

  FdZero(&read);
  FdAdd(server.Get(), &read);
  ASSERT_EQ(1, Select(&read, nullptr, nullptr, 5000));
  char text[16] = {};
  EXPECT_EQ(5, winsock::recv(server.Get(), text, sizeof(text), 0));
  EXPECT_STREQ("hello", text);

  FdZero(&read);
  FdAdd(server.Get(), &read);
  EXPECT_EQ(0, Select(&read, nullptr, nullptr, 0));
  EXPECT_EQ(0u, read.count);
  ASSERT_EQ(0, winsock::shutdown(client.Get(), SD_SEND));
  FdAdd(server.Get(), &read);
  ASSERT_EQ(1, Select(&read, nullptr, nullptr, 5000));
  EXPECT_EQ(0, winsock::recv(server.Get(), text, sizeof(text), 0));
}

TEST(WinSockTest, ARefusedConnectShowsInTheExceptionSet) {
  uint16_t port = 0;
  {
    SocketHolder closed(Listen(port));
    ASSERT_NE(INVALID_SOCKET, closed.Get());
  }
  SocketHolder client(winsock::socket(AF_INET, SOCK_STREAM, 0));
  ASSERT_EQ(0, SetNonBlocking(client.Get(), true));
  sockaddr_in address = Loopback(port);
  if (winsock::connect(client.Get(), AsAddress(address), sizeof(address)) == 0) GTEST_SKIP() << "port was taken again";
  if (WSAGetLastError() != WSAEWOULDBLOCK) {
    EXPECT_EQ(WSAECONNREFUSED, WSAGetLastError());
    return;
  }
  FdSet write;
  FdSet except;
  FdZero(&write);
  FdZero(&except);
  FdAdd(client.Get(), &write);
  FdAdd(client.Get(), &except);
  ASSERT_EQ(1, Select(nullptr, &write, &except, 5000));
  EXPECT_TRUE(FdIsSet(client.Get(), &except));
  EXPECT_EQ(0u, write.count);
  EXPECT_EQ(WSAECONNREFUSED, GetSocketError(client.Get()));
}

TEST(WinSockTest, SelectWorksOnHighDescriptorNumbers) {
  rlimit limit;
  ASSERT_EQ(0, ::getrlimit(RLIMIT_NOFILE, &limit));
  const int high = 1500;
  if (limit.rlim_cur <= static_cast<rlim_t>(high)) {
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max;
    if (limit.rlim_max <= static_cast<rlim_t>(high) || ::setrlimit(RLIMIT_NOFILE, &raised) != 0) {
      GTEST_SKIP() << "cannot open descriptor " << high;
    }
  }
  SocketHolder client;
  SocketHolder server;
  ConnectPair(client, server);
  ASSERT_EQ(high, ::dup2(server.Get(), high));
  SocketHolder highServer(high);
  EXPECT_EQ(3, winsock::send(client.Get(), "abc", 3, 0));
  FdSet read;
  FdZero(&read);
  FdAdd(highServer.Get(), &read);
  ASSERT_EQ(1, Select(&read, nullptr, nullptr, 5000));
  EXPECT_TRUE(FdIsSet(high, &read));
}

TEST(WinSockTest, SendingToAClosedPeerFailsWithoutASignal) {
  SocketHolder client;
  SocketHolder server;
  ConnectPair(client, server);
  server.Reset(INVALID_SOCKET);
  char block[4096] = {};
  int result = 0;
  for (int i = 0; i < 100 && result != SOCKET_ERROR; ++i) {
    result = winsock::send(client.Get(), block, sizeof(block), 0);
    if (result != SOCKET_ERROR) ::usleep(1000);
  }
  ASSERT_EQ(SOCKET_ERROR, result);
  EXPECT_EQ(WSAECONNRESET, WSAGetLastError());
}

TEST(WinSockTest, RejectsBadSetsAndArguments) {
  FdSet read;
  FdZero(&read);
  EXPECT_EQ(SOCKET_ERROR, Select(&read, nullptr, nullptr, 0));
  EXPECT_EQ(WSAEINVAL, WSAGetLastError());
  FdAdd(-5, &read);
  EXPECT_EQ(SOCKET_ERROR, Select(&read, nullptr, nullptr, 0));
  EXPECT_EQ(WSAENOTSOCK, WSAGetLastError());
  EXPECT_EQ(SOCKET_ERROR, winsock::send(INVALID_SOCKET, "x", 1, 0));
  EXPECT_EQ(WSAENOTSOCK, WSAGetLastError());
  SocketHolder s(winsock::socket(AF_INET, SOCK_STREAM, 0));
  EXPECT_EQ(SOCKET_ERROR, winsock::shutdown(s.Get(), 7));
  EXPECT_EQ(SOCKET_ERROR, winsock::recv(s.Get(), nullptr, 5, 0));
  EXPECT_EQ(WSAEFAULT, WSAGetLastError());
}

TEST(WinSockTest, ParsesAndResolvesIPv4Addresses) {
  struct Case {
    const char* text;
    uint32_t address;
  } cases[] = {
      {"127.0.0.1", htonl(0x7F000001)}, {"10.1.2.3", htonl(0x0A010203)}, {"255.255.255.255", 0xFFFFFFFFu},
      {"1.2.3", 0xFFFFFFFFu},           {"1.2.3.256", 0xFFFFFFFFu},      {"www.example.com", 0xFFFFFFFFu},
      {"1.2.3.4 ", 0xFFFFFFFFu},        {"", 0xFFFFFFFFu},
  };
  for (const Case& c : cases) EXPECT_EQ(c.address, inet_addr_v4(c.text)) << c.text;
  EXPECT_EQ(0xFFFFFFFFu, inet_addr_v4(nullptr));
  EXPECT_EQ("10.1.2.3", GString(inet_ntoa_v4(htonl(0x0A010203))));

  uint32_t address = 0;
  ASSERT_TRUE(ResolveHostIPv4("127.0.0.2", address));
  EXPECT_EQ(htonl(0x7F000002), address);
  ASSERT_TRUE(ResolveHostIPv4("localhost", address));
  EXPECT_EQ(htonl(0x7F000001), address);
  EXPECT_FALSE(ResolveHostIPv4("", address));
  EXPECT_EQ(WSAHOST_NOT_FOUND, WSAGetLastError());
}

}  // namespace
