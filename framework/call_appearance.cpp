// CTSPICallAppearance: life, reference counting, linkage, the call-information setters and
// the party identifications.
#include "framework/call_appearance.h"

#include <cstring>

#include "framework/address_info.h"
#include "framework/alloc_buffer.h"
#include "framework/conference_call.h"
#include "framework/function_table.h"
#include "framework/line_connection.h"
#include "framework/live_calls.h"
#include "framework/media_records.h"
#include "framework/service_provider.h"
#include "platform/afxmt.h"

IMPLEMENT_DYNCREATE(CTSPICallAppearance, CTSPIBaseObject)

CTSPICallAppearance::CTSPICallAppearance() = default;

CTSPICallAppearance::~CTSPICallAppearance() {
  // Never reached through a handle again, never served by the timer thread again, and no
  // partner keeps its address.
  GetTSPILiveCalls().Remove(this);
  CTSPICallAppearance::DetachForDelete();
  if (CServiceProvider* pSP = GetSP()) pSP->UnregisterTimedCall(this);
  for (TSPITONEMONITOR* pMonitor : m_arrMonitors) delete pMonitor;
  for (TIMEREVENT* pEvent : m_arrTimers) delete pEvent;
  delete m_pGather;
  if (m_pMediaControl != nullptr) m_pMediaControl->Release();
  FreeBuffer(m_lpCallData);
  FreeBuffer(m_lpSendingFlowSpec);
  FreeBuffer(m_lpReceivingFlowSpec);
}

void CTSPICallAppearance::AddRef() {
  m_lRefCount.fetch_add(1);
}

BOOL CTSPICallAppearance::TryAddRef() {
  LONG lCount = m_lRefCount.load();
  while (lCount > 0) {
    if (m_lRefCount.compare_exchange_weak(lCount, lCount + 1)) return TRUE;
  }
  return FALSE;
}

void CTSPICallAppearance::Release() {
  if (m_lRefCount.fetch_sub(1) == 1) delete this;
}

void CTSPICallAppearance::Init(CTSPIAddressInfo* pAddr, HTAPICALL htCall, DWORD dwBearerMode,
                               DWORD dwRate, DWORD dwCallParamFlags, DWORD dwOrigin, DWORD dwReason,
                               DWORD dwTrunk, DWORD dwCompletionID, BOOL bNewCall) {
  CTSPILineConnection* pLine = (pAddr != nullptr) ? pAddr->GetLineOwner() : nullptr;
  CServiceProvider* pSP = GetSP();
  auto allowed = [&](WORD wFunction) {
    return pSP != nullptr && pSP->IsFunctionAllowed(pLine, pAddr, nullptr, wFunction);
  };
  const DWORD dwAddrFlags = (pAddr != nullptr) ? pAddr->GetFlags() : 0;
  DWORD dwCallStates = 0xC341;
  if ((dwAddrFlags & ADDRFLAG_OUTGOING) != 0 && allowed(TSPI_LINEMAKECALL)) dwCallStates |= 0x38;
  if ((dwAddrFlags & ADDRFLAG_INCOMING) != 0 && allowed(TSPI_LINEANSWER)) dwCallStates |= 0x6;
  if (allowed(TSPI_LINEADDTOCONFERENCE)) dwCallStates |= 0x1800;
  if (allowed(TSPI_LINECOMPLETETRANSFER)) dwCallStates |= LINECALLSTATE_ONHOLDPENDTRANSFER;
  std::vector<DWORD> terminals;
  const INT_PTR nTerminals = (pLine != nullptr) ? pLine->GetTerminalCount() : 0;
  for (INT_PTR i = 0; i < nTerminals; ++i) {
    terminals.push_back(pAddr->GetTerminalMode(static_cast<int>(i)));
  }

  CSingleLock lock(GetSyncObject(), TRUE);
  m_pAddr = pAddr;
  m_htCall.store(htCall);
  if (bNewCall) SetFlag(CALLFLAG_NEWCALL);
  m_CallInfo.dwNeededSize = sizeof(LINECALLINFO);
  m_CallInfo.dwLineDeviceID = (pLine != nullptr) ? pLine->GetDeviceID() : 0;
  m_CallInfo.dwAddressID = (pAddr != nullptr) ? pAddr->GetAddressID() : 0;
  m_CallInfo.dwBearerMode = dwBearerMode;
  m_CallInfo.dwRate = dwRate;
  m_CallInfo.dwCallStates = dwCallStates;
  m_CallInfo.dwOrigin = dwOrigin;
  m_CallInfo.dwReason = dwReason;
  m_CallInfo.dwTrunk = dwTrunk;
  m_CallInfo.dwCompletionID = dwCompletionID;
  m_CallInfo.dwCallParamFlags = dwCallParamFlags;
  m_CallInfo.dwCallerIDFlags = m_CallInfo.dwCalledIDFlags = LINECALLPARTYID_UNKNOWN;
  m_CallInfo.dwConnectedIDFlags = m_CallInfo.dwRedirectionIDFlags = LINECALLPARTYID_UNKNOWN;
  m_CallInfo.dwRedirectingIDFlags = LINECALLPARTYID_UNKNOWN;
  m_CallStatus.dwNeededSize = sizeof(LINECALLSTATUS);
  m_CallStatus.dwCallState = LINECALLSTATE_UNKNOWN;
  m_dwState.store(LINECALLSTATE_UNKNOWN);
  m_arrTerminalModes = terminals;
}

CTSPILineConnection* CTSPICallAppearance::GetLineOwner() const {
  return (m_pAddr != nullptr) ? m_pAddr->GetLineOwner() : nullptr;
}

// --- Linkage ---

void CTSPICallAppearance::SetRelatedCall(CTSPICallAppearance* pCall) {
  DWORD dwCallID = 0;
  {
    // A removed call has already cleared every call that pointed at it: no link to it, or from
    // it, may be made again. Its mark is set before that clearing, so one of the two sees it.
    CSingleLock lock(GetSyncObject(), TRUE);
    if (pCall != nullptr && (IsDeleted() || pCall->IsDeleted())) pCall = nullptr;
    m_pRelated = pCall;
  }
  if (pCall != nullptr) dwCallID = pCall->GetCallID();
  SetRelatedCallID(dwCallID);
}

void CTSPICallAppearance::ClearRelatedCall() {
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    m_pRelated = nullptr;
  }
  SetRelatedCallID(0);
}

BOOL CTSPICallAppearance::ClearRelatedCallIf(CTSPICallAppearance* pCall) {
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    if (pCall == nullptr || m_pRelated != pCall) return FALSE;
    m_pRelated = nullptr;
  }
  SetRelatedCallID(0);
  return TRUE;
}

void CTSPICallAppearance::LinkPartner(CTSPICallAppearance* pCall) {
  // Each call's previous partner lets go of it first, so that no call keeps pointing at a call
  // that has moved on (and may go before it).
  if (pCall == nullptr || pCall == this) return;
  CTSPICallAppearance* pOldOfThis = GetRelatedCallRef();
  CTSPICallAppearance* pOldOfOther = pCall->GetRelatedCallRef();
  SetRelatedCall(pCall);
  pCall->SetRelatedCall(this);
  auto letGo = [&](CTSPICallAppearance* pOld, CTSPICallAppearance* pLeaving) {
    if (pOld == nullptr) return;
    if (pOld != this && pOld != pCall && pOld->ClearRelatedCallIf(pLeaving)) {
      pOld->OnPartnerLost();
    }
    pOld->Release();
  };
  letGo(pOldOfThis, this);
  letGo(pOldOfOther, pCall);
}

void CTSPICallAppearance::OnPartnerLost() {
  if (GetRelatedCall() != nullptr || GetCallType() != CALLTYPE_CONSULTATION) return;
  SetCallType(CALLTYPE_NORMAL);
  const LINECALLSTATUS status = GetCallStatusCopy();
  ComputeCallFeatures(status.dwCallState, status.dwCallStateMode, GetMediaMode());
}

void CTSPICallAppearance::SetConsultationCall(CTSPICallAppearance* pCall) {
  if (pCall != nullptr) {
    pCall->SetCallType(CALLTYPE_CONSULTATION);
    LinkPartner(pCall);
    return;
  }
  if (CTSPICallAppearance* pPartner = GetRelatedCallRef()) {
    pPartner->ClearRelatedCallIf(this);  // a partner that moved on keeps its new link
    pPartner->Release();
  }
  ClearRelatedCall();
}

CTSPICallAppearance* CTSPICallAppearance::GetRelatedCall() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_pRelated;
}

CTSPICallAppearance* CTSPICallAppearance::GetRelatedCallRef() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  if (m_pRelated == nullptr || !m_pRelated->TryAddRef()) return nullptr;
  return m_pRelated;
}

void CTSPICallAppearance::SetConferenceCall(CTSPIConferenceCall* pConf) {
  if (pConf != nullptr) pConf->AddRef();
  CTSPIConferenceCall* pOld = nullptr;
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    pOld = m_pConf;
    m_pConf = pConf;
  }
  if (pOld != nullptr) pOld->Release();
}

CTSPIConferenceCall* CTSPICallAppearance::GetConferenceCall() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_pConf;
}

CTSPIConferenceCall* CTSPICallAppearance::GetConferenceCallRef() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  if (m_pConf == nullptr || !m_pConf->TryAddRef()) return nullptr;
  return m_pConf;
}

void CTSPICallAppearance::DetachForDelete() {
  CTSPICallAppearance* pRelated = GetRelatedCallRef();
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    m_pRelated = nullptr;
  }
  if (pRelated != nullptr) {
    pRelated->ClearRelatedCallIf(this);
    pRelated->Release();
  }
  // Any other call of the address that still points at this one (a partner it left) lets go
  // too; each is called with no call lock held.
  if (m_pAddr != nullptr && !m_bPartnersCleared.exchange(true)) {
    for (CTSPICallAppearance* pCall : m_pAddr->SnapshotCalls()) {
      if (pCall != this) pCall->ClearRelatedCallIf(this);
      pCall->Release();
    }
  }
  if (CTSPIConferenceCall* pConf = GetConferenceCallRef()) {
    pConf->RemoveMember(this, FALSE);
    pConf->Release();
  }
  SetConferenceCall(nullptr);
}

CTSPICallAppearance* CTSPICallAppearance::MakeConsultationCall(HTAPICALL htCall,
                                                               DWORD dwCallParamFlags) {
  CServiceProvider* pSP = GetSP();
  CRuntimeClass* pClass =
      (pSP != nullptr) ? pSP->GetCallClass() : RUNTIME_CLASS(CTSPICallAppearance);
  CObject* pObject = nullptr;
  try {
    pObject = (pClass != nullptr) ? pClass->CreateObject() : nullptr;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  auto* pCall = dynamic_cast<CTSPICallAppearance*>(pObject);
  if (pCall == nullptr || m_pAddr == nullptr) {
    delete pObject;
    return nullptr;
  }
  LINECALLINFO info = GetCallInfoCopy();
  pCall->Init(m_pAddr, htCall, info.dwBearerMode, info.dwRate, dwCallParamFlags,
              LINECALLORIGIN_OUTBOUND, LINECALLREASON_DIRECT, 0xFFFFFFFF, 0, TRUE);
  pCall->SetCallType(CALLTYPE_CONSULTATION);
  LinkPartner(pCall);
  m_pAddr->AddCallToList(pCall);
  if (htCall == nullptr) {
    if (CTSPILineConnection* pLine = GetLineOwner()) pLine->AnnounceNewCall(pCall);
  }
  m_pAddr->OnCallCreated(pCall);
  return pCall;
}

// --- Setters ---

namespace {

// Stores the value and answers TRUE when it differs (or bAlways).
bool StoreDword(DWORD& dwField, DWORD dwValue, bool bAlways = false) {
  if (dwField == dwValue && !bAlways) return false;
  dwField = dwValue;
  return true;
}

}  // namespace

#define TSPI_CALL_SETTER(Name, field, state, always)   \
  void CTSPICallAppearance::Name(DWORD dwValue) {      \
    bool bChanged;                                     \
    {                                                  \
      CSingleLock lock(GetSyncObject(), TRUE);         \
      bChanged = StoreDword(field, dwValue, (always)); \
    }                                                  \
    if (bChanged) SendCallInfoEvent(state);            \
  }

TSPI_CALL_SETTER(SetBearerMode, m_CallInfo.dwBearerMode, LINECALLINFOSTATE_BEARERMODE, false)
TSPI_CALL_SETTER(SetAppSpecific, m_CallInfo.dwAppSpecific, LINECALLINFOSTATE_APPSPECIFIC, true)
TSPI_CALL_SETTER(SetCallID, m_CallInfo.dwCallID, LINECALLINFOSTATE_CALLID, false)
TSPI_CALL_SETTER(SetRelatedCallID, m_CallInfo.dwRelatedCallID, LINECALLINFOSTATE_RELATEDCALLID,
                 false)
TSPI_CALL_SETTER(SetCallParamFlags, m_CallInfo.dwCallParamFlags, LINECALLINFOSTATE_OTHER, false)
TSPI_CALL_SETTER(SetMonitorDigitModes, m_CallInfo.dwMonitorDigitModes,
                 LINECALLINFOSTATE_MONITORMODES, false)
TSPI_CALL_SETTER(SetMonitorMediaModes, m_CallInfo.dwMonitorMediaModes,
                 LINECALLINFOSTATE_MONITORMODES, false)
TSPI_CALL_SETTER(SetCallOrigin, m_CallInfo.dwOrigin, LINECALLINFOSTATE_ORIGIN, false)
TSPI_CALL_SETTER(StoreCallTreatment, m_CallInfo.dwCallTreatment, LINECALLINFOSTATE_TREATMENT, false)

#undef TSPI_CALL_SETTER

LONG CTSPICallAppearance::SetMediaMode(DWORD dwMediaMode) {
  if (m_pAddr != nullptr && !m_pAddr->CheckMediaModes(dwMediaMode)) {
    return LINEERR_INVALMEDIAMODE;
  }
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    m_CallInfo.dwMediaMode = dwMediaMode;
  }
  SendCallInfoEvent(LINECALLINFOSTATE_MEDIAMODE);
  return 0;
}

void CTSPICallAppearance::SetDialParams(const LINEDIALPARAMS* lpDialParams) {
  if (lpDialParams == nullptr) return;
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    if (std::memcmp(&m_CallInfo.DialParams, lpDialParams, sizeof(LINEDIALPARAMS)) == 0) return;
    m_CallInfo.DialParams = *lpDialParams;
  }
  SendCallInfoEvent(LINECALLINFOSTATE_DIALPARAMS);
}

void CTSPICallAppearance::StoreCallData(LPCVOID lpData, DWORD dwSize) {
  LPVOID lpCopy = nullptr;
  if (lpData != nullptr && dwSize != 0) {
    lpCopy = AllocBuffer(dwSize);
    if (lpCopy == nullptr) return;
    std::memcpy(lpCopy, lpData, dwSize);
  } else {
    dwSize = 0;
  }
  LPVOID lpOld = nullptr;
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    lpOld = m_lpCallData;
    m_lpCallData = lpCopy;
    m_dwCallDataSize = dwSize;
  }
  FreeBuffer(lpOld);
  SendCallInfoEvent(LINECALLINFOSTATE_CALLDATA);
}

void CTSPICallAppearance::StoreQualityOfService(LPCVOID lpSending, DWORD dwSendingSize,
                                                LPCVOID lpReceiving, DWORD dwReceivingSize) {
  auto copy = [](LPCVOID lpData, DWORD& dwSize) -> LPVOID {
    if (lpData == nullptr || dwSize == 0) {
      dwSize = 0;
      return nullptr;
    }
    LPVOID lpCopy = AllocBuffer(dwSize);
    if (lpCopy == nullptr) {
      dwSize = 0;
      return nullptr;
    }
    std::memcpy(lpCopy, lpData, dwSize);
    return lpCopy;
  };
  LPVOID lpSend = copy(lpSending, dwSendingSize);
  LPVOID lpRecv = copy(lpReceiving, dwReceivingSize);
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    std::swap(m_lpSendingFlowSpec, lpSend);
    std::swap(m_lpReceivingFlowSpec, lpRecv);
    m_dwSendingFlowSpecSize = dwSendingSize;
    m_dwReceivingFlowSpecSize = dwReceivingSize;
  }
  FreeBuffer(lpSend);
  FreeBuffer(lpRecv);
  SendCallInfoEvent(LINECALLINFOSTATE_QOS);
}

void CTSPICallAppearance::SetTerminalModes(int nTerminal, DWORD dwModes, BOOL bOn) {
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    if (nTerminal >= 0 && nTerminal < static_cast<int>(m_arrTerminalModes.size())) {
      DWORD& dwEntry = m_arrTerminalModes[static_cast<size_t>(nTerminal)];
      dwEntry = bOn ? (dwEntry | dwModes) : (dwEntry & ~dwModes);
    }
  }
  SendCallInfoEvent(LINECALLINFOSTATE_TERMINAL);
}

void CTSPICallAppearance::UpdateTerminal(BOOL bAdd, int nTerminal, DWORD dwModes) {
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    if (bAdd) {
      m_arrTerminalModes.push_back(dwModes);
    } else if (nTerminal >= 0 && nTerminal < static_cast<int>(m_arrTerminalModes.size())) {
      m_arrTerminalModes.erase(m_arrTerminalModes.begin() + nTerminal);
    }
  }
  SendCallInfoEvent(LINECALLINFOSTATE_TERMINAL);
}

void CTSPICallAppearance::SetMediaControl(TSPIMEDIACONTROL* pMediaControl) {
  TSPIMEDIACONTROL* pOld = nullptr;
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    if (m_pMediaControl == pMediaControl) return;
    if (pMediaControl != nullptr) pMediaControl->AddRef();
    pOld = m_pMediaControl;
    m_pMediaControl = pMediaControl;
  }
  if (pOld != nullptr) pOld->Release();
}

BOOL CTSPICallAppearance::AddUserUserInfo(LPCVOID lpData, DWORD dwSize) {
  if (lpData == nullptr || dwSize == 0) return FALSE;
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    const auto* p = static_cast<const BYTE*>(lpData);
    m_arrUserUserInfo.emplace_back(p, p + dwSize);
  }
  SendCallInfoEvent(LINECALLINFOSTATE_USERUSERINFO);
  return TRUE;
}

// --- Party identification ---

void CTSPICallAppearance::SetPartyID(DWORD& dwFlagsField, CALLIDENTIFIER& party, DWORD dwInfoState,
                                     DWORD dwFlags, LPCSTR pszNumber, LPCSTR pszName,
                                     DWORD /*dwFormat*/) {
  CServiceProvider* pSP = GetSP();
  const CString strNumber = (pSP != nullptr) ? pSP->FormatTenDigitNumber(pszNumber)
                                             : CString(pszNumber != nullptr ? pszNumber : "");
  const CString strName = (pszName != nullptr) ? pszName : "";
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    if (dwFlags == dwFlagsField) {
      const bool bNameChanged =
          (dwFlags & LINECALLPARTYID_NAME) != 0 && strName != party.strPartyName;
      // The number as given against the number as stored (formatted).
      const bool bNumberChanged =
          (dwFlags & LINECALLPARTYID_ADDRESS) != 0 &&
          CString(pszNumber != nullptr ? pszNumber : "") != party.strPartyId;
      if (!bNameChanged && !bNumberChanged) return;
    }
    dwFlagsField = dwFlags;
    party.strPartyName = strName;
    party.strPartyId = strNumber;
    if (party.strPartyName.IsEmpty()) dwFlagsField &= ~LINECALLPARTYID_NAME;
    if (party.strPartyId.IsEmpty()) dwFlagsField &= ~LINECALLPARTYID_ADDRESS;
  }
  SendCallInfoEvent(dwInfoState);
}

void CTSPICallAppearance::SetCallerID(DWORD dwFlags, LPCSTR pszNumber, LPCSTR pszName,
                                      DWORD dwFormat) {
  SetPartyID(m_CallInfo.dwCallerIDFlags, m_CallerID, LINECALLINFOSTATE_CALLERID, dwFlags, pszNumber,
             pszName, dwFormat);
}

void CTSPICallAppearance::SetCalledID(DWORD dwFlags, LPCSTR pszNumber, LPCSTR pszName,
                                      DWORD dwFormat) {
  SetPartyID(m_CallInfo.dwCalledIDFlags, m_CalledID, LINECALLINFOSTATE_CALLEDID, dwFlags, pszNumber,
             pszName, dwFormat);
}

void CTSPICallAppearance::SetRedirectionID(DWORD dwFlags, LPCSTR pszNumber, LPCSTR pszName,
                                           DWORD dwFormat) {
  SetPartyID(m_CallInfo.dwRedirectionIDFlags, m_RedirectionID, LINECALLINFOSTATE_REDIRECTIONID,
             dwFlags, pszNumber, pszName, dwFormat);
}

void CTSPICallAppearance::SetRedirectingID(DWORD dwFlags, LPCSTR pszNumber, LPCSTR pszName,
                                           DWORD dwFormat) {
  SetPartyID(m_CallInfo.dwRedirectingIDFlags, m_RedirectingID, LINECALLINFOSTATE_REDIRECTINGID,
             dwFlags, pszNumber, pszName, dwFormat);
}

// --- Reads ---

LINECALLINFO CTSPICallAppearance::GetCallInfoCopy() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_CallInfo;
}

LINECALLSTATUS CTSPICallAppearance::GetCallStatusCopy() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_CallStatus;
}

DWORD CTSPICallAppearance::GetCallFeatures() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_CallStatus.dwCallFeatures;
}

DWORD CTSPICallAppearance::GetCallStateMode() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_CallStatus.dwCallStateMode;
}

DWORD CTSPICallAppearance::GetMediaMode() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_CallInfo.dwMediaMode;
}

DWORD CTSPICallAppearance::GetCallID() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_CallInfo.dwCallID;
}

CALLIDENTIFIER CTSPICallAppearance::GetCallerIDInfo() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_CallerID;
}

CALLIDENTIFIER CTSPICallAppearance::GetCalledIDInfo() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_CalledID;
}

CALLIDENTIFIER CTSPICallAppearance::GetRedirectionIDInfo() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_RedirectionID;
}

CALLIDENTIFIER CTSPICallAppearance::GetRedirectingIDInfo() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_RedirectingID;
}

INT_PTR CTSPICallAppearance::GetTerminalModeCount() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return static_cast<INT_PTR>(m_arrTerminalModes.size());
}

INT_PTR CTSPICallAppearance::GetTimerEventCount() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return static_cast<INT_PTR>(m_arrTimers.size());
}

INT_PTR CTSPICallAppearance::GetToneMonitorCount() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return static_cast<INT_PTR>(m_arrMonitors.size());
}

TSPIMEDIACONTROL* CTSPICallAppearance::GetMediaControl() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_pMediaControl;
}
