// Profiles opened as credentials, and the library's profile, token and
// status calls.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>

#include "session/ApiSupport.h"
#include "session/Credential.h"
#include "session/CvsApi.h"
#include "session/ProfileStore.h"
#include "tests/session/TestPki.h"

using session::CertificateAuthority;

namespace {

constexpr char kUserName[] = "cn=Bob Jones,ou=Sales,o=Example";
constexpr char kServerName[] = "cn=Server One,o=Example";
constexpr char kPassword[] = "s3cret pass";

struct Acquired {
  OM_uint32 major = 0;
  OM_uint32 minor = 0;
  gss_cred_id_t credential = GSS_C_NO_CREDENTIAL;
};

Acquired AcquireWith(const std::string& path, const char* password, int usage = GSS_C_INITIATE) {
  Acquired result;
  OM_uint32 minor = 0;
  gss_buffer_desc pathBuffer{path.size(), const_cast<char*>(path.data())};
  gss_name_t name = GSS_C_NO_NAME;
  EXPECT_EQ(0u, gss_import_name(&minor, &pathBuffer, GSS_SPKM_NT_USER_NAME, &name));
  gss_buffer_desc secret{password == nullptr ? 0 : std::strlen(password), const_cast<char*>(password)};
  result.major = cvs_acquire_cred(&result.minor, name, 0, GSS_C_NO_OID_SET, usage, &result.credential,
                                  password == nullptr ? GSS_C_NO_BUFFER : &secret);
  gss_release_name(&minor, &name);
  return result;
}

std::string Text(gss_buffer_desc& buffer) {
  std::string text(static_cast<char*>(buffer.value), buffer.length);
  OM_uint32 minor = 0;
  gss_release_buffer(&minor, &buffer);
  return text;
}

// A credential for a profile whose certificate is outside its validity,
// made past cvs_acquire_cred (which refuses such a profile) to play a peer.
gss_cred_id_t ExpiredCredential(const char* name, CertificateAuthority::Role role, int usage) {
  time_t now = time(nullptr);
  std::string path = TestPki::Instance().WriteProfile(name, role, kPassword, now - 10 * 86400, now - 86400);
  session::Profile profile;
  EXPECT_EQ(session::ProfileStore::Result::kDone, session::ProfileStore::Load(path.c_str(), profile));
  session::EvpPkeyPtr key;
  EXPECT_EQ(session::UnlockResult::kOpened, profile.Unlock(kPassword, std::strlen(kPassword), key));
  auto credential = session::Credential::Create(key.get(), profile.GetCertificate(), profile.GetAuthority(),
                                                usage, path);
  EXPECT_TRUE(credential);
  return reinterpret_cast<gss_cred_id_t>(session::ApiSupport::Credentials().Add(credential));
}

TEST(CredentialTest, OpensAProfileAndReportsItsNameAndLifetime) {
  std::string path = TestPki::Instance().WriteProfile(kUserName, CertificateAuthority::Role::kUser, kPassword);
  Acquired got = AcquireWith(path, kPassword);
  ASSERT_EQ(0u, got.major) << got.minor;
  OM_uint32 minor = 0;
  gss_name_t name = GSS_C_NO_NAME;
  OM_uint32 lifetime = 0;
  ASSERT_EQ(0u, gss_inquire_cred(&minor, got.credential, &name, &lifetime, nullptr, nullptr));
  gss_buffer_desc shown = GSS_C_EMPTY_BUFFER;
  ASSERT_EQ(0u, gss_display_name(&minor, name, &shown, nullptr));
  EXPECT_EQ(kUserName, Text(shown));
  gss_release_name(&minor, &name);
  EXPECT_GT(lifetime, 364u * 86400);
  EXPECT_LE(lifetime, 365u * 86400);

  gss_buffer_desc profileName = GSS_C_EMPTY_BUFFER;
  ASSERT_EQ(0u, cvs_query_profile_name(&minor, got.credential, &profileName));
  EXPECT_EQ(path, Text(profileName));
  int changed = -1;
  ASSERT_EQ(0u, cvs_profile_changed(&minor, got.credential, &changed));
  EXPECT_EQ(0, changed);
  EXPECT_EQ(0u, gss_release_cred(&minor, &got.credential));
  EXPECT_EQ(GSS_C_NO_CREDENTIAL, got.credential);
}

struct OpenFailure {
  const char* title;
  const char* password;  // null: no password buffer
  const char* contents;  // null: the good profile; "": a missing file
  OM_uint32 major;
  OM_uint32 minor;
};

class OpenFailureTest : public testing::TestWithParam<OpenFailure> {};

TEST_P(OpenFailureTest, IsReported) {
  const OpenFailure& row = GetParam();
  std::string path = TestPki::Instance().WriteProfile(kUserName, CertificateAuthority::Role::kUser, kPassword);
  if (row.contents != nullptr) {
    std::remove(path.c_str());
    if (*row.contents != 0) std::ofstream(path) << row.contents;
  }
  Acquired got = AcquireWith(path, row.password);
  EXPECT_EQ(row.major, got.major) << row.title;
  EXPECT_EQ(row.minor, got.minor) << row.title;
  EXPECT_EQ(GSS_C_NO_CREDENTIAL, got.credential) << row.title;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OpenFailureTest,
    testing::Values(OpenFailure{"wrong password", "wrong", nullptr, 0x000D0000u, 9},
                    OpenFailure{"no password", nullptr, nullptr, 0x000D0000u, 9},
                    OpenFailure{"empty password", "", nullptr, 0x000D0000u, 9},
                    OpenFailure{"missing file", kPassword, "", 0x000D0000u, CVS_MINOR_PROFILE_UNREADABLE},
                    OpenFailure{"not a profile", kPassword, "[options]\nEncryptWith=CAST128\n", 0x000D0000u,
                                CVS_MINOR_PROFILE_DAMAGED}));

TEST(CredentialTest, AnEmptyProfileNameOpensNothing) {
  Acquired got = AcquireWith("", kPassword);
  EXPECT_EQ(GSS_S_NO_CRED, got.major);
  EXPECT_EQ(GSS_C_NO_CREDENTIAL, got.credential);
}

TEST(CredentialTest, AnExpiredProfileIsRefused) {
  time_t now = time(nullptr);
  std::string path = TestPki::Instance().WriteProfile(kUserName, CertificateAuthority::Role::kUser, kPassword,
                                                      now - 10 * 86400, now - 60);
  Acquired got = AcquireWith(path, kPassword);
  EXPECT_EQ(GSS_S_CREDENTIALS_EXPIRED, got.major);
  EXPECT_EQ(CVS_MINOR_CREDENTIAL_EXPIRED, got.minor);
}

TEST(CredentialTest, ExpiredPeersAreRefusedBothWays) {
  TestPki& pki = TestPki::Instance();
  gss_cred_id_t client = pki.Acquire(pki.WriteProfile(kUserName, CertificateAuthority::Role::kUser, kPassword),
                                     kPassword, GSS_C_INITIATE);
  gss_cred_id_t server = pki.Acquire(pki.WriteProfile(kServerName, CertificateAuthority::Role::kServer, kPassword),
                                     kPassword, GSS_C_ACCEPT);
  gss_cred_id_t oldClient = ExpiredCredential(kUserName, CertificateAuthority::Role::kUser, GSS_C_INITIATE);
  gss_cred_id_t oldServer = ExpiredCredential(kServerName, CertificateAuthority::Role::kServer, GSS_C_ACCEPT);
  OM_uint32 minor = 0;
  {
    ContextPair pair;
    EXPECT_TRUE(GSS_ERROR(EstablishPair(oldClient, server, kServerName, pair, minor)));
    EXPECT_EQ(CVS_MINOR_PEER_EXPIRED, minor);
  }
  {
    ContextPair pair;
    EXPECT_TRUE(GSS_ERROR(EstablishPair(client, oldServer, kServerName, pair, minor)));
    EXPECT_EQ(CVS_MINOR_PEER_EXPIRED, minor);
  }
  for (gss_cred_id_t* handle : {&client, &server, &oldClient, &oldServer}) gss_release_cred(&minor, handle);
}

TEST(CredentialTest, UnreachableDirectoryGivesMinor41AndStillACredential) {
  // A port that was free a moment ago: nothing listens there.
  int probe = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(0, bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address));
  ASSERT_EQ(0, getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length));
  close(probe);
  TestPki& pki = TestPki::Instance();
  std::string ini = pki.GetFolder() + "/corvask-unreachable.ini";
  std::ofstream(ini) << "[Corvask Settings]\nDirectoryServer=127.0.0.1:" << ntohs(address.sin_port) << "\n";
  std::string path = pki.WriteProfile(kUserName, CertificateAuthority::Role::kUser, kPassword);
  OM_uint32 minor = 0;
  ASSERT_EQ(0u, cvs_set_inifile(&minor, ini.c_str()));
  Acquired got = AcquireWith(path, kPassword);
  EXPECT_EQ(0x000D0000u, got.major);
  EXPECT_EQ(41u, got.minor);
  EXPECT_NE(GSS_C_NO_CREDENTIAL, got.credential);
  gss_release_cred(&minor, &got.credential);

  std::string quiet = pki.GetFolder() + "/corvask-quiet.ini";
  std::ofstream(quiet) << "[Velgrade]\nport=8080\n";
  ASSERT_EQ(0u, cvs_set_inifile(&minor, quiet.c_str()));
  got = AcquireWith(path, kPassword);
  EXPECT_EQ(0u, got.major);
  gss_release_cred(&minor, &got.credential);
  EXPECT_NE(0u, cvs_set_inifile(&minor, ""));
}

TEST(CredentialTest, ChangesThePasswordThroughTheCredential) {
  std::string path = TestPki::Instance().WriteProfile(kUserName, CertificateAuthority::Role::kUser, kPassword);
  Acquired got = AcquireWith(path, kPassword);
  ASSERT_EQ(0u, got.major);
  OM_uint32 minor = 0;
  gss_buffer_desc wrong{5, const_cast<char*>("wrong")};
  gss_buffer_desc old{std::strlen(kPassword), const_cast<char*>(kPassword)};
  gss_buffer_desc fresh{9, const_cast<char*>("new words")};
  gss_buffer_desc empty = GSS_C_EMPTY_BUFFER;
  EXPECT_EQ(0x000D0000u, cvs_change_password(&minor, got.credential, &wrong, &fresh));
  EXPECT_EQ(9u, minor);
  EXPECT_EQ(0x000D0000u, cvs_change_password(&minor, got.credential, &old, &empty));
  EXPECT_EQ(40u, minor);
  int changed = -1;
  cvs_profile_changed(&minor, got.credential, &changed);
  EXPECT_EQ(0, changed);
  ASSERT_EQ(0u, cvs_change_password(&minor, got.credential, &old, &fresh)) << minor;
  cvs_profile_changed(&minor, got.credential, &changed);
  EXPECT_EQ(1, changed);
  gss_release_cred(&minor, &got.credential);
  EXPECT_EQ(9u, AcquireWith(path, kPassword).minor);
  Acquired reopened = AcquireWith(path, "new words");
  EXPECT_EQ(0u, reopened.major);
  gss_release_cred(&minor, &reopened.credential);
}

TEST(CredentialTest, ReportsNoHardwareToken) {
  OM_uint32 minor = 0;
  int removed = 0;
  EXPECT_EQ(0u, cvs_token_removed(&minor, GSS_C_NO_CREDENTIAL, &removed));
  EXPECT_EQ(1, removed);
  int count = -1;
  EXPECT_EQ(0u, cvs_get_num_token_profiles(&minor, &count));
  EXPECT_EQ(0, count);
  gss_buffer_desc name = GSS_C_EMPTY_BUFFER;
  EXPECT_TRUE(GSS_ERROR(cvs_get_token_profile_name(&minor, 0, &name)));
  EXPECT_EQ(CVS_MINOR_NO_TOKEN, minor);
}

TEST(CredentialTest, UnknownCredentialsAreRefused) {
  OM_uint32 minor = 0;
  gss_cred_id_t bogus = reinterpret_cast<gss_cred_id_t>(0x4242);
  OM_uint32 lifetime = 0;
  EXPECT_EQ(GSS_S_NO_CRED, gss_inquire_cred(&minor, bogus, nullptr, &lifetime, nullptr, nullptr));
  EXPECT_EQ(GSS_S_NO_CRED, gss_release_cred(&minor, &bogus));
}

// Every status the library reports has a text, so callers can always show one.
TEST(StatusTextTest, EveryReportedStatusHasAText) {
  OM_uint32 minor = 0;
  for (OM_uint32 code = 1; code <= 41; ++code) {
    if (code > CVS_MINOR_NOT_CONFIGURED && code < CVS_MINOR_PASSWORD_REFUSED) continue;
    gss_buffer_desc text = GSS_C_EMPTY_BUFFER;
    OM_uint32 context = 0;
    EXPECT_EQ(0u, gss_display_status(&minor, code, GSS_C_MECH_CODE, GSS_C_NO_OID, &context, &text)) << code;
    EXPECT_EQ(0u, context);
    EXPECT_FALSE(Text(text).empty());
  }
  gss_buffer_desc text = GSS_C_EMPTY_BUFFER;
  OM_uint32 context = 0;
  EXPECT_EQ(GSS_S_BAD_STATUS, gss_display_status(&minor, 30, GSS_C_MECH_CODE, GSS_C_NO_OID, &context, &text));

  // A major status with a routine error and a supplementary bit gives two pieces.
  std::vector<std::string> pieces;
  do {
    ASSERT_EQ(0u, gss_display_status(&minor, GSS_S_FAILURE | GSS_S_DUPLICATE_TOKEN, GSS_C_GSS_CODE,
                                     GSS_C_NO_OID, &context, &text));
    pieces.push_back(Text(text));
  } while (context != 0 && pieces.size() < 5);
  ASSERT_EQ(2u, pieces.size());
  EXPECT_EQ("Unspecified GSS failure", pieces[0]);
  EXPECT_EQ(GSS_S_BAD_STATUS, gss_display_status(&minor, 0x00630000u, GSS_C_GSS_CODE, GSS_C_NO_OID, &context, &text));

  OM_uint32 internal = 0;
  ASSERT_EQ(0u, cvs_display_internal_error(&minor, &internal, &text));
  EXPECT_FALSE(Text(text).empty());
  EXPECT_EQ(0u, internal);
}

}  // namespace
