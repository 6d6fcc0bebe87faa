#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>

#include "platform/afx.h"

namespace {

TEST(CStringTest, ConstructionAndCharacterAccessAreSafe) {
  EXPECT_TRUE(CString(static_cast<LPCSTR>(nullptr)).IsEmpty());
  EXPECT_STREQ(CString('x', 3), "xxx");
  EXPECT_TRUE(CString('x', -1).IsEmpty());
  EXPECT_STREQ(CString("abcdef", 3), "abc");
  EXPECT_TRUE(CString(static_cast<LPCSTR>(nullptr), 5).IsEmpty());

  CString a("one");
  CString b(a);
  b.SetAt(0, 'O');
  EXPECT_STREQ(a, "one");  // copies share nothing
  EXPECT_THROW(b.GetAt(3), std::out_of_range);
  EXPECT_THROW(b.GetAt(-1), std::out_of_range);
  EXPECT_THROW(b.SetAt(3, 'x'), std::out_of_range);
  EXPECT_THROW(CString().GetAt(0), std::out_of_range);
  EXPECT_STREQ(b, "One");
}

TEST(CStringTest, FormatProducesOutputOfAnyLengthAndMayReadItsOwnText) {
  const std::string big(10000, 'q');
  CString s;
  s.Format("[%s]%d", big.c_str(), 42);
  ASSERT_EQ(s.GetLength(), 10004);
  EXPECT_EQ(s[0], '[');
  EXPECT_STREQ(s.Right(4), "q]42");
  EXPECT_EQ(s.Mid(1, 10000), CString(big.c_str()));

  CString own("abc");  // may read its own text
  own.Format("%s-%s", static_cast<LPCSTR>(own), static_cast<LPCSTR>(own));
  EXPECT_STREQ(own, "abc-abc");
  own.Format("%s", "");
  EXPECT_TRUE(own.IsEmpty());
}

struct SliceCase {
  const char* what;
  CString result;
  const char* expected;
};

TEST(CStringTest, LeftRightMidClampToTheString) {
  const CString s("Hello");
  const SliceCase cases[] = {
      {"Left(-1)", s.Left(-1), ""},      {"Left(2)", s.Left(2), "He"},
      {"Left(99)", s.Left(99), "Hello"}, {"Right(-3)", s.Right(-3), ""},
      {"Right(2)", s.Right(2), "lo"},    {"Right(99)", s.Right(99), "Hello"},
      {"Mid(3)", s.Mid(3), "lo"},        {"Mid(5)", s.Mid(5), ""},
      {"Mid(99)", s.Mid(99), ""},        {"Mid(-2)", s.Mid(-2), "Hello"},
      {"Mid(1,3)", s.Mid(1, 3), "ell"},  {"Mid(2,99)", s.Mid(2, 99), "llo"},
      {"Mid(1,-1)", s.Mid(1, -1), ""},   {"Mid(-2,3)", s.Mid(-2, 3), "Hel"},
  };
  for (const SliceCase& c : cases) EXPECT_STREQ(c.result, c.expected) << c.what;
}

TEST(CStringTest, FindAndReverseFindHonourBounds) {
  const CString s("a+b+c");
  EXPECT_EQ(s.Find('+'), 1);
  EXPECT_EQ(s.Find('+', 2), 3);
  EXPECT_EQ(s.Find('+', 4), -1);
  EXPECT_EQ(s.Find('+', 99), -1);
  EXPECT_EQ(s.Find('+', -5), 1);
  EXPECT_EQ(s.Find("b+"), 2);
  EXPECT_EQ(s.Find("b+", 3), -1);
  EXPECT_EQ(s.Find("zz"), -1);
  EXPECT_EQ(s.FindOneOf("cb"), 2);
  EXPECT_EQ(s.ReverseFind('+'), 3);
  EXPECT_EQ(s.ReverseFind('z'), -1);
}

TEST(CStringTest, CaseOperationsAreAsciiOnly) {
  CString s("aZ\xE4\xC4-9");
  s.MakeUpper();
  EXPECT_STREQ(s, "AZ\xE4\xC4-9");
  s.MakeLower();
  EXPECT_STREQ(s, "az\xE4\xC4-9");
  EXPECT_EQ(CString("Tapi/Line").CompareNoCase("TAPI/line"), 0);
  EXPECT_LT(CString("abc").CompareNoCase("ABD"), 0);
  EXPECT_GT(CString("abcd").CompareNoCase("ABC"), 0);
  EXPECT_NE(CString("\xE4").CompareNoCase("\xC4"), 0);
}

TEST(CStringTest, ComparisonsWithStringsAndPointers) {
  const CString b("b");
  EXPECT_TRUE(b == "b");
  EXPECT_TRUE("b" == b);
  EXPECT_TRUE(b != CString("a"));
  EXPECT_TRUE(CString("a") < b);
  EXPECT_TRUE("c" > b);
  EXPECT_TRUE(b >= "b");
  EXPECT_EQ(CString("x") + "y" + 'z' + CString("!"), CString("xyz!"));
}

TEST(CStringTest, BufferRoundTrip) {
  CString s("old");
  char* p = s.GetBuffer(10);
  std::strcpy(p, "0123456789");  // 10 characters plus the NUL
  s.ReleaseBuffer();
  EXPECT_STREQ(s, "0123456789");

  p = s.GetBuffer(4);  // shorter than the text: the text stays
  p[2] = '\0';
  s.ReleaseBuffer();
  EXPECT_STREQ(s, "01");

  s.GetBuffer(5);
  s.ReleaseBuffer(99);  // more than the buffer holds
  EXPECT_EQ(s.GetLength(), 5);

  p = s.GetBufferSetLength(3);
  EXPECT_EQ(s.GetLength(), 3);
  std::memcpy(p, "xyz", 3);
  s.ReleaseBuffer(2);
  EXPECT_STREQ(s, "xy");
}

TEST(CStringTest, TrimRemovesOnlyTheEnds) {
  CString s(" \t a b \r\n");
  s.TrimLeft();
  EXPECT_STREQ(s, "a b \r\n");
  s.TrimRight();
  EXPECT_STREQ(s, "a b");
  CString t("--x--");
  t.TrimLeft('-');
  EXPECT_STREQ(t, "x--");
  t.TrimRight("-x");
  EXPECT_TRUE(t.IsEmpty());
}

}  // namespace
