// CTSPIPhoneConnection: the synchronous queries, the asynchronous operations, GetData, the
// follow-ups of completed requests and the hookswitch-device state setters.
#include <memory>

#include "framework/phone_connection.h"
#include "framework/phone_records.h"
#include "framework/service_provider.h"
#include "platform/afxmt.h"

namespace {

constexpr DWORD kAnyGetHookSwitch = PHONEFEATURE_GETHOOKSWITCHHANDSET |
                                    PHONEFEATURE_GETHOOKSWITCHSPEAKER |
                                    PHONEFEATURE_GETHOOKSWITCHHEADSET;
constexpr DWORD kAnyGetGain =
    PHONEFEATURE_GETGAINHANDSET | PHONEFEATURE_GETGAINSPEAKER | PHONEFEATURE_GETGAINHEADSET;
constexpr DWORD kAnyGetVolume =
    PHONEFEATURE_GETVOLUMEHANDSET | PHONEFEATURE_GETVOLUMESPEAKER | PHONEFEATURE_GETVOLUMEHEADSET;
constexpr DWORD kAnySetGain =
    PHONEFEATURE_SETGAINHANDSET | PHONEFEATURE_SETGAINSPEAKER | PHONEFEATURE_SETGAINHEADSET;
constexpr DWORD kAnySetHookSwitch = PHONEFEATURE_SETHOOKSWITCHHANDSET |
                                    PHONEFEATURE_SETHOOKSWITCHSPEAKER |
                                    PHONEFEATURE_SETHOOKSWITCHHEADSET;
constexpr DWORD kAnySetVolume =
    PHONEFEATURE_SETVOLUMEHANDSET | PHONEFEATURE_SETVOLUMESPEAKER | PHONEFEATURE_SETVOLUMEHEADSET;
// The hookswitch modes in which a device is in use.
constexpr DWORD kModesOffHook =
    PHONEHOOKSWITCHMODE_MIC | PHONEHOOKSWITCHMODE_SPEAKER | PHONEHOOKSWITCHMODE_MICSPEAKER;

// Handset, speaker, headset, in that order: each device's status fields, query features and
// reported states.
struct HookSwitchDevice {
  DWORD dwDevice;
  DWORD PHONESTATUS::*pMode;
  DWORD PHONESTATUS::*pVolume;
  DWORD PHONESTATUS::*pGain;
  DWORD dwGetVolume;
  DWORD dwGetGain;
  DWORD dwModeState;
  DWORD dwVolumeState;
  DWORD dwGainState;
};

constexpr HookSwitchDevice kDevices[] = {
    {PHONEHOOKSWITCHDEV_HANDSET, &PHONESTATUS::dwHandsetHookSwitchMode,
     &PHONESTATUS::dwHandsetVolume, &PHONESTATUS::dwHandsetGain, PHONEFEATURE_GETVOLUMEHANDSET,
     PHONEFEATURE_GETGAINHANDSET, PHONESTATE_HANDSETHOOKSWITCH, PHONESTATE_HANDSETVOLUME,
     PHONESTATE_HANDSETGAIN},
    {PHONEHOOKSWITCHDEV_SPEAKER, &PHONESTATUS::dwSpeakerHookSwitchMode,
     &PHONESTATUS::dwSpeakerVolume, &PHONESTATUS::dwSpeakerGain, PHONEFEATURE_GETVOLUMESPEAKER,
     PHONEFEATURE_GETGAINSPEAKER, PHONESTATE_SPEAKERHOOKSWITCH, PHONESTATE_SPEAKERVOLUME,
     PHONESTATE_SPEAKERGAIN},
    {PHONEHOOKSWITCHDEV_HEADSET, &PHONESTATUS::dwHeadsetHookSwitchMode,
     &PHONESTATUS::dwHeadsetVolume, &PHONESTATUS::dwHeadsetGain, PHONEFEATURE_GETVOLUMEHEADSET,
     PHONEFEATURE_GETGAINHEADSET, PHONESTATE_HEADSETHOOKSWITCH, PHONESTATE_HEADSETVOLUME,
     PHONESTATE_HEADSETGAIN},
};

const HookSwitchDevice* FindDevice(DWORD dwDevice) {
  for (const HookSwitchDevice& device : kDevices) {
    if (device.dwDevice == dwDevice) return &device;
  }
  return nullptr;
}

}  // namespace

// --- Checks shared by the operations ---

BOOL CTSPIPhoneConnection::HasFeature(DWORD dwFeatures) const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return (m_PhoneStatus.dwPhoneFeatures & dwFeatures) != 0 ? TRUE : FALSE;
}

LONG CTSPIPhoneConnection::CheckHookSwitchDevices(DWORD dwDevices) const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return (dwDevices & ~m_PhoneCaps.dwHookSwitchDevs) == 0 ? 0 : PHONEERR_INVALHOOKSWITCHDEV;
}

LONG CTSPIPhoneConnection::QueuePhoneRequest(WORD wType, DRV_REQUESTID dwRequestID,
                                             CObject* pRecord, DWORD dwRecordSize,
                                             LONG lNotQueued) {
  if (!QueueRequest(nullptr, nullptr, wType, dwRequestID, pRecord, dwRecordSize)) {
    return lNotQueued;  // the record stays with the caller
  }
  return static_cast<LONG>(dwRequestID);
}

// --- Synchronous queries ---

LONG CTSPIPhoneConnection::GetRing(LPDWORD lpdwRingMode, LPDWORD lpdwVolume) {
  if (!HasFeature(PHONEFEATURE_GETRING)) return PHONEERR_OPERATIONUNAVAIL;
  if (lpdwRingMode == nullptr || lpdwVolume == nullptr) return PHONEERR_INVALPOINTER;
  CSingleLock lock(GetSyncObject(), TRUE);
  *lpdwRingMode = m_PhoneStatus.dwRingMode;
  *lpdwVolume = m_PhoneStatus.dwRingVolume;
  return 0;
}

LONG CTSPIPhoneConnection::GetHookSwitch(LPDWORD lpdwHookSwitchDevs) {
  if (!HasFeature(kAnyGetHookSwitch)) return PHONEERR_OPERATIONUNAVAIL;
  if (lpdwHookSwitchDevs == nullptr) return PHONEERR_INVALPOINTER;
  CSingleLock lock(GetSyncObject(), TRUE);
  DWORD dwDevices = 0;
  for (const HookSwitchDevice& device : kDevices) {
    if ((m_PhoneStatus.*device.pMode & kModesOffHook) != 0) dwDevices |= device.dwDevice;
  }
  *lpdwHookSwitchDevs = dwDevices;
  return 0;
}

LONG CTSPIPhoneConnection::GetGain(DWORD dwHookSwitchDev, LPDWORD lpdwGain) {
  if (!HasFeature(kAnyGetGain)) return PHONEERR_OPERATIONUNAVAIL;
  const HookSwitchDevice* pDevice = FindDevice(dwHookSwitchDev);
  if (pDevice == nullptr || CheckHookSwitchDevices(dwHookSwitchDev) != 0) {
    return PHONEERR_INVALHOOKSWITCHDEV;
  }
  if (!HasFeature(pDevice->dwGetGain)) return PHONEERR_OPERATIONUNAVAIL;
  if (lpdwGain == nullptr) return PHONEERR_INVALPOINTER;
  CSingleLock lock(GetSyncObject(), TRUE);
  *lpdwGain = m_PhoneStatus.*pDevice->pGain;
  return 0;
}

LONG CTSPIPhoneConnection::GetVolume(DWORD dwHookSwitchDev, LPDWORD lpdwVolume) {
  if (!HasFeature(kAnyGetVolume)) return PHONEERR_OPERATIONUNAVAIL;
  const HookSwitchDevice* pDevice = FindDevice(dwHookSwitchDev);
  if (pDevice == nullptr || CheckHookSwitchDevices(dwHookSwitchDev) != 0) {
    return PHONEERR_INVALHOOKSWITCHDEV;
  }
  if (!HasFeature(pDevice->dwGetVolume)) return PHONEERR_OPERATIONUNAVAIL;
  if (lpdwVolume == nullptr) return PHONEERR_INVALPOINTER;
  CSingleLock lock(GetSyncObject(), TRUE);
  *lpdwVolume = m_PhoneStatus.*pDevice->pVolume;
  return 0;
}

LONG CTSPIPhoneConnection::GetLamp(DWORD dwButtonID, LPDWORD lpdwLampMode) {
  if (!HasFeature(PHONEFEATURE_GETLAMP)) return PHONEERR_OPERATIONUNAVAIL;
  CSingleLock lock(GetSyncObject(), TRUE);
  const CPhoneButtonInfo* pButton = GetButton(dwButtonID);
  if (pButton == nullptr || pButton->dwLampMode == PHONELAMPMODE_DUMMY) {
    return PHONEERR_INVALBUTTONLAMPID;
  }
  if (lpdwLampMode == nullptr) return PHONEERR_INVALPOINTER;
  *lpdwLampMode = pButton->dwLampMode;
  return 0;
}

// --- Asynchronous operations ---

LONG CTSPIPhoneConnection::SetButtonInfo(DRV_REQUESTID dwRequestID,
                                         TSPISETBUTTONINFO* pButtonInfo) {
  if (!HasFeature(PHONEFEATURE_SETBUTTONINFO)) return PHONEERR_OPERATIONUNAVAIL;
  if (pButtonInfo == nullptr) return PHONEERR_INVALPARAM;
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    const CPhoneButtonInfo* pButton = GetButton(pButtonInfo->dwButtonLampID);
    if (pButton == nullptr || pButton->dwButtonMode == PHONEBUTTONMODE_DUMMY) {
      return PHONEERR_INVALBUTTONLAMPID;
    }
  }
  return QueuePhoneRequest(REQUEST_PHONESETBUTTONINFO, dwRequestID, pButtonInfo,
                           sizeof(TSPISETBUTTONINFO), PHONEERR_OPERATIONUNAVAIL);
}

LONG CTSPIPhoneConnection::SetLamp(DRV_REQUESTID dwRequestID, TSPISETBUTTONINFO* pLamp) {
  if (!HasFeature(PHONEFEATURE_SETLAMP)) return PHONEERR_OPERATIONUNAVAIL;
  if (pLamp == nullptr) return PHONEERR_INVALPARAM;
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    const CPhoneButtonInfo* pButton = GetButton(pLamp->dwButtonLampID);
    if (pButton == nullptr || pButton->dwLampMode == PHONELAMPMODE_DUMMY) {
      return PHONEERR_INVALBUTTONLAMPID;
    }
  }
  return QueuePhoneRequest(REQUEST_PHONESETLAMP, dwRequestID, pLamp, sizeof(TSPISETBUTTONINFO),
                           PHONEERR_OPERATIONFAILED);
}

LONG CTSPIPhoneConnection::SetDisplay(DRV_REQUESTID dwRequestID, TSPIPHONESETDISPLAY* pDisplay) {
  if (!HasFeature(PHONEFEATURE_SETDISPLAY)) return PHONEERR_OPERATIONUNAVAIL;
  if (pDisplay == nullptr) return PHONEERR_INVALPARAM;
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    if (pDisplay->dwRow > m_PhoneCaps.dwDisplayNumRows ||
        pDisplay->dwColumn > m_PhoneCaps.dwDisplayNumColumns) {
      return PHONEERR_INVALPARAM;
    }
  }
  return QueuePhoneRequest(REQUEST_PHONESETDISPLAY, dwRequestID, pDisplay,
                           sizeof(TSPIPHONESETDISPLAY), PHONEERR_OPERATIONFAILED);
}

LONG CTSPIPhoneConnection::SetGain(DRV_REQUESTID dwRequestID, TSPIHOOKSWITCHPARAM* pGain) {
  if (!HasFeature(kAnySetGain)) return PHONEERR_OPERATIONUNAVAIL;
  if (pGain == nullptr) return PHONEERR_INVALPARAM;
  if (const LONG lResult = CheckHookSwitchDevices(pGain->dwHookSwitchDevice)) return lResult;
  return QueuePhoneRequest(REQUEST_PHONESETGAIN, dwRequestID, pGain, sizeof(TSPIHOOKSWITCHPARAM),
                           PHONEERR_OPERATIONFAILED);
}

LONG CTSPIPhoneConnection::SetHookSwitch(DRV_REQUESTID dwRequestID,
                                         TSPIHOOKSWITCHPARAM* pHookSwitch) {
  if (!HasFeature(kAnySetHookSwitch)) return PHONEERR_OPERATIONUNAVAIL;
  if (pHookSwitch == nullptr) return PHONEERR_INVALPARAM;
  if (const LONG lResult = CheckHookSwitchDevices(pHookSwitch->dwHookSwitchDevice)) return lResult;
  return QueuePhoneRequest(REQUEST_PHONESETHOOKSWITCH, dwRequestID, pHookSwitch,
                           sizeof(TSPIHOOKSWITCHPARAM), PHONEERR_OPERATIONFAILED);
}

LONG CTSPIPhoneConnection::SetVolume(DRV_REQUESTID dwRequestID, TSPIHOOKSWITCHPARAM* pVolume) {
  if (!HasFeature(kAnySetVolume)) return PHONEERR_OPERATIONUNAVAIL;
  if (pVolume == nullptr) return PHONEERR_INVALPARAM;
  if (const LONG lResult = CheckHookSwitchDevices(pVolume->dwHookSwitchDevice)) return lResult;
  return QueuePhoneRequest(REQUEST_PHONESETVOLUME, dwRequestID, pVolume,
                           sizeof(TSPIHOOKSWITCHPARAM), PHONEERR_OPERATIONFAILED);
}

LONG CTSPIPhoneConnection::SetRing(DRV_REQUESTID dwRequestID, TSPIRINGPATTERN* pRing) {
  if (!HasFeature(PHONEFEATURE_SETRING)) return PHONEERR_OPERATIONUNAVAIL;
  if (pRing == nullptr) return PHONEERR_INVALPARAM;
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    if (pRing->dwRingMode >= m_PhoneCaps.dwNumRingModes) return PHONEERR_INVALRINGMODE;
  }
  return QueuePhoneRequest(REQUEST_PHONESETRING, dwRequestID, pRing, sizeof(TSPIRINGPATTERN),
                           PHONEERR_OPERATIONFAILED);
}

LONG CTSPIPhoneConnection::SetData(DRV_REQUESTID dwRequestID, TSPIPHONEDATA* pData) {
  if (!HasFeature(PHONEFEATURE_SETDATA)) return PHONEERR_OPERATIONUNAVAIL;
  if (pData == nullptr) return PHONEERR_INVALPARAM;
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    if (pData->dwDataID > m_PhoneCaps.dwNumSetData) return PHONEERR_INVALDATAID;
  }
  return QueuePhoneRequest(REQUEST_PHONESETDATA, dwRequestID, pData, sizeof(TSPIPHONEDATA),
                           PHONEERR_OPERATIONFAILED);
}

LONG CTSPIPhoneConnection::GetData(TSPIPHONEDATA* pData) {
  std::unique_ptr<TSPIPHONEDATA> record(pData);
  if (!HasFeature(PHONEFEATURE_GETDATA)) return PHONEERR_OPERATIONUNAVAIL;
  if (!record) return PHONEERR_INVALPARAM;
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    if (record->dwDataID > m_PhoneCaps.dwNumGetData) return PHONEERR_INVALDATAID;
  }
  // TAPI does not track the request (ID 0); our reference keeps it alive for the wait, however
  // soon it completes.
  // Let go first: once queued the record is the request's, even should its start throw.
  TSPIPHONEDATA* pRecord = record.release();
  CTSPIRequestPtr held = QueueRequest(nullptr, nullptr, REQUEST_PHONEGETDATA, 0,
                                      static_cast<CObject*>(pRecord), sizeof(TSPIPHONEDATA));
  if (!held) {
    delete pRecord;  // refused: still ours
    return PHONEERR_OPERATIONFAILED;
  }
  CTSPIRequest* pReq = held.Get();

  LONG lResult = WaitForRequest(0, pReq);
  if (lResult == -1) {
    BOOL bLeftQueue = FALSE;
    {
      CSingleLock lock(GetSyncObject(), TRUE);
      if (IsRequestQueued(pReq)) {
        // Not started yet: it never will be. Started: the phone may still answer it, so it
        // stays queued, but no longer into the caller's buffer, which is gone once we return.
        if (pReq->GetState() < STATE_STARTED) RemoveRequest(pReq, TRUE);
        if (auto* pQueued = dynamic_cast<TSPIPHONEDATA*>(pReq->GetRecordObject())) {
          pQueued->lpBuffer = nullptr;
          pQueued->dwSize = 0;
        }
      } else {
        bLeftQueue = TRUE;
      }
    }
    // Another thread took it out of the queue meanwhile and is completing it.
    if (bLeftQueue) lResult = WaitForRequest(0, pReq);
    if (lResult == -1) lResult = PHONEERR_OPERATIONFAILED;
  }
  return lResult;
}

// --- Follow-ups and state setters ---

void CTSPIPhoneConnection::OnRequestComplete(CTSPIRequest* pReq, LONG lResult) {
  if (pReq == nullptr || lResult != 0) return;
  CObject* pRecord = pReq->GetRecordObject();
  switch (pReq->GetType()) {
    case REQUEST_PHONESETBUTTONINFO:
      if (auto* pInfo = dynamic_cast<TSPISETBUTTONINFO*>(pRecord)) {
        SetButtonData(pInfo->dwButtonLampID, pInfo->dwFunction, pInfo->dwMode, pInfo->strText);
      }
      break;
    case REQUEST_PHONESETLAMP:
      if (auto* pLamp = dynamic_cast<TSPISETBUTTONINFO*>(pRecord)) {
        SetLampMode(pLamp->dwButtonLampID, pLamp->dwMode);
      }
      break;
    case REQUEST_PHONESETRING:
      if (auto* pRing = dynamic_cast<TSPIRINGPATTERN*>(pRecord)) {
        UpdateRingMode(pRing->dwRingMode);
        {
          CSingleLock lock(GetSyncObject(), TRUE);
          m_PhoneStatus.dwRingVolume = pRing->dwVolume;
        }
        ReportPhoneState(PHONESTATE_RINGVOLUME, 0);
      }
      break;
    case REQUEST_PHONESETHOOKSWITCH:
    case REQUEST_PHONESETGAIN:
    case REQUEST_PHONESETVOLUME:
      if (auto* pParam = dynamic_cast<TSPIHOOKSWITCHPARAM*>(pRecord)) {
        if (pReq->GetType() == REQUEST_PHONESETHOOKSWITCH) {
          UpdateHookSwitch(pParam->dwHookSwitchDevice, pParam->dwParam);
        } else if (pReq->GetType() == REQUEST_PHONESETGAIN) {
          UpdateGain(pParam->dwHookSwitchDevice, pParam->dwParam);
        } else {
          UpdateVolume(pParam->dwHookSwitchDevice, pParam->dwParam);
        }
      }
      break;
    default:
      break;  // display and data requests leave the phone as it is
  }
}

void CTSPIPhoneConnection::UpdateHookSwitch(DWORD dwDevices, DWORD dwMode) {
  for (const HookSwitchDevice& device : kDevices) {
    if ((dwDevices & device.dwDevice) == 0) continue;
    {
      CSingleLock lock(GetSyncObject(), TRUE);
      m_PhoneStatus.*device.pMode = dwMode;
    }
    ReportPhoneState(device.dwModeState, dwMode);
  }
}

void CTSPIPhoneConnection::UpdateVolume(DWORD dwDevices, DWORD dwVolume) {
  for (const HookSwitchDevice& device : kDevices) {
    if ((dwDevices & device.dwDevice) == 0) continue;
    {
      CSingleLock lock(GetSyncObject(), TRUE);
      m_PhoneStatus.*device.pVolume = dwVolume;
    }
    ReportPhoneState(device.dwVolumeState, 0);
  }
}

void CTSPIPhoneConnection::UpdateGain(DWORD dwDevices, DWORD dwGain) {
  for (const HookSwitchDevice& device : kDevices) {
    if ((dwDevices & device.dwDevice) == 0) continue;
    {
      CSingleLock lock(GetSyncObject(), TRUE);
      m_PhoneStatus.*device.pGain = dwGain;
    }
    ReportPhoneState(device.dwGainState, 0);
  }
}
