#include "testing/gate.h"

#include <chrono>

namespace tarn::test {

void Gate::arriveAndWait() {
  std::unique_lock<std::mutex> lock(mu_);
  arrived_ = true;
  cv_.notify_all();
  cv_.wait(lock, [&] { return released_; });
}

bool Gate::waitArrived(uint32_t timeoutMs) {
  std::unique_lock<std::mutex> lock(mu_);
  return cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return arrived_; });
}

void Gate::release() {
  std::lock_guard<std::mutex> lock(mu_);
  released_ = true;
  cv_.notify_all();
}

bool Gate::arrived() const {
  std::lock_guard<std::mutex> lock(mu_);
  return arrived_;
}

}  // namespace tarn::test
