// Waiting in tests for a condition that other threads bring about.
// Header-only; any thread.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace tarn::test {

// Polls `done` until it holds or about two minutes pass: the bound only
// ends a test that failed, so it is set for a loaded two-core machine.
inline bool Eventually(const std::function<bool()>& done) {
  constexpr int kPolls = 12000;
  for (int i = 0; i < kPolls; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return done();
}

}  // namespace tarn::test
