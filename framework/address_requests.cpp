// CTSPIAddressInfo: the address-level requests (unpark, pickup, set terminal, transfer,
// conference, forward), the check of a forward list and the address's part in a finished
// request. Checks run first; calls are made only once they passed, and removed again when the
// request cannot be queued.
#include <algorithm>

#include "framework/address_info.h"
#include "framework/call_appearance.h"
#include "framework/conference_call.h"
#include "framework/line_connection.h"
#include "framework/media_records.h"
#include "framework/request.h"
#include "framework/request_records.h"
#include "framework/undo_on_throw.h"
#include "platform/afxmt.h"

namespace {

constexpr DWORD kPickupFeatures = 0xF04;
constexpr DWORD kForwardFeatures = 0x3001;

}  // namespace

LONG CTSPIAddressInfo::QueueAddressRequest(CTSPICallAppearance* pCall, WORD wType,
                                           DRV_REQUESTID dwRequestID, CObject* pRecord) {
  if (m_pLine == nullptr) return LINEERR_OPERATIONFAILED;
  return static_cast<bool>(m_pLine->QueueRequest(this, pCall, wType, dwRequestID, pRecord, 0))
             ? static_cast<LONG>(dwRequestID)
             : LINEERR_OPERATIONFAILED;
}

LONG CTSPIAddressInfo::Unpark(DRV_REQUESTID dwRequestID, HTAPICALL htCall,
                              CTSPICallAppearance** ppCall, CADObArray* pDialList) {
  const LINEADDRESSSTATUS status = GetAddressStatusCopy();
  if ((status.dwAddressFeatures & LINEADDRFEATURE_UNPARK) == 0) return LINEERR_OPERATIONUNAVAIL;
  if (status.dwNumActiveCalls >= GetAddressCapsCopy().dwMaxNumActiveCalls) {
    return LINEERR_CALLUNAVAIL;
  }
  CTSPICallAppearance* pCall =
      FindOrCreateCall(htCall, 0, LINECALLORIGIN_UNKNOWN, LINECALLREASON_UNPARK, 0xFFFFFFFF, 0);
  if (pCall == nullptr) return LINEERR_CALLUNAVAIL;
  const LONG lResult = pCall->Unpark(dwRequestID, pDialList);
  if (lResult < 0) {
    RemoveCall(pCall);
  } else if (ppCall != nullptr) {
    *ppCall = pCall;
  }
  return lResult;
}

LONG CTSPIAddressInfo::Pickup(DRV_REQUESTID dwRequestID, HTAPICALL htCall,
                              CTSPICallAppearance** ppCall, TSPILINEPICKUP* pPickup) {
  const LINEADDRESSSTATUS status = GetAddressStatusCopy();
  const LINEADDRESSCAPS caps = GetAddressCapsCopy();
  if ((status.dwAddressFeatures & kPickupFeatures) == 0) return LINEERR_OPERATIONUNAVAIL;
  if (status.dwNumActiveCalls > caps.dwMaxNumActiveCalls) return LINEERR_CALLUNAVAIL;
  if ((caps.dwAddrCapFlags & LINEADDRCAPFLAGS_PICKUPGROUPID) != 0 &&
      (pPickup == nullptr || pPickup->strGroupID.IsEmpty())) {
    return LINEERR_INVALGROUPID;
  }
  CTSPICallAppearance* pCall =
      FindOrCreateCall(htCall, 0, LINECALLORIGIN_UNKNOWN, LINECALLREASON_PICKUP, 0xFFFFFFFF, 0);
  if (pCall == nullptr) return LINEERR_CALLUNAVAIL;
  const LONG lResult = pCall->Pickup(dwRequestID, pPickup);
  if (lResult < 0) {
    RemoveCall(pCall);
  } else if (ppCall != nullptr) {
    *ppCall = pCall;
  }
  return lResult;
}

LONG CTSPIAddressInfo::SetTerminal(DRV_REQUESTID dwRequestID, TSPILINESETTERMINAL* pTerm) {
  if ((GetAddressStatusCopy().dwAddressFeatures & LINEADDRFEATURE_SETTERMINAL) == 0) {
    return LINEERR_OPERATIONUNAVAIL;
  }
  return QueueAddressRequest(nullptr, REQUEST_LINESETTERMINAL, dwRequestID, pTerm);
}

LONG CTSPIAddressInfo::SetupTransfer(DRV_REQUESTID dwRequestID, TSPITRANSFER* pTransfer,
                                     HTAPICALL htConsultCall, CTSPICallAppearance** ppConsultCall) {
  CTSPICallAppearance* pCall = (pTransfer != nullptr) ? pTransfer->pCall.Get() : nullptr;
  if (pCall == nullptr || pCall->GetCallType() == CALLTYPE_CONFERENCE) {
    return LINEERR_OPERATIONUNAVAIL;
  }
  const DWORD dwFlags =
      (pTransfer->lpCallParams != nullptr) ? pTransfer->lpCallParams->dwCallParamFlags : 0;
  CTSPICallAppearance* pConsult = pCall->MakeConsultationCall(htConsultCall, dwFlags);
  if (pConsult == nullptr) return LINEERR_CALLUNAVAIL;
  pTransfer->pConsult = pConsult;
  CTSPIAddressInfo* pAddr = pCall->GetAddressOwner();
  const LONG lResult =
      pAddr->QueueAddressRequest(pCall, REQUEST_LINESETUPTRANSFER, dwRequestID, pTransfer);
  if (lResult < 0) {
    pTransfer->pConsult = nullptr;
    pConsult->GetAddressOwner()->RemoveCall(pConsult);
    return LINEERR_OPERATIONFAILED;
  }
  if (ppConsultCall != nullptr) *ppConsultCall = pConsult;
  return lResult;
}

LONG CTSPIAddressInfo::CompleteTransfer(DRV_REQUESTID dwRequestID, TSPITRANSFER* pTransfer,
                                        HTAPICALL htConfCall, CTSPIConferenceCall** ppConfCall) {
  if (pTransfer == nullptr || pTransfer->pCall == nullptr || pTransfer->pConsult == nullptr) {
    return LINEERR_INVALCALLHANDLE;
  }
  CTSPICallAppearance* pCall = pTransfer->pCall;
  CTSPICallAppearance* pConsult = pTransfer->pConsult;
  if ((pConsult->GetCallFeatures() & LINECALLFEATURE_COMPLETETRANSF) == 0) {
    return LINEERR_OPERATIONUNAVAIL;
  }
  const LINEADDRESSCAPS caps = GetAddressCapsCopy();
  if ((caps.dwAddrCapFlags & LINEADDRCAPFLAGS_TRANSFERMAKE) == 0 &&
      (pConsult->GetCallType() != CALLTYPE_CONSULTATION || pConsult->GetRelatedCall() != pCall)) {
    return LINEERR_INVALCONSULTCALLHANDLE;
  }
  CTSPIConferenceCall* pConf = nullptr;
  if (pTransfer->dwTransferMode == LINETRANSFERMODE_TRANSFER) {
    const DWORD dwState = pCall->GetCallState();
    const bool bHeldOk = dwState == LINECALLSTATE_ONHOLD &&
                         (caps.dwAddrCapFlags & LINEADDRCAPFLAGS_TRANSFERHELD) != 0;
    if (dwState != LINECALLSTATE_ONHOLDPENDTRANSFER && !bHeldOk) return LINEERR_INVALCALLSTATE;
    if ((caps.dwTransferModes & LINETRANSFERMODE_TRANSFER) == 0) return LINEERR_OPERATIONUNAVAIL;
  } else {
    if ((caps.dwTransferModes & LINETRANSFERMODE_CONFERENCE) == 0) {
      return LINEERR_OPERATIONUNAVAIL;
    }
    if (ppConfCall == nullptr) return LINEERR_INVALPOINTER;
    pConf = FindOrCreateConferenceCall(htConfCall);
    if (pConf == nullptr) return LINEERR_CALLUNAVAIL;
    pCall->SetConferenceCall(pConf);
    pConsult->SetConferenceCall(pConf);
    pTransfer->pConf = pConf;
  }
  CTSPIAddressInfo* pAddr = pConsult->GetAddressOwner();
  const LONG lResult =
      pAddr->QueueAddressRequest(pConsult, REQUEST_LINECOMPLETETRANSFER, dwRequestID, pTransfer);
  if (lResult < 0) {
    if (pConf != nullptr) {
      pTransfer->pConf = nullptr;
      pCall->SetConferenceCall(nullptr);
      pConsult->SetConferenceCall(nullptr);
      RemoveCall(pConf);
    }
    return LINEERR_OPERATIONUNAVAIL;
  }
  if (pConf != nullptr && ppConfCall != nullptr) *ppConfCall = pConf;
  return lResult;
}

LONG CTSPIAddressInfo::SetupConference(DRV_REQUESTID dwRequestID, TSPICONFERENCE* pConfRec,
                                       HTAPICALL htConfCall, CTSPIConferenceCall** ppConfCall,
                                       HTAPICALL htConsultCall,
                                       CTSPICallAppearance** ppConsultCall) {
  const LINEADDRESSCAPS caps = GetAddressCapsCopy();
  if ((GetAddressStatusCopy().dwAddressFeatures & LINEADDRFEATURE_SETUPCONF) == 0) {
    return LINEERR_OPERATIONUNAVAIL;
  }
  if (pConfRec == nullptr) return LINEERR_INVALPOINTER;
  const bool bNull = (caps.dwAddrCapFlags & LINEADDRCAPFLAGS_SETUPCONFNULL) != 0;
  if (bNull != (pConfRec->pCall == nullptr)) return LINEERR_INVALCALLHANDLE;
  if (pConfRec->dwPartyCount > caps.dwMaxNumConference) return LINEERR_CONFERENCEFULL;
  CTSPIConferenceCall* pConf = FindOrCreateConferenceCall(htConfCall);
  if (pConf == nullptr) return LINEERR_CALLUNAVAIL;
  CTSPICallAppearance* pConsult = nullptr;
  // Neither call may stay behind holding TAPI's handles when the request is refused, or when a
  // throw comes before it was queued.
  auto removeCalls = [&] {
    CTSPICallAppearance* pCall = pConfRec->pCall;
    if (pCall != nullptr && pCall->GetConferenceCall() == pConf) pCall->SetConferenceCall(nullptr);
    pConfRec->pConfCall = nullptr;
    pConfRec->pConsult = nullptr;
    if (pConsult != nullptr) RemoveCall(pConsult);
    RemoveCall(pConf);
  };
  CUndoOnThrow undo("CTSPIAddressInfo::SetupConference", [&] {
    if (m_pLine == nullptr || !m_pLine->HasRequest(pConf, REQUEST_LINESETUPCONFERENCE)) {
      removeCalls();
    }
  });
  pConsult = FindOrCreateCall(htConsultCall, 0, LINECALLORIGIN_UNKNOWN, LINECALLREASON_UNKNOWN,
                              0xFFFFFFFF, 0);
  if (pConsult == nullptr) {
    RemoveCall(pConf);
    return LINEERR_CALLUNAVAIL;
  }
  pConfRec->pConfCall = pConf;
  pConfRec->pConsult = pConsult;
  pConf->SetConsultationCall(pConsult);
  if (CTSPICallAppearance* pCall = pConfRec->pCall) pCall->SetConferenceCall(pConf);
  const LONG lResult =
      QueueAddressRequest(pConf, REQUEST_LINESETUPCONFERENCE, dwRequestID, pConfRec);
  if (lResult < 0) {
    removeCalls();
    return LINEERR_OPERATIONFAILED;
  }
  if (ppConfCall != nullptr) *ppConfCall = pConf;
  if (ppConsultCall != nullptr) *ppConsultCall = pConsult;
  return lResult;
}

LONG CTSPIAddressInfo::Forward(DRV_REQUESTID dwRequestID, TSPILINEFORWARD* pForward,
                               HTAPICALL htConsultCall, CTSPICallAppearance** ppConsultCall) {
  if ((GetAddressStatusCopy().dwAddressFeatures & kForwardFeatures) == 0) {
    return LINEERR_OPERATIONUNAVAIL;
  }
  CTSPICallAppearance* pConsult = nullptr;
  if ((GetAddressCapsCopy().dwAddrCapFlags & LINEADDRCAPFLAGS_FWDCONSULT) != 0) {
    const DWORD dwFlags = (pForward != nullptr && pForward->lpCallParams != nullptr)
                              ? pForward->lpCallParams->dwCallParamFlags
                              : 0;
    pConsult = FindOrCreateCall(htConsultCall, dwFlags, LINECALLORIGIN_OUTBOUND,
                                LINECALLREASON_DIRECT, 0xFFFFFFFF, 0);
    if (pConsult != nullptr) {
      pConsult->SetCallType(CALLTYPE_CONSULTATION);
      if (pForward != nullptr) pForward->pConsultCall = pConsult;
    }
  }
  if (ppConsultCall != nullptr) *ppConsultCall = pConsult;
  const LONG lResult = QueueAddressRequest(nullptr, REQUEST_LINEFORWARD, dwRequestID, pForward);
  if (lResult < 0) {
    if (pConsult != nullptr) {
      if (pForward != nullptr) pForward->pConsultCall = nullptr;
      RemoveCall(pConsult);
    }
    if (ppConsultCall != nullptr) *ppConsultCall = nullptr;
    return LINEERR_OPERATIONFAILED;
  }
  return lResult;
}

LONG CTSPIAddressInfo::CheckForwardList(TSPILINEFORWARD* pForward, DWORD dwNumAddresses) {
  if (pForward == nullptr) return 0;
  const LINEADDRESSCAPS caps = GetAddressCapsCopy();
  if (dwNumAddresses > 1 && (caps.dwAddrCapFlags & LINEADDRCAPFLAGS_FWDCONSULT) != 0) {
    return LINEERR_RESOURCEUNAVAIL;
  }
  if (static_cast<DWORD>(pForward->arrForwardInfo.GetSize()) > caps.dwMaxForwardEntries) {
    return LINEERR_INVALPARAM;
  }
  if ((caps.dwAddrCapFlags & LINEADDRCAPFLAGS_FWDNUMRINGS) != 0) {
    pForward->dwNumRingsNoAnswer =
        std::clamp(pForward->dwNumRingsNoAnswer, caps.dwMinFwdNumRings,
                   std::max(caps.dwMinFwdNumRings, caps.dwMaxFwdNumRings));
  } else {
    pForward->dwNumRingsNoAnswer = 0;
  }
  DWORD dwSpecific = 0;
  for (INT_PTR i = 0; i < pForward->arrForwardInfo.GetSize(); ++i) {
    const auto* pInfo = static_cast<const TSPIFORWARDINFO*>(pForward->arrForwardInfo[i]);
    if ((pInfo->dwForwardMode & caps.dwForwardModes) == 0) return LINEERR_INVALPARAM;
    dwSpecific += static_cast<DWORD>(pInfo->arrCallerAddress.GetSize());
  }
  if (dwSpecific > caps.dwMaxSpecificEntries) return LINEERR_INVALPARAM;
  return 0;
}

void CTSPIAddressInfo::OnRequestComplete(CTSPIRequest* pReq, LONG lResult) {
  CObject* pRecord = pReq->GetRecordObject();
  // A call made for a request that failed goes again, unless the switch already reported it.
  auto removeUnseen = [](CTSPICallAppearance* pCall) {
    if (pCall != nullptr && (pCall->GetFlags() & CALLFLAG_STATESEEN) == 0) {
      if (CTSPIAddressInfo* pAddr = pCall->GetAddressOwner()) pAddr->RemoveCall(pCall);
    }
  };
  switch (pReq->GetType()) {
    case REQUEST_LINESETTERMINAL:
      if (lResult == 0) {
        if (auto* pTerm = dynamic_cast<TSPILINESETTERMINAL*>(pRecord)) {
          if (pTerm->pAddress != nullptr) {
            SetTerminalModes(static_cast<int>(pTerm->dwTerminalID), pTerm->dwTerminalModes,
                             pTerm->bEnable);
          }
        }
      }
      break;
    case REQUEST_LINEFORWARD:
      if (auto* pForward = dynamic_cast<TSPILINEFORWARD*>(pRecord)) {
        if (lResult == 0) {
          {
            CSingleLock lock(GetSyncObject(), TRUE);
            m_AddressStatus.dwNumRingsNoAnswer = pForward->dwNumRingsNoAnswer;
          }
          ClearForwardInfo();
          {
            CSingleLock lock(GetSyncObject(), TRUE);
            for (INT_PTR i = 0; i < pForward->arrForwardInfo.GetSize(); ++i) {
              auto* pInfo = static_cast<TSPIFORWARDINFO*>(pForward->arrForwardInfo[i]);
              pInfo->AddRef();
              m_arrForward.push_back(pInfo);
            }
          }
          ReportAddressState(LINEADDRESSSTATE_FORWARD);
        } else {
          removeUnseen(pForward->pConsultCall);
        }
      }
      break;
    case REQUEST_LINESETMEDIACONTROL:
      if (lResult == 0 && pReq->GetCall() == nullptr) {
        SetMediaControl(dynamic_cast<TSPIMEDIACONTROL*>(pRecord));
      }
      break;
    case REQUEST_LINECOMPLETETRANSFER:
      if (auto* pTransfer = dynamic_cast<TSPITRANSFER*>(pRecord)) {
        CTSPICallAppearance* pConf = pTransfer->pConf;
        if (pConf == nullptr) break;
        if (lResult == 0) {
          CTSPICallAppearance* pCall = pTransfer->pCall;
          if (pCall != nullptr) {
            if (CTSPICallAppearance* pRelated = pCall->GetRelatedCallRef()) {
              pRelated->ClearRelatedCallIf(pCall);
              pRelated->Release();
            }
            pCall->ClearRelatedCall();
          }
        } else {
          if (pTransfer->pCall != nullptr) pTransfer->pCall->SetConferenceCall(nullptr);
          if (pTransfer->pConsult != nullptr) pTransfer->pConsult->SetConferenceCall(nullptr);
          removeUnseen(pConf);
        }
      }
      break;
    case REQUEST_LINESETUPCONFERENCE:
    case REQUEST_LINEPREPAREADDTOCONFERENCE:
      if (lResult != 0) {
        if (auto* pConf = dynamic_cast<TSPICONFERENCE*>(pRecord)) removeUnseen(pConf->pConsult);
      }
      break;
    case REQUEST_LINEMAKECALL:
    case REQUEST_LINEPICKUP:
    case REQUEST_LINEUNPARK:
      if (lResult != 0) removeUnseen(pReq->GetCall());
      break;
    case REQUEST_LINESETUPTRANSFER:
      if (lResult != 0) {
        if (auto* pTransfer = dynamic_cast<TSPITRANSFER*>(pRecord)) {
          removeUnseen(pTransfer->pConsult);
        }
      }
      break;
    default:
      break;
  }
}
