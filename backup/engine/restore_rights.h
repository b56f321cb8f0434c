// The switch of a restore's threads to the rights of the user who asked for
// it, shared by the task thread and the workers that fill files. Each thread
// switches itself: enter before it touches the destination, leave before it
// reads the repository again. A refused switch refuses the operation; a
// failed switch back leaves a thread with rights nobody knows, so from then
// on the whole run stops touching the destination and ends with that failure.
// A request from inside the process without a switch never switches.
//
// Any thread may call every member; broken_ is guarded by mu_.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string_view>

#include "foundation/status.h"

namespace tarn::backup {

// The problem text of an item that could not be touched because the switch
// was refused.
inline constexpr std::string_view kCannotSwitch = "cannot take over the caller's rights";

class RestoreRights {
 public:
  // Borrows the switch; an empty one means no switching at all.
  explicit RestoreRights(const std::function<Status(bool)>& asCaller) : asCaller_(asCaller) {}

  // Takes on the caller's rights on the calling thread: code 3 with
  // kCannotSwitch and the switch's errno when refused; the broken status
  // once the run is broken.
  Status enter();
  // Back to the service's rights; a failure breaks the run.
  void leave();
  // Not ok once a thread failed to switch back.
  Status broken() const;

  // `op` with the caller's rights; not run when the switch is refused.
  template <typename Op>
  Status run(Op op) {
    Status entered = enter();
    if (!entered.ok()) return entered;
    Status result = op();
    leave();
    return result;
  }

 private:
  const std::function<Status(bool)>& asCaller_;
  std::atomic<bool> isBroken_{false};
  mutable std::mutex mu_;
  Status broken_;  // guarded by mu_
};

}  // namespace tarn::backup
