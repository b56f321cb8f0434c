#include "mount/node_table.h"

#include <gtest/gtest.h>

namespace tarn {
namespace {

constexpr uint64_t kRoot = NodeTable::kRootId;

std::string PathOf(const NodeTable& t, uint64_t id) {
  std::string p;
  return t.path(id, p) ? p : "<none>";
}

TEST(NodeTable, PathsFollowRenamesAndRemovals) {
  NodeTable t;
  const uint64_t dir = t.lookup(kRoot, "dir");
  const uint64_t file = t.lookup(dir, "f.txt");
  const uint64_t other = t.lookup(kRoot, "other");
  EXPECT_EQ(t.lookup(kRoot, "dir"), dir);  // a second look-up finds the same node
  EXPECT_NE(file, other);
  EXPECT_EQ(PathOf(t, kRoot), "/");
  EXPECT_EQ(PathOf(t, file), "/dir/f.txt");

  // A folder rename moves what lies beneath it.
  t.rename(kRoot, "dir", other, "moved");
  EXPECT_EQ(PathOf(t, file), "/other/moved/f.txt");
  EXPECT_EQ(t.lookup(other, "moved"), dir);

  // A rename over a name takes that name from its node.
  const uint64_t target = t.lookup(other, "target");
  t.rename(dir, "f.txt", other, "target");
  EXPECT_EQ(PathOf(t, file), "/other/target");
  EXPECT_EQ(PathOf(t, target), "<none>");

  // A removed name leaves its node without a path; the name is free again.
  t.remove(other, "target");
  EXPECT_EQ(PathOf(t, file), "<none>");
  EXPECT_NE(t.lookup(other, "target"), file);
  EXPECT_EQ(t.lookup(12345, "x"), 0u);  // unknown parent
}

TEST(NodeTable, NodesLiveWhileCountedOrParentOfAKnownNode) {
  NodeTable t;
  const uint64_t a = t.lookup(kRoot, "a");
  const uint64_t b = t.lookup(a, "b");
  t.lookup(a, "b");
  ASSERT_EQ(t.size(), 3u);
  t.forget(a, 1);  // a is still the parent of b
  EXPECT_EQ(PathOf(t, b), "/a/b");
  t.forget(b, 1);
  EXPECT_EQ(t.size(), 3u);  // b was counted twice
  t.forget(b, 1);           // the last count of b frees b, then a
  EXPECT_EQ(t.size(), 1u);
  t.forget(kRoot, 100);  // the root stays
  EXPECT_EQ(PathOf(t, kRoot), "/");
  EXPECT_NE(t.lookup(kRoot, "a"), a);  // numbers are never reused
}

TEST(NodeTable, VersionsMatchOnlyWhatWasRecorded) {
  NodeTable t;
  const uint64_t f = t.lookup(kRoot, "f");
  EXPECT_FALSE(t.sameVersion(f, 7));  // nothing recorded yet
  EXPECT_TRUE(t.sameVersion(f, 7));
  EXPECT_FALSE(t.sameVersion(f, 8));
  t.setVersion(f, 9);
  EXPECT_TRUE(t.sameVersion(f, 9));
  t.setVersion(f, 0);
  EXPECT_FALSE(t.sameVersion(f, 0));  // 0 names no version
  EXPECT_FALSE(t.sameVersion(999, 9));
}

}  // namespace
}  // namespace tarn
