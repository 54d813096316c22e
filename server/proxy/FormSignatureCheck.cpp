#include "server/proxy/FormSignatureCheck.h"

#include <openssl/x509.h>

#include <algorithm>
#include <memory>

#include "server/proxy/GssBuffer.h"
#include "server/proxy/HttpHeader.h"
#include "session/CvsApi.h"
#include "toolkit/SignatureVerifier.h"

namespace vserver {

namespace {

constexpr std::string_view kSubmitField = "&CorvaskSigSubmit=";
constexpr std::string_view kClientField = "CorvaskSigClient=";

struct X509Free {
  void operator()(X509* certificate) const { X509_free(certificate); }
};
using X509Ptr = std::unique_ptr<X509, X509Free>;

X509Ptr PeerCertificate(gss_ctx_id_t context) {
  OM_uint32 minor = 0;
  GssBuffer der;
  if (cvs_export_peer_certificate(&minor, context, der.Out()) != GSS_S_COMPLETE) return nullptr;
  const unsigned char* cursor = reinterpret_cast<const unsigned char*>(der.Data());
  return X509Ptr(d2i_X509(nullptr, &cursor, static_cast<long>(der.Size())));
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string UrlDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    int high = text[i] == '%' && i + 2 < text.size() ? HexValue(text[i + 1]) : -1;
    int low = high >= 0 ? HexValue(text[i + 2]) : -1;
    if (high >= 0 && low >= 0) {
      out += static_cast<char>(high * 16 + low);
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace

void PageMarks::Add(const std::string& mark) {
  std::lock_guard<std::mutex> hold(lock_);
  marks_.push_back(mark);
  if (marks_.size() > kKept) marks_.pop_front();
}

bool PageMarks::Contains(const std::string& mark) const {
  std::lock_guard<std::mutex> hold(lock_);
  return std::find(marks_.begin(), marks_.end(), mark) != marks_.end();
}

std::string FormSignatureCheck::MarkOf(std::string_view body) {
  GString mark = toolkit::SignatureVerifier::PageMark(body.data(), body.size());
  return std::string(mark.Text(), mark.Size());
}

bool FormSignatureCheck::ClientFieldOf(std::string_view text, std::string& value) {
  size_t at = 0;
  while ((at = text.find(kClientField, at)) != std::string_view::npos) {
    if (at == 0 || text[at - 1] == '&') {
      std::string_view rest = text.substr(at + kClientField.size());
      value = UrlDecode(rest.substr(0, rest.find('&')));
      return true;
    }
    at += kClientField.size();
  }
  return false;
}

FormSignatureCheck::Verdict FormSignatureCheck::Check(std::string_view body, gss_ctx_id_t context,
                                                      const PageMarks& marks, std::string& reason) {
  size_t field = body.rfind(kSubmitField);
  if (field == std::string_view::npos) {
    reason = "the form carries no signature";
    return Verdict::kMissing;
  }
  X509Ptr certificate = PeerCertificate(context);
  if (!certificate) {
    reason = "the client's certificate is not known";
    return Verdict::kInvalid;
  }
  using Result = toolkit::SignatureVerifier::Result;
  Result result = toolkit::SignatureVerifier::VerifySubmission(body.data(), body.size(), certificate.get());
  if (result == Result::kMissing) {
    reason = "the signature is empty";
    return Verdict::kMissing;
  }
  if (result != Result::kValid) {
    reason = result == Result::kMalformed ? "the signature is malformed"
                                          : "the signature does not match the form or the client";
    return Verdict::kInvalid;
  }
  std::string mark;
  if (!ClientFieldOf(body.substr(0, field), mark) || !marks.Contains(mark)) {
    reason = "the signed form does not carry a page mark this server gave";
    return Verdict::kInvalid;
  }
  return Verdict::kValid;
}

const char* FormSignatureCheck::Name(Verdict verdict) {
  switch (verdict) {
    case Verdict::kValid: return "valid";
    case Verdict::kInvalid: return "invalid";
    case Verdict::kMissing: return "missing";
  }
  return "invalid";
}

std::string FormSignatureCheck::WithVerdict(std::string_view header, const std::string& name, Verdict verdict) {
  std::string out = HttpHeader::Without(header, {name});
  out += name + ": " + Name(verdict) + "\r\n";
  return out;
}

}  // namespace vserver
