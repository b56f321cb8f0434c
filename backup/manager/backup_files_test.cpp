#include <sys/stat.h>

#include <gtest/gtest.h>

#include <string>

#include "backup/manager/manager_test_world.h"
#include "foundation/config_file.h"

namespace tarn {
namespace {

using test::Json;
using test::ManagerWorld;
using vx::json::Value;

Value JobsFile(ManagerWorld& w) {
  std::string text;
  EXPECT_TRUE(vx::ReadWholeFile(w.folder.file(kJobsFileName), text));
  return Json(text);
}

// The three stored secrets of the first job, opened.
std::vector<std::string> OpenedSecrets(ManagerWorld& w) {
  const Value job = JobsFile(w)["jobs"].at(0);
  std::vector<std::string> out;
  for (const Value* v : {&job["password"], &job["endpoint"]["password"], &job["endpoint"]["privateKey"]}) {
    if (!v->asString().empty()) {
      EXPECT_EQ(v->asString().rfind("dpapi:", 0), 0u) << v->asString();
    }
    out.push_back(UnprotectSecret(v->asString()));
  }
  return out;
}

TEST(BackupFilesTest, SecretsAreSealedAtEverySaveAndKeptWhenAChangeLeavesThemEmpty) {
  ManagerWorld w;
  // Typed in by hand, in plain text.
  ASSERT_TRUE(vx::WriteFileAtomic(
      w.folder.file(kJobsFileName),
      std::string(R"({"jobs":[{"id":"j1","sources":["/a"],"password":"repo pw",)"
                  R"("endpoint":{"protocol":"memory","host":"a","root":"/r","password":"srv","privateKey":"KEY"}}]})")));
  w.restart();
  ASSERT_TRUE(w.setJob("j2")["ok"].asBool());
  EXPECT_EQ(JobsFile(w).keys.front(), "version");
  const std::vector<std::string> want = {"repo pw", "srv", "KEY"};
  EXPECT_EQ(OpenedSecrets(w), want);

  w.restart();
  ASSERT_TRUE(w.call(R"({"op":"backupSet","job":{"id":"j1","name":"renamed","sources":["/a"],)"
                     R"("endpoint":{"protocol":"memory","host":"a","root":"/r"}}})")["ok"]
                  .asBool());
  EXPECT_EQ(OpenedSecrets(w), want);
  EXPECT_TRUE(w.jobState("j1")["endpoint"]["hasPrivateKey"].asBool());
}

TEST(BackupFilesTest, HandEditedJobsFiles) {
  struct Case {
    const char* what;
    const char* file;
    bool loads;
    const char* ids;  // the jobs listed afterwards, in order
    const char* name;  // of the first job
  };
  const Case cases[] = {
      {"a later entry replaces an earlier one",
       R"({"jobs":[{"id":"j1","name":"first","sources":["/a"],"password":"p","endpoint":{"protocol":"memory","host":"a","root":"/r"}},)"
       R"({"id":"j1","name":"second","sources":["/a"],"password":"p","endpoint":{"protocol":"memory","host":"a","root":"/r"}}]})",
       true, "j1", "second"},
      {"an id that names another folder is never used",
       R"({"jobs":[{"id":"../x","sources":["/a"]},{"id":"j2","sources":["/a"]}]})", true, "j2", "a"},
      {"an invalid job is kept", R"({"jobs":[{"id":"j3"}]})", true, "j3", ""},
      {"not JSON", "{jobs", false, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ManagerWorld w;
    ASSERT_TRUE(vx::WriteFileAtomic(w.folder.file(kJobsFileName), std::string(c.file)));
    std::string error;
    BackupManager manager(nullptr, w.folder.path());
    EXPECT_EQ(manager.loadJobs(&error), c.loads);
    if (!c.loads) {
      EXPECT_EQ(error, "backup jobs file is not valid JSON");
    }
    const Value list = manager.handle(Json(R"({"op":"backupList"})"), nullptr)["jobs"];
    std::string ids;
    for (size_t i = 0; i < list.size(); ++i) ids += (i ? "," : "") + list.at(i)["id"].asString();
    EXPECT_EQ(ids, c.ids);
    if (list.size() > 0) {
      EXPECT_EQ(list.at(0)["name"].asString(), c.name);
    }
  }
}

TEST(BackupFilesTest, StatusFileRoundTripAndWhatAFailedCheckChanges) {
  ManagerWorld w;
  ASSERT_TRUE(w.setJob("j1")["ok"].asBool());
  const std::string stored =
      R"({"lastStart":100,"lastEnd":160,"lastOk":160,"lastPrune":50,"failStreak":0,"lastResult":"ok",)"
      R"("lastError":"","lastNote":"3 files","lastSnapshot":{"time":99,"job":"j1","bytes":7,"id":"abcd"}})";
  w.writeJobFile("j1", kJobStatusFileName, stored);
  w.restart();
  const Value state = w.jobState("j1")["state"];
  EXPECT_EQ(state["lastOk"].asInt64(), 160);
  EXPECT_EQ(state["lastSnapshot"]["id"].asString(), "abcd");
  EXPECT_EQ(state["lastSnapshot"]["bytes"].asInt64(), 7);

  // No repository there: the check fails, and only its note changes.
  ASSERT_TRUE(w.call(R"({"op":"backupCheck","id":"j1"})")["ok"].asBool());
  w.waitIdle("j1");
  const Value saved = Json(w.readJobFile("j1", kJobStatusFileName));
  const std::vector<std::string> order = {"lastStart",  "lastEnd",   "lastOk",   "lastPrune",    "failStreak",
                                          "lastResult", "lastError", "lastNote", "lastSnapshot", "lastTask",
                                          "lastTaskResult"};
  EXPECT_EQ(saved.keys, order);
  EXPECT_EQ(saved["lastNote"].asString(), "check: no backup has been made to this place yet");
  EXPECT_EQ(saved["lastResult"].asString(), "ok");
  // What the job's state shows: the check came last, and failed.
  EXPECT_EQ(saved["lastTask"].asString(), "check");
  EXPECT_EQ(saved["lastTaskResult"].asString(), "failed");
  EXPECT_EQ(saved["lastEnd"].asInt64(), 160);
  EXPECT_EQ(saved["lastSnapshot"]["id"].asString(), "abcd");
  EXPECT_EQ(saved["lastSnapshot"]["time"].asInt64(), 99);

}

TEST(BackupFilesTest, LogIsCutToItsSecondHalfFromALineBoundary) {
  struct Case {
    const char* what;
    std::string log;
    size_t keptAtMost;
  };
  std::string lines;
  while (lines.size() <= kJobLogCutBytes) lines += "2024-01-01 00:00:00  an entry of the log\r\n";
  const std::string noBreak = "start\n" + std::string(kJobLogCutBytes, 'x');
  const Case cases[] = {
      {"lines", lines, lines.size() / 2},
      {"no line feed in the second half", noBreak, 0},
      {"just at the limit", std::string(kJobLogCutBytes - 1, 'y') + "\n", kJobLogCutBytes},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ManagerWorld w;
    w.writeJobFile("j1", kJobLogFileName, c.log);
    w.manager->appendLog("j1", "the new entry");
    const std::string after = w.readJobFile("j1", kJobLogFileName);
    const std::string entry = "  the new entry\r\n";
    ASSERT_GE(after.size(), entry.size());
    EXPECT_EQ(after.substr(after.size() - entry.size()), entry);
    const std::string kept = after.substr(0, after.size() - entry.size() - std::string("2024-01-01 00:00:00").size());
    EXPECT_LE(kept.size(), c.keptAtMost);
    if (!kept.empty()) {
      EXPECT_EQ(c.log.substr(c.log.size() - kept.size()), kept);
    }
    if (!kept.empty() && kept.size() < c.log.size()) {
      EXPECT_EQ(c.log[c.log.size() - kept.size() - 1], '\n');
    }
  }
}

// The jobs file holds sealed passwords, a job's status and log its
// sources: whatever umask the service was started with, they are its alone.
TEST(BackupFilesTest, JobFilesAreTheServicesAloneWhateverTheUmask) {
  ManagerWorld w;
  const mode_t before = ::umask(0);
  ASSERT_TRUE(w.setJob("j1")["ok"].asBool());
  ASSERT_TRUE(w.call(R"({"op":"backupCheck","id":"j1"})")["ok"].asBool());
  w.waitIdle("j1");
  w.writeJobFile("j1", kJobLogFileName, std::string(kJobLogCutBytes + 1, 'x') + "\n");
  w.manager->appendLog("j1", "cut and written again");
  ::umask(before);
  const struct {
    std::string path;
    mode_t mode;
  } cases[] = {
      {w.folder.file(kJobsFileName), 0600},
      {w.manager->jobPath("j1"), 0700},
      {w.jobFile("j1", kJobStatusFileName), 0600},
      {w.jobFile("j1", kJobLogFileName), 0600},
  };
  for (const auto& c : cases) {
    struct stat st {};
    ASSERT_EQ(::lstat(c.path.c_str(), &st), 0) << c.path;
    EXPECT_EQ(st.st_mode & 07777, c.mode) << c.path;
  }
}

}  // namespace
}  // namespace tarn
