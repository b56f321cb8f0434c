#include "platform/service_manager.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "foundation/config_file.h"
#include "foundation/file_util.h"
#include "foundation/text.h"

extern char** environ;

namespace tarn {
namespace {

constexpr const char* kSystemctl = "systemctl";
constexpr size_t kMaxCommandOutput = 4096;
constexpr const char* kNoSystemd =
    "systemd is not running on this computer; run the service in the foreground with \"tarn run\"";

struct CommandResult {
  int exitCode = -1;
  std::string output;  // stdout and stderr, trimmed
};

// Runs systemctl with `args` (no shell) and collects what it prints.
CommandResult RunSystemctl(const std::vector<std::string>& args) {
  CommandResult result;
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
    result.output = "pipe: " + vx::FormatWin32Error(errno);
    return result;
  }
  vx::UniqueFd readEnd(pipeFds[0]);
  vx::UniqueFd writeEnd(pipeFds[1]);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDERR_FILENO);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(kSystemctl));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int rc = ::posix_spawnp(&pid, kSystemctl, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  writeEnd.close();
  if (rc != 0) {
    result.output = "cannot run systemctl: " + vx::FormatWin32Error(static_cast<uint32_t>(rc));
    return result;
  }
  char buffer[512];
  for (;;) {
    const ssize_t n = ::read(readEnd.get(), buffer, sizeof(buffer));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    if (result.output.size() < kMaxCommandOutput) result.output.append(buffer, static_cast<size_t>(n));
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.output = vx::Trim(result.output);
  return result;
}

Status Systemctl(const std::vector<std::string>& args) {
  CommandResult r = RunSystemctl(args);
  if (r.exitCode == 0) return Status();
  std::string what = "systemctl " + args.front() + " failed";
  if (!r.output.empty()) what += ": " + r.output;
  return Status(Status::kIo, what);
}

// systemd reads backslashes and quotes inside a quoted word as escapes and
// "%" as the start of a specifier.
std::string QuoteForUnit(std::string_view word) {
  std::string out = "\"";
  for (char c : word) {
    if (c == '\\' || c == '"') out += '\\';
    if (c == '%') out += '%';
    out += c;
  }
  return out + "\"";
}

}  // namespace

std::string ServiceUnitPath() { return MachinePath("/etc/systemd/system/") + std::string(kServiceUnitName); }

std::string ServiceUnitText(std::string_view exePath) {
  std::string text;
  text += "[Unit]\n";
  text += "Description=" + std::string(kServiceDisplayName) + "\n";
  text += "Wants=network-online.target\n";
  text += "After=network-online.target\n\n";
  text += "[Service]\n";
  text += "Type=simple\n";
  text += "ExecStart=" + QuoteForUnit(exePath) + " service\n";
  text += "Restart=on-failure\n";
  text += "TimeoutStopSec=" + std::to_string(kServiceStopTimeoutSec) + "\n\n";
  text += "[Install]\n";
  text += "WantedBy=multi-user.target\n";
  return text;
}

bool SystemdRunning() {
  // The test systemd's own sd_booted() makes.
  struct stat st {};
  return ::lstat(MachinePath("/run/systemd/system").c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsServiceInstalled() { return vx::FileExists(ServiceUnitPath()); }

bool IsServiceRunning() {
  if (!SystemdRunning()) return false;
  return RunSystemctl({"is-active", "--quiet", std::string(kServiceUnitName)}).exitCode == 0;
}

bool StartServiceNow(std::string& message) {
  if (!SystemdRunning()) {
    message = kNoSystemd;
    return false;
  }
  if (!IsServiceInstalled()) {
    message = "the service is not installed; install it with \"tarn install\"";
    return false;
  }
  Status s = Systemctl({"start", std::string(kServiceUnitName)});
  message = s.message;
  return s.ok();
}

Status InstallService(std::string_view exePath) {
  if (!SystemdRunning()) return Status(Status::kUnsupported, kNoSystemd);
  if (exePath.empty() || exePath.front() != '/') return Status(Status::kInvalid, "the program's path is not absolute");
  const std::string path = ServiceUnitPath();
  const size_t slash = path.find_last_of('/');
  if (!vx::MakeDirs(path.substr(0, slash)) || !vx::WriteFileAtomic(path, ServiceUnitText(exePath)))
    return Status(Status::kIo, "cannot write " + path);
  Status s = Systemctl({"daemon-reload"});
  if (s.ok()) s = Systemctl({"enable", "--now", std::string(kServiceUnitName)});
  return s;
}

Status UninstallService() {
  if (!SystemdRunning()) return Status(Status::kUnsupported, kNoSystemd);
  if (!IsServiceInstalled()) return Status(Status::kNotFound, "the service is not installed");
  Status s = Systemctl({"disable", "--now", std::string(kServiceUnitName)});
  if (!s.ok()) return s;
  if (::unlink(ServiceUnitPath().c_str()) != 0 && errno != ENOENT)
    return Status(Status::kIo, "cannot remove " + ServiceUnitPath() + ": " + vx::FormatWin32Error(errno));
  return Systemctl({"daemon-reload"});
}

}  // namespace tarn
