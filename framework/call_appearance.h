// CTSPICallAppearance: one call on one address (TAPI's HDRVCALL is this object's address).
//
// Contract:
// - Created through the provider's call runtime class by its address (FindOrCreateCall) or by
//   MakeConsultationCall, then Init. Reference-counted: the address's list holds the first
//   reference, every request and record that names the call one more; the last Release deletes.
//   RemoveCall (on the address) takes the call off the list, the timer list and the set of live
//   calls before it lets go of the list's reference.
// - ChangeCallState is the only way to change the state; IDLE is final. The call's lock is held
//   while the call's own fields change; the address's and line's locks are only tried there.
//   Whatever could not be applied under a try (call counters, features computed from a busy
//   address or line) is applied once the call's lock is released, as are the notices to partner
//   calls and the recomputation of the line's other calls. The state's LINE_CALLSTATE follows
//   them, once, with the features of its state; a call's events keep the order of its changes.
//   CALLFLAG_INSTATECHANGE stays set while any state change of the call is in progress.
// - Notifications (LINE_CALLSTATE, LINE_CALLINFO) go out only while the call has a TAPI handle.
//   Once CloseCall returns, no event of the call reaches TAPI and none is still being delivered,
//   and a handle TAPI writes in the call's LINE_NEWCALL is not stored (the line's
//   ForgetCallHandle); CloseCall holds no lock while it waits.
// - Lock order: a call before its conference call, its address and its line. Code here never
//   waits for another call's lock while holding its own.
//
// Files: call_appearance.cpp (life, linkage, setters, party identification),
// call_appearance_state.cpp (state change, features, partner notices), call_appearance_info.cpp
// (LINECALLINFO, LINECALLSTATUS, GetID), call_appearance_requests.cpp (request checks and their
// completion), call_media.cpp (timers, digits, tones, media control).
#pragma once

#include <atomic>
#include <mutex>
#include <vector>

#include "framework/ado_array.h"
#include "framework/base_object.h"
#include "platform/afx_string.h"
#include "platform/tapi.h"

class CTSPIAddressInfo;
class CTSPIConferenceCall;
class CTSPILineConnection;
class CTSPIRequest;
class TSPIDIGITGATHER;
class TSPIGENERATE;
class TSPIMEDIACONTROL;
class TSPITONEMONITOR;
class TSPIMAKECALL;
class TSPILINEPARK;
class TSPILINEPICKUP;
class TSPICALLPARAMS;
class TSPILINESETTERMINAL;
class TSPICOMPLETECALL;
class TSPIQOS;
class TSPICALLDATA;

inline constexpr DWORD CALLTYPE_NORMAL = 1;
inline constexpr DWORD CALLTYPE_CONFERENCE = 2;
inline constexpr DWORD CALLTYPE_CONSULTATION = 3;

inline constexpr DWORD CALLFLAG_NEWCALL = 0x1;
inline constexpr DWORD CALLFLAG_DELETED = 0x2;
inline constexpr DWORD CALLFLAG_DROPPENDING = 0x4;
inline constexpr DWORD CALLFLAG_STATESEEN = 0x8;
inline constexpr DWORD CALLFLAG_INSTATECHANGE = 0x10;

inline constexpr DWORD TIMEREVENT_MEDIACONTROL = 1;
inline constexpr DWORD TIMEREVENT_MEDIACONTROL2 = 2;
inline constexpr DWORD TIMEREVENT_TONE = 3;

// States that count as active, and as dialing or connected, in the call counters.
BOOL IsActiveCallState(DWORD dwState);
BOOL IsDialingOrConnectedState(DWORD dwState);

// One party of a call (a value: copies are handed out).
class CALLIDENTIFIER {
 public:
  CString strPartyId;  // number
  CString strPartyName;
};

// One timed action of a call.
class TIMEREVENT : public CObject {
 public:
  DWORD dwStartTick = 0;  // when it was set
  DWORD dwPeriod = 0;     // due dwPeriod ms after dwStartTick
  DWORD dwType = 0;
  DWORD dwData = 0;
  DWORD dwMask = 0;
};

class CTSPICallAppearance : public CTSPIBaseObject {
  DECLARE_DYNCREATE(CTSPICallAppearance)
 public:
  CTSPICallAppearance();
  ~CTSPICallAppearance() override;

  // Reference counting.
  void AddRef();
  // Adds a reference unless the count already reached 0 (the call is being destroyed).
  BOOL TryAddRef();
  void Release();
  LONG GetRefCount() const { return m_lRefCount.load(); }

  // Virtual operations.
  virtual LONG CloseCall();
  virtual LONG Drop(DRV_REQUESTID dwRequestID, LPCSTR lpsUserUserInfo, DWORD dwSize);
  virtual LONG Accept(DRV_REQUESTID dwRequestID, LPCSTR lpsUserUserInfo, DWORD dwSize);
  virtual LONG Answer(DRV_REQUESTID dwRequestID, LPCSTR lpsUserUserInfo, DWORD dwSize);
  // The dial list (DIALINFO) is owned by the request once it is queued.
  virtual LONG BlindTransfer(DRV_REQUESTID dwRequestID, CADObArray* pDialList, DWORD dwCountryCode);
  virtual LONG Dial(DRV_REQUESTID dwRequestID, CADObArray* pDialList, DWORD dwCountryCode);
  virtual LONG Hold(DRV_REQUESTID dwRequestID);
  virtual LONG SwapHold(DRV_REQUESTID dwRequestID, CTSPICallAppearance* pOtherCall);
  virtual LONG Unhold(DRV_REQUESTID dwRequestID);
  virtual LONG SecureCall(DRV_REQUESTID dwRequestID);
  virtual LONG SendUserUserInfo(DRV_REQUESTID dwRequestID, LPCSTR lpsUserUserInfo, DWORD dwSize);
  virtual LONG Park(DRV_REQUESTID dwRequestID, TSPILINEPARK* pPark);
  virtual LONG Unpark(DRV_REQUESTID dwRequestID, CADObArray* pDialList);
  virtual LONG Pickup(DRV_REQUESTID dwRequestID, TSPILINEPICKUP* pPickup);
  virtual LONG Redirect(DRV_REQUESTID dwRequestID, CADObArray* pDialList, DWORD dwCountryCode);
  virtual LONG SetCallParams(DRV_REQUESTID dwRequestID, TSPICALLPARAMS* pCallParams);
  virtual LONG SetTerminal(DRV_REQUESTID dwRequestID, TSPILINESETTERMINAL* pTermStruct);
  virtual LONG MakeCall(DRV_REQUESTID dwRequestID, TSPIMAKECALL* pMakeCall);
  virtual LONG GatherDigits(TSPIDIGITGATHER* pGather);
  virtual LONG GenerateDigits(TSPIGENERATE* pGenerate);
  virtual LONG GenerateTone(TSPIGENERATE* pGenerate);
  virtual LONG SetMediaMode(DWORD dwMediaMode);
  virtual LONG MonitorDigits(DWORD dwDigitModes);
  virtual LONG MonitorMedia(DWORD dwMediaModes);
  virtual LONG MonitorTones(TSPITONEMONITOR* pMonitor);
  virtual LONG CompleteCall(DRV_REQUESTID dwRequestID, LPDWORD lpdwCompletionID,
                            TSPICOMPLETECALL* pComplete);
  virtual LONG GetCallStatus(LPLINECALLSTATUS lpCallStatus);
  virtual LONG GetCallInfo(LPLINECALLINFO lpCallInfo);
  virtual LONG GetID(LPCSTR pszDeviceClass, LPVARSTRING lpDeviceID, HANDLE hTargetProcess);
  virtual LONG ReleaseUserUserInfo();
  virtual LONG SetCallQualityOfService(DRV_REQUESTID dwRequestID, TSPIQOS* pQOS);
  virtual LONG SetCallTreatment(DRV_REQUESTID dwRequestID, DWORD dwCallTreatment);
  virtual LONG SetCallData(DRV_REQUESTID dwRequestID, TSPICALLDATA* pCallData);
  virtual void Init(CTSPIAddressInfo* pAddr, HTAPICALL htCall, DWORD dwBearerMode, DWORD dwRate,
                    DWORD dwCallParamFlags, DWORD dwOrigin, DWORD dwReason, DWORD dwTrunk,
                    DWORD dwCompletionID, BOOL bNewCall);
  virtual void ComputeCallFeatures(DWORD dwState, DWORD dwMode, DWORD dwMediaMode);
  virtual void ExecuteMediaControl(DWORD dwAction);
  virtual void ReportToneDetected(DWORD dwToneValue, DWORD dwAppSpecific);
  virtual void UpdateTerminal(BOOL bAdd, int nTerminal, DWORD dwModes);
  virtual void OnConsultationCallIdle(CTSPICallAppearance* pConsultCall);
  virtual void SendCallInfoEvent(DWORD dwInfoState);
  virtual void OnRelatedCallStateChange(CTSPICallAppearance* pCall, DWORD dwNewState,
                                        DWORD dwOldState);
  // TRUE when nothing is left to time. Only tries the call's lock.
  virtual BOOL ServiceCallTimers();
  virtual void OnRequestComplete(CTSPIRequest* pReq, LONG lResult);

  // The state machine.
  void ChangeCallState(DWORD dwState, DWORD dwMode = 0, DWORD dwMediaMode = 0, BOOL bNotify = TRUE);
  void SendCallStateEvent();
  void FixCallFeatures2(BOOL bNotify);

  // Linkage.
  CTSPICallAppearance* MakeConsultationCall(HTAPICALL htCall, DWORD dwCallParamFlags);
  // One way; a removed call is never linked (to or from).
  void SetRelatedCall(CTSPICallAppearance* pCall);
  void ClearRelatedCall();
  // Clears the related call only while it is pCall; TRUE when it did.
  BOOL ClearRelatedCallIf(CTSPICallAppearance* pCall);
  // Links both ways; each call's previous partner lets go of it (RELATEDCALLID 0), and a
  // consultation call so left alone becomes a normal call with its features recomputed.
  void LinkPartner(CTSPICallAppearance* pCall);
  void SetConsultationCall(CTSPICallAppearance* pCall);
  // The related call with a reference for the caller (NULL when none).
  CTSPICallAppearance* GetRelatedCallRef() const;
  CTSPICallAppearance* GetRelatedCall() const;
  void SetConferenceCall(CTSPIConferenceCall* pConf);
  CTSPIConferenceCall* GetConferenceCall() const;
  // The conference with a reference for the caller (NULL when none).
  CTSPIConferenceCall* GetConferenceCallRef() const;

  // Call-information setters.
  void SetBearerMode(DWORD dwBearerMode);
  void SetAppSpecific(DWORD dwAppSpecific);
  void SetCallID(DWORD dwCallID);
  void SetRelatedCallID(DWORD dwCallID);
  void SetCallParamFlags(DWORD dwFlags);
  void SetMonitorDigitModes(DWORD dwModes);
  void SetMonitorMediaModes(DWORD dwModes);
  void SetDialParams(const LINEDIALPARAMS* lpDialParams);
  void SetCallOrigin(DWORD dwOrigin);
  void StoreCallTreatment(DWORD dwTreatment);
  void StoreCallData(LPCVOID lpData, DWORD dwSize);
  void StoreQualityOfService(LPCVOID lpSending, DWORD dwSendingSize, LPCVOID lpReceiving,
                             DWORD dwReceivingSize);
  void SetTerminalModes(int nTerminal, DWORD dwModes, BOOL bOn);
  void SetMediaControl(TSPIMEDIACONTROL* pMediaControl);
  void SetCallerID(DWORD dwFlags, LPCSTR pszNumber, LPCSTR pszName, DWORD dwFormat = 0);
  void SetCalledID(DWORD dwFlags, LPCSTR pszNumber, LPCSTR pszName, DWORD dwFormat = 0);
  void SetRedirectionID(DWORD dwFlags, LPCSTR pszNumber, LPCSTR pszName, DWORD dwFormat = 0);
  void SetRedirectingID(DWORD dwFlags, LPCSTR pszNumber, LPCSTR pszName, DWORD dwFormat = 0);
  // Appends an entry to the user-user information queue (a derived line's producer).
  BOOL AddUserUserInfo(LPCVOID lpData, DWORD dwSize);

  // Media services (call_media.cpp).
  void ProcessMediaModeChange(DWORD dwMediaMode);
  void FinishDigitGather(DWORD dwReason);
  void ClearToneMonitors();
  // Adds a timed action due dwPeriod ms from now and registers the call with the timer thread.
  void AddTimedEvent(DWORD dwType, DWORD dwPeriod, DWORD dwData, DWORD dwMask);

  // Reads (each under the lock unless said otherwise).
  CTSPIAddressInfo* GetAddressOwner() const { return m_pAddr; }
  CTSPILineConnection* GetLineOwner() const;
  HTAPICALL GetCallHandle() const { return m_htCall.load(); }
  void SetCallHandle(HTAPICALL htCall) { m_htCall.store(htCall); }
  // Without the lock: the state as last stored.
  DWORD GetCallState() const { return m_dwState.load(); }
  DWORD GetCallType() const { return m_dwCallType.load(); }
  void SetCallType(DWORD dwType) { m_dwCallType.store(dwType); }
  DWORD GetFlags() const { return m_dwFlags.load(); }
  void SetFlag(DWORD dwFlag) { m_dwFlags.fetch_or(dwFlag); }
  void ClearFlag(DWORD dwFlag) { m_dwFlags.fetch_and(~dwFlag); }
  BOOL IsDeleted() const { return (GetFlags() & CALLFLAG_DELETED) != 0 ? TRUE : FALSE; }
  LINECALLINFO GetCallInfoCopy() const;
  LINECALLSTATUS GetCallStatusCopy() const;
  DWORD GetCallFeatures() const;
  DWORD GetCallStateMode() const;
  DWORD GetMediaMode() const;
  DWORD GetCallID() const;
  CALLIDENTIFIER GetCallerIDInfo() const;
  CALLIDENTIFIER GetCalledIDInfo() const;
  CALLIDENTIFIER GetRedirectionIDInfo() const;
  CALLIDENTIFIER GetRedirectingIDInfo() const;
  INT_PTR GetTerminalModeCount() const;
  TSPIDIGITGATHER* GetDigitGather() const { return m_pGather; }
  INT_PTR GetTimerEventCount() const;
  INT_PTR GetToneMonitorCount() const;
  TSPIMEDIACONTROL* GetMediaControl() const;
  CADObArray& GetDeviceClassArray() { return m_arrDeviceClass; }

 protected:
  // Reports that a party identification changed; the four setters share it.
  void SetPartyID(DWORD& dwFlagsField, CALLIDENTIFIER& party, DWORD dwInfoState, DWORD dwFlags,
                  LPCSTR pszNumber, LPCSTR pszName, DWORD dwFormat);
  // Queues a call request on the line; request ID or LINEERR_OPERATIONFAILED.
  LONG QueueCallRequest(WORD wType, DRV_REQUESTID dwRequestID, CObject* pRecord, DWORD dwSize = 0);
  LONG QueueCallBuffer(WORD wType, DRV_REQUESTID dwRequestID, LPCSTR lpsBuffer, DWORD dwSize);
  BOOL HasFeature(DWORD dwFeature) const { return (GetCallFeatures() & dwFeature) != 0; }
  // The part of ComputeCallFeatures a conference call narrows; returns the stored features.
  DWORD StoreCallFeatures(DWORD dwFeatures, BOOL bNotify);
  void ClearMediaOnIdle();
  // Before the call can go: its links to partner calls and its conference are cleared both
  // ways, so that no other call keeps its address.
  virtual void DetachForDelete();
  // A consultation call whose partner left it and that has no other becomes a normal call.
  void OnPartnerLost();

  CTSPIAddressInfo* m_pAddr = nullptr;
  std::atomic<DWORD> m_dwFlags{0};
  std::atomic<LONG> m_lRefCount{1};
  LINECALLINFO m_CallInfo{};
  LINECALLSTATUS m_CallStatus{};
  std::atomic<HTAPICALL> m_htCall{nullptr};
  std::atomic<DWORD> m_dwState{LINECALLSTATE_UNKNOWN};
  CALLIDENTIFIER m_CallerID, m_CalledID, m_ConnectedID, m_RedirectionID, m_RedirectingID;
  std::vector<DWORD> m_arrTerminalModes;
  TSPIDIGITGATHER* m_pGather = nullptr;
  TSPIMEDIACONTROL* m_pMediaControl = nullptr;
  std::vector<TSPITONEMONITOR*> m_arrMonitors;
  std::vector<TIMEREVENT*> m_arrTimers;
  // Guarded by the lock; readers outside it take a reference (Get...Ref). The related call is
  // not owned: both links of a pair are cleared before either call can go (its removal clears
  // them). The conference link holds a reference on the conference.
  CTSPICallAppearance* m_pRelated = nullptr;
  CTSPIConferenceCall* m_pConf = nullptr;
  std::atomic<DWORD> m_dwCallType{CALLTYPE_NORMAL};
  LPVOID m_lpCallData = nullptr;
  DWORD m_dwCallDataSize = 0;
  LPVOID m_lpSendingFlowSpec = nullptr;
  DWORD m_dwSendingFlowSpecSize = 0;
  LPVOID m_lpReceivingFlowSpec = nullptr;
  DWORD m_dwReceivingFlowSpecSize = 0;
  CADObArray m_arrDeviceClass;
  std::vector<std::vector<BYTE>> m_arrUserUserInfo;

 private:
  friend class CTSPIAddressInfo;
  // State transitions whose call counters wait for the address's and line's locks; applied in
  // order by one thread at a time once the call's lock is free (call_appearance_state.cpp).
  struct PendingCount {
    DWORD dwNew, dwOld;
  };
  void FlushPendingCounts();
  // The "changing state" mark counts the state changes in progress (on any thread).
  void EnterStateChange();
  void LeaveStateChange();
  // A state's LINE_CALLSTATE, held back from the moment of the change (under the call's lock)
  // until its features are stored; held events go out in the order they were held.
  struct HeldEvent {
    ULONGLONG nSeq;
    DWORD dwState, dwMode, dwMedia;
    bool bReady;
  };
  ULONGLONG HoldStateEvent(DWORD dwState, DWORD dwMode, DWORD dwMedia);
  void SendHeldStateEvent(ULONGLONG nEvent);
  void SendStateEvent(DWORD dwState, DWORD dwMode, DWORD dwMedia);
  // Reports the end of a gather already taken from the call, and frees it (call_media.cpp).
  void EndDigitGather(TSPIDIGITGATHER* pGather, DWORD dwReason);
  void RecomputeLineFeatures();
  std::atomic<bool> m_bPartnersCleared{false};  // the address's calls were cleared of this one
  std::mutex m_mxPending;                       // leaf lock
  std::vector<PendingCount> m_pending;
  bool m_bFlushing = false;
  LONG m_lStateChanges = 0;  // guarded by m_mxPending, as are the held events
  std::vector<HeldEvent> m_events;
  ULONGLONG m_nLastEvent = 0;
  bool m_bSendingEvents = false;
};
