// CTSPIConnection: queueing, look-up, completion and the waits of asynchronous requests.
//
// Ownership rule: the queue holds one reference on each request. Whoever unlinks a request
// under the lock owns that reference from then on and alone reports, completes and releases
// the request; a completion that no longer finds its request does nothing.
#include "framework/connection.h"
#include "framework/device.h"
#include "framework/service_provider.h"
#include "platform/afxmt.h"

CTSPIRequest* CTSPIConnection::CreateRequest() {
  CServiceProvider* pSP = GetSP();
  CRuntimeClass* pClass = (pSP != nullptr) ? pSP->GetRequestClass() : RUNTIME_CLASS(CTSPIRequest);
  CObject* pObject = (pClass != nullptr) ? pClass->CreateObject() : nullptr;
  auto* pReq = dynamic_cast<CTSPIRequest*>(pObject);
  if (pReq == nullptr) delete pObject;  // a class that is no request
  return pReq;
}

CTSPIRequest* CTSPIConnection::QueueRequest(CTSPIAddressInfo* pAddr, CTSPICallAppearance* pCall,
                                            WORD wType, DRV_REQUESTID dwRequestID, LPVOID lpRecord,
                                            DWORD dwRecordSize, BOOL bHold) {
  CTSPIRequest* pReq = CreateRequest();
  if (pReq == nullptr) return nullptr;
  pReq->Init(this, pAddr, pCall, wType, dwRequestID, lpRecord, dwRecordSize, nullptr);
  return QueueInitialisedRequest(pReq, bHold);
}

CTSPIRequest* CTSPIConnection::QueueRequest(CTSPIAddressInfo* pAddr, CTSPICallAppearance* pCall,
                                            WORD wType, DRV_REQUESTID dwRequestID, CObject* pRecord,
                                            DWORD dwRecordSize, BOOL bHold) {
  CTSPIRequest* pReq = CreateRequest();
  if (pReq == nullptr) return nullptr;
  pReq->Init(this, pAddr, pCall, wType, dwRequestID, pRecord, dwRecordSize, pRecord);
  return QueueInitialisedRequest(pReq, bHold);
}

CTSPIRequest* CTSPIConnection::QueueRequest(CTSPIAddressInfo* pAddr, CTSPICallAppearance* pCall,
                                            WORD wType, DRV_REQUESTID dwRequestID, std::nullptr_t,
                                            DWORD dwRecordSize, BOOL bHold) {
  return QueueRequest(pAddr, pCall, wType, dwRequestID, static_cast<LPVOID>(nullptr), dwRecordSize,
                      bHold);
}

CTSPIRequest* CTSPIConnection::QueueInitialisedRequest(CTSPIRequest* pReq, BOOL bHold) {
  int nPos = (pReq->GetType() == REQUEST_LINEDROP) ? 0 : -1;
  if (!AcceptNewRequest(pReq, nPos)) {
    // Refused: the record stays with the caller, who frees it along with its error answer.
    pReq->DetachRecord();
    pReq->Release();
    return nullptr;
  }
  pReq->HoldSharedRecord();
  if (bHold) pReq->AddRef();
  // A request put at the head (a drop) starts even while an earlier one waits for its answer.
  if (InsertRequest(pReq, nPos)) StartNextRequest();
  return pReq;
}

BOOL CTSPIConnection::InsertRequest(CTSPIRequest* pReq, int nPos) {
  CSingleLock lock(GetSyncObject(), TRUE);
  const INT_PTR nCount = m_lstAsynchRequests.GetCount();
  if (nPos == 0) {
    m_lstAsynchRequests.AddHead(pReq);
    return TRUE;
  }
  if (nPos < 0 || nPos >= nCount) {
    m_lstAsynchRequests.AddTail(pReq);
    return (nCount == 0) ? TRUE : FALSE;
  }
  m_lstAsynchRequests.InsertBefore(m_lstAsynchRequests.FindIndex(nPos), pReq);
  return FALSE;
}

CTSPIRequest* CTSPIConnection::NextToStartLocked() const {
  CTSPIRequest* pNext = nullptr;
  bool bNextIsHead = true;
  bool bOrdinaryStarted = false;
  POSITION pos = m_lstAsynchRequests.GetHeadPosition();
  while (pos != nullptr) {
    auto* pReq = static_cast<CTSPIRequest*>(m_lstAsynchRequests.GetNext(pos));
    if (pReq->GetState() >= STATE_STARTED) {
      if (pReq->GetType() != REQUEST_LINEDROP) bOrdinaryStarted = true;
      if (pNext == nullptr) bNextIsHead = false;
    } else if (pNext == nullptr) {
      pNext = pReq;
    }
  }
  if (pNext == nullptr) return nullptr;
  // Drops, and whatever was put at the head, start at once; everything else waits its turn.
  if (pNext->GetType() == REQUEST_LINEDROP || bNextIsHead || !bOrdinaryStarted) return pNext;
  return nullptr;
}

CTSPIRequest* CTSPIConnection::FetchRequestToStart() {
  CSingleLock lock(GetSyncObject(), TRUE);
  CTSPIRequest* pReq = NextToStartLocked();
  if (pReq != nullptr) pReq->SetState(STATE_STARTED);
  return pReq;
}

void CTSPIConnection::StartNextRequest() {
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    if (m_bStarting) {
      m_bStartAgain = true;
      return;
    }
    if (NextToStartLocked() == nullptr) return;
    m_bStarting = true;
  }
  for (;;) {
    try {
      if (CServiceProvider* pSP = GetSP()) {
        pSP->StartNextRequest(this);
      } else {
        ProcessData(0, nullptr, 0);
      }
    } catch (...) {
      CSingleLock lock(GetSyncObject(), TRUE);
      m_bStarting = m_bStartAgain = false;
      throw;
    }
    CSingleLock lock(GetSyncObject(), TRUE);
    const bool bAgain = m_bStartAgain && NextToStartLocked() != nullptr;
    m_bStartAgain = false;
    if (!bAgain) {
      m_bStarting = false;
      return;
    }
  }
}

POSITION CTSPIConnection::FindPosition(CTSPIRequest* pReq) const {
  return (pReq != nullptr) ? m_lstAsynchRequests.Find(pReq) : nullptr;
}

CTSPIRequest* CTSPIConnection::FindRequest(CTSPICallAppearance* pCall, WORD wType) {
  CSingleLock lock(GetSyncObject(), TRUE);
  POSITION pos = m_lstAsynchRequests.GetHeadPosition();
  while (pos != nullptr) {
    auto* pReq = static_cast<CTSPIRequest*>(m_lstAsynchRequests.GetNext(pos));
    if ((pCall == nullptr || pReq->GetCall() == pCall) &&
        (wType == REQUEST_ANY || pReq->GetType() == wType)) {
      pReq->MarkFetched();
      return pReq;
    }
  }
  return nullptr;
}

CTSPIRequest* CTSPIConnection::GetRequest(int nIndex) {
  CSingleLock lock(GetSyncObject(), TRUE);
  if (nIndex < 0 || nIndex >= m_lstAsynchRequests.GetCount()) return nullptr;
  auto* pReq =
      static_cast<CTSPIRequest*>(m_lstAsynchRequests.GetAt(m_lstAsynchRequests.FindIndex(nIndex)));
  pReq->MarkFetched();
  return pReq;
}

CTSPIRequest* CTSPIConnection::GetCurrentRequest() {
  return GetRequest(0);
}

int CTSPIConnection::GetRequestCount() {
  CSingleLock lock(GetSyncObject(), TRUE);
  return static_cast<int>(m_lstAsynchRequests.GetCount());
}

BOOL CTSPIConnection::IsRequestQueued(CTSPIRequest* pReq) {
  CSingleLock lock(GetSyncObject(), TRUE);
  return FindPosition(pReq) != nullptr ? TRUE : FALSE;
}

BOOL CTSPIConnection::RemoveRequest(CTSPIRequest* pReq, BOOL bDelete) {
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    POSITION pos = FindPosition(pReq);
    if (pos == nullptr) return FALSE;  // not ours to touch: another thread took it
    m_lstAsynchRequests.RemoveAt(pos);
  }
  NotifyUnlinked();
  // It will never complete now: let anyone who waits on it go.
  pReq->GetCompletionEvent().SetEvent();
  if (bDelete) pReq->Release();
  return TRUE;
}

void CTSPIConnection::FinishRequest(CTSPIRequest* pReq, LONG lResult, BOOL bTellTapi) {
  if (bTellTapi && pReq->ClaimReport() && m_pDevice != nullptr) {
    m_pDevice->ReportRequestResult(lResult, pReq);
  }
  pReq->Complete(lResult, bTellTapi);
}

void CTSPIConnection::CompleteRequest(CTSPIRequest* pReq, LONG lResult, BOOL bTellTapi,
                                      BOOL bRemove) {
  if (pReq == nullptr) return;
  if (!bRemove) {
    // The request stays queued; a reference keeps it alive should another thread unlink and
    // release it meanwhile (the reported flag still decides who reports).
    {
      CSingleLock lock(GetSyncObject(), TRUE);
      if (FindPosition(pReq) == nullptr) return;
      pReq->AddRef();
    }
    FinishRequest(pReq, lResult, bTellTapi);
    pReq->Release();
    return;
  }

  {
    CSingleLock lock(GetSyncObject(), TRUE);
    POSITION pos = FindPosition(pReq);
    if (pos == nullptr) return;  // completed or removed by another thread
    m_lstAsynchRequests.RemoveAt(pos);
  }
  NotifyUnlinked();
  FinishRequest(pReq, lResult, bTellTapi);
  pReq->Release();
  // The next request starts on this (the completing) thread.
  StartNextRequest();
}

LONG CTSPIConnection::WaitForRequest(DWORD dwMsecs, CTSPIRequest* pReq) {
  if (pReq == nullptr) return -1;
  if (dwMsecs == 0) {
    CServiceProvider* pSP = GetSP();
    dwMsecs = (pSP != nullptr) ? pSP->GetDefaultRequestWait() : DEFAULT_REQUEST_WAIT_MSEC;
  }
  BOOL bQueued = FALSE;
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    bQueued = (FindPosition(pReq) != nullptr) ? TRUE : FALSE;
    if (bQueued) pReq->AddRef();
  }
  // Not queued: it has left the queue already and the caller's own reference keeps it.
  const LONG lResult = pReq->WaitForCompletion(dwMsecs);
  if (bQueued) pReq->Release();
  return lResult;
}

void CTSPIConnection::NotifyUnlinked() {
  {
    std::lock_guard<std::mutex> guard(m_mxUnlinked);
    ++m_nUnlinked;
  }
  m_cvUnlinked.notify_all();
}

uint64_t CTSPIConnection::GetUnlinkCount() {
  std::lock_guard<std::mutex> guard(m_mxUnlinked);
  return m_nUnlinked;
}

void CTSPIConnection::WaitForPendingRequests(CTSPICallAppearance* pCall, WORD wType) {
  for (;;) {
    CTSPIRequest* pReq = nullptr;
    {
      CSingleLock lock(GetSyncObject(), TRUE);
      POSITION pos = m_lstAsynchRequests.GetHeadPosition();
      while (pos != nullptr && pReq == nullptr) {
        auto* pCandidate = static_cast<CTSPIRequest*>(m_lstAsynchRequests.GetNext(pos));
        if ((pCall == nullptr || pCandidate->GetCall() == pCall) &&
            (wType == REQUEST_ANY || pCandidate->GetType() == wType)) {
          pReq = pCandidate;
        }
      }
      if (pReq == nullptr) return;
      pReq->AddRef();  // it may be completed and released while we wait
    }
    pReq->GetCompletionEvent().Lock(INFINITE);
    // A request completed without removal is still queued: wait until it leaves the queue
    // rather than spin on its signalled event.
    for (;;) {
      const uint64_t nSeen = GetUnlinkCount();
      if (!IsRequestQueued(pReq)) break;
      std::unique_lock<std::mutex> guard(m_mxUnlinked);
      m_cvUnlinked.wait(guard, [&] { return m_nUnlinked != nSeen; });
    }
    pReq->Release();
  }
}
