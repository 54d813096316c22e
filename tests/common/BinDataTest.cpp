#include "common/BinData.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(BinData, GrowthReservesTwentyMoreThanAsked) {
  BinData b;
  ASSERT_EQ(b.SetLength(10), 0);
  EXPECT_EQ(b.GetLength(), 10u);
  EXPECT_EQ(b.GetCapacity(), 30u);
  ASSERT_EQ(b.SetLength(25), 0);  // within capacity: no reallocation
  EXPECT_EQ(b.GetCapacity(), 30u);
  ASSERT_EQ(b.SetLength(31), 0);
  EXPECT_EQ(b.GetCapacity(), 51u);
}

TEST(BinData, GrowingKeepsBytesAndZeroLengthFrees) {
  BinData b("abc", 3);
  ASSERT_EQ(b.SetLength(100), 0);
  EXPECT_EQ(std::memcmp(b.GetData(), "abc", 3), 0);
  EXPECT_EQ(b.GetData()[99], 0);
  b.SetLength(0);
  EXPECT_EQ(b.GetData(), nullptr);
  EXPECT_EQ(b.GetCapacity(), 0u);
}

TEST(BinData, AppendsRemovesAndTakesTheTail) {
  BinData b;
  b.Append("hello ", 6);
  b.Append(uint8_t{'w'});
  b.Append(b.GetData(), 2);  // from its own bytes
  EXPECT_EQ(BinData("hello whe", 9), b);
  BinData tail;
  ASSERT_EQ(b.GetLast(3, tail), 0);
  EXPECT_EQ(BinData("whe", 3), tail);
  ASSERT_EQ(b.GetLast(100, tail), 0);
  EXPECT_EQ(tail, b);
  b.RemoveFirst(6);
  EXPECT_EQ(BinData("whe", 3), b);
  b.RemoveFirst(10);
  EXPECT_TRUE(b.IsEmpty());
}

TEST(BinData, ClearWipesBeforeFreeing) {
  BinData b("key material", 12);
  b.Wipe();
  for (size_t i = 0; i < b.GetLength(); ++i) EXPECT_EQ(b.GetData()[i], 0);
  b.Clear();
  EXPECT_TRUE(b.IsEmpty());
}

TEST(BinData, HugeLengthFailsWithTheNoMemoryStatus) {
  BinData b("x", 1);
  EXPECT_EQ(b.SetLength(SIZE_MAX - 5), kStatusNoMemory);
  EXPECT_EQ(BinData("x", 1), b);
}
