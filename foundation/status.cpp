#include "foundation/status.h"

#include <cstdio>
#include <ctime>
#include <iterator>

namespace tarn {

namespace {
constexpr const char* kCodeTexts[] = {
    "ok",           "not-found", "exists",  "access-denied", "auth-failed", "not-empty", "is-directory",
    "not-directory", "no-space", "too-large", "invalid",     "unsupported", "busy",      "conflict",
    "network",      "timeout",   "canceled", "io",           "protocol",
};
// The same kinds in words for a sentence, for a status that carries no
// message of its own or only a path.
constexpr const char* kCodeWords[] = {
    "done",           "not found",    "already exists", "access denied", "log-in refused", "folder not empty",
    "is a folder",    "not a folder", "no space left",  "too large",     "invalid",        "not supported",
    "busy",           "conflict",     "network failure", "timed out",    "canceled",       "input/output error",
    "protocol error",
};
static_assert(std::size(kCodeWords) == std::size(kCodeTexts));
constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kSecondsFrom1601To1970 = 11644473600;
}  // namespace

const char* Status::CodeText(int32_t code) {
  if (code < 0 || code >= static_cast<int32_t>(std::size(kCodeTexts))) return "?";
  return kCodeTexts[code];
}

std::string Status::toString() const {
  // The native number stays for programs to read: the message already says
  // in words what it means (an HTTP status as "HTTP 404").
  std::string text = CodeText(code);
  if (!message.empty()) {
    text += ": ";
    text += message;
  }
  return text;
}

std::string Status::words() const {
  const bool known = code >= 0 && code < static_cast<int32_t>(std::size(kCodeWords));
  const std::string kind = known ? kCodeWords[code] : CodeText(code);
  if (message.empty()) return kind;
  // A bare path says nothing of what happened to it.
  if (message.front() == '/' && message.find(' ') == std::string::npos) return message + ": " + kind;
  return message;
}

std::string_view StatusTextWords(std::string_view text) {
  constexpr std::string_view kAfterCode = ": ";
  // Not "ok": no failure begins with it, and other texts may.
  for (int32_t code = Status::kNotFound; code < static_cast<int32_t>(std::size(kCodeTexts)); ++code) {
    const std::string_view name = kCodeTexts[code];
    if (text.size() > name.size() + kAfterCode.size() && text.starts_with(name) &&
        text.substr(name.size(), kAfterCode.size()) == kAfterCode)
      return text.substr(name.size() + kAfterCode.size());
  }
  return text;
}

Timestamp Timestamp::fromFileTime(uint64_t filetime) {
  if (filetime == 0) return {};
  // Floor division on both sides of the epoch, without overflow anywhere in
  // the u64 range.
  int64_t secs;
  uint64_t rem;
  if (filetime >= kUnixEpochFileTime) {
    uint64_t diff = filetime - kUnixEpochFileTime;
    secs = static_cast<int64_t>(diff / kTicksPerSecond);
    rem = diff % kTicksPerSecond;
  } else {
    uint64_t diff = kUnixEpochFileTime - filetime;
    secs = -static_cast<int64_t>(diff / kTicksPerSecond);
    rem = diff % kTicksPerSecond;
    if (rem != 0) {
      secs -= 1;
      rem = kTicksPerSecond - rem;
    }
  }
  Timestamp t;
  t.seconds = secs;
  t.nanoseconds = static_cast<uint32_t>(rem * 100);
  return t;
}

uint64_t Timestamp::toFileTime() const {
  if (isZero()) return 0;
  // Wraps like the unsigned arithmetic it stands for; times outside the
  // FILETIME range are not representable anyway.
  uint64_t secs = static_cast<uint64_t>(seconds) + static_cast<uint64_t>(kSecondsFrom1601To1970);
  return secs * static_cast<uint64_t>(kTicksPerSecond) + nanoseconds / 100;
}

Timestamp Timestamp::fromTimespec(int64_t sec, int64_t nsec) {
  Timestamp t;
  t.seconds = sec;
  t.nanoseconds = static_cast<uint32_t>((nsec / 100) * 100);
  return t;
}

Timestamp Timestamp::now() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return fromTimespec(ts.tv_sec, ts.tv_nsec);
}

std::string Counted(uint64_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string FormatBytes(uint64_t bytes) {
  char buf[48];
  if (bytes < 1024) {
    std::snprintf(buf, sizeof buf, "%llu B", static_cast<unsigned long long>(bytes));
    return buf;
  }
  static constexpr const char* kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB", "PiB"};
  double value = static_cast<double>(bytes);
  int divisions = 0;
  while (value >= 1024.0 && divisions < 5) {
    value /= 1024.0;
    ++divisions;
  }
  std::snprintf(buf, sizeof buf, "%.1f %s", value, kUnits[divisions]);
  return buf;
}

}  // namespace tarn
