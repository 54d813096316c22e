#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "browser/BrowserSettings.h"
#include "browser/CommunicatorSettings.h"
#include "browser/NavigatorSettings.h"
#include "browser/NetscapeProfiles.h"
#include "browser/NetscapeRecord.h"
#include "browser/NsregReader.h"
#include "browser/PrefsReader.h"
#include "browser/RecordFields.h"
#include "browser/RegistryValues.h"
#include "tests/browser/BrowserTestSupport.h"
#include "tests/browser/NsregWriter.h"

namespace nr = netscape_record;

namespace {

std::string Text(const BinData& record, size_t offset) {
  return GetRecordText(record, offset, nr::kTextSize).Text();
}

int Int(const BinData& record, size_t offset) { return static_cast<int>(GetRecordInt(record, offset)); }

std::string ReadValue(HKEY hive, const char* keyPath, const char* name) {
  RegistryKey key;
  if (key.Open(hive, keyPath, KEY_READ) != ERROR_SUCCESS) return "<no key>";
  char buffer[1024];
  if (!ReadRegistryString(key.Get(), name, buffer, sizeof buffer, nullptr)) return "<missing>";
  return buffer;
}

uint32_t ReadNumber(HKEY hive, const char* keyPath, const char* name) {
  RegistryKey key;
  uint32_t value = 0xFFFFFFFF;
  if (key.Open(hive, keyPath, KEY_READ) == ERROR_SUCCESS) ReadRegistryDword(key.Get(), name, value, 0xFFFFFFFF);
  return value;
}

void SetNumber(HKEY hive, const char* keyPath, const char* name, uint32_t value) {
  RegistryKey key;
  ASSERT_EQ(key.Create(hive, keyPath, KEY_ALL_ACCESS), ERROR_SUCCESS);
  ASSERT_TRUE(WriteRegistryDword(key.Get(), name, value));
}

void SetString(HKEY hive, const char* keyPath, const char* name, const char* value) {
  RegistryKey key;
  ASSERT_EQ(key.Create(hive, keyPath, KEY_ALL_ACCESS), ERROR_SUCCESS);
  ASSERT_TRUE(WriteRegistryString(key.Get(), name, value));
}

BinData PrefsRecord(const std::string& text) {
  BinData record;
  PrefsReader reader;
  EXPECT_TRUE(reader.Begin(record));
  reader.Feed(record, text.data(), text.size());
  reader.Finish(record);
  return record;
}

// ---- Navigator ----

TEST(NavigatorSettingsTest, SavesEveryFieldOfTheRegistry) {
  TestWindowsFolder folder;
  folder.InstallHive("HKEY_CURRENT_USER", "navigator_hkcu.reg");
  NavigatorSettings settings;
  BinData record;
  ASSERT_TRUE(settings.SaveSettings(record));
  ASSERT_EQ(record.GetLength(), 7180u);
  EXPECT_EQ(Int(record, nr::kProxyType), 1);
  EXPECT_EQ(Text(record, nr::kHttpHost), "gate.example");
  EXPECT_EQ(Int(record, nr::kHttpPort), 3128);
  EXPECT_EQ(Text(record, nr::kFtpHost), "ftpgate");
  EXPECT_EQ(Text(record, nr::kGopherHost), "gophergate");
  EXPECT_EQ(Text(record, nr::kSslHost), "sslgate");
  EXPECT_EQ(Text(record, nr::kWaisHost), "waisgate");
  EXPECT_EQ(Text(record, nr::kAutoConfigUrl), "http://config.example/proxy.pac");
  EXPECT_EQ(Int(record, nr::kFormWarning), 0) << "\"No\" counts as no warning";
  GString host, url;
  int port = 0;
  EXPECT_TRUE(settings.GetSavedProxy(record, host, port, url));
  EXPECT_EQ(host, "gate.example");
  EXPECT_EQ(port, 3128);
  EXPECT_TRUE(url.IsEmpty());
  EXPECT_EQ(settings.GetSavedProxyMode(record), 1);
  EXPECT_EQ(settings.GetBrowserKind(), BrowserKind::Navigator);
  EXPECT_TRUE(settings.IsNetscapeFamily());
  EXPECT_STREQ(settings.GetRuntimeClassName(), "NavigatorSettings");
}

TEST(NavigatorSettingsTest, EmptyRegistryGivesNoProxyAndAWarning) {
  TestWindowsFolder folder;
  NavigatorSettings settings;
  BinData record;
  ASSERT_TRUE(settings.SaveSettings(record));
  EXPECT_EQ(Int(record, nr::kProxyType), 0);
  EXPECT_EQ(Int(record, nr::kFormWarning), 1) << "a missing value counts as warning";
  EXPECT_EQ(settings.GetSavedProxyMode(record), 0);
  int warn = -1;
  EXPECT_TRUE(settings.GetSavedFormWarning(record, warn));
  EXPECT_EQ(warn, 1);
}

struct PointCase {
  uint32_t savedType;
  int keepAuto;
  bool proxyChanged;
  bool othersBlanked;
};

TEST(NavigatorSettingsTest, PointingKeepsOrBlanksOtherProtocolsByTheSavedType) {
  const PointCase cases[] = {
      {1, 0, true, false}, {0, 0, true, true}, {2, 0, true, true}, {2, 1, false, false}, {1, 1, true, false},
  };
  const char* proxyKey = NavigatorSettings::kProxyKey;
  for (const PointCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "type " << c.savedType << " keep " << c.keepAuto);
    TestWindowsFolder folder;
    folder.InstallHive("HKEY_CURRENT_USER", "navigator_hkcu.reg");
    SetNumber(HKEY_CURRENT_USER, proxyKey, "Proxy Type", c.savedType);
    SetString(HKEY_CURRENT_USER, NavigatorSettings::kSecurityKey, "Warn Insecure Forms", "yes");
    NavigatorSettings settings;
    BinData record;
    ASSERT_TRUE(settings.SaveSettings(record));
    ASSERT_TRUE(settings.PointBrowserAtProxy("127.0.0.1", 8080, c.keepAuto, record));
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, proxyKey, "HTTP_Proxy"), c.proxyChanged ? "127.0.0.1" : "gate.example");
    EXPECT_EQ(ReadNumber(HKEY_CURRENT_USER, proxyKey, "Http_ProxyPort"), c.proxyChanged ? 8080u : 3128u);
    EXPECT_EQ(ReadNumber(HKEY_CURRENT_USER, proxyKey, "Proxy Type"), c.proxyChanged ? 1u : c.savedType);
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, proxyKey, "FTP_Proxy"), c.othersBlanked ? "" : "ftpgate");
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, proxyKey, "Wais_Proxy"), c.othersBlanked ? "" : "waisgate");
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, NavigatorSettings::kSecurityKey, "Warn Insecure Forms"), "no");

    ASSERT_TRUE(settings.RestoreSettings(record));
    BinData again;
    ASSERT_TRUE(settings.SaveSettings(again));
    EXPECT_TRUE(again == record);
  }
}

TEST(NavigatorSettingsTest, RecordOperationsRefuseAWrongLength) {
  NavigatorSettings settings;
  BinData shortRecord;
  ASSERT_EQ(shortRecord.SetLength(7179), 0);
  GString host, url;
  int port = 0;
  int warn = 0;
  EXPECT_FALSE(settings.GetSavedProxy(shortRecord, host, port, url));
  EXPECT_FALSE(settings.GetSavedFormWarning(shortRecord, warn));
  EXPECT_EQ(settings.GetSavedProxyMode(shortRecord), -1);
  EXPECT_FALSE(settings.RestoreSettings(shortRecord));
  EXPECT_FALSE(settings.PointBrowserAtProxy("127.0.0.1", 8080, 0, shortRecord));
  EXPECT_FALSE(settings.SetSavedFormWarning(shortRecord, 0));
}

TEST(NavigatorSettingsTest, SetSavedFormWarningWritesAtOnceWithoutARecord) {
  TestWindowsFolder folder;
  folder.InstallHive("HKEY_CURRENT_USER", "navigator_hkcu.reg");
  NavigatorSettings settings;
  BinData empty;
  EXPECT_TRUE(settings.SetSavedFormWarning(empty, 1));
  EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, NavigatorSettings::kSecurityKey, "Warn Insecure Forms"), "yes");
  BinData record;
  ASSERT_TRUE(settings.SaveSettings(record));
  EXPECT_TRUE(settings.SetSavedFormWarning(record, 0));
  EXPECT_EQ(Int(record, nr::kFormWarning), 0);
}

TEST(NavigatorSettingsTest, SavedProxyPortOutsideTheRangeFails) {
  BinData record;
  ASSERT_EQ(record.SetLength(nr::kLength), 0);
  std::memset(record.GetData(), 0, nr::kLength);
  NavigatorSettings settings;
  SetRecordInt(record, nr::kProxyType, 1);
  SetRecordText(record, nr::kHttpHost, nr::kTextSize, "gate");
  SetRecordInt(record, nr::kHttpPort, 70000);
  GString host, url;
  int port = 0;
  EXPECT_FALSE(settings.GetSavedProxy(record, host, port, url));
  SetRecordInt(record, nr::kProxyType, 2);
  SetRecordText(record, nr::kAutoConfigUrl, nr::kTextSize, "http://pac/");
  EXPECT_TRUE(settings.GetSavedProxy(record, host, port, url));
  EXPECT_EQ(url, "http://pac/");
  EXPECT_TRUE(host.IsEmpty());
  EXPECT_EQ(settings.GetSavedProxyMode(record), 2);
  SetRecordInt(record, nr::kProxyType, 7);
  EXPECT_EQ(settings.GetSavedProxyMode(record), 7) << "other stored types are passed on";
}

// ---- prefs.js ----

TEST(PrefsReaderTest, ReadsEveryPreference) {
  BinData record = PrefsRecord(ReadText(FixturePath("prefs_full.js")));
  EXPECT_EQ(Int(record, nr::kProxyType), 1);
  EXPECT_EQ(Text(record, nr::kHttpHost), "gate.example");
  EXPECT_EQ(Int(record, nr::kHttpPort), 8000);
  EXPECT_EQ(Text(record, nr::kFtpHost), "ftpgate");
  EXPECT_EQ(Text(record, nr::kGopherHost), "gophergate");
  EXPECT_EQ(Text(record, nr::kSslHost), "sslgate");
  EXPECT_EQ(Text(record, nr::kWaisHost), "waisgate");
  EXPECT_EQ(Text(record, nr::kAutoConfigUrl), "http://config.example/proxy.pac");
  EXPECT_EQ(Int(record, nr::kFormWarning), 0);
}

struct PrefsCase {
  const char* text;
  size_t offset;
  const char* expectedText;  // null: compare the number
  int expectedNumber;
};

TEST(PrefsReaderTest, LineRules) {
  const PrefsCase cases[] = {
      {"", nr::kProxyType, nullptr, 0},
      {"", nr::kFormWarning, nullptr, 1},
      {"user_pref(\"network.proxy.http_port\", 8080);\n", nr::kHttpPort, nullptr, 8080},
      {"user_pref(\"network.proxy.http_port\", 8080);\n", nr::kHttpHost, "", 0},
      {"user_pref(\"network.proxy.http\", \"host.example\");\n", nr::kHttpHost, "host.example", 0},
      {"// user_pref(\"network.proxy.http\", \"commented\");\n", nr::kHttpHost, "commented", 0},
      {"user_pref(\"network.proxy.http\", \"a\");\nuser_pref(\"network.proxy.http\", \"b\");\n", nr::kHttpHost, "b",
       0},
      {"user_pref(\"network.proxy.http\",\t  \"spaced\");\n", nr::kHttpHost, "spaced", 0},
      {"user_pref(\"network.proxy.http\", \"unterminated);\n", nr::kHttpHost, "", 0},
      {"user_pref(\"network.proxy.type\", 2)", nr::kProxyType, nullptr, 2},
      {"user_pref(\"network.proxy.type\"", nr::kProxyType, nullptr, 0},
      {"user_pref(\"security.warn_submit_insecure\", True);\n", nr::kFormWarning, nullptr, 1},
      {"user_pref(\"security.warn_submit_insecure\", false);\n", nr::kFormWarning, nullptr, 0},
      {"user_pref(\"network.proxy.http\", \"x\"); user_pref(\"network.proxy.ftp\", \"y\");\n", nr::kFtpHost, "", 0},
      {"user_pref(\"network.proxy.http\", \"x\"); user_pref(\"network.proxy.ftp\", \"y\");\n", nr::kHttpHost,
       "x\"); user_pref(\"network.proxy.ftp\", \"y", 0},
  };
  for (const PrefsCase& c : cases) {
    SCOPED_TRACE(c.text);
    BinData record = PrefsRecord(c.text);
    ASSERT_EQ(record.GetLength(), 7180u);
    if (c.expectedText != nullptr) {
      EXPECT_EQ(Text(record, c.offset), c.expectedText);
    } else {
      EXPECT_EQ(Int(record, c.offset), c.expectedNumber);
    }
  }
}

TEST(PrefsReaderTest, LongLinesAreTakenInPiecesAndValuesCut) {
  std::string longHost(5000, 'h');
  std::string text = "user_pref(\"network.proxy.http\", \"" + longHost + "\");\n" + std::string(5000, ' ') +
                     "user_pref(\"network.proxy.ftp\", \"far\");\n" + "user_pref(\"network.proxy.ssl\", \"near\");\n";
  BinData record = PrefsRecord(text);
  // The first piece ends after 1023 characters: no closing quote in it, so the
  // value ends at the opening quote.
  EXPECT_EQ(Text(record, nr::kHttpHost), "");
  EXPECT_EQ(Text(record, nr::kFtpHost), "far") << "5000 blanks end in a piece that holds the whole line";
  EXPECT_EQ(Text(record, nr::kSslHost), "near");
  std::string fits = "user_pref(\"network.proxy.wais\", \"" + std::string(980, 'w') + "\");\n";
  EXPECT_EQ(Text(PrefsRecord(fits), nr::kWaisHost), std::string(980, 'w'));
}

TEST(PrefsReaderTest, SplitAnywhereGivesTheSameRecord) {
  std::string text = ReadText(FixturePath("prefs_full.js")) + std::string(1500, 'x') + "\n" + "tail without end";
  BinData whole = PrefsRecord(text);
  for (size_t split = 0; split <= text.size(); ++split) {
    BinData record;
    PrefsReader reader;
    ASSERT_TRUE(reader.Begin(record));
    reader.Feed(record, text.data(), split);
    reader.Feed(record, text.data() + split, text.size() - split);
    reader.Finish(record);
    ASSERT_TRUE(record == whole) << "split at " << split;
  }
}

// ---- nsreg.dat ----

TEST(NsregReaderTest, ListsProfilesDecodedWithFoldersAsStored) {
  NsregImage image = BuildNsreg({{"Jane+Doe%2C+Sales", true, "/home/jane/.netscape/Jane%2CDoe"},
                                 {"nolocation", false, ""},
                                 {"bob", true, "/home/bob"}});
  std::vector<GString> names, locations;
  ASSERT_TRUE(NsregReader::ReadProfiles(image.bytes.data(), image.bytes.size(), names, locations));
  ASSERT_EQ(names.size(), 2u);
  ASSERT_EQ(locations.size(), 2u);
  EXPECT_EQ(names[0], "Jane Doe, Sales");
  EXPECT_EQ(locations[0], "/home/jane/.netscape/Jane%2CDoe");
  EXPECT_EQ(names[1], "bob");
  EXPECT_EQ(locations[1], "/home/bob");
}

TEST(NsregReaderTest, DamagedFilesFailWithoutReadingOutside) {
  NsregImage good = BuildNsreg({{"a", true, "/a"}, {"b", true, "/b"}, {"c", true, "/c"}});
  struct Damage {
    const char* what;
    std::vector<uint8_t> bytes;
  };
  std::vector<Damage> damages;
  for (size_t cut : {size_t{0}, size_t{10}, size_t{16}, size_t{40}, good.bytes.size() / 2, good.bytes.size() - 1}) {
    damages.push_back({"truncated", std::vector<uint8_t>(good.bytes.begin(), good.bytes.begin() + cut)});
  }
  std::vector<uint8_t> looping = good.bytes;
  PutU32(looping, good.profileNodes[2] + 12, good.profileNodes[0]);
  damages.push_back({"looping profile chain", looping});
  std::vector<uint8_t> selfLoop = good.bytes;
  PutU32(selfLoop, good.profileNodes[1] + 12, good.profileNodes[1]);
  damages.push_back({"node pointing at itself", selfLoop});
  std::vector<uint8_t> wrongSelf = good.bytes;
  PutU32(wrongSelf, good.profileNodes[1], good.profileNodes[1] + 4);
  damages.push_back({"wrong own offset", wrongSelf});
  std::vector<uint8_t> farName = good.bytes;
  PutU32(farName, good.profileNodes[0] + 4, 0xFFFFFFF0);
  damages.push_back({"name beyond the end", farName});
  std::vector<uint8_t> hugeLength = good.bytes;
  PutU32(hugeLength, 12, 0xFFFFFFFF);
  damages.push_back({"root beyond the end", hugeLength});
  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.what);
    std::vector<GString> names, locations;
    EXPECT_FALSE(NsregReader::ReadProfiles(damage.bytes.data(), damage.bytes.size(), names, locations));
    EXPECT_EQ(names.size(), locations.size());
  }
}

TEST(NsregReaderTest, ReadsTheFileInTheWindowsFolder) {
  TestWindowsFolder folder;
  std::vector<GString> names, locations;
  EXPECT_FALSE(ReadNsregProfiles(names, locations));
  NsregImage image = BuildNsreg({{"solo", true, "/p/solo"}});
  WriteText(folder.File("nsreg.dat"), std::string(image.bytes.begin(), image.bytes.end()));
  ASSERT_TRUE(ReadNsregProfiles(names, locations));
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(names[0], "solo");
}

TEST(UrlDecodeTest, Cases) {
  const std::pair<const char*, const char*> cases[] = {
      {"a+b", "a b"}, {"%2C", ","}, {"%41%62", "Ab"}, {"100%", "100%"}, {"%zz", "%zz"}, {"%4", "%4"}, {"", ""},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(UrlDecode(in), out) << in;
  EXPECT_EQ(UrlDecode(nullptr), "");
}

// ---- profile lists ----

TEST(NetscapeProfilesTest, OldLayoutWithoutCurrentUserTakesTheLastAndWritesIt) {
  TestWindowsFolder folder;
  folder.InstallHive("HKEY_LOCAL_MACHINE", "three_profiles_hklm.reg");
  std::vector<GString> names;
  GString current;
  ASSERT_TRUE(ReadNetscapeProfiles(names, current, 0));
  ASSERT_EQ(names.size(), 3u);
  EXPECT_EQ(names[0], "first");
  EXPECT_EQ(current, "third");
  EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, "Software\\Netscape\\Netscape Navigator\\Users", "CurrentUser"), "third");
}

TEST(NetscapeProfilesTest, ReadOnlyUsersKeyIsReadButNotWritten) {
  TestWindowsFolder folder;
  folder.InstallHive("HKEY_LOCAL_MACHINE", "three_profiles_hklm.reg");
  ASSERT_EQ(RegSetKeyReadOnly(HKEY_LOCAL_MACHINE, "Software\\Netscape\\Netscape Navigator\\Users", true),
            ERROR_SUCCESS);
  std::vector<GString> names;
  GString current;
  ASSERT_TRUE(ReadNetscapeProfiles(names, current, 0));
  EXPECT_EQ(current, "third");
  EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, "Software\\Netscape\\Netscape Navigator\\Users", "CurrentUser"),
            "<missing>");
}

TEST(NetscapeProfilesTest, NewLayoutWithOneProfileAndUnknownCurrentUserWritesIt) {
  TestWindowsFolder folder;
  NsregImage image = BuildNsreg({{"only+one", true, "/p/only"}});
  WriteText(folder.File("nsreg.dat"), std::string(image.bytes.begin(), image.bytes.end()));
  SetString(HKEY_CURRENT_USER, "Software\\Netscape\\Netscape Navigator\\biff", "CurrentUser", "ghost");
  std::vector<GString> names;
  GString current;
  ASSERT_TRUE(ReadNetscapeProfiles(names, current, 1));
  EXPECT_EQ(current, "only one");
  EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, "Software\\Netscape\\Netscape Navigator\\biff", "CurrentUser"), "only one");
}

TEST(NetscapeProfilesTest, FailsWithoutKeyOrProfiles) {
  TestWindowsFolder folder;
  std::vector<GString> names;
  GString current;
  EXPECT_FALSE(ReadNetscapeProfiles(names, current, 0));
  EXPECT_FALSE(ReadNetscapeProfiles(names, current, 1));
  SetString(HKEY_CURRENT_USER, "Software\\Netscape\\Netscape Navigator\\biff", "CurrentUser", "x");
  EXPECT_FALSE(ReadNetscapeProfiles(names, current, 1)) << "no nsreg.dat: an empty list";
}

// ---- Communicator (old registry layout; the version-dependent parts are in
// the detection tests) ----

class CommunicatorTest : public testing::Test {
 protected:
  void SetUp() override {
    BrowserSettings::SetBrowserHint(nullptr);
    folder_.InstallHive("HKEY_LOCAL_MACHINE", "communicator_old_hklm.reg");
    std::filesystem::create_directories(folder_.File("profiles/alice"));
    prefs_ = folder_.File("profiles/alice/prefs.js");
  }

  TestWindowsFolder folder_;
  std::string prefs_;
};

TEST_F(CommunicatorTest, PrefsPathComesFromTheCurrentUsersDirRoot) {
  CommunicatorSettings settings;
  EXPECT_EQ(settings.GetNewRegistry(), 0);
  EXPECT_EQ(settings.GetBrowserKind(), BrowserKind::Communicator);
  GString path;
  ASSERT_TRUE(settings.GetPrefsFilePath(path));
  EXPECT_EQ(std::string(path.Text()), prefs_);
  SetString(HKEY_LOCAL_MACHINE, "Software\\Netscape\\Netscape Navigator\\Users", "CurrentUser", "nobody");
  EXPECT_FALSE(settings.GetPrefsFilePath(path));
}

TEST_F(CommunicatorTest, PointAndRestoreAppendLinesAndNeverTouchEarlierOnes) {
  const std::string original = ReadText(FixturePath("prefs_full.js"));
  WriteText(prefs_, original);
  CommunicatorSettings settings;
  BinData record;
  ASSERT_TRUE(settings.SaveSettings(record));
  ASSERT_TRUE(settings.PointBrowserAtProxy("127.0.0.1", 8080, 0, record));
  std::string pointed = ReadText(prefs_);
  ASSERT_EQ(pointed.rfind(original, 0), 0u);
  EXPECT_EQ(pointed.substr(original.size()),
            "user_pref(\"network.proxy.http\", \"127.0.0.1\");\n"
            "user_pref(\"network.proxy.http_port\", 8080);\n"
            "user_pref(\"network.proxy.type\", 1);\n"
            "user_pref(\"security.warn_submit_insecure\", false);\n");
  ASSERT_TRUE(settings.RestoreSettings(record));
  std::string restored = ReadText(prefs_);
  EXPECT_EQ(restored.substr(pointed.size()),
            "user_pref(\"network.proxy.http\", \"gate.example\");\n"
            "user_pref(\"network.proxy.gopher\", \"gophergate\");\n"
            "user_pref(\"network.proxy.ftp\", \"ftpgate\");\n"
            "user_pref(\"network.proxy.ssl\", \"sslgate\");\n"
            "user_pref(\"network.proxy.wais\", \"waisgate\");\n"
            "user_pref(\"network.proxy.http_port\", 8000);\n"
            "user_pref(\"network.proxy.type\", 1);\n"
            "user_pref(\"security.warn_submit_insecure\", false);\n");
  BinData again;
  ASSERT_TRUE(settings.SaveSettings(again));
  EXPECT_TRUE(again == record);
}

TEST_F(CommunicatorTest, PointingBlanksOtherProtocolsUnlessManualAndKeepsAutoConfiguration) {
  WriteText(prefs_, "user_pref(\"network.proxy.type\", 2);\n");
  CommunicatorSettings settings;
  BinData record;
  ASSERT_TRUE(settings.SaveSettings(record));
  ASSERT_TRUE(settings.PointBrowserAtProxy("127.0.0.1", 8080, 1, record));
  EXPECT_EQ(ReadText(prefs_),
            "user_pref(\"network.proxy.type\", 2);\n"
            "user_pref(\"security.warn_submit_insecure\", false);\n");
  ASSERT_TRUE(settings.PointBrowserAtProxy("127.0.0.1", 8080, 0, record));
  EXPECT_NE(ReadText(prefs_).find("user_pref(\"network.proxy.type\", 1);\n"
                                  "user_pref(\"network.proxy.gopher\", \"\");\n"
                                  "user_pref(\"network.proxy.ftp\", \"\");\n"
                                  "user_pref(\"network.proxy.ssl\", \"\");\n"
                                  "user_pref(\"network.proxy.wais\", \"\");\n"),
            std::string::npos);
}

TEST_F(CommunicatorTest, FailsWithoutPrefsFileOrWithAWrongRecord) {
  CommunicatorSettings settings;
  BinData record;
  EXPECT_FALSE(settings.SaveSettings(record)) << "no prefs.js yet";
  BinData empty;
  EXPECT_FALSE(settings.SetSavedFormWarning(empty, 0));
  EXPECT_FALSE(settings.RestoreSettings(empty));
  EXPECT_FALSE(settings.PointBrowserAtProxy("127.0.0.1", 8080, 0, empty));
}

TEST_F(CommunicatorTest, LineEndsInARecordNeverBecomeLinesOfTheirOwn) {
  WriteText(prefs_, "");
  CommunicatorSettings settings;
  BinData record;
  ASSERT_TRUE(settings.SaveSettings(record));
  SetRecordText(record, nr::kHttpHost, nr::kTextSize, "evil\nuser_pref(\"x\", 1);");
  ASSERT_TRUE(settings.RestoreSettings(record));
  std::string written = ReadText(prefs_);
  EXPECT_EQ(written.find("\nuser_pref(\"x\""), std::string::npos);
}

}  // namespace
