#include "framework/conference_call.h"

#include <algorithm>

#include "framework/address_info.h"
#include "framework/feature_locks.h"
#include "framework/line_connection.h"
#include "framework/request.h"
#include "framework/request_records.h"
#include "platform/afxmt.h"

IMPLEMENT_DYNCREATE(CTSPIConferenceCall, CTSPICallAppearance)

namespace {

constexpr DWORD kConferenceFeatures = 0x8C010882;

}  // namespace

CTSPIConferenceCall::CTSPIConferenceCall() {
  SetCallType(CALLTYPE_CONFERENCE);
}

CTSPIConferenceCall::~CTSPIConferenceCall() {
  // No member links to a conference that goes: each link holds a reference on it.
  for (CTSPICallAppearance* pMember : m_arrMembers) pMember->Release();
}

BOOL CTSPIConferenceCall::IsConferenceMember(CTSPICallAppearance* pCall) const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return std::find(m_arrMembers.begin(), m_arrMembers.end(), pCall) != m_arrMembers.end();
}

INT_PTR CTSPIConferenceCall::GetMemberCount() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return static_cast<INT_PTR>(m_arrMembers.size());
}

CTSPICallAppearance* CTSPIConferenceCall::GetMemberRef(INT_PTR nIndex) const {
  CSingleLock lock(GetSyncObject(), TRUE);
  if (nIndex < 0 || nIndex >= static_cast<INT_PTR>(m_arrMembers.size())) return nullptr;
  CTSPICallAppearance* pMember = m_arrMembers[static_cast<size_t>(nIndex)];
  pMember->AddRef();
  return pMember;
}

std::vector<CTSPICallAppearance*> CTSPIConferenceCall::SnapshotMembers() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  for (CTSPICallAppearance* pMember : m_arrMembers) pMember->AddRef();
  return m_arrMembers;
}

void CTSPIConferenceCall::TakeMember(CTSPICallAppearance* pCall, BOOL bListAnyState) {
  if (pCall == nullptr || pCall == this) return;
  if (IsDeleted() || GetCallState() == LINECALLSTATE_IDLE) {
    // An ended conference takes nobody; a call still linked to it lets go.
    if (pCall->GetConferenceCall() == this) pCall->SetConferenceCall(nullptr);
    return;
  }
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    const bool bListed =
        std::find(m_arrMembers.begin(), m_arrMembers.end(), pCall) != m_arrMembers.end();
    if (!bListed && (bListAnyState || pCall->GetCallState() == LINECALLSTATE_CONFERENCED)) {
      pCall->AddRef();
      m_arrMembers.push_back(pCall);
    }
  }
  pCall->SetConferenceCall(this);
  if (ClearRelatedCallIf(pCall)) {
    pCall->ClearRelatedCallIf(this);
    pCall->SetCallType(CALLTYPE_NORMAL);
  }
}

void CTSPIConferenceCall::AddMember(CTSPICallAppearance* pCall) {
  if (pCall == nullptr || pCall == this || IsConferenceMember(pCall)) return;
  const bool bWasRelated = GetRelatedCall() == pCall;
  TakeMember(pCall, FALSE);
  if (bWasRelated) {
    const LINECALLSTATUS status = GetCallStatusCopy();
    pCall->ComputeCallFeatures(status.dwCallState, status.dwCallStateMode, GetMediaMode());
  }
}

void CTSPIConferenceCall::RemoveMember(CTSPICallAppearance* pCall, BOOL bCheckState) {
  size_t nLeft = 0;
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    auto it = std::find(m_arrMembers.begin(), m_arrMembers.end(), pCall);
    if (it == m_arrMembers.end()) return;
    m_arrMembers.erase(it);
    nLeft = m_arrMembers.size();
  }
  if (pCall->GetConferenceCall() == this) pCall->SetConferenceCall(nullptr);
  if (bCheckState) {
    if (nLeft == 0) {
      ChangeCallState(LINECALLSTATE_IDLE, 0, 0, TRUE);
    } else if (nLeft == 1) {
      if (CTSPICallAppearance* pLast = GetMemberRef(0)) {
        RemoveMember(pLast, TRUE);
        if (pLast->GetCallState() == LINECALLSTATE_CONFERENCED) {
          DWORD dwState = (m_pAddr != nullptr) ? m_pAddr->GetAddressCapsCopy().dwRemoveFromConfState
                                               : LINECALLSTATE_IDLE;
          if (dwState == LINECALLSTATE_IDLE || dwState == 0) dwState = LINECALLSTATE_CONNECTED;
          pLast->ChangeCallState(dwState, 0, 0, TRUE);
        }
        pLast->Release();
      }
    }
  }
  pCall->Release();
}

BOOL CTSPIConferenceCall::CanRemoveMember(CTSPICallAppearance* pCall) const {
  DWORD dwCaps = LINEREMOVEFROMCONF_NONE;
  if (m_pAddr != nullptr) {
    LINEADDRESSCAPS caps{};
    LINEADDRESSSTATUS status{};
    if (!m_pAddr->TryGetAddressCaps(caps, status, CFeatureLockScope::Active())) {
      CFeatureLockScope::NoteMissed();
      return FALSE;
    }
    dwCaps = caps.dwRemoveFromConfCaps;
  }
  CSingleLock lock(GetSyncObject(), TRUE);
  auto it = std::find(m_arrMembers.begin(), m_arrMembers.end(), pCall);
  if (it == m_arrMembers.end()) return FALSE;
  if (dwCaps == LINEREMOVEFROMCONF_NONE) return FALSE;
  if (dwCaps == LINEREMOVEFROMCONF_LAST) return (it + 1 == m_arrMembers.end()) ? TRUE : FALSE;
  return TRUE;
}

void CTSPIConferenceCall::ComputeCallFeatures(DWORD dwState, DWORD dwMode, DWORD dwMediaMode) {
  CTSPICallAppearance::ComputeCallFeatures(dwState, dwMode, dwMediaMode);
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    m_CallStatus.dwCallFeatures &= kConferenceFeatures;
  }
  // Members are served with the conference's lock free: a member's lock comes first. Inside the
  // conference's own state change they are served once its lock is released.
  if (CFeatureLockScope::Active()) return;
  for (CTSPICallAppearance* pMember : SnapshotMembers()) {
    if (dwState == LINECALLSTATE_IDLE) {
      if (pMember->GetConferenceCall() == this) pMember->SetConferenceCall(nullptr);
    } else {
      pMember->ComputeCallFeatures(pMember->GetCallState(), 0, 0);
    }
    pMember->Release();
  }
}

void CTSPIConferenceCall::OnRelatedCallStateChange(CTSPICallAppearance* pCall, DWORD dwNewState,
                                                   DWORD dwOldState) {
  if (pCall == this) return;
  if (dwNewState == LINECALLSTATE_CONFERENCED) {
    TakeMember(pCall, TRUE);
    const LINECALLSTATUS status = GetCallStatusCopy();
    pCall->ComputeCallFeatures(LINECALLSTATE_CONFERENCED, status.dwCallStateMode, GetMediaMode());
  } else if (dwNewState == LINECALLSTATE_IDLE) {
    if (GetRelatedCall() != pCall) {
      RemoveMember(pCall, TRUE);
    } else {
      OnConsultationCallIdle(pCall);
      ClearRelatedCallIf(pCall);
      pCall->ClearRelatedCallIf(this);
    }
  }
  (void)dwOldState;
}

void CTSPIConferenceCall::OnRequestComplete(CTSPIRequest* pReq, LONG lResult) {
  if (pReq->GetType() == REQUEST_LINEDROP) {
    // As for any call: a refused drop leaves the call free to be dropped again.
    CTSPICallAppearance::OnRequestComplete(pReq, lResult);
    return;
  }
  if (pReq->GetType() == REQUEST_LINEADDTOCONFERENCE) {
    if (lResult == 0) return;
    if (auto* pConf = dynamic_cast<TSPICONFERENCE*>(pReq->GetRecordObject())) {
      ReleaseRefusedCall(pConf->pConsult);
    }
    return;
  }
  if (pReq->GetType() != REQUEST_LINEREMOVEFROMCONFERENCE || lResult != 0) return;
  if (auto* pConf = dynamic_cast<TSPICONFERENCE*>(pReq->GetRecordObject())) {
    CTSPICallAppearance* pMember = pConf->pCall;
    if (pMember != nullptr && pMember->GetCallState() != LINECALLSTATE_IDLE) {
      RemoveMember(pMember, TRUE);
    }
  }
}

void CTSPIConferenceCall::DetachForDelete() {
  CTSPICallAppearance::DetachForDelete();
  std::vector<CTSPICallAppearance*> members;
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    members.swap(m_arrMembers);
  }
  for (CTSPICallAppearance* pMember : members) {
    if (pMember->GetConferenceCall() == this) pMember->SetConferenceCall(nullptr);
    pMember->Release();
  }
}

LONG CTSPIConferenceCall::PrepareAddToConference(DRV_REQUESTID dwRequestID, HTAPICALL htConsultCall,
                                                 CTSPICallAppearance** ppConsultCall,
                                                 TSPICONFERENCE* pConf) {
  if (!HasFeature(LINECALLFEATURE_PREPAREADDCONF)) return LINEERR_OPERATIONUNAVAIL;
  if (GetCallType() != CALLTYPE_CONFERENCE) return LINEERR_INVALCONFCALLHANDLE;
  if (m_pAddr == nullptr || m_pAddr->GetAddressCapsCopy().dwMaxNumConference <=
                                static_cast<DWORD>(GetMemberCount()) + 1) {
    return LINEERR_CONFERENCEFULL;
  }
  CTSPICallAppearance* pConsult = MakeConsultationCall(htConsultCall, 0);
  if (pConsult == nullptr) return LINEERR_CALLUNAVAIL;
  if (pConf != nullptr) pConf->pConsult = pConsult;
  CTSPILineConnection* pLine = GetLineOwner();
  if (!pLine->QueueRequest(m_pAddr, this, REQUEST_LINEPREPAREADDTOCONFERENCE, dwRequestID, pConf,
                           0)) {
    if (pConf != nullptr) pConf->pConsult = nullptr;
    m_pAddr->RemoveCall(pConsult);
    return LINEERR_OPERATIONFAILED;
  }
  if (ppConsultCall != nullptr) *ppConsultCall = pConsult;
  return static_cast<LONG>(dwRequestID);
}

LONG CTSPIConferenceCall::AddToConference(DRV_REQUESTID dwRequestID,
                                          CTSPICallAppearance* pConsultCall,
                                          TSPICONFERENCE* pConf) {
  if (pConsultCall == nullptr ||
      (pConsultCall->GetCallFeatures() & LINECALLFEATURE_ADDTOCONF) == 0) {
    return LINEERR_OPERATIONUNAVAIL;
  }
  if (pConsultCall->GetCallType() != CALLTYPE_CONSULTATION) {
    CTSPIAddressInfo* pOtherAddr = pConsultCall->GetAddressOwner();
    const bool bCross = pOtherAddr != m_pAddr;
    CTSPILineConnection* pLine = GetLineOwner();
    const bool bCrossAllowed = pLine != nullptr && (pLine->GetLineDevCaps().dwDevCapFlags &
                                                    LINEDEVCAPFLAGS_CROSSADDRCONF) != 0;
    if (pConsultCall->GetCallType() == CALLTYPE_CONFERENCE || m_pAddr == nullptr ||
        (m_pAddr->GetAddressCapsCopy().dwAddrCapFlags & LINEADDRCAPFLAGS_CONFERENCEMAKE) == 0 ||
        (bCross && !bCrossAllowed)) {
      return LINEERR_INVALCONSULTCALLHANDLE;
    }
  }
  const DWORD dwState = GetCallState();
  const bool bHeldOk =
      dwState == LINECALLSTATE_ONHOLD && m_pAddr != nullptr &&
      (m_pAddr->GetAddressCapsCopy().dwAddrCapFlags & LINEADDRCAPFLAGS_CONFERENCEHELD) != 0;
  if (dwState != LINECALLSTATE_ONHOLDPENDCONF && !bHeldOk) return LINEERR_INVALCALLSTATE;
  pConsultCall->SetConferenceCall(this);
  const LONG lResult = QueueCallRequest(REQUEST_LINEADDTOCONFERENCE, dwRequestID, pConf);
  if (lResult < 0) ReleaseRefusedCall(pConsultCall);
  return lResult;
}

void CTSPIConferenceCall::ReleaseRefusedCall(CTSPICallAppearance* pCall) {
  // Another add may have linked the call since, or the call may have joined after all.
  if (pCall == nullptr || pCall->GetConferenceCall() != this || IsConferenceMember(pCall)) return;
  pCall->SetConferenceCall(nullptr);
  const LINECALLSTATUS status = pCall->GetCallStatusCopy();
  pCall->ComputeCallFeatures(status.dwCallState, status.dwCallStateMode, pCall->GetMediaMode());
}

LONG CTSPIConferenceCall::RemoveFromConference(DRV_REQUESTID dwRequestID,
                                               CTSPICallAppearance* pCall, TSPICONFERENCE* pConf) {
  if (pCall == nullptr || (pCall->GetCallFeatures() & LINECALLFEATURE_REMOVEFROMCONF) == 0) {
    return LINEERR_OPERATIONUNAVAIL;
  }
  if (pCall->GetCallState() != LINECALLSTATE_CONFERENCED) return LINEERR_INVALCALLSTATE;
  if (!CanRemoveMember(pCall)) return LINEERR_OPERATIONUNAVAIL;
  return QueueCallRequest(REQUEST_LINEREMOVEFROMCONFERENCE, dwRequestID, pConf);
}
