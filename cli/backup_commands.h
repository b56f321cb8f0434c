// The console's backup commands, "tarn backup <command>": list, show, set,
// remove, run, stop, snapshots, ls, restore, check, prune, forget and log,
// one per backup request of the service, each with "--help". Tasks (run,
// check, prune, restore) are followed until they end, with a progress line
// on a terminal. Output goes to stdout, failures to stderr with the service's
// own error text; the result is the process exit code (console_commands.h).
// Main thread.
#pragma once

#include <string>
#include <vector>

namespace tarn::app {

// Where a backup's repository password may come from instead of the
// terminal.
inline constexpr const char* kBackupPasswordVariable = "TARN_BACKUP_PASSWORD";

// args: what follows "backup" on the command line.
int RunBackupCli(const std::vector<std::string>& args);

}  // namespace tarn::app
