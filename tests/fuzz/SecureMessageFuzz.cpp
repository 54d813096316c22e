// Reads arbitrary bytes as the plaintext of a wrapped token. Whatever the
// reader accepts must rebuild, through the writer, into a message that reads
// back to the same parts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "secure/SecureMessage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  GString part1;
  GString part2;
  BinData body;
  if (SecureMessage::Parse(data, size, part1, part2, body) != SecureMessage::kOk) return 0;
  if (part1.Size() + part2.Size() + body.GetLength() > size) std::abort();
  BinData rebuilt;
  if (!SecureMessage::Build(part1, part2, body, rebuilt)) std::abort();
  GString again1;
  GString again2;
  BinData againBody;
  if (SecureMessage::Parse(rebuilt.GetData(), rebuilt.GetLength(), again1, again2, againBody) != SecureMessage::kOk ||
      !(again1 == part1) || !(again2 == part2) || !(againBody == body)) {
    std::abort();
  }
  return 0;
}
