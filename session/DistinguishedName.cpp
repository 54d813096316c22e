#include "session/DistinguishedName.h"

#include <strings.h>

#include <cctype>
#include <vector>

namespace session {

namespace {

constexpr size_t kMaxValueLength = 128;
constexpr size_t kMaxParts = 16;

struct AttributeType {
  const char* text;
  int nid;
};

constexpr AttributeType kTypes[] = {
    {"cn", NID_commonName},        {"ou", NID_organizationalUnitName},
    {"o", NID_organizationName},   {"l", NID_localityName},
    {"st", NID_stateOrProvinceName}, {"c", NID_countryName},
    {"dc", NID_domainComponent},   {"uid", NID_userId},
    {"emailaddress", NID_pkcs9_emailAddress},
};

int TypeNid(const std::string& text) {
  for (const AttributeType& type : kTypes)
    if (strcasecmp(type.text, text.c_str()) == 0) return type.nid;
  return NID_undef;
}

const char* TypeText(int nid) {
  for (const AttributeType& type : kTypes)
    if (type.nid == nid) return type.text;
  return nullptr;
}

bool IsSpecial(char c) {
  return c == ',' || c == '+' || c == '\\' || c == '=' || c == '<' || c == '>' || c == '#' ||
         c == ';' || c == '"';
}

void TrimBlanks(std::string& text) {
  size_t start = text.find_first_not_of(' ');
  if (start == std::string::npos) {
    text.clear();
    return;
  }
  text = text.substr(start, text.find_last_not_of(' ') - start + 1);
}

struct Part {
  std::string type;
  std::string value;
};

// Splits the text into type=value parts, resolving escapes. Blanks next to
// "=" and "," are dropped; an escaped blank at a value's end is kept.
bool SplitParts(const char* text, size_t length, std::vector<Part>& parts) {
  Part part;
  bool inValue = false;
  size_t keptEnd = 0;  // value length that trimming must not cut (escapes)
  for (size_t i = 0; i <= length; ++i) {
    if (i == length || text[i] == ',') {
      if (!inValue) return false;
      TrimBlanks(part.type);
      size_t start = part.value.find_first_not_of(' ');
      part.value.erase(0, start == std::string::npos ? part.value.size() : start);
      size_t end = part.value.find_last_not_of(' ');
      size_t keep = end == std::string::npos ? 0 : end + 1;
      if (keep < keptEnd && keptEnd <= part.value.size()) keep = keptEnd;
      part.value.resize(keep);
      parts.push_back(part);
      if (parts.size() > kMaxParts) return false;
      part = Part();
      inValue = false;
      keptEnd = 0;
      continue;
    }
    char c = text[i];
    if (!inValue) {
      if (c == '=') {
        inValue = true;
      } else {
        part.type += c;
      }
      continue;
    }
    if (c == '\\') {
      if (i + 1 >= length || (!IsSpecial(text[i + 1]) && text[i + 1] != ' ')) return false;
      part.value += text[++i];
      keptEnd = part.value.size();
      continue;
    }
    if (IsSpecial(c)) return false;
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
    part.value += c;
  }
  return true;
}

bool ValidValue(int nid, const std::string& value) {
  if (value.empty() || value.size() > kMaxValueLength) return false;
  if (nid == NID_countryName)
    return value.size() == 2 && std::isalpha(static_cast<unsigned char>(value[0])) &&
           std::isalpha(static_cast<unsigned char>(value[1]));
  return true;
}

}  // namespace

X509NamePtr DistinguishedName::Parse(const char* text, size_t length) {
  std::vector<Part> parts;
  if (text == nullptr || length == 0 || !SplitParts(text, length, parts)) return nullptr;
  X509NamePtr name(X509_NAME_new());
  if (!name) return nullptr;
  // The text runs from the most specific part; an X.509 name from the least.
  for (auto part = parts.rbegin(); part != parts.rend(); ++part) {
    int nid = TypeNid(part->type);
    if (nid == NID_undef || !ValidValue(nid, part->value)) return nullptr;
    int type = nid == NID_countryName ? V_ASN1_PRINTABLESTRING : MBSTRING_UTF8;
    if (nid == NID_pkcs9_emailAddress || nid == NID_domainComponent) type = V_ASN1_IA5STRING;
    if (X509_NAME_add_entry_by_NID(name.get(), nid, type,
                                   reinterpret_cast<const unsigned char*>(part->value.data()),
                                   static_cast<int>(part->value.size()), -1, 0) != 1)
      return nullptr;
  }
  return name;
}

std::string DistinguishedName::Format(const X509_NAME* name) {
  if (name == nullptr) return std::string();
  int count = X509_NAME_entry_count(name);
  if (count <= 0) return std::string();
  std::string text;
  for (int i = count - 1; i >= 0; --i) {
    const X509_NAME_ENTRY* entry = X509_NAME_get_entry(name, i);
    const char* type = TypeText(OBJ_obj2nid(X509_NAME_ENTRY_get_object(entry)));
    if (type == nullptr) return std::string();
    unsigned char* utf8 = nullptr;
    int length = ASN1_STRING_to_UTF8(&utf8, X509_NAME_ENTRY_get_data(entry));
    if (length <= 0) return std::string();
    std::string value(reinterpret_cast<char*>(utf8), static_cast<size_t>(length));
    OPENSSL_free(utf8);
    if (!text.empty()) text += ',';
    text += type;
    text += '=';
    for (size_t at = 0; at < value.size(); ++at) {
      char c = value[at];
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return std::string();
      bool edgeBlank = c == ' ' && (at == 0 || at + 1 == value.size());
      if (IsSpecial(c) || edgeBlank) text += '\\';
      text += c;
    }
  }
  return text;
}

std::string DistinguishedName::Normalize(const std::string& text) {
  X509NamePtr name = Parse(text);
  return name ? Format(name.get()) : std::string();
}

}  // namespace session
