// CTSPIConnection: construction, fields and the hooks that pass through the device to the
// provider. The queue is in connection_queue.cpp and connection_match.cpp.
#include "framework/connection.h"

#include <vector>

#include "framework/device.h"
#include "framework/service_provider.h"
#include "platform/afxmt.h"

IMPLEMENT_DYNAMIC(CTSPIConnection, CTSPIBaseObject)

CTSPIConnection::CTSPIConnection() {
  CServiceProvider* pSP = GetSP();
  m_dwNegotiatedVersion = (pSP != nullptr) ? pSP->GetSupportedVersion() : TAPIVER_20;
}

CTSPIConnection::~CTSPIConnection() {
  std::vector<CTSPIRequest*> requests;
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    while (!m_lstAsynchRequests.IsEmpty()) {
      requests.push_back(static_cast<CTSPIRequest*>(m_lstAsynchRequests.RemoveHead()));
    }
  }
  // Each request's destructor signals its event and releases its call.
  for (CTSPIRequest* pReq : requests) pReq->Release();
}

void CTSPIConnection::Init(CTSPIDevice* pDevice, DWORD dwDeviceID) {
  m_pDevice = pDevice;
  m_dwDeviceID = dwDeviceID;
}

BOOL CTSPIConnection::OpenConnection() {
  return (m_pDevice != nullptr) ? m_pDevice->OpenConnection(this) : FALSE;
}

BOOL CTSPIConnection::CloseConnection() {
  return (m_pDevice != nullptr) ? m_pDevice->CloseConnection(this) : FALSE;
}

BOOL CTSPIConnection::SendConnectionData(LPCVOID lpBuff, DWORD dwSize) {
  return (m_pDevice != nullptr) ? m_pDevice->SendConnectionData(this, lpBuff, dwSize) : FALSE;
}

BOOL CTSPIConnection::ProcessData(DWORD dwData, LPCVOID lpBuff, DWORD dwSize) {
  CServiceProvider* pSP = GetSP();
  return (pSP != nullptr) ? pSP->ProcessData(this, dwData, lpBuff, dwSize) : FALSE;
}

BOOL CTSPIConnection::AcceptNewRequest(CTSPIRequest* pReq, int& nPos) {
  if (m_pDevice != nullptr) return m_pDevice->AcceptNewRequest(this, pReq, nPos);
  CServiceProvider* pSP = GetSP();
  return (pSP != nullptr) ? pSP->AcceptNewRequest(this, pReq, nPos) : TRUE;
}

void CTSPIConnection::OnRequestCancelled(CTSPIRequest* pReq) {
  if (m_pDevice != nullptr) {
    m_pDevice->OnRequestCancelled(pReq);
  } else if (CServiceProvider* pSP = GetSP()) {
    pSP->OnRequestCancelled(pReq);
  }
}

void CTSPIConnection::OnIntervalTimer() {
  if (CServiceProvider* pSP = GetSP()) pSP->OnIntervalTimer(this);
}

DWORD CTSPIConnection::GetDeviceID() const {
  return m_dwDeviceID.load();
}

void CTSPIConnection::SetDeviceID(DWORD dwDeviceID) {
  if (m_pDevice == nullptr) {
    m_dwDeviceID = dwDeviceID;
    return;
  }
  // Under the device's lock, so that its look-ups never see the ID and its index disagree.
  CSingleLock lock(m_pDevice->GetSyncObject(), TRUE);
  const DWORD dwOldID = m_dwDeviceID.exchange(dwDeviceID);
  m_pDevice->OnDeviceIDChanged(this, dwOldID);
}

CString CTSPIConnection::GetName() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_strName;
}

void CTSPIConnection::SetName(LPCSTR pszName) {
  CSingleLock lock(GetSyncObject(), TRUE);
  m_strName = pszName;
}

CString CTSPIConnection::GetSwitchInfo() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_strSwitchInfo;
}

void CTSPIConnection::SetSwitchInfo(LPCSTR pszInfo) {
  CSingleLock lock(GetSyncObject(), TRUE);
  m_strSwitchInfo = pszInfo;
}

DWORD CTSPIConnection::GetNegotiatedVersion() const {
  return m_dwNegotiatedVersion.load();
}

void CTSPIConnection::SetNegotiatedVersion(DWORD dwVersion) {
  m_dwNegotiatedVersion = dwVersion;
}

DWORD CTSPIConnection::GetFlags() const {
  return m_dwFlags.load();
}

void CTSPIConnection::SetFlags(DWORD dwFlags) {
  m_dwFlags.fetch_or(dwFlags);
}

void CTSPIConnection::ClearFlags(DWORD dwFlags) {
  m_dwFlags.fetch_and(~dwFlags);
}
