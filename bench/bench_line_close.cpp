// A line close with N requests pending: the first started and waiting for the switch's answer,
// the rest queued behind it. The close fails each with LINEERR_OPERATIONFAILED, reports it to
// TAPI and frees it; the time is that of the close alone.
#include <benchmark/benchmark.h>

#include "framework/device.h"
#include "framework/line_connection.h"
#include "framework/request.h"
#include "framework/service_provider.h"

namespace {

void OnCompletion(DRV_REQUESTID, LONG) {}
void OnLineEvent(HTAPILINE, HTAPICALL, DWORD, DWORD_PTR, DWORD_PTR, DWORD_PTR) {}

class BenchProvider : public CServiceProvider {
 public:
  BenchProvider() : CServiceProvider("OMBIX.TSP", "VOIP Service Provider (Z9410)", 0x00020001) {}
  BOOL OpenConnection(CTSPIConnection*) override { return TRUE; }
  BOOL CloseConnection(CTSPIConnection*) override { return TRUE; }
};

// Starts as the switch line does, sending nothing.
class BenchLine : public CTSPILineConnection {
 public:
  BOOL ProcessData(DWORD dwData, LPCVOID lpBuff, DWORD dwSize) override {
    if (dwData != 0 || lpBuff != nullptr || dwSize != 0) return FALSE;
    return FetchRequestToStart() ? TRUE : FALSE;
  }
};

void BM_LineCloseWithPendingRequests(benchmark::State& state) {
  BenchProvider provider;
  CTSPIDevice device;
  if (!device.Init(7, 0, 0, 0, 0, nullptr, &OnCompletion)) {
    state.SkipWithError("device");
    return;
  }
  BenchLine line;
  line.Init(&device, 100, 0);
  const auto nPending = static_cast<DWORD>(state.range(0));
  const HTAPILINE htLine = reinterpret_cast<HTAPILINE>(0x1234);
  for (auto _ : state) {
    state.PauseTiming();
    line.OpenLine(htLine, &OnLineEvent, 0x00020001);
    for (DWORD i = 1; i <= nPending; ++i) {
      line.QueueRequest(nullptr, nullptr, REQUEST_LINEHOLD, i, nullptr, 0);
    }
    state.ResumeTiming();
    if (line.CloseLine() != 0 || line.GetRequestCount() != 0) {
      state.SkipWithError("close");
      return;
    }
  }
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_LineCloseWithPendingRequests)->RangeMultiplier(8)->Range(1, 4096)->Complexity();

}  // namespace
