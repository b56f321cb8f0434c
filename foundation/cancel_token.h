// A one-way cancellation flag with an optional parent, and optionally a
// deadline after which the token counts as cancelled by itself (the token of
// one call that must end within its time), and a silence limit: the longest
// a wait for the server's next bytes may last under it, an I/O time-out of
// the call's own that back-ends take when it is the shorter (SilenceLimitMs).
// Shared by std::shared_ptr; any thread may cancel, any thread may ask. The
// parent is held by shared_ptr so that a drive replacing its root token on
// restart cannot leave child tokens pointing at freed memory.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

namespace tarn {

class CancelToken {
 public:
  using Clock = uint64_t (*)();

  CancelToken() = default;
  explicit CancelToken(std::shared_ptr<const CancelToken> parent) : parent_(std::move(parent)) {}
  // Also cancelled once `clockMs` reads `deadlineMs` or later; the clock is
  // the caller's, so that its tests may move it by hand.
  // A null clock: no deadline. `silenceMs` 0: no silence limit of its own.
  CancelToken(std::shared_ptr<const CancelToken> parent, uint64_t deadlineMs, Clock clockMs, uint32_t silenceMs = 0)
      : parent_(std::move(parent)), deadlineMs_(deadlineMs), clock_(clockMs), silenceMs_(silenceMs) {}
  CancelToken(const CancelToken&) = delete;
  CancelToken& operator=(const CancelToken&) = delete;

  void cancel() { cancelled_.store(true, std::memory_order_release); }
  bool isCancelled() const {
    for (const CancelToken* t = this; t != nullptr; t = t->parent_.get())
      if (t->cancelled_.load(std::memory_order_acquire) || t->expired()) return true;
    return false;
  }
  // Cancelled by a deadline alone: the time ran out, nobody stopped the work.
  bool timedOut() const {
    bool expired = false;
    for (const CancelToken* t = this; t != nullptr; t = t->parent_.get()) {
      if (t->cancelled_.load(std::memory_order_acquire)) return false;
      expired = expired || t->expired();
    }
    return expired;
  }
  // The earliest deadline up the chain and the clock it is read on; 0 and
  // null when there is none.
  uint64_t deadlineMs(Clock* clock = nullptr) const {
    uint64_t earliest = 0;
    for (const CancelToken* t = this; t != nullptr; t = t->parent_.get()) {
      if (t->clock_ == nullptr || (earliest != 0 && earliest <= t->deadlineMs_)) continue;
      earliest = t->deadlineMs_;
      if (clock != nullptr) *clock = t->clock_;
    }
    return earliest;
  }
  // The shortest silence limit up the chain; 0 when there is none.
  uint32_t silenceMs() const {
    uint32_t shortest = 0;
    for (const CancelToken* t = this; t != nullptr; t = t->parent_.get())
      if (t->silenceMs_ != 0 && (shortest == 0 || t->silenceMs_ < shortest)) shortest = t->silenceMs_;
    return shortest;
  }
  const std::shared_ptr<const CancelToken>& parent() const { return parent_; }

 private:
  bool expired() const { return clock_ != nullptr && clock_() >= deadlineMs_; }

  std::atomic<bool> cancelled_{false};
  const std::shared_ptr<const CancelToken> parent_;
  const uint64_t deadlineMs_ = 0;
  const Clock clock_ = nullptr;
  const uint32_t silenceMs_ = 0;
};

inline bool IsCancelled(const CancelToken* token) { return token != nullptr && token->isCancelled(); }

// Milliseconds until the token's deadline (0 once it passed); `none` when
// the token is null or has no deadline.
inline uint64_t MsToDeadline(const CancelToken* token, uint64_t none) {
  CancelToken::Clock clock = nullptr;
  const uint64_t deadline = token != nullptr ? token->deadlineMs(&clock) : 0;
  if (clock == nullptr) return none;
  const uint64_t now = clock();
  return deadline > now ? deadline - now : 0;
}

// How long one wait for the server's next bytes may last: `ioTimeoutMs`
// (0: no bound), or the token's silence limit where that is shorter.
inline uint32_t SilenceLimitMs(const CancelToken* token, uint32_t ioTimeoutMs) {
  const uint32_t silence = token != nullptr ? token->silenceMs() : 0;
  if (silence == 0) return ioTimeoutMs;
  return ioTimeoutMs == 0 || silence < ioTimeoutMs ? silence : ioTimeoutMs;
}

}  // namespace tarn
