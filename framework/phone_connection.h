// CTSPIPhoneConnection: one TAPI phone device (TAPI's HDRVPHONE is this object's address), with
// its buttons and lamps (CPhoneButtonInfo in a CPhoneButtonArray).
//
// Contract:
// - Created by the device through the provider's phone runtime class and initialised with
//   Init (device, TAPI device ID, phone index, 0): permanent phone ID (provider ID << 16) +
//   (index & 0x7FFF) with bit 0x8000 set (phones apart from lines), the initial capabilities and
//   status, the ring features of the functions the library exports, and the device classes
//   "tapi/phone" and "tapi/providerid".
// - The library adds no display, button, data area, hookswitch device or feature beyond that: a
//   derived phone sets them up (SetupDisplay, AddButton, AddGetDataArea, AddSetDataArea, and the
//   PHONECAPS/PHONESTATUS members under the lock). "Feature" means a PHONESTATUS dwPhoneFeatures
//   bit; operations refuse with PHONEERR_OPERATIONUNAVAIL when theirs is missing.
// - Closed while its TAPI handle is 0. Events (PHONE_STATE, PHONE_BUTTON) go to TAPI only while
//   the phone is open and only for what TAPI asked for; PHONESTATE_REINIT always.
// - Asynchronous operations queue a request on the phone and answer its TAPI request ID; the
//   record handed in belongs to the request from then on, and stays with the caller when the
//   answer is negative. GetData takes its record in every case.
// - A derived phone starts requests with FetchRequestToStart, fills a get-data buffer under the
//   phone's lock (GetData takes the buffer back under that lock when it gives up waiting, leaving
//   the record's buffer NULL), and completes requests with CompleteRequest; completed requests
//   change the phone's state in OnRequestComplete. A data ID may equal the number of data areas.
// - Capability, status, button and display answers never write at or past the caller's
//   dwTotalSize; a structure smaller than its fixed part is refused with
//   PHONEERR_STRUCTURETOOSMALL. dwNeededSize counts every part once.
// - Members change under the object's lock; TAPI's callback and the associated line are called
//   without it.
//
// Files: phone_connection.cpp (buttons, construction and set-up, Init, open and close, events,
// ring, lamp, button and display setters, look-ups, identifiers); phone_connection_caps.cpp
// (GetDevCaps, GetStatus, GetButtonInfo, GetDisplay); phone_connection_requests.cpp (queries,
// asynchronous operations, GetData, OnRequestComplete, hookswitch, volume and gain setters).
#pragma once

#include "framework/connection.h"
#include "platform/afx_string.h"
#include "platform/afxcoll.h"
#include "platform/tapi.h"

class CTSPILineConnection;
class TSPIHOOKSWITCHPARAM;
class TSPIPHONEDATA;
class TSPIPHONESETDISPLAY;
class TSPIRINGPATTERN;
class TSPISETBUTTONINFO;

// One button/lamp of a phone; its index in the phone's array is its button/lamp ID.
class CPhoneButtonInfo : public CObject {
  DECLARE_DYNCREATE(CPhoneButtonInfo)
 public:
  DWORD dwButtonMode = PHONEBUTTONMODE_DUMMY;
  DWORD dwFunction = PHONEBUTTONFUNCTION_UNKNOWN;
  DWORD dwLampMode = PHONELAMPMODE_DUMMY;  // current PHONELAMPMODE_*
  DWORD dwAvailLampModes = PHONELAMPMODE_DUMMY;
  DWORD dwButtonState = PHONEBUTTONSTATE_UNKNOWN;
  CString strDescription;
};

// Owns its buttons: removing or destroying deletes them.
class CPhoneButtonArray : public CObArray {
  DECLARE_DYNCREATE(CPhoneButtonArray)
 public:
  CPhoneButtonArray() = default;
  ~CPhoneButtonArray() override;
  void RemoveAt(INT_PTR nIndex, INT_PTR nCount = 1);
  void RemoveAll();
  // NULL outside the array.
  CPhoneButtonInfo* GetButton(DWORD dwButtonID) const;
};

class CTSPIPhoneConnection : public CTSPIConnection {
  DECLARE_DYNCREATE(CTSPIPhoneConnection)
 public:
  CTSPIPhoneConnection();
  ~CTSPIPhoneConnection() override;

  using CTSPIConnection::Init;
  DWORD GetPermanentDeviceID() const override;
  void OnRequestComplete(CTSPIRequest* pReq, LONG lResult) override;

  // Virtual operations, in slot order.
  // PHONEERR_INVALBUTTONLAMPID for a missing button.
  virtual LONG GetButtonInfo(DWORD dwButtonID, LPPHONEBUTTONINFO lpButtonInfo);
  // Row up to dwDisplayNumRows and column up to dwDisplayNumColumns (inclusive).
  virtual LONG SetDisplay(DRV_REQUESTID dwRequestID, TSPIPHONESETDISPLAY* pDisplay);
  // PHONEERR_ALLOCATED when open already; PHONEERR_RESOURCEUNAVAIL when the device refuses the
  // connection (the phone stays closed).
  virtual LONG OpenPhone(HTAPIPHONE htPhone, PHONEEVENT lpfnEventProc, DWORD dwTSPIVersion);
  // Fails every queued request with PHONEERR_OPERATIONFAILED and forgets TAPI;
  // PHONEERR_OPERATIONFAILED when the phone is not open.
  virtual LONG ClosePhone();
  virtual LONG SetButtonInfo(DRV_REQUESTID dwRequestID, TSPISETBUTTONINFO* pButtonInfo);
  virtual LONG SetLamp(DRV_REQUESTID dwRequestID, TSPISETBUTTONINFO* pLamp);
  virtual LONG GetDisplay(LPVARSTRING lpDisplay);
  virtual LONG GetGain(DWORD dwHookSwitchDev, LPDWORD lpdwGain);
  virtual LONG GetHookSwitch(LPDWORD lpdwHookSwitchDevs);
  virtual LONG GetLamp(DWORD dwButtonID, LPDWORD lpdwLampMode);
  virtual LONG GetVolume(DWORD dwHookSwitchDev, LPDWORD lpdwVolume);
  virtual LONG SetGain(DRV_REQUESTID dwRequestID, TSPIHOOKSWITCHPARAM* pGain);
  virtual LONG SetVolume(DRV_REQUESTID dwRequestID, TSPIHOOKSWITCHPARAM* pVolume);
  virtual LONG SetHookSwitch(DRV_REQUESTID dwRequestID, TSPIHOOKSWITCHPARAM* pHookSwitch);
  virtual LONG SetRing(DRV_REQUESTID dwRequestID, TSPIRINGPATTERN* pRing);
  // Queues a request TAPI does not track and waits for it (the provider's default request wait):
  // the request's result, or PHONEERR_OPERATIONFAILED when it could not be queued or did not
  // complete in time. Takes the record in every case.
  virtual LONG GetData(TSPIPHONEDATA* pData);
  virtual LONG GetRing(LPDWORD lpdwRingMode, LPDWORD lpdwVolume);
  virtual LONG SetData(DRV_REQUESTID dwRequestID, TSPIPHONEDATA* pData);
  // Button modes without button states: PHONEERR_INVALBUTTONSTATE; button modes 0 keep the
  // button masks.
  virtual LONG SetStatusMessages(DWORD dwPhoneStates, DWORD dwButtonModes, DWORD dwButtonStates);
  // The version is the smaller of dwTSPIVersion and the negotiated one.
  virtual LONG GetDevCaps(DWORD dwTSPIVersion, DWORD dwExtVersion, LPPHONECAPS lpPhoneCaps);
  // The fixed part follows the negotiated version.
  virtual LONG GetStatus(LPPHONESTATUS lpPhoneStatus);
  // PHONEERR_OPERATIONUNAVAIL in the library.
  virtual LONG DevSpecific(DRV_REQUESTID dwRequestID, LPVOID lpParams, DWORD dwSize);
  virtual LONG GetIcon(LPCSTR pszDeviceClass, HICON* lphIcon);
  // PHONEERR_INVALDEVICECLASS for a class the phone does not list.
  virtual LONG GetID(LPCSTR pszDeviceClass, LPVARSTRING lpDeviceID, HANDLE hTargetProcess);
  // Dialog data from the UI side; 0 in the library.
  virtual LONG GenericDialogData(LPVOID lpParams, DWORD dwSize);
  virtual void NotifyCapsChanged();
  virtual void ReportPhoneState(DWORD dwState, DWORD dwParam);
  // dwItemData is ignored by the library.
  virtual void Init(CTSPIDevice* pDevice, DWORD dwPhoneDeviceID, DWORD dwPos,
                    DWORD_PTR dwItemData = 0);
  virtual void ReportButton(DWORD dwButtonID, DWORD dwMode, DWORD dwState);

  // State setters, for a derived phone and for completed requests: each stores, then reports.
  // Devices are PHONEHOOKSWITCHDEV_* bits, handled handset, speaker, headset in that order.
  void UpdateHookSwitch(DWORD dwDevices, DWORD dwMode);
  void UpdateVolume(DWORD dwDevices, DWORD dwVolume);
  void UpdateGain(DWORD dwDevices, DWORD dwGain);
  void UpdateRingMode(DWORD dwRingMode);
  // The old lamp mode; PHONELAMPMODE_DUMMY (and nothing changed) for a missing button. A message
  // indicator's lamp sets the associated line's message-waiting flag (cleared by OFF).
  DWORD SetLampMode(DWORD dwButtonID, DWORD dwLampMode);
  // A missing button is ignored.
  void SetButtonData(DWORD dwButtonID, DWORD dwFunction, DWORD dwMode, LPCSTR pszDescription);
  // Writes dwSize characters at (row, column) of the display, line after line, up to the end of
  // the display and no further; reports PHONESTATE_DISPLAY when something was written.
  void UpdateDisplay(DWORD dwRow, DWORD dwColumn, LPCSTR lpsText, DWORD dwSize);

  // NULL for a missing button; valid while the caller holds the phone's lock.
  CPhoneButtonInfo* GetButton(DWORD dwButtonID) const;
  // The display's characters up to its first NUL; empty without a display.
  CString GetDisplayText() const;
  // The line whose TAPI device ID the phone's "tapi/line" class holds, on the phone's device.
  CTSPILineConnection* GetAssociatedLine() const;

  HTAPIPHONE GetPhoneHandle() const;
  BOOL IsOpen() const { return GetPhoneHandle() != nullptr ? TRUE : FALSE; }
  PHONEEVENT GetPhoneEventCallback() const;
  // Copies taken under the lock.
  PHONECAPS GetPhoneCaps() const;
  PHONESTATUS GetPhoneStatus() const;

 protected:
  // Allocates a display of dwRows × dwColumns spaces (replacing any earlier one) and sets the
  // PHONECAPS dimensions; FALSE without memory.
  BOOL SetupDisplay(DWORD dwColumns, DWORD dwRows);
  // Appends a button and counts it in PHONECAPS; its ID.
  DWORD AddButton(DWORD dwFunction, DWORD dwMode, DWORD dwAvailLampModes, DWORD dwLampMode,
                  LPCSTR pszDescription);
  // Appends a data area of that size and counts it in PHONECAPS.
  void AddGetDataArea(DWORD dwSize);
  void AddSetDataArea(DWORD dwSize);

  // Derived classes change these under the object's lock.
  HTAPIPHONE m_htPhone = nullptr;
  PHONECAPS m_PhoneCaps{};
  PHONESTATUS m_PhoneStatus{};
  PHONEEVENT m_lpfnEventProc = nullptr;
  DWORD m_dwPhoneStates = 0;     // TAPI's PHONESTATE_ mask
  DWORD m_dwButtonModes = 0;     // TAPI's PHONEBUTTONMODE_ mask
  DWORD m_dwButtonStates = 0;    // TAPI's PHONEBUTTONSTATE_ mask
  LPSTR m_lpsDisplay = nullptr;  // m_dwDisplayRows × m_dwDisplayColumns characters and a NUL
  DWORD m_dwDisplayColumns = 0;
  DWORD m_dwDisplayRows = 0;
  CPhoneButtonArray m_arrButtonInfo;
  CDWordArray m_arrGetDataSizes;
  CDWordArray m_arrSetDataSizes;

 private:
  // Sends a PHONE_ message with the phone's handle while a callback is set.
  void SendPhoneEvent(DWORD dwMsg, DWORD_PTR dwParam1, DWORD_PTR dwParam2, DWORD_PTR dwParam3);
  // The feature check and the queueing the asynchronous operations share.
  BOOL HasFeature(DWORD dwFeatures) const;
  LONG QueuePhoneRequest(WORD wType, DRV_REQUESTID dwRequestID, CObject* pRecord,
                         DWORD dwRecordSize, LONG lNotQueued);
  LONG CheckHookSwitchDevices(DWORD dwDevices) const;
  void RestoreProviderVersion();

  bool m_bClosing = false;  // ClosePhone runs
};
