#pragma once

#include <cstddef>
#include <cstdint>

namespace toolkit {

// The toolkit's ASCII form of binary data: standard base64 with "=" padding
// and no line breaks, so n bytes take 4 * ceil(n / 3) characters. Both calls
// write into a target the caller owns: capacity in, the length written out
// (0 on failure). Each returns a ToolkitStatus.
class AsciiCoder {
 public:
  static size_t EncodedLength(size_t length) { return (length + 2) / 3 * 4; }

  static int16_t Encode(const uint8_t* bytes, size_t length, uint8_t* target, size_t& targetLength);
  // Characters outside the base64 alphabet (line breaks, blanks) are skipped.
  static int16_t Decode(const uint8_t* text, size_t length, uint8_t* target, size_t& targetLength);
};

}  // namespace toolkit
