#include "platform/local_dir.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

#include "platform/caller_rights.h"
#include "testing/temp_dir.h"

namespace tarn::localfs {
namespace {

constexpr uint64_t kTicksPerSecond = 10000000;
constexpr uint64_t kSecondsFrom1601To1970 = 11644473600;

class LocalDirTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return dir_.file(name); }
  void Write(const std::string& name, const std::string& data) {
    std::ofstream(Path(name), std::ios::binary) << data;
  }

  test::TempDir dir_{"tarn-localdir", 0755};
  const std::string& root_ = dir_.path();
};

TEST_F(LocalDirTest, ListsEveryKindWithoutFollowingLinks) {
  Write("file", "12345");
  ASSERT_EQ(::mkdir(Path("folder").c_str(), 0755), 0);
  ASSERT_EQ(::symlink("file", Path("link-file").c_str()), 0);
  ASSERT_EQ(::symlink("folder", Path("link-folder").c_str()), 0);
  ASSERT_EQ(::symlink("missing", Path("dangling").c_str()), 0);
  ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0644), 0);
  int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::string sockPath = Path("socket");
  ASSERT_LT(sockPath.size(), sizeof addr.sun_path);
  std::copy(sockPath.begin(), sockPath.end(), addr.sun_path);
  ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  Write("bad\xFFname", "x");
  // 2021-03-04 05:06:07.123456789 UTC; the stored unit is 100 ns.
  const timespec times[2] = {{1614834367, 123456789}, {1614834367, 123456789}};
  ASSERT_EQ(::utimensat(AT_FDCWD, Path("file").c_str(), times, 0), 0);

  LocalDir dir;
  ASSERT_TRUE(LocalDir::open(root_, dir).ok());
  std::vector<Entry> entries;
  ASSERT_TRUE(dir.list(entries).ok());
  ::close(sock);

  std::map<std::string, Entry> byName;
  for (const Entry& e : entries) byName[e.name] = e;
  struct Case {
    const char* name;
    Kind kind;
  } cases[] = {
      {"file", Kind::kFile},        {"folder", Kind::kFolder}, {"link-file", Kind::kLink},
      {"link-folder", Kind::kLink}, {"dangling", Kind::kLink}, {"fifo", Kind::kOther},
      {"socket", Kind::kOther},     {"bad\xFFname", Kind::kFile},
  };
  EXPECT_EQ(entries.size(), std::size(cases));
  for (const auto& c : cases) {
    ASSERT_EQ(byName.count(c.name), 1u) << c.name;
    EXPECT_EQ(byName[c.name].kind, c.kind) << c.name;
    EXPECT_EQ(byName[c.name].error, 0) << c.name;
    EXPECT_EQ(byName[c.name].device, dir.device()) << c.name;
  }
  EXPECT_EQ(byName["file"].size, 5u);
  EXPECT_EQ(byName["file"].mtime, (1614834367 + kSecondsFrom1601To1970) * kTicksPerSecond + 1234567);

  Entry target;
  ASSERT_TRUE(dir.statTarget("link-file", target).ok());
  EXPECT_EQ(target.kind, Kind::kFile);
  EXPECT_EQ(target.size, 5u);
  ASSERT_TRUE(dir.statTarget("link-folder", target).ok());
  EXPECT_EQ(target.kind, Kind::kFolder);
  EXPECT_EQ(dir.statTarget("dangling", target).native, ENOENT);
}

TEST_F(LocalDirTest, OpensOnlyWhatTheWalkMayRead) {
  Write("file", "data");
  ASSERT_EQ(::mkdir(Path("folder").c_str(), 0755), 0);
  ASSERT_EQ(::symlink("folder", Path("link-folder").c_str()), 0);
  ASSERT_EQ(::symlink("file", Path("link-file").c_str()), 0);
  ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0644), 0);

  LocalDir dir;
  ASSERT_TRUE(LocalDir::open(root_, dir).ok());
  LocalDir sub;
  EXPECT_TRUE(dir.openFolder("folder", sub).ok());
  // A link put where a folder was must not lead the walk elsewhere.
  Status link = dir.openFolder("link-folder", sub);
  EXPECT_TRUE(link.native == ELOOP || link.native == ENOTDIR) << link.toString();
  EXPECT_EQ(dir.openFolder("missing", sub).code, Status::kNotFound);

  LocalFile file;
  // A FIFO opened for reading would wait for a writer forever.
  EXPECT_EQ(dir.openFile("fifo", file).code, Status::kUnsupported);
  EXPECT_EQ(dir.openFile("folder", file).code, Status::kUnsupported);
  ASSERT_TRUE(dir.openFile("link-file", file).ok());
  uint8_t buffer[16];
  size_t got = 0;
  ASSERT_TRUE(file.read(buffer, sizeof buffer, got).ok());
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), got), "data");
  ASSERT_TRUE(file.read(buffer, sizeof buffer, got).ok());
  EXPECT_EQ(got, 0u);
}

TEST_F(LocalDirTest, ReadingLeavesTheAccessTimeAlone) {
  Write("file", "content");
  // An access time older than the modification time is exactly the case in
  // which relatime would move it on a read.
  const timespec times[2] = {{1000000000, 0}, {1500000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, Path("file").c_str(), times, 0), 0);
  LocalFile file;
  ASSERT_TRUE(LocalFile::open(Path("file"), file).ok());
  uint8_t buffer[16];
  size_t got = 0;
  ASSERT_TRUE(file.read(buffer, sizeof buffer, got).ok());
  EXPECT_EQ(got, 7u);
  struct stat st {};
  ASSERT_EQ(::stat(Path("file").c_str(), &st), 0);
  EXPECT_EQ(st.st_atim.tv_sec, 1000000000);
}

TEST_F(LocalDirTest, FilesOfOtherOwnersAreReadWithoutNoAtime) {
  ASSERT_EQ(::geteuid(), 0u) << "this test switches users and must run as root";
  Write("file", "shared");
  ASSERT_EQ(::chmod(Path("file").c_str(), 0644), 0);
  ASSERT_EQ(::mkdir(Path("private").c_str(), 0700), 0);
  ScopedCallerRights rights;
  ASSERT_TRUE(rights.enter(CallerToken{4242, 4343, {}}).ok());
  LocalFile file;
  Status opened = LocalFile::open(Path("file"), file);
  LocalDir dir;
  Status listed = LocalDir::open(Path("private"), dir);
  ASSERT_TRUE(rights.leave().ok());

  EXPECT_TRUE(opened.ok()) << opened.toString();
  EXPECT_EQ(listed.code, Status::kAccessDenied);
  EXPECT_EQ(listed.native, EACCES);
}

}  // namespace
}  // namespace tarn::localfs
