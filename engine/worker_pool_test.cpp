#include "engine/worker_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <stdexcept>
#include <vector>

#include "testing/log_capture.h"

namespace tarn {
namespace {

using namespace std::chrono_literals;

// Counts tasks running at once; each task waits until `target` run together
// (or 200 ms pass), so the peak shows how many threads serve.
struct Overlap {
  std::mutex mu;
  std::condition_variable cv;
  int running = 0;
  int peak = 0;

  void task(int target) {
    std::unique_lock<std::mutex> lock(mu);
    ++running;
    peak = std::max(peak, running);
    cv.notify_all();
    cv.wait_for(lock, 200ms, [&] { return running >= target; });
    cv.notify_all();
    lock.unlock();
    std::this_thread::sleep_for(5ms);
    lock.lock();
    --running;
  }
};

TEST(WorkerPool, ThreadCountIsAtLeastOne) {
  struct Case {
    uint32_t threads;
    int expected;
  } cases[] = {{0, 1}, {static_cast<uint32_t>(-3), 1}, {1, 1}, {3, 3}};
  for (const Case& c : cases) {
    Overlap overlap;
    WorkerPool pool(c.threads, "test");
    // Each task waits for one more partner than the pool can hold at once,
    // so the peak is the number of threads.
    for (int i = 0; i < c.expected + 1; ++i) pool.post([&overlap, &c] { overlap.task(c.expected + 1); });
    pool.waitIdle();
    EXPECT_EQ(overlap.peak, c.expected) << "threads " << c.threads;
  }
}

TEST(WorkerPool, RunsTasksInPostingOrder) {
  WorkerPool pool(1, "fifo");
  std::vector<int> order;
  for (int i = 0; i < 200; ++i) pool.post([&order, i] { order.push_back(i); });
  pool.waitIdle();
  ASSERT_EQ(order.size(), 200u);
  for (int i = 0; i < 200; ++i) ASSERT_EQ(order[i], i);
}

TEST(WorkerPool, StopDrainsTheQueueAndDropsLaterTasks) {
  WorkerPool pool(2, "drain");
  std::atomic<int> ran{0};
  std::atomic<bool> release{false};
  pool.post([&] {
    while (!release.load()) std::this_thread::sleep_for(1ms);
    ++ran;
  });
  for (int i = 0; i < 50; ++i) pool.post([&] { ++ran; });
  std::thread stopper([&] { pool.stop(); });
  std::this_thread::sleep_for(20ms);
  release = true;
  stopper.join();
  EXPECT_EQ(ran.load(), 51) << "every task queued before stop runs";
  pool.post([&] { ran += 100; });
  pool.stop();  // a second stop returns at once
  pool.waitIdle();
  EXPECT_EQ(ran.load(), 51) << "a task posted after stop never runs";
}

TEST(WorkerPool, WaitIdleCoversTasksPostedByTasks) {
  WorkerPool pool(2, "chain");
  pool.waitIdle();  // a fresh pool is idle at once
  std::atomic<int> depth{0};
  std::function<void()> step = [&] {
    std::this_thread::sleep_for(2ms);
    if (++depth < 10) pool.post(step);
  };
  pool.post(step);
  pool.waitIdle();
  EXPECT_EQ(depth.load(), 10);
}

TEST(WorkerPool, ThrowingTaskIsLoggedAndTheWorkerGoesOn) {
  test::LogCapture log;
  WorkerPool pool(1, "throws");
  std::atomic<bool> after{false};
  pool.post([] { throw std::runtime_error("boom"); });
  pool.post([] { throw 42; });
  pool.post([&] { after = true; });
  pool.waitIdle();
  EXPECT_TRUE(after.load());
  EXPECT_EQ(log.countLines("[ERROR] worker: job threw: boom"), 1) << log.text();
  EXPECT_EQ(log.countLines("worker: job threw"), 2) << log.text();
}

}  // namespace
}  // namespace tarn
