// One pass of the timer thread over 1,000 calls that each run a digit gather (none due).
// The calls are spread over lines of kCallsPerLine: a call's state change recomputes the features
// of every call of its line, so one line of 1,000 would spend seconds setting up for a pass that
// serves the same 1,000 calls.
#include <benchmark/benchmark.h>

#include <vector>

#include "framework/address_info.h"
#include "framework/call_appearance.h"
#include "framework/device.h"
#include "framework/line_connection.h"
#include "framework/media_records.h"
#include "framework/service_provider.h"

namespace {

constexpr int kCallsPerLine = 10;

// The provider with its timer pass in reach of the benchmark.
class BenchProvider : public CServiceProvider {
 public:
  using CServiceProvider::ServiceTimedCalls;
  BenchProvider() : CServiceProvider("OMBIX.TSP", "VOIP Service Provider (Z9410)", 0x00020001) {
    DetectExportedFunctions([](LPCSTR) { return reinterpret_cast<FARPROC>(&Exported); });
  }
  static void Exported() {}
};

void BM_TimerPassOverTimedCalls(benchmark::State& state) {
  BenchProvider sp;
  sp.SetTimerTick(24 * 3600 * 1000);  // the passes below are the only ones
  const auto nCalls = static_cast<int>(state.range(0));
  const int nLines = (nCalls + kCallsPerLine - 1) / kCallsPerLine;
  DWORD dwOptions = 0;
  if (sp.providerInit(0x00020001, 1, 0, 0, nLines, 0, nullptr, &dwOptions) != 0) {
    state.SkipWithError("providerInit failed");
    return;
  }
  WCHAR digits[4] = {};
  for (int i = 0; i < nCalls; ++i) {
    CTSPILineConnection* pLine = sp.FindLineByDeviceID(static_cast<DWORD>(i / kCallsPerLine));
    if (i % kCallsPerLine == 0) {
      pLine->CreateAddress("100", "Bench", TRUE, TRUE, LINEMEDIAMODE_INTERACTIVEVOICE,
                           LINEBEARERMODE_VOICE, 0, 0, nullptr, kCallsPerLine, 1, 1, 3, 3);
    }
    CTSPIAddressInfo* pAddr = pLine->GetAddress(0);
    CTSPICallAppearance* pCall =
        pAddr->FindOrCreateCall(reinterpret_cast<HTAPICALL>(static_cast<DWORD_PTR>(0x1000 + i)), 0,
                                LINECALLORIGIN_OUTBOUND, LINECALLREASON_DIRECT, 0xFFFFFFFF, 0);
    pCall->ChangeCallState(LINECALLSTATE_CONNECTED);
    auto* pGather = new TSPIDIGITGATHER;
    pGather->lpBuffer = digits;
    pGather->dwFirstDigitTimeout = 0;  // never due: every pass serves every call
    pCall->GatherDigits(pGather);
  }
  if (sp.GetTimedCallCount() != nCalls) {
    state.SkipWithError("calls were not registered");
    return;
  }
  for (auto _ : state) sp.ServiceTimedCalls();
  state.counters["calls"] = static_cast<double>(sp.GetTimedCallCount());
  sp.providerShutdown(0x00020001, sp.FindDeviceByProviderID(1));
}
BENCHMARK(BM_TimerPassOverTimedCalls)->Arg(1000)->Unit(benchmark::kMicrosecond);

}  // namespace
