#include "foundation/file_util.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vx {

namespace {

constexpr size_t kMaxIoChunk = 256u * 1024 * 1024;
constexpr size_t kModulePathStart = 260;
constexpr mode_t kNewFileMode = 0666;
constexpr mode_t kPrivateFileMode = 0600;
constexpr mode_t kPermissionBits = 07777;
constexpr mode_t kNewDirMode = 0777;
constexpr int kTemporaryAttempts = 3;

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

int OpenRetrying(const char* path, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = ::open(path, flags | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// The whole file, or with `tailBytes` only its last that many bytes.
template <class Buffer>
bool ReadInto(const std::string& path, Buffer& out, uint64_t tailBytes = 0) {
  UniqueFd file(OpenRetrying(path.c_str(), O_RDONLY));
  if (!file.valid()) return false;
  struct stat st {};
  if (::fstat(file.get(), &st) != 0 || S_ISDIR(st.st_mode) || st.st_size < 0) return false;
  const uint64_t size = static_cast<uint64_t>(st.st_size);
  const uint64_t from = tailBytes != 0 && size > tailBytes ? size - tailBytes : 0;
  if (size - from > kMaxReadWholeFile) return false;
  out.resize(static_cast<size_t>(size - from));
  size_t done = 0;
  while (done < out.size()) {
    size_t piece = out.size() - done < kMaxIoChunk ? out.size() - done : kMaxIoChunk;
    ssize_t n = ::pread(file.get(), reinterpret_cast<char*>(out.data()) + done, piece,
                        static_cast<off_t>(from + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) break;  // the file shrank while being read
    done += static_cast<size_t>(n);
  }
  out.resize(done);
  return true;
}

// Opens path + ".tmp" for writing, empty, locked against other writers of
// the same file (who get -1, as an unshared open would refuse them). A link
// planted under the temporary's name is removed, never written through.
int OpenTemporary(const std::string& tmp, mode_t createMode) {
  for (int attempt = 0; attempt < kTemporaryAttempts; ++attempt) {
    int fd = OpenRetrying(tmp.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK, createMode);
    if (fd < 0) {
      if (errno == ELOOP && ::unlink(tmp.c_str()) == 0) continue;
      return -1;
    }
    UniqueFd file(fd);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return -1;
    // The temporary may have been renamed into place between our open and
    // our lock; then the locked file is no longer the temporary.
    struct stat opened {}, named {};
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) return -1;
    if (::lstat(tmp.c_str(), &named) != 0 || named.st_ino != opened.st_ino || named.st_dev != opened.st_dev)
      continue;
    if (::ftruncate(fd, 0) != 0) return -1;
    int owned = file.get();
    file.release();
    return owned;
  }
  return -1;
}

// Writes the data through a second descriptor of the locked temporary and
// makes it durable. Without a checked sync and close the rename could
// publish a file whose data never reached the disk. The temporary gets the
// old file's mode, or `privateMode` before its first byte.
bool WriteTemporary(const std::string& tmp, int lockFd, const std::string& path, const uint8_t* data,
                    size_t size, bool privateMode) {
  UniqueFd file(OpenRetrying(tmp.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK));
  if (!file.valid()) return false;
  struct stat mine {}, locked {};
  if (::fstat(file.get(), &mine) != 0 || ::fstat(lockFd, &locked) != 0 || mine.st_ino != locked.st_ino ||
      mine.st_dev != locked.st_dev)
    return false;
  struct stat old {};
  if (privateMode) {
    if (::fchmod(file.get(), kPrivateFileMode) != 0) return false;
  } else if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode) &&
             ::fchmod(file.get(), old.st_mode & kPermissionBits) != 0) {
    return false;
  }
  bool ok = WriteAll(file.get(), data, size) && ::fsync(file.get()) == 0;
  return file.close() && ok;
}

}  // namespace

bool WriteAll(int fd, const void* data, size_t size) {
  const auto* p = static_cast<const uint8_t*>(data);
  size_t done = 0;
  while (done < size) {
    size_t piece = size - done < kMaxIoChunk ? size - done : kMaxIoChunk;
    ssize_t n = ::write(fd, p + done, piece);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool SyncParentFolder(const std::string& path) {
  size_t slash = path.find_last_of('/');
  std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  UniqueFd dir(OpenRetrying(folder.c_str(), O_RDONLY | O_DIRECTORY));
  if (!dir.valid()) return false;
  if (::fsync(dir.get()) != 0) return false;
  return dir.close();
}

bool UniqueFd::close() {
  if (fd_ < 0) return true;
  int rc = ::close(fd_);
  fd_ = -1;
  return rc == 0;
}

std::string JoinPath(std::string_view dir, std::string_view name) {
  if (dir.empty()) return std::string(name);
  if (name.empty()) return std::string(dir);
  std::string out(dir);
  if (!IsSeparator(out.back())) out.push_back('/');
  if (IsSeparator(name.front())) name.remove_prefix(1);
  out.append(name);
  return out;
}

namespace {

// `exact`: each folder made gets `mode` whatever the umask took from it.
bool MakeDirsWith(const std::string& path, mode_t mode, bool exact) {
  if (path.empty()) return false;
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  // The root "/" always exists; every deeper parent is created first.
  size_t slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > 0) MakeDirsWith(path.substr(0, slash), mode, exact);
  if (::mkdir(path.c_str(), mode) == 0) return !exact || ::chmod(path.c_str(), mode) == 0;
  if (errno != EEXIST) return false;
  // Someone else may have made it meanwhile; a file of that name is no folder.
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

bool MakeDirs(const std::string& path) { return MakeDirsWith(path, kNewDirMode, false); }

bool MakeDirs(const std::string& path, uint32_t mode) {
  return MakeDirsWith(path, static_cast<mode_t>(mode & kPermissionBits), true);
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::string ModulePath() {
  std::string buffer(kModulePathStart, '\0');
  for (;;) {
    ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n <= 0) return {};
    if (static_cast<size_t>(n) < buffer.size()) {
      buffer.resize(static_cast<size_t>(n));
      return buffer;
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::string ModuleDir() {
  std::string path = ModulePath();
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return {};
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

bool ReadWholeFile(const std::string& path, std::string& out) {
  std::string content;
  if (!ReadInto(path, content)) return false;
  out = std::move(content);
  return true;
}

bool ReadFileTail(const std::string& path, uint64_t maxBytes, std::string& out) {
  std::string content;
  if (maxBytes == 0 || !ReadInto(path, content, maxBytes)) return false;
  out = std::move(content);
  return true;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& out) {
  out.clear();
  if (ReadInto(path, out)) return true;
  out.clear();
  return false;
}

namespace {

bool WriteAtomic(const std::string& path, const void* data, size_t size, bool privateMode) {
  if (path.empty() || (data == nullptr && size != 0)) return false;
  const std::string tmp = path + ".tmp";
  // The lock is held on a descriptor of its own until the temporary has its
  // final name, so the data descriptor can be closed (and its close checked)
  // before the rename.
  UniqueFd lock(OpenTemporary(tmp, privateMode ? kPrivateFileMode : kNewFileMode));
  if (!lock.valid()) return false;
  bool ok = WriteTemporary(tmp, lock.get(), path, static_cast<const uint8_t*>(data), size, privateMode) &&
            ::rename(tmp.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(tmp.c_str());
  lock.close();
  return ok && SyncParentFolder(path);
}

}  // namespace

bool WriteFileAtomic(const std::string& path, const void* data, size_t size) {
  return WriteAtomic(path, data, size, false);
}

bool WritePrivateFileAtomic(const std::string& path, const std::string& data) {
  return WriteAtomic(path, data.data(), data.size(), true);
}

bool RestrictToOwner(const std::string& path) {
  UniqueFd file(OpenRetrying(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK));
  struct stat st {};
  if (!file.valid() || ::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  if ((st.st_mode & kPermissionBits) == kPrivateFileMode) return true;
  return ::fchmod(file.get(), kPrivateFileMode) == 0;
}

bool WriteFileAtomic(const std::string& path, const std::string& data) {
  return WriteFileAtomic(path, data.data(), data.size());
}

bool WriteFileAtomic(const std::string& path, const std::vector<uint8_t>& data) {
  return WriteFileAtomic(path, data.data(), data.size());
}

void SecureWipe(std::string& data) {
  if (!data.empty()) ::explicit_bzero(data.data(), data.size());
  data.clear();
}

void SecureWipe(std::vector<uint8_t>& data) {
  if (!data.empty()) ::explicit_bzero(data.data(), data.size());
  data.clear();
}

void SecureWipe(void* data, size_t size) {
  if (data != nullptr && size != 0) ::explicit_bzero(data, size);
}

}  // namespace vx
