// Waits, without polling, for a file to appear in a folder that exists:
// what a test does when another process signals by creating a file (a
// socket that listens, a result written and renamed into place). Test code;
// header-only.
#pragma once

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "foundation/file_util.h"

namespace tarn::test {

// True once `path` exists; false after `timeoutMs`.
inline bool WaitForFile(const std::string& path, int timeoutMs) {
  const std::string folder = path.substr(0, path.find_last_of('/'));
  const int watch = ::inotify_init1(IN_CLOEXEC);
  if (watch < 0) return false;
  const bool watching = ::inotify_add_watch(watch, folder.c_str(), IN_CREATE | IN_MOVED_TO) >= 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  bool found = vx::FileExists(path);
  while (watching && !found) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd p{watch, POLLIN, 0};
    if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
    char events[4096];
    [[maybe_unused]] ssize_t n = ::read(watch, events, sizeof(events));
    found = vx::FileExists(path);
  }
  ::close(watch);
  return found;
}

}  // namespace tarn::test
