#pragma once

#include <cstddef>

#include "common/BinData.h"
#include "common/GString.h"
#include "platform/Win32Types.h"

// File access in the Win32 manner, for code written against the Windows
// runtime. Paths use '/' as the folder separator.

// Access modes of _access: existence, write, read, read and write.
constexpr int kAccessExists = 0;
constexpr int kAccessWrite = 2;
constexpr int kAccessRead = 4;
constexpr int kAccessReadWrite = 6;

// Tests whether path may be used in the given mode (0, 2, 4 or 6, above).
// Returns 0 when it may, -1 when it may not, when it does not exist, or when
// the mode is not one of the four.
int _access(const char* path, int mode);

// Copies the full path of a module (a handle from DynamicLibrary.h) into
// buffer, zero-terminated. A null module, or the handle of the program itself,
// is the running program. When the path does not fit, buffer receives as much
// as fits (still terminated) and the result is size. Returns the number of
// characters copied without the terminator, 0 on failure.
DWORD GetModuleFileNameA(HMODULE module, char* buffer, DWORD size);

// The folder holding the running program, without a trailing '/'; empty when
// it cannot be found.
GString GetProgramFolder();

// Replaces out with the whole content of the file at path. Returns false, with
// out emptied, when the file cannot be read, is not a regular file, or holds
// more than limit bytes.
bool ReadWholeFile(const char* path, BinData& out, size_t limit);

// Replaces the file at path with exactly length bytes of data: they are written
// to a new file in the same folder, flushed to the disk and renamed over path,
// so that a reader (or a crash) only ever sees the old or the new content. A
// symbolic link at path is followed and its target replaced. The new file
// keeps the old file's permission bits; a file that did not exist gets the
// default mode (0666 less the umask). Returns false on any failure, leaving
// the old file untouched and no temporary file behind.
bool WriteFileAtomically(const char* path, const void* data, size_t length);

// How WriteFileAtomically treats the file it writes.
struct AtomicWriteOptions {
  // False: the write fails, leaving the file alone, when path already exists,
  // even when it appears while the new content is being written.
  bool replace = true;
  // The permission bits a file that did not exist gets (less the umask); a
  // replaced file keeps its own. Files holding keys use 0600.
  unsigned newFileMode = 0666;
};

// WriteFileAtomically with options; the plain form uses the defaults.
bool WriteFileAtomically(const char* path, const void* data, size_t length,
                         const AtomicWriteOptions& options);

// The steps of WriteFileAtomically that can fail, for SetAtomicWriteFaultHook.
// kPublish is the rename over the old file, or the link of a new one.
enum class AtomicWriteStep { kCreate, kWrite, kSync, kPublish };

// Test seam: when a hook is set, WriteFileAtomically asks it before each step
// and fails that step, as the system call would have, when it returns true.
// Null removes the hook.
void SetAtomicWriteFaultHook(bool (*hook)(AtomicWriteStep step));
