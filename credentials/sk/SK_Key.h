#pragma once

#include "common/GString.h"
#include "credentials/sk/SK_Types.h"

// Describes a symmetric key: its type and its length in bits. The key bytes
// themselves stay in the cipher object that uses them.
class SK_Key {
 public:
  SK_Key(SKKEYTYPE type, unsigned long bits) : type_(type), bits_(bits) {}

  SKKEYTYPE GetKeyType() const { return type_; }
  unsigned long GetKeyBits() const { return bits_; }

  // The algorithm's display name: "CAST-<bits>" for the CAST key types 1, 9
  // and 11, "DES", "Triple DES", "RC2-<bits>"; empty for any other type.
  GString GetAlgorithmName() const;

 private:
  SKKEYTYPE type_;
  unsigned long bits_;
};
