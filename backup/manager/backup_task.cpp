// The task runner: one backup, restore, check or prune of one job, on the
// worker thread startTask started, from waiting for its turn to the job's
// status and log lines.
#include <algorithm>
#include <chrono>

#include "backup/manager/backup_manager.h"
#include "backup/manager/backup_task.h"
#include "engine/backend_factory.h"
#include "foundation/remote_path.h"

namespace tarn {
namespace {

// A check of a destination only asks whether a repository is there: a few
// quick attempts, not the minutes a running backup would wait for a server.
constexpr int32_t kQuickAttempts = 2;
constexpr uint32_t kQuickBaseMs = 500;
constexpr uint32_t kQuickMaxMs = 1000;

constexpr uint64_t kBytesPerKb = 1024;

// What opening the repository found damaged, in one line: the first finding
// and how many more the log names.
std::string DamageText(const std::vector<std::string>& damage) {
  if (damage.empty()) return {};
  std::string text = damage.front();
  if (damage.size() > 1) text += " (and " + std::to_string(damage.size() - 1) + " more)";
  return text;
}

}  // namespace

Status BackupManager::resolveDestination(const backup::BackupJob& job, EndpointConfig& out) {
  if (job.destMount.empty()) {
    out = job.endpoint;
    return Status();
  }
  EndpointConfig drive;
  if (owner_ == nullptr || !owner_->mountEndpoint(job.destMount, drive))
    return Status(Status::kNotFound, "the drive this backup is stored on has been removed");
  drive.root = NormalizeRemotePath(drive.root + "/" + job.destPath);
  out = std::move(drive);
  return Status();
}

Status BackupManager::makeRepo(const backup::BackupJob& job, bool quick, EndpointConfig& endpoint,
                               std::shared_ptr<backup::Repo>& out, bool forTask) {
  Status s = resolveDestination(job, endpoint);
  if (!s.ok()) return s;
  backup::RepoOptions options = repoDefaults_;
  options.compress = job.compress;
  options.speedLimitBytesPerSec = job.speedLimitKbps > 0 ? static_cast<uint64_t>(job.speedLimitKbps) * kBytesPerKb : 0;
  // A server that accepts and never answers costs a call what it costs a
  // drive's: its connect and I/O time-outs, all retries included.
  if (!options.retry.forever) options.retry.budgetMs = endpoint.connectTimeoutMs + endpoint.ioTimeoutMs;
  // One call that found the server silent ends the task: its other calls,
  // the removal of its lock included, do not wait a time-out each.
  options.refuseWhileSilent = forTask && !options.retry.forever;
  if (quick) {
    options.retry.maxAttempts = kQuickAttempts;
    options.retry.baseDelayMs = kQuickBaseMs;
    options.retry.maxDelayMs = kQuickMaxMs;
    options.retry.factor = 2.0;
    options.retry.jitter = 0.25;
  }
  backup::Repo::BackendFactory factory;
  if (backendFactory_) {
    factory = [make = backendFactory_, endpoint] { return make(endpoint); };
  } else {
    factory = [endpoint] { return MakeBackend(endpoint); };
  }
  out = std::make_shared<backup::Repo>(std::move(factory), options);
  return Status();
}

Status BackupManager::openRepo(const backup::BackupJob& job, const CancelToken* cancel, bool create,
                               std::shared_ptr<backup::Repo>& out, bool quick, const char* lockFor) {
  EndpointConfig endpoint;
  std::shared_ptr<backup::Repo> repo;
  Status s = makeRepo(job, quick, endpoint, repo, lockFor != nullptr);
  if (!s.ok()) return s;
  repo->cancel = cancel;
  s = repo->probe();
  // Only a folder without "/config" gets a new repository; any other
  // failure is the answer, not a reason to ask the server all over again.
  if (s.code == Status::kNotFound && !create)
    return Status(Status::kNotFound, "no backup has been made to this place yet");
  if (!s.ok() && s.code != Status::kNotFound) return s;
  if (!s.ok()) {
    s = repo->init(job.password);
    // A first backup to a folder that is not there yet makes it; a back-end
    // of a test's own making has no parent folders to make.
    if (!s.ok() && s.code != Status::kCanceled && !backendFactory_) {
      Status folder = backup::EnsureRemoteRoot(endpoint);
      if (!folder.ok()) return s.code == Status::kNotFound ? folder : s;
      s = repo->init(job.password);
    }
  } else {
    s = repo->open(job.password);
  }
  if (s.ok() && lockFor != nullptr) {
    const std::string op = lockFor;
    s = repo->lock(op == kOpPrune ? backup::LockMode::kExclusive : backup::LockMode::kShared, op);
  }
  if (s.ok()) {
    repo->setKnownDamage(knownDamage());
    s = repo->loadIndex();
  }
  if (!s.ok()) return s;
  out = std::move(repo);
  return Status();
}

std::vector<backup::BlobId> BackupManager::knownDamage() {
  std::vector<backup::BlobId> out;
  std::lock_guard<std::mutex> lock(stateMutex_);
  for (const auto& [id, state] : jobs_) {
    for (const std::string& hex : state->damagedPacks) {
      backup::BlobId pack;
      if (backup::ParseBlobId(hex, pack)) out.push_back(pack);
    }
  }
  return out;
}

void BackupManager::recordDamageLocked(JobState& state, backup::Repo& repo) {
  std::vector<std::string>& damaged = state.damagedPacks;
  for (const backup::BlobId& pack : repo.damageFound()) {
    const std::string hex = backup::BlobIdToHex(pack);
    if (std::find(damaged.begin(), damaged.end(), hex) == damaged.end()) damaged.push_back(hex);
  }
  for (const backup::BlobId& pack : repo.damageCleared()) std::erase(damaged, backup::BlobIdToHex(pack));
  // Past the bound the oldest findings go first.
  if (damaged.size() > kMaxDamagedPacks) damaged.erase(damaged.begin(), damaged.end() - kMaxDamagedPacks);
}

void BackupManager::runTask(std::shared_ptr<JobState> state, std::string op, std::shared_ptr<TaskArgs> args) {
  backup::BackupJob job;
  std::shared_ptr<backup::Progress> progress;
  std::shared_ptr<CancelToken> cancel;
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    job = state->job;
    progress = state->progress;
    cancel = state->cancel;
  }
  appendLog(job.id, op + (args->scheduled ? " started (schedule)" : " started"));
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    state->unfinished = op;
    state->unfinishedSince = state->taskStartedAt;
    saveStatus(*state);
  }

  TaskOutcome out;
  const bool turn = takeTurn(*cancel);
  if (!turn) out.status = Status(Status::kCanceled, "");
  std::shared_ptr<backup::Repo> repo;
  if (turn) {
    setPhase(*state, kPhaseConnecting);
    std::shared_ptr<backup::Repo> dropped;
    if (op != kOpRestore) {
      // The task may change what a browsing repository has cached.
      std::lock_guard<std::mutex> browse(state->browseMutex);
      std::lock_guard<std::mutex> lock(stateMutex_);
      dropped = std::move(state->browseRepo);
    }
    dropped.reset();
    out.status = openRepo(job, cancel.get(), op == kOpBackup, repo, false, op.c_str());
    if (out.status.ok()) {
      std::lock_guard<std::mutex> lock(stateMutex_);
      state->taskRepo = repo;
    }
    // A check reports it among its problems; every other task says so too.
    if (out.status.ok() && op != kOpCheck) {
      out.damage = repo->indexDamage();
      for (std::string& text : repo->packDamage()) out.damage.push_back(std::move(text));
    }
  }
  if (out.status.ok()) {
    if (op == kOpBackup) {
      runBackupOp(*state, job, *repo, *progress, cancel.get(), out);
    } else if (op == kOpRestore) {
      runRestoreOp(*state, job, *repo, *args, *progress, cancel.get(), out);
    } else if (op == kOpCheck) {
      runCheckOp(*state, *repo, *args, *progress, cancel.get(), out);
    } else if (op == kOpPrune) {
      runPruneOp(*state, job, *repo, cancel.get(), out);
    } else {
      out.status = Status(Status::kInvalid, "unknown task: " + op);
    }
  }

  if (repo) {
    // A task whose lock another client took away for stale cannot vouch
    // for what it did; the lock goes before the job shows idle.
    const Status held = repo->lockStatus();
    if (out.status.ok() && !held.ok()) out.status = held;
    repo->unlock();
  }
  for (const std::string& damage : out.damage) appendLog(job.id, "  " + damage);
  for (const std::string& note : out.notes) appendLog(job.id, "  " + note);
  for (const std::string& problem : out.problems) appendLog(job.id, "  " + problem);
  const uint64_t errors = progress->errors.load();
  if (errors > out.problems.size())
    appendLog(job.id, "  ... and " + std::to_string(errors - out.problems.size()) + " more");
  const bool canceled = out.status.code == Status::kCanceled;
  const char* result = canceled              ? kResultCanceled
                       : !out.status.ok()    ? kResultFailed
                       : errors != 0         ? kResultWarnings
                                             : kResultOk;
  std::string line = op + " " + result;
  if (!out.status.ok() && !canceled) line += ": " + out.status.words();
  if (out.status.ok()) line += ": " + (out.logNote.empty() ? out.note : out.logNote);
  // The console shows this line alone: a damaged repository is named in it
  // even when the task itself went well.
  if (!out.damage.empty() && !canceled) line += "; " + DamageText(out.damage);
  appendLog(job.id, line);

  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    if (repo) recordDamageLocked(*state, *repo);
    recordOutcomeLocked(*state, op, result, out, errors);
    saveStatus(*state);
    state->taskRepo.reset();
    state->phase.clear();
    state->running.clear();
  }
  idle_.notify_all();
  // The repository goes before the turn does: closing its connections is
  // still part of this task.
  repo.reset();
  if (turn) giveTurn();
}

bool BackupManager::takeTurn(const CancelToken& cancel) {
  std::unique_lock<std::mutex> lock(taskMutex_);
  // Woken when the turn is given back, and every so often to notice a
  // cancellation while queued.
  while (taskHeld_) {
    if (cancel.isCancelled()) return false;
    taskFree_.wait_for(lock, std::chrono::milliseconds(kTaskLockPollMs));
  }
  taskHeld_ = true;
  return true;
}

void BackupManager::giveTurn() {
  {
    std::lock_guard<std::mutex> lock(taskMutex_);
    taskHeld_ = false;
  }
  taskFree_.notify_all();
}

void BackupManager::recordOutcomeLocked(JobState& state, const std::string& op, const std::string& result,
                                        const TaskOutcome& out, uint64_t errors) {
  const int64_t t = now();
  state.unfinished.clear();
  state.unfinishedSince = 0;
  state.lastTask = op;
  state.lastTaskResult = result;
  state.lastTaskCounts = out.status.ok() && op != kOpBackup ? out.counts : vx::json::Value::object();
  if (op != kOpBackup) {
    state.lastNote = out.status.ok() ? out.note : op + ": " + out.status.words();
    if (!out.removed.empty()) state.versionsValid = false;
  } else {
    state.lastStart = state.taskStartedAt;
    state.lastEnd = t;
    state.lastResult = result;
    state.lastError = !out.status.ok()           ? out.status.toString()
                      : result == kResultWarnings
                          ? WarningsText(errors, out.changedFiles, {out.unreadFolders, out.badNames, out.badNameFolders})
                                                  : std::string();
    if (result == kResultFailed) ++state.failStreak;
    if (out.status.ok()) {
      state.lastOk = t;
      state.lastSnapshot = out.version;
      state.failStreak = 0;
      if (state.versionsValid) {
        state.versions.push_back(out.version);
        std::erase_if(state.versions, [&](const backup::SnapshotInfo& v) {
          return std::find(out.removed.begin(), out.removed.end(), v.id) != out.removed.end();
        });
      }
    }
  }
  if (out.setLastPrune) state.lastPrune = t;
  if (!out.damage.empty()) {
    const std::string damage = DamageText(out.damage);
    state.lastNote = op == kOpBackup ? op + ": " + damage : state.lastNote + "; " + damage;
  }
}

}  // namespace tarn
