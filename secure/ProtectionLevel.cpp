#include "secure/ProtectionLevel.h"

#include "common/GString.h"

namespace {

struct CipherRule {
  const char* names[2];
  uint32_t confidentiality;
};

// Tested in this order: "DES" must come after the triple forms.
constexpr CipherRule kRules[] = {
    {{"RC2", nullptr}, 0x300000},
    {{"Triple-DES", "Triple DES"}, 0x400000},
    {{"DES", nullptr}, 0x10000},
    {{"CAST64", "CAST-64"}, 0x100000},
    {{"CAST128", "CAST-128"}, 0x500000},
};
constexpr uint32_t kDefaultConfidentiality = 0x300000;

uint32_t ConfidentialityFor(const GString& name) {
  for (const CipherRule& rule : kRules) {
    for (const char* candidate : rule.names) {
      if (candidate != nullptr && name.FindNoCase(candidate) >= 0) return rule.confidentiality;
    }
  }
  return kDefaultConfidentiality;
}

}  // namespace

uint32_t ProtectionLevel::QopFor(const char* cipherName, bool dsaSigningKey) {
  GString name(cipherName != nullptr ? cipherName : "");
  return ConfidentialityFor(name) + (dsaSigningKey ? kIntegrityDsa : kIntegrityRsa);
}
