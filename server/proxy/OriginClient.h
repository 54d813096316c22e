#pragma once

#include <string>
#include <string_view>

#include <netinet/in.h>

namespace vserver {

class HttpMessageReader;

// Fetches one answer from the protected web site: one HTTP/1.0 request per
// connection, with a time-out on every wait so a slow or silent origin
// cannot hold a worker for long.
class OriginClient {
 public:
  OriginClient(const sockaddr_in& address, unsigned timeoutSeconds)
      : address_(address), timeoutSeconds_(timeoutSeconds) {}

  // Resolves host (name or dotted address) to an IPv4 address.
  static bool Resolve(const std::string& host, uint16_t port, sockaddr_in& address,
                      std::string& error);

  // Sends head and body and reads the answer into response. False with
  // error when the origin cannot be reached or answers something unusable.
  bool Fetch(std::string_view head, std::string_view body, HttpMessageReader& response,
             std::string& error) const;

 private:
  sockaddr_in address_;
  unsigned timeoutSeconds_;
};

}  // namespace vserver
