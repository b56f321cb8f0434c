#include <gtest/gtest.h>

#include <string>

#include "backup/manager/manager_test_world.h"
#include "testing/gate.h"

namespace tarn {
namespace {

using test::kClockStart;
using test::ManagerWorld;

constexpr const char* kHourly = R"(,"schedule":{"mode":"hourly","everyHours":1})";

bool StartedBySchedule(ManagerWorld& w, const std::string& id) {
  return w.readJobFile(id, kJobLogFileName).find("backup started (schedule)") != std::string::npos;
}

TEST(BackupSchedulerTest, FirstTickComesNoEarlierThan120SecondsAfterStart) {
  BackupTiming timing;
  timing.tickMs = 1;
  ManagerWorld w(nullptr, timing);
  ASSERT_TRUE(w.setJob("j1", "a", kHourly)["ok"].asBool());
  // The task's first call to the server shows that the scheduler started it.
  std::shared_ptr<test::Gate> connected = w.server("a").addGate(test::MemOp::kConnect);
  w.manager->startScheduler();
  w.clock->set(kClockStart + kFirstTickDelaySec - 1);
  ASSERT_TRUE(w.clock->waitReads(5));
  EXPECT_FALSE(connected->arrived());
  EXPECT_FALSE(w.manager->anyRunning());

  w.clock->set(kClockStart + kFirstTickDelaySec);
  ASSERT_TRUE(connected->waitArrived());
  EXPECT_TRUE(w.manager->anyRunning());
  connected->release();
  w.manager->stopAll();
  EXPECT_TRUE(StartedBySchedule(w, "j1"));
}

TEST(BackupSchedulerTest, TickStartsWhatIsDueAndRetriesFailuresWithinLimits) {
  const int64_t now = kClockStart + 100000;
  struct Case {
    const char* what;
    const char* schedule;
    const char* status;  // status.json before the tick; empty: never ran
    bool started;
  };
  const std::string recent = std::to_string(now - 60);
  const std::string hourAgo = std::to_string(now - 3600);
  const std::string failed1799 = std::to_string(now - kFailedRetryPauseSec + 1);
  const std::string failed1800 = std::to_string(now - kFailedRetryPauseSec);
  const std::string okRecent = R"({"lastStart":)" + recent + R"(,"lastEnd":)" + recent + R"(,"lastResult":"ok"})";
  const std::string okHourAgo = R"({"lastStart":)" + hourAgo + R"(,"lastEnd":)" + hourAgo + R"(,"lastResult":"ok"})";
  auto failed = [&](const std::string& end, int streak, const std::string& start) {
    return R"({"lastStart":)" + start + R"(,"lastEnd":)" + end + R"(,"lastResult":"failed","failStreak":)" +
           std::to_string(streak) + "}";
  };
  const std::string retryTooSoon = failed(failed1799, 2, recent);
  const std::string retry = failed(failed1800, 2, recent);
  const std::string givenUp = failed(failed1800, kMaxRetryStreak, recent);
  const std::string givenUpDue = failed(failed1800, kMaxRetryStreak, hourAgo);
  const std::string failedRecently = failed(recent, 1, hourAgo);
  const Case cases[] = {
      {"manual, never ran", "", "", false},
      {"disabled", R"(,"enabled":false,"schedule":{"mode":"hourly","everyHours":1})", "", false},
      {"hourly, never ran", kHourly, "", true},
      {"hourly, ran a minute ago", kHourly, okRecent.c_str(), false},
      {"hourly, ran an hour ago", kHourly, okHourAgo.c_str(), true},
      {"failed 1799 s ago", kHourly, retryTooSoon.c_str(), false},
      {"failed 1800 s ago, streak 2, not due", kHourly, retry.c_str(), true},
      {"failed 1800 s ago, streak 6, not due", kHourly, givenUp.c_str(), false},
      {"failed 1800 s ago, streak 6, due", kHourly, givenUpDue.c_str(), true},
      {"failed a minute ago, due", kHourly, failedRecently.c_str(), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ManagerWorld w;
    ASSERT_TRUE(w.setJob("j1", "a", c.schedule)["ok"].asBool());
    if (*c.status != '\0') {
      w.writeJobFile("j1", kJobStatusFileName, c.status);
      w.restart();
    }
    w.clock->set(now);
    w.manager->schedulerTick(now);
    w.manager->stopAll();
    EXPECT_EQ(StartedBySchedule(w, "j1"), c.started);
  }
}

}  // namespace
}  // namespace tarn
