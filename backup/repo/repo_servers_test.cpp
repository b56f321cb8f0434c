// A repository on each real server the tests start (WebDAV on Apache, SFTP
// on OpenSSH, NFS on Ganesha, S3 on Swift): created below folders that do not exist yet,
// filled, reopened, read back byte-exact, pruned and verified. The servers'
// variables come from testing/servers/*.sh; a missing one fails the test.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "backup/repo/repo_test_world.h"
#include "engine/backend_factory.h"
#include "testing/relay_backend.h"
#include "testing/remote_tree.h"
#include "testing/s3/swift_endpoint.h"

namespace tarn::backup {
namespace {

class RepoOnServer : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    base_ = GetParam() == "s3" ? tarn::testing::SwiftS3Endpoint("") : TestServerEndpoint(GetParam());
    ASSERT_FALSE(HasFailure());
    folder_ = "/repo-" + GetParam() + "-" + std::to_string(::getpid());
    endpoint_ = base_;
    endpoint_.root = base_.root + folder_ + "/backups/main";
  }
  void TearDown() override {
    if (std::unique_ptr<IBackend> b = MakeBackend(base_); b && b->connect().ok()) test::RemoveRemoteTree(*b, folder_);
  }

  std::shared_ptr<Repo> makeRepo() {
    RepoOptions options = TestRepoOptions();
    EndpointConfig ep = endpoint_;
    return std::make_shared<Repo>([ep] { return MakeBackend(ep); }, options);
  }
  std::shared_ptr<Repo> reopen() {
    auto repo = makeRepo();
    Status st = repo->open(kTestPassword);
    EXPECT_TRUE(st.ok()) << st.toString();
    st = repo->loadIndex();
    EXPECT_TRUE(st.ok()) << st.toString();
    return repo;
  }

  EndpointConfig base_, endpoint_;
  std::string folder_;
};

TEST_P(RepoOnServer, CreateStoreReopenPruneAndVerify) {
  // Ganesha answers the mount of a missing path with "access denied", which
  // cannot be told from a real refusal: there only the last folder is made.
  if (GetParam() == "nfs") {
    std::unique_ptr<IBackend> b = MakeBackend(base_);
    ASSERT_TRUE(b && b->connect().ok());
    for (const std::string& dir : {folder_, folder_ + "/backups"}) ASSERT_TRUE(b->mkdir(dir).ok()) << dir;
  }
  Status made = EnsureRemoteRoot(endpoint_);
  ASSERT_TRUE(made.ok()) << made.toString();
  auto repo = makeRepo();
  ASSERT_EQ(repo->probe().code, Status::kNotFound);
  Status st = repo->init(kTestPassword);
  ASSERT_TRUE(st.ok()) << st.toString();
  ASSERT_TRUE(repo->loadIndex().ok());

  // Random and compressible data over several packs, a duplicate and a tree.
  std::vector<std::vector<uint8_t>> blobs;
  for (uint32_t i = 0; i < 6; ++i) blobs.push_back(RandomBlob(700000, i));
  blobs.push_back(std::vector<uint8_t>(2 * 1048576, 'z'));
  std::vector<BlobId> ids;
  for (const auto& b : blobs) ids.push_back(RepoWorld().store(*repo, b));
  BlobId again;
  ASSERT_TRUE(repo->storeBlob(kBlobData, blobs[0].data(), blobs[0].size(), again).ok());
  EXPECT_EQ(again, ids[0]);
  std::vector<uint8_t> tree = {'{', '}'};
  BlobId treeId;
  ASSERT_TRUE(repo->storeBlob(kBlobTree, tree.data(), tree.size(), treeId).ok());
  st = repo->flush();
  ASSERT_TRUE(st.ok()) << st.toString();
  SnapshotInfo info;
  info.tree = treeId;
  ASSERT_TRUE(repo->writeSnapshot(info).ok());
  repo.reset();

  auto reopened = reopen();
  for (size_t i = 0; i < blobs.size(); ++i) {
    std::vector<uint8_t> back;
    st = reopened->readBlob(ids[i], back);
    ASSERT_TRUE(st.ok()) << st.toString();
    EXPECT_TRUE(back == blobs[i]) << "blob " << i;
  }
  std::vector<SnapshotInfo> listed;
  ASSERT_TRUE(reopened->listSnapshots(listed).ok());
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].id, info.id);

  // Keep every other blob: some packs go, some are repacked.
  BlobIdSet referenced{treeId};
  for (size_t i = 0; i < ids.size(); i += 2) referenced.insert(ids[i]);
  PruneReport report;
  st = reopened->lock(LockMode::kExclusive, "prune");
  ASSERT_TRUE(st.ok()) << st.toString();
  st = reopened->retirePacks(referenced, report);
  ASSERT_TRUE(st.ok()) << st.toString();
  EXPECT_GT(report.packsDeleted + report.packsRepacked, 0u);
  reopened.reset();

  auto verified = reopen();
  CheckReport check;
  st = verified->checkPack(true, check, nullptr);
  ASSERT_TRUE(st.ok()) << st.toString();
  EXPECT_TRUE(check.problems.empty()) << check.problems.front();
  EXPECT_EQ(check.packsRead, check.packs);
  EXPECT_EQ(check.unindexedPacks, 0u);
  for (size_t i = 0; i < ids.size(); ++i) {
    std::vector<uint8_t> back;
    if (i % 2 == 0) {
      ASSERT_TRUE(verified->readBlob(ids[i], back).ok());
      EXPECT_TRUE(back == blobs[i]) << "blob " << i;
    } else {
      EXPECT_FALSE(verified->hasBlob(ids[i])) << "blob " << i;
    }
  }
}

// A port of this host where nothing listens: bound, so that no one else
// takes it while the test runs, but never listening.
class ClosedPort {
 public:
  ClosedPort() {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(addr);
    EXPECT_EQ(::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
    EXPECT_EQ(::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &length), 0);
    port_ = ntohs(addr.sin_port);
  }
  ~ClosedPort() { ::close(fd_); }
  uint32_t port() const { return port_; }

 private:
  int fd_ = -1;
  uint32_t port_ = 0;
};

TEST(RepoOnClosedPort, RefusedConnectionsOfRealBackendsAreTriedOnlyAsADriveTriesThem) {
  ClosedPort closed;
  for (const char* protocol : {"sftp", "webdav"}) {
    SCOPED_TRACE(protocol);
    EndpointConfig ep;
    ep.protocol = protocol;
    ep.connectTimeoutMs = 5000;
    if (ep.protocol == "sftp") {
      ep.host = "127.0.0.1";
      ep.port = closed.port();
      ep.user = "nobody";
      ep.password = "x";
    } else {
      ep.host = "http://127.0.0.1:" + std::to_string(closed.port()) + "/dav";
    }
    auto connects = std::make_shared<std::atomic<int>>(0);
    RepoOptions options = TestRepoOptions();
    Repo repo(
        [ep, connects] {
          return std::make_unique<test::RelayBackend>(MakeBackend(ep), [connects](test::RelayOp op, const std::string&) {
            if (op == test::RelayOp::kConnect) ++*connects;
          });
        },
        options);
    Status st = repo.probe();
    EXPECT_EQ(st.code, Status::kNetwork) << st.toString();
    EXPECT_EQ(connects->load(), options.refusedRetry.maxAttempts) << st.toString();
  }
}

INSTANTIATE_TEST_SUITE_P(Servers, RepoOnServer, ::testing::Values("webdav", "sftp", "nfs", "s3"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace tarn::backup
