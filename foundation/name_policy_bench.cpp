// The folder scan over whole listings, as the server probe runs it: the cost
// must grow with the listing, not with its square.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "foundation/name_policy.h"

namespace {

std::vector<tarn::DirEntry> Listing(int count, bool ascii) {
  std::vector<tarn::DirEntry> out;
  out.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    std::string name = (ascii ? "Report " : "B\xC3\xBC" "cher ") + std::to_string(i) + ".txt";
    out.push_back({std::move(name), {}});
  }
  return out;
}

void BM_ScanNameIssues(benchmark::State& state) {
  const std::vector<tarn::DirEntry> entries = Listing(static_cast<int>(state.range(0)), state.range(1) != 0);
  tarn::BackendCaps caps;
  caps.caseSensitive = true;
  for (auto _ : state) benchmark::DoNotOptimize(tarn::ScanNameIssues(entries, caps));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ScanNameIssues)->Args({10000, 0})->Args({50000, 1})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
