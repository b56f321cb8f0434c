// Costs of the engine's hot shared objects: one pooled remote call over the
// in-memory back-end (lease, retry loop, release), metadata cache hits, and
// the offline journal's appends on the real disk beside the plainest durable
// append there is (one line written and fdatasync'd), in the same run.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "engine/connection_pool.h"
#include "engine/journal.h"
#include "engine/meta_cache.h"
#include "testing/memory_backend.h"
#include "testing/temp_dir.h"

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

// The path of the i-th file of an offline untar.
std::string UntarPath(int64_t i) {
  char name[64];
  std::snprintf(name, sizeof(name), "/src/dir%03lld/file-%06lld.c", static_cast<long long>(i / 1000),
                static_cast<long long>(i));
  return name;
}

// N creates recorded offline, each durable before the next: the time of all
// N, and per 1,000 records.
void BM_JournalAppend(benchmark::State& state) {
  const int64_t records = state.range(0);
  for (auto _ : state) {
    state.PauseTiming();
    auto dir = std::make_unique<test::TempDir>("tarn-journal-bench");
    auto journal = std::make_unique<Journal>(dir->file("journal.json"));
    state.ResumeTiming();
    for (int64_t i = 0; i < records; ++i)
      if (!journal->append({kJournalCreate, UntarPath(i)}).ok()) state.SkipWithError("append failed");
    state.PauseTiming();
    journal.reset();
    dir.reset();
    state.ResumeTiming();
  }
  state.counters["per_1000"] = benchmark::Counter(static_cast<double>(records) / 1000.0,
                                                  benchmark::Counter::kIsIterationInvariantRate |
                                                      benchmark::Counter::kInvert);
}
BENCHMARK(BM_JournalAppend)->Arg(1000)->Arg(4000)->Arg(50000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The peer: one line of the same size appended and fdatasync'd per record.
void BM_LineAppendDataSync(benchmark::State& state) {
  const int64_t records = state.range(0);
  for (auto _ : state) {
    state.PauseTiming();
    auto dir = std::make_unique<test::TempDir>("tarn-journal-bench");
    const int fd = ::open(dir->file("lines").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    state.ResumeTiming();
    for (int64_t i = 0; i < records; ++i) {
      const std::string line = "{\"do\":\"add\",\"id\":" + std::to_string(i + 1) + ",\"op\":\"create\",\"path\":\"" +
                               UntarPath(i) + "\",\"at\":1765000000}\n";
      if (::write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size()) || ::fdatasync(fd) != 0)
        state.SkipWithError("append failed");
    }
    state.PauseTiming();
    ::close(fd);
    dir.reset();
    state.ResumeTiming();
  }
  state.counters["per_1000"] = benchmark::Counter(static_cast<double>(records) / 1000.0,
                                                  benchmark::Counter::kIsIterationInvariantRate |
                                                      benchmark::Counter::kInvert);
}
BENCHMARK(BM_LineAppendDataSync)->Arg(1000)->Arg(4000)->Arg(50000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// A start after N creates recorded offline, every tenth record already
// replayed: the load of the log (and the fold that follows it).
void BM_JournalLoad(benchmark::State& state) {
  const int64_t records = state.range(0);
  for (auto _ : state) {
    state.PauseTiming();
    auto dir = std::make_unique<test::TempDir>("tarn-journal-bench");
    std::string log = "{\"generation\":0}\n";
    for (int64_t i = 0; i < records; ++i) {
      log += "{\"do\":\"add\",\"id\":" + std::to_string(i + 1) + ",\"op\":\"create\",\"path\":\"" + UntarPath(i) +
             "\",\"at\":1765000000}\n";
      if (i % 10 == 9) log += "{\"do\":\"drop\",\"id\":" + std::to_string(i / 10 + 1) + "}\n";
    }
    const std::string file = dir->file("journal.json");
    if (!Env::Default()->writeFile(JournalLogPath(file), log, false, false).ok()) state.SkipWithError("write failed");
    Journal journal(file);
    state.ResumeTiming();
    if (!journal.load() || journal.count() != static_cast<uint64_t>(records - records / 10))
      state.SkipWithError("load failed");
    state.PauseTiming();
    dir.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_JournalLoad)->Arg(4000)->Arg(50000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace tarn

BENCHMARK_MAIN();
