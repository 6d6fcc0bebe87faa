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

// Appends a block as one variable part; the helper counts it in dwNeededSize.
void AppendPart(LPVOID lpStruct, DWORD& dwOffset, DWORD& dwSize, LPCVOID lpData, size_t cbData) {
  if (cbData == 0 || cbData > 0xFFFFFFFF) return;
  CopyIntoVarStruct(lpStruct, dwOffset, dwSize, lpData, static_cast<DWORD>(cbData));
}
// The phone's display goes out as 8-bit text with its NUL, not UTF-16; nothing when empty.
void AppendAnsiPart(LPVOID lpStruct, DWORD& dwOffset, DWORD& dwSize, const CString& strText) {
  if (strText.IsEmpty()) return;
  AppendPart(lpStruct, dwOffset, dwSize, static_cast<LPCSTR>(strText),
             static_cast<size_t>(strText.GetLength()) + 1);
}

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

  if (!strName.IsEmpty()) {
    CopyStringIntoVarStruct(lpPhoneCaps, lpPhoneCaps->dwPhoneNameOffset,
                            lpPhoneCaps->dwPhoneNameSize, strName);
  }
  if (!strInfo.IsEmpty()) {
    CopyStringIntoVarStruct(lpPhoneCaps, lpPhoneCaps->dwPhoneInfoOffset,
                            lpPhoneCaps->dwPhoneInfoSize, strInfo);
  }
  if (!strProvider.IsEmpty()) {
    CopyStringIntoVarStruct(lpPhoneCaps, lpPhoneCaps->dwProviderInfoOffset,
                            lpPhoneCaps->dwProviderInfoSize, strProvider);
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
  AppendPart(lpPhoneCaps, lpPhoneCaps->dwButtonModesOffset, lpPhoneCaps->dwButtonModesSize,
             modes.data(), cbButtons);
  AppendPart(lpPhoneCaps, lpPhoneCaps->dwButtonFunctionsOffset, lpPhoneCaps->dwButtonFunctionsSize,
             functions.data(), cbButtons);
  AppendPart(lpPhoneCaps, lpPhoneCaps->dwLampModesOffset, lpPhoneCaps->dwLampModesSize,
             lampModes.data(), cbButtons);
  const std::vector<DWORD> setSizes = ToVector(m_arrSetDataSizes);
  const std::vector<DWORD> getSizes = ToVector(m_arrGetDataSizes);
  AppendPart(lpPhoneCaps, lpPhoneCaps->dwSetDataOffset, lpPhoneCaps->dwSetDataSize, setSizes.data(),
             setSizes.size() * sizeof(DWORD));
  AppendPart(lpPhoneCaps, lpPhoneCaps->dwGetDataOffset, lpPhoneCaps->dwGetDataSize, getSizes.data(),
             getSizes.size() * sizeof(DWORD));

  // Device classes: NUL-separated names ending with a double NUL (the fields exist from 2.0).
  if (dwVersion >= TAPIVER_20) {
    AppendDeviceClassList(lpPhoneCaps, lpPhoneCaps->dwDeviceClassesOffset,
                          lpPhoneCaps->dwDeviceClassesSize, GetDeviceClassArray());
  }
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

  AppendAnsiPart(lpPhoneStatus, lpPhoneStatus->dwDisplayOffset, lpPhoneStatus->dwDisplaySize,
                 GetDisplayText());
  AppendPart(lpPhoneStatus, lpPhoneStatus->dwLampModesOffset, lpPhoneStatus->dwLampModesSize,
             lampModes.data(), lampModes.size() * sizeof(DWORD));
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
  lpButtonInfo->dwNeededSize = kButtonInfoSize;
  if (!pButton->strDescription.IsEmpty()) {
    CopyStringIntoVarStruct(lpButtonInfo, lpButtonInfo->dwButtonTextOffset,
                            lpButtonInfo->dwButtonTextSize, pButton->strDescription);
  }
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
  AppendAnsiPart(lpDisplay, lpDisplay->dwStringOffset, lpDisplay->dwStringSize, strText);
  return 0;
}
