#include "server/proxy/ServerPages.h"

#include "common/Base64.h"

namespace vserver {

namespace {

std::string EscapeHtml(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '&': out += "&amp;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace

std::string ServerPages::IdentityLine(const std::string& distinguishedName,
                                      const std::string& secureURL) {
  GString encoded = Base64Encode(distinguishedName.data(), distinguishedName.size());
  return std::string("Corvask-ID: ") + encoded.Text() + " " + secureURL;
}

std::string ServerPages::Announcement(const std::string& identityLine,
                                      const std::string& insecureRedirectURL) {
  return "HTTP/1.0 302 Velgrade Required\r\nLocation: " + insecureRedirectURL +
         "\r\nContent-Type: text/plain\r\n" + identityLine + "\r\n\r\n";
}

std::string ServerPages::SecurityError(const std::string& reason, const std::string& extraLine,
                                       const std::string& address, int port) {
  std::string page =
      "HTTP/1.0 500 Velgrade Security Error\r\nProxy-agent: Velgrade\r\nContent-type: text/html\r\n";
  if (!extraLine.empty()) page += extraLine + "\r\n";
  page += "\r\n";
  page +=
      "<html><head><title>Security Error</title></head>\n<body bgcolor=\"#ffffff\" "
      "text=\"#000000\"><h1>Security Error</h1><blockquote><b><hr size=4>\n"
      "The Velgrade server at " + address + ":" + std::to_string(port) +
      " detected a security problem while processing a request:<p>\n" + reason +
      "\n<hr size=4></b></blockquote></body></html>";
  return page;
}

std::string ServerPages::TokenHead(size_t length) {
  return "HTTP/1.0 200 Velgrade data follows\r\nContent-Type: application/x-Velgrade\r\n"
         "Content-Length: " + std::to_string(length) + "\r\n\r\n";
}

void ServerPages::GatewayError(const std::string& status, const std::string& text,
                               std::string& statusLine, std::string& header, std::string& body) {
  body = "<html><head><title>" + status + "</title></head><body><h1>" + status + "</h1>\n<p>" +
         EscapeHtml(text) + "</p>\n</body></html>\n";
  statusLine = "HTTP/1.0 " + status + "\r\n";
  header = "Content-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n";
}

std::string ServerPages::PlainError(const std::string& status, const std::string& text) {
  std::string body = "<html><head><title>" + status + "</title></head><body><h1>" + status +
                     "</h1>\n<p>" + EscapeHtml(text) + "</p>\n</body></html>\n";
  return "HTTP/1.0 " + status + "\r\nContent-Type: text/html\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\n\r\n" + body;
}

}  // namespace vserver
