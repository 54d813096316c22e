#pragma once

#include <cstdio>

#include "common/GString.h"
#include "engine/Velgrade.h"

// Enrollment from the console: the start-up values that ask for one (the
// switches "-referencenumber=", "-authorizationcode=" and "-operation=", or
// a parameter file named by the first word), the questions the profile
// dialog would ask, read as lines from input (a terminal is read without
// echo for secrets), and the completion reported on standard error.
//
// Enterprise edition, lines: profile path, password. Financial edition,
// lines: profile path, password, card number, temporary password, customer
// field 2, customer field 3 (the last two may be empty lines or absent).
// Creating over an existing profile asks first (message 115; the answer is
// the line after the password, "yes" to go on); the profile and its companion files (.crl, .cch, .erl, .pab,
// .rch) are then deleted. Recovering never asks and never deletes.
class ConsoleEnrollment {
 public:
  struct Values {
    GString referenceNumber;
    GString authorizationCode;
    // "create" or "recover"; empty: no enrollment asked for.
    GString operation;
    // Read with the others; the console starts no browser and leaves it.
    GString initialBrowserUrl;
  };

  // Takes the values from argv: the parameter file when the first word does
  // not begin with "-" and names a readable file (its section "Velgrade"),
  // else the switches anywhere on the line. Consumed words are reported in
  // used (argc entries) so the rest of the command line can be parsed.
  static void ReadValues(int argc, char** argv, Values& values, bool* used);

  // Reads the answers from input and starts the enrollment. False when it
  // could not be started (after a message).
  static bool Start(Velgrade& engine, const Values& values, FILE* input);

  // The completion: message 112 and the recently used profiles moved down
  // in corvask.ini on success; otherwise the two texts of the failure.
  static void OnCompletion(int success, const char* text1, const char* text2, void* engine);

  // Moves LastProfile to LastProfile1 (1 to 2, 2 to 3, 3 to 4, each when not
  // empty) in section "Corvask Settings" of file, then stores profile.
  static void RememberProfile(const char* file, const char* profile);
};
