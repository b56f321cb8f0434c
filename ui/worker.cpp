#include "ui/worker.h"

#include <condition_variable>

namespace tarn::app {
namespace {

struct WorkerCount {
  std::mutex mu;
  std::condition_variable none;
  int running = 0;  // guarded by mu
};

// Never destroyed: a worker may still finish while the process exits.
WorkerCount& Workers() {
  static WorkerCount* count = new WorkerCount;
  return *count;
}

}  // namespace

void ResultGate::close() {
  std::lock_guard<std::mutex> lock(mu_);
  receiver_ = nullptr;
}

void WorkerStarted() {
  WorkerCount& w = Workers();
  std::lock_guard<std::mutex> lock(w.mu);
  ++w.running;
}

void WorkerFinished() {
  WorkerCount& w = Workers();
  std::lock_guard<std::mutex> lock(w.mu);
  if (--w.running == 0) w.none.notify_all();
}

bool WaitForWorkers(std::chrono::milliseconds limit) {
  WorkerCount& w = Workers();
  std::unique_lock<std::mutex> lock(w.mu);
  return w.none.wait_for(lock, limit, [&w] { return w.running == 0; });
}

}  // namespace tarn::app
