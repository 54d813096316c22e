#pragma once

#include <cstdio>

// Owns one stdio stream; the destructor closes it. Close reports whether
// everything buffered reached the file.
class StdioFile {
 public:
  StdioFile() = default;
  StdioFile(const char* path, const char* mode) : file_(std::fopen(path, mode)) {}
  StdioFile(const StdioFile&) = delete;
  StdioFile& operator=(const StdioFile&) = delete;
  ~StdioFile() { Close(); }

  bool IsOpen() const { return file_ != nullptr; }
  std::FILE* Get() const { return file_; }

  // True when the stream was open and closed without error.
  bool Close() {
    if (file_ == nullptr) return false;
    bool ok = std::fclose(file_) == 0;
    file_ = nullptr;
    return ok;
  }

 private:
  std::FILE* file_ = nullptr;
};
