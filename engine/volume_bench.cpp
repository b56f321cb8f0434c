// The drive's read path over the in-memory server with an injected round
// trip (per request) and bandwidth (per connection), with the product's
// cache settings (1 MiB blocks, readahead 4 to 32 blocks): sequential reads
// cold and warm, random reads, one file read by several threads, many small
// files opened and read, a large listing while other cached files are opened
// and read, and a file's end read during a whole-file fetch. Each case
// reports its own figures as counters; fetched/read is the bytes that
// crossed the wire per byte the application read.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <random>
#include <thread>

#include "testing/volume_harness.h"

namespace tarn {
namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kBlock = 1 << 20;
constexpr uint64_t kBandwidth = 25ull << 20;  // bytes per second and connection
constexpr uint64_t kReadBytes = 128 << 10;    // what one read of an application asks
constexpr uint64_t kBigFile = 256ull << 20;
constexpr uint64_t kRandomFile = 128ull << 20;
constexpr int kRandomReads = 48;
constexpr int kSmallFiles = 100;
constexpr uint64_t kSmallFileBytes = 16 << 10;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// A started drive on a server with the given round trip and bandwidth.
struct Drive {
  Drive(uint32_t rttMs, int32_t connections, uint64_t fileBytes) : h(test::MemoryDrive(kBlock, connections)) {
    h.server->putFile("/big", test::Pattern(fileBytes));
    h.server->setLatencyMs(rttMs);
    h.server->setBandwidth(kBandwidth);
    if (!h.volume->start(nullptr).ok()) std::abort();
  }
  uint64_t bytesDown() {
    VolumeStatus s;
    h.volume->status(s);
    return s.bytesDown;
  }
  test::VolumeHarness h;
};

// Reads [from, to) in application-sized pieces; the time of the first piece
// goes to firstMs when given.
bool ReadRange(Drive& d, const std::shared_ptr<OpenFile>& file, uint64_t from, uint64_t to, double* firstMs) {
  std::vector<char> buf(kReadBytes);
  for (uint64_t off = from; off < to; off += kReadBytes) {
    const auto t0 = Clock::now();
    uint64_t got = 0;
    if (!d.h.volume->read(file, off, buf.data(), std::min(kReadBytes, to - off), got).ok()) return false;
    if (firstMs != nullptr && off == from) *firstMs = Seconds(Clock::now() - t0) * 1000;
  }
  return true;
}

double Percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

void BM_ColdSequential(benchmark::State& state) {
  const auto rtt = static_cast<uint32_t>(state.range(0));
  const auto connections = static_cast<int32_t>(state.range(1));
  double seconds = 0, firstMs = 0, fetched = 0;
  for (auto _ : state) {
    Drive d(rtt, connections, kBigFile);
    auto file = d.h.open("/big");
    double first = 0;
    const auto t0 = Clock::now();
    if (!ReadRange(d, file, 0, kBigFile, &first)) state.SkipWithError("read failed");
    const double s = Seconds(Clock::now() - t0);
    state.SetIterationTime(s);
    seconds += s;
    firstMs += first;
    fetched += static_cast<double>(d.bytesDown()) / kBigFile;
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["MB/s"] = static_cast<double>(kBigFile) * n / seconds / 1e6;
  state.counters["ttfb_ms"] = firstMs / n;
  state.counters["fetched/read"] = fetched / n;
}
BENCHMARK(BM_ColdSequential)
    ->ArgsProduct({{1, 20, 80}, {1, 4}})
    ->ArgNames({"rtt", "conns"})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_WarmSequential(benchmark::State& state) {
  Drive d(static_cast<uint32_t>(state.range(0)), 4, kBigFile);
  auto file = d.h.open("/big");
  if (!ReadRange(d, file, 0, kBigFile, nullptr)) state.SkipWithError("read failed");
  const uint64_t before = d.bytesDown();
  double seconds = 0, firstMs = 0;
  for (auto _ : state) {
    double first = 0;
    const auto t0 = Clock::now();
    if (!ReadRange(d, file, 0, kBigFile, &first)) state.SkipWithError("read failed");
    const double s = Seconds(Clock::now() - t0);
    state.SetIterationTime(s);
    seconds += s;
    firstMs += first;
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["MB/s"] = static_cast<double>(kBigFile) * n / seconds / 1e6;
  state.counters["ttfb_ms"] = firstMs / n;
  state.counters["fetched/read"] = static_cast<double>(d.bytesDown() - before) / (kBigFile * n);
}
BENCHMARK(BM_WarmSequential)->Arg(1)->Arg(20)->Arg(80)->ArgName("rtt")->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_RandomRead(benchmark::State& state) {
  const auto size = static_cast<uint64_t>(state.range(0));
  const auto rtt = static_cast<uint32_t>(state.range(1));
  std::vector<double> latencies;
  uint64_t fetched = 0, read = 0;
  std::mt19937_64 gen(7);
  for (auto _ : state) {
    Drive d(rtt, 4, kRandomFile);
    auto file = d.h.open("/big");
    std::vector<char> buf(size);
    double total = 0;
    for (int i = 0; i < kRandomReads; ++i) {
      const uint64_t off = gen() % (kRandomFile - size);
      const auto t0 = Clock::now();
      uint64_t got = 0;
      if (!d.h.volume->read(file, off, buf.data(), size, got).ok()) state.SkipWithError("read failed");
      const double s = Seconds(Clock::now() - t0);
      latencies.push_back(s * 1000);
      total += s;
    }
    state.SetIterationTime(total);
    d.h.volume->stop(0);  // readahead still queued is not counted
    fetched += d.bytesDown();
    read += size * kRandomReads;
  }
  state.counters["p50_ms"] = Percentile(latencies, 0.5);
  state.counters["p99_ms"] = Percentile(latencies, 0.99);
  state.counters["fetched/read"] = static_cast<double>(fetched) / static_cast<double>(read);
}
BENCHMARK(BM_RandomRead)
    ->ArgsProduct({{4 << 10, 64 << 10}, {1, 20, 80}})
    ->ArgNames({"size", "rtt"})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Four threads each read their own quarter of one cold file.
void BM_SharedFile(benchmark::State& state) {
  constexpr int kThreads = 4;
  const auto rtt = static_cast<uint32_t>(state.range(0));
  double seconds = 0, fetched = 0;
  for (auto _ : state) {
    Drive d(rtt, 4, kBigFile);
    auto file = d.h.open("/big");
    std::atomic<bool> failed{false};
    const auto t0 = Clock::now();
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
      threads.emplace_back([&, t] {
        const uint64_t quarter = kBigFile / kThreads;
        if (!ReadRange(d, file, t * quarter, (t + 1) * quarter, nullptr)) failed = true;
      });
    for (std::thread& t : threads) t.join();
    if (failed) state.SkipWithError("read failed");
    const double s = Seconds(Clock::now() - t0);
    state.SetIterationTime(s);
    seconds += s;
    fetched += static_cast<double>(d.bytesDown()) / kBigFile;
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["MB/s"] = static_cast<double>(kBigFile) * n / seconds / 1e6;
  state.counters["fetched/read"] = fetched / n;
}
BENCHMARK(BM_SharedFile)->Arg(1)->Arg(20)->Arg(80)->ArgName("rtt")->UseManualTime()->Unit(benchmark::kMillisecond);

// A read of a large file's whole last block (too large to skip the cache as
// a small random read does) while the whole-file fetch that opening a file
// can start is under way, against the same read with no fetch running
// (whole = 0).
void BM_EndDuringWholeFetch(benchmark::State& state) {
  const auto rtt = static_cast<uint32_t>(state.range(0));
  const bool whole = state.range(1) != 0;
  constexpr uint64_t kFile = 64ull << 20;
  std::vector<double> latencies;
  for (auto _ : state) {
    Drive d(rtt, 4, kFile);
    auto file = d.h.open("/big");
    if (whole) {
      d.h.volume->prefetchWhole(file);
      // Timed from when the fetch holds its first block.
      while (file->cache->wantsFetch(0, kBlock)) std::this_thread::yield();
    }
    std::vector<char> buf(kBlock);
    const auto t0 = Clock::now();
    uint64_t got = 0;
    if (!d.h.volume->read(file, kFile - kBlock, buf.data(), kBlock, got).ok() || got != kBlock)
      state.SkipWithError("read failed");
    const double s = Seconds(Clock::now() - t0);
    state.SetIterationTime(s);
    latencies.push_back(s * 1000);
    d.h.volume->stop(0);
  }
  state.counters["p50_ms"] = Percentile(latencies, 0.5);
  state.counters["max_ms"] = Percentile(latencies, 1.0);
}
BENCHMARK(BM_EndDuringWholeFetch)
    ->ArgsProduct({{1, 20}, {0, 1}})
    ->ArgNames({"rtt", "whole"})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Each file: its attributes from the server (one round trip, as opening
// asks them), the whole-file prefetch that opening starts, then one read of
// the whole file.
void BM_SmallFiles(benchmark::State& state) {
  const auto rtt = static_cast<uint32_t>(state.range(0));
  double seconds = 0;
  for (auto _ : state) {
    Drive d(rtt, 4, 0);
    for (int i = 0; i < kSmallFiles; ++i) d.h.server->putFile("/s/" + std::to_string(i), test::Pattern(kSmallFileBytes, i));
    std::unique_ptr<IBackend> meta = d.h.server->connection();
    if (!meta->connect().ok()) state.SkipWithError("connect failed");
    std::vector<char> buf(kSmallFileBytes);
    const auto t0 = Clock::now();
    for (int i = 0; i < kSmallFiles; ++i) {
      const std::string path = "/s/" + std::to_string(i);
      RemoteAttr attr;
      if (!meta->stat(path, attr).ok()) state.SkipWithError("stat failed");
      auto file = d.h.open(path);
      d.h.volume->prefetchWhole(file);
      uint64_t got = 0;
      if (!d.h.volume->read(file, 0, buf.data(), buf.size(), got).ok() || got != buf.size())
        state.SkipWithError("read failed");
    }
    const double s = Seconds(Clock::now() - t0);
    state.SetIterationTime(s);
    seconds += s;
  }
  state.counters["files/s"] = kSmallFiles * static_cast<double>(state.iterations()) / seconds;
}
BENCHMARK(BM_SmallFiles)->Arg(1)->Arg(20)->Arg(80)->ArgName("rtt")->UseManualTime()->Unit(benchmark::kMillisecond);

// A listing of a folder whose files were all read before, while other
// threads open and read their own cached files (as `ls -l` beside running
// programs): the listing's time, and the readers' latency per open and read
// during it, beside their latency with no listing running.
void BM_ListingWhileReading(benchmark::State& state) {
  constexpr int kEntries = 10000;
  constexpr int kReaders = 4;
  constexpr uint64_t kEntryBytes = 4 << 10;
  Drive d(0, 4, 0);
  for (int i = 0; i < kEntries; ++i) d.h.server->putFile("/list/" + std::to_string(i), test::Pattern(kEntryBytes, i));
  for (int r = 0; r < kReaders; ++r) d.h.server->putFile("/read/" + std::to_string(r), test::Pattern(kEntryBytes, r));
  std::vector<char> buf(kEntryBytes);
  // Opens and reads one file whole, as a program does; the handle closes.
  auto openAndRead = [&](const std::string& path) {
    std::shared_ptr<OpenFile> file;
    uint64_t got = 0;
    std::vector<char> mine(kEntryBytes);
    if (!d.h.volume->open(path, file).ok() || !d.h.volume->read(file, 0, mine.data(), mine.size(), got).ok())
      return false;
    d.h.volume->closeNow(file);
    return got == kEntryBytes;
  };
  for (int i = 0; i < kEntries; ++i)
    if (!openAndRead("/list/" + std::to_string(i))) state.SkipWithError("caching the folder failed");
  for (int r = 0; r < kReaders; ++r)
    if (!openAndRead("/read/" + std::to_string(r))) state.SkipWithError("caching a reader's file failed");

  // Runs the readers until `body` returns; their latencies in ms.
  auto withReaders = [&](const std::function<void()>& body) {
    std::atomic<bool> stop{false}, failed{false};
    std::vector<std::vector<double>> each(kReaders);
    std::vector<std::thread> threads;
    for (int r = 0; r < kReaders; ++r)
      threads.emplace_back([&, r] {
        const std::string path = "/read/" + std::to_string(r);
        while (!stop.load()) {
          const auto t0 = Clock::now();
          if (!openAndRead(path)) failed = true;
          each[r].push_back(Seconds(Clock::now() - t0) * 1000);
        }
      });
    body();
    stop = true;
    for (std::thread& t : threads) t.join();
    if (failed) state.SkipWithError("a reader failed");
    std::vector<double> all;
    for (const auto& v : each) all.insert(all.end(), v.begin(), v.end());
    return all;
  };
  std::vector<double> during, idle;
  double seconds = 0;
  for (auto _ : state) {
    std::vector<DirEntry> entries;
    // The listing itself comes from the metadata cache: the local work is measured.
    if (!d.h.volume->readdir("/list", entries).ok()) state.SkipWithError("listing failed");
    double s = 0;
    std::vector<double> got = withReaders([&] {
      const auto t0 = Clock::now();
      if (!d.h.volume->readdir("/list", entries).ok() || entries.size() != kEntries)
        state.SkipWithError("listing failed");
      s = Seconds(Clock::now() - t0);
    });
    during.insert(during.end(), got.begin(), got.end());
    got = withReaders([&] { std::this_thread::sleep_for(std::chrono::duration<double>(s)); });
    idle.insert(idle.end(), got.begin(), got.end());
    state.SetIterationTime(s);
    seconds += s;
  }
  if (during.empty() || idle.empty()) return;
  state.counters["list_ms"] = seconds * 1000 / static_cast<double>(state.iterations());
  state.counters["read_p50_ms"] = Percentile(during, 0.5);
  state.counters["read_p99_ms"] = Percentile(during, 0.99);
  state.counters["idle_p50_ms"] = Percentile(idle, 0.5);
  state.counters["idle_p99_ms"] = Percentile(idle, 0.99);
}
BENCHMARK(BM_ListingWhileReading)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tarn

BENCHMARK_MAIN();
