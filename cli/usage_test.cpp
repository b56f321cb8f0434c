#include "cli/usage.h"

#include <gtest/gtest.h>

namespace tarn::app {
namespace {

TEST(RunMain, HelpSucceedsAndUnknownCommandFails) {
  EXPECT_EQ(RunMain({}), 0);
  EXPECT_EQ(RunMain({"help"}), 0);
  EXPECT_EQ(RunMain({"no-such-command"}), 2);
  EXPECT_NE(UsageText().find("usage: tarn"), std::string::npos);
}

}  // namespace
}  // namespace tarn::app
