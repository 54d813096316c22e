#include "browser/RegistryValues.h"

#include <cstring>

bool ReadRegistryString(HKEY key, const char* valueName, char* buffer, size_t size,
                        const char* defaultValue) {
  if (buffer == nullptr || size == 0) return false;
  DWORD type = REG_NONE;
  DWORD length = static_cast<DWORD>(size);
  if (key != nullptr &&
      RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &length) ==
          ERROR_SUCCESS &&
      type == REG_SZ && length <= size) {
    buffer[length == 0 ? 0 : length - 1] = '\0';
    return true;
  }
  const char* fallback = defaultValue != nullptr ? defaultValue : "";
  std::strncpy(buffer, fallback, size - 1);
  buffer[size - 1] = '\0';
  return false;
}

bool ReadRegistryDword(HKEY key, const char* valueName, uint32_t& value, uint32_t defaultValue) {
  uint8_t bytes[4] = {};
  DWORD type = REG_NONE;
  DWORD length = sizeof bytes;
  if (key != nullptr &&
      RegQueryValueExA(key, valueName, nullptr, &type, bytes, &length) == ERROR_SUCCESS &&
      (type == REG_DWORD || type == REG_BINARY) && length >= 1 && length <= sizeof bytes) {
    value = bytes[0] | (uint32_t{bytes[1]} << 8) | (uint32_t{bytes[2]} << 16) | (uint32_t{bytes[3]} << 24);
    return true;
  }
  value = defaultValue;
  return false;
}

bool WriteRegistryString(HKEY key, const char* valueName, const char* text) {
  const char* value = text != nullptr ? text : "";
  return RegSetValueExA(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                        static_cast<DWORD>(std::strlen(value) + 1)) == ERROR_SUCCESS;
}

bool WriteRegistryDword(HKEY key, const char* valueName, uint32_t value) {
  uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                      static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
  return RegSetValueExA(key, valueName, 0, REG_DWORD, bytes, sizeof bytes) == ERROR_SUCCESS;
}

bool WriteRegistryBinary(HKEY key, const char* valueName, const void* bytes, size_t length) {
  return RegSetValueExA(key, valueName, 0, REG_BINARY, static_cast<const BYTE*>(bytes),
                        static_cast<DWORD>(length)) == ERROR_SUCCESS;
}
