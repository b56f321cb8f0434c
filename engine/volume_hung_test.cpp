// A server that accepts and never answers: every wait on it ends within the
// budget of the connect and I/O time-outs, while what the cache holds is
// served without it. Time passes on the test clock only.
#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <vector>

#include "engine/volume.h"
#include "testing/test_clock.h"
#include "testing/volume_harness.h"

namespace tarn {
namespace {

using test::MemOp;

constexpr uint64_t kBs = 4096;
constexpr uint32_t kConnectMs = 1000;
constexpr uint32_t kIoMs = 2000;
constexpr uint32_t kBudgetMs = kConnectMs + kIoMs;
// How far the clock may move while calls wait for a connection: past the
// budget, short of the pool's own bound on the wait.
constexpr uint64_t kClockReachMs = 50000;
static_assert(kClockReachMs < ConnectionPool::kRunAcquireTimeoutMs && kClockReachMs < VolumeTimings{}.fetchAcquireMs);

bool Ready(const std::future<Status>& f) { return f.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }

class HungServerTest : public ::testing::Test {
 protected:
  // rangeRead false: the server ignores ranges, so files are read as streams.
  void start(int32_t connections, bool rangeRead = true) {
    MountConfig config = test::MemoryDrive(kBs, connections);
    config.cache.readaheadBlocks = config.cache.readaheadMaxBlocks = 0;
    config.cache.wholeFileBelow = 0;
    config.net.connectTimeoutMs = kConnectMs;
    config.net.ioTimeoutMs = kIoMs;
    h_ = std::make_unique<test::VolumeHarness>(config);
    for (const char* path : {"/seen/a", "/seen/b", "/unseen/a", "/unseen/b"}) h_->server->putFile(path, content_);
    BackendCaps caps;
    caps.rangeRead = rangeRead;
    h_->server->setCaps(caps);
    ASSERT_TRUE(h_->volume->start(nullptr).ok());
  }
  Status read(const std::shared_ptr<OpenFile>& file, std::string* out = nullptr) {
    Status st;
    std::string got = h_->read(file, 0, content_.size(), &st);
    if (out != nullptr) *out = got;
    return st;
  }

  // Declared first: the volume reads it until it is gone.
  test::ScopedTestClock clock_;
  const std::string content_ = test::Pattern(3 * kBs);
  std::unique_ptr<test::VolumeHarness> h_;
};

TEST_F(HungServerTest, CallsWaitingForAConnectionEndWithinTheBudgetWhileCachedOnesNeedNone) {
  start(1);
  Volume& v = *h_->volume;
  std::vector<DirEntry> listing;
  ASSERT_TRUE(v.readdir("/seen", listing).ok());
  std::shared_ptr<OpenFile> cached = h_->open("/seen/a");
  ASSERT_TRUE(read(cached).ok());
  std::shared_ptr<OpenFile> uncached = h_->open("/unseen/a");

  // The drive's only connection goes to a call the server never answers.
  auto hung = h_->server->addGate(MemOp::kStat, "/hung");
  std::future<Status> held = std::async(std::launch::async, [&] {
    RemoteAttr attr;
    return v.getattr("/hung", attr);
  });
  ASSERT_TRUE(hung->waitArrived());

  const size_t callsBefore = h_->server->calls().size();
  std::string got;
  EXPECT_TRUE(read(cached, &got).ok());
  EXPECT_EQ(got, content_);
  listing.clear();
  EXPECT_TRUE(v.readdir("/seen", listing).ok());
  EXPECT_EQ(listing.size(), 2u);
  RemoteAttr attr;
  EXPECT_TRUE(v.getattr("/seen/b", attr).ok());
  EXPECT_EQ(attr.size, content_.size());
  EXPECT_EQ(h_->server->calls().size(), callsBefore);

  const uint64_t begin = clock_.now();
  std::vector<std::future<Status>> waiting;
  waiting.push_back(std::async(std::launch::async, [&] {
    RemoteAttr a;
    return v.getattr("/unseen/b", a);
  }));
  waiting.push_back(std::async(std::launch::async, [&] {
    std::vector<DirEntry> l;
    return v.readdir("/unseen", l);
  }));
  waiting.push_back(std::async(std::launch::async, [&] { return read(uncached); }));
  const char* names[] = {"stat", "list", "read"};
  EXPECT_TRUE(test::Eventually([&] {
    if (clock_.now() < begin + kClockReachMs) clock_.advance(100);
    for (const auto& f : waiting)
      if (!Ready(f)) return false;
    return true;
  }));
  hung->release();
  for (size_t i = 0; i < waiting.size(); ++i) {
    Status st = waiting[i].get();
    EXPECT_EQ(st.code, Status::kTimeout) << names[i] << ": " << st.toString();
  }
  held.get();
}

TEST_F(HungServerTest, AnUncachedReadTriesAgainOnlyWhileTheBudgetLasts) {
  const int retries = test::MemoryDrive().net.retries;
  struct Case {
    bool rangeRead;
    MemOp op;           // the request that fails
    uint32_t silentMs;  // how long each request waits before it fails
    Status failure;
    int requests;
  } cases[] = {
      // One I/O time-out spent: another would end past the budget.
      {true, MemOp::kReadRange, kIoMs, Status(Status::kTimeout, "no answer"), 1},
      {false, MemOp::kOpenRead, kIoMs, Status(Status::kTimeout, "no answer"), 1},
      // Refused at once: every attempt fits.
      {true, MemOp::kReadRange, 0, Status(Status::kNetwork, "refused"), retries},
      {false, MemOp::kOpenRead, 0, Status(Status::kNetwork, "refused"), retries},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(MemOpName(c.op)) + " silent " + std::to_string(c.silentMs));
    h_.reset();
    start(2, c.rangeRead);
    test::FaultRule rule;
    rule.op = c.op;
    rule.times = 0;
    rule.status = c.failure;
    h_->server->addFault(rule);
    std::vector<std::shared_ptr<test::Gate>> gates;
    if (c.silentMs != 0)
      for (int i = 0; i < retries; ++i) gates.push_back(h_->server->addGate(c.op));
    std::shared_ptr<OpenFile> file = h_->open("/seen/a");
    std::future<Status> reading = std::async(std::launch::async, [&] { return read(file); });
    size_t next = 0;
    EXPECT_TRUE(test::Eventually([&] {
      if (next < gates.size() && gates[next]->arrived()) {
        clock_.advance(c.silentMs);
        gates[next++]->release();
      }
      return Ready(reading);
    }));
    for (auto& gate : gates) gate->release();
    EXPECT_EQ(reading.get().code, c.failure.code);
    EXPECT_EQ(h_->server->countCalls(c.op), c.requests);
  }
}

}  // namespace
}  // namespace tarn
