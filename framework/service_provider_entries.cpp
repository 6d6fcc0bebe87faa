// The provider's line request entries of the line itself, and the phone entries that need no
// phone (the others are in service_provider_phone_entries.cpp). The framework offers no
// extensions. Call entries: service_provider_call_entries.cpp; calls made and addresses:
// service_provider_address_entries.cpp; lineForward: service_provider_forward_entry.cpp; media:
// service_provider_media_entries.cpp.
#include <cstring>

#include "framework/address_info.h"
#include "framework/call_appearance.h"
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
  // The most specific object that knows the class answers; the line has the last word.
  if (pCall != nullptr && pCall->GetID(pszDeviceClass, lpDeviceID, hTargetProcess) == 0) return 0;
  if (pAddr != nullptr && pAddr->GetID(pszDeviceClass, lpDeviceID, hTargetProcess) == 0) return 0;
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

LONG CServiceProvider::lineGetAddressID(CTSPILineConnection* pLine, LPDWORD lpdwAddressID,
                                        DWORD dwAddressMode, LPCSTR pszAddress, DWORD dwSize) {
  if (pLine == nullptr) return LINEERR_INVALLINEHANDLE;
  return pLine->GetAddressID(lpdwAddressID, dwAddressMode, pszAddress, dwSize);
}

LONG CServiceProvider::lineSetLineDevStatus(CTSPILineConnection* pLine, DRV_REQUESTID dwRequestID,
                                            DWORD dwStatusToChange, DWORD fStatus) {
  if (pLine == nullptr) return LINEERR_INVALLINEHANDLE;
  return pLine->SetLineDevStatus(dwRequestID, dwStatusToChange, fStatus != 0 ? TRUE : FALSE);
}

LONG CServiceProvider::lineUncompleteCall(CTSPILineConnection* pLine, DRV_REQUESTID dwRequestID,
                                          DWORD dwCompletionID) {
  if (pLine == nullptr) return LINEERR_INVALLINEHANDLE;
  return pLine->UncompleteCall(dwRequestID, dwCompletionID);
}
