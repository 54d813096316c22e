// Form signing on the server: marked pages, and the verdict on signed forms
// told to the web site or refused, through a real server and client context.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include "common/Base64.h"
#include "server/proxy/FormSignatureCheck.h"
#include "server/proxy/ServerConfig.h"
#include "server/proxy/ServerProxy.h"
#include "tests/server/ServerTestKit.h"
#include "tests/session/TestPki.h"
#include "toolkit/SignatureVerifier.h"
#include "toolkit/ToolkitSession.h"

using session::CertificateAuthority;
using vserver::FormSignatureCheck;
using vserver::PageMarks;
using vserver::ServerConfig;
using vserver::ServerProxy;

namespace {

constexpr const char* kServerName = "cn=Server One,o=Example";
constexpr const char* kPassword = "server secret";
constexpr const char* kUserPassword = "user secret";

struct Parties {
  std::string serverProfile;
  std::string passwordFile;
  std::string userProfile;
  std::string otherProfile;
  gss_cred_id_t user = GSS_C_NO_CREDENTIAL;
};

const Parties& GetParties() {
  static Parties parties = [] {
    Parties p;
    TestPki& pki = TestPki::Instance();
    p.serverProfile = pki.WriteProfile(kServerName, CertificateAuthority::Role::kServer, kPassword);
    p.passwordFile = pki.NewPath("password");
    std::ofstream(p.passwordFile) << kPassword << "\n";
    p.userProfile = pki.WriteProfile("cn=Alice Smith,o=Example", CertificateAuthority::Role::kUser, kUserPassword);
    p.otherProfile = pki.WriteProfile("cn=Bob Jones,o=Example", CertificateAuthority::Role::kUser, kUserPassword);
    p.user = pki.Acquire(p.userProfile, kUserPassword, GSS_C_INITIATE);
    return p;
  }();
  return parties;
}

std::string UrlEncode(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (std::isalnum(c) || std::strchr("!$'()*,-._", c) != nullptr) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

// The ASCII form of the signature the holder of profile makes over text.
std::string Sign(const std::string& profile, const std::string& text) {
  std::unique_ptr<toolkit::ToolkitSession> session;
  if (toolkit::ToolkitSession::LogIn(profile.c_str(), kUserPassword, nullptr, session) != 0 || !session) return "";
  const BinData* signature = nullptr;
  const BinData* digest = nullptr;
  if (session->StartProtect(toolkit::ToolkitSession::kModeSign, "text/plain", 6) != 0 ||
      session->Protect(reinterpret_cast<const uint8_t*>(text.data()), text.size()) != 0 ||
      session->EndProtect(signature, digest) != 0 || signature == nullptr) {
    return "";
  }
  GString encoded = Base64Encode(signature->GetData(), signature->GetLength());
  return std::string(encoded.Text(), encoded.Size());
}

TEST(FormSignatureCheckTest, ClientFieldIsFoundAtAFieldStartAndDecoded) {
  struct Case {
    const char* text;
    bool found;
    const char* value;
  } cases[] = {
      {"a=1&CorvaskSigClient=ab%2B%2F%3D&b=2", true, "ab+/="},
      {"CorvaskSigClient=x", true, "x"},
      {"xCorvaskSigClient=y&CorvaskSigClient=z", true, "z"},
      {"a=1&CorvaskSigClient=%4", true, "%4"},
      {"a=CorvaskSigClient=1", false, ""},
  };
  for (const Case& c : cases) {
    std::string value;
    EXPECT_EQ(c.found, FormSignatureCheck::ClientFieldOf(c.text, value)) << c.text;
    if (c.found) {
      EXPECT_EQ(c.value, value) << c.text;
    }
  }
}

TEST(FormSignatureCheckTest, VerdictLineReplacesTheClientsOwn) {
  std::string header = FormSignatureCheck::WithVerdict("Host: a\r\nx-velgrade-signature: valid\r\n\r\n",
                                                       "X-Velgrade-Signature",
                                                       FormSignatureCheck::Verdict::kInvalid);
  EXPECT_EQ("Host: a\r\nX-Velgrade-Signature: invalid\r\n", header);
}

TEST(FormSignatureCheckTest, OnlyTheRecentMarksAreKept) {
  PageMarks marks;
  for (size_t i = 0; i <= PageMarks::kKept; ++i) marks.Add("m" + std::to_string(i));
  EXPECT_FALSE(marks.Contains("m0"));
  EXPECT_TRUE(marks.Contains("m1"));
  EXPECT_TRUE(marks.Contains("m" + std::to_string(PageMarks::kKept)));
}

TEST(FormSignatureCheckTest, SettingsAreRead) {
  ServerConfig config;
  std::string error;
  std::string text =
      "[Server]\nlistenPort=8443\nprofile=/p.epf\npasswordFile=/p.pw\noriginHost=127.0.0.1\n"
      "secureURL=/velgrade\ninsecureRedirectURL=http://example.com/\nsignDataPaths=/order /pay\nsignatureHeader=X-Signed\nrequireValidSignature=yes\n";
  ASSERT_TRUE(ServerConfig::Parse(text, "t.ini", config, error)) << error;
  EXPECT_EQ((std::vector<std::string>{"/order", "/pay"}), config.signDataPaths);
  EXPECT_EQ("X-Signed", config.signatureHeader);
  EXPECT_TRUE(config.requireValidSignature);
  EXPECT_FALSE(ServerConfig::Parse(text + "signatureHeader=X Signed\n", "t.ini", config, error));
}

class FormSignatureTest : public testing::Test {
 protected:
  void SetUp() override {
    config_.listenPort = 0;
    config_.profile = GetParties().serverProfile;
    config_.passwordFile = GetParties().passwordFile;
    config_.originHost = "127.0.0.1";
    config_.originPort = origin_.GetPort();
    config_.secureURL = "/velgrade";
    config_.insecureRedirectURL = "http://example.com/";
    config_.workerThreads = 4;
    config_.signDataPaths = {"/order"};
    config_.signatureHeader = "X-Velgrade-Signature";
  }

  void Start() {
    server_ = std::make_unique<ServerProxy>(config_);
    std::string error;
    ASSERT_TRUE(server_->Start(error)) << error;
    client_ = std::make_unique<TestClient>(GetParties().user, kServerName, server_->GetPort());
    ASSERT_TRUE(client_->Handshake(error)) << error;
  }

  HttpAnswer Send(const std::string& method, const std::string& path, const std::string& header,
                  const std::string& body) {
    std::string raw = client_->PostWrapped(method + " " + path + " HTTP/1.0\r\n", header + "\r\n", body);
    HttpAnswer answer;
    EXPECT_TRUE(client_->UnwrapAnswer(raw, answer)) << raw.substr(0, 300);
    return answer;
  }

  // The signed body for a form of the marked page with one field.
  std::string SignedForm(const std::string& mark, const std::string& profile, const std::string& field) {
    std::string text = field + "&CorvaskSigClient=" + UrlEncode(mark);
    return text + "&CorvaskSigSubmit=" + UrlEncode(Sign(profile, text)) + "\r\n";
  }

  std::string Verdict() {
    std::string head = origin_.LastRequestHead();
    size_t at = head.find("X-Velgrade-Signature: ");
    if (at == std::string::npos) return "";
    return head.substr(at + 22, head.find("\r\n", at) - at - 22);
  }

  TestOrigin origin_;
  ServerConfig config_;
  std::unique_ptr<ServerProxy> server_;
  std::unique_ptr<TestClient> client_;
};

TEST_F(FormSignatureTest, MarkedPagesAndVerdictsReachTheirReaders) {
  Start();
  HttpAnswer page = Send("GET", "/order/form", "", "");
  EXPECT_NE(std::string::npos, page.header.find("Corvask-SignData: yes\r\n"));
  EXPECT_EQ(std::string::npos, Send("GET", "/other", "", "").header.find("Corvask-SignData"));
  GString markText = toolkit::SignatureVerifier::PageMark(page.body.data(), page.body.size());
  std::string mark(markText.Text(), markText.Size());

  std::string body = SignedForm(mark, GetParties().userProfile, "a=1");
  EXPECT_EQ("POST " + body, Send("POST", "/echo", "X-Velgrade-Signature: valid\r\n", body).body);
  EXPECT_EQ("valid", Verdict());

  struct Case {
    std::string body;
    const char* verdict;
  } cases[] = {
      // One byte changed after signing.
      {std::string(body).replace(2, 1, "2"), "invalid"},
      // Signed by another user than the context's.
      {SignedForm(mark, GetParties().otherProfile, "a=1"), "invalid"},
      // A correct signature over a mark this server never gave.
      {SignedForm("bm90IGEgbWFyaw==", GetParties().userProfile, "a=1"), "invalid"},
      {"a=1&CorvaskSigClient=x&CorvaskSigSubmit=\r\n", "missing"},
      {"a=1", "missing"},
      {"a=1&CorvaskSigClient=x&CorvaskSigSubmit=AAAA\r\n", "invalid"},
  };
  for (const Case& c : cases) {
    // The client's own verdict line never reaches the web site.
    Send("POST", "/echo", "X-Velgrade-Signature: valid\r\n", c.body);
    EXPECT_EQ(c.verdict, Verdict()) << c.body;
  }
  Send("GET", "/echo", "X-Velgrade-Signature: valid\r\n", "");
  EXPECT_EQ("", Verdict());
}

TEST_F(FormSignatureTest, RefusedWhenAValidSignatureIsRequired) {
  config_.requireValidSignature = true;
  Start();
  HttpAnswer page = Send("GET", "/order", "", "");
  GString markText = toolkit::SignatureVerifier::PageMark(page.body.data(), page.body.size());
  std::string mark(markText.Text(), markText.Size());
  std::string body = SignedForm(mark, GetParties().userProfile, "a=1");
  EXPECT_EQ("HTTP/1.0 200 OK\r\n", Send("POST", "/echo", "", body).statusLine);
  HttpAnswer refused = Send("POST", "/echo", "", std::string(body).replace(2, 1, "2"));
  EXPECT_EQ("HTTP/1.0 403 Forbidden\r\n", refused.statusLine);
  EXPECT_EQ("HTTP/1.0 403 Forbidden\r\n",
            Send("POST", "/echo", "", "a=1&CorvaskSigClient=x&CorvaskSigSubmit=\r\n").statusLine);
  // A form that never was signable goes on, told as missing.
  EXPECT_EQ("HTTP/1.0 200 OK\r\n", Send("POST", "/echo", "", "a=1").statusLine);
  EXPECT_EQ("missing", Verdict());
}

}  // namespace
