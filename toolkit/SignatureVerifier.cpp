#include "toolkit/SignatureVerifier.h"

#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/objects.h>
#include <openssl/sha.h>

#include <memory>
#include <string_view>

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

constexpr std::string_view kSignatureField = "&CorvaskSigSubmit=";

int HexValue(char digit) {
  if (digit >= '0' && digit <= '9') return digit - '0';
  if (digit >= 'A' && digit <= 'F') return digit - 'A' + 10;
  if (digit >= 'a' && digit <= 'f') return digit - 'a' + 10;
  return -1;
}

// Undoes the client's URL encoding ("%" and two hexadecimal digits); false
// on a broken escape.
bool UrlDecode(std::string_view text, GString& out) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return false;
    int high = HexValue(text[i + 1]);
    int low = HexValue(text[i + 2]);
    if (high < 0 || low < 0) return false;
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return true;
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

SignatureVerifier::Result SignatureVerifier::VerifySubmission(const char* body, size_t bodyLength,
                                                              X509* certificate) {
  if (body == nullptr) return Result::kMissing;
  std::string_view text(body, bodyLength);
  size_t field = text.rfind(kSignatureField);
  if (field == std::string_view::npos) return Result::kMissing;
  std::string_view value = text.substr(field + kSignatureField.size());
  while (!value.empty() && (value.back() == '\r' || value.back() == '\n' || value.back() == ' ' ||
                            value.back() == '\t'))
    value.remove_suffix(1);
  if (value.empty()) return Result::kMissing;
  if (value.size() > kMaxSignatureSize * 3) return Result::kMalformed;
  GString signature;
  if (!UrlDecode(value, signature)) return Result::kMalformed;
  return VerifyText(signature.Text(), signature.Size(), body, field, certificate);
}

GString SignatureVerifier::PageMark(const void* page, size_t length) {
  static const uint8_t kNothing = 0;
  if (page == nullptr && length != 0) return GString();
  uint8_t digest[SHA256_DIGEST_LENGTH];
  if (SHA256(length == 0 ? &kNothing : static_cast<const uint8_t*>(page), length, digest) == nullptr)
    return GString();
  return Base64Encode(digest, sizeof digest);
}

}  // namespace toolkit
