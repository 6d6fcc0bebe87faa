// The built OMBIX.TSP at scale, loaded and driven as the telephony service drives it, with 10,
// 100, 1,000 and 32,768 configured lines on a registry of its own (scale_support.h).
// "per_line" is the time of the timed part divided by the line count and should stay flat as
// lines are added.
// - BM_EnumDevices: providerEnumDevices on a registry file the provider has not read yet.
// - BM_ProviderInit: providerInit after the enumeration (the provider reads its lines, rewrites
//   its key); "start_s" is enumeration and start together, "bytes_per_line" the heap the
//   provider took per line at providerInit.
// - BM_LineOpen: lineOpen of every line against a switch-sim with a phone for each line (the
//   first open logs in, every open waits for its monitor); "in_service" is the share of lines
//   the switch put in service.
// - BM_LineDevCaps: lineGetDevCaps of every line.
// - BM_LineLookup: every line found by its device ID and nothing more (lineGetExtensionID: the
//   look-up and the clearing of 16 bytes).
// - BM_LineHandleRefused: as many line-handle checks as there are lines, each of a handle that
//   names no line, so every check is a miss.
// - BM_LibraryCycle: load, negotiate, providerInit (one line), providerShutdown and unload per
//   iteration; "shutdown_us" is the mean time providerShutdown took.
#include <benchmark/benchmark.h>

#include <thread>

#include "bench/scale_support.h"

namespace {

using scale::Clock;
using scale::kLineBase;
using scale::kVersion;

void NoLineEvent(HTAPILINE, HTAPICALL, DWORD, DWORD_PTR, DWORD_PTR, DWORD_PTR) {}

void PerLine(benchmark::State& state, DWORD dwLines) {
  state.counters["per_line"] = benchmark::Counter(
      dwLines, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_EnumDevices(benchmark::State& state) {
  const auto dwLines = static_cast<DWORD>(state.range(0));
  scale::Registry& registry = scale::Registry::Get();
  scale::Provider provider;
  if (!registry.Ready() || !provider.Load()) return state.SkipWithError("no registry or library");
  DWORD dwVersion = 0;
  provider.negotiate(INITIALIZE_NEGOTIATION, kVersion, kVersion, &dwVersion);
  for (auto _ : state) {
    if (!registry.Write(dwLines, "127.0.0.1")) return state.SkipWithError("registry not written");
    DWORD dwFound = 0;
    DWORD dwPhones = 0;
    const Clock::time_point start = Clock::now();
    provider.enumDevices(scale::kProviderID, &dwFound, &dwPhones, nullptr, nullptr, nullptr);
    state.SetIterationTime(scale::Seconds(Clock::now() - start));
    if (dwFound != dwLines) return state.SkipWithError("the line count was not read");
  }
  PerLine(state, dwLines);
}

void BM_ProviderInit(benchmark::State& state) {
  const auto dwLines = static_cast<DWORD>(state.range(0));
  scale::Registry& registry = scale::Registry::Get();
  scale::Provider provider;
  if (!registry.Ready() || !provider.Load()) return state.SkipWithError("no registry or library");
  double dStart = 0;
  double dBytes = 0;
  for (auto _ : state) {
    if (!registry.Write(dwLines, "127.0.0.1")) return state.SkipWithError("registry not written");
    const Clock::time_point enumStart = Clock::now();
    if (provider.Enumerate() != dwLines) return state.SkipWithError("the line count was not read");
    const size_t nBeforeInit = scale::HeapInUse();
    const Clock::time_point start = Clock::now();
    const bool bStarted = provider.Init(dwLines);
    const Clock::time_point end = Clock::now();
    const size_t nAfter = scale::HeapInUse();
    state.SetIterationTime(scale::Seconds(end - start));
    if (!bStarted) return state.SkipWithError("the provider did not start");
    dStart += scale::Seconds(end - enumStart);
    dBytes += (static_cast<double>(nAfter) - static_cast<double>(nBeforeInit)) / dwLines;
    provider.Shutdown();
  }
  const auto n = static_cast<double>(state.iterations());
  state.counters["start_s"] = dStart / n;
  state.counters["bytes_per_line"] = dBytes / n;
  PerLine(state, dwLines);
}

void BM_LineOpen(benchmark::State& state) {
  const auto dwLines = static_cast<DWORD>(state.range(0));
  double dInService = 0;
  for (auto _ : state) {
    std::unique_ptr<SwitchSim> sim;
    scale::Provider provider;
    if (const char* pszFailed = scale::StartOnSwitch(provider, dwLines, sim)) {
      return state.SkipWithError(pszFailed);
    }
    std::vector<HDRVLINE> lines(dwLines);
    const Clock::time_point start = Clock::now();
    if (!scale::OpenLines(provider, lines, NoLineEvent))
      return state.SkipWithError("a line did not open");
    state.SetIterationTime(scale::Seconds(Clock::now() - start));
    // The phone states that the monitors' queries bring may still be on their way.
    const Clock::time_point end = Clock::now() + std::chrono::seconds(20);
    DWORD dwInService = 0;
    for (DWORD i = 0; i < dwLines;) {
      LINEDEVSTATUS status{};
      status.dwTotalSize = sizeof(status);
      provider.getLineDevStatus(lines[i], &status);
      if ((status.dwDevStatusFlags & LINEDEVSTATUSFLAGS_INSERVICE) != 0) {
        ++dwInService;
        ++i;
      } else if (Clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      } else {
        ++i;
      }
    }
    dInService += static_cast<double>(dwInService) / dwLines;
    for (HDRVLINE hdLine : lines) provider.close(hdLine);
    provider.Shutdown();
  }
  state.counters["in_service"] = dInService / static_cast<double>(state.iterations());
  PerLine(state, dwLines);
}

// A started provider for the benchmarks that look at its lines.
class StartedFixture : public benchmark::Fixture {
 public:
  void SetUp(benchmark::State& state) override {
    m_dwLines = static_cast<DWORD>(state.range(0));
    m_bReady = scale::Registry::Get().Ready() && m_provider.Load() &&
               m_provider.Start(m_dwLines, "127.0.0.1");
  }
  void TearDown(benchmark::State&) override {
    if (m_bReady) m_provider.Shutdown();
    m_provider.Unload();
    m_bReady = false;
  }

 protected:
  scale::Provider m_provider;
  DWORD m_dwLines = 0;
  bool m_bReady = false;
};

BENCHMARK_DEFINE_F(StartedFixture, BM_LineDevCaps)(benchmark::State& state) {
  if (!m_bReady) return state.SkipWithError("the provider did not start");
  std::vector<unsigned char> buffer(4096);
  auto* pCaps = reinterpret_cast<LPLINEDEVCAPS>(buffer.data());
  for (auto _ : state) {
    for (DWORD i = 0; i < m_dwLines; ++i) {
      pCaps->dwTotalSize = static_cast<DWORD>(buffer.size());
      if (m_provider.getDevCaps(kLineBase + i, kVersion, 0, pCaps) != 0) {
        return state.SkipWithError("a line gave no capabilities");
      }
      benchmark::DoNotOptimize(pCaps->dwUsedSize);
    }
  }
  PerLine(state, m_dwLines);
}

BENCHMARK_DEFINE_F(StartedFixture, BM_LineLookup)(benchmark::State& state) {
  if (!m_bReady) return state.SkipWithError("the provider did not start");
  LINEEXTENSIONID id{};
  for (auto _ : state) {
    for (DWORD i = 0; i < m_dwLines; ++i) {
      if (m_provider.getExtensionID(kLineBase + i, kVersion, &id) != 0) {
        return state.SkipWithError("a line was not found");
      }
      benchmark::DoNotOptimize(id);
    }
  }
  PerLine(state, m_dwLines);
}

BENCHMARK_DEFINE_F(StartedFixture, BM_LineHandleRefused)(benchmark::State& state) {
  if (!m_bReady) return state.SkipWithError("the provider did not start");
  LINEDEVSTATUS status{};
  auto hdNoLine = reinterpret_cast<HDRVLINE>(&status);
  for (auto _ : state) {
    for (DWORD i = 0; i < m_dwLines; ++i) {
      status.dwTotalSize = sizeof(status);
      if (m_provider.getLineDevStatus(hdNoLine, &status) != LINEERR_INVALLINEHANDLE) {
        return state.SkipWithError("a handle that names no line was taken");
      }
    }
  }
  PerLine(state, m_dwLines);
}

void BM_LibraryCycle(benchmark::State& state) {
  scale::Registry& registry = scale::Registry::Get();
  if (!registry.Ready() || !registry.Write(1, "127.0.0.1")) {
    return state.SkipWithError("registry not written");
  }
  Clock::duration shutdown{};
  for (auto _ : state) {
    scale::Provider provider;
    if (!provider.Load()) return state.SkipWithError("the library did not load");
    if (provider.Enumerate() != 1 || !provider.Init(1)) {
      return state.SkipWithError("the provider did not start");
    }
    const Clock::time_point start = Clock::now();
    provider.Shutdown();
    shutdown += Clock::now() - start;
    provider.Unload();
  }
  state.counters["shutdown_us"] =
      std::chrono::duration<double, std::micro>(shutdown).count() / state.iterations();
}

void Sizes(benchmark::internal::Benchmark* b) {
  b->Arg(10)->Arg(100)->Arg(1000)->Arg(32768)->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_EnumDevices)->Apply(Sizes)->UseManualTime();
BENCHMARK(BM_ProviderInit)->Apply(Sizes)->UseManualTime();
// Each run starts a switch and a provider: one open of every line is the measurement.
BENCHMARK(BM_LineOpen)->Apply(Sizes)->UseManualTime()->Iterations(1);
BENCHMARK_REGISTER_F(StartedFixture, BM_LineDevCaps)->Apply(Sizes);
BENCHMARK_REGISTER_F(StartedFixture, BM_LineLookup)->Apply(Sizes);
BENCHMARK_REGISTER_F(StartedFixture, BM_LineHandleRefused)->Apply(Sizes);
BENCHMARK(BM_LibraryCycle)->Unit(benchmark::kMicrosecond);

}  // namespace
