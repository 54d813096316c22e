#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/BinData.h"
#include "session/OpenSslTypes.h"

namespace session {

// The cost of the password-based key derivation (scrypt) that protects a
// profile's private key. Default() is what every profile is written with;
// tests pass a cheaper cost explicitly.
struct KdfCost {
  uint64_t log2N = 14;
  uint64_t r = 8;
  uint64_t p = 1;
  static KdfCost Default() { return KdfCost(); }
};

// What opening a profile's private key found.
enum class UnlockResult { kOpened, kWrongPassword, kDamaged };

// One security profile (".epf"): the holder's certificate, the certificate of
// the organisation's authority, and the holder's private key as an encrypted
// PKCS#8 structure (scrypt + AES-256-CBC) that only the password opens. Its
// text is INI (see IniDocument) so that the program's long-value reader can
// read section "options", key EncryptWith:
//
//   [options]
//   EncryptWith=CAST128
//   [profile]
//   Format=1
//   Certificate=<base64 DER, continued over "_continue_=" lines>
//   Authority=<base64 DER>
//   PrivateKey=<base64 DER of the encrypted PKCS#8 structure>
//
// The class holds no secret in the clear: the key is only decrypted into the
// EVP_PKEY that Unlock returns.
class Profile {
 public:
  static constexpr int kFormat = 1;

  // Builds a profile for key and certificate, encrypting the key under the
  // password (which must not be empty). False on an OpenSSL failure or when
  // key and certificate do not belong together.
  static bool Create(EVP_PKEY* key, X509* certificate, X509* authority, const void* password,
                     size_t passwordLength, const KdfCost& cost, Profile& out);

  // Reads a profile's text. False when it is not a complete profile of this
  // format (missing or undecodable parts).
  static bool Parse(const char* text, size_t length, Profile& out);
  std::string Serialize() const;

  // Decrypts the private key and checks that it belongs to the certificate.
  UnlockResult Unlock(const void* password, size_t passwordLength, EvpPkeyPtr& key) const;

  // Replaces the encrypted key with key encrypted under a new password.
  bool Relock(EVP_PKEY* key, const void* password, size_t passwordLength, const KdfCost& cost);

  // Owned by the profile; valid while it lives.
  X509* GetCertificate() const { return certificate_.get(); }
  X509* GetAuthority() const { return authority_.get(); }
  const std::string& GetEncryptWith() const { return encryptWith_; }
  // True when the certificate names a server proxy (TLS server usage).
  bool IsServer() const;

 private:
  static bool EncryptKey(EVP_PKEY* key, const void* password, size_t passwordLength,
                         const KdfCost& cost, BinData& out);

  X509Ptr certificate_;
  X509Ptr authority_;
  BinData encryptedKey_;
  std::string encryptWith_ = "CAST128";
};

}  // namespace session
