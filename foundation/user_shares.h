// How much of one of the service's resources (connections, memory for
// requests and replies, open files on the drives) the machine's users hold
// at once. Each user other than root may hold a share, all of them together
// the whole less a part kept for root, and root the whole: no local user, nor
// all of them together, can lock root out of what it needs.
//
// One instance per resource, owned by whatever hands the resource out; any
// thread may call it, it locks itself.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>

namespace tarn {

struct ShareLimits {
  uint64_t whole = 0;        // everyone's together
  uint64_t rootReserve = 0;  // of the whole, kept for root
  uint64_t perUser = 0;      // one user other than root
};

// Whose share a refused taking would have passed.
enum class ShareRefusal {
  kUserShare,    // the user's own
  kOthersShare,  // everyone's together, the user's included
};

class UserShares {
 public:
  static constexpr uint32_t kRootUid = 0;

  explicit UserShares(ShareLimits limits) : limits_(limits) {}

  // False when `amount` more would pass the user's share or what is left
  // for users other than root; root is refused only at the whole.
  bool take(uint32_t uid, uint64_t amount, ShareRefusal* why = nullptr);
  void give(uint32_t uid, uint64_t amount);

  // True when nothing more fits, not even root's.
  bool full() const;
  uint64_t held() const;
  uint64_t heldBy(uint32_t uid) const;
  // The most held at once, and how many takings were refused.
  uint64_t peak() const;
  uint64_t refusals() const;
  const ShareLimits& limits() const { return limits_; }

 private:
  uint64_t heldByLocked(uint32_t uid) const;

  const ShareLimits limits_;
  mutable std::mutex mu_;
  std::map<uint32_t, uint64_t> users_;  // guarded by mu_; users holding something
  uint64_t all_ = 0;                    // guarded by mu_
  uint64_t peak_ = 0;                   // guarded by mu_
  uint64_t refusals_ = 0;               // guarded by mu_
};

}  // namespace tarn
