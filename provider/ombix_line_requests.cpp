// COmbixLine: the TAPI requests it sends to the switch and the responses that complete them.
//
// Threads: a request starts on the thread that queued it or on the thread that completed the one
// before (often the link's worker); responses arrive on the worker; a make-call's hold wait ends
// on the provider's timer thread. The notes of sent messages and the waiting make-call change
// under the line's lock, and each message is noted and sent under it, so the notes keep the send
// order; no request is completed while it is held.
#include <utility>

#include "framework/address_info.h"
#include "framework/call_appearance.h"
#include "framework/conference_call.h"
#include "framework/dial_info.h"
#include "framework/request_records.h"
#include "framework/service_provider.h"
#include "provider/ombix_call.h"
#include "provider/ombix_device.h"
#include "provider/ombix_line.h"
#include "switchapi/ombix_message_types.h"
#include "switchapi/ombix_values.h"

namespace {

// A make-call whose hold of the active call is out; the make-call itself is not yet sent.
constexpr int kStateHoldWait = STATE_STARTED + 1;

CString FirstNumber(const CADObArray* pArr) {
  if (pArr == nullptr || pArr->GetSize() == 0) return CString();
  const auto* pInfo = dynamic_cast<const DIALINFO*>(pArr->GetAt(0));
  return pInfo != nullptr ? pInfo->strNumber : CString();
}

CString FilterNumber(const CString& strNumber, LPCSTR pszExtra) {
  CServiceProvider* pSP = GetSP();
  return pSP != nullptr ? pSP->FilterDialChars(strNumber, pszExtra)
                        : FilterDialChars(strNumber, pszExtra);
}

template <typename T>
T* RecordOf(CTSPIRequest* pReq) {
  return dynamic_cast<T*>(pReq->GetRecordObject());
}

}  // namespace

LONG COmbixLine::MapError(DWORD dwError) {
  switch (dwError) {
    case 0:
      return 0;
    case OMBIX_ERROR_INVALID_PASSWORD:
      return LINEERR_INVALPASSWORD;
    case OMBIX_ERROR_INVALID_CALL:
      return LINEERR_INVALCALLHANDLE;
    case OMBIX_ERROR_INVALID_STATE:
    case OMBIX_ERROR_RESOURCE_BUSY:
    case OMBIX_ERROR_NO_DIALTONE:
      return LINEERR_INVALCALLSTATE;
    case OMBIX_ERROR_INVALID_QUEUE:
    case OMBIX_ERROR_INVALID_AGENT:
    case OMBIX_ERROR_INVALID_ADDRESS:
    case OMBIX_ERROR_INVALID_PARAMETER:
    case OMBIX_ERROR_INVALID_NUMBER:
      return LINEERR_INVALPARAM;
    case OMBIX_ERROR_PERMISSION_DENIED:
    case OMBIX_ERROR_CONFERENCE_FAILURE:
    case OMBIX_ERROR_NOT_SUPPORTED:
    case OMBIX_ERROR_FEATURE_NOT_ENABLED:
      return LINEERR_OPERATIONUNAVAIL;
    case OMBIX_ERROR_OUT_OF_SERVICE:
    case OMBIX_ERROR_NO_CALL_TO_ANSWER:
    case OMBIX_ERROR_NO_CALL_TO_PICKUP:
    case OMBIX_ERROR_CREATE_CALL_FAILED:
      return LINEERR_CALLUNAVAIL;
    default:
      return LINEERR_OPERATIONFAILED;
  }
}

DWORD COmbixLine::CallOptionsFromParams(const LINECALLPARAMS* lpCallParams) {
  DWORD dwOptions = CALL_OPTION_NETWORK_PREFIX;
  if (lpCallParams == nullptr) return dwOptions;
  if ((lpCallParams->dwCallParamFlags & LINECALLPARAMFLAGS_BLOCKID) != 0)
    dwOptions |= CALL_OPTION_BLOCK_CALLERID;
  if ((lpCallParams->dwCallParamFlags & LINECALLPARAMFLAGS_DESTOFFHOOK) != 0)
    dwOptions |= CALL_OPTION_INTERCOM;
  return dwOptions;
}

LONG COmbixLine::MakeCall(DRV_REQUESTID dwRequestID, HTAPICALL htCall, CTSPICallAppearance** ppCall,
                          TSPIMAKECALL* pMakeCall) {
  if (ppCall != nullptr) *ppCall = nullptr;
  DWORD dwError = GetLineError();
  if (dwError != 0) {
    OpenDialogInstance(dwRequestID, &dwError, sizeof(dwError));
    return LINEERR_INVALLINESTATE;
  }
  if (IsOutOfService()) return LINEERR_INVALLINESTATE;
  return CTSPILineConnection::MakeCall(dwRequestID, htCall, ppCall, pMakeCall);
}

BOOL COmbixLine::ProcessData(DWORD dwData, LPCVOID lpBuff, DWORD dwSize) {
  if (dwData != 0 || lpBuff != nullptr || dwSize != 0)
    return CTSPILineConnection::ProcessData(dwData, lpBuff, dwSize);
  CTSPIRequestPtr pReq = FetchRequestToStart();
  if (!pReq) return FALSE;
  StartRequest(pReq.Get());
  return TRUE;
}

BOOL COmbixLine::CheckLineUsable(CTSPIRequest* pReq) {
  DWORD dwError = GetLineError();
  if (dwError != 0) {
    OpenDialogInstance(pReq->GetRequestID(), &dwError, sizeof(dwError));
    CompleteRequest(pReq, LINEERR_INVALLINESTATE);
    return FALSE;
  }
  if (IsOutOfService()) {
    CompleteRequest(pReq, LINEERR_INVALLINESTATE);
    return FALSE;
  }
  return TRUE;
}

bool COmbixLine::SendFor(CTSPIRequest* pReq, DWORD dwRspType, bool bOwn, const SendFn& fnSend) {
  if (COmbixDevice* pDevice = GetOmbixDevice()) {
    // A lost link that comes after the note fails the request through it, one that came before
    // refuses it here.
    CSingleLock lock(GetSyncObject(), TRUE);
    if (!IsOutOfService()) {
      m_lstSent.push_back(OMBIXSENT{dwRspType, CTSPIRequestPtr::Share(pReq), bOwn});
      fnSend(*pDevice, GetDeviceID(), m_strDeviceString);
      return true;
    }
  }
  CompleteRequest(pReq, LINEERR_OPERATIONFAILED);
  return false;
}

void COmbixLine::SendOwn(DWORD dwRspType, const SendFn& fnSend) {
  COmbixDevice* pDevice = GetOmbixDevice();
  if (pDevice == nullptr) return;
  CSingleLock lock(GetSyncObject(), TRUE);
  // The link drops what it cannot send, and the lost link's drop of the notes comes after it
  // went down: a note taken while it is up is either answered or dropped.
  if (!pDevice->IsConnected()) return;
  m_lstSent.push_back(OMBIXSENT{dwRspType, CTSPIRequestPtr(), true});
  fnSend(*pDevice, GetDeviceID(), m_strDeviceString);
}

void COmbixLine::StartRequest(CTSPIRequest* pReq) {
  const WORD wType = pReq->GetType();
  switch (wType) {
    case REQUEST_LINEADDTOCONFERENCE:
    case REQUEST_LINEANSWER:
    case REQUEST_LINEBLINDTRANSFER:
    case REQUEST_LINECOMPLETETRANSFER:
    case REQUEST_LINEDIAL:
    case REQUEST_LINEDROP:
    case REQUEST_LINEFORWARD:
    case REQUEST_LINEHOLD:
    case REQUEST_LINEMAKECALL:
    case REQUEST_LINEPARK:
    case REQUEST_LINEPICKUP:
    case REQUEST_LINEREDIRECT:
    case REQUEST_LINEREMOVEFROMCONFERENCE:
    case REQUEST_LINESETUPCONFERENCE:
    case REQUEST_LINESETUPTRANSFER:
    case REQUEST_LINESWAPHOLD:
    case REQUEST_LINEUNHOLD:
    case REQUEST_LINEUNPARK:
      break;
    default:
      CompleteRequest(pReq, LINEERR_OPERATIONUNAVAIL);
      return;
  }
  if (!CheckLineUsable(pReq)) return;

  CTSPICallAppearance* pCall = pReq->GetCall();
  const ObjectId oidCall = OmbixCallId(pCall);
  auto send = [&](DWORD dwRspType, const SendFn& fn) { SendFor(pReq, dwRspType, false, fn); };
  // A request whose row lacks a call (or the number it needs) has nothing to send.
  auto nothingToSend = [&] { CompleteRequest(pReq, LINEERR_OPERATIONFAILED); };

  switch (wType) {
    case REQUEST_LINEADDTOCONFERENCE: {
      auto* pConf = RecordOf<TSPICONFERENCE>(pReq);
      if (pConf == nullptr || pConf->pConsult == nullptr || pConf->pConfCall == nullptr)
        return nothingToSend();
      const ObjectId oidActive = OmbixCallId(pConf->pConsult);
      const ObjectId oidOther = OmbixCallId(pConf->pConfCall);
      send(OMBIX_CONFERENCE_CALL_RSP, [&](COmbixDevice& d, DWORD id, LPCSTR dev) {
        d.ConferenceCall(id, dev, oidActive, oidOther);
      });
      break;
    }
    case REQUEST_LINEANSWER:
      if (pCall == nullptr) return nothingToSend();
      send(OMBIX_ANSWER_CALL_RSP,
           [&](COmbixDevice& d, DWORD id, LPCSTR dev) { d.AnswerCall(id, dev, oidCall, ""); });
      break;
    case REQUEST_LINEBLINDTRANSFER: {
      const CString strNumber = FirstNumber(RecordOf<CADObArray>(pReq));
      // A transfer to no number would leave the call with the switch to guess.
      if (pCall == nullptr || strNumber.IsEmpty()) return nothingToSend();
      send(OMBIX_SINGLE_STEP_TRANSFER_RSP, [&](COmbixDevice& d, DWORD id, LPCSTR dev) {
        d.SingleStepTransfer(id, dev, oidCall, strNumber, 0);
      });
      break;
    }
    case REQUEST_LINECOMPLETETRANSFER: {
      auto* pTransfer = RecordOf<TSPITRANSFER>(pReq);
      if (pTransfer == nullptr || pTransfer->pCall == nullptr || pTransfer->pConsult == nullptr)
        return nothingToSend();
      const ObjectId oidConsult = OmbixCallId(pTransfer->pConsult);
      const ObjectId oidHeld = OmbixCallId(pTransfer->pCall);
      if (pTransfer->dwTransferMode == LINETRANSFERMODE_TRANSFER) {
        send(OMBIX_COMPLETE_TRANSFER_RSP, [&](COmbixDevice& d, DWORD id, LPCSTR dev) {
          d.CompleteTransfer(id, dev, oidConsult, oidHeld);
        });
      } else if (pTransfer->dwTransferMode == LINETRANSFERMODE_CONFERENCE) {
        send(OMBIX_CONFERENCE_CALL_RSP, [&](COmbixDevice& d, DWORD id, LPCSTR dev) {
          d.ConferenceCall(id, dev, oidConsult, oidHeld);
        });
      } else {
        nothingToSend();
      }
      break;
    }
    case REQUEST_LINEDIAL: {
      if (pCall == nullptr) return nothingToSend();
      const CString strDigits = FirstNumber(RecordOf<CADObArray>(pReq));
      send(OMBIX_DIAL_DIGITS_RSP, [&](COmbixDevice& d, DWORD id, LPCSTR dev) {
        d.DialDigits(id, dev, oidCall, strDigits);
      });
      break;
    }
    case REQUEST_LINEDROP:
      if (pCall == nullptr) return nothingToSend();
      send(OMBIX_DROP_CONNECTION_RSP,
           [&](COmbixDevice& d, DWORD id, LPCSTR dev) { d.DropConnection(id, dev, oidCall, 0); });
      break;
    case REQUEST_LINEFORWARD:
      StartForward(pReq);
      break;
    case REQUEST_LINEHOLD:
      if (pCall == nullptr) return nothingToSend();
      send(OMBIX_HOLD_CALL_RSP,
           [&](COmbixDevice& d, DWORD id, LPCSTR dev) { d.HoldCall(id, dev, oidCall, ""); });
      break;
    case REQUEST_LINEMAKECALL:
      StartMakeCall(pReq);
      break;
    case REQUEST_LINEPARK:
      if (pCall == nullptr) return nothingToSend();
      send(OMBIX_PARK_CALL_RSP,
           [&](COmbixDevice& d, DWORD id, LPCSTR dev) { d.ParkCall(id, dev, oidCall, 0); });
      break;
    case REQUEST_LINEPICKUP: {
      auto* pPickup = RecordOf<TSPILINEPICKUP>(pReq);
      const CString strFrom =
          FilterNumber(FirstNumber(pPickup != nullptr ? &pPickup->arrAddresses : nullptr), "");
      send(OMBIX_PICKUP_CALL_RSP,
           [&](COmbixDevice& d, DWORD id, LPCSTR dev) { d.PickupCall(id, dev, strFrom, ""); });
      break;
    }
    case REQUEST_LINEREDIRECT: {
      if (pCall == nullptr) return nothingToSend();
      const CString strTo = FilterNumber(FirstNumber(RecordOf<CADObArray>(pReq)), "");
      send(OMBIX_REDIRECT_CALL_RSP, [&](COmbixDevice& d, DWORD id, LPCSTR dev) {
        d.RedirectCall(id, dev, oidCall, REDIRECT_TO_NUMBER, strTo, 0);
      });
      break;
    }
    case REQUEST_LINEREMOVEFROMCONFERENCE: {
      auto* pConf = RecordOf<TSPICONFERENCE>(pReq);
      if (pConf == nullptr || pConf->pConfCall == nullptr || pConf->pCall == nullptr)
        return nothingToSend();
      const LINECALLINFO info = pConf->pCall->GetCallInfoCopy();
      const CString strParty = info.dwOrigin == LINECALLORIGIN_OUTBOUND
                                   ? pConf->pCall->GetCalledIDInfo().strPartyId
                                   : pConf->pCall->GetCallerIDInfo().strPartyId;
      if (strParty.IsEmpty()) return nothingToSend();
      const ObjectId oidConf = OmbixCallId(pConf->pConfCall);
      send(OMBIX_DROP_CONFERENCE_CONNECTION_RSP, [&](COmbixDevice& d, DWORD id, LPCSTR dev) {
        d.DropConferenceConnection(id, dev, oidConf, strParty);
      });
      break;
    }
    case REQUEST_LINESETUPCONFERENCE: {
      auto* pConf = RecordOf<TSPICONFERENCE>(pReq);
      if (pConf == nullptr || pConf->pConfCall == nullptr || pConf->pCall == nullptr)
        return nothingToSend();
      const ObjectId oidFrom = OmbixCallId(pConf->pCall);
      const DWORD dwOptions = CallOptionsFromParams(pConf->lpCallParams);
      send(OMBIX_SETUP_CONFERENCE_RSP, [&](COmbixDevice& d, DWORD id, LPCSTR dev) {
        d.SetupConference(id, dev, oidFrom, "", dwOptions);
      });
      break;
    }
    case REQUEST_LINESETUPTRANSFER: {
      auto* pTransfer = RecordOf<TSPITRANSFER>(pReq);
      if (pTransfer == nullptr || pTransfer->pCall == nullptr || pTransfer->pConsult == nullptr)
        return nothingToSend();
      const ObjectId oidFrom = OmbixCallId(pTransfer->pCall);
      const DWORD dwOptions = CallOptionsFromParams(pTransfer->lpCallParams);
      send(OMBIX_SETUP_TRANSFER_RSP, [&](COmbixDevice& d, DWORD id, LPCSTR dev) {
        d.SetupTransfer(id, dev, oidFrom, "", dwOptions);
      });
      break;
    }
    case REQUEST_LINESWAPHOLD: {
      auto* pSwap = RecordOf<TSPISWAPHOLD>(pReq);
      if (pCall == nullptr || pSwap == nullptr || pSwap->pOtherCall == nullptr)
        return nothingToSend();
      const ObjectId oidOther = OmbixCallId(pSwap->pOtherCall);
      send(OMBIX_ALTERNATE_CALL_RSP, [&](COmbixDevice& d, DWORD id, LPCSTR dev) {
        d.AlternateCall(id, dev, oidCall, oidOther);
      });
      break;
    }
    case REQUEST_LINEUNHOLD:
      if (pCall == nullptr) return nothingToSend();
      send(OMBIX_RETRIEVE_CALL_RSP,
           [&](COmbixDevice& d, DWORD id, LPCSTR dev) { d.RetrieveCall(id, dev, oidCall, ""); });
      break;
    case REQUEST_LINEUNPARK:
      send(OMBIX_PICKUP_CALL_RSP,
           [&](COmbixDevice& d, DWORD id, LPCSTR dev) { d.PickupCall(id, dev, "PARK", ""); });
      break;
    default:
      break;
  }
}

void COmbixLine::StartForward(CTSPIRequest* pReq) {
  auto* pForward = RecordOf<TSPILINEFORWARD>(pReq);
  if (pForward == nullptr) {
    CompleteRequest(pReq, LINEERR_OPERATIONFAILED);
    return;
  }
  struct Message {
    bool bForward;  // else do-not-disturb
    DWORD dwValue;  // forward kind, or do-not-disturb on/off
    CString strTo;
  };
  std::vector<Message> messages;
  if (pForward->arrForwardInfo.GetSize() == 0) {
    for (DWORD dwKind = 0; dwKind <= 2; ++dwKind) messages.push_back({true, dwKind, ""});
    messages.push_back({false, 0, ""});
  } else {
    for (INT_PTR i = 0; i < pForward->arrForwardInfo.GetSize(); ++i) {
      auto* pInfo = dynamic_cast<TSPIFORWARDINFO*>(pForward->arrForwardInfo.GetAt(i));
      if (pInfo == nullptr) continue;
      const DWORD dwKind = pInfo->dwForwardMode == LINEFORWARDMODE_BUSY     ? 1
                           : pInfo->dwForwardMode == LINEFORWARDMODE_NOANSW ? 2
                                                                            : 0;
      if (pInfo->arrDestAddress.GetSize() != 0) {
        messages.push_back({true, dwKind, FirstNumber(&pInfo->arrDestAddress)});
      } else {
        messages.push_back({false, 1, ""});
      }
    }
  }
  // The first forwarding answer completes the request; without one, the first do-not-disturb
  // answer. Every other answer is the line's own.
  size_t nCompleting = messages.size();
  for (size_t i = 0; i < messages.size() && nCompleting == messages.size(); ++i) {
    if (messages[i].bForward) nCompleting = i;
  }
  if (nCompleting == messages.size()) nCompleting = 0;
  if (messages.empty()) {
    CompleteRequest(pReq, LINEERR_OPERATIONFAILED);
    return;
  }
  for (size_t i = 0; i < messages.size(); ++i) {
    const Message& msg = messages[i];
    const DWORD dwRsp = msg.bForward ? OMBIX_SET_CALL_FORWARDING_RSP : OMBIX_SET_DO_NOT_DISTURB_RSP;
    const bool bSent =
        SendFor(pReq, dwRsp, i != nCompleting, [&](COmbixDevice& d, DWORD id, LPCSTR dev) {
          if (msg.bForward) {
            d.SetCallForwarding(id, dev, msg.dwValue, msg.strTo);
          } else {
            d.SetDoNotDisturb(id, dev, msg.dwValue, "");
          }
        });
    if (!bSent) return;
  }
}

void COmbixLine::StartMakeCall(CTSPIRequest* pReq) {
  CTSPICallAppearance* pActive = nullptr;
  const DWORD dwActive = GetActiveCallNumber();
  CTSPIAddressInfo* pAddr = GetAddress(0);
  if (dwActive != 0 && pAddr != nullptr) {
    for (CTSPICallAppearance* pCall : pAddr->SnapshotCalls()) {
      // An idle call is over, whatever number it had: it is no call to hold.
      if (pActive == nullptr && pCall != pReq->GetCall() &&
          pCall->GetCallState() != LINECALLSTATE_IDLE &&
          OmbixCallId(pCall).GetCallNumber() == dwActive) {
        pActive = pCall;
      } else {
        pCall->Release();
      }
    }
  }
  if (pActive == nullptr) {
    SendMakeCall(pReq);
    return;
  }
  const ObjectId oidActive = OmbixCallId(pActive);
  pActive->Release();
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    m_pHoldWaitReq = CTSPIRequestPtr::Share(pReq);
    pReq->SetState(kStateHoldWait);
  }
  if (auto* pNewCall = dynamic_cast<COmbixCall*>(pReq->GetCall()))
    pNewCall->ArmHoldWait(m_dwHoldWait.load());
  SendFor(pReq, OMBIX_HOLD_CALL_RSP, true,
          [&](COmbixDevice& d, DWORD id, LPCSTR dev) { d.HoldCall(id, dev, oidActive, ""); });
}

void COmbixLine::SendMakeCall(CTSPIRequest* pReq) {
  if (!IsRequestQueued(pReq)) return;  // failed meanwhile (closed line, dropped call)
  pReq->SetState(STATE_STARTED);
  auto* pMakeCall = RecordOf<TSPIMAKECALL>(pReq);
  const CString strNumber =
      FilterNumber(FirstNumber(pMakeCall != nullptr ? &pMakeCall->arrAddresses : nullptr), "#*");
  const DWORD dwOptions =
      CallOptionsFromParams(pMakeCall != nullptr ? pMakeCall->lpCallParams : nullptr);
  SendFor(pReq, OMBIX_MAKE_CALL_RSP, false, [&](COmbixDevice& d, DWORD id, LPCSTR dev) {
    d.MakeCall(id, dev, strNumber, dwOptions, "");
  });
}

CTSPIRequestPtr COmbixLine::TakeHoldWait(CTSPIRequest* pOnly) {
  CSingleLock lock(GetSyncObject(), TRUE);
  if (!m_pHoldWaitReq || (pOnly != nullptr && m_pHoldWaitReq.Get() != pOnly)) return nullptr;
  return std::move(m_pHoldWaitReq);
}

void COmbixLine::OnHoldWaitExpired(CTSPICallAppearance* pCall) {
  CTSPIRequestPtr pReq;
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    if (m_pHoldWaitReq && m_pHoldWaitReq->GetCall() == pCall) pReq = std::move(m_pHoldWaitReq);
  }
  // The hold's answer did not come in time: the make-call goes out all the same.
  if (pReq) SendMakeCall(pReq.Get());
}

bool COmbixLine::TakeSent(DWORD dwRspType, OMBIXSENT& sent) {
  CSingleLock lock(GetSyncObject(), TRUE);
  for (auto it = m_lstSent.begin(); it != m_lstSent.end(); ++it) {
    if (dwRspType == OMBIX_FAILURE_RSP || it->dwRspType == dwRspType) {
      sent = std::move(*it);
      m_lstSent.erase(it);
      return true;
    }
  }
  return false;
}

void COmbixLine::SettleResponse(OMBIXSENT& sent, DWORD dwError, bool bFailure) {
  CTSPIRequest* pReq = sent.pReq.Get();
  if (pReq == nullptr) {
    // The line's own message: a failure of its monitor start refuses the monitor; the answer to
    // a query ends with the query.
    if (bFailure && sent.dwRspType == OMBIX_MONITOR_START_RSP) RefuseMonitor(dwError);
    return;
  }
  const LONG lResult = MapError(dwError);
  if (sent.bOwn) {
    // Only the hold of a waiting make-call decides anything: refused, it ends the make-call.
    if (sent.dwRspType != OMBIX_HOLD_CALL_RSP) return;
    CTSPIRequestPtr pWaiting = TakeHoldWait(pReq);
    if (!pWaiting) return;
    if (auto* pNewCall = dynamic_cast<COmbixCall*>(pReq->GetCall())) pNewCall->DisarmHoldWait();
    if (lResult == 0) {
      SendMakeCall(pReq);
    } else {
      CompleteRequest(pReq, lResult);
    }
    return;
  }
  if (pReq->GetType() == REQUEST_LINEREMOVEFROMCONFERENCE && lResult == 0) {
    // The removed call leaves by the switch's events, not by the completion.
    if (auto* pConf = RecordOf<TSPICONFERENCE>(pReq)) {
      const CCallRef keep = pConf->pCall;  // the last reference goes outside the lock
      CSingleLock lock(GetSyncObject(), TRUE);
      pConf->pCall = nullptr;
    }
  }
  CompleteRequest(pReq, lResult);
}

void COmbixLine::OnResponse(const COmbixRsp* pRsp) {
  OMBIXSENT sent;
  if (!TakeSent(pRsp->dwMsgType, sent)) return;
  SettleResponse(sent, pRsp->dwError, pRsp->dwMsgType == OMBIX_FAILURE_RSP);
}

void COmbixLine::OnHoldCallRsp(const COmbixRsp* pRsp) {
  OnResponse(pRsp);
}

void COmbixLine::FailStartedRequests() {
  std::deque<OMBIXSENT> lstSent;
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    lstSent.swap(m_lstSent);
    m_pHoldWaitReq.Reset();
  }
  for (OMBIXSENT& sent : lstSent) {
    if (!sent.pReq) continue;  // the line's own message: nothing waits for its answer
    if (auto* pNewCall = dynamic_cast<COmbixCall*>(sent.pReq->GetCall()))
      pNewCall->DisarmHoldWait();
    CompleteRequest(sent.pReq.Get(), LINEERR_OPERATIONFAILED);
  }
}
