#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <stdexcept>

#include "framework/ado_array.h"
#include "framework/alloc_buffer.h"
#include "framework/flag_array.h"
#include "framework/map_dword_to_string.h"

namespace {

class CFlagArrayProbe : public CFlagArray {
 public:
  const CByteArray& Bytes() const { return m_arrFlags; }
};

TEST(CFlagArrayTest, GrowsToTheByteOfTheBit) {
  CFlagArrayProbe flags;
  EXPECT_FALSE(flags.GetAt(71));
  EXPECT_FALSE(flags.GetAt(-1));
  flags.SetAt(71, TRUE);
  ASSERT_EQ(flags.Bytes().GetSize(), 9);
  EXPECT_EQ(flags.Bytes()[8], 0x80);
  for (INT_PTR i = 0; i < 8; ++i) EXPECT_EQ(flags.Bytes()[i], 0) << i;
  EXPECT_TRUE(flags.GetAt(71));
  EXPECT_FALSE(flags.GetAt(70));
  EXPECT_FALSE(flags.GetAt(72));

  flags.SetAt(0, TRUE);
  flags.SetAt(9, 5);  // any non-zero value sets
  EXPECT_EQ(flags.Bytes()[0], 0x01);
  EXPECT_EQ(flags.Bytes()[1], 0x02);
  flags.SetAt(71, FALSE);
  EXPECT_FALSE(flags.GetAt(71));
  EXPECT_EQ(flags.Bytes().GetSize(), 9);
  EXPECT_THROW(flags.SetAt(-1, TRUE), std::out_of_range);
}

TEST(CMapDWordToStringTest, InsertOverwriteRemoveAndIterate) {
  CMapDWordToString map(0);  // block size 0 means the default
  CString value("kept");
  EXPECT_FALSE(map.Lookup(0, value));
  EXPECT_STREQ(value, "kept");
  EXPECT_FALSE(map.RemoveKey(0));
  ASSERT_EQ(map.GetHashTableSize(), 17u);  // the buckets named below
  // Keys 0x10 and 0x120 share bucket 1; 0x20 is bucket 2; 0xFFFFFFFF lands in bucket 0x0FFFFFFF
  // % 17.
  map.SetAt(0x10, "a");
  map[0x120] = "b";
  map.SetAt(0x20, "c");
  map.SetAt(0xFFFFFFFF, "d");
  map.SetAt(0x10, "A");  // overwrite
  EXPECT_EQ(map.GetCount(), 4);
  ASSERT_TRUE(map.Lookup(0x10, value));
  EXPECT_STREQ(value, "A");

  std::map<DWORD, CString> seen;
  POSITION pos = map.GetStartPosition();
  int steps = 0;
  while (pos != nullptr && steps++ < 10) {
    DWORD key = 0;
    map.GetNextAssoc(pos, key, value);
    EXPECT_TRUE(seen.emplace(key, value).second) << key;
  }
  EXPECT_EQ(pos, nullptr);
  EXPECT_EQ(seen,
            (std::map<DWORD, CString>{{0x10, "A"}, {0x20, "c"}, {0x120, "b"}, {0xFFFFFFFF, "d"}}));
  DWORD key = 0;
  EXPECT_THROW(map.GetNextAssoc(pos, key, value), std::out_of_range);

  EXPECT_TRUE(map.RemoveKey(0x120));
  EXPECT_FALSE(map.RemoveKey(0x120));
  EXPECT_TRUE(map.Lookup(0x10, value));  // its bucket neighbour survives
  EXPECT_FALSE(map.Lookup(0x120, value));
  for (DWORD k : {0x10u, 0x20u, 0xFFFFFFFFu}) EXPECT_TRUE(map.RemoveKey(k)) << k;
  EXPECT_EQ(map.GetCount(), 0);
  EXPECT_EQ(map.GetStartPosition(), nullptr);

  for (DWORD k = 0; k < 100; ++k) map.SetAt(k * 7, "v");  // several blocks, long chains
  EXPECT_EQ(map.GetCount(), 100);
  ASSERT_TRUE(map.Lookup(693, value));
  map.RemoveAll();
  EXPECT_FALSE(map.Lookup(693, value));
  EXPECT_TRUE(map.IsEmpty());
}

class CCounted : public CObject {
 public:
  explicit CCounted(int* pDeaths) : m_pDeaths(pDeaths) {}
  ~CCounted() override { ++*m_pDeaths; }

 private:
  int* m_pDeaths;
};

TEST(CADObArrayTest, DeletesExactlyItsNonNullElements) {
  int deaths = 0;
  CCounted* removed = new CCounted(&deaths);
  {
    CADObArray array;
    array.Add(new CCounted(&deaths));
    array.Add(nullptr);
    array.Add(removed);
    array.Add(new CCounted(&deaths));
    array.SetSize(6);   // two more null entries
    array.RemoveAt(2);  // removing does not delete
    EXPECT_EQ(deaths, 0);
    EXPECT_EQ(array.GetRuntimeClass(), RUNTIME_CLASS(CObArray));
  }
  EXPECT_EQ(deaths, 2);
  delete removed;
  EXPECT_EQ(deaths, 3);
}

TEST(AllocBufferTest, ImpossibleSizesGiveNull) {
  EXPECT_EQ(AllocBuffer(SIZE_MAX), nullptr);
  EXPECT_EQ(AllocBuffer(static_cast<size_t>(PTRDIFF_MAX) + 1), nullptr);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
  // Within the object-size limit but beyond any address space: the allocator itself fails.
  // (The sanitizers' allocators abort on such a request instead of failing it.)
  EXPECT_EQ(AllocBuffer(static_cast<size_t>(PTRDIFF_MAX) / 2), nullptr);
#endif
  FreeBuffer(nullptr);

  auto* p = static_cast<unsigned char*>(AllocBuffer(64));
  ASSERT_NE(p, nullptr);
  p[0] = 1;
  p[63] = 2;
  FreeBuffer(p);
}

}  // namespace
