#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "session/GssApi.h"

// A small origin web server on 127.0.0.1 for the server tests. It answers
// each connection on its own thread, by path:
//   /big          10 MiB of patterned bytes, application/octet-stream
//   /image.gif    a GIF image
//   /echo         text/plain: the method, a blank and the request body
//   /close        closes without an answer
//   /garbage      a line that is not HTTP
//   /slow         waits two seconds before answering
//   anything else text/html "<p>page PATH</p>"
// The head of the last request is kept.
class TestOrigin {
 public:
  TestOrigin();
  ~TestOrigin();
  uint16_t GetPort() const { return port_; }
  std::string LastRequestHead();
  static std::string BigBody();

 private:
  void AcceptLoop();
  void Answer(int fd);

  int listener_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
  std::mutex lock_;
  std::vector<std::thread> handlers_;
  std::string lastHead_;
};

// One HTTP exchange on a fresh connection: sends bytes, reads until close.
std::string ExchangeWith(uint16_t port, const std::string& bytes);

// The parts of an HTTP answer.
struct HttpAnswer {
  std::string statusLine;  // with its line end
  std::string header;      // with the closing empty line
  std::string body;
};
bool SplitAnswer(const std::string& bytes, HttpAnswer& answer);

// A client proxy reduced to the protocol: an initiating credential, a
// security context with one server, token messages over HTTP.
class TestClient {
 public:
  // Keeps credential (owned by the caller).
  TestClient(gss_cred_id_t credential, std::string serverName, uint16_t port);
  ~TestClient();

  // Runs INIT / ACCEPT / INIT and checks the empty WRAP that ends it.
  bool Handshake(std::string& error);
  // Wraps a request (line, header, body) with the given confidentiality,
  // posts it and returns the raw answer.
  std::string PostWrapped(const std::string& line, const std::string& header,
                          const std::string& body, int conf = 1);
  // Posts a raw token; the raw answer.
  std::string PostToken(const std::string& token);
  // Wraps a plaintext as is; empty on failure.
  std::string WrapPlain(const std::string& plain, int conf = 1);
  // Unwraps the token in a token answer into its three parts; false when the
  // answer is not a token message or does not unwrap with full protection.
  bool UnwrapAnswer(const std::string& raw, HttpAnswer& answer);
  void DropContext();
  gss_ctx_id_t GetContext() const { return context_; }
  void SetPort(uint16_t port) { port_ = port; }

 private:
  gss_cred_id_t credential_;
  std::string serverName_;
  uint16_t port_;
  gss_ctx_id_t context_ = nullptr;
};
