// The rights of the user who asked for an operation, taken on by one thread
// for the file operations it makes on that user's behalf (a restore writes
// into places the user chose, with the user's rights, so that nobody can
// restore into a folder they could not write themselves).
//
// A CallerToken is the record the control socket gives of its peer. A
// ScopedCallerRights switches the thread that owns it: its file-system user,
// its file-system group and its supplementary groups, each set through a call
// that acts on the calling thread alone (the raw setgroups system call, since
// the C library's setgroups changes every thread of the process) and each
// read back, because setfsuid and setfsgid report no errors. Other threads
// keep the service's rights throughout. Switching needs CAP_SETUID and
// CAP_SETGID.
//
// Used by one thread: the one that switched is the one that switches back.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "foundation/status.h"

namespace tarn {

struct CallerToken {
  uint32_t uid = 0;
  uint32_t gid = 0;
  std::vector<uint32_t> groups;  // supplementary groups, in the kernel's order

  friend bool operator==(const CallerToken&, const CallerToken&) = default;
};

// The file-system rights the calling thread acts with now, so that work it
// hands to other threads can run with the same rights. False when the groups
// cannot be read.
bool CurrentThreadRights(CallerToken& out);

class ScopedCallerRights {
 public:
  ScopedCallerRights() = default;
  // Switches back when still switched; a failure there is logged.
  ~ScopedCallerRights();
  ScopedCallerRights(const ScopedCallerRights&) = delete;
  ScopedCallerRights& operator=(const ScopedCallerRights&) = delete;

  // Takes on the caller's rights. On failure every step already made is
  // undone, the thread keeps the rights it had, and the status (code
  // kAccessDenied, errno in `native`) says which step failed: the caller
  // must then refuse the operation, never run it with its own rights.
  Status enter(const CallerToken& caller);
  // Back to the rights the thread had before enter; nothing when not
  // switched.
  Status leave();
  bool active() const { return active_; }

 private:
  bool active_ = false;
  pid_t thread_ = 0;  // the thread that switched
  uint32_t savedUid_ = 0;
  uint32_t savedGid_ = 0;
  std::vector<uint32_t> savedGroups_;
};

// A switch to hand to work done on the caller's behalf: true takes on the
// caller's rights on the calling thread, false goes back to the thread's own;
// a failure of either says so and leaves the thread as it was. Each thread
// keeps its own switch state, so the same function may be called on any
// number of threads.
std::function<Status(bool)> CallerSwitch(CallerToken caller);

}  // namespace tarn
