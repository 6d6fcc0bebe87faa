// CServiceProvider: the one application object of the provider library.
//
// Contract:
// - Constructed once by the library's start-up code (a derived provider's global object); the
//   exported functions find it through GetSP(). Construction and InitInstance do nothing but
//   record names, versions, default classes and the exported-function flags: no thread, no
//   registry access, no socket.
// - Owns the devices (one CTSPIDevice per permanent provider ID that TAPI initialises), the
//   runtime classes every framework object is created from, and the timer thread that serves
//   calls with pending timers. The timer thread runs while at least one device exists.
// - Every TAPI operation has a virtual body here that derived providers may override; the
//   exported functions call them with resolved objects in place of TAPI's handles and 8-bit
//   strings in place of wide ones.
// - The device array and the timed-call list each have a lock of their own (their place in the
//   lock order is in base_object.h). The timer thread holds a reference on each call while it
//   serves it, so a call must leave the timed-call list (UnregisterTimedCall) before its last
//   reference is released, and that last release may then come from the timer thread.
#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <vector>

#include "framework/alloc_buffer.h"
#include "framework/flag_array.h"
#include "platform/afx.h"
#include "platform/afxcoll.h"
#include "platform/afxmt.h"
#include "platform/afxwin.h"
#include "platform/tapi.h"

class CADObArray;
class CTSPIAddressInfo;
class CTSPICallAppearance;
class CTSPIConferenceCall;
class CTSPIConnection;
class CTSPIDevice;
class CTSPILineConnection;
class CTSPIPhoneConnection;
class CTSPIRequest;
class DEVICECLASSINFO;
struct TSPIDIALOGINSTANCE;

// providerInit for a permanent provider ID that already has a device. Not a TAPI code: TAPI
// only tests the result for non-zero.
inline constexpr LONG TSPIERR_DUPLICATEPROVIDER = -1;

// Wait of the timer thread between two passes over the calls with timers.
inline constexpr DWORD TIMER_TICK_MSEC = 500;
// Default wait for a request's completion (CTSPIConnection::WaitForRequest given 0) and the
// longest a close waits for pending requests.
inline constexpr DWORD DEFAULT_REQUEST_WAIT_MSEC = 10000;
// TAPI versions the negotiation compares with.
inline constexpr DWORD TAPIVER_13 = 0x00010003;
inline constexpr DWORD TAPIVER_14 = 0x00010004;
inline constexpr DWORD TAPIVER_20 = 0x00020000;  // the lowest the provider reports

// TAPI32's lineGetProviderList, which lists the installed providers (FindInstalledProvider).
using LINEGETPROVIDERLIST = LONG (*)(DWORD dwAPIVersion, LPLINEPROVIDERLIST lpProviderList);

class CServiceProvider : public CWinApp {
 public:
  // pszAppName names the application (and the UI library reported to TAPI), pszProviderName the
  // provider's registry key; both must outlive the provider. dwTapiVersion below 0x00020000
  // counts as 0x00020000.
  CServiceProvider(LPCSTR pszAppName, LPCSTR pszProviderName, DWORD dwTapiVersion);
  ~CServiceProvider() override;

  // Every non-NULL class replaces the one of its kind; NULL keeps the current class.
  void SetObjectClasses(CRuntimeClass* pDevice, CRuntimeClass* pRequest, CRuntimeClass* pLine,
                        CRuntimeClass* pAddress, CRuntimeClass* pCall,
                        CRuntimeClass* pConferenceCall, CRuntimeClass* pPhone);

  // Sets function i's flag for each name of TSPIFunctionNameTable that this module exports.
  void DetectExportedFunctions();
  // The same with another look-up of exported names (non-NULL: exported).
  void DetectExportedFunctions(const std::function<FARPROC(LPCSTR)>& lookup);
  // TRUE when function number wFunction is exported (numbers past the table: FALSE).
  BOOL IsFunctionExported(WORD wFunction) const;

  // Calls with pending timers. Registering twice keeps one entry. A call that registers while the
  // timer thread serves it stays registered, whatever that pass found. UnregisterTimedCall never
  // waits for a pass; the pass's own reference keeps the call alive until it is done with it.
  void RegisterTimedCall(CTSPICallAppearance* pCall);
  void UnregisterTimedCall(CTSPICallAppearance* pCall);
  BOOL IsTimedCall(CTSPICallAppearance* pCall);
  INT_PTR GetTimedCallCount();

  // Look-ups over all devices, in the order providerInit created them; the first match wins.
  // wType: 0 line, 1 phone.
  CTSPIConnection* FindConnectionByDeviceID(DWORD dwDeviceID, WORD wType);
  CTSPILineConnection* FindLineByDeviceID(DWORD dwDeviceID);
  CTSPIPhoneConnection* FindPhoneByDeviceID(DWORD dwDeviceID);
  CTSPIDevice* FindDeviceByProviderID(DWORD dwProviderID);
  // The provider's line at that address, else NULL; the pointer is compared, never read, so
  // any value may be passed (a handle from TAPI).
  CTSPILineConnection* FindLineByAddress(const void* pLine);
  INT_PTR GetDeviceCount();
  CTSPIDevice* GetDeviceByIndex(INT_PTR nIndex);

  // The runtime classes framework objects are created from.
  CRuntimeClass* GetDeviceClass() const { return m_pDeviceClass; }
  CRuntimeClass* GetRequestClass() const { return m_pRequestClass; }
  CRuntimeClass* GetLineClass() const { return m_pLineClass; }
  CRuntimeClass* GetPhoneClass() const { return m_pPhoneClass; }
  CRuntimeClass* GetCallClass() const { return m_pCallClass; }
  CRuntimeClass* GetConferenceCallClass() const { return m_pConferenceCallClass; }
  CRuntimeClass* GetAddressClass() const { return m_pAddressClass; }

  DWORD GetSupportedVersion() const { return m_dwTapiVersion; }
  DWORD GetTSPIVersion() const { return m_dwTSPIVersion; }
  LPCSTR GetProviderName() const { return m_pszProviderName; }
  HPROVIDER GetProviderHandle() const { return m_hProvider; }
  LINEEVENT GetLineCreateProc() const { return m_lpfnLineCreateProc; }
  PHONEEVENT GetPhoneCreateProc() const { return m_lpfnPhoneCreateProc; }
  DWORD GetCurrentLocation() const { return m_dwCurrentLocation.load(); }
  DWORD GetDefaultRequestWait() const { return m_dwDefaultRequestWait.load(); }
  // DEFAULT_REQUEST_WAIT_MSEC unless a test sets a shorter one.
  void SetDefaultRequestWait(DWORD dwMsecs) { m_dwDefaultRequestWait.store(dwMsecs); }

  // The timer thread's wait between passes; TIMER_TICK_MSEC unless a test sets another.
  void SetTimerTick(DWORD dwMsecs) { m_dwTimerTick.store(dwMsecs); }
  BOOL IsTimerThreadRunning();

  // Allocation that answers NULL instead of raising; FreeBuffer takes NULL.
  static LPVOID AllocBuffer(size_t nSize) { return ::AllocBuffer(nSize); }
  static void FreeBuffer(LPVOID lpBuffer) { ::FreeBuffer(lpBuffer); }

  // Registry profile: HKEY_LOCAL_MACHINE "Software\Microsoft\Windows\CurrentVersion\Telephony",
  // the provider's key below it (named by the provider name) and, for a non-zero dwProviderID,
  // its "Device%ld" subkey; dwProviderID 0 is the provider key itself. Reads never fail: a
  // missing key or value, or one that misfits (a DWORD that DwordOfValue refuses, a text over
  // 512 bytes), gives the default. Writes create the keys as needed; FALSE when a key cannot be
  // created or the value written.
  DWORD RegReadDword(DWORD dwProviderID, LPCSTR pszValueName, DWORD dwDefault);
  CString RegReadString(DWORD dwProviderID, LPCSTR pszValueName, LPCSTR pszDefault);
  // RegReadString of each name in turn, with one key open: what a run of RegReadString calls
  // would give, without opening the key for each.
  std::vector<CString> RegReadStrings(DWORD dwProviderID, const std::vector<CString>& names,
                                      LPCSTR pszDefault);
  BOOL RegWriteString(DWORD dwProviderID, LPCSTR pszValueName, LPCSTR pszValue);
  BOOL RegWriteDword(DWORD dwProviderID, LPCSTR pszValueName, DWORD dwValue);
  // Deletes the device key with everything below it; FALSE when the telephony or provider key
  // cannot be opened or something below stays. dwProviderID 0 is refused (FALSE): it would take
  // every instance's settings with it.
  BOOL RegDeleteDeviceKey(DWORD dwProviderID);
  // A value as the registry holds it: its type and its bytes.
  struct REGRAWVALUE {
    DWORD dwType = 0;
    std::vector<BYTE> abData;
  };
  // The number a stored value holds: a REG_DWORD of 4 bytes, or 4 bytes of REG_BINARY. FALSE
  // (dwValue unchanged) for any other type or size, which RegReadDword reads as missing.
  static BOOL DwordOfValue(const REGRAWVALUE& value, DWORD& dwValue);
  // Each named value's type and bytes, with one key open; nullopt for a missing value (every one
  // when the key is missing). FALSE when a value cannot be read for another cause; `values` is
  // then of no use.
  BOOL RegReadRawValues(DWORD dwProviderID, const std::vector<CString>& names,
                        std::vector<std::optional<REGRAWVALUE>>& values);
  // One value for RegReplaceDeviceKey: a REG_SZ text (written with its NUL), a REG_DWORD, or,
  // when `raw` is set, that type and those bytes as they are (dwType, strText and dwValue are
  // then not used).
  struct REGPROFILEVALUE {
    CString strName;
    DWORD dwType = 0;  // REG_SZ or REG_DWORD
    CString strText;
    DWORD dwValue = 0;
    std::optional<REGRAWVALUE> raw = std::nullopt;
  };
  // RegDeleteDeviceKey, then the values in their order as RegWriteString and RegWriteDword
  // write them, into one open key and as one change of the registry file (a single write of
  // it, whatever the number of values). FALSE when the key cannot be created or a value or the
  // file cannot be written; a file that cannot be written is left as it was. The registry is
  // the last lock: the caller collects the values first and may hold no lock it would wait for.
  BOOL RegReplaceDeviceKey(DWORD dwProviderID, const std::vector<REGPROFILEVALUE>& values);
  // The values, as RegReplaceDeviceKey writes them, into the key as it stands (nothing deleted).
  BOOL RegWriteValues(DWORD dwProviderID, const std::vector<REGPROFILEVALUE>& values);
  // TRUE when the key is gone afterwards (or was never there); FALSE as soon as a key below it
  // cannot be deleted.
  static BOOL DeleteRegKeyRecursive(HKEY hKeyParent, LPCSTR pszKeyName);
  // Looks for pszFileName (compared after the last backslash, without regard to case) among
  // the providers that TAPI32.DLL's lineGetProviderList lists: LINEERR_NOMULTIPLEINSTANCE with
  // that entry's permanent provider ID in *lpdwProviderID when found, 0 when not,
  // LINEERR_OPERATIONFAILED or LINEERR_NOMEM when the list cannot be had.
  static LONG FindInstalledProvider(LPCSTR pszFileName, LPDWORD lpdwProviderID);
  // The same with the list function given.
  static LONG FindInstalledProvider(LPCSTR pszFileName, LPDWORD lpdwProviderID,
                                    LINEGETPROVIDERLIST lpfnGetProviderList);

  // Device classes (see framework/device_class.h). The caller holds the lock of the array's
  // holder. Names match without regard to case. AddDeviceClass replaces an entry of the same
  // name and returns the new entry's index, -1 when it cannot be made (the old entry then stays).
  // hHandle INVALID_HANDLE_VALUE: the class has no handle.
  static int AddDeviceClass(CADObArray& arrClasses, LPCSTR pszName, DWORD dwFormat, LPCVOID lpData,
                            DWORD dwSize, HANDLE hHandle);
  static BOOL RemoveDeviceClass(CADObArray& arrClasses, LPCSTR pszName);
  static DEVICECLASSINFO* FindDeviceClass(CADObArray& arrClasses, LPCSTR pszName);
  // Answers lineGetID/phoneGetID: the VARSTRING's string is the entry's handle duplicated into
  // hTargetProcess (8 bytes, when it has one) followed by its data. A structure too small for
  // them gets only dwNeededSize and the format (result 0). LINEERR_OPERATIONFAILED when the
  // handle cannot be duplicated; LINEERR_STRUCTURETOOSMALL below the fixed 24 bytes.
  static LONG FillVarStringFromDeviceClass(DEVICECLASSINFO* pDevClass, LPVARSTRING lpVarString,
                                           HANDLE hTargetProcess);

  // UI side: asks the provider side, through TAPI's UI callback, for the permanent provider ID
  // of the device that holds line (fIsLine) or phone dwDeviceID. Returns the callback's result;
  // *lpdwProviderID is the answer, 0 when there is none.
  static LONG QueryProviderIDThroughUI(TUISPIDLLCALLBACK lpfnDLLCallback, DWORD dwDeviceID,
                                       BOOL fIsLine, LPDWORD lpdwProviderID);

  // The dialog-instance entry of one of the provider's lines whose address is hdDlgInst, else
  // NULL; the handle is compared with the lines' entries, never read.
  TSPIDIALOGINSTANCE* FindDialogInstance(HDRVDIALOGINSTANCE hdDlgInst);

  // The timer thread: runs TimerLoop for the provider passed as parameter.
  static UINT TimerThreadProc(LPVOID pParam);

  // From CWinApp.
  BOOL InitInstance() override;
  int ExitInstance() override;

  // Own virtual operations, in slot order.
  virtual LONG ApplyCallParamDefaults(CTSPILineConnection* pLine, LPLINECALLPARAMS lpCallParams);
  virtual LONG ParseDialableAddressList(CTSPILineConnection* pLine, CTSPIAddressInfo* pAddr,
                                        LPCSTR pszAddress, CADObArray& arrEntries,
                                        DWORD dwCountryCode, LPCSTR pszValidChars = nullptr);
  virtual CString FilterDialChars(LPCSTR pszNumber, LPCSTR pszExtraChars = nullptr);
  virtual CString FormatTenDigitNumber(LPCSTR pszNumber);
  virtual BOOL OpenConnection(CTSPIConnection* pConn);
  virtual BOOL CloseConnection(CTSPIConnection* pConn);
  virtual BOOL SendConnectionData(CTSPIConnection* pConn, LPCVOID lpBuffer, DWORD dwSize);
  virtual void OnIntervalTimer(CTSPIConnection* pConn);
  virtual BOOL MatchValueTriples(DWORD a, DWORD b, DWORD c, DWORD x, DWORD y, DWORD z);
  virtual void WriteDebugTrace(LPCSTR pszText);
  virtual void StartNextRequest(CTSPIConnection* pConn);
  virtual void OnRequestCancelled(CTSPIRequest* pRequest);
  virtual BOOL AcceptNewRequest(CTSPIConnection* pConn, CTSPIRequest* pRequest, int& nPosition);
  virtual BOOL IsFunctionAllowed(CTSPILineConnection* pLine, CTSPIAddressInfo* pAddr,
                                 CTSPICallAppearance* pCall, WORD wFunction);
  virtual BOOL ProcessData(CTSPIConnection* pConn, DWORD dwData, LPCVOID lpBuffer, DWORD dwSize);
  virtual DWORD FilterCallFeatures(CTSPICallAppearance* pCall, DWORD dwFeatures);

  virtual LONG providerEnumDevices(DWORD dwPermanentProviderID, LPDWORD lpdwNumLines,
                                   LPDWORD lpdwNumPhones, HPROVIDER hProvider,
                                   LINEEVENT lpfnLineCreateProc, PHONEEVENT lpfnPhoneCreateProc);
  virtual LONG providerCreateLineDevice(DWORD_PTR dwTempID, DWORD dwDeviceID);
  virtual LONG providerCreatePhoneDevice(DWORD_PTR dwTempID, DWORD dwDeviceID);
  virtual LONG providerInit(DWORD dwTSPIVersion, DWORD dwPermanentProviderID,
                            DWORD dwLineDeviceIDBase, DWORD dwPhoneDeviceIDBase,
                            DWORD_PTR dwNumLines, DWORD_PTR dwNumPhones,
                            ASYNC_COMPLETION lpfnCompletionProc, LPDWORD lpdwTSPIOptions);
  // Removes and deletes the device (NULL: none). With the last device the timer thread ends and
  // the timed-call list is emptied.
  virtual LONG providerShutdown(DWORD dwTSPIVersion, CTSPIDevice* pDevice);
  virtual LONG providerConfig(DWORD dwPermanentProviderID, HWND hwndOwner,
                              TUISPIDLLCALLBACK lpfnDLLCallback);
  // Installation: the telephony key gets "Device%ld" = provider name, the provider key
  // "UsesTSPLib" = 1; removal deletes that value and the whole provider key. Both answer
  // LINEERR_OPERATIONFAILED when the telephony key cannot be opened or a change fails.
  virtual LONG providerInstall(DWORD dwPermanentProviderID, HWND hwndOwner,
                               TUISPIDLLCALLBACK lpfnDLLCallback);
  virtual LONG providerRemove(DWORD dwPermanentProviderID, HWND hwndOwner,
                              TUISPIDLLCALLBACK lpfnDLLCallback);
  virtual LONG providerFreeDialogInstance(HDRVDIALOGINSTANCE hdDlgInst);
  virtual LONG ReservedProviderOperation();
  virtual LONG providerGenericDialogData(CTSPIDevice* pDevice, CTSPILineConnection* pLine,
                                         CTSPIPhoneConnection* pPhone, HDRVDIALOGINSTANCE hdDlgInst,
                                         LPVOID lpParams, DWORD dwSize);
  virtual LONG providerUIIdentify(LPWSTR lpszUIDLLName);
  virtual LONG providerGenericDialog(HTAPIDIALOGINSTANCE htDlgInst, LPVOID lpParams, DWORD dwSize,
                                     HANDLE hEvent, TUISPIDLLCALLBACK lpfnDLLCallback);
  virtual LONG lineNegotiateTSPIVersion(DWORD dwDeviceID, DWORD dwLowVersion, DWORD dwHighVersion,
                                        LPDWORD lpdwTSPIVersion);
  virtual LONG lineConfigDialog(DWORD dwDeviceID, HWND hwndOwner, LPCSTR pszDeviceClass,
                                TUISPIDLLCALLBACK lpfnDLLCallback);
  virtual LONG lineConfigDialogEdit(DWORD dwDeviceID, HWND hwndOwner, LPCSTR pszDeviceClass,
                                    LPVOID const lpDeviceConfigIn, DWORD dwSize,
                                    LPVARSTRING lpDeviceConfigOut,
                                    TUISPIDLLCALLBACK lpfnDLLCallback);
  virtual LONG phoneConfigDialog(DWORD dwDeviceID, HWND hwndOwner, LPCSTR pszDeviceClass,
                                 TUISPIDLLCALLBACK lpfnDLLCallback);

  // Line request entries: the exported function passes the line, address or call it resolved,
  // then the remaining TSPI arguments in TSPI order.
  virtual LONG lineGetIcon(CTSPILineConnection* pLine, LPCSTR pszDeviceClass, HICON* lphIcon);
  virtual LONG lineOpen(CTSPILineConnection* pLine, HTAPILINE htLine, LPHDRVLINE lphdLine,
                        DWORD dwTSPIVersion, LINEEVENT lpfnEventProc);
  virtual LONG lineClose(CTSPILineConnection* pLine);
  virtual LONG lineCloseCall(CTSPICallAppearance* pCall);
  virtual LONG lineDrop(CTSPICallAppearance* pCall, DRV_REQUESTID dwRequestID,
                        LPCSTR lpsUserUserInfo, DWORD dwSize);
  virtual LONG lineDial(CTSPICallAppearance* pCall, DRV_REQUESTID dwRequestID,
                        LPCSTR pszDestAddress, DWORD dwCountryCode);
  virtual LONG lineAccept(CTSPICallAppearance* pCall, DRV_REQUESTID dwRequestID,
                          LPCSTR lpsUserUserInfo, DWORD dwSize);
  virtual LONG lineAddToConference(CTSPIConferenceCall* pConfCall,
                                   CTSPICallAppearance* pConsultCall, DRV_REQUESTID dwRequestID);
  virtual LONG lineAnswer(CTSPICallAppearance* pCall, DRV_REQUESTID dwRequestID,
                          LPCSTR lpsUserUserInfo, DWORD dwSize);
  virtual LONG lineBlindTransfer(CTSPICallAppearance* pCall, DRV_REQUESTID dwRequestID,
                                 LPCSTR pszDestAddress, DWORD dwCountryCode);
  virtual LONG lineCompleteCall(CTSPICallAppearance* pCall, DRV_REQUESTID dwRequestID,
                                LPDWORD lpdwCompletionID, DWORD dwCompletionMode,
                                DWORD dwMessageID);
  virtual LONG lineCompleteTransfer(CTSPICallAppearance* pCall, DRV_REQUESTID dwRequestID,
                                    CTSPICallAppearance* pConsultCall, HTAPICALL htConfCall,
                                    LPHDRVCALL lphdConfCall, DWORD dwTransferMode);
  virtual LONG lineDevSpecific(CTSPILineConnection* pLine, CTSPIAddressInfo* pAddr,
                               CTSPICallAppearance* pCall, DRV_REQUESTID dwRequestID,
                               LPVOID lpParams, DWORD dwSize);
  virtual LONG lineDevSpecificFeature(CTSPILineConnection* pLine, DRV_REQUESTID dwRequestID,
                                      DWORD dwFeature, LPVOID lpParams, DWORD dwSize);
  virtual LONG linePark(CTSPICallAppearance* pCall, DRV_REQUESTID dwRequestID, DWORD dwParkMode,
                        LPCSTR pszDirAddress, LPVARSTRING lpNonDirAddress);
  virtual LONG linePickup(CTSPIAddressInfo* pAddr, DRV_REQUESTID dwRequestID, HTAPICALL htCall,
                          LPHDRVCALL lphdCall, LPCSTR pszDestAddress, LPCSTR pszGroupID);
  virtual LONG linePrepareAddToConference(CTSPIConferenceCall* pConfCall, DRV_REQUESTID dwRequestID,
                                          HTAPICALL htConsultCall, LPHDRVCALL lphdConsultCall,
                                          LPLINECALLPARAMS const lpCallParams);
  virtual LONG lineRedirect(CTSPICallAppearance* pCall, DRV_REQUESTID dwRequestID,
                            LPCSTR pszDestAddress, DWORD dwCountryCode);
  // pAddr NULL: all addresses.
  virtual LONG lineForward(CTSPILineConnection* pLine, CTSPIAddressInfo* pAddr,
                           DRV_REQUESTID dwRequestID, LPLINEFORWARDLIST const lpForwardList,
                           DWORD dwNumRingsNoAnswer, HTAPICALL htConsultCall,
                           LPHDRVCALL lphdConsultCall, LPLINECALLPARAMS const lpCallParams);
  virtual LONG lineGatherDigits(CTSPICallAppearance* pCall, DWORD dwEndToEndID, DWORD dwDigitModes,
                                LPWSTR lpsDigits, DWORD dwNumDigits, LPCSTR pszTerminationDigits,
                                DWORD dwFirstDigitTimeout, DWORD dwInterDigitTimeout);
  virtual LONG lineGenerateDigits(CTSPICallAppearance* pCall, DWORD dwEndToEndID, DWORD dwDigitMode,
                                  LPCSTR pszDigits, DWORD dwDuration);
  virtual LONG lineGenerateTone(CTSPICallAppearance* pCall, DWORD dwEndToEndID, DWORD dwToneMode,
                                DWORD dwDuration, DWORD dwNumTones,
                                LPLINEGENERATETONE const lpTones);
  virtual LONG lineMonitorDigits(CTSPICallAppearance* pCall, DWORD dwDigitModes);
  virtual LONG lineMonitorMedia(CTSPICallAppearance* pCall, DWORD dwMediaModes);
  virtual LONG lineMonitorTones(CTSPICallAppearance* pCall, DWORD dwToneListID,
                                LPLINEMONITORTONE const lpToneList, DWORD dwNumEntries);
  virtual LONG lineNegotiateExtVersion(DWORD dwDeviceID, DWORD dwTSPIVersion, DWORD dwLowVersion,
                                       DWORD dwHighVersion, LPDWORD lpdwExtVersion);
  virtual LONG lineRemoveFromConference(CTSPICallAppearance* pCall, DRV_REQUESTID dwRequestID);
  virtual LONG lineSecureCall(CTSPICallAppearance* pCall, DRV_REQUESTID dwRequestID);
  virtual LONG lineSelectExtVersion(CTSPILineConnection* pLine, DWORD dwExtVersion);
  virtual LONG lineSendUserUserInfo(CTSPICallAppearance* pCall, DRV_REQUESTID dwRequestID,
                                    LPCSTR lpsUserUserInfo, DWORD dwSize);
  virtual LONG lineSetCallParams(CTSPICallAppearance* pCall, DRV_REQUESTID dwRequestID,
                                 DWORD dwBearerMode, DWORD dwMinRate, DWORD dwMaxRate,
                                 LPLINEDIALPARAMS const lpDialParams);
  virtual LONG lineSetCurrentLocation(DWORD dwLocation);
  virtual LONG lineGetAddressCaps(CTSPIAddressInfo* pAddr, DWORD dwTSPIVersion, DWORD dwExtVersion,
                                  LPLINEADDRESSCAPS lpAddressCaps);
  virtual LONG lineGetAddressID(CTSPILineConnection* pLine, LPDWORD lpdwAddressID,
                                DWORD dwAddressMode, LPCSTR pszAddress, DWORD dwSize);
  virtual LONG lineGetAddressStatus(CTSPIAddressInfo* pAddr, LPLINEADDRESSSTATUS lpAddressStatus);
  virtual LONG lineGetCallAddressID(CTSPICallAppearance* pCall, LPDWORD lpdwAddressID);
  virtual LONG lineGetCallInfo(CTSPICallAppearance* pCall, LPLINECALLINFO lpCallInfo);
  virtual LONG lineGetCallStatus(CTSPICallAppearance* pCall, LPLINECALLSTATUS lpCallStatus);
  virtual LONG lineGetDevCaps(CTSPILineConnection* pLine, DWORD dwTSPIVersion, DWORD dwExtVersion,
                              LPLINEDEVCAPS lpLineDevCaps);
  virtual LONG lineGetDevConfig(CTSPILineConnection* pLine, LPVARSTRING lpDeviceConfig,
                                LPCSTR pszDeviceClass);
  virtual LONG lineSetDevConfig(CTSPILineConnection* pLine, LPVOID const lpDeviceConfig,
                                DWORD dwSize, LPCSTR pszDeviceClass);
  virtual LONG lineReleaseUserUserInfo(CTSPICallAppearance* pCall, DRV_REQUESTID dwRequestID);
  virtual LONG lineSetCallData(CTSPICallAppearance* pCall, DRV_REQUESTID dwRequestID,
                               LPVOID lpCallData, DWORD dwSize);
  virtual LONG lineSetCallQualityOfService(CTSPICallAppearance* pCall, DRV_REQUESTID dwRequestID,
                                           LPVOID lpSendingFlowspec, DWORD dwSendingFlowspecSize,
                                           LPVOID lpReceivingFlowspec,
                                           DWORD dwReceivingFlowspecSize);
  virtual LONG lineSetCallTreatment(CTSPICallAppearance* pCall, DRV_REQUESTID dwRequestID,
                                    DWORD dwTreatment);
  virtual LONG lineSetLineDevStatus(CTSPILineConnection* pLine, DRV_REQUESTID dwRequestID,
                                    DWORD dwStatusToChange, DWORD fStatus);
  virtual LONG lineSetMediaControl(
      CTSPILineConnection* pLine, CTSPIAddressInfo* pAddr, CTSPICallAppearance* pCall,
      LPLINEMEDIACONTROLDIGIT const lpDigitList, DWORD dwDigitNumEntries,
      LPLINEMEDIACONTROLMEDIA const lpMediaList, DWORD dwMediaNumEntries,
      LPLINEMEDIACONTROLTONE const lpToneList, DWORD dwToneNumEntries,
      LPLINEMEDIACONTROLCALLSTATE const lpCallStateList, DWORD dwCallStateNumEntries);
  virtual LONG lineSetTerminal(CTSPILineConnection* pLine, CTSPIAddressInfo* pAddr,
                               CTSPICallAppearance* pCall, DRV_REQUESTID dwRequestID,
                               DWORD dwTerminalModes, DWORD dwTerminalID, DWORD bEnable);
  virtual LONG lineSetupConference(CTSPILineConnection* pLine, CTSPICallAppearance* pCall,
                                   DRV_REQUESTID dwRequestID, HTAPICALL htConfCall,
                                   LPHDRVCALL lphdConfCall, HTAPICALL htConsultCall,
                                   LPHDRVCALL lphdConsultCall, DWORD dwNumParties,
                                   LPLINECALLPARAMS const lpCallParams);
  virtual LONG lineUncompleteCall(CTSPILineConnection* pLine, DRV_REQUESTID dwRequestID,
                                  DWORD dwCompletionID);
  virtual LONG lineUnpark(CTSPIAddressInfo* pAddr, DRV_REQUESTID dwRequestID, HTAPICALL htCall,
                          LPHDRVCALL lphdCall, LPCSTR pszDestAddress);
  virtual LONG lineGetExtensionID(CTSPILineConnection* pLine, DWORD dwTSPIVersion,
                                  LPLINEEXTENSIONID lpExtensionID);
  virtual LONG lineGetID(CTSPILineConnection* pLine, CTSPIAddressInfo* pAddr,
                         CTSPICallAppearance* pCall, LPCSTR pszDeviceClass, LPVARSTRING lpDeviceID,
                         HANDLE hTargetProcess);
  virtual LONG lineGetLineDevStatus(CTSPILineConnection* pLine, LPLINEDEVSTATUS lpLineDevStatus);
  virtual LONG lineGetNumAddressIDs(CTSPILineConnection* pLine, LPDWORD lpdwNumAddressIDs);
  virtual LONG lineHold(CTSPICallAppearance* pCall, DRV_REQUESTID dwRequestID);
  virtual LONG lineMakeCall(CTSPILineConnection* pLine, DRV_REQUESTID dwRequestID, HTAPICALL htCall,
                            LPHDRVCALL lphdCall, LPCSTR pszDestAddress, DWORD dwCountryCode,
                            LPLINECALLPARAMS const lpCallParams);
  virtual LONG lineSetAppSpecific(CTSPICallAppearance* pCall, DWORD dwAppSpecific);
  virtual LONG lineConditionalMediaDetection(CTSPILineConnection* pLine, DWORD dwMediaModes,
                                             LPLINECALLPARAMS const lpCallParams);
  virtual LONG lineSetDefaultMediaDetection(CTSPILineConnection* pLine, DWORD dwMediaModes);
  virtual LONG lineSetMediaMode(CTSPICallAppearance* pCall, DWORD dwMediaMode);
  virtual LONG lineSetStatusMessages(CTSPILineConnection* pLine, DWORD dwLineStates,
                                     DWORD dwAddressStates);
  virtual LONG lineSetupTransfer(CTSPICallAppearance* pCall, DRV_REQUESTID dwRequestID,
                                 HTAPICALL htConsultCall, LPHDRVCALL lphdConsultCall,
                                 LPLINECALLPARAMS const lpCallParams);
  virtual LONG lineSwapHold(CTSPICallAppearance* pActiveCall, DRV_REQUESTID dwRequestID,
                            CTSPICallAppearance* pHeldCall);
  virtual LONG lineUnhold(CTSPICallAppearance* pCall, DRV_REQUESTID dwRequestID);

  // Phone request entries.
  virtual LONG phoneNegotiateTSPIVersion(DWORD dwDeviceID, DWORD dwLowVersion, DWORD dwHighVersion,
                                         LPDWORD lpdwTSPIVersion);
  virtual LONG phoneNegotiateExtVersion(DWORD dwDeviceID, DWORD dwTSPIVersion, DWORD dwLowVersion,
                                        DWORD dwHighVersion, LPDWORD lpdwExtVersion);
  virtual LONG phoneOpen(CTSPIPhoneConnection* pPhone, HTAPIPHONE htPhone, LPHDRVPHONE lphdPhone,
                         DWORD dwTSPIVersion, PHONEEVENT lpfnEventProc);
  virtual LONG phoneClose(CTSPIPhoneConnection* pPhone);
  virtual LONG phoneDevSpecific(CTSPIPhoneConnection* pPhone, DRV_REQUESTID dwRequestID,
                                LPVOID lpParams, DWORD dwSize);
  virtual LONG phoneGetButtonInfo(CTSPIPhoneConnection* pPhone, DWORD dwButtonLampID,
                                  LPPHONEBUTTONINFO lpButtonInfo);
  virtual LONG phoneGetData(CTSPIPhoneConnection* pPhone, DWORD dwDataID, LPVOID lpData,
                            DWORD dwSize);
  virtual LONG phoneGetDevCaps(CTSPIPhoneConnection* pPhone, DWORD dwTSPIVersion,
                               DWORD dwExtVersion, LPPHONECAPS lpPhoneCaps);
  virtual LONG phoneGetDisplay(CTSPIPhoneConnection* pPhone, LPVARSTRING lpDisplay);
  virtual LONG phoneGetExtensionID(CTSPIPhoneConnection* pPhone, DWORD dwTSPIVersion,
                                   LPPHONEEXTENSIONID lpExtensionID);
  virtual LONG phoneGetGain(CTSPIPhoneConnection* pPhone, DWORD dwHookSwitchDev, LPDWORD lpdwGain);
  virtual LONG phoneGetHookSwitch(CTSPIPhoneConnection* pPhone, LPDWORD lpdwHookSwitchDevs);
  virtual LONG phoneGetIcon(CTSPIPhoneConnection* pPhone, LPCSTR pszDeviceClass, HICON* lphIcon);
  virtual LONG phoneGetID(CTSPIPhoneConnection* pPhone, LPVARSTRING lpDeviceID,
                          LPCSTR pszDeviceClass, HANDLE hTargetProcess);
  virtual LONG phoneGetLamp(CTSPIPhoneConnection* pPhone, DWORD dwButtonLampID,
                            LPDWORD lpdwLampMode);
  virtual LONG phoneGetRing(CTSPIPhoneConnection* pPhone, LPDWORD lpdwRingMode, LPDWORD lpdwVolume);
  virtual LONG phoneGetStatus(CTSPIPhoneConnection* pPhone, LPPHONESTATUS lpPhoneStatus);
  virtual LONG phoneGetVolume(CTSPIPhoneConnection* pPhone, DWORD dwHookSwitchDev,
                              LPDWORD lpdwVolume);
  virtual LONG phoneSelectExtVersion(CTSPIPhoneConnection* pPhone, DWORD dwExtVersion);
  virtual LONG phoneSetButtonInfo(CTSPIPhoneConnection* pPhone, DRV_REQUESTID dwRequestID,
                                  DWORD dwButtonLampID, LPPHONEBUTTONINFO const lpButtonInfo);
  virtual LONG phoneSetData(CTSPIPhoneConnection* pPhone, DRV_REQUESTID dwRequestID, DWORD dwDataID,
                            LPVOID const lpData, DWORD dwSize);
  virtual LONG phoneSetDisplay(CTSPIPhoneConnection* pPhone, DRV_REQUESTID dwRequestID, DWORD dwRow,
                               DWORD dwColumn, LPCSTR lpsDisplay, DWORD dwSize);
  virtual LONG phoneSetGain(CTSPIPhoneConnection* pPhone, DRV_REQUESTID dwRequestID,
                            DWORD dwHookSwitchDev, DWORD dwGain);
  virtual LONG phoneSetHookSwitch(CTSPIPhoneConnection* pPhone, DRV_REQUESTID dwRequestID,
                                  DWORD dwHookSwitchDevs, DWORD dwHookSwitchMode);
  virtual LONG phoneSetLamp(CTSPIPhoneConnection* pPhone, DRV_REQUESTID dwRequestID,
                            DWORD dwButtonLampID, DWORD dwLampMode);
  virtual LONG phoneSetRing(CTSPIPhoneConnection* pPhone, DRV_REQUESTID dwRequestID,
                            DWORD dwRingMode, DWORD dwVolume);
  virtual LONG phoneSetStatusMessages(CTSPIPhoneConnection* pPhone, DWORD dwPhoneStates,
                                      DWORD dwButtonModes, DWORD dwButtonStates);
  virtual LONG phoneSetVolume(CTSPIPhoneConnection* pPhone, DRV_REQUESTID dwRequestID,
                              DWORD dwHookSwitchDev, DWORD dwVolume);

 protected:
  // One pass over the calls with timers; the timer thread's, and never two at once.
  void ServiceTimedCalls();

 private:
  // RegReplaceDeviceKey (bReplaceKey) and RegWriteValues: one batch around WriteValuesInBatch,
  // which writes the values into one open key.
  BOOL WriteProfileValues(DWORD dwProviderID, const std::vector<REGPROFILEVALUE>& values,
                          BOOL bReplaceKey);
  BOOL WriteValuesInBatch(DWORD dwProviderID, const std::vector<REGPROFILEVALUE>& values,
                          BOOL bReplaceKey);
  UINT TimerLoop();
  BOOL StartTimerThread();
  void StopTimerThread();
  void DeleteAllDevices();

  CObArray m_arrDevices;
  HPROVIDER m_hProvider = nullptr;
  CRuntimeClass* m_pRequestClass = nullptr;
  CRuntimeClass* m_pLineClass = nullptr;
  CRuntimeClass* m_pPhoneClass = nullptr;
  CRuntimeClass* m_pDeviceClass = nullptr;
  CRuntimeClass* m_pCallClass = nullptr;
  CRuntimeClass* m_pConferenceCallClass = nullptr;
  CRuntimeClass* m_pAddressClass = nullptr;
  CFlagArray m_arrProviderCaps;
  CEvent m_evtStopTimer;
  CWinThread* m_pTimerThread = nullptr;
  std::atomic<DWORD> m_dwDefaultRequestWait{DEFAULT_REQUEST_WAIT_MSEC};
  LINEEVENT m_lpfnLineCreateProc = nullptr;
  PHONEEVENT m_lpfnPhoneCreateProc = nullptr;
  LPCSTR m_pszProviderName;
  std::atomic<DWORD> m_dwCurrentLocation{0};  // TAPI's threads set it at any time
  DWORD m_dwTapiVersion;
  DWORD m_dwTSPIVersion = 0;
  CCriticalSection m_csTimedCalls;  // guards the two arrays below and the flag
  CPtrArray m_arrTimedCalls;        // CTSPICallAppearance*, not owned
  // Calls registered while a pass serves calls outside the list lock; a pass never removes them.
  CPtrArray m_arrRenewedTimedCalls;
  BOOL m_bServingTimedCalls = FALSE;
  // Guards the device array, which TAPI's threads read while providerInit/Shutdown change it.
  CCriticalSection m_csDevices;
  // Serialises providerInit, providerShutdown and ExitInstance (the device set and the timer
  // thread change only under it).
  CCriticalSection m_csLifecycle;
  std::atomic<DWORD> m_dwTimerTick{TIMER_TICK_MSEC};
};

// The provider object of this module.
CServiceProvider* GetSP();
