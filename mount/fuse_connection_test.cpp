// The abort of a FUSE connection reaches the connection it was taken for,
// and never another mount that got its device number later.
#include "mount/fuse_connection.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>

#include "mount/mount_table.h"
#include "mount/mount_test_world.h"

namespace tarn::test {
namespace {

int StatErrno(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? 0 : errno;
}

TEST(FuseConnection, AnAbortReachesOnlyTheConnectionItWasTakenFor) {
  MountWorld world(MemoryMountDrive());
  ASSERT_TRUE(world.mount());
  const FuseConnection live = FuseConnection::Of(MountDevice(world.mountPoint()));
  ASSERT_NE(live.device, 0u);
  ASSERT_NE(live.identity, 0u) << "the control file system is not there";

  // As an earlier mount's record of the same number would be.
  FuseConnection earlier = live;
  earlier.identity = live.identity + 1;
  // Looks of names never looked up reach the file system itself.
  EXPECT_FALSE(earlier.abort());
  EXPECT_EQ(StatErrno(world.file("first-look")), ENOENT);

  EXPECT_TRUE(live.abort());
  EXPECT_EQ(StatErrno(world.file("second-look")), ENOTCONN);
}

}  // namespace
}  // namespace tarn::test
