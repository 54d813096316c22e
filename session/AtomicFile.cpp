#include "session/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

namespace session {

namespace {

bool WriteAll(int fd, const void* data, size_t length) {
  const char* cursor = static_cast<const char*>(data);
  while (length > 0) {
    ssize_t written = ::write(fd, cursor, length);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    cursor += written;
    length -= static_cast<size_t>(written);
  }
  return true;
}

void SyncFolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  std::string folder = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

bool AtomicFile::Write(const char* path, const void* data, size_t length, bool replace,
                       Step failAt) {
  if (path == nullptr || *path == 0) return false;
  std::string target(path);
  struct stat existing {};
  bool exists = ::stat(path, &existing) == 0;
  if (exists && !replace) return false;
  std::string temporary = target + ".XXXXXX";
  int fd = failAt == Step::kCreate ? -1 : ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return false;
  mode_t mode = exists ? (existing.st_mode & 07777) : 0600;
  bool ok = ::fchmod(fd, mode) == 0;
  ok = ok && failAt != Step::kWrite && WriteAll(fd, data, length);
  ok = ok && failAt != Step::kSync && ::fsync(fd) == 0;
  bool closed = ::close(fd) == 0 && failAt != Step::kClose;
  ok = ok && closed;
  if (ok && failAt != Step::kPublish) {
    // Without replace, link() publishes only if nothing appeared meanwhile;
    // the temporary name is then removed below.
    bool published = replace ? ::rename(temporary.c_str(), path) == 0
                             : ::link(temporary.c_str(), path) == 0;
    if (published) {
      if (!replace) ::unlink(temporary.c_str());
      SyncFolderOf(target);
      return true;
    }
  }
  ::unlink(temporary.c_str());
  return false;
}

}  // namespace session
