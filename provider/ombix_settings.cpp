#include "provider/ombix_settings.h"

#include <algorithm>

#include "framework/service_provider.h"
#include "platform/registry.h"

namespace {

using REGPROFILEVALUE = CServiceProvider::REGPROFILEVALUE;

// A registry batch for a read and the write that follows it: nothing another process writes can
// come between them. Without one (the file cannot be locked) the calls go to the file one by
// one, and fail there as they would. An exception cancels it: half a change never reaches the
// file.
class CSettingsBatch {
 public:
  CSettingsBatch() : m_bOpen(OmbixRegBeginBatch() == ERROR_SUCCESS) {}
  ~CSettingsBatch() {
    if (m_bOpen) OmbixRegCancelBatch();
  }
  CSettingsBatch(const CSettingsBatch&) = delete;
  CSettingsBatch& operator=(const CSettingsBatch&) = delete;
  // Writes the batch's changes; FALSE when the file could not be written.
  BOOL Commit() {
    if (!m_bOpen) return TRUE;
    m_bOpen = false;
    return OmbixRegEndBatch() == ERROR_SUCCESS;
  }

 private:
  bool m_bOpen;
};

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

BOOL RewriteDeviceSettings(DWORD dwProviderID) {
  CServiceProvider* pSP = GetSP();
  if (pSP == nullptr) return FALSE;
  CSettingsBatch batch;
  // The count as stored goes back; only the lines below it are read.
  const DWORD dwStored = pSP->RegReadDword(dwProviderID, kSettingLines, 0);
  const DWORD dwLines = std::min(dwStored, kMaxLinesPerDevice);
  const std::vector<OMBIXLINESETTINGS> lines = LoadAllLineSettings(dwProviderID, dwLines);
  std::vector<REGPROFILEVALUE> values;
  values.reserve(3 + 2 * static_cast<size_t>(dwLines));
  values.push_back({kSettingLines, REG_DWORD, "", dwStored});
  values.push_back({kSettingIP1, REG_SZ, pSP->RegReadString(dwProviderID, kSettingIP1, ""), 0});
  values.push_back({kSettingIP2, REG_SZ, pSP->RegReadString(dwProviderID, kSettingIP2, ""), 0});
  for (DWORD i = 0; i < dwLines; ++i)
    AddLineValues(values, i, lines[i].strNumber, lines[i].strPassword);
  const BOOL bWritten = pSP->RegReplaceDeviceKey(dwProviderID, values);
  return batch.Commit() && bWritten;
}
