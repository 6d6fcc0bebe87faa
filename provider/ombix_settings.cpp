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

std::vector<OMBIXLINESETTINGS> LoadAllLineSettings(DWORD dwProviderID, DWORD dwLines) {
  std::vector<OMBIXLINESETTINGS> settings(dwLines);
  CServiceProvider* pSP = GetSP();
  if (pSP == nullptr) return settings;
  std::vector<CString> names;
  names.reserve(2 * static_cast<size_t>(dwLines));
  for (DWORD i = 0; i < dwLines; ++i) {
    names.push_back(LineValueName(kLineNumberFormat, i));
    names.push_back(LineValueName(kLinePasswordFormat, i));
  }
  const std::vector<CString> values = pSP->RegReadStrings(dwProviderID, names, "");
  for (DWORD i = 0; i < dwLines && 2 * i + 1 < values.size(); ++i) {
    settings[i].strNumber = values[2 * i];
    settings[i].strPassword = values[2 * i + 1];
  }
  return settings;
}

void SaveLineSettings(DWORD dwProviderID, DWORD dwLineIndex, LPCSTR pszNumber, LPCSTR pszPassword) {
  CServiceProvider* pSP = GetSP();
  if (pSP == nullptr) return;
  pSP->RegWriteString(dwProviderID, LineValueName(kLineNumberFormat, dwLineIndex),
                      pszNumber != nullptr ? pszNumber : "");
  pSP->RegWriteString(dwProviderID, LineValueName(kLinePasswordFormat, dwLineIndex),
                      pszPassword != nullptr ? pszPassword : "");
}
