// What users may take of the process that serves a drive, through a real
// FUSE mount: their open files (the process's descriptors).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "mount/mount_test_world.h"
#include "mount/open_file_shares.h"
#include "testing/eventually.h"
#include "testing/files_as_user.h"

namespace tarn::test {
namespace {

constexpr uint32_t kRoot = 0;
constexpr uint32_t kAlice = 65534;
constexpr uint32_t kBob = 65533;

TEST(FuseLimits, OpenFilesOfEachUserStayWithinTheirShareAndComeBackAtClose) {
  auto shares = std::make_shared<OpenFileShares>(ShareLimits{6, 2, 3});
  MountWorld world(MemoryMountDrive(), {}, {}, shares);
  ASSERT_TRUE(world.mount());
  struct Step {
    uint32_t uid;
    uint32_t tries;
    uint32_t opened;
    int error;  // of the opens past those
  };
  const Step steps[] = {
      {kAlice, 4, 3, EMFILE},  // her own share is full
      {kBob, 2, 1, ENFILE},    // the users' room is full
      {kRoot, 3, 2, ENFILE},   // root's room, then the whole
  };
  std::vector<std::unique_ptr<FilesAsUser>> holders;
  int n = 0;
  for (const Step& s : steps) {
    SCOPED_TRACE(s.uid);
    std::vector<std::string> paths;
    for (uint32_t i = 0; i < s.tries; ++i) paths.push_back(world.file("f" + std::to_string(n++)));
    holders.push_back(std::make_unique<FilesAsUser>(s.uid, paths, true));
    const FilesAsUser::Report r = holders.back()->report();
    EXPECT_EQ(r.opened, s.opened);
    EXPECT_EQ(r.failed, s.tries - s.opened);
    EXPECT_EQ(r.firstErrno, s.error);
  }
  // Closing gives back: the kernel releases the files after the close.
  holders.front()->finish();
  EXPECT_TRUE(Eventually([&] { return shares->heldBy(kAlice) == 0; }));
  EXPECT_EQ(FilesAsUser(kBob, {world.file("f0")}, false).report().opened, 1u);
  holders.clear();
  EXPECT_TRUE(Eventually([&] { return shares->heldBy(kBob) + shares->heldBy(kRoot) == 0; }));
}

TEST(FuseLimits, SharesAreQuartersOfTheDescriptors) {
  const ShareLimits l = OpenFileSharesFor(4096);
  EXPECT_EQ(l.perUser, 1024u);
  EXPECT_EQ(l.whole - l.rootReserve, 2048u);
  EXPECT_EQ(l.whole, 3072u);
}

}  // namespace
}  // namespace tarn::test
