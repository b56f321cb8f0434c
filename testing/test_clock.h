// A steady clock that tests move by hand, so that pool deadlines, keepalive
// intervals and cache lifetimes pass without real sleeps. While a
// ScopedTestClock lives, tarn::SteadyNowMs reads it; only one may live at a
// time. Any thread may read or advance it.
#pragma once

#include <cstdint>

namespace tarn::test {

class ScopedTestClock {
 public:
  // Starts well above zero: zero means "never" to some of the engine's stamps.
  explicit ScopedTestClock(uint64_t startMs = 1000000);
  ~ScopedTestClock();
  ScopedTestClock(const ScopedTestClock&) = delete;
  ScopedTestClock& operator=(const ScopedTestClock&) = delete;

  uint64_t now() const;
  void advance(uint64_t ms);
  void set(uint64_t ms);
};

}  // namespace tarn::test
