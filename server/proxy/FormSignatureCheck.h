#pragma once

#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>

#include "session/GssApi.h"

namespace vserver {

// The page marks this server gave the pages it marked for signing on one
// security context, the most recent kKept of them. Thread-safe.
class PageMarks {
 public:
  static constexpr size_t kKept = 64;

  void Add(const std::string& mark);
  bool Contains(const std::string& mark) const;

 private:
  mutable std::mutex lock_;
  std::deque<std::string> marks_;
};

// Form signing on the server: the mark a page carries for the client, and
// the check of a signed submission against the certificate the client
// presented when its security context was built.
//
// A submission is "valid" only when its signature is by that certificate's
// holder over the signed text and the text's "CorvaskSigClient" value is a
// mark this server gave on the same context: a signature over an identical
// body of another page or session is not taken for this one.
class FormSignatureCheck {
 public:
  enum class Verdict { kValid, kInvalid, kMissing };

  // The value the client puts into a marked page's field for this body.
  static std::string MarkOf(std::string_view body);

  // Checks a posted body. context is the accepted context the request came
  // on; marks those given on it. reason tells why a verdict is not valid.
  static Verdict Check(std::string_view body, gss_ctx_id_t context, const PageMarks& marks,
                       std::string& reason);

  // "valid", "invalid" or "missing".
  static const char* Name(Verdict verdict);

  // The header without any line called name (a client cannot choose the
  // verdict) and with one line giving the verdict.
  static std::string WithVerdict(std::string_view header, const std::string& name, Verdict verdict);

  // The value of the field "CorvaskSigClient" in the signed text, URL
  // decoded; false when the text has no such field.
  static bool ClientFieldOf(std::string_view text, std::string& value);
};

}  // namespace vserver
