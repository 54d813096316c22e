#include "credentials/sk/SK_Exports.h"

#include "credentials/sk/SK_Algorithms.h"

#if defined(__clang__)
#pragma clang diagnostic ignored "-Wreturn-type-c-linkage"
#endif

SKHASHERTYPE SK_Str2HashType(const GString& name) { return SK_HashTypeFromName(name); }

GString SK_HashType2Str(SKHASHERTYPE type) { return SK_HashTypeName(type); }

GString SK_Key_GetAlgorithmName(const SK_Key* key) {
  return key != nullptr ? key->GetAlgorithmName() : GString();
}

SK_Status SK_User_GenerateRandom(SK_User* user, BinData& out, unsigned long length) {
  if (user == nullptr) {
    out.Clear();
    return kSkBadArgument;
  }
  return user->GenerateRandom(out, length);
}

SK_Status SK_User_GetAlgorithmList(SK_User* user, GString* names, SKKEYTYPE* keyTypes, unsigned long* keyBits,
                                   SKHASHERTYPE* hashTypes, unsigned long& count, SKALGCLASS algClass) {
  if (user == nullptr) {
    count = 0;
    return kSkBadArgument;
  }
  return user->GetAlgorithmList(names, keyTypes, keyBits, hashTypes, count, algClass);
}

SK_Status SK_DecodeAlgorithmName(GString& name, unsigned long* bits, SKKEYTYPE* keyType, unsigned long* reserved1,
                                 unsigned long* reserved2, SKHASHERTYPE* hashType) {
  return SK_DecodeName(name, bits, keyType, reserved1, reserved2, hashType);
}
