// Registry-export text of arbitrary bytes. Whatever parses must format to
// text that parses again to the same hive, so a store written back never
// changes what it holds.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/RegistryText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* hiveName = "HKEY_CURRENT_USER";
  registry_text::Hive hive;
  if (!registry_text::ParseHive(std::string(reinterpret_cast<const char*>(data), size), hiveName, hive)) {
    return 0;
  }
  std::string text = registry_text::FormatHive(hive, hiveName);
  registry_text::Hive again;
  if (!registry_text::ParseHive(text, hiveName, again)) std::abort();
  if (registry_text::FormatHive(again, hiveName) != text) std::abort();
  return 0;
}
