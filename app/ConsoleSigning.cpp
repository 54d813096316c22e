#include "app/ConsoleSigning.h"

#include <atomic>
#include <cstring>
#include <strings.h>

#include "app/ConsoleFrontEnd.h"

namespace {

std::atomic<ConsoleSigning::Answer> g_answer{ConsoleSigning::Answer::kAsk};

}  // namespace

bool ConsoleSigning::ParseAnswer(const char* value, Answer& answer) {
  if (value == nullptr) return false;
  if (std::strcmp(value, "yes") == 0) {
    answer = Answer::kYes;
  } else if (std::strcmp(value, "no") == 0) {
    answer = Answer::kNo;
  } else if (std::strcmp(value, "ask") == 0) {
    answer = Answer::kAsk;
  } else {
    return false;
  }
  return true;
}

void ConsoleSigning::SetAnswer(Answer answer) { g_answer = answer; }

bool ConsoleSigning::IsYes(const char* line) {
  return line != nullptr && (strcasecmp(line, "y") == 0 || strcasecmp(line, "yes") == 0);
}

bool ConsoleSigning::Confirm(void* context, int signedForm) {
  if (signedForm == 0) return true;
  Answer answer = g_answer;
  if (answer != Answer::kAsk) return answer == Answer::kYes;
  FILE* input = context != nullptr ? static_cast<FILE*>(context) : stdin;
  std::fputs("velgrade: Submit Signed Form? The form will be signed with your private key. [y/n] ", stderr);
  GString line;
  bool yes = ConsoleFrontEnd::ReadLine(input, line) && IsYes(line.Text());
  if (!yes) std::fputs("velgrade: the signed form was not submitted.\n", stderr);
  return yes;
}
