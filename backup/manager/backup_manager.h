// tarn::BackupManager: the service's one owner of the machine's backup jobs.
// It keeps the jobs with their status and logs in the backup folder, runs
// each task (backup, restore, check, prune) on a worker thread of its own,
// one task at a time on the machine, starts jobs on their schedules, and
// answers every control request whose op begins with "backup".
//
// ServiceBody owns the one instance (through IBackupService) and calls
// loadJobs, startScheduler and stopAll from the service thread; handle runs
// on the control socket's connection threads; the scheduler has one thread,
// and every running task one more.
//
// Locks, in the order in which they may be taken: the task turn (taskHeld_,
// held by the running task for all of its work), a job's browseMutex,
// stateMutex_; then,
// inside the manager's, the service state's own lock (mountEndpoint,
// cacheRoot), which never calls back into the manager while held.
// schedMutex_ is never held together with stateMutex_. Threads are joined
// with no lock held, and no repository is released under a lock, since
// releasing one closes its connections.
//
// The folder files live in backup_files.cpp, the task runner in
// backup_task.cpp, the control requests in backup_requests.cpp.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "backup/engine/backup_job.h"
#include "backup/engine/progress.h"
#include "backup/engine/restore.h"
#include "backup/repo/repo.h"
#include "backup/repo/snapshot.h"
#include "engine/backend.h"
#include "foundation/cancel_token.h"
#include "foundation/endpoint_config.h"
#include "foundation/json.h"
#include "foundation/status.h"
#include "platform/caller_rights.h"
#include "platform/control_request.h"
#include "service/service_body.h"
#include "service/service_state.h"

namespace tarn {

inline constexpr const char* kBackupFolderName = "backup";
inline constexpr const char* kJobsFileName = "jobs.json";
inline constexpr const char* kJobStatusFileName = "status.json";
inline constexpr const char* kJobLogFileName = "log.txt";
inline constexpr const char* kJobStateFileName = "state.bin";
inline constexpr const char* kJobStateNewFileName = "state.new";

// A job log past this size keeps only its second half.
constexpr uint64_t kJobLogCutBytes = 1048576;
// The scheduler waits this long after construction before its first tick,
// and this long between ticks.
constexpr int64_t kFirstTickDelaySec = 120;
constexpr uint32_t kSchedulerTickMs = 20000;
// A failed job is retried after this pause, up to kMaxRetryStreak failures
// in a row; after that it waits for its schedule.
constexpr int64_t kFailedRetryPauseSec = 1800;
constexpr int32_t kMaxRetryStreak = 6;
// How often a waiting task looks at its cancel token.
constexpr uint32_t kTaskLockPollMs = 200;
// The most damaged packs a job's status keeps.
constexpr size_t kMaxDamagedPacks = 1000;
// Space is reclaimed after a backup at most this often.
constexpr int64_t kCleanupIntervalSec = 604800;
// How long backupRemove waits for a running task to stop (600 x 100 ms).
constexpr uint32_t kRemoveWaitMs = 60000;
// A backupSet whose checks took longer than this saves nothing: the console
// waits 60 s for its answer, and must not report a failure for a job that
// was saved after all.
constexpr int64_t kSetAnswerSec = 45;
constexpr int kDefaultJobLogLines = 200;
// Ops of the tasks.
inline constexpr const char* kOpBackup = "backup";
inline constexpr const char* kOpRestore = "restore";
inline constexpr const char* kOpCheck = "check";
inline constexpr const char* kOpPrune = "prune";

// The manager's sense of time: Unix seconds, and the scheduler's and the
// remove request's waits. Tests move time by hand.
struct BackupTiming {
  std::function<int64_t()> now;  // empty: vx::UnixNow
  uint32_t tickMs = kSchedulerTickMs;
  uint32_t removeWaitMs = kRemoveWaitMs;
};

class BackupManager : public IBackupService {
 public:
  using BackendFactory = std::function<std::unique_ptr<IBackend>(const EndpointConfig&)>;

  // One task's arguments, shared by the request that starts it and the
  // worker that runs it.
  struct TaskArgs {
    std::string snapshot;  // restore: the version's id
    std::string path;      // restore: the path inside the version
    std::string target;    // restore: local folder; empty: the recorded places
    // restore: the rights of the user who asked; none for an in-process call
    std::optional<CallerToken> callerToken;
    // restore: asked from inside the service, which may write with its own
    // rights; a caller whose rights are unknown may not
    bool inProcess = false;
    // restore: the caller's umask, for what the version recorded no bits of
    uint32_t umask = backup::kDefaultRestoreUmask;
    bool readData = false;  // check: read every pack whole
    bool scheduled = false;
  };

  // One job and what runs of it. Held by shared_ptr, so that a task or a
  // browse request that holds one outlives the job's removal from the map.
  // Every field but browseMutex is guarded by the manager's stateMutex_.
  struct JobState {
    backup::BackupJob job;
    // The stored repository password when it did not open here; written back
    // unchanged so that the computer that sealed it still finds it.
    std::string sealedPassword;
    int64_t lastStart = 0;
    int64_t lastEnd = 0;
    int64_t lastOk = 0;
    int64_t lastPrune = 0;
    int32_t failStreak = 0;
    std::string lastResult;
    std::string lastError;
    std::string lastNote;
    // The op and result word of the task that ended last, whatever its op:
    // what a job's state shows once a restore, check or prune came after
    // its last backup.
    std::string lastTask;
    std::string lastTaskResult;
    // The counts of the last task's note (TaskOutcome::counts); an empty
    // object when it did not succeed.
    vx::json::Value lastTaskCounts = vx::json::Value::object();
    backup::SnapshotInfo lastSnapshot;  // empty id: none
    // The op of a task that has begun and not yet recorded its end, and
    // when it began: kept in "status.json", so that a task the service did
    // not live to end is known at the next start.
    std::string unfinished;
    int64_t unfinishedSince = 0;
    std::string running;  // the op of the task in progress; empty when idle
    std::string phase;
    int64_t taskStartedAt = 0;
    std::shared_ptr<backup::Progress> progress;
    std::shared_ptr<CancelToken> cancel;
    std::shared_ptr<backup::Repo> taskRepo;
    std::thread worker;
    // Serialises opening and reading the browsing repository; taken before
    // stateMutex_.
    std::mutex browseMutex;
    std::shared_ptr<backup::Repo> browseRepo;
    std::vector<backup::SnapshotInfo> versions;  // this job's, oldest first
    std::vector<std::string> damagedRecords;     // records that did not open when versions was listed
    bool versionsValid = false;
    // Packs (64 hex digits) this job's tasks found damaged, kept in
    // "status.json": every task of any job counts their blobs as not held,
    // so that a backup stores them again; an id goes once its repository
    // no longer holds the pack, or a check read it whole.
    std::vector<std::string> damagedPacks;
  };

  using Timing = BackupTiming;

  // `owner` (may be null) resolves destinations on drives and names the
  // drive cache; an empty `backupFolder` takes "backup" in the data folder
  // and, for a service running as root, secures it. Never fails.
  BackupManager(ServiceState* owner, std::string backupFolder, Timing timing = {});
  // stopAll, then everything goes.
  ~BackupManager() override;
  BackupManager(const BackupManager&) = delete;
  BackupManager& operator=(const BackupManager&) = delete;

  // Set before the first task; the service leaves the factory empty (the
  // drive engine's MakeBackend) and the defaults as they are.
  void setBackendFactory(BackendFactory factory) { backendFactory_ = std::move(factory); }
  void setRepoDefaults(const backup::RepoOptions& options) { repoDefaults_ = options; }

  const std::string& backupFolder() const { return backupFolder_; }
  // Ok unless the default folder could not be made safe.
  const Status& folderStatus() const { return folderStatus_; }

  // --- the backup folder's files (backup_files.cpp) ---
  bool loadJobs(std::string* error) override;
  // Call with stateMutex_ held.
  bool saveJobs(std::string* error);
  // Call with stateMutex_ held. A task left unfinished is recorded as
  // interrupted, in the status and the log.
  void loadStatus(JobState& state);
  // Call with stateMutex_ held.
  void saveStatus(const JobState& state);
  // One "log.txt" entry; only the job's own task writes its log.
  void appendLog(const std::string& id, const std::string& text);
  std::string jobPath(const std::string& id) const;
  bool anyRunning() override;

  // --- tasks, scheduler, stop (backup_manager.cpp) ---
  void startScheduler() override;
  Status startTask(const std::string& id, const std::string& op, TaskArgs args);
  void stopAll() override;
  void setPhase(JobState& state, const std::string& phase);
  void schedulerTick(int64_t now);
  // Waits until the job is idle or gone, at most `timeoutMs`; true then.
  bool waitIdle(const std::string& id, uint32_t timeoutMs);

  // --- the task runner (backup_task.cpp) ---
  void runTask(std::shared_ptr<JobState> state, std::string op, std::shared_ptr<TaskArgs> args);
  // With `lockFor` (a task's op) the repository lock is taken before the
  // index is read: exclusive for a prune, shared for the others; and once
  // a call found the server silent, the task's later calls end at once.
  Status openRepo(const backup::BackupJob& job, const CancelToken* cancel, bool create,
                  std::shared_ptr<backup::Repo>& out, bool quick, const char* lockFor = nullptr);
  Status resolveDestination(const backup::BackupJob& job, EndpointConfig& out);
  // The repository object of the job's destination, not opened yet.
  Status makeRepo(const backup::BackupJob& job, bool quick, EndpointConfig& endpoint,
                  std::shared_ptr<backup::Repo>& out, bool forTask = false);

  // --- control requests (backup_requests.cpp) ---
  vx::json::Value handle(const vx::json::Value& request, const IpcCaller* caller) override;
  // Call with stateMutex_ held.
  vx::json::Value stateJson(const JobState& state, int64_t now);
  Status cachedRepo(const std::shared_ptr<JobState>& state, std::shared_ptr<backup::Repo>& out);

 private:
  struct TaskOutcome;

  void schedulerLoop();
  int64_t now() const { return timing_.now(); }
  std::shared_ptr<JobState> findLocked(const std::string& id) const;

  // Waits for the machine-wide turn; false when the task was canceled first.
  bool takeTurn(const CancelToken& cancel);
  void giveTurn();

  // The work of one op, on the task's thread holding the turn
  // (backup_task_ops.cpp).
  void runBackupOp(JobState& state, const backup::BackupJob& job, backup::Repo& repo, backup::Progress& progress,
                   const CancelToken* cancel, TaskOutcome& out);
  void runRestoreOp(JobState& state, const backup::BackupJob& job, backup::Repo& repo, const TaskArgs& args,
                    backup::Progress& progress, const CancelToken* cancel, TaskOutcome& out);
  void runCheckOp(JobState& state, backup::Repo& repo, const TaskArgs& args, backup::Progress& progress,
                  const CancelToken* cancel, TaskOutcome& out);
  void runPruneOp(JobState& state, const backup::BackupJob& job, backup::Repo& repo, const CancelToken* cancel,
                  TaskOutcome& out);
  // The packs that the tasks of every job found damaged.
  std::vector<backup::BlobId> knownDamage();
  // Takes in what the task's repository found damaged, or no longer so;
  // call with stateMutex_ held.
  void recordDamageLocked(JobState& state, backup::Repo& repo);
  // The job's status after a task; call with stateMutex_ held.
  void recordOutcomeLocked(JobState& state, const std::string& op, const std::string& result,
                           const TaskOutcome& out, uint64_t errors);

  // Requests that name a job (backup_requests.cpp).
  vx::json::Value setJob(const vx::json::Value& request);
  // Asks the destination of a job being set, when it is new or its place,
  // password or log-in changed: the refusal of a server that refuses the
  // log-in, of a folder that holds a repository's data without its config
  // and of a repository the password does not open; ok otherwise, with
  // `untried` saying so when the server could not be asked. `job` is
  // validated; `before` is the stored job of its id, or null.
  vx::json::Value checkDestination(const backup::BackupJob& job, const backup::BackupJob* before,
                                   std::string& untried);
  vx::json::Value testJob(const vx::json::Value& request);
  vx::json::Value removeJob(const std::string& id);
  vx::json::Value browse(const std::string& op, const std::string& id, const vx::json::Value& request);
  // backupForget of a record that does not open, named by its object name.
  vx::json::Value forgetDamaged(backup::Repo& repo, const std::string& snapshot);
  // Lays the stored secrets of the same job under empty incoming ones; call
  // with stateMutex_ held.
  void keepStoredSecretsLocked(backup::BackupJob& incoming, std::string& sealedPassword) const;

  ServiceState* const owner_;
  std::string backupFolder_;
  BackendFactory backendFactory_;
  backup::RepoOptions repoDefaults_;
  const Timing timing_;
  Status folderStatus_;
  int64_t startedAt_ = 0;

  mutable std::mutex stateMutex_;
  std::map<std::string, std::shared_ptr<JobState>> jobs_;  // guarded by stateMutex_
  // Told whenever a task ends, for those waiting for a job to go idle.
  std::condition_variable idle_;

  // The machine-wide turn: held by a running task for all its work, so
  // that one task runs at a time.
  std::mutex taskMutex_;
  std::condition_variable taskFree_;
  bool taskHeld_ = false;  // guarded by taskMutex_

  std::mutex schedMutex_;
  std::condition_variable schedWake_;
  bool stopping_ = false;  // guarded by schedMutex_; never cleared
  std::thread scheduler_;  // guarded by schedMutex_
};

// A version record as the replies and "status.json" carry it: the stored
// members plus "id".
vx::json::Value SnapshotJson(const backup::SnapshotInfo& info);

// The manager as the service runs it: refused, with "backups: ..." in the
// log, when the data folder or the backup folder is not safe.
std::unique_ptr<IBackupService> MakeServiceBackups(ServiceState& state);

}  // namespace tarn
