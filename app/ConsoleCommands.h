#pragma once

#include <cstdio>

#include "common/GString.h"
#include "engine/Velgrade.h"

// The commands a terminal user types to the console front end while the
// proxy runs: log in, log out, change the password, show who is signed on.
// Passwords and log-in lines are read from input (without echo on a
// terminal); results go to output, prompts and the engine's messages to
// standard error.
class ConsoleCommands {
 public:
  enum class Outcome { kGoOn, kQuit };

  // The engine, input and output belong to the caller and must outlive this
  // object. The engine's log-in prompt must read from the same input.
  ConsoleCommands(Velgrade& engine, FILE* input, FILE* output);

  ConsoleCommands(const ConsoleCommands&) = delete;
  ConsoleCommands& operator=(const ConsoleCommands&) = delete;

  // Runs one typed line. Blank lines do nothing; an unknown command is
  // reported on output. kQuit asks the program to end.
  Outcome Execute(const char* line);

  static const char* Help();

 private:
  void LogIn();
  void LogOut();
  void ChangePassword();
  void ShowStatus();
  bool ReadSecret(const char* prompt, GString& secret);
  void Print(const GString& text);

  Velgrade& engine_;
  FILE* input_;
  FILE* output_;
};
