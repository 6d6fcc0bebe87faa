// The server's side of the link rules: sessions, sequence numbers, acknowledgements, resends,
// pings and the answers to requests. Every function here runs with SwitchSimState::mutex held.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "switchapi/ombix_message_types.h"
#include "switchapi/ombix_values.h"
#include "switchapi/ombix_wire.h"
#include "tools/switch-sim/sim_state.h"

namespace {

std::vector<BYTE> ControlDatagram(DWORD dwSeq, DWORD dwType) {
  BYTE buffer[kOmbixHeaderSize];
  COmbixWriter w(buffer, sizeof(buffer));
  w.WriteDword(dwSeq);
  w.WriteDword(dwType);
  return std::vector<BYTE>(buffer, buffer + sizeof(buffer));
}

std::vector<BYTE> TypeOnly(DWORD dwType) {
  BYTE buffer[kOmbixDwordSize];
  COmbixWriter w(buffer, sizeof(buffer));
  w.WriteDword(dwType);
  return std::vector<BYTE>(buffer, buffer + sizeof(buffer));
}

}  // namespace

void SwitchSimState::Log(const std::string& strLine) {
  if (config.pLog != nullptr) *config.pLog << "switch-sim: " << strLine << std::endl;
}

void SwitchSimState::LogDetail(const std::string& strLine) {
  if (config.bLogDatagrams) Log(strLine);
}

void SwitchSimState::Changed() {
  ++qwGeneration;
  cvChanged.notify_all();
  // The sim's thread looks at its timers before it sleeps; another thread's change may have
  // given it an earlier one.
  if (std::this_thread::get_id() != idSimThread) Wake();
}

void SwitchSimState::Wake() {
  if (bWakePending || wakeFds[1] < 0) return;
  const char cWake = 0;
  bWakePending = ::write(wakeFds[1], &cWake, 1) == 1;
}

void SwitchSimState::LogDatagram(const char* pszWhat, const SimEndpoint& peer, const BYTE* pData,
                                 DWORD dwLength) {
  if (config.pLog == nullptr || !config.bLogDatagrams) return;
  std::ostringstream line;
  line << pszWhat << " " << FormatEndpoint(peer);
  if (dwLength < kOmbixHeaderSize) {
    line << " short datagram of " << dwLength << " bytes";
  } else {
    const OMBIXHEADER header = ReadOmbixHeader(pData, dwLength);
    line << " seq " << header.dwMsgSeq << " " << MessageTypeName(header.dwMsgType) << " ("
         << dwLength << " bytes)";
  }
  Log(line.str());
}

void SwitchSimState::Transmit(const SimEndpoint& peer, const std::vector<BYTE>& bytes,
                              bool bFaults) {
  if (bFaults && drawDropSent(config.faults.dDropSent)) {
    ++counters.dwDroppedSent;
    LogDatagram("dropped (not sent)", peer, bytes.data(), static_cast<DWORD>(bytes.size()));
    return;
  }
  if (bFaults && drawDelay(config.faults.dDelaySent)) {
    ++counters.dwDelayedSent;
    LogDatagram("delayed", peer, bytes.data(), static_cast<DWORD>(bytes.size()));
    delayed.push_back({SimClock::now() + config.faults.delay, peer, bytes});
    return;
  }
  const int nCopies = bFaults && drawDuplicate(config.faults.dDuplicateSent) ? 2 : 1;
  if (nCopies == 2) ++counters.dwDuplicatedSent;
  if (fd < 0) return;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(peer.dwAddr);
  to.sin_port = htons(peer.wPort);
  for (int i = 0; i < nCopies; ++i) {
    if (config.pTrace != nullptr) {
      trace.TraceReceived(bytes.data(), static_cast<DWORD>(bytes.size()));
    }
    LogDatagram(i == 0 ? "sent" : "sent again (duplicate)", peer, bytes.data(),
                static_cast<DWORD>(bytes.size()));
    if (bHolding) {
      outbox.push_back({to, bytes});
    } else {
      ::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to),
               sizeof(to));
    }
  }
}

void SwitchSimState::Flush() {
  constexpr std::size_t kMaxBatch = 16;
  for (std::size_t nDone = 0; nDone < outbox.size();) {
    mmsghdr messages[kMaxBatch] = {};
    iovec vectors[kMaxBatch];
    const std::size_t nBatch = std::min(kMaxBatch, outbox.size() - nDone);
    for (std::size_t i = 0; i < nBatch; ++i) {
      SimOutbound& out = outbox[nDone + i];
      vectors[i] = {out.bytes.data(), out.bytes.size()};
      messages[i].msg_hdr.msg_name = &out.to;
      messages[i].msg_hdr.msg_namelen = sizeof(out.to);
      messages[i].msg_hdr.msg_iov = &vectors[i];
      messages[i].msg_hdr.msg_iovlen = 1;
    }
    const int nSent = ::sendmmsg(fd, messages, static_cast<unsigned>(nBatch), 0);
    // A datagram the system refuses is lost, as a failed sendto would lose it.
    nDone += nSent > 0 ? static_cast<std::size_t>(nSent) : 1;
  }
  outbox.clear();
}

void SwitchSimState::SendAck(const SimEndpoint& peer, DWORD dwSeq) {
  ++counters.dwAcksSent;
  Transmit(peer, ControlDatagram(dwSeq, OMBIX_ACK), true);
}

void SwitchSimState::Queue(SimSession& session, const std::vector<BYTE>& body) {
  SimOutgoing out;
  out.dwSeq = session.dwNextSendSeq++;
  out.bytes = ControlDatagram(out.dwSeq, 0);
  out.bytes.resize(kOmbixDwordSize);
  out.bytes.insert(out.bytes.end(), body.begin(), body.end());
  session.queue.push_back(std::move(out));
  SendNext(session);
}

void SwitchSimState::SendNext(SimSession& session) {
  if (bSilent || session.outstanding || session.queue.empty()) return;
  session.outstanding = std::move(session.queue.front());
  session.queue.pop_front();
  SimOutgoing& out = *session.outstanding;
  const DWORD dwType =
      ReadOmbixHeader(out.bytes.data(), static_cast<DWORD>(out.bytes.size())).dwMsgType;
  if (dwType == OMBIX_PING) {
    ++counters.dwPingsSent;
  } else {
    ++counters.dwResponsesSent;
  }
  out.sentAt = session.lastSend = SimClock::now();
  Transmit(session.peer, out.bytes, true);
}

void SwitchSimState::DisconnectSession(const SimEndpoint& peer) {
  auto it = sessions.find(peer);
  if (it == sessions.end()) return;
  ++counters.dwDisconnectsSent;
  Transmit(peer, ControlDatagram(it->second.dwNextSendSeq++, OMBIX_DISCONNECT), false);
  Log("session " + std::to_string(it->second.dwSession) + " with " + FormatEndpoint(peer) +
      " ended by OMBIX_DISCONNECT");
  sessions.erase(it);
}

void SwitchSimState::OnDatagram(const SimEndpoint& peer, const BYTE* pData, DWORD dwLength) {
  if (bSilent) {
    ++counters.dwDiscardedSilent;
    LogDatagram("silent, discarded", peer, pData, dwLength);
    return;
  }
  if (drawDropReceived(config.faults.dDropReceived)) {
    ++counters.dwDroppedReceived;
    LogDatagram("dropped (received)", peer, pData, dwLength);
    return;
  }
  ++counters.dwReceived;
  if (config.pTrace != nullptr) trace.TraceSent(pData, dwLength);
  LogDatagram("received", peer, pData, dwLength);
  if (dwLength < kOmbixHeaderSize) return;

  const OMBIXHEADER header = ReadOmbixHeader(pData, dwLength);
  if (header.dwMsgType == OMBIX_ACK) {
    auto it = sessions.find(peer);
    if (it != sessions.end() && it->second.outstanding &&
        it->second.outstanding->dwSeq == header.dwMsgSeq) {
      ++counters.dwAcksReceived;
      it->second.outstanding.reset();
      SendNext(it->second);
    } else {
      ++counters.dwStaleAcks;
      LogDetail("acknowledgement " + std::to_string(header.dwMsgSeq) +
                " matches nothing outstanding");
    }
    return;
  }
  if (header.dwMsgType == OMBIX_LOGIN_REQ && header.dwMsgSeq == 0) {
    OnLogin(peer, pData, dwLength, header.dwMsgSeq);
    return;
  }
  OnSequenced(peer, pData, dwLength, header.dwMsgSeq, header.dwMsgType);
}

void SwitchSimState::OnLogin(const SimEndpoint& peer, const BYTE* pData, DWORD dwLength,
                             DWORD dwSeq) {
  if (config.loginPolicy == SimLoginPolicy::kIgnore) {
    ++counters.dwLoginsIgnored;
    LogDetail("login from " + FormatEndpoint(peer) + " ignored");
    return;
  }
  auto it = sessions.find(peer);
  if (it != sessions.end() && it->second.dwExpectedRecvSeq == dwSeq + 1) {
    // The same login again (our acknowledgement was lost): acknowledge, act once.
    CountRepeat(it->second);
    SendAck(peer, dwSeq);
    return;
  }
  if (it != sessions.end()) {
    Log("new login from " + FormatEndpoint(peer) + " replaces session " +
        std::to_string(it->second.dwSession));
    sessions.erase(it);
  }
  SimSession& session = sessions[peer];
  session.dwSession = dwNextSession++;
  session.peer = peer;
  session.lastSend = SimClock::now();
  ProbeOtherSessions(peer);
  SendAck(peer, dwSeq);
  SimReceived login = MakeRecord(session, pData, dwLength, dwSeq, OMBIX_LOGIN_REQ);
  const DWORD dwError = config.loginPolicy == SimLoginPolicy::kAccept ? 0 : config.dwLoginError;
  std::vector<BYTE> rsp = BuildLoginRspBody(dwError, login);
  Keep(session, std::move(login));
  if (config.loginPolicy == SimLoginPolicy::kAccept) {
    ++counters.dwLogins;
    session.bLoggedIn = true;
    Log("session " + std::to_string(session.dwSession) + ": login from " + FormatEndpoint(peer) +
        " accepted");
  } else {
    ++counters.dwLoginsRefused;
    session.dwLoginError = config.dwLoginError;
    Log("session " + std::to_string(session.dwSession) + ": login from " + FormatEndpoint(peer) +
        " refused with " + ErrorName(config.dwLoginError));
  }
  Queue(session, rsp);
}

void SwitchSimState::OnSequenced(const SimEndpoint& peer, const BYTE* pData, DWORD dwLength,
                                 DWORD dwSeq, DWORD dwType) {
  auto it = sessions.find(peer);
  if (it == sessions.end()) {
    Log(FormatEndpoint(peer) + " has no session");
    if (dwType == OMBIX_DISCONNECT) return;
    // Not logged in here (or forgotten by a restart): tell the client to log in again.
    ++counters.dwDisconnectsSent;
    Transmit(peer, ControlDatagram(0, OMBIX_DISCONNECT), false);
    return;
  }
  SimSession& session = it->second;
  if (dwSeq == session.dwExpectedRecvSeq) {
    SendAck(peer, dwSeq);
    ++session.dwExpectedRecvSeq;
    ActOn(session, pData, dwLength, dwSeq, dwType);
  } else if (dwSeq == session.dwExpectedRecvSeq - 1) {
    CountRepeat(session);
    SendAck(peer, dwSeq);
  } else if (dwType == OMBIX_DISCONNECT) {
    // The client is leaving anyway; nothing to tell it.
    ++counters.dwDisconnectsReceived;
    Log("session " + std::to_string(session.dwSession) +
        " ended by a misnumbered OMBIX_DISCONNECT");
    sessions.erase(it);
  } else {
    ++counters.dwSequenceErrors;
    Log("sequence error: expected " + std::to_string(session.dwExpectedRecvSeq) + ", got " +
        std::to_string(dwSeq));
    DisconnectSession(peer);
  }
}

void SwitchSimState::ActOn(SimSession& session, const BYTE* pData, DWORD dwLength, DWORD dwSeq,
                           DWORD dwType) {
  SimReceived request = MakeRecord(session, pData, dwLength, dwSeq, dwType);
  if (dwType == OMBIX_PING) {
    Keep(session, std::move(request));
    return;
  }
  if (dwType == OMBIX_DISCONNECT) {
    Keep(session, std::move(request));
    ++counters.dwDisconnectsReceived;
    Log("session " + std::to_string(session.dwSession) + " ended by the client");
    sessions.erase(session.peer);
    return;
  }
  auto defer = mapDeferNext.find(dwType);
  if (session.bLoggedIn && defer != mapDeferNext.end() && defer->second > 0) {
    if (--defer->second == 0) mapDeferNext.erase(defer);
    deferred.emplace_back(session.dwSession, request);
    Keep(session, std::move(request));
    LogDetail("held back: " + std::string(MessageTypeName(dwType)));
    return;
  }
  Answer(session, request);
  Keep(session, std::move(request));
}

void SwitchSimState::Answer(SimSession& session, const SimReceived& request) {
  const DWORD dwType = request.dwMsgType;
  DWORD dwResult = session.bLoggedIn ? config.dwDefaultResult : session.dwLoginError;
  if (session.bLoggedIn) {
    auto result = config.mapResults.find(dwType);
    if (result != config.mapResults.end()) dwResult = result->second;
    auto failure = config.mapFailures.find(dwType);
    if (failure != config.mapFailures.end()) {
      LogDetail("answered with OMBIX_FAILURE_RSP: " + std::string(MessageTypeName(dwType)));
      Queue(session, BuildFailureRspBody(request.dwInvokeID, failure->second));
      return;
    }
  }
  if (dwResult == kSimNoAnswer) {
    LogDetail("left unanswered: " + std::string(MessageTypeName(dwType)));
    return;
  }
  if (session.bLoggedIn && SimPhones::Answers(dwType) && !config.mapResults.count(dwType)) {
    phones.OnRequest(*this, session, request);
    return;
  }
  if (session.bLoggedIn && SimCalls::Answers(dwType) && !config.mapResults.count(dwType)) {
    calls.OnRequest(*this, session, request);
    return;
  }
  Queue(session, BuildResponseBody(dwType, request, dwResult, *this));
}

std::size_t SwitchSimState::ReleaseDeferred(DWORD dwType) {
  std::deque<std::pair<DWORD, SimReceived>> release;
  std::erase_if(deferred, [&](std::pair<DWORD, SimReceived>& item) {
    if (dwType != 0 && item.second.dwMsgType != dwType) return false;
    release.push_back(std::move(item));
    return true;
  });
  std::size_t nDone = 0;
  for (const auto& [dwSession, request] : release) {
    for (auto& [peer, session] : sessions) {
      if (session.dwSession != dwSession) continue;
      Answer(session, request);
      ++nDone;
      break;
    }
  }
  return nDone;
}

SimReceived SwitchSimState::MakeRecord(const SimSession& session, const BYTE* pData, DWORD dwLength,
                                       DWORD dwSeq, DWORD dwType) const {
  SimReceived record;
  record.dwSession = session.dwSession;
  record.dwPeerAddr = session.peer.dwAddr;
  record.wPeerPort = session.peer.wPort;
  record.dwMsgSeq = dwSeq;
  record.dwMsgType = dwType;
  record.body.assign(pData + kOmbixHeaderSize, pData + dwLength);
  if (IsRequestType(dwType)) {
    record.dwInvokeID = COmbixReader(pData, dwLength, kOmbixHeaderSize).ReadDword();
    record.fields = DecodeRequestFields(dwType, pData, dwLength);
  }
  return record;
}

void SwitchSimState::Keep(SimSession& session, SimReceived&& record) {
  session.qwLastRecord = qwForgotten + received.size();
  received.push_back(std::move(record));
  for (; received.size() > config.nReceivedKept; ++qwForgotten) received.pop_front();
}

void SwitchSimState::CountRepeat(const SimSession& session) {
  ++counters.dwRepeatsSeen;
  if (session.qwLastRecord < qwForgotten) return;
  const std::uint64_t qwIndex = session.qwLastRecord - qwForgotten;
  if (qwIndex < received.size()) ++received[qwIndex].dwRepeats;
}

int SwitchSimState::TimeToNextTimer(SimClock::time_point now) const {
  std::optional<SimClock::time_point> next;
  auto consider = [&next](SimClock::time_point due) {
    if (!next || due < *next) next = due;
  };
  for (const SimDelayed& item : delayed) consider(item.due);
  if (SimClock::time_point due; calls.NextDue(due)) consider(due);
  if (!bSilent) {
    for (const auto& [peer, session] : sessions) {
      if (session.outstanding) {
        consider(session.outstanding->sentAt + config.ackTimeout);
      } else if (session.queue.empty() && config.pingInterval.count() > 0) {
        consider(session.lastSend + config.pingInterval);
      }
    }
  }
  if (!next) return -1;
  if (*next <= now) return 0;
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(*next - now).count();
  return static_cast<int>(std::min<decltype(ms)>(ms, INT_MAX));
}

void SwitchSimState::OnTimers(SimClock::time_point now) {
  while (!delayed.empty() && delayed.front().due <= now) {
    const SimDelayed item = std::move(delayed.front());
    delayed.pop_front();
    Transmit(item.peer, item.bytes, false);
  }
  calls.OnTimers(*this, now);
  if (bSilent) return;
  for (auto it = sessions.begin(); it != sessions.end();) {
    SimSession& session = it->second;
    ++it;  // DisconnectSession may erase the session
    if (session.outstanding) {
      SimOutgoing& out = *session.outstanding;
      if (now - out.sentAt < config.ackTimeout) continue;
      if (out.dwResends >= config.dwMaxRetries) {
        ++counters.dwSessionsGivenUp;
        Log("seq " + std::to_string(out.dwSeq) + " unacknowledged after " +
            std::to_string(out.dwResends) + " resends");
        DisconnectSession(session.peer);
        continue;
      }
      ++out.dwResends;
      ++counters.dwResends;
      out.sentAt = session.lastSend = now;
      Transmit(session.peer, out.bytes, true);
    } else if (session.queue.empty() && config.pingInterval.count() > 0 &&
               now - session.lastSend >= config.pingInterval) {
      Queue(session, TypeOnly(OMBIX_PING));
    }
  }
}
