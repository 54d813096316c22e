#include "browser/BackupFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "browser/CrashRecovery.h"
#include "browser/NavigatorSettings.h"
#include "common/Base64.h"
#include "platform/MessageBox.h"
#include "tests/browser/BrowserTestSupport.h"

namespace {

BinData Pattern(size_t length) {
  BinData data;
  EXPECT_EQ(data.SetLength(length), 0);
  for (size_t i = 0; i < length; ++i) data.GetData()[i] = static_cast<uint8_t>(i * 31 + 7);
  return data;
}

bool IsReadOnly(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0 && (status.st_mode & 0222) == 0;
}

TEST(BackupFileTest, BodyLengthsAndNoLineBreaks) {
  TestWindowsFolder folder;
  const std::pair<size_t, size_t> sizes[] = {{7180, 9576}, {2068, 2760}, {2651, 3536}};
  for (const auto& [length, encoded] : sizes) {
    BackupFile file(folder.File("velgrade.tmp").c_str());
    ASSERT_EQ(file.Write(Pattern(length), BrowserKind::Navigator), 0);
    std::string text = ReadText(folder.File("velgrade.tmp"));
    std::string firstLine = "[Netscape Navigator]\r\n";
    ASSERT_EQ(text.rfind(firstLine, 0), 0u);
    std::string body = text.substr(firstLine.size());
    EXPECT_EQ(body.size(), encoded);
    EXPECT_EQ(body.find_first_of("\r\n"), std::string::npos);
    EXPECT_TRUE(IsReadOnly(folder.File("velgrade.tmp")));
  }
}

TEST(BackupFileTest, EveryKindRoundTripsAndAReadOnlyFileIsReplaced) {
  TestWindowsFolder folder;
  BackupFile file(folder.File("velgrade.tmp").c_str());
  const BrowserKind kinds[] = {BrowserKind::Communicator, BrowserKind::Navigator, BrowserKind::InternetExplorer,
                               BrowserKind::Communicator45, BrowserKind::InternetExplorer5};
  for (BrowserKind kind : kinds) {
    BinData record = Pattern(100 + static_cast<size_t>(kind));
    ASSERT_EQ(file.Write(record, kind), 0) << static_cast<int>(kind);
    ASSERT_TRUE(file.Exists());
    BinData back;
    BrowserKind readKind = BrowserKind::Unknown;
    ASSERT_EQ(file.Read(back, readKind), 0);
    EXPECT_EQ(readKind, kind);
    EXPECT_TRUE(back == record);
  }
  EXPECT_EQ(file.Write(Pattern(10), BrowserKind::Unknown), 1);
  EXPECT_EQ(file.Write(Pattern(10), static_cast<BrowserKind>(5)), 1);
  EXPECT_EQ(file.Delete(), 0);
  EXPECT_FALSE(file.Exists());
  EXPECT_EQ(file.Delete(), 1);
  BinData record;
  BrowserKind kind = BrowserKind::Unknown;
  EXPECT_EQ(file.Read(record, kind), 1);
}

TEST(BackupFileReaderTest, FirstLines) {
  const std::pair<const char*, BrowserKind> cases[] = {
      {"[Internet Explorer 5.0]\r\n", BrowserKind::InternetExplorer5},
      {"[Internet Explorer]\n", BrowserKind::InternetExplorer},
      {"[Netscape Communicator 4.5]\r\n", BrowserKind::Communicator45},
      {"[Netscape Communicator]\r\n", BrowserKind::Communicator},
      {"[Netscape Navigator]\n", BrowserKind::Navigator},
      {"junk Netscape Navigator junk\n", BrowserKind::Navigator},
  };
  for (const auto& [line, kind] : cases) {
    BackupFileReader reader;
    std::string text = std::string(line) + "AAEC";
    reader.Feed(text.data(), text.size());
    BinData record;
    BrowserKind read = BrowserKind::Unknown;
    EXPECT_EQ(reader.Finish(record, read), 0) << line;
    EXPECT_EQ(read, kind) << line;
    EXPECT_EQ(record.GetLength(), 3u);
  }
  BackupFileReader unknown;
  std::string text = "[Mosaic]\r\nAAEC";
  unknown.Feed(text.data(), text.size());
  BinData record;
  BrowserKind read = BrowserKind::Unknown;
  EXPECT_EQ(unknown.Finish(record, read), 1);
  EXPECT_EQ(read, BrowserKind::Unknown);
}

TEST(BackupFileReaderTest, BodyOverSeveralLinesAndDecodingErrors) {
  const std::pair<const char*, int> cases[] = {
      {"[Internet Explorer]\r\nAAEC\r\nAwQF\r\n", 0},
      {"[Internet Explorer]\r\nA=EC", 1},
      {"[Internet Explorer]\r\nAAECA", 1},
      {"[Internet Explorer]\r\nAA==", 0},
  };
  for (const auto& [text, result] : cases) {
    BackupFileReader reader;
    reader.Feed(text, std::strlen(text));
    BinData record;
    BrowserKind kind = BrowserKind::Unknown;
    EXPECT_EQ(reader.Finish(record, kind), result) << text;
    if (result != 0) {
      EXPECT_EQ(record.GetLength(), 0u) << "nothing half-decoded is kept";
    }
  }
}

TEST(BackupFileReaderTest, OverlongFirstLineGoesOnIntoTheBody) {
  std::string text = "[Netscape Navigator]" + std::string(491, ' ') + "AAEC\r\nAwQF";
  BackupFileReader reader;
  reader.Feed(text.data(), text.size());
  BinData record;
  BrowserKind kind = BrowserKind::Unknown;
  ASSERT_EQ(reader.Finish(record, kind), 0);
  EXPECT_EQ(record.GetLength(), 6u);
}

TEST(BackupFileReaderTest, SplitAnywhereGivesTheSameResult) {
  std::string text = "[Netscape Communicator 4.5]\r\n" + std::string(Base64Encode(Pattern(700)).Text());
  text.insert(400, "\r\n");
  BackupFileReader whole;
  whole.Feed(text.data(), text.size());
  BinData wholeRecord;
  BrowserKind wholeKind = BrowserKind::Unknown;
  ASSERT_EQ(whole.Finish(wholeRecord, wholeKind), 0);
  for (size_t split = 0; split <= text.size(); ++split) {
    BackupFileReader reader;
    reader.Feed(text.data(), split);
    reader.Feed(text.data() + split, text.size() - split);
    BinData record;
    BrowserKind kind = BrowserKind::Unknown;
    ASSERT_EQ(reader.Finish(record, kind), 0) << split;
    ASSERT_EQ(kind, wholeKind);
    ASSERT_TRUE(record == wholeRecord) << split;
  }
}

void CountNotice(void* context) { ++*static_cast<int*>(context); }

TEST(CrashRecoveryTest, UnknownFirstLineIsKeptAndReportedTwice) {
  TestWindowsFolder folder;
  WriteText(folder.File("velgrade.tmp"), "[Mosaic 2.0]\r\nAAEC");
  int notices = 0;
  RestoreFromBackupFile(BackupFile(folder.File("velgrade.tmp").c_str()), CountNotice, &notices);
  EXPECT_EQ(notices, 2);
  EXPECT_EQ(ReadText(folder.File("velgrade.tmp")), "[Mosaic 2.0]\r\nAAEC");
}

TEST(CrashRecoveryTest, UndecodableBodyIsReportedTwiceThenDeleted) {
  TestWindowsFolder folder;
  folder.InstallHive("HKEY_CURRENT_USER", "navigator_hkcu.reg");
  const std::string before = ReadText(folder.File("HKEY_CURRENT_USER.reg"));
  WriteText(folder.File("velgrade.tmp"), "[Netscape Navigator]\r\nA=AA");
  int notices = 0;
  RestoreFromBackupFile(BackupFile(folder.File("velgrade.tmp").c_str()), CountNotice, &notices);
  EXPECT_EQ(notices, 2);
  EXPECT_FALSE(BackupFile(folder.File("velgrade.tmp").c_str()).Exists());
  EXPECT_EQ(ReadText(folder.File("HKEY_CURRENT_USER.reg")), before) << "nothing written";
}

TEST(CrashRecoveryTest, RecordThatCannotBeWrittenBackIsKept) {
  TestWindowsFolder folder;
  BinData record;
  ASSERT_EQ(record.SetLength(7180), 0);
  std::memset(record.GetData(), 0, 7180);
  BackupFile file(folder.File("velgrade.tmp").c_str());
  ASSERT_EQ(file.Write(record, BrowserKind::Navigator), 0);
  int notices = 0;
  RestoreFromBackupFile(file, CountNotice, &notices);
  EXPECT_EQ(notices, 1) << "no Netscape proxy key to write to";
  EXPECT_TRUE(file.Exists());
  folder.InstallHive("HKEY_CURRENT_USER", "navigator_hkcu.reg");
  RestoreFromBackupFile(file, CountNotice, &notices);
  EXPECT_EQ(notices, 1);
  EXPECT_FALSE(file.Exists());
}

TEST(CrashRecoveryTest, NoFileDoesNothing) {
  TestWindowsFolder folder;
  int notices = 0;
  RestoreFromBackupFile(BackupFile(folder.File("velgrade.tmp").c_str()), CountNotice, &notices);
  EXPECT_EQ(notices, 0);
}

TEST(CrashRecoveryTest, StartUpStepRestoresFromTheCurrentFolderAndShowsMessage2129) {
  TestWindowsFolder folder;
  folder.InstallHive("HKEY_CURRENT_USER", "navigator_hkcu.reg");
  NavigatorSettings settings;
  BinData record;
  ASSERT_TRUE(settings.SaveSettings(record));
  ASSERT_TRUE(settings.PointBrowserAtProxy("127.0.0.1", 8080, 0, record));
  std::string previous = std::filesystem::current_path().string();
  std::filesystem::current_path(folder.Path());
  EXPECT_EQ(WriteBackupFile(record, BrowserKind::Navigator), 0);
  EXPECT_TRUE(BackupFileExists());
  MessageBoxRecorder boxes;
  RecoverBrowserSettingsAtStart();
  EXPECT_TRUE(boxes.boxes.empty());
  EXPECT_FALSE(BackupFileExists());
  BinData after;
  ASSERT_TRUE(settings.SaveSettings(after));
  EXPECT_TRUE(after == record);

  WriteText("velgrade.tmp", "[Unknown]\r\n");
  RecoverBrowserSettingsAtStart();
  ASSERT_EQ(boxes.boxes.size(), 2u);
  EXPECT_NE(boxes.boxes[0].text.find("failed to restore the browser's settings"), std::string::npos);
  EXPECT_EQ(boxes.boxes[0].type & 0xF0, MB_ICONINFORMATION);
  EXPECT_TRUE(BackupFileExists());
  EXPECT_EQ(DeleteBackupFile(), 0);
  std::filesystem::current_path(previous);
}

}  // namespace
