#include "session/ReplayWindow.h"

#include <gtest/gtest.h>

using session::ReplayWindow;
using Verdict = session::ReplayWindow::Verdict;

namespace {

struct Step {
  uint64_t sequence;
  Verdict verdict;
};

// Each step is checked, then accepted when new.
void RunSteps(std::initializer_list<Step> steps) {
  ReplayWindow window;
  int index = 0;
  for (const Step& step : steps) {
    EXPECT_EQ(step.verdict, window.Check(step.sequence)) << "step " << index << " seq " << step.sequence;
    if (step.verdict == Verdict::kNew) window.Accept(step.sequence);
    ++index;
  }
}

TEST(ReplayWindowTest, AcceptsEachNumberOnceInAnyOrderWithinTheWindow) {
  RunSteps({{0, Verdict::kNew}, {0, Verdict::kReplayed}, {1, Verdict::kNew}, {5, Verdict::kNew},
       {3, Verdict::kNew}, {2, Verdict::kNew}, {4, Verdict::kNew}, {3, Verdict::kReplayed},
       {5, Verdict::kReplayed}});
}

TEST(ReplayWindowTest, RefusesNumbersOlderThanTheWindow) {
  // After 100 the window holds 37 to 100; after 164 it holds 101 to 164.
  RunSteps({{100, Verdict::kNew}, {36, Verdict::kTooOld}, {35, Verdict::kTooOld}, {37, Verdict::kNew},
            {164, Verdict::kNew}, {100, Verdict::kTooOld}, {101, Verdict::kNew}, {101, Verdict::kReplayed}});
}

TEST(ReplayWindowTest, SurvivesLargeJumpsAndTheHighestNumber) {
  RunSteps({{5, Verdict::kNew}, {UINT64_MAX - 1, Verdict::kNew}, {5, Verdict::kTooOld},
       {UINT64_MAX, Verdict::kNew}, {UINT64_MAX - 1, Verdict::kReplayed}, {UINT64_MAX - 2, Verdict::kNew}});
}

TEST(ReplayWindowTest, CheckingRecordsNothing) {
  ReplayWindow window;
  EXPECT_EQ(Verdict::kNew, window.Check(7));
  EXPECT_EQ(Verdict::kNew, window.Check(7));
}

}  // namespace
