// Arbitrary bytes as a page marked for signing and as a posted form: the
// marked page must be the page with exactly the field added before its first
// form end, a signed body must end in the submit field and CR LF, and the
// server's check of the form must hold up.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <string>
#include <string_view>

#include "secure/FormSigning.h"
#include "server/proxy/FormSignatureCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  BinData page(data, size);
  const GString mark = "bWFyaw==";
  if (FormSigning::MarkPage(page, mark)) {
    static const size_t kFieldSize = std::strlen("<INPUT TYPE=\"hidden\" NAME=\"CorvaskSigClient\" VALUE=\"\">\n");
    if (page.GetLength() != size + kFieldSize + mark.Size()) std::abort();
  } else if (page.GetLength() != size || (size > 0 && std::memcmp(page.GetData(), data, size) != 0)) {
    std::abort();
  }
  BinData posted(data, size);
  FormSigning::NeedsSignature(posted);
  GString text;
  FormSigning::TrimmedText(posted, text);
  if (text.Size() > size) std::abort();
  BinData body = FormSigning::SignedBody(text, GString(reinterpret_cast<const char*>(data), size));
  static const char kEnd[] = "\r\n";
  if (body.GetLength() < text.Size() + 2 || std::memcmp(body.GetData() + body.GetLength() - 2, kEnd, 2) != 0) {
    std::abort();
  }
  // The server's reading of the same bytes as a posted form: a field value
  // is never longer than the text, and a form without a context's
  // certificate is never valid.
  std::string_view form(reinterpret_cast<const char*>(data), size);
  std::string value;
  if (vserver::FormSignatureCheck::ClientFieldOf(form, value) && value.size() > size) std::abort();
  vserver::PageMarks marks;
  marks.Add(value);
  std::string reason;
  if (vserver::FormSignatureCheck::Check(form, GSS_C_NO_CONTEXT, marks, reason) ==
      vserver::FormSignatureCheck::Verdict::kValid) {
    std::abort();
  }
  return 0;
}
