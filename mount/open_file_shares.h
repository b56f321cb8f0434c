// What the users of the machine may hold open on the drives of one process.
// An open file of a drive holds a descriptor of the process (its data file
// in the block cache); a process out of descriptors fails every open of
// every user, and its control socket with them. So open files are counted
// per user (the uid of the process that opens): each user other than root
// may hold a share, all of them together twice that, and root the rest of
// what is given to open files; the remaining quarter of the descriptors is
// kept for the process's own (sockets, server connections, journals, the
// log). A user past a bound gets EMFILE (their own share) or ENFILE (the
// room of all users) for their opens only, and the log names them, once a
// minute at most.
//
// One instance per process, shared by the mount hosts of its drives, which
// must outlive the tickets it hands out; any thread may call it.
#pragma once

#include <cstdint>

#include "foundation/log_limiter.h"
#include "foundation/user_shares.h"

namespace tarn {

// The shares for a process that may hold `descriptors` open at once.
ShareLimits OpenFileSharesFor(uint64_t descriptors);

class OpenFileShares {
 public:
  // One open file of one user, given back when the ticket goes.
  class Ticket {
   public:
    Ticket() = default;
    ~Ticket();
    Ticket(Ticket&& other) noexcept;
    Ticket& operator=(Ticket&& other) noexcept;
    Ticket(const Ticket&) = delete;
    Ticket& operator=(const Ticket&) = delete;

   private:
    friend class OpenFileShares;
    void giveBack();
    OpenFileShares* shares_ = nullptr;
    uint32_t uid_ = 0;
  };

  explicit OpenFileShares(ShareLimits limits) : shares_(limits) {}

  // 0 with `ticket` holding the open file, or EMFILE / ENFILE.
  int take(uint32_t uid, Ticket& ticket);
  uint64_t heldBy(uint32_t uid) const { return shares_.heldBy(uid); }
  const ShareLimits& limits() const { return shares_.limits(); }

 private:
  static constexpr uint64_t kRefusalLogWindowMs = 60000;

  UserShares shares_;
  vx::log::LineLimiter refusalLog_{1, kRefusalLogWindowMs};  // locks itself
};

}  // namespace tarn
