// CTSPIAddressInfo: Init, the calls, the call counters, the features and the reports.
#include "framework/address_info.h"

#include <algorithm>

#include "framework/call_appearance.h"
#include "framework/conference_call.h"
#include "framework/function_table.h"
#include "framework/line_connection.h"
#include "framework/live_calls.h"
#include "framework/media_records.h"
#include "framework/request_records.h"
#include "framework/service_provider.h"
#include "platform/afxmt.h"

IMPLEMENT_DYNCREATE(CTSPIAddressInfo, CTSPIBaseObject)

namespace {

struct AddressFeature {
  WORD wFunction;
  DWORD dwCallInfoStates, dwAddressStates, dwCallStates, dwCallFeatures, dwAddressFeatures;
  DWORD dwDisconnectModes;
};

// Bits each offered function adds to the capabilities, in the order they are asked for.
constexpr AddressFeature kFeatures[] = {
    {TSPI_LINEMONITORMEDIA, 0x08000000, 0, 0, 0, 0, 0},
    {TSPI_LINESETCALLTREATMENT, 0x10000000, 0, 0, 0, 0, 0},
    {TSPI_LINESETCALLQUALITYOFSERVICE, 0x20000000, 0, 0, 0, 0, 0},
    {TSPI_LINESETCALLDATA, 0x40000000, 0, 0, 0, 0, 0},
    {TSPI_LINESETTERMINAL, 0x02000000, LINEADDRESSSTATE_TERMINALS, 0, 0, 0, 0},
    {TSPI_LINEMAKECALL, 0, 0, 0x38, 0, LINEADDRFEATURE_MAKECALL, 0},
    {TSPI_LINEDIAL, 0, 0, 0, LINECALLFEATURE_DIAL, 0, 0},
    {TSPI_LINEANSWER, 0, 0, 0x6, LINECALLFEATURE_ANSWER, 0, 0},
    {TSPI_LINESETUPCONFERENCE, 0, 0, 0, LINECALLFEATURE_SETUPCONF, LINEADDRFEATURE_SETUPCONF, 0},
    {TSPI_LINESETUPTRANSFER, 0, 0, 0, LINECALLFEATURE_SETUPTRANSFER, 0, 0},
    {TSPI_LINEPARK, 0, 0, 0, LINECALLFEATURE_PARK, 0, 0},
    {TSPI_LINEADDTOCONFERENCE, 0, 0, 0x1800, LINECALLFEATURE_ADDTOCONF, 0, 0},
    {TSPI_LINEBLINDTRANSFER, 0, 0, 0, LINECALLFEATURE_BLINDTRANSFER, 0, 0},
    {TSPI_LINEHOLD, 0, 0, LINECALLSTATE_ONHOLD, LINECALLFEATURE_HOLD, 0, 0},
    {TSPI_LINESENDUSERUSERINFO, 0, 0, 0, LINECALLFEATURE_SENDUSERUSER, 0, 0},
    {TSPI_LINESWAPHOLD, 0, 0, 0, LINECALLFEATURE_SWAPHOLD, 0, 0},
    {TSPI_LINEREDIRECT, 0, 0, 0, LINECALLFEATURE_REDIRECT, 0, 0},
    {TSPI_LINEACCEPT, 0, 0, 0, LINECALLFEATURE_ACCEPT, 0, 0},
    {TSPI_LINEREMOVEFROMCONFERENCE, 0, 0, 0, LINECALLFEATURE_REMOVEFROMCONF, 0, 0},
    {TSPI_LINEUNHOLD, 0, 0, 0, LINECALLFEATURE_UNHOLD, 0, 0},
    {TSPI_LINECOMPLETETRANSFER, 0, 0, LINECALLSTATE_ONHOLDPENDTRANSFER,
     LINECALLFEATURE_COMPLETETRANSF, 0, 0},
    {TSPI_LINECOMPLETECALL, 0, 0, 0, LINECALLFEATURE_COMPLETECALL, 0, 0},
    {TSPI_LINESECURECALL, 0, 0, 0, LINECALLFEATURE_SECURECALL, 0, 0},
    {TSPI_LINESETCALLPARAMS, 0, 0, 0, LINECALLFEATURE_SETCALLPARAMS, 0, 0},
    {TSPI_LINESETTERMINAL, 0, 0, 0, LINECALLFEATURE_SETTERMINAL, LINEADDRFEATURE_SETTERMINAL, 0},
    {TSPI_LINESETMEDIACONTROL, 0, 0, 0, LINECALLFEATURE_SETMEDIACONTROL,
     LINEADDRFEATURE_SETMEDIACONTROL, 0},
    {TSPI_LINEFORWARD, 0, 0, 0, 0, LINEADDRFEATURE_FORWARD, 0x10},
    {TSPI_LINEPICKUP, 0, 0, 0, 0, LINEADDRFEATURE_PICKUP, 0x8},
    {TSPI_LINEUNCOMPLETECALL, 0, 0, 0, 0, LINEADDRFEATURE_UNCOMPLETECALL, 0},
    {TSPI_LINEUNPARK, 0, 0, 0, 0, LINEADDRFEATURE_UNPARK, 0},
    {TSPI_LINEGATHERDIGITS, 0, 0, 0, LINECALLFEATURE_GATHERDIGITS, 0, 0},
    {TSPI_LINEGENERATEDIGITS, 0, 0, 0, LINECALLFEATURE_GENERATEDIGITS, 0, 0},
    {TSPI_LINEGENERATETONE, 0, 0, 0, LINECALLFEATURE_GENERATETONE, 0, 0},
    {TSPI_LINEMONITORDIGITS, 0, 0, 0, LINECALLFEATURE_MONITORDIGITS, 0, 0},
    {TSPI_LINEMONITORMEDIA, 0, 0, 0, LINECALLFEATURE_MONITORMEDIA, 0, 0},
    {TSPI_LINEMONITORTONES, 0, 0, 0, LINECALLFEATURE_MONITORTONES, 0, 0},
    {TSPI_LINEPREPAREADDTOCONFERENCE, 0, 0, 0, LINECALLFEATURE_PREPAREADDCONF, 0, 0},
    {TSPI_LINERELEASEUSERUSERINFO, 0, 0, 0, LINECALLFEATURE_RELEASEUSERUSERINFO, 0, 0},
    {TSPI_LINESETCALLTREATMENT, 0, 0, 0, LINECALLFEATURE_SETTREATMENT, 0, 0},
    {TSPI_LINESETCALLQUALITYOFSERVICE, 0, 0, 0, LINECALLFEATURE_SETQOS, 0, 0},
    {TSPI_LINESETCALLDATA, 0, 0, 0, LINECALLFEATURE_SETCALLDATA, 0, 0},
};

void Decrement(DWORD& dwCounter) {
  if (dwCounter > 0) --dwCounter;
}

bool IsHoldPending(DWORD dwState) {
  return dwState == LINECALLSTATE_ONHOLDPENDTRANSFER || dwState == LINECALLSTATE_ONHOLDPENDCONF;
}

}  // namespace

BOOL IsActiveCallState(DWORD dwState) {
  return (dwState & 0xFC01) == 0 ? TRUE : FALSE;
}

BOOL IsDialingOrConnectedState(DWORD dwState) {
  return (dwState & 0x378) != 0 ? TRUE : FALSE;
}

CTSPIAddressInfo::CTSPIAddressInfo() = default;

CTSPIAddressInfo::~CTSPIAddressInfo() {
  for (TSPIFORWARDINFO* pInfo : m_arrForward) pInfo->Release();
  m_arrForward.clear();
  if (m_pMediaControl != nullptr) m_pMediaControl->Release();
  m_pMediaControl = nullptr;
  // Calls still listed lose their links (a link may name a call listed here) and the list's
  // reference; a request that still names one keeps it alive until the request goes.
  std::vector<CTSPICallAppearance*> calls;
  calls.swap(m_lstCalls);
  // Each is marked deleted before any link is cleared, so that no link to it is made again.
  for (CTSPICallAppearance* pCall : calls) pCall->SetFlag(CALLFLAG_DELETED);
  for (CTSPICallAppearance* pCall : calls) pCall->DetachForDelete();
  for (CTSPICallAppearance* pCall : calls) {
    GetTSPILiveCalls().Remove(pCall);
    if (CServiceProvider* pSP = GetSP()) pSP->UnregisterTimedCall(pCall);
    pCall->m_pAddr = nullptr;
    pCall->Release();
  }
}

DWORD CTSPIAddressInfo::Init(CTSPILineConnection* pLine, DWORD dwAddressID,
                             LPCSTR pszDialableAddress, LPCSTR pszName, BOOL bIncoming,
                             BOOL bOutgoing, DWORD dwMediaModes, DWORD dwBearerMode,
                             DWORD dwMinRate, DWORD dwMaxRate, DWORD dwMaxNumActiveCalls,
                             DWORD dwMaxNumOnHoldCalls, DWORD dwMaxNumOnHoldPendCalls,
                             DWORD dwMaxNumConference, DWORD dwMaxNumTransConf) {
  CServiceProvider* pSP = GetSP();
  std::vector<DWORD> terminals;
  if (pLine != nullptr) {
    CSingleLock lockLine(pLine->GetSyncObject(), TRUE);
    for (INT_PTR i = 0; i < pLine->GetTerminalCount(); ++i) {
      terminals.push_back(pLine->GetTerminalModes(static_cast<int>(i)));
    }
  }

  CSingleLock lock(GetSyncObject(), TRUE);
  m_pLine = pLine;
  m_dwAddressID = dwAddressID;
  m_dwBearerMode = dwBearerMode;
  m_dwMinRate = dwMinRate;
  m_dwMaxRate = dwMaxRate;
  m_dwCurrentRate = dwMinRate;
  if (bIncoming) m_dwFlags.fetch_or(ADDRFLAG_INCOMING);
  if (bOutgoing) m_dwFlags.fetch_or(ADDRFLAG_OUTGOING);
  if (pszName != nullptr) m_strName = pszName;
  if (pszDialableAddress != nullptr) {
    m_strAddress = (pSP != nullptr) ? pSP->FilterDialChars(pszDialableAddress, nullptr)
                                    : CString(pszDialableAddress);
  }

  LINEADDRESSCAPS& caps = m_AddressCaps;
  caps.dwAvailableMediaModes = dwMediaModes | LINEMEDIAMODE_UNKNOWN;
  caps.dwAddressSharing = LINEADDRESSSHARING_PRIVATE;
  caps.dwAddressStates = 0x17D;
  caps.dwCallInfoStates = 0x042FC7FD;
  caps.dwCallerIDFlags = caps.dwCalledIDFlags = caps.dwConnectedIDFlags = 0x7F;
  caps.dwRedirectionIDFlags = caps.dwRedirectingIDFlags = 0x7F;
  caps.dwCallStates = 0xC3C1;
  caps.dwDialToneModes = 0x3F;
  caps.dwBusyModes = 0xF;
  caps.dwSpecialInfo = 0x18;
  caps.dwDisconnectModes = 0x7FFE7;
  caps.dwMaxNumActiveCalls = dwMaxNumActiveCalls;
  caps.dwMaxNumOnHoldCalls = dwMaxNumOnHoldCalls;
  caps.dwMaxNumOnHoldPendingCalls = dwMaxNumOnHoldPendCalls;
  caps.dwMaxNumConference = dwMaxNumConference;
  caps.dwMaxNumTransConf = dwMaxNumTransConf;
  caps.dwAddrCapFlags = 0x860;
  caps.dwCallFeatures = LINECALLFEATURE_DROP;
  caps.dwRemoveFromConfCaps = LINEREMOVEFROMCONF_NONE;
  caps.dwConnectedModes = 0x1F;
  caps.dwOfferingModes = 0x3;

  for (const AddressFeature& feature : kFeatures) {
    if (feature.wFunction == TSPI_LINEMAKECALL && !bOutgoing) continue;
    if (feature.wFunction == TSPI_LINEANSWER && !bIncoming) continue;
    if (pSP == nullptr || !pSP->IsFunctionAllowed(pLine, this, nullptr, feature.wFunction)) {
      continue;
    }
    caps.dwCallInfoStates |= feature.dwCallInfoStates;
    caps.dwAddressStates |= feature.dwAddressStates;
    caps.dwCallStates |= feature.dwCallStates;
    caps.dwCallFeatures |= feature.dwCallFeatures;
    caps.dwAddressFeatures |= feature.dwAddressFeatures;
    caps.dwDisconnectModes |= feature.dwDisconnectModes;
    if (feature.wFunction == TSPI_LINEREMOVEFROMCONFERENCE) {
      caps.dwRemoveFromConfCaps = LINEREMOVEFROMCONF_ANY;
      caps.dwRemoveFromConfState = LINECALLSTATE_IDLE;
    } else if (feature.wFunction == TSPI_LINEFORWARD) {
      caps.dwMaxForwardEntries = 1;
      caps.dwMaxSpecificEntries = caps.dwMinFwdNumRings = caps.dwMaxFwdNumRings = 0;
    }
  }

  m_arrTerminalModes = terminals;
  m_AddressStatus.dwTotalSize = sizeof(LINEADDRESSSTATUS);
  m_AddressStatus.dwAddressFeatures = caps.dwAddressFeatures & 0x1F;
  return m_AddressStatus.dwAddressFeatures;
}

// --- Checks ---

BOOL CTSPIAddressInfo::CheckMediaModes(DWORD dwMediaModes) {
  CSingleLock lock(GetSyncObject(), TRUE);
  const DWORD dwAvailable = m_AddressCaps.dwAvailableMediaModes;
  if (dwAvailable == 0) return TRUE;
  return ((dwMediaModes & ~LINEMEDIAMODE_UNKNOWN) & ~dwAvailable) == 0 ? TRUE : FALSE;
}

LONG CTSPIAddressInfo::CheckCallParams(const LINECALLPARAMS* lpCallParams) {
  if (lpCallParams == nullptr) return LINEERR_INVALCALLPARAMS;
  if (!CheckMediaModes(lpCallParams->dwMediaMode)) return LINEERR_INVALMEDIAMODE;
  const DWORD dwCapFlags = GetAddressCapsCopy().dwAddrCapFlags;
  const DWORD dwFlags = lpCallParams->dwCallParamFlags;
  struct Need {
    DWORD dwParamFlag, dwCapFlags;
  };
  constexpr Need kNeeds[] = {
      {LINECALLPARAMFLAGS_SECURE, LINEADDRCAPFLAGS_SECURE},
      {LINECALLPARAMFLAGS_BLOCKID,
       LINEADDRCAPFLAGS_BLOCKIDDEFAULT | LINEADDRCAPFLAGS_BLOCKIDOVERRIDE},
      {LINECALLPARAMFLAGS_ORIGOFFHOOK, LINEADDRCAPFLAGS_ORIGOFFHOOK},
      {LINECALLPARAMFLAGS_DESTOFFHOOK, LINEADDRCAPFLAGS_DESTOFFHOOK},
  };
  for (const Need& need : kNeeds) {
    if ((dwFlags & need.dwParamFlag) != 0 && (dwCapFlags & need.dwCapFlags) == 0) {
      return LINEERR_INVALCALLPARAMS;
    }
  }
  return 0;
}

// --- Calls ---

CTSPICallAppearance* CTSPIAddressInfo::CreateCallObject(CRuntimeClass* pClass, HTAPICALL htCall,
                                                        DWORD dwCallParamFlags, DWORD dwOrigin,
                                                        DWORD dwReason, DWORD dwTrunk,
                                                        DWORD dwCompletionID) {
  CObject* pObject = nullptr;
  try {
    pObject = (pClass != nullptr) ? pClass->CreateObject() : nullptr;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  auto* pCall = dynamic_cast<CTSPICallAppearance*>(pObject);
  if (pCall == nullptr) {
    delete pObject;
    return nullptr;
  }
  if (dwCompletionID != 0 && dwReason == LINECALLREASON_UNKNOWN) {
    dwReason = LINECALLREASON_CALLCOMPLETION;
  }
  pCall->Init(this, htCall, GetBearerMode(), GetCurrentRate(), dwCallParamFlags, dwOrigin, dwReason,
              dwTrunk, dwCompletionID, htCall == nullptr ? TRUE : FALSE);
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    m_lstCalls.push_back(pCall);
  }
  GetTSPILiveCalls().Add(pCall);
  // The call is complete by now.
  if (htCall == nullptr && m_pLine != nullptr) m_pLine->AnnounceNewCall(pCall);
  OnCallCreated(pCall);
  return pCall;
}

CTSPICallAppearance* CTSPIAddressInfo::FindOrCreateCall(HTAPICALL htCall, DWORD dwCallParamFlags,
                                                        DWORD dwOrigin, DWORD dwReason,
                                                        DWORD dwTrunk, DWORD dwCompletionID) {
  if (htCall != nullptr) {
    if (CTSPICallAppearance* pCall = FindCallByHandle(htCall)) return pCall;
  }
  CServiceProvider* pSP = GetSP();
  CRuntimeClass* pClass =
      (pSP != nullptr) ? pSP->GetCallClass() : RUNTIME_CLASS(CTSPICallAppearance);
  return CreateCallObject(pClass, htCall, dwCallParamFlags, dwOrigin, dwReason, dwTrunk,
                          dwCompletionID);
}

CTSPIConferenceCall* CTSPIAddressInfo::FindOrCreateConferenceCall(HTAPICALL htCall) {
  if (htCall != nullptr) {
    if (auto* pConf = dynamic_cast<CTSPIConferenceCall*>(FindCallByHandle(htCall))) return pConf;
  }
  CServiceProvider* pSP = GetSP();
  CRuntimeClass* pClass =
      (pSP != nullptr) ? pSP->GetConferenceCallClass() : RUNTIME_CLASS(CTSPIConferenceCall);
  // A class that makes no conference call makes nothing.
  if (pClass == nullptr || !pClass->IsDerivedFrom(RUNTIME_CLASS(CTSPIConferenceCall))) {
    return nullptr;
  }
  return static_cast<CTSPIConferenceCall*>(CreateCallObject(
      pClass, htCall, 0, LINECALLORIGIN_CONFERENCE, LINECALLREASON_DIRECT, 0xFFFFFFFF, 0));
}

void CTSPIAddressInfo::AddCallToList(CTSPICallAppearance* pCall) {
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    m_lstCalls.push_back(pCall);
  }
  GetTSPILiveCalls().Add(pCall);
}

void CTSPIAddressInfo::RemoveCall(CTSPICallAppearance* pCall) {
  if (pCall == nullptr) return;
  {
    // Only the invocation that unlinks the call goes on: it alone releases the list's reference.
    CSingleLock lock(GetSyncObject(), TRUE);
    auto it = std::find(m_lstCalls.begin(), m_lstCalls.end(), pCall);
    if (it == m_lstCalls.end() || pCall->IsDeleted()) return;
    m_lstCalls.erase(it);
    pCall->SetFlag(CALLFLAG_DELETED);
  }
  GetTSPILiveCalls().Remove(pCall);
  if (CServiceProvider* pSP = GetSP()) pSP->UnregisterTimedCall(pCall);
  // Partners first, while the call still has its links.
  if (CTSPICallAppearance* pRelated = pCall->GetRelatedCallRef()) {
    pRelated->OnRelatedCallStateChange(pCall, LINECALLSTATE_IDLE, LINECALLSTATE_UNKNOWN);
    pRelated->Release();
  }
  pCall->ChangeCallState(LINECALLSTATE_IDLE, 0, 0, FALSE);
  pCall->DetachForDelete();
  if (m_pLine != nullptr) m_pLine->OnCallDeleted(pCall);
  pCall->SetCallHandle(nullptr);
  pCall->Release();
}

CTSPICallAppearance* CTSPIAddressInfo::FindCallByHandle(HTAPICALL htCall) const {
  CSingleLock lock(GetSyncObject(), TRUE);
  for (CTSPICallAppearance* pCall : m_lstCalls) {
    if (pCall->GetCallHandle() == htCall && !pCall->IsDeleted()) return pCall;
  }
  return nullptr;
}

CTSPICallAppearance* CTSPIAddressInfo::GetCallAt(INT_PTR nIndex) const {
  CSingleLock lock(GetSyncObject(), TRUE);
  if (nIndex < 0 || nIndex >= static_cast<INT_PTR>(m_lstCalls.size())) return nullptr;
  return m_lstCalls[static_cast<size_t>(nIndex)];
}

INT_PTR CTSPIAddressInfo::GetCallCount() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return static_cast<INT_PTR>(m_lstCalls.size());
}

CTSPICallAppearance* CTSPIAddressInfo::FindCallByRelatedCall(CTSPICallAppearance* pCall) const {
  CTSPICallAppearance* pFound = nullptr;
  for (CTSPICallAppearance* pCandidate : SnapshotCalls()) {
    // The snapshot's reference passes to the caller: the call may leave the list meanwhile.
    if (pFound == nullptr && pCandidate->GetRelatedCall() == pCall) {
      pFound = pCandidate;
    } else {
      pCandidate->Release();
    }
  }
  return pFound;
}

CTSPICallAppearance* CTSPIAddressInfo::FindCallByState(DWORD dwStateMask,
                                                       CTSPICallAppearance* pExcept, BOOL bTry,
                                                       BOOL* pbMissed) const {
  CSingleLock lock(GetSyncObject());
  if (!lock.Lock(bTry ? 0 : INFINITE)) {
    if (pbMissed != nullptr) *pbMissed = TRUE;
    return nullptr;
  }
  for (CTSPICallAppearance* pCall : m_lstCalls) {
    if (pCall != pExcept && (pCall->GetCallState() & dwStateMask) != 0) return pCall;
  }
  return nullptr;
}

std::vector<CTSPICallAppearance*> CTSPIAddressInfo::SnapshotCalls() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  std::vector<CTSPICallAppearance*> calls;
  calls.reserve(m_lstCalls.size());
  for (CTSPICallAppearance* pCall : m_lstCalls) {
    pCall->AddRef();
    calls.push_back(pCall);
  }
  return calls;
}

// --- Counters, in-use state and features ---

void CTSPIAddressInfo::OnCallCreated(CTSPICallAppearance*) {
  bool bReport = false;
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    if (m_AddressStatus.dwNumInUse == 0) {
      m_AddressStatus.dwNumInUse = 1;
      bReport = true;
    }
  }
  if (bReport) ReportAddressState(LINEADDRESSSTATE_INUSEONE);
}

BOOL CTSPIAddressInfo::ResetInUseWhenIdle() {
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    if (m_AddressStatus.dwNumInUse == 0) return FALSE;
    for (CTSPICallAppearance* pCall : m_lstCalls) {
      if (pCall->GetCallState() != LINECALLSTATE_IDLE) return FALSE;
    }
    m_AddressStatus.dwNumInUse = 0;
  }
  ReportAddressState(LINEADDRESSSTATE_INUSEZERO);
  return TRUE;
}

void CTSPIAddressInfo::UpdateCallCounters(CTSPICallAppearance* pCall, DWORD dwNewState,
                                          DWORD dwOldState) {
  if (dwNewState == dwOldState) return;
  int nConnectedDelta = 0;
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    LINEADDRESSSTATUS& status = m_AddressStatus;
    const LINEADDRESSSTATUS before = status;
    const BOOL bWasActive = IsActiveCallState(dwOldState);
    const BOOL bIsActive = IsActiveCallState(dwNewState);
    if (!bWasActive && bIsActive) ++status.dwNumActiveCalls;
    if (bWasActive && !bIsActive) Decrement(status.dwNumActiveCalls);
    const BOOL bWasConnected = IsDialingOrConnectedState(dwOldState);
    const BOOL bIsConnected = IsDialingOrConnectedState(dwNewState);
    if (!bWasConnected && bIsConnected) {
      ++m_dwConnectedCallCount;
      nConnectedDelta = 1;
    } else if (bWasConnected && !bIsConnected) {
      Decrement(m_dwConnectedCallCount);
      nConnectedDelta = -1;
    }
    if (dwNewState == LINECALLSTATE_ONHOLD) {
      ++status.dwNumOnHoldCalls;
    } else if (IsHoldPending(dwNewState) && !IsHoldPending(dwOldState)) {
      ++status.dwNumOnHoldPendCalls;
    }
    if (dwOldState == LINECALLSTATE_ONHOLD) {
      Decrement(status.dwNumOnHoldCalls);
    } else if (IsHoldPending(dwOldState) && !IsHoldPending(dwNewState)) {
      Decrement(status.dwNumOnHoldPendCalls);
    }
    if (before.dwNumActiveCalls != status.dwNumActiveCalls ||
        before.dwNumOnHoldCalls != status.dwNumOnHoldCalls ||
        before.dwNumOnHoldPendCalls != status.dwNumOnHoldPendCalls) {
      m_dwFlags.fetch_or(ADDRFLAG_COUNTSCHANGED);
    }
  }
  if (m_pLine != nullptr) {
    if (nConnectedDelta != 0) m_pLine->AdjustActiveCallCount(nConnectedDelta);
    m_pLine->UpdateCallCounters(this, pCall, dwNewState, dwOldState);
  }
}

BOOL CTSPIAddressInfo::ReportCallCounterChange(CTSPICallAppearance*, DWORD, DWORD) {
  if ((m_dwFlags.fetch_and(~ADDRFLAG_COUNTSCHANGED) & ADDRFLAG_COUNTSCHANGED) != 0) {
    ReportAddressState(LINEADDRESSSTATE_NUMCALLS);
  }
  if (GetAddressCapsCopy().dwAddressSharing != LINEADDRESSSHARING_MONITORED) {
    UpdateAddressFeatures();
  }
  if (m_pLine != nullptr) m_pLine->ReportCallCounterChange();
  return ResetInUseWhenIdle();
}

DWORD CTSPIAddressInfo::UpdateAddressFeatures() {
  DWORD dwDevStatusFlags = 0;
  INT_PTR nTerminals = 0;
  if (m_pLine != nullptr) {
    dwDevStatusFlags = m_pLine->GetLineDevStatus().dwDevStatusFlags;
    nTerminals = m_pLine->GetTerminalCount();
  }
  constexpr DWORD kUsable = LINEDEVSTATUSFLAGS_CONNECTED | LINEDEVSTATUSFLAGS_INSERVICE;
  const LINEADDRESSCAPS caps = GetAddressCapsCopy();
  const DWORD dwCaps = caps.dwAddressFeatures;
  DWORD dwFeatures = 0;
  if ((dwDevStatusFlags & kUsable) != kUsable) {
    dwFeatures = FilterAddressFeatures(0);
  } else if (dwCaps == 0) {
    // Called without the address's lock: a call's lock comes first.
    for (CTSPICallAppearance* pCall : SnapshotCalls()) {
      const DWORD dwState = pCall->GetCallState();
      if (dwState != LINECALLSTATE_IDLE) pCall->ComputeCallFeatures(dwState, 0, 0);
      pCall->Release();
    }
    dwFeatures = FilterAddressFeatures(0);
  } else {
    DWORD dwMask = dwCaps;
    if (nTerminals == 0) dwMask &= ~LINEADDRFEATURE_SETTERMINAL;
    bool bCompletion = false;
    for (CTSPICallAppearance* pCall : SnapshotCalls()) {
      if (m_pLine != nullptr && m_pLine->FindCompletionByCall(pCall) != nullptr) {
        bCompletion = true;
      }
      pCall->Release();
    }
    LINEADDRESSSTATUS status = GetAddressStatusCopy();
    DWORD dwConnected = 0;
    {
      CSingleLock lock(GetSyncObject(), TRUE);
      dwConnected = m_dwConnectedCallCount;
    }
    dwMask &= (dwConnected != 0) ? ~0x3001u : ~static_cast<DWORD>(LINEADDRFEATURE_SETUPCONF);
    if (!bCompletion) dwMask &= ~LINEADDRFEATURE_UNCOMPLETECALL;
    if (status.dwNumActiveCalls >= caps.dwMaxNumActiveCalls) dwMask &= ~0xF86u;
    dwFeatures = FilterAddressFeatures(dwMask & dwCaps);
  }
  CSingleLock lock(GetSyncObject(), TRUE);
  m_AddressStatus.dwAddressFeatures = dwFeatures;
  return dwFeatures;
}

DWORD CTSPIAddressInfo::FilterAddressFeatures(DWORD dwFeatures) {
  return (m_pLine != nullptr) ? m_pLine->FilterAddressFeatures(this, dwFeatures) : dwFeatures;
}

DWORD CTSPIAddressInfo::FilterCallFeatures(CTSPICallAppearance* pCall, DWORD dwFeatures) {
  return (m_pLine != nullptr) ? m_pLine->FilterCallFeatures(pCall, dwFeatures) : dwFeatures;
}

// --- Reports ---

void CTSPIAddressInfo::SetStatusMessages(DWORD dwStates) {
  CSingleLock lock(GetSyncObject(), TRUE);
  m_dwAddressStates = dwStates;
}

void CTSPIAddressInfo::ReportAddressState(DWORD dwState) {
  if ((GetAddressStateMask() & dwState) != dwState || m_pLine == nullptr) return;
  m_pLine->SendLineEvent(nullptr, LINE_ADDRESSSTATE, m_dwAddressID, dwState, 0);
}

void CTSPIAddressInfo::NotifyCapsChanged() {
  ReportAddressState(LINEADDRESSSTATE_CAPSCHANGE);
}

// --- Reads ---

CString CTSPIAddressInfo::GetDialableAddress() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_strAddress;
}

CString CTSPIAddressInfo::GetName() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_strName;
}

void CTSPIAddressInfo::SetName(LPCSTR pszName) {
  CSingleLock lock(GetSyncObject(), TRUE);
  m_strName = (pszName != nullptr) ? pszName : "";
}

DWORD CTSPIAddressInfo::GetBearerMode() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_dwBearerMode;
}

DWORD CTSPIAddressInfo::GetCurrentRate() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_dwCurrentRate;
}

DWORD CTSPIAddressInfo::GetAddressStateMask() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_dwAddressStates;
}

LINEADDRESSCAPS CTSPIAddressInfo::GetAddressCapsCopy() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_AddressCaps;
}

LINEADDRESSSTATUS CTSPIAddressInfo::GetAddressStatusCopy() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_AddressStatus;
}

BOOL CTSPIAddressInfo::TryGetAddressCaps(LINEADDRESSCAPS& caps, LINEADDRESSSTATUS& status,
                                         BOOL bTry) const {
  CSingleLock lock(GetSyncObject());
  if (!lock.Lock(bTry ? 0 : INFINITE)) return FALSE;
  caps = m_AddressCaps;
  status = m_AddressStatus;
  return TRUE;
}

DWORD CTSPIAddressInfo::GetTerminalMode(int nTerminal) const {
  CSingleLock lock(GetSyncObject(), TRUE);
  if (nTerminal < 0 || nTerminal >= static_cast<int>(m_arrTerminalModes.size())) return 0;
  return m_arrTerminalModes[static_cast<size_t>(nTerminal)];
}

DWORD CTSPIAddressInfo::GetAvailableMediaModesForCall() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  if ((m_dwFlags.load() & ADDRFLAG_OUTGOING) == 0) return 0;
  if (m_AddressStatus.dwNumActiveCalls >= m_AddressCaps.dwMaxNumActiveCalls) return 0;
  return m_AddressCaps.dwAvailableMediaModes;
}
