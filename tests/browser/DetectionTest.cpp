#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "browser/BrowserDetection.h"
#include "browser/CommunicatorSettings.h"
#include "browser/RegistryValues.h"
#include "platform/MessageBox.h"
#include "platform/VersionInfo.h"
#include "platform/WindowList.h"
#include "tests/browser/BrowserTestSupport.h"
#include "tests/browser/NsregWriter.h"

namespace {

// Writes a shell script standing in for a browser, carrying a version block.
void WriteFakeBrowser(const std::string& path, WORD productMajor, WORD productMinor, WORD fileMajor,
                      WORD fileMinor) {
  VersionBlock block{{fileMajor, fileMinor, 0, 0}, {productMajor, productMinor, 0, 0}, "fake"};
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  WriteText(path, "#!/bin/sh\n# " + std::string(FormatVersionRecord(block).Text()) + "\nexit 0\n");
}

void SetCommand(const char* keyPath, const std::string& command) {
  RegistryKey key;
  ASSERT_EQ(key.Create(HKEY_CLASSES_ROOT, keyPath, KEY_ALL_ACCESS), ERROR_SUCCESS);
  ASSERT_TRUE(WriteRegistryString(key.Get(), nullptr, command.c_str()));
}

// A desktop of scripted windows: closing a window of a process ends the
// process when closesProcess says so.
class FakeWindowList : public WindowList {
 public:
  struct Window {
    DWORD processId;
    std::string title;
  };

  std::vector<WindowHandle> EnumerateWindows() override {
    std::vector<WindowHandle> handles;
    for (const auto& entry : windows) handles.push_back(entry.first);
    return handles;
  }
  bool GetWindowProcessId(WindowHandle window, DWORD& processId) override {
    auto found = windows.find(window);
    if (found == windows.end()) return false;
    processId = found->second.processId;
    return true;
  }
  bool GetWindowTitle(WindowHandle window, GString& title, int) override {
    auto found = windows.find(window);
    if (found == windows.end()) return false;
    title = found->second.title.c_str();
    return true;
  }
  void SendCloseMessage(WindowHandle window) override {
    closed.push_back(window);
    if (closesProcess) running.erase(windows[window].processId);
  }
  bool ProcessExists(DWORD processId) override { return running.count(processId) != 0; }
  void Sleep(DWORD) override { ++sleeps; }

  std::map<WindowHandle, Window> windows;
  std::map<DWORD, bool> running;
  std::vector<WindowHandle> closed;
  bool closesProcess = true;
  int sleeps = 0;
};

class DetectionTest : public testing::Test {
 protected:
  void SetUp() override {
    BrowserSettings::SetBrowserHint(nullptr);
    ResetCloseNetscapeWindowsQuestion();
    SetBrowserConfigFile(folder_.File("corvask.ini").c_str());
    SetWindowList(&desktop_);
  }
  void TearDown() override {
    SetWindowList(nullptr);
    BrowserSettings::SetBrowserHint(nullptr);
  }

  std::string Netscape(const std::string& name) const { return folder_.File("Netscape Communicator/" + name); }

  TestWindowsFolder folder_;
  FakeWindowList desktop_;
};

TEST(ExtractProgramPathTest, Cases) {
  const std::pair<const char*, const char*> cases[] = {
      {"\"C:\\Program Files\\Netscape\\netscape.exe\" -h \"%1\"", "C:\\Program Files\\Netscape\\netscape.exe"},
      {"/opt/netscape/netscape %1", "/opt/netscape/netscape"},
      {"/opt/netscape/netscape", "/opt/netscape/netscape"},
      {"\"\"", ""},
      {"", ""},
  };
  for (const auto& [in, out] : cases) {
    char buffer[128];
    std::strcpy(buffer, in);
    EXPECT_TRUE(ExtractProgramPath(buffer)) << in;
    EXPECT_STREQ(buffer, out);
  }
  char unterminated[] = "\"C:\\netscape.exe -h";
  EXPECT_FALSE(ExtractProgramPath(unterminated));
  EXPECT_FALSE(ExtractProgramPath(nullptr));
}

TEST_F(DetectionTest, NetscapeVersionsDecideTheKind) {
  struct Case {
    WORD productMajor, productMinor, fileMajor, fileMinor;
    BrowserKind kind;
    bool swept;
  };
  const Case cases[] = {
      {4, 5, 4, 5, BrowserKind::Communicator, true},     {4, 50, 4, 50, BrowserKind::Communicator45, true},
      {4, 61, 4, 61, BrowserKind::Communicator45, true}, {5, 0, 5, 0, BrowserKind::Communicator45, true},
      {3, 4, 3, 4, BrowserKind::Navigator, false},       {4, 61, 4, 5, BrowserKind::Communicator, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.productMajor << "." << c.productMinor << " / " << c.fileMajor << "."
                                    << c.fileMinor);
    std::string path = Netscape("netscape");
    WriteFakeBrowser(path, c.productMajor, c.productMinor, c.fileMajor, c.fileMinor);
    desktop_.windows = {{1, {42, "Home Page - Netscape"}}};
    desktop_.running = {{42, true}};
    desktop_.closed.clear();
    ResetCloseNetscapeWindowsQuestion();
    MessageBoxRecorder boxes(IDOK);
    EXPECT_EQ(NetscapeKindFromExecutable(path.c_str()), c.kind);
    EXPECT_EQ(desktop_.closed.size(), c.swept ? 1u : 0u);
  }
  EXPECT_EQ(NetscapeKindFromExecutable(folder_.File("missing").c_str()), BrowserKind::Unknown);
  WriteText(folder_.File("plain"), "no version here");
  EXPECT_EQ(NetscapeKindFromExecutable(folder_.File("plain").c_str()), BrowserKind::Unknown);
}

TEST_F(DetectionTest, ConfigurationCanForbidClosingTheBrowser) {
  WriteText(folder_.File("corvask.ini"), "[Velgrade]\nnotKillCommunicator=1\n");
  WriteFakeBrowser(Netscape("netscape"), 4, 61, 4, 61);
  desktop_.windows = {{1, {42, "Netscape"}}};
  desktop_.running = {{42, true}};
  MessageBoxRecorder boxes(IDOK);
  EXPECT_EQ(NetscapeKindFromExecutable(Netscape("netscape").c_str()), BrowserKind::Communicator45);
  EXPECT_TRUE(desktop_.closed.empty());
  EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(DetectionTest, HintLengthLimit) {
  std::string hint = "iexplore";
  hint.resize(260, 'x');
  EXPECT_EQ(DetectBrowserKind(hint.c_str()), BrowserKind::InternetExplorer);
  EXPECT_EQ(std::string(BrowserSettings::GetBrowserHint()), hint);
  hint += 'x';
  EXPECT_EQ(DetectBrowserKind(hint.c_str()), BrowserKind::Unknown);
}

TEST_F(DetectionTest, HintNamingAnotherProgramGivesNoSettings) {
  folder_.InstallHive("HKEY_CLASSES_ROOT", "hkcr_explorer_default.reg");
  EXPECT_EQ(DetectBrowserKind("\"/opt/mosaic/mosaic\""), BrowserKind::Unknown);
  EXPECT_EQ(CreateBrowserSettings("/usr/bin/lynx"), nullptr);
}

TEST_F(DetectionTest, QuotedNetscapeHintWinsOverTheDefaultBrowser) {
  folder_.InstallHive("HKEY_CLASSES_ROOT", "hkcr_explorer_default.reg");
  folder_.InstallHive("HKEY_LOCAL_MACHINE", "hklm_explorer5.reg");
  WriteFakeBrowser(Netscape("Netscape.EXE"), 4, 5, 4, 5);
  std::string hint = "\"" + Netscape("Netscape.EXE") + "\"";
  MessageBoxRecorder boxes(IDOK);
  EXPECT_EQ(DetectBrowserKind(hint.c_str()), BrowserKind::Communicator);
  GString command;
  std::unique_ptr<BrowserSettings> settings = CreateBrowserSettings(hint.c_str());
  ASSERT_NE(settings, nullptr);
  EXPECT_STREQ(settings->GetRuntimeClassName(), "CommunicatorSettings");
  EXPECT_TRUE(settings->GetBrowserCommand(command));
  EXPECT_EQ(std::string(command.Text()), hint);
}

TEST_F(DetectionTest, DefaultHintAsksTheRegistryAndTheCommandComesFromIt) {
  folder_.InstallHive("HKEY_CLASSES_ROOT", "hkcr_explorer_default.reg");
  folder_.InstallHive("HKEY_LOCAL_MACHINE", "hklm_explorer5.reg");
  // The Netscape command key names a 4.61 browser: were it consulted, the
  // result would be a Netscape kind.
  WriteFakeBrowser(Netscape("netscape461"), 4, 61, 4, 61);
  EXPECT_EQ(DetectBrowserKind("\"default\""), BrowserKind::InternetExplorer5);
  std::unique_ptr<BrowserSettings> settings = CreateBrowserSettingsForKind(BrowserKind::InternetExplorer5);
  GString command;
  ASSERT_TRUE(settings->GetBrowserCommand(command));
  EXPECT_EQ(command, "\"C:\\Program Files\\Internet Explorer\\IEXPLORE.EXE\" -nohome");
  EXPECT_EQ(DetectBrowserKind("\"DEFAULT\""), BrowserKind::InternetExplorer5);
  RegistryKey key;
  ASSERT_EQ(key.Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Internet Explorer", KEY_ALL_ACCESS), ERROR_SUCCESS);
  ASSERT_TRUE(WriteRegistryString(key.Get(), "Version", "4.72.3110.0"));
  EXPECT_EQ(DetectBrowserKind(nullptr), BrowserKind::InternetExplorer);
  EXPECT_TRUE(desktop_.closed.empty());
}

TEST_F(DetectionTest, NetscapeWinsWhenTheHttpHandlerIsMissingOrAThirdBrowser) {
  folder_.InstallHive("HKEY_CLASSES_ROOT", "hkcr_explorer_default.reg");
  WriteFakeBrowser(Netscape("netscape461"), 4, 61, 4, 61);
  MessageBoxRecorder boxes(IDOK);
  SetCommand("http\\shell\\open\\command", "/opt/opera/opera %1");
  EXPECT_EQ(DetectBrowserKind(nullptr), BrowserKind::Communicator45);
  SetCommand("http\\shell\\open\\command", "");
  EXPECT_EQ(DetectBrowserKind(nullptr), BrowserKind::Communicator45);
  SetCommand("http\\shell\\open\\command", "\"C:\\Netscape\\iexplore-netscape.exe\"");
  EXPECT_EQ(DetectBrowserKind(nullptr), BrowserKind::Communicator45);
  RegistryKey root;
  ASSERT_EQ(root.Open(HKEY_CLASSES_ROOT, nullptr, KEY_ALL_ACCESS), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteKeyA(root.Get(), "http"), ERROR_SUCCESS);
  EXPECT_EQ(DetectBrowserKind(nullptr), BrowserKind::Communicator45);
  ASSERT_EQ(RegDeleteKeyA(root.Get(), "NetscapeMarkup"), ERROR_SUCCESS);
  EXPECT_EQ(DetectBrowserKind(nullptr), BrowserKind::InternetExplorer) << "no version key: 2";
  ASSERT_EQ(RegDeleteKeyA(root.Get(), "htmlfile"), ERROR_SUCCESS);
  EXPECT_EQ(DetectBrowserKind(nullptr), BrowserKind::Unknown);
}

TEST_F(DetectionTest, SweepAsksOnceAndStopsWhenTheProcessHasGone) {
  desktop_.windows = {{1, {7, "Editor"}},
                      {2, {42, "Inbox - Netscape Folder"}},
                      {3, {42, "Netscape Message Center"}},
                      {4, {43, "Home - Netscape"}}};
  desktop_.running = {{42, true}, {43, true}};
  MessageBoxRecorder boxes(IDOK);
  CloseNetscapeWindows();
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_NE(boxes.boxes[0].text.find("close your browser"), std::string::npos);
  EXPECT_EQ(desktop_.closed, (std::vector<WindowHandle>{2}));
}

TEST_F(DetectionTest, SweepWaitsAndGoesOnWhileTheProcessLives) {
  desktop_.windows = {{1, {42, "A - Netscape"}}, {2, {42, "B - Netscape Discussion"}}};
  desktop_.running = {{42, true}};
  desktop_.closesProcess = false;
  MessageBoxRecorder boxes(IDOK);
  CloseNetscapeWindows();
  EXPECT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(desktop_.closed, (std::vector<WindowHandle>{1, 2}));
  EXPECT_EQ(desktop_.sleeps, 2000);
}

TEST_F(DetectionTest, CancelInTheSweepEndsTheProgram) {
  desktop_.windows = {{1, {42, "netscape"}}};
  desktop_.running = {{42, true}};
  EXPECT_EXIT(
      {
        MessageBoxRecorder boxes(IDCANCEL);
        CloseNetscapeWindows();
        std::exit(3);
      },
      testing::ExitedWithCode(0), "");
}

TEST_F(DetectionTest, CommunicatorReadsItsLayoutFromTheBrowserVersion) {
  folder_.InstallHive("HKEY_CLASSES_ROOT", "hkcr_explorer_default.reg");
  WriteFakeBrowser(Netscape("netscape461"), 4, 61, 4, 61);
  NsregImage image = BuildNsreg({{"default", true, folder_.File("ns/default")}, {"work", true, "/elsewhere"}});
  WriteText(folder_.File("nsreg.dat"), std::string(image.bytes.begin(), image.bytes.end()));
  RegistryKey biff;
  ASSERT_EQ(biff.Create(HKEY_CURRENT_USER, "Software\\Netscape\\Netscape Navigator\\biff", KEY_ALL_ACCESS),
            ERROR_SUCCESS);
  ASSERT_TRUE(WriteRegistryString(biff.Get(), "CurrentUser", "default"));
  CommunicatorSettings settings;
  EXPECT_EQ(settings.GetNewRegistry(), 1);
  EXPECT_EQ(settings.GetBrowserKind(), BrowserKind::Communicator45);
  ASSERT_EQ(settings.GetProfileNames().size(), 2u);
  GString path;
  ASSERT_TRUE(settings.GetPrefsFilePath(path));
  EXPECT_EQ(std::string(path.Text()), folder_.File("ns/default/prefs.js"));
  ASSERT_TRUE(WriteRegistryString(biff.Get(), "CurrentUser", "stranger"));
  EXPECT_FALSE(settings.GetPrefsFilePath(path));
}

}  // namespace
