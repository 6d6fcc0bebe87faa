// CTSPIAddressInfo: LINEADDRESSCAPS and LINEADDRESSSTATUS for TAPI, lineGetID, forwarding
// entries, terminals and media control.
#include <algorithm>
#include <cstring>
#include <vector>

#include "framework/address_info.h"
#include "framework/call_appearance.h"
#include "framework/device_class.h"
#include "framework/line_connection.h"
#include "framework/media_records.h"
#include "framework/request_records.h"
#include "framework/service_provider.h"
#include "framework/var_struct.h"
#include "platform/afxmt.h"

namespace {

constexpr DWORD kCapsSize20 = 228;
constexpr DWORD kCapsSize14 = 180;
constexpr DWORD kCapsSize13 = 176;

DWORD AlignUp(DWORD dw) {
  return (dw + 3) & ~3u;
}

CString JoinNumbers(const CADObArray& arr) {
  CServiceProvider* pSP = GetSP();
  CString strOut;
  for (INT_PTR i = 0; i < arr.GetSize(); ++i) {
    const auto* pInfo = static_cast<const DIALINFO*>(arr[i]);
    if (i > 0) strOut += "\r\n";
    strOut += (pSP != nullptr) ? pSP->FilterDialChars(pInfo->strNumber, nullptr) : pInfo->strNumber;
  }
  return strOut;
}

}  // namespace

LONG CTSPIAddressInfo::GetAddressStatus(LPLINEADDRESSSTATUS lpStatus) {
  if (lpStatus == nullptr) return LINEERR_INVALPOINTER;
  if (lpStatus->dwTotalSize < sizeof(LINEADDRESSSTATUS)) return LINEERR_STRUCTURETOOSMALL;
  CSingleLock lock(GetSyncObject(), TRUE);
  m_AddressStatus.dwTotalSize = lpStatus->dwTotalSize;
  m_AddressStatus.dwNeededSize = m_AddressStatus.dwUsedSize = sizeof(LINEADDRESSSTATUS);
  m_AddressStatus.dwForwardNumEntries = static_cast<DWORD>(m_arrForward.size());
  LINEADDRESSSTATUS copy = m_AddressStatus;
  copy.dwForwardSize = copy.dwForwardOffset = 0;
  copy.dwTerminalModesSize = copy.dwTerminalModesOffset = 0;
  copy.dwDevSpecificSize = copy.dwDevSpecificOffset = 0;
  std::memcpy(lpStatus, &copy, sizeof(copy));

  if (!m_arrForward.empty()) {
    DWORD dwSum = 0;
    for (TSPIFORWARDINFO* pInfo : m_arrForward) dwSum += pInfo->dwTotalSize;
    lpStatus->dwNeededSize += dwSum;
    const DWORD dwEntries = static_cast<DWORD>(m_arrForward.size() * sizeof(LINEFORWARD));
    if (lpStatus->dwTotalSize >= lpStatus->dwUsedSize + dwSum &&
        lpStatus->dwTotalSize >= lpStatus->dwUsedSize + dwEntries) {
      lpStatus->dwForwardSize = dwSum;
      lpStatus->dwForwardOffset = lpStatus->dwUsedSize;
      const DWORD dwFirst = lpStatus->dwUsedSize;
      auto* lpBytes = reinterpret_cast<BYTE*>(lpStatus);
      // Each entry is cleared before it is filled: TAPI's buffer holds anything.
      std::memset(lpBytes + dwFirst, 0, dwEntries);
      lpStatus->dwUsedSize += dwEntries;
      for (size_t i = 0; i < m_arrForward.size(); ++i) {
        const TSPIFORWARDINFO* pInfo = m_arrForward[i];
        LINEFORWARD entry{};
        entry.dwForwardMode = pInfo->dwForwardMode;
        entry.dwDestCountryCode = pInfo->dwDestCountry;
        const CString strCaller = JoinNumbers(pInfo->arrCallerAddress);
        const CString strDest = JoinNumbers(pInfo->arrDestAddress);
        if (!strCaller.IsEmpty()) {
          CopyStringIntoVarStruct(lpStatus, entry.dwCallerAddressOffset, entry.dwCallerAddressSize,
                                  strCaller);
        }
        if (!strDest.IsEmpty()) {
          CopyStringIntoVarStruct(lpStatus, entry.dwDestAddressOffset, entry.dwDestAddressSize,
                                  strDest);
        }
        std::memcpy(lpBytes + dwFirst + i * sizeof(LINEFORWARD), &entry, sizeof(entry));
      }
    }
  }
  if (!m_arrTerminalModes.empty()) {
    const DWORD dwBytes = static_cast<DWORD>(m_arrTerminalModes.size() * sizeof(DWORD));
    lpStatus->dwNeededSize += dwBytes;
    if (lpStatus->dwTotalSize >= AlignUp(lpStatus->dwUsedSize) + dwBytes) {
      CopyIntoVarStruct(lpStatus, lpStatus->dwTerminalModesOffset, lpStatus->dwTerminalModesSize,
                        m_arrTerminalModes.data(), dwBytes);
    }
  }
  return 0;
}

LONG CTSPIAddressInfo::GetAddressCaps(DWORD dwTSPIVersion, DWORD /*dwExtVersion*/,
                                      LPLINEADDRESSCAPS lpCaps) {
  if (lpCaps == nullptr) return LINEERR_INVALPOINTER;
  DWORD dwVersion = dwTSPIVersion;
  if (m_pLine != nullptr) dwVersion = std::min(dwVersion, m_pLine->GetNegotiatedVersion());
  const DWORD dwFixed = (dwVersion >= TAPIVER_20)   ? kCapsSize20
                        : (dwVersion >= TAPIVER_14) ? kCapsSize14
                                                    : kCapsSize13;
  if (lpCaps->dwTotalSize < dwFixed) return LINEERR_STRUCTURETOOSMALL;
  CString strClasses;
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    for (INT_PTR i = 0; i < m_arrDeviceClass.GetSize(); ++i) {
      strClasses += static_cast<DEVICECLASSINFO*>(m_arrDeviceClass[i])->strName;
      strClasses += "~";
    }
  }
  if (m_pLine != nullptr) {
    CSingleLock lockLine(m_pLine->GetSyncObject(), TRUE);
    CADObArray& arr = m_pLine->GetDeviceClassArray();
    for (INT_PTR i = 0; i < arr.GetSize(); ++i) {
      const CString& strName = static_cast<DEVICECLASSINFO*>(arr[i])->strName;
      if (strClasses.Find(strName) < 0) {
        strClasses += strName;
        strClasses += "~";
      }
    }
  }
  if (!strClasses.IsEmpty()) strClasses += "~";

  CSingleLock lock(GetSyncObject(), TRUE);
  CString strAddress = m_strAddress;
  if (strAddress.IsEmpty()) strAddress.Format("Address %ld", static_cast<long>(m_dwAddressID));
  LINEADDRESSCAPS caps = m_AddressCaps;
  caps.dwTotalSize = lpCaps->dwTotalSize;
  caps.dwLineDeviceID = (m_pLine != nullptr) ? m_pLine->GetDeviceID() : 0;
  caps.dwAddressSize = caps.dwAddressOffset = caps.dwDevSpecificSize = 0;
  caps.dwDevSpecificOffset = caps.dwCompletionMsgTextOffset = 0;
  caps.dwCallTreatmentListOffset = caps.dwDeviceClassesSize = caps.dwDeviceClassesOffset = 0;
  // The call-treatment names: each takes its length + 1, rounded up to 4.
  std::vector<std::pair<DWORD, CString>> treatments;
  DWORD dwNameSpace = 0;
  for (POSITION pos = m_mapCallTreatment.GetStartPosition(); pos != nullptr;) {
    DWORD dwID = 0;
    CString strName;
    m_mapCallTreatment.GetNextAssoc(pos, dwID, strName);
    dwNameSpace += AlignUp(static_cast<DWORD>(strName.GetLength()) + 1);
    treatments.emplace_back(dwID, strName);
  }
  caps.dwNeededSize = kCapsSize20 + strAddress.GetLength() + 1 +
                      (strClasses.IsEmpty() ? 0 : strClasses.GetLength() + 1) + dwNameSpace +
                      caps.dwCallTreatmentListSize + caps.dwCompletionMsgTextSize;
  const DWORD dwMsgTextSize = caps.dwCompletionMsgTextSize;
  const DWORD dwTreatmentListSize = caps.dwCallTreatmentListSize;
  caps.dwCompletionMsgTextSize = caps.dwCallTreatmentListSize = 0;  // set below when written
  caps.dwUsedSize = dwFixed;
  if (dwVersion < TAPIVER_20) {
    caps.dwAddrCapFlags &= 0xC07FFFFF;
    caps.dwAddressFeatures &= ~0x3F00u;
    caps.dwCallFeatures &= 0x1FFFFFFF;
    caps.dwCallInfoStates &= 0x8FFFFFFF;
    caps.dwDisconnectModes &= ~0x7E000u;
  }
  if (dwVersion < TAPIVER_14) {
    caps.dwAddressStates &= ~0x100u;
    caps.dwCallFeatures &= ~0x10000000u;
    caps.dwDisconnectModes &= ~0x1000u;
    caps.dwForwardModes &= ~0x30000u;
  }
  std::memcpy(lpCaps, &caps, dwFixed);
  CopyStringIntoVarStruct(lpCaps, lpCaps->dwAddressOffset, lpCaps->dwAddressSize, strAddress);
  if (caps.dwNumCompletionMessages > 0 &&
      lpCaps->dwTotalSize >= lpCaps->dwUsedSize + dwMsgTextSize) {
    // Each message fills its entry: blanks up to the entry's width (a longer one stays whole).
    const DWORD dwEntry = caps.dwCompletionMsgTextEntrySize;
    const int nChars = dwEntry >= 2 ? static_cast<int>((dwEntry - 2) / 2) : 0;
    for (INT_PTR i = 0; i < m_arrCompletionMsgs.GetSize(); ++i) {
      CString strText = m_arrCompletionMsgs[i];
      while (strText.GetLength() < nChars) strText += ' ';
      CopyStringIntoVarStruct(lpCaps, lpCaps->dwCompletionMsgTextOffset,
                              lpCaps->dwCompletionMsgTextSize, strText);
    }
  }
  if (dwFixed >= kCapsSize20 && caps.dwNumCallTreatments > 0) {
    lpCaps->dwUsedSize = std::min(AlignUp(lpCaps->dwUsedSize), lpCaps->dwTotalSize);
    const DWORD dwUsed = lpCaps->dwUsedSize;
    if (lpCaps->dwTotalSize >= dwUsed + dwTreatmentListSize + dwNameSpace) {
      auto* lpBytes = reinterpret_cast<BYTE*>(lpCaps);
      lpCaps->dwCallTreatmentListOffset = dwUsed;
      lpCaps->dwCallTreatmentListSize = dwTreatmentListSize;
      DWORD dwAt = dwUsed + dwTreatmentListSize;
      // Only as many entries as the list the derived class sized has room for.
      const size_t nEntries =
          std::min<size_t>(treatments.size(), dwTreatmentListSize / sizeof(LINECALLTREATMENTENTRY));
      for (size_t i = 0; i < nEntries; ++i) {
        const CString& strName = treatments[i].second;
        const DWORD dwNameSize = static_cast<DWORD>(strName.GetLength()) + 1;
        const LINECALLTREATMENTENTRY entry{treatments[i].first, dwNameSize, dwAt};
        std::memcpy(lpBytes + dwUsed + i * sizeof(entry), &entry, sizeof(entry));
        std::memcpy(lpBytes + dwAt, strName.GetString(), dwNameSize);
        dwAt += AlignUp(dwNameSize);
      }
      lpCaps->dwUsedSize = std::min(dwAt, lpCaps->dwTotalSize);
    }
  }
  if (dwFixed >= kCapsSize20 && !strClasses.IsEmpty() &&
      lpCaps->dwTotalSize >= AlignUp(lpCaps->dwUsedSize) + 2 * (strClasses.GetLength() + 1)) {
    if (CopyStringIntoVarStruct(lpCaps, lpCaps->dwDeviceClassesOffset, lpCaps->dwDeviceClassesSize,
                                strClasses)) {
      auto* lpText = reinterpret_cast<BYTE*>(lpCaps) + lpCaps->dwDeviceClassesOffset;
      for (DWORD i = 0; i + 1 < lpCaps->dwDeviceClassesSize; i += 2) {
        if (lpText[i] == '~' && lpText[i + 1] == 0) lpText[i] = 0;
      }
    }
  }
  return 0;
}

LONG CTSPIAddressInfo::GetID(LPCSTR pszDeviceClass, LPVARSTRING lpDeviceID, HANDLE hTargetProcess) {
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    if (DEVICECLASSINFO* pClass =
            CServiceProvider::FindDeviceClass(m_arrDeviceClass, pszDeviceClass)) {
      return CServiceProvider::FillVarStringFromDeviceClass(pClass, lpDeviceID, hTargetProcess);
    }
  }
  if (m_pLine == nullptr) return LINEERR_INVALDEVICECLASS;
  return m_pLine->GetID(pszDeviceClass, lpDeviceID, hTargetProcess);
}

// --- Terminals and media control ---

void CTSPIAddressInfo::SetTerminalModes(int nTerminal, DWORD dwModes, BOOL bOn) {
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    if (nTerminal >= 0 && nTerminal < static_cast<int>(m_arrTerminalModes.size())) {
      DWORD& dwEntry = m_arrTerminalModes[static_cast<size_t>(nTerminal)];
      dwEntry = bOn ? (dwEntry | dwModes) : (dwEntry & ~dwModes);
    }
  }
  ReportAddressState(LINEADDRESSSTATE_TERMINALS);
  for (CTSPICallAppearance* pCall : SnapshotCalls()) {
    pCall->SetTerminalModes(nTerminal, dwModes, bOn);
    pCall->Release();
  }
}

void CTSPIAddressInfo::UpdateTerminal(BOOL bAdd, int nTerminal, DWORD dwModes) {
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    if (bAdd) {
      m_arrTerminalModes.push_back(dwModes);
    } else if (nTerminal >= 0 && nTerminal < static_cast<int>(m_arrTerminalModes.size())) {
      m_arrTerminalModes.erase(m_arrTerminalModes.begin() + nTerminal);
    }
  }
  ReportAddressState(LINEADDRESSSTATE_TERMINALS);
  for (CTSPICallAppearance* pCall : SnapshotCalls()) {
    pCall->UpdateTerminal(bAdd, nTerminal, dwModes);
    pCall->Release();
  }
}

void CTSPIAddressInfo::SetMediaControl(TSPIMEDIACONTROL* pMediaControl) {
  TSPIMEDIACONTROL* pOld = nullptr;
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    if (m_pMediaControl == pMediaControl) return;
    if (pMediaControl != nullptr) pMediaControl->AddRef();
    pOld = m_pMediaControl;
    m_pMediaControl = pMediaControl;
  }
  if (pOld != nullptr) pOld->Release();
  for (CTSPICallAppearance* pCall : SnapshotCalls()) {
    pCall->SetMediaControl(pMediaControl);
    pCall->Release();
  }
}

TSPIMEDIACONTROL* CTSPIAddressInfo::GetMediaControl() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_pMediaControl;
}

// --- Forwarding ---

int CTSPIAddressInfo::AddForwardEntry(DWORD dwForwardMode, LPCSTR pszCaller, LPCSTR pszDestination,
                                      DWORD dwDestCountry) {
  if (dwForwardMode == 0) {
    ClearForwardInfo();
    ReportAddressState(LINEADDRESSSTATE_FORWARD);
    return -1;
  }
  TSPIFORWARDINFO* pInfo = nullptr;
  try {
    pInfo = new TSPIFORWARDINFO;
  } catch (const std::bad_alloc&) {
    return -1;
  }
  pInfo->dwForwardMode = dwForwardMode;
  pInfo->dwDestCountry = dwDestCountry;
  CServiceProvider* pSP = GetSP();
  if (pSP != nullptr && pszCaller != nullptr && *pszCaller != '\0') {
    pSP->ParseDialableAddressList(m_pLine, this, pszCaller, pInfo->arrCallerAddress, dwDestCountry);
  }
  if (pSP != nullptr && pszDestination != nullptr && *pszDestination != '\0') {
    pSP->ParseDialableAddressList(m_pLine, this, pszDestination, pInfo->arrDestAddress,
                                  dwDestCountry);
  }
  DWORD dwSize = sizeof(LINEFORWARD);
  auto count = [&](const CADObArray& arr) {
    for (INT_PTR i = 0; i < arr.GetSize(); ++i) {
      const auto* pEntry = static_cast<const DIALINFO*>(arr[i]);
      if (pEntry->strNumber.IsEmpty()) continue;
      dwSize += pEntry->strNumber.GetLength() + (i == 0 ? 1 : 2);
    }
  };
  count(pInfo->arrCallerAddress);
  count(pInfo->arrDestAddress);
  pInfo->dwTotalSize = AlignUp(dwSize);
  int nIndex = 0;
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    m_arrForward.push_back(pInfo);
    nIndex = static_cast<int>(m_arrForward.size()) - 1;
  }
  ReportAddressState(LINEADDRESSSTATE_FORWARD);
  return nIndex;
}

void CTSPIAddressInfo::ClearForwardInfo() {
  std::vector<TSPIFORWARDINFO*> entries;
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    entries.swap(m_arrForward);
  }
  for (TSPIFORWARDINFO* pInfo : entries) pInfo->Release();
}

INT_PTR CTSPIAddressInfo::GetForwardEntryCount() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return static_cast<INT_PTR>(m_arrForward.size());
}

CString CTSPIAddressInfo::GetCallTreatmentName(DWORD dwCallTreatment) const {
  CSingleLock lock(GetSyncObject(), TRUE);
  CString strName;
  m_mapCallTreatment.Lookup(dwCallTreatment, strName);
  return strName;
}
