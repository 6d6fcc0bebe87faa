// CTSPIPhoneConnection: initialisation and the look-up fields.
#include "framework/phone_connection.h"

#include "framework/device.h"
#include "framework/function_table.h"
#include "framework/service_provider.h"
#include "platform/afxmt.h"

IMPLEMENT_DYNCREATE(CTSPIPhoneConnection, CTSPIConnection)

namespace {

// Bit of the permanent ID that tells a phone from a line.
constexpr DWORD kPermanentPhoneBit = 0x8000;
// Every phone state from PHONESTATE_OTHER to PHONESTATE_RESUME but OWNER and MONITORS, plus
// CAPSCHANGE.
constexpr DWORD kPhoneStates = 0x004FFFE7;

}  // namespace

CTSPIPhoneConnection::CTSPIPhoneConnection() = default;

CTSPIPhoneConnection::~CTSPIPhoneConnection() = default;

void CTSPIPhoneConnection::Init(CTSPIDevice* pDevice, DWORD dwPhoneDeviceID, DWORD dwPos,
                                DWORD_PTR /*dwItemData*/) {
  CTSPIConnection::Init(pDevice, dwPhoneDeviceID);
  const DWORD dwProviderID = (pDevice != nullptr) ? pDevice->GetProviderID() : 0;
  CServiceProvider* pSP = GetSP();
  const BOOL bGetRing = (pSP != nullptr)
                            ? pSP->IsFunctionAllowed(nullptr, nullptr, nullptr, TSPI_PHONEGETRING)
                            : FALSE;
  const BOOL bSetRing = (pSP != nullptr)
                            ? pSP->IsFunctionAllowed(nullptr, nullptr, nullptr, TSPI_PHONESETRING)
                            : FALSE;

  CSingleLock lock(GetSyncObject(), TRUE);
  m_PhoneCaps.dwPermanentPhoneID = ((dwProviderID << 16) + (dwPos & 0x7FFF)) | kPermanentPhoneBit;
  m_PhoneCaps.dwStringFormat = STRINGFORMAT_ASCII;
  m_PhoneCaps.dwPhoneStates = kPhoneStates;
  m_PhoneCaps.dwNumRingModes = 1;
  m_PhoneCaps.dwPhoneFeatures = 0;
  m_PhoneStatus.dwStatusFlags = PHONESTATUSFLAGS_CONNECTED;
  m_PhoneStatus.dwRingMode = 0;
  m_PhoneStatus.dwRingVolume = 0xFFFF;
  if (bGetRing) {
    m_PhoneCaps.dwPhoneFeatures |= PHONEFEATURE_GETRING;
    m_PhoneStatus.dwPhoneFeatures |= PHONEFEATURE_GETRING;
  }
  if (bSetRing) {
    m_PhoneCaps.dwPhoneFeatures |= PHONEFEATURE_SETRING;
    m_PhoneStatus.dwPhoneFeatures |= PHONEFEATURE_SETRING;
  }
}

DWORD CTSPIPhoneConnection::GetPermanentDeviceID() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_PhoneCaps.dwPermanentPhoneID;
}

// The phone's follow-ups of finished requests come with its operations.
void CTSPIPhoneConnection::OnRequestComplete(CTSPIRequest* /*pReq*/, LONG /*lResult*/) {}

HTAPIPHONE CTSPIPhoneConnection::GetPhoneHandle() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_htPhone;
}

PHONEEVENT CTSPIPhoneConnection::GetPhoneEventCallback() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_lpfnEventProc;
}

PHONECAPS CTSPIPhoneConnection::GetPhoneCaps() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_PhoneCaps;
}

PHONESTATUS CTSPIPhoneConnection::GetPhoneStatus() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_PhoneStatus;
}
