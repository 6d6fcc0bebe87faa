// CTSPIDevice: one provider instance with its lines and phones.
#include "framework/device.h"

#include <type_traits>
#include <vector>

#include "framework/line_connection.h"
#include "framework/phone_connection.h"
#include "framework/request.h"
#include "framework/service_provider.h"
#include "platform/caught_exception.h"

IMPLEMENT_DYNCREATE(CTSPIDevice, CTSPIBaseObject)

CTSPIDevice::CTSPIDevice() : m_evtStop(FALSE, TRUE) {}

CTSPIDevice::~CTSPIDevice() {
  StopIntervalTimer();
  std::vector<CObject*> connections;
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    for (INT_PTR i = 0; i < m_arrLines.GetSize(); ++i) connections.push_back(m_arrLines[i]);
    m_arrLines.RemoveAll();
    for (INT_PTR i = 0; i < m_arrPhones.GetSize(); ++i) connections.push_back(m_arrPhones[i]);
    m_arrPhones.RemoveAll();
    m_idxLines.Clear();
    m_idxPhones.Clear();
    m_mapLineAddresses.clear();
  }
  // Outside the lock: a connection's destructor may call back into its device.
  for (CObject* pConn : connections) delete pConn;
}

// --- Hooks: the connection reaches the provider through its device. ---

BOOL CTSPIDevice::OpenConnection(CTSPIConnection* pConn) {
  CServiceProvider* pSP = GetSP();
  return pSP != nullptr ? pSP->OpenConnection(pConn) : FALSE;
}

BOOL CTSPIDevice::CloseConnection(CTSPIConnection* pConn) {
  CServiceProvider* pSP = GetSP();
  return pSP != nullptr ? pSP->CloseConnection(pConn) : FALSE;
}

BOOL CTSPIDevice::SendConnectionData(CTSPIConnection* pConn, LPCVOID lpBuffer, DWORD dwSize) {
  CServiceProvider* pSP = GetSP();
  return pSP != nullptr ? pSP->SendConnectionData(pConn, lpBuffer, dwSize) : FALSE;
}

BOOL CTSPIDevice::AcceptNewRequest(CTSPIConnection* pConn, CTSPIRequest* pRequest, int& nPosition) {
  CServiceProvider* pSP = GetSP();
  return pSP != nullptr ? pSP->AcceptNewRequest(pConn, pRequest, nPosition) : TRUE;
}

void CTSPIDevice::OnRequestCancelled(CTSPIRequest* pRequest) {
  if (CServiceProvider* pSP = GetSP()) pSP->OnRequestCancelled(pRequest);
}

LONG CTSPIDevice::GenericDialogData(LPVOID, DWORD) {
  return 0;
}

// --- Initialisation ---

// Each connection is appended under the device's lock (its index is its position), then
// initialised, then indexed by the ID its initialisation gave it. FALSE when the class yields no
// such connection; those made so far stay in the array.
template <class TConnection>
BOOL CTSPIDevice::CreateConnections(CRuntimeClass* pClass, DWORD dwDeviceIDBase, DWORD dwCount) {
  constexpr BOOL bPhone = std::is_base_of_v<CTSPIPhoneConnection, TConnection> ? TRUE : FALSE;
  CObArray& arrConnections = ArrayOf(bPhone);
  CDeviceIDIndex& index = IndexOf(bPhone);
  {
    // Connections of an earlier Init keep theirs; the new ones then go to the table.
    CSingleLock lock(GetSyncObject(), TRUE);
    if (arrConnections.IsEmpty()) index.SetBase(dwDeviceIDBase);
  }
  for (DWORD i = 0; i < dwCount; ++i) {
    CObject* pObject = pClass != nullptr ? pClass->CreateObject() : nullptr;
    auto* pConn = dynamic_cast<TConnection*>(pObject);
    if (pConn == nullptr) {
      delete pObject;
      return FALSE;
    }
    INT_PTR nIndex = 0;
    {
      CSingleLock lock(GetSyncObject(), TRUE);
      nIndex = arrConnections.Add(pConn);
      if (!bPhone) m_mapLineAddresses.emplace(static_cast<const void*>(pConn), nIndex);
    }
    pConn->Init(this, dwDeviceIDBase + i, static_cast<WORD>(nIndex), 0);
    CSingleLock lock(GetSyncObject(), TRUE);
    // Its initialisation may have indexed it already (through SetDeviceID).
    const DWORD dwDeviceID = pConn->GetDeviceID();
    index.Forget(nIndex, dwDeviceID);
    index.Note(nIndex, dwDeviceID);
  }
  return TRUE;
}

BOOL CTSPIDevice::Init(DWORD dwProviderID, DWORD dwLineDeviceIDBase, DWORD dwPhoneDeviceIDBase,
                       DWORD dwNumLines, DWORD dwNumPhones, HPROVIDER hProvider,
                       ASYNC_COMPLETION lpfnCompletionProc) {
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    m_dwProviderID = dwProviderID;
    m_lpfnCompletionProc = lpfnCompletionProc;
    m_hProvider = hProvider;
  }
  CServiceProvider* pSP = GetSP();
  if (pSP == nullptr) return dwNumLines == 0 && dwNumPhones == 0 ? TRUE : FALSE;
  return CreateConnections<CTSPILineConnection>(pSP->GetLineClass(), dwLineDeviceIDBase,
                                                dwNumLines) &&
         CreateConnections<CTSPIPhoneConnection>(pSP->GetPhoneClass(), dwPhoneDeviceIDBase,
                                                 dwNumPhones);
}

// --- Completion ---

void CTSPIDevice::ReportRequestResult(LONG lResult, CTSPIRequest* pRequest) {
  if (pRequest == nullptr) return;
  const DRV_REQUESTID dwRequestID = pRequest->GetRequestID();
  const ASYNC_COMPLETION lpfnCompletion = GetCompletionProc();
  if (dwRequestID != 0 && lpfnCompletion != nullptr) lpfnCompletion(dwRequestID, lResult);
}

// --- Look-ups ---

CTSPIConnection* CTSPIDevice::GetConnectionByIndex(const CObArray& arr, INT_PTR nIndex) {
  CSingleLock lock(GetSyncObject(), TRUE);
  if (nIndex < 0 || nIndex >= arr.GetSize()) return nullptr;
  return static_cast<CTSPIConnection*>(arr[nIndex]);
}

CTSPILineConnection* CTSPIDevice::GetLineByIndex(INT_PTR nIndex) {
  return static_cast<CTSPILineConnection*>(GetConnectionByIndex(m_arrLines, nIndex));
}

CTSPIPhoneConnection* CTSPIDevice::GetPhoneByIndex(INT_PTR nIndex) {
  return static_cast<CTSPIPhoneConnection*>(GetConnectionByIndex(m_arrPhones, nIndex));
}

CTSPILineConnection* CTSPIDevice::FindLineByDeviceID(DWORD dwDeviceID) {
  CSingleLock lock(GetSyncObject(), TRUE);
  const INT_PTR nIndex = m_idxLines.Find(m_arrLines, dwDeviceID);
  return nIndex >= 0 ? static_cast<CTSPILineConnection*>(m_arrLines[nIndex]) : nullptr;
}

CTSPIPhoneConnection* CTSPIDevice::FindPhoneByDeviceID(DWORD dwDeviceID) {
  CSingleLock lock(GetSyncObject(), TRUE);
  const INT_PTR nIndex = m_idxPhones.Find(m_arrPhones, dwDeviceID);
  return nIndex >= 0 ? static_cast<CTSPIPhoneConnection*>(m_arrPhones[nIndex]) : nullptr;
}

CTSPILineConnection* CTSPIDevice::FindLineByAddress(const void* pLine) {
  CSingleLock lock(GetSyncObject(), TRUE);
  const auto it = m_mapLineAddresses.find(pLine);
  return it != m_mapLineAddresses.end() ? static_cast<CTSPILineConnection*>(m_arrLines[it->second])
                                        : nullptr;
}

void CTSPIDevice::OnDeviceIDChanged(CTSPIConnection* pConn, DWORD dwOldID) {
  CSingleLock lock(GetSyncObject(), TRUE);
  for (const BOOL bPhone : {FALSE, TRUE}) {
    CDeviceIDIndex& index = IndexOf(bPhone);
    const INT_PTR nIndex = index.Locate(ArrayOf(bPhone), pConn, dwOldID);
    if (nIndex < 0) continue;
    index.Forget(nIndex, dwOldID);
    index.Note(nIndex, pConn->GetDeviceID());
    return;
  }
}

INT_PTR CTSPIDevice::GetLineCount() {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_arrLines.GetSize();
}

INT_PTR CTSPIDevice::GetPhoneCount() {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_arrPhones.GetSize();
}

DWORD CTSPIDevice::GetProviderID() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_dwProviderID;
}

HPROVIDER CTSPIDevice::GetProviderHandle() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_hProvider;
}

ASYNC_COMPLETION CTSPIDevice::GetCompletionProc() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_lpfnCompletionProc;
}

// --- Routing ---

BOOL CTSPIDevice::RouteData(WORD wConnID, DWORD dwData, LPCVOID lpBuffer, DWORD dwSize) {
  if (wConnID == 0) {
    for (INT_PTR i = 0; i < GetLineCount(); ++i) {
      CTSPIConnection* pConn = GetLineByIndex(i);
      if (pConn != nullptr && pConn->ProcessData(dwData, lpBuffer, dwSize) && lpBuffer != nullptr) {
        return TRUE;
      }
    }
    for (INT_PTR i = 0; i < GetPhoneCount(); ++i) {
      CTSPIConnection* pConn = GetPhoneByIndex(i);
      if (pConn != nullptr && pConn->ProcessData(dwData, lpBuffer, dwSize) && lpBuffer != nullptr) {
        return TRUE;
      }
    }
    return FALSE;
  }
  const INT_PTR nIndex = static_cast<INT_PTR>(wConnID & ~ROUTE_PHONE_FLAG) - 1;
  CTSPIConnection* pConn = (wConnID & ROUTE_PHONE_FLAG) != 0
                               ? static_cast<CTSPIConnection*>(GetPhoneByIndex(nIndex))
                               : static_cast<CTSPIConnection*>(GetLineByIndex(nIndex));
  return pConn != nullptr ? pConn->ProcessData(dwData, lpBuffer, dwSize) : FALSE;
}

// --- Interval service ---

UINT CTSPIDevice::IntervalThreadProc(LPVOID pParam) {
  static_cast<CTSPIDevice*>(pParam)->RunIntervalTimer();
  return 0;
}

BOOL CTSPIDevice::StartIntervalTimer(DWORD dwMsecs) {
  CSingleLock lock(GetSyncObject(), TRUE);
  if (dwMsecs == 0 || m_pIntervalThread != nullptr) return FALSE;
  m_dwIntervalTimer = dwMsecs;
  m_evtStop.ResetEvent();
  m_pIntervalThread = AfxBeginThread(IntervalThreadProc, this);
  return m_pIntervalThread != nullptr ? TRUE : FALSE;
}

void CTSPIDevice::StopIntervalTimer() {
  CWinThread* pThread = nullptr;
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    pThread = m_pIntervalThread;
    m_pIntervalThread = nullptr;
  }
  if (pThread == nullptr) return;
  // Never forced to end: the loop waits on the stop event and ends as soon as it is set. The
  // wait that sees the end also deletes the thread object.
  m_evtStop.SetEvent();
  if (pThread->m_nThreadID != GetCurrentThreadId()) {
    WaitForSingleObject(pThread->m_hThread, INFINITE);
  }
}

DWORD CTSPIDevice::GetIntervalTimer() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_dwIntervalTimer;
}

void CTSPIDevice::RunIntervalTimer() {
  for (;;) {
    if (WaitForSingleObject(m_evtStop, GetIntervalTimer()) != WAIT_TIMEOUT) return;
    try {
      ServiceIntervalTimers();
    } catch (...) {
      // A failing hook ends this pass only; the service goes on.
      LogCaughtException("interval timer thread");
    }
  }
}

void CTSPIDevice::ServiceIntervalTimers() {
  for (INT_PTR i = 0; i < GetLineCount(); ++i) {
    CTSPIConnection* pConn = GetLineByIndex(i);
    if (pConn != nullptr && (pConn->GetFlags() & CONNFLAG_REMOVED) == 0) pConn->OnIntervalTimer();
  }
  for (INT_PTR i = 0; i < GetPhoneCount(); ++i) {
    CTSPIConnection* pConn = GetPhoneByIndex(i);
    if (pConn != nullptr && (pConn->GetFlags() & CONNFLAG_REMOVED) == 0) pConn->OnIntervalTimer();
  }
}
