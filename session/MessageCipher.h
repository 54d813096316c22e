#pragma once

#include <cstddef>
#include <cstdint>

#include "session/OpenSslTypes.h"

namespace session {

// AES-256-GCM for one direction of a context. The key is set once into a
// cipher context that every message reuses; each message's nonce is the
// direction's IV with the message's sequence number XORed into its last
// eight bytes (the nonce construction of TLS 1.3), so a nonce never repeats
// as long as sequence numbers do not. A message sent in the clear is
// authenticated all the same: it is then part of the authenticated data.
class MessageCipher {
 public:
  static constexpr size_t kKeyLength = 32;
  static constexpr size_t kIvLength = 12;
  static constexpr size_t kTagLength = 16;

  MessageCipher() = default;
  MessageCipher(const MessageCipher&) = delete;
  MessageCipher& operator=(const MessageCipher&) = delete;
  ~MessageCipher();

  // Sets key and IV (copied; the caller wipes its copies). encrypt chooses
  // the direction: Seal for sending, Open for receiving.
  bool Init(const uint8_t* key, const uint8_t* iv, bool encrypt);

  // Protects message under sequence, authenticating aad (the token's header
  // and sequence number) too. confidential: the ciphertext goes to out
  // (messageLength bytes); otherwise the message is only authenticated and
  // out is not written. tag receives kTagLength bytes.
  bool Seal(uint64_t sequence, const uint8_t* aad, size_t aadLength, const uint8_t* message,
            size_t messageLength, bool confidential, uint8_t* out, uint8_t* tag);

  // The reverse: false when the tag does not verify (out then holds no
  // usable data and the caller discards it).
  bool Open(uint64_t sequence, const uint8_t* aad, size_t aadLength, const uint8_t* message,
            size_t messageLength, bool confidential, uint8_t* out, const uint8_t* tag);

 private:
  bool Start(uint64_t sequence);

  EvpCipherCtxPtr context_;
  uint8_t iv_[kIvLength] = {};
  bool encrypt_ = true;
};

}  // namespace session
