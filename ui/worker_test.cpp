#include "ui/worker.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <atomic>
#include <memory>
#include <thread>

#include "testing/gate.h"
#include "ui/ui_test_harness.h"

namespace tarn::app {
namespace {

constexpr std::chrono::milliseconds kWorkerWait(test::kEventWaitMs);

// A result that counts its live copies, so that a test sees whether every
// one was freed.
class Counted {
 public:
  explicit Counted(std::shared_ptr<std::atomic<int>> live) : live_(std::move(live)) { ++*live_; }
  Counted(const Counted& other) : live_(other.live_) { ++*live_; }
  Counted(Counted&& other) noexcept : live_(other.live_) { ++*live_; }
  Counted& operator=(const Counted&) = delete;
  ~Counted() { --*live_; }

 private:
  std::shared_ptr<std::atomic<int>> live_;
};

TEST(RunWorker, TheWorkRunsOffTheUiThreadAndItsResultComesBackOnIt) {
  QObject receiver;
  auto gate = std::make_shared<ResultGate>(&receiver);
  std::thread::id workedOn;
  std::thread::id doneOn;
  int result = 0;
  RunWorker(
      gate,
      [&workedOn] {
        workedOn = std::this_thread::get_id();
        return 42;
      },
      [&](int r) {
        doneOn = std::this_thread::get_id();
        result = r;
      });
  ASSERT_TRUE(WaitForWorkers(kWorkerWait));
  QCoreApplication::processEvents();
  EXPECT_EQ(result, 42);
  EXPECT_NE(workedOn, std::this_thread::get_id());
  EXPECT_EQ(doneOn, std::this_thread::get_id());
  gate->close();
}

// A window closed while its request runs: the result is neither handed to
// it nor leaked, whether the worker finishes after the window went or its
// result was already queued when the window went.
TEST(RunWorker, AResultForAReceiverThatWentIsFreedAndNotDelivered) {
  for (const bool queuedFirst : {false, true}) {
    SCOPED_TRACE(queuedFirst ? "result queued before the receiver went" : "worker finished after it went");
    auto live = std::make_shared<std::atomic<int>>(0);
    auto receiver = std::make_unique<QObject>();
    auto gate = std::make_shared<ResultGate>(receiver.get());
    tarn::test::Gate held;
    bool delivered = false;
    RunWorker(
        gate,
        [&held, live] {
          held.arriveAndWait();
          return Counted(live);
        },
        [&delivered](Counted) { delivered = true; });
    ASSERT_TRUE(held.waitArrived());
    if (queuedFirst) {
      held.release();
      ASSERT_TRUE(WaitForWorkers(kWorkerWait));
    }
    // What the receiver does as it goes.
    gate->close();
    receiver.reset();
    held.release();
    ASSERT_TRUE(WaitForWorkers(kWorkerWait));
    QCoreApplication::processEvents();
    EXPECT_FALSE(delivered);
    EXPECT_EQ(live->load(), 0);
  }
}

}  // namespace
}  // namespace tarn::app
