// Uploads of a drive while its offline journal waits for the server: one
// file that no record names, changed while a replay of many records runs
// against a server that takes a while per call, and the same upload behind
// tens of thousands of uploads that records hold back (an offline untar
// whose replay cannot start). Each reports the time from the file's close
// until the server holds it. The cache folder is under the temporary folder:
// run with TMPDIR on a tmpfs so that setting up tens of thousands of offline
// files does not wait on the disk's syncs.
#include <benchmark/benchmark.h>

#include <chrono>
#include <thread>

#include "testing/volume_harness.h"

namespace tarn {
namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kBlock = 4096;
const std::string kChanged = "new";

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Polls at a fine grain: the figures are the waits themselves.
template <typename Done>
bool WaitFor(Done done) {
  const auto until = Clock::now() + std::chrono::minutes(10);
  while (!done()) {
    if (Clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

uint64_t JournalOps(Volume& v) {
  VolumeStatus s;
  v.status(s);
  return s.journalOps;
}

// Writes the open file and closes it; the seconds until the server holds
// the change, or a negative figure when it never did.
double UploadSeconds(Volume& v, test::MemoryServer& server, const std::shared_ptr<OpenFile>& file) {
  const auto t0 = Clock::now();
  if (!v.write(file, 0, kChanged.data(), kChanged.size()).ok()) return -1;
  v.closeNow(file);
  const bool done = WaitFor([&] {
    std::string got;
    return server.readFile(file->path, &got) && got.starts_with(kChanged);
  });
  return done ? Seconds(Clock::now() - t0) : -1;
}

void BM_UploadDuringReplay(benchmark::State& state) {
  const int64_t records = state.range(0);
  const auto perCallMs = static_cast<uint32_t>(state.range(1));
  double upload = 0, replay = 0;
  for (auto _ : state) {
    test::VolumeHarness h(test::UploadDrive(kBlock));
    Volume& v = *h.volume;
    h.server->setCaps(test::WritableCaps(false));
    h.server->putFile("/u", "old");
    if (!v.start(nullptr).ok()) state.SkipWithError("start failed");
    std::shared_ptr<OpenFile> file = h.openFile("/u");
    if (!file || h.readAll(file) != "old") state.SkipWithError("open failed");
    v.setOffline(true);
    for (int64_t i = 0; i < records; ++i) {
      std::shared_ptr<OpenFile> folder;
      if (!v.create("/r" + std::to_string(i), true, folder).ok()) state.SkipWithError("mkdir failed");
    }
    h.server->setLatencyMs(perCallMs);
    const auto t0 = Clock::now();
    v.setOffline(false);
    if (!WaitFor([&] { return h.server->countCalls(test::MemOp::kMkdir) > 0; })) state.SkipWithError("no replay");
    const double s = UploadSeconds(v, *h.server, file);
    if (s < 0) state.SkipWithError("upload never ended");
    if (!WaitFor([&] { return JournalOps(v) == 0; })) state.SkipWithError("replay never ended");
    replay += Seconds(Clock::now() - t0);
    state.SetIterationTime(s);
    upload += s;
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["upload_ms"] = upload * 1000 / n;
  state.counters["replay_ms"] = replay * 1000 / n;
}
BENCHMARK(BM_UploadDuringReplay)
    ->Args({200, 10})
    ->ArgNames({"records", "ms_per_call"})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_UploadBehindHeldUploads(benchmark::State& state) {
  const int64_t files = state.range(0);
  double upload = 0;
  for (auto _ : state) {
    auto h = std::make_unique<test::VolumeHarness>(test::UploadDrive(kBlock));
    Volume* v = h->volume.get();
    test::MemoryServer* server = h->server.get();
    server->setCaps(test::WritableCaps(false));
    server->putFile("/u", "old");
    if (!v->start(nullptr).ok()) state.SkipWithError("start failed");
    std::shared_ptr<OpenFile> file;
    if (!v->open("/u", file).ok()) state.SkipWithError("open failed");
    std::string old(3, '\0');
    uint64_t got = 0;
    if (!v->read(file, 0, old.data(), old.size(), got).ok()) state.SkipWithError("read failed");
    v->setOffline(true);
    // The first record never reaches the server: every later one waits.
    std::shared_ptr<OpenFile> made;
    if (!v->create("/stuck", true, made).ok()) state.SkipWithError("mkdir failed");
    server->addFault({test::MemOp::kMkdir, "/stuck", 1, 0});
    for (int64_t i = 0; i < files; ++i) {
      // An untar's files, a thousand to a folder; each record names its own.
      const std::string path = "/src/" + std::to_string(i / 1000) + "/file-" + std::to_string(i) + ".c";
      if (!v->create(path, false, made).ok() || !v->write(made, 0, "x", 1).ok())
        state.SkipWithError("write failed");
      v->closeNow(made);
    }
    v->setOffline(false);
    if (!WaitFor([&] { return server->countCalls(test::MemOp::kMkdir) > 0; })) state.SkipWithError("no replay");
    const double s = UploadSeconds(*v, *server, file);
    if (s < 0) state.SkipWithError("upload never ended");
    state.SetIterationTime(s);
    upload += s;
    h.reset();
  }
  state.counters["upload_ms"] = upload * 1000 / static_cast<double>(state.iterations());
}
BENCHMARK(BM_UploadBehindHeldUploads)
    ->Arg(5000)
    ->Arg(50000)
    ->ArgName("held")
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tarn

BENCHMARK_MAIN();
