#pragma once

#include <vector>

#include "common/BinData.h"
#include "common/GString.h"
#include "credentials/sk/SK_RandomGenerator.h"
#include "credentials/sk/SK_Types.h"
#include "platform/CriticalSection.h"

// The toolkit's user object: the preferred key and hash types, a number the
// creator gives, the user's policy and capabilities, and the random
// generator its cipher objects draw keys from. Safe to use from several
// threads. Not copyable.
class SK_User {
 public:
  // Capabilities a user needs for the cipher list when the first policy flag
  // is set and the second clear.
  static constexpr unsigned long kCipherCapabilities[] = {32790, 32792, 32793};

  SK_User(SKKEYTYPE keyType, SKHASHERTYPE hashType, unsigned long number);
  SK_User(const SK_User&) = delete;
  SK_User& operator=(const SK_User&) = delete;
  ~SK_User();

  SKKEYTYPE GetKeyType() const { return keyType_; }
  SKHASHERTYPE GetHashType() const { return hashType_; }
  unsigned long GetNumber() const { return number_; }

  // Resizes out to length bytes and fills it from the user's generator. On
  // failure out becomes empty (its old bytes wiped) and the status tells why.
  SK_Status GenerateRandom(BinData& out, unsigned long length);
  // Fills length bytes at out; for the toolkit's own cipher objects.
  SK_Status GenerateRandom(uint8_t* out, size_t length);

  // Lists the algorithms of one class: kSkClassSymmetric gives "CAST-128"
  // (type 11, 128 bits) and "CAST-80" (11, 80) unless the policy withholds
  // ciphers; kSkClassHash gives "SHA-1" (hash type 3). Each of the four
  // arrays may be null; those given receive up to count entries, and count
  // receives the number written. When all four are null, count receives the
  // number of entries available instead. Any other class: count = 0 and
  // kSkUnknownAlgorithmClass.
  SK_Status GetAlgorithmList(GString* names, SKKEYTYPE* keyTypes, unsigned long* keyBits,
                             SKHASHERTYPE* hashTypes, unsigned long& count, SKALGCLASS algClass);

  // The two policy flags. With the first set and the second clear, ciphers
  // are listed only for a user holding every one of kCipherCapabilities.
  void SetPolicyFlags(bool first, bool second);
  // Grants a capability; kSkNoMemory when it cannot be recorded.
  SK_Status GrantCapability(unsigned long capability);

 private:
  bool WithholdsCiphers();
  bool HasCapability(unsigned long capability) const;

  CriticalSection randomLock_;  // guards random_
  CriticalSection policyLock_;  // guards the policy flags and capabilities
  SKKEYTYPE keyType_;
  SKHASHERTYPE hashType_;
  unsigned long number_;
  bool policyFirst_ = false;
  bool policySecond_ = false;
  std::vector<unsigned long> capabilities_;
  SK_RandomGenerator random_;
};
