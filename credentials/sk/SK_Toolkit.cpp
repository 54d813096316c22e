#include "credentials/sk/SK_Toolkit.h"

#include <cstring>

#include "credentials/sk/SK_Cast128.h"
#include "credentials/sk/SK_RandomGenerator.h"
#include "credentials/sk/SK_Sha1.h"

namespace {

bool Sha1Passes() {
  static const uint8_t kExpected[SK_Sha1::kDigestSize] = {
      0xa9, 0x99, 0x3e, 0x36, 0x47, 0x06, 0x81, 0x6a, 0xba, 0x3e,
      0x25, 0x71, 0x78, 0x50, 0xc2, 0x6c, 0x9c, 0xd0, 0xd8, 0x9d};
  uint8_t digest[SK_Sha1::kDigestSize];
  SK_Sha1::Digest("abc", 3, digest);
  return std::memcmp(digest, kExpected, sizeof digest) == 0;
}

bool Cast128Passes() {
  static const uint8_t kKey[16] = {0x01, 0x23, 0x45, 0x67, 0x12, 0x34, 0x56, 0x78,
                                   0x23, 0x45, 0x67, 0x89, 0x34, 0x56, 0x78, 0x9a};
  static const uint8_t kPlain[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef};
  static const uint8_t kCipher[8] = {0x23, 0x8b, 0x4f, 0xe5, 0x84, 0x7e, 0x44, 0xb2};
  SK_Cast128 cast;
  if (!cast.SetKey(kKey, sizeof kKey)) return false;
  uint8_t block[8];
  cast.EncryptBlock(kPlain, block);
  if (std::memcmp(block, kCipher, sizeof block) != 0) return false;
  cast.DecryptBlock(block, block);
  return std::memcmp(block, kPlain, sizeof block) == 0;
}

// Two draws of 16 bytes that come back equal mean the generator is stuck.
bool RandomPasses() {
  SK_RandomGenerator random;
  uint8_t first[16];
  uint8_t second[16];
  return random.Generate(first, sizeof first) == kSkOk && random.Generate(second, sizeof second) == kSkOk &&
         std::memcmp(first, second, sizeof first) != 0;
}

}  // namespace

bool SK_Toolkit::SelfTest() { return Sha1Passes() && Cast128Passes() && RandomPasses(); }

SK_Status SK_Toolkit::Start(int mode) {
  CriticalSectionLock lock(lock_);
  switch (state_) {
    case State::kNotStarted:
      mode_ = mode;
      if (routine_ == nullptr || !routine_()) {
        state_ = State::kFailed;
        return kSkAlreadyStarted;
      }
      state_ = mode == 0 ? State::kReady : State::kStarted;
      return kSkOk;
    case State::kStarted:
    case State::kReady:
      return mode == mode_ ? kSkOk : kSkAlreadyStarted;
    case State::kFailed:
    default:
      return kSkAlreadyStarted;
  }
}

bool SK_Toolkit::IsReady() {
  CriticalSectionLock lock(lock_);
  return state_ == State::kReady;
}

SK_Toolkit& SK_Toolkit::Instance() {
  static SK_Toolkit toolkit;
  return toolkit;
}

SK_Status SK_Startup(int mode) { return SK_Toolkit::Instance().Start(mode); }
