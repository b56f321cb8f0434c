#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <utility>

#include "engine/data_cache.h"
#include "engine/probe.h"
#include "foundation/config_file.h"
#include "foundation/file_util.h"
#include "foundation/log.h"
#include "foundation/retry.h"
#include "foundation/text.h"
#include "mount/mount_driver.h"
#include "service/cache_folder.h"
#include "service/service_state.h"

namespace tarn {
namespace {

using vx::json::Value;

constexpr const char* kNoSuchDrive = "no such drive";
constexpr const char* kNotMounted = "the drive is not mounted";
constexpr const char* kStopping = "the service is stopping";
constexpr const char* kMountStopped = "the mount was stopped by an unmount";

constexpr uint32_t kMsPerSecond = 1000;
// A mount point the host could not use is tried this often, this long
// apart, before the mount fails: it may be held for a while, by what a
// process that died left there or by another program.
constexpr uint32_t kMountAttempts = 5;
constexpr uint32_t kMountRetryMs = 2000;

const char* Name(const MountConfig& c) { return c.name.c_str(); }

// A failure of the host that a while may mend: the mount point was busy,
// could not be cleared, or its file system did not answer in time.
bool MountPointMayClear(const Status& st) {
  return st.code == Status::kBusy || st.code == Status::kIo || st.code == Status::kTimeout;
}

// The first failure of a report, for the log.
std::string FirstFailure(const ProbeReport& report) {
  for (const ProbeItem& item : report.items) {
    if (item.level == ProbeItem::kFailure) return item.check + ": " + item.message;
  }
  return "failed";
}


Value TransferJson(const MountConfig& c, const TransferInfo& t) {
  Value v = Value::object();
  v.set("mount", c.id);
  v.set("drive", vx::WideToUtf8(std::u16string(1, c.drive)));
  v.set("path", t.path);
  v.set("upload", t.upload);
  v.set("done", t.done);
  v.set("total", t.total);
  v.set("state", t.state);
  v.set("error", t.error);
  v.set("attempt", t.attempt);
  v.set("startedMs", t.startedMs);
  v.set("updatedMs", t.updatedMs);
  return v;
}

// What a mount attempt made, handed from the worker to the slot.
struct Mounted {
  Status status;
  std::shared_ptr<Volume> volume;
  std::unique_ptr<IMountHost> host;
  bool probed = false;  // config.probed holds a new probe's result
};

// Probes a server never probed, starts a volume and mounts it. Talks to the
// server: called without the state's lock.
Mounted MountDrive(MountConfig& config, const std::string& cacheRoot, const std::string& mountDriver,
                   const ServiceState::BackendsFor& backendsFor, const std::shared_ptr<OpenFileShares>& shares,
                   const CancelToken* cancel) {
  Mounted out;
  if (DetectMountDriver(mountDriver).name.empty()) {
    out.status = Status(Status::kUnsupported, kNoMountDriver);
    return out;
  }
  if (const std::string problem = UnopenedSecretProblem(config.endpoint); !problem.empty()) {
    out.status = Status(Status::kAuthFailed, problem);
    return out;
  }
  if (!config.probed.valid) {
    ProbeReport report;
    if (backendsFor) {
      std::unique_ptr<IBackend> backend = backendsFor(config)();
      if (backend) {
        ProbeServer(report, *backend, config.compat, cancel);
      } else {
        report.add(ProbeItem::kFailure, "backend", "no backend");
      }
    } else {
      report = RunProbe(config, cancel);
    }
    if (report.ok || report.refusesWrites) {
      // A server that refuses writes gives a drive read-only for this mount:
      // writes fail at once instead of waiting for uploads it refuses.
      TakeProbeReport(config, report);
      out.probed = report.ok;
    } else {
      vx::log::write(vx::log::kWarn, "%s: probe failed: %s", Name(config), FirstFailure(report).c_str());
    }
  }
  // A mount that the stop overtook goes no further: the stop waits for it.
  const auto stopping = [&] { return cancel != nullptr && cancel->isCancelled(); };
  if (stopping()) {
    out.status = Status(Status::kCanceled, kStopping);
    return out;
  }
  out.status = OpenCacheFolder(config, cacheRoot);
  if (!out.status.ok()) return out;
  auto volume = std::make_shared<Volume>(config, cacheRoot, backendsFor ? backendsFor(config) : Volume::BackendFactory());
  std::string error;
  // A server out of reach does not fail the start: the drive serves its
  // cache and the status shows why it is not online.
  out.status = volume->start(&error, cancel);
  if (!out.status.ok()) return out;
  if (stopping()) {
    volume->stop(0);
    out.status = Status(Status::kCanceled, kStopping);
    return out;
  }
  std::unique_ptr<IMountHost> host;
  for (uint32_t attempt = 1;; ++attempt) {
    host = MakeMountHost(shares);
    out.status = host->mount(volume, MountPointPath(config.drive));
    if (out.status.ok() || attempt == kMountAttempts || !MountPointMayClear(out.status)) break;
    vx::log::write(vx::log::kWarn, "%s: mount failed: %s; trying again in %u s", Name(config),
                   out.status.message.c_str(), kMountRetryMs / kMsPerSecond);
    SleepCancellable(kMountRetryMs, cancel);
    if (stopping()) {
      out.status = Status(Status::kCanceled, kStopping);
      break;
    }
  }
  if (!out.status.ok()) {
    volume->stop(0);
    return out;
  }
  out.volume = std::move(volume);
  out.host = std::move(host);
  return out;
}

// A mounted drive whose server could not be used has it looked at now, so
// that what the mount's caller reads next is what holds, not what the last
// call saw. Talks to the server: without the state's lock.
void LookIfUnusable(Volume& volume, uint32_t withinMs) {
  VolumeStatus vs;
  volume.status(vs);
  if (vs.online || vs.offlineMode) return;
  (void)volume.lookAtServer(withinMs);
}

// Changes a running drive has not sent yet: waiting uploads, and records of
// its journal.
uint32_t UnsentOf(Volume& volume) {
  VolumeStatus left;
  volume.status(left);
  return left.pendingUploads + static_cast<uint32_t>(left.journalOps);
}

// Takes the mount away and stops the volume, waiting until `flushUntil` for
// its uploads (not at all once it has passed). `flushed` hears of the
// changes still unsent once that wait is over, before the volume's last
// calls end, which a silent server may hold. `removing`: the drive goes with
// its unsent changes. Without the state's lock.
Status ReleaseDrive(const MountConfig& config, std::unique_ptr<IMountHost>& host, std::shared_ptr<Volume>& volume,
                    std::chrono::steady_clock::time_point flushUntil, bool removing,
                    const std::function<void(uint32_t unsent)>& flushed = {}) {
  if (host) {
    // The host does not wait: the volume's wait below makes every queued
    // upload due at once and waits for them, which a wait here would not.
    Status s = host->unmount(0);
    if (!s.ok()) return s;
    host.reset();
  }
  if (volume) {
    const auto left = flushUntil - std::chrono::steady_clock::now();
    if (left > std::chrono::milliseconds::zero()) {
      volume->rescanDirty();
      volume->waitUploadsIdle(static_cast<uint32_t>(
          std::chrono::ceil<std::chrono::milliseconds>(left).count()));
    }
    const uint32_t unsent = UnsentOf(*volume);
    if (flushed) flushed(unsent);
    if (unsent != 0 && !removing)
      vx::log::write(vx::log::kWarn, "%s: %s not sent yet, to be sent at the next mount", Name(config),
                     Counted(unsent, "change", "changes").c_str());
    volume->stop(0);
    volume.reset();
  }
  return Status();
}

// The changes not yet sent that a drive's cache folder holds, for a drive
// that is not running. Reads the block maps only.
UnsentChanges UnsentInCache(const MountConfig& config, const std::string& cacheRoot) {
  UnsentChanges out;
  const std::string dir = config.cache.dir.empty() ? vx::JoinPath(cacheRoot, config.id) : config.cache.dir;
  std::error_code ec;
  if (!std::filesystem::is_directory(dir, ec)) return out;
  DataCache cache(dir, config.cache.blockBytes, config.cache.maxBytes);
  for (const std::string& path : cache.dirtyFiles()) {
    uint64_t size = 0;
    Timestamp mtime;
    if (!cache.unsentChanges(path, &size, &mtime)) continue;
    ++out.files;
    out.bytes += size;
  }
  return out;
}

// The same for a running drive: the files its upload queue holds, and the
// open files whose writes wait for their close.
UnsentChanges UnsentInVolume(Volume& volume) {
  UnsentChanges out;
  VolumeStatus status;
  volume.status(status);
  out.files = status.pendingUploads + status.openChangedFiles;
  out.openFiles = status.openChangedFiles;
  out.bytes = status.openChangedBytes;
  for (const TransferInfo& t : volume.transfers())
    if (t.upload && t.state != "done" && t.state != "failed") out.bytes += t.total;
  return out;
}

// What the status shows of one drive, taken under the lock.
struct DriveView {
  MountConfig config;
  std::string lastError;
  std::string mountPoint;
  bool mounted = false;
  bool mounting = false;
  std::shared_ptr<Volume> volume;
};

// The drive's state in one word, from the members beside it; "lastError"
// is the reason of "error".
const char* DriveState(const DriveView& d, const VolumeStatus& vs, const std::string& lastError) {
  if (d.mounting && !d.mounted) return "mounting";
  if (!d.mounted) return lastError.empty() ? "unmounted" : "error";
  if (vs.offlineMode) return "offline";
  // Mounted, but its server cannot be used: only the cache serves.
  return vs.online ? "mounted" : "error";
}

Value DriveStatusJson(const DriveView& d) {
  const MountConfig& c = d.config;
  VolumeStatus vs;
  vs.offlineMode = c.cache.offlineMode;
  if (d.volume) d.volume->status(vs);
  const std::string& lastError = d.lastError.empty() ? vs.lastError : d.lastError;
  Value m = Value::object();
  m.set("id", c.id);
  m.set("name", c.name);
  m.set("drive", vx::WideToUtf8(std::u16string(1, c.drive)));
  m.set("mountPoint", d.mountPoint);
  m.set("mounted", d.mounted);
  m.set("mounting", d.mounting);
  m.set("online", vs.online);
  m.set("offlineMode", vs.offlineMode);
  m.set("state", DriveState(d, vs, lastError));
  m.set("lastError", lastError);
  m.set("cacheBytes", vs.cacheBytes);
  m.set("pendingUploads", vs.pendingUploads);
  m.set("journalOps", vs.journalOps);
  m.set("openChangedFiles", vs.openChangedFiles);
  if (d.volume) {
    const std::shared_ptr<const BackendCaps> caps = d.volume->caps();
    m.set("server", caps->server);
    m.set("randomWrite", caps->randomWrite);
    m.set("caseSensitive", caps->caseSensitive);
  }
  m.set("config", MountConfigToJson(c, false));
  return m;
}

}  // namespace

std::string UnsentChanges::text() const {
  return "changes of " + Counted(files, "file", "files") + " (" + FormatBytes(bytes) + ")";
}

// ---- under the lock ------------------------------------------------------

bool ServiceState::isMountedLocked(const DriveSlot& slot) const { return slot.host && slot.host->isMounted(); }

std::shared_ptr<Volume> ServiceState::mountedVolumeLocked(const DriveSlot* slot, Status& why) const {
  if (slot == nullptr || slot->removing) {
    why = Status(Status::kNotFound, kNoSuchDrive);
    return nullptr;
  }
  if (!isMountedLocked(*slot)) {
    why = Status(Status::kInvalid, kNotMounted);
    return nullptr;
  }
  return slot->volume;
}

void ServiceState::wakeWorkerLocked(DriveSlot& slot) {
  joinEndedLocked();
  if (slot.working) return;
  slot.working = true;
  std::thread worker([this, serial = slot.serial] { driveWorker(serial); });
  const std::thread::id id = worker.get_id();
  workers_.emplace(id, std::move(worker));
}

void ServiceState::joinEndedLocked() {
  // An ended worker has let go of the lock for good: joining it here waits
  // for nothing the lock guards.
  for (const std::thread::id& id : ended_) {
    auto it = workers_.find(id);
    if (it == workers_.end()) continue;
    it->second.join();
    workers_.erase(it);
  }
  ended_.clear();
}

// ---- the drive's worker ----------------------------------------------------

void ServiceState::driveWorker(uint64_t serial) {
  std::unique_lock<std::mutex> lock(mu_);
  for (DriveSlot* slot; (slot = findSerialLocked(serial)) != nullptr;) {
    if (slot->mountAsked && slot->wanted) {
      slot->mountAsked = false;
      if (!isMountedLocked(*slot)) mountStepLocked(lock, serial);
      continue;
    }
    if (slot->releaseAsked) {
      slot->releaseAsked = false;
      MountConfig config = slot->config;
      std::unique_ptr<IMountHost> host = std::move(slot->host);
      std::shared_ptr<Volume> volume = std::move(slot->volume);
      const auto flushUntil = slot->releaseFlushUntil;
      const bool removing = slot->removing;
      lock.unlock();
      Status s = ReleaseDrive(config, host, volume, flushUntil, removing, [this, serial](uint32_t unsent) {
        std::lock_guard<std::mutex> flushedLock(mu_);
        if (DriveSlot* d = findSerialLocked(serial)) {
          d->flushed = true;
          d->unsentLeft = unsent;
        }
        changed_.notify_all();
      });
      lock.lock();
      slot = findSerialLocked(serial);
      slot->released = s;
      // A host that would not let go stays where it was.
      if (!s.ok()) {
        slot->host = std::move(host);
        slot->volume = std::move(volume);
      }
      changed_.notify_all();
      continue;
    }
    slot->working = false;
    break;
  }
  ended_.push_back(std::this_thread::get_id());
  changed_.notify_all();
}

void ServiceState::mountStepLocked(std::unique_lock<std::mutex>& lock, uint64_t serial) {
  DriveSlot* slot = findSerialLocked(serial);
  slot->mounting = true;
  slot->lastError.clear();
  slot->mountCancel = std::make_shared<CancelToken>(stopping_);
  const std::shared_ptr<CancelToken> cancel = slot->mountCancel;
  MountConfig config = slot->config;
  // A mount taken away from outside leaves its volume running; the new one
  // resumes what it had not sent.
  std::unique_ptr<IMountHost> staleHost = std::move(slot->host);
  std::shared_ptr<Volume> staleVolume = std::move(slot->volume);
  const std::string cacheRoot = cacheRootLocked();
  const std::string mountDriver = settings_.mountDriver;
  lock.unlock();

  Mounted made;
  made.status = ReleaseDrive(config, staleHost, staleVolume, {}, false);
  if (made.status.ok()) made = MountDrive(config, cacheRoot, mountDriver, backendsFor_, openFiles_, cancel.get());
  // Stopped by an unmount, not by the service's stop: what the user asked
  // for, no failure.
  const bool stopped = made.status.code == Status::kCanceled && !stopping_->isCancelled();
  if (stopped) made.status = Status(Status::kCanceled, kMountStopped);
  if (stopped) {
    vx::log::write(vx::log::kInfo, "%s: %s", Name(config), kMountStopped);
  } else if (!made.status.ok()) {
    vx::log::write(vx::log::kWarn, "%s: mount failed: %s", Name(config), made.status.message.c_str());
  }

  lock.lock();
  slot = findSerialLocked(serial);
  slot->mounting = false;
  slot->mountCancel.reset();
  slot->mountResult = made.status;
  slot->lastError = made.status.ok() || stopped ? std::string() : made.status.message;
  // Kept only when the file keeps it, so that memory and file agree; a
  // change of the server meanwhile makes the result another server's.
  if (made.probed && SameServer(slot->config.endpoint, config.endpoint)) {
    const ProbedCaps before = slot->config.probed;
    slot->config.probed = config.probed;
    if (!saveLocked().ok()) slot->config.probed = before;
  }
  if (made.status.ok()) {
    slot->volume = std::move(made.volume);
    slot->host = std::move(made.host);
    // Unmounted while it was being mounted: the worker's next turn takes it
    // away again.
    if (!slot->wanted) slot->releaseAsked = true;
  }
  changed_.notify_all();
}

// ---- requests --------------------------------------------------------------

Status ServiceState::mount(const std::string& id, bool* pending) {
  if (pending != nullptr) *pending = false;
  std::unique_lock<std::mutex> lock(mu_);
  DriveSlot* slot = findLocked(id);
  if (slot == nullptr || slot->removing) return Status(Status::kNotFound, kNoSuchDrive);
  slot->wanted = true;
  // An unmount asked for before and not yet begun is overtaken.
  slot->releaseAsked = false;
  keepMountedAtStartLocked(*slot, true);
  if (isMountedLocked(*slot)) {
    const std::shared_ptr<Volume> volume = slot->volume;
    lock.unlock();
    LookIfUnusable(*volume, mountAnswerMs_);
    return Status();
  }
  const uint64_t serial = slot->serial;
  slot->mountAsked = true;
  wakeWorkerLocked(*slot);
  const auto done = [&] {
    const DriveSlot* s = findSerialLocked(serial);
    return s == nullptr || !s->working || isMountedLocked(*s);
  };
  changed_.wait_for(lock, std::chrono::milliseconds(mountAnswerMs_), done);
  slot = findSerialLocked(serial);
  if (slot == nullptr) return Status(Status::kNotFound, kNoSuchDrive);
  if (isMountedLocked(*slot)) return Status();
  if (!slot->working) return slot->mountResult.ok() ? Status(Status::kIo, kNotMounted) : slot->mountResult;
  // The server is slow: the mount goes on, and the status shows it.
  if (pending != nullptr) *pending = true;
  return Status();
}

Status ServiceState::unmount(const std::string& id, uint32_t* unsent) {
  if (unsent != nullptr) *unsent = 0;
  std::unique_lock<std::mutex> lock(mu_);
  DriveSlot* slot = findLocked(id);
  if (slot == nullptr || slot->removing) return Status(Status::kNotFound, kNoSuchDrive);
  const uint64_t serial = slot->serial;
  const auto asked = std::chrono::steady_clock::now();
  slot->wanted = false;
  slot->mountAsked = false;
  slot->releaseAsked = true;
  slot->releaseFlushUntil = asked + std::chrono::milliseconds(unmountFlushMs_);
  slot->flushed = false;
  slot->unsentLeft = 0;
  slot->released = Status();
  keepMountedAtStartLocked(*slot, false);
  // Asked for its changes if the worker is still held up when the answer
  // is due.
  const std::shared_ptr<Volume> volume = slot->volume;
  // A mount under way (a server that accepts and says nothing) would hold
  // the unmount for its time-outs: it goes no further.
  if (slot->mountCancel) slot->mountCancel->cancel();
  wakeWorkerLocked(*slot);
  changed_.wait_until(lock, asked + std::chrono::milliseconds(unmountFlushMs_ + kUnmountAnswerSlackMs), [&] {
    const DriveSlot* s = findSerialLocked(serial);
    return s == nullptr || !s->working || s->flushed;
  });
  slot = findSerialLocked(serial);
  if (slot == nullptr) return Status();
  if (!slot->working && !slot->released.ok()) return slot->released;
  const bool flushed = slot->flushed;
  const uint32_t left = slot->unsentLeft;
  lock.unlock();
  if (unsent != nullptr) *unsent = flushed ? left : volume ? UnsentOf(*volume) : 0;
  return Status();
}

UnsentChanges ServiceState::unsentLocked(std::unique_lock<std::mutex>& lock, const DriveSlot& slot) {
  const MountConfig config = slot.config;
  const std::shared_ptr<Volume> volume = slot.volume;
  const std::string cacheRoot = cacheRootLocked();
  lock.unlock();
  const UnsentChanges counted = volume ? UnsentInVolume(*volume) : UnsentInCache(config, cacheRoot);
  lock.lock();
  return counted;
}

void ServiceState::keepMountedAtStartLocked(DriveSlot& slot, bool mounted) {
  if (slot.config.autoMount == mounted) return;
  // What the user did last holds after a restart: an unmounted drive stays
  // so, a mounted one comes back.
  slot.config.autoMount = mounted;
  if (!saveLocked().ok()) slot.config.autoMount = !mounted;
}

Status ServiceState::syncNow(const std::string& id) {
  std::shared_ptr<Volume> volume;
  Status why;
  {
    std::lock_guard<std::mutex> lock(mu_);
    volume = mountedVolumeLocked(findLocked(id), why);
  }
  if (!volume) return why;
  volume->rescanDirty();
  return Status();
}

Status ServiceState::setOffline(const std::string& id, bool offline) {
  std::shared_ptr<Volume> volume;
  {
    std::lock_guard<std::mutex> lock(mu_);
    DriveSlot* slot = findLocked(id);
    if (slot == nullptr || slot->removing) return Status(Status::kNotFound, kNoSuchDrive);
    // A setting of the drive: it holds for the next mount and the next
    // start of the service too.
    const bool before = slot->config.cache.offlineMode;
    slot->config.cache.offlineMode = offline;
    Status saved = saveLocked();
    if (!saved.ok()) {
      slot->config.cache.offlineMode = before;
      return saved;
    }
    volume = slot->volume;
    vx::log::write(vx::log::kInfo, "%s: offline mode %s", Name(slot->config), offline ? "on" : "off");
  }
  if (volume) volume->setOffline(offline);
  return Status();
}

Status ServiceState::clearCache(const std::string& id) {
  std::shared_ptr<Volume> volume;
  Status why;
  {
    std::lock_guard<std::mutex> lock(mu_);
    volume = mountedVolumeLocked(findLocked(id), why);
  }
  if (!volume) return why;
  volume->clearCache();
  return Status();
}

Status ServiceState::stopUpload(const std::string& id, const std::string& path) {
  std::shared_ptr<Volume> volume;
  Status why;
  {
    std::lock_guard<std::mutex> lock(mu_);
    volume = mountedVolumeLocked(findLocked(id), why);
  }
  if (!volume) return why;
  return volume->stopUpload(path);
}

Status ServiceState::transfers(Value& list) {
  std::vector<std::pair<MountConfig, std::shared_ptr<Volume>>> drives;
  {
    std::lock_guard<std::mutex> lock(mu_);
    for (const DriveSlot& slot : drives_)
      if (slot.volume) drives.emplace_back(slot.config, slot.volume);
  }
  list = Value::array();
  for (const auto& [config, volume] : drives) {
    for (const TransferInfo& t : volume->transfers()) list.append(TransferJson(config, t));
  }
  return Status();
}

Value ServiceState::drivesStatus() {
  std::vector<DriveView> views;
  {
    std::lock_guard<std::mutex> lock(mu_);
    for (const DriveSlot& slot : drives_) {
      if (slot.removing) continue;
      DriveView& v = views.emplace_back();
      v.config = slot.config;
      v.lastError = slot.lastError;
      // Where the drive is, even after its letter changed in the settings.
      v.mountPoint = slot.host ? slot.host->mountPoint() : MountPointPath(slot.config.drive);
      v.mounted = isMountedLocked(slot);
      v.mounting = slot.mounting;
      v.volume = slot.volume;
    }
  }
  Value mounts = Value::array();
  for (const DriveView& v : views) mounts.append(DriveStatusJson(v));
  return mounts;
}

Status ServiceState::probe(const Value& mount, std::string& summary, Value& report) {
  if (!mount.isObject()) return Status(Status::kInvalid, "mount is missing");
  MountConfig config = MountConfigFromJson(mount);
  {
    std::lock_guard<std::mutex> lock(mu_);
    keepStoredSecretsLocked(config);
  }
  if (const std::string problem = UnopenedSecretProblem(config.endpoint); !problem.empty())
    return Status(Status::kAuthFailed, problem);
  // The probe talks to a server for up to minutes: no lock is held, and a
  // verdict against the settings is part of its report, not a refusal.
  const ProbeReport result = RunProbe(config, nullptr);
  vx::SecureWipe(config.endpoint.password);
  vx::SecureWipe(config.endpoint.privateKey);
  summary = result.toText();
  report = result.toJson();
  return Status();
}

// ---- the service's own calls -----------------------------------------------

void ServiceState::mountWanted() {
  std::unique_lock<std::mutex> lock(mu_);
  std::vector<uint64_t> started;
  for (DriveSlot& slot : drives_) {
    if (!slot.config.autoMount || slot.removing) continue;
    slot.wanted = true;
    slot.mountAsked = true;
    wakeWorkerLocked(slot);
    started.push_back(slot.serial);
  }
  // The drives mount side by side; a server that does not answer holds
  // back the rest of the start-up no longer than one mount's answer.
  changed_.wait_for(lock, std::chrono::milliseconds(mountAnswerMs_), [&] {
    return std::all_of(started.begin(), started.end(), [&](uint64_t serial) {
      const DriveSlot* s = findSerialLocked(serial);
      return s == nullptr || !s->working;
    });
  });
}

void ServiceState::networkChanged() {
  std::vector<std::shared_ptr<Volume>> mounted;
  {
    std::lock_guard<std::mutex> lock(mu_);
    for (DriveSlot& slot : drives_) {
      if (slot.removing) continue;
      if (isMountedLocked(slot)) {
        mounted.push_back(slot.volume);
      } else if (slot.wanted) {
        slot.mountAsked = true;
        wakeWorkerLocked(slot);
      }
    }
  }
  // Connections made over the old addresses may be dead: open them anew and
  // send what waits.
  for (const std::shared_ptr<Volume>& volume : mounted) volume->kick();
}

void ServiceState::unmountAll(uint32_t flushMs) {
  // A probe that a mount still makes would hold the stop for minutes.
  stopping_->cancel();
  std::unique_lock<std::mutex> lock(mu_);
  // Every drive flushes at once, so that the stop takes one drive's flush
  // time however many drives there are.
  for (DriveSlot& slot : drives_) {
    slot.wanted = false;
    slot.mountAsked = false;
    slot.releaseAsked = true;
    slot.releaseFlushUntil = std::chrono::steady_clock::now() + std::chrono::milliseconds(flushMs);
    slot.released = Status();
    wakeWorkerLocked(slot);
  }
  changed_.wait(lock, [&] {
    return std::none_of(drives_.begin(), drives_.end(), [](const DriveSlot& s) { return s.working; });
  });
  for (const DriveSlot& slot : drives_) {
    if (!slot.released.ok())
      vx::log::write(vx::log::kError, "%s: unmount failed: %s", Name(slot.config), slot.released.message.c_str());
  }
}

}  // namespace tarn
