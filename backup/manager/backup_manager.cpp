// Construction with the backup folder and its security, starting tasks, the
// scheduler and stopping.
#include "backup/manager/backup_manager.h"

#include <unistd.h>

#include <chrono>
#include <system_error>

#include "backup/engine/schedule.h"
#include "backup/manager/backup_task.h"
#include "foundation/config_file.h"
#include "foundation/file_util.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "platform/secure_folder.h"

namespace tarn {
namespace {

// The repository defaults of every job's repository.
constexpr int32_t kRetryAttempts = 8;
constexpr uint32_t kRetryBaseMs = 1000;
constexpr uint32_t kRetryMaxMs = 60000;

BackupManager::Timing WithDefaults(BackupManager::Timing timing) {
  if (!timing.now) timing.now = vx::UnixNow;
  return timing;
}

backup::RepoOptions DefaultRepoOptions() {
  backup::RepoOptions o;
  o.packTargetSize = backup::kDefaultPackTargetSize;
  o.connections = backup::kDefaultConnections;
  o.compress = true;
  o.indexSegmentPacks = backup::kDefaultIndexSegmentPacks;
  o.speedLimitBytesPerSec = 0;
  o.retry.maxAttempts = kRetryAttempts;
  o.retry.baseDelayMs = kRetryBaseMs;
  o.retry.maxDelayMs = kRetryMaxMs;
  o.retry.factor = 2.0;
  o.retry.jitter = 0.25;
  o.retry.forever = false;
  o.kdfIterations = backup::kDefaultKdfIterations;
  return o;
}

Status SecureBackupFolder(const std::string& dir) {
  std::string aside;
  Status s = SecurePrivateFolder(dir, &aside);
  if (!aside.empty())
    vx::log::write(vx::log::kWarn, "backup: %s was not made by the service; set aside as %s", dir.c_str(),
                   aside.c_str());
  return s;
}

}  // namespace

BackupManager::BackupManager(ServiceState* owner, std::string backupFolder, Timing timing)
    : owner_(owner),
      backupFolder_(std::move(backupFolder)),
      repoDefaults_(DefaultRepoOptions()),
      timing_(WithDefaults(std::move(timing))) {
  if (backupFolder_.empty()) {
    backupFolder_ = vx::JoinPath(DataRoot(), kBackupFolderName);
    // A service running as root keeps secrets here that no user may see.
    if (::geteuid() == 0) folderStatus_ = SecureBackupFolder(backupFolder_);
  }
  vx::MakeDirs(backupFolder_);
  startedAt_ = now();
}

BackupManager::~BackupManager() { stopAll(); }

std::shared_ptr<BackupManager::JobState> BackupManager::findLocked(const std::string& id) const {
  auto it = jobs_.find(id);
  return it == jobs_.end() ? nullptr : it->second;
}

void BackupManager::startScheduler() {
  std::lock_guard<std::mutex> lock(schedMutex_);
  if (stopping_ || scheduler_.joinable()) return;
  scheduler_ = std::thread([this] { schedulerLoop(); });
}

Status BackupManager::startTask(const std::string& id, const std::string& op, TaskArgs args) {
  std::thread previous;
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    std::shared_ptr<JobState> state = findLocked(id);
    if (!state) return Status(Status::kNotFound, "no such backup job");
    if (!state->running.empty()) return Status(Status::kBusy, "the job is busy (" + state->running + ")");
    // The previous task has finished its work but may still be letting its
    // repository go: it is joined below, once the lock is released.
    previous = std::move(state->worker);
    state->running = op;
    state->phase = kPhaseWaiting;
    state->taskStartedAt = now();
    state->progress = std::make_shared<backup::Progress>();
    state->cancel = std::make_shared<CancelToken>();
    try {
      state->worker = std::thread(&BackupManager::runTask, this, state, op, std::make_shared<TaskArgs>(std::move(args)));
    } catch (const std::system_error& e) {
      state->running.clear();
      state->phase.clear();
      if (previous.joinable()) state->worker = std::move(previous);
      return Status(Status::kIo, std::string("cannot start the task: ") + e.what());
    }
  }
  if (previous.joinable()) previous.join();
  return Status();
}

void BackupManager::setPhase(JobState& state, const std::string& phase) {
  std::lock_guard<std::mutex> lock(stateMutex_);
  state.phase = phase;
}

void BackupManager::schedulerLoop() {
  std::unique_lock<std::mutex> lock(schedMutex_);
  while (!stopping_) {
    schedWake_.wait_for(lock, std::chrono::milliseconds(timing_.tickMs), [&] { return stopping_; });
    if (stopping_) return;
    const int64_t t = now();
    if (t - startedAt_ < kFirstTickDelaySec) continue;
    // The tick takes stateMutex_, which is never held with schedMutex_.
    lock.unlock();
    schedulerTick(t);
    lock.lock();
  }
}

void BackupManager::schedulerTick(int64_t t) {
  std::vector<std::string> due;
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    for (const auto& [id, state] : jobs_) {
      const backup::BackupJob& job = state->job;
      if (!state->running.empty() || !job.enabled || !backup::IsScheduled(job.schedule.mode)) continue;
      const bool scheduled = job.schedule.isDue(state->lastStart, t);
      if (state->lastResult == kResultFailed) {
        if (t - state->lastEnd < kFailedRetryPauseSec) continue;
        if (state->failStreak < kMaxRetryStreak || scheduled) due.push_back(id);
      } else if (scheduled) {
        due.push_back(id);
      }
    }
  }
  for (const std::string& id : due) {
    TaskArgs args;
    args.scheduled = true;
    (void)startTask(id, kOpBackup, std::move(args));
  }
}

bool BackupManager::waitIdle(const std::string& id, uint32_t timeoutMs) {
  std::unique_lock<std::mutex> lock(stateMutex_);
  return idle_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
    std::shared_ptr<JobState> state = findLocked(id);
    return !state || state->running.empty();
  });
}

void BackupManager::stopAll() {
  std::thread scheduler;
  {
    std::lock_guard<std::mutex> lock(schedMutex_);
    stopping_ = true;
    scheduler = std::move(scheduler_);
  }
  schedWake_.notify_all();
  if (scheduler.joinable()) scheduler.join();

  std::vector<std::thread> workers;
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    for (const auto& [id, state] : jobs_) {
      if (state->cancel) state->cancel->cancel();
      if (state->worker.joinable()) workers.push_back(std::move(state->worker));
    }
  }
  for (std::thread& w : workers) w.join();
}

std::unique_ptr<IBackupService> MakeServiceBackups(ServiceState& state) {
  // In a data folder that others may change, they could swap the backup
  // folder for their own between its check and its use.
  if (::geteuid() == 0) {
    const Status trusted = CheckTrustedFolder(DataRoot());
    if (!trusted.ok()) {
      vx::log::write(vx::log::kError, "backups: %s", trusted.message.c_str());
      return nullptr;
    }
  }
  auto manager = std::make_unique<BackupManager>(&state, std::string());
  if (!manager->folderStatus().ok()) {
    vx::log::write(vx::log::kError, "backups: %s", manager->folderStatus().message.c_str());
    return nullptr;
  }
  return manager;
}

}  // namespace tarn
