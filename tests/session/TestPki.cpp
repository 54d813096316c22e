#include "tests/session/TestPki.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "session/CvsApi.h"
#include "session/DistinguishedName.h"
#include "session/ProfileStore.h"

using session::CertificateAuthority;

namespace {

void RemoveFolder(const std::string& folder) {
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}

}  // namespace

TestPki& TestPki::Instance() {
  static TestPki pki;
  return pki;
}

session::KdfCost TestPki::CheapCost() {
  session::KdfCost cost;
  cost.log2N = 10;
  cost.r = 8;
  cost.p = 1;
  return cost;
}

TestPki::Authority TestPki::MakeAuthority(const char* name) {
  Authority authority;
  authority.key = CertificateAuthority::GenerateKey();
  session::X509NamePtr subject = session::DistinguishedName::Parse(std::string(name));
  time_t now = time(nullptr);
  authority.certificate =
      CertificateAuthority::CreateRoot(authority.key.get(), subject.get(), now - 86400, now + 20 * 86400 * 365);
  if (!authority.certificate) std::abort();
  return authority;
}

TestPki::TestPki() : own_(MakeAuthority("o=Example")), foreign_(MakeAuthority("o=Example")) {
  char pattern[] = "/tmp/velgrade-session-XXXXXX";
  if (mkdtemp(pattern) == nullptr) std::abort();
  folder_ = pattern;
  static std::string removeAtExit;
  removeAtExit = folder_;
  std::atexit([] { RemoveFolder(removeAtExit); });
}

std::string TestPki::NewPath(const char* stem) {
  return folder_ + "/" + stem + std::to_string(++counter_) + ".epf";
}

std::string TestPki::WriteProfile(const char* name, CertificateAuthority::Role role,
                                  const char* password, time_t notBefore, time_t notAfter,
                                  bool foreign) {
  const Authority& authority = foreign ? foreign_ : own_;
  session::EvpPkeyPtr key = CertificateAuthority::GenerateKey();
  session::X509NamePtr subject = session::DistinguishedName::Parse(std::string(name));
  session::X509Ptr certificate =
      CertificateAuthority::Issue(authority.key.get(), authority.certificate.get(), subject.get(),
                                  key.get(), role, notBefore, notAfter);
  EXPECT_TRUE(certificate);
  session::Profile profile;
  // The profile trusts the real authority even when its own certificate
  // comes from the foreign one, as a forged profile would.
  EXPECT_TRUE(session::Profile::Create(key.get(), certificate.get(),
                                       foreign ? own_.certificate.get() : authority.certificate.get(),
                                       password, std::strlen(password), CheapCost(), profile));
  std::string path = NewPath("profile");
  EXPECT_EQ(session::ProfileStore::Result::kDone, session::ProfileStore::Save(path.c_str(), profile, false));
  return path;
}

std::string TestPki::WriteProfile(const char* name, CertificateAuthority::Role role,
                                  const char* password, bool foreign) {
  time_t now = time(nullptr);
  return WriteProfile(name, role, password, now - 3600, now + 365 * 86400, foreign);
}

gss_cred_id_t TestPki::Acquire(const std::string& path, const char* password, int usage) {
  OM_uint32 minor = 0;
  gss_buffer_desc pathBuffer{path.size(), const_cast<char*>(path.data())};
  gss_name_t name = GSS_C_NO_NAME;
  EXPECT_EQ(0u, gss_import_name(&minor, &pathBuffer, GSS_SPKM_NT_USER_NAME, &name));
  gss_buffer_desc secret{std::strlen(password), const_cast<char*>(password)};
  gss_cred_id_t credential = GSS_C_NO_CREDENTIAL;
  OM_uint32 major = cvs_acquire_cred(&minor, name, 0, GSS_C_NO_OID_SET, usage, &credential, &secret);
  EXPECT_EQ(0u, major) << "minor " << minor;
  gss_release_name(&minor, &name);
  return credential;
}

ContextPair::~ContextPair() {
  OM_uint32 minor = 0;
  if (client != nullptr) gss_delete_sec_context(&minor, &client, GSS_C_NO_BUFFER);
  if (server != nullptr) gss_delete_sec_context(&minor, &server, GSS_C_NO_BUFFER);
}

OM_uint32 EstablishPair(gss_cred_id_t client, gss_cred_id_t server, const char* target,
                        ContextPair& pair, OM_uint32& minor) {
  gss_buffer_desc targetBuffer{std::strlen(target), const_cast<char*>(target)};
  gss_name_t targetName = GSS_C_NO_NAME;
  OM_uint32 major = gss_import_name(&minor, &targetBuffer, gss_nt_ldap_dn, &targetName);
  if (major != 0) return major;
  gss_buffer_desc toServer = GSS_C_EMPTY_BUFFER;
  gss_buffer_desc toClient = GSS_C_EMPTY_BUFFER;
  OM_uint32 ignored = 0;
  for (int round = 0; round < 4; ++round) {
    major = gss_init_sec_context(&minor, client, &pair.client, targetName, gss_mech_spkm1,
                                 GSS_C_MUTUAL_FLAG | GSS_C_REPLAY_FLAG, 0, GSS_C_NO_CHANNEL_BINDINGS,
                                 round == 0 ? GSS_C_NO_BUFFER : &toClient, nullptr, &toServer,
                                 nullptr, nullptr);
    gss_release_buffer(&ignored, &toClient);
    if (GSS_ERROR(major) || toServer.length == 0) break;
    major = gss_accept_sec_context(&minor, &pair.server, server, &toServer,
                                   GSS_C_NO_CHANNEL_BINDINGS, nullptr, nullptr, &toClient, nullptr,
                                   nullptr, nullptr);
    gss_release_buffer(&ignored, &toServer);
    if (GSS_ERROR(major) || major == GSS_S_COMPLETE) break;
  }
  gss_release_buffer(&ignored, &toServer);
  gss_release_buffer(&ignored, &toClient);
  gss_release_name(&ignored, &targetName);
  return major;
}
