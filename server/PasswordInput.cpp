#include "server/PasswordInput.h"

#include <fcntl.h>
#include <openssl/crypto.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr size_t kMaxPasswordFile = 4096;

// Reads at most limit bytes of fd into out; false on a read error.
bool ReadLimited(int fd, std::string& out, size_t limit) {
  char chunk[512];
  bool ok = true;
  while (out.size() < limit) {
    ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) ok = false;
    if (got <= 0) break;
    out.append(chunk, static_cast<size_t>(got));
    if (std::memchr(chunk, '\n', static_cast<size_t>(got)) != nullptr) break;
  }
  OPENSSL_cleanse(chunk, sizeof chunk);
  return ok;
}

}  // namespace

bool PasswordInput::TakeFirstLine(std::string& text, std::string& password, std::string& error) {
  size_t end = text.find('\n');
  if (end == std::string::npos) end = text.size();
  if (end > 0 && text[end - 1] == '\r') --end;
  password.assign(text, 0, end);
  Wipe(text);
  if (password.empty()) {
    error = "the password is empty";
    return false;
  }
  return true;
}

bool PasswordInput::FromFile(const std::string& path, std::string& password, std::string& error) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = "cannot read the password file " + path + ": " + std::strerror(errno);
    return false;
  }
  std::string text;
  text.reserve(kMaxPasswordFile + 512);
  bool ok = ReadLimited(fd, text, kMaxPasswordFile);
  ::close(fd);
  if (!ok) {
    Wipe(text);
    error = "cannot read the password file " + path;
    return false;
  }
  return TakeFirstLine(text, password, error);
}

bool PasswordInput::FromStandardInput(std::string& password, std::string& error) {
  std::string text;
  text.reserve(kMaxPasswordFile + 512);
  if (!ReadLimited(STDIN_FILENO, text, kMaxPasswordFile)) {
    Wipe(text);
    error = "cannot read the password from standard input";
    return false;
  }
  return TakeFirstLine(text, password, error);
}

void PasswordInput::Wipe(std::string& password) {
  if (!password.empty()) OPENSSL_cleanse(password.data(), password.size());
  password.clear();
}
