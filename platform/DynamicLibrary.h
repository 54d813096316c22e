#pragma once

#include "common/GString.h"
#include "platform/Win32Types.h"

// Loading shared libraries by their Windows names.
//
// A module handle is the handle dlopen returned, cast to HMODULE; null means
// none. Each successful LoadLibraryA must be matched by one FreeLibrary.

// Loads a library. A name ending in ".dll" (any letter case) names the shared
// library "lib" + stem + ".so"; a name without an extension gets the same
// treatment; a name ending in ".so" or carrying a ".so." version suffix is
// used as it is. A name without a folder
// is looked for in the program's folder first, then along the system's usual
// library search path; a name with a folder is loaded from that folder only.
// Returns null when the library cannot be found or loaded.
HMODULE LoadLibraryA(const char* name);

// Returns the address of an exported function or variable, or null when the
// module or the name is null or the symbol is not exported. A decorated name
// such as "_CVLogin@16" that is not found as written is looked up again as
// "CVLogin" (without the leading underscore and the "@" suffix).
void* GetProcAddress(HMODULE module, const char* name);

// Releases one load of the library. Returns FALSE for a null handle or when the
// system refuses.
BOOL FreeLibrary(HMODULE module);

// Returns the handle of a library that is already loaded, found by the same
// name mapping as LoadLibraryA, without loading it and without adding a load;
// null when it is not loaded. A null name gives the program itself.
HMODULE GetModuleHandleA(const char* name);

// The full path of the file a loaded library came from; empty for a null
// handle or when the system does not tell.
GString GetLibraryPath(HMODULE module);

// The shared-library file name that LoadLibraryA looks for: "velgres.dll" and
// "velgres" give "libvelgres.so"; a folder part is kept in front.
GString SharedLibraryFileName(const char* name);
