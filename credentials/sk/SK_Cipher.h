#pragma once

#include <cstddef>
#include <cstdint>

#include "common/BinData.h"
#include "credentials/sk/SK_Cast128.h"
#include "credentials/sk/SK_Key.h"
#include "credentials/sk/SK_Types.h"

class SK_User;

// A symmetric-cipher object: CAST-128 in CBC mode with the usual block
// padding (the last block ends in n bytes of value n, n from 1 to 8). Bound
// to the user whose random generator supplies generated keys.
//
// Set-up: SetIV, SetKeyLength, then GenerateKey or SetKey. Then either
// EncryptStart / EncryptUpdate... / EncryptFinish or the Decrypt trio; input
// may come in pieces of any size. Update and Finish append to out and leave
// what it held before. After a failed Finish the operation is over; a new
// Start begins again with the initialisation vector.
//
// The key, the schedule, the chaining value and any plaintext held back are
// wiped when no longer needed and on destruction. Not copyable.
class SK_Cipher {
 public:
  static constexpr size_t kBlockSize = SK_Cast128::kBlockSize;

  // user is not owned and must outlive the cipher.
  explicit SK_Cipher(SK_User& user);
  SK_Cipher(const SK_Cipher&) = delete;
  SK_Cipher& operator=(const SK_Cipher&) = delete;
  ~SK_Cipher();

  // The initialisation vector: exactly 8 bytes, else kSkBadArgument.
  SK_Status SetIV(const uint8_t* iv, size_t length);
  // Key length in bits: a multiple of 8 from 40 to 128, else kSkBadArgument.
  SK_Status SetKeyLength(unsigned long bits);
  unsigned long GetKeyLength() const { return keyBits_; }
  // Draws a random key of the current key length and schedules it.
  SK_Status GenerateKey();
  // Installs the first key-length bytes of material as the key and schedules
  // it: kSkKeyTooShort when material is shorter.
  SK_Status SetKey(const uint8_t* material, size_t length);
  SK_Status SetKey(const BinData& material) { return SetKey(material.GetData(), material.GetLength()); }
  // The installed key's description: type 11, the key length.
  SK_Key GetKey() const { return SK_Key(kSkKeyCast128, keyBits_); }

  SK_Status EncryptStart();
  SK_Status EncryptUpdate(const uint8_t* data, size_t length, BinData& out);
  SK_Status EncryptFinish(BinData& out);

  SK_Status DecryptStart();
  SK_Status DecryptUpdate(const uint8_t* data, size_t length, BinData& out);
  // Checks and removes the padding: kSkBadLength when the ciphertext was not
  // a non-empty whole number of blocks, kSkBadPadding when the last byte is
  // 0 or above 8 or the bytes it covers do not all carry its value.
  SK_Status DecryptFinish(BinData& out);

 private:
  enum class Mode { kIdle, kEncrypting, kDecrypting };

  SK_Status InstallKey(const uint8_t* key, size_t length);
  SK_Status Start(Mode mode);
  void Stop();
  SK_Status DecryptPending(BinData& out);

  SK_User& user_;
  unsigned long keyBits_ = 128;
  uint8_t iv_[kBlockSize] = {};
  uint8_t key_[SK_Cast128::kMaxKeyBytes] = {};
  size_t keyLength_ = 0;
  SK_Cast128 cast_;

  Mode mode_ = Mode::kIdle;
  uint8_t chain_[kBlockSize] = {};     // previous ciphertext block
  uint8_t pending_[kBlockSize] = {};   // input not yet a whole block
  size_t pendingLength_ = 0;
  uint8_t held_[kBlockSize] = {};      // last plaintext block, kept for Finish
  bool holding_ = false;
};
