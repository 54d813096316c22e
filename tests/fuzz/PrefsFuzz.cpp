// The prefs.js reader on arbitrary text: the record keeps its length, and
// feeding the text in two pieces gives the same record as feeding it whole.
#include <cstdint>
#include <cstdlib>

#include "browser/PrefsReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  BinData whole;
  PrefsReader reader;
  if (!reader.Begin(whole)) return 0;
  reader.Feed(whole, text, size);
  reader.Finish(whole);
  if (whole.GetLength() != 7180) std::abort();
  size_t split = size == 0 ? 0 : data[0] % (size + 1);
  BinData pieces;
  PrefsReader again;
  if (!again.Begin(pieces)) return 0;
  again.Feed(pieces, text, split);
  again.Feed(pieces, text + split, size - split);
  again.Finish(pieces);
  if (!(pieces == whole)) std::abort();
  return 0;
}
