#include "platform/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/DynamicLibrary.h"

namespace {

std::atomic<bool (*)(AtomicWriteStep)> faultHook{nullptr};

// Owns one open file descriptor and closes it when it goes.
class UniqueFd {
 public:
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { Close(); }

  int Get() const { return fd_; }
  bool IsValid() const { return fd_ >= 0; }
  // Closes now; false when close reports an error (a lost write).
  bool Close() {
    if (fd_ < 0) return true;
    int rc = ::close(fd_);
    fd_ = -1;
    return rc == 0;
  }

 private:
  int fd_;
};

bool StepFails(AtomicWriteStep step) {
  bool (*hook)(AtomicWriteStep) = faultHook.load();
  return hook != nullptr && hook(step);
}

bool WriteAll(int fd, const uint8_t* data, size_t length) {
  while (length > 0) {
    ssize_t n = ::write(fd, data, length);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    length -= static_cast<size_t>(n);
  }
  return true;
}

// The file a write to path really replaces: the target of a symbolic link
// (followed to its end), else path itself.
GString ResolveTarget(const char* path) {
  char resolved[PATH_MAX];
  struct stat info;
  if (::lstat(path, &info) == 0 && S_ISLNK(info.st_mode) && ::realpath(path, resolved) != nullptr) {
    return GString(resolved);
  }
  return GString(path);
}

GString FolderOf(const GString& path) {
  int slash = path.ReverseFind('/');
  if (slash < 0) return GString(".");
  if (slash == 0) return GString("/");
  return path.Left(slash);
}

// Creates a new, empty temporary file beside target; fills name with its path.
int CreateTemporaryBeside(const GString& target, unsigned mode, GString& name) {
  GString folder = FolderOf(target);
  GString base = target.Mid(target.ReverseFind('/') + 1);
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    name.Format("%s/.%s.%d.%u.tmp", folder.Text(), base.Text(), static_cast<int>(::getpid()),
                counter.fetch_add(1) ^ static_cast<unsigned>(::time(nullptr) & 0xFFFF));
    int fd = ::open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

GString ProgramPath() {
  char path[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", path, sizeof(path) - 1);
  return n > 0 ? GString(path, static_cast<size_t>(n)) : GString();
}

void SyncFolder(const GString& target) {
  UniqueFd folder(::open(FolderOf(target), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.IsValid()) ::fsync(folder.Get());
}

}  // namespace

int _access(const char* path, int mode) {
  if (path == nullptr) return -1;
  int how;
  switch (mode) {
    case kAccessExists: how = F_OK; break;
    case kAccessWrite: how = W_OK; break;
    case kAccessRead: how = R_OK; break;
    case kAccessReadWrite: how = R_OK | W_OK; break;
    default: errno = EINVAL; return -1;
  }
  return ::access(path, how) == 0 ? 0 : -1;
}

DWORD GetModuleFileNameA(HMODULE module, char* buffer, DWORD size) {
  if (buffer == nullptr || size == 0) return 0;
  // The program's own entry in the loader's list carries no file name.
  GString path = module != nullptr ? GetLibraryPath(module) : GString();
  if (path.IsEmpty()) path = ProgramPath();
  size_t length = path.Size();
  if (length == 0) {
    buffer[0] = '\0';
    return 0;
  }
  if (length >= size) {
    std::memcpy(buffer, path.Text(), size - 1);
    buffer[size - 1] = '\0';
    return size;
  }
  std::memcpy(buffer, path.Text(), length + 1);
  return static_cast<DWORD>(length);
}

GString GetProgramFolder() {
  GString full = ProgramPath();
  int slash = full.ReverseFind('/');
  if (slash < 0) return GString();
  return slash == 0 ? GString("/") : full.Left(slash);
}

bool ReadWholeFile(const char* path, BinData& out, size_t limit) {
  out.SetLength(0);
  if (path == nullptr) return false;
  UniqueFd fd(::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  struct stat info;
  if (!fd.IsValid() || ::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  limit = limit < SIZE_MAX / 4 ? limit : SIZE_MAX / 4;
  if (static_cast<unsigned long long>(info.st_size) > limit) return false;
  // The size can change while reading: read until the end, but never past limit.
  size_t capacity = static_cast<size_t>(info.st_size) + 1;
  size_t length = 0;
  for (;;) {
    if (out.SetLength(capacity) != 0) break;
    ssize_t n = ::read(fd.Get(), out.GetData() + length, capacity - length);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    if (n == 0) {
      out.SetLength(length);
      return true;
    }
    length += static_cast<size_t>(n);
    if (length > limit) break;
    if (length == capacity) capacity = capacity > limit - capacity ? limit + 1 : capacity * 2;
  }
  out.SetLength(0);
  return false;
}

bool WriteFileAtomically(const char* path, const void* data, size_t length) {
  return WriteFileAtomically(path, data, length, AtomicWriteOptions());
}

bool WriteFileAtomically(const char* path, const void* data, size_t length,
                         const AtomicWriteOptions& options) {
  if (path == nullptr || *path == '\0' || (data == nullptr && length > 0)) return false;
  GString target = ResolveTarget(path);
  struct stat old;
  bool hadOld = ::stat(target, &old) == 0;
  if (hadOld && (!S_ISREG(old.st_mode) || !options.replace)) return false;

  GString temporary;
  if (StepFails(AtomicWriteStep::kCreate)) return false;
  UniqueFd fd(CreateTemporaryBeside(target, options.newFileMode & 07777, temporary));
  if (!fd.IsValid()) return false;
  bool written = !StepFails(AtomicWriteStep::kWrite) &&
                 (!hadOld || ::fchmod(fd.Get(), old.st_mode & 07777) == 0) &&
                 WriteAll(fd.Get(), static_cast<const uint8_t*>(data), length);
  bool synced = written && !StepFails(AtomicWriteStep::kSync) && ::fsync(fd.Get()) == 0;
  bool closed = fd.Close();
  // Without replace, link() publishes only when nothing appeared meanwhile.
  bool published = synced && closed && !StepFails(AtomicWriteStep::kPublish) &&
                   (options.replace ? ::rename(temporary, target) == 0 : ::link(temporary, target) == 0);
  if (!published || !options.replace) ::unlink(temporary);
  if (!published) return false;
  SyncFolder(target);
  return true;
}

void SetAtomicWriteFaultHook(bool (*hook)(AtomicWriteStep step)) { faultHook.store(hook); }
