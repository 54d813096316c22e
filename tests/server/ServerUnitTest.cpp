// The server's parsers and decisions, without sockets.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "server/proxy/HttpMessageReader.h"
#include "server/proxy/RequestClassifier.h"
#include "server/proxy/SecureMessage.h"
#include "server/proxy/ServerConfig.h"

using vserver::HttpMessageReader;
using vserver::RequestClassifier;
using vserver::SecureMessage;
using vserver::ServerConfig;

namespace {

const char* const kGoodConfig =
    "[Server]\nlistenPort=8443\nprofile=/p.epf\npasswordFile=/p.pw\noriginHost=127.0.0.1\n"
    "secureURL=/velgrade\ninsecureRedirectURL=http://example.com/\n";

struct Framed {
  HttpMessageReader::Status status;
  std::string firstLine;
  std::string header;
  std::string body;
};

Framed Frame(HttpMessageReader::Kind kind, const std::string& text, size_t cut, bool close,
             bool presize = true) {
  HttpMessageReader reader(kind, 256, 64);
  reader.SetPresize(presize);
  reader.Feed(text.data(), cut);
  reader.Feed(text.data() + cut, text.size() - cut);
  if (close) reader.FinishInput();
  return Framed{reader.GetStatus(), reader.FirstLine(), reader.Header(), std::string(reader.Body())};
}

}  // namespace

TEST(ServerConfigTest, ReadsAGoodFile) {
  ServerConfig config;
  std::string error;
  std::string text = std::string(kGoodConfig) +
                     "; comment\nNoEncryptTypes = Image/GIF image/jpeg\nnoEncryptDir3=/pics/\n"
                     "logoffPaths=/bye /logout\ncontextIdleTimeout=5\n";
  ASSERT_TRUE(ServerConfig::Parse(text, "t.ini", config, error)) << error;
  EXPECT_EQ(8443, config.listenPort);
  EXPECT_EQ(80, config.originPort);
  EXPECT_EQ("image/gif image/jpeg ", config.noEncryptTypes);
  EXPECT_EQ("/pics/", config.noEncryptDirs[2]);
  EXPECT_EQ((std::vector<std::string>{"/bye", "/logout"}), config.logoffPaths);
  EXPECT_EQ(5u, config.contextIdleTimeout);
}

TEST(ServerConfigTest, RefusesBadSettingsWithTheirLine) {
  struct Case {
    const char* added;
    const char* expected;
  } cases[] = {
      {"listenPort=0\n", "line 8: the setting listenPort must be a port number"},
      {"listenPort=70000\n", "listenPort must be a port number"},
      {"listenPort=80x\n", "listenPort must be a port number"},
      {"listenAddress=localhost\n", "listenAddress must be an IPv4 address"},
      {"originPort=-1\n", "originPort must be a port number"},
      {"secureURL=/a b\n", "secureURL must be one URL without blanks"},
      {"noEncryptTypes=gif\n", "noEncryptTypes must list content types"},
      {"noEncryptDir9=/x/\n", "unknown setting \"noEncryptDir9\""},
      {"noEncryptDir1=images\n", "noEncryptDir1 must be a path"},
      {"logoffPaths=/a logout\n", "logoffPaths must list paths"},
      {"contextIdleTimeout=0\n", "contextIdleTimeout must be a whole number from 1"},
      {"workerThreads=5000\n", "workerThreads must be a whole number from 1 to 1024"},
      {"maxRequestBody=lots\n", "maxRequestBody must be a byte count"},
      {"signingKey=ECDSA\n", "signingKey must be RSA or DSA"},
      {"verbose=maybe\n", "verbose must be yes or no"},
      {"profile=\n", "profile must not be empty"},
      {"listenPort\n", "expected a setting written key=value"},
      {"[Other]\n", "unknown section [Other]"},
      {"[Server\n", "a section header must end with \"]\""},
  };
  for (const Case& c : cases) {
    ServerConfig config;
    std::string error;
    EXPECT_FALSE(ServerConfig::Parse(std::string(kGoodConfig) + c.added, "t.ini", config, error))
        << c.added;
    EXPECT_NE(std::string::npos, error.find(c.expected)) << c.added << " gave: " << error;
  }
}

TEST(ServerConfigTest, RefusesMissingRequiredSettings) {
  for (const char* key : {"listenPort", "profile", "passwordFile", "originHost", "secureURL",
                          "insecureRedirectURL"}) {
    std::string text = kGoodConfig;
    size_t at = text.find(std::string("\n") + key + "=");
    text.erase(at + 1, text.find('\n', at + 1) - at);
    ServerConfig config;
    std::string error;
    EXPECT_FALSE(ServerConfig::Parse(text, "t.ini", config, error));
    EXPECT_EQ(std::string("t.ini: the setting ") + key + " is missing from section [Server]", error);
  }
  ServerConfig config;
  std::string error;
  EXPECT_FALSE(ServerConfig::Parse("listenPort=1\n", "t.ini", config, error));
  EXPECT_FALSE(ServerConfig::Load("/nonexistent/velgrade.ini", config, error));
  EXPECT_NE(std::string::npos, error.find("cannot read"));
}

TEST(HttpMessageReaderTest, SameResultWhereverTheInputIsCut) {
  struct Case {
    HttpMessageReader::Kind kind;
    const char* text;
    bool close;
  } cases[] = {
      {HttpMessageReader::Kind::kRequest, "GET /a HTTP/1.0\r\nHost: h\r\n\r\n", false},
      {HttpMessageReader::Kind::kRequest, "POST /t HTTP/1.0\r\nContent-Length: 5\r\n\r\nhelloextra", false},
      {HttpMessageReader::Kind::kRequest, "GET /old\r\n", false},
      {HttpMessageReader::Kind::kRequest, "GET / HTTP/1.0\n\n", false},
      {HttpMessageReader::Kind::kRequest, "POST / HTTP/1.0\r\nContent-Length: 99\r\n\r\n", false},
      {HttpMessageReader::Kind::kRequest, "POST / HTTP/1.0\r\nContent-Length: 4x\r\n\r\n", false},
      {HttpMessageReader::Kind::kRequest, "POST / HTTP/1.0\r\nContent-Length: 2\r\n\r\nab", true},
      {HttpMessageReader::Kind::kResponse, "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\nuntil close", true},
      {HttpMessageReader::Kind::kResponse, "HTTP/1.1 204 No Content\r\n\r\n", false},
      {HttpMessageReader::Kind::kResponse, "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", true},
      {HttpMessageReader::Kind::kResponse, "garbage\r\n\r\n", true},
      {HttpMessageReader::Kind::kResponse, "HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\nshort", true},
  };
  for (const Case& c : cases) {
    std::string text = c.text;
    Framed whole = Frame(c.kind, text, text.size(), c.close);
    for (size_t cut = 0; cut <= text.size() * 2 + 1; ++cut) {
      // Every cut, with the body allocated at once and grown as it comes.
      Framed split = Frame(c.kind, text, cut % (text.size() + 1), c.close, cut <= text.size());
      EXPECT_EQ(whole.status, split.status) << text << " cut at " << cut;
      EXPECT_EQ(whole.firstLine, split.firstLine) << text << " cut at " << cut;
      EXPECT_EQ(whole.header, split.header) << text << " cut at " << cut;
      EXPECT_EQ(whole.body, split.body) << text << " cut at " << cut;
    }
  }
}

TEST(HttpMessageReaderTest, FramesAndBounds) {
  Framed post = Frame(HttpMessageReader::Kind::kRequest,
                      "POST /t HTTP/1.0\r\nContent-Length: 5\r\n\r\nhelloextra", 3, false);
  EXPECT_EQ(HttpMessageReader::Status::kComplete, post.status);
  EXPECT_EQ("POST /t HTTP/1.0\r\n", post.firstLine);
  EXPECT_EQ("Content-Length: 5\r\n\r\n", post.header);
  EXPECT_EQ("hello", post.body);
  EXPECT_EQ(HttpMessageReader::Status::kComplete,
            Frame(HttpMessageReader::Kind::kRequest, "GET /old\r\n", 0, false).status);

  HttpMessageReader big(HttpMessageReader::Kind::kRequest, 256, 64);
  std::string text = "POST / HTTP/1.0\r\nContent-Length: 65\r\n\r\n";
  big.Feed(text.data(), text.size());
  EXPECT_EQ(HttpMessageReader::Status::kError, big.GetStatus());
  EXPECT_TRUE(big.IsTooLarge());

  HttpMessageReader endless(HttpMessageReader::Kind::kRequest, 256, 64);
  std::string line(300, 'a');
  endless.Feed(line.data(), line.size());
  EXPECT_EQ(HttpMessageReader::Status::kError, endless.GetStatus());
  EXPECT_TRUE(endless.IsTooLarge());

  HttpMessageReader head(HttpMessageReader::Kind::kResponse, 256, 64);
  head.SetAnswersHead(true);
  std::string answer = "HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\n";
  head.Feed(answer.data(), answer.size());
  EXPECT_EQ(HttpMessageReader::Status::kComplete, head.GetStatus());

  HttpMessageReader unbounded(HttpMessageReader::Kind::kResponse, 256, 64);
  std::string open = "HTTP/1.0 200 OK\r\n\r\n" + std::string(65, 'x');
  unbounded.Feed(open.data(), open.size());
  EXPECT_TRUE(unbounded.IsTooLarge());
}

TEST(HttpMessageReaderTest, ReceivesInPlaceWithRoomInFront) {
  HttpMessageReader reader(HttpMessageReader::Kind::kResponse, 256, 64);
  reader.SetBodyFrontRoom(20);
  std::string head = "HTTP/1.0 200 OK\r\nContent-Length: 6\r\n\r\nab";
  reader.Feed(head.data(), head.size());
  size_t room = 0;
  char* space = reader.BodySpace(room);
  ASSERT_NE(nullptr, space);
  ASSERT_EQ(4u, room);
  std::memcpy(space, "cdef", 4);
  EXPECT_EQ(HttpMessageReader::Status::kComplete, reader.CommitBody(4));
  EXPECT_EQ("abcdef", reader.Body());
  EXPECT_EQ(nullptr, reader.FrontOfBody(21));
  char* front = reader.FrontOfBody(3);
  ASSERT_NE(nullptr, front);
  std::memcpy(front, "xyz", 3);
  EXPECT_EQ("xyzabcdef", std::string_view(front, 9));
  size_t offset = 0;
  std::string taken = reader.TakeBody(offset);
  EXPECT_EQ("abcdef", taken.substr(offset));
}

TEST(SecureMessageTest, BuildsAndParsesWithTheEdgeCases) {
  std::string built;
  ASSERT_TRUE(SecureMessage::Build("GET / HTTP/1.0\r\n", "A: b\r\n\r\n", "body", built));
  ASSERT_EQ(12u + 16 + 8 + 4, built.size());
  EXPECT_EQ(std::string("\x0c\0\0\0\0\0\0\x10\0\0\0\x08", 12), built.substr(0, 12));
  std::string_view p1, p2, body;
  auto parse = [&](const std::string& m) {
    return SecureMessage::Parse(reinterpret_cast<const uint8_t*>(m.data()), m.size(), p1, p2, body);
  };
  ASSERT_EQ(SecureMessage::ParseResult::kOk, parse(built));
  EXPECT_EQ("GET / HTTP/1.0\r\n", p1);
  EXPECT_EQ("A: b\r\n\r\n", p2);
  EXPECT_EQ("body", body);

  std::string empty;
  SecureMessage::Build("", "", "", empty);
  EXPECT_EQ(SecureMessage::ParseResult::kOk, parse(empty));
  EXPECT_TRUE(p1.empty() && p2.empty() && body.empty());

  EXPECT_EQ(SecureMessage::ParseResult::kNoData, parse(empty.substr(0, 11)));
  std::string version = empty;
  version[1] = 1;
  EXPECT_EQ(SecureMessage::ParseResult::kWrongVersion, parse(version));
  std::string longer = built;
  longer[7] = 0x30;  // part 1 claims more than follows
  EXPECT_EQ(SecureMessage::ParseResult::kCorrupted, parse(longer));
  std::string sum = built;
  sum[7] = 0x10;
  sum[11] = 0x10;  // each fits, together they do not
  EXPECT_EQ(SecureMessage::ParseResult::kCorrupted, parse(sum));
  std::string start = empty;
  start[0] = 13;  // the header claims to be longer than the message
  EXPECT_EQ(SecureMessage::ParseResult::kCorrupted, parse(start));
  EXPECT_STREQ("Incompatible Velgrade version used.",
               SecureMessage::ErrorText(SecureMessage::ParseResult::kWrongVersion));
}

TEST(RequestClassifierTest, RecognisesTokenMessages) {
  EXPECT_TRUE(RequestClassifier::IsTokenMessage(
      "POST /v HTTP/1.0\r\n", "content-type: Application/X-Velgrade\r\n\r\n"));
  EXPECT_FALSE(RequestClassifier::IsTokenMessage("GET /v HTTP/1.0\r\n",
                                                 "Content-Type: application/x-Velgrade\r\n\r\n"));
  EXPECT_FALSE(RequestClassifier::IsTokenMessage("POST /v HTTP/1.0\r\n",
                                                 "Content-Type: text/plain\r\n\r\n"));
  EXPECT_FALSE(RequestClassifier::IsTokenMessage("POST /v HTTP/1.0\r\n", "\r\n"));
}

TEST(RequestClassifierTest, WrapsUnlessExempt) {
  ServerConfig config;
  config.noEncryptTypes = "image/gif application/pdf ";
  config.noEncryptDirs[4] = "/pub/";
  std::string gif = "IMAGE/GIF";
  std::string html = "text/html";
  std::string png = "image/png";
  std::string pdfPart = "application/pd";
  EXPECT_TRUE(RequestClassifier::MustWrap(nullptr, "GET /pub/a HTTP/1.0\r\n", config));
  EXPECT_TRUE(RequestClassifier::MustWrap(&html, "GET /pub/a HTTP/1.0\r\n", config));
  EXPECT_FALSE(RequestClassifier::MustWrap(&gif, "GET /a HTTP/1.0\r\n", config));
  EXPECT_TRUE(RequestClassifier::MustWrap(&png, "GET /a HTTP/1.0\r\n", config));
  EXPECT_FALSE(RequestClassifier::MustWrap(&png, "GET   /pub/x.png HTTP/1.0\r\n", config));
  EXPECT_TRUE(RequestClassifier::MustWrap(&png, "GET /PUB/x.png HTTP/1.0\r\n", config));
  EXPECT_TRUE(RequestClassifier::MustWrap(&pdfPart, "GET /a HTTP/1.0\r\n", config));
}

TEST(RequestClassifierTest, QopFollowsTheCipherName) {
  EXPECT_EQ(0x400040u, RequestClassifier::QopFor("Triple DES", "RSA"));
  EXPECT_EQ(0x300040u, RequestClassifier::QopFor("rc2-40", "RSA"));
  EXPECT_EQ(0x300040u, RequestClassifier::QopFor("Blowfish", "RSA"));
  EXPECT_EQ(0x10040u, RequestClassifier::QopFor("DES-CBC", "RSA"));
  EXPECT_EQ(0x500030u, RequestClassifier::QopFor("CAST128", "DSA"));
  EXPECT_TRUE(RequestClassifier::HasProperProtection(1, 0x1000));
  EXPECT_TRUE(RequestClassifier::HasProperProtection(1, 0x0800));
  EXPECT_FALSE(RequestClassifier::HasProperProtection(0, 0x1000));
  EXPECT_FALSE(RequestClassifier::HasProperProtection(1, 0x0400));
}

TEST(RequestClassifierTest, BuildsTheOriginRequest) {
  std::string head;
  std::string error;
  ASSERT_TRUE(RequestClassifier::OriginRequestHead(
      "POST /form?a=1 HTTP/1.0\r\n",
      "Corvask-Client-IP: 10.0.0.1\r\nConnection: keep-alive\r\nContent-Length: 99\r\nHost: h\r\n"
      "X-Split: a\rInjected: b\r\nX-Nul: \x01\r\n\r\n",
      3, head, error));
  EXPECT_EQ("POST /form?a=1 HTTP/1.0\r\nCorvask-Client-IP: 10.0.0.1\r\nHost: h\r\n"
            "Content-Length: 3\r\nConnection: close\r\n\r\n",
            head);
  ASSERT_TRUE(RequestClassifier::OriginRequestHead("GET /old\r\n", "", 0, head, error));
  EXPECT_EQ("GET /old HTTP/1.0\r\nConnection: close\r\n\r\n", head);
  for (const char* bad : {"GET http://elsewhere/ HTTP/1.0\r\n", "GET\r\n", " /a HTTP/1.0\r\n",
                          "G(T /a HTTP/1.0\r\n", "GET /a\x01 HTTP/1.0\r\n", "GET  HTTP/1.0\r\n"}) {
    EXPECT_FALSE(RequestClassifier::OriginRequestHead(bad, "", 0, head, error)) << bad;
  }
}

TEST(RequestClassifierTest, ShapesTheAnswerHead) {
  std::string line;
  std::string header;
  RequestClassifier::ClientResponseHead(
      "HTTP/1.1 200 OK\r\n",
      "Content-Type: text/html\r\nConnection: keep-alive\r\nContent-Length: 7\r\nCorvask-ID: x\r\n\r\n",
      5, false, "Corvask-Logoff: yes\r\n", line, header);
  EXPECT_EQ("HTTP/1.0 200 OK\r\n", line);
  EXPECT_EQ("Content-Type: text/html\r\nContent-Length: 5\r\nCorvask-Logoff: yes\r\n\r\n", header);
  RequestClassifier::ClientResponseHead("HTTP/1.0 200 OK\r\n", "Content-Length: 7\r\n\r\n", 0,
                                        true, "", line, header);
  EXPECT_EQ("Content-Length: 7\r\n\r\n", header);
  EXPECT_TRUE(RequestClassifier::MatchesPath("GET /logoff?x HTTP/1.0\r\n", {"/logoff"}));
  EXPECT_FALSE(RequestClassifier::MatchesPath("GET /a/logoff HTTP/1.0\r\n", {"/logoff"}));
}
