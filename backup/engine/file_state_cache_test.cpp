#include "backup/engine/file_state_cache.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "testing/log_capture.h"
#include "testing/temp_dir.h"

namespace tarn::backup {
namespace {

namespace fs = std::filesystem;

BlobId Id(uint8_t seed) {
  BlobId id;
  id.bytes.fill(seed);
  return id;
}

ListingEntry File(const std::string& name, uint64_t size, std::vector<BlobId> ids = {}, bool isDir = false) {
  ListingEntry e;
  e.name = name;
  e.size = size;
  e.mtime = size * 10;
  e.content = std::move(ids);
  e.isDir = isDir;
  return e;
}

class FileStateCacheTest : public ::testing::Test {
 protected:
  using Blocks = std::vector<std::pair<std::string, std::vector<ListingEntry>>>;

  // A run that records `blocks`; only a committed one replaces state.bin.
  void Run(const Blocks& blocks, bool commit = true) {
    FileStateCache cache;
    cache.open(bin_);
    cache.prepareWriter(dir_);
    for (const auto& [path, entries] : blocks) cache.appendFolder(path, entries);
    if (commit) cache.commit();
  }
  std::string Read(const std::string& path) {
    std::string data;
    EXPECT_TRUE(vx::ReadWholeFile(path, data)) << path;
    return data;
  }

  test::TempDir root_{"tarn-state"};
  const std::string dir_ = root_.file("jobs/job1");
  const std::string bin_ = dir_ + "/state.bin";
  const std::string new_ = dir_ + "/state.new";
};

TEST_F(FileStateCacheTest, RecordsReachTheNextRun) {
  Run({{"/src/a",
        {File("x.txt", 10, {Id(1)}), File("sub", 0, {}, true), File("empty", 0),
         File(std::string(kMaxStateNameLength, 'n'), 1)}},
       {"/src/only-folders", {File("f1", 0, {}, true)}},
       {"/src", {File("big", 70, {Id(2), Id(3), Id(4)})}}});
  EXPECT_FALSE(fs::exists(new_));
  // No block for a folder of folders, no record for folders or overlong names.
  EXPECT_EQ(fs::file_size(bin_),
            2 * (8 + kIdentifiedBlockTag.size()) + 6 + 4 + (2 + 5 + 44 + 32) + (2 + 5 + 44) + (2 + 3 + 44 + 3 * 32));

  FileStateCache cache;
  cache.open(bin_);
  FolderRecords a = cache.readFolder("/src/a");
  ASSERT_EQ(a.size(), 2u);
  EXPECT_EQ(a["x.txt"].size, 10u);
  EXPECT_EQ(a["x.txt"].mtime, 100u);
  EXPECT_EQ(a["x.txt"].ids, std::vector<BlobId>{Id(1)});
  EXPECT_TRUE(a["empty"].ids.empty());
  EXPECT_EQ(cache.readFolder("/src")["big"].ids, (std::vector<BlobId>{Id(2), Id(3), Id(4)}));
  EXPECT_TRUE(cache.readFolder("/SRC/A").empty());
}

// Little-endian integers as the files hold them.
std::string Le(uint64_t v, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
  return out;
}

// Records keep each file's change time, device and inode. Blocks as earlier
// versions wrote them (no tag, records without identities) are still read,
// and a record without identity matches no file, which is read once more.
TEST_F(FileStateCacheTest, RecordsCarryIdentitiesAndThoseOfEarlierVersionsNone) {
  FileStateCache writer;
  writer.prepareWriter(dir_);
  writer.appendFolder("/s/new", {File("a", 1, {Id(1)}), File("sub", 0, {}, true), File("b", 2, {Id(2)})},
                      {FileIdentity{11, 12, 13}, FileIdentity{}, FileIdentity{21, 22, 23}});
  writer.commit();
  {
    FileStateCache cache;
    cache.open(bin_);
    FolderRecords fresh = cache.readFolder("/s/new");
    ASSERT_EQ(fresh.size(), 2u);
    EXPECT_EQ(fresh["a"].identity, (FileIdentity{11, 12, 13}));
    EXPECT_EQ(fresh["a"].ids, std::vector<BlobId>{Id(1)});
    EXPECT_EQ(fresh["b"].identity, (FileIdentity{21, 22, 23}));
    EXPECT_EQ(fresh["b"].size, 2u);
    EXPECT_EQ(fresh["b"].mtime, 20u);
    EXPECT_TRUE(cache.readFolder(std::string(kIdentifiedBlockTag) + "/s/new").empty()) << "the tag is no path";
  }

  // Blocks of an earlier version before and after this one's, the later of
  // the same folder as this one's.
  auto earlier = [](const std::string& path) {
    const std::string record = Le(1, 2) + "c" + Le(3, 8) + Le(30, 8) + Le(1, 4) + std::string(32, '\3');
    return Le(path.size(), 4) + path + Le(record.size(), 4) + record;
  };
  ASSERT_TRUE(vx::WriteFileAtomic(bin_, earlier("/s/old") + Read(bin_) + earlier("/s/new")));
  FileStateCache cache;
  cache.open(bin_);
  for (const char* folder : {"/s/old", "/s/new"}) {
    FolderRecords old = cache.readFolder(folder);
    ASSERT_EQ(old.size(), 1u) << folder;
    EXPECT_EQ(old["c"].size, 3u);
    EXPECT_EQ(old["c"].mtime, 30u);
    EXPECT_EQ(old["c"].ids, std::vector<BlobId>{Id(3)});
    EXPECT_FALSE(old["c"].identity.has_value());
  }
}

// A folder too deep for the index to trust its path gets no block: its
// files are read again, and the folders after it keep their records.
TEST_F(FileStateCacheTest, AFolderTooDeepForARecordLeavesTheOthersTheirs) {
  const std::string deep = "/s" + std::string(kMaxStatePathLength, 'd');
  Run({{deep, {File("deepest", 1, {Id(1)})}}, {"/s", {File("top", 2, {Id(2)})}}});
  FileStateCache cache;
  cache.open(bin_);
  EXPECT_TRUE(cache.readFolder(deep).empty());
  EXPECT_EQ(cache.readFolder("/s").count("top"), 1u);
}

TEST_F(FileStateCacheTest, DamagedStateKeepsWhatComesBeforeTheDamage) {
  Run({{"/s/one", {File("a", 1, {Id(1)}), File("b", 2, {Id(2)})}},
       {"/s/two", {File("c", 3, {Id(3)})}},
       {"/s/three", {File("d", 4, {Id(4)})}}});
  const std::string good = Read(bin_);
  const size_t record = 2 + 1 + 44 + 32;
  const size_t tag = kIdentifiedBlockTag.size();
  const size_t block1 = 8 + tag + 6 + 2 * record;
  auto u32 = [](uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };

  struct Case {
    const char* what;
    std::string data;
    std::string found;  // the folders with records, by initial
    size_t recordsOfOne;
  } cases[] = {
      {"intact", good, "ott", 2},
      {"empty", "", "", 0},
      {"seven bytes", good.substr(0, 7), "", 0},
      {"cut inside the last block", good.substr(0, good.size() - 5), "ot", 2},
      {"path too long", good.substr(0, block1) + u32(kMaxStatePathLength + 1) + good.substr(block1 + 4), "o", 2},
      {"records past the end",
       good.substr(0, block1 + tag + 10) + u32(1u << 30) + good.substr(block1 + tag + 14), "o", 2},
      // The next block then starts inside the cut record; its garbage length
      // ends the index there.
      {"record cut inside its ids", good.substr(0, tag + 10) + u32(2 * record - 22) + good.substr(tag + 14), "o", 1},
      {"a later block of the same path wins",
       good + good.substr(block1, 8 + tag + 6 + record).replace(4 + tag, 6, "/s/one"), "ott", 1},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(vx::WriteFileAtomic(bin_, c.data));
    FileStateCache cache;
    cache.open(bin_);
    std::string found;
    for (const char* folder : {"/s/one", "/s/two", "/s/three"})
      if (!cache.readFolder(folder).empty()) found += folder[3];
    EXPECT_EQ(found, c.found) << c.what;
    EXPECT_EQ(cache.readFolder("/s/one").size(), c.recordsOfOne) << c.what;
  }
}

TEST_F(FileStateCacheTest, CrashBeforeCommitLeavesTheOldStateAndNoTrace) {
  Run({{"/s", {File("old", 1, {Id(1)})}}});
  const std::string before = Read(bin_);

  // A run that dies after writing its state but before committing it.
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    FileStateCache cache;
    cache.prepareWriter(dir_);
    cache.appendFolder("/s", {File("new", 2, {Id(2)})});
    cache.appendFolder("/s/never-uploaded", {File("lost", 3, {Id(3)})});
    ::_exit(cache.writing() ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ASSERT_TRUE(fs::exists(new_));
  EXPECT_EQ(Read(bin_), before);

  // The next run reads the old records and starts its own state afresh.
  FileStateCache next;
  next.open(bin_);
  EXPECT_EQ(next.readFolder("/s").count("old"), 1u);
  next.prepareWriter(dir_);
  EXPECT_EQ(fs::file_size(new_), 0u);
  next.appendFolder("/s", {File("newer", 4, {Id(4)})});
  next.commit();
  FileStateCache after;
  after.open(bin_);
  EXPECT_EQ(after.readFolder("/s").size(), 1u);
  EXPECT_EQ(after.readFolder("/s").count("newer"), 1u);
  EXPECT_TRUE(after.readFolder("/s/never-uploaded").empty());
}

TEST_F(FileStateCacheTest, RunsThatDoNotCommitLeaveStateBinAlone) {
  Run({{"/s", {File("kept", 1, {Id(1)})}}});
  const std::string before = Read(bin_);

  Run({{"/s", {File("cancelled", 9, {Id(9)})}}}, false);
  EXPECT_FALSE(fs::exists(new_));
  EXPECT_EQ(Read(bin_), before);

  // A file-size limit makes the write fail as a full disk would; the rest
  // of the run writes nothing and its commit keeps the old state.
  struct rlimit old {};
  ::getrlimit(RLIMIT_FSIZE, &old);
  struct rlimit small = old;
  small.rlim_cur = 16;
  auto handler = ::signal(SIGXFSZ, SIG_IGN);
  ::setrlimit(RLIMIT_FSIZE, &small);
  FileStateCache cache;
  cache.prepareWriter(dir_);
  cache.appendFolder("/s", {File("too-much", 9, {Id(9)})});
  ::setrlimit(RLIMIT_FSIZE, &old);
  ::signal(SIGXFSZ, handler);
  EXPECT_FALSE(cache.writing());
  cache.appendFolder("/s/later", {File("y", 1, {Id(1)})});
  cache.commit();
  EXPECT_FALSE(fs::exists(new_));
  EXPECT_EQ(Read(bin_), before);
}

TEST_F(FileStateCacheTest, FailedReplaceIsLoggedAndLeavesNoStateNew) {
  test::LogCapture log;
  FileStateCache cache;
  cache.prepareWriter(dir_);
  cache.appendFolder("/s", {File("x", 9, {Id(9)})});
  fs::create_directory(bin_);  // a folder cannot be replaced by a file
  cache.commit();
  EXPECT_EQ(log.countLines("backup: cannot replace " + bin_ + ": Is a directory"), 1);
  EXPECT_FALSE(fs::exists(new_));
}

}  // namespace
}  // namespace tarn::backup
