#include <gtest/gtest.h>

#include <future>
#include <string>
#include <thread>

#include "backup/manager/manager_test_world.h"
#include "testing/gate.h"

namespace tarn {
namespace {

using test::Json;
using test::ManagerWorld;
using vx::json::Value;

constexpr auto kLong = std::chrono::milliseconds(test::Gate::kDefaultWaitMs);

Value Status(ManagerWorld& w, const std::string& id) { return w.jobState(id)["state"]; }

void WriteStatus(ManagerWorld& w, const std::string& id, const std::string& json) {
  vx::MakeDirs(w.manager->jobPath(id));
  ASSERT_TRUE(vx::WriteFileAtomic(w.jobFile(id, kJobStatusFileName), json));
}

TEST(BackupTaskTest, OneTaskPerJobAndOneAtATimeOnTheMachine) {
  ManagerWorld w;
  ASSERT_TRUE(w.setJob("j1", "a")["ok"].asBool());
  ASSERT_TRUE(w.setJob("j2", "b")["ok"].asBool());
  WriteStatus(w, "j2", R"({"failStreak":2,"lastResult":"failed"})");
  w.restart();
  std::shared_ptr<test::Gate> held = w.server("a").addGate(test::MemOp::kConnect);

  ASSERT_TRUE(w.call(R"({"op":"backupRun","id":"j1"})")["ok"].asBool());
  ASSERT_TRUE(held->waitArrived());
  EXPECT_EQ(w.call(R"({"op":"backupRun","id":"j1"})")["error"].asString(), "busy: the job is busy (backup)");
  ASSERT_TRUE(w.call(R"({"op":"backupRun","id":"j2"})")["ok"].asBool());
  EXPECT_EQ(Status(w, "j2")["running"].asString(), "backup");
  EXPECT_EQ(Status(w, "j2")["phase"].asString(), "waiting");
  EXPECT_EQ(Status(w, "j1")["phase"].asString(), "connecting");

  ASSERT_TRUE(w.call(R"({"op":"backupStop","id":"j2"})")["ok"].asBool());
  w.waitIdle("j2");
  EXPECT_EQ(Status(w, "j2")["lastResult"].asString(), "canceled");
  EXPECT_EQ(Json(w.readJobFile("j2", kJobStatusFileName))["failStreak"].asInt(), 2);
  EXPECT_NE(w.readJobFile("j2", kJobLogFileName).find("  backup canceled\r\n"), std::string::npos);
  EXPECT_EQ(w.server("b").calls().size(), 0u);  // it never reached its server

  held->release();
  w.waitIdle("j1");
  EXPECT_EQ(w.call(R"({"op":"backupStop","id":"j1"})")["error"].asString(), "the job is not running");
}

TEST(BackupTaskTest, StopAllEndsRunningAndWaitingTasksAsCanceled) {
  ManagerWorld w;
  ASSERT_TRUE(w.setJob("j1", "a")["ok"].asBool());
  ASSERT_TRUE(w.setJob("j2", "b")["ok"].asBool());
  std::shared_ptr<test::Gate> held = w.server("a").addGate(test::MemOp::kConnect);
  ASSERT_TRUE(w.call(R"({"op":"backupRun","id":"j1"})")["ok"].asBool());
  ASSERT_TRUE(held->waitArrived());
  ASSERT_TRUE(w.call(R"({"op":"backupRun","id":"j2"})")["ok"].asBool());

  std::thread stopper([&] { w.manager->stopAll(); });
  // The waiting task ends while the running one is still held.
  w.waitIdle("j2");
  EXPECT_TRUE(w.manager->anyRunning());
  held->release();
  stopper.join();
  EXPECT_FALSE(w.manager->anyRunning());
  EXPECT_EQ(Status(w, "j1")["lastResult"].asString(), "canceled");
  EXPECT_EQ(Status(w, "j2")["lastResult"].asString(), "canceled");
  EXPECT_EQ(w.call(R"({"op":"backupRun","id":"nope"})")["error"].asString(), "not-found: no such backup job");
}

TEST(BackupTaskTest, StartingAJobAgainWaitsForItsLastThreadWithoutHoldingTheStateLock) {
  ManagerWorld w;
  w.makeRepository("a", 1);
  ASSERT_TRUE(w.setJob("j1", "a")["ok"].asBool());
  // The first task is done with the job but still closing its repository's
  // connections.
  std::shared_ptr<test::Gate> closing = w.server("a").addGate(test::MemOp::kDisconnect);
  ASSERT_TRUE(w.call(R"({"op":"backupCheck","id":"j1"})")["ok"].asBool());
  ASSERT_TRUE(closing->waitArrived());
  w.waitIdle("j1");

  auto second = std::async(std::launch::async, [&] { return w.call(R"({"op":"backupCheck","id":"j1"})"); });
  // Requests keep being answered until the second task shows, while the
  // first thread cannot end.
  bool answered = true;
  for (;;) {
    auto list = std::async(std::launch::async, [&] { return Status(w, "j1"); });
    if (list.wait_for(kLong) != std::future_status::ready) {
      answered = false;
      closing->release();  // lets the blocked request end
      break;
    }
    if (list.get()["running"].asString() == "check") break;
    std::this_thread::yield();
  }
  closing->release();
  EXPECT_TRUE(answered) << "the state lock is held while the last thread is joined";
  EXPECT_TRUE(second.get()["ok"].asBool());
  w.waitIdle("j1");
}

TEST(BackupTaskTest, FailuresLandInTheStatusOfTheirOp) {
  test::TempDir config;
  ServiceState drives(config.file("config.json"), config.file("service.log"));
  test::AddMemoryDrive(drives, "d1", "a", "/share");
  ManagerWorld w(&drives);
  w.makeRepository("b", 1);
  ASSERT_TRUE(w.setJob("nothere", "a")["ok"].asBool());
  ASSERT_TRUE(w.call(R"({"op":"backupSet","job":{"id":"ondrive","sources":["/srv"],"password":"p",)"
                     R"("destMount":"d1","destPath":"/backups"}})")["ok"]
                  .asBool());
  ASSERT_TRUE(w.call(R"({"op":"backupSet","job":{"id":"wrongpw","sources":["/srv"],"password":"wrong",)"
                     R"("endpoint":{"protocol":"memory","host":"b","root":"/r"}}})")["ok"]
                  .asBool());
  EXPECT_EQ(w.jobState("ondrive")["destination"].asString(), "memory://a/share/backups");
  ASSERT_TRUE(drives.removeMount("d1", false).ok());
  EXPECT_EQ(w.jobState("ondrive")["destination"].asString(), "");

  struct Case {
    const char* request;
    const char* id;
    const char* lastNote;
    const char* lastError;
    int failStreak;
  };
  const Case cases[] = {
      {R"({"op":"backupCheck","id":"nothere"})", "nothere",
       "check: not-found: no backup has been made to this place yet", "", 0},
      {R"({"op":"backupRun","id":"ondrive"})", "ondrive", "",
       "not-found: the drive this backup is stored on has been removed", 1},
      {R"({"op":"backupPrune","id":"ondrive"})", "ondrive",
       "prune: not-found: the drive this backup is stored on has been removed",
       "not-found: the drive this backup is stored on has been removed", 1},
      {R"({"op":"backupRun","id":"wrongpw"})", "wrongpw", "", nullptr, 1},
      {R"({"op":"backupRun","id":"wrongpw"})", "wrongpw", "", nullptr, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.request);
    ASSERT_TRUE(w.call(c.request)["ok"].asBool());
    w.waitIdle(c.id);
    const Value state = Status(w, c.id);
    EXPECT_EQ(state["lastNote"].asString(), c.lastNote);
    if (c.lastError != nullptr) {
      EXPECT_EQ(state["lastError"].asString(), c.lastError);
    } else {
      EXPECT_NE(state["lastError"].asString(), "");
    }
    EXPECT_EQ(Json(w.readJobFile(c.id, kJobStatusFileName))["failStreak"].asInt(), c.failStreak);
  }
  EXPECT_EQ(Status(w, "wrongpw")["lastResult"].asString(), "failed");
  EXPECT_NE(w.readJobFile("ondrive", kJobLogFileName).find("  backup failed: not-found: the drive"), std::string::npos);
}

}  // namespace
}  // namespace tarn
