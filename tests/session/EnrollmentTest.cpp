// Enrollment through the library calls, with the organisation's service in
// the same process (the direct route's listener is covered end to end).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "server/AuthorityFolder.h"
#include "server/EnrollmentService.h"
#include "server/EnrollmentStore.h"
#include "session/CvsApi.h"
#include "session/DistinguishedName.h"
#include "session/EnrollmentMessage.h"

namespace {

constexpr char kCode[] = "ABCD-EFGH-1234";
constexpr char kPassword[] = "correct horse";

class EnrollmentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/velgrade-enroll-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
    std::string error;
    session::X509NamePtr name = session::DistinguishedName::Parse(std::string("o=Example"));
    ASSERT_TRUE(AuthorityFolder::Create(folder_ + "/ca", name.get(), 30, false, error)) << error;
    ASSERT_TRUE(service_.Open(folder_ + "/ca", error)) << error;
    Register(12345678, kCode);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  void Register(int32_t reference, const char* code) {
    EnrollmentStore store(folder_ + "/ca");
    ASSERT_EQ(store.AddEnrollment(reference, session::EnrollmentMessage::DeriveMacKey(reference, code),
                                  "cn=Alice Smith,o=Example"),
              EnrollmentStore::Result::kDone);
  }

  // One whole exchange through cvs_init_proxy_create; returns the final
  // major status and leaves the minor in minor.
  OM_uint32 Enroll(int32_t reference, const char* code, const char* password, const std::string& path,
                   int newProfile, OM_uint32& minor) {
    OM_uint32 exchange = 0;
    gss_buffer_desc output{0, nullptr};
    OM_uint32 major = cvs_init_proxy_create(&minor, reference, code, password, path.c_str(), newProfile,
                                            &exchange, GSS_C_NO_BUFFER, &output);
    if (major != GSS_S_CONTINUE_NEEDED) return major;
    std::string outcome;
    std::string answer =
        service_.Answer(std::string(static_cast<const char*>(output.value), output.length), outcome);
    OM_uint32 scratch = 0;
    gss_release_buffer(&scratch, &output);
    gss_buffer_desc input{answer.size(), answer.data()};
    major = cvs_init_proxy_create(&minor, reference, code, password, path.c_str(), newProfile, &exchange,
                                  &input, &output);
    lastExchange_ = exchange;
    if (major != GSS_S_FAILURE || minor != CVS_MINOR_PASSWORD_REFUSED) {
      EXPECT_EQ(cvs_release_proxy_create(&scratch, &exchange), GSS_S_COMPLETE);
    }
    lastAnswer_ = answer;
    return major;
  }

  bool Opens(const std::string& path, const char* password) {
    OM_uint32 minor = 0;
    gss_name_t name = GSS_C_NO_NAME;
    gss_buffer_desc text{path.size(), const_cast<char*>(path.data())};
    if (gss_import_name(&minor, &text, GSS_SPKM_NT_USER_NAME, &name) != GSS_S_COMPLETE) return false;
    gss_cred_id_t credential = GSS_C_NO_CREDENTIAL;
    gss_buffer_desc secret{strlen(password), const_cast<char*>(password)};
    OM_uint32 major = cvs_acquire_cred(&minor, name, 0, GSS_C_NO_OID_SET, GSS_C_INITIATE, &credential, &secret);
    gss_release_name(&minor, &name);
    if (credential != GSS_C_NO_CREDENTIAL) gss_release_cred(&minor, &credential);
    return major == GSS_S_COMPLETE;
  }

  std::string folder_;
  EnrollmentService service_;
  OM_uint32 lastExchange_ = 0;
  std::string lastAnswer_;
};

TEST_F(EnrollmentTest, ThroughTheCallerWritesAProfileThatOpens) {
  OM_uint32 minor = 0;
  std::string path = folder_ + "/alice.epf";
  EXPECT_EQ(Enroll(12345678, kCode, kPassword, path, 1, minor), GSS_S_COMPLETE) << minor;
  EXPECT_TRUE(Opens(path, kPassword));
  struct stat info {};
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(EnrollmentTest, RefusalsWriteNothing) {
  struct Case {
    const char* what;
    int32_t reference;
    const char* code;
  };
  const Case cases[] = {{"wrong code", 12345678, "ABCD-EFGH-1235"}, {"unknown reference", 87654321, kCode}};
  for (const Case& c : cases) {
    OM_uint32 minor = 0;
    std::string path = folder_ + "/refused.epf";
    EXPECT_EQ(Enroll(c.reference, c.code, kPassword, path, 1, minor), GSS_S_FAILURE) << c.what;
    EXPECT_EQ(minor, CVS_MINOR_ENROLLMENT_REFUSED) << c.what;
    EXPECT_NE(access(path.c_str(), F_OK), 0) << c.what;
  }
  // The refusals did not use the enrollment up.
  OM_uint32 minor = 0;
  EXPECT_EQ(Enroll(12345678, kCode, kPassword, folder_ + "/alice.epf", 1, minor), GSS_S_COMPLETE);
}

TEST_F(EnrollmentTest, AReferenceNumberServesOnce) {
  OM_uint32 minor = 0;
  EXPECT_EQ(Enroll(12345678, kCode, kPassword, folder_ + "/a.epf", 1, minor), GSS_S_COMPLETE);
  EXPECT_EQ(Enroll(12345678, kCode, kPassword, folder_ + "/b.epf", 1, minor), GSS_S_FAILURE);
  EXPECT_EQ(minor, CVS_MINOR_ENROLLMENT_REFUSED);
  EXPECT_NE(access((folder_ + "/b.epf").c_str(), F_OK), 0);
}

TEST_F(EnrollmentTest, ARefusedPasswordKeepsTheExchangeForAnother) {
  OM_uint32 minor = 0;
  std::string path = folder_ + "/alice.epf";
  EXPECT_EQ(Enroll(12345678, kCode, "short", path, 1, minor), GSS_S_FAILURE);
  EXPECT_EQ(minor, CVS_MINOR_PASSWORD_REFUSED);
  EXPECT_NE(access(path.c_str(), F_OK), 0);
  gss_buffer_desc input{lastAnswer_.size(), lastAnswer_.data()};
  gss_buffer_desc output{0, nullptr};
  OM_uint32 exchange = lastExchange_;
  EXPECT_EQ(cvs_init_proxy_create(&minor, 12345678, kCode, kPassword, path.c_str(), 1, &exchange, &input,
                                  &output),
            GSS_S_COMPLETE);
  EXPECT_EQ(output.length, 0u);
  EXPECT_EQ(cvs_release_proxy_create(&minor, &exchange), GSS_S_COMPLETE);
  EXPECT_EQ(exchange, 0u);
  EXPECT_EQ(cvs_release_proxy_create(&minor, &exchange), GSS_S_NO_CONTEXT);
  EXPECT_TRUE(Opens(path, kPassword));
}

TEST_F(EnrollmentTest, RecoveryReplacesAndCreationNeverDoes) {
  Register(22223333, "SECOND-CODE-01");
  OM_uint32 minor = 0;
  std::string path = folder_ + "/alice.epf";
  ASSERT_EQ(Enroll(12345678, kCode, kPassword, path, 1, minor), GSS_S_COMPLETE);
  Register(44445555, "THIRD--CODE-01");
  EXPECT_EQ(Enroll(44445555, "THIRD--CODE-01", "another password", path, 1, minor), GSS_S_FAILURE);
  EXPECT_EQ(minor, CVS_MINOR_PROFILE_WRITE);
  EXPECT_TRUE(Opens(path, kPassword));
  EXPECT_EQ(Enroll(22223333, "SECOND-CODE-01", "new password", path, 0, minor), GSS_S_COMPLETE);
  EXPECT_TRUE(Opens(path, "new password"));
  EXPECT_FALSE(Opens(path, kPassword));
}

TEST_F(EnrollmentTest, DirectRouteNeedsAConfiguredService) {
  std::string ini = folder_ + "/corvask.ini";
  std::ofstream(ini) << "[Corvask Settings]\n";
  OM_uint32 minor = 0;
  ASSERT_EQ(cvs_set_inifile(&minor, ini.c_str()), GSS_S_COMPLETE);
  std::string path = folder_ + "/alice.epf";
  EXPECT_EQ(cvs_create_user(&minor, 12345678, kCode, "short", path.c_str(), 1), GSS_S_FAILURE);
  EXPECT_EQ(minor, CVS_MINOR_PASSWORD_REFUSED);
  EXPECT_EQ(cvs_create_user(&minor, 12345678, kCode, kPassword, path.c_str(), 1), GSS_S_FAILURE);
  EXPECT_EQ(minor, CVS_MINOR_NOT_CONFIGURED);
  std::ofstream(ini) << "[Corvask Settings]\nEnrollmentServer=127.0.0.1:1\n";
  EXPECT_EQ(cvs_create_user(&minor, 12345678, kCode, kPassword, path.c_str(), 1), GSS_S_FAILURE);
  EXPECT_EQ(minor, CVS_MINOR_ENROLLMENT_UNREACHABLE);
  EXPECT_NE(access(path.c_str(), F_OK), 0);
}

TEST_F(EnrollmentTest, AnAnswerForAnotherKeyIsRefused) {
  OM_uint32 minor = 0;
  std::string first = folder_ + "/first.epf";
  ASSERT_EQ(Enroll(12345678, kCode, kPassword, first, 1, minor), GSS_S_COMPLETE);
  std::string stolen = lastAnswer_;
  OM_uint32 exchange = 0;
  gss_buffer_desc output{0, nullptr};
  std::string path = folder_ + "/second.epf";
  ASSERT_EQ(cvs_init_proxy_create(&minor, 12345678, kCode, kPassword, path.c_str(), 1, &exchange,
                                  GSS_C_NO_BUFFER, &output),
            GSS_S_CONTINUE_NEEDED);
  gss_release_buffer(&minor, &output);
  gss_buffer_desc input{stolen.size(), stolen.data()};
  EXPECT_EQ(cvs_init_proxy_create(&minor, 12345678, kCode, kPassword, path.c_str(), 1, &exchange, &input,
                                  &output),
            GSS_S_DEFECTIVE_TOKEN);
  EXPECT_EQ(minor, CVS_MINOR_MALFORMED_TOKEN);
  cvs_release_proxy_create(&minor, &exchange);
  EXPECT_NE(access(path.c_str(), F_OK), 0);
}

// The message parser: every split of a valid message is either refused or
// parses to the same fields as the whole one; only the whole one parses.
TEST(EnrollmentMessageTest, OnlyTheWholeMessageParses) {
  session::EnrollmentRequest request;
  request.reference = -42;
  request.newProfile = 0;
  request.request = std::string("\x30\x03\x02\x01\x00", 5);
  request.mac = std::string(32, '\x7f');
  std::string text = session::EnrollmentMessage::EncodeRequest(request);
  session::EnrollmentRequest parsed;
  ASSERT_TRUE(session::EnrollmentMessage::ParseRequest(text, parsed));
  EXPECT_EQ(parsed.reference, -42);
  EXPECT_EQ(parsed.newProfile, 0);
  EXPECT_EQ(parsed.request, request.request);
  EXPECT_EQ(parsed.mac, request.mac);
  for (size_t cut = 1; cut < text.size(); ++cut) {
    session::EnrollmentRequest part;
    std::string head = text.substr(0, cut);
    std::string tail = text.substr(cut);
    EXPECT_FALSE(session::EnrollmentMessage::ParseRequest(head, part) &&
                 session::EnrollmentMessage::ParseRequest(tail, part))
        << cut;
    EXPECT_TRUE(session::EnrollmentMessage::ParseRequest(head + tail, part));
  }
  const char* bad[] = {"", "VELGRADE-ENROLL 1\n", "VELGRADE-ENROLL 1\nreference=1\nnew=2\nrequest=AA==\nmac=AA==\n",
                       "VELGRADE-ENROLL 1\nreference=99999999999\nnew=1\nrequest=AA==\nmac=AA==\n",
                       "VELGRADE-ENROLL 1\nreference=1\nreference=1\nnew=1\nrequest=AA==\n"};
  for (const char* text : bad) EXPECT_FALSE(session::EnrollmentMessage::ParseRequest(text, parsed)) << text;
}

}  // namespace
