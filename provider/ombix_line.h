// COmbixLine: the switch provider's line, one configured phone (number and password) shown to
// TAPI as one line device with one address. Here: its set-up from the settings, the open that
// starts its monitor on the switch, the restart of the monitor after every login, the phone-state,
// phone-configuration and forwarding answers, and the check of its calls after a lost link.
//
// Contract:
// - Init reads the line's number and password from "Line.%X.Number"/"Line.%X.Password" of the
//   provider ID's key, derives the device string (the switch's name for the phone) and makes the
//   one address.
// - The line starts out of service; a login puts it in service, a refused login, a lost link, a
//   refused monitor start or the switch's word takes it out. TAPI sees the same in the line's
//   LINEDEVSTATUSFLAGS_INSERVICE, reported as LINEDEVSTATE_INSERVICE/OUTOFSERVICE when it
//   changes; each status flag changes on its own, so none undoes another's change.
// - OpenConnection (a TAPI thread) waits up to the monitor-start wait for the monitor's answer
//   and returns TRUE in every case. A monitor start goes out only while the link is logged in:
//   a login that comes during the open's wait starts the monitor through RestartMonitor.
// - The monitor ID, by which the device routes events, belongs to the link's session: the end of
//   a session (a lost link, or the link stopped) takes it from every line, and the new session's
//   comes with the monitor-start answer. A refused start leaves it: the switch checks the
//   password first and keeps the monitor it has. A line never shares its ID with another line of
//   the device: an answer 0 takes the ID from the line that held it, and a "duplicate" answer
//   gives the ID only when no other line holds it (of two lines of one number, one hears the
//   phone). These changes run on the link's worker thread, but for a stop of the link.
// - The switch reports the calls of a closed line too (the device starts every line's monitor),
//   and TAPI hears nothing of them. Once an open has succeeded, each call of the line that TAPI
//   has no handle for is announced: LINE_NEWCALL, then its state and its call information; a
//   conference before the other calls, so that its members' CONFERENCED names it. The line's
//   call events, the resynchronisation's idling and that announcement run one at a time (the
//   line's event gate), so no call is announced twice and none is heard of before its NEWCALL.
// - The device calls the On* operations, SetInService, SetOutOfService and RestartMonitor on the
//   link's worker thread, one at a time; they never wait for a TAPI thread.
// - After a lost link, the first monitor start that succeeds starts the resynchronisation: the
//   line notes the calls of address 0 it holds at that answer, and a thread of the line waits
//   the resync delay, then idles those of them that neither the switch's call list nor any call
//   event since the answer named. A call that begins after the answer is left alone. A link lost
//   again before the thread runs holds it off, and the next answer starts it over. The line joins
//   that thread before it goes; a destruction during the wait ends it at once, without touching
//   the calls.
// - Flags, the monitor ID and the stored error are atomic words, read by any thread; the strings,
//   the monitor ID, the reported call numbers and the noted calls change under the object's lock.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "framework/call_ref.h"
#include "framework/line_connection.h"
#include "platform/afx_string.h"
#include "platform/afxmt.h"
#include "switchapi/ombix_events.h"
#include "switchapi/ombix_msg.h"
#include "switchapi/ombix_wire.h"

class COmbixDevice;
class CTSPIConferenceCall;

// LINEINDEXQUERY on TAPI's generic dialog data channel: {query, TAPI device ID} from the UI side,
// answered in place with {answer, line index}.
inline constexpr DWORD OMBIX_LINEINDEX_QUERY = 0xFFFF0001;
inline constexpr DWORD OMBIX_LINEINDEX_ANSWER = 0xFFFF0002;
struct LINEINDEXQUERY {
  DWORD dwCode;
  DWORD dwValue;
};
static_assert(sizeof(LINEINDEXQUERY) == 8);

// The line's waits. The defaults are the provider's; tests shorten them.
struct OMBIXLINETIMING {
  DWORD dwMonitorStartWait = 5000;  // ms an opening line waits for its monitor's answer
  DWORD dwResyncDelay = 6000;       // ms the switch is given to list its calls after a reconnect
};

inline constexpr DWORD kOmbixDefaultPingTimer = 60000;

class COmbixLine : public CTSPILineConnection {
  DECLARE_DYNCREATE(COmbixLine)
 public:
  COmbixLine();
  ~COmbixLine() override;

  void Init(CTSPIDevice* pDevice, DWORD dwLineDeviceID, DWORD dwPos,
            DWORD_PTR dwItemData = 0) override;
  BOOL OpenConnection() override;
  // The framework's open, then the announcement of the calls TAPI does not know yet.
  LONG OpenLine(HTAPILINE htLine, LINEEVENT lpfnEventProc, DWORD dwTSPIVersion) override;

  // Service state, set by the device as the link comes, fails or goes.
  virtual void SetInService();
  // bReconnect: the link was lost, so the calls are checked again once the monitor is back.
  virtual void SetOutOfService(BOOL bReconnect);
  // After every successful login: the switch forgot the monitor.
  virtual void RestartMonitor();
  // The link's session ended: its monitor ID may name another phone's monitor in the next one.
  void ForgetMonitor();

  // What the switch sends for this line (routed by the device).
  virtual void OnMonitorStartRsp(const COmbixMonitorRsp* pRsp);
  virtual void OnHoldCallRsp(const COmbixRsp* pRsp);
  virtual void OnGetCallForwardingRsp(const COmbixCallForwardingRsp* pRsp);
  virtual void OnQueryPhoneConfigRsp(const COmbixPhoneConfigRsp* pRsp);
  // Every other response, OMBIX_FAILURE_RSP included.
  virtual void OnResponse(const COmbixRsp* pRsp);
  // Finds, adopts or creates the call the event names and applies the event to it.
  virtual void OnCallConnectionEvent(const COmbixCallConnectionEvent* pEvent);
  virtual void OnPhoneStateEvent(const COmbixPhoneStateEvent* pEvent);

  // Idles every call noted when the resynchronisation began that the switch has not named since
  // (a member of a named conference counts as named; a make-call's call the switch has not named
  // yet is left alone), clears the line's numbers of each, then forgets the notes and the names.
  virtual void ResyncCalls();
  // Ends the resynchronisation thread (at once while it waits) and joins it; none starts after.
  // The device calls it for every line before the lines go, so that no thread of a line still
  // runs while a derived line's destructor takes its table down.
  void StopResync();

  // Answers LINEINDEXQUERY; other dialog data is left as it came. 0 in every case.
  LONG GenericDialogData(TSPIDIALOGINSTANCE* pDlgInst, LPVOID lpParams, DWORD dwSize) override;

  // The switch device name a phone number stands for: with a lower-case "x" in it, the part
  // before it when the part after it is empty or ends it, else the part after it.
  static CString DeviceStringFromNumber(LPCSTR pszNumber);

  DWORD GetLineIndex() const { return m_dwLineIndex.load(); }
  DWORD GetMonitorID() const { return m_dwMonitorID.load(); }
  BOOL IsOutOfService() const { return m_dwOutOfService.load(); }
  BOOL IsReconnectPending() const { return m_dwReconnectPending.load(); }
  // The stored line error: a switch result code, 0 for none.
  DWORD GetLineError() const { return m_dwLineError.load(); }
  CString GetNumber() const;
  CString GetPassword() const;
  CString GetDeviceString() const;
  // The call numbers the switch listed since the last resynchronisation began (and, while one
  // waits, named in any call event).
  std::vector<DWORD> GetReportedCallNumbers() const;

 protected:
  explicit COmbixLine(const OMBIXLINETIMING& timing);

  // A string of the provider's "Device%ld" key whose name is the format filled with the index.
  CString ReadLineString(LPCSTR pszFormat, LPCSTR pszDefault = "");
  COmbixDevice* GetOmbixDevice() const;
  // The switch's ID for this line's monitor (0: none); the device's monitor index follows it.
  void SetMonitorID(DWORD dwMonitorID);

  std::atomic<DWORD> m_dwOutOfService{1};
  std::atomic<DWORD> m_dwLineIndex{0xFFFFFFFF};
  std::atomic<DWORD> m_dwReconnectPending{0};
  std::atomic<DWORD> m_dwLineError{0};
  CString m_strNumber;        // under the object's lock
  CString m_strPassword;      // under the object's lock
  CString m_strDeviceString;  // under the object's lock

 private:
  // Reads the password again and sends the monitor start (dropped by the link when not logged in).
  void SendMonitorStart();
  // The address's calls (none for NULL), each with a reference of the list's own.
  static void AddCallsOf(CTSPIAddressInfo* pAddr, std::vector<CCallRef>& calls);
  void StartResync();
  // The link was lost: a waiting resynchronisation waits for the next answer, which starts it over.
  void HoldOffResync();
  void ResyncThreadMain();
  // Under the event gate: LINE_NEWCALL, state and call information of every call of the line
  // that is not idle and has no TAPI handle, conference calls first.
  void AnnounceUnknownCalls();

  const OMBIXLINETIMING m_timing;
  std::atomic<DWORD> m_dwMonitorID{0};  // changed under the object's lock (SetMonitorID)
  CEvent m_evtMonitorStartDone;         // manual reset; set by the monitor's answer
  // An open waits for its monitor; a restart then sends the start unless the open's went out.
  std::atomic<DWORD> m_dwMonitorStartInProgress{0};
  // The current open's monitor start went out in this session (claimed by whoever sends it).
  std::atomic<DWORD> m_dwMonitorStartSent{0};
  std::vector<DWORD> m_arrReportedCalls;  // under the object's lock
  // The calls held when the resynchronisation began, and whether every call event's number is
  // noted (from then until it runs); under the object's lock.
  std::vector<CCallRef> m_arrResyncCalls;
  bool m_bNamingCalls = false;
  // The event gate: held over one call event, one resynchronisation's idling or one open's
  // announcement, and taken before any call's lock (see base_object.h).
  std::mutex m_mxCallEvents;

  // The resynchronisation thread; started by the worker, joined by the worker or the destructor.
  std::mutex m_mxResync;
  std::condition_variable m_cvResync;
  std::thread m_thResync;
  std::chrono::steady_clock::time_point m_tpResyncDue;  // under m_mxResync
  bool m_bResyncWaiting = false;                        // under m_mxResync
  bool m_bResyncHeldOff = false;                        // under m_mxResync
  bool m_bResyncStop = false;                           // under m_mxResync

  // ---- Call control: requests, responses and call events (ombix_line_requests.cpp,
  // ombix_line_events.cpp) ----
  //
  // - One request at a time is with the switch (drops beside it). Every message the line sends
  //   is noted, before it goes, with the response it awaits; a response settles the oldest note
  //   of its type, in send order, and OMBIX_FAILURE_RSP the oldest note of any type. A note is
  //   either the TAPI request's own message or one the line sends for its own purposes, which
  //   completes no TAPI request: the hold before a make-call, the later messages of a forward,
  //   and, with no request at all, the monitor start and the phone-state, phone-configuration
  //   and forwarding queries. A failure that settles the monitor start refuses the monitor as
  //   its own response would; one that settles a query does nothing more.
  // - A lost link fails every request with a note with LINEERR_OPERATIONFAILED and drops the
  //   notes of the line's own messages.
  // - A make-call while a call is active holds that call first; the make-call goes out on the
  //   hold's answer or once the hold wait has passed (the provider's timer thread), and a refused
  //   hold completes it with the mapped error. Nothing blocks the worker or a TAPI thread.
  // - Call events run on the link's worker thread; the call numbers are atomic words.
 public:
  LONG MakeCall(DRV_REQUESTID dwRequestID, HTAPICALL htCall, CTSPICallAppearance** ppCall,
                TSPIMAKECALL* pMakeCall) override;
  BOOL ProcessData(DWORD dwData, LPCVOID lpBuff, DWORD dwSize) override;
  // TRUE when the request may go to the switch; otherwise it has been completed.
  virtual BOOL CheckLineUsable(CTSPIRequest* pReq);
  // A switch result code as a TAPI result.
  static LONG MapError(DWORD dwError);
  // dwOptions of a make-call, set-up transfer or set-up conference.
  static DWORD CallOptionsFromParams(const LINECALLPARAMS* lpCallParams);
  // Applies one call-connection event to its call (the line's call numbers, id, origin, related
  // call, parties, state).
  virtual void ApplyCallEvent(const COmbixCallConnectionEvent* pEvent, CTSPICallAppearance* pCall);
  // The call of address 0 with that switch id, with a reference the caller releases; NULL when
  // none. FindCallById skips conference calls, FindConfCallById finds only those.
  CTSPICallAppearance* FindCallById(const ObjectId& oid);
  CTSPIConferenceCall* FindConfCallById(const ObjectId& oid);
  // A ringing, held or conferenced call cannot be dropped from here.
  DWORD FilterCallFeatures(CTSPICallAppearance* pCall, DWORD dwFeatures) override;
  // The provider's timer thread: the make-call waiting for the hold of pCall's line goes out.
  void OnHoldWaitExpired(CTSPICallAppearance* pCall);

  DWORD GetActiveCallNumber() const { return m_dwActiveCall.load(); }
  DWORD GetHeldCallNumber() const { return m_dwHeldCall.load(); }
  DWORD GetAlertingCallNumber() const { return m_dwAlertingCall.load(); }

 protected:
  // How long a make-call waits for the hold of the active call (tests shorten it).
  void SetHoldWait(DWORD dwMsecs) { m_dwHoldWait.store(dwMsecs); }

 private:
  // One message with the switch and the response it awaits.
  struct OMBIXSENT {
    DWORD dwRspType = 0;
    CTSPIRequestPtr pReq;  // the request it was sent for; none for the line's own messages
    bool bOwn = false;     // sent for the line's own purposes: completes no request
  };
  using SendFn = std::function<void(COmbixDevice&, DWORD dwInvokeID, LPCSTR pszDevice)>;

  // The resynchronisation's note of the calls the switch names.
  void NoteNamedCall(const COmbixCallConnectionEvent* pEvent);
  // Fails every request with a message at the switch (the link's reset discarded them).
  void FailStartedRequests();
  void StartRequest(CTSPIRequest* pReq);
  // Notes and sends one message; FALSE (the request completed) when the line cannot send.
  bool SendFor(CTSPIRequest* pReq, DWORD dwRspType, bool bOwn, const SendFn& fnSend);
  // Notes and sends a message of the line's own, for no request; nothing while the link is down.
  void SendOwn(DWORD dwRspType, const SendFn& fnSend);
  // Takes the oldest note for the response type (any type for OMBIX_FAILURE_RSP).
  bool TakeSent(DWORD dwRspType, OMBIXSENT& sent);
  void SettleResponse(OMBIXSENT& sent, DWORD dwError, bool bFailure);
  // The switch refused the monitor: the code is the line's error and the line out of service.
  void RefuseMonitor(DWORD dwError);
  void StartMakeCall(CTSPIRequest* pReq);
  void SendMakeCall(CTSPIRequest* pReq);
  void StartForward(CTSPIRequest* pReq);
  // The make-call waiting for its hold, taken by whoever moves it on; NULL when none waits.
  CTSPIRequestPtr TakeHoldWait(CTSPIRequest* pOnly);
  void ApplyRelatedCall(const COmbixCallConnectionEvent* pEvent, CTSPICallAppearance* pCall,
                        bool& bDone);
  void UpdateCallNumbers(const COmbixCallConnectionEvent* pEvent);
  // The active, held and alerting numbers that name this call number become 0.
  void ForgetCallNumber(DWORD dwNumber);

  std::atomic<DWORD> m_dwActiveCall{0};
  std::atomic<DWORD> m_dwHeldCall{0};
  std::atomic<DWORD> m_dwAlertingCall{0};
  std::atomic<DWORD> m_dwHoldWait{3000};
  std::deque<OMBIXSENT> m_lstSent;  // under the object's lock
  CTSPIRequestPtr m_pHoldWaitReq;   // under the object's lock
};
