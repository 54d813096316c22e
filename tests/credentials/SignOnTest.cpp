#include "credentials/SignOnManager.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "common/Base64.h"
#include "platform/DynamicLibrary.h"
#include "platform/ResourceStrings.h"
#include "session/GssApi.h"
#include "tests/credentials/SignOnSupport.h"

namespace {

using signontest::PromptAnswer;
using signontest::World;

constexpr char kAlice[] = "cn=Alice Smith,o=Example";
constexpr char kPassword[] = "first secret";
constexpr char kInvalid[] = "Cannot initialize Corvask.\n\nInvalid password.";

class SignOnTest : public testing::Test {
 protected:
  void SetUp() override {
    profile_ = world_.IssueProfile("alice.epf", kAlice, kPassword, 30);
    world_.MakeEngine();
  }
  Velgrade& Engine() { return *world_.engine; }
  bool SignOn(const std::string& password) {
    return SignOnManager::SignOn(Engine(), profile_.c_str(), password.c_str());
  }

  World world_;
  std::string profile_;
};

// The day a time falls on, as the credential's validity end is shown.
std::string DayOf(time_t when) {
  char text[32];
  struct tm local {};
  localtime_r(&when, &local);
  strftime(text, sizeof text, "%a %b %e", &local);
  return text;
}

TEST_F(SignOnTest, RightPasswordSignsOn) {
  ASSERT_TRUE(SignOn(kPassword));
  const CredentialState& state = Engine().GetCredentialState();
  EXPECT_TRUE(Engine().HasCredential());
  EXPECT_EQ(profile_, state.profileName.Text());
  EXPECT_STREQ("alice", state.shortName.Text());
  EXPECT_STREQ(kAlice, state.distinguishedName.Text());
  EXPECT_EQ(Base64Encode(kAlice, sizeof kAlice - 1), state.distinguishedNameBase64);
  EXPECT_NE(0, Engine().GetLastActivity());
  EXPECT_EQ(0, Engine().GetWrongPasswordCount());
  EXPECT_TRUE(world_.recorder.messages.empty());
  EXPECT_TRUE(world_.recorder.Logged("Signing on to Corvask with INI=\"" + world_.folder.Path() +
                                     "corvask.ini\" and EPF=\"" + profile_ + "\"...\n"));
  EXPECT_TRUE(world_.recorder.Logged("Successfully signed on to Corvask.\n"));

  GString info;
  ASSERT_TRUE(SignOnManager::GetSignOnInfo(Engine(), info, 0));
  EXPECT_STREQ("Alice", info.Text());
  ASSERT_TRUE(SignOnManager::GetSignOnInfo(Engine(), info, 1));
  std::string detailed = info.Text();
  std::string head = std::string("Signed on as <") + kAlice + ">\r\nCredentials valid until ";
  ASSERT_EQ(head, detailed.substr(0, head.size()));
  std::string until = detailed.substr(head.size());
  EXPECT_EQ(24u, until.size());
  EXPECT_EQ(DayOf(time(nullptr) + 30 * 86400), until.substr(0, 10));
}

TEST_F(SignOnTest, SignOnWhileSignedOnMakesNoLibraryCall) {
  ASSERT_TRUE(SignOn(kPassword));
  gss_cred_id_t held = Engine().GetCredentialState().credential;
  std::remove(profile_.c_str());
  world_.recorder.logLines.clear();
  EXPECT_TRUE(SignOn("anything at all"));
  EXPECT_EQ(held, Engine().GetCredentialState().credential);
  EXPECT_TRUE(world_.recorder.logLines.empty());
  EXPECT_TRUE(world_.recorder.messages.empty());
}

TEST_F(SignOnTest, ThreeWrongPasswordsStopTheEngine) {
  ASSERT_TRUE(Engine().Start());
  for (int i = 0; i < 5; ++i) world_.answers.push_back(PromptAnswer{profile_, "wrong"});
  EXPECT_FALSE(Engine().EnsureSignedOn());
  EXPECT_EQ(3, world_.prompts);
  EXPECT_EQ(3, Engine().GetWrongPasswordCount());
  ASSERT_EQ(3u, world_.recorder.messages.size());
  for (const std::string& message : world_.recorder.messages) EXPECT_EQ(kInvalid, message);
  EXPECT_FALSE(Engine().HasCredential());
  int stop = 0;
  EXPECT_FALSE(Engine().Poll(0, &stop));
  EXPECT_EQ(1, stop);
}

TEST_F(SignOnTest, CancelledPromptResetsTheCount) {
  world_.answers.push_back(PromptAnswer{profile_, "wrong"});
  world_.answers.push_back(PromptAnswer{"", "", true});
  EXPECT_FALSE(Engine().EnsureSignedOn());
  EXPECT_EQ(2, world_.prompts);
  EXPECT_EQ(0, Engine().GetWrongPasswordCount());

  world_.answers.push_back(PromptAnswer{profile_, "wrong"});
  world_.answers.push_back(PromptAnswer{profile_, kPassword});
  EXPECT_TRUE(Engine().EnsureSignedOn());
  EXPECT_EQ(4, world_.prompts);
  EXPECT_EQ(0, Engine().GetWrongPasswordCount());
  // Signed on: no further prompt.
  EXPECT_TRUE(Engine().EnsureSignedOn());
  EXPECT_EQ(4, world_.prompts);
}

TEST_F(SignOnTest, OtherFailuresEndThePromptingAndResetTheCount) {
  Engine().SetWrongPasswordCount(1);
  world_.answers.push_back(PromptAnswer{world_.folder.Path() + "missing.epf", kPassword});
  world_.answers.push_back(PromptAnswer{profile_, kPassword});
  EXPECT_FALSE(Engine().EnsureSignedOn());
  EXPECT_EQ(1, world_.prompts);
  EXPECT_EQ(0, Engine().GetWrongPasswordCount());
  ASSERT_EQ(1u, world_.recorder.messages.size());
  EXPECT_EQ(0u, world_.recorder.messages[0].find("Cannot initialize Corvask.\n\n"));
}

TEST_F(SignOnTest, NoPromptCallbackMeansNoSignOn) {
  EngineCallbacks none;
  Velgrade engine(world_.folder.Path().c_str(), none, nullptr);
  SignOnManager::Install(engine);
  EXPECT_FALSE(engine.EnsureSignedOn());
}

TEST_F(SignOnTest, BadProfilesGiveAReadableReason) {
  struct Case {
    const char* name;
    std::string content;
  };
  std::string text = world_.folder.Read("alice.epf");
  std::string damaged = text;
  size_t key = damaged.find("PrivateKey=");
  ASSERT_NE(std::string::npos, key);
  damaged[key + 20] = damaged[key + 20] == 'A' ? 'B' : 'A';
  const Case cases[] = {
      {"empty.epf", ""},
      {"garbage.epf", std::string("\x00\xff\x01 not a profile \n[[[", 22)},
      {"truncated.epf", text.substr(0, text.size() / 2)},
      {"damaged.epf", damaged},
      {"other.epf", "[profile]\nFormat=99\n"},
  };
  for (const Case& c : cases) {
    world_.folder.Write(c.name, c.content);
    world_.recorder.messages.clear();
    std::string path = world_.folder.Path() + c.name;
    EXPECT_FALSE(SignOnManager::SignOn(Engine(), path.c_str(), kPassword)) << c.name;
    ASSERT_EQ(1u, world_.recorder.messages.size()) << c.name;
    const std::string& message = world_.recorder.messages[0];
    EXPECT_EQ(0u, message.find("Cannot initialize Corvask.\n\n")) << message;
    EXPECT_GT(message.size(), std::string("Cannot initialize Corvask.\n\n").size() + 5) << c.name;
    EXPECT_EQ(std::string::npos, message.find("*** Error")) << message;
  }
  std::string unreadable = world_.folder.Path() + "folder.epf";
  ASSERT_EQ(0, mkdir(unreadable.c_str(), 0700));
  world_.recorder.messages.clear();
  EXPECT_FALSE(SignOnManager::SignOn(Engine(), unreadable.c_str(), kPassword));
  ASSERT_EQ(1u, world_.recorder.messages.size());
  EXPECT_FALSE(Engine().HasCredential());
  EXPECT_EQ(0, Engine().GetWrongPasswordCount());
}

class DirectoryTest : public testing::Test {
 protected:
  void MakeEngine(const std::string& settings) {
    profile_ = world_.IssueProfile("alice.epf", kAlice, kPassword);
    // Nothing listens on a port that was free a moment ago.
    world_.MakeEngine("DirectoryServer=127.0.0.1:" + std::to_string(enginetest::FreePort()) + "\n" + settings);
  }
  World world_;
  std::string profile_;
};

TEST_F(DirectoryTest, UnreachableDirectoryFailsWithTheDirectoryText) {
  MakeEngine("SEPByProxy=0\n");
  world_.engine->SetWrongPasswordCount(2);
  EXPECT_FALSE(SignOnManager::SignOn(*world_.engine, profile_.c_str(), kPassword));
  ASSERT_EQ(1u, world_.recorder.messages.size());
  EXPECT_EQ("Cannot initialize Corvask.\n\nThe public directory  is unavailable.", world_.recorder.messages[0]);
  EXPECT_FALSE(world_.engine->HasCredential());
  EXPECT_EQ(2, world_.engine->GetWrongPasswordCount());
}

TEST_F(DirectoryTest, UnreachableDirectoryWithSignOnThroughTheServerSignsOn) {
  MakeEngine("SEPByProxy=1\n");
  EXPECT_TRUE(SignOnManager::SignOn(*world_.engine, profile_.c_str(), kPassword));
  EXPECT_TRUE(world_.engine->HasCredential());
  ASSERT_EQ(1u, world_.recorder.messages.size());
  EXPECT_EQ(0u, world_.recorder.messages[0].find("Cannot initialize Corvask.\n\n"));
  EXPECT_NE(std::string::npos, world_.recorder.messages[0].find("directory"));
  EXPECT_STREQ(kAlice, world_.engine->GetCredentialState().distinguishedName.Text());
}

TEST_F(DirectoryTest, UnreachableDirectoryWithAnOptionalDirectorySignsOn) {
  MakeEngine("SEPByProxy=0\n");
  HMODULE strings = LoadLibraryA(VELGRADE_DIRECTORY_OPTIONAL_STRINGS);
  ASSERT_NE(nullptr, strings);
  SetResourceInstance(strings);
  bool signedOn = SignOnManager::SignOn(*world_.engine, profile_.c_str(), kPassword);
  SetResourceInstance(nullptr);
  FreeLibrary(strings);
  EXPECT_TRUE(signedOn);
  EXPECT_TRUE(world_.engine->HasCredential());
  ASSERT_EQ(1u, world_.recorder.messages.size());
  EXPECT_NE(std::string::npos, world_.recorder.messages[0].find("directory"));
}

// A transaction that only says whether it holds a security context and
// notes its deletion.
class Probe : public Transaction {
 public:
  Probe(bool secure, std::vector<std::string>& deleted, std::string name)
      : secure_(secure), deleted_(deleted), name_(std::move(name)) {}
  ~Probe() override { deleted_.push_back(name_); }
  bool AddToFdSets(winsock::SOCKET&, winsock::FdSet&, winsock::FdSet&, winsock::FdSet&) override { return true; }
  bool ProcessStep(const winsock::FdSet&, const winsock::FdSet&, const winsock::FdSet&) override { return true; }
  bool IsSecure() const override { return secure_; }

 private:
  bool secure_;
  std::vector<std::string>& deleted_;
  std::string name_;
};

// A stand-in context table: the ages it was purged with, and whether its
// one context is still open.
std::vector<int> g_purges;
time_t g_contextLastUsed = 0;
bool g_contextOpen = false;

void Purge(int age) {
  g_purges.push_back(age);
  if (age == 0 || time(nullptr) - g_contextLastUsed > age) g_contextOpen = false;
}
bool IsTableEmpty() { return !g_contextOpen; }

void InstallTable(Velgrade& engine) {
  g_purges.clear();
  HousekeepingHooks hooks;
  hooks.purgeStaleContexts = Purge;
  hooks.isContextTableEmpty = IsTableEmpty;
  engine.SetHousekeepingHooks(hooks);
}

TEST_F(SignOnTest, SignOffDeletesSecureTransactionsPurgesContextsAndReleases) {
  ASSERT_TRUE(SignOn(kPassword));
  InstallTable(Engine());
  std::vector<std::string> deleted;
  Engine().AddTransaction(new Probe(true, deleted, "secure"));
  auto* kept = new Probe(true, deleted, "kept");
  Engine().AddTransaction(kept);
  Engine().AddTransaction(new Probe(false, deleted, "plain"));
  gss_cred_id_t held = Engine().GetCredentialState().credential;

  Engine().SignOff(0, kept);
  EXPECT_EQ(std::vector<std::string>{"secure"}, deleted);
  EXPECT_EQ(2u, Engine().GetTransactionCount());
  EXPECT_EQ(std::vector<int>{0}, g_purges);
  EXPECT_FALSE(Engine().HasCredential());
  EXPECT_EQ(0, Engine().GetLastActivity());
  const CredentialState& state = Engine().GetCredentialState();
  EXPECT_TRUE(state.profileName.IsEmpty());
  EXPECT_TRUE(state.shortName.IsEmpty());
  EXPECT_TRUE(state.distinguishedName.IsEmpty());
  EXPECT_TRUE(state.distinguishedNameBase64.IsEmpty());
  OM_uint32 minor = 0;
  EXPECT_EQ(GSS_S_NO_CRED, gss_inquire_cred(&minor, held, nullptr, nullptr, nullptr, nullptr));
  EXPECT_TRUE(world_.recorder.Logged("Signing off from Corvask, ShutdownFlag=0...\n"));
  EXPECT_TRUE(world_.recorder.Logged("Signed off from Corvask.\n"));
  GString info;
  EXPECT_FALSE(SignOnManager::GetSignOnInfo(Engine(), info, 1));

  Engine().SignOff(1, nullptr);
  EXPECT_EQ(0u, Engine().GetTransactionCount());
  EXPECT_EQ(3u, deleted.size());
}

TEST_F(SignOnTest, InactivitySignsOffOnlyOnceTheContextsArePurged) {
  // A time-out of five minutes; the user was last active ten minutes ago.
  Engine().SetInactivityTimeout(300);
  ASSERT_TRUE(SignOn(kPassword));
  InstallTable(Engine());
  Engine().SetLastActivity(time(nullptr) - 600);
  g_contextOpen = true;
  g_contextLastUsed = time(nullptr) - 60;
  Engine().Housekeep();
  EXPECT_EQ(std::vector<int>{300}, g_purges);
  EXPECT_TRUE(Engine().HasCredential());

  World later;
  std::string profile = later.IssueProfile("bob.epf", "cn=Bob,o=Example", kPassword);
  later.MakeEngine();
  later.engine->SetInactivityTimeout(300);
  ASSERT_TRUE(SignOnManager::SignOn(*later.engine, profile.c_str(), kPassword));
  InstallTable(*later.engine);
  later.engine->SetLastActivity(time(nullptr) - 600);
  g_contextOpen = true;
  g_contextLastUsed = time(nullptr) - 400;
  later.engine->Housekeep();
  EXPECT_EQ(std::vector<int>({300, 0}), g_purges);
  EXPECT_FALSE(later.engine->HasCredential());
}

TEST_F(SignOnTest, TouchingTheCredentialKeepsTheUserActive) {
  Engine().SetInactivityTimeout(300);
  ASSERT_TRUE(SignOn(kPassword));
  InstallTable(Engine());
  Engine().SetLastActivity(time(nullptr) - 600);
  EXPECT_EQ(Engine().GetCredentialState().credential, Engine().TouchCredential());
  Engine().Housekeep();
  EXPECT_TRUE(Engine().HasCredential());
}

TEST_F(SignOnTest, ChangedPasswordOpensTheProfileAndTheOldOneNoLonger) {
  EXPECT_FALSE(SignOnManager::ChangePassword(Engine(), kPassword, "second secret"));
  EXPECT_EQ("You must be logged in to change your Corvask password.", world_.recorder.messages.back());
  ASSERT_TRUE(SignOn(kPassword));
  Engine().SetLastActivity(1);
  ASSERT_TRUE(SignOnManager::ChangePassword(Engine(), kPassword, "second secret"));
  EXPECT_GT(Engine().GetLastActivity(), 1);
  Engine().SignOff(0, nullptr);

  world_.recorder.messages.clear();
  EXPECT_FALSE(SignOn(kPassword));
  EXPECT_EQ(kInvalid, world_.recorder.messages.back());
  EXPECT_TRUE(SignOn("second secret"));
}

TEST_F(SignOnTest, RefusedChangeLeavesTheOldPassword) {
  ASSERT_TRUE(SignOn(kPassword));
  EXPECT_FALSE(SignOnManager::ChangePassword(Engine(), "not the password", "second secret"));
  ASSERT_FALSE(world_.recorder.messages.empty());
  EXPECT_EQ(0u, world_.recorder.messages.back().find("Cannot change your Corvask password.\n\n"));
  EXPECT_FALSE(SignOnManager::ChangePassword(Engine(), kPassword, ""));

  // A change whose writing is cut short by the file-size limit.
  struct rlimit saved {};
  ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &saved));
  struct rlimit tiny = saved;
  tiny.rlim_cur = 64;
  auto previous = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &tiny));
  bool changed = SignOnManager::ChangePassword(Engine(), kPassword, "second secret");
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  EXPECT_FALSE(changed);

  Engine().SignOff(0, nullptr);
  EXPECT_FALSE(SignOn("second secret"));
  EXPECT_TRUE(SignOn(kPassword));
}

class ToolkitTest : public SignOnTest {
 protected:
  void SetUp() override {
    SignOnTest::SetUp();
    Engine().GetCredentialState().toolkitLibrary = VELGRADE_FAKE_TOOLKIT;
    fake_ = LoadLibraryA(VELGRADE_FAKE_TOOLKIT);
    ASSERT_NE(nullptr, fake_);
    setCode_ = reinterpret_cast<void (*)(int16_t)>(GetProcAddress(fake_, "FakeToolkitSetLoginCode"));
    counts_ = reinterpret_cast<void (*)(int*, int*)>(GetProcAddress(fake_, "FakeToolkitGetCounts"));
    ASSERT_NE(nullptr, setCode_);
    ASSERT_NE(nullptr, counts_);
  }
  void TearDown() override {
    world_.engine.reset();
    FreeLibrary(fake_);
  }
  int Logins() {
    int logins = 0;
    int logouts = 0;
    counts_(&logins, &logouts);
    return logins;
  }
  int Logouts() {
    int logins = 0;
    int logouts = 0;
    counts_(&logins, &logouts);
    return logouts;
  }

  HMODULE fake_ = nullptr;
  void (*setCode_)(int16_t) = nullptr;
  void (*counts_)(int*, int*) = nullptr;
};

TEST_F(ToolkitTest, SuccessLogsInAndSignOffLogsOut) {
  setCode_(0);
  ASSERT_TRUE(SignOn(kPassword));
  EXPECT_EQ(1, Logins());
  EXPECT_NE(0u, Engine().GetCredentialState().toolkitHandle);
  EXPECT_NE(nullptr, Engine().GetCredentialState().toolkit.startProtect);
  EXPECT_TRUE(world_.recorder.messages.empty());
  Engine().SignOff(0, nullptr);
  EXPECT_EQ(1, Logouts());
  EXPECT_EQ(0u, Engine().GetCredentialState().toolkitHandle);
}

TEST_F(ToolkitTest, WarningSignsOn) {
  setCode_(5);
  EXPECT_TRUE(SignOn(kPassword));
  EXPECT_TRUE(Engine().HasCredential());
  ASSERT_EQ(1u, world_.recorder.messages.size());
  EXPECT_EQ("Cannot initialize Corvask.\n\nToolkit warning", world_.recorder.messages[0]);
}

TEST_F(ToolkitTest, ErrorSignsOffAgain) {
  setCode_(-3);
  EXPECT_FALSE(SignOn(kPassword));
  EXPECT_FALSE(Engine().HasCredential());
  ASSERT_EQ(1u, world_.recorder.messages.size());
  EXPECT_EQ("Cannot initialize Corvask.\n\nToolkit error", world_.recorder.messages[0]);
  EXPECT_TRUE(world_.recorder.Logged("Signed off from Corvask.\n"));
  // The toolkit stays loaded; the next sign-on logs in again.
  setCode_(0);
  EXPECT_TRUE(SignOn(kPassword));
  EXPECT_EQ(2, Logins());
}

TEST_F(ToolkitTest, UnreachableDirectoryNeedsSignOnThroughTheServer) {
  setCode_(static_cast<int16_t>(kCVDirectoryUnreachable));
  EXPECT_FALSE(SignOn(kPassword));
  EXPECT_EQ("Cannot initialize Corvask.\n\nToolkit directory unavailable", world_.recorder.messages.back());
}

TEST_F(SignOnTest, WithoutTheToolkitSignOnGoesOn) {
  ASSERT_TRUE(SignOn(kPassword));
  EXPECT_EQ(nullptr, Engine().GetCredentialState().toolkitModule);
  EXPECT_EQ(0u, Engine().GetCredentialState().toolkitHandle);
}

TEST(ShortNameTest, FileTitle) {
  const std::pair<const char*, const char*> cases[] = {
      {"/home/u/alice.epf", "alice"}, {"alice.smith.epf", "alice.smith"}, {"C:\\prof\\bob.tkn", "bob"},
      {"/a.b/carol", "carol"},        {"", ""},
  };
  for (const auto& [path, expected] : cases) {
    EXPECT_STREQ(expected, SignOnManager::MakeShortName(path).Text()) << path;
  }
}

}  // namespace
