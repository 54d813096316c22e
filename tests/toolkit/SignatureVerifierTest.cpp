#include "toolkit/SignatureVerifier.h"

#include <gtest/gtest.h>
#include <openssl/cms.h>
#include <openssl/pem.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include "common/Base64.h"
#include "session/ProfileStore.h"
#include "tests/session/TestPki.h"
#include "tests/toolkit/ToolkitTestSupport.h"
#include "toolkit/ToolkitSession.h"
#include "toolkit/ToolkitStatus.h"

using session::CertificateAuthority;
using toolkit::SignatureVerifier;
using toolkit::ToolkitSession;
using toolkit::ToolkitStatus;
using Result = SignatureVerifier::Result;

namespace {

constexpr char kPassword[] = "Sign-0n!";
const std::string kBody = "a=1&CorvaskSigClient=x&total=1%2C000";

class SignatureVerifierTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    path_ = new std::string(
        TestPki::Instance().WriteProfile("cn=Alice Smith,o=Example", CertificateAuthority::Role::kUser, kPassword));
    otherPath_ = new std::string(
        TestPki::Instance().WriteProfile("cn=Bob Jones,o=Example", CertificateAuthority::Role::kUser, kPassword));
  }
  static void TearDownTestSuite() {
    delete path_;
    delete otherPath_;
  }

  // Signs data with the profile's key, in one piece or split where given.
  static BinData Sign(const std::string& data, size_t split = 0) {
    std::unique_ptr<ToolkitSession> session;
    EXPECT_EQ(ToolkitStatus::kOk, ToolkitSession::LogIn(path_->c_str(), kPassword, nullptr, session));
    if (!session) return BinData();
    EXPECT_EQ(ToolkitStatus::kOk, session->StartProtect(ToolkitSession::kModeSign, "text/plain", 6));
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(data.data());
    EXPECT_EQ(ToolkitStatus::kOk, session->Protect(bytes, split));
    EXPECT_EQ(ToolkitStatus::kOk, session->Protect(bytes + split, data.size() - split));
    const BinData* signature = nullptr;
    const BinData* digest = nullptr;
    EXPECT_EQ(ToolkitStatus::kOk, session->EndProtect(signature, digest));
    return signature != nullptr ? *signature : BinData();
  }

  static Result Check(const BinData& signature, const std::string& data, const std::string& profile) {
    session::X509Ptr certificate = ProfileCertificate(profile);
    return SignatureVerifier::Verify(signature.GetData(), signature.GetLength(), data.data(), data.size(),
                                     certificate.get());
  }

  static std::string* path_;
  static std::string* otherPath_;
};

std::string* SignatureVerifierTest::path_ = nullptr;
std::string* SignatureVerifierTest::otherPath_ = nullptr;

}  // namespace

TEST_F(SignatureVerifierTest, SignatureVerifiesWithTheSignersCertificateOnly) {
  BinData signature = Sign(kBody, 5);
  ASSERT_FALSE(signature.IsEmpty());
  EXPECT_EQ(Result::kValid, Check(signature, kBody, *path_));
  EXPECT_EQ(Result::kInvalid, Check(signature, kBody, *otherPath_));

  session::X509Ptr certificate = ProfileCertificate(*path_);
  GString text = Base64Encode(signature);
  EXPECT_EQ(Result::kValid,
            SignatureVerifier::VerifyText(text.Text(), text.Size(), kBody.data(), kBody.size(), certificate.get()));
}

TEST_F(SignatureVerifierTest, AnyChangedByteOfTheDataFails) {
  BinData signature = Sign(kBody);
  for (size_t i = 0; i < kBody.size(); ++i) {
    std::string changed = kBody;
    changed[i] ^= 0x01;
    EXPECT_EQ(Result::kInvalid, Check(signature, changed, *path_)) << i;
  }
  EXPECT_EQ(Result::kInvalid, Check(signature, kBody + "\r\n", *path_));
  EXPECT_EQ(Result::kInvalid, Check(signature, kBody.substr(1), *path_));
}

TEST_F(SignatureVerifierTest, EmptyDataSignsAndVerifies) {
  BinData signature = Sign("");
  EXPECT_EQ(Result::kValid, Check(signature, "", *path_));
  EXPECT_EQ(Result::kInvalid, Check(signature, "x", *path_));
}

// The certificates a signature carries are not signed, and the check uses
// the one it is given, so only changes to the signed parts must fail; every
// change must be survived. The signature value closes the structure.
TEST_F(SignatureVerifierTest, AChangedSignatureValueNeverVerifies) {
  BinData signature = Sign(kBody);
  ASSERT_GT(signature.GetLength(), 64u);
  for (size_t i = 0; i < signature.GetLength(); ++i) {
    BinData changed = signature;
    changed.GetData()[i] ^= 0x80;
    Result result = Check(changed, kBody, *path_);
    if (i >= signature.GetLength() - 60) {
      EXPECT_NE(Result::kValid, result) << i;
    }
  }
}

TEST_F(SignatureVerifierTest, RefusesWhatIsNotADetachedSignature) {
  session::X509Ptr certificate = ProfileCertificate(*path_);
  BinData signature = Sign(kBody);
  BinData truncated(signature.GetData(), signature.GetLength() - 1);
  BinData trailing = signature;
  trailing.Append(uint8_t{0});
  const BinData cases[] = {BinData(), BinData("\x30\x03\x02\x01\x01", 5), truncated, trailing};
  for (const BinData& bad : cases) {
    EXPECT_EQ(Result::kMalformed, SignatureVerifier::Verify(bad.GetData(), bad.GetLength(), kBody.data(),
                                                            kBody.size(), certificate.get()));
  }
  EXPECT_EQ(Result::kMalformed,
            SignatureVerifier::VerifyText("not base64!", 11, kBody.data(), kBody.size(), certificate.get()));
  EXPECT_EQ(Result::kInvalid, SignatureVerifier::Verify(signature.GetData(), signature.GetLength(),
                                                        kBody.data(), kBody.size(), nullptr));
}

TEST_F(SignatureVerifierTest, RefusesASignatureThatCarriesItsContent) {
  session::EvpPkeyPtr key;
  session::Profile profile;
  ASSERT_EQ(session::ProfileStore::Result::kDone, session::ProfileStore::Load(path_->c_str(), profile));
  ASSERT_EQ(session::UnlockResult::kOpened, profile.Unlock(kPassword, sizeof kPassword - 1, key));
  session::BioPtr content(BIO_new_mem_buf(kBody.data(), static_cast<int>(kBody.size())));
  CMS_ContentInfo* cms = CMS_sign(profile.GetCertificate(), key.get(), nullptr, content.get(), CMS_BINARY);
  ASSERT_NE(nullptr, cms);
  unsigned char* der = nullptr;
  int length = i2d_CMS_ContentInfo(cms, &der);
  CMS_ContentInfo_free(cms);
  ASSERT_GT(length, 0);
  EXPECT_EQ(Result::kMalformed, SignatureVerifier::Verify(der, static_cast<size_t>(length), kBody.data(),
                                                          kBody.size(), profile.GetCertificate()));
  OPENSSL_free(der);
}

// The signature is plain CMS: the openssl command verifies it with the
// holder's certificate alone.
TEST_F(SignatureVerifierTest, OpensslCommandVerifiesIt) {
  if (std::system("command -v openssl > /dev/null 2>&1") != 0) GTEST_SKIP() << "no openssl command";
  BinData signature = Sign(kBody);
  std::string stem = TestPki::Instance().NewPath("cms");
  std::ofstream(stem + ".der", std::ios::binary)
      .write(reinterpret_cast<const char*>(signature.GetData()), static_cast<std::streamsize>(signature.GetLength()));
  std::ofstream(stem + ".body", std::ios::binary) << kBody;
  std::ofstream(stem + ".changed", std::ios::binary) << kBody << "&";
  session::X509Ptr certificate = ProfileCertificate(*path_);
  FILE* pem = std::fopen((stem + ".pem").c_str(), "w");
  ASSERT_NE(nullptr, pem);
  ASSERT_EQ(1, PEM_write_X509(pem, certificate.get()));
  std::fclose(pem);
  auto verify = [&](const char* content) {
    std::string command = "openssl cms -verify -binary -inform DER -in '" + stem + ".der' -content '" + stem +
                          content + "' -certfile '" + stem + ".pem' -nointern -noverify -out /dev/null 2>/dev/null";
    return std::system(command.c_str());
  };
  EXPECT_EQ(0, verify(".body"));
  EXPECT_NE(0, verify(".changed"));
}

namespace {

// The client's URL encoding of a signature's ASCII form.
std::string UrlEncode(const std::string& text) {
  static const char kKept[] = "!$'()*,-._";
  std::string out;
  for (unsigned char c : text) {
    if (std::isalnum(c) || (c != 0 && std::strchr(kKept, c) != nullptr)) {
      out += static_cast<char>(c);
    } else {
      char escape[4];
      std::snprintf(escape, sizeof escape, "%%%02X", c);
      out += escape;
    }
  }
  return out;
}

}  // namespace

TEST_F(SignatureVerifierTest, SubmissionsAsTheClientSendsThem) {
  GString text = Base64Encode(Sign(kBody));
  const std::string field = "&CorvaskSigSubmit=";
  const std::string value = UrlEncode(text.Text());
  ASSERT_NE(std::string::npos, value.find('%'));
  std::string changed = kBody;
  changed[0] = 'b';
  struct Case {
    const char* name;
    std::string body;
    const std::string* profile;
    Result result;
  };
  const Case cases[] = {
      {"signed", kBody + field + value + "\r\n", path_, Result::kValid},
      {"without line end", kBody + field + value, path_, Result::kValid},
      {"other signer's certificate", kBody + field + value + "\r\n", otherPath_, Result::kInvalid},
      {"text changed", changed + field + value + "\r\n", path_, Result::kInvalid},
      {"text lengthened", kBody + "&c=3" + field + value + "\r\n", path_, Result::kInvalid},
      {"empty signature", kBody + field + "\r\n", path_, Result::kMissing},
      {"no signature field", kBody + "\r\n", path_, Result::kMissing},
      {"broken escape", kBody + field + value + "%4\r\n", path_, Result::kMalformed},
      {"escape not hexadecimal", kBody + field + "%G1" + value + "\r\n", path_, Result::kMalformed},
  };
  for (const Case& c : cases) {
    session::X509Ptr certificate = ProfileCertificate(*c.profile);
    EXPECT_EQ(c.result, SignatureVerifier::VerifySubmission(c.body.data(), c.body.size(), certificate.get()))
        << c.name;
  }
}
