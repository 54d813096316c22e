#pragma once

#include <cstdint>

#include "common/BinData.h"
#include "common/GString.h"

// The plaintext carried inside every wrapped token: a 12-byte header (its
// own length, a format version of 0, two reserved bytes, the lengths of part 1
// and part 2, most significant byte first), part 1 (a request or status line),
// part 2 (header lines) and the body (every remaining byte).
class SecureMessage {
 public:
  // Why a plaintext could not be read; each maps to a string-table message.
  enum Result : int {
    kOk = 0,
    kNoData = 2106,       // shorter than a header
    kBadVersion = 2108,   // format version other than 0
    kCorrupted = 2109,    // lengths beyond the end of the plaintext
    kNoMemory = 2110,     // the parts could not be sized
  };

  static constexpr size_t kHeaderLength = 12;
  static constexpr uint8_t kVersion = 0;

  // The plaintext for the three parts. False when it cannot be sized (a part
  // longer than 4 GiB or memory exhausted); message is then wiped.
  static bool Build(const GString& part1, const GString& part2, const BinData& body, BinData& message);

  // Splits a plaintext into its parts. The header length byte says where
  // part 1 starts; a reader never trusts any length beyond what it holds.
  static Result Parse(const uint8_t* bytes, size_t length, GString& part1, GString& part2,
                      BinData& body);
};
