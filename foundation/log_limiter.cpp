#include "foundation/log_limiter.h"

#include <cstdarg>
#include <cstdio>
#include <iterator>

#include "foundation/log.h"

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

void WriteLimited(LineLimiter& limiter, const std::string& key, uint64_t nowMs, uint32_t level,
                  const std::function<std::string()>& message) {
  uint64_t suppressed = 0;
  if (!limiter.allow(key, nowMs, suppressed)) return;
  std::string text = message();
  if (suppressed == 0) {
    write(level, "%s", text.c_str());
    return;
  }
  char count[64];
  std::snprintf(count, sizeof count, " (and %llu more like it since the last line)",
                static_cast<unsigned long long>(suppressed));
  // The count must not be what a long line loses at the end.
  const std::string suffix(count);
  if (text.size() + suffix.size() >= kMaxMessage) {
    size_t cut = kMaxMessage - 1 - suffix.size();
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    text.resize(cut);
  }
  write(level, "%s%s", text.c_str(), suffix.c_str());
}

void WriteLimited(LineLimiter& limiter, const std::string& key, uint64_t nowMs, uint32_t level, const char* format,
                  ...) {
  va_list args;
  va_start(args, format);
  WriteLimited(limiter, key, nowMs, level, [&] {
    char message[kMaxMessage];
    std::vsnprintf(message, sizeof message, format, args);
    return std::string(message);
  });
  va_end(args);
}

}  // namespace vx::log
