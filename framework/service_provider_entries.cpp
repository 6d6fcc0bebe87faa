// The provider's line request entries and the phone entries that need no phone (the others are
// in service_provider_phone_entries.cpp). The framework offers no extensions; the entries whose
// line, address or call operations are not built yet refuse with LINEERR_OPERATIONUNAVAIL until
// those classes serve them.
#include <cstring>

#include "framework/line_connection.h"
#include "framework/phone_connection.h"
#include "framework/service_provider.h"
#include "platform/win32.h"

LONG CServiceProvider::lineNegotiateExtVersion(DWORD dwDeviceID, DWORD dwTSPIVersion, DWORD, DWORD,
                                               LPDWORD lpdwExtVersion) {
  if (IsBadWritePtr(lpdwExtVersion, sizeof(DWORD))) return LINEERR_INVALPARAM;
  *lpdwExtVersion = 0;
  if (FindLineByDeviceID(dwDeviceID) == nullptr) return LINEERR_BADDEVICEID;
  return dwTSPIVersion == GetSupportedVersion() ? LINEERR_OPERATIONUNAVAIL
                                                : LINEERR_INCOMPATIBLEAPIVERSION;
}

LONG CServiceProvider::lineSelectExtVersion(CTSPILineConnection*, DWORD) {
  return LINEERR_OPERATIONUNAVAIL;
}

LONG CServiceProvider::lineDevSpecific(CTSPILineConnection*, CTSPIAddressInfo*,
                                       CTSPICallAppearance*, DRV_REQUESTID, LPVOID, DWORD) {
  return LINEERR_OPERATIONUNAVAIL;
}

LONG CServiceProvider::lineSetCurrentLocation(DWORD dwLocation) {
  if (GetSupportedVersion() < TAPIVER_14) return LINEERR_OPERATIONUNAVAIL;
  m_dwCurrentLocation.store(dwLocation);
  return 0;
}

LONG CServiceProvider::lineGetExtensionID(CTSPILineConnection*, DWORD,
                                          LPLINEEXTENSIONID lpExtensionID) {
  if (lpExtensionID != nullptr) std::memset(lpExtensionID, 0, sizeof(LINEEXTENSIONID));
  return 0;
}

LONG CServiceProvider::phoneNegotiateTSPIVersion(DWORD dwDeviceID, DWORD dwLowVersion,
                                                 DWORD dwHighVersion, LPDWORD lpdwTSPIVersion) {
  if (IsBadWritePtr(lpdwTSPIVersion, sizeof(DWORD))) return PHONEERR_INVALPARAM;
  if (FindPhoneByDeviceID(dwDeviceID) == nullptr) return PHONEERR_BADDEVICEID;
  const DWORD dwVersion = GetSupportedVersion();
  *lpdwTSPIVersion = dwVersion;
  if (dwLowVersion > dwVersion) return PHONEERR_INCOMPATIBLEAPIVERSION;
  if (dwHighVersion >= dwVersion) return 0;
  if (dwHighVersion < TAPIVER_13) return PHONEERR_INCOMPATIBLEAPIVERSION;
  *lpdwTSPIVersion = dwHighVersion;
  return 0;
}

LONG CServiceProvider::phoneNegotiateExtVersion(DWORD dwDeviceID, DWORD, DWORD, DWORD,
                                                LPDWORD lpdwExtVersion) {
  if (IsBadWritePtr(lpdwExtVersion, sizeof(DWORD))) return PHONEERR_INVALPARAM;
  *lpdwExtVersion = 0;
  return FindPhoneByDeviceID(dwDeviceID) != nullptr ? PHONEERR_OPERATIONUNAVAIL
                                                    : PHONEERR_BADDEVICEID;
}

LONG CServiceProvider::phoneGetExtensionID(CTSPIPhoneConnection*, DWORD,
                                           LPPHONEEXTENSIONID lpExtensionID) {
  if (lpExtensionID != nullptr) std::memset(lpExtensionID, 0, sizeof(PHONEEXTENSIONID));
  return 0;
}

LONG CServiceProvider::phoneSelectExtVersion(CTSPIPhoneConnection*, DWORD) {
  return PHONEERR_OPERATIONUNAVAIL;
}

// The line's own operations.
LONG CServiceProvider::lineGetIcon(CTSPILineConnection* pLine, LPCSTR pszDeviceClass,
                                   HICON* lphIcon) {
  if (lphIcon != nullptr) *lphIcon = nullptr;
  if (pLine == nullptr) return LINEERR_BADDEVICEID;
  return pLine->GetIcon(pszDeviceClass, lphIcon);
}

LONG CServiceProvider::lineOpen(CTSPILineConnection* pLine, HTAPILINE htLine, LPHDRVLINE lphdLine,
                                DWORD dwTSPIVersion, LINEEVENT lpfnEventProc) {
  if (pLine == nullptr) return LINEERR_BADDEVICEID;
  if (lphdLine == nullptr) return LINEERR_INVALPOINTER;
  const LONG lResult = pLine->OpenLine(htLine, lpfnEventProc, dwTSPIVersion);
  if (lResult >= 0) *lphdLine = reinterpret_cast<HDRVLINE>(pLine);
  return lResult;
}

LONG CServiceProvider::lineClose(CTSPILineConnection* pLine) {
  if (pLine == nullptr) return LINEERR_INVALLINEHANDLE;
  return pLine->CloseLine();
}

LONG CServiceProvider::lineDevSpecificFeature(CTSPILineConnection* pLine, DRV_REQUESTID dwRequestID,
                                              DWORD dwFeature, LPVOID lpParams, DWORD dwSize) {
  if (pLine == nullptr) return LINEERR_INVALLINEHANDLE;
  return pLine->DevSpecificFeature(dwRequestID, dwFeature, lpParams, dwSize);
}

LONG CServiceProvider::lineGetDevCaps(CTSPILineConnection* pLine, DWORD dwTSPIVersion,
                                      DWORD dwExtVersion, LPLINEDEVCAPS lpLineDevCaps) {
  if (pLine == nullptr) return LINEERR_BADDEVICEID;
  return pLine->GetDevCaps(dwTSPIVersion, dwExtVersion, lpLineDevCaps);
}

LONG CServiceProvider::lineGetDevConfig(CTSPILineConnection* pLine, LPVARSTRING lpDeviceConfig,
                                        LPCSTR pszDeviceClass) {
  if (pLine == nullptr) return LINEERR_BADDEVICEID;
  return pLine->GetDevConfig(lpDeviceConfig, pszDeviceClass);
}

LONG CServiceProvider::lineSetDevConfig(CTSPILineConnection* pLine, LPVOID const lpDeviceConfig,
                                        DWORD dwSize, LPCSTR pszDeviceClass) {
  if (pLine == nullptr) return LINEERR_BADDEVICEID;
  return pLine->SetDevConfig(pszDeviceClass, lpDeviceConfig, dwSize);
}

LONG CServiceProvider::lineGetID(CTSPILineConnection* pLine, CTSPIAddressInfo* pAddr,
                                 CTSPICallAppearance* pCall, LPCSTR pszDeviceClass,
                                 LPVARSTRING lpDeviceID, HANDLE hTargetProcess) {
  // Addresses and calls answer for their own classes once they exist.
  if (pAddr != nullptr || pCall != nullptr) return LINEERR_OPERATIONUNAVAIL;
  if (pLine == nullptr) return LINEERR_INVALLINEHANDLE;
  return pLine->GetID(pszDeviceClass, lpDeviceID, hTargetProcess);
}

LONG CServiceProvider::lineGetLineDevStatus(CTSPILineConnection* pLine,
                                            LPLINEDEVSTATUS lpLineDevStatus) {
  if (pLine == nullptr) return LINEERR_INVALLINEHANDLE;
  return pLine->GetLineDevStatus(lpLineDevStatus);
}

LONG CServiceProvider::lineGetNumAddressIDs(CTSPILineConnection* pLine, LPDWORD lpdwNumAddressIDs) {
  if (pLine == nullptr) return LINEERR_INVALLINEHANDLE;
  if (lpdwNumAddressIDs == nullptr) return LINEERR_INVALPOINTER;
  *lpdwNumAddressIDs = pLine->GetAddressCount();
  return 0;
}

LONG CServiceProvider::lineSetStatusMessages(CTSPILineConnection* pLine, DWORD dwLineStates,
                                             DWORD dwAddressStates) {
  if (pLine == nullptr) return LINEERR_INVALLINEHANDLE;
  return pLine->SetStatusMessages(dwLineStates, dwAddressStates);
}

// Not served yet.
LONG CServiceProvider::lineCloseCall(CTSPICallAppearance*) {
  return LINEERR_OPERATIONUNAVAIL;
}
LONG CServiceProvider::lineDrop(CTSPICallAppearance*, DRV_REQUESTID, LPCSTR, DWORD) {
  return LINEERR_OPERATIONUNAVAIL;
}
LONG CServiceProvider::lineDial(CTSPICallAppearance*, DRV_REQUESTID, LPCSTR, DWORD) {
  return LINEERR_OPERATIONUNAVAIL;
}
LONG CServiceProvider::lineAccept(CTSPICallAppearance*, DRV_REQUESTID, LPCSTR, DWORD) {
  return LINEERR_OPERATIONUNAVAIL;
}
LONG CServiceProvider::lineAddToConference(CTSPIConferenceCall*, CTSPICallAppearance*,
                                           DRV_REQUESTID) {
  return LINEERR_OPERATIONUNAVAIL;
}
LONG CServiceProvider::lineAnswer(CTSPICallAppearance*, DRV_REQUESTID, LPCSTR, DWORD) {
  return LINEERR_OPERATIONUNAVAIL;
}
LONG CServiceProvider::lineBlindTransfer(CTSPICallAppearance*, DRV_REQUESTID, LPCSTR, DWORD) {
  return LINEERR_OPERATIONUNAVAIL;
}
LONG CServiceProvider::lineCompleteCall(CTSPICallAppearance*, DRV_REQUESTID, LPDWORD, DWORD,
                                        DWORD) {
  return LINEERR_OPERATIONUNAVAIL;
}
LONG CServiceProvider::lineCompleteTransfer(CTSPICallAppearance*, DRV_REQUESTID,
                                            CTSPICallAppearance*, HTAPICALL, LPHDRVCALL, DWORD) {
  return LINEERR_OPERATIONUNAVAIL;
}
LONG CServiceProvider::linePark(CTSPICallAppearance*, DRV_REQUESTID, DWORD, LPCSTR, LPVARSTRING) {
  return LINEERR_OPERATIONUNAVAIL;
}
LONG CServiceProvider::linePickup(CTSPIAddressInfo*, DRV_REQUESTID, HTAPICALL, LPHDRVCALL, LPCSTR,
                                  LPCSTR) {
  return LINEERR_OPERATIONUNAVAIL;
}
LONG CServiceProvider::linePrepareAddToConference(CTSPIConferenceCall*, DRV_REQUESTID, HTAPICALL,
                                                  LPHDRVCALL, LPLINECALLPARAMS const) {
  return LINEERR_OPERATIONUNAVAIL;
}
LONG CServiceProvider::lineRedirect(CTSPICallAppearance*, DRV_REQUESTID, LPCSTR, DWORD) {
  return LINEERR_OPERATIONUNAVAIL;
}
LONG CServiceProvider::lineForward(CTSPILineConnection*, CTSPIAddressInfo*, DRV_REQUESTID,
                                   LPLINEFORWARDLIST const, DWORD, HTAPICALL, LPHDRVCALL,
                                   LPLINECALLPARAMS const) {
  return LINEERR_OPERATIONUNAVAIL;
}
LONG CServiceProvider::lineGatherDigits(CTSPICallAppearance*, DWORD, DWORD, LPWSTR, DWORD, LPCSTR,
                                        DWORD, DWORD) {
  return LINEERR_OPERATIONUNAVAIL;
}
LONG CServiceProvider::lineGenerateDigits(CTSPICallAppearance*, DWORD, DWORD, LPCSTR, DWORD) {
  return LINEERR_OPERATIONUNAVAIL;
}
LONG CServiceProvider::lineGenerateTone(CTSPICallAppearance*, DWORD, DWORD, DWORD, DWORD,
                                        LPLINEGENERATETONE const) {
  return LINEERR_OPERATIONUNAVAIL;
}
LONG CServiceProvider::lineMonitorDigits(CTSPICallAppearance*, DWORD) {
  return LINEERR_OPERATIONUNAVAIL;
}
LONG CServiceProvider::lineMonitorMedia(CTSPICallAppearance*, DWORD) {
  return LINEERR_OPERATIONUNAVAIL;
}
LONG CServiceProvider::lineMonitorTones(CTSPICallAppearance*, DWORD, LPLINEMONITORTONE const,
                                        DWORD) {
  return LINEERR_OPERATIONUNAVAIL;
}
LONG CServiceProvider::lineRemoveFromConference(CTSPICallAppearance*, DRV_REQUESTID) {
  return LINEERR_OPERATIONUNAVAIL;
}
LONG CServiceProvider::lineSecureCall(CTSPICallAppearance*, DRV_REQUESTID) {
  return LINEERR_OPERATIONUNAVAIL;
}
LONG CServiceProvider::lineSendUserUserInfo(CTSPICallAppearance*, DRV_REQUESTID, LPCSTR, DWORD) {
  return LINEERR_OPERATIONUNAVAIL;
}
LONG CServiceProvider::lineSetCallParams(CTSPICallAppearance*, DRV_REQUESTID, DWORD, DWORD, DWORD,
                                         LPLINEDIALPARAMS const) {
  return LINEERR_OPERATIONUNAVAIL;
}
LONG CServiceProvider::lineGetAddressCaps(CTSPIAddressInfo*, DWORD, DWORD, LPLINEADDRESSCAPS) {
  return LINEERR_OPERATIONUNAVAIL;
}
LONG CServiceProvider::lineGetAddressID(CTSPILineConnection*, LPDWORD, DWORD, LPCSTR, DWORD) {
  return LINEERR_OPERATIONUNAVAIL;
}
LONG CServiceProvider::lineGetAddressStatus(CTSPIAddressInfo*, LPLINEADDRESSSTATUS) {
  return LINEERR_OPERATIONUNAVAIL;
}
LONG CServiceProvider::lineGetCallAddressID(CTSPICallAppearance*, LPDWORD) {
  return LINEERR_OPERATIONUNAVAIL;
}
LONG CServiceProvider::lineGetCallInfo(CTSPICallAppearance*, LPLINECALLINFO) {
  return LINEERR_OPERATIONUNAVAIL;
}
LONG CServiceProvider::lineGetCallStatus(CTSPICallAppearance*, LPLINECALLSTATUS) {
  return LINEERR_OPERATIONUNAVAIL;
}
LONG CServiceProvider::lineReleaseUserUserInfo(CTSPICallAppearance*, DRV_REQUESTID) {
  return LINEERR_OPERATIONUNAVAIL;
}
LONG CServiceProvider::lineSetCallData(CTSPICallAppearance*, DRV_REQUESTID, LPVOID, DWORD) {
  return LINEERR_OPERATIONUNAVAIL;
}
LONG CServiceProvider::lineSetCallQualityOfService(CTSPICallAppearance*, DRV_REQUESTID, LPVOID,
                                                   DWORD, LPVOID, DWORD) {
  return LINEERR_OPERATIONUNAVAIL;
}
LONG CServiceProvider::lineSetCallTreatment(CTSPICallAppearance*, DRV_REQUESTID, DWORD) {
  return LINEERR_OPERATIONUNAVAIL;
}
LONG CServiceProvider::lineSetLineDevStatus(CTSPILineConnection*, DRV_REQUESTID, DWORD, DWORD) {
  return LINEERR_OPERATIONUNAVAIL;
}
LONG CServiceProvider::lineSetMediaControl(CTSPILineConnection*, CTSPIAddressInfo*,
                                           CTSPICallAppearance*, LPLINEMEDIACONTROLDIGIT const,
                                           DWORD, LPLINEMEDIACONTROLMEDIA const, DWORD,
                                           LPLINEMEDIACONTROLTONE const, DWORD,
                                           LPLINEMEDIACONTROLCALLSTATE const, DWORD) {
  return LINEERR_OPERATIONUNAVAIL;
}
LONG CServiceProvider::lineSetTerminal(CTSPILineConnection*, CTSPIAddressInfo*,
                                       CTSPICallAppearance*, DRV_REQUESTID, DWORD, DWORD, DWORD) {
  return LINEERR_OPERATIONUNAVAIL;
}
LONG CServiceProvider::lineSetupConference(CTSPILineConnection*, CTSPICallAppearance*,
                                           DRV_REQUESTID, HTAPICALL, LPHDRVCALL, HTAPICALL,
                                           LPHDRVCALL, DWORD, LPLINECALLPARAMS const) {
  return LINEERR_OPERATIONUNAVAIL;
}
LONG CServiceProvider::lineUncompleteCall(CTSPILineConnection*, DRV_REQUESTID, DWORD) {
  return LINEERR_OPERATIONUNAVAIL;
}
LONG CServiceProvider::lineUnpark(CTSPIAddressInfo*, DRV_REQUESTID, HTAPICALL, LPHDRVCALL, LPCSTR) {
  return LINEERR_OPERATIONUNAVAIL;
}
LONG CServiceProvider::lineHold(CTSPICallAppearance*, DRV_REQUESTID) {
  return LINEERR_OPERATIONUNAVAIL;
}
LONG CServiceProvider::lineMakeCall(CTSPILineConnection*, DRV_REQUESTID, HTAPICALL, LPHDRVCALL,
                                    LPCSTR, DWORD, LPLINECALLPARAMS const) {
  return LINEERR_OPERATIONUNAVAIL;
}
LONG CServiceProvider::lineSetAppSpecific(CTSPICallAppearance*, DWORD) {
  return LINEERR_OPERATIONUNAVAIL;
}
LONG CServiceProvider::lineConditionalMediaDetection(CTSPILineConnection*, DWORD,
                                                     LPLINECALLPARAMS const) {
  return LINEERR_OPERATIONUNAVAIL;
}
LONG CServiceProvider::lineSetDefaultMediaDetection(CTSPILineConnection*, DWORD) {
  return LINEERR_OPERATIONUNAVAIL;
}
LONG CServiceProvider::lineSetMediaMode(CTSPICallAppearance*, DWORD) {
  return LINEERR_OPERATIONUNAVAIL;
}
LONG CServiceProvider::lineSetupTransfer(CTSPICallAppearance*, DRV_REQUESTID, HTAPICALL, LPHDRVCALL,
                                         LPLINECALLPARAMS const) {
  return LINEERR_OPERATIONUNAVAIL;
}
LONG CServiceProvider::lineSwapHold(CTSPICallAppearance*, DRV_REQUESTID, CTSPICallAppearance*) {
  return LINEERR_OPERATIONUNAVAIL;
}
LONG CServiceProvider::lineUnhold(CTSPICallAppearance*, DRV_REQUESTID) {
  return LINEERR_OPERATIONUNAVAIL;
}
