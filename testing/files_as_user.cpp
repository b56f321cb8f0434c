#include "testing/files_as_user.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>

namespace tarn::test {

FilesAsUser::FilesAsUser(uint32_t uid, std::vector<Link> links) : links_(std::move(links)), hold_(false) {
  start(uid);
}

FilesAsUser::FilesAsUser(uint32_t uid, std::vector<std::string> paths, bool hold)
    : paths_(std::move(paths)), hold_(hold) {
  start(uid);
}

void FilesAsUser::start(uint32_t uid) {
  EXPECT_EQ(::pipe2(report_, O_CLOEXEC), 0);
  EXPECT_EQ(::pipe2(release_, O_CLOEXEC), 0);
  pid_ = ::fork();
  EXPECT_GE(pid_, 0);
  if (pid_ == 0) run(uid);
  ::close(report_[1]);
  ::close(release_[0]);
}

FilesAsUser::~FilesAsUser() { finish(); }

FilesAsUser::Report FilesAsUser::report() {
  if (!reported_ && pid_ > 0) {
    EXPECT_EQ(::read(report_[0], &got_, sizeof got_), static_cast<ssize_t>(sizeof got_));
    reported_ = true;
  }
  return got_;
}

void FilesAsUser::finish() {
  if (pid_ <= 0) return;
  report();
  EXPECT_EQ(::write(release_[1], "x", 1), 1);
  int status = 0;
  ::waitpid(pid_, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  pid_ = -1;
  ::close(report_[0]);
  ::close(release_[1]);
}

void FilesAsUser::run(uint32_t uid) {
  // Copies of the test process's descriptors (a drive's own among them)
  // must not stay open in the child.
  const unsigned low = static_cast<unsigned>(std::min(report_[1], release_[0]));
  const unsigned high = static_cast<unsigned>(std::max(report_[1], release_[0]));
  ::close_range(STDERR_FILENO + 1, low - 1, 0);
  ::close_range(low + 1, high - 1, 0);
  ::close_range(high + 1, ~0u, 0);
  if (::setgroups(0, nullptr) != 0 || ::setgid(uid) != 0 || ::setuid(uid) != 0) ::_exit(2);
  Report r;
  for (const std::string& path : paths_) {
    const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    if (fd < 0) {
      if (r.failed++ == 0) r.firstErrno = errno;
      continue;
    }
    ++r.opened;
    if (::write(fd, "x", 1) != 1 && r.failed++ == 0) r.firstErrno = errno;
    if (!hold_) ::close(fd);
  }
  for (const Link& link : links_) {
    if (::symlink(link.target.c_str(), link.at.c_str()) == 0) {
      ++r.opened;
    } else if (r.failed++ == 0) {
      r.firstErrno = errno;
    }
  }
  if (::write(report_[1], &r, sizeof r) != static_cast<ssize_t>(sizeof r)) ::_exit(3);
  char x;
  if (::read(release_[0], &x, 1) < 0) ::_exit(4);
  ::_exit(0);
}

}  // namespace tarn::test
