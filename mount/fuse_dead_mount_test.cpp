// A drive's folder that still holds a mount of a process that died (a
// crashed service) is taken back, however the kernel answers for it, while
// a mount that something still serves stays.
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "mount/fuse_connection.h"
#include "mount/mount_table.h"
#include "mount/mount_test_world.h"
#include "testing/eventually.h"
#include "testing/log_capture.h"

namespace tarn::test {
namespace {

constexpr uint32_t kHourMs = 3600 * 1000;

// Takes away whatever a failed test left mounted at the folder.
struct DetachAtEnd {
  std::string path;
  ~DetachAtEnd() { ::umount2(path.c_str(), MNT_DETACH); }
};

TEST(FuseDeadMount, ADeadDriveIsClearedHoweverItAnswersAndALiveMountStays) {
  LogCapture log;
  MountConfig config = MemoryMountDrive();
  // The kernel keeps what it was told of the folder for the test's length.
  config.cache.metaTtlMs = kHourMs;
  MountWorld world(config);
  world.server->putFile("/f", "f");
  ASSERT_TRUE(world.mount());
  TempDir dir("tarn-dead", 0755);

  // A drive whose process died: the kernel ended its connection, and
  // still answers a stat of the folder from its cache.
  const std::string dead = world.mountPoint();
  const DetachAtEnd deadGoes{dead};
  struct stat st;
  ASSERT_EQ(::stat(dead.c_str(), &st), 0);
  ASSERT_TRUE(FuseConnection::Of(MountDevice(dead)).abort());
  ASSERT_TRUE(Eventually([&] { return !world.host.isMounted(); }));
  ASSERT_EQ(::stat(dead.c_str(), &st), 0) << std::strerror(errno);

  // A drive that another host serves, and a file system of another kind.
  FuseMountHost served;
  ASSERT_TRUE(served.mount(world.volume, dir.file("served")).ok());
  const std::string other = dir.file("other");
  const DetachAtEnd otherGoes{other};
  ASSERT_EQ(::mkdir(other.c_str(), 0755), 0);
  ASSERT_EQ(::mount("tarn-test", other.c_str(), "tmpfs", 0, "size=1m"), 0) << std::strerror(errno);

  struct Case {
    std::string path;
    int32_t code;
  } cases[] = {
      {dead, Status::kOk},
      {dir.file("served"), Status::kBusy},
      {other, Status::kBusy},
  };
  for (const Case& c : cases) {
    const dev_t before = MountDevice(c.path);
    FuseMountHost host;
    const Status st = host.mount(world.volume, c.path);
    EXPECT_EQ(st.code, c.code) << c.path << ": " << st.toString();
    if (st.ok()) {
      EXPECT_EQ(ReadFile(c.path + "/f"), "f");
      EXPECT_EQ(log.countLines("mount: clearing the stale mount at " + c.path), 1) << log.text();
    } else {
      EXPECT_EQ(st.message, "something is already mounted at " + c.path);
      EXPECT_EQ(MountDevice(c.path), before) << "left as it was";
    }
    EXPECT_TRUE(host.unmount(0).ok());
  }
  EXPECT_TRUE(served.unmount(0).ok());
}

}  // namespace
}  // namespace tarn::test
