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

#include <string>

#include "cli/console_commands.h"
#include "cli/console_runner.h"
#include "foundation/file_util.h"
#include "platform/control_socket.h"
#include "service/service_body.h"
#include "testing/eventually.h"
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
  // needs root only for what a machine without drives never asks of it).
  void StartService(bool asNobody) {
    if (asNobody) {
      ASSERT_EQ(::chown(machine_.path().c_str(), kNobodyId, kNobodyId), 0);
    }
    exe_ = CopyExecutable(TARN_EXE, machine_.path());
    service_ = SpawnService(exe_, machine_.path(), asNobody);
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

}  // namespace
}  // namespace tarn::app
