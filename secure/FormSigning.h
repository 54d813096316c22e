#pragma once

#include <cstddef>

#include "common/BinData.h"
#include "common/GString.h"
#include "engine/ToolkitEntryPoints.h"

// Form signing on the client: the value a page marked for signing gets in
// its hidden field, the field put into that page's first form, and the
// signature appended to a submitted form. The signing itself is done by the
// optional toolkit through its entry points; without it every value is
// empty and pages and forms go on regardless.
class FormSigning {
 public:
  // Name of the hidden field a marked page's form receives.
  static constexpr const char* kClientField = "CorvaskSigClient";
  // Name of the field appended to a signed submission.
  static constexpr const char* kSubmitField = "CorvaskSigSubmit";
  // The header, inside a wrapped answer, that marks a page for signing.
  static constexpr const char* kSignDataHeader = "Corvask-SignData:";

  // Protects length bytes at data with the toolkit logged in as handle:
  // sign set gives the ASCII form of a signature over them, sign clear the
  // value a marked page carries. True with output empty when the toolkit is
  // not loaded. On a toolkit failure output is empty, errorText holds the
  // toolkit's text for the code (empty when the protection could not even
  // start) and the result is false.
  static bool SignData(const ToolkitEntryPoints& toolkit, CVHandle handle, const void* data, size_t length,
                       GString& output, bool sign, GString& errorText);

  // The text with every byte outside a-z, A-Z, 0-9 and "!$'()*,-._" written
  // as "%" and two upper-case hexadecimal digits.
  static GString UrlEncode(const char* text, size_t length);

  // The page with the hidden field carrying mark put right before its first
  // "</FORM>" (any letter case). False, page left unchanged, when the page
  // has no form end to hold the field.
  static bool MarkPage(BinData& page, const GString& mark);

  // Whether a posted body is to be signed: it contains the client field at
  // any position but the very first.
  static bool NeedsSignature(const BinData& body);

  // The body to send for a signed submission: the posted body without white
  // space at either end, "&", the submit field, "=", the URL-encoded
  // signature and CR LF. The signed text is the trimmed body (text).
  static void TrimmedText(const BinData& body, GString& text);
  static BinData SignedBody(const GString& text, const GString& signature);

  // The header with its "Content-Length:" line replaced by one for length,
  // standing in front of all other lines.
  static GString WithContentLength(const GString& header, size_t length);
};
