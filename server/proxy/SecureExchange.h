#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "server/proxy/AcceptedContexts.h"
#include "server/proxy/GssBuffer.h"
#include "server/proxy/OriginClient.h"
#include "server/proxy/ServerConfig.h"

namespace vserver {

class HttpMessageReader;
class ServerCredential;

// What goes back to a client proxy: head first, then body, then the token.
struct Reply {
  std::string head;
  // The body starts at bodyOffset in body.
  std::string body;
  size_t bodyOffset = 0;
  GssBuffer token;
};

// Where a request arrived: the client's address, and this server's own
// address and port as the client reached them (shown on error pages).
struct Endpoint {
  std::string peerAddress;
  std::string localAddress;
  int localPort = 0;
};

// The protocol between client proxies and this server for one complete
// request: the announcement for plain requests, context establishment for
// INIT tokens, and for WRAP tokens the unwrapped request relayed to the
// origin and its answer wrapped (or sent in the clear where exempt).
// Shared by every worker thread; holds no per-request state.
class SecureExchange {
 public:
  // Keeps references to config, credential, contexts and origin; they must
  // outlive it.
  SecureExchange(const ServerConfig& config, const ServerCredential& credential,
                 AcceptedContexts& contexts, const OriginClient& origin);

  void Answer(const HttpMessageReader& request, const Endpoint& endpoint, Reply& reply) const;

 private:
  void AnswerToken(std::string_view token, const Endpoint& endpoint, Reply& reply) const;
  void AcceptStep(gss_ctx_id_t handle, std::string_view token, const Endpoint& endpoint,
                  Reply& reply) const;
  void RelayWrapped(const std::shared_ptr<AcceptedContexts::Entry>& entry, std::string_view token,
                    const Endpoint& endpoint, Reply& reply) const;
  // Form signing on a wrapped request: checkedHeader receives the header
  // to send on (with the verdict line when one is configured). False when
  // the form is refused; reply then holds the wrapped refusal.
  bool CheckFormSignature(const AcceptedContexts::Entry& entry, std::string_view requestLine,
                          std::string_view header, std::string_view body, const Endpoint& endpoint,
                          Reply& reply, std::string& checkedHeader) const;
  // Relays the request; null on success, otherwise the status of the
  // answer to give instead ("400 Bad Request" for a request no origin may
  // receive, "502 Bad Gateway" when the origin fails) with error filled.
  const char* FetchFromOrigin(std::string_view requestLine, std::string_view header,
                              std::string_view body, HttpMessageReader& response,
                              std::string& error) const;
  // Wraps the origin's answer with the secure message header, status line
  // and header written into the room in front of its body (no copy of the
  // body); falls back to WrapAnswer when the room is too small.
  void WrapInFront(gss_ctx_id_t handle, const std::string& statusLine, const std::string& header,
                   HttpMessageReader& response, const Endpoint& endpoint, Reply& reply) const;
  void WrapMessage(gss_ctx_id_t handle, std::string_view message, const Endpoint& endpoint,
                   Reply& reply) const;
  void WrapAnswer(gss_ctx_id_t handle, std::string_view statusLine, std::string_view header,
                  std::string_view body, const Endpoint& endpoint, Reply& reply) const;
  void SecurityError(const std::string& reason, bool withIdentity, const Endpoint& endpoint,
                     Reply& reply) const;

  const ServerConfig& config_;
  const ServerCredential& credential_;
  AcceptedContexts& contexts_;
  const OriginClient& origin_;
  uint32_t qop_;
  std::string identityLine_;
};

}  // namespace vserver
