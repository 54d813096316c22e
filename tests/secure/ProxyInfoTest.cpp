#include "secure/ProxyInfo.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <string>

#include "engine/DNSCache.h"
#include "tests/secure/ProxyHarness.h"

namespace {

using securetest::FakeOrigin;
using securetest::ProxyHarness;

const char kOk[] = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 5\r\n\r\nhello";

std::string BrowserErrorPage(ProxyHarness& proxy, const std::string& requestLine, const std::string& header,
                             const std::string& reason) {
  return "HTTP/1.0 400 Bad Request\r\nProxy-agent: Velgrade\r\nContent-type: text/html\r\n\r\n"
         "<html><head><title>Browser Error</title></head>\n<body bgcolor=\"#ffffff\" text=\"#000000\">"
         "<h1>Browser Error</h1>\nThe Velgrade client proxy on " +
         std::string(proxy.Engine().GetOwnAddress().Text()) + ":" + std::to_string(proxy.Port()) +
         " was unable to process the request:<p><blockquote><b><hr size=4><pre>\n" + requestLine + header +
         "</pre><hr size=4></b></blockquote><p>\nReason: " + reason + "\n</body></html>";
}

std::string AlertPage(ProxyHarness& proxy, const std::string& message, const std::string& alert) {
  return "HTTP/1.0 500 Error from Velgrade proxy\r\nProxy-agent: Velgrade\r\nContent-type: text/html\r\n\r\n"
         "<html><head><title>Error</title></head><body>\n<noscript>\n<B>" +
         message + "</B>\n<hr size=4>\n<font size=-2>Error from client proxy on " +
         std::string(proxy.Engine().GetOwnAddress().Text()) + ":" + std::to_string(proxy.Port()) +
         "</font>\n</noscript>\n<SCRIPT LANGUAGE=\"JavaScript\">\n<!-- Begin to hide script contents from "
         "old browsers.\n\talert(\"" +
         alert + "\")\n// End the hiding here. -->\n</SCRIPT>\n</body></html>";
}

TEST(ProxyInfoCommandTest, OriginCommandAndHostPort) {
  struct Case {
    const char* line;
    const char* command;
    const char* host;
    int port;
  };
  const Case cases[] = {
      {"GET http://h HTTP/1.0\r\n", "GET / HTTP/1.0\r\n", "h", 80},
      {"GET http://h:8081/a?b=/d HTTP/1.0\r\n", "GET /a?b=/d HTTP/1.0\r\n", "h", 8081},
      {"GET http://h\r\n", "GET /\r\n", "h", 80},
  };
  for (const Case& c : cases) {
    GString command;
    ASSERT_TRUE(ProxyInfo::MakeOriginCommand(c.line, command));
    EXPECT_STREQ(c.command, command.Text());
    GString line(c.line);
    GString uri = line.Mid(4);
    int end = uri.FindNoCase(" ");
    uri = uri.Left(end >= 0 ? end : uri.Find('\r'));
    GString host;
    int port = 0;
    ASSERT_TRUE(ProxyInfo::ParseHostPort(uri, host, port));
    EXPECT_STREQ(c.host, host.Text());
    EXPECT_EQ(c.port, port);
  }
  GString command;
  EXPECT_FALSE(ProxyInfo::MakeOriginCommand("GET /x HTTP/1.0\r\n", command));
  EXPECT_FALSE(ProxyInfo::MakeOriginCommand("NOBLANK", command));
}

TEST(ProxyInfoTest, PlainRequestGoesOutAsHttp10WithoutConnectionLines) {
  FakeOrigin origin(kOk);
  ProxyHarness proxy;
  std::string url = "http://127.0.0.1:" + std::to_string(origin.Port()) + "/a?b=/d";
  std::string response = proxy.Exchange("GET " + url +
                                        " HTTP/1.1\r\nHost: x\r\nConnection: keep-alive\r\n"
                                        "proxy-connection: keep-alive\r\nAccept: */*\r\n\r\n");
  EXPECT_EQ("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 5\r\n\r\nhello", response);
  ASSERT_EQ(1u, origin.Requests().size());
  EXPECT_EQ("GET /a?b=/d HTTP/1.0\r\nHost: x\r\nAccept: */*\r\n\r\n", origin.Requests()[0]);
  EXPECT_TRUE(proxy.DrainTransactions(100));
}

TEST(ProxyInfoTest, PostBodyIsForwarded) {
  FakeOrigin origin(kOk);
  ProxyHarness proxy;
  std::string request = "POST http://127.0.0.1:" + std::to_string(origin.Port()) +
                        "/form HTTP/1.0\r\nContent-Length: 7\r\n\r\na=1&b=2";
  EXPECT_NE(std::string::npos, proxy.Exchange(request).find("hello"));
  ASSERT_EQ(1u, origin.Requests().size());
  EXPECT_EQ("POST /form HTTP/1.0\r\nContent-Length: 7\r\n\r\na=1&b=2", origin.Requests()[0]);
}

bool Decline(void*, int) { return false; }

TEST(ProxyInfoTest, DeclinedPostGetsHistoryBackAndNoConnection) {
  FakeOrigin origin(kOk);
  EngineCallbacks callbacks;
  callbacks.confirmSubmit = Decline;
  ProxyHarness proxy("", &callbacks);
  std::string response = proxy.Exchange("POST http://127.0.0.1:" + std::to_string(origin.Port()) +
                                        "/form HTTP/1.0\r\nContent-Length: 1\r\n\r\nx");
  EXPECT_EQ(0u, response.find("HTTP/1.0 500 Velgrade Security Error\r\n"));
  EXPECT_NE(std::string::npos, response.find("window.history.back()"));
  EXPECT_EQ(0, origin.Accepted());
}

TEST(ProxyInfoTest, RequestsWithoutHostGetTheHostNamePage) {
  ProxyHarness proxy;
  const std::pair<std::string, std::string> cases[] = {
      {"GET /index.html HTTP/1.1\r\n", "GET /index.html HTTP/1.0\r\n"},
      {"CONNECT example.test:443 HTTP/1.1\r\n", "CONNECT example.test:443 HTTP/1.0\r\n"},
  };
  for (const auto& [line, downgraded] : cases) {
    std::string response = proxy.Exchange(line + "Host: h\r\nProxy-Connection: keep-alive\r\n\r\n");
    EXPECT_EQ(BrowserErrorPage(proxy, downgraded, "Host: h\r\n\r\n", "Couldn't determine the destination host name."),
              response);
  }
}

TEST(ProxyInfoTest, ReservedHeaderIsRefusedBeforeAnythingIsSent) {
  FakeOrigin origin(kOk);
  ProxyHarness proxy;
  std::string line = "GET http://127.0.0.1:" + std::to_string(origin.Port()) + "/ HTTP/1.0\r\n";
  for (const char* field : {"Corvask-ID: x\r\n", "cOrVaSk-anything: y\r\n"}) {
    std::string header = std::string("Host: h\r\n") + field + "\r\n";
    EXPECT_EQ(BrowserErrorPage(proxy, line, header, "Illegal HTTP header received."),
              proxy.Exchange(line + header));
  }
  EXPECT_TRUE(proxy.Recorder().Logged("Illegal HTTP header received from client at <127.0.0.1:"));
  // A HEAD request gets the head of the page only.
  std::string head = proxy.Exchange("HEAD http://127.0.0.1/ HTTP/1.0\r\nCorvask-X: 1\r\n\r\n");
  EXPECT_EQ("HTTP/1.0 400 Bad Request\r\nProxy-agent: Velgrade\r\nContent-type: text/html\r\n\r\n", head);
  EXPECT_EQ(0, origin.Accepted());
}

bool FailToResolve(const char*, uint32_t&) { return false; }

TEST(ProxyInfoTest, UnknownHostAndRefusedConnectionGetAlertPages) {
  ProxyHarness proxy;
  DNSCache::SetResolver(FailToResolve);
  std::string unknown = proxy.Exchange("GET http://nowhere.test/ HTTP/1.0\r\n\r\n");
  DNSCache::SetResolver(nullptr);
  std::string dns =
      "Unable to locate the server: nowhere.test<P>The server does not have a DNS entry.<P>Check that the "
      "site name in the location field is correctly spelled and try again.";
  EXPECT_EQ(AlertPage(proxy, dns,
                      "Unable to locate the server: nowhere.test \\nThe server does not have a DNS entry. \\nCheck "
                      "that the site name in the location field is correctly spelled and try again."),
            unknown);

  int closedPort = enginetest::FreePort();
  std::string refused = proxy.Exchange("GET http://127.0.0.1:" + std::to_string(closedPort) + "/ HTTP/1.0\r\n\r\n");
  std::string message =
      "The requested item could not be loaded due to a network error.<P>Error 10061 (Connection refused) "
      "connecting to remote server.";
  EXPECT_EQ(AlertPage(proxy, message,
                      "The requested item could not be loaded due to a network error. \\nError 10061 (Connection "
                      "refused) connecting to remote server."),
            refused);
}

TEST(ProxyInfoTest, BrowserThatLeavesCostsNothing) {
  FakeOrigin silent("");
  ProxyHarness proxy;
  // Closing while the origin has not answered yet ends the transaction.
  proxy.SendAndClose("GET http://127.0.0.1:" + std::to_string(silent.Port()) + "/ HTTP/1.0\r\n\r\n", 20);
  EXPECT_TRUE(proxy.DrainTransactions(200));
  // So does connecting and sending nothing, or half a request.
  proxy.SendAndClose("", 5);
  proxy.SendAndClose("GET http://127.0.0.1/ HTTP/1.0\r\nHost:", 5);
  EXPECT_TRUE(proxy.DrainTransactions(200));
}

int CountDescriptors() {
  int count = 0;
  DIR* folder = opendir("/proc/self/fd");
  if (folder == nullptr) return -1;
  while (readdir(folder) != nullptr) ++count;
  closedir(folder);
  return count;
}

TEST(ProxyInfoTest, NoDescriptorLeftBehind) {
  FakeOrigin origin(kOk);
  ProxyHarness proxy;
  std::string get = "GET http://127.0.0.1:" + std::to_string(origin.Port()) + "/ HTTP/1.0\r\n\r\n";
  proxy.Exchange(get);
  ASSERT_TRUE(proxy.DrainTransactions(100));
  int before = CountDescriptors();
  for (int i = 0; i < 100; ++i) {
    proxy.Exchange(get);
    proxy.SendAndClose("GET http://127.0.0.1/", 2);
    proxy.Exchange("GET /relative HTTP/1.0\r\n\r\n");
  }
  ASSERT_TRUE(proxy.DrainTransactions(500));
  EXPECT_EQ(before, CountDescriptors());
}

std::string g_head;
std::string g_body;

void Collect(const GString& head, const BinData& body, void*) {
  g_head = head.Text();
  g_body.assign(reinterpret_cast<const char*>(body.GetData()), body.GetLength());
}

TEST(ProxyInfoTest, InternalRequestDeliversItsAnswer) {
  FakeOrigin origin("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<VelgradeChainProxy:127.0.0.9:3128>");
  ProxyHarness proxy;
  g_head.clear();
  std::string line = "GET http://127.0.0.1:" + std::to_string(origin.Port()) + "/c HTTP/1.0\r\n";
  proxy.Engine().AddTransaction(new ProxyInfo(proxy.Engine(), line.c_str(), BinData(), Collect, nullptr, 1));
  EXPECT_TRUE(proxy.DrainTransactions(500));
  EXPECT_EQ("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n", g_head);
  EXPECT_EQ("<VelgradeChainProxy:127.0.0.9:3128>", g_body);
  ASSERT_EQ(1u, origin.Requests().size());
  EXPECT_EQ("GET /c HTTP/1.0\r\nContent-Length: 0\r\nContent-Type: application/octet-stream\r\n\r\n",
            origin.Requests()[0]);
}

int g_completions = 0;

void Count(const GString& head, const BinData& body, void*) {
  ++g_completions;
  Collect(head, body, nullptr);
}

// An internal request always ends in its completion routine, exactly once,
// whatever the server does: the flows waiting on it would wait for ever.
TEST(ProxyInfoTest, InternalRequestCompletesWhenTheServerFails) {
  int closedPort;
  {
    FakeOrigin gone("");
    closedPort = gone.Port();
  }
  FakeOrigin truncated("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n");
  FakeOrigin garbage("\x01\x02 not http at all");
  for (int port : {closedPort, truncated.Port(), garbage.Port()}) {
    ProxyHarness proxy;
    g_completions = 0;
    g_head.clear();
    std::string line = "POST http://127.0.0.1:" + std::to_string(port) + "/sep HTTP/1.0\r\n";
    proxy.Engine().AddTransaction(new ProxyInfo(proxy.Engine(), line.c_str(), BinData("x", 1), Count, nullptr, 1));
    EXPECT_TRUE(proxy.DrainTransactions(500)) << port;
    EXPECT_EQ(1, g_completions) << port;
    EXPECT_EQ(std::string::npos, g_head.find(" 200 ")) << g_head;
  }
}

TEST(ProxyInfoTest, ChainProxyFetchedThroughTheEngine) {
  FakeOrigin origin("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<VelgradeChainProxy:127.0.0.9:3128>");
  ProxyHarness proxy("FetchChainProxy=1\n");
  proxy.Engine().FetchChainProxyFrom(("http://127.0.0.1:" + std::to_string(origin.Port()) + "/pac").c_str());
  sockaddr_in address{};
  ASSERT_TRUE(proxy.Engine().GetChainProxy(&address));
  EXPECT_EQ(htonl(0x7F000009), address.sin_addr.s_addr);
  EXPECT_TRUE(proxy.Recorder().messages.empty());
}

}  // namespace
