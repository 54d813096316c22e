#include "platform/WindowsFolder.h"

#include <sys/stat.h>

#include <cstdlib>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "tests/platform/TempFolder.h"

namespace {

// Sets or removes an environment variable for the life of the object.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value != nullptr) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedVariable() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

bool IsFolder(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

TEST(WindowsFolderTest, ChoosesTheFirstSetPlaceAndCreatesIt) {
  TempFolder folder;
  ScopedVariable home("HOME", folder.Path().c_str());
  struct Case {
    const char* windir;
    const char* config;
    std::string expected;
  };
  const std::string xdg = folder.Path() + "/xdg/";
  const std::string windir = folder.Path() + "/win/dir/";
  const Case cases[] = {
      {nullptr, nullptr, folder.Path() + "/.config/velgrade"},
      {nullptr, "relative", folder.Path() + "/.config/velgrade"},
      {nullptr, xdg.c_str(), folder.Path() + "/xdg/velgrade"},
      {windir.c_str(), "/ignored", folder.Path() + "/win/dir"},
      {"", nullptr, folder.Path() + "/.config/velgrade"},
  };
  for (const Case& c : cases) {
    ScopedVariable windirVariable("VELGRADE_WINDIR", c.windir);
    ScopedVariable config("XDG_CONFIG_HOME", c.config);
    EXPECT_EQ(c.expected, GetWindowsDirectory().Text());
    EXPECT_TRUE(IsFolder(c.expected)) << c.expected;
  }
}

}  // namespace
