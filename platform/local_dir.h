// Local folders and files as the backup walk reads them. A folder is opened
// once by descriptor and listed with readdir and fstatat without following
// links; its sub-folders and files are opened relative to that descriptor, so
// a folder renamed or replaced by a link during the walk cannot redirect it.
// Files are opened for one sequential read without touching their access
// time where the kernel allows it, and never block: a FIFO, socket or device
// is refused after a non-blocking open instead of hanging the walk.
//
// Each object owns one descriptor and is used by one thread at a time.
// Failures come back as tarn::Status with the errno value in `native`, so
// that callers can name the system's reason.
#pragma once

#include <dirent.h>
#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/status.h"

namespace tarn::localfs {

// Largest single read a file hands out: larger buffers are filled in steps.
constexpr size_t kMaxReadCall = 4u * 1024 * 1024;

// What a backup job leaves out unless it is given its own list: caches, the
// trash of the desktop (a user's, and a removable disk's) and what a check
// of the file system left behind. Every place that gives a job its
// defaults (the service, the desktop's job editor) takes these.
inline constexpr const char* kDefaultExcludes[] = {".cache", "*/.local/share/Trash", ".Trash-*", "lost+found"};

enum class Kind : uint8_t { kFile, kFolder, kLink, kOther };

struct Entry {
  std::string name;  // bytes as the file system holds them, possibly not UTF-8
  Kind kind = Kind::kOther;
  uint64_t size = 0;
  uint64_t mtime = 0;  // FILETIME units (100 ns since 1601), from st_mtim
  uint64_t ctime = 0;  // the same, from st_ctim
  uint32_t mode = 0;   // st_mode
  uint32_t uid = 0;
  uint32_t gid = 0;
  uint64_t device = 0;
  uint64_t inode = 0;
  // errno of the attribute read when it failed; kind and the rest are then
  // unknown.
  int error = 0;
};

// The status of a failed system call: not-found, access-denied and
// not-directory (ENOTDIR, ELOOP) by name, io for the rest; errno in native.
Status StatusFromErrno(int error);
// The entry's kind, size (files only), modification time and mode.
void FillFromStat(const struct stat& st, Entry& out);

class LocalFile;

// The attributes of what a path names, following links (the user named it).
Status StatPath(const std::string& path, Entry& out);

class LocalDir {
 public:
  LocalDir() = default;
  ~LocalDir();
  LocalDir(const LocalDir&) = delete;
  LocalDir& operator=(const LocalDir&) = delete;
  LocalDir(LocalDir&& other) noexcept;
  LocalDir& operator=(LocalDir&& other) noexcept;

  // Opens a folder by path; a link in the last component is followed, since
  // the user named it.
  static Status open(const std::string& path, LocalDir& out);
  // Opens the sub-folder `name`; a link in its place is refused (ELOOP or
  // ENOTDIR).
  Status openFolder(const std::string& name, LocalDir& out) const;
  // Opens the file `name` for reading, following a link to its target.
  Status openFile(const std::string& name, LocalFile& out) const;
  // Opens the folder that holds this one now (its "..", which is never a
  // link): where a folder closed meanwhile is found again without a path.
  Status openParent(LocalDir& out) const;

  // Every entry except "." and ".." in directory order, each with the
  // attributes of the entry itself; entries that vanish before their
  // attributes are read are left out. A failed readdir gives its errno and
  // the entries read so far. Call once per open folder.
  Status list(std::vector<Entry>& out) const;
  // The attributes of what the link `name` points to; the name is kept.
  Status statTarget(const std::string& name, Entry& out) const;
  // The type of the file system mounted at the entry `name` ("tmpfs",
  // "proc", "nfs4", "fuse.sshfs"...), as the kernel's mount table names it,
  // without triggering an automount there; fileSystem gives the folder's
  // own. Code kNotFound when the table does not hold the mount.
  Status fileSystemOf(const std::string& name, std::string& type) const;
  Status fileSystem(std::string& type) const;

  bool valid() const { return dir_ != nullptr; }
  // The file system the folder lies on, and the folder in it.
  uint64_t device() const { return device_; }
  uint64_t inode() const { return inode_; }

 private:
  static Status Adopt(int fd, LocalDir& out);

  DIR* dir_ = nullptr;
  uint64_t device_ = 0;
  uint64_t inode_ = 0;
};

class LocalFile {
 public:
  // What tells one state of a file's content from another without reading
  // it: a writer changes the size or the change time (and mostly the
  // modification time).
  struct Stamp {
    uint64_t size = 0;
    int64_t mtimeSec = 0;
    int64_t mtimeNsec = 0;
    int64_t ctimeSec = 0;
    int64_t ctimeNsec = 0;
    friend bool operator==(const Stamp&, const Stamp&) = default;
  };

  LocalFile() = default;
  ~LocalFile();
  LocalFile(const LocalFile&) = delete;
  LocalFile& operator=(const LocalFile&) = delete;
  LocalFile(LocalFile&& other) noexcept;
  LocalFile& operator=(LocalFile&& other) noexcept;

  // Opens a file by path, following links.
  static Status open(const std::string& path, LocalFile& out);

  // Reads at the current position; got = 0 at the end.
  Status read(uint8_t* buffer, size_t size, size_t& got);
  // Back to the first byte, for reading the file again.
  Status rewind();
  // The file's stamp now.
  Status stamp(Stamp& out) const;
  bool valid() const { return fd_ >= 0; }
  // The size when the file was opened.
  uint64_t size() const { return size_; }
  // The file system and the file in it, which no writer changes.
  uint64_t device() const { return device_; }
  uint64_t inode() const { return inode_; }
  // The stamp when the file was opened.
  const Stamp& openedStamp() const { return opened_; }

 private:
  friend class LocalDir;
  // Opens relative to `dirFd` (AT_FDCWD for a path). Anything but a regular
  // file gives code kUnsupported and no errno.
  static Status OpenAt(int dirFd, const std::string& name, LocalFile& out);

  int fd_ = -1;
  uint64_t size_ = 0;
  uint64_t device_ = 0;
  uint64_t inode_ = 0;
  Stamp opened_;
};

}  // namespace tarn::localfs
