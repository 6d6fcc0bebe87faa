// The call model: call requests, far-end commands and the call-connection events they cause.
#include "tools/switch-sim/sim_calls.h"

#include <algorithm>
#include <ctime>
#include <sstream>

#include "switchapi/ombix_message_types.h"
#include "switchapi/ombix_values.h"
#include "switchapi/ombix_wire.h"
#include "tools/switch-sim/sim_state.h"

namespace {

constexpr int kMaxForwardHops = 5;
const char kParkNumber[] = "PARK";  // the park orbit, as unpark names it

DWORD CallNumberOf(const ObjectId& oid) {
  return (DWORD{oid.abId[8]} << 24) | (DWORD{oid.abId[9]} << 16) | (DWORD{oid.abId[10]} << 8) |
         DWORD{oid.abId[11]};
}

ObjectId CallOid(DWORD dwCall) {
  ObjectId oid{};
  for (int i = 0; i < 4; ++i) oid.abId[8 + i] = static_cast<BYTE>(dwCall >> (24 - 8 * i));
  return oid;
}

std::size_t PartyIndex(const SimSwitchCall& call, const std::string& strNumber) {
  for (std::size_t i = 0; i < call.parties.size(); ++i) {
    if (call.parties[i].strNumber == strNumber && call.parties[i].lState != CS_IDLE) return i;
  }
  return call.parties.size();
}

std::size_t RingingIndex(const SimSwitchCall& call) {
  for (std::size_t i = 0; i < call.parties.size(); ++i) {
    if (call.parties[i].lState == CS_ALERTING) return i;
  }
  return call.parties.size();
}

std::size_t LiveParties(const SimSwitchCall& call) {
  return static_cast<std::size_t>(std::count_if(call.parties.begin(), call.parties.end(),
                                                [](const SimParty& p) { return p.lState != 0; }));
}

}  // namespace

bool SimCalls::Answers(DWORD dwRequestType) {
  switch (dwRequestType) {
    case OMBIX_ALTERNATE_CALL_REQ:
    case OMBIX_ANSWER_CALL_REQ:
    case OMBIX_COMPLETE_TRANSFER_REQ:
    case OMBIX_DIAL_DIGITS_REQ:
    case OMBIX_DROP_CONNECTION_REQ:
    case OMBIX_HOLD_CALL_REQ:
    case OMBIX_MAKE_CALL_REQ:
    case OMBIX_PARK_CALL_REQ:
    case OMBIX_PICKUP_CALL_REQ:
    case OMBIX_REDIRECT_CALL_REQ:
    case OMBIX_RETRIEVE_CALL_REQ:
    case OMBIX_SETUP_TRANSFER_REQ:
    case OMBIX_SETUP_CONFERENCE_REQ:
    case OMBIX_SINGLE_STEP_TRANSFER_REQ:
    case OMBIX_CONFERENCE_CALL_REQ:
    case OMBIX_DROP_CONFERENCE_CONNECTION_REQ:
      return true;
    default:
      return false;
  }
}

// --- Looking up -------------------------------------------------------------------------------

SimSwitchCall* SimCalls::Find(DWORD dwCall) {
  auto it = m_calls.find(dwCall);
  return it == m_calls.end() ? nullptr : &it->second;
}

SimSwitchCall* SimCalls::Find(const ObjectId& oid) {
  return Find(CallNumberOf(oid));
}

SimSwitchCall& SimCalls::NewCall(SwitchSimState& state) {
  const DWORD dwCall = state.dwNextCallNumber++;
  SimSwitchCall& call = m_calls[dwCall];
  call.dwNumber = dwCall;
  return call;
}

bool SimCalls::IsPhone(SwitchSimState& state, const std::string& strNumber) {
  return state.phones.FindByNumber(strNumber) != nullptr;
}

SimCalls::Verdict SimCalls::Judge(SwitchSimState& state, const std::string& strTo,
                                  const std::string& strFrom) {
  Verdict verdict{strTo};
  for (int hop = 0; hop <= kMaxForwardHops; ++hop) {
    const SimPhone* pPhone = state.phones.FindByNumber(verdict.strTo);
    auto follow = [&](const std::string& strForward) {
      if (strForward.empty()) return false;
      verdict.strTo = strForward;
      verdict.bForwarded = true;
      return true;
    };
    auto fail = [&](DWORD dwCause) {
      verdict.bFailed = true;
      verdict.dwCause = dwCause;
      return verdict;
    };
    if (pPhone == nullptr) {
      auto rule = m_outside.find(verdict.strTo);
      if (rule == m_outside.end()) return verdict;
      if (rule->second == SimOutsideRule::kBusy) return fail(EC_BUSY);
      if (rule->second == SimOutsideRule::kUnreachable) return fail(EC_OUT_OF_SERVICE);
      return verdict;
    }
    if (verdict.strTo == strFrom) return fail(EC_BUSY);
    if (follow(pPhone->astrForward[CALL_FORWARD_ALL])) continue;
    if (pPhone->bDoNotDisturb) return fail(EC_DO_NOT_DISTURB);
    if (!pPhone->bInService) {
      if (follow(pPhone->astrForward[CALL_FORWARD_OUT_OF_SERVICE])) continue;
      return fail(EC_OUT_OF_SERVICE);
    }
    std::size_t nCalls = 0;
    for (const auto& [number, call] : m_calls) {
      if (PartyIndex(call, verdict.strTo) < call.parties.size()) ++nCalls;
    }
    if (nCalls >= pPhone->config.dwMaxCalls) {
      if (follow(pPhone->astrForward[CALL_FORWARD_BUSY])) continue;
      return fail(EC_BUSY);
    }
    return verdict;
  }
  return Verdict{strTo, EC_OVERFLOW, true, true};  // forwarded in a circle
}

// --- Events -----------------------------------------------------------------------------------

void SimCalls::Send(SwitchSimState& state, const SimSwitchCall& call, std::size_t iParty,
                    const SimMonitor& monitor, DWORD dwEvent, DWORD dwCause, DWORD dwRelated,
                    const std::string& strDialed) {
  SimSession* pSession = nullptr;
  for (auto& [peer, session] : state.sessions) {
    if (session.dwSession == monitor.dwSession) pSession = &session;
  }
  const SimPhone* pPhone = state.phones.FindByNumber(monitor.strNumber);
  if (pSession == nullptr || pPhone == nullptr) return;
  BYTE buffer[kOmbixMaxBody];
  COmbixWriter w(buffer, sizeof(buffer));
  const DWORD dwNow = static_cast<DWORD>(std::time(nullptr));
  w.WriteDword(OMBIX_CALL_CONNECTION_EVENT);
  w.WriteDword(monitor.dwMonitorID);
  w.WriteString(pPhone->config.strDevice.c_str());
  w.WriteObjectId(CallOid(call.dwNumber));
  w.WriteDword(dwEvent);
  w.WriteDword(dwCause);
  w.WriteDword(dwNow);
  w.WriteDword(static_cast<DWORD>(call.parties.size()));
  auto party = [&](const SimParty& p, DWORD dwDeviceType) {
    w.WriteDword(dwNow);
    w.WriteString(p.strNumber.c_str());
    w.WriteString(p.strName.c_str());
    w.WriteDword(dwDeviceType);
    w.WriteDword(static_cast<DWORD>(p.lState));
  };
  party(call.parties[iParty], DEVICE_TYPE_PHONE);
  for (std::size_t i = 0; i < call.parties.size(); ++i) {
    if (i != iParty) party(call.parties[i], call.parties[i].dwDeviceType);
  }
  w.WriteObjectId(dwRelated != 0 ? CallOid(dwRelated) : ObjectId{});
  w.WriteString(strDialed.c_str());
  w.WriteString("");
  std::vector<BYTE> body(buffer, buffer + w.GetLength());
  m_lastEvents[call.dwNumber][monitor.dwMonitorID] = {pSession->dwSession, body};
  if (m_lastEvents.size() > kLastEventsKept) m_lastEvents.erase(m_lastEvents.begin());
  if (m_bHolding) {
    m_pending.push_back({pSession->dwSession, std::move(body)});
  } else {
    state.Queue(*pSession, body);
  }
}

void SimCalls::Tell(SwitchSimState& state, const SimSwitchCall& call, std::size_t iParty,
                    DWORD dwEvent, DWORD dwCause, DWORD dwRelated, const std::string& strDialed) {
  for (const SimMonitor& monitor : state.phones.MonitorsOf(state, call.parties[iParty].strNumber)) {
    Send(state, call, iParty, monitor, dwEvent, dwCause, dwRelated, strDialed);
  }
}

void SimCalls::TellAll(SwitchSimState& state, const SimSwitchCall& call, DWORD dwEvent,
                       DWORD dwCause, DWORD dwRelated) {
  for (std::size_t i = 0; i < call.parties.size(); ++i) {
    Tell(state, call, i, dwEvent, dwCause, dwRelated);
  }
}

void SimCalls::ListTo(SwitchSimState& state, const SimMonitor& monitor) {
  for (const auto& [number, call] : m_calls) {
    const std::size_t i = PartyIndex(call, monitor.strNumber);
    if (i < call.parties.size())
      Send(state, call, i, monitor, CALL_CONNECTION_LIST, EC_NONE, 0, "");
  }
}

// --- What happens to calls --------------------------------------------------------------------

void SimCalls::Offer(SwitchSimState& state, SimSwitchCall& call, std::size_t iCaller,
                     const std::string& strTo, DWORD dwCause, DWORD dwCallerEvent) {
  const Verdict verdict = Judge(state, strTo, call.parties[iCaller].strNumber);
  if (!verdict.bFailed) {
    Ring(state, call, iCaller, verdict, dwCause, dwCallerEvent);
    return;
  }
  // The caller hears why: busy tone or a recorded message, until it hangs up.
  call.parties.push_back(
      {verdict.strTo, "",
       IsPhone(state, verdict.strTo) ? DEVICE_TYPE_INTERNAL : DEVICE_TYPE_EXTERNAL, CS_FAILED});
  call.parties[iCaller].lState = CS_DIALING;
  Tell(state, call, iCaller, CALL_CONNECTION_FAILED, verdict.dwCause);
  if (!IsPhone(state, call.parties[iCaller].strNumber)) Erase(call.dwNumber);
}

void SimCalls::Ring(SwitchSimState& state, SimSwitchCall& call, std::size_t iCaller,
                    const Verdict& verdict, DWORD dwCause, DWORD dwCallerEvent) {
  if (verdict.bForwarded) dwCause = EC_FORWARDED;
  const SimPhone* pPhone = state.phones.FindByNumber(verdict.strTo);
  call.parties.push_back(
      {verdict.strTo, "", pPhone ? DEVICE_TYPE_INTERNAL : DEVICE_TYPE_EXTERNAL, CS_ALERTING});
  const std::size_t iTarget = call.parties.size() - 1;
  call.parties[iCaller].lState = CS_ATTEMPTING;
  Tell(state, call, iCaller, dwCallerEvent, dwCause);
  Tell(state, call, iTarget, CALL_CONNECTION_ALERTING, dwCause);
  const auto now = SimClock::now();
  if (pPhone == nullptr) {
    auto rule = m_outside.find(verdict.strTo);
    if (rule == m_outside.end() || rule->second == SimOutsideRule::kAnswer) {
      m_timers.push_back(
          {now + state.config.outsideAnswerDelay, call.dwNumber, verdict.strTo, false});
    }
  } else if (!pPhone->astrForward[CALL_FORWARD_NO_ANSWER].empty()) {
    m_timers.push_back({now + state.config.noAnswerDelay, call.dwNumber, verdict.strTo, true});
  }
}

void SimCalls::Connect(SwitchSimState& state, SimSwitchCall& call, std::size_t iParty) {
  call.parties[iParty].lState = CS_CONNECTED;
  for (SimParty& party : call.parties) {
    if (party.lState == CS_ATTEMPTING) party.lState = CS_CONNECTED;
  }
  TellAll(state, call, CALL_CONNECTION_ESTABLISHED, EC_NONE);
}

void SimCalls::Leave(SwitchSimState& state, SimSwitchCall& call, std::size_t iParty) {
  const std::string strLeaving = call.parties[iParty].strNumber;
  std::erase_if(m_timers, [&](const Timer& t) {
    return t.dwCall == call.dwNumber && t.strParty == strLeaving;
  });
  const auto leg = call.legs.find(strLeaving);
  const DWORD dwLeg = leg == call.legs.end() ? 0 : leg->second;
  call.parties[iParty].lState = CS_IDLE;
  if (LiveParties(call) >= 2) {
    // A conference goes on without the party: its own leg ends, and then the conference for it.
    if (dwLeg != 0) Tell(state, call, iParty, CALL_CONNECTION_IDLED, EC_NONE, dwLeg);
    for (std::size_t i = 0; i < call.parties.size(); ++i) {
      Tell(state, call, i, CALL_CONNECTION_IDLED, EC_NONE, i == iParty ? 0 : dwLeg);
    }
    call.legs.erase(strLeaving);
    Prune(call);
    return;
  }
  // With one party left the call is over for everyone.
  for (std::size_t i = 0; i < call.parties.size(); ++i) {
    if (i == iParty || call.parties[i].lState == CS_IDLE) continue;
    call.parties[i].lState = CS_IDLE;
  }
  for (std::size_t i = 0; i < call.parties.size(); ++i) {
    Tell(state, call, i, CALL_CONNECTION_IDLED, i == iParty ? EC_NONE : EC_REMOTE_IDLE);
  }
  Erase(call.dwNumber);
}

void SimCalls::Divert(SwitchSimState& state, SimSwitchCall& call, std::size_t iParty,
                      const Verdict& verdict, DWORD dwCause) {
  call.parties[iParty].lState = CS_IDLE;
  Tell(state, call, iParty, CALL_CONNECTION_REDIRECTED, dwCause);
  const std::string strLeft = call.parties[iParty].strNumber;
  std::erase_if(m_timers,
                [&](const Timer& t) { return t.dwCall == call.dwNumber && t.strParty == strLeft; });
  Prune(call);
  std::size_t iCaller = 0;
  while (iCaller + 1 < call.parties.size() && call.parties[iCaller].lState != CS_ATTEMPTING) {
    ++iCaller;
  }
  Ring(state, call, iCaller, verdict, dwCause, CALL_CONNECTION_ATTEMPTING);
}

void SimCalls::Merge(SwitchSimState& state, SimSwitchCall& keep, SimSwitchCall& gone) {
  // Those who knew the other call see it end and the merged call appear.
  for (std::size_t i = 0; i < gone.parties.size(); ++i) {
    if (gone.parties[i].lState == CS_IDLE) continue;
    const LONG lState = gone.parties[i].lState;
    gone.parties[i].lState = CS_IDLE;
    Tell(state, gone, i, CALL_CONNECTION_TRANSFERRED, EC_NONE, keep.dwNumber);
    gone.parties[i].lState = lState;
  }
  for (const SimParty& party : gone.parties) {
    if (party.lState != CS_IDLE) keep.parties.push_back(party);
  }
  for (Timer& timer : m_timers) {
    if (timer.dwCall == gone.dwNumber) timer.dwCall = keep.dwNumber;
  }
  Erase(gone.dwNumber);
}

void SimCalls::Prune(SimSwitchCall& call) {
  std::erase_if(call.parties, [](const SimParty& p) { return p.lState == CS_IDLE; });
}

void SimCalls::Erase(DWORD dwCall) {
  std::erase_if(m_timers, [dwCall](const Timer& t) { return t.dwCall == dwCall; });
  m_calls.erase(dwCall);
}

// --- Requests ---------------------------------------------------------------------------------

void SimCalls::OnRequest(SwitchSimState& state, SimSession& session, const SimReceived& request) {
  const SimPhone* pPhone = state.phones.FindByDevice(request.Str("strDevice"));
  DWORD dwNewCall = 0;
  m_bHolding = true;
  const DWORD dwError = pPhone ? Handle(state, pPhone->config.strNumber, request, &dwNewCall)
                               : OMBIX_ERROR_INVALID_DEVICE;
  m_bHolding = false;
  BYTE buffer[kOmbixMaxBody];
  COmbixWriter w(buffer, sizeof(buffer));
  w.WriteDword(request.dwMsgType + 1);
  w.WriteDword(request.dwInvokeID);
  w.WriteDword(dwError);
  switch (request.dwMsgType) {
    case OMBIX_MAKE_CALL_REQ:
    case OMBIX_SETUP_TRANSFER_REQ:
    case OMBIX_SETUP_CONFERENCE_REQ:
      w.WriteObjectId(dwNewCall != 0 ? CallOid(dwNewCall) : ObjectId{});
      break;
    default:
      break;
  }
  std::vector<Pending> pending;
  pending.swap(m_pending);
  auto sendEvents = [&] {
    for (const Pending& event : pending) {
      for (auto& [peer, other] : state.sessions) {
        if (other.dwSession == event.dwSession) state.Queue(other, event.body);
      }
    }
  };
  const bool bEventsFirst = state.config.setEventsFirst.count(request.dwMsgType) != 0;
  if (bEventsFirst) sendEvents();
  state.Queue(session, std::vector<BYTE>(buffer, buffer + w.GetLength()));
  if (!bEventsFirst) sendEvents();
}

DWORD SimCalls::Handle(SwitchSimState& state, const std::string& strPhone,
                       const SimReceived& request, DWORD* pdwNewCall) {
  SimSwitchCall* pCall = Find(request.Oid(request.Find("oidCall") ? "oidCall" : "oidActiveCall"));
  const std::size_t iMe = pCall ? PartyIndex(*pCall, strPhone) : 0;
  const bool bInCall = pCall != nullptr && iMe < pCall->parties.size();
  const LONG lMyState = bInCall ? pCall->parties[iMe].lState : CS_IDLE;
  const std::string strNumber = request.Str("strNumber");
  auto startCall = [&]() -> SimSwitchCall& {
    SimSwitchCall& call = NewCall(state);
    call.parties.push_back({strPhone, "", DEVICE_TYPE_INTERNAL, CS_DIALING});
    *pdwNewCall = call.dwNumber;
    return call;
  };

  switch (request.dwMsgType) {
    case OMBIX_MAKE_CALL_REQ: {
      std::size_t nCalls = 0;
      for (const auto& [number, call] : m_calls) {
        if (PartyIndex(call, strPhone) < call.parties.size()) ++nCalls;
      }
      if (nCalls >= state.phones.FindByNumber(strPhone)->config.dwMaxCalls) {
        return OMBIX_ERROR_RESOURCE_BUSY;
      }
      SimSwitchCall& call = startCall();
      Tell(state, call, 0, CALL_CONNECTION_INITIATED, EC_NONE, 0, strNumber);
      if (!strNumber.empty()) Offer(state, call, 0, strNumber, EC_NONE, CALL_CONNECTION_ATTEMPTING);
      return 0;
    }
    case OMBIX_SETUP_TRANSFER_REQ:
    case OMBIX_SETUP_CONFERENCE_REQ: {
      if (!bInCall) return OMBIX_ERROR_INVALID_CALL;
      if (lMyState != CS_CONNECTED && lMyState != CS_HELD) return OMBIX_ERROR_INVALID_STATE;
      const DWORD dwHeld = pCall->dwNumber;
      if (lMyState == CS_CONNECTED) {
        pCall->parties[iMe].lState = CS_HELD;
        TellAll(state, *pCall, CALL_CONNECTION_HELD, EC_NONE);
      }
      SimSwitchCall& call = startCall();
      Tell(state, call, 0, CALL_CONNECTION_INITIATED, EC_NONE, dwHeld, strNumber);
      if (!strNumber.empty()) Offer(state, call, 0, strNumber, EC_NONE, CALL_CONNECTION_ATTEMPTING);
      return 0;
    }
    case OMBIX_DIAL_DIGITS_REQ:
      if (!bInCall) return OMBIX_ERROR_INVALID_CALL;
      if (lMyState == CS_CONNECTED) return 0;  // tones on a call that is through
      if (lMyState != CS_DIALING || pCall->parties.size() != 1) return OMBIX_ERROR_INVALID_STATE;
      if (request.Str("strDigits").empty()) return OMBIX_ERROR_INVALID_NUMBER;
      Offer(state, *pCall, iMe, request.Str("strDigits"), EC_NONE, CALL_CONNECTION_ATTEMPTING);
      return 0;
    case OMBIX_ANSWER_CALL_REQ:
      if (!bInCall || lMyState != CS_ALERTING) return OMBIX_ERROR_NO_CALL_TO_ANSWER;
      std::erase_if(m_timers, [&](const Timer& t) {
        return t.dwCall == pCall->dwNumber && t.strParty == strPhone;
      });
      Connect(state, *pCall, iMe);
      return 0;
    case OMBIX_HOLD_CALL_REQ:
    case OMBIX_RETRIEVE_CALL_REQ: {
      const bool bHold = request.dwMsgType == OMBIX_HOLD_CALL_REQ;
      if (!bInCall) return OMBIX_ERROR_INVALID_CALL;
      if (lMyState != (bHold ? CS_CONNECTED : CS_HELD)) return OMBIX_ERROR_INVALID_STATE;
      pCall->parties[iMe].lState = bHold ? CS_HELD : CS_CONNECTED;
      TellAll(state, *pCall, bHold ? CALL_CONNECTION_HELD : CALL_CONNECTION_RETRIEVED, EC_NONE);
      return 0;
    }
    case OMBIX_ALTERNATE_CALL_REQ: {
      SimSwitchCall* pOther = Find(request.Oid("oidOtherCall"));
      const std::size_t iOther = pOther ? PartyIndex(*pOther, strPhone) : 0;
      if (!bInCall || pOther == nullptr || iOther >= pOther->parties.size()) {
        return OMBIX_ERROR_INVALID_CALL;
      }
      if (lMyState != CS_CONNECTED || pOther->parties[iOther].lState != CS_HELD) {
        return OMBIX_ERROR_INVALID_STATE;
      }
      pCall->parties[iMe].lState = CS_HELD;
      TellAll(state, *pCall, CALL_CONNECTION_HELD, EC_NONE);
      pOther->parties[iOther].lState = CS_CONNECTED;
      TellAll(state, *pOther, CALL_CONNECTION_RETRIEVED, EC_NONE);
      return 0;
    }
    case OMBIX_DROP_CONNECTION_REQ:
      if (!bInCall) return OMBIX_ERROR_INVALID_CALL;
      Leave(state, *pCall, iMe);
      return 0;
    case OMBIX_DROP_CONFERENCE_CONNECTION_REQ: {
      if (!bInCall || pCall->legs.empty()) return OMBIX_ERROR_INVALID_CALL;
      const std::size_t iDrop = PartyIndex(*pCall, request.Str("strDropDevice"));
      if (iDrop >= pCall->parties.size()) return OMBIX_ERROR_INVALID_PARAMETER;
      Leave(state, *pCall, iDrop);
      return 0;
    }
    case OMBIX_SINGLE_STEP_TRANSFER_REQ:
    case OMBIX_REDIRECT_CALL_REQ: {
      const bool bRedirect = request.dwMsgType == OMBIX_REDIRECT_CALL_REQ;
      if (!bInCall) return OMBIX_ERROR_INVALID_CALL;
      if (bRedirect && request.Dword("dwRedirectTo") != REDIRECT_TO_NUMBER) {
        return OMBIX_ERROR_NOT_SUPPORTED;
      }
      if (bRedirect
              ? lMyState != CS_ALERTING
              : (lMyState != CS_CONNECTED && lMyState != CS_HELD) || LiveParties(*pCall) != 2) {
        return OMBIX_ERROR_INVALID_STATE;
      }
      const std::string strTo = bRedirect ? request.Str("strDigits") : strNumber;
      if (strTo.empty()) return OMBIX_ERROR_INVALID_NUMBER;
      const Verdict verdict = Judge(state, strTo, strPhone);
      if (verdict.bFailed) return OMBIX_ERROR_RESOURCE_BUSY;
      if (bRedirect) {
        Divert(state, *pCall, iMe, verdict, EC_REDIRECT);
        return 0;
      }
      pCall->parties[iMe].lState = CS_IDLE;
      Tell(state, *pCall, iMe, CALL_CONNECTION_TRANSFERRED, EC_NONE);
      Prune(*pCall);
      Ring(state, *pCall, 0, verdict, EC_NONE, CALL_CONNECTION_TRANSFERRED);
      return 0;
    }
    case OMBIX_COMPLETE_TRANSFER_REQ: {
      SimSwitchCall* pHeld = Find(request.Oid("oidHeldCall"));
      const std::size_t iHeld = pHeld ? PartyIndex(*pHeld, strPhone) : 0;
      if (!bInCall || pHeld == nullptr || pHeld == pCall || iHeld >= pHeld->parties.size() ||
          LiveParties(*pCall) != 2 || LiveParties(*pHeld) != 2) {
        return OMBIX_ERROR_INVALID_CALL;
      }
      pHeld->parties[iHeld].lState = CS_IDLE;
      Tell(state, *pHeld, iHeld, CALL_CONNECTION_TRANSFERRED, EC_NONE, pCall->dwNumber);
      pCall->parties[iMe].lState = CS_IDLE;
      Tell(state, *pCall, iMe, CALL_CONNECTION_TRANSFERRED, EC_NONE, pHeld->dwNumber);
      Prune(*pHeld);
      Merge(state, *pHeld, *pCall);
      const bool bRinging = RingingIndex(*pHeld) < pHeld->parties.size();
      for (SimParty& party : pHeld->parties) {
        if (party.lState != CS_ALERTING) party.lState = bRinging ? CS_ATTEMPTING : CS_CONNECTED;
      }
      TellAll(state, *pHeld, CALL_CONNECTION_TRANSFERRED, EC_NONE);
      return 0;
    }
    case OMBIX_CONFERENCE_CALL_REQ: {
      // The other call may be one the client has no id for yet: then the phone's held call.
      SimSwitchCall* pOther = Find(request.Oid("oidOtherCall"));
      if (pOther == nullptr || PartyIndex(*pOther, strPhone) >= pOther->parties.size()) {
        pOther = nullptr;
        for (auto& [number, call] : m_calls) {
          const std::size_t i = PartyIndex(call, strPhone);
          if (&call != pCall && i < call.parties.size() && call.parties[i].lState == CS_HELD) {
            pOther = &call;
          }
        }
      }
      if (!bInCall || pOther == nullptr || pOther == pCall || LiveParties(*pCall) != 2) {
        return OMBIX_ERROR_INVALID_CALL;
      }
      std::vector<DWORD> joined;
      SimSwitchCall* pConf = pOther;
      if (pOther->legs.empty()) {
        pConf = &NewCall(state);
        pConf->parties = pOther->parties;
        for (const SimParty& party : pOther->parties) {
          if (party.strNumber != strPhone) pConf->legs[party.strNumber] = pOther->dwNumber;
        }
        joined.push_back(pOther->dwNumber);
        for (Timer& timer : m_timers) {
          if (timer.dwCall == pOther->dwNumber) timer.dwCall = pConf->dwNumber;
        }
        m_calls.erase(pOther->dwNumber);
      }
      for (const SimParty& party : pCall->parties) {
        if (party.strNumber == strPhone) continue;
        pConf->parties.push_back(party);
        pConf->legs[party.strNumber] = pCall->dwNumber;
      }
      joined.push_back(pCall->dwNumber);
      for (Timer& timer : m_timers) {
        if (timer.dwCall == pCall->dwNumber) timer.dwCall = pConf->dwNumber;
      }
      m_calls.erase(pCall->dwNumber);
      for (SimParty& party : pConf->parties) {
        if (party.lState == CS_HELD || party.strNumber == strPhone) party.lState = CS_CONNECTED;
      }
      for (DWORD dwLeg : joined)
        TellAll(state, *pConf, CALL_CONNECTION_CONFERENCED, EC_NONE, dwLeg);
      return 0;
    }
    case OMBIX_PARK_CALL_REQ:
      if (!bInCall) return OMBIX_ERROR_INVALID_CALL;
      if (lMyState != CS_CONNECTED || !pCall->legs.empty() || LiveParties(*pCall) != 2) {
        return OMBIX_ERROR_INVALID_STATE;
      }
      pCall->parties.push_back({kParkNumber, "", DEVICE_TYPE_PARK, CS_CONNECTED});
      pCall->parties[iMe].lState = CS_IDLE;
      TellAll(state, *pCall, CALL_CONNECTION_TRANSFERRED, EC_PARK);
      Prune(*pCall);
      return 0;
    case OMBIX_PICKUP_CALL_REQ: {
      // A call parked, or ringing at the named phone (any other phone when none is named).
      const std::string strFrom = request.Str("strFromDevice");
      const bool bUnpark = strFrom == kParkNumber;
      for (auto& [number, call] : m_calls) {
        std::size_t i = 0;
        for (; i < call.parties.size(); ++i) {
          const SimParty& p = call.parties[i];
          const bool bNamed = strFrom.empty()
                                  ? IsPhone(state, p.strNumber) && p.strNumber != strPhone
                                  : p.strNumber == strFrom;
          if (bNamed && p.lState == (bUnpark ? CS_CONNECTED : CS_ALERTING)) break;
        }
        if (i == call.parties.size()) continue;
        const std::string strLeft = call.parties[i].strNumber;
        std::erase_if(m_timers, [&](const Timer& t) {
          return t.dwCall == call.dwNumber && t.strParty == strLeft;
        });
        call.parties[i].lState = CS_IDLE;
        if (!bUnpark) Tell(state, call, i, CALL_CONNECTION_IDLED, EC_PICKUP);
        Prune(call);
        call.parties.push_back({strPhone, "", DEVICE_TYPE_INTERNAL, CS_CONNECTED});
        for (SimParty& party : call.parties) {
          if (party.lState == CS_ATTEMPTING) party.lState = CS_CONNECTED;
        }
        TellAll(state, call, CALL_CONNECTION_ESTABLISHED, bUnpark ? EC_PARK : EC_PICKUP);
        return 0;
      }
      return OMBIX_ERROR_NO_CALL_TO_PICKUP;
    }
    default:
      return OMBIX_ERROR_NOT_SUPPORTED;
  }
}

// --- Timers and commands ----------------------------------------------------------------------

bool SimCalls::NextDue(SimClock::time_point& due) const {
  if (m_timers.empty()) return false;
  due = std::min_element(m_timers.begin(), m_timers.end(), [](const Timer& a, const Timer& b) {
          return a.due < b.due;
        })->due;
  return true;
}

void SimCalls::OnTimers(SwitchSimState& state, SimClock::time_point now) {
  for (;;) {
    auto it = std::find_if(m_timers.begin(), m_timers.end(),
                           [now](const Timer& t) { return t.due <= now; });
    if (it == m_timers.end()) return;
    const Timer timer = *it;
    m_timers.erase(it);
    SimSwitchCall* pCall = Find(timer.dwCall);
    const std::size_t i = pCall ? PartyIndex(*pCall, timer.strParty) : 0;
    if (pCall == nullptr || i >= pCall->parties.size() || pCall->parties[i].lState != CS_ALERTING) {
      continue;
    }
    if (!timer.bForward) {
      Connect(state, *pCall, i);
      continue;
    }
    const SimPhone* pPhone = state.phones.FindByNumber(timer.strParty);
    const Verdict verdict = Judge(state, pPhone->astrForward[CALL_FORWARD_NO_ANSWER], "");
    if (!verdict.bFailed) Divert(state, *pCall, i, verdict, EC_FORWARDED);
  }
}

std::string SimCalls::Put(SwitchSimState& state, const std::string& strPhone,
                          const std::string& strOther, LONG lState, DWORD* pdwCall) {
  if (!IsPhone(state, strPhone)) return "no phone " + strPhone;
  SimSwitchCall& call = NewCall(state);
  const SimParty phone{strPhone, "", DEVICE_TYPE_INTERNAL, lState};
  const SimParty other{strOther, "",
                       IsPhone(state, strOther) ? DEVICE_TYPE_INTERNAL : DEVICE_TYPE_EXTERNAL,
                       lState == CS_ALERTING ? CS_ATTEMPTING : CS_CONNECTED};
  call.parties = lState == CS_ALERTING ? std::vector<SimParty>{other, phone}
                                       : std::vector<SimParty>{phone, other};
  *pdwCall = call.dwNumber;
  const DWORD dwEvent = lState == CS_ALERTING ? CALL_CONNECTION_ALERTING
                        : lState == CS_HELD   ? CALL_CONNECTION_HELD
                                              : CALL_CONNECTION_ESTABLISHED;
  Tell(state, call, lState == CS_ALERTING ? 1 : 0, dwEvent, EC_NONE);
  return "";
}

std::string SimCalls::Incoming(SwitchSimState& state, const std::string& strTo,
                               const std::string& strFrom, const std::string& strName,
                               DWORD* pdwCall) {
  if (!IsPhone(state, strTo)) return "no phone " + strTo;
  SimSwitchCall& call = NewCall(state);
  *pdwCall = call.dwNumber;
  if (IsPhone(state, strFrom)) {
    call.parties.push_back({strFrom, strName, DEVICE_TYPE_INTERNAL, CS_DIALING});
    Tell(state, call, 0, CALL_CONNECTION_INITIATED, EC_NONE, 0, strTo);
  } else {
    call.parties.push_back({strFrom, strName, DEVICE_TYPE_EXTERNAL, CS_DIALING});
  }
  Offer(state, call, 0, strTo, EC_NONE, CALL_CONNECTION_ATTEMPTING);
  return "";
}

std::string SimCalls::Answer(SwitchSimState& state, DWORD dwCall, const std::string& strParty) {
  SimSwitchCall* pCall = Find(dwCall);
  if (pCall == nullptr) return "no call " + std::to_string(dwCall);
  const std::size_t i = strParty.empty() ? RingingIndex(*pCall) : PartyIndex(*pCall, strParty);
  if (i >= pCall->parties.size() || pCall->parties[i].lState != CS_ALERTING) {
    return "nobody to answer call " + std::to_string(dwCall);
  }
  const std::string strAnswering = pCall->parties[i].strNumber;
  std::erase_if(m_timers,
                [&](const Timer& t) { return t.dwCall == dwCall && t.strParty == strAnswering; });
  Connect(state, *pCall, i);
  return "";
}

std::string SimCalls::Hold(SwitchSimState& state, DWORD dwCall, const std::string& strParty,
                           bool bHold) {
  SimSwitchCall* pCall = Find(dwCall);
  if (pCall == nullptr) return "no call " + std::to_string(dwCall);
  const std::size_t i = PartyIndex(*pCall, strParty);
  if (i >= pCall->parties.size())
    return "no party " + strParty + " on call " + std::to_string(dwCall);
  if (pCall->parties[i].lState != (bHold ? CS_CONNECTED : CS_HELD)) {
    return strParty + (bHold ? " is not connected" : " is not holding");
  }
  pCall->parties[i].lState = bHold ? CS_HELD : CS_CONNECTED;
  TellAll(state, *pCall, bHold ? CALL_CONNECTION_HELD : CALL_CONNECTION_RETRIEVED, EC_NONE);
  return "";
}

std::string SimCalls::Hangup(SwitchSimState& state, DWORD dwCall, const std::string& strParty) {
  SimSwitchCall* pCall = Find(dwCall);
  if (pCall == nullptr) return "no call " + std::to_string(dwCall);
  if (!strParty.empty()) {
    const std::size_t i = PartyIndex(*pCall, strParty);
    if (i >= pCall->parties.size())
      return "no party " + strParty + " on call " + std::to_string(dwCall);
    Leave(state, *pCall, i);
    return "";
  }
  for (SimParty& party : pCall->parties) party.lState = CS_IDLE;
  TellAll(state, *pCall, CALL_CONNECTION_IDLED, EC_NONE);
  Erase(dwCall);
  return "";
}

void SimCalls::SetOutside(const std::string& strNumber, SimOutsideRule rule) {
  m_outside[strNumber] = rule;
}

std::string SimCalls::Repeat(SwitchSimState& state, DWORD dwCall) {
  auto it = m_lastEvents.find(dwCall);
  if (it == m_lastEvents.end()) return "no event of call " + std::to_string(dwCall);
  for (const auto& [dwMonitorID, told] : it->second) {
    for (auto& [peer, session] : state.sessions) {
      if (session.dwSession == told.dwSession) state.Queue(session, told.body);
    }
  }
  return "";
}

std::string SimCalls::Forget(DWORD dwCall) {
  if (Find(dwCall) == nullptr) return "no call " + std::to_string(dwCall);
  Erase(dwCall);
  return "";
}

std::string SimCalls::TellEvent(SwitchSimState& state, const std::string& strPhone, DWORD dwCall,
                                DWORD dwEvent, DWORD dwCause, DWORD dwRelated) {
  const SimSwitchCall* pCall = Find(dwCall);
  if (pCall == nullptr) return "no call " + std::to_string(dwCall);
  const std::size_t i = PartyIndex(*pCall, strPhone);
  if (i >= pCall->parties.size())
    return "no party " + strPhone + " on call " + std::to_string(dwCall);
  Tell(state, *pCall, i, dwEvent, dwCause, dwRelated);
  return "";
}

std::string SimCalls::Describe() const {
  std::ostringstream out;
  for (const auto& [number, call] : m_calls) {
    out << "call " << number << (call.legs.empty() ? "" : " (conference)");
    for (const SimParty& party : call.parties) {
      out << " " << (party.strNumber.empty() ? "-" : party.strNumber) << " "
          << ConnectionStateName(party.lState);
    }
    out << "\n";
  }
  return out.str();
}
