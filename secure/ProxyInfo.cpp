#include "secure/ProxyInfo.h"

#include <cstring>
#include <new>
#include <strings.h>
#include <utility>

#include "common/Base64.h"
#include "engine/DNSCache.h"
#include "engine/HeaderFields.h"
#include "engine/UrlHostPort.h"
#include "secure/ErrorPages.h"
#include "secure/FormSigning.h"
#include "secure/ProtectionLevel.h"
#include "secure/SecureSiteTable.h"
#include "secure/SecurityContext.h"
#include "secure/SecurityContextTable.h"
#include "session/CvsApi.h"
#include "session/GssApi.h"

using namespace winsock;

namespace {

// While the browser side holds this much of an answer not yet sent, the
// server side is not read: the origin then waits instead of the proxy's
// memory filling up.
constexpr size_t kRelayHighWater = 1024 * 1024;

bool StartsWithNoCase(const GString& text, const char* prefix) {
  return strncasecmp(text.Text(), prefix, std::strlen(prefix)) == 0;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// A wrapped answer must have had its integrity checked by one of these.
constexpr uint32_t kQopIntegrityA = 0x0800;
constexpr uint32_t kQopIntegrityB = 0x1000;

GString EncodeText(const GString& text) { return Base64Encode(text.Text(), text.Size()); }

Transaction* CreateAccepted(Velgrade& engine, SOCKET socket, const sockaddr_in& peer) {
  return new (std::nothrow) ProxyInfo(engine, socket, peer);
}

Transaction* CreateInternal(Velgrade& engine, const char* requestLine, const BinData& body,
                            CompletionRoutine completion, void* argument, int skipSiteLookup) {
  return new (std::nothrow) ProxyInfo(engine, requestLine, body, completion, argument, skipSiteLookup);
}

}  // namespace

ProxyInfo::ProxyInfo(Velgrade& engine, SOCKET socket, const sockaddr_in& peer)
    : clientInfo_(EncodeText("ProductVersion=" + engine.GetProductVersion())),
      in_(new HttpConnection(&engine, socket, peer)),
      engine_(engine) {
  ErrorPages::ProxyKind();
}

ProxyInfo::ProxyInfo(Velgrade& engine, const char* requestLine, const BinData& body,
                     CompletionRoutine completion, void* argument, int skipSiteLookup)
    : clientInfo_(EncodeText("version=" + engine.GetProductVersion())),
      in_(new HttpConnection(&engine, requestLine, body)),
      completion_(completion),
      completionArg_(argument),
      engine_(engine) {
  ErrorPages::ProxyKind();
  if (engine.GetSepByProxy()) {
    in_->Header().Format("%s %ld\r\n%s %s\r\n\r\n", "Content-Length:", static_cast<long>(body.GetLength()),
                         "Content-Type:", "application/x-Corvask-SEP");
  }
  ProcessClientRequest(skipSiteLookup);
}

ProxyInfo::~ProxyInfo() {
  delete in_;
  delete out_;
  if (ctx_ != nullptr) ctx_->Release();
}

TransactionFactory ProxyInfo::GetFactory() {
  TransactionFactory factory;
  factory.createAccepted = CreateAccepted;
  factory.createInternal = CreateInternal;
  return factory;
}

bool ProxyInfo::AddToFdSets(SOCKET& largest, FdSet& read, FdSet& write, FdSet& except) {
  if (in_->IsInternal() && in_->GetState() == HttpConnection::kSendingResponse) {
    if (completion_ != nullptr) completion_(in_->FirstLine() + in_->Header(), in_->Data(), completionArg_);
    return false;
  }
  in_->AddToFdSets(largest, read, write, except);
  bool browserBacklogged = responseMode_ == kRelay && in_->Data().GetLength() >= kRelayHighWater;
  if (out_ != nullptr && !browserBacklogged) out_->AddToFdSets(largest, read, write, except);
  return true;
}

bool ProxyInfo::ProcessStep(const FdSet& read, const FdSet& write, const FdSet& except) {
  GString error;
  if (!in_->Process(read, write, except, error)) return false;
  if (in_->GetState() == HttpConnection::kComplete && out_ == nullptr) {
    engine_.NotifyRequest(in_->FirstLine().Text(), in_->Header().Text(), in_->Data());
    ProcessClientRequest(0);
  }
  return ProcessResponse(read, write, except);
}

void ProxyInfo::ProcessClientRequest(int skipSiteLookup) {
  GString url;
  if (!in_->GetRequestUri(url)) {
    SendBrowserErrorPage(Velgrade::LoadMessage(2068).Text());
    return;
  }
  GString error;
  if (!in_->Downgrade(true, error)) {
    SendBrowserErrorPage(error.Text());
    return;
  }
  in_->StripConnectionHeaders();
  GString host;
  int port = 0;
  if (!ParseHostPort(url, host, port) || host.IsEmpty()) {
    SendBrowserErrorPage(Velgrade::LoadMessage(2069).Text());
    return;
  }
  GString rest;
  if (GetHeaderField(in_->Header(), "Corvask", &rest)) {
    engine_.Log(kLogHttpCommands, "Illegal HTTP header received from client at <%s>: %s%s\n",
                in_->GetPeer().Text(), "Corvask", rest.Text());
    SendBrowserErrorPage(Velgrade::LoadMessage(2070).Text());
    return;
  }
  bool isPost = StartsWithNoCase(in_->FirstLine(), "POST ");
  if (ctx_ == nullptr) ctx_ = FindUsableContext(host, port);
  if (ctx_ == nullptr) {
    SecureSiteTable::SecureSite site;
    if (!skipSiteLookup && SecureSiteTable::FindSecureSite(host, port, site)) {
      GString reason;
      if (!Reauthenticate(site.host, site.port, site.secureUrl, site.serverDn, reason)) {
        SendSecurityErrorPage(reason.Text(), nullptr);
      }
      return;
    }
    if (isPost && completion_ == nullptr && !engine_.ConfirmSubmission(0)) {
      SendHistoryBackPage();
      return;
    }
    OpenServerConnection(true);
    return;
  }
  bool sign = isPost && FormSigning::NeedsSignature(in_->Data());
  // A request sent again on a new context is not asked about twice.
  if (sign && !signingConfirmed_) {
    if (!engine_.ConfirmSubmission(1)) {
      SendHistoryBackPage();
      return;
    }
    signingConfirmed_ = true;
  }
  SendWrappedRequest(sign);
}

SecurityContext* ProxyInfo::FindUsableContext(const GString& host, int port) {
  SecurityContext* found = SecurityContextTable::FindClientContext(host, port);
  // A context whose handshake another transaction is still running cannot
  // wrap yet: this request builds its own instead of failing.
  if (found != nullptr && !found->IsEstablished()) {
    found->Release();
    return nullptr;
  }
  return found;
}

void ProxyInfo::SendWrappedRequest(bool sign) {
  GString command;
  if (!MakeOriginCommand(in_->FirstLine(), command)) {
    SendBrowserErrorPage(Velgrade::LoadMessage(2071).Text());
    return;
  }
  uint32_t qop = ProtectionLevel::QopFor(engine_.GetEncryptAlgorithm().Text(), engine_.IsDsaSigningKey());
  GString header = PrependHeaderField(in_->Header(), "Corvask-Client-IP:", engine_.GetOwnAddress().Text());
  header = PrependHeaderField(header, "Corvask-Client-Info:", clientInfo_.Text());
  // The signed body is built aside: a request sent again after a new
  // handshake is signed afresh, not twice.
  BinData signedBody;
  if (sign) {
    GString text;
    FormSigning::TrimmedText(in_->Data(), text);
    GString signature;
    SignData(text.Text(), text.Size(), signature, true);
    signedBody = FormSigning::SignedBody(text, signature);
    header = FormSigning::WithContentLength(header, signedBody.GetLength());
  }
  BinData token;
  GString reason;
  if (!ctx_->Wrap(command, header, sign ? signedBody : in_->Data(), 1, qop, token, reason)) {
    SendSecurityErrorPage(reason.Text(), nullptr);
    return;
  }
  OpenServerConnection(false);
  if (out_ != nullptr) SendTokenToServer(token, CVS_TOKEN_WRAP);
}

void ProxyInfo::SendTokenToServer(const BinData& token, int type) {
  out_->SendToken(ctx_->GetCommand().Text(), token, type, -2);
}

bool ProxyInfo::Reauthenticate(const GString& host, int port, const GString& secureUrl, const GString& serverDn,
                               GString& errorText) {
  if (ctx_ != nullptr) {
    engine_.Log(kLogContexts, "Deleting old context and re-authenticating to secure site at <%s>\n",
                out_ != nullptr ? out_->GetPeer().Text() : host.Text());
    SecurityContextTable::RemoveContext(ctx_);
  }
  if (!engine_.EnsureSignedOn()) {
    errorText = Velgrade::LoadMessage(2145);
    return false;
  }
  GString command = BuildContextCommand(secureUrl, engine_.GetChainProxy(nullptr), host, port);
  ctx_ = new (std::nothrow) SecurityContext(serverDn, command);
  if (ctx_ == nullptr) {
    errorText = Velgrade::LoadMessage(2074);
    return false;
  }
  ctx_->SetSite(host, port);
  BinData token;
  GString reason;
  if (!ctx_->Init(BinData(), token, reason)) {
    errorText = Velgrade::LoadMessage(2073, reason.Text());
    return false;
  }
  DeleteServerSide();
  OpenServerConnection(false);
  if (out_ != nullptr) {
    responseMode_ = kUndecided;
    SendTokenToServer(token, CVS_TOKEN_INIT);
  } else {
    SecurityContextTable::RemoveContext(ctx_);
  }
  return true;
}

GString ProxyInfo::BuildContextCommand(const GString& secureUrl, bool throughChainProxy, const GString& host,
                                       int port) {
  GString target;
  int scheme = secureUrl.Find("://");
  if (throughChainProxy) {
    if (scheme >= 0) {
      target = secureUrl;
    } else {
      target = "http://" + host;
      if (port != 80) {
        GString number;
        number.Format(":%d", port);
        target += number;
      }
      target += secureUrl;
    }
  } else if (scheme >= 0) {
    int slash = secureUrl.Find('/', scheme + 3);
    target = slash >= 0 ? secureUrl.Mid(slash) : secureUrl.Mid(scheme + 3);
  } else {
    target = secureUrl;
  }
  return "POST " + target + " HTTP/1.0\r\n";
}

void ProxyInfo::OpenServerConnection(bool copyRequest) {
  sockaddr_in address{};
  GString command;
  if (engine_.GetChainProxy(&address)) {
    command = in_->FirstLine();
  } else {
    GString url;
    GString host;
    int port = 0;
    if (!in_->GetRequestUri(url) || !ParseHostPort(url, host, port) || host.IsEmpty()) {
      SendBrowserErrorPage(Velgrade::LoadMessage(2068).Text());
      return;
    }
    if (!MakeOriginCommand(in_->FirstLine(), command)) {
      SendBrowserErrorPage(Velgrade::LoadMessage(2071).Text());
      return;
    }
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    uint32_t resolved = kNoAddress;
    if (!DNSCache::Resolve(host.Text(), resolved)) {
      SendAlertErrorPage(Velgrade::LoadMessage(2078, host.Text()).Text());
      return;
    }
    address.sin_addr.s_addr = resolved;
  }
  GString error;
  out_ = new (std::nothrow) HttpConnection(&engine_, address, error);
  if (out_ == nullptr) {
    SendBrowserErrorPage(Velgrade::LoadMessage(2079).Text());
    return;
  }
  if (out_->GetState() == HttpConnection::kCreateFailed) {
    SendAlertErrorPage(error.Text());
    return;
  }
  out_->FirstLine() = command;
  if (copyRequest) {
    out_->Header() = in_->Header();
    out_->Data() = in_->Data();
  }
}

bool ProxyInfo::ProcessResponse(const FdSet& read, const FdSet& write, const FdSet& except) {
  if (in_->GetState() == HttpConnection::kResponseSent && out_ == nullptr) return false;
  if (out_ == nullptr) return true;
  GString error;
  if (!out_->Process(read, write, except, error)) {
    if (responseMode_ == kRelay) {
      // Part of the answer has gone to the browser already: a page now would
      // be mixed into it. The browser gets what arrived, then the close.
      DeleteServerSide();
      return in_->GetState() != HttpConnection::kResponseSent;
    }
    FailServerSide(error);
    return true;
  }
  // An internal request's completion must not take half an answer for a
  // whole one; a browser gets what arrived, as the server sent it.
  if (in_->IsInternal() && out_->IsTruncated()) {
    FailServerSide(error);
    return true;
  }
  if (out_->GetState() >= HttpConnection::kHeaderComplete && responseMode_ == kUndecided) {
    return DecideResponseMode();
  }
  if (responseMode_ == kRelay) return RelayResponse();
  if (responseMode_ == kSecure && out_->GetState() == HttpConnection::kComplete) {
    return HandleServerResponse();
  }
  return true;
}

void ProxyInfo::FailServerSide(const GString& error) {
  // A handshake cut short leaves a context that can never wrap: drop it, so
  // the next request starts a new one.
  if (ctx_ != nullptr && !ctx_->IsEstablished()) SecurityContextTable::RemoveContext(ctx_);
  SendAlertErrorPage((Velgrade::LoadMessage(2080) + error).Text());
}

bool ProxyInfo::DecideResponseMode() {
  sniffPending_ = 1;
  GString error;
  if (out_->FirstLine().IsEmpty() && out_->Header().IsEmpty() && out_->Data().IsEmpty()) {
    // The server closed without answering at all.
    FailServerSide(error);
    return true;
  }
  if (!in_->IsSimpleRequest() && !out_->Downgrade(false, error)) {
    SendAlertErrorPage(error.Text());
    return true;
  }
  GString contentType;
  if (GetHeaderField(out_->Header(), "Content-Type:", &contentType)) {
    bool secure = in_->IsInternal() || strcasecmp(contentType.Text(), "application/x-Velgrade") == 0 ||
                  GetHeaderField(out_->Header(), "Corvask-ID:", nullptr) ||
                  (ctx_ != nullptr && StartsWithNoCase(contentType, "text/"));
    responseMode_ = secure ? kSecure : kRelay;
  } else {
    responseMode_ = ctx_ != nullptr ? kSecure : kRelay;
  }
  if (responseMode_ != kRelay) return true;
  if (!PassesImageCheck(contentType)) return false;
  in_->FirstLine() = out_->FirstLine();
  in_->Header() = out_->Header();
  in_->Data().SetLength(0);
  MoveBodyToBrowser();
  in_->SetState(HttpConnection::kSendingResponse);
  return true;
}

bool ProxyInfo::PassesImageCheck(const GString& contentType) {
  if (ctx_ == nullptr || !sniffPending_ || out_->Data().IsEmpty()) return true;
  if (!SniffImage(out_->Data(), contentType)) {
    DeleteServerSide();
    in_->SetState(HttpConnection::kResponseSent);
    engine_.Log(kLogHttpCommands, "Illegal data received for content-type: %s\n", contentType.Text());
    return false;
  }
  sniffPending_ = 0;
  return true;
}

bool ProxyInfo::RelayResponse() {
  int state = out_->GetState();
  if ((state == HttpConnection::kReadingBody || state == HttpConnection::kComplete) &&
      !out_->Data().IsEmpty()) {
    GString contentType;
    GetHeaderField(in_->Header(), "Content-Type:", &contentType);
    if (!PassesImageCheck(contentType)) return false;
    MoveBodyToBrowser();
    in_->SetState(HttpConnection::kSendingResponse);
  }
  if (out_->GetState() == HttpConnection::kComplete && out_->Data().IsEmpty()) {
    DeleteServerSide();
    if (in_->GetState() == HttpConnection::kResponseSent) return false;
  }
  return true;
}

void ProxyInfo::MoveBodyToBrowser() {
  BinData& from = out_->Data();
  BinData& to = in_->Data();
  if (to.IsEmpty()) {
    to = std::move(from);
  } else {
    size_t room = HttpConnection::kBodyLimit - to.GetLength();
    size_t count = from.GetLength() < room ? from.GetLength() : room;
    if (to.Append(from.GetData(), count) == 0) from.RemoveFirst(count);
  }
  in_->SetContentLength(static_cast<long>(to.GetLength()));
}

bool ProxyInfo::HandleServerResponse() {
  GString contentType;
  bool typed = GetHeaderField(out_->Header(), "Content-Type:", &contentType);
  GString reason;
  if (typed && strcasecmp(contentType.Text(), "application/x-Velgrade") == 0) {
    BinData token = std::move(out_->Data());
    GString peer = out_->GetPeer();
    if (!HandleReceivedToken(token, peer, reason, nullptr)) SendSecurityErrorPage(reason.Text(), nullptr);
    return true;
  }
  GString announcement;
  if (typed && GetHeaderField(out_->Header(), "Corvask-ID:", &announcement)) {
    FollowAnnouncement(announcement);
    return true;
  }
  if (ctx_ != nullptr && !out_->Data().IsEmpty() && StartsWithNoCase(contentType, "text/")) {
    engine_.Log(kLogContexts, "Text content received on secure channel from <%s> - deleting security context.\n",
                out_->GetPeer().Text());
    SecurityContextTable::RemoveContext(ctx_);
    const BinData& body = out_->Data();
    engine_.ShowServerError(GString(reinterpret_cast<const char*>(body.GetData()), body.GetLength()));
    in_->SetState(HttpConnection::kResponseSent);
    DeleteServerSide();
    return false;
  }
  in_->FirstLine() = out_->FirstLine();
  in_->Header() = out_->Header();
  in_->Data() = std::move(out_->Data());
  in_->SetContentLength(static_cast<long>(in_->Data().GetLength()));
  in_->SetState(HttpConnection::kSendingResponse);
  DeleteServerSide();
  return true;
}

void ProxyInfo::FollowAnnouncement(const GString& announcement) {
  GString encoded = announcement;
  GString secureUrl;
  int blank = 0;
  while (blank < encoded.GetLength() && !IsBlank(encoded.GetAt(blank))) ++blank;
  if (blank < encoded.GetLength()) {
    secureUrl = encoded.Mid(blank);
    secureUrl.Trim();
    encoded = encoded.Left(blank);
  }
  BinData decoded;
  GString serverDn;
  if (Base64Decode(encoded, decoded)) {
    serverDn = GString(reinterpret_cast<const char*>(decoded.GetData()), decoded.GetLength());
  }
  if (serverDn.IsEmpty() || serverDn.GetLength() != static_cast<int>(std::strlen(serverDn.Text())) ||
      !engine_.CheckServerDN(serverDn)) {
    SendSecurityErrorPage(Velgrade::LoadMessage(2072, serverDn.Text()).Text(), nullptr);
    return;
  }
  GString url;
  GString host;
  int port = 0;
  if (!in_->GetRequestUri(url) || !ParseHostPort(url, host, port) || host.IsEmpty()) {
    SendBrowserErrorPage(Velgrade::LoadMessage(2069).Text());
    return;
  }
  if (secureUrl.IsEmpty()) secureUrl = url;
  SecureSiteTable::RememberSecureSite(host, port, secureUrl, serverDn);
  GString reason;
  if (!Reauthenticate(host, port, secureUrl, serverDn, reason)) SendSecurityErrorPage(reason.Text(), nullptr);
}

bool ProxyInfo::HandleReceivedToken(const BinData& token, const GString& peer, GString& errorText,
                                    int* oldContext) {
  if (token.IsEmpty()) {
    errorText = Velgrade::LoadMessage(2086);
    return false;
  }
  if (oldContext != nullptr) *oldContext = 0;
  OM_uint32 minor = 0;
  int type = 0;
  gss_ctx_id_t handle = GSS_C_NO_CONTEXT;
  gss_buffer_desc input;
  input.length = token.GetLength();
  input.value = const_cast<uint8_t*>(token.GetData());
  OM_uint32 major = spkm_parse_token(&minor, &input, &type, &handle);
  if (major != GSS_S_COMPLETE) {
    bool unknownContext = major == GSS_S_NO_CONTEXT;
    if (unknownContext && oldContext != nullptr) *oldContext = 1;
    if (!unknownContext || (type != CVS_TOKEN_INIT && type != CVS_TOKEN_ACCEPT)) {
      errorText = Velgrade::GetGssStatusText(major, minor);
      return false;
    }
  }
  if (handle != GSS_C_NO_CONTEXT) {
    SecurityContext* found = SecurityContextTable::FindContextByHandle(handle);
    if (ctx_ == nullptr) {
      ctx_ = found;
    } else if (found != nullptr) {
      found->Release();
      if (found != ctx_) {
        errorText = Velgrade::LoadMessage(2087);
        return false;
      }
    }
  }
  engine_.Log(kLogTokens, "Received %s token (type %d) of length %ld from <%s>\n", Velgrade::TokenTypeName(type),
              type, static_cast<long>(token.GetLength()), peer.Text());
  if (type == CVS_TOKEN_INIT) {
    errorText = Velgrade::LoadMessage(2081);
    return false;
  }
  if (ctx_ == nullptr && (type == CVS_TOKEN_ACCEPT || type == CVS_TOKEN_WRAP)) {
    errorText = Velgrade::LoadMessage(2087);
    return false;
  }
  if (type == CVS_TOKEN_ACCEPT) return HandleAcceptToken(token, errorText);
  if (type == CVS_TOKEN_WRAP) return HandleWrapToken(token, errorText);
  errorText = Velgrade::LoadMessage(2088);
  return false;
}

bool ProxyInfo::HandleAcceptToken(const BinData& token, GString& errorText) {
  BinData next;
  if (!ctx_->Init(token, next, errorText)) return false;
  DeleteServerSide();
  OpenServerConnection(false);
  if (out_ == nullptr) {
    errorText = Velgrade::LoadMessage(2082);
    SecurityContextTable::RemoveContext(ctx_);
    return false;
  }
  responseMode_ = kUndecided;
  SendTokenToServer(next, CVS_TOKEN_INIT);
  return true;
}

bool ProxyInfo::HandleWrapToken(const BinData& token, GString& errorText) {
  GString line;
  GString header;
  BinData body;
  int conf = 0;
  uint32_t qop = 0;
  if (!ctx_->Unwrap(token, line, header, body, conf, qop, errorText)) return false;
  engine_.Log(kLogTokens, "Received WRAP token was%s encrypted, and had QOP flags 0x%lX.\n", conf ? "" : " not",
              static_cast<unsigned long>(qop));
  if (conf == 0 || (qop & (kQopIntegrityA | kQopIntegrityB)) == 0) {
    errorText = Velgrade::LoadMessage(2075);
    return false;
  }
  DeleteServerSide();
  if (line.IsEmpty() && header.IsEmpty() && body.IsEmpty()) {
    responseMode_ = kUndecided;
    ProcessClientRequest(0);
    return true;
  }
  in_->FirstLine() = line;
  in_->Header() = header;
  in_->Data() = std::move(body);
  in_->SetContentLength(static_cast<long>(in_->Data().GetLength()));
  if (!in_->IsSimpleRequest() && !in_->Downgrade(false, errorText)) return false;
  in_->SetState(HttpConnection::kSendingResponse);
  bool logoff = GetHeaderField(header, "Corvask-Logoff:", nullptr);
  if (logoff || GetHeaderField(header, "Corvask-Disconnect:", nullptr)) {
    engine_.Log(kLogContexts | kLogCredentials, "%s from server at <%s:%d> with DN <%s>\n",
                logoff ? "Logging off" : "Disconnecting", ctx_->GetHost().Text(), ctx_->GetPort(),
                ctx_->GetPeerName().Text());
    SecurityContextTable::RemoveContext(ctx_);
    if (logoff) engine_.SignOff(0, this);
  }
  if (GetHeaderField(in_->Header(), FormSigning::kSignDataHeader, nullptr)) MarkPageForSigning();
  return true;
}

bool ProxyInfo::SignData(const void* data, size_t length, GString& output, bool sign) {
  const CredentialState& state = engine_.GetCredentialState();
  GString errorText;
  if (FormSigning::SignData(state.toolkit, state.toolkitHandle, data, length, output, sign, errorText)) return true;
  if (!errorText.IsEmpty()) engine_.ShowMessage(2143, errorText.Text());
  return false;
}

void ProxyInfo::MarkPageForSigning() {
  GString mark;
  SignData(in_->Data().GetData(), in_->Data().GetLength(), mark, false);
  // A page without a form has nowhere to hold the field: it goes as it came.
  if (!FormSigning::MarkPage(in_->Data(), mark)) return;
  size_t length = in_->Data().GetLength();
  in_->SetContentLength(static_cast<long>(length));
  in_->Header() = FormSigning::WithContentLength(in_->Header(), length);
}

bool ProxyInfo::SniffImage(const BinData& body, const GString& contentType) {
  const uint8_t* bytes = body.GetData();
  size_t length = body.GetLength();
  if (strcasecmp(contentType.Text(), "image/gif") == 0) {
    return length >= 6 && (std::memcmp(bytes, "GIF89a", 6) == 0 || std::memcmp(bytes, "GIF87a", 6) == 0);
  }
  if (strcasecmp(contentType.Text(), "image/jpeg") == 0) {
    return length >= 4 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF &&
           (bytes[3] == 0xE0 || bytes[3] == 0xEE);
  }
  return false;
}

bool ProxyInfo::MakeOriginCommand(const GString& requestLine, GString& command) {
  int space = requestLine.Find(' ');
  if (space < 0) return false;
  GString method = requestLine.Left(space + 1);
  int slashes = requestLine.Find("//");
  if (slashes < 0) return false;
  GString rest = requestLine.Mid(slashes + 2);
  // Only a "/" of the URL starts the path, not the one of "HTTP/1.0".
  int blank = rest.Find(' ');
  int slash = rest.Find('/');
  if (slash >= 0 && (blank < 0 || slash < blank)) {
    command = method + rest.Mid(slash);
    return true;
  }
  command = blank >= 0 ? method + "/" + rest.Mid(blank) : method + "/\r\n";
  return true;
}

bool ProxyInfo::ParseHostPort(const GString& url, GString& host, int& port) {
  return ParseUrlHostPort(url.Text(), host, port);
}

void ProxyInfo::DeleteServerSide() {
  delete out_;
  out_ = nullptr;
}

void ProxyInfo::SendPage(const GString& head, const GString& body) {
  DeleteServerSide();
  BinData bytes(body.Text(), body.Size());
  in_->SendResponse(head.Text(), &bytes);
}

void ProxyInfo::SendPageWithoutBody(const GString& head) {
  DeleteServerSide();
  in_->SendResponse(head.Text(), nullptr);
}

namespace {

ErrorPages::Origin PageOrigin(Velgrade& engine) {
  ErrorPages::Origin origin;
  origin.proxyKind = ErrorPages::ProxyKind();
  origin.address = engine.GetOwnAddress();
  origin.port = engine.GetListenPort();
  return origin;
}

}  // namespace

void ProxyInfo::SendBrowserErrorPage(const char* reason) {
  GString head;
  GString body;
  ErrorPages::BuildBrowserError(PageOrigin(engine_), in_->FirstLine(), in_->Header(), reason, head, body);
  SendPage(head, body);
}

void ProxyInfo::SendAlertErrorPage(const char* message) {
  GString head;
  GString body;
  ErrorPages::BuildAlert(PageOrigin(engine_), message, head, body);
  SendPage(head, body);
}

void ProxyInfo::SendSecurityErrorPage(const char* reason, const char* extraLine) {
  if (ctx_ != nullptr) SecurityContextTable::RemoveContext(ctx_);
  GString head;
  GString body;
  ErrorPages::BuildSecurityError(PageOrigin(engine_), reason, extraLine, head, body);
  SendPage(head, body);
}

void ProxyInfo::SendHistoryBackPage() { SendPageWithoutBody(ErrorPages::BuildHistoryBack()); }
