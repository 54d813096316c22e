#include <gtest/gtest.h>

#include "credentials/sk/SK_Exports.h"
#include "credentials/sk/SK_Toolkit.h"
#include "credentials/sk/SK_User.h"
#include "platform/DynamicLibrary.h"

namespace {

TEST(SK_User, GenerateRandomResizesAndFills) {
  SK_User user(kSkKeyCast128, kSkHashSha1, 100);
  EXPECT_EQ(user.GetNumber(), 100u);
  BinData first(reinterpret_cast<const uint8_t*>("old bytes"), 9);
  ASSERT_EQ(user.GenerateRandom(first, 32), kSkOk);
  EXPECT_EQ(first.GetLength(), 32u);
  BinData second;
  ASSERT_EQ(user.GenerateRandom(second, 32), kSkOk);
  EXPECT_FALSE(first == second);
  ASSERT_EQ(user.GenerateRandom(second, 0), kSkOk);
  EXPECT_TRUE(second.IsEmpty());
}

struct ListResult {
  SK_Status status;
  unsigned long count;
  GString names[4];
  SKKEYTYPE keyTypes[4] = {};
  unsigned long bits[4] = {};
  SKHASHERTYPE hashes[4] = {};
};

ListResult List(SK_User& user, SKALGCLASS algClass, unsigned long capacity) {
  ListResult result;
  result.count = capacity;
  result.status = user.GetAlgorithmList(result.names, result.keyTypes, result.bits, result.hashes, result.count, algClass);
  return result;
}

TEST(SK_User, AlgorithmLists) {
  SK_User user(kSkKeyCast128, kSkHashSha1, 100);
  ListResult ciphers = List(user, kSkClassSymmetric, 4);
  ASSERT_EQ(ciphers.status, kSkOk);
  ASSERT_EQ(ciphers.count, 2u);
  EXPECT_EQ(ciphers.names[0], "CAST-128");
  EXPECT_EQ(ciphers.keyTypes[0], 11);
  EXPECT_EQ(ciphers.bits[0], 128u);
  EXPECT_EQ(ciphers.names[1], "CAST-80");
  EXPECT_EQ(ciphers.keyTypes[1], 11);
  EXPECT_EQ(ciphers.bits[1], 80u);
  EXPECT_EQ(ciphers.hashes[1], 0);

  ListResult hashes = List(user, kSkClassHash, 4);
  ASSERT_EQ(hashes.status, kSkOk);
  ASSERT_EQ(hashes.count, 1u);
  EXPECT_EQ(hashes.names[0], "SHA-1");
  EXPECT_EQ(hashes.keyTypes[0], 0);
  EXPECT_EQ(hashes.hashes[0], 3);

  ListResult capped = List(user, kSkClassSymmetric, 1);
  EXPECT_EQ(capped.count, 1u);
  EXPECT_EQ(capped.names[0], "CAST-128");
  EXPECT_TRUE(capped.names[1].IsEmpty());

  for (SKALGCLASS other : {0, 2, 3, 5}) {
    ListResult none = List(user, other, 4);
    EXPECT_EQ(none.status, kSkUnknownAlgorithmClass) << other;
    EXPECT_EQ(none.count, 0u) << other;
  }
}

TEST(SK_User, CountingWithoutArraysAndWithSomeArrays) {
  SK_User user(kSkKeyCast128, kSkHashSha1, 100);
  unsigned long count = 0;
  ASSERT_EQ(user.GetAlgorithmList(nullptr, nullptr, nullptr, nullptr, count, kSkClassSymmetric), kSkOk);
  EXPECT_EQ(count, 2u);
  unsigned long bits[2] = {};
  count = 2;
  ASSERT_EQ(user.GetAlgorithmList(nullptr, nullptr, bits, nullptr, count, kSkClassSymmetric), kSkOk);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(bits[1], 80u);
  count = 0;
  ASSERT_EQ(user.GetAlgorithmList(nullptr, nullptr, bits, nullptr, count, kSkClassSymmetric), kSkOk);
  EXPECT_EQ(count, 0u);
}

TEST(SK_User, PolicyWithholdsCiphersFromAUserLackingCapabilities) {
  struct Case {
    bool first;
    bool second;
    int capabilitiesGranted;  // how many of the three
    unsigned long expected;
  };
  const Case cases[] = {
      {false, false, 0, 2}, {true, true, 0, 2}, {false, true, 0, 2},
      {true, false, 0, 0},  {true, false, 2, 0}, {true, false, 3, 2},
  };
  for (const Case& c : cases) {
    SK_User user(kSkKeyCast128, kSkHashSha1, 100);
    user.SetPolicyFlags(c.first, c.second);
    for (int i = 0; i < c.capabilitiesGranted; ++i) ASSERT_EQ(user.GrantCapability(SK_User::kCipherCapabilities[i]), kSkOk);
    unsigned long count = 0;
    ASSERT_EQ(user.GetAlgorithmList(nullptr, nullptr, nullptr, nullptr, count, kSkClassSymmetric), kSkOk);
    EXPECT_EQ(count, c.expected) << c.first << c.second << c.capabilitiesGranted;
    count = 4;
    ASSERT_EQ(user.GetAlgorithmList(nullptr, nullptr, nullptr, nullptr, count, kSkClassHash), kSkOk);
    EXPECT_EQ(count, 1u);
  }
}

TEST(SK_Toolkit, StartUpModes) {
  SK_Toolkit toolkit;
  EXPECT_FALSE(toolkit.IsReady());
  EXPECT_EQ(toolkit.Start(0), kSkOk);
  EXPECT_TRUE(toolkit.IsReady());
  EXPECT_EQ(toolkit.Start(0), kSkOk);
  EXPECT_EQ(toolkit.Start(1), kSkAlreadyStarted);
  EXPECT_TRUE(toolkit.IsReady());

  SK_Toolkit other;
  EXPECT_EQ(other.Start(2), kSkOk);
  EXPECT_FALSE(other.IsReady());
  EXPECT_EQ(other.Start(2), kSkOk);
  EXPECT_EQ(other.Start(0), kSkAlreadyStarted);
}

TEST(SK_Toolkit, AFailedStartUpStaysFailed) {
  SK_Toolkit toolkit([] { return false; });
  EXPECT_EQ(toolkit.Start(0), kSkAlreadyStarted);
  EXPECT_EQ(toolkit.Start(0), kSkAlreadyStarted);
  EXPECT_FALSE(toolkit.IsReady());
}

TEST(SK_Toolkit, SelfTestPassesAndTheProcessToolkitStarts) {
  EXPECT_TRUE(SK_Toolkit::SelfTest());
  EXPECT_EQ(SK_Startup(0), kSkOk);
  EXPECT_TRUE(SK_Toolkit::Instance().IsReady());
}

// The program finds the exports in itself by their decorated names.
TEST(SK_Exports, FoundByDecoratedNameAndWorking) {
  HMODULE self = GetModuleHandleA(nullptr);
  ASSERT_NE(self, nullptr);
  auto str2Hash = reinterpret_cast<SKHASHERTYPE (*)(const GString&)>(GetProcAddress(self, "_SK_Str2HashType@4"));
  auto hash2Str = reinterpret_cast<GString (*)(SKHASHERTYPE)>(GetProcAddress(self, "_SK_HashType2Str@8"));
  auto keyName = reinterpret_cast<GString (*)(const SK_Key*)>(GetProcAddress(self, "_SK_Key_GetAlgorithmName@8"));
  auto random = reinterpret_cast<SK_Status (*)(SK_User*, BinData&, unsigned long)>(
      GetProcAddress(self, "_SK_User_GenerateRandom@12"));
  auto list = reinterpret_cast<SK_Status (*)(SK_User*, GString*, SKKEYTYPE*, unsigned long*, SKHASHERTYPE*,
                                             unsigned long&, SKALGCLASS)>(
      GetProcAddress(self, "_SK_User_GetAlgorithmList@28"));
  auto decode = reinterpret_cast<SK_Status (*)(GString&, unsigned long*, SKKEYTYPE*, unsigned long*, unsigned long*,
                                               SKHASHERTYPE*)>(GetProcAddress(self, "_SK_DecodeAlgorithmName@24"));
  ASSERT_TRUE(str2Hash && hash2Str && keyName && random && list && decode);

  EXPECT_EQ(str2Hash("SHA-1"), 3);
  EXPECT_EQ(hash2Str(3), "SHA-1");
  const SK_Key key(kSkKeyCast128, 80);
  EXPECT_EQ(keyName(&key), "CAST-80");
  EXPECT_EQ(keyName(nullptr), "");
  SK_User user(kSkKeyCast128, kSkHashSha1, 100);
  BinData bytes;
  EXPECT_EQ(random(&user, bytes, 16), kSkOk);
  EXPECT_EQ(bytes.GetLength(), 16u);
  EXPECT_EQ(random(nullptr, bytes, 16), kSkBadArgument);
  EXPECT_TRUE(bytes.IsEmpty());
  unsigned long count = 0;
  EXPECT_EQ(list(&user, nullptr, nullptr, nullptr, nullptr, count, kSkClassHash), kSkOk);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(list(nullptr, nullptr, nullptr, nullptr, nullptr, count, kSkClassHash), kSkBadArgument);
  EXPECT_EQ(count, 0u);
  GString name("CAST");
  unsigned long bits = 0;
  EXPECT_EQ(decode(name, &bits, nullptr, nullptr, nullptr, nullptr), kSkOk);
  EXPECT_EQ(name, "CAST-128");
  EXPECT_EQ(bits, 128u);
}

}  // namespace
