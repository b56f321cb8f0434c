// Damage of every kind of repository object, one at a time: a flipped byte
// and a deleted object of "/config", a data pack, the tree pack, an index
// object, a snapshot record and a lock. After each, a check, a prune (whose
// full index replaces a damaged one) and a restore: what the check names,
// whether the prune may run, and which files come back and which are named
// as lost.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <set>

#include "backup/engine/backup_test_world.h"
#include "backup/engine/prune.h"
#include "backup/engine/repository_check.h"
#include "backup/engine/restore.h"
#include "backup/engine/restore_test_world.h"
#include "backup/repo/index_format.h"
#include "foundation/text.h"

namespace tarn::backup {
namespace {

namespace fs = std::filesystem;

// A backup of three folders over several data packs, one index object per
// pack, seen two hours later (so that a prune may take care of what no index
// names).
struct DamageWorld {
  BackupWorld bw;
  std::shared_ptr<Repo> repo;
  SnapshotInfo version;
  std::map<std::string, std::string> files;               // path below the source -> content
  std::map<std::string, std::set<std::string>> packsOf;  // path below the source -> its packs' paths
  std::string treePack;
  // Where the root listing and the first chunk of b/three.bin lie.
  std::pair<std::string, BlobLocation> rootTree, firstChunk;
  BlobId firstChunkId;

  DamageWorld() {
    bw.repoWorld.options.compress = false;
    bw.repoWorld.options.indexSegmentPacks = 1;
    bw.repoWorld.options.clock = [] { return vx::UnixNow() + 2 * kUnnamedPackMinAgeSec; };
    repo = bw.create();
    for (const auto& [path, size, seed] : {std::tuple<const char*, size_t, uint32_t>{"a/one.bin", 700000, 1},
                                           {"a/two.bin", 700000, 2},
                                           {"b/three.bin", 700000, 3},
                                           {"c/small.txt", 5, 4}})
    {
      files[path] = RandomString(size, seed);
      bw.write(path, files[path]);
    }
    BackupWorld::Result r = bw.backup(*repo, bw.args());
    EXPECT_TRUE(r.status.ok()) << r.status.toString();
    version = r.snapshot;
    mapPacks(version.tree, "");
    rootTree = place(version.tree);
    firstChunk = place(firstChunkId);
    repo.reset();
  }

  std::pair<std::string, BlobLocation> place(const BlobId& blob) {
    BlobLocation loc;
    EXPECT_TRUE(RepoTestPeer::location(*repo, blob, loc));
    return {PackPath(RepoTestPeer::packs(*repo).at(loc.pack).id), loc};
  }
  // One byte flipped in the middle of a stored blob.
  void flipBlob(const std::pair<std::string, BlobLocation>& at) {
    std::string bytes;
    ASSERT_TRUE(bw.repoWorld.server->readFile(at.first, &bytes));
    bytes[at.second.offset + at.second.storedLength / 2] ^= 0x01;
    bw.repoWorld.server->putFile(at.first, bytes);
  }
  // The files whose content holds `blob`.
  std::set<std::string> filesWith(const BlobId& blob) {
    std::set<std::string> out;
    for (const auto& [path, ids] : contentOf)
      if (std::find(ids.begin(), ids.end(), blob) != ids.end()) out.insert(path);
    return out;
  }
  std::map<std::string, std::vector<BlobId>> contentOf;

  // Which packs hold each file's content, and which one the trees.
  void mapPacks(const BlobId& tree, const std::string& prefix) {
    treePack = packPath(tree);
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(repo->readBlob(tree, bytes).ok());
    std::vector<ListingEntry> entries;
    EXPECT_TRUE(ParseFolderListing(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), entries));
    for (const ListingEntry& e : entries) {
      // The root entry is the source folder itself.
      const std::string path = prefix.empty() && tree == version.tree ? "" : prefix + (prefix.empty() ? "" : "/") + e.name;
      if (e.isDir) {
        mapPacks(e.tree, path);
        continue;
      }
      for (const BlobId& id : e.content) packsOf[path].insert(packPath(id));
      contentOf[path] = e.content;
      if (path == "b/three.bin") firstChunkId = e.content.front();
    }
  }
  std::string packPath(const BlobId& blob) {
    BlobLocation loc;
    EXPECT_TRUE(RepoTestPeer::location(*repo, blob, loc));
    return PackPath(RepoTestPeer::packs(*repo).at(loc.pack).id);
  }
  // The index object that names `pack`.
  std::string indexOf(const std::string& pack) {
    auto opener = bw.reopen();
    for (const std::string& name : bw.repoWorld.names("/index")) {
      std::string sealed;
      EXPECT_TRUE(bw.repoWorld.server->readFile("/index/" + name, &sealed));
      std::vector<uint8_t> plain;
      std::vector<IndexPackRecord> records;
      if (!RepoTestPeer::cipher(*opener).open(reinterpret_cast<const uint8_t*>(sealed.data()), sealed.size(),
                                               kLabelIndex, plain))
        continue;
      (void)ParseIndexObject(plain.data(), plain.size(), records);
      for (const IndexPackRecord& r : records)
        if (PackPath(r.id) == pack) return "/index/" + name;
    }
    ADD_FAILURE() << "no index object names " << pack;
    return {};
  }
  std::string dataPack() { return firstChunk.first; }
  std::string onlyIn(const std::string& folder) { return folder + "/" + bw.repoWorld.names(folder).front(); }

  void flip(const std::string& path) {
    std::string bytes;
    ASSERT_TRUE(bw.repoWorld.server->readFile(path, &bytes)) << path;
    bytes[bytes.size() / 2] ^= 0x01;
    bw.repoWorld.server->putFile(path, bytes);
  }
  void remove(const std::string& path) {
    auto conn = bw.repoWorld.server->connection();
    ASSERT_TRUE(conn->connect().ok() && conn->remove(path, false).ok()) << path;
  }
  // The files whose content lies in `pack`.
  std::set<std::string> filesIn(const std::string& pack) {
    std::set<std::string> out;
    for (const auto& [path, packs] : packsOf)
      if (packs.count(pack) != 0) out.insert(path);
    return out;
  }
};

struct Expect {
  Status::Code open = Status::kOk;
  std::vector<std::string> problems;  // the check's, each a beginning
  Status::Code prune = Status::kOk;
  Status::Code restore = Status::kOk;
  std::set<std::string> lost;  // files named as lost; all others come back
};

TEST(RepositoryDamage, EveryKindOfObjectFlippedOrDeleted) {
  using Damage = std::function<Expect(DamageWorld&)>;
  const std::string damagedRecord = "snapshot record ";
  struct Case {
    const char* name;
    Damage damage;
  } cases[] = {
      {"config flipped",
       [](DamageWorld& dw) {
         // A byte of the sealed keys, kept valid base64.
         std::string config;
         EXPECT_TRUE(dw.bw.repoWorld.server->readFile("/config", &config));
         const size_t at = config.find("\"keys\"") + 20;
         config[at] = config[at] == 'A' ? 'B' : 'A';
         dw.bw.repoWorld.server->putFile("/config", config);
         return Expect{Status::kAuthFailed};
       }},
      {"config deleted",
       [](DamageWorld& dw) {
         dw.remove("/config");
         return Expect{Status::kNotFound};
       }},
      {"data pack flipped",
       [](DamageWorld& dw) {
         const std::string pack = dw.firstChunk.first;
         dw.flipBlob(dw.firstChunk);
         return Expect{Status::kOk,
                       {"pack " + pack.substr(pack.size() - 64, 12) + " is damaged (hash mismatch)", "version "},
                       Status::kOk, Status::kOk, dw.filesWith(dw.firstChunkId)};
       }},
      {"data pack deleted",
       [](DamageWorld& dw) {
         const std::string pack = dw.dataPack();
         dw.remove(pack);
         return Expect{Status::kOk, {"pack " + pack.substr(pack.size() - 64, 12) + " is missing", "version "},
                       Status::kOk, Status::kOk, dw.filesIn(pack)};
       }},
      // A lost listing stops no prune: what lies below it is unknown.
      {"tree pack flipped",
       [](DamageWorld& dw) {
         dw.flipBlob(dw.rootTree);
         std::set<std::string> all;
         for (const auto& [path, content] : dw.files) all.insert(path);
         return Expect{Status::kOk,
                       {"pack " + dw.treePack.substr(dw.treePack.size() - 64, 12) + " is damaged", "version "},
                       Status::kOk, Status::kProtocol, all};
       }},
      {"tree pack deleted",
       [](DamageWorld& dw) {
         dw.remove(dw.treePack);
         std::set<std::string> all;
         for (const auto& [path, content] : dw.files) all.insert(path);
         return Expect{Status::kOk,
                       {"pack " + dw.treePack.substr(dw.treePack.size() - 64, 12) + " is missing", "version "},
                       Status::kOk, Status::kNotFound, all};
       }},
      {"index object flipped",
       [](DamageWorld& dw) {
         const std::string index = dw.indexOf(dw.dataPack());
         dw.flip(index);
         return Expect{Status::kOk, {"index " + index.substr(7, 8) + " is damaged: left out"}};
       }},
      {"index object deleted",
       [](DamageWorld& dw) {
         // The packs it named are read from their headers: nothing is lost.
         dw.remove(dw.indexOf(dw.dataPack()));
         return Expect{};
       }},
      {"snapshot record flipped",
       [&](DamageWorld& dw) {
         dw.flip(dw.onlyIn("/snapshots"));
         return Expect{Status::kOk, {damagedRecord}, Status::kProtocol};
       }},
      {"snapshot record deleted",
       [](DamageWorld& dw) {
         dw.remove(dw.onlyIn("/snapshots"));
         // Forgotten: a prune then gives back everything it held.
         std::set<std::string> all;
         for (const auto& [path, content] : dw.files) all.insert(path);
         return Expect{Status::kOk, {}, Status::kOk, Status::kNotFound, all};
       }},
      {"lock flipped",
       [](DamageWorld& dw) {
         auto holder = dw.bw.reopen();
         EXPECT_TRUE(holder->lock(LockMode::kShared, "backup").ok());
         const std::string lock = dw.onlyIn("/locks");
         holder.reset();
         dw.bw.repoWorld.server->putFile(lock, "garbage");
         // Written two hours before the prune looks: stale, and removed.
         return Expect{};
       }},
      {"lock deleted",
       [](DamageWorld& dw) {
         auto holder = dw.bw.reopen();
         EXPECT_TRUE(holder->lock(LockMode::kShared, "backup").ok());
         dw.remove(dw.onlyIn("/locks"));
         EXPECT_EQ(holder->refreshLock().code, Status::kConflict) << "its holder learns it";
         return Expect{};
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DamageWorld dw;
    const Expect expect = c.damage(dw);
    auto repo = std::make_shared<Repo>(dw.bw.repoWorld.server->factory(), dw.bw.repoWorld.options);
    Status st = repo->open(kTestPassword);
    EXPECT_EQ(st.code, expect.open) << st.toString();
    if (!st.ok()) continue;
    ASSERT_TRUE(repo->loadIndex().ok());
    repo->chunkerParams = kTestChunks;

    CheckReport check;
    st = CheckRepository(*repo, true, check, nullptr, nullptr);
    ASSERT_TRUE(st.ok()) << st.toString();
    ASSERT_EQ(check.problems.size(), expect.problems.size())
        << (check.problems.empty() ? std::string() : check.problems.front());
    for (size_t i = 0; i < expect.problems.size(); ++i)
      EXPECT_EQ(check.problems[i].rfind(expect.problems[i], 0), 0u) << check.problems[i];

    std::vector<std::string> removed;
    st = Prune(*repo, Retention{0, 0, 0, 0}, "", true, nullptr, removed, nullptr);
    EXPECT_EQ(st.code, expect.prune) << st.toString();
    repo->unlock();
    EXPECT_TRUE(dw.bw.repoWorld.names("/locks").empty());
    if (expect.prune == Status::kOk && expect.lost.empty()) {
      // Whatever the prune could mend is mended: the next check is clean.
      auto after = dw.bw.reopen();
      CheckReport again;
      ASSERT_TRUE(CheckRepository(*after, true, again, nullptr, nullptr).ok());
      EXPECT_TRUE(again.problems.empty()) << again.problems.front();
      EXPECT_EQ(again.unindexedPacks, 0u);
    }

    test::TempDir target("tarn-damage-target", 0755);
    Progress progress;
    std::vector<std::string> problems;
    RestoreRequest request;
    request.target = target.path();
    request.inProcess = true;
    st = Restore(*dw.bw.reopen(), dw.version, request, progress, nullptr, problems);
    EXPECT_EQ(st.code, expect.restore) << st.toString();
    const std::string root = target.path() + "/" + fs::path(dw.bw.src).filename().string();
    for (const auto& [path, content] : dw.files) {
      SCOPED_TRACE(path);
      if (expect.lost.count(path) != 0) {
        EXPECT_FALSE(fs::exists(root + "/" + path));
        if (st.ok()) {
          bool named = false;
          for (const std::string& p : problems) named = named || p.rfind(root + "/" + path + ": ", 0) == 0;
          EXPECT_TRUE(named) << "a lost file is named";
        }
      } else {
        EXPECT_EQ(ReadText(root + "/" + path), content);
      }
    }
    if (st.ok()) {
      EXPECT_EQ(progress.errors.load(), expect.lost.size());
    }
  }
}

// The files of a version restored into a new folder, by path below the
// source, with the restore's problems.
struct Restored {
  Status status;
  std::map<std::string, std::string> files;
  std::vector<std::string> problems;
};

Restored RestoreWhole(BackupWorld& bw, const SnapshotInfo& version) {
  test::TempDir target("tarn-damage-target", 0755);
  Restored out;
  Progress progress;
  RestoreRequest request;
  request.target = target.path();
  request.inProcess = true;
  out.status = Restore(*bw.reopen(), version, request, progress, nullptr, out.problems);
  const std::string root = target.path() + "/" + fs::path(bw.src).filename().string();
  for (const std::string& path : TreeOf(root))
    if (fs::is_regular_file(root + "/" + path)) out.files[path] = ReadText(root + "/" + path);
  return out;
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// What only a lost pack held counts as gone: the next backup reads the files
// that hold it again, although the file-state cache has them unchanged, so
// its version is whole, and so is every older one that needs the same data.
TEST(RepositoryDamage, ALostPackIsStoredAgainByTheNextBackupAndTheVersionsHeal) {
  DamageWorld dw;
  const std::string pack = dw.dataPack();
  const std::set<std::string> needing = dw.filesIn(pack);
  ASSERT_FALSE(needing.empty());
  uint64_t needed = 0;
  for (const std::string& path : needing) needed += dw.files[path].size();
  dw.remove(pack);
  const std::string missing = "pack " + pack.substr(pack.size() - 64, 12) + " is missing";

  auto repo = dw.bw.reopen();
  CheckReport check;
  ASSERT_TRUE(CheckRepository(*repo, false, check, nullptr, nullptr).ok());
  ASSERT_EQ(check.problems.size(), 2u);
  EXPECT_EQ(check.problems[0], missing);
  EXPECT_TRUE(check.problems[1].rfind("version " + dw.version.id + " of ", 0) == 0 &&
              EndsWith(check.problems[1], " blobs are missing"))
      << "the version that is not whole is named: " << check.problems[1];

  BackupWorld::Result again = dw.bw.backup(*repo, dw.bw.args());
  ASSERT_TRUE(again.status.ok()) << again.status.toString();
  EXPECT_EQ(again.bytesRead, needed) << "only the files the lost pack held are read again";
  repo.reset();
  for (const SnapshotInfo* version : {&again.snapshot, &dw.version}) {
    SCOPED_TRACE(version == &dw.version ? "the older version" : "the new version");
    Restored r = RestoreWhole(dw.bw, *version);
    ASSERT_TRUE(r.status.ok()) << r.status.toString();
    EXPECT_TRUE(r.problems.empty()) << r.problems.front();
    EXPECT_EQ(r.files, dw.files);
  }

  // The lost pack holds nothing that is not stored again: the check is
  // clean at once, before a prune writes the index anew without it.
  check = CheckReport();
  ASSERT_TRUE(CheckRepository(*dw.bw.reopen(), true, check, nullptr, nullptr).ok());
  EXPECT_TRUE(check.problems.empty()) << check.problems.front();
  EXPECT_TRUE(dw.bw.reopen()->packDamage().empty()) << "other tasks name it no more either";
  repo = dw.bw.reopen();
  std::vector<std::string> removed;
  ASSERT_TRUE(Prune(*repo, Retention{0, 0, 0, 0}, "", true, nullptr, removed, nullptr).ok());
  repo.reset();
  check = CheckReport();
  ASSERT_TRUE(CheckRepository(*dw.bw.reopen(), true, check, nullptr, nullptr).ok());
  EXPECT_TRUE(check.problems.empty()) << check.problems.front();
}

// An index object lost a minute ago: the packs it named are read from their
// headers at once, so restores, checks, backups and prunes all go on. Only
// removing them would wait for the hour, and nothing is removed.
TEST(RepositoryDamage, AnIndexLostAMinuteAgoHoldsUpNothingAndItsPacksStay) {
  BackupWorld bw;
  bw.repoWorld.options.compress = false;
  std::map<std::string, std::string> files = {{"a/one.bin", RandomString(700000, 1)},
                                              {"a/two.bin", RandomString(700000, 2)},
                                              {"b/three.txt", "three"}};
  for (const auto& [path, content] : files) bw.write(path, content);
  auto repo = bw.create();
  BackupWorld::Result first = bw.backup(*repo, bw.args());
  ASSERT_TRUE(first.status.ok()) << first.status.toString();
  repo.reset();
  {
    auto conn = bw.repoWorld.server->connection();
    ASSERT_TRUE(conn->connect().ok());
    for (const std::string& name : bw.repoWorld.names("/index")) ASSERT_TRUE(conn->remove("/index/" + name, false).ok());
  }
  const std::vector<std::string> packs = bw.repoWorld.packPaths();

  Restored r = RestoreWhole(bw, first.snapshot);
  ASSERT_TRUE(r.status.ok()) << r.status.toString();
  EXPECT_EQ(r.files, files);
  CheckReport check;
  ASSERT_TRUE(CheckRepository(*bw.reopen(), true, check, nullptr, nullptr).ok());
  EXPECT_TRUE(check.problems.empty()) << check.problems.front();
  EXPECT_EQ(check.unindexedPacks, packs.size()) << "what no index names is counted all the same";

  BackupWorld::Result second = bw.backup(*bw.reopen(), bw.args());
  ASSERT_TRUE(second.status.ok()) << second.status.toString();
  EXPECT_EQ(second.snapshot.addedBytes, 0u) << "nothing is stored twice";

  repo = bw.reopen();
  std::vector<std::string> removed;
  PruneReport report;
  Status st = Prune(*repo, Retention{1, 0, 0, 0}, "job1", true, nullptr, removed, &report);
  ASSERT_TRUE(st.ok()) << st.toString();
  ASSERT_EQ(removed.size(), 1u);
  EXPECT_EQ(report.youngPacksKept, packs.size());
  EXPECT_EQ(bw.repoWorld.packPaths(), packs);
  repo.reset();
  // Both runs may fall in one second: either version may be the one kept.
  r = RestoreWhole(bw, removed.front() == first.snapshot.id ? second.snapshot : first.snapshot);
  ASSERT_TRUE(r.status.ok()) << r.status.toString();
  EXPECT_EQ(r.files, files);
}


// The folder listing below `names` (each a folder's name) of a tree.
BlobId TreeAt(Repo& repo, BlobId tree, const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(repo.readBlob(tree, bytes).ok());
    std::vector<ListingEntry> entries;
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    EXPECT_TRUE(ParseFolderListing(text, entries));
    for (const ListingEntry& e : entries)
      if (e.isDir && e.name == name) tree = e.tree;
  }
  return tree;
}

// One folder listing of an old version is lost (a byte of it flipped in its
// pack), and the files below it changed since: the check names that version
// by its id and not the newer one; prunes go on, keeping everything the old
// version still names (its own copy of a/one.bin), and name it too.
TEST(RepositoryDamage, ALostListingOfAnOldVersionLeavesPrunesGoingAndIsNamedById) {
  BackupWorld bw;
  bw.repoWorld.options.compress = false;
  bw.repoWorld.options.clock = [] { return vx::UnixNow() + 2 * kUnnamedPackMinAgeSec; };
  std::map<std::string, std::string> files = {
      {"a/one.bin", RandomString(300000, 1)}, {"b/two.bin", RandomString(600000, 2)}, {"c/three.txt", "three"}};
  for (const auto& [path, content] : files) bw.write(path, content);
  auto repo = bw.create();
  BackupWorld::Result first = bw.backup(*repo, bw.args());
  ASSERT_TRUE(first.status.ok()) << first.status.toString();
  std::map<std::string, std::string> later = files;
  later["a/one.bin"] = RandomString(300000, 3);
  later["b/two.bin"] = RandomString(300000, 4);
  for (const auto& [path, content] : later) bw.write(path, content);
  BackupWorld::Result second = bw.backup(*repo, bw.args());
  ASSERT_TRUE(second.status.ok()) << second.status.toString();
  const BlobId lost = TreeAt(*repo, first.snapshot.tree, {fs::path(bw.src).filename().string(), "b"});
  BlobLocation loc;
  ASSERT_TRUE(RepoTestPeer::location(*repo, lost, loc));
  const std::string pack = PackPath(RepoTestPeer::packs(*repo).at(loc.pack).id);
  repo.reset();
  std::string bytes;
  ASSERT_TRUE(bw.repoWorld.server->readFile(pack, &bytes));
  bytes[loc.offset + loc.storedLength / 2] ^= 0x01;
  bw.repoWorld.server->putFile(pack, bytes);

  repo = bw.reopen();
  CheckReport check;
  ASSERT_TRUE(CheckRepository(*repo, false, check, nullptr, nullptr).ok());
  EXPECT_EQ(check.incompleteVersions, std::vector<std::string>{first.snapshot.id});
  ASSERT_EQ(check.problems.size(), 1u);
  EXPECT_EQ(check.problems[0].rfind("version " + first.snapshot.id + " of ", 0), 0u) << check.problems[0];

  std::vector<std::string> removed;
  PruneReport report;
  Status st = Prune(*repo, Retention{0, 0, 0, 0}, "", true, nullptr, removed, &report);
  ASSERT_TRUE(st.ok()) << st.toString();
  EXPECT_EQ(report.incompleteVersions, std::vector<std::string>{first.snapshot.id});
  EXPECT_GT(report.packsDeleted + report.packsRepacked, 0u) << "what only the lost listing named is given back";
  repo.reset();

  Restored old = RestoreWhole(bw, first.snapshot);
  ASSERT_TRUE(old.status.ok()) << old.status.toString();
  std::map<std::string, std::string> kept = files;
  kept.erase("b/two.bin");
  EXPECT_EQ(old.files, kept);
  Restored now = RestoreWhole(bw, second.snapshot);
  ASSERT_TRUE(now.status.ok()) << now.status.toString();
  EXPECT_EQ(now.files, later);
}

}  // namespace
}  // namespace tarn::backup
