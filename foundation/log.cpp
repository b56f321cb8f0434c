#include "foundation/log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>

#include "foundation/file_util.h"
#include "foundation/text.h"

namespace vx::log {

namespace {

constexpr size_t kMaxDebugSwitchChars = 7;
constexpr const char* kDebugSwitch = "MOXEL_DEBUG";
constexpr unsigned char kByteOrderMark[] = {0xEF, 0xBB, 0xBF};
// The log names the files of every user: it is the service's to read, and
// getLog's to hand out.
constexpr mode_t kLogFileMode = 0600;
constexpr int kConsoleAuto = -1;

struct LogState {
  std::mutex mu;
  std::string path;                   // guarded by mu
  uint64_t rotateBytes = kRotateBytes;  // guarded by mu
};

LogState& State() {
  static LogState* state = new LogState();  // never destroyed: logging may run during exit
  return *state;
}

// Written only by open(); read without the lock.
std::atomic<int32_t> g_threshold{static_cast<int32_t>(kInfo)};
std::atomic<int> g_console{kConsoleAuto};

const char* Label(uint32_t level) {
  switch (level) {
    case kDebug:
      return "DEBUG";
    case kWarn:
      return "WARN ";
    case kError:
      return "ERROR";
    default:
      return "INFO ";
  }
}

bool DebugRequested() {
  const char* value = std::getenv(kDebugSwitch);
  if (value == nullptr || value[0] == '\0') return false;
  // A longer value does not fit the switch's buffer and so reads as unset.
  if (Utf8ToWide(value).size() > kMaxDebugSwitchChars) return false;
  return value[0] == '1';
}

bool ConsoleWanted() {
  int mode = g_console.load(std::memory_order_relaxed);
  if (mode == kConsoleAuto) return ::isatty(STDERR_FILENO) == 1;
  return mode != 0;
}

int OpenLogFile(const std::string& path) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, kLogFileMode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

void WriteAll(int fd, const void* data, size_t size) {
  const auto* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = ::write(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    p += n;
    size -= static_cast<size_t>(n);
  }
}

// Appends one finished line to the file at `path`; called with the log mutex
// held so that rotation happens once and lines never interleave.
void AppendLocked(const std::string& path, uint64_t rotateBytes, const char* line, size_t length) {
  int fd = OpenLogFile(path);
  if (fd < 0) return;
  struct stat st {};
  bool sized = ::fstat(fd, &st) == 0;
  if (sized && static_cast<uint64_t>(st.st_size) > rotateBytes) {
    ::close(fd);
    const std::string old = path + kRotatedSuffix;
    ::unlink(old.c_str());
    ::rename(path.c_str(), old.c_str());
    fd = OpenLogFile(path);
    if (fd < 0) return;
    sized = ::fstat(fd, &st) == 0;
  }
  if (sized && st.st_size == 0) WriteAll(fd, kByteOrderMark, sizeof kByteOrderMark);
  WriteAll(fd, line, length);
  ::close(fd);
}

}  // namespace

void open(const std::string& dir, const std::string& name, uint64_t rotateBytes) {
  LogState& state = State();
  std::lock_guard<std::mutex> lock(state.mu);
  MakeDirs(dir);
  state.path = JoinPath(dir, name + ".log");
  state.rotateBytes = rotateBytes;
  if (DebugRequested()) g_threshold.store(static_cast<int32_t>(kDebug), std::memory_order_relaxed);
}

void setThreshold(uint32_t level) {
  g_threshold.store(static_cast<int32_t>(DebugRequested() ? kDebug : level), std::memory_order_relaxed);
}

void write(uint32_t level, const char* format, ...) {
  if (static_cast<int32_t>(level) < g_threshold.load(std::memory_order_relaxed)) return;
  char message[kMaxMessage];
  message[0] = '\0';
  if (format != nullptr) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
  }

  // Names and texts from other users and servers go into the message: a
  // line feed in one must not start a forged line, nor an escape sequence
  // reach the terminal of whoever reads the log.
  std::string printable = EscapeControls(message);
  if (printable.size() >= kMaxMessage) {
    size_t cut = kMaxMessage - 1;
    while (cut > 0 && (static_cast<unsigned char>(printable[cut]) & 0xC0) == 0x80) --cut;
    printable.resize(cut);
  }

  struct timespec now {};
  clock_gettime(CLOCK_REALTIME, &now);
  struct tm local {};
  localtime_r(&now.tv_sec, &local);
  char line[kMaxLine];
  int length = std::snprintf(line, sizeof line, "%04u-%02u-%02u %02u:%02u:%02u.%03u [%s] %s\r\n",
                             static_cast<unsigned>(local.tm_year + 1900), static_cast<unsigned>(local.tm_mon + 1),
                             static_cast<unsigned>(local.tm_mday), static_cast<unsigned>(local.tm_hour),
                             static_cast<unsigned>(local.tm_min), static_cast<unsigned>(local.tm_sec),
                             static_cast<unsigned>(now.tv_nsec / 1000000), Label(level), printable.c_str());
  if (length <= 0) return;
  size_t size = static_cast<size_t>(length) < sizeof line ? static_cast<size_t>(length) : sizeof line - 1;

  if (ConsoleWanted()) WriteAll(STDERR_FILENO, line, size);

  LogState& state = State();
  std::lock_guard<std::mutex> lock(state.mu);
  if (state.path.empty()) return;
  AppendLocked(state.path, state.rotateBytes, line, size);
}

void setConsole(bool on) { g_console.store(on ? 1 : 0, std::memory_order_relaxed); }

}  // namespace vx::log
