#pragma once

#include <cstddef>
#include <cstdint>

#include "credentials/sk/SK_Types.h"

// The toolkit's random generator. It draws every byte from the operating
// system's generator (getrandom), which the kernel seeds and reseeds from its
// own entropy sources: no state of ours needs seeding, protecting or
// reseeding after a fork. It blocks only until the kernel's generator has
// been initialised once after boot.
class SK_RandomGenerator {
 public:
  // Fills length bytes at out. Returns kSkOk, or kSkRandomFailure when the
  // system refuses (out then holds no usable bytes).
  SK_Status Generate(uint8_t* out, size_t length);
};
