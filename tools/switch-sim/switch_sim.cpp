// SwitchSim's public face: life cycle, the sim's thread, commands and records.
#include "tools/switch-sim/switch_sim.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "tools/switch-sim/sim_state.h"

namespace {

constexpr std::size_t kReceiveBuffer = 65536;  // more than any UDP datagram over IPv4
// WaitFor looks at its condition at least this often, in case it depends on more than the sim.
constexpr std::chrono::milliseconds kWaitSlice{50};

}  // namespace

SwitchSim::SwitchSim(SwitchSimConfig config) : m_pState(std::make_unique<SwitchSimState>()) {
  SwitchSimState& s = *m_pState;
  s.config = std::move(config);
  s.phones.Configure(s.config.phones);
  s.drawDropReceived.Seed(s.config.dwSeed);
  s.drawDropSent.Seed(s.config.dwSeed + 0x9E3779B9u);
  s.drawDuplicate.Seed(s.config.dwSeed + 2 * 0x9E3779B9u);
  s.drawDelay.Seed(s.config.dwSeed + 3 * 0x9E3779B9u);
  if (s.config.pTrace != nullptr) {
    s.trace.SetOutput(s.config.pTrace);
    s.trace.SetFlags(kOmbixTracePrint | kOmbixTraceAcks | kOmbixTracePings);
  }
}

SwitchSim::~SwitchSim() {
  Stop();
}

bool SwitchSim::Start() {
  SwitchSimState& s = *m_pState;
  std::lock_guard<std::mutex> lifecycle(s.lifecycleMutex);
  std::lock_guard<std::mutex> lock(s.mutex);
  if (s.bRunning) return true;

  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(s.wBoundPort != 0 ? s.wBoundPort : s.config.wPort);
  if (::inet_pton(AF_INET, s.config.strAddress.c_str(), &addr.sin_addr) != 1) {
    s.strLastError = "not an IPv4 address: '" + s.config.strAddress + "'";
    return false;
  }
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    s.strLastError = std::string("socket: ") + std::strerror(errno);
    return false;
  }
  socklen_t nLength = sizeof(addr);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &nLength) != 0) {
    s.strLastError = "cannot listen on " + s.config.strAddress + " port " +
                     std::to_string(ntohs(addr.sin_port)) + ": " + std::strerror(errno);
    ::close(fd);
    return false;
  }
  if (::pipe2(s.wakeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
    s.strLastError = std::string("pipe: ") + std::strerror(errno);
    ::close(fd);
    return false;
  }
  // The first Start is announced by its caller (the program prints the port it got).
  const bool bAgain = s.wBoundPort != 0;
  s.fd = fd;
  s.wBoundPort = ntohs(addr.sin_port);
  s.bStopping = false;
  s.bWakePending = false;
  s.bRunning = true;
  s.thread = std::thread(&SwitchSim::Run, this);
  s.idSimThread = s.thread.get_id();
  if (bAgain) {
    s.Log("listening again on " + s.config.strAddress + " port " + std::to_string(s.wBoundPort));
  }
  s.Changed();
  return true;
}

void SwitchSim::Stop() {
  SwitchSimState& s = *m_pState;
  std::lock_guard<std::mutex> lifecycle(s.lifecycleMutex);
  if (!s.thread.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    s.bStopping = true;
    s.Wake();
  }
  s.thread.join();
  std::lock_guard<std::mutex> lock(s.mutex);
  ::close(s.fd);
  s.fd = -1;
  for (int& wakeFd : s.wakeFds) {
    ::close(wakeFd);
    wakeFd = -1;
  }
  s.idSimThread = std::thread::id();
  s.sessions.clear();
  s.delayed.clear();
  s.bRunning = false;
  s.Log("stopped");
  s.Changed();
}

bool SwitchSim::Restart(std::chrono::milliseconds downtime) {
  Stop();
  std::this_thread::sleep_for(downtime);
  return Start();
}

bool SwitchSim::IsRunning() const {
  std::lock_guard<std::mutex> lock(m_pState->mutex);
  return m_pState->bRunning;
}

WORD SwitchSim::GetPort() const {
  std::lock_guard<std::mutex> lock(m_pState->mutex);
  return m_pState->wBoundPort;
}

std::string SwitchSim::GetLastError() const {
  std::lock_guard<std::mutex> lock(m_pState->mutex);
  return m_pState->strLastError;
}

void SwitchSim::Run() {
  SwitchSimState& s = *m_pState;
  std::vector<BYTE> buffer(kReceiveBuffer);
  pollfd fds[2];
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    fds[0] = {s.fd, POLLIN, 0};
    fds[1] = {s.wakeFds[0], POLLIN, 0};
  }
  int nTimeout = 0;  // the first time round, timers are looked at once
  while (!s.bStopping) {
    const int nReady = ::poll(fds, 2, nTimeout);
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.bStopping) break;
    if (nReady > 0 && fds[1].revents != 0) {
      char drain[64];
      while (::read(fds[1].fd, drain, sizeof drain) > 0) {
      }
      s.bWakePending = false;
    }
    // One datagram per wake-up: the next poll returns at once when more are waiting.
    if (nReady > 0 && fds[0].revents != 0) {
      sockaddr_in from{};
      socklen_t nFrom = sizeof(from);
      const ssize_t nRead = ::recvfrom(s.fd, buffer.data(), buffer.size(), MSG_DONTWAIT,
                                       reinterpret_cast<sockaddr*>(&from), &nFrom);
      if (nRead >= 0) {
        const SimEndpoint peer{ntohl(from.sin_addr.s_addr), ntohs(from.sin_port)};
        s.bHolding = true;
        s.OnDatagram(peer, buffer.data(), static_cast<DWORD>(nRead));
        s.bHolding = false;
        s.Flush();
        s.Changed();
      }
    }
    const SimClock::time_point now = SimClock::now();
    s.OnTimers(now);
    nTimeout = s.TimeToNextTimer(now);
  }
}

void SwitchSim::GoSilent(bool bSilent) {
  SwitchSimState& s = *m_pState;
  std::lock_guard<std::mutex> lock(s.mutex);
  if (s.bSilent == bSilent) return;
  s.bSilent = bSilent;
  s.Log(bSilent ? "going silent" : "speaking again");
  if (!bSilent) {
    const SimClock::time_point now = SimClock::now();
    for (auto& [peer, session] : s.sessions) {
      if (session.outstanding) session.outstanding->sentAt = now;
      session.lastSend = now;
      s.SendNext(session);
    }
  }
  s.Changed();
}

void SwitchSim::SendDisconnect() {
  SwitchSimState& s = *m_pState;
  std::lock_guard<std::mutex> lock(s.mutex);
  while (!s.sessions.empty()) s.DisconnectSession(s.sessions.begin()->first);
  s.Changed();
}

void SwitchSim::QueueMessage(DWORD dwMsgType, const std::vector<BYTE>& body) {
  SwitchSimState& s = *m_pState;
  std::vector<BYTE> typeAndFields(kOmbixDwordSize);
  COmbixWriter w(typeAndFields.data(), kOmbixDwordSize);
  w.WriteDword(dwMsgType);
  typeAndFields.insert(typeAndFields.end(), body.begin(), body.end());
  std::lock_guard<std::mutex> lock(s.mutex);
  for (auto& [peer, session] : s.sessions) s.Queue(session, typeAndFields);
  s.Changed();
}

void SwitchSim::SendRaw(const std::vector<BYTE>& datagram) {
  SwitchSimState& s = *m_pState;
  std::lock_guard<std::mutex> lock(s.mutex);
  for (auto& [peer, session] : s.sessions) s.Transmit(peer, datagram, false);
  s.Changed();
}

void SwitchSim::SetLoginPolicy(SimLoginPolicy policy, DWORD dwLoginError) {
  std::lock_guard<std::mutex> lock(m_pState->mutex);
  m_pState->config.loginPolicy = policy;
  m_pState->config.dwLoginError = dwLoginError;
}

void SwitchSim::SetResult(DWORD dwRequestType, DWORD dwResult) {
  std::lock_guard<std::mutex> lock(m_pState->mutex);
  m_pState->config.mapResults[dwRequestType] = dwResult;
}

void SwitchSim::SetFaults(const SimFaults& faults) {
  std::lock_guard<std::mutex> lock(m_pState->mutex);
  m_pState->config.faults = faults;
}

std::vector<SimReceived> SwitchSim::Received() const {
  std::lock_guard<std::mutex> lock(m_pState->mutex);
  return std::vector<SimReceived>(m_pState->received.begin(), m_pState->received.end());
}

std::vector<SimReceived> SwitchSim::ReceivedOfType(DWORD dwMsgType) const {
  std::lock_guard<std::mutex> lock(m_pState->mutex);
  std::vector<SimReceived> matching;
  std::copy_if(m_pState->received.begin(), m_pState->received.end(), std::back_inserter(matching),
               [dwMsgType](const SimReceived& r) { return r.dwMsgType == dwMsgType; });
  return matching;
}

SimCounters SwitchSim::Counters() const {
  std::lock_guard<std::mutex> lock(m_pState->mutex);
  return m_pState->counters;
}

std::vector<SimSessionInfo> SwitchSim::Sessions() const {
  std::lock_guard<std::mutex> lock(m_pState->mutex);
  std::vector<SimSessionInfo> sessions;
  for (const auto& [peer, session] : m_pState->sessions) {
    SimSessionInfo info;
    info.dwSession = session.dwSession;
    info.dwPeerAddr = peer.dwAddr;
    info.wPeerPort = peer.wPort;
    info.bLoggedIn = session.bLoggedIn;
    info.dwNextSendSeq = session.dwNextSendSeq;
    info.dwExpectedRecvSeq = session.dwExpectedRecvSeq;
    info.bOutstanding = session.outstanding.has_value();
    info.dwOutstandingSeq = session.outstanding ? session.outstanding->dwSeq : 0;
    info.nQueued = session.queue.size();
    sessions.push_back(info);
  }
  std::sort(sessions.begin(), sessions.end(), [](const SimSessionInfo& a, const SimSessionInfo& b) {
    return a.dwSession < b.dwSession;
  });
  return sessions;
}

bool SwitchSim::WaitFor(const std::function<bool()>& pred, std::chrono::milliseconds timeout) {
  SwitchSimState& s = *m_pState;
  const SimClock::time_point deadline = SimClock::now() + timeout;
  for (;;) {
    std::uint64_t qwSeen;
    {
      std::lock_guard<std::mutex> lock(s.mutex);
      qwSeen = s.qwGeneration;
    }
    if (pred()) return true;
    const SimClock::time_point now = SimClock::now();
    if (now >= deadline) return false;
    std::unique_lock<std::mutex> lock(s.mutex);
    s.cvChanged.wait_until(lock, std::min(deadline, now + kWaitSlice),
                           [&] { return s.qwGeneration != qwSeen; });
  }
}
