#include "foundation/retry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

#include "foundation/log.h"

namespace tarn {
namespace {

RetryPolicy Quick(int32_t attempts) {
  RetryPolicy p;
  p.maxAttempts = attempts;
  p.baseDelayMs = 1;
  p.maxDelayMs = 2;
  p.jitter = 0;
  return p;
}

TEST(RetryPolicyTest, DelayWithoutJitterGrowsByFactorUntilCap) {
  RetryPolicy p;
  p.baseDelayMs = 500;
  p.maxDelayMs = 5000;
  p.factor = 2.0;
  p.jitter = 0;
  struct Case {
    int32_t attempt;
    int64_t want;
  } cases[] = {{-5, 500}, {0, 500}, {1, 500}, {2, 1000}, {3, 2000}, {4, 4000},
               {5, 5000}, {60, 5000}, {INT32_MAX, 5000}};
  for (const Case& c : cases) EXPECT_EQ(p.delayFor(c.attempt), c.want) << "attempt " << c.attempt;
}

TEST(RetryPolicyTest, DelaySaturatesOnExtremeValues) {
  RetryPolicy p;
  p.baseDelayMs = UINT32_MAX;
  p.maxDelayMs = UINT32_MAX;
  p.jitter = 0;
  EXPECT_EQ(p.delayFor(INT32_MAX), static_cast<int64_t>(UINT32_MAX));
  p.baseDelayMs = 0;  // 0 * inf must not turn into NaN garbage
  p.factor = 1e308;
  EXPECT_EQ(p.delayFor(INT32_MAX), static_cast<int64_t>(UINT32_MAX));
  p.baseDelayMs = 10;
  p.factor = -3.0;  // a negative power gives a negative delay: clamp to 0
  EXPECT_EQ(p.delayFor(2), 0);
  p.factor = 2.0;
  p.jitter = 1e300;  // absurd jitter never overflows the conversion
  for (int i = 0; i < 50; ++i) EXPECT_GE(p.delayFor(3), 0);
}

TEST(RetryPolicyTest, JitterStaysWithinItsSpread) {
  RetryPolicy p;
  p.baseDelayMs = 1000;
  p.maxDelayMs = 100000;
  p.jitter = 0.25;
  bool sawDifferent = false;
  int64_t first = p.delayFor(1);
  for (int i = 0; i < 500; ++i) {
    const int64_t d = p.delayFor(1);
    EXPECT_GE(d, 750);
    EXPECT_LT(d, 1250);
    if (d != first) sawDifferent = true;
  }
  EXPECT_TRUE(sawDifferent);
}

TEST(CancelTokenTest, ParentChainCancelsChildren) {
  auto root = std::make_shared<CancelToken>();
  auto child = std::make_shared<CancelToken>(root);
  auto grandchild = std::make_shared<CancelToken>(child);
  EXPECT_FALSE(IsCancelled(grandchild.get()));
  EXPECT_FALSE(IsCancelled(nullptr));
  root->cancel();
  EXPECT_TRUE(IsCancelled(grandchild.get()));
  EXPECT_TRUE(child->isCancelled());
  // The shared parent outlives the owner that made it.
  std::shared_ptr<CancelToken> orphan;
  {
    auto temp = std::make_shared<CancelToken>();
    orphan = std::make_shared<CancelToken>(temp);
    temp->cancel();
  }
  EXPECT_TRUE(orphan->isCancelled());
}

// A clock the tests below move by hand.
std::atomic<uint64_t> gClockMs{0};
uint64_t TestClockMs() { return gClockMs.load(); }

TEST(CancelTokenTest, ADeadlineCancelsOnceItsClockReachesItAndTellsATimeOutFromAStop) {
  gClockMs = 1000;
  auto root = std::make_shared<CancelToken>();
  auto call = std::make_shared<CancelToken>(root, 1500, &TestClockMs);
  auto inner = std::make_shared<CancelToken>(call, 1800, &TestClockMs);
  EXPECT_EQ(inner->deadlineMs(), 1500u) << "the earliest of the chain";
  EXPECT_EQ(MsToDeadline(inner.get(), 7), 500u);
  EXPECT_EQ(MsToDeadline(root.get(), 7), 7u) << "no deadline";
  EXPECT_EQ(MsToDeadline(nullptr, 7), 7u);
  EXPECT_FALSE(inner->isCancelled());
  gClockMs = 1499;
  EXPECT_FALSE(inner->isCancelled());
  gClockMs = 1500;
  EXPECT_TRUE(inner->isCancelled());
  EXPECT_TRUE(inner->timedOut());
  EXPECT_FALSE(root->isCancelled()) << "a deadline below leaves the parent alone";
  EXPECT_EQ(MsToDeadline(inner.get(), 7), 0u);
  root->cancel();
  EXPECT_TRUE(inner->isCancelled());
  EXPECT_FALSE(inner->timedOut()) << "a stop is not a time-out";
}

TEST(RetryPolicyTest, ADeadlineCutsTheBudget) {
  gClockMs = 10000;
  struct Case {
    uint32_t budgetMs;
    int64_t deadlineMs;  // -1: a token without one
    uint32_t want;
  } cases[] = {
      {0, -1, 0},            // neither
      {5000, -1, 5000},      // the policy's own
      {0, 11000, 1000},      // the deadline's
      {5000, 11000, 1000},   // the sooner
      {500, 11000, 500},     // the sooner
      {5000, 9000, 1},       // passed: not 0, which would mean none
  };
  auto root = std::make_shared<CancelToken>();
  for (const Case& c : cases) {
    RetryPolicy p;
    p.budgetMs = c.budgetMs;
    auto token = c.deadlineMs < 0 ? root
                                  : std::make_shared<CancelToken>(root, static_cast<uint64_t>(c.deadlineMs), &TestClockMs);
    EXPECT_EQ(WithinDeadline(p, token.get()).budgetMs, c.want) << c.budgetMs << " " << c.deadlineMs;
  }
}

TEST(SleepCancellableTest, CancelBeforeOrDuringTheWaitEndsIt) {
  auto cancelled = std::make_shared<CancelToken>();
  cancelled->cancel();
  auto token = std::make_shared<CancelToken>();
  std::thread stopper([token] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    token->cancel();
  });
  const auto t0 = std::chrono::steady_clock::now();
  SleepCancellable(0, nullptr);
  SleepCancellable(600000, cancelled.get());
  SleepCancellable(600000, token.get());
  stopper.join();
  // Far below the ten minutes asked for; the bound is loose on purpose.
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(60));
}

TEST(BackoffTest, CountsAttemptsAndStopsAtMaxUnlessForever) {
  struct Case {
    int32_t maxAttempts;
    int wantTrue;
  } cases[] = {{1, 0}, {2, 1}, {5, 4}};
  for (const Case& c : cases) {
    Backoff b(Quick(c.maxAttempts));
    int trues = 0;
    while (b.sleepNext(nullptr)) ++trues;
    EXPECT_EQ(trues, c.wantTrue) << c.maxAttempts;
    EXPECT_EQ(b.attempts(), c.maxAttempts);
  }
  RetryPolicy p = Quick(1);
  p.baseDelayMs = p.maxDelayMs = 0;
  p.forever = true;
  Backoff forever(p);
  for (int i = 0; i < 20; ++i) ASSERT_TRUE(forever.sleepNext(nullptr));
  auto token = std::make_shared<CancelToken>();
  token->cancel();
  EXPECT_FALSE(forever.sleepNext(token.get())) << "forever still stops on cancel";
}

// The WARN lines that a call logs, without their time stamps.
std::vector<std::string> WarnLines(const std::function<void()>& call) {
  vx::log::setConsole(true);
  ::testing::internal::CaptureStderr();
  call();
  const std::string text = ::testing::internal::GetCapturedStderr();
  vx::log::setConsole(false);
  std::vector<std::string> out;
  std::istringstream in(text);
  const std::string mark = "[WARN ] ";
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t at = line.find(mark);
    if (at != std::string::npos) out.push_back(line.substr(at + mark.size()));
  }
  return out;
}

// Callers and people reading logs rely on the warning of every failed
// attempt (its text and number) and of every failed reconnect.
TEST(RetryCallTest, ResultsAndWarningsByCode) {
  using Lines = std::vector<std::string>;
  struct Case {
    const char* name;
    int32_t code;
    int32_t maxAttempts;
    bool reconnectFails;
    int wantCalls;
    int wantReconnects;
    Lines wantWarnings;
  } cases[] = {
      {"success once", Status::kOk, 5, false, 1, 0, {}},
      {"not-found not retried", Status::kNotFound, 5, false, 1, 0, {}},
      {"auth not retried", Status::kAuthFailed, 5, false, 1, 0, {}},
      {"network retried to max", Status::kNetwork, 3, false, 3, 2,
       {"test: network: step failed (attempt 1)", "test: network: step failed (attempt 2)",
        "test: network: step failed (attempt 3)"}},
      {"timeout retried to max", Status::kTimeout, 2, false, 2, 1,
       {"test: timeout: step failed (attempt 1)", "test: timeout: step failed (attempt 2)"}},
      {"single attempt", Status::kNetwork, 1, false, 1, 0, {"test: network: step failed (attempt 1)"}},
      {"failed reconnects are logged and the loop goes on", Status::kNetwork, 3, true, 3, 2,
       {"test: network: step failed (attempt 1)", "test: reconnect failed: network: refused",
        "test: network: step failed (attempt 2)", "test: reconnect failed: network: refused",
        "test: network: step failed (attempt 3)"}},
  };
  for (const Case& c : cases) {
    int calls = 0;
    int reconnects = 0;
    Status out;
    const Lines warnings = WarnLines([&] {
      RetryCall(
          out, Quick(c.maxAttempts), nullptr,
          [&] {
            ++calls;
            return Status(c.code, "step failed", 7);
          },
          [&] {
            ++reconnects;
            return c.reconnectFails ? Status(Status::kNetwork, "refused") : Status();
          },
          "test");
    });
    EXPECT_EQ(calls, c.wantCalls) << c.name;
    EXPECT_EQ(reconnects, c.wantReconnects) << c.name;
    EXPECT_EQ(out.code, c.code) << c.name;
    EXPECT_EQ(out.message, "step failed") << c.name;
    EXPECT_EQ(out.native, 7) << c.name;
    EXPECT_EQ(warnings, c.wantWarnings) << c.name;
  }
  // Without a label the loop is silent.
  const Lines silent = WarnLines([] {
    RetryCall(Quick(2), nullptr, [] { return Status(Status::kNetwork, "x"); },
              [] { return Status(Status::kNetwork, "y"); }, nullptr);
  });
  EXPECT_TRUE(silent.empty());
}

TEST(RetryCallTest, SucceedsAfterTransientFailures) {
  int calls = 0;
  Status out = RetryCall(Quick(5), nullptr, [&] {
    return ++calls < 3 ? Status(Status::kTimeout, "slow") : Status();
  });
  EXPECT_TRUE(out.ok());
  EXPECT_EQ(calls, 3);
}

// The loop's own clock, moved by the attempts of the test below.
std::atomic<uint64_t> g_budgetClockMs{0};
uint64_t BudgetClock() { return g_budgetClockMs.load(); }

// A silent server costs each attempt its whole time-out: the budget (a
// connect and an I/O time-out) leaves no room for a second one. A server
// that refuses at once is tried as often as the attempts allow.
TEST(RetryCallTest, TheBudgetEndsTheLoopBeforeAnAttemptWouldOverrunIt) {
  struct Case {
    const char* what;
    uint64_t attemptMs;
    uint32_t budgetMs;
    int calls;
  } cases[] = {
      {"silent server", 30000, 35000, 1},
      {"slow answers", 10000, 35000, 3},
      {"refused at once", 0, 35000, 5},
      {"no budget", 30000, 0, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RetryPolicy p = Quick(5);
    p.budgetMs = c.budgetMs;
    p.clockMs = BudgetClock;
    int calls = 0;
    Status out = RetryCall(p, nullptr, [&] {
      ++calls;
      g_budgetClockMs += c.attemptMs;
      return Status(Status::kTimeout, "no answer");
    });
    EXPECT_EQ(out.code, Status::kTimeout);
    EXPECT_EQ(calls, c.calls);
  }
}

// A wait inside an attempt (for a free connection) gets what is left of the
// budget when that is less than its own bound; without a budget, its bound.
TEST(RetryCallTest, AWaitInsideAnAttemptGetsWhatIsLeftOfTheBudget) {
  struct Case {
    uint32_t budgetMs;
    uint64_t spentMs;
    uint32_t capMs;
    uint32_t left;
  } cases[] = {
      {35000, 0, 60000, 35000},      // the budget is the shorter
      {35000, 34000, 60000, 1000},   // most of it spent
      {35000, 35000, 60000, 0},      // all of it spent
      {35000, 90000, 60000, 0},      // overspent: no wrap-around
      {35000, 1000, 5000, 5000},     // the bound is the shorter
      {0, 90000, 60000, 60000},      // no budget
  };
  for (const Case& c : cases) {
    g_budgetClockMs = 1000000;
    RetryPolicy p = Quick(5);
    p.budgetMs = c.budgetMs;
    p.clockMs = BudgetClock;
    const Backoff backoff(p);
    g_budgetClockMs += c.spentMs;
    EXPECT_EQ(backoff.budgetLeftMs(c.capMs), c.left) << c.budgetMs << " " << c.spentMs << " " << c.capMs;
  }
}

TEST(RetryCallTest, CancelEndsTheLoopAsCanceledWithEmptyMessage) {
  enum When { kBefore, kInReconnect, kDuringWait };
  for (When when : {kBefore, kInReconnect, kDuringWait}) {
    RetryPolicy p = Quick(1000);
    if (when == kDuringWait) p.baseDelayMs = p.maxDelayMs = 600000;
    auto token = std::make_shared<CancelToken>();
    if (when == kBefore) token->cancel();
    std::atomic<int> calls{0};
    // Cancels only once the first attempt has run, so the cut falls in the wait.
    std::thread stopper([&] {
      if (when != kDuringWait) return;
      while (calls.load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
      token->cancel();
    });
    Status out = RetryCall(
        p, token.get(),
        [&] {
          ++calls;
          return Status(Status::kNetwork, "down", 7);
        },
        [&] {
          if (when == kInReconnect) token->cancel();
          return Status();
        });
    stopper.join();
    EXPECT_EQ(out.code, Status::kCanceled) << when;
    EXPECT_EQ(out.message, "") << when;
    EXPECT_EQ(out.native, 0) << when;
    EXPECT_EQ(calls.load(), when == kBefore ? 0 : 1) << when;
  }
}

}  // namespace
}  // namespace tarn
