// A process of another user that creates files (or opens them, when they
// exist), writes a little into each and, when asked to, holds them open
// until told to end: how plain users reach a drive in tests that run as
// root. It can make symbolic links instead, as a user plants them. What the
// child uses is made before the fork, and it makes system calls only.
// Driven from one test thread.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tarn::test {

class FilesAsUser {
 public:
  struct Report {
    uint32_t opened = 0;
    uint32_t failed = 0;
    int firstErrno = 0;  // of the first open that failed
  };

  // A symbolic link at `at` that leads to `target`.
  struct Link {
    std::string at;
    std::string target;
  };

  // Starts the process of `uid` (its group the same number, no others).
  FilesAsUser(uint32_t uid, std::vector<std::string> paths, bool hold);
  // The same, making the links (counted as opened) and no files.
  FilesAsUser(uint32_t uid, std::vector<Link> links);
  // Ends the process, which closes its files.
  ~FilesAsUser();
  FilesAsUser(const FilesAsUser&) = delete;
  FilesAsUser& operator=(const FilesAsUser&) = delete;

  // Waits until every path was tried; the files are still open when held.
  Report report();
  // Ends the process and waits for it; its files are then closed.
  void finish();

 private:
  void start(uint32_t uid);
  [[noreturn]] void run(uint32_t uid);

  const std::vector<std::string> paths_;
  const std::vector<Link> links_;
  const bool hold_;
  int report_[2] = {-1, -1};
  int release_[2] = {-1, -1};
  pid_t pid_ = -1;
  bool reported_ = false;
  Report got_;
};

}  // namespace tarn::test
