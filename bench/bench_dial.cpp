// Parsing a dialable-address list of N addresses separated by CR LF, on a line that takes
// multiple addresses: the time per list should grow with N, not with N squared.
#include <benchmark/benchmark.h>

#include <string>

#include "framework/dial_info.h"
#include "platform/tapi.h"

namespace {

std::string AddressList(int nAddresses) {
  std::string list;
  for (int i = 0; i < nAddresses; ++i) {
    if (i != 0) list += "\r\n";
    list += "(212) 555-";
    list += std::to_string(1000 + i % 9000);
    list += "|22^Jones";
  }
  return list;
}

void BM_ParseAddressList(benchmark::State& state) {
  const std::string list = AddressList(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    CADObArray entries;
    const LONG lResult =
        ParseDialableAddressList(LINEDEVCAPFLAGS_MULTIPLEADDR, std::nullopt, list.c_str(), entries);
    if (lResult != 0 || entries.GetSize() != state.range(0)) {
      state.SkipWithError("the list did not parse");
      break;
    }
  }
  state.SetComplexityN(state.range(0));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ParseAddressList)->RangeMultiplier(10)->Range(10, 100000)->Complexity();

}  // namespace
