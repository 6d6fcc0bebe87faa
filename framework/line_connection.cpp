// CTSPILineConnection: initialisation, destruction, open and close, events and the look-ups.
// Status flags, features and counters are in line_connection_features.cpp, the capability and
// status structures in line_connection_caps.cpp, the address follow-ups in
// line_connection_addresses.cpp.
#include "framework/line_connection.h"

#include <algorithm>

#include "framework/address_info.h"
#include "framework/call_appearance.h"
#include "framework/device.h"
#include "framework/device_class.h"
#include "framework/function_table.h"
#include "framework/request.h"
#include "framework/service_provider.h"
#include "platform/afxmt.h"

IMPLEMENT_DYNCREATE(CTSPILineConnection, CTSPIConnection)

namespace {

// Line features offered only when the library exports the function that serves them.
struct LineFeature {
  WORD wFunction;
  DWORD dwCapsFeature;
  DWORD dwStatusFeature;
  DWORD dwDevCapFlag;
};

constexpr LineFeature kLineFeatures[] = {
    {TSPI_LINEMAKECALL, LINEFEATURE_MAKECALL, 0, 0},
    {TSPI_LINESETMEDIACONTROL, LINEFEATURE_SETMEDIACONTROL, LINEFEATURE_SETMEDIACONTROL,
     LINEDEVCAPFLAGS_MEDIACONTROL},
    {TSPI_LINEDEVSPECIFIC, LINEFEATURE_DEVSPECIFIC, LINEFEATURE_DEVSPECIFIC, 0},
    {TSPI_LINEDEVSPECIFICFEATURE, LINEFEATURE_DEVSPECIFICFEAT, LINEFEATURE_DEVSPECIFICFEAT, 0},
    {TSPI_LINEFORWARD, LINEFEATURE_FORWARD, LINEFEATURE_FORWARD, 0},
    {TSPI_LINESETLINEDEVSTATUS, LINEFEATURE_SETDEVSTATUS, LINEFEATURE_SETDEVSTATUS, 0},
    {TSPI_LINESETTERMINAL, LINEFEATURE_SETTERMINAL, 0, 0},
};

// Deliveries the calling thread is inside, on any line: a close made there (a callback that
// closes) must not wait for them, its own among them.
thread_local int t_nDeliveriesInside = 0;

}  // namespace

CTSPILineConnection::CTSPILineConnection() = default;

CTSPILineConnection::~CTSPILineConnection() {
  // Requests hold their calls and calls know their address: the requests go first.
  CompleteMatchingRequests(nullptr, REQUEST_ANY, LINEERR_OPERATIONFAILED, FALSE, nullptr);
  std::vector<TSPIDIALOGINSTANCE*> dialogs;
  std::vector<CObject*> completions;
  LINEEVENT lpfnEventProc = nullptr;
  // Then the addresses, without the line's lock (theirs comes before it): their calls may
  // still reach the line on their way out.
  const std::vector<CTSPIAddressInfo*> addresses = SnapshotAddresses();
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    m_arrAddresses.RemoveAll();
  }
  for (CTSPIAddressInfo* pAddr : addresses) delete pAddr;
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    for (INT_PTR i = 0; i < m_arrTerminals.GetSize(); ++i) delete m_arrTerminals[i];
    m_arrTerminals.RemoveAll();
    // Deleted below, without the lock: a completion may hold a call's last reference.
    while (!m_lstCompletions.IsEmpty()) completions.push_back(m_lstCompletions.RemoveHead());
    for (INT_PTR i = 0; i < m_arrDialogInstances.GetSize(); ++i) {
      dialogs.push_back(static_cast<TSPIDIALOGINSTANCE*>(m_arrDialogInstances[i]));
    }
    m_arrDialogInstances.RemoveAll();
    lpfnEventProc = m_lpfnEventProc;
  }
  for (CObject* pEntry : completions) delete pEntry;
  // TAPI closes the dialogs it still shows for this line.
  for (TSPIDIALOGINSTANCE* pDlgInst : dialogs) {
    if (lpfnEventProc != nullptr) {
      lpfnEventProc(reinterpret_cast<HTAPILINE>(static_cast<DWORD_PTR>(pDlgInst->htDlgInst)),
                    nullptr, LINE_SENDDIALOGINSTANCEDATA, 0, 0, 0);
    }
    delete pDlgInst;
  }
}

void CTSPILineConnection::Init(CTSPIDevice* pDevice, DWORD dwLineDeviceID, DWORD dwPos,
                               DWORD_PTR /*dwItemData*/) {
  CTSPIConnection::Init(pDevice, dwLineDeviceID);
  const DWORD dwProviderID = (pDevice != nullptr) ? pDevice->GetProviderID() : 0;
  CServiceProvider* pSP = GetSP();

  CSingleLock lock(GetSyncObject(), TRUE);
  m_LineCaps.dwPermanentLineID = (dwProviderID << 16) + (dwPos & 0x7FFF);
  m_LineCaps.dwStringFormat = STRINGFORMAT_ASCII;
  m_LineCaps.dwAddressModes = LINEADDRESSMODE_ADDRESSID;
  m_LineCaps.dwBearerModes = LINEBEARERMODE_VOICE;
  m_LineCaps.dwMediaModes = 0;
  m_LineCaps.dwMaxNumActiveCalls = 2;
  m_LineCaps.dwRingModes = 1;
  m_LineCaps.dwLineStates = 0x01F9F9FF;
  m_LineStatus.dwNumActiveCalls = 0;
  m_LineStatus.dwNumOnHoldCalls = 0;
  m_LineStatus.dwNumOnHoldPendCalls = 0;
  m_LineStatus.dwNumCallCompletions = 0;
  m_LineStatus.dwSignalLevel = 0xFFFF;
  m_LineStatus.dwBatteryLevel = 0xFFFF;
  m_LineStatus.dwRoamMode = LINEROAMMODE_UNAVAIL;
  m_LineStatus.dwDevStatusFlags = LINEDEVSTATUSFLAGS_CONNECTED | LINEDEVSTATUSFLAGS_INSERVICE;

  for (const LineFeature& feature : kLineFeatures) {
    if (pSP == nullptr || !pSP->IsFunctionAllowed(this, nullptr, nullptr, feature.wFunction)) {
      continue;
    }
    m_LineCaps.dwLineFeatures |= feature.dwCapsFeature;
    m_LineStatus.dwLineFeatures |= feature.dwStatusFeature;
    m_LineCaps.dwDevCapFlags |= feature.dwDevCapFlag;
  }

  CServiceProvider::AddDeviceClass(GetDeviceClassArray(), "tapi/line", STRINGFORMAT_BINARY,
                                   &dwLineDeviceID, sizeof(DWORD), INVALID_HANDLE_VALUE);
  CServiceProvider::AddDeviceClass(GetDeviceClassArray(), "tapi/providerid", STRINGFORMAT_BINARY,
                                   &dwProviderID, sizeof(DWORD), INVALID_HANDLE_VALUE);
}

DWORD CTSPILineConnection::GetPermanentDeviceID() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_LineCaps.dwPermanentLineID;
}

void CTSPILineConnection::OnIntervalTimer() {}

// --- Open and close ---

void CTSPILineConnection::RestoreProviderVersion() {
  CServiceProvider* pSP = GetSP();
  SetNegotiatedVersion(pSP != nullptr ? pSP->GetSupportedVersion() : TAPIVER_20);
}

LONG CTSPILineConnection::OpenLine(HTAPILINE htLine, LINEEVENT lpfnEventProc, DWORD dwTSPIVersion) {
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    if (m_htLine != nullptr || m_bClosing) return LINEERR_ALLOCATED;
    {
      std::lock_guard<std::mutex> gate(m_mxDeliveries);
      m_lpfnEventProc = lpfnEventProc;
      m_htLine = htLine;
    }
    SetNegotiatedVersion(dwTSPIVersion);
  }
  // The device may wait for the switch here; the line's lock stays free meanwhile.
  if (OpenConnection()) return 0;

  CSingleLock lock(GetSyncObject(), TRUE);
  {
    std::lock_guard<std::mutex> gate(m_mxDeliveries);
    m_lpfnEventProc = nullptr;
    m_htLine = nullptr;
  }
  RestoreProviderVersion();
  return LINEERR_RESOURCEUNAVAIL;
}

LONG CTSPILineConnection::CloseLine() {
  DWORD dwDevCapFlags = 0;
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    if (m_htLine == nullptr || m_bClosing) return LINEERR_OPERATIONFAILED;
    m_bClosing = true;
    dwDevCapFlags = m_LineCaps.dwDevCapFlags;
  }
  if ((dwDevCapFlags & LINEDEVCAPFLAGS_CLOSEDROP) != 0) DropAllCalls();
  // A drop the switch never answers must not keep the line closing (and refusing opens) for ever.
  WaitOrFailPendingRequests(nullptr, REQUEST_LINEDROP);
  CompleteMatchingRequests(nullptr, REQUEST_ANY, LINEERR_OPERATIONFAILED, FALSE, nullptr);
  ReportLineDevState(LINEDEVSTATE_CLOSE, 0, 0);
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    {
      std::lock_guard<std::mutex> gate(m_mxDeliveries);
      m_lpfnEventProc = nullptr;
      m_htLine = nullptr;
      MarkDeliveriesClosed(nullptr);
    }
    m_dwLineStates = 0;
    m_nActiveCalls = 0;
    RestoreProviderVersion();
  }
  WaitForDeliveries(nullptr);
  CloseConnection();
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    if ((GetFlags() & CONNFLAG_REMOVEONCLOSE) != 0) SetFlags(CONNFLAG_REMOVED);
    m_bClosing = false;
  }
  return 0;
}

// --- Events ---

LINEEVENT CTSPILineConnection::BeginDelivery(Delivery& delivery, HTAPILINE& htLine,
                                             HTAPICALL* phtCall) {
  std::lock_guard<std::mutex> gate(m_mxDeliveries);
  const LINEEVENT lpfnEventProc = m_lpfnEventProc.load();
  if (lpfnEventProc == nullptr) return nullptr;
  htLine = m_htLine.load();
  if (phtCall != nullptr) {
    *phtCall = delivery.pCall->GetCallHandle();
    if (*phtCall == nullptr) return nullptr;  // TAPI does not know the call, or closed it
  }
  m_deliveries.push_back(&delivery);
  ++t_nDeliveriesInside;
  return lpfnEventProc;
}

HTAPICALL CTSPILineConnection::EndDelivery(Delivery& delivery, HTAPICALL htNew) {
  std::lock_guard<std::mutex> gate(m_mxDeliveries);
  --t_nDeliveriesInside;
  if (delivery.bCallClosed) htNew = nullptr;
  if (htNew != nullptr) delivery.pCall->SetCallHandle(htNew);
  std::erase(m_deliveries, &delivery);
  // Under the gate: a close that returns may let the line go.
  m_cvDeliveries.notify_all();
  return htNew;
}

void CTSPILineConnection::MarkDeliveriesClosed(CTSPICallAppearance* pCall) {
  for (Delivery* pDelivery : m_deliveries) {
    if (pCall == nullptr || pDelivery->pCall == pCall) pDelivery->bCallClosed = true;
  }
}

void CTSPILineConnection::WaitForDeliveries(CTSPICallAppearance* pCall) {
  if (t_nDeliveriesInside > 0) return;
  std::unique_lock<std::mutex> gate(m_mxDeliveries);
  m_cvDeliveries.wait(gate, [this, pCall] {
    return std::none_of(m_deliveries.begin(), m_deliveries.end(), [pCall](Delivery* pDelivery) {
      return pCall == nullptr || pDelivery->pCall == pCall;
    });
  });
}

void CTSPILineConnection::SendLineEvent(CTSPICallAppearance* pCall, DWORD dwMsg, DWORD_PTR dwParam1,
                                        DWORD_PTR dwParam2, DWORD_PTR dwParam3) {
  Delivery delivery{pCall, false};
  HTAPILINE htLine = nullptr;
  HTAPICALL htCall = nullptr;
  const LINEEVENT lpfnEventProc =
      BeginDelivery(delivery, htLine, pCall != nullptr ? &htCall : nullptr);
  if (lpfnEventProc == nullptr) return;
  if (dwMsg == LINE_CREATEDIALOGINSTANCE) {
    CTSPIDevice* pDevice = GetDevice();
    htLine =
        reinterpret_cast<HTAPILINE>(pDevice != nullptr ? pDevice->GetProviderHandle() : nullptr);
  } else if (dwMsg == LINE_SENDDIALOGINSTANCEDATA) {
    htLine = reinterpret_cast<HTAPILINE>(dwParam3);
    dwParam3 = 0;
  }
  lpfnEventProc(htLine, htCall, dwMsg, dwParam1, dwParam2, dwParam3);
  EndDelivery(delivery);
}

HTAPICALL CTSPILineConnection::AnnounceNewCall(CTSPICallAppearance* pCall) {
  Delivery delivery{pCall, false};
  HTAPILINE htLine = nullptr;
  const LINEEVENT lpfnEventProc = BeginDelivery(delivery, htLine, nullptr);
  if (lpfnEventProc == nullptr) return nullptr;
  // TAPI writes its handle into a pointer-sized variable.
  HTAPICALL htNew = nullptr;
  lpfnEventProc(htLine, nullptr, LINE_NEWCALL, reinterpret_cast<DWORD_PTR>(pCall),
                reinterpret_cast<DWORD_PTR>(&htNew), 0);
  return EndDelivery(delivery, htNew);
}

void CTSPILineConnection::ForgetCallHandle(CTSPICallAppearance* pCall) {
  {
    std::lock_guard<std::mutex> gate(m_mxDeliveries);
    pCall->SetCallHandle(nullptr);
    MarkDeliveriesClosed(pCall);
  }
  WaitForDeliveries(pCall);
}

void CTSPILineConnection::ReportLineDevState(DWORD dwState, DWORD_PTR dwParam2,
                                             DWORD_PTR dwParam3) {
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    if (m_htLine == nullptr) return;
    // TAPI must always learn that it has to start over.
    if ((dwState & m_dwLineStates) == 0 && (dwState & LINEDEVSTATE_REINIT) == 0) return;
  }
  SendLineEvent(nullptr, LINE_LINEDEVSTATE, dwState, dwParam2, dwParam3);
}

void CTSPILineConnection::ReportConfigChanged() {
  SendLineEvent(nullptr, LINE_LINEDEVSTATE, LINEDEVSTATE_CONFIGCHANGE, 0, 0);
}

LONG CTSPILineConnection::SetStatusMessages(DWORD dwLineStates, DWORD dwAddressStates) {
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    m_dwLineStates = dwLineStates;
  }
  SetAddressStatusMessages(dwAddressStates);
  return 0;
}

// --- Identifiers and what the library does not offer ---

LONG CTSPILineConnection::GetID(LPCSTR pszDeviceClass, LPVARSTRING lpDeviceID,
                                HANDLE hTargetProcess) {
  CSingleLock lock(GetSyncObject(), TRUE);
  DEVICECLASSINFO* pDevClass =
      CServiceProvider::FindDeviceClass(GetDeviceClassArray(), pszDeviceClass);
  if (pDevClass == nullptr) return LINEERR_INVALDEVICECLASS;
  return CServiceProvider::FillVarStringFromDeviceClass(pDevClass, lpDeviceID, hTargetProcess);
}

LONG CTSPILineConnection::GetDevConfig(LPVARSTRING, LPCSTR) {
  return LINEERR_OPERATIONUNAVAIL;
}

LONG CTSPILineConnection::SetDevConfig(LPCSTR, LPVOID const, DWORD) {
  return LINEERR_OPERATIONUNAVAIL;
}

LONG CTSPILineConnection::DevSpecificFeature(DRV_REQUESTID, DWORD, LPVOID, DWORD) {
  return LINEERR_OPERATIONUNAVAIL;
}

LONG CTSPILineConnection::GetIcon(LPCSTR, HICON*) {
  return LINEERR_OPERATIONUNAVAIL;
}

LONG CTSPILineConnection::GenericDialogData(TSPIDIALOGINSTANCE*, LPVOID, DWORD) {
  return 0;
}

void CTSPILineConnection::ExecuteMediaControl(CTSPICallAppearance*, DWORD) {}

DWORD CTSPILineConnection::FilterAddressFeatures(CTSPIAddressInfo*, DWORD dwFeatures) {
  return dwFeatures;
}

void CTSPILineConnection::OnCallDeleted(CTSPICallAppearance*) {}

DWORD CTSPILineConnection::FilterCallFeatures(CTSPICallAppearance* pCall, DWORD dwFeatures) {
  CServiceProvider* pSP = GetSP();
  return pSP != nullptr ? pSP->FilterCallFeatures(pCall, dwFeatures) : dwFeatures;
}

DWORD CTSPILineConnection::FilterLineFeatures(DWORD dwFeatures) {
  return dwFeatures;
}

// --- Look-ups ---

CTSPIAddressInfo* CTSPILineConnection::GetAddress(DWORD dwAddressID) const {
  CSingleLock lock(GetSyncObject(), TRUE);
  if (dwAddressID >= static_cast<DWORD>(m_arrAddresses.GetSize())) return nullptr;
  return AsAddress(m_arrAddresses[dwAddressID]);
}

DWORD CTSPILineConnection::GetAddressCount() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return static_cast<DWORD>(m_arrAddresses.GetSize());
}

INT_PTR CTSPILineConnection::GetTerminalCount() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_arrTerminals.GetSize();
}

HTAPILINE CTSPILineConnection::GetLineHandle() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_htLine;
}

LINEEVENT CTSPILineConnection::GetLineEventCallback() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_lpfnEventProc;
}

DWORD CTSPILineConnection::GetLineStateMask() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_dwLineStates;
}

DWORD CTSPILineConnection::GetDefaultMediaDetection() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_dwDefaultMediaDetection;
}

int CTSPILineConnection::GetActiveCallCount() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_nActiveCalls;
}

LINEDEVCAPS CTSPILineConnection::GetLineDevCaps() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_LineCaps;
}

LINEDEVSTATUS CTSPILineConnection::GetLineDevStatus() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_LineStatus;
}
