#include "credentials/CliDecryptor.h"

#include <cstring>
#include <new>

#include "common/Base64.h"
#include "credentials/sk/SK_Cipher.h"
#include "credentials/sk/SK_Hasher.h"
#include "credentials/sk/SK_Toolkit.h"
#include "credentials/sk/SK_User.h"

namespace {

constexpr char kDerivationWord[] = "QOFTWVAN";
constexpr char kInitialisationVector[] = "60917342";
constexpr unsigned long kKeyBits = 128;
constexpr size_t kKeyBytes = kKeyBits / 8;
constexpr size_t kSha1Bytes = 20;
constexpr unsigned long kUserNumber = 100;

// Base64 text of data as ASCII bytes in out; the intermediate string is
// wiped since the data may be key material.
SK_Status StoreBase64(const BinData& data, BinData& out) {
  GString text = Base64Encode(data);
  out.Clear();
  const SK_Status status = text.IsEmpty() && !data.IsEmpty() ? kSkNoMemory : out.Assign(text.Text(), text.Size());
  text.Wipe();
  return status;
}

}  // namespace

CliDecryptor::CliDecryptor(const BinData& temporaryPassword, const BinData& cardText)
    : temporaryPassword_(temporaryPassword), cardText_(cardText) {
  if (SK_Startup(0) == kSkOk) {
    user_.reset(new (std::nothrow) SK_User(kSkKeyCast128, kSkHashSha1, kUserNumber));
  }
}

CliDecryptor::~CliDecryptor() {
  temporaryPassword_.Clear();
  cardText_.Clear();
  keyText_.Clear();
  registrationIdentifier_.Clear();
}

// K: the first 16 bytes of SHA-1 applied kDerivationRounds times to
// password, card text and the derivation word.
SK_Status CliDecryptor::DeriveKey(BinData& key) const {
  const size_t wordLength = sizeof kDerivationWord - 1;
  const size_t passwordLength = temporaryPassword_.GetLength();
  const size_t cardLength = cardText_.GetLength();
  const size_t total = passwordLength + cardLength + wordLength;
  key.Clear();
  // One allocation large enough for the message and every digest, so the
  // buffer never moves and leaves no unwiped copy behind.
  SK_Status status = key.SetLength(total > kSha1Bytes ? total : kSha1Bytes);
  if (status == kSkOk) status = key.SetLength(total);
  if (status != kSkOk) {
    key.Clear();
    return status;
  }
  uint8_t* bytes = key.GetData();
  std::memcpy(bytes, temporaryPassword_.GetData(), passwordLength);
  std::memcpy(bytes + passwordLength, cardText_.GetData(), cardLength);
  std::memcpy(bytes + passwordLength + cardLength, kDerivationWord, wordLength);
  const SK_Hasher sha1(kSkHashSha1);
  for (int round = 0; round < kDerivationRounds && status == kSkOk; ++round) status = sha1.HashInPlace(key);
  if (status == kSkOk) status = key.SetLength(kKeyBytes);
  if (status != kSkOk) key.Clear();
  return status;
}

// The set-up sequence of the toolkit's cipher: initialisation vector, key
// length, a generated key, then K installed over it.
SK_Status CliDecryptor::SetUpCipher(SK_Cipher& cipher, const BinData& key) const {
  SK_Status status = cipher.SetIV(reinterpret_cast<const uint8_t*>(kInitialisationVector),
                                  sizeof kInitialisationVector - 1);
  if (status == kSkOk) status = cipher.SetKeyLength(kKeyBits);
  if (status == kSkOk) status = cipher.GenerateKey();
  if (status == kSkOk) status = cipher.SetKey(key);
  return status;
}

int CliDecryptor::Prepare() {
  if (temporaryPassword_.IsEmpty() || cardText_.IsEmpty()) return 1;
  if (!user_) return 2;
  keyText_.Clear();
  registrationIdentifier_.Clear();

  BinData key;
  SK_Status status = DeriveKey(key);
  if (status == kSkOk) {
    SK_Cipher cipher(*user_);
    status = SetUpCipher(cipher, key);
  }
  BinData digest;
  if (status == kSkOk) status = digest.SetLength(kSha1Bytes);
  if (status == kSkOk) status = digest.Assign(key.GetData(), key.GetLength());
  if (status == kSkOk) status = SK_Hasher(kSkHashSha1).HashInPlace(digest);
  if (status == kSkOk) status = StoreBase64(key, keyText_);
  if (status == kSkOk) status = StoreBase64(digest, registrationIdentifier_);
  key.Clear();
  digest.Clear();
  if (status != kSkOk) {
    keyText_.Clear();
    registrationIdentifier_.Clear();
    return 2;
  }
  return 0;
}

void CliDecryptor::GetRegistrationIdentifier(BinData& out) const {
  if (out.Assign(registrationIdentifier_.GetData(), registrationIdentifier_.GetLength()) != kSkOk) out.Clear();
}

SK_Status CliDecryptor::Decrypt(const GString& base64, BinData& out) {
  if (!user_) return kSkNoKey;
  BinData key;
  BinData ciphertext;
  BinData plaintext;
  SK_Status status = kSkOk;
  if (!Base64Decode(reinterpret_cast<const char*>(keyText_.GetData()), keyText_.GetLength(), key)) {
    status = kSkBadEncoding;
  }
  SK_Cipher cipher(*user_);
  if (status == kSkOk) status = SetUpCipher(cipher, key);
  if (status == kSkOk && !Base64Decode(base64, ciphertext)) status = kSkBadEncoding;
  // Room for the whole plaintext up front (emptied without being freed), so
  // appending never moves it and leaves no unwiped copy behind.
  if (status == kSkOk) status = plaintext.SetLength(ciphertext.GetLength());
  if (status == kSkOk) status = plaintext.Assign("", 0);
  if (status == kSkOk) status = cipher.DecryptStart();
  if (status == kSkOk) status = cipher.DecryptUpdate(ciphertext.GetData(), ciphertext.GetLength(), plaintext);
  if (status == kSkOk) status = cipher.DecryptFinish(plaintext);
  if (status == kSkOk) status = out.Append(plaintext);
  key.Clear();
  plaintext.Clear();
  return status;
}

SK_Status CliDecryptor::Encrypt(const BinData& plaintext, GString& base64) {
  if (!user_) return kSkNoKey;
  BinData key;
  BinData ciphertext;
  SK_Status status = kSkOk;
  if (keyText_.IsEmpty()) status = kSkKeyTooShort;
  if (status == kSkOk &&
      !Base64Decode(reinterpret_cast<const char*>(keyText_.GetData()), keyText_.GetLength(), key)) {
    status = kSkBadEncoding;
  }
  SK_Cipher cipher(*user_);
  if (status == kSkOk) status = SetUpCipher(cipher, key);
  if (status == kSkOk) status = cipher.EncryptStart();
  if (status == kSkOk) status = cipher.EncryptUpdate(plaintext.GetData(), plaintext.GetLength(), ciphertext);
  if (status == kSkOk) status = cipher.EncryptFinish(ciphertext);
  if (status == kSkOk) base64 = Base64Encode(ciphertext);
  key.Clear();
  return status;
}
