#include "platform/open_file_limit.h"

#include <sys/resource.h>

#include <gtest/gtest.h>

namespace tarn {
namespace {

// Started under a low soft limit (`ulimit -n 256`), the process takes all
// that the hard limit allows; a second call changes nothing.
TEST(OpenFileLimit, SoftLimitRisesToTheHardLimit) {
  rlimit before{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &before), 0);
  if (before.rlim_max > 256) {
    rlimit low = before;
    low.rlim_cur = 256;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
  }
  for (int call = 0; call < 2; ++call) {
    ASSERT_TRUE(RaiseOpenFileLimit().ok());
    rlimit now{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &now), 0);
    EXPECT_EQ(now.rlim_cur, before.rlim_max);
    EXPECT_EQ(now.rlim_max, before.rlim_max);
  }
}

}  // namespace
}  // namespace tarn
