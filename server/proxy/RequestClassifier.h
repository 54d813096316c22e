#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "server/proxy/ServerConfig.h"

namespace vserver {

// The decisions the server takes on what travels between it, the client
// proxies and the origin web server.
class RequestClassifier {
 public:
  // True for a token message: a POST whose Content-Type is
  // application/x-Velgrade (ignoring case).
  static bool IsTokenMessage(std::string_view firstLine, std::string_view header);
  // True when a response must travel wrapped: always without a content type
  // or for text/ types; otherwise unless the type is one of noEncryptTypes
  // or the request path begins with one of noEncryptDir1..8.
  static bool MustWrap(const std::string* contentType, std::string_view requestLine,
                       const ServerConfig& config);
  // The request path as the exemptions see it: the request line after its
  // first blank, leading white space removed.
  static std::string_view PathAfterMethod(std::string_view requestLine);
  // True when the request target (the path up to its next blank) begins
  // with one of prefixes.
  static bool MatchesPath(std::string_view requestLine, const std::vector<std::string>& prefixes);
  // The QOP to wrap with: integrity 0x30 for DSA and 0x40 otherwise, plus
  // the confidentiality bits of the cipher name.
  static uint32_t QopFor(const std::string& encryptWith, const std::string& signingKey);
  // True when an unwrapped token had confidentiality and an accepted QOP.
  static bool HasProperProtection(int confState, uint32_t qop);
  // Builds the request the origin receives from an unwrapped request line,
  // header and body length: HTTP/1.0, the connection and length lines
  // replaced. False with error when the request line is not one an origin
  // may receive (no method, a target that is not a path, control bytes).
  static bool OriginRequestHead(std::string_view requestLine, std::string_view header,
                                size_t bodyLength, std::string& head, std::string& error);
  // The status line and header the client proxy receives for an origin
  // response: HTTP/1.0, connection lines removed, the length fixed to
  // bodyLength unless headOnly, extra lines (each ending in CR LF) added.
  static void ClientResponseHead(std::string_view statusLine, std::string_view header,
                                 size_t bodyLength, bool headOnly, const std::string& extraLines,
                                 std::string& outStatusLine, std::string& outHeader);
};

}  // namespace vserver
