#include "engine/ProfileLong.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/engine/EngineTestSupport.h"

namespace {

using enginetest::TempFolder;

std::string Read(const TempFolder& folder, const char* section, const char* key, size_t size = 256) {
  std::string buffer(size, '\0');
  GetProfileStringLong(section, key, "DEFAULT", buffer.data(), size, (folder.Path() + "a.ini").c_str());
  return buffer.c_str();
}

TEST(ProfileLongTest, ReadingTable) {
  struct Case {
    const char* file;
    const char* section;
    const char* key;
    const char* expected;
  };
  const Case cases[] = {
      {"[S]\nurl=http://a\n_continue_=/b\n_continue_=/c\n_continue_=/d\n", "S", "url", "http://a/b/c/d"},
      {"[S]\nurl=one\n\n_continue_=two\nnext=x\n", "S", "url", "onetwo"},
      {"[s]\nURL = value \n", "S", "url", "value"},
      {"  [ Section One ]\r\nKey=v\r\n", "section one", "KEY", "v"},
      {"[S]\nurl=a;comment\n", "S", "url", "a"},
      {"[S]\nurl=\n_continue_=x\n", "S", "url", "DEFAULT"},
      {"[S]\nurl=a\nother=b\n_continue_=c\n", "S", "url", "a"},
      {"[S]\nurl=a\n[T]\n_continue_=c\n", "S", "url", "a"},
      {"[T]\nurl=a\n", "S", "url", "DEFAULT"},
      {"[S]\nother=a\n", "S", "url", "DEFAULT"},
  };
  for (const Case& c : cases) {
    TempFolder folder;
    folder.Write("a.ini", c.file);
    EXPECT_EQ(c.expected, Read(folder, c.section, c.key)) << c.file;
  }
}

TEST(ProfileLongTest, ValueLongerThanBufferLeavesDefault) {
  TempFolder folder;
  folder.Write("a.ini", "[S]\nk=0123456789\n");
  EXPECT_EQ("DEFAULT", Read(folder, "S", "k", 10));
  EXPECT_EQ("0123456789", Read(folder, "S", "k", 11));
}

TEST(ProfileLongTest, MissingFileGivesDefaultAndFalse) {
  char buffer[16];
  EXPECT_FALSE(GetProfileStringLong("S", "k", "d", buffer, sizeof buffer, "/nonexistent/velgrade.ini"));
  EXPECT_STREQ("d", buffer);
}

TEST(ProfileLongTest, ApplicationReaderKeepsLeadingBlanks) {
  TempFolder folder;
  folder.Write("a.ini", "[S]\nk=  spaced\n");
  EXPECT_STREQ("  spaced", GetProfileStringLongText((folder.Path() + "a.ini").c_str(), "S", "k", "d").Text());
}

TEST(ProfileLongTest, WritingTable) {
  struct Case {
    const char* before;
    const char* section;
    const char* key;
    const char* value;
    const char* after;
  };
  const Case cases[] = {
      {"[S]\nurl=a\n_continue_=b\n_continue_=c\nx=1\n", "S", "url", "new", "[S]\nurl=new\nx=1\n"},
      {"[S]\nurl=a\n_continue_=b\nx=1\n", "S", "URL", nullptr, "[S]\nx=1\n"},
      {"[A]\na=1\n", "S", "k", "v", "[A]\na=1\n[S]\nk=v\n"},
      {"[A]\na=1", "S", "k", "v", "[A]\na=1\n[S]\nk=v\n"},
      {"[S]\na=1\n[T]\n  t=2\n", "s", "k", "v", "[S]\na=1\nk=v\n[T]\n  t=2\n"},
      {"  [S]\r\n  a=1\r\n", "S", "a", "2", "[S]\r\na=2\n"},
      {"[T]\nt=1\n[S]\na=1\n", "S", "b", "2", "[T]\nt=1\n[S]\na=1\nb=2\n"},
  };
  for (const Case& c : cases) {
    TempFolder folder;
    folder.Write("a.ini", c.before);
    std::string path = folder.Path() + "a.ini";
    EXPECT_TRUE(WriteProfileStringLong(path.c_str(), c.section, c.key, c.value)) << c.before;
    EXPECT_EQ(c.after, folder.Read("a.ini")) << c.before;
  }
}

TEST(ProfileLongTest, WritingNeverAddsBlankLines) {
  TempFolder folder;
  folder.Write("a.ini", "[A]\na=1\n\n[B]\nb=1\n[C]\nc=1\n");
  std::string path = folder.Path() + "a.ini";
  for (const char* section : {"C", "A", "B", "D", "A"}) {
    EXPECT_TRUE(WriteProfileStringLong(path.c_str(), section, "k", "v"));
  }
  EXPECT_EQ("[A]\na=1\n\nk=v\n[B]\nb=1\nk=v\n[C]\nc=1\nk=v\n[D]\nk=v\n", folder.Read("a.ini"));
}

TEST(ProfileLongTest, MissingFileIsNotCreated) {
  TempFolder folder;
  std::string path = folder.Path() + "none.ini";
  EXPECT_FALSE(WriteProfileStringLong(path.c_str(), "S", "k", "v"));
  EXPECT_EQ("", folder.Read("none.ini"));
}

}  // namespace
