// Exported TSPI_provider* functions, including the provider half of the generic dialog data
// channel and its private 8-byte exchange (a dialog asks which provider instance holds a line
// or phone, or that device's permanent ID).
#include <cstring>

#include "framework/device.h"
#include "framework/export_guard.h"
#include "framework/line_connection.h"
#include "framework/phone_connection.h"
#include "framework/service_provider.h"
#include "framework/tspi_exports.h"
#include "platform/tspi.h"

namespace {

// Answers the private exchange for a connection in place; FALSE when the message is not one.
BOOL AnswerPrivateExchange(CTSPIConnection* pConn, LPVOID lpParams, DWORD dwSize) {
  if (dwSize != 2 * sizeof(DWORD)) return FALSE;
  DWORD message[2];
  std::memcpy(message, lpParams, sizeof(message));
  if (message[0] == TSPI_DLGDATA_PROVIDERID_QUERY) {
    CTSPIDevice* pDevice = pConn->GetDevice();
    message[0] = TSPI_DLGDATA_PROVIDERID_ANSWER;
    message[1] = pDevice != nullptr ? pDevice->GetProviderID() : 0;
  } else if (message[0] == TSPI_DLGDATA_PERMANENTID_QUERY) {
    message[0] = TSPI_DLGDATA_PERMANENTID_ANSWER;
    message[1] = pConn->GetPermanentDeviceID();
  } else {
    return FALSE;
  }
  std::memcpy(lpParams, message, sizeof(message));
  return TRUE;
}

}  // namespace

TSPIAPI LONG TSPI_providerConfig(HWND, DWORD) {
  return LINEERR_OPERATIONUNAVAIL;  // TUISPI_providerConfig serves it
}

TSPIAPI LONG TSPI_providerCreateLineDevice(DWORD_PTR dwTempID, DWORD dwDeviceID) {
  return GuardLineExport(__func__, 0, [&]() -> LONG {
    CServiceProvider* pSP = GetSP();
    if (pSP == nullptr) return LINEERR_NODRIVER;
    return pSP->providerCreateLineDevice(dwTempID, dwDeviceID);
  });
}

TSPIAPI LONG TSPI_providerCreatePhoneDevice(DWORD_PTR dwTempID, DWORD dwDeviceID) {
  return GuardLineExport(__func__, 0, [&]() -> LONG {
    CServiceProvider* pSP = GetSP();
    if (pSP == nullptr) return LINEERR_NODRIVER;
    return pSP->providerCreatePhoneDevice(dwTempID, dwDeviceID);
  });
}

TSPIAPI LONG TSPI_providerEnumDevices(DWORD dwPermanentProviderID, LPDWORD lpdwNumLines,
                                      LPDWORD lpdwNumPhones, HPROVIDER hProvider,
                                      LINEEVENT lpfnLineCreateProc,
                                      PHONEEVENT lpfnPhoneCreateProc) {
  return GuardLineExport(__func__, 0, [&]() -> LONG {
    CServiceProvider* pSP = GetSP();
    if (pSP == nullptr) return LINEERR_NODRIVER;
    return pSP->providerEnumDevices(dwPermanentProviderID, lpdwNumLines, lpdwNumPhones, hProvider,
                                    lpfnLineCreateProc, lpfnPhoneCreateProc);
  });
}

TSPIAPI LONG TSPI_providerGenericDialogData(DWORD_PTR dwObjectID, DWORD dwObjectType,
                                            LPVOID lpParams, DWORD dwSize) {
  return GuardLineExport(__func__, 0, [&]() -> LONG {
    CServiceProvider* pSP = GetSP();
    if (pSP == nullptr) return LINEERR_NODRIVER;
    // Whoever answers writes over the parameters.
    if (lpParams == nullptr && dwSize != 0) return LINEERR_INVALPOINTER;
    CTSPIDevice* pDevice = nullptr;
    CTSPILineConnection* pLine = nullptr;
    CTSPIPhoneConnection* pPhone = nullptr;
    HDRVDIALOGINSTANCE hdDlgInst = nullptr;
    switch (dwObjectType) {
      case TUISPIDLL_OBJECT_LINEID:
        pLine = pSP->FindLineByDeviceID(static_cast<DWORD>(dwObjectID));
        if (pLine == nullptr) return LINEERR_BADDEVICEID;
        if (AnswerPrivateExchange(pLine, lpParams, dwSize)) return 0;
        break;
      case TUISPIDLL_OBJECT_PHONEID:
        pPhone = pSP->FindPhoneByDeviceID(static_cast<DWORD>(dwObjectID));
        if (pPhone == nullptr) return PHONEERR_BADDEVICEID;
        if (AnswerPrivateExchange(pPhone, lpParams, dwSize)) return 0;
        break;
      case TUISPIDLL_OBJECT_PROVIDERID:
        pDevice = pSP->FindDeviceByProviderID(static_cast<DWORD>(dwObjectID));
        if (pDevice == nullptr) return TSPIERR_UNKNOWNPROVIDER;
        break;
      case TUISPIDLL_OBJECT_DIALOGINSTANCE:
        hdDlgInst = reinterpret_cast<HDRVDIALOGINSTANCE>(dwObjectID);
        if (hdDlgInst == nullptr) return LINEERR_INVALPARAM;
        break;
      default:
        return LINEERR_INVALPARAM;
    }
    return pSP->providerGenericDialogData(pDevice, pLine, pPhone, hdDlgInst, lpParams, dwSize);
  });
}

TSPIAPI LONG TSPI_providerInit(DWORD dwTSPIVersion, DWORD dwPermanentProviderID,
                               DWORD dwLineDeviceIDBase, DWORD dwPhoneDeviceIDBase,
                               DWORD_PTR dwNumLines, DWORD_PTR dwNumPhones,
                               ASYNC_COMPLETION lpfnCompletionProc, LPDWORD lpdwTSPIOptions) {
  return GuardLineExport(__func__, 0, [&]() -> LONG {
    CServiceProvider* pSP = GetSP();
    if (pSP == nullptr) return LINEERR_NODRIVER;
    return pSP->providerInit(dwTSPIVersion, dwPermanentProviderID, dwLineDeviceIDBase,
                             dwPhoneDeviceIDBase, dwNumLines, dwNumPhones, lpfnCompletionProc,
                             lpdwTSPIOptions);
  });
}

TSPIAPI LONG TSPI_providerInstall(HWND, DWORD) {
  return LINEERR_OPERATIONUNAVAIL;  // TUISPI_providerInstall serves it
}

TSPIAPI LONG TSPI_providerRemove(HWND, DWORD) {
  return LINEERR_OPERATIONUNAVAIL;  // TUISPI_providerRemove serves it
}

TSPIAPI LONG TSPI_providerShutdown(DWORD dwTSPIVersion, DWORD dwPermanentProviderID) {
  return GuardLineExport(__func__, 0, [&]() -> LONG {
    CServiceProvider* pSP = GetSP();
    if (pSP == nullptr) return LINEERR_NODRIVER;
    return pSP->providerShutdown(dwTSPIVersion, pSP->FindDeviceByProviderID(dwPermanentProviderID));
  });
}

TSPIAPI LONG TSPI_providerUIIdentify(LPWSTR lpszUIDLLName) {
  return GuardLineExport(__func__, 0, [&]() -> LONG {
    CServiceProvider* pSP = GetSP();
    if (pSP == nullptr) return LINEERR_NODRIVER;
    return pSP->providerUIIdentify(lpszUIDLLName);
  });
}
