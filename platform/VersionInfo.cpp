#include "platform/VersionInfo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <string_view>

#include "platform/VersionBlock.h"

namespace {

constexpr std::string_view kBegin = "VELGRADE-VERSION-BLOCK FileVersion=";
constexpr std::string_view kProduct = " ProductVersion=";
constexpr std::string_view kText = " ProductVersionText=";
constexpr std::string_view kEnd = " VELGRADE-VERSION-END";
// The longest well-formed record.
constexpr size_t kRecordLimit = kBegin.size() + 23 + kProduct.size() + 23 + kText.size() + kVersionTextLimit + kEnd.size();
constexpr size_t kChunk = 64 * 1024;

// Reads "a.b.c.d" from the front of text into parts; removes it from text.
bool ParseVersion(std::string_view& text, WORD parts[4]) {
  for (int i = 0; i < 4; ++i) {
    if (i > 0) {
      if (text.empty() || text.front() != '.') return false;
      text.remove_prefix(1);
    }
    size_t digits = 0;
    unsigned value = 0;
    while (digits < text.size() && digits < 5 && text[digits] >= '0' && text[digits] <= '9') {
      value = value * 10 + static_cast<unsigned>(text[digits] - '0');
      ++digits;
    }
    if (digits == 0 || value > 0xFFFF || (digits < text.size() && text[digits] >= '0' && text[digits] <= '9')) {
      return false;
    }
    parts[i] = static_cast<WORD>(value);
    text.remove_prefix(digits);
  }
  return true;
}

bool Consume(std::string_view& text, std::string_view expected) {
  if (text.substr(0, expected.size()) != expected) return false;
  text.remove_prefix(expected.size());
  return true;
}

// Parses a record that starts at the front of text.
bool ParseRecord(std::string_view text, VersionBlock& out) {
  VersionBlock block{};
  if (!Consume(text, kBegin) || !ParseVersion(text, block.fileVersion) || !Consume(text, kProduct) ||
      !ParseVersion(text, block.productVersion) || !Consume(text, kText)) {
    return false;
  }
  size_t end = text.substr(0, kVersionTextLimit + kEnd.size()).find(kEnd);
  if (end == std::string_view::npos) return false;
  for (size_t i = 0; i < end; ++i) {
    if (text[i] < 0x20 || text[i] > 0x7E) return false;
  }
  block.productVersionText = GString(text.data(), end);
  out = block;
  return true;
}

// Owns one open file descriptor.
class FileHandle {
 public:
  explicit FileHandle(int fd) : fd_(fd) {}
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  ~FileHandle() {
    if (fd_ >= 0) ::close(fd_);
  }
  int Get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

bool GetFileVersionInfo(const char* path, VersionBlock& out) {
  if (path == nullptr) return false;
  FileHandle file(::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  struct stat info;
  if (file.Get() < 0 || ::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  std::string window;
  std::string chunk(kChunk, '\0');
  long long scanned = 0;
  for (;;) {
    ssize_t n = ::read(file.Get(), chunk.data(), chunk.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    scanned += n;
    bool atEnd = n == 0 || scanned >= kVersionScanLimit;
    window.append(chunk.data(), static_cast<size_t>(n));
    // Starts whose record may still be cut by the window's end wait for more.
    size_t tried = atEnd ? window.size() : (window.size() > kRecordLimit ? window.size() - kRecordLimit : 0);
    for (size_t p = window.find(kBegin); p != std::string::npos && p < tried; p = window.find(kBegin, p + 1)) {
      if (ParseRecord(std::string_view(window).substr(p), out)) return true;
    }
    if (atEnd) return false;
    window.erase(0, tried);
  }
}

const VersionBlock& GetOwnVersionBlock() {
  static const VersionBlock own = [] {
    VersionBlock block{};
    ParseRecord(kVelgradeVersionRecord, block);
    return block;
  }();
  return own;
}

GString FormatVersionRecord(const VersionBlock& block) {
  GString text;
  for (int i = 0; i < block.productVersionText.GetLength() && i < kVersionTextLimit; ++i) {
    char c = block.productVersionText.GetAt(i);
    text += (c >= 0x20 && c <= 0x7E) ? c : '?';
  }
  const WORD* f = block.fileVersion;
  const WORD* p = block.productVersion;
  GString record;
  record.Format("%.*s%u.%u.%u.%u%.*s%u.%u.%u.%u%.*s", static_cast<int>(kBegin.size()), kBegin.data(), f[0], f[1],
                f[2], f[3], static_cast<int>(kProduct.size()), kProduct.data(), p[0], p[1], p[2], p[3],
                static_cast<int>(kText.size()), kText.data());
  record += text;
  record.Append(kEnd.data(), kEnd.size());
  return record;
}
