// The process log: one plain-text file per process, chosen once at start by
// the process's role (vx::log::open), written line by line by every part of
// the system (vx::log::write). Process-wide singleton; any thread may call
// both functions, write also before open. It never fails visibly: a line that
// cannot be written is dropped.
//
// Every line is also copied to stderr when stderr is a terminal (a process
// running in the foreground) or when setConsole(true) was called.
#pragma once

#include <cstdint>
#include <string>

namespace vx::log {

constexpr uint32_t kDebug = 0;
constexpr uint32_t kInfo = 1;
constexpr uint32_t kWarn = 2;
constexpr uint32_t kError = 3;

// The file size past which the log moves to "<name>.log.1".
constexpr uint64_t kRotateBytes = 4ull * 1024 * 1024;
constexpr const char* kRotatedSuffix = ".1";
// A message longer than kMaxMessage - 1 bytes is cut.
constexpr size_t kMaxMessage = 2048;
// No line of the file, its time and level included, is longer.
constexpr size_t kMaxLine = 2200;

// Sets the log file to dir/name.log (creating dir), moved aside past
// `rotateBytes`, and lowers the threshold to DEBUG when MOXEL_DEBUG asks
// for it.
void open(const std::string& dir, const std::string& name, uint64_t rotateBytes = kRotateBytes);

// Writes one line: level 0 DEBUG, 1 INFO, 2 WARN, 3 ERROR; printf format
// with UTF-8 arguments.
void write(uint32_t level, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The least level written from now on (a configured "logLevel");
// MOXEL_DEBUG=1 keeps DEBUG lines whatever it says.
void setThreshold(uint32_t level);

// Forces the stderr copy on or off regardless of the terminal.
void setConsole(bool on);

}  // namespace vx::log
