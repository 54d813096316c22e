// The server on 127.0.0.1 with a small origin behind it and a test client
// that speaks the token protocol through the session library.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/Base64.h"
#include "server/proxy/SecureMessage.h"
#include "server/proxy/ServerProxy.h"
#include "tests/server/ServerTestKit.h"
#include "tests/session/TestPki.h"

using session::CertificateAuthority;
using vserver::ServerConfig;
using vserver::ServerProxy;

namespace {

constexpr const char* kServerName = "cn=Server One,o=Example";
constexpr const char* kPassword = "server secret";

struct Shared {
  std::string serverProfile;
  std::string passwordFile;
  gss_cred_id_t user = GSS_C_NO_CREDENTIAL;
};

Shared& Pki() {
  static Shared shared = [] {
    Shared s;
    TestPki& pki = TestPki::Instance();
    s.serverProfile = pki.WriteProfile(kServerName, CertificateAuthority::Role::kServer, kPassword);
    s.passwordFile = pki.NewPath("password");
    std::ofstream(s.passwordFile) << kPassword << "\n";
    std::string user = pki.WriteProfile("cn=Alice Smith,o=Example",
                                        CertificateAuthority::Role::kUser, "user secret");
    s.user = pki.Acquire(user, "user secret", GSS_C_INITIATE);
    return s;
  }();
  return shared;
}

std::string IdentityLine() {
  GString name = Base64Encode(kServerName, std::strlen(kServerName));
  return std::string("Corvask-ID: ") + name.Text() + " /velgrade";
}

class ServerProxyTest : public testing::Test {
 protected:
  void SetUp() override {
    config_.listenPort = 0;
    config_.profile = Pki().serverProfile;
    config_.passwordFile = Pki().passwordFile;
    config_.originHost = "127.0.0.1";
    config_.originPort = origin_.GetPort();
    config_.secureURL = "/velgrade";
    config_.insecureRedirectURL = "http://example.com/get-velgrade";
    config_.noEncryptTypes = "image/gif ";
    config_.noEncryptDirs[0] = "/big";
    config_.noEncryptDirs[1] = "/pubtext";
    config_.logoffPaths = {"/logoff"};
    config_.disconnectPaths = {"/disconnect"};
    config_.workerThreads = 8;
    config_.clientTimeout = 2;
    config_.originTimeout = 1;
    config_.maxRequestBody = 1 << 20;
  }

  void StartServer() {
    server_ = std::make_unique<ServerProxy>(config_);
    std::string error;
    ASSERT_TRUE(server_->Start(error)) << error;
    client_ = std::make_unique<TestClient>(Pki().user, kServerName, server_->GetPort());
  }

  void Connect() {
    std::string error;
    ASSERT_TRUE(client_->Handshake(error)) << error;
  }

  // Fetches path wrapped; fails the test when the answer is not wrapped.
  HttpAnswer Get(const std::string& path, const std::string& method = "GET",
                 const std::string& body = "") {
    std::string raw = client_->PostWrapped(method + " " + path + " HTTP/1.0\r\n",
                                           "Corvask-Client-IP: 127.0.0.1\r\nHost: site\r\n\r\n", body);
    HttpAnswer answer;
    EXPECT_TRUE(client_->UnwrapAnswer(raw, answer)) << raw.substr(0, 400);
    return answer;
  }

  HttpAnswer Raw(const std::string& raw) {
    HttpAnswer answer;
    EXPECT_TRUE(SplitAnswer(raw, answer)) << raw.substr(0, 200);
    return answer;
  }

  TestOrigin origin_;
  ServerConfig config_;
  std::unique_ptr<ServerProxy> server_;
  std::unique_ptr<TestClient> client_;
};

TEST_F(ServerProxyTest, AnnouncesItselfToEveryPlainRequest) {
  StartServer();
  std::string expected = "HTTP/1.0 302 Velgrade Required\r\nLocation: http://example.com/get-velgrade\r\n"
                         "Content-Type: text/plain\r\n" + IdentityLine() + "\r\n\r\n";
  EXPECT_EQ(expected, ExchangeWith(server_->GetPort(), "GET / HTTP/1.0\r\n\r\n"));
  EXPECT_EQ(expected, ExchangeWith(server_->GetPort(), "HEAD /x HTTP/1.0\r\nHost: a\r\n\r\n"));
  EXPECT_EQ(expected, ExchangeWith(server_->GetPort(),
                                   "POST /velgrade HTTP/1.0\r\nContent-Length: 2\r\n\r\nab"));
}

TEST_F(ServerProxyTest, RelaysWrappedRequestsAndNeverSendsTheClearPage) {
  StartServer();
  Connect();
  EXPECT_EQ(1u, server_->GetContextCount());
  std::string raw = client_->PostWrapped("GET /hello HTTP/1.0\r\n", "Host: site\r\n\r\n", "");
  EXPECT_EQ(std::string::npos, raw.find("page /hello"));
  HttpAnswer page;
  ASSERT_TRUE(client_->UnwrapAnswer(raw, page));
  EXPECT_EQ("HTTP/1.0 200 OK\r\n", page.statusLine);
  EXPECT_EQ("Content-Type: text/html\r\nContent-Length: 18\r\n\r\n", page.header);
  EXPECT_EQ("<p>page /hello</p>", page.body);
  EXPECT_EQ("GET /hello HTTP/1.0\r\nHost: site\r\nConnection: close\r\n\r\n",
            origin_.LastRequestHead());

  HttpAnswer echo = Get("/echo", "POST", "a=1&b=2");
  EXPECT_EQ("POST a=1&b=2", echo.body);
  HttpAnswer head = Get("/hello", "HEAD");
  EXPECT_EQ("HTTP/1.0 200 OK\r\n", head.statusLine);
  EXPECT_NE(std::string::npos, head.header.find("Content-Length: 18\r\n"));
  EXPECT_TRUE(head.body.empty());
}

TEST_F(ServerProxyTest, TenMegabytesArriveIntactWrappedOrExempt) {
  config_.noEncryptDirs[0].clear();
  StartServer();
  Connect();
  HttpAnswer big = Get("/big");
  EXPECT_TRUE(big.body == TestOrigin::BigBody());
  server_.reset();
  config_.noEncryptDirs[0] = "/big";
  StartServer();
  Connect();
  HttpAnswer clear = Raw(client_->PostWrapped("GET /big HTTP/1.0\r\n", "\r\n", ""));
  EXPECT_EQ("HTTP/1.0 200 OK\r\n", clear.statusLine);
  EXPECT_TRUE(clear.body == TestOrigin::BigBody());
}

TEST_F(ServerProxyTest, ExemptAnswersTravelInTheClearAndTextNever) {
  StartServer();
  Connect();
  HttpAnswer gif = Raw(client_->PostWrapped("GET /image.gif HTTP/1.0\r\n", "\r\n", ""));
  EXPECT_EQ("HTTP/1.0 200 OK\r\n", gif.statusLine);
  EXPECT_EQ("Content-Type: image/gif\r\nContent-Length: 18\r\n\r\n", gif.header);
  EXPECT_EQ("GIF89a-image-bytes", gif.body);
  // Under an exempt path, text is still wrapped.
  EXPECT_EQ("<p>page /pubtext/a</p>", Get("/pubtext/a").body);
}

TEST_F(ServerProxyTest, RefusesBadTokensWithTheSecurityErrorPage) {
  StartServer();
  Connect();
  struct Case {
    std::string token;
    const char* reason;
  };
  std::string good = client_->WrapPlain(std::string("\x0c\0\0\0\0\0\0\x0f\0\0\0\x02GET / HTTP/1.0\r\n\r\n", 29));
  std::string altered = good;
  altered[altered.size() - 3] ^= 0x20;
  std::string version(12, '\0');
  version[0] = 12;
  version[1] = 1;
  std::string lengths(12, '\0');
  lengths[0] = 12;
  lengths[7] = 1;
  Case cases[] = {
      {"", "Empty security data received."},
      {"not a token at all", ""},
      {client_->WrapPlain("GET / HTTP/1.0\r\n", 0),
       "Received security token did not use proper security facilities."},
      {client_->WrapPlain(std::string(11, '\0')), "Received security token contains no data."},
      {client_->WrapPlain(version), "Incompatible Velgrade version used."},
      {client_->WrapPlain(lengths), "Received security token contains corrupted data."},
      {altered, ""},
  };
  for (const Case& c : cases) {
    HttpAnswer page = Raw(client_->PostToken(c.token));
    EXPECT_EQ("HTTP/1.0 500 Velgrade Security Error\r\n", page.statusLine) << c.reason;
    EXPECT_EQ("Proxy-agent: Velgrade\r\nContent-type: text/html\r\n\r\n", page.header);
    EXPECT_NE(std::string::npos, page.body.find(c.reason)) << page.body;
    EXPECT_NE(std::string::npos, page.body.find("The Velgrade server at 127.0.0.1:"));
  }
  // A token already used is refused the second time.
  EXPECT_NE(std::string::npos, client_->PostToken(good).find("HTTP/1.0 200 Velgrade data follows"));
  EXPECT_EQ("HTTP/1.0 500 Velgrade Security Error\r\n", Raw(client_->PostToken(good)).statusLine);
  // The context survives all of it.
  EXPECT_EQ("<p>page /after</p>", Get("/after").body);
}

TEST_F(ServerProxyTest, ARestartedServerSendsItsIdentityAndANewContextWorks) {
  StartServer();
  Connect();
  server_.reset();
  server_ = std::make_unique<ServerProxy>(config_);
  std::string error;
  ASSERT_TRUE(server_->Start(error)) << error;
  client_->SetPort(server_->GetPort());
  HttpAnswer page = Raw(client_->PostWrapped("GET / HTTP/1.0\r\n", "\r\n", ""));
  EXPECT_EQ("HTTP/1.0 500 Velgrade Security Error\r\n", page.statusLine);
  EXPECT_EQ("Proxy-agent: Velgrade\r\nContent-type: text/html\r\n" + IdentityLine() + "\r\n\r\n",
            page.header);
  EXPECT_NE(std::string::npos, page.body.find("</html>"));
  client_->DropContext();
  Connect();
  EXPECT_EQ("<p>page /again</p>", Get("/again").body);
}

TEST_F(ServerProxyTest, LogoffAndDisconnectPathsInstructTheClient) {
  StartServer();
  Connect();
  HttpAnswer logoff = Get("/logoff");
  EXPECT_NE(std::string::npos, logoff.header.find("Corvask-Logoff: yes\r\n\r\n"));
  EXPECT_EQ(0u, server_->GetContextCount());
  client_->DropContext();
  Connect();
  HttpAnswer disconnect = Get("/disconnect/now");
  EXPECT_NE(std::string::npos, disconnect.header.find("Corvask-Disconnect: yes\r\n"));
  EXPECT_EQ(std::string::npos, disconnect.header.find("Logoff"));
  HttpAnswer gone = Raw(client_->PostWrapped("GET / HTTP/1.0\r\n", "\r\n", ""));
  EXPECT_NE(std::string::npos, gone.header.find(IdentityLine() + "\r\n\r\n"));
}

TEST_F(ServerProxyTest, ContextsBeyondTheLimitAreRefused) {
  config_.maxContexts = 1;
  StartServer();
  Connect();
  TestClient second(Pki().user, kServerName, server_->GetPort());
  std::string error;
  EXPECT_FALSE(second.Handshake(error));
  EXPECT_NE(std::string::npos, error.find("too many secure sessions")) << error;
  EXPECT_EQ("<p>page /first</p>", Get("/first").body);
}

TEST_F(ServerProxyTest, IdleContextsAreDropped) {
  config_.contextIdleTimeout = 1;
  StartServer();
  Connect();
  for (int i = 0; i < 100 && server_->GetContextCount() != 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(0u, server_->GetContextCount());
  HttpAnswer gone = Raw(client_->PostWrapped("GET / HTTP/1.0\r\n", "\r\n", ""));
  EXPECT_EQ("HTTP/1.0 500 Velgrade Security Error\r\n", gone.statusLine);
}

TEST_F(ServerProxyTest, FailingOriginsAndClientsNeverStopTheServer) {
  StartServer();
  Connect();
  for (const char* path : {"/close", "/garbage", "/slow"}) {
    HttpAnswer page = Get(path);
    EXPECT_EQ("HTTP/1.0 502 Bad Gateway\r\n", page.statusLine) << path;
  }
  // A client that sends garbage, one that stops half-way, one too large.
  ExchangeWith(server_->GetPort(), std::string("\0\1\2\3garbage\r\n\r\n", 15));
  ExchangeWith(server_->GetPort(), "POST /velgrade HTTP/1.0\r\nContent-Le");
  std::string huge = "POST /velgrade HTTP/1.0\r\nContent-Type: application/x-Velgrade\r\n"
                     "Content-Length: 99999999\r\n\r\n";
  EXPECT_NE(std::string::npos, ExchangeWith(server_->GetPort(), huge).find("413"));
  // A request that is wrapped but not one an origin may receive.
  EXPECT_EQ("HTTP/1.0 400 Bad Request\r\n", Get("http://elsewhere/").statusLine);
  for (int i = 0; i < 100 && server_->GetBusyCount() != 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(0u, server_->GetBusyCount());
  EXPECT_EQ("<p>page /still</p>", Get("/still").body);
}

TEST_F(ServerProxyTest, SlowClientsHoldNoWorker) {
  // One worker, and a client time-out longer than the test client waits: a
  // worker held by the slow connection would leave the request unanswered.
  config_.workerThreads = 1;
  config_.clientTimeout = 60;
  StartServer();
  Connect();
  std::vector<int> slow;
  for (int i = 0; i < 3; ++i) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(server_->GetPort());
    ASSERT_EQ(0, connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address));
    ASSERT_EQ(36, send(fd, "POST /velgrade HTTP/1.0\r\nContent-Le", 36, MSG_NOSIGNAL));
    slow.push_back(fd);
  }
  EXPECT_EQ("<p>page /quick</p>", Get("/quick").body);
  for (int fd : slow) close(fd);
}

TEST_F(ServerProxyTest, ParallelRequestsShareOneContext) {
  StartServer();
  Connect();
  std::vector<std::thread> threads;
  std::atomic<int> good{0};
  for (int t = 0; t < 6; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 5; ++i) {
        std::string path = "/p" + std::to_string(t) + "-" + std::to_string(i);
        // Wrapping is done under a lock so the tokens leave in sequence order.
        std::string token;
        {
          static std::mutex wrapLock;
          std::lock_guard<std::mutex> guard(wrapLock);
          std::string plain;
          vserver::SecureMessage::Build("GET " + path + " HTTP/1.0\r\n", "\r\n", "", plain);
          token = client_->WrapPlain(plain);
        }
        HttpAnswer page;
        if (client_->UnwrapAnswer(client_->PostToken(token), page) &&
            page.body == "<p>page " + path + "</p>")
          ++good;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(30, good.load());
  EXPECT_EQ(1u, server_->GetContextCount());
}

}  // namespace
