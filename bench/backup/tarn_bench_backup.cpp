// The backup benchmark's driver: the init, backup, restore and check steps
// of a backup task, as the backup manager runs them with its default
// repository options, on a repository named by an sftp:// URL. Built only
// with the benchmarks; not part of the product's command line.
//
//   tarn-bench-backup init    URL CACHE
//   tarn-bench-backup backup  URL SOURCE CACHE TAG
//   tarn-bench-backup restore URL TARGET CACHE
//   tarn-bench-backup check   URL CACHE
//
// restore brings the latest snapshot back below TARGET at the source's own
// full path (TARGET/home/u/src for the source /home/u/src), where the
// benchmark looks for it.
//
// URL is sftp://USER@HOST:PORT/ABSOLUTE/PATH. The private key file comes from
// BENCH_SSH_KEY, the repository password from BENCH_PASSWORD. CACHE is the
// job's own folder (its file-state cache). TARN_BENCH_CONNECTIONS, when set,
// replaces the default connection count, to measure what it bounds;
// TARN_BENCH_PIPELINE_MIB the bytes a backup may hold between reading and
// upload, in MiB.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "backup/engine/backup_run.h"
#include "backup/engine/local_path.h"
#include "backup/engine/repository_check.h"
#include "backup/engine/restore.h"
#include "backup/repo/repo.h"
#include "engine/backend_factory.h"
#include "platform/heap_policy.h"

namespace tarn::backup {
namespace {

constexpr const char* kJobId = "bench";
constexpr size_t kShownProblems = 20;

int Usage() {
  std::fprintf(stderr,
               "usage: tarn-bench-backup init URL CACHE\n"
               "       tarn-bench-backup backup URL SOURCE CACHE TAG\n"
               "       tarn-bench-backup restore URL TARGET CACHE\n"
               "       tarn-bench-backup check URL CACHE\n");
  return 2;
}

int Fail(const char* step, const Status& st) {
  std::fprintf(stderr, "%s: %s\n", step, st.toString().c_str());
  return 1;
}

bool ParseUrl(const std::string& url, EndpointConfig& out) {
  const std::string scheme = "sftp://";
  if (url.rfind(scheme, 0) != 0) return false;
  const std::string rest = url.substr(scheme.size());
  const size_t at = rest.find('@');
  const size_t slash = rest.find('/');
  if (at == std::string::npos || slash == std::string::npos || at > slash) return false;
  const std::string hostPort = rest.substr(at + 1, slash - at - 1);
  const size_t colon = hostPort.rfind(':');
  out.protocol = "sftp";
  out.user = rest.substr(0, at);
  out.host = hostPort.substr(0, colon);
  out.port = colon == std::string::npos ? 0 : uint32_t(std::atoi(hostPort.c_str() + colon + 1));
  out.root = rest.substr(slash);
  return !out.user.empty() && !out.host.empty();
}

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v != nullptr ? v : "";
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

struct Opened {
  EndpointConfig endpoint;
  std::shared_ptr<Repo> repo;
};

// The backup manager's open: probe, create when asked and missing (with the
// folder when the server lacks it), else open; then load the index.
Status Open(const std::string& url, bool create, Opened& out) {
  if (!ParseUrl(url, out.endpoint)) return Status(Status::kInvalid, "not an sftp://user@host:port/path URL: " + url);
  std::ifstream key(Env("BENCH_SSH_KEY"));
  std::stringstream text;
  text << key.rdbuf();
  out.endpoint.privateKey = text.str();
  if (out.endpoint.privateKey.empty()) return Status(Status::kInvalid, "BENCH_SSH_KEY names no readable key file");
  const std::string password = Env("BENCH_PASSWORD");
  const EndpointConfig ep = out.endpoint;
  RepoOptions options;
  if (const std::string connections = Env("TARN_BENCH_CONNECTIONS"); !connections.empty())
    options.connections = std::atoi(connections.c_str());
  if (const std::string mib = Env("TARN_BENCH_PIPELINE_MIB"); !mib.empty())
    options.pipelineBytes = std::strtoull(mib.c_str(), nullptr, 10) << 20;
  out.repo = std::make_shared<Repo>([ep] { return MakeBackend(ep); }, options);
  Status st = out.repo->probe();
  if (st.ok()) {
    st = out.repo->open(password);
  } else if (st.code == Status::kNotFound && create) {
    st = out.repo->init(password);
    if (!st.ok() && st.code != Status::kCanceled) {
      Status made = EnsureRemoteRoot(out.endpoint);
      if (!made.ok()) return st.code == Status::kNotFound ? made : st;
      st = out.repo->init(password);
    }
    if (st.ok()) st = out.repo->open(password);
  }
  if (!st.ok()) return st;
  return out.repo->loadIndex();
}

int Init(const std::string& url) {
  Opened o;
  Status st = Open(url, true, o);
  return st.ok() ? 0 : Fail("init", st);
}

int Backup(const std::string& url, const std::string& source, const std::string& cache, const std::string& tag) {
  const auto start = std::chrono::steady_clock::now();
  Opened o;
  Status st = Open(url, true, o);
  if (!st.ok()) return Fail("open", st);
  const double opened = Seconds(start);
  BackupRunArgs args;
  args.jobId = kJobId;
  args.jobName = tag;
  args.sources = {source};
  args.stateDir = cache;
  Progress progress;
  SnapshotInfo snapshot;
  std::vector<std::string> problems;
  st = RunBackup(*o.repo, args, &progress, nullptr, snapshot, problems);
  for (const std::string& p : problems) std::fprintf(stderr, "  %s\n", p.c_str());
  if (!st.ok()) return Fail("backup", st);
  std::printf("snapshot %s: %llu files, %llu folders, %llu bytes, %llu read, %llu added, %llu stored; "
              "%llu problems; open %.2f s, total %.2f s\n",
              snapshot.id.substr(0, 8).c_str(), (unsigned long long)snapshot.files,
              (unsigned long long)snapshot.dirs, (unsigned long long)snapshot.bytes,
              (unsigned long long)progress.bytesRead.load(), (unsigned long long)snapshot.addedBytes,
              (unsigned long long)snapshot.storedBytes, (unsigned long long)progress.errors.load(), opened,
              Seconds(start));
  return 0;
}

int RestoreLatest(const std::string& url, const std::string& target) {
  const auto start = std::chrono::steady_clock::now();
  Opened o;
  Status st = Open(url, false, o);
  if (!st.ok()) return Fail("open", st);
  std::vector<SnapshotInfo> snapshots;
  st = o.repo->listSnapshots(snapshots);
  if (!st.ok()) return Fail("list", st);
  if (snapshots.empty()) return Fail("restore", Status(Status::kNotFound, "no snapshot"));
  const SnapshotInfo& latest = snapshots.back();
  const double opened = Seconds(start);
  // The root entry lands below the target under its name, the source's last
  // component: the folders above it make up the source's full path.
  std::string below = target;
  if (!latest.sources.empty()) {
    const std::string source = FullLocalPath(latest.sources.front());
    below = FullLocalPath(target + "/" + source.substr(0, source.find_last_of('/')));
  }
  RestoreRequest request;
  request.target = below;
  request.inProcess = true;  // the driver is its own caller
  Progress progress;
  std::vector<std::string> problems;
  st = Restore(*o.repo, latest, request, progress, nullptr, problems);
  for (const std::string& p : problems) std::fprintf(stderr, "  %s\n", p.c_str());
  if (!st.ok()) return Fail("restore", st);
  std::printf("snapshot %s: %llu files, %llu folders, %llu bytes restored; %llu problems; open %.2f s, total %.2f s\n",
              latest.id.substr(0, 8).c_str(), (unsigned long long)progress.files.load(),
              (unsigned long long)progress.dirs.load(), (unsigned long long)progress.bytes.load(),
              (unsigned long long)progress.errors.load(), opened, Seconds(start));
  return progress.errors.load() == 0 ? 0 : 1;
}

int Check(const std::string& url) {
  const auto start = std::chrono::steady_clock::now();
  Opened o;
  Status st = Open(url, false, o);
  if (!st.ok()) return Fail("open", st);
  CheckReport report;
  Progress progress;
  st = CheckRepository(*o.repo, true, report, nullptr, nullptr, &progress);
  if (!st.ok()) return Fail("check", st);
  std::printf("%llu packs, %llu blobs, %llu bytes, %llu read, %llu unindexed; %zu problems; %.2f s\n",
              (unsigned long long)report.packs, (unsigned long long)report.blobs, (unsigned long long)report.bytes,
              (unsigned long long)report.packsRead, (unsigned long long)report.unindexedPacks, report.problems.size(),
              Seconds(start));
  for (size_t i = 0; i < report.problems.size() && i < kShownProblems; ++i)
    std::printf("  %s\n", report.problems[i].c_str());
  return report.problems.empty() ? 0 : 1;
}

}  // namespace
}  // namespace tarn::backup

int main(int argc, char** argv) {
  // As the service does at its start.
  (void)tarn::ReturnLargeBlocksToSystem();
  std::vector<std::string> a(argv + 1, argv + argc);
  if (a.empty()) return tarn::backup::Usage();
  if (a[0] == "init" && a.size() == 3) return tarn::backup::Init(a[1]);
  if (a[0] == "backup" && a.size() == 5) return tarn::backup::Backup(a[1], a[2], a[3], a[4]);
  if (a[0] == "restore" && a.size() == 4) return tarn::backup::RestoreLatest(a[1], a[2]);
  if (a[0] == "check" && a.size() == 3) return tarn::backup::Check(a[1]);
  return tarn::backup::Usage();
}
