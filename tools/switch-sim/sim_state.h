// The sim's inner state, shared by its source files. Everything here is guarded by
// SwitchSimState::mutex; only the thread handle and the stop flag are touched outside it.
#pragma once

#include <netinet/in.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "switchapi/ombix_trace.h"
#include "tools/switch-sim/sim_calls.h"
#include "tools/switch-sim/sim_phones.h"
#include "tools/switch-sim/switch_sim.h"

using SimClock = std::chrono::steady_clock;

// A client endpoint: IPv4 address and port, host order.
struct SimEndpoint {
  DWORD dwAddr = 0;
  WORD wPort = 0;
  friend auto operator<=>(const SimEndpoint&, const SimEndpoint&) = default;
};

// One datagram the sim numbered itself.
struct SimOutgoing {
  DWORD dwSeq = 0;
  std::vector<BYTE> bytes;  // the whole datagram, header included
  DWORD dwResends = 0;
  SimClock::time_point sentAt;
};

struct SimSession {
  DWORD dwSession = 0;
  SimEndpoint peer;
  bool bLoggedIn = false;
  DWORD dwLoginError = 0;
  DWORD dwNextSendSeq = 0;
  DWORD dwExpectedRecvSeq = 1;  // the login carried 0
  std::optional<SimOutgoing> outstanding;
  std::deque<SimOutgoing> queue;
  SimClock::time_point lastSend;
  // Number (counted over the sim's life) of the record of the last datagram acted on.
  std::uint64_t qwLastRecord = 0;
};

// A datagram to send once the one being handled is done.
struct SimOutbound {
  sockaddr_in to;
  std::vector<BYTE> bytes;
};

// A sent datagram held back by the delay fault.
struct SimDelayed {
  SimClock::time_point due;
  SimEndpoint peer;
  std::vector<BYTE> bytes;
};

// A yes/no draw with a share, from its own generator so that knobs do not disturb each other.
class SimDraw {
 public:
  void Seed(DWORD dwSeed) { m_rng.seed(dwSeed); }
  bool operator()(double dShare) {
    if (dShare <= 0) return false;
    if (dShare >= 1) return true;
    // 24 random bits, so the outcome does not depend on the library's distributions.
    return static_cast<double>(m_rng() >> 8) / 16777216.0 < dShare;
  }

 private:
  std::mt19937 m_rng;
};

struct SwitchSimState {
  std::mutex lifecycleMutex;  // serialises Start and Stop; taken before mutex
  mutable std::mutex mutex;
  std::condition_variable cvChanged;
  std::uint64_t qwGeneration = 0;  // bumped on every change a waiter might look for

  SwitchSimConfig config;
  int fd = -1;
  // The sim's thread sleeps until its next timer; a byte in this pipe wakes it early, written
  // when another thread changed something or wants it to stop. bWakePending: a byte is there.
  int wakeFds[2] = {-1, -1};
  bool bWakePending = false;
  std::thread::id idSimThread;
  WORD wBoundPort = 0;
  std::string strLastError;
  bool bRunning = false;
  bool bSilent = false;
  std::thread thread;
  std::atomic<bool> bStopping{false};

  SimDraw drawDropReceived, drawDropSent, drawDuplicate, drawDelay;
  std::map<SimEndpoint, SimSession> sessions;
  std::deque<SimDelayed> delayed;
  // While the sim's thread handles a datagram, what it sends waits here and then leaves with one
  // system call: an acknowledgement and its answer reach the client back to back.
  bool bHolding = false;
  std::vector<SimOutbound> outbox;
  DWORD dwNextSession = 1;
  DWORD dwNextMonitorID = 1;
  DWORD dwNextCallNumber = 1;

  SimPhones phones;
  SimCalls calls;

  // Requests held back unanswered (the defer command): how many more of each type to hold, and
  // those held, with the session they came by, in arrival order.
  std::map<DWORD, DWORD> mapDeferNext;
  std::deque<std::pair<DWORD, SimReceived>> deferred;

  std::deque<SimReceived> received;  // the newest config.nReceivedKept
  std::uint64_t qwForgotten = 0;     // records dropped from the front of received
  SimCounters counters;
  COmbixTrace trace;

  // sim_protocol.cpp: all called with the mutex held.
  void OnDatagram(const SimEndpoint& peer, const BYTE* pData, DWORD dwLength);
  void OnTimers(SimClock::time_point now);
  // Milliseconds from now until OnTimers has something to do, rounded up; -1: nothing pending.
  int TimeToNextTimer(SimClock::time_point now) const;
  void Transmit(const SimEndpoint& peer, const std::vector<BYTE>& bytes, bool bFaults);
  void SendNext(SimSession& session);
  // Sends what waits in outbox.
  void Flush();
  // Numbers a body (dwMsgType and fields) for the session and sends it when its turn comes.
  void Queue(SimSession& session, const std::vector<BYTE>& body);
  // OMBIX_DISCONNECT, numbered, to the session's client; the session is then erased.
  void DisconnectSession(const SimEndpoint& peer);
  // A login from a new endpoint: pings the other idle sessions of the same address at once, so
  // that one its client left behind (a new socket, a new port) is given up within its resends
  // rather than after the ping interval. A client still there acknowledges and keeps its session.
  void ProbeOtherSessions(const SimEndpoint& peer);
  void Log(const std::string& strLine);
  // Log, only when config.bLogDatagrams asks for the detail.
  void LogDetail(const std::string& strLine);
  // Carries out and answers the held-back requests of the type (0: of every type), in arrival
  // order; those whose session has ended are dropped. The number carried out.
  std::size_t ReleaseDeferred(DWORD dwType);
  // Tells waiters, and the sim's thread when another thread made the change.
  void Changed();
  // Writes the wake byte unless one is there already.
  void Wake();

 private:
  void OnLogin(const SimEndpoint& peer, const BYTE* pData, DWORD dwLength, DWORD dwSeq);
  void OnSequenced(const SimEndpoint& peer, const BYTE* pData, DWORD dwLength, DWORD dwSeq,
                   DWORD dwType);
  void ActOn(SimSession& session, const BYTE* pData, DWORD dwLength, DWORD dwSeq, DWORD dwType);
  // Carries out a request and answers it, as the configuration says.
  void Answer(SimSession& session, const SimReceived& request);
  void SendAck(const SimEndpoint& peer, DWORD dwSeq);
  SimReceived MakeRecord(const SimSession& session, const BYTE* pData, DWORD dwLength, DWORD dwSeq,
                         DWORD dwType) const;
  // Keeps the record as the session's last, forgetting the oldest beyond config.nReceivedKept.
  void Keep(SimSession& session, SimReceived&& record);
  // A repeat of the session's last datagram acted on.
  void CountRepeat(const SimSession& session);
  void LogDatagram(const char* pszWhat, const SimEndpoint& peer, const BYTE* pData, DWORD dwLength);
};

// sim_requests.cpp
// The fields after dwInvokeID of a request the client sends (the login included); empty for
// any other type.
std::vector<SimField> DecodeRequestFields(DWORD dwMsgType, const BYTE* pData, DWORD dwLength);
// Whether dwMsgType is an assigned request number.
bool IsRequestType(DWORD dwMsgType);
// The body (dwMsgType and fields) of the answer to a request: its response with dwInvokeID and
// dwError and, for the responses that carry more, plausible values for the rest.
std::vector<BYTE> BuildResponseBody(DWORD dwRequestType, const SimReceived& request, DWORD dwError,
                                    SwitchSimState& state);
std::vector<BYTE> BuildLoginRspBody(DWORD dwError, const SimReceived& login);
std::vector<BYTE> BuildFailureRspBody(DWORD dwInvokeID, DWORD dwError);
// A request type by its name as the trace prints it (OMBIX_ and _REQ may be left out, case does
// not matter) or by its number; false when it names no request.
bool ParseRequestType(const std::string& strText, DWORD& dwType);
std::string FormatEndpoint(const SimEndpoint& peer);
