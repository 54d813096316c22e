#include "engine/Velgrade.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

#include "engine/DNSCache.h"
#include "platform/Files.h"
#include "tests/engine/EngineTestSupport.h"

namespace {

using enginetest::FreePort;
using enginetest::IniWithPort;
using enginetest::Recorder;
using enginetest::TempFolder;

struct ConfiguredEngine {
  explicit ConfiguredEngine(const std::string& ini) {
    folder.Write("corvask.ini", ini);
    engine = std::make_unique<Velgrade>(folder.Path().c_str(), recorder.Callbacks(), &recorder);
  }
  TempFolder folder;
  Recorder recorder;
  std::unique_ptr<Velgrade> engine;
};

TEST(VelgradeConfigTest, PortRange) {
  const std::pair<const char*, int> cases[] = {
      {"0", 8080}, {"70000", 8080}, {"abc", 8080}, {"65535", 65535}, {"8081x", 8081}, {"", 8080}};
  for (const auto& [value, expected] : cases) {
    ConfiguredEngine configured(std::string("[Velgrade]\nport=") + value + "\n");
    EXPECT_EQ(expected, configured.engine->GetListenPort()) << value;
  }
}

TEST(VelgradeConfigTest, TimeoutRanges) {
  struct Case {
    const char* lines;
    int context;
    int inactivity;
  };
  const Case cases[] = {
      {"", 480, 900},
      {"contextTimeout=0\ntimeout=4\n", 480, 900},
      {"contextTimeout=1\ntimeout=30\n", 60, 1800},
      {"contextTimeout=20\ntimeout=31\n", 1200, 900},
      {"timeout=5\n", 480, 300},
  };
  for (const Case& c : cases) {
    ConfiguredEngine configured(std::string("[Velgrade]\n") + c.lines);
    EXPECT_EQ(c.context, configured.engine->GetContextTimeout()) << c.lines;
    EXPECT_EQ(c.inactivity, configured.engine->GetInactivityTimeout()) << c.lines;
  }
}

TEST(VelgradeConfigTest, SigningKeyAndDefaults) {
  ConfiguredEngine dsa("[Corvask Settings]\nSigningKey=dsa\n");
  EXPECT_EQ(48, dsa.engine->GetSignatureSize());
  ConfiguredEngine plain("[Velgrade]\n");
  EXPECT_EQ(64, plain.engine->GetSignatureSize());
  EXPECT_EQ(1, plain.engine->GetNonBlockingSockets());
  EXPECT_EQ(0, plain.engine->GetNoDelaySockets());
  EXPECT_EQ(1, plain.engine->GetAllowAutoProxy());
  EXPECT_EQ(0xE7u, plain.engine->GetLogMask());
  EXPECT_FALSE(plain.engine->GetChainProxy(nullptr));
}

TEST(VelgradeConfigTest, EditionNeedsCorvaskIniBesideTheProgram) {
  std::string beside = (GetProgramFolder() + "/corvask.ini").Text();
  std::string ini = "[Velgrade]\nVersionType=FINANCIAL\n";
  {
    ConfiguredEngine configured(ini);
    EXPECT_EQ(0, configured.engine->IsFinancialEdition());
    EXPECT_EQ(1, configured.engine->IsSingleLogin());
    EXPECT_EQ(0, configured.engine->IsConfigurationPresent());
  }
  { std::FILE* file = std::fopen(beside.c_str(), "w"); ASSERT_NE(nullptr, file); std::fclose(file); }
  {
    ConfiguredEngine configured(ini);
    EXPECT_EQ(1, configured.engine->IsFinancialEdition());
    EXPECT_EQ(0, configured.engine->IsSingleLogin());
    // The financial edition needs a registration URL.
    EXPECT_FALSE(configured.engine->Start());
    EXPECT_NE(std::string::npos, configured.recorder.messages.back().find("registration URL"));
  }
  std::remove(beside.c_str());
}

bool FailToResolve(const char*, uint32_t&) { return false; }

TEST(VelgradeConfigTest, ChainProxyKey) {
  ConfiguredEngine noPort("[Velgrade]\nchainProxy=127.0.0.1\n");
  EXPECT_FALSE(noPort.engine->GetChainProxy(nullptr));
  EXPECT_TRUE(noPort.recorder.messages.empty());

  ConfiguredEngine set("[Velgrade]\nchainProxy=127.0.0.2 3128\n");
  sockaddr_in address{};
  ASSERT_TRUE(set.engine->GetChainProxy(&address));
  EXPECT_EQ(htonl(0x7F000002), address.sin_addr.s_addr);
  EXPECT_EQ(htons(3128), address.sin_port);

  DNSCache::SetResolver(FailToResolve);
  ConfiguredEngine unresolved("[Velgrade]\nchainProxy=nowhere.invalid 3128\n");
  DNSCache::SetResolver(nullptr);
  EXPECT_FALSE(unresolved.engine->GetChainProxy(nullptr));
  ASSERT_EQ(1u, unresolved.recorder.messages.size());
  EXPECT_NE(std::string::npos, unresolved.recorder.messages[0].find("nowhere.invalid"));
  EXPECT_EQ(kMessageError, unresolved.recorder.kinds[0]);
}

TEST(VelgradeStartTest, MissingConfigurationIsReported) {
  TempFolder folder;
  Recorder recorder;
  Velgrade engine(folder.Path().c_str(), recorder.Callbacks(), &recorder);
  EXPECT_FALSE(engine.Start());
  ASSERT_EQ(1u, recorder.messages.size());
  EXPECT_NE(std::string::npos, recorder.messages[0].find("corvask.ini\nis missing or unreadable."));
}

TEST(VelgradeStartTest, ListensOnLoopbackOnlyAndRefusesABusyPort) {
  int port = FreePort();
  ConfiguredEngine first(IniWithPort(port));
  ASSERT_TRUE(first.engine->Start());
  sockaddr_in bound{};
  socklen_t length = sizeof bound;
  ASSERT_EQ(0, getsockname(first.engine->GetListenSocket(), reinterpret_cast<sockaddr*>(&bound), &length));
  EXPECT_EQ(htonl(INADDR_LOOPBACK), bound.sin_addr.s_addr);
  EXPECT_EQ(htons(static_cast<uint16_t>(port)), bound.sin_port);
  EXPECT_TRUE(first.recorder.Logged("Waiting for local requests on port " + std::to_string(port)));

  ConfiguredEngine second(IniWithPort(port));
  EXPECT_FALSE(second.engine->Start());
  ASSERT_FALSE(second.recorder.messages.empty());
  EXPECT_NE(std::string::npos, second.recorder.messages.back().find("initializing socket"));
  EXPECT_NE(std::string::npos, second.recorder.messages.back().find("10048"));
}

TEST(VelgradePollTest, ThirdWrongPasswordStops) {
  ConfiguredEngine configured(IniWithPort(FreePort()));
  int stop = -1;
  EXPECT_TRUE(configured.engine->Poll(0, &stop));
  EXPECT_EQ(-1, stop);  // nothing to serve before Start
  ASSERT_TRUE(configured.engine->Start());
  EXPECT_TRUE(configured.engine->Poll(0, &stop));
  EXPECT_EQ(0, stop);
  configured.engine->SetWrongPasswordCount(3);
  EXPECT_FALSE(configured.engine->Poll(0, &stop));
  EXPECT_EQ(1, stop);
}

// A transaction that, when serviced, deletes every other entry (as a
// sign-off does) and counts how often it was serviced.
class Greedy : public Transaction {
 public:
  Greedy(Velgrade& engine, int& serviced, int fd) : engine_(engine), serviced_(serviced), fd_(fd) {}
  bool AddToFdSets(winsock::SOCKET& largest, winsock::FdSet& read, winsock::FdSet&, winsock::FdSet&) override {
    winsock::FdAdd(fd_, &read);
    if (fd_ > largest) largest = fd_;
    return true;
  }
  bool ProcessStep(const winsock::FdSet&, const winsock::FdSet&, const winsock::FdSet&) override {
    ++serviced_;
    engine_.DeleteTransactionsExcept(this);
    return true;
  }
  bool IsSecure() const override { return false; }

 private:
  Velgrade& engine_;
  int& serviced_;
  int fd_;
};

TEST(VelgradePollTest, ServicingThatDeletesOtherEntriesIsSafe) {
  ConfiguredEngine configured(IniWithPort(FreePort()));
  ASSERT_TRUE(configured.engine->Start());
  int pair[2];
  ASSERT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM, 0, pair));
  ASSERT_EQ(1, write(pair[1], "x", 1));
  int serviced = 0;
  for (int i = 0; i < 4; ++i) configured.engine->AddTransaction(new Greedy(*configured.engine, serviced, pair[0]));
  EXPECT_TRUE(configured.engine->Poll(0, nullptr));
  EXPECT_EQ(1, serviced);
  EXPECT_EQ(1u, configured.engine->GetTransactionCount());
  EXPECT_TRUE(configured.engine->Poll(0, nullptr));
  EXPECT_EQ(2, serviced);
  int secure = -1;
  int plain = -1;
  configured.engine->CountConnections(secure, plain);
  EXPECT_EQ(0, secure);
  EXPECT_EQ(1, plain);
  configured.engine.reset();
  close(pair[0]);
  close(pair[1]);
}

TEST(VelgradeLogTest, MaskPrefixAndCut) {
  ConfiguredEngine configured("[Velgrade]\n");
  Velgrade& engine = *configured.engine;
  Recorder& recorder = configured.recorder;
  engine.Log(kLogHttpHeaders, "header block\n");
  engine.Log(kLogHttpData, "data block\n");
  EXPECT_TRUE(recorder.logLines.empty());
  engine.Log(kLogSocketEvents, "socket %d\n", 7);
  engine.Log(kLogHttpHeaders | kLogTokens, "either bit\n");
  ASSERT_EQ(2u, recorder.logLines.size());
  const std::string& line = recorder.logLines[0];
  // "Velgrade: @YYYY-MM-DD HH:MM.SS socket 7\n"
  ASSERT_EQ(std::string("Velgrade: @").size() + 19 + std::string(" socket 7\n").size(), line.size());
  EXPECT_EQ(0u, line.find("Velgrade: @"));
  EXPECT_EQ('.', line[11 + 16]);
  EXPECT_EQ(" socket 7\n", line.substr(30));
  std::string huge(20000, 'x');
  engine.Log(kLogAlways, "%s", huge.c_str());
  EXPECT_EQ(8191u, recorder.logLines.back().size());
}

TEST(VelgradeLogTest, MessagesAndTexts) {
  ConfiguredEngine configured("[Velgrade]\n");
  configured.engine->ShowMessage(99999);
  configured.engine->ShowWarning(2048, "h.example");
  ASSERT_EQ(2u, configured.recorder.messages.size());
  EXPECT_EQ("*** Error loading message number 99999", configured.recorder.messages[0]);
  EXPECT_EQ(kMessageError, configured.recorder.kinds[0]);
  EXPECT_EQ(
      "The specified remote proxy/host\n\nh.example\n\ndoes not have a DNS entry.\nOperating with no remote proxy.",
      configured.recorder.messages[1]);
  EXPECT_EQ(kMessageWarning, configured.recorder.kinds[1]);
  EXPECT_TRUE(configured.recorder.logLines.empty());

  EXPECT_STREQ("10061 (Connection refused)", Velgrade::GetSocketErrorText(10061).Text());
  EXPECT_STREQ("10000", Velgrade::GetSocketErrorText(10000).Text());
  EXPECT_STREQ("42", Velgrade::GetSocketErrorText(42).Text());
  EXPECT_STREQ("INIT", Velgrade::TokenTypeName(1));
  EXPECT_STREQ("WRAP", Velgrade::TokenTypeName(5));
  EXPECT_STREQ("*Unknown*", Velgrade::TokenTypeName(4));
}

}  // namespace

namespace {

TEST(VelgradeLogTest, GssStatusTexts) {
  GString majorOnly = Velgrade::GetGssStatusText(0x000D0000, 0);
  EXPECT_FALSE(majorOnly.IsEmpty());
  EXPECT_LT(majorOnly.Find('\n'), 0);
  // A failure with a mechanism status shows only the mechanism's text;
  // another major status shows both, one per line.
  GString minorOnly = Velgrade::GetGssStatusText(0x000D0000, 9);
  GString both = Velgrade::GetGssStatusText(0x00010000, 9);
  EXPECT_FALSE(minorOnly.IsEmpty());
  std::string whole = both.Text();
  std::string tail = "\n" + std::string(minorOnly.Text());
  ASSERT_GT(whole.size(), tail.size());
  EXPECT_EQ(tail, whole.substr(whole.size() - tail.size()));
}

}  // namespace
