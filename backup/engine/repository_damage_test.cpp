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
         return Expect{Status::kOk, {"pack " + pack.substr(pack.size() - 64, 12) + " is damaged (hash mismatch)"},
                       Status::kOk, Status::kOk, dw.filesWith(dw.firstChunkId)};
       }},
      {"data pack deleted",
       [](DamageWorld& dw) {
         const std::string pack = dw.dataPack();
         dw.remove(pack);
         return Expect{Status::kOk, {"pack " + pack.substr(pack.size() - 64, 12) + " is missing"}, Status::kOk,
                       Status::kOk, dw.filesIn(pack)};
       }},
      {"tree pack flipped",
       [](DamageWorld& dw) {
         dw.flipBlob(dw.rootTree);
         std::set<std::string> all;
         for (const auto& [path, content] : dw.files) all.insert(path);
         return Expect{Status::kOk,
                       {"pack " + dw.treePack.substr(dw.treePack.size() - 64, 12) + " is damaged", "snapshot "},
                       Status::kProtocol, Status::kProtocol, all};
       }},
      {"tree pack deleted",
       [](DamageWorld& dw) {
         dw.remove(dw.treePack);
         std::set<std::string> all;
         for (const auto& [path, content] : dw.files) all.insert(path);
         return Expect{Status::kOk,
                       {"pack " + dw.treePack.substr(dw.treePack.size() - 64, 12) + " is missing", "snapshot "},
                       Status::kNotFound, Status::kNotFound, all};
       }},
      {"index object flipped",
       [](DamageWorld& dw) {
         const std::string index = dw.indexOf(dw.dataPack());
         dw.flip(index);
         return Expect{Status::kOk, {"index " + index.substr(7, 8) + " is damaged: left out"}};
       }},
      {"index object deleted",
       [](DamageWorld& dw) {
         dw.remove(dw.indexOf(dw.dataPack()));
         return Expect{Status::kOk, {"snapshot "}};
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

}  // namespace
}  // namespace tarn::backup
