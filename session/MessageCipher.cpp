#include "session/MessageCipher.h"

#include <openssl/crypto.h>

#include <climits>
#include <cstring>

namespace session {

namespace {

// EVP calls take int lengths: longer inputs go in pieces.
constexpr size_t kPiece = size_t{1} << 30;

bool AddAad(EVP_CIPHER_CTX* context, const uint8_t* data, size_t length) {
  while (length > 0) {
    int piece = static_cast<int>(length < kPiece ? length : kPiece);
    int ignored = 0;
    if (EVP_CipherUpdate(context, nullptr, &ignored, data, piece) != 1) return false;
    data += piece;
    length -= static_cast<size_t>(piece);
  }
  return true;
}

bool Transform(EVP_CIPHER_CTX* context, const uint8_t* in, size_t length, uint8_t* out) {
  while (length > 0) {
    int piece = static_cast<int>(length < kPiece ? length : kPiece);
    int written = 0;
    if (EVP_CipherUpdate(context, out, &written, in, piece) != 1 || written != piece) return false;
    in += piece;
    out += piece;
    length -= static_cast<size_t>(piece);
  }
  return true;
}

}  // namespace

MessageCipher::~MessageCipher() { OPENSSL_cleanse(iv_, sizeof iv_); }

bool MessageCipher::Init(const uint8_t* key, const uint8_t* iv, bool encrypt) {
  context_.reset(EVP_CIPHER_CTX_new());
  if (!context_) return false;
  encrypt_ = encrypt;
  std::memcpy(iv_, iv, kIvLength);
  return EVP_CipherInit_ex(context_.get(), EVP_aes_256_gcm(), nullptr, key, nullptr,
                           encrypt ? 1 : 0) == 1;
}

bool MessageCipher::Start(uint64_t sequence) {
  uint8_t nonce[kIvLength];
  std::memcpy(nonce, iv_, kIvLength);
  for (size_t i = 0; i < 8; ++i)
    nonce[kIvLength - 1 - i] ^= static_cast<uint8_t>(sequence >> (8 * i));
  bool ok = EVP_CipherInit_ex(context_.get(), nullptr, nullptr, nullptr, nonce, encrypt_ ? 1 : 0) == 1;
  OPENSSL_cleanse(nonce, sizeof nonce);
  return ok;
}

bool MessageCipher::Seal(uint64_t sequence, const uint8_t* aad, size_t aadLength,
                         const uint8_t* message, size_t messageLength, bool confidential,
                         uint8_t* out, uint8_t* tag) {
  if (!context_ || !encrypt_ || !Start(sequence) || !AddAad(context_.get(), aad, aadLength))
    return false;
  bool ok = confidential ? Transform(context_.get(), message, messageLength, out)
                         : AddAad(context_.get(), message, messageLength);
  int ignored = 0;
  uint8_t none[16];
  return ok && EVP_CipherFinal_ex(context_.get(), none, &ignored) == 1 &&
         EVP_CIPHER_CTX_ctrl(context_.get(), EVP_CTRL_GCM_GET_TAG, kTagLength, tag) == 1;
}

bool MessageCipher::Open(uint64_t sequence, const uint8_t* aad, size_t aadLength,
                         const uint8_t* message, size_t messageLength, bool confidential,
                         uint8_t* out, const uint8_t* tag) {
  if (!context_ || encrypt_ || !Start(sequence) || !AddAad(context_.get(), aad, aadLength))
    return false;
  bool ok = confidential ? Transform(context_.get(), message, messageLength, out)
                         : AddAad(context_.get(), message, messageLength);
  uint8_t expected[kTagLength];
  std::memcpy(expected, tag, kTagLength);
  int ignored = 0;
  uint8_t none[16];
  return ok &&
         EVP_CIPHER_CTX_ctrl(context_.get(), EVP_CTRL_GCM_SET_TAG, kTagLength, expected) == 1 &&
         EVP_CipherFinal_ex(context_.get(), none, &ignored) == 1;
}

}  // namespace session
