// Restore throughput: a fixed generated tree (large random files, compressible
// text, thousands of small files in nested folders, duplicates) is stored
// once by a backup run into a repository on the in-memory back-end or on
// the SFTP test server (sshd.env sourced), then restored into an empty folder
// per iteration through 1, 3 (the default) and 8 connections. MB/s counts
// restored bytes in 10^6; cpu_s is the CPU time of all the process's threads
// per restore. TARN_BENCH_RESTORE_TREE names a folder to restore instead of
// the generated tree.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>

#include "backup/engine/backup_run.h"
#include "backup/engine/local_path.h"
#include "backup/engine/restore.h"
#include "engine/backend_factory.h"
#include "testing/memory_backend.h"
#include "testing/remote_tree.h"

namespace tarn::backup {
namespace {

namespace fs = std::filesystem;

constexpr const char* kPassword = "bench";
constexpr uint32_t kKdfIterations = 1000;
constexpr size_t kMiB = 1024 * 1024;
constexpr int kLargeFiles = 4;
constexpr size_t kLargeBytes = 32 * kMiB;
constexpr int kTextFiles = 8;
constexpr size_t kTextBytes = 8 * kMiB;
constexpr int kSmallFolders = 40;
constexpr int kSmallPerFolder = 100;
constexpr size_t kSmallMaxBytes = 32 * 1024;

void WriteFile(const std::string& path, const std::string& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string RandomBytes(size_t size, std::mt19937_64& gen) {
  std::string out(size, '\0');
  for (size_t i = 0; i + 8 <= size; i += 8) {
    uint64_t v = gen();
    std::memcpy(&out[i], &v, 8);
  }
  return out;
}

std::string Text(size_t size, std::mt19937_64& gen) {
  static const char* kWords[] = {"restore ", "pack ", "blob ", "folder ", "listing ", "worker ", "range ",
                                 "the ",     "of ",   "42 ",  "error ",  "\n"};
  std::string out;
  out.reserve(size);
  while (out.size() < size) out += kWords[gen() % (sizeof(kWords) / sizeof(kWords[0]))];
  out.resize(size);
  return out;
}

// The generated tree, made once per process under the temporary folder.
std::string GeneratedTree() {
  static const std::string root = [] {
    std::string dir = (fs::temp_directory_path() / ("tarn-restore-bench-" + std::to_string(::getpid()))).string();
    std::mt19937_64 gen(20240101);
    for (int i = 0; i < kLargeFiles; ++i) WriteFile(dir + "/large/r" + std::to_string(i), RandomBytes(kLargeBytes, gen));
    for (int i = 0; i < kTextFiles; ++i) WriteFile(dir + "/text/t" + std::to_string(i) + ".log", Text(kTextBytes, gen));
    for (int f = 0; f < kSmallFolders; ++f) {
      for (int i = 0; i < kSmallPerFolder; ++i) {
        size_t size = 1024 + gen() % kSmallMaxBytes;
        std::string bytes = gen() % 10 < 7 ? Text(size, gen) : RandomBytes(size, gen);
        WriteFile(dir + "/small/" + std::to_string(f / 8) + "/" + std::to_string(f) + "/s" + std::to_string(i), bytes);
      }
    }
    fs::create_directories(dir + "/dup");
    fs::copy_file(dir + "/large/r0", dir + "/dup/r0");
    fs::copy_file(dir + "/text/t0.log", dir + "/dup/t0.log");
    return dir;
  }();
  return root;
}

std::string OutputRoot() {
  return (fs::temp_directory_path() / ("tarn-restore-out-" + std::to_string(::getpid()))).string();
}

std::string SourceTree() {
  const char* given = std::getenv("TARN_BENCH_RESTORE_TREE");
  return given != nullptr && *given != '\0' ? FullLocalPath(given) : GeneratedTree();
}

// CPU seconds of the whole process, every thread included.
double ProcessCpuSeconds() {
  struct rusage usage {};
  ::getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

uint64_t TreeBytes(const std::string& root) {
  uint64_t total = 0;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it)
    if (it->is_regular_file()) total += it->file_size();
  return total;
}

RepoOptions Options(int connections) {
  RepoOptions o;
  o.connections = connections;
  o.kdfIterations = kKdfIterations;
  return o;
}

// A backup run stores `source` as a version of a new repository made by
// `factory`.
Status BackUp(const Repo::BackendFactory& factory, const std::string& source, SnapshotInfo& version) {
  Repo repo(factory, Options(kDefaultConnections));
  Status st = repo.init(kPassword);
  if (st.ok()) st = repo.loadIndex();
  BackupRunArgs args;
  args.jobId = "bench";
  args.sources = {source};
  std::vector<std::string> problems;
  if (st.ok()) st = RunBackup(repo, args, nullptr, nullptr, version, problems);
  return st;
}

void RestoreAll(benchmark::State& state, const Repo::BackendFactory& factory, const SnapshotInfo& version,
                uint64_t bytes) {
  // Each restore gets a folder of its own, and all go when the process ends:
  // an ext4 file system makes new files far more slowly for half a minute
  // after thousands were deleted nearby, which a first restore never meets.
  static int restores = 0;
  const std::string targets = OutputRoot();
  double cpu = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const std::string target = targets + "/" + std::to_string(restores++);
    Repo repo(factory, Options(int(state.range(0))));
    Status st = repo.open(kPassword);
    if (st.ok()) st = repo.loadIndex();
    const double cpuBefore = ProcessCpuSeconds();
    state.ResumeTiming();
    RestoreRequest request;
    request.target = target;
    request.inProcess = true;
    Progress progress;
    std::vector<std::string> problems;
    if (st.ok()) st = Restore(repo, version, request, progress, nullptr, problems);
    cpu += ProcessCpuSeconds() - cpuBefore;
    if (!st.ok() || !problems.empty() || progress.bytes.load() != bytes) {
      state.SkipWithError(st.ok() ? "the restore is incomplete" : st.toString().c_str());
      break;
    }
  }
  state.SetBytesProcessed(int64_t(state.iterations() * bytes));
  state.counters["MB/s"] = benchmark::Counter(double(state.iterations() * bytes) / 1e6, benchmark::Counter::kIsRate);
  state.counters["cpu_s"] = benchmark::Counter(cpu, benchmark::Counter::kAvgIterations);
}

void BM_RestoreMemory(benchmark::State& state) {
  static auto server = std::make_shared<test::MemoryServer>();
  static SnapshotInfo version;
  static const std::string source = SourceTree();
  static const Status made = BackUp(server->factory(), source, version);
  if (!made.ok()) {
    state.SkipWithError(made.toString().c_str());
    return;
  }
  RestoreAll(state, server->factory(), version, TreeBytes(source));
}
BENCHMARK(BM_RestoreMemory)->ArgName("connections")->Arg(1)->Arg(3)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RestoreSftp(benchmark::State& state) {
  for (const char* v : {"SFTP_HOST", "SFTP_PORT", "SFTP_USER", "SFTP_PASSWORD", "SFTP_ROOT"}) {
    if (std::getenv(v) == nullptr) {
      state.SkipWithError("SFTP_* variables missing: start testing/servers/sshd.sh");
      return;
    }
  }
  static EndpointConfig base = [] {
    EndpointConfig ep;
    ep.protocol = "sftp";
    ep.host = std::getenv("SFTP_HOST");
    ep.port = uint32_t(std::atoi(std::getenv("SFTP_PORT")));
    ep.user = std::getenv("SFTP_USER");
    ep.password = std::getenv("SFTP_PASSWORD");
    ep.root = std::getenv("SFTP_ROOT");
    return ep;
  }();
  static const std::string folder = "/bench-restore-" + std::to_string(::getpid());
  static EndpointConfig endpoint = [] {
    EndpointConfig ep = base;
    ep.root = base.root + folder;
    return ep;
  }();
  static const Repo::BackendFactory factory = [] { return MakeBackend(endpoint); };
  static SnapshotInfo version;
  static const std::string source = SourceTree();
  static const Status made = [] {
    Status st = EnsureRemoteRoot(endpoint);
    return st.ok() ? BackUp(factory, source, version) : st;
  }();
  // The repository goes when the process ends.
  static const struct Cleanup {
    ~Cleanup() {
      std::unique_ptr<IBackend> b = MakeBackend(base);
      if (b && b->connect().ok()) test::RemoveRemoteTree(*b, folder);
    }
  } cleanup;
  if (!made.ok()) {
    state.SkipWithError(made.toString().c_str());
    return;
  }
  RestoreAll(state, factory, version, TreeBytes(source));
}
BENCHMARK(BM_RestoreSftp)->ArgName("connections")->Arg(1)->Arg(3)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime();

// The generated tree and the restored ones go when the process ends.
struct RemoveAtExit {
  ~RemoveAtExit() {
    std::error_code ec;
    fs::remove_all(fs::temp_directory_path() / ("tarn-restore-bench-" + std::to_string(::getpid())), ec);
    fs::remove_all(OutputRoot(), ec);
  }
} removeAtExit;

}  // namespace
}  // namespace tarn::backup

BENCHMARK_MAIN();
