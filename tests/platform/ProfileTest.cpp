#include "platform/Profile.h"

#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/Files.h"
#include "tests/platform/TempFolder.h"

namespace {

const char kSample[] =
    "; settings\n"
    "[Velgrade]\n"
    "port = 8080\n"
    "Name=\"quoted value\"\n"
    "single='x'\n"
    "semi=a;b\n"
    "empty=\n"
    "num=12abc\n"
    "neg=-7\n"
    "nodigits=abc\n"
    "plus=+5\n"
    "big=99999999999\n"
    "  indented = yes  \n"
    "no equals sign here\n"
    ";port=comment\n"
    "[ Other ]\n"
    "port=1\n"
    "[VELGRADE]\n"
    "port=9\n";

class ProfileTest : public ::testing::Test {
 protected:
  void SetUp() override { folder_.Write("corvask.ini", kSample); }
  std::string Path() const { return folder_.File("corvask.ini"); }
  std::string Get(const char* section, const char* key, const char* fallback = "default") const {
    char out[256];
    DWORD n = GetPrivateProfileStringA(section, key, fallback, out, sizeof(out), Path().c_str());
    return std::string(out, n);
  }

  TempFolder folder_;
};

TEST_F(ProfileTest, ReadsStringsWithWin32Rules) {
  struct Case {
    const char* section;
    const char* key;
    std::string expected;
  } cases[] = {
      {"Velgrade", "PORT", "8080"},        {"velgrade", "name", "quoted value"},
      {"Velgrade", "single", "x"},         {"Velgrade", "semi", "a;b"},
      {"Velgrade", "empty", ""},           {"Velgrade", "indented", "yes"},
      {"Velgrade", "missing", "default"},  {"Nowhere", "port", "default"},
      {"Other", "port", "1"},              {" other ", " port ", "1"},
      {"Velgrade", "no equals sign here", "default"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.expected, Get(c.section, c.key)) << c.section << "/" << c.key;
  EXPECT_EQ("pad", Get("Velgrade", "missing", "pad  "));
  EXPECT_EQ("", Get("Velgrade", "missing", nullptr));
}

TEST_F(ProfileTest, ReadsIntegersFromLeadingDigits) {
  struct Case {
    const char* key;
    UINT expected;
  } cases[] = {
      {"port", 8080},          {"num", 12},      {"neg", static_cast<UINT>(-7)}, {"plus", 5},
      {"big", 2147483647u},    {"nodigits", 42}, {"empty", 42},                  {"missing", 42},
  };
  for (const Case& c : cases) EXPECT_EQ(c.expected, GetPrivateProfileIntA("Velgrade", c.key, 42, Path().c_str())) << c.key;
}

TEST_F(ProfileTest, EnumeratesSectionsAndKeys) {
  using namespace std::string_literals;
  EXPECT_EQ("Velgrade\0Other\0"s, Get(nullptr, nullptr));
  EXPECT_EQ("port\0Name\0single\0semi\0empty\0num\0neg\0nodigits\0plus\0big\0indented\0"s, Get("VELGRADE", nullptr));
  EXPECT_EQ(""s, Get("Nowhere", nullptr));

  char small[8];
  EXPECT_EQ(6u, GetPrivateProfileStringA(nullptr, nullptr, "", small, sizeof(small), Path().c_str()));
  EXPECT_EQ("Velgra\0\0"s, std::string(small, 8));
}

TEST_F(ProfileTest, CutsLongValuesToTheBuffer) {
  char out[5];
  EXPECT_EQ(4u, GetPrivateProfileStringA("Velgrade", "name", "", out, sizeof(out), Path().c_str()));
  EXPECT_STREQ("quot", out);
  EXPECT_EQ(0u, GetPrivateProfileStringA("Velgrade", "name", "", out, 0, Path().c_str()));
}

TEST_F(ProfileTest, AMissingFileGivesTheDefaults) {
  std::string missing = folder_.File("none.ini");
  char out[16] = "xxxxxxxxxxxxxxx";
  EXPECT_EQ(3u, GetPrivateProfileStringA("Velgrade", "port", "abc", out, sizeof(out), missing.c_str()));
  EXPECT_STREQ("abc", out);
  EXPECT_EQ(0u, GetPrivateProfileStringA(nullptr, nullptr, "abc", out, sizeof(out), missing.c_str()));
  EXPECT_EQ(0, out[0]);
  EXPECT_EQ(0, out[1]);
  EXPECT_EQ(7u, GetPrivateProfileIntA("Velgrade", "port", 7, missing.c_str()));
}

TEST_F(ProfileTest, ANameWithoutAFolderIsInTheWindowsFolder) {
  ::setenv("VELGRADE_WINDIR", folder_.Path().c_str(), 1);
  EXPECT_EQ(8080u, GetPrivateProfileIntA("Velgrade", "port", 0, "corvask.ini"));
  EXPECT_EQ(TRUE, WritePrivateProfileStringA("New", "k", "v", "other.ini"));
  ::unsetenv("VELGRADE_WINDIR");
  EXPECT_EQ("[New]\nk=v\n", folder_.Read("other.ini"));
}

TEST(ProfileWriteTest, RewritesOnlyWhatChanges) {
  struct Case {
    const char* before;  // null: no file
    const char* section;
    const char* key;
    const char* value;
    const char* after;
  } cases[] = {
      {"; top\n[A]\nx = 1\n; note\n\n[B]\ny=2\n", "a", "X", "5", "; top\n[A]\nX=5\n; note\n\n[B]\ny=2\n"},
      {"[A]\nx=1\n; note\n\n[B]\n", "A", "z", "3", "[A]\nx=1\n; note\nz=3\n\n[B]\n"},
      {"[A]\nx=1", "C", "k", "v w", "[A]\nx=1\n[C]\nk=v w\n"},
      {"[A]\nx=1\nX=2\ny=3\n[B]\nx=4\n", "A", "x", nullptr, "[A]\ny=3\n[B]\nx=4\n"},
      {"[A]\nx=1\n[B]\ny=2\n[a]\nz=3\n", "A", nullptr, nullptr, "[B]\ny=2\n"},
      {"[A]\r\nx=1\r\n", "A", "y", "", "[A]\r\nx=1\r\ny=\r\n"},
      {"[A]\nx=1\n", "Z", "x", nullptr, "[A]\nx=1\n"},
      {nullptr, "A", "k", "v", "[A]\nk=v\n"},
  };
  for (const Case& c : cases) {
    TempFolder folder;
    if (c.before != nullptr) folder.Write("p.ini", c.before);
    EXPECT_EQ(TRUE, WritePrivateProfileStringA(c.section, c.key, c.value, folder.File("p.ini").c_str()));
    EXPECT_EQ(c.after, folder.Read("p.ini")) << (c.before != nullptr ? c.before : "(no file)");
    EXPECT_EQ("p.ini", folder.List());
  }
}

TEST(ProfileWriteTest, RefusesWritesThatWouldNotReadBack) {
  struct Case {
    const char* section;
    const char* key;
    const char* value;
  } cases[] = {
      {nullptr, nullptr, nullptr}, {"A", "k", "two\nlines"}, {"A", "k=j", "v"},  {"A]", "k", "v"},
      {"A\n[B", "k", "v"},         {"A", "", "v"},           {"A", "[k", "v"},   {"A", ";k", "v"},
  };
  TempFolder folder;
  folder.Write("p.ini", "[A]\nk=1\n");
  for (const Case& c : cases) {
    EXPECT_EQ(FALSE, WritePrivateProfileStringA(c.section, c.key, c.value, folder.File("p.ini").c_str()));
  }
  EXPECT_EQ("[A]\nk=1\n", folder.Read("p.ini"));
}

TEST(ProfileWriteTest, NeverReplacesAFileItCouldNotRead) {
  TempFolder folder;
  folder.Write("big.ini", "[A]\nk=");
  std::filesystem::resize_file(folder.File("big.ini"), kProfileFileLimit + 1);
  EXPECT_EQ(FALSE, WritePrivateProfileStringA("A", "k", "1", folder.File("big.ini").c_str()));
  EXPECT_EQ(kProfileFileLimit + 1, std::filesystem::file_size(folder.File("big.ini")));
  EXPECT_EQ(FALSE, WritePrivateProfileStringA("A", "k", "1", folder.File("no/such/folder.ini").c_str()));
}

bool FailRename(AtomicWriteStep step) { return step == AtomicWriteStep::kPublish; }

TEST(ProfileWriteTest, AnInterruptedWriteLeavesTheOldFileWhole) {
  TempFolder folder;
  folder.Write("p.ini", "[A]\nk=1\n");
  SetAtomicWriteFaultHook(FailRename);
  EXPECT_EQ(FALSE, WritePrivateProfileStringA("A", "k", "2", folder.File("p.ini").c_str()));
  SetAtomicWriteFaultHook(nullptr);
  EXPECT_EQ("[A]\nk=1\n", folder.Read("p.ini"));
  EXPECT_EQ("p.ini", folder.List());
}

TEST(ProfileDocumentTest, IgnoresAByteOrderMarkAndKeysBeforeAnySection) {
  ProfileDocument document;
  document.Parse("\xEF\xBB\xBF[A]\nk=1\n");
  std::string value;
  EXPECT_TRUE(document.FindValue("a", "K", value));
  EXPECT_EQ("1", value);
  document.Parse("k=1\n[A]\n");
  EXPECT_FALSE(document.FindValue("A", "k", value));
  EXPECT_TRUE(document.KeyNames("A").empty());
}

}  // namespace
