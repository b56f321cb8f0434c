// Holds one thread at a point of its work until the test releases it, so
// that a test can line up threads in the order a race needs. One thread
// arrives; any thread may wait for the arrival or release it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace tarn::test {

class Gate {
 public:
  // Long enough for a loaded machine; a test that waits this long has failed.
  static constexpr uint32_t kDefaultWaitMs = 60000;

  // Called by the held thread; returns once the gate is released.
  void arriveAndWait();
  // True once a thread has reached the gate; false after `timeoutMs`.
  bool waitArrived(uint32_t timeoutMs = kDefaultWaitMs);
  void release();
  bool arrived() const;

 private:
  mutable std::mutex mu_;
  std::condition_variable cv_;
  bool arrived_ = false;   // guarded by mu_
  bool released_ = false;  // guarded by mu_
};

}  // namespace tarn::test
