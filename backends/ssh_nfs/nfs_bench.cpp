// Throughput of the NFS back-end against the test server (start
// testing/servers/nfs_ganesha.sh and source its nfs_ganesha.env first), with
// libnfs's nfs-cp moving the same file on the same server as the peer to
// beat. The benchmark file is written straight into the export folder.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "backends/ssh_nfs/nfs_backend.h"

extern char** environ;

namespace tarn {
namespace {

namespace fs = std::filesystem;

constexpr uint64_t kFileBytes = 256ull << 20;
constexpr uint64_t kUploadBytes = 64ull << 20;
constexpr size_t kBufferBytes = 1 << 20;

struct Server {
  std::string host;
  std::string exportPath;
  fs::path exportDir;
};

bool LoadServer(benchmark::State& state, Server& out) {
  const char* host = std::getenv("TARN_NFS_HOST");
  const char* exportPath = std::getenv("TARN_NFS_EXPORT");
  const char* exportDir = std::getenv("TARN_NFS_EXPORT_DIR");
  if (host == nullptr || exportPath == nullptr || exportDir == nullptr) {
    state.SkipWithError("TARN_NFS_* variables missing: start testing/servers/nfs_ganesha.sh");
    return false;
  }
  out = Server{host, exportPath, exportDir};
  return true;
}

std::unique_ptr<NfsBackend> Connect(benchmark::State& state, const Server& server) {
  EndpointConfig c;
  c.protocol = "nfs";
  c.host = server.host;
  c.root = server.exportPath;
  auto b = std::make_unique<NfsBackend>(c);
  if (!b->connect().ok()) {
    state.SkipWithError("cannot connect to the test server");
    return nullptr;
  }
  return b;
}

// One folder per process holding a file of random bytes, made once.
const std::string& BenchFolder() {
  static const std::string name = "bench-nfs-" + std::to_string(::getpid());
  return name;
}

bool MakeBenchFile(const Server& server) {
  const fs::path dir = server.exportDir / BenchFolder();
  const fs::path file = dir / "data";
  std::error_code ec;
  if (fs::file_size(file, ec) == kFileBytes) return true;
  fs::create_directories(dir, ec);
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  std::mt19937_64 rng(7);
  std::vector<uint64_t> block(kBufferBytes / 8);
  for (uint64_t done = 0; done < kFileBytes; done += kBufferBytes) {
    for (auto& w : block) w = rng();
    out.write(reinterpret_cast<const char*>(block.data()), kBufferBytes);
  }
  return out.good();
}

std::string RemoteData() { return "/" + BenchFolder() + "/data"; }

void BM_NfsReadRange(benchmark::State& state) {
  Server server;
  if (!LoadServer(state, server) || !MakeBenchFile(server)) return;
  auto b = Connect(state, server);
  if (!b) return;
  const uint64_t chunk = uint64_t(state.range(0));
  std::vector<uint8_t> buf(chunk);
  uint64_t offset = 0;
  for (auto _ : state) {
    uint64_t got = 0;
    if (!b->readRange(RemoteData(), offset, buf.data(), chunk, got).ok() || got != chunk)
      state.SkipWithError("read failed");
    offset = (offset + chunk) % kFileBytes;
  }
  state.SetBytesProcessed(int64_t(state.iterations() * chunk));
}
BENCHMARK(BM_NfsReadRange)->Arg(64 << 10)->Arg(1 << 20)->UseRealTime();

void BM_NfsStreamRead(benchmark::State& state) {
  Server server;
  if (!LoadServer(state, server) || !MakeBenchFile(server)) return;
  auto b = Connect(state, server);
  if (!b) return;
  std::vector<uint8_t> buf(kBufferBytes);
  for (auto _ : state) {
    std::unique_ptr<IReadStream> r;
    if (!b->openRead(RemoteData(), 0, r).ok()) state.SkipWithError("open failed");
    uint64_t got = 0, total = 0;
    do {
      if (!r->read(buf.data(), buf.size(), got).ok()) state.SkipWithError("read failed");
      total += got;
    } while (got > 0);
    if (total != kFileBytes) state.SkipWithError("short stream");
  }
  state.SetBytesProcessed(int64_t(state.iterations() * kFileBytes));
}
BENCHMARK(BM_NfsStreamRead)->UseRealTime();

void BM_NfsUpload(benchmark::State& state) {
  Server server;
  if (!LoadServer(state, server) || !MakeBenchFile(server)) return;
  auto b = Connect(state, server);
  if (!b) return;
  std::vector<uint8_t> chunk(kBufferBytes, 0x33);
  const std::string name = "/" + BenchFolder() + "/upload";
  for (auto _ : state) {
    std::unique_ptr<IWriteStream> w;
    if (!b->openWrite(name, 0, kUploadBytes, w).ok()) state.SkipWithError("open failed");
    for (uint64_t done = 0; done < kUploadBytes; done += chunk.size())
      if (!w->write(chunk.data(), chunk.size()).ok()) state.SkipWithError("write failed");
    if (!w->finish(nullptr).ok()) state.SkipWithError("finish failed");
  }
  state.SetBytesProcessed(int64_t(state.iterations() * kUploadBytes));
}
BENCHMARK(BM_NfsUpload)->UseRealTime();

void BM_NfsStat(benchmark::State& state) {
  Server server;
  if (!LoadServer(state, server) || !MakeBenchFile(server)) return;
  auto b = Connect(state, server);
  if (!b) return;
  RemoteAttr a;
  for (auto _ : state)
    if (!b->stat(RemoteData(), a).ok()) state.SkipWithError("stat failed");
}
BENCHMARK(BM_NfsStat)->UseRealTime();

// Runs nfs-cp from one place to another; false when it is missing or fails.
bool RunNfsCp(const std::string& from, const std::string& to) {
  const char* argv[] = {"nfs-cp", from.c_str(), to.c_str(), nullptr};
  pid_t pid = 0;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  const int rc = posix_spawnp(&pid, "nfs-cp", &actions, nullptr, const_cast<char**>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;
  int status = 0;
  return ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string NfsUrl(const Server& server, const std::string& remote) {
  return "nfs://" + server.host + server.exportPath + remote;
}

// The peer's download lands in memory-backed /dev/shm, so the local disk
// does not slow it down.
void BM_PeerNfsCpDownload(benchmark::State& state) {
  Server server;
  if (!LoadServer(state, server) || !MakeBenchFile(server)) return;
  const std::string local = "/dev/shm/tarn-bench-nfs-" + std::to_string(::getpid());
  for (auto _ : state) {
    ::unlink(local.c_str());
    if (!RunNfsCp(NfsUrl(server, RemoteData()), local)) state.SkipWithError("nfs-cp failed (libnfs-utils)");
  }
  ::unlink(local.c_str());
  state.SetBytesProcessed(int64_t(state.iterations() * kFileBytes));
}
BENCHMARK(BM_PeerNfsCpDownload)->UseRealTime();

void BM_PeerNfsCpUpload(benchmark::State& state) {
  Server server;
  if (!LoadServer(state, server) || !MakeBenchFile(server)) return;
  const std::string local = "/dev/shm/tarn-bench-nfs-up-" + std::to_string(::getpid());
  {
    std::ofstream out(local, std::ios::binary | std::ios::trunc);
    std::vector<char> chunk(kBufferBytes, 0x33);
    for (uint64_t done = 0; done < kUploadBytes; done += chunk.size()) out.write(chunk.data(), long(chunk.size()));
  }
  // nfs-cp refuses an existing target, and the server may still hold a
  // file removed beside it: a new name every time.
  static int round = 0;
  for (auto _ : state) {
    const std::string remote = "/" + BenchFolder() + "/peer-upload-" + std::to_string(round++);
    if (!RunNfsCp(local, NfsUrl(server, remote))) state.SkipWithError("nfs-cp failed (libnfs-utils)");
  }
  ::unlink(local.c_str());
  state.SetBytesProcessed(int64_t(state.iterations() * kUploadBytes));
}
BENCHMARK(BM_PeerNfsCpUpload)->UseRealTime();

}  // namespace
}  // namespace tarn

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  const char* exportDir = std::getenv("TARN_NFS_EXPORT_DIR");
  std::error_code ec;
  if (exportDir != nullptr) tarn::fs::remove_all(tarn::fs::path(exportDir) / tarn::BenchFolder(), ec);
  return 0;
}
