#include "platform/CriticalSection.h"

#include <thread>

#include <gtest/gtest.h>

namespace {

TEST(CriticalSectionTest, IsRecursiveAndExcludesOtherThreads) {
  CriticalSection section;
  int counter = 0;
  {
    CriticalSectionLock outer(section);
    CriticalSectionLock inner(section);
    bool otherGotIt = true;
    std::thread other([&] {
      otherGotIt = section.TryEnter();
      if (otherGotIt) section.Leave();
    });
    other.join();
    EXPECT_FALSE(otherGotIt);
  }
  std::thread a([&] {
    for (int i = 0; i < 10000; ++i) {
      CriticalSectionLock hold(section);
      ++counter;
    }
  });
  for (int i = 0; i < 10000; ++i) {
    CriticalSectionLock hold(section);
    ++counter;
  }
  a.join();
  EXPECT_EQ(20000, counter);
  EXPECT_TRUE(section.TryEnter());
  section.Leave();
}

}  // namespace
