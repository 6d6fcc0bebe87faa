// Exported TSPI_line* functions that name a line (by handle or device ID) or no object at all.
// Each applies its checks in order (wide strings, call handle, line handle, device ID, address
// ID), answers the first failure's code at once, and otherwise returns the provider operation's
// result unchanged.
#include "framework/export_guard.h"
#include "framework/service_provider.h"
#include "framework/tspi_exports.h"
#include "platform/tspi.h"

namespace {

// The frames of exports whose first check is their line, by handle (LINEERR_INVALLINEHANDLE)
// or by device ID (LINEERR_BADDEVICEID): the guard, the provider (LINEERR_NODRIVER without one)
// and the line, then op(CServiceProvider*, CTSPILineConnection*) gives the answer.
template <typename Op>
LONG GuardLineHandleExport(LPCSTR pszFunction, DRV_REQUESTID dwRequestID, HDRVLINE hdLine,
                           Op&& op) noexcept {
  return GuardLineExport(pszFunction, dwRequestID, [&]() -> LONG {
    CServiceProvider* pSP = GetSP();
    if (pSP == nullptr) return LINEERR_NODRIVER;
    CTSPILineConnection* pLine = GetLiveLine(pSP, hdLine);
    if (pLine == nullptr) return LINEERR_INVALLINEHANDLE;
    return op(pSP, pLine);
  });
}

template <typename Op>
LONG GuardDeviceExport(LPCSTR pszFunction, DRV_REQUESTID dwRequestID, DWORD dwDeviceID,
                       Op&& op) noexcept {
  return GuardLineExport(pszFunction, dwRequestID, [&]() -> LONG {
    CServiceProvider* pSP = GetSP();
    if (pSP == nullptr) return LINEERR_NODRIVER;
    CTSPILineConnection* pLine = pSP->FindLineByDeviceID(dwDeviceID);
    if (pLine == nullptr) return LINEERR_BADDEVICEID;
    return op(pSP, pLine);
  });
}

}  // namespace

TSPIAPI LONG TSPI_lineClose(HDRVLINE hdLine) {
  return GuardLineHandleExport(
      __func__, 0, hdLine, [&](auto* pSP, auto* pLine) -> LONG { return pSP->lineClose(pLine); });
}

TSPIAPI LONG TSPI_lineConfigDialog(DWORD, HWND, LPCWSTR) {
  return LINEERR_OPERATIONUNAVAIL;  // TUISPI_lineConfigDialog serves it
}

TSPIAPI LONG TSPI_lineConfigDialogEdit(DWORD, HWND, LPCWSTR, LPVOID const, DWORD, LPVARSTRING) {
  return LINEERR_OPERATIONUNAVAIL;  // TUISPI_lineConfigDialogEdit serves it
}

TSPIAPI LONG TSPI_lineForward(DRV_REQUESTID dwRequestID, HDRVLINE hdLine, DWORD bAllAddresses,
                              DWORD dwAddressID, LPLINEFORWARDLIST const lpForwardList,
                              DWORD dwNumRingsNoAnswer, HTAPICALL htConsultCall,
                              LPHDRVCALL lphdConsultCall, LPLINECALLPARAMS const lpCallParams) {
  return GuardLineHandleExport(__func__, dwRequestID, hdLine, [&](auto* pSP, auto* pLine) -> LONG {
    CTSPIAddressInfo* pAddr = nullptr;
    if (!bAllAddresses) {
      pAddr = GetLineAddress(pLine, dwAddressID);
      if (pAddr == nullptr) return LINEERR_INVALADDRESSID;
    }
    return pSP->lineForward(pLine, pAddr, dwRequestID, lpForwardList, dwNumRingsNoAnswer,
                            htConsultCall, lphdConsultCall, lpCallParams);
  });
}

TSPIAPI LONG TSPI_lineGetAddressCaps(DWORD dwDeviceID, DWORD dwAddressID, DWORD dwTSPIVersion,
                                     DWORD dwExtVersion, LPLINEADDRESSCAPS lpAddressCaps) {
  return GuardDeviceExport(__func__, 0, dwDeviceID, [&](auto* pSP, auto* pLine) -> LONG {
    CTSPIAddressInfo* pAddr = GetLineAddress(pLine, dwAddressID);
    if (pAddr == nullptr) return LINEERR_INVALADDRESSID;
    return pSP->lineGetAddressCaps(pAddr, dwTSPIVersion, dwExtVersion, lpAddressCaps);
  });
}

TSPIAPI LONG TSPI_lineGetAddressID(HDRVLINE hdLine, LPDWORD lpdwAddressID, DWORD dwAddressMode,
                                   LPCWSTR lpsAddress, DWORD dwSize) {
  return GuardLineExport(__func__, 0, [&]() -> LONG {
    CServiceProvider* pSP = GetSP();
    if (pSP == nullptr) return LINEERR_NODRIVER;
    // dwSize counts bytes of UTF-16 text that need not end with a NUL.
    const CString strAddress = WideToAnsiString(lpsAddress, dwSize / sizeof(WCHAR));
    CTSPILineConnection* pLine = GetLiveLine(pSP, hdLine);
    if (pLine == nullptr) return LINEERR_INVALLINEHANDLE;
    return pSP->lineGetAddressID(pLine, lpdwAddressID, dwAddressMode, strAddress,
                                 static_cast<DWORD>(strAddress.GetLength()));
  });
}

TSPIAPI LONG TSPI_lineGetAddressStatus(HDRVLINE hdLine, DWORD dwAddressID,
                                       LPLINEADDRESSSTATUS lpAddressStatus) {
  return GuardLineHandleExport(__func__, 0, hdLine, [&](auto* pSP, auto* pLine) -> LONG {
    CTSPIAddressInfo* pAddr = GetLineAddress(pLine, dwAddressID);
    if (pAddr == nullptr) return LINEERR_INVALADDRESSID;
    return pSP->lineGetAddressStatus(pAddr, lpAddressStatus);
  });
}

TSPIAPI LONG TSPI_lineGetDevCaps(DWORD dwDeviceID, DWORD dwTSPIVersion, DWORD dwExtVersion,
                                 LPLINEDEVCAPS lpLineDevCaps) {
  return GuardDeviceExport(__func__, 0, dwDeviceID, [&](auto* pSP, auto* pLine) -> LONG {
    return pSP->lineGetDevCaps(pLine, dwTSPIVersion, dwExtVersion, lpLineDevCaps);
  });
}

TSPIAPI LONG TSPI_lineGetDevConfig(DWORD dwDeviceID, LPVARSTRING lpDeviceConfig,
                                   LPCWSTR lpszDeviceClass) {
  return GuardLineExport(__func__, 0, [&]() -> LONG {
    CServiceProvider* pSP = GetSP();
    if (pSP == nullptr) return LINEERR_NODRIVER;
    const CString strClass = DeviceClassToAnsi(lpszDeviceClass);
    CTSPILineConnection* pLine = pSP->FindLineByDeviceID(dwDeviceID);
    if (pLine == nullptr) return LINEERR_BADDEVICEID;
    return pSP->lineGetDevConfig(pLine, lpDeviceConfig, strClass);
  });
}

TSPIAPI LONG TSPI_lineGetExtensionID(DWORD dwDeviceID, DWORD dwTSPIVersion,
                                     LPLINEEXTENSIONID lpExtensionID) {
  return GuardDeviceExport(__func__, 0, dwDeviceID, [&](auto* pSP, auto* pLine) -> LONG {
    return pSP->lineGetExtensionID(pLine, dwTSPIVersion, lpExtensionID);
  });
}

TSPIAPI LONG TSPI_lineGetID(HDRVLINE hdLine, DWORD dwAddressID, HDRVCALL hdCall, DWORD dwSelect,
                            LPVARSTRING lpDeviceID, LPCWSTR lpszDeviceClass,
                            HANDLE hTargetProcess) {
  return GuardLineExport(__func__, 0, [&]() -> LONG {
    CServiceProvider* pSP = GetSP();
    if (pSP == nullptr) return LINEERR_NODRIVER;
    const CString strClass = DeviceClassToAnsi(lpszDeviceClass);
    CTSPILineConnection* pLine = nullptr;
    CTSPIAddressInfo* pAddr = nullptr;
    CCallRef pCall;
    switch (dwSelect) {
      case LINECALLSELECT_LINE:
        pLine = GetLiveLine(pSP, hdLine);
        if (pLine == nullptr) return LINEERR_INVALLINEHANDLE;
        break;
      case LINECALLSELECT_ADDRESS:
        pLine = GetLiveLine(pSP, hdLine);
        if (pLine == nullptr) return LINEERR_INVALLINEHANDLE;
        pAddr = GetLineAddress(pLine, dwAddressID);
        if (pAddr == nullptr) return LINEERR_INVALADDRESSID;
        break;
      case LINECALLSELECT_CALL:
        pCall = GetLiveCall(hdCall);
        if (pCall == nullptr) return LINEERR_INVALCALLHANDLE;
        pAddr = GetCallAddress(pCall);
        pLine = GetAddressLine(pAddr);
        break;
      default:
        return LINEERR_INVALCALLSELECT;
    }
    return pSP->lineGetID(pLine, pAddr, pCall, strClass, lpDeviceID, hTargetProcess);
  });
}

TSPIAPI LONG TSPI_lineGetLineDevStatus(HDRVLINE hdLine, LPLINEDEVSTATUS lpLineDevStatus) {
  return GuardLineHandleExport(__func__, 0, hdLine, [&](auto* pSP, auto* pLine) -> LONG {
    return pSP->lineGetLineDevStatus(pLine, lpLineDevStatus);
  });
}

TSPIAPI LONG TSPI_lineGetNumAddressIDs(HDRVLINE hdLine, LPDWORD lpdwNumAddressIDs) {
  return GuardLineHandleExport(__func__, 0, hdLine, [&](auto* pSP, auto* pLine) -> LONG {
    return pSP->lineGetNumAddressIDs(pLine, lpdwNumAddressIDs);
  });
}

TSPIAPI LONG TSPI_lineMakeCall(DRV_REQUESTID dwRequestID, HDRVLINE hdLine, HTAPICALL htCall,
                               LPHDRVCALL lphdCall, LPCWSTR lpszDestAddress, DWORD dwCountryCode,
                               LPLINECALLPARAMS const lpCallParams) {
  return GuardLineExport(__func__, dwRequestID, [&]() -> LONG {
    CServiceProvider* pSP = GetSP();
    if (pSP == nullptr) return LINEERR_NODRIVER;
    const CString strDest = WideToAnsiString(lpszDestAddress);
    CTSPILineConnection* pLine = GetLiveLine(pSP, hdLine);
    if (pLine == nullptr) return LINEERR_INVALLINEHANDLE;
    return pSP->lineMakeCall(pLine, dwRequestID, htCall, lphdCall, strDest, dwCountryCode,
                             lpCallParams);
  });
}

TSPIAPI LONG TSPI_lineNegotiateTSPIVersion(DWORD dwDeviceID, DWORD dwLowVersion,
                                           DWORD dwHighVersion, LPDWORD lpdwTSPIVersion) {
  return GuardLineExport(__func__, 0, [&]() -> LONG {
    CServiceProvider* pSP = GetSP();
    if (pSP == nullptr) return LINEERR_NODRIVER;
    return pSP->lineNegotiateTSPIVersion(dwDeviceID, dwLowVersion, dwHighVersion, lpdwTSPIVersion);
  });
}

TSPIAPI LONG TSPI_lineOpen(DWORD dwDeviceID, HTAPILINE htLine, LPHDRVLINE lphdLine,
                           DWORD dwTSPIVersion, LINEEVENT lpfnEventProc) {
  return GuardLineExport(__func__, 0, [&]() -> LONG {
    CServiceProvider* pSP = GetSP();
    if (pSP == nullptr) return LINEERR_NODRIVER;
    // The line would have nowhere to hand its handle back to.
    if (lphdLine == nullptr) return LINEERR_INVALPOINTER;
    *lphdLine = nullptr;
    CTSPILineConnection* pLine = pSP->FindLineByDeviceID(dwDeviceID);
    if (pLine == nullptr) return LINEERR_BADDEVICEID;
    return pSP->lineOpen(pLine, htLine, lphdLine, dwTSPIVersion, lpfnEventProc);
  });
}

TSPIAPI LONG TSPI_linePickup(DRV_REQUESTID dwRequestID, HDRVLINE hdLine, DWORD dwAddressID,
                             HTAPICALL htCall, LPHDRVCALL lphdCall, LPCWSTR lpszDestAddress,
                             LPCWSTR lpszGroupID) {
  return GuardLineExport(__func__, dwRequestID, [&]() -> LONG {
    CServiceProvider* pSP = GetSP();
    if (pSP == nullptr) return LINEERR_NODRIVER;
    const CString strDest = WideToAnsiString(lpszDestAddress);
    const CString strGroupID = WideToAnsiString(lpszGroupID);
    CTSPILineConnection* pLine = GetLiveLine(pSP, hdLine);
    if (pLine == nullptr) return LINEERR_INVALLINEHANDLE;
    CTSPIAddressInfo* pAddr = GetLineAddress(pLine, dwAddressID);
    if (pAddr == nullptr) return LINEERR_INVALADDRESSID;
    return pSP->linePickup(pAddr, dwRequestID, htCall, lphdCall, strDest, strGroupID);
  });
}

TSPIAPI LONG TSPI_lineSetCurrentLocation(DWORD dwLocation) {
  return GuardLineExport(__func__, 0, [&]() -> LONG {
    CServiceProvider* pSP = GetSP();
    if (pSP == nullptr) return LINEERR_NODRIVER;
    return pSP->lineSetCurrentLocation(dwLocation);
  });
}

TSPIAPI LONG TSPI_lineSetDefaultMediaDetection(HDRVLINE hdLine, DWORD dwMediaModes) {
  return GuardLineHandleExport(__func__, 0, hdLine, [&](auto* pSP, auto* pLine) -> LONG {
    return pSP->lineSetDefaultMediaDetection(pLine, dwMediaModes);
  });
}

TSPIAPI LONG TSPI_lineSetDevConfig(DWORD dwDeviceID, LPVOID const lpDeviceConfig, DWORD dwSize,
                                   LPCWSTR lpszDeviceClass) {
  return GuardLineExport(__func__, 0, [&]() -> LONG {
    CServiceProvider* pSP = GetSP();
    if (pSP == nullptr) return LINEERR_NODRIVER;
    const CString strClass = DeviceClassToAnsi(lpszDeviceClass);
    CTSPILineConnection* pLine = pSP->FindLineByDeviceID(dwDeviceID);
    if (pLine == nullptr) return LINEERR_BADDEVICEID;
    return pSP->lineSetDevConfig(pLine, lpDeviceConfig, dwSize, strClass);
  });
}

TSPIAPI LONG TSPI_lineSetStatusMessages(HDRVLINE hdLine, DWORD dwLineStates,
                                        DWORD dwAddressStates) {
  return GuardLineHandleExport(__func__, 0, hdLine, [&](auto* pSP, auto* pLine) -> LONG {
    return pSP->lineSetStatusMessages(pLine, dwLineStates, dwAddressStates);
  });
}

TSPIAPI LONG TSPI_lineUncompleteCall(DRV_REQUESTID dwRequestID, HDRVLINE hdLine,
                                     DWORD dwCompletionID) {
  return GuardLineHandleExport(__func__, dwRequestID, hdLine, [&](auto* pSP, auto* pLine) -> LONG {
    return pSP->lineUncompleteCall(pLine, dwRequestID, dwCompletionID);
  });
}

TSPIAPI LONG TSPI_lineUnpark(DRV_REQUESTID dwRequestID, HDRVLINE hdLine, DWORD dwAddressID,
                             HTAPICALL htCall, LPHDRVCALL lphdCall, LPCWSTR lpszDestAddress) {
  return GuardLineExport(__func__, dwRequestID, [&]() -> LONG {
    CServiceProvider* pSP = GetSP();
    if (pSP == nullptr) return LINEERR_NODRIVER;
    const CString strDest = WideToAnsiString(lpszDestAddress);
    CTSPILineConnection* pLine = GetLiveLine(pSP, hdLine);
    if (pLine == nullptr) return LINEERR_INVALLINEHANDLE;
    CTSPIAddressInfo* pAddr = GetLineAddress(pLine, dwAddressID);
    if (pAddr == nullptr) return LINEERR_INVALADDRESSID;
    return pSP->lineUnpark(pAddr, dwRequestID, htCall, lphdCall, strDest);
  });
}
