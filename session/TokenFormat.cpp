#include "session/TokenFormat.h"

#include <cstring>

namespace session {

bool TokenFormat::ParseHeader(const uint8_t* token, size_t length, Header& out) {
  if (token == nullptr || length < kHeaderLength || length > kMaxTokenLength) return false;
  if (token[0] != kVersion) return false;
  uint8_t type = token[1];
  if (type != kTypeInit && type != kTypeAccept && type != kTypeError && type != kTypeWrap)
    return false;
  uint8_t flags = token[2];
  if ((flags & ~(kFromInitiator | kConfidential)) != 0) return false;
  if ((flags & kConfidential) != 0 && type != kTypeWrap) return false;
  out.type = type;
  out.flags = flags;
  std::memcpy(out.contextId, token + 3, kIdLength);
  return true;
}

bool TokenFormat::ParseWrapped(const uint8_t* token, size_t length, Wrapped& out) {
  if (!ParseHeader(token, length, out.header) || out.header.type != kTypeWrap) return false;
  if (length < kWrapOverhead) return false;
  uint64_t sequence = 0;
  for (size_t i = 0; i < kSequenceLength; ++i) sequence = sequence << 8 | token[kHeaderLength + i];
  out.sequence = sequence;
  out.message = token + kHeaderLength + kSequenceLength;
  out.messageLength = length - kWrapOverhead;
  out.tag = token + length - kTagLength;
  return true;
}

void TokenFormat::WriteHeader(const Header& header, uint8_t* out) {
  out[0] = kVersion;
  out[1] = header.type;
  out[2] = header.flags;
  std::memcpy(out + 3, header.contextId, kIdLength);
}

void TokenFormat::WriteSequence(uint64_t sequence, uint8_t* out) {
  for (size_t i = kSequenceLength; i-- > 0;) {
    out[i] = static_cast<uint8_t>(sequence);
    sequence >>= 8;
  }
}

}  // namespace session
