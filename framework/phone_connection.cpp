// CTSPIPhoneConnection: buttons, construction, Init, open and close, events, state setters and
// identifiers.
#include "framework/phone_connection.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "framework/alloc_buffer.h"
#include "framework/device.h"
#include "framework/device_class.h"
#include "framework/function_table.h"
#include "framework/line_connection.h"
#include "framework/service_provider.h"
#include "platform/afxmt.h"

IMPLEMENT_DYNCREATE(CPhoneButtonInfo, CObject)
IMPLEMENT_DYNCREATE(CPhoneButtonArray, CObArray)
IMPLEMENT_DYNCREATE(CTSPIPhoneConnection, CTSPIConnection)

namespace {

// Bit of the permanent ID that tells a phone from a line.
constexpr DWORD kPermanentPhoneBit = 0x8000;
// Every phone state from PHONESTATE_OTHER to PHONESTATE_RESUME but OWNER and MONITORS, plus
// CAPSCHANGE.
constexpr DWORD kPhoneStates = 0x004FFFE7;

}  // namespace

// --- Buttons ---

CPhoneButtonArray::~CPhoneButtonArray() {
  RemoveAll();
}

void CPhoneButtonArray::RemoveAt(INT_PTR nIndex, INT_PTR nCount) {
  if (nIndex >= 0 && nCount >= 0 && nCount <= GetSize() - nIndex) {
    for (INT_PTR i = nIndex; i < nIndex + nCount; ++i) delete GetAt(i);
  }
  CObArray::RemoveAt(nIndex, nCount);  // throws for a range outside the array
}

void CPhoneButtonArray::RemoveAll() {
  for (INT_PTR i = 0; i < GetSize(); ++i) delete GetAt(i);
  CObArray::RemoveAll();
}

CPhoneButtonInfo* CPhoneButtonArray::GetButton(DWORD dwButtonID) const {
  if (static_cast<INT_PTR>(dwButtonID) >= GetSize()) return nullptr;
  return static_cast<CPhoneButtonInfo*>(GetAt(static_cast<INT_PTR>(dwButtonID)));
}

// --- Construction and set-up ---

CTSPIPhoneConnection::CTSPIPhoneConnection() = default;

CTSPIPhoneConnection::~CTSPIPhoneConnection() {
  FreeBuffer(m_lpsDisplay);
}

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
  CServiceProvider::AddDeviceClass(GetDeviceClassArray(), "tapi/phone", STRINGFORMAT_BINARY,
                                   &dwPhoneDeviceID, sizeof(DWORD), INVALID_HANDLE_VALUE);
  CServiceProvider::AddDeviceClass(GetDeviceClassArray(), "tapi/providerid", STRINGFORMAT_BINARY,
                                   &dwProviderID, sizeof(DWORD), INVALID_HANDLE_VALUE);
}

BOOL CTSPIPhoneConnection::SetupDisplay(DWORD dwColumns, DWORD dwRows) {
  const uint64_t nChars = static_cast<uint64_t>(dwColumns) * dwRows;
  if (nChars >= 0xFFFFFFFF) return FALSE;
  auto* lpsDisplay = static_cast<LPSTR>(AllocBuffer(static_cast<size_t>(nChars) + 1));
  if (lpsDisplay == nullptr) return FALSE;
  std::memset(lpsDisplay, ' ', static_cast<size_t>(nChars));
  lpsDisplay[nChars] = '\0';

  CSingleLock lock(GetSyncObject(), TRUE);
  FreeBuffer(m_lpsDisplay);
  m_lpsDisplay = lpsDisplay;
  m_dwDisplayColumns = dwColumns;
  m_dwDisplayRows = dwRows;
  m_PhoneCaps.dwDisplayNumColumns = dwColumns;
  m_PhoneCaps.dwDisplayNumRows = dwRows;
  return TRUE;
}

DWORD CTSPIPhoneConnection::AddButton(DWORD dwFunction, DWORD dwMode, DWORD dwAvailLampModes,
                                      DWORD dwLampMode, LPCSTR pszDescription) {
  auto* pButton = new CPhoneButtonInfo;
  pButton->dwFunction = dwFunction;
  pButton->dwButtonMode = dwMode;
  pButton->dwAvailLampModes = dwAvailLampModes;
  pButton->dwLampMode = dwLampMode;
  pButton->strDescription = (pszDescription != nullptr) ? pszDescription : "";

  CSingleLock lock(GetSyncObject(), TRUE);
  const auto dwButtonID = static_cast<DWORD>(m_arrButtonInfo.Add(pButton));
  m_PhoneCaps.dwNumButtonLamps = static_cast<DWORD>(m_arrButtonInfo.GetSize());
  return dwButtonID;
}

void CTSPIPhoneConnection::AddGetDataArea(DWORD dwSize) {
  CSingleLock lock(GetSyncObject(), TRUE);
  m_arrGetDataSizes.Add(dwSize);
  m_PhoneCaps.dwNumGetData = static_cast<DWORD>(m_arrGetDataSizes.GetSize());
}

void CTSPIPhoneConnection::AddSetDataArea(DWORD dwSize) {
  CSingleLock lock(GetSyncObject(), TRUE);
  m_arrSetDataSizes.Add(dwSize);
  m_PhoneCaps.dwNumSetData = static_cast<DWORD>(m_arrSetDataSizes.GetSize());
}

// --- Open and close ---

void CTSPIPhoneConnection::RestoreProviderVersion() {
  CServiceProvider* pSP = GetSP();
  SetNegotiatedVersion(pSP != nullptr ? pSP->GetSupportedVersion() : TAPIVER_20);
}

LONG CTSPIPhoneConnection::OpenPhone(HTAPIPHONE htPhone, PHONEEVENT lpfnEventProc,
                                     DWORD dwTSPIVersion) {
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    if (m_htPhone != nullptr || m_bClosing) return PHONEERR_ALLOCATED;
    m_htPhone = htPhone;
    m_lpfnEventProc = lpfnEventProc;
    SetNegotiatedVersion(dwTSPIVersion);
  }
  // The device may wait for its connection here; the phone's lock stays free meanwhile.
  if (OpenConnection()) return 0;

  CSingleLock lock(GetSyncObject(), TRUE);
  m_htPhone = nullptr;
  m_lpfnEventProc = nullptr;
  RestoreProviderVersion();
  return PHONEERR_RESOURCEUNAVAIL;
}

LONG CTSPIPhoneConnection::ClosePhone() {
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    if (m_htPhone == nullptr || m_bClosing) return PHONEERR_OPERATIONFAILED;
    m_bClosing = true;
  }
  CompleteMatchingRequests(nullptr, REQUEST_ANY, PHONEERR_OPERATIONFAILED, FALSE, nullptr);
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    m_lpfnEventProc = nullptr;
    m_htPhone = nullptr;
    m_dwPhoneStates = m_dwButtonModes = m_dwButtonStates = 0;
    RestoreProviderVersion();
  }
  CloseConnection();
  CSingleLock lock(GetSyncObject(), TRUE);
  if ((GetFlags() & CONNFLAG_REMOVEONCLOSE) != 0) SetFlags(CONNFLAG_REMOVED);
  m_bClosing = false;
  return 0;
}

LONG CTSPIPhoneConnection::SetStatusMessages(DWORD dwPhoneStates, DWORD dwButtonModes,
                                             DWORD dwButtonStates) {
  if (dwButtonModes != 0 && dwButtonStates == 0) return PHONEERR_INVALBUTTONSTATE;
  CSingleLock lock(GetSyncObject(), TRUE);
  m_dwPhoneStates = dwPhoneStates;
  if (dwButtonModes != 0) {
    m_dwButtonModes = dwButtonModes;
    m_dwButtonStates = dwButtonStates;
  }
  return 0;
}

// --- Events ---

void CTSPIPhoneConnection::SendPhoneEvent(DWORD dwMsg, DWORD_PTR dwParam1, DWORD_PTR dwParam2,
                                          DWORD_PTR dwParam3) {
  PHONEEVENT lpfnEventProc = nullptr;
  HTAPIPHONE htPhone = nullptr;
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    lpfnEventProc = m_lpfnEventProc;
    htPhone = m_htPhone;
  }
  if (lpfnEventProc != nullptr && htPhone != nullptr) {
    lpfnEventProc(htPhone, dwMsg, dwParam1, dwParam2, dwParam3);
  }
}

void CTSPIPhoneConnection::ReportPhoneState(DWORD dwState, DWORD dwParam) {
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    if (m_htPhone == nullptr) return;
    // TAPI must always learn that it has to start over.
    if ((dwState & m_dwPhoneStates) == 0 && dwState != PHONESTATE_REINIT) return;
  }
  SendPhoneEvent(PHONE_STATE, dwState, dwParam, 0);
}

void CTSPIPhoneConnection::NotifyCapsChanged() {
  ReportPhoneState(PHONESTATE_CAPSCHANGE, 0);
}

void CTSPIPhoneConnection::ReportButton(DWORD dwButtonID, DWORD dwMode, DWORD dwState) {
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    if ((dwMode & m_dwButtonModes) == 0 || (dwState & m_dwButtonStates) == 0) return;
  }
  SendPhoneEvent(PHONE_BUTTON, dwButtonID, dwMode, dwState);
}

// --- State setters ---

void CTSPIPhoneConnection::UpdateRingMode(DWORD dwRingMode) {
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    m_PhoneStatus.dwRingMode = dwRingMode;
  }
  ReportPhoneState(PHONESTATE_RINGMODE, dwRingMode);
}

DWORD CTSPIPhoneConnection::SetLampMode(DWORD dwButtonID, DWORD dwLampMode) {
  DWORD dwOldMode = PHONELAMPMODE_DUMMY;
  BOOL bIndicator = FALSE;
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    CPhoneButtonInfo* pButton = GetButton(dwButtonID);
    if (pButton == nullptr) return PHONELAMPMODE_DUMMY;
    dwOldMode = pButton->dwLampMode;
    pButton->dwLampMode = dwLampMode;
    bIndicator = (pButton->dwFunction == PHONEBUTTONFUNCTION_MSGINDICATOR) ? TRUE : FALSE;
  }
  // The line is told without the phone's lock held.
  if (bIndicator) {
    if (CTSPILineConnection* pLine = GetAssociatedLine()) {
      // Only the message-waiting flag: another thread's change of the others stays.
      pLine->SetDevStatusFlags(LINEDEVSTATUSFLAGS_MSGWAIT,
                               dwLampMode != PHONELAMPMODE_OFF ? TRUE : FALSE);
    }
  }
  ReportPhoneState(PHONESTATE_LAMP, dwButtonID);
  return dwOldMode;
}

void CTSPIPhoneConnection::SetButtonData(DWORD dwButtonID, DWORD dwFunction, DWORD dwMode,
                                         LPCSTR pszDescription) {
  CSingleLock lock(GetSyncObject(), TRUE);
  CPhoneButtonInfo* pButton = GetButton(dwButtonID);
  if (pButton == nullptr) return;
  pButton->dwFunction = dwFunction;
  pButton->dwButtonMode = dwMode;
  pButton->strDescription = (pszDescription != nullptr) ? pszDescription : "";
}

void CTSPIPhoneConnection::UpdateDisplay(DWORD dwRow, DWORD dwColumn, LPCSTR lpsText,
                                         DWORD dwSize) {
  if (lpsText == nullptr || dwSize == 0) return;
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    if (m_lpsDisplay == nullptr) return;
    const uint64_t nChars = static_cast<uint64_t>(m_dwDisplayColumns) * m_dwDisplayRows;
    const uint64_t nStart = static_cast<uint64_t>(dwRow) * m_dwDisplayColumns + dwColumn;
    if (nStart >= nChars) return;
    const auto nCopy = static_cast<size_t>(std::min<uint64_t>(dwSize, nChars - nStart));
    std::memcpy(m_lpsDisplay + nStart, lpsText, nCopy);
  }
  ReportPhoneState(PHONESTATE_DISPLAY, 0);
}

// --- Look-ups ---

CPhoneButtonInfo* CTSPIPhoneConnection::GetButton(DWORD dwButtonID) const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_arrButtonInfo.GetButton(dwButtonID);
}

CString CTSPIPhoneConnection::GetDisplayText() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  if (m_lpsDisplay == nullptr) return CString();
  const size_t nChars = static_cast<size_t>(m_dwDisplayColumns) * m_dwDisplayRows;
  const size_t nLength = std::find(m_lpsDisplay, m_lpsDisplay + nChars, '\0') - m_lpsDisplay;
  return CString(m_lpsDisplay, static_cast<int>(nLength));
}

CTSPILineConnection* CTSPIPhoneConnection::GetAssociatedLine() const {
  DWORD dwLineDeviceID = 0;
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    auto& arrClasses = const_cast<CTSPIPhoneConnection*>(this)->GetDeviceClassArray();
    DEVICECLASSINFO* pClass = CServiceProvider::FindDeviceClass(arrClasses, "tapi/line");
    if (pClass == nullptr || pClass->lpvData == nullptr || pClass->dwSize < sizeof(DWORD)) {
      return nullptr;
    }
    std::memcpy(&dwLineDeviceID, pClass->lpvData, sizeof(DWORD));
  }
  CTSPIDevice* pDevice = GetDevice();
  return (pDevice != nullptr) ? pDevice->FindLineByDeviceID(dwLineDeviceID) : nullptr;
}

DWORD CTSPIPhoneConnection::GetPermanentDeviceID() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_PhoneCaps.dwPermanentPhoneID;
}

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

LONG CTSPIPhoneConnection::GetID(LPCSTR pszDeviceClass, LPVARSTRING lpDeviceID,
                                 HANDLE hTargetProcess) {
  CSingleLock lock(GetSyncObject(), TRUE);
  DEVICECLASSINFO* pDevClass =
      CServiceProvider::FindDeviceClass(GetDeviceClassArray(), pszDeviceClass);
  if (pDevClass == nullptr) return PHONEERR_INVALDEVICECLASS;
  // The shared filler answers in line codes.
  switch (CServiceProvider::FillVarStringFromDeviceClass(pDevClass, lpDeviceID, hTargetProcess)) {
    case 0:
      return 0;
    case LINEERR_STRUCTURETOOSMALL:
      return PHONEERR_STRUCTURETOOSMALL;
    case LINEERR_INVALPOINTER:
      return PHONEERR_INVALPOINTER;
    default:
      return PHONEERR_OPERATIONFAILED;
  }
}

LONG CTSPIPhoneConnection::DevSpecific(DRV_REQUESTID, LPVOID, DWORD) {
  return PHONEERR_OPERATIONUNAVAIL;
}

LONG CTSPIPhoneConnection::GetIcon(LPCSTR, HICON*) {
  return PHONEERR_OPERATIONUNAVAIL;
}

LONG CTSPIPhoneConnection::GenericDialogData(LPVOID, DWORD) {
  return 0;
}
