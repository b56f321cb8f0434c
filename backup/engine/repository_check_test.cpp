#include "backup/engine/repository_check.h"

#include <gtest/gtest.h>

#include "backup/engine/backup_test_world.h"
#include "backup/engine/snapshot_walk.h"
#include "foundation/text.h"

namespace tarn::backup {
namespace {

using test::MemOp;

constexpr int64_t kTime = 1700000000;

std::string TimeText(int64_t time) { return vx::WideToUtf8(vx::FormatLocalTime(time)); }

// One real backup (a data pack and a tree pack), and helpers that add the
// records of snapshots whose trees are made by hand.
struct CheckWorld {
  BackupWorld bw;
  std::shared_ptr<Repo> repo;
  SnapshotInfo snapshot;
  std::string dataPack;  // path of the largest pack, which holds file data

  CheckWorld() {
    repo = bw.create();
    bw.write("a.bin", RandomString(200000, 1));
    bw.write("sub/b.txt", std::string(50000, 'b'));
    BackupWorld::Result r = bw.backup(*repo, bw.args());
    EXPECT_TRUE(r.status.ok()) << r.status.toString();
    snapshot = r.snapshot;
    size_t largest = 0;
    for (const std::string& path : bw.repoWorld.packPaths()) {
      std::string bytes;
      EXPECT_TRUE(bw.repoWorld.server->readFile(path, &bytes));
      if (bytes.size() > largest) {
        largest = bytes.size();
        dataPack = path;
      }
    }
  }

  // A snapshot record at `time` whose root tree holds `entries`; the label
  // a check gives its problems.
  std::string addSnapshot(int64_t time, const std::vector<ListingEntry>& entries) {
    return addSnapshotOfTree(time, storeTree(WriteFolderListing(entries)));
  }
  BlobId storeTree(const std::string& text) {
    BlobId id;
    EXPECT_TRUE(repo->storeBlob(kBlobTree, text.data(), text.size(), id).ok());
    EXPECT_TRUE(repo->flush().ok());
    return id;
  }
  std::string addSnapshotOfTree(int64_t time, const BlobId& tree) {
    SnapshotInfo s;
    s.time = time;
    s.job = "hand";
    s.tree = tree;
    EXPECT_TRUE(repo->writeSnapshot(s).ok());
    return "version " + s.id + " of " + TimeText(time) + ": ";
  }
  std::string packLabel(const std::string& path) const { return "pack " + path.substr(path.size() - 64, 12); }
  // How often the backed-up version names a blob that lies in the pack.
  uint64_t referencesInto(const std::string& path) {
    const std::vector<PackInfo> packs = RepoTestPeer::packs(*repo);
    uint64_t n = 0;
    EXPECT_TRUE(WalkSnapshots(*repo, {snapshot}, nullptr, [&](const BlobId& id, bool) {
                  BlobLocation loc;
                  if (RepoTestPeer::location(*repo, id, loc) && PackPath(packs.at(loc.pack).id) == path) ++n;
                }).ok());
    return n;
  }
  std::string versionLabel() const { return "version " + snapshot.id + " of " + TimeText(snapshot.time) + ": "; }
};

BlobId NeverStored(uint8_t seed) {
  BlobId id;
  id.bytes.fill(seed);
  return id;
}

struct Outcome {
  Status status;
  CheckReport report;
  uint64_t errors = 0;
  std::vector<std::pair<uint64_t, uint64_t>> progress;
};

Outcome Check(Repo& repo, bool readData, const CancelToken* cancel = nullptr) {
  Outcome o;
  Progress progress;
  o.status = CheckRepository(
      repo, readData, o.report, cancel, [&](uint64_t done, uint64_t total) { o.progress.emplace_back(done, total); },
      &progress);
  o.errors = progress.errors;
  return o;
}

TEST(RepositoryCheck, SoundRepositoryPassesAndReadsPacksOnlyWhenAsked) {
  CheckWorld cw;
  for (bool readData : {false, true}) {
    SCOPED_TRACE(readData);
    Outcome o = Check(*cw.bw.reopen(), readData);
    ASSERT_TRUE(o.status.ok()) << o.status.toString();
    EXPECT_TRUE(o.report.problems.empty()) << o.report.problems.front();
    EXPECT_EQ(o.errors, 0u);
    EXPECT_EQ(o.report.packs, 2u);
    EXPECT_GT(o.report.blobs, 4u);
    EXPECT_EQ(o.report.packsRead, readData ? 2u : 0u);
    if (readData) {
      ASSERT_EQ(o.progress.size(), 2u);
      EXPECT_EQ(o.progress.back(), std::make_pair(o.report.bytes, o.report.bytes));
    } else {
      EXPECT_TRUE(o.progress.empty());
    }
  }
  RepoWorld empty;
  Outcome o = Check(*empty.create(), true);
  EXPECT_TRUE(o.status.ok() && o.report.problems.empty() && o.report.packs == 0);
}

TEST(RepositoryCheck, DamageIsReportedAndCountedAsErrors) {
  struct Case {
    const char* name;
    bool readData;
    // Damages the world and gives the problems the check must report.
    std::function<std::vector<std::string>(CheckWorld&)> damage;
  } cases[] = {
      // The pack's problem, then the version that needs what it held.
      {"a flipped byte in a pack", true,
       [](CheckWorld& cw) -> std::vector<std::string> {
         const uint64_t needed = cw.referencesInto(cw.dataPack);
         std::string bytes;
         EXPECT_TRUE(cw.bw.repoWorld.server->readFile(cw.dataPack, &bytes));
         bytes[bytes.size() / 2] ^= 0x01;
         cw.bw.repoWorld.server->putFile(cw.dataPack, bytes);
         return {cw.packLabel(cw.dataPack) + " is damaged (hash mismatch)",
                 cw.versionLabel() + std::to_string(needed) + " blobs lie in damaged packs"};
       }},
      {"a missing pack", false,
       [](CheckWorld& cw) -> std::vector<std::string> {
         const uint64_t needed = cw.referencesInto(cw.dataPack);
         auto conn = cw.bw.repoWorld.server->connection();
         EXPECT_TRUE(conn->connect().ok() && conn->remove(cw.dataPack, false).ok());
         return {cw.packLabel(cw.dataPack) + " is missing", cw.versionLabel() + std::to_string(needed) +
                                                                " blobs are missing"};
       }},
      {"a pack of another size than the index says", false,
       [](CheckWorld& cw) -> std::vector<std::string> {
         const uint64_t needed = cw.referencesInto(cw.dataPack);
         std::string bytes;
         EXPECT_TRUE(cw.bw.repoWorld.server->readFile(cw.dataPack, &bytes));
         cw.bw.repoWorld.server->putFile(cw.dataPack, bytes.substr(1));
         return {cw.packLabel(cw.dataPack) + " has " + std::to_string(bytes.size() - 1) + " bytes instead of " +
                     std::to_string(bytes.size()),
                 cw.versionLabel() + std::to_string(needed) + " blobs lie in damaged packs"};
       }},
      {"two files share a chunk that was never stored", false,
       [](CheckWorld& cw) -> std::vector<std::string> {
         ListingEntry a{"a"}, b{"b"};
         a.content = {NeverStored(1)};
         b.content = {NeverStored(1), cw.snapshot.tree};
         return {cw.addSnapshot(kTime, {a, b}) + "2 blobs are missing"};
       }},
      // The walk goes on past the listing it cannot read: the file beside
      // it is counted too, and several versions of one minute are told
      // apart by their ids.
      {"a folder listing that was never stored, in two versions of one minute", false,
       [](CheckWorld& cw) -> std::vector<std::string> {
         ListingEntry folder{"folder"}, file{"file"};
         folder.isDir = true;
         folder.tree = NeverStored(2);
         file.content = {NeverStored(3)};
         const std::string lost = "2 blobs are missing; 1 folder listing cannot be read (not-found: blob " +
                                  BlobIdToHex(NeverStored(2)).substr(0, 8) + " is not in the repository)";
         return {cw.addSnapshot(kTime, {folder, file}) + lost, cw.addSnapshot(kTime + 1, {file, folder}) + lost};
       }},
      {"two snapshots share a damaged tree", false,
       [](CheckWorld& cw) -> std::vector<std::string> {
         ListingEntry folder{"folder"};
         folder.isDir = true;
         folder.tree = cw.storeTree("this is not a listing");
         const std::string damaged = "1 folder listing cannot be read (protocol: tree " +
                                     BlobIdToHex(folder.tree).substr(0, 8) + " is damaged)";
         return {cw.addSnapshot(kTime, {folder}) + damaged, cw.addSnapshot(kTime + 60, {folder}) + damaged};
       }},
      {"a snapshot record that does not open", false,
       [](CheckWorld& cw) -> std::vector<std::string> {
         cw.bw.repoWorld.server->putFile("/snapshots/" + std::string(64, 'a'), "garbage");
         return {"snapshot record " + std::string(64, 'a') + " cannot be opened; forget it by this id"};
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CheckWorld cw;
    std::vector<std::string> expected = c.damage(cw);
    Outcome o = Check(*cw.bw.reopen(), c.readData);
    ASSERT_TRUE(o.status.ok()) << "damage is no failure of the check: " << o.status.toString();
    EXPECT_EQ(o.report.problems, expected);
    std::vector<std::string> incomplete;
    for (const std::string& problem : expected)
      if (problem.rfind("version ", 0) == 0) incomplete.push_back(problem.substr(8, 64));
    EXPECT_EQ(o.report.incompleteVersions, incomplete);
    EXPECT_EQ(o.errors, expected.size()) << "a check that found damage must not count as clean";
  }
}

TEST(RepositoryCheck, NetworkFailureAndCancellationEndTheCheck) {
  struct Case {
    const char* name;
    int32_t code;
  } cases[] = {{"network failure reading a tree", Status::kNetwork}, {"cancelled", Status::kCanceled}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CheckWorld cw;
    auto repo = cw.bw.reopen();
    CancelToken token;
    repo->cancel = &token;
    if (c.code == Status::kCanceled)
      token.cancel();
    else
      cw.bw.repoWorld.server->addFault(Fault(MemOp::kReadRange, 1, 0, Status(Status::kNetwork, "reset")));
    Outcome o = Check(*repo, false, &token);
    EXPECT_EQ(o.status.code, c.code);
  }
}

}  // namespace
}  // namespace tarn::backup
