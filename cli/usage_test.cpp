#include "cli/usage.h"

#include <gtest/gtest.h>

#include "cli/foreground_mount.h"
#include "foundation/config_file.h"

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
  EXPECT_EQ(RunMain({"mount", "--foreground", "--help"}), 0);
  EXPECT_EQ(RunMain({"mount", "--foreground", "drive.json", "folder", "-h"}), 0);
}

// A drive file without an id finds the cache of its last start, and never
// another drive's.
TEST(RunMain, ForegroundDriveWithoutIdKeepsOneCachePerServerAndFolder) {
  auto endpoint = [](const char* host, const char* root, const char* user) {
    EndpointConfig e;
    e.protocol = "webdav";
    e.host = host;
    e.port = 443;
    e.root = root;
    e.user = user;
    return e;
  };
  const std::string id = ForegroundDriveId(endpoint("dav.example", "/team", "ann"));
  EXPECT_EQ(id, ForegroundDriveId(endpoint("dav.example", "/team", "ann")));
  EXPECT_TRUE(IsPlainDriveId(id)) << id;
  for (const EndpointConfig& other : {endpoint("dav.example", "/team2", "ann"), endpoint("dav.example", "/team", "bob"),
                                      endpoint("dav2.example", "/team", "ann")}) {
    EXPECT_NE(ForegroundDriveId(other), id);
  }
}

}  // namespace
}  // namespace tarn::app
