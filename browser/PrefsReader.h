#pragma once

#include <cstddef>

#include "common/BinData.h"
#include "common/GString.h"

// Reads the proxy and form-warning preferences of a Netscape "prefs.js" into
// a Netscape saved-settings record (see NetscapeRecord.h).
//
// The file is taken in pieces of at most 1023 characters: a piece ends after
// a line feed or when it is that long, so a longer line is looked at in
// several pieces. In each piece the first of the quoted preference names
// found anywhere (a comment counts too) decides the field; its value starts
// one character after the name's closing quote, after white space, and is
// either the text inside double quotes (up to the piece's last double quote)
// or the text up to the piece's last ")". Later pieces overwrite earlier ones.
//
// Bytes may be fed in any split: the result is the same.
class PrefsReader {
 public:
  static constexpr size_t kPieceLimit = 1023;

  // Starts a record: 7180 zero bytes with the form warning set to 1. False
  // when memory runs out.
  bool Begin(BinData& record);
  // Takes the next bytes of the file.
  void Feed(BinData& record, const char* bytes, size_t length);
  // Takes the last piece (a final line without a line feed).
  void Finish(BinData& record);

 private:
  void TakePiece(BinData& record);

  GString piece_;
};

// Reads the file at path into record with PrefsReader. False when the file
// cannot be opened or read, or memory runs out.
bool ReadPrefsFile(const char* path, BinData& record);
