#include "backup/engine/file_state_cache.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "testing/log_capture.h"
#include "testing/temp_dir.h"

namespace tarn::backup {
namespace {

namespace fs = std::filesystem;

BlobId Id(uint8_t seed) {
  BlobId id;
  for (size_t i = 0; i < id.bytes.size(); ++i) id.bytes[i] = static_cast<uint8_t>(seed + i);
  return id;
}

ListingEntry File(const std::string& name, uint64_t size, uint64_t mtime, std::vector<BlobId> ids) {
  ListingEntry e;
  e.name = name;
  e.size = size;
  e.mtime = mtime;
  e.content = std::move(ids);
  return e;
}

ListingEntry Folder(const std::string& name) {
  ListingEntry e;
  e.name = name;
  e.isDir = true;
  return e;
}

class FileStateCacheTest : public ::testing::Test {
 protected:
  std::string Bin() const { return dir_ + "/state.bin"; }
  std::string New() const { return dir_ + "/state.new"; }

  // One finished run that recorded `blocks`.
  void Run(const std::vector<std::pair<std::string, std::vector<ListingEntry>>>& blocks) {
    FileStateCache cache;
    cache.open(Bin());
    cache.prepareWriter(dir_);
    for (const auto& [path, entries] : blocks) cache.appendFolder(path, entries);
    cache.commit();
  }

  static std::string ReadAll(const std::string& path) {
    std::string data;
    EXPECT_TRUE(vx::ReadWholeFile(path, data)) << path;
    return data;
  }
  static void WriteAll(const std::string& path, const std::string& data) {
    ASSERT_TRUE(vx::WriteFileAtomic(path, data)) << path;
  }

  test::TempDir root_{"tarn-state"};
  const std::string dir_ = root_.file("jobs/job1");
};

TEST_F(FileStateCacheTest, RecordsReachTheNextRun) {
  std::string longName(kMaxStateNameLength, 'n');
  Run({{"/src/a", {File("x.txt", 10, 111, {Id(1)}), Folder("sub"), File("empty", 0, 222, {}), File(longName, 1, 1, {})}},
       {"/src/only-folders", {Folder("f1"), Folder("f2")}},
       {"/src", {File("big", 70, 333, {Id(2), Id(3), Id(4)})}}});
  EXPECT_FALSE(fs::exists(New()));

  FileStateCache cache;
  cache.open(Bin());
  FolderRecords a = cache.readFolder("/src/a");
  ASSERT_EQ(a.size(), 2u);  // no folder, no overlong name
  EXPECT_EQ(a["x.txt"].size, 10u);
  EXPECT_EQ(a["x.txt"].mtime, 111u);
  EXPECT_EQ(a["x.txt"].ids, std::vector<BlobId>{Id(1)});
  EXPECT_EQ(a["empty"].mtime, 222u);
  EXPECT_TRUE(a["empty"].ids.empty());
  EXPECT_EQ(cache.readFolder("/src")["big"].ids, (std::vector<BlobId>{Id(2), Id(3), Id(4)}));
  EXPECT_TRUE(cache.readFolder("/src/only-folders").empty());
  EXPECT_TRUE(cache.readFolder("/SRC/A").empty());

  // A folder holding only folders wrote no block: two blocks in the file.
  size_t expected = 2 * 8 + 6 + 4 + (2 + 5 + 20 + 32) + (2 + 5 + 20) + (2 + 3 + 20 + 3 * 32);
  EXPECT_EQ(fs::file_size(Bin()), expected);
}

TEST_F(FileStateCacheTest, DamagedStateKeepsWhatComesBeforeTheDamage) {
  Run({{"/s/one", {File("a", 1, 1, {Id(1)}), File("b", 2, 2, {Id(2)})}},
       {"/s/two", {File("c", 3, 3, {Id(3)})}},
       {"/s/three", {File("d", 4, 4, {Id(4)})}}});
  const std::string good = ReadAll(Bin());
  const size_t block1 = 8 + 6 + 2 * (2 + 1 + 20 + 32);
  const size_t block2 = 8 + 6 + (2 + 1 + 20 + 32);
  auto u32 = [](uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };

  struct Case {
    const char* what;
    std::string data;
    std::vector<std::string> found;  // folders with records
    size_t recordsOfOne;
  } cases[] = {
      {"intact", good, {"/s/one", "/s/two", "/s/three"}, 2},
      {"empty", "", {}, 0},
      {"seven bytes", good.substr(0, 7), {}, 0},
      {"cut inside the last block", good.substr(0, good.size() - 5), {"/s/one", "/s/two"}, 2},
      {"path too long", good.substr(0, block1) + u32(kMaxStatePathLength + 1) + good.substr(block1 + 4),
       {"/s/one"}, 2},
      {"records past the end", good.substr(0, block1 + 4 + 6) + u32(1u << 30) + good.substr(block1 + 14),
       {"/s/one"}, 2},
      // The next block then starts inside the cut record: its garbage length
      // ends the index there.
      {"record cut inside its ids", good.substr(0, 10) + u32(2 + 1 + 20 + 32 + 2 + 1 + 20 + 10) + good.substr(14),
       {"/s/one"}, 1},
      {"later block of the same path wins",
       good + good.substr(block1, block2).replace(4, 6, "/s/one"), {"/s/one", "/s/two", "/s/three"}, 1},
  };
  for (const auto& c : cases) {
    WriteAll(Bin(), c.data);
    FileStateCache cache;
    cache.open(Bin());
    for (const char* folder : {"/s/one", "/s/two", "/s/three"}) {
      bool expected = std::find(c.found.begin(), c.found.end(), folder) != c.found.end();
      EXPECT_EQ(!cache.readFolder(folder).empty(), expected) << c.what << ": " << folder;
    }
    EXPECT_EQ(cache.readFolder("/s/one").size(), c.recordsOfOne) << c.what;
  }
}

TEST_F(FileStateCacheTest, CrashBeforeCommitLeavesTheOldStateAndNoTrace) {
  Run({{"/s", {File("old", 1, 1, {Id(1)})}}});
  const std::string before = ReadAll(Bin());

  // A run that dies after writing its state but before committing it.
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    FileStateCache cache;
    cache.open(Bin());
    cache.prepareWriter(dir_);
    cache.appendFolder("/s", {File("new", 2, 2, {Id(2)})});
    cache.appendFolder("/s/uploaded-never", {File("lost", 3, 3, {Id(3)})});
    ::_exit(cache.writing() ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ASSERT_TRUE(fs::exists(New()));
  EXPECT_EQ(ReadAll(Bin()), before);

  // The next run reads the old records and starts its own state afresh.
  FileStateCache next;
  next.open(Bin());
  EXPECT_EQ(next.readFolder("/s").count("old"), 1u);
  next.prepareWriter(dir_);
  EXPECT_EQ(fs::file_size(New()), 0u);
  next.appendFolder("/s", {File("newer", 4, 4, {Id(4)})});
  next.commit();

  FileStateCache after;
  after.open(Bin());
  EXPECT_EQ(after.readFolder("/s").count("newer"), 1u);
  EXPECT_EQ(after.readFolder("/s").count("old"), 0u);
  EXPECT_TRUE(after.readFolder("/s/uploaded-never").empty());
}

TEST_F(FileStateCacheTest, RunsThatDoNotCommitLeaveStateBinAlone) {
  Run({{"/s", {File("kept", 1, 1, {Id(1)})}}});
  const std::string before = ReadAll(Bin());
  struct Case {
    const char* what;
    std::function<void(FileStateCache&)> run;
  } cases[] = {
      {"cancelled", [](FileStateCache& c) { c.appendFolder("/s", {File("x", 9, 9, {Id(9)})}); }},
      {"write failed",
       [](FileStateCache& c) {
         // A file-size limit makes the write fail as a full disk would.
         struct rlimit old {};
         ::getrlimit(RLIMIT_FSIZE, &old);
         struct rlimit small = old;
         small.rlim_cur = 16;
         auto handler = ::signal(SIGXFSZ, SIG_IGN);
         ::setrlimit(RLIMIT_FSIZE, &small);
         c.appendFolder("/s", {File("x", 9, 9, {Id(9)})});
         ::setrlimit(RLIMIT_FSIZE, &old);
         ::signal(SIGXFSZ, handler);
         EXPECT_FALSE(c.writing());
         c.appendFolder("/s/later", {File("y", 1, 1, {Id(1)})});
         c.commit();
       }},
  };
  for (const auto& c : cases) {
    {
      FileStateCache cache;
      cache.open(Bin());
      cache.prepareWriter(dir_);
      c.run(cache);
    }
    EXPECT_FALSE(fs::exists(New())) << c.what;
    EXPECT_EQ(ReadAll(Bin()), before) << c.what;
  }
}

TEST_F(FileStateCacheTest, FailedReplaceIsLoggedAndKeepsTheOldState) {
  Run({{"/s", {File("kept", 1, 1, {Id(1)})}}});
  test::LogCapture log;
  FileStateCache cache;
  cache.prepareWriter(dir_);
  cache.appendFolder("/s", {File("x", 9, 9, {Id(9)})});
  // A folder in state.bin's place cannot be replaced by a file.
  fs::remove(Bin());
  fs::create_directory(Bin());
  cache.commit();
  EXPECT_EQ(log.countLines("backup: cannot replace " + Bin() + ": Is a directory"), 1);
  EXPECT_FALSE(fs::exists(New()));
}

TEST_F(FileStateCacheTest, NoStateFolderMeansNoStateFiles) {
  FileStateCache cache;
  cache.open("");
  cache.prepareWriter("");
  EXPECT_FALSE(cache.writing());
  cache.appendFolder("/s", {File("x", 1, 1, {Id(1)})});
  cache.commit();
  EXPECT_FALSE(fs::exists(dir_));
}

}  // namespace
}  // namespace tarn::backup
