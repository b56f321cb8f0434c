// What users may take of the process that serves a drive, through a real
// FUSE mount: their open files (the process's descriptors) and the disk
// that holds the drive's cache.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "foundation/memory_env.h"
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

// Offline, nothing sends the changes on: writes of new data stop at the
// disk's reserve with ENOSPC, the drive says why, and what was written
// stays and may still be rewritten.
TEST(FuseLimits, AnOfflineDriveStopsTakingNewDataAtTheDiskReserve) {
  constexpr uint64_t kDisk = 40 << 20;
  constexpr uint64_t kReserve = kDisk / 100 * kCacheDiskReservePercent;
  constexpr size_t kPiece = 1 << 20;
  MemoryEnv env;
  env.setCapacity(kDisk);
  MountWorld world(MemoryMountDrive(), {}, {}, nullptr, &env);
  ASSERT_TRUE(world.mount());
  const int fd = ::open(world.file("big").c_str(), O_CREAT | O_RDWR, 0644);
  ASSERT_GE(fd, 0) << std::strerror(errno);
  world.volume->setOffline(true);
  uint64_t written = 0;
  int error = 0;
  for (uint64_t i = 0; i <= kDisk / kPiece && error == 0; ++i) {
    const std::string piece(kPiece, static_cast<char>('a' + i % 26));
    const ssize_t n = ::pwrite(fd, piece.data(), piece.size(), static_cast<off_t>(written));
    if (n < 0) error = errno;
    if (n > 0) written += static_cast<uint64_t>(n);
  }
  EXPECT_EQ(error, ENOSPC);
  EXPECT_LE(written, kDisk - kReserve);
  EXPECT_GE(written, kDisk - kReserve - 2 * kPiece);
  VolumeStatus status;
  world.volume->status(status);
  EXPECT_NE(status.lastError.find("the cache's disk is full"), std::string::npos) << status.lastError;

  const std::string again(kPiece, 'z');
  EXPECT_EQ(::pwrite(fd, again.data(), again.size(), 0), static_cast<ssize_t>(kPiece));
  ASSERT_EQ(::close(fd), 0);
  const std::string content = ReadFile(world.file("big"));
  ASSERT_EQ(content.size(), written);
  EXPECT_EQ(content.substr(0, kPiece), again);
  EXPECT_EQ(content.substr(kPiece, kPiece), std::string(kPiece, 'b'));
}

// Once the changes have gone up, what the cache holds is a copy of the
// server's: new data takes its room instead of being refused, and the
// file whose copy went is read from the server again.
TEST(FuseLimits, CleanCopiesMakeRoomAtTheDiskReserve) {
  constexpr uint64_t kDisk = 40 << 20;
  constexpr uint64_t kFile = 24 << 20;
  MemoryEnv env;
  env.setCapacity(kDisk);
  MountWorld world(MemoryMountDrive(), {}, {}, nullptr, &env);
  ASSERT_TRUE(world.mount());
  auto write = [&](const std::string& name, const std::string& content) {
    const int fd = ::open(world.file(name).c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0) << std::strerror(errno);
    EXPECT_EQ(::write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()))
        << name << ": " << std::strerror(errno);
    ASSERT_EQ(::close(fd), 0);
  };
  const std::string first(kFile, 'f');
  write("first", first);
  ASSERT_TRUE(world.volume->waitUploadsIdle(MountWorld::kFlushMs));

  const std::string second(kFile, 's');
  write("second", second);
  // Compared whole, not printed: a mismatch of megabytes says nothing more.
  EXPECT_TRUE(ReadFile(world.file("second")) == second);
  EXPECT_TRUE(ReadFile(world.file("first")) == first);
}

}  // namespace
}  // namespace tarn::test
