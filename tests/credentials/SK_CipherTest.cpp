#include <gtest/gtest.h>

#include <random>
#include <string>

#include "credentials/sk/SK_Cipher.h"
#include "credentials/sk/SK_User.h"
#include "tests/credentials/OpenSslReference.h"

namespace {

using reference::Bytes;

const Bytes kKey = {0x3f, 0xdb, 0x40, 0xe9, 0x1d, 0x62, 0x62, 0x66, 0x64, 0xc3, 0x0c, 0x3d, 0x80, 0x40, 0xcc, 0x3a};
const Bytes kIV = {'6', '0', '9', '1', '7', '3', '4', '2'};

Bytes ToBytes(const BinData& data) { return Bytes(data.GetData(), data.GetData() + data.GetLength()); }

class CipherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(cipher_.SetIV(kIV.data(), kIV.size()), kSkOk);
    ASSERT_EQ(cipher_.SetKeyLength(128), kSkOk);
    ASSERT_EQ(cipher_.SetKey(kKey.data(), kKey.size()), kSkOk);
  }

  SK_Status Encrypt(const Bytes& plain, Bytes& out) {
    BinData buffer;
    SK_Status status = cipher_.EncryptStart();
    if (status == kSkOk) status = cipher_.EncryptUpdate(plain.data(), plain.size(), buffer);
    if (status == kSkOk) status = cipher_.EncryptFinish(buffer);
    out = ToBytes(buffer);
    return status;
  }

  // Decrypts input fed in two pieces split at split.
  SK_Status Decrypt(const Bytes& input, size_t split, Bytes& out) {
    BinData buffer;
    SK_Status status = cipher_.DecryptStart();
    if (status == kSkOk) status = cipher_.DecryptUpdate(input.data(), split, buffer);
    if (status == kSkOk) status = cipher_.DecryptUpdate(input.data() + split, input.size() - split, buffer);
    if (status == kSkOk) status = cipher_.DecryptFinish(buffer);
    out = ToBytes(buffer);
    return status;
  }

  SK_User user_{kSkKeyCast128, kSkHashSha1, 100};
  SK_Cipher cipher_{user_};
};

TEST_F(CipherTest, RoundTripsEveryLengthWithAWholePaddingBlockAfterFullBlocks) {
  for (size_t length = 0; length <= 40; ++length) {
    Bytes plain(length);
    for (size_t i = 0; i < length; ++i) plain[i] = static_cast<uint8_t>(i * 7);
    Bytes sealed;
    ASSERT_EQ(Encrypt(plain, sealed), kSkOk);
    EXPECT_EQ(sealed.size(), (length / 8 + 1) * 8) << length;
    Bytes opened;
    ASSERT_EQ(Decrypt(sealed, sealed.size(), opened), kSkOk) << length;
    EXPECT_EQ(opened, plain);
  }
}

TEST_F(CipherTest, DecryptsTheSameWhateverTheSplit) {
  const std::string text = "reference 1234567890, code ABCD-EFGH";
  Bytes sealed;
  ASSERT_EQ(Encrypt(Bytes(text.begin(), text.end()), sealed), kSkOk);
  for (size_t split = 0; split <= sealed.size(); ++split) {
    Bytes opened;
    ASSERT_EQ(Decrypt(sealed, split, opened), kSkOk) << split;
    EXPECT_EQ(std::string(opened.begin(), opened.end()), text) << split;
  }
}

// Ciphertexts whose last plaintext block ends in a given padding: made by
// encrypting the raw final block without padding, so every byte is chosen.
TEST_F(CipherTest, RefusesMalformedPaddingAndLengths) {
  auto sealRaw = [this](const Bytes& block) {
    BinData buffer;
    EXPECT_EQ(cipher_.EncryptStart(), kSkOk);
    EXPECT_EQ(cipher_.EncryptUpdate(block.data(), block.size(), buffer), kSkOk);
    Bytes sealed = ToBytes(buffer);
    cipher_.DecryptStart();  // ends the encryption without its padding
    return sealed;
  };
  struct Case {
    const char* what;
    Bytes input;
    bool raw;
    SK_Status status;
  };
  const Case cases[] = {
      {"padding byte 0", {1, 2, 3, 4, 5, 6, 7, 0}, true, kSkBadPadding},
      {"padding byte 9", {1, 2, 3, 4, 5, 6, 7, 9}, true, kSkBadPadding},
      {"padding byte 255", {1, 2, 3, 4, 5, 6, 7, 255}, true, kSkBadPadding},
      {"padding bytes differ", {1, 2, 3, 4, 5, 3, 2, 3}, true, kSkBadPadding},
      {"padding 8 of 8", {8, 8, 8, 8, 8, 8, 8, 8}, true, kSkOk},
      {"padding 1", {1, 2, 3, 4, 5, 6, 7, 1}, true, kSkOk},
      {"empty ciphertext", {}, false, kSkBadLength},
      {"partial block", {1, 2, 3, 4, 5}, false, kSkBadLength},
      {"block and a half", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, false, kSkBadLength},
  };
  for (const Case& c : cases) {
    const Bytes input = c.raw ? sealRaw(c.input) : c.input;
    Bytes opened;
    EXPECT_EQ(Decrypt(input, 0, opened), c.status) << c.what;
    if (c.status != kSkOk) {
      EXPECT_TRUE(opened.empty()) << c.what;
    }
  }
}

TEST_F(CipherTest, MatchesOpenSslCast5Cbc) {
  if (!reference::Cast5Available()) GTEST_SKIP() << "OpenSSL's legacy provider (CAST5) is not available";
  std::mt19937 random(5);
  for (size_t length : {0, 1, 7, 8, 9, 16, 100}) {
    Bytes plain(length);
    for (auto& byte : plain) byte = static_cast<uint8_t>(random());
    Bytes ours;
    ASSERT_EQ(Encrypt(plain, ours), kSkOk);
    Bytes theirs;
    ASSERT_TRUE(reference::Cast5("CAST5-CBC", true, true, kKey, kIV, plain, theirs));
    EXPECT_EQ(ours, theirs) << length;
  }
}

TEST_F(CipherTest, KeyMaterialIsTruncatedToTheKeyLengthAndMayNotBeShorter) {
  Bytes longer = kKey;
  longer.push_back(0x55);
  ASSERT_EQ(cipher_.SetKey(longer.data(), longer.size()), kSkOk);
  EXPECT_EQ(cipher_.GetKeyLength(), 128u);
  Bytes sealed;
  ASSERT_EQ(Encrypt({1, 2, 3}, sealed), kSkOk);
  ASSERT_EQ(cipher_.SetKey(kKey.data(), kKey.size()), kSkOk);
  Bytes opened;
  ASSERT_EQ(Decrypt(sealed, 0, opened), kSkOk);
  EXPECT_EQ(opened, (Bytes{1, 2, 3}));

  EXPECT_EQ(cipher_.SetKey(kKey.data(), 15), kSkKeyTooShort);
  EXPECT_EQ(cipher_.SetKey(nullptr, 0), kSkKeyTooShort);
}

TEST_F(CipherTest, ArgumentsAndOrderAreChecked) {
  EXPECT_EQ(cipher_.SetIV(kIV.data(), 7), kSkBadArgument);
  EXPECT_EQ(cipher_.SetKeyLength(32), kSkBadArgument);
  EXPECT_EQ(cipher_.SetKeyLength(129), kSkBadArgument);
  EXPECT_EQ(cipher_.SetKeyLength(136), kSkBadArgument);
  BinData out;
  EXPECT_EQ(cipher_.DecryptUpdate(kKey.data(), 8, out), kSkWrongState);
  EXPECT_EQ(cipher_.EncryptFinish(out), kSkWrongState);

  SK_Cipher unkeyed(user_);
  EXPECT_EQ(unkeyed.DecryptStart(), kSkNoKey);
  EXPECT_EQ(unkeyed.EncryptStart(), kSkNoKey);
}

TEST_F(CipherTest, GeneratedKeysAreFreshAndUsable) {
  ASSERT_EQ(cipher_.SetKeyLength(80), kSkOk);
  ASSERT_EQ(cipher_.GenerateKey(), kSkOk);
  EXPECT_EQ(cipher_.GetKey().GetAlgorithmName(), "CAST-80");
  Bytes first;
  ASSERT_EQ(Encrypt({9, 9, 9}, first), kSkOk);
  Bytes opened;
  ASSERT_EQ(Decrypt(first, 3, opened), kSkOk);
  EXPECT_EQ(opened, (Bytes{9, 9, 9}));
  ASSERT_EQ(cipher_.GenerateKey(), kSkOk);
  Bytes second;
  ASSERT_EQ(Encrypt({9, 9, 9}, second), kSkOk);
  EXPECT_NE(first, second);
}

TEST_F(CipherTest, OutputIsAppended) {
  BinData buffer(reinterpret_cast<const uint8_t*>("xy"), 2);
  ASSERT_EQ(cipher_.EncryptStart(), kSkOk);
  ASSERT_EQ(cipher_.EncryptFinish(buffer), kSkOk);
  EXPECT_EQ(buffer.GetLength(), 10u);
  EXPECT_EQ(buffer.GetData()[0], 'x');
}

}  // namespace
