// The provider's exported entry points: 50 TSPI_line*, 10 TSPI_provider* and 6 TUISPI_* functions
// with their published signatures, C linkage and default visibility (everything else in the
// library stays hidden). Each answers 0, a request ID for an accepted asynchronous request, or a
// negative LINEERR_/PHONEERR_ code.
#pragma once

#include "platform/tapi.h"

#define TSPIAPI extern "C" __attribute__((visibility("default")))

// Line functions.
TSPIAPI LONG TSPI_lineAddToConference(DRV_REQUESTID dwRequestID, HDRVCALL hdConfCall,
                                      HDRVCALL hdConsultCall);
TSPIAPI LONG TSPI_lineAnswer(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, LPCSTR lpsUserUserInfo,
                             DWORD dwSize);
TSPIAPI LONG TSPI_lineBlindTransfer(DRV_REQUESTID dwRequestID, HDRVCALL hdCall,
                                    LPCWSTR lpszDestAddress, DWORD dwCountryCode);
TSPIAPI LONG TSPI_lineClose(HDRVLINE hdLine);
TSPIAPI LONG TSPI_lineCloseCall(HDRVCALL hdCall);
TSPIAPI LONG TSPI_lineCompleteTransfer(DRV_REQUESTID dwRequestID, HDRVCALL hdCall,
                                       HDRVCALL hdConsultCall, HTAPICALL htConfCall,
                                       LPHDRVCALL lphdConfCall, DWORD dwTransferMode);
TSPIAPI LONG TSPI_lineConfigDialog(DWORD dwDeviceID, HWND hwndOwner, LPCWSTR lpszDeviceClass);
TSPIAPI LONG TSPI_lineConfigDialogEdit(DWORD dwDeviceID, HWND hwndOwner, LPCWSTR lpszDeviceClass,
                                       LPVOID const lpDeviceConfigIn, DWORD dwSize,
                                       LPVARSTRING lpDeviceConfigOut);
TSPIAPI LONG TSPI_lineDial(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, LPCWSTR lpszDestAddress,
                           DWORD dwCountryCode);
TSPIAPI LONG TSPI_lineDrop(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, LPCSTR lpsUserUserInfo,
                           DWORD dwSize);
TSPIAPI LONG TSPI_lineForward(DRV_REQUESTID dwRequestID, HDRVLINE hdLine, DWORD bAllAddresses,
                              DWORD dwAddressID, LPLINEFORWARDLIST const lpForwardList,
                              DWORD dwNumRingsNoAnswer, HTAPICALL htConsultCall,
                              LPHDRVCALL lphdConsultCall, LPLINECALLPARAMS const lpCallParams);
TSPIAPI LONG TSPI_lineGatherDigits(HDRVCALL hdCall, DWORD dwEndToEndID, DWORD dwDigitModes,
                                   LPWSTR lpsDigits, DWORD dwNumDigits,
                                   LPCWSTR lpszTerminationDigits, DWORD dwFirstDigitTimeout,
                                   DWORD dwInterDigitTimeout);
TSPIAPI LONG TSPI_lineGenerateDigits(HDRVCALL hdCall, DWORD dwEndToEndID, DWORD dwDigitMode,
                                     LPCWSTR lpszDigits, DWORD dwDuration);
TSPIAPI LONG TSPI_lineGenerateTone(HDRVCALL hdCall, DWORD dwEndToEndID, DWORD dwToneMode,
                                   DWORD dwDuration, DWORD dwNumTones,
                                   LPLINEGENERATETONE const lpTones);
TSPIAPI LONG TSPI_lineGetAddressCaps(DWORD dwDeviceID, DWORD dwAddressID, DWORD dwTSPIVersion,
                                     DWORD dwExtVersion, LPLINEADDRESSCAPS lpAddressCaps);
TSPIAPI LONG TSPI_lineGetAddressID(HDRVLINE hdLine, LPDWORD lpdwAddressID, DWORD dwAddressMode,
                                   LPCWSTR lpsAddress, DWORD dwSize);
TSPIAPI LONG TSPI_lineGetAddressStatus(HDRVLINE hdLine, DWORD dwAddressID,
                                       LPLINEADDRESSSTATUS lpAddressStatus);
TSPIAPI LONG TSPI_lineGetCallAddressID(HDRVCALL hdCall, LPDWORD lpdwAddressID);
TSPIAPI LONG TSPI_lineGetCallInfo(HDRVCALL hdCall, LPLINECALLINFO lpCallInfo);
TSPIAPI LONG TSPI_lineGetCallStatus(HDRVCALL hdCall, LPLINECALLSTATUS lpCallStatus);
TSPIAPI LONG TSPI_lineGetDevCaps(DWORD dwDeviceID, DWORD dwTSPIVersion, DWORD dwExtVersion,
                                 LPLINEDEVCAPS lpLineDevCaps);
TSPIAPI LONG TSPI_lineGetDevConfig(DWORD dwDeviceID, LPVARSTRING lpDeviceConfig,
                                   LPCWSTR lpszDeviceClass);
TSPIAPI LONG TSPI_lineGetExtensionID(DWORD dwDeviceID, DWORD dwTSPIVersion,
                                     LPLINEEXTENSIONID lpExtensionID);
TSPIAPI LONG TSPI_lineGetID(HDRVLINE hdLine, DWORD dwAddressID, HDRVCALL hdCall, DWORD dwSelect,
                            LPVARSTRING lpDeviceID, LPCWSTR lpszDeviceClass, HANDLE hTargetProcess);
TSPIAPI LONG TSPI_lineGetLineDevStatus(HDRVLINE hdLine, LPLINEDEVSTATUS lpLineDevStatus);
TSPIAPI LONG TSPI_lineGetNumAddressIDs(HDRVLINE hdLine, LPDWORD lpdwNumAddressIDs);
TSPIAPI LONG TSPI_lineHold(DRV_REQUESTID dwRequestID, HDRVCALL hdCall);
TSPIAPI LONG TSPI_lineMakeCall(DRV_REQUESTID dwRequestID, HDRVLINE hdLine, HTAPICALL htCall,
                               LPHDRVCALL lphdCall, LPCWSTR lpszDestAddress, DWORD dwCountryCode,
                               LPLINECALLPARAMS const lpCallParams);
TSPIAPI LONG TSPI_lineMonitorDigits(HDRVCALL hdCall, DWORD dwDigitModes);
TSPIAPI LONG TSPI_lineMonitorMedia(HDRVCALL hdCall, DWORD dwMediaModes);
TSPIAPI LONG TSPI_lineMonitorTones(HDRVCALL hdCall, DWORD dwToneListID,
                                   LPLINEMONITORTONE const lpToneList, DWORD dwNumEntries);
TSPIAPI LONG TSPI_lineNegotiateTSPIVersion(DWORD dwDeviceID, DWORD dwLowVersion,
                                           DWORD dwHighVersion, LPDWORD lpdwTSPIVersion);
TSPIAPI LONG TSPI_lineOpen(DWORD dwDeviceID, HTAPILINE htLine, LPHDRVLINE lphdLine,
                           DWORD dwTSPIVersion, LINEEVENT lpfnEventProc);
TSPIAPI LONG TSPI_linePark(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, DWORD dwParkMode,
                           LPCWSTR lpszDirAddress, LPVARSTRING lpNonDirAddress);
TSPIAPI LONG TSPI_linePickup(DRV_REQUESTID dwRequestID, HDRVLINE hdLine, DWORD dwAddressID,
                             HTAPICALL htCall, LPHDRVCALL lphdCall, LPCWSTR lpszDestAddress,
                             LPCWSTR lpszGroupID);
TSPIAPI LONG TSPI_lineRedirect(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, LPCWSTR lpszDestAddress,
                               DWORD dwCountryCode);
TSPIAPI LONG TSPI_lineReleaseUserUserInfo(DRV_REQUESTID dwRequestID, HDRVCALL hdCall);
TSPIAPI LONG TSPI_lineRemoveFromConference(DRV_REQUESTID dwRequestID, HDRVCALL hdCall);
TSPIAPI LONG TSPI_lineSecureCall(DRV_REQUESTID dwRequestID, HDRVCALL hdCall);
TSPIAPI LONG TSPI_lineSetAppSpecific(HDRVCALL hdCall, DWORD dwAppSpecific);
TSPIAPI LONG TSPI_lineSetCurrentLocation(DWORD dwLocation);
TSPIAPI LONG TSPI_lineSetDefaultMediaDetection(HDRVLINE hdLine, DWORD dwMediaModes);
TSPIAPI LONG TSPI_lineSetDevConfig(DWORD dwDeviceID, LPVOID const lpDeviceConfig, DWORD dwSize,
                                   LPCWSTR lpszDeviceClass);
TSPIAPI LONG TSPI_lineSetMediaMode(HDRVCALL hdCall, DWORD dwMediaMode);
TSPIAPI LONG TSPI_lineSetStatusMessages(HDRVLINE hdLine, DWORD dwLineStates, DWORD dwAddressStates);
TSPIAPI LONG TSPI_lineSetupTransfer(DRV_REQUESTID dwRequestID, HDRVCALL hdCall,
                                    HTAPICALL htConsultCall, LPHDRVCALL lphdConsultCall,
                                    LPLINECALLPARAMS const lpCallParams);
TSPIAPI LONG TSPI_lineSwapHold(DRV_REQUESTID dwRequestID, HDRVCALL hdActiveCall,
                               HDRVCALL hdHeldCall);
TSPIAPI LONG TSPI_lineUncompleteCall(DRV_REQUESTID dwRequestID, HDRVLINE hdLine,
                                     DWORD dwCompletionID);
TSPIAPI LONG TSPI_lineUnhold(DRV_REQUESTID dwRequestID, HDRVCALL hdCall);
TSPIAPI LONG TSPI_lineUnpark(DRV_REQUESTID dwRequestID, HDRVLINE hdLine, DWORD dwAddressID,
                             HTAPICALL htCall, LPHDRVCALL lphdCall, LPCWSTR lpszDestAddress);

// Provider functions.
TSPIAPI LONG TSPI_providerConfig(HWND hwndOwner, DWORD dwPermanentProviderID);
TSPIAPI LONG TSPI_providerCreateLineDevice(DWORD_PTR dwTempID, DWORD dwDeviceID);
TSPIAPI LONG TSPI_providerCreatePhoneDevice(DWORD_PTR dwTempID, DWORD dwDeviceID);
TSPIAPI LONG TSPI_providerEnumDevices(DWORD dwPermanentProviderID, LPDWORD lpdwNumLines,
                                      LPDWORD lpdwNumPhones, HPROVIDER hProvider,
                                      LINEEVENT lpfnLineCreateProc, PHONEEVENT lpfnPhoneCreateProc);
TSPIAPI LONG TSPI_providerGenericDialogData(DWORD_PTR dwObjectID, DWORD dwObjectType,
                                            LPVOID lpParams, DWORD dwSize);
TSPIAPI LONG TSPI_providerInit(DWORD dwTSPIVersion, DWORD dwPermanentProviderID,
                               DWORD dwLineDeviceIDBase, DWORD dwPhoneDeviceIDBase,
                               DWORD_PTR dwNumLines, DWORD_PTR dwNumPhones,
                               ASYNC_COMPLETION lpfnCompletionProc, LPDWORD lpdwTSPIOptions);
TSPIAPI LONG TSPI_providerInstall(HWND hwndOwner, DWORD dwPermanentProviderID);
TSPIAPI LONG TSPI_providerRemove(HWND hwndOwner, DWORD dwPermanentProviderID);
TSPIAPI LONG TSPI_providerShutdown(DWORD dwTSPIVersion, DWORD dwPermanentProviderID);
TSPIAPI LONG TSPI_providerUIIdentify(LPWSTR lpszUIDLLName);

// User-interface functions, run in the process that shows the dialog.
TSPIAPI LONG TUISPI_lineConfigDialog(TUISPIDLLCALLBACK lpfnUIDLLCallback, DWORD dwDeviceID,
                                     HWND hwndOwner, LPCWSTR lpszDeviceClass);
TSPIAPI LONG TUISPI_lineConfigDialogEdit(TUISPIDLLCALLBACK lpfnUIDLLCallback, DWORD dwDeviceID,
                                         HWND hwndOwner, LPCWSTR lpszDeviceClass,
                                         LPVOID const lpDeviceConfigIn, DWORD dwSize,
                                         LPVARSTRING lpDeviceConfigOut);
TSPIAPI LONG TUISPI_providerConfig(TUISPIDLLCALLBACK lpfnUIDLLCallback, HWND hwndOwner,
                                   DWORD dwPermanentProviderID);
TSPIAPI LONG TUISPI_providerGenericDialog(TUISPIDLLCALLBACK lpfnUIDLLCallback,
                                          HTAPIDIALOGINSTANCE htDlgInst, LPVOID lpParams,
                                          DWORD dwSize, HANDLE hEvent);
TSPIAPI LONG TUISPI_providerInstall(TUISPIDLLCALLBACK lpfnUIDLLCallback, HWND hwndOwner,
                                    DWORD dwPermanentProviderID);
TSPIAPI LONG TUISPI_providerRemove(TUISPIDLLCALLBACK lpfnUIDLLCallback, HWND hwndOwner,
                                   DWORD dwPermanentProviderID);
