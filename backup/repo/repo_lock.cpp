// The repository lock: lock objects under "/locks/", each the sealed JSON
// record of one holder (shared or exclusive, what for, computer, process,
// when taken, when last written; and the computer's boot and the process's
// start, which older records lack), named by the hash of its bytes like
// every other object. Taking a lock reads the others, writes its own and
// reads the others again, so that of two clients that write at the same
// moment neither goes on believing it is alone. A held lock is written anew
// (a new object, then the old one removed) every kLockRefreshSec; finding
// its old object gone tells the holder that another client removed it as
// stale.
//
// A lock of this computer whose holder is gone is stale at once: its
// process is gone, or it was written before the computer's last boot, or
// the process of its number is another one (it started at another time);
// and a lock of this very process that no repository of it holds is what a
// task could not remove (a server that stopped answering), left behind.
#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <string_view>
#include <unordered_set>

#include "backup/repo/repo.h"
#include "foundation/codec.h"
#include "foundation/env.h"
#include "foundation/json.h"
#include "foundation/log.h"
#include "foundation/text.h"

namespace tarn::backup {
namespace {

constexpr const char* kLocksFolder = "/locks";
constexpr size_t kShortName = 8;

std::string LockPath(const std::string& name) { return std::string(kLocksFolder) + "/" + name; }

std::string When(int64_t unixSeconds) { return vx::WideToUtf8(vx::FormatLocalTime(unixSeconds)); }

// /proc/PID/stat holds the process's name in parentheses (which may hold
// anything) and then its fields: first its state, and its start time the
// 20th after the name.
constexpr int kStartField = 20;
constexpr size_t kStatBytes = 1024;
// States of a process that has ended: killed or exited and not yet reaped
// by its parent (a zombie), or on its way out. Such a process holds nothing.
constexpr std::string_view kEndedStates = "ZXx";

// The text of /proc/PID/stat from the name's closing parenthesis on; empty
// when it cannot be read.
std::string StatAfterName(int64_t pid) {
  std::unique_ptr<EnvFile> file;
  if (pid <= 0 || pid > INT_MAX ||
      !Env::Default()->open("/proc/" + std::to_string(pid) + "/stat", Env::OpenMode::kRead, &file).ok())
    return {};
  std::string text(kStatBytes, '\0');
  size_t got = 0;
  if (!file->read(0, text.data(), text.size(), &got).ok()) return {};
  text.resize(got);
  const size_t name = text.rfind(')');
  return name == std::string::npos ? std::string() : text.substr(name);
}

// A process of this computer is gone when signalling it finds no such
// process, or when it has ended and only waits to be reaped; one that
// belongs to another user still counts.
bool ProcessIsGone(int64_t pid) {
  if (pid <= 0 || pid > INT_MAX) return false;
  if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) return true;
  const std::string fields = StatAfterName(pid);
  const size_t state = fields.find_first_not_of(' ', 1);
  return state != std::string::npos && kEndedStates.find(fields[state]) != std::string_view::npos;
}

}  // namespace

int64_t ProcessStartTicks(int64_t pid) {
  const std::string fields = StatAfterName(pid);
  size_t at = fields.empty() ? std::string::npos : 0;
  for (int field = 0; field < kStartField && at != std::string::npos; ++field) at = fields.find(' ', at + 1);
  if (at == std::string::npos) return 0;
  return std::strtoll(fields.c_str() + at + 1, nullptr, 10);
}

namespace {

int64_t OwnStartTicks() {
  static const int64_t ticks = ProcessStartTicks(::getpid());
  return ticks;
}

// The names of the lock objects that repositories of this process hold (or
// have written and not yet removed): a lock of this process that is not
// among them has no holder any more.
class HeldLocks {
 public:
  static HeldLocks& Get() {
    static HeldLocks* held = new HeldLocks;  // never destroyed: repositories may outlive static destruction
    return *held;
  }
  void add(const std::string& name) {
    std::lock_guard<std::mutex> lock(mu_);
    names_.insert(name);
  }
  void remove(const std::string& name) {
    std::lock_guard<std::mutex> lock(mu_);
    names_.erase(name);
  }
  bool has(const std::string& name) {
    std::lock_guard<std::mutex> lock(mu_);
    return names_.count(name) != 0;
  }

 private:
  std::mutex mu_;
  std::unordered_set<std::string> names_;  // guarded by mu_
};

}  // namespace

struct Repo::LockRecord {
  std::string name;
  bool readable = false;  // the object opened; else only its time on storage is known
  bool exclusive = false;
  std::string purpose;
  std::string host;
  int64_t pid = 0;
  int64_t since = 0;
  int64_t written = 0;
  std::string boot;     // empty in records of older versions
  int64_t started = 0;  // the holder process's start in ticks after the boot; 0: not recorded

  // Whether a readable lock of this computer has lost its holder.
  bool holderGone(const std::string& ownBoot) const {
    if (!boot.empty() && !ownBoot.empty() && boot != ownBoot) return true;
    if (pid == ::getpid()) return !HeldLocks::Get().has(name);
    if (ProcessIsGone(pid)) return true;
    const int64_t now = started != 0 ? ProcessStartTicks(pid) : 0;
    return now != 0 && now != started;
  }

  std::string holder() const {
    if (!readable)
      return "a lock object that cannot be read (locks/" + name.substr(0, kShortName) + ", written " + When(written) +
             ")";
    return purpose + " on " + host + " (process " + std::to_string(pid) + ") since " + When(since);
  }
};

std::string LocalHostName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

int64_t Repo::clockNow() const { return options.clock ? options.clock() : vx::UnixNow(); }

Status Repo::readLocksLocked(const std::vector<std::string>& ours, std::vector<LockRecord>& out) {
  out.clear();
  std::vector<DirEntry> entries;
  Status st = listDir(kLocksFolder, entries);
  if (!st.ok()) return st;
  const int64_t now = clockNow();
  const std::string host = LocalHostName();
  const std::string boot = Env::Default()->bootId();
  for (const DirEntry& entry : entries) {
    BlobId id;
    if (entry.attr.isDir() || !ParseBlobId(entry.name, id)) continue;
    if (std::find(ours.begin(), ours.end(), entry.name) != ours.end()) continue;
    LockRecord r;
    r.name = entry.name;
    r.written = entry.attr.mtime.seconds;
    std::vector<uint8_t> sealed, plain;
    st = getObject(LockPath(entry.name), sealed);
    if (st.code == Status::kNotFound) continue;  // released meanwhile
    if (!st.ok()) return st;
    vx::json::Value json;
    if (cipher.open(sealed.data(), sealed.size(), kLabelLock, plain) &&
        vx::json::Parse(std::string_view(reinterpret_cast<const char*>(plain.data()), plain.size()), json) &&
        json.isObject()) {
      r.readable = true;
      r.exclusive = json["exclusive"].asBool(false);
      r.purpose = json["purpose"].asString();
      r.host = json["host"].asString();
      r.pid = json["pid"].asInt64(0);
      r.since = json["time"].asInt64(0);
      r.written = json["refreshed"].asInt64(0);
      r.boot = json["boot"].asString();
      r.started = json["started"].asInt64(0);
    }
    const bool stale = now - r.written >= kLockStaleSec || (r.readable && r.host == host && r.holderGone(boot));
    if (!stale) {
      out.push_back(std::move(r));
      continue;
    }
    vx::log::write(vx::log::kWarn, "backup: removing the stale lock of %s, last written %s", r.holder().c_str(),
                   When(r.written).c_str());
    st = removeObject(LockPath(entry.name));
    if (!st.ok() && st.code != Status::kNotFound) return st;
  }
  return Status();
}

Status Repo::writeLockLocked(bool exclusive, const std::string& purpose, int64_t since, std::string& name) {
  vx::json::Value v = vx::json::Value::object();
  v.set("exclusive", exclusive);
  v.set("purpose", purpose);
  v.set("host", LocalHostName());
  v.set("pid", static_cast<int64_t>(::getpid()));
  v.set("time", since);
  v.set("refreshed", clockNow());
  v.set("boot", Env::Default()->bootId());
  v.set("started", OwnStartTicks());
  const std::string text = v.dump();
  std::vector<uint8_t> sealed;
  if (!cipher.seal(reinterpret_cast<const uint8_t*>(text.data()), text.size(), kLabelLock, sealed))
    return Status(Status::kIo, "encryption failed");
  name = vx::HexEncode(ObjectHash(sealed.data(), sealed.size()));
  // Held before it can be seen, so that no other repository of this process
  // takes it for one left behind.
  HeldLocks::Get().add(name);
  return putObject(LockPath(name), sealed);
}

void Repo::removeLockLocked(const std::string& name) {
  // Also after a cancellation, and briefly: a lock left behind keeps other
  // clients from reclaiming space until it is stale.
  RetryPolicy brief = options.refusedRetry;
  brief.maxAttempts = std::min(brief.maxAttempts, options.retry.maxAttempts);
  Status st = pool.run(brief, nullptr, "backup unlock", [&](IBackend& b) { return b.remove(LockPath(name), false); });
  // Left behind or not, nobody holds it now: the next task of this process
  // removes what is left.
  HeldLocks::Get().remove(name);
  if (!st.ok() && st.code != Status::kNotFound)
    vx::log::write(vx::log::kWarn, "backup: cannot remove the lock %s: %s", name.substr(0, kShortName).c_str(),
                   st.toString().c_str());
}

Status Repo::lock(LockMode mode, const std::string& purpose) {
  if (mode == LockMode::kNone) {
    unlock();
    return Status();
  }
  std::lock_guard<std::mutex> guard(lockMutex);
  if (!lockLost.ok()) return lockLost;
  if (heldMode == mode || heldMode == LockMode::kExclusive) return Status();
  const bool exclusive = mode == LockMode::kExclusive;
  std::vector<std::string> ours;
  if (!heldName.empty()) ours.push_back(heldName);
  auto firstConflict = [&](const std::vector<LockRecord>& others) -> Status {
    for (const LockRecord& r : others)
      if (exclusive || r.exclusive || !r.readable)
        return Status(Status::kBusy, "the repository is locked by " + r.holder());
    return Status();
  };

  std::vector<LockRecord> others;
  Status st = readLocksLocked(ours, others);
  if (st.ok()) st = firstConflict(others);
  if (!st.ok()) return st;
  const int64_t since = clockNow();
  std::string name;
  st = writeLockLocked(exclusive, purpose, since, name);
  if (!st.ok()) {
    // The upload may have arrived all the same.
    if (!name.empty()) removeLockLocked(name);
    return st;
  }
  // Another client may have written its lock while this one was written.
  ours.push_back(name);
  st = readLocksLocked(ours, others);
  if (st.ok()) st = firstConflict(others);
  if (!st.ok()) {
    removeLockLocked(name);
    return st;
  }
  if (!heldName.empty()) removeLockLocked(heldName);
  heldMode = mode;
  heldName = name;
  heldPurpose = purpose;
  heldSince = since;
  if (!lockThread.joinable()) {
    lockStopping = false;
    lockThread = std::thread([this] { lockRefresher(); });
  }
  return Status();
}

Status Repo::refreshLocked() {
  if (heldMode == LockMode::kNone) return lockLost;
  RemoteAttr attr;
  Status st = pool.run(options.retry, nullptr, "backup lock", [&](IBackend& b) { return b.stat(LockPath(heldName), attr); });
  bool lost = st.code == Status::kNotFound;
  if (!st.ok() && !lost) return st;
  std::string name;
  if (!lost) {
    st = writeLockLocked(heldMode == LockMode::kExclusive, heldPurpose, heldSince, name);
    if (!st.ok()) {
      if (!name.empty()) strayLocks.push_back(name);
      return st;
    }
    st = pool.run(options.retry, nullptr, "backup lock", [&](IBackend& b) { return b.remove(LockPath(heldName), false); });
    lost = st.code == Status::kNotFound;
    if (!st.ok() && !lost)
      strayLocks.push_back(heldName);
    else
      HeldLocks::Get().remove(heldName);
  }
  if (lost) {
    HeldLocks::Get().remove(heldName);
    if (!name.empty()) removeLockLocked(name);
    lockLost = Status(Status::kConflict, "the repository lock of this " + heldPurpose +
                                             " was removed by another client that took it for stale");
    vx::log::write(vx::log::kError, "backup: %s", lockLost.message.c_str());
    heldMode = LockMode::kNone;
    heldName.clear();
    // Nothing more may be stored on the strength of a lock that is gone.
    recordFailure(lockLost);
    return lockLost;
  }
  heldName = name;
  return Status();
}

Status Repo::refreshLock() {
  std::lock_guard<std::mutex> guard(lockMutex);
  return refreshLocked();
}

void Repo::lockRefresher() {
  std::unique_lock<std::mutex> guard(lockMutex);
  while (!lockStopping && heldMode != LockMode::kNone) {
    if (lockWake.wait_for(guard, std::chrono::seconds(kLockRefreshSec), [&] { return lockStopping; })) break;
    Status st = refreshLocked();
    if (!st.ok() && heldMode != LockMode::kNone)
      vx::log::write(vx::log::kWarn, "backup: the lock could not be written anew: %s", st.toString().c_str());
  }
}

void Repo::unlock() {
  std::thread refresher;
  {
    std::lock_guard<std::mutex> guard(lockMutex);
    lockStopping = true;
    refresher = std::move(lockThread);
  }
  lockWake.notify_all();
  if (refresher.joinable()) refresher.join();
  std::lock_guard<std::mutex> guard(lockMutex);
  if (!heldName.empty()) removeLockLocked(heldName);
  for (const std::string& stray : strayLocks) removeLockLocked(stray);
  strayLocks.clear();
  heldMode = LockMode::kNone;
  heldName.clear();
  lockStopping = false;
  // Whatever is read next was not read under a lock that is held.
  indexReadUnder = LockMode::kNone;
}

LockMode Repo::lockMode() {
  std::lock_guard<std::mutex> guard(lockMutex);
  return heldMode;
}

Status Repo::lockStatus() {
  std::lock_guard<std::mutex> guard(lockMutex);
  return lockLost;
}

}  // namespace tarn::backup
