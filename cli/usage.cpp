#include "cli/usage.h"

#include <cstdio>

#include "cli/backup_commands.h"
#include "cli/console_commands.h"
#include "cli/foreground_mount.h"
#include "cli/service_roles.h"
#include "cli/tray_role.h"
#include "service/service_state.h"

namespace tarn::app {

std::string UsageText() {
  return "usage: tarn <command> [options]\n"
         "\n"
         "roles:\n"
         "  service            run as the system service (under systemd)\n"
         "  run                run the service in the foreground; Ctrl+C stops it\n"
         "  install            install the systemd unit, enable and start it\n"
         "  uninstall          stop and remove the systemd unit\n"
         "  start              start the installed service\n"
         "  (no command)       start the tray application; --show opens its window,\n"
         "                     --quit ends the running one\n"
         "\n"
         "commands (each with --help):\n" +
         ConsoleCommandsUsage() +
         "  mount --foreground DRIVE.json FOLDER\n"
         "                     mount one drive at FOLDER until Ctrl+C\n"
         "  backup <command>   list, set, run, restore and check backups (see \"tarn backup help\")\n"
         "  help               show this text\n"
         "  --version          show the program's version\n"
         "\n"
         "exit codes: 0 done, 1 failed (a drive, job or snapshot that is not there included), 2 wrong arguments,\n"
         "3 the service is not running, 4 done in part (a backup that left files out, a restore that left some\n"
         "out, a sync after which changes still wait), 5 the service is already running (run,\n"
         "service), 130 Ctrl+C in a followed backup, restore, check or prune (the task goes on in the service)\n"
         "\n"
         "environment: TARN_ROOT (the folder below which every machine-wide path lies), TARN_PASSWORD (a server's\n"
         "password), TARN_BACKUP_PASSWORD (a repository's password), MOXEL_DEBUG=1 (for the service: DEBUG lines\n"
         "in its log, whatever the setting \"logLevel\" of config.json says; debug, info, warn or error)\n";
}

int RunMain(const std::vector<std::string>& args) {
  if (IsTrayRole(args)) return RunTrayRole(args);
  if (args[0] == "help" || args[0] == "--help" || args[0] == "-h") {
    if (args.size() > 1 && IsConsoleCommand(args[1])) return RunConsoleCommand({args[1], "--help"});
    if (args.size() > 1 && args[1] == "backup") return RunBackupCli({"help"});
    std::fputs(UsageText().c_str(), stdout);
    return kExitOk;
  }
  if (args[0] == "--version" || args[0] == "version") {
    std::printf("tarn %s\n", kServiceVersion);
    return kExitOk;
  }
  if (IsServiceRole(args[0])) return RunServiceRole(args);
  if (IsForegroundMount(args)) return RunForegroundMount(args);
  if (args[0] == "backup") return RunBackupCli(std::vector<std::string>(args.begin() + 1, args.end()));
  if (IsConsoleCommand(args[0])) return RunConsoleCommand(args);
  std::fprintf(stderr, "tarn: unknown command: %s\n\n%s", args[0].c_str(), UsageText().c_str());
  return kExitUsage;
}

}  // namespace tarn::app
