// COmbixAPI: one link with the switch. Its worker thread logs in to one of two servers (the
// first to acknowledge becomes the active one), receives, acknowledges, resends and pings, decodes
// what the switch sends and hands every message to one of the virtual callbacks below. The
// request methods number a request and queue it; one datagram at a time is outstanding.
//
// Contract:
// - Request methods may be called from any thread, callbacks included. While the link is not
//   connected they drop the request silently, as they do a request too long for one datagram.
// - Numbering, the send queue, the outstanding datagram and the socket swap at login are
//   serialised by one lock of the link; no callback runs while it is held.
// - Callbacks run on the worker thread, one at a time. The message belongs to the link and is
//   deleted when the callback returns.
// - Every return to the login phase goes through ResetSession (queue and outstanding datagram
//   deleted, OnConnectionLost called), so nothing of an old session is sent in a new one.
// - A derived class calls StopThread() first in its destructor: until the worker is joined it may
//   call the derived overrides. The link must not be destroyed on its own worker thread.
// - The time-outs are the protocol's; OMBIXLINKOPTIONS changes them for tests only.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/wintypes.h"
#include "switchapi/ombix_events.h"
#include "switchapi/ombix_msg.h"
#include "switchapi/ombix_send_msg.h"
#include "switchapi/ombix_trace.h"
#include "switchapi/ombix_wire.h"

class COmbixSocket;

// The link's timing and the server port. The defaults are the protocol's; tests shorten them.
struct OMBIXLINKOPTIONS {
  DWORD dwAckTimeout = 2000;  // wait for OMBIX_ACK; also the length of a login round
  DWORD dwMaxRetries = 4;     // login rounds per attempt; resends of an unacknowledged datagram
  DWORD dwPingTimer = 60000;  // keep-alive idle time
  // One receive wait (a login round ends after one without an answer); the resend and keep-alive
  // timers are looked at least this often. A stop does not wait for it.
  DWORD dwReceiveWait = 1000;
  DWORD dwBackOffStep = 5000;  // after the n-th failed login in a row wait min(n * step, max)
  DWORD dwBackOffMax = 30000;
  DWORD dwLoginSpacing = 1000;  // least time between login attempts of all links in the process
  WORD wServerPort = kOmbixServerPort;
  // Told the length of each back-off wait before it starts (tests watch the back-off with it).
  std::function<void(DWORD)> pfnBackOff;
};

class COmbixAPI {
 public:
  COmbixAPI();
  explicit COmbixAPI(const OMBIXLINKOPTIONS& options);
  virtual ~COmbixAPI();
  COmbixAPI(const COmbixAPI&) = delete;
  COmbixAPI& operator=(const COmbixAPI&) = delete;

  // The two servers as dotted IPv4 text; an empty or unparsable address means no server.
  // Then StartSession. Returns what StartThread returns.
  BOOL Start(LPCSTR pszPrimary, LPCSTR pszSecondary, LPCSTR pszClient, LPCSTR pszClientVersion);
  // The servers in host order (0: none) and the client's name and version for the login (each cut
  // to 63 characters; null keeps the one given before), then StartThread.
  BOOL StartSession(DWORD dwPrimary, DWORD dwSecondary, LPCSTR pszClient, LPCSTR pszClientVersion);
  // Starts the worker; an earlier worker is told to stop and given 2500 ms to end, else FALSE
  // and nothing is started. FALSE also on the worker thread itself.
  BOOL StartThread();
  // Tells the worker to end and returns at once; the worker, woken from any wait, disconnects
  // (when connected) and ends. No login datagram is sent once Stop has returned.
  void Stop();
  // Stop, then waits for the worker to end (on the worker thread itself: Stop only).
  void StopThread();

  BOOL IsConnected() const { return m_dwServerAddr.load() != 0; }
  DWORD GetServerAddr() const { return m_dwServerAddr.load(); }  // host order; 0: not connected
  // The servers that logins go to, host order; 0: none.
  DWORD GetPrimaryAddr();
  DWORD GetSecondaryAddr();
  BOOL IsLoggedIn() const { return m_bLoggedIn.load(); }
  DWORD GetPingTimer() const { return m_dwPingTimer.load(); }
  void SetPingTimer(DWORD dwPingTimer) { m_dwPingTimer.store(dwPingTimer); }
  COmbixTrace& GetTrace() { return m_Trace; }

  // Requests: encode, number and queue (dropped while not connected). The answer comes later
  // through OnResponse with the same dwInvokeID. Strings may be null (sent as empty).
  void AlternateCall(DWORD dwInvokeID, LPCSTR strDevice, const ObjectId& oidActiveCall,
                     const ObjectId& oidOtherCall);
  void AnswerCall(DWORD dwInvokeID, LPCSTR strDevice, const ObjectId& oidCall, LPCSTR strPhone);
  void CompleteTransfer(DWORD dwInvokeID, LPCSTR strDevice, const ObjectId& oidActiveCall,
                        const ObjectId& oidHeldCall);
  void DialDigits(DWORD dwInvokeID, LPCSTR strDevice, const ObjectId& oidCall, LPCSTR strDigits);
  void DropConnection(DWORD dwInvokeID, LPCSTR strDevice, const ObjectId& oidCall, DWORD dwReason);
  void HoldCall(DWORD dwInvokeID, LPCSTR strDevice, const ObjectId& oidCall, LPCSTR strPhone);
  void MakeCall(DWORD dwInvokeID, LPCSTR strDevice, LPCSTR strNumber, DWORD dwOptions,
                LPCSTR strPhone);
  void MonitorStart(DWORD dwInvokeID, LPCSTR strDID, LPCSTR strPassword, LPCSTR strNewPassword);
  void MonitorStop(DWORD dwInvokeID, LPCSTR strDevice);
  void ParkCall(DWORD dwInvokeID, LPCSTR strDevice, const ObjectId& oidCall, DWORD dwAutoComplete);
  void PickupCall(DWORD dwInvokeID, LPCSTR strDevice, LPCSTR strFromDevice, LPCSTR strPhone);
  void QueryPhoneState(DWORD dwInvokeID, LPCSTR strAgent, LPCSTR strPhone);
  void RedirectCall(DWORD dwInvokeID, LPCSTR strDevice, const ObjectId& oidCall, DWORD dwRedirectTo,
                    LPCSTR strDigits, DWORD dwOptions);
  void RetrieveCall(DWORD dwInvokeID, LPCSTR strDevice, const ObjectId& oidCall, LPCSTR strPhone);
  void SetCallForwarding(DWORD dwInvokeID, LPCSTR strDevice, DWORD dwForwardMode,
                         LPCSTR strForwardTo);
  void SetDoNotDisturb(DWORD dwInvokeID, LPCSTR strDevice, DWORD dwOn, LPCSTR strPhone);
  void SetupTransfer(DWORD dwInvokeID, LPCSTR strDevice, const ObjectId& oidCall, LPCSTR strNumber,
                     DWORD dwOptions);
  void SetupConference(DWORD dwInvokeID, LPCSTR strDevice, const ObjectId& oidCall,
                       LPCSTR strNumber, DWORD dwOptions);
  void SingleStepTransfer(DWORD dwInvokeID, LPCSTR strDevice, const ObjectId& oidCall,
                          LPCSTR strNumber, DWORD dwOptions);
  void GetCallForwarding(DWORD dwInvokeID, LPCSTR strDevice);
  void ConferenceCall(DWORD dwInvokeID, LPCSTR strDevice, const ObjectId& oidActiveCall,
                      const ObjectId& oidOtherCall);
  void DropConferenceConnection(DWORD dwInvokeID, LPCSTR strDevice, const ObjectId& oidCall,
                                LPCSTR strDropDevice);
  void QueryPhoneConfig(DWORD dwInvokeID, LPCSTR strAgent, LPCSTR strPhone);

 protected:
  // Callbacks, on the worker thread; every default does nothing.
  // OMBIX_LOGIN_RSP with dwError 0; IsLoggedIn() is already TRUE.
  virtual void OnLoginSucceeded(const COmbixLoginRsp* pRsp);
  // OMBIX_LOGIN_RSP with any other dwError.
  virtual void OnLoginFailed(const COmbixLoginRsp* pRsp);
  virtual void OnMeetMeConferenceEvent(const COmbixMeetMeConferenceEvent* pEvent);
  // The session ended (disconnect sent or received, unanswered datagram, sequence error, stop).
  virtual void OnConnectionLost();
  // Every other response (OMBIX_FAILURE_RSP included), the data-interface event, and the bare
  // COmbixMsg of a type the decoder does not know.
  virtual void OnResponse(const COmbixMsg* pMsg);
  virtual void OnAgentEvent(const COmbixAgentEvent* pEvent);
  virtual void OnCallEvent(const COmbixCallConnectionEvent* pEvent);
  virtual void OnCallMediaEvent(const COmbixCallMediaEvent* pEvent);
  virtual void OnClientMonitorEvent(const COmbixClientMonitorEvent* pEvent);
  virtual void OnPhoneStateEvent(const COmbixPhoneStateEvent* pEvent);
  virtual void OnQueueStatsEvent(const COmbixQueueStatsEvent* pEvent);
  // Never called by the link (data-interface events reach OnResponse).
  virtual void OnDataInterfaceEvent(const COmbixDataInterfaceEvent* pEvent);

  // The socket for each login attempt (the one before is deleted), on the worker thread and
  // without the link's lock; a derived class may hand out a COmbixSocket of its own.
  virtual std::unique_ptr<COmbixSocket> CreateSocket();

 private:
  using LinkLock = std::unique_lock<std::mutex>;

  // ombix_api_worker.cpp: the worker thread.
  static DWORD ThreadProc(LPVOID pParam);
  void WorkerMain();
  BOOL Login();
  void ReceivePhase();
  std::unique_ptr<COmbixMsg> ReceiveStep();
  void Dispatch(const COmbixMsg* pMsg);
  // Waits until the last login attempt of any link lies dwLoginSpacing back; FALSE on stop.
  BOOL SpaceLoginAttempt();
  // Waits up to dwMilliseconds; TRUE when the link was told to stop.
  BOOL WaitForStop(DWORD dwMilliseconds);
  BOOL IsStopping() const { return m_bStop.load(); }
  // Never 0, which would make a receive wait without limit.
  DWORD ReceiveWait() const { return m_options.dwReceiveWait != 0 ? m_options.dwReceiveWait : 1; }
  BOOL IsWorkerThread() const;

  // ombix_api_send.cpp: sending, acknowledgements and the session. *Locked: the link's lock held.
  void QueueRequest(const COmbixWriter& body);
  void RunTimers();
  void OnAck(DWORD dwSeq);
  void SendAck(DWORD dwSeq);
  void SendDisconnect();
  void ResetSession();
  void SendNextLocked(LinkLock& lock);
  void RetransmitLocked(LinkLock& lock);
  void SendPingLocked(LinkLock& lock);
  void SendToServerLocked(LinkLock& lock, const BYTE* pDatagram, DWORD dwLength);
  // Sends OMBIX_DISCONNECT and resets, when connected; TRUE when it did (OnConnectionLost due).
  BOOL DisconnectLocked(LinkLock& lock);
  // Clears the session; TRUE when it was connected.
  BOOL ResetLocked(LinkLock& lock);

  const OMBIXLINKOPTIONS m_options;

  std::atomic<BOOL> m_bLoggedIn{FALSE};
  std::atomic<DWORD> m_dwServerAddr{0};
  DWORD m_dwPrimaryAddr = 0;    // under m_mxLink
  DWORD m_dwSecondaryAddr = 0;  // under m_mxLink
  char m_szClient[64] = {};     // under m_mxLink
  char m_szClientVersion[64] = {};
  std::atomic<bool> m_bStop{false};  // written under m_mxLink, so a wait on m_cvStop sees it

  std::mutex m_mxControl;  // StartThread and StopThread; never taken by the worker
  HANDLE m_hThread = nullptr;
  std::atomic<DWORD> m_dwWorkerThreadId{0};

  // The lock of the link, and what it guards.
  std::mutex m_mxLink;
  std::condition_variable m_cvStop;
  std::unique_ptr<COmbixSocket> m_pSocket;  // replaced by the worker only
  COmbixSendMsgQueue m_SendQueue;
  DWORD m_dwNextSendSeq = 0;
  std::unique_ptr<COmbixSendMsg> m_pOutstanding;
  DWORD m_dwOutstandingSeq = 0;
  DWORD m_dwLastSendTick = 0;

  DWORD m_dwExpectedRecvSeq = 0;  // the worker's alone
  const DWORD m_dwAckTimeout;
  std::atomic<DWORD> m_dwPingTimer;
  const DWORD m_dwMaxRetries;
  COmbixTrace m_Trace;
};
