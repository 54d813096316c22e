// The built libcvapi32.so, loaded by its Windows name and called through the
// entry-point types the engine uses.
#include <gtest/gtest.h>
#include <openssl/sha.h>

#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "common/Base64.h"
#include "engine/ToolkitEntryPoints.h"
#include "platform/DynamicLibrary.h"
#include "tests/session/TestPki.h"
#include "tests/toolkit/ToolkitTestSupport.h"
#include "toolkit/SignatureVerifier.h"

using session::CertificateAuthority;
using toolkit::SignatureVerifier;

namespace {

constexpr char kPassword[] = "Sign-0n!";
constexpr int16_t kWrongPassword = static_cast<int16_t>(0xF012);

template <typename Function>
void Fetch(HMODULE module, const char* name, Function& target) {
  target = reinterpret_cast<Function>(GetProcAddress(module, name));
  EXPECT_NE(nullptr, target) << name;
}

// What one protect call gave: both buffers copied, and the chosen one in the
// ASCII form the client makes of it.
struct Protected {
  int16_t status = -1;
  std::string first;
  std::string second;
  std::string text;
};

class ToolkitLibraryTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    module_ = LoadLibraryA(VELGRADE_TOOLKIT_NAME);
    ASSERT_NE(nullptr, module_) << VELGRADE_TOOLKIT_NAME;
    calls_ = new ToolkitEntryPoints;
    Fetch(module_, "_CVLogin@16", calls_->login);
    Fetch(module_, "_CVLogout@4", calls_->logout);
    Fetch(module_, "_CVQueryCorLogWarning@4", calls_->queryCorLogWarning);
    Fetch(module_, "_CVCorLogToString@4", calls_->corLogToString);
    Fetch(module_, "_CVStartProtect@24", calls_->startProtect);
    Fetch(module_, "_CVEndProtect@12", calls_->endProtect);
    Fetch(module_, "_CVProtect@8", calls_->protect);
    Fetch(module_, "_CVStartUnprotect@12", calls_->startUnprotect);
    Fetch(module_, "_CVEndUnprotect@12", calls_->endUnprotect);
    Fetch(module_, "_CVASCIIencode@8", calls_->asciiEncode);
    Fetch(module_, "_CVASCIIdecode@8", calls_->asciiDecode);
    Fetch(module_, "_CVRemoveWarning@4", calls_->removeWarning);
    profile_ = new std::string(
        TestPki::Instance().WriteProfile("cn=Alice Smith,o=Example", CertificateAuthority::Role::kUser, kPassword));
  }
  static void TearDownTestSuite() {
    delete calls_;
    delete profile_;
    FreeLibrary(module_);
  }

  // The steps a signing client takes: start, protect, end, then the ASCII
  // form of the first buffer (sign) or the second (mark) in a target of
  // n * 4 / 3 + 6 bytes.
  static Protected Run(CVHandle handle, int32_t mode, const std::string& data) {
    Protected result;
    result.status = calls_->startProtect(handle, mode, 0, 0, "text/plain", 6);
    if (result.status != 0) return result;
    CVBuffer input{static_cast<uint32_t>(data.size()),
                   reinterpret_cast<uint8_t*>(const_cast<char*>(data.data()))};
    int16_t protectStatus = calls_->protect(handle, &input);
    CVBuffer first{};
    CVBuffer second{};
    result.status = calls_->endProtect(handle, &first, &second);
    if (protectStatus != 0) result.status = protectStatus;
    if (result.status != 0) return result;
    result.first.assign(reinterpret_cast<char*>(first.data), first.length);
    result.second.assign(reinterpret_cast<char*>(second.data), second.length);
    const CVBuffer& chosen = mode == 3 ? first : second;
    std::vector<uint8_t> target(chosen.length * 4 / 3 + 6);
    CVBuffer encoded{static_cast<uint32_t>(target.size()), target.data()};
    result.status = calls_->asciiEncode(&chosen, &encoded);
    result.text.assign(reinterpret_cast<char*>(target.data()), encoded.length);
    return result;
  }

  static CVHandle LogIn(const std::string& profile, const char* password, int16_t expected,
                        const std::string& config = "") {
    CVHandle handle = 0;
    int16_t code = calls_->login(&handle, profile.c_str(), password, config.empty() ? nullptr : config.c_str());
    EXPECT_EQ(expected, code) << calls_->corLogToString(code);
    return handle;
  }

  static HMODULE module_;
  static ToolkitEntryPoints* calls_;
  static std::string* profile_;
};

HMODULE ToolkitLibraryTest::module_ = nullptr;
ToolkitEntryPoints* ToolkitLibraryTest::calls_ = nullptr;
std::string* ToolkitLibraryTest::profile_ = nullptr;

}  // namespace

TEST_F(ToolkitLibraryTest, LogsInAndOut) {
  CVHandle handle = LogIn(*profile_, kPassword, 0);
  ASSERT_NE(0u, handle);
  CVHandle second = LogIn(*profile_, kPassword, 0);
  EXPECT_NE(handle, second);
  EXPECT_EQ(0, calls_->logout(handle));
  EXPECT_NE(0, calls_->logout(handle));
  EXPECT_NE(0, Run(handle, 3, "a=1").status);
  EXPECT_EQ(0, calls_->logout(second));
}

TEST_F(ToolkitLibraryTest, LogInErrorsLeaveNoHandle) {
  std::string damaged = TestPki::Instance().NewPath("damaged");
  std::ofstream(damaged) << "[profile]\nFormat=1\nCertificate=AAAA\n";
  time_t now = time(nullptr);
  std::string expired = TestPki::Instance().WriteProfile("cn=Old,o=Example", CertificateAuthority::Role::kUser,
                                                         kPassword, now - 400 * 86400, now - 86400);
  struct Case {
    const char* name;
    std::string profile;
    const char* password;
    const char* text;
  };
  const Case cases[] = {
      {"wrong password", *profile_, "wrong", "Invalid password."},
      {"empty password", *profile_, "", "Invalid password."},
      {"missing profile", TestPki::Instance().NewPath("missing"), kPassword, "The profile cannot be read."},
      {"damaged profile", damaged, kPassword, "The profile is damaged."},
      {"expired certificate", expired, kPassword, "Your signing certificate has expired."},
  };
  for (const Case& c : cases) {
    CVHandle handle = 77;
    int16_t code = calls_->login(&handle, c.profile.c_str(), c.password, nullptr);
    EXPECT_LT(code, 0) << c.name;
    EXPECT_EQ(0u, handle) << c.name;
    EXPECT_EQ(0, calls_->queryCorLogWarning(code)) << c.name;
    int16_t remaining = code;
    EXPECT_EQ(static_cast<uint16_t>(code), calls_->removeWarning(&remaining)) << c.name;
    EXPECT_STREQ(c.text, calls_->corLogToString(code)) << c.name;
  }
  CVHandle handle = 0;
  EXPECT_LT(calls_->login(&handle, profile_->c_str(), nullptr, nullptr), 0);
  EXPECT_LT(calls_->login(nullptr, profile_->c_str(), kPassword, nullptr), 0);
}

TEST_F(ToolkitLibraryTest, WarningsSignOnAndRemoveToNothing) {
  time_t now = time(nullptr);
  std::string expiring = TestPki::Instance().WriteProfile(
      "cn=Soon,o=Example", CertificateAuthority::Role::kUser, kPassword, now - 86400, now + 86400);
  struct Case {
    const char* name;
    std::string profile;
    bool handle;
  };
  const Case cases[] = {{"certificate expiring", expiring, true}, {"no profile", "", false}};
  for (const Case& c : cases) {
    CVHandle handle = 0;
    int16_t code = calls_->login(&handle, c.profile.c_str(), kPassword, nullptr);
    EXPECT_GT(code, 0) << c.name;
    EXPECT_NE(0, calls_->queryCorLogWarning(code)) << c.name;
    EXPECT_STRNE("Unknown signing toolkit status.", calls_->corLogToString(code)) << c.name;
    int16_t remaining = code;
    EXPECT_EQ(0u, calls_->removeWarning(&remaining)) << c.name;
    EXPECT_EQ(0, remaining) << c.name;
    EXPECT_EQ(c.handle, handle != 0) << c.name;
    if (handle != 0) {
      EXPECT_EQ(0, calls_->logout(handle));
    }
  }
}

TEST_F(ToolkitLibraryTest, UnreachableDirectoryGivesF075WithAUsableHandle) {
  std::string unreachable = WriteConfig("127.0.0.1:" + std::to_string(ClosedPort()));
  CVHandle handle = 0;
  int16_t code = calls_->login(&handle, profile_->c_str(), kPassword, unreachable.c_str());
  int16_t remaining = code;
  EXPECT_EQ(kCVDirectoryUnreachable, calls_->removeWarning(&remaining));
  EXPECT_EQ(0, calls_->queryCorLogWarning(code));
  EXPECT_STREQ("The public directory is unavailable.", calls_->corLogToString(code));
  ASSERT_NE(0u, handle);
  EXPECT_EQ(0, Run(handle, 3, "a=1").status);
  EXPECT_EQ(0, calls_->logout(handle));

  // A wrong password is told before the directory is tried.
  EXPECT_EQ(0u, LogIn(*profile_, "wrong", kWrongPassword, unreachable));

  Listener directory;
  CVHandle reached = LogIn(*profile_, kPassword, 0, WriteConfig("127.0.0.1:" + std::to_string(directory.GetPort())));
  EXPECT_EQ(0, calls_->logout(reached));
  CVHandle unconfigured = LogIn(*profile_, kPassword, 0, WriteConfig(""));
  EXPECT_EQ(0, calls_->logout(unconfigured));
}

TEST_F(ToolkitLibraryTest, MarkIsTheDigestOfThePage) {
  CVHandle handle = LogIn(*profile_, kPassword, 0);
  const std::string page = "<HTML><FORM ACTION=\"/pay\"><INPUT NAME=a></FORM></HTML>";
  Protected mark = Run(handle, 0, page);
  ASSERT_EQ(0, mark.status);
  uint8_t digest[SHA256_DIGEST_LENGTH];
  SHA256(reinterpret_cast<const uint8_t*>(page.data()), page.size(), digest);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(digest), sizeof digest), mark.second);
  EXPECT_TRUE(mark.first.empty());
  EXPECT_EQ(Base64Encode(digest, sizeof digest).Text(), mark.text);
  EXPECT_STREQ(mark.text.c_str(), SignatureVerifier::PageMark(page.data(), page.size()).Text());
  EXPECT_EQ(0, calls_->logout(handle));
}

TEST_F(ToolkitLibraryTest, SignatureOfASubmissionVerifiesWithTheCertificate) {
  CVHandle handle = LogIn(*profile_, kPassword, 0);
  const std::string body = "a=1&CorvaskSigClient=x";
  Protected signed_ = Run(handle, 3, body);
  ASSERT_EQ(0, signed_.status);
  EXPECT_EQ(SHA256_DIGEST_LENGTH, signed_.second.size());
  session::X509Ptr certificate = ProfileCertificate(*profile_);
  EXPECT_EQ(SignatureVerifier::Result::kValid,
            SignatureVerifier::VerifyText(signed_.text.data(), signed_.text.size(), body.data(), body.size(),
                                          certificate.get()));
  std::string changed = body;
  changed[2] = '2';
  EXPECT_EQ(SignatureVerifier::Result::kInvalid,
            SignatureVerifier::VerifyText(signed_.text.data(), signed_.text.size(), changed.data(),
                                          changed.size(), certificate.get()));

  // The ASCII form decodes back to the signature.
  std::vector<uint8_t> decoded(signed_.text.size());
  CVBuffer text{static_cast<uint32_t>(signed_.text.size()),
                reinterpret_cast<uint8_t*>(const_cast<char*>(signed_.text.data()))};
  CVBuffer target{static_cast<uint32_t>(decoded.size()), decoded.data()};
  ASSERT_EQ(0, calls_->asciiDecode(&text, &target));
  EXPECT_EQ(signed_.first, std::string(reinterpret_cast<char*>(decoded.data()), target.length));
  EXPECT_EQ(0, calls_->logout(handle));
}

TEST_F(ToolkitLibraryTest, ProtectCallsOutOfOrderOrUnknownAreRefused) {
  CVHandle handle = LogIn(*profile_, kPassword, 0);
  CVBuffer input{1, reinterpret_cast<uint8_t*>(const_cast<char*>("x"))};
  CVBuffer first{};
  CVBuffer second{};
  EXPECT_NE(0, calls_->protect(handle, &input));
  EXPECT_NE(0, calls_->endProtect(handle, &first, &second));
  EXPECT_NE(0, calls_->startProtect(handle, 1, 0, 0, "text/plain", 6));
  EXPECT_NE(0, calls_->startProtect(handle, 3, 0, 0, "text/plain", 5));
  EXPECT_NE(0, calls_->startProtect(handle, 3, 0, 0, nullptr, 6));
  EXPECT_NE(0, calls_->startProtect(handle + 1000, 3, 0, 0, "text/plain", 6));
  EXPECT_NE(0, calls_->startUnprotect(handle, 3, "text/plain"));
  EXPECT_NE(0, calls_->endUnprotect(handle, &first, &second));
  EXPECT_EQ(0u, first.length);
  ASSERT_EQ(0, calls_->startProtect(handle, 3, 0, 0, "text/plain", 6));
  CVBuffer missing{4, nullptr};
  EXPECT_NE(0, calls_->protect(handle, &missing));
  EXPECT_NE(0, calls_->protect(handle, nullptr));
  EXPECT_EQ(0, calls_->endProtect(handle, &first, &second));
  EXPECT_NE(0, calls_->endProtect(handle, &first, &second));
  EXPECT_EQ(0u, first.length);
  EXPECT_EQ(0, calls_->logout(handle));
}

TEST_F(ToolkitLibraryTest, ThreadsSignOnTheirOwnHandles) {
  session::X509Ptr certificate = ProfileCertificate(*profile_);
  std::vector<int> valid(4, 0);
  std::vector<std::thread> threads;
  for (size_t t = 0; t < valid.size(); ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 3; ++round) {
        CVHandle handle = 0;
        if (calls_->login(&handle, profile_->c_str(), kPassword, nullptr) != 0) continue;
        std::string body = "thread=" + std::to_string(t) + "&round=" + std::to_string(round);
        Protected result = Run(handle, 3, body);
        if (result.status == 0 &&
            SignatureVerifier::VerifyText(result.text.data(), result.text.size(), body.data(), body.size(),
                                          certificate.get()) == SignatureVerifier::Result::kValid)
          ++valid[t];
        calls_->logout(handle);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int count : valid) EXPECT_EQ(3, count);
}

TEST_F(ToolkitLibraryTest, EveryStatusHasAText) {
  for (int32_t code : {0, 1, 2, 0xF001, 0xF012, 0xF075, -3979}) {
    const char* text = calls_->corLogToString(code);
    ASSERT_NE(nullptr, text);
    EXPECT_NE('\0', text[0]);
  }
  EXPECT_STREQ("Unknown signing toolkit status.", calls_->corLogToString(0x1234));
}
