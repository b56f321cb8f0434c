// The drive engine's two concurrency tools. WorkerPool is a fixed set of
// threads running queued tasks first in, first out; a drive owns a few
// ("prefetch", "upload", "reaper") and stops them when it stops. RateLimiter
// is a token bucket that holds a drive's (or a repository's) transfers to one
// speed limit; every transfer thread of the owner charges the same bucket.
// Any thread may call either object, except that WorkerPool::stop must not be
// called from one of the pool's own tasks.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "foundation/cancel_token.h"

namespace tarn {

class WorkerPool {
 public:
  // Starts max(threads, 1) threads at once, the count taken as signed.
  WorkerPool(uint32_t threads, const char* name);
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // Queues the task at the back. After stop the task is dropped unrun and
  // the result is false.
  bool post(std::function<void()> task);
  // Blocks until the queue is empty and no task runs.
  void waitIdle();
  // Runs the task at the front of the queue on the calling thread; false
  // when the queue is empty.
  bool runOne();
  // Runs every task queued so far, then joins the threads. Idempotent; every
  // caller returns only once the threads are joined.
  void stop();

  const std::string& name() const { return name_; }

 private:
  void workerLoop();
  // Runs a task taken off the queue (active_ already counts it).
  void runTask(std::function<void()>& task);

  const std::string name_;
  std::mutex mu_;
  std::condition_variable taskCv_;  // idle workers wait here
  std::condition_variable idleCv_;  // waitIdle waits here
  std::condition_variable joinedCv_;  // later callers of stop wait here
  std::deque<std::function<void()>> queue_;  // guarded by mu_
  std::vector<std::thread> threads_;         // guarded by mu_ (joined outside it by stop)
  uint32_t active_ = 0;                      // guarded by mu_
  bool stopping_ = false;                    // guarded by mu_
  bool joined_ = false;                      // guarded by mu_; every thread joined
};

class RateLimiter {
 public:
  // bytesPerSecond 0: no limit.
  explicit RateLimiter(uint64_t bytesPerSecond) : rate_(bytesPerSecond) {}
  RateLimiter(const RateLimiter&) = delete;
  RateLimiter& operator=(const RateLimiter&) = delete;

  // Charges bytes already moved and sleeps (cancellably, outside the lock)
  // while the bucket is in debt.
  void consume(uint64_t bytes, const CancelToken* cancel);
  // The charging step of consume without the sleep: returns the debt in
  // milliseconds that consume would sleep.
  uint64_t charge(uint64_t bytes);

  uint64_t rate() const { return rate_; }

 private:
  const uint64_t rate_;
  std::mutex mu_;
  double tokens_ = 0;     // guarded by mu_; may go negative
  uint64_t lastMs_ = 0;   // guarded by mu_
  bool charged_ = false;  // guarded by mu_; lastMs_ is meaningful
};

}  // namespace tarn
