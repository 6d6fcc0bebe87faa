// COmbixLine: the switch's call-connection events and the TAPI calls they drive.
//
// Everything here runs on the link's worker thread, but the announcement of the calls TAPI does
// not know yet, which runs on the thread that opens the line. Calls are looked up under the
// address's lock and handed out with a reference, so a call stays alive while an event is applied
// even when TAPI closes it meanwhile; no line lock is held while a call changes. An idle call is over: the
// switch may name a new call with its id (a call transferred or parked here comes back with it).
#include <algorithm>
#include <vector>

#include "framework/address_info.h"
#include "framework/call_appearance.h"
#include "framework/call_ref.h"
#include "framework/conference_call.h"
#include "framework/request.h"
#include "provider/ombix_call.h"
#include "provider/ombix_line.h"
#include "switchapi/ombix_values.h"

namespace {

bool IsZero(const ObjectId& oid) {
  return oid == ObjectId{};
}

DWORD PartyFlags(const COmbixConnection& conn) {
  DWORD dwFlags = 0;
  if (conn.strNumber[0] != '\0') dwFlags |= LINECALLPARTYID_ADDRESS;
  if (conn.strName[0] != '\0') dwFlags |= LINECALLPARTYID_NAME;
  return dwFlags;
}

// Clears a call number when it is the given one.
void ClearIf(std::atomic<DWORD>& dwField, DWORD dwNumber) {
  DWORD dwExpected = dwNumber;
  dwField.compare_exchange_strong(dwExpected, 0);
}

// The LINECALLINFOSTATE bits of what the call's information tells beyond a new call's.
DWORD KnownCallInfo(const LINECALLINFO& info) {
  auto party = [](DWORD dwFlags, DWORD dwBit) {
    return dwFlags != 0 && dwFlags != LINECALLPARTYID_UNKNOWN ? dwBit : 0;
  };
  DWORD dwStates = 0;
  if (info.dwOrigin != LINECALLORIGIN_UNKNOWN) dwStates |= LINECALLINFOSTATE_ORIGIN;
  if (info.dwReason != LINECALLREASON_UNKNOWN) dwStates |= LINECALLINFOSTATE_REASON;
  if (info.dwCallID != 0) dwStates |= LINECALLINFOSTATE_CALLID;
  if (info.dwRelatedCallID != 0) dwStates |= LINECALLINFOSTATE_RELATEDCALLID;
  return dwStates | party(info.dwCallerIDFlags, LINECALLINFOSTATE_CALLERID) |
         party(info.dwCalledIDFlags, LINECALLINFOSTATE_CALLEDID) |
         party(info.dwConnectedIDFlags, LINECALLINFOSTATE_CONNECTEDID) |
         party(info.dwRedirectionIDFlags, LINECALLINFOSTATE_REDIRECTIONID) |
         party(info.dwRedirectingIDFlags, LINECALLINFOSTATE_REDIRECTINGID);
}

}  // namespace

LONG COmbixLine::OpenLine(HTAPILINE htLine, LINEEVENT lpfnEventProc, DWORD dwTSPIVersion) {
  const LONG lResult = CTSPILineConnection::OpenLine(htLine, lpfnEventProc, dwTSPIVersion);
  if (lResult == 0) AnnounceUnknownCalls();
  return lResult;
}

void COmbixLine::AnnounceUnknownCalls() {
  // No event of these calls is applied meanwhile: each is announced as it stands, and whatever
  // changes it afterwards reaches TAPI with its handle.
  std::lock_guard<std::mutex> gate(m_mxCallEvents);
  std::vector<CCallRef> calls;
  for (DWORD dwAddr = 0; dwAddr < GetAddressCount(); ++dwAddr) {
    AddCallsOf(GetAddress(dwAddr), calls);
  }
  std::stable_partition(calls.begin(), calls.end(), [](const CCallRef& pCall) {
    return pCall->GetCallType() == CALLTYPE_CONFERENCE;
  });
  for (const CCallRef& pCall : calls) {
    if (pCall->GetCallHandle() != nullptr || pCall->IsDeleted() ||
        pCall->GetCallState() == LINECALLSTATE_IDLE) {
      continue;
    }
    // Unless TAPI took no interest, or closed the call already: then it stays unknown.
    if (AnnounceNewCall(pCall.Get()) == nullptr) continue;
    pCall->SendCallStateEvent();
    if (const DWORD dwInfo = KnownCallInfo(pCall->GetCallInfoCopy())) {
      pCall->SendCallInfoEvent(dwInfo);
    }
  }
}

CTSPICallAppearance* COmbixLine::FindCallById(const ObjectId& oid) {
  CTSPIAddressInfo* pAddr = GetAddress(0);
  if (pAddr == nullptr) return nullptr;
  CTSPICallAppearance* pFound = nullptr;
  for (CTSPICallAppearance* pCall : pAddr->SnapshotCalls()) {
    auto* pOmbix = dynamic_cast<COmbixCall*>(pCall);
    if (pFound == nullptr && pOmbix != nullptr && pCall->GetCallType() != CALLTYPE_CONFERENCE &&
        pCall->GetCallState() != LINECALLSTATE_IDLE && pOmbix->GetObjectId() == oid) {
      pFound = pCall;  // keeps the snapshot's reference
    } else {
      pCall->Release();
    }
  }
  return pFound;
}

CTSPIConferenceCall* COmbixLine::FindConfCallById(const ObjectId& oid) {
  CTSPIAddressInfo* pAddr = GetAddress(0);
  if (pAddr == nullptr) return nullptr;
  CTSPIConferenceCall* pFound = nullptr;
  for (CTSPICallAppearance* pCall : pAddr->SnapshotCalls()) {
    auto* pConf = dynamic_cast<COmbixConfCall*>(pCall);
    if (pFound == nullptr && pConf != nullptr && pCall->GetCallState() != LINECALLSTATE_IDLE &&
        pConf->GetObjectId() == oid) {
      pFound = pConf;
    } else {
      pCall->Release();
    }
  }
  return pFound;
}

DWORD COmbixLine::FilterCallFeatures(CTSPICallAppearance* pCall, DWORD dwFeatures) {
  dwFeatures = CTSPILineConnection::FilterCallFeatures(pCall, dwFeatures);
  const DWORD dwState = pCall != nullptr ? pCall->GetCallState() : 0;
  if (dwState == LINECALLSTATE_OFFERING || dwState == LINECALLSTATE_ONHOLD ||
      dwState == LINECALLSTATE_CONFERENCED) {
    dwFeatures &= ~LINECALLFEATURE_DROP;
  }
  return dwFeatures;
}

void COmbixLine::OnCallConnectionEvent(const COmbixCallConnectionEvent* pEvent) {
  std::lock_guard<std::mutex> gate(m_mxCallEvents);
  NoteNamedCall(pEvent);
  // An all-zero id would name every call the switch has not reported yet.
  if (IsZero(pEvent->oidCall)) return;

  CTSPICallAppearance* pCall = FindCallById(pEvent->oidCall);
  if (pCall == nullptr) pCall = FindConfCallById(pEvent->oidCall);
  // An event that ends a call (an IDLED sent again, a late one of an old call) ends only a call
  // that is still going: it neither makes a call nor ends one the switch has not named yet.
  const bool bEnds = pEvent->dwEvent == CALL_CONNECTION_IDLED ||
                     (pEvent->dwConnectionCount != 0 && pEvent->pConnections != nullptr &&
                      pEvent->pConnections[0].dwState == CS_IDLE);
  if (pCall == nullptr && bEnds) return;
  if (pCall == nullptr) {
    // A call that a TAPI request created waits for its first event. An incoming call is never
    // one of them: a call made here is not alerting on this phone.
    const bool bIncoming =
        pEvent->dwConnectionCount != 0 && pEvent->pConnections[0].dwState == CS_ALERTING;
    if (!bIncoming) {
      if (CTSPICallAppearance* pNew = FindCallById(ObjectId{})) {
        static_cast<COmbixCall*>(pNew)->SetObjectId(pEvent->oidCall);
        pCall = pNew;
      }
    }
    if (pCall == nullptr) {
      if (CTSPIConferenceCall* pConf = FindConfCallById(ObjectId{})) {
        static_cast<COmbixConfCall*>(pConf)->SetObjectId(pEvent->oidCall);
        pCall = pConf;
      }
    }
  }
  if (pCall == nullptr) {
    CTSPIAddressInfo* pAddr = GetAddress(0);
    if (pAddr == nullptr) return;
    CTSPICallAppearance* pNew = nullptr;
    if (pEvent->dwEvent == CALL_CONNECTION_CONFERENCED) {
      pNew = pAddr->FindOrCreateConferenceCall(nullptr);
    } else {
      pNew = pAddr->FindOrCreateCall(nullptr, 0, LINECALLORIGIN_UNKNOWN, LINECALLREASON_UNKNOWN,
                                     0xFFFFFFFF, 0);
    }
    if (pNew == nullptr) return;
    if (auto* pConf = dynamic_cast<COmbixConfCall*>(pNew)) {
      pConf->SetObjectId(pEvent->oidCall);
    } else if (auto* pOmbix = dynamic_cast<COmbixCall*>(pNew)) {
      pOmbix->SetObjectId(pEvent->oidCall);
    }
    pNew->AddRef();
    pCall = pNew;
  }
  ApplyCallEvent(pEvent, pCall);
  pCall->Release();
}

void COmbixLine::ForgetCallNumber(DWORD dwNumber) {
  if (dwNumber == 0) return;
  ClearIf(m_dwActiveCall, dwNumber);
  ClearIf(m_dwHeldCall, dwNumber);
  ClearIf(m_dwAlertingCall, dwNumber);
}

void COmbixLine::UpdateCallNumbers(const COmbixCallConnectionEvent* pEvent) {
  const DWORD n = pEvent->oidCall.GetCallNumber();
  const LONG s = pEvent->pConnections[0].dwState;
  switch (pEvent->dwEvent) {
    case CALL_CONNECTION_LIST:
      if (s == CS_DIALING || s == CS_ATTEMPTING || s == CS_CONNECTED) {
        m_dwActiveCall.store(n);
      } else if (s == CS_ALERTING) {
        m_dwAlertingCall.store(n);
      } else if (s == CS_HELD) {
        m_dwHeldCall.store(n);
      }
      break;
    case CALL_CONNECTION_INITIATED:
    case CALL_CONNECTION_ATTEMPTING:
    case CALL_CONNECTION_CONFERENCED:
    case CALL_CONNECTION_QUEUED:
    case CALL_CONNECTION_FAILED:
      m_dwActiveCall.store(n);
      break;
    case CALL_CONNECTION_ALERTING:
      m_dwAlertingCall.store(n);
      break;
    case CALL_CONNECTION_ESTABLISHED: {
      DWORD dwNone = 0;
      if (m_dwActiveCall.compare_exchange_strong(dwNone, n)) ClearIf(m_dwAlertingCall, n);
      break;
    }
    case CALL_CONNECTION_HELD:
      m_dwHeldCall.store(n);
      ClearIf(m_dwActiveCall, n);
      break;
    case CALL_CONNECTION_RETRIEVED:
      m_dwActiveCall.store(n);
      ClearIf(m_dwHeldCall, n);
      break;
    case CALL_CONNECTION_IDLED:
    case CALL_CONNECTION_TRANSFERRED:
    case CALL_CONNECTION_REDIRECTED:
      ForgetCallNumber(n);
      break;
    default:
      break;
  }
}

void COmbixLine::ApplyRelatedCall(const COmbixCallConnectionEvent* pEvent,
                                  CTSPICallAppearance* pCall, bool& bDone) {
  if (IsZero(pEvent->oidRelated)) return;
  CTSPICallAppearance* pRelated = FindCallById(pEvent->oidRelated);
  if (pRelated == nullptr) return;
  auto* pConf = dynamic_cast<CTSPIConferenceCall*>(pCall);
  if (pEvent->dwEvent == CALL_CONNECTION_CONFERENCED) {
    // A conference the switch names for a call we know as an ordinary one lists no members.
    if (pConf != nullptr) pConf->AddMember(pRelated);
    pRelated->ChangeCallState(LINECALLSTATE_CONFERENCED, 0, 0, TRUE);
  } else if (pRelated != pCall && pRelated->GetCallState() == LINECALLSTATE_ONHOLD) {
    // A held call that a conference set-up took in is the conference's first party, and the
    // conference waits for the consultation call to be added; the switch names neither.
    if (CTSPIConferenceCall* pSetup = pRelated->GetConferenceCallRef()) {
      pRelated->ChangeCallState(LINECALLSTATE_CONFERENCED, 0, 0, TRUE);
      pSetup->ChangeCallState(LINECALLSTATE_ONHOLDPENDCONF, 0, 0, TRUE);
      pSetup->Release();
    } else {
      pRelated->ChangeCallState(LINECALLSTATE_ONHOLDPENDTRANSFER, 0, 0, TRUE);
      pRelated->SetConsultationCall(pCall);
    }
  }
  if (pEvent->dwEvent == CALL_CONNECTION_TRANSFERRED) {
    if (CTSPIRequestPtr pReq = FindRequest(pCall, REQUEST_LINECOMPLETETRANSFER))
      CompleteRequest(pReq.Get(), 0);
  }
  // A conference's IDLED names the member that left; a call of no part in it is left alone.
  if (pEvent->dwEvent == CALL_CONNECTION_IDLED && pConf != nullptr &&
      pRelated->GetConferenceCall() == pConf) {
    if (pEvent->dwConnectionCount == 3) {
      // The conference falls back to a call between the two parties left: the member that
      // stays takes the switch's id.
      if (CTSPIAddressInfo* pAddr = GetAddress(0)) {
        bool bTaken = false;
        for (CTSPICallAppearance* pMember : pAddr->SnapshotCalls()) {
          auto* pOmbix = dynamic_cast<COmbixCall*>(pMember);
          if (!bTaken && pOmbix != nullptr && pMember != pRelated &&
              pMember->GetCallType() != CALLTYPE_CONFERENCE &&
              pMember->GetConferenceCall() == pConf) {
            pOmbix->SetObjectId(pEvent->oidCall);
            bTaken = true;
          }
          pMember->Release();
        }
      }
    }
    pRelated->ChangeCallState(LINECALLSTATE_IDLE, 0, LINEMEDIAMODE_INTERACTIVEVOICE, TRUE);
  }
  if (pEvent->dwEvent == CALL_CONNECTION_IDLED && pConf != nullptr) bDone = true;
  pRelated->Release();
}

void COmbixLine::ApplyCallEvent(const COmbixCallConnectionEvent* pEvent,
                                CTSPICallAppearance* pCall) {
  const bool bHasConnection = pEvent->dwConnectionCount != 0 && pEvent->pConnections != nullptr;
  const DWORD dwEvent = pEvent->dwEvent;
  if (bHasConnection) UpdateCallNumbers(pEvent);
  pCall->SetCallID(pEvent->oidCall.GetCallNumber());

  if (bHasConnection && pCall->GetCallInfoCopy().dwOrigin == LINECALLORIGIN_UNKNOWN &&
      GetDeviceString() == CString(pEvent->strDevice)) {
    DWORD dwOrigin = 0;
    if (dwEvent == CALL_CONNECTION_CONFERENCED) {
      dwOrigin = LINECALLORIGIN_CONFERENCE;
    } else if (dwEvent == CALL_CONNECTION_INITIATED || dwEvent == CALL_CONNECTION_ATTEMPTING) {
      dwOrigin = LINECALLORIGIN_OUTBOUND;
    } else if (dwEvent == CALL_CONNECTION_ALERTING) {
      const DWORD dwType = pEvent->dwConnectionCount > 1 ? pEvent->pConnections[1].dwDeviceType : 0;
      dwOrigin = dwType == DEVICE_TYPE_EXTERNAL ? LINECALLORIGIN_EXTERNAL
                 : dwType != 0                  ? LINECALLORIGIN_INTERNAL
                                                : LINECALLORIGIN_INBOUND;
    }
    if (dwOrigin != 0) pCall->SetCallOrigin(dwOrigin);
  }

  bool bDone = false;
  ApplyRelatedCall(pEvent, pCall, bDone);
  if (bDone || !bHasConnection) return;

  const COmbixConnection& own = pEvent->pConnections[0];
  if (dwEvent != CALL_CONNECTION_CONFERENCED) {
    const bool bOutbound = pCall->GetCallInfoCopy().dwOrigin == LINECALLORIGIN_OUTBOUND;
    if (DWORD dwFlags = PartyFlags(own)) {
      if (bOutbound) {
        pCall->SetCallerID(dwFlags, own.strNumber, own.strName);
      } else {
        pCall->SetCalledID(dwFlags, own.strNumber, own.strName);
      }
    }
    const COmbixConnection* pOther = nullptr;
    if (pEvent->dwConnectionCount > 1) {
      if (pEvent->pConnections[1].dwState != CS_IDLE) {
        pOther = &pEvent->pConnections[1];
      } else if (pEvent->dwConnectionCount > 2) {
        pOther = &pEvent->pConnections[2];
      }
    }
    if (pOther != nullptr) {
      if (DWORD dwFlags = PartyFlags(*pOther)) {
        if (bOutbound) {
          pCall->SetCalledID(dwFlags, pOther->strNumber, pOther->strName);
        } else {
          pCall->SetCallerID(dwFlags, pOther->strNumber, pOther->strName);
        }
      }
    }
  }

  DWORD dwState = LINECALLSTATE_UNKNOWN;
  DWORD dwMode = 0;
  switch (own.dwState) {
    case CS_IDLE:
      dwState = pEvent->dwEventCause == EC_CONFERENCE ? LINECALLSTATE_UNKNOWN : LINECALLSTATE_IDLE;
      break;
    case CS_DIALING:
      if (dwEvent != CALL_CONNECTION_FAILED) {
        dwState = LINECALLSTATE_DIALING;
      } else if (pEvent->dwEventCause == EC_BUSY) {
        dwState = LINECALLSTATE_BUSY;
      } else {
        dwState = LINECALLSTATE_SPECIALINFO;
        dwMode = LINESPECIALINFO_REORDER;
      }
      break;
    case CS_ALERTING:
      dwState = LINECALLSTATE_OFFERING;
      break;
    case CS_ATTEMPTING:
      dwState = LINECALLSTATE_RINGBACK;
      break;
    case CS_CONNECTED:
    case CS_QUEUED:
      dwState = LINECALLSTATE_CONNECTED;
      break;
    case CS_HELD:
      dwState = LINECALLSTATE_ONHOLD;
      break;
    case CS_FAILED:
      dwState = LINECALLSTATE_SPECIALINFO;
      dwMode = LINESPECIALINFO_REORDER;
      break;
    default:
      break;
  }
  pCall->ChangeCallState(dwState, dwMode, LINEMEDIAMODE_INTERACTIVEVOICE, TRUE);
}
