#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>

#include "common/GString.h"
#include "platform/Win32Types.h"

// WinSock 1.1 on BSD sockets, for code written against WinSock. Every call
// keeps the WinSock contract: failure is SOCKET_ERROR (or INVALID_SOCKET) and
// the reason is read with WSAGetLastError as a WSA code, never from errno.
// Sockets are created close-on-exec, so started programs do not inherit them,
// and sending never raises SIGPIPE. The last error is kept per thread.
//
// Call these functions with their namespace (winsock::socket): the system's
// functions of the same names stay visible in the global namespace.
namespace winsock {

using SOCKET = int;
constexpr SOCKET INVALID_SOCKET = -1;
constexpr int SOCKET_ERROR = -1;

// shutdown directions.
constexpr int SD_RECEIVE = 0;
constexpr int SD_SEND = 1;
constexpr int SD_BOTH = 2;

// WSA error codes.
constexpr int WSAEINTR = 10004;
constexpr int WSAEBADF = 10009;
constexpr int WSAEACCES = 10013;
constexpr int WSAEFAULT = 10014;
constexpr int WSAEINVAL = 10022;
constexpr int WSAEMFILE = 10024;
constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAEINPROGRESS = 10036;
constexpr int WSAEALREADY = 10037;
constexpr int WSAENOTSOCK = 10038;
constexpr int WSAEDESTADDRREQ = 10039;
constexpr int WSAEMSGSIZE = 10040;
constexpr int WSAEPROTOTYPE = 10041;
constexpr int WSAENOPROTOOPT = 10042;
constexpr int WSAEPROTONOSUPPORT = 10043;
constexpr int WSAESOCKTNOSUPPORT = 10044;
constexpr int WSAEOPNOTSUPP = 10045;
constexpr int WSAEPFNOSUPPORT = 10046;
constexpr int WSAEAFNOSUPPORT = 10047;
constexpr int WSAEADDRINUSE = 10048;
constexpr int WSAEADDRNOTAVAIL = 10049;
constexpr int WSAENETDOWN = 10050;
constexpr int WSAENETUNREACH = 10051;
constexpr int WSAENETRESET = 10052;
constexpr int WSAECONNABORTED = 10053;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAENOBUFS = 10055;
constexpr int WSAEISCONN = 10056;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAESHUTDOWN = 10058;
constexpr int WSAETOOMANYREFS = 10059;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSAELOOP = 10062;
constexpr int WSAENAMETOOLONG = 10063;
constexpr int WSAEHOSTDOWN = 10064;
constexpr int WSAEHOSTUNREACH = 10065;
constexpr int WSAENOTEMPTY = 10066;
constexpr int WSAEPROCLIM = 10067;
constexpr int WSAEUSERS = 10068;
constexpr int WSAEDQUOT = 10069;
constexpr int WSAESTALE = 10070;
constexpr int WSAEREMOTE = 10071;
constexpr int WSASYSNOTREADY = 10091;
constexpr int WSAVERNOTSUPPORTED = 10092;
constexpr int WSANOTINITIALISED = 10093;
constexpr int WSAEDISCON = 10101;
constexpr int WSASYSCALLFAILURE = 10107;
constexpr int WSAHOST_NOT_FOUND = 11001;
constexpr int WSATRY_AGAIN = 11002;
constexpr int WSANO_RECOVERY = 11003;
constexpr int WSANO_DATA = 11004;

// A WinSock socket set: at most kFdSetSize sockets, each at most once.
constexpr unsigned kFdSetSize = 64;
struct FdSet {
  unsigned count;
  SOCKET sockets[kFdSetSize];
};

void FdZero(FdSet* set);
// Adds s unless it is already in the set or the set is full (a 65th socket is
// silently not added, as in WinSock). True when s is in the set afterwards.
bool FdAdd(SOCKET s, FdSet* set);
void FdRemove(SOCKET s, FdSet* set);
bool FdIsSet(SOCKET s, const FdSet* set);

// WinSock select on poll, so any descriptor number works. Waits up to
// timeoutMs milliseconds (negative: without limit) until a socket of a set is
// ready, then leaves in each set only its ready sockets and returns their
// total count (a socket ready in two sets counts twice); 0 on time-out. Read
// readiness includes a pending connection, end of stream and a reset; write
// readiness a completed connect. A failed non-blocking connect, or another
// error pending on a socket, is reported in the exception set (not the write
// set), as is urgent data; a socket only in the write set whose connection
// has failed is reported writable, so that its next send shows the error.
// Null sets are allowed; all three empty, or an
// invalid socket in a set, is SOCKET_ERROR with WSAEINVAL or WSAENOTSOCK.
int Select(FdSet* read, FdSet* write, FdSet* except, int timeoutMs);

SOCKET socket(int af, int type, int protocol);
// Also sets SO_REUSEADDR on stream sockets, so that a restarted server can
// listen again on its port while old connections linger in TIME_WAIT (which
// WinSock allows without it); two listeners on one port are still refused.
int bind(SOCKET s, const sockaddr* name, int namelen);
int listen(SOCKET s, int backlog);
// The accepted socket is non-blocking when s is, as in WinSock.
SOCKET accept(SOCKET s, sockaddr* addr, int* addrlen);
// On a non-blocking socket a connect that has begun fails with
// WSAEWOULDBLOCK; a second call while it runs gives WSAEALREADY, after it
// succeeded WSAEISCONN.
int connect(SOCKET s, const sockaddr* name, int namelen);
int send(SOCKET s, const char* buf, int len, int flags);
int recv(SOCKET s, char* buf, int len, int flags);
int closesocket(SOCKET s);
int shutdown(SOCKET s, int how);
int getsockname(SOCKET s, sockaddr* name, int* namelen);
int getpeername(SOCKET s, sockaddr* name, int* namelen);
// Socket options use the system's level and option numbers (SOL_SOCKET,
// IPPROTO_TCP, TCP_NODELAY, ...), whose integer options take 4-byte values.
int setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen);
int getsockopt(SOCKET s, int level, int optname, char* optval, int* optlen);
int gethostname(char* name, int namelen);

// ioctlsocket FIONBIO: 0 or SOCKET_ERROR.
int SetNonBlocking(SOCKET s, bool on);
// TCP_NODELAY: 0 or SOCKET_ERROR.
int SetNoDelay(SOCKET s, bool on);
// The socket's pending error (SO_ERROR, which the query clears) as a WSA code,
// 0 when none; WSAGetLastError when the query itself fails.
int GetSocketError(SOCKET s);

int WSAGetLastError();
void WSASetLastError(int code);
// The WSA code for a system error number (WSASYSCALLFAILURE for one without a
// counterpart).
int WsaCodeFromErrno(int error);

// The sockets layer needs no start-up here; both always succeed (0).
int WSAStartup(WORD version);
int WSACleanup();

// Resolves a host name, or a dotted quad, to an IPv4 address. False with
// WSAHOST_NOT_FOUND, WSATRY_AGAIN or WSANO_RECOVERY set when it cannot.
// Blocks while the resolver works.
bool ResolveHostIPv4(const char* name, uint32_t& addressNetworkOrder);
// A dotted quad of four decimal parts as an address in network order;
// 0xFFFFFFFF (which is also 255.255.255.255) when the text is not one.
uint32_t inet_addr_v4(const char* dotted);
// The dotted-quad text of an address in network order.
GString inet_ntoa_v4(uint32_t addressNetworkOrder);

}  // namespace winsock
