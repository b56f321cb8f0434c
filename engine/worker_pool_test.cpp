#include "engine/worker_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <stdexcept>
#include <thread>
#include <vector>

#include "testing/gate.h"
#include "testing/log_capture.h"

namespace tarn {
namespace {

using namespace std::chrono_literals;

// Counts tasks running at once. Each task waits until `target` tasks run
// together, then lingers a little, so that every thread the pool has is busy
// at the same moment and the peak shows how many threads serve.
struct Overlap {
  std::mutex mu;
  std::condition_variable cv;
  int running = 0;
  int started = 0;
  int peak = 0;

  // The last task of `total` has no partners left to wait for.
  void task(int target, int total) {
    std::unique_lock<std::mutex> lock(mu);
    ++running;
    ++started;
    peak = std::max(peak, running);
    cv.notify_all();
    cv.wait_for(lock, 5s, [&] { return running >= target || started == total; });
    lock.unlock();
    std::this_thread::sleep_for(20ms);
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
    // One task more than threads: a pool with an extra thread would run it
    // beside the others.
    for (int i = 0; i < c.expected + 1; ++i) pool.post([&overlap, &c] { overlap.task(c.expected, c.expected + 1); });
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

// Every caller of stop, the second of two concurrent ones too, returns only
// when the tasks queued before it ran and the threads are joined.
TEST(WorkerPool, EveryStopWaitsForTheQueuedTasks) {
  WorkerPool pool(2, "drain");
  test::Gate gate;
  std::atomic<int> ran{0};
  ASSERT_TRUE(pool.post([&] {
    gate.arriveAndWait();
    ++ran;
  }));
  ASSERT_TRUE(gate.waitArrived());
  for (int i = 0; i < 50; ++i) pool.post([&] { ++ran; });
  auto first = std::async(std::launch::async, [&] { pool.stop(); });
  // A refused post shows that the first stop has begun.
  std::atomic<int> probesRun{0};
  int probesAccepted = 0;
  while (pool.post([&] { ++probesRun; })) ++probesAccepted;
  auto second = std::async(std::launch::async, [&] {
    pool.stop();
    return ran.load();
  });
  // Time for a stop that does not wait to return early; one that waits cannot.
  EXPECT_EQ(second.wait_for(200ms), std::future_status::timeout);
  gate.release();
  EXPECT_EQ(second.get(), 51) << "the second stop returned before the tasks ran";
  first.get();
  EXPECT_EQ(ran.load(), 51);
  EXPECT_EQ(probesRun.load(), probesAccepted);
  EXPECT_FALSE(pool.post([&] { ran += 100; })) << "a task posted after stop never runs";
  pool.stop();
  pool.waitIdle();
  EXPECT_EQ(ran.load(), 51);
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

TEST(WorkerPool, RunOneTakesTheFrontTaskOnTheCallersThread) {
  WorkerPool pool(1, "help");
  test::Gate busy;
  pool.post([&] { busy.arriveAndWait(); });
  ASSERT_TRUE(busy.waitArrived());
  std::vector<int> order;
  std::thread::id ranOn;
  pool.post([&] {
    order.push_back(1);
    ranOn = std::this_thread::get_id();
  });
  pool.post([&] { order.push_back(2); });
  EXPECT_TRUE(pool.runOne());
  EXPECT_EQ(ranOn, std::this_thread::get_id());
  EXPECT_EQ(order, std::vector<int>{1});
  EXPECT_TRUE(pool.runOne());
  EXPECT_FALSE(pool.runOne());
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
  busy.release();
  pool.waitIdle();
}

}  // namespace
}  // namespace tarn
