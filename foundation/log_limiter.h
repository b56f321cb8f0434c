// Keeps a flood of alike log lines from rotating the log away: lines that a
// local user can provoke at will (refused requests, refused names) go
// through a limiter keyed by whoever provokes them. Of one key's lines, the
// first few of each window are written and the rest only counted; the count
// goes out with the key's next written line.
//
// Any thread; the limiter locks itself. The caller gives the time, so that
// tests need no clock.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>

namespace vx::log {

class LineLimiter {
 public:
  static constexpr uint32_t kDefaultBurst = 10;
  static constexpr uint64_t kDefaultWindowMs = 60000;
  // Keys kept before those with a window long past are dropped.
  static constexpr size_t kMaxKeys = 1024;

  explicit LineLimiter(uint32_t burst = kDefaultBurst, uint64_t windowMs = kDefaultWindowMs)
      : burst_(burst), windowMs_(windowMs) {}

  // True when this line of `key` is to be written; `suppressed` then holds
  // how many of the key's lines were left out since its last written one.
  bool allow(const std::string& key, uint64_t nowMs, uint64_t& suppressed);

 private:
  struct Window {
    uint64_t startMs = 0;
    uint32_t written = 0;
    uint64_t suppressed = 0;
  };

  const uint32_t burst_;
  const uint64_t windowMs_;
  std::mutex mu_;
  std::map<std::string, Window> keys_;  // guarded by mu_
};

// Writes one line of `key` (vx::log::write's level and format) when
// `limiter` lets it through, with the count of the key's lines left out
// since its last written one at its end.
void WriteLimited(LineLimiter& limiter, const std::string& key, uint64_t nowMs, uint32_t level, const char* format,
                  ...) __attribute__((format(printf, 5, 6)));
// The same for a line that costs something to make: `message` runs only
// for a line that is written.
void WriteLimited(LineLimiter& limiter, const std::string& key, uint64_t nowMs, uint32_t level,
                  const std::function<std::string()>& message);

}  // namespace vx::log
