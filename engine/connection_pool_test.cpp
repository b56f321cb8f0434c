#include "engine/connection_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "engine/clock.h"
#include "testing/eventually.h"
#include "testing/log_capture.h"
#include "testing/memory_backend.h"
#include "testing/test_clock.h"

namespace tarn {
namespace {

using namespace std::chrono_literals;
using test::FaultRule;
using test::MemOp;

// Fast retries: no jitter and a 1 ms back-off.
RetryPolicy QuickPolicy(int attempts) {
  RetryPolicy policy;
  policy.maxAttempts = attempts;
  policy.baseDelayMs = 1;
  policy.maxDelayMs = 1;
  policy.jitter = 0;
  return policy;
}

FaultRule Fail(MemOp op, int firstCall, int times, Status status) {
  FaultRule rule;
  rule.op = op;
  rule.firstCall = firstCall;
  rule.times = times;
  rule.status = std::move(status);
  return rule;
}

bool Eventually(const std::atomic<bool>& done) {
  return test::Eventually([&] { return done.load(); });
}

class ConnectionPoolTest : public ::testing::Test {
 protected:
  std::unique_ptr<ConnectionPool> makePool(int size, uint32_t runAcquireTimeoutMs = 60000) {
    return std::make_unique<ConnectionPool>(server_->factory(), size, runAcquireTimeoutMs);
  }

  std::shared_ptr<test::MemoryServer> server_ = std::make_shared<test::MemoryServer>();
};

TEST_F(ConnectionPoolTest, SizeIsAtLeastOne) {
  struct Case {
    int size;
    size_t slots;
  } cases[] = {{0, 1}, {-5, 1}, {1, 1}, {4, 4}};
  for (const Case& c : cases) {
    auto pool = makePool(c.size);
    EXPECT_EQ(pool->size(), c.slots) << "size " << c.size;
    std::vector<ConnectionPool::Lease> leases(c.slots + 1);
    for (size_t i = 0; i < c.slots; ++i) ASSERT_TRUE(pool->acquire(leases[i], nullptr, 0).ok());
    Status extra = pool->acquire(leases[c.slots], nullptr, 0);
    EXPECT_EQ(extra.code, Status::kTimeout) << "size " << c.size;
    EXPECT_EQ(extra.message, "no free connection");
  }
}

TEST_F(ConnectionPoolTest, ConnectionsAreMadeLazilyAndReused) {
  auto pool = makePool(3);
  EXPECT_EQ(server_->connectionsMade(), 0u);
  EXPECT_FALSE(pool->anyConnected());
  for (int i = 0; i < 5; ++i) {
    ConnectionPool::Lease lease;
    ASSERT_TRUE(pool->acquire(lease, nullptr, 0).ok());
    EXPECT_TRUE(lease->isConnected());
    EXPECT_EQ(lease.slot(), 0u);
  }
  EXPECT_EQ(server_->connectionsMade(), 1u);
  EXPECT_EQ(server_->countCalls(MemOp::kConnect), 1);
  EXPECT_TRUE(pool->anyConnected());

  ConnectionPool::Lease a, b;
  ASSERT_TRUE(pool->acquire(a, nullptr, 0).ok());
  ASSERT_TRUE(pool->acquire(b, nullptr, 0).ok());
  EXPECT_NE(a.slot(), b.slot());
  EXPECT_EQ(server_->connectionsMade(), 2u) << "a second one opens only while the first is busy";
}

TEST_F(ConnectionPoolTest, IdleOpenConnectionIsPreferredOverAClosedOne) {
  auto pool = makePool(2);
  {
    ConnectionPool::Lease a, b;
    ASSERT_TRUE(pool->acquire(a, nullptr, 0).ok());
    ASSERT_TRUE(pool->acquire(b, nullptr, 0).ok());
    a->disconnect();
  }
  ConnectionPool::Lease lease;
  ASSERT_TRUE(pool->acquire(lease, nullptr, 0).ok());
  EXPECT_EQ(lease.slot(), 1u);
  EXPECT_EQ(server_->countCalls(MemOp::kConnect), 2) << "no reconnect was needed";
}

TEST_F(ConnectionPoolTest, WaitEndsByTimeoutReleaseOrCancel) {
  test::ScopedTestClock clock;
  auto pool = makePool(1);
  ConnectionPool::Lease held;
  auto parent = std::make_shared<CancelToken>();
  CancelToken child(parent);
  std::atomic<bool> done{false};
  struct Case {
    const char* name;
    const CancelToken* cancel;
    std::function<void()> end;
    int32_t code;
    const char* message;
  } cases[] = {
      // The deadline is read from the engine clock.
      {"time-out", nullptr,
       [&] {
         clock.advance(999);
         std::this_thread::sleep_for(250ms);
         EXPECT_FALSE(done.load()) << "one millisecond early";
         clock.advance(1);
       },
       Status::kTimeout, "no free connection"},
      {"release hands the slot to the waiter", nullptr, [&] { held.reset(); }, Status::kOk, ""},
      {"cancel of a parent token", &child, [&] { parent->cancel(); }, Status::kCanceled, ""},
  };
  for (const Case& c : cases) {
    // After a release the waiter's lease has given the slot back.
    ASSERT_TRUE(held || pool->acquire(held, nullptr, 0).ok()) << c.name;
    done = false;
    Status result;
    size_t slot = 99;
    std::thread waiter([&] {
      ConnectionPool::Lease lease;
      result = pool->acquire(lease, c.cancel, 1000);
      slot = lease.slot();
      done = true;
    });
    // Its deadline is set once it waits; a later start would take the
    // moved clock for its own.
    ASSERT_TRUE(test::Eventually([&] { return pool->waiting() == 1; })) << c.name;
    EXPECT_FALSE(done.load()) << c.name;
    c.end();
    EXPECT_TRUE(Eventually(done)) << c.name;
    waiter.join();
    EXPECT_EQ(result.code, c.code) << c.name;
    EXPECT_EQ(result.message, c.message) << c.name;
    EXPECT_EQ(slot, 0u) << c.name;
  }
}

TEST_F(ConnectionPoolTest, DestroyingThePoolWakesWaitersAndWaitsForCallsInProgress) {
  auto pool = makePool(1);
  auto gate = server_->addGate(MemOp::kStat);
  std::atomic<bool> holderDone{false};
  Status holderResult;
  // The holder keeps the only slot busy inside a call until the gate opens.
  std::thread holder([&] {
    holderResult = pool->run(QuickPolicy(1), nullptr, "stat", [](IBackend& b) {
      RemoteAttr attr;
      return b.stat("/", attr);
    });
    holderDone = true;
  });
  ASSERT_TRUE(gate->waitArrived(5000));
  ConnectionPool* raw = pool.get();
  std::atomic<int> closing{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i)
    waiters.emplace_back([&closing, raw] {
      ConnectionPool::Lease lease;
      Status st = raw->acquire(lease, nullptr, 60000);
      if (st.code == Status::kCanceled && st.message == "pool closing") ++closing;
    });
  std::this_thread::sleep_for(50ms);
  std::atomic<bool> destroyed{false};
  std::thread closer([&] {
    pool.reset();
    destroyed = true;
  });
  for (std::thread& t : waiters) t.join();
  EXPECT_EQ(closing.load(), 3);
  std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(destroyed.load()) << "the pool went while a call still used its connection";
  gate->release();
  closer.join();
  holder.join();
  EXPECT_TRUE(holderDone.load());
  EXPECT_TRUE(holderResult.ok()) << holderResult.toString();
  EXPECT_EQ(server_->misuseCount(), 0);
}

TEST_F(ConnectionPoolTest, FailedCreationOrConnectFreesTheSlot) {
  int made = 0;
  ConnectionPool nobody([&]() -> std::unique_ptr<IBackend> {
    ++made;
    return nullptr;
  }, 1);
  ConnectionPool::Lease lease;
  for (int i = 0; i < 2; ++i) {
    Status st = nobody.acquire(lease, nullptr, 0);
    EXPECT_EQ(st.code, Status::kUnsupported);
    EXPECT_EQ(st.message, "no backend");
  }
  EXPECT_EQ(made, 2) << "the freed slot asks the factory again";

  auto pool = makePool(1);
  server_->addFault(Fail(MemOp::kConnect, 1, 1, Status(Status::kAuthFailed, "wrong password")));
  lease = ConnectionPool::Lease();
  Status st = pool->acquire(lease, nullptr, 0);
  EXPECT_EQ(st.code, Status::kAuthFailed);
  EXPECT_EQ(st.message, "wrong password");
  EXPECT_FALSE(lease);
  ASSERT_TRUE(pool->acquire(lease, nullptr, 0).ok()) << "the slot was freed";
  EXPECT_EQ(server_->connectionsMade(), 1u) << "the back-end is kept for the next try";
  lease.reset();
}

TEST_F(ConnectionPoolTest, RunRetriesNetworkFailuresOnTheSameConnection) {
  test::LogCapture log;
  auto pool = makePool(2);
  server_->putFile("/f", "x");
  server_->addFault(Fail(MemOp::kStat, 1, 2, Status(Status::kNetwork, "reset by peer")));
  std::vector<uint64_t> used;
  Status st = pool->run(QuickPolicy(5), nullptr, "stat", [&](IBackend& b) {
    used.push_back(static_cast<test::MemoryBackend&>(b).id());
    RemoteAttr attr;
    return b.stat("/f", attr);
  });
  EXPECT_TRUE(st.ok()) << st.toString();
  ASSERT_EQ(used.size(), 3u);
  EXPECT_EQ(used[0], used[1]);
  EXPECT_EQ(used[1], used[2]);
  EXPECT_EQ(server_->countCalls(MemOp::kConnect), 3) << "first connect and two reconnects";
  EXPECT_EQ(server_->countCalls(MemOp::kDisconnect), 2);
  EXPECT_EQ(log.countLines("[WARN ] stat: network: reset by peer (attempt 1)"), 1) << log.text();
  EXPECT_EQ(log.countLines("[WARN ] stat: network: reset by peer (attempt 2)"), 1) << log.text();

  ConnectionPool::Lease a, b;
  EXPECT_TRUE(pool->acquire(a, nullptr, 0).ok() && pool->acquire(b, nullptr, 0).ok()) << "run released its lease";
}

TEST_F(ConnectionPoolTest, RunEndsOnFinalCodesExhaustionAndCancel) {
  struct Case {
    const char* name;
    std::vector<FaultRule> faults;
    int attempts;
    bool cancelled;
    int32_t code;
    int statCalls;
    int warnLines;
  } cases[] = {
      {"final code is returned at once", {Fail(MemOp::kStat, 1, 0, Status(Status::kNotFound, "gone"))}, 5, false,
       Status::kNotFound, 1, 0},
      {"time-outs until attempts run out", {Fail(MemOp::kStat, 1, 0, Status(Status::kTimeout, "slow"))}, 3, false,
       Status::kTimeout, 3, 3},
      {"a cancelled token stops before the first call", {}, 3, true, Status::kCanceled, 0, 0},
  };
  for (const Case& c : cases) {
    test::LogCapture log;
    server_ = std::make_shared<test::MemoryServer>();
    for (const FaultRule& f : c.faults) server_->addFault(f);
    auto pool = makePool(1);
    auto cancel = std::make_shared<CancelToken>();
    if (c.cancelled) cancel->cancel();
    Status st = pool->run(QuickPolicy(c.attempts), cancel.get(), "probe", [](IBackend& b) {
      RemoteAttr attr;
      return b.stat("/x", attr);
    });
    EXPECT_EQ(st.code, c.code) << c.name;
    EXPECT_EQ(server_->countCalls(MemOp::kStat), c.statCalls) << c.name;
    EXPECT_EQ(log.countLines("[WARN ] probe: "), c.warnLines) << c.name << "\n" << log.text();
    ConnectionPool::Lease lease;
    EXPECT_TRUE(pool->acquire(lease, nullptr, 0).ok()) << c.name << ": the slot is free again";
  }
}

TEST_F(ConnectionPoolTest, FailedReconnectIsLoggedAndTheNextAttemptStillRuns) {
  test::LogCapture log;
  auto pool = makePool(1);
  server_->putFile("/f", "x");
  server_->addFault(Fail(MemOp::kStat, 1, 1, Status(Status::kNetwork, "dropped")));
  server_->addFault(Fail(MemOp::kConnect, 2, 1, Status(Status::kNetwork, "refused")));
  Status st = pool->run(QuickPolicy(5), nullptr, "stat", [](IBackend& b) {
    RemoteAttr attr;
    return b.stat("/f", attr);
  });
  // Attempt 2 meets the closed connection; the next reconnect works.
  EXPECT_TRUE(st.ok()) << st.toString();
  EXPECT_EQ(log.countLines("[WARN ] stat: reconnect failed: network: refused"), 1) << log.text();
  EXPECT_EQ(log.countLines("(attempt 2)"), 1) << log.text();
}

TEST_F(ConnectionPoolTest, RunCountsABusyPoolAsATimeout) {
  test::LogCapture log;
  auto pool = makePool(1, 0);
  ConnectionPool::Lease held;
  ASSERT_TRUE(pool->acquire(held, nullptr, 0).ok());
  int calls = 0;
  Status st = pool->run(QuickPolicy(3), nullptr, "list", [&](IBackend&) {
    ++calls;
    return Status();
  });
  EXPECT_EQ(st.code, Status::kTimeout);
  EXPECT_EQ(st.message, "no free connection");
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(log.countLines("list: timeout: no free connection (attempt"), 3) << log.text();
}

TEST_F(ConnectionPoolTest, TheServerIsSilentFromATimeOutUntilItAnswers) {
  auto pool = makePool(1);
  struct Step {
    const char* what;
    Status outcome;
    bool silent;
  } steps[] = {
      {"a time-out", Status(Status::kTimeout, "no answer"), true},
      {"a connection refused says nothing of an answer", Status(Status::kNetwork, "refused"), true},
      {"nor does a cancellation", Status(Status::kCanceled, ""), true},
      {"a refusal the server sent is an answer", Status(Status::kAccessDenied, "no"), false},
      {"a time-out again", Status(Status::kTimeout, "no answer"), true},
      {"success", Status(), false},
  };
  for (const Step& step : steps) {
    pool->noteOutcome(step.outcome);
    EXPECT_EQ(pool->silent(), step.silent) << step.what;
  }

  // Calls and connects made by the pool count by themselves.
  server_->putFile("/f", "x");
  auto stat = [](IBackend& b) {
    RemoteAttr attr;
    return b.stat("/f", attr);
  };
  server_->addFault(Fail(MemOp::kStat, 1, 1, Status(Status::kTimeout, "no answer")));
  (void)pool->run(QuickPolicy(1), nullptr, "", stat);
  EXPECT_TRUE(pool->silent()) << "a call timed out";
  server_->addFault(Fail(MemOp::kConnect, 1, 1, Status(Status::kTimeout, "no answer")));
  (void)pool->run(QuickPolicy(1), nullptr, "", stat);
  EXPECT_TRUE(pool->silent()) << "the reconnect timed out";
  EXPECT_TRUE(pool->run(QuickPolicy(1), nullptr, "", stat).ok());
  EXPECT_FALSE(pool->silent()) << "the next connect and call were answered";
}

// Usable means the last outcome that tells found the server working for
// the drive: a connect made or a call answered. A connect that failed in
// any way, or a call that got no answer, ends it; a call that could not
// reach the server on an older connection tells nothing.
TEST_F(ConnectionPoolTest, TheServerIsUsableFromAConnectOrAnAnswerUntilAConnectFailsOrACallTimesOut) {
  auto pool = makePool(1);
  EXPECT_FALSE(pool->usable()) << "nothing seen yet";
  struct Step {
    const char* what;
    Status outcome;
    bool connecting;
    bool usable;
    uint64_t returns;
  } steps[] = {
      {"a connect made", Status(), true, true, 1},
      {"a call on a connection the server closed", Status(Status::kNetwork, "send: Broken pipe"), false, true, 1},
      {"a connect refused", Status(Status::kNetwork, "connect: refused"), true, false, 1},
      {"a refusal the server sent to a call", Status(Status::kAccessDenied, "no"), false, true, 2},
      {"a log-in refused", Status(Status::kAuthFailed, "credentials rejected"), true, false, 2},
      {"a call answered", Status(), false, true, 3},
      {"a cancelled connect", Status(Status::kCanceled, ""), true, true, 3},
      {"another answer", Status(), false, true, 3},
      {"a call without an answer", Status(Status::kTimeout, "no answer"), false, false, 3},
      {"a connect made", Status(), true, true, 4},
  };
  for (const Step& step : steps) {
    pool->noteOutcome(step.outcome, step.connecting);
    EXPECT_EQ(pool->usable(), step.usable) << step.what;
    EXPECT_EQ(pool->returns(), step.returns) << step.what;
  }
}

// A look at the server on a connection it closed while idle goes again on
// a new one: the closing says nothing of the server now.
TEST_F(ConnectionPoolTest, AProbeOnAConnectionTheServerClosedConnectsAgain) {
  auto pool = makePool(1);
  ASSERT_TRUE(pool->probe(QuickPolicy(1), nullptr).ok());
  server_->closeConnections();
  EXPECT_TRUE(pool->probe(QuickPolicy(1), nullptr).ok());
  EXPECT_EQ(server_->countCalls(MemOp::kConnect), 2);
  EXPECT_TRUE(pool->usable());
  server_->closeConnections();
  server_->setDown(true);
  EXPECT_EQ(pool->probe(QuickPolicy(1), nullptr).toString(), "network: connect: server down");
  EXPECT_FALSE(pool->usable()) << "the new connection found no server";
}

TEST_F(ConnectionPoolTest, ACallsDeadlineEndsItsWaitOnTheServerAsATimeOut) {
  test::ScopedTestClock clock;
  auto pool = makePool(1);
  server_->putFile("/f", "x");
  auto stat = [](IBackend& b) {
    RemoteAttr attr;
    return b.stat("/f", attr);
  };
  ASSERT_TRUE(pool->run(QuickPolicy(1), nullptr, "", stat).ok());
  server_->setSilent(60000);
  auto drive = std::make_shared<CancelToken>();
  for (bool stopped : {false, true}) {
    auto call = std::make_shared<CancelToken>(drive, clock.now() + 1000, &SteadyNowMs);
    std::atomic<bool> done{false};
    Status st;
    std::thread caller([&] {
      st = pool->run(QuickPolicy(5), call.get(), "stat", stat);
      done = true;
    });
    ASSERT_TRUE(test::Eventually([&] { return server_->silentWaiters() == 1; }));
    if (stopped)
      drive->cancel();
    else
      clock.advance(1000);
    EXPECT_TRUE(Eventually(done));
    caller.join();
    EXPECT_EQ(st.toString(), stopped ? "canceled" : std::string("timeout: ") + kNoAnswerInTime);
  }
  server_->setSilent(0);
}

// Refusing while the server is silent: a run ends at once, also one that
// waited for the connection while another call found the server silent,
// and neither it nor an acquire connects; the probe alone asks the server,
// and its answer lets calls through again.
TEST_F(ConnectionPoolTest, WhileTheServerIsSilentOnlyTheProbeAsksIt) {
  test::ScopedTestClock clock;
  constexpr uint32_t kIoMs = 2000;
  auto pool = makePool(1);
  pool->refuseWhileSilent(true);
  server_->putFile("/f", "x");
  auto stat = [](IBackend& b) {
    RemoteAttr attr;
    return b.stat("/f", attr);
  };
  ASSERT_TRUE(pool->run(QuickPolicy(1), nullptr, "", stat).ok());
  server_->setSilent(kIoMs);
  Status first, second;
  std::atomic<bool> firstDone{false}, secondDone{false};
  std::thread a([&] {
    first = pool->run(QuickPolicy(3), nullptr, "", stat);
    firstDone = true;
  });
  ASSERT_TRUE(test::Eventually([&] { return server_->silentWaiters() == 1; }));
  std::thread b([&] {
    second = pool->run(QuickPolicy(3), nullptr, "", stat);
    secondDone = true;
  });
  ASSERT_TRUE(test::Eventually([&] { return pool->waiting() == 1; }));
  clock.advance(kIoMs);
  const bool ended = test::Eventually([&] { return firstDone.load() && secondDone.load(); });
  server_->setSilent(0);
  a.join();
  b.join();
  EXPECT_TRUE(ended) << "the second call asked the silent server";
  EXPECT_EQ(first.code, Status::kTimeout);
  EXPECT_EQ(second.toString(), std::string("timeout: ") + kServerSilent);
  EXPECT_EQ(server_->countCalls(MemOp::kStat), 2) << "the first call and the one before the silence";

  const int connects = server_->countCalls(MemOp::kConnect);
  ConnectionPool::Lease lease;
  EXPECT_EQ(pool->acquire(lease, nullptr, 0).toString(), std::string("timeout: ") + kServerSilent);
  EXPECT_EQ(pool->run(QuickPolicy(3), nullptr, "", stat).toString(), std::string("timeout: ") + kServerSilent);
  EXPECT_EQ(server_->countCalls(MemOp::kConnect), connects);
  EXPECT_TRUE(pool->probe(QuickPolicy(1), nullptr).ok());
  EXPECT_EQ(server_->countCalls(MemOp::kConnect), connects + 1);
  EXPECT_FALSE(pool->silent());
  EXPECT_TRUE(pool->run(QuickPolicy(1), nullptr, "", stat).ok());
}

TEST_F(ConnectionPoolTest, KeepaliveDropsDeadConnectionsAndSkipsBusyOnes) {
  test::LogCapture log;
  auto pool = makePool(3);
  ConnectionPool::Lease a, b, busy;
  ASSERT_TRUE(pool->acquire(a, nullptr, 0).ok());
  ASSERT_TRUE(pool->acquire(b, nullptr, 0).ok());
  ASSERT_TRUE(pool->acquire(busy, nullptr, 0).ok());
  a.reset();
  b.reset();
  server_->addFault(Fail(MemOp::kPing, 2, 1, Status(Status::kNetwork, "no answer")));
  pool->keepalive();
  EXPECT_EQ(server_->countCalls(MemOp::kPing), 2) << "the busy connection is not pinged";
  EXPECT_EQ(log.countLines("[DEBUG] keepalive: connection 1 dropped (network: no answer)"), 1) << log.text();
  EXPECT_TRUE(busy->isConnected());
  // Slot 1 is free and closed, slot 0 free and open: both can be leased.
  ConnectionPool::Lease first, second;
  ASSERT_TRUE(pool->acquire(first, nullptr, 0).ok());
  EXPECT_EQ(first.slot(), 0u);
  ASSERT_TRUE(pool->acquire(second, nullptr, 0).ok());
  EXPECT_EQ(second.slot(), 1u);
  EXPECT_EQ(server_->countCalls(MemOp::kConnect), 4) << "the dropped one reconnected";
}

TEST_F(ConnectionPoolTest, DisconnectIdleLeavesBusyAndEmptySlotsAlone) {
  auto pool = makePool(4);
  pool->disconnectIdle();  // nothing made yet
  ConnectionPool::Lease idle, busy;
  ASSERT_TRUE(pool->acquire(idle, nullptr, 0).ok());
  ASSERT_TRUE(pool->acquire(busy, nullptr, 0).ok());
  idle.reset();
  pool->disconnectIdle();
  EXPECT_TRUE(busy->isConnected());
  EXPECT_TRUE(pool->anyConnected()) << "the busy connection is still open";
  busy->disconnect();
  busy.reset();
  EXPECT_FALSE(pool->anyConnected());
  ASSERT_TRUE(pool->acquire(idle, nullptr, 0).ok());
  EXPECT_TRUE(idle->isConnected()) << "the next use reconnects";
}

TEST_F(ConnectionPoolTest, ManyThreadsNeverShareAConnection) {
  auto pool = makePool(3);
  server_->putFile("/f", "0123456789");
  server_->setLatencyMs(1);
  std::atomic<int> ok{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 20; ++i) {
        Status st = pool->run(QuickPolicy(3), nullptr, "read", [](IBackend& b) {
          uint8_t buf[4];
          uint64_t got = 0;
          return b.readRange("/f", 2, buf, sizeof buf, got);
        });
        if (st.ok()) ++ok;
      }
    });
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(ok.load(), 160);
  EXPECT_EQ(server_->misuseCount(), 0);
  EXPECT_LE(server_->connectionsMade(), 3u);
}

}  // namespace
}  // namespace tarn
