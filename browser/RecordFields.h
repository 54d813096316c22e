#pragma once

#include <cstddef>
#include <cstdint>

#include "common/BinData.h"
#include "common/GString.h"

// Field access inside a saved-settings record: 32-bit little-endian integers
// and NUL-terminated texts in fixed-size slots. The caller has checked that
// the record is long enough for the field.

uint32_t GetRecordInt(const BinData& record, size_t offset);
void SetRecordInt(BinData& record, size_t offset, uint32_t value);

// The text of a slot of size bytes, up to its first NUL (or the slot's end).
GString GetRecordText(const BinData& record, size_t offset, size_t size);
// Stores text in a slot of size bytes, cut to size - 1 characters, the rest
// of the slot zeroed.
void SetRecordText(BinData& record, size_t offset, size_t size, const char* text, size_t length);
inline void SetRecordText(BinData& record, size_t offset, size_t size, const GString& text) {
  SetRecordText(record, offset, size, text.Text(), text.Size());
}
