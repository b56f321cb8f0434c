// Volume lifecycle: start, stop, the maintenance tick, offline
// mode, the network-change kick, the dirty rescan, cache clearing and the
// last error.
#include "engine/volume.h"

#include <algorithm>
#include <chrono>

#include "engine/clock.h"
#include "engine/data_cache.h"
#include "engine/meta_cache.h"
#include "engine/meta_seen_file.h"
#include "foundation/file_util.h"
#include "foundation/log.h"
#include "foundation/share_link.h"

namespace tarn {
namespace {

constexpr uint64_t kMsPerSecond = 1000;
constexpr const char* kJournalFileName = "journal.json";

uint32_t Threads(int64_t count) { return static_cast<uint32_t>(std::max<int64_t>(count, 1)); }

}  // namespace

std::vector<std::string> VolumeCacheEntries() {
  return {kDataFolderName, kJournalFileName, JournalLogPath(kJournalFileName), kMetaSeenFileName};
}

thread_local Volume::ActiveCall* Volume::currentCall_ = nullptr;

Volume::ActiveCall::ActiveCall(Volume* volume) : volume_(volume), outer_(currentCall_), owner_(this) {
  // Counted before the flags are read: stop sets stopping and then waits for
  // the count, so one of the two always sees the other.
  volume_->activeCalls_.fetch_add(1);
  ok_ = volume_->started_.load() && !volume_->stopping_.load();
  for (ActiveCall* c = outer_; c != nullptr; c = c->outer_)
    if (c->volume_ == volume_) owner_ = c->owner_;
  if (owner_ == this) {
    const uint32_t budgetMs = RetryPolicyFor(volume_->config_.net).budgetMs;
    if (budgetMs != 0) deadlineMs_ = SteadyNowMs() + budgetMs;
  }
  currentCall_ = this;
}

Volume::ActiveCall::~ActiveCall() {
  currentCall_ = outer_;
  if (volume_->activeCalls_.fetch_sub(1) == 1) volume_->activeCalls_.notify_all();
}

void Volume::ActiveCall::keepDeadline(uint64_t deadlineMs) {
  if (owner_->token_ || deadlineMs == 0) return;
  if (owner_->deadlineMs_ == 0 || deadlineMs < owner_->deadlineMs_) owner_->deadlineMs_ = deadlineMs;
}

const CancelToken* Volume::callToken() {
  ActiveCall* call = currentCall_;
  while (call != nullptr && call->volume_ != this) call = call->outer_;
  if (call == nullptr || call->owner_->deadlineMs_ == 0) return cancel_.get();
  ActiveCall& owner = *call->owner_;
  if (!owner.token_) owner.token_ = std::make_shared<CancelToken>(cancel_, owner.deadlineMs_, &SteadyNowMs);
  return owner.token_.get();
}

Status Volume::inTime(Status st) {
  if (st.code == Status::kCanceled && callToken()->timedOut()) return Status(Status::kTimeout, kNoAnswerInTime);
  return st;
}

Volume::~Volume() { stop(0); }

Status Volume::start(std::string* errorText, const CancelToken* within) {
  if (started_.load()) return Status();
  const std::string id = config_.id;
  cacheDir_ = config_.cache.dir.empty() ? vx::JoinPath(cacheRoot_, id) : config_.cache.dir;

  auto cache = std::make_unique<DataCache>(cacheDir_, config_.cache.blockBytes, config_.cache.maxBytes,
                                           config_.cache.keepDirtyForever, env_);
  if (!cache->ensureDir(errorText))
    return Status(Status::kIo, errorText != nullptr ? *errorText : std::string("cache init failed"));
  cache_ = std::move(cache);
  room_ = std::make_unique<CacheRoom>(env_, cache_.get());
  roomShort_ = false;
  cache_->setRoomKeeper([this](uint64_t bytes) { return holdFetched(bytes); });
  meta_ = std::make_unique<MetaCache>(config_.cache.metaTtlMs, config_.cache.dirTtlMs, config_.cache.negativeTtlMs,
                                      offline_.load());
  loadSeen();
  // A journal that cannot be read starts empty; the drive starts anyway.
  journal_ = std::make_unique<Journal>(vx::JoinPath(cacheDir_, kJournalFileName), cache_->env());
  journal_->load();
  journal_->setUploadsDone([this](const std::vector<std::string>& paths) { return uploadsDoneAt(paths); });
  finishMovesOfRenames();
  pool_ = std::make_unique<ConnectionPool>(backendFactory_, config_.net.connections);
  // Each caller would wait an I/O time-out of its own on a silent server.
  pool_->refuseWhileSilent(true);
  const int64_t connections = config_.net.connections;
  prefetchPool_ = std::make_unique<WorkerPool>(Threads(connections - 1), "prefetch");
  uploadPool_ = std::make_unique<WorkerPool>(
      Threads(std::min<int64_t>(config_.transfer.parallelChunks, connections)), "upload");
  reaperPool_ = std::make_unique<WorkerPool>(1, "reaper");
  replayPool_ = std::make_unique<WorkerPool>(1, "replay");

  cancel_ = std::make_shared<CancelToken>();
  probing_ = false;
  lookSoon_ = false;
  silenceLogged_ = false;
  // The connect below is the first look; a failure of an earlier start
  // goes once the new pool finds the server usable.
  lastLookMs_ = SteadyNowMs();
  {
    std::lock_guard<std::mutex> lock(lastErrorMu_);
    lastErrorReturns_ = 0;
  }
  stopping_ = false;
  capsFromServer_ = false;
  rangeIgnored_ = !caps()->rangeRead;

  Status refused;
  if (!offline_.load()) {
    // The caller's token, its deadline and its cancellation, is the first
    // connect's: nothing else stops the volume while it starts.
    const CancelToken* token = within != nullptr ? within : cancel_.get();
    const uint64_t waitMs = std::min<uint64_t>(config_.net.connectTimeoutMs + timings_.connectSlackMs,
                                               MsToDeadline(token, UINT64_MAX));
    ConnectionPool::Lease lease;
    Status st = pool_->acquire(lease, token, static_cast<uint32_t>(waitMs));
    if (st.code == Status::kCanceled && token->timedOut()) {
      // Calls do not wait again for a server that let the budget pass.
      st = Status(Status::kTimeout, kNoAnswerInTime);
      pool_->noteOutcome(st);
    }
    if (st.ok()) {
      noteConnected(*lease.backend());
    } else if (st.code == Status::kInvalid) {
      // Settings the server cannot be reached with (a certificate this side
      // does not trust): a drive of cache alone would hide why nothing
      // works, and no wait mends it.
      refused = st;
    } else {
      setLastError(st, RequestKind::kConnect);
      vx::log::write(vx::log::kWarn, "%s: initial connect failed: %s (serving from cache)", id.c_str(),
                     st.toString().c_str());
    }
  }
  if (!refused.ok()) {
    vx::log::write(vx::log::kError, "%s: cannot start: %s", id.c_str(), refused.toString().c_str());
    started_ = true;
    stop(0);
    return refused;
  }

  for (const std::string& path : cache_->dirtyFiles()) {
    vx::log::WriteLimited(fileLog_, "resuming", SteadyNowMs(), vx::log::kInfo, "%s: resuming upload of %s", id.c_str(),
                          path.c_str());
    queueUpload(path, 0, nullptr);
  }

  started_ = true;
  tickThread_ = std::thread([this] { tickLoop(); });
  return Status();
}

void Volume::noteConnected(IBackend& backend) {
  // Calls are also handed a back-end whose reconnect failed.
  if (backend.isConnected()) requestSucceeded(RequestKind::kConnect);
  if (capsFromServer_.load()) return;
  auto caps = std::make_shared<BackendCaps>(backend.caps());
  config_.probed.applyTo(*caps);
  if (capsFromServer_.exchange(true)) return;
  rangeIgnored_ = !caps->rangeRead;
  vx::log::write(vx::log::kInfo, "%s: connected to %s (server=%s, random_write=%d, resume=%d, case_sensitive=%d)",
                 config_.id.c_str(), DisplayUrl(config_).c_str(), caps->server.c_str(), caps->randomWrite ? 1 : 0,
                 caps->resumableUpload ? 1 : 0, caps->caseSensitive ? 1 : 0);
  caps_.store(std::move(caps));
}

void Volume::stop(uint32_t waitMs) {
  if (!started_.load()) return;
  reaperPool_->waitIdle();
  if (waitMs != 0) {
    rescanDirty();
    waitUploadsIdle(waitMs);
  }

  stopping_ = true;
  cancel_->cancel();
  {
    std::lock_guard<std::mutex> lock(tickMu_);
    wake_ = true;
  }
  tickCv_.notify_all();
  {
    std::lock_guard<std::mutex> lock(uploadMu_);
  }
  uploadCv_.notify_all();
  if (tickThread_.joinable()) tickThread_.join();

  waitForCallers();
  saveSeen();
  // Its server calls end with the cancelled token.
  replayPool_->stop();
  prefetchPool_->stop();
  uploadPool_->stop();
  // A stream holds a lease of the pool for its whole life; the pool waits
  // for every lease, so the streams go first.
  dropAllStreams();
  pool_->disconnectIdle();
  pool_.reset();

  prefetchPool_.reset();
  uploadPool_.reset();
  reaperPool_.reset();
  replayPool_.reset();
  replayPosted_ = false;
  meta_.reset();
  room_.reset();
  cache_.reset();
  journal_.reset();
  started_ = false;
}

void Volume::loadSeen() {
  const std::string file = vx::JoinPath(cacheDir_, kMetaSeenFileName);
  MetaSeen seen;
  Status st = ReadMetaSeen(*env_, file, seen);
  if (st.ok()) {
    meta_->restore(std::move(seen));
  } else if (st.code != Status::kNotFound) {
    vx::log::write(vx::log::kWarn, "%s: ignoring %s: %s", config_.id.c_str(), file.c_str(), st.toString().c_str());
  }
}

void Volume::saveSeen() {
  const std::string file = vx::JoinPath(cacheDir_, kMetaSeenFileName);
  Status st = WriteMetaSeen(*env_, file, meta_->seen());
  if (!st.ok())
    vx::log::write(vx::log::kWarn, "%s: cannot write %s: %s", config_.id.c_str(), file.c_str(), st.toString().c_str());
}

void Volume::waitForCallers() {
  for (int n = activeCalls_.load(); n != 0; n = activeCalls_.load()) activeCalls_.wait(n);
}

void Volume::tickLoop() {
  while (!stopping_.load()) {
    const uint64_t waitMs = tick();
    std::unique_lock<std::mutex> lock(tickMu_);
    tickCv_.wait_for(lock, std::chrono::milliseconds(waitMs), [&] { return wake_ || stopping_.load(); });
    wake_ = false;
  }
}

uint64_t Volume::tick() {
  const uint64_t now = SteadyNowMs();
  const uint64_t keepaliveMs = static_cast<uint64_t>(config_.net.keepaliveSec) * kMsPerSecond;
  // Pings of a silent server would hold this thread for an I/O time-out
  // each; the probe asks it instead.
  if (keepaliveMs != 0 && now - lastKeepaliveMs_ > keepaliveMs && !pool_->silent()) {
    lastKeepaliveMs_ = now;
    if (!offline_.load()) pool_->keepalive();
  }
  lookWhenDue(now);
  if (now - lastMaintenanceMs_ > timings_.maintenanceMs) {
    lastMaintenanceMs_ = now;
    saveSeen();
    cache_->evictToLimit();
    // Closes still pending may save maps that turn files dirty.
    reaperPool_->waitIdle();
    const std::vector<std::string> dirty = cache_->dirtyFiles();
    const int64_t due = static_cast<int64_t>(now + config_.cache.writebackDelayMs);
    std::lock_guard<std::mutex> lock(uploadMu_);
    for (const std::string& path : dirty) {
      auto [it, added] = uploadQueue_.try_emplace(path);
      if (added) it->second.due = due;
    }
  }
  closeIdleStreams(now, timings_.streamIdleMs);
  followCacheRoom();
  startReplay();
  return std::min<uint64_t>(timings_.tickMs, uploadTick());
}

void Volume::lookWhenDue(uint64_t now) {
  const bool silent = !offline_.load() && pool_->silent();
  if (silent != silenceLogged_) {
    silenceLogged_ = silent;
    if (silent)
      vx::log::write(vx::log::kWarn,
                     "%s: the server is not answering; cached files and folders are served, the rest fails at once "
                     "until it answers again",
                     config_.id.c_str());
    else
      vx::log::write(vx::log::kInfo, "%s: the server answers again", config_.id.c_str());
  }
  if (offline_.load()) return;
  bool due = silent || lookSoon_.load();
  // With a connection up, the keepalive's pings and the calls tell.
  if (!due && !pool_->anyConnected()) {
    const uint64_t keepaliveMs = static_cast<uint64_t>(config_.net.keepaliveSec) * kMsPerSecond;
    const uint64_t interval = !pool_->usable() ? timings_.lookAgainMs
                              : keepaliveMs != 0 ? keepaliveMs
                                                 : timings_.idleLookMs;
    due = now - lastLookMs_ >= interval;
  }
  if (!due || probing_.exchange(true)) return;
  lookSoon_ = false;
  lastLookMs_ = now;
  const bool posted = prefetchPool_->post([this] {
    (void)lookAtServer(0);
    probing_ = false;
  });
  if (!posted) probing_ = false;
}

Status Volume::lookAtServer(uint32_t withinMs) {
  ActiveCall call(this);
  if (!call.ok()) return Status(Status::kCanceled, "");
  if (offline_.load()) return Status();
  std::shared_ptr<CancelToken> token = cancel_;
  if (withinMs != 0) token = std::make_shared<CancelToken>(cancel_, SteadyNowMs() + withinMs, &SteadyNowMs);
  RetryPolicy once = RetryPolicyFor(config_.net);
  once.maxAttempts = 1;
  // The pool counts the answer itself.
  const Status st = pool_->probe(once, token.get());
  if (st.ok()) {
    requestSucceeded(RequestKind::kConnect);
  } else if (st.code != Status::kCanceled && !sameUnusableState(st)) {
    setLastError(st, RequestKind::kConnect);
  }
  return st;
}

void Volume::freeIdleConnection() {
  if (!pool_->anyFree()) closeIdleStreams(SteadyNowMs(), 0);
}

void Volume::closeIdleStreams(uint64_t now, uint64_t idleMs) {
  std::vector<std::shared_ptr<SeqStream>> idle;
  {
    std::lock_guard<std::mutex> lock(streamsMu_);
    for (auto it = streams_.begin(); it != streams_.end();) {
      SeqStream& s = *it->second;
      const uint64_t last = s.lastUseMs.load();
      // A stream in use is left alone; its reader refreshes the stamp.
      if (now >= last && now - last >= idleMs && s.mu.try_lock()) {
        s.mu.unlock();
        idle.push_back(std::move(it->second));
        it = streams_.erase(it);
      } else {
        ++it;
      }
    }
  }
  // Closing a stream may talk to the server: outside the streams mutex.
  idle.clear();
}

void Volume::dropAllStreams() {
  std::map<std::string, std::shared_ptr<SeqStream>> all;
  {
    std::lock_guard<std::mutex> lock(streamsMu_);
    all.swap(streams_);
  }
}

void Volume::setOffline(bool offline) {
  const bool was = offline_.exchange(offline);
  ActiveCall call(this);
  if (!call.ok()) return;
  meta_->setConfig(config_.cache.metaTtlMs, config_.cache.dirTtlMs, config_.cache.negativeTtlMs, offline);
  // Offline, what the drive saw is all it knows: a restart must find it,
  // however the process ends.
  if (!was && offline) saveSeen();
  if (was && !offline) {
    meta_->clear();
    // What the server says now, not what it said before the drive went offline.
    lookSoon_ = true;
    rescanDirty();
  }
}

void Volume::kick() {
  ActiveCall call(this);
  if (!call.ok()) return;
  pool_->disconnectIdle();
  lookSoon_ = true;
  rescanDirty();
}

void Volume::rescanDirty() {
  ActiveCall call(this);
  if (!call.ok()) return;
  reaperPool_->waitIdle();
  const std::vector<std::string> dirty = cache_->dirtyFiles();
  {
    std::lock_guard<std::mutex> lock(uploadMu_);
    for (const std::string& path : dirty) uploadQueue_.try_emplace(path);
    const int64_t now = static_cast<int64_t>(SteadyNowMs());
    for (auto& [path, entry] : uploadQueue_)
      if (!entry.running) entry.due = now;
  }
  wakeUploader();
}

void Volume::clearCache() {
  ActiveCall call(this);
  if (!call.ok()) return;
  cache_->evictTo(0);
  meta_->clear();
}

void Volume::setLastError(const Status& status, RequestKind kind) {
  std::string text = status.toString();
  const uint64_t now = SteadyNowMs();
  const uint64_t returns = pool_ ? pool_->returns() : 0;
  std::lock_guard<std::mutex> lock(lastErrorMu_);
  // The same failure again: the time says since when it lasts.
  if (lastErrorMs_ == 0 || text != lastError_) lastErrorMs_ = now;
  lastError_ = std::move(text);
  lastErrorKind_ = kind;
  lastErrorCode_ = status.code;
  lastErrorUnusable_ = kind == RequestKind::kConnect || status.retryable();
  lastErrorReturns_ = returns;
}

bool Volume::sameUnusableState(const Status& st) {
  const uint64_t returns = pool_->returns();
  std::lock_guard<std::mutex> lock(lastErrorMu_);
  return lastErrorMs_ != 0 && lastErrorUnusable_ && lastErrorReturns_ == returns && lastErrorCode_ == st.code;
}

void Volume::recordError(RequestKind kind, const Status& st) {
  const char* prefix = kind == RequestKind::kStat     ? "stat: "
                       : kind == RequestKind::kList   ? "list: "
                       : kind == RequestKind::kCreate ? "create: "
                       : kind == RequestKind::kUnlink ? "unlink: "
                       : kind == RequestKind::kRename ? "rename: "
                       : kind == RequestKind::kRead   ? "read: "
                                                      : "";
  setLastError(Status(st.code, std::string(prefix) + st.message, st.native), kind);
}

void Volume::requestSucceeded(RequestKind kind) {
  std::lock_guard<std::mutex> lock(lastErrorMu_);
  if (lastErrorMs_ == 0 || lastErrorKind_ != kind) return;
  lastError_.clear();
  lastErrorMs_ = 0;
}

void Volume::queueUpload(const std::string& path, uint32_t delayMs, std::shared_ptr<CacheFile> cache) {
  {
    std::lock_guard<std::mutex> lock(uploadMu_);
    UploadEntry& entry = uploadQueue_[path];
    if (!entry.running) entry.due = static_cast<int64_t>(SteadyNowMs() + delayMs);
    if (cache) entry.cache = std::move(cache);
  }
  wakeUploader();
}

void Volume::wakeUploader() {
  {
    std::lock_guard<std::mutex> lock(tickMu_);
    wake_ = true;
  }
  tickCv_.notify_all();
}

}  // namespace tarn
