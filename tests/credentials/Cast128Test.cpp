#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "credentials/sk/SK_Cast128.h"
#include "tests/credentials/OpenSslReference.h"

namespace {

using reference::Bytes;

const Bytes kKey = {0x01, 0x23, 0x45, 0x67, 0x12, 0x34, 0x56, 0x78, 0x23, 0x45, 0x67, 0x89, 0x34, 0x56, 0x78, 0x9A};
const Bytes kPlain = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};

// The single-block vectors of RFC 2144 (appendix B.1): the 128-, 80- and
// 40-bit keys are prefixes of the same key.
TEST(Cast128, PublishedSingleBlockVectors) {
  struct Case {
    size_t keyBytes;
    Bytes cipher;
  };
  const Case cases[] = {
      {16, {0x23, 0x8B, 0x4F, 0xE5, 0x84, 0x7E, 0x44, 0xB2}},
      {10, {0xEB, 0x6A, 0x71, 0x1A, 0x2C, 0x02, 0x27, 0x1B}},
      {5, {0x7A, 0xC8, 0x16, 0xD1, 0x6E, 0x9B, 0x30, 0x2E}},
  };
  for (const Case& c : cases) {
    SK_Cast128 cast;
    ASSERT_TRUE(cast.SetKey(kKey.data(), c.keyBytes));
    Bytes block(8);
    cast.EncryptBlock(kPlain.data(), block.data());
    EXPECT_EQ(block, c.cipher) << c.keyBytes * 8 << "-bit key";
    cast.DecryptBlock(block.data(), block.data());
    EXPECT_EQ(block, kPlain) << c.keyBytes * 8 << "-bit key";
  }
}

// The full maintenance test of RFC 2144 (appendix B.2): a million rounds in
// which two 128-bit values encrypt each other with fresh key schedules.
TEST(Cast128, PublishedMaintenanceTest) {
  Bytes a = kKey;
  Bytes b = kKey;
  SK_Cast128 cast;
  for (int i = 0; i < 1000000; ++i) {
    ASSERT_TRUE(cast.SetKey(b.data(), 16));
    cast.EncryptBlock(a.data(), a.data());
    cast.EncryptBlock(a.data() + 8, a.data() + 8);
    ASSERT_TRUE(cast.SetKey(a.data(), 16));
    cast.EncryptBlock(b.data(), b.data());
    cast.EncryptBlock(b.data() + 8, b.data() + 8);
  }
  EXPECT_EQ(a, (Bytes{0xEE, 0xA9, 0xD0, 0xA2, 0x49, 0xFD, 0x3B, 0xA6, 0xB3, 0x43, 0x6F, 0xB8, 0x9D, 0x6D, 0xCA, 0x92}));
  EXPECT_EQ(b, (Bytes{0xB2, 0xC9, 0x5E, 0xB0, 0x0C, 0x31, 0xAD, 0x71, 0x80, 0xAC, 0x05, 0xB8, 0xE8, 0x3D, 0x69, 0x6E}));
}

TEST(Cast128, RefusesKeysOutsideFiveToSixteenBytes) {
  SK_Cast128 cast;
  const uint8_t key[17] = {};
  for (size_t length : {size_t{0}, size_t{4}, size_t{17}}) {
    EXPECT_FALSE(cast.SetKey(key, length)) << length;
    EXPECT_FALSE(cast.HasKey());
  }
  EXPECT_FALSE(cast.SetKey(nullptr, 16));
  EXPECT_TRUE(cast.SetKey(key, 5));
  EXPECT_TRUE(cast.HasKey());
}

// Random keys of every allowed length and random blocks against OpenSSL's
// CAST5 (which pads short keys and picks 12 or 16 rounds the same way).
TEST(Cast128, MatchesOpenSslForEveryKeyLength) {
  if (!reference::Cast5Available()) GTEST_SKIP() << "OpenSSL's legacy provider (CAST5) is not available";
  std::mt19937 random(11);
  for (size_t keyBytes = SK_Cast128::kMinKeyBytes; keyBytes <= SK_Cast128::kMaxKeyBytes; ++keyBytes) {
    for (int trial = 0; trial < 20; ++trial) {
      Bytes key(keyBytes);
      Bytes plain(8);
      for (auto& byte : key) byte = static_cast<uint8_t>(random());
      for (auto& byte : plain) byte = static_cast<uint8_t>(random());
      Bytes expected;
      ASSERT_TRUE(reference::Cast5("CAST5-ECB", true, false, key, {}, plain, expected));
      SK_Cast128 cast;
      ASSERT_TRUE(cast.SetKey(key.data(), key.size()));
      Bytes block(8);
      cast.EncryptBlock(plain.data(), block.data());
      EXPECT_EQ(block, expected) << keyBytes << " key bytes";
    }
  }
}

}  // namespace
