// Profile file text of any shape: the readers must not fail on it, and a key
// written into it must read back after the text is parsed again, and go away
// when deleted.
#include <strings.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/Profile.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  ProfileDocument document;
  document.Parse(text);
  std::string value;
  for (const std::string& section : document.SectionNames()) {
    for (const std::string& key : document.KeyNames(section)) Check(document.FindValue(section, key, value));
  }
  document.FindValue("Velgrade", "port", value);

  document.SetValue("Velgrade", "FuzzKey", "fuzz value");
  ProfileDocument reread;
  reread.Parse(document.Serialize());
  Check(reread.FindValue("velgrade", "fuzzkey", value) && value == "fuzz value");

  reread.DeleteKey("Velgrade", "FuzzKey");
  Check(!reread.FindValue("Velgrade", "FuzzKey", value));
  reread.DeleteSection("Velgrade");
  for (const std::string& section : reread.SectionNames()) {
    Check(section.size() != 8 || ::strncasecmp(section.data(), "Velgrade", 8) != 0);
  }
  return 0;
}
