// The backup file reader on arbitrary text: whatever it accepts has a known
// kind and writes back to text that reads the same.
#include <cstdint>
#include <cstdlib>

#include "browser/BackupFile.h"
#include "common/Base64.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  BackupFileReader reader;
  reader.Feed(reinterpret_cast<const char*>(data), size);
  BinData record;
  BrowserKind kind = BrowserKind::Unknown;
  if (reader.Finish(record, kind) != 0) return 0;
  const char* firstLine = BackupFirstLine(kind);
  if (firstLine == nullptr) std::abort();
  GString text = GString(firstLine) + "\r\n" + Base64Encode(record);
  BackupFileReader again;
  again.Feed(text.Text(), text.Size());
  BinData back;
  BrowserKind backKind = BrowserKind::Unknown;
  if (again.Finish(back, backKind) != 0 || backKind != kind || !(back == record)) std::abort();
  return 0;
}
