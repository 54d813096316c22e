#pragma once

#include <openssl/x509.h>

#include <cstddef>
#include <cstdint>

#include "common/GString.h"

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
// A signed submission is the signed form text, then "&CorvaskSigSubmit=",
// the URL-encoded ASCII form of the signature, and CR LF. A page marked for
// signing carries in its field "CorvaskSigClient" the ASCII form of the
// SHA-256 digest of the page body (PageMark).
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
    kMissing,    // no signature field, or an empty one (the client could not sign)
    kMalformed,  // not a detached CMS signature (or not in ASCII form)
    kInvalid,    // a signature, but not by this certificate over these bytes
  };

  // signature: the DER bytes. certificate is only read.
  static Result Verify(const uint8_t* signature, size_t signatureLength, const void* data,
                       size_t dataLength, X509* certificate);

  // The same for the signature's ASCII form.
  static Result VerifyText(const char* text, size_t textLength, const void* data,
                           size_t dataLength, X509* certificate);

  // Checks a whole submitted body as described above: the signature field is
  // the last "&CorvaskSigSubmit=" in it, the signed text all that precedes
  // it; line ends and blanks after the value are ignored.
  static Result VerifySubmission(const char* body, size_t bodyLength, X509* certificate);

  // The value a page marked for signing is given: the ASCII form of the
  // SHA-256 digest of its body. Empty when hashing fails.
  static GString PageMark(const void* page, size_t length);
};

}  // namespace toolkit
