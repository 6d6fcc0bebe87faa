#include "provider/ombix_settings.h"

#include "framework/service_provider.h"

CString LineValueName(LPCSTR pszFormat, DWORD dwLineIndex) {
  CString strName;
  strName.Format(pszFormat, static_cast<unsigned>(dwLineIndex));
  return strName;
}

void LoadLineSettings(DWORD dwProviderID, DWORD dwLineIndex, CString& strNumber,
                      CString& strPassword) {
  strNumber.Empty();
  strPassword.Empty();
  CServiceProvider* pSP = GetSP();
  if (pSP == nullptr) return;
  strNumber = pSP->RegReadString(dwProviderID, LineValueName(kLineNumberFormat, dwLineIndex), "");
  strPassword =
      pSP->RegReadString(dwProviderID, LineValueName(kLinePasswordFormat, dwLineIndex), "");
}

void SaveLineSettings(DWORD dwProviderID, DWORD dwLineIndex, LPCSTR pszNumber, LPCSTR pszPassword) {
  CServiceProvider* pSP = GetSP();
  if (pSP == nullptr) return;
  pSP->RegWriteString(dwProviderID, LineValueName(kLineNumberFormat, dwLineIndex),
                      pszNumber != nullptr ? pszNumber : "");
  pSP->RegWriteString(dwProviderID, LineValueName(kLinePasswordFormat, dwLineIndex),
                      pszPassword != nullptr ? pszPassword : "");
}
