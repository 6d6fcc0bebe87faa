// The link's worker thread: login phase with back-off, receive phase, dispatch.
#include <algorithm>
#include <chrono>
#include <mutex>

#include "platform/caught_exception.h"
#include "platform/win32.h"
#include "platform/winsock.h"
#include "switchapi/ombix_api.h"
#include "switchapi/ombix_decoder.h"
#include "switchapi/ombix_message_types.h"
#include "switchapi/ombix_request_bodies.h"
#include "switchapi/ombix_socket.h"

namespace {

// Login attempts of every link in the process are spaced from the last one.
std::mutex g_mxLoginAttempt;
bool g_bLoginAttempted = false;
DWORD g_dwLastLoginAttempt = 0;

// Receive errors that the link waits through: none, an interrupted wait, the ICMP
// "unreachable" of an earlier send, and a datagram too long for the buffer (which is ignored).
bool IsIgnoredReceiveError(int iError) {
  return iError == 0 || iError == winsock::WSAEINTR || iError == winsock::WSAECONNRESET ||
         iError == winsock::WSAEMSGSIZE;
}

}  // namespace

DWORD COmbixAPI::ThreadProc(LPVOID pParam) {
  auto* pThis = static_cast<COmbixAPI*>(pParam);
  pThis->m_dwWorkerThreadId.store(GetCurrentThreadId());
  // No exception may end the worker (nor the process): it is logged and the worker starts over
  // with a login after a pause, or ends when it was told to stop.
  for (;;) {
    try {
      pThis->WorkerMain();
      break;
    } catch (...) {
      LogCaughtException("link worker thread");
    }
    // The session the exception cut short ends as a lost link ends it: the server is told, and
    // the lines learn of it, before the pause.
    try {
      pThis->SendDisconnect();
    } catch (...) {
      LogCaughtException("link worker thread");
    }
    if (pThis->IsStopping() || pThis->WaitForStop(pThis->m_options.dwBackOffMax)) break;
  }
  pThis->m_dwWorkerThreadId.store(0);
  return 0;
}

void COmbixAPI::WorkerMain() {
  DWORD dwBackOff = 0;
  while (!IsStopping()) {
    if (!SpaceLoginAttempt()) break;
    dwBackOff = static_cast<DWORD>(std::min<ULONGLONG>(
        static_cast<ULONGLONG>(dwBackOff) + m_options.dwBackOffStep, m_options.dwBackOffMax));
    if (Login()) {
      if (IsStopping()) break;
      ReceivePhase();
      dwBackOff = 0;
      continue;
    }
    if (IsStopping()) break;
    if (m_options.pfnBackOff) m_options.pfnBackOff(dwBackOff);
    if (WaitForStop(dwBackOff)) break;
  }
  SendDisconnect();
}

BOOL COmbixAPI::SpaceLoginAttempt() {
  for (;;) {
    DWORD dwWait;
    {
      std::lock_guard<std::mutex> lock(g_mxLoginAttempt);
      const DWORD dwNow = GetTickCount();
      const DWORD dwSince = ElapsedTicks(g_dwLastLoginAttempt, dwNow);
      if (!g_bLoginAttempted || dwSince >= m_options.dwLoginSpacing) {
        g_bLoginAttempted = true;
        g_dwLastLoginAttempt = dwNow;
        return TRUE;
      }
      dwWait = m_options.dwLoginSpacing - dwSince;
    }
    if (WaitForStop(dwWait)) return FALSE;
  }
}

BOOL COmbixAPI::WaitForStop(DWORD dwMilliseconds) {
  LinkLock lock(m_mxLink);
  return m_cvStop.wait_for(lock, std::chrono::milliseconds(dwMilliseconds),
                           [this] { return m_bStop.load(); });
}

BOOL COmbixAPI::Login() {
  DWORD dwPrimary, dwSecondary;
  BYTE abLogin[kOmbixHeaderSize + kOmbixMaxBody];
  COmbixWriter login(abLogin, sizeof abLogin);
  COmbixSocket* pSocket;
  BOOL bLost;
  std::unique_ptr<COmbixSocket> pNewSocket = CreateSocket();  // outside the lock: a derived class's
  {
    LinkLock lock(m_mxLink);
    if (IsStopping()) return FALSE;
    // Nothing of an earlier session may survive into this one: the numbering starts again, and
    // the outstanding number too, so a late acknowledgement of an earlier login is harmless.
    bLost = ResetLocked(lock);
    m_pSocket = std::move(pNewSocket);
    pSocket = m_pSocket.get();
    m_dwNextSendSeq = 1;
    m_dwOutstandingSeq = 0;
    m_dwExpectedRecvSeq = 0;
    dwPrimary = m_dwPrimaryAddr;
    dwSecondary = m_dwSecondaryAddr != dwPrimary ? m_dwSecondaryAddr : 0;
    login.WriteDword(0);  // dwMsgSeq of every login round
    EncodeLoginReq(login, m_szClient, m_szClientVersion);
  }
  if (bLost) OnConnectionLost();  // only if a session was still up, which the worker avoids
  const WORD wPort = m_options.wServerPort;
  BYTE abReceive[kOmbixMaxDatagram];
  for (DWORD dwRound = 0; dwRound < m_dwMaxRetries; ++dwRound) {
    {
      // Sent under the lock with the stop flag looked at: once Stop has returned, no login
      // datagram leaves.
      LinkLock lock(m_mxLink);
      if (IsStopping()) return FALSE;
      m_Trace.TraceSent(login.GetData(), login.GetLength());
      pSocket->Send(login.GetData(), static_cast<int>(login.GetLength()), dwPrimary, wPort);
      pSocket->Send(login.GetData(), static_cast<int>(login.GetLength()), dwSecondary, wPort);
    }
    const DWORD dwRoundStart = GetTickCount();
    while (ElapsedTicks(dwRoundStart, GetTickCount()) < m_dwAckTimeout) {
      DWORD dwFrom = 0;
      const int nLength =
          pSocket->Receive(abReceive, sizeof abReceive, &dwFrom, nullptr, ReceiveWait());
      if (IsStopping()) return FALSE;  // what woke the wait is not looked at
      if (nLength == 0) break;         // nothing within one receive wait: the round ends
      if (nLength < 0) {
        if (!IsIgnoredReceiveError(winsock::WSAGetLastError())) return FALSE;
      } else if (dwFrom != 0 && (dwFrom == dwPrimary || dwFrom == dwSecondary)) {
        const DWORD dwLength = static_cast<DWORD>(nLength);
        m_Trace.TraceReceived(abReceive, dwLength);
        const OMBIXHEADER header = ReadOmbixHeader(abReceive, dwLength);
        if (header.dwMsgSeq == 0 && header.dwMsgType == OMBIX_ACK) {
          LinkLock lock(m_mxLink);
          m_dwLastSendTick = GetTickCount();
          m_dwServerAddr.store(dwFrom);
          return TRUE;
        }
      }
    }
  }
  return FALSE;
}

void COmbixAPI::ReceivePhase() {
  for (;;) {
    std::unique_ptr<COmbixMsg> pMsg = ReceiveStep();
    // A message found with the stop flag set is not handed on.
    if (pMsg == nullptr || IsStopping()) break;
    // A callback that throws loses its message only; the next one is handed on as usual.
    try {
      Dispatch(pMsg.get());
    } catch (...) {
      LogCaughtException("link worker thread, a message's callback");
    }
    if (IsStopping()) break;
  }
  // Back to login with the link still up (a receive error): the session ends here, not inside the
  // next login, and the server is told, so it drops the session instead of resending into a port
  // that the next login closes.
  if (!IsStopping()) SendDisconnect();
}

std::unique_ptr<COmbixMsg> COmbixAPI::ReceiveStep() {
  BYTE abReceive[kOmbixMaxDatagram];
  while (!IsStopping()) {
    if (!IsConnected()) return nullptr;
    RunTimers();
    if (IsStopping() || !IsConnected()) return nullptr;
    DWORD dwFrom = 0;
    const int nLength =
        m_pSocket->Receive(abReceive, sizeof abReceive, &dwFrom, nullptr, ReceiveWait());
    if (nLength < 0) {
      if (!IsIgnoredReceiveError(winsock::WSAGetLastError())) return nullptr;
      continue;
    }
    // Datagrams from anywhere but the active server, and runts, are not looked at.
    const DWORD dwLength = static_cast<DWORD>(nLength);
    if (dwFrom != GetServerAddr() || dwLength < kOmbixHeaderSize) continue;
    const OMBIXHEADER header = ReadOmbixHeader(abReceive, dwLength);
    m_Trace.TraceReceived(abReceive, dwLength);
    if (header.dwMsgType == OMBIX_DISCONNECT) {
      ResetSession();
      return nullptr;
    }
    if (header.dwMsgType == OMBIX_ACK) {
      OnAck(header.dwMsgSeq);
      continue;
    }
    const DWORD dwExpected = m_dwExpectedRecvSeq;
    if (header.dwMsgSeq != dwExpected && header.dwMsgSeq != dwExpected - 1) {
      SendDisconnect();
      return nullptr;
    }
    SendAck(header.dwMsgSeq);
    if (header.dwMsgSeq != dwExpected) continue;  // a repeat: acknowledged again, no more
    m_dwExpectedRecvSeq = dwExpected + 1;
    if (header.dwMsgType == OMBIX_PING) continue;
    return DecodeMessage(abReceive, dwLength);
  }
  return nullptr;
}

namespace {

// Calls the callback when the message is of the class its type promises.
template <class T, class F>
bool Deliver(const COmbixMsg* pMsg, F callback) {
  const T* p = dynamic_cast<const T*>(pMsg);
  if (p != nullptr) callback(p);
  return p != nullptr;
}

}  // namespace

void COmbixAPI::Dispatch(const COmbixMsg* pMsg) {
  bool bDone = false;
  switch (pMsg->dwMsgType) {
    case OMBIX_AGENT_EVENT:
      bDone = Deliver<COmbixAgentEvent>(pMsg, [this](auto p) { OnAgentEvent(p); });
      break;
    case OMBIX_CALL_CONNECTION_EVENT:
      bDone = Deliver<COmbixCallConnectionEvent>(pMsg, [this](auto p) { OnCallEvent(p); });
      break;
    case OMBIX_QUEUE_STATS_EVENT:
      bDone = Deliver<COmbixQueueStatsEvent>(pMsg, [this](auto p) { OnQueueStatsEvent(p); });
      break;
    case OMBIX_PHONE_STATE_EVENT:
      bDone = Deliver<COmbixPhoneStateEvent>(pMsg, [this](auto p) { OnPhoneStateEvent(p); });
      break;
    case OMBIX_MEETME_CONFERENCE_EVENT:
      bDone = Deliver<COmbixMeetMeConferenceEvent>(pMsg,
                                                   [this](auto p) { OnMeetMeConferenceEvent(p); });
      break;
    case OMBIX_CALL_MEDIA_EVENT:
      bDone = Deliver<COmbixCallMediaEvent>(pMsg, [this](auto p) { OnCallMediaEvent(p); });
      break;
    case OMBIX_CLIENT_MONITOR_EVENT:
      bDone = Deliver<COmbixClientMonitorEvent>(pMsg, [this](auto p) { OnClientMonitorEvent(p); });
      break;
    case OMBIX_LOGIN_RSP:
      bDone = Deliver<COmbixLoginRsp>(pMsg, [this](const COmbixLoginRsp* p) {
        if (p->dwError == 0) {
          m_bLoggedIn.store(TRUE);
          OnLoginSucceeded(p);
        } else {
          OnLoginFailed(p);
        }
      });
      break;
    default:
      break;
  }
  if (!bDone) OnResponse(pMsg);
}
