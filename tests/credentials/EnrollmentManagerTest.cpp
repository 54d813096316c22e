// The engine's enrollment halves without a network: the reply handlers fed
// directly, the helpers by table. The whole exchanges run end to end in
// tests/e2e/enroll_e2e.sh.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "credentials/CardText.h"
#include "credentials/CliDecryptor.h"
#include "credentials/EnrollmentManager.h"
#include "credentials/RegistrationData.h"
#include "credentials/SEPRegistrationData.h"
#include "tests/credentials/SignOnSupport.h"

namespace {

struct Completion {
  int calls = 0;
  int success = -1;
  std::string text1;
  std::string text2;
};

void Record(int success, const char* text1, const char* text2, void* context) {
  auto* completion = static_cast<Completion*>(context);
  ++completion->calls;
  completion->success = success;
  completion->text1 = text1 != nullptr ? text1 : "";
  completion->text2 = text2 != nullptr ? text2 : "";
}

BinData Bytes(const std::string& text) { return BinData(text.data(), text.size()); }

TEST(EnrollmentHelpers, ReferenceNumbersTakeTheLeadingDecimalPart) {
  const std::pair<const char*, int> cases[] = {
      {"12345678", 12345678}, {"0012x", 12}, {"", 0}, {"abc", 0}, {"-5", -5}, {"99999999999", INT_MAX}};
  for (const auto& [text, expected] : cases) EXPECT_EQ(EnrollmentManager::ParseReference(text), expected) << text;
}

TEST(EnrollmentHelpers, ReplyValuesRunToTheNextAmpersand) {
  struct Case {
    const char* body;
    const char* name;
    bool found;
    const char* value;
  };
  const Case cases[] = {
      {"ref=AAA=&auth=BB+/", "auth", true, "BB+/"}, {"ref=AAA=&auth=BB+/", "ref", true, "AAA="},
      {"auth=&ref=x", "auth", false, ""},           {"ref=abc", "auth", false, ""},
      {"ref=1&ref=2", "ref", true, "1"},            {"", "ref", false, ""},
  };
  for (const Case& c : cases) {
    GString value;
    EXPECT_EQ(EnrollmentManager::FindReplyValue(c.body, c.name, value), c.found) << c.body << " " << c.name;
    if (c.found) EXPECT_STREQ(value.Text(), c.value) << c.body;
  }
}

TEST(EnrollmentHelpers, CardTextJoinsTheCustomerFields) {
  struct Case {
    const char* field2;
    const char* field3;
    const char* expected;
  };
  const Case cases[] = {{"", "", "4000"}, {"B7", "", "4000#B7"}, {"B7", "X", "4000#B7#X"}, {"", "X", "4000##X"}};
  for (const Case& c : cases)
    EXPECT_STREQ(CardText::Compose("4000", c.field2, c.field3).Text(), c.expected) << c.field2 << "|" << c.field3;
}

TEST(EnrollmentHelpers, TheServersEncryptionDecryptsOnTheClient) {
  CliDecryptor server(Bytes("87654321"), Bytes("4000123412341234#B7"));
  CliDecryptor client(Bytes("87654321"), Bytes("4000123412341234#B7"));
  ASSERT_EQ(server.Prepare(), 0);
  ASSERT_EQ(client.Prepare(), 0);
  for (const std::string plain : {std::string(), std::string("12345678"), std::string("ABCD-EFGH-IJKL")}) {
    GString encrypted;
    ASSERT_EQ(server.Encrypt(Bytes(plain), encrypted), kSkOk);
    BinData decrypted;
    ASSERT_EQ(client.Decrypt(encrypted, decrypted), kSkOk);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(decrypted.GetData()), decrypted.GetLength()), plain);
  }
  CliDecryptor other(Bytes("87654322"), Bytes("4000123412341234#B7"));
  ASSERT_EQ(other.Prepare(), 0);
  GString encrypted;
  ASSERT_EQ(server.Encrypt(Bytes("ABCD-EFGH-IJKL"), encrypted), kSkOk);
  BinData wrong;
  bool opened = other.Decrypt(encrypted, wrong) == kSkOk &&
                std::string(reinterpret_cast<const char*>(wrong.GetData()), wrong.GetLength()) == "ABCD-EFGH-IJKL";
  EXPECT_FALSE(opened);
}

class EnrollmentEngineTest : public ::testing::Test {
 protected:
  signontest::World world;
};

TEST_F(EnrollmentEngineTest, AnEmptyStepAnswerEndsSilentlyUnlessItIsTheErrorType) {
  world.MakeEngine("SEPByProxy=1\n");
  Completion completion;
  EnrollmentManager::OnSepReply("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n", BinData(),
                                new SEPRegistrationData(1, "password-1", "/tmp/x.epf", "CODE", *world.engine,
                                                        Record, 1, &completion));
  EXPECT_EQ(completion.calls, 0);
  EnrollmentManager::OnSepReply("HTTP/1.0 200 OK\r\nContent-Type: application/x-Corvask-SEP-Error\r\n\r\n",
                                BinData(),
                                new SEPRegistrationData(1, "password-1", "/tmp/x.epf", "CODE", *world.engine,
                                                        Record, 1, &completion));
  EXPECT_EQ(completion.calls, 1);
  EXPECT_EQ(completion.success, 0);
  EXPECT_EQ(completion.text1, "Corvask error");
  EXPECT_NE(completion.text2.find("Velgrade registration failed."), std::string::npos);
}

TEST_F(EnrollmentEngineTest, AnUnusableStepAnswerIsARegistrationError) {
  world.MakeEngine("SEPByProxy=1\n");
  Completion completion;
  EnrollmentManager::OnSepReply("HTTP/1.0 502 Bad Gateway\r\nContent-Type: text/html\r\n\r\n", Bytes("<html>"),
                                new SEPRegistrationData(1, "password-1", "/tmp/x.epf", "CODE", *world.engine,
                                                        Record, 1, &completion));
  EXPECT_EQ(completion.calls, 1);
  EXPECT_NE(completion.text2.find("Registration error: check the information"), std::string::npos);
}

TEST_F(EnrollmentEngineTest, RegistrationAnswersThatAreRefused) {
  world.MakeEngine();
  struct Case {
    const char* head;
    const char* body;
    const char* text1;
    const char* text2;
  };
  const Case cases[] = {
      {"HTTP/1.0 503 Service Unavailable\r\n\r\n", "try later", "Service Unavailable", "try later"},
      {"HTTP/1.0 200 OK\r\n\r\n", "ref=a&auth=b", "OK", "ref=a&auth=b"},
      {"HTTP/1.0 200 OK\r\nContent-Type: application/x-Corvask-SEP\r\n\r\n", "x", "OK", "x"},
      {"HTTP/1.0 200 OK\r\nContent-Type: application/x-Corvask-Registration\r\n\r\n", "ref=AAAA",
       "Corvask error", "The server returned incorrectly formatted data."},
      {"HTTP/1.0 200 OK\r\nContent-Type: application/x-Corvask-Registration\r\n\r\n", "ref=!!!!&auth=AAAA",
       "Corvask error", "Unable to decrypt the data returned by the server."},
  };
  for (const Case& c : cases) {
    Completion completion;
    auto decryptor = std::make_unique<CliDecryptor>(Bytes("87654321"), Bytes("4000"));
    ASSERT_EQ(decryptor->Prepare(), 0);
    EnrollmentManager::OnRegistrationReply(
        c.head, Bytes(c.body),
        new RegistrationData(1, "password-1", "/tmp/x.epf", std::move(decryptor), *world.engine, Record,
                             &completion));
    EXPECT_EQ(completion.calls, 1) << c.head;
    EXPECT_EQ(completion.success, 0) << c.head;
    EXPECT_EQ(completion.text1, c.text1) << c.head;
    EXPECT_EQ(completion.text2, c.text2) << c.head;
  }
}

TEST_F(EnrollmentEngineTest, FailuresBeforeAnythingIsSent) {
  world.MakeEngine();
  Completion completion;
  EXPECT_FALSE(EnrollmentManager::SendRegistration(*world.engine, "", "4000", "password-1", "/tmp/x.epf", 1, Record,
                                                   &completion));
  EXPECT_TRUE(world.HasMessage("Error generating cryptographic information."));
  EXPECT_FALSE(EnrollmentManager::CreateUser(*world.engine, "12345678", "CODE", "password-1",
                                             (world.folder.Path() + "x.epf").c_str(), 1, &completion, Record));
  EXPECT_TRUE(world.HasMessage("Velgrade could not create the profile."));
  EXPECT_EQ(completion.calls, 0);
}

TEST_F(EnrollmentEngineTest, WithoutAStepAddressNothingIsPosted) {
  world.MakeEngine("SEPByProxy=1\n");
  Completion completion;
  EXPECT_FALSE(EnrollmentManager::CreateUser(*world.engine, "12345678", "CODE", "password-1",
                                             (world.folder.Path() + "x.epf").c_str(), 1, &completion, Record));
  EXPECT_EQ(world.engine->GetTransactionCount(), 0u);
  EXPECT_TRUE(world.HasMessage("Velgrade registration failed."));
}

}  // namespace
