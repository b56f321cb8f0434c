// Reads of blocks that are already present: the path every cached read of a
// drive takes, so its cost is the cache's overhead over a plain pread.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/cache_file.h"

namespace tarn {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kBlock = 1 << 20;
constexpr uint64_t kFileBytes = 64ull << 20;

class PresentFile {
 public:
  PresentFile() {
    std::string tmpl = (fs::temp_directory_path() / "tarn-bench-XXXXXX").string();
    if (::mkdtemp(tmpl.data()) == nullptr) std::abort();
    dir_ = tmpl;
    file_ = std::make_shared<CacheFile>(dir_ + "/b.bin", dir_ + "/b.map", "/bench", "bench", kBlock);
    if (!file_->openData().ok()) std::abort();
    const std::vector<uint8_t> chunk(kBlock, 0x5a);
    for (uint64_t off = 0; off < kFileBytes; off += kBlock)
      if (!file_->write(off, chunk.data(), chunk.size()).ok()) std::abort();
  }
  ~PresentFile() {
    file_.reset();
    fs::remove_all(dir_);
  }
  CacheFile& file() { return *file_; }

 private:
  std::string dir_;
  std::shared_ptr<CacheFile> file_;
};

const Fetcher kNoFetch = [](CacheFile*, uint64_t, uint8_t*, uint64_t, uint64_t&, const CancelToken*) {
  return Status(Status::kIo, "unexpected fetch");
};

void BM_ReadPresent(benchmark::State& state) {
  static PresentFile present;
  const uint64_t length = static_cast<uint64_t>(state.range(0));
  std::vector<uint8_t> buf(length);
  uint64_t offset = 0;
  for (auto _ : state) {
    uint64_t got = 0;
    Status st = present.file().read(offset, buf.data(), length, got, kNoFetch, nullptr);
    if (!st.ok() || got != length) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(buf.data());
    offset = (offset + length) % (kFileBytes - length);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * length));
}
BENCHMARK(BM_ReadPresent)->Arg(4096)->Arg(65536)->Arg(1 << 20)->Arg(8 << 20)->Threads(1)->Threads(4);

void BM_ReadIfCached(benchmark::State& state) {
  static PresentFile present;
  const uint64_t length = static_cast<uint64_t>(state.range(0));
  std::vector<uint8_t> buf(length);
  uint64_t offset = 0;
  for (auto _ : state) {
    if (!present.file().readIfCached(offset, buf.data(), length)) state.SkipWithError("not cached");
    benchmark::DoNotOptimize(buf.data());
    offset = (offset + length) % (kFileBytes - length);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * length));
}
BENCHMARK(BM_ReadIfCached)->Arg(4096)->Arg(1 << 20);

}  // namespace
}  // namespace tarn

BENCHMARK_MAIN();
