#include "foundation/log_limiter.h"

#include <gtest/gtest.h>

#include <string>

namespace vx::log {
namespace {

TEST(LineLimiterTest, AFloodMakesAFewLinesAndACount) {
  LineLimiter limiter(3, 1000);
  struct Step {
    const char* key;
    uint64_t nowMs;
    bool written;
    uint64_t suppressed;
  };
  const Step steps[] = {
      {"a", 0, true, 0},     {"a", 1, true, 0},    {"a", 2, true, 0},
      {"a", 3, false, 0},    {"a", 999, false, 0},  // the window's burst is spent
      {"b", 999, true, 0},                          // another key has its own
      {"a", 1000, true, 2},                         // a new window brings the count
      {"a", 1001, true, 0},  {"a", 1002, true, 0},  {"a", 1003, false, 0},
      {"a", 5000, true, 1},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(std::string(s.key) + " at " + std::to_string(s.nowMs));
    uint64_t suppressed = 99;
    EXPECT_EQ(limiter.allow(s.key, s.nowMs, suppressed), s.written);
    if (s.written) {
      EXPECT_EQ(suppressed, s.suppressed);
    }
  }
}

TEST(LineLimiterTest, ManyKeysStayBounded) {
  LineLimiter limiter(1, 10);
  uint64_t suppressed = 0;
  // Keys that nothing was left out of go once their window is over.
  for (size_t i = 0; i < 10 * LineLimiter::kMaxKeys; ++i)
    EXPECT_TRUE(limiter.allow("k" + std::to_string(i), 100 * i, suppressed));
  // A key with a count keeps it however many others come.
  EXPECT_TRUE(limiter.allow("kept", 0, suppressed));
  EXPECT_FALSE(limiter.allow("kept", 1, suppressed));
  for (size_t i = 0; i < 2 * LineLimiter::kMaxKeys; ++i) limiter.allow("o" + std::to_string(i), 100 * i, suppressed);
  EXPECT_TRUE(limiter.allow("kept", 1000000, suppressed));
  EXPECT_EQ(suppressed, 1u);
}

}  // namespace
}  // namespace vx::log
