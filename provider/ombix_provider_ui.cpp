// COmbixProvider: the user-interface operations, run through the TUISPI_ functions in the
// process that shows the dialogs. What only the provider process knows (the provider ID and the
// index of a line device) is asked for through TAPI's UI callback.
#include <cstring>

#include "provider/ombix_line.h"
#include "provider/ombix_provider.h"
#include "provider/ombix_settings.h"
#include "provider/ui/dlg_line_config.h"
#include "provider/ui/dlg_provider_config.h"
#include "provider/ui/resource.h"
#include "switchapi/ombix_values.h"

namespace {

// The message for a switch result code that stops a line.
UINT ErrorTextID(DWORD dwError) {
  switch (dwError) {
    case OMBIX_ERROR_INVALID_PASSWORD:
      return IDS_ERR_INVALID_PASSWORD;
    case OMBIX_ERROR_INVALID_DEVICE:
      return IDS_ERR_INVALID_DEVICE;
    case OMBIX_ERROR_LOGIN_DENIED:
      return IDS_ERR_LOGIN_DENIED;
    case OMBIX_ERROR_PASSWORD_EXPIRED:
      return IDS_ERR_PASSWORD_EXPIRED;
    case OMBIX_ERROR_ACCOUNT_LOCKED:
      return IDS_ERR_ACCOUNT_LOCKED;
    case OMBIX_ERROR_PERMISSION_DENIED:
      return IDS_ERR_PERMISSION_DENIED;
    case OMBIX_ERROR_OUT_OF_SERVICE:
      return IDS_ERR_OUT_OF_SERVICE;
    case OMBIX_ERROR_INVALID_VERSION:
      return IDS_ERR_INVALID_VERSION;
    default:
      return IDS_ERR_INTERNAL;
  }
}

}  // namespace

LONG COmbixProvider::providerConfig(DWORD dwPermanentProviderID, HWND, TUISPIDLLCALLBACK) {
  // The dialog writes each change as it is made (see the dialog).
  COmbixConfigSettings settings(dwPermanentProviderID);
  CDlgProviderConfig dlg(settings);
  dlg.DoModal();
  return 0;
}

LONG COmbixProvider::providerInstall(DWORD dwPermanentProviderID, HWND hwndOwner,
                                     TUISPIDLLCALLBACK lpfnDLLCallback) {
  DWORD dwInstalledID = 0;
  const LONG lResult = FindInstalledProvider(m_pszAppName, &dwInstalledID);
  if (lResult != 0) return lResult;
  return CServiceProvider::providerInstall(dwPermanentProviderID, hwndOwner, lpfnDLLCallback);
}

LONG COmbixProvider::providerGenericDialog(HTAPIDIALOGINSTANCE, LPVOID lpParams, DWORD dwSize,
                                           HANDLE, TUISPIDLLCALLBACK) {
  if (lpParams == nullptr || dwSize != sizeof(DWORD)) return LINEERR_OPERATIONFAILED;
  DWORD dwError = 0;
  std::memcpy(&dwError, lpParams, sizeof(dwError));
  CString strReason;
  CString strText;
  CString strCaption;
  strReason.LoadString(ErrorTextID(dwError));
  strCaption.LoadString(IDS_PROVIDER_TITLE);
  strText.Format("%s\n\nError=%d", strReason.GetString(), static_cast<int>(dwError));
  MessageBoxA(nullptr, strText, strCaption, MB_OK | MB_ICONEXCLAMATION);
  return 0;
}

LONG COmbixProvider::QueryLineIndexThroughUI(TUISPIDLLCALLBACK lpfnDLLCallback, DWORD dwDeviceID,
                                             LPDWORD lpdwLineIndex) {
  if (lpdwLineIndex != nullptr) *lpdwLineIndex = 0;
  if (lpfnDLLCallback == nullptr) return LINEERR_OPERATIONFAILED;
  LINEINDEXQUERY query{OMBIX_LINEINDEX_QUERY, dwDeviceID};
  const LONG lResult = lpfnDLLCallback(dwDeviceID, TUISPIDLL_OBJECT_LINEID, &query, sizeof(query));
  if (lResult != 0) return lResult;
  // Without the answer the index would be 0, and the dialog would edit another line.
  if (query.dwCode != OMBIX_LINEINDEX_ANSWER) return LINEERR_OPERATIONFAILED;
  if (lpdwLineIndex != nullptr) *lpdwLineIndex = query.dwValue;
  return 0;
}

LONG COmbixProvider::lineConfigDialog(DWORD dwDeviceID, HWND, LPCSTR,
                                      TUISPIDLLCALLBACK lpfnDLLCallback) {
  DWORD dwProviderID = 0;
  DWORD dwLineIndex = 0;
  // Provider ID 0 would name the provider's own key, which is no line's.
  if (QueryProviderIDThroughUI(lpfnDLLCallback, dwDeviceID, TRUE, &dwProviderID) != 0 ||
      dwProviderID == 0 ||
      QueryLineIndexThroughUI(lpfnDLLCallback, dwDeviceID, &dwLineIndex) != 0) {
    return LINEERR_OPERATIONFAILED;
  }
  CDlgLineConfig dlg;
  dlg.m_bModifyPassword = TRUE;
  LoadLineSettings(dwProviderID, dwLineIndex, dlg.m_strNumber, dlg.m_strPassword);
  if (dlg.DoModal() == IDOK) {
    SaveLineSettings(dwProviderID, dwLineIndex, dlg.m_strNumber, dlg.m_strPassword);
  }
  return 0;
}

LONG COmbixProvider::lineConfigDialogEdit(DWORD dwDeviceID, HWND hwndOwner, LPCSTR pszDeviceClass,
                                          LPVOID const, DWORD, LPVARSTRING lpDeviceConfigOut,
                                          TUISPIDLLCALLBACK lpfnDLLCallback) {
  if (lpDeviceConfigOut == nullptr) return LINEERR_INVALPOINTER;
  VARSTRING header;
  std::memcpy(&header, lpDeviceConfigOut, sizeof(header.dwTotalSize));
  if (header.dwTotalSize < sizeof(VARSTRING)) return LINEERR_STRUCTURETOOSMALL;
  // One data byte: the line's settings are kept in the registry, not in the configuration.
  constexpr DWORD kNeeded = sizeof(VARSTRING) + 1;
  header.dwNeededSize = kNeeded;
  header.dwStringFormat = STRINGFORMAT_BINARY;
  if (header.dwTotalSize >= kNeeded) {
    header.dwUsedSize = kNeeded;
    header.dwStringSize = 1;
    header.dwStringOffset = sizeof(VARSTRING);
    reinterpret_cast<BYTE*>(lpDeviceConfigOut)[sizeof(VARSTRING)] = 0;
  } else {
    header.dwUsedSize = sizeof(VARSTRING);
    header.dwStringSize = 0;
    header.dwStringOffset = 0;
  }
  std::memcpy(lpDeviceConfigOut, &header, sizeof(header));
  return lineConfigDialog(dwDeviceID, hwndOwner, pszDeviceClass, lpfnDLLCallback);
}
