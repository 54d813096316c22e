#include "secure/SecureMessage.h"

#include <cstring>

namespace {

void PutLength(uint8_t* at, uint32_t value) {
  at[0] = static_cast<uint8_t>(value >> 24);
  at[1] = static_cast<uint8_t>(value >> 16);
  at[2] = static_cast<uint8_t>(value >> 8);
  at[3] = static_cast<uint8_t>(value);
}

uint64_t GetLength(const uint8_t* at) {
  return (static_cast<uint64_t>(at[0]) << 24) | (static_cast<uint64_t>(at[1]) << 16) |
         (static_cast<uint64_t>(at[2]) << 8) | static_cast<uint64_t>(at[3]);
}

}  // namespace

bool SecureMessage::Build(const GString& part1, const GString& part2, const BinData& body,
                          BinData& message) {
  if (part1.Size() > UINT32_MAX || part2.Size() > UINT32_MAX) return false;
  uint8_t header[kHeaderLength] = {static_cast<uint8_t>(kHeaderLength), kVersion, 0, 0};
  PutLength(header + 4, static_cast<uint32_t>(part1.Size()));
  PutLength(header + 8, static_cast<uint32_t>(part2.Size()));
  message.Clear();
  size_t total = kHeaderLength + part1.Size() + part2.Size() + body.GetLength();
  bool ok = message.SetLength(total) == 0 && message.GetLength() == total;
  if (ok) {
    uint8_t* at = message.GetData();
    std::memcpy(at, header, kHeaderLength);
    at += kHeaderLength;
    if (part1.Size() != 0) std::memcpy(at, part1.Text(), part1.Size());
    at += part1.Size();
    if (part2.Size() != 0) std::memcpy(at, part2.Text(), part2.Size());
    at += part2.Size();
    if (!body.IsEmpty()) std::memcpy(at, body.GetData(), body.GetLength());
  } else {
    message.Clear();
  }
  return ok;
}

SecureMessage::Result SecureMessage::Parse(const uint8_t* bytes, size_t length, GString& part1,
                                           GString& part2, BinData& body) {
  if (bytes == nullptr || length < kHeaderLength) return kNoData;
  if (bytes[1] != kVersion) return kBadVersion;
  size_t start = bytes[0];
  if (start > length) return kCorrupted;
  uint64_t rest = length - start;
  uint64_t length1 = GetLength(bytes + 4);
  uint64_t length2 = GetLength(bytes + 8);
  if (length1 > rest || length2 > rest || length1 + length2 > rest) return kCorrupted;
  const uint8_t* at = bytes + start;
  part1 = GString(reinterpret_cast<const char*>(at), static_cast<size_t>(length1));
  part2 = GString(reinterpret_cast<const char*>(at + length1), static_cast<size_t>(length2));
  if (part1.Size() != length1 || part2.Size() != length2) return kNoMemory;
  size_t bodyLength = static_cast<size_t>(rest - length1 - length2);
  if (body.Assign(at + length1 + length2, bodyLength) != 0) return kNoMemory;
  return kOk;
}
