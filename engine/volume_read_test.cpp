#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

#include "engine/volume.h"
#include "testing/log_capture.h"
#include "testing/test_clock.h"
#include "testing/volume_harness.h"

namespace tarn {
namespace {

using test::FaultRule;
using test::MemOp;

constexpr uint64_t kBs = 4096;

MountConfig NoReadahead(int32_t connections = 4) {
  MountConfig config = test::MemoryDrive(kBs, connections);
  config.cache.readaheadBlocks = 0;
  config.cache.readaheadMaxBlocks = 0;
  return config;
}

class VolumeReadTest : public ::testing::Test {
 protected:
  void start(MountConfig config, const std::string& content = test::Pattern(10 * kBs)) {
    h_ = std::make_unique<test::VolumeHarness>(std::move(config));
    content_ = content;
    h_->server->putFile("/f", content_);
    ASSERT_TRUE(h_->volume->start(nullptr).ok());
    file_ = h_->open("/f");
    ASSERT_NE(file_, nullptr);
  }

  std::string read(uint64_t offset, uint64_t length, Status* st = nullptr) {
    return h_->read(file_, offset, length, st);
  }

  test::LogCapture log_;
  std::unique_ptr<test::VolumeHarness> h_;
  std::shared_ptr<OpenFile> file_;
  std::string content_;
};

TEST_F(VolumeReadTest, ReadsFetchOnlyTheMissingRuns) {
  start(NoReadahead());
  struct Case {
    uint64_t offset, length;
    int fetches;  // readRange calls this read adds
  } cases[] = {
      {2 * kBs, 2 * kBs, 1},      // missing: one run
      {2 * kBs + 10, 100, 0},     // cached
      {kBs, 4 * kBs, 2},          // partly cached: blocks 1 and 4 are two runs
      {9 * kBs + 5, 2 * kBs, 1},  // cut at the end of the file
      {10 * kBs, 100, 0},         // at the end: nothing
  };
  for (const Case& c : cases) {
    const int before = h_->server->countCalls(MemOp::kReadRange);
    Status st;
    std::string got = read(c.offset, c.length, &st);
    ASSERT_TRUE(st.ok()) << st.toString();
    EXPECT_EQ(got, content_.substr(std::min<uint64_t>(c.offset, content_.size()), c.length)) << c.offset;
    EXPECT_EQ(h_->server->countCalls(MemOp::kReadRange) - before, c.fetches) << c.offset;
  }
  // Only what was missing crossed the wire, each block once.
  VolumeStatus status;
  h_->volume->status(status);
  EXPECT_EQ(status.bytesDown, 5 * kBs);
}

TEST_F(VolumeReadTest, FolderHandlesAndEndOfFileReadNothing) {
  start(test::MemoryDrive(kBs));
  h_->server->makeDir("/d");
  Status st;
  EXPECT_EQ(h_->read(h_->open("/d"), 0, 10, &st), "");
  EXPECT_EQ(st.code, Status::kIsDirectory);
  EXPECT_EQ(st.message, "/d");
  EXPECT_EQ(read(content_.size(), 100, &st), "");
  EXPECT_TRUE(st.ok());
  // Nothing was read, so no readahead was planned from here.
  EXPECT_EQ(file_->readaheadEnd, 0u);
  EXPECT_EQ(h_->server->countCalls(MemOp::kReadRange), 0);
}

TEST_F(VolumeReadTest, OfflineReadsServeTheCacheAndRefuseMissingBlocks) {
  start(NoReadahead());
  EXPECT_EQ(read(0, kBs), content_.substr(0, kBs));
  h_->volume->setOffline(true);
  h_->server->clearCalls();
  EXPECT_EQ(read(10, 100), content_.substr(10, 100));
  Status st;
  EXPECT_EQ(read(5 * kBs, 100, &st), "");
  EXPECT_EQ(st.code, Status::kNetwork);
  EXPECT_EQ(st.message, "offline: block not cached");
  EXPECT_TRUE(h_->server->calls().empty());
}

TEST_F(VolumeReadTest, RetriedFetchContinuesAtTheFirstByteNotDelivered) {
  MountConfig config = NoReadahead();
  config.transfer.chunkBytes = kBs;
  start(config);
  FaultRule rule;
  rule.op = MemOp::kReadRange;
  rule.firstCall = 3;
  h_->server->addFault(rule);
  h_->server->clearCalls();
  EXPECT_EQ(read(0, 4 * kBs), content_.substr(0, 4 * kBs));

  std::vector<std::string> pieces;
  for (const auto& call : h_->server->calls())
    if (call.op == MemOp::kReadRange || call.op == MemOp::kConnect) pieces.push_back(test::MemOpName(call.op));
  // One lease for the pieces; the failed piece is asked again after a reconnect.
  EXPECT_EQ(pieces, (std::vector<std::string>{"readRange", "readRange", "readRange", "connect", "readRange",
                                               "readRange"}));
  EXPECT_EQ(log_.countLines("drive: read /f@8192: network: injected failure (attempt 1)"), 1);
  // A fetch of two blocks or more leaves a record that ends done.
  std::vector<TransferInfo> list = h_->volume->transfers();
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].state, "done");
  EXPECT_EQ(list[0].done, 4 * kBs);
  EXPECT_EQ(list[0].attempt, 1u);
  EXPECT_FALSE(list[0].upload);
}

TEST_F(VolumeReadTest, TransferRecordsOnlyForTwoBlocksOrMore) {
  start(NoReadahead());
  // Blocks are fetched whole: what counts is the run, not the read.
  read(0, kBs);
  read(kBs + 5, 100);
  EXPECT_TRUE(h_->volume->transfers().empty());
  read(3 * kBs - 1, 2);
  EXPECT_EQ(h_->volume->transfers().size(), 1u);
}

TEST_F(VolumeReadTest, FetchGivenNothingEndsWithWhatItHas) {
  start(NoReadahead(), test::Pattern(40 * kBs));
  FaultRule rule;
  rule.op = MemOp::kReadRange;
  rule.kind = FaultRule::Kind::kShortRead;
  rule.firstCall = 2;
  rule.limit = 0;
  h_->server->addFault(rule);
  // Pieces of one chunk (16 blocks): the second delivers nothing.
  std::string buf(32 * kBs, '\0');
  uint64_t got = 0;
  Status st = h_->volume->fetchRange(nullptr, "/f", 0, reinterpret_cast<uint8_t*>(buf.data()), buf.size(), got, nullptr);
  EXPECT_TRUE(st.ok()) << st.toString();
  EXPECT_EQ(got, 16 * kBs);
  EXPECT_EQ(buf.substr(0, got), content_.substr(0, got));
  EXPECT_EQ(h_->server->countCalls(MemOp::kReadRange), 2);
}

TEST_F(VolumeReadTest, FailuresEndTheFetchAsTheServerSaidThem) {
  start(NoReadahead());
  struct Case {
    Status fault;
    int attempts;
    std::string lastError;
  } cases[] = {
      {Status(Status::kAccessDenied, "nope"), 1, "access-denied: read: nope"},
      {Status(Status::kNotFound, "gone"), 1, ""},
      {Status(Status::kNetwork, "flaky"), 3, "network: flaky"},
  };
  uint64_t block = 0;
  for (const Case& c : cases) {
    h_->volume->setLastError(Status());
    FaultRule rule;
    rule.op = MemOp::kReadRange;
    rule.times = 0;
    rule.status = c.fault;
    h_->server->clearFaults();
    h_->server->addFault(rule);
    h_->server->clearCalls();
    Status st;
    read(block++ * kBs, 10, &st);
    EXPECT_EQ(st.code, c.fault.code);
    EXPECT_EQ(st.message, c.fault.message);
    EXPECT_EQ(h_->server->countCalls(MemOp::kReadRange), c.attempts) << c.fault.toString();
    VolumeStatus status;
    h_->volume->status(status);
    EXPECT_EQ(status.lastError, c.lastError.empty() ? "ok" : c.lastError);
  }
}

TEST_F(VolumeReadTest, ServerIgnoringRangesIsReadAsOneStream) {
  start(NoReadahead());
  h_->server->setIgnoreRange(true);
  EXPECT_EQ(read(2 * kBs, 10), content_.substr(2 * kBs, 10));
  EXPECT_EQ(log_.countLines("the server ignores Range (a caching proxy?); reading files as one stream"), 1);
  EXPECT_EQ(h_->server->countCalls(MemOp::kOpenRead), 0);

  // From now on the drive streams: the stream passes blocks 0..5 on its way
  // and keeps them; a later read further on goes on from where it stands.
  const int ranged = h_->server->countCalls(MemOp::kReadRange);
  EXPECT_EQ(read(5 * kBs + 1, 10), content_.substr(5 * kBs + 1, 10));
  EXPECT_EQ(read(3 * kBs, kBs), content_.substr(3 * kBs, kBs));
  EXPECT_EQ(read(8 * kBs, kBs), content_.substr(8 * kBs, kBs));
  EXPECT_EQ(h_->server->countCalls(MemOp::kOpenRead), 1);
  EXPECT_EQ(h_->server->countCalls(MemOp::kReadRange), ranged);
  EXPECT_EQ(log_.countLines("drive: stream opened from 0 for /f@20480 (was at 0)"), 1);

  // A read behind the stream starts it again from the beginning.
  file_->cache->reset();
  EXPECT_EQ(read(kBs, 10), content_.substr(kBs, 10));
  EXPECT_EQ(h_->server->countCalls(MemOp::kOpenRead), 2);
  EXPECT_EQ(log_.countLines("drive: stream reopened from 0 for /f@4096 (was at 36864)"), 1);
  EXPECT_EQ(log_.countLines("ignores Range"), 1);
}

TEST_F(VolumeReadTest, StreamThatEndsEarlyIsOpenedAgain) {
  BackendCaps caps;
  caps.rangeRead = false;
  start(NoReadahead());
  h_->volume->stop(0);
  h_->server->setCaps(caps);
  ASSERT_TRUE(h_->volume->start(nullptr).ok());
  FaultRule rule;
  rule.op = MemOp::kOpenRead;
  rule.kind = FaultRule::Kind::kEarlyEnd;
  rule.limit = 2 * kBs;
  h_->server->addFault(rule);
  EXPECT_EQ(read(5 * kBs, 100), content_.substr(5 * kBs, 100));
  EXPECT_EQ(h_->server->countCalls(MemOp::kOpenRead), 2);
  EXPECT_EQ(log_.countLines("drive: stream read /f@20480: network: stream ended early (attempt 1)"), 1);
}

TEST_F(VolumeReadTest, IdleStreamIsClosedByTheTick) {
  test::ScopedTestClock clock;
  BackendCaps caps;
  caps.rangeRead = false;
  // One connection: while the stream of /f holds it, nothing else can run.
  start(NoReadahead(1));
  h_->volume->stop(0);
  h_->server->setCaps(caps);
  h_->server->putFile("/g", test::Pattern(kBs, 3));
  ASSERT_TRUE(h_->volume->start(nullptr).ok());
  EXPECT_EQ(read(0, 10), content_.substr(0, 10));

  std::shared_ptr<OpenFile> other = h_->open("/g");
  std::atomic<bool> done{false};
  std::thread reader([&] {
    h_->read(other, 0, 10);
    done = true;
  });
  clock.advance(VolumeTimings().streamIdleMs);
  EXPECT_TRUE(test::Eventually([&] { return done.load(); }));
  h_->volume->stop(0);
  reader.join();
}

TEST(PlanReadahead, CutsTheWindowIntoOnePiecePerSpareConnection) {
  constexpr uint64_t kMiB = 1048576;
  using Pieces = std::vector<std::pair<uint64_t, uint64_t>>;
  struct Case {
    uint64_t end, size;
    uint32_t window;
    int32_t connections;
    Pieces pieces;
  } cases[] = {
      {65536, 64 * kMiB, 8, 4, {{65536, 2796202}, {2861738, 2796202}, {5657940, 2796202}, {8454142, 2}}},
      // A third of a larger window is more than a piece may be.
      {131072, 64 * kMiB, 16, 4, {{131072, 4 * kMiB}, {4325376, 4 * kMiB}, {8519680, 4 * kMiB}, {12713984, 4 * kMiB}}},
      {0, 64 * kMiB, 4, 1, {{0, 4 * kMiB}}},
      {0, 64 * kMiB, 4, 2, {{0, 4 * kMiB}}},
      {0, 64 * kMiB, 2, 8, {{0, kMiB}, {kMiB, kMiB}}},  // never less than a block
      {64 * kMiB - 100, 64 * kMiB, 8, 4, {{64 * kMiB - 100, 100}}},
      {64 * kMiB, 64 * kMiB, 8, 4, {}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(PlanReadahead(c.end, c.size, kMiB, c.window, c.connections), c.pieces) << c.end << " " << c.window;
}

TEST_F(VolumeReadTest, ReadaheadWindowGrowsWhileReadsContinue) {
  start(test::MemoryDrive(kBs), test::Pattern(64 * kBs));
  // The first read counts as continuing: it doubles the window at once, and
  // what follows it is fetched in the background.
  EXPECT_EQ(read(0, 100), content_.substr(0, 100));
  EXPECT_EQ(file_->readaheadWindow, 8u);
  VolumeStatus status;
  EXPECT_TRUE(test::Eventually([&] {
    h_->volume->status(status);
    return status.bytesDown == 9 * kBs;
  })) << status.bytesDown;
  std::string block(kBs, '\0');
  EXPECT_TRUE(file_->cache->readIfCached(8 * kBs, block.data(), kBs));
  EXPECT_FALSE(file_->cache->readIfCached(9 * kBs, block.data(), kBs));

  struct Step {
    uint64_t offset;
    uint32_t window;
  } steps[] = {{100, 16}, {200, 32}, {300, 32}, {5000, 4}, {5100, 8}};
  for (const Step& s : steps) {
    read(s.offset, 100);
    EXPECT_EQ(file_->readaheadWindow, s.window) << s.offset;
  }
}

TEST_F(VolumeReadTest, WholeFilePrefetchFetchesSmallFilesInOneRequest) {
  start(test::MemoryDrive(kBs));
  h_->volume->prefetchWhole(file_);
  EXPECT_TRUE(test::Eventually([&] { return file_->cache->isComplete(); }));
  EXPECT_EQ(h_->server->countCalls(MemOp::kReadRange), 1);
  h_->server->clearCalls();
  EXPECT_EQ(read(0, content_.size()), content_);
  EXPECT_TRUE(h_->server->calls().empty());
}

TEST_F(VolumeReadTest, SeveralReadersOfOneFileFetchEachBlockOnce) {
  start(test::MemoryDrive(kBs), test::Pattern(200 * kBs));
  constexpr int kReaders = 4;
  std::vector<std::thread> readers;
  std::atomic<int> wrong{0};
  for (int r = 0; r < kReaders; ++r) {
    readers.emplace_back([&, r] {
      // Each reader walks the file from another starting point.
      for (uint64_t i = 0; i < 200; ++i) {
        const uint64_t offset = ((i + 50 * r) % 200) * kBs;
        if (read(offset, kBs) != content_.substr(offset, kBs)) ++wrong;
      }
    });
  }
  for (std::thread& t : readers) t.join();
  EXPECT_EQ(wrong.load(), 0);
  VolumeStatus status;
  EXPECT_TRUE(test::Eventually([&] {
    h_->volume->status(status);
    return status.bytesDown >= content_.size();
  }));
  EXPECT_EQ(status.bytesDown, content_.size());
}

TEST_F(VolumeReadTest, StopCancelsReadsInProgress) {
  MountConfig config = NoReadahead();
  config.transfer.chunkBytes = kBs;
  start(config);
  EXPECT_EQ(read(9 * kBs, 10), content_.substr(9 * kBs, 10));
  std::shared_ptr<test::Gate> gate = h_->server->addGate(MemOp::kReadRange, "/f");
  Status first, second;
  std::thread fetching([&] { read(0, 4 * kBs, &first); });
  ASSERT_TRUE(gate->waitArrived());
  // A second reader of the same blocks waits for the fetch in flight.
  std::thread waiting([&] { read(0, 10, &second); });
  std::thread stopping([&] { h_->volume->stop(0); });
  // Once stop has begun, reads are refused, cached or not.
  EXPECT_TRUE(test::Eventually([&] {
    Status st;
    read(9 * kBs, 10, &st);
    return st.code == Status::kCanceled && st.message == "volume stopped";
  }));
  waiting.join();
  EXPECT_EQ(second.code, Status::kCanceled);
  gate->release();
  fetching.join();
  stopping.join();
  EXPECT_EQ(first.code, Status::kCanceled);
  EXPECT_FALSE(h_->volume->isStarted());
  // The first piece arrived before the stop was seen; nothing after it.
  EXPECT_EQ(h_->server->countCalls(MemOp::kReadRange), 2);
}

}  // namespace
}  // namespace tarn
