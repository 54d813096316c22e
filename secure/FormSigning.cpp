#include "secure/FormSigning.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>

#include "engine/HeaderFields.h"

namespace {

constexpr int32_t kModeSign = 3;
constexpr int32_t kModeMark = 0;
constexpr int32_t kFormat = 6;
constexpr const char* kContentType = "text/plain";

bool IsLoaded(const ToolkitEntryPoints& toolkit) {
  return toolkit.startProtect != nullptr && toolkit.protect != nullptr && toolkit.endProtect != nullptr &&
         toolkit.asciiEncode != nullptr;
}

GString StatusText(const ToolkitEntryPoints& toolkit, int16_t status) {
  const char* text = toolkit.corLogToString != nullptr ? toolkit.corLogToString(status) : nullptr;
  if (text != nullptr) return GString(text);
  char number[16];
  std::snprintf(number, sizeof(number), "%d", status);
  return GString(number);
}

bool IsUnreserved(unsigned char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  return c != '\0' && std::strchr("!$'()*,-._", c) != nullptr;
}

bool IsWhiteSpace(uint8_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

char LowerCase(uint8_t c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c); }

// Index of the first "</FORM>" in any letter case, or -1.
long FindFormEnd(const BinData& page) {
  static const char kFormEnd[] = "</form>";
  const size_t needle = sizeof(kFormEnd) - 1;
  const uint8_t* bytes = page.GetData();
  for (size_t at = 0; at + needle <= page.GetLength(); ++at) {
    size_t i = 0;
    while (i < needle && LowerCase(bytes[at + i]) == kFormEnd[i]) ++i;
    if (i == needle) return static_cast<long>(at);
  }
  return -1;
}

}  // namespace

bool FormSigning::SignData(const ToolkitEntryPoints& toolkit, CVHandle handle, const void* data, size_t length,
                           GString& output, bool sign, GString& errorText) {
  output = "";
  errorText = "";
  if (!IsLoaded(toolkit)) return true;
  if (length > UINT32_MAX) return false;
  if (toolkit.startProtect(handle, sign ? kModeSign : kModeMark, 0, 0, kContentType, kFormat) != 0) return false;
  CVBuffer input{static_cast<uint32_t>(length), static_cast<uint8_t*>(const_cast<void*>(data))};
  int16_t status = toolkit.protect(handle, &input);
  CVBuffer first{0, nullptr};
  CVBuffer second{0, nullptr};
  if (status == 0) status = toolkit.endProtect(handle, &first, &second);
  if (status != 0) {
    errorText = StatusText(toolkit, status);
    return false;
  }
  const CVBuffer& chosen = sign ? first : second;
  if (chosen.length > 0 && chosen.data == nullptr) return false;
  BinData target;
  size_t capacity = static_cast<size_t>(chosen.length) * 4 / 3 + 6;
  if (target.SetLength(capacity) != 0) return false;
  CVBuffer encoded{static_cast<uint32_t>(capacity), target.GetData()};
  status = toolkit.asciiEncode(&chosen, &encoded);
  if (status != 0) {
    errorText = StatusText(toolkit, status);
    return false;
  }
  // The toolkit reports what it wrote; never more than it was given.
  if (encoded.length > capacity) return false;
  output = GString(reinterpret_cast<const char*>(target.GetData()), encoded.length);
  return true;
}

GString FormSigning::UrlEncode(const char* text, size_t length) {
  static const char kHex[] = "0123456789ABCDEF";
  GString encoded;
  for (size_t i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (IsUnreserved(c)) {
      encoded += static_cast<char>(c);
      continue;
    }
    encoded += '%';
    encoded += kHex[c >> 4];
    encoded += kHex[c & 0x0F];
  }
  return encoded;
}

bool FormSigning::MarkPage(BinData& page, const GString& mark) {
  long at = FindFormEnd(page);
  if (at < 0) return false;
  static const char kFieldStart[] = "<INPUT TYPE=\"hidden\" NAME=\"";
  static const char kValue[] = "\" VALUE=\"";
  static const char kFieldEnd[] = "\">\n";
  BinData marked;
  const uint8_t* bytes = page.GetData();
  if (marked.Append(bytes, static_cast<size_t>(at)) != 0 || marked.Append(kFieldStart, sizeof(kFieldStart) - 1) != 0 ||
      marked.Append(kClientField, std::strlen(kClientField)) != 0 || marked.Append(kValue, sizeof(kValue) - 1) != 0 ||
      marked.Append(mark.Text(), mark.Size()) != 0 || marked.Append(kFieldEnd, sizeof(kFieldEnd) - 1) != 0 ||
      marked.Append(bytes + at, page.GetLength() - static_cast<size_t>(at)) != 0) {
    return false;
  }
  page = std::move(marked);
  return true;
}

bool FormSigning::NeedsSignature(const BinData& body) {
  const size_t needle = std::strlen(kClientField);
  const uint8_t* bytes = body.GetData();
  for (size_t at = 1; at + needle <= body.GetLength(); ++at) {
    if (std::memcmp(bytes + at, kClientField, needle) == 0) return true;
  }
  return false;
}

void FormSigning::TrimmedText(const BinData& body, GString& text) {
  const uint8_t* bytes = body.GetData();
  size_t begin = 0;
  size_t end = body.GetLength();
  while (begin < end && IsWhiteSpace(bytes[begin])) ++begin;
  while (end > begin && IsWhiteSpace(bytes[end - 1])) --end;
  text = GString(reinterpret_cast<const char*>(bytes) + begin, end - begin);
}

BinData FormSigning::SignedBody(const GString& text, const GString& signature) {
  GString body = text;
  body += "&";
  body += kSubmitField;
  body += "=";
  body += UrlEncode(signature.Text(), signature.Size());
  body += "\r\n";
  return BinData(body.Text(), body.Size());
}

GString FormSigning::WithContentLength(const GString& header, size_t length) {
  char number[32];
  std::snprintf(number, sizeof(number), "%ld", static_cast<long>(length));
  return PrependHeaderField(RemoveHeaderField(header, "Content-Length:"), "Content-Length:", number);
}
