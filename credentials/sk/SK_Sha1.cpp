#include "credentials/sk/SK_Sha1.h"

#include <cstring>

#include "credentials/sk/SK_Wipe.h"

namespace {

uint32_t RotateLeft(uint32_t value, unsigned bits) { return (value << bits) | (value >> (32 - bits)); }

}  // namespace

SK_Sha1::~SK_Sha1() {
  SK_Wipe(h_, sizeof h_);
  SK_Wipe(block_, sizeof block_);
}

void SK_Sha1::Reset() {
  h_[0] = 0x67452301;
  h_[1] = 0xEFCDAB89;
  h_[2] = 0x98BADCFE;
  h_[3] = 0x10325476;
  h_[4] = 0xC3D2E1F0;
  SK_Wipe(block_, sizeof block_);
  blockUsed_ = 0;
  totalBytes_ = 0;
}

void SK_Sha1::ProcessBlock(const uint8_t block[64]) {
  uint32_t w[80];
  for (int t = 0; t < 16; ++t) {
    w[t] = (uint32_t{block[4 * t]} << 24) | (uint32_t{block[4 * t + 1]} << 16) |
           (uint32_t{block[4 * t + 2]} << 8) | block[4 * t + 3];
  }
  for (int t = 16; t < 80; ++t) w[t] = RotateLeft(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);

  uint32_t a = h_[0], b = h_[1], c = h_[2], d = h_[3], e = h_[4];
  for (int t = 0; t < 80; ++t) {
    uint32_t f;
    uint32_t k;
    if (t < 20) {
      f = (b & c) | (~b & d);
      k = 0x5A827999;
    } else if (t < 40) {
      f = b ^ c ^ d;
      k = 0x6ED9EBA1;
    } else if (t < 60) {
      f = (b & c) | (b & d) | (c & d);
      k = 0x8F1BBCDC;
    } else {
      f = b ^ c ^ d;
      k = 0xCA62C1D6;
    }
    const uint32_t temp = RotateLeft(a, 5) + f + e + w[t] + k;
    e = d;
    d = c;
    c = RotateLeft(b, 30);
    b = a;
    a = temp;
  }
  h_[0] += a;
  h_[1] += b;
  h_[2] += c;
  h_[3] += d;
  h_[4] += e;
  SK_Wipe(w, sizeof w);
}

void SK_Sha1::Update(const void* data, size_t length) {
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  totalBytes_ += length;
  while (length > 0) {
    const size_t take = length < 64 - blockUsed_ ? length : 64 - blockUsed_;
    std::memcpy(block_ + blockUsed_, bytes, take);
    blockUsed_ += take;
    bytes += take;
    length -= take;
    if (blockUsed_ == 64) {
      ProcessBlock(block_);
      blockUsed_ = 0;
    }
  }
}

void SK_Sha1::Final(uint8_t digest[kDigestSize]) {
  const uint64_t totalBits = totalBytes_ * 8;
  block_[blockUsed_++] = 0x80;
  if (blockUsed_ > 56) {
    std::memset(block_ + blockUsed_, 0, 64 - blockUsed_);
    ProcessBlock(block_);
    blockUsed_ = 0;
  }
  std::memset(block_ + blockUsed_, 0, 56 - blockUsed_);
  for (int i = 0; i < 8; ++i) block_[56 + i] = static_cast<uint8_t>(totalBits >> (56 - 8 * i));
  ProcessBlock(block_);
  for (int i = 0; i < 5; ++i) {
    digest[4 * i] = static_cast<uint8_t>(h_[i] >> 24);
    digest[4 * i + 1] = static_cast<uint8_t>(h_[i] >> 16);
    digest[4 * i + 2] = static_cast<uint8_t>(h_[i] >> 8);
    digest[4 * i + 3] = static_cast<uint8_t>(h_[i]);
  }
  Reset();
}

void SK_Sha1::Digest(const void* data, size_t length, uint8_t digest[kDigestSize]) {
  SK_Sha1 sha;
  sha.Update(data, length);
  sha.Final(digest);
}
