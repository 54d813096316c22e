#include "server/proxy/OriginClient.h"

#include <cstring>

#include <netdb.h>
#include <sys/socket.h>

#include "server/proxy/HttpMessageReader.h"
#include "server/proxy/SocketIo.h"

namespace vserver {

bool OriginClient::Resolve(const std::string& host, uint16_t port, sockaddr_in& address,
                           std::string& error) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  int rc = getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (rc != 0 || found == nullptr) {
    error = "cannot resolve the origin host " + host + ": " + gai_strerror(rc);
    return false;
  }
  std::memcpy(&address, found->ai_addr, sizeof address);
  address.sin_port = htons(port);
  freeaddrinfo(found);
  return true;
}

bool OriginClient::Fetch(std::string_view head, std::string_view body, HttpMessageReader& response,
                         std::string& error) const {
  SocketHandle socket = SocketIo::Connect(address_, timeoutSeconds_, error);
  if (!socket.IsValid()) return false;
  std::string_view pieces[] = {head, body};
  if (!SocketIo::SendAll(socket.Get(), pieces, 2, timeoutSeconds_, error)) return false;
  return SocketIo::ReadMessage(socket.Get(), response, timeoutSeconds_, 0, error);
}

}  // namespace vserver
