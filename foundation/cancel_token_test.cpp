#include "foundation/cancel_token.h"

#include <gtest/gtest.h>

namespace tarn {
namespace {

// The wait a back-end allows takes the shortest silence limit of the chain
// where it is shorter than the I/O time-out, and never lengthens it.
TEST(CancelTokenTest, SilenceLimitsShortenTheIoTimeOutOnly) {
  auto root = std::make_shared<CancelToken>();
  auto long1 = std::make_shared<CancelToken>(root, 0, nullptr, 20000);
  auto short1 = std::make_shared<CancelToken>(long1, 0, nullptr, 5000);
  auto below = std::make_shared<CancelToken>(short1, 0, nullptr, 0);
  auto longerBelow = std::make_shared<CancelToken>(short1, 0, nullptr, 9000);
  struct Case {
    const char* what;
    const CancelToken* token;
    uint32_t ioTimeoutMs;
    uint32_t want;
  } cases[] = {
      {"no token", nullptr, 30000, 30000},
      {"a token without a limit", root.get(), 30000, 30000},
      {"a shorter limit", long1.get(), 30000, 20000},
      {"a longer limit", long1.get(), 10000, 10000},
      {"no I/O time-out", long1.get(), 0, 20000},
      {"the parent's limit is shorter", short1.get(), 30000, 5000},
      {"inherited by a child without one", below.get(), 30000, 5000},
      {"a child's longer limit does not lift it", longerBelow.get(), 30000, 5000},
  };
  for (const Case& c : cases) EXPECT_EQ(SilenceLimitMs(c.token, c.ioTimeoutMs), c.want) << c.what;
  EXPECT_FALSE(short1->isCancelled()) << "a silence limit is no deadline";
}

}  // namespace
}  // namespace tarn
