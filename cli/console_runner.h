// Test support for the console: the service on a thread of this process,
// and a copy of the tarn executable run in a child process without a
// terminal, on a machine of its own (TARN_ROOT), with the environment a test
// gives, as root or as nobody, collecting what it printed. Test code only,
// driven from the test's thread.
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "service/service_body.h"
#include "testing/gate.h"

namespace tarn::app {

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

// ServiceBody with its control socket on a thread of its own, on the machine
// TARN_ROOT names; start returns once the socket is up.
class ServiceThread {
 public:
  using MakeBackups = std::function<std::unique_ptr<IBackupService>(ServiceState&)>;

  ~ServiceThread() { stop(); }

  void start(MakeBackups makeBackups) {
    body_ = std::thread([this, makeBackups] {
      ServiceOptions options = ServiceOptions::Defaults();
      options.makeBackups = [this, makeBackups](ServiceState& state) -> std::unique_ptr<IBackupService> {
        return std::make_unique<Ready>(makeBackups(state), ready_);
      };
      ServiceBody(options, stop_);
    });
    // The scheduler starts once the socket listens.
    ASSERT_TRUE(ready_.waitArrived());
    ready_.release();
  }

  void stop() {
    if (!body_.joinable()) return;
    stop_.signal();
    body_.join();
  }

 private:
  // The backups the test gave, and the sign that the service is up.
  class Ready : public IBackupService {
   public:
    Ready(std::unique_ptr<IBackupService> inner, test::Gate& ready) : inner_(std::move(inner)), ready_(ready) {
      EXPECT_NE(inner_, nullptr) << "the service refused its backups";
    }
    bool loadJobs(std::string* error) override { return !inner_ || inner_->loadJobs(error); }
    void startScheduler() override {
      if (inner_) inner_->startScheduler();
      ready_.arriveAndWait();
    }
    void stopAll() override {
      if (inner_) inner_->stopAll();
    }
    bool anyRunning() override { return inner_ && inner_->anyRunning(); }
    vx::json::Value handle(const vx::json::Value& request, const IpcCaller* caller) override {
      return inner_ ? inner_->handle(request, caller) : ErrorReply("backups are not available");
    }

   private:
    std::unique_ptr<IBackupService> inner_;
    test::Gate& ready_;
  };

  test::Gate ready_;
  StopEvent stop_;
  std::thread body_;
};

}  // namespace tarn::app
