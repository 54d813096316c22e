#include "platform/ResourceStrings.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/DynamicLibrary.h"

namespace {

// Installs the test's own resource library for the duration of a test.
class ResourceStringsTest : public testing::Test {
 protected:
  void SetUp() override {
    module_ = LoadLibraryA(FAKE_RESOURCES_PATH);
    ASSERT_NE(module_, nullptr);
    SetResourceInstance(module_);
  }
  void TearDown() override {
    SetResourceInstance(nullptr);
    if (module_ != nullptr) FreeLibrary(module_);
  }

  HMODULE module_ = nullptr;
};

TEST_F(ResourceStringsTest, FollowsContinuationStrings) {
  const struct {
    UINT number;
    const char* text;
  } cases[] = {
      {1, "plain text"},
      {2, "first second third"},  // continues with 2077, which continues again
      {3, "hex sixteen"},
      {4, "octal sixteen"},
      {5, "before a missing continuation"},
      {6, "ends here"},
      {7, "no second backslash third"},
      {9, ""},
      {2078, "third"},
  };
  for (const auto& c : cases) {
    GString text;
    EXPECT_TRUE(LoadResourceText(text, c.number)) << c.number;
    EXPECT_STREQ(text.Text(), c.text) << c.number;
  }
}

TEST_F(ResourceStringsTest, CutsAContinuationLoop) {
  GString text;
  EXPECT_TRUE(LoadResourceText(text, 8));
  EXPECT_EQ(text.Find("loop a loop b loop c loop b"), 0);
  EXPECT_LT(text.GetLength(), 8 * (kMaxResourceTextLinks + 2));
}

TEST_F(ResourceStringsTest, MissingStringIsFalseAndEmpty) {
  GString text("old");
  EXPECT_FALSE(LoadResourceText(text, 12345));
  EXPECT_TRUE(text.IsEmpty());
}

TEST_F(ResourceStringsTest, LoadStringCopiesAndCuts) {
  char buffer[8];
  std::memset(buffer, 'x', sizeof(buffer));
  EXPECT_EQ(LoadStringA(nullptr, 1, buffer, sizeof(buffer)), 7);
  EXPECT_STREQ(buffer, "plain t");
  EXPECT_EQ(LoadStringA(module_, 16, buffer, sizeof(buffer)), 7);
  EXPECT_STREQ(buffer, "sixteen");
  EXPECT_EQ(LoadStringA(module_, 2, buffer, sizeof(buffer)), 7);
  EXPECT_STREQ(buffer, "\\2077\\f");
  EXPECT_EQ(LoadStringA(module_, 1, buffer, 1), 0);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(LoadStringA(module_, 12345, buffer, sizeof(buffer)), 0);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(LoadStringA(module_, 1, buffer, 0), 0);
  EXPECT_EQ(LoadStringA(module_, 1, nullptr, 8), 0);
}

TEST_F(ResourceStringsTest, ModuleWithoutTableHasNoStrings) {
  HMODULE libc = LoadLibraryA("libc.so.6");
  ASSERT_NE(libc, nullptr);
  char buffer[16];
  EXPECT_EQ(LoadStringA(libc, 1, buffer, sizeof(buffer)), 0);
  FreeLibrary(libc);
}

TEST(ResourceInstanceTest, DefaultsToTheResourceLibrary) {
  SetResourceInstance(nullptr);
  HINSTANCE instance = GetResourceInstance();
  ASSERT_NE(instance, nullptr);
  EXPECT_EQ(GetResourceInstance(), instance);
  GString text;
  ASSERT_TRUE(LoadResourceText(text, 2068));
  EXPECT_STREQ(text.Text(), "Couldn't determine the destination URL.");
  char buffer[64];
  EXPECT_GT(LoadStringA(nullptr, 2068, buffer, sizeof(buffer)), 0);
  ASSERT_TRUE(LoadResourceText(text, 2076));
  EXPECT_EQ(text.Find("<html><head><title>Browser Error</title>"), 0);
  EXPECT_GT(text.Find("<p><blockquote><b><hr size=4><pre>\n%s%s</pre>"), 0);
  EXPECT_EQ(text.Find("\\"), -1);
}

}  // namespace
