#include "engine/clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "testing/test_clock.h"

namespace tarn {
namespace {

TEST(SteadyNowMs, FollowsTheSteadyClockUntilATestClockTakesOver) {
  uint64_t a = SteadyNowMs();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  uint64_t b = SteadyNowMs();
  EXPECT_GE(b - a, 20u);
  {
    test::ScopedTestClock clock(5000);
    EXPECT_EQ(SteadyNowMs(), 5000u);
    clock.advance(250);
    EXPECT_EQ(SteadyNowMs(), 5250u);
    uint64_t seenByThread = 0;
    std::thread([&] { seenByThread = SteadyNowMs(); }).join();
    EXPECT_EQ(seenByThread, 5250u) << "every thread reads the same test clock";
  }
  uint64_t c = SteadyNowMs();
  EXPECT_GE(c, b) << "the real clock is back";
  EXPECT_LT(c - b, 60000u);
}

}  // namespace
}  // namespace tarn
