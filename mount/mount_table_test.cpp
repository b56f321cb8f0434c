#include "mount/mount_table.h"

#include <gtest/gtest.h>

#include <algorithm>

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

}  // namespace
}  // namespace tarn
