// COmbixSendMsg: one numbered datagram of the link (dwMsgSeq, then the body) with its resend
// count and last send tick. COmbixSendMsgQueue: the datagrams waiting to be sent, in order.
//
// Contract: the queue owns what it holds and deletes it when cleared or destroyed. It is not
// synchronised itself: the link keeps it under its own lock.
#pragma once

#include <memory>

#include "platform/wintypes.h"

class COmbixSendMsg {
 public:
  // A datagram of dwSeq followed by the dwBodyLength bytes of the body.
  COmbixSendMsg(DWORD dwSeq, const BYTE* pBody, DWORD dwBodyLength);
  virtual ~COmbixSendMsg() = default;
  COmbixSendMsg(const COmbixSendMsg&) = delete;
  COmbixSendMsg& operator=(const COmbixSendMsg&) = delete;

  std::unique_ptr<COmbixSendMsg> m_pNext;  // owned while queued
  std::unique_ptr<BYTE[]> m_pBuffer;       // the whole datagram
  DWORD m_dwLength;                        // 4 plus the body
  DWORD m_dwSeq;
  DWORD m_dwResends = 0;   // 0 after the first send
  DWORD m_dwSendTick = 0;  // tick count of the last send
};

class COmbixSendMsgQueue {
 public:
  COmbixSendMsgQueue() = default;
  virtual ~COmbixSendMsgQueue();
  COmbixSendMsgQueue(const COmbixSendMsgQueue&) = delete;
  COmbixSendMsgQueue& operator=(const COmbixSendMsgQueue&) = delete;

  void Push(std::unique_ptr<COmbixSendMsg> pMsg);
  // The head, taken off the queue; null when it is empty.
  std::unique_ptr<COmbixSendMsg> Pop();
  void Clear();
  BOOL IsEmpty() const { return m_pHead == nullptr; }

 private:
  std::unique_ptr<COmbixSendMsg> m_pHead;
  COmbixSendMsg* m_pTail = nullptr;
};
