#include <gtest/gtest.h>

#include <string>

#include "engine/UrlHostPort.h"
#include "engine/Velgrade.h"
#include "tests/engine/EngineTestSupport.h"

namespace {

using enginetest::FreePort;
using enginetest::IniWithPort;
using enginetest::Recorder;
using enginetest::TempFolder;

std::string g_head;
std::string g_body;
std::string g_requestLine;

// An internal request whose answer is the canned reply above, delivered at
// the first pass.
class CannedReply : public Transaction {
 public:
  CannedReply(CompletionRoutine completion, void* argument) : completion_(completion), argument_(argument) {}
  bool AddToFdSets(winsock::SOCKET&, winsock::FdSet&, winsock::FdSet&, winsock::FdSet&) override {
    completion_(GString(g_head.c_str()), BinData(g_body.data(), g_body.size()), argument_);
    return false;
  }
  bool ProcessStep(const winsock::FdSet&, const winsock::FdSet&, const winsock::FdSet&) override { return true; }
  bool IsSecure() const override { return false; }

 private:
  CompletionRoutine completion_;
  void* argument_;
};

Transaction* CreateCanned(Velgrade&, const char* requestLine, const BinData&, CompletionRoutine completion,
                          void* argument, int) {
  g_requestLine = requestLine;
  return new CannedReply(completion, argument);
}

class ChainProxyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    port_ = FreePort();
    folder_.Write("corvask.ini", IniWithPort(port_, "FetchChainProxy=1\n"));
    engine_ = std::make_unique<Velgrade>(folder_.Path().c_str(), recorder_.Callbacks(), &recorder_);
    TransactionFactory factory;
    factory.createInternal = CreateCanned;
    engine_->SetTransactionFactory(factory);
    ASSERT_TRUE(engine_->Start());
    recorder_.messages.clear();
  }

  // Fetches with the canned reply; returns the messages shown.
  std::vector<std::string> Fetch(const char* url, const std::string& head, const std::string& body) {
    g_head = head;
    g_body = body;
    recorder_.messages.clear();
    EXPECT_TRUE(engine_->FetchChainProxyFrom(url));
    return recorder_.messages;
  }

  int port_ = 0;
  TempFolder folder_;
  Recorder recorder_;
  std::unique_ptr<Velgrade> engine_;
};

TEST_F(ChainProxyTest, MarkerSetsOrClears) {
  auto shown = Fetch("http://config.test/proxy.pac", "HTTP/1.0 200 OK\r\n\r\n",
                     "x <VelgradeChainProxy:127.0.0.3:3129> y");
  EXPECT_TRUE(shown.empty());
  EXPECT_EQ("GET http://config.test/proxy.pac HTTP/1.0\r\n", g_requestLine);
  sockaddr_in address{};
  ASSERT_TRUE(engine_->GetChainProxy(&address));
  EXPECT_EQ(htonl(0x7F000003), address.sin_addr.s_addr);
  EXPECT_EQ(htons(3129), address.sin_port);

  shown = Fetch("http://config.test/", "HTTP/1.0 200 OK\r\n\r\n", "<VelgradeChainProxy:NONE>");
  EXPECT_TRUE(shown.empty());
  EXPECT_FALSE(engine_->GetChainProxy(nullptr));
}

TEST_F(ChainProxyTest, UnusableRepliesShowMessage2136) {
  const std::pair<const char*, std::string> cases[] = {
      {"HTTP/1.0 404 Not Found\r\n\r\n", "<VelgradeChainProxy:NONE>"},
      {"HTTP/1.0 200 OK\r\n\r\n", "<VelgradeChainProxy:host.test:0>"},
      {"HTTP/1.0 200 OK\r\n\r\n", "<VelgradeChainProxy:host.test:65535>"},
      {"HTTP/1.0 200 OK\r\n\r\n", "<VelgradeChainProxy:" + std::string(256, 'a') + ":80>"},
      {"HTTP/1.0 200 OK\r\n\r\n", "<VelgradeChainProxy:bad_host:80>"},
      {"HTTP/1.0 200 OK\r\n\r\n", "<VelgradeChainProxy:127.0.0.3:80"},
      {"HTTP/1.0 200 OK\r\n\r\n", "<VelgradeChainProxy:none>"},
      {"HTTP/1.0 200 OK\r\n\r\n", "no marker"},
  };
  for (const auto& [head, body] : cases) {
    engine_->SetChainProxy("127.0.0.2", 3128);
    auto shown = Fetch("http://config.test/", head, body);
    ASSERT_EQ(1u, shown.size()) << body;
    EXPECT_EQ(
        "There was a problem in retrieving the Velgrade intermediate proxy settings from\n\nhttp://config.test/"
        "\n\nAttempting to continue without an intermediate proxy.",
        shown[0]);
    EXPECT_FALSE(engine_->GetChainProxy(nullptr)) << body;
  }
}

TEST_F(ChainProxyTest, BadUrlShowsMessage2137) {
  for (const char* url : {"HTTP://config.test/", "", "ftp://x/"}) {
    auto shown = Fetch(url, "HTTP/1.0 200 OK\r\n\r\n", "<VelgradeChainProxy:NONE>");
    ASSERT_EQ(1u, shown.size()) << url;
    EXPECT_NE(std::string::npos, shown[0].find("automatic proxy configuration URL:\n\n" + std::string(url)));
  }
}

TEST_F(ChainProxyTest, OwnPortIsIgnored) {
  engine_->SetChainProxy("127.0.0.2", 3128);
  engine_->SetChainProxy("127.0.0.1", port_);
  EXPECT_TRUE(recorder_.Logged("Ignoring request to use proxy on <127.0.0.1:" + std::to_string(port_) +
                               "> since that's our IP."));
  sockaddr_in address{};
  ASSERT_TRUE(engine_->GetChainProxy(&address));
  EXPECT_EQ(htonl(0x7F000002), address.sin_addr.s_addr);
  engine_->SetChainProxy("127.0.0.1", port_ + 1);
  ASSERT_TRUE(engine_->GetChainProxy(&address));
  EXPECT_EQ(htonl(0x7F000001), address.sin_addr.s_addr);
  engine_->SetChainProxy(nullptr, 0);
  EXPECT_FALSE(engine_->GetChainProxy(nullptr));
}

TEST(ParseUrlHostPortTest, Table) {
  struct Case {
    const char* url;
    bool ok;
    const char* host;
    int port;
  };
  const Case cases[] = {
      {"http://proxy.test/config", true, "proxy.test", 80},
      {"http://proxy.test:3128/x/y", true, "proxy.test", 3128},
      {"http://proxy.test", true, "proxy.test", 80},
      {"http://proxy.test:/x", true, "proxy.test", 80},
      {"http://h:65535/", true, "h", 65535},
      {"http://:8080/", true, "", 8080},
      {"proxy.test:3128", false, "", 0},
      {"http://h:0/", false, "", 0},
      {"http://h:65536/", false, "", 0},
      {"http://h:99999999999999999999/", false, "", 0},
      {"http://h:-80/", false, "", 0},
      {"http://h:80x/", false, "", 0},
  };
  for (const Case& c : cases) {
    GString host;
    int port = 0;
    EXPECT_EQ(c.ok, ParseUrlHostPort(c.url, host, port)) << c.url;
    if (!c.ok) continue;
    EXPECT_STREQ(c.host, host.Text());
    EXPECT_EQ(c.port, port);
  }
}

}  // namespace
