#include "common/GString.h"

#include <gtest/gtest.h>

#include <string>

TEST(GString, EmptyStringsShareOneBuffer) {
  GString a;
  GString b("");
  EXPECT_EQ(a.Text(), b.Text());
  EXPECT_TRUE(a.IsEmpty());
  a.Append("x");
  a.Empty();
  EXPECT_EQ(a.Text(), b.Text());
}

TEST(GString, BuildsFromBytesWithEmbeddedZero) {
  GString s("a\0b", 3);
  EXPECT_EQ(s.GetLength(), 3);
  EXPECT_EQ(s.GetAt(2), 'b');
  EXPECT_EQ(s.Text()[3], '\0');
}

TEST(GString, AppendsItsOwnText) {
  GString s("abc");
  for (int i = 0; i < 6; ++i) s.Append(s.Text(), s.Size());
  EXPECT_EQ(s.GetLength(), 3 * 64);
  EXPECT_EQ(s.Left(6), "abcabc");
}

TEST(GString, FindsAndCuts) {
  GString s("Content-Length: 12\r\n");
  EXPECT_EQ(s.Find(':'), 14);
  EXPECT_EQ(s.Find("Length"), 8);
  EXPECT_EQ(s.Find("length"), -1);
  EXPECT_EQ(s.FindNoCase("LENGTH"), 8);
  EXPECT_EQ(s.ReverseFind('\n'), 19);
  EXPECT_EQ(s.Find('x'), -1);
  EXPECT_EQ(s.Mid(16), "12\r\n");
  EXPECT_EQ(s.Mid(100), "");
  EXPECT_EQ(s.Left(7), "Content");
  EXPECT_EQ(s.Left(100), s);
  GString t = s.Mid(15);
  t.Trim();
  EXPECT_EQ(t, "12");
  t = "  \t ";
  t.Trim();
  EXPECT_TRUE(t.IsEmpty());
}

TEST(GString, ComparesInByteOrder) {
  EXPECT_LT(GString("ab").Compare("b"), 0);
  EXPECT_GT(GString("ab").Compare("a"), 0);
  EXPECT_EQ(GString("ab").Compare("ab"), 0);
  EXPECT_LT(GString("A").Compare("a"), 0);
  EXPECT_NE(GString("a"), GString("A"));
  EXPECT_EQ(GString("Server") + " " + GString("One"), "Server One");
}

TEST(GString, LowersAndSetsCharacters) {
  GString s("MiXeD");
  s.MakeLower();
  EXPECT_EQ(s, "mixed");
  s.SetAt(0, 'M');
  s.SetAt(99, 'x');
  EXPECT_EQ(s, "Mixed");
  EXPECT_EQ(s.GetAt(99), '\0');
}

TEST(GString, FormatCutsAt4095Characters) {
  GString s;
  s.Format("%s-%d", "n", 42);
  EXPECT_EQ(s, "n-42");
  std::string big(5000, 'x');
  s.Format("%s", big.c_str());
  EXPECT_EQ(s.GetLength(), 4095);
  s.Format("%s", s.Text());  // formatting from its own text is safe
  EXPECT_EQ(s.GetLength(), 4095);
}

TEST(GString, WipeOverwritesWithZeroCharacters) {
  GString s("secret");
  const char* buffer = s.Text();
  s.Wipe();
  EXPECT_EQ(s.Text(), buffer);
  EXPECT_EQ(s, "000000");
}

TEST(GString, BufferRoundTrip) {
  GString s("ab");
  char* p = s.GetBuffer(10);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(std::string(p), "ab");
  std::snprintf(p, 11, "0123456789");
  s.ReleaseBuffer();
  EXPECT_EQ(s, "0123456789");
  p = s.GetBuffer(0);
  s.ReleaseBuffer(4);
  EXPECT_EQ(s, "0123");
}
