// The drive's write side over the in-memory server with an injected round
// trip (per request) and bandwidth (per connection), with the product's
// settings unless a case names one: writes into the block cache, upload
// speed in place and whole by parallelChunks, the time from closing a file
// until the server holds it, and many small files from create until all of
// them are on the server.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "testing/volume_harness.h"

namespace tarn {
namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kBlock = 1 << 20;
constexpr uint64_t kBandwidth = 25ull << 20;  // bytes per second and connection
constexpr uint64_t kCacheWriteBytes = 256ull << 20;
constexpr uint64_t kUnalignedPiece = 65537;   // straddles block edges now and then
constexpr int kUploadFiles = 8;
constexpr uint64_t kUploadFileBytes = 8ull << 20;
constexpr uint64_t kClosedFileBytes = 256 << 10;
constexpr int kSmallFiles = 5000;
constexpr uint64_t kSmallFileBytes = 4 << 10;
constexpr int kCreators = 8;  // callback threads of a mount host
constexpr uint32_t kIdleWaitMs = 3600000;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// A started drive with 1 MiB blocks on a server of the given round trip.
struct Drive {
  Drive(uint32_t rttMs, bool randomWrite, MountConfig config = test::MemoryDrive(kBlock))
      : h(std::move(config), VolumeTimings()) {
    h.server->setCaps(test::WritableCaps(randomWrite));
    h.server->setLatencyMs(rttMs);
    h.server->setBandwidth(kBandwidth);
    if (!h.volume->start(nullptr).ok()) std::abort();
  }
  test::VolumeHarness h;
};

void BM_WriteIntoCache(benchmark::State& state) {
  const uint64_t piece = state.range(0) != 0 ? kBlock : kUnalignedPiece;
  MountConfig config = test::MemoryDrive(kBlock);
  config.cache.offlineMode = true;  // nothing goes up while the cache is measured
  const std::string data = test::Pattern(piece);
  double seconds = 0;
  for (auto _ : state) {
    Drive d(0, true, config);
    std::shared_ptr<OpenFile> file;
    if (!d.h.volume->create("/w", false, file).ok()) state.SkipWithError("create failed");
    const auto t0 = Clock::now();
    for (uint64_t at = 0; at < kCacheWriteBytes; at += piece)
      if (!d.h.volume->write(file, at, data.data(), std::min(piece, kCacheWriteBytes - at)).ok())
        state.SkipWithError("write failed");
    const double s = Seconds(Clock::now() - t0);
    state.SetIterationTime(s);
    seconds += s;
  }
  state.counters["MB/s"] = static_cast<double>(kCacheWriteBytes) * static_cast<double>(state.iterations()) / seconds / 1e6;
}
BENCHMARK(BM_WriteIntoCache)->Arg(1)->Arg(0)->ArgName("aligned")->UseManualTime()->Unit(benchmark::kMillisecond);

// Files written while offline go up when the drive comes online.
void BM_Upload(benchmark::State& state) {
  const bool inPlace = state.range(0) != 0;
  MountConfig config = test::MemoryDrive(kBlock);
  config.transfer.parallelChunks = static_cast<int32_t>(state.range(1));
  config.transfer.chunkBytes = 4ull << 20;
  const std::string data = test::Pattern(kUploadFileBytes);
  double seconds = 0;
  for (auto _ : state) {
    Drive d(1, inPlace, config);
    std::vector<std::shared_ptr<OpenFile>> files;
    for (int i = 0; i < kUploadFiles; ++i) {
      d.h.server->putFile("/u" + std::to_string(i), "");
      files.push_back(d.h.openFile("/u" + std::to_string(i)));
    }
    d.h.volume->setOffline(true);
    for (const std::shared_ptr<OpenFile>& file : files) {
      if (!file || !d.h.volume->write(file, 0, data.data(), data.size()).ok()) {
        state.SkipWithError("write failed");
        break;
      }
      d.h.volume->closeNow(file);
    }
    const auto t0 = Clock::now();
    d.h.volume->setOffline(false);
    if (!d.h.volume->waitUploadsIdle(kIdleWaitMs)) state.SkipWithError("uploads did not finish");
    const double s = Seconds(Clock::now() - t0);
    state.SetIterationTime(s);
    seconds += s;
  }
  state.counters["MB/s"] =
      static_cast<double>(kUploadFiles * kUploadFileBytes) * static_cast<double>(state.iterations()) / seconds / 1e6;
}
BENCHMARK(BM_Upload)
    ->ArgsProduct({{1, 0}, {1, 2, 4}})
    ->ArgNames({"inplace", "parallel"})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// From closing a changed file until the server holds it, with the product's
// write-back delay and without one.
void BM_CloseToServer(benchmark::State& state) {
  const auto rtt = static_cast<uint32_t>(state.range(0));
  MountConfig config = test::MemoryDrive(kBlock);
  config.cache.writebackDelayMs = static_cast<uint32_t>(state.range(1));
  const std::string data = test::Pattern(kClosedFileBytes);
  Drive d(rtt, true, config);
  d.h.server->putFile("/c", "");
  std::shared_ptr<OpenFile> file = d.h.openFile("/c");
  if (!file) {
    state.SkipWithError("open failed");
    return;
  }
  double seconds = 0;
  for (auto _ : state) {
    if (!d.h.volume->write(file, 0, data.data(), data.size()).ok()) state.SkipWithError("write failed");
    const auto t0 = Clock::now();
    d.h.volume->closeNow(file);
    if (!d.h.volume->waitUploadsIdle(kIdleWaitMs)) state.SkipWithError("upload did not finish");
    const double s = Seconds(Clock::now() - t0);
    state.SetIterationTime(s);
    seconds += s;
  }
  state.counters["ms"] = seconds * 1000 / static_cast<double>(state.iterations());
}
BENCHMARK(BM_CloseToServer)
    ->ArgsProduct({{1, 20}, {2000, 0}})
    ->ArgNames({"rtt", "delay"})
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

// Creator threads make, write and close small files in one folder; the clock
// stops when the last of them is on the server.
void BM_SmallFilesToServer(benchmark::State& state) {
  const auto rtt = static_cast<uint32_t>(state.range(0));
  const std::string data = test::Pattern(kSmallFileBytes);
  double seconds = 0, createSeconds = 0;
  for (auto _ : state) {
    Drive d(rtt, true);
    std::atomic<int> next{0};
    std::atomic<bool> failed{false};
    const auto t0 = Clock::now();
    std::vector<std::thread> creators;
    for (int t = 0; t < kCreators; ++t)
      creators.emplace_back([&] {
        for (int i = next++; i < kSmallFiles; i = next++) {
          std::shared_ptr<OpenFile> file;
          if (!d.h.volume->create("/f" + std::to_string(i), false, file).ok() ||
              !d.h.volume->write(file, 0, data.data(), data.size()).ok())
            failed = true;
          else
            d.h.volume->closeAsync(file);
        }
      });
    for (std::thread& t : creators) t.join();
    createSeconds += Seconds(Clock::now() - t0);
    if (failed || !d.h.volume->waitUploadsIdle(kIdleWaitMs)) state.SkipWithError("files did not reach the server");
    const double s = Seconds(Clock::now() - t0);
    state.SetIterationTime(s);
    seconds += s;
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["files/s"] = kSmallFiles * n / seconds;
  state.counters["create_s"] = createSeconds / n;
}
BENCHMARK(BM_SmallFilesToServer)
    ->Arg(1)
    ->Arg(20)
    ->ArgName("rtt")
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tarn

BENCHMARK_MAIN();
