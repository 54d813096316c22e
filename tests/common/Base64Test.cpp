#include "common/Base64.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

namespace {

std::string Decoded(const char* text, bool* ok) {
  BinData out;
  *ok = Base64Decode(GString(text), out);
  return std::string(reinterpret_cast<const char*>(out.GetData()), out.GetLength());
}

}  // namespace

TEST(Base64, EncodesRfcVectors) {
  const char* cases[][2] = {{"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},
                            {"foo", "Zm9v"},  {"foob", "Zm9vYg=="},  {"fooba", "Zm9vYmE="},
                            {"foobar", "Zm9vYmFy"}};
  for (const auto& row : cases) {
    EXPECT_EQ(Base64Encode(row[0], std::strlen(row[0])), row[1]) << row[0];
    bool ok = false;
    EXPECT_EQ(Decoded(row[1], &ok), row[0]);
    EXPECT_TRUE(ok);
  }
}

TEST(Base64, LongRecordsEncodeWithoutLineBreaks) {
  for (auto [bytes, chars] : {std::pair{7180u, 9576}, std::pair{2068u, 2760}}) {
    BinData record;
    record.SetLength(bytes);
    for (size_t i = 0; i < bytes; ++i) record.GetData()[i] = static_cast<uint8_t>(i * 7);
    GString text = Base64Encode(record);
    EXPECT_EQ(text.GetLength(), chars);
    EXPECT_EQ(text.Find('\n'), -1);
    EXPECT_EQ(text.Find('\r'), -1);
    BinData back;
    ASSERT_TRUE(Base64Decode(text, back));
    EXPECT_EQ(back, record);
  }
}

TEST(Base64, DecodingFollowsThePositionRules) {
  struct Case {
    const char* text;
    bool ok;
    const char* bytes;
  } cases[] = {
      {"Zm9v\r\nYmFy\r\n", true, "foobar"},  // a body split over lines
      {" Zm 9v\tYm Fy ", true, "foobar"},     // blanks anywhere are skipped
      {"=Zm9v", true, "foo"},                 // "=" at position 0 is skipped
      {"QQ==", true, "A"},                    // "==" yields one byte
      {"QQ==QUI=", true, "AAB"},             // a group ended by "=" starts a new one
      {"Q=Q=", false, ""},                    // "=" at position 1
      {"Zm9vY", false, ""},                   // ends inside a group
      {"Zm9vYmE", false, ""},
      {"!!!", true, ""},
  };
  for (const auto& c : cases) {
    bool ok = !c.ok;
    std::string bytes = Decoded(c.text, &ok);
    EXPECT_EQ(ok, c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(bytes, c.bytes) << c.text;
    }
  }
}

TEST(Base64, SplitBodiesDecodeLikeTheWhole) {
  const std::string whole = "VGhlIHF1aWNrIGJyb3duIGZveCBqdW1wcw==";
  bool ok = false;
  const std::string expected = Decoded(whole.c_str(), &ok);
  ASSERT_TRUE(ok);
  for (size_t cut = 0; cut <= whole.size(); ++cut) {
    std::string split = whole.substr(0, cut) + "\r\n" + whole.substr(cut);
    EXPECT_EQ(Decoded(split.c_str(), &ok), expected) << cut;
    EXPECT_TRUE(ok) << cut;
  }
}
