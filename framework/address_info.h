// CTSPIAddressInfo: one address of a line (address ID = its position on the line).
//
// Contract:
// - Created by the line (CreateAddress) through the provider's address runtime class, then Init.
//   Owned and deleted by the line.
// - Holds LINEADDRESSCAPS and LINEADDRESSSTATUS, its calls (one reference each, in creation
//   order), forwarding entries (one reference each), terminal modes and a media-control record.
// - Calls are created only through FindOrCreateCall / FindOrCreateConferenceCall (and a call's
//   MakeConsultationCall); a new call is initialised, listed and made live before TAPI hears of
//   it (LINE_NEWCALL). RemoveCall takes a call off the list once: the invocation that unlinks it
//   marks it deleted, unregisters its timers and releases the list's reference.
// - GetAddressCaps and GetAddressStatus follow var_struct.h: each variable part goes in whole
//   or not at all and counts once in dwNeededSize; the forward list carries its entries' texts
//   and the call-treatment list its names, so a structure of dwNeededSize bytes takes them all.
// - Lock order: a call before its address, the address before the line. The address never waits
//   for a call's lock while it holds its own: it copies its call list (with references) first.
//
// Files: address_info.cpp (Init, calls, counters, features, reports), address_info_status.cpp
// (caps, status, GetID, forwarding, terminals, media control), address_requests.cpp (the
// address-level requests and their completion).
#pragma once

#include <atomic>
#include <vector>

#include "framework/ado_array.h"
#include "framework/base_object.h"
#include "framework/map_dword_to_string.h"
#include "platform/afx_string.h"
#include "platform/afxcoll.h"
#include "platform/tapi.h"

class CTSPICallAppearance;
class CTSPIConferenceCall;
class CTSPILineConnection;
class CTSPIRequest;
class TSPIFORWARDINFO;
class TSPILINEFORWARD;
class TSPILINEPICKUP;
class TSPILINESETTERMINAL;
class TSPIMEDIACONTROL;
class TSPITRANSFER;
class TSPICONFERENCE;

inline constexpr DWORD ADDRFLAG_INCOMING = 0x1;
inline constexpr DWORD ADDRFLAG_OUTGOING = 0x2;
inline constexpr DWORD ADDRFLAG_COUNTSCHANGED = 0x4;

class CTSPIAddressInfo : public CTSPIBaseObject {
  DECLARE_DYNCREATE(CTSPIAddressInfo)
 public:
  CTSPIAddressInfo();
  ~CTSPIAddressInfo() override;

  // Virtual operations.
  virtual LONG CheckCallParams(const LINECALLPARAMS* lpCallParams);
  virtual LONG CheckForwardList(TSPILINEFORWARD* pForward, DWORD dwNumAddresses);
  virtual BOOL CheckMediaModes(DWORD dwMediaModes);
  virtual LONG Unpark(DRV_REQUESTID dwRequestID, HTAPICALL htCall, CTSPICallAppearance** ppCall,
                      CADObArray* pDialList);
  virtual LONG Pickup(DRV_REQUESTID dwRequestID, HTAPICALL htCall, CTSPICallAppearance** ppCall,
                      TSPILINEPICKUP* pPickup);
  virtual LONG SetTerminal(DRV_REQUESTID dwRequestID, TSPILINESETTERMINAL* pTermStruct);
  virtual LONG SetupTransfer(DRV_REQUESTID dwRequestID, TSPITRANSFER* pTransfer,
                             HTAPICALL htConsultCall, CTSPICallAppearance** ppConsultCall);
  virtual LONG CompleteTransfer(DRV_REQUESTID dwRequestID, TSPITRANSFER* pTransfer,
                                HTAPICALL htConfCall, CTSPIConferenceCall** ppConfCall);
  virtual LONG SetupConference(DRV_REQUESTID dwRequestID, TSPICONFERENCE* pConf,
                               HTAPICALL htConfCall, CTSPIConferenceCall** ppConfCall,
                               HTAPICALL htConsultCall, CTSPICallAppearance** ppConsultCall);
  virtual LONG Forward(DRV_REQUESTID dwRequestID, TSPILINEFORWARD* pForward,
                       HTAPICALL htConsultCall, CTSPICallAppearance** ppConsultCall);
  virtual LONG GetAddressCaps(DWORD dwTSPIVersion, DWORD dwExtVersion,
                              LPLINEADDRESSCAPS lpAddressCaps);
  virtual LONG GetAddressStatus(LPLINEADDRESSSTATUS lpAddressStatus);
  virtual void SetStatusMessages(DWORD dwStates);
  virtual LONG GetID(LPCSTR pszDeviceClass, LPVARSTRING lpDeviceID, HANDLE hTargetProcess);
  virtual void ReportAddressState(DWORD dwState);
  virtual void NotifyCapsChanged();
  virtual DWORD UpdateAddressFeatures();
  virtual DWORD Init(CTSPILineConnection* pLine, DWORD dwAddressID, LPCSTR pszDialableAddress,
                     LPCSTR pszName, BOOL bIncoming, BOOL bOutgoing, DWORD dwMediaModes,
                     DWORD dwBearerMode, DWORD dwMinRate, DWORD dwMaxRate,
                     DWORD dwMaxNumActiveCalls, DWORD dwMaxNumOnHoldCalls,
                     DWORD dwMaxNumOnHoldPendCalls, DWORD dwMaxNumConference,
                     DWORD dwMaxNumTransConf);
  virtual void OnCallCreated(CTSPICallAppearance* pCall);
  virtual void UpdateCallCounters(CTSPICallAppearance* pCall, DWORD dwNewState, DWORD dwOldState);
  virtual BOOL ReportCallCounterChange(CTSPICallAppearance* pCall, DWORD dwNewState,
                                       DWORD dwOldState);
  virtual void UpdateTerminal(BOOL bAdd, int nTerminal, DWORD dwModes);
  virtual void OnRequestComplete(CTSPIRequest* pReq, LONG lResult);
  virtual DWORD FilterCallFeatures(CTSPICallAppearance* pCall, DWORD dwFeatures);
  virtual DWORD FilterAddressFeatures(DWORD dwFeatures);

  // Calls.
  CTSPICallAppearance* FindOrCreateCall(HTAPICALL htCall, DWORD dwCallParamFlags, DWORD dwOrigin,
                                        DWORD dwReason, DWORD dwTrunk, DWORD dwCompletionID);
  CTSPIConferenceCall* FindOrCreateConferenceCall(HTAPICALL htCall);
  void RemoveCall(CTSPICallAppearance* pCall);
  CTSPICallAppearance* FindCallByHandle(HTAPICALL htCall) const;
  CTSPICallAppearance* GetCallAt(INT_PTR nIndex) const;
  INT_PTR GetCallCount() const;
  // The first call whose related call is pCall, with a reference the caller releases.
  CTSPICallAppearance* FindCallByRelatedCall(CTSPICallAppearance* pCall) const;
  // The first call (not pExcept) whose state has a bit in the mask, NULL when none. With bTry
  // the lock is only tried: NULL, and *pbMissed set, when it is busy.
  CTSPICallAppearance* FindCallByState(DWORD dwStateMask, CTSPICallAppearance* pExcept = nullptr,
                                       BOOL bTry = FALSE, BOOL* pbMissed = nullptr) const;
  // A copy of the call list, each call with a reference the caller releases.
  std::vector<CTSPICallAppearance*> SnapshotCalls() const;
  BOOL ResetInUseWhenIdle();

  // Terminals, media control, forwarding.
  void SetTerminalModes(int nTerminal, DWORD dwModes, BOOL bOn);
  void SetMediaControl(TSPIMEDIACONTROL* pMediaControl);
  TSPIMEDIACONTROL* GetMediaControl() const;
  int AddForwardEntry(DWORD dwForwardMode, LPCSTR pszCaller, LPCSTR pszDestination,
                      DWORD dwDestCountry);
  void ClearForwardInfo();
  INT_PTR GetForwardEntryCount() const;
  CString GetCallTreatmentName(DWORD dwCallTreatment) const;

  // Reads, under the lock.
  CTSPILineConnection* GetLineOwner() const { return m_pLine; }
  DWORD GetAddressID() const { return m_dwAddressID; }
  DWORD GetFlags() const { return m_dwFlags.load(); }
  CString GetDialableAddress() const;
  CString GetName() const;
  void SetName(LPCSTR pszName);
  DWORD GetBearerMode() const;
  DWORD GetCurrentRate() const;
  DWORD GetAddressStateMask() const;
  LINEADDRESSCAPS GetAddressCapsCopy() const;
  LINEADDRESSSTATUS GetAddressStatusCopy() const;
  // With bTry the lock is only tried: FALSE, nothing copied, when it is busy.
  BOOL TryGetAddressCaps(LINEADDRESSCAPS& caps, LINEADDRESSSTATUS& status, BOOL bTry) const;
  DWORD GetTerminalMode(int nTerminal) const;
  // The available media modes when the address is outgoing and below its active-call limit.
  DWORD GetAvailableMediaModesForCall() const;
  // Derived classes change their capabilities through this (under the lock).
  template <typename Change>
  void ChangeAddressCaps(Change change) {
    CSingleLock lock(GetSyncObject(), TRUE);
    change(m_AddressCaps, m_AddressStatus);
  }
  CADObArray& GetDeviceClassArray() { return m_arrDeviceClass; }
  CStringArray& GetCompletionMessages() { return m_arrCompletionMsgs; }
  CMapDWordToString& GetCallTreatments() { return m_mapCallTreatment; }

 protected:
  // Adds a call made elsewhere (MakeConsultationCall) to the list, then OnCallCreated.
  void AddCallToList(CTSPICallAppearance* pCall);
  // Makes, lists and announces a call of the given class.
  CTSPICallAppearance* CreateCallObject(CRuntimeClass* pClass, HTAPICALL htCall,
                                        DWORD dwCallParamFlags, DWORD dwOrigin, DWORD dwReason,
                                        DWORD dwTrunk, DWORD dwCompletionID);
  // Queues an address-level request; the request ID or LINEERR_OPERATIONFAILED.
  LONG QueueAddressRequest(CTSPICallAppearance* pCall, WORD wType, DRV_REQUESTID dwRequestID,
                           CObject* pRecord);

  std::atomic<DWORD> m_dwFlags{0};
  CTSPILineConnection* m_pLine = nullptr;
  LINEADDRESSCAPS m_AddressCaps{};
  LINEADDRESSSTATUS m_AddressStatus{};
  DWORD m_dwAddressID = 0;
  DWORD m_dwAddressStates = 0;
  DWORD m_dwBearerMode = 0;
  DWORD m_dwMinRate = 0;
  DWORD m_dwMaxRate = 0;
  DWORD m_dwCurrentRate = 0;
  DWORD m_dwConnectedCallCount = 0;
  CString m_strAddress;
  CString m_strName;
  std::vector<CTSPICallAppearance*> m_lstCalls;
  std::vector<DWORD> m_arrTerminalModes;
  std::vector<TSPIFORWARDINFO*> m_arrForward;
  CStringArray m_arrCompletionMsgs;
  TSPIMEDIACONTROL* m_pMediaControl = nullptr;
  CADObArray m_arrDeviceClass;
  CMapDWordToString m_mapCallTreatment;

  friend class CTSPICallAppearance;
};
