#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "backup/repo/repo_test_world.h"

namespace tarn::backup {
namespace {

using test::MemOp;

// Two packs: the first with two blobs, the second with one.
struct CheckWorld {
  RepoWorld w;
  std::shared_ptr<Repo> repo;
  std::vector<BlobId> blobs;
  std::string firstPath;
  std::string firstBytes;
  std::string firstName12;
  uint64_t total = 0;

  CheckWorld() {
    w.options.compress = false;
    repo = w.create();
    for (uint32_t i = 0; i < 3; ++i) blobs.push_back(w.store(*repo, RandomBlob(600000, i)));
    EXPECT_TRUE(repo->flush().ok());
    BlobLocation loc;
    EXPECT_TRUE(RepoTestPeer::location(*repo, blobs[0], loc));
    std::vector<PackInfo> packs = RepoTestPeer::packs(*repo);
    firstPath = PackPath(packs.at(loc.pack).id);
    firstName12 = BlobIdToHex(packs.at(loc.pack).id).substr(0, 12);
    EXPECT_TRUE(w.server->readFile(firstPath, &firstBytes));
    for (const PackInfo& p : packs) total += p.length;
  }

  CheckReport check(bool readData, int* progressCalls = nullptr) {
    CheckReport report;
    Status st = repo->checkPack(readData, report, [&](uint64_t done, uint64_t all) {
      EXPECT_LE(done, all);
      if (progressCalls != nullptr) ++*progressCalls;
    });
    EXPECT_TRUE(st.ok()) << st.toString();
    return report;
  }
};

TEST(RepoCheck, EveryKindOfDamageIsFoundWhereItCanBe) {
  // Each damage returns the problem it must cause (empty: none).
  using Damage = std::function<std::string(CheckWorld&)>;
  auto flip = [](size_t at) {
    return Damage([at](CheckWorld& cw) {
      std::string bad = cw.firstBytes;
      bad[std::min(at, bad.size() - 1)] ^= 0x40;
      cw.w.server->putFile(cw.firstPath, bad);
      return "pack " + cw.firstName12 + " is damaged (hash mismatch)";
    });
  };
  const Damage none = [](CheckWorld&) { return std::string(); };
  const size_t blobArea = 2 * (600000 + kSealOverhead);
  struct Case {
    const char* name;
    Damage damage;
    bool readData;
    uint64_t packsRead;
    int progressCalls;
  } cases[] = {
      {"sound, listing only", none, false, 0, 0},
      {"sound, data read", none, true, 2, 2},
      {"flipped nonce byte", flip(0), true, 2, 1},
      {"flipped ciphertext byte", flip(300000), true, 2, 1},
      {"flipped tag byte of the second blob", flip(blobArea - 1), true, 2, 1},
      {"flipped header byte", flip(blobArea + 40), true, 2, 1},
      {"flipped trailer byte", flip(SIZE_MAX), true, 2, 1},
      {"flipped byte, listing only",
       [&](CheckWorld& cw) {
         flip(0)(cw);
         return std::string();
       },
       false, 0, 0},
      {"one byte short",
       [](CheckWorld& cw) {
         size_t size = cw.firstBytes.size();
         cw.w.server->putFile(cw.firstPath, cw.firstBytes.substr(0, size - 1));
         return "pack " + cw.firstName12 + " has " + std::to_string(size - 1) + " bytes instead of " +
                std::to_string(size);
       },
       true, 1, 1},
      {"missing",
       [](CheckWorld& cw) {
         auto conn = cw.w.server->connection();
         EXPECT_TRUE(conn->connect().ok() && conn->remove(cw.firstPath, false).ok());
         return "pack " + cw.firstName12 + " is missing";
       },
       true, 1, 1},
      {"unreadable",
       [](CheckWorld& cw) {
         cw.w.server->addFault(Fault(MemOp::kOpenRead, 1, 1, Status(Status::kIo, "disk"), cw.firstPath));
         return "pack " + cw.firstName12 + " cannot be read: io: disk";
       },
       true, 1, 1},
      {"index entry past the end of its pack",
       [](CheckWorld& cw) {
         BlobLocation loc;
         EXPECT_TRUE(RepoTestPeer::location(*cw.repo, cw.blobs[1], loc));
         loc.offset = uint32_t(cw.firstBytes.size() - 10);
         RepoTestPeer::setLocation(*cw.repo, cw.blobs[1], loc);
         return "blob " + BlobIdToHex(cw.blobs[1]).substr(0, 12) + " in pack " + cw.firstName12 + " does not decrypt";
       },
       true, 2, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CheckWorld cw;
    std::string problem = c.damage(cw);
    int progressCalls = 0;
    CheckReport report = cw.check(c.readData, &progressCalls);
    EXPECT_EQ(report.problems, problem.empty() ? std::vector<std::string>{} : std::vector<std::string>{problem});
    EXPECT_EQ(report.packsRead, c.packsRead);
    EXPECT_EQ(progressCalls, c.progressCalls);
    EXPECT_EQ(report.packs, 2u);
    EXPECT_EQ(report.blobs, 3u);
    EXPECT_EQ(report.bytes, cw.total);
  }
}

TEST(RepoCheck, UnknownPackObjectsAreCountedAndRetiredPacksSkipped) {
  CheckWorld cw;
  cw.w.server->putFile("/data/ab/" + std::string(64, 'a'), "stray");
  cw.w.server->putFile("/data/ab/" + std::string(64, 'a') + ".part", "leftover");
  CheckReport report = cw.check(false);
  EXPECT_TRUE(report.problems.empty());
  EXPECT_EQ(report.unindexedPacks, 1u);

  PruneReport pruned;
  ASSERT_TRUE(cw.repo->lock(LockMode::kExclusive, "prune").ok());
  ASSERT_TRUE(cw.repo->retirePacks({cw.blobs[2]}, pruned).ok());
  report = cw.check(true);
  EXPECT_TRUE(report.problems.empty());
  EXPECT_EQ(report.packs, 1u) << "the retired pack is not examined";
}

}  // namespace
}  // namespace tarn::backup
