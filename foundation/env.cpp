#include "foundation/env.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "foundation/file_util.h"

namespace tarn {
namespace {

// One pread or pwrite moves at most this much; larger calls are split.
constexpr size_t kMaxIoPiece = size_t{1} << 30;

int32_t CodeOf(int err) {
  switch (err) {
    case ENOENT: return Status::kNotFound;
    case EEXIST: return Status::kExists;
    case EACCES:
    case EPERM:
    case EROFS: return Status::kAccessDenied;
    case ENOTEMPTY: return Status::kNotEmpty;
    case EISDIR: return Status::kIsDirectory;
    case ENOTDIR: return Status::kNotDirectory;
    case ENOSPC:
    case EDQUOT: return Status::kNoSpace;
    case EFBIG: return Status::kTooLarge;
    default: return Status::kIo;
  }
}

Status Failure(const char* step, const std::string& path, int err) {
  return Status(CodeOf(err), std::string("cannot ") + step + " " + path, err);
}

class PosixFile : public EnvFile {
 public:
  PosixFile(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}

  Status read(uint64_t offset, void* buffer, size_t length, size_t* got) override {
    auto* out = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    while (done < length) {
      const size_t want = std::min(length - done, kMaxIoPiece);
      const ssize_t n = ::pread(fd_.get(), out + done, want, static_cast<off_t>(offset + done));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        *got = done;
        return Failure("read", path_, errno);
      }
      if (n == 0) break;
      done += static_cast<size_t>(n);
    }
    *got = done;
    return Status();
  }

  Status write(uint64_t offset, const void* data, size_t length) override {
    const auto* in = static_cast<const uint8_t*>(data);
    size_t done = 0;
    while (done < length) {
      const size_t want = std::min(length - done, kMaxIoPiece);
      const ssize_t n = ::pwrite(fd_.get(), in + done, want, static_cast<off_t>(offset + done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return Failure("write", path_, n == 0 ? EIO : errno);
      done += static_cast<size_t>(n);
    }
    return Status();
  }

  Status truncate(uint64_t size) override {
    if (size > static_cast<uint64_t>(INT64_MAX)) return Failure("truncate", path_, EFBIG);
    if (::ftruncate(fd_.get(), static_cast<off_t>(size)) != 0) return Failure("truncate", path_, errno);
    return Status();
  }

  Status sync() override {
    if (::fsync(fd_.get()) != 0) return Failure("sync", path_, errno);
    return Status();
  }

  Status syncData() override {
    if (::fdatasync(fd_.get()) != 0) return Failure("sync", path_, errno);
    return Status();
  }

  Status startSync() override {
    if (::sync_file_range(fd_.get(), 0, 0, SYNC_FILE_RANGE_WRITE) != 0) return Failure("sync", path_, errno);
    return Status();
  }

  Status size(uint64_t* out) override {
    struct stat st {};
    if (::fstat(fd_.get(), &st) != 0) return Failure("stat", path_, errno);
    *out = static_cast<uint64_t>(st.st_size);
    return Status();
  }

  Status close() override {
    if (!fd_.close()) return Failure("close", path_, errno);
    return Status();
  }

 private:
  const std::string path_;
  vx::UniqueFd fd_;
};

class PosixEnv : public Env {
 public:
  Status open(const std::string& path, OpenMode mode, std::unique_ptr<EnvFile>* file) override {
    int flags = O_CLOEXEC;
    switch (mode) {
      case OpenMode::kRead: flags |= O_RDONLY; break;
      case OpenMode::kReadWrite: flags |= O_RDWR | O_CREAT; break;
      case OpenMode::kCreateNew: flags |= O_WRONLY | O_CREAT | O_EXCL; break;
      case OpenMode::kReplace: flags |= O_WRONLY | O_CREAT | O_TRUNC; break;
    }
    int fd;
    do {
      fd = ::open(path.c_str(), flags, kEnvFileMode);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return Failure("open", path, errno);
    *file = std::make_unique<PosixFile>(path, fd);
    return Status();
  }

  Status rename(const std::string& from, const std::string& to) override {
    if (::rename(from.c_str(), to.c_str()) != 0) return Failure("rename", from, errno);
    return Status();
  }

  Status unlink(const std::string& path) override {
    if (::unlink(path.c_str()) != 0) return Failure("delete", path, errno);
    return Status();
  }

  Status syncDir(const std::string& path) override {
    vx::UniqueFd dir(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir.valid()) return Failure("open", path, errno);
    if (::fsync(dir.get()) != 0) return Failure("sync", path, errno);
    return Status();
  }

  Status makeDir(const std::string& path) override {
    if (::mkdir(path.c_str(), kEnvFolderMode) != 0) return Failure("create", path, errno);
    return Status();
  }

  Status list(const std::string& path, std::vector<std::string>* names) override {
    names->clear();
    DIR* d = ::opendir(path.c_str());
    if (d == nullptr) return Failure("list", path, errno);
    while (const dirent* e = ::readdir(d)) {
      const std::string_view n(e->d_name);
      if (n != "." && n != "..") names->emplace_back(n);
    }
    ::closedir(d);
    return Status();
  }

  Status stat(const std::string& path, EnvFileInfo* info) override {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return Failure("stat", path, errno);
    info->isDir = S_ISDIR(st.st_mode);
    info->size = static_cast<uint64_t>(st.st_size);
    info->mtime = Timestamp::fromTimespec(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    return Status();
  }

  Status space(const std::string& path, EnvSpace* out) override {
    struct statvfs fs {};
    if (::statvfs(path.c_str(), &fs) != 0) return Failure("measure the disk of", path, errno);
    out->totalBytes = static_cast<uint64_t>(fs.f_blocks) * fs.f_frsize;
    out->freeBytes = static_cast<uint64_t>(fs.f_bavail) * fs.f_frsize;
    out->totalInodes = static_cast<uint64_t>(fs.f_files);
    out->freeInodes = static_cast<uint64_t>(fs.f_favail);
    return Status();
  }

  std::string bootId() const override {
    static const std::string id = ReadBootId();
    return id;
  }

 private:
  static std::string ReadBootId() {
    char buf[64] = {};
    vx::UniqueFd fd(::open("/proc/sys/kernel/random/boot_id", O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) return std::string();
    const ssize_t n = ::read(fd.get(), buf, sizeof(buf) - 1);
    if (n <= 0) return std::string();
    std::string id(buf, static_cast<size_t>(n));
    while (!id.empty() && (id.back() == '\n' || id.back() == ' ')) id.pop_back();
    return id;
  }
};

}  // namespace

Status Env::space(const std::string& path, EnvSpace*) {
  return Status(Status::kUnsupported, "no space figures for " + path);
}

Env* Env::Default() {
  static PosixEnv env;  // holds no state, so its destruction at exit is harmless
  return &env;
}

std::string EnvParentDir(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

Status Env::makeDirs(const std::string& path) {
  if (path.empty()) return Status(Status::kInvalid, "cannot create an empty path");
  EnvFileInfo info;
  Status st = stat(path, &info);
  if (st.ok()) return info.isDir ? Status() : Status(Status::kNotDirectory, "cannot create " + path, ENOTDIR);
  const std::string parent = EnvParentDir(path);
  if (parent != path && parent != "/" && parent != ".") {
    st = makeDirs(parent);
    if (!st.ok()) return st;
  }
  st = makeDir(path);
  // Someone else may have made it meanwhile; a file of that name is no folder.
  if (st.code == Status::kExists) {
    if (stat(path, &info).ok() && info.isDir) return Status();
    return st;
  }
  if (!st.ok()) return st;
  return syncDir(parent);
}

Status Env::readFile(const std::string& path, uint64_t maxBytes, std::string* out) {
  out->clear();
  std::unique_ptr<EnvFile> file;
  Status st = open(path, OpenMode::kRead, &file);
  if (!st.ok()) return st;
  uint64_t size = 0;
  st = file->size(&size);
  if (!st.ok()) return st;
  if (size > maxBytes) return Status(Status::kTooLarge, "file too large: " + path);
  std::string buf(static_cast<size_t>(size), '\0');
  size_t got = 0;
  st = file->read(0, buf.data(), buf.size(), &got);
  if (!st.ok()) return st;
  // A file that shrank while it was read is not the file that was measured.
  if (got != buf.size()) return Status(Status::kIo, "cannot read " + path + ": it changed while read");
  *out = std::move(buf);
  return Status();
}

Status Env::writeFile(const std::string& path, std::string_view data, bool createNew, bool durable) {
  std::unique_ptr<EnvFile> file;
  Status st = open(path, createNew ? OpenMode::kCreateNew : OpenMode::kReplace, &file);
  if (!st.ok()) return st;
  st = file->write(0, data.data(), data.size());
  if (st.ok() && durable) st = file->sync();
  Status closed = file->close();
  if (st.ok()) st = std::move(closed);
  if (st.ok() && durable) st = syncDir(EnvParentDir(path));
  return st;
}

Status Env::writeFileAtomic(const std::string& path, std::string_view data, bool durable) {
  const std::string tmp = path + std::string(kEnvTempSuffix);
  std::unique_ptr<EnvFile> file;
  Status st = open(tmp, OpenMode::kReplace, &file);
  if (!st.ok()) return st;
  st = file->write(0, data.data(), data.size());
  // Without the sync a power loss could keep the rename but not the bytes.
  if (st.ok() && durable) st = file->sync();
  Status closed = file->close();
  if (st.ok()) st = std::move(closed);
  if (st.ok()) st = rename(tmp, path);
  if (!st.ok()) {
    (void)unlink(tmp);
    return st;
  }
  return durable ? syncDir(EnvParentDir(path)) : Status();
}

}  // namespace tarn
