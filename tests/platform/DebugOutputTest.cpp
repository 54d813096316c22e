#include "platform/DebugOutput.h"

#include <gtest/gtest.h>

#include "tests/platform/TempFolder.h"

namespace {

TEST(DebugOutputTest, AppendsToTheConfiguredFileOnly) {
  TempFolder folder;
  OutputDebugStringA("before any file\n");
  SetDebugOutputFile(folder.File("dbg.log").c_str());
  OutputDebugStringA("Velgrade: one\n");
  OutputDebugStringA("two, no line end");
  OutputDebugStringA(nullptr);
  SetDebugOutputFile(nullptr);
  OutputDebugStringA("after\n");
  EXPECT_EQ("Velgrade: one\ntwo, no line end", folder.Read("dbg.log"));
}

}  // namespace
