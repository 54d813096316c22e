#include <gtest/gtest.h>

#include "credentials/sk/SK_Algorithms.h"
#include "credentials/sk/SK_Key.h"

namespace {

TEST(SK_Algorithms, DecodeAlgorithmNameTable) {
  struct Case {
    const char* name;
    SK_Status status;
    const char* rewritten;
    SKKEYTYPE keyType;
    unsigned long bits;
    SKHASHERTYPE hashType;
  };
  const Case cases[] = {
      {"CAST-128", kSkOk, "CAST-128", 11, 128, 0},
      {"CAST-80", kSkOk, "CAST-80", 11, 80, 0},
      {"CAST", kSkOk, "CAST-128", 11, 128, 0},
      {"0", kSkOk, "CAST-64", 9, 64, 0},
      {"2", kSkOk, "RC2-40", 13, 40, 0},
      {"SHA-1", kSkOk, "SHA-1", 0, 0, 3},
      // Entries whose algorithm the program lacks do not decode.
      {"CAST-64", kSkUnknownAlgorithm, "CAST-64", 0, 0, 0},
      {"CAST-40", kSkUnknownAlgorithm, "CAST-40", 0, 0, 0},
      {"DES", kSkUnknownAlgorithm, "DES", 0, 0, 0},
      {"Triple DES", kSkUnknownAlgorithm, "Triple DES", 0, 0, 0},
      {"RC2-40", kSkUnknownAlgorithm, "RC2-40", 0, 0, 0},
      {"RC2-128", kSkUnknownAlgorithm, "RC2-128", 0, 0, 0},
      {"RC2", kSkUnknownAlgorithm, "RC2", 0, 0, 0},
      {"1", kSkUnknownAlgorithm, "1", 0, 0, 0},
      {"MD2", kSkUnknownAlgorithm, "MD2", 0, 0, 0},
      {"MD5", kSkUnknownAlgorithm, "MD5", 0, 0, 0},
      // Letter case counts; near misses are unknown.
      {"cast-128", kSkUnknownAlgorithm, "cast-128", 0, 0, 0},
      {"sha-1", kSkUnknownAlgorithm, "sha-1", 0, 0, 0},
      {"CAST-128 ", kSkUnknownAlgorithm, "CAST-128 ", 0, 0, 0},
      {"", kSkUnknownAlgorithm, "", 0, 0, 0},
  };
  for (const Case& c : cases) {
    GString name(c.name);
    unsigned long bits = 99, reserved1 = 99, reserved2 = 99;
    SKKEYTYPE keyType = 99;
    SKHASHERTYPE hashType = 99;
    EXPECT_EQ(SK_DecodeName(name, &bits, &keyType, &reserved1, &reserved2, &hashType), c.status) << c.name;
    EXPECT_EQ(name, c.rewritten) << c.name;
    EXPECT_EQ(keyType, c.keyType) << c.name;
    EXPECT_EQ(bits, c.bits) << c.name;
    EXPECT_EQ(hashType, c.hashType) << c.name;
    EXPECT_EQ(reserved1, 0u) << c.name;
    EXPECT_EQ(reserved2, 0u) << c.name;
  }
}

TEST(SK_Algorithms, DecodeAcceptsAbsentOutputs) {
  GString name("CAST");
  EXPECT_EQ(SK_DecodeName(name, nullptr, nullptr, nullptr, nullptr, nullptr), kSkOk);
  EXPECT_EQ(name, "CAST-128");
}

TEST(SK_Algorithms, PresentAlgorithms) {
  for (SKKEYTYPE type = -1; type <= 14; ++type) {
    EXPECT_EQ(SK_IsCipherPresent(type), type == 0 || type == 1 || type == 10 || type == 11) << type;
  }
  for (SKHASHERTYPE type = -1; type <= 4; ++type) EXPECT_EQ(SK_IsHashPresent(type), type == 0 || type == 3) << type;
}

TEST(SK_Algorithms, HashNamesBothWays) {
  EXPECT_EQ(SK_HashTypeFromName("SHA-1"), 3);
  EXPECT_EQ(SK_HashTypeFromName("MD5"), 0);
  EXPECT_EQ(SK_HashTypeFromName("CAST-128"), 0);
  EXPECT_EQ(SK_HashTypeFromName("nonsense"), 0);
  const char* names[] = {"", "MD2", "MD5", "SHA-1", ""};
  for (SKHASHERTYPE type = 0; type <= 4; ++type) EXPECT_EQ(SK_HashTypeName(type), names[type]) << type;
  EXPECT_EQ(SK_HashTypeName(-1), "");
}

TEST(SK_Key, AlgorithmNames) {
  struct Case {
    SKKEYTYPE type;
    unsigned long bits;
    const char* name;
  };
  const Case cases[] = {
      {1, 128, "CAST-128"}, {9, 40, "CAST-40"}, {11, 80, "CAST-80"}, {2, 64, "DES"},
      {12, 192, "Triple DES"}, {13, 40, "RC2-40"}, {0, 128, ""},   {3, 64, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(SK_Key(c.type, c.bits).GetAlgorithmName(), c.name) << c.type;
}

}  // namespace
