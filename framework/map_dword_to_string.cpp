#include "framework/map_dword_to_string.h"

#include <stdexcept>

IMPLEMENT_DYNCREATE(CMapDWordToString, CObject)

CMapDWordToString::CMapDWordToString(INT_PTR nBlockSize)
    : m_nBlockSize(nBlockSize > 0 ? nBlockSize : 10) {}

CMapDWordToString::~CMapDWordToString() {
  RemoveAll();
}

void CMapDWordToString::RemoveAll() {
  m_pHashTable.reset();
  m_blocks.clear();
  m_pFreeList = nullptr;
  m_nCount = 0;
}

CMapDWordToString::CAssoc* CMapDWordToString::GetAssocAt(DWORD key, UINT& nHashValue) const {
  nHashValue = HashKey(key);
  if (m_pHashTable == nullptr) return nullptr;
  for (CAssoc* pAssoc = m_pHashTable[nHashValue]; pAssoc != nullptr; pAssoc = pAssoc->pNext) {
    if (pAssoc->key == key) return pAssoc;
  }
  return nullptr;
}

CMapDWordToString::CAssoc* CMapDWordToString::NewAssoc() {
  if (m_pFreeList == nullptr) {
    m_blocks.push_back(std::make_unique<CAssoc[]>(static_cast<size_t>(m_nBlockSize)));
    CAssoc* pBlock = m_blocks.back().get();
    for (INT_PTR i = m_nBlockSize - 1; i >= 0; --i) {
      pBlock[i].pNext = m_pFreeList;
      m_pFreeList = &pBlock[i];
    }
  }
  CAssoc* pAssoc = m_pFreeList;
  m_pFreeList = pAssoc->pNext;
  ++m_nCount;
  return pAssoc;
}

void CMapDWordToString::FreeAssoc(CAssoc* pAssoc) {
  pAssoc->value.Empty();
  pAssoc->pNext = m_pFreeList;
  m_pFreeList = pAssoc;
  if (--m_nCount == 0) RemoveAll();
}

BOOL CMapDWordToString::Lookup(DWORD key, CString& rValue) const {
  UINT nHashValue;
  const CAssoc* pAssoc = GetAssocAt(key, nHashValue);
  if (pAssoc == nullptr) return FALSE;
  rValue = pAssoc->value;
  return TRUE;
}

CString& CMapDWordToString::operator[](DWORD key) {
  UINT nHashValue;
  CAssoc* pAssoc = GetAssocAt(key, nHashValue);
  if (pAssoc != nullptr) return pAssoc->value;
  if (m_pHashTable == nullptr) m_pHashTable = std::make_unique<CAssoc*[]>(m_nHashTableSize);
  pAssoc = NewAssoc();
  pAssoc->nHashValue = nHashValue;
  pAssoc->key = key;
  pAssoc->pNext = m_pHashTable[nHashValue];
  m_pHashTable[nHashValue] = pAssoc;
  return pAssoc->value;
}

BOOL CMapDWordToString::RemoveKey(DWORD key) {
  if (m_pHashTable == nullptr) return FALSE;
  for (CAssoc** ppLink = &m_pHashTable[HashKey(key)]; *ppLink != nullptr;
       ppLink = &(*ppLink)->pNext) {
    if ((*ppLink)->key == key) {
      CAssoc* pAssoc = *ppLink;
      *ppLink = pAssoc->pNext;
      FreeAssoc(pAssoc);
      return TRUE;
    }
  }
  return FALSE;
}

POSITION CMapDWordToString::GetStartPosition() const {
  return m_nCount == 0 ? nullptr : BEFORE_START_POSITION;
}

void CMapDWordToString::GetNextAssoc(POSITION& rNextPosition, DWORD& rKey, CString& rValue) const {
  const CAssoc* pAssoc = reinterpret_cast<const CAssoc*>(rNextPosition);
  if (rNextPosition == BEFORE_START_POSITION) {
    pAssoc = nullptr;
    for (UINT n = 0; m_pHashTable != nullptr && n < m_nHashTableSize && pAssoc == nullptr; ++n) {
      pAssoc = m_pHashTable[n];
    }
  }
  if (pAssoc == nullptr) throw std::out_of_range("CMapDWordToString::GetNextAssoc: no association");

  const CAssoc* pNext = pAssoc->pNext;
  for (UINT n = pAssoc->nHashValue + 1; pNext == nullptr && n < m_nHashTableSize; ++n) {
    pNext = m_pHashTable[n];
  }
  rNextPosition = reinterpret_cast<POSITION>(const_cast<CAssoc*>(pNext));
  rKey = pAssoc->key;
  rValue = pAssoc->value;
}
