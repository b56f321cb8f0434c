#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "engine/volume.h"
#include "testing/log_capture.h"
#include "testing/test_clock.h"
#include "testing/volume_harness.h"

namespace tarn {
namespace {

using test::MemOp;

constexpr uint64_t kBs = 4096;

// A started drive without readahead, on a server whose versions are told
// apart by whole-second times alone, as SFTP's are.
struct TimesOnlyDrive {
  TimesOnlyDrive() : h(test::UploadDrive(kBs), test::QuickTimings()) {
    h.server->setEntityTags(false);
    if (!h.volume->start(nullptr).ok()) std::abort();
  }
  // Every change from now on lands in the same second.
  void changesAt(int64_t secondsFromNow) {
    h.server->setChangeTime(Timestamp{Timestamp::now().seconds + secondsFromNow, 0});
  }
  std::string readWhole(const std::string& path) {
    std::shared_ptr<OpenFile> file = h.openFile(path);
    if (!file) return "<cannot open>";
    std::string out = h.readAll(file);
    h.volume->closeNow(file);
    return out;
  }
  test::VolumeHarness h;
};

// Another client rewrites part of a file, keeping its size, within the
// second the drive read it in: the drive shows the change once its metadata
// lifetime has passed, and after a restart at once. A file read when its
// time was a second past is not read again for an unchanged look.
TEST(VolumeCopiesTest, ASameSizeChangeWithinTheSecondShowsAfterTheMetadataLifetime) {
  test::ScopedTestClock clock;
  TimesOnlyDrive d;
  const std::string v1 = test::Pattern(3 * kBs, 1), v2 = test::Pattern(3 * kBs, 2), v3 = test::Pattern(3 * kBs, 3);
  d.changesAt(3600);  // the drive reads within the second of every change
  d.h.server->putFile("/f", v1);
  ASSERT_EQ(d.readWhole("/f"), v1);
  d.h.server->putFile("/f", v2);
  clock.advance(d.h.config.cache.metaTtlMs);
  EXPECT_TRUE(d.readWhole("/f") == v2);
  d.h.server->putFile("/f", v3);
  clock.advance(d.h.config.cache.metaTtlMs);
  EXPECT_TRUE(d.readWhole("/f") == v3);

  d.h.server->putFile("/f", v1);
  d.h.volume->stop(0);
  ASSERT_TRUE(d.h.volume->start(nullptr).ok());
  EXPECT_TRUE(d.readWhole("/f") == v1) << "after a restart";

  d.changesAt(-3600);
  d.h.server->putFile("/old", v1);
  ASSERT_EQ(d.readWhole("/old"), v1);
  const int reads = d.h.server->countCalls(MemOp::kReadRange, "/old");
  clock.advance(d.h.config.cache.metaTtlMs);
  EXPECT_EQ(d.readWhole("/old"), v1);
  EXPECT_EQ(d.h.server->countCalls(MemOp::kReadRange, "/old"), reads);
}

// Another client renames a small file over one a reader has read part of:
// the reader reads on from the copy it began with while the server keeps it
// reachable, and fails with an I/O error once it does not; never an early
// end of the file, never zeros. A file opened afterwards is the new one.
TEST(VolumeCopiesTest, AFileReplacedWhileReadGivesItsOldCopyOrAnError) {
  test::LogCapture log;
  for (bool reachable : {true, false}) {
    SCOPED_TRACE(reachable ? "old copy reachable" : "old copy gone");
    // Nothing is fetched ahead, so the rest of the file is not in the cache
    // yet; every open asks the server.
    MountConfig config = test::UploadDrive(kBs);
    config.cache.metaTtlMs = 0;
    test::VolumeHarness h(config, test::QuickTimings());
    h.server->setKeepsReplacedFiles(reachable);
    ASSERT_TRUE(h.volume->start(nullptr).ok());
    const std::string old = test::Pattern(64 * kBs, 1);
    h.server->putFile("/big", old);
    h.server->putFile("/other", std::string(1000, 'n'));
    std::shared_ptr<OpenFile> file = h.openFile("/big");
    ASSERT_TRUE(file);
    std::string seen = h.read(file, 0, 4 * kBs);
    ASSERT_TRUE(seen == old.substr(0, 4 * kBs));
    std::unique_ptr<test::MemoryBackend> other = h.server->connection();
    ASSERT_TRUE(other->connect().ok());
    ASSERT_TRUE(other->rename("/other", "/big", true).ok());

    Status st;
    for (std::string piece; seen.size() < old.size(); seen += piece) {
      piece = h.read(file, seen.size(), 4 * kBs, &st);
      if (!st.ok() || piece.empty()) break;
    }
    ASSERT_TRUE(seen == old.substr(0, seen.size())) << "bytes the file never had at " << seen.size();
    if (reachable) {
      EXPECT_TRUE(st.ok()) << st.toString();
      EXPECT_EQ(seen.size(), old.size());
    } else {
      EXPECT_EQ(st.toString(), "io: read: /big was replaced on the server while open");
    }
    h.volume->closeNow(file);
    EXPECT_TRUE(h.readAll(h.openFile("/big")) == std::string(1000, 'n'));
  }
  EXPECT_EQ(log.countLines("drive: /big was replaced on the server while open; its reader gets an I/O error"), 1);
}

// The same for a reader served by one stream, when the stream breaks after
// the file was replaced and the one that follows answers with the new copy:
// on a drive with no connection to spare for a look at the server too,
// and whether or not the stream's answer names the copy it came from.
TEST(VolumeCopiesTest, AFileReplacedWhileStreamedGivesItsOldCopyOrAnError) {
  struct Case {
    bool reachable;
    bool namesCopy;
    int32_t connections;
    uint64_t newSize;
  } cases[] = {
      {true, true, 1, 64 * kBs},  {false, true, 1, 64 * kBs}, {true, false, 1, 1000},
      {false, false, 1, 64 * kBs}, {true, true, 2, 64 * kBs}, {false, true, 2, 1000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.reachable ? "old copy reachable" : "old copy gone")
                                    << (c.namesCopy ? ", named" : ", unnamed") << ", " << c.connections
                                    << " connections, new size " << c.newSize);
    MountConfig config = test::UploadDrive(kBs);
    config.net.connections = c.connections;
    config.net.keepaliveSec = 0;  // the stream may have the only connection
    config.cache.wholeFileBelow = kBs;
    config.cache.metaTtlMs = 0;
    test::VolumeHarness h(config, test::QuickTimings());
    BackendCaps caps;
    caps.streamSequential = true;
    h.server->setCaps(caps);
    h.server->setKeepsReplacedFiles(c.reachable);
    h.server->setReadsNameTheCopy(c.namesCopy);
    ASSERT_TRUE(h.volume->start(nullptr).ok());
    const std::string old = test::Pattern(64 * kBs, 1);
    h.server->putFile("/big", old);
    h.server->putFile("/other", test::Pattern(c.newSize, 2));
    std::shared_ptr<OpenFile> file = h.openFile("/big");
    ASSERT_TRUE(file);
    std::string seen;
    while (seen.size() < 4 * kBs) seen += h.read(file, seen.size(), kBs);
    ASSERT_TRUE(seen == old.substr(0, seen.size()));
    const int opened = h.server->countCalls(MemOp::kOpenRead, "/big");
    ASSERT_GE(opened, 1);
    std::unique_ptr<test::MemoryBackend> other = h.server->connection();
    ASSERT_TRUE(other->connect().ok());
    ASSERT_TRUE(other->rename("/other", "/big", true).ok());
    test::FaultRule cut;
    cut.op = MemOp::kStreamRead;
    cut.status = Status(Status::kNetwork, "cut");
    h.server->addFault(cut);

    Status st;
    for (std::string piece; seen.size() < old.size(); seen += piece) {
      piece = h.read(file, seen.size(), 4 * kBs, &st);
      if (!st.ok() || piece.empty()) break;
    }
    EXPECT_GT(h.server->countCalls(MemOp::kOpenRead, "/big"), opened) << "the stream was opened again";
    ASSERT_TRUE(seen == old.substr(0, seen.size())) << "bytes the file never had at " << seen.size();
    if (c.reachable) {
      EXPECT_TRUE(st.ok()) << st.toString();
      EXPECT_EQ(seen.size(), old.size());
    } else {
      EXPECT_EQ(st.toString(), "io: read: /big was replaced on the server while open");
    }
    h.volume->closeNow(file);
    EXPECT_TRUE(h.readAll(h.openFile("/big")) == test::Pattern(c.newSize, 2));
  }
}

}  // namespace
}  // namespace tarn
