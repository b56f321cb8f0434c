#include "cli/usage.h"

#include <gtest/gtest.h>

namespace tarn::app {
namespace {

TEST(RunMain, HelpSucceedsAndUnknownCommandFails) {
  EXPECT_EQ(RunMain({"--help"}), 0);
  EXPECT_EQ(RunMain({"help"}), 0);
  EXPECT_EQ(RunMain({"no-such-command"}), 2);
  EXPECT_NE(UsageText().find("usage: tarn"), std::string::npos);
}

TEST(RunMain, ForegroundMountNeedsADriveFileAndAFolder) {
  EXPECT_EQ(RunMain({"mount", "--foreground"}), 2);
  EXPECT_EQ(RunMain({"mount", "--foreground", "drive.json"}), 2);
  EXPECT_EQ(RunMain({"mount", "--foreground", "/nonexistent/drive.json", "/nonexistent/folder"}), 1);
}

}  // namespace
}  // namespace tarn::app
