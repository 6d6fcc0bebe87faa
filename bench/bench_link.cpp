// The link against the simulated switch on loopback.
// - BM_LinkChainedBesideUdp: round trips driven the way the provider drives them (the next request
//   sent from the response callback on the worker thread), in batches interleaved with batches of a
//   plain UDP ping-pong between two sockets; both round trips (microseconds), their ratio and the
//   worker's wake-ups per round trip. One exchange is request, acknowledgement, response and
//   acknowledgement, against one datagram each way for the ping-pong.
// - BM_LinkStopAndDestroy: Stop and the destructor of a logged-in link.
// - BM_SimIdleWakeups: how often an idle simulated switch wakes up, per second.
// On a virtual machine a wake-up on another CPU costs tens of microseconds and the threads'
// placement changes from run to run, so the ratio swings; for figures that compare, run under
// taskset -c N.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/winsock.h"
#include "switchapi/ombix_api.h"
#include "tools/switch-sim/switch_sim.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr DWORD kBatch = 200;  // round trips per batch, each side

// The times the calling thread (RUSAGE_THREAD) or the process (RUSAGE_SELF) slept and was woken
// so far (preemptions do not count).
long Switches(int who) {
  rusage usage{};
  getrusage(who, &usage);
  return usage.ru_nvcsw;
}

// A link that chains its requests: each response sends the next request from the callback.
class ChainLink : public COmbixAPI {
 public:
  explicit ChainLink(const OMBIXLINKOPTIONS& options) : COmbixAPI(options) {}
  ~ChainLink() override { StopThread(); }

  bool WaitLoggedIn() {
    std::unique_lock<std::mutex> lock(m_mx);
    return m_cv.wait_for(lock, 10s, [&] { return m_bLoggedIn; });
  }
  // dwCount round trips, the first sent from here; false when the chain stalled. Adds the
  // worker's context switches during the chain to *plSwitches.
  bool Chain(DWORD dwCount, long* plSwitches) {
    std::unique_lock<std::mutex> lock(m_mx);
    m_dwLeft = dwCount;
    m_bDone = false;
    m_lSwitches = -1;
    lock.unlock();
    MonitorStop(dwCount, "201");
    lock.lock();
    if (!m_cv.wait_for(lock, 10s, [&] { return m_bDone; })) return false;
    *plSwitches += m_lSwitches;
    return true;
  }

 protected:
  void OnLoginSucceeded(const COmbixLoginRsp*) override {
    std::lock_guard<std::mutex> lock(m_mx);
    m_bLoggedIn = true;
    m_cv.notify_all();
  }
  void OnResponse(const COmbixMsg*) override {
    // Only the worker touches the chain between its first and its last response.
    if (m_lSwitches < 0) m_lStart = Switches(RUSAGE_THREAD), m_lSwitches = 0;
    if (--m_dwLeft > 0) {
      MonitorStop(m_dwLeft, "201");
      return;
    }
    std::lock_guard<std::mutex> lock(m_mx);
    m_lSwitches = Switches(RUSAGE_THREAD) - m_lStart;
    m_bDone = true;
    m_cv.notify_all();
  }

 private:
  std::mutex m_mx;
  std::condition_variable m_cv;
  bool m_bLoggedIn = false;
  bool m_bDone = false;
  DWORD m_dwLeft = 0;
  long m_lStart = 0;
  long m_lSwitches = 0;
};

SwitchSimConfig SimConfig() {
  SwitchSimConfig config;
  config.wPort = 0;
  config.pingInterval = 0ms;
  config.nReceivedKept = 0;
  return config;
}

OMBIXLINKOPTIONS LinkOptions(WORD wPort) {
  OMBIXLINKOPTIONS options;
  options.wServerPort = wPort;
  options.dwLoginSpacing = 0;  // links are made one after another here
  return options;
}

// A new link logged in to the simulated switch; nullptr when the login did not come.
std::unique_ptr<ChainLink> LoggedIn(const SwitchSim& sim) {
  auto link = std::make_unique<ChainLink>(LinkOptions(sim.GetPort()));
  link->Start("127.0.0.1", "", "TAPI", "6.0.1");
  return link->WaitLoggedIn() ? std::move(link) : nullptr;
}

// The simulated switch and a link logged in to it.
struct LinkRig {
  LinkRig() : sim(SimConfig()) {
    if (sim.Start()) link = LoggedIn(sim);
  }
  SwitchSim sim;
  std::unique_ptr<ChainLink> link;
};

// Two loopback sockets; the echo side sends every datagram straight back on its own thread.
class UdpPingPong {
 public:
  UdpPingPong() {
    winsock::WSADATA data;
    winsock::WSAStartup(winsock::MAKEWORD(1, 1), &data);
    m_client = Bound();
    m_echo = Bound();
    m_echoThread = std::thread([this] { Echo(); });
  }
  ~UdpPingPong() {
    m_bStop.store(true);
    Send(m_client, m_echo, 1);  // wakes the echo side
    m_echoThread.join();
    winsock::closesocket(m_client);
    winsock::closesocket(m_echo);
    winsock::WSACleanup();
  }
  // One datagram of a request's size there and back.
  bool RoundTrip() {
    Send(m_client, m_echo, kSize);
    char buf[kSize];
    return winsock::recvfrom(m_client, buf, sizeof buf, 0, nullptr, nullptr) == kSize;
  }

 private:
  static constexpr int kSize = 24;  // about a MonitorStop request

  static winsock::SOCKET Bound() {
    winsock::SOCKET s = winsock::socket(winsock::AF_INET, winsock::SOCK_DGRAM, 0);
    winsock::sockaddr_in local{};
    local.sin_family = winsock::AF_INET;
    local.sin_addr.s_addr = winsock::inet_addr("127.0.0.1");
    winsock::bind(s, reinterpret_cast<winsock::sockaddr*>(&local), sizeof local);
    return s;
  }
  static void Send(winsock::SOCKET from, winsock::SOCKET to, int nSize) {
    winsock::sockaddr_in dest{};
    int len = sizeof dest;
    winsock::getsockname(to, reinterpret_cast<winsock::sockaddr*>(&dest), &len);
    char buf[kSize] = {};
    winsock::sendto(from, buf, nSize, 0, reinterpret_cast<winsock::sockaddr*>(&dest), len);
  }
  void Echo() {
    char buf[kSize];
    while (!m_bStop.load()) {
      winsock::sockaddr_in from{};
      int len = sizeof from;
      const int n = winsock::recvfrom(m_echo, buf, sizeof buf, 0,
                                      reinterpret_cast<winsock::sockaddr*>(&from), &len);
      if (n <= 0 || m_bStop.load()) continue;
      winsock::sendto(m_echo, buf, n, 0, reinterpret_cast<winsock::sockaddr*>(&from), len);
    }
  }

  winsock::SOCKET m_client, m_echo;
  std::atomic<bool> m_bStop{false};
  std::thread m_echoThread;
};

void BM_LinkChainedBesideUdp(benchmark::State& state) {
  LinkRig rig;
  UdpPingPong udp;
  if (rig.link == nullptr) return state.SkipWithError("no login to the simulated switch");
  Clock::duration link{}, plain{};
  long lSwitches = 0, lAllSwitches = 0;
  for (auto _ : state) {
    const long lBefore = Switches(RUSAGE_SELF);
    const auto t0 = Clock::now();
    const bool bLink = rig.link->Chain(kBatch, &lSwitches);
    const auto t1 = Clock::now();
    lAllSwitches += Switches(RUSAGE_SELF) - lBefore - 1;  // less this thread's wait for the chain
    bool bUdp = true;
    for (DWORD i = 0; i < kBatch && bUdp; ++i) bUdp = udp.RoundTrip();
    const auto t2 = Clock::now();
    if (!bLink || !bUdp) return state.SkipWithError("round trip lost");
    link += t1 - t0;
    plain += t2 - t1;
  }
  const double n = static_cast<double>(state.iterations()) * kBatch;
  const double linkUs = std::chrono::duration<double, std::micro>(link).count() / n;
  const double udpUs = std::chrono::duration<double, std::micro>(plain).count() / n;
  state.counters["link_us"] = linkUs;
  state.counters["udp_us"] = udpUs;
  state.counters["ratio"] = udpUs > 0 ? linkUs / udpUs : 0;
  state.counters["worker_wakeups"] = static_cast<double>(lSwitches) / n;
  state.counters["sim_wakeups"] = static_cast<double>(lAllSwitches - lSwitches) / n;
}
BENCHMARK(BM_LinkChainedBesideUdp)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_LinkStopAndDestroy(benchmark::State& state) {
  SwitchSim sim(SimConfig());
  if (!sim.Start()) return state.SkipWithError("the simulated switch cannot listen");
  for (auto _ : state) {
    std::unique_ptr<ChainLink> link = LoggedIn(sim);
    if (link == nullptr) return state.SkipWithError("no login to the simulated switch");
    const auto t0 = Clock::now();
    link->Stop();
    link.reset();
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
  }
}
BENCHMARK(BM_LinkStopAndDestroy)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_SimIdleWakeups(benchmark::State& state) {
  SwitchSim sim(SimConfig());
  if (!sim.Start()) return state.SkipWithError("the simulated switch cannot listen");
  constexpr auto kIdle = 500ms;
  long lSwitches = 0;
  for (auto _ : state) {
    const long lBefore = Switches(RUSAGE_SELF);
    std::this_thread::sleep_for(kIdle);
    lSwitches += Switches(RUSAGE_SELF) - lBefore - 1;  // less this thread's own sleep
  }
  const double seconds = std::chrono::duration<double>(kIdle).count() * state.iterations();
  state.counters["wakeups_per_s"] = static_cast<double>(lSwitches) / seconds;
}
BENCHMARK(BM_SimIdleWakeups)->Iterations(2)->Unit(benchmark::kMillisecond);

}  // namespace
