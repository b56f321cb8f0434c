#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "backup/repo/repo_test_world.h"
#include "foundation/text.h"
#include "testing/log_capture.h"

namespace tarn::backup {
namespace {

using test::MemOp;

constexpr size_t kLiveSize = 600000;
const std::string kOrphan = "/data/ff/" + std::string(64, 'f');

// Four packs: A wholly live, B wholly dead, C with one live and one dead blob
// (live bytes just under half its length unless told otherwise), and T, a
// tree pack; plus an orphan pack object and an upload leftover.
struct RetireWorld {
  RepoWorld w;
  std::shared_ptr<Repo> repo;
  std::vector<std::pair<BlobId, std::vector<uint8_t>>> live;
  std::vector<BlobId> dead;
  BlobIdSet referenced;
  std::vector<std::string> originalPacks;
  uint32_t packLength[4] = {};  // A, B, C, T
  std::string packPath[4];

  explicit RetireWorld(size_t deadShortfall = 121) {
    w.options.compress = false;
    // Space is reclaimed two hours after the packs were stored, when the
    // orphan is old enough to go.
    w.options.clock = [] { return vx::UnixNow() + 2 * kUnnamedPackMinAgeSec; };
    repo = w.create();
    auto add = [&](size_t size, uint32_t seed, bool isLive, uint8_t type = kBlobData) {
      std::vector<uint8_t> data = RandomBlob(size, seed);
      BlobId id = w.store(*repo, data, type);
      if (isLive) {
        live.emplace_back(id, std::move(data));
        referenced.insert(id);
      } else {
        dead.push_back(id);
      }
    };
    add(kLiveSize, 1, true);
    add(kLiveSize, 2, true);
    add(kLiveSize, 3, false);
    add(kLiveSize, 4, false);
    add(kLiveSize, 5, true);
    add(kLiveSize - deadShortfall, 6, false);
    add(1000, 7, true, kBlobTree);
    EXPECT_TRUE(repo->flush().ok());
    EXPECT_TRUE(repo->lock(LockMode::kExclusive, "prune").ok());
    EXPECT_TRUE(repo->reloadIndexIfStale().ok());
    // Positions follow upload order, which the workers decide.
    std::vector<PackInfo> packs = RepoTestPeer::packs(*repo);
    EXPECT_EQ(packs.size(), 4u);
    const BlobId inPack[4] = {live[0].first, dead[0], live[2].first, live[3].first};
    for (size_t i = 0; i < 4; ++i) {
      BlobLocation loc;
      EXPECT_TRUE(RepoTestPeer::location(*repo, inPack[i], loc));
      packLength[i] = packs.at(loc.pack).length;
      packPath[i] = PackPath(packs.at(loc.pack).id);
    }
    w.server->putFile(kOrphan, "junk");
    w.server->putFile(kOrphan + ".part", "part");
    originalPacks = w.packPaths();
  }

  void expectLiveBlobsReadable(Repo& r) {
    for (const auto& [id, data] : live) {
      std::vector<uint8_t> back;
      Status st = r.readBlob(id, back);
      EXPECT_TRUE(st.ok()) << st.toString();
      EXPECT_EQ(back, data);
    }
  }
};

TEST(RepoRetire, CleanRunDeletesDeadPacksRepacksSparseOnesAndSweepsOrphans) {
  RetireWorld rw;
  PruneReport report;
  ASSERT_TRUE(rw.repo->retirePacks(rw.referenced, report).ok());
  EXPECT_EQ(report.packsExamined, 4u);
  EXPECT_EQ(report.packsDeleted, 1u);
  EXPECT_EQ(report.packsRepacked, 1u);
  EXPECT_EQ(report.orphansRemoved, 1u);
  EXPECT_EQ(report.bytesKept, uint64_t(rw.packLength[0]) + rw.packLength[3]);
  EXPECT_EQ(report.temporariesRemoved, 1u);
  EXPECT_EQ(report.bytesFreed, uint64_t(rw.packLength[1]) + rw.packLength[2] + 4 + 4);
  EXPECT_FALSE(rw.w.server->exists(kOrphan));
  EXPECT_FALSE(rw.w.server->exists(kOrphan + ".part")) << "an upload left two hours ago goes too";
  EXPECT_EQ(rw.w.names("/index").size(), 1u);
  rw.expectLiveBlobsReadable(*rw.repo);
  auto reopened = rw.w.reopen();
  rw.expectLiveBlobsReadable(*reopened);
  for (const BlobId& id : rw.dead) EXPECT_FALSE(reopened->hasBlob(id));
}

TEST(RepoRetire, NoLiveBlobIsLostWhicheverStepFails) {
  // Remote calls of one run, in order: the read of C, the upload of the new
  // pack, the index upload, the removal of the old index object, the removals
  // of B and C, the listing of /data, the removal of the orphan.
  struct Case {
    const char* name;
    MemOp op;
    int call;  // 0: no fault, but pack B is gone already
  } cases[] = {
      {"read of the pack to repack", MemOp::kReadRange, 1}, {"upload of the new pack", MemOp::kOpenWrite, 1},
      {"upload of the new index", MemOp::kOpenWrite, 2},    {"removal of the old index", MemOp::kRemove, 1},
      {"removal of a retired pack", MemOp::kRemove, 2},     {"listing of /data", MemOp::kList, 1},
      {"removal of the orphan", MemOp::kRemove, 4},         {"a pack already gone", MemOp::kRemove, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RetireWorld rw;
    if (c.call > 0) {
      rw.w.server->addFault(Fault(c.op, c.call));
    } else {
      auto conn = rw.w.server->connection();
      ASSERT_TRUE(conn->connect().ok() && conn->remove(rw.packPath[1], false).ok());
    }
    PruneReport report;
    EXPECT_EQ(rw.repo->retirePacks(rw.referenced, report).code, c.call > 0 ? Status::kIo : Status::kOk);
    rw.w.server->clearFaults();
    rw.expectLiveBlobsReadable(*rw.w.reopen());

    // A later run on a fresh object finishes the work.
    rw.repo->unlock();
    auto again = rw.w.reopen();
    ASSERT_TRUE(again->lock(LockMode::kExclusive, "prune").ok());
    PruneReport next;
    ASSERT_TRUE(again->retirePacks(rw.referenced, next).ok());
    auto last = rw.w.reopen();
    rw.expectLiveBlobsReadable(*last);
    for (const BlobId& id : rw.dead) EXPECT_FALSE(last->hasBlob(id));
    EXPECT_FALSE(rw.w.server->exists(kOrphan));
  }
}

// A repository holding one blob, whose clock runs `age` seconds ahead: what
// is stored now is that old when space is reclaimed.
struct AgedWorld {
  RepoWorld w;
  std::shared_ptr<Repo> repo;
  BlobId kept;

  explicit AgedWorld(int64_t age) {
    w.options.clock = [age] { return vx::UnixNow() + age; };
    repo = w.create();
    kept = w.store(*repo, RandomBlob(1000, 1));
    EXPECT_TRUE(repo->flush().ok());
  }
};

TEST(RepoRetire, PacksNoIndexNamesAreLeftAloneUntilTheyAreAnHourOld) {
  struct Case {
    int64_t age;  // of the orphan when space is reclaimed
    bool removed;
  } cases[] = {{kUnnamedPackMinAgeSec - 60, false}, {kUnnamedPackMinAgeSec + 60, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.age);
    AgedWorld aged(c.age);
    RepoWorld& w = aged.w;
    std::shared_ptr<Repo>& repo = aged.repo;
    const BlobId kept = aged.kept;
    // Another client's pack whose index segment is not written yet.
    w.server->putFile(kOrphan, "a pack of another client");
    ASSERT_TRUE(repo->lock(LockMode::kExclusive, "prune").ok());
    PruneReport report;
    ASSERT_TRUE(repo->retirePacks({kept}, report).ok());
    EXPECT_EQ(w.server->exists(kOrphan), !c.removed);
    EXPECT_EQ(report.orphansRemoved, c.removed ? 1u : 0u);
    EXPECT_EQ(report.youngPacksKept, c.removed ? 0u : 1u);
  }
}

TEST(RepoRetire, LeftoversAndPacksNoIndexNamesAreCheckedAndTakenCareOfOnceAnHourOld) {
  struct Case {
    int64_t age;  // of the leftovers when the check and the prune run
    bool takenCareOf;
  } cases[] = {{kUnnamedPackMinAgeSec / 2, false}, {2 * kUnnamedPackMinAgeSec, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.age);
    AgedWorld aged(c.age);
    RepoWorld& w = aged.w;
    std::shared_ptr<Repo>& repo = aged.repo;
    const BlobId kept = aged.kept;
    // A run killed after its pack went up and before its index segment did.
    const std::vector<std::string> indexedBefore = w.names("/index");
    auto killed = w.reopen();
    const BlobId unnamed = w.store(*killed, RandomBlob(2000, 2));
    ASSERT_TRUE(killed->flush().ok());
    killed.reset();
    {
      auto conn = w.server->connection();
      ASSERT_TRUE(conn->connect().ok());
      for (const std::string& name : w.names("/index")) {
        if (std::find(indexedBefore.begin(), indexedBefore.end(), name) == indexedBefore.end()) {
          ASSERT_TRUE(conn->remove("/index/" + name, false).ok());
        }
      }
    }
    // Uploads of killed runs: hidden work files and ".part" objects.
    const std::string work = std::string(test::kUploadWorkPrefix) + "0123456789abcdef";
    const std::vector<std::string> leftovers = {"/data/ab/" + work, "/data/ab/" + std::string(64, 'a') + ".part",
                                                "/index/" + std::string(64, 'b') + ".part", "/snapshots/" + work};
    for (const std::string& path : leftovers) w.server->putFile(path, std::string(100, 'x'));

    repo = w.reopen();
    CheckReport check;
    ASSERT_TRUE(repo->checkPack(false, check, nullptr).ok());
    EXPECT_EQ(check.unindexedPacks, 1u);
    EXPECT_GT(check.unindexedBytes, 2000u);
    EXPECT_EQ(check.temporaries, leftovers.size());
    EXPECT_EQ(check.temporaryBytes, 100 * leftovers.size());
    // Reading needs no grace period: the pack is read from its header at once.
    EXPECT_TRUE(repo->hasBlob(unnamed));

    ASSERT_TRUE(repo->lock(LockMode::kExclusive, "prune").ok());
    uint64_t adopted = 0;
    ASSERT_TRUE(repo->adoptUnnamedPacks(adopted).ok());
    EXPECT_EQ(adopted, c.takenCareOf ? 1u : 0u);
    EXPECT_TRUE(repo->hasBlob(unnamed));
    PruneReport report;
    BlobIdSet referenced{kept, unnamed};
    ASSERT_TRUE(repo->retirePacks(referenced, report).ok());
    EXPECT_EQ(report.temporariesRemoved, c.takenCareOf ? leftovers.size() : 0u);
    for (const std::string& path : leftovers) EXPECT_EQ(w.server->exists(path), !c.takenCareOf) << path;
    repo.reset();

    // The pack is named by the new index, or left for a later prune.
    auto after = w.reopen();
    EXPECT_TRUE(after->hasBlob(unnamed));
    CheckReport again;
    ASSERT_TRUE(after->checkPack(true, again, nullptr).ok());
    EXPECT_TRUE(again.problems.empty());
    EXPECT_EQ(again.unindexedPacks, c.takenCareOf ? 0u : 1u);
    std::vector<uint8_t> back;
    EXPECT_TRUE(after->readBlob(unnamed, back).ok());
  }
}

TEST(RepoRetire, SpaceIsReclaimedOnlyUnderTheExclusiveLockAndFromAFreshIndex) {
  RepoWorld w;
  w.options.compress = false;
  // Hours later: the age of packs does not keep them.
  w.options.clock = [] { return vx::UnixNow() + 2 * kUnnamedPackMinAgeSec; };
  auto a = w.create();
  const BlobId first = w.store(*a, RandomBlob(kLiveSize, 1));
  ASSERT_TRUE(a->flush().ok());
  PruneReport report;
  EXPECT_EQ(a->retirePacks({first}, report).code, Status::kInvalid);
  ASSERT_TRUE(a->lock(LockMode::kShared, "backup").ok());
  EXPECT_EQ(a->retirePacks({first}, report).code, Status::kInvalid);
  EXPECT_EQ(w.packPaths().size(), 1u);

  // B stored a pack after A read the index; A takes the exclusive lock once
  // B is done, and keeps what B stored.
  auto b = w.reopen();
  const BlobId second = w.store(*b, RandomBlob(kLiveSize, 2));
  ASSERT_TRUE(b->flush().ok());
  b.reset();
  ASSERT_TRUE(a->lock(LockMode::kExclusive, "prune").ok());
  ASSERT_TRUE(a->retirePacks({first, second}, report).ok());
  EXPECT_EQ(w.packPaths().size(), 2u);
  EXPECT_EQ(report.orphansRemoved, 0u);
  std::vector<uint8_t> back;
  EXPECT_TRUE(w.reopen()->readBlob(second, back).ok());
}

TEST(RepoRetire, CancelDuringRepackingDeletesNothing) {
  RetireWorld rw;
  CancelToken token;
  rw.repo->cancel = &token;
  auto gate = rw.w.server->addGate(MemOp::kReadRange);
  Status st;
  std::thread run([&] {
    PruneReport report;
    st = rw.repo->retirePacks(rw.referenced, report);
  });
  ASSERT_TRUE(gate->waitArrived());
  token.cancel();
  gate->release();
  run.join();
  EXPECT_EQ(st.code, Status::kCanceled);
  for (const std::string& path : rw.originalPacks) EXPECT_TRUE(rw.w.server->exists(path)) << path;
  rw.expectLiveBlobsReadable(*rw.w.reopen());
}

TEST(RepoRetire, PackExactlyHalfLiveStaysAndOneByteLessIsRepacked) {
  for (size_t shortfall : {122, 121}) {
    RetireWorld rw(shortfall);
    PruneReport report;
    ASSERT_TRUE(rw.repo->retirePacks(rw.referenced, report).ok());
    EXPECT_EQ(report.packsRepacked, shortfall == 121 ? 1u : 0u) << shortfall;
  }
}

// A pack whose every blob is live frees nothing when packed again, however
// small its blobs are beside its header: an unchanged repository is left
// as it is, prune after prune.
TEST(RepoRetire, APackWithoutDeadBlobsIsNeverRepacked) {
  RepoWorld w;
  w.options.compress = false;
  std::shared_ptr<Repo> repo = w.create();
  BlobIdSet referenced;
  for (uint32_t seed : {1u, 2u}) referenced.insert(w.store(*repo, RandomBlob(20, seed), kBlobTree));
  ASSERT_TRUE(repo->flush().ok());
  ASSERT_TRUE(repo->lock(LockMode::kExclusive, "prune").ok());
  const std::vector<std::string> packs = w.packPaths();
  for (int run = 0; run < 2; ++run) {
    PruneReport report;
    ASSERT_TRUE(repo->retirePacks(referenced, report).ok());
    EXPECT_EQ(report.packsRepacked, 0u) << run;
    EXPECT_EQ(report.bytesFreed, 0u) << run;
    EXPECT_EQ(w.packPaths(), packs) << run;
  }
}

TEST(RepoRetire, NothingReferencedEmptiesTheRepository) {
  RetireWorld rw;
  PruneReport report;
  ASSERT_TRUE(rw.repo->retirePacks({}, report).ok());
  EXPECT_EQ(report.packsDeleted, 4u);
  EXPECT_TRUE(rw.w.names("/index").empty());
  EXPECT_TRUE(rw.w.packPaths().empty());
}

TEST(RepoRetire, DamagedSnapshotRecordStopsSpaceReclamation) {
  RetireWorld rw;
  SnapshotInfo info;
  ASSERT_TRUE(rw.repo->writeSnapshot(info).ok());
  const std::string damaged = "/snapshots/" + std::string(64, '1');
  rw.w.server->putFile(damaged, std::string(100, 'x'));

  test::LogCapture log;
  std::vector<SnapshotInfo> listed;
  std::vector<std::string> skipped;
  ASSERT_TRUE(rw.repo->listSnapshots(listed, &skipped).ok());
  EXPECT_EQ(listed.size(), 1u);
  EXPECT_EQ(skipped, std::vector<std::string>{std::string(64, '1')});
  EXPECT_EQ(log.countLines("[WARN ] backup: snapshot 11111111 is damaged, skipped"), 1);

  PruneReport report;
  Status st = rw.repo->retirePacks(rw.referenced, report);
  EXPECT_EQ(st.code, Status::kProtocol);
  EXPECT_EQ(st.message, "space is not reclaimed while 1 snapshot record is damaged");
  EXPECT_EQ(rw.w.packPaths(), rw.originalPacks);

  ASSERT_TRUE(rw.repo->deleteSnapshot(std::string(64, '1')).ok());
  ASSERT_TRUE(rw.repo->listSnapshots(listed, &skipped).ok());
  EXPECT_TRUE(skipped.empty());
  EXPECT_TRUE(rw.repo->retirePacks(rw.referenced, report).ok());
}

}  // namespace
}  // namespace tarn::backup
