#pragma once

#include "common/BinData.h"
#include "credentials/sk/SK_Types.h"

// The toolkit's hash object for one hash type. Only SHA-1 is present; any
// other type reports kSkUnknownAlgorithm on use.
class SK_Hasher {
 public:
  explicit SK_Hasher(SKHASHERTYPE type) : type_(type) {}

  SKHASHERTYPE GetType() const { return type_; }

  // Hashes the buffer's bytes and replaces them by the digest (20 bytes for
  // SHA-1). The replaced bytes are wiped. On failure the buffer is unchanged.
  SK_Status HashInPlace(BinData& data) const;

 private:
  SKHASHERTYPE type_;
};
