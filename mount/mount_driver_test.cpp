#include "mount/mount_driver.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "testing/temp_dir.h"

namespace tarn {
namespace {

TEST(DetectMountDriver, FuseWhereTheDeviceAndTheHelperAreUsable) {
  test::TempDir dir("tarn-driver");
  const std::string withHelper = dir.file("bin");
  const std::string empty = dir.file("empty");
  ASSERT_EQ(::mkdir(withHelper.c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(empty.c_str(), 0755), 0);
  std::ofstream(withHelper + "/fusermount3") << "#!/bin/sh\n";
  ASSERT_EQ(::chmod((withHelper + "/fusermount3").c_str(), 0755), 0);
  const std::string device = dir.file("fuse");
  std::ofstream(device) << "";

  struct Case {
    const char* setting;
    std::string device;
    std::string path;
    bool found;
  } cases[] = {
      {"", device, withHelper, true},
      {"auto", device, empty + ":" + withHelper, true},
      {"dokan", device, withHelper, true},
      {"other", device, withHelper, false},
      {"auto", dir.file("missing"), withHelper, false},
      {"auto", device, empty, false},
      {"auto", device, "", false},
  };
  for (const Case& c : cases) {
    const MountDriver d = DetectMountDriverAt(c.setting, c.device, c.path);
    EXPECT_EQ(d.name, c.found ? "fuse" : "") << c.setting << " " << c.device << " " << c.path;
    EXPECT_EQ(d.version.rfind("3.", 0) == 0, c.found) << d.version;
  }
  // This machine has both.
  EXPECT_EQ(DetectMountDriver("auto").name, "fuse");
}

}  // namespace
}  // namespace tarn
