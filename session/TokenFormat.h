#pragma once

#include <cstddef>
#include <cstdint>

namespace session {

// The layout of every token the library produces.
//
// Header (kHeaderLength bytes):
//   0      format version (kVersion)
//   1      token type: 1 INIT, 2 ACCEPT, 3 ERROR, 5 WRAP
//   2      flags: kFromInitiator (the initiator sent it), kConfidential
//          (WRAP only: the message is encrypted); other bits must be 0
//   3..18  context identifier, chosen at random by the initiator
// INIT and ACCEPT tokens carry TLS handshake bytes after the header. A WRAP
// token carries a 64-bit sequence number (most significant byte first), the
// message (encrypted or in the clear) and a 16-byte AES-GCM tag that covers
// the header, the sequence number and the message.
class TokenFormat {
 public:
  static constexpr uint8_t kVersion = 1;
  static constexpr size_t kIdLength = 16;
  static constexpr size_t kHeaderLength = 3 + kIdLength;
  static constexpr size_t kSequenceLength = 8;
  static constexpr size_t kTagLength = 16;
  static constexpr size_t kWrapOverhead = kHeaderLength + kSequenceLength + kTagLength;
  // Tokens larger than this are refused.
  static constexpr size_t kMaxTokenLength = size_t{256} << 20;
  // Handshake flights are a few kilobytes; larger INIT or ACCEPT tokens are
  // refused before anything is buffered.
  static constexpr size_t kMaxHandshakeLength = 64 * 1024;

  static constexpr uint8_t kTypeInit = 1;
  static constexpr uint8_t kTypeAccept = 2;
  static constexpr uint8_t kTypeError = 3;
  static constexpr uint8_t kTypeWrap = 5;

  static constexpr uint8_t kFromInitiator = 0x01;
  static constexpr uint8_t kConfidential = 0x02;

  struct Header {
    uint8_t type = 0;
    uint8_t flags = 0;
    uint8_t contextId[kIdLength] = {};
  };

  struct Wrapped {
    Header header;
    uint64_t sequence = 0;
    const uint8_t* message = nullptr;  // points into the parsed token
    size_t messageLength = 0;
    const uint8_t* tag = nullptr;      // points into the parsed token
  };

  // Reads a header. False when the token is shorter than a header, larger
  // than kMaxTokenLength, of another version, of an unknown type or with
  // unknown flags (or kConfidential on a token that is not a WRAP).
  static bool ParseHeader(const uint8_t* token, size_t length, Header& out);
  // Reads a whole WRAP token. False when ParseHeader fails, the type is not
  // WRAP or the token is too short for its sequence number and tag.
  static bool ParseWrapped(const uint8_t* token, size_t length, Wrapped& out);

  static void WriteHeader(const Header& header, uint8_t* out);
  static void WriteSequence(uint64_t sequence, uint8_t* out);
};

}  // namespace session
