#include "platform/Files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "platform/DynamicLibrary.h"
#include "tests/platform/TempFolder.h"

namespace {

TEST(AccessTest, ModesOfAnExistingFileAndAMissingOne) {
  TempFolder folder;
  folder.Write("a.ini", "x");
  std::string file = folder.File("a.ini");
  for (int mode : {0, 2, 4, 6}) EXPECT_EQ(0, _access(file.c_str(), mode)) << mode;
  for (int mode : {0, 2, 4, 6}) EXPECT_EQ(-1, _access(folder.File("none").c_str(), mode)) << mode;
  EXPECT_EQ(-1, _access(file.c_str(), 1));
  EXPECT_EQ(-1, _access(nullptr, 0));
}

TEST(ModuleFileNameTest, NamesTheRunningProgram) {
  char buffer[PATH_MAX];
  DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof(buffer));
  ASSERT_GT(n, 0u);
  EXPECT_EQ(n, std::strlen(buffer));
  EXPECT_NE(nullptr, std::strstr(buffer, "platform_tests"));
  EXPECT_EQ(std::string(buffer).substr(0, std::string(buffer).rfind('/')), GetProgramFolder().Text());

  char small[5];
  EXPECT_EQ(5u, GetModuleFileNameA(nullptr, small, sizeof(small)));
  EXPECT_EQ(std::string(buffer, 4), small);
  EXPECT_EQ(0u, GetModuleFileNameA(nullptr, small, 0));

  char again[PATH_MAX];
  EXPECT_EQ(n, GetModuleFileNameA(GetModuleHandleA(nullptr), again, sizeof(again)));
  EXPECT_STREQ(buffer, again);
  HMODULE library = GetModuleHandleA("libc.so.6");
  ASSERT_NE(nullptr, library);
  ASSERT_GT(GetModuleFileNameA(library, again, sizeof(again)), 0u);
  EXPECT_NE(nullptr, std::strstr(again, "/libc.so.6"));
}

TEST(ReadWholeFileTest, ReadsUpToTheLimit) {
  TempFolder folder;
  folder.Write("f", std::string("ab\0cd", 5));
  BinData out;
  ASSERT_TRUE(ReadWholeFile(folder.File("f").c_str(), out, 5));
  EXPECT_EQ(BinData("ab\0cd", 5), out);
  EXPECT_FALSE(ReadWholeFile(folder.File("f").c_str(), out, 4));
  EXPECT_EQ(0u, out.GetLength());
  EXPECT_FALSE(ReadWholeFile(folder.File("missing").c_str(), out, 100));
  EXPECT_FALSE(ReadWholeFile(folder.Path().c_str(), out, 100));
  folder.Write("empty", "");
  EXPECT_TRUE(ReadWholeFile(folder.File("empty").c_str(), out, 0));
  EXPECT_EQ(0u, out.GetLength());
}

TEST(WriteFileAtomicallyTest, CreatesAndReplacesKeepingTheMode) {
  TempFolder folder;
  std::string file = folder.File("user.ini");
  ASSERT_TRUE(WriteFileAtomically(file.c_str(), "first", 5));
  EXPECT_EQ("first", folder.Read("user.ini"));
  ASSERT_EQ(0, ::chmod(file.c_str(), 0640));
  ASSERT_TRUE(WriteFileAtomically(file.c_str(), "second!", 7));
  EXPECT_EQ("second!", folder.Read("user.ini"));
  struct stat info;
  ASSERT_EQ(0, ::stat(file.c_str(), &info));
  EXPECT_EQ(0640u, info.st_mode & 0777);
  ASSERT_TRUE(WriteFileAtomically(file.c_str(), nullptr, 0));
  EXPECT_EQ("", folder.Read("user.ini"));
  EXPECT_EQ("user.ini", folder.List());
}

TEST(WriteFileAtomicallyTest, ReplacesTheTargetOfALink) {
  TempFolder folder;
  folder.Write("real.ini", "old");
  ASSERT_EQ(0, ::symlink("real.ini", folder.File("link.ini").c_str()));
  ASSERT_TRUE(WriteFileAtomically(folder.File("link.ini").c_str(), "new", 3));
  EXPECT_EQ("new", folder.Read("real.ini"));
  struct stat info;
  ASSERT_EQ(0, ::lstat(folder.File("link.ini").c_str(), &info));
  EXPECT_TRUE(S_ISLNK(info.st_mode));
}

TEST(WriteFileAtomicallyTest, CreateOnlyLeavesAnExistingFileAndPrivateModeApplies) {
  TempFolder folder;
  AtomicWriteOptions options;
  options.replace = false;
  options.newFileMode = 0600;
  std::string file = folder.File("key.pem");
  ASSERT_TRUE(WriteFileAtomically(file.c_str(), "secret", 6, options));
  struct stat info;
  ASSERT_EQ(0, ::stat(file.c_str(), &info));
  EXPECT_EQ(0600u, info.st_mode & 0777);
  EXPECT_FALSE(WriteFileAtomically(file.c_str(), "other", 5, options));
  EXPECT_EQ("secret", folder.Read("key.pem"));
  EXPECT_EQ("key.pem", folder.List()) << "no temporary file is left behind";
}

AtomicWriteStep failingStep;
bool FailAtChosenStep(AtomicWriteStep step) { return step == failingStep; }

TEST(WriteFileAtomicallyTest, AFailureAtAnyStepLeavesTheOldFileWhole) {
  TempFolder folder;
  folder.Write("user.ini", "old content");
  for (AtomicWriteStep step :
       {AtomicWriteStep::kCreate, AtomicWriteStep::kWrite, AtomicWriteStep::kSync, AtomicWriteStep::kPublish}) {
    failingStep = step;
    SetAtomicWriteFaultHook(FailAtChosenStep);
    EXPECT_FALSE(WriteFileAtomically(folder.File("user.ini").c_str(), "new", 3));
    SetAtomicWriteFaultHook(nullptr);
    EXPECT_EQ("old content", folder.Read("user.ini"));
    EXPECT_EQ("user.ini", folder.List());
  }
}

TEST(WriteFileAtomicallyTest, RefusesWhatItCannotReplace) {
  TempFolder folder;
  EXPECT_FALSE(WriteFileAtomically(folder.File("missing/x.ini").c_str(), "a", 1));
  EXPECT_FALSE(WriteFileAtomically(folder.Path().c_str(), "a", 1));
  EXPECT_FALSE(WriteFileAtomically("", "a", 1));
}

}  // namespace
