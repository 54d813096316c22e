#include <gtest/gtest.h>

#include <random>
#include <string>

#include "credentials/sk/SK_Hasher.h"
#include "credentials/sk/SK_Sha1.h"
#include "tests/credentials/OpenSslReference.h"

namespace {

std::string Hex(const uint8_t* bytes, size_t length) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (size_t i = 0; i < length; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 15];
  }
  return text;
}

std::string DigestHex(const std::string& message) {
  uint8_t digest[SK_Sha1::kDigestSize];
  SK_Sha1::Digest(message.data(), message.size(), digest);
  return Hex(digest, sizeof digest);
}

TEST(Sha1, PublishedVectors) {
  struct Case {
    std::string message;
    const char* digest;
  };
  const Case cases[] = {
      {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
      {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
      {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
  };
  for (const Case& c : cases) EXPECT_EQ(DigestHex(c.message), c.digest) << c.message.substr(0, 20);
}

// Lengths around the 55/56/64-byte padding boundaries and beyond, on random
// bytes, against OpenSSL.
TEST(Sha1, MatchesOpenSslAtEveryLengthUpTo200) {
  std::mt19937 random(7);
  for (size_t length = 0; length <= 200; ++length) {
    reference::Bytes message(length);
    for (auto& byte : message) byte = static_cast<uint8_t>(random());
    uint8_t digest[SK_Sha1::kDigestSize];
    SK_Sha1::Digest(message.data(), message.size(), digest);
    EXPECT_EQ(reference::Bytes(digest, digest + sizeof digest), reference::Sha1(message)) << length;
  }
}

TEST(Sha1, SplitAnywhereGivesTheSameDigest) {
  const std::string message = "The quick brown fox jumps over the lazy dog, then over the lazy cat, twice.";
  const std::string whole = DigestHex(message);
  for (size_t split = 0; split <= message.size(); ++split) {
    SK_Sha1 sha;
    sha.Update(message.data(), split);
    sha.Update(message.data() + split, message.size() - split);
    uint8_t digest[SK_Sha1::kDigestSize];
    sha.Final(digest);
    EXPECT_EQ(Hex(digest, sizeof digest), whole) << split;
  }
}

TEST(Sha1, FinalStartsANewMessage) {
  SK_Sha1 sha;
  uint8_t digest[SK_Sha1::kDigestSize];
  sha.Update("ignored", 7);
  sha.Final(digest);
  sha.Update("abc", 3);
  sha.Final(digest);
  EXPECT_EQ(Hex(digest, sizeof digest), "a9993e364706816aba3e25717850c26c9cd0d89d");
}

TEST(SK_Hasher, ReplacesTheBufferByItsDigest) {
  BinData data(reinterpret_cast<const uint8_t*>("abc"), 3);
  ASSERT_EQ(SK_Hasher(kSkHashSha1).HashInPlace(data), kSkOk);
  EXPECT_EQ(Hex(data.GetData(), data.GetLength()), "a9993e364706816aba3e25717850c26c9cd0d89d");
}

TEST(SK_Hasher, AbsentHashTypesLeaveTheBufferAlone) {
  for (SKHASHERTYPE type : {kSkHashNone, kSkHashMd2, kSkHashMd5, 4}) {
    BinData data(reinterpret_cast<const uint8_t*>("abc"), 3);
    EXPECT_EQ(SK_Hasher(type).HashInPlace(data), kSkUnknownAlgorithm) << type;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(data.GetData()), data.GetLength()), "abc");
  }
}

}  // namespace
