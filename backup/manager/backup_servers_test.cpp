// Two clients of one repository on the SFTP test server (OpenSSH), racing a
// backup and a prune: two services, each with its job on the repository, and
// a backup of a client that takes no lock beside a prune. The server's
// variables come from testing/servers/sshd.sh; a missing one fails the test.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <mutex>

#include "backends/ssh_nfs/sftp_test_server.h"
#include "backup/engine/backup_run.h"
#include "backup/engine/backup_test_world.h"
#include "backup/engine/prune.h"
#include "backup/engine/repository_check.h"
#include "backup/engine/restore_test_world.h"
#include "backup/manager/backup_manager.h"
#include "backup/repo/repo_test_world.h"
#include "engine/backend_factory.h"
#include "testing/gate.h"
#include "testing/relay_backend.h"
#include "testing/remote_tree.h"
#include "testing/temp_dir.h"

namespace tarn {
namespace {

using vx::json::Value;

// Holds the first upload below `folder` of every back-end it makes, until
// released.
struct HeldUploads {
  explicit HeldUploads(std::string folder) : folder(std::move(folder)) {}

  std::unique_ptr<IBackend> make(const EndpointConfig& ep) {
    return std::make_unique<test::RelayBackend>(MakeBackend(ep), [this](test::RelayOp op, const std::string& path) {
      if (op != test::RelayOp::kOpenWrite || path.rfind(folder, 0) != 0) return;
      {
        std::lock_guard<std::mutex> lock(mu);
        if (used) return;
        used = true;
      }
      gate->arriveAndWait();
    });
  }

  const std::string folder;
  std::shared_ptr<test::Gate> gate = std::make_shared<test::Gate>();
  std::mutex mu;
  bool used = false;  // guarded by mu
};

class RaceOnSftp : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = sftp_test::ServerEndpoint();
    ASSERT_FALSE(HasFailure());
    folder_ = "/race-" + std::to_string(::getpid());
    endpoint_ = base_;
    endpoint_.root += folder_;
    std::unique_ptr<IBackend> b = MakeBackend(base_);
    ASSERT_TRUE(b && b->connect().ok() && b->mkdir(folder_).ok());
    // Several packs' worth, in folders.
    for (uint32_t i = 0; i < 12; ++i) {
      const std::string dir = source_.file("f" + std::to_string(i % 3));
      std::filesystem::create_directories(dir);
      backup::WriteText(dir + "/file" + std::to_string(i), backup::RandomString(300000, i));
    }
  }
  void TearDown() override {
    if (std::unique_ptr<IBackend> b = MakeBackend(base_); b && b->connect().ok()) test::RemoveRemoteTree(*b, folder_);
  }

  // A service of its own, with its own backup folder, whose one job backs
  // `source` up to the repository; `relay` (may be null) makes its back-ends.
  std::unique_ptr<BackupManager> service(const test::TempDir& folder, const std::string& job,
                                         const std::string& source, HeldUploads* relay) {
    auto manager = std::make_unique<BackupManager>(nullptr, folder.path());
    manager->setRepoDefaults(backup::TestRepoOptions());
    manager->setBackendFactory([relay](const EndpointConfig& ep) {
      return relay != nullptr ? relay->make(ep) : MakeBackend(ep);
    });
    backup::BackupJob j;
    j.id = job;
    j.sources = {source};
    j.endpoint = endpoint_;
    j.password = backup::kTestPassword;
    j.retention = backup::Retention{1, 0, 0, 0};
    Value request = Value::object();
    request.set("op", "backupSet");
    request.set("job", j.toJson(true));
    EXPECT_TRUE(manager->handle(request, nullptr)["ok"].asBool());
    return manager;
  }
  static Value state(BackupManager& m, const std::string& id) {
    const Value list = m.handle(test_json(R"({"op":"backupList"})"), nullptr)["jobs"];
    for (size_t i = 0; i < list.size(); ++i)
      if (list.at(i)["id"].asString() == id) return list.at(i)["state"];
    return Value();
  }
  static Value test_json(const std::string& text) {
    Value v;
    EXPECT_TRUE(vx::json::Parse(text, v));
    return v;
  }
  static Value runToEnd(BackupManager& m, const std::string& op, const std::string& id) {
    EXPECT_TRUE(m.handle(test_json(R"({"op":")" + op + R"(","id":")" + id + R"("})"), nullptr)["ok"].asBool());
    EXPECT_TRUE(m.waitIdle(id, test::Gate::kDefaultWaitMs));
    return state(m, id);
  }
  std::map<std::string, std::string> files(const std::string& root) {
    std::map<std::string, std::string> out;
    for (const std::string& rel : backup::TreeOf(root))
      if (std::filesystem::is_regular_file(root + "/" + rel)) out[rel] = backup::ReadText(root + "/" + rel);
    return out;
  }

  EndpointConfig base_, endpoint_;
  std::string folder_;
  test::TempDir source_{"tarn-race-source", 0755};
};

TEST_F(RaceOnSftp, APruneOfAnotherServiceWaitsForTheBackupItMeets) {
  test::TempDir folderA("tarn-service-a"), folderB("tarn-service-b"), empty("tarn-empty", 0755);
  // A's backup is held when its version record is about to be written:
  // every pack and index segment of it is stored, no version names them.
  HeldUploads held("/snapshots/");
  auto a = service(folderA, "ja", source_.path(), &held);
  auto b = service(folderB, "jb", empty.path(), nullptr);
  ASSERT_EQ(runToEnd(*b, "backupRun", "jb")["lastResult"].asString(), "ok");

  ASSERT_TRUE(a->handle(test_json(R"({"op":"backupRun","id":"ja"})"), nullptr)["ok"].asBool());
  ASSERT_TRUE(held.gate->waitArrived());
  const std::string refused = runToEnd(*b, "backupPrune", "jb")["lastNote"].asString();
  EXPECT_EQ(refused.rfind("prune: the repository is locked by backup on " + backup::LocalHostName() +
                              " (process " + std::to_string(::getpid()) + ") since ",
                          0),
            0u)
      << refused;
  held.gate->release();
  ASSERT_TRUE(a->waitIdle("ja", test::Gate::kDefaultWaitMs));
  const Value backedUp = state(*a, "ja");
  ASSERT_EQ(backedUp["lastResult"].asString(), "ok") << backedUp["lastError"].asString();

  // Once A is done, B's prune runs and takes nothing A's version needs.
  EXPECT_EQ(runToEnd(*b, "backupPrune", "jb")["lastNote"].asString().rfind("cleanup: ", 0), 0u);
  const std::string checked = runToEnd(*a, "backupCheck", "ja")["lastNote"].asString();
  EXPECT_EQ(checked.rfind("check passed: ", 0), 0u) << checked;
  test::TempDir target("tarn-race-target", 0755);
  Value restore = Value::object();
  restore.set("op", "backupRestore");
  restore.set("id", "ja");
  restore.set("snapshot", backedUp["lastSnapshot"]["id"].asString());
  restore.set("target", target.path());
  ASSERT_TRUE(a->handle(restore, nullptr)["ok"].asBool());
  ASSERT_TRUE(a->waitIdle("ja", test::Gate::kDefaultWaitMs));
  EXPECT_EQ(files(target.path() + "/" + std::filesystem::path(source_.path()).filename().string()),
            files(source_.path()));
}

TEST_F(RaceOnSftp, PacksOfAWriterThatTakesNoLockOutliveAPruneWhileTheyAreYoung) {
  // The writer is held before its first index segment: its packs are on
  // the server, and no index names them.
  HeldUploads held("/index/");
  backup::RepoOptions options = backup::TestRepoOptions();
  EndpointConfig ep = endpoint_;
  auto writer = std::make_shared<backup::Repo>([&held, ep] { return held.make(ep); }, options);
  ASSERT_TRUE(writer->init(backup::kTestPassword).ok());
  ASSERT_TRUE(writer->loadIndex().ok());
  backup::BackupRunArgs args;
  args.jobId = "old";
  args.sources = {source_.path()};
  backup::SnapshotInfo version;
  std::vector<std::string> problems;
  Status backedUp;
  std::thread backup([&] { backedUp = backup::RunBackup(*writer, args, nullptr, nullptr, version, problems); });
  ASSERT_TRUE(held.gate->waitArrived());

  auto pruner = std::make_shared<backup::Repo>([ep] { return MakeBackend(ep); }, options);
  ASSERT_TRUE(pruner->open(backup::kTestPassword).ok());
  ASSERT_TRUE(pruner->loadIndex().ok());
  std::vector<std::string> removed;
  backup::PruneReport report;
  Status st = backup::Prune(*pruner, backup::Retention{1, 0, 0, 0}, "", true, nullptr, removed, &report);
  EXPECT_TRUE(st.ok()) << st.toString();
  EXPECT_GT(report.youngPacksKept, 0u);
  EXPECT_EQ(report.orphansRemoved, 0u);
  pruner.reset();

  held.gate->release();
  backup.join();
  ASSERT_TRUE(backedUp.ok()) << backedUp.toString();
  writer.reset();
  auto reader = std::make_shared<backup::Repo>([ep] { return MakeBackend(ep); }, options);
  ASSERT_TRUE(reader->open(backup::kTestPassword).ok());
  ASSERT_TRUE(reader->loadIndex().ok());
  backup::CheckReport check;
  ASSERT_TRUE(backup::CheckRepository(*reader, true, check, nullptr, nullptr).ok());
  EXPECT_TRUE(check.problems.empty()) << check.problems.front();
  EXPECT_EQ(check.packsRead, check.packs);
}

}  // namespace
}  // namespace tarn
