#include "engine/HttpConnection.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "engine/Velgrade.h"
#include "tests/engine/EngineTestSupport.h"

namespace {

using enginetest::Recorder;
using enginetest::TempFolder;

class HttpConnectionTest : public ::testing::Test {
 protected:
  HttpConnectionTest() : engine_(folder_.Path().c_str(), recorder_.Callbacks(), &recorder_) {}

  // A connection reading a request, on one end of a socket pair.
  HttpConnection* NewRequestReader() {
    int pair[2];
    EXPECT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM, 0, pair));
    peers_.push_back(pair[1]);
    sockaddr_in peer{};
    peer.sin_addr.s_addr = htonl(0x7F000001);
    peer.sin_port = htons(4321);
    return new HttpConnection(&engine_, pair[0], peer);
  }

  ~HttpConnectionTest() override {
    for (int fd : peers_) close(fd);
  }

  TempFolder folder_;
  Recorder recorder_;
  Velgrade engine_;
  std::vector<int> peers_;
};

struct Framed {
  int state;
  std::string firstLine;
  std::string header;
  std::string data;
  long contentLength;
  bool ok;

  bool operator==(const Framed& other) const {
    return state == other.state && firstLine == other.firstLine && header == other.header &&
           data == other.data && contentLength == other.contentLength && ok == other.ok;
  }
};

Framed Snapshot(const HttpConnection& connection, bool ok) {
  return Framed{connection.GetState(),
                connection.FirstLine().Text(),
                connection.Header().Text(),
                std::string(reinterpret_cast<const char*>(connection.Data().GetData()),
                            connection.Data().GetLength()),
                connection.GetContentLength(),
                ok};
}

// Feeds the pieces in turn, stopping at the first refusal.
bool Feed(HttpConnection& connection, const std::vector<std::string>& pieces) {
  for (const std::string& piece : pieces) {
    if (!connection.ConsumeReceived(piece.data(), static_cast<int>(piece.size()))) return false;
  }
  return true;
}

const char kPost[] =
    "POST http://example.test/form HTTP/1.1\r\nHost: example.test\r\ncontent-length: 11\r\n\r\nhello world";

TEST_F(HttpConnectionTest, RequestFramedTheSameWholeSplitAndBytewise) {
  std::string request = kPost;
  HttpConnection* whole = NewRequestReader();
  bool ok = Feed(*whole, {request});
  Framed expected = Snapshot(*whole, ok);
  delete whole;
  EXPECT_EQ(HttpConnection::kComplete, expected.state);
  EXPECT_EQ("POST http://example.test/form HTTP/1.1\r\n", expected.firstLine);
  EXPECT_EQ("Host: example.test\r\ncontent-length: 11\r\n\r\n", expected.header);
  EXPECT_EQ("hello world", expected.data);
  EXPECT_EQ(11, expected.contentLength);

  for (size_t split = 1; split < request.size(); ++split) {
    HttpConnection* connection = NewRequestReader();
    bool fed = Feed(*connection, {request.substr(0, split), request.substr(split)});
    EXPECT_EQ(expected, Snapshot(*connection, fed)) << "split at " << split;
    delete connection;
  }
  HttpConnection* bytewise = NewRequestReader();
  std::vector<std::string> bytes;
  for (char c : request) bytes.emplace_back(1, c);
  bool fed = Feed(*bytewise, bytes);
  EXPECT_EQ(expected, Snapshot(*bytewise, fed));
  delete bytewise;
}

TEST_F(HttpConnectionTest, RequestWithoutLengthCompletesAtEmptyLine) {
  HttpConnection* connection = NewRequestReader();
  EXPECT_TRUE(Feed(*connection, {"GET http://h/ HTTP/1.0\r\nAccept: */*\r\n"}));
  EXPECT_EQ(HttpConnection::kReadingHeader, connection->GetState());
  EXPECT_TRUE(Feed(*connection, {"\r\n"}));
  EXPECT_EQ(HttpConnection::kComplete, connection->GetState());
  EXPECT_EQ(0, connection->GetContentLength());
  delete connection;
}

TEST_F(HttpConnectionTest, SimpleRequestCompletesAtOnceAndTakesOnlyLineEnds) {
  HttpConnection* connection = NewRequestReader();
  EXPECT_TRUE(Feed(*connection, {"GET /index.html\r\n"}));
  EXPECT_EQ(HttpConnection::kComplete, connection->GetState());
  GString error;
  EXPECT_TRUE(connection->Downgrade(true, error));
  EXPECT_EQ(1, connection->IsSimpleRequest());
  EXPECT_TRUE(Feed(*connection, {"\r\n\n\r"}));
  EXPECT_FALSE(Feed(*connection, {"x"}));
  delete connection;
}

TEST_F(HttpConnectionTest, BrowserThatClosesIsGoneInEveryReadingState) {
  // Half a header, a complete request and a sent response: a read of zero
  // bytes ends the connection instead of being read again for ever.
  HttpConnection* partial = NewRequestReader();
  EXPECT_TRUE(Feed(*partial, {"GET http://h/ HTTP/1.0\r\nHost: h\r\n"}));
  EXPECT_FALSE(partial->ConsumeReceived("", 0));
  delete partial;

  HttpConnection* halfBody = NewRequestReader();
  EXPECT_TRUE(Feed(*halfBody, {"POST http://h/ HTTP/1.0\r\nContent-Length: 10\r\n\r\nabc"}));
  EXPECT_EQ(HttpConnection::kReadingBody, halfBody->GetState());
  EXPECT_FALSE(halfBody->ConsumeReceived("", 0));
  delete halfBody;

  HttpConnection* complete = NewRequestReader();
  EXPECT_TRUE(Feed(*complete, {"GET http://h/ HTTP/1.0\r\n\r\n"}));
  EXPECT_FALSE(complete->ConsumeReceived("", 0));
  delete complete;

  HttpConnection* answered = NewRequestReader();
  answered->SetState(HttpConnection::kResponseSent);
  EXPECT_TRUE(answered->ConsumeReceived("junk", 4));
  EXPECT_FALSE(answered->ConsumeReceived("", 0));
  delete answered;
}

TEST_F(HttpConnectionTest, EndlessHeaderEndsTheConnection) {
  HttpConnection* connection = NewRequestReader();
  std::string piece(32768, 'a');
  bool alive = true;
  for (int i = 0; i < 64 && alive; ++i) alive = Feed(*connection, {piece});
  EXPECT_FALSE(alive);
  delete connection;
}

TEST_F(HttpConnectionTest, DowngradeTable) {
  struct Case {
    bool request;
    const char* line;
    bool ok;
    const char* result;  // the first line afterwards, or the error text
  };
  const Case cases[] = {
      {true, "GET http://h/ HTTP/1.1\r\n", true, "GET http://h/ HTTP/1.0\r\n"},
      {true, "GET http://h/ HTTP/1.0\r\n", true, "GET http://h/ HTTP/1.0\r\n"},
      {true, "GET /only-path\r\n", true, "GET /only-path\r\n"},
      {true, "GET http://h/ HTTP/2\r\n", false,
       "Improperly formatted request line or unsupported HTTP protocol version"},
      {true, "GARBAGE\r\n", false, "Improperly formatted command line"},
      {true, "", false, "Can't downgrade empty request/response!"},
      {false, "HTTP/1.1 200 OK\r\n", true, "HTTP/1.0 200 OK\r\n"},
      {false, "HTTP/1.0 404 Not Found\r\n", true, "HTTP/1.0 404 Not Found\r\n"},
      {false, "HTTP/2 200 OK\r\n", false, "Improperly formatted response line or unsupported HTTP protocol version"},
      {false, "HTTP/1 200 OK\r\n", false, "Improperly formatted response line"},
  };
  for (const Case& c : cases) {
    HttpConnection* connection = NewRequestReader();
    connection->FirstLine() = c.line;
    GString error;
    EXPECT_EQ(c.ok, connection->Downgrade(c.request, error)) << c.line;
    EXPECT_STREQ(c.result, c.ok ? connection->FirstLine().Text() : error.Text()) << c.line;
    delete connection;
  }
}

TEST_F(HttpConnectionTest, HeadResponseIsSentWithoutBody) {
  HttpConnection* connection = NewRequestReader();
  EXPECT_TRUE(Feed(*connection, {"HEAD http://h/ HTTP/1.0\r\n\r\n"}));
  BinData body("page", 4);
  connection->SendResponse("HTTP/1.0 200 OK\r\n\r\n", &body);
  EXPECT_EQ(HttpConnection::kSendingResponse, connection->GetState());
  EXPECT_TRUE(connection->Data().IsEmpty());
  EXPECT_TRUE(connection->FirstLine().IsEmpty());
  delete connection;
}

TEST_F(HttpConnectionTest, StripConnectionHeadersInAnyCase) {
  HttpConnection* connection = NewRequestReader();
  connection->Header() =
      "Host: h\r\nconnection: close\r\nPROXY-CONNECTION: Keep-Alive\r\nKeep-Alive: 300\r\n"
      "Proxy-Connection: x\r\n\r\n";
  connection->StripConnectionHeaders();
  EXPECT_STREQ("Host: h\r\nKeep-Alive: 300\r\n\r\n", connection->Header().Text());
  delete connection;
}

TEST_F(HttpConnectionTest, RequestUri) {
  struct Case {
    const char* line;
    bool ok;
    const char* uri;
  };
  const Case cases[] = {
      {"GET http://h:81/a?b=/d HTTP/1.0\r\n", true, "http://h:81/a?b=/d"},
      {"GET /x\r\n", true, "/x"},
      {"NOBLANK\r\n", false, ""},
  };
  for (const Case& c : cases) {
    HttpConnection* connection = NewRequestReader();
    connection->FirstLine() = c.line;
    GString uri;
    EXPECT_EQ(c.ok, connection->GetRequestUri(uri));
    if (c.ok) {
      EXPECT_STREQ(c.uri, uri.Text());
    }
    delete connection;
  }
}

TEST_F(HttpConnectionTest, ResponseIsReadUntilCloseWhateverItsLength) {
  int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(0, ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address));
  ASSERT_EQ(0, ::listen(listener, 1));
  ASSERT_EQ(0, ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length));
  GString error;
  HttpConnection out(&engine_, address, error);
  EXPECT_TRUE(error.IsEmpty()) << error.Text();
  EXPECT_EQ(1, out.ExpectsBody());
  out.SetState(HttpConnection::kReadingHeader);
  EXPECT_TRUE(Feed(out, {"HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nabcdef"}));
  EXPECT_EQ(HttpConnection::kReadingBody, out.GetState());
  EXPECT_EQ(-1, out.GetContentLength());
  EXPECT_TRUE(Feed(out, {"gh"}));
  EXPECT_TRUE(out.ConsumeReceived("", 0));
  EXPECT_EQ(HttpConnection::kComplete, out.GetState());
  EXPECT_EQ(8u, out.Data().GetLength());
  ::close(listener);
}

std::vector<int> g_sendLengths;

int RefuseUntilOneByte(winsock::SOCKET, const char*, int length) {
  g_sendLengths.push_back(length);
  if (length > 1) {
    winsock::WSASetLastError(winsock::WSAENOBUFS);
    return -1;
  }
  return length;
}

TEST_F(HttpConnectionTest, SendWithoutBuffersIsRetriedWithHalfTheLength) {
  HttpConnection* connection = NewRequestReader();
  std::string body(1000, 'b');
  connection->Data().Assign(body.data(), body.size());
  connection->Header().Empty();
  connection->FirstLine().Empty();
  connection->SetState(HttpConnection::kSendingResponse);
  g_sendLengths.clear();
  HttpConnection::SetSendFunction(RefuseUntilOneByte);
  winsock::FdSet none;
  winsock::FdSet writable;
  winsock::FdZero(&none);
  winsock::FdZero(&writable);
  winsock::FdAdd(connection->GetSocket(), &writable);
  GString error;
  EXPECT_TRUE(connection->Process(none, writable, none, error)) << error.Text();
  HttpConnection::SetSendFunction(nullptr);
  EXPECT_EQ((std::vector<int>{1000, 500, 250, 125, 62, 31, 15, 7, 3, 1}), g_sendLengths);
  EXPECT_EQ(999u, connection->Data().GetLength());
  delete connection;
}

std::string g_wire;

int TenBytesAtATime(winsock::SOCKET, const char* bytes, int length) {
  int n = length < 10 ? length : 10;
  g_wire.append(bytes, static_cast<size_t>(n));
  return n;
}

TEST_F(HttpConnectionTest, PartialSendsKeepTheMessageInOrder) {
  HttpConnection* connection = NewRequestReader();
  connection->FirstLine() = "HTTP/1.0 200 OK\r\n";
  connection->Header() = "Content-Type: text/plain\r\n\r\n";
  connection->Data().Assign("0123456789abcdef", 16);
  connection->SetState(HttpConnection::kSendingResponse);
  std::string expected = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n0123456789abcdef";
  g_wire.clear();
  HttpConnection::SetSendFunction(TenBytesAtATime);
  winsock::FdSet none;
  winsock::FdSet writable;
  winsock::FdZero(&none);
  winsock::FdZero(&writable);
  winsock::FdAdd(connection->GetSocket(), &writable);
  for (int pass = 0; pass < 100 && connection->GetState() == HttpConnection::kSendingResponse; ++pass) {
    GString error;
    ASSERT_TRUE(connection->Process(none, writable, none, error)) << error.Text();
  }
  HttpConnection::SetSendFunction(nullptr);
  EXPECT_EQ(HttpConnection::kResponseSent, connection->GetState());
  EXPECT_EQ(expected, g_wire);
  delete connection;
}

TEST_F(HttpConnectionTest, InternalConnectionHoldsACompleteRequest) {
  BinData body("abc", 3);
  HttpConnection connection(&engine_, "POST http://h/x HTTP/1.0\r\n", body);
  EXPECT_EQ(HttpConnection::kComplete, connection.GetState());
  EXPECT_TRUE(connection.IsInternal());
  EXPECT_STREQ("Content-Length: 3\r\nContent-Type: application/octet-stream\r\n\r\n",
               connection.Header().Text());
  EXPECT_EQ(3, connection.GetContentLength());
}

}  // namespace
