// The secure channel against a real session library: contexts, the secure
// message, and transactions talking to a scripted server proxy in the same
// process.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <mutex>
#include <poll.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include <netinet/in.h>
#include <sys/socket.h>

#include "common/Base64.h"
#include "engine/Velgrade.h"
#include "secure/ProtectionLevel.h"
#include "secure/ProxyInfo.h"
#include "secure/SecureMessage.h"
#include "secure/SecureSiteTable.h"
#include "secure/SecurityContext.h"
#include "secure/SecurityContextTable.h"
#include "session/CvsApi.h"
#include "session/GssApi.h"
#include "tests/engine/EngineTestSupport.h"
#include "tests/secure/ProxyHarness.h"

namespace {

using securetest::ProxyHarness;

std::string Text(const BinData& data) {
  return std::string(reinterpret_cast<const char*>(data.GetData()), data.GetLength());
}

BinData Bytes(const std::string& text) { return BinData(text.data(), text.size()); }

// ---------------------------------------------------------------------------
// Pure rules.

struct MessageCase {
  const char* name;
  std::string bytes;
  SecureMessage::Result result;
  const char* part1;
  const char* part2;
  const char* body;
};

std::string Header(int headerLength, int version, uint32_t length1, uint32_t length2) {
  std::string header(12, '\0');
  header[0] = static_cast<char>(headerLength);
  header[1] = static_cast<char>(version);
  for (int i = 0; i < 4; ++i) {
    header[4 + i] = static_cast<char>(length1 >> (24 - 8 * i));
    header[8 + i] = static_cast<char>(length2 >> (24 - 8 * i));
  }
  return header;
}

TEST(SecureMessageTest, ParseTable) {
  const MessageCase cases[] = {
      {"eleven bytes", std::string(11, '\0'), SecureMessage::kNoData, "", "", ""},
      {"version byte 1", Header(12, 1, 0, 0), SecureMessage::kBadVersion, "", "", ""},
      {"all parts empty", Header(12, 0, 0, 0), SecureMessage::kOk, "", "", ""},
      {"three parts", Header(12, 0, 3, 2) + "abcdeBODY", SecureMessage::kOk, "abc", "de", "BODY"},
      {"part 1 past the end", Header(12, 0, 4, 0) + "abc", SecureMessage::kCorrupted, "", "", ""},
      {"part 2 past the end", Header(12, 0, 0, 4) + "abc", SecureMessage::kCorrupted, "", "", ""},
      {"lengths add up past the end", Header(12, 0, 2, 2) + "abc", SecureMessage::kCorrupted, "", "", ""},
      {"huge lengths do not wrap", Header(12, 0, 0xFFFFFFFF, 0xFFFFFFFF) + "abc", SecureMessage::kCorrupted, "",
       "", ""},
      {"header length past the end", Header(200, 0, 0, 0), SecureMessage::kCorrupted, "", "", ""},
      {"a longer header is skipped", Header(14, 0, 1, 1) + "xxabz", SecureMessage::kOk, "a", "b", "z"},
  };
  for (const MessageCase& row : cases) {
    GString part1;
    GString part2;
    BinData body;
    SecureMessage::Result result = SecureMessage::Parse(reinterpret_cast<const uint8_t*>(row.bytes.data()),
                                                        row.bytes.size(), part1, part2, body);
    EXPECT_EQ(result, row.result) << row.name;
    if (result != SecureMessage::kOk) continue;
    EXPECT_STREQ(part1.Text(), row.part1) << row.name;
    EXPECT_STREQ(part2.Text(), row.part2) << row.name;
    EXPECT_EQ(Text(body), row.body) << row.name;
  }
}

TEST(SecureMessageTest, BuildThenParseGivesTheParts) {
  std::string binaryBody("\0\1\2body\r\n\0", 10);
  BinData message;
  ASSERT_TRUE(SecureMessage::Build("GET / HTTP/1.0\r\n", "A: b\r\n\r\n", Bytes(binaryBody), message));
  EXPECT_EQ(Text(message).substr(0, 12), Header(12, 0, 16, 8));
  GString part1;
  GString part2;
  BinData body;
  ASSERT_EQ(SecureMessage::Parse(message.GetData(), message.GetLength(), part1, part2, body), SecureMessage::kOk);
  EXPECT_STREQ(part1.Text(), "GET / HTTP/1.0\r\n");
  EXPECT_STREQ(part2.Text(), "A: b\r\n\r\n");
  EXPECT_EQ(Text(body), binaryBody);
}

TEST(ProtectionLevelTest, CipherNamesAndSigningKeys) {
  struct Row {
    const char* cipher;
    bool dsa;
    uint32_t qop;
  } rows[] = {
      {"Triple DES", false, 0x400040}, {"triple-des", false, 0x400040}, {"rc2-40", false, 0x300040},
      {"Blowfish", false, 0x300040},   {"DES-CBC", false, 0x10040},     {"cast-64", false, 0x100040},
      {"CAST128", true, 0x500030},     {"Cast-128", false, 0x500040},   {nullptr, false, 0x300040},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(ProtectionLevel::QopFor(row.cipher, row.dsa), row.qop) << (row.cipher ? row.cipher : "(none)");
  }
}

TEST(SecureRulesTest, ServerNames) {
  struct Row {
    const char* name;
    bool accepted;
  } rows[] = {
      {"cn=Server Two,o=X", true}, {"cn=Server", true},        {"o=X,cn=Server", false},
      {"cn=server two,o=X", false}, {"cn=Alice,o=Server", false}, {"", false},
  };
  for (const Row& row : rows) EXPECT_EQ(Velgrade::CheckServerDN(row.name), row.accepted) << row.name;
}

TEST(SecureRulesTest, ClearImages) {
  struct Row {
    std::string body;
    const char* type;
    bool passes;
  } rows[] = {
      {"GIF87a...", "image/gif", true},
      {"GIF89a...", "IMAGE/GIF", true},
      {"GIF88a...", "image/gif", false},
      {"GIF8", "image/gif", false},
      {"\xFF\xD8\xFF\xE0rest", "image/jpeg", true},
      {"\xFF\xD8\xFF\xEErest", "image/jpeg", true},
      {"\xFF\xD8\xFF\xE1rest", "image/jpeg", false},
      {"%PDF-1.4", "application/pdf", false},
      {"GIF87a", "image/png", false},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(ProxyInfo::SniffImage(Bytes(row.body), row.type), row.passes) << row.body << " " << row.type;
  }
}

TEST(SecureRulesTest, ContextCommands) {
  struct Row {
    const char* url;
    bool chain;
    int port;
    const char* command;
  } rows[] = {
      {"/velgrade", false, 80, "POST /velgrade HTTP/1.0\r\n"},
      {"http://s.example:81/in/here", false, 80, "POST /in/here HTTP/1.0\r\n"},
      {"http://s.example", false, 80, "POST s.example HTTP/1.0\r\n"},
      {"/velgrade", true, 80, "POST http://site/velgrade HTTP/1.0\r\n"},
      {"/velgrade", true, 8081, "POST http://site:8081/velgrade HTTP/1.0\r\n"},
      {"http://other/x", true, 8081, "POST http://other/x HTTP/1.0\r\n"},
  };
  for (const Row& row : rows) {
    EXPECT_STREQ(ProxyInfo::BuildContextCommand(row.url, row.chain, "site", row.port).Text(), row.command)
        << row.url;
  }
}

// ---------------------------------------------------------------------------
// A real organisation: made once with velgrade-admin.

class Organisation {
 public:
  static Organisation& Get() {
    static Organisation organisation;
    return organisation;
  }
  const std::string& UserProfile() const { return user_; }
  const std::string& ServerProfile() const { return server_; }
  bool Made() const { return made_; }

  static gss_cred_id_t Acquire(const std::string& profile, int usage) {
    std::string password = "secret-pass-1";
    gss_buffer_desc secret{password.size(), password.data()};
    gss_cred_id_t credential = GSS_C_NO_CREDENTIAL;
    OM_uint32 minor = 0;
    GString path(profile.c_str());
    // The library takes the profile from the configuration's last one or by
    // name; the name form is the profile path.
    gss_buffer_desc name{path.Size(), const_cast<char*>(path.Text())};
    gss_name_t desired = GSS_C_NO_NAME;
    if (gss_import_name(&minor, &name, GSS_SPKM_NT_USER_NAME, &desired) != 0) return GSS_C_NO_CREDENTIAL;
    OM_uint32 major = cvs_acquire_cred(&minor, desired, 0, GSS_C_NO_OID_SET, usage, &credential, &secret);
    gss_release_name(&minor, &desired);
    return major == 0 ? credential : GSS_C_NO_CREDENTIAL;
  }

 private:
  Organisation() {
    std::string admin = VELGRADE_ADMIN;
    std::string dir = folder_.Path();
    folder_.Write("password", "secret-pass-1\n");
    user_ = dir + "alice.epf";
    server_ = dir + "server.epf";
    std::string quiet = " >/dev/null 2>&1";
    made_ = std::system((admin + " create-ca --dir " + dir + "ca --name o=Example" + quiet).c_str()) == 0 &&
            std::system((admin + " issue --ca " + dir + "ca --name 'cn=Server One,o=Example' --password-file " + dir +
                         "password --server --out " + server_ + quiet)
                            .c_str()) == 0 &&
            std::system((admin + " issue --ca " + dir + "ca --name 'cn=Alice Smith,o=Example' --password-file " +
                         dir + "password --out " + user_ + quiet)
                            .c_str()) == 0;
  }

  enginetest::TempFolder folder_;
  std::string user_;
  std::string server_;
  bool made_ = false;
};

// A server proxy in this process: accepts each connection on its own
// thread, reads one request and answers with what respond makes of it.
class ScriptedServer {
 public:
  using Responder = std::function<std::string(int index, const std::string& request)>;

  explicit ScriptedServer(Responder respond) : respond_(std::move(respond)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener_, 16);
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~ScriptedServer() {
    stop_ = true;
    thread_.join();
    ::close(listener_);
  }
  int Port() const { return port_; }
  std::vector<std::string> Requests() {
    std::lock_guard<std::mutex> guard(lock_);
    return requests_;
  }

 private:
  static std::string ReadRequest(int fd) {
    std::string data;
    char buffer[65536];
    size_t wanted = std::string::npos;
    for (int i = 0; i < 2000 && data.size() != wanted; ++i) {
      pollfd ready{fd, POLLIN, 0};
      if (::poll(&ready, 1, 10) <= 0) continue;
      ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      data.append(buffer, static_cast<size_t>(n));
      size_t end = data.find("\r\n\r\n");
      if (end != std::string::npos && wanted == std::string::npos) {
        size_t field = data.find("Content-Length: ");
        size_t length = field != std::string::npos && field < end ? std::strtoul(data.c_str() + field + 16, nullptr, 10) : 0;
        wanted = end + 4 + length;
      }
    }
    return data;
  }
  void Serve() {
    int index = 0;
    while (!stop_) {
      pollfd ready{listener_, POLLIN, 0};
      if (::poll(&ready, 1, 20) <= 0) continue;
      int fd = ::accept(listener_, nullptr, nullptr);
      if (fd < 0) continue;
      std::string request = ReadRequest(fd);
      {
        std::lock_guard<std::mutex> guard(lock_);
        requests_.push_back(request);
      }
      std::string answer = respond_(index++, request);
      for (size_t sent = 0; sent < answer.size();) {
        ssize_t n = ::send(fd, answer.data() + sent, answer.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<size_t>(n);
      }
      ::close(fd);
    }
  }

  Responder respond_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::mutex lock_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

std::string TokenOf(const std::string& message) {
  size_t end = message.find("\r\n\r\n");
  return end == std::string::npos ? std::string() : message.substr(end + 4);
}

std::string TokenMessage(const std::string& token) {
  return "HTTP/1.0 200 Velgrade data follows\r\nContent-Type: application/x-Velgrade\r\nContent-Length: " +
         std::to_string(token.size()) + "\r\n\r\n" + token;
}

// The acceptor's side of one context.
class Acceptor {
 public:
  Acceptor() : credential_(Organisation::Acquire(Organisation::Get().ServerProfile(), GSS_C_ACCEPT)) {}
  ~Acceptor() {
    OM_uint32 minor = 0;
    if (context_ != GSS_C_NO_CONTEXT) gss_delete_sec_context(&minor, &context_, GSS_C_NO_BUFFER);
    if (credential_ != GSS_C_NO_CREDENTIAL) gss_release_cred(&minor, &credential_);
  }
  bool Ready() const { return credential_ != GSS_C_NO_CREDENTIAL; }

  // Accepts token; returns the answer token (empty when complete).
  std::string Accept(const std::string& token, OM_uint32* majorOut = nullptr) {
    OM_uint32 minor = 0;
    gss_buffer_desc input{token.size(), const_cast<char*>(token.data())};
    gss_buffer_desc output = GSS_C_EMPTY_BUFFER;
    OM_uint32 major = gss_accept_sec_context(&minor, &context_, credential_, &input, GSS_C_NO_CHANNEL_BINDINGS,
                                             nullptr, nullptr, &output, nullptr, nullptr, nullptr);
    if (majorOut != nullptr) *majorOut = major;
    std::string answer(static_cast<const char*>(output.value), output.value ? output.length : 0);
    gss_release_buffer(&minor, &output);
    return answer;
  }
  std::string Wrap(const std::string& plain, int conf) {
    OM_uint32 minor = 0;
    gss_buffer_desc input{plain.size(), const_cast<char*>(plain.data())};
    gss_buffer_desc output = GSS_C_EMPTY_BUFFER;
    int state = 0;
    gss_wrap(&minor, context_, conf, 0, &input, &state, &output);
    std::string token(static_cast<const char*>(output.value), output.value ? output.length : 0);
    gss_release_buffer(&minor, &output);
    return token;
  }
  std::string Unwrap(const std::string& token) {
    OM_uint32 minor = 0;
    gss_buffer_desc input{token.size(), const_cast<char*>(token.data())};
    gss_buffer_desc output = GSS_C_EMPTY_BUFFER;
    int conf = 0;
    gss_qop_t qop = 0;
    gss_unwrap(&minor, context_, &input, &output, &conf, &qop);
    std::string plain(static_cast<const char*>(output.value), output.value ? output.length : 0);
    gss_release_buffer(&minor, &output);
    return plain;
  }
  std::string WrapMessage(const std::string& line, const std::string& header, const std::string& body, int conf) {
    BinData message;
    SecureMessage::Build(line.c_str(), header.c_str(), Bytes(body), message);
    return Wrap(Text(message), conf);
  }

 private:
  gss_cred_id_t credential_ = GSS_C_NO_CREDENTIAL;
  gss_ctx_id_t context_ = GSS_C_NO_CONTEXT;
};

class SecureChannelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Organisation::Get().Made()) << "velgrade-admin could not make the organisation";
    harness_ = std::make_unique<ProxyHarness>();
    gss_cred_id_t user = Organisation::Acquire(Organisation::Get().UserProfile(), GSS_C_INITIATE);
    ASSERT_NE(user, GSS_C_NO_CREDENTIAL);
    harness_->Engine().GetCredentialState().credential = user;
    harness_->Engine().GetCredentialState().profileName = Organisation::Get().UserProfile().c_str();
  }

  // A context for host and port, established with acceptor.
  SecurityContext* Establish(Acceptor& acceptor, const char* host, int port) {
    auto* ctx = new SecurityContext("cn=Server One,o=Example", "POST /velgrade HTTP/1.0\r\n");
    ctx->SetSite(host, port);
    BinData token;
    GString error;
    EXPECT_TRUE(ctx->Init(BinData(), token, error)) << error.Text();
    std::string answer = acceptor.Accept(Text(token));
    EXPECT_TRUE(ctx->Init(Bytes(answer), token, error)) << error.Text();
    OM_uint32 major = 1;
    EXPECT_TRUE(acceptor.Accept(Text(token), &major).empty());
    EXPECT_EQ(major, 0u);
    EXPECT_TRUE(ctx->IsEstablished());
    return ctx;
  }

  std::unique_ptr<ProxyHarness> harness_;
};

TEST_F(SecureChannelTest, UnwrapRefusesBadPlaintexts) {
  Acceptor acceptor;
  ASSERT_TRUE(acceptor.Ready());
  SecurityContext* ctx = Establish(acceptor, "alpha", 1);
  struct Row {
    std::string plain;
    const char* error;
  } rows[] = {
      {std::string(11, '\0'), "Received security token contains no data."},
      {Header(12, 1, 0, 0), "Incompatible Velgrade version used."},
      {Header(12, 0, 3, 3) + "abcde", "Received security token contains corrupted data."},
      {Header(12, 0, 0, 0), nullptr},
  };
  for (const Row& row : rows) {
    GString part1;
    GString part2;
    BinData body;
    int conf = 0;
    uint32_t qop = 0;
    GString error;
    bool ok = ctx->Unwrap(Bytes(acceptor.Wrap(row.plain, 1)), part1, part2, body, conf, qop, error);
    EXPECT_EQ(ok, row.error == nullptr) << row.plain.size();
    if (row.error != nullptr) {
      EXPECT_STREQ(error.Text(), row.error);
    } else {
      EXPECT_TRUE(part1.IsEmpty() && part2.IsEmpty() && body.IsEmpty() && conf == 1 && (qop & 0x1000));
    }
  }
  BinData token;
  GString error;
  ASSERT_TRUE(ctx->Wrap("GET / HTTP/1.0\r\n", "A: b\r\n\r\n", Bytes("body"), 1, 0x500040, token, error));
  EXPECT_EQ(acceptor.Unwrap(Text(token)), Header(12, 0, 16, 8) + "GET / HTTP/1.0\r\nA: b\r\n\r\nbody");
  SecurityContextTable::RemoveContext(ctx);
  EXPECT_TRUE(SecurityContextTable::IsContextTableEmpty());
}

TEST_F(SecureChannelTest, TableFindsReleasesAndPurges) {
  Acceptor first;
  Acceptor second;
  ASSERT_TRUE(first.Ready() && second.Ready());
  SecurityContext* alpha = Establish(first, "alpha", 81);
  SecurityContext* beta = Establish(second, "beta", 82);

  SecurityContext* found = SecurityContextTable::FindClientContext("ALPHA", 81);
  EXPECT_EQ(found, alpha);
  EXPECT_EQ(alpha->GetUseCount(), 2);
  found->Release();
  EXPECT_EQ(SecurityContextTable::FindClientContext("alpha", 80), nullptr);
  SecureSiteTable::RememberSecureSite("alpha", 81, "/velgrade", "cn=Server One,o=Example");
  SecureSiteTable::SecureSite site;
  EXPECT_TRUE(SecureSiteTable::FindSecureSite("alpha", 81, site));
  EXPECT_FALSE(SecureSiteTable::FindSecureSite("ALPHA", 81, site));

  // Released to 0 but still in the table: alive until it has been idle long
  // enough; beta stays in use and is never stale.
  EXPECT_EQ(alpha->Release(), 0);
  SecurityContext* again = SecurityContextTable::FindContextByHandle(alpha->GetGssContext());
  ASSERT_EQ(again, alpha);
  EXPECT_EQ(again->Release(), 0);
  SecurityContextTable::PurgeStaleContexts(60);
  EXPECT_EQ(SecurityContextTable::FindClientContext("beta", 82), beta);
  beta->Release();
  alpha->SetLastUsed(time(nullptr) - 600);
  beta->SetLastUsed(time(nullptr) - 600);
  SecurityContextTable::PurgeStaleContexts(60);
  EXPECT_EQ(SecurityContextTable::FindClientContext("alpha", 81), nullptr);
  EXPECT_TRUE(harness_->Recorder().Logged("is stale."));
  EXPECT_FALSE(SecurityContextTable::IsContextTableEmpty());

  // Sign-off removes contexts in use too.
  SecurityContextTable::PurgeStaleContexts(0);
  EXPECT_TRUE(SecurityContextTable::IsContextTableEmpty());
  EXPECT_TRUE(harness_->Recorder().Logged("Internal error - deleting in-use security context"));
}

TEST_F(SecureChannelTest, InitFailuresAreReported) {
  BinData token;
  GString error;
  auto* unnamed = new SecurityContext("", "POST / HTTP/1.0\r\n");
  EXPECT_FALSE(unnamed->Init(BinData(), token, error));
  EXPECT_STREQ(error.Text(), "Target name not initialized.");
  delete unnamed;
  // A name the library refuses stops before any context exists.
  auto* misnamed = new SecurityContext("not a name", "POST / HTTP/1.0\r\n");
  EXPECT_FALSE(misnamed->Init(BinData(), token, error));
  EXPECT_FALSE(error.IsEmpty());
  EXPECT_EQ(misnamed->GetGssContext(), GSS_C_NO_CONTEXT);
  EXPECT_EQ(misnamed->GetUseCount(), 0);
  delete misnamed;
  EXPECT_TRUE(SecurityContextTable::IsContextTableEmpty());
}

// A site that already has a context: the request goes out wrapped at once
// and the answer is judged by its protection.
TEST_F(SecureChannelTest, WrappedAnswersMustBeConfidential) {
  Acceptor acceptor;
  ASSERT_TRUE(acceptor.Ready());
  std::atomic<int> confidentiality{1};
  ScriptedServer server([&](int, const std::string& request) {
    std::string plain = acceptor.Unwrap(TokenOf(request));
    std::string body = plain.find("GET /page HTTP/1.0\r\n") != std::string::npos ? "the page" : "wrong request";
    return TokenMessage(acceptor.WrapMessage("HTTP/1.0 200 OK\r\n", "Content-Type: text/html\r\n\r\n", body,
                                             confidentiality));
  });
  SecurityContext* ctx = Establish(acceptor, "127.0.0.1", server.Port());
  ctx->Release();  // the table keeps it; transactions take their own
  std::string request = "GET http://127.0.0.1:" + std::to_string(server.Port()) + "/page HTTP/1.1\r\nHost: x\r\n\r\n";
  std::string answer = harness_->Exchange(request);
  EXPECT_EQ(answer.substr(0, 17), "HTTP/1.0 200 OK\r\n");
  EXPECT_NE(answer.find("\r\n\r\nthe page"), std::string::npos);
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0].rfind("POST /velgrade HTTP/1.0\r\nContent-Type: application/x-Velgrade\r\n", 0), 0u);

  confidentiality = 0;
  answer = harness_->Exchange(request);
  EXPECT_EQ(answer.rfind("HTTP/1.0 500 Velgrade Security Error\r\n", 0), 0u);
  EXPECT_NE(answer.find("Received security token did not use proper security facilities."), std::string::npos);
  EXPECT_TRUE(SecurityContextTable::IsContextTableEmpty());
  EXPECT_TRUE(harness_->DrainTransactions(200));
}

// A context still being built by another transaction is not used: the
// request goes its own way instead of failing to wrap.
TEST_F(SecureChannelTest, HalfBuiltContextsAreLeftToTheirHandshake) {
  securetest::FakeOrigin origin("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 5\r\n\r\nplain");
  auto* building = new SecurityContext("cn=Server One,o=Example", "POST /velgrade HTTP/1.0\r\n");
  building->SetSite("127.0.0.1", origin.Port());
  BinData token;
  GString error;
  ASSERT_TRUE(building->Init(BinData(), token, error)) << error.Text();
  ASSERT_FALSE(building->IsEstablished());
  std::string answer =
      harness_->Exchange("GET http://127.0.0.1:" + std::to_string(origin.Port()) + "/ HTTP/1.0\r\n\r\n");
  EXPECT_NE(answer.find("\r\n\r\nplain"), std::string::npos) << answer;
  EXPECT_EQ(building->GetUseCount(), 1);
  SecurityContextTable::RemoveContext(building);
}

// An announcement with the name only: the tokens go to the URL the browser
// asked for; a name that is no server's is refused.
TEST_F(SecureChannelTest, AnnouncementsAreCheckedAndFollowed) {
  Acceptor acceptor;
  ASSERT_TRUE(acceptor.Ready());
  std::string name = "cn=Server One,o=Example";
  ScriptedServer server([&](int index, const std::string& request) -> std::string {
    if (index == 0) {
      return "HTTP/1.0 302 Velgrade Required\r\nLocation: http://elsewhere/\r\nContent-Type: text/plain\r\n"
             "Corvask-ID: " + std::string(Base64Encode(name.data(), name.size()).Text()) + "\r\n\r\n";
    }
    std::string answer = acceptor.Accept(TokenOf(request));
    if (!answer.empty()) return TokenMessage(answer);
    if (index == 2) return TokenMessage(acceptor.WrapMessage("", "", "", 1));
    acceptor.Unwrap(TokenOf(request));
    return TokenMessage(acceptor.WrapMessage("HTTP/1.0 200 OK\r\n", "Content-Type: text/html\r\n\r\n", "hello", 1));
  });
  std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + "/asked?q=1";
  std::string answer = harness_->Exchange("GET " + url + " HTTP/1.0\r\n\r\n");
  EXPECT_NE(answer.find("\r\n\r\nhello"), std::string::npos) << answer;
  std::vector<std::string> requests = server.Requests();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(requests[0].rfind("GET /asked?q=1 HTTP/1.0\r\n", 0), 0u);
  for (size_t i = 1; i < requests.size(); ++i) {
    EXPECT_EQ(requests[i].rfind("POST /asked?q=1 HTTP/1.0\r\n", 0), 0u) << requests[i].substr(0, 40);
  }
  SecureSiteTable::SecureSite site;
  EXPECT_TRUE(SecureSiteTable::FindSecureSite("127.0.0.1", server.Port(), site));

  name = "o=Example,cn=Server One";
  ScriptedServer impostor([&](int, const std::string&) {
    return "HTTP/1.0 302 Velgrade Required\r\nContent-Type: text/plain\r\nCorvask-ID: " +
           std::string(Base64Encode(name.data(), name.size()).Text()) + " /velgrade\r\n\r\n";
  });
  answer = harness_->Exchange("GET http://127.0.0.1:" + std::to_string(impostor.Port()) + "/ HTTP/1.0\r\n\r\n");
  EXPECT_NE(answer.find("Invalid Corvask name <I>o=Example,cn=Server One</I> supplied by remote system."),
            std::string::npos);
  EXPECT_EQ(impostor.Requests().size(), 1u);
}

}  // namespace
