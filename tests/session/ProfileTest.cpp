#include "session/Profile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/Files.h"
#include "session/ProfileStore.h"
#include "tests/session/TestPki.h"

using session::CertificateAuthority;
using session::Profile;
using session::ProfileStore;
using session::UnlockResult;

namespace {

constexpr char kPassword[] = "old password";
constexpr char kNewPassword[] = "new password";

std::string ReadAll(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

UnlockResult Open(const std::string& path, const char* password) {
  Profile profile;
  if (ProfileStore::Load(path.c_str(), profile) != ProfileStore::Result::kDone) return UnlockResult::kDamaged;
  session::EvpPkeyPtr key;
  return profile.Unlock(password, std::strlen(password), key);
}

size_t FilesIn(const std::string& folder) {
  size_t count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    (void)entry;
    ++count;
  }
  return count;
}

TEST(ProfileTest, TextIsReadableIniWithoutSecretsInTheClear) {
  std::string path = TestPki::Instance().WriteProfile("cn=Alice,o=Example", CertificateAuthority::Role::kUser,
                                                      kPassword);
  std::string text = ReadAll(path);
  EXPECT_EQ(0u, text.find("[options]\nEncryptWith=CAST128\n"));
  EXPECT_EQ(std::string::npos, text.find("PRIVATE KEY"));
  EXPECT_EQ(std::string::npos, text.find(kPassword));
  struct stat info {};
  ASSERT_EQ(0, stat(path.c_str(), &info));
  EXPECT_EQ(0600u, info.st_mode & 0777);

  Profile profile;
  ASSERT_EQ(ProfileStore::Result::kDone, ProfileStore::Load(path.c_str(), profile));
  EXPECT_FALSE(profile.IsServer());
  EXPECT_EQ("CAST128", profile.GetEncryptWith());
  EXPECT_EQ(UnlockResult::kOpened, Open(path, kPassword));
  EXPECT_EQ(UnlockResult::kWrongPassword, Open(path, "old passwore"));
  EXPECT_EQ(UnlockResult::kWrongPassword, Open(path, ""));
}

TEST(ProfileTest, DamagedProfilesAreRefused) {
  std::string path = TestPki::Instance().WriteProfile("cn=Alice,o=Example", CertificateAuthority::Role::kUser,
                                                      kPassword);
  std::string text = ReadAll(path);
  const std::pair<const char*, const char*> damages[] = {
      {"Format=1", "Format=2"},
      {"Certificate=M", "Certificate=#"},
      {"PrivateKey=M", "PrivateKey=X"},
      {"Authority=", "Authorit="},
  };
  for (const auto& [from, to] : damages) {
    std::string damaged = text;
    size_t at = damaged.find(from);
    ASSERT_NE(std::string::npos, at) << from;
    damaged.replace(at, std::strlen(from), to);
    Profile profile;
    EXPECT_FALSE(Profile::Parse(damaged.data(), damaged.size(), profile)) << to;
  }
  Profile profile;
  EXPECT_FALSE(Profile::Parse("", 0, profile));
}

TEST(ProfileTest, AKeyFromAnotherProfileIsDamage) {
  TestPki& pki = TestPki::Instance();
  std::string alice = ReadAll(pki.WriteProfile("cn=Alice,o=Example", CertificateAuthority::Role::kUser, kPassword));
  std::string bob = ReadAll(pki.WriteProfile("cn=Bob,o=Example", CertificateAuthority::Role::kUser, kPassword));
  // Alice's text with Bob's key lines.
  std::string mixed = alice.substr(0, alice.find("PrivateKey=")) + bob.substr(bob.find("PrivateKey="));
  std::string path = pki.NewPath("mixed");
  std::ofstream(path) << mixed;
  EXPECT_EQ(UnlockResult::kDamaged, Open(path, kPassword));
}

TEST(ProfileTest, SaveDoesNotOverwriteUnlessAsked) {
  std::string path = TestPki::Instance().WriteProfile("cn=Alice,o=Example", CertificateAuthority::Role::kUser,
                                                      kPassword);
  Profile profile;
  ASSERT_EQ(ProfileStore::Result::kDone, ProfileStore::Load(path.c_str(), profile));
  std::string before = ReadAll(path);
  EXPECT_EQ(ProfileStore::Result::kWriteFailed, ProfileStore::Save(path.c_str(), profile, false));
  EXPECT_EQ(before, ReadAll(path));
  EXPECT_EQ(ProfileStore::Result::kDone, ProfileStore::Save(path.c_str(), profile, true));
}

AtomicWriteStep g_failingStep;

bool FailChosenStep(AtomicWriteStep step) { return step == g_failingStep; }

TEST(ProfileTest, InterruptedPasswordChangeLeavesTheOldProfile) {
  TestPki& pki = TestPki::Instance();
  const AtomicWriteStep steps[] = {AtomicWriteStep::kCreate, AtomicWriteStep::kWrite, AtomicWriteStep::kSync,
                                   AtomicWriteStep::kPublish};
  for (AtomicWriteStep step : steps) {
    std::string folder = pki.GetFolder() + "/interrupted" + std::to_string(static_cast<int>(step));
    std::filesystem::create_directory(folder);
    std::string path = folder + "/user.epf";
    std::filesystem::copy_file(pki.WriteProfile("cn=Alice,o=Example", CertificateAuthority::Role::kUser, kPassword),
                               path);
    std::string before = ReadAll(path);
    g_failingStep = step;
    SetAtomicWriteFaultHook(FailChosenStep);
    EXPECT_EQ(ProfileStore::Result::kWriteFailed,
              ProfileStore::ChangePassword(path.c_str(), kPassword, std::strlen(kPassword), kNewPassword,
                                           std::strlen(kNewPassword), TestPki::CheapCost()));
    SetAtomicWriteFaultHook(nullptr);
    EXPECT_EQ(before, ReadAll(path));
    EXPECT_EQ(UnlockResult::kOpened, Open(path, kPassword));
    EXPECT_EQ(1u, FilesIn(folder)) << "a temporary file was left behind";
  }
}

TEST(ProfileTest, PasswordChangeReplacesTheKeyOnly) {
  std::string path = TestPki::Instance().WriteProfile("cn=Alice,o=Example", CertificateAuthority::Role::kUser,
                                                      kPassword);
  chmod(path.c_str(), 0640);
  std::string before = ReadAll(path);
  EXPECT_EQ(ProfileStore::Result::kWrongPassword,
            ProfileStore::ChangePassword(path.c_str(), "nope", 4, kNewPassword, std::strlen(kNewPassword),
                                         TestPki::CheapCost()));
  EXPECT_EQ(ProfileStore::Result::kRefused,
            ProfileStore::ChangePassword(path.c_str(), kPassword, std::strlen(kPassword), "", 0,
                                         TestPki::CheapCost()));
  EXPECT_EQ(before, ReadAll(path));
  ASSERT_EQ(ProfileStore::Result::kDone,
            ProfileStore::ChangePassword(path.c_str(), kPassword, std::strlen(kPassword), kNewPassword,
                                         std::strlen(kNewPassword), TestPki::CheapCost()));
  std::string after = ReadAll(path);
  EXPECT_EQ(before.substr(0, before.find("PrivateKey=")), after.substr(0, after.find("PrivateKey=")));
  EXPECT_EQ(UnlockResult::kWrongPassword, Open(path, kPassword));
  EXPECT_EQ(UnlockResult::kOpened, Open(path, kNewPassword));
  struct stat info {};
  ASSERT_EQ(0, stat(path.c_str(), &info));
  EXPECT_EQ(0640u, info.st_mode & 0777);
}

}  // namespace
