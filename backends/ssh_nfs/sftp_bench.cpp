// Throughput of the SFTP back-end against the OpenSSH test server (start
// testing/servers/sshd.sh and source its sshd.env first; scripts/bench-sftp
// runs it beside OpenSSH's own sftp client) and the cost of signing with
// each key kind. The data is a fixed pseudo-random pattern, the same in
// every run; the process records host keys in a data folder of its own.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

#include "backends/ssh_nfs/sftp_backend.h"
#include "backends/ssh_nfs/ssh_key.h"
#include "foundation/log.h"

namespace tarn {
namespace {

constexpr uint64_t kFileBytes = 256ull << 20;
constexpr uint64_t kChunkBytes = 1ull << 20;

// Host keys of earlier test servers must not refuse this one. The first
// connect's log line (cipher and MAC) goes to stderr.
const bool gPrivateRoot = [] {
  static std::string root = (std::filesystem::temp_directory_path() / "tarn-sftp-bench.XXXXXX").string();
  if (::mkdtemp(root.data()) != nullptr) ::setenv("TARN_ROOT", root.c_str(), 1);
  std::atexit([] {
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
  });
  vx::log::setConsole(true);
  return true;
}();

// One fixed chunk of incompressible bytes (xorshift), reused for every
// chunk of a file.
const std::vector<uint8_t>& FixedChunk() {
  static const std::vector<uint8_t> chunk = [] {
    std::vector<uint8_t> v(kChunkBytes);
    uint64_t x = 0x9e3779b97f4a7c15ull;
    for (auto& b : v) {
      x ^= x << 13;
      x ^= x >> 7;
      x ^= x << 17;
      b = uint8_t(x);
    }
    return v;
  }();
  return chunk;
}

std::unique_ptr<SftpBackend> Connect(benchmark::State& state) {
  const char* vars[] = {"SFTP_HOST", "SFTP_PORT", "SFTP_USER", "SFTP_PASSWORD", "SFTP_ROOT"};
  for (const char* v : vars) {
    if (std::getenv(v) == nullptr) {
      state.SkipWithError("SFTP_* variables missing: start testing/servers/sshd.sh");
      return nullptr;
    }
  }
  EndpointConfig c;
  c.host = std::getenv("SFTP_HOST");
  c.port = uint32_t(std::atoi(std::getenv("SFTP_PORT")));
  c.user = std::getenv("SFTP_USER");
  c.password = std::getenv("SFTP_PASSWORD");
  c.root = std::getenv("SFTP_ROOT");
  auto b = std::make_unique<SftpBackend>(c);
  if (!b->connect().ok()) {
    state.SkipWithError("cannot connect to the test server");
    return nullptr;
  }
  vx::log::setConsole(false);
  return b;
}

Status Upload(SftpBackend& b, const std::string& name, uint64_t size) {
  std::unique_ptr<IWriteStream> w;
  Status st = b.openWrite(name, 0, size, w);
  for (uint64_t done = 0; st.ok() && done < size; done += kChunkBytes)
    st = w->write(FixedChunk().data(), std::min(kChunkBytes, size - done));
  return st.ok() ? w->finish(nullptr) : st;
}

// The file the read benchmarks share; left on the server so that later
// runs (each a process of its own under scripts/bench-sftp) reuse it.
std::string BenchFile(SftpBackend& b) {
  const std::string name = "/tarn-bench-read";
  RemoteAttr a;
  if (b.stat(name, a).ok() && a.size == kFileBytes) return name;
  return Upload(b, name, kFileBytes).ok() ? name : std::string();
}

// One iteration reads the whole file in ranges of the given size, one
// after another, as the cache's fetches of consecutive blocks do.
void BM_SftpReadRange(benchmark::State& state) {
  auto b = Connect(state);
  if (!b) return;
  std::string name = BenchFile(*b);
  const uint64_t chunk = uint64_t(state.range(0));
  std::vector<uint8_t> buf(chunk);
  for (auto _ : state) {
    for (uint64_t offset = 0; offset < kFileBytes; offset += chunk) {
      uint64_t got = 0;
      if (!b->readRange(name, offset, buf.data(), chunk, got).ok() || got != chunk) {
        state.SkipWithError("read failed");
        break;
      }
    }
  }
  state.SetBytesProcessed(int64_t(state.iterations() * kFileBytes));
}
BENCHMARK(BM_SftpReadRange)->Arg(64 << 10)->Arg(1 << 20)->Arg(4 << 20)->UseRealTime();
// What a drive's read-ahead gets from its pool: each thread reads the file
// on a connection of its own.
BENCHMARK(BM_SftpReadRange)->Arg(1 << 20)->Threads(3)->UseRealTime();

void BM_SftpStreamRead(benchmark::State& state) {
  auto b = Connect(state);
  if (!b) return;
  std::string name = BenchFile(*b);
  std::vector<uint8_t> buf(kChunkBytes);
  for (auto _ : state) {
    std::unique_ptr<IReadStream> r;
    if (!b->openRead(name, 0, r).ok()) state.SkipWithError("open failed");
    uint64_t got = 0, total = 0;
    do {
      if (!r->read(buf.data(), buf.size(), got).ok()) state.SkipWithError("read failed");
      total += got;
    } while (got > 0);
    if (total != kFileBytes) state.SkipWithError("short stream");
  }
  state.SetBytesProcessed(int64_t(state.iterations() * kFileBytes));
}
BENCHMARK(BM_SftpStreamRead)->UseRealTime();

// Whole uploads: the data, the server's flush to its disk and the rename
// into place.
void BM_SftpUpload(benchmark::State& state) {
  auto b = Connect(state);
  if (!b) return;
  const uint64_t size = uint64_t(state.range(0));
  std::string name = "/upload-" + std::to_string(::getpid());
  for (auto _ : state)
    if (!Upload(*b, name, size).ok()) state.SkipWithError("upload failed");
  state.SetBytesProcessed(int64_t(state.iterations() * size));
  b->remove(name, false);
}
BENCHMARK(BM_SftpUpload)->Arg(0)->Arg(16 << 20)->Arg(256 << 20)->UseRealTime();

// Writes into an existing file as a drive's upload of changed ranges does:
// pieces of 16 MiB at their offsets, one call each, then a look at the size.
void BM_SftpWriteAt(benchmark::State& state) {
  auto b = Connect(state);
  if (!b) return;
  const uint64_t size = uint64_t(state.range(0));
  constexpr uint64_t kPieceBytes = 16ull << 20;
  std::vector<uint8_t> piece(kPieceBytes);
  for (uint64_t at = 0; at < kPieceBytes; at += kChunkBytes)
    std::copy(FixedChunk().begin(), FixedChunk().end(), piece.begin() + long(at));
  std::string name = "/write-at-" + std::to_string(::getpid()) + "-" + std::to_string(state.thread_index());
  if (!b->create(name).ok()) state.SkipWithError("create failed");
  RemoteAttr a;
  for (auto _ : state) {
    for (uint64_t at = 0; at < size; at += kPieceBytes)
      if (!b->writeAt(name, at, piece.data(), std::min(kPieceBytes, size - at)).ok()) state.SkipWithError("write failed");
    if (!b->stat(name, a).ok() || a.size != size) state.SkipWithError("size differs");
  }
  state.SetBytesProcessed(int64_t(state.iterations() * size));
  b->remove(name, false);
}
BENCHMARK(BM_SftpWriteAt)->Arg(256 << 20)->UseRealTime();
// Three connections at once, as a drive's pool could upload the pieces of
// one file.
BENCHMARK(BM_SftpWriteAt)->Arg(256 << 20)->Threads(3)->UseRealTime();

// Small files as a drive stores them: a look that misses, create, the
// bytes, a look at the result and its modification time. Each iteration is
// one file.
void BM_SftpSmallFiles(benchmark::State& state) {
  auto b = Connect(state);
  if (!b) return;
  const std::string folder = "/small-" + std::to_string(::getpid());
  (void)b->mkdir(folder);
  uint64_t n = 0;
  for (auto _ : state) {
    const std::string path = folder + "/f" + std::to_string(n++);
    RemoteAttr attr;
    (void)b->stat(path, attr);
    Status st = b->create(path);
    if (st.ok()) st = b->writeAt(path, 0, FixedChunk().data(), 4096);
    if (st.ok()) st = b->stat(path, attr);
    if (st.ok()) st = b->setTimes(path, Timestamp{1600000000, 0}, Timestamp());
    if (!st.ok()) return state.SkipWithError(st.toString().c_str());
  }
  for (uint64_t i = 0; i < n; ++i) (void)b->remove(folder + "/f" + std::to_string(i), false);
  (void)b->remove(folder, true);
}
BENCHMARK(BM_SftpSmallFiles)->Iterations(500)->UseRealTime();

void BM_SftpStat(benchmark::State& state) {
  auto b = Connect(state);
  if (!b) return;
  RemoteAttr a;
  for (auto _ : state) benchmark::DoNotOptimize(b->stat("/", a));
}
BENCHMARK(BM_SftpStat)->UseRealTime();

void BM_SftpConnect(benchmark::State& state) {
  auto b = Connect(state);
  if (!b) return;
  for (auto _ : state) {
    b->disconnect();
    if (!b->connect().ok()) state.SkipWithError("connect failed");
  }
}
BENCHMARK(BM_SftpConnect)->UseRealTime();

void BM_SshKeySign(benchmark::State& state) {
  static const char* kTypes[] = {"ed25519", "ecdsa -b 256", "rsa -b 3072"};
  std::string dir = (std::filesystem::temp_directory_path() / ("tarn-bench-key-" + std::to_string(::getpid()))).string();
  std::string cmd = "rm -rf " + dir + " && mkdir -p " + dir + " && ssh-keygen -q -t " + kTypes[state.range(0)] +
                    " -N '' -f " + dir + "/k >/dev/null";
  if (std::system(cmd.c_str()) != 0) {
    state.SkipWithError("ssh-keygen failed");
    return;
  }
  FILE* f = std::fopen((dir + "/k").c_str(), "rb");
  std::string text(8192, '\0');
  text.resize(std::fread(text.data(), 1, text.size(), f));
  std::fclose(f);
  std::system(("rm -rf " + dir).c_str());
  std::unique_ptr<SshKey> key;
  if (!SshKey::Read(text, "", key).ok()) {
    state.SkipWithError("key unreadable");
    return;
  }
  state.SetLabel(key->algorithm());
  std::vector<uint8_t> data(300, 1), sig;
  for (auto _ : state) benchmark::DoNotOptimize(key->sign(data, sig));
}
BENCHMARK(BM_SshKeySign)->DenseRange(0, 2);

}  // namespace
}  // namespace tarn

BENCHMARK_MAIN();
