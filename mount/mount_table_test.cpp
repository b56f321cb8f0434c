#include "mount/mount_table.h"

#include <gtest/gtest.h>

namespace tarn {
namespace {

TEST(MountTable, FoldersWithAFileSystemOnThemAreMountPoints) {
  EXPECT_TRUE(IsMountPoint("/"));
  EXPECT_TRUE(IsMountPoint("/proc"));
  EXPECT_FALSE(IsMountPoint("/proc/self")) << "a folder inside a mount";
  EXPECT_FALSE(IsMountPoint("/no/such/folder"));
  EXPECT_FALSE(IsMountPoint("/proc/")) << "the table names folders without a final slash";
}

}  // namespace
}  // namespace tarn
