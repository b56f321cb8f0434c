#include <gtest/gtest.h>

#include <algorithm>

#include "backup/repo/index_format.h"
#include "backup/repo/repo_test_world.h"

namespace tarn::backup {
namespace {

using test::MemOp;

BlobId IdOf(uint8_t a, uint8_t b = 0) {
  BlobId id;
  id.bytes[0] = a;
  id.bytes[1] = b;
  return id;
}

std::vector<PackEntry> Entries(uint8_t pack, uint32_t count) {
  std::vector<PackEntry> out;
  for (uint32_t i = 0; i < count; ++i) out.push_back(PackEntry{kBlobData, IdOf(pack, uint8_t(i + 1)), i * 100, 100, 72});
  return out;
}

TEST(RepoIndex, SegmentsFollowUploadedPacks) {
  struct Case {
    uint32_t segmentPacks;
    int packs;
    size_t beforeFlush, afterFlush;
  } cases[] = {{32, 10, 0, 1}, {2, 3, 1, 2}};
  for (const Case& c : cases) {
    RepoWorld w;
    w.options.compress = false;
    w.options.indexSegmentPacks = c.segmentPacks;
    auto repo = w.create();
    for (int i = 0; i < c.packs; ++i) {
      w.store(*repo, RandomBlob(kMinPackTargetSize, i));
      // Uploads end before the next pack closes, so segments come at fixed points.
      ASSERT_TRUE(repo->waitUploads().ok());
    }
    EXPECT_EQ(w.names("/index").size(), c.beforeFlush);
    ASSERT_TRUE(repo->flush().ok());
    EXPECT_EQ(w.names("/index").size(), c.afterFlush);
    EXPECT_EQ(RepoTestPeer::packs(*w.reopen()).size(), size_t(c.packs));
  }
}

TEST(RepoIndex, LoadLeavesDamagedObjectsOutWithoutTrustingTheirCounts) {
  auto object = [](uint32_t packs, uint32_t blobs) {
    std::vector<uint8_t> o = IndexObjectStart();
    for (uint32_t p = 0; p < packs; ++p) AppendIndexPack(o, IdOf(uint8_t(p + 1)), 1000, Entries(uint8_t(p + 1), blobs));
    return o;
  };
  auto patched = [](std::vector<uint8_t> o, size_t at, uint32_t value) {
    WriteU32LE(o.data() + at, value);
    return o;
  };
  const size_t firstBlobCount = kIndexHeaderSize + 36;
  struct Case {
    const char* name;
    std::vector<uint8_t> plain;
    const char* problem;  // null: loads
    size_t packs, blobs;
  } cases[] = {
      {"any version", patched(object(1, 2), 4, 7), nullptr, 1, 2},
      {"no packs", object(0, 0), nullptr, 0, 0},
      {"a pack without blobs", object(1, 0), nullptr, 1, 0},
      {"a pack count with nothing after it", patched(IndexObjectStart(), kIndexPackCountAt, 1), " is cut short", 0, 0},
      {"a blob count far past the end", patched(object(1, 1), firstBlobCount, 0xFFFFFFFF), " is cut short", 0, 0},
      // 45 x this count is 1 modulo 2^32: in 32-bit arithmetic the record
      // would seem to fit.
      {"a blob count whose size wraps 32 bits", patched(object(1, 1), firstBlobCount, 0xA4FA4FA5), " is cut short", 0,
       0},
      {"a pack count far past the records", patched(object(1, 2), kIndexPackCountAt, 0xFFFFFFFF), " is cut short", 0,
       0},
      {"shorter than its header", std::vector<uint8_t>(11, 0), " is damaged", 0, 0},
      {"magic in the wrong byte order", patched(object(1, 1), 0, 0x54494458), " is damaged", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RepoWorld w;
    auto repo = w.create();
    BlobId name;
    ASSERT_TRUE(RepoTestPeer::storeIndexPlain(*repo, c.plain, name).ok());
    // Not index objects: skipped whatever they hold.
    w.server->makeDir("/index/" + std::string(64, 'a'));
    w.server->putFile("/index/README", "x");
    w.server->putFile("/index/" + std::string(64, 'b') + ".part", "x");
    Status st = repo->loadIndex();
    EXPECT_TRUE(st.ok()) << st.toString();
    if (c.problem == nullptr) {
      EXPECT_EQ(RepoTestPeer::indexObjectCount(*repo), 1u);
      EXPECT_TRUE(repo->indexDamage().empty());
    } else {
      EXPECT_EQ(RepoTestPeer::indexObjectCount(*repo), 0u);
      ASSERT_EQ(repo->indexDamage().size(), 1u);
      EXPECT_EQ(repo->indexDamage()[0].rfind("index " + BlobIdToHex(name).substr(0, 8) + c.problem + ": left out", 0),
                0u)
          << repo->indexDamage()[0];
    }
    EXPECT_EQ(RepoTestPeer::packs(*repo).size(), c.packs);
    EXPECT_EQ(RepoTestPeer::indexSize(*repo), c.blobs);
  }

  RepoWorld w;
  auto repo = w.create();
  w.server->putFile("/index/" + std::string(64, 'c'), std::string(40, 'x'));
  ASSERT_TRUE(repo->loadIndex().ok());
  ASSERT_EQ(repo->indexDamage().size(), 1u);
  EXPECT_EQ(repo->indexDamage()[0].rfind("index cccccccc is damaged: left out", 0), 0u)
      << "an object that does not open";
}

TEST(RepoIndex, ADamagedIndexObjectCostsNoBlobAndTheNextFullIndexReplacesIt) {
  for (bool cut : {false, true}) {
    SCOPED_TRACE(cut ? "cut short" : "a byte flipped");
    RepoWorld w;
    w.options.compress = false;
    w.options.indexSegmentPacks = 1;
    auto repo = w.create();
    std::vector<std::pair<BlobId, std::vector<uint8_t>>> blobs;
    for (uint32_t i = 0; i < 3; ++i) {
      blobs.emplace_back(BlobId(), RandomBlob(kMinPackTargetSize, i));
      blobs.back().first = w.store(*repo, blobs.back().second);
      ASSERT_TRUE(repo->waitUploads().ok());
    }
    ASSERT_TRUE(repo->flush().ok());
    const std::vector<std::string> objects = w.names("/index");
    ASSERT_EQ(objects.size(), 3u);
    const std::string victim = "/index/" + objects[1];
    std::string bytes;
    ASSERT_TRUE(w.server->readFile(victim, &bytes));
    if (cut) {
      // Sealed whole, but its records run past the end.
      std::vector<uint8_t> plain;
      ASSERT_TRUE(RepoTestPeer::cipher(*repo).open(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                                                    kLabelIndex, plain));
      plain.resize(plain.size() - 1);
      std::vector<uint8_t> sealed;
      ASSERT_TRUE(RepoTestPeer::cipher(*repo).seal(plain.data(), plain.size(), kLabelIndex, sealed));
      bytes.assign(sealed.begin(), sealed.end());
    } else {
      bytes[bytes.size() / 2] ^= 0x01;
    }
    w.server->putFile(victim, bytes);

    auto reopened = w.reopen();
    ASSERT_EQ(reopened->indexDamage().size(), 1u);
    EXPECT_EQ(reopened->indexDamage()[0].rfind("index " + objects[1].substr(0, 8), 0), 0u);
    for (const auto& [id, data] : blobs) {
      std::vector<uint8_t> back;
      ASSERT_TRUE(reopened->readBlob(id, back).ok());
      EXPECT_EQ(back, data);
    }
    // A new backup goes on beside it.
    const BlobId added = w.store(*reopened, RandomBlob(1000, 9));
    ASSERT_TRUE(reopened->flush().ok());

    ASSERT_TRUE(reopened->lock(LockMode::kExclusive, "prune").ok());
    BlobIdSet referenced{added};
    for (const auto& [id, data] : blobs) referenced.insert(id);
    PruneReport report;
    ASSERT_TRUE(reopened->retirePacks(referenced, report).ok());
    EXPECT_EQ(report.packsDeleted + report.packsRepacked, 0u);
    reopened.reset();
    const std::vector<std::string> after = w.names("/index");
    EXPECT_EQ(std::find(after.begin(), after.end(), objects[1]), after.end()) << "the damaged object is gone";
    auto clean = w.reopen();
    EXPECT_TRUE(clean->indexDamage().empty());
    for (const auto& [id, data] : blobs) EXPECT_TRUE(clean->hasBlob(id));
    EXPECT_TRUE(clean->hasBlob(added));
  }
}

TEST(RepoIndex, BlobListedTwiceLivesWhereTheLastObjectReadPutsIt) {
  RepoWorld w;
  auto repo = w.create();
  const BlobId shared = IdOf(9, 9);
  BlobId names[2];
  for (uint32_t i = 0; i < 2; ++i) {
    std::vector<uint8_t> o = IndexObjectStart();
    AppendIndexPack(o, IdOf(uint8_t(i + 1)), 1000, {PackEntry{kBlobData, shared, 100 * (i + 1), 50, 22}});
    ASSERT_TRUE(RepoTestPeer::storeIndexPlain(*repo, o, names[i]).ok());
  }
  const uint32_t lastByName = BlobIdToHex(names[0]) > BlobIdToHex(names[1]) ? 100 : 200;
  for (bool reverse : {false, true}) {
    w.server->setReverseListing(reverse);
    ASSERT_TRUE(repo->loadIndex().ok());
    BlobLocation loc;
    ASSERT_TRUE(RepoTestPeer::location(*repo, shared, loc));
    EXPECT_EQ(loc.offset, reverse ? 300 - lastByName : lastByName);
    EXPECT_EQ(RepoTestPeer::packs(*repo).size(), 2u) << "both packs stay known";
  }
}

// A blob stored again after a loss is listed in two packs; it lives in the
// one storage holds, whichever index object is read last.
TEST(RepoIndex, ABlobListedTwiceLivesInThePackStorageHolds) {
  enum class Damage { kFirstRemoved, kSecondRemoved, kFirstCut };
  for (Damage damage : {Damage::kFirstRemoved, Damage::kSecondRemoved, Damage::kFirstCut}) {
    SCOPED_TRACE(int(damage));
    RepoWorld w;
    auto first = w.create();
    const std::vector<uint8_t> data = RandomBlob(3000, 1);
    const BlobId twice = w.store(*first, data);
    const BlobId once = w.store(*first, RandomBlob(3000, 2));
    ASSERT_TRUE(first->flush().ok());
    const std::string firstPack = w.packPaths().front();
    auto second = w.reopen();
    ASSERT_TRUE(second->addBlob(kBlobData, twice, data.data(), data.size()).ok());
    ASSERT_TRUE(second->flush().ok());
    std::string secondPack;
    for (const std::string& path : w.packPaths())
      if (path != firstPack) secondPack = path;

    std::string bytes;
    ASSERT_TRUE(w.server->readFile(firstPack, &bytes));
    const std::string& gone = damage == Damage::kSecondRemoved ? secondPack : firstPack;
    if (damage == Damage::kFirstCut) {
      w.server->putFile(firstPack, bytes.substr(0, bytes.size() - 1));
    } else {
      auto conn = w.server->connection();
      ASSERT_TRUE(conn->connect().ok() && conn->remove(gone, false).ok());
    }
    for (bool reverse : {false, true}) {
      w.server->setReverseListing(reverse);
      auto repo = w.reopen();
      BlobLocation loc;
      ASSERT_TRUE(RepoTestPeer::location(*repo, twice, loc));
      EXPECT_NE(PackPath(RepoTestPeer::packs(*repo).at(loc.pack).id), gone);
      EXPECT_TRUE(repo->hasBlob(twice));
      std::vector<uint8_t> back;
      EXPECT_TRUE(repo->readBlob(twice, back).ok());
      const BlobState expected = damage == Damage::kSecondRemoved ? BlobState::kHeld
                                 : damage == Damage::kFirstCut    ? BlobState::kDamaged
                                                                  : BlobState::kMissing;
      EXPECT_EQ(repo->blobState(once), expected) << "what only the lost pack held is not held";
      // A lost pack whose every blob lives on elsewhere is no damage.
      EXPECT_EQ(repo->packDamage().size(), damage == Damage::kSecondRemoved ? 0u : 1u);
    }
  }
}

// Packs an earlier task found damaged: their blobs are stored again by the
// next store, stay readable meanwhile, and are cleared once a whole read
// shows them sound or storage no longer holds them.
TEST(RepoIndex, PacksFoundDamagedCountAsNotHeldYetStayReadable) {
  RepoWorld w;
  auto repo = w.create();
  const std::vector<uint8_t> data = RandomBlob(3000, 1);
  const BlobId id = w.store(*repo, data);
  ASSERT_TRUE(repo->flush().ok());
  const BlobId pack = RepoTestPeer::packs(*repo).at(0).id;
  const BlobId elsewhere = IdOf(0xEE);

  repo = w.make();
  ASSERT_TRUE(repo->open(kTestPassword).ok());
  repo->setKnownDamage({pack, elsewhere});
  ASSERT_TRUE(repo->loadIndex().ok());
  EXPECT_EQ(repo->blobState(id), BlobState::kDamaged);
  EXPECT_FALSE(repo->hasBlob(id));
  std::vector<uint8_t> back;
  EXPECT_TRUE(repo->readBlob(id, back).ok()) << "a damaged pack may still hold it whole";
  EXPECT_EQ(repo->packDamage(), std::vector<std::string>{"pack " + BlobIdToHex(pack).substr(0, 8) +
                                                         " was found damaged before"});
  EXPECT_EQ(repo->damageCleared(), std::vector<BlobId>{elsewhere}) << "a pack storage does not hold";
  const uint64_t deduplicated = repo->blobsDeduplicated.load();
  EXPECT_EQ(w.store(*repo, data), id);
  EXPECT_EQ(repo->blobsDeduplicated.load(), deduplicated) << "stored again";
  ASSERT_TRUE(repo->flush().ok());
  EXPECT_TRUE(repo->hasBlob(id));

  // A check that reads the pack whole finds it sound.
  repo = w.make();
  ASSERT_TRUE(repo->open(kTestPassword).ok());
  repo->setKnownDamage({pack});
  ASSERT_TRUE(repo->loadIndex().ok());
  CheckReport report;
  ASSERT_TRUE(repo->checkPack(true, report, nullptr).ok());
  EXPECT_TRUE(report.problems.empty()) << report.problems.front();
  EXPECT_EQ(repo->damageCleared(), std::vector<BlobId>{pack});

  // A read that finds damage reports it once. (The blob lies in two packs
  // by now: the one it is read from is damaged.)
  repo = w.reopen();
  BlobLocation loc;
  ASSERT_TRUE(RepoTestPeer::location(*repo, id, loc));
  const BlobId readFrom = RepoTestPeer::packs(*repo).at(loc.pack).id;
  std::string bytes;
  ASSERT_TRUE(w.server->readFile(PackPath(readFrom), &bytes));
  bytes[loc.offset] ^= 0x01;
  w.server->putFile(PackPath(readFrom), bytes);
  EXPECT_TRUE(repo->hasBlob(id));
  EXPECT_EQ(repo->readBlob(id, back).code, Status::kProtocol);
  EXPECT_EQ(repo->readBlob(id, back).code, Status::kProtocol);
  EXPECT_EQ(repo->damageFound(), std::vector<BlobId>{readFrom});
  EXPECT_EQ(repo->blobState(id), BlobState::kDamaged);
}

TEST(RepoIndex, FullRewriteClosesObjectsAtTwoHundredThousandEntriesAndDeletesOldOnes) {
  RepoWorld w;
  auto repo = w.create();
  RepoTestPeer::fillIndex(*repo, 250, 1000);
  ASSERT_TRUE(RepoTestPeer::writeIndex(*repo).ok());
  std::vector<std::string> first = w.names("/index");
  std::vector<size_t> packCounts;
  for (const std::string& name : first) {
    std::string sealed;
    ASSERT_TRUE(w.server->readFile("/index/" + name, &sealed));
    std::vector<uint8_t> plain;
    ASSERT_TRUE(RepoTestPeer::cipher(*repo).open(reinterpret_cast<const uint8_t*>(sealed.data()), sealed.size(),
                                                 kLabelIndex, plain));
    std::vector<IndexPackRecord> records;
    ASSERT_EQ(ParseIndexObject(plain.data(), plain.size(), records), IndexParse::kOk);
    packCounts.push_back(records.size());
  }
  std::sort(packCounts.begin(), packCounts.end());
  EXPECT_EQ(packCounts, (std::vector<size_t>{50, 200}));

  // Objects left by a rewrite that failed, stored or not yet deleted, go
  // with the next rewrite.
  w.server->addFault(Fault(MemOp::kOpenWrite, 2));
  EXPECT_EQ(RepoTestPeer::writeIndex(*repo).code, Status::kIo);
  EXPECT_EQ(w.names("/index").size(), 3u);
  w.server->addFault(Fault(MemOp::kRemove, 1));
  EXPECT_EQ(RepoTestPeer::writeIndex(*repo).code, Status::kIo);
  EXPECT_EQ(w.names("/index").size(), 5u);
  ASSERT_TRUE(RepoTestPeer::writeIndex(*repo).ok());
  std::vector<std::string> last = w.names("/index");
  EXPECT_EQ(last.size(), 2u);
  for (const std::string& name : first) EXPECT_EQ(std::count(last.begin(), last.end(), name), 0);

  auto reopened = w.reopen();
  EXPECT_EQ(RepoTestPeer::packs(*reopened).size(), 250u);
  EXPECT_EQ(RepoTestPeer::indexSize(*reopened), 250000u);
}

}  // namespace
}  // namespace tarn::backup
