#include "app/ConsoleSigning.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "app/ConsoleFrontEnd.h"

namespace {

// Confirm with the given text as the user's input.
bool ConfirmWithInput(const char* typed, int signedForm) {
  FILE* input = tmpfile();
  if (input == nullptr) return false;
  std::fputs(typed, input);
  std::rewind(input);
  bool answer = ConsoleSigning::Confirm(input, signedForm);
  std::fclose(input);
  return answer;
}

TEST(ConsoleSigningTest, SignedFormsFollowTheOptionOrTheTypedLine) {
  ConsoleSigning::SetAnswer(ConsoleSigning::Answer::kYes);
  EXPECT_TRUE(ConfirmWithInput("", 1));
  ConsoleSigning::SetAnswer(ConsoleSigning::Answer::kNo);
  EXPECT_FALSE(ConfirmWithInput("yes\n", 1));
  // Forms sent without protection are not asked about.
  EXPECT_TRUE(ConfirmWithInput("", 0));
  ConsoleSigning::SetAnswer(ConsoleSigning::Answer::kAsk);
  struct Case {
    const char* typed;
    bool submits;
  } cases[] = {{"y\n", true}, {"YES\r\n", true}, {"n\n", false}, {"yess\n", false}, {"", false}};
  for (const Case& c : cases) EXPECT_EQ(c.submits, ConfirmWithInput(c.typed, 1)) << c.typed;
}

TEST(ConsoleSigningTest, OptionValues) {
  ConsoleFrontEnd::Options options;
  GString error;
  char program[] = "velgrade";
  char no[] = "--confirm-signing=no";
  char* argv[] = {program, no};
  ASSERT_TRUE(ConsoleFrontEnd::ParseOptions(2, argv, options, error)) << error.Text();
  EXPECT_EQ(ConsoleSigning::Answer::kNo, options.confirmSigning);
  char bad[] = "--confirm-signing=maybe";
  char* badArgv[] = {program, bad};
  EXPECT_FALSE(ConsoleFrontEnd::ParseOptions(2, badArgv, options, error));
}

}  // namespace
