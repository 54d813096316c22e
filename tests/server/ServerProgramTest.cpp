// velgrade-server run as a program: refusals at start and a settings check.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "session/CertificateAuthority.h"
#include "tests/session/TestPki.h"

namespace {

struct Outcome {
  int status = -1;
  std::string output;
};

Outcome RunServer(const std::string& configPath, const char* extra) {
  std::string command = std::string(VELGRADE_BUILD_DIR) + "/server/proxy/velgrade-server --config '" +
                        configPath + "' " + extra + " 2>&1";
  Outcome outcome;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return outcome;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) outcome.output += buffer;
  int status = pclose(pipe);
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return outcome;
}

std::string WriteConfig(const std::string& text) {
  std::string path = TestPki::Instance().NewPath("server.ini");
  std::ofstream(path) << text;
  return path;
}

}  // namespace

TEST(ServerProgramTest, RefusesBadSettingsAtStart) {
  std::string path = WriteConfig("[Server]\nlistenPort=99999\n");
  Outcome outcome = RunServer(path, "");
  EXPECT_EQ(1, outcome.status);
  EXPECT_NE(std::string::npos, outcome.output.find("line 2: the setting listenPort must be a port"))
      << outcome.output;
  EXPECT_EQ(2, RunServer(path, "--bogus").status);
}

TEST(ServerProgramTest, ChecksAUsableConfigurationAndAWrongPassword) {
  TestPki& pki = TestPki::Instance();
  std::string profile = pki.WriteProfile("cn=Server Check,o=Example",
                                         session::CertificateAuthority::Role::kServer, "pw");
  std::string password = pki.NewPath("pw");
  std::ofstream(password) << "pw\n";
  std::string base = "[Server]\nlistenAddress=127.0.0.1\nlistenPort=1\nprofile=" + profile +
                     "\noriginHost=127.0.0.1\nsecureURL=/v\ninsecureRedirectURL=/\n";
  // --check does not listen, so the port is never bound.
  std::string good = base;
  // The password file named relative to the configuration's folder.
  Outcome ok = RunServer(
      WriteConfig(good + "passwordFile=" + std::filesystem::path(password).filename().string() + "\n"),
      "--check");
  EXPECT_EQ(0, ok.status) << ok.output;
  std::string wrong = pki.NewPath("wrong");
  std::ofstream(wrong) << "not it\n";
  Outcome refused = RunServer(WriteConfig(good + "passwordFile=" + wrong + "\n"), "--check");
  EXPECT_EQ(1, refused.status);
  EXPECT_NE(std::string::npos, refused.output.find("cannot sign on with the profile")) << refused.output;
}
