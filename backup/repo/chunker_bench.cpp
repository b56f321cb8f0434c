// Throughput of the content-defined chunker with the values of a new
// repository, cutting a buffer the way the backup run feeds it.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "backup/repo/chunker.h"

namespace {

void BM_ChunkerCut(benchmark::State& state) {
  std::mt19937_64 rng(7);
  std::vector<uint8_t> data(64 << 20);
  for (auto& b : data) b = uint8_t(rng());
  tarn::backup::Chunker chunker({tarn::backup::kChunkMinDefault, tarn::backup::kChunkAvgDefault,
                                 tarn::backup::kChunkMaxDefault, 0x1234});
  size_t chunks = 0;
  for (auto _ : state) {
    chunks = 0;
    for (uint64_t pos = 0; pos < data.size(); ++chunks) pos += chunker.cut(data.data() + pos, data.size() - pos);
    benchmark::DoNotOptimize(chunks);
  }
  state.SetBytesProcessed(int64_t(state.iterations() * data.size()));
  state.counters["chunks"] = double(chunks);
}

BENCHMARK(BM_ChunkerCut)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
