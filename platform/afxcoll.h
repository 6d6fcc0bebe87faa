// MFC's collection classes as the framework uses them: the arrays CObArray, CPtrArray,
// CDWordArray, CByteArray, CStringArray, and the list CObList.
//
// Contract: indexes run from 0 to GetUpperBound(). An index, count or POSITION outside the
// collection throws std::out_of_range (never touches memory outside it); InsertAt past the end
// grows the array first, as in MFC. Pointer collections never delete their elements. A list's
// POSITION stays valid until its element is removed; removing the element at a position that
// GetNext has already moved past is safe. Collections have no lock of their own.
#pragma once

#include <stdexcept>
#include <type_traits>
#include <vector>

#include "platform/afx.h"

namespace afx_detail {

// The storage and operations the array classes share; each public class adds its run-time class.
template <class TYPE, class ARG_TYPE>
class CArrayBase : public CObject {
 public:
  // Scalars come back by value, strings by reference, as in MFC.
  using ConstRef = std::conditional_t<std::is_scalar_v<TYPE>, TYPE, const TYPE&>;

  INT_PTR GetSize() const { return static_cast<INT_PTR>(m_data.size()); }
  INT_PTR GetCount() const { return GetSize(); }
  INT_PTR GetUpperBound() const { return GetSize() - 1; }
  BOOL IsEmpty() const { return m_data.empty() ? TRUE : FALSE; }

  // New elements are zero (empty strings); nGrowBy is only a capacity hint.
  void SetSize(INT_PTR nNewSize, INT_PTR nGrowBy = -1) {
    if (nNewSize < 0) throw std::out_of_range("SetSize: negative size");
    if (nGrowBy > 0 && static_cast<size_t>(nNewSize) > m_data.capacity()) {
      m_data.reserve(static_cast<size_t>(nNewSize + nGrowBy));
    }
    m_data.resize(static_cast<size_t>(nNewSize));
  }
  void RemoveAll() { m_data.clear(); }

  ConstRef GetAt(INT_PTR nIndex) const { return m_data[Checked(nIndex)]; }
  void SetAt(INT_PTR nIndex, ARG_TYPE newElement) { m_data[Checked(nIndex)] = newElement; }
  TYPE& ElementAt(INT_PTR nIndex) { return m_data[Checked(nIndex)]; }
  ConstRef operator[](INT_PTR nIndex) const { return GetAt(nIndex); }
  TYPE& operator[](INT_PTR nIndex) { return ElementAt(nIndex); }
  // NULL when empty; invalidated by any change of size.
  TYPE* GetData() { return m_data.empty() ? nullptr : m_data.data(); }
  const TYPE* GetData() const { return m_data.empty() ? nullptr : m_data.data(); }

  // Returns the index of the new element.
  INT_PTR Add(ARG_TYPE newElement) {
    m_data.push_back(TYPE(newElement));
    return GetUpperBound();
  }
  // Returns the index of the first appended element.
  INT_PTR Append(const CArrayBase& src) {
    const INT_PTR nOldSize = GetSize();
    const std::vector<TYPE> copy(src.m_data);  // src may be *this
    m_data.insert(m_data.end(), copy.begin(), copy.end());
    return nOldSize;
  }
  void Copy(const CArrayBase& src) {
    if (&src != this) m_data = src.m_data;
  }

  // nCount copies of newElement at nIndex; past the end the array grows (zero gap) first.
  void InsertAt(INT_PTR nIndex, ARG_TYPE newElement, INT_PTR nCount = 1) {
    if (nIndex < 0 || nCount < 0) throw std::out_of_range("InsertAt: negative index or count");
    const TYPE value(newElement);  // newElement may refer into the array
    if (nIndex > GetSize()) m_data.resize(static_cast<size_t>(nIndex));
    m_data.insert(m_data.begin() + nIndex, static_cast<size_t>(nCount), value);
  }
  void InsertAt(INT_PTR nStartIndex, const CArrayBase* pNewArray) {
    if (pNewArray == nullptr || nStartIndex < 0) throw std::out_of_range("InsertAt: bad argument");
    const std::vector<TYPE> copy(pNewArray->m_data);  // pNewArray may be this
    if (nStartIndex > GetSize()) m_data.resize(static_cast<size_t>(nStartIndex));
    m_data.insert(m_data.begin() + nStartIndex, copy.begin(), copy.end());
  }
  void RemoveAt(INT_PTR nIndex, INT_PTR nCount = 1) {
    if (nIndex < 0 || nCount < 0 || nCount > GetSize() - nIndex) {
      throw std::out_of_range("RemoveAt: range outside the array");
    }
    m_data.erase(m_data.begin() + nIndex, m_data.begin() + nIndex + nCount);
  }

 protected:
  CArrayBase() = default;

 private:
  size_t Checked(INT_PTR nIndex) const {
    if (nIndex < 0 || nIndex >= GetSize()) throw std::out_of_range("array index out of range");
    return static_cast<size_t>(nIndex);
  }

  std::vector<TYPE> m_data;
};

}  // namespace afx_detail

class CObArray : public afx_detail::CArrayBase<CObject*, CObject*> {
  DECLARE_DYNCREATE(CObArray)
};

class CPtrArray : public afx_detail::CArrayBase<void*, void*> {
  DECLARE_DYNCREATE(CPtrArray)
};

class CDWordArray : public afx_detail::CArrayBase<DWORD, DWORD> {
  DECLARE_DYNCREATE(CDWordArray)
};

class CByteArray : public afx_detail::CArrayBase<BYTE, BYTE> {
  DECLARE_DYNCREATE(CByteArray)
};

class CStringArray : public afx_detail::CArrayBase<CString, const CString&> {
  DECLARE_DYNCREATE(CStringArray)
};

// Doubly linked list of CObject pointers. Nodes come from blocks of nBlockSize and are recycled
// until RemoveAll or destruction.
class CObList : public CObject {
  DECLARE_DYNCREATE(CObList)

  explicit CObList(INT_PTR nBlockSize = 10);
  ~CObList() override;

  INT_PTR GetCount() const { return m_nCount; }
  INT_PTR GetSize() const { return m_nCount; }
  BOOL IsEmpty() const { return m_nCount == 0 ? TRUE : FALSE; }

  // The head/tail accessors and removers throw std::out_of_range on an empty list.
  CObject*& GetHead();
  CObject* GetHead() const;
  CObject*& GetTail();
  CObject* GetTail() const;
  CObject* RemoveHead();
  CObject* RemoveTail();
  POSITION AddHead(CObject* newElement);
  POSITION AddTail(CObject* newElement);
  void RemoveAll();

  POSITION GetHeadPosition() const { return ToPosition(m_pNodeHead); }
  POSITION GetTailPosition() const { return ToPosition(m_pNodeTail); }
  // Return the element at rPosition and move rPosition on (NULL past the end).
  CObject*& GetNext(POSITION& rPosition);
  CObject* GetNext(POSITION& rPosition) const;
  CObject*& GetPrev(POSITION& rPosition);
  CObject* GetPrev(POSITION& rPosition) const;

  CObject*& GetAt(POSITION position);
  CObject* GetAt(POSITION position) const;
  void SetAt(POSITION pos, CObject* newElement);
  void RemoveAt(POSITION position);
  // A NULL position inserts at the head (InsertBefore) or the tail (InsertAfter).
  POSITION InsertBefore(POSITION position, CObject* newElement);
  POSITION InsertAfter(POSITION position, CObject* newElement);

  // Searches after startAfter (from the head when NULL); NULL when not found.
  POSITION Find(CObject* searchValue, POSITION startAfter = nullptr) const;
  // NULL when nIndex is outside the list.
  POSITION FindIndex(INT_PTR nIndex) const;

 private:
  struct CNode {
    CNode* pNext;
    CNode* pPrev;
    CObject* data;
  };

  static POSITION ToPosition(CNode* pNode) { return reinterpret_cast<POSITION>(pNode); }
  static CNode* ToNode(POSITION position);  // throws on NULL
  CNode* NewNode(CNode* pPrev, CNode* pNext);
  void FreeNode(CNode* pNode);

  CNode* m_pNodeHead = nullptr;
  CNode* m_pNodeTail = nullptr;
  INT_PTR m_nCount = 0;
  CNode* m_pNodeFree = nullptr;
  std::vector<std::vector<CNode>> m_blocks;
  INT_PTR m_nBlockSize;
};
