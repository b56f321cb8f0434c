#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "engine/volume.h"
#include "testing/log_capture.h"
#include "testing/test_clock.h"
#include "testing/volume_harness.h"

namespace tarn {
namespace {

using test::MemOp;

constexpr uint64_t kBs = 4096;

// A started drive whose folder /d it made itself, so that names in it are
// known to be free.
struct Drive {
  explicit Drive(MountConfig config = test::UploadDrive(kBs), bool caseSensitive = true, bool randomWrite = false,
                 bool listsHiddenNames = true)
      : h(std::move(config), test::QuickTimings()) {
    BackendCaps caps = test::WritableCaps(randomWrite);
    caps.caseSensitive = caseSensitive;
    caps.listsHiddenNames = listsHiddenNames;
    h.server->setCaps(caps);
    std::shared_ptr<OpenFile> dir;
    if (!h.volume->start(nullptr).ok() || !h.volume->create("/d", true, dir).ok()) std::abort();
  }
  bool idle() { return h.volume->waitUploadsIdle(test::Gate::kDefaultWaitMs); }
  std::shared_ptr<OpenFile> create(const std::string& path, const std::string& content = "") {
    std::shared_ptr<OpenFile> file;
    if (!h.volume->create(path, false, file).ok()) return nullptr;
    if (!content.empty() && !h.volume->write(file, 0, content.data(), content.size()).ok()) return nullptr;
    return file;
  }
  std::set<std::string> names(const std::string& folder) {
    std::vector<DirEntry> listing;
    EXPECT_TRUE(h.volume->readdir(folder, listing).ok()) << folder;
    std::set<std::string> out;
    for (const DirEntry& e : listing) out.insert(e.name);
    return out;
  }
  int serverCalls(MemOp op) { return h.server->countCalls(op); }
  test::VolumeHarness h;
};

// A create of a name the drive knows to be free asks nothing of the server;
// the file shows in listings and lookups long after they expire, and its
// upload makes it (written or only touched) with one create before the
// content. Where the name may be taken under another spelling, the create
// still goes to the server at once.
TEST(VolumeCreateTest, ANameKnownToBeFreeIsMadeOnTheServerByTheFirstUpload) {
  test::ScopedTestClock clock;
  Drive d;
  Volume& v = *d.h.volume;
  std::shared_ptr<OpenFile> written = d.create("/d/a.txt", "content");
  std::shared_ptr<OpenFile> touched = d.create("/d/empty");
  ASSERT_TRUE(written && touched);
  EXPECT_EQ(d.serverCalls(MemOp::kCreate), 0);
  EXPECT_FALSE(d.h.server->exists("/d/a.txt"));

  // Past every lifetime, the server's answers lack both names.
  clock.advance(10ull * 60 * 1000);
  EXPECT_EQ(d.names("/d"), (std::set<std::string>{"a.txt", "empty"}));
  RemoteAttr attr;
  ASSERT_TRUE(v.getattr("/d/a.txt", attr).ok());
  EXPECT_EQ(attr.size, 7u);
  EXPECT_FALSE(attr.isDir());
  std::shared_ptr<OpenFile> again;
  ASSERT_TRUE(v.open("/d/empty", again).ok());
  std::shared_ptr<OpenFile> dup;
  EXPECT_EQ(v.create("/d/a.txt", false, dup).code, Status::kExists);

  v.closeNow(written);
  v.closeNow(touched);
  v.closeNow(again);
  EXPECT_TRUE(d.idle());
  EXPECT_TRUE(d.h.serverHolds("/d/a.txt", "content"));
  EXPECT_TRUE(d.h.serverHolds("/d/empty", ""));
  EXPECT_EQ(d.serverCalls(MemOp::kCreate), 2);

  Drive folded(test::UploadDrive(kBs), false);
  ASSERT_TRUE(folded.create("/d/b"));
  EXPECT_EQ(folded.serverCalls(MemOp::kCreate), 1);
  EXPECT_TRUE(folded.h.server->exists("/d/b"));
  // Nor where listings leave hidden names out.
  Drive hiding(test::UploadDrive(kBs), true, false, false);
  ASSERT_TRUE(hiding.create("/d/.hidden") && hiding.create("/d/shown"));
  EXPECT_EQ(hiding.serverCalls(MemOp::kCreate), 1);
  EXPECT_TRUE(hiding.h.server->exists("/d/.hidden"));
}

// Another client takes the name before the upload: its file stays, ours goes
// beside it, and the log and the drive's status say so. An empty file there
// loses nothing and is written over, as a replay cut short would have left.
TEST(VolumeCreateTest, ANameTakenBeforeTheUploadKeepsTheServersFileAndPutsOursBeside) {
  test::LogCapture log;
  Drive d;
  Volume& v = *d.h.volume;
  std::shared_ptr<OpenFile> mine = d.create("/d/r.txt", "mine");
  std::shared_ptr<OpenFile> empty = d.create("/d/e.txt", "ours");
  ASSERT_TRUE(mine && empty);
  d.h.server->putFile("/d/r.txt", "theirs");
  d.h.server->putFile("/d/e.txt", "");
  v.closeNow(mine);
  v.closeNow(empty);
  EXPECT_TRUE(d.idle());

  EXPECT_TRUE(d.h.serverHolds("/d/r.txt", "theirs"));
  EXPECT_TRUE(d.h.serverHolds("/d/e.txt", "ours"));
  std::string keptAs;
  for (const std::string& name : d.names("/d"))
    if (name.rfind("r (offline copy ", 0) == 0) keptAs = "/d/" + name;
  ASSERT_FALSE(keptAs.empty());
  EXPECT_TRUE(d.h.serverHolds(keptAs, "mine"));
  EXPECT_EQ(d.names("/d").size(), 3u);
  EXPECT_EQ(log.countLines("drive: /d/r.txt was made on the server before the drive's new file reached it; the "
                           "server's file stays, and the drive's is kept as " +
                           keptAs),
            1);
  VolumeStatus status;
  v.status(status);
  EXPECT_NE(status.lastError.find(keptAs), std::string::npos) << status.lastError;
}

// Renames and deletions of a file the server does not have yet happen on the
// drive alone: the upload goes out under the last name, and nothing of a
// deleted file reaches the server. A rename over a file the server has
// replaces it there, and the file's blocks never written read as zeros.
TEST(VolumeCreateTest, RenamesAndDeletionsBeforeTheCreateNeverAskTheServerToMoveOrDelete) {
  for (bool randomWrite : {false, true}) {
    SCOPED_TRACE(randomWrite ? "in place" : "whole");
    test::ScopedTestClock clock;
    Drive d(test::UploadDrive(kBs), true, randomWrite);
    Volume& v = *d.h.volume;
    d.h.server->putFile("/s/old.txt", std::string(3 * kBs, 'o'));
    d.h.server->putFile("/s/keep.txt", "keep");
    clock.advance(10ull * 60 * 1000);  // the root's listing lacks /s
    ASSERT_EQ(d.names("/s").size(), 2u);
    std::shared_ptr<OpenFile> moved = d.create("/s/t.tmp", "moved");
    std::shared_ptr<OpenFile> over = d.create("/s/n.tmp");
    const std::string holed = std::string(2 * kBs, '\0') + "new";
    ASSERT_TRUE(over && v.write(over, 2 * kBs, "new", 3).ok());
    std::shared_ptr<OpenFile> gone = d.create("/s/gone", "gone");
    std::shared_ptr<OpenFile> inFolder = d.create("/s/f", "in folder");
    ASSERT_TRUE(moved && over && gone && inFolder);
    EXPECT_EQ(d.serverCalls(MemOp::kCreate), 0);

    ASSERT_TRUE(v.rename("/s/t.tmp", "/s/t.txt", true).ok());
    ASSERT_TRUE(v.rename("/s/n.tmp", "/s/old.txt", true).ok());
    EXPECT_EQ(v.rename("/s/t.txt", "/s/keep.txt", false).code, Status::kExists);
    ASSERT_TRUE(v.unlink("/s/gone", false).ok());
    // The server's folder is empty of the drive's new files; the drive's is not.
    std::shared_ptr<OpenFile> sub;
    ASSERT_TRUE(v.create("/s/sub", true, sub).ok());
    std::shared_ptr<OpenFile> deep = d.create("/s/sub/x", "x");
    ASSERT_TRUE(deep);
    EXPECT_EQ(v.unlink("/s/sub", true).code, Status::kNotEmpty);
    Status folderRenamed = v.rename("/s", "/e", true);
    ASSERT_TRUE(folderRenamed.ok()) << folderRenamed.toString();
    // Onto a free name the rename stays on the drive; over the server's file
    // the server replaces it, once it has the file to move.
    EXPECT_EQ(d.h.server->countCalls(MemOp::kRename, "/s/t.tmp"), 0);
    EXPECT_EQ(d.h.server->countCalls(MemOp::kCreate, "/s/n.tmp"), 1);
    EXPECT_EQ(d.h.server->countCalls(MemOp::kRename, "/s/n.tmp"), 1);
    EXPECT_EQ(d.h.server->countCalls(MemOp::kRename, "/s"), 1);
    EXPECT_EQ(d.serverCalls(MemOp::kRemove), 0);
    EXPECT_EQ(d.names("/e"), (std::set<std::string>{"f", "keep.txt", "old.txt", "sub", "t.txt"}));

    for (const auto& f : {moved, over, gone, inFolder, deep}) v.closeNow(f);
    EXPECT_TRUE(d.idle());
    EXPECT_TRUE(d.h.serverHolds("/e/t.txt", "moved"));
    EXPECT_TRUE(d.h.serverHolds("/e/old.txt", holed));
    EXPECT_TRUE(d.h.serverHolds("/e/keep.txt", "keep"));
    EXPECT_TRUE(d.h.serverHolds("/e/f", "in folder"));
    EXPECT_TRUE(d.h.serverHolds("/e/sub/x", "x"));
    for (const char* never : {"/e/t.tmp", "/e/n.tmp", "/e/gone", "/s"}) EXPECT_FALSE(d.h.server->exists(never)) << never;
    EXPECT_EQ(d.h.server->countCalls(MemOp::kCreate, "/s/gone"), 0);
    EXPECT_EQ(d.h.server->countCalls(MemOp::kOpenWrite, "/s/gone"), 0);
    EXPECT_EQ(d.names("/e").size(), 5u);  // no copy kept beside old.txt
  }
}

// The file waits for its create in the cache's map: a stop, or a process
// that ended without one, or offline mode before the upload loses nothing.
TEST(VolumeCreateTest, AFileWaitingForItsCreateIsUploadedAfterARestartAndAfterOfflineMode) {
  MountConfig config = test::UploadDrive(kBs);
  config.cache.writebackDelayMs = 60u * 60 * 1000;  // no upload before the stop
  Drive d(config);
  Volume& v = *d.h.volume;
  std::shared_ptr<OpenFile> closed = d.create("/d/closed", "closed");
  std::shared_ptr<OpenFile> open = d.create("/d/open");
  ASSERT_TRUE(closed && open);
  v.closeNow(closed);
  v.commitMaps();
  // Taken meanwhile: the next process still knows its create is to come.
  d.h.server->putFile("/d/closed", "theirs");
  // A second volume over the same folder stands for the next process.
  {
    Volume next(d.h.config, d.h.root(), d.h.server->factory(), test::QuickTimings());
    ASSERT_TRUE(next.start(nullptr).ok());
    EXPECT_TRUE(next.waitUploadsIdle(test::Gate::kDefaultWaitMs));
    next.stop(0);
  }
  EXPECT_TRUE(d.h.serverHolds("/d/closed", "theirs"));
  EXPECT_TRUE(d.h.serverHolds("/d/open", ""));
  std::vector<DirEntry> listing;
  std::unique_ptr<test::MemoryBackend> look = d.h.server->connection();
  ASSERT_TRUE(look->connect().ok() && look->list("/d", listing).ok());
  ASSERT_EQ(listing.size(), 3u);
  std::string keptAs;
  for (const DirEntry& e : listing) {
    if (e.name.rfind("closed (offline copy ", 0) == 0) keptAs = "/d/" + e.name;
  }
  ASSERT_FALSE(keptAs.empty());
  EXPECT_TRUE(d.h.serverHolds(keptAs, "closed"));
  v.stop(0);

  Drive off(config);
  Volume& w = *off.h.volume;
  std::shared_ptr<OpenFile> file = off.create("/d/later", "later");
  ASSERT_TRUE(file);
  w.setOffline(true);
  ASSERT_TRUE(w.rename("/d/later", "/d/last", true).ok());
  w.closeNow(file);
  VolumeStatus status;
  w.status(status);
  EXPECT_EQ(status.journalOps, 0u);
  w.stop(0);
  ASSERT_TRUE(w.start(nullptr).ok());
  w.setOffline(false);
  EXPECT_TRUE(off.idle());
  EXPECT_TRUE(off.h.serverHolds("/d/last", "later"));
  EXPECT_FALSE(off.h.server->exists("/d/later"));
  EXPECT_EQ(off.serverCalls(MemOp::kRename), 0);
}

}  // namespace
}  // namespace tarn
