// The save of editors and office programs on a drive: a temporary written
// beside the document, flushed, closed and renamed over it. What the
// server's document passes through while that happens (only its old content
// and its new one), what becomes of the temporary (it never stays or comes
// back), and what a kill at any step of the drive leaves (the old or the new
// document, and the new one after the restart).
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "engine/volume.h"
#include "foundation/memory_env.h"
#include "testing/eventually.h"
#include "testing/gate.h"
#include "testing/volume_harness.h"

namespace tarn {
namespace {

using test::FaultRule;
using test::MemOp;

constexpr uint32_t kBs = 4096;
constexpr const char* kDoc = "/d/doc.txt";
constexpr const char* kTemp = "/d/.doc.txt.tmp";

// Versions of differing sizes, so that a file cut short or mixed shows.
std::string Version(int i) { return test::Pattern(3 * kBs + 100 * static_cast<uint64_t>(i), static_cast<uint32_t>(i)); }

// Uploads wait an hour after a close: only a flush, a rename or a start
// makes one due.
MountConfig HeldUploads() {
  MountConfig config = test::UploadDrive(kBs);
  config.cache.writebackDelayMs = 3600 * 1000;
  return config;
}

// Uploads a moment after a close, so that a rename right after it comes
// first; a close may find an upload running and leave the file to go up
// again after that moment.
MountConfig SoonUploads() {
  MountConfig config = test::UploadDrive(kBs);
  config.cache.writebackDelayMs = 300;
  return config;
}

// A server that writes at offsets or only whole files, and that replaces a
// file by a rename in one step or (as Apache's MOVE) by removing it first.
BackendCaps ServerCaps(bool randomWrite, bool atomicReplace) {
  BackendCaps caps = test::WritableCaps(randomWrite);
  caps.atomicReplace = atomicReplace;
  return caps;
}

void SetUpServer(test::MemoryServer& server, bool randomWrite, bool atomicReplace) {
  server.setCaps(ServerCaps(randomWrite, atomicReplace));
  server.setReplacesInSteps(!atomicReplace);
}

std::string Describe(const std::optional<std::string>& state) {
  if (!state) return "nothing";
  for (int i = 0; i < 100; ++i)
    if (*state == Version(i)) return "version " + std::to_string(i);
  return std::to_string(state->size()) + " bytes of no version";
}

// The temporary the editor writes, flushed (fsync) or not, and closed. A
// close puts an upload that has not begun yet back by the write-back delay:
// a flushed one is made due again after it.
void WriteTemporary(Volume& v, const std::string& content, bool flush) {
  std::shared_ptr<OpenFile> file;
  ASSERT_TRUE(v.create(kTemp, false, file).ok());
  ASSERT_TRUE(v.write(file, 0, content.data(), content.size()).ok());
  if (flush) {
    ASSERT_TRUE(v.flush(file).ok());
  }
  v.closeNow(file);
  if (flush) {
    ASSERT_TRUE(v.flush(file).ok());
  }
}

TEST(VolumeSaveTest, EverySaveTakesTheServersDocumentFromItsOldContentStraightToItsNewOne) {
  enum When { kNotYet, kRunning, kSent };  // where the temporary's upload is at the rename
  for (bool randomWrite : {false, true}) {
    for (bool atomicReplace : {false, true}) {
      for (When when : {kNotYet, kRunning, kSent}) {
        SCOPED_TRACE(std::string(randomWrite ? "in place" : "whole") + (atomicReplace ? ", atomic" : ", in steps") +
                     ", upload " + (when == kNotYet ? "not begun" : when == kRunning ? "running" : "done"));
        test::VolumeHarness h(SoonUploads());
        test::MemoryServer& server = *h.server;
        SetUpServer(server, randomWrite, atomicReplace);
        server.putFile(kDoc, Version(0));
        ASSERT_TRUE(h.volume->start(nullptr).ok());
        server.recordVersions(kDoc);
        server.recordVersions(kTemp);
        constexpr int kSaves = 4;
        for (int i = 1; i <= kSaves; ++i) {
          WriteTemporary(*h.volume, Version(i), when != kNotYet);
          if (when == kSent) {
            ASSERT_TRUE(h.serverHolds(kTemp, Version(i)));
          }
          ASSERT_TRUE(h.volume->rename(kTemp, kDoc, true).ok());
        }
        ASSERT_TRUE(h.volume->waitUploadsIdle(test::Gate::kDefaultWaitMs));
        std::string stored;
        EXPECT_TRUE(server.readFile(kDoc, &stored) && stored == Version(kSaves)) << Describe(stored);
        EXPECT_FALSE(server.exists(kTemp));
        std::vector<std::optional<std::string>> seen = server.versions(kDoc);
        std::string passed;
        for (const std::optional<std::string>& state : seen) passed += Describe(state) + "; ";
        for (const std::optional<std::string>& state : seen) {
          bool whole = false;
          for (int i = 0; i <= kSaves && state; ++i) whole = whole || *state == Version(i);
          EXPECT_TRUE(whole) << "the server's document passed through " << passed;
        }
        // The temporary's name on the server: made empty by the create,
        // maybe given its content, gone; never back after the rename.
        std::vector<std::optional<std::string>> temp = server.versions(kTemp);
        int gone = 0;
        for (const std::optional<std::string>& state : temp) gone += state ? 0 : 1;
        EXPECT_LE(gone, kSaves + 1);
        std::shared_ptr<OpenFile> file;
        ASSERT_TRUE(h.volume->open(kDoc, file).ok());
        EXPECT_EQ(h.readAll(file), Version(kSaves));
        h.volume->closeNow(file);
      }
    }
  }
}

// A save made while the drive is offline: the journal replays the
// temporary's create and the rename once the server is back, and the
// server's document still goes from its old content straight to the new
// one (a rename of the empty file the create made would empty it first).
TEST(VolumeSaveTest, AnOfflineSaveReachesTheServerWithoutEmptyingTheDocument) {
  for (bool atomicReplace : {false, true}) {
    SCOPED_TRACE(atomicReplace ? "atomic" : "in steps");
    test::VolumeHarness h(SoonUploads());
    test::MemoryServer& server = *h.server;
    SetUpServer(server, true, atomicReplace);
    server.putFile(kDoc, Version(0));
    ASSERT_TRUE(h.volume->start(nullptr).ok());
    std::vector<DirEntry> listing;
    ASSERT_TRUE(h.volume->readdir("/d", listing).ok());
    server.recordVersions(kDoc);
    h.volume->setOffline(true);
    WriteTemporary(*h.volume, Version(1), false);
    ASSERT_TRUE(h.volume->rename(kTemp, kDoc, true).ok());
    h.volume->setOffline(false);
    EXPECT_TRUE(h.serverHolds(kDoc, Version(1)));
    ASSERT_TRUE(h.volume->waitUploadsIdle(test::Gate::kDefaultWaitMs));
    EXPECT_FALSE(server.exists(kTemp));
    std::string passed;
    for (const std::optional<std::string>& state : server.versions(kDoc)) passed += Describe(state) + "; ";
    EXPECT_EQ(passed, "version 0; version 1; ");
  }
}

// Until its upload lands, the document the save put in place shows its own
// size and time, not the old copy's time that the server still gives in a
// listing (a build after a save would otherwise take the file for older
// than what was built from it).
TEST(VolumeSaveTest, ASavedDocumentShowsItsOwnTimeUntilItsUploadLands) {
  test::VolumeHarness h(HeldUploads());
  test::MemoryServer& server = *h.server;
  SetUpServer(server, true, true);
  server.setChangeTime(Timestamp::fromTimespec(1000000000, 0));
  server.putFile(kDoc, Version(0));
  server.setChangeTime(Timestamp());
  ASSERT_TRUE(h.volume->start(nullptr).ok());
  WriteTemporary(*h.volume, Version(1), false);
  RemoteAttr written;
  ASSERT_TRUE(h.volume->getattr(kTemp, written).ok());
  std::shared_ptr<test::Gate> upload = server.addGate(MemOp::kOpenWrite, kDoc);
  ASSERT_TRUE(h.volume->rename(kTemp, kDoc, true).ok());
  ASSERT_TRUE(upload->waitArrived());
  std::vector<DirEntry> listing;
  ASSERT_TRUE(h.volume->readdir("/d", listing).ok());
  ASSERT_EQ(listing.size(), 1u);
  EXPECT_EQ(listing[0].attr.size, Version(1).size());
  EXPECT_EQ(listing[0].attr.mtime.seconds, written.mtime.seconds);
  RemoteAttr shown;
  ASSERT_TRUE(h.volume->getattr(kDoc, shown).ok());
  EXPECT_EQ(shown.mtime.seconds, written.mtime.seconds);
  upload->release();
  ASSERT_TRUE(h.volume->waitUploadsIdle(test::Gate::kDefaultWaitMs));
  EXPECT_TRUE(h.serverHolds(kDoc, Version(1)));
}

// The upload of the temporary is stopped by the rename (or a deletion)
// while its last bytes are on their way: a server that has the whole body
// applies it even when the drive gives the request up, so the drive waits
// for its answer, and the name renamed away or deleted never comes back.
TEST(VolumeSaveTest, ATemporaryRenamedOrDeletedWhileItsLastBytesAreOnTheirWayNeverComesBack) {
  for (bool rename : {true, false}) {
    SCOPED_TRACE(rename ? "renamed" : "deleted");
    test::VolumeHarness h(HeldUploads());
    test::MemoryServer& server = *h.server;
    SetUpServer(server, false, false);
    server.putFile(kDoc, Version(0));
    FaultRule late;
    late.op = MemOp::kAbort;
    late.path = kTemp;
    late.times = 0;
    late.kind = FaultRule::Kind::kApplyLater;
    server.addFault(late);
    ASSERT_TRUE(h.volume->start(nullptr).ok());
    server.recordVersions(kDoc);
    // One piece: the one held is the last.
    std::shared_ptr<test::Gate> lastPiece = server.addGate(MemOp::kStreamWrite, kTemp);
    WriteTemporary(*h.volume, Version(1), true);
    ASSERT_TRUE(lastPiece->waitArrived());
    std::future<Status> done = std::async(std::launch::async, [&] {
      return rename ? h.volume->rename(kTemp, kDoc, true) : h.volume->unlink(kTemp, false);
    });
    // A rename waits for the upload it stopped; a deletion leaves it to
    // notice.
    Status result;
    if (rename) {
      EXPECT_TRUE(test::Eventually([&] { return h.volume->uploadStopRequested(kTemp); }));
    } else {
      result = done.get();
    }
    lastPiece->release();
    if (rename) result = done.get();
    EXPECT_TRUE(result.ok()) << result.toString();
    // The server gets round to what the drive gave up on.
    server.applyGivenUpUploads();
    ASSERT_TRUE(h.volume->waitUploadsIdle(test::Gate::kDefaultWaitMs));
    server.applyGivenUpUploads();
    EXPECT_FALSE(server.exists(kTemp)) << "the temporary came back";
    std::string stored;
    EXPECT_TRUE(server.readFile(kDoc, &stored) && stored == Version(rename ? 1 : 0)) << Describe(stored);
    for (const std::optional<std::string>& state : server.versions(kDoc))
      EXPECT_TRUE(state && (*state == Version(0) || *state == Version(1))) << Describe(state);
  }
}

// A kill at any step of the drive, while it renames the temporary over the
// document and while it uploads the document after: the server holds the
// old document or the new one, and after a restart the new one, or (when
// the rename had not returned) still the old one with the new content under
// the temporary's name. Kill points are the steps on the disk of the thread
// doing the work (the renaming thread, then the upload), each paired with
// the server as that thread left it; each server call of theirs is followed
// by such a step.
TEST(VolumeSaveCrashTest, AKillAtAnyStepLeavesTheOldOrTheNewDocumentAndTheRestartBringsTheNewOne) {
  const std::string before = Version(0), after = Version(1);
  for (bool randomWrite : {false, true}) {
    for (bool atomicReplace : {false, true}) {
      SCOPED_TRACE(std::string(randomWrite ? "in place" : "whole") + (atomicReplace ? ", atomic" : ", in steps"));
      struct Disk {
        std::unique_ptr<MemoryEnv> env;
        std::optional<std::string> doc, temp;
        bool renamed = false;  // the rename had returned
        bool powerLoss = false;
      };
      std::vector<Disk> disks;
      MemoryEnv env;
      auto server = std::make_shared<test::MemoryServer>();
      SetUpServer(*server, randomWrite, atomicReplace);
      server->putFile(kDoc, before);
      auto read = [&](const char* path) {
        std::string content;
        return server->readFile(path, &content) ? std::optional<std::string>(content) : std::nullopt;
      };
      std::atomic<bool> renamed{false};
      auto keep = [&] {
        const std::optional<std::string> doc = read(kDoc), temp = read(kTemp);
        disks.push_back({env.snapshot(MemoryEnv::Crash::kProcess), doc, temp, renamed.load(), false});
        disks.push_back({env.snapshot(MemoryEnv::Crash::kPowerLoss), doc, temp, renamed.load(), true});
      };
      {
        Volume v(HeldUploads(), "/cache", server->factory(), test::QuickTimings(), &env);
        ASSERT_TRUE(v.start(nullptr).ok());
        WriteTemporary(v, after, false);
        // The close leaves its map's commit to the reaper, which may still
        // be at it while the rename runs: a disk holds what of it was done.
        v.commitMaps();
        std::mutex mu;
        const std::thread::id renamer = std::this_thread::get_id();
        env.setHook([&](const MemoryEnv::StepInfo& step) {
          if (step.step != MemoryEnv::Step::kRead && (std::this_thread::get_id() == renamer || renamed.load())) {
            std::lock_guard<std::mutex> lock(mu);
            keep();
          }
          return Status();
        });
        ASSERT_TRUE(v.rename(kTemp, kDoc, true).ok());
        renamed = true;
        ASSERT_TRUE(v.waitUploadsIdle(test::Gate::kDefaultWaitMs));
        env.setHook(nullptr);
        keep();
        v.stop(0);
      }
      ASSERT_GT(disks.size(), 20u);
      std::set<std::string> outcomes;
      for (size_t k = 0; k < disks.size(); ++k) {
        Disk& disk = disks[k];
        SCOPED_TRACE("killed (" + std::string(disk.powerLoss ? "power loss" : "process") + ") before step " +
                     std::to_string(k / 2) + (disk.renamed ? ", after the rename returned" : ""));
        EXPECT_TRUE(disk.doc == before || disk.doc == after) << "the server's document: " << Describe(disk.doc);
        auto again = std::make_shared<test::MemoryServer>();
        SetUpServer(*again, randomWrite, atomicReplace);
        if (disk.doc) again->putFile(kDoc, *disk.doc);
        if (disk.temp) again->putFile(kTemp, *disk.temp);
        again->recordVersions(kDoc);
        Volume v(HeldUploads(), "/cache", again->factory(), test::QuickTimings(), disk.env.get());
        ASSERT_TRUE(v.start(nullptr).ok());
        ASSERT_TRUE(v.waitUploadsIdle(test::Gate::kDefaultWaitMs)) << "uploads never end";
        std::string stored, temp;
        const bool hasDoc = again->readFile(kDoc, &stored);
        const bool hasTemp = again->readFile(kTemp, &temp);
        for (const std::optional<std::string>& state : again->versions(kDoc))
          EXPECT_TRUE(state == before || state == after) << "after the restart: " << Describe(state);
        if (disk.renamed || (hasDoc && stored == after)) {
          EXPECT_TRUE(hasDoc && stored == after) << Describe(stored);
          EXPECT_FALSE(hasTemp) << "the temporary stays with " << Describe(temp);
          outcomes.insert("new");
        } else {
          // The rename never happened: the content is under the temporary's
          // name, unless a power loss took it before anything was durable.
          EXPECT_TRUE(hasDoc && stored == before) << Describe(stored);
          if (!disk.powerLoss) {
            EXPECT_TRUE(hasTemp && temp == after) << Describe(temp);
          }
          outcomes.insert("old");
        }
        v.stop(0);
      }
      EXPECT_EQ(outcomes.size(), 2u);
    }
  }
}

// The save of editors that keep a backup (the document renamed to the
// backup, the new document written, the backup deleted): the server keeps a
// whole copy, old or new, until the new one has arrived, across saves that
// follow each other at once and across a kill of the drive.
constexpr const char* kBackup = "/d/doc.txt~";

// What reaches the server first of the new document's upload, in place or
// whole.
MemOp FirstUploadStep(bool randomWrite) { return randomWrite ? MemOp::kWriteAt : MemOp::kOpenWrite; }

// The editor's steps up to the deletion of the backup.
void SaveKeepingABackup(Volume& v, const std::string& content) {
  ASSERT_TRUE(v.rename(kDoc, kBackup, true).ok());
  std::shared_ptr<OpenFile> file;
  ASSERT_TRUE(v.create(kDoc, false, file).ok());
  ASSERT_TRUE(v.write(file, 0, content.data(), content.size()).ok());
  ASSERT_TRUE(v.flush(file).ok());
  // The close does not put back the upload the fsync made due.
  v.closeNow(file);
  ASSERT_TRUE(v.flush(file).ok());
  ASSERT_TRUE(v.unlink(kBackup, false).ok());
}

std::optional<std::string> Held(test::MemoryServer& server, const char* path) {
  std::string content;
  return server.readFile(path, &content) ? std::optional<std::string>(content) : std::nullopt;
}

// Every state the server passed through held a whole version under the
// document's name or the backup's.
void ExpectAWholeCopyThroughout(test::MemoryServer& server) {
  for (const std::vector<std::optional<std::string>>& state : server.states()) {
    bool whole = false;
    for (const std::optional<std::string>& file : state) whole = whole || Describe(file).starts_with("version");
    EXPECT_TRUE(whole) << "the document held " << Describe(state[0]) << " and the backup " << Describe(state[1]);
  }
}

TEST(VolumeSaveTest, TheBackupLeavesTheServerOnlyOnceTheNewDocumentIsWholeThere) {
  for (bool randomWrite : {false, true}) {
    SCOPED_TRACE(randomWrite ? "in place" : "whole");
    test::VolumeHarness h(HeldUploads());
    test::MemoryServer& server = *h.server;
    server.setCaps(test::WritableCaps(randomWrite));
    server.putFile(kDoc, Version(0));
    ASSERT_TRUE(h.volume->start(nullptr).ok());
    server.recordStates({kDoc, kBackup});
    for (int i = 1; i <= 3; ++i) {
      SCOPED_TRACE("save " + std::to_string(i));
      std::shared_ptr<test::Gate> upload = server.addGate(FirstUploadStep(randomWrite), kDoc);
      SaveKeepingABackup(*h.volume, Version(i));
      ASSERT_TRUE(upload->waitArrived());
      // The deletion returned, the upload has not landed: the backup stays.
      EXPECT_EQ(Describe(Held(server, kBackup)), Describe(Version(i - 1)));
      // The drive shows the deletion all the same.
      RemoteAttr attr;
      EXPECT_EQ(h.volume->getattr(kBackup, attr).code, Status::kNotFound);
      std::vector<DirEntry> listing;
      ASSERT_TRUE(h.volume->readdir("/d", listing).ok());
      ASSERT_EQ(listing.size(), 1u);
      EXPECT_EQ(listing[0].name, "doc.txt");
      std::shared_ptr<test::Gate> removal = server.addGate(MemOp::kRemove, kBackup);
      upload->release();
      ASSERT_TRUE(removal->waitArrived());
      EXPECT_EQ(Describe(Held(server, kDoc)), Describe(Version(i)));
      removal->release();
      ASSERT_TRUE(h.volume->waitUploadsIdle(test::Gate::kDefaultWaitMs));
      EXPECT_FALSE(server.exists(kBackup));
      EXPECT_EQ(Describe(Held(server, kDoc)), Describe(Version(i)));
    }
    ExpectAWholeCopyThroughout(server);
  }
}

// The next save's rename of the document to the backup comes while the
// deletion of the last backup still waits: it goes after that deletion,
// which goes after the upload, never over the backup the server still
// needs.
TEST(VolumeSaveTest, ASaveRightAfterTheLastOneWaitsForItsDeletion) {
  test::VolumeHarness h(HeldUploads());
  test::MemoryServer& server = *h.server;
  server.setCaps(test::WritableCaps(false));
  server.putFile(kDoc, Version(0));
  ASSERT_TRUE(h.volume->start(nullptr).ok());
  server.recordStates({kDoc, kBackup});
  std::shared_ptr<test::Gate> upload = server.addGate(MemOp::kOpenWrite, kDoc);
  SaveKeepingABackup(*h.volume, Version(1));
  ASSERT_TRUE(upload->waitArrived());
  std::future<void> next = std::async(std::launch::async, [&] { SaveKeepingABackup(*h.volume, Version(2)); });
  upload->release();
  next.get();
  ASSERT_TRUE(h.volume->waitUploadsIdle(test::Gate::kDefaultWaitMs));
  EXPECT_EQ(Describe(Held(server, kDoc)), Describe(Version(2)));
  EXPECT_FALSE(server.exists(kBackup));
  ExpectAWholeCopyThroughout(server);
}

// Killed right after the deletion returned, before the upload: the server
// keeps the backup, and the restart sends the new document, then deletes
// the backup.
TEST(VolumeSaveCrashTest, AKillRightAfterTheDeletionLeavesTheBackupUntilTheNewDocumentIsUp) {
  MemoryEnv env;
  auto server = std::make_shared<test::MemoryServer>();
  server->setCaps(test::WritableCaps(false));
  server->putFile(kDoc, Version(0));
  std::unique_ptr<MemoryEnv> disk;
  std::optional<std::string> doc, backup;
  {
    Volume v(HeldUploads(), "/cache", server->factory(), test::QuickTimings(), &env);
    ASSERT_TRUE(v.start(nullptr).ok());
    std::shared_ptr<test::Gate> upload = server->addGate(MemOp::kOpenWrite, kDoc);
    SaveKeepingABackup(v, Version(1));
    ASSERT_TRUE(upload->waitArrived());
    disk = env.snapshot(MemoryEnv::Crash::kProcess);
    doc = Held(*server, kDoc);
    backup = Held(*server, kBackup);
    upload->release();
    v.stop(0);
  }
  EXPECT_EQ(Describe(backup), Describe(Version(0)));
  auto again = std::make_shared<test::MemoryServer>();
  again->setCaps(test::WritableCaps(false));
  if (doc) again->putFile(kDoc, *doc);
  if (backup) again->putFile(kBackup, *backup);
  std::shared_ptr<test::Gate> removal = again->addGate(MemOp::kRemove, kBackup);
  Volume v(HeldUploads(), "/cache", again->factory(), test::QuickTimings(), disk.get());
  ASSERT_TRUE(v.start(nullptr).ok());
  ASSERT_TRUE(removal->waitArrived());
  EXPECT_EQ(Describe(Held(*again, kDoc)), Describe(Version(1)));
  removal->release();
  ASSERT_TRUE(v.waitUploadsIdle(test::Gate::kDefaultWaitMs));
  EXPECT_FALSE(again->exists(kBackup));
  v.stop(0);
}

}  // namespace
}  // namespace tarn
