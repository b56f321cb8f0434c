// The service's state: the application settings and the registry of drives
// from config.json, and every operation the control requests make on them.
// ServiceBody owns the one instance; the dispatcher calls it from the
// control socket's connection threads, the address watch from its thread,
// and the backup manager from its own threads.
//
// Locks: one mutex, mu_, guards the settings and the registry; it is never
// held while a server is asked anything or a drive's uploads are awaited, so
// that the status answers at once whatever a server does. Mounting and
// unmounting a drive run on a worker thread of that drive (one at a time per
// drive) without the lock: a request marks what it wants of the drive, wakes
// the worker and waits for the outcome on a condition variable (a mount at
// most kMountAnswerMs; a mount that takes longer goes on and the drive shows
// "mounting"). The backup manager takes its own lock before this one (it
// asks mountEndpoint while holding it); this object therefore never calls
// the backup manager while holding mu_ (isBusy asks it first).
//
// Each mounted drive has a started tarn::Volume, shared with its mount host,
// which the slot owns; the volume is started before the host mounts it and
// stopped after the host let go. Requests that use a mounted drive's volume
// (sync, cache, uploads, transfers, status) take a shared pointer to it under
// the lock and call it without.
//
// The operations on drives at run time (mount, unmount, sync, offline mode,
// cache, uploads, transfers, status of a drive, probe, network kicks, the
// drive workers) live in service_state_drives.cpp; the registry, settings
// and reports in service_state.cpp.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/volume.h"
#include "foundation/json.h"
#include "foundation/mount_config.h"
#include "foundation/status.h"
#include "mount/mount_host.h"

namespace tarn {

// The program version the status reports.
inline constexpr const char* kServiceVersion = TARN_PROGRAM_VERSION;
// Lines of the service log a "getLog" without "lines" returns, and the most
// it may ask for.
inline constexpr int kDefaultLogLines = 200;
inline constexpr int kMaxLogLines = 20000;
// The most of the log's end a "getLog" reads, whole lines of it returned.
inline constexpr size_t kMaxLogReplyBytes = 4u << 20;
// How much of the log's end a "getLog" of `lines` lines reads: that many
// of the longest lines, within kMaxLogReplyBytes.
uint64_t LogTailBytes(int lines);
// The status's and a mount's word when FUSE cannot be used.
inline constexpr const char* kNoMountDriver = "no usable fuse 3: the fuse3 package or /dev/fuse is missing";
// How long an unmount, and the stop of the service, wait for a drive's
// uploads.
inline constexpr uint32_t kUnmountFlushMs = 20000;
// What an unmount request waits beyond the flush for the drive to let go
// (calls that a silent server holds may keep it longer: the request answers
// and the drive goes on letting go).
inline constexpr uint32_t kUnmountAnswerSlackMs = 2000;

// The changes of a drive that have not reached its server: files whose
// contents wait to be sent, and their size.
struct UnsentChanges {
  uint32_t files = 0;
  uint64_t bytes = 0;
  uint32_t openFiles = 0;  // of `files`, those still open, which go up at their close
  // "changes of 2 files (1.5 KiB)"
  std::string text() const;
};

class ServiceState {
 public:
  // `logPath` is the service log that getLog reads.
  ServiceState(std::string configPath, std::string logPath);
  // Takes down what is still mounted without waiting for uploads.
  ~ServiceState();
  ServiceState(const ServiceState&) = delete;
  ServiceState& operator=(const ServiceState&) = delete;

  // Reads config.json. On failure the defaults stay and `error` says why.
  bool loadConfig(std::string* error);
  // Deletes, beside the requests, the caches of drives whose removal a stop
  // cut short. Only the service that owns the socket may: another one
  // would race its deletions.
  void deleteSetAsideCaches();
  // How the backup manager answers "is a backup job running?". Set once,
  // before requests are served.
  void setBackupRunning(std::function<bool()> anyRunning);
  // Makes the back-end factory of a drive's volume and of its mount-time
  // probe; unset, back-ends are made by the drive's protocol. Set once,
  // before requests are served (tests put their own servers here).
  using BackendsFor = std::function<Volume::BackendFactory(const MountConfig&)>;
  void setBackendsFor(BackendsFor backendsFor);
  // How long a mount request waits for the mount before it answers that
  // the mount goes on (kMountAnswerMs; tests shorten it). Set before serving.
  void setMountAnswerMs(uint32_t ms) { mountAnswerMs_ = ms; }
  // How long an unmount request waits for the drive's uploads
  // (kUnmountFlushMs; tests shorten it). Set before serving.
  void setUnmountFlushMs(uint32_t ms) { unmountFlushMs_ = ms; }
  // What the users may hold open on the drives, for every drive mounted
  // from now on; unset, no bound. Set before serving.
  void setOpenFileShares(std::shared_ptr<OpenFileShares> shares) { openFiles_ = std::move(shares); }

  // --- registry and settings (service_state.cpp) ---
  // The "status" reply.
  vx::json::Value status();
  // Adds or replaces a drive from its JSON; `id` receives its id. Secrets
  // left empty keep the stored ones.
  Status setMount(const vx::json::Value& mount, std::string& id);
  // Unmounts and forgets a drive; with `clearCache` its cache goes too.
  // `unsent` (when given) receives the changes not yet sent that go with
  // it; with `keepUnsent`, a drive that has any stays as it is, and the
  // status is kConflict.
  Status removeMount(const std::string& id, bool clearCache, bool keepUnsent = false,
                     UnsentChanges* unsent = nullptr);
  // Changes the settings named by the members of `settings`; "op" is
  // skipped, any other name that is no setting is refused.
  Status setAppSettings(const vx::json::Value& settings);
  // The last `lines` lines of the service log.
  std::string getLog(int lines);
  // A copy of a drive's endpoint; false when there is no such drive.
  bool mountEndpoint(const std::string& id, EndpointConfig& out);
  // The folder under which each drive has its cache.
  std::string cacheRoot();
  // True while a backup job runs or a mounted drive has uploads to finish.
  bool isBusy();
  // The administrators group of the settings; never waits for a request.
  std::string adminGroup() const;

  // --- drives at run time (service_state_drives.cpp) ---
  // Marks the drive wanted and mounts it: a server never probed is probed
  // first, the volume starts, and the host waits up to kMountAnswerMs. The
  // reply comes within kMountAnswerMs: a mount still going on then is no
  // error, and `pending` (when given) says so. The drive is mounted at the
  // next start of the service too ("autoMount").
  Status mount(const std::string& id, bool* pending = nullptr);
  // Takes the drive away and waits up to kUnmountFlushMs for its uploads;
  // a drive that is not mounted is no error. Answers within that time and
  // kUnmountAnswerSlackMs, with the changes still unsent
  // in `unsent` (when given), which wait for the next mount. The drive
  // stays unmounted at the next start of the service ("autoMount").
  Status unmount(const std::string& id, uint32_t* unsent = nullptr);
  // These three need the drive mounted.
  Status syncNow(const std::string& id);
  Status clearCache(const std::string& id);
  Status stopUpload(const std::string& id, const std::string& path);
  // A setting of the drive, kept in config.json; a mounted drive follows it
  // at once.
  Status setOffline(const std::string& id, bool offline);
  // The "mounts" of the status reply.
  vx::json::Value drivesStatus();
  // Every transfer of the mounted drives.
  Status transfers(vx::json::Value& list);
  // Logs in once to the server of a drive's settings, as they would be
  // saved, without retrying; the settings are checked first, so a failure
  // of theirs comes before any server is asked. Talks to the server: holds
  // no lock meanwhile.
  // `serverKey` gets the key the server showed (an SSH host key), also when
  // the log-in was then refused.
  Status tryLogin(const vx::json::Value& mount, std::string* serverKey = nullptr);
  // Probes the server of a drive's settings; `summary` is the report's text.
  Status probe(const vx::json::Value& mount, std::string& summary, vx::json::Value& report);
  // Start-up: mounts every drive marked to mount automatically, all at
  // once, and returns when they are mounted or kMountAnswerMs has passed.
  void mountWanted();
  // The machine's addresses changed: mounted drives reconnect and send what
  // waits, wanted drives that failed to mount try again (without waiting).
  void networkChanged();
  // Stop: unmounts every drive, all at once, each waiting up to `flushMs`
  // for its uploads.
  void unmountAll(uint32_t flushMs);

 private:
  // One configured drive and what runs of it. The host goes before the
  // volume it serves.
  struct DriveSlot {
    uint64_t serial = 0;               // tells this slot from a later one of the same id
    MountConfig config;
    bool wanted = false;               // mount now and again after network changes
    std::string lastError;             // why the last mount failed
    Status mountResult;                // how the last mount went
    std::shared_ptr<Volume> volume;    // started while mounted
    std::unique_ptr<IMountHost> host;  // while mounted, or left by a mount gone from outside
    // What the requests ask of the drive's worker, and what it is doing.
    bool working = false;              // the worker runs
    bool mountAsked = false;           // try a mount (once)
    bool releaseAsked = false;         // take the drive away (once)
    bool mounting = false;             // a mount is under way
    // Ends the mount under way early: an unmount cancels it, and the
    // service's stop (its parent).
    std::shared_ptr<CancelToken> mountCancel;
    bool removing = false;             // removeMount waits for the worker
    // Until when the taking away waits for uploads (not at all once past).
    std::chrono::steady_clock::time_point releaseFlushUntil;
    bool flushed = false;              // the taking away's wait for uploads is over
    uint32_t unsentLeft = 0;           // changes still unsent when it was
    Status released;                   // how the last taking away went
  };

  DriveSlot* findLocked(const std::string& id);
  DriveSlot* findSerialLocked(uint64_t serial);
  std::string cacheRootLocked() const;
  // Writes config.json from the settings and the slots, leaving `without`
  // out.
  Status saveLocked(const DriveSlot* without = nullptr);
  // Lays the stored secrets under empty incoming ones of the same drive.
  void keepStoredSecretsLocked(MountConfig& incoming) const;
  bool isMountedLocked(const DriveSlot& slot) const;
  // The slot's volume when the drive is mounted; else null and `why`.
  std::shared_ptr<Volume> mountedVolumeLocked(const DriveSlot* slot, Status& why) const;
  // The drive's changes not yet sent; lets go of `lock` while it reads the
  // drive's cache folder (the slot may be gone on return).
  UnsentChanges unsentLocked(std::unique_lock<std::mutex>& lock, const DriveSlot& slot);
  // Sets the drive's "autoMount" to `mounted` and saves it.
  void keepMountedAtStartLocked(DriveSlot& slot, bool mounted);
  // Starts the drive's worker unless it runs.
  void wakeWorkerLocked(DriveSlot& slot);
  // The worker: mounts or takes the drive away while asked to, without the
  // lock while it does.
  void driveWorker(uint64_t serial);
  // One mount attempt of the worker; `lock` is held on entry and return.
  void mountStepLocked(std::unique_lock<std::mutex>& lock, uint64_t serial);
  // Joins workers that have ended.
  void joinEndedLocked();

  // Publishes the settings' administrators group.
  void setAdminGroupLocked();

  const std::string configPath_;
  const std::string logPath_;
  std::function<bool()> backupRunning_;  // set before serving, then read-only
  BackendsFor backendsFor_;              // set before serving, then read-only
  uint32_t mountAnswerMs_ = kMountAnswerMs;  // set before serving, then read-only
  uint32_t unmountFlushMs_ = kUnmountFlushMs;  // set before serving, then read-only
  std::shared_ptr<OpenFileShares> openFiles_;  // set before serving, then read-only
  // Cancelled by the stop: the probes of mounts still going on end.
  const std::shared_ptr<CancelToken> stopping_ = std::make_shared<CancelToken>();

  mutable std::mutex mu_;
  std::condition_variable changed_;  // a worker made progress
  AppConfig settings_;               // guarded by mu_; its mounts stay empty
  std::vector<DriveSlot> drives_;    // guarded by mu_; in the file's order
  uint64_t nextSerial_ = 0;          // guarded by mu_
  std::map<std::thread::id, std::thread> workers_;  // guarded by mu_
  std::vector<std::thread::id> ended_;              // guarded by mu_; workers to join
  // Deletions of removed drives' caches, joined when the state goes.
  std::vector<std::thread> cacheDeletions_;         // guarded by mu_

  // Asked for every connection, so it has a lock of its own, taken inside
  // mu_ where both are held.
  mutable std::mutex adminGroupMu_;
  std::string adminGroup_ = kDefaultAdminGroup;  // guarded by adminGroupMu_
};

}  // namespace tarn
