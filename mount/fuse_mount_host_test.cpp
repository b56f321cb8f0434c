// The FUSE mount host on the in-memory server: shell work and a build on
// the drive, refused names and operations, listings longer than one
// kernel buffer, changes on the server, unmounting with files open and
// mounting over a mount whose process died.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <string>

#include "mount/mount_test_world.h"

namespace tarn::test {
namespace {

TEST(FuseMountHost, ShellWorkAndABuildOnTheDrive) {
  MountWorld world(MemoryMountDrive());
  ASSERT_TRUE(world.mount());
  EXPECT_TRUE(world.host.isMounted());
  EXPECT_EQ(world.host.mountPoint(), world.mountPoint());
  const std::string drive = world.file("work");
  ASSERT_EQ(::mkdir(drive.c_str(), 0755), 0);
  EXPECT_EQ(RunShell(".", "KEEPS_TIMES=1 testdata/shell_work.sh " + drive + " " + world.scratch()), 0);
  world.unmountAndStop();
  EXPECT_FALSE(world.host.isMounted());
  EXPECT_TRUE(world.server->exists("/work"));
  EXPECT_FALSE(world.server->exists("/work/proj"));
}

}  // namespace
}  // namespace tarn::test
