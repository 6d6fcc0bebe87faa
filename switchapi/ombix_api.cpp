#include "switchapi/ombix_api.h"

#include <cstring>

#include "platform/win32.h"
#include "platform/winsock.h"
#include "switchapi/ombix_socket.h"

namespace {

// A server address as dotted text, in host order; 0 (no server) for null, empty or unparsable
// text, which the parser reports as INADDR_NONE, never to be taken for 255.255.255.255.
DWORD ParseServerAddr(LPCSTR pszAddr) {
  const DWORD dwAddr = winsock::inet_addr(pszAddr);
  return dwAddr == winsock::INADDR_NONE ? 0 : winsock::ntohl(dwAddr);
}

void CopyClientText(char (&szField)[64], LPCSTR pszText) {
  if (pszText == nullptr) return;
  std::memset(szField, 0, sizeof szField);
  std::strncpy(szField, pszText, sizeof szField - 1);
}

}  // namespace

COmbixAPI::COmbixAPI() : COmbixAPI(OMBIXLINKOPTIONS{}) {}

COmbixAPI::COmbixAPI(const OMBIXLINKOPTIONS& options)
    : m_options(options),
      m_dwAckTimeout(options.dwAckTimeout),
      m_dwPingTimer(options.dwPingTimer),
      m_dwMaxRetries(options.dwMaxRetries) {}

COmbixAPI::~COmbixAPI() {
  // Normally done by the derived class already; the worker disconnects as it ends.
  StopThread();
  SendDisconnect();
}

BOOL COmbixAPI::Start(LPCSTR pszPrimary, LPCSTR pszSecondary, LPCSTR pszClient,
                      LPCSTR pszClientVersion) {
  return StartSession(ParseServerAddr(pszPrimary), ParseServerAddr(pszSecondary), pszClient,
                      pszClientVersion);
}

BOOL COmbixAPI::StartSession(DWORD dwPrimary, DWORD dwSecondary, LPCSTR pszClient,
                             LPCSTR pszClientVersion) {
  {
    LinkLock lock(m_mxLink);
    m_dwPrimaryAddr = dwPrimary;
    m_dwSecondaryAddr = dwSecondary;
    CopyClientText(m_szClient, pszClient);
    CopyClientText(m_szClientVersion, pszClientVersion);
  }
  return StartThread();
}

DWORD COmbixAPI::GetPrimaryAddr() {
  LinkLock lock(m_mxLink);
  return m_dwPrimaryAddr;
}

DWORD COmbixAPI::GetSecondaryAddr() {
  LinkLock lock(m_mxLink);
  return m_dwSecondaryAddr;
}

BOOL COmbixAPI::StartThread() {
  if (IsWorkerThread()) return FALSE;
  std::lock_guard<std::mutex> control(m_mxControl);
  if (m_hThread != nullptr) {
    Stop();
    // 10 times 250 ms, as an earlier worker has always been given.
    if (WaitForSingleObject(m_hThread, 10 * 250) != WAIT_OBJECT_0) return FALSE;
    CloseHandle(m_hThread);
    m_hThread = nullptr;
  }
  {
    LinkLock lock(m_mxLink);
    m_bStop.store(false);
  }
  m_hThread = CreateThread(nullptr, 0, &COmbixAPI::ThreadProc, this, 0, nullptr);
  return m_hThread != nullptr;
}

void COmbixAPI::Stop() {
  {
    LinkLock lock(m_mxLink);
    m_bStop.store(true);
    // The worker may be waiting for a datagram; the socket is replaced only under this lock.
    if (m_pSocket != nullptr) m_pSocket->Wake();
  }
  m_cvStop.notify_all();
}

void COmbixAPI::StopThread() {
  Stop();
  if (IsWorkerThread()) return;
  std::lock_guard<std::mutex> control(m_mxControl);
  if (m_hThread != nullptr) {
    WaitForSingleObject(m_hThread, INFINITE);
    CloseHandle(m_hThread);
    m_hThread = nullptr;
  }
}

BOOL COmbixAPI::IsWorkerThread() const {
  return m_dwWorkerThreadId.load() == GetCurrentThreadId();
}

std::unique_ptr<COmbixSocket> COmbixAPI::CreateSocket() {
  return std::make_unique<COmbixSocket>();
}

void COmbixAPI::OnLoginSucceeded(const COmbixLoginRsp*) {}
void COmbixAPI::OnLoginFailed(const COmbixLoginRsp*) {}
void COmbixAPI::OnMeetMeConferenceEvent(const COmbixMeetMeConferenceEvent*) {}
void COmbixAPI::OnConnectionLost() {}
void COmbixAPI::OnResponse(const COmbixMsg*) {}
void COmbixAPI::OnAgentEvent(const COmbixAgentEvent*) {}
void COmbixAPI::OnCallEvent(const COmbixCallConnectionEvent*) {}
void COmbixAPI::OnCallMediaEvent(const COmbixCallMediaEvent*) {}
void COmbixAPI::OnClientMonitorEvent(const COmbixClientMonitorEvent*) {}
void COmbixAPI::OnPhoneStateEvent(const COmbixPhoneStateEvent*) {}
void COmbixAPI::OnQueueStatsEvent(const COmbixQueueStatsEvent*) {}
void COmbixAPI::OnDataInterfaceEvent(const COmbixDataInterfaceEvent*) {}
