#include "credentials/sk/SK_Cipher.h"

#include <algorithm>
#include <cstring>

#include "credentials/sk/SK_User.h"
#include "credentials/sk/SK_Wipe.h"

SK_Cipher::SK_Cipher(SK_User& user) : user_(user) {}

SK_Cipher::~SK_Cipher() {
  Stop();
  SK_Wipe(key_, sizeof key_);
}

SK_Status SK_Cipher::SetIV(const uint8_t* iv, size_t length) {
  if (iv == nullptr || length != kBlockSize) return kSkBadArgument;
  std::memcpy(iv_, iv, kBlockSize);
  return kSkOk;
}

SK_Status SK_Cipher::SetKeyLength(unsigned long bits) {
  if (bits % 8 != 0 || bits < SK_Cast128::kMinKeyBytes * 8 || bits > SK_Cast128::kMaxKeyBytes * 8) {
    return kSkBadArgument;
  }
  keyBits_ = bits;
  return kSkOk;
}

SK_Status SK_Cipher::InstallKey(const uint8_t* key, size_t length) {
  Stop();
  if (key != key_) std::memmove(key_, key, length);
  keyLength_ = length;
  keyBits_ = length * 8;
  return cast_.SetKey(key_, keyLength_) ? kSkOk : kSkBadArgument;
}

SK_Status SK_Cipher::GenerateKey() {
  const size_t length = keyBits_ / 8;
  const SK_Status status = user_.GenerateRandom(key_, length);
  if (status != kSkOk) {
    SK_Wipe(key_, sizeof key_);
    keyLength_ = 0;
    cast_.Clear();
    return status;
  }
  return InstallKey(key_, length);
}

SK_Status SK_Cipher::SetKey(const uint8_t* material, size_t length) {
  const size_t needed = keyBits_ / 8;
  if (material == nullptr || length < needed) return kSkKeyTooShort;
  return InstallKey(material, needed);
}

void SK_Cipher::Stop() {
  mode_ = Mode::kIdle;
  SK_Wipe(chain_, sizeof chain_);
  SK_Wipe(pending_, sizeof pending_);
  SK_Wipe(held_, sizeof held_);
  pendingLength_ = 0;
  holding_ = false;
}

SK_Status SK_Cipher::Start(Mode mode) {
  Stop();
  if (!cast_.HasKey()) return kSkNoKey;
  std::memcpy(chain_, iv_, kBlockSize);
  mode_ = mode;
  return kSkOk;
}

SK_Status SK_Cipher::EncryptStart() { return Start(Mode::kEncrypting); }

SK_Status SK_Cipher::DecryptStart() { return Start(Mode::kDecrypting); }

SK_Status SK_Cipher::EncryptUpdate(const uint8_t* data, size_t length, BinData& out) {
  if (mode_ != Mode::kEncrypting) return kSkWrongState;
  if (data == nullptr && length != 0) return kSkBadArgument;
  while (length > 0) {
    const size_t take = std::min(length, kBlockSize - pendingLength_);
    std::memcpy(pending_ + pendingLength_, data, take);
    pendingLength_ += take;
    data += take;
    length -= take;
    if (pendingLength_ < kBlockSize) break;
    for (size_t i = 0; i < kBlockSize; ++i) chain_[i] ^= pending_[i];
    cast_.EncryptBlock(chain_, chain_);
    pendingLength_ = 0;
    const SK_Status status = out.Append(chain_, kBlockSize);
    if (status != kSkOk) {
      Stop();
      return status;
    }
  }
  return kSkOk;
}

SK_Status SK_Cipher::EncryptFinish(BinData& out) {
  if (mode_ != Mode::kEncrypting) return kSkWrongState;
  const uint8_t pad = static_cast<uint8_t>(kBlockSize - pendingLength_);
  uint8_t padding[kBlockSize];
  std::memset(padding, pad, pad);
  const SK_Status status = EncryptUpdate(padding, pad, out);
  Stop();
  return status;
}

// Decrypts the whole block in pending_, releases the plaintext block held
// back so far and holds the new one instead.
SK_Status SK_Cipher::DecryptPending(BinData& out) {
  uint8_t plain[kBlockSize];
  cast_.DecryptBlock(pending_, plain);
  for (size_t i = 0; i < kBlockSize; ++i) plain[i] ^= chain_[i];
  std::memcpy(chain_, pending_, kBlockSize);
  pendingLength_ = 0;
  SK_Status status = kSkOk;
  if (holding_) status = out.Append(held_, kBlockSize);
  std::memcpy(held_, plain, kBlockSize);
  holding_ = true;
  SK_Wipe(plain, sizeof plain);
  return status;
}

SK_Status SK_Cipher::DecryptUpdate(const uint8_t* data, size_t length, BinData& out) {
  if (mode_ != Mode::kDecrypting) return kSkWrongState;
  if (data == nullptr && length != 0) return kSkBadArgument;
  while (length > 0) {
    const size_t take = std::min(length, kBlockSize - pendingLength_);
    std::memcpy(pending_ + pendingLength_, data, take);
    pendingLength_ += take;
    data += take;
    length -= take;
    if (pendingLength_ < kBlockSize) break;
    const SK_Status status = DecryptPending(out);
    if (status != kSkOk) {
      Stop();
      return status;
    }
  }
  return kSkOk;
}

SK_Status SK_Cipher::DecryptFinish(BinData& out) {
  if (mode_ != Mode::kDecrypting) return kSkWrongState;
  SK_Status status = kSkOk;
  if (pendingLength_ != 0 || !holding_) {
    status = kSkBadLength;
  } else {
    const uint8_t pad = held_[kBlockSize - 1];
    bool valid = pad >= 1 && pad <= kBlockSize;
    for (size_t i = kBlockSize - (valid ? pad : 0); i < kBlockSize; ++i) valid = valid && held_[i] == pad;
    if (valid) {
      status = out.Append(held_, kBlockSize - pad);
    } else {
      status = kSkBadPadding;
    }
  }
  Stop();
  return status;
}
