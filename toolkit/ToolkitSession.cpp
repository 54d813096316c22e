#include "toolkit/ToolkitSession.h"

#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/sha.h>

#include <cstring>
#include <ctime>

#include "session/ProfileStore.h"
#include "session/SessionSettings.h"
#include "toolkit/ToolkitStatus.h"

namespace toolkit {

namespace {

struct CmsFree {
  void operator()(CMS_ContentInfo* cms) const { CMS_ContentInfo_free(cms); }
};
using CmsPtr = std::unique_ptr<CMS_ContentInfo, CmsFree>;

int16_t StatusOfLoad(session::ProfileStore::Result result) {
  switch (result) {
    case session::ProfileStore::Result::kDone:
      return ToolkitStatus::kOk;
    case session::ProfileStore::Result::kDamaged:
      return ToolkitStatus::kProfileDamaged;
    default:
      return ToolkitStatus::kProfileUnreadable;
  }
}

int16_t StatusOfUnlock(session::UnlockResult result) {
  switch (result) {
    case session::UnlockResult::kOpened:
      return ToolkitStatus::kOk;
    case session::UnlockResult::kWrongPassword:
      return ToolkitStatus::kWrongPassword;
    default:
      return ToolkitStatus::kProfileDamaged;
  }
}

}  // namespace

ToolkitSession::ToolkitSession(session::EvpPkeyPtr key, session::X509Ptr certificate)
    : key_(std::move(key)), certificate_(std::move(certificate)) {}

ToolkitSession::~ToolkitSession() {
  WipeData();
}

int16_t ToolkitSession::LogIn(const char* profile, const char* password, const char* configFile,
                              std::unique_ptr<ToolkitSession>& out) {
  out.reset();
  if (profile == nullptr || *profile == 0) return ToolkitStatus::kNoProfile;
  if (password == nullptr) return ToolkitStatus::kBadArgument;
  session::Profile opened;
  int16_t status = StatusOfLoad(session::ProfileStore::Load(profile, opened));
  if (status != ToolkitStatus::kOk) return status;
  session::EvpPkeyPtr key;
  status = StatusOfUnlock(opened.Unlock(password, std::strlen(password), key));
  ERR_clear_error();
  if (status != ToolkitStatus::kOk) return status;
  int16_t validity = CheckValidity(opened.GetCertificate());
  if (validity < 0) return validity;
  session::X509Ptr certificate(X509_dup(opened.GetCertificate()));
  if (!certificate) return ToolkitStatus::kInternal;
  out.reset(new ToolkitSession(std::move(key), std::move(certificate)));
  int16_t directory = CheckDirectory(configFile);
  return directory != ToolkitStatus::kOk ? directory : validity;
}

int16_t ToolkitSession::CheckValidity(X509* certificate) {
  time_t now = time(nullptr);
  if (X509_cmp_time(X509_get0_notBefore(certificate), &now) > 0)
    return ToolkitStatus::kCertificateNotYetValid;
  if (X509_cmp_time(X509_get0_notAfter(certificate), &now) < 0) return ToolkitStatus::kCertificateExpired;
  time_t soon = now + kExpiryWarningSeconds;
  if (X509_cmp_time(X509_get0_notAfter(certificate), &soon) < 0)
    return ToolkitStatus::kCertificateExpiresSoon;
  return ToolkitStatus::kOk;
}

int16_t ToolkitSession::CheckDirectory(const char* configFile) {
  if (configFile == nullptr || *configFile == 0) return ToolkitStatus::kOk;
  session::SessionSettings settings;
  settings.SetIniFile(configFile);
  return settings.CheckDirectory() == session::SessionSettings::Directory::kUnreachable
             ? ToolkitStatus::kDirectoryUnreachable
             : ToolkitStatus::kOk;
}

int16_t ToolkitSession::StartProtect(int32_t mode, const char* contentType, int32_t format) {
  std::lock_guard<std::mutex> hold(lock_);
  WipeData();
  started_ = false;
  if (contentType == nullptr) return ToolkitStatus::kBadArgument;
  if ((mode != kModeMark && mode != kModeSign) || format != kFormatBinary)
    return ToolkitStatus::kUnsupported;
  mode_ = mode;
  started_ = true;
  return ToolkitStatus::kOk;
}

int16_t ToolkitSession::Protect(const uint8_t* bytes, size_t length) {
  std::lock_guard<std::mutex> hold(lock_);
  if (!started_) return ToolkitStatus::kNotStarted;
  if (bytes == nullptr && length != 0) return ToolkitStatus::kBadArgument;
  if (length > kMaxInput - input_.GetLength()) return ToolkitStatus::kDataTooLarge;
  if (length != 0 && input_.Append(bytes, length) != 0) return ToolkitStatus::kInternal;
  return ToolkitStatus::kOk;
}

int16_t ToolkitSession::EndProtect(const BinData*& signature, const BinData*& digest) {
  std::lock_guard<std::mutex> hold(lock_);
  signature = nullptr;
  digest = nullptr;
  if (!started_) return ToolkitStatus::kNotStarted;
  started_ = false;
  uint8_t hash[SHA256_DIGEST_LENGTH];
  static const uint8_t kNothing = 0;
  if (SHA256(input_.IsEmpty() ? &kNothing : input_.GetData(), input_.GetLength(), hash) == nullptr ||
      digest_.Assign(hash, sizeof hash) != 0)
    return ToolkitStatus::kInternal;
  if (mode_ == kModeSign) {
    int16_t status = Sign();
    if (status != ToolkitStatus::kOk) return status;
  }
  input_.Clear();
  signature = &signature_;
  digest = &digest_;
  return ToolkitStatus::kOk;
}

int16_t ToolkitSession::Sign() {
  static const char kNothing = 0;
  if (input_.GetLength() > INT32_MAX) return ToolkitStatus::kDataTooLarge;
  session::BioPtr content(BIO_new_mem_buf(input_.IsEmpty() ? static_cast<const void*>(&kNothing)
                                                           : input_.GetData(),
                                          static_cast<int>(input_.GetLength())));
  if (!content) return ToolkitStatus::kInternal;
  CmsPtr cms(CMS_sign(certificate_.get(), key_.get(), nullptr, content.get(),
                      CMS_DETACHED | CMS_BINARY | CMS_NOSMIMECAP));
  int length = cms ? i2d_CMS_ContentInfo(cms.get(), nullptr) : -1;
  if (length <= 0 || signature_.SetLength(static_cast<size_t>(length)) != 0) {
    ERR_clear_error();
    return ToolkitStatus::kSigningFailed;
  }
  unsigned char* cursor = signature_.GetData();
  if (i2d_CMS_ContentInfo(cms.get(), &cursor) != length) {
    signature_.Clear();
    ERR_clear_error();
    return ToolkitStatus::kSigningFailed;
  }
  return ToolkitStatus::kOk;
}

void ToolkitSession::WipeData() {
  input_.Clear();
  signature_.Clear();
  digest_.Clear();
}

}  // namespace toolkit
