// velgrade-admin run as a program, as an administrator would.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "session/CvsApi.h"
#include "tests/session/TestPki.h"

extern char** environ;

namespace {

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

std::string ReadAll(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class AdminToolTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/velgrade-admin-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    folder_ = pattern;
    std::ofstream(Path("password")) << "first secret\n";
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  std::string Path(const char* name) const { return folder_ + "/" + name; }

  // Runs the tool with arguments, stdin from stdinText, in the test folder.
  Outcome Admin(std::vector<std::string> arguments, const std::string& stdinText = "") {
    std::string program = std::string(VELGRADE_BUILD_DIR) + "/server/velgrade-admin";
    std::ofstream(Path("stdin")) << stdinText;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, Path("stdin").c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, Path("stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, Path("stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addchdir_np(&actions, folder_.c_str());
    std::vector<char*> argv{program.data()};
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    Outcome outcome;
    int spawned = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(0, spawned) << program;
    if (spawned != 0) return outcome;
    int status = 0;
    EXPECT_EQ(child, waitpid(child, &status, 0));
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    outcome.out = ReadAll(Path("stdout"));
    outcome.err = ReadAll(Path("stderr"));
    return outcome;
  }

  void CreateAuthority() {
    Outcome made = Admin({"create-ca", "--dir", "ca", "--name", "o=Example"});
    ASSERT_EQ(0, made.status) << made.err;
  }

  std::string folder_;
};

TEST_F(AdminToolTest, CreatesAnAuthorityOnceUnlessForced) {
  CreateAuthority();
  struct stat info {};
  ASSERT_EQ(0, stat(Path("ca/ca-key.pem").c_str(), &info));
  EXPECT_EQ(0600u, info.st_mode & 0777);
  std::string key = ReadAll(Path("ca/ca-key.pem"));
  Outcome again = Admin({"create-ca", "--dir", "ca", "--name", "o=Example"});
  EXPECT_EQ(1, again.status);
  EXPECT_NE(std::string::npos, again.err.find("--force"));
  EXPECT_EQ(key, ReadAll(Path("ca/ca-key.pem")));
  EXPECT_EQ(0, Admin({"create-ca", "--dir", "ca", "--name", "o=Example", "--force"}).status);
  EXPECT_NE(key, ReadAll(Path("ca/ca-key.pem")));
}

TEST_F(AdminToolTest, IssuesProfilesThatEstablishAContext) {
  CreateAuthority();
  Outcome server = Admin({"issue", "--ca", "ca", "--name", "cn=Server One,o=Example", "--password-file",
                          "password", "--out", "server.epf", "--server", "--days", "30"});
  ASSERT_EQ(0, server.status) << server.err;
  Outcome user = Admin({"issue", "--ca", "ca", "--name", "cn=Alice Smith,o=Example", "--password-stdin", "--out",
                        "alice.epf"},
                       "user secret\n");
  ASSERT_EQ(0, user.status) << user.err;
  EXPECT_EQ(std::string::npos, ReadAll(Path("alice.epf")).find("user secret"));

  Outcome shown = Admin({"show", "alice.epf"});
  ASSERT_EQ(0, shown.status) << shown.err;
  EXPECT_NE(std::string::npos, shown.out.find("Name: cn=Alice Smith,o=Example\n"));
  EXPECT_NE(std::string::npos, shown.out.find("Kind: user\n"));
  EXPECT_NE(std::string::npos, shown.out.find("Valid until: "));
  EXPECT_EQ(std::string::npos, shown.out.find("PrivateKey"));
  EXPECT_NE(std::string::npos, Admin({"show", "server.epf"}).out.find("Kind: server\n"));

  TestPki& pki = TestPki::Instance();
  gss_cred_id_t client = pki.Acquire(Path("alice.epf"), "user secret", GSS_C_INITIATE);
  gss_cred_id_t acceptor = pki.Acquire(Path("server.epf"), "first secret", GSS_C_ACCEPT);
  ContextPair pair;
  OM_uint32 minor = 0;
  EXPECT_EQ(0u, EstablishPair(client, acceptor, "cn=Server One,o=Example", pair, minor)) << minor;
  gss_release_cred(&minor, &client);
  gss_release_cred(&minor, &acceptor);
}

TEST_F(AdminToolTest, RefusesBadRequestsClearly) {
  CreateAuthority();
  std::ofstream(Path("empty-password")) << "\n";
  std::ofstream(Path("taken.epf")) << "keep me";
  struct Case {
    std::vector<std::string> arguments;
    int status;
    const char* message;
  };
  const std::vector<Case> cases = {
      {{}, 2, "usage"},
      {{"frobnicate"}, 2, "unknown command"},
      {{"create-ca", "--dir", "x"}, 2, "needs --dir and --name"},
      {{"create-ca", "--dir", "x", "--name", "nonsense"}, 1, "not a distinguished name"},
      {{"create-ca", "--dir", "x", "--name", "o=X", "--days", "0"}, 1, "--days"},
      {{"issue", "--ca", "ca", "--name", "cn=A,o=Example", "--out", "a.epf"}, 2, "--password-file"},
      {{"issue", "--ca", "ca", "--name", "cn=A,o=Example", "--out", "a.epf", "--password-file", "password",
        "--password-stdin"}, 2, "--password-file"},
      {{"issue", "--ca", "ca", "--name", "cn=A,o=Example", "--out", "a.epf", "--password-file", "nofile"}, 1,
       "cannot read the password file"},
      {{"issue", "--ca", "ca", "--name", "cn=A,o=Example", "--out", "a.epf", "--password-file",
        "empty-password"}, 1, "empty"},
      {{"issue", "--ca", "noca", "--name", "cn=A,o=Example", "--out", "a.epf", "--password-file", "password"}, 1,
       "no authority"},
      {{"issue", "--ca", "ca", "--name", "cn=A,,o=Example", "--out", "a.epf", "--password-file", "password"}, 1,
       "not a distinguished name"},
      {{"issue", "--ca", "ca", "--name", "cn=A,o=Example", "--out", "taken.epf", "--password-file", "password"}, 1,
       "--force"},
      {{"issue", "--ca", "ca", "--name", "cn=A,o=Example", "--out", "a.epf", "--password-file", "password",
        "--days", "ten"}, 1, "--days"},
      {{"issue", "--ca", "ca", "--name", "cn=A,o=Example", "--out", "a.epf", "--password", "secret"}, 2,
       "unknown option"},
      {{"show"}, 2, "exactly one"},
      {{"show", "missing.epf"}, 1, "cannot read"},
      {{"show", "taken.epf"}, 1, "not a profile"},
  };
  for (const Case& row : cases) {
    Outcome outcome = Admin(row.arguments);
    std::string command = row.arguments.empty() ? "(none)" : row.arguments[0];
    EXPECT_EQ(row.status, outcome.status) << command << ": " << outcome.err;
    EXPECT_NE(std::string::npos, outcome.err.find(row.message)) << command << ": " << outcome.err;
  }
  EXPECT_EQ("keep me", ReadAll(Path("taken.epf")));
  EXPECT_FALSE(std::filesystem::exists(Path("a.epf")));
}

TEST_F(AdminToolTest, ReplacesAProfileOnlyWhenForced) {
  CreateAuthority();
  std::ofstream(Path("taken.epf")) << "old";
  Outcome forced = Admin({"issue", "--ca", "ca", "--name", "cn=A,o=Example", "--out", "taken.epf",
                          "--password-file", "password", "--force"});
  EXPECT_EQ(0, forced.status) << forced.err;
  EXPECT_EQ(0, Admin({"show", "taken.epf"}).status);
}

}  // namespace
