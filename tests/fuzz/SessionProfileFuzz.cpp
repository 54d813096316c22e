// Profile text: any bytes fed to the INI reader (whole and split) and to the
// profile parser must be handled without fault; a split read must give the
// same document as a whole one.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "session/IniDocument.h"
#include "session/Profile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  session::IniDocument whole;
  if (!whole.Parse(text, size)) return 0;
  session::IniDocument split;
  size_t cut = size / 2;
  split.Feed(text, cut);
  split.Feed(text + cut, size - cut);
  split.Finish();
  if (whole.Serialize() != split.Serialize()) std::abort();

  session::Profile profile;
  if (session::Profile::Parse(text, size, profile)) {
    std::string again = profile.Serialize();
    session::Profile reread;
    if (!session::Profile::Parse(again.data(), again.size(), reread)) std::abort();
  }
  return 0;
}
