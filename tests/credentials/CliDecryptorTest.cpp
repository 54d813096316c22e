#include <gtest/gtest.h>

#include <string>

#include "common/Base64.h"
#include "credentials/CliDecryptor.h"
#include "tests/credentials/OpenSslReference.h"

namespace {

using reference::Bytes;

BinData Data(const std::string& text) { return BinData(text.data(), text.size()); }
std::string Text(const BinData& data) { return std::string(reinterpret_cast<const char*>(data.GetData()), data.GetLength()); }

const std::string kPassword = "87654321";
const std::string kCard = "4500123412341234";

// The derivation computed independently with OpenSSL's SHA-1.
Bytes ReferenceKey(const std::string& password, const std::string& card) {
  const std::string message = password + card + "QOFTWVAN";
  Bytes digest(message.begin(), message.end());
  for (int round = 0; round < 10000; ++round) digest = reference::Sha1(digest);
  digest.resize(16);
  return digest;
}

std::string Base64(const Bytes& bytes) { return Base64Encode(bytes.data(), bytes.size()).Text(); }

TEST(CliDecryptor, RegistrationIdentifierMatchesAnIndependentDerivation) {
  struct Case {
    std::string card;
    const char* identifier;  // computed once outside this code base
  };
  const Case cases[] = {
      {kCard, "4up7WUADSwEDN2KKMLNNcMhrTTk="},
      {kCard + "##BRANCH7", "4KXX7dT7MFKh3DrAVKRvAzbFttE="},
  };
  for (const Case& c : cases) {
    CliDecryptor decryptor(Data(kPassword), Data(c.card));
    ASSERT_EQ(decryptor.Prepare(), 0);
    BinData identifier;
    decryptor.GetRegistrationIdentifier(identifier);
    EXPECT_EQ(Text(identifier), c.identifier) << c.card;
    EXPECT_EQ(Text(identifier), Base64(reference::Sha1(ReferenceKey(kPassword, c.card)))) << c.card;
    EXPECT_EQ(identifier.GetLength(), 28u);
  }
  EXPECT_EQ(Base64(ReferenceKey(kPassword, kCard)), "P9tA6R1iYmZkwww9gEDMOg==");
}

TEST(CliDecryptor, EmptyInputsAreRefused) {
  struct Case {
    std::string password;
    std::string card;
  };
  for (const Case& c : {Case{"", kCard}, Case{kPassword, ""}, Case{"", ""}}) {
    CliDecryptor decryptor(Data(c.password), Data(c.card));
    EXPECT_EQ(decryptor.Prepare(), 1);
    BinData identifier = Data("stale");
    decryptor.GetRegistrationIdentifier(identifier);
    EXPECT_TRUE(identifier.IsEmpty());
  }
}

TEST(CliDecryptor, RunTimeClassName) {
  CliDecryptor decryptor(Data(kPassword), Data(kCard));
  EXPECT_STREQ(decryptor.GetRuntimeClassName(), "CliDecryptor");
}

// Values as the registration server sends them; the ciphertexts were made
// outside this code base with the key derived from kPassword and kCard.
TEST(CliDecryptor, DecryptsServerValuesAndAppends) {
  CliDecryptor decryptor(Data(kPassword), Data(kCard));
  ASSERT_EQ(decryptor.Prepare(), 0);
  struct Case {
    const char* base64;
    const char* plain;
  };
  const Case cases[] = {
      {"2LkTwhViM+M=", "123456"},
      {"zyhB/M+Y94CnlIcq1O7xPg==", "AB12-CD34-EF56"},
      {"hmLhUJGu+kg5yk2ZZng0yQ==", "12345678"},
  };
  for (const Case& c : cases) {
    BinData out = Data(">");
    ASSERT_EQ(decryptor.Decrypt(c.base64, out), kSkOk) << c.base64;
    EXPECT_EQ(Text(out), std::string(">") + c.plain);
  }
}

TEST(CliDecryptor, DecryptsWhatOpenSslEncrypts) {
  if (!reference::Cast5Available()) GTEST_SKIP() << "OpenSSL's legacy provider (CAST5) is not available";
  CliDecryptor decryptor(Data(kPassword), Data(kCard));
  ASSERT_EQ(decryptor.Prepare(), 0);
  const Bytes iv = {'6', '0', '9', '1', '7', '3', '4', '2'};
  for (const std::string plain : {"", "7", "1234567", "12345678", "a reference number of some length"}) {
    Bytes sealed;
    ASSERT_TRUE(reference::Cast5("CAST5-CBC", true, true, ReferenceKey(kPassword, kCard), iv,
                                 Bytes(plain.begin(), plain.end()), sealed));
    BinData out;
    ASSERT_EQ(decryptor.Decrypt(Base64(sealed).c_str(), out), kSkOk) << plain;
    EXPECT_EQ(Text(out), plain);
  }
}

TEST(CliDecryptor, RefusesValuesThatDoNotDecodeOrDecrypt) {
  CliDecryptor decryptor(Data(kPassword), Data(kCard));
  ASSERT_EQ(decryptor.Prepare(), 0);
  struct Case {
    const char* base64;
    SK_Status status;
  };
  const Case cases[] = {
      {"2LkTwhViM+M", kSkBadEncoding},            // not a whole group
      {"2=kTwhViM+M=", kSkBadEncoding},           // "=" second in a group
      {"", kSkBadLength},                         // nothing to decrypt
      {"2LkTwhVi", kSkBadLength},                 // six bytes
      {"AAAAAAAAAAA=", kSkBadPadding},            // random block: padding byte out of range or mismatched
      {"2LkTwhViM+PYuRPCFWIz4w==", kSkBadPadding}, // two blocks, second garbage
  };
  for (const Case& c : cases) {
    BinData out = Data("kept");
    EXPECT_EQ(decryptor.Decrypt(c.base64, out), c.status) << c.base64;
    EXPECT_EQ(Text(out), "kept") << c.base64;
  }
}

TEST(CliDecryptor, PaddingByteZeroOrAboveEightIsAnError) {
  if (!reference::Cast5Available()) GTEST_SKIP() << "OpenSSL's legacy provider (CAST5) is not available";
  CliDecryptor decryptor(Data(kPassword), Data(kCard));
  ASSERT_EQ(decryptor.Prepare(), 0);
  const Bytes iv = {'6', '0', '9', '1', '7', '3', '4', '2'};
  for (uint8_t last : {0, 9, 16, 255}) {
    const Bytes block = {'1', '2', '3', '4', '5', '6', '7', last};
    Bytes sealed;
    ASSERT_TRUE(reference::Cast5("CAST5-CBC", true, false, ReferenceKey(kPassword, kCard), iv, block, sealed));
    BinData out;
    EXPECT_EQ(decryptor.Decrypt(Base64(sealed).c_str(), out), kSkBadPadding) << int{last};
    EXPECT_TRUE(out.IsEmpty());
  }
}

TEST(CliDecryptor, DecryptBeforePrepareFails) {
  CliDecryptor decryptor(Data(kPassword), Data(kCard));
  BinData out;
  EXPECT_EQ(decryptor.Decrypt("2LkTwhViM+M=", out), kSkKeyTooShort);
  EXPECT_TRUE(out.IsEmpty());
}

}  // namespace
