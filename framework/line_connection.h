// CTSPILineConnection: one TAPI line device (TAPI's HDRVLINE is this object's address).
//
// Contract:
// - Created by the device through the provider's line runtime class and initialised with
//   Init (device, TAPI device ID, line index, 0): permanent line ID (provider ID << 16) +
//   (index & 0x7FFF), the initial capabilities and status, the line features of the functions
//   the library exports (and only those), and the device classes "tapi/line" and
//   "tapi/providerid".
// - Closed while its TAPI handle is 0. OpenLine stores TAPI's handle, callback and version and
//   asks the device for the connection; CloseLine waits for the queued drops, fails every other
//   queued request with LINEERR_OPERATIONFAILED, reports LINEDEVSTATE_CLOSE and forgets TAPI.
//   A closed line (also after a refused open) carries the provider's TAPI version.
// - Every line, address and call event goes through SendLineEvent, which sends nothing while no
//   callback is set, nor a call's event while the call has no TAPI handle. LINE_LINEDEVSTATE goes
//   through ReportLineDevState: only while the line is open and only for states in TAPI's mask,
//   LINEDEVSTATE_REINIT always.
// - No event after a close. A delivery reads the line's callback and handles (and the call's)
//   under the delivery gate, a plain mutex, and registers itself there; it calls TAPI's callback
//   without the gate and then unregisters. CloseLine clears the line's callback and handle, and
//   ForgetCallHandle (lineCloseCall) the call's handle, under the gate, and then wait, holding no
//   lock, until no delivery that read them runs: once they return, none runs and none starts.
//   A close on a thread that is itself inside a delivery (a callback that closes) does not wait;
//   it only keeps new deliveries from starting. What the close itself sends before it returns
//   (LINEDEVSTATE_CLOSE, its drops' states) still goes out.
// - LINE_NEWCALL goes through AnnounceNewCall, which stores the handle TAPI writes at the end of
//   the same delivery, under the gate, unless a close of that call or of the line ran meanwhile
//   (also one made inside that callback): a closed call never gets the handle back.
// - GetDevCaps and GetLineDevStatus write the fixed part the version calls for (refusing a
//   structure smaller than that) and each variable part that fits, never a byte at or past the
//   caller's dwTotalSize; dwNeededSize counts every part once, so it equals dwUsedSize when all
//   fit.
// - Fields and arrays change under the object's lock. TAPI's callback is called with whatever
//   locks the caller holds. The line calls its addresses without holding its own lock (address
//   before line). SendLineEvent takes only the delivery gate, which is taken last and held over
//   no callback: a call's state change may only try the line's lock.
// - Addresses are made by CreateAddress through the provider's address class and deleted with
//   the line, after its queued requests have failed.
//
// Files: line_connection.cpp (life, open and close, events, look-ups), line_connection_caps.cpp
// (capability and status structures), line_connection_features.cpp (status flags, features,
// counters, terminals), line_connection_addresses.cpp (what the line asks of its addresses),
// line_requests.cpp (addresses, call parameters, line requests, completions, dialog instances,
// conference and transfer tests).
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "framework/connection.h"
#include "platform/afx_string.h"
#include "platform/afxcoll.h"
#include "platform/tapi.h"

class CTSPIAddressInfo;
class CTSPICallAppearance;
class CTSPILineConnection;
class TSPICOMPLETECALL;
class TSPILINEFORWARD;
class TSPILINESETTERMINAL;
class TSPIMAKECALL;
class TSPIMEDIACONTROL;

// One terminal of the line: its name, capabilities and current modes.
class TERMINALINFO : public CObject {
 public:
  CString strName;
  LINETERMCAPS Capabilities{};
  DWORD dwMode = 0;
};

// A UI dialog the line opened for TAPI (LINE_CREATEDIALOGINSTANCE); its address is the
// provider's HDRVDIALOGINSTANCE. Allocated with new, owned by the line.
struct TSPIDIALOGINSTANCE {
  DWORD dwRequestID = 0;
  HTAPIDIALOGINSTANCE htDlgInst = 0;
  CTSPILineConnection* pLine = nullptr;
};

class CTSPILineConnection : public CTSPIConnection {
  DECLARE_DYNCREATE(CTSPILineConnection)
 public:
  CTSPILineConnection();
  ~CTSPILineConnection() override;

  using CTSPIConnection::Init;
  DWORD GetPermanentDeviceID() const override;
  void OnRequestComplete(CTSPIRequest* pReq, LONG lResult) override;
  void OnIntervalTimer() override;

  // LINEERR_ALLOCATED when open already; LINEERR_RESOURCEUNAVAIL when the device refuses the
  // connection (the line stays closed).
  virtual LONG OpenLine(HTAPILINE htLine, LINEEVENT lpfnEventProc, DWORD dwTSPIVersion);
  // LINEERR_OPERATIONFAILED when the line is not open.
  virtual LONG CloseLine();
  // Stores TAPI's line-state mask and gives the address states to every address.
  virtual LONG SetStatusMessages(DWORD dwLineStates, DWORD dwAddressStates);
  // The version is the smaller of dwTSPIVersion and the negotiated one.
  virtual LONG GetDevCaps(DWORD dwTSPIVersion, DWORD dwExtVersion, LPLINEDEVCAPS lpLineCaps);
  // The fixed part follows the negotiated version.
  virtual LONG GetLineDevStatus(LPLINEDEVSTATUS lpLineStatus);
  // LINEERR_INVALDEVICECLASS for a class the line does not list.
  virtual LONG GetID(LPCSTR pszDeviceClass, LPVARSTRING lpDeviceID, HANDLE hTargetProcess);
  // LINEERR_OPERATIONUNAVAIL in the library.
  virtual LONG GetDevConfig(LPVARSTRING lpDeviceConfig, LPCSTR pszDeviceClass);
  virtual LONG SetDevConfig(LPCSTR pszDeviceClass, LPVOID const lpDevConfig, DWORD dwSize);
  virtual LONG DevSpecificFeature(DRV_REQUESTID dwRequestID, DWORD dwFeature, LPVOID lpParams,
                                  DWORD dwSize);
  virtual LONG GetIcon(LPCSTR pszDeviceClass, HICON* lphIcon);
  // Dialog data from the UI side (pDlgInst NULL: for the line itself); 0 in the library.
  virtual LONG GenericDialogData(TSPIDIALOGINSTANCE* pDlgInst, LPVOID lpParams, DWORD dwSize);
  // Status features lose what the capabilities lack; reports LINEDEVSTATE_CAPSCHANGE.
  virtual void NotifyCapsChanged();
  virtual void ReportLineDevState(DWORD dwState, DWORD_PTR dwParam2, DWORD_PTR dwParam3);
  // LINEDEVSTATE_CONFIGCHANGE whenever a callback is set, whatever TAPI's mask.
  virtual void ReportConfigChanged();
  // Carries out a media-control action on a call; nothing in the library.
  virtual void ExecuteMediaControl(CTSPICallAppearance* pCall, DWORD dwAction);
  // Recomputes the status line features from the status flags, the active calls and the
  // capabilities.
  virtual void UpdateLineFeatures();
  // dwItemData is ignored by the library.
  virtual void Init(CTSPIDevice* pDevice, DWORD dwLineDeviceID, DWORD dwPos,
                    DWORD_PTR dwItemData = 0);
  virtual DWORD FilterAddressFeatures(CTSPIAddressInfo* pAddr, DWORD dwFeatures);
  virtual void OnCallDeleted(CTSPICallAppearance* pCall);
  // CServiceProvider::FilterCallFeatures in the library.
  virtual DWORD FilterCallFeatures(CTSPICallAppearance* pCall, DWORD dwFeatures);
  // A call of the line went from dwOldState to dwNewState: the status call counters.
  virtual void UpdateCallCounters(CTSPIAddressInfo* pAddr, CTSPICallAppearance* pCall,
                                  DWORD dwNewState, DWORD dwOldState);
  // LINEDEVSTATE_NUMCALLS when a counter changed since the last report; then the features.
  virtual void ReportCallCounterChange();
  virtual DWORD FilterLineFeatures(DWORD dwFeatures);
  // The active call count never goes below 0; the features follow it.
  virtual void AdjustActiveCallCount(int nDelta);

  // Line requests, addresses and call completions (line_requests.cpp).
  virtual DWORD CreateAddress(LPCSTR pszDialableAddress, LPCSTR pszName, BOOL bIncoming,
                              BOOL bOutgoing, DWORD dwMediaModes, DWORD dwBearerModes,
                              DWORD dwMinRate, DWORD dwMaxRate, const LINEDIALPARAMS* lpDialParams,
                              DWORD dwMaxNumActiveCalls, DWORD dwMaxNumOnHoldCalls,
                              DWORD dwMaxNumOnHoldPendCalls, DWORD dwMaxNumConference,
                              DWORD dwMaxNumTransConf);
  CTSPIAddressInfo* FindAddressForCall(const LINECALLPARAMS* lpCallParams, DWORD dwFeatures);
  CTSPIAddressInfo* FindAddressByDialableAddress(LPCSTR pszAddress);
  virtual LONG GetAddressID(LPDWORD lpdwAddressID, DWORD dwAddressMode, LPCSTR pszAddress,
                            DWORD dwSize);
  virtual LONG CheckCallParams(const LINECALLPARAMS* lpCallParams);
  virtual LONG MakeCall(DRV_REQUESTID dwRequestID, HTAPICALL htCall, CTSPICallAppearance** ppCall,
                        TSPIMAKECALL* pMakeCall);
  virtual LONG ConditionalMediaDetection(DWORD dwMediaModes, const LINECALLPARAMS* lpCallParams);
  virtual LONG SetDefaultMediaDetection(DWORD dwMediaModes);
  virtual LONG CheckMediaControl(TSPIMEDIACONTROL* pMediaControl);
  virtual void SetMediaControl(TSPIMEDIACONTROL* pMediaControl);
  virtual LONG Forward(DRV_REQUESTID dwRequestID, CTSPIAddressInfo* pAddr,
                       TSPILINEFORWARD* pForward, HTAPICALL htConsultCall,
                       CTSPICallAppearance** ppConsultCall);
  virtual LONG SetTerminal(DRV_REQUESTID dwRequestID, TSPILINESETTERMINAL* pTermStruct);
  virtual LONG SetLineDevStatus(DRV_REQUESTID dwRequestID, DWORD dwStatusToChange, BOOL bOn);
  virtual LONG UncompleteCall(DRV_REQUESTID dwRequestID, DWORD dwCompletionID);
  // The next completion ID of this line (never 0).
  DWORD NextCompletionID();
  TSPICOMPLETECALL* FindCompletion(DWORD dwCompletionID);
  TSPICOMPLETECALL* FindCompletionByCall(CTSPICallAppearance* pCall);
  void RemoveCompletion(DWORD dwCompletionID, BOOL bNotify);
  HTAPIDIALOGINSTANCE OpenDialogInstance(DRV_REQUESTID dwRequestID, LPVOID lpParams, DWORD dwSize,
                                         LPCSTR pszUIDLLName = nullptr);
  LONG FreeDialogInstance(HTAPIDIALOGINSTANCE htDlgInst);
  // The line's entry whose address is hdDlgInst, else NULL (the handle is compared, never read).
  // TAPI uses an instance's handle no more once it has freed it.
  TSPIDIALOGINSTANCE* FindDialogInstance(HDRVDIALOGINSTANCE hdDlgInst);
  // Inside a call's state change these only try the address locks (feature_locks.h).
  virtual BOOL CanJoinConference(CTSPICallAppearance* pCall);
  virtual BOOL CanCompleteTransfer(CTSPICallAppearance* pCall);
  CTSPICallAppearance* FindCallByState(DWORD dwStateMask, CTSPICallAppearance* pExcept = nullptr);

  // Sends a line, address or call event to TAPI (nothing while no callback is set, nor for a
  // call without a TAPI handle).
  void SendLineEvent(CTSPICallAppearance* pCall, DWORD dwMsg, DWORD_PTR dwParam1,
                     DWORD_PTR dwParam2, DWORD_PTR dwParam3);
  // LINE_NEWCALL for a call of this line that TAPI does not know; the handle TAPI writes becomes
  // the call's unless the call or the line was closed meanwhile. Returns the handle stored, NULL when none was
  // (line closed, TAPI took no interest, call closed).
  HTAPICALL AnnounceNewCall(CTSPICallAppearance* pCall);
  // lineCloseCall's part: the call forgets its TAPI handle; returns once no delivery that read it,
  // or that announces the call, runs (at once on a thread inside a delivery).
  void ForgetCallHandle(CTSPICallAppearance* pCall);
  // Stores the status flags and reports what changed (connected, message waiting, in service,
  // locked); then the line's and the addresses' features.
  void ChangeDevStatusFlags(DWORD dwFlags);
  // Sets (bOn) or clears only the given flags, in one step under the lock, so that a flag
  // another thread changes meanwhile stays as it set it; reports as ChangeDevStatusFlags does.
  void SetDevStatusFlags(DWORD dwFlags, BOOL bOn);
  // New status line features; capabilities grow by bits they lacked (LINEDEVSTATE_CAPSCHANGE),
  // a change of the status features reports LINEDEVSTATE_OTHER.
  void SetLineFeatures(DWORD dwFeatures);
  // 0 for an index outside the terminals.
  DWORD GetTerminalModes(int nTerminal) const;
  // Sets (bOn) or clears the modes; an index outside the terminals does nothing.
  void SetTerminalModes(int nTerminal, DWORD dwModes, BOOL bOn);
  // The address with that ID (its position), NULL outside the array.
  CTSPIAddressInfo* GetAddress(DWORD dwAddressID) const;
  DWORD GetAddressCount() const;
  INT_PTR GetTerminalCount() const;

  HTAPILINE GetLineHandle() const;
  BOOL IsOpen() const { return GetLineHandle() != nullptr ? TRUE : FALSE; }
  LINEEVENT GetLineEventCallback() const;
  DWORD GetLineStateMask() const;
  DWORD GetDefaultMediaDetection() const;
  int GetActiveCallCount() const;
  // Copies taken under the lock.
  LINEDEVCAPS GetLineDevCaps() const;
  LINEDEVSTATUS GetLineDevStatus() const;

 protected:
  // Derived classes change these under the object's lock.
  // Set and cleared under the lock and the delivery gate; read under the gate alone by the
  // deliveries, which a call's state change reaches while it may only try the line's lock.
  std::atomic<HTAPILINE> m_htLine{nullptr};
  LINEDEVCAPS m_LineCaps{};
  LINEDEVSTATUS m_LineStatus{};
  std::atomic<LINEEVENT> m_lpfnEventProc{nullptr};
  DWORD m_dwDefaultMediaDetection = 0;
  DWORD m_dwLineStates = 0;  // TAPI's LINEDEVSTATE_ mask
  int m_nActiveCalls = 0;
  CObArray m_arrAddresses;         // CTSPIAddressInfo*, owned; position = address ID
  CObArray m_arrTerminals;         // TERMINALINFO*, owned
  CObList m_lstCompletions{10};    // TSPICOMPLETECALL*, owned
  CPtrArray m_arrDialogInstances;  // TSPIDIALOGINSTANCE*, owned

 private:
  // The address follow-ups (line_connection_addresses.cpp); called without the line's lock.
  std::vector<CTSPIAddressInfo*> SnapshotAddresses() const;
  DWORD CollectAvailableMediaModes();
  void SetAddressStatusMessages(DWORD dwAddressStates);
  void UpdateAddressFeatures();
  // The flags in dwMask take their values from dwValues, the others stay.
  void UpdateDevStatusFlags(DWORD dwMask, DWORD dwValues);
  void SetAddressTerminalModes(int nTerminal, DWORD dwModes, BOOL bOn);
  void DropAllCalls();
  std::atomic<DWORD> m_dwNextCompletionID{0};
  std::mutex m_mxCreateAddress;  // taken before any other lock, by CreateAddress alone
  static CTSPIAddressInfo* AsAddress(CObject* pObject);

  void RestoreProviderVersion();

  bool m_bClosing = false;  // CloseLine runs

  // The delivery gate (line_connection.cpp): the deliveries in progress, each on the stack of the
  // thread that delivers it. A leaf: held only to read handles and to (un)register.
  struct Delivery {
    CTSPICallAppearance* pCall;  // the event's call, or the call LINE_NEWCALL announces
    bool bCallClosed;            // the call was closed since the delivery read its handle
  };
  // Reads the callback and the line's handle (and, with phtCall, the call's) and registers the
  // delivery; NULL when the line has no callback or the call no handle (nothing is registered).
  LINEEVENT BeginDelivery(Delivery& delivery, HTAPILINE& htLine, HTAPICALL* phtCall);
  // Unregisters; stores htNew as the call's handle first when not NULL and the call was not
  // closed meanwhile. Returns the handle stored.
  HTAPICALL EndDelivery(Delivery& delivery, HTAPICALL htNew = nullptr);
  // Under the gate: the deliveries of pCall (NULL: every one) learn that a close ran.
  void MarkDeliveriesClosed(CTSPICallAppearance* pCall);
  // Holding no lock: returns once no delivery of pCall (NULL: every one) runs; at once on a
  // thread that is inside a delivery.
  void WaitForDeliveries(CTSPICallAppearance* pCall);
  std::mutex m_mxDeliveries;
  std::condition_variable m_cvDeliveries;
  std::vector<Delivery*> m_deliveries;  // under m_mxDeliveries
  // Make-calls past the one-at-a-time check and not yet queued or refused (under the lock): the
  // check and the queueing cannot share the lock, since the address and the call come first.
  int m_nMakeCallsReserved = 0;
};
