// The protocol's per-message costs: encoding a make-call request, decoding a call-connection
// event with three connections, and tracing that event (printing on, output to a null stream).
// Each reports nanoseconds per message and, as "allocs", heap allocations per message.
#include <benchmark/benchmark.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "switchapi/ombix_decoder.h"
#include "switchapi/ombix_request_bodies.h"
#include "switchapi/ombix_trace.h"
#include "tests/switchapi/datagram_builder.h"

namespace {

std::atomic<long> g_allocations{0};

void CountAllocations(benchmark::State& state, long before) {
  state.counters["allocs"] = benchmark::Counter(static_cast<double>(g_allocations.load() - before),
                                                benchmark::Counter::kAvgIterations);
}

// A call-connection event with three connections, as the switch sends it.
std::vector<BYTE> CallConnectionEvent() {
  TestDatagram d(42, 17);  // dwMsgSeq, OMBIX_CALL_CONNECTION_EVENT
  d.U32(7).Str("201").Oid(0x10).U32s({4, 0, 1700000000, 3});
  for (int i = 0; i < 3; ++i) {
    d.U32(1700000000 + i).Str("30" + std::to_string(i));
    d.Str(i == 0 ? "" : "Party " + std::to_string(i)).U32s({3, 4});
  }
  return d.Oid(0x40).Str("301").Str("201").bytes;
}

void BM_EncodeMakeCall(benchmark::State& state) {
  std::array<BYTE, 4 + kOmbixMaxBody> buffer;
  const long before = g_allocations.load();
  for (auto _ : state) {
    COmbixWriter w(buffer.data() + 4, kOmbixMaxBody);
    EncodeMakeCallReq(w, 7, "201", "5550100", 0, "");
    benchmark::DoNotOptimize(buffer.data());
    benchmark::DoNotOptimize(w.GetLength());
  }
  CountAllocations(state, before);
}
BENCHMARK(BM_EncodeMakeCall);

void BM_DecodeCallConnectionEvent(benchmark::State& state) {
  const std::vector<BYTE> d = CallConnectionEvent();
  const long before = g_allocations.load();
  for (auto _ : state) {
    std::unique_ptr<COmbixMsg> msg = DecodeMessage(d.data(), static_cast<DWORD>(d.size()));
    benchmark::DoNotOptimize(msg.get());
  }
  CountAllocations(state, before);
}
BENCHMARK(BM_DecodeCallConnectionEvent);

void BM_TraceCallConnectionEvent(benchmark::State& state) {
  const std::vector<BYTE> d = CallConnectionEvent();
  std::FILE* sink = std::fopen("/dev/null", "w");
  if (sink == nullptr) {
    state.SkipWithError("cannot open /dev/null");
    return;
  }
  COmbixTrace trace;
  trace.SetOutput(sink);
  trace.SetFlags(kOmbixTracePrint);
  trace.TraceReceived(d.data(), static_cast<DWORD>(d.size()));  // the stream's buffer, once
  const long before = g_allocations.load();
  for (auto _ : state) trace.TraceReceived(d.data(), static_cast<DWORD>(d.size()));
  CountAllocations(state, before);
  std::fclose(sink);
}
BENCHMARK(BM_TraceCallConnectionEvent);

}  // namespace

// Counting replacements of the global allocation functions. Kept out of line so the compiler
// does not pair an inlined free with a new it cannot see.
__attribute__((noinline)) void* operator new(std::size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
__attribute__((noinline)) void operator delete(void* p) noexcept {
  std::free(p);
}
__attribute__((noinline)) void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
