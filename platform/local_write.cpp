#include "platform/local_write.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace tarn::localfs {

namespace {

constexpr mode_t kModeBits = 07777;

// O_PATH: a folder that is only written to and searched needs no read right.
constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;

// A descriptor's entry in /proc: what a call that takes no descriptor (and
// no O_PATH one) reaches the very file through.
std::string ProcPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

// Unnamed files are named through their descriptor's entry in /proc; where
// /proc is not mounted they could never be named, so files get their names
// at once there.
bool CanNameUnnamedFiles() {
  static const bool can = ::access("/proc/self/fd", X_OK) == 0;
  return can;
}

template <typename Call>
int Retrying(Call call) {
  int rc;
  do {
    rc = call();
  } while (rc < 0 && errno == EINTR);
  return rc;
}

// As many links as the kernel follows in one path.
constexpr int kMaxLinksOnAPath = 40;

// The components of a path, last first, so that the next is at the back.
void PushComponents(const std::string& path, std::vector<std::string>& pending) {
  size_t end = path.size();
  while (end > 0) {
    const size_t slash = path.rfind('/', end - 1);
    const size_t start = slash == std::string::npos ? 0 : slash + 1;
    if (end > start && path.compare(start, end - start, ".") != 0) pending.push_back(path.substr(start, end - start));
    if (slash == std::string::npos) break;
    end = slash;
  }
}

// Why the link `link` (as fstatat saw it) in the open folder `folder` may
// be the work of someone other than root and `trustedUid`; empty when it
// cannot.
std::string Untrusted(int folder, const struct stat& link, uint32_t trustedUid) {
  auto trusted = [&](uid_t uid) { return uid == 0 || uid == trustedUid; };
  if (!trusted(link.st_uid)) return "another user (uid " + std::to_string(link.st_uid) + ") made it";
  struct stat holder {};
  if (::fstat(folder, &holder) != 0) return "the folder it is in cannot be looked at";
  // In a sticky folder only an entry's owner, the folder's and root may
  // rename or remove it; a second name would be someone's hard link.
  const bool othersWrite = (holder.st_mode & (S_IWGRP | S_IWOTH)) != 0;
  const bool guarded = (holder.st_mode & S_ISVTX) != 0 && link.st_nlink == 1;
  if (!trusted(holder.st_uid) || (othersWrite && !guarded)) return "others may change the folder it is in";
  return {};
}

}  // namespace

Status WriteFolder::Adopt(int fd, WriteFolder& out) {
  vx::UniqueFd owned(fd);
  struct stat st {};
  if (::fstat(fd, &st) != 0) return StatusFromErrno(errno);
  out.fd_ = std::move(owned);
  out.device_ = st.st_dev;
  out.inode_ = st.st_ino;
  return Status();
}

Status WriteFolder::open(const std::string& path, WriteFolder& out) {
  int fd = Retrying([&] { return ::open(path.c_str(), kFolderFlags); });
  if (fd < 0) return StatusFromErrno(errno);
  return Adopt(fd, out);
}

Status WriteFolder::openPath(const std::string& path, uint32_t trustedUid, bool create, uint32_t mode,
                             uint32_t parentMode, WriteFolder& out) {
  if (path.empty() || path.front() != '/') return StatusFromErrno(EINVAL);
  auto openRoot = [] { return vx::UniqueFd(Retrying([] { return ::open("/", kFolderFlags); })); };
  vx::UniqueFd folder = openRoot();
  std::string walked;  // the path of `folder` as far as it was walked, for messages
  std::vector<std::string> pending;
  PushComponents(path, pending);
  int links = 0;
  while (folder.valid() && !pending.empty()) {
    const std::string name = std::move(pending.back());
    pending.pop_back();
    const std::string here = walked + "/" + name;
    struct stat st {};
    int rc = ::fstatat(folder.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW);
    uint32_t made = 0;  // the bits of a folder made here, 0 when none was
    if (rc != 0 && errno == ENOENT && create) {
      const uint32_t bits = (pending.empty() ? mode : parentMode) & kModeBits;
      if (::mkdirat(folder.get(), name.c_str(), bits) == 0) made = bits;
      else if (errno != EEXIST) return StatusFromErrno(errno);
      rc = ::fstatat(folder.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW);
    }
    if (rc != 0) return StatusFromErrno(errno);
    if (S_ISLNK(st.st_mode)) {
      const std::string why = Untrusted(folder.get(), st, trustedUid);
      if (!why.empty()) return Status(Status::kAccessDenied, "refused to follow the link " + here + ": " + why);
      if (++links > kMaxLinksOnAPath) return StatusFromErrno(ELOOP);
      std::string target(PATH_MAX, '\0');
      const ssize_t length = ::readlinkat(folder.get(), name.c_str(), target.data(), target.size());
      if (length < 0) return StatusFromErrno(errno);
      if (size_t(length) >= target.size()) return StatusFromErrno(ENAMETOOLONG);
      target.resize(size_t(length));
      PushComponents(target, pending);
      if (!target.empty() && target.front() == '/') {
        folder = openRoot();
        walked.clear();
      }
      continue;
    }
    // O_NOFOLLOW: a link put in its place since it was looked at is refused.
    vx::UniqueFd next(Retrying([&] { return ::openat(folder.get(), name.c_str(), kFolderFlags | O_NOFOLLOW); }));
    if (!next.valid()) return StatusFromErrno(errno);
    // The service's own umask is not the caller's.
    if (made != 0 && ::chmod(ProcPath(next.get()).c_str(), made) != 0) return StatusFromErrno(errno);
    folder = std::move(next);
    walked = here;
  }
  if (!folder.valid()) return StatusFromErrno(errno);
  const int fd = folder.get();
  folder.release();
  return Adopt(fd, out);
}

Status WriteFolder::openFolder(const std::string& name, bool create, WriteFolder& out, uint32_t mode) const {
  bool made = create && ::mkdirat(fd_.get(), name.c_str(), mode & kModeBits) == 0;
  if (create && !made && errno != EEXIST) return StatusFromErrno(errno);
  int fd = Retrying([&] { return ::openat(fd_.get(), name.c_str(), kFolderFlags | O_NOFOLLOW); });
  if (fd < 0) return StatusFromErrno(errno);
  Status st = Adopt(fd, out);
  out.made_ = st.ok() && made;
  if (out.made_) st = out.setMode(mode);
  return st;
}

Status WriteFolder::openParent(WriteFolder& out) const {
  int fd = Retrying([&] { return ::openat(fd_.get(), "..", kFolderFlags | O_NOFOLLOW); });
  if (fd < 0) return StatusFromErrno(errno);
  return Adopt(fd, out);
}

Status WriteFolder::setMode(uint32_t mode) const {
  // No call changes the bits of an O_PATH descriptor's folder; its entry in
  // /proc leads to that folder whatever has its name now.
  if (::chmod(ProcPath(fd_.get()).c_str(), mode & kModeBits) != 0) return StatusFromErrno(errno);
  return Status();
}

Status WriteFolder::setOwner(uint32_t uid, uint32_t gid) const {
  if (::fchownat(fd_.get(), "", uid, gid, AT_EMPTY_PATH) != 0) return StatusFromErrno(errno);
  return Status();
}

Status WriteFolder::stat(const std::string& name, Entry& out) const {
  struct stat st {};
  if (::fstatat(fd_.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT) != 0)
    return StatusFromErrno(errno);
  FillFromStat(st, out);
  return Status();
}

Status WriteFolder::createFile(const std::string& name, WriteFile& out, bool unnamed) const {
  out = WriteFile();
  out.name_ = name;
  int fd = -1;
  if (unnamed && CanNameUnnamedFiles()) {
    fd = Retrying([&] { return ::openat(fd_.get(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, kOwnerOnlyFile); });
    if (fd >= 0) {
      out.fd_ = vx::UniqueFd(fd);
      out.unnamed_ = true;
      return Status();
    }
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return StatusFromErrno(errno);
  }

  // O_EXCL never opens what is there, a link least of all: an old file or
  // link of the name is removed and the create tried once more.
  auto create = [&] {
    return Retrying([&] {
      return ::openat(fd_.get(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kOwnerOnlyFile);
    });
  };
  fd = create();
  if (fd < 0 && errno == EEXIST) {
    if (::unlinkat(fd_.get(), name.c_str(), 0) != 0 && errno != ENOENT) return StatusFromErrno(errno);
    fd = create();
  }
  if (fd < 0) return StatusFromErrno(errno);
  out.fd_ = vx::UniqueFd(fd);
  return Status();
}

int WriteFolder::LinkUnnamed(const WriteFile& file, const std::string& name) const {
  // Linking by descriptor needs a privilege the caller's rights do not
  // carry; the descriptor's entry in /proc links with the rights the file
  // was made with.
  const std::string self = ProcPath(file.fd_.get());
  return ::linkat(AT_FDCWD, self.c_str(), fd_.get(), name.c_str(), AT_SYMLINK_FOLLOW);
}

Status WriteFolder::nameFile(const WriteFile& file) const {
  if (!file.unnamed_) return Status();
  int rc = LinkUnnamed(file, file.name_);
  if (rc != 0 && errno == EEXIST) {
    if (::unlinkat(fd_.get(), file.name_.c_str(), 0) != 0 && errno != ENOENT) return StatusFromErrno(errno);
    rc = LinkUnnamed(file, file.name_);
  }
  if (rc != 0) return StatusFromErrno(errno);
  return Status();
}

Status WriteFolder::nameFileAs(const WriteFile& file, const std::string& name, bool& named) const {
  named = false;
  if (!file.unnamed_) return Status();
  if (LinkUnnamed(file, name) != 0) return errno == EEXIST ? Status() : StatusFromErrno(errno);
  named = true;
  return Status();
}

Status WriteFolder::rename(const std::string& from, const std::string& to) const {
  if (::renameat(fd_.get(), from.c_str(), fd_.get(), to.c_str()) != 0) return StatusFromErrno(errno);
  return Status();
}

Status WriteFolder::remove(const std::string& name) const {
  if (::unlinkat(fd_.get(), name.c_str(), 0) != 0) return StatusFromErrno(errno);
  return Status();
}

Status WriteFolder::probeWrite() const {
  int fd = Retrying([&] { return ::openat(fd_.get(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600); });
  if (fd >= 0) {
    ::close(fd);
    return Status();
  }
  if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)
    return Status(Status::kUnsupported, "no unnamed temporary files here", errno);
  return StatusFromErrno(errno);
}

Status WriteFile::writeAt(uint64_t offset, const uint8_t* data, size_t size) const {
  while (size > 0) {
    ssize_t n = ::pwrite(fd_.get(), data, size, static_cast<off_t>(offset));
    if (n < 0) {
      if (errno == EINTR) continue;
      return StatusFromErrno(errno);
    }
    if (n == 0) return StatusFromErrno(ENOSPC);
    data += n;
    size -= static_cast<size_t>(n);
    offset += static_cast<uint64_t>(n);
  }
  return Status();
}

Status WriteFile::setModified(uint64_t filetime) const {
  const Timestamp t = Timestamp::fromFileTime(filetime);
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = static_cast<time_t>(t.seconds);
  times[1].tv_nsec = static_cast<long>(t.nanoseconds);
  if (::futimens(fd_.get(), times) != 0) return StatusFromErrno(errno);
  return Status();
}

Status WriteFile::setMode(uint32_t mode) const {
  if (::fchmod(fd_.get(), mode & kModeBits) != 0) return StatusFromErrno(errno);
  return Status();
}

Status WriteFile::setOwner(uint32_t uid, uint32_t gid) const {
  if (::fchown(fd_.get(), uid, gid) != 0) return StatusFromErrno(errno);
  return Status();
}

Status WriteFile::close() {
  if (!fd_.close()) return StatusFromErrno(errno);
  return Status();
}

}  // namespace tarn::localfs
