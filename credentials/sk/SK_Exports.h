#pragma once

#include "common/BinData.h"
#include "common/GString.h"
#include "credentials/sk/SK_Key.h"
#include "credentials/sk/SK_Types.h"
#include "credentials/sk/SK_User.h"

// The six toolkit functions the main program exports for libraries it loads.
// They have C linkage and default visibility, so a library finds them in the
// program by name, e.g. GetProcAddress(GetModuleHandleA(nullptr),
// "_SK_HashType2Str@8"), which looks up "SK_HashType2Str". The member
// functions of SK_Key and SK_User are exported as functions taking the
// object first. All of them are called from C++ only: GString crosses the
// interface by value.
//
// The program links the target velgrade_sk_exports and is linked with its
// symbols exported (ENABLE_EXPORTS).

#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wreturn-type-c-linkage"
#endif

extern "C" {

#define SK_EXPORT __attribute__((visibility("default")))

// SK_HashTypeFromName: the hash type the name decodes to, 0 when none.
SK_EXPORT SKHASHERTYPE SK_Str2HashType(const GString& name);
// SK_HashTypeName: "MD2", "MD5", "SHA-1" or empty.
SK_EXPORT GString SK_HashType2Str(SKHASHERTYPE type);
// SK_Key::GetAlgorithmName of key; empty for a null key.
SK_EXPORT GString SK_Key_GetAlgorithmName(const SK_Key* key);
// SK_User::GenerateRandom of user; kSkBadArgument for a null user.
SK_EXPORT SK_Status SK_User_GenerateRandom(SK_User* user, BinData& out, unsigned long length);
// SK_User::GetAlgorithmList of user; kSkBadArgument and count 0 for a null user.
SK_EXPORT SK_Status SK_User_GetAlgorithmList(SK_User* user, GString* names, SKKEYTYPE* keyTypes,
                                             unsigned long* keyBits, SKHASHERTYPE* hashTypes,
                                             unsigned long& count, SKALGCLASS algClass);
// SK_DecodeName: decodes (and may rewrite) an algorithm name.
SK_EXPORT SK_Status SK_DecodeAlgorithmName(GString& name, unsigned long* bits, SKKEYTYPE* keyType,
                                           unsigned long* reserved1, unsigned long* reserved2,
                                           SKHASHERTYPE* hashType);

#undef SK_EXPORT

}  // extern "C"

#if defined(__clang__)
#pragma clang diagnostic pop
#endif
