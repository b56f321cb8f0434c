// The live record of a running backup or restore task: counters of what is
// done and the path being worked on. Created by the backup manager for every
// task and shared by std::shared_ptr between the task's worker thread, which
// writes it, and the control-request threads, which read it at any time. The
// counters are atomics read without a lock, so a reader sees each whole but
// they need not agree with one another; the current path is guarded by mu_.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace tarn::backup {

struct Progress {
  std::atomic<uint64_t> files{0};      // stored or reused; restored
  std::atomic<uint64_t> dirs{0};       // listings stored; folders restored
  std::atomic<uint64_t> bytes{0};      // content bytes finished
  std::atomic<uint64_t> bytesRead{0};  // bytes read from local files
  std::atomic<uint64_t> errors{0};     // every problem, also those whose text is dropped
  std::atomic<uint64_t> skipped{0};    // entries left out on purpose (links to folders, other file systems, FIFOs...)

  void setCurrent(const std::string& path);
  std::string current() const;

 private:
  mutable std::mutex mu_;
  std::string current_;  // guarded by mu_
};

// Problem texts kept per run; every problem is counted all the same.
constexpr size_t kMaxProblems = 200;

// A backup's or restore's problem with one item: counted in errors always,
// and its text (the path, ": ", the message and, for an error number other
// than 0, the system's text in " (" and ")") kept while fewer than
// kMaxProblems are.
void RecordProblem(Progress& progress, std::vector<std::string>& problems, std::string_view path,
                   std::string_view message, int error);

}  // namespace tarn::backup
