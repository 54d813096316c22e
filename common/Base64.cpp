#include "common/Base64.h"

#include <cstdint>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Value of an alphabet character, or -1.
int DecodeChar(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

GString Base64Encode(const void* bytes, size_t length) {
  const auto* in = static_cast<const uint8_t*>(bytes);
  GString out;
  size_t outLength = (length + 2) / 3 * 4;
  char* buffer = out.GetBuffer(static_cast<int>(outLength));
  if (buffer == nullptr) return out;
  size_t o = 0;
  size_t i = 0;
  for (; i + 3 <= length; i += 3) {
    uint32_t group = (uint32_t{in[i]} << 16) | (uint32_t{in[i + 1]} << 8) | in[i + 2];
    buffer[o++] = kAlphabet[(group >> 18) & 63];
    buffer[o++] = kAlphabet[(group >> 12) & 63];
    buffer[o++] = kAlphabet[(group >> 6) & 63];
    buffer[o++] = kAlphabet[group & 63];
  }
  if (length - i == 1) {
    uint32_t group = uint32_t{in[i]} << 16;
    buffer[o++] = kAlphabet[(group >> 18) & 63];
    buffer[o++] = kAlphabet[(group >> 12) & 63];
    buffer[o++] = '=';
    buffer[o++] = '=';
  } else if (length - i == 2) {
    uint32_t group = (uint32_t{in[i]} << 16) | (uint32_t{in[i + 1]} << 8);
    buffer[o++] = kAlphabet[(group >> 18) & 63];
    buffer[o++] = kAlphabet[(group >> 12) & 63];
    buffer[o++] = kAlphabet[(group >> 6) & 63];
    buffer[o++] = '=';
  }
  out.ReleaseBuffer(static_cast<int>(o));
  return out;
}

GString Base64Encode(const BinData& data) { return Base64Encode(data.GetData(), data.GetLength()); }

bool Base64Decode(const char* text, size_t length, BinData& out) {
  out.SetLength(0);
  if (out.SetLength(length / 4 * 3 + 3) != 0) return false;
  uint8_t* buffer = out.GetData();
  size_t o = 0;
  int position = 0;
  int previous = 0;
  for (size_t i = 0; i < length; ++i) {
    auto c = static_cast<unsigned char>(text[i]);
    if (c == '=') {
      if (position == 1) {
        out.SetLength(0);
        return false;
      }
      position = 0;  // ends the group; at position 0 it is skipped
      continue;
    }
    int value = DecodeChar(c);
    if (value < 0) continue;
    switch (position) {
      case 1:
        buffer[o++] = static_cast<uint8_t>((previous << 2) | (value >> 4));
        break;
      case 2:
        buffer[o++] = static_cast<uint8_t>(((previous & 0x0F) << 4) | (value >> 2));
        break;
      case 3:
        buffer[o++] = static_cast<uint8_t>(((previous & 0x03) << 6) | value);
        break;
      default:
        break;
    }
    previous = value;
    position = (position + 1) % 4;
  }
  if (position != 0) {
    out.SetLength(0);
    return false;
  }
  out.SetLength(o);
  return true;
}
