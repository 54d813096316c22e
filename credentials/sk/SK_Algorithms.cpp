#include "credentials/sk/SK_Algorithms.h"

namespace {

// One row of the name table. A row whose needed algorithm is absent is
// skipped, and the search goes on.
struct NameRow {
  const char* name;
  bool needsCipher;     // needs names a cipher (else a hash) when needed != 0
  int needed;           // identifier that must be present; 0 = no condition
  const char* rewrite;  // full name replacing the given one, or null
  SKKEYTYPE keyType;
  unsigned long bits;
  SKHASHERTYPE hashType;
};

constexpr NameRow kNames[] = {
    {"CAST-128", true, kSkKeyCast128, nullptr, kSkKeyCast128, 128, 0},
    {"CAST-80", true, kSkKeyCast128, nullptr, kSkKeyCast128, 80, 0},
    {"CAST-64", true, kSkKeyCastExport, nullptr, kSkKeyCastExport, 64, 0},
    {"CAST-40", true, kSkKeyCastExport, nullptr, kSkKeyCastExport, 40, 0},
    {"CAST", true, kSkKeyCast128, "CAST-128", kSkKeyCast128, 128, 0},
    {"DES", true, kSkKeyDes, nullptr, kSkKeyDes, 64, 0},
    {"Triple DES", true, kSkKeyTripleDes, nullptr, kSkKeyTripleDes, 192, 0},
    {"RC2-40", true, kSkKeyRc2, nullptr, kSkKeyRc2, 40, 0},
    {"RC2-128", true, kSkKeyRc2, nullptr, kSkKeyRc2, 128, 0},
    {"RC2", true, kSkKeyRc2, "RC2-128", kSkKeyRc2, 128, 0},
    {"0", true, 0, "CAST-64", kSkKeyCastExport, 64, 0},
    {"1", true, kSkKeyDes, "DES", kSkKeyDes, 64, 0},
    {"2", true, 0, "RC2-40", kSkKeyRc2, 40, 0},
    {"MD2", false, kSkHashMd2, nullptr, 0, 0, kSkHashMd2},
    {"MD5", false, kSkHashMd5, nullptr, 0, 0, kSkHashMd5},
    {"SHA-1", false, kSkHashSha1, nullptr, 0, 0, kSkHashSha1},
};

bool RowApplies(const NameRow& row) {
  if (row.needed == 0) return true;
  return row.needsCipher ? SK_IsCipherPresent(row.needed) : SK_IsHashPresent(row.needed);
}

template <typename T>
void Clear(T* out) {
  if (out != nullptr) *out = 0;
}

}  // namespace

bool SK_IsCipherPresent(SKKEYTYPE type) {
  return type == kSkKeyNone || type == kSkKeyCast || type == 10 || type == kSkKeyCast128;
}

bool SK_IsHashPresent(SKHASHERTYPE type) { return type == kSkHashNone || type == kSkHashSha1; }

SK_Status SK_DecodeName(GString& name, unsigned long* bits, SKKEYTYPE* keyType,
                        unsigned long* reserved1, unsigned long* reserved2, SKHASHERTYPE* hashType) {
  Clear(bits);
  Clear(keyType);
  Clear(reserved1);
  Clear(reserved2);
  Clear(hashType);
  for (const NameRow& row : kNames) {
    if (name != row.name || !RowApplies(row)) continue;
    if (row.rewrite != nullptr) name = row.rewrite;
    if (bits != nullptr) *bits = row.bits;
    if (keyType != nullptr) *keyType = row.keyType;
    if (hashType != nullptr) *hashType = row.hashType;
    return kSkOk;
  }
  return kSkUnknownAlgorithm;
}

SKHASHERTYPE SK_HashTypeFromName(const GString& name) {
  GString copy(name);
  SKHASHERTYPE hashType = 0;
  if (SK_DecodeName(copy, nullptr, nullptr, nullptr, nullptr, &hashType) != kSkOk) return 0;
  return hashType;
}

GString SK_HashTypeName(SKHASHERTYPE type) {
  switch (type) {
    case kSkHashMd2:
      return GString("MD2");
    case kSkHashMd5:
      return GString("MD5");
    case kSkHashSha1:
      return GString("SHA-1");
    default:
      return GString();
  }
}
