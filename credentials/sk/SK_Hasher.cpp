#include "credentials/sk/SK_Hasher.h"

#include "credentials/sk/SK_Sha1.h"
#include "credentials/sk/SK_Wipe.h"

SK_Status SK_Hasher::HashInPlace(BinData& data) const {
  if (type_ != kSkHashSha1) return kSkUnknownAlgorithm;
  uint8_t digest[SK_Sha1::kDigestSize];
  SK_Sha1::Digest(data.GetData(), data.GetLength(), digest);
  data.Wipe();
  const SK_Status status = data.Assign(digest, sizeof digest);
  SK_Wipe(digest, sizeof digest);
  return status;
}
