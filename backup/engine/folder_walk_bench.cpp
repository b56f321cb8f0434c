// Speed of the backup walk's own share of a run, on one thread: reading and
// cutting a large file (beside chunker_bench's in-memory cut), the same with
// the blob-id hash the run computes per chunk, and an unchanged re-run of a
// tree of small files taken from the file-state cache. Files live in the
// system's temporary folder and are read from the page cache.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <string>
#include <unordered_set>

#include "backup/engine/backup_job.h"
#include "backup/engine/folder_walk.h"
#include "testing/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using namespace tarn::backup;

constexpr size_t kLargeFile = 256u << 20;
constexpr int kFolders = 50;
constexpr int kFilesPerFolder = 100;
constexpr size_t kSmallFile = 4096;

std::string RandomBytes(size_t size, uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::string out(size, '\0');
  for (size_t i = 0; i + 8 <= size; i += 8) {
    uint64_t v = rng();
    std::memcpy(&out[i], &v, 8);
  }
  return out;
}

// Computes the ids the repository would and remembers them: the walk's side
// of storing, without compression, sealing or upload.
class HashingSink : public BlobSink {
 public:
  tarn::Status storeBlob(uint8_t, const uint8_t* data, size_t size, BlobId& id) override {
    id = ComputeBlobId(key_, data, size);
    std::lock_guard<std::mutex> lock(mu_);
    known_.insert(id);
    return tarn::Status();
  }
  bool hasBlob(const BlobId& id) const override {
    std::lock_guard<std::mutex> lock(mu_);
    return known_.count(id) != 0;
  }

 private:
  std::vector<uint8_t> key_ = std::vector<uint8_t>(kIdKeySize, 1);
  mutable std::mutex mu_;
  std::unordered_set<BlobId, BlobIdHash> known_;  // guarded by mu_
};

void ChunkLargeFile(benchmark::State& state, bool hash) {
  tarn::test::TempDir dir("tarn-walk-bench");
  std::string path = dir.file("large");
  std::ofstream(path, std::ios::binary) << RandomBytes(kLargeFile, 7);
  FileChunker chunker(ChunkerParams{kChunkMinDefault, kChunkAvgDefault, kChunkMaxDefault, 0x1234});
  std::vector<uint8_t> key(kIdKeySize, 1);
  size_t chunks = 0;
  for (auto _ : state) {
    tarn::localfs::LocalFile file;
    if (!tarn::localfs::LocalFile::open(path, file).ok()) std::abort();
    uint64_t total = 0;
    int readError = 0;
    chunks = 0;
    chunker.chunkFile(
        file, nullptr, nullptr,
        [&](const uint8_t* data, size_t size) {
          ++chunks;
          if (hash) benchmark::DoNotOptimize(ComputeBlobId(key, data, size));
          return tarn::Status();
        },
        total, readError);
    if (total != kLargeFile) std::abort();
  }
  state.SetBytesProcessed(int64_t(state.iterations() * kLargeFile));
  state.counters["chunks"] = double(chunks);
}

void BM_ChunkFile(benchmark::State& state) { ChunkLargeFile(state, false); }
void BM_ChunkAndHashFile(benchmark::State& state) { ChunkLargeFile(state, true); }

void BM_WalkUnchanged(benchmark::State& state) {
  tarn::test::TempDir dir("tarn-walk-bench");
  std::string src = dir.file("src");
  for (int f = 0; f < kFolders; ++f) {
    std::string folder = src + "/folder" + std::to_string(f);
    fs::create_directories(folder);
    for (int i = 0; i < kFilesPerFolder; ++i)
      std::ofstream(folder + "/file" + std::to_string(i), std::ios::binary) << RandomBytes(kSmallFile, f * 1000 + i);
  }
  HashingSink sink;
  std::vector<std::string> excludes = DefaultExcludes();
  auto run = [&] {
    Progress progress;
    std::vector<std::string> problems;
    FileStateCache cache;
    cache.open(dir.file("state/state.bin"));
    cache.prepareWriter(dir.file("state"));
    FolderWalk walk(sink, ChunkerParams{}, excludes, &cache, progress, nullptr, problems);
    BlobId tree;
    bool stored = false;
    if (!walk.backupFolder(src, tree, stored).ok() || !stored) std::abort();
    cache.commit();
    return progress.bytesRead.load();
  };
  run();
  for (auto _ : state)
    if (run() != 0) std::abort();
  state.counters["files"] = benchmark::Counter(double(state.iterations()) * kFolders * kFilesPerFolder,
                                               benchmark::Counter::kIsRate);
}

BENCHMARK(BM_ChunkFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChunkAndHashFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WalkUnchanged)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
