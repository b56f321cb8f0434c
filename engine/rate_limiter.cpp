#include <algorithm>

#include "engine/clock.h"
#include "engine/worker_pool.h"
#include "foundation/retry.h"

namespace tarn {

namespace {
constexpr double kMsPerSecond = 1000.0;
}  // namespace

uint64_t RateLimiter::charge(uint64_t bytes) {
  if (rate_ == 0) return 0;
  std::lock_guard<std::mutex> lock(mu_);
  uint64_t now = SteadyNowMs();
  // A clock that stands still or steps back refills nothing.
  uint64_t elapsed = charged_ && now > lastMs_ ? now - lastMs_ : 0;
  lastMs_ = now;
  charged_ = true;
  double rate = static_cast<double>(rate_);
  tokens_ = std::min(tokens_ + static_cast<double>(elapsed) / kMsPerSecond * rate, rate);
  tokens_ -= static_cast<double>(bytes);
  if (tokens_ >= 0) return 0;
  return static_cast<uint64_t>(-tokens_ / rate * kMsPerSecond);
}

void RateLimiter::consume(uint64_t bytes, const CancelToken* cancel) {
  uint64_t debtMs = charge(bytes);
  while (debtMs > 0 && !IsCancelled(cancel)) {
    uint32_t part = static_cast<uint32_t>(std::min<uint64_t>(debtMs, UINT32_MAX));
    SleepCancellable(part, cancel);
    debtMs -= part;
  }
}

}  // namespace tarn
