// The built OMBIX.TSP at scale, loaded and driven as the telephony service drives it.
// - BM_LineLookup / BM_LineDevCaps: every line of a device with 10, 1,000 and 32,768 lines found
//   by its device ID (version negotiation, nothing but the look-up behind it) and asked for its
//   capabilities. "per_line" is the time per line and must stay flat as lines are added;
//   "bytes_per_line" is the heap the device took per configured line at providerInit.
// - BM_LineHandleRefused: as many line-handle checks as there are lines, each of a handle that
//   names no line (the provider's base opens no line), so every check is a miss.
// - BM_LibraryCycle: load, negotiate, providerInit (one line), providerShutdown and unload per
//   iteration; "shutdown_us" is the mean time providerShutdown took.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <malloc.h>

#include <chrono>
#include <cstdlib>
#include <vector>

#include "platform/tspi.h"

namespace {

constexpr DWORD kProviderID = 7;
constexpr DWORD kLineBase = 100;
constexpr DWORD kVersion = 0x00020001;

void IgnoreCompletion(DRV_REQUESTID, LONG) {}

template <typename Fn>
Fn Resolve(void* hLibrary, const char* pszName) {
  return reinterpret_cast<Fn>(dlsym(hLibrary, pszName));
}

// The library, loaded; its entry points by name.
struct Provider {
  void* hLibrary = nullptr;
  decltype(&TSPI_lineNegotiateTSPIVersion) negotiate = nullptr;
  decltype(&TSPI_lineGetDevCaps) getDevCaps = nullptr;
  decltype(&TSPI_lineGetLineDevStatus) getLineDevStatus = nullptr;
  decltype(&TSPI_providerInit) init = nullptr;
  decltype(&TSPI_providerShutdown) shutdown = nullptr;

  bool Load() {
    hLibrary = dlopen(OMBIX_TSP_PATH, RTLD_NOW | RTLD_LOCAL);
    if (hLibrary == nullptr) return false;
    negotiate = Resolve<decltype(negotiate)>(hLibrary, "TSPI_lineNegotiateTSPIVersion");
    getDevCaps = Resolve<decltype(getDevCaps)>(hLibrary, "TSPI_lineGetDevCaps");
    getLineDevStatus = Resolve<decltype(getLineDevStatus)>(hLibrary, "TSPI_lineGetLineDevStatus");
    init = Resolve<decltype(init)>(hLibrary, "TSPI_providerInit");
    shutdown = Resolve<decltype(shutdown)>(hLibrary, "TSPI_providerShutdown");
    return negotiate != nullptr && getDevCaps != nullptr && getLineDevStatus != nullptr &&
           init != nullptr && shutdown != nullptr;
  }
  void Unload() {
    if (hLibrary != nullptr) dlclose(hLibrary);
    hLibrary = nullptr;
  }
  bool Start(DWORD dwLines) {
    DWORD dwVersion = 0;
    DWORD dwOptions = 0;
    return negotiate(INITIALIZE_NEGOTIATION, kVersion, kVersion, &dwVersion) == 0 &&
           init(kVersion, kProviderID, kLineBase, 0, dwLines, 0, IgnoreCompletion, &dwOptions) == 0;
  }
};

size_t HeapInUse() {
  return mallinfo2().uordblks;
}

// A provider started with state.range(0) lines, with its heap per line counted.
class LinesFixture : public benchmark::Fixture {
 public:
  void SetUp(benchmark::State& state) override {
    m_dwLines = static_cast<DWORD>(state.range(0));
    if (!m_provider.Load()) return;
    const size_t before = HeapInUse();
    if (!m_provider.Start(m_dwLines)) return;
    m_bytesPerLine = static_cast<double>(HeapInUse() - before) / m_dwLines;
    m_bReady = true;
  }
  void TearDown(benchmark::State&) override {
    if (m_bReady) m_provider.shutdown(kVersion, kProviderID);
    m_provider.Unload();
    m_bReady = false;
  }

 protected:
  void Report(benchmark::State& state) {
    state.counters["per_line"] = benchmark::Counter(
        m_dwLines, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["bytes_per_line"] = m_bytesPerLine;
  }

  Provider m_provider;
  DWORD m_dwLines = 0;
  double m_bytesPerLine = 0;
  bool m_bReady = false;
};

BENCHMARK_DEFINE_F(LinesFixture, BM_LineLookup)(benchmark::State& state) {
  if (!m_bReady) return state.SkipWithError("the provider did not start");
  for (auto _ : state) {
    for (DWORD i = 0; i < m_dwLines; ++i) {
      DWORD dwVersion = 0;
      if (m_provider.negotiate(kLineBase + i, kVersion, kVersion, &dwVersion) != 0) {
        return state.SkipWithError("a line was not found");
      }
      benchmark::DoNotOptimize(dwVersion);
    }
  }
  Report(state);
}

BENCHMARK_DEFINE_F(LinesFixture, BM_LineDevCaps)(benchmark::State& state) {
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
  Report(state);
}

BENCHMARK_DEFINE_F(LinesFixture, BM_LineHandleRefused)(benchmark::State& state) {
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
  Report(state);
}

BENCHMARK_REGISTER_F(LinesFixture, BM_LineLookup)
    ->Arg(10)
    ->Arg(1000)
    ->Arg(32768)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_REGISTER_F(LinesFixture, BM_LineDevCaps)
    ->Arg(10)
    ->Arg(1000)
    ->Arg(32768)
    ->Unit(benchmark::kMicrosecond);

BENCHMARK_REGISTER_F(LinesFixture, BM_LineHandleRefused)
    ->Arg(10)
    ->Arg(1000)
    ->Arg(32768)
    ->Unit(benchmark::kMicrosecond);

void BM_LibraryCycle(benchmark::State& state) {
  using Clock = std::chrono::steady_clock;
  Clock::duration shutdown{};
  for (auto _ : state) {
    Provider provider;
    if (!provider.Load()) return state.SkipWithError("the library did not load");
    if (!provider.Start(1)) return state.SkipWithError("the provider did not start");
    const Clock::time_point start = Clock::now();
    provider.shutdown(kVersion, kProviderID);
    shutdown += Clock::now() - start;
    provider.Unload();
  }
  state.counters["shutdown_us"] =
      std::chrono::duration<double, std::micro>(shutdown).count() / state.iterations();
}
BENCHMARK(BM_LibraryCycle)->Unit(benchmark::kMicrosecond);

}  // namespace
