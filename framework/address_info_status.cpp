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

// Every variable part below goes in as one block, so that it counts once in dwNeededSize,
// fitting or not; offsets inside a block count from its start until it is placed.

// Adds the offset at which a block was placed to a relative offset that names something.
void PlaceOffset(BYTE* lpBlock, size_t nField, DWORD dwBlockOffset) {
  DWORD dw;
  std::memcpy(&dw, lpBlock + nField, sizeof(dw));
  dw += dwBlockOffset;
  std::memcpy(lpBlock + nField, &dw, sizeof(dw));
}

void AppendBytes(std::vector<BYTE>& block, const void* lpData, size_t cbData) {
  const auto* pBytes = static_cast<const BYTE*>(lpData);
  block.insert(block.end(), pBytes, pBytes + cbData);
}

// The LINEFORWARD entries, then the caller and destination texts they name (UTF-16, 4-aligned).
void AppendForwardList(LPLINEADDRESSSTATUS lpStatus, const std::vector<TSPIFORWARDINFO*>& arr) {
  if (arr.empty()) return;
  std::vector<BYTE> block(arr.size() * sizeof(LINEFORWARD), 0);
  std::vector<size_t> named;  // offset fields that name a text
  auto addText = [&](const CString& strText, size_t nEntry, size_t nSizeField,
                     size_t nOffsetField) {
    const std::vector<WCHAR> wide =
        strText.IsEmpty() ? std::vector<WCHAR>{} : VarStructText(strText);
    if (wide.empty()) return;
    block.resize(AlignUp(static_cast<DWORD>(block.size())), 0);
    const DWORD dwAt = static_cast<DWORD>(block.size());
    const DWORD dwSize = static_cast<DWORD>(wide.size() * sizeof(WCHAR));
    const size_t nBase = nEntry * sizeof(LINEFORWARD);
    std::memcpy(block.data() + nBase + nSizeField, &dwSize, sizeof(dwSize));
    std::memcpy(block.data() + nBase + nOffsetField, &dwAt, sizeof(dwAt));
    named.push_back(nBase + nOffsetField);
    AppendBytes(block, wide.data(), dwSize);
  };
  for (size_t i = 0; i < arr.size(); ++i) {
    LINEFORWARD entry{};
    entry.dwForwardMode = arr[i]->dwForwardMode;
    entry.dwDestCountryCode = arr[i]->dwDestCountry;
    std::memcpy(block.data() + i * sizeof(LINEFORWARD), &entry, sizeof(entry));
    addText(JoinNumbers(arr[i]->arrCallerAddress), i, offsetof(LINEFORWARD, dwCallerAddressSize),
            offsetof(LINEFORWARD, dwCallerAddressOffset));
    addText(JoinNumbers(arr[i]->arrDestAddress), i, offsetof(LINEFORWARD, dwDestAddressSize),
            offsetof(LINEFORWARD, dwDestAddressOffset));
  }
  if (!CopyIntoVarStruct(lpStatus, lpStatus->dwForwardOffset, lpStatus->dwForwardSize, block.data(),
                         static_cast<DWORD>(block.size()))) {
    return;
  }
  BYTE* lpPlaced = reinterpret_cast<BYTE*>(lpStatus) + lpStatus->dwForwardOffset;
  for (const size_t nField : named) PlaceOffset(lpPlaced, nField, lpStatus->dwForwardOffset);
}

// Each message padded with blanks to the entry's width (a longer one stays whole), in UTF-16
// with its NUL, one after the other.
void AppendCompletionMessages(LPLINEADDRESSCAPS lpCaps, const CStringArray& arrMessages,
                              DWORD dwEntrySize) {
  const int nChars = dwEntrySize >= 2 ? static_cast<int>((dwEntrySize - 2) / 2) : 0;
  std::vector<BYTE> block;
  for (INT_PTR i = 0; i < arrMessages.GetSize(); ++i) {
    CString strText = arrMessages[i];
    while (strText.GetLength() < nChars) strText += ' ';
    const std::vector<WCHAR> wide = VarStructText(strText);
    AppendBytes(block, wide.data(), wide.size() * sizeof(WCHAR));
  }
  if (block.empty()) return;
  CopyIntoVarStruct(lpCaps, lpCaps->dwCompletionMsgTextOffset, lpCaps->dwCompletionMsgTextSize,
                    block.data(), static_cast<DWORD>(block.size()));
}

// The LINECALLTREATMENTENTRY list as the derived class sized it, then the names it names as
// 8-bit text with their NULs, each 4-aligned. dwCallTreatmentListSize covers the list alone.
void AppendCallTreatments(LPLINEADDRESSCAPS lpCaps, const CMapDWordToString& mapTreatments,
                          DWORD dwListSize) {
  std::vector<BYTE> block(dwListSize, 0);
  std::vector<size_t> named;
  size_t nEntry = 0;
  for (POSITION pos = mapTreatments.GetStartPosition(); pos != nullptr;) {
    DWORD dwID = 0;
    CString strName;
    mapTreatments.GetNextAssoc(pos, dwID, strName);
    // Only as many entries as the list has room for.
    if ((nEntry + 1) * sizeof(LINECALLTREATMENTENTRY) > dwListSize) break;
    block.resize(AlignUp(static_cast<DWORD>(block.size())), 0);
    const DWORD dwNameSize = static_cast<DWORD>(strName.GetLength()) + 1;
    const LINECALLTREATMENTENTRY entry{dwID, dwNameSize, static_cast<DWORD>(block.size())};
    const size_t nAt = nEntry * sizeof(entry);
    std::memcpy(block.data() + nAt, &entry, sizeof(entry));
    named.push_back(nAt + offsetof(LINECALLTREATMENTENTRY, dwCallTreatmentNameOffset));
    AppendBytes(block, strName.GetString(), dwNameSize);
    ++nEntry;
  }
  if (block.empty()) return;
  DWORD dwOffset = 0, dwSize = 0;
  if (!CopyIntoVarStruct(lpCaps, dwOffset, dwSize, block.data(),
                         static_cast<DWORD>(block.size()))) {
    return;
  }
  lpCaps->dwCallTreatmentListOffset = dwOffset;
  lpCaps->dwCallTreatmentListSize = dwListSize;
  BYTE* lpPlaced = reinterpret_cast<BYTE*>(lpCaps) + dwOffset;
  for (const size_t nField : named) PlaceOffset(lpPlaced, nField, dwOffset);
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

  AppendForwardList(lpStatus, m_arrForward);
  if (!m_arrTerminalModes.empty()) {
    CopyIntoVarStruct(lpStatus, lpStatus->dwTerminalModesOffset, lpStatus->dwTerminalModesSize,
                      m_arrTerminalModes.data(),
                      static_cast<DWORD>(m_arrTerminalModes.size() * sizeof(DWORD)));
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
  const DWORD dwTreatmentListSize = caps.dwCallTreatmentListSize;
  caps.dwCompletionMsgTextSize = caps.dwCompletionMsgTextOffset = 0;
  caps.dwCallTreatmentListSize = 0;
  caps.dwNeededSize = dwFixed;
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
  if (caps.dwNumCompletionMessages > 0) {
    AppendCompletionMessages(lpCaps, m_arrCompletionMsgs, caps.dwCompletionMsgTextEntrySize);
  }
  if (dwFixed >= kCapsSize20) {
    if (caps.dwNumCallTreatments > 0) {
      AppendCallTreatments(lpCaps, m_mapCallTreatment, dwTreatmentListSize);
    }
    AppendClassNameList(lpCaps, lpCaps->dwDeviceClassesOffset, lpCaps->dwDeviceClassesSize,
                        strClasses);
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
