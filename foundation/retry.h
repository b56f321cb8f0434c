// Retrying of remote operations: the policy record, the back-off state of one
// loop, the cancellable sleep and the retry loop itself. RetryPolicy is a
// plain value; a Backoff belongs to the one loop that drives it. Every
// function may be called from any thread; jitter uses a per-thread generator.
#pragma once

#include <cstdint>
#include <functional>

#include "foundation/cancel_token.h"
#include "foundation/status.h"

namespace tarn {

// Waits are cut into slices so that a cancelled token ends them promptly.
inline constexpr uint32_t kSleepSliceMs = 100;

struct RetryPolicy {
  int32_t maxAttempts = 5;
  uint32_t baseDelayMs = 500;
  uint32_t maxDelayMs = 30000;
  double factor = 2.0;
  double jitter = 0.25;
  bool forever = false;
  // The whole loop's time, attempts and waits together; 0: the attempts
  // alone bound it. No attempt starts that, taking as long as the last one
  // took, would end past it: after a time-out of a silent server the loop
  // stops rather than wait as long again.
  uint32_t budgetMs = 0;
  // Connection pools: a connect that cannot reach the server (a refused
  // port, a host gone) ends the loop at once; for a caller that has an
  // answer of its own to give then.
  bool endWhenUnreachable = false;
  // The loop's clock in milliseconds; null: the steady clock.
  uint64_t (*clockMs)() = nullptr;

  // The jittered delay before retry number `attempt` (1 for the first), in
  // whole milliseconds; saturates at the cap for any attempt number.
  int64_t delayFor(int32_t attempt) const;
};

// The policy with its budget cut to what the token's deadline leaves (at
// least 1 ms: a budget of 0 would mean none); unchanged for a token
// without a deadline.
RetryPolicy WithinDeadline(RetryPolicy policy, const CancelToken* token);

// Sleeps `ms` in slices of at most kSleepSliceMs; returns early when the
// token (may be null) counts as cancelled before a slice.
void SleepCancellable(uint32_t ms, const CancelToken* token);

class Backoff {
 public:
  // The policy's budget runs from here.
  explicit Backoff(const RetryPolicy& policy);

  // Marks the start of an attempt: its length tells whether another fits.
  void attemptBegins() { attemptStart_ = now(); }
  // False when the budget leaves no room for the next wait and an attempt
  // as long as the last one; always true without a budget.
  bool fitsAnother() const;
  // `capMs`, or what is left of the budget when that is less: the longest a
  // wait inside an attempt (for a free connection, say) may take.
  uint32_t budgetLeftMs(uint32_t capMs) const;

  // Counts one failed attempt and waits before the next. True when the
  // caller should try again; false when attempts are used up or the token
  // was cancelled before or during the wait.
  bool sleepNext(const CancelToken* token);

  int32_t attempts() const { return attempts_; }
  const RetryPolicy& policy() const { return policy_; }

 private:
  uint64_t now() const;

  RetryPolicy policy_;
  int32_t attempts_ = 0;
  uint64_t start_ = 0;
  uint64_t attemptStart_ = 0;
};

using RetryOperation = std::function<Status()>;

// Runs `op` until it succeeds, fails with a code other than network or
// timeout, runs out of attempts or is cancelled; `reconnect` (may be empty)
// runs after each wait. A null `label` turns the WARN lines off.
void RetryCall(Status& out, const RetryPolicy& policy, const CancelToken* token,
               const RetryOperation& op, const RetryOperation& reconnect, const char* label);

// The same loop returning its result.
inline Status RetryCall(const RetryPolicy& policy, const CancelToken* token,
                        const RetryOperation& op, const RetryOperation& reconnect = {},
                        const char* label = nullptr) {
  Status out;
  RetryCall(out, policy, token, op, reconnect, label);
  return out;
}

}  // namespace tarn
