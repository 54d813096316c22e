#include "browser/RecordFields.h"

#include <cstring>

uint32_t GetRecordInt(const BinData& record, size_t offset) {
  const uint8_t* p = record.GetData() + offset;
  return p[0] | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

void SetRecordInt(BinData& record, size_t offset, uint32_t value) {
  uint8_t* p = record.GetData() + offset;
  p[0] = static_cast<uint8_t>(value);
  p[1] = static_cast<uint8_t>(value >> 8);
  p[2] = static_cast<uint8_t>(value >> 16);
  p[3] = static_cast<uint8_t>(value >> 24);
}

GString GetRecordText(const BinData& record, size_t offset, size_t size) {
  const char* slot = reinterpret_cast<const char*>(record.GetData() + offset);
  const void* nul = std::memchr(slot, 0, size);
  size_t length = nul != nullptr ? static_cast<size_t>(static_cast<const char*>(nul) - slot) : size;
  return GString(slot, length);
}

void SetRecordText(BinData& record, size_t offset, size_t size, const char* text, size_t length) {
  uint8_t* slot = record.GetData() + offset;
  std::memset(slot, 0, size);
  if (length > size - 1) length = size - 1;
  if (length != 0) std::memcpy(slot, text, length);
}
