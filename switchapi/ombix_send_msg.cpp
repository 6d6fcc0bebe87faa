#include "switchapi/ombix_send_msg.h"

#include <cstring>

COmbixSendMsg::COmbixSendMsg(DWORD dwSeq, const BYTE* pBody, DWORD dwBodyLength)
    : m_pBuffer(new BYTE[4 + dwBodyLength]), m_dwLength(4 + dwBodyLength), m_dwSeq(dwSeq) {
  m_pBuffer[0] = static_cast<BYTE>(dwSeq >> 24);
  m_pBuffer[1] = static_cast<BYTE>(dwSeq >> 16);
  m_pBuffer[2] = static_cast<BYTE>(dwSeq >> 8);
  m_pBuffer[3] = static_cast<BYTE>(dwSeq);
  if (dwBodyLength > 0) std::memcpy(m_pBuffer.get() + 4, pBody, dwBodyLength);
}

COmbixSendMsgQueue::~COmbixSendMsgQueue() {
  Clear();
}

void COmbixSendMsgQueue::Push(std::unique_ptr<COmbixSendMsg> pMsg) {
  COmbixSendMsg* pRaw = pMsg.get();
  if (m_pTail != nullptr) {
    m_pTail->m_pNext = std::move(pMsg);
  } else {
    m_pHead = std::move(pMsg);
  }
  m_pTail = pRaw;
}

std::unique_ptr<COmbixSendMsg> COmbixSendMsgQueue::Pop() {
  std::unique_ptr<COmbixSendMsg> pHead = std::move(m_pHead);
  if (pHead != nullptr) {
    m_pHead = std::move(pHead->m_pNext);
    if (m_pHead == nullptr) m_pTail = nullptr;
  }
  return pHead;
}

void COmbixSendMsgQueue::Clear() {
  // One at a time, so a long queue is not freed by deep recursion through m_pNext.
  while (Pop() != nullptr) {
  }
}
