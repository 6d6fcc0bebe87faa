// CTSPIConnection: failing queued requests together (line close, a call that goes away).
//
// The walk over the queue only tests and unlinks; what the failure of a transfer or conference
// request means for its other calls (IDLE) is applied afterwards, outside the lock, so that no
// call is changed while the queue is half walked and no call lock is taken under the line lock.
#include <vector>

#include "framework/call_appearance.h"
#include "framework/connection.h"
#include "framework/device.h"
#include "framework/request_records.h"
#include "platform/afxmt.h"

namespace {

bool TypeMatches(const CTSPIRequest* pReq, WORD wType) {
  return wType == REQUEST_ANY || pReq->GetType() == wType;
}

// The request's own call matches (step one of the test).
bool IsOwnRequest(const CTSPIRequest* pReq, CTSPICallAppearance* pCall, WORD wType, BOOL bOnlyNew) {
  return pReq->GetCall() == pCall && TypeMatches(pReq, wType) &&
         (!bOnlyNew || pReq->GetState() == STATE_NOTPROCESSED);
}

void SetIdle(CTSPICallAppearance* pCall) {
  if (pCall != nullptr) pCall->ChangeCallState(LINECALLSTATE_IDLE, 0, 0, TRUE);
}

}  // namespace

BOOL CTSPIConnection::IsRequestForCall(CTSPIRequest* pReq, CTSPICallAppearance* pCall, WORD wType,
                                       BOOL bOnlyNew) {
  if (pCall == nullptr) {
    return (TypeMatches(pReq, wType) && (!bOnlyNew || pReq->GetState() == STATE_NOTPROCESSED))
               ? TRUE
               : FALSE;
  }
  if (IsOwnRequest(pReq, pCall, wType, bOnlyNew)) return TRUE;
  if (!TypeMatches(pReq, wType)) return FALSE;
  // Only new requests: one already with the switch is ended by its answer, and its record's
  // references keep the calls it names until then. One only looked at is not with the switch.
  if (bOnlyNew && pReq->GetState() >= STATE_STARTED) return FALSE;

  // A request of another call (or one bOnlyNew spares) whose record names this call.
  CObject* pRecord = pReq->GetRecordObject();
  switch (pReq->GetType()) {
    case REQUEST_LINECOMPLETETRANSFER:
      if (auto* pTrans = dynamic_cast<TSPITRANSFER*>(pRecord)) {
        return (pTrans->pConsult.Get() == pCall) ? TRUE : FALSE;
      }
      break;
    case REQUEST_LINESETUPCONFERENCE:
      if (auto* pConf = dynamic_cast<TSPICONFERENCE*>(pRecord)) {
        return (pConf->pCall.Get() == pCall) ? TRUE : FALSE;
      }
      break;
    case REQUEST_LINEADDTOCONFERENCE:
      if (auto* pConf = dynamic_cast<TSPICONFERENCE*>(pRecord)) {
        return (pConf->pConsult.Get() == pCall) ? TRUE : FALSE;
      }
      break;
    case REQUEST_LINEREMOVEFROMCONFERENCE:
      if (auto* pConf = dynamic_cast<TSPICONFERENCE*>(pRecord)) {
        return (pConf->pCall.Get() == pCall) ? TRUE : FALSE;
      }
      break;
    default:
      break;
  }
  return FALSE;
}

void CTSPIConnection::ForgetCallInRecords(CTSPICallAppearance* pCall, WORD wType,
                                          CTSPIRequest* pExcept) {
  POSITION pos = m_lstAsynchRequests.GetHeadPosition();
  while (pos != nullptr) {
    auto* pReq = static_cast<CTSPIRequest*>(m_lstAsynchRequests.GetNext(pos));
    if (pReq == pExcept || !TypeMatches(pReq, wType)) continue;
    CObject* pRecord = pReq->GetRecordObject();
    switch (pReq->GetType()) {
      case REQUEST_LINESETUPTRANSFER:
        if (auto* pTrans = dynamic_cast<TSPITRANSFER*>(pRecord)) {
          if (pTrans->pConsult.Get() == pCall) pTrans->pConsult = nullptr;
        }
        break;
      case REQUEST_LINECOMPLETETRANSFER:
        if (auto* pTrans = dynamic_cast<TSPITRANSFER*>(pRecord)) {
          if (pTrans->pConf.Get() == pCall) pTrans->pConf = nullptr;
        }
        break;
      case REQUEST_LINESETUPCONFERENCE:
        if (auto* pConf = dynamic_cast<TSPICONFERENCE*>(pRecord)) {
          if (pConf->pConsult.Get() == pCall) pConf->pConsult = nullptr;
        }
        break;
      default:
        break;
    }
  }
}

void CTSPIConnection::ReleaseCallsOfFailedRequest(CTSPIRequest* pReq, CTSPICallAppearance* pCall,
                                                  BOOL bOnlyNew) {
  if (pCall == nullptr || IsOwnRequest(pReq, pCall, REQUEST_ANY, bOnlyNew)) return;
  CObject* pRecord = pReq->GetRecordObject();
  switch (pReq->GetType()) {
    case REQUEST_LINECOMPLETETRANSFER:
      // The consultation call went away: the conference the transfer would have made goes too.
      if (auto* pTrans = dynamic_cast<TSPITRANSFER*>(pRecord)) {
        if (pTrans->pConsult.Get() == pCall) SetIdle(pTrans->pConf.Get());
      }
      break;
    case REQUEST_LINESETUPCONFERENCE:
      // The call the conference was built from went away: so do the conference and its
      // consultation call.
      if (auto* pConf = dynamic_cast<TSPICONFERENCE*>(pRecord)) {
        if (pConf->pCall.Get() == pCall) {
          SetIdle(pConf->pConfCall.Get());
          SetIdle(pConf->pConsult.Get());
        }
      }
      break;
    default:
      break;
  }
}

void CTSPIConnection::CompleteMatchingRequests(CTSPICallAppearance* pCall, WORD wType, LONG lResult,
                                               BOOL bOnlyNew, CTSPIRequest* pExcept) {
  std::vector<CTSPIRequest*> matched;
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    POSITION pos = m_lstAsynchRequests.GetHeadPosition();
    while (pos != nullptr) {
      const POSITION posThis = pos;
      auto* pReq = static_cast<CTSPIRequest*>(m_lstAsynchRequests.GetNext(pos));
      if (pReq == pExcept || !IsRequestForCall(pReq, pCall, wType, bOnlyNew)) continue;
      m_lstAsynchRequests.RemoveAt(posThis);
      matched.push_back(pReq);
    }
    if (pCall != nullptr) ForgetCallInRecords(pCall, wType, pExcept);
  }
  if (matched.empty()) return;
  NotifyUnlinked();

  // These requests are this thread's alone now.
  for (CTSPIRequest* pReq : matched) {
    ReleaseCallsOfFailedRequest(pReq, pCall, bOnlyNew);
    if (pReq->GetState() != STATE_FETCHED) OnRequestCancelled(pReq);
    FinishRequest(pReq, lResult, TRUE);
    pReq->Release();
  }
}
