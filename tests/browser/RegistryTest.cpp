#include "platform/Registry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/browser/BrowserTestSupport.h"

namespace {

std::string QueryString(HKEY key, const char* name) {
  char buffer[256];
  DWORD size = sizeof buffer;
  DWORD type = REG_NONE;
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS ||
      type != REG_SZ) {
    return "<missing>";
  }
  return std::string(buffer, size - 1);
}

std::vector<uint8_t> QueryBytes(HKEY key, const char* name, DWORD* typeOut = nullptr) {
  DWORD size = 0;
  if (RegQueryValueExA(key, name, nullptr, typeOut, nullptr, &size) != ERROR_SUCCESS) return {};
  std::vector<uint8_t> data(size);
  if (RegQueryValueExA(key, name, nullptr, typeOut, data.data(), &size) != ERROR_SUCCESS) return {};
  return data;
}

std::vector<std::string> Subkeys(HKEY key) {
  std::vector<std::string> names;
  for (DWORD i = 0; i < 100; ++i) {
    char name[256];
    DWORD size = sizeof name;
    if (RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name, size);
  }
  return names;
}

TEST(RegistryTest, ReadsExportTextWithEscapesContinuationsAndImpliedKeys) {
  TestWindowsFolder folder;
  folder.InstallHive("HKEY_CURRENT_USER", "registry_sample.reg");
  RegistryKey key;
  ASSERT_EQ(key.Open(HKEY_CURRENT_USER, "software\\SAMPLE\\deep\\key", KEY_READ), ERROR_SUCCESS);
  EXPECT_EQ(QueryString(key.Get(), nullptr), "unnamed \"quoted\" C:\\path");
  EXPECT_EQ(QueryString(key.Get(), ""), "unnamed \"quoted\" C:\\path");
  DWORD type = 0;
  std::vector<uint8_t> count = QueryBytes(key.Get(), "count", &type);
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(count, (std::vector<uint8_t>{0x2a, 0, 0, 0}));
  std::vector<uint8_t> blob = QueryBytes(key.Get(), "Blob", &type);
  EXPECT_EQ(type, REG_BINARY);
  ASSERT_EQ(blob.size(), 35u);
  EXPECT_EQ(std::string(blob.begin() + 16, blob.end()), "http=127.0.0.1:8080");

  RegistryKey other;
  ASSERT_EQ(other.Open(HKEY_CURRENT_USER, "Software\\Sample\\Other", KEY_READ), ERROR_SUCCESS);
  EXPECT_EQ(QueryString(other.Get(), "Multi"), "a\nb");

  RegistryKey parent;
  ASSERT_EQ(parent.Open(HKEY_CURRENT_USER, "Software\\Sample", KEY_READ), ERROR_SUCCESS);
  EXPECT_EQ(Subkeys(parent.Get()), (std::vector<std::string>{"Deep", "Other", "Locked"}));
  RegistryKey implied;
  EXPECT_EQ(implied.Open(HKEY_CURRENT_USER, "Software\\Sample\\Deep", KEY_READ), ERROR_SUCCESS);
  EXPECT_EQ(implied.Open(HKEY_CURRENT_USER, "Software\\Sample\\Missing", KEY_READ), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(implied.Open(HKEY_LOCAL_MACHINE, "Software", KEY_READ), ERROR_FILE_NOT_FOUND);
}

TEST(RegistryTest, ValuesSurviveARewriteByteForByte) {
  TestWindowsFolder folder;
  RegistryKey key;
  DWORD disposition = 0;
  HKEY raw = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "A\\B", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &raw, &disposition),
            ERROR_SUCCESS);
  RegistryKey created(raw);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  const char* tricky = "quote\" back\\slash ;[x]=y";
  ASSERT_EQ(RegSetValueExA(raw, "Text", 0, REG_SZ, reinterpret_cast<const BYTE*>(tricky), std::strlen(tricky) + 1),
            ERROR_SUCCESS);
  const char* lines = "one\r\ntwo";
  ASSERT_EQ(RegSetValueExA(raw, "Lines", 0, REG_SZ, reinterpret_cast<const BYTE*>(lines), std::strlen(lines) + 1),
            ERROR_SUCCESS);
  std::vector<uint8_t> bytes(300);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7);
  ASSERT_EQ(RegSetValueExA(raw, "Bytes", 0, REG_BINARY, bytes.data(), bytes.size()), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(raw, "Empty", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);

  RegistryKey again;
  ASSERT_EQ(again.Open(HKEY_CURRENT_USER, "a\\b", KEY_READ), ERROR_SUCCESS);
  EXPECT_EQ(QueryString(again.Get(), "TEXT"), tricky);
  EXPECT_EQ(QueryString(again.Get(), "Lines"), lines);
  EXPECT_EQ(QueryBytes(again.Get(), "Bytes"), bytes);
  DWORD size = 99;
  EXPECT_EQ(RegQueryValueExA(again.Get(), "Empty", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(ReadText(folder.File("HKEY_CURRENT_USER.reg")).rfind("REGEDIT4\n", 0), 0u);
}

TEST(RegistryTest, SmallBufferReportsTheSizeNeeded) {
  TestWindowsFolder folder;
  folder.InstallHive("HKEY_CURRENT_USER", "registry_sample.reg");
  RegistryKey key;
  ASSERT_EQ(key.Open(HKEY_CURRENT_USER, "Software\\Sample\\Other", KEY_READ), ERROR_SUCCESS);
  char buffer[4];
  DWORD size = sizeof buffer;
  EXPECT_EQ(RegQueryValueExA(key.Get(), "Name", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(size, 6u);
  char name[3];
  DWORD nameSize = sizeof name;
  RegistryKey parent;
  ASSERT_EQ(parent.Open(HKEY_CURRENT_USER, "Software\\Sample", KEY_READ), ERROR_SUCCESS);
  EXPECT_EQ(RegEnumKeyExA(parent.Get(), 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  EXPECT_EQ(RegEnumKeyExA(parent.Get(), 3, name, &nameSize, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
}

TEST(RegistryTest, ReadOnlyKeyRefusesFullAccessButOpensForReading) {
  TestWindowsFolder folder;
  folder.InstallHive("HKEY_CURRENT_USER", "registry_sample.reg");
  RegistryKey key;
  EXPECT_EQ(key.Open(HKEY_CURRENT_USER, "Software\\Sample\\Locked", KEY_ALL_ACCESS), ERROR_ACCESS_DENIED);
  EXPECT_EQ(key.Create(HKEY_CURRENT_USER, "Software\\Sample\\Locked", KEY_ALL_ACCESS), ERROR_ACCESS_DENIED);
  ASSERT_EQ(key.Open(HKEY_CURRENT_USER, "Software\\Sample\\Locked", KEY_READ), ERROR_SUCCESS);
  EXPECT_EQ(QueryString(key.Get(), "Fixed"), "yes");
  EXPECT_EQ(RegSetValueExA(key.Get(), "Fixed", 0, REG_SZ, reinterpret_cast<const BYTE*>("no"), 3),
            ERROR_ACCESS_DENIED);

  EXPECT_EQ(RegSetKeyReadOnly(HKEY_CURRENT_USER, "Software\\Sample\\Locked", false), ERROR_SUCCESS);
  EXPECT_EQ(key.Open(HKEY_CURRENT_USER, "Software\\Sample\\Locked", KEY_ALL_ACCESS), ERROR_SUCCESS);
  EXPECT_EQ(RegSetKeyReadOnly(HKEY_CURRENT_USER, "Software\\Sample\\Other", true), ERROR_SUCCESS);
  EXPECT_EQ(key.Open(HKEY_CURRENT_USER, "Software\\Sample\\Other", KEY_WRITE), ERROR_ACCESS_DENIED);
}

TEST(RegistryTest, DeletesValuesAndKeys) {
  TestWindowsFolder folder;
  folder.InstallHive("HKEY_CURRENT_USER", "registry_sample.reg");
  RegistryKey key;
  ASSERT_EQ(key.Open(HKEY_CURRENT_USER, "Software\\Sample\\Other", KEY_ALL_ACCESS), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueA(key.Get(), "Name"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueA(key.Get(), "Name"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(QueryString(key.Get(), "Name"), "<missing>");
  RegistryKey sample;
  ASSERT_EQ(sample.Open(HKEY_CURRENT_USER, "Software\\Sample", KEY_ALL_ACCESS), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(sample.Get(), "Deep"), ERROR_SUCCESS);
  EXPECT_EQ(Subkeys(sample.Get()), (std::vector<std::string>{"Other", "Locked"}));
}

TEST(RegistryTest, DamagedStoreIsReportedAndNeverOverwritten) {
  TestWindowsFolder folder;
  const std::string damaged = "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"x\"=what\n";
  WriteText(folder.File("HKEY_CURRENT_USER.reg"), damaged);
  RegistryKey key;
  EXPECT_EQ(key.Open(HKEY_CURRENT_USER, "A", KEY_READ), ERROR_BADDB);
  EXPECT_EQ(key.Create(HKEY_CURRENT_USER, "B", KEY_ALL_ACCESS), ERROR_BADDB);
  EXPECT_EQ(ReadText(folder.File("HKEY_CURRENT_USER.reg")), damaged);
  WriteText(folder.File("HKEY_CLASSES_ROOT.reg"), "not an export\n");
  EXPECT_EQ(key.Open(HKEY_CLASSES_ROOT, "A", KEY_READ), ERROR_BADDB);
}

TEST(RegistryTest, NamesThatWouldBreakTheFileAreRefused) {
  TestWindowsFolder folder;
  RegistryKey key;
  EXPECT_EQ(key.Create(HKEY_CURRENT_USER, "A\nB", KEY_ALL_ACCESS), ERROR_INVALID_PARAMETER);
  ASSERT_EQ(key.Create(HKEY_CURRENT_USER, "A", KEY_ALL_ACCESS), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExA(key.Get(), "x\ny", 0, REG_SZ, reinterpret_cast<const BYTE*>("v"), 2),
            ERROR_INVALID_PARAMETER);
  ASSERT_EQ(RegSetValueExA(key.Get(), "[x]=\"y\"", 0, REG_SZ, reinterpret_cast<const BYTE*>("v"), 2), ERROR_SUCCESS);
  RegistryKey again;
  ASSERT_EQ(again.Open(HKEY_CURRENT_USER, "A", KEY_READ), ERROR_SUCCESS);
  EXPECT_EQ(QueryString(again.Get(), "[x]=\"y\""), "v");
}

TEST(RegistryTest, ReadHandleCannotCreateBelowItself) {
  TestWindowsFolder folder;
  folder.InstallHive("HKEY_CURRENT_USER", "registry_sample.reg");
  RegistryKey parent;
  ASSERT_EQ(parent.Open(HKEY_CURRENT_USER, "Software", KEY_READ), ERROR_SUCCESS);
  RegistryKey child;
  EXPECT_EQ(child.Create(parent.Get(), "New", KEY_ALL_ACCESS), ERROR_ACCESS_DENIED);
  EXPECT_EQ(child.Create(parent.Get(), "Sample", KEY_READ), ERROR_SUCCESS);
}

}  // namespace
