#include "provider/ombix_settings.h"

#include <algorithm>

#include "framework/service_provider.h"
#include "platform/registry.h"

namespace {

using REGPROFILEVALUE = CServiceProvider::REGPROFILEVALUE;

DWORD StoredLines(CServiceProvider& sp, DWORD dwProviderID) {
  return std::min(sp.RegReadDword(dwProviderID, kSettingLines, 0), kMaxLinesPerDevice);
}

// TRUE when the index is below dwLines (the stored "Lines") and its number is still the one
// shown.
BOOL ShowsLine(CServiceProvider& sp, DWORD dwProviderID, DWORD dwLines, DWORD dwIndex,
               LPCSTR pszShownNumber) {
  return dwIndex < dwLines &&
         sp.RegReadString(dwProviderID, LineValueName(kLineNumberFormat, dwIndex), "") ==
             CString(pszShownNumber != nullptr ? pszShownNumber : "");
}

void AddLineValues(std::vector<REGPROFILEVALUE>& values, DWORD dwLineIndex,
                   const CString& strNumber, const CString& strPassword) {
  values.push_back({LineValueName(kLineNumberFormat, dwLineIndex), REG_SZ, strNumber, 0});
  values.push_back({LineValueName(kLinePasswordFormat, dwLineIndex), REG_SZ, strPassword, 0});
}

}  // namespace

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
  return LoadLineSettingsRange(dwProviderID, 0, dwLines);
}

std::vector<OMBIXLINESETTINGS> LoadLineSettingsRange(DWORD dwProviderID, DWORD dwFirst,
                                                     DWORD dwCount) {
  std::vector<OMBIXLINESETTINGS> settings(dwCount);
  CServiceProvider* pSP = GetSP();
  if (pSP == nullptr) return settings;
  std::vector<CString> names;
  names.reserve(2 * static_cast<size_t>(dwCount));
  for (DWORD i = 0; i < dwCount; ++i) {
    names.push_back(LineValueName(kLineNumberFormat, dwFirst + i));
    names.push_back(LineValueName(kLinePasswordFormat, dwFirst + i));
  }
  const std::vector<CString> values = pSP->RegReadStrings(dwProviderID, names, "");
  for (DWORD i = 0; i < dwCount && 2 * i + 1 < values.size(); ++i) {
    settings[i].strNumber = values[2 * i];
    settings[i].strPassword = values[2 * i + 1];
  }
  return settings;
}

void SaveLineSettings(DWORD dwProviderID, DWORD dwLineIndex, LPCSTR pszNumber, LPCSTR pszPassword) {
  CServiceProvider* pSP = GetSP();
  if (pSP == nullptr) return;
  std::vector<REGPROFILEVALUE> values;
  AddLineValues(values, dwLineIndex, pszNumber != nullptr ? pszNumber : "",
                pszPassword != nullptr ? pszPassword : "");
  pSP->RegWriteValues(dwProviderID, values);
}

BOOL RewriteDeviceSettings(DWORD dwProviderID) {
  CServiceProvider* pSP = GetSP();
  if (pSP == nullptr) return FALSE;
  COmbixRegBatch batch;
  // The count as stored goes back; only the lines below it are read.
  const DWORD dwStored = pSP->RegReadDword(dwProviderID, kSettingLines, 0);
  const DWORD dwLines = std::min(dwStored, kMaxLinesPerDevice);
  const std::vector<OMBIXLINESETTINGS> lines = LoadAllLineSettings(dwProviderID, dwLines);
  std::vector<REGPROFILEVALUE> values;
  values.reserve(3 + 2 * static_cast<size_t>(dwLines));
  values.push_back({kSettingLines, REG_DWORD, "", dwStored});
  values.push_back({kSettingIP1, REG_SZ, pSP->RegReadString(dwProviderID, kSettingIP1, ""), 0});
  values.push_back({kSettingIP2, REG_SZ, pSP->RegReadString(dwProviderID, kSettingIP2, ""), 0});
  for (DWORD i = 0; i < dwLines; ++i) {
    AddLineValues(values, i, lines[i].strNumber, lines[i].strPassword);
  }
  const BOOL bWritten = pSP->RegReplaceDeviceKey(dwProviderID, values);
  return batch.Commit() == ERROR_SUCCESS && bWritten;
}

void COmbixConfigSettings::LoadAddresses(CString& strIP1, CString& strIP2) {
  CServiceProvider* pSP = GetSP();
  if (pSP == nullptr) return;
  strIP1 = pSP->RegReadString(m_dwProviderID, kSettingIP1, kShownMissingAddress);
  strIP2 = pSP->RegReadString(m_dwProviderID, kSettingIP2, kShownMissingAddress);
}

std::vector<CString> COmbixConfigSettings::LoadNumbers() {
  CServiceProvider* pSP = GetSP();
  if (pSP == nullptr) return {};
  std::vector<CString> names(StoredLines(*pSP, m_dwProviderID));
  for (size_t i = 0; i < names.size(); ++i) {
    names[i] = LineValueName(kLineNumberFormat, static_cast<DWORD>(i));
  }
  return pSP->RegReadStrings(m_dwProviderID, names, "");
}

void COmbixConfigSettings::LoadLine(DWORD dwIndex, CString& strNumber, CString& strPassword) {
  strNumber.Empty();
  strPassword.Empty();
  CServiceProvider* pSP = GetSP();
  if (pSP == nullptr) return;
  if (dwIndex < StoredLines(*pSP, m_dwProviderID)) {
    LoadLineSettings(m_dwProviderID, dwIndex, strNumber, strPassword);
  }
}

BOOL COmbixConfigSettings::AddLine(LPCSTR pszNumber, LPCSTR pszPassword) {
  CServiceProvider* pSP = GetSP();
  if (pSP == nullptr) return FALSE;
  COmbixRegBatch batch;
  const DWORD dwLines = StoredLines(*pSP, m_dwProviderID);
  std::vector<REGPROFILEVALUE> values;
  values.push_back({kSettingLines, REG_DWORD, "", dwLines + 1});
  AddLineValues(values, dwLines, pszNumber, pszPassword);
  const BOOL bWritten = pSP->RegWriteValues(m_dwProviderID, values);
  return batch.Commit() == ERROR_SUCCESS && bWritten;
}

BOOL COmbixConfigSettings::ChangeLine(DWORD dwIndex, LPCSTR pszShownNumber, LPCSTR pszNumber,
                                      LPCSTR pszPassword) {
  CServiceProvider* pSP = GetSP();
  if (pSP == nullptr) return FALSE;
  COmbixRegBatch batch;
  const DWORD dwLines = StoredLines(*pSP, m_dwProviderID);
  if (!ShowsLine(*pSP, m_dwProviderID, dwLines, dwIndex, pszShownNumber)) return FALSE;
  std::vector<REGPROFILEVALUE> values;
  AddLineValues(values, dwIndex, pszNumber, pszPassword);
  const BOOL bWritten = pSP->RegWriteValues(m_dwProviderID, values);
  return batch.Commit() == ERROR_SUCCESS && bWritten;
}

BOOL COmbixConfigSettings::RemoveLine(DWORD dwIndex, LPCSTR pszShownNumber) {
  CServiceProvider* pSP = GetSP();
  if (pSP == nullptr) return FALSE;
  COmbixRegBatch batch;
  const DWORD dwLines = StoredLines(*pSP, m_dwProviderID);
  if (!ShowsLine(*pSP, m_dwProviderID, dwLines, dwIndex, pszShownNumber)) return FALSE;
  // The later lines as the file holds them now, each one index down.
  const std::vector<OMBIXLINESETTINGS> later =
      LoadLineSettingsRange(m_dwProviderID, dwIndex + 1, dwLines - dwIndex - 1);
  std::vector<REGPROFILEVALUE> values;
  values.reserve(1 + 2 * (later.size() + 1));
  values.push_back({kSettingLines, REG_DWORD, "", dwLines - 1});
  for (size_t i = 0; i < later.size(); ++i) {
    AddLineValues(values, dwIndex + static_cast<DWORD>(i), later[i].strNumber,
                  later[i].strPassword);
  }
  AddLineValues(values, dwLines - 1, "", "");
  const BOOL bWritten = pSP->RegWriteValues(m_dwProviderID, values);
  return batch.Commit() == ERROR_SUCCESS && bWritten;
}

void COmbixConfigSettings::SaveAddresses(LPCSTR pszShownIP1, LPCSTR pszShownIP2, LPCSTR pszIP1,
                                         LPCSTR pszIP2) {
  CServiceProvider* pSP = GetSP();
  if (pSP == nullptr) return;
  COmbixRegBatch batch;
  std::vector<REGPROFILEVALUE> values;
  const struct {
    LPCSTR pszName, pszShown, pszValue;
  } addresses[] = {{kSettingIP1, pszShownIP1, pszIP1}, {kSettingIP2, pszShownIP2, pszIP2}};
  for (const auto& a : addresses) {
    // Not text an address can be: tells a missing value from one that reads "0.0.0.0".
    constexpr char kMissing[] = "\n";
    const CString strStored = pSP->RegReadString(m_dwProviderID, a.pszName, kMissing);
    const BOOL bMissing = strStored == kMissing;
    // An address set elsewhere while the dialog was open stays.
    if ((bMissing ? CString(kShownMissingAddress) : strStored) != CString(a.pszShown)) continue;
    if (bMissing || strStored != CString(a.pszValue)) {
      values.push_back({a.pszName, REG_SZ, a.pszValue, 0});
    }
  }
  if (!values.empty()) pSP->RegWriteValues(m_dwProviderID, values);
  batch.Commit();
}
