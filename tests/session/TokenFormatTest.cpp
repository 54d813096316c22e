#include "session/TokenFormat.h"

#include <gtest/gtest.h>

#include <vector>

using session::TokenFormat;

namespace {

std::vector<uint8_t> Token(uint8_t version, uint8_t type, uint8_t flags, size_t extra) {
  std::vector<uint8_t> token(TokenFormat::kHeaderLength + extra, 0xAB);
  token[0] = version;
  token[1] = type;
  token[2] = flags;
  return token;
}

struct HeaderCase {
  const char* title;
  std::vector<uint8_t> token;
  bool header;
  bool wrapped;
};

TEST(TokenFormatTest, ReadsHeadersAndWrappedTokens) {
  const HeaderCase cases[] = {
      {"init", Token(1, 1, 1, 10), true, false},
      {"accept", Token(1, 2, 0, 0), true, false},
      {"error", Token(1, 3, 0, 0), true, false},
      {"wrap", Token(1, 5, 3, 24), true, true},
      {"wrap without room for a tag", Token(1, 5, 0, 23), true, false},
      {"unknown type 4", Token(1, 4, 0, 30), false, false},
      {"other version", Token(2, 5, 0, 30), false, false},
      {"unknown flag", Token(1, 5, 4, 30), false, false},
      {"confidential init", Token(1, 1, 2, 30), false, false},
      {"short", std::vector<uint8_t>(TokenFormat::kHeaderLength - 1, 1), false, false},
  };
  for (const HeaderCase& row : cases) {
    TokenFormat::Header header;
    TokenFormat::Wrapped wrapped;
    EXPECT_EQ(row.header, TokenFormat::ParseHeader(row.token.data(), row.token.size(), header)) << row.title;
    EXPECT_EQ(row.wrapped, TokenFormat::ParseWrapped(row.token.data(), row.token.size(), wrapped)) << row.title;
  }
}

TEST(TokenFormatTest, WritesWhatItReads) {
  TokenFormat::Header header;
  header.type = TokenFormat::kTypeWrap;
  header.flags = TokenFormat::kFromInitiator;
  for (size_t i = 0; i < TokenFormat::kIdLength; ++i) header.contextId[i] = static_cast<uint8_t>(i);
  std::vector<uint8_t> token(TokenFormat::kWrapOverhead + 3, 0);
  TokenFormat::WriteHeader(header, token.data());
  TokenFormat::WriteSequence(0x0102030405060708ull, token.data() + TokenFormat::kHeaderLength);
  TokenFormat::Wrapped wrapped;
  ASSERT_TRUE(TokenFormat::ParseWrapped(token.data(), token.size(), wrapped));
  EXPECT_EQ(0x0102030405060708ull, wrapped.sequence);
  EXPECT_EQ(3u, wrapped.messageLength);
  EXPECT_EQ(TokenFormat::kFromInitiator, wrapped.header.flags);
  EXPECT_EQ(15, wrapped.header.contextId[15]);
  EXPECT_EQ(token.data() + token.size() - TokenFormat::kTagLength, wrapped.tag);
}

}  // namespace
