#pragma once

#include <cstddef>
#include <cstdint>

// The toolkit status that BinData reports when memory runs out.
constexpr int16_t kStatusNoMemory = -101;

// The program's byte buffer: tokens, bodies, key material and saved settings
// records. Growing keeps the bytes and reserves 20 bytes more than asked, so a
// run of small appends does not reallocate each time; length 0 frees the
// buffer. Operations that allocate return a toolkit status: 0 on success,
// kStatusNoMemory when the allocation failed (the buffer is then unchanged).
//
// Growing wipes the buffer it leaves behind; the destructor does not wipe, so
// holders of secrets call Wipe() or Clear() before letting go.
class BinData {
 public:
  BinData() = default;
  BinData(const void* bytes, size_t length);
  BinData(const BinData& other);
  BinData(BinData&& other) noexcept;
  ~BinData();

  BinData& operator=(const BinData& other);
  BinData& operator=(BinData&& other) noexcept;

  int16_t SetLength(size_t length);
  int16_t Assign(const void* bytes, size_t length);
  int16_t Append(const void* bytes, size_t length);
  int16_t Append(uint8_t byte);
  int16_t Append(const BinData& other) { return Append(other.data_, other.length_); }

  // Copies the last count bytes (all of them when count exceeds the length)
  // into out, replacing what out held.
  int16_t GetLast(size_t count, BinData& out) const;
  // Drops the first count bytes (all of them when count exceeds the length).
  void RemoveFirst(size_t count);

  size_t GetLength() const { return length_; }
  size_t GetCapacity() const { return capacity_; }
  bool IsEmpty() const { return length_ == 0; }
  uint8_t* GetData() { return data_; }
  const uint8_t* GetData() const { return data_; }

  bool operator==(const BinData& other) const;

  // Overwrites the bytes (the whole capacity) with zeros.
  void Wipe();
  // Wipe, then free.
  void Clear();

 private:
  uint8_t* data_ = nullptr;
  size_t length_ = 0;
  size_t capacity_ = 0;
};
