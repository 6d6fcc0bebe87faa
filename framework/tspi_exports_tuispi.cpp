// Exported TUISPI_* functions: the user-interface half, run in the process that shows the dialog.
// They pass TAPI's UI callback on, so that the dialogs can reach the provider half through the
// generic dialog data channel.
#include "framework/export_guard.h"
#include "framework/service_provider.h"
#include "framework/tspi_exports.h"
#include "platform/tspi.h"

TSPIAPI LONG TUISPI_lineConfigDialog(TUISPIDLLCALLBACK lpfnUIDLLCallback, DWORD dwDeviceID,
                                     HWND hwndOwner, LPCWSTR lpszDeviceClass) {
  return GuardLineExport(__func__, 0, [&]() -> LONG {
    CServiceProvider* pSP = GetSP();
    if (pSP == nullptr) return LINEERR_NODRIVER;
    const CString strClass = DeviceClassToAnsi(lpszDeviceClass);
    return pSP->lineConfigDialog(dwDeviceID, hwndOwner, strClass, lpfnUIDLLCallback);
  });
}

TSPIAPI LONG TUISPI_lineConfigDialogEdit(TUISPIDLLCALLBACK lpfnUIDLLCallback, DWORD dwDeviceID,
                                         HWND hwndOwner, LPCWSTR lpszDeviceClass,
                                         LPVOID const lpDeviceConfigIn, DWORD dwSize,
                                         LPVARSTRING lpDeviceConfigOut) {
  return GuardLineExport(__func__, 0, [&]() -> LONG {
    CServiceProvider* pSP = GetSP();
    if (pSP == nullptr) return LINEERR_NODRIVER;
    const CString strClass = DeviceClassToAnsi(lpszDeviceClass);
    return pSP->lineConfigDialogEdit(dwDeviceID, hwndOwner, strClass, lpDeviceConfigIn, dwSize,
                                     lpDeviceConfigOut, lpfnUIDLLCallback);
  });
}

TSPIAPI LONG TUISPI_providerConfig(TUISPIDLLCALLBACK lpfnUIDLLCallback, HWND hwndOwner,
                                   DWORD dwPermanentProviderID) {
  return GuardLineExport(__func__, 0, [&]() -> LONG {
    CServiceProvider* pSP = GetSP();
    if (pSP == nullptr) return LINEERR_NODRIVER;
    return pSP->providerConfig(dwPermanentProviderID, hwndOwner, lpfnUIDLLCallback);
  });
}

TSPIAPI LONG TUISPI_providerGenericDialog(TUISPIDLLCALLBACK lpfnUIDLLCallback,
                                          HTAPIDIALOGINSTANCE htDlgInst, LPVOID lpParams,
                                          DWORD dwSize, HANDLE hEvent) {
  return GuardLineExport(__func__, 0, [&]() -> LONG {
    CServiceProvider* pSP = GetSP();
    if (pSP == nullptr) return LINEERR_NODRIVER;
    return pSP->providerGenericDialog(htDlgInst, lpParams, dwSize, hEvent, lpfnUIDLLCallback);
  });
}

TSPIAPI LONG TUISPI_providerInstall(TUISPIDLLCALLBACK lpfnUIDLLCallback, HWND hwndOwner,
                                    DWORD dwPermanentProviderID) {
  return GuardLineExport(__func__, 0, [&]() -> LONG {
    CServiceProvider* pSP = GetSP();
    if (pSP == nullptr) return LINEERR_NODRIVER;
    return pSP->providerInstall(dwPermanentProviderID, hwndOwner, lpfnUIDLLCallback);
  });
}

TSPIAPI LONG TUISPI_providerRemove(TUISPIDLLCALLBACK lpfnUIDLLCallback, HWND hwndOwner,
                                   DWORD dwPermanentProviderID) {
  return GuardLineExport(__func__, 0, [&]() -> LONG {
    CServiceProvider* pSP = GetSP();
    if (pSP == nullptr) return LINEERR_NODRIVER;
    return pSP->providerRemove(dwPermanentProviderID, hwndOwner, lpfnUIDLLCallback);
  });
}
