#include "session/Profile.h"

#include <openssl/err.h>
#include <openssl/pkcs12.h>
#include <openssl/rand.h>

#include <climits>

#include "common/Base64.h"
#include "session/IniDocument.h"

namespace session {

namespace {

constexpr char kOptions[] = "options";
constexpr char kEncryptWith[] = "EncryptWith";
constexpr char kSection[] = "profile";
constexpr char kFormatKey[] = "Format";
constexpr char kCertificateKey[] = "Certificate";
constexpr char kAuthorityKey[] = "Authority";
constexpr char kPrivateKeyKey[] = "PrivateKey";
constexpr size_t kSaltLength = 16;

bool DecodeValue(const IniDocument& ini, const char* key, BinData& out) {
  std::string value;
  if (!ini.Get(kSection, key, value) || value.empty()) return false;
  return Base64Decode(value.data(), value.size(), out) && !out.IsEmpty();
}

X509Ptr DecodeCertificate(const IniDocument& ini, const char* key) {
  BinData der;
  if (!DecodeValue(ini, key, der)) return nullptr;
  const unsigned char* cursor = der.GetData();
  X509Ptr certificate(d2i_X509(nullptr, &cursor, static_cast<long>(der.GetLength())));
  if (certificate && cursor != der.GetData() + der.GetLength()) return nullptr;
  return certificate;
}

std::string EncodeCertificate(X509* certificate) {
  unsigned char* der = nullptr;
  int length = i2d_X509(certificate, &der);
  if (length <= 0) return std::string();
  GString text = Base64Encode(der, static_cast<size_t>(length));
  OPENSSL_free(der);
  return std::string(text.Text(), text.Size());
}

bool PasswordFits(size_t length) { return length <= static_cast<size_t>(INT_MAX); }

}  // namespace

bool Profile::Create(EVP_PKEY* key, X509* certificate, X509* authority, const void* password,
                     size_t passwordLength, const KdfCost& cost, Profile& out) {
  if (key == nullptr || certificate == nullptr || authority == nullptr || passwordLength == 0)
    return false;
  if (X509_check_private_key(certificate, key) != 1) return false;
  if (X509_up_ref(certificate) != 1) return false;
  out.certificate_.reset(certificate);
  if (X509_up_ref(authority) != 1) return false;
  out.authority_.reset(authority);
  out.encryptWith_ = "CAST128";
  return EncryptKey(key, password, passwordLength, cost, out.encryptedKey_);
}

bool Profile::EncryptKey(EVP_PKEY* key, const void* password, size_t passwordLength,
                         const KdfCost& cost, BinData& out) {
  if (passwordLength == 0 || !PasswordFits(passwordLength) || cost.log2N >= 63) return false;
  Pkcs8InfoPtr info(EVP_PKEY2PKCS8(key));
  unsigned char salt[kSaltLength];
  if (!info || RAND_bytes(salt, sizeof salt) != 1) return false;
  X509AlgorPtr algorithm(PKCS5_pbe2_set_scrypt(EVP_aes_256_cbc(), salt, sizeof salt, nullptr,
                                               uint64_t{1} << cost.log2N, cost.r, cost.p));
  if (!algorithm) return false;
  X509SigPtr sealed(PKCS8_set0_pbe(static_cast<const char*>(password),
                                   static_cast<int>(passwordLength), info.get(), algorithm.get()));
  if (!sealed) return false;
  algorithm.release();  // now owned by sealed
  unsigned char* der = nullptr;
  int length = i2d_X509_SIG(sealed.get(), &der);
  if (length <= 0) return false;
  bool stored = out.Assign(der, static_cast<size_t>(length)) == 0;
  OPENSSL_free(der);
  return stored;
}

bool Profile::Parse(const char* text, size_t length, Profile& out) {
  IniDocument ini;
  if (!ini.Parse(text, length)) return false;
  std::string format;
  if (!ini.Get(kSection, kFormatKey, format) || format != std::to_string(kFormat)) return false;
  out.certificate_ = DecodeCertificate(ini, kCertificateKey);
  out.authority_ = DecodeCertificate(ini, kAuthorityKey);
  if (!out.certificate_ || !out.authority_) return false;
  if (!DecodeValue(ini, kPrivateKeyKey, out.encryptedKey_)) return false;
  const unsigned char* cursor = out.encryptedKey_.GetData();
  X509SigPtr sealed(d2i_X509_SIG(nullptr, &cursor, static_cast<long>(out.encryptedKey_.GetLength())));
  if (!sealed) return false;
  std::string encryptWith;
  out.encryptWith_ = ini.Get(kOptions, kEncryptWith, encryptWith) ? encryptWith : "CAST128";
  return true;
}

std::string Profile::Serialize() const {
  IniDocument ini;
  ini.Set(kOptions, kEncryptWith, encryptWith_);
  ini.Set(kSection, kFormatKey, std::to_string(kFormat));
  ini.Set(kSection, kCertificateKey, EncodeCertificate(certificate_.get()));
  ini.Set(kSection, kAuthorityKey, EncodeCertificate(authority_.get()));
  GString key = Base64Encode(encryptedKey_);
  ini.Set(kSection, kPrivateKeyKey, std::string(key.Text(), key.Size()));
  return ini.Serialize();
}

UnlockResult Profile::Unlock(const void* password, size_t passwordLength, EvpPkeyPtr& key) const {
  if (!PasswordFits(passwordLength)) return UnlockResult::kWrongPassword;
  const unsigned char* cursor = encryptedKey_.GetData();
  X509SigPtr sealed(d2i_X509_SIG(nullptr, &cursor, static_cast<long>(encryptedKey_.GetLength())));
  if (!sealed) return UnlockResult::kDamaged;
  static const char kNone = 0;
  const char* text = passwordLength == 0 ? &kNone : static_cast<const char*>(password);
  Pkcs8InfoPtr info(PKCS8_decrypt(sealed.get(), text, static_cast<int>(passwordLength)));
  if (!info) {
    ERR_clear_error();
    return UnlockResult::kWrongPassword;
  }
  EvpPkeyPtr opened(EVP_PKCS82PKEY(info.get()));
  if (!opened || X509_check_private_key(certificate_.get(), opened.get()) != 1) {
    ERR_clear_error();
    return UnlockResult::kDamaged;
  }
  key = std::move(opened);
  return UnlockResult::kOpened;
}

bool Profile::Relock(EVP_PKEY* key, const void* password, size_t passwordLength,
                     const KdfCost& cost) {
  BinData sealed;
  if (!EncryptKey(key, password, passwordLength, cost, sealed)) return false;
  encryptedKey_ = std::move(sealed);
  return true;
}

bool Profile::IsServer() const {
  uint32_t usage = X509_get_extended_key_usage(certificate_.get());
  return usage != UINT32_MAX && (usage & XKU_SSL_SERVER) != 0;
}

}  // namespace session
