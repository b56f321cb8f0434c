#include "mount/mount_table.h"

#include <sys/mount.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "testing/temp_dir.h"

namespace tarn {
namespace {

TEST(MountTable, FoldersWithAFileSystemOnThemAreMountPoints) {
  const std::vector<std::string> points = MountPoints();
  auto has = [&](const char* path) { return std::find(points.begin(), points.end(), path) != points.end(); };
  EXPECT_TRUE(has("/"));
  EXPECT_TRUE(has("/proc"));
  EXPECT_FALSE(has("/proc/self")) << "a folder inside a mount";
  EXPECT_NE(MountDevice("/proc"), 0u);
  EXPECT_NE(MountDevice("/proc"), MountDevice("/"));
  EXPECT_EQ(MountDevice("/no/such/folder"), 0u);
  EXPECT_EQ(MountDevice("/proc/"), 0u) << "the table names folders without a final slash";
}

// What is mounted where, and of which kind, blanks and all: how a mount of
// this system's own is told from any other.
TEST(MountTable, TheTableSaysWhatKindOfFileSystemIsMountedWhere) {
  test::TempDir dir("tarn-table");
  const std::string point = dir.file("a folder\\with blanks");
  ASSERT_EQ(::mkdir(point.c_str(), 0755), 0);
  ASSERT_EQ(::mount("tarn test", point.c_str(), "tmpfs", 0, "size=1m"), 0) << std::strerror(errno);
  struct Case {
    std::string point;
    const char* type;
    const char* source;
  } cases[] = {{"/proc", "proc", "proc"}, {point, "tmpfs", "tarn test"}};
  for (const Case& c : cases) {
    const MountEntry entry = MountAt(c.point);
    EXPECT_EQ(entry.point, c.point);
    EXPECT_EQ(entry.device, MountDevice(c.point)) << c.point;
    EXPECT_EQ(entry.type, c.type) << c.point;
    EXPECT_EQ(entry.source, c.source) << c.point;
  }
  EXPECT_EQ(MountAt("/no/such/folder").type, "");
  EXPECT_EQ(::umount2(point.c_str(), 0), 0);
}

}  // namespace
}  // namespace tarn
