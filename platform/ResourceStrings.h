#pragma once

#include "common/GString.h"
#include "platform/Win32Types.h"

// The string table of the resource library.
//
// Strings come from a module that exports the resource directory accessor of
// resources/ResourceDirectory.h. The process has one resource instance: the
// one set with SetResourceInstance or, when none was set, "velgres.dll"
// (libvelgres.so) loaded on first use. Tests install a small library of their
// own with SetResourceInstance to control the texts. All functions are safe to
// call from several threads.

// Copies string `id` of `instance` (the resource instance when null) into
// buffer, cut to size - 1 characters and always zero-terminated. Returns the
// number of characters copied; 0 when the string or the module's table does
// not exist, or when buffer is null or size is not positive.
int LoadStringA(HINSTANCE instance, UINT id, char* buffer, int size);

// Makes `instance` the module that strings and other resources come from.
// The caller keeps ownership: the module must stay loaded while it is set.
// Null returns to the default (velgres loaded on the next use).
void SetResourceInstance(HINSTANCE instance);

// The resource instance, loading "velgres.dll" on first use when none was set.
// Null when that library cannot be loaded. The library loaded here stays
// loaded for the life of the process.
HINSTANCE GetResourceInstance();

// Loads string `number` of the resource instance with its continuation
// strings. A string that begins with a backslash and a number (decimal, "0x"
// hexadecimal or leading-0 octal), optionally followed by one more backslash,
// continues with the string of that number: the result is the rest of the
// string followed by the continuation, which may itself continue the same way.
// Number 0 ends the chain; a missing continuation counts as empty, and a chain
// longer than kMaxResourceTextLinks links (a loop) is cut there. Returns false,
// leaving text empty, only when string `number` itself does not exist.
bool LoadResourceText(GString& text, UINT number);

inline constexpr int kMaxResourceTextLinks = 32;
