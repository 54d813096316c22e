#pragma once

#include <openssl/x509.h>

#include <cstddef>
#include <cstdint>

namespace toolkit {

// Checks the signatures the signing toolkit makes over submitted forms.
//
// A signature is a detached CMS SignedData structure (RFC 5652, DER) over
// the exact bytes that were signed, made with SHA-256 and the holder's key
// (ECDSA or RSA), carrying the holder's certificate. Its ASCII form, the one
// a signed submission carries once URL-decoded, is the standard base64 of
// that DER without line breaks.
//
// The same check from a shell, with the signed bytes in data.txt:
//   base64 -d signature.txt > signature.der
//   openssl cms -verify -binary -inform DER -in signature.der -content data.txt
//     -certfile user.pem -nointern -noverify -out /dev/null
// (one command line).
//
// Verification answers only whether the holder of the given certificate
// signed these bytes; whether that certificate is trusted, current and
// belongs to the submitting user is the caller's to decide.
class SignatureVerifier {
 public:
  // A signature larger than this is not one of ours.
  static constexpr size_t kMaxSignatureSize = 64 * 1024;

  enum class Result {
    kValid,      // every signer is the certificate's holder and the bytes match
    kMalformed,  // not a detached CMS signature (or not in ASCII form)
    kInvalid,    // a signature, but not by this certificate over these bytes
  };

  // signature: the DER bytes. certificate is only read.
  static Result Verify(const uint8_t* signature, size_t signatureLength, const void* data,
                       size_t dataLength, X509* certificate);

  // The same for the signature's ASCII form.
  static Result VerifyText(const char* text, size_t textLength, const void* data,
                           size_t dataLength, X509* certificate);
};

}  // namespace toolkit
