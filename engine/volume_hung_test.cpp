// A server that accepts and never answers: every wait on it ends within the
// budget of the connect and I/O time-outs, while what the cache holds is
// served without it; once a call found it silent, the others answer from
// the cache or fail at once until it answers again. Time passes on the
// test clock only.
#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <memory>
#include <vector>

#include "engine/clock.h"
#include "engine/probe.h"
#include "engine/volume.h"
#include "testing/temp_dir.h"
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

// A drive whose server stops answering as a stopped process does
// (MemoryServer::setSilent): every call waits there until one I/O time-out
// has passed on the clock, or until its token ends it. The drive saw the
// folder /d, its two files and one file's bytes, and its lifetimes of
// attributes are over; its listings' are not.
class SilentServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MountConfig config = test::MemoryDrive(kBs, 4);
    config.cache.readaheadBlocks = config.cache.readaheadMaxBlocks = 0;
    config.cache.wholeFileBelow = 0;
    config.cache.metaTtlMs = kAttrLifetimeMs;
    config.cache.dirTtlMs = config.cache.negativeTtlMs = 10 * kAttrLifetimeMs;
    config.net.connectTimeoutMs = kConnectMs;
    config.net.ioTimeoutMs = kIoMs;
    config.net.keepaliveSec = 0;
    h_ = std::make_unique<test::VolumeHarness>(config);
    h_->server->putFile("/d/cached", content_);
    h_->server->putFile("/d/uncached", content_);
    BackendCaps caps;
    caps.streamSequential = streams_;
    h_->server->setCaps(caps);
    ASSERT_TRUE(h_->volume->start(nullptr).ok());
    std::vector<DirEntry> listing;
    ASSERT_TRUE(h_->volume->readdir("/d", listing).ok());
    cached_ = h_->openFile("/d/cached");
    uncached_ = h_->openFile("/d/uncached");
    ASSERT_TRUE(cached_ && uncached_);
    ASSERT_EQ(h_->readAll(cached_), content_);
    clock_.advance(2 * kAttrLifetimeMs);
    // A reader through the file from its start, with its stream open.
    if (streams_) {
      ASSERT_EQ(h_->read(uncached_, 0, kBs), content_.substr(0, kBs));
    }
  }
  // Waiting calls go on, so that none outlives the test.
  void TearDown() override { h_->server->setSilent(0); }
  // A drive of its own for the next case, set up as the first was.
  void restart(bool streams) {
    TearDown();
    cached_.reset();
    uncached_.reset();
    h_.reset();
    streams_ = streams;
    SetUp();
  }

  // Runs `call`; once it waits on the server (when it asks it at all), the
  // clock moves on by `advanceMs` and stops. The call's status, or "still
  // waiting" when it needs the clock to move further.
  Status endsWithClockAt(const std::function<Status()>& call, bool asksServer, uint64_t advanceMs) {
    std::future<Status> f = std::async(std::launch::async, call);
    if (asksServer) {
      EXPECT_TRUE(test::Eventually([&] { return h_->server->silentWaiters() > 0 || Ready(f); }));
      clock_.advance(advanceMs);
    }
    if (test::Eventually([&] { return Ready(f); })) return f.get();
    h_->server->setSilent(0);
    f.get();
    return Status(Status::kBusy, "still waiting");
  }
  Status readStatus(const std::shared_ptr<OpenFile>& file) {
    Status st;
    h_->read(file, 0, content_.size(), &st);
    return st;
  }
  int serverQuestions() {
    int n = 0;
    for (const test::CallRecord& r : h_->server->calls())
      if (r.op != MemOp::kPing && r.op != MemOp::kConnect && r.op != MemOp::kDisconnect) ++n;
    return n;
  }

  static constexpr uint32_t kAttrLifetimeMs = 10000;
  bool streams_ = false;  // files read from their start go as one stream
  test::ScopedTestClock clock_;
  const std::string content_ = test::Pattern(3 * kBs);
  std::unique_ptr<test::VolumeHarness> h_;
  std::shared_ptr<OpenFile> cached_, uncached_;
};

// Each call on its own drive, the first to meet the silence: with the clock
// stopped one budget after the call reached the server, it has ended, with
// the cached answer where there is one. A rename asks twice (the source's
// attributes, then the rename): only the first question may wait.
TEST_F(SilentServerTest, EachCallEndsWithinOneBudget) {
  const std::string bytes(100, 'x');
  RemoteAttr attr;
  std::vector<DirEntry> listing;
  std::shared_ptr<OpenFile> f;
  struct Case {
    const char* what;
    std::function<Status()> call;
    bool asksServer;
    int32_t code;
    bool streams = false;
  } cases[] = {
      {"rename", [&] { return h_->volume->rename("/d/cached", "/d/moved", false); }, true, Status::kTimeout},
      {"create", [&] { return h_->volume->create("/d/new", false, f); }, true, Status::kTimeout},
      {"mkdir", [&] { return h_->volume->create("/d/sub", true, f); }, true, Status::kTimeout},
      {"unlink", [&] { return h_->volume->unlink("/d/cached", false); }, true, Status::kTimeout},
      {"look-up of a name never seen", [&] { return h_->volume->getattr("/other", attr); }, true,
       Status::kTimeout},
      {"attributes past their lifetime",
       [&] {
         Status st = h_->volume->getattr("/d/cached", attr);
         return st.ok() && attr.size != content_.size() ? Status(Status::kIo, "size") : st;
       },
       true, Status::kOk},
      {"open past the lifetime", [&] { return h_->volume->open("/d/cached", f); }, true, Status::kOk},
      {"read of an uncached file", [&] { return readStatus(uncached_); }, true, Status::kTimeout},
      {"read of a file whose stream stands open", [&] { return readStatus(uncached_); }, true, Status::kTimeout,
       true},
      {"listing within its lifetime",
       [&] {
         Status st = h_->volume->readdir("/d", listing);
         return st.ok() && listing.size() != 2 ? Status(Status::kIo, "entries") : st;
       },
       false, Status::kOk},
      {"read of cached bytes", [&] { return readStatus(cached_); }, false, Status::kOk},
      {"overwrite of cached bytes", [&] { return h_->volume->write(cached_, 0, bytes.data(), bytes.size()); },
       false, Status::kOk},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    f.reset();
    restart(c.streams);
    const int streamed = h_->server->countCalls(MemOp::kOpenRead, "/d/uncached");
    h_->server->setSilent(kIoMs);
    const size_t before = h_->server->calls().size();
    Status st = endsWithClockAt(c.call, c.asksServer, kBudgetMs);
    EXPECT_EQ(st.code, c.code) << st.toString();
    if (!c.asksServer) {
      EXPECT_EQ(h_->server->calls().size(), before);
    }
    if (c.streams) {
      EXPECT_EQ(streamed, 1);
      EXPECT_EQ(h_->server->countCalls(MemOp::kOpenRead, "/d/uncached"), streamed) << "the open stream met the silence";
    }
  }
}

// A call with a cached answer, the first to meet the silence, gives that
// answer once the connect time-out has passed rather than the longer I/O
// time-out; the calls after it give theirs at once.
TEST_F(SilentServerTest, ACachedAnswerWaitsAtMostTheConnectTimeOut) {
  static_assert(kConnectMs < kIoMs);
  RemoteAttr attr;
  std::vector<DirEntry> listing;
  std::shared_ptr<OpenFile> f;
  struct Case {
    const char* what;
    std::function<Status()> call;
  } cases[] = {
      {"attributes past their lifetime",
       [&] {
         Status st = h_->volume->getattr("/d/cached", attr);
         return st.ok() && attr.size != content_.size() ? Status(Status::kIo, "size") : st;
       }},
      {"open past the lifetime", [&] { return h_->volume->open("/d/cached", f); }},
      {"listing past its lifetime",
       [&] {
         Status st = h_->volume->readdir("/d", listing);
         return st.ok() && listing.size() != 2 ? Status(Status::kIo, "entries") : st;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    f.reset();
    restart(false);
    clock_.advance(10 * kAttrLifetimeMs);  // listings too
    h_->server->setSilent(kIoMs);
    Status st = endsWithClockAt(c.call, true, kConnectMs);
    EXPECT_TRUE(st.ok()) << st.toString();
    // The next one does not wait for the silence again.
    const int questions = serverQuestions();
    st = endsWithClockAt(c.call, false, 0);
    EXPECT_TRUE(st.ok()) << "again: " << st.toString();
    EXPECT_EQ(serverQuestions(), questions);
  }
}

// Once a call found the server silent, calls do not wait for it one by one:
// those with a cached answer give it, the others fail at once, all with the
// clock stopped. A question in the background finds the server answering
// again, and calls reach it as before.
TEST_F(SilentServerTest, AfterTheFirstTimeOutCallsAnswerAtOnceUntilTheServerAnswersAgain) {
  h_->server->setSilent(kIoMs);
  Status st = endsWithClockAt(
      [&] {
        RemoteAttr a;
        return h_->volume->getattr("/first", a);
      },
      true, kIoMs);
  ASSERT_EQ(st.code, Status::kTimeout) << st.toString();

  Volume& v = *h_->volume;
  const int questions = serverQuestions();
  std::shared_ptr<OpenFile> f;
  RemoteAttr attr;
  std::vector<DirEntry> listing;
  struct Case {
    const char* what;
    std::function<Status()> call;
    int32_t code;
  } cases[] = {
      {"rename", [&] { return v.rename("/d/cached", "/d/moved", false); }, Status::kTimeout},
      {"create", [&] { return v.create("/d/new", false, f); }, Status::kTimeout},
      {"look-up of a name never seen", [&] { return v.getattr("/other", attr); }, Status::kTimeout},
      {"read of an uncached file", [&] { return readStatus(uncached_); }, Status::kTimeout},
      {"attributes past their lifetime", [&] { return v.getattr("/d/cached", attr); }, Status::kOk},
      {"open past the lifetime", [&] { return v.open("/d/cached", f); }, Status::kOk},
      {"listing", [&] { return v.readdir("/d", listing); }, Status::kOk},
      {"read of cached bytes", [&] { return readStatus(cached_); }, Status::kOk},
  };
  for (const Case& c : cases) {
    st = endsWithClockAt(c.call, false, 0);
    EXPECT_EQ(st.code, c.code) << c.what << ": " << st.toString();
  }
  EXPECT_EQ(serverQuestions(), questions) << "only the background question reaches the server";

  h_->server->setSilent(0);
  EXPECT_TRUE(test::Eventually([&] { return v.getattr("/other", attr).code == Status::kNotFound; }));
  EXPECT_TRUE(v.rename("/d/cached", "/d/moved", false).ok());
  EXPECT_TRUE(h_->server->exists("/d/moved"));
}

// A stream's first bytes are checked against what the server holds now;
// that look, on a server silent to it, ends at the read's deadline too,
// though the GET took part of the budget.
TEST_F(SilentServerTest, AStreamsLookAtTheServerEndsAtItsReadsDeadline) {
  restart(true);
  // A handle of its own, whose stream starts anew.
  h_->volume->closeNow(uncached_);
  uncached_ = h_->openFile("/d/uncached");
  ASSERT_TRUE(uncached_);
  h_->server->setSilent(kIoMs, {MemOp::kStat});
  std::shared_ptr<test::Gate> slowGet = h_->server->addGate(MemOp::kOpenRead, "/d/uncached");
  const uint64_t start = clock_.now();
  std::future<Status> reading = std::async(std::launch::async, [&] { return readStatus(uncached_); });
  ASSERT_TRUE(slowGet->waitArrived());
  clock_.advance(kIoMs);
  slowGet->release();
  ASSERT_TRUE(test::Eventually([&] { return h_->server->silentWaiters() > 0 || Ready(reading); }));
  clock_.advance(kBudgetMs - kIoMs);
  EXPECT_TRUE(test::Eventually([&] { return Ready(reading); }));
  h_->server->setSilent(0);
  EXPECT_EQ(reading.get().code, Status::kTimeout);
  EXPECT_EQ(clock_.now(), start + kBudgetMs);
}

// A read that failed on the server is asked for again by the kernel at
// once. The repeat, though the server answers other questions by then,
// gets what is left of the first read's budget, not a budget of its own,
// and a repeat of a read its deadline ended fails at once; a read after
// that gets a budget of its own.
TEST_F(SilentServerTest, AReadTheKernelRepeatsKeepsTheBudgetOfTheFirst) {
  h_->server->setSilent(kIoMs, {MemOp::kReadRange});
  const uint64_t start = clock_.now();
  Status st = endsWithClockAt([&] { return readStatus(uncached_); }, true, kIoMs);
  ASSERT_EQ(st.code, Status::kTimeout) << st.toString();
  RemoteAttr attr;
  // The drive asks the server again once the background question is answered.
  ASSERT_TRUE(test::Eventually([&] { return h_->volume->getattr("/other", attr).code == Status::kNotFound; }));

  st = endsWithClockAt([&] { return readStatus(uncached_); }, true, kBudgetMs - kIoMs);
  EXPECT_EQ(st.code, Status::kTimeout) << st.toString();
  EXPECT_EQ(clock_.now(), start + kBudgetMs);
  EXPECT_EQ(h_->server->countCalls(MemOp::kReadRange, "/d/uncached"), 2) << "the repeat asked the server";

  st = endsWithClockAt([&] { return readStatus(uncached_); }, false, 0);
  EXPECT_EQ(st.code, Status::kTimeout) << st.toString();
  EXPECT_EQ(h_->server->countCalls(MemOp::kReadRange, "/d/uncached"), 2) << "the budget was spent";

  clock_.advance(kReadRepeatWindowMs);
  std::future<std::string> later = std::async(std::launch::async, [&] { return h_->readAll(uncached_); });
  ASSERT_TRUE(test::Eventually([&] { return h_->server->silentWaiters() > 0; }));
  h_->server->setSilent(0);
  EXPECT_EQ(later.get(), content_);
}

// A mount that checks a server never checked before it starts the drive
// gives both one budget: on a server that accepts and never answers, with
// the clock stopped one budget after the check reached it, the drive has
// started (to serve its cache), and its calls do not wait for the silence
// again.
TEST(SilentServerMount, TheCheckAndTheFirstConnectShareOneBudget) {
  test::ScopedTestClock clock;
  test::TempDir dir;
  auto server = std::make_shared<test::MemoryServer>();
  MountConfig config = test::MemoryDrive(kBs, 2);
  config.net.connectTimeoutMs = kConnectMs;
  config.net.ioTimeoutMs = kIoMs;
  config.net.keepaliveSec = 0;
  server->setSilent(kIoMs);
  std::shared_ptr<Volume> volume;
  std::future<Status> started = std::async(std::launch::async, [&] {
    // As a mount does it, with one deadline for both.
    const auto within =
        std::make_shared<CancelToken>(nullptr, SteadyNowMs() + RetryPolicyFor(config.net).budgetMs, &SteadyNowMs);
    ProbeReport report;
    ProbeServer(report, *server->connection(), config.compat, within.get());
    TakeProbeReport(config, report);
    volume = std::make_shared<Volume>(config, dir.path(), server->factory(), test::QuickTimings());
    return volume->start(nullptr, within.get());
  });
  ASSERT_TRUE(test::Eventually([&] { return server->silentWaiters() > 0; }));
  clock.advance(kBudgetMs);
  const bool ended = test::Eventually([&] { return Ready(started); });
  EXPECT_TRUE(ended) << "the first connect waited past the budget";
  if (!ended) server->setSilent(0);
  EXPECT_TRUE(started.get().ok());

  std::future<Status> look = std::async(std::launch::async, [&] {
    RemoteAttr attr;
    return volume->getattr("/never-seen", attr);
  });
  const bool answered = test::Eventually([&] { return Ready(look); });
  EXPECT_TRUE(answered) << "a call waited for the silence again";
  server->setSilent(0);
  EXPECT_EQ(look.get().code, Status::kTimeout);
  volume->stop(0);
}

}  // namespace
}  // namespace tarn
