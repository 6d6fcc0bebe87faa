// Event routing at scale: the built OMBIX.TSP with 2,000 configured lines, every line open and
// monitored by a switch-sim in this process (scale_support.h). A cycle is one call from one line's
// phone to another's, answered and dropped at the switch (switch-sim's incoming, answer and
// hangup), each step awaited until the provider has told TAPI of it on both lines, after which
// TAPI closes both calls. Cycles on the first two lines and on the last two take turns, in the
// same run (so that the machine's load falls on both alike); "first_per_s" and "last_per_s" are
// their rates, "last_vs_first" the ratio.
#include <benchmark/benchmark.h>

#include <condition_variable>
#include <map>
#include <mutex>

#include "bench/scale_support.h"

namespace {

using scale::Clock;

constexpr DWORD kLines = 2000;
constexpr int kCycles = 1000;  // on each pair

// What TAPI has heard of each line's current call.
class TapiSide {
 public:
  static TapiSide& Get() {
    static TapiSide side;
    return side;
  }
  static void LineEvent(HTAPILINE htLine, HTAPICALL htCall, DWORD dwMsg, DWORD_PTR dwParam1,
                        DWORD_PTR dwParam2, DWORD_PTR) {
    TapiSide& side = Get();
    const auto dwLine = static_cast<DWORD>(reinterpret_cast<DWORD_PTR>(htLine) - 1);
    std::lock_guard<std::mutex> lock(side.m_mx);
    if (dwMsg == LINE_NEWCALL) {
      CALL& call = side.m_calls[dwLine];
      call.hdCall = reinterpret_cast<HDRVCALL>(dwParam1);
      call.htCall = reinterpret_cast<HTAPICALL>(++side.m_nextCall);
      call.dwState = 0;
      if (auto* lphtCall = reinterpret_cast<HTAPICALL*>(dwParam2)) *lphtCall = call.htCall;
    } else if (dwMsg == LINE_CALLSTATE) {
      auto it = side.m_calls.find(dwLine);
      if (it == side.m_calls.end() || it->second.htCall != htCall) return;
      it->second.dwState = static_cast<DWORD>(dwParam1);
    } else {
      return;
    }
    side.m_cv.notify_all();
  }

  // Waits until both lines' calls are in the state; false after 5 s.
  bool WaitFor(DWORD dwLineA, DWORD dwStateA, DWORD dwLineB, DWORD dwStateB) {
    std::unique_lock<std::mutex> lock(m_mx);
    return m_cv.wait_for(lock, std::chrono::seconds(5), [&] {
      return StateOf(dwLineA) == dwStateA && StateOf(dwLineB) == dwStateB;
    });
  }
  // Forgets the line's call and hands back its driver handle (NULL when it had none).
  HDRVCALL Take(DWORD dwLine) {
    std::lock_guard<std::mutex> lock(m_mx);
    auto it = m_calls.find(dwLine);
    if (it == m_calls.end()) return nullptr;
    const HDRVCALL hdCall = it->second.hdCall;
    m_calls.erase(it);
    return hdCall;
  }

 private:
  struct CALL {
    HDRVCALL hdCall = nullptr;
    HTAPICALL htCall = nullptr;
    DWORD dwState = 0;
  };
  DWORD StateOf(DWORD dwLine) const {
    auto it = m_calls.find(dwLine);
    return it == m_calls.end() ? 0 : it->second.dwState;
  }

  std::mutex m_mx;
  std::condition_variable m_cv;
  std::map<DWORD, CALL> m_calls;  // by line index
  DWORD_PTR m_nextCall = 0;
};

// One call from line A's phone to line B's, answered and dropped; false when a step went unheard.
bool Cycle(SwitchSim& sim, scale::Provider& provider, DWORD dwA, DWORD dwB) {
  TapiSide& side = TapiSide::Get();
  const std::string answer =
      sim.Command("incoming " + scale::LineNumber(dwB) + " " + scale::LineNumber(dwA));
  if (answer.rfind("call ", 0) != 0) return false;
  const std::string strCall = answer.substr(5);
  bool bHeard = side.WaitFor(dwA, LINECALLSTATE_RINGBACK, dwB, LINECALLSTATE_OFFERING);
  sim.Command("answer " + strCall);
  bHeard = bHeard && side.WaitFor(dwA, LINECALLSTATE_CONNECTED, dwB, LINECALLSTATE_CONNECTED);
  sim.Command("hangup " + strCall);
  bHeard = bHeard && side.WaitFor(dwA, LINECALLSTATE_IDLE, dwB, LINECALLSTATE_IDLE);
  for (DWORD dwLine : {dwA, dwB}) {
    if (HDRVCALL hdCall = side.Take(dwLine)) provider.closeCall(hdCall);
  }
  return bHeard;
}

void BM_EventRouting(benchmark::State& state) {
  std::unique_ptr<SwitchSim> sim;
  scale::Provider provider;
  if (const char* pszFailed = scale::StartOnSwitch(provider, kLines, sim)) {
    return state.SkipWithError(pszFailed);
  }
  std::vector<HDRVLINE> lines(kLines);
  if (!scale::OpenLines(provider, lines, &TapiSide::LineEvent)) {
    return state.SkipWithError("a line did not open");
  }
  const DWORD pairs[2][2] = {{0, 1}, {kLines - 2, kLines - 1}};
  Clock::duration spent[2] = {};
  bool bHeard = true;
  for (auto _ : state) {
    for (int n = 0; n < 2 * kCycles && bHeard; ++n) {
      const int nPair = n % 2;
      const Clock::time_point start = Clock::now();
      bHeard = Cycle(*sim, provider, pairs[nPair][0], pairs[nPair][1]);
      spent[nPair] += Clock::now() - start;
    }
    state.SetIterationTime(scale::Seconds(spent[0] + spent[1]));
  }
  for (HDRVLINE hdLine : lines) provider.close(hdLine);
  provider.Shutdown();
  if (!bHeard) return state.SkipWithError("a call's state did not reach TAPI");
  const double dFirst = kCycles / scale::Seconds(spent[0]);
  const double dLast = kCycles / scale::Seconds(spent[1]);
  state.counters["first_per_s"] = dFirst;
  state.counters["last_per_s"] = dLast;
  state.counters["last_vs_first"] = dLast / dFirst;
}
BENCHMARK(BM_EventRouting)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
