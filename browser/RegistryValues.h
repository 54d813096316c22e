#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/Registry.h"

// Reading and writing single registry values with the fallbacks the browser
// code relies on.

// Reads the string valueName of key into buffer (size bytes, NUL included).
// On failure (missing value, not a string, longer than the buffer) buffer
// receives defaultValue (null: empty), cut to size - 1 characters, and the
// result is false.
bool ReadRegistryString(HKEY key, const char* valueName, char* buffer, size_t size,
                        const char* defaultValue);

// Reads a 4-byte value (4-byte or binary type of 1 to 4 bytes, the missing
// high bytes zero); on failure value receives
// defaultValue and the result is false.
bool ReadRegistryDword(HKEY key, const char* valueName, uint32_t& value, uint32_t defaultValue);

// Writes a string, a 4-byte value, or bytes as a binary value. True on success.
bool WriteRegistryString(HKEY key, const char* valueName, const char* text);
bool WriteRegistryDword(HKEY key, const char* valueName, uint32_t value);
bool WriteRegistryBinary(HKEY key, const char* valueName, const void* bytes, size_t length);
