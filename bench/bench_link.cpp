// Request to response through the link against the simulated switch on loopback, beside a plain
// UDP ping-pong between two sockets in the same run. BM_LinkBesideUdp interleaves the two and
// reports both round trips (microseconds) and their ratio.
#include <benchmark/benchmark.h>

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

// A link that counts the responses it is handed.
class CountingLink : public COmbixAPI {
 public:
  explicit CountingLink(const OMBIXLINKOPTIONS& options) : COmbixAPI(options) {}
  ~CountingLink() override { StopThread(); }

  bool WaitLoggedIn() {
    std::unique_lock<std::mutex> lock(m_mx);
    return m_cv.wait_for(lock, std::chrono::seconds(10), [&] { return m_bLoggedIn; });
  }
  // One request and its response; false when none came within a generous time.
  bool RoundTrip(DWORD dwInvokeID) {
    std::unique_lock<std::mutex> lock(m_mx);
    const std::uint64_t before = m_responses;
    lock.unlock();
    MonitorStop(dwInvokeID, "201");
    lock.lock();
    return m_cv.wait_for(lock, std::chrono::seconds(10), [&] { return m_responses > before; });
  }

 protected:
  void OnLoginSucceeded(const COmbixLoginRsp*) override {
    std::lock_guard<std::mutex> lock(m_mx);
    m_bLoggedIn = true;
    m_cv.notify_all();
  }
  void OnResponse(const COmbixMsg*) override {
    std::lock_guard<std::mutex> lock(m_mx);
    ++m_responses;
    m_cv.notify_all();
  }

 private:
  std::mutex m_mx;
  std::condition_variable m_cv;
  bool m_bLoggedIn = false;
  std::uint64_t m_responses = 0;
};

// The simulated switch and a link logged in to it.
struct LinkRig {
  LinkRig() : sim(SimConfig()) {
    if (!sim.Start()) return;
    OMBIXLINKOPTIONS options;
    options.wServerPort = sim.GetPort();
    link = std::make_unique<CountingLink>(options);
    link->Start("127.0.0.1", "", "TAPI", "6.0.1");
    bReady = link->WaitLoggedIn();
  }
  static SwitchSimConfig SimConfig() {
    SwitchSimConfig config;
    config.wPort = 0;
    config.pingInterval = std::chrono::milliseconds(0);
    return config;
  }
  SwitchSim sim;
  std::unique_ptr<CountingLink> link;
  bool bReady = false;
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

void BM_UdpPingPong(benchmark::State& state) {
  UdpPingPong udp;
  for (auto _ : state) {
    if (!udp.RoundTrip()) state.SkipWithError("echo lost");
  }
}
BENCHMARK(BM_UdpPingPong)->UseRealTime();

void BM_LinkRequestResponse(benchmark::State& state) {
  LinkRig rig;
  if (!rig.bReady) {
    state.SkipWithError("no login to the simulated switch");
    return;
  }
  DWORD id = 0;
  for (auto _ : state) {
    if (!rig.link->RoundTrip(++id)) state.SkipWithError("response lost");
  }
}
BENCHMARK(BM_LinkRequestResponse)->UseRealTime();

void BM_LinkBesideUdp(benchmark::State& state) {
  LinkRig rig;
  UdpPingPong udp;
  if (!rig.bReady) {
    state.SkipWithError("no login to the simulated switch");
    return;
  }
  Clock::duration link{}, plain{};
  DWORD id = 0;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    const bool bLink = rig.link->RoundTrip(++id);
    const auto t1 = Clock::now();
    const bool bUdp = udp.RoundTrip();
    const auto t2 = Clock::now();
    if (!bLink || !bUdp) state.SkipWithError("round trip lost");
    link += t1 - t0;
    plain += t2 - t1;
  }
  const double n = static_cast<double>(state.iterations());
  const double linkUs = std::chrono::duration<double, std::micro>(link).count() / n;
  const double udpUs = std::chrono::duration<double, std::micro>(plain).count() / n;
  state.counters["link_us"] = linkUs;
  state.counters["udp_us"] = udpUs;
  state.counters["ratio"] = udpUs > 0 ? linkUs / udpUs : 0;
}
BENCHMARK(BM_LinkBesideUdp)->UseRealTime();

}  // namespace
