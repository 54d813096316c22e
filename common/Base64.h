#pragma once

#include "common/BinData.h"
#include "common/GString.h"

// The base64 coder of MIME (standard alphabet, "=" padding) shared by every
// part of the program.

// Encodes every byte of data as one line: no line breaks are inserted.
GString Base64Encode(const BinData& data);
GString Base64Encode(const void* bytes, size_t length);

// Decodes text into out, replacing what it held. Characters outside the alphabet
// are skipped (so a body split over lines decodes like the unsplit one), as
// is "=" where a group of four starts. "=" as the second character of a group
// is an error; "=" as the third or fourth ends the group; the text must end
// on a group boundary. Returns false on error, when out holds no valid result.
bool Base64Decode(const char* text, size_t length, BinData& out);
inline bool Base64Decode(const GString& text, BinData& out) {
  return Base64Decode(text.Text(), text.Size(), out);
}
