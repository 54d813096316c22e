#include "platform/WindowsFolder.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace {

const char* NonEmptyVariable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

GString HomeFolder() {
  if (const char* home = NonEmptyVariable("HOME")) return GString(home);
  struct passwd entry;
  struct passwd* found = nullptr;
  char buffer[4096];
  if (::getpwuid_r(::getuid(), &entry, buffer, sizeof(buffer), &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr) {
    return GString(found->pw_dir);
  }
  return GString("/tmp");
}

// Removes trailing slashes; the root folder becomes empty, so that appending
// "/name" gives "/name".
void StripTrailingSlashes(GString& path) {
  while (!path.IsEmpty() && path.GetAt(path.GetLength() - 1) == '/') {
    path = path.Left(path.GetLength() - 1);
  }
}

// Creates path and its missing parents, like mkdir -p.
void CreateFolders(const GString& path) {
  struct stat info;
  if (::stat(path, &info) == 0) return;
  for (int i = 1; i <= path.GetLength(); ++i) {
    if (i < path.GetLength() && path.GetAt(i) != '/') continue;
    GString prefix = path.Left(i);
    if (::mkdir(prefix, 0700) != 0 && errno != EEXIST) return;
  }
}

}  // namespace

GString GetWindowsDirectory() {
  GString folder;
  if (const char* explicitFolder = NonEmptyVariable("VELGRADE_WINDIR")) {
    folder = explicitFolder;
  } else if (const char* config = NonEmptyVariable("XDG_CONFIG_HOME"); config != nullptr && config[0] == '/') {
    folder = config;
    StripTrailingSlashes(folder);
    folder += "/velgrade";
  } else {
    folder = HomeFolder();
    StripTrailingSlashes(folder);
    folder += "/.config/velgrade";
  }
  if (folder.GetLength() > 1) StripTrailingSlashes(folder);
  CreateFolders(folder);
  return folder;
}
