#include "toolkit/AsciiCoder.h"

#include <cstring>

#include "common/Base64.h"
#include "common/BinData.h"
#include "common/GString.h"
#include "toolkit/ToolkitStatus.h"

namespace toolkit {

int16_t AsciiCoder::Encode(const uint8_t* bytes, size_t length, uint8_t* target, size_t& targetLength) {
  const size_t capacity = targetLength;
  targetLength = 0;
  if ((bytes == nullptr && length != 0) || (target == nullptr && capacity != 0))
    return ToolkitStatus::kBadArgument;
  if (EncodedLength(length) > capacity) return ToolkitStatus::kTargetTooSmall;
  if (length == 0) return ToolkitStatus::kOk;
  GString text = Base64Encode(bytes, length);
  if (text.Size() != EncodedLength(length)) return ToolkitStatus::kInternal;
  std::memcpy(target, text.Text(), text.Size());
  targetLength = text.Size();
  return ToolkitStatus::kOk;
}

int16_t AsciiCoder::Decode(const uint8_t* text, size_t length, uint8_t* target, size_t& targetLength) {
  const size_t capacity = targetLength;
  targetLength = 0;
  if ((text == nullptr && length != 0) || (target == nullptr && capacity != 0))
    return ToolkitStatus::kBadArgument;
  if (length == 0) return ToolkitStatus::kOk;
  BinData bytes;
  if (!Base64Decode(reinterpret_cast<const char*>(text), length, bytes)) {
    bytes.Clear();
    return ToolkitStatus::kNotEncoded;
  }
  int16_t status = ToolkitStatus::kTargetTooSmall;
  if (bytes.GetLength() <= capacity) {
    if (!bytes.IsEmpty()) std::memcpy(target, bytes.GetData(), bytes.GetLength());
    targetLength = bytes.GetLength();
    status = ToolkitStatus::kOk;
  }
  bytes.Clear();
  return status;
}

}  // namespace toolkit
