#include "browser/PrefsReader.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "browser/NetscapeRecord.h"
#include "browser/RecordFields.h"
#include "browser/StdioFile.h"

namespace nr = netscape_record;

namespace {

enum class FieldKind { Text, Number, Flag };

struct Preference {
  const char* quotedName;
  FieldKind kind;
  size_t offset;
};

// Tested in this order; the first one a piece contains wins. The HTTP host
// name includes its closing quote, so the port's line never matches it.
constexpr Preference kPreferences[] = {
    {"\"network.proxy.http\"", FieldKind::Text, nr::kHttpHost},
    {"\"network.proxy.gopher\"", FieldKind::Text, nr::kGopherHost},
    {"\"network.proxy.ftp\"", FieldKind::Text, nr::kFtpHost},
    {"\"network.proxy.ssl\"", FieldKind::Text, nr::kSslHost},
    {"\"network.proxy.wais\"", FieldKind::Text, nr::kWaisHost},
    {"\"network.proxy.http_port\"", FieldKind::Number, nr::kHttpPort},
    {"\"network.proxy.autoconfig_url\"", FieldKind::Text, nr::kAutoConfigUrl},
    {"\"network.proxy.type\"", FieldKind::Number, nr::kProxyType},
    {"\"security.warn_submit_insecure\"", FieldKind::Flag, nr::kFormWarning},
};

bool IsWhite(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// The value text of a piece whose name ends before index start.
GString ValueOf(const GString& piece, int start) {
  int pos = start + 1;  // the character after the name is the comma
  int length = piece.GetLength();
  while (pos < length && IsWhite(piece.GetAt(pos))) ++pos;
  if (pos >= length) return GString();
  const char* text = piece.Text();
  if (text[pos] == '"') {
    const char* lastQuote = std::strrchr(text, '"');
    int end = static_cast<int>(lastQuote - text);
    return end > pos ? piece.Mid(pos + 1, end - pos - 1) : GString();
  }
  const char* lastParen = std::strrchr(text, ')');
  if (lastParen == nullptr) return GString();
  int end = static_cast<int>(lastParen - text);
  return end > pos ? piece.Mid(pos, end - pos) : GString();
}

uint32_t NumberOf(const GString& value) {
  return static_cast<uint32_t>(std::strtol(value.Text(), nullptr, 10));
}

}  // namespace

bool PrefsReader::Begin(BinData& record) {
  piece_.Empty();
  if (record.SetLength(nr::kLength) != 0) return false;
  std::memset(record.GetData(), 0, nr::kLength);
  SetRecordInt(record, nr::kFormWarning, 1);
  return true;
}

void PrefsReader::Feed(BinData& record, const char* bytes, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    // A NUL ends the text of a piece as it would for a C string; skip it so
    // the rest of the piece still counts.
    if (bytes[i] != '\0') piece_.Append(bytes[i]);
    if (bytes[i] == '\n' || piece_.Size() >= kPieceLimit) TakePiece(record);
  }
}

void PrefsReader::Finish(BinData& record) {
  if (!piece_.IsEmpty()) TakePiece(record);
}

void PrefsReader::TakePiece(BinData& record) {
  if (record.GetLength() == nr::kLength) {
    for (const Preference& preference : kPreferences) {
      int found = piece_.Find(preference.quotedName);
      if (found < 0) continue;
      GString value = ValueOf(piece_, found + static_cast<int>(std::strlen(preference.quotedName)));
      switch (preference.kind) {
        case FieldKind::Text:
          SetRecordText(record, preference.offset, nr::kTextSize, value);
          break;
        case FieldKind::Number:
          SetRecordInt(record, preference.offset, NumberOf(value));
          break;
        case FieldKind::Flag:
          SetRecordInt(record, preference.offset, strcasecmp(value.Text(), "true") == 0 ? 1 : 0);
          break;
      }
      break;
    }
  }
  piece_.Empty();
}

bool ReadPrefsFile(const char* path, BinData& record) {
  PrefsReader reader;
  if (!reader.Begin(record)) return false;
  StdioFile file(path, "r");
  if (!file.IsOpen()) return false;
  char buffer[4096];
  size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, file.Get())) > 0) reader.Feed(record, buffer, got);
  bool failed = std::ferror(file.Get()) != 0;
  file.Close();
  if (failed) return false;
  reader.Finish(record);
  return true;
}
