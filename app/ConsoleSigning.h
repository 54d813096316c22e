#pragma once

#include <cstdio>

// How the console answers the engine's question whether a form may be
// submitted: a signed form is asked about on the terminal, or answered from
// standard input, or answered once for all by a command-line option.
class ConsoleSigning {
 public:
  enum class Answer { kAsk, kYes, kNo };

  // Reads "yes", "no" or "ask"; false for any other value.
  static bool ParseAnswer(const char* value, Answer& answer);

  // The answer Confirm gives to signed forms from now on.
  static void SetAnswer(Answer answer);

  // The engine's confirmation callback. context is the FILE* the answers are
  // read from (null = standard input). A form sent without protection is
  // let through (kind 0); a signed form (kind 1) gets the set answer, or,
  // with kAsk, a line typed by the user: "y" or "yes" (any case) submits,
  // anything else and the end of input decline.
  static bool Confirm(void* context, int signedForm);

  // Whether an answer line means yes.
  static bool IsYes(const char* line);
};
