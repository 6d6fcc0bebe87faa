// COmbixProvider: the user-interface operations, run through the TUISPI_ functions in the
// process that shows the dialogs. What only the provider process knows (the provider ID and the
// index of a line device) is asked for through TAPI's UI callback.
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/registry.h"
#include "provider/ombix_line.h"
#include "provider/ombix_provider.h"
#include "provider/ombix_settings.h"
#include "provider/ui/dlg_line_config.h"
#include "provider/ui/dlg_provider_config.h"
#include "provider/ui/resource.h"
#include "switchapi/ombix_values.h"

namespace {

constexpr char kDefaultAddress[] = "0.0.0.0";

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
  CDlgProviderConfig dlg(dwPermanentProviderID);
  dlg.m_strIP1 = RegReadString(dwPermanentProviderID, kSettingIP1, kDefaultAddress);
  dlg.m_strIP2 = RegReadString(dwPermanentProviderID, kSettingIP2, kDefaultAddress);
  dlg.m_dwLines =
      std::min(RegReadDword(dwPermanentProviderID, kSettingLines, 0), kMaxLinesPerDevice);
  dlg.m_arrLines = LoadAllLineSettings(dwPermanentProviderID, dlg.m_dwLines);
  std::vector<REGPROFILEVALUE> values;
  if (dlg.DoModal() == IDOK) {
    values.push_back({kSettingIP1, REG_SZ, dlg.m_strIP1, 0});
    values.push_back({kSettingIP2, REG_SZ, dlg.m_strIP2, 0});
  }
  // A change of the lines stands even when the dialog was left without OK (see the dialog).
  if (dlg.m_bLinesChanged) {
    values.push_back({kSettingLines, REG_DWORD, "", dlg.m_dwLines});
    for (size_t i = 0; i < dlg.m_arrLines.size(); ++i) {
      const auto dwIndex = static_cast<DWORD>(i);
      values.push_back(
          {LineValueName(kLineNumberFormat, dwIndex), REG_SZ, dlg.m_arrLines[i].strNumber, 0});
      values.push_back(
          {LineValueName(kLinePasswordFormat, dwIndex), REG_SZ, dlg.m_arrLines[i].strPassword, 0});
    }
  }
  // One write of the file, however many lines there are (32,768 lines are 65,539 values).
  if (!values.empty()) RegWriteValues(dwPermanentProviderID, values);
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
