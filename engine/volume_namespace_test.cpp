#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <set>
#include <thread>

#include "engine/volume.h"
#include "foundation/memory_env.h"
#include "testing/heap_peak.h"
#include "testing/log_capture.h"
#include "testing/test_clock.h"
#include "testing/volume_harness.h"

namespace tarn {
namespace {

using test::MemOp;

constexpr uint64_t kBs = 4096;
// Long enough for an uploader that ignores the journal to overtake its
// replay; a sound one waits however long it is.
constexpr uint32_t kOvertakeWindowMs = 200;

// A started drive on a server that writes whole files only.
struct Drive {
  explicit Drive(bool randomWrite = false, MountConfig config = test::UploadDrive(kBs),
                 VolumeTimings timings = test::QuickTimings())
      : h(std::move(config), timings) {
    h.server->setCaps(test::WritableCaps(randomWrite));
    if (!h.volume->start(nullptr).ok()) std::abort();
  }
  bool idle() { return h.volume->waitUploadsIdle(test::Gate::kDefaultWaitMs); }
  uint64_t journalOps() {
    VolumeStatus s;
    h.volume->status(s);
    return s.journalOps;
  }
  test::VolumeHarness h;
};

TEST(VolumeNamespaceTest, OfflineChangesReplayInOrderAfterARestartAndEndAsOnlineOnes) {
  for (bool offline : {false, true}) {
    SCOPED_TRACE(offline ? "offline" : "online");
    Drive d;
    Volume& v = *d.h.volume;
    d.h.server->putFile("/d/old", "old");
    d.h.server->putFile("/d/keep", "keep");
    RemoteAttr attr;
    std::vector<DirEntry> listing;
    // Known before the drive goes offline.
    ASSERT_TRUE(v.readdir("/", listing).ok());
    ASSERT_TRUE(v.readdir("/d", listing).ok());
    if (offline) v.setOffline(true);

    std::shared_ptr<OpenFile> file;
    ASSERT_TRUE(v.unlink("/d/old", false).ok());
    ASSERT_TRUE(d.h.writeFile("/d/new", "new"));
    ASSERT_TRUE(v.create("/m", true, file).ok());
    ASSERT_TRUE(v.create("/m/x", false, file).ok());
    ASSERT_TRUE(v.unlink("/m/x", false).ok());
    ASSERT_TRUE(v.unlink("/m", true).ok());
    ASSERT_TRUE(v.create("/g", false, file).ok());
    ASSERT_TRUE(v.rename("/g", "/d/g", false).ok());
    // Records made in /d before it moves must still name /d when replayed.
    ASSERT_TRUE(v.rename("/d", "/e", false).ok());
    ASSERT_TRUE(v.getattr("/e/new", attr).ok());
    EXPECT_EQ(attr.size, 3u);
    auto names = [&](const std::string& folder) {
      std::set<std::string> out;
      EXPECT_TRUE(v.readdir(folder, listing).ok()) << folder;
      for (const DirEntry& e : listing) out.insert(e.name);
      return out;
    };
    EXPECT_EQ(names("/"), (std::set<std::string>{"e"}));
    EXPECT_EQ(names("/e"), (std::set<std::string>{"g", "keep", "new"}));

    if (offline) {
      EXPECT_EQ(d.journalOps(), 9u);
      EXPECT_FALSE(d.h.server->exists("/e"));
      v.stop(0);
      ASSERT_TRUE(v.start(nullptr).ok());
      EXPECT_EQ(d.journalOps(), 9u);
      v.setOffline(false);
    }
    EXPECT_TRUE(d.h.serverHolds("/e/new", "new"));
    EXPECT_TRUE(d.idle());
    EXPECT_EQ(d.journalOps(), 0u);
    std::string keep;
    EXPECT_TRUE(d.h.server->readFile("/e/keep", &keep) && keep == "keep");
    EXPECT_TRUE(d.h.server->exists("/e/g"));
    for (const char* gone : {"/d", "/m", "/g", "/e/old"}) EXPECT_FALSE(d.h.server->exists(gone)) << gone;
  }
}

// Offline mode after a restart still knows what the user saw online: in a
// folder listed before, files read or only listed can be written, renamed
// and deleted and new ones made; and a stop in offline mode does not wait
// for uploads that cannot run.
TEST(VolumeNamespaceTest, OfflineModeAfterARestartKeepsWhatWasSeenOnline) {
  test::ScopedTestClock clock;
  Drive d;
  Volume& v = *d.h.volume;
  d.h.server->putFile("/dir/a.txt", "hello");
  d.h.server->putFile("/dir/gone.txt", "bye");
  std::vector<DirEntry> listing;
  ASSERT_TRUE(v.readdir("/", listing).ok());
  ASSERT_TRUE(v.readdir("/dir", listing).ok());
  std::shared_ptr<OpenFile> file;
  ASSERT_TRUE(v.open("/dir/a.txt", file).ok());
  EXPECT_EQ(d.h.read(file, 0, 5), "hello");
  v.closeNow(file);
  v.setOffline(true);
  ASSERT_TRUE(d.h.writeFile("/dir/new.txt", "new"));

  // The wait would end only when the test clock reached its end.
  std::atomic<bool> stopped{false};
  std::thread stopper([&] {
    v.stop(test::Gate::kDefaultWaitMs);
    stopped = true;
  });
  EXPECT_TRUE(test::Eventually([&] { return stopped.load(); }));
  if (!stopped) clock.advance(test::Gate::kDefaultWaitMs);
  stopper.join();
  ASSERT_TRUE(v.start(nullptr).ok());

  std::set<std::string> names;
  ASSERT_TRUE(v.readdir("/dir", listing).ok());
  for (const DirEntry& e : listing) names.insert(e.name);
  EXPECT_EQ(names, (std::set<std::string>{"a.txt", "gone.txt", "new.txt"}));
  ASSERT_TRUE(v.open("/dir/a.txt", file).ok());
  ASSERT_TRUE(v.write(file, 5, " world", 6).ok());
  v.closeNow(file);
  ASSERT_TRUE(v.rename("/dir/a.txt", "/dir/b.txt", false).ok());
  ASSERT_TRUE(v.unlink("/dir/gone.txt", false).ok());
  ASSERT_TRUE(d.h.writeFile("/dir/more.txt", "more"));
  ASSERT_TRUE(v.create("/dir/sub", true, file).ok());

  v.setOffline(false);
  EXPECT_TRUE(d.h.serverHolds("/dir/b.txt", "hello world"));
  EXPECT_TRUE(d.h.serverHolds("/dir/new.txt", "new"));
  EXPECT_TRUE(d.h.serverHolds("/dir/more.txt", "more"));
  EXPECT_TRUE(d.idle());
  EXPECT_TRUE(d.h.server->exists("/dir/sub"));
  EXPECT_FALSE(d.h.server->exists("/dir/a.txt"));
  EXPECT_FALSE(d.h.server->exists("/dir/gone.txt"));
}

// An offline deletion still waiting for its replay, then a new file of the
// same name made online: the deletion reaches the server first, never after,
// and what was seen of the name before it went out does not refuse the file.
// A name a fresh listing lacks is missing without a question to the server:
// in a folder the drive just made or listed, but not where case does not
// count, nor once the listing is old, nor for what the drive made there.
TEST(VolumeNamespaceTest, NamesAFreshListingLacksAreMissingWithoutAQuestion) {
  struct Case {
    const char* what;
    bool caseSensitive;
    bool listed;  // the folder is listed instead of made
    int stats;    // server looks for the missing name
  } cases[] = {
      {"a folder just made", true, false, 0},
      {"a folder just listed", true, true, 0},
      {"a folder just made, case does not count", false, false, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::VolumeHarness h(test::UploadDrive(kBs), test::QuickTimings());
    BackendCaps caps = test::WritableCaps(false);
    caps.caseSensitive = c.caseSensitive;
    h.server->setCaps(caps);
    Volume& v = *h.volume;
    ASSERT_TRUE(v.start(nullptr).ok());
    std::shared_ptr<OpenFile> file;
    RemoteAttr attr;
    std::vector<DirEntry> listing;
    if (c.listed) {
      h.server->putFile("/f/there", "x");
      ASSERT_TRUE(v.readdir("/f", listing).ok());
    } else {
      ASSERT_TRUE(v.create("/f", true, file).ok());
    }
    h.server->clearCalls();
    EXPECT_EQ(v.getattr("/f/new", attr).code, Status::kNotFound);
    EXPECT_EQ(h.server->countCalls(MemOp::kStat), c.stats);
    ASSERT_TRUE(v.create("/f/new", false, file).ok());
    EXPECT_TRUE(v.getattr("/f/new", attr).ok());
    EXPECT_EQ(v.getattr("/f/there", attr).ok(), c.listed);
  }
}

// Another client made the name after the drive listed its folder: a create
// of it says it exists (the mount host then opens it, or gives EEXIST for
// O_EXCL), and what follows finds the server's object rather than the
// listing's missing name; a folder the drive saw empty and another client
// filled is not empty to a delete, and shows what it holds afterwards.
TEST(VolumeNamespaceTest, NamesAnotherClientMadeSinceTheListingAreFoundAfterACreateOrDeleteMeetsThem) {
  Drive d;
  Volume& v = *d.h.volume;
  std::vector<DirEntry> listing;
  std::shared_ptr<OpenFile> folder;
  ASSERT_TRUE(v.create("/f", true, folder).ok());
  ASSERT_TRUE(v.readdir("/f", listing).ok());
  RemoteAttr attr;
  for (const char* name : {"/x.txt", "/sub"}) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(v.readdir("/", listing).ok());
    if (std::string(name) == "/sub")
      d.h.server->makeDir(name);
    else
      d.h.server->putFile(name, "theirs");
    // Within the listing's lifetime the drive has not seen it.
    ASSERT_EQ(v.getattr(name, attr).code, Status::kNotFound);
    std::shared_ptr<OpenFile> file;
    EXPECT_EQ(v.create(name, std::string(name) == "/sub", file).code, Status::kExists);
    ASSERT_TRUE(v.getattr(name, attr).ok());
    EXPECT_EQ(attr.isDir(), std::string(name) == "/sub");
  }
  std::shared_ptr<OpenFile> theirs;
  ASSERT_TRUE(v.open("/x.txt", theirs).ok());
  EXPECT_EQ(d.h.readAll(theirs), "theirs");
  v.closeNow(theirs);

  d.h.server->putFile("/f/in", "theirs too");
  EXPECT_EQ(v.unlink("/f", true).code, Status::kNotEmpty);
  ASSERT_TRUE(v.readdir("/f", listing).ok());
  ASSERT_EQ(listing.size(), 1u);
  EXPECT_EQ(listing[0].name, "in");
}

// A clone that outlasts the lifetime of what the drive made has its folder
// listed anew; on a server whose listings skip dot names (nginx), that
// listing must not hide the ".git" the drive made in it.
TEST(VolumeNamespaceTest, DotNamesAServerDoesNotListAreAskedForByName) {
  struct Case {
    const char* what;
    bool listsHiddenNames;
    int gitStats;      // server looks for the folder the drive made
    int missingStats;  // and for a dot name that is not there
  } cases[] = {
      {"a server that lists every name", true, 0, 0},
      {"a server that leaves dot names out", false, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::ScopedTestClock clock;
    test::VolumeHarness h(test::UploadDrive(kBs), test::QuickTimings());
    BackendCaps caps = test::WritableCaps(false);
    caps.listsHiddenNames = c.listsHiddenNames;
    h.server->setCaps(caps);
    Volume& v = *h.volume;
    ASSERT_TRUE(v.start(nullptr).ok());
    std::shared_ptr<OpenFile> made;
    ASSERT_TRUE(v.create("/c1", true, made).ok());
    ASSERT_TRUE(v.create("/c1/.git", true, made).ok());
    clock.advance(std::max(h.config.cache.metaTtlMs, h.config.cache.dirTtlMs));
    std::vector<DirEntry> listing;
    ASSERT_TRUE(v.readdir("/c1", listing).ok());
    const auto git = std::find_if(listing.begin(), listing.end(), [](const DirEntry& e) { return e.name == ".git"; });
    EXPECT_EQ(git != listing.end(), c.listsHiddenNames);
    h.server->clearCalls();
    RemoteAttr attr;
    Status st = v.getattr("/c1/.git", attr);
    ASSERT_TRUE(st.ok()) << st.toString();
    EXPECT_TRUE(attr.isDir());
    EXPECT_EQ(h.server->countCalls(MemOp::kStat, "/c1/.git"), c.gitStats);
    EXPECT_EQ(v.getattr("/c1/.gitignore", attr).code, Status::kNotFound);
    EXPECT_EQ(h.server->countCalls(MemOp::kStat, "/c1/.gitignore"), c.missingStats);
    // Other names a fresh listing lacks still cost no question.
    EXPECT_EQ(v.getattr("/c1/LICENSE", attr).code, Status::kNotFound);
    EXPECT_EQ(h.server->countCalls(MemOp::kStat, "/c1/LICENSE"), 0);
  }
}

TEST(VolumeNamespaceTest, OnlineCreateSendsTheOfflineDeletionOfItsNameFirst) {
  for (bool looked : {false, true}) {
    SCOPED_TRACE(looked ? "name looked up before the create" : "create only");
    VolumeTimings timings = test::QuickTimings();
    timings.tickMs = 3600 * 1000;  // the tick runs only when something wakes it
    MountConfig config = test::UploadDrive(kBs);
    config.cache.negativeTtlMs = 0;  // every look at a missing name asks the server
    Drive d(false, config, timings);
    Volume& v = *d.h.volume;
    d.h.server->putFile("/a", "old");
    // The first tick is over once it has pinged: from now on only wakes run one.
    ASSERT_TRUE(test::Eventually([&] { return d.h.server->countCalls(MemOp::kPing) == 1; }));
    v.setOffline(true);
    ASSERT_TRUE(v.unlink("/a", false).ok());
    d.h.server->addFault({MemOp::kRemove, "/a", 1, 1});
    v.setOffline(false);  // the replay this wakes fails and keeps the record
    ASSERT_TRUE(test::Eventually([&] { return d.h.server->countCalls(MemOp::kRemove) == 1; }));
    EXPECT_EQ(d.journalOps(), 1u);
    RemoteAttr attr;
    if (looked) (void)v.getattr("/a", attr);

    std::shared_ptr<OpenFile> file;
    ASSERT_TRUE(v.create("/a", false, file).ok());
    v.closeNow(file);
    v.rescanDirty();  // wakes the tick for another replay
    ASSERT_TRUE(test::Eventually([&] { return d.journalOps() == 0; }));
    EXPECT_TRUE(d.idle());
    std::string content = "<none>";
    EXPECT_TRUE(d.h.server->readFile("/a", &content) && content.empty()) << content;
  }
}

// A look at the server that an upload overtakes (it read the old copy, the
// upload ended, then its answer came) must not be what the drive shows: a
// program reading the file then would see the old size, or none at all.
TEST(VolumeNamespaceTest, AnswersReadBeforeAnUploadEndedAreNotShownAfterIt) {
  const std::string fresh = "new content, longer";
  for (MemOp asking : {MemOp::kStat, MemOp::kList}) {
    SCOPED_TRACE(test::MemOpName(asking));
    test::ScopedTestClock clock;
    Drive d;
    Volume& v = *d.h.volume;
    d.h.server->putFile("/f", "");
    auto held = d.h.server->addGate(MemOp::kOpenWrite, "/f");
    std::shared_ptr<OpenFile> file = d.h.openFile("/f");
    ASSERT_TRUE(v.write(file, 0, fresh.data(), fresh.size()).ok());
    v.closeNow(file);
    ASSERT_TRUE(held->waitArrived());
    clock.advance(d.h.config.cache.metaTtlMs);  // what the drive knew is stale: it asks the server

    auto answer = d.h.server->addReplyGate(asking, asking == MemOp::kStat ? "/f" : "/");
    uint64_t shown = 0;
    std::thread looker([&] {
      RemoteAttr attr;
      std::vector<DirEntry> listing;
      if (asking == MemOp::kStat && v.getattr("/f", attr).ok()) shown = attr.size;
      if (asking == MemOp::kList && v.readdir("/", listing).ok() && listing.size() == 1) shown = listing[0].attr.size;
    });
    ASSERT_TRUE(answer->waitArrived());  // the server said: empty
    held->release();
    ASSERT_TRUE(d.idle());
    answer->release();
    looker.join();
    EXPECT_EQ(shown, fresh.size());
    RemoteAttr attr;
    ASSERT_TRUE(v.getattr("/f", attr).ok());
    EXPECT_EQ(attr.size, fresh.size());
    EXPECT_EQ(d.h.readAll(d.h.openFile("/f")), fresh);
  }
}

// A listing taken while files wait for their uploads holds the empty copies
// the server has of them then; once the uploads end it must show what they
// left there, not the empty copies, for as long as it lives: a program that
// lists the folder would read the files as empty.
TEST(VolumeNamespaceTest, AListingTakenWhileUploadsWaitShowsWhatTheyLeft) {
  constexpr int kFiles = 3;
  auto content = [](int i) {
    return test::Pattern(3 * kBs + 100 * static_cast<uint64_t>(i), static_cast<uint32_t>(i));
  };
  for (bool renamed : {false, true}) {
    SCOPED_TRACE(renamed ? "folder renamed before its listing" : "folder listed where it was made");
    MountConfig config = test::UploadDrive(kBs);
    config.cache.writebackDelayMs = 3600 * 1000;  // nothing goes up until the test says so
    Drive d(false, config);
    Volume& v = *d.h.volume;
    std::shared_ptr<OpenFile> folder;
    ASSERT_TRUE(v.create("/pf", true, folder).ok());
    for (int i = 0; i < kFiles; ++i) ASSERT_TRUE(d.h.writeFile("/pf/f" + std::to_string(i), content(i)));
    const std::string at = renamed ? "/pf2" : "/pf";
    if (renamed) {
      ASSERT_TRUE(v.rename("/pf", at, false).ok());
    }
    std::vector<DirEntry> listing;
    ASSERT_TRUE(v.readdir(at, listing).ok());
    ASSERT_EQ(listing.size(), static_cast<size_t>(kFiles));

    v.rescanDirty();
    ASSERT_TRUE(d.idle());
    ASSERT_TRUE(v.readdir(at, listing).ok());
    ASSERT_EQ(listing.size(), static_cast<size_t>(kFiles));
    for (const DirEntry& e : listing) {
      const int i = e.name.back() - '0';
      EXPECT_EQ(e.attr.size, content(i).size()) << e.name;
      RemoteAttr attr;
      ASSERT_TRUE(v.getattr(at + "/" + e.name, attr).ok());
      EXPECT_EQ(attr.size, content(i).size()) << e.name;
    }
  }
}

// Uploads that keep ending while a folder is listed (a drive started again
// with many files to send) overtake every answer the server gives: each is
// older than some file's upload. Whatever answer the listing ends with, a
// file shows what its upload left, never the empty copy of before.
TEST(VolumeNamespaceTest, AListingOvertakenByUploadsTimeAndAgainShowsWhatTheyLeft) {
  constexpr int kFiles = 12;
  // Uploads start in name order: the names sort as the numbers do.
  auto name = [](int i) { return std::string("/d/f") + (i < 10 ? "0" : "") + std::to_string(i); };
  auto content = [](int i) { return test::Pattern(kBs + 10 * static_cast<uint64_t>(i), static_cast<uint32_t>(i)); };
  MountConfig config = test::UploadDrive(kBs);
  config.cache.writebackDelayMs = 3600 * 1000;
  Drive d(false, config);
  Volume& v = *d.h.volume;
  std::shared_ptr<OpenFile> folder;
  ASSERT_TRUE(v.create("/d", true, folder).ok());
  std::vector<std::shared_ptr<test::Gate>> sends;
  for (int i = 0; i < kFiles; ++i) {
    ASSERT_TRUE(d.h.writeFile(name(i), content(i)));
    sends.push_back(d.h.server->addGate(MemOp::kOpenWrite, name(i)));
  }
  // The listing the creates left is gone: the server is asked.
  ASSERT_TRUE(v.rename("/d", "/e", false).ok());
  ASSERT_TRUE(v.rename("/e", "/d", false).ok());
  v.rescanDirty();
  auto pending = [&] {
    VolumeStatus s;
    v.status(s);
    return s.pendingUploads;
  };
  std::vector<DirEntry> listing;
  std::shared_ptr<test::Gate> answer = d.h.server->addReplyGate(MemOp::kList, "/d");
  auto lister = std::async(std::launch::async, [&] { return v.readdir("/d", listing); });
  auto listed = [&] { return lister.wait_for(std::chrono::seconds(0)) == std::future_status::ready; };
  // Each answer the server gives waits until one more upload has ended.
  for (int next = 0; next < kFiles; ++next) {
    if (!test::Eventually([&] { return answer->arrived() || listed(); }) || listed()) break;
    sends[next]->release();
    EXPECT_TRUE(test::Eventually([&] { return pending() == static_cast<uint32_t>(kFiles - next - 1); }));
    std::shared_ptr<test::Gate> held = answer;
    answer = d.h.server->addReplyGate(MemOp::kList, "/d");
    held->release();
  }
  answer->release();
  for (auto& send : sends) send->release();
  ASSERT_TRUE(lister.get().ok());
  ASSERT_EQ(listing.size(), static_cast<size_t>(kFiles));
  for (const DirEntry& e : listing) {
    const int i = std::stoi(e.name.substr(1));
    EXPECT_EQ(e.attr.size, content(i).size()) << e.name;
    EXPECT_EQ(name(i), "/d/" + e.name);
  }
  ASSERT_TRUE(d.idle());
}

// A handle keeps reading and writing the file it was opened on after that
// file is renamed or moved with its folder, whatever now has the old name.
TEST(VolumeNamespaceTest, OpenFilesFollowRenamesOfThemselvesAndTheirFolders) {
  const std::string original = test::Pattern(4 * kBs, 3);
  std::string expected = original;
  expected.replace(2 * kBs + 100, 5, "PATCH");
  expected.resize(3 * kBs + 100);
  struct Case {
    const char* what;
    const char* opened;
    const char* from;
    const char* to;
    const char* nowAt;
    bool newFileAtOldName;
  } cases[] = {
      {"rotated: renamed, and a new file takes the name", "/log", "/log", "/log.1", "/log.1", true},
      {"moved with its folder", "/d/f", "/d", "/e", "/e/f", false},
      {"renamed, nothing left at the name", "/a", "/a", "/b", "/b", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Drive d;
    Volume& v = *d.h.volume;
    d.h.server->putFile(c.opened, original);
    std::shared_ptr<OpenFile> file = d.h.openFile(c.opened);
    ASSERT_EQ(d.h.read(file, 0, kBs), original.substr(0, kBs));
    ASSERT_TRUE(v.rename(c.from, c.to, false).ok());
    if (c.newFileAtOldName) d.h.server->putFile(c.opened, "another file");
    // The edges of a partial write and of a cut come from the file itself,
    // and so do the blocks read after them.
    ASSERT_TRUE(v.write(file, 2 * kBs + 100, "PATCH", 5).ok());
    ASSERT_TRUE(v.setSize(file, 3 * kBs + 100).ok());
    EXPECT_TRUE(d.h.read(file, 0, 4 * kBs) == expected);
    v.closeNow(file);
    EXPECT_TRUE(d.h.serverHolds(c.nowAt, expected));
    if (c.newFileAtOldName) {
      std::string kept;
      EXPECT_TRUE(d.h.server->readFile(c.opened, &kept) && kept == "another file") << kept;
    }
  }
}

// A file deleted while open keeps what the cache holds of it; the rest is a
// clear failure, never the bytes of a file that took its name.
TEST(VolumeNamespaceTest, OpenFilesDeletedMeanwhileReadOnlyWhatIsCached) {
  const std::string original = test::Pattern(3 * kBs, 4);
  Drive d;
  Volume& v = *d.h.volume;
  d.h.server->putFile("/u", original);
  std::shared_ptr<OpenFile> file = d.h.openFile("/u");
  ASSERT_EQ(d.h.read(file, 0, kBs), original.substr(0, kBs));
  ASSERT_TRUE(v.unlink("/u", false).ok());
  d.h.server->putFile("/u", test::Pattern(3 * kBs, 9));
  EXPECT_EQ(d.h.read(file, 0, kBs), original.substr(0, kBs));
  Status st;
  EXPECT_EQ(d.h.read(file, kBs, kBs, &st), "");
  EXPECT_EQ(st.toString(), "io: deleted while open: block not cached");
  EXPECT_EQ(d.h.server->countCalls(MemOp::kReadRange, "/u"), 1);
}

TEST(VolumeNamespaceTest, NamesThePolicyRefusesAreNeitherCreatedNorRenamedTo) {
  test::LogCapture log;
  MountConfig config = test::UploadDrive(kBs);
  config.compat.caseCollision = CompatOptions::kCaseRefuse;
  Drive d(false, config);
  d.h.server->putFile("/a.txt", "a");
  d.h.server->makeDir("/Docs/Sub");
  EXPECT_EQ(d.h.volume->resolveCase("/docs/sub/New.txt"), "/Docs/Sub/New.txt");
  EXPECT_EQ(d.h.volume->resolveCase("/Docs/new.txt"), "/Docs/new.txt");
  EXPECT_EQ(d.h.volume->resolveCase("/none/x"), "/none/x");
  struct Case {
    const char* path;
    const char* text;
  } cases[] = {
      {"/CON", "reserved Windows device name: CON"},
      {"/b.", "name ends with a dot or a space: b."},
      {"/A.TXT", "a file with the same name in different case already exists: a.txt"},
  };
  for (const Case& c : cases) {
    std::shared_ptr<OpenFile> file;
    EXPECT_EQ(d.h.volume->create(c.path, false, file).toString(), std::string("invalid: ") + c.text);
    EXPECT_EQ(d.h.volume->rename("/a.txt", c.path, false).toString(), std::string("invalid: ") + c.text);
    EXPECT_EQ(log.countLines(std::string("drive: refusing name ") + c.path + ": " + c.text), 2);
  }
  std::shared_ptr<OpenFile> file;
  EXPECT_EQ(d.h.volume->create("/a.txt", false, file).toString(), "exists: /a.txt");
  EXPECT_EQ(d.h.server->countCalls(MemOp::kCreate) + d.h.server->countCalls(MemOp::kRename), 0);
  // A user's flood of bad names cannot rotate the log away.
  for (int i = 0; i < 1000; ++i) EXPECT_EQ(d.h.volume->create("/CON", false, file).code, Status::kInvalid);
  EXPECT_LE(log.countLines("drive: refusing name "), 20);
}

// A server that tells case apart holds names that differ only in case side
// by side (a copy of a folder with index.html and Index.html), unless the
// drive is set to refuse them; the log then names that setting.
TEST(VolumeNamespaceTest, NamesDifferingOnlyInCaseLiveSideBySideUnlessTheDriveRefusesThem) {
  test::LogCapture log;
  for (uint32_t setting : {CompatOptions::kCaseAllow, CompatOptions::kCaseRefuse}) {
    const bool allowed = setting == CompatOptions::kCaseAllow;
    SCOPED_TRACE(allowed ? "allow" : "refuse");
    MountConfig config = test::UploadDrive(kBs);
    if (!allowed) config.compat.caseCollision = setting;
    Drive d(false, config);
    Volume& v = *d.h.volume;
    ASSERT_TRUE(d.h.writeFile("/index.html", "lower"));
    ASSERT_TRUE(d.h.writeFile("/x", "moved"));
    std::shared_ptr<OpenFile> file;
    const Status created = v.create("/Index.html", false, file);
    const Status renamed = v.rename("/x", "/INDEX.HTML", false);
    if (allowed) {
      ASSERT_TRUE(created.ok()) << created.toString();
      ASSERT_TRUE(v.write(file, 0, "UPPER", 5).ok());
      v.closeNow(file);
      EXPECT_TRUE(renamed.ok()) << renamed.toString();
      EXPECT_TRUE(d.h.serverHolds("/Index.html", "UPPER"));
      EXPECT_TRUE(d.h.serverHolds("/index.html", "lower"));
      EXPECT_TRUE(d.h.serverHolds("/INDEX.HTML", "moved"));
      std::vector<DirEntry> listing;
      ASSERT_TRUE(v.readdir("/", listing).ok());
      std::set<std::string> names;
      for (const DirEntry& e : listing) names.insert(e.name);
      EXPECT_EQ(names, (std::set<std::string>{"INDEX.HTML", "Index.html", "index.html"}));
    } else {
      EXPECT_EQ(created.code, Status::kInvalid);
      EXPECT_EQ(renamed.code, Status::kInvalid);
      EXPECT_FALSE(d.h.server->exists("/Index.html"));
      EXPECT_EQ(log.countLines("drive: refusing name /Index.html: a file with the same name in different case "
                               "already exists: index.html (the drive's caseCollision setting is \"refuse\")"),
                1);
    }
  }
}

TEST(VolumeNamespaceTest, OpeningAChangedServerCopyDropsCleanDataAndKeepsLocalChanges) {
  test::ScopedTestClock clock;
  MountConfig config = test::UploadDrive(kBs);
  config.cache.writebackDelayMs = 60000;  // changes stay local while the clock stands
  Drive d(false, config);
  Volume& v = *d.h.volume;
  d.h.server->putFile("/clean", "one");
  d.h.server->putFile("/changed", "one");
  std::shared_ptr<OpenFile> clean = d.h.openFile("/clean");
  ASSERT_EQ(d.h.readAll(clean), "one");
  v.closeNow(clean);
  std::shared_ptr<OpenFile> changed = d.h.openFile("/changed");
  ASSERT_TRUE(v.write(changed, 0, "local!", 6).ok());
  v.closeNow(changed);

  d.h.server->putFile("/clean", "two, longer");
  d.h.server->putFile("/changed", "two, longer");
  clock.advance(config.cache.metaTtlMs);  // attributes come from the server again
  EXPECT_EQ(d.h.readAll(d.h.openFile("/clean")), "two, longer");
  EXPECT_EQ(d.h.readAll(d.h.openFile("/changed")), "local!");
  std::vector<DirEntry> listing;
  ASSERT_TRUE(v.readdir("/", listing).ok());
  for (const DirEntry& e : listing) EXPECT_EQ(e.attr.size, e.name == "changed" ? 6u : 11u) << e.name;
}

TEST(VolumeNamespaceTest, TimesReachTheServerWithTheContentAndSpaceFiguresArePerDrive) {
  Drive d;
  Volume& v = *d.h.volume;
  const Timestamp t1{1000000, 5}, t2{2000000, 0};
  d.h.server->putFile("/t", "t");
  ASSERT_TRUE(v.setTimes("/t", t1, Timestamp()).ok());
  ASSERT_TRUE(v.setTimes("/t", Timestamp(), Timestamp()).ok());
  RemoteAttr attr;
  ASSERT_TRUE(d.h.server->statPath("/t", &attr));
  EXPECT_EQ(attr.mtime, t1);
  EXPECT_EQ(d.h.server->countCalls(MemOp::kSetTimes), 1);

  // A file with changes keeps its time for the upload that carries them.
  std::shared_ptr<OpenFile> file;
  ASSERT_TRUE(v.create("/c", false, file).ok());
  ASSERT_TRUE(v.write(file, 0, "x", 1).ok());
  ASSERT_TRUE(v.setTimes("/c", t2, Timestamp()).ok());
  EXPECT_EQ(d.h.server->countCalls(MemOp::kSetTimes), 1);
  v.closeNow(file);
  ASSERT_TRUE(d.h.serverHolds("/c", "x"));
  ASSERT_TRUE(d.idle());
  ASSERT_TRUE(d.h.server->statPath("/c", &attr));
  EXPECT_EQ(attr.mtime, t2);

  Drive other;
  d.h.server->setCapacity(1000);
  other.h.server->setCapacity(5000);
  FsStats a, b, again;
  ASSERT_TRUE(v.statfs(a).ok());
  ASSERT_TRUE(other.h.volume->statfs(b).ok());
  ASSERT_TRUE(v.statfs(again).ok());
  EXPECT_EQ(a.total, 1000u);
  EXPECT_EQ(b.total, 5000u);
  EXPECT_EQ(again.total, 1000u);
  EXPECT_EQ(d.h.server->countCalls(MemOp::kStatfs), 1);
}

TEST(VolumeNamespaceTest, RenameWaitsForTheUploadsOfItsSourceAndOfTheTargetItReplaces) {
  const std::string s = test::Pattern(2 * kBs, 1), t = test::Pattern(2 * kBs, 2);
  for (const char* held : {"/s", "/t"}) {
    SCOPED_TRACE(held);
    Drive d;
    for (const auto& [path, content] : {std::pair{"/s", s}, std::pair{"/t", t}}) {
      if (std::string(path) == held) continue;
      ASSERT_TRUE(d.h.writeFile(path, content));
      ASSERT_TRUE(d.h.serverHolds(path, content));
    }
    auto gate = d.h.server->addGate(MemOp::kStreamWrite, held);
    ASSERT_TRUE(d.h.writeFile(held, std::string(held) == "/s" ? s : t));
    ASSERT_TRUE(gate->waitArrived());
    Status renamed;
    std::thread user([&] { renamed = d.h.volume->rename("/s", "/t", true); });
    ASSERT_TRUE(test::Eventually([&] { return d.h.volume->uploadStopRequested(held); }));
    gate->release();
    user.join();
    EXPECT_TRUE(renamed.ok()) << renamed.toString();
    EXPECT_TRUE(d.idle());
    EXPECT_TRUE(d.h.serverHolds("/t", s));
    EXPECT_FALSE(d.h.server->exists("/s"));
  }
}

TEST(VolumeNamespaceTest, RenameThatGivesUpLetsTheUploadFinish) {
  test::ScopedTestClock clock;
  Drive d;
  const std::string content = test::Pattern(kBs);
  auto gate = d.h.server->addGate(MemOp::kStreamWrite, "/s");
  ASSERT_TRUE(d.h.writeFile("/s", content));
  ASSERT_TRUE(gate->waitArrived());
  Status renamed;
  std::thread user([&] { renamed = d.h.volume->rename("/s", "/r", false); });
  ASSERT_TRUE(test::Eventually([&] { return d.h.volume->uploadStopRequested("/s"); }));
  clock.advance(VolumeTimings().renameWaitMs);
  user.join();
  gate->release();
  EXPECT_EQ(renamed.toString(), "busy: upload in progress");
  EXPECT_FALSE(d.h.volume->uploadStopRequested("/s"));
  EXPECT_TRUE(d.h.serverHolds("/s", content));
}

TEST(VolumeNamespaceTest, AFileDeletedWhileItsUploadRunsStaysDeleted) {
  struct Case {
    bool randomWrite;
    MemOp held;
  } cases[] = {{false, MemOp::kStreamWrite}, {false, MemOp::kFinish}, {true, MemOp::kWriteAt}};
  for (const Case& c : cases) {
    SCOPED_TRACE(test::MemOpName(c.held));
    Drive d(c.randomWrite);
    auto gate = d.h.server->addGate(c.held, "/f");
    // Larger than one piece of a whole upload: the first is held.
    ASSERT_TRUE(d.h.writeFile("/f", test::Pattern(2 * d.h.config.transfer.chunkBytes + 1)));
    ASSERT_TRUE(gate->waitArrived());
    ASSERT_TRUE(d.h.volume->unlink("/f", false).ok());
    gate->release();
    EXPECT_TRUE(d.idle());
    EXPECT_FALSE(d.h.server->exists("/f"));
    // Deleted before its last piece went: the file never came back, not even
    // for a moment.
    if (c.held == MemOp::kStreamWrite) {
      EXPECT_EQ(d.h.server->countCalls(MemOp::kFinish, "/f"), 0);
    }
  }
}

TEST(VolumeNamespaceTest, UploadsWaitForTheOfflineRenameThatNamesThem) {
  Drive d;
  Volume& v = *d.h.volume;
  d.h.server->putFile("/a", "old a");
  std::shared_ptr<OpenFile> file = d.h.openFile("/a");
  ASSERT_EQ(d.h.readAll(file), "old a");
  v.setOffline(true);
  std::shared_ptr<OpenFile> other;
  ASSERT_TRUE(v.create("/x", false, other).ok());
  ASSERT_TRUE(v.write(file, 0, "new", 3).ok());
  v.closeNow(file);
  ASSERT_TRUE(v.rename("/a", "/b", false).ok());

  // The first replay stops before the rename; the next one is held in it.
  d.h.server->addFault({MemOp::kCreate, "/x", 1, 1});
  auto gate = d.h.server->addGate(MemOp::kRename);
  v.setOffline(false);
  ASSERT_TRUE(gate->waitArrived());
  EXPECT_FALSE(v.waitUploadsIdle(kOvertakeWindowMs));
  gate->release();
  EXPECT_TRUE(d.idle());
  EXPECT_TRUE(d.h.serverHolds("/b", "new a"));
  EXPECT_FALSE(d.h.server->exists("/a"));
}

// /u read online, then the folder /r made offline; back online, the replay
// of /r is held at the server. The handle of /u is returned.
std::shared_ptr<OpenFile> ReplayHeldAtAFolder(Drive& d, std::shared_ptr<test::Gate>& gate,
                                              const std::string& madeOffline = "") {
  Volume& v = *d.h.volume;
  d.h.server->putFile("/u", "old u");
  std::shared_ptr<OpenFile> unrelated = d.h.openFile("/u");
  EXPECT_EQ(d.h.readAll(unrelated), "old u");
  v.setOffline(true);
  std::shared_ptr<OpenFile> folder;
  EXPECT_TRUE(v.create("/r", true, folder).ok());
  if (!madeOffline.empty()) {
    EXPECT_TRUE(d.h.writeFile(madeOffline, "x"));
  }
  gate = d.h.server->addGate(MemOp::kMkdir, "/r");
  v.setOffline(false);
  EXPECT_TRUE(gate->waitArrived());
  return unrelated;
}

// The replay runs beside the tick: while one waits on the server, a file no
// record names goes up, and one a record names waits for it.
TEST(VolumeNamespaceTest, UploadsNoRecordNamesGoOnWhileAReplayRuns) {
  Drive d;
  Volume& v = *d.h.volume;
  std::shared_ptr<test::Gate> gate;
  std::shared_ptr<OpenFile> unrelated = ReplayHeldAtAFolder(d, gate, "/r/x");
  ASSERT_FALSE(HasFailure());
  ASSERT_TRUE(v.write(unrelated, 0, "new", 3).ok());
  v.closeNow(unrelated);
  EXPECT_TRUE(d.h.serverHolds("/u", "new u"));
  EXPECT_FALSE(d.h.server->exists("/r/x"));
  EXPECT_EQ(d.journalOps(), 2u);
  gate->release();
  EXPECT_TRUE(d.idle());
  EXPECT_TRUE(d.h.serverHolds("/r/x", "x"));
  EXPECT_EQ(d.journalOps(), 0u);
}

// A deletion online waits for the replay under way before its own call, and
// it waits without a connection: on a drive of two, the replay holds one and
// an upload of a file no record names takes the other. With that upload
// done, the drive is still not idle while the record waits.
TEST(VolumeNamespaceTest, AnOperationWaitingForTheReplayHoldsNoConnection) {
  MountConfig config = test::UploadDrive(kBs);
  config.net.connections = 2;
  Drive d(false, config);
  Volume& v = *d.h.volume;
  d.h.server->putFile("/gone", "gone");
  std::shared_ptr<test::Gate> gate;
  std::shared_ptr<OpenFile> unrelated = ReplayHeldAtAFolder(d, gate);
  ASSERT_FALSE(HasFailure());
  Status deleted(Status::kIo, "not run");
  std::thread deleter([&] { deleted = v.unlink("/gone", false); });
  ASSERT_TRUE(v.write(unrelated, 0, "new", 3).ok());
  v.closeNow(unrelated);
  EXPECT_TRUE(d.h.serverHolds("/u", "new u"));
  EXPECT_TRUE(d.h.server->exists("/gone"));
  EXPECT_TRUE(test::Eventually([&] {
    VolumeStatus s;
    v.status(s);
    return s.pendingUploads == 0;
  }));
  EXPECT_FALSE(v.waitUploadsIdle(0));
  gate->release();
  EXPECT_TRUE(d.idle());
  deleter.join();
  EXPECT_TRUE(deleted.ok()) << deleted.toString();
  EXPECT_FALSE(d.h.server->exists("/gone"));
  EXPECT_TRUE(d.h.server->exists("/r"));
}

// A folder's listing reaches the mount host as the cache holds it: another
// look copies nothing, and a file with changes not yet sent shows its local
// size in a copy, while a listing handed out earlier stays as it was.
TEST(VolumeNamespaceTest, ListingsAreHandedOutSharedNotCopied) {
  test::ScopedTestClock clock;
  Drive d;
  Volume& v = *d.h.volume;
  constexpr size_t kFiles = 20000;
  auto name = [](size_t i) { return "report-" + std::to_string(i) + "-quarterly.txt"; };
  for (size_t i = 0; i < kFiles; ++i) d.h.server->putFile("/big/" + name(i), "x");
  std::shared_ptr<const DirListing> first, again;
  ASSERT_TRUE(v.readdir("/big", first).ok());
  ASSERT_EQ(first->count(), kFiles);
  {
    test::HeapPeak heap;
    ASSERT_TRUE(v.readdir("/big", again).ok());
    EXPECT_LT(heap.peak(), first->bytes() / 10) << "the listing was copied";
  }
  EXPECT_EQ(again, first);

  std::shared_ptr<OpenFile> file = d.h.openFile("/big/" + name(7));
  ASSERT_TRUE(file);
  ASSERT_TRUE(v.write(file, 0, "longer", 6).ok());
  std::shared_ptr<const DirListing> shown;
  ASSERT_TRUE(v.readdir("/big", shown).ok());
  EXPECT_EQ(shown->attr(shown->find(name(7))).size, 6u);
  EXPECT_EQ(shown->attr(shown->find(name(8))).size, 1u);
  EXPECT_EQ(first->attr(first->find(name(7))).size, 1u) << "a listing handed out never changes";
  v.closeNow(file);
}

// The upload of a closed file ends while a listing of its folder is being
// shown, and changes keep overtaking the listing's looks until the last one
// is given as it is: the file shows the size its writer closed (what the
// upload recorded), never the empty copy the server's listing still held
// when it was read. The look at a file with changes waiting in the cache
// (its map read from the disk) is where the upload is let end.
TEST(VolumeNamespaceTest, AClosedFileNeverShowsLessThanItsWriterClosedWhileItsUploadEnds) {
  MemoryEnv env;
  auto server = std::make_shared<test::MemoryServer>();
  server->setCaps(test::WritableCaps(false));
  server->makeDir("/d");
  MountConfig config = test::UploadDrive(kBs);
  config.cache.writebackDelayMs = 3600 * 1000;
  config.cache.dirTtlMs = 1;  // every look lists the folder on the server
  Volume v(config, "/cache", server->factory(), test::QuickTimings(), &env);
  ASSERT_TRUE(v.start(nullptr).ok());
  // "a": closed, its upload an hour away; its map is read at every look.
  const std::string waiting = test::Pattern(3000, 1);
  std::shared_ptr<OpenFile> file;
  ASSERT_TRUE(v.create("/d/a", false, file).ok());
  ASSERT_TRUE(v.write(file, 0, waiting.data(), waiting.size()).ok());
  v.closeNow(file);
  file.reset();
  const std::string aMap = DataCache::objectName("/d/a") + ".map";
  const std::thread::id reader = std::this_thread::get_id();
  std::atomic<int> aLooks{0};
  std::function<void()> atLook;
  env.setHook([&](const MemoryEnv::StepInfo& step) {
    if (step.step == MemoryEnv::Step::kRead && std::this_thread::get_id() == reader && step.path.ends_with(aMap)) {
      ++aLooks;
      if (atLook) atLook();
    }
    return Status();
  });
  std::vector<DirEntry> listing;
  // Once the close let go of the object, a look reads its map.
  ASSERT_TRUE(test::Eventually([&] { return v.readdir("/d", listing).ok() && aLooks.load() > 0; }));

  // "b": closed with its content and flushed: its upload runs, held before
  // the server takes the content.
  const std::string content = test::Pattern(5000, 2);
  std::shared_ptr<test::Gate> finish = server->addGate(MemOp::kFinish, "/d/b");
  std::shared_ptr<OpenFile> b;
  ASSERT_TRUE(v.create("/d/b", false, b).ok());
  ASSERT_TRUE(v.write(b, 0, content.data(), content.size()).ok());
  ASSERT_TRUE(v.flush(b).ok());
  ASSERT_TRUE(finish->waitArrived());
  // Two looks are overtaken by files made meanwhile; in the third, the
  // upload of "b" ends.
  int looked = 0;
  atLook = [&] {
    if (++looked <= 2) {
      std::thread([&] {
        std::shared_ptr<OpenFile> made;
        EXPECT_TRUE(v.create("/d/c" + std::to_string(looked), false, made).ok());
        if (made) v.closeNow(made);
      }).join();
      return;
    }
    if (looked != 3) return;
    finish->release();
    EXPECT_TRUE(test::Eventually([&] { return !b->cache->isDirty() && !b->cache->hasDirty(); }));
  };
  aLooks = 0;
  ASSERT_TRUE(v.readdir("/d", listing).ok());
  env.setHook(nullptr);
  EXPECT_GE(looked, 3);
  for (const DirEntry& e : listing) {
    if (e.name == "b") {
      EXPECT_EQ(e.attr.size, content.size()) << "b shows the empty copy";
    } else if (e.name == "a") {
      EXPECT_EQ(e.attr.size, waiting.size());
    }
  }
  RemoteAttr attr;
  ASSERT_TRUE(v.getattr("/d/b", attr).ok());
  EXPECT_EQ(attr.size, content.size());
  v.closeNow(b);
  v.stop(0);
}

}  // namespace
}  // namespace tarn
