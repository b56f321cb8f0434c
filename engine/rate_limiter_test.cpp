#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "engine/worker_pool.h"
#include "testing/test_clock.h"

namespace tarn {
namespace {

using namespace std::chrono_literals;

constexpr uint64_t kMiB = 1024 * 1024;

TEST(RateLimiter, DebtFollowsTheBucket) {
  struct Step {
    uint64_t advanceMs;
    uint64_t bytes;
    uint64_t debtMs;
  };
  struct Case {
    const char* name;
    uint64_t rate;
    std::vector<Step> steps;
  } cases[] = {
      {"fresh bucket waits for its first bytes, then the next charge adds its own share",
       kMiB, {{0, 2 * kMiB, 2000}, {2000, kMiB / 2, 500}}},
      {"a quiet spell fills at most one second of rate", kMiB,
       {{0, 0, 0}, {60000, kMiB, 0}, {0, kMiB / 4, 250}}},
      {"partial refill pays part of the debt", kMiB, {{0, kMiB, 1000}, {500, 0, 500}}},
      {"debt is truncated to whole milliseconds", 3000, {{0, 1000, 333}}},
      {"no limit never waits", 0, {{0, 100 * kMiB, 0}, {0, 100 * kMiB, 0}}},
  };
  for (const Case& c : cases) {
    test::ScopedTestClock clock;
    RateLimiter limiter(c.rate);
    for (size_t i = 0; i < c.steps.size(); ++i) {
      clock.advance(c.steps[i].advanceMs);
      EXPECT_EQ(limiter.charge(c.steps[i].bytes), c.steps[i].debtMs) << c.name << ", step " << i;
    }
  }
}

TEST(RateLimiter, AClockThatStepsBackRefillsNothing) {
  test::ScopedTestClock clock;
  RateLimiter limiter(1000);
  EXPECT_EQ(limiter.charge(500), 500u);
  clock.set(clock.now() - 10000);
  EXPECT_EQ(limiter.charge(500), 1000u);
}

TEST(RateLimiter, SharedBucketHoldsThreadsToTheRate) {
  // 384 KiB at 1 MiB/s: about 375 ms whatever the threads' interleaving.
  RateLimiter limiter(kMiB);
  auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 6; ++i) limiter.consume(16 * 1024, nullptr);
    });
  for (std::thread& t : threads) t.join();
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(ms, 330);
  EXPECT_LT(ms, 3000);
}

TEST(RateLimiter, CancelCutsTheSleepShort) {
  RateLimiter limiter(kMiB);
  auto cancel = std::make_shared<CancelToken>();
  std::atomic<bool> done{false};
  std::thread t([&] {
    limiter.consume(600 * kMiB, cancel.get());  // ten minutes of debt
    done = true;
  });
  std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(done.load());
  cancel->cancel();
  for (int i = 0; i < 100 && !done.load(); ++i) std::this_thread::sleep_for(20ms);
  EXPECT_TRUE(done.load());
  t.join();
}

}  // namespace
}  // namespace tarn
