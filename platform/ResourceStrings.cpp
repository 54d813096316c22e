#include "platform/ResourceStrings.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "platform/DynamicLibrary.h"
#include "resources/ResourceDirectory.h"

namespace {

std::mutex g_instanceMutex;
HINSTANCE g_setInstance = nullptr;      // set by the caller, who owns it
HINSTANCE g_defaultInstance = nullptr;  // velgres, loaded once and kept

// The text of string `id` of `instance`, or null when it does not exist.
const char* FindString(HINSTANCE instance, UINT id) {
  if (instance == nullptr) instance = GetResourceInstance();
  if (instance == nullptr) return nullptr;
  auto accessor = reinterpret_cast<ResourceDirectoryAccessor>(
      GetProcAddress(instance, kResourceDirectoryExport));
  if (accessor == nullptr) return nullptr;
  const ResourceDirectory* directory = accessor();
  if (directory == nullptr) return nullptr;
  const size_t needed = offsetof(ResourceDirectory, stringCount) + sizeof(directory->stringCount);
  if (directory->size < needed) return nullptr;
  return FindStringEntry(directory->strings, directory->stringCount, id);
}

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

// Reads the continuation number at `text` (decimal, 0x hexadecimal, leading-0
// octal) and returns the position after it. A number too large for a string
// id becomes UINT32_MAX, which names no string.
const char* ReadContinuationNumber(const char* text, uint64_t& number) {
  int base = 10;
  if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X') && DigitValue(text[2]) < 16) {
    base = 16;
    text += 2;
  } else if (text[0] == '0') {
    base = 8;
  }
  number = 0;
  for (; DigitValue(*text) < base; ++text) {
    number = std::min<uint64_t>(number * base + DigitValue(*text), UINT32_MAX);
  }
  return text;
}

}  // namespace

int LoadStringA(HINSTANCE instance, UINT id, char* buffer, int size) {
  if (buffer == nullptr || size <= 0) return 0;
  buffer[0] = '\0';
  const char* text = FindString(instance, id);
  if (text == nullptr) return 0;
  const size_t length = std::min(std::strlen(text), static_cast<size_t>(size - 1));
  std::memcpy(buffer, text, length);
  buffer[length] = '\0';
  return static_cast<int>(length);
}

void SetResourceInstance(HINSTANCE instance) {
  std::lock_guard<std::mutex> lock(g_instanceMutex);
  g_setInstance = instance;
}

HINSTANCE GetResourceInstance() {
  std::lock_guard<std::mutex> lock(g_instanceMutex);
  if (g_setInstance != nullptr) return g_setInstance;
  if (g_defaultInstance == nullptr) g_defaultInstance = LoadLibraryA("velgres.dll");
  return g_defaultInstance;
}

bool LoadResourceText(GString& text, UINT number) {
  text.Empty();
  const HINSTANCE instance = GetResourceInstance();
  const char* current = FindString(instance, number);
  if (current == nullptr) return false;
  for (int links = 0; current[0] == '\\'; ++links) {
    uint64_t next = 0;
    const char* rest = ReadContinuationNumber(current + 1, next);
    if (*rest == '\\') ++rest;
    text.Append(rest);
    if (next == 0 || links == kMaxResourceTextLinks) return true;
    current = FindString(instance, static_cast<UINT>(next));
    if (current == nullptr) return true;
  }
  text.Append(current);
  return true;
}
