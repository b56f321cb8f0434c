#include "platform/caller_rights.h"

#include <sys/fsuid.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "foundation/log.h"
#include "foundation/text.h"

namespace tarn {

namespace {

// setfsuid and setfsgid ignore an id that maps to no one and return the
// current value: the only way to read it back.
constexpr uid_t kQueryId = static_cast<uid_t>(-1);

uint32_t CurrentFsUid() { return static_cast<uint32_t>(::setfsuid(kQueryId)); }
uint32_t CurrentFsGid() { return static_cast<uint32_t>(::setfsgid(kQueryId)); }

// The groups of the calling thread only (the raw call, not the C library's).
bool ThreadGroups(std::vector<uint32_t>& out) {
  long n = ::syscall(SYS_getgroups, 0, nullptr);
  if (n < 0) return false;
  std::vector<gid_t> groups(static_cast<size_t>(n));
  n = ::syscall(SYS_getgroups, static_cast<int>(groups.size()), groups.data());
  if (n < 0) return false;
  groups.resize(static_cast<size_t>(n));
  out.assign(groups.begin(), groups.end());
  return true;
}

bool SameGroups(std::vector<uint32_t> a, std::vector<uint32_t> b) {
  // The kernel keeps the list sorted; the order given is not kept.
  std::sort(a.begin(), a.end());
  std::sort(b.begin(), b.end());
  return a == b;
}

Status Failed(const char* step, int error) {
  return Status(Status::kAccessDenied, step, error != 0 ? error : EPERM);
}

Status SetFsGid(uint32_t gid) {
  ::setfsgid(static_cast<gid_t>(gid));
  if (CurrentFsGid() != gid) return Failed("cannot switch the file-system group", EPERM);
  return Status();
}

Status SetFsUid(uint32_t uid) {
  ::setfsuid(static_cast<uid_t>(uid));
  if (CurrentFsUid() != uid) return Failed("cannot switch the file-system user", EPERM);
  return Status();
}

Status SetThreadGroups(const std::vector<uint32_t>& groups) {
  std::vector<gid_t> list(groups.begin(), groups.end());
  if (::syscall(SYS_setgroups, list.size(), list.data()) != 0)
    return Failed("cannot set the supplementary groups", errno);
  std::vector<uint32_t> now;
  if (!ThreadGroups(now)) return Failed("cannot read the supplementary groups", errno);
  if (!SameGroups(now, groups)) return Failed("cannot set the supplementary groups", EPERM);
  return Status();
}

}  // namespace

bool CurrentThreadRights(CallerToken& out) {
  out.uid = CurrentFsUid();
  out.gid = CurrentFsGid();
  return ThreadGroups(out.groups);
}

ScopedCallerRights::~ScopedCallerRights() {
  if (!active_) return;
  Status s = leave();
  if (!s.ok()) vx::log::write(vx::log::kError, "caller rights: %s", s.toString().c_str());
}

Status ScopedCallerRights::enter(const CallerToken& caller) {
  if (active_) return Status(Status::kInvalid, "already switched to a caller");
  thread_ = ::gettid();
  savedUid_ = CurrentFsUid();
  savedGid_ = CurrentFsGid();
  if (!ThreadGroups(savedGroups_)) return Failed("cannot read the supplementary groups", errno);

  // The user goes last (and comes back first): a switch that stops half-way
  // never acts as the caller's user with the service's groups, which could
  // reach files the caller cannot.
  Status s = SetFsGid(caller.gid);
  if (s.ok()) s = SetThreadGroups(caller.groups);
  if (s.ok()) s = SetFsUid(caller.uid);
  if (s.ok()) {
    active_ = true;
    return s;
  }
  active_ = true;
  Status undo = leave();
  if (!undo.ok()) {
    // The thread is left in a mix of rights; say so louder than the first
    // failure, which the caller will report.
    vx::log::write(vx::log::kError, "caller rights: cannot undo a failed switch: %s",
                   undo.toString().c_str());
  }
  return s;
}

Status ScopedCallerRights::leave() {
  if (!active_) return Status();
  if (::gettid() != thread_) return Status(Status::kInvalid, "caller rights left on another thread");
  // The reverse order of enter: the user first, then the groups.
  Status s = SetFsUid(savedUid_);
  if (s.ok()) s = SetThreadGroups(savedGroups_);
  if (s.ok()) s = SetFsGid(savedGid_);
  if (s.ok()) active_ = false;
  return s;
}

std::function<Status(bool)> CallerSwitch(CallerToken caller) {
  return [caller = std::move(caller)](bool enter) {
    // Left again at thread exit should an owner forget: the destructor
    // switches back.
    thread_local ScopedCallerRights rights;
    return enter ? rights.enter(caller) : rights.leave();
  };
}

}  // namespace tarn
