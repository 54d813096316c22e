// Passwords and private keys must be overwritten before their memory is
// freed. This binary watches every free: the C++ allocator and OpenSSL's are
// routed through a header that records each block's size, and each block is
// searched for the watched secrets at the moment it is freed.
//
// Passwords are watched everywhere. OpenSSL 3.0's own key encoders and
// decoders free copies of a private key without wiping them, which no caller
// can change; for the key, only the program's own allocations are watched.
#include <openssl/crypto.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "server/PasswordInput.h"
#include "session/CvsApi.h"
#include "session/DistinguishedName.h"
#include "session/ProfileStore.h"
#include "tests/session/TestPki.h"

namespace {

constexpr size_t kHeader = 16;
constexpr size_t kEdge = 4;

// Secrets being watched: fixed storage, never on the heap. The last one may
// be watched in the program's own allocations only.
constexpr int kMaxWatched = 3;
char watched[kMaxWatched][64];
size_t watchedLength[kMaxWatched];
bool ownOnly[kMaxWatched];
std::atomic<int> watchedCount{0};
std::atomic<int> leaks{0};

// A block leaks a secret when it still holds the secret's middle: a string
// that was only cleared (its first byte overwritten) counts as a leak.
void Inspect(const void* block, size_t size, bool fromOpenSsl) {
  int count = watchedCount.load();
  for (int i = 0; i < count; ++i) {
    if (fromOpenSsl && ownOnly[i]) continue;
    const char* middle = watched[i] + kEdge;
    size_t length = watchedLength[i] - 2 * kEdge;
    if (size >= length && memmem(block, size, middle, length) != nullptr) ++leaks;
  }
}

void* Allocate(size_t size) {
  auto* raw = static_cast<unsigned char*>(std::malloc(size + kHeader));
  if (raw == nullptr) return nullptr;
  std::memcpy(raw, &size, sizeof size);
  return raw + kHeader;
}

void Release(void* block, bool fromOpenSsl) {
  if (block == nullptr) return;
  unsigned char* raw = static_cast<unsigned char*>(block) - kHeader;
  size_t size = 0;
  std::memcpy(&size, raw, sizeof size);
  Inspect(block, size, fromOpenSsl);
  std::free(raw);
}

void* Reallocate(void* block, size_t size) {
  void* grown = Allocate(size);
  if (grown == nullptr || block == nullptr) return grown;
  size_t old = 0;
  std::memcpy(&old, static_cast<unsigned char*>(block) - kHeader, sizeof old);
  std::memcpy(grown, block, old < size ? old : size);
  Release(block, true);
  return grown;
}

constexpr char kPassword[] = "Pw-7f3a9c-zeroize-me";
constexpr char kNewPassword[] = "Pw-51d0e2-zeroize-too";

void* CryptoMalloc(size_t size, const char*, int) { return Allocate(size); }
void* CryptoRealloc(void* block, size_t size, const char*, int) { return Reallocate(block, size); }
void CryptoFree(void* block, const char*, int) { Release(block, true); }

// Must run before OpenSSL allocates anything.
const bool hooked = CRYPTO_set_mem_functions(CryptoMalloc, CryptoRealloc, CryptoFree) == 1;

void Watch(const void* secret, size_t length, bool onlyOwnAllocations = false) {
  int index = watchedCount.load();
  ASSERT_LT(index, kMaxWatched);
  ASSERT_LE(length, sizeof watched[index]);
  ASSERT_GT(length, 4 * kEdge);
  std::memcpy(watched[index], secret, length);
  watchedLength[index] = length;
  ownOnly[index] = onlyOwnAllocations;
  watchedCount = index + 1;
}

// Writes the password file from static storage, so the test leaves no heap
// copy of its own.
void WritePasswordFile(const std::string& path) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(static_cast<ssize_t>(sizeof kPassword - 1), write(fd, kPassword, sizeof kPassword - 1));
  ASSERT_EQ(1, write(fd, "\n", 1));
  close(fd);
}

gss_cred_id_t Acquire(const std::string& path, const char* password, OM_uint32& major) {
  OM_uint32 minor = 0;
  gss_buffer_desc pathBuffer{path.size(), const_cast<char*>(path.data())};
  gss_name_t name = GSS_C_NO_NAME;
  gss_import_name(&minor, &pathBuffer, GSS_SPKM_NT_USER_NAME, &name);
  gss_buffer_desc secret{std::strlen(password), const_cast<char*>(password)};
  gss_cred_id_t credential = GSS_C_NO_CREDENTIAL;
  major = cvs_acquire_cred(&minor, name, 0, GSS_C_NO_OID_SET, GSS_C_INITIATE, &credential, &secret);
  gss_release_name(&minor, &name);
  return credential;
}

TEST(SecretHygieneTest, PasswordsAndPrivateKeysAreWipedBeforeTheyAreFreed) {
  ASSERT_TRUE(hooked) << "OpenSSL allocated before the watch was installed";
  Watch(kPassword, sizeof kPassword - 1);
  Watch(kNewPassword, sizeof kNewPassword - 1);

  // A profile whose private scalar is watched too.
  session::EvpPkeyPtr key = session::CertificateAuthority::GenerateKey();
  BIGNUM* scalar = nullptr;
  ASSERT_EQ(1, EVP_PKEY_get_bn_param(key.get(), OSSL_PKEY_PARAM_PRIV_KEY, &scalar));
  unsigned char scalarBytes[32];
  ASSERT_EQ(32, BN_bn2binpad(scalar, scalarBytes, sizeof scalarBytes));
  BN_clear_free(scalar);
  Watch(scalarBytes, sizeof scalarBytes, true);
  OPENSSL_cleanse(scalarBytes, sizeof scalarBytes);

  TestPki& pki = TestPki::Instance();
  session::X509NamePtr subject = session::DistinguishedName::Parse(std::string("cn=Alice,o=Example"));
  session::Profile profile;
  session::EvpPkeyPtr authorityKey = session::CertificateAuthority::GenerateKey();
  time_t now = time(nullptr);
  session::X509Ptr authority =
      session::CertificateAuthority::CreateRoot(authorityKey.get(), subject.get(), now - 60, now + 86400);
  session::X509Ptr certificate = session::CertificateAuthority::Issue(
      authorityKey.get(), authority.get(), subject.get(), key.get(),
      session::CertificateAuthority::Role::kUser, now - 60, now + 86400);
  ASSERT_TRUE(session::Profile::Create(key.get(), certificate.get(), authority.get(), kPassword,
                                       sizeof kPassword - 1, TestPki::CheapCost(), profile));
  std::string userPath = pki.NewPath("watched");
  ASSERT_EQ(session::ProfileStore::Result::kDone, session::ProfileStore::Save(userPath.c_str(), profile, false));
  key.reset();

  OM_uint32 major = 0;
  OM_uint32 minor = 0;
  gss_cred_id_t wrong = Acquire(userPath, kNewPassword, major);
  EXPECT_EQ(0x000D0000u, major);
  gss_cred_id_t credential = Acquire(userPath, kPassword, major);
  ASSERT_EQ(0u, major);
  gss_buffer_desc oldSecret{sizeof kPassword - 1, const_cast<char*>(kPassword)};
  gss_buffer_desc newSecret{sizeof kNewPassword - 1, const_cast<char*>(kNewPassword)};
  EXPECT_EQ(0u, cvs_change_password(&minor, credential, &oldSecret, &newSecret));
  gss_release_cred(&minor, &credential);
  gss_release_cred(&minor, &wrong);
  credential = Acquire(userPath, kNewPassword, major);
  EXPECT_EQ(0u, major);
  gss_release_cred(&minor, &credential);

  std::string passwordFile = pki.NewPath("password");
  WritePasswordFile(passwordFile);
  {
    std::string read;
    std::string error;
    ASSERT_TRUE(PasswordInput::FromFile(passwordFile, read, error));
    PasswordInput::Wipe(read);
  }

  EXPECT_EQ(0, leaks.load());
}

}  // namespace

void* operator new(size_t size) {
  void* block = Allocate(size);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}
void* operator new[](size_t size) { return operator new(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* block) noexcept { Release(block, false); }
void operator delete[](void* block) noexcept { Release(block, false); }
void operator delete(void* block, size_t) noexcept { Release(block, false); }
void operator delete[](void* block, size_t) noexcept { Release(block, false); }
void operator delete(void* block, const std::nothrow_t&) noexcept { Release(block, false); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { Release(block, false); }
