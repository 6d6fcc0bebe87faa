#include "platform/afxcoll.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <vector>

// Outside the anonymous namespace: a run-time class is meant to be visible to its whole program.
class CAfxCollTestNoFactory : public CObject {
  DECLARE_DYNAMIC(CAfxCollTestNoFactory)
};
IMPLEMENT_DYNAMIC(CAfxCollTestNoFactory, CObject)

namespace {

std::vector<DWORD> Contents(const CDWordArray& a) {
  std::vector<DWORD> v;
  for (INT_PTR i = 0; i < a.GetSize(); ++i) v.push_back(a.GetAt(i));
  return v;
}

TEST(CArrayTest, InsertAtGrowsPastTheEndAndInsertsCopies) {
  CDWordArray a;
  a.InsertAt(3, 7, 2);  // past the end: zero gap, then the copies
  EXPECT_EQ(Contents(a), (std::vector<DWORD>{0, 0, 0, 7, 7}));
  a.InsertAt(1, 5, 3);
  EXPECT_EQ(Contents(a), (std::vector<DWORD>{0, 5, 5, 5, 0, 0, 7, 7}));
  EXPECT_EQ(a.Add(9), 8);
  EXPECT_EQ(a.GetUpperBound(), 8);
  EXPECT_THROW(a.InsertAt(-1, 1), std::out_of_range);
}

TEST(CArrayTest, RemoveAtAndElementAccessCheckTheWholeRange) {
  CDWordArray a;
  for (DWORD i = 0; i < 6; ++i) a.Add(i);
  a.RemoveAt(1, 3);
  EXPECT_EQ(Contents(a), (std::vector<DWORD>{0, 4, 5}));
  EXPECT_THROW(a.RemoveAt(2, 2), std::out_of_range);
  EXPECT_THROW(a.RemoveAt(-1), std::out_of_range);
  EXPECT_THROW(a.RemoveAt(3), std::out_of_range);
  EXPECT_EQ(Contents(a), (std::vector<DWORD>{0, 4, 5}));  // a refused removal changes nothing
  EXPECT_THROW(a.GetAt(3), std::out_of_range);
  EXPECT_THROW(a.ElementAt(-1), std::out_of_range);
  EXPECT_THROW(a.SetAt(3, 0), std::out_of_range);
  EXPECT_THROW(a[3], std::out_of_range);
  a.RemoveAt(3, 0);  // empty range at the end is allowed
  a.RemoveAt(0, 3);
  EXPECT_TRUE(a.IsEmpty());
  EXPECT_THROW(a.GetAt(0), std::out_of_range);
}

TEST(CArrayTest, SetSizeZeroFillsGrowthAndKeepsPrefix) {
  CByteArray a;
  a.Add(0xAA);
  a.SetSize(1000, 16);
  ASSERT_EQ(a.GetSize(), 1000);
  EXPECT_EQ(a[0], 0xAA);
  for (INT_PTR i = 1; i < 1000; ++i) ASSERT_EQ(a[i], 0) << i;
  a.SetSize(1);
  EXPECT_EQ(a.GetSize(), 1);
  a.SetSize(3);
  EXPECT_EQ(a[2], 0);  // a shrink then regrowth does not bring old values back
  EXPECT_THROW(a.SetSize(-1), std::out_of_range);
}

TEST(CArrayTest, AppendCopyAndInsertFromThemselves) {
  CStringArray a;
  EXPECT_EQ(a.Add("x"), 0);
  EXPECT_EQ(a.Add(CString("y")), 1);
  EXPECT_EQ(a.Append(a), 2);
  ASSERT_EQ(a.GetSize(), 4);
  EXPECT_STREQ(a[3], "y");
  a.InsertAt(0, a[3], 2);  // the element is copied before the array moves
  EXPECT_STREQ(a[0], "y");
  EXPECT_STREQ(a[1], "y");
  a.InsertAt(1, &a);
  EXPECT_EQ(a.GetSize(), 12);
  CStringArray b;
  b.Copy(a);
  a.RemoveAll();
  EXPECT_EQ(b.GetSize(), 12);
  EXPECT_STREQ(b[11], "y");
}

// A list of distinct pointers 1..n stands in for objects; the list never dereferences them.
CObject* Item(INT_PTR n) {
  return reinterpret_cast<CObject*>(n * 16);
}

TEST(CObListTest, RemovingWhileIteratingByPositionAndRemovingTwiceIsRefused) {
  CObList list(2);  // small blocks: nodes come from several blocks
  for (INT_PTR i = 1; i <= 9; ++i) list.AddTail(Item(i));
  POSITION pos = list.GetHeadPosition();
  POSITION current = nullptr;
  while (pos != nullptr) {
    current = pos;
    CObject* p = list.GetNext(pos);
    if (reinterpret_cast<INT_PTR>(p) / 16 % 2 == 1) list.RemoveAt(current);
  }
  ASSERT_EQ(list.GetCount(), 4);
  std::vector<CObject*> seen;
  for (pos = list.GetTailPosition(); pos != nullptr;) seen.push_back(list.GetPrev(pos));
  EXPECT_EQ(seen, (std::vector<CObject*>{Item(8), Item(6), Item(4), Item(2)}));
  EXPECT_THROW(list.RemoveAt(current), std::out_of_range);  // the tail, gone already
  EXPECT_EQ(list.GetCount(), 4);
  EXPECT_EQ(list.GetTail(), Item(8));
  POSITION none = nullptr;
  EXPECT_THROW(list.GetNext(none), std::out_of_range);

  while (!list.IsEmpty()) list.RemoveHead();
  EXPECT_EQ(list.GetHeadPosition(), nullptr);
  EXPECT_THROW(list.RemoveHead(), std::out_of_range);
  EXPECT_THROW(list.GetTail(), std::out_of_range);
  list.AddHead(Item(1));  // usable again after emptying
  EXPECT_EQ(list.GetHead(), Item(1));
}

TEST(CObListTest, InsertFindAndIndex) {
  CObList list;
  POSITION p2 = list.InsertAfter(nullptr, Item(2));  // NULL: at the tail
  list.InsertBefore(nullptr, Item(1));               // NULL: at the head
  list.InsertAfter(p2, Item(4));
  list.InsertBefore(list.Find(Item(4)), Item(3));
  list.AddTail(Item(2));
  ASSERT_EQ(list.GetCount(), 5);
  for (INT_PTR i = 0; i < 4; ++i) EXPECT_EQ(list.GetAt(list.FindIndex(i)), Item(i + 1));
  EXPECT_EQ(list.FindIndex(5), nullptr);
  EXPECT_EQ(list.FindIndex(-1), nullptr);
  EXPECT_EQ(list.Find(Item(2)), p2);
  EXPECT_EQ(list.Find(Item(2), p2), list.GetTailPosition());
  EXPECT_EQ(list.Find(Item(1), p2), nullptr);
  list.SetAt(p2, Item(7));
  EXPECT_EQ(list.GetAt(p2), Item(7));
}

TEST(RuntimeClassTest, CreateAndRelate) {
  std::unique_ptr<CObject> list(RUNTIME_CLASS(CObList)->CreateObject());
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->GetRuntimeClass(), RUNTIME_CLASS(CObList));
  EXPECT_TRUE(list->IsKindOf(RUNTIME_CLASS(CObject)));
  EXPECT_FALSE(list->IsKindOf(RUNTIME_CLASS(CObArray)));
  EXPECT_STREQ(RUNTIME_CLASS(CStringArray)->m_lpszClassName, "CStringArray");
  EXPECT_EQ(RUNTIME_CLASS(CAfxCollTestNoFactory)->CreateObject(), nullptr);
  EXPECT_TRUE(RUNTIME_CLASS(CAfxCollTestNoFactory)->IsDerivedFrom(RUNTIME_CLASS(CObject)));
  EXPECT_FALSE(RUNTIME_CLASS(CObject)->IsDerivedFrom(RUNTIME_CLASS(CAfxCollTestNoFactory)));
  EXPECT_FALSE(RUNTIME_CLASS(CObject)->IsDerivedFrom(nullptr));
}

}  // namespace
