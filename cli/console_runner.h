// Test support for the console: a copy of the tarn executable run in a
// child process without a terminal or on one of its own, on a machine of its
// own (TARN_ROOT), with the environment a test gives, as root or as nobody,
// collecting what it printed. Test code only, driven from the test's thread.
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
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
  // A program that never ends fails its test rather than hanging it.
  constexpr int kGiveUpMs = 120000;
  bool gaveUp = false;
  for (;;) {
    pollfd ready{out[0], POLLIN, 0};
    if (::poll(&ready, 1, kGiveUpMs) <= 0) {
      gaveUp = true;
      break;
    }
    // A terminal's reads end with an error once the program has gone.
    const ssize_t n = ::read(out[0], buffer, sizeof(buffer));
    if (n <= 0) break;
    r.output.append(buffer, static_cast<size_t>(n));
  }
  ::close(out[0]);
  if (gaveUp) {
    ::kill(pid, SIGKILL);
    ADD_FAILURE() << "the program did not end within " << kGiveUpMs / 1000 << " s; it printed:\n" << r.output;
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

// `tarn run` of `exe` in a child process on the machine `root`, its output
// dropped, as root or as nobody; the child's pid.
inline pid_t SpawnService(const std::string& exe, const std::string& root, bool asNobody = false, int umaskBits = -1) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int quiet = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    ::dup2(quiet, STDOUT_FILENO);
    ::dup2(quiet, STDERR_FILENO);
    if (umaskBits >= 0) ::umask(static_cast<mode_t>(umaskBits));
    if (asNobody && (::setgroups(0, nullptr) != 0 || ::setgid(kNobodyId) != 0 || ::setuid(kNobodyId) != 0))
      ::_exit(99);
    ::setenv("TARN_ROOT", root.c_str(), 1);
    ::execl(exe.c_str(), exe.c_str(), "run", static_cast<char*>(nullptr));
    ::_exit(98);
  }
  return pid;
}

// Stops a service that SpawnService started as systemd stops it (SIGTERM)
// and waits for its end: the status waitpid gave.
inline int StopService(pid_t pid) {
  ::kill(pid, SIGTERM);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return status;
}

// The tarn executable on a terminal of its own, driven as a user drives it:
// a test waits for what it printed, types keys, and waits for its end. The
// test keeps the terminal open past the program's end, so that what the
// program left it set to (echo) can be read.
class TerminalSession {
 public:
  // An end that never comes fails the test after this long.
  static constexpr int kGiveUpMs = 120000;

  TerminalSession(const std::string& exe, const std::vector<std::string>& args, const std::string& root,
                  const std::vector<std::pair<std::string, std::string>>& env = {}) {
    // Made before the fork: the child of a process with threads may only
    // call what is safe after it.
    std::vector<std::string> environment;
    for (char** e = environ; *e != nullptr; ++e) environment.emplace_back(*e);
    environment.push_back("TARN_ROOT=" + root);
    for (const auto& [name, value] : env) environment.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (std::string& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> argvText{exe};
    argvText.insert(argvText.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argvText) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_ = ::forkpty(&master_, nullptr, nullptr, nullptr);
    if (pid_ == 0) {
      ::execve(exe.c_str(), argv.data(), envp.data());
      ::_exit(98);
    }
    EXPECT_GT(pid_, 0);
    slave_ = ::open(::ptsname(master_), O_RDWR | O_NOCTTY | O_CLOEXEC);
    EXPECT_GE(slave_, 0);
  }
  ~TerminalSession() {
    if (pid_ > 0 && !ended_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (slave_ >= 0) ::close(slave_);
    if (master_ >= 0) ::close(master_);
  }
  TerminalSession(const TerminalSession&) = delete;
  TerminalSession& operator=(const TerminalSession&) = delete;

  // True once the program printed `text` after what earlier waits found;
  // false when it ended without.
  bool waitFor(const std::string& text) {
    for (int waited = 0; waited < kGiveUpMs; waited += kSliceMs) {
      const size_t at = output_.find(text, seen_);
      if (at != std::string::npos) {
        seen_ = at + text.size();
        return true;
      }
      if (!readSome() && ended()) return output_.find(text, seen_) != std::string::npos;
    }
    return false;
  }
  // What a user types; "\x03" is Ctrl+C.
  void type(const std::string& keys) { EXPECT_EQ(::write(master_, keys.data(), keys.size()), ssize_t(keys.size())); }
  // Waits for the end: the exit code (128 + the signal when one ended the
  // program, as a shell tells it) and everything it printed.
  RunResult finish() {
    for (int waited = 0; !ended() && waited < kGiveUpMs; waited += kSliceMs) readSome();
    while (readSome()) {
    }
    return RunResult{exitCode_, output_};
  }
  // The terminal's echo, as the program left it.
  bool echoOn() const {
    termios settings{};
    return ::tcgetattr(slave_, &settings) == 0 && (settings.c_lflag & ECHO) != 0;
  }

 private:
  static constexpr int kSliceMs = 100;

  // Reads what came within a slice; false when nothing did.
  bool readSome() {
    pollfd p{master_, POLLIN, 0};
    if (::poll(&p, 1, kSliceMs) <= 0 || (p.revents & POLLIN) == 0) return false;
    char buffer[4096];
    const ssize_t n = ::read(master_, buffer, sizeof buffer);
    if (n <= 0) return false;
    output_.append(buffer, static_cast<size_t>(n));
    return true;
  }
  bool ended() {
    if (ended_) return true;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) != pid_) return false;
    ended_ = true;
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
    return true;
  }

  pid_t pid_ = -1;
  int master_ = -1;
  int slave_ = -1;
  bool ended_ = false;
  int exitCode_ = -1;
  std::string output_;
  size_t seen_ = 0;
};

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
