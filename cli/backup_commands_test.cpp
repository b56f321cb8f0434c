// The console's backup commands against a real service with its backup
// manager: ServiceBody runs in this process on a machine of its own
// (TARN_ROOT), and the commands run the built executable.
#include "cli/backup_commands.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "backup/manager/backup_manager.h"
#include "cli/console_commands.h"
#include "cli/console_runner.h"
#include "cli/terminal.h"
#include "service/service_body.h"
#include "testing/temp_dir.h"

namespace tarn::app {
namespace {

using vx::json::Value;

class BackupCommandsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    machine_ = new test::TempDir("tarn-backup-cli", 0755);
    ::setenv("TARN_ROOT", machine_->path().c_str(), 1);
    exe_ = new std::string(CopyExecutable(TARN_EXE, machine_->path()));
    service_ = new ServiceThread();
    service_->start(MakeServiceBackups);
  }

  static void TearDownTestSuite() {
    delete service_;
    delete machine_;
    delete exe_;
  }

  static RunResult Backup(std::vector<std::string> args, bool asNobody = false,
                          const std::vector<std::pair<std::string, std::string>>& env = {}) {
    args.insert(args.begin(), "backup");
    return RunConsole(*exe_, args, machine_->path(), env, asNobody);
  }

  static test::TempDir* machine_;
  static std::string* exe_;
  static ServiceThread* service_;
};

test::TempDir* BackupCommandsTest::machine_ = nullptr;
std::string* BackupCommandsTest::exe_ = nullptr;
ServiceThread* BackupCommandsTest::service_ = nullptr;

TEST_F(BackupCommandsTest, JobsAreAddedChangedShownAndRemoved) {
  const std::vector<std::pair<std::string, std::string>> password = {{kBackupPasswordVariable, "repo secret"}};
  struct Case {
    std::vector<std::string> args;
    bool withPassword;
    bool asNobody;
    int exitCode;
    const char* output;
  };
  const Case cases[] = {
      {{}, false, false, kExitUsage, "usage: tarn backup"},
      {{"run", "--help"}, false, false, kExitOk, "usage: tarn backup run JOB"},
      {{"frobnicate"}, false, false, kExitUsage, "unknown command: frobnicate"},
      {{"list"}, false, false, kExitOk, "no backup jobs"},
      {{"set", "--id", "j1", "--source", "/srv/a", "--to", "sftp://127.0.0.1:1/srv/backups"}, false, false,
       kExitFailed, "the backup password is empty"},
      {{"set", "--id", "j1", "--source", "/srv/a", "--to", "sftp://127.0.0.1:1/srv/backups"}, true, false, kExitOk,
       "added backup job j1"},
      {{"set", "--id", "j1", "--name", "Daily", "--schedule", "daily", "--at", "04:30", "--days", "mon,fri"}, false,
       false, kExitOk, "changed backup job j1"},
      {{"set", "--id", "j1", "--at", "25:00"}, false, false, kExitFailed, "--at takes a time as HH:MM"},
      {{"set", "--id", "j1", "--keep"}, false, false, kExitUsage, "unknown option: --keep"},
      {{"list"}, false, false, kExitOk, "sftp://127.0.0.1:1/srv/backups"},
      {{"show", "j1"}, false, false, kExitOk, "schedule:    daily, every 6 h, at 04:30, days 17"},
      {{"show", "j2"}, false, false, kExitFailed, "no such backup job"},
      {{"list"}, false, true, kExitFailed, "managed by an administrator"},
      {{"run", "nope"}, false, false, kExitFailed, "not-found: no such backup job"},
      {{"run", "../j1"}, false, false, kExitFailed, "a job id is 1 to 64 lower-case letters and digits"},
      {{"log", "j1", "none"}, false, false, kExitUsage, "not a line count: none"},
      {{"remove", "j1"}, false, false, kExitOk, "removed backup job j1"},
      {{"list"}, false, false, kExitOk, "no backup jobs"},
  };
  for (const Case& c : cases) {
    std::string line;
    for (const std::string& a : c.args) line += a + " ";
    SCOPED_TRACE(line + (c.asNobody ? "as nobody" : ""));
    const RunResult r = Backup(c.args, c.asNobody, c.withPassword ? password : decltype(password){});
    EXPECT_EQ(r.exitCode, c.exitCode) << r.output;
    EXPECT_NE(r.output.find(c.output), std::string::npos) << r.output;
  }
}

}  // namespace
}  // namespace tarn::app
