// Costs of the engine's hot shared objects: one pooled remote call over the
// in-memory back-end (lease, retry loop, release) and metadata cache hits.
#include <benchmark/benchmark.h>

#include "engine/connection_pool.h"
#include "engine/meta_cache.h"
#include "testing/memory_backend.h"

namespace tarn {
namespace {

std::shared_ptr<test::MemoryServer> g_server;
std::unique_ptr<ConnectionPool> g_pool;

void BM_PoolRun(benchmark::State& state) {
  if (state.thread_index() == 0) {
    g_server = std::make_shared<test::MemoryServer>();
    g_server->putFile("/f", "x");
    g_pool = std::make_unique<ConnectionPool>(g_server->factory(), static_cast<int>(state.range(0)));
  }
  RetryPolicy policy;
  policy.maxAttempts = 1;
  for (auto _ : state) {
    Status st = g_pool->run(policy, nullptr, "stat", [](IBackend& b) {
      RemoteAttr attr;
      return b.stat("/f", attr);
    });
    benchmark::DoNotOptimize(st);
  }
  if (state.thread_index() == 0) {
    g_pool.reset();
    g_server.reset();
  }
}
BENCHMARK(BM_PoolRun)->Arg(1)->Arg(4)->Threads(1)->Threads(4)->UseRealTime();

void BM_MetaCacheHit(benchmark::State& state) {
  MetaCache cache(60000, 60000, 60000, false);
  std::vector<DirEntry> entries;
  for (int i = 0; i < state.range(0); ++i) entries.push_back(DirEntry{"file" + std::to_string(i), RemoteAttr()});
  cache.putListing("/dir", entries);
  RemoteAttr attr;
  bool negative = false;
  for (auto _ : state) benchmark::DoNotOptimize(cache.getAttr("/dir/file7", &attr, &negative));
}
BENCHMARK(BM_MetaCacheHit)->Arg(10)->Arg(10000);

void BM_MetaCacheListing(benchmark::State& state) {
  MetaCache cache(60000, 60000, 60000, false);
  std::vector<DirEntry> entries(static_cast<size_t>(state.range(0)));
  for (size_t i = 0; i < entries.size(); ++i) entries[i].name = "file" + std::to_string(i);
  cache.putListing("/dir", entries);
  std::vector<DirEntry> out;
  for (auto _ : state) benchmark::DoNotOptimize(cache.getListing("/dir", &out));
}
BENCHMARK(BM_MetaCacheListing)->Arg(10)->Arg(1000);

}  // namespace
}  // namespace tarn

BENCHMARK_MAIN();
