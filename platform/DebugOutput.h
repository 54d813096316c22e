#pragma once

// The debugger output of the program. Text passed to OutputDebugStringA is
// written exactly as given (no line end is added) to standard error when the
// environment variable VELGRADE_DEBUG is set, and appended to the debug output
// file when one is configured; otherwise it goes nowhere. Safe to call from
// any thread; each call's text is written in one piece.
void OutputDebugStringA(const char* text);

// Configures the file that receives the debug output from now on (appended to,
// created when missing). Null or an empty path stops writing to a file. A file
// that cannot be opened is retried at each later call.
void SetDebugOutputFile(const char* path);
