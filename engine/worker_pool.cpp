#include "engine/worker_pool.h"

#include <exception>

#include "foundation/log.h"

namespace tarn {

WorkerPool::WorkerPool(uint32_t threads, const char* name) : name_(name != nullptr ? name : "") {
  int32_t count = static_cast<int32_t>(threads);
  if (count < 1) count = 1;
  std::lock_guard<std::mutex> lock(mu_);
  threads_.reserve(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) threads_.emplace_back([this] { workerLoop(); });
}

WorkerPool::~WorkerPool() { stop(); }

bool WorkerPool::post(std::function<void()> task) {
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (stopping_) return false;
    queue_.push_back(std::move(task));
  }
  taskCv_.notify_one();
  return true;
}

void WorkerPool::waitIdle() {
  std::unique_lock<std::mutex> lock(mu_);
  idleCv_.wait(lock, [&] { return queue_.empty() && active_ == 0; });
}

bool WorkerPool::runOne() {
  std::function<void()> task;
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (queue_.empty()) return false;
    task = std::move(queue_.front());
    queue_.pop_front();
    ++active_;
  }
  runTask(task);
  return true;
}

void WorkerPool::stop() {
  std::vector<std::thread> threads;
  {
    std::unique_lock<std::mutex> lock(mu_);
    if (stopping_) {
      // A second caller may go on to destroy what the tasks use: it too
      // returns only once the first has joined every thread.
      joinedCv_.wait(lock, [&] { return joined_; });
      return;
    }
    stopping_ = true;
    threads.swap(threads_);
  }
  taskCv_.notify_all();
  for (std::thread& t : threads)
    if (t.joinable()) t.join();
  {
    std::lock_guard<std::mutex> lock(mu_);
    joined_ = true;
  }
  joinedCv_.notify_all();
}

void WorkerPool::workerLoop() {
  for (;;) {
    std::function<void()> task;
    {
      std::unique_lock<std::mutex> lock(mu_);
      taskCv_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
      if (queue_.empty()) return;  // stopping, and nothing left to run
      task = std::move(queue_.front());
      queue_.pop_front();
      ++active_;
    }
    runTask(task);
  }
}

void WorkerPool::runTask(std::function<void()>& task) {
  try {
    task();
  } catch (const std::exception& e) {
    vx::log::write(vx::log::kError, "worker: job threw: %s", e.what());
  } catch (...) {
    vx::log::write(vx::log::kError, "worker: job threw");
  }
  // The task's captures die before the pool reports itself idle.
  task = nullptr;
  {
    std::lock_guard<std::mutex> lock(mu_);
    --active_;
  }
  idleCv_.notify_all();
}

}  // namespace tarn
