#pragma once

#include <cstddef>

#include "common/GString.h"

// String values of INI files that may be continued over several lines: a
// key line followed by any number of lines beginning "_continue_=", each
// adding the text after those 11 characters to the value. Integer keys still
// go through the platform's profile functions; both work on the same file.
//
// Reading: a ";" starts a comment (so a value cannot contain one); section
// and key names compare without regard to letter case. Readers never fail:
// an unreadable file, a missing section or key gives the default.

// The engine's reader: buffer (of size bytes, size > 0) receives the default,
// or the value when it is found and shorter than size. The value has white
// space removed at both ends. Returns true when the file could be read.
bool GetProfileStringLong(const char* section, const char* key, const char* defaultValue,
                          char* buffer, size_t size, const char* path);

// The application's reader: the same search, returning the value with the
// white space after its "=" kept as written.
GString GetProfileStringLongText(const char* path, const char* section, const char* key,
                                 const char* defaultValue);

// Replaces key in section with one line "key=value", dropping the
// continuation lines of its old value; a null value removes the key and its
// continuation lines. A missing section is appended at the end of the file.
// The file is rewritten atomically (the old file survives any failure) and
// never gains blank lines. Returns false when the file cannot be read or
// rewritten; a missing file is not created.
bool WriteProfileStringLong(const char* path, const char* section, const char* key,
                            const char* value);
