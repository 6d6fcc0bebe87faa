// Events after a close: the built OMBIX.TSP against switch-sim (scale_support.h), played by
// several TAPI threads that open and close lines over and over, each open with a line handle never
// used before, and close the calls they learned of (every one before the line's close, as TAPI
// does), while a switch thread places, holds, retrieves and hangs up calls between the lines'
// phones and changes their message counts. TAPI's line callback spends 300 µs on each event, as a
// busy telephony server may.
//
// A figure, not a time; each of these must be 0:
// - line_after_close: deliveries for a line that were still running after its lineClose returned;
// - call_after_close: deliveries for a call that were still running after its lineCloseCall
//   returned (also a handle that came back several opens later);
// - null_call_handle: LINE_CALLSTATE or LINE_CALLINFO without a call handle.
// Arguments: TAPI threads, lines, seconds.
#include <benchmark/benchmark.h>

#include <atomic>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "bench/scale_support.h"

namespace {

using scale::Clock;

// TAPI's side: the handles it gave out and closed, the calls each line handle learned of.
struct Tapi {
  std::mutex mx;
  std::set<HTAPILINE> closedLines;
  std::set<HTAPICALL> closedCalls;
  std::map<HTAPILINE, std::vector<std::pair<HDRVCALL, HTAPICALL>>> calls;
  std::atomic<ULONGLONG> nextCall{0x10000};
  std::atomic<long> events{0}, lineAfterClose{0}, callAfterClose{0}, nullCallHandle{0};
};
Tapi* g_pTapi = nullptr;

void OnLineEvent(HTAPILINE htLine, HTAPICALL htCall, DWORD dwMsg, DWORD_PTR p1, DWORD_PTR p2,
                 DWORD_PTR) {
  Tapi& tapi = *g_pTapi;
  ++tapi.events;
  if ((dwMsg == LINE_CALLSTATE || dwMsg == LINE_CALLINFO) && htCall == nullptr) {
    ++tapi.nullCallHandle;
  }
  if (dwMsg == LINE_NEWCALL) {
    const auto htNew = reinterpret_cast<HTAPICALL>(static_cast<DWORD_PTR>(tapi.nextCall++));
    *reinterpret_cast<HTAPICALL*>(p2) = htNew;
    std::lock_guard<std::mutex> lock(tapi.mx);
    tapi.calls[htLine].emplace_back(reinterpret_cast<HDRVCALL>(p1), htNew);
  }
  std::this_thread::sleep_for(std::chrono::microseconds(300));
  // Counted when the close returned before this delivery ended.
  std::lock_guard<std::mutex> lock(tapi.mx);
  if (tapi.closedLines.count(htLine) != 0) ++tapi.lineAfterClose;
  if (htCall != nullptr && tapi.closedCalls.count(htCall) != 0) ++tapi.callAfterClose;
}

// Closes the calls the line handle learned of so far, each with probability dShare.
void CloseCalls(scale::Provider& provider, Tapi& tapi, HTAPILINE htLine, double dShare,
                std::mt19937& random, long& nClosed) {
  std::vector<std::pair<HDRVCALL, HTAPICALL>> chosen;
  {
    std::lock_guard<std::mutex> lock(tapi.mx);
    auto& known = tapi.calls[htLine];
    std::bernoulli_distribution pick(dShare);
    for (auto it = known.begin(); it != known.end();) {
      if (pick(random)) {
        chosen.push_back(*it);
        it = known.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (const auto& [hdCall, htCall] : chosen) {
    provider.closeCall(hdCall);
    ++nClosed;
    std::lock_guard<std::mutex> lock(tapi.mx);
    tapi.closedCalls.insert(htCall);
  }
}

// The switch's side: calls between random phones, held and retrieved, hung up; message counts.
void DriveSwitch(SwitchSim& sim, DWORD dwLines, Clock::time_point end) {
  std::mt19937 random(7);
  std::uniform_int_distribution<DWORD> phone(0, dwLines - 1);
  std::vector<std::pair<DWORD, DWORD>> live;  // switch call number, a phone of it
  while (Clock::now() < end) {
    const DWORD a = phone(random);
    const DWORD b = (a + 1 + phone(random) % (dwLines - 1)) % dwLines;
    const std::string strA = scale::LineNumber(a);
    switch (random() % 6) {
      case 0:
      case 1:
        if (live.size() < 12) {
          const std::string answer =
              sim.Command("call " + strA + " " + scale::LineNumber(b) + " connected");
          if (answer.rfind("call ", 0) == 0) live.emplace_back(std::stoul(answer.substr(5)), a);
        }
        break;
      case 2:
      case 3:
        if (!live.empty()) {
          const size_t i = random() % live.size();
          const std::string strWho = scale::LineNumber(live[i].second);
          sim.Command((random() % 2 ? "hold " : "retrieve ") + std::to_string(live[i].first) +
                      " " + strWho);
        }
        break;
      case 4:
        if (!live.empty()) {
          const size_t i = random() % live.size();
          sim.Command("hangup " + std::to_string(live[i].first));
          live.erase(live.begin() + static_cast<std::ptrdiff_t>(i));
        }
        break;
      default:
        sim.Command("messages " + strA + " " + std::to_string(random() % 3));
        break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  for (const auto& call : live) sim.Command("hangup " + std::to_string(call.first));
}

void BM_EventsAfterClose(benchmark::State& state) {
  const auto nThreads = static_cast<DWORD>(state.range(0));
  const auto dwLines = static_cast<DWORD>(state.range(1));
  const auto seconds = std::chrono::seconds(state.range(2));
  Tapi tapi;
  g_pTapi = &tapi;
  scale::Provider provider;
  std::unique_ptr<SwitchSim> sim;
  if (const char* pszFailed = scale::StartOnSwitch(provider, dwLines, sim)) {
    return state.SkipWithError(pszFailed);
  }
  auto setStatusMessages = reinterpret_cast<decltype(&TSPI_lineSetStatusMessages)>(
      dlsym(provider.hLibrary, "TSPI_lineSetStatusMessages"));
  if (setStatusMessages == nullptr) return state.SkipWithError("no TSPI_lineSetStatusMessages");
  std::atomic<long> nOpens{0}, nCallCloses{0};
  for (auto _ : state) {
    const Clock::time_point end = Clock::now() + seconds;
    std::thread driver([&] { DriveSwitch(*sim, dwLines, end); });
    std::vector<std::thread> threads;
    for (DWORD t = 0; t < nThreads; ++t) {
      threads.emplace_back([&, t] {
        std::mt19937 random(100 + t);
        std::uniform_int_distribution<int> pause(0, 20);
        long nClosed = 0;
        for (DWORD dwGen = 1; Clock::now() < end; ++dwGen) {
          for (DWORD i = t; i < dwLines; i += nThreads) {
            const auto htLine =
                reinterpret_cast<HTAPILINE>(static_cast<DWORD_PTR>((dwGen << 8) | i));
            HDRVLINE hdLine = nullptr;
            if (provider.open(scale::kLineBase + i, htLine, &hdLine, scale::kVersion,
                              &OnLineEvent) != 0) {
              continue;
            }
            ++nOpens;
            setStatusMessages(hdLine, LINEDEVSTATE_MSGWAITON | LINEDEVSTATE_MSGWAITOFF, 0);
            std::this_thread::sleep_for(std::chrono::milliseconds(pause(random)));
            CloseCalls(provider, tapi, htLine, 0.5, random, nClosed);
            std::this_thread::sleep_for(std::chrono::milliseconds(pause(random)));
            CloseCalls(provider, tapi, htLine, 1.0, random, nClosed);
            provider.close(hdLine);
            {
              std::lock_guard<std::mutex> lock(tapi.mx);
              tapi.closedLines.insert(htLine);
            }
            // Calls announced while the line closed.
            CloseCalls(provider, tapi, htLine, 1.0, random, nClosed);
          }
        }
        nCallCloses += nClosed;
      });
    }
    for (std::thread& thread : threads) thread.join();
    driver.join();
  }
  provider.Shutdown();
  sim->Stop();
  state.counters["opens"] = static_cast<double>(nOpens.load());
  state.counters["call_closes"] = static_cast<double>(nCallCloses.load());
  state.counters["events"] = static_cast<double>(tapi.events.load());
  state.counters["line_after_close"] = static_cast<double>(tapi.lineAfterClose.load());
  state.counters["call_after_close"] = static_cast<double>(tapi.callAfterClose.load());
  state.counters["null_call_handle"] = static_cast<double>(tapi.nullCallHandle.load());
  g_pTapi = nullptr;
}
BENCHMARK(BM_EventsAfterClose)
    ->Args({6, 16, 40})
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

}  // namespace
