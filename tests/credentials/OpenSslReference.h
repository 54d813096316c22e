#pragma once

#include <openssl/evp.h>
#include <openssl/provider.h>
#include <openssl/sha.h>

#include <cstdint>
#include <memory>
#include <vector>

// OpenSSL as the independent reference for the toolkit's primitives. CAST5
// lives in OpenSSL's legacy provider, which may be missing: Cast5Available()
// tells, and the tests that need it skip with a message when it is false.
namespace reference {

using Bytes = std::vector<uint8_t>;

struct CipherDeleter {
  void operator()(EVP_CIPHER* cipher) const { EVP_CIPHER_free(cipher); }
};
struct ContextDeleter {
  void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};

// The CAST5 cipher of the given OpenSSL name ("CAST5-CBC", "CAST5-ECB"), or
// null. The providers stay loaded for the life of the process.
inline std::unique_ptr<EVP_CIPHER, CipherDeleter> FetchCast5(const char* name) {
  static OSSL_PROVIDER* legacy = OSSL_PROVIDER_load(nullptr, "legacy");
  static OSSL_PROVIDER* base = OSSL_PROVIDER_load(nullptr, "default");
  if (legacy == nullptr || base == nullptr) return nullptr;
  return std::unique_ptr<EVP_CIPHER, CipherDeleter>(EVP_CIPHER_fetch(nullptr, name, nullptr));
}

inline bool Cast5Available() { return FetchCast5("CAST5-CBC") != nullptr; }

// Runs OpenSSL's CAST5 (key of any length from 5 to 16 bytes) over input.
// With padding on, the usual block padding is added or checked. Returns
// false when OpenSSL refuses (bad padding included).
inline bool Cast5(const char* name, bool encrypt, bool padding, const Bytes& key, const Bytes& iv,
                  const Bytes& input, Bytes& output) {
  auto cipher = FetchCast5(name);
  std::unique_ptr<EVP_CIPHER_CTX, ContextDeleter> context(EVP_CIPHER_CTX_new());
  if (!cipher || !context) return false;
  if (EVP_CipherInit_ex2(context.get(), cipher.get(), nullptr, nullptr, encrypt ? 1 : 0, nullptr) != 1) return false;
  if (EVP_CIPHER_CTX_set_key_length(context.get(), static_cast<int>(key.size())) != 1) return false;
  if (EVP_CipherInit_ex2(context.get(), nullptr, key.data(), iv.empty() ? nullptr : iv.data(), -1, nullptr) != 1) {
    return false;
  }
  EVP_CIPHER_CTX_set_padding(context.get(), padding ? 1 : 0);
  output.assign(input.size() + 16, 0);
  int written = 0;
  int tail = 0;
  if (EVP_CipherUpdate(context.get(), output.data(), &written, input.data(), static_cast<int>(input.size())) != 1 ||
      EVP_CipherFinal_ex(context.get(), output.data() + written, &tail) != 1) {
    return false;
  }
  output.resize(static_cast<size_t>(written + tail));
  return true;
}

inline Bytes Sha1(const Bytes& data) {
  Bytes digest(SHA_DIGEST_LENGTH);
  ::SHA1(data.data(), data.size(), digest.data());
  return digest;
}

}  // namespace reference
