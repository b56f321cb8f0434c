// The service as a terminal or systemd runs it: the built executable's
// `tarn run` in a child process on a machine of its own (TARN_ROOT), looked
// at from outside.
#include "cli/service_roles.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "cli/backup_commands.h"
#include "cli/console_commands.h"
#include "cli/console_runner.h"
#include "cli/terminal.h"
#include "foundation/file_util.h"
#include "platform/control_socket.h"
#include "service/service_body.h"
#include "testing/eventually.h"
#include "testing/fake_server_process.h"
#include "testing/temp_dir.h"

namespace tarn::app {
namespace {

constexpr uint32_t kAnswerMs = 1000;

// The owner the kernel shows for the files of a process in /proc: its own
// user, but root for a process that is not dumpable.
uid_t ProcOwner(pid_t pid) {
  struct stat st {};
  EXPECT_EQ(::stat(("/proc/" + std::to_string(pid) + "/status").c_str(), &st), 0);
  return st.st_uid;
}

class ServiceRoleTest : public ::testing::Test {
 protected:
  // `tarn run` as root, or as nobody on a machine nobody owns (the service
  // needs root only for what a machine without drives never asks of it),
  // with the test's umask or `umaskBits`.
  void StartService(bool asNobody, int umaskBits = -1) {
    if (asNobody) {
      ASSERT_EQ(::chown(machine_.path().c_str(), kNobodyId, kNobodyId), 0);
    }
    exe_ = CopyExecutable(TARN_EXE, machine_.path());
    service_ = SpawnService(exe_, machine_.path(), asNobody, umaskBits);
    ASSERT_GT(service_, 0);
    ASSERT_TRUE(test::Eventually([&] {
      vx::UniqueFd fd;
      return ConnectControlSocket(socketPath(), DeadlineAfterMs(kAnswerMs), fd).ok();
    }));
    // Up to its last start-up line, so that the log holds still from here.
    ASSERT_TRUE(test::Eventually([&] { return Log().find("] running") != std::string::npos; })) << Log();
  }
  void TearDown() override {
    if (service_ <= 0) return;
    const int status = StopService(service_);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }

  // `tarn run` that is expected to end by itself; one that runs on instead
  // is stopped, and fails the test.
  RunResult RunOnce() {
    const std::string output = machine_.file("run-once.out");
    const pid_t child = ::fork();
    if (child == 0) {
      const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
      ::dup2(out, STDOUT_FILENO);
      ::dup2(out, STDERR_FILENO);
      ::setenv("TARN_ROOT", machine_.path().c_str(), 1);
      ::execl(exe_.c_str(), exe_.c_str(), "run", static_cast<char*>(nullptr));
      ::_exit(98);
    }
    int status = 0;
    const bool ended = test::Eventually([&] { return ::waitpid(child, &status, WNOHANG) == child; });
    if (!ended) {
      ADD_FAILURE() << "the service started";
      ::kill(child, SIGTERM);
      ::waitpid(child, &status, 0);
    }
    RunResult r;
    vx::ReadWholeFile(output, r.output);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
  }

  std::string socketPath() const { return machine_.file("run/tarn/Tarn"); }
  std::string Log() const {
    std::string text;
    vx::ReadWholeFile(machine_.file("var/lib/tarn/service.log"), text);
    return text;
  }

  test::TempDir machine_{"tarn-role", 0755};
  std::string exe_;
  pid_t service_ = -1;
};

// Its memory holds the drives' passwords in clear: it writes no core, and
// no other process of its user may read it. The kernel shows that as root
// owning its files in /proc, which is seen from outside when it runs as
// another user than root; beside it, a process of that user that stays
// dumpable.
TEST_F(ServiceRoleTest, RunningServiceIsNotDumpable) {
  StartService(true);
  int hold[2];
  ASSERT_EQ(::pipe2(hold, O_CLOEXEC), 0);
  const pid_t plain = ::fork();
  if (plain == 0) {
    ::close(hold[1]);
    char byte;
    // A change of user leaves a process non-dumpable until it says otherwise.
    if (::setgid(kNobodyId) != 0 || ::setuid(kNobodyId) != 0 || ::prctl(PR_SET_DUMPABLE, 1) != 0) ::_exit(99);
    (void)::read(hold[0], &byte, 1);
    ::_exit(0);
  }
  ::close(hold[0]);
  ASSERT_TRUE(test::Eventually([&] { return ProcOwner(plain) == kNobodyId; }));
  struct Case {
    const char* what;
    pid_t pid;
    uid_t owner;
  };
  const Case cases[] = {{"the service", service_, 0}, {"a dumpable process of the same user", plain, kNobodyId}};
  for (const Case& c : cases) EXPECT_EQ(ProcOwner(c.pid), c.owner) << c.what;
  ::close(hold[1]);
  ::waitpid(plain, nullptr, 0);
}

TEST_F(ServiceRoleTest, RefusedSecondRunLeavesTheRunningServicesLogAlone) {
  StartService(false);
  const std::string before = Log();
  const RunResult second = RunConsole(exe_, {"run"}, machine_.path());
  EXPECT_EQ(second.exitCode, kExitAlreadyRunning) << second.output;
  EXPECT_NE(second.output.find("the service is already running; it listens on " + socketPath()), std::string::npos)
      << second.output;
  EXPECT_EQ(Log(), before);
}

// Started by hand with umask 000 over files an older start left open to
// everyone, the service mends what is its own, and what it makes for a
// drive, its password, its server's key and a backup job is its alone
// (the machine key's folder and those above it are its to make): only the
// control socket and the way to the drives are open to every user, and
// nobody else may write into any of them.
TEST_F(ServiceRoleTest, StartedWithUmask000NothingOfTheServiceIsWritableByOthers) {
  using tarn::testing::RequiredEnv;
  const std::string data = machine_.file("var/lib/tarn");
  const std::string keys = machine_.file("etc/tarn");
  ASSERT_TRUE(vx::MakeDirs(data));
  ASSERT_TRUE(vx::WriteFileAtomic(data + "/service.log", std::string("an older start\r\n")));
  ASSERT_TRUE(vx::WriteFileAtomic(data + "/known_hosts", std::string("# kept\n")));
  for (const auto& [path, mode] : std::vector<std::pair<std::string, mode_t>>{
           {data, 0777}, {data + "/service.log", 0644}, {data + "/known_hosts", 0666}})
    ASSERT_EQ(::chmod(path.c_str(), mode), 0) << path;

  StartService(false, 0);
  const std::string link = "sftp://" + RequiredEnv("SFTP_USER") + "@" + RequiredEnv("SFTP_HOST") + ":" +
                           RequiredEnv("SFTP_PORT") + RequiredEnv("SFTP_ROOT");
  RunResult r = RunConsole(exe_, {"add", link, "--drive", "T"}, machine_.path(),
                           {{kPasswordVariable, RequiredEnv("SFTP_PASSWORD")}});
  ASSERT_EQ(r.exitCode, kExitOk) << r.output;
  r = RunConsole(exe_, {"mount", "T"}, machine_.path());
  ASSERT_EQ(r.exitCode, kExitOk) << r.output;
  ASSERT_TRUE(vx::MakeDirs(machine_.file("source")));
  r = RunConsole(exe_, {"backup", "set", "--id", "j1", "--source", machine_.file("source"), "--to", link},
                 machine_.path(),
                 {{kBackupPasswordVariable, "repo secret"}, {kPasswordVariable, RequiredEnv("SFTP_PASSWORD")}});
  ASSERT_EQ(r.exitCode, kExitOk) << r.output;

  const std::string mountPoint = machine_.file("mnt/tarn/T");
  struct Expected {
    std::string path;
    mode_t mode;
  };
  const Expected expected[] = {
      {data, 0700},
      {data + "/config.json", 0600},
      {data + "/service.log", 0600},
      {data + "/known_hosts", 0600},
      {data + "/cache", 0700},
      {data + "/backup", 0700},
      {data + "/backup/jobs.json", 0600},
      {keys, 0700},
      {keys + "/machine.key", 0600},
      {machine_.file("run/tarn"), 0755},
      {machine_.file("run/tarn/Tarn"), 0140666},
      {machine_.file("mnt/tarn"), 0755},
  };
  for (const Expected& e : expected) {
    struct stat st {};
    ASSERT_EQ(::lstat(e.path.c_str(), &st), 0) << e.path;
    EXPECT_EQ(st.st_mode & (e.mode > 07777 ? 0177777 : 07777), e.mode) << e.path;
  }
  // What the drive's server holds is its own; everything else is looked at.
  size_t seen = 0;
  for (auto it = std::filesystem::recursive_directory_iterator(machine_.path());
       it != std::filesystem::recursive_directory_iterator(); ++it) {
    const std::string path = it->path().string();
    if (path == mountPoint) it.disable_recursion_pending();
    struct stat st {};
    ASSERT_EQ(::lstat(path.c_str(), &st), 0) << path;
    ++seen;
    if (S_ISSOCK(st.st_mode) || path == mountPoint) continue;
    EXPECT_EQ(st.st_mode & (S_IWGRP | S_IWOTH), 0u) << path << " is writable by others";
  }
  EXPECT_GT(seen, std::size(expected));
  // An older start's openings are named once, in the log that was mended.
  const std::string log = Log();
  for (const std::string& mended : {data, data + "/service.log", data + "/known_hosts"})
    EXPECT_NE(log.find("files: " + mended + " was open to other users; now it is the service's alone"),
              std::string::npos)
        << mended << "\n" << log;
}

// The machine key and the data folder are what every start checks besides
// the settings and the log: what another user could have made or changed
// there refuses the start, with the reason where the terminal shows it.
TEST_F(ServiceRoleTest, WhatAnotherUserCouldHaveChangedRefusesTheStart) {
  const std::string data = machine_.file("var/lib/tarn");
  const std::string keys = machine_.file("etc/tarn");
  struct Case {
    const char* what;
    std::function<void()> plant;
    std::string reason;
  };
  const Case cases[] = {
      {"a machine key with another name",
       [&] {
         ASSERT_TRUE(vx::WriteFileAtomic(machine_.file("kept.key"), std::string(32, 'k')));
         ASSERT_EQ(::link(machine_.file("kept.key").c_str(), (keys + "/machine.key").c_str()), 0);
       },
       keys + "/machine.key has other names (hard links)"},
      {"a data folder of another user",
       [&] { ASSERT_EQ(::chown(data.c_str(), kNobodyId, kNobodyId), 0); },
       data + " belongs to nobody (uid 65534), not to root (uid 0)"},
  };
  exe_ = CopyExecutable(TARN_EXE, machine_.path());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(data);
    std::filesystem::remove_all(keys);
    std::filesystem::remove(machine_.file("kept.key"));
    ASSERT_TRUE(vx::MakeDirs(data) && vx::MakeDirs(keys));
    c.plant();
    const RunResult r = RunOnce();
    EXPECT_EQ(r.exitCode, kExitUntrusted) << r.output;
    EXPECT_NE(r.output.find("tarn: not starting: " + c.reason + "\n"), std::string::npos) << r.output;
    EXPECT_FALSE(vx::FileExists(data + "/service.log"));
  }
}

}  // namespace
}  // namespace tarn::app
