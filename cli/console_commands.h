// The console commands: status, add, mount, unmount, remove, sync, offline,
// log and transfers, which talk to the service, and probe, which tries a
// server from here; each with its own "--help". They print to stdout, report failures on stderr with the
// service's own error text, and return the process exit code. Main thread.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarn::app {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitNoService = 3;
// Done in part: a backup that left files out, a restore
// that left some out, a sync after which changes still wait.
inline constexpr int kExitPartial = 4;
// Ctrl+C ended the console while the service goes on, as a shell reports a
// program that SIGINT ended.
inline constexpr int kExitInterrupted = 130;

// Reports a failed request on stderr: kExitNoService with a hint when the
// service is not running, else kExitFailed.
int ReportFailure(const std::string& error);
// Reports wrong arguments on stderr with where to read the usage; kExitUsage.
int ReportUsage(const std::string& message, std::string_view help = "tarn help");

// The secret a server asks for, from TARN_PASSWORD or the terminal: with
// `withKey` the passphrase of a private key (none without a terminal), else
// the password of `user` (an S3 store's secret key with `s3`; nothing is
// asked without a user). Empty when it was had or is not needed, else why
// there is none.
std::string ServerSecret(const std::string& user, bool withKey, bool s3, std::string& secret);

// One console command: its word, its arguments and help for "--help", and
// what runs it with the arguments after its word.
struct ConsoleCommand {
  std::string_view name;
  std::string_view synopsis;
  std::string_view help;
  int (*run)(const std::vector<std::string>& args);
};

// Runs the command of `table` named by args[0] with the rest; "--help" among
// them shows its usage with `prefix` ("tarn", "tarn backup") in front.
int RunCommandOf(std::span<const ConsoleCommand> table, std::string_view prefix, const std::vector<std::string>& args);
// One line per command: its word and its arguments.
std::string CommandList(std::span<const ConsoleCommand> table);

// True when `name` is one of the console commands.
bool IsConsoleCommand(const std::string& name);
// Runs args[0] with the rest as its arguments.
int RunConsoleCommand(const std::vector<std::string>& args);
// The command list of the main usage text.
std::string ConsoleCommandsUsage();

}  // namespace tarn::app
