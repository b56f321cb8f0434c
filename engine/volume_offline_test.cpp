#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "engine/volume.h"
#include "testing/log_capture.h"
#include "testing/volume_harness.h"

namespace tarn {
namespace {

using test::MemOp;

constexpr uint64_t kBs = 4096;

// A started drive on a server that writes whole files only.
struct Drive {
  Drive() : h(test::UploadDrive(kBs), test::QuickTimings()) {
    h.server->setCaps(test::WritableCaps(false));
    if (!h.volume->start(nullptr).ok()) std::abort();
  }
  bool idle() { return h.volume->waitUploadsIdle(test::Gate::kDefaultWaitMs); }
  std::set<std::string> names(const std::string& folder, Status* st = nullptr) {
    std::vector<DirEntry> listing;
    Status s = h.volume->readdir(folder, listing);
    if (st != nullptr) *st = s;
    std::set<std::string> out;
    for (const DirEntry& e : listing) out.insert(e.name);
    return out;
  }
  test::VolumeHarness h;
};

// Offline, the drive answers only for names it knows: a file in a folder it
// looked up but never listed is unknown (a network failure, EIO on the
// drive), not missing. Names a listing of their folder lacks stay missing,
// and so do names the drive deleted. A file made offline over a name the
// drive did not know leaves the server's file as it is.
TEST(VolumeOfflineTest, NamesTheDriveDoesNotKnowAreUnknownNotMissing) {
  Drive d;
  Volume& v = *d.h.volume;
  d.h.server->putFile("/a/b/report.txt", "theirs");
  d.h.server->putFile("/listed/here.txt", "here");
  d.h.server->putFile("/listed/gone.txt", "gone");
  RemoteAttr attr;
  ASSERT_TRUE(v.getattr("/a/b", attr).ok());
  ASSERT_EQ(d.names("/listed").size(), 2u);
  v.setOffline(true);
  ASSERT_TRUE(v.unlink("/listed/gone.txt", false).ok());

  struct Case {
    const char* path;
    int32_t code;
    bool create;
  } cases[] = {
      {"/a/b/report.txt", Status::kNetwork, true},  // its folder was never listed
      {"/a/b/other.txt", Status::kNetwork, true},
      {"/never/seen", Status::kNetwork, false},
      {"/listed/here.txt", Status::kOk, false},
      {"/listed/new.txt", Status::kNotFound, true},   // the listing lacks it
      {"/listed/gone.txt", Status::kNotFound, true},  // deleted offline
  };
  for (const Case& c : cases) {
    EXPECT_EQ(v.getattr(c.path, attr).code, c.code) << c.path;
    std::shared_ptr<OpenFile> file;
    if (c.create) {
      EXPECT_TRUE(v.create(c.path, false, file).ok()) << c.path;
    }
  }
  Status st;
  d.names("/a/b", &st);
  EXPECT_EQ(st.code, Status::kNetwork);

  v.setOffline(false);
  EXPECT_TRUE(d.idle());
  EXPECT_TRUE(d.h.serverHolds("/a/b/report.txt", "theirs"));
  EXPECT_EQ(d.names("/a/b").size(), 3u);  // the offline file beside it
  for (const char* made : {"/a/b/other.txt", "/listed/new.txt", "/listed/gone.txt"})
    EXPECT_TRUE(d.h.server->exists(made)) << made;
}

// A file made offline under a name that another client gave a file of its
// own meanwhile: the replay keeps the server's file, and the drive's goes up
// beside it under a conflict name, with what the user did to it offline.
TEST(VolumeOfflineTest, AnOfflineFileWhoseNameTheServerTookMeanwhileIsKeptBesideIt) {
  test::LogCapture log;
  Drive d;
  Volume& v = *d.h.volume;
  d.h.server->makeDir("/c");
  ASSERT_TRUE(d.names("/c").empty());
  v.setOffline(true);
  ASSERT_TRUE(d.h.writeFile("/c/r.txt", "mine"));
  ASSERT_TRUE(d.h.writeFile("/c/empty.txt", "ours"));
  ASSERT_TRUE(d.h.writeFile("/c/moved.txt", "moved"));
  ASSERT_TRUE(v.rename("/c/moved.txt", "/c/final.txt", false).ok());
  d.h.server->putFile("/c/r.txt", "theirs");
  d.h.server->putFile("/c/empty.txt", "");  // an empty file loses nothing
  d.h.server->putFile("/c/moved.txt", "theirs too");

  v.setOffline(false);
  EXPECT_TRUE(d.idle());
  EXPECT_TRUE(d.h.serverHolds("/c/r.txt", "theirs"));
  EXPECT_TRUE(d.h.serverHolds("/c/moved.txt", "theirs too"));
  EXPECT_TRUE(d.h.serverHolds("/c/empty.txt", "ours"));
  EXPECT_TRUE(d.h.serverHolds("/c/final.txt", "moved"));
  std::string keptAs;
  for (const std::string& name : d.names("/c"))
    if (name.rfind("r (offline copy ", 0) == 0) keptAs = "/c/" + name;
  ASSERT_FALSE(keptAs.empty());
  EXPECT_EQ(keptAs.substr(keptAs.size() - 5), ").txt");
  EXPECT_TRUE(d.h.serverHolds(keptAs, "mine"));
  EXPECT_EQ(d.names("/c").size(), 5u);
  EXPECT_EQ(log.countLines("drive: /c/r.txt was made on the server while the drive was offline; the server's file "
                           "stays, and the drive's is kept as " +
                           keptAs),
            1);
  // The drive shows both as the server holds them.
  std::shared_ptr<OpenFile> file = d.h.openFile("/c/r.txt");
  ASSERT_TRUE(file);
  EXPECT_EQ(d.h.readAll(file), "theirs");
  file = d.h.openFile(keptAs);
  ASSERT_TRUE(file);
  EXPECT_EQ(d.h.readAll(file), "mine");
}

// What the drive made itself online (a folder and the files copied into it)
// is known after a restart in offline mode, though no listing of its parent
// was ever asked for: after a stop, and after the process ended without one
// (a second volume over the same folder stands for the next process).
TEST(VolumeOfflineTest, WhatTheDriveMadeOnlineIsKnownAfterAnOfflineRestart) {
  for (bool killed : {false, true}) {
    SCOPED_TRACE(killed ? "killed" : "stopped");
    Drive d;
    Volume& v = *d.h.volume;
    d.h.server->makeDir("/top");
    RemoteAttr attr;
    ASSERT_TRUE(v.getattr("/top", attr).ok());
    std::shared_ptr<OpenFile> file;
    ASSERT_TRUE(v.create("/top/own", true, file).ok());
    ASSERT_TRUE(v.create("/top/own/sub", true, file).ok());
    std::set<std::string> made;
    for (int i = 0; i < 20; ++i) {
      const std::string name = "f" + std::to_string(i);
      ASSERT_TRUE(d.h.writeFile("/top/own/" + name, name));
      made.insert(name);
    }
    made.insert("sub");
    EXPECT_TRUE(d.idle());
    v.setOffline(true);
    std::unique_ptr<Volume> next;
    if (killed) {
      MountConfig config = d.h.config;
      config.cache.offlineMode = true;
      next = std::make_unique<Volume>(config, d.h.root(), d.h.server->factory(), test::QuickTimings());
    } else {
      v.stop(0);
    }
    Volume& after = killed ? *next : v;
    ASSERT_TRUE(after.start(nullptr).ok());

    ASSERT_TRUE(after.getattr("/top/own", attr).ok());
    EXPECT_TRUE(attr.isDir());
    std::vector<DirEntry> listing;
    ASSERT_TRUE(after.readdir("/top/own", listing).ok());
    std::set<std::string> names;
    for (const DirEntry& e : listing) names.insert(e.name);
    EXPECT_EQ(names, made);
    ASSERT_TRUE(after.readdir("/top/own/sub", listing).ok());
    EXPECT_TRUE(listing.empty());
    ASSERT_TRUE(after.getattr("/top/own/f7", attr).ok());
    EXPECT_EQ(attr.size, 2u);
    ASSERT_TRUE(after.open("/top/own/f7", file).ok());
    char bytes[2] = {};
    uint64_t got = 0;
    ASSERT_TRUE(after.read(file, 0, bytes, sizeof bytes, got).ok());
    EXPECT_EQ(std::string(bytes, got), "f7");
    EXPECT_EQ(after.getattr("/top/own/f99", attr).code, Status::kNotFound);
  }
}

}  // namespace
}  // namespace tarn
