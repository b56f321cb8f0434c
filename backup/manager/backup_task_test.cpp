#include <poll.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <future>
#include <string>
#include <thread>

#include "backup/engine/restore_test_world.h"
#include "backup/manager/backup_task.h"
#include "backup/manager/manager_test_world.h"
#include "foundation/text.h"
#include "testing/eventually.h"
#include "testing/gate.h"
#include "testing/tcp_relay.h"
#include "testing/test_clock.h"

namespace tarn {
namespace {

using test::Json;
using test::ManagerWorld;
using vx::json::Value;

constexpr auto kLong = std::chrono::milliseconds(test::Gate::kDefaultWaitMs);

Value Status(ManagerWorld& w, const std::string& id) { return w.jobState(id)["state"]; }

TEST(BackupTaskTest, OneTaskPerJobAndOneAtATimeOnTheMachine) {
  ManagerWorld w;
  ASSERT_TRUE(w.setJob("j1", "a")["ok"].asBool());
  ASSERT_TRUE(w.setJob("j2", "b")["ok"].asBool());
  w.writeJobFile("j2", kJobStatusFileName, R"({"failStreak":2,"lastResult":"failed"})");
  w.restart();
  w.server("b").clearCalls();
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
  ASSERT_TRUE(w.call(R"({"op":"backupSet","job":{"id":"ondrive","sources":["/srv"],"password":"p",)"
                     R"("destMount":"d1","destPath":"/backups"}})")["ok"]
                  .asBool());
  // Its password opened nothing when it was set: the repository came later.
  ASSERT_TRUE(w.call(R"({"op":"backupSet","job":{"id":"wrongpw","sources":["/srv"],"password":"wrong",)"
                     R"("endpoint":{"protocol":"memory","host":"b","root":"/r"}}})")["ok"]
                  .asBool());
  w.makeRepository("b", 1);
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
      {R"({"op":"backupRun","id":"ondrive"})", "ondrive", "",
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
  EXPECT_NE(w.readJobFile("ondrive", kJobLogFileName).find("  backup failed: the drive"), std::string::npos);
}

// ---- tasks that do their work ---------------------------------------------

// Keeps one version and nothing by day, week or month.
constexpr const char* kKeepOne = R"(,"retention":{"keepLast":1,"keepDaily":0,"keepWeekly":0,"keepMonthly":0})";

void WriteSource(const test::TempDir& src) {
  ASSERT_TRUE(vx::WriteFileAtomic(src.file("a.txt"), std::string("alpha")));
  ASSERT_TRUE(vx::MakeDirs(src.file("sub")));
  ASSERT_TRUE(vx::WriteFileAtomic(src.file("sub/b.txt"), std::string("beta")));
}

int CountLines(const std::string& text, const std::string& fragment) {
  int n = 0;
  for (size_t at = text.find(fragment); at != std::string::npos; at = text.find(fragment, at + 1)) ++n;
  return n;
}

// The last line of a job's log: the result line of its last task, which
// the console shows alone.
std::string ResultLine(ManagerWorld& w, const std::string& id) {
  std::string log = vx::Trim(w.readJobFile(id, kJobLogFileName));
  return log.substr(log.rfind('\n') + 1);
}

Value RunToEnd(ManagerWorld& w, const std::string& request, const std::string& id) {
  EXPECT_TRUE(w.call(request)["ok"].asBool()) << request;
  w.waitIdle(id);
  return Status(w, id);
}

TEST(BackupTaskTest, AServerThatRefusesIsAskedOnceAndOnlyBriefly) {
  ManagerWorld w;
  ASSERT_TRUE(w.setJob("j1", "a")["ok"].asBool());
  w.server("a").clearCalls();
  w.server("a").addFault(
      backup::Fault(test::MemOp::kConnect, 1, 0, ::tarn::Status(::tarn::Status::kNetwork, "Connection refused", ECONNREFUSED)));
  const Value state = RunToEnd(w, R"({"op":"backupRun","id":"j1"})", "j1");
  EXPECT_EQ(state["lastError"].asString().rfind("network: Connection refused", 0), 0u) << state["lastError"].asString();
  // One probe, tried as often as a drive tries an operation; no new
  // repository is attempted on a server that did not answer.
  EXPECT_EQ(w.server("a").countCalls(test::MemOp::kConnect), backup::TestRepoOptions().refusedRetry.maxAttempts);
}

TEST(BackupTaskTest, BackupsKeepTheirVersionsAndCleanUpAtMostWeekly) {
  ManagerWorld w;
  test::TempDir src;
  WriteSource(src);
  ASSERT_TRUE(w.setJob("j1", "a", kKeepOne, src.path())["ok"].asBool());
  const char* run = R"({"op":"backupRun","id":"j1"})";
  Value state = RunToEnd(w, run, "j1");
  EXPECT_EQ(state["lastResult"].asString(), "ok");
  EXPECT_EQ(state["lastError"].asString(), "");
  EXPECT_EQ(state["lastSnapshot"]["files"].asInt(), 2);
  EXPECT_EQ(state["lastOk"].asInt64(), test::kClockStart);
  EXPECT_NE(w.readJobFile("j1", kJobLogFileName).find("  backup ok: 2 files, "), std::string::npos);

  // The second backup lets the first version go and reclaims its space;
  // the third, a day later, only forgets.
  struct Step {
    int64_t at;
    int cleanups;
    int64_t lastPrune;
  };
  for (const Step& step : {Step{test::kClockStart + 60, 1, test::kClockStart + 60},
                           Step{test::kClockStart + 86400, 1, test::kClockStart + 60},
                           Step{test::kClockStart + 60 + kCleanupIntervalSec, 2,
                                test::kClockStart + 60 + kCleanupIntervalSec}}) {
    SCOPED_TRACE(step.at);
    w.clock->set(step.at);
    ASSERT_TRUE(vx::WriteFileAtomic(src.file("a.txt"), "alpha " + std::to_string(step.at)));
    state = RunToEnd(w, run, "j1");
    EXPECT_EQ(state["lastResult"].asString(), "ok");
    EXPECT_EQ(CountLines(w.readJobFile("j1", kJobLogFileName), "  cleanup: "), step.cleanups);
    EXPECT_EQ(Json(w.readJobFile("j1", kJobStatusFileName))["lastPrune"].asInt64(), step.lastPrune);
    // The versions known from before follow the repository.
    const Value cached = w.call(R"({"op":"backupSnapshots","id":"j1"})")["snapshots"];
    const Value listed = w.call(R"({"op":"backupSnapshots","id":"j1","refresh":true})")["snapshots"];
    ASSERT_EQ(cached.size(), 1u);
    EXPECT_EQ(cached.dump(), listed.dump());
  }
  EXPECT_EQ(w.readJobFile("j1", kJobLogFileName).find("cleanup did not finish"), std::string::npos);
}

TEST(BackupTaskTest, ChecksAndPrunesReportWhatTheyFound) {
  ManagerWorld w;
  test::TempDir src;
  WriteSource(src);
  ASSERT_TRUE(w.setJob("j1", "a", "", src.path())["ok"].asBool());
  ASSERT_EQ(RunToEnd(w, R"({"op":"backupRun","id":"j1"})", "j1")["lastResult"].asString(), "ok");
  EXPECT_EQ(RunToEnd(w, R"({"op":"backupCheck","id":"j1","readData":true})", "j1")["lastNote"].asString().rfind(
                "check passed: ", 0),
            0u);
  EXPECT_EQ(RunToEnd(w, R"({"op":"backupPrune","id":"j1"})", "j1")["lastNote"].asString().rfind(
                "cleanup: 0 old versions removed, ", 0),
            0u);

  // Damage: every pack of the repository is gone.
  auto conn = w.server("a").connection();
  ASSERT_TRUE(conn->connect().ok());
  std::vector<DirEntry> folders;
  ASSERT_TRUE(conn->list("/data", folders).ok());
  for (const DirEntry& folder : folders) {
    std::vector<DirEntry> packs;
    ASSERT_TRUE(conn->list("/data/" + folder.name, packs).ok());
    for (const DirEntry& pack : packs) ASSERT_TRUE(conn->remove("/data/" + folder.name + "/" + pack.name, false).ok());
  }
  const Value state = RunToEnd(w, R"({"op":"backupCheck","id":"j1"})", "j1");
  EXPECT_EQ(state["lastNote"].asString().rfind("check found ", 0), 0u) << state["lastNote"].asString();
  EXPECT_EQ(state["lastResult"].asString(), "ok");  // the backup's, untouched
  const std::string log = w.readJobFile("j1", kJobLogFileName);
  // The op is named once: "check warnings: found …", "check ok: … sound".
  EXPECT_NE(log.find("  check warnings: found "), std::string::npos) << log;
  EXPECT_EQ(log.find("check warnings: check"), std::string::npos) << log;
  EXPECT_NE(log.find("  check ok: "), std::string::npos) << log;
  EXPECT_EQ(log.find("check ok: check"), std::string::npos) << log;
  EXPECT_EQ(log.find("  check ok"), log.rfind("  check ok"));  // only the first check passed
}

// Every object below `folder` of a server, with its path.
std::vector<std::string> ObjectsBelow(test::MemoryServer& server, const std::string& folder) {
  auto conn = server.connection();
  EXPECT_TRUE(conn->connect().ok());
  std::vector<std::string> out;
  std::vector<std::string> folders = {folder};
  for (size_t i = 0; i < folders.size(); ++i) {
    std::vector<DirEntry> entries, leftovers;
    (void)conn->listWithLeftovers(folders[i], entries, leftovers);
    entries.insert(entries.end(), leftovers.begin(), leftovers.end());
    const std::string base = folders[i] == "/" ? std::string() : folders[i];
    for (const DirEntry& e : entries) (e.attr.isDir() ? folders : out).push_back(base + "/" + e.name);
  }
  return out;
}

// Job j1 on server "a" backs up `src` as WriteSource fills it; the id of
// its version.
std::string FirstVersion(ManagerWorld& w, const test::TempDir& src) {
  WriteSource(src);
  EXPECT_TRUE(w.setJob("j1", "a", "", src.path())["ok"].asBool());
  const std::string id = RunToEnd(w, R"({"op":"backupRun","id":"j1"})", "j1")["lastSnapshot"]["id"].asString();
  EXPECT_FALSE(id.empty());
  return id;
}

void FlipMiddleByte(test::MemoryServer& server, const std::string& path) {
  std::string bytes;
  ASSERT_TRUE(server.readFile(path, &bytes)) << path;
  bytes[bytes.size() / 2] ^= 0x01;
  server.putFile(path, bytes);
}

// What a restore, a check and a cleanup counted comes beside their notes as
// numbers, for a window to word in its own language, and stays across a
// restart; a task that failed counted nothing.
TEST(BackupTaskTest, TasksCountWhatTheirNotesSay) {
  ManagerWorld w;
  test::TempDir src;
  const std::string first = FirstVersion(w, src);
  ASSERT_FALSE(first.empty());
  struct Case {
    std::string request;
    const char* member;
    int64_t least;  // the count is at least this
    int64_t most;   // and at most this
  };
  test::TempDir target("tarn-restore-target", 0755);
  const Case cases[] = {
      {R"({"op":"backupCheck","id":"j1","readData":true})", "packs", 1, 1000},
      {R"({"op":"backupCheck","id":"j1","readData":true})", "problems", 0, 0},
      {R"({"op":"backupPrune","id":"j1"})", "versions", 0, 0},
      {R"({"op":"backupRestore","id":"j1","snapshot":")" + first + R"(","target":")" + target.path() + R"("})",
       "files", 2, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.request);
    const Value counts = RunToEnd(w, c.request, "j1")["lastTaskCounts"];
    ASSERT_TRUE(counts.has(c.member)) << counts.dump();
    EXPECT_GE(counts[c.member].asInt64(), c.least);
    EXPECT_LE(counts[c.member].asInt64(), c.most);
    EXPECT_TRUE(counts.has("bytes")) << counts.dump();
  }
  w.restart();
  EXPECT_EQ(Status(w, "j1")["lastTaskCounts"]["files"].asInt64(), 2);
  EXPECT_EQ(Status(w, "j1")["lastTaskCounts"]["bytes"].asInt64(), 9);

  w.server("a").addFault(
      backup::Fault(test::MemOp::kConnect, 1, 0, ::tarn::Status(::tarn::Status::kNetwork, "Connection refused", ECONNREFUSED)));
  const Value failed = RunToEnd(w, R"({"op":"backupCheck","id":"j1"})", "j1");
  EXPECT_EQ(failed["lastTaskResult"].asString(), "failed");
  EXPECT_EQ(failed["lastTaskCounts"].size(), 0u) << failed["lastTaskCounts"].dump();
}

TEST(BackupTaskTest, ChecksNameWhatNoIndexNamesAndPrunesIndexOrRemoveIt) {
  ManagerWorld w;
  test::TempDir src;
  WriteSource(src);
  ASSERT_TRUE(w.setJob("j1", "a", "", src.path())["ok"].asBool());
  ASSERT_EQ(RunToEnd(w, R"({"op":"backupRun","id":"j1"})", "j1")["lastResult"].asString(), "ok");

  // The index is lost and killed uploads lie about, all two hours old (the
  // in-memory server keeps the repository at its root).
  test::MemoryServer& server = w.server("a");
  BackendCaps caps = server.caps();
  caps.setMtime = true;
  server.setCaps(caps);
  auto conn = server.connection();
  ASSERT_TRUE(conn->connect().ok());
  for (const std::string& path : ObjectsBelow(server, "/index")) ASSERT_TRUE(conn->remove(path, false).ok());
  server.putFile("/data/ab/" + std::string(test::kUploadWorkPrefix) + "0123456789abcdef", std::string(1000, 'x'));
  server.putFile("/snapshots/" + std::string(64, 'c') + ".part", std::string(24, 'x'));
  const Timestamp old{vx::UnixNow() - 2 * backup::kUnnamedPackMinAgeSec, 0};
  for (const std::string& path : ObjectsBelow(server, "/data")) ASSERT_TRUE(conn->setTimes(path, old, old).ok());
  ASSERT_TRUE(conn->setTimes("/snapshots/" + std::string(64, 'c') + ".part", old, old).ok());

  // What no index names is read from the packs themselves: the version is
  // whole, and the packs are named for the next prune.
  const std::string found = RunToEnd(w, R"({"op":"backupCheck","id":"j1"})", "j1")["lastNote"].asString();
  EXPECT_EQ(found.rfind("check passed: 2 packs, ", 0), 0u) << found;
  EXPECT_NE(found.find("; 2 packs that no index names ("), std::string::npos) << found;
  EXPECT_NE(found.find(" and 2 upload leftovers (1.0 KiB), for the next prune"), std::string::npos) << found;

  const std::string pruned = RunToEnd(w, R"({"op":"backupPrune","id":"j1"})", "j1")["lastNote"].asString();
  EXPECT_NE(pruned.find("; 2 packs that no index named are indexed"), std::string::npos) << pruned;
  const std::string clean = RunToEnd(w, R"({"op":"backupCheck","id":"j1","readData":true})", "j1")["lastNote"].asString();
  EXPECT_EQ(clean.rfind("check passed: 2 packs, ", 0), 0u) << clean;
  EXPECT_EQ(clean.find("for the next prune"), std::string::npos) << clean;
  for (const std::string& path : ObjectsBelow(server, "/")) EXPECT_EQ(path.find(".part"), std::string::npos) << path;
}

TEST(BackupTaskTest, ADamagedIndexIsNamedWhileBackupsRestoresAndChecksGoOn) {
  ManagerWorld w;
  test::TempDir src;
  const std::string first = FirstVersion(w, src);
  ASSERT_FALSE(first.empty());

  // One flipped byte in the one index object.
  test::MemoryServer& server = w.server("a");
  const std::vector<std::string> objects = ObjectsBelow(server, "/index");
  ASSERT_EQ(objects.size(), 1u);
  FlipMiddleByte(server, objects[0]);
  const std::string named = "index " + objects[0].substr(std::string("/index/").size(), 8) + " is damaged";

  ASSERT_TRUE(vx::WriteFileAtomic(src.file("a.txt"), std::string("alpha, changed")));
  Value state = RunToEnd(w, R"({"op":"backupRun","id":"j1"})", "j1");
  EXPECT_EQ(state["lastResult"].asString(), "ok") << state["lastError"].asString();
  EXPECT_EQ(state["lastNote"].asString().rfind("backup: " + named, 0), 0u) << state["lastNote"].asString();
  EXPECT_NE(w.readJobFile("j1", kJobLogFileName).find("  " + named), std::string::npos);
  std::string result = ResultLine(w, "j1");
  EXPECT_NE(result.find("  backup ok: 2 files, "), std::string::npos) << result;
  EXPECT_NE(result.find("; " + named + ": "), std::string::npos) << result;

  const std::string checked = RunToEnd(w, R"({"op":"backupCheck","id":"j1"})", "j1")["lastNote"].asString();
  EXPECT_EQ(checked.rfind("check found 1 problem: " + named, 0), 0u) << checked;

  test::TempDir target("tarn-restore-target", 0755);
  const std::string restore =
      R"({"op":"backupRestore","id":"j1","snapshot":")" + first + R"(","target":")" + target.path() + R"("})";
  state = RunToEnd(w, restore, "j1");
  EXPECT_EQ(state["lastNote"].asString().rfind("restored 2 files, ", 0), 0u) << state["lastNote"].asString();
  result = ResultLine(w, "j1");
  EXPECT_NE(result.find("  restore ok: restored 2 files, "), std::string::npos) << result;
  EXPECT_NE(result.find("; " + named + ": "), std::string::npos) << result;

  // The prune's full index takes the damaged object's place.
  EXPECT_EQ(RunToEnd(w, R"({"op":"backupPrune","id":"j1"})", "j1")["lastNote"].asString().rfind("cleanup: ", 0), 0u);
  const std::vector<std::string> rewritten = ObjectsBelow(server, "/index");
  EXPECT_EQ(std::find(rewritten.begin(), rewritten.end(), objects[0]), rewritten.end());
  const std::string clean = RunToEnd(w, R"({"op":"backupCheck","id":"j1","readData":true})", "j1")["lastNote"].asString();
  EXPECT_EQ(clean.rfind("check passed: ", 0), 0u) << clean;
}

// Packs a check found damaged: every later task, also after a restart,
// counts their blobs as not held, so the next backup stores them again and
// its version restores whole; once a prune has removed the packs the job
// forgets them.
// Every pack is lost, the listings with them: the check's own line names
// the version by the id the console lists, and so does the prune, which
// goes on; the log gives the whole id.
TEST(BackupTaskTest, ChecksAndPrunesNameIncompleteVersionsByTheirIds) {
  ManagerWorld w;
  test::TempDir src;
  const std::string id = FirstVersion(w, src);
  auto conn = w.server("a").connection();
  ASSERT_TRUE(conn->connect().ok());
  for (const std::string& path : ObjectsBelow(w.server("a"), "/data")) ASSERT_TRUE(conn->remove(path, false).ok());
  const std::string named = "incomplete version: " + id.substr(0, 8);
  struct Case {
    const char* request;
    const char* line;  // the start of the task's result line
  } cases[] = {
      {R"({"op":"backupCheck","id":"j1"})", "  check warnings: found "},
      {R"({"op":"backupPrune","id":"j1"})", "  prune ok: cleanup: 0 old versions removed, "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.request);
    const Value state = RunToEnd(w, c.request, "j1");
    EXPECT_NE(state["lastNote"].asString().find(named), std::string::npos) << state["lastNote"].asString();
    std::string log = vx::Trim(w.readJobFile("j1", kJobLogFileName));
    const std::string last = log.substr(log.rfind('\n') + 1);
    EXPECT_NE(last.find(c.line), std::string::npos) << last;
    EXPECT_NE(last.find(named), std::string::npos) << last;
  }
  EXPECT_NE(w.readJobFile("j1", kJobLogFileName).find("  version " + id + " is incomplete: "), std::string::npos);
}

TEST(BackupTaskTest, PacksACheckFoundDamagedAreStoredAgainByTheNextBackup) {
  ManagerWorld w;
  test::TempDir src;
  const std::string first = FirstVersion(w, src);
  ASSERT_FALSE(first.empty());
  test::MemoryServer& server = w.server("a");
  const std::vector<std::string> damaged = ObjectsBelow(server, "/data");
  ASSERT_EQ(damaged.size(), 2u);
  for (const std::string& pack : damaged) FlipMiddleByte(server, pack);
  const std::string found =
      RunToEnd(w, R"({"op":"backupCheck","id":"j1","readData":true})", "j1")["lastNote"].asString();
  EXPECT_EQ(found.rfind("check found ", 0), 0u) << found;
  EXPECT_NE(w.readJobFile("j1", kJobStatusFileName).find("\"damagedPacks\""), std::string::npos);

  w.restart();
  Value state = RunToEnd(w, R"({"op":"backupRun","id":"j1"})", "j1");
  ASSERT_EQ(state["lastResult"].asString(), "ok") << state["lastError"].asString();
  EXPECT_EQ(state["lastNote"].asString().rfind("backup: pack ", 0), 0u) << state["lastNote"].asString();
  EXPECT_GT(state["lastSnapshot"]["storedBytes"].asInt64(), 0);
  const std::string second = state["lastSnapshot"]["id"].asString();
  test::TempDir target("tarn-restore-target", 0755);
  const std::string restore =
      R"({"op":"backupRestore","id":"j1","snapshot":")" + second + R"(","target":")" + target.path() + R"("})";
  state = RunToEnd(w, restore, "j1");
  EXPECT_EQ(state["lastNote"].asString().rfind("restored 2 files, ", 0), 0u) << state["lastNote"].asString();
  const std::string name = std::filesystem::path(src.path()).filename().string();
  std::string text;
  EXPECT_TRUE(vx::ReadWholeFile(target.path() + "/" + name + "/sub/b.txt", text));
  EXPECT_EQ(text, "beta");

  // Only the damaged version needed them: forgotten, its packs go.
  ASSERT_TRUE(w.call(R"({"op":"backupForget","id":"j1","snapshot":")" + first + R"("})")["ok"].asBool());
  EXPECT_EQ(RunToEnd(w, R"({"op":"backupPrune","id":"j1"})", "j1")["lastNote"].asString().rfind("cleanup: ", 0), 0u);
  for (const std::string& pack : damaged) EXPECT_FALSE(server.exists(pack)) << pack;
  const std::string clean =
      RunToEnd(w, R"({"op":"backupCheck","id":"j1","readData":true})", "j1")["lastNote"].asString();
  EXPECT_EQ(clean.rfind("check passed: ", 0), 0u) << clean;
  EXPECT_EQ(w.readJobFile("j1", kJobStatusFileName).find("\"damagedPacks\""), std::string::npos);
}

// Two jobs keep their versions in one repository folder: each lists,
// restores and forgets only its own. A record that names no job (made
// before records named theirs) is listed for both, as it always was.
TEST(BackupTaskTest, TwoJobsInOneRepositoryFolderSeeOnlyTheirOwnVersions) {
  ManagerWorld w;
  test::TempDir a, b;
  WriteSource(a);
  ASSERT_TRUE(vx::WriteFileAtomic(b.file("other.txt"), std::string("only b")));
  ASSERT_TRUE(w.setJob("ja", "a", "", a.path())["ok"].asBool());
  ASSERT_TRUE(w.setJob("jb", "a", "", b.path())["ok"].asBool());
  const Value versionA = RunToEnd(w, R"({"op":"backupRun","id":"ja"})", "ja")["lastSnapshot"];
  const std::string b1 = RunToEnd(w, R"({"op":"backupRun","id":"jb"})", "jb")["lastSnapshot"]["id"].asString();
  const std::string b2 = RunToEnd(w, R"({"op":"backupRun","id":"jb"})", "jb")["lastSnapshot"]["id"].asString();
  ASSERT_FALSE(versionA["id"].asString().empty() || b1.empty() || b2.empty());
  backup::SnapshotInfo unnamed = backup::SnapshotFromJson(versionA);
  unnamed.job.clear();
  unnamed.time -= 60;
  auto repo = std::make_shared<backup::Repo>(w.server("a").factory(), backup::TestRepoOptions());
  ASSERT_TRUE(repo->open(test::kJobPassword).ok());
  ASSERT_TRUE(repo->writeSnapshot(unnamed).ok());
  repo.reset();

  auto ids = [&](const std::string& job) {
    const Value list = w.call(R"({"op":"backupSnapshots","id":")" + job + R"(","refresh":true})")["snapshots"];
    std::vector<std::string> out;
    for (size_t i = 0; i < list.size(); ++i) out.push_back(list.at(i)["id"].asString());
    return out;
  };
  EXPECT_EQ(ids("ja"), (std::vector<std::string>{unnamed.id, versionA["id"].asString()}));
  std::vector<std::string> listedB = ids("jb");
  std::sort(listedB.begin(), listedB.end());
  std::vector<std::string> expectedB = {unnamed.id, b1, b2};
  std::sort(expectedB.begin(), expectedB.end());
  EXPECT_EQ(listedB, expectedB);

  // The latest version of A is A's, and another job's is refused.
  test::TempDir target("tarn-restore-target", 0755);
  auto restore = [&](const std::string& snapshot) {
    return RunToEnd(w, R"({"op":"backupRestore","id":"ja","snapshot":")" + snapshot + R"(","target":")" +
                           target.path() + R"("})",
                    "ja")["lastNote"]
        .asString();
  };
  EXPECT_EQ(restore(b2), "restore: the snapshot is a version of another job");
  EXPECT_TRUE(std::filesystem::is_empty(target.path()));
  EXPECT_EQ(restore(ids("ja").back()).rfind("restored 2 files, ", 0), 0u);
  const std::string name = std::filesystem::path(a.path()).filename().string();
  EXPECT_EQ(backup::TreeOf(target.path()),
            (std::vector<std::string>{name, name + "/a.txt", name + "/sub", name + "/sub/b.txt"}));

  EXPECT_EQ(w.call(R"({"op":"backupForget","id":"ja","snapshot":")" + b1 + R"("})")["error"].asString(),
            "no such snapshot");
  EXPECT_TRUE(w.server("a").exists("/snapshots/" + b1));
  EXPECT_TRUE(w.call(R"({"op":"backupForget","id":"jb","snapshot":")" + b1 + R"("})")["ok"].asBool());
  EXPECT_EQ(ids("ja").size(), 2u);
}

TEST(BackupTaskTest, ATaskTheServiceDidNotLiveToEndIsShownAsInterruptedAtTheNextStart) {
  struct Case {
    const char* request;
    const char* field;  // where the job shows it
    const char* text;
    const char* op;
  } cases[] = {
      {R"({"op":"backupRun","id":"j1"})", "lastResult", "interrupted", "backup"},
      {R"({"op":"backupCheck","id":"j1"})", "lastNote", "check interrupted: the service ended while it ran", "check"},
      {R"({"op":"backupPrune","id":"j1"})", "lastNote", "prune interrupted: the service ended while it ran", "prune"},
      {R"({"op":"backupRestore","id":"j1","snapshot":"abcd"})", "lastNote",
       "restore interrupted: the service ended while it ran", "restore"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.request);
    ManagerWorld w;
    w.makeRepository("a", 0);
    ASSERT_TRUE(w.setJob("j1", "a")["ok"].asBool());
    std::shared_ptr<test::Gate> connecting = w.server("a").addGate(test::MemOp::kConnect);
    ASSERT_TRUE(w.call(c.request)["ok"].asBool());
    ASSERT_TRUE(connecting->waitArrived());

    // The service is killed here: what a new one finds is what is on disk.
    BackupManager next(nullptr, w.folder.path(), BackupTiming{[] { return test::kClockStart + 600; }});
    std::string error;
    ASSERT_TRUE(next.loadJobs(&error)) << error;
    Value state;
    const Value list = next.handle(Json(R"({"op":"backupList"})"), nullptr)["jobs"];
    ASSERT_EQ(list.size(), 1u);
    state = list.at(0)["state"];
    EXPECT_EQ(state[c.field].asString(), c.text);
    // Whatever the last backup did, this task is what came last.
    EXPECT_EQ(state["lastTask"].asString(), c.op);
    EXPECT_EQ(state["lastTaskResult"].asString(), "interrupted");
    EXPECT_EQ(state["failStreak"].asInt(), 0);
    EXPECT_EQ(state["running"].asString(), "");
    const std::string log = w.readJobFile("j1", kJobLogFileName);
    EXPECT_NE(log.find(" interrupted: the service ended while it ran\r\n"), std::string::npos) << log;
    EXPECT_FALSE(Json(w.readJobFile("j1", kJobStatusFileName)).has("unfinished")) << "told once";

    connecting->release();
    w.waitIdle("j1");
  }
}

TEST(BackupTaskTest, ARestoreNamesTheFolderItCouldNotReadInsteadOfCountingItAsOneFile) {
  ManagerWorld w;
  {
    auto repo = std::make_shared<backup::Repo>(w.server("a").factory(), backup::TestRepoOptions());
    ASSERT_TRUE(repo->init(test::kJobPassword).ok());
    ASSERT_TRUE(repo->loadIndex().ok());
    backup::VersionBuilder v(*repo);
    v.file("docs/a.txt", "a");
    v.file("docs/b.txt", "b");
    backup::ListingEntry gone;
    gone.name = "gone";
    gone.isDir = true;
    gone.tree.bytes[0] = 0xEF;  // stored nowhere
    v.raw("docs", gone);
    const backup::SnapshotInfo version = v.write();
    ASSERT_TRUE(w.setJob("j1", "a")["ok"].asBool());
    test::TempDir target("tarn-restore-target", 0755);
    const Value state = RunToEnd(w, R"({"op":"backupRestore","id":"j1","snapshot":")" + version.id +
                                        R"(","target":")" + target.path() + R"("})",
                                 "j1");
    EXPECT_EQ(state["lastNote"].asString(),
              "restored 2 files, 2 B; folder " + target.path() + "/docs/gone could not be read");
  }
}

TEST(BackupTaskTest, FilesThatCannotBeReadEndABackupWithWarnings) {
  ManagerWorld w;
  test::TempDir src;
  WriteSource(src);
  // Names a listing cannot hold (links that lead nowhere hold nothing and
  // are only counted).
  for (const char* name : {"gone\xff" "1", "gone\xff" "2", "gone\xff" "3"})
    ASSERT_TRUE(vx::WriteFileAtomic(src.file(name), std::string("unreadable name")));
  ASSERT_TRUE(w.setJob("j1", "a", "", src.path())["ok"].asBool());
  const Value state = RunToEnd(w, R"({"op":"backupRun","id":"j1"})", "j1");
  EXPECT_EQ(state["lastResult"].asString(), "warnings");
  EXPECT_EQ(state["lastError"].asString(), "3 files were left out: their names are not valid UTF-8");
  EXPECT_FALSE(state["lastSnapshot"]["id"].asString().empty());
  const std::string log = w.readJobFile("j1", kJobLogFileName);
  EXPECT_EQ(CountLines(log, "/gone"), 3) << log;
  EXPECT_NE(log.find("  backup warnings: 2 files, "), std::string::npos) << log;
}

// A folder whose name a listing cannot hold is left out with all it holds:
// the backup counts it as one folder, and its problem says so.
TEST(BackupTaskTest, AFolderThatCannotBeBackedUpIsCountedAndNamedAsAFolder) {
  ManagerWorld w;
  test::TempDir src;
  WriteSource(src);
  ASSERT_TRUE(vx::MakeDirs(src.file("bad\xff")));
  for (const char* name : {"bad\xff/one", "bad\xff/two"})
    ASSERT_TRUE(vx::WriteFileAtomic(src.file(name), std::string("in a folder of an unreadable name")));
  ASSERT_TRUE(w.setJob("j1", "a", "", src.path())["ok"].asBool());
  const Value state = RunToEnd(w, R"({"op":"backupRun","id":"j1"})", "j1");
  EXPECT_EQ(state["lastResult"].asString(), "warnings");
  EXPECT_EQ(state["lastError"].asString(), "1 folder was left out: its name is not valid UTF-8");
  const std::string log = w.readJobFile("j1", kJobLogFileName);
  EXPECT_NE(log.find("  " + src.path() + "/bad\\xFF: the folder's name is not valid UTF-8; nothing in it is backed up"),
            std::string::npos)
      << log;
}

// Why a backup is done in part, as the console shows it: a file that kept
// changing was stored all the same, unlike one that could not be read.
TEST(BackupTaskTest, WhyABackupIsDoneInPartTellsStoredFilesFromUnreadOnes) {
  struct Case {
    uint64_t errors, changed, folders;
    const char* text;
  } cases[] = {
      {3, 0, 0, "3 files could not be read"},
      {1, 1, 0, "1 file changed while it was read and was stored as last read"},
      {3, 2, 0, "1 file could not be read; 2 files changed while they were read and were stored as last read"},
      {1, 0, 1, "1 folder could not be read"},
      {4, 0, 2, "2 files and 2 folders could not be read"},
      {3, 1, 1, "1 file and 1 folder could not be read; 1 file changed while it was read and was stored as last read"},
  };
  for (const Case& c : cases) EXPECT_EQ(WarningsText(c.errors, c.changed, {c.folders, 0, 0}), c.text);
  // A name that is not UTF-8 was read well enough: it is left out for its name.
  struct Named {
    uint64_t errors, changed, badNames, badNameFolders;
    const char* text;
  } named[] = {
      {1, 0, 1, 0, "1 file was left out: its name is not valid UTF-8"},
      {1, 0, 1, 1, "1 folder was left out: its name is not valid UTF-8"},
      {4, 1, 2, 1, "1 file could not be read; 1 file and 1 folder were left out: their names are not valid UTF-8; "
                   "1 file changed while it was read and was stored as last read"},
  };
  for (const Named& c : named)
    EXPECT_EQ(WarningsText(c.errors, c.changed, {0, c.badNames, c.badNameFolders}), c.text);
}

TEST(BackupTaskTest, WhatABackupLeavesOutOnPurposeIsNamedInItsNote) {
  ManagerWorld w;
  test::TempDir src;
  WriteSource(src);
  ASSERT_EQ(::mkfifo(src.file("pipe").c_str(), 0600), 0);
  ASSERT_TRUE(vx::MakeDirs(src.file("proc")));
  ASSERT_EQ(::mount("proc", src.file("proc").c_str(), "proc", 0, nullptr), 0) << std::strerror(errno);
  ASSERT_TRUE(w.setJob("j1", "a", "", src.path())["ok"].asBool());
  const Value state = RunToEnd(w, R"({"op":"backupRun","id":"j1"})", "j1");
  ::umount2(src.file("proc").c_str(), MNT_DETACH);
  // Left out on purpose: the backup is whole as far as it goes.
  EXPECT_EQ(state["lastResult"].asString(), "ok");
  const std::string log = w.readJobFile("j1", kJobLogFileName);
  EXPECT_NE(log.find("  " + src.file("proc") + " (proc): another file system that backups leave out\r\n"),
            std::string::npos)
      << log;
  const size_t result = log.find("  backup ok: 2 files, ");
  ASSERT_NE(result, std::string::npos) << log;
  const std::string line = log.substr(result, log.find('\r', result) - result);
  EXPECT_NE(line.find("; 1 FIFO, socket or device skipped; not backed up: " + src.file("proc") + " (proc)"),
            std::string::npos)
      << line;
}

TEST(BackupTaskTest, OnlyRootsRestoresGiveItemsBackToTheirOwners) {
  ManagerWorld w;
  test::TempDir src;
  WriteSource(src);
  ASSERT_EQ(::chown(src.file("a.txt").c_str(), 4242, 4343), 0);
  ASSERT_EQ(::chmod(src.file("a.txt").c_str(), 0640), 0);
  ASSERT_TRUE(w.setJob("j1", "a", "", src.path())["ok"].asBool());
  const std::string version =
      RunToEnd(w, R"({"op":"backupRun","id":"j1"})", "j1")["lastSnapshot"]["id"].asString();
  const std::string name = std::filesystem::path(src.path()).filename().string();
  struct Case {
    uint32_t uid;
    uint32_t owner;  // of the restored file
  } cases[] = {{0, 4242}, {65534, 65534}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.uid);
    test::TempDir target("tarn-restore-target", 0755);
    ASSERT_EQ(::chown(target.path().c_str(), c.uid, c.uid), 0);
    IpcCaller caller;
    caller.privileged = true;
    caller.token = CallerToken{c.uid, c.uid, {}};
    ASSERT_TRUE(w.call(R"({"op":"backupRestore","id":"j1","snapshot":")" + version + R"(","target":")" +
                           target.path() + R"(","umask":18})",
                       &caller)["ok"].asBool());
    w.waitIdle("j1");
    EXPECT_EQ(Status(w, "j1")["lastNote"].asString().rfind("restored 2 files, ", 0), 0u)
        << Status(w, "j1")["lastNote"].asString();
    struct stat st {};
    ASSERT_EQ(::stat((target.path() + "/" + name + "/a.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, c.owner);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
  }
}

// A server that takes every connection and never says a word; counts the
// connections.
class SilentServer {
 public:
  SilentServer() : listen_(tarn::testing::ListenOnLoopback(port_)) {
    thread_ = std::thread([this] {
      while (!stop_) {
        pollfd p{listen_, POLLIN, 0};
        if (::poll(&p, 1, kSliceMs) <= 0) continue;
        const int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        held_.push_back(fd);
        ++accepted_;
      }
    });
  }
  ~SilentServer() {
    stop_ = true;
    thread_.join();
    for (int fd : held_) ::close(fd);
    ::close(listen_);
  }
  uint32_t port() const { return port_; }
  int accepted() const { return accepted_; }

 private:
  static constexpr int kSliceMs = 20;
  uint32_t port_ = 0;
  int listen_;
  std::atomic<bool> stop_{false};
  std::atomic<int> accepted_{0};
  std::vector<int> held_;  // the thread's
  std::thread thread_;
};

// A server that accepts and never answers keeps a backup no longer than
// it keeps a drive's call: the connect and I/O time-outs, every attempt
// included. Setting a job up to it answers, and says it was not tried.
TEST(BackupTaskTest, ASilentServerCostsABackupWhatItCostsADrive) {
  SilentServer silent;
  test::TempDir config;
  ServiceState drives(config.file("config.json"), config.file("service.log"));
  std::string added;
  ASSERT_TRUE(drives
                  .setMount(Json(R"({"id":"silent","drive":"Q","endpoint":{"protocol":"sftp","host":"127.0.0.1",)"
                                 R"("port":)" + std::to_string(silent.port()) +
                                 R"(,"root":"/srv","user":"u","password":"p"},)"
                                 R"("net":{"connectTimeoutMs":1000,"ioTimeoutMs":1000}})"),
                            added)
                  .ok());
  test::TempDir folder;
  // The service's own repository settings: eight attempts a call.
  BackupManager manager(&drives, folder.path());
  const Value set = manager.handle(Json(R"({"op":"backupSet","job":{"id":"j1","sources":["/srv"],"password":"p",)"
                                        R"("destMount":"silent","destPath":"/backups"}})"),
                                   nullptr);
  ASSERT_TRUE(set["ok"].asBool()) << set.dump();
  EXPECT_NE(set["warning"].asString().find("could not be asked"), std::string::npos) << set.dump();
  EXPECT_EQ(silent.accepted(), 1);

  ASSERT_TRUE(manager.handle(Json(R"({"op":"backupRun","id":"j1"})"), nullptr)["ok"].asBool());
  ASSERT_TRUE(manager.waitIdle("j1", test::Gate::kDefaultWaitMs));
  const Value state = manager.handle(Json(R"({"op":"backupList"})"), nullptr)["jobs"].at(0)["state"];
  EXPECT_EQ(state["lastResult"].asString(), "failed");
  EXPECT_EQ(silent.accepted(), 2) << "one attempt of the backup's first call: "
                                  << state["lastError"].asString();
}

// A server that stops answering while a backup uploads, as a stopped
// process does: the upload that meets the silence waits one budget (the
// job's connect and I/O time-outs) on the test clock, and every later call
// of the task, the removal of its lock included, ends at once. The lock it
// could not remove is no obstacle once the server answers: the next task of
// this service removes it, and the prune goes on at once.
TEST(BackupTaskTest, AServerThatStopsAnsweringEndsTheBackupWithinOneBudgetAndTheNextTaskClearsItsLock) {
  test::ScopedTestClock clock;
  ManagerWorld w;
  // One upload connection: the pack held at the gate is the only call that
  // may wait on the silence.
  backup::RepoOptions options = backup::TestRepoOptions();
  options.connections = 2;
  w.manager->setRepoDefaults(options);
  test::TempDir src;
  WriteSource(src);
  ASSERT_TRUE(w.setJob("j1", "a", "", src.path())["ok"].asBool());
  test::MemoryServer& server = w.server("a");
  std::shared_ptr<test::Gate> upload = server.addGate(test::MemOp::kOpenWrite, "/data/");
  ASSERT_TRUE(w.call(R"({"op":"backupRun","id":"j1"})")["ok"].asBool());
  ASSERT_TRUE(upload->waitArrived());
  const EndpointConfig job;  // the time-outs of a job's own server
  server.setSilent(job.ioTimeoutMs);
  upload->release();
  ASSERT_TRUE(test::Eventually([&] { return server.silentWaiters() == 1; }));
  clock.advance(job.connectTimeoutMs + job.ioTimeoutMs);
  // With the clock stopped, a call that waited for the server again would
  // never end.
  const bool ended = w.manager->waitIdle("j1", test::Gate::kDefaultWaitMs);
  server.setSilent(0);
  w.waitIdle("j1");
  EXPECT_TRUE(ended) << "a later call waited for the silent server again";
  const Value state = Status(w, "j1");
  EXPECT_EQ(state["lastResult"].asString(), "failed");
  EXPECT_EQ(state["lastError"].asString().rfind("timeout: ", 0), 0u) << state["lastError"].asString();
  EXPECT_EQ(ObjectsBelow(server, "/locks").size(), 1u) << "the lock could not be removed";

  const Value pruned = RunToEnd(w, R"({"op":"backupPrune","id":"j1"})", "j1");
  EXPECT_EQ(pruned["lastTaskResult"].asString(), "ok") << pruned["lastNote"].asString();
  EXPECT_TRUE(ObjectsBelow(server, "/locks").empty());
}

// Cleanup after a backup that cannot take the exclusive lock: the backup
// stands, and its own result line, which the console shows, says so.
TEST(BackupTaskTest, ABackupWhoseCleanupDidNotFinishSaysSoInItsResultLine) {
  ManagerWorld w;
  test::TempDir src;
  WriteSource(src);
  ASSERT_TRUE(w.setJob("j1", "a", kKeepOne, src.path())["ok"].asBool());
  ASSERT_EQ(RunToEnd(w, R"({"op":"backupRun","id":"j1"})", "j1")["lastResult"].asString(), "ok");
  // A check of another client holds the shared lock.
  auto other = std::make_shared<backup::Repo>(w.server("a").factory(), backup::TestRepoOptions());
  ASSERT_TRUE(other->open(test::kJobPassword).ok());
  ASSERT_TRUE(other->lock(backup::LockMode::kShared, "check").ok());
  w.clock->set(test::kClockStart + 60);
  ASSERT_TRUE(vx::WriteFileAtomic(src.file("a.txt"), std::string("alpha 2")));
  EXPECT_EQ(RunToEnd(w, R"({"op":"backupRun","id":"j1"})", "j1")["lastResult"].asString(), "ok");
  std::string log = vx::Trim(w.readJobFile("j1", kJobLogFileName));
  log.erase(0, log.rfind('\n') + 1);
  EXPECT_NE(log.find("  backup ok: 2 files, "), std::string::npos) << log;
  EXPECT_NE(log.find("; cleanup did not finish: busy: the repository is locked by check on "), std::string::npos)
      << log;
  other->unlock();
}

TEST(BackupTaskTest, StoppingARunningBackupCancelsItWithoutAVersion) {
  for (bool all : {false, true}) {
    SCOPED_TRACE(all ? "stopAll" : "backupStop");
    ManagerWorld w;
    w.makeRepository("a", 0);
    test::TempDir src;
    WriteSource(src);
    ASSERT_TRUE(w.setJob("j1", "a", "", src.path())["ok"].asBool());
    // The backup's first pack upload is held while the stop comes.
    std::shared_ptr<test::Gate> upload = w.server("a").addGate(test::MemOp::kOpenWrite, "/data/");
    ASSERT_TRUE(w.call(R"({"op":"backupRun","id":"j1"})")["ok"].asBool());
    ASSERT_TRUE(upload->waitArrived());
    EXPECT_EQ(Status(w, "j1")["phase"].asString(), "backup");
    std::thread stopper;
    if (all) {
      // A second job queued behind ends only once stopAll has canceled
      // every task, this one included.
      ASSERT_TRUE(w.setJob("j2", "b")["ok"].asBool());
      ASSERT_TRUE(w.call(R"({"op":"backupRun","id":"j2"})")["ok"].asBool());
      stopper = std::thread([&] { w.manager->stopAll(); });
      w.waitIdle("j2");
    } else {
      ASSERT_TRUE(w.call(R"({"op":"backupStop","id":"j1"})")["ok"].asBool());
    }
    upload->release();
    if (stopper.joinable()) stopper.join();
    w.waitIdle("j1");
    const Value state = Status(w, "j1");
    EXPECT_EQ(state["lastResult"].asString(), "canceled");
    EXPECT_FALSE(state.has("lastSnapshot"));
    EXPECT_EQ(w.call(R"({"op":"backupSnapshots","id":"j1","refresh":true})")["snapshots"].size(), 0u);
  }
}

TEST(BackupTaskTest, RestoresWriteWithTheRightsOfWhoeverAsked) {
  ManagerWorld w;
  test::TempDir src;
  WriteSource(src);
  ASSERT_TRUE(w.setJob("j1", "a", "", src.path())["ok"].asBool());
  const std::string version =
      RunToEnd(w, R"({"op":"backupRun","id":"j1"})", "j1")["lastSnapshot"]["id"].asString();
  ASSERT_FALSE(version.empty());
  const std::string name = std::filesystem::path(src.path()).filename().string();

  // What the version holds, folder by folder.
  Value entries = w.call(R"({"op":"backupLs","id":"j1","snapshot":")" + version + R"(","path":""})")["entries"];
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries.at(0)["name"].asString(), name);
  EXPECT_TRUE(entries.at(0)["dir"].asBool());
  EXPECT_EQ(entries.at(0)["source"].asString(), src.path());
  entries = w.call(R"({"op":"backupLs","id":"j1","snapshot":")" + version + R"(","path":")" + name + R"(/sub"})")["entries"];
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries.at(0)["size"].asInt(), 4);
  EXPECT_FALSE(entries.at(0).has("source"));

  // A folder only root may write: another user's restore there writes
  // nothing; the service's own does.
  test::TempDir target("tarn-restore-target", 0755);
  IpcCaller user;
  user.privileged = true;
  user.token = CallerToken{65534, 65534, {}};
  const std::string restore =
      R"({"op":"backupRestore","id":"j1","snapshot":")" + version + R"(","target":")" + target.path() + R"("})";
  ASSERT_TRUE(w.call(restore, &user)["ok"].asBool());
  w.waitIdle("j1");
  EXPECT_EQ(Status(w, "j1")["lastNote"].asString(),
            "restore: cannot write to " + target.path() + ": Permission denied");
  EXPECT_TRUE(std::filesystem::is_empty(target.path()));
  // A caller whose rights are not known is not the service itself.
  user.token.reset();
  ASSERT_TRUE(w.call(restore, &user)["ok"].asBool());
  w.waitIdle("j1");
  EXPECT_EQ(Status(w, "j1")["lastNote"].asString(),
            "restore: a restore needs the rights of the user who asked for it");
  EXPECT_TRUE(std::filesystem::is_empty(target.path()));

  EXPECT_EQ(RunToEnd(w, restore, "j1")["lastNote"].asString().rfind("restored 2 files, ", 0), 0u);
  std::string text;
  EXPECT_TRUE(vx::ReadWholeFile(target.path() + "/" + name + "/sub/b.txt", text));
  EXPECT_EQ(text, "beta");
  // A folder of one file: "1 file", not "1 files".
  test::TempDir single("tarn-restore-one", 0755);
  const std::string sub = R"({"op":"backupRestore","id":"j1","snapshot":")" + version + R"(","path":")" + name +
                          R"(/sub","target":")" + single.path() + R"("})";
  EXPECT_EQ(RunToEnd(w, sub, "j1")["lastNote"].asString().rfind("restored 1 file, ", 0), 0u)
      << Status(w, "j1")["lastNote"].asString();

  const std::string gone = R"({"op":"backupRestore","id":"j1","snapshot":"abc","target":")" + target.path() + R"("})";
  EXPECT_EQ(RunToEnd(w, gone, "j1")["lastNote"].asString(), "restore: the snapshot is no longer there");
  EXPECT_EQ(Status(w, "j1")["lastResult"].asString(), "ok");
}

}  // namespace
}  // namespace tarn
