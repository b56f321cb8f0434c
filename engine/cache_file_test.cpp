#include "engine/cache_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <future>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "engine/map_file.h"
#include "foundation/log.h"
#include "foundation/memory_env.h"
#include "testing/fake_remote.h"
#include "testing/gate.h"
#include "testing/test_clock.h"

namespace tarn {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kBs = 4096;

std::string Pattern(uint64_t n, uint8_t seed) {
  std::string s(n, '\0');
  for (uint64_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 7 + seed + i / 251) & 0xff);
  return s;
}

using test::Gate;

using test::FakeRemote;

class CacheFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "tarn-cachefile-XXXXXX").string();
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { fs::remove_all(dir_); }

  // A clean object whose server copy is `content`.
  std::shared_ptr<CacheFile> makeFile(const std::string& content, const std::string& tag = "f",
                                      uint32_t blockSize = kBs) {
    remote_.content = content;
    auto f = std::make_shared<CacheFile>(dir_ + "/" + tag + ".bin", dir_ + "/" + tag + ".map", "/remote/" + tag,
                                         tag, blockSize);
    EXPECT_TRUE(f->openData().ok());
    RemoteAttr attr;
    attr.size = content.size();
    attr.etag = "e1";
    f->applyRemote(attr, nullptr, nullptr);
    return f;
  }

  std::string readAll(CacheFile& f, uint64_t offset, uint64_t length, Status* st = nullptr) {
    std::string out(length, '\xee');
    uint64_t got = 0;
    Status s = f.read(offset, out.data(), length, got, remote_.fetcher(), nullptr);
    if (st != nullptr) *st = s;
    EXPECT_TRUE(st != nullptr || s.ok()) << s.toString();
    out.resize(got);
    return out;
  }

  static uint64_t fileLength(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0);
    return static_cast<uint64_t>(st.st_size);
  }

  std::string dir_;
  FakeRemote remote_;
};

TEST_F(CacheFileTest, ReadsFetchEachMissingRunOnceAndStopAtTheSize) {
  const std::string content = Pattern(3 * kBs + 2048, 1);
  auto f = makeFile(content);
  struct Case {
    uint64_t offset;
    uint64_t length;
    std::vector<std::pair<uint64_t, uint64_t>> newRequests;
  } cases[] = {
      {content.size(), 10, {}},                       // at the size: nothing
      {content.size() + 5000, 10, {}},                // beyond the size
      {100, 0, {}},                                   // empty length
      {100, 2 * kBs + 5, {{0, 3 * kBs}}},             // blocks 0..2, one run
      {10, 3 * kBs - 10, {}},                         // all present now
      {3 * kBs + 2000, 4000, {{3 * kBs, 2048}}},     // cut at the size
      {0, content.size(), {}},
  };
  for (const Case& c : cases) {
    const size_t before = remote_.calls();
    const std::string got = readAll(*f, c.offset, c.length);
    const uint64_t want = c.offset >= content.size() ? 0 : std::min<uint64_t>(c.length, content.size() - c.offset);
    EXPECT_EQ(got, content.substr(std::min<uint64_t>(c.offset, content.size()), want)) << c.offset;
    std::vector<std::pair<uint64_t, uint64_t>> added(remote_.requests.begin() + before, remote_.requests.end());
    EXPECT_EQ(added, c.newRequests) << c.offset;
  }
  EXPECT_TRUE(f->isComplete());
  EXPECT_FALSE(f->hasDirty());
}

TEST_F(CacheFileTest, EmptyObjectHasNoBlocks) {
  auto f = makeFile("");
  EXPECT_EQ(f->size(), 0u);
  EXPECT_TRUE(f->isComplete());
  EXPECT_TRUE(f->dirtyRanges().empty());
  EXPECT_EQ(readAll(*f, 0, 10), "");
  char c;
  EXPECT_TRUE(f->readIfCached(0, &c, 0));
  EXPECT_FALSE(f->readIfCached(0, &c, 1));
  EXPECT_EQ(remote_.calls(), 0u);
}

TEST_F(CacheFileTest, GrowingWriteLeavesZeroGapWithoutFetching) {
  const std::string content = Pattern(100, 2);
  auto f = makeFile(content);
  ASSERT_TRUE(f->write(5 * kBs, "0123456789", 10).ok());
  EXPECT_EQ(f->size(), 5 * kBs + 10);
  EXPECT_EQ(readAll(*f, kBs, 4 * kBs), std::string(4 * kBs, '\0'));
  EXPECT_EQ(remote_.calls(), 0u);
  // The old last block was missing: it still comes from the server.
  EXPECT_EQ(readAll(*f, 0, 100), content);
  EXPECT_EQ(readAll(*f, 100, kBs - 100), std::string(kBs - 100, '\0'));
  ASSERT_EQ(remote_.calls(), 1u);
  EXPECT_EQ(remote_.requests[0], std::make_pair(uint64_t{0}, uint64_t{100}));
  using Ranges = std::vector<std::pair<uint64_t, uint64_t>>;
  EXPECT_EQ(f->dirtyRanges(), (Ranges{{kBs, 4 * kBs + 10}}));
  EXPECT_EQ(fileLength(f->binPath()), f->size());
}

TEST_F(CacheFileTest, BlocksBeyondServerSizeCostNoRequest) {
  auto f = makeFile(Pattern(100, 3));
  ASSERT_TRUE(f->truncate(3 * kBs).ok());
  f->reset();  // every block missing again, the local size kept
  EXPECT_EQ(f->size(), 3 * kBs);
  EXPECT_FALSE(f->isComplete());
  EXPECT_EQ(readAll(*f, 2 * kBs, kBs), std::string(kBs, '\0'));
  EXPECT_EQ(remote_.calls(), 0u);
  // A run that crosses the server's end asks only for the server's bytes.
  EXPECT_EQ(readAll(*f, 0, 2 * kBs), remote_.content + std::string(2 * kBs - 100, '\0'));
  ASSERT_EQ(remote_.calls(), 1u);
  EXPECT_EQ(remote_.requests[0], std::make_pair(uint64_t{0}, uint64_t{100}));
}

TEST_F(CacheFileTest, FailedFetchesLeaveBlocksMissing) {
  struct Case {
    const char* what;
    uint64_t shortBy;
    Status fail;
    int32_t wantCode;
    std::string wantMessage;
  } cases[] = {
      {"short delivery", 10, Status(), Status::kNetwork, "short read from server"},
      {"fetcher failure passes through", 0, Status(Status::kTimeout, "GET -> timed out", 7), Status::kTimeout,
       "GET -> timed out"},
  };
  for (const Case& c : cases) {
    auto f = makeFile(Pattern(2 * kBs, 4), c.what[0] == 's' ? "short" : "fail");
    remote_.requests.clear();
    remote_.shortBy = c.shortBy;
    remote_.failWith = c.fail;
    remote_.failOnCall = c.fail.ok() ? 0 : 1;
    Status st;
    EXPECT_EQ(readAll(*f, 0, 2 * kBs, &st), "") << c.what;
    EXPECT_EQ(st.code, c.wantCode) << c.what;
    EXPECT_EQ(st.message, c.wantMessage) << c.what;
    EXPECT_FALSE(f->isComplete()) << c.what;
    // Nothing stays in flight: the next read fetches again and succeeds.
    remote_.shortBy = 0;
    remote_.failOnCall = 0;
    EXPECT_EQ(readAll(*f, 0, 2 * kBs), remote_.content) << c.what;
    EXPECT_EQ(remote_.calls(), 2u) << c.what;
  }
}

TEST_F(CacheFileTest, FailedLaterRunKeepsEarlierRuns) {
  auto f = makeFile(Pattern(3 * kBs, 5));
  const std::string local(kBs, 'L');
  ASSERT_TRUE(f->write(kBs, local.data(), kBs).ok());  // splits the read into two runs
  remote_.failOnCall = 2;
  remote_.failWith = Status(Status::kNetwork, "connection reset");
  Status st;
  readAll(*f, 0, 3 * kBs, &st);
  EXPECT_EQ(st.code, Status::kNetwork);
  ASSERT_EQ(remote_.calls(), 2u);
  EXPECT_EQ(remote_.requests[1], std::make_pair(uint64_t{2 * kBs}, uint64_t{kBs}));
  std::string block(kBs, '\0');
  EXPECT_TRUE(f->readIfCached(0, block.data(), kBs));
  EXPECT_EQ(block, remote_.content.substr(0, kBs));
  EXPECT_FALSE(f->readIfCached(2 * kBs, block.data(), kBs));
  EXPECT_EQ(readAll(*f, 0, 3 * kBs), remote_.content.substr(0, kBs) + local + remote_.content.substr(2 * kBs));
}

TEST_F(CacheFileTest, ThrowingFetcherFailsTheReadAndFreesTheBlocks) {
  auto f = makeFile(Pattern(kBs, 18));
  Fetcher throwing = [](CacheFile*, uint64_t, uint8_t*, uint64_t, uint64_t&, const CancelToken*) -> Status {
    throw std::runtime_error("boom");
  };
  std::string buf(kBs, '\0');
  uint64_t got = 7;
  Status st = f->read(0, buf.data(), kBs, got, throwing, nullptr);
  EXPECT_EQ(st.code, Status::kIo);
  EXPECT_EQ(st.message, "fetch failed: boom");
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(readAll(*f, 0, kBs), remote_.content);  // not left waiting on the block
}

TEST_F(CacheFileTest, StaleFetchStopsBeforeItsLaterRuns) {
  auto f = makeFile(Pattern(3 * kBs, 19));
  const std::string local(kBs, 'L');
  ASSERT_TRUE(f->write(kBs, local.data(), kBs).ok());  // runs: block 0, block 2
  Gate gate;
  remote_.gate = &gate;
  auto reader = std::async(std::launch::async, [&] { return readAll(*f, 0, 3 * kBs); });
  gate.waitArrived();
  f->reset();  // also drops the local block: one run of three blocks now
  gate.release();
  EXPECT_TRUE(reader.get() == remote_.content);
  using Requests = std::vector<std::pair<uint64_t, uint64_t>>;
  EXPECT_EQ(remote_.requests, (Requests{{0, kBs}, {0, 3 * kBs}}));
}

TEST_F(CacheFileTest, SecondReaderWaitsForTheFetchInFlight) {
  auto f = makeFile(Pattern(kBs, 6));
  Gate gate;
  remote_.gate = &gate;
  auto first = std::async(std::launch::async, [&] { return readAll(*f, 0, kBs); });
  gate.waitArrived();
  auto second = std::async(std::launch::async, [&] { return readAll(*f, 10, 100); });
  // The second reader must be parked on the block, not fetching it itself.
  EXPECT_EQ(second.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
  gate.release();
  EXPECT_EQ(first.get(), remote_.content);
  EXPECT_EQ(second.get(), remote_.content.substr(10, 100));
  EXPECT_EQ(remote_.calls(), 1u);
}

TEST_F(CacheFileTest, PrefetchSkipsBlocksInFlightInsteadOfWaiting) {
  auto f = makeFile(Pattern(4 * kBs, 9));
  Gate gate;
  remote_.gate = &gate;
  auto first = std::async(std::launch::async, [&] { return f->prefetchRange(0, 2 * kBs + 10, remote_.fetcher(), nullptr); });
  ASSERT_TRUE(gate.waitArrived());
  // Readahead sees work only where a block is neither here nor coming.
  EXPECT_FALSE(f->wantsFetch(0, 2 * kBs + 10));
  EXPECT_TRUE(f->wantsFetch(2 * kBs, 2 * kBs));
  EXPECT_FALSE(f->wantsFetch(4 * kBs, kBs));  // past the end
  EXPECT_FALSE(f->wantsFetch(kBs, 0));
  // Blocks 0..2 are in flight; the overlapping piece takes block 3 alone and
  // must come back while the first fetch is still held.
  auto second =
      std::async(std::launch::async, [&] { return f->prefetchRange(2 * kBs + 10, 2 * kBs, remote_.fetcher(), nullptr); });
  ASSERT_EQ(second.wait_for(std::chrono::seconds(30)), std::future_status::ready);
  EXPECT_TRUE(second.get().ok());
  std::string block(kBs, '\0');
  EXPECT_TRUE(f->readIfCached(3 * kBs, block.data(), kBs));
  EXPECT_FALSE(f->readIfCached(2 * kBs, block.data(), kBs));
  EXPECT_FALSE(f->wantsFetch(3 * kBs, kBs));  // present now
  gate.release();
  EXPECT_TRUE(first.get().ok());
  EXPECT_TRUE(f->isComplete());
  std::lock_guard<std::mutex> lock(remote_.mu);
  EXPECT_EQ(remote_.requests, (std::vector<std::pair<uint64_t, uint64_t>>{{0, 3 * kBs}, {3 * kBs, kBs}}));
}

TEST_F(CacheFileTest, WaitForBlockInFlightEndsOnCancel) {
  auto f = makeFile(Pattern(kBs, 7));
  Gate gate;
  remote_.gate = &gate;
  auto first = std::async(std::launch::async, [&] { return readAll(*f, 0, kBs); });
  gate.waitArrived();
  CancelToken token;
  auto second = std::async(std::launch::async, [&] {
    return f->ensureRange(0, kBs, remote_.fetcher(), &token);
  });
  token.cancel();
  Status st = second.get();
  EXPECT_EQ(st.code, Status::kCanceled);
  EXPECT_EQ(st.message, "");
  gate.release();
  EXPECT_EQ(first.get(), remote_.content);
  EXPECT_EQ(remote_.calls(), 1u);
}

TEST_F(CacheFileTest, LongWaitForBlockInFlightIsLoggedOnce) {
  test::ScopedTestClock clock;
  vx::log::open(dir_, "wait");
  auto f = makeFile(Pattern(kBs, 7), "w");
  Gate gate;
  remote_.gate = &gate;
  auto first = std::async(std::launch::async, [&] { return readAll(*f, 0, kBs); });
  gate.waitArrived();
  CancelToken token;
  auto second = std::async(std::launch::async, [&] { return f->ensureRange(0, kBs, remote_.fetcher(), &token); });
  const std::string line = "cache w: waiting 30 s for block 0 (range 0..0), 1 in flight: 0 ";
  auto logged = [&] {
    std::string text;
    ReadSmallFile(*Env::Default(), dir_ + "/wait.log", &text);
    size_t count = 0;
    for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) ++count;
    return count;
  };
  // The waiter notes its start on its first slice; keep moving time until it
  // has seen more than 30 s pass.
  for (int i = 0; i < 500 && logged() == 0; ++i) {
    clock.advance(31000);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(logged(), 1u);
  clock.advance(100000);
  token.cancel();
  EXPECT_EQ(second.get().code, Status::kCanceled);
  EXPECT_EQ(logged(), 1u);
  gate.release();
  EXPECT_EQ(first.get(), remote_.content);
}

TEST_F(CacheFileTest, TruncateMarksBlocksAndSizesTheDataFile) {
  using Ranges = std::vector<std::pair<uint64_t, uint64_t>>;
  struct Case {
    const char* what;
    uint64_t first;  // a truncation before the one under test (0: none)
    uint64_t newSize;
    Ranges wantDirty;
    bool wantComplete;
  } cases[] = {
      {"shrink into a block", 0, 2 * kBs + 10, {{2 * kBs, 10}}, true},
      {"shrink to a block edge", 0, 2 * kBs, {{kBs, kBs}}, true},
      {"shrink to nothing", 0, 0, {}, true},
      {"grow", 0, 5 * kBs + 1, {{2 * kBs, 3 * kBs + 1}}, true},
      {"grow from empty", 1, 2 * kBs, {{0, 2 * kBs}}, true},
      {"same size", 0, 3 * kBs, {}, true},
  };
  int n = 0;
  for (const Case& c : cases) {
    auto f = makeFile(Pattern(3 * kBs, 8), "t" + std::to_string(n++));
    readAll(*f, 0, 3 * kBs);
    if (c.first != 0) {
      ASSERT_TRUE(f->truncate(0).ok());
    }
    ASSERT_TRUE(f->truncate(c.newSize).ok()) << c.what;
    EXPECT_EQ(f->size(), c.newSize) << c.what;
    EXPECT_EQ(fileLength(f->binPath()), c.newSize) << c.what;
    EXPECT_EQ(f->dirtyRanges(), c.wantDirty) << c.what;
    EXPECT_EQ(f->isComplete(), c.wantComplete) << c.what;
    const uint64_t kept = std::min<uint64_t>(c.first != 0 ? 0 : 3 * kBs, c.newSize);
    const std::string all = readAll(*f, 0, c.newSize);
    EXPECT_EQ(all, remote_.content.substr(0, kept) + std::string(c.newSize - kept, '\0')) << c.what;
  }
  EXPECT_EQ(remote_.calls(), std::size(cases));  // the initial reads only
}

TEST_F(CacheFileTest, TruncatedToZeroThenExtendedNeverShowsServerBytes) {
  auto f = makeFile(Pattern(2 * kBs, 9));
  ASSERT_TRUE(f->truncate(0).ok());
  ASSERT_TRUE(f->write(kBs, "abc", 3).ok());
  EXPECT_EQ(readAll(*f, 0, kBs + 3), std::string(kBs, '\0') + "abc");
  EXPECT_EQ(remote_.calls(), 0u);
}

// Sizes no file can have (a server's "-1" read as unsigned, a wrapped sum)
// are refused and leave the object as it was; before, their block counts
// wrapped and a read spun for ever under the lock.
TEST_F(CacheFileTest, SizesNoCachedFileCanHaveAreRefused) {
  const std::string content = Pattern(kBs + 100, 20);
  auto f = makeFile(content);
  const uint64_t max = f->maxFileBytes();
  EXPECT_LE(max, kMaxRemoteFileBytes);
  auto serverSize = [&](uint64_t size) {
    RemoteAttr attr;
    attr.size = size;
    attr.etag = "e2";
    bool changed = true;
    Status st = f->applyRemote(attr, &changed, nullptr);
    EXPECT_FALSE(changed);
    return st;
  };
  const std::string data(16, 'x');
  struct Case {
    const char* what;
    std::function<Status()> op;
  } cases[] = {
      {"server size -1", [&] { return serverSize(UINT64_MAX); }},
      {"server size past the bound", [&] { return serverSize(kMaxRemoteFileBytes + 1); }},
      {"server size past this block size's bound", [&] { return serverSize(max + 1); }},
      {"truncate to -1", [&] { return f->truncate(UINT64_MAX); }},
      {"truncate past the bound", [&] { return f->truncate(max + 1); }},
      {"write whose end wraps", [&] { return f->write(UINT64_MAX - 5, data.data(), 10); }},
      {"write just past the bound", [&] { return f->write(max, data.data(), 1); }},
      {"write straddling the bound", [&] { return f->write(max - 1, data.data(), 2); }},
      {"write of a wrapping length", [&] { return f->write(1, data.data(), UINT64_MAX); }},
  };
  for (const Case& c : cases) {
    Status st = c.op();
    EXPECT_EQ(st.code, Status::kTooLarge) << c.what;
    EXPECT_EQ(f->size(), content.size()) << c.what;
    EXPECT_EQ(readAll(*f, 0, 4 * kBs), content) << c.what;
  }
  EXPECT_FALSE(f->hasDirty());
  std::string buf(8, '\0');
  EXPECT_FALSE(f->readIfCached(UINT64_MAX - 2, buf.data(), 8));
  EXPECT_TRUE(f->ensureRange(10, UINT64_MAX, remote_.fetcher(), nullptr).ok());
  f->markRangeClean(UINT64_MAX - 2, 8);
  f->clearUploadMarks(kBs, UINT64_MAX);
  // The bound itself is a size the object can take.
  ASSERT_TRUE(f->truncate(max).ok());
  EXPECT_EQ(f->size(), max);
  EXPECT_EQ(readAll(*f, max - 10, 100), std::string(10, '\0'));
}

// Reading a file larger than one run asks for it in bounded pieces, so that
// a whole-file upload of a huge file does not need its size in memory.
TEST_F(CacheFileTest, LargeReadsFetchInBoundedRuns) {
  constexpr uint32_t kBlock = 1 << 20;
  constexpr uint64_t kRun = kMaxFetchRunBytes;
  auto f = makeFile(Pattern(2 * kRun + 8 * kBlock + 5, 21), "big", kBlock);
  ASSERT_TRUE(f->ensureRange(0, f->size(), remote_.fetcher(), nullptr).ok());
  using Requests = std::vector<std::pair<uint64_t, uint64_t>>;
  EXPECT_EQ(remote_.requests, (Requests{{0, kRun}, {kRun, kRun}, {2 * kRun, 8 * kBlock + 5}}));
  EXPECT_TRUE(f->isComplete());
  std::string tail(5, '\0');
  ASSERT_TRUE(f->readIfCached(2 * kRun + 8 * kBlock, tail.data(), 5));
  EXPECT_EQ(tail, remote_.content.substr(2 * kRun + 8 * kBlock));
}

// A whole-file fetch holds only the run it is bringing in: a reader of the
// file's end fetches that block itself, while the first run is still on its
// way, and the whole-file fetch then leaves it out.
TEST_F(CacheFileTest, AWholeFileFetchLeavesLaterRunsToTheirReaders) {
  constexpr uint32_t kBlock = 1 << 20;
  constexpr uint64_t kRun = kMaxFetchRunBytes;
  auto f = makeFile(Pattern(kRun + kBlock, 23), "whole", kBlock);
  Gate gate;
  remote_.gate = &gate;
  auto whole = std::async(std::launch::async, [&] { return f->prefetchRange(0, f->size(), remote_.fetcher(), nullptr); });
  // A failed check must not leave the fetch held for ever.
  struct Release {
    Gate& gate;
    ~Release() { gate.release(); }
  } release{gate};
  ASSERT_TRUE(gate.waitArrived());
  ASSERT_TRUE(f->wantsFetch(kRun, kBlock));  // the last block is nobody's yet
  EXPECT_EQ(readAll(*f, kRun + 10, 100), remote_.content.substr(kRun + 10, 100));
  gate.release();
  EXPECT_TRUE(whole.get().ok());
  EXPECT_TRUE(f->isComplete());
  std::lock_guard<std::mutex> lock(remote_.mu);
  using Requests = std::vector<std::pair<uint64_t, uint64_t>>;
  EXPECT_EQ(remote_.requests, (Requests{{0, kRun}, {kRun, kBlock}}));
}

TEST_F(CacheFileTest, DirtyRangesMergeTouchingBlocks) {
  using Ranges = std::vector<std::pair<uint64_t, uint64_t>>;
  auto f = makeFile(Pattern(5 * kBs + 7, 10));
  readAll(*f, 0, f->size());
  ASSERT_TRUE(f->write(10, "x", 1).ok());
  ASSERT_TRUE(f->write(kBs + 10, "y", 1).ok());
  ASSERT_TRUE(f->write(3 * kBs, "z", 1).ok());
  ASSERT_TRUE(f->write(5 * kBs + 1, "w", 1).ok());
  EXPECT_EQ(f->dirtyRanges(), (Ranges{{0, 2 * kBs}, {3 * kBs, kBs}, {5 * kBs, 7}}));
  EXPECT_TRUE(f->hasDirty());
}

TEST_F(CacheFileTest, UploadMarksKeepWritesMadeDuringTheUpload) {
  using Ranges = std::vector<std::pair<uint64_t, uint64_t>>;
  auto f = makeFile("");
  const std::string data = Pattern(2 * kBs + 10, 11);
  ASSERT_TRUE(f->write(0, data.data(), data.size()).ok());
  f->setDirty(true);

  f->clearUploadMarks(0, f->size());
  ASSERT_TRUE(f->write(kBs + 5, "again", 5).ok());  // lands while the upload runs
  f->markRangeClean(0, kBs + 100);                  // only block 0 lies wholly inside
  EXPECT_EQ(f->dirtyRanges(), (Ranges{{kBs, kBs + 10}}));
  f->markRangeClean(2 * kBs, 10);                   // the short last block is whole
  EXPECT_EQ(f->dirtyRanges(), (Ranges{{kBs, kBs}}));

  f->markUploaded("e2", data.size(), Timestamp{1700000000, 1});
  EXPECT_EQ(f->dirtyRanges(), (Ranges{{kBs, kBs}}));
  EXPECT_FALSE(f->isDirty());
  EXPECT_EQ(f->etag(), "e2");
  EXPECT_EQ(f->remoteSize(), data.size());

  f->clearUploadMarks(0, f->size());
  f->markUploaded("e3", data.size(), Timestamp{1700000001, 0});
  EXPECT_TRUE(f->dirtyRanges().empty());
  EXPECT_FALSE(f->hasDirty());
}

TEST_F(CacheFileTest, ApplyRemoteDecidesBetweenKeepDropAndConflict) {
  struct Case {
    const char* what;
    bool dirty;
    uint64_t size;
    std::string etag;
    Timestamp mtime;
    bool wantChanged;
    bool wantConflict;
    bool wantDataKept;
  } cases[] = {
      {"same version", false, 2 * kBs, "e1", {}, false, false, true},
      {"new size, clean", false, 3 * kBs, "e1", {}, true, false, false},
      {"new etag, clean", false, 2 * kBs, "e9", {}, true, false, false},
      {"new mtime, no etag", false, 2 * kBs, "", {5, 0}, true, false, false},
      {"new etag, dirty", true, 2 * kBs, "e9", {}, false, true, true},
      {"same version, dirty", true, 2 * kBs, "e1", {}, false, false, true},
  };
  int n = 0;
  for (const Case& c : cases) {
    auto f = makeFile(Pattern(2 * kBs, 12), "a" + std::to_string(n++));
    readAll(*f, 0, 2 * kBs);
    if (c.dirty) {
      ASSERT_TRUE(f->write(0, "D", 1).ok());
    }
    RemoteAttr attr;
    attr.size = c.size;
    attr.etag = c.etag;
    attr.mtime = c.mtime;
    bool changed = true, conflict = true;
    f->applyRemote(attr, &changed, &conflict);
    EXPECT_EQ(changed, c.wantChanged) << c.what;
    EXPECT_EQ(conflict, c.wantConflict) << c.what;
    EXPECT_EQ(f->isComplete(), c.wantDataKept) << c.what;
    EXPECT_EQ(f->size(), c.wantDataKept ? 2 * kBs : c.size) << c.what;
    if (!c.wantDataKept) {
      EXPECT_EQ(f->etag(), c.etag) << c.what;
      EXPECT_EQ(f->remoteSize(), c.size) << c.what;
    }
  }
}

// Where the server tells copies apart by a whole-second time alone, blocks
// read within that second (or two, for the clocks) are taken anew once the
// metadata lifetime has passed since they came, or at once after a restart;
// blocks read later, a version text, nanoseconds or local changes keep them.
TEST_F(CacheFileTest, BlocksReadWithinTheSecondOfTheirCopysTimeAreTakenAnewLater) {
  test::ScopedTestClock clock;
  constexpr uint64_t kLifetimeMs = 10000;
  const int64_t now = Timestamp::now().seconds;
  struct Case {
    const char* what;
    std::string etag;
    Timestamp mtime;
    bool write;   // a local change waits
    bool retake;  // once the lifetime has passed
  } cases[] = {
      {"read within the second", "", {now + 3600, 0}, false, true},
      {"read a second after", "", {now - kCopySettleSeconds, 0}, false, false},
      {"a version text tells", "e1", {now + 3600, 0}, false, false},
      {"nanoseconds tell", "", {now + 3600, 5}, false, false},
      {"local changes win", "", {now + 3600, 0}, true, false},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string tag = "t" + std::to_string(n++);
    std::shared_ptr<CacheFile> f = makeFile(Pattern(3 * kBs, 1), tag);
    RemoteAttr attr;
    attr.size = 3 * kBs;
    attr.etag = c.etag;
    attr.mtime = c.mtime;
    f->applyRemote(attr, nullptr, nullptr);
    ASSERT_EQ(readAll(*f, 0, 3 * kBs), Pattern(3 * kBs, 1));
    std::string kept = Pattern(3 * kBs, 1);
    if (c.write) {
      ASSERT_TRUE(f->write(0, "x", 1).ok());
      kept[0] = 'x';
    }
    EXPECT_FALSE(f->retakeUnsettledCopy(kLifetimeMs));
    clock.advance(kLifetimeMs);
    const uint64_t epoch = f->epoch();
    EXPECT_EQ(f->retakeUnsettledCopy(kLifetimeMs), c.retake);
    EXPECT_EQ(f->isComplete(), !c.retake);
    EXPECT_EQ(f->epoch() != epoch, c.retake);
    // Taken anew, the blocks read now decide again; the map keeps the verdict.
    remote_.content = Pattern(3 * kBs, 2);
    EXPECT_EQ(readAll(*f, 0, 3 * kBs), c.retake ? Pattern(3 * kBs, 2) : kept);
    ASSERT_TRUE(f->saveMap());
    auto again = std::make_shared<CacheFile>(dir_ + "/" + tag + ".bin", dir_ + "/" + tag + ".map", "/remote/" + tag,
                                             tag, kBs);
    ASSERT_TRUE(again->openData().ok());
    ASSERT_TRUE(again->loadMap());
    EXPECT_EQ(again->retakeUnsettledCopy(kLifetimeMs), c.retake) << "after a restart";
  }
}

TEST_F(CacheFileTest, FirstEmptyServerCopyOnlyRecordsItsVersion) {
  auto f = std::make_shared<CacheFile>(dir_ + "/n.bin", dir_ + "/n.map", "/n", "n", kBs);
  ASSERT_TRUE(f->openData().ok());
  RemoteAttr attr;
  attr.etag = "fresh";
  attr.mtime = Timestamp{42, 7};
  bool changed = true, conflict = true;
  f->applyRemote(attr, &changed, &conflict);
  EXPECT_FALSE(changed);
  EXPECT_FALSE(conflict);
  EXPECT_EQ(f->etag(), "fresh");
  EXPECT_EQ(f->remoteMtime(), attr.mtime);
}

TEST_F(CacheFileTest, StreamFillStoresWholeBlocksAndSparesLocalOnes) {
  const std::string content = Pattern(2 * kBs + kBs / 2, 14);
  auto f = makeFile(content);
  // Block 0 made dirty by a whole-block write must survive the stream.
  const std::string local(kBs, 'L');
  ASSERT_TRUE(f->write(0, local.data(), kBs).ok());
  f->fillFromStream(0, content.data(), 2 * kBs + 100, f->epoch());  // block 2 is not whole in this piece
  std::string buf(kBs, '\0');
  EXPECT_TRUE(f->readIfCached(0, buf.data(), kBs));
  EXPECT_EQ(buf, local);
  EXPECT_TRUE(f->readIfCached(kBs, buf.data(), kBs));
  EXPECT_EQ(buf, content.substr(kBs, kBs));
  EXPECT_FALSE(f->readIfCached(2 * kBs, buf.data(), 10));
  f->fillFromStream(2 * kBs, content.data() + 2 * kBs, kBs / 2, f->epoch());  // the short last block
  EXPECT_TRUE(f->isComplete());
  f->fillFromStream(10, content.data() + 10, 100, f->epoch());  // starts inside block 0: stores nothing
  EXPECT_EQ(readAll(*f, 0, content.size()), local + content.substr(kBs));
  EXPECT_EQ(remote_.calls(), 0u);
}

// A stream opened before the server's copy was replaced (or the file reset
// or cut) carries old bytes; none of them may be stored.
TEST_F(CacheFileTest, StreamOfAnOlderEpochStoresNothing) {
  enum Action { kNewServerCopy, kReset, kTruncate, kWrite };
  struct Case {
    const char* what;
    Action action;
    bool stale;
  } cases[] = {
      {"server copy replaced", kNewServerCopy, true},
      {"reset", kReset, true},
      {"truncate", kTruncate, true},
      {"a write leaves the stream usable", kWrite, false},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string old = Pattern(3 * kBs, 22);
    auto f = makeFile(old, "s" + std::to_string(n++));
    const uint64_t opened = f->epoch();
    switch (c.action) {
      case kNewServerCopy: {
        RemoteAttr attr;
        attr.size = old.size();
        attr.etag = "e2";
        ASSERT_TRUE(f->applyRemote(attr, nullptr, nullptr).ok());
        break;
      }
      case kReset: f->reset(); break;
      case kTruncate: ASSERT_TRUE(f->truncate(3 * kBs + 1).ok()); break;
      case kWrite: ASSERT_TRUE(f->write(2 * kBs, "w", 1).ok()); break;
    }
    f->fillFromStream(0, old.data(), old.size(), opened);
    std::string block(kBs, '\0');
    EXPECT_EQ(f->readIfCached(0, block.data(), kBs), !c.stale) << c.what;
    if (!c.stale) {
      EXPECT_EQ(block, old.substr(0, kBs)) << c.what;
    }
  }
}

// A change made while a fetch of the same block is on the wire must win over
// the fetched bytes.
TEST_F(CacheFileTest, ChangesDuringFetchWinOverFetchedData) {
  enum Action { kWrite, kReset, kApplyRemote, kTruncate };
  struct Case {
    const char* what;
    Action action;
  } cases[] = {
      {"write", kWrite}, {"reset", kReset}, {"server copy replaced", kApplyRemote}, {"truncate", kTruncate},
  };
  int n = 0;
  for (const Case& c : cases) {
    remote_.requests.clear();
    const std::string oldContent = Pattern(kBs, 15);
    auto f = makeFile(oldContent, "r" + std::to_string(n++));
    Gate gate;
    remote_.gate = &gate;
    auto reader = std::async(std::launch::async, [&] { return readAll(*f, 0, kBs); });
    gate.waitArrived();  // the fetch holds the old bytes now

    const std::string local(kBs, 'W');
    const std::string newContent = Pattern(kBs + 500, 16);
    std::string want;
    switch (c.action) {
      case kWrite:
        ASSERT_TRUE(f->write(0, local.data(), kBs).ok());
        want = local;
        break;
      case kReset:
        remote_.content = newContent.substr(0, kBs);
        f->reset();
        want = newContent.substr(0, kBs);
        break;
      case kApplyRemote: {
        remote_.content = newContent;
        RemoteAttr attr;
        attr.size = newContent.size();
        attr.etag = "e2";
        bool changed = false;
        f->applyRemote(attr, &changed, nullptr);
        ASSERT_TRUE(changed);
        want = newContent.substr(0, kBs);
        break;
      }
      case kTruncate:
        ASSERT_TRUE(f->truncate(100).ok());
        want = oldContent.substr(0, 100);
        break;
    }
    gate.release();
    EXPECT_TRUE(reader.get() == want) << c.what;
    EXPECT_TRUE(readAll(*f, 0, kBs) == want) << c.what;
    EXPECT_EQ(fileLength(f->binPath()), f->size()) << c.what;
  }
}

// The data file of a memory Env whose reads can be made to fail and whose
// first write can be held at a gate.
class HookedCacheFile {
 public:
  explicit HookedCacheFile(uint64_t size) : file_("/c/f.bin", "/c/f.map", "/remote/f", "f", kBs, &env_) {
    EXPECT_TRUE(env_.makeDir("/c").ok());
    EXPECT_TRUE(file_.openData().ok());
    RemoteAttr attr;
    attr.size = size;
    attr.etag = "e1";
    file_.applyRemote(attr, nullptr, nullptr);
    env_.setHook([this](const MemoryEnv::StepInfo& step) {
      if (step.path != "/c/f.bin") return Status();
      if (step.step == MemoryEnv::Step::kRead && failReads.load()) return Status(Status::kIo, "read refused");
      if (step.step == MemoryEnv::Step::kWrite && holdWrite.exchange(false)) writeGate.arriveAndWait();
      return Status();
    });
  }
  ~HookedCacheFile() { env_.setHook(nullptr); }
  CacheFile& operator*() { return file_; }

  std::atomic<bool> failReads{false};
  std::atomic<bool> holdWrite{false};
  Gate writeGate;

 private:
  MemoryEnv env_;
  CacheFile file_;
};

TEST_F(CacheFileTest, TheFetchingReaderGetsItsBytesFromTheFetch) {
  const std::string content = Pattern(4 * kBs, 21);
  remote_.content = content;
  HookedCacheFile f(content.size());
  f.failReads = true;
  EXPECT_EQ(readAll(*f, 100, kBs), content.substr(100, kBs));
  // Bytes already cached come from the data file.
  Status st;
  readAll(*f, 0, 10, &st);
  EXPECT_EQ(st.code, Status::kIo);
}

TEST_F(CacheFileTest, CachedBlocksStayReadableWhileFetchedBytesAreStored) {
  const std::string content = Pattern(4 * kBs, 22);
  remote_.content = content;
  HookedCacheFile f(content.size());
  EXPECT_EQ(readAll(*f, 3 * kBs, kBs), content.substr(3 * kBs));
  f.holdWrite = true;
  auto reader = std::async(std::launch::async, [&] { return readAll(*f, 0, kBs); });
  ASSERT_TRUE(f.writeGate.waitArrived());
  auto other = std::async(std::launch::async, [&] {
    std::string block(kBs, '\0');
    return (*f).readIfCached(3 * kBs, block.data(), kBs) && block == content.substr(3 * kBs);
  });
  const bool readWhileStoring =
      other.wait_for(std::chrono::milliseconds(Gate::kDefaultWaitMs)) == std::future_status::ready;
  f.writeGate.release();
  EXPECT_TRUE(readWhileStoring);
  EXPECT_TRUE(other.get());
  EXPECT_EQ(reader.get(), content.substr(0, kBs));
}

// Counts the starts of write-out asked of data files.
class WriteOutCountingEnv : public MemoryEnv {
 public:
  Status open(const std::string& path, OpenMode mode, std::unique_ptr<EnvFile>* file) override {
    std::unique_ptr<EnvFile> inner;
    Status st = MemoryEnv::open(path, mode, &inner);
    if (st.ok()) *file = std::make_unique<Counted>(std::move(inner), path.ends_with(".bin") ? &starts : nullptr);
    return st;
  }
  std::atomic<int> starts{0};

 private:
  class Counted : public EnvFile {
   public:
    Counted(std::unique_ptr<EnvFile> inner, std::atomic<int>* starts) : inner_(std::move(inner)), starts_(starts) {}
    Status read(uint64_t offset, void* buffer, size_t length, size_t* got) override {
      return inner_->read(offset, buffer, length, got);
    }
    Status write(uint64_t offset, const void* data, size_t length) override {
      return inner_->write(offset, data, length);
    }
    Status truncate(uint64_t size) override { return inner_->truncate(size); }
    Status sync() override { return inner_->sync(); }
    Status startSync() override {
      if (starts_ != nullptr) ++*starts_;
      return inner_->startSync();
    }
    Status size(uint64_t* out) override { return inner_->size(out); }
    Status close() override { return inner_->close(); }

   private:
    std::unique_ptr<EnvFile> inner_;
    std::atomic<int>* starts_;
  };
};

// A large file written through the cache goes on to the disk while it is
// written, not all at once at its upload; small files cost nothing for it.
TEST(CacheFileWriteOutTest, LargeWritesReachTheDiskAsTheyGoAndSmallFilesAreLeftAlone) {
  WriteOutCountingEnv env;
  ASSERT_TRUE(env.makeDir("/c").ok());
  const std::string piece = Pattern(1 << 20, 9);
  CacheFile big("/c/big.bin", "/c/big.map", "/big", "big", kBs, &env);
  ASSERT_TRUE(big.openData().ok());
  const uint64_t pieces = (2 * kWriteOutBytes + kWriteOutBytes / 2) / piece.size();
  for (uint64_t i = 0; i < pieces; ++i) ASSERT_TRUE(big.write(i * piece.size(), piece.data(), piece.size()).ok());
  EXPECT_EQ(env.starts.load(), 2);
  // Rewriting the same bytes counts as writing too: they are dirty again.
  for (uint64_t i = 0; i < kWriteOutBytes / piece.size(); ++i)
    ASSERT_TRUE(big.write(i * piece.size(), piece.data(), piece.size()).ok());
  EXPECT_EQ(env.starts.load(), 3);
  std::string back(piece.size(), '\0');
  uint64_t got = 0;
  ASSERT_TRUE(big.read((pieces - 1) * piece.size(), back.data(), back.size(), got, nullptr, nullptr).ok());
  EXPECT_EQ(back, piece);

  env.starts = 0;
  for (int i = 0; i < 100; ++i) {
    const std::string name = "/c/s" + std::to_string(i);
    CacheFile small(name + ".bin", name + ".map", name, "s", kBs, &env);
    ASSERT_TRUE(small.openData().ok());
    ASSERT_TRUE(small.write(0, piece.data(), 30000).ok());
  }
  EXPECT_EQ(env.starts.load(), 0);
}

}  // namespace
}  // namespace tarn
