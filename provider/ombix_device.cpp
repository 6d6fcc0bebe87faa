#include "provider/ombix_device.h"

#include "provider/ombix_line.h"
#include "provider/ombix_provider.h"
#include "switchapi/ombix_message_types.h"

IMPLEMENT_DYNCREATE(COmbixDevice, CTSPIDevice)

COmbixDevice::COmbixDevice() : COmbixDevice(OMBIXLINKOPTIONS{}, kOmbixLoginWait) {}

COmbixDevice::COmbixDevice(const OMBIXLINKOPTIONS& options, DWORD dwLoginWait)
    : COmbixAPI(options), m_dwLoginWait(dwLoginWait), m_evtLoginDone(FALSE, TRUE) {}

COmbixDevice::~COmbixDevice() {
  // The worker calls into this object and its lines until it is joined; so may a line's
  // resynchronisation thread, which must end before the framework deletes the lines.
  StopThread();
  // Nothing routes events any more; the lines go after this object's members.
  m_monitors.Clear();
  for (INT_PTR i = 0; i < GetLineCount(); ++i) {
    if (COmbixLine* pLine = GetOmbixLine(i)) pLine->StopResync();
  }
}

BOOL COmbixDevice::OpenConnection(CTSPIConnection*) {
  ++m_dwOpenCount;
  if (IsLoggedIn()) return TRUE;
  DWORD dwIdle = 0;
  if (!m_dwConnectInProgress.compare_exchange_strong(dwIdle, 1)) return TRUE;
  m_evtLoginDone.ResetEvent();

  CString strPrimary;
  CString strSecondary;
  if (COmbixProvider* pSP = GetOmbixSP()) {
    strPrimary = pSP->GetPrimaryServer();
    strSecondary = pSP->GetSecondaryServer();
  }
  Start(strPrimary, strSecondary, kOmbixClientName, kOmbixClientVersion);
  m_evtLoginDone.Lock(m_dwLoginWait);
  if (!IsLoggedIn()) m_dwOpenCount.store(0);
  return TRUE;
}

void COmbixDevice::CloseSession() {
  DWORD dwCount = m_dwOpenCount.load();
  while (dwCount > 0 && !m_dwOpenCount.compare_exchange_weak(dwCount, dwCount - 1)) {
  }
  if (m_dwOpenCount.load() != 0 || !IsLoggedIn()) return;
  m_dwConnectInProgress.store(0);
  for (INT_PTR i = 0; i < GetLineCount(); ++i) {
    if (COmbixLine* pLine = GetOmbixLine(i)) {
      MonitorStop(pLine->GetDeviceID(), pLine->GetDeviceString());
    }
  }
  Stop();
  for (INT_PTR i = 0; i < GetLineCount(); ++i) {
    if (COmbixLine* pLine = GetOmbixLine(i)) pLine->ForgetMonitor();
  }
}

void COmbixDevice::OnLoginSucceeded(const COmbixLoginRsp* pRsp) {
  m_dwConnectInProgress.store(0);
  m_dwLastLoginError.store(pRsp->dwError);
  m_evtLoginDone.SetEvent();
  for (INT_PTR i = 0; i < GetLineCount(); ++i) {
    if (COmbixLine* pLine = GetOmbixLine(i)) {
      pLine->SetInService();
      pLine->SetSwitchInfo(pRsp->strServerVersion);
      pLine->RestartMonitor();
    }
  }
}

void COmbixDevice::OnLoginFailed(const COmbixLoginRsp* pRsp) {
  m_dwLastLoginError.store(pRsp->dwError);
  m_dwConnectInProgress.store(0);
  m_evtLoginDone.SetEvent();
  for (INT_PTR i = 0; i < GetLineCount(); ++i) {
    if (COmbixLine* pLine = GetOmbixLine(i)) pLine->SetOutOfService(FALSE);
  }
}

void COmbixDevice::OnConnectionLost() {
  // The link logs in again by itself; until it has, an opening line must not restart it.
  m_dwConnectInProgress.store(1);
  for (INT_PTR i = 0; i < GetLineCount(); ++i) {
    if (COmbixLine* pLine = GetOmbixLine(i)) {
      pLine->ForgetMonitor();  // the next session hands out its IDs anew
      pLine->SetOutOfService(TRUE);
    }
  }
}

void COmbixDevice::OnResponse(const COmbixMsg* pMsg) {
  const COmbixRsp* pRsp = OmbixAsResponse(pMsg);
  if (pRsp == nullptr) return;  // a data-interface event or a type the decoder does not know
  auto* pLine = dynamic_cast<COmbixLine*>(FindLineByDeviceID(pRsp->dwInvokeID));
  if (pLine == nullptr) return;
  switch (pRsp->dwMsgType) {
    case OMBIX_HOLD_CALL_RSP:
      pLine->OnHoldCallRsp(pRsp);
      break;
    case OMBIX_MONITOR_START_RSP:
      if (auto* p = dynamic_cast<const COmbixMonitorRsp*>(pRsp)) pLine->OnMonitorStartRsp(p);
      break;
    case OMBIX_QUERY_PHONE_STATE_RSP:
      // The state itself comes as a phone-state event; the line only settles its query.
      pLine->OnResponse(pRsp);
      break;
    case OMBIX_GET_CALL_FORWARDING_RSP:
      if (auto* p = dynamic_cast<const COmbixCallForwardingRsp*>(pRsp)) {
        pLine->OnGetCallForwardingRsp(p);
      }
      break;
    case OMBIX_QUERY_PHONE_CONFIG_RSP:
      if (auto* p = dynamic_cast<const COmbixPhoneConfigRsp*>(pRsp))
        pLine->OnQueryPhoneConfigRsp(p);
      break;
    default:
      pLine->OnResponse(pRsp);
      break;
  }
}

void COmbixDevice::OnCallEvent(const COmbixCallConnectionEvent* pEvent) {
  if (COmbixLine* pLine = FindLineByMonitorID(pEvent->dwMonitorID)) {
    pLine->OnCallConnectionEvent(pEvent);
  }
}

void COmbixDevice::OnPhoneStateEvent(const COmbixPhoneStateEvent* pEvent) {
  if (COmbixLine* pLine = FindLineByMonitorID(pEvent->dwMonitorID)) {
    pLine->OnPhoneStateEvent(pEvent);
  }
}

COmbixLine* COmbixDevice::GetOmbixLine(INT_PTR nIndex) {
  return dynamic_cast<COmbixLine*>(GetLineByIndex(nIndex));
}

COmbixLine* COmbixDevice::FindLineByMonitorID(DWORD dwMonitorID) const {
  // A line without a monitor (ID 0) hears nothing until its monitor start succeeds.
  return m_monitors.Find(dwMonitorID);
}

void COmbixDevice::OnMonitorIDChanged(COmbixLine* pLine, DWORD dwOldID, DWORD dwNewID) {
  if (pLine == nullptr || pLine->GetDevice() != this) return;
  m_monitors.Change(pLine, pLine->GetLineIndex(), dwOldID, dwNewID);
}
