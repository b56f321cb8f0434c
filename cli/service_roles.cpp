#include "cli/service_roles.h"

#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>

#include <cstdio>
#include <thread>

#include "backup/manager/backup_manager.h"
#include "cli/console_commands.h"
#include "foundation/file_util.h"
#include "foundation/log.h"
#include "platform/core_dumps.h"
#include "platform/heap_policy.h"
#include "platform/open_file_limit.h"
#include "platform/service_manager.h"
#include "service/service_body.h"

namespace tarn::app {
namespace {

constexpr mode_t kServiceUmask = 077;

// Runs the service until SIGINT or SIGTERM. The signals are blocked in every
// thread and taken by one waiting thread, so that no handler ever runs in
// the middle of the service's own work.
int RunBody(bool foreground) {
  // Whatever umask started it, nothing the service makes is open to others
  // unless it says so (the control socket, the mount points, a restore).
  ::umask(kServiceUmask);
  // Before the drives' secrets are read: a core of the service must not
  // hold them. A service that cannot promise that does not start.
  if (Status st = MakeProcessNonDumpable(); !st.ok()) {
    std::fprintf(stderr, "tarn: %s\n", st.message.c_str());
    return kExitFailed;
  }
  if (foreground) vx::log::setConsole(true);
  (void)RaiseOpenFileLimit();
  (void)ReturnLargeBlocksToSystem();
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  StopEvent stop;
  std::thread waiter([&] {
    int signal = 0;
    sigwait(&stopSignals, &signal);
    stop.signal();
  });
  ServiceOptions options = ServiceOptions::Defaults();
  options.makeBackups = MakeServiceBackups;
  const int code = ServiceBody(options, stop);
  if (code == kExitAlreadyRunning)
    std::fprintf(stderr, "tarn: the service is already running; it listens on %s\n", options.socketPath.c_str());
  // A body that ended by itself leaves the waiter waiting: wake it.
  if (!stop.signalled()) pthread_kill(waiter.native_handle(), SIGTERM);
  waiter.join();
  return code;
}

int Report(const Status& s, const char* done) {
  if (!s.ok()) {
    std::fprintf(stderr, "tarn: %s\n", s.message.c_str());
    return kExitFailed;
  }
  std::printf("%s\n", done);
  return kExitOk;
}

struct Role {
  const char* name;
  const char* help;
};

constexpr Role kRoles[] = {
    {"service", "Runs the service as systemd starts it: the unit that \"tarn install\" writes runs this."},
    {"run",
     "Runs the service in the foreground until Ctrl+C or SIGTERM, its log lines also on the terminal; for systems\n"
     "without systemd. Needs root."},
    {"install", "Writes the systemd unit of the service, enables it and starts it. Needs root and systemd."},
    {"uninstall", "Stops and disables the service and removes its systemd unit. Needs root and systemd."},
    {"start", "Starts the installed service. Needs root and systemd."},
};

const Role* FindRole(const std::string& name) {
  for (const Role& r : kRoles) {
    if (name == r.name) return &r;
  }
  return nullptr;
}

}  // namespace

bool IsServiceRole(const std::string& name) { return FindRole(name) != nullptr; }

int RunServiceRole(const std::vector<std::string>& args) {
  const std::string& role = args.at(0);
  if (args.size() == 2 && (args[1] == "--help" || args[1] == "-h")) {
    std::printf("usage: tarn %s\n\n%s\n", role.c_str(), FindRole(role)->help);
    return kExitOk;
  }
  if (args.size() > 1) {
    std::fprintf(stderr, "tarn: %s takes no arguments (see \"tarn %s --help\")\n", role.c_str(), role.c_str());
    return kExitUsage;
  }
  if (role == "service") return RunBody(false);
  if (role == "run") return RunBody(true);
  if (role == "install") return Report(InstallService(vx::ModulePath()), "the service is installed and started");
  if (role == "uninstall") return Report(UninstallService(), "the service is removed");
  std::string message;
  if (!StartServiceNow(message)) {
    std::fprintf(stderr, "tarn: %s\n", message.c_str());
    return kExitFailed;
  }
  std::printf("the service is running\n");
  return kExitOk;
}

}  // namespace tarn::app
