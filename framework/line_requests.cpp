// CTSPILineConnection: creating and choosing addresses, checking call parameters, the line-level
// requests, call completions, dialog instances and the line's part of a finished request.
#include <algorithm>
#include <cstring>

#include "framework/address_info.h"
#include "framework/call_appearance.h"
#include "framework/conference_call.h"
#include "framework/feature_locks.h"
#include "framework/function_table.h"
#include "framework/line_connection.h"
#include "framework/media_records.h"
#include "framework/record_copies.h"
#include "framework/request.h"
#include "framework/request_records.h"
#include "framework/service_provider.h"
#include "framework/undo_on_throw.h"
#include "platform/afxmt.h"
#include "platform/win32.h"

namespace {

bool IsDigitIn(char ch, LPCSTR pszSet) {
  return ch != '\0' && std::strchr(pszSet, ch) != nullptr;
}

}  // namespace

DWORD CTSPILineConnection::CreateAddress(LPCSTR pszDialableAddress, LPCSTR pszName, BOOL bIncoming,
                                         BOOL bOutgoing, DWORD dwMediaModes, DWORD dwBearerModes,
                                         DWORD dwMinRate, DWORD dwMaxRate,
                                         const LINEDIALPARAMS* lpDialParams,
                                         DWORD dwMaxNumActiveCalls, DWORD dwMaxNumOnHoldCalls,
                                         DWORD dwMaxNumOnHoldPendCalls, DWORD dwMaxNumConference,
                                         DWORD dwMaxNumTransConf) {
  CServiceProvider* pSP = GetSP();
  CRuntimeClass* pClass =
      (pSP != nullptr) ? pSP->GetAddressClass() : RUNTIME_CLASS(CTSPIAddressInfo);
  CObject* pObject = (pClass != nullptr) ? pClass->CreateObject() : nullptr;
  auto* pAddr = dynamic_cast<CTSPIAddressInfo*>(pObject);
  if (pAddr == nullptr) {
    delete pObject;
    return static_cast<DWORD>(-1);
  }
  // One creation at a time; the new address is set up before it is listed, without the line's
  // lock held across its own (the address comes before the line).
  std::lock_guard<std::mutex> creating(m_mxCreateAddress);
  DWORD dwAddressID = 0;
  CString strName;
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    dwAddressID = static_cast<DWORD>(m_arrAddresses.GetSize());
    strName.Format("Address%ld", static_cast<long>(m_LineCaps.dwNumAddresses));
  }
  pAddr->Init(this, dwAddressID, pszDialableAddress, pszName, bIncoming, bOutgoing, dwMediaModes,
              dwBearerModes, dwMinRate, dwMaxRate, dwMaxNumActiveCalls, dwMaxNumOnHoldCalls,
              dwMaxNumOnHoldPendCalls, dwMaxNumConference, dwMaxNumTransConf);
  if (pszName == nullptr) pAddr->SetName(strName);
  CSingleLock lock(GetSyncObject(), TRUE);
  m_arrAddresses.Add(pAddr);
  if (bOutgoing && pSP != nullptr &&
      pSP->IsFunctionAllowed(this, nullptr, nullptr, TSPI_LINEMAKECALL)) {
    m_LineStatus.dwLineFeatures |= LINEFEATURE_MAKECALL;
  }
  m_LineCaps.dwBearerModes |= dwBearerModes;
  m_LineCaps.dwMediaModes |= dwMediaModes;
  m_LineCaps.dwMaxRate = std::max(m_LineCaps.dwMaxRate, dwMaxRate);
  if (lpDialParams != nullptr) {
    LINEDIALPARAMS& lo = m_LineCaps.MinDialParams;
    LINEDIALPARAMS& hi = m_LineCaps.MaxDialParams;
    // A minimum of 0 is one no address has set yet: it takes the first value given.
    auto lower = [](DWORD dwMin, DWORD dwValue) {
      return dwMin == 0 ? dwValue : std::min(dwMin, dwValue);
    };
    lo.dwDialPause = lower(lo.dwDialPause, lpDialParams->dwDialPause);
    lo.dwDialSpeed = lower(lo.dwDialSpeed, lpDialParams->dwDialSpeed);
    lo.dwDigitDuration = lower(lo.dwDigitDuration, lpDialParams->dwDigitDuration);
    lo.dwWaitForDialtone = lower(lo.dwWaitForDialtone, lpDialParams->dwWaitForDialtone);
    hi.dwDialPause = std::max(hi.dwDialPause, lpDialParams->dwDialPause);
    hi.dwDialSpeed = std::max(hi.dwDialSpeed, lpDialParams->dwDialSpeed);
    hi.dwDigitDuration = std::max(hi.dwDigitDuration, lpDialParams->dwDigitDuration);
    hi.dwWaitForDialtone = std::max(hi.dwWaitForDialtone, lpDialParams->dwWaitForDialtone);
  }
  ++m_LineCaps.dwNumAddresses;
  lock.Unlock();
  if (pszName == nullptr) pAddr->NotifyCapsChanged();
  return dwAddressID;
}

CTSPIAddressInfo* CTSPILineConnection::FindAddressForCall(const LINECALLPARAMS* lpCallParams,
                                                          DWORD dwFeatures) {
  for (CTSPIAddressInfo* pAddr : SnapshotAddresses()) {
    const LINEADDRESSCAPS caps = pAddr->GetAddressCapsCopy();
    const LINEADDRESSSTATUS status = pAddr->GetAddressStatusCopy();
    const bool bQualifies = (dwFeatures == 0)
                                ? status.dwNumActiveCalls < caps.dwMaxNumActiveCalls
                                : (status.dwAddressFeatures & dwFeatures) == dwFeatures;
    if (!bQualifies) continue;
    if (lpCallParams == nullptr || pAddr->CheckCallParams(lpCallParams) == 0) return pAddr;
  }
  return nullptr;
}

CTSPIAddressInfo* CTSPILineConnection::FindAddressByDialableAddress(LPCSTR pszAddress) {
  if (pszAddress == nullptr) return nullptr;
  for (CTSPIAddressInfo* pAddr : SnapshotAddresses()) {
    if (pAddr->GetDialableAddress().CompareNoCase(pszAddress) == 0) return pAddr;
  }
  return nullptr;
}

LONG CTSPILineConnection::GetAddressID(LPDWORD lpdwAddressID, DWORD dwAddressMode,
                                       LPCSTR pszAddress, DWORD dwSize) {
  if (dwAddressMode != LINEADDRESSMODE_DIALABLEADDR) return LINEERR_INVALADDRESSMODE;
  if (pszAddress == nullptr) return LINEERR_INVALADDRESS;
  const CString strAddress =
      (dwSize == 0) ? CString(pszAddress)
                    : CString(pszAddress, static_cast<int>(strnlen(pszAddress, dwSize)));
  CTSPIAddressInfo* pAddr = FindAddressByDialableAddress(strAddress);
  if (pAddr == nullptr) return LINEERR_INVALADDRESS;
  if (lpdwAddressID != nullptr) *lpdwAddressID = pAddr->GetAddressID();
  return 0;
}

LONG CTSPILineConnection::CheckCallParams(const LINECALLPARAMS* lpCallParams) {
  if (lpCallParams == nullptr || lpCallParams->dwTotalSize < sizeof(LINECALLPARAMS)) {
    return LINEERR_INVALCALLPARAMS;
  }
  const LINEDEVCAPS caps = GetLineDevCaps();
  if ((lpCallParams->dwBearerMode & ~caps.dwBearerModes) != 0) return LINEERR_INVALBEARERMODE;
  if (caps.dwMaxRate != 0 && lpCallParams->dwMaxRate > caps.dwMaxRate) return LINEERR_INVALRATE;
  if ((lpCallParams->dwMediaMode & ~caps.dwMediaModes) != 0) return LINEERR_INVALMEDIAMODE;
  if (lpCallParams->dwAddressMode == LINEADDRESSMODE_ADDRESSID) {
    CTSPIAddressInfo* pAddr = GetAddress(lpCallParams->dwAddressID);
    if (pAddr == nullptr) return LINEERR_INVALADDRESSID;
    return pAddr->CheckCallParams(lpCallParams);
  }
  if (lpCallParams->dwAddressMode == LINEADDRESSMODE_DIALABLEADDR &&
      lpCallParams->dwOrigAddressSize != 0) {
    CString strOrig;
    const LONG lRead = ReadCallParamsString(lpCallParams, lpCallParams->dwOrigAddressSize,
                                            lpCallParams->dwOrigAddressOffset, strOrig);
    if (lRead != 0) return lRead;
    if (CTSPIAddressInfo* pAddr = FindAddressByDialableAddress(strOrig)) {
      return pAddr->CheckCallParams(lpCallParams);
    }
  }
  for (CTSPIAddressInfo* pAddr : SnapshotAddresses()) {
    if (pAddr->CheckCallParams(lpCallParams) == 0) return 0;
  }
  return LINEERR_INVALCALLPARAMS;
}

LONG CTSPILineConnection::MakeCall(DRV_REQUESTID dwRequestID, HTAPICALL htCall,
                                   CTSPICallAppearance** ppCall, TSPIMAKECALL* pMakeCall) {
  if (ppCall != nullptr) *ppCall = nullptr;
  {
    // The line's lock covers the checks only: the address and the call come before the line.
    // A make-call that passes holds a reservation until its request is queued or refused, so
    // that a second one cannot pass in between.
    CSingleLock lock(GetSyncObject(), TRUE);
    if ((m_LineStatus.dwLineFeatures & LINEFEATURE_MAKECALL) == 0) {
      return LINEERR_OPERATIONUNAVAIL;
    }
    if (m_nActiveCalls < static_cast<int>(m_LineCaps.dwMaxNumActiveCalls)) {
      if (m_nMakeCallsReserved > 0) return LINEERR_RESOURCEUNAVAIL;
      // A look that marks nothing: a queued request must stay "not yet fetched" for the
      // sweep that fails it when its call goes IDLE.
      if (HasRequest(nullptr, REQUEST_LINEMAKECALL)) return LINEERR_RESOURCEUNAVAIL;
    }
    ++m_nMakeCallsReserved;
  }
  struct Reservation {
    CTSPILineConnection* pLine;
    ~Reservation() {
      CSingleLock lock(pLine->GetSyncObject(), TRUE);
      --pLine->m_nMakeCallsReserved;
    }
  } reservation{this};
  const LINECALLPARAMS* lpParams = (pMakeCall != nullptr) ? pMakeCall->lpCallParams : nullptr;
  CTSPIAddressInfo* pAddr = nullptr;
  LONG lNoCall = LINEERR_CALLUNAVAIL;
  if (lpParams != nullptr) {
    if (lpParams->dwAddressMode == LINEADDRESSMODE_ADDRESSID) {
      pAddr = GetAddress(lpParams->dwAddressID);
      if (pAddr == nullptr) return LINEERR_INVALADDRESSID;
      lNoCall = LINEERR_INVALADDRESSID;
    } else if (lpParams->dwAddressMode == LINEADDRESSMODE_DIALABLEADDR) {
      if (lpParams->dwOrigAddressSize == 0 || lpParams->dwOrigAddressOffset == 0) {
        return LINEERR_INVALADDRESS;
      }
      CString strOrig;
      const LONG lRead = ReadCallParamsString(lpParams, lpParams->dwOrigAddressSize,
                                              lpParams->dwOrigAddressOffset, strOrig);
      if (lRead != 0) return lRead;
      pAddr = FindAddressByDialableAddress(strOrig);
      if (pAddr == nullptr) return LINEERR_INVALADDRESS;
      lNoCall = LINEERR_INVALADDRESS;
    } else {
      return LINEERR_INVALADDRESSID;
    }
    if ((pAddr->GetAddressStatusCopy().dwAddressFeatures & LINEADDRFEATURE_MAKECALL) == 0) {
      return LINEERR_CALLUNAVAIL;
    }
  } else {
    pAddr = FindAddressForCall(nullptr, LINEADDRFEATURE_MAKECALL);
    if (pAddr == nullptr) return LINEERR_CALLUNAVAIL;
  }
  CTSPICallAppearance* pCall = pAddr->FindOrCreateCall(htCall, 0, LINECALLORIGIN_UNKNOWN,
                                                       LINECALLREASON_UNKNOWN, 0xFFFFFFFF, 0);
  if (pCall == nullptr) return lNoCall;
  // A throw before the request was queued leaves no call behind with TAPI's handle.
  CUndoOnThrow undo("CTSPILineConnection::MakeCall", [&] {
    if (ppCall != nullptr) *ppCall = nullptr;
    if (!HasRequest(pCall, REQUEST_LINEMAKECALL)) pAddr->RemoveCall(pCall);
  });
  if (ppCall != nullptr) *ppCall = pCall;
  const LONG lResult = pCall->MakeCall(dwRequestID, pMakeCall);
  if (lResult == static_cast<LONG>(dwRequestID)) return lResult;
  // Whichever way the address was chosen, the call made for the refused request goes again.
  pAddr->RemoveCall(pCall);
  if (ppCall != nullptr) *ppCall = nullptr;
  return lResult;
}

LONG CTSPILineConnection::ConditionalMediaDetection(DWORD dwMediaModes,
                                                    const LINECALLPARAMS* lpCallParams) {
  if (lpCallParams == nullptr) return LINEERR_INVALCALLPARAMS;
  LPLINECALLPARAMS lpCopy = nullptr;
  const LONG lCopy = CopyCallParams(lpCallParams, &lpCopy);
  if (lCopy != 0) return lCopy;
  lpCopy->dwMediaMode = dwMediaModes;
  if (lpCopy->dwAddressMode == LINEADDRESSMODE_ADDRESSID) lpCopy->dwAddressMode = 0;
  CServiceProvider* pSP = GetSP();
  const LONG lResult = (pSP != nullptr) ? pSP->ApplyCallParamDefaults(this, lpCopy) : 0;
  FreeBuffer(lpCopy);
  return (lResult < 0) ? lResult : 0;
}

LONG CTSPILineConnection::SetDefaultMediaDetection(DWORD dwMediaModes) {
  CSingleLock lock(GetSyncObject(), TRUE);
  if ((dwMediaModes & ~m_LineCaps.dwMediaModes) != 0) return LINEERR_INVALMEDIAMODE;
  m_dwDefaultMediaDetection = dwMediaModes;
  return 0;
}

LONG CTSPILineConnection::CheckMediaControl(TSPIMEDIACONTROL* pMC) {
  const LINEDEVCAPS caps = GetLineDevCaps();
  if ((caps.dwDevCapFlags & LINEDEVCAPFLAGS_MEDIACONTROL) == 0) return LINEERR_OPERATIONUNAVAIL;
  if (pMC == nullptr) return 0;
  if (static_cast<DWORD>(pMC->arrDigits.GetSize()) > caps.dwMedCtlDigitMaxListSize) {
    return LINEERR_INVALDIGITLIST;
  }
  for (INT_PTR i = 0; i < pMC->arrDigits.GetSize(); ++i) {
    const auto* pEntry = static_cast<const LINEMEDIACONTROLDIGIT*>(pMC->arrDigits[i]);
    const DWORD dwModes = pEntry->dwDigitModes;
    const char ch = static_cast<char>(pEntry->dwDigit);
    if ((dwModes & ~caps.dwMonitorDigitModes) != 0) return LINEERR_INVALDIGITLIST;
    if ((dwModes & (LINEDIGITMODE_DTMF | LINEDIGITMODE_DTMFEND)) != 0) {
      if (!IsDigitIn(ch, "0123456789ABCD*#")) return LINEERR_INVALDIGITLIST;
    } else if ((dwModes & LINEDIGITMODE_PULSE) != 0) {
      if (!IsDigitIn(ch, "0123456789")) return LINEERR_INVALDIGITLIST;
    } else {
      return LINEERR_INVALDIGITLIST;
    }
  }
  if (static_cast<DWORD>(pMC->arrMedia.GetSize()) > caps.dwMedCtlMediaMaxListSize) {
    return LINEERR_INVALMEDIALIST;
  }
  for (INT_PTR i = 0; i < pMC->arrMedia.GetSize(); ++i) {
    const auto* pEntry = static_cast<const LINEMEDIACONTROLMEDIA*>(pMC->arrMedia[i]);
    if ((pEntry->dwMediaModes & ~caps.dwMediaModes) != 0) return LINEERR_INVALMEDIALIST;
  }
  if (static_cast<DWORD>(pMC->arrTones.GetSize()) > caps.dwMedCtlToneMaxListSize) {
    return LINEERR_INVALTONELIST;
  }
  for (INT_PTR i = 0; i < pMC->arrTones.GetSize(); ++i) {
    const auto* pTone = static_cast<const LINEMEDIACONTROLTONE*>(pMC->arrTones[i]);
    const DWORD dwFreqs =
        (pTone->dwFrequency1 != 0) + (pTone->dwFrequency2 != 0) + (pTone->dwFrequency3 != 0);
    if (dwFreqs > caps.dwMonitorToneMaxNumFreq) return LINEERR_INVALTONELIST;
  }
  if (static_cast<DWORD>(pMC->arrCallStates.GetSize()) > caps.dwMedCtlCallStateMaxListSize) {
    return LINEERR_INVALCALLSTATELIST;
  }
  return 0;
}

void CTSPILineConnection::SetMediaControl(TSPIMEDIACONTROL* pMediaControl) {
  for (CTSPIAddressInfo* pAddr : SnapshotAddresses()) pAddr->SetMediaControl(pMediaControl);
}

LONG CTSPILineConnection::Forward(DRV_REQUESTID dwRequestID, CTSPIAddressInfo* pAddr,
                                  TSPILINEFORWARD* pForward, HTAPICALL htConsultCall,
                                  CTSPICallAppearance** ppConsultCall) {
  if (pAddr != nullptr) {
    const LONG lCheck = pAddr->CheckForwardList(pForward, 0);
    if (lCheck < 0) return lCheck;
    return pAddr->Forward(dwRequestID, pForward, htConsultCall, ppConsultCall);
  }
  if ((GetLineDevStatus().dwLineFeatures &
       (LINEFEATURE_FORWARD | LINEFEATURE_FORWARDFWD | LINEFEATURE_FORWARDDND)) == 0) {
    return LINEERR_OPERATIONUNAVAIL;
  }
  const DWORD dwCount = GetAddressCount();
  for (CTSPIAddressInfo* pEach : SnapshotAddresses()) {
    const LONG lCheck = pEach->CheckForwardList(pForward, dwCount);
    if (lCheck < 0) return lCheck;
  }
  if (ppConsultCall != nullptr) *ppConsultCall = nullptr;
  return static_cast<bool>(
             QueueRequest(nullptr, nullptr, REQUEST_LINEFORWARD, dwRequestID, pForward, 0))
             ? static_cast<LONG>(dwRequestID)
             : LINEERR_OPERATIONFAILED;
}

LONG CTSPILineConnection::SetTerminal(DRV_REQUESTID dwRequestID, TSPILINESETTERMINAL* pTerm) {
  if ((GetLineDevStatus().dwLineFeatures & LINEFEATURE_SETTERMINAL) == 0) {
    return LINEERR_OPERATIONUNAVAIL;
  }
  return static_cast<bool>(
             QueueRequest(nullptr, nullptr, REQUEST_LINESETTERMINAL, dwRequestID, pTerm, 0))
             ? static_cast<LONG>(dwRequestID)
             : LINEERR_OPERATIONFAILED;
}

LONG CTSPILineConnection::SetLineDevStatus(DRV_REQUESTID dwRequestID, DWORD dwStatusToChange,
                                           BOOL bOn) {
  if ((GetLineDevStatus().dwLineFeatures & LINEFEATURE_SETDEVSTATUS) == 0) {
    return LINEERR_OPERATIONUNAVAIL;
  }
  if ((dwStatusToChange & GetLineDevCaps().dwSettableDevStatus) == 0) return LINEERR_INVALPARAM;
  return static_cast<bool>(
             QueueRequest(nullptr, nullptr, REQUEST_LINESETLINEDEVSTATUS, dwRequestID,
                          reinterpret_cast<LPVOID>(static_cast<DWORD_PTR>(dwStatusToChange)),
                          static_cast<DWORD>(bOn)))
             ? static_cast<LONG>(dwRequestID)
             : LINEERR_OPERATIONFAILED;
}

LONG CTSPILineConnection::UncompleteCall(DRV_REQUESTID dwRequestID, DWORD dwCompletionID) {
  TSPICOMPLETECALL* pEntry = FindCompletion(dwCompletionID);
  if (pEntry == nullptr) return LINEERR_INVALCOMPLETIONID;
  return static_cast<bool>(QueueRequest(nullptr, nullptr, REQUEST_LINEUNCOMPLETECALL, dwRequestID,
                                        static_cast<LPVOID>(pEntry), 0))
             ? static_cast<LONG>(dwRequestID)
             : LINEERR_OPERATIONFAILED;
}

DWORD CTSPILineConnection::NextCompletionID() {
  DWORD dwID = 0;
  while (dwID == 0) dwID = m_dwNextCompletionID.fetch_add(1) + 1;
  return dwID;
}

TSPICOMPLETECALL* CTSPILineConnection::FindCompletion(DWORD dwCompletionID) {
  CSingleLock lock(GetSyncObject(), TRUE);
  for (POSITION pos = m_lstCompletions.GetHeadPosition(); pos != nullptr;) {
    auto* pEntry = static_cast<TSPICOMPLETECALL*>(m_lstCompletions.GetNext(pos));
    if (pEntry->dwCompletionID == dwCompletionID) return pEntry;
  }
  return nullptr;
}

TSPICOMPLETECALL* CTSPILineConnection::FindCompletionByCall(CTSPICallAppearance* pCall) {
  CSingleLock lock(GetSyncObject(), TRUE);
  for (POSITION pos = m_lstCompletions.GetHeadPosition(); pos != nullptr;) {
    auto* pEntry = static_cast<TSPICOMPLETECALL*>(m_lstCompletions.GetNext(pos));
    if (pEntry->pCall.Get() == pCall) return pEntry;
  }
  return nullptr;
}

void CTSPILineConnection::RemoveCompletion(DWORD dwCompletionID, BOOL bNotify) {
  TSPICOMPLETECALL* pEntry = nullptr;
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    for (POSITION pos = m_lstCompletions.GetHeadPosition(); pos != nullptr;) {
      const POSITION posThis = pos;
      auto* pCandidate = static_cast<TSPICOMPLETECALL*>(m_lstCompletions.GetNext(pos));
      if (pCandidate->dwCompletionID == dwCompletionID) {
        m_lstCompletions.RemoveAt(posThis);
        pEntry = pCandidate;
        if (m_LineStatus.dwNumCallCompletions > 0) --m_LineStatus.dwNumCallCompletions;
        break;
      }
    }
  }
  if (pEntry == nullptr) return;
  CServiceProvider* pSP = GetSP();
  if (bNotify && pSP != nullptr && pSP->GetSupportedVersion() >= TAPIVER_14 &&
      pSP->GetTSPIVersion() >= TAPIVER_14 && GetNegotiatedVersion() >= TAPIVER_14) {
    ReportLineDevState(LINEDEVSTATE_COMPLCANCEL, dwCompletionID, 0);
  }
  ReportLineDevState(LINEDEVSTATE_NUMCOMPLETIONS, 0, 0);
  delete pEntry;
}

void CTSPILineConnection::OnRequestComplete(CTSPIRequest* pReq, LONG lResult) {
  CObject* pRecord = pReq->GetRecordObject();
  switch (pReq->GetType()) {
    case REQUEST_LINESETTERMINAL:
      if (lResult == 0) {
        if (auto* pTerm = dynamic_cast<TSPILINESETTERMINAL*>(pRecord)) {
          SetTerminalModes(static_cast<int>(pTerm->dwTerminalID), pTerm->dwTerminalModes,
                           pTerm->bEnable);
        }
      }
      break;
    case REQUEST_LINEFORWARD:
      if (pReq->GetAddress() == nullptr) {
        for (CTSPIAddressInfo* pAddr : SnapshotAddresses()) pAddr->OnRequestComplete(pReq, lResult);
      }
      break;
    case REQUEST_LINECOMPLETECALL:
      if (lResult == 0) {
        if (auto* pComplete = dynamic_cast<TSPICOMPLETECALL*>(pRecord)) {
          auto* pCopy = new TSPICOMPLETECALL(*pComplete);
          if (pCopy->dwCompletionMode != LINECALLCOMPLMODE_CAMPON) pCopy->pCall = nullptr;
          {
            CSingleLock lock(GetSyncObject(), TRUE);
            m_lstCompletions.AddTail(pCopy);
            ++m_LineStatus.dwNumCallCompletions;
          }
          ReportLineDevState(LINEDEVSTATE_NUMCOMPLETIONS, 0, 0);
        }
      }
      break;
    case REQUEST_LINEUNCOMPLETECALL:
      if (lResult == 0) {
        // The record is the line's own entry: it is read only once found in the list.
        DWORD dwCompletionID = 0;
        {
          CSingleLock lock(GetSyncObject(), TRUE);
          for (POSITION pos = m_lstCompletions.GetHeadPosition(); pos != nullptr;) {
            CObject* pEntry = m_lstCompletions.GetNext(pos);
            if (pEntry == pReq->GetRecord()) {
              dwCompletionID = static_cast<TSPICOMPLETECALL*>(pEntry)->dwCompletionID;
            }
          }
        }
        if (dwCompletionID != 0) RemoveCompletion(dwCompletionID, FALSE);
      }
      break;
    case REQUEST_LINESETMEDIACONTROL:
      if (lResult == 0 && pReq->GetAddress() == nullptr && pReq->GetCall() == nullptr) {
        SetMediaControl(dynamic_cast<TSPIMEDIACONTROL*>(pRecord));
      }
      break;
    default:
      break;
  }
}

HTAPIDIALOGINSTANCE CTSPILineConnection::OpenDialogInstance(DRV_REQUESTID dwRequestID,
                                                            LPVOID lpParams, DWORD dwSize,
                                                            LPCSTR pszUIDLLName) {
  CString strName;
  if (pszUIDLLName != nullptr) {
    strName = pszUIDLLName;
  } else {
    char szDir[512] = {};
    GetSystemDirectoryA(szDir, sizeof(szDir));
    strName = szDir;
    // This platform's separator, so that a loader can open the path as it is named.
    if (strName.IsEmpty() || strName[strName.GetLength() - 1] != '/') strName += "/";
    CServiceProvider* pSP = GetSP();
    strName += (pSP != nullptr && pSP->m_pszAppName != nullptr) ? pSP->m_pszAppName : "";
  }
  std::vector<WCHAR> wide(static_cast<size_t>(strName.GetLength()) + 1, 0);
  MultiByteToWideChar(CP_ACP, 0, strName, -1, wide.data(), static_cast<int>(wide.size()));
  auto* pEntry = new TSPIDIALOGINSTANCE;
  TUISPICREATEDIALOGINSTANCEPARAMS params{};
  params.dwRequestID = dwRequestID;
  params.hdDlgInst = reinterpret_cast<HDRVDIALOGINSTANCE>(pEntry);
  params.htDlgInst = 0;
  params.lpszUIDLLName = wide.data();
  params.lpParams = lpParams;
  params.dwSize = dwSize;
  SendLineEvent(nullptr, LINE_CREATEDIALOGINSTANCE, reinterpret_cast<DWORD_PTR>(&params), 0, 0);
  if (params.htDlgInst == 0) {
    delete pEntry;
    return 0;
  }
  pEntry->dwRequestID = dwRequestID;
  pEntry->htDlgInst = params.htDlgInst;
  pEntry->pLine = this;
  CSingleLock lock(GetSyncObject(), TRUE);
  m_arrDialogInstances.Add(pEntry);
  return params.htDlgInst;
}

LONG CTSPILineConnection::FreeDialogInstance(HTAPIDIALOGINSTANCE htDlgInst) {
  CSingleLock lock(GetSyncObject(), TRUE);
  for (INT_PTR i = 0; i < m_arrDialogInstances.GetSize(); ++i) {
    auto* pEntry = static_cast<TSPIDIALOGINSTANCE*>(m_arrDialogInstances[i]);
    if (pEntry->htDlgInst == htDlgInst) {
      m_arrDialogInstances.RemoveAt(i);
      delete pEntry;
      break;
    }
  }
  return 0;
}

TSPIDIALOGINSTANCE* CTSPILineConnection::FindDialogInstance(HDRVDIALOGINSTANCE hdDlgInst) {
  CSingleLock lock(GetSyncObject(), TRUE);
  for (INT_PTR i = 0; i < m_arrDialogInstances.GetSize(); ++i) {
    if (m_arrDialogInstances[i] == static_cast<void*>(hdDlgInst)) {
      return static_cast<TSPIDIALOGINSTANCE*>(m_arrDialogInstances[i]);
    }
  }
  return nullptr;
}

BOOL CTSPILineConnection::CanJoinConference(CTSPICallAppearance* pCall) {
  CTSPIAddressInfo* pOwn = pCall->GetAddressOwner();
  auto holdsConference = [&](CTSPIAddressInfo* pAddr) {
    CSingleLock lock(pAddr->GetSyncObject());
    if (!CFeatureLockScope::Lock(lock)) return false;
    for (INT_PTR i = 0; CTSPICallAppearance* pOther = pAddr->GetCallAt(i); ++i) {
      const DWORD dwState = pOther->GetCallState();
      if (pOther != pCall && pOther->GetCallType() == CALLTYPE_CONFERENCE &&
          dwState != LINECALLSTATE_IDLE && dwState != LINECALLSTATE_DISCONNECTED) {
        return true;
      }
    }
    return false;
  };
  if (pOwn != nullptr && holdsConference(pOwn)) return TRUE;
  {
    CSingleLock lock(GetSyncObject());
    if (!CFeatureLockScope::Lock(lock)) return FALSE;
    if ((m_LineCaps.dwDevCapFlags & LINEDEVCAPFLAGS_CROSSADDRCONF) == 0) return FALSE;
  }
  for (CTSPIAddressInfo* pAddr : SnapshotAddresses()) {
    if (pAddr != pOwn && holdsConference(pAddr)) return TRUE;
  }
  return FALSE;
}

BOOL CTSPILineConnection::CanCompleteTransfer(CTSPICallAppearance* pCall) {
  constexpr DWORD kStates = LINECALLSTATE_RINGBACK | LINECALLSTATE_BUSY | LINECALLSTATE_CONNECTED |
                            LINECALLSTATE_PROCEEDING;
  if (CTSPICallAppearance* pRelated = pCall->GetRelatedCallRef()) {
    const bool bReady = (pRelated->GetCallState() & kStates) != 0;
    pRelated->Release();
    return bReady ? TRUE : FALSE;
  }
  for (CTSPIAddressInfo* pAddr : SnapshotAddresses()) {
    LINEADDRESSCAPS caps{};
    LINEADDRESSSTATUS status{};
    if (!pAddr->TryGetAddressCaps(caps, status, CFeatureLockScope::Active())) {
      CFeatureLockScope::NoteMissed();
      continue;
    }
    if ((caps.dwAddrCapFlags & LINEADDRCAPFLAGS_TRANSFERMAKE) == 0) continue;
    CSingleLock lock(pAddr->GetSyncObject());
    if (!lock.Lock(CFeatureLockScope::Active() ? 0 : 100)) {
      if (CFeatureLockScope::Active()) CFeatureLockScope::NoteMissed();
      continue;
    }
    if (pAddr->FindCallByState(kStates, pCall) != nullptr) return TRUE;
  }
  return FALSE;
}

CTSPICallAppearance* CTSPILineConnection::FindCallByState(DWORD dwStateMask,
                                                          CTSPICallAppearance* pExcept) {
  for (CTSPIAddressInfo* pAddr : SnapshotAddresses()) {
    BOOL bMissed = FALSE;
    CTSPICallAppearance* pFound =
        pAddr->FindCallByState(dwStateMask, pExcept, CFeatureLockScope::Active(), &bMissed);
    if (bMissed) CFeatureLockScope::NoteMissed();
    if (pFound != nullptr) return pFound;
  }
  return nullptr;
}
