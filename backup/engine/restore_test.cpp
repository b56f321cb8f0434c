#include "backup/engine/restore.h"

#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>
#include <thread>

#include "backup/engine/local_path.h"
#include "backup/engine/restore_filler.h"
#include "backup/engine/restore_test_world.h"
#include "backup/repo/repo_test_world.h"
#include "foundation/text.h"
#include "testing/temp_dir.h"

namespace tarn::backup {
namespace {

namespace fs = std::filesystem;

std::string Random(size_t size, uint32_t seed) {
  std::vector<uint8_t> v = RandomBlob(size, seed);
  return std::string(v.begin(), v.end());
}

bool HasTemporary(const std::vector<std::string>& tree) {
  for (const std::string& p : tree)
    if (p.find(kRestoreTempSuffix) != std::string::npos) return true;
  return false;
}

class RestoreTest : public ::testing::Test {
 protected:
  Status restore(const SnapshotInfo& version, const std::string& path, const std::string& target,
                 const CancelToken* cancel = nullptr) {
    RestoreRequest r;
    r.path = path;
    r.target = target;
    r.inProcess = true;
    return run(version, r, cancel);
  }
  Status run(const SnapshotInfo& version, const RestoreRequest& request, const CancelToken* cancel = nullptr) {
    progress_ = std::make_unique<Progress>();
    problems_.clear();
    return Restore(*repo_, version, request, *progress_, cancel, problems_);
  }
  std::string target() const { return dir_.file("target"); }
  std::string at(const std::string& rel) const { return dir_.file("target/" + rel); }
  // The path of the pack that holds the first blob of a file.
  std::string packOf(VersionBuilder& v, const std::string& file) {
    BlobLocation loc;
    EXPECT_TRUE(RepoTestPeer::location(*repo_, v.blobsOf(file).front(), loc));
    return PackPath(RepoTestPeer::packs(*repo_)[loc.pack].id);
  }

  RepoWorld world_;
  std::shared_ptr<Repo> repo_ = world_.create();
  tarn::test::TempDir dir_{"tarn-restore", 0755};
  std::unique_ptr<Progress> progress_;
  std::vector<std::string> problems_;
};

TEST(RestoreNames, OnlyNamesOfOneEntryPass) {
  struct Case {
    std::string name;
    bool valid;
  } cases[] = {
      {"a.txt", true},         {"..a", true},  {"a..", true},  {"...", true},
      {"back\\slash", true},   {"12:30", true},  // legal in a Linux name, and stored as such
      {"", false},             {".", false},   {"..", false},  {"a/b", false},
      {"/", false},            {std::string("x\0y", 3), false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsValidEntryName(c.name), c.valid) << PrintableName(c.name);
}

TEST_F(RestoreTest, PathsResolveThroughTheListings) {
  VersionBuilder v(*repo_);
  v.file("docs/a.txt", "a");
  v.file("docs/sub/b.txt", "b");
  v.file("docs/back\\slash", "c");
  v.file("top.txt", "t");
  v.source("docs", "/home/u/Documents");
  ListingEntry broken;  // a listing that does not parse
  broken.name = "broken";
  broken.isDir = true;
  broken.tree = world_.store(*repo_, std::vector<uint8_t>{'n', 'o', 't'});
  v.raw("", broken);
  SnapshotInfo version = v.write();

  struct Case {
    std::string path;
    int32_t code;
    std::string message;
    std::vector<std::string> names;
    std::string local;
  } cases[] = {
      {"", 0, "", {"broken", "docs", "top.txt"}, ""},
      {"/", 0, "", {"broken", "docs", "top.txt"}, ""},
      {"docs/", 0, "", {"a.txt", "back\\slash", "sub"}, "/home/u/Documents"},
      {"/docs/./sub/../sub/b.txt", 0, "", {}, "/home/u/Documents/sub/b.txt"},
      {"docs/back\\slash", 0, "", {}, "/home/u/Documents/back\\slash"},
      // A source is also named by its place on the computer.
      {"/home/u/Documents", 0, "", {"a.txt", "back\\slash", "sub"}, "/home/u/Documents"},
      {"/home/u/Documents/sub/b.txt", 0, "", {}, "/home/u/Documents/sub/b.txt"},
      {"/home/u/Documents/nope", Status::kNotFound, "no \"nope\" in the snapshot", {}, ""},
      {"/home/u/Doc", Status::kNotFound, "no \"home\" in the snapshot", {}, ""},
      {"top.txt", 0, "", {}, ""},
      {"docs/a.txt/x", Status::kNotDirectory, "\"a.txt\" is a file", {}, ""},
      {"docs/nope", Status::kNotFound, "no \"nope\" in the snapshot", {}, ""},
      {"Docs", Status::kNotFound, "no \"Docs\" in the snapshot", {}, ""},
      {"broken/x", Status::kProtocol, "a folder listing in the snapshot is damaged", {}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    std::vector<ListingEntry> entries;
    ListingEntry entry;
    std::string local = "unchanged";
    Status st = ResolveSnapshotPath(*repo_, version, c.path, entries, &entry, &local);
    EXPECT_EQ(st.code, c.code);
    EXPECT_EQ(st.message, c.message);
    if (!st.ok()) continue;
    std::vector<std::string> names;
    for (const ListingEntry& e : entries) names.push_back(e.name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, c.names);
    EXPECT_EQ(local, c.local);
  }
  SnapshotInfo noRoot = version;
  noRoot.tree = broken.tree;
  std::vector<ListingEntry> entries;
  Status st = BrowseSnapshot(*repo_, noRoot, "", entries);
  EXPECT_EQ(st.code, Status::kProtocol);
  EXPECT_EQ(st.message, "the snapshot's root listing is damaged");
}

TEST_F(RestoreTest, WholeVersionIntoATargetIsByteExact) {
  const std::string a = Random(10000, 1);
  const std::string block = Random(4096, 2);
  const std::string repeated = block + block + block + block.substr(0, 100);
  const std::string big = Random(3 * 1024 * 1024 + 17, 3);  // more than one pack
  VersionBuilder v(*repo_);
  v.file("docs/a.txt", a, kVersionTime + 1);
  v.file("docs/copy.txt", a);  // every blob shared with a.txt
  v.file("docs/repeated.bin", repeated);
  v.file("docs/empty", "");
  v.file("docs/sub/deep/big.bin", big, kVersionTime + 2);
  v.file("docs/ro.txt", "read me only", kVersionTime, kAttributeReadOnly);
  v.folder("docs/nothing");
  v.file("top.txt", "top");
  SnapshotInfo version = v.write();

  ASSERT_TRUE(restore(version, "", target()).ok());
  EXPECT_EQ(TreeOf(target()),
            (std::vector<std::string>{"docs", "docs/a.txt", "docs/copy.txt", "docs/empty", "docs/nothing",
                                      "docs/repeated.bin", "docs/ro.txt", "docs/sub", "docs/sub/deep",
                                      "docs/sub/deep/big.bin", "top.txt"}));
  struct Expect {
    const char* path;
    const std::string& content;
    uint64_t mtime;
  } files[] = {
      {"docs/a.txt", a, kVersionTime + 1},           {"docs/copy.txt", a, kVersionTime},
      {"docs/repeated.bin", repeated, kVersionTime}, {"docs/sub/deep/big.bin", big, kVersionTime + 2},
  };
  for (const Expect& f : files) {
    EXPECT_TRUE(ReadText(at(f.path)) == f.content) << f.path;
    EXPECT_EQ(FileTimeOf(StatOf(at(f.path))), f.mtime) << f.path;
  }
  EXPECT_EQ(ReadText(at("docs/empty")), "");
  EXPECT_EQ(StatOf(at("docs/ro.txt")).st_mode & 0222, 0u);
  EXPECT_NE(StatOf(at("top.txt")).st_mode & S_IWUSR, 0u);
  EXPECT_TRUE(problems_.empty());
  EXPECT_EQ(progress_->files.load(), 7u);
  EXPECT_EQ(progress_->dirs.load(), 4u);
  EXPECT_EQ(progress_->bytes.load(), 2 * a.size() + repeated.size() + big.size() + 12 + 3);
  EXPECT_EQ(progress_->errors.load(), 0u);
}

// Stretches of zeros that fill whole blocks stay holes, wherever the blobs
// begin and end; the file has its length and its bytes all the same.
TEST_F(RestoreTest, LongRunsOfZerosAreRestoredAsHoles) {
  const std::string zeros(3 * 1024 * 1024, '\0');
  struct Case {
    const char* name;
    std::string content;
    size_t blobSize;
    uint64_t dataBytes;  // what is not zeros
  } cases[] = {
      {"data between zeros, blobs across blocks", Random(5000, 1) + zeros + Random(5000, 2) + zeros, 10000, 10000},
      {"zeros then data at the end", zeros + Random(3000, 3), 1024 * 1024, 3000},
      {"nothing but zeros", zeros, 1024 * 1024, 0},
      {"a short last blob of zeros", Random(4096, 4) + zeros.substr(0, 4096 * 3 + 7), 4096, 4096},
  };
  // Blocks a few stretches of data and the last byte may begin or end in,
  // and what the file system keeps of the file's layout.
  constexpr uint64_t kAllowance = 64 * 1024;
  for (size_t i = 0; i < std::size(cases); ++i) {
    VersionBuilder one(*repo_, cases[i].blobSize);
    one.file("f", cases[i].content);
    const SnapshotInfo version = one.write();
    SCOPED_TRACE(cases[i].name);
    const std::string into = target() + std::to_string(i);
    ASSERT_TRUE(restore(version, "", into).ok());
    EXPECT_TRUE(ReadText(into + "/f") == cases[i].content);
    const struct stat st = StatOf(into + "/f");
    EXPECT_EQ(uint64_t(st.st_size), cases[i].content.size());
    EXPECT_LE(uint64_t(st.st_blocks) * 512, cases[i].dataBytes + kAllowance);
  }
}

TEST_F(RestoreTest, ItemsGetTheBitsAndOwnersTheirVersionRecorded) {
  constexpr uint32_t kOwner = 4242, kGroup = 4343;
  VersionBuilder v(*repo_);
  v.file("docs/key", "secret");
  v.mode("docs/key", 0600);
  v.file("docs/pub.txt", "public");
  v.mode("docs/pub.txt", 0644);
  v.file("docs/tool", "#!/bin/sh");
  v.mode("docs/tool", 04755);
  v.file("docs/closed/inner.txt", "inner");
  v.mode("docs/closed", 0500);
  v.mode("docs/closed/inner.txt", 0444);
  v.mode("docs", 0750);
  for (const char* item : {"docs", "docs/key", "docs/pub.txt", "docs/tool"}) v.owner(item, kOwner, kGroup);
  // As a version made before bits were recorded holds them.
  v.file("old/plain.txt", "plain");
  v.file("old/ro.txt", "ro", kVersionTime, kAttributeReadOnly);
  v.folder("old/empty");
  const SnapshotInfo version = v.write();

  struct Case {
    bool owners;
    uint32_t umask;
  } cases[] = {{true, 022}, {false, 022}, {true, 077}, {false, 0277}};
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.owners) + " " + std::to_string(c.umask));
    const std::string into = dir_.file("t" + std::to_string(n++));
    RestoreRequest r;
    r.target = into;
    r.inProcess = true;
    r.restoreOwners = c.owners;
    r.umask = c.umask;
    ASSERT_TRUE(run(version, r).ok());
    EXPECT_TRUE(problems_.empty()) << problems_.front();
    struct Expect {
      const char* path;
      uint32_t mode;
      bool recordedOwner;
    } items[] = {
        {"docs", 0750, true},
        {"docs/key", 0600, true},
        {"docs/pub.txt", 0644, true},
        {"docs/tool", c.owners ? 04755u : 0755u, true},
        {"docs/closed", 0500, false},
        {"docs/closed/inner.txt", 0444, false},
        {"old", 0700 & ~c.umask, false},
        {"old/plain.txt", 0600 & ~c.umask, false},
        {"old/ro.txt", 0400 & ~c.umask, false},
        {"old/empty", 0700 & ~c.umask, false},
    };
    for (const Expect& e : items) {
      const struct stat st = StatOf(into + "/" + e.path);
      EXPECT_EQ(st.st_mode & 07777, e.mode) << e.path;
      EXPECT_EQ(st.st_uid, c.owners && e.recordedOwner ? kOwner : 0u) << e.path;
      EXPECT_EQ(st.st_gid, c.owners && e.recordedOwner ? kGroup : 0u) << e.path;
    }
    EXPECT_EQ(ReadText(into + "/docs/closed/inner.txt"), "inner");
    EXPECT_EQ(ReadText(into + "/old/plain.txt"), "plain");
  }
}

// What the issue was seen with: a folder backed up and restored in place
// and to another folder keeps its private files private.
TEST_F(RestoreTest, PrivateFilesAndFoldersStayPrivateInPlaceAndElsewhere) {
  const std::string home = dir_.file("home");
  ASSERT_EQ(::mkdir(home.c_str(), 0750), 0);
  ASSERT_EQ(::mkdir((home + "/.ssh").c_str(), 0700), 0);
  WriteText(home + "/.ssh/id_ed25519", "private key");
  WriteText(home + "/notes.txt", "notes");
  struct Expect {
    const char* path;
    mode_t mode;
  } items[] = {{"", 0751}, {"/.ssh", 0700}, {"/.ssh/id_ed25519", 0600}, {"/notes.txt", 0664}};
  for (const Expect& e : items) {
    ASSERT_EQ(::chmod((home + e.path).c_str(), e.mode), 0);
    ASSERT_EQ(::chown((home + e.path).c_str(), 4242, 4343), 0);
  }
  const SnapshotInfo version = BackUpFolder(*repo_, home);
  fs::remove_all(home);

  for (const std::string& target : {std::string(), target()}) {
    SCOPED_TRACE(target);
    RestoreRequest r;
    r.target = target;
    r.inProcess = true;
    r.restoreOwners = true;
    ASSERT_TRUE(run(version, r).ok());
    EXPECT_TRUE(problems_.empty()) << problems_.front();
    const std::string restored = target.empty() ? home : target + "/home";
    for (const Expect& e : items) {
      const struct stat st = StatOf(restored + e.path);
      EXPECT_EQ(st.st_mode & 07777, e.mode) << e.path;
      EXPECT_EQ(st.st_uid, 4242u) << e.path;
      EXPECT_EQ(st.st_gid, 4343u) << e.path;
    }
    EXPECT_EQ(ReadText(restored + "/.ssh/id_ed25519"), "private key");
  }
}

TEST_F(RestoreTest, UnchangedFilesAreSkippedAndOthersReplaced) {
  VersionBuilder v(*repo_);
  v.file("same.txt", "same");
  v.file("edited.txt", "12345");     // same size and time: taken as unchanged
  v.file("shorter.txt", "long text");
  v.file("locked.txt", "recorded");  // read-only now, writable when recorded
  SnapshotInfo version = v.write();
  ASSERT_TRUE(restore(version, "", target()).ok());

  const ino_t sameInode = StatOf(at("same.txt")).st_ino;
  WriteText(at("edited.txt"), "54321");
  struct timespec times[2] = {{0, UTIME_OMIT}, {0, 0}};
  const Timestamp recorded = Timestamp::fromFileTime(kVersionTime);
  times[1].tv_sec = recorded.seconds;
  times[1].tv_nsec = recorded.nanoseconds;
  ASSERT_EQ(::utimensat(AT_FDCWD, at("edited.txt").c_str(), times, 0), 0);
  WriteText(at("shorter.txt"), "long");
  WriteText(at("locked.txt"), "changed!!");
  ASSERT_EQ(::chmod(at("locked.txt").c_str(), 0444), 0);
  const std::string pack = packOf(v, "same.txt");
  world_.server->clearCalls();

  ASSERT_TRUE(restore(version, "", target()).ok());
  EXPECT_EQ(StatOf(at("same.txt")).st_ino, sameInode);
  EXPECT_EQ(ReadText(at("edited.txt")), "54321");
  EXPECT_EQ(ReadText(at("shorter.txt")), "long text");
  EXPECT_EQ(ReadText(at("locked.txt")), "recorded");
  EXPECT_NE(StatOf(at("locked.txt")).st_mode & S_IWUSR, 0u);
  EXPECT_EQ(progress_->files.load(), 4u);
  EXPECT_EQ(progress_->bytes.load(), 4u + 5 + 9 + 8);
  EXPECT_GT(world_.server->countCalls(test::MemOp::kReadRange, pack), 0);
  EXPECT_FALSE(HasTemporary(TreeOf(target())));

  // A third time nothing differs and no pack of content is read.
  world_.server->clearCalls();
  ASSERT_TRUE(restore(version, "", target()).ok());
  EXPECT_EQ(world_.server->countCalls(test::MemOp::kReadRange, pack), 0);
  EXPECT_EQ(progress_->files.load(), 4u);
}

TEST_F(RestoreTest, PartialRestoresOfAFolderAndOfOneFile) {
  const std::string home = dir_.file("home");
  VersionBuilder v(*repo_);
  v.file("docs/a.txt", "a");
  v.file("docs/sub/b.txt", "b");
  v.file("docs/sub/deep/c.txt", "c");
  v.file("top.txt", "t");
  v.source("docs", home + "/Documents");
  SnapshotInfo version = v.write();

  struct Case {
    const char* name;
    std::string path;
    bool toTarget;
    std::string prepare;  // a folder made below dir_ first
    int32_t code;
    std::string message;
    std::vector<std::string> tree;  // what exists below dir_ afterwards
    std::string problem;
  } cases[] = {
      {"folder into a target", "docs/sub", true, "", 0, "",
       {"target", "target/sub", "target/sub/b.txt", "target/sub/deep", "target/sub/deep/c.txt"}, ""},
      {"file into a target", "docs/sub/b.txt", true, "", 0, "", {"target", "target/b.txt"}, ""},
      {"file to its recorded place", "docs/sub/b.txt", false, "home/Documents/sub", 0, "",
       {"home", "home/Documents", "home/Documents/sub", "home/Documents/sub/b.txt"}, ""},
      {"folder to its recorded place, parents made", "docs/sub", false, "", 0, "",
       {"home", "home/Documents", "home/Documents/sub", "home/Documents/sub/b.txt", "home/Documents/sub/deep",
        "home/Documents/sub/deep/c.txt"},
       ""},
      {"source folder itself", "docs", false, "", 0, "",
       {"home", "home/Documents", "home/Documents/a.txt", "home/Documents/sub", "home/Documents/sub/b.txt",
        "home/Documents/sub/deep", "home/Documents/sub/deep/c.txt"},
       ""},
      {"file whose recorded folder is gone", "docs/sub/b.txt", false, "", 0, "", {},
       home + "/Documents/sub/b.txt: cannot create (" + vx::FormatWin32Error(ENOENT) + ")"},
      {"item without a recorded place", "top.txt", false, "", Status::kInvalid,
       "the snapshot does not say where this was taken from", {}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(home);
    fs::remove_all(target());
    if (!c.prepare.empty()) fs::create_directories(dir_.file(c.prepare));
    Status st = restore(version, c.path, c.toTarget ? target() : "");
    EXPECT_EQ(st.code, c.code) << st.toString();
    EXPECT_EQ(st.message, c.message);
    EXPECT_EQ(TreeOf(dir_.path()), c.tree);
    EXPECT_EQ(problems_, c.problem.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.problem});
  }
  // The whole version without a target goes to the recorded places and
  // leaves out the root entry that records none.
  fs::remove_all(home);
  ASSERT_TRUE(restore(version, "", "").ok());
  EXPECT_EQ(ReadText(home + "/Documents/sub/deep/c.txt"), "c");
  EXPECT_EQ(progress_->files.load(), 3u);
}

TEST_F(RestoreTest, HostileNamesNeverLeaveTheTarget) {
  VersionBuilder v(*repo_);
  v.file("docs/ok.txt", "fine");
  v.file("decoy/x.txt", "payload");
  SnapshotInfo base = v.write();
  std::vector<ListingEntry> docs;
  ASSERT_TRUE(BrowseSnapshot(*repo_, base, "docs", docs).ok());
  std::vector<ListingEntry> root;
  ASSERT_TRUE(BrowseSnapshot(*repo_, base, "", root).ok());
  const ListingEntry file = docs.front();
  const ListingEntry folder = root.front();  // "decoy", holding x.txt

  const std::string names[] = {"..", ".", "", "../../escape", std::string("x\0y", 3)};
  for (const std::string& name : names) {
    ListingEntry e = file;
    e.name = name;
    v.raw("docs", e);
    ListingEntry f = folder;
    f.name = name;
    v.raw("", f);  // at the root: left out without a problem
  }
  ListingEntry up = folder;
  up.name = "..";
  v.raw("docs", up);
  SnapshotInfo version = v.write();

  ASSERT_TRUE(restore(version, "", target()).ok());
  EXPECT_EQ(TreeOf(dir_.path()), (std::vector<std::string>{"target", "target/decoy", "target/decoy/x.txt",
                                                          "target/docs", "target/docs/ok.txt"}));
  std::set<std::string> expected;
  for (const char* shown : {"\"..\"", "\".\"", "\"\"", "\"../../escape\"", "\"x\\x00y\""})
    expected.insert(at("docs") + ": refused the name " + shown);
  EXPECT_EQ(std::set<std::string>(problems_.begin(), problems_.end()), expected);
  EXPECT_EQ(progress_->errors.load(), 6u);  // ".." twice: as a file and as a folder

  Status st = restore(version, std::string("docs/x\0y", 8), target());
  EXPECT_EQ(st.code, Status::kInvalid);
  EXPECT_EQ(st.message, "refused the name \"x\\x00y\"");
}

TEST_F(RestoreTest, LinksPlacedInTheTargetAreNotFollowed) {
  const std::string outside = dir_.file("outside");
  fs::create_directories(outside);
  WriteText(outside + "/secret.txt", "keep");
  fs::create_directories(target());
  fs::create_directory_symlink(outside, at("docs"));
  fs::create_symlink(outside + "/secret.txt", at("top.txt"));
  fs::create_symlink(outside + "/secret.txt", at("note.txt") + std::string(kRestoreTempSuffix));

  VersionBuilder v(*repo_);
  v.file("docs/a.txt", "into the link?");
  v.file("top.txt", "top");
  v.file("note.txt", "note");
  SnapshotInfo version = v.write();

  for (const char* path : {"", "docs"}) {
    SCOPED_TRACE(path);
    ASSERT_TRUE(restore(version, path, target()).ok());
    EXPECT_EQ(TreeOf(outside), std::vector<std::string>{"secret.txt"});
    EXPECT_EQ(ReadText(outside + "/secret.txt"), "keep");
    EXPECT_TRUE(fs::is_symlink(at("docs")));
    ASSERT_EQ(problems_.size(), 1u);
    EXPECT_EQ(problems_[0], at("docs") + ": cannot create the folder (" + vx::FormatWin32Error(ENOTDIR) +
                                "); the 1 file in it is not restored");
  }
  EXPECT_TRUE(S_ISREG(StatOf(at("top.txt")).st_mode));
  EXPECT_EQ(ReadText(at("top.txt")), "top");
  EXPECT_EQ(ReadText(at("note.txt")), "note");
  EXPECT_FALSE(HasTemporary(TreeOf(target())));
}

TEST_F(RestoreTest, ProblemsWithOneItemLeaveTheRestGoingOn) {
  fs::create_directories(target() + "/small");
  ASSERT_EQ(::mount("tarn-restore", (target() + "/small").c_str(), "tmpfs", 0, "size=16k"), 0)
      << "mounting a tmpfs needs root: " << std::strerror(errno);
  struct Unmount {
    std::string path;
    ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
  } unmount{target() + "/small"};
  // A folder standing where a file goes, read-only: the file cannot replace
  // it, and the folder keeps its mode.
  fs::create_directories(at("dir.txt/inner"));
  ASSERT_EQ(::chmod(at("dir.txt").c_str(), 0555), 0);

  VersionBuilder v(*repo_);
  v.file("ok.txt", "fine");
  v.file("dir.txt", "a file");
  v.file("small/big.bin", Random(64 * 1024, 4));
  const std::string longName(256, 'n');
  v.file(longName, "too long a name");
  v.file("long/" + longName + "/x", "in a folder of too long a name");
  BlobId unknown;
  unknown.bytes[0] = 0xAB;
  ListingEntry lost;
  lost.name = "lost.txt";
  lost.size = 3;
  lost.content = {unknown};
  v.raw("", lost);
  ListingEntry unreadable;
  unreadable.name = "unreadable";
  unreadable.isDir = true;
  unreadable.tree = unknown;
  v.raw("", unreadable);
  ListingEntry damaged = unreadable;
  damaged.name = "damaged";
  damaged.tree = world_.store(*repo_, std::vector<uint8_t>{'{', '}'});
  v.raw("", damaged);
  SnapshotInfo version = v.write();

  ASSERT_TRUE(restore(version, "", target()).ok());
  const std::string notFound = ": not-found: blob " + BlobIdToHex(unknown).substr(0, 8) + " is not in the repository";
  const std::set<std::string> expected = {
      at("dir.txt") + ": cannot replace the existing file (" + vx::FormatWin32Error(EISDIR) + ")",
      at("small/big.bin") + ": write failed (" + vx::FormatWin32Error(ENOSPC) + ")",
      at(longName) + ": cannot create (" + vx::FormatWin32Error(ENAMETOOLONG) + ")",
      at("long/" + longName) + ": cannot create the folder (" + vx::FormatWin32Error(ENAMETOOLONG) +
          "); the 1 file in it is not restored",
      at("lost.txt") + notFound,
      "folder " + at("unreadable") + " could not be read" + notFound,
      "folder " + at("damaged") + " could not be read: the folder listing in the snapshot is damaged",
  };
  EXPECT_EQ(std::set<std::string>(problems_.begin(), problems_.end()), expected);
  EXPECT_EQ(progress_->errors.load(), expected.size());
  EXPECT_EQ(ReadText(at("ok.txt")), "fine");
  EXPECT_EQ(progress_->bytes.load(), 4u) << "only the bytes of the one file in place count as restored";
  EXPECT_EQ(StatOf(at("dir.txt")).st_mode & 07777, 0555u);
  EXPECT_TRUE(fs::is_directory(at("dir.txt/inner")));
  EXPECT_FALSE(fs::exists(at("small/big.bin")));
  EXPECT_FALSE(HasTemporary(TreeOf(target())));
}

TEST_F(RestoreTest, AFolderThatCannotBeMadeCountsItsFilesAndOneThatCannotBeReadIsNamed) {
  VersionBuilder v(*repo_);
  for (int i = 0; i < 15; ++i) v.file("docs/f" + std::to_string(i), "doc " + std::to_string(i));
  for (int i = 0; i < 3; ++i) v.file("docs/sub/g" + std::to_string(i), "sub " + std::to_string(i));
  v.file("pics/p1", "picture");
  BlobId unknown;
  unknown.bytes[0] = 0xCD;
  ListingEntry gone;
  gone.name = "gone";
  gone.isDir = true;
  gone.tree = unknown;
  v.raw("docs", gone);
  v.raw("pics", gone);
  SnapshotInfo version = v.write();
  // A file stands where the folder docs goes.
  fs::create_directories(target());
  WriteText(at("docs"), "in the way");

  progress_ = std::make_unique<Progress>();
  std::vector<std::string> unreadable;
  RestoreRequest request;
  request.target = target();
  request.inProcess = true;
  ASSERT_TRUE(Restore(*repo_, version, request, *progress_, nullptr, problems_, &unreadable).ok());
  const std::string notFound = ": not-found: blob " + BlobIdToHex(unknown).substr(0, 8) + " is not in the repository";
  EXPECT_EQ(unreadable, (std::vector<std::string>{at("docs/gone"), at("pics/gone")}));
  ASSERT_EQ(problems_.size(), 3u);
  EXPECT_EQ(problems_[0], "folder " + at("docs/gone") + " could not be read" + notFound);
  EXPECT_EQ(problems_[1].rfind(at("docs") + ": cannot create the folder (", 0), 0u) << problems_[0];
  EXPECT_NE(problems_[1].find("); the 18 files in it are not restored"), std::string::npos) << problems_[1];
  EXPECT_EQ(problems_[2], "folder " + at("pics/gone") + " could not be read" + notFound);
  EXPECT_EQ(progress_->errors.load(), 18u + 2u) << "every lost file counts, each unreadable folder once";
  EXPECT_EQ(progress_->files.load(), 1u);
  EXPECT_EQ(ReadText(at("pics/p1")), "picture");
}

TEST_F(RestoreTest, ProblemTextsStopAt200WhileErrorsCountOn) {
  VersionBuilder v(*repo_);
  BlobId unknown;
  unknown.bytes[1] = 1;
  for (int i = 0; i < 250; ++i) {
    ListingEntry e;
    e.name = "f" + std::to_string(i);
    e.size = 1;
    e.content = {unknown};
    v.raw("", e);
  }
  SnapshotInfo version = v.write();
  ASSERT_TRUE(restore(version, "", target()).ok());
  EXPECT_EQ(progress_->errors.load(), 250u);
  EXPECT_EQ(problems_.size(), kMaxProblems);
  EXPECT_EQ(TreeOf(target()), std::vector<std::string>{});
}

// Folders far above the one being restored are let go and opened again on
// the way back up, where a folder moved meanwhile cannot lead the restore
// astray: each is told by its device and inode, and one no longer where the
// restore made it keeps what it was not yet given, and is named.
TEST_F(RestoreTest, FoldersMovedWhileTheRestoreIsDeepBelowThemAreFoundAgainOrNamed) {
  constexpr size_t kDepth = 40;  // more than a restore keeps open
  auto at = [&](size_t level) {
    std::string path = target();
    for (size_t i = 0; i < level; ++i) path += "/d";
    return path;
  };
  VersionBuilder v(*repo_);
  std::string folder;
  for (size_t level = 1; level < kDepth; ++level) {
    folder += "d/";
    v.file(folder + "z.txt", std::to_string(level));
  }
  v.file(folder + "d/end.txt", "the end");
  const SnapshotInfo version = v.write();
  struct Case {
    const char* what;
    std::vector<size_t> moved;  // levels moved out of their folders, deepest first
    std::vector<std::string> problems;
    std::string unrestored;  // a file not restored; empty: none
  } cases[] = {
      {"a folder whose folder was let go", {9}, {}, ""},
      {"and a folder on the way to that one",
       {9, 3},
       {at(3) + ": the folder was moved away while it was restored; 6 items in it are not restored"},
       target() + "/moved3/d/d/d/d/d/z.txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(target());
    std::mutex mu;
    bool moved = false;  // guarded by mu
    RestoreRequest r;
    r.target = target();
    // Called by the restore's threads before each step: once the deepest
    // folder is made, the others are moved.
    r.asCaller = [&](bool enter) {
      std::lock_guard<std::mutex> lock(mu);
      if (enter && !moved && ::access(at(kDepth).c_str(), F_OK) == 0) {
        for (size_t level : c.moved)
          EXPECT_EQ(::rename(at(level).c_str(), (target() + "/moved" + std::to_string(level)).c_str()), 0);
        moved = true;
      }
      return Status();
    };
    ASSERT_TRUE(run(version, r).ok());
    EXPECT_EQ(problems_, c.problems);
    // The folders found again got their own files.
    for (size_t level = 1; level < c.moved.back(); ++level)
      EXPECT_EQ(ReadText(at(level) + "/z.txt"), std::to_string(level));
    if (!c.unrestored.empty()) {
      EXPECT_FALSE(fs::exists(c.unrestored));
    }
  }
}

// Small files wait in the filler by the thousand; what they hold open is
// their folders, and a restore of small files spread over many folders, with
// larger files among them, must stay inside the descriptor limit it counts on.
TEST_F(RestoreTest, ManyFilesInManyFoldersStayInsideTheDescriptorLimit) {
  constexpr int kFolders = 900;
  VersionBuilder v(*repo_);
  for (int i = 0; i < kFolders; ++i) {
    const std::string folder = "d" + std::to_string(i / 30) + "/" + std::to_string(i) + "/";
    v.file(folder + "a", "a" + std::to_string(i));
    v.file(folder + "b", "b" + std::to_string(i));
    if (i % 2 == 0) v.file(folder + "large", Random(3 * 4096 + i, uint32_t(i)));  // several blobs
  }
  SnapshotInfo version = v.write();

  size_t open = 0;
  for ([[maybe_unused]] const auto& fd : fs::directory_iterator("/proc/self/fd")) ++open;
  struct rlimit saved {};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
  struct rlimit lowered = saved;
  // The filler's own bound and a handful for the folders the walk stands in.
  lowered.rlim_cur = open + kMaxFilesInFlight + kMaxFoldersInFlight + 16 + 8;
  ASSERT_LT(lowered.rlim_cur, saved.rlim_cur);
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
  Status st = restore(version, "", target());
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &saved), 0);

  ASSERT_TRUE(st.ok()) << st.toString();
  EXPECT_TRUE(problems_.empty()) << problems_.front();
  EXPECT_EQ(progress_->files.load(), uint64_t(kFolders * 2 + kFolders / 2));
  for (int i : {0, 457, kFolders - 1}) {
    const std::string folder = "d" + std::to_string(i / 30) + "/" + std::to_string(i) + "/";
    EXPECT_EQ(ReadText(at(folder + "b")), "b" + std::to_string(i));
    if (i % 2 == 0) {
      EXPECT_TRUE(ReadText(at(folder + "large")) == Random(3 * 4096 + i, uint32_t(i)));
    }
  }
}

// A pack cut short after a file's first blobs were written: the file is
// lost, and what it had written does not count as restored.
TEST_F(RestoreTest, BytesOfAFileCutShortDoNotCountAsRestored) {
  VersionBuilder v(*repo_, 65536);
  v.file("a.txt", "whole");
  v.file("b.bin", Random(3 * 1024 * 1024, 6));
  SnapshotInfo version = v.write();
  const std::vector<BlobId> blobs = v.blobsOf("b.bin");
  BlobLocation last;
  ASSERT_TRUE(RepoTestPeer::location(*repo_, blobs.back(), last));
  const std::string pack = PackPath(RepoTestPeer::packs(*repo_)[last.pack].id);
  ASSERT_NE(pack, packOf(v, "b.bin")) << "the file's first blobs lie in a pack that stays whole";
  std::string bytes;
  ASSERT_TRUE(world_.server->readFile(pack, &bytes));
  world_.server->putFile(pack, bytes.substr(0, last.offset));

  ASSERT_TRUE(restore(version, "", target()).ok());
  EXPECT_EQ(ReadText(at("a.txt")), "whole");
  EXPECT_FALSE(fs::exists(at("b.bin")));
  EXPECT_EQ(progress_->files.load(), 1u);
  EXPECT_EQ(progress_->bytes.load(), 5u);
  EXPECT_EQ(progress_->errors.load(), 1u);
}

TEST_F(RestoreTest, StorageFailuresAndCancellationEndTheRestore) {
  VersionBuilder v(*repo_, 65536);
  v.file("big.bin", Random(3 * 1024 * 1024, 5));
  SnapshotInfo version = v.write();
  const std::string pack = packOf(v, "big.bin");

  // Network: every read of the pack fails, also the retries.
  world_.server->addFault(Fault(test::MemOp::kReadRange, 1, 0, Status(Status::kNetwork, "cable cut"), pack));
  Status st = restore(version, "", target());
  EXPECT_EQ(st.code, Status::kNetwork);
  EXPECT_EQ(st.message, "cable cut");
  EXPECT_EQ(TreeOf(target()), std::vector<std::string>{});
  world_.server->clearFaults();

  // Cancelled while the first range of the file is read.
  std::shared_ptr<tarn::test::Gate> gate = world_.server->addGate(test::MemOp::kReadRange, pack);
  CancelToken cancel;
  std::thread restoring([&] { st = restore(version, "", target(), &cancel); });
  ASSERT_TRUE(gate->waitArrived());
  cancel.cancel();
  gate->release();
  restoring.join();
  EXPECT_EQ(st.code, Status::kCanceled);
  EXPECT_EQ(st.message, "");
  EXPECT_EQ(TreeOf(target()), std::vector<std::string>{});
}

}  // namespace
}  // namespace tarn::backup
