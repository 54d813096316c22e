#include "server/proxy/SecureExchange.h"

#include <cstring>

#include "server/proxy/FormSignatureCheck.h"
#include "server/proxy/HttpHeader.h"
#include "server/proxy/HttpMessageReader.h"
#include "server/proxy/RequestClassifier.h"
#include "server/proxy/SecureMessage.h"
#include "server/proxy/ServerCredential.h"
#include "server/proxy/ServerLog.h"
#include "server/proxy/ServerPages.h"
#include "session/CvsApi.h"

namespace vserver {

namespace {

constexpr const char* kUnexpectedType = "Unexpected security token type received.";
constexpr const char* kUnrecognizedType = "Unrecognized or unexpected security data type received.";
constexpr const char* kEmptyToken = "Empty security data received.";
constexpr const char* kTooManyContexts =
    "The server has too many secure sessions open; please try again later.";
constexpr const char* kImproperProtection =
    "Received security token did not use proper security facilities.";

const char* TokenTypeName(int type) {
  switch (type) {
    case CVS_TOKEN_INIT: return "INIT";
    case CVS_TOKEN_ACCEPT: return "ACCEPT";
    case CVS_TOKEN_ERROR: return "ERROR";
    case CVS_TOKEN_WRAP: return "WRAP";
    default: return "*Unknown*";
  }
}

// Room kept in front of an origin body for the secure message header, the
// status line and the header lines, beyond the configured header limit.
constexpr size_t kFrontRoomExtra = 512;

gss_buffer_desc BufferOf(std::string_view text) {
  return gss_buffer_desc{text.size(), const_cast<char*>(text.data())};
}

std::string DisplayName(gss_name_t name) {
  if (name == GSS_C_NO_NAME) return std::string();
  OM_uint32 minor = 0;
  GssBuffer text;
  if (gss_display_name(&minor, name, text.Out(), nullptr) != 0) return std::string();
  return std::string(text.View());
}

// Releases a name the library returned when the scope ends.
class NameGuard {
 public:
  explicit NameGuard(gss_name_t& name) : name_(name) {}
  ~NameGuard() {
    OM_uint32 minor = 0;
    if (name_ != GSS_C_NO_NAME) gss_release_name(&minor, &name_);
  }
  NameGuard(const NameGuard&) = delete;
  NameGuard& operator=(const NameGuard&) = delete;

 private:
  gss_name_t& name_;
};

}  // namespace

SecureExchange::SecureExchange(const ServerConfig& config, const ServerCredential& credential,
                               AcceptedContexts& contexts, const OriginClient& origin)
    : config_(config),
      credential_(credential),
      contexts_(contexts),
      origin_(origin),
      qop_(RequestClassifier::QopFor(config.encryptWith, config.signingKey)),
      identityLine_(ServerPages::IdentityLine(credential.GetName(), config.secureURL)) {}

void SecureExchange::Answer(const HttpMessageReader& request, const Endpoint& endpoint,
                            Reply& reply) const {
  if (!RequestClassifier::IsTokenMessage(request.FirstLine(), request.Header())) {
    ServerLog::Detail("Announcing the secure site to <%s> for %.*s", endpoint.peerAddress.c_str(),
                      static_cast<int>(request.FirstLine().find_first_of("\r\n")),
                      request.FirstLine().c_str());
    reply.head = ServerPages::Announcement(identityLine_, config_.insecureRedirectURL);
    return;
  }
  AnswerToken(request.Body(), endpoint, reply);
}

void SecureExchange::AnswerToken(std::string_view token, const Endpoint& endpoint,
                                 Reply& reply) const {
  if (token.empty()) return SecurityError(kEmptyToken, false, endpoint, reply);
  OM_uint32 minor = 0;
  int type = 0;
  gss_ctx_id_t handle = GSS_C_NO_CONTEXT;
  gss_buffer_desc input = BufferOf(token);
  OM_uint32 major = spkm_parse_token(&minor, &input, &type, &handle);
  ServerLog::Detail("Received %s token (type %d) of length %zu from <%s>", TokenTypeName(type),
                    type, token.size(), endpoint.peerAddress.c_str());
  if (major == GSS_S_NO_CONTEXT) {
    if (type == CVS_TOKEN_INIT) return AcceptStep(GSS_C_NO_CONTEXT, token, endpoint, reply);
    if (type == CVS_TOKEN_ACCEPT) return SecurityError(kUnexpectedType, false, endpoint, reply);
    // The client holds a context this server no longer knows (a restart,
    // an idle time-out): the identity line lets it build a new one.
    return SecurityError(GssStatusText(major, minor), true, endpoint, reply);
  }
  if (GSS_ERROR(major)) return SecurityError(GssStatusText(major, minor), false, endpoint, reply);
  if (type == CVS_TOKEN_INIT) return AcceptStep(handle, token, endpoint, reply);
  if (type == CVS_TOKEN_ACCEPT) return SecurityError(kUnexpectedType, false, endpoint, reply);
  if (type != CVS_TOKEN_WRAP) return SecurityError(kUnrecognizedType, false, endpoint, reply);
  std::shared_ptr<AcceptedContexts::Entry> entry = contexts_.Find(handle);
  if (!entry) {
    return SecurityError(GssStatusText(GSS_S_NO_CONTEXT, CVS_MINOR_UNKNOWN_CONTEXT), true,
                         endpoint, reply);
  }
  if (!entry->established) return SecurityError(kUnexpectedType, false, endpoint, reply);
  RelayWrapped(entry, token, endpoint, reply);
}

void SecureExchange::AcceptStep(gss_ctx_id_t handle, std::string_view token,
                                const Endpoint& endpoint, Reply& reply) const {
  std::shared_ptr<AcceptedContexts::Entry> entry;
  if (handle == GSS_C_NO_CONTEXT && contexts_.Size() >= config_.maxContexts) {
    ServerLog::Write("Security context from <%s> refused: %u contexts are open",
                     endpoint.peerAddress.c_str(), config_.maxContexts);
    return SecurityError(kTooManyContexts, false, endpoint, reply);
  }
  if (handle != GSS_C_NO_CONTEXT) {
    entry = contexts_.Find(handle);
    if (!entry || entry->established) return SecurityError(kUnexpectedType, false, endpoint, reply);
  }
  OM_uint32 minor = 0;
  gss_ctx_id_t context = handle;
  gss_buffer_desc input = BufferOf(token);
  gss_name_t source = GSS_C_NO_NAME;
  NameGuard sourceGuard(source);
  GssBuffer output;
  OM_uint32 major = gss_accept_sec_context(&minor, &context, credential_.Get(), &input,
                                           GSS_C_NO_CHANNEL_BINDINGS, &source, nullptr,
                                           output.Out(), nullptr, nullptr, nullptr);
  if (GSS_ERROR(major)) {
    std::string text = GssStatusText(major, minor);
    ServerLog::Write("Security context from <%s> refused: %s", endpoint.peerAddress.c_str(),
                     text.c_str());
    if (handle != GSS_C_NO_CONTEXT) {
      contexts_.Remove(handle);
    } else if (context != GSS_C_NO_CONTEXT) {
      OM_uint32 ignored = 0;
      gss_delete_sec_context(&ignored, &context, GSS_C_NO_BUFFER);
    }
    return SecurityError(text, false, endpoint, reply);
  }
  if (!entry) {
    entry = std::make_shared<AcceptedContexts::Entry>(context);
    if (!contexts_.Add(entry)) return SecurityError(kUnexpectedType, false, endpoint, reply);
  }
  if (major == GSS_S_COMPLETE) {
    entry->peerName = DisplayName(source);
    entry->established = true;
    ServerLog::Write("Security context established with <%s> at <%s>", entry->peerName.c_str(),
                     endpoint.peerAddress.c_str());
  }
  if (output.Size() != 0) {
    reply.head = ServerPages::TokenHead(output.Size());
    reply.token = std::move(output);
    return;
  }
  if (major != GSS_S_COMPLETE) {
    contexts_.Remove(context);
    return SecurityError(kUnexpectedType, false, endpoint, reply);
  }
  WrapAnswer(context, std::string_view(), std::string_view(), std::string_view(), endpoint, reply);
}

void SecureExchange::RelayWrapped(const std::shared_ptr<AcceptedContexts::Entry>& entry,
                                  std::string_view token, const Endpoint& endpoint,
                                  Reply& reply) const {
  OM_uint32 minor = 0;
  gss_buffer_desc input = BufferOf(token);
  GssBuffer plain;
  int conf = 0;
  gss_qop_t qop = 0;
  OM_uint32 major = gss_unwrap(&minor, entry->handle, &input, plain.Out(), &conf, &qop);
  if (GSS_ERROR(major)) {
    std::string text = GssStatusText(major, minor);
    ServerLog::Write("Wrapped request from <%s> refused: %s", endpoint.peerAddress.c_str(),
                     text.c_str());
    return SecurityError(text, false, endpoint, reply);
  }
  if (!RequestClassifier::HasProperProtection(conf, qop))
    return SecurityError(kImproperProtection, false, endpoint, reply);
  std::string_view requestLine;
  std::string_view header;
  std::string_view body;
  SecureMessage::ParseResult parsed =
      SecureMessage::Parse(plain.Data(), plain.Size(), requestLine, header, body);
  if (parsed != SecureMessage::ParseResult::kOk)
    return SecurityError(SecureMessage::ErrorText(parsed), false, endpoint, reply);
  std::string checkedHeader;
  if (!CheckFormSignature(*entry, requestLine, header, body, endpoint, reply, checkedHeader)) return;
  header = checkedHeader;

  bool headOnly = HttpHeader::StartsWithNoCase(requestLine, "HEAD ");
  HttpMessageReader response(HttpMessageReader::Kind::kResponse, config_.maxHeaderSize,
                             config_.maxResponseBody);
  response.SetAnswersHead(headOnly);
  response.SetBodyFrontRoom(SecureMessage::kHeaderLength + config_.maxHeaderSize + kFrontRoomExtra);
  std::string error;
  const char* failure = FetchFromOrigin(requestLine, header, body, response, error);
  if (failure != nullptr) {
    std::string statusLine;
    std::string errorHeader;
    std::string errorBody;
    ServerPages::GatewayError(failure, error, statusLine, errorHeader, errorBody);
    if (headOnly) errorBody.clear();
    return WrapAnswer(entry->handle, statusLine, errorHeader, errorBody, endpoint, reply);
  }

  bool logoff = RequestClassifier::MatchesPath(requestLine, config_.logoffPaths);
  bool disconnect = RequestClassifier::MatchesPath(requestLine, config_.disconnectPaths);
  std::string extra;
  if (logoff) extra += "Corvask-Logoff: yes\r\n";
  if (disconnect) extra += "Corvask-Disconnect: yes\r\n";
  if (RequestClassifier::MatchesPath(requestLine, config_.signDataPaths)) {
    extra += "Corvask-SignData: yes\r\n";
    entry->pageMarks.Add(FormSignatureCheck::MarkOf(response.Body()));
  }
  std::string statusLine;
  std::string outHeader;
  RequestClassifier::ClientResponseHead(response.FirstLine(), response.Header(),
                                        response.Body().size(), headOnly, extra, statusLine,
                                        outHeader);
  std::string contentType;
  bool hasType = HttpHeader::GetField(response.Header(), "Content-Type", contentType);
  if (!RequestClassifier::MustWrap(hasType ? &contentType : nullptr, requestLine, config_)) {
    ServerLog::Detail("Answer of type %s to <%s> travels in the clear", contentType.c_str(),
                      endpoint.peerAddress.c_str());
    reply.head = statusLine + outHeader;
    reply.body = response.TakeBody(reply.bodyOffset);
  } else {
    WrapInFront(entry->handle, statusLine, outHeader, response, endpoint, reply);
  }
  if (logoff || disconnect) {
    ServerLog::Write("%s <%s> at <%s>", logoff ? "Logging off" : "Disconnecting",
                     entry->peerName.c_str(), endpoint.peerAddress.c_str());
    contexts_.Remove(entry->handle);
  }
}

bool SecureExchange::CheckFormSignature(const AcceptedContexts::Entry& entry, std::string_view requestLine,
                                        std::string_view header, std::string_view body,
                                        const Endpoint& endpoint, Reply& reply,
                                        std::string& checkedHeader) const {
  bool reported = !config_.signatureHeader.empty();
  bool isPost = HttpHeader::StartsWithNoCase(requestLine, "POST ");
  if ((!reported && !config_.requireValidSignature) || !isPost) {
    // A verdict line sent by the client itself never reaches the web site.
    checkedHeader = reported ? HttpHeader::Without(header, {config_.signatureHeader}) : std::string(header);
    return true;
  }
  std::string reason;
  FormSignatureCheck::Verdict verdict = FormSignatureCheck::Check(body, entry.handle, entry.pageMarks, reason);
  bool signable = body.find("CorvaskSigClient") != std::string_view::npos;
  if (verdict != FormSignatureCheck::Verdict::kValid && signable) {
    ServerLog::Write("Signed form from <%s> at <%s> is %s: %s", entry.peerName.c_str(),
                     endpoint.peerAddress.c_str(), FormSignatureCheck::Name(verdict), reason.c_str());
  }
  if (config_.requireValidSignature && signable && verdict != FormSignatureCheck::Verdict::kValid) {
    std::string statusLine;
    std::string errorHeader;
    std::string errorBody;
    ServerPages::GatewayError("403 Forbidden", "The signed form was not accepted: " + reason + ".", statusLine,
                              errorHeader, errorBody);
    WrapAnswer(entry.handle, statusLine, errorHeader, errorBody, endpoint, reply);
    return false;
  }
  checkedHeader = reported ? FormSignatureCheck::WithVerdict(header, config_.signatureHeader, verdict)
                           : std::string(header);
  return true;
}

const char* SecureExchange::FetchFromOrigin(std::string_view requestLine, std::string_view header,
                                            std::string_view body, HttpMessageReader& response,
                                            std::string& error) const {
  std::string head;
  if (!RequestClassifier::OriginRequestHead(requestLine, header, body.size(), head, error))
    return "400 Bad Request";
  if (!origin_.Fetch(head, body, response, error)) {
    ServerLog::Write("The web site did not answer %.*s: %s",
                     static_cast<int>(head.find_first_of("\r\n")), head.c_str(), error.c_str());
    error = "The protected web site did not answer properly (" + error + ").";
    return "502 Bad Gateway";
  }
  return nullptr;
}

void SecureExchange::WrapInFront(gss_ctx_id_t handle, const std::string& statusLine,
                                 const std::string& header, HttpMessageReader& response,
                                 const Endpoint& endpoint, Reply& reply) const {
  std::string_view body = response.Body();
  size_t prefix = SecureMessage::kHeaderLength + statusLine.size() + header.size();
  char* front = response.FrontOfBody(prefix);
  if (front == nullptr) return WrapAnswer(handle, statusLine, header, body, endpoint, reply);
  SecureMessage::WriteHeader(statusLine.size(), header.size(), front);
  std::memcpy(front + SecureMessage::kHeaderLength, statusLine.data(), statusLine.size());
  std::memcpy(front + SecureMessage::kHeaderLength + statusLine.size(), header.data(), header.size());
  WrapMessage(handle, std::string_view(front, prefix + body.size()), endpoint, reply);
}

void SecureExchange::WrapAnswer(gss_ctx_id_t handle, std::string_view statusLine,
                                std::string_view header, std::string_view body,
                                const Endpoint& endpoint, Reply& reply) const {
  std::string message;
  if (!SecureMessage::Build(statusLine, header, body, message))
    return SecurityError("The answer is too large to protect.", false, endpoint, reply);
  WrapMessage(handle, message, endpoint, reply);
}

void SecureExchange::WrapMessage(gss_ctx_id_t handle, std::string_view message,
                                 const Endpoint& endpoint, Reply& reply) const {
  OM_uint32 minor = 0;
  gss_buffer_desc input = BufferOf(message);
  int conf = 0;
  reply.token.Release();
  OM_uint32 major = gss_wrap(&minor, handle, 1, qop_, &input, &conf, reply.token.Out());
  if (GSS_ERROR(major)) {
    reply.token.Release();
    return SecurityError(GssStatusText(major, minor), false, endpoint, reply);
  }
  if (conf == 0) ServerLog::Write("Warning: gss_wrap() encryption state not what was requested.");
  reply.head = ServerPages::TokenHead(reply.token.Size());
  reply.body.clear();
}

void SecureExchange::SecurityError(const std::string& reason, bool withIdentity,
                                   const Endpoint& endpoint, Reply& reply) const {
  ServerLog::Detail("Security error page for <%s>: %s", endpoint.peerAddress.c_str(),
                    reason.c_str());
  reply.token.Release();
  reply.body.clear();
  reply.head = ServerPages::SecurityError(reason, withIdentity ? identityLine_ : std::string(),
                                          endpoint.localAddress, endpoint.localPort);
}

}  // namespace vserver
