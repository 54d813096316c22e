// The signing toolkit's decoding of untrusted text: the ASCII form into a
// target of every useful size, and signature checks of the input as DER and
// as ASCII text and as a whole signed submission.
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <vector>

#include "session/CertificateAuthority.h"
#include "session/DistinguishedName.h"
#include "toolkit/AsciiCoder.h"
#include "toolkit/SignatureVerifier.h"

namespace {

X509* Certificate() {
  static session::EvpPkeyPtr key = session::CertificateAuthority::GenerateKey();
  static session::X509NamePtr name = session::DistinguishedName::Parse(std::string("cn=Fuzz,o=Example"));
  static session::X509Ptr certificate =
      session::CertificateAuthority::CreateRoot(key.get(), name.get(), time(nullptr) - 60, time(nullptr) + 86400);
  return certificate.get();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> target(size);
  for (size_t capacity : {size, size * 3 / 4, size / 2}) {
    size_t length = capacity;
    int16_t status = toolkit::AsciiCoder::Decode(data, size, target.data(), length);
    if (length > capacity || (status != 0 && length != 0)) __builtin_trap();
  }
  static const char kBody[] = "a=1&CorvaskSigClient=x";
  if (toolkit::SignatureVerifier::Verify(data, size, kBody, sizeof kBody - 1, Certificate()) ==
      toolkit::SignatureVerifier::Result::kValid)
    __builtin_trap();
  toolkit::SignatureVerifier::VerifyText(reinterpret_cast<const char*>(data), size, kBody, sizeof kBody - 1,
                                         Certificate());
  toolkit::SignatureVerifier::VerifySubmission(reinterpret_cast<const char*>(data), size, Certificate());
  return 0;
}
