// CTSPIPhoneConnection: PHONECAPS, PHONESTATUS, PHONEBUTTONINFO and the display as TAPI reads
// them.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "framework/device_class.h"
#include "framework/phone_connection.h"
#include "framework/service_provider.h"
#include "framework/var_struct.h"
#include "platform/afxmt.h"
#include "platform/win32.h"

namespace {

// Fixed parts by TAPI version.
constexpr DWORD kCapsSize14 = offsetof(PHONECAPS, dwDeviceClassesSize);  // no device classes
constexpr DWORD kCapsSize20 = sizeof(PHONECAPS);
constexpr DWORD kStatusSize14 = offsetof(PHONESTATUS, dwPhoneFeatures);
constexpr DWORD kStatusSize20 = sizeof(PHONESTATUS);
constexpr DWORD kButtonInfoSize = sizeof(PHONEBUTTONINFO);
static_assert(kCapsSize14 == 144 && kStatusSize14 == 100 && kButtonInfoSize == 40);

// The text as UTF-16 with its NUL; empty when it cannot be converted.
std::vector<WCHAR> ToWide(const CString& strText) {
  const int cch = MultiByteToWideChar(CP_ACP, 0, strText, -1, nullptr, 0);
  if (cch < 1) return {};
  std::vector<WCHAR> wide(static_cast<size_t>(cch));
  if (MultiByteToWideChar(CP_ACP, 0, strText, -1, wide.data(), cch) != cch) return {};
  return wide;
}

// Appends the variable parts of one structure. Each part is one block, 4-byte aligned, written
// only when it fits; the needed size counts each part once, with its alignment, whether it fits
// or not, so that it equals dwUsedSize when everything fits.
class VarPartWriter {
 public:
  VarPartWriter(LPVOID lpStruct, DWORD dwFixedSize)
      : m_lpStruct(lpStruct), m_nNeeded(dwFixedSize) {}

  void Append(DWORD& dwOffset, DWORD& dwSize, LPCVOID lpData, size_t cbData) {
    if (cbData == 0) return;
    m_nNeeded = ((m_nNeeded + 3) & ~uint64_t{3}) + cbData;
    if (cbData <= 0xFFFFFFFF) {
      CopyIntoVarStruct(m_lpStruct, dwOffset, dwSize, lpData, static_cast<DWORD>(cbData));
    }
  }
  void Append(DWORD& dwOffset, DWORD& dwSize, const std::vector<WCHAR>& text) {
    Append(dwOffset, dwSize, text.data(), text.size() * sizeof(WCHAR));
  }
  // 8-bit text with its NUL; nothing for an empty text.
  void AppendAnsi(DWORD& dwOffset, DWORD& dwSize, const CString& strText) {
    if (!strText.IsEmpty())
      Append(dwOffset, dwSize, static_cast<LPCSTR>(strText),
             static_cast<size_t>(strText.GetLength()) + 1);
  }
  DWORD Needed() const { return static_cast<DWORD>(std::min<uint64_t>(m_nNeeded, 0xFFFFFFFF)); }

 private:
  LPVOID m_lpStruct;
  uint64_t m_nNeeded;
};

void ClearVarParts(PHONECAPS& caps) {
  caps.dwProviderInfoSize = caps.dwProviderInfoOffset = 0;
  caps.dwPhoneInfoSize = caps.dwPhoneInfoOffset = 0;
  caps.dwPhoneNameSize = caps.dwPhoneNameOffset = 0;
  caps.dwButtonModesSize = caps.dwButtonModesOffset = 0;
  caps.dwButtonFunctionsSize = caps.dwButtonFunctionsOffset = 0;
  caps.dwLampModesSize = caps.dwLampModesOffset = 0;
  caps.dwSetDataSize = caps.dwSetDataOffset = 0;
  caps.dwGetDataSize = caps.dwGetDataOffset = 0;
  caps.dwDevSpecificSize = caps.dwDevSpecificOffset = 0;
  caps.dwDeviceClassesSize = caps.dwDeviceClassesOffset = 0;
}

std::vector<DWORD> ToVector(const CDWordArray& arr) {
  std::vector<DWORD> values;
  for (INT_PTR i = 0; i < arr.GetSize(); ++i) values.push_back(arr[i]);
  return values;
}

}  // namespace

LONG CTSPIPhoneConnection::GetDevCaps(DWORD dwTSPIVersion, DWORD /*dwExtVersion*/,
                                      LPPHONECAPS lpPhoneCaps) {
  if (lpPhoneCaps == nullptr) return PHONEERR_INVALPOINTER;
  const DWORD dwVersion = std::min(dwTSPIVersion, GetNegotiatedVersion());
  const DWORD dwFixedSize = (dwVersion >= TAPIVER_20) ? kCapsSize20 : kCapsSize14;
  // The fixed part alone would run past the caller's structure.
  if (lpPhoneCaps->dwTotalSize < dwFixedSize) return PHONEERR_STRUCTURETOOSMALL;
  CServiceProvider* pSP = GetSP();
  const CString strProvider = (pSP != nullptr) ? pSP->GetProviderName() : "";
  const CString strName = GetName();
  const CString strInfo = GetSwitchInfo();

  CSingleLock lock(GetSyncObject(), TRUE);
  PHONECAPS caps = m_PhoneCaps;
  ClearVarParts(caps);
  caps.dwTotalSize = lpPhoneCaps->dwTotalSize;
  caps.dwUsedSize = dwFixedSize;
  caps.dwNeededSize = dwFixedSize;
  std::memcpy(lpPhoneCaps, &caps, dwFixedSize);

  VarPartWriter writer(lpPhoneCaps, dwFixedSize);
  if (!strName.IsEmpty()) {
    writer.Append(lpPhoneCaps->dwPhoneNameOffset, lpPhoneCaps->dwPhoneNameSize, ToWide(strName));
  }
  if (!strInfo.IsEmpty()) {
    writer.Append(lpPhoneCaps->dwPhoneInfoOffset, lpPhoneCaps->dwPhoneInfoSize, ToWide(strInfo));
  }
  if (!strProvider.IsEmpty()) {
    writer.Append(lpPhoneCaps->dwProviderInfoOffset, lpPhoneCaps->dwProviderInfoSize,
                  ToWide(strProvider));
  }

  // One DWORD per button, in button order.
  std::vector<DWORD> modes, functions, lampModes;
  for (INT_PTR i = 0; i < m_arrButtonInfo.GetSize(); ++i) {
    const CPhoneButtonInfo* pButton = m_arrButtonInfo.GetButton(static_cast<DWORD>(i));
    modes.push_back(pButton->dwButtonMode);
    functions.push_back(pButton->dwFunction);
    lampModes.push_back(pButton->dwAvailLampModes);
  }
  const size_t cbButtons = modes.size() * sizeof(DWORD);
  writer.Append(lpPhoneCaps->dwButtonModesOffset, lpPhoneCaps->dwButtonModesSize, modes.data(),
                cbButtons);
  writer.Append(lpPhoneCaps->dwButtonFunctionsOffset, lpPhoneCaps->dwButtonFunctionsSize,
                functions.data(), cbButtons);
  writer.Append(lpPhoneCaps->dwLampModesOffset, lpPhoneCaps->dwLampModesSize, lampModes.data(),
                cbButtons);
  const std::vector<DWORD> setSizes = ToVector(m_arrSetDataSizes);
  const std::vector<DWORD> getSizes = ToVector(m_arrGetDataSizes);
  writer.Append(lpPhoneCaps->dwSetDataOffset, lpPhoneCaps->dwSetDataSize, setSizes.data(),
                setSizes.size() * sizeof(DWORD));
  writer.Append(lpPhoneCaps->dwGetDataOffset, lpPhoneCaps->dwGetDataSize, getSizes.data(),
                getSizes.size() * sizeof(DWORD));

  // Device classes: NUL-separated names ending with a double NUL (the fields exist from 2.0).
  if (dwVersion >= TAPIVER_20) {
    CString strClasses;
    CADObArray& arrClasses = GetDeviceClassArray();
    for (INT_PTR i = 0; i < arrClasses.GetSize(); ++i) {
      strClasses += static_cast<DEVICECLASSINFO*>(arrClasses[i])->strName;
      strClasses += '~';
    }
    if (!strClasses.IsEmpty()) {
      std::vector<WCHAR> wide = ToWide(strClasses);
      std::replace(wide.begin(), wide.end(), static_cast<WCHAR>('~'), static_cast<WCHAR>(0));
      writer.Append(lpPhoneCaps->dwDeviceClassesOffset, lpPhoneCaps->dwDeviceClassesSize, wide);
    }
  }
  lpPhoneCaps->dwNeededSize = writer.Needed();
  return 0;
}

LONG CTSPIPhoneConnection::GetStatus(LPPHONESTATUS lpPhoneStatus) {
  if (lpPhoneStatus == nullptr) return PHONEERR_INVALPOINTER;
  const DWORD dwFixedSize = (GetNegotiatedVersion() >= TAPIVER_20) ? kStatusSize20 : kStatusSize14;
  if (lpPhoneStatus->dwTotalSize < dwFixedSize) return PHONEERR_STRUCTURETOOSMALL;

  CSingleLock lock(GetSyncObject(), TRUE);
  // What TAPI keeps itself, from the caller's structure.
  m_PhoneStatus.dwTotalSize = lpPhoneStatus->dwTotalSize;
  m_PhoneStatus.dwNumOwners = lpPhoneStatus->dwNumOwners;
  m_PhoneStatus.dwNumMonitors = lpPhoneStatus->dwNumMonitors;
  m_PhoneStatus.dwOwnerNameSize = lpPhoneStatus->dwOwnerNameSize;
  m_PhoneStatus.dwOwnerNameOffset = lpPhoneStatus->dwOwnerNameOffset;
  if (m_PhoneStatus.dwPhoneFeatures == 0) {
    m_PhoneStatus.dwPhoneFeatures = m_PhoneCaps.dwPhoneFeatures;
  }

  std::vector<DWORD> lampModes;
  for (INT_PTR i = 0; i < m_arrButtonInfo.GetSize(); ++i) {
    lampModes.push_back(m_arrButtonInfo.GetButton(static_cast<DWORD>(i))->dwLampMode);
  }
  PHONESTATUS status = m_PhoneStatus;
  status.dwUsedSize = dwFixedSize;
  status.dwNeededSize = dwFixedSize;
  status.dwDisplaySize = status.dwDisplayOffset = 0;
  status.dwLampModesSize = status.dwLampModesOffset = 0;
  status.dwDevSpecificSize = status.dwDevSpecificOffset = 0;
  std::memcpy(lpPhoneStatus, &status, dwFixedSize);

  VarPartWriter writer(lpPhoneStatus, dwFixedSize);
  writer.AppendAnsi(lpPhoneStatus->dwDisplayOffset, lpPhoneStatus->dwDisplaySize, GetDisplayText());
  writer.Append(lpPhoneStatus->dwLampModesOffset, lpPhoneStatus->dwLampModesSize, lampModes.data(),
                lampModes.size() * sizeof(DWORD));
  lpPhoneStatus->dwNeededSize = writer.Needed();
  return 0;
}

LONG CTSPIPhoneConnection::GetButtonInfo(DWORD dwButtonID, LPPHONEBUTTONINFO lpButtonInfo) {
  if (!HasFeature(PHONEFEATURE_GETBUTTONINFO)) return PHONEERR_OPERATIONUNAVAIL;
  if (lpButtonInfo == nullptr) return PHONEERR_INVALPOINTER;
  CSingleLock lock(GetSyncObject(), TRUE);
  const CPhoneButtonInfo* pButton = GetButton(dwButtonID);
  if (pButton == nullptr) return PHONEERR_INVALBUTTONLAMPID;
  if (lpButtonInfo->dwTotalSize < kButtonInfoSize) return PHONEERR_STRUCTURETOOSMALL;

  const DWORD dwTotalSize = lpButtonInfo->dwTotalSize;
  std::memset(lpButtonInfo, 0, kButtonInfoSize);
  lpButtonInfo->dwTotalSize = dwTotalSize;
  lpButtonInfo->dwUsedSize = kButtonInfoSize;
  lpButtonInfo->dwButtonMode = pButton->dwButtonMode;
  lpButtonInfo->dwButtonFunction = pButton->dwFunction;
  lpButtonInfo->dwButtonState = pButton->dwButtonState;
  VarPartWriter writer(lpButtonInfo, kButtonInfoSize);
  if (!pButton->strDescription.IsEmpty()) {
    writer.Append(lpButtonInfo->dwButtonTextOffset, lpButtonInfo->dwButtonTextSize,
                  ToWide(pButton->strDescription));
  }
  lpButtonInfo->dwNeededSize = writer.Needed();
  return 0;
}

LONG CTSPIPhoneConnection::GetDisplay(LPVARSTRING lpDisplay) {
  if (!HasFeature(PHONEFEATURE_GETDISPLAY)) return PHONEERR_OPERATIONUNAVAIL;
  if (lpDisplay == nullptr) return PHONEERR_INVALPOINTER;
  if (lpDisplay->dwTotalSize < sizeof(VARSTRING)) return PHONEERR_STRUCTURETOOSMALL;
  const CString strText = GetDisplayText();
  lpDisplay->dwStringFormat = STRINGFORMAT_ASCII;
  lpDisplay->dwUsedSize = sizeof(VARSTRING);
  lpDisplay->dwNeededSize = sizeof(VARSTRING);
  lpDisplay->dwStringSize = lpDisplay->dwStringOffset = 0;
  VarPartWriter writer(lpDisplay, sizeof(VARSTRING));
  writer.AppendAnsi(lpDisplay->dwStringOffset, lpDisplay->dwStringSize, strText);
  lpDisplay->dwNeededSize = writer.Needed();
  return 0;
}
