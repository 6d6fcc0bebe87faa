// Sending, acknowledgements and the end of a session. Everything that numbers, queues or sends a
// sequenced datagram runs under the link's lock; OnConnectionLost is called only after it is let
// go.
#include "platform/win32.h"
#include "switchapi/ombix_api.h"
#include "switchapi/ombix_message_types.h"
#include "switchapi/ombix_socket.h"

namespace {

// An 8-byte control datagram: dwMsgSeq and dwMsgType.
struct CONTROLDATAGRAM {
  BYTE ab[kOmbixHeaderSize];
  CONTROLDATAGRAM(DWORD dwSeq, DWORD dwType) {
    COmbixWriter writer(ab, sizeof ab);
    writer.WriteDword(dwSeq);
    writer.WriteDword(dwType);
  }
};

}  // namespace

void COmbixAPI::QueueRequest(const COmbixWriter& body) {
  if (body.IsOverflow()) return;  // would not fit one datagram: never sent in part
  LinkLock lock(m_mxLink);
  if (!IsConnected()) return;
  m_SendQueue.Push(
      std::make_unique<COmbixSendMsg>(m_dwNextSendSeq++, body.GetData(), body.GetLength()));
  SendNextLocked(lock);
}

void COmbixAPI::SendNextLocked(LinkLock& lock) {
  if (m_pOutstanding != nullptr || !IsConnected()) return;
  m_pOutstanding = m_SendQueue.Pop();
  if (m_pOutstanding == nullptr) return;
  const DWORD dwNow = GetTickCount();
  m_dwOutstandingSeq = m_pOutstanding->m_dwSeq;
  m_pOutstanding->m_dwSendTick = dwNow;
  SendToServerLocked(lock, m_pOutstanding->m_pBuffer.get(), m_pOutstanding->m_dwLength);
  m_dwLastSendTick = dwNow;
}

void COmbixAPI::RetransmitLocked(LinkLock& lock) {
  const DWORD dwNow = GetTickCount();
  ++m_pOutstanding->m_dwResends;
  m_dwOutstandingSeq = m_pOutstanding->m_dwSeq;
  m_pOutstanding->m_dwSendTick = dwNow;
  SendToServerLocked(lock, m_pOutstanding->m_pBuffer.get(), m_pOutstanding->m_dwLength);
  m_dwLastSendTick = dwNow;
}

void COmbixAPI::SendPingLocked(LinkLock& lock) {
  if (m_pOutstanding != nullptr || !IsConnected()) return;
  // A ping is a numbered datagram with no body but its type.
  BYTE abType[kOmbixDwordSize];
  COmbixWriter type(abType, sizeof abType);
  type.WriteDword(OMBIX_PING);
  m_SendQueue.Push(
      std::make_unique<COmbixSendMsg>(m_dwNextSendSeq++, type.GetData(), type.GetLength()));
  SendNextLocked(lock);
}

void COmbixAPI::SendToServerLocked(LinkLock&, const BYTE* pDatagram, DWORD dwLength) {
  m_Trace.TraceSent(pDatagram, dwLength);
  m_pSocket->Send(pDatagram, static_cast<int>(dwLength), GetServerAddr(), m_options.wServerPort);
}

void COmbixAPI::RunTimers() {
  BOOL bLost = FALSE;
  {
    LinkLock lock(m_mxLink);
    if (!IsConnected()) return;
    const DWORD dwNow = GetTickCount();
    if (m_pOutstanding != nullptr) {
      if (ElapsedTicks(m_pOutstanding->m_dwSendTick, dwNow) > m_dwAckTimeout) {
        if (m_pOutstanding->m_dwResends >= m_dwMaxRetries) {
          bLost = DisconnectLocked(lock);
        } else {
          RetransmitLocked(lock);
        }
      }
    } else if (ElapsedTicks(m_dwLastSendTick, dwNow) > GetPingTimer()) {
      SendPingLocked(lock);
    }
  }
  if (bLost) OnConnectionLost();
}

void COmbixAPI::OnAck(DWORD dwSeq) {
  BOOL bLost = FALSE;
  {
    LinkLock lock(m_mxLink);
    if (dwSeq == m_dwOutstandingSeq - 1) return;  // a late repeat of the one before
    // 0 is the login's own number (the session numbers from 1): a server slower than a login
    // round acknowledges the later rounds too, after the link is in use. Only a datagram that
    // wrapped round to 0 and is outstanding is acknowledged by it.
    if (dwSeq == 0 && (m_pOutstanding == nullptr || m_dwOutstandingSeq != 0)) return;
    if (dwSeq != m_dwOutstandingSeq) {
      bLost = DisconnectLocked(lock);
    } else {
      m_pOutstanding.reset();
      SendNextLocked(lock);
    }
  }
  if (bLost) OnConnectionLost();
}

void COmbixAPI::SendAck(DWORD dwSeq) {
  const CONTROLDATAGRAM ack(dwSeq, OMBIX_ACK);
  LinkLock lock(m_mxLink);
  if (IsConnected()) SendToServerLocked(lock, ack.ab, sizeof ack.ab);
}

void COmbixAPI::SendDisconnect() {
  BOOL bLost;
  {
    LinkLock lock(m_mxLink);
    bLost = DisconnectLocked(lock);
  }
  if (bLost) OnConnectionLost();
}

BOOL COmbixAPI::DisconnectLocked(LinkLock& lock) {
  if (!IsConnected()) return FALSE;
  const CONTROLDATAGRAM disconnect(m_dwNextSendSeq++, OMBIX_DISCONNECT);
  SendToServerLocked(lock, disconnect.ab, sizeof disconnect.ab);
  return ResetLocked(lock);
}

void COmbixAPI::ResetSession() {
  BOOL bLost;
  {
    LinkLock lock(m_mxLink);
    bLost = ResetLocked(lock);
  }
  if (bLost) OnConnectionLost();
}

BOOL COmbixAPI::ResetLocked(LinkLock&) {
  const BOOL bWasConnected = IsConnected();
  m_bLoggedIn.store(FALSE);
  m_dwServerAddr.store(0);
  m_SendQueue.Clear();
  m_pOutstanding.reset();
  return bWasConnected;
}
