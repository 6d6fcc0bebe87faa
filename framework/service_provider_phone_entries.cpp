// The provider's phone request entries: each passes the phone's operation the arguments TAPI gave,
// packed into a request record where the operation queues a request. A record belongs to the
// request once the operation accepted it; a refused one is deleted here (GetData takes its
// record in every case).
#include <cstring>
#include <memory>
#include <new>

#include "framework/phone_connection.h"
#include "framework/phone_records.h"
#include "framework/service_provider.h"

namespace {

// Hands the record to the phone operation; the record stays alive only when it was accepted.
// It is let go before the call: once queued it is the request's, even when the call throws
// afterwards (a start that throws), so a throw before queueing leaves it to leak.
template <typename TRecord, typename TOperation>
LONG Submit(std::unique_ptr<TRecord> record, TOperation operation) {
  TRecord* pRecord = record.release();
  const LONG lResult = operation(pRecord);
  if (lResult < 0) delete pRecord;  // refused: still ours
  return lResult;
}

// A copy of TAPI's bytes from AllocBuffer; NULL without memory.
LPVOID CopyBuffer(LPCVOID lpData, DWORD dwSize) {
  LPVOID lpCopy = CServiceProvider::AllocBuffer(dwSize);
  if (lpCopy != nullptr) std::memcpy(lpCopy, lpData, dwSize);
  return lpCopy;
}

// The button text of a PHONEBUTTONINFO as 8-bit text up to its NUL, read only inside both the
// text's own size and the structure.
CString ButtonText(const PHONEBUTTONINFO* lpButtonInfo) {
  const DWORD dwOffset = lpButtonInfo->dwButtonTextOffset;
  const DWORD dwSize = lpButtonInfo->dwButtonTextSize;
  if (dwOffset == 0 || dwSize == 0) return CString();
  if (dwOffset > lpButtonInfo->dwTotalSize || dwSize > lpButtonInfo->dwTotalSize - dwOffset) {
    return CString();
  }
  const char* pText = reinterpret_cast<const char*>(lpButtonInfo) + dwOffset;
  const auto* pEnd = static_cast<const char*>(std::memchr(pText, '\0', dwSize));
  return CString(pText, static_cast<int>(pEnd != nullptr ? pEnd - pText : dwSize));
}

}  // namespace

// --- Entries that answer at once ---

LONG CServiceProvider::phoneOpen(CTSPIPhoneConnection* pPhone, HTAPIPHONE htPhone,
                                 LPHDRVPHONE lphdPhone, DWORD dwTSPIVersion,
                                 PHONEEVENT lpfnEventProc) {
  if (pPhone == nullptr) return PHONEERR_BADDEVICEID;
  if (lphdPhone == nullptr) return PHONEERR_INVALPOINTER;
  const LONG lResult = pPhone->OpenPhone(htPhone, lpfnEventProc, dwTSPIVersion);
  if (lResult >= 0) *lphdPhone = reinterpret_cast<HDRVPHONE>(pPhone);
  return lResult;
}

LONG CServiceProvider::phoneClose(CTSPIPhoneConnection* pPhone) {
  if (pPhone == nullptr) return PHONEERR_INVALPHONEHANDLE;
  return pPhone->ClosePhone();
}

LONG CServiceProvider::phoneDevSpecific(CTSPIPhoneConnection* pPhone, DRV_REQUESTID dwRequestID,
                                        LPVOID lpParams, DWORD dwSize) {
  if (pPhone == nullptr) return PHONEERR_INVALPHONEHANDLE;
  return pPhone->DevSpecific(dwRequestID, lpParams, dwSize);
}

LONG CServiceProvider::phoneGetButtonInfo(CTSPIPhoneConnection* pPhone, DWORD dwButtonLampID,
                                          LPPHONEBUTTONINFO lpButtonInfo) {
  if (pPhone == nullptr) return PHONEERR_INVALPHONEHANDLE;
  return pPhone->GetButtonInfo(dwButtonLampID, lpButtonInfo);
}

LONG CServiceProvider::phoneGetDevCaps(CTSPIPhoneConnection* pPhone, DWORD dwTSPIVersion,
                                       DWORD dwExtVersion, LPPHONECAPS lpPhoneCaps) {
  if (pPhone == nullptr) return PHONEERR_BADDEVICEID;
  return pPhone->GetDevCaps(dwTSPIVersion, dwExtVersion, lpPhoneCaps);
}

LONG CServiceProvider::phoneGetDisplay(CTSPIPhoneConnection* pPhone, LPVARSTRING lpDisplay) {
  if (pPhone == nullptr) return PHONEERR_INVALPHONEHANDLE;
  return pPhone->GetDisplay(lpDisplay);
}

LONG CServiceProvider::phoneGetGain(CTSPIPhoneConnection* pPhone, DWORD dwHookSwitchDev,
                                    LPDWORD lpdwGain) {
  if (pPhone == nullptr) return PHONEERR_INVALPHONEHANDLE;
  return pPhone->GetGain(dwHookSwitchDev, lpdwGain);
}

LONG CServiceProvider::phoneGetHookSwitch(CTSPIPhoneConnection* pPhone,
                                          LPDWORD lpdwHookSwitchDevs) {
  if (pPhone == nullptr) return PHONEERR_INVALPHONEHANDLE;
  return pPhone->GetHookSwitch(lpdwHookSwitchDevs);
}

LONG CServiceProvider::phoneGetIcon(CTSPIPhoneConnection* pPhone, LPCSTR pszDeviceClass,
                                    HICON* lphIcon) {
  if (lphIcon != nullptr) *lphIcon = nullptr;
  if (pPhone == nullptr) return PHONEERR_BADDEVICEID;
  return pPhone->GetIcon(pszDeviceClass, lphIcon);
}

LONG CServiceProvider::phoneGetID(CTSPIPhoneConnection* pPhone, LPVARSTRING lpDeviceID,
                                  LPCSTR pszDeviceClass, HANDLE hTargetProcess) {
  if (pPhone == nullptr) return PHONEERR_INVALPHONEHANDLE;
  return pPhone->GetID(pszDeviceClass, lpDeviceID, hTargetProcess);
}

LONG CServiceProvider::phoneGetLamp(CTSPIPhoneConnection* pPhone, DWORD dwButtonLampID,
                                    LPDWORD lpdwLampMode) {
  if (pPhone == nullptr) return PHONEERR_INVALPHONEHANDLE;
  return pPhone->GetLamp(dwButtonLampID, lpdwLampMode);
}

LONG CServiceProvider::phoneGetRing(CTSPIPhoneConnection* pPhone, LPDWORD lpdwRingMode,
                                    LPDWORD lpdwVolume) {
  if (pPhone == nullptr) return PHONEERR_INVALPHONEHANDLE;
  return pPhone->GetRing(lpdwRingMode, lpdwVolume);
}

LONG CServiceProvider::phoneGetStatus(CTSPIPhoneConnection* pPhone, LPPHONESTATUS lpPhoneStatus) {
  if (pPhone == nullptr) return PHONEERR_INVALPHONEHANDLE;
  return pPhone->GetStatus(lpPhoneStatus);
}

LONG CServiceProvider::phoneGetVolume(CTSPIPhoneConnection* pPhone, DWORD dwHookSwitchDev,
                                      LPDWORD lpdwVolume) {
  if (pPhone == nullptr) return PHONEERR_INVALPHONEHANDLE;
  return pPhone->GetVolume(dwHookSwitchDev, lpdwVolume);
}

LONG CServiceProvider::phoneSetStatusMessages(CTSPIPhoneConnection* pPhone, DWORD dwPhoneStates,
                                              DWORD dwButtonModes, DWORD dwButtonStates) {
  if (pPhone == nullptr) return PHONEERR_INVALPHONEHANDLE;
  return pPhone->SetStatusMessages(dwPhoneStates, dwButtonModes, dwButtonStates);
}

// --- Entries that build a record ---

LONG CServiceProvider::phoneGetData(CTSPIPhoneConnection* pPhone, DWORD dwDataID, LPVOID lpData,
                                    DWORD dwSize) {
  if (pPhone == nullptr) return PHONEERR_INVALPHONEHANDLE;
  if (lpData == nullptr && dwSize != 0) return PHONEERR_INVALPOINTER;
  auto* pData = new (std::nothrow) TSPIPHONEDATA;
  if (pData == nullptr) return PHONEERR_NOMEM;
  pData->dwDataID = dwDataID;
  pData->lpBuffer = lpData;  // TAPI's, filled by the phone
  pData->dwSize = dwSize;
  return pPhone->GetData(pData);
}

LONG CServiceProvider::phoneSetButtonInfo(CTSPIPhoneConnection* pPhone, DRV_REQUESTID dwRequestID,
                                          DWORD dwButtonLampID,
                                          LPPHONEBUTTONINFO const lpButtonInfo) {
  if (pPhone == nullptr) return PHONEERR_INVALPHONEHANDLE;
  if (lpButtonInfo == nullptr) return PHONEERR_INVALPOINTER;
  std::unique_ptr<TSPISETBUTTONINFO> record(new (std::nothrow) TSPISETBUTTONINFO);
  if (!record) return PHONEERR_NOMEM;
  record->dwButtonLampID = dwButtonLampID;
  record->dwFunction = lpButtonInfo->dwButtonFunction;
  record->dwMode = lpButtonInfo->dwButtonMode;
  record->strText = ButtonText(lpButtonInfo);
  return Submit(std::move(record),
                [&](TSPISETBUTTONINFO* p) { return pPhone->SetButtonInfo(dwRequestID, p); });
}

LONG CServiceProvider::phoneSetData(CTSPIPhoneConnection* pPhone, DRV_REQUESTID dwRequestID,
                                    DWORD dwDataID, LPVOID const lpData, DWORD dwSize) {
  if (pPhone == nullptr) return PHONEERR_INVALPHONEHANDLE;
  if (lpData == nullptr && dwSize != 0) return PHONEERR_INVALPOINTER;
  std::unique_ptr<TSPIPHONEDATA> record(new (std::nothrow) TSPIPHONEDATA);
  if (!record) return PHONEERR_NOMEM;
  record->dwDataID = dwDataID;
  record->dwSize = dwSize;
  if (dwSize != 0) {
    record->lpBuffer = CopyBuffer(lpData, dwSize);
    if (record->lpBuffer == nullptr) return PHONEERR_NOMEM;
    record->bOwnsBuffer = TRUE;
  }
  return Submit(std::move(record),
                [&](TSPIPHONEDATA* p) { return pPhone->SetData(dwRequestID, p); });
}

LONG CServiceProvider::phoneSetDisplay(CTSPIPhoneConnection* pPhone, DRV_REQUESTID dwRequestID,
                                       DWORD dwRow, DWORD dwColumn, LPCSTR lpsDisplay,
                                       DWORD dwSize) {
  if (pPhone == nullptr) return PHONEERR_INVALPHONEHANDLE;
  if (lpsDisplay == nullptr && dwSize != 0) return PHONEERR_INVALPOINTER;
  std::unique_ptr<TSPIPHONESETDISPLAY> record(new (std::nothrow) TSPIPHONESETDISPLAY);
  if (!record) return PHONEERR_NOMEM;
  record->dwRow = dwRow;
  record->dwColumn = dwColumn;
  record->dwSize = dwSize;
  if (dwSize != 0) {
    record->lpvDisplay = CopyBuffer(lpsDisplay, dwSize);
    if (record->lpvDisplay == nullptr) return PHONEERR_NOMEM;
  }
  return Submit(std::move(record),
                [&](TSPIPHONESETDISPLAY* p) { return pPhone->SetDisplay(dwRequestID, p); });
}

LONG CServiceProvider::phoneSetGain(CTSPIPhoneConnection* pPhone, DRV_REQUESTID dwRequestID,
                                    DWORD dwHookSwitchDev, DWORD dwGain) {
  if (pPhone == nullptr) return PHONEERR_INVALPHONEHANDLE;
  std::unique_ptr<TSPIHOOKSWITCHPARAM> record(new (std::nothrow) TSPIHOOKSWITCHPARAM);
  if (!record) return PHONEERR_NOMEM;
  record->dwHookSwitchDevice = dwHookSwitchDev;
  record->dwParam = dwGain;
  return Submit(std::move(record),
                [&](TSPIHOOKSWITCHPARAM* p) { return pPhone->SetGain(dwRequestID, p); });
}

LONG CServiceProvider::phoneSetHookSwitch(CTSPIPhoneConnection* pPhone, DRV_REQUESTID dwRequestID,
                                          DWORD dwHookSwitchDevs, DWORD dwHookSwitchMode) {
  if (pPhone == nullptr) return PHONEERR_INVALPHONEHANDLE;
  std::unique_ptr<TSPIHOOKSWITCHPARAM> record(new (std::nothrow) TSPIHOOKSWITCHPARAM);
  if (!record) return PHONEERR_NOMEM;
  record->dwHookSwitchDevice = dwHookSwitchDevs;
  record->dwParam = dwHookSwitchMode;
  return Submit(std::move(record),
                [&](TSPIHOOKSWITCHPARAM* p) { return pPhone->SetHookSwitch(dwRequestID, p); });
}

LONG CServiceProvider::phoneSetLamp(CTSPIPhoneConnection* pPhone, DRV_REQUESTID dwRequestID,
                                    DWORD dwButtonLampID, DWORD dwLampMode) {
  if (pPhone == nullptr) return PHONEERR_INVALPHONEHANDLE;
  std::unique_ptr<TSPISETBUTTONINFO> record(new (std::nothrow) TSPISETBUTTONINFO);
  if (!record) return PHONEERR_NOMEM;
  record->dwButtonLampID = dwButtonLampID;
  record->dwMode = dwLampMode;
  return Submit(std::move(record),
                [&](TSPISETBUTTONINFO* p) { return pPhone->SetLamp(dwRequestID, p); });
}

LONG CServiceProvider::phoneSetRing(CTSPIPhoneConnection* pPhone, DRV_REQUESTID dwRequestID,
                                    DWORD dwRingMode, DWORD dwVolume) {
  if (pPhone == nullptr) return PHONEERR_INVALPHONEHANDLE;
  std::unique_ptr<TSPIRINGPATTERN> record(new (std::nothrow) TSPIRINGPATTERN);
  if (!record) return PHONEERR_NOMEM;
  record->dwRingMode = dwRingMode;
  record->dwVolume = dwVolume;
  return Submit(std::move(record),
                [&](TSPIRINGPATTERN* p) { return pPhone->SetRing(dwRequestID, p); });
}

LONG CServiceProvider::phoneSetVolume(CTSPIPhoneConnection* pPhone, DRV_REQUESTID dwRequestID,
                                      DWORD dwHookSwitchDev, DWORD dwVolume) {
  if (pPhone == nullptr) return PHONEERR_INVALPHONEHANDLE;
  std::unique_ptr<TSPIHOOKSWITCHPARAM> record(new (std::nothrow) TSPIHOOKSWITCHPARAM);
  if (!record) return PHONEERR_NOMEM;
  record->dwHookSwitchDevice = dwHookSwitchDev;
  record->dwParam = dwVolume;
  return Submit(std::move(record),
                [&](TSPIHOOKSWITCHPARAM* p) { return pPhone->SetVolume(dwRequestID, p); });
}
