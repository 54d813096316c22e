#include "toolkit/SignatureVerifier.h"

#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/objects.h>

#include <memory>

#include "common/Base64.h"
#include "common/BinData.h"

namespace toolkit {

namespace {

struct CmsFree {
  void operator()(CMS_ContentInfo* cms) const { CMS_ContentInfo_free(cms); }
};
struct BioFree {
  void operator()(BIO* bio) const { BIO_free_all(bio); }
};
struct CertificateStackFree {
  void operator()(STACK_OF(X509) * stack) const { sk_X509_free(stack); }
};

using CmsPtr = std::unique_ptr<CMS_ContentInfo, CmsFree>;
using BioPtr = std::unique_ptr<BIO, BioFree>;
using CertificateStackPtr = std::unique_ptr<STACK_OF(X509), CertificateStackFree>;

// A detached SignedData structure with at least one signer, or null.
CmsPtr ParseDetached(const uint8_t* signature, size_t length) {
  const unsigned char* cursor = signature;
  CmsPtr cms(d2i_CMS_ContentInfo(nullptr, &cursor, static_cast<long>(length)));
  if (!cms || cursor != signature + length) return nullptr;
  if (OBJ_obj2nid(CMS_get0_type(cms.get())) != NID_pkcs7_signed) return nullptr;
  if (CMS_is_detached(cms.get()) != 1) return nullptr;
  STACK_OF(CMS_SignerInfo)* signers = CMS_get0_SignerInfos(cms.get());
  if (signers == nullptr || sk_CMS_SignerInfo_num(signers) < 1) return nullptr;
  return cms;
}

SignatureVerifier::Result Check(const uint8_t* signature, size_t signatureLength, const void* data,
                                size_t dataLength, X509* certificate) {
  using Result = SignatureVerifier::Result;
  if (signature == nullptr || signatureLength == 0 ||
      signatureLength > SignatureVerifier::kMaxSignatureSize)
    return Result::kMalformed;
  CmsPtr cms = ParseDetached(signature, signatureLength);
  if (!cms) return Result::kMalformed;
  if (certificate == nullptr || (data == nullptr && dataLength != 0) || dataLength > INT32_MAX)
    return Result::kInvalid;
  static const char kEmpty = 0;
  BIO* bytes = BIO_new_mem_buf(dataLength == 0 ? &kEmpty : data, static_cast<int>(dataLength));
  // CMS_verify copies a memory BIO into one of its own, which it fails to
  // free when the signature names a digest it cannot use; behind a null
  // filter the content is read where it is.
  BioPtr content(BIO_new(BIO_f_null()));
  if (!content || bytes == nullptr) {
    BIO_free(bytes);
    return Result::kInvalid;
  }
  BIO_push(content.get(), bytes);
  CertificateStackPtr signers(sk_X509_new_null());
  if (!signers || sk_X509_push(signers.get(), certificate) <= 0) return Result::kInvalid;
  // Only the given certificate may stand for a signer; its chain is the
  // caller's business.
  const unsigned int flags = CMS_BINARY | CMS_NOINTERN | CMS_NO_SIGNER_CERT_VERIFY;
  int verified = CMS_verify(cms.get(), signers.get(), nullptr, content.get(), nullptr, flags);
  return verified == 1 ? Result::kValid : Result::kInvalid;
}

}  // namespace

SignatureVerifier::Result SignatureVerifier::Verify(const uint8_t* signature, size_t signatureLength,
                                                    const void* data, size_t dataLength,
                                                    X509* certificate) {
  Result result = Check(signature, signatureLength, data, dataLength, certificate);
  ERR_clear_error();
  return result;
}

SignatureVerifier::Result SignatureVerifier::VerifyText(const char* text, size_t textLength,
                                                        const void* data, size_t dataLength,
                                                        X509* certificate) {
  if (text == nullptr || textLength == 0 || textLength > kMaxSignatureSize / 3 * 4 + 4)
    return Result::kMalformed;
  BinData signature;
  if (!Base64Decode(text, textLength, signature)) return Result::kMalformed;
  return Verify(signature.GetData(), signature.GetLength(), data, dataLength, certificate);
}

}  // namespace toolkit
