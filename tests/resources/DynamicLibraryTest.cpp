#include "platform/DynamicLibrary.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "resources/ResourceDirectory.h"

namespace {

// The folder of the file a module was loaded from.
std::string LoadedFolder(HMODULE module) {
  struct link_map* map = nullptr;
  if (dlinfo(module, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) return std::string();
  std::string path = map->l_name;
  return path.substr(0, path.rfind('/'));
}

std::string ProgramFolder() {
  char path[4096];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
  if (length <= 0) return std::string();
  std::string text(path, static_cast<size_t>(length));
  return text.substr(0, text.rfind('/'));
}

TEST(DynamicLibraryTest, MapsWindowsNamesToSharedLibraryFiles) {
  const struct {
    const char* name;
    const char* file;
  } cases[] = {
      {"velgres.dll", "libvelgres.so"},
      {"VELGRES.DLL", "libVELGRES.so"},
      {"cvsesn32", "libcvsesn32.so"},
      {"libm.so.6", "libm.so.6"},
      {"libvelgres.so", "libvelgres.so"},
      {"/opt/app/cvapi32.dll", "/opt/app/libcvapi32.so"},
      {"/opt/app/libx.so", "/opt/app/libx.so"},
  };
  for (const auto& c : cases) {
    EXPECT_STREQ(SharedLibraryFileName(c.name).Text(), c.file) << c.name;
  }
}

TEST(DynamicLibraryTest, FindsTheResourceLibraryBesideTheProgram) {
  HMODULE module = LoadLibraryA("velgres.dll");
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(LoadedFolder(module), ProgramFolder());
  EXPECT_EQ(GetModuleHandleA("velgres.dll"), module);
  EXPECT_STREQ(GetLibraryPath(module).Text(), (ProgramFolder() + "/libvelgres.so").c_str());
  EXPECT_NE(GetProcAddress(module, kResourceDirectoryExport), nullptr);
  EXPECT_EQ(FreeLibrary(module), TRUE);
}

TEST(DynamicLibraryTest, LooksUpDecoratedNamesWithoutTheirDecoration) {
  HMODULE module = LoadLibraryA(FAKE_RESOURCES_PATH);
  ASSERT_NE(module, nullptr);
  using Login = int (*)(int, int, int, int);
  auto plain = reinterpret_cast<Login>(GetProcAddress(module, "FakeLogin"));
  auto decorated = reinterpret_cast<Login>(GetProcAddress(module, "_FakeLogin@16"));
  ASSERT_NE(decorated, nullptr);
  EXPECT_EQ(decorated, plain);
  EXPECT_EQ(decorated(1, 2, 3, 4), 10);
  EXPECT_EQ(GetProcAddress(module, "_FakeLogin@1x"), nullptr);
  EXPECT_EQ(GetProcAddress(module, "_Missing@4"), nullptr);
  EXPECT_EQ(GetProcAddress(module, nullptr), nullptr);
  EXPECT_EQ(FreeLibrary(module), TRUE);
}

TEST(DynamicLibraryTest, FindsLoadedLibrariesWithoutLoadingThem) {
  EXPECT_EQ(GetModuleHandleA(FAKE_RESOURCES_PATH), nullptr);
  HMODULE module = LoadLibraryA(FAKE_RESOURCES_PATH);
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(GetModuleHandleA(FAKE_RESOURCES_PATH), module);
  EXPECT_STREQ(GetLibraryPath(module).Text(), FAKE_RESOURCES_PATH);
  EXPECT_EQ(FreeLibrary(module), TRUE);
  EXPECT_EQ(GetModuleHandleA(FAKE_RESOURCES_PATH), nullptr);
  EXPECT_NE(GetModuleHandleA(nullptr), nullptr);
  EXPECT_TRUE(GetLibraryPath(nullptr).IsEmpty());
}

TEST(DynamicLibraryTest, ReportsMissingLibrariesAndNullHandles) {
  EXPECT_EQ(LoadLibraryA("no-such-library-here.dll"), nullptr);
  EXPECT_EQ(LoadLibraryA(""), nullptr);
  EXPECT_EQ(LoadLibraryA(nullptr), nullptr);
  EXPECT_EQ(GetProcAddress(nullptr, "FakeLogin"), nullptr);
  EXPECT_EQ(FreeLibrary(nullptr), FALSE);
}

}  // namespace
