// The enrollment store and the paths of the enrollment endpoints.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <tuple>
#include <vector>

#include "server/EnrollmentService.h"
#include "server/EnrollmentStore.h"
#include "server/proxy/EnrollmentEndpoints.h"

namespace {

class EnrollmentStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/velgrade-store-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }
  std::string folder_;
};

TEST_F(EnrollmentStoreTest, EachEntryServesOnce) {
  EnrollmentStore store(folder_);
  ASSERT_EQ(store.AddEnrollment(7, "mac-key", "cn=A,o=B"), EnrollmentStore::Result::kDone);
  EXPECT_EQ(store.AddEnrollment(7, "other", "cn=C,o=B"), EnrollmentStore::Result::kExists);
  std::string key, name;
  ASSERT_EQ(store.FindEnrollment(7, key, name), EnrollmentStore::Result::kDone);
  EXPECT_EQ(key, "mac-key");
  EXPECT_EQ(name, "cn=A,o=B");
  EXPECT_EQ(store.FindEnrollment(8, key, name), EnrollmentStore::Result::kUnknown);
  EXPECT_EQ(store.UseEnrollment(7), EnrollmentStore::Result::kDone);
  EXPECT_EQ(store.UseEnrollment(7), EnrollmentStore::Result::kUsed);
  EXPECT_EQ(store.FindEnrollment(7, key, name), EnrollmentStore::Result::kUsed);

  ASSERT_EQ(store.AddCardHolder("id+/=", "encref", "enccode"), EnrollmentStore::Result::kDone);
  EXPECT_EQ(store.AddCardHolder("id+/=", "x", "y"), EnrollmentStore::Result::kExists);
  EXPECT_EQ(store.AddCardHolder("tab\there", "x", "y"), EnrollmentStore::Result::kFailed);
  std::string reference, code;
  EXPECT_EQ(store.UseCardHolder("other", reference, code), EnrollmentStore::Result::kUnknown);
  ASSERT_EQ(store.UseCardHolder("id+/=", reference, code), EnrollmentStore::Result::kDone);
  EXPECT_EQ(reference, "encref");
  EXPECT_EQ(code, "enccode");
  EXPECT_EQ(store.UseCardHolder("id+/=", reference, code), EnrollmentStore::Result::kUsed);

  struct stat info {};
  ASSERT_EQ(stat((folder_ + "/" + EnrollmentStore::kStoreFile).c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(EnrollmentStoreTest, OnlyOneOfManyConcurrentUsesWins) {
  EnrollmentStore store(folder_);
  ASSERT_EQ(store.AddEnrollment(9, "k", "cn=A,o=B"), EnrollmentStore::Result::kDone);
  std::atomic<int> wins{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i)
    threads.emplace_back([&] {
      if (EnrollmentStore(folder_).UseEnrollment(9) == EnrollmentStore::Result::kDone) ++wins;
    });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wins.load(), 1);
}

TEST_F(EnrollmentStoreTest, ADamagedStoreIsRefusedAndLeftAlone) {
  std::string path = folder_ + "/" + EnrollmentStore::kStoreFile;
  std::ofstream(path) << "enrollment\t7\tonly three\n";
  EnrollmentStore store(folder_);
  std::string key, name;
  EXPECT_EQ(store.FindEnrollment(7, key, name), EnrollmentStore::Result::kFailed);
  EXPECT_EQ(store.AddEnrollment(8, "k", "cn=A,o=B"), EnrollmentStore::Result::kFailed);
  std::ifstream in(path);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, "enrollment\t7\tonly three\n");
}

TEST(EnrollmentServiceTest, RegistrationBodiesReadBackAsWritten) {
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"AAAA", "BBBB", "ref=AAAA&auth=BBBB"},
      {"AAAAauth=", "BBBB", "auth=BBBB&ref=AAAAauth="},
      {"AAAA", "BBref==", "ref=AAAA&auth=BBref=="},
  };
  for (const auto& [reference, code, body] : cases)
    EXPECT_EQ(EnrollmentService::RegistrationBody(reference, code), body) << reference << " " << code;
}

TEST(EnrollmentEndpointsTest, TargetPaths) {
  const std::pair<const char*, const char*> cases[] = {
      {"POST /sep HTTP/1.0", "/sep"},
      {"POST http://127.0.0.1:8443/sep HTTP/1.0", "/sep"},
      {"POST http://host HTTP/1.0", "/"},
      {"POST /register?x=1 HTTP/1.0", "/register"},
      {"POST  /sep HTTP/1.0", "/sep"},
  };
  for (const auto& [line, path] : cases) EXPECT_EQ(vserver::EnrollmentEndpoints::TargetPath(line), path) << line;
}

}  // namespace
