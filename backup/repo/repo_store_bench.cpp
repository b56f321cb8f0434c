// Store throughput of the repository's whole pipeline (blob id, compression,
// sealing, packing, upload and the closing flush) on the in-memory back-end
// and on the SFTP test server (sshd.env sourced), for compressible and random
// chunks and 1, 2 and 4 upload workers.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <random>

#include "backup/repo/repo.h"
#include "engine/backend_factory.h"
#include "testing/remote_tree.h"
#include "testing/memory_backend.h"

namespace tarn::backup {
namespace {

constexpr size_t kChunkBytes = 1048576;
constexpr size_t kChunks = 48;
// Stores per run: enough 16 MiB packs for every worker count to matter.
constexpr size_t kStoresPerRun = 256;

// Compressible chunks are words drawn from a small vocabulary, as text and
// logs are. Each store stamps its number into the chunk's first bytes, so
// nothing is deduplicated away.
std::vector<std::vector<uint8_t>>& Chunks(bool compressible) {
  static std::vector<std::vector<uint8_t>> sets[2];
  auto& set = sets[compressible ? 1 : 0];
  if (!set.empty()) return set;
  static const char* kWords[] = {"backup ", "repository ", "pack ", "index ", "snapshot ", "blob ",
                                 "folder ", "listing ", "upload ", "worker ", "the ", "of ", "42 ", "\n"};
  for (size_t c = 0; c < kChunks; ++c) {
    std::mt19937_64 gen(c + (compressible ? 1000 : 0));
    std::vector<uint8_t> chunk;
    chunk.reserve(kChunkBytes);
    while (chunk.size() < kChunkBytes) {
      if (compressible) {
        const char* w = kWords[gen() % (sizeof(kWords) / sizeof(kWords[0]))];
        while (*w != 0 && chunk.size() < kChunkBytes) chunk.push_back(uint8_t(*w++));
      } else {
        chunk.push_back(uint8_t(gen()));
      }
    }
    set.push_back(std::move(chunk));
  }
  return set;
}

RepoOptions BenchOptions(int workers) {
  RepoOptions o;
  o.connections = workers + 1;
  o.kdfIterations = 1000;
  return o;
}

// Stores every chunk and flushes, once per iteration, into a new repository.
void StoreAll(benchmark::State& state, const std::function<std::shared_ptr<Repo>()>& fresh,
              const std::function<void()>& cleanup) {
  auto& chunks = Chunks(state.range(0) != 0);
  uint64_t stamp = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::shared_ptr<Repo> repo = fresh();
    state.ResumeTiming();
    if (!repo) {
      state.SkipWithError("cannot create the repository");
      return;
    }
    for (size_t i = 0; i < kStoresPerRun; ++i) {
      std::vector<uint8_t>& chunk = chunks[i % kChunks];
      ++stamp;
      std::memcpy(chunk.data(), &stamp, sizeof(stamp));
      BlobId id;
      if (!repo->storeBlob(kBlobData, chunk.data(), chunk.size(), id).ok()) {
        state.SkipWithError("store failed");
        return;
      }
    }
    Status st = repo->flush();
    if (!st.ok()) {
      state.SkipWithError(st.toString().c_str());
      return;
    }
    state.PauseTiming();
    repo.reset();
    cleanup();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(int64_t(state.iterations() * kStoresPerRun * kChunkBytes));
}

void BM_StoreMemory(benchmark::State& state) {
  std::shared_ptr<test::MemoryServer> server;
  StoreAll(
      state,
      [&] {
        server = std::make_shared<test::MemoryServer>();
        auto repo = std::make_shared<Repo>(server->factory(), BenchOptions(int(state.range(1))));
        return repo->init("bench").ok() ? repo : nullptr;
      },
      [&] { server.reset(); });
}
BENCHMARK(BM_StoreMemory)
    ->ArgNames({"compressible", "workers"})
    ->ArgsProduct({{1, 0}, {1, 2, 4}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_StoreSftp(benchmark::State& state) {
  for (const char* v : {"SFTP_HOST", "SFTP_PORT", "SFTP_USER", "SFTP_PASSWORD", "SFTP_ROOT"}) {
    if (std::getenv(v) == nullptr) {
      state.SkipWithError("SFTP_* variables missing: start testing/servers/sshd.sh");
      return;
    }
  }
  EndpointConfig base;
  base.protocol = "sftp";
  base.host = std::getenv("SFTP_HOST");
  base.port = uint32_t(std::atoi(std::getenv("SFTP_PORT")));
  base.user = std::getenv("SFTP_USER");
  base.password = std::getenv("SFTP_PASSWORD");
  base.root = std::getenv("SFTP_ROOT");
  const std::string folder = "/bench-repo-" + std::to_string(::getpid());
  StoreAll(
      state,
      [&] {
        EndpointConfig ep = base;
        ep.root = base.root + folder;
        if (!EnsureRemoteRoot(ep).ok()) return std::shared_ptr<Repo>();
        auto repo = std::make_shared<Repo>([ep] { return MakeBackend(ep); }, BenchOptions(int(state.range(1))));
        return repo->init("bench").ok() ? repo : nullptr;
      },
      [&] {
        std::unique_ptr<IBackend> b = MakeBackend(base);
        if (b && b->connect().ok()) test::RemoveRemoteTree(*b, folder);
      });
}
BENCHMARK(BM_StoreSftp)
    ->ArgNames({"compressible", "workers"})
    ->ArgsProduct({{1, 0}, {1, 2, 4}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace tarn::backup

BENCHMARK_MAIN();
