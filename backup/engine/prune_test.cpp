#include "backup/engine/prune.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "backup/engine/backup_test_world.h"

namespace tarn::backup {
namespace {

namespace fs = std::filesystem;
using test::MemOp;

// Three snapshots of job "a" and one of job "b", each of a tree with content
// of its own beside content they share, so that forgetting a snapshot frees
// blobs and keeping another keeps shared ones.
struct PruneWorld {
  BackupWorld bw;
  std::shared_ptr<Repo> repo;
  std::map<std::string, std::map<std::string, std::string>> trees;  // by snapshot id
  std::vector<std::string> ids;                                     // in backup order

  PruneWorld() {
    repo = bw.create();
    bw.write("shared.bin", RandomString(150000, 1));
    for (uint32_t i = 0; i < 4; ++i) {
      fs::remove_all(bw.src + "/own");
      bw.write("own/data" + std::to_string(i) + ".bin", RandomString(120000, 10 + i));
      const std::string job = i < 3 ? "a" : "b";
      BackupWorld::Result r = bw.backup(*repo, bw.args(job));
      EXPECT_TRUE(r.status.ok()) << r.status.toString();
      // Runs of one second share their time, which leaves their order to
      // chance: the record is written again an hour after the one before.
      EXPECT_TRUE(repo->deleteSnapshot(r.snapshot.id).ok());
      r.snapshot.time = kFirstTime + i * kHour;
      EXPECT_TRUE(repo->writeSnapshot(r.snapshot).ok());
      ids.push_back(r.snapshot.id);
      trees[r.snapshot.id] = ReadSnapshot(*repo, r.snapshot.tree);
    }
  }

  static constexpr int64_t kFirstTime = 1700000000;
  static constexpr int64_t kHour = 3600;

  // Every snapshot still recorded reads back whole, as it was backed up.
  void expectRemainingSnapshotsReadable() {
    auto reopened = bw.reopen();
    std::vector<SnapshotInfo> all;
    ASSERT_TRUE(reopened->listSnapshots(all).ok());
    for (const SnapshotInfo& s : all) {
      SCOPED_TRACE(s.id.substr(0, 8));
      ASSERT_EQ(trees.count(s.id), 1u);
      ExpectSameTree(ReadSnapshot(*reopened, s.tree), trees[s.id]);
    }
  }
  std::vector<std::string> remainingIds() {
    std::vector<SnapshotInfo> all;
    EXPECT_TRUE(bw.reopen()->listSnapshots(all).ok());
    std::vector<std::string> out;
    for (const SnapshotInfo& s : all) out.push_back(s.id);
    std::sort(out.begin(), out.end());
    return out;
  }
};

std::vector<std::string> Sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

TEST(Prune, ForgetsOnlyTheJobsOwnSnapshotsAndCleansUpWhatNoOtherNeeds) {
  PruneWorld pw;
  const uint64_t before = pw.bw.repoWorld.packPaths().size();
  std::vector<std::string> removed;
  PruneReport report;
  Status st = Prune(*pw.repo, Retention{1, 0, 0, 0}, "a", true, nullptr, removed, &report);
  ASSERT_TRUE(st.ok()) << st.toString();
  EXPECT_EQ(Sorted(removed), Sorted({pw.ids[0], pw.ids[1]}));
  EXPECT_EQ(pw.remainingIds(), Sorted({pw.ids[2], pw.ids[3]})) << "job b's snapshot stays";
  EXPECT_GT(report.packsDeleted + report.packsRepacked, 0u);
  EXPECT_GT(report.bytesFreed, 0u);
  EXPECT_LE(pw.bw.repoWorld.packPaths().size(), before);
  pw.expectRemainingSnapshotsReadable();

  // With an empty job id every snapshot is subject to the retention, and
  // without cleanup no pack is touched.
  const std::vector<std::string> packs = pw.bw.repoWorld.packPaths();
  removed.clear();
  ASSERT_TRUE(Prune(*pw.repo, Retention{1, 0, 0, 0}, "", false, nullptr, removed, nullptr).ok());
  EXPECT_EQ(removed.size(), 1u);
  EXPECT_EQ(pw.bw.repoWorld.packPaths(), packs);
}

TEST(Prune, RecordAlreadyGoneCountsAsRemoved) {
  PruneWorld pw;
  pw.bw.repoWorld.server->addFault(
      Fault(MemOp::kRemove, 1, 1, Status(Status::kNotFound, "gone"), "/snapshots/" + pw.ids[1]));
  std::vector<std::string> removed;
  ASSERT_TRUE(Prune(*pw.repo, Retention{1, 0, 0, 0}, "a", false, nullptr, removed, nullptr).ok());
  EXPECT_EQ(removed, (std::vector<std::string>{pw.ids[1], pw.ids[0]}));
}

TEST(Prune, DamagedSnapshotRecordStopsTheCleanup) {
  PruneWorld pw;
  // Job b's record no longer opens: the blobs only it reaches must survive.
  pw.bw.repoWorld.server->putFile("/snapshots/" + pw.ids[3], "not a sealed record");
  const std::vector<std::string> packs = pw.bw.repoWorld.packPaths();
  std::vector<std::string> removed;
  Status st = Prune(*pw.repo, Retention{1, 0, 0, 0}, "a", true, nullptr, removed, nullptr);
  EXPECT_EQ(st.code, Status::kProtocol);
  EXPECT_EQ(st.message,
            "space is not reclaimed while 1 snapshot record is damaged; forget each by the id a check gives: " +
                pw.ids[3]);
  EXPECT_EQ(removed.size(), 2u) << "forgetting by retention still happens";
  EXPECT_EQ(pw.bw.repoWorld.packPaths(), packs);
  // The source is as job b last saw it: backing it up again adds nothing
  // when every blob of the damaged snapshot is still stored.
  auto reopened = pw.bw.reopen();
  BackupWorld::Result again = pw.bw.backup(*reopened, pw.bw.args("b"));
  ASSERT_TRUE(again.status.ok());
  EXPECT_EQ(again.snapshot.addedBytes, 0u) << "every blob of job b's tree is still stored";
}

TEST(Prune, NoLiveBlobIsLostWhicheverCallFails) {
  // The calls of a clean cleanup, in order; each run below fails one of them.
  std::vector<test::CallRecord> calls;
  {
    PruneWorld pw;
    pw.bw.repoWorld.server->clearCalls();
    std::vector<std::string> removed;
    ASSERT_TRUE(Prune(*pw.repo, Retention{1, 0, 0, 0}, "a", true, nullptr, removed, nullptr).ok());
    calls = pw.bw.repoWorld.server->calls();
  }
  ASSERT_GT(calls.size(), 10u);
  std::map<MemOp, int> seen;
  for (const test::CallRecord& call : calls) {
    if (call.op == MemOp::kConnect || call.op == MemOp::kDisconnect || call.op == MemOp::kPing) continue;
    const int occurrence = ++seen[call.op];
    SCOPED_TRACE(std::string(test::MemOpName(call.op)) + " #" + std::to_string(occurrence) + " " + call.path);
    PruneWorld pw;
    pw.bw.repoWorld.server->clearCalls();
    pw.bw.repoWorld.server->addFault(Fault(call.op, occurrence));
    std::vector<std::string> removed;
    const Status failed = Prune(*pw.repo, Retention{1, 0, 0, 0}, "a", true, nullptr, removed, nullptr);
    // Pack names are random, so another world may list and make one folder
    // fewer under /data and never reach the call.
    const bool reached = pw.bw.repoWorld.server->countCalls(call.op) >= occurrence;
    EXPECT_TRUE(!reached || !failed.ok()) << "the injected failure must end the prune";
    pw.bw.repoWorld.server->clearFaults();
    pw.expectRemainingSnapshotsReadable();
    // A later cleanup finishes the job.
    pw.repo->unlock();
    auto reopened = pw.bw.reopen();
    removed.clear();
    Status st = Prune(*reopened, Retention{1, 0, 0, 0}, "a", true, nullptr, removed, nullptr);
    EXPECT_TRUE(st.ok()) << st.toString();
    pw.expectRemainingSnapshotsReadable();
    if (HasFailure()) break;
  }
}

}  // namespace
}  // namespace tarn::backup
