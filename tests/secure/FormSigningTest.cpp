#include "secure/FormSigning.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// A toolkit stand-in: the "signature" is "S:" + the data, the mark "M:" +
// the data, and the ASCII form the bytes themselves.
struct FakeToolkit {
  int32_t mode = -1;
  std::string contentType;
  int32_t format = -1;
  std::string input;
  std::string first;
  std::string second;
  int16_t startStatus = 0;
  int16_t protectStatus = 0;
  int16_t endStatus = 0;
};
FakeToolkit fake;

int16_t StartProtect(CVHandle, int32_t mode, int32_t, int32_t, const char* contentType, int32_t format) {
  fake.mode = mode;
  fake.contentType = contentType;
  fake.format = format;
  return fake.startStatus;
}

int16_t Protect(CVHandle, const CVBuffer* input) {
  fake.input.assign(reinterpret_cast<const char*>(input->data), input->length);
  return fake.protectStatus;
}

int16_t EndProtect(CVHandle, CVBuffer* first, CVBuffer* second) {
  fake.first = "S:" + fake.input;
  fake.second = "M:" + fake.input;
  first->length = static_cast<uint32_t>(fake.first.size());
  first->data = reinterpret_cast<uint8_t*>(fake.first.data());
  second->length = static_cast<uint32_t>(fake.second.size());
  second->data = reinterpret_cast<uint8_t*>(fake.second.data());
  return fake.endStatus;
}

int16_t AsciiEncode(const CVBuffer* input, CVBuffer* output) {
  if (input->length > output->length) return 1;
  std::memcpy(output->data, input->data, input->length);
  output->length = input->length;
  return 0;
}

const char* StatusText(int32_t code) { return code == 7 ? "seven" : nullptr; }

ToolkitEntryPoints FakeEntryPoints() {
  ToolkitEntryPoints points;
  points.startProtect = StartProtect;
  points.protect = Protect;
  points.endProtect = EndProtect;
  points.asciiEncode = AsciiEncode;
  points.corLogToString = StatusText;
  return points;
}

std::string Text(const BinData& data) {
  return std::string(reinterpret_cast<const char*>(data.GetData()), data.GetLength());
}

BinData Bytes(const std::string& text) { return BinData(text.data(), text.size()); }

TEST(FormSigningTest, UrlEncodeKeepsTheUnreservedSetOnly) {
  const std::string kept = "azAZ09!$'()*,-._";
  EXPECT_STREQ(kept.c_str(), FormSigning::UrlEncode(kept.data(), kept.size()).Text());
  const std::string other = "ab+/=\r\n &%~\x80\xff";
  EXPECT_STREQ("ab%2B%2F%3D%0D%0A%20%26%25%7E%80%FF", FormSigning::UrlEncode(other.data(), other.size()).Text());
  const std::string withZero("a\0b", 3);
  EXPECT_STREQ("a%00b", FormSigning::UrlEncode(withZero.data(), withZero.size()).Text());
}

TEST(FormSigningTest, SignedBodyCarriesTheEncodedSignatureAndALineEnd) {
  GString text;
  FormSigning::TrimmedText(Bytes(" \r\na=1&CorvaskSigClient=x\r\n\t"), text);
  EXPECT_STREQ("a=1&CorvaskSigClient=x", text.Text());
  BinData body = FormSigning::SignedBody(text, "ab+/=\r\n");
  EXPECT_EQ("a=1&CorvaskSigClient=x&CorvaskSigSubmit=ab%2B%2F%3D%0D%0A\r\n", Text(body));
  // Without the toolkit the value is empty.
  EXPECT_EQ("a=1&CorvaskSigClient=x&CorvaskSigSubmit=\r\n", Text(FormSigning::SignedBody(text, "")));
  FormSigning::TrimmedText(Bytes(" \r\n "), text);
  EXPECT_TRUE(text.IsEmpty());
}

TEST(FormSigningTest, OnlyABodyWithTheFieldAfterItsStartIsSigned) {
  struct Case {
    const char* body;
    bool signs;
  } cases[] = {
      {"CorvaskSigClient=x&a=1", false},
      {"a=1&CorvaskSigClient=x", true},
      {"xCorvaskSigClient", true},
      {"a=1&corvasksigclient=x", false},
      {"a=1&CorvaskSigClien", false},
      {"", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.signs, FormSigning::NeedsSignature(Bytes(c.body))) << c.body;
  }
}

TEST(FormSigningTest, FieldGoesBeforeTheFirstFormEndOnly) {
  struct Case {
    const char* page;
    const char* mark;
    const char* marked;  // null: left unchanged
  } cases[] = {
      {"<form>a</form><FORM>b</FORM>", "m+/=",
       "<form>a<INPUT TYPE=\"hidden\" NAME=\"CorvaskSigClient\" VALUE=\"m+/=\">\n</form><FORM>b</FORM>"},
      {"<FORM>a</FoRm>", "", "<FORM>a<INPUT TYPE=\"hidden\" NAME=\"CorvaskSigClient\" VALUE=\"\">\n</FoRm>"},
      {"</FORM>", "x", "<INPUT TYPE=\"hidden\" NAME=\"CorvaskSigClient\" VALUE=\"x\">\n</FORM>"},
      {"<p>no form</p></FORM", "x", nullptr},
      {"", "x", nullptr},
  };
  for (const Case& c : cases) {
    BinData page = Bytes(c.page);
    EXPECT_EQ(c.marked != nullptr, FormSigning::MarkPage(page, c.mark)) << c.page;
    EXPECT_EQ(c.marked != nullptr ? c.marked : c.page, Text(page)) << c.page;
  }
}

TEST(FormSigningTest, ContentLengthLineIsReplacedInFront) {
  GString header = FormSigning::WithContentLength("A: 1\r\nContent-Length: 3\r\nB: 2\r\n", 42);
  EXPECT_STREQ("Content-Length: 42\r\nA: 1\r\nB: 2\r\n", header.Text());
}

TEST(FormSigningTest, WithoutToolkitValuesAreEmpty) {
  GString output = "old";
  GString error;
  EXPECT_TRUE(FormSigning::SignData(ToolkitEntryPoints{}, 0, "abc", 3, output, true, error));
  EXPECT_TRUE(output.IsEmpty());
  EXPECT_TRUE(error.IsEmpty());
}

TEST(FormSigningTest, SigningAndMarkingUseTheirModeAndBuffer) {
  fake = FakeToolkit{};
  GString output;
  GString error;
  ASSERT_TRUE(FormSigning::SignData(FakeEntryPoints(), 5, "abc", 3, output, true, error));
  EXPECT_EQ(3, fake.mode);
  EXPECT_EQ("text/plain", fake.contentType);
  EXPECT_EQ(6, fake.format);
  EXPECT_STREQ("S:abc", output.Text());
  ASSERT_TRUE(FormSigning::SignData(FakeEntryPoints(), 5, "abc", 3, output, false, error));
  EXPECT_EQ(0, fake.mode);
  EXPECT_STREQ("M:abc", output.Text());
}

TEST(FormSigningTest, ToolkitFailuresGiveNoValue) {
  struct Case {
    int16_t start, protect, end;
    const char* error;
  } cases[] = {
      {1, 0, 0, ""},
      {0, 7, 0, "seven"},
      {0, 0, 9, "9"},
  };
  for (const Case& c : cases) {
    fake = FakeToolkit{};
    fake.startStatus = c.start;
    fake.protectStatus = c.protect;
    fake.endStatus = c.end;
    GString output = "old";
    GString error;
    EXPECT_FALSE(FormSigning::SignData(FakeEntryPoints(), 5, "abc", 3, output, true, error));
    EXPECT_TRUE(output.IsEmpty());
    EXPECT_STREQ(c.error, error.Text());
  }
}

}  // namespace
