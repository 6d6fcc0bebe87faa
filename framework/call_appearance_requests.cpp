// CTSPICallAppearance: the call-level request checks, lineCloseCall, and what a finished request
// changes on the call.
#include <cstring>

#include "framework/address_info.h"
#include "framework/alloc_buffer.h"
#include "framework/call_appearance.h"
#include "framework/dial_info.h"
#include "framework/line_connection.h"
#include "framework/media_records.h"
#include "framework/record_copies.h"
#include "framework/request.h"
#include "framework/request_records.h"
#include "framework/service_provider.h"
#include "platform/afxmt.h"
#include "platform/win32.h"

namespace {

DWORD PartyFlags(const DIALINFO* pEntry) {
  DWORD dwFlags = 0;
  if (!pEntry->strNumber.IsEmpty()) dwFlags |= LINECALLPARTYID_ADDRESS;
  if (!pEntry->strName.IsEmpty()) dwFlags |= LINECALLPARTYID_NAME;
  return dwFlags;
}

const DIALINFO* FirstEntry(const CADObArray* pList) {
  if (pList == nullptr || pList->GetSize() == 0) return nullptr;
  return static_cast<const DIALINFO*>(pList->GetAt(0));
}

}  // namespace

LONG CTSPICallAppearance::QueueCallRequest(WORD wType, DRV_REQUESTID dwRequestID, CObject* pRecord,
                                           DWORD dwSize) {
  CTSPILineConnection* pLine = GetLineOwner();
  if (pLine == nullptr) return LINEERR_OPERATIONFAILED;
  return static_cast<bool>(pLine->QueueRequest(m_pAddr, this, wType, dwRequestID, pRecord, dwSize))
             ? static_cast<LONG>(dwRequestID)
             : LINEERR_OPERATIONFAILED;
}

LONG CTSPICallAppearance::QueueCallBuffer(WORD wType, DRV_REQUESTID dwRequestID, LPCSTR lpsBuffer,
                                          DWORD dwSize) {
  CTSPILineConnection* pLine = GetLineOwner();
  if (pLine == nullptr) return LINEERR_OPERATIONFAILED;
  LPVOID lpCopy = nullptr;
  if (lpsBuffer != nullptr && dwSize != 0) {
    lpCopy = AllocBuffer(dwSize);
    if (lpCopy == nullptr) return LINEERR_NOMEM;
    std::memcpy(lpCopy, lpsBuffer, dwSize);
  } else {
    dwSize = 0;
  }
  if (!pLine->QueueRequest(m_pAddr, this, wType, dwRequestID, lpCopy, dwSize)) {
    FreeBuffer(lpCopy);
    return LINEERR_OPERATIONFAILED;
  }
  return static_cast<LONG>(dwRequestID);
}

LONG CTSPICallAppearance::CloseCall() {
  CTSPILineConnection* pLine = GetLineOwner();
  AddRef();  // the call may lose its other references while its drop is waited for
  // A drop that does not finish within the provider's wait is failed rather than waited for.
  if (pLine != nullptr) pLine->WaitOrFailPendingRequests(this, REQUEST_LINEDROP);
  // After this no event of the call reaches TAPI, nor is a handle TAPI writes stored.
  if (pLine != nullptr) {
    pLine->ForgetCallHandle(this);
  } else {
    SetCallHandle(nullptr);
  }
  if (GetCallState() == LINECALLSTATE_IDLE && m_pAddr != nullptr) m_pAddr->RemoveCall(this);
  Release();
  return 0;
}

LONG CTSPICallAppearance::Drop(DRV_REQUESTID dwRequestID, LPCSTR lpsUserUserInfo, DWORD dwSize) {
  if (dwRequestID != 0 && !HasFeature(LINECALLFEATURE_DROP)) return LINEERR_OPERATIONUNAVAIL;
  // One drop at a time; the flag is claimed before the request is queued (the line may answer
  // it at once) and given back when the request cannot be queued, so a refused drop leaves the
  // next one free to try.
  if ((m_dwFlags.fetch_or(CALLFLAG_DROPPENDING) & CALLFLAG_DROPPENDING) != 0) return 0;
  if (GetCallState() == LINECALLSTATE_IDLE) {
    ClearFlag(CALLFLAG_DROPPENDING);
    return LINEERR_INVALCALLSTATE;
  }
  const LONG lResult = QueueCallBuffer(REQUEST_LINEDROP, dwRequestID, lpsUserUserInfo, dwSize);
  if (lResult < 0) ClearFlag(CALLFLAG_DROPPENDING);
  return lResult;
}

LONG CTSPICallAppearance::Accept(DRV_REQUESTID dwRequestID, LPCSTR lpsUserUserInfo, DWORD dwSize) {
  if (!HasFeature(LINECALLFEATURE_ACCEPT)) return LINEERR_OPERATIONUNAVAIL;
  return QueueCallBuffer(REQUEST_LINEACCEPT, dwRequestID, lpsUserUserInfo, dwSize);
}

LONG CTSPICallAppearance::Answer(DRV_REQUESTID dwRequestID, LPCSTR lpsUserUserInfo, DWORD dwSize) {
  if (!HasFeature(LINECALLFEATURE_ANSWER)) return LINEERR_OPERATIONUNAVAIL;
  if (m_pAddr == nullptr || (m_pAddr->GetFlags() & ADDRFLAG_INCOMING) == 0) {
    return LINEERR_OPERATIONUNAVAIL;
  }
  return QueueCallBuffer(REQUEST_LINEANSWER, dwRequestID, lpsUserUserInfo, dwSize);
}

LONG CTSPICallAppearance::BlindTransfer(DRV_REQUESTID dwRequestID, CADObArray* pDialList,
                                        DWORD dwCountryCode) {
  if (!HasFeature(LINECALLFEATURE_BLINDTRANSFER)) return LINEERR_OPERATIONUNAVAIL;
  if (pDialList == nullptr || pDialList->GetSize() != 1) return LINEERR_INVALADDRESS;
  return QueueCallRequest(REQUEST_LINEBLINDTRANSFER, dwRequestID, pDialList, dwCountryCode);
}

LONG CTSPICallAppearance::Dial(DRV_REQUESTID dwRequestID, CADObArray* pDialList,
                               DWORD dwCountryCode) {
  if (!HasFeature(LINECALLFEATURE_DIAL)) return LINEERR_OPERATIONUNAVAIL;
  const LINECALLINFO info = GetCallInfoCopy();
  const CALLIDENTIFIER caller = GetCallerIDInfo();
  // Only an outbound call has the local address as its caller.
  if (m_pAddr != nullptr && info.dwOrigin == LINECALLORIGIN_OUTBOUND &&
      (caller.strPartyId.IsEmpty() || caller.strPartyName.IsEmpty())) {
    SetCallerID(LINECALLPARTYID_ADDRESS | LINECALLPARTYID_NAME, m_pAddr->GetDialableAddress(),
                m_pAddr->GetName());
  }
  const DWORD dwState = GetCallState();
  if (const DIALINFO* pEntry = FirstEntry(pDialList)) {
    if (dwState == LINECALLSTATE_DIALTONE) {
      SetCalledID(PartyFlags(pEntry), pEntry->strNumber, pEntry->strName);
    } else if (dwState == LINECALLSTATE_DIALING) {
      CString strNumber = GetCalledIDInfo().strPartyId;
      strNumber += pEntry->strNumber;
      SetCalledID(PartyFlags(pEntry) | (strNumber.IsEmpty() ? 0 : LINECALLPARTYID_ADDRESS),
                  strNumber, pEntry->strName);
    }
  }
  return QueueCallRequest(REQUEST_LINEDIAL, dwRequestID, pDialList, dwCountryCode);
}

LONG CTSPICallAppearance::Hold(DRV_REQUESTID dwRequestID) {
  if (!HasFeature(LINECALLFEATURE_HOLD)) return LINEERR_OPERATIONUNAVAIL;
  return QueueCallRequest(REQUEST_LINEHOLD, dwRequestID, nullptr);
}

LONG CTSPICallAppearance::SwapHold(DRV_REQUESTID dwRequestID, CTSPICallAppearance* pOtherCall) {
  if (!HasFeature(LINECALLFEATURE_SWAPHOLD)) return LINEERR_OPERATIONUNAVAIL;
  // The record holds the other call for as long as the request may read it.
  auto* pRecord = new TSPISWAPHOLD(pOtherCall);
  const LONG lResult = QueueCallRequest(REQUEST_LINESWAPHOLD, dwRequestID, pRecord);
  if (lResult < 0) delete pRecord;
  return lResult;
}

LONG CTSPICallAppearance::Unhold(DRV_REQUESTID dwRequestID) {
  return QueueCallRequest(REQUEST_LINEUNHOLD, dwRequestID, nullptr);
}

LONG CTSPICallAppearance::SecureCall(DRV_REQUESTID dwRequestID) {
  if (!HasFeature(LINECALLFEATURE_SECURECALL)) return LINEERR_OPERATIONUNAVAIL;
  if ((GetCallInfoCopy().dwCallParamFlags & LINECALLPARAMFLAGS_SECURE) != 0) return 0;
  return QueueCallRequest(REQUEST_LINESECURECALL, dwRequestID, nullptr);
}

LONG CTSPICallAppearance::SendUserUserInfo(DRV_REQUESTID dwRequestID, LPCSTR lpsUserUserInfo,
                                           DWORD dwSize) {
  if (!HasFeature(LINECALLFEATURE_SENDUSERUSER)) return LINEERR_OPERATIONUNAVAIL;
  return QueueCallBuffer(REQUEST_LINESENDUSERUSERINFO, dwRequestID, lpsUserUserInfo, dwSize);
}

LONG CTSPICallAppearance::Park(DRV_REQUESTID dwRequestID, TSPILINEPARK* pPark) {
  if (!HasFeature(LINECALLFEATURE_PARK)) return LINEERR_OPERATIONUNAVAIL;
  if (pPark == nullptr || m_pAddr == nullptr ||
      (m_pAddr->GetAddressCapsCopy().dwParkModes & pPark->dwParkMode) == 0) {
    return LINEERR_INVALPARKMODE;
  }
  // An empty address parses to no entries: a directed park would have nowhere to go.
  if (pPark->dwParkMode == LINEPARKMODE_DIRECTED && pPark->arrAddresses.GetSize() == 0) {
    return LINEERR_INVALADDRESS;
  }
  return QueueCallRequest(REQUEST_LINEPARK, dwRequestID, pPark);
}

LONG CTSPICallAppearance::Unpark(DRV_REQUESTID dwRequestID, CADObArray* pDialList) {
  if (pDialList == nullptr || pDialList->GetSize() == 0) return LINEERR_INVALADDRESS;
  const LONG lResult = QueueCallRequest(REQUEST_LINEUNPARK, dwRequestID, pDialList);
  return (lResult < 0) ? LINEERR_OPERATIONUNAVAIL : lResult;
}

LONG CTSPICallAppearance::Pickup(DRV_REQUESTID dwRequestID, TSPILINEPICKUP* pPickup) {
  if (pPickup != nullptr) {
    if (const DIALINFO* pEntry = FirstEntry(&pPickup->arrAddresses)) {
      SetCallerID(PartyFlags(pEntry), pEntry->strNumber, pEntry->strName);
    }
  }
  return QueueCallRequest(REQUEST_LINEPICKUP, dwRequestID, pPickup);
}

LONG CTSPICallAppearance::Redirect(DRV_REQUESTID dwRequestID, CADObArray* pDialList,
                                   DWORD dwCountryCode) {
  if (!HasFeature(LINECALLFEATURE_REDIRECT)) return LINEERR_OPERATIONUNAVAIL;
  if (m_pAddr != nullptr) {
    SetRedirectingID(LINECALLPARTYID_ADDRESS | LINECALLPARTYID_NAME, m_pAddr->GetDialableAddress(),
                     m_pAddr->GetName());
  }
  const DIALINFO* pEntry = FirstEntry(pDialList);
  if (pEntry == nullptr) return LINEERR_INVALADDRESS;
  SetRedirectionID(PartyFlags(pEntry), pEntry->strNumber, pEntry->strName);
  return QueueCallRequest(REQUEST_LINEREDIRECT, dwRequestID, pDialList, dwCountryCode);
}

LONG CTSPICallAppearance::SetCallParams(DRV_REQUESTID dwRequestID, TSPICALLPARAMS* pCallParams) {
  if (!HasFeature(LINECALLFEATURE_SETCALLPARAMS)) return LINEERR_OPERATIONUNAVAIL;
  return QueueCallRequest(REQUEST_LINESETCALLPARAMS, dwRequestID, pCallParams);
}

LONG CTSPICallAppearance::SetTerminal(DRV_REQUESTID dwRequestID, TSPILINESETTERMINAL* pTerm) {
  if (!HasFeature(LINECALLFEATURE_SETTERMINAL)) return LINEERR_OPERATIONUNAVAIL;
  return QueueCallRequest(REQUEST_LINESETTERMINAL, dwRequestID, pTerm);
}

LONG CTSPICallAppearance::MakeCall(DRV_REQUESTID dwRequestID, TSPIMAKECALL* pMakeCall) {
  if (m_pAddr == nullptr || (m_pAddr->GetFlags() & ADDRFLAG_OUTGOING) == 0) {
    return LINEERR_OPERATIONUNAVAIL;
  }
  CString strCallerName = m_pAddr->GetName();
  const LINECALLPARAMS* lpParams = (pMakeCall != nullptr) ? pMakeCall->lpCallParams : nullptr;
  if (lpParams != nullptr) {
    CString strCallingParty;
    const LONG lRead = ReadCallParamsString(lpParams, lpParams->dwCallingPartyIDSize,
                                            lpParams->dwCallingPartyIDOffset, strCallingParty);
    if (lRead != 0) return lRead;
    if (lpParams->dwCallingPartyIDSize != 0 && lpParams->dwCallingPartyIDOffset != 0) {
      strCallerName = strCallingParty;
    }
  }
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    m_CallInfo.dwOrigin = LINECALLORIGIN_OUTBOUND;
    m_CallInfo.dwReason = LINECALLREASON_DIRECT;
    m_CallInfo.dwCountryCode = (pMakeCall != nullptr) ? pMakeCall->dwCountryCode : 0;
    m_CallInfo.dwCompletionID = 0;
    if (lpParams != nullptr) {
      m_CallInfo.dwMediaMode = lpParams->dwMediaMode;
      m_CallInfo.dwBearerMode = lpParams->dwBearerMode;
      m_CallInfo.dwCallParamFlags = lpParams->dwCallParamFlags;
      m_CallInfo.DialParams = lpParams->DialParams;
    } else {
      m_CallInfo.dwMediaMode = LINEMEDIAMODE_INTERACTIVEVOICE;
      m_CallInfo.dwBearerMode = m_pAddr->GetBearerMode();
    }
    m_CallInfo.dwCallParamFlags |= LINECALLPARAMFLAGS_ORIGOFFHOOK;
  }
  SetCallerID(LINECALLPARTYID_ADDRESS | LINECALLPARTYID_NAME, m_pAddr->GetDialableAddress(),
              strCallerName);
  if (pMakeCall != nullptr) {
    if (const DIALINFO* pEntry = FirstEntry(&pMakeCall->arrAddresses)) {
      SetCalledID(PartyFlags(pEntry), pEntry->strNumber, pEntry->strName);
    }
  }
  return QueueCallRequest(REQUEST_LINEMAKECALL, dwRequestID, pMakeCall);
}

LONG CTSPICallAppearance::CompleteCall(DRV_REQUESTID dwRequestID, LPDWORD lpdwCompletionID,
                                       TSPICOMPLETECALL* pComplete) {
  if (!HasFeature(LINECALLFEATURE_COMPLETECALL)) return LINEERR_OPERATIONUNAVAIL;
  if (pComplete == nullptr || m_pAddr == nullptr) return LINEERR_INVALCALLCOMPLMODE;
  const LINEADDRESSCAPS caps = m_pAddr->GetAddressCapsCopy();
  if ((caps.dwCallCompletionModes & pComplete->dwCompletionMode) == 0) {
    return LINEERR_INVALCALLCOMPLMODE;
  }
  if (pComplete->dwCompletionMode == LINECALLCOMPLMODE_MESSAGE) {
    if (pComplete->dwMessageID > caps.dwNumCompletionMessages) return LINEERR_INVALMESSAGEID;
  } else {
    pComplete->dwMessageID = 0;
  }
  pComplete->pCall = this;
  // IDs are counted per line: TAPI names a completion by its line and this number.
  pComplete->dwCompletionID = GetLineOwner()->NextCompletionID();
  if (lpdwCompletionID != nullptr) *lpdwCompletionID = pComplete->dwCompletionID;
  return QueueCallRequest(REQUEST_LINECOMPLETECALL, dwRequestID, pComplete);
}

LONG CTSPICallAppearance::SetCallQualityOfService(DRV_REQUESTID dwRequestID, TSPIQOS* pQOS) {
  if (!HasFeature(LINECALLFEATURE_SETQOS)) return LINEERR_OPERATIONUNAVAIL;
  return QueueCallRequest(REQUEST_LINESETCALLQUALITYOFSERVICE, dwRequestID, pQOS);
}

LONG CTSPICallAppearance::SetCallTreatment(DRV_REQUESTID dwRequestID, DWORD dwCallTreatment) {
  if (!HasFeature(LINECALLFEATURE_SETTREATMENT)) return LINEERR_OPERATIONUNAVAIL;
  if (m_pAddr == nullptr || m_pAddr->GetCallTreatmentName(dwCallTreatment).IsEmpty()) {
    return LINEERR_INVALPARAM;
  }
  CTSPILineConnection* pLine = GetLineOwner();
  return static_cast<bool>(pLine->QueueRequest(m_pAddr, this, REQUEST_LINESETCALLTREATMENT,
                                               dwRequestID, nullptr, dwCallTreatment))
             ? static_cast<LONG>(dwRequestID)
             : LINEERR_OPERATIONFAILED;
}

LONG CTSPICallAppearance::SetCallData(DRV_REQUESTID dwRequestID, TSPICALLDATA* pCallData) {
  if (!HasFeature(LINECALLFEATURE_SETCALLDATA)) return LINEERR_OPERATIONUNAVAIL;
  if (pCallData == nullptr || m_pAddr == nullptr ||
      pCallData->dwSize > m_pAddr->GetAddressCapsCopy().dwMaxCallDataSize) {
    return LINEERR_INVALPARAM;
  }
  return QueueCallRequest(REQUEST_LINESETCALLDATA, dwRequestID, pCallData);
}

LONG CTSPICallAppearance::ReleaseUserUserInfo() {
  if (!HasFeature(LINECALLFEATURE_RELEASEUSERUSERINFO)) return LINEERR_OPERATIONUNAVAIL;
  bool bReport = false;
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    if (!m_arrUserUserInfo.empty()) m_arrUserUserInfo.erase(m_arrUserUserInfo.begin());
    if (!m_arrUserUserInfo.empty()) {
      bReport = true;
    } else {
      m_CallStatus.dwCallFeatures &= ~LINECALLFEATURE_RELEASEUSERUSERINFO;
    }
  }
  if (bReport) SendCallInfoEvent(LINECALLINFOSTATE_USERUSERINFO);
  return 0;
}

void CTSPICallAppearance::OnRequestComplete(CTSPIRequest* pReq, LONG lResult) {
  CObject* pRecord = pReq->GetRecordObject();
  const WORD wType = pReq->GetType();
  if (wType == REQUEST_LINEDROP) {
    if (lResult == 0) {
      if (CTSPILineConnection* pLine = GetLineOwner()) {
        pLine->CompleteMatchingRequests(this, REQUEST_ANY, LINEERR_OPERATIONFAILED, FALSE, pReq);
      }
    } else {
      ClearFlag(CALLFLAG_DROPPENDING);
    }
    return;
  }
  if (wType == REQUEST_LINEGENERATEDIGITS || wType == REQUEST_LINEGENERATETONE) {
    auto* pGenerate = dynamic_cast<TSPIGENERATE*>(pRecord);
    CTSPILineConnection* pLine = GetLineOwner();
    if (pLine != nullptr) {
      pLine->SendLineEvent(this, LINE_GENERATE,
                           lResult == 0 ? LINEGENERATETERM_DONE : LINEGENERATETERM_CANCEL,
                           pGenerate != nullptr ? pGenerate->dwEndToEndID : 0, GetTickCount());
    }
    return;
  }
  if (lResult != 0) return;
  switch (wType) {
    case REQUEST_LINEACCEPT:
      if (GetCallState() != LINECALLSTATE_IDLE) ChangeCallState(LINECALLSTATE_ACCEPTED, 0, 0);
      break;
    case REQUEST_LINESECURECALL:
      SetCallParamFlags(GetCallInfoCopy().dwCallParamFlags | LINECALLPARAMFLAGS_SECURE);
      break;
    case REQUEST_LINESWAPHOLD:
      if (auto* pSwap = dynamic_cast<TSPISWAPHOLD*>(pRecord)) {
        CTSPICallAppearance* pOther = pSwap->pOtherCall;
        if (pOther != nullptr && pOther == GetRelatedCall() &&
            GetCallType() != CALLTYPE_CONFERENCE && pOther->GetCallType() != CALLTYPE_CONFERENCE) {
          const DWORD dwMine = GetCallType();
          SetCallType(pOther->GetCallType());
          pOther->SetCallType(dwMine);
        }
      }
      break;
    case REQUEST_LINESETCALLPARAMS:
      if (auto* pParams = dynamic_cast<TSPICALLPARAMS*>(pRecord)) {
        SetBearerMode(pParams->dwBearerMode);
        SetDialParams(&pParams->DialParams);
      }
      break;
    case REQUEST_LINESETTERMINAL:
      if (auto* pTerm = dynamic_cast<TSPILINESETTERMINAL*>(pRecord)) {
        if (pTerm->pCall != nullptr) {
          SetTerminalModes(static_cast<int>(pTerm->dwTerminalID), pTerm->dwTerminalModes,
                           pTerm->bEnable);
        }
      }
      break;
    case REQUEST_LINESETMEDIACONTROL:
      SetMediaControl(dynamic_cast<TSPIMEDIACONTROL*>(pRecord));
      break;
    case REQUEST_LINESETCALLTREATMENT:
      StoreCallTreatment(pReq->GetRecordSize());
      break;
    case REQUEST_LINESETCALLDATA:
      if (auto* pData = dynamic_cast<TSPICALLDATA*>(pRecord)) {
        StoreCallData(pData->lpvCallData, pData->dwSize);
      }
      break;
    case REQUEST_LINESETCALLQUALITYOFSERVICE:
      if (auto* pQOS = dynamic_cast<TSPIQOS*>(pRecord)) {
        StoreQualityOfService(pQOS->lpvSendingFlowSpec, pQOS->dwSendingFlowSpecSize,
                              pQOS->lpvReceivingFlowSpec, pQOS->dwReceivingFlowSpecSize);
      }
      break;
    default:
      break;
  }
}
