// Exported TSPI_line* functions that name a call. Each converts its wide strings, checks its mode
// where it has one, then its call handles in TSPI order, and returns the provider operation's
// result unchanged; the first failed check answers its code at once.
#include "framework/export_guard.h"
#include "framework/service_provider.h"
#include "framework/tspi_exports.h"
#include "platform/tspi.h"

namespace {

// The frame of an export whose only check is its one call handle: the guard, the provider
// (LINEERR_NODRIVER without one), the live call (LINEERR_INVALCALLHANDLE), held until
// op(CServiceProvider*, CTSPICallAppearance*) gives the answer.
template <typename Op>
LONG GuardCallExport(LPCSTR pszFunction, DRV_REQUESTID dwRequestID, HDRVCALL hdCall,
                     Op&& op) noexcept {
  return GuardLineExport(pszFunction, dwRequestID, [&]() -> LONG {
    CServiceProvider* pSP = GetSP();
    if (pSP == nullptr) return LINEERR_NODRIVER;
    CCallRef pCall = GetLiveCall(hdCall);
    if (pCall == nullptr) return LINEERR_INVALCALLHANDLE;
    return op(pSP, pCall.Get());
  });
}

}  // namespace

TSPIAPI LONG TSPI_lineAddToConference(DRV_REQUESTID dwRequestID, HDRVCALL hdConfCall,
                                      HDRVCALL hdConsultCall) {
  return GuardLineExport(__func__, dwRequestID, [&]() -> LONG {
    CServiceProvider* pSP = GetSP();
    if (pSP == nullptr) return LINEERR_NODRIVER;
    CCallRef pConfCall = GetLiveCall(hdConfCall);
    if (pConfCall == nullptr) return LINEERR_INVALCALLHANDLE;
    CCallRef pConsultCall = GetLiveCall(hdConsultCall);
    if (pConsultCall == nullptr) return LINEERR_INVALCALLHANDLE;
    CTSPIConferenceCall* pConference = AsConferenceCall(pConfCall);
    if (pConference == nullptr) return LINEERR_INVALCONFCALLHANDLE;
    return pSP->lineAddToConference(pConference, pConsultCall, dwRequestID);
  });
}

TSPIAPI LONG TSPI_lineAnswer(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, LPCSTR lpsUserUserInfo,
                             DWORD dwSize) {
  return GuardCallExport(__func__, dwRequestID, hdCall, [&](auto* pSP, auto* pCall) {
    return pSP->lineAnswer(pCall, dwRequestID, lpsUserUserInfo, dwSize);
  });
}

TSPIAPI LONG TSPI_lineBlindTransfer(DRV_REQUESTID dwRequestID, HDRVCALL hdCall,
                                    LPCWSTR lpszDestAddress, DWORD dwCountryCode) {
  return GuardLineExport(__func__, dwRequestID, [&]() -> LONG {
    CServiceProvider* pSP = GetSP();
    if (pSP == nullptr) return LINEERR_NODRIVER;
    const CString strDest = WideToAnsiString(lpszDestAddress);
    CCallRef pCall = GetLiveCall(hdCall);
    if (pCall == nullptr) return LINEERR_INVALCALLHANDLE;
    return pSP->lineBlindTransfer(pCall, dwRequestID, strDest, dwCountryCode);
  });
}

TSPIAPI LONG TSPI_lineCloseCall(HDRVCALL hdCall) {
  return GuardCallExport(__func__, 0, hdCall,
                         [&](auto* pSP, auto* pCall) { return pSP->lineCloseCall(pCall); });
}

TSPIAPI LONG TSPI_lineCompleteTransfer(DRV_REQUESTID dwRequestID, HDRVCALL hdCall,
                                       HDRVCALL hdConsultCall, HTAPICALL htConfCall,
                                       LPHDRVCALL lphdConfCall, DWORD dwTransferMode) {
  return GuardLineExport(__func__, dwRequestID, [&]() -> LONG {
    CServiceProvider* pSP = GetSP();
    if (pSP == nullptr) return LINEERR_NODRIVER;
    if (dwTransferMode != LINETRANSFERMODE_TRANSFER &&
        dwTransferMode != LINETRANSFERMODE_CONFERENCE) {
      return LINEERR_OPERATIONFAILED;
    }
    CCallRef pCall = GetLiveCall(hdCall);
    if (pCall == nullptr) return LINEERR_INVALCALLHANDLE;
    CCallRef pConsultCall = GetLiveCall(hdConsultCall);
    if (pConsultCall == nullptr) return LINEERR_INVALCALLHANDLE;
    return pSP->lineCompleteTransfer(pCall, dwRequestID, pConsultCall, htConfCall, lphdConfCall,
                                     dwTransferMode);
  });
}

TSPIAPI LONG TSPI_lineDial(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, LPCWSTR lpszDestAddress,
                           DWORD dwCountryCode) {
  return GuardLineExport(__func__, dwRequestID, [&]() -> LONG {
    CServiceProvider* pSP = GetSP();
    if (pSP == nullptr) return LINEERR_NODRIVER;
    const CString strDest = WideToAnsiString(lpszDestAddress);
    CCallRef pCall = GetLiveCall(hdCall);
    if (pCall == nullptr) return LINEERR_INVALCALLHANDLE;
    return pSP->lineDial(pCall, dwRequestID, strDest, dwCountryCode);
  });
}

TSPIAPI LONG TSPI_lineDrop(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, LPCSTR lpsUserUserInfo,
                           DWORD dwSize) {
  return GuardCallExport(__func__, dwRequestID, hdCall, [&](auto* pSP, auto* pCall) {
    return pSP->lineDrop(pCall, dwRequestID, lpsUserUserInfo, dwSize);
  });
}

TSPIAPI LONG TSPI_lineGatherDigits(HDRVCALL hdCall, DWORD dwEndToEndID, DWORD dwDigitModes,
                                   LPWSTR lpsDigits, DWORD dwNumDigits,
                                   LPCWSTR lpszTerminationDigits, DWORD dwFirstDigitTimeout,
                                   DWORD dwInterDigitTimeout) {
  return GuardLineExport(__func__, 0, [&]() -> LONG {
    CServiceProvider* pSP = GetSP();
    if (pSP == nullptr) return LINEERR_NODRIVER;
    const CString strTermination = WideToAnsiString(lpszTerminationDigits);
    CCallRef pCall = GetLiveCall(hdCall);
    if (pCall == nullptr) return LINEERR_INVALCALLHANDLE;
    return pSP->lineGatherDigits(pCall, dwEndToEndID, dwDigitModes, lpsDigits, dwNumDigits,
                                 strTermination, dwFirstDigitTimeout, dwInterDigitTimeout);
  });
}

TSPIAPI LONG TSPI_lineGenerateDigits(HDRVCALL hdCall, DWORD dwEndToEndID, DWORD dwDigitMode,
                                     LPCWSTR lpszDigits, DWORD dwDuration) {
  return GuardLineExport(__func__, 0, [&]() -> LONG {
    CServiceProvider* pSP = GetSP();
    if (pSP == nullptr) return LINEERR_NODRIVER;
    const CString strDigits = WideToAnsiString(lpszDigits);
    CCallRef pCall = GetLiveCall(hdCall);
    if (pCall == nullptr) return LINEERR_INVALCALLHANDLE;
    return pSP->lineGenerateDigits(pCall, dwEndToEndID, dwDigitMode, strDigits, dwDuration);
  });
}

TSPIAPI LONG TSPI_lineGenerateTone(HDRVCALL hdCall, DWORD dwEndToEndID, DWORD dwToneMode,
                                   DWORD dwDuration, DWORD dwNumTones,
                                   LPLINEGENERATETONE const lpTones) {
  return GuardCallExport(__func__, 0, hdCall, [&](auto* pSP, auto* pCall) {
    return pSP->lineGenerateTone(pCall, dwEndToEndID, dwToneMode, dwDuration, dwNumTones, lpTones);
  });
}

TSPIAPI LONG TSPI_lineGetCallAddressID(HDRVCALL hdCall, LPDWORD lpdwAddressID) {
  return GuardCallExport(__func__, 0, hdCall, [&](auto* pSP, auto* pCall) {
    return pSP->lineGetCallAddressID(pCall, lpdwAddressID);
  });
}

TSPIAPI LONG TSPI_lineGetCallInfo(HDRVCALL hdCall, LPLINECALLINFO lpCallInfo) {
  return GuardCallExport(__func__, 0, hdCall, [&](auto* pSP, auto* pCall) {
    return pSP->lineGetCallInfo(pCall, lpCallInfo);
  });
}

TSPIAPI LONG TSPI_lineGetCallStatus(HDRVCALL hdCall, LPLINECALLSTATUS lpCallStatus) {
  return GuardCallExport(__func__, 0, hdCall, [&](auto* pSP, auto* pCall) {
    return pSP->lineGetCallStatus(pCall, lpCallStatus);
  });
}

TSPIAPI LONG TSPI_lineHold(DRV_REQUESTID dwRequestID, HDRVCALL hdCall) {
  return GuardCallExport(__func__, dwRequestID, hdCall,
                         [&](auto* pSP, auto* pCall) { return pSP->lineHold(pCall, dwRequestID); });
}

TSPIAPI LONG TSPI_lineMonitorDigits(HDRVCALL hdCall, DWORD dwDigitModes) {
  return GuardCallExport(__func__, 0, hdCall, [&](auto* pSP, auto* pCall) {
    return pSP->lineMonitorDigits(pCall, dwDigitModes);
  });
}

TSPIAPI LONG TSPI_lineMonitorMedia(HDRVCALL hdCall, DWORD dwMediaModes) {
  return GuardCallExport(__func__, 0, hdCall, [&](auto* pSP, auto* pCall) {
    return pSP->lineMonitorMedia(pCall, dwMediaModes);
  });
}

TSPIAPI LONG TSPI_lineMonitorTones(HDRVCALL hdCall, DWORD dwToneListID,
                                   LPLINEMONITORTONE const lpToneList, DWORD dwNumEntries) {
  return GuardCallExport(__func__, 0, hdCall, [&](auto* pSP, auto* pCall) {
    return pSP->lineMonitorTones(pCall, dwToneListID, lpToneList, dwNumEntries);
  });
}

TSPIAPI LONG TSPI_linePark(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, DWORD dwParkMode,
                           LPCWSTR lpszDirAddress, LPVARSTRING lpNonDirAddress) {
  return GuardLineExport(__func__, dwRequestID, [&]() -> LONG {
    CServiceProvider* pSP = GetSP();
    if (pSP == nullptr) return LINEERR_NODRIVER;
    const CString strDirAddress = WideToAnsiString(lpszDirAddress);
    if (dwParkMode != LINEPARKMODE_DIRECTED && dwParkMode != LINEPARKMODE_NONDIRECTED) {
      return LINEERR_INVALPARKMODE;
    }
    CCallRef pCall = GetLiveCall(hdCall);
    if (pCall == nullptr) return LINEERR_INVALCALLHANDLE;
    return pSP->linePark(pCall, dwRequestID, dwParkMode, strDirAddress, lpNonDirAddress);
  });
}

TSPIAPI LONG TSPI_lineRedirect(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, LPCWSTR lpszDestAddress,
                               DWORD dwCountryCode) {
  return GuardLineExport(__func__, dwRequestID, [&]() -> LONG {
    CServiceProvider* pSP = GetSP();
    if (pSP == nullptr) return LINEERR_NODRIVER;
    const CString strDest = WideToAnsiString(lpszDestAddress);
    CCallRef pCall = GetLiveCall(hdCall);
    if (pCall == nullptr) return LINEERR_INVALCALLHANDLE;
    return pSP->lineRedirect(pCall, dwRequestID, strDest, dwCountryCode);
  });
}

TSPIAPI LONG TSPI_lineReleaseUserUserInfo(DRV_REQUESTID dwRequestID, HDRVCALL hdCall) {
  return GuardCallExport(__func__, dwRequestID, hdCall, [&](auto* pSP, auto* pCall) {
    return pSP->lineReleaseUserUserInfo(pCall, dwRequestID);
  });
}

TSPIAPI LONG TSPI_lineRemoveFromConference(DRV_REQUESTID dwRequestID, HDRVCALL hdCall) {
  return GuardCallExport(__func__, dwRequestID, hdCall, [&](auto* pSP, auto* pCall) {
    return pSP->lineRemoveFromConference(pCall, dwRequestID);
  });
}

TSPIAPI LONG TSPI_lineSecureCall(DRV_REQUESTID dwRequestID, HDRVCALL hdCall) {
  return GuardCallExport(__func__, dwRequestID, hdCall, [&](auto* pSP, auto* pCall) {
    return pSP->lineSecureCall(pCall, dwRequestID);
  });
}

TSPIAPI LONG TSPI_lineSetAppSpecific(HDRVCALL hdCall, DWORD dwAppSpecific) {
  return GuardCallExport(__func__, 0, hdCall, [&](auto* pSP, auto* pCall) {
    return pSP->lineSetAppSpecific(pCall, dwAppSpecific);
  });
}

TSPIAPI LONG TSPI_lineSetMediaMode(HDRVCALL hdCall, DWORD dwMediaMode) {
  return GuardCallExport(__func__, 0, hdCall, [&](auto* pSP, auto* pCall) {
    return pSP->lineSetMediaMode(pCall, dwMediaMode);
  });
}

TSPIAPI LONG TSPI_lineSetupTransfer(DRV_REQUESTID dwRequestID, HDRVCALL hdCall,
                                    HTAPICALL htConsultCall, LPHDRVCALL lphdConsultCall,
                                    LPLINECALLPARAMS const lpCallParams) {
  return GuardCallExport(__func__, dwRequestID, hdCall, [&](auto* pSP, auto* pCall) {
    return pSP->lineSetupTransfer(pCall, dwRequestID, htConsultCall, lphdConsultCall, lpCallParams);
  });
}

TSPIAPI LONG TSPI_lineSwapHold(DRV_REQUESTID dwRequestID, HDRVCALL hdActiveCall,
                               HDRVCALL hdHeldCall) {
  return GuardLineExport(__func__, dwRequestID, [&]() -> LONG {
    CServiceProvider* pSP = GetSP();
    if (pSP == nullptr) return LINEERR_NODRIVER;
    CCallRef pActiveCall = GetLiveCall(hdActiveCall);
    if (pActiveCall == nullptr) return LINEERR_INVALCALLHANDLE;
    CCallRef pHeldCall = GetLiveCall(hdHeldCall);
    if (pHeldCall == nullptr) return LINEERR_INVALCALLHANDLE;
    return pSP->lineSwapHold(pActiveCall, dwRequestID, pHeldCall);
  });
}

TSPIAPI LONG TSPI_lineUnhold(DRV_REQUESTID dwRequestID, HDRVCALL hdCall) {
  return GuardCallExport(__func__, dwRequestID, hdCall, [&](auto* pSP, auto* pCall) {
    return pSP->lineUnhold(pCall, dwRequestID);
  });
}
