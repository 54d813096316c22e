// Feeds arbitrary bytes, in arbitrary pieces, to the reading states of an
// HTTP connection: a request reader (browser side) or a response reader
// (server side). The first byte chooses the side; then each piece is a
// length byte followed by that many bytes, length 0 meaning the peer closed.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sys/socket.h>
#include <unistd.h>

#include "engine/HttpConnection.h"
#include "engine/Velgrade.h"

namespace {

Velgrade& Engine() {
  static Velgrade engine("/nonexistent-velgrade-fuzz/", EngineCallbacks(), nullptr);
  return engine;
}

HttpConnection* NewConnection(bool readsResponses) {
  if (readsResponses) {
    sockaddr_in discard{};
    discard.sin_family = AF_INET;
    discard.sin_port = htons(9);
    discard.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    GString error;
    auto* connection = new HttpConnection(&Engine(), discard, error);
    connection->SetState(HttpConnection::kReadingHeader);
    return connection;
  }
  int pair[2];
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) return nullptr;
  close(pair[1]);
  return new HttpConnection(&Engine(), pair[0], sockaddr_in{});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  HttpConnection* connection = NewConnection((data[0] & 1) != 0);
  if (connection == nullptr) return 0;
  size_t at = 1;
  while (at < size) {
    size_t length = data[at++];
    if (length > size - at) length = size - at;
    bool alive = connection->ConsumeReceived(reinterpret_cast<const char*>(data + at), static_cast<int>(length));
    at += length;
    int state = connection->GetState();
    if (state < HttpConnection::kReadingHeader || state > HttpConnection::kResponseSent) std::abort();
    if (connection->Data().GetLength() > HttpConnection::kBodyLimit) std::abort();
    if (!alive) break;
  }
  GString error;
  GString uri;
  connection->GetRequestUri(uri);
  connection->StripConnectionHeaders();
  connection->Downgrade(connection->ReadsResponses() == 0, error);
  delete connection;
  return 0;
}
