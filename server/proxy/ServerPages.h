#pragma once

#include <cstddef>
#include <string>

namespace vserver {

// The fixed messages this server sends to client proxies.
class ServerPages {
 public:
  // The "Corvask-ID:" line (without line end): the Base64 of the server's
  // distinguished name, a blank and the secure URL.
  static std::string IdentityLine(const std::string& distinguishedName, const std::string& secureURL);
  // The 302 that announces a protected site; no body.
  static std::string Announcement(const std::string& identityLine,
                                  const std::string& insecureRedirectURL);
  // The security error page (head and body together); extraLine (may be
  // empty) is added to the head. It answers token messages, which are
  // POSTs, so it always has its body.
  static std::string SecurityError(const std::string& reason, const std::string& extraLine,
                                   const std::string& address, int port);
  // The head of a token message carrying length bytes.
  static std::string TokenHead(size_t length);
  // A small HTML answer with the given status ("502 Bad Gateway") that the
  // server puts inside a wrapped response when it cannot reach the web site.
  static void GatewayError(const std::string& status, const std::string& text,
                           std::string& statusLine, std::string& header, std::string& body);
  // A clear error answer (for requests that are not token messages).
  static std::string PlainError(const std::string& status, const std::string& text);
};

}  // namespace vserver
