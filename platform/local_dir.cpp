#include "platform/local_dir.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <utility>

namespace tarn::localfs {

namespace {

// Attribute reads must not trigger an automount (a hanging network mount
// would stop the walk) and must not follow links.
constexpr int kEntryStatFlags = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT;

int OpenAtRetrying(int dirFd, const char* name, int flags) {
  int fd;
  do {
    fd = ::openat(dirFd, name, flags | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

LocalFile::Stamp StampOf(const struct stat& st) {
  LocalFile::Stamp s;
  s.size = st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;
  s.mtimeSec = st.st_mtim.tv_sec;
  s.mtimeNsec = st.st_mtim.tv_nsec;
  s.ctimeSec = st.st_ctim.tv_sec;
  s.ctimeNsec = st.st_ctim.tv_nsec;
  return s;
}

// The file-system type of the mount `id` in the kernel's table, read line
// by line (proc files report no size to read up to). A line is "id parent
// major:minor root point options [tags] - type source super-options".
Status MountTypeOf(uint64_t id, std::string& type) {
  std::ifstream table("/proc/self/mountinfo");
  if (!table) return StatusFromErrno(ENOENT);
  std::string line;
  while (std::getline(table, line)) {
    unsigned long long lineId = 0;
    if (std::sscanf(line.c_str(), "%llu", &lineId) != 1 || lineId != id) continue;
    const size_t dash = line.find(" - ");
    if (dash == std::string::npos) break;
    const size_t start = dash + 3;
    type = line.substr(start, line.find(' ', start) - start);
    return Status();
  }
  return StatusFromErrno(ENOENT);
}

Status FileSystemAt(int dirFd, const char* name, int flags, std::string& type) {
  struct statx sx {};
  if (::statx(dirFd, name, flags | AT_NO_AUTOMOUNT, STATX_MNT_ID, &sx) != 0) return StatusFromErrno(errno);
  if ((sx.stx_mask & STATX_MNT_ID) == 0) return StatusFromErrno(ENOSYS);
  return MountTypeOf(sx.stx_mnt_id, type);
}

Kind KindOf(mode_t mode) {
  if (S_ISREG(mode)) return Kind::kFile;
  if (S_ISDIR(mode)) return Kind::kFolder;
  if (S_ISLNK(mode)) return Kind::kLink;
  return Kind::kOther;
}

}  // namespace

Status StatusFromErrno(int error) {
  int32_t code = Status::kIo;
  switch (error) {
    case ENOENT:
      code = Status::kNotFound;
      break;
    case EACCES:
    case EPERM:
      code = Status::kAccessDenied;
      break;
    case ENOTDIR:
    case ELOOP:
      code = Status::kNotDirectory;
      break;
    default:
      break;
  }
  return Status(code, "", error);
}

void FillFromStat(const struct stat& st, Entry& out) {
  out.kind = KindOf(st.st_mode);
  out.size = S_ISREG(st.st_mode) && st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;
  out.mtime = Timestamp::fromTimespec(st.st_mtim.tv_sec, st.st_mtim.tv_nsec).toFileTime();
  out.ctime = Timestamp::fromTimespec(st.st_ctim.tv_sec, st.st_ctim.tv_nsec).toFileTime();
  out.mode = st.st_mode;
  out.uid = st.st_uid;
  out.gid = st.st_gid;
  out.device = st.st_dev;
  out.inode = st.st_ino;
  out.error = 0;
}

Status StatPath(const std::string& path, Entry& out) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return StatusFromErrno(errno);
  FillFromStat(st, out);
  return Status();
}

LocalDir::~LocalDir() {
  if (dir_ != nullptr) ::closedir(dir_);
}

LocalDir::LocalDir(LocalDir&& other) noexcept
    : dir_(std::exchange(other.dir_, nullptr)), device_(other.device_), inode_(other.inode_) {}

LocalDir& LocalDir::operator=(LocalDir&& other) noexcept {
  if (this != &other) {
    if (dir_ != nullptr) ::closedir(dir_);
    dir_ = std::exchange(other.dir_, nullptr);
    device_ = other.device_;
    inode_ = other.inode_;
  }
  return *this;
}

Status LocalDir::Adopt(int fd, LocalDir& out) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    int error = errno;
    ::close(fd);
    return StatusFromErrno(error);
  }
  DIR* dir = ::fdopendir(fd);
  if (dir == nullptr) {
    int error = errno;
    ::close(fd);
    return StatusFromErrno(error);
  }
  out = LocalDir();
  out.dir_ = dir;
  out.device_ = st.st_dev;
  out.inode_ = st.st_ino;
  return Status();
}

Status LocalDir::open(const std::string& path, LocalDir& out) {
  int fd = OpenAtRetrying(AT_FDCWD, path.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return StatusFromErrno(errno);
  return Adopt(fd, out);
}

Status LocalDir::openFolder(const std::string& name, LocalDir& out) const {
  if (dir_ == nullptr) return StatusFromErrno(EBADF);
  int fd = OpenAtRetrying(::dirfd(dir_), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
  if (fd < 0) return StatusFromErrno(errno);
  return Adopt(fd, out);
}

Status LocalDir::openParent(LocalDir& out) const {
  if (dir_ == nullptr) return StatusFromErrno(EBADF);
  int fd = OpenAtRetrying(::dirfd(dir_), "..", O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
  if (fd < 0) return StatusFromErrno(errno);
  return Adopt(fd, out);
}

Status LocalDir::openFile(const std::string& name, LocalFile& out) const {
  if (dir_ == nullptr) return StatusFromErrno(EBADF);
  return LocalFile::OpenAt(::dirfd(dir_), name, out);
}

Status LocalDir::list(std::vector<Entry>& out) const {
  out.clear();
  if (dir_ == nullptr) return StatusFromErrno(EBADF);
  const int fd = ::dirfd(dir_);
  for (;;) {
    errno = 0;
    struct dirent* d = ::readdir(dir_);
    if (d == nullptr) {
      if (errno != 0) return StatusFromErrno(errno);
      return Status();
    }
    const char* name = d->d_name;
    if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
    Entry entry;
    entry.name = name;
    struct stat st {};
    if (::fstatat(fd, name, &st, kEntryStatFlags) == 0) {
      FillFromStat(st, entry);
    } else if (errno == ENOENT) {
      continue;  // deleted since readdir saw it
    } else {
      entry.error = errno;
    }
    out.push_back(std::move(entry));
  }
}

Status LocalDir::statTarget(const std::string& name, Entry& out) const {
  if (dir_ == nullptr) return StatusFromErrno(EBADF);
  struct stat st {};
  if (::fstatat(::dirfd(dir_), name.c_str(), &st, AT_NO_AUTOMOUNT) != 0) return StatusFromErrno(errno);
  FillFromStat(st, out);
  return Status();
}

Status LocalDir::fileSystemOf(const std::string& name, std::string& type) const {
  if (dir_ == nullptr) return StatusFromErrno(EBADF);
  return FileSystemAt(::dirfd(dir_), name.c_str(), AT_SYMLINK_NOFOLLOW, type);
}

Status LocalDir::fileSystem(std::string& type) const {
  if (dir_ == nullptr) return StatusFromErrno(EBADF);
  return FileSystemAt(::dirfd(dir_), "", AT_EMPTY_PATH, type);
}

LocalFile::~LocalFile() {
  if (fd_ >= 0) ::close(fd_);
}

LocalFile::LocalFile(LocalFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      size_(other.size_),
      device_(other.device_),
      inode_(other.inode_),
      opened_(other.opened_) {}

LocalFile& LocalFile::operator=(LocalFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    size_ = other.size_;
    device_ = other.device_;
    inode_ = other.inode_;
    opened_ = other.opened_;
  }
  return *this;
}

Status LocalFile::open(const std::string& path, LocalFile& out) { return OpenAt(AT_FDCWD, path, out); }

Status LocalFile::OpenAt(int dirFd, const std::string& name, LocalFile& out) {
  // O_NONBLOCK: a FIFO put in place of the file must not hang the open; for
  // a regular file the flag changes nothing.
  constexpr int kFlags = O_RDONLY | O_NONBLOCK;
  // O_NOATIME is refused (EPERM) for files of other owners unless we hold
  // CAP_FOWNER; reading them then moves their access time.
  int fd = OpenAtRetrying(dirFd, name.c_str(), kFlags | O_NOATIME);
  if (fd < 0 && errno == EPERM) fd = OpenAtRetrying(dirFd, name.c_str(), kFlags);
  if (fd < 0) return StatusFromErrno(errno);
  LocalFile file;
  file.fd_ = fd;
  struct stat st {};
  if (::fstat(fd, &st) != 0) return StatusFromErrno(errno);
  if (!S_ISREG(st.st_mode)) return Status(Status::kUnsupported, "not a regular file");
  // Advice only: a refusal changes nothing but the read-ahead.
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  file.opened_ = StampOf(st);
  file.size_ = file.opened_.size;
  file.device_ = st.st_dev;
  file.inode_ = st.st_ino;
  out = std::move(file);
  return Status();
}

Status LocalFile::read(uint8_t* buffer, size_t size, size_t& got) {
  got = 0;
  if (size > kMaxReadCall) size = kMaxReadCall;
  for (;;) {
    ssize_t n = ::read(fd_, buffer, size);
    if (n >= 0) {
      got = static_cast<size_t>(n);
      return Status();
    }
    if (errno != EINTR) return StatusFromErrno(errno);
  }
}

Status LocalFile::rewind() {
  if (::lseek(fd_, 0, SEEK_SET) < 0) return StatusFromErrno(errno);
  return Status();
}

Status LocalFile::stamp(Stamp& out) const {
  struct stat st {};
  if (::fstat(fd_, &st) != 0) return StatusFromErrno(errno);
  out = StampOf(st);
  return Status();
}

}  // namespace tarn::localfs
