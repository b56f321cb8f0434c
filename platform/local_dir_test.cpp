#include "platform/local_dir.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <string>

#include "testing/temp_dir.h"

// Listing and reading as the backup walk meets them (kinds of entries, other
// owners' files, permissions) are tested through the walk; here what the walk
// cannot show.
namespace tarn::localfs {
namespace {

TEST(LocalDir, OpensOnlyWhatTheWalkMayRead) {
  test::TempDir dir("tarn-localdir");
  std::ofstream(dir.file("file")) << "data";
  ASSERT_EQ(::mkdir(dir.file("folder").c_str(), 0755), 0);
  ASSERT_EQ(::symlink("folder", dir.file("link-folder").c_str()), 0);
  ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0644), 0);

  LocalDir top;
  ASSERT_TRUE(LocalDir::open(dir.path(), top).ok());
  LocalDir sub;
  EXPECT_TRUE(top.openFolder("folder", sub).ok());
  // A link put where a folder was listed must not lead the walk elsewhere.
  Status link = top.openFolder("link-folder", sub);
  EXPECT_TRUE(link.native == ELOOP || link.native == ENOTDIR) << link.toString();

  LocalFile file;
  // A FIFO opened for a blocking read would wait for a writer forever.
  EXPECT_EQ(top.openFile("fifo", file).code, Status::kUnsupported);
  EXPECT_EQ(top.openFile("folder", file).code, Status::kUnsupported);
  EXPECT_TRUE(top.openFile("file", file).ok());
}

TEST(LocalFile, ReadingLeavesTheAccessTimeAlone) {
  test::TempDir dir("tarn-localdir");
  std::ofstream(dir.file("file")) << "content";
  // An access time older than the modification time is the case in which
  // relatime would move it on a read.
  const timespec times[2] = {{1000000000, 0}, {1500000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, dir.file("file").c_str(), times, 0), 0);
  LocalFile file;
  ASSERT_TRUE(LocalFile::open(dir.file("file"), file).ok());
  uint8_t buffer[16];
  size_t got = 0;
  ASSERT_TRUE(file.read(buffer, sizeof buffer, got).ok());
  EXPECT_EQ(got, 7u);
  struct stat st {};
  ASSERT_EQ(::stat(dir.file("file").c_str(), &st), 0);
  EXPECT_EQ(st.st_atim.tv_sec, 1000000000);
}

}  // namespace
}  // namespace tarn::localfs
