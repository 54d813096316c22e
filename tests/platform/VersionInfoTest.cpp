#include "platform/VersionInfo.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "platform/VersionBlock.h"
#include "tests/platform/TempFolder.h"

namespace {

VersionBlock MakeBlock(WORD fileMajor, WORD fileMinor, WORD productMajor, WORD productMinor, const char* text) {
  VersionBlock block{};
  block.fileVersion[0] = fileMajor;
  block.fileVersion[1] = fileMinor;
  block.fileVersion[3] = 7;
  block.productVersion[0] = productMajor;
  block.productVersion[1] = productMinor;
  block.productVersion[2] = 65535;
  block.productVersionText = text;
  return block;
}

void ExpectSame(const VersionBlock& expected, const VersionBlock& actual) {
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(expected.fileVersion[i], actual.fileVersion[i]) << i;
    EXPECT_EQ(expected.productVersion[i], actual.productVersion[i]) << i;
  }
  EXPECT_STREQ(expected.productVersionText.Text(), actual.productVersionText.Text());
}

TEST(VersionInfoTest, TheProgramCarriesItsOwnRecord) {
  const VersionBlock& own = GetOwnVersionBlock();
  EXPECT_FALSE(own.productVersionText.IsEmpty());
  EXPECT_STREQ(kVelgradeVersionRecord, FormatVersionRecord(own).Text());
  VersionBlock found;
  ASSERT_TRUE(GetFileVersionInfo("/proc/self/exe", found));
  ExpectSame(own, found);
}

TEST(VersionInfoTest, FindsTheRecordAnywhereInAFile) {
  VersionBlock block = MakeBlock(4, 5, 4, 61, "4.61 [en] (Win95; I)");
  std::string record = FormatVersionRecord(block).Text();
  const std::string decoys =
      "VELGRADE-VERSION-BLOCK FileVersion=1.2.3 ProductVersion=1.2.3.4 ProductVersionText=x VELGRADE-VERSION-END\n"
      "VELGRADE-VERSION-BLOCK FileVersion=%u.%u.%u.%u\n";
  for (size_t offset : {size_t{0}, size_t{65536 - 30}, size_t{65536 - 300}, size_t{3 * 65536 + 11}}) {
    TempFolder folder;
    std::string filler = decoys + std::string(offset, 'x');
    folder.Write("netscape", "#!/bin/sh\n" + filler + record + "\nexit 0\n");
    VersionBlock found;
    ASSERT_TRUE(GetFileVersionInfo(folder.File("netscape").c_str(), found)) << offset;
    ExpectSame(block, found);
  }
}

TEST(VersionInfoTest, IgnoresMalformedRecords) {
  const char* cases[] = {
      "VELGRADE-VERSION-BLOCK FileVersion=65536.0.0.0 ProductVersion=1.0.0.0 ProductVersionText=x VELGRADE-VERSION-END",
      "VELGRADE-VERSION-BLOCK FileVersion=1.0.0 ProductVersion=1.0.0.0 ProductVersionText=x VELGRADE-VERSION-END",
      "VELGRADE-VERSION-BLOCK FileVersion=1.0.0.0 ProductVersion=1.0.0.0 ProductVersionText=x",
      "VELGRADE-VERSION-BLOCK FileVersion=1.0.0.0 ProductVersion=1.0.0.0 ProductVersionText=a\tb VELGRADE-VERSION-END",
      "VELGRADE-VERSION-BLOCK FileVersion=1.0.0.0 ProductVersion=1.0.0.-1 ProductVersionText=x VELGRADE-VERSION-END",
      "VELGRADE-VERSION-BLOCK  FileVersion=1.0.0.0 ProductVersion=1.0.0.0 ProductVersionText=x VELGRADE-VERSION-END",
  };
  TempFolder folder;
  VersionBlock found;
  for (const char* text : cases) {
    folder.Write("f", text);
    EXPECT_FALSE(GetFileVersionInfo(folder.File("f").c_str(), found)) << text;
  }
  std::string tooLong = "VELGRADE-VERSION-BLOCK FileVersion=1.0.0.0 ProductVersion=1.0.0.0 ProductVersionText=" +
                        std::string(kVersionTextLimit + 1, 'a') + " VELGRADE-VERSION-END";
  folder.Write("f", tooLong);
  EXPECT_FALSE(GetFileVersionInfo(folder.File("f").c_str(), found));
  EXPECT_FALSE(GetFileVersionInfo(folder.File("missing").c_str(), found));
  EXPECT_FALSE(GetFileVersionInfo(folder.Path().c_str(), found));
  EXPECT_FALSE(GetFileVersionInfo("/dev/zero", found));
}

TEST(VersionInfoTest, FormatsOnlyReadableText) {
  // Built at run time: a whole record written here would be found in this
  // test program's own file before the one it really carries.
  std::string marker = std::string("VELGRADE-VERSION") + "-BLOCK";
  VersionBlock block = MakeBlock(1, 2, 3, 4, "a\nb");
  EXPECT_EQ(marker + " FileVersion=1.2.0.7 ProductVersion=3.4.65535.0 ProductVersionText=a?b VELGRADE-VERSION-END",
            FormatVersionRecord(block).Text());
  block.productVersionText = "";
  TempFolder folder;
  folder.Write("f", FormatVersionRecord(block).Text());
  VersionBlock found;
  ASSERT_TRUE(GetFileVersionInfo(folder.File("f").c_str(), found));
  ExpectSame(block, found);
}

}  // namespace
