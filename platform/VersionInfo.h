#pragma once

#include "common/GString.h"
#include "platform/Win32Types.h"

// Version information of program files. Our programs carry it as a marked,
// text-readable record compiled into their binary (see VersionBlock.h); any
// other file (a script standing in for a browser, say) can carry the same
// record anywhere in its bytes. The record is one line of the form
//
//   VELGRADE-VERSION-BLOCK FileVersion=a.b.c.d ProductVersion=a.b.c.d
//   ProductVersionText=text VELGRADE-VERSION-END
//
// (one line, single blanks) where a to d are decimal numbers up to 65535 and
// text is up to kVersionTextLimit printable ASCII characters.

constexpr int kVersionTextLimit = 255;

// The version of one file. Element 0 of a version is the high half of the
// most significant version word (the major part), element 1 its low half
// (the minor part), elements 2 and 3 the halves of the least significant word.
struct VersionBlock {
  WORD fileVersion[4];
  WORD productVersion[4];
  GString productVersionText;
};

// Looks for the first well-formed record in the file at path; fills out and
// returns true when there is one. Reads at most the first kVersionScanLimit
// bytes; a file that cannot be read, or that is not a regular file, gives
// false.
bool GetFileVersionInfo(const char* path, VersionBlock& out);

constexpr long long kVersionScanLimit = 512LL * 1024 * 1024;

// The version compiled into this program (from the project version).
const VersionBlock& GetOwnVersionBlock();

// The record text for block, exactly as GetFileVersionInfo finds it, without a
// line end. Characters of the text outside printable ASCII become '?', and the
// text is cut to kVersionTextLimit characters.
GString FormatVersionRecord(const VersionBlock& block);
