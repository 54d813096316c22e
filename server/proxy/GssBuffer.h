#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "session/GssApi.h"

namespace vserver {

// Owns a buffer the session library filled and gives it back with
// gss_release_buffer (which wipes it) when destroyed.
class GssBuffer {
 public:
  GssBuffer() = default;
  ~GssBuffer() { Release(); }
  GssBuffer(const GssBuffer&) = delete;
  GssBuffer& operator=(const GssBuffer&) = delete;
  GssBuffer(GssBuffer&& other) noexcept : buffer_(other.buffer_) { other.buffer_ = {0, nullptr}; }
  GssBuffer& operator=(GssBuffer&& other) noexcept {
    if (this != &other) {
      Release();
      buffer_ = other.buffer_;
      other.buffer_ = {0, nullptr};
    }
    return *this;
  }

  // The descriptor to pass as an output argument; it must be empty.
  gss_buffer_t Out() { return &buffer_; }
  const uint8_t* Data() const { return static_cast<const uint8_t*>(buffer_.value); }
  size_t Size() const { return buffer_.value == nullptr ? 0 : buffer_.length; }
  std::string_view View() const {
    return std::string_view(static_cast<const char*>(buffer_.value), Size());
  }
  void Release() {
    OM_uint32 minor = 0;
    if (buffer_.value != nullptr) gss_release_buffer(&minor, &buffer_);
    buffer_ = {0, nullptr};
  }

 private:
  gss_buffer_desc buffer_{0, nullptr};
};

}  // namespace vserver
