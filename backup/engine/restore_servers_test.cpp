// A real tree backed up to a repository on the SFTP test server (OpenSSH) and
// restored from it: byte-exact, with the modification times and links as
// the version recorded them. The server's variables come from
// testing/servers/sshd.sh; a missing one fails the test.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "backends/ssh_nfs/sftp_test_server.h"
#include "backup/engine/restore.h"
#include "backup/engine/restore_test_world.h"
#include "backup/repo/repo_test_world.h"
#include "engine/backend_factory.h"
#include "foundation/codec.h"
#include "foundation/hash.h"
#include "testing/remote_tree.h"
#include "testing/temp_dir.h"

namespace tarn::backup {
namespace {

namespace fs = std::filesystem;

void SetTime(const std::string& path, int64_t seconds, long nanoseconds) {
  struct timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

// What a restored tree must hold for each regular file or file link of the
// source: a hash of the bytes and the modification time, read through links.
std::map<std::string, std::pair<std::string, uint64_t>> Files(const std::string& root) {
  std::map<std::string, std::pair<std::string, uint64_t>> out;
  for (const std::string& rel : TreeOf(root)) {
    const std::string path = root + "/" + rel;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    const std::string bytes = ReadText(path);
    out[rel] = {vx::HexEncode(vx::Sha256(bytes.data(), bytes.size())), FileTimeOf(st)};
  }
  return out;
}

class RestoreFromServer : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = sftp_test::ServerEndpoint();
    ASSERT_FALSE(HasFailure());
    endpoint_ = base_;
    folder_ = "/restore-" + std::to_string(::getpid());
    endpoint_.root += folder_;
  }
  void TearDown() override {
    if (std::unique_ptr<IBackend> b = MakeBackend(base_); b && b->connect().ok()) test::RemoveRemoteTree(*b, folder_);
  }
  std::shared_ptr<Repo> makeRepo() {
    EndpointConfig ep = endpoint_;
    return std::make_shared<Repo>([ep] { return MakeBackend(ep); }, TestRepoOptions());
  }

  EndpointConfig base_, endpoint_;
  std::string folder_;
  tarn::test::TempDir dir_{"tarn-restore-sftp", 0755};
};

TEST_F(RestoreFromServer, ARealTreeComesBackAsRecorded) {
  const std::string src = dir_.file("src");
  fs::create_directories(src + "/docs/deep/deeper");
  fs::create_directories(src + "/empty");
  WriteText(src + "/docs/zeros.bin", std::string(5 * 1024 * 1024 + 3, '\0'));
  std::vector<uint8_t> random = RandomBlob(3 * 1024 * 1024 + 11, 2);
  WriteText(src + "/docs/random.bin", std::string(random.begin(), random.end()));
  std::string text;
  for (int i = 0; i < 20000; ++i) text += "line " + std::to_string(i) + " of a compressible log\n";
  WriteText(src + "/docs/deep/log.txt", text);
  WriteText(src + "/docs/deep/deeper/tiny", "x");
  WriteText(src + "/docs/empty.txt", "");
  WriteText(src + "/odd name \\ with: colon", "odd");
  WriteText(src + "/readonly.txt", "do not touch");
  ASSERT_EQ(::chmod((src + "/readonly.txt").c_str(), 0444), 0);
  fs::create_symlink("docs/deep/log.txt", src + "/link-to-file");
  fs::create_directory_symlink("docs", src + "/link-to-folder");
  int64_t second = 1700000000;
  for (const std::string& rel : TreeOf(src)) SetTime(src + "/" + rel, second++, 123456789);

  Status made = EnsureRemoteRoot(endpoint_);
  ASSERT_TRUE(made.ok()) << made.toString();
  SnapshotInfo version;
  {
    auto repo = makeRepo();
    ASSERT_TRUE(repo->init(kTestPassword).ok());
    ASSERT_TRUE(repo->loadIndex().ok());
    version = BackUpFolder(*repo, src);
  }

  auto repo = makeRepo();
  ASSERT_TRUE(repo->open(kTestPassword).ok());
  ASSERT_TRUE(repo->loadIndex().ok());
  const std::string target = dir_.file("target");
  RestoreRequest request;
  request.target = target;
  request.inProcess = true;
  Progress progress;
  std::vector<std::string> problems;
  Status st = Restore(*repo, version, request, progress, nullptr, problems);
  ASSERT_TRUE(st.ok()) << st.toString();
  EXPECT_TRUE(problems.empty()) << problems.front();

  // Times are kept to the 100 ns of the stored unit; a link to a file was
  // recorded as the file it leads to, a link to a folder not at all.
  const std::string restored = target + "/src";
  const auto expected = Files(src);
  EXPECT_EQ(Files(restored), expected);
  std::vector<std::string> tree = TreeOf(src);
  tree.erase(std::find(tree.begin(), tree.end(), "link-to-folder"));
  EXPECT_EQ(TreeOf(restored), tree);
  EXPECT_TRUE(S_ISREG(StatOf(restored + "/link-to-file").st_mode));
  EXPECT_EQ(StatOf(restored + "/readonly.txt").st_mode & 0222, 0u);
  EXPECT_EQ(progress.files.load(), expected.size());

  // Restored again onto itself, nothing is read or written.
  const uint64_t downloaded = repo->bytesDownloaded.load();
  const ino_t inode = StatOf(restored + "/docs/random.bin").st_ino;
  Progress again;
  ASSERT_TRUE(Restore(*repo, version, request, again, nullptr, problems).ok());
  EXPECT_EQ(again.files.load(), expected.size());
  EXPECT_EQ(StatOf(restored + "/docs/random.bin").st_ino, inode);
  EXPECT_LT(repo->bytesDownloaded.load() - downloaded, 64u * 1024);  // the listings only
}

}  // namespace
}  // namespace tarn::backup
