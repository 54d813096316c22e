#include "toolkit/AsciiCoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "toolkit/ToolkitStatus.h"

using toolkit::AsciiCoder;
using toolkit::ToolkitStatus;

namespace {

// The target size a caller of the toolkit prepares for n bytes.
size_t CallerCapacity(size_t n) { return n * 4 / 3 + 6; }

std::string Encode(const std::vector<uint8_t>& bytes, size_t capacity, int16_t& status) {
  std::string text(capacity, '\0');
  size_t length = capacity;
  status = AsciiCoder::Encode(bytes.data(), bytes.size(), reinterpret_cast<uint8_t*>(text.data()), length);
  text.resize(length);
  return text;
}

std::vector<uint8_t> Decode(const std::string& text, size_t capacity, int16_t& status) {
  std::vector<uint8_t> bytes(capacity);
  size_t length = capacity;
  status = AsciiCoder::Decode(reinterpret_cast<const uint8_t*>(text.data()), text.size(), bytes.data(), length);
  bytes.resize(length);
  return bytes;
}

}  // namespace

TEST(AsciiCoderTest, RoundTripsEveryLengthWithinTheCallersTarget) {
  for (size_t n : {0u, 1u, 2u, 3u, 4u, 5u, 31u, 32u, 33u, 700u}) {
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(i * 37 + 11);
    int16_t status = -1;
    std::string text = Encode(bytes, CallerCapacity(n), status);
    ASSERT_EQ(ToolkitStatus::kOk, status) << n;
    EXPECT_EQ(AsciiCoder::EncodedLength(n), text.size()) << n;
    EXPECT_EQ(std::string::npos, text.find_first_of("\r\n ")) << n;
    EXPECT_EQ(bytes, Decode(text, n, status)) << n;
    EXPECT_EQ(ToolkitStatus::kOk, status) << n;
  }
}

TEST(AsciiCoderTest, KnownText) {
  int16_t status = -1;
  EXPECT_EQ("Zm9vYmFy", Encode({'f', 'o', 'o', 'b', 'a', 'r'}, 14, status));
  EXPECT_EQ("+/8=", Encode({0xFB, 0xFF}, 8, status));
  std::vector<uint8_t> expected{'f', 'o', 'o', 'b'};
  EXPECT_EQ(expected, Decode("Zm9v\r\nYg==", 10, status));
  EXPECT_EQ(ToolkitStatus::kOk, status);
}

TEST(AsciiCoderTest, RefusesWhatDoesNotFitOrDecode) {
  struct Case {
    const char* name;
    bool encode;
    std::string input;
    size_t capacity;
    int16_t status;
  };
  const Case cases[] = {
      {"encode target one short", true, "abc", 3, ToolkitStatus::kTargetTooSmall},
      {"decode target one short", false, "YWJj", 2, ToolkitStatus::kTargetTooSmall},
      {"padding too early", false, "Y===", 8, ToolkitStatus::kNotEncoded},
      {"incomplete group", false, "YWJ", 8, ToolkitStatus::kNotEncoded},
  };
  for (const Case& c : cases) {
    int16_t status = 0;
    size_t written = 0;
    if (c.encode) {
      written = Encode(std::vector<uint8_t>(c.input.begin(), c.input.end()), c.capacity, status).size();
    } else {
      written = Decode(c.input, c.capacity, status).size();
    }
    EXPECT_EQ(c.status, status) << c.name;
    EXPECT_EQ(0u, written) << c.name;
  }
}
