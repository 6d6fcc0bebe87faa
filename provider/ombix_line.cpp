#include "provider/ombix_line.h"

#include <algorithm>
#include <cstring>

#include "framework/address_info.h"
#include "framework/conference_call.h"
#include "framework/device.h"
#include "framework/service_provider.h"
#include "platform/caught_exception.h"
#include "provider/ombix_call.h"
#include "provider/ombix_device.h"
#include "provider/ombix_provider.h"
#include "provider/ombix_settings.h"
#include "switchapi/ombix_message_types.h"
#include "switchapi/ombix_values.h"

IMPLEMENT_DYNCREATE(COmbixLine, CTSPILineConnection)

namespace {

constexpr DWORD kAddrCapFlags = LINEADDRCAPFLAGS_BLOCKIDOVERRIDE | LINEADDRCAPFLAGS_DIALED |
                                LINEADDRCAPFLAGS_ORIGOFFHOOK | LINEADDRCAPFLAGS_DESTOFFHOOK |
                                LINEADDRCAPFLAGS_PARTIALDIAL | LINEADDRCAPFLAGS_FWDSTATUSVALID |
                                LINEADDRCAPFLAGS_FWDBUSYNAADDR | LINEADDRCAPFLAGS_CONFDROP;
static_assert(kAddrCapFlags == 0x2B00F0);

}  // namespace

COmbixLine::COmbixLine() : COmbixLine(OMBIXLINETIMING{}) {}

COmbixLine::COmbixLine(const OMBIXLINETIMING& timing)
    : m_timing(timing), m_evtMonitorStartDone(FALSE, TRUE) {}

COmbixLine::~COmbixLine() {
  // The thread walks this line's calls; it must be gone before anything of the line is.
  StopResync();
}

void COmbixLine::Init(CTSPIDevice* pDevice, DWORD dwLineDeviceID, DWORD dwPos,
                      DWORD_PTR dwItemData) {
  m_dwLineIndex.store(dwPos);
  CTSPILineConnection::Init(pDevice, dwLineDeviceID, dwPos, dwItemData);
  CString strNumber;
  CString strPassword;
  // A provider start has read every line's pair already.
  COmbixProvider* pSP = GetOmbixSP();
  if (pSP == nullptr || pDevice == nullptr ||
      !pSP->TakeStartSettings(pDevice->GetProviderID(), dwPos, strNumber, strPassword)) {
    strNumber = ReadLineString(kLineNumberFormat);
    strPassword = ReadLineString(kLinePasswordFormat);
  }
  const CString strDevice = DeviceStringFromNumber(strNumber);
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    m_strNumber = strNumber;
    m_strPassword = strPassword;
    m_strDeviceString = strDevice;
    m_LineCaps.dwBearerModes = LINEBEARERMODE_SPEECH;
    m_LineCaps.dwMonitorDigitModes = LINEDIGITMODE_DTMF;
    m_LineCaps.dwDevCapFlags = 0;
    m_LineCaps.dwAnswerMode = LINEANSWERMODE_DROP;
  }
  SetName(strNumber);

  CreateAddress(strDevice, strNumber, TRUE, TRUE,
                LINEMEDIAMODE_INTERACTIVEVOICE | LINEMEDIAMODE_DATAMODEM, LINEBEARERMODE_VOICE, 0,
                0, nullptr, 2, 2, 1, 3, 3);
  if (CTSPIAddressInfo* pAddr = GetAddress(0)) {
    pAddr->ChangeAddressCaps([](LINEADDRESSCAPS& caps, LINEADDRESSSTATUS&) {
      caps.dwAddressSharing = LINEADDRESSSHARING_BRIDGEDEXCL;
      caps.dwRemoveFromConfCaps = LINEREMOVEFROMCONF_ANY;
      caps.dwRemoveFromConfState = LINECALLSTATE_IDLE;
      caps.dwTransferModes = LINETRANSFERMODE_TRANSFER | LINETRANSFERMODE_CONFERENCE;
      caps.dwParkModes = LINEPARKMODE_NONDIRECTED;
      caps.dwForwardModes = LINEFORWARDMODE_UNCOND | LINEFORWARDMODE_BUSY | LINEFORWARDMODE_NOANSW;
      caps.dwAddrCapFlags |= kAddrCapFlags;
    });
  }
  // Out of service until a login puts it in: TAPI sees it too.
  SetDevStatusFlags(LINEDEVSTATUSFLAGS_INSERVICE, IsOutOfService() ? FALSE : TRUE);
}

CString COmbixLine::DeviceStringFromNumber(LPCSTR pszNumber) {
  const CString strNumber(pszNumber != nullptr ? pszNumber : "");
  const int nX = strNumber.Find('x');
  if (nX < 0) return strNumber;
  const CString strLeft = strNumber.Left(nX);
  const CString strRight = strNumber.Mid(nX + 1);
  if (strRight.IsEmpty()) return strLeft;
  if (strLeft.GetLength() >= strRight.GetLength() &&
      strLeft.Right(strRight.GetLength()) == strRight) {
    return strLeft;
  }
  return strRight;
}

BOOL COmbixLine::OpenConnection() {
  // From here on the login's restart sends this line's monitor start, once, for the open.
  m_evtMonitorStartDone.ResetEvent();
  m_dwMonitorStartSent.store(0);
  m_dwMonitorStartInProgress.store(1);
  // Opens the device: the first open starts the link and waits for its login.
  CTSPILineConnection::OpenConnection();
  COmbixDevice* pDevice = GetOmbixDevice();
  const DWORD dwLoginError = pDevice != nullptr ? pDevice->GetLastLoginError() : 0;
  if (dwLoginError != 0) {  // shown to the user at the first request
    m_dwLineError.store(dwLoginError);
    m_dwMonitorStartInProgress.store(0);
    return TRUE;
  }
  // A login keeps its error; after a good one, the monitor's answer (which may have come during
  // the device's wait) sets it. Before the login the link would drop the request; the login's
  // restart sends it instead.
  if (pDevice != nullptr && pDevice->IsLoggedIn() && m_dwMonitorStartSent.exchange(1) == 0) {
    SendMonitorStart();
  }
  m_evtMonitorStartDone.Lock(m_timing.dwMonitorStartWait);
  m_dwMonitorStartInProgress.store(0);

  if (pDevice != nullptr) {
    CServiceProvider* pSP = GetSP();
    pDevice->SetPingTimer(pSP != nullptr
                              ? pSP->RegReadDword(GetDevice()->GetProviderID(), kSettingPingTimer,
                                                  kOmbixDefaultPingTimer)
                              : kOmbixDefaultPingTimer);
  }
  return TRUE;
}

void COmbixLine::SetInService() {
  m_dwOutOfService.store(0);
  SetDevStatusFlags(LINEDEVSTATUSFLAGS_INSERVICE, TRUE);
}

void COmbixLine::SetOutOfService(BOOL bReconnect) {
  m_dwReconnectPending.store(bReconnect ? 1 : 0);
  m_dwOutOfService.store(1);
  SetDevStatusFlags(LINEDEVSTATUSFLAGS_INSERVICE, FALSE);
  // Whatever monitor start went out went with the session.
  m_dwMonitorStartSent.store(0);
  if (bReconnect) {
    FailStartedRequests();
    HoldOffResync();
  }
}

void COmbixLine::ForgetMonitor() {
  SetMonitorID(0);
}

void COmbixLine::RestartMonitor() {
  // An open that waits sends nothing before the login; here it is sent for it, once.
  if (m_dwMonitorStartInProgress.load() != 0 && m_dwMonitorStartSent.exchange(1) != 0) return;
  SendMonitorStart();
}

void COmbixLine::SendMonitorStart() {
  COmbixDevice* pDevice = GetOmbixDevice();
  if (pDevice == nullptr) return;
  // The password is read anew each time: the line dialog may have changed it.
  const CString strPassword = ReadLineString(kLinePasswordFormat);
  CString strNumber;
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    m_strPassword = strPassword;
    strNumber = m_strNumber;
  }
  SendOwn(OMBIX_MONITOR_START_RSP, [&](COmbixDevice& d, DWORD id, LPCSTR) {
    d.MonitorStart(id, strNumber, strPassword, "");
  });
}

void COmbixLine::RefuseMonitor(DWORD dwError) {
  m_dwLineError.store(dwError);
  // The ID stays: a monitor the switch gave in this session goes on, and its events with it.
  SetOutOfService(FALSE);
  m_evtMonitorStartDone.SetEvent();
}

void COmbixLine::OnMonitorStartRsp(const COmbixMonitorRsp* pRsp) {
  OMBIXSENT sent;
  TakeSent(OMBIX_MONITOR_START_RSP, sent);
  COmbixDevice* pDevice = GetOmbixDevice();
  COmbixLine* pHolder =
      pDevice != nullptr ? pDevice->FindLineByMonitorID(pRsp->dwMonitorID) : nullptr;
  if (pHolder == this) pHolder = nullptr;
  if (pRsp->dwError == OMBIX_ERROR_DUPLICATE_MONITOR) {
    m_dwLineError.store(0);  // the monitor the switch already has serves
    // Another line of the phone's number holds the monitor: its events are that line's.
    if (pRsp->dwMonitorID != 0) SetMonitorID(pHolder == nullptr ? pRsp->dwMonitorID : 0);
  } else if (pRsp->dwError == 0) {
    m_dwLineError.store(0);
    // The switch gave the ID to this line's phone: whoever held it holds a stale one.
    if (pHolder != nullptr) pHolder->ForgetMonitor();
    SetMonitorID(pRsp->dwMonitorID);
    CSingleLock lock(GetSyncObject(), TRUE);
    m_strDeviceString = pRsp->strDevice;
  } else {
    RefuseMonitor(pRsp->dwError);
    return;
  }

  SendOwn(OMBIX_QUERY_PHONE_STATE_RSP, [](COmbixDevice& d, DWORD id, LPCSTR dev) {
    d.QueryPhoneState(id, dev, "");
  });
  SendOwn(OMBIX_QUERY_PHONE_CONFIG_RSP, [](COmbixDevice& d, DWORD id, LPCSTR dev) {
    d.QueryPhoneConfig(id, dev, "");
  });
  m_evtMonitorStartDone.SetEvent();
  if (m_dwReconnectPending.exchange(0) != 0) StartResync();
}

void COmbixLine::OnPhoneStateEvent(const COmbixPhoneStateEvent* pEvent) {
  const DWORD dwEvent = pEvent->dwEvent;
  if (dwEvent == PHONE_STATE_QUERY || dwEvent == PHONE_STATE_OUT_OF_SERVICE ||
      dwEvent == PHONE_STATE_IN_SERVICE) {
    if (pEvent->dwInService == 0) {
      SetOutOfService(FALSE);
    } else {
      SetInService();
    }
  }
  if (dwEvent == PHONE_STATE_QUERY || dwEvent == PHONE_STATE_MESSAGE_WAITING) {
    // Only this flag: the service state above has set its own.
    SetDevStatusFlags(LINEDEVSTATUSFLAGS_MSGWAIT, pEvent->dwTotalMessages != 0 ? TRUE : FALSE);
  }
  if (dwEvent == PHONE_STATE_QUERY || dwEvent == PHONE_STATE_CALL_FORWARDING) {
    SendOwn(OMBIX_GET_CALL_FORWARDING_RSP,
            [](COmbixDevice& d, DWORD id, LPCSTR dev) { d.GetCallForwarding(id, dev); });
  }
}

void COmbixLine::OnQueryPhoneConfigRsp(const COmbixPhoneConfigRsp* pRsp) {
  OMBIXSENT sent;
  TakeSent(OMBIX_QUERY_PHONE_CONFIG_RSP, sent);
  CTSPIAddressInfo* pAddr = GetAddress(0);
  if (pAddr == nullptr) return;
  // Two of the phone's calls are the active one and the consultation; a phone with fewer has
  // no room for a held call.
  const DWORD dwOnHold = pRsp->dwMaxCalls >= 2 ? pRsp->dwMaxCalls - 2 : 0;
  const DWORD dwConference = pRsp->dwConfLimit;
  pAddr->ChangeAddressCaps([&](LINEADDRESSCAPS& caps, LINEADDRESSSTATUS&) {
    caps.dwMaxNumOnHoldCalls = dwOnHold;
    caps.dwMaxNumConference = dwConference;
  });
  pAddr->NotifyCapsChanged();
}

void COmbixLine::OnGetCallForwardingRsp(const COmbixCallForwardingRsp* pRsp) {
  OMBIXSENT sent;
  TakeSent(OMBIX_GET_CALL_FORWARDING_RSP, sent);
  CTSPIAddressInfo* pAddr = GetAddress(0);
  if (pAddr == nullptr) return;
  pAddr->AddForwardEntry(0, nullptr, nullptr, 0);
  const struct {
    const char* pszTarget;
    DWORD dwMode;
  } entries[] = {{pRsp->strForwardAll, LINEFORWARDMODE_UNCOND},
                 {pRsp->strForwardBusy, LINEFORWARDMODE_BUSY},
                 {pRsp->strForwardNoAnswer, LINEFORWARDMODE_NOANSW}};
  for (const auto& entry : entries) {
    if (entry.pszTarget[0] != '\0')
      pAddr->AddForwardEntry(entry.dwMode, nullptr, entry.pszTarget, 1);
  }
}

void COmbixLine::NoteNamedCall(const COmbixCallConnectionEvent* pEvent) {
  const DWORD dwNumber = pEvent->oidCall.GetCallNumber();
  CSingleLock lock(GetSyncObject(), TRUE);
  // Outside a resynchronisation only the list counts: the names would pile up for nothing.
  if (pEvent->dwEvent != CALL_CONNECTION_LIST && (!m_bNamingCalls || dwNumber == 0)) return;
  if (std::find(m_arrReportedCalls.begin(), m_arrReportedCalls.end(), dwNumber) ==
      m_arrReportedCalls.end()) {
    m_arrReportedCalls.push_back(dwNumber);
  }
}

LONG COmbixLine::GenericDialogData(TSPIDIALOGINSTANCE*, LPVOID lpParams, DWORD dwSize) {
  if (lpParams == nullptr || dwSize != sizeof(LINEINDEXQUERY)) return 0;
  LINEINDEXQUERY query;
  std::memcpy(&query, lpParams, sizeof(query));
  if (query.dwCode != OMBIX_LINEINDEX_QUERY) return 0;
  const LINEINDEXQUERY answer{OMBIX_LINEINDEX_ANSWER, GetLineIndex()};
  std::memcpy(lpParams, &answer, sizeof(answer));
  return 0;
}

std::vector<DWORD> COmbixLine::GetReportedCallNumbers() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_arrReportedCalls;
}

void COmbixLine::AddCallsOf(CTSPIAddressInfo* pAddr, std::vector<CCallRef>& calls) {
  if (pAddr == nullptr) return;
  for (CTSPICallAppearance* pCall : pAddr->SnapshotCalls()) {
    calls.emplace_back(pCall);
    pCall->Release();  // the snapshot's reference; the list holds its own
  }
}

void COmbixLine::StartResync() {
  // The calls held now are the ones in question; a call that begins later is the switch's news.
  std::vector<CCallRef> arrHeld;
  AddCallsOf(GetAddress(0), arrHeld);
  {
    // Only what the switch names from this answer on counts.
    CSingleLock lock(GetSyncObject(), TRUE);
    m_arrReportedCalls.clear();
    m_arrResyncCalls.swap(arrHeld);
    m_bNamingCalls = true;
  }
  arrHeld.clear();  // an earlier note, let go outside the line's lock
  std::unique_lock<std::mutex> lock(m_mxResync);
  if (m_bResyncStop) return;
  m_tpResyncDue =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(m_timing.dwResyncDelay);
  m_bResyncHeldOff = false;
  if (m_bResyncWaiting) return;  // the waiting thread takes the new time
  if (m_thResync.joinable()) {
    // The earlier thread is past its wait: it is ending or idling calls.
    lock.unlock();
    m_thResync.join();
    lock.lock();
  }
  m_bResyncWaiting = true;
  m_thResync = std::thread(&COmbixLine::ResyncThreadMain, this);
}

void COmbixLine::HoldOffResync() {
  std::vector<CCallRef> arrHeld;
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    arrHeld.swap(m_arrResyncCalls);
    m_bNamingCalls = false;
  }
  std::lock_guard<std::mutex> lock(m_mxResync);
  if (m_bResyncWaiting) m_bResyncHeldOff = true;
}

void COmbixLine::ResyncThreadMain() {
  std::unique_lock<std::mutex> lock(m_mxResync);
  while (!m_bResyncStop &&
         (m_bResyncHeldOff || std::chrono::steady_clock::now() < m_tpResyncDue)) {
    if (m_bResyncHeldOff) {
      m_cvResync.wait(lock);
    } else {
      m_cvResync.wait_until(lock, m_tpResyncDue);
    }
  }
  m_bResyncWaiting = false;
  if (m_bResyncStop) return;
  lock.unlock();
  // No exception may end the process: the thread logs it and ends as it would have.
  try {
    ResyncCalls();
  } catch (...) {
    LogCaughtException("resynchronisation thread");
  }
}

void COmbixLine::StopResync() {
  {
    std::lock_guard<std::mutex> lock(m_mxResync);
    m_bResyncStop = true;
  }
  m_cvResync.notify_all();
  if (m_thResync.joinable()) m_thResync.join();
  std::vector<CCallRef> arrHeld;  // let go while the address is still there, after the lock
  CSingleLock lock(GetSyncObject(), TRUE);
  arrHeld.swap(m_arrResyncCalls);
  m_bNamingCalls = false;
}

void COmbixLine::ResyncCalls() {
  // A call that an open is announcing goes idle after TAPI has heard of it, not before.
  std::lock_guard<std::mutex> gate(m_mxCallEvents);
  std::vector<DWORD> arrReported;
  std::vector<CCallRef> arrHeld;
  {
    CSingleLock lock(GetSyncObject(), TRUE);
    arrReported.swap(m_arrReportedCalls);
    arrHeld.swap(m_arrResyncCalls);
    m_bNamingCalls = false;
  }
  auto listed = [&](DWORD dwNumber) {
    return std::find(arrReported.begin(), arrReported.end(), dwNumber) != arrReported.end();
  };
  // The noted calls hold references: a call's lock comes before its address's and line's.
  for (const CCallRef& pCall : arrHeld) {
    const ObjectId oid = OmbixCallId(pCall);
    const DWORD dwNumber = oid.GetCallNumber();
    // A call that fails to go idle is logged; the others still are looked at.
    try {
      bool bKeep = listed(dwNumber) || pCall->GetCallState() == LINECALLSTATE_IDLE;
      // The switch lists a conference by its own id, not by its members'.
      if (!bKeep && pCall->GetCallType() != CALLTYPE_CONFERENCE) {
        if (CTSPIConferenceCall* pConf = pCall->GetConferenceCallRef()) {
          const ObjectId oidConf = OmbixCallId(pConf);
          bKeep = oidConf != ObjectId{} && listed(oidConf.GetCallNumber());
          pConf->Release();
        }
      }
      // A make-call's call that the switch has not named yet cannot be in its list.
      if (!bKeep && oid == ObjectId{}) bKeep = HasRequest(pCall, REQUEST_LINEMAKECALL) != FALSE;
      if (!bKeep) {
        // Its numbers go with it: no later request may act on a call that is gone.
        ForgetCallNumber(dwNumber);
        pCall->ChangeCallState(LINECALLSTATE_IDLE, 0, LINEMEDIAMODE_INTERACTIVEVOICE, TRUE);
      }
    } catch (...) {
      LogCaughtException("resynchronisation thread, a call");
    }
  }
}

CString COmbixLine::ReadLineString(LPCSTR pszFormat, LPCSTR pszDefault) {
  CServiceProvider* pSP = GetSP();
  CTSPIDevice* pDevice = GetDevice();
  if (pSP == nullptr || pDevice == nullptr) return CString(pszDefault);
  return pSP->RegReadString(pDevice->GetProviderID(), LineValueName(pszFormat, GetLineIndex()),
                            pszDefault);
}

COmbixDevice* COmbixLine::GetOmbixDevice() const {
  return dynamic_cast<COmbixDevice*>(GetDevice());
}

void COmbixLine::SetMonitorID(DWORD dwMonitorID) {
  // Under the line's lock, so that the index learns the changes in the order they were made.
  CSingleLock lock(GetSyncObject(), TRUE);
  const DWORD dwOldID = m_dwMonitorID.exchange(dwMonitorID);
  if (dwOldID == dwMonitorID) return;
  if (COmbixDevice* pDevice = GetOmbixDevice()) {
    pDevice->OnMonitorIDChanged(this, dwOldID, dwMonitorID);
  }
}

CString COmbixLine::GetNumber() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_strNumber;
}

CString COmbixLine::GetPassword() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_strPassword;
}

CString COmbixLine::GetDeviceString() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  return m_strDeviceString;
}
