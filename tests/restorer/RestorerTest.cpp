// velgrestore as a user runs it: a copy of the program beside a backup file
// that a "crashed" velgrade left behind.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "browser/BackupFile.h"
#include "browser/BrowserDetection.h"
#include "browser/RegistryValues.h"
#include "platform/VersionInfo.h"
#include "tests/browser/BrowserTestSupport.h"
#include "tests/browser/NsregWriter.h"

namespace {

struct RunResult {
  int exitCode;
  std::string errors;
};

class RestorerTest : public testing::Test {
 protected:
  void SetUp() override {
    BrowserSettings::SetBrowserHint(nullptr);
    program_ = folder_.File("velgrestore");
    std::filesystem::copy_file(std::string(VELGRADE_BUILD_DIR) + "/restorer/velgrestore", program_);
    backup_ = folder_.File("velgrade.tmp");
  }

  RunResult Run() const {
    std::string errors = folder_.File("stderr.txt");
    std::string command = "cd / && '" + program_ + "' ignored arguments 2> '" + errors + "'";
    int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadText(errors)};
  }

  void InstallNetscape(WORD major, WORD minor) const {
    VersionBlock block{{major, minor, 0, 0}, {major, minor, 0, 0}, "fake"};
    std::string path = folder_.File("netscape");
    WriteText(path, "#!/bin/sh\n# " + std::string(FormatVersionRecord(block).Text()) + "\n");
    RegistryKey key;
    ASSERT_EQ(key.Create(HKEY_CLASSES_ROOT, "NetscapeMarkup\\shell\\open\\command", KEY_ALL_ACCESS), ERROR_SUCCESS);
    ASSERT_TRUE(WriteRegistryString(key.Get(), nullptr, ("\"" + path + "\" \"%1\"").c_str()));
  }

  // Saves, points the browser at the local proxy, writes the backup file and
  // "crashes"; then velgrestore must bring the saved settings back.
  void RoundTrip(BrowserKind kind) {
    BinData original;
    {
      std::unique_ptr<BrowserSettings> settings = CreateBrowserSettingsForKind(kind);
      ASSERT_NE(settings, nullptr);
      ASSERT_EQ(settings->GetBrowserKind(), kind);
      ASSERT_TRUE(settings->SaveSettings(original));
      ASSERT_TRUE(settings->PointBrowserAtProxy("127.0.0.1", 8080, 0, original));
      BinData pointed;
      ASSERT_TRUE(settings->SaveSettings(pointed));
      ASSERT_FALSE(pointed == original);
      GString host, url;
      int port = 0;
      ASSERT_TRUE(settings->GetSavedProxy(pointed, host, port, url));
      EXPECT_EQ(host, "127.0.0.1");
      EXPECT_EQ(port, 8080);
      ASSERT_EQ(BackupFile(backup_.c_str()).Write(original, kind), 0);
    }
    RunResult result = Run();
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.errors, "");
    EXPECT_FALSE(std::filesystem::exists(backup_));
    std::unique_ptr<BrowserSettings> settings = CreateBrowserSettingsForKind(kind);
    BinData restored;
    ASSERT_TRUE(settings->SaveSettings(restored));
    EXPECT_TRUE(restored == original);
  }

  TestWindowsFolder folder_;
  std::string program_;
  std::string backup_;
};

TEST_F(RestorerTest, NavigatorRoundTrip) {
  folder_.InstallHive("HKEY_CURRENT_USER", "navigator_hkcu.reg");
  RoundTrip(BrowserKind::Navigator);
}

TEST_F(RestorerTest, CommunicatorOldLayoutRoundTrip) {
  folder_.InstallHive("HKEY_LOCAL_MACHINE", "communicator_old_hklm.reg");
  InstallNetscape(4, 5);
  std::filesystem::create_directories(folder_.File("profiles/alice"));
  WriteText(folder_.File("profiles/alice/prefs.js"), ReadText(FixturePath("prefs_full.js")));
  RoundTrip(BrowserKind::Communicator);
}

TEST_F(RestorerTest, Communicator45RoundTrip) {
  InstallNetscape(4, 61);
  NsregImage image = BuildNsreg({{"other", true, "/nowhere"}, {"Jane+Doe", true, folder_.File("jane")}});
  WriteText(folder_.File("nsreg.dat"), std::string(image.bytes.begin(), image.bytes.end()));
  RegistryKey biff;
  ASSERT_EQ(biff.Create(HKEY_CURRENT_USER, "Software\\Netscape\\Netscape Navigator\\biff", KEY_ALL_ACCESS),
            ERROR_SUCCESS);
  ASSERT_TRUE(WriteRegistryString(biff.Get(), "CurrentUser", "Jane Doe"));
  std::filesystem::create_directories(folder_.File("jane"));
  WriteText(folder_.File("jane/prefs.js"), "user_pref(\"network.proxy.type\", 0);\n");
  RoundTrip(BrowserKind::Communicator45);
}

TEST_F(RestorerTest, InternetExplorerRoundTrip) {
  folder_.InstallHive("HKEY_CURRENT_USER", "hkcu_explorer.reg");
  RoundTrip(BrowserKind::InternetExplorer);
}

TEST_F(RestorerTest, InternetExplorer5RoundTrip) {
  folder_.InstallHive("HKEY_CURRENT_USER", "hkcu_explorer5_office.reg");
  folder_.InstallHive("HKEY_LOCAL_MACHINE", "hklm_transient.reg");
  RoundTrip(BrowserKind::InternetExplorer5);
}

TEST_F(RestorerTest, WithoutABackupFileNothingHappens) {
  RunResult result = Run();
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.errors, "");
}

TEST_F(RestorerTest, UnknownBrowserIsReportedTwiceAndTheFileKept) {
  WriteText(backup_, "[Mosaic]\r\nAAEC");
  RunResult result = Run();
  EXPECT_EQ(result.exitCode, 0);
  std::string message = "Velgrade failed to restore the browser's settings. \n\nPlease see the help.";
  size_t first = result.errors.find(message);
  ASSERT_NE(first, std::string::npos) << result.errors;
  EXPECT_NE(result.errors.find(message, first + 1), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(backup_));
}

TEST_F(RestorerTest, UndecodableBodyIsReportedTwiceThenRemoved) {
  folder_.InstallHive("HKEY_CURRENT_USER", "navigator_hkcu.reg");
  WriteText(backup_, "[Netscape Navigator]\r\nA=AA");
  RunResult result = Run();
  EXPECT_EQ(result.exitCode, 0);
  size_t first = result.errors.find("failed to restore");
  ASSERT_NE(first, std::string::npos);
  EXPECT_NE(result.errors.find("failed to restore", first + 1), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(backup_));
}

}  // namespace
