#include "provider/ombix_settings.h"

#include <algorithm>
#include <iterator>
#include <optional>
#include <utility>

#include "framework/service_provider.h"
#include "platform/registry.h"
#include "platform/win32.h"

namespace {

using REGPROFILEVALUE = CServiceProvider::REGPROFILEVALUE;
using REGRAWVALUE = CServiceProvider::REGRAWVALUE;
using RawValues = std::vector<std::optional<REGRAWVALUE>>;

// "Lines" as stored: TRUE with its number (0 when missing), FALSE when it cannot be read, with
// its type in strLinesType when it is there but no number.
BOOL ReadStoredLines(CServiceProvider& sp, DWORD dwProviderID, DWORD& dwLines,
                     std::optional<REGRAWVALUE>& stored, CString& strLinesType) {
  RawValues values;
  if (!sp.RegReadRawValues(dwProviderID, {kSettingLines}, values)) return FALSE;
  stored = std::move(values[0]);
  dwLines = 0;
  if (!stored.has_value() || CServiceProvider::DwordOfValue(*stored, dwLines)) return TRUE;
  strLinesType = DescribeValueType(stored->dwType, stored->abData.size());
  return FALSE;
}

// "Lines" as a count the dialog may change (at most kMaxLinesPerDevice); FALSE as above.
BOOL CountedLines(CServiceProvider& sp, DWORD dwProviderID, DWORD& dwLines,
                  CString& strLinesType) {
  std::optional<REGRAWVALUE> stored;
  if (!ReadStoredLines(sp, dwProviderID, dwLines, stored, strLinesType)) return FALSE;
  dwLines = std::min(dwLines, kMaxLinesPerDevice);
  return TRUE;
}

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

CString DescribeValueType(DWORD dwType, size_t cbData) {
  static constexpr const char* kTypeNames[] = {"REG_NONE",
                                               "REG_SZ",
                                               "REG_EXPAND_SZ",
                                               "REG_BINARY",
                                               "REG_DWORD",
                                               "REG_DWORD_BIG_ENDIAN",
                                               "REG_LINK",
                                               "REG_MULTI_SZ",
                                               "REG_RESOURCE_LIST",
                                               "REG_FULL_RESOURCE_DESCRIPTOR",
                                               "REG_RESOURCE_REQUIREMENTS_LIST",
                                               "REG_QWORD"};
  CString strType;
  if (dwType < std::size(kTypeNames)) {
    strType = kTypeNames[dwType];
  } else {
    strType.Format("type %lu", static_cast<unsigned long>(dwType));
  }
  CString strSize;
  strSize.Format(" of %lu byte%s", static_cast<unsigned long>(cbData), cbData == 1 ? "" : "s");
  return strType + strSize;
}

BOOL RewriteDeviceSettings(DWORD dwProviderID) {
  CServiceProvider* pSP = GetSP();
  if (pSP == nullptr) return FALSE;
  COmbixRegBatch batch;
  DWORD dwStored = 0;
  std::optional<REGRAWVALUE> lines;
  CString strLinesType;
  if (!ReadStoredLines(*pSP, dwProviderID, dwStored, lines, strLinesType)) {
    if (!strLinesType.IsEmpty()) {
      // Counted as 0, the key would lose every line: it stays as it is until "Lines" is mended.
      CString strTrace;
      strTrace.Format(
          "OMBIX.TSP: provider %lu: \"%s\" is %s; it must be a DWORD (REG_DWORD). The settings "
          "were left as they are.\n",
          static_cast<unsigned long>(dwProviderID), kSettingLines, strLinesType.GetString());
      OutputDebugStringA(strTrace);
    }
    return FALSE;
  }
  // Every value kept goes back with the type and bytes the file holds, so nothing a read would
  // refuse (a long text, another type) is lost. The count as stored goes back; only the lines
  // below it are kept.
  const DWORD dwLines = std::min(dwStored, kMaxLinesPerDevice);
  constexpr size_t kPingTimerAt = 2;  // kept only where it is: no part of the system writes it
  std::vector<CString> names{kSettingIP1, kSettingIP2, kSettingPingTimer};
  names.reserve(names.size() + 2 * static_cast<size_t>(dwLines));
  for (DWORD i = 0; i < dwLines; ++i) {
    names.push_back(LineValueName(kLineNumberFormat, i));
    names.push_back(LineValueName(kLinePasswordFormat, i));
  }
  RawValues stored;
  if (!pSP->RegReadRawValues(dwProviderID, names, stored)) return FALSE;

  std::vector<REGPROFILEVALUE> values;
  values.reserve(1 + names.size());
  if (lines.has_value()) {
    values.push_back({kSettingLines, 0, "", 0, std::move(lines)});
  } else {
    values.push_back({kSettingLines, REG_DWORD, "", 0});
  }
  for (size_t i = 0; i < names.size(); ++i) {
    if (stored[i].has_value()) {
      values.push_back({std::move(names[i]), 0, "", 0, std::move(stored[i])});
    } else if (i != kPingTimerAt) {
      values.push_back({std::move(names[i]), REG_SZ, "", 0});
    }
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

BOOL COmbixConfigSettings::AddLine(LPCSTR pszNumber, LPCSTR pszPassword, CString& strLinesType) {
  CServiceProvider* pSP = GetSP();
  if (pSP == nullptr) return FALSE;
  COmbixRegBatch batch;
  DWORD dwLines = 0;
  if (!CountedLines(*pSP, m_dwProviderID, dwLines, strLinesType)) return FALSE;
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

BOOL COmbixConfigSettings::RemoveLine(DWORD dwIndex, LPCSTR pszShownNumber, CString& strLinesType) {
  CServiceProvider* pSP = GetSP();
  if (pSP == nullptr) return FALSE;
  COmbixRegBatch batch;
  DWORD dwLines = 0;
  if (!CountedLines(*pSP, m_dwProviderID, dwLines, strLinesType)) return FALSE;
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
