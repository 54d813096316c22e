#include "credentials/sk/SK_Cast128.h"

#include <cstring>

#include "credentials/sk/SK_Wipe.h"

namespace {

uint32_t Rotate(uint32_t value, unsigned bits) {
  bits &= 31;
  return bits == 0 ? value : (value << bits) | (value >> (32 - bits));
}

uint32_t LoadBigEndian(const uint8_t* bytes) {
  return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) | bytes[3];
}

void StoreBigEndian(uint32_t value, uint8_t* bytes) {
  bytes[0] = static_cast<uint8_t>(value >> 24);
  bytes[1] = static_cast<uint8_t>(value >> 16);
  bytes[2] = static_cast<uint8_t>(value >> 8);
  bytes[3] = static_cast<uint8_t>(value);
}

// Byte i (0 to 15) of a 128-bit value held as four big-endian words, in the
// numbering of the key schedule's x0..xF and z0..zF.
uint8_t ByteOf(const uint32_t words[4], int i) {
  return static_cast<uint8_t>(words[i / 4] >> (24 - 8 * (i % 4)));
}

}  // namespace

SK_Cast128::~SK_Cast128() { Clear(); }

void SK_Cast128::Clear() {
  SK_Wipe(masking_, sizeof masking_);
  SK_Wipe(rotation_, sizeof rotation_);
  rounds_ = 0;
}

bool SK_Cast128::SetKey(const uint8_t* key, size_t length) {
  Clear();
  if (key == nullptr || length < kMinKeyBytes || length > kMaxKeyBytes) return false;

  uint8_t padded[kMaxKeyBytes] = {};
  std::memcpy(padded, key, length);
  uint32_t x[4];
  for (int i = 0; i < 4; ++i) x[i] = LoadBigEndian(padded + 4 * i);
  SK_Wipe(padded, sizeof padded);

  const uint32_t* S5 = kSBox[4];
  const uint32_t* S6 = kSBox[5];
  const uint32_t* S7 = kSBox[6];
  const uint32_t* S8 = kSBox[7];
  auto X = [&x](int i) { return ByteOf(x, i); };
  uint32_t z[4];
  auto Z = [&z](int i) { return ByteOf(z, i); };

  // The schedule yields 32 subkeys in two identical passes: the first sixteen
  // are the masking keys, the low five bits of the second sixteen the
  // rotation amounts.
  uint32_t k[32];
  for (int pass = 0; pass < 2; ++pass) {
    uint32_t* out = k + 16 * pass;
    z[0] = x[0] ^ S5[X(13)] ^ S6[X(15)] ^ S7[X(12)] ^ S8[X(14)] ^ S7[X(8)];
    z[1] = x[2] ^ S5[Z(0)] ^ S6[Z(2)] ^ S7[Z(1)] ^ S8[Z(3)] ^ S8[X(10)];
    z[2] = x[3] ^ S5[Z(7)] ^ S6[Z(6)] ^ S7[Z(5)] ^ S8[Z(4)] ^ S5[X(9)];
    z[3] = x[1] ^ S5[Z(10)] ^ S6[Z(9)] ^ S7[Z(11)] ^ S8[Z(8)] ^ S6[X(11)];
    out[0] = S5[Z(8)] ^ S6[Z(9)] ^ S7[Z(7)] ^ S8[Z(6)] ^ S5[Z(2)];
    out[1] = S5[Z(10)] ^ S6[Z(11)] ^ S7[Z(5)] ^ S8[Z(4)] ^ S6[Z(6)];
    out[2] = S5[Z(12)] ^ S6[Z(13)] ^ S7[Z(3)] ^ S8[Z(2)] ^ S7[Z(9)];
    out[3] = S5[Z(14)] ^ S6[Z(15)] ^ S7[Z(1)] ^ S8[Z(0)] ^ S8[Z(12)];
    x[0] = z[2] ^ S5[Z(5)] ^ S6[Z(7)] ^ S7[Z(4)] ^ S8[Z(6)] ^ S7[Z(0)];
    x[1] = z[0] ^ S5[X(0)] ^ S6[X(2)] ^ S7[X(1)] ^ S8[X(3)] ^ S8[Z(2)];
    x[2] = z[1] ^ S5[X(7)] ^ S6[X(6)] ^ S7[X(5)] ^ S8[X(4)] ^ S5[Z(1)];
    x[3] = z[3] ^ S5[X(10)] ^ S6[X(9)] ^ S7[X(11)] ^ S8[X(8)] ^ S6[Z(3)];
    out[4] = S5[X(3)] ^ S6[X(2)] ^ S7[X(12)] ^ S8[X(13)] ^ S5[X(8)];
    out[5] = S5[X(1)] ^ S6[X(0)] ^ S7[X(14)] ^ S8[X(15)] ^ S6[X(13)];
    out[6] = S5[X(7)] ^ S6[X(6)] ^ S7[X(8)] ^ S8[X(9)] ^ S7[X(3)];
    out[7] = S5[X(5)] ^ S6[X(4)] ^ S7[X(10)] ^ S8[X(11)] ^ S8[X(7)];
    z[0] = x[0] ^ S5[X(13)] ^ S6[X(15)] ^ S7[X(12)] ^ S8[X(14)] ^ S7[X(8)];
    z[1] = x[2] ^ S5[Z(0)] ^ S6[Z(2)] ^ S7[Z(1)] ^ S8[Z(3)] ^ S8[X(10)];
    z[2] = x[3] ^ S5[Z(7)] ^ S6[Z(6)] ^ S7[Z(5)] ^ S8[Z(4)] ^ S5[X(9)];
    z[3] = x[1] ^ S5[Z(10)] ^ S6[Z(9)] ^ S7[Z(11)] ^ S8[Z(8)] ^ S6[X(11)];
    out[8] = S5[Z(3)] ^ S6[Z(2)] ^ S7[Z(12)] ^ S8[Z(13)] ^ S5[Z(9)];
    out[9] = S5[Z(1)] ^ S6[Z(0)] ^ S7[Z(14)] ^ S8[Z(15)] ^ S6[Z(12)];
    out[10] = S5[Z(7)] ^ S6[Z(6)] ^ S7[Z(8)] ^ S8[Z(9)] ^ S7[Z(2)];
    out[11] = S5[Z(5)] ^ S6[Z(4)] ^ S7[Z(10)] ^ S8[Z(11)] ^ S8[Z(6)];
    x[0] = z[2] ^ S5[Z(5)] ^ S6[Z(7)] ^ S7[Z(4)] ^ S8[Z(6)] ^ S7[Z(0)];
    x[1] = z[0] ^ S5[X(0)] ^ S6[X(2)] ^ S7[X(1)] ^ S8[X(3)] ^ S8[Z(2)];
    x[2] = z[1] ^ S5[X(7)] ^ S6[X(6)] ^ S7[X(5)] ^ S8[X(4)] ^ S5[Z(1)];
    x[3] = z[3] ^ S5[X(10)] ^ S6[X(9)] ^ S7[X(11)] ^ S8[X(8)] ^ S6[Z(3)];
    out[12] = S5[X(8)] ^ S6[X(9)] ^ S7[X(7)] ^ S8[X(6)] ^ S5[X(3)];
    out[13] = S5[X(10)] ^ S6[X(11)] ^ S7[X(5)] ^ S8[X(4)] ^ S6[X(7)];
    out[14] = S5[X(12)] ^ S6[X(13)] ^ S7[X(3)] ^ S8[X(2)] ^ S7[X(8)];
    out[15] = S5[X(14)] ^ S6[X(15)] ^ S7[X(1)] ^ S8[X(0)] ^ S8[X(13)];
  }
  for (int i = 0; i < 16; ++i) {
    masking_[i] = k[i];
    rotation_[i] = static_cast<uint8_t>(k[16 + i] & 31);
  }
  rounds_ = length * 8 <= 80 ? 12 : 16;
  SK_Wipe(k, sizeof k);
  SK_Wipe(x, sizeof x);
  SK_Wipe(z, sizeof z);
  return true;
}

// The round function f of round index (0-based): the three types of RFC 2144
// cycle through the rounds 1, 2, 3, 1, 2, 3, ...
uint32_t SK_Cast128::Round(int index, uint32_t data) const {
  const uint32_t* S1 = kSBox[0];
  const uint32_t* S2 = kSBox[1];
  const uint32_t* S3 = kSBox[2];
  const uint32_t* S4 = kSBox[3];
  uint32_t i;
  switch (index % 3) {
    case 0:
      i = Rotate(masking_[index] + data, rotation_[index]);
      return ((S1[i >> 24] ^ S2[(i >> 16) & 0xff]) - S3[(i >> 8) & 0xff]) + S4[i & 0xff];
    case 1:
      i = Rotate(masking_[index] ^ data, rotation_[index]);
      return ((S1[i >> 24] - S2[(i >> 16) & 0xff]) + S3[(i >> 8) & 0xff]) ^ S4[i & 0xff];
    default:
      i = Rotate(masking_[index] - data, rotation_[index]);
      return ((S1[i >> 24] + S2[(i >> 16) & 0xff]) ^ S3[(i >> 8) & 0xff]) - S4[i & 0xff];
  }
}

void SK_Cast128::EncryptBlock(const uint8_t in[kBlockSize], uint8_t out[kBlockSize]) const {
  uint32_t left = LoadBigEndian(in);
  uint32_t right = LoadBigEndian(in + 4);
  for (int r = 0; r < rounds_; ++r) {
    const uint32_t next = left ^ Round(r, right);
    left = right;
    right = next;
  }
  StoreBigEndian(right, out);
  StoreBigEndian(left, out + 4);
}

void SK_Cast128::DecryptBlock(const uint8_t in[kBlockSize], uint8_t out[kBlockSize]) const {
  uint32_t left = LoadBigEndian(in);
  uint32_t right = LoadBigEndian(in + 4);
  for (int r = rounds_ - 1; r >= 0; --r) {
    const uint32_t next = left ^ Round(r, right);
    left = right;
    right = next;
  }
  StoreBigEndian(right, out);
  StoreBigEndian(left, out + 4);
}
