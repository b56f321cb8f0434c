#include <gtest/gtest.h>

#include <algorithm>

#include <sstream>
#include <string>
#include <thread>

#include "engine/volume.h"
#include "testing/eventually.h"
#include "testing/log_capture.h"
#include "testing/test_clock.h"
#include "testing/volume_harness.h"

namespace tarn {
namespace {

using test::FaultRule;
using test::MemOp;

constexpr uint64_t kBs = 4096;

class Drive {
 public:
  explicit Drive(bool randomWrite, MountConfig config = test::UploadDrive(kBs)) : h(std::move(config)) {
    h.server->setCaps(test::WritableCaps(randomWrite));
    if (!h.volume->start(nullptr).ok()) std::abort();
  }
  std::shared_ptr<OpenFile> open(const std::string& path) {
    std::shared_ptr<OpenFile> file = h.openFile(path);
    EXPECT_NE(file, nullptr) << path;
    return file;
  }
  test::VolumeHarness h;
};

// The parameter: the server writes at an offset (uploads in place) or not
// (whole uploads).
class VolumeWriteTest : public ::testing::TestWithParam<bool> {
 protected:
  test::LogCapture log_;
  Drive d_{GetParam()};
};

INSTANTIATE_TEST_SUITE_P(InPlaceAndWhole, VolumeWriteTest, ::testing::Values(true, false));

TEST_P(VolumeWriteTest, WritesFetchOnlyTheServersEdgesReadBackAndGoUp) {
  struct Case {
    uint64_t offset;
    uint64_t length;
    int fetches;
  } cases[] = {
      {5, 10, 1},             // inside block 0
      {kBs - 1, 2, 2},        // the ends of blocks 0 and 1
      {2 * kBs, kBs, 0},      // one whole block
      {0, 10, 1},             // from a boundary into block 0: its rest stays the server's
      {4 * kBs + 10, 20, 0},  // past the server's copy
  };
  const std::string original = test::Pattern(3 * kBs + 100);
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    const std::string path = "/w" + std::to_string(i);
    d_.h.server->putFile(path, original);
    std::shared_ptr<OpenFile> file = d_.open(path);
    const std::string data = test::Pattern(c.length, static_cast<uint32_t>(i + 7));
    ASSERT_TRUE(d_.h.volume->write(file, c.offset, data.data(), data.size()).ok());
    EXPECT_EQ(d_.h.server->countCalls(MemOp::kReadRange, path), c.fetches) << path;
    std::string expected = original;
    if (c.offset + c.length > expected.size()) expected.resize(c.offset + c.length, '\0');
    expected.replace(c.offset, c.length, data);
    EXPECT_TRUE(d_.h.readAll(file) == expected) << path;
    d_.h.volume->closeNow(file);
    EXPECT_TRUE(d_.h.serverHolds(path, expected)) << path;
  }
  EXPECT_EQ(d_.h.server->countCalls(GetParam() ? MemOp::kOpenWrite : MemOp::kWriteAt), 0);
}

TEST_P(VolumeWriteTest, SizeChangesAloneReachTheServer) {
  struct Case {
    const char* path;
    uint64_t serverSize;
    uint64_t newSize;
    int fetches;
  } cases[] = {
      {"/cut-inside", 3 * kBs + kBs / 2, 2 * kBs + kBs / 2, 1},  // block 2 must hold the server's bytes first
      {"/cut-on-boundary", 3 * kBs + kBs / 2, 2 * kBs, 0},       // its last block is dirty but absent
      {"/cut-to-nothing", 3 * kBs, 0, 0},                        // no block is left to be dirty
      {"/grow", kBs + 10, 3 * kBs, 0},
  };
  for (const Case& c : cases) {
    d_.h.server->putFile(c.path, test::Pattern(c.serverSize));
    std::shared_ptr<OpenFile> file = d_.open(c.path);
    ASSERT_TRUE(d_.h.volume->setSize(file, c.newSize).ok()) << c.path;
    EXPECT_EQ(d_.h.server->countCalls(MemOp::kReadRange, c.path), c.fetches) << c.path;
    RemoteAttr attr;
    ASSERT_TRUE(d_.h.volume->getattr(c.path, attr).ok());
    EXPECT_EQ(attr.size, c.newSize) << c.path;
    d_.h.volume->closeNow(file);
    std::string expected = test::Pattern(c.serverSize);
    expected.resize(c.newSize, '\0');
    EXPECT_TRUE(d_.h.serverHolds(c.path, expected)) << c.path;
    EXPECT_TRUE(d_.h.readAll(file) == expected) << c.path;
  }
}

// A file cut to nothing while its content goes up has no dirty block left;
// the upload that ends must still leave it to be sent again.
TEST_P(VolumeWriteTest, TruncationToNothingDuringAnUploadIsSentAfterIt) {
  auto gate = d_.h.server->addGate(GetParam() ? MemOp::kWriteAt : MemOp::kStreamWrite, "/t");
  ASSERT_TRUE(d_.h.writeFile("/t", test::Pattern(2 * kBs)));
  ASSERT_TRUE(gate->waitArrived());
  std::shared_ptr<OpenFile> file = d_.open("/t");
  ASSERT_TRUE(d_.h.volume->setSize(file, 0).ok());
  d_.h.volume->closeNow(file);
  gate->release();
  EXPECT_TRUE(d_.h.serverHolds("/t", ""));
  EXPECT_TRUE(d_.h.volume->waitUploadsIdle(test::Gate::kDefaultWaitMs));
  std::string content = "<none>";
  EXPECT_TRUE(d_.h.server->readFile("/t", &content) && content.empty()) << content.size();
}

// Writes of an open file wait for its close, so the status counts them as
// data the server lacks: once per file, not once the file is deleted, and
// no more once a flush or close hands them to an upload.
TEST_P(VolumeWriteTest, ChangesOfOpenFilesCountUntilAnUploadHoldsThem) {
  Volume& v = *d_.h.volume;
  auto open = [&] {
    VolumeStatus s;
    v.status(s);
    return std::make_pair(s.openChangedFiles, s.openChangedBytes);
  };
  d_.h.server->putFile("/kept", "server's");
  d_.h.server->putFile("/cut", "0123456789");
  d_.h.server->putFile("/gone", "x");
  std::shared_ptr<OpenFile> read = d_.open("/kept");
  (void)d_.h.readAll(read);
  EXPECT_EQ(open(), std::make_pair(0u, uint64_t{0}));  // read only

  std::shared_ptr<OpenFile> a1 = d_.open("/kept");
  std::shared_ptr<OpenFile> a2 = d_.open("/kept");
  ASSERT_TRUE(v.write(a1, 0, "new", 3).ok());
  ASSERT_TRUE(v.write(a2, 8, "!!", 2).ok());
  std::shared_ptr<OpenFile> cut = d_.open("/cut");
  ASSERT_TRUE(v.setSize(cut, 4).ok());
  std::shared_ptr<OpenFile> gone = d_.open("/gone");
  ASSERT_TRUE(v.write(gone, 0, "yz", 2).ok());
  EXPECT_EQ(open(), std::make_pair(3u, uint64_t{10 + 4 + 2}));
  ASSERT_TRUE(v.unlink("/gone", false).ok());
  EXPECT_EQ(open(), std::make_pair(2u, uint64_t{10 + 4}));

  ASSERT_TRUE(v.flush(cut).ok());
  EXPECT_EQ(open(), std::make_pair(1u, uint64_t{10}));
  v.closeNow(a1);  // the other handle of the file still holds the change
  EXPECT_TRUE(d_.h.serverHolds("/kept", "newver's!!"));
  EXPECT_TRUE(d_.h.serverHolds("/cut", "0123"));
  EXPECT_TRUE(v.waitUploadsIdle(test::Gate::kDefaultWaitMs));
  EXPECT_EQ(open(), std::make_pair(0u, uint64_t{0}));
  ASSERT_TRUE(v.write(a2, 0, "N", 1).ok());
  EXPECT_EQ(open(), std::make_pair(1u, uint64_t{10}));
  v.closeNow(a2);
  v.closeNow(cut);
  EXPECT_EQ(open(), std::make_pair(0u, uint64_t{0}));
  EXPECT_TRUE(d_.h.serverHolds("/kept", "Newver's!!"));
}

// rsync's order: write a temporary, close, set its time, rename it. The time
// waits with the file's changes, whatever the drive learns of the name
// meanwhile, and a restart of the drive, until the upload sets it after the
// content.
TEST(VolumeTimesTest, TimesSetOnAFileWithChangesReachTheServerAfterItsContent) {
  const Timestamp set{1600000000, 123456700};
  for (bool randomWrite : {true, false}) {
    for (bool restart : {false, true}) {
      SCOPED_TRACE(std::string(randomWrite ? "in place" : "whole") + (restart ? ", restarted" : ""));
      test::ScopedTestClock clock;
      MountConfig config = test::UploadDrive(kBs);
      config.cache.writebackDelayMs = 3600 * 1000;  // nothing goes up by itself
      Drive d(randomWrite, config);
      Volume& v = *d.h.volume;
      ASSERT_TRUE(d.h.writeFile("/.f.tmp", test::Pattern(3 * kBs)));
      ASSERT_TRUE(v.setTimes("/.f.tmp", set, set).ok());
      RemoteAttr attr;
      ASSERT_TRUE(v.getattr("/.f.tmp", attr).ok());
      EXPECT_EQ(attr.mtime, set);
      // What the drive knew of the name expires; the rename's look at the
      // folder brings the server's view of it, with the server's time.
      clock.advance(config.cache.metaTtlMs);
      if (restart) {
        v.stop(0);
        ASSERT_TRUE(v.start(nullptr).ok());  // resumes the upload at once
      } else {
        ASSERT_TRUE(v.rename("/.f.tmp", "/f", true).ok());  // makes the upload due at once
      }
      const std::string path = restart ? "/.f.tmp" : "/f";
      ASSERT_TRUE(d.h.serverHolds(path, test::Pattern(3 * kBs)));
      ASSERT_TRUE(v.waitUploadsIdle(test::Gate::kDefaultWaitMs));
      ASSERT_TRUE(d.h.server->statPath(path, &attr));
      EXPECT_EQ(attr.mtime, set);
      ASSERT_TRUE(v.getattr(path, attr).ok());
      EXPECT_EQ(attr.mtime, set);
    }
  }
}

// Between its attempts a file's upload is one line of the transfer list:
// the waiting retry, with the last failure, not that failure beside it.
TEST_P(VolumeWriteTest, AnUploadThatWaitsToBeTriedAgainIsListedOnce) {
  const MemOp send = GetParam() ? MemOp::kWriteAt : MemOp::kStreamWrite;
  d_.h.server->putFile("/r", "old");
  d_.h.server->addFault({send, "/r", 1, 1000, FaultRule::Kind::kFail, Status(Status::kIo, "injected")});
  std::shared_ptr<OpenFile> file = d_.open("/r");
  const std::string data = test::Pattern(kBs);
  ASSERT_TRUE(d_.h.volume->write(file, 0, data.data(), data.size()).ok());
  d_.h.volume->closeNow(file);
  auto listed = [&] {
    std::vector<TransferInfo> lines;
    for (const TransferInfo& t : d_.h.volume->transfers())
      if (t.path == "/r") lines.push_back(t);
    return lines;
  };
  ASSERT_TRUE(test::Eventually([&] {
    const std::vector<TransferInfo> lines = listed();
    return std::any_of(lines.begin(), lines.end(), [](const TransferInfo& t) { return t.state == "retry"; });
  }));
  const std::vector<TransferInfo> lines = listed();
  std::string states;
  for (const TransferInfo& t : lines) states += t.state + " ";
  ASSERT_EQ(lines.size(), 1u) << states;
  EXPECT_EQ(lines[0].state, "retry");
  EXPECT_NE(lines[0].error.find("injected"), std::string::npos) << lines[0].error;
  d_.h.server->clearFaults();
}

TEST_P(VolumeWriteTest, FailedUploadsAreRetriedUntilTheServerHoldsTheContent) {
  const MemOp send = GetParam() ? MemOp::kWriteAt : MemOp::kStreamWrite;
  struct Case {
    const char* path;
    Status fault;
    int times;
  } cases[] = {
      {"/net", Status(Status::kNetwork, "injected"), 5},  // retried inside the call
      {"/io", Status(Status::kIo, "injected"), 2},        // ends the attempt; the entry waits its turn
  };
  for (const Case& c : cases) {
    d_.h.server->putFile(c.path, "old");
    d_.h.server->addFault({send, c.path, 1, c.times, FaultRule::Kind::kFail, c.fault});
    std::shared_ptr<OpenFile> file = d_.open(c.path);
    const std::string data = test::Pattern(2 * kBs);
    ASSERT_TRUE(d_.h.volume->write(file, 0, data.data(), data.size()).ok());
    d_.h.volume->closeNow(file);
    EXPECT_TRUE(d_.h.serverHolds(c.path, data)) << c.path;
  }
  EXPECT_GE(log_.countLines("drive: upload of /io failed: io: injected"), 2);
  EXPECT_EQ(log_.countLines("drive: upload of /net failed"), 0);
  // The log's reader learns what failed, not the cache's inner state.
  std::istringstream lines(log_.text());
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find("[WARN ] drive: upload of /io failed") != std::string::npos) {
      EXPECT_TRUE(line.ends_with("upload of /io failed: io: injected")) << line;
    }
  }
  EXPECT_TRUE(d_.h.volume->waitUploadsIdle(test::Gate::kDefaultWaitMs));
}

// A file the server keeps refusing with the same answer shows in the
// drive's status and the transfers list with that answer for as long as it
// lasts; a network that comes and goes makes no file stuck.
TEST_P(VolumeWriteTest, UploadsTheServerKeepsRefusingShowUntilTheyGoUp) {
  const MemOp send = GetParam() ? MemOp::kWriteAt : MemOp::kStreamWrite;
  const Status refusal(Status::kProtocol, "PUT /refused -> HTTP 500", 500);
  const std::string data = test::Pattern(2 * kBs);
  d_.h.server->addFault({send, "/refused", 1, 0, FaultRule::Kind::kFail, refusal});
  // More failures than one call retries: the network fails attempts too.
  d_.h.server->addFault({send, "/net", 1, 12, FaultRule::Kind::kFail, Status(Status::kNetwork, "injected")});
  for (const char* path : {"/refused", "/net"}) {
    d_.h.server->putFile(path, "old");
    std::shared_ptr<OpenFile> file = d_.open(path);
    ASSERT_TRUE(d_.h.volume->write(file, 0, data.data(), data.size()).ok());
    d_.h.volume->closeNow(file);
  }
  const std::string shown = "the upload of /refused keeps failing: protocol: PUT /refused -> HTTP 500";
  auto status = [&] {
    VolumeStatus s;
    d_.h.volume->status(s);
    return s;
  };
  ASSERT_TRUE(test::Eventually([&] { return status().lastError == shown; })) << status().lastError;
  EXPECT_EQ(status().failingUploads, 1u);
  bool listed = false;
  for (const TransferInfo& t : d_.h.volume->transfers())
    listed |= t.path == "/refused" && t.upload && t.error == refusal.toString();
  EXPECT_TRUE(listed);
  EXPECT_TRUE(d_.h.serverHolds("/net", data));

  d_.h.server->clearFaults();
  EXPECT_TRUE(d_.h.serverHolds("/refused", data));
  EXPECT_TRUE(test::Eventually([&] { return status().failingUploads == 0; }));
  EXPECT_NE(status().lastError, shown);
  EXPECT_EQ(log_.countLines("drive: the upload of /refused keeps failing"), 1);
  EXPECT_EQ(log_.countLines("drive: the upload of /net keeps failing"), 0);
}

TEST_P(VolumeWriteTest, UserStopDropsTheChangesAndKeepsTheServersCopy) {
  d_.h.server->putFile("/clean", "same");
  EXPECT_EQ(d_.h.volume->stopUpload("/clean").toString(), "not-found: no upload of /clean");

  d_.h.server->putFile("/s", test::Pattern(kBs));
  auto gate = d_.h.server->addGate(GetParam() ? MemOp::kWriteAt : MemOp::kOpenWrite, "/s");
  std::shared_ptr<OpenFile> file = d_.open("/s");
  const std::string data(kBs, 'n');
  ASSERT_TRUE(d_.h.volume->write(file, 0, data.data(), data.size()).ok());
  d_.h.volume->closeNow(file);
  ASSERT_TRUE(gate->waitArrived());
  Status stopped;
  std::thread user([&] { stopped = d_.h.volume->stopUpload("/s"); });
  ASSERT_TRUE(test::Eventually([&] { return d_.h.volume->uploadStopRequested("/s"); }));
  gate->release();
  user.join();
  EXPECT_TRUE(stopped.ok());
  EXPECT_TRUE(d_.h.volume->waitUploadsIdle(test::Gate::kDefaultWaitMs));
  // A piece already in flight may have landed; the drive shows what the
  // server holds, and a whole upload never replaced it.
  std::string server;
  ASSERT_TRUE(d_.h.server->readFile("/s", &server));
  if (!GetParam()) {
    EXPECT_TRUE(server == test::Pattern(kBs));
  }
  std::shared_ptr<OpenFile> again = d_.open("/s");
  EXPECT_TRUE(d_.h.readAll(again) == server);
  EXPECT_EQ(log_.countLines("drive: upload of /s stopped by the user; the server's copy stays"), 1);
  bool recorded = false;
  for (const TransferInfo& t : d_.h.volume->transfers()) recorded |= t.path == "/s" && t.error == "stopped";
  EXPECT_TRUE(recorded);
}

TEST(VolumeInPlaceUploadTest, PiecesOfOneFileGoUpSideBySide) {
  MountConfig config = test::UploadDrive(kBs);
  config.transfer.chunkBytes = 3 * kBs;  // three pieces of a block, one per spare connection
  Drive d(true, config);
  const std::string original = test::Pattern(7 * kBs);
  d.h.server->putFile("/big", original);
  auto held = d.h.server->addGate(MemOp::kWriteAt, "/big");
  std::shared_ptr<OpenFile> file = d.open("/big");
  const std::string data = test::Pattern(7 * kBs, 9);
  ASSERT_TRUE(d.h.volume->write(file, 0, data.data(), data.size()).ok());
  d.h.volume->closeNow(file);
  ASSERT_TRUE(held->waitArrived());
  // The other lanes go on with every other piece while the first is held.
  EXPECT_TRUE(test::Eventually([&] { return d.h.server->countCalls(MemOp::kWriteAt, "/big") == 7; }));
  // Only the held piece's block still holds the old bytes.
  std::string meanwhile;
  ASSERT_TRUE(d.h.server->readFile("/big", &meanwhile));
  int old = 0;
  for (uint64_t b = 0; b < 7; ++b) old += meanwhile.substr(b * kBs, kBs) == original.substr(b * kBs, kBs) ? 1 : 0;
  EXPECT_EQ(old, 1);
  held->release();
  EXPECT_TRUE(d.h.serverHolds("/big", data));
  EXPECT_EQ(d.h.server->countCalls(MemOp::kWriteAt, "/big"), 7);
}

TEST(VolumeInPlaceUploadTest, OneQuestionAfterTheContentChecksTheUpload) {
  struct Case {
    const char* what;
    std::string server;
    int stats;
    int setTimes;
  } cases[] = {
      {"the size is right", "", 1, 1},
      // A truncation moves the time again, and the size is asked once more.
      {"the server's copy is longer", std::string(3 * kBs, 'x'), 2, 2},
  };
  for (const Case& c : cases) {
    Drive d(true);
    d.h.server->putFile("/f", c.server);
    std::shared_ptr<OpenFile> file = d.open("/f");
    ASSERT_TRUE(d.h.volume->setSize(file, 0).ok());
    const std::string data = test::Pattern(kBs + 10);
    ASSERT_TRUE(d.h.volume->write(file, 0, data.data(), data.size()).ok());
    d.h.server->clearCalls();
    d.h.volume->closeNow(file);
    ASSERT_TRUE(d.h.volume->waitUploadsIdle(test::Gate::kDefaultWaitMs)) << c.what;
    EXPECT_TRUE(d.h.serverHolds("/f", data)) << c.what;
    EXPECT_EQ(d.h.server->countCalls(MemOp::kStat, "/f"), c.stats) << c.what;
    EXPECT_EQ(d.h.server->countCalls(MemOp::kSetTimes, "/f"), c.setTimes) << c.what;
  }
}

TEST(VolumeUploadCheckTest, TheServersSizeDecidesWhetherAnUploadIsDone) {
  struct Case {
    bool verify;
    bool statFails;  // the look at the server after the upload fails once
  } cases[] = {{true, false}, {false, false}, {false, true}};
  test::LogCapture log;
  for (const Case& c : cases) {
    MountConfig config = test::UploadDrive(kBs);
    config.transfer.verifyAfterUpload = c.verify;
    Drive d(false, config);
    d.h.server->putFile("/v", "old");
    std::shared_ptr<OpenFile> file = d.open("/v");
    // The server takes the upload but keeps only its first ten bytes, once.
    d.h.server->addFault({MemOp::kFinish, "/v", 1, 1, FaultRule::Kind::kKeepShort, Status(), 10});
    if (c.statFails)
      d.h.server->addFault({MemOp::kStat, "/v", 1, 1, FaultRule::Kind::kFail, Status(Status::kIo, "injected")});
    const std::string data = test::Pattern(kBs + 5);
    ASSERT_TRUE(d.h.volume->write(file, 0, data.data(), data.size()).ok());
    d.h.volume->closeNow(file);
    EXPECT_TRUE(d.h.serverHolds("/v", data)) << c.verify << c.statFails;
  }
  EXPECT_EQ(log.countLines("drive: upload of /v failed: conflict: server size 10 != local 4101"), 2);
}

}  // namespace
}  // namespace tarn
