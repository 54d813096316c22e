#pragma once

#include <memory>

#include "common/BinData.h"
#include "common/GString.h"
#include "credentials/sk/SK_Types.h"

class SK_Cipher;
class SK_User;

// The client half of card-number enrollment. From the temporary password and
// the card text it derives a 128-bit key K that never leaves the computer;
// the registration server identifies the card holder by SHA-1(K) and returns
// the reference number and authorization code encrypted under K.
//
// The derivation: M = temporary password, card text, then the fixed word
// "QOFTWVAN"; M is replaced by its SHA-1 digest 10000 times; K = the first
// 16 bytes. Replies are CAST-128 in CBC mode with the initialisation vector
// "60917342" and the usual block padding, sent as Base64 text.
//
// The password, card text and key text are wiped by the destructor.
class CliDecryptor {
 public:
  static constexpr int kDerivationRounds = 10000;

  // Keeps copies of both inputs; starts the toolkit (mode 0) and creates the
  // toolkit user object. When either step fails, Prepare reports 2.
  CliDecryptor(const BinData& temporaryPassword, const BinData& cardText);
  CliDecryptor(const CliDecryptor&) = delete;
  CliDecryptor& operator=(const CliDecryptor&) = delete;
  virtual ~CliDecryptor();

  virtual const char* GetRuntimeClassName() const { return "CliDecryptor"; }

  // Derives the key and the registration identifier. Returns 0 on success, 1
  // when the temporary password or the card text is empty, 2 when a toolkit
  // step fails.
  int Prepare();

  // Replaces out by the registration identifier: the 28-character Base64
  // text of SHA-1(K) (empty before a successful Prepare).
  void GetRegistrationIdentifier(BinData& out) const;

  // Decrypts one Base64 value from the server and appends the plaintext to
  // out. Returns 0, or a toolkit status: kSkBadEncoding when the text does
  // not decode, kSkBadLength or kSkBadPadding for a malformed ciphertext,
  // kSkKeyTooShort before a successful Prepare, kSkNoKey when the toolkit
  // could not be started. On failure out is unchanged.
  SK_Status Decrypt(const GString& base64, BinData& out);

  // The registration server's half: encrypts plaintext under the same key
  // and replaces base64 by the Base64 text of the ciphertext. Same results
  // as Decrypt.
  SK_Status Encrypt(const BinData& plaintext, GString& base64);

 private:
  SK_Status DeriveKey(BinData& key) const;
  SK_Status SetUpCipher(SK_Cipher& cipher, const BinData& key) const;

  BinData temporaryPassword_;
  BinData cardText_;
  BinData keyText_;                 // Base64 of K, ASCII
  BinData registrationIdentifier_;  // Base64 of SHA-1(K), ASCII
  std::unique_ptr<SK_User> user_;   // owned; null when creation failed
};
