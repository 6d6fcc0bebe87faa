// CTSPIConnection: queueing, look-up, completion and the waits of asynchronous requests.
//
// Ownership rule: the queue holds one reference on each request. Whoever unlinks a request
// under the lock owns that reference from then on and alone reports, completes and releases
// the request; a completion that no longer finds its request does nothing.
#include <chrono>

#include "framework/connection.h"
#include "framework/device.h"
#include "framework/export_guard.h"
#include "framework/phone_connection.h"
#include "framework/service_provider.h"
#include "platform/afxmt.h"
#include "platform/caught_exception.h"

// What the starts running on this thread fetched (innermost first), so that a start that throws
// fails the request it took. References are only taken here and dropped when the start ends:
// dropping one may free the request, which must not happen under the connection's lock that
// FetchRequestToStart holds.
class CTSPIConnection::CStartRecord {
 public:
  explicit CStartRecord(const CTSPIConnection* pConn) noexcept : m_pConn(pConn), m_pOuter(s_pTop) {
    s_pTop = this;
  }
  ~CStartRecord() {
    s_pTop = m_pOuter;
    for (int i = 0; i < m_nFetched; ++i) m_fetched[i]->Release();
  }
  CStartRecord(const CStartRecord&) = delete;
  CStartRecord& operator=(const CStartRecord&) = delete;

  static void NoteFetched(const CTSPIConnection* pConn, CTSPIRequest* pReq) noexcept {
    for (CStartRecord* pRec = s_pTop; pRec != nullptr; pRec = pRec->m_pOuter) {
      if (pRec->m_pConn != pConn) continue;
      if (pRec->m_nFetched == kMaxFetched) {
        pRec->m_bLost = true;  // which one failed is not known any more
      } else {
        pReq->AddRef();
        pRec->m_fetched[pRec->m_nFetched++] = pReq;
      }
      return;
    }
  }
  // The request the start took last (the one it was starting when it threw), with a reference
  // of the caller's own; NULL when it took none.
  CTSPIRequestPtr LastFetched() const {
    if (m_bLost || m_nFetched == 0) return nullptr;
    return CTSPIRequestPtr::Share(m_fetched[m_nFetched - 1]);
  }

 private:
  static constexpr int kMaxFetched = 4;
  static thread_local CStartRecord* s_pTop;

  const CTSPIConnection* m_pConn;
  CStartRecord* m_pOuter;
  bool m_bLost = false;
  int m_nFetched = 0;
  CTSPIRequest* m_fetched[kMaxFetched] = {};
};

thread_local CTSPIConnection::CStartRecord* CTSPIConnection::CStartRecord::s_pTop = nullptr;

CTSPIRequest* CTSPIConnection::CreateRequest() {
  CServiceProvider* pSP = GetSP();
  CRuntimeClass* pClass = (pSP != nullptr) ? pSP->GetRequestClass() : RUNTIME_CLASS(CTSPIRequest);
  CObject* pObject = (pClass != nullptr) ? pClass->CreateObject() : nullptr;
  auto* pReq = dynamic_cast<CTSPIRequest*>(pObject);
  if (pReq == nullptr) delete pObject;  // a class that is no request
  return pReq;
}

CTSPIRequestPtr CTSPIConnection::QueueRequest(CTSPIAddressInfo* pAddr, CTSPICallAppearance* pCall,
                                              WORD wType, DRV_REQUESTID dwRequestID,
                                              LPVOID lpRecord, DWORD dwRecordSize) {
  CTSPIRequest* pReq = CreateRequest();
  if (pReq == nullptr) return nullptr;
  pReq->Init(this, pAddr, pCall, wType, dwRequestID, lpRecord, dwRecordSize, nullptr);
  return QueueInitialisedRequest(pReq);
}

CTSPIRequestPtr CTSPIConnection::QueueRequest(CTSPIAddressInfo* pAddr, CTSPICallAppearance* pCall,
                                              WORD wType, DRV_REQUESTID dwRequestID,
                                              CObject* pRecord, DWORD dwRecordSize) {
  CTSPIRequest* pReq = CreateRequest();
  if (pReq == nullptr) return nullptr;
  pReq->Init(this, pAddr, pCall, wType, dwRequestID, pRecord, dwRecordSize, pRecord);
  return QueueInitialisedRequest(pReq);
}

CTSPIRequestPtr CTSPIConnection::QueueRequest(CTSPIAddressInfo* pAddr, CTSPICallAppearance* pCall,
                                              WORD wType, DRV_REQUESTID dwRequestID, std::nullptr_t,
                                              DWORD dwRecordSize) {
  return QueueRequest(pAddr, pCall, wType, dwRequestID, static_cast<LPVOID>(nullptr), dwRecordSize);
}

CTSPIRequestPtr CTSPIConnection::QueueInitialisedRequest(CTSPIRequest* pReq) {
  int nPos = (pReq->GetType() == REQUEST_LINEDROP) ? 0 : -1;
  BOOL bAccepted = FALSE;
  try {
    bAccepted = AcceptNewRequest(pReq, nPos);
  } catch (...) {
    pReq->DetachRecord();  // as refused: the record stays with the caller
    pReq->Release();
    throw;
  }
  if (!bAccepted) {
    // Refused: the record stays with the caller, who frees it along with its error answer.
    pReq->DetachRecord();
    pReq->Release();
    return nullptr;
  }
  pReq->HoldSharedRecord();
  // The caller's reference, taken before the queue's can be completed and released.
  CTSPIRequestPtr pHeld = CTSPIRequestPtr::Share(pReq);
  // A request put at the head (a drop) starts even while an earlier one waits for its answer.
  const BOOL bStart = InsertRequest(pReq, nPos);
  // Queued: should the exported function fail from here on, its guard completes it.
  NoteQueuedRequest(pReq);
  if (bStart) StartNextRequest();
  return pHeld;
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

CTSPIRequestPtr CTSPIConnection::FetchRequestToStart() {
  CSingleLock lock(GetSyncObject(), TRUE);
  CTSPIRequest* pReq = NextToStartLocked();
  if (pReq == nullptr) return nullptr;
  pReq->SetState(STATE_STARTED);
  CStartRecord::NoteFetched(this, pReq);
  return CTSPIRequestPtr::Share(pReq);
}

void CTSPIConnection::AskProviderToStart(CTSPIRequestPtr& pFetched) {
  CStartRecord record(this);
  try {
    if (CServiceProvider* pSP = GetSP()) {
      pSP->StartNextRequest(this);
    } else {
      ProcessData(0, nullptr, 0);
    }
  } catch (...) {
    pFetched = record.LastFetched();
    throw;
  }
}

void CTSPIConnection::FailThrownStart(CTSPIRequest* pReq, bool bStartNext) noexcept {
  // Nothing else would ever finish the request that was being started.
  const LONG lError = (dynamic_cast<const CTSPIPhoneConnection*>(this) != nullptr)
                          ? PHONEERR_OPERATIONFAILED
                          : LINEERR_OPERATIONFAILED;
  try {
    // Completing it starts the next request, as any completion does.
    if (pReq != nullptr) CompleteRequest(pReq, lError);
    // A start that completed its own request before it threw, or a start asked for meanwhile,
    // left the next request waiting.
    if (pReq != nullptr || bStartNext) StartNextRequest();
  } catch (...) {
    // A following start threw as well; it failed its own request before it came here.
    LogCaughtException("request start");
  }
}

void CTSPIConnection::StartNextRequest() {
  const std::thread::id idSelf = std::this_thread::get_id();
  bool bDropBeside = false;
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    const CTSPIRequest* pNext = NextToStartLocked();
    if (pNext == nullptr) return;
    if (m_bStarting) {
      // The starting thread looks again when its start returns. A drop asked for on another
      // thread must not wait for that start (a make-call start may wait for the switch).
      m_bStartAgain = true;
      if (pNext->GetType() != REQUEST_LINEDROP || m_idStarter == idSelf) return;
      bDropBeside = true;
    } else {
      m_bStarting = true;
      m_idStarter = idSelf;
    }
  }
  if (bDropBeside) {
    CTSPIRequestPtr pFetched;
    try {
      AskProviderToStart(pFetched);
    } catch (...) {
      FailThrownStart(pFetched.Get(), false);
      throw;
    }
    return;
  }
  for (;;) {
    CTSPIRequestPtr pFetched;
    try {
      AskProviderToStart(pFetched);
    } catch (...) {
      bool bAgain = false;
      {
        CSingleLock lock(GetSyncObject(), TRUE);
        bAgain = m_bStartAgain;
        m_bStarting = m_bStartAgain = false;
        m_idStarter = std::thread::id();
      }
      FailThrownStart(pFetched.Get(), bAgain);
      throw;
    }
    CSingleLock lock(GetSyncObject(), TRUE);
    const bool bAgain = m_bStartAgain && NextToStartLocked() != nullptr;
    m_bStartAgain = false;
    if (!bAgain) {
      m_bStarting = false;
      m_idStarter = std::thread::id();
      return;
    }
  }
}

POSITION CTSPIConnection::FindPosition(CTSPIRequest* pReq) const {
  return (pReq != nullptr) ? m_lstAsynchRequests.Find(pReq) : nullptr;
}

CTSPIRequest* CTSPIConnection::FindPendingLocked(CTSPICallAppearance* pCall, WORD wType) const {
  POSITION pos = m_lstAsynchRequests.GetHeadPosition();
  while (pos != nullptr) {
    auto* pReq = static_cast<CTSPIRequest*>(m_lstAsynchRequests.GetNext(pos));
    if ((pCall == nullptr || pReq->GetCall() == pCall) &&
        (wType == REQUEST_ANY || pReq->GetType() == wType)) {
      return pReq;
    }
  }
  return nullptr;
}

CTSPIRequestPtr CTSPIConnection::FindRequest(CTSPICallAppearance* pCall, WORD wType) {
  CSingleLock lock(GetSyncObject(), TRUE);
  CTSPIRequest* pReq = FindPendingLocked(pCall, wType);
  if (pReq == nullptr) return nullptr;
  pReq->MarkFetched();
  return CTSPIRequestPtr::Share(pReq);
}

CTSPIRequestPtr CTSPIConnection::GetRequest(int nIndex) {
  CSingleLock lock(GetSyncObject(), TRUE);
  if (nIndex < 0 || nIndex >= m_lstAsynchRequests.GetCount()) return nullptr;
  auto* pReq =
      static_cast<CTSPIRequest*>(m_lstAsynchRequests.GetAt(m_lstAsynchRequests.FindIndex(nIndex)));
  pReq->MarkFetched();
  return CTSPIRequestPtr::Share(pReq);
}

CTSPIRequestPtr CTSPIConnection::GetCurrentRequest() {
  return GetRequest(0);
}

int CTSPIConnection::GetRequestCount() {
  CSingleLock lock(GetSyncObject(), TRUE);
  return static_cast<int>(m_lstAsynchRequests.GetCount());
}

BOOL CTSPIConnection::HasRequest(CTSPICallAppearance* pCall, WORD wType) {
  CSingleLock lock(GetSyncObject(), TRUE);
  return FindPendingLocked(pCall, wType) != nullptr ? TRUE : FALSE;
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
  return pReq->WaitForCompletion(dwMsecs);
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

BOOL CTSPIConnection::WaitForPendingRequests(CTSPICallAppearance* pCall, WORD wType,
                                             DWORD dwMsecs) {
  if (dwMsecs == 0) {
    CServiceProvider* pSP = GetSP();
    dwMsecs = (pSP != nullptr) ? pSP->GetDefaultRequestWait() : DEFAULT_REQUEST_WAIT_MSEC;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(dwMsecs);
  for (;;) {
    // Read before looking: a request that leaves after the look raises the count.
    const uint64_t nSeen = GetUnlinkCount();
    {
      CSingleLock lock(GetSyncObject(), TRUE);
      if (FindPendingLocked(pCall, wType) == nullptr) return TRUE;
    }
    // A request completed without removal stays queued: wait until it leaves, not for its event.
    std::unique_lock<std::mutex> guard(m_mxUnlinked);
    auto changed = [&] { return m_nUnlinked != nSeen; };
    if (dwMsecs == INFINITE) {
      m_cvUnlinked.wait(guard, changed);
    } else if (!m_cvUnlinked.wait_until(guard, deadline, changed)) {
      return FALSE;
    }
  }
}

BOOL CTSPIConnection::WaitOrFailPendingRequests(CTSPICallAppearance* pCall, WORD wType,
                                                DWORD dwMsecs) {
  if (WaitForPendingRequests(pCall, wType, dwMsecs)) return TRUE;
  // No answer came in time (the switch may never send one): the close goes on without it.
  CompleteMatchingRequests(pCall, wType, LINEERR_OPERATIONFAILED);
  return FALSE;
}
