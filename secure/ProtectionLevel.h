#pragma once

#include <cstdint>

// The quality of protection asked of every wrap: the low 16 bits choose the
// integrity algorithm (from the signing key), the high 16 bits the cipher
// (from the cipher name the user's profile configures).
class ProtectionLevel {
 public:
  static constexpr uint32_t kIntegrityRsa = 0x40;
  static constexpr uint32_t kIntegrityDsa = 0x30;

  // The QOP for cipherName (letters compared without regard to case; an
  // unknown or null name gives the RC2 value) and the signing key.
  static uint32_t QopFor(const char* cipherName, bool dsaSigningKey);
};
