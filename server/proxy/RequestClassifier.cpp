#include "server/proxy/RequestClassifier.h"

#include <cctype>

#include "server/proxy/HttpHeader.h"

namespace vserver {

namespace {

constexpr uint32_t kQopConfidentialityMask = 0x0800 | 0x1000;

bool ContainsNoCase(const std::string& text, std::string_view word) {
  for (size_t i = 0; i + word.size() <= text.size(); ++i)
    if (HttpHeader::EqualsNoCase(std::string_view(text).substr(i, word.size()), word)) return true;
  return false;
}

bool IsTokenChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

std::string_view TrimLineEnd(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  return line;
}

bool HasControl(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return true;
  return false;
}

std::string Downgraded(std::string_view statusLine) {
  std::string_view line = TrimLineEnd(statusLine);
  if (HttpHeader::StartsWithNoCase(line, "HTTP/1.") && line.size() >= 8)
    return "HTTP/1.0" + std::string(line.substr(8)) + "\r\n";
  return std::string(line) + "\r\n";
}

}  // namespace

bool RequestClassifier::IsTokenMessage(std::string_view firstLine, std::string_view header) {
  if (!HttpHeader::StartsWithNoCase(firstLine, "POST ")) return false;
  std::string type;
  return HttpHeader::GetField(header, "Content-Type", type) &&
         HttpHeader::EqualsNoCase(type, "application/x-Velgrade");
}

std::string_view RequestClassifier::PathAfterMethod(std::string_view requestLine) {
  size_t blank = requestLine.find(' ');
  if (blank == std::string_view::npos) return std::string_view();
  std::string_view path = requestLine.substr(blank + 1);
  while (!path.empty() && std::isspace(static_cast<unsigned char>(path.front()))) path.remove_prefix(1);
  return path;
}

bool RequestClassifier::MustWrap(const std::string* contentType, std::string_view requestLine,
                                 const ServerConfig& config) {
  if (contentType == nullptr || HttpHeader::StartsWithNoCase(*contentType, "text/")) return true;
  std::string key;
  for (char c : *contentType) key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  key += ' ';
  if (config.noEncryptTypes.find(key) != std::string::npos) return false;
  std::string_view path = PathAfterMethod(requestLine);
  for (const std::string& dir : config.noEncryptDirs)
    if (!dir.empty() && path.substr(0, dir.size()) == dir) return false;
  return true;
}

bool RequestClassifier::MatchesPath(std::string_view requestLine,
                                    const std::vector<std::string>& prefixes) {
  std::string_view path = PathAfterMethod(requestLine);
  path = path.substr(0, path.find_first_of(" \r\n"));
  for (const std::string& prefix : prefixes)
    if (path.substr(0, prefix.size()) == prefix) return true;
  return false;
}

uint32_t RequestClassifier::QopFor(const std::string& encryptWith, const std::string& signingKey) {
  uint32_t qop = HttpHeader::EqualsNoCase(signingKey, "DSA") ? 0x30 : 0x40;
  if (ContainsNoCase(encryptWith, "RC2")) return qop | 0x300000;
  if (ContainsNoCase(encryptWith, "Triple-DES") || ContainsNoCase(encryptWith, "Triple DES"))
    return qop | 0x400000;
  if (ContainsNoCase(encryptWith, "DES")) return qop | 0x10000;
  if (ContainsNoCase(encryptWith, "CAST64") || ContainsNoCase(encryptWith, "CAST-64"))
    return qop | 0x100000;
  if (ContainsNoCase(encryptWith, "CAST128") || ContainsNoCase(encryptWith, "CAST-128"))
    return qop | 0x500000;
  return qop | 0x300000;
}

bool RequestClassifier::HasProperProtection(int confState, uint32_t qop) {
  return confState != 0 && (qop & kQopConfidentialityMask) != 0;
}

bool RequestClassifier::OriginRequestHead(std::string_view requestLine, std::string_view header,
                                          size_t bodyLength, std::string& head, std::string& error) {
  std::string_view line = TrimLineEnd(requestLine);
  size_t blank = line.find(' ');
  if (line.empty() || blank == std::string_view::npos || blank == 0 || HasControl(line)) {
    error = "The request line is not valid HTTP.";
    return false;
  }
  std::string_view method = line.substr(0, blank);
  for (char c : method) {
    if (!IsTokenChar(c)) {
      error = "The request method is not valid HTTP.";
      return false;
    }
  }
  std::string_view target = line.substr(blank + 1);
  target = target.substr(0, target.find(' '));
  if (target.empty() || (target.front() != '/' && target != "*")) {
    error = "The request does not name a path on this site.";
    return false;
  }
  head.clear();
  head.reserve(line.size() + header.size() + 64);
  head.append(method).append(" ").append(target).append(" HTTP/1.0\r\n");
  head += HttpHeader::Without(header, {"Connection", "Proxy-Connection", "Keep-Alive",
                                       "Content-Length", "Transfer-Encoding", "Proxy-Authorization"});
  bool sendsBody = bodyLength != 0 || HttpHeader::EqualsNoCase(method, "POST") ||
                   HttpHeader::EqualsNoCase(method, "PUT");
  if (sendsBody) head += "Content-Length: " + std::to_string(bodyLength) + "\r\n";
  head += "Connection: close\r\n\r\n";
  return true;
}

void RequestClassifier::ClientResponseHead(std::string_view statusLine, std::string_view header,
                                           size_t bodyLength, bool headOnly,
                                           const std::string& extraLines,
                                           std::string& outStatusLine, std::string& outHeader) {
  outStatusLine = Downgraded(statusLine);
  if (headOnly) {
    outHeader = HttpHeader::Without(header, {"Connection", "Keep-Alive", "Proxy-Connection",
                                             "Transfer-Encoding", "Corvask-ID"});
  } else {
    outHeader = HttpHeader::Without(header, {"Connection", "Keep-Alive", "Proxy-Connection",
                                             "Transfer-Encoding", "Content-Length", "Corvask-ID"});
    outHeader += "Content-Length: " + std::to_string(bodyLength) + "\r\n";
  }
  outHeader += extraLines;
  outHeader += "\r\n";
}

}  // namespace vserver
