#pragma once

#include "common/GString.h"

// Helpers for the header text of an HTTP message: lines, each with its line
// end, after the first line.

// The header without every line whose beginning matches field over the
// field's length, letter case ignored. Other lines keep their line ends.
GString RemoveHeaderField(const GString& header, const char* field);

// Finds the line of field: first a line beginning with the exact spelling
// (at the start of the text or right after a line feed), otherwise a line
// beginning with it in any letter case, after leading white space. value
// (may be null) receives the rest of that line, trimmed. False when absent.
bool GetHeaderField(const GString& header, const char* field, GString* value);

// A new header text: "field value\r\n" followed by header, or by "\r\n"
// alone when header is empty.
GString PrependHeaderField(const GString& header, const char* field, const char* value);
