// Test support for the console: a copy of the tarn executable run in a
// child process without a terminal, on a machine of its own (TARN_ROOT),
// with the environment a test gives, as root or as nobody, collecting what
// it printed. Test code only, driven from the test's thread.
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "backup/manager/backup_manager.h"
#include "testing/service_thread.h"
#include "testing/temp_dir.h"

namespace tarn::app {

using test::ServiceThread;

inline constexpr uint32_t kNobodyId = 65534;

struct RunResult {
  int exitCode = -1;
  std::string output;  // stdout and stderr together
};

// A copy that any user can run, wherever the build lives.
inline std::string CopyExecutable(const std::string& from, const std::string& dir) {
  const std::string exe = dir + "/tarn";
  std::filesystem::copy_file(from, exe, std::filesystem::copy_options::overwrite_existing);
  EXPECT_EQ(::chmod(exe.c_str(), 0755), 0);
  return exe;
}

// Without `onTerminal` the child has no terminal at all; with it, a
// terminal of its own.
inline RunResult RunConsole(const std::string& exe, const std::vector<std::string>& args, const std::string& root,
                            const std::vector<std::pair<std::string, std::string>>& env = {},
                            bool asNobody = false, bool onTerminal = false) {
  int out[2] = {-1, -1};
  pid_t pid = -1;
  if (onTerminal) {
    pid = ::forkpty(&out[0], nullptr, nullptr, nullptr);
  } else {
    EXPECT_EQ(::pipe2(out, O_CLOEXEC), 0);
    pid = ::fork();
  }
  if (pid == 0) {
    if (!onTerminal) {
      ::setsid();
      ::dup2(out[1], STDOUT_FILENO);
      ::dup2(out[1], STDERR_FILENO);
    }
    if (asNobody && (::setgroups(0, nullptr) != 0 || ::setgid(kNobodyId) != 0 || ::setuid(kNobodyId) != 0))
      ::_exit(99);
    ::setenv("TARN_ROOT", root.c_str(), 1);
    for (const auto& [name, value] : env) ::setenv(name.c_str(), value.c_str(), 1);
    std::vector<char*> argv{const_cast<char*>(exe.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(exe.c_str(), argv.data());
    ::_exit(98);
  }
  if (!onTerminal) ::close(out[1]);
  RunResult r;
  char buffer[4096];
  // A terminal's reads end with an error once the program has gone.
  for (ssize_t n; (n = ::read(out[0], buffer, sizeof(buffer))) > 0;) r.output.append(buffer, static_cast<size_t>(n));
  ::close(out[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

// A machine of its own (TARN_ROOT) with a copy of the executable `built`
// that any user can run, and the service with its backup manager on a
// thread, for as long as the object lives.
class ConsoleMachine {
 public:
  ConsoleMachine(const std::string& prefix, const std::string& built) : dir_(prefix, 0755) {
    ::setenv("TARN_ROOT", dir_.path().c_str(), 1);
    exe_ = CopyExecutable(built, dir_.path());
    service_.start(MakeServiceBackups);
  }
  const std::string& root() const { return dir_.path(); }
  const std::string& exe() const { return exe_; }

 private:
  test::TempDir dir_;
  std::string exe_;
  ServiceThread service_;
};

}  // namespace tarn::app
