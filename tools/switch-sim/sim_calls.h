// The sim's calls: calls between its phones and to or from outside numbers, driven by the call
// requests of its clients and by commands (the far end answering, holding, hanging up).
//
// Each change is told to every monitor of every phone in the call as OMBIX_CALL_CONNECTION_EVENT:
// connection 0 is the monitored phone, the other parties follow in the order they joined the
// call; a party that has just left is still listed, idle, in the event that tells of it. A
// request is answered first and its events follow. Outside numbers answer after
// SwitchSimConfig::outsideAnswerDelay unless set otherwise with SetOutside.
//
// A call keeps one number for all its parties. Where two calls become one (a completed
// transfer, a conference), the parties of the call that goes see it end and the merged call
// appear; a conference remembers by which call ("leg") each party joined, and names that leg as
// the related call when the party joins or leaves.
//
// Everything here is part of SwitchSimState and runs under its mutex.
#pragma once

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "platform/wintypes.h"
#include "tools/switch-sim/switch_sim.h"

struct SwitchSimState;
struct SimSession;
struct SimMonitor;

struct SimParty {
  std::string strNumber;  // a phone's number, an outside number, or empty (withheld)
  std::string strName;
  DWORD dwDeviceType = 0;  // DEVICE_TYPE_* as the other parties see it
  LONG lState = 0;         // CS_*
};

struct SimSwitchCall {
  DWORD dwNumber = 0;
  std::vector<SimParty> parties;
  std::map<std::string, DWORD> legs;  // conference: party number -> call it joined by
};

enum class SimOutsideRule { kAnswer, kNoAnswer, kBusy, kUnreachable };

class SimCalls {
 public:
  // Whether the model answers this request type itself.
  static bool Answers(DWORD dwRequestType);
  // Answers a call request for the session, then tells the monitors what changed.
  void OnRequest(SwitchSimState& state, SimSession& session, const SimReceived& request);
  // Due answers of outside numbers and no-answer forwarding.
  void OnTimers(SwitchSimState& state, std::chrono::steady_clock::time_point now);
  bool NextDue(std::chrono::steady_clock::time_point& due) const;
  // CALL_CONNECTION_LIST of every call of the monitor's phone.
  void ListTo(SwitchSimState& state, const SimMonitor& monitor);

  // Commands; each returns an empty string or what is wrong.
  // A call already in a state between a phone and another party, told to the phone only (even
  // when the other party is a phone too): no dialling, no forwarding.
  std::string Put(SwitchSimState& state, const std::string& strPhone, const std::string& strOther,
                  LONG lState, DWORD* pdwCall);
  // A call to a phone from another phone or an outside number (empty: withheld), as dialled.
  std::string Incoming(SwitchSimState& state, const std::string& strTo, const std::string& strFrom,
                       const std::string& strName, DWORD* pdwCall);
  // The party (empty: the first that rings) answers.
  std::string Answer(SwitchSimState& state, DWORD dwCall, const std::string& strParty);
  std::string Hold(SwitchSimState& state, DWORD dwCall, const std::string& strParty, bool bHold);
  // The party hangs up; with no party the whole call ends.
  std::string Hangup(SwitchSimState& state, DWORD dwCall, const std::string& strParty);
  void SetOutside(const std::string& strNumber, SimOutsideRule rule);
  // The last event told of the call to each monitor, sent to it again (a switch repeating
  // itself); the call may be over.
  std::string Repeat(SwitchSimState& state, DWORD dwCall);
  // The call ends without a word to any monitor, as one that ends while their link is down.
  std::string Forget(DWORD dwCall);
  // An event of the call as it stands, told to the phone's monitors.
  std::string TellEvent(SwitchSimState& state, const std::string& strPhone, DWORD dwCall,
                        DWORD dwEvent, DWORD dwCause, DWORD dwRelated);

  // One line per call.
  std::string Describe() const;

 private:
  struct Timer {
    std::chrono::steady_clock::time_point due;
    DWORD dwCall;
    std::string strParty;
    bool bForward;  // no-answer forwarding rather than an outside answer
  };
  // Where a call offered to a number ends up: the number that rings (forwarding followed), or
  // the cause of its failure.
  struct Verdict {
    std::string strTo;
    DWORD dwCause = 0;  // EC_*
    bool bFailed = false;
    bool bForwarded = false;
  };

  SimSwitchCall* Find(const ObjectId& oid);
  SimSwitchCall* Find(DWORD dwCall);
  SimSwitchCall& NewCall(SwitchSimState& state);
  bool IsPhone(SwitchSimState& state, const std::string& strNumber);
  Verdict Judge(SwitchSimState& state, const std::string& strTo, const std::string& strFrom);

  // The call rings at strTo (or fails); the caller is told with dwCallerEvent.
  void Offer(SwitchSimState& state, SimSwitchCall& call, std::size_t iCaller,
             const std::string& strTo, DWORD dwCause, DWORD dwCallerEvent);
  void Ring(SwitchSimState& state, SimSwitchCall& call, std::size_t iCaller, const Verdict& verdict,
            DWORD dwCause, DWORD dwCallerEvent);
  void Connect(SwitchSimState& state, SimSwitchCall& call, std::size_t iParty);
  void Leave(SwitchSimState& state, SimSwitchCall& call, std::size_t iParty);
  // The ringing party leaves and the call rings at strTo instead.
  void Divert(SwitchSimState& state, SimSwitchCall& call, std::size_t iParty,
              const Verdict& verdict, DWORD dwCause);
  void Merge(SwitchSimState& state, SimSwitchCall& keep, SimSwitchCall& gone);
  void Prune(SimSwitchCall& call);
  void Erase(DWORD dwCall);

  void Tell(SwitchSimState& state, const SimSwitchCall& call, std::size_t iParty, DWORD dwEvent,
            DWORD dwCause, DWORD dwRelated = 0, const std::string& strDialed = "");
  void TellAll(SwitchSimState& state, const SimSwitchCall& call, DWORD dwEvent, DWORD dwCause,
               DWORD dwRelated = 0);
  void Send(SwitchSimState& state, const SimSwitchCall& call, std::size_t iParty,
            const SimMonitor& monitor, DWORD dwEvent, DWORD dwCause, DWORD dwRelated,
            const std::string& strDialed);

  // Carries out a request of the phone: the response's dwError; *pdwNewCall the call it made.
  DWORD Handle(SwitchSimState& state, const std::string& strPhone, const SimReceived& request,
               DWORD* pdwNewCall);

  struct Pending {
    DWORD dwSession;
    std::vector<BYTE> body;
  };
  // While a request is handled its events wait here, to follow its response.
  bool m_bHolding = false;
  std::vector<Pending> m_pending;

  // The last event told of each of the newest kLastEventsKept calls, by monitor ID.
  struct Told {
    DWORD dwSession;
    std::vector<BYTE> body;
  };
  static constexpr std::size_t kLastEventsKept = 64;
  std::map<DWORD, std::map<DWORD, Told>> m_lastEvents;

  std::map<DWORD, SimSwitchCall> m_calls;
  std::map<std::string, SimOutsideRule> m_outside;
  std::vector<Timer> m_timers;
};
