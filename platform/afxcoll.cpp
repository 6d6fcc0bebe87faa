#include "platform/afxcoll.h"

IMPLEMENT_DYNCREATE(CObArray, CObject)
IMPLEMENT_DYNCREATE(CPtrArray, CObject)
IMPLEMENT_DYNCREATE(CDWordArray, CObject)
IMPLEMENT_DYNCREATE(CByteArray, CObject)
IMPLEMENT_DYNCREATE(CStringArray, CObject)
IMPLEMENT_DYNCREATE(CObList, CObject)

CObList::CObList(INT_PTR nBlockSize) : m_nBlockSize(nBlockSize > 0 ? nBlockSize : 10) {}

CObList::~CObList() {
  RemoveAll();
}

CObList::CNode* CObList::ToNode(POSITION position) {
  if (position == nullptr || position == BEFORE_START_POSITION) {
    throw std::out_of_range("CObList: no element at this position");
  }
  return reinterpret_cast<CNode*>(position);
}

CObList::CNode* CObList::NewNode(CNode* pPrev, CNode* pNext) {
  if (m_pNodeFree == nullptr) {
    m_blocks.emplace_back(static_cast<size_t>(m_nBlockSize));
    for (CNode& node : m_blocks.back()) {
      node.pNext = m_pNodeFree;
      m_pNodeFree = &node;
    }
  }
  CNode* pNode = m_pNodeFree;
  m_pNodeFree = pNode->pNext;
  pNode->pPrev = pPrev;
  pNode->pNext = pNext;
  pNode->data = nullptr;
  ++m_nCount;
  return pNode;
}

void CObList::FreeNode(CNode* pNode) {
  // Freed nodes stay allocated until the list empties; their cleared links let RemoveAt refuse
  // a position whose element is already gone.
  pNode->pPrev = nullptr;
  pNode->data = nullptr;
  pNode->pNext = m_pNodeFree;
  m_pNodeFree = pNode;
  if (--m_nCount == 0) RemoveAll();
}

void CObList::RemoveAll() {
  m_pNodeHead = m_pNodeTail = m_pNodeFree = nullptr;
  m_nCount = 0;
  m_blocks.clear();
}

CObject*& CObList::GetHead() {
  if (m_pNodeHead == nullptr) throw std::out_of_range("CObList::GetHead: empty list");
  return m_pNodeHead->data;
}

CObject* CObList::GetHead() const {
  return const_cast<CObList*>(this)->GetHead();
}

CObject*& CObList::GetTail() {
  if (m_pNodeTail == nullptr) throw std::out_of_range("CObList::GetTail: empty list");
  return m_pNodeTail->data;
}

CObject* CObList::GetTail() const {
  return const_cast<CObList*>(this)->GetTail();
}

CObject* CObList::RemoveHead() {
  CObject* data = GetHead();
  RemoveAt(ToPosition(m_pNodeHead));
  return data;
}

CObject* CObList::RemoveTail() {
  CObject* data = GetTail();
  RemoveAt(ToPosition(m_pNodeTail));
  return data;
}

POSITION CObList::AddHead(CObject* newElement) {
  return InsertBefore(nullptr, newElement);
}

POSITION CObList::AddTail(CObject* newElement) {
  return InsertAfter(nullptr, newElement);
}

CObject*& CObList::GetNext(POSITION& rPosition) {
  CNode* pNode = ToNode(rPosition);
  rPosition = ToPosition(pNode->pNext);
  return pNode->data;
}

CObject* CObList::GetNext(POSITION& rPosition) const {
  return const_cast<CObList*>(this)->GetNext(rPosition);
}

CObject*& CObList::GetPrev(POSITION& rPosition) {
  CNode* pNode = ToNode(rPosition);
  rPosition = ToPosition(pNode->pPrev);
  return pNode->data;
}

CObject* CObList::GetPrev(POSITION& rPosition) const {
  return const_cast<CObList*>(this)->GetPrev(rPosition);
}

CObject*& CObList::GetAt(POSITION position) {
  return ToNode(position)->data;
}

CObject* CObList::GetAt(POSITION position) const {
  return ToNode(position)->data;
}

void CObList::SetAt(POSITION pos, CObject* newElement) {
  ToNode(pos)->data = newElement;
}

void CObList::RemoveAt(POSITION position) {
  CNode* pNode = ToNode(position);
  if ((pNode != m_pNodeHead && pNode->pPrev == nullptr) || m_nCount == 0) {
    throw std::out_of_range("CObList::RemoveAt: element already removed");
  }
  if (pNode == m_pNodeHead) {
    m_pNodeHead = pNode->pNext;
  } else {
    pNode->pPrev->pNext = pNode->pNext;
  }
  if (pNode == m_pNodeTail) {
    m_pNodeTail = pNode->pPrev;
  } else {
    pNode->pNext->pPrev = pNode->pPrev;
  }
  FreeNode(pNode);
}

POSITION CObList::InsertBefore(POSITION position, CObject* newElement) {
  CNode* pOld = position == nullptr ? m_pNodeHead : ToNode(position);
  if (pOld == nullptr) {  // empty list
    CNode* pNode = NewNode(nullptr, nullptr);
    pNode->data = newElement;
    m_pNodeHead = m_pNodeTail = pNode;
    return ToPosition(pNode);
  }
  CNode* pNode = NewNode(pOld->pPrev, pOld);
  pNode->data = newElement;
  if (pOld->pPrev != nullptr) {
    pOld->pPrev->pNext = pNode;
  } else {
    m_pNodeHead = pNode;
  }
  pOld->pPrev = pNode;
  return ToPosition(pNode);
}

POSITION CObList::InsertAfter(POSITION position, CObject* newElement) {
  CNode* pOld = position == nullptr ? m_pNodeTail : ToNode(position);
  if (pOld == nullptr) return InsertBefore(nullptr, newElement);  // empty list
  CNode* pNode = NewNode(pOld, pOld->pNext);
  pNode->data = newElement;
  if (pOld->pNext != nullptr) {
    pOld->pNext->pPrev = pNode;
  } else {
    m_pNodeTail = pNode;
  }
  pOld->pNext = pNode;
  return ToPosition(pNode);
}

POSITION CObList::Find(CObject* searchValue, POSITION startAfter) const {
  CNode* pNode = startAfter == nullptr ? m_pNodeHead : ToNode(startAfter)->pNext;
  for (; pNode != nullptr; pNode = pNode->pNext) {
    if (pNode->data == searchValue) return ToPosition(pNode);
  }
  return nullptr;
}

POSITION CObList::FindIndex(INT_PTR nIndex) const {
  if (nIndex < 0 || nIndex >= m_nCount) return nullptr;
  CNode* pNode = m_pNodeHead;
  while (nIndex-- > 0) pNode = pNode->pNext;
  return ToPosition(pNode);
}
