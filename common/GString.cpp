#include "common/GString.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

char g_emptyBuffer[1] = {'\0'};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

GString::GString() : data_(g_emptyBuffer) {}

GString::GString(const char* text) : data_(g_emptyBuffer) {
  if (text != nullptr) Append(text, std::strlen(text));
}

GString::GString(const char* bytes, size_t length) : data_(g_emptyBuffer) {
  Append(bytes, length);
}

GString::GString(const GString& other) : data_(g_emptyBuffer) {
  Append(other.data_, other.length_);
}

GString::GString(GString&& other) noexcept
    : data_(other.data_), length_(other.length_), capacity_(other.capacity_) {
  other.data_ = g_emptyBuffer;
  other.length_ = 0;
  other.capacity_ = 0;
}

GString::~GString() { Release(); }

GString& GString::operator=(const GString& other) {
  if (this != &other) {
    length_ = 0;
    if (capacity_ != 0) data_[0] = '\0';
    Append(other.data_, other.length_);
  }
  return *this;
}

GString& GString::operator=(GString&& other) noexcept {
  if (this != &other) {
    Release();
    data_ = other.data_;
    length_ = other.length_;
    capacity_ = other.capacity_;
    other.data_ = g_emptyBuffer;
    other.length_ = 0;
    other.capacity_ = 0;
  }
  return *this;
}

GString& GString::operator=(const char* text) {
  GString copy(text);
  *this = std::move(copy);
  return *this;
}

void GString::Release() {
  if (capacity_ != 0) std::free(data_);
  data_ = g_emptyBuffer;
  length_ = 0;
  capacity_ = 0;
}

bool GString::Reserve(size_t capacity) {
  if (capacity <= capacity_) return true;
  size_t grown = capacity_ + capacity_ / 2;
  if (grown < capacity) grown = capacity;
  char* fresh = static_cast<char*>(std::malloc(grown + 1));
  if (fresh == nullptr) return false;
  std::memcpy(fresh, data_, length_ + 1);
  if (capacity_ != 0) {
    Wipe();  // the old buffer may hold a password
    std::free(data_);
  }
  data_ = fresh;
  capacity_ = grown;
  return true;
}

void GString::Append(const char* text) {
  if (text != nullptr) Append(text, std::strlen(text));
}

void GString::Append(const char* bytes, size_t length) {
  if (length == 0 || bytes == nullptr) return;
  // bytes may point into this string's own buffer.
  if (bytes >= data_ && bytes < data_ + length_ + 1 && capacity_ < length_ + length) {
    GString copy(bytes, length);
    Append(copy.data_, copy.length_);
    return;
  }
  if (!Reserve(length_ + length)) return;
  std::memmove(data_ + length_, bytes, length);
  length_ += length;
  data_[length_] = '\0';
}

void GString::Append(char c) { Append(&c, 1); }

void GString::Append(const GString& other) { Append(other.data_, other.length_); }

int GString::Compare(const char* text) const {
  if (text == nullptr) text = "";
  size_t otherLength = std::strlen(text);
  size_t common = length_ < otherLength ? length_ : otherLength;
  int result = std::memcmp(data_, text, common);
  if (result != 0) return result;
  return length_ < otherLength ? -1 : (length_ > otherLength ? 1 : 0);
}

int GString::Compare(const GString& other) const {
  size_t common = length_ < other.length_ ? length_ : other.length_;
  int result = std::memcmp(data_, other.data_, common);
  if (result != 0) return result;
  return length_ < other.length_ ? -1 : (length_ > other.length_ ? 1 : 0);
}

bool GString::operator==(const GString& other) const {
  return length_ == other.length_ && std::memcmp(data_, other.data_, length_) == 0;
}

int GString::Find(char c, int start) const {
  if (start < 0) start = 0;
  for (size_t i = static_cast<size_t>(start); i < length_; ++i) {
    if (data_[i] == c) return static_cast<int>(i);
  }
  return -1;
}

int GString::Find(const char* text, int start) const {
  if (text == nullptr) return -1;
  if (start < 0) start = 0;
  size_t needle = std::strlen(text);
  if (static_cast<size_t>(start) > length_ || needle > length_ - start) return -1;
  for (size_t i = static_cast<size_t>(start); i + needle <= length_; ++i) {
    if (std::memcmp(data_ + i, text, needle) == 0) return static_cast<int>(i);
  }
  return -1;
}

int GString::ReverseFind(char c) const {
  for (size_t i = length_; i > 0; --i) {
    if (data_[i - 1] == c) return static_cast<int>(i - 1);
  }
  return -1;
}

int GString::FindNoCase(const char* text, int start) const {
  if (text == nullptr) return -1;
  if (start < 0) start = 0;
  size_t needle = std::strlen(text);
  if (static_cast<size_t>(start) > length_ || needle > length_ - start) return -1;
  for (size_t i = static_cast<size_t>(start); i + needle <= length_; ++i) {
    size_t k = 0;
    while (k < needle && std::tolower(static_cast<unsigned char>(data_[i + k])) ==
                             std::tolower(static_cast<unsigned char>(text[k]))) {
      ++k;
    }
    if (k == needle) return static_cast<int>(i);
  }
  return -1;
}

GString GString::Mid(int index) const {
  if (index < 0) index = 0;
  if (static_cast<size_t>(index) >= length_) return GString();
  return GString(data_ + index, length_ - index);
}

GString GString::Mid(int index, int count) const {
  if (index < 0) index = 0;
  if (count <= 0 || static_cast<size_t>(index) >= length_) return GString();
  size_t available = length_ - index;
  size_t take = static_cast<size_t>(count) < available ? static_cast<size_t>(count) : available;
  return GString(data_ + index, take);
}

GString GString::Left(int count) const { return Mid(0, count); }

GString GString::Right(int count) const {
  if (count <= 0) return GString();
  if (static_cast<size_t>(count) >= length_) return *this;
  return GString(data_ + length_ - count, count);
}

void GString::Trim() {
  size_t begin = 0;
  size_t end = length_;
  while (begin < end && IsBlank(data_[begin])) ++begin;
  while (end > begin && IsBlank(data_[end - 1])) --end;
  if (begin == 0 && end == length_) return;
  if (begin == end) {
    Empty();
    return;
  }
  std::memmove(data_, data_ + begin, end - begin);
  length_ = end - begin;
  data_[length_] = '\0';
}

void GString::MakeLower() {
  for (size_t i = 0; i < length_; ++i) {
    data_[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(data_[i])));
  }
}

char GString::GetAt(int index) const {
  if (index < 0 || static_cast<size_t>(index) >= length_) return '\0';
  return data_[index];
}

void GString::SetAt(int index, char c) {
  if (index < 0 || static_cast<size_t>(index) >= length_) return;
  data_[index] = c;
}

char* GString::GetBuffer(int minLength) {
  size_t wanted = minLength < 0 ? 0 : static_cast<size_t>(minLength);
  if (wanted < length_) wanted = length_;
  if (wanted == 0) wanted = 1;  // never hand out the shared empty buffer
  if (capacity_ < wanted && !Reserve(wanted)) return nullptr;
  if (capacity_ == 0 && !Reserve(1)) return nullptr;
  return data_;
}

void GString::ReleaseBuffer(int newLength) {
  if (capacity_ == 0) return;
  size_t length = newLength < 0 ? strnlen(data_, capacity_) : static_cast<size_t>(newLength);
  if (length > capacity_) length = capacity_;
  length_ = length;
  data_[length_] = '\0';
}

void GString::Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  FormatV(format, args);
  va_end(args);
}

void GString::FormatV(const char* format, va_list args) {
  char buffer[kFormatLimit + 1];
  int written = std::vsnprintf(buffer, sizeof buffer, format, args);
  GString result;
  if (written > 0) {
    size_t length = static_cast<size_t>(written) < sizeof buffer ? static_cast<size_t>(written)
                                                                 : static_cast<size_t>(kFormatLimit);
    result.Append(buffer, length);
  }
  *this = std::move(result);
}

void GString::Empty() { Release(); }

void GString::Wipe() {
  if (capacity_ == 0) return;
  std::memset(data_, '0', length_);
}

GString operator+(const GString& a, const GString& b) {
  GString result(a);
  result.Append(b);
  return result;
}

GString operator+(const GString& a, const char* b) {
  GString result(a);
  result.Append(b);
  return result;
}

GString operator+(const char* a, const GString& b) {
  GString result(a);
  result.Append(b);
  return result;
}
