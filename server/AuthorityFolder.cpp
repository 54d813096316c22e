#include "server/AuthorityFolder.h"

#include <openssl/pem.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "platform/Files.h"
#include "session/CertificateAuthority.h"

namespace {

std::string PathIn(const std::string& folder, const char* file) { return folder + "/" + file; }

bool Exists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

// The PEM text of what write puts into a memory BIO.
template <typename Write>
bool ToPem(Write write, std::string& text) {
  session::BioPtr bio(BIO_new(BIO_s_mem()));
  if (!bio || !write(bio.get())) return false;
  char* data = nullptr;
  long length = BIO_get_mem_data(bio.get(), &data);
  if (length <= 0) return false;
  text.assign(data, static_cast<size_t>(length));
  OPENSSL_cleanse(data, static_cast<size_t>(length));
  return true;
}

}  // namespace

bool AuthorityFolder::Create(const std::string& folder, const X509_NAME* name, long days, bool replace,
                             std::string& error) {
  std::string keyPath = PathIn(folder, kKeyFile);
  std::string certificatePath = PathIn(folder, kCertificateFile);
  if (!replace && (Exists(keyPath) || Exists(certificatePath))) {
    error = "an authority already exists in " + folder + " (use --force to replace it)";
    return false;
  }
  if (!Exists(folder) && ::mkdir(folder.c_str(), 0700) != 0) {
    error = "cannot create the folder " + folder + ": " + std::strerror(errno);
    return false;
  }
  session::EvpPkeyPtr key = session::CertificateAuthority::GenerateKey();
  time_t now = time(nullptr);
  session::X509Ptr certificate =
      key ? session::CertificateAuthority::CreateRoot(key.get(), name, now - 300, now + days * 86400) : nullptr;
  std::string keyText;
  std::string certificateText;
  if (!certificate ||
      !ToPem([&](BIO* bio) { return PEM_write_bio_PKCS8PrivateKey(bio, key.get(), nullptr, nullptr, 0, nullptr, nullptr) == 1; },
             keyText) ||
      !ToPem([&](BIO* bio) { return PEM_write_bio_X509(bio, certificate.get()) == 1; }, certificateText)) {
    error = "cannot make the authority's key and certificate";
    return false;
  }
  AtomicWriteOptions options;
  options.replace = replace;
  options.newFileMode = 0600;
  bool written = WriteFileAtomically(keyPath.c_str(), keyText.data(), keyText.size(), options) &&
                 WriteFileAtomically(certificatePath.c_str(), certificateText.data(), certificateText.size(),
                                     options);
  OPENSSL_cleanse(keyText.data(), keyText.size());
  if (!written) {
    error = "cannot write the authority's files in " + folder;
    return false;
  }
  ::chmod(certificatePath.c_str(), 0644);
  return true;
}

bool AuthorityFolder::Load(const std::string& folder, session::EvpPkeyPtr& key, session::X509Ptr& certificate,
                           std::string& error) {
  std::string keyPath = PathIn(folder, kKeyFile);
  std::string certificatePath = PathIn(folder, kCertificateFile);
  session::BioPtr keyFile(BIO_new_file(keyPath.c_str(), "r"));
  session::BioPtr certificateFile(BIO_new_file(certificatePath.c_str(), "r"));
  if (!keyFile || !certificateFile) {
    error = "no authority in " + folder + " (expected " + kKeyFile + " and " + kCertificateFile + ")";
    return false;
  }
  key.reset(PEM_read_bio_PrivateKey(keyFile.get(), nullptr, nullptr, nullptr));
  certificate.reset(PEM_read_bio_X509(certificateFile.get(), nullptr, nullptr, nullptr));
  if (!key || !certificate || X509_check_private_key(certificate.get(), key.get()) != 1) {
    error = "the authority's files in " + folder + " are damaged or do not belong together";
    return false;
  }
  return true;
}
