#include "app/ConsoleCommands.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "app/ConsoleFrontEnd.h"
#include "credentials/SignOnManager.h"
#include "tests/credentials/SignOnSupport.h"

namespace {

constexpr char kAlice[] = "cn=Alice Smith,o=Example";

// What a stream holds from its start.
std::string Contents(std::FILE* stream) {
  std::fflush(stream);
  std::rewind(stream);
  std::string text;
  char buffer[256];
  size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, stream)) > 0) text.append(buffer, got);
  return text;
}

// An engine with the console's callbacks whose typed lines come from a script.
class ConsoleCommandsTest : public testing::Test {
 protected:
  void SetUp() override {
    profile_ = world_.IssueProfile("alice.epf", kAlice, "first secret");
    world_.folder.Write("corvask.ini", enginetest::IniWithPort(enginetest::FreePort()));
    input_ = std::tmpfile();
    output_ = std::tmpfile();
    ASSERT_NE(nullptr, input_);
    ASSERT_NE(nullptr, output_);
    engine_ = std::make_unique<Velgrade>(world_.folder.Path().c_str(), ConsoleFrontEnd::MakeCallbacks(false),
                                         input_);
    SignOnManager::Install(*engine_);
  }
  void TearDown() override {
    engine_.reset();
    std::fclose(input_);
    std::fclose(output_);
  }

  // Runs each line of script as a command; lines a command reads itself
  // (profile, passwords) are taken from the same script.
  void Type(const std::string& script) {
    std::fputs(script.c_str(), input_);
    std::rewind(input_);
    ConsoleCommands commands(*engine_, input_, output_);
    GString line;
    while (ConsoleFrontEnd::ReadLine(input_, line)) {
      if (commands.Execute(line.Text()) == ConsoleCommands::Outcome::kQuit) break;
    }
  }

  signontest::World world_;
  std::string profile_;
  std::FILE* input_ = nullptr;
  std::FILE* output_ = nullptr;
  std::unique_ptr<Velgrade> engine_;
};

TEST_F(ConsoleCommandsTest, LogInShowLogOut) {
  Type("whoami\nlogin\n" + profile_ + "\nfirst secret\nstatus\nlogin\nlogout\nwhoami\n");
  std::string shown = Contents(output_);
  std::string signedOn = std::string("Signed on as <") + kAlice + ">\nCredentials valid until ";
  EXPECT_EQ(0u, shown.find("Not signed on.\n" + signedOn)) << shown;
  EXPECT_NE(std::string::npos, shown.find("Already signed on; log out first to change the profile.\n"));
  EXPECT_NE(std::string::npos, shown.find("Signed off.\nNot signed on.\n")) << shown;
  EXPECT_FALSE(engine_->HasCredential());
}

TEST_F(ConsoleCommandsTest, ChangePassword) {
  Type("passwd\nlogin\n" + profile_ + "\nfirst secret\n"
       "passwd\nfirst secret\nsecond\nother\n"
       "passwd\nfirst secret\nsecond\nsecond\n"
       "logout\nlogin\n" + profile_ + "\nsecond\n");
  std::string shown = Contents(output_);
  EXPECT_NE(std::string::npos, shown.find("The two new passwords differ; password not changed.\n"));
  EXPECT_NE(std::string::npos, shown.find("Your Velgrade password has been changed.\n")) << shown;
  EXPECT_TRUE(engine_->HasCredential());
}

TEST_F(ConsoleCommandsTest, HelpUnknownAndQuit) {
  Type("help\n\n  Bogus  \nQUIT\nwhoami\n");
  std::string shown = Contents(output_);
  EXPECT_EQ(std::string(ConsoleCommands::Help()) + "Unknown command bogus (type help for the commands).\n", shown);
}

// The program itself, fed a script on standard input.
class ConsoleProgramTest : public testing::Test {
 protected:
  void SetUp() override {
    profile_ = world_.IssueProfile("alice.epf", kAlice, "first secret");
    world_.folder.Write("corvask.ini", enginetest::IniWithPort(enginetest::FreePort()));
  }
  // Runs velgrade with the options and script; returns its exit status.
  int Run(const std::string& options, const std::string& script) {
    world_.folder.Write("script", script);
    std::string folder = world_.folder.Path();
    std::string command = "timeout 60 '" + std::string(VELGRADE_BUILD_DIR) + "/app/velgrade' -c '" + folder +
                          "' " + options + " <'" + folder + "script' >'" + folder + "out' 2>'" + folder + "err'";
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  signontest::World world_;
  std::string profile_;
};

TEST_F(ConsoleProgramTest, CommandsFromAScript) {
  EXPECT_EQ(0, Run("--commands", "login\n" + profile_ + "\nfirst secret\nwhoami\nlogout\nquit\n"));
  std::string out = world_.folder.Read("out");
  EXPECT_NE(std::string::npos, out.find(std::string("Signed on as <") + kAlice + ">")) << out;
  EXPECT_NE(std::string::npos, out.find("Signed off.\n")) << out;
}

TEST_F(ConsoleProgramTest, ThreeWrongPasswordsEndTheProgram) {
  std::string wrong = profile_ + "\nwrong\n";
  EXPECT_EQ(1, Run("--login", wrong + wrong + wrong));
  std::string err = world_.folder.Read("err");
  EXPECT_NE(std::string::npos, err.find("Invalid password.")) << err;
  EXPECT_NE(std::string::npos, err.find("You have entered your password incorrectly.")) << err;
}

TEST_F(ConsoleProgramTest, LoginLinesWithoutCommands) {
  // Without --commands, input that is not a terminal is read only for the
  // log-in; the proxy then runs until it is stopped.
  world_.folder.Write("script", profile_ + "\nfirst secret\n");
  std::string folder = world_.folder.Path();
  std::string program = std::string(VELGRADE_BUILD_DIR) + "/app/velgrade";
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::freopen((folder + "script").c_str(), "r", stdin);
    std::freopen((folder + "out").c_str(), "w", stdout);
    std::freopen((folder + "err").c_str(), "w", stderr);
    execl(program.c_str(), program.c_str(), "-c", folder.c_str(), "--login", static_cast<char*>(nullptr));
    _exit(127);
  }
  std::string out;
  for (int i = 0; i < 600 && out.find("Credentials valid until") == std::string::npos; ++i) {
    usleep(50 * 1000);
    out = world_.folder.Read("out");
  }
  kill(child, SIGINT);
  int status = 0;
  ASSERT_EQ(child, waitpid(child, &status, 0));
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(0, WEXITSTATUS(status));
  EXPECT_NE(std::string::npos, out.find(std::string("Signed on as <") + kAlice + ">")) << out;
}

}  // namespace
