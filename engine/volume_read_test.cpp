#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
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

MountConfig NoReadahead(int32_t connections = 4) {
  MountConfig config = test::MemoryDrive(kBs, connections);
  config.cache.readaheadBlocks = config.cache.readaheadMaxBlocks = 0;
  return config;
}

FaultRule Fault(MemOp op, int firstCall, int times, Status status) {
  FaultRule rule;
  rule.op = op;
  rule.firstCall = firstCall;
  rule.times = times;
  rule.status = std::move(status);
  return rule;
}

class VolumeReadTest : public ::testing::Test {
 protected:
  // rangeRead false: the server says from its first connect that it ignores ranges.
  // streamSequential: a file read through from its start goes as one stream.
  void start(MountConfig config, uint64_t size = 10 * kBs, bool rangeRead = true, bool streamSequential = false) {
    h_ = std::make_unique<test::VolumeHarness>(std::move(config));
    content_ = test::Pattern(size);
    h_->server->putFile("/f", content_);
    BackendCaps caps;
    caps.rangeRead = rangeRead;
    caps.streamSequential = streamSequential;
    h_->server->setCaps(caps);
    ASSERT_TRUE(h_->volume->start(nullptr).ok());
    file_ = h_->open("/f");
  }
  std::string read(uint64_t offset, uint64_t length, Status* st = nullptr) { return h_->read(file_, offset, length, st); }
  std::string want(uint64_t offset, uint64_t length) { return content_.substr(offset, length); }
  uint64_t bytesDown() {
    VolumeStatus s;
    h_->volume->status(s);
    return s.bytesDown;
  }

  test::LogCapture log_;
  std::unique_ptr<test::VolumeHarness> h_;
  std::shared_ptr<OpenFile> file_;
  std::string content_;
};

TEST_F(VolumeReadTest, ReadsFetchOnlyTheMissingRunsAndRecordLongOnes) {
  start(NoReadahead());
  struct Case {
    uint64_t offset, length;
    int fetches;  // readRange calls the read adds
    size_t records;
  } cases[] = {
      {2 * kBs + 5, 10, 1, 0},       // one block: no transfer record
      {2 * kBs, kBs, 0, 0},          // cached
      {kBs, 4 * kBs, 2, 1},          // partly cached: runs 1 and 3..4, the longer one recorded
      {6 * kBs - 1, 2, 1, 2},        // two bytes, but blocks 5 and 6
      {9 * kBs + 5, 2 * kBs, 1, 2},  // cut at the end of the file
      {10 * kBs, 100, 0, 2},         // at the end: nothing
  };
  for (const Case& c : cases) {
    const int before = h_->server->countCalls(MemOp::kReadRange);
    Status st;
    EXPECT_EQ(read(c.offset, c.length, &st), content_.substr(std::min<uint64_t>(c.offset, content_.size()), c.length));
    EXPECT_TRUE(st.ok()) << st.toString();
    EXPECT_EQ(h_->server->countCalls(MemOp::kReadRange) - before, c.fetches) << c.offset;
    EXPECT_EQ(h_->volume->transfers().size(), c.records) << c.offset;
  }
  EXPECT_EQ(bytesDown(), 7 * kBs);  // each block once
  EXPECT_EQ(h_->volume->transfers()[0].state, "done");
  h_->server->makeDir("/d");
  Status st;
  EXPECT_EQ(h_->read(h_->open("/d"), 0, 10, &st), "");
  EXPECT_EQ(st.toString(), "is-directory: /d");
}

// Block 0 came from one copy of the file; the server has another of the
// same size by the time blocks 1-3 are fetched. A read never mixes the two.
TEST_F(VolumeReadTest, AFetchFromAChangedServerCopyDropsTheOlderBlocks) {
  start(NoReadahead(), 4 * kBs);
  ASSERT_EQ(read(0, kBs), want(0, kBs));
  const std::string second = test::Pattern(4 * kBs, 77);
  h_->server->putFile("/f", second);
  EXPECT_TRUE(read(0, 4 * kBs) == second);
  EXPECT_TRUE(read(0, 4 * kBs) == second);
  RemoteAttr attr;
  ASSERT_TRUE(h_->volume->getattr("/f", attr).ok());
  EXPECT_EQ(attr.etag, file_->cache->etag());

  // Fetched whole in one answer, a copy is consistent by itself: no look at
  // the server besides the read.
  h_->server->putFile("/g", content_);
  std::shared_ptr<OpenFile> g = h_->open("/g");
  const int stats = h_->server->countCalls(MemOp::kStat, "/g");
  EXPECT_TRUE(h_->read(g, 0, 4 * kBs) == content_);
  EXPECT_EQ(h_->server->countCalls(MemOp::kStat, "/g"), stats);
  EXPECT_EQ(h_->server->countCalls(MemOp::kReadRange, "/g"), 1);
}

// A file replaced on the server by a longer one after the drive recorded its
// copy (an open within the metadata lifetime): an answer of the recorded
// copy's size holds the first bytes of the new file, which is not that copy.
// The handle reads the copy it opened, never the new one cut at the old
// size, and the next open reads the new one whole.
TEST_F(VolumeReadTest, ALongerCopyInTheRecordedOnesPlaceIsNeverReadCutAtTheOldSize) {
  for (bool readahead : {false, true}) {
    SCOPED_TRACE(readahead ? "the first read takes its own bytes" : "reads fetch blocks");
    MountConfig config = readahead ? test::MemoryDrive(kBs) : NoReadahead();
    config.cache.wholeFileBelow = 0;
    start(config);
    h_->server->setKeepsReplacedFiles(true);
    h_->server->putFile("/g", "first version");
    std::shared_ptr<OpenFile> g = h_->openFile("/g");
    ASSERT_TRUE(g);
    // Saved as editors do: a new file renamed over the old one.
    h_->server->putFile("/g.new", "a longer second version");
    {
      std::unique_ptr<test::MemoryBackend> other = h_->server->connection();
      ASSERT_TRUE(other->connect().ok() && other->rename("/g.new", "/g", true).ok());
    }
    Status st;
    EXPECT_EQ(h_->read(g, 0, 100, &st), "first version") << st.toString();
    h_->volume->closeNow(g);
    g = h_->openFile("/g");
    ASSERT_TRUE(g);
    EXPECT_EQ(h_->read(g, 0, 100), "a longer second version");
    h_->volume->closeNow(g);
  }
}

// Where the server tells copies apart by a whole-second time alone (SFTP),
// a file cached within the second of its time is read anew at an open once
// the metadata lifetime has passed since its blocks came; the attributes of
// that open may be younger (another look refreshed them) and still older
// than the file on the server, replaced meanwhile by a longer one. What is
// read anew is the copy the server has then, whole, not an I/O error for a
// copy that is gone.
TEST_F(VolumeReadTest, AFileReadAnewWithinItsSecondIsTheServersCopyOfThatMoment) {
  test::ScopedTestClock clock;
  MountConfig config = NoReadahead();
  config.cache.wholeFileBelow = 0;
  config.cache.metaTtlMs = 1000;
  start(config);
  h_->server->setEntityTags(false);
  h_->server->setChangeTime(Timestamp::fromTimespec(Timestamp::now().seconds, 0));
  h_->server->putFile("/g", "first version");
  std::shared_ptr<OpenFile> g = h_->openFile("/g");
  ASSERT_TRUE(g);
  EXPECT_EQ(h_->read(g, 0, 100), "first version");
  h_->volume->closeNow(g);
  clock.advance(1500);
  RemoteAttr attr;
  ASSERT_TRUE(h_->volume->getattr("/g", attr).ok());
  h_->server->putFile("/g.new", "a longer second version");
  {
    std::unique_ptr<test::MemoryBackend> other = h_->server->connection();
    ASSERT_TRUE(other->connect().ok() && other->rename("/g.new", "/g", true).ok());
  }
  g = h_->openFile("/g");
  ASSERT_TRUE(g);
  Status st;
  EXPECT_EQ(h_->read(g, 0, 100, &st), "a longer second version") << st.toString();
  h_->volume->closeNow(g);
}

// An answer that names the copy it came from needs no look at the server
// when that is the copy the cached blocks are of; one that names another
// copy is checked, and the older blocks go.
TEST_F(VolumeReadTest, AnAnswerNamingTheRecordedCopyNeedsNoLook) {
  start(NoReadahead(), 4 * kBs);
  h_->server->setReadsNameTheCopy(true);
  ASSERT_EQ(read(0, kBs), want(0, kBs));
  const int stats = h_->server->countCalls(MemOp::kStat, "/f");
  EXPECT_EQ(read(kBs, 2 * kBs), want(kBs, 2 * kBs));
  EXPECT_EQ(h_->server->countCalls(MemOp::kStat, "/f"), stats);
  const std::string second = test::Pattern(4 * kBs, 77);
  h_->server->putFile("/f", second);
  EXPECT_TRUE(read(0, 4 * kBs) == second);
  EXPECT_GT(h_->server->countCalls(MemOp::kStat, "/f"), stats);
}

// The same with a server that ignores ranges: the stream that follows a
// broken one delivers the new copy, and the older cached block goes.
TEST_F(VolumeReadTest, AStreamFromAChangedServerCopyDropsTheOlderBlocks) {
  start(NoReadahead(), 4 * kBs, false);
  h_->server->addFault(Fault(MemOp::kStreamRead, 2, 1, Status(Status::kNetwork, "cut")));
  ASSERT_EQ(read(0, kBs), want(0, kBs));
  const std::string second = test::Pattern(4 * kBs, 77);
  h_->server->putFile("/f", second);
  EXPECT_TRUE(read(kBs, 3 * kBs) == second.substr(kBs));
  EXPECT_TRUE(read(0, 4 * kBs) == second);
}

TEST_F(VolumeReadTest, OfflineReadsServeTheCacheAndRefuseMissingBlocks) {
  start(NoReadahead());
  EXPECT_EQ(read(0, kBs), want(0, kBs));
  h_->volume->setOffline(true);
  h_->server->clearCalls();
  EXPECT_EQ(read(10, 100), want(10, 100));
  Status st;
  read(5 * kBs, 100, &st);
  EXPECT_EQ(st.toString(), "network: offline: block not cached");
  EXPECT_TRUE(h_->server->calls().empty());
}

// A server that refuses connections, long after the drive last asked it:
// files and folders the drive saw stay there and cached blocks read at once;
// what it never saw, or never cached, fails as the network did.
TEST(VolumeServerGoneTest, CachedFilesAndListingsServeWhileTheServerRefusesConnections) {
  test::ScopedTestClock clock;
  test::VolumeHarness h(NoReadahead());
  h.server->putFile("/d/f", "cached");
  h.server->putFile("/d/unread", "never read");
  h.server->putFile("/other/x", "x");
  Volume& v = *h.volume;
  ASSERT_TRUE(v.start(nullptr).ok());
  std::vector<DirEntry> listing;
  ASSERT_TRUE(v.readdir("/", listing).ok());
  ASSERT_TRUE(v.readdir("/d", listing).ok());
  std::shared_ptr<OpenFile> file;
  ASSERT_TRUE(v.open("/d/f", file).ok());
  EXPECT_EQ(h.read(file, 0, 6), "cached");
  v.closeNow(file);

  clock.advance(24ull * 3600 * 1000);  // every entry's lifetime is over
  h.server->setDown(true);
  // Each look that has a cached answer asks the server once, not once per
  // retry: a refused port does not hold cached files up for a whole budget.
  const uint64_t connects = h.server->countCalls(test::MemOp::kConnect);
  RemoteAttr attr;
  ASSERT_TRUE(v.getattr("/d", attr).ok());
  EXPECT_TRUE(attr.isDir());
  ASSERT_TRUE(v.getattr("/d/f", attr).ok());
  EXPECT_EQ(attr.size, 6u);
  ASSERT_TRUE(v.readdir("/d", listing).ok());
  EXPECT_EQ(listing.size(), 2u);
  ASSERT_TRUE(v.open("/d/f", file).ok());
  EXPECT_EQ(h.read(file, 0, 6), "cached");
  EXPECT_LE(h.server->countCalls(test::MemOp::kConnect) - connects, 4u);

  Status st;
  ASSERT_TRUE(v.open("/d/unread", file).ok());
  EXPECT_EQ(h.read(file, 0, 10, &st), "");
  EXPECT_EQ(st.code, Status::kNetwork) << st.toString();
  EXPECT_EQ(v.readdir("/other", listing).code, Status::kNetwork);
  EXPECT_EQ(v.getattr("/other/x", attr).code, Status::kNetwork);
}

TEST_F(VolumeReadTest, RetriedFetchContinuesAtTheFirstByteNotDelivered) {
  // One connection: with more, the tick may hold the connected one, so the
  // read would connect another and its retry take the first, unlike a drive
  // whose every connection is in use.
  MountConfig config = NoReadahead(1);
  config.transfer.chunkBytes = kBs;  // one request per block
  start(config);
  h_->server->addFault(Fault(MemOp::kReadRange, 3, 1, Status(Status::kNetwork, "injected")));
  h_->server->clearCalls();
  EXPECT_EQ(read(0, 4 * kBs), want(0, 4 * kBs));
  std::vector<std::string> calls;
  for (const auto& call : h_->server->calls())
    if (call.op == MemOp::kReadRange || call.op == MemOp::kConnect) calls.push_back(test::MemOpName(call.op));
  // The failed piece is asked again after a reconnect; nothing before it.
  EXPECT_EQ(calls, (std::vector<std::string>{"readRange", "readRange", "readRange", "connect", "readRange", "readRange"}));
  EXPECT_EQ(log_.countLines("drive: read /f@8192: network: injected (attempt 1)"), 1);
  ASSERT_EQ(h_->volume->transfers().size(), 1u);
  EXPECT_EQ(h_->volume->transfers()[0].attempt, 1u);
  EXPECT_EQ(h_->volume->transfers()[0].done, 4 * kBs);
}

TEST_F(VolumeReadTest, FailuresEndTheFetchAsTheServerSaidThem) {
  start(NoReadahead());
  struct Case {
    Status fault;
    int attempts;
    std::string lastError;
  } cases[] = {
      {Status(Status::kAccessDenied, "nope"), 1, "access-denied: read: nope"},
      {Status(Status::kNotFound, "gone"), 1, "ok"},  // not recorded
      {Status(Status::kNetwork, "flaky"), 3, "network: flaky"},
  };
  uint64_t block = 0;
  for (const Case& c : cases) {
    h_->volume->setLastError(Status());
    h_->server->clearFaults();
    h_->server->addFault(Fault(MemOp::kReadRange, 1, 0, c.fault));
    h_->server->clearCalls();
    Status st;
    read(block++ * kBs, 10, &st);
    EXPECT_EQ(st.toString(), c.fault.toString());
    EXPECT_EQ(h_->server->countCalls(MemOp::kReadRange), c.attempts) << c.fault.toString();
    VolumeStatus s;
    h_->volume->status(s);
    EXPECT_EQ(s.lastError, c.lastError);
  }
}

TEST_F(VolumeReadTest, ServerIgnoringRangesIsReadAsOneStream) {
  start(NoReadahead());
  h_->server->setIgnoreRange(true);
  EXPECT_EQ(read(2 * kBs, 10), want(2 * kBs, 10));
  EXPECT_EQ(h_->server->countCalls(MemOp::kOpenRead), 0);

  // From now on the drive streams. The stream passes blocks 0..5 on its way
  // and keeps them; a read further on goes on from where it stands.
  const int ranged = h_->server->countCalls(MemOp::kReadRange);
  EXPECT_EQ(read(5 * kBs + 1, 10), want(5 * kBs + 1, 10));
  EXPECT_EQ(read(3 * kBs, kBs), want(3 * kBs, kBs));
  EXPECT_EQ(read(8 * kBs, kBs), want(8 * kBs, kBs));
  EXPECT_EQ(h_->server->countCalls(MemOp::kOpenRead), 1);
  EXPECT_EQ(h_->server->countCalls(MemOp::kReadRange), ranged);
  EXPECT_EQ(log_.countLines("drive: stream opened from 0 for /f@20480 (was at 0)"), 1);

  // A read behind the stream starts it again from the beginning.
  file_->cache->reset();
  EXPECT_EQ(read(kBs, 10), want(kBs, 10));
  EXPECT_EQ(log_.countLines("drive: stream reopened from 0 for /f@4096 (was at 36864)"), 1);
  EXPECT_EQ(log_.countLines("drive: the server ignores Range (a caching proxy?); reading files as one stream"), 1);
}

TEST_F(VolumeReadTest, StreamThatEndsEarlyIsOpenedAgain) {
  start(NoReadahead(), 10 * kBs, false);
  FaultRule rule;
  rule.op = MemOp::kOpenRead;
  rule.kind = FaultRule::Kind::kEarlyEnd;
  rule.limit = 2 * kBs;
  h_->server->addFault(rule);
  EXPECT_EQ(read(5 * kBs, 100), want(5 * kBs, 100));
  EXPECT_EQ(h_->server->countCalls(MemOp::kOpenRead), 2);
  EXPECT_EQ(log_.countLines("drive: stream read /f@20480: network: stream ended early (attempt 1)"), 1);
}

TEST_F(VolumeReadTest, IdleStreamIsClosedByTheTickAndStopEndsTheRest) {
  test::ScopedTestClock clock;
  // One connection: while the stream of /f holds it, nothing else runs.
  start(NoReadahead(1), 10 * kBs, false);
  h_->server->putFile("/g", test::Pattern(kBs, 3));
  EXPECT_EQ(read(0, 10), want(0, 10));
  std::atomic<bool> done{false};
  std::thread other([&] {
    h_->read(h_->open("/g"), 0, 10);
    done = true;
  });
  clock.advance(VolumeTimings().streamIdleMs);
  EXPECT_TRUE(test::Eventually([&] { return done.load(); }));
  // /g's stream still holds its lease; the pool waits for every lease.
  h_->volume->stop(0);
  other.join();
}

// Files above what is fetched whole at open, on a server where one stream
// beats ranged reads.
MountConfig StreamingDrive(int32_t connections = 4) {
  MountConfig config = test::MemoryDrive(kBs, connections);
  config.cache.wholeFileBelow = kBs;
  return config;
}

// A reader that goes through a file from its start, its reads side by side
// and out of order as the kernel sends them, costs one stream opened at the
// start and no ranged read; the readahead runs that stream ahead of the
// reader.
TEST_F(VolumeReadTest, AReaderFromTheStartIsServedByOneStream) {
  start(StreamingDrive(), 200 * kBs + 123, true, true);
  auto first = std::async(std::launch::async, [&] { return read(2 * kBs, 2 * kBs); });
  EXPECT_EQ(read(0, 2 * kBs), want(0, 2 * kBs));
  EXPECT_EQ(first.get(), want(2 * kBs, 2 * kBs));
  // Each later half of 16 blocks before its first half: the kernel's
  // readahead overtakes the reads it follows.
  constexpr uint64_t kHalf = 8 * kBs;
  for (uint64_t at = 4 * kBs; at < content_.size(); at += 2 * kHalf) {
    EXPECT_EQ(read(at + kHalf, kHalf), want(std::min(at + kHalf, content_.size()), kHalf)) << at;
    EXPECT_EQ(read(at, kHalf), want(at, kHalf)) << at;
  }
  EXPECT_EQ(h_->server->countCalls(MemOp::kOpenRead), 1);
  EXPECT_EQ(h_->server->countCalls(MemOp::kReadRange), 0);
  EXPECT_EQ(log_.countLines("drive: stream reopened"), 0);
  EXPECT_EQ(bytesDown(), content_.size()) << "each byte once";
}

// Reads elsewhere stay ranged: a handle's first read far from the start,
// and a streaming handle's read far from its last, which ends its stream.
TEST_F(VolumeReadTest, RandomReadsStayRanged) {
  start(StreamingDrive(), 400 * kBs, true, true);
  EXPECT_EQ(read(300 * kBs, 10), want(300 * kBs, 10));
  EXPECT_EQ(h_->server->countCalls(MemOp::kOpenRead), 0);

  file_ = h_->open("/f");
  EXPECT_EQ(read(0, kBs), want(0, kBs));
  EXPECT_EQ(h_->server->countCalls(MemOp::kOpenRead), 1);
  const int ranged = h_->server->countCalls(MemOp::kReadRange);
  EXPECT_EQ(read(200 * kBs, 10), want(200 * kBs, 10));
  EXPECT_EQ(read(201 * kBs, 10), want(201 * kBs, 10));
  EXPECT_EQ(h_->server->countCalls(MemOp::kOpenRead), 1);
  EXPECT_GT(h_->server->countCalls(MemOp::kReadRange), ranged);
}

// Streams hold their connections between reads; a read that finds none
// free takes one from a stream that stands idle instead of waiting, and a
// streaming reader that finds none free reads ranged.
TEST_F(VolumeReadTest, StreamsStandingIdleDoNotKeepOtherReadsWaiting) {
  // No stream is ever idle long enough for the tick's sweep.
  test::ScopedTestClock clock;
  MountConfig config = StreamingDrive(2);
  config.cache.readaheadBlocks = config.cache.readaheadMaxBlocks = 0;
  // The tick's keepalive would hold the second connection for a moment.
  config.net.keepaliveSec = 0;
  start(config, 200 * kBs, true, true);
  for (const char* path : {"/g", "/h"}) h_->server->putFile(path, content_);
  std::shared_ptr<OpenFile> g = h_->open("/g");
  EXPECT_EQ(read(0, kBs), want(0, kBs));
  EXPECT_EQ(h_->read(g, 0, kBs), want(0, kBs));
  EXPECT_EQ(h_->server->countCalls(MemOp::kOpenRead), 2) << "both connections stream now";

  std::shared_ptr<OpenFile> h = h_->open("/h");
  std::atomic<bool> done{false};
  std::string random;
  std::thread other([&] {
    random = h_->read(h, 150 * kBs, 10);
    done = true;
  });
  EXPECT_TRUE(test::Eventually([&] { return done.load(); }));
  if (!done.load()) h_->volume->stop(0);
  other.join();
  EXPECT_EQ(random, want(150 * kBs, 10));
  EXPECT_EQ(read(kBs, kBs), want(kBs, kBs)) << "the idle stream opens again";
}

// The same for a question to the server, on a drive whose one connection
// a stream holds.
TEST_F(VolumeReadTest, AStreamStandingIdleDoesNotKeepQuestionsWaiting) {
  test::ScopedTestClock clock;
  MountConfig config = StreamingDrive(1);
  config.cache.readaheadBlocks = config.cache.readaheadMaxBlocks = 0;
  config.cache.metaTtlMs = config.cache.dirTtlMs = config.cache.negativeTtlMs = 0;  // every look asks
  config.net.keepaliveSec = 0;
  start(config, 200 * kBs, true, true);
  // Without a connection to spare for a look, only a stream that names its
  // copy goes on.
  h_->server->setReadsNameTheCopy(true);
  EXPECT_EQ(read(0, kBs), want(0, kBs));
  ASSERT_EQ(h_->server->countCalls(MemOp::kOpenRead), 1);
  ASSERT_EQ(h_->server->countCalls(MemOp::kReadRange), 0);
  const int looks = h_->server->countCalls(MemOp::kStat, "/f");
  std::atomic<bool> asked{false};
  Status lookup;
  RemoteAttr attr;
  std::thread name([&] {
    lookup = h_->volume->getattr("/f", attr);
    asked = true;
  });
  EXPECT_TRUE(test::Eventually([&] { return asked.load(); }));
  if (!asked.load()) h_->volume->stop(0);
  name.join();
  EXPECT_TRUE(lookup.ok()) << lookup.toString();
  EXPECT_EQ(attr.size, content_.size());
  EXPECT_GT(h_->server->countCalls(MemOp::kStat, "/f"), looks);
  EXPECT_EQ(read(kBs, kBs), want(kBs, kBs)) << "the stream opens again";
  EXPECT_EQ(h_->server->countCalls(MemOp::kOpenRead), 2);
}

TEST(PlanReadahead, CutsTheWindowIntoPiecesForTheSpareConnections) {
  constexpr uint64_t kMiB = 1048576;
  using Pieces = std::vector<std::pair<uint64_t, uint64_t>>;
  struct Case {
    uint64_t end;
    uint32_t window;
    int32_t connections;
    Pieces pieces;
  } cases[] = {
      {65536, 8, 4, {{65536, 2796202}, {2861738, 2796202}, {5657940, 2796202}, {8454142, 2}}},
      // A third of a larger window is more than a piece may be.
      {131072, 16, 4, {{131072, 4 * kMiB}, {4325376, 4 * kMiB}, {8519680, 4 * kMiB}, {12713984, 4 * kMiB}}},
      {0, 4, 1, {{0, 4 * kMiB}}},
      {0, 4, 2, {{0, 4 * kMiB}}},
      {0, 2, 8, {{0, kMiB}, {kMiB, kMiB}}},  // never less than a block
      {64 * kMiB - 100, 8, 4, {{64 * kMiB - 100, 100}}},
      {64 * kMiB, 8, 4, {}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(PlanReadahead(c.end, 64 * kMiB, kMiB, c.window, c.connections), c.pieces) << c.end << " " << c.window;
}

TEST_F(VolumeReadTest, ReadaheadWindowGrowsWhileReadsContinue) {
  start(test::MemoryDrive(kBs), 64 * kBs);
  // The first read counts as continuing and doubles the window at once.
  EXPECT_EQ(read(0, 100), want(0, 100));
  EXPECT_EQ(file_->readaheadWindow, 8u);
  // Its own bytes, then blocks 0..8 behind them.
  EXPECT_TRUE(test::Eventually([&] { return bytesDown() == 100 + 9 * kBs; }));
  std::string block(kBs, '\0');
  EXPECT_FALSE(file_->cache->readIfCached(9 * kBs, block.data(), kBs));
  for (auto [offset, window] : std::vector<std::pair<uint64_t, uint32_t>>{{100, 16}, {200, 32}, {300, 32}, {5000, 4}, {5100, 8}}) {
    read(offset, 100);
    EXPECT_EQ(file_->readaheadWindow, window) << offset;
  }
}

TEST_F(VolumeReadTest, RandomReadsFetchOnlyTheirOwnBlocks) {
  // One prefetch worker runs readahead in the order it was queued.
  start(test::MemoryDrive(kBs, 2), 256 * kBs);
  const uint64_t randomBlocks[] = {200, 17, 120, 60};
  // Each small random read takes its own bytes from the server, and its
  // block comes in behind it.
  for (uint64_t b : randomBlocks) EXPECT_EQ(read(b * kBs + 10, 100), want(b * kBs + 10, 100)) << b;
  // Far from the last read, the file's start is random access too; the read
  // that continues it is sequential and reads blocks 1..8 ahead.
  EXPECT_EQ(read(0, 100), want(0, 100));
  std::string block(kBs, '\0');
  ASSERT_TRUE(test::Eventually([&] { return file_->cache->readIfCached(0, block.data(), kBs); }));
  EXPECT_EQ(read(100, 100), want(100, 100));
  EXPECT_TRUE(test::Eventually([&] { return file_->cache->readIfCached(8 * kBs, block.data(), kBs); }));
  EXPECT_EQ(bytesDown(), 5 * 100 + 13 * kBs);
  for (uint64_t b : randomBlocks) {
    EXPECT_TRUE(file_->cache->readIfCached(b * kBs, block.data(), kBs)) << b;
    EXPECT_FALSE(file_->cache->readIfCached((b + 1) * kBs, block.data(), kBs)) << b;
  }
  // A larger read, or one of a file with local changes, goes through the cache.
  const uint64_t bytes = bytesDown();
  EXPECT_EQ(read(100 * kBs, kBs), want(100 * kBs, kBs));
  EXPECT_EQ(bytesDown(), bytes + kBs);
  ASSERT_TRUE(h_->volume->write(file_, 250 * kBs, "x", 1).ok());
  EXPECT_EQ(read(30 * kBs, 100), want(30 * kBs, 100));
  EXPECT_EQ(bytesDown(), bytes + 3 * kBs);  // the written block's edges, then block 30
}

// A handle's first small read takes its own bytes while its block is still
// nobody's; with nothing cached for them to join, no look at the server
// follows. Once blocks are cached, a small read's bytes are checked against
// the server still, so a changed copy drops them.
TEST_F(VolumeReadTest, AFirstReadGetsItsOwnBytesBeforeItsBlock) {
  start(test::MemoryDrive(kBs, 3), 64 * kBs);
  std::shared_ptr<test::Gate> gate = h_->server->addGate(MemOp::kReadRange, "/f");
  auto first = std::async(std::launch::async, [&] { return read(0, 100); });
  struct Release {
    test::Gate& gate;
    ~Release() { gate.release(); }
  } release{*gate};
  ASSERT_TRUE(gate->waitArrived());
  EXPECT_TRUE(file_->cache->wantsFetch(0, kBs));  // block 0 is not what the reader waits for
  gate->release();
  EXPECT_EQ(first.get(), want(0, 100));
  EXPECT_EQ(read(100, 200), want(100, 200));  // and it follows behind
  std::vector<test::CallRecord> calls = h_->server->calls();
  auto own = std::find_if(calls.begin(), calls.end(),
                          [](const test::CallRecord& c) { return c.op == MemOp::kReadRange && c.path == "/f"; });
  ASSERT_NE(own, calls.end());
  auto next = std::find_if(own + 1, calls.end(), [&](const test::CallRecord& c) { return c.connection == own->connection; });
  EXPECT_TRUE(next == calls.end() || next->op != MemOp::kStat);

  h_->server->putFile("/g", content_);
  std::shared_ptr<OpenFile> g = h_->open("/g");
  ASSERT_EQ(h_->read(g, 5 * kBs, kBs), want(5 * kBs, kBs));  // cached; far from the start, no readahead
  const std::string second = test::Pattern(64 * kBs, 77);
  h_->server->putFile("/g", second);
  EXPECT_EQ(h_->read(g, 40 * kBs + 10, 100), second.substr(40 * kBs + 10, 100));
  EXPECT_TRUE(h_->read(g, 5 * kBs, kBs) == second.substr(5 * kBs, kBs));
}

TEST_F(VolumeReadTest, WholeFilePrefetchFetchesASmallFileInOneRequest) {
  start(test::MemoryDrive(kBs));
  h_->volume->prefetchWhole(file_);
  EXPECT_TRUE(test::Eventually([&] { return file_->cache->isComplete(); }));
  EXPECT_EQ(h_->server->countCalls(MemOp::kReadRange), 1);
}

TEST_F(VolumeReadTest, SeveralReadersOfOneFileFetchEachBlockOnce) {
  start(test::MemoryDrive(kBs), 200 * kBs);
  std::vector<std::thread> readers;
  std::atomic<int> wrong{0};
  for (uint64_t r = 0; r < 4; ++r)
    readers.emplace_back([&, r] {
      for (uint64_t i = 0; i < 200; ++i) {
        const uint64_t offset = (i + 50 * r) % 200 * kBs;
        if (read(offset, kBs) != want(offset, kBs)) ++wrong;
      }
    });
  for (std::thread& t : readers) t.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_TRUE(test::Eventually([&] { return bytesDown() >= content_.size(); }));
  EXPECT_EQ(bytesDown(), content_.size());
}

TEST_F(VolumeReadTest, StopCancelsReadsInProgress) {
  MountConfig config = NoReadahead();
  config.transfer.chunkBytes = kBs;
  start(config);
  EXPECT_EQ(read(9 * kBs, 10), want(9 * kBs, 10));
  std::shared_ptr<test::Gate> gate = h_->server->addGate(MemOp::kReadRange, "/f");
  Status fetching, waiting;
  std::thread first([&] { read(0, 4 * kBs, &fetching); });
  ASSERT_TRUE(gate->waitArrived());
  std::thread second([&] { read(0, 10, &waiting); });  // waits for the block in flight
  std::thread stopper([&] { h_->volume->stop(0); });
  // Once stop has begun, reads are refused, cached or not.
  EXPECT_TRUE(test::Eventually([&] {
    Status st;
    read(9 * kBs, 10, &st);
    return st.toString() == "canceled: volume stopped";
  }));
  second.join();
  gate->release();
  first.join();
  stopper.join();
  EXPECT_EQ(waiting.code, Status::kCanceled);
  EXPECT_EQ(fetching.code, Status::kCanceled);
  // The piece in flight arrived; none was asked after it.
  EXPECT_EQ(h_->server->countCalls(MemOp::kReadRange), 2);
}

}  // namespace
}  // namespace tarn
