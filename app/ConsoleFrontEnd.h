#pragma once

#include <cstdio>

#include "app/ConsoleEnrollment.h"
#include "app/ConsoleSigning.h"
#include "common/GString.h"
#include "engine/Velgrade.h"

// The console front end of velgrade: runs the proxy engine as a program in
// a terminal, with messages and (on request) log lines on standard error and
// the log-in prompt on the terminal.
class ConsoleFrontEnd {
 public:
  struct Options {
    // The folder holding corvask.ini, ending with '/'; empty = look for it.
    GString configFolder;
    // An automatic proxy configuration URL to take the chain proxy from.
    GString chainProxyUrl;
    bool debug = false;
    bool help = false;
    // Sign on right after the proxy starts.
    bool login = false;
    // Read commands (login, logout, ...) from standard input even when it
    // is not a terminal.
    bool commands = false;
    // How a signed form is confirmed (--confirm-signing=yes|no|ask).
    ConsoleSigning::Answer confirmSigning = ConsoleSigning::Answer::kAsk;
    // An enrollment asked for on the command line or in a parameter file.
    ConsoleEnrollment::Values enrollment;
  };

  // Reads the command line. False with error set for an unknown option or a
  // missing value.
  static bool ParseOptions(int argc, char** argv, Options& options, GString& error);

  // The folder whose corvask.ini the engine reads: the one asked for, else
  // the program's folder when corvask.ini is there, else the Windows folder.
  // Always ends with '/'.
  static GString ChooseConfigFolder(const Options& options);

  // One message as printed: "velgrade: error: text" (or warning,
  // information), with a line end.
  static GString FormatMessageLine(const char* text, int kind);

  // Reads the profile and then the password as two lines from input (line
  // ends removed). False at end of input.
  static bool ReadLoginLines(FILE* input, GString& profile, GString& password);

  // Reads one line from input, line end removed; false at end of input.
  static bool ReadLine(FILE* input, GString& line);
  // The same with echo turned off while a terminal is read.
  static bool ReadSecretLine(FILE* input, GString& line);

  // The engine callbacks of the console; debug adds the log lines. The
  // callback context they expect is the FILE* that log-in lines are read
  // from (null = standard input).
  static EngineCallbacks MakeCallbacks(bool debug);

  // Runs the program: creates and starts the engine, signs on when asked and
  // polls it until a SIGINT or SIGTERM arrives, the user types quit or the
  // engine asks to end. Commands are read from standard input when it is a
  // terminal or when asked. Returns the exit status.
  static int Run(const Options& options);

  static const char* Usage();
};
