#include "engine/HttpConnection.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "engine/HeaderFields.h"
#include "engine/Velgrade.h"

using namespace winsock;

Velgrade* HttpConnection::engine_ = nullptr;

namespace {

// Request and status lines plus header lines longer than this in all end the
// connection: a peer that never finishes its header must not use up memory.
constexpr int kHeaderLimit = 1024 * 1024;

GString DottedPeer(const sockaddr_in& address) {
  const auto* b = reinterpret_cast<const unsigned char*>(&address.sin_addr.s_addr);
  GString text;
  text.Format("%u.%u.%u.%u:%d", b[0], b[1], b[2], b[3], ntohs(address.sin_port));
  return text;
}

bool StartsWithNoCase(const GString& text, const char* prefix) {
  return strncasecmp(text.Text(), prefix, std::strlen(prefix)) == 0;
}

bool StartsWith(const GString& text, const char* prefix) {
  return std::strncmp(text.Text(), prefix, std::strlen(prefix)) == 0;
}

}  // namespace

HttpConnection::HttpConnection(Velgrade* engine, SOCKET socket, const sockaddr_in& peer)
    : peer_(DottedPeer(peer)), socket_(socket), state_(kReadingHeader) {
  engine_ = engine;
  GString ignored;
  ApplySocketOptions(false, ignored);
  engine_->Log(kLogSocketEvents, "Accepted connection from <%s>\n", peer_.Text());
}

HttpConnection::HttpConnection(Velgrade* engine, const sockaddr_in& destination, GString& error)
    : peer_(DottedPeer(destination)), expectsBody_(1), readsResponses_(1), destination_(destination) {
  engine_ = engine;
  error.Empty();
  socket_ = winsock::socket(AF_INET, SOCK_STREAM, 0);
  if (socket_ == INVALID_SOCKET) {
    error = Velgrade::LoadMessage(2102, Velgrade::GetSocketErrorText(WSAGetLastError()).Text());
    return;
  }
  ApplySocketOptions(true, error);
  if (!error.IsEmpty()) return;
  int result = winsock::connect(socket_, reinterpret_cast<const sockaddr*>(&destination_),
                                sizeof destination_);
  int code = result == 0 ? 0 : WSAGetLastError();
  if (code == 0 || code == WSAEWOULDBLOCK) {
    state_ = kConnecting;
  } else if (code == WSAEINPROGRESS) {
    state_ = kConnectAgain;
  } else {
    error = Velgrade::LoadMessage(2101, Velgrade::GetSocketErrorText(code).Text());
    return;
  }
  engine_->Log(kLogSocketEvents, "Initiated connection to <%s>\n", peer_.Text());
}

HttpConnection::HttpConnection(Velgrade* engine, const char* requestLine, const BinData& body)
    : firstLine_(requestLine), data_(body), contentLength_(static_cast<long>(body.GetLength())),
      state_(kComplete) {
  engine_ = engine;
  header_.Format("%s %ld\r\n%s application/octet-stream\r\n\r\n", "Content-Length:",
                 static_cast<long>(body.GetLength()), "Content-Type:");
  engine_->Log(kLogSocketEvents, "Initialized outgoing dummy connection\n");
}

HttpConnection::~HttpConnection() {
  if (socket_ != INVALID_SOCKET) closesocket(socket_);
}

void HttpConnection::ApplySocketOptions(bool failuresAreFatal, GString& error) {
  if (engine_->GetNoDelaySockets() && SetNoDelay(socket_, true) != 0) {
    GString code = Velgrade::GetSocketErrorText(WSAGetLastError());
    if (failuresAreFatal) {
      error = Velgrade::LoadMessage(2099, code.Text());
      return;
    }
    engine_->Log(kLogSocketEvents, "Error %s setting no-delay mode.", code.Text());
  }
  if (engine_->GetNonBlockingSockets() && SetNonBlocking(socket_, true) != 0) {
    GString code = Velgrade::GetSocketErrorText(WSAGetLastError());
    if (failuresAreFatal) {
      error = Velgrade::LoadMessage(2100, code.Text());
      return;
    }
    engine_->Log(kLogSocketEvents, "Error %s putting socket in non-blocking mode.", code.Text());
  }
}

void HttpConnection::AddToFdSets(SOCKET& largest, FdSet& read, FdSet& write, FdSet& except) const {
  if (socket_ == INVALID_SOCKET || state_ < kConnectAgain || state_ > kResponseSent) return;
  switch (state_) {
    case kConnectAgain:
    case kConnecting:
    case kSendingRequest:
    case kSendingResponse:
      FdAdd(socket_, &write);
      FdAdd(socket_, &except);
      break;
    case kComplete:
      if (readsResponses_) return;
      [[fallthrough]];
    default:
      FdAdd(socket_, &read);
      FdAdd(socket_, &except);
      break;
  }
  if (socket_ > largest) largest = socket_;
}

bool HttpConnection::Process(const FdSet& read, const FdSet& write, const FdSet& except,
                             GString& error) {
  if (socket_ == INVALID_SOCKET) return true;
  bool inRead = FdIsSet(socket_, &read);
  bool inWrite = FdIsSet(socket_, &write);
  bool inExcept = FdIsSet(socket_, &except);
  bool result = true;
  switch (state_) {
    case kConnectAgain:
    case kConnecting:
    case kSendingRequest:
    case kSendingResponse:
      if (!inExcept && !inWrite) return true;
      result = DoSend(inExcept, error);
      break;
    case kReadingHeader:
    case kHeaderComplete:
    case kReadingBody:
      if (!inExcept && !inRead) return true;
      result = DoRead(inExcept, inRead, error);
      break;
    case kComplete:
    case kResponseSent:
      if (inExcept || inRead) {
        result = DoRead(inExcept, inRead, error);
        if (!result) error = Velgrade::LoadMessage(2103);
      } else if (inWrite) {
        GetSocketError(socket_, &error);
        result = false;
      }
      break;
    default:
      return true;
  }
  if (!result && !error.IsEmpty()) engine_->Log(kLogSocketEvents, "%s\n", error.Text());
  return result;
}

bool HttpConnection::DoSend(bool inExceptSet, GString& error) {
  if (inExceptSet) {
    int code = GetSocketError(socket_, nullptr);
    if (code == 0 || code == WSAENOTCONN || code == WSAEWOULDBLOCK) code = WSAECONNREFUSED;
    error = Velgrade::LoadMessage(state_ <= kConnecting ? 2101 : 2105,
                                  Velgrade::GetSocketErrorText(code).Text());
    return false;
  }
  if (state_ == kConnectAgain) {
    int result = winsock::connect(socket_, reinterpret_cast<const sockaddr*>(&destination_),
                                  sizeof destination_);
    int code = result == 0 ? 0 : WSAGetLastError();
    if (code == WSAEINPROGRESS || code == WSAEWOULDBLOCK || code == WSAEALREADY) {
      engine_->Log(kLogSocketEvents, "Non-fatal error from 2nd connect call: <%s>. Will retry.\n",
                   Velgrade::GetSocketErrorText(code).Text());
      return true;
    }
    if (code != 0 && code != WSAEISCONN) {
      error = Velgrade::LoadMessage(2101, Velgrade::GetSocketErrorText(code).Text());
      return false;
    }
    state_ = kConnecting;
  }
  if (state_ == kConnecting) {
    engine_->Log(kLogSocketEvents, "Connection to <%s> ready.\n", peer_.Text());
    state_ = kSendingRequest;
    if (StartsWithNoCase(firstLine_, "HEAD ")) expectsBody_ = 0;
    engine_->Log(kLogHttpCommands, "Sending command to <%s>: %s", peer_.Text(), firstLine_.Text());
    engine_->Log(kLogHttpHeaders, "** Start Header **\n%s%s** End Header **\n", firstLine_.Text(),
                 header_.Text());
  }
  if (state_ != kSendingRequest && state_ != kSendingResponse) return false;
  if (!SendPending(error)) return false;
  if (firstLine_.IsEmpty() && header_.IsEmpty() && data_.IsEmpty()) ++state_;
  return true;
}

namespace {

HttpConnection::SendFunction g_send = nullptr;

int SendBytes(SOCKET socket, const char* bytes, int length) {
  if (g_send != nullptr) return g_send(socket, bytes, length);
  return winsock::send(socket, bytes, length, 0);
}

// Sends as much of text as the socket takes and drops that part.
int SendText(SOCKET socket, GString& text) {
  int n = SendBytes(socket, text.Text(), text.GetLength());
  if (n > 0) text = text.Mid(n);
  return n;
}

}  // namespace

void HttpConnection::SetSendFunction(SendFunction function) { g_send = function; }

int HttpConnection::SendHeadTogether() {
  size_t lineLength = firstLine_.Size();
  size_t headerLength = header_.Size();
  size_t dataLength = std::min<size_t>(data_.GetLength(), kGatherLimit);
  BinData gather;
  if (gather.SetLength(lineLength + headerLength + dataLength) != 0) return 0;
  uint8_t* at = gather.GetData();
  std::memcpy(at, firstLine_.Text(), lineLength);
  std::memcpy(at + lineLength, header_.Text(), headerLength);
  if (dataLength != 0) std::memcpy(at + lineLength + headerLength, data_.GetData(), dataLength);
  int n = SendBytes(socket_, reinterpret_cast<const char*>(at), static_cast<int>(gather.GetLength()));
  if (n <= 0) return n;
  int left = n;
  int take = std::min(left, firstLine_.GetLength());
  if (take > 0) {
    firstLine_ = firstLine_.Mid(take);
    engine_->Log(kLogSocketData, "Sent %d bytes of command to <%s>\n", take, peer_.Text());
    left -= take;
  }
  take = std::min(left, header_.GetLength());
  if (take > 0) {
    header_ = header_.Mid(take);
    engine_->Log(kLogSocketData, "Sent %d bytes of header to <%s>\n", take, peer_.Text());
    left -= take;
  }
  if (left > 0) {
    data_.RemoveFirst(static_cast<size_t>(left));
    engine_->Log(kLogSocketData, "Sent %d bytes of data to <%s>\n", left, peer_.Text());
  }
  return n;
}

bool HttpConnection::SendPending(GString& error) {
  int n = 0;
  bool sent = false;
  // The first line, the header and the start of the data leave in one send
  // (one segment for a small message) when more than one of them is queued.
  int queued = !firstLine_.IsEmpty() + !header_.IsEmpty() + !data_.IsEmpty();
  if (queued > 1) {
    n = SendHeadTogether();
    sent = true;
    if (n < 0 && WSAGetLastError() == WSAENOBUFS) {
      n = 0;
      sent = false;
    } else {
      return FinishSend(sent, n, error);
    }
  }
  if (!firstLine_.IsEmpty()) {
    n = SendText(socket_, firstLine_);
    sent = true;
    if (n > 0) engine_->Log(kLogSocketData, "Sent %d bytes of command to <%s>\n", n, peer_.Text());
  }
  if (n >= 0 && firstLine_.IsEmpty() && !header_.IsEmpty()) {
    n = SendText(socket_, header_);
    sent = true;
    if (n > 0) engine_->Log(kLogSocketData, "Sent %d bytes of header to <%s>\n", n, peer_.Text());
  }
  if (n >= 0 && firstLine_.IsEmpty() && header_.IsEmpty() && !data_.IsEmpty()) {
    n = SendWithBackoff();
    sent = true;
  }
  return FinishSend(sent, n, error);
}

bool HttpConnection::FinishSend(bool sent, int n, GString& error) {
  if (sent && n < 0) {
    int code = WSAGetLastError();
    if (code != WSAEWOULDBLOCK) {
      error = Velgrade::LoadMessage(2105, Velgrade::GetSocketErrorText(code).Text());
      return false;
    }
  }
  return true;
}

int HttpConnection::SendWithBackoff() {
  int length = static_cast<int>(std::min<size_t>(data_.GetLength(), 0x7FFFFFFF));
  const char* bytes = reinterpret_cast<const char*>(data_.GetData());
  int n = SendBytes(socket_, bytes, length);
  while (n <= 0 && WSAGetLastError() == WSAENOBUFS) {
    engine_->Log(kLogSocketData,
                 "Got %s trying to send %d bytes of data to <%s> - trying again but only sending %d\n\n",
                 Velgrade::GetSocketErrorText(WSAENOBUFS).Text(), length, peer_.Text(), length / 2);
    length /= 2;
    if (length == 0) break;
    n = SendBytes(socket_, bytes, length);
  }
  if (n > 0) {
    engine_->Log(kLogSocketData, "Sent %d bytes of data to <%s>\n", n, peer_.Text());
    data_.RemoveFirst(static_cast<size_t>(n));
  }
  return n;
}

bool HttpConnection::DoRead(bool inExceptSet, bool inReadSet, GString& error) {
  int code = 0;
  if (inExceptSet) {
    code = GetSocketError(socket_, nullptr);
    // Nothing pending and nothing to read: the exception was not an error.
    if (code == 0 && !inReadSet) return true;
  }
  char buffer[kReceiveSize];
  int n = 0;
  if (code == 0) {
    n = winsock::recv(socket_, buffer, kReceiveSize, 0);
    if (n < 0) {
      code = WSAGetLastError();
    } else {
      engine_->Log(kLogSocketData, "Read %d bytes of data from <%s>\n", n, peer_.Text());
    }
  }
  if (code == WSAEWOULDBLOCK) {
    engine_->Log(kLogSocketData, "Ignoring error %s reading from <%s>\n",
                 Velgrade::GetSocketErrorText(code).Text(), peer_.Text());
    return true;
  }
  if (code != 0) {
    error = Velgrade::LoadMessage(2104, Velgrade::GetSocketErrorText(code).Text(), peer_.Text());
    return false;
  }
  if (!ConsumeReceived(buffer, n)) {
    if (error.IsEmpty() && n == 0) error = Velgrade::LoadMessage(2103);
    return false;
  }
  return true;
}

bool HttpConnection::ConsumeReceived(const char* bytes, int n) {
  bool closed = n == 0;
  if (state_ == kReadingHeader) {
    if (closed) {
      // A browser that closes before its request is complete has gone away;
      // what it sent is not passed on.
      if (!readsResponses_) return false;
      truncated_ = true;
      state_ = kHeaderComplete;
    } else {
      ReadHeaderBytes(bytes, n);
      if (header_.GetLength() + firstLine_.GetLength() > kHeaderLimit) return false;
    }
  }
  if (state_ == kHeaderComplete) {
    DecideLength();
    return true;
  }
  if (state_ == kReadingBody) {
    if (closed) {
      // A browser that closes before its announced body is complete has
      // gone away; half a body is not passed on.
      if (!readsResponses_ && contentLength_ > 0) return false;
      state_ = kComplete;
      return true;
    }
    if (data_.GetLength() + static_cast<size_t>(n) > kBodyLimit) {
      engine_->Log(kLogHttpCommands, "Error!  Got more data than we can handle (%u bytes) from <%s>\n",
                   kBodyLimit, peer_.Text());
      state_ = kComplete;
      return true;
    }
    AppendBody(bytes, n);
    if (contentLength_ > 0 && data_.GetLength() >= static_cast<size_t>(contentLength_)) {
      state_ = kComplete;
    }
    return true;
  }
  if (state_ == kComplete || state_ == kResponseSent) {
    // A peer that has closed reads as zero bytes for ever: it is gone.
    if (closed) return false;
    if (state_ == kResponseSent) return true;
    for (int i = 0; i < n; ++i) {
      if (bytes[i] != '\r' && bytes[i] != '\n') return false;
    }
    return true;
  }
  return true;
}

void HttpConnection::ReadHeaderBytes(const char*& bytes, int& n) {
  while (n > 0) {
    const char* feed = static_cast<const char*>(std::memchr(bytes, '\n', static_cast<size_t>(n)));
    if (feed == nullptr) {
      header_.Append(bytes, static_cast<size_t>(n));
      n = 0;
      return;
    }
    int lineLength = static_cast<int>(feed - bytes) + 1;
    header_.Append(bytes, static_cast<size_t>(lineLength));
    bytes += lineLength;
    n -= lineLength;
    if (firstLine_.IsEmpty()) {
      firstLine_ = header_;
      header_.Empty();
      if (!readsResponses_ && firstLine_.Find(' ') == firstLine_.ReverseFind(' ')) {
        state_ = kComplete;
        if (n > 0) {
          engine_->Log(kLogHttpCommands,
                       "Note to developer: old-style command from <%s> had header/data following "
                       "it:\n** Start Header **\n%s%.*s** End Header **\n",
                       peer_.Text(), firstLine_.Text(), n, bytes);
        }
        return;
      }
      continue;
    }
    if (HasHeaderEnd(header_)) {
      data_.Assign(bytes, static_cast<size_t>(n));
      n = 0;
      state_ = kHeaderComplete;
      return;
    }
  }
}

bool HttpConnection::HasHeaderEnd(const GString& header) {
  int length = header.GetLength();
  const char* text = header.Text();
  if (header == "\r\n" || header == "\n") return true;
  if (length >= 2 && std::strcmp(text + length - 2, "\n\n") == 0) return true;
  return length >= 3 && std::strcmp(text + length - 3, "\n\r\n") == 0;
}

void HttpConnection::DecideLength() {
  if (readsResponses_) {
    contentLength_ = -1;
  } else {
    int at = header_.FindNoCase("Content-Length:");
    if (at >= 0) {
      const char* digits = header_.Text() + at + 15;
      while (*digits == ' ' || *digits == '\t') ++digits;
      long long value = std::strtoll(digits, nullptr, 10);
      contentLength_ = static_cast<long>(std::clamp<long long>(value, -1, kBodyLimit));
    } else {
      contentLength_ = expectsBody_ ? -1 : 0;
    }
  }
  const char* kind = readsResponses_ ? "response" : "command";
  engine_->Log(kLogHttpCommands, "Received %s from <%s> with length %ld: %s", kind, peer_.Text(),
               contentLength_, firstLine_.Text());
  if (firstLine_.IsEmpty()) engine_->Log(kLogHttpCommands, "*** Empty %s! ***\n", kind);
  engine_->Log(kLogHttpHeaders, "** Start Header **\n%s%s** End Header **\n", firstLine_.Text(),
               header_.Text());
  if (!data_.IsEmpty() && engine_->IsLogged(kLogHttpData)) {
    engine_->Log(kLogHttpData, "** Start Data (first 128 bytes only) **\n%.*s\n** End Data **\n",
                 static_cast<int>(std::min<size_t>(data_.GetLength(), 128)),
                 reinterpret_cast<const char*>(data_.GetData()));
  }
  bool complete = contentLength_ == 0 ||
                  (contentLength_ > 0 && data_.GetLength() >= static_cast<size_t>(contentLength_));
  state_ = complete ? kComplete : kReadingBody;
}

void HttpConnection::AppendBody(const char* bytes, int n) {
  // Grow by doubling, so that a long body is not copied at every receive.
  size_t length = data_.GetLength();
  size_t needed = length + static_cast<size_t>(n);
  if (length > 0 && needed > data_.GetCapacity()) {
    if (data_.SetLength(std::max(needed, length * 2)) == 0) data_.SetLength(length);
  }
  data_.Append(bytes, static_cast<size_t>(n));
}

void HttpConnection::SendResponse(const char* header, const BinData* body) {
  header_ = header;
  if (body != nullptr && !StartsWithNoCase(firstLine_, "HEAD ")) {
    data_ = *body;
  } else {
    data_.SetLength(0);
  }
  firstLine_.Empty();
  state_ = kSendingResponse;
}

void HttpConnection::SendToken(const char* requestLine, const BinData& token, int tokenType,
                               int newState) {
  if (requestLine != nullptr) firstLine_ = requestLine;
  header_.Format("%s %s\r\n%s %ld\r\n\r\n", "Content-Type:", "application/x-Velgrade",
                 "Content-Length:", static_cast<long>(token.GetLength()));
  data_ = token;
  if (newState != -2) state_ = newState;
  if (engine_->IsLogged(kLogTokens)) {
    engine_->Log(kLogTokens, "Sending %s token (type %d) of length %ld to <%s>\n",
                 Velgrade::TokenTypeName(tokenType), tokenType, static_cast<long>(token.GetLength()),
                 peer_.Text());
  }
}

bool HttpConnection::Downgrade(bool isRequest, GString& error) {
  if (firstLine_.IsEmpty()) {
    error = "Can't downgrade empty request/response!";
    return false;
  }
  if (isRequest) {
    int last = firstLine_.ReverseFind(' ');
    if (last < 0) {
      error = "Improperly formatted command line";
      return false;
    }
    if (last == firstLine_.Find(' ')) {
      simpleRequest_ = 1;
      return true;
    }
    GString version = firstLine_.Mid(last + 1);
    if (StartsWith(version, "HTTP/1.0")) return true;
    if (StartsWith(version, "HTTP/1")) {
      firstLine_ = firstLine_.Left(last) + " HTTP/1.0\r\n";
      return true;
    }
    error = "Improperly formatted request line or unsupported HTTP protocol version";
    return false;
  }
  if (StartsWith(firstLine_, "HTTP/1.0")) return true;
  if (StartsWith(firstLine_, "HTTP/1")) {
    int blank = firstLine_.Find(' ');
    if (blank < 8) {
      error = "Improperly formatted response line";
      return false;
    }
    firstLine_ = GString("HTTP/1.0") + firstLine_.Mid(blank);
    return true;
  }
  error = "Improperly formatted response line or unsupported HTTP protocol version";
  return false;
}

void HttpConnection::StripConnectionHeaders() {
  header_ = RemoveHeaderField(header_, "Connection:");
  header_ = RemoveHeaderField(header_, "Proxy-Connection:");
}

bool HttpConnection::GetRequestUri(GString& uri) const {
  int blank = firstLine_.Find(' ');
  if (blank < 0) return false;
  uri = firstLine_.Mid(blank + 1);
  int next = uri.Find(' ');
  if (next >= 0) uri = uri.Left(next);
  uri.Trim();
  return true;
}

int HttpConnection::GetSocketError(SOCKET socket, GString* error) {
  int code = 0;
  code = winsock::GetSocketError(socket);
  if (error != nullptr) *error = Velgrade::LoadMessage(2098, Velgrade::GetSocketErrorText(code).Text());
  return code;
}

GString HttpConnection::RemoveHeaderField(const GString& header, const char* field) {
  return ::RemoveHeaderField(header, field);
}
