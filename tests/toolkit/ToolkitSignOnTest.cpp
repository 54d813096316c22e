// The engine's sign-on with the real toolkit beside it: profiles issued by
// velgrade-admin, the toolkit loaded from its build folder.
#include <gtest/gtest.h>

#include <string>

#include "credentials/SignOnManager.h"
#include "session/ProfileStore.h"
#include "tests/credentials/SignOnSupport.h"
#include "toolkit/SignatureVerifier.h"

namespace {

using signontest::World;
using toolkit::SignatureVerifier;

constexpr char kAlice[] = "cn=Alice Smith,o=Example";
constexpr char kPassword[] = "first secret";

class ToolkitSignOnTest : public testing::Test {
 protected:
  void SetUp() override {
    profile_ = world_.IssueProfile("alice.epf", kAlice, kPassword, 365);
  }
  void MakeEngine(const std::string& corvaskSettings = "") {
    world_.MakeEngine(corvaskSettings);
    Engine().GetCredentialState().toolkitLibrary = VELGRADE_TOOLKIT_PATH;
  }
  Velgrade& Engine() { return *world_.engine; }
  bool SignOn(const std::string& profile, const char* password) {
    return SignOnManager::SignOn(Engine(), profile.c_str(), password);
  }

  // Signs text through the engine's entry points as a signing client does;
  // returns the ASCII form of the signature.
  std::string Sign(const std::string& text) {
    const CredentialState& state = Engine().GetCredentialState();
    const ToolkitEntryPoints& calls = state.toolkit;
    if (calls.startProtect(state.toolkitHandle, 3, 0, 0, "text/plain", 6) != 0) return "";
    CVBuffer input{static_cast<uint32_t>(text.size()), reinterpret_cast<uint8_t*>(const_cast<char*>(text.data()))};
    CVBuffer first{};
    CVBuffer second{};
    if (calls.protect(state.toolkitHandle, &input) != 0 ||
        calls.endProtect(state.toolkitHandle, &first, &second) != 0)
      return "";
    std::string target(first.length * 4 / 3 + 6, '\0');
    CVBuffer encoded{static_cast<uint32_t>(target.size()), reinterpret_cast<uint8_t*>(target.data())};
    if (calls.asciiEncode(&first, &encoded) != 0) return "";
    target.resize(encoded.length);
    return target;
  }

  SignatureVerifier::Result Check(const std::string& signature, const std::string& text) {
    session::Profile profile;
    EXPECT_EQ(session::ProfileStore::Result::kDone, session::ProfileStore::Load(profile_.c_str(), profile));
    return SignatureVerifier::VerifyText(signature.data(), signature.size(), text.data(), text.size(),
                                         profile.GetCertificate());
  }

  World world_;
  std::string profile_;
};

TEST_F(ToolkitSignOnTest, SignOnLogsInAndTheSignatureVerifies) {
  MakeEngine();
  ASSERT_TRUE(SignOn(profile_, kPassword));
  EXPECT_TRUE(world_.recorder.messages.empty());
  CVHandle handle = Engine().GetCredentialState().toolkitHandle;
  ASSERT_NE(0u, handle);
  const std::string text = "a=1&CorvaskSigClient=x";
  std::string signature = Sign(text);
  EXPECT_EQ(SignatureVerifier::Result::kValid, Check(signature, text));
  EXPECT_EQ(SignatureVerifier::Result::kInvalid, Check(signature, "a=2&CorvaskSigClient=x"));

  ToolkitEntryPoints calls = Engine().GetCredentialState().toolkit;
  Engine().SignOff(0, nullptr);
  EXPECT_EQ(0u, Engine().GetCredentialState().toolkitHandle);
  EXPECT_NE(0, calls.startProtect(handle, 3, 0, 0, "text/plain", 6));
}

TEST_F(ToolkitSignOnTest, ExpiringCertificateSignsOnWithAWarning) {
  std::string expiring = world_.IssueProfile("soon.epf", "cn=Soon,o=Example", kPassword, 3);
  MakeEngine();
  EXPECT_TRUE(SignOn(expiring, kPassword));
  EXPECT_TRUE(Engine().HasCredential());
  EXPECT_NE(0u, Engine().GetCredentialState().toolkitHandle);
  ASSERT_EQ(1u, world_.recorder.messages.size());
  EXPECT_EQ("Cannot initialize Corvask.\n\nYour signing certificate expires within 14 days.",
            world_.recorder.messages[0]);
}

TEST_F(ToolkitSignOnTest, UnreachableDirectoryFollowsTheSessionLibrary) {
  const std::string directory = "DirectoryServer=127.0.0.1:" + std::to_string(enginetest::FreePort()) + "\n";
  MakeEngine(directory + "SEPByProxy=1\n");
  EXPECT_TRUE(SignOn(profile_, kPassword));
  EXPECT_NE(0u, Engine().GetCredentialState().toolkitHandle);
  EXPECT_TRUE(world_.HasMessage("The public directory is unavailable."));
  EXPECT_EQ(SignatureVerifier::Result::kValid, Check(Sign("a=1"), "a=1"));
}

}  // namespace
