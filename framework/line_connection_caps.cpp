// CTSPILineConnection: LINEDEVCAPS and LINEDEVSTATUS as TAPI reads them.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "framework/device_class.h"
#include "framework/line_connection.h"
#include "framework/service_provider.h"
#include "framework/var_struct.h"
#include "platform/afxmt.h"

namespace {

// Fixed parts by TAPI version.
constexpr DWORD kDevCapsSize13 = 236;  // ends with dwDevSpecificOffset
constexpr DWORD kDevCapsSize14 = 240;  // adds dwLineFeatures
constexpr DWORD kDevCapsSize20 = sizeof(LINEDEVCAPS);
constexpr DWORD kDevStatusSize14 = 76;  // ends with dwDevSpecificOffset
constexpr DWORD kDevStatusSize20 = sizeof(LINEDEVSTATUS);
static_assert(kDevCapsSize13 == offsetof(LINEDEVCAPS, dwLineFeatures));
static_assert(kDevCapsSize14 == offsetof(LINEDEVCAPS, dwSettableDevStatus));
static_assert(kDevStatusSize14 == offsetof(LINEDEVSTATUS, dwAvailableMediaModes));

DWORD DevCapsSize(DWORD dwVersion) {
  if (dwVersion >= TAPIVER_20) return kDevCapsSize20;
  return dwVersion >= TAPIVER_14 ? kDevCapsSize14 : kDevCapsSize13;
}

// One variable part from a vector (nothing for an empty one).
template <typename T>
void AppendPart(LPVOID lpStruct, DWORD& dwOffset, DWORD& dwSize, const std::vector<T>& part) {
  const uint64_t cbPart = part.size() * sizeof(T);
  if (cbPart == 0 || cbPart > 0xFFFFFFFF) return;
  CopyIntoVarStruct(lpStruct, dwOffset, dwSize, part.data(), static_cast<DWORD>(cbPart));
}

// Versions before 2.0 know neither these bearer modes nor these features; 1.3 not these
// media modes and line states either.
void MaskForVersion(LINEDEVCAPS& caps, DWORD dwVersion) {
  if (dwVersion < TAPIVER_20) {
    caps.dwBearerModes &= ~LINEBEARERMODE_RESTRICTEDDATA;
    caps.dwLineFeatures &=
        ~(LINEFEATURE_SETDEVSTATUS | LINEFEATURE_FORWARDFWD | LINEFEATURE_FORWARDDND);
  }
  if (dwVersion < TAPIVER_14) {
    caps.dwBearerModes &= ~LINEBEARERMODE_PASSTHROUGH;
    caps.dwMediaModes &= ~LINEMEDIAMODE_VOICEVIEW;
    caps.dwLineStates &=
        ~(LINEDEVSTATE_CAPSCHANGE | LINEDEVSTATE_CONFIGCHANGE | LINEDEVSTATE_TRANSLATECHANGE |
          LINEDEVSTATE_COMPLCANCEL | LINEDEVSTATE_REMOVED);
  }
}

// The variable parts start empty in what goes to the caller.
void ClearVarParts(LINEDEVCAPS& caps) {
  caps.dwProviderInfoSize = caps.dwProviderInfoOffset = 0;
  caps.dwSwitchInfoSize = caps.dwSwitchInfoOffset = 0;
  caps.dwLineNameSize = caps.dwLineNameOffset = 0;
  caps.dwTerminalCapsSize = caps.dwTerminalCapsOffset = 0;
  caps.dwTerminalTextSize = caps.dwTerminalTextOffset = 0;
  caps.dwDevSpecificSize = caps.dwDevSpecificOffset = 0;
  caps.dwDeviceClassesSize = caps.dwDeviceClassesOffset = 0;
}

}  // namespace

LONG CTSPILineConnection::GetDevCaps(DWORD dwTSPIVersion, DWORD /*dwExtVersion*/,
                                     LPLINEDEVCAPS lpLineCaps) {
  if (lpLineCaps == nullptr) return LINEERR_INVALPOINTER;
  const DWORD dwVersion = std::min(dwTSPIVersion, GetNegotiatedVersion());
  const DWORD dwFixedSize = DevCapsSize(dwVersion);
  // The fixed part alone would run past the caller's structure.
  if (lpLineCaps->dwTotalSize < dwFixedSize) return LINEERR_STRUCTURETOOSMALL;
  CServiceProvider* pSP = GetSP();
  const CString strProvider = (pSP != nullptr) ? pSP->GetProviderName() : "";

  CSingleLock lock(GetSyncObject(), TRUE);
  LINEDEVCAPS caps = m_LineCaps;
  ClearVarParts(caps);
  caps.dwTotalSize = lpLineCaps->dwTotalSize;
  caps.dwUsedSize = dwFixedSize;
  caps.dwNeededSize = dwFixedSize;
  MaskForVersion(caps, dwVersion);
  std::memcpy(lpLineCaps, &caps, dwFixedSize);

  const CString strName = GetName();
  const CString strSwitchInfo = GetSwitchInfo();
  if (!strProvider.IsEmpty()) {
    AppendPart(lpLineCaps, lpLineCaps->dwProviderInfoOffset, lpLineCaps->dwProviderInfoSize,
               VarStructText(strProvider));
  }
  if (!strName.IsEmpty()) {
    AppendPart(lpLineCaps, lpLineCaps->dwLineNameOffset, lpLineCaps->dwLineNameSize,
               VarStructText(strName));
  }
  if (!strSwitchInfo.IsEmpty()) {
    AppendPart(lpLineCaps, lpLineCaps->dwSwitchInfoOffset, lpLineCaps->dwSwitchInfoSize,
               VarStructText(strSwitchInfo));
  }

  // Terminals: one LINETERMCAPS each, and one text entry each of dwTerminalTextEntrySize
  // characters with the NUL, so that TAPI can index the entries.
  std::vector<LINETERMCAPS> termCaps;
  std::vector<WCHAR> termText;
  const int nEntryChars = static_cast<int>(std::min<DWORD>(caps.dwTerminalTextEntrySize, 0x10000));
  for (INT_PTR i = 0; i < m_arrTerminals.GetSize(); ++i) {
    const auto* pTerminal = static_cast<const TERMINALINFO*>(m_arrTerminals[i]);
    termCaps.push_back(pTerminal->Capabilities);
    CString strText = pTerminal->strName;
    if (nEntryChars > 0) {
      strText = strText.Left(nEntryChars - 1);
      while (strText.GetLength() < nEntryChars - 1) strText += ' ';
    }
    const std::vector<WCHAR> wide = VarStructText(strText);
    termText.insert(termText.end(), wide.begin(), wide.end());
  }
  AppendPart(lpLineCaps, lpLineCaps->dwTerminalCapsOffset, lpLineCaps->dwTerminalCapsSize,
             termCaps);
  AppendPart(lpLineCaps, lpLineCaps->dwTerminalTextOffset, lpLineCaps->dwTerminalTextSize,
             termText);

  // Device classes: NUL-separated names ending with a double NUL.
  if (dwVersion >= TAPIVER_20) {
    AppendDeviceClassList(lpLineCaps, lpLineCaps->dwDeviceClassesOffset,
                          lpLineCaps->dwDeviceClassesSize, GetDeviceClassArray());
  }
  return 0;
}

LONG CTSPILineConnection::GetLineDevStatus(LPLINEDEVSTATUS lpLineStatus) {
  if (lpLineStatus == nullptr) return LINEERR_INVALPOINTER;
  const DWORD dwVersion = GetNegotiatedVersion();
  const DWORD dwFixedSize = (dwVersion >= TAPIVER_20) ? kDevStatusSize20 : kDevStatusSize14;
  if (lpLineStatus->dwTotalSize < dwFixedSize) return LINEERR_STRUCTURETOOSMALL;
  // Addresses lock before the line.
  const DWORD dwAvailableMediaModes = CollectAvailableMediaModes();

  CSingleLock lock(GetSyncObject(), TRUE);
  m_LineStatus.dwAvailableMediaModes = dwAvailableMediaModes;
  // What TAPI keeps itself, from the caller's structure.
  m_LineStatus.dwTotalSize = lpLineStatus->dwTotalSize;
  m_LineStatus.dwNumOpens = lpLineStatus->dwNumOpens;
  m_LineStatus.dwOpenMediaModes = lpLineStatus->dwOpenMediaModes;
  if (dwVersion >= TAPIVER_20) {
    m_LineStatus.dwAppInfoSize = lpLineStatus->dwAppInfoSize;
    m_LineStatus.dwAppInfoOffset = lpLineStatus->dwAppInfoOffset;
  }
  m_LineStatus.dwNumCallCompletions = static_cast<DWORD>(m_lstCompletions.GetCount());

  std::vector<DWORD> modes;
  for (INT_PTR i = 0; i < m_arrTerminals.GetSize(); ++i) {
    modes.push_back(static_cast<const TERMINALINFO*>(m_arrTerminals[i])->dwMode);
  }
  LINEDEVSTATUS status = m_LineStatus;
  status.dwUsedSize = dwFixedSize;
  status.dwNeededSize = dwFixedSize;
  status.dwTerminalModesSize = status.dwTerminalModesOffset = 0;
  status.dwDevSpecificSize = status.dwDevSpecificOffset = 0;
  std::memcpy(lpLineStatus, &status, dwFixedSize);

  AppendPart(lpLineStatus, lpLineStatus->dwTerminalModesOffset, lpLineStatus->dwTerminalModesSize,
             modes);
  return 0;
}
