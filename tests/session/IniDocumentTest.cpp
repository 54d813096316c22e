#include "session/IniDocument.h"

#include <gtest/gtest.h>

#include <string>

using session::IniDocument;

namespace {

constexpr char kSample[] =
    "; a comment line\r\n"
    "[Options]\r\n"
    "  EncryptWith = CAST128 ; trailing comment\r\n"
    "[profile]\n"
    "Certificate=AAAA\n"
    "_continue_=BBBB\n"
    "\n"
    "no equals sign here\n"
    "_continue_=CCCC\n"
    "Other=x\n"
    "_continue_=DDDD\n"
    "[ Empty ]\n"
    "Last=end";

struct Lookup {
  const char* section;
  const char* key;
  const char* value;  // null: not found
};

const Lookup kLookups[] = {
    {"options", "encryptwith", "CAST128"}, {"PROFILE", "certificate", "AAAABBBBCCCC"},
    {"profile", "Other", "xDDDD"},         {"Empty", "Last", "end"},              {"profile", "Missing", nullptr},
    {"nowhere", "Certificate", nullptr},
};

void ExpectLookups(const IniDocument& ini) {
  for (const Lookup& row : kLookups) {
    std::string value;
    bool found = ini.Get(row.section, row.key, value);
    EXPECT_EQ(row.value != nullptr, found) << row.section << "/" << row.key;
    if (found && row.value != nullptr) {
      EXPECT_EQ(row.value, value) << row.section << "/" << row.key;
    }
  }
}

TEST(IniDocumentTest, ReadsSectionsKeysCommentsAndContinuations) {
  IniDocument ini;
  ASSERT_TRUE(ini.Parse(kSample, sizeof kSample - 1));
  ExpectLookups(ini);
}

TEST(IniDocumentTest, GivesTheSameResultWhereverTheTextIsSplit) {
  const std::string text(kSample);
  IniDocument whole;
  ASSERT_TRUE(whole.Parse(text.data(), text.size()));
  for (size_t cut = 0; cut <= text.size(); ++cut) {
    IniDocument split;
    ASSERT_TRUE(split.Feed(text.data(), cut));
    ASSERT_TRUE(split.Feed(text.data() + cut, text.size() - cut));
    split.Finish();
    EXPECT_EQ(whole.Serialize(), split.Serialize()) << "cut at " << cut;
  }
}

TEST(IniDocumentTest, WritesLongValuesAsContinuationLines) {
  IniDocument ini;
  std::string longValue(200, 'q');
  longValue[150] = 'Z';
  ini.Set("options", "EncryptWith", "CAST128");
  ini.Set("profile", "Certificate", longValue);
  ini.Set("OPTIONS", "encryptwith", "AES");  // replaces, whatever the case
  std::string text = ini.Serialize();
  EXPECT_EQ(0u, text.find("[options]\nEncryptWith=AES\n\n[profile]\nCertificate="));
  size_t longest = 0;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    longest = std::max(longest, end - start);
    start = end + 1;
  }
  EXPECT_LE(longest, IniDocument::kPieceLength + sizeof("Certificate=") - 1);
  IniDocument again;
  ASSERT_TRUE(again.Parse(text.data(), text.size()));
  std::string value;
  ASSERT_TRUE(again.Get("profile", "certificate", value));
  EXPECT_EQ(longValue, value);
}

TEST(IniDocumentTest, RefusesOversizedText) {
  IniDocument ini;
  std::string big(IniDocument::kMaxTextLength, 'a');
  EXPECT_TRUE(ini.Feed(big.data(), big.size()));
  EXPECT_FALSE(ini.Feed("b", 1));
}

}  // namespace
