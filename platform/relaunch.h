// This executable started again: through pkexec with an administrator's
// rights (the service's install and start, asked for by the desktop
// application), or after an earlier process of it has ended (the tray's
// relaunch after an update); and the stamp that tells that the executable
// file was replaced. Free functions; any thread.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace tarn {

inline constexpr int kElevatedWaitMs = 120000;
inline constexpr int kRelaunchWaitMs = 15000;

// "size/time" of a file: its size in bytes and its modification time as a
// FILETIME count of 100 ns units, both decimal; empty when it cannot be read.
std::string ExeWriteTime(const std::string& path);

// Runs this executable with `args` through pkexec, which asks for an
// administrator's password, and waits up to kElevatedWaitMs for it to end.
// True when it could be started; false when pkexec is not installed or
// cannot be run.
bool RelaunchElevated(const std::vector<std::string>& args);
// What an administrator types in a terminal instead: sudo, this executable
// and `args`, each quoted for the shell where it needs it.
std::string ElevatedCommand(const std::vector<std::string>& args);

// Waits up to `timeoutMs` for the process `pid` (any process, not only a
// child) to end. True when it ended or does not exist; false after the wait
// or, without waiting, when the process cannot be watched.
bool WaitForProcessExit(pid_t pid, int timeoutMs);

}  // namespace tarn
