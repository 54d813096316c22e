#include "browser/ExecutableVersion.h"

#include "platform/VersionInfo.h"

bool ReadExecutableVersion(const char* path, ExecutableVersion& version) {
  if (path == nullptr) return false;
  VersionBlock block{};
  if (!GetFileVersionInfo(path, block)) return false;
  version.productMajor = block.productVersion[0];
  version.productMinor = block.productVersion[1];
  version.fileMajor = block.fileVersion[0];
  version.fileMinor = block.fileVersion[1];
  return true;
}

bool IsNewRegistryVersion(const ExecutableVersion& version) {
  return (version.productMajor > 4 && version.fileMajor > 4) ||
         (version.productMinor >= 50 && version.fileMinor >= 50);
}
