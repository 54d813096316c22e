#pragma once

#include <cstddef>
#include <cstdint>

// SHA-1 of FIPS 180-1, fed in pieces of any size. The state is wiped by Final
// and by the destructor, since the toolkit hashes key material. Not copyable.
class SK_Sha1 {
 public:
  static constexpr size_t kDigestSize = 20;

  SK_Sha1() { Reset(); }
  SK_Sha1(const SK_Sha1&) = delete;
  SK_Sha1& operator=(const SK_Sha1&) = delete;
  ~SK_Sha1();

  // Starts a new message.
  void Reset();
  void Update(const void* data, size_t length);
  // Writes the digest of everything fed since the last Reset, then starts a
  // new message.
  void Final(uint8_t digest[kDigestSize]);

  // The digest of one whole message.
  static void Digest(const void* data, size_t length, uint8_t digest[kDigestSize]);

 private:
  void ProcessBlock(const uint8_t block[64]);

  uint32_t h_[5];
  uint8_t block_[64];
  size_t blockUsed_;
  uint64_t totalBytes_;
};
