#include "engine/volume.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "foundation/memory_env.h"
#include "testing/eventually.h"
#include "testing/gate.h"
#include "testing/log_capture.h"
#include "testing/test_clock.h"
#include "testing/volume_harness.h"

namespace tarn {
namespace {

using test::MemOp;

constexpr uint64_t kBs = 4096;

// Single fetches, no readahead behind them.
MountConfig Drive() {
  MountConfig config = test::MemoryDrive(kBs);
  config.cache.readaheadBlocks = config.cache.readaheadMaxBlocks = 0;
  return config;
}

// A cached file of seven bytes, with or without changes to upload, as a stop
// or a crash leaves it on disk.
void LeaveFile(const std::string& driveDir, const std::string& path, bool dirty) {
  DataCache cache(driveDir, kBs, kDefaultCacheMaxBytes);
  ASSERT_TRUE(cache.ensureDir());
  std::shared_ptr<CacheFile> file = cache.open(path, true);
  ASSERT_TRUE(file && file->write(0, "changed", 7).ok());
  if (!dirty) {
    file->clearUploadMarks(0, 7);
    file->markUploaded("e", 7, Timestamp());
  }
  file->setDirty(dirty);
  ASSERT_TRUE(file->saveMap());
}

const TransferInfo* Find(const std::vector<TransferInfo>& list, const std::string& path) {
  for (const TransferInfo& t : list)
    if (t.path == path) return &t;
  return nullptr;
}

class VolumeTest : public ::testing::Test {
 protected:
  VolumeStatus status(test::VolumeHarness& h) { return status(*h.volume); }
  VolumeStatus status(Volume& v) {
    VolumeStatus s;
    v.status(s);
    return s;
  }

  test::LogCapture log_;
  test::ScopedTestClock clock_;
  test::VolumeHarness h_{Drive()};
};

TEST_F(VolumeTest, StartConnectsOnceKickDisconnectsAndStopReleasesEverything) {
  EXPECT_EQ(status(h_).slots, 0u);
  ASSERT_TRUE(h_.volume->start(nullptr).ok());
  EXPECT_TRUE(h_.volume->start(nullptr).ok());
  EXPECT_EQ(h_.server->connectionsMade(), 1u);
  EXPECT_TRUE(status(h_).online);
  EXPECT_EQ(status(h_).slots, 4u);
  EXPECT_EQ(log_.countLines("drive: connected to memory://mem/ (server=, random_write=0, resume=0, case_sensitive=1)"), 1);
  // The first tick's keepalive must be over: a busy connection stays.
  ASSERT_TRUE(test::Eventually([&] { return h_.server->countCalls(MemOp::kPing) == 1; }));
  h_.volume->kick();
  EXPECT_EQ(h_.server->countCalls(MemOp::kDisconnect), 1);
  // The network changed: the server is looked at again on a new connection.
  ASSERT_TRUE(test::Eventually([&] { return h_.server->countCalls(MemOp::kConnect) == 2; }));
  EXPECT_TRUE(status(h_).online);

  h_.volume->stop(0);
  EXPECT_FALSE(h_.volume->isStarted());
  EXPECT_EQ(status(h_).slots, 0u);
  ASSERT_TRUE(h_.volume->start(nullptr).ok());
  EXPECT_EQ(h_.server->connectionsMade(), 2u);
}

TEST_F(VolumeTest, ServerDownAtStartIsServedFromCacheAndReportedUntilTheServerAnswers) {
  h_.server->putFile("/f", test::Pattern(3 * kBs));
  ASSERT_TRUE(h_.volume->start(nullptr).ok());
  std::shared_ptr<OpenFile> file = h_.open("/f");
  EXPECT_EQ(h_.read(file, 0, 10), test::Pattern(10));
  h_.volume->stop(0);

  h_.server->setDown(true);
  ASSERT_TRUE(h_.volume->start(nullptr).ok());
  EXPECT_EQ(log_.countLines("drive: initial connect failed: network: connect: server down (serving from cache)"), 1);
  EXPECT_EQ(h_.read(file, 0, 10), test::Pattern(10));
  Status st;
  EXPECT_EQ(h_.read(file, 2 * kBs, 10, &st), "");
  EXPECT_EQ(st.code, Status::kNetwork);
  EXPECT_EQ(status(h_).lastError, "network: connect: server down");
  const uint64_t at = clock_.now();
  // However long the server stays away, the status says why.
  clock_.advance(24 * 3600 * 1000ull);
  EXPECT_EQ(status(h_).lastError, "network: connect: server down");
  EXPECT_EQ(status(h_).lastErrorMs, at);

  h_.server->setDown(false);
  EXPECT_EQ(h_.read(file, 2 * kBs, 10), test::Pattern(3 * kBs).substr(2 * kBs, 10));
  EXPECT_TRUE(status(h_).online);
  EXPECT_EQ(status(h_).lastError, "");
  EXPECT_EQ(status(h_).lastErrorMs, 0u);
}

// A drive whose server was away at its start and answers again without a
// read of the user's: the connection made ends the start's failure.
TEST_F(VolumeTest, ConnectFailureOfTheStartEndsWithTheFirstConnection) {
  h_.server->setDown(true);
  ASSERT_TRUE(h_.volume->start(nullptr).ok());
  EXPECT_EQ(status(h_).lastError, "network: connect: server down");
  h_.server->setDown(false);
  RemoteAttr attr;
  EXPECT_EQ(h_.volume->getattr("/missing", attr).code, Status::kNotFound);
  EXPECT_EQ(status(h_).lastError, "");
}

// Uploads try again for ever: while the server is away the status says why
// the file waits, and once it took the file the reason goes.
TEST_F(VolumeTest, AnUploadThatTriesAgainShowsWhyItWaits) {
  test::VolumeHarness h(test::UploadDrive(kBs));
  ASSERT_TRUE(h.volume->start(nullptr).ok());
  h.server->putFile("/w.txt", "");
  std::shared_ptr<OpenFile> file = h.open("/w.txt");
  ASSERT_TRUE(file);
  h.server->setDown(true);
  ASSERT_TRUE(h.volume->write(file, 0, "new", 3).ok());
  h.volume->closeNow(file);
  ASSERT_TRUE(test::Eventually([&] { return status(h).lastError.starts_with("network: upload of /w.txt: "); }))
      << status(h).lastError;
  EXPECT_EQ(status(h).pendingUploads, 1u);
  h.server->setDown(false);
  EXPECT_TRUE(h.serverHolds("/w.txt", "new"));
  EXPECT_TRUE(test::Eventually([&] { return status(h).lastError.empty(); })) << status(h).lastError;
}

// A failure shows in the drive's status until a request of the same kind
// succeeds; one of another kind leaves it in view.
TEST_F(VolumeTest, AFailureShowsUntilARequestOfItsKindSucceeds) {
  test::VolumeHarness h(test::UploadDrive(kBs));
  h.server->setCaps(test::WritableCaps(false));
  for (const char* name : {"/s2", "/u1", "/u2", "/r1", "/r2", "/f1", "/f2"}) h.server->putFile(name, "content");
  for (const char* name : {"/d1", "/d2", "/o1", "/o2", "/o3", "/o4", "/o5", "/o6", "/o7"}) h.server->makeDir(name);
  ASSERT_TRUE(h.volume->start(nullptr).ok());
  using Request = std::function<Status(const std::string&)>;
  const Request stat = [&](const std::string& path) {
    RemoteAttr attr;
    return h.volume->getattr(path, attr);
  };
  const Request list = [&](const std::string& path) {
    std::vector<DirEntry> entries;
    return h.volume->readdir(path, entries);
  };
  const Request create = [&](const std::string& path) {
    std::shared_ptr<OpenFile> file;
    Status st = h.volume->create(path, false, file);
    if (st.ok()) h.volume->closeNow(file);
    return st;
  };
  const Request unlink = [&](const std::string& path) { return h.volume->unlink(path, false); };
  const Request rename = [&](const std::string& path) { return h.volume->rename(path, path + "-moved", false); };
  const Request read = [&](const std::string& path) {
    Status st;
    h.read(h.open(path), 0, 7, &st);
    return st;
  };
  // The upload follows the close.
  const Request upload = [&](const std::string& path) {
    return h.writeFile(path, "new") ? Status() : Status(Status::kIo, "not written");
  };
  struct Case {
    MemOp op;
    const Request* request;
    std::string failing;
    std::string succeeding;
    std::string shown;
  };
  const Case cases[] = {
      {MemOp::kStat, &stat, "/s1", "/s2", "access-denied: stat: refused"},
      {MemOp::kList, &list, "/d1", "/d2", "access-denied: list: refused"},
      {MemOp::kCreate, &create, "/c1", "/c2", "access-denied: create: refused"},
      {MemOp::kRemove, &unlink, "/u1", "/u2", "access-denied: unlink: refused"},
      {MemOp::kRename, &rename, "/r1", "/r2", "access-denied: rename: refused"},
      {MemOp::kReadRange, &read, "/f1", "/f2", "access-denied: read: refused"},
      {MemOp::kOpenWrite, &upload, "/w1", "/w2", "access-denied: upload of /w1: refused"},
  };
  int other = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shown);
    h.server->addFault({c.op, c.failing, 1, 0, test::FaultRule::Kind::kFail, Status(Status::kAccessDenied, "refused")});
    (void)(*c.request)(c.failing);
    ASSERT_TRUE(test::Eventually([&] { return status(h).lastError == c.shown; })) << status(h).lastError;
    const std::string elsewhere = "/o" + std::to_string(++other);
    EXPECT_TRUE((c.request == &list ? stat : list)(elsewhere).ok());
    EXPECT_EQ(status(h).lastError, c.shown);
    EXPECT_TRUE((*c.request)(c.succeeding).ok());
    EXPECT_TRUE(test::Eventually([&] { return status(h).lastError.empty(); })) << status(h).lastError;
  }
  EXPECT_TRUE(h.serverHolds("/w2", "new"));
}

// A server the drive cannot trust (its certificate) fails the start with
// the reason, rather than leaving a drive of cache alone; the changes the
// cache holds stay for a start that can reach it.
TEST_F(VolumeTest, ServerRefusedAsInvalidAtStartFailsTheStart) {
  MountConfig config = Drive();
  test::VolumeHarness h(config);
  LeaveFile(h.driveDir(), "/a.txt", true);
  test::FaultRule untrusted;
  untrusted.op = MemOp::kConnect;
  untrusted.times = 0;
  untrusted.status = Status(Status::kInvalid, "TLS: send: the server's certificate is not trusted", 12045);
  h.server->addFault(untrusted);
  EXPECT_EQ(h.volume->start(nullptr).toString(), "invalid: TLS: send: the server's certificate is not trusted");
  EXPECT_FALSE(h.volume->isStarted());
  EXPECT_EQ(status(h).slots, 0u);

  h.server->clearFaults();
  ASSERT_TRUE(h.volume->start(nullptr).ok());
  std::string content;
  EXPECT_TRUE(test::Eventually([&] { return h.server->readFile("/a.txt", &content); }));
  EXPECT_EQ(content, "changed");
}

TEST_F(VolumeTest, FirstConnectAfterAStartWithoutServerTakesTheServersAndTheProbedCaps) {
  MountConfig config = Drive();
  config.endpoint.protocol = "sftp";  // presets random writes on
  config.probed.valid = true;
  config.probed.randomWrite = config.probed.caseSensitive = false;
  config.probed.maxNameBytes = 100;
  test::VolumeHarness h(config);
  BackendCaps server;
  server.randomWrite = true;
  server.server = "memsrv";
  h.server->setCaps(server);
  h.server->putFile("/f", "content");
  h.server->setDown(true);
  ASSERT_TRUE(h.volume->start(nullptr).ok());
  EXPECT_FALSE(h.volume->caps()->randomWrite);  // the stored result rules before any connect

  h.server->setDown(false);
  EXPECT_EQ(h.read(h.open("/f"), 0, 7), "content");
  std::shared_ptr<const BackendCaps> caps = h.volume->caps();
  EXPECT_EQ(caps->server, "memsrv");
  EXPECT_FALSE(caps->randomWrite);
  EXPECT_FALSE(caps->caseSensitive);
  EXPECT_EQ(caps->maxNameBytes, 100u);
  EXPECT_EQ(log_.countLines("drive: connected to sftp://mem/ (server=memsrv, random_write=0, resume=0, case_sensitive=0)"),
            1);
}

TEST_F(VolumeTest, CacheFolderThatCannotBeMadeFailsTheStart) {
  std::ofstream(h_.root() + "/blocker") << "a file where the folder should be";
  MountConfig config = Drive();
  config.cache.dir = h_.root() + "/blocker/cache";
  test::VolumeHarness h(config);
  std::string error;
  EXPECT_EQ(h.volume->start(&error).toString(), "io: cannot create cache directory " + config.cache.dir);
  EXPECT_EQ(error, "cannot create cache directory " + config.cache.dir);
  EXPECT_EQ(h.volume->start(nullptr).toString(), "io: cache init failed");
  EXPECT_FALSE(h.volume->isStarted());
  EXPECT_TRUE(h.server->calls().empty());
}

TEST_F(VolumeTest, FilesLeftWithChangesAreQueuedAtStartAndStayQueuedAfterStop) {
  MountConfig config = Drive();
  config.cache.offlineMode = true;  // nothing goes up, so the queue can be looked at
  test::VolumeHarness h(config);
  LeaveFile(h.driveDir(), "/a.txt", true);
  LeaveFile(h.driveDir(), "/clean.txt", false);
  ASSERT_TRUE(h.volume->start(nullptr).ok());
  EXPECT_EQ(log_.countLines("resuming upload of"), 1);
  EXPECT_EQ(log_.countLines("drive: resuming upload of /a.txt"), 1);
  std::vector<TransferInfo> list = h.volume->transfers();
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].path, "/a.txt");
  EXPECT_TRUE(list[0].upload);
  EXPECT_EQ(list[0].state, "waiting");
  EXPECT_EQ(list[0].updatedMs, clock_.now());
  h.volume->stop(0);
  EXPECT_EQ(status(h).pendingUploads, 1u);
}

TEST_F(VolumeTest, TransferListKeepsFiftyFinishedRecords) {
  Volume& v = *h_.volume;
  v.TransferEnd(v.TransferBegin("/x", false, 10), false, "network: gone");
  const uint64_t up = v.TransferBegin("/x", true, 10);
  v.TransferEnd(up, false, "network: gone");
  // A new download of /x replaces its failed download, not its upload.
  const uint64_t again = v.TransferBegin("/x", false, 10);
  v.updateTransfer(again, 4, "retry", nullptr, 2);
  std::vector<TransferInfo> list = v.transfers();
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].id, up);
  EXPECT_EQ(list[1].state, "retry");
  EXPECT_EQ(list[1].attempt, 2u);
  EXPECT_EQ(status(h_).activeTransfers, 1u);
  v.TransferEnd(again, true, "");
  EXPECT_EQ(v.transfers()[1].done, 10u);

  for (int i = 0; i < 60; ++i) v.TransferEnd(v.TransferBegin("/f" + std::to_string(i), false, 1), true, "");
  list = v.transfers();
  ASSERT_EQ(list.size(), kMaxFinishedTransfers);
  EXPECT_EQ(list.front().path, "/f10");
  EXPECT_EQ(status(h_).activeTransfers, 0u);
}

TEST_F(VolumeTest, TickPingsEvictsAndQueuesChangedFiles) {
  MountConfig config = Drive();
  config.cache.maxBytes = 1;  // every clean file goes at the next pass
  test::VolumeHarness h(config);
  ASSERT_TRUE(h.volume->start(nullptr).ok());
  EXPECT_TRUE(test::Eventually([&] { return h.server->countCalls(MemOp::kPing) == 1; }));
  clock_.advance(config.net.keepaliveSec * 1000 + 1);
  EXPECT_TRUE(test::Eventually([&] { return h.server->countCalls(MemOp::kPing) == 2; }));

  LeaveFile(h.driveDir(), "/clean.txt", false);
  LeaveFile(h.driveDir(), "/dirty.txt", true);
  DataCache look(h.driveDir(), kBs, kDefaultCacheMaxBytes);
  clock_.advance(VolumeTimings().maintenanceMs + 1);
  EXPECT_TRUE(test::Eventually([&] { return Find(h.volume->transfers(), "/dirty.txt") != nullptr; }));
  EXPECT_EQ(Find(h.volume->transfers(), "/dirty.txt")->updatedMs, clock_.now() + config.cache.writebackDelayMs);
  EXPECT_FALSE(look.exists("/clean.txt"));
  EXPECT_TRUE(look.exists("/dirty.txt"));
}

TEST_F(VolumeTest, OfflineStartTouchesNoServerAndRescansMakeChangedFilesDueAtOnce) {
  MountConfig config = Drive();
  config.cache.offlineMode = true;
  test::VolumeHarness h(config);
  ASSERT_TRUE(h.volume->start(nullptr).ok());
  EXPECT_FALSE(status(h).online);
  EXPECT_TRUE(status(h).offlineMode);
  EXPECT_EQ(h.server->countCalls(MemOp::kConnect), 0);
  struct Case {
    const char* path;
    std::function<void()> rescan;
  } cases[] = {
      {"/back-online.txt", [&] { h.volume->setOffline(false); }},
      {"/kicked.txt", [&] { h.volume->kick(); }},
      {"/synced.txt", [&] { h.volume->rescanDirty(); }},
  };
  // The test clock stands still: only an upload due at once ever starts.
  for (const Case& c : cases) {
    LeaveFile(h.driveDir(), c.path, true);
    c.rescan();
    std::string content;
    EXPECT_TRUE(test::Eventually([&] { return h.server->readFile(c.path, &content); })) << c.path;
    EXPECT_EQ(content, "changed");
  }
  EXPECT_FALSE(status(h).offlineMode);
}

TEST_F(VolumeTest, SyncCoversAFileWhoseCloseIsStillBeingHandled) {
  MountConfig config = Drive();
  config.cache.writebackDelayMs = 3600000;
  config.transfer.parallelChunks = 1;
  test::VolumeHarness h(config);
  h.server->setCaps(test::WritableCaps(false));
  ASSERT_TRUE(h.volume->start(nullptr).ok());
  // When the queued upload of path becomes due.
  auto due = [&](const std::string& path) {
    for (const TransferInfo& t : h.volume->transfers())
      if (t.path == path && t.state == "waiting") return t.updatedMs;
    return uint64_t{0};
  };
  // The one upload slot is taken, so nothing starts between the steps below.
  auto gate = h.server->addGate(MemOp::kOpenWrite, "/busy");
  std::shared_ptr<OpenFile> busy;
  ASSERT_TRUE(h.volume->create("/busy", false, busy).ok());
  ASSERT_TRUE(h.volume->write(busy, 0, "b", 1).ok());
  ASSERT_TRUE(h.volume->flush(busy).ok());
  ASSERT_TRUE(gate->waitArrived());

  std::shared_ptr<OpenFile> file;
  ASSERT_TRUE(h.volume->create("/a.txt", false, file).ok());
  ASSERT_TRUE(h.volume->write(file, 0, "hello", 5).ok());
  h.volume->closeNow(file);  // the application's close
  EXPECT_EQ(due("/a.txt"), clock_.now() + config.cache.writebackDelayMs);
  h.volume->rescanDirty();   // "sync now"
  h.volume->closeNow(file);  // the handle's release, handled after the sync
  EXPECT_EQ(due("/a.txt"), clock_.now());

  gate->release();
  EXPECT_TRUE(h.serverHolds("/a.txt", "hello"));
  ASSERT_TRUE(h.volume->waitUploadsIdle(test::Gate::kDefaultWaitMs));

  // A change made after the sync waits its delay again.
  ASSERT_TRUE(h.volume->write(file, 0, "HELLO", 5).ok());
  h.volume->closeNow(file);
  EXPECT_EQ(due("/a.txt"), clock_.now() + config.cache.writebackDelayMs);
}

// The drive's status tells when its journal may not survive a restart: a
// replay stopped for want of a writable journal, a journal set aside.
TEST_F(VolumeTest, AJournalThatCannotBeTrustedShowsInTheStatus) {
  MemoryEnv env;
  std::atomic<bool> full{false};  // read by the tick thread's saves
  env.setHook([&full](const MemoryEnv::StepInfo& step) {
    if (full && step.step == MemoryEnv::Step::kWrite && step.path.starts_with("/cache/drive/journal"))
      return Status(Status::kNoSpace, "no space left on device", ENOSPC);
    return Status();
  });
  MountConfig config = Drive();
  config.cache.offlineMode = true;
  {
    Volume v(config, "/cache", h_.server->factory(), test::QuickTimings(), &env);
    ASSERT_TRUE(v.start(nullptr).ok());
    std::shared_ptr<OpenFile> file;
    ASSERT_TRUE(v.create("/a", false, file).ok());
    ASSERT_TRUE(v.create("/b", false, file).ok());
    full = true;
    v.setOffline(false);
    ASSERT_TRUE(test::Eventually([&] { return h_.server->exists("/a"); }));
    EXPECT_TRUE(test::Eventually([&] { return status(v).lastError.starts_with("journal: cannot write /cache/drive/journal.json"); }))
        << status(v).lastError;
    EXPECT_FALSE(h_.server->exists("/b"));
    EXPECT_EQ(log_.countLines("[ERROR] journal: cannot write /cache/drive/journal.json"), 1);
    full = false;
  }
  ASSERT_TRUE(env.writeFile("/cache/drive/journal.json", "{\"ops\": [", false, true).ok());
  Volume v(config, "/cache", h_.server->factory(), test::QuickTimings(), &env);
  ASSERT_TRUE(v.start(nullptr).ok());
  EXPECT_TRUE(status(v).lastError.starts_with("journal: cannot load /cache/drive/journal.json")) << status(v).lastError;
}

// Files /f0.. each holding its own name, created, written and closed.
void WriteAndCloseFiles(Volume& v, int files) {
  for (int i = 0; i < files; ++i) {
    std::shared_ptr<OpenFile> file;
    const std::string path = "/f" + std::to_string(i);
    ASSERT_TRUE(v.create(path, false, file).ok()) << path;
    ASSERT_TRUE(v.write(file, 0, path.data(), path.size()).ok()) << path;
    v.closeNow(file);
  }
}

// Files closed while offline wait for their uploads by name: the queue
// holds none of them open, however many there are, and every one still
// reaches the server once the drive is back.
TEST_F(VolumeTest, WaitingUploadsHoldNoOpenFiles) {
  constexpr int kFiles = 300;
  MemoryEnv env;
  MountConfig config = Drive();
  config.cache.offlineMode = true;
  config.cache.writebackDelayMs = 0;
  Volume v(config, "/cache", h_.server->factory(), test::QuickTimings(), &env);
  ASSERT_TRUE(v.start(nullptr).ok());
  // The journal's log stays open once the first change opened it.
  const uint64_t idle = env.openFiles() + 1;
  WriteAndCloseFiles(v, kFiles);
  ASSERT_FALSE(HasFailure());
  EXPECT_EQ(status(v).pendingUploads, static_cast<uint32_t>(kFiles));
  // The reaper holds the files whose maps it has still to commit; the
  // rescan waits for it.
  v.rescanDirty();
  EXPECT_EQ(env.openFiles(), idle);
  // The list shows what each waiting upload will send, and keeps no file open.
  const std::vector<TransferInfo> waiting = v.transfers();
  ASSERT_EQ(waiting.size(), static_cast<size_t>(kFiles));
  for (const TransferInfo& t : waiting) EXPECT_EQ(t.total, t.path.size()) << t.path;
  EXPECT_EQ(env.openFiles(), idle);

  v.setOffline(false);
  ASSERT_TRUE(v.waitUploadsIdle(test::Gate::kDefaultWaitMs));
  for (int i = 0; i < kFiles; ++i) {
    const std::string path = "/f" + std::to_string(i);
    std::string got;
    EXPECT_TRUE(h_.server->readFile(path, &got) && got == path) << path;
  }
  EXPECT_EQ(env.openFiles(), idle);
}

// Closes that come while the reaper is held up leave it a bounded number of
// maps to commit, each holding its file open; the rest commit their own, and
// every file survives a power loss once the reaper is through.
TEST_F(VolumeTest, ClosesOutrunningTheReaperHoldFewFilesOpen) {
  constexpr int kFiles = 3 * static_cast<int>(kMaxMapsAwaitingCommit);
  MemoryEnv env;
  const std::thread::id closer = std::this_thread::get_id();
  std::atomic<bool> holdReaper{true};
  test::Gate reaper;
  env.setHook([&](const MemoryEnv::StepInfo& step) {
    if (step.step == MemoryEnv::Step::kSync && step.path.find("/data/") != std::string::npos &&
        std::this_thread::get_id() != closer && holdReaper.exchange(false))
      reaper.arriveAndWait();
    return Status();
  });
  MountConfig config = Drive();
  config.cache.offlineMode = true;
  std::unique_ptr<MemoryEnv> powerLost;
  {
    Volume v(config, "/cache", h_.server->factory(), test::QuickTimings(), &env);
    ASSERT_TRUE(v.start(nullptr).ok());
    // The journal's log stays open once the first change opened it.
    const uint64_t idle = env.openFiles() + 1;
    WriteAndCloseFiles(v, kFiles);
    ASSERT_FALSE(HasFailure());
    ASSERT_TRUE(reaper.waitArrived());
    // The batch the reaper took, and the maps waiting behind it.
    EXPECT_LE(env.openFiles(), idle + 2 * kMaxMapsAwaitingCommit);
    reaper.release();
    v.rescanDirty();
    // Other threads open files of their own for a moment (the metadata).
    EXPECT_TRUE(test::Eventually([&] { return env.openFiles() == idle; })) << env.openFiles() << " open";
    powerLost = env.snapshot(MemoryEnv::Crash::kPowerLoss);
    env.setHook(nullptr);
  }
  config.cache.offlineMode = false;
  Volume v(config, "/cache", h_.server->factory(), test::QuickTimings(), powerLost.get());
  ASSERT_TRUE(v.start(nullptr).ok());
  ASSERT_TRUE(v.waitUploadsIdle(test::Gate::kDefaultWaitMs));
  for (int i = 0; i < kFiles; ++i) {
    const std::string path = "/f" + std::to_string(i);
    std::string got;
    EXPECT_TRUE(h_.server->readFile(path, &got) && got == path) << path;
  }
}

// A close waits for the data file to reach the disk, not for the map: a
// killed drive finds the changes at once, a power loss once the reaper has
// committed the map.
TEST_F(VolumeTest, AClosedFileSurvivesAKillAtOnceAndAPowerLossOnceCommitted) {
  MemoryEnv env;
  const std::thread::id closer = std::this_thread::get_id();
  std::atomic<int> closerSyncs{0};
  std::atomic<bool> holdCommit{false};
  test::Gate commit;
  env.setHook([&](const MemoryEnv::StepInfo& step) {
    if (step.step != MemoryEnv::Step::kSync && step.step != MemoryEnv::Step::kSyncDir) return Status();
    if (step.path.find("journal") != std::string::npos) return Status();
    if (std::this_thread::get_id() == closer)
      ++closerSyncs;
    else if (holdCommit.exchange(false))
      commit.arriveAndWait();
    return Status();
  });
  auto maps = [](const std::string& path) { return path.ends_with(".map"); };
  MountConfig config = test::UploadDrive(kBs);
  config.cache.writebackDelayMs = 3600000;  // no upload before the disks are taken
  struct Restart {
    std::unique_ptr<MemoryEnv> disk;
    const char* what;
    std::vector<std::string> server;  // what the server may hold after the restart's uploads
  };
  std::vector<Restart> restarts;
  {
    Volume v(config, "/cache", h_.server->factory(), test::QuickTimings(), &env);
    ASSERT_TRUE(v.start(nullptr).ok());
    std::shared_ptr<OpenFile> file;
    ASSERT_TRUE(v.create("/a", false, file).ok());
    ASSERT_TRUE(v.write(file, 0, "content", 7).ok());
    closerSyncs = 0;
    holdCommit = true;
    v.closeNow(file);
    EXPECT_EQ(closerSyncs.load(), 0);
    ASSERT_TRUE(commit.waitArrived());
    restarts.push_back({env.snapshot(MemoryEnv::Crash::kProcess), "kill before the commit", {"content"}});
    // The map got to the disk, the bytes it claims may not have: the close's
    // changes may be lost, but zeros are never sent as the file's content.
    restarts.push_back({env.snapshotTorn(maps), "power loss before the commit", {"", "content"}});
    commit.release();
    v.stop(0);
    restarts.push_back({env.snapshot(MemoryEnv::Crash::kPowerLoss), "power loss after the commit", {"content"}});
    restarts.push_back({env.snapshotTorn([](const std::string&) { return false; }), "torn power loss after it",
                        {"content"}});
  }
  env.setHook(nullptr);
  {
    // A restart after a kill commits what the dead process left unsynced.
    MountConfig offline = config;
    offline.cache.offlineMode = true;
    Volume v(offline, "/cache", h_.server->factory(), test::QuickTimings(), restarts[0].disk.get());
    ASSERT_TRUE(v.start(nullptr).ok());
    v.stop(0);
    restarts.push_back({restarts[0].disk->snapshotTorn(maps), "power loss after a kill and a restart", {"content"}});
  }
  config.cache.writebackDelayMs = 0;
  for (Restart& r : restarts) {
    h_.server->putFile("/a", "");
    Volume v(config, "/cache", h_.server->factory(), test::QuickTimings(), r.disk.get());
    ASSERT_TRUE(v.start(nullptr).ok());
    EXPECT_TRUE(v.waitUploadsIdle(60000)) << r.what;
    std::string got;
    EXPECT_TRUE(h_.server->readFile("/a", &got)) << r.what;
    EXPECT_NE(std::find(r.server.begin(), r.server.end(), got), r.server.end()) << r.what << ": " << got;
  }
}

TEST_F(VolumeTest, ClearCacheKeepsOnlyFilesWithChanges) {
  ASSERT_TRUE(h_.volume->start(nullptr).ok());
  LeaveFile(h_.driveDir(), "/clean.txt", false);
  LeaveFile(h_.driveDir(), "/dirty.txt", true);
  EXPECT_EQ(status(h_).cacheBytes, 14u);
  h_.volume->clearCache();
  EXPECT_EQ(status(h_).cacheBytes, 7u);
  EXPECT_TRUE(DataCache(h_.driveDir(), kBs, kDefaultCacheMaxBytes).exists("/dirty.txt"));
}

// Removing a drive's cache from a folder that holds other files takes out
// only these names: every one a volume leaves there must be among them.
TEST_F(VolumeTest, EverythingAVolumeLeavesInItsFolderIsAmongItsCacheEntries) {
  MountConfig config = Drive();
  config.cache.offlineMode = true;
  test::VolumeHarness h(config);
  ASSERT_TRUE(h.volume->start(nullptr).ok());
  std::shared_ptr<OpenFile> file;
  ASSERT_TRUE(h.volume->create("/a", false, file).ok());
  ASSERT_TRUE(h.volume->write(file, 0, "a", 1).ok());
  h.volume->closeNow(file);
  h.volume->stop(0);

  const std::vector<std::string> names = VolumeCacheEntries();
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(h.driveDir())) {
    left.push_back(entry.path().filename().string());
    EXPECT_NE(std::find(names.begin(), names.end(), left.back()), names.end()) << left.back();
  }
  // The offline change went to the journal's log, the file to the cache.
  for (const char* expected : {"data", "journal.log"})
    EXPECT_NE(std::find(left.begin(), left.end(), expected), left.end()) << expected;
}

}  // namespace
}  // namespace tarn
