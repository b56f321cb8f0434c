#include "platform/relaunch.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "foundation/file_util.h"
#include "foundation/status.h"

extern char** environ;

namespace tarn {
namespace {

constexpr const char* kPkexec = "pkexec";
// Where pidfd_open is missing (kernels before 5.3), the process is looked
// for this often.
constexpr int kPollStepMs = 100;

// Characters a shell word may hold without quotes.
bool IsPlainShellWord(const std::string& word) {
  if (word.empty()) return false;
  for (char c : word) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/' ||
                       c == '.' || c == '-' || c == '_' || c == '=' || c == ':' || c == '+';
    if (!plain) return false;
  }
  return true;
}

std::string ShellQuote(const std::string& word) {
  if (IsPlainShellWord(word)) return word;
  std::string quoted = "'";
  for (char c : word) {
    // A quote ends the quoted run, stands escaped, and a new run begins.
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

// Waits on a process descriptor; true once the process has ended.
bool WaitOnPidfd(int pidfd, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd p{pidfd, POLLIN, 0};
    const int n = ::poll(&p, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0);
    if (n > 0) return true;
    if (n == 0 || errno != EINTR) return false;
  }
}

bool WaitByProbing(pid_t pid, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (::kill(pid, 0) == 0 || errno == EPERM) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(kPollStepMs));
  }
  return true;
}

}  // namespace

std::string ExeWriteTime(const std::string& path) {
  struct stat st;
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return std::string();
  const uint64_t time = Timestamp::fromTimespec(st.st_mtim.tv_sec, st.st_mtim.tv_nsec).toFileTime();
  return std::to_string(static_cast<uint64_t>(st.st_size)) + "/" + std::to_string(time);
}

bool RelaunchElevated(const std::vector<std::string>& args) {
  const std::string exe = vx::ModulePath();
  if (exe.empty()) return false;
  std::vector<char*> argv{const_cast<char*>(kPkexec), const_cast<char*>(exe.c_str())};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (::posix_spawnp(&pid, kPkexec, nullptr, nullptr, argv.data(), environ) != 0) return false;
  if (!WaitForProcessExit(pid, kElevatedWaitMs)) {
    // Still asking for a password, or still working: reaped when it ends.
    std::thread([pid] { ::waitpid(pid, nullptr, 0); }).detach();
    return true;
  }
  while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
  }
  return true;
}

std::string ElevatedCommand(const std::vector<std::string>& args) {
  std::string command = "sudo " + ShellQuote(vx::ModulePath());
  for (const std::string& a : args) command += " " + ShellQuote(a);
  return command;
}

bool WaitForProcessExit(pid_t pid, int timeoutMs) {
  if (pid <= 0) return true;
  const long fd = ::syscall(SYS_pidfd_open, pid, 0);
  if (fd < 0) {
    if (errno == ESRCH) return true;
    if (errno == ENOSYS) return WaitByProbing(pid, timeoutMs);
    return false;
  }
  vx::UniqueFd pidfd(static_cast<int>(fd));
  return WaitOnPidfd(pidfd.get(), timeoutMs);
}

}  // namespace tarn
