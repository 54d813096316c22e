#include "tests/server/ServerTestKit.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include "server/proxy/SecureMessage.h"

namespace {

bool SendAllBytes(int fd, const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

// Reads a request head and its announced body (bounded by 30 s of silence).
std::string ReadRequest(int fd, std::string& head) {
  std::string data;
  char buffer[65536];
  size_t end = std::string::npos;
  size_t length = 0;
  for (;;) {
    if (end == std::string::npos) {
      end = data.find("\r\n\r\n");
      if (end != std::string::npos) {
        head = data.substr(0, end + 4);
        size_t at = head.find("Content-Length: ");
        if (at != std::string::npos) length = std::stoul(head.substr(at + 16));
      }
    }
    if (end != std::string::npos && data.size() >= end + 4 + length) break;
    pollfd entry{fd, POLLIN, 0};
    if (poll(&entry, 1, 30000) <= 0) break;
    ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    data.append(buffer, static_cast<size_t>(n));
  }
  return end == std::string::npos ? std::string() : data.substr(end + 4, length);
}

}  // namespace

TestOrigin::TestOrigin() {
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
  listen(listener_, 128);
  socklen_t size = sizeof address;
  getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
  port_ = ntohs(address.sin_port);
  thread_ = std::thread(&TestOrigin::AcceptLoop, this);
}

TestOrigin::~TestOrigin() {
  stopping_ = true;
  thread_.join();
  for (std::thread& handler : handlers_) handler.join();
  close(listener_);
}

std::string TestOrigin::LastRequestHead() {
  std::lock_guard<std::mutex> guard(lock_);
  return lastHead_;
}

std::string TestOrigin::BigBody() {
  static const std::string body = [] {
    std::string made(size_t{10} << 20, '\0');
    for (size_t i = 0; i < made.size(); ++i) made[i] = static_cast<char>((i * 7 + i / 4096) & 0xFF);
    return made;
  }();
  return body;
}

void TestOrigin::AcceptLoop() {
  while (!stopping_) {
    pollfd entry{listener_, POLLIN, 0};
    if (poll(&entry, 1, 100) <= 0) continue;
    int fd = accept(listener_, nullptr, nullptr);
    if (fd < 0) continue;
    std::lock_guard<std::mutex> guard(lock_);
    handlers_.emplace_back(&TestOrigin::Answer, this, fd);
  }
}

void TestOrigin::Answer(int fd) {
  std::string head;
  std::string body = ReadRequest(fd, head);
  {
    std::lock_guard<std::mutex> guard(lock_);
    lastHead_ = head;
  }
  std::string method = head.substr(0, head.find(' '));
  size_t pathStart = head.find(' ') + 1;
  std::string path = head.substr(pathStart, head.find(' ', pathStart) - pathStart);
  std::string type = "text/html";
  std::string content;
  if (path == "/close") {
    close(fd);
    return;
  }
  if (path == "/garbage") {
    SendAllBytes(fd, "nonsense without a status\r\n\r\n");
    close(fd);
    return;
  }
  if (path == "/slow") std::this_thread::sleep_for(std::chrono::seconds(2));
  if (path == "/big") {
    type = "application/octet-stream";
    content = BigBody();
  } else if (path == "/image.gif") {
    type = "image/gif";
    content = "GIF89a-image-bytes";
  } else if (path == "/echo") {
    type = "text/plain";
    content = method + " " + body;
  } else {
    content = "<p>page " + path + "</p>";
  }
  std::string answer = "HTTP/1.1 200 OK\r\nContent-Type: " + type +
                       "\r\nConnection: keep-alive\r\nContent-Length: " +
                       std::to_string(content.size()) + "\r\n\r\n";
  if (method != "HEAD") answer += content;
  SendAllBytes(fd, answer);
  close(fd);
}

std::string ExchangeWith(uint16_t port, const std::string& bytes) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  std::string answer;
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      SendAllBytes(fd, bytes)) {
    std::vector<char> buffer(1 << 16);
    for (;;) {
      pollfd entry{fd, POLLIN, 0};
      if (poll(&entry, 1, 30000) <= 0) break;
      ssize_t n = recv(fd, buffer.data(), buffer.size(), 0);
      if (n <= 0) break;
      answer.append(buffer.data(), static_cast<size_t>(n));
    }
  }
  close(fd);
  return answer;
}

bool SplitAnswer(const std::string& bytes, HttpAnswer& answer) {
  size_t lineEnd = bytes.find("\r\n");
  size_t headEnd = bytes.find("\r\n\r\n");
  if (lineEnd == std::string::npos || headEnd == std::string::npos) return false;
  answer.statusLine = bytes.substr(0, lineEnd + 2);
  answer.header = bytes.substr(lineEnd + 2, headEnd + 2 - lineEnd);
  answer.body = bytes.substr(headEnd + 4);
  return true;
}

TestClient::TestClient(gss_cred_id_t credential, std::string serverName, uint16_t port)
    : credential_(credential), serverName_(std::move(serverName)), port_(port) {}

TestClient::~TestClient() { DropContext(); }

void TestClient::DropContext() {
  OM_uint32 minor = 0;
  if (context_ != nullptr) gss_delete_sec_context(&minor, &context_, GSS_C_NO_BUFFER);
  context_ = nullptr;
}

std::string TestClient::PostToken(const std::string& token) {
  std::string message = "POST /velgrade HTTP/1.0\r\nContent-Type: application/x-Velgrade\r\n"
                        "Content-Length: " + std::to_string(token.size()) + "\r\n\r\n" + token;
  return ExchangeWith(port_, message);
}

bool TestClient::Handshake(std::string& error) {
  OM_uint32 minor = 0;
  gss_buffer_desc target{serverName_.size(), const_cast<char*>(serverName_.data())};
  gss_name_t name = GSS_C_NO_NAME;
  if (gss_import_name(&minor, &target, gss_nt_ldap_dn, &name) != 0) {
    error = "import name";
    return false;
  }
  std::string incoming;
  bool ok = false;
  for (int round = 0; round < 4; ++round) {
    gss_buffer_desc input{incoming.size(), incoming.data()};
    gss_buffer_desc output{0, nullptr};
    OM_uint32 major = gss_init_sec_context(&minor, credential_, &context_, name, gss_mech_spkm1, 6,
                                           0, GSS_C_NO_CHANNEL_BINDINGS,
                                           round == 0 ? GSS_C_NO_BUFFER : &input, nullptr, &output,
                                           nullptr, nullptr);
    std::string token(static_cast<char*>(output.value), output.length);
    gss_release_buffer(&minor, &output);
    if (GSS_ERROR(major) || token.empty()) {
      error = "init failed: " + std::to_string(major);
      break;
    }
    HttpAnswer answer;
    std::string raw = PostToken(token);
    if (!SplitAnswer(raw, answer) || answer.statusLine != "HTTP/1.0 200 Velgrade data follows\r\n") {
      error = "unexpected answer: " + raw.substr(0, 1000);
      break;
    }
    if (major == GSS_S_COMPLETE) {
      HttpAnswer empty;
      ok = UnwrapAnswer(raw, empty) && empty.statusLine.empty() && empty.header.empty() &&
           empty.body.empty();
      if (!ok) error = "the handshake did not end in an empty wrapped message";
      break;
    }
    incoming = answer.body;
  }
  gss_release_name(&minor, &name);
  return ok;
}

std::string TestClient::WrapPlain(const std::string& plain, int conf) {
  OM_uint32 minor = 0;
  gss_buffer_desc input{plain.size(), const_cast<char*>(plain.data())};
  gss_buffer_desc output{0, nullptr};
  int state = 0;
  if (gss_wrap(&minor, context_, conf, 0x500040, &input, &state, &output) != 0) return "";
  std::string token(static_cast<char*>(output.value), output.length);
  gss_release_buffer(&minor, &output);
  return token;
}

std::string TestClient::PostWrapped(const std::string& line, const std::string& header,
                                    const std::string& body, int conf) {
  std::string plain;
  vserver::SecureMessage::Build(line, header, body, plain);
  return PostToken(WrapPlain(plain, conf));
}

bool TestClient::UnwrapAnswer(const std::string& raw, HttpAnswer& answer) {
  HttpAnswer outer;
  if (!SplitAnswer(raw, outer) || outer.header.find("application/x-Velgrade") == std::string::npos)
    return false;
  OM_uint32 minor = 0;
  gss_buffer_desc input{outer.body.size(), outer.body.data()};
  gss_buffer_desc output{0, nullptr};
  int conf = 0;
  gss_qop_t qop = 0;
  if (gss_unwrap(&minor, context_, &input, &output, &conf, &qop) != 0) return false;
  std::string_view part1;
  std::string_view part2;
  std::string_view body;
  bool ok = conf != 0 && (qop & 0x1800) != 0 &&
            vserver::SecureMessage::Parse(static_cast<const uint8_t*>(output.value), output.length,
                                          part1, part2, body) ==
                vserver::SecureMessage::ParseResult::kOk;
  if (ok) {
    answer.statusLine.assign(part1);
    answer.header.assign(part2);
    answer.body.assign(body);
  }
  gss_release_buffer(&minor, &output);
  return ok;
}
