#include "platform/WinSock.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace winsock {

namespace {

thread_local int lastError = 0;

// Records the current errno as the thread's WSA error; returns SOCKET_ERROR.
int Fail() {
  lastError = WsaCodeFromErrno(errno);
  return SOCKET_ERROR;
}

int FailWith(int code) {
  lastError = code;
  return SOCKET_ERROR;
}

bool IsNonBlocking(SOCKET s) {
  int flags = ::fcntl(s, F_GETFL);
  return flags >= 0 && (flags & O_NONBLOCK) != 0;
}

// Checks an address length argument; false (with WSAEFAULT) when it cannot be
// used.
bool ValidLength(const void* address, int length) {
  if (address == nullptr || length < 0) {
    lastError = WSAEFAULT;
    return false;
  }
  return true;
}

// One descriptor to watch, with the sets it came from.
struct Watch {
  bool inRead;
  bool inWrite;
  bool inExcept;
};

// Adds the sockets of set to fds/watches (each descriptor once); false when
// one of them is not a valid descriptor number.
bool Collect(const FdSet* set, bool Watch::*member, short events, pollfd* fds, Watch* watches, size_t& used) {
  if (set == nullptr) return true;
  unsigned count = set->count < kFdSetSize ? set->count : kFdSetSize;
  for (unsigned i = 0; i < count; ++i) {
    SOCKET s = set->sockets[i];
    if (s < 0) return false;
    size_t j = 0;
    while (j < used && fds[j].fd != s) ++j;
    if (j == used) {
      fds[used] = pollfd{s, 0, 0};
      watches[used] = Watch{false, false, false};
      ++used;
    }
    fds[j].events = static_cast<short>(fds[j].events | events);
    watches[j].*member = true;
  }
  return true;
}

// Keeps in set only the sockets for which isReady holds; returns how many.
template <typename Ready>
int Filter(FdSet* set, Ready isReady) {
  if (set == nullptr) return 0;
  unsigned kept = 0;
  unsigned count = set->count < kFdSetSize ? set->count : kFdSetSize;
  for (unsigned i = 0; i < count; ++i) {
    if (isReady(set->sockets[i])) set->sockets[kept++] = set->sockets[i];
  }
  set->count = kept;
  return static_cast<int>(kept);
}

// poll, restarted after signals with the time that is left.
int PollWithTimeout(pollfd* fds, size_t count, int timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  for (;;) {
    int wait = timeoutMs;
    if (timeoutMs > 0) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      wait = left.count() > 0 ? static_cast<int>(left.count()) : 0;
    }
    int ready = ::poll(fds, count, wait);
    if (ready >= 0 || errno != EINTR) return ready;
  }
}

}  // namespace

void FdZero(FdSet* set) {
  if (set != nullptr) set->count = 0;
}

bool FdAdd(SOCKET s, FdSet* set) {
  if (set == nullptr) return false;
  if (FdIsSet(s, set)) return true;
  if (set->count >= kFdSetSize) return false;
  set->sockets[set->count++] = s;
  return true;
}

void FdRemove(SOCKET s, FdSet* set) {
  Filter(set, [s](SOCKET member) { return member != s; });
}

bool FdIsSet(SOCKET s, const FdSet* set) {
  if (set == nullptr) return false;
  unsigned count = set->count < kFdSetSize ? set->count : kFdSetSize;
  for (unsigned i = 0; i < count; ++i) {
    if (set->sockets[i] == s) return true;
  }
  return false;
}

int Select(FdSet* read, FdSet* write, FdSet* except, int timeoutMs) {
  pollfd fds[3 * kFdSetSize];
  Watch watches[3 * kFdSetSize];
  size_t used = 0;
  if (!Collect(read, &Watch::inRead, POLLIN, fds, watches, used) ||
      !Collect(write, &Watch::inWrite, POLLOUT, fds, watches, used) ||
      !Collect(except, &Watch::inExcept, POLLPRI, fds, watches, used)) {
    return FailWith(WSAENOTSOCK);
  }
  if (used == 0) return FailWith(WSAEINVAL);
  if (PollWithTimeout(fds, used, timeoutMs) < 0) return Fail();
  for (size_t i = 0; i < used; ++i) {
    if (fds[i].revents & POLLNVAL) return FailWith(WSAENOTSOCK);
  }
  auto events = [&](SOCKET s) -> const pollfd& {
    size_t i = 0;
    while (fds[i].fd != s) ++i;
    return fds[i];
  };
  auto watch = [&](SOCKET s) -> const Watch& { return watches[&events(s) - fds]; };
  int total = Filter(read, [&](SOCKET s) { return (events(s).revents & (POLLIN | POLLHUP | POLLERR)) != 0; });
  total += Filter(write, [&](SOCKET s) {
    short revents = events(s).revents;
    if (revents & POLLERR) return !watch(s).inExcept;
    return (revents & POLLOUT) != 0 || ((revents & POLLHUP) != 0 && !watch(s).inExcept && !watch(s).inRead);
  });
  total += Filter(except, [&](SOCKET s) {
    short revents = events(s).revents;
    return (revents & (POLLPRI | POLLERR)) != 0 ||
           ((revents & POLLHUP) != 0 && watch(s).inWrite && !watch(s).inRead && !(revents & POLLOUT));
  });
  return total;
}

SOCKET socket(int af, int type, int protocol) {
  int s = ::socket(af, type | SOCK_CLOEXEC, protocol);
  return s >= 0 ? s : Fail();
}

int bind(SOCKET s, const sockaddr* name, int namelen) {
  if (!ValidLength(name, namelen)) return SOCKET_ERROR;
  int type = 0;
  socklen_t typeLength = sizeof(type);
  if (::getsockopt(s, SOL_SOCKET, SO_TYPE, &type, &typeLength) == 0 && type == SOCK_STREAM) {
    int on = 1;
    ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
  }
  return ::bind(s, name, static_cast<socklen_t>(namelen)) == 0 ? 0 : Fail();
}

int listen(SOCKET s, int backlog) { return ::listen(s, backlog) == 0 ? 0 : Fail(); }

SOCKET accept(SOCKET s, sockaddr* addr, int* addrlen) {
  if (addr != nullptr && (addrlen == nullptr || *addrlen < 0)) return FailWith(WSAEFAULT);
  socklen_t length = addr != nullptr ? static_cast<socklen_t>(*addrlen) : 0;
  int flags = SOCK_CLOEXEC | (IsNonBlocking(s) ? SOCK_NONBLOCK : 0);
  int accepted;
  do {
    accepted = ::accept4(s, addr, addr != nullptr ? &length : nullptr, flags);
  } while (accepted < 0 && errno == EINTR);
  if (accepted < 0) return Fail();
  if (addr != nullptr) *addrlen = static_cast<int>(length);
  return accepted;
}

int connect(SOCKET s, const sockaddr* name, int namelen) {
  if (!ValidLength(name, namelen)) return SOCKET_ERROR;
  return ::connect(s, name, static_cast<socklen_t>(namelen)) == 0 ? 0 : Fail();
}

int send(SOCKET s, const char* buf, int len, int flags) {
  if (len < 0 || (buf == nullptr && len > 0)) return FailWith(WSAEFAULT);
  ssize_t n;
  do {
    n = ::send(s, buf, static_cast<size_t>(len), flags | MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  return n >= 0 ? static_cast<int>(n) : Fail();
}

int recv(SOCKET s, char* buf, int len, int flags) {
  if (len < 0 || (buf == nullptr && len > 0)) return FailWith(WSAEFAULT);
  ssize_t n;
  do {
    n = ::recv(s, buf, static_cast<size_t>(len), flags);
  } while (n < 0 && errno == EINTR);
  return n >= 0 ? static_cast<int>(n) : Fail();
}

int closesocket(SOCKET s) {
  // The descriptor is released even when close reports EINTR.
  return ::close(s) == 0 || errno == EINTR ? 0 : Fail();
}

int shutdown(SOCKET s, int how) {
  int systemHow = how == SD_RECEIVE ? SHUT_RD : how == SD_SEND ? SHUT_WR : how == SD_BOTH ? SHUT_RDWR : -1;
  if (systemHow < 0) return FailWith(WSAEINVAL);
  return ::shutdown(s, systemHow) == 0 ? 0 : Fail();
}

int getsockname(SOCKET s, sockaddr* name, int* namelen) {
  if (name == nullptr || namelen == nullptr || *namelen < 0) return FailWith(WSAEFAULT);
  socklen_t length = static_cast<socklen_t>(*namelen);
  if (::getsockname(s, name, &length) != 0) return Fail();
  *namelen = static_cast<int>(length);
  return 0;
}

int getpeername(SOCKET s, sockaddr* name, int* namelen) {
  if (name == nullptr || namelen == nullptr || *namelen < 0) return FailWith(WSAEFAULT);
  socklen_t length = static_cast<socklen_t>(*namelen);
  if (::getpeername(s, name, &length) != 0) return Fail();
  *namelen = static_cast<int>(length);
  return 0;
}

int setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen) {
  if (!ValidLength(optval, optlen)) return SOCKET_ERROR;
  return ::setsockopt(s, level, optname, optval, static_cast<socklen_t>(optlen)) == 0 ? 0 : Fail();
}

int getsockopt(SOCKET s, int level, int optname, char* optval, int* optlen) {
  if (optval == nullptr || optlen == nullptr || *optlen < 0) return FailWith(WSAEFAULT);
  socklen_t length = static_cast<socklen_t>(*optlen);
  if (::getsockopt(s, level, optname, optval, &length) != 0) return Fail();
  *optlen = static_cast<int>(length);
  return 0;
}

int gethostname(char* name, int namelen) {
  if (name == nullptr || namelen <= 0) return FailWith(WSAEFAULT);
  if (::gethostname(name, static_cast<size_t>(namelen)) != 0) return Fail();
  name[namelen - 1] = '\0';
  return 0;
}

int SetNonBlocking(SOCKET s, bool on) {
  int flags = ::fcntl(s, F_GETFL);
  if (flags < 0) return Fail();
  flags = on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
  return ::fcntl(s, F_SETFL, flags) == 0 ? 0 : Fail();
}

int SetNoDelay(SOCKET s, bool on) {
  int value = on ? 1 : 0;
  return ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &value, sizeof(value)) == 0 ? 0 : Fail();
}

int GetSocketError(SOCKET s) {
  int error = 0;
  socklen_t length = sizeof(error);
  if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
    Fail();
    return lastError;
  }
  return error == 0 ? 0 : WsaCodeFromErrno(error);
}

int WSAGetLastError() { return lastError; }

void WSASetLastError(int code) { lastError = code; }

int WsaCodeFromErrno(int error) {
  switch (error) {
    case EINTR: return WSAEINTR;
    case EBADF: return WSAENOTSOCK;
    case EACCES:
    case EPERM: return WSAEACCES;
    case EFAULT: return WSAEFAULT;
    case EINVAL: return WSAEINVAL;
    case EMFILE:
    case ENFILE: return WSAEMFILE;
    case EAGAIN:
    case EINPROGRESS: return WSAEWOULDBLOCK;
    case EALREADY: return WSAEALREADY;
    case ENOTSOCK: return WSAENOTSOCK;
    case EDESTADDRREQ: return WSAEDESTADDRREQ;
    case EMSGSIZE: return WSAEMSGSIZE;
    case EPROTOTYPE: return WSAEPROTOTYPE;
    case ENOPROTOOPT: return WSAENOPROTOOPT;
    case EPROTONOSUPPORT: return WSAEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT: return WSAESOCKTNOSUPPORT;
    case EOPNOTSUPP: return WSAEOPNOTSUPP;
    case EPFNOSUPPORT: return WSAEPFNOSUPPORT;
    case EAFNOSUPPORT: return WSAEAFNOSUPPORT;
    case EADDRINUSE: return WSAEADDRINUSE;
    case EADDRNOTAVAIL: return WSAEADDRNOTAVAIL;
    case ENETDOWN: return WSAENETDOWN;
    case ENETUNREACH: return WSAENETUNREACH;
    case ENETRESET: return WSAENETRESET;
    case ECONNABORTED: return WSAECONNABORTED;
    case ECONNRESET:
    case EPIPE: return WSAECONNRESET;
    case ENOBUFS:
    case ENOMEM: return WSAENOBUFS;
    case EISCONN: return WSAEISCONN;
    case ENOTCONN: return WSAENOTCONN;
    case ESHUTDOWN: return WSAESHUTDOWN;
    case ETOOMANYREFS: return WSAETOOMANYREFS;
    case ETIMEDOUT: return WSAETIMEDOUT;
    case ECONNREFUSED: return WSAECONNREFUSED;
    case ELOOP: return WSAELOOP;
    case ENAMETOOLONG: return WSAENAMETOOLONG;
    case EHOSTDOWN: return WSAEHOSTDOWN;
    case EHOSTUNREACH: return WSAEHOSTUNREACH;
    case ENOTEMPTY: return WSAENOTEMPTY;
    case EUSERS: return WSAEUSERS;
    case EDQUOT: return WSAEDQUOT;
    case ESTALE: return WSAESTALE;
    case EREMOTE: return WSAEREMOTE;
    default: return WSASYSCALLFAILURE;
  }
}

int WSAStartup(WORD version) { return 0; }

int WSACleanup() { return 0; }

bool ResolveHostIPv4(const char* name, uint32_t& addressNetworkOrder) {
  if (name == nullptr || *name == '\0') {
    lastError = WSAHOST_NOT_FOUND;
    return false;
  }
  uint32_t numeric = inet_addr_v4(name);
  if (numeric != 0xFFFFFFFFu || std::strcmp(name, "255.255.255.255") == 0) {
    addressNetworkOrder = numeric;
    return true;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  int rc = ::getaddrinfo(name, nullptr, &hints, &found);
  if (rc != 0 || found == nullptr) {
    lastError = rc == EAI_AGAIN ? WSATRY_AGAIN : rc == EAI_FAIL || rc == EAI_MEMORY ? WSANO_RECOVERY : WSAHOST_NOT_FOUND;
    if (found != nullptr) ::freeaddrinfo(found);
    return false;
  }
  addressNetworkOrder = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
  ::freeaddrinfo(found);
  return true;
}

uint32_t inet_addr_v4(const char* dotted) {
  in_addr address;
  if (dotted == nullptr || ::inet_pton(AF_INET, dotted, &address) != 1) return 0xFFFFFFFFu;
  return address.s_addr;
}

GString inet_ntoa_v4(uint32_t addressNetworkOrder) {
  in_addr address;
  address.s_addr = addressNetworkOrder;
  char text[INET_ADDRSTRLEN];
  if (::inet_ntop(AF_INET, &address, text, sizeof(text)) == nullptr) return GString();
  return GString(text);
}

}  // namespace winsock
