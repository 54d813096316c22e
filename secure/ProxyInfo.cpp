#include "secure/ProxyInfo.h"

#include <cstring>
#include <new>
#include <strings.h>
#include <utility>

#include "common/Base64.h"
#include "engine/DNSCache.h"
#include "engine/HeaderFields.h"
#include "secure/ErrorPages.h"

using namespace winsock;

namespace {

// While the browser side holds this much of an answer not yet sent, the
// server side is not read: the origin then waits instead of the proxy's
// memory filling up.
constexpr size_t kRelayHighWater = 1024 * 1024;

bool StartsWithNoCase(const GString& text, const char* prefix) {
  return strncasecmp(text.Text(), prefix, std::strlen(prefix)) == 0;
}

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
  if (isPost && completion_ == nullptr && !engine_.ConfirmSubmission(0)) {
    SendHistoryBackPage();
    return;
  }
  OpenServerConnection(true);
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
    SendAlertErrorPage((Velgrade::LoadMessage(2080) + error).Text());
    return true;
  }
  if (out_->GetState() >= HttpConnection::kHeaderComplete && responseMode_ == kUndecided) {
    DecideResponseMode();
    return true;
  }
  if (responseMode_ == kRelay) return RelayResponse();
  if (responseMode_ == kSecure && out_->GetState() == HttpConnection::kComplete) {
    return HandleServerResponse();
  }
  return true;
}

void ProxyInfo::DecideResponseMode() {
  sniffPending_ = 1;
  GString error;
  if (!in_->IsSimpleRequest() && !out_->Downgrade(false, error)) {
    SendAlertErrorPage(error.Text());
    return;
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
  if (responseMode_ != kRelay) return;
  in_->FirstLine() = out_->FirstLine();
  in_->Header() = out_->Header();
  in_->Data().SetLength(0);
  MoveBodyToBrowser();
  in_->SetState(HttpConnection::kSendingResponse);
}

bool ProxyInfo::RelayResponse() {
  int state = out_->GetState();
  if ((state == HttpConnection::kReadingBody || state == HttpConnection::kComplete) &&
      !out_->Data().IsEmpty()) {
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
  in_->FirstLine() = out_->FirstLine();
  in_->Header() = out_->Header();
  in_->Data() = std::move(out_->Data());
  in_->SetContentLength(static_cast<long>(in_->Data().GetLength()));
  in_->SetState(HttpConnection::kSendingResponse);
  DeleteServerSide();
  return true;
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
  int slashes = url.Find("//");
  if (slashes < 0) return false;
  GString hostPort = url.Mid(slashes + 2);
  int slash = hostPort.Find('/');
  if (slash >= 0) hostPort = hostPort.Left(slash);
  int colon = hostPort.Find(':');
  if (colon >= 0) {
    port = std::atoi(hostPort.Text() + colon + 1);
    host = hostPort.Left(colon);
  } else {
    port = 80;
    host = hostPort;
  }
  return true;
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

void ProxyInfo::SendHistoryBackPage() { SendPageWithoutBody(ErrorPages::BuildHistoryBack()); }
