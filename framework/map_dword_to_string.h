// CMapDWordToString: a hash map from a DWORD key to a CString value, built like the MFC maps.
//
// Contract: the hash table (17 buckets) is allocated at the first insertion; a key's bucket is
// (key >> 4) % table size. Associations come from blocks of the constructor's block size (10
// when given 0 or less). Iteration (GetStartPosition, then GetNextAssoc until the position is
// NULL) runs in bucket order, then chain order; changing the map invalidates it. Emptying the
// map (RemoveAll, removing the last key, destruction) releases the table, blocks and values.
// No lock of its own: the holder guards it.
#pragma once

#include <memory>
#include <vector>

#include "platform/afx.h"

class CMapDWordToString : public CObject {
  DECLARE_DYNCREATE(CMapDWordToString)

  explicit CMapDWordToString(INT_PTR nBlockSize = 10);
  ~CMapDWordToString() override;

  INT_PTR GetCount() const { return m_nCount; }
  INT_PTR GetSize() const { return m_nCount; }
  BOOL IsEmpty() const { return m_nCount == 0 ? TRUE : FALSE; }
  UINT GetHashTableSize() const { return m_nHashTableSize; }

  // FALSE when the key is absent; otherwise copies the value and returns TRUE.
  BOOL Lookup(DWORD key, CString& rValue) const;
  // The value of key, inserted empty when absent.
  CString& operator[](DWORD key);
  void SetAt(DWORD key, LPCSTR newValue) { (*this)[key] = newValue; }
  BOOL RemoveKey(DWORD key);
  void RemoveAll();

  // NULL for an empty map.
  POSITION GetStartPosition() const;
  // Throws std::out_of_range when rNextPosition is NULL or names no association.
  void GetNextAssoc(POSITION& rNextPosition, DWORD& rKey, CString& rValue) const;

 private:
  struct CAssoc {
    CAssoc* pNext;
    UINT nHashValue;
    DWORD key;
    CString value;
  };

  UINT HashKey(DWORD key) const { return (key >> 4) % m_nHashTableSize; }
  CAssoc* GetAssocAt(DWORD key, UINT& nHashValue) const;
  CAssoc* NewAssoc();
  void FreeAssoc(CAssoc* pAssoc);

  std::unique_ptr<CAssoc*[]> m_pHashTable;
  UINT m_nHashTableSize = 17;
  INT_PTR m_nCount = 0;
  CAssoc* m_pFreeList = nullptr;
  std::vector<std::unique_ptr<CAssoc[]>> m_blocks;
  INT_PTR m_nBlockSize;
};
