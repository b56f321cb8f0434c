#include "foundation/log_limiter.h"

#include <iterator>

namespace vx::log {

bool LineLimiter::allow(const std::string& key, uint64_t nowMs, uint64_t& suppressed) {
  suppressed = 0;
  std::lock_guard<std::mutex> lock(mu_);
  if (keys_.size() >= kMaxKeys && keys_.count(key) == 0) {
    // Keys whose window has passed with nothing left out carry nothing.
    for (auto it = keys_.begin(); it != keys_.end();)
      it = nowMs - it->second.startMs >= windowMs_ && it->second.suppressed == 0 ? keys_.erase(it) : std::next(it);
  }
  Window& w = keys_[key];
  if (w.written == 0 || nowMs - w.startMs >= windowMs_) {
    w.startMs = nowMs;
    w.written = 0;
  }
  if (w.written >= burst_) {
    ++w.suppressed;
    return false;
  }
  ++w.written;
  suppressed = w.suppressed;
  w.suppressed = 0;
  return true;
}

}  // namespace vx::log
