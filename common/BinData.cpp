#include "common/BinData.h"

#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <utility>

BinData::BinData(const void* bytes, size_t length) { Assign(bytes, length); }

BinData::BinData(const BinData& other) { Assign(other.data_, other.length_); }

BinData::BinData(BinData&& other) noexcept
    : data_(other.data_), length_(other.length_), capacity_(other.capacity_) {
  other.data_ = nullptr;
  other.length_ = 0;
  other.capacity_ = 0;
}

BinData::~BinData() { std::free(data_); }

BinData& BinData::operator=(const BinData& other) {
  if (this != &other) Assign(other.data_, other.length_);
  return *this;
}

BinData& BinData::operator=(BinData&& other) noexcept {
  if (this != &other) {
    std::free(data_);
    data_ = other.data_;
    length_ = other.length_;
    capacity_ = other.capacity_;
    other.data_ = nullptr;
    other.length_ = 0;
    other.capacity_ = 0;
  }
  return *this;
}

int16_t BinData::SetLength(size_t length) {
  if (length == 0) {
    std::free(data_);
    data_ = nullptr;
    length_ = 0;
    capacity_ = 0;
    return 0;
  }
  if (length > capacity_) {
    size_t capacity = length + 20;
    if (capacity < length) return kStatusNoMemory;
    auto* fresh = static_cast<uint8_t*>(std::malloc(capacity));
    if (fresh == nullptr) return kStatusNoMemory;
    if (length_ != 0) std::memcpy(fresh, data_, length_);
    std::memset(fresh + length_, 0, capacity - length_);
    Wipe();  // the old buffer may hold key material
    std::free(data_);
    data_ = fresh;
    capacity_ = capacity;
  } else if (length > length_) {
    std::memset(data_ + length_, 0, length - length_);
  }
  length_ = length;
  return 0;
}

int16_t BinData::Assign(const void* bytes, size_t length) {
  if (length != 0 && bytes >= data_ && bytes < data_ + length_) {
    BinData copy(bytes, length);
    if (copy.length_ != length) return kStatusNoMemory;
    *this = std::move(copy);
    return 0;
  }
  length_ = 0;
  return Append(bytes, length);
}

int16_t BinData::Append(const void* bytes, size_t length) {
  if (length == 0) return 0;
  if (bytes == nullptr) return 0;
  if (bytes >= data_ && bytes < data_ + length_ && length_ + length > capacity_) {
    BinData copy(bytes, length);
    if (copy.length_ != length) return kStatusNoMemory;
    return Append(copy.data_, copy.length_);
  }
  size_t old = length_;
  if (old + length < old) return kStatusNoMemory;
  int16_t status = SetLength(old + length);
  if (status != 0) return status;
  std::memmove(data_ + old, bytes, length);
  return 0;
}

int16_t BinData::Append(uint8_t byte) { return Append(&byte, 1); }

int16_t BinData::GetLast(size_t count, BinData& out) const {
  if (count > length_) count = length_;
  if (&out == this) {
    BinData copy;
    int16_t status = GetLast(count, copy);
    if (status == 0) out = std::move(copy);
    return status;
  }
  return out.Assign(data_ + (length_ - count), count);
}

void BinData::RemoveFirst(size_t count) {
  if (count >= length_) {
    length_ = 0;
    return;
  }
  std::memmove(data_, data_ + count, length_ - count);
  length_ -= count;
}

bool BinData::operator==(const BinData& other) const {
  return length_ == other.length_ && (length_ == 0 || std::memcmp(data_, other.data_, length_) == 0);
}

void BinData::Wipe() {
  // explicit_bzero is never optimised away and runs at memset speed.
  if (data_ != nullptr) explicit_bzero(data_, capacity_);
}

void BinData::Clear() {
  Wipe();
  SetLength(0);
}
