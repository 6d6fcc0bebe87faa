#include "framework/request_records.h"

#include "framework/alloc_buffer.h"

TSPIMAKECALL::~TSPIMAKECALL() {
  FreeBuffer(lpCallParams);
}

TSPITRANSFER::~TSPITRANSFER() {
  FreeBuffer(lpCallParams);
}

TSPICONFERENCE::~TSPICONFERENCE() {
  FreeBuffer(lpCallParams);
}

void TSPIFORWARDINFO::AddRef() {
  m_lRefCount.fetch_add(1);
}

void TSPIFORWARDINFO::Release() {
  if (m_lRefCount.fetch_sub(1) <= 1) delete this;
}

TSPILINEFORWARD::~TSPILINEFORWARD() {
  for (INT_PTR i = 0; i < arrForwardInfo.GetSize(); ++i) {
    if (auto* pInfo = static_cast<TSPIFORWARDINFO*>(arrForwardInfo.GetAt(i))) pInfo->Release();
  }
  arrForwardInfo.RemoveAll();
  FreeBuffer(lpCallParams);
}

TSPICALLDATA::~TSPICALLDATA() {
  FreeBuffer(lpvCallData);
}

TSPIQOS::~TSPIQOS() {
  FreeBuffer(lpvSendingFlowSpec);
  FreeBuffer(lpvReceivingFlowSpec);
}

namespace {

// Completion IDs: unique among the records of the process, never 0. Derived from a counter and
// not from the record's address, which a later record may reuse while the line still holds the
// copy of an earlier one.
DWORD NextCompletionID() {
  static std::atomic<DWORD> s_dwLastID{0};
  DWORD dwID;
  do {
    dwID = s_dwLastID.fetch_add(1) + 1;
  } while (dwID == 0);
  return dwID;
}

}  // namespace

TSPICOMPLETECALL::TSPICOMPLETECALL() : dwCompletionID(NextCompletionID()) {}

TSPICOMPLETECALL::TSPICOMPLETECALL(const TSPICOMPLETECALL& other)
    : CObject(),
      dwCompletionID(other.dwCompletionID),
      dwCompletionMode(other.dwCompletionMode),
      dwMessageID(other.dwMessageID),
      pCall(other.pCall),
      dwSwitchInfo(other.dwSwitchInfo),
      strSwitchInfo(other.strSwitchInfo) {}
