#include <cstring>
#include <ctime>

#include "engine/DNSCache.h"
#include "engine/UrlHostPort.h"
#include "engine/Velgrade.h"

namespace {

constexpr char kMarker[] = "<VelgradeChainProxy:";
constexpr int kMaxHostLength = 255;
constexpr int kMaxWaitStepMs = 100;

bool IsHostCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '-';
}

// The value of the marker in body: the text after it up to the next ">".
bool FindMarkerValue(const BinData& body, GString& value) {
  const char* text = reinterpret_cast<const char*>(body.GetData());
  size_t length = body.GetLength();
  size_t markerLength = sizeof kMarker - 1;
  if (text == nullptr) return false;
  const void* found = memmem(text, length, kMarker, markerLength);
  if (found == nullptr) return false;
  const char* start = static_cast<const char*>(found) + markerLength;
  const char* end = static_cast<const char*>(std::memchr(start, '>', length - static_cast<size_t>(start - text)));
  if (end == nullptr) return false;
  value = GString(start, static_cast<size_t>(end - start));
  return true;
}

// host:port with a host of letters, digits, full stops and hyphens (1 to 255
// characters) and a decimal port of 1 to 65534.
bool ParseMarkerValue(const GString& value, GString& host, int& port) {
  int colon = value.Find(':');
  if (colon <= 0 || colon > kMaxHostLength) return false;
  host = value.Left(colon);
  for (int i = 0; i < host.GetLength(); ++i) {
    if (!IsHostCharacter(host.GetAt(i))) return false;
  }
  GString digits = value.Mid(colon + 1);
  if (digits.IsEmpty() || digits.GetLength() > 5) return false;
  port = 0;
  for (int i = 0; i < digits.GetLength(); ++i) {
    char c = digits.GetAt(i);
    if (c < '0' || c > '9') return false;
    port = port * 10 + (c - '0');
  }
  return port >= 1 && port <= 65534;
}

}  // namespace

void Velgrade::ClearChainProxy() {
  chainProxy_.sin_port = 0;
  chainProxy_.sin_addr.s_addr = kNoAddress;
}

void Velgrade::SetChainProxy(const char* host, int port) {
  if (host == nullptr || *host == '\0') {
    ClearChainProxy();
    return;
  }
  uint32_t address = kNoAddress;
  if (!DNSCache::Resolve(host, address)) {
    ShowMessage(2048, host);
    ClearChainProxy();
    return;
  }
  bool isThisMachine = address == htonl(INADDR_LOOPBACK) || address == ownAddress_;
  if (isThisMachine && port == listenPort_) {
    Log(kLogHttpCommands, "Ignoring request to use proxy on <%s:%d> since that's our IP.\n", host, port);
    return;
  }
  chainProxy_.sin_family = AF_INET;
  chainProxy_.sin_port = htons(static_cast<uint16_t>(port));
  chainProxy_.sin_addr.s_addr = address;
}

bool Velgrade::GetChainProxy(sockaddr_in* address) const {
  if (chainProxy_.sin_addr.s_addr == kNoAddress) return false;
  if (address != nullptr) *address = chainProxy_;
  return true;
}

bool Velgrade::FetchChainProxyFrom(const char* url) {
  GString host;
  int port = 0;
  const char* shown = url != nullptr ? url : "";
  if (!fetchChainProxy_ || url == nullptr || *url == '\0' || std::strncmp(url, "http://", 7) != 0 ||
      !ParseUrlHostPort(url, host, port)) {
    ShowMessage(2137, shown);
    SetChainProxy(nullptr, 0);
    return true;
  }
  chainReplyReceived_ = 0;
  chainReplyUsable_ = 0;
  GString requestLine = GString("GET ") + url + " HTTP/1.0\r\n";
  Transaction* request = factory_.createInternal != nullptr
                             ? factory_.createInternal(*this, requestLine.Text(), BinData(),
                                                       OnChainProxyReply, this, 0)
                             : nullptr;
  uint64_t serial = AddTransaction(request);
  time_t start = time(nullptr);
  bool timedOut = false;
  // The request may end without an answer (it is then no longer listed).
  while (!chainReplyReceived_ && serial != 0 && HasTransaction(serial)) {
    if (time(nullptr) - start > kChainFetchLimit) {
      timedOut = true;
      break;
    }
    if (!PollFor(kMaxWaitStepMs, nullptr)) break;
  }
  if (timedOut) RemoveTransaction(serial);
  if (!chainReplyUsable_) {
    ShowMessage(2136, url);
    SetChainProxy(nullptr, 0);
  }
  return true;
}

void Velgrade::OnChainProxyReply(const GString& head, const BinData& body, void* argument) {
  auto* engine = static_cast<Velgrade*>(argument);
  engine->chainReplyReceived_ = 1;
  engine->chainReplyUsable_ = 0;
  int blank = head.Find(' ');
  if (blank < 0 || head.GetAt(blank + 1) != '2') return;
  GString value;
  if (!FindMarkerValue(body, value)) return;
  if (value == "NONE") {
    engine->SetChainProxy(nullptr, 0);
    engine->chainReplyUsable_ = 1;
    return;
  }
  GString host;
  int port = 0;
  if (!ParseMarkerValue(value, host, port)) return;
  engine->SetChainProxy(host.Text(), port);
  engine->chainReplyUsable_ = 1;
}
