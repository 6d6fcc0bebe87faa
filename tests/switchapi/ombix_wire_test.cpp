#include "switchapi/ombix_wire.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "tests/switchapi/datagram_builder.h"

namespace {

// The encoders' bytes are checked whole where the link sends them: against a scripted switch
// (ombix_api_link_test.cpp) and against switch-sim (ombix_api_e2e_test.cpp).

TEST(OmbixWireTest, WriterNeverWritesPastItsBuffer) {
  std::array<BYTE, 16> buffer;
  buffer.fill(0xAA);
  COmbixWriter w(buffer.data(), 10);
  w.WriteDword(1);
  w.WriteString("abc");  // 4 + 3 = 7 bytes, only 6 left
  EXPECT_TRUE(w.IsOverflow());
  EXPECT_EQ(w.GetLength(), 4u);
  w.WriteDword(2);  // would fit, but the body is already incomplete
  EXPECT_EQ(w.GetLength(), 4u);
  for (std::size_t i = 4; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], 0xAA) << i;

  COmbixWriter exact(buffer.data(), 7);  // a string filling the buffer exactly fits
  exact.WriteString("abc");
  EXPECT_FALSE(exact.IsOverflow());
  EXPECT_EQ(exact.GetLength(), 7u);
}

TEST(OmbixWireTest, ObjectIdCallNumberIsItsLastFourBytesBigEndian) {
  const ObjectId oid = {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x02}};
  EXPECT_EQ(oid.GetCallNumber(), 258u);
  const ObjectId high = {{9, 9, 9, 9, 9, 9, 9, 9, 0x80, 0x00, 0x00, 0x01}};
  EXPECT_EQ(high.GetCallNumber(), 0x80000001u);
}

// A string cut to its buffer is shown through the decoder's tests.
TEST(OmbixWireTest, ReaderRules) {
  // A length running past the end: empty, and the next field read right behind the length.
  {
    const TestDatagram d = TestDatagram().U32(50).U32(7);
    COmbixReader r(d.data(), d.size());
    char sz[16] = "junk";
    r.ReadString(sz);
    EXPECT_STREQ(sz, "");
    EXPECT_EQ(r.ReadDword(), 7u);
  }
  // A length near 2^32 must not wrap around the end check.
  {
    const TestDatagram d = TestDatagram().U32(0xFFFFFFFC).Raw({'a', 'b', 'c', 'd'});
    COmbixReader r(d.data(), d.size());
    char sz[16];
    r.ReadString(sz);
    EXPECT_STREQ(sz, "");
    EXPECT_EQ(r.GetPosition(), 4u);
  }
  // Missing u32 reads as 0 and the position stays; a missing ObjectId keeps its contents.
  {
    const TestDatagram d = TestDatagram().Raw({1, 2, 3});
    COmbixReader r(d.data(), d.size());
    EXPECT_EQ(r.ReadDword(), 0u);
    EXPECT_EQ(r.GetPosition(), 0u);
    ObjectId oid = {{5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5}};
    r.ReadObjectId(oid);
    EXPECT_EQ(oid.abId[0], 5);
    EXPECT_EQ(r.GetPosition(), 0u);
  }
  // Bytes: those present are copied, the rest zeroed (the trace reads into an unset byte).
  {
    const TestDatagram d = TestDatagram().Raw({1, 2, 3});
    COmbixReader r(d.data(), d.size());
    BYTE ab[6] = {9, 9, 9, 9, 9, 9};
    r.ReadBytes(ab, 6);
    EXPECT_EQ(std::vector<BYTE>(ab, ab + 6), (std::vector<BYTE>{1, 2, 3, 0, 0, 0}));
  }
}

TEST(OmbixWireTest, HeaderOfAShortDatagramReadsMissingWordsAsZero) {
  const BYTE ab[] = {0, 0, 0, 9, 0, 0};
  const OMBIXHEADER header = ReadOmbixHeader(ab, sizeof(ab));
  EXPECT_EQ(header.dwMsgSeq, 9u);
  EXPECT_EQ(header.dwMsgType, 0u);
}

}  // namespace
