#pragma once

#include <cstddef>
#include <cstdint>

// The CAST-128 block cipher of RFC 2144: 64-bit blocks, keys of 40 to 128
// bits in whole bytes. Keys of up to 80 bits run 12 rounds, longer keys the
// full 16. This class is the bare block transform; modes and padding belong
// to SK_Cipher.
//
// The key schedule is secret: it is wiped when a new key is installed and
// when the object is destroyed. Not copyable.
class SK_Cast128 {
 public:
  static constexpr size_t kBlockSize = 8;
  static constexpr size_t kMinKeyBytes = 5;
  static constexpr size_t kMaxKeyBytes = 16;

  SK_Cast128() = default;
  SK_Cast128(const SK_Cast128&) = delete;
  SK_Cast128& operator=(const SK_Cast128&) = delete;
  ~SK_Cast128();

  // Runs the key schedule for length bytes of key (kMinKeyBytes to
  // kMaxKeyBytes). Returns false, and leaves the object without a key, for any
  // other length.
  bool SetKey(const uint8_t* key, size_t length);
  bool HasKey() const { return rounds_ != 0; }

  // Transform one 8-byte block; in and out may be the same buffer. Must not be
  // called before a key is installed.
  void EncryptBlock(const uint8_t in[kBlockSize], uint8_t out[kBlockSize]) const;
  void DecryptBlock(const uint8_t in[kBlockSize], uint8_t out[kBlockSize]) const;

  // Forgets the key and wipes the schedule.
  void Clear();

 private:
  static const uint32_t kSBox[8][256];

  uint32_t Round(int index, uint32_t data) const;

  uint32_t masking_[16] = {};
  uint8_t rotation_[16] = {};
  int rounds_ = 0;
};
