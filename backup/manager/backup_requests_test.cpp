#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <future>
#include <string>

#include "backup/manager/manager_test_world.h"
#include "testing/gate.h"

namespace tarn {
namespace {

namespace fs = std::filesystem;
using test::Json;
using test::ManagerWorld;
using vx::json::Value;

constexpr const char* kAdmin = "backups are managed by an administrator of this computer";

IpcCaller Caller(uint32_t uid) {
  IpcCaller c;
  c.privileged = uid == 0;
  c.sid = std::string(kUserSidPrefix) + std::to_string(uid);
  c.token = CallerToken{uid, uid, {}};
  return c;
}

std::string Error(const Value& reply) { return reply["ok"].asBool() ? "ok" : reply["error"].asString(); }

// Starts a task of job j1 and gives its last note once it has ended.
std::string RunToEndNote(ManagerWorld& w, const std::string& request) {
  EXPECT_EQ(Error(w.call(request)), "ok") << request;
  w.waitIdle("j1");
  return w.jobState("j1")["state"]["lastNote"].asString();
}

TEST(BackupRequestsTest, OnlyPrivilegedCallersAndTheServiceItselfAreServed) {
  ManagerWorld w;
  ASSERT_TRUE(w.setJob("j1")["ok"].asBool());
  const IpcCaller user = Caller(1000);
  const IpcCaller root = Caller(0);
  for (const char* op : {"backupList", "backupSet", "backupTest", "backupRemove", "backupRun", "backupPrune",
                         "backupCheck", "backupRestore", "backupStop", "backupLog", "backupSnapshots", "backupLs",
                         "backupForget", "backupWhatever"}) {
    SCOPED_TRACE(op);
    const std::string request = R"({"op":")" + std::string(op) + R"(","id":"j1"})";
    const Value refused = w.call(request, &user);
    EXPECT_EQ(Error(refused), kAdmin);
    EXPECT_EQ(refused["code"].asString(), "admin");
  }
  EXPECT_TRUE(w.call(R"({"op":"backupList"})", &root)["ok"].asBool());
  EXPECT_TRUE(w.call(R"({"op":"backupList"})")["ok"].asBool());
  EXPECT_EQ(Error(w.call(R"({"op":"backupWhatever","id":"j1"})", &root)), "unknown op: backupWhatever");
  // An op that does not exist is named as such, whatever job it names.
  EXPECT_EQ(Error(w.call(R"({"op":"backupWhatever","id":"j2"})", &root)), "unknown op: backupWhatever");
  EXPECT_EQ(Error(w.call(R"({"op":"backupWhatever"})", &root)), "unknown op: backupWhatever");
  EXPECT_EQ(Error(w.call(R"({"op":"backupStop","id":"j2"})", &root)), "no such backup job");
  EXPECT_TRUE(w.jobState("j1").has("id"));  // nothing the user sent changed it
}

TEST(BackupRequestsTest, IdsThatCouldNameAnotherFolderAreRefusedAndTouchNothing) {
  ManagerWorld w;
  // A job's folder is the backup folder joined with its id.
  const std::string outside = w.folder.path() + "-outside";
  ASSERT_TRUE(vx::MakeDirs(outside));
  ASSERT_TRUE(vx::WriteFileAtomic(outside + "/log.txt", std::string("someone else's line\n")));
  ASSERT_TRUE(vx::WriteFileAtomic(outside + "/status.json", std::string("{}")));
  const std::string escape = "../" + fs::path(outside).filename().string();
  for (const std::string& id : {escape, std::string(""), std::string("J1"), std::string("a/b"), std::string(65, 'a')}) {
    for (const char* op : {"backupLog", "backupRemove", "backupRun", "backupStop", "backupRestore", "backupSnapshots",
                           "backupLs", "backupForget"}) {
      SCOPED_TRACE(id + " " + op);
      Value request = Value::object();
      request.set("op", op);
      request.set("id", id);
      const Value reply = w.manager->handle(request, nullptr);
      EXPECT_EQ(Error(reply), backup::kBadJobIdMessage);
      EXPECT_FALSE(reply.has("text"));
    }
  }
  EXPECT_TRUE(vx::FileExists(outside + "/log.txt"));
  EXPECT_TRUE(vx::FileExists(outside + "/status.json"));
  EXPECT_EQ(w.call(R"({"op":"backupList"})")["jobs"].size(), 0u);
  fs::remove_all(outside);
}

TEST(BackupRequestsTest, ValuesTheJobCannotKeepAreRefusedNotChanged) {
  ManagerWorld w;
  struct Case {
    const char* member;  // of the job
    const char* error;
  };
  const Case cases[] = {
      {R"("schedule":{"mode":"weekly"})", "schedule mode must be manual, hourly or daily, not weekly"},
      {R"("schedule":{"mode":"daily","hour":25})", "schedule hour must be 0 to 23, not 25"},
      {R"("schedule":{"mode":"hourly","everyHours":0})", "schedule everyHours must be 1 to 168, not 0"},
      {R"("schedule":{"mode":"daily","weekdays":0})",
       "schedule weekdays (bit 0 Monday to bit 6 Sunday) must be 1 to 127, not 0"},
      {R"("retention":{"keepLast":-1})", "retention keepLast must be 0 to 100000, not -1"},
      {R"("speedLimitKbps":-5)", "speedLimitKbps (0 for none) must be 0 or more, not -5"},
      {R"("schedule":{"mode":"daily","hour":23,"minute":59,"weekdays":127},"speedLimitKbps":0)", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.member);
    const std::string job = std::string(R"({"id":"j1","sources":["/srv"],"password":"p",)") +
                            R"("endpoint":{"protocol":"memory","host":"a","root":"/r"},)" + c.member + "}";
    for (const char* op : {"backupSet", "backupTest"}) {
      const Value reply = w.call(std::string(R"({"op":")") + op + R"(","job":)" + job + "}");
      EXPECT_EQ(reply["ok"].asBool(), c.error[0] == '\0') << op << " " << reply.dump();
      EXPECT_EQ(reply["error"].asString(), c.error) << op;
    }
  }
}

// Values a reader would silently replace, and sources no backup could
// read: each is refused by name, before any server is asked, and neither
// the stored job nor its file changes.
TEST(BackupRequestsTest, MistypedValuesAndSourcesThatAreNoFoldersAreRefusedAndChangeNothing) {
  ManagerWorld w;
  test::TempDir src("tarn-sources", 0755);
  ASSERT_EQ(::mkfifo(src.file("fifo").c_str(), 0600), 0);
  ASSERT_TRUE(w.setJob("j1", "a", R"(,"name":"kept","schedule":{"mode":"hourly","everyHours":3})", src.path())["ok"].asBool());
  const std::string jobsFile = w.folder.file(kJobsFileName);
  std::string before;
  ASSERT_TRUE(vx::ReadWholeFile(jobsFile, before));
  w.server("a").clearCalls();
  const std::string port = "endpoint port must be a whole number from 0 to 65535 (0 for the protocol's own)";
  struct Case {
    std::string members;
    std::string error;
  } cases[] = {
      {R"("enabled":"no")", "enabled must be true or false"},
      {R"("compress":"yes")", "compress must be true or false"},
      {R"("schedule":{"mode":"daily","hour":"3"})", "schedule hour must be a whole number from 0 to 23"},
      {R"("retention":{"keepDaily":"7"})", "retention keepDaily must be a whole number from 0 to 100000"},
      {R"("retention":{"keepLast":1e300})", "retention keepLast must be a whole number from 0 to 100000"},
      {R"("schedule":{"mode":"hourly","everyHours":1e12})", "schedule everyHours must be a whole number from 1 to 168"},
      {R"("speedLimitKbps":1.5)",
       "speedLimitKbps must be a whole number from 0 to 2147483647 (KiB per second, 0 for none)"},
      {R"("excludes":{"x":"*.tmp"})", "excludes must be a list of texts"},
      {R"("name":{"x":1})", "name must be a text"},
      {R"("name":"a\u0007b")", "name must be one line of text, without control characters"},
      {R"("name":")" + std::string(200000, 'n') + "\"", "name must be at most 256 characters"},
      {R"("sources":[")" + src.file("fifo") + R"("])", "sources must be folders or files: " + src.file("fifo") +
                                                          " is neither"},
      {R"("sources":[")" + src.file("missing") + R"("])", "sources must be folders or files that are there: " +
                                                              src.file("missing") + " is not there"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.members.substr(0, 80));
    const Value reply = w.call(R"({"op":"backupSet","job":{"id":"j1","sources":[")" + src.path() +
                               R"("],"password":"p","endpoint":{"protocol":"memory","host":"a","root":"/r"},)" +
                               c.members + "}}");
    EXPECT_EQ(Error(reply), c.error);
  }
  const std::pair<std::string, std::string> endpoints[] = {
      {R"({"protocol":"memory","host":"a","root":"/r","port":70000})", port},
      {R"({"protocol":"memory","host":"a","root":"/r","port":-1})", port},
      {R"({"protocol":"memory","host":"a\nb","root":"/r"})",
       "endpoint host must be one line of text, without control characters"},
  };
  for (const auto& [endpoint, error] : endpoints) {
    SCOPED_TRACE(endpoint);
    const Value reply = w.call(R"({"op":"backupSet","job":{"id":"j1","sources":[")" + src.path() +
                               R"("],"password":"p","endpoint":)" + endpoint + "}}");
    EXPECT_EQ(Error(reply), error);
  }
  std::string after;
  ASSERT_TRUE(vx::ReadWholeFile(jobsFile, after));
  EXPECT_EQ(after, before);
  EXPECT_EQ(w.jobState("j1")["name"].asString(), "kept");
  EXPECT_EQ(w.jobState("j1")["schedule"]["everyHours"].asInt(), 3);
  EXPECT_EQ(w.server("a").countCalls(test::MemOp::kConnect), 0) << "no server is asked";

  // A source the job has already is not looked at again: a disk that is
  // not plugged in now does not keep the job from being changed.
  ASSERT_TRUE(w.setJob("j2", "b", "", src.path())["ok"].asBool());
  const std::string gone = src.file("gone");
  ASSERT_TRUE(vx::MakeDirs(gone));
  ASSERT_TRUE(w.setJob("j2", "b", "", gone)["ok"].asBool());
  ASSERT_EQ(::rmdir(gone.c_str()), 0);
  EXPECT_TRUE(w.setJob("j2", "b", R"(,"name":"renamed")", gone)["ok"].asBool());
}

TEST(BackupRequestsTest, SetValidatesAndRefusesARunningJob) {
  ManagerWorld w;
  EXPECT_EQ(Error(w.call(R"({"op":"backupSet"})")), "the job is missing");
  test::TempDir src("tarn-sources", 0755);
  ASSERT_TRUE(vx::MakeDirs(src.file("data")));
  const Value made = w.call(R"({"op":"backupSet","job":{"sources":[")" + src.file("data") + R"("],"password":"p",)"
                            R"("endpoint":{"protocol":"memory","host":"a","root":"/r"}}})");
  ASSERT_TRUE(made["ok"].asBool());
  const std::string id = made["id"].asString();
  EXPECT_TRUE(backup::IsValidJobId(id)) << id;
  EXPECT_EQ(made["job"]["name"].asString(), "data");
  EXPECT_EQ(made["job"]["destination"].asString(), "memory://a/r");
  EXPECT_EQ(made["job"]["state"]["nextRun"].asInt64(), 0);  // manual

  std::shared_ptr<test::Gate> held = w.server("a").addGate(test::MemOp::kConnect);
  ASSERT_TRUE(w.call(R"({"op":"backupRun","id":")" + id + R"("})")["ok"].asBool());
  ASSERT_TRUE(held->waitArrived());
  EXPECT_EQ(Error(w.setJob(id)), "the job is running; stop it before changing it");
  EXPECT_EQ(Error(w.call(R"({"op":"backupSnapshots","id":")" + id + R"("})")),
            "busy: the backup is running; its snapshots can be opened when it is done");
  held->release();
  w.waitIdle(id);
}

TEST(BackupRequestsTest, MovingAJobElsewhereForgetsItsCacheAndLastVersionForGood) {
  ManagerWorld w;
  ASSERT_TRUE(w.setJob("j1", "a")["ok"].asBool());
  w.writeJobFile("j1", kJobStateFileName, "cache");
  w.writeJobFile("j1", kJobStatusFileName, R"({"lastOk":5,"lastSnapshot":{"time":4,"id":"abcd"}})");
  w.restart();
  // Another name, the same place: everything stays.
  ASSERT_TRUE(w.setJob("j1", "a", R"(,"name":"other")")["ok"].asBool());
  EXPECT_TRUE(vx::FileExists(w.jobFile("j1", kJobStateFileName)));
  EXPECT_EQ(w.jobState("j1")["state"]["lastSnapshot"]["id"].asString(), "abcd");

  const Value moved = w.setJob("j1", "b");
  ASSERT_TRUE(moved["ok"].asBool());
  EXPECT_FALSE(moved["job"]["state"].has("lastSnapshot"));
  EXPECT_FALSE(vx::FileExists(w.jobFile("j1", kJobStateFileName)));
  w.restart();
  EXPECT_FALSE(w.jobState("j1")["state"].has("lastSnapshot"));
  EXPECT_EQ(w.jobState("j1")["state"]["lastOk"].asInt64(), 5);
}

TEST(BackupRequestsTest, RemoveDeletesNothingWhenTheJobsFileCannotBeWritten) {
  ManagerWorld w;
  ASSERT_TRUE(w.setJob("j1")["ok"].asBool());
  ASSERT_TRUE(w.setJob("j2")["ok"].asBool());
  w.manager->appendLog("j1", "history");
  w.manager->appendLog("j2", "history");
  // The jobs file is written through its temporary, which cannot be made.
  ASSERT_EQ(::mkdir(w.folder.file(std::string(kJobsFileName) + ".tmp").c_str(), 0700), 0);
  EXPECT_EQ(Error(w.call(R"({"op":"backupRemove","id":"j1"})")), "cannot write the backup jobs file");
  EXPECT_TRUE(w.jobState("j1").has("id"));
  EXPECT_TRUE(vx::FileExists(w.jobFile("j1", kJobLogFileName)));

  ASSERT_EQ(::rmdir(w.folder.file(std::string(kJobsFileName) + ".tmp").c_str()), 0);
  EXPECT_TRUE(w.call(R"({"op":"backupRemove","id":"j1"})")["ok"].asBool());
  EXPECT_FALSE(fs::exists(w.manager->jobPath("j1")));
  EXPECT_EQ(Error(w.call(R"({"op":"backupRemove","id":"j1"})")), "no such backup job");
  w.restart();
  EXPECT_FALSE(w.jobState("j1").has("id"));
  EXPECT_TRUE(vx::FileExists(w.jobFile("j2", kJobLogFileName)));
}

TEST(BackupRequestsTest, RemoveWaitsForTheTaskToStopAndKeepsAJobThatDoesNot) {
  BackupTiming timing;
  timing.removeWaitMs = 0;
  ManagerWorld w(nullptr, timing);
  ASSERT_TRUE(w.setJob("j1")["ok"].asBool());
  std::shared_ptr<test::Gate> held = w.server("a").addGate(test::MemOp::kConnect);
  ASSERT_TRUE(w.call(R"({"op":"backupRun","id":"j1"})")["ok"].asBool());
  ASSERT_TRUE(held->waitArrived());
  EXPECT_EQ(Error(w.call(R"({"op":"backupRemove","id":"j1"})")), "the job is still running");
  EXPECT_TRUE(w.jobState("j1").has("id"));
  held->release();
  w.waitIdle("j1");
  // The remove canceled it.
  EXPECT_EQ(w.jobState("j1")["state"]["lastResult"].asString(), "canceled");
}

TEST(BackupRequestsTest, LogGivesOneLineMoreThanAskedFor) {
  ManagerWorld w;
  ASSERT_TRUE(w.setJob("j1")["ok"].asBool());
  EXPECT_EQ(w.call(R"({"op":"backupLog","id":"j1"})")["text"].asString(), "");
  struct Case {
    const char* log;
    int lines;
    const char* want;
  };
  const Case cases[] = {
      {"1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n", 0, "6\r\n7\r\n"},
      {"1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n", 1, "6\r\n7\r\n"},
      {"1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n", 5, "2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n"},
      {"1\r\n2\r\n3\r\n", 5, "1\r\n2\r\n3\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines);
    w.writeJobFile("j1", kJobLogFileName, c.log);
    EXPECT_EQ(w.call(R"({"op":"backupLog","id":"j1","lines":)" + std::to_string(c.lines) + "}")["text"].asString(),
              c.want);
  }
}

TEST(BackupRequestsTest, VersionsAreListedAndForgottenButTheLastOneStays) {
  ManagerWorld w;
  const std::vector<backup::SnapshotInfo> versions = w.makeRepository("a", 2);
  ASSERT_TRUE(w.setJob("j1")["ok"].asBool());
  w.writeJobFile("j1", kJobStatusFileName, R"({"lastSnapshot":)" + SnapshotJson(versions[1]).dump() + "}");
  w.restart();
  EXPECT_EQ(w.jobState("j1")["state"]["lastSnapshot"]["id"].asString(), versions[1].id);

  const Value listed = w.call(R"({"op":"backupSnapshots","id":"j1"})")["snapshots"];
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed.at(0)["id"].asString(), versions[0].id);
  EXPECT_EQ(listed.at(1)["bytes"].asInt64(), 1001);
  EXPECT_EQ(Error(w.call(R"({"op":"backupForget","id":"j1","snapshot":"abc"})")), "no such snapshot");
  EXPECT_EQ(Error(w.call(R"({"op":"backupForget","id":"j1","snapshot":")" + versions[1].id + R"("})")), "ok");
  EXPECT_EQ(w.call(R"({"op":"backupSnapshots","id":"j1"})")["snapshots"].size(), 1u);
  w.restart();
  EXPECT_FALSE(w.jobState("j1")["state"].has("lastSnapshot"));
  EXPECT_EQ(Error(w.call(R"({"op":"backupForget","id":"j1","snapshot":")" + versions[0].id + R"("})")),
            "this is the only version; remove the job to stop keeping it");
  EXPECT_EQ(w.call(R"({"op":"backupSnapshots","id":"j1","refresh":true})")["snapshots"].size(), 1u);
}

TEST(BackupRequestsTest, ARecordThatDoesNotOpenIsForgottenByItsNameAndSpaceIsReclaimedAgain) {
  ManagerWorld w;
  test::TempDir src;
  ASSERT_TRUE(vx::WriteFileAtomic(src.file("a.txt"), std::string("alpha")));
  ASSERT_TRUE(w.setJob("j1", "a", "", src.path())["ok"].asBool());
  EXPECT_EQ(RunToEndNote(w, R"({"op":"backupRun","id":"j1"})"), "");
  const std::string damaged(64, 'd');
  w.server("a").putFile("/snapshots/" + damaged, "not a sealed record");
  const std::string check = RunToEndNote(w, R"({"op":"backupCheck","id":"j1"})");
  EXPECT_EQ(check, "check found 1 problem: snapshot record " + damaged + " cannot be opened; forget it by this id");
  EXPECT_EQ(RunToEndNote(w, R"({"op":"backupPrune","id":"j1"})"),
            "prune: space is not reclaimed while 1 snapshot record is damaged; forget each by the id a "
            "check gives: " +
                damaged);

  // Listed apart from the versions, and named as damaged, not as gone.
  for (const char* refresh : {"true", "false"}) {
    const Value listed = w.call(R"({"op":"backupSnapshots","id":"j1","refresh":)" + std::string(refresh) + "}");
    EXPECT_EQ(listed["snapshots"].size(), 1u);
    EXPECT_EQ(listed["damaged"].dump(), "[\"" + damaged + "\"]") << refresh;
  }
  test::TempDir target;
  EXPECT_EQ(RunToEndNote(w, R"({"op":"backupRestore","id":"j1","snapshot":")" + damaged + R"(","target":")" +
                                target.path() + R"("})"),
            "restore: the snapshot's record is damaged: it does not open");
  EXPECT_EQ(Error(w.call(R"({"op":"backupForget","id":"j1","snapshot":")" + std::string(64, 'e') + R"("})")),
            "no such snapshot");
  EXPECT_EQ(Error(w.call(R"({"op":"backupForget","id":"j1","snapshot":")" + damaged + R"("})")), "ok");
  EXPECT_FALSE(w.server("a").exists("/snapshots/" + damaged));
  EXPECT_FALSE(w.call(R"({"op":"backupSnapshots","id":"j1"})").has("damaged"));
  EXPECT_EQ(RunToEndNote(w, R"({"op":"backupPrune","id":"j1"})").rfind("cleanup: ", 0), 0u);
  EXPECT_EQ(w.call(R"({"op":"backupSnapshots","id":"j1","refresh":true})")["snapshots"].size(), 1u);
}

TEST(BackupRequestsTest, APasswordIsSavedOnlyWhenItOpensTheRepositoryItIsFor) {
  ManagerWorld w;
  w.makeRepository("a", 1);
  ASSERT_EQ(Error(w.setJob("j1", "a")), "ok");
  const std::string refused = "the repository at memory://a/r does not open with this password";
  auto set = [&](const std::string& id, const std::string& host, const std::string& password,
                 const std::string& name = "") {
    return Error(w.call(R"({"op":"backupSet","job":{"id":")" + id + R"(","name":")" + name +
                        R"(","sources":["/srv"],"password":")" + password +
                        R"(","endpoint":{"protocol":"memory","host":")" + host + R"(","root":"/r"}}})"));
  };
  struct Case {
    const char* name;
    std::string id, host, password;
    std::string reply;
  } cases[] = {
      {"a changed password that does not open", "j1", "a", "wrong", refused},
      {"a new job with a password that does not open", "j2", "a", "wrong", refused},
      {"a new job where no repository is yet", "j3", "b", "anything", "ok"},
      {"a job moved where no repository is yet", "j1", "b", "", "ok"},
      {"a job moved back with a password that opens", "j1", "a", "", "ok"},
      {"a job moved back with one that does not", "j3", "a", "", refused},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(set(c.id, c.host, c.password), c.reply);
  }
  EXPECT_EQ(Error(w.call(R"({"op":"backupTest","id":"j1","job":{"id":"j1","sources":["/srv"],)"
                         R"("endpoint":{"protocol":"memory","host":"a","root":"/r"}}})")),
            "ok")
      << "the stored password still opens the repository";
  EXPECT_FALSE(w.jobState("j2").isObject());

  // A change that leaves password and place alone asks the server nothing;
  // one that cannot ask it is not refused for that.
  w.server("a").clearCalls();
  EXPECT_EQ(set("j1", "a", "", "renamed"), "ok");
  EXPECT_EQ(w.server("a").calls().size(), 0u);
  w.server("a").setDown(true);
  EXPECT_EQ(set("j1", "a", "wrong"), "ok");
}

// The server's own refusal, a folder a run would refuse, and a server that
// could not be asked each come back as what they are.
TEST(BackupRequestsTest, SetNamesWhatTheServerAnsweredAndSavesOnlyWhatItSays) {
  ManagerWorld w;
  w.makeRepository("a", 1);
  auto set = [&](const std::string& id, const std::string& host) {
    return w.call(R"({"op":"backupSet","job":{"id":")" + id + R"(","sources":["/srv"],"password":")" +
                  test::kJobPassword + R"(","endpoint":{"protocol":"memory","host":")" + host + R"(","root":"/r"}}})");
  };
  w.server("a").addFault(backup::Fault(test::MemOp::kConnect, 1, 0, Status(Status::kAuthFailed, "login refused")));
  EXPECT_EQ(Error(set("j1", "a")), "the server at memory://a/r refused the log-in: login refused");
  w.server("a").clearFaults();
  // A changed host key is refused here, not by the server.
  w.server("a").addFault(backup::Fault(test::MemOp::kConnect, 1, 0,
                                       Status(Status::kAuthFailed, "host key of a:22 changed: known_hosts has ...")));
  EXPECT_EQ(Error(set("j1", "a")), "the job is not saved: host key of a:22 changed: known_hosts has ...");
  w.server("a").clearFaults();
  EXPECT_EQ(Error(set("j1", "a")), "ok") << "the repository's password was right all along";

  w.server("b").makeDir("/data");
  w.server("b").makeDir("/index");
  EXPECT_EQ(Error(set("j2", "b")), "the folder at memory://b/r holds backup data without its \"/config\" "
                                   "(data/, index/); choose another folder, or put its \"config\" back");

  w.server("b").setDown(true);
  const Value untried = set("j3", "b");
  EXPECT_EQ(Error(untried), "ok");
  EXPECT_EQ(untried["warning"].asString().rfind("the server at memory://b/r could not be asked (", 0), 0u)
      << untried.dump();
  EXPECT_EQ(untried["warning"].asString().find("; the job is saved untried"), untried["warning"].asString().size() - 26);
  w.server("b").setDown(false);
  EXPECT_FALSE(w.jobState("j2").isObject());
  EXPECT_TRUE(w.jobState("j3").isObject());

  // Checks that outlast the console's wait save nothing: it has told its
  // user the request failed.
  std::shared_ptr<test::Gate> held = w.server("a").addGate(test::MemOp::kStat, "/config");
  auto late = std::async(std::launch::async, [&] { return set("j4", "a"); });
  ASSERT_TRUE(held->waitArrived());
  w.clock->set(test::kClockStart + kSetAnswerSec + 1);
  held->release();
  EXPECT_EQ(Error(late.get()), "the server at memory://a/r took too long to answer; the job is not saved");
  EXPECT_FALSE(w.jobState("j4").isObject());
}

TEST(BackupRequestsTest, TestTellsWhetherADestinationHoldsBackups) {
  ManagerWorld w;
  w.makeRepository("b", 3);
  const std::string job = R"({"sources":["/srv"],"password":")" + std::string(test::kJobPassword) +
                          R"(","endpoint":{"protocol":"memory","host":"HOST","root":"/r"}})";
  auto test = [&](const std::string& host) {
    std::string j = job;
    j.replace(j.find("HOST"), 4, host);
    return w.call(R"({"op":"backupTest","job":)" + j + "}");
  };
  const Value empty = test("a");
  EXPECT_TRUE(empty["ok"].asBool());
  EXPECT_FALSE(empty["exists"].asBool());
  EXPECT_FALSE(empty.has("snapshots"));
  const Value full = test("b");
  EXPECT_TRUE(full["exists"].asBool());
  EXPECT_EQ(full["snapshots"].asInt(), 3);
  EXPECT_EQ(w.call(R"({"op":"backupList"})")["jobs"].size(), 0u);  // a test stores nothing
}

TEST(BackupRequestsTest, TheServiceAsksWhetherBackupsRunWhileTheyReadItsDrives) {
  test::TempDir config;
  ServiceState state(config.file("config.json"), config.file("service.log"));
  test::AddMemoryDrive(state, "d1", "a", "/share");
  ManagerWorld w(&state);
  ASSERT_TRUE(w.call(R"({"op":"backupSet","job":{"id":"j1","sources":["/srv"],"password":"p",)"
                     R"("destMount":"d1","destPath":"/b"}})")["ok"]
                  .asBool());
  // isBusy is held while it asks the manager; the list, which asks the
  // service for the drive under the manager's lock, still gets through.
  test::Gate asking;
  state.setBackupRunning([&] {
    asking.arriveAndWait();
    return w.manager->anyRunning();
  });
  auto busy = std::async(std::launch::async, [&] { return state.isBusy(); });
  ASSERT_TRUE(asking.waitArrived());
  auto list = std::async(std::launch::async, [&] { return w.jobState("j1")["destination"].asString(); });
  const bool answered = list.wait_for(std::chrono::milliseconds(test::Gate::kDefaultWaitMs)) == std::future_status::ready;
  asking.release();
  EXPECT_TRUE(answered);
  EXPECT_EQ(list.get(), "memory://a/share/b");
  EXPECT_FALSE(busy.get());
}

}  // namespace
}  // namespace tarn
