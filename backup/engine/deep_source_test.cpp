// A source nested deeper than any path can name, as any user who may write
// in a backed-up folder can make one: every step that goes through all of a
// version's folders goes down and up again without recursion, and holds a
// descriptor only for the last few folders on its way.
#include <sys/mount.h>
#include <sys/resource.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "backup/engine/backup_test_world.h"
#include "backup/engine/local_path.h"
#include "backup/engine/prune.h"
#include "backup/engine/repository_check.h"
#include "backup/engine/restore.h"
#include "testing/deep_tree.h"

namespace tarn::backup {
namespace {

// A tmpfs on `path` for the test's life: folders are made fast there, and
// all of them go with it, however deep.
class ScopedTmpfs {
 public:
  explicit ScopedTmpfs(const std::string& path) : path_(path) {
    std::filesystem::create_directories(path);
    mounted_ = ::mount("tmpfs", path.c_str(), "tmpfs", 0, nullptr) == 0;
    EXPECT_TRUE(mounted_) << "mounting a tmpfs needs root: " << std::strerror(errno);
  }
  ~ScopedTmpfs() {
    if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
  }
  ScopedTmpfs(const ScopedTmpfs&) = delete;
  ScopedTmpfs& operator=(const ScopedTmpfs&) = delete;

 private:
  const std::string path_;
  bool mounted_ = false;
};

// Lowers the descriptors this process may open to those open now and a few
// more, for the scope's life.
class FewDescriptors {
 public:
  explicit FewDescriptors(size_t more) {
    size_t open = 0;
    for ([[maybe_unused]] const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) ++open;
    EXPECT_EQ(::getrlimit(RLIMIT_NOFILE, &saved_), 0);
    struct rlimit lowered = saved_;
    lowered.rlim_cur = open + more;
    EXPECT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
  }
  ~FewDescriptors() { ::setrlimit(RLIMIT_NOFILE, &saved_); }
  FewDescriptors(const FewDescriptors&) = delete;
  FewDescriptors& operator=(const FewDescriptors&) = delete;

 private:
  struct rlimit saved_ {};
};

TEST(DeepSource, FiftyThousandFoldersDeepAreBackedUpCheckedPrunedBrowsedAndRestored) {
  constexpr size_t kDepth = 50000;
  // Open folders of the walk and the restore, the repository's connections
  // and files being read or written.
  constexpr size_t kDescriptors = 150;
  BackupWorld bw;
  ScopedTmpfs source(bw.src);
  const std::string target = bw.dir.file("target");
  ScopedTmpfs restored(target);
  ASSERT_TRUE(test::MakeDeepChain(bw.src, kDepth, "d", "end.txt", "the end"));
  std::shared_ptr<Repo> repo = bw.create();
  FewDescriptors few(kDescriptors);

  const BackupWorld::Result backup = bw.backup(*repo, bw.args());
  ASSERT_TRUE(backup.status.ok()) << backup.status.toString();
  EXPECT_TRUE(backup.problems.empty()) << backup.problems.front();
  EXPECT_EQ(backup.snapshot.dirs, kDepth + 1);
  EXPECT_EQ(backup.snapshot.files, 1u);

  CheckReport report;
  Status st = CheckRepository(*repo, false, report, nullptr, nullptr);
  ASSERT_TRUE(st.ok()) << st.toString();
  EXPECT_TRUE(report.problems.empty()) << report.problems.front();

  std::vector<std::string> removed;
  PruneReport pruned;
  st = Prune(*repo, Retention{}, "job1", true, nullptr, removed, &pruned);
  ASSERT_TRUE(st.ok()) << st.toString();
  EXPECT_TRUE(removed.empty());
  EXPECT_TRUE(pruned.incompleteVersions.empty());

  std::string deepest = LastComponent(bw.src);
  for (size_t i = 0; i < kDepth; ++i) deepest += "/d";
  std::vector<ListingEntry> listing;
  st = BrowseSnapshot(*repo, backup.snapshot, deepest, listing);
  ASSERT_TRUE(st.ok()) << st.toString();
  ASSERT_EQ(listing.size(), 1u);
  EXPECT_EQ(listing[0].name, "end.txt");

  RestoreRequest request;
  request.target = target;
  request.inProcess = true;
  Progress progress;
  std::vector<std::string> problems;
  st = Restore(*repo, backup.snapshot, request, progress, nullptr, problems);
  ASSERT_TRUE(st.ok()) << st.toString();
  EXPECT_TRUE(problems.empty()) << problems.front();
  size_t depth = 0;
  std::string content;
  EXPECT_TRUE(test::ReadDeepChain(target + "/" + LastComponent(bw.src), "d", "end.txt", depth, content));
  EXPECT_EQ(depth, kDepth);
  EXPECT_EQ(content, "the end");
  EXPECT_EQ(progress.dirs.load(), kDepth + 1);
}

}  // namespace
}  // namespace tarn::backup
