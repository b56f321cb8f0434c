// The FUSE file system's nodes and folders: INIT, look-ups, attributes,
// namespace changes, space figures and listings, and the handler table with
// the functions libfuse calls.
#include "mount/fuse_fs.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <functional>
#include <string_view>

#include "foundation/log.h"
#include "foundation/remote_path.h"
#include "mount/errno_map.h"

namespace tarn {
namespace {

constexpr double kMsPerSecond = 1000.0;
// Windows drives have no execute bit; every file may be run, as on vfat.
constexpr mode_t kFileMode = 0755;
constexpr mode_t kFolderMode = 0755;
constexpr mode_t kWriteBits = 0222;
constexpr blksize_t kStatBlockBytes = 512;
constexpr unsigned long kStatfsBlockBytes = 4096;
// The kernel counts time in nanoseconds; the drive keeps 100 ns units.
constexpr unsigned kTimeGranularityNs = 100;
// "." and ".." take the first two listing offsets.
constexpr off_t kDotEntries = 2;
// A path read before a rename took effect is followed to the node's new
// place this often; renames in a row beyond that are a user's race to lose.
constexpr int kMovedPathTries = 3;
// A plain listing names no node; programs skip entries whose number is 0.
constexpr ino_t kUnknownIno = 0xffffffff;

// The rest of the system splits paths on "\", so such a name would reach
// another file than the one asked for.
bool HasBackslash(const char* name) { return std::strchr(name, '\\') != nullptr; }

timespec ToTimespec(const Timestamp& t) {
  timespec ts{};
  ts.tv_sec = static_cast<time_t>(t.seconds);
  ts.tv_nsec = static_cast<long>(t.nanoseconds);
  return ts;
}

uint64_t Mix(uint64_t h, uint64_t v) { return h ^ (v + 0x9e3779b97f4a7c15ull + (h << 6) + (h >> 2)); }

// Listed names that are never shown: empty ones, and those with "\".
bool Hidden(const DirListing& listing, size_t i) {
  return listing.removed(i) || listing.name(i).empty() || HasBackslash(listing.nameText(i));
}

uint64_t ListingFingerprint(const DirListing& listing) {
  uint64_t h = 0;
  for (size_t i = 0; i < listing.size(); ++i) {
    if (Hidden(listing, i)) continue;
    h = Mix(Mix(h, std::hash<std::string_view>()(listing.name(i))), listing.isDir(i) ? 1 : 0) + 1;
  }
  return h | 1;
}

// Runs one handler; an exception (only ever an allocation failure) must
// not unwind into libfuse's C frames.
template <typename Fn>
void Guard(fuse_req_t req, Fn&& fn) {
  try {
    fn();
  } catch (const std::exception& e) {
    vx::log::write(vx::log::kError, "mount: request failed: %s", e.what());
    if (req != nullptr) fuse_reply_err(req, EIO);
  }
}

FuseFs& Fs(fuse_req_t req) { return *static_cast<FuseFs*>(fuse_req_userdata(req)); }

}  // namespace

uint64_t FuseFs::Fingerprint(OpenFile& file) {
  // A change within the second of the last keeps size and time: the
  // server's version text, and the copy the block cache took, tell it.
  const uint64_t record = file.cache ? file.cache->remoteRecord() : 0;
  std::lock_guard<std::mutex> lock(file.mu);
  // The low bit goes: what changes only in the last value mixed must not.
  uint64_t h = Mix(record, file.attr.size);
  h = Mix(Mix(h, static_cast<uint64_t>(file.attr.mtime.seconds)), file.attr.mtime.nanoseconds);
  return Mix(h, std::hash<std::string>()(file.attr.etag)) | 1;
}

FuseFs::FuseFs(std::shared_ptr<Volume> volume, FuseTuning tuning, std::shared_ptr<OpenFileShares> shares)
    : volume_(std::move(volume)),
      tuning_(tuning),
      entrySeconds_(volume_->config().cache.metaTtlMs / kMsPerSecond),
      attrSeconds_(volume_->config().cache.metaTtlMs / kMsPerSecond),
      negativeSeconds_(volume_->config().cache.negativeTtlMs / kMsPerSecond),
      readOnly_(volume_->config().compat.readOnly),
      shares_(std::move(shares)) {}

FuseFs::~FuseFs() { closeAll(); }

void FuseFs::init(fuse_conn_info* conn) {
  conn->max_write = tuning_.maxIoBytes;
  conn->max_read = tuning_.maxIoBytes;
  conn->max_readahead = tuning_.maxIoBytes;
  conn->max_background = tuning_.maxBackground;
  conn->congestion_threshold = tuning_.maxBackground * 3 / 4;
  conn->time_gran = kTimeGranularityNs;
  auto want = [conn](unsigned cap, bool on) {
    if (on && (conn->capable & cap) != 0)
      conn->want |= cap;
    else
      conn->want &= ~cap;
  };
  want(FUSE_CAP_ASYNC_READ, true);
  want(FUSE_CAP_ATOMIC_O_TRUNC, true);
  want(FUSE_CAP_PARALLEL_DIROPS, true);
  want(FUSE_CAP_AUTO_INVAL_DATA, true);
  // ls -l wants every entry's attributes; plus always beats one look-up each.
  want(FUSE_CAP_READDIRPLUS, true);
  want(FUSE_CAP_READDIRPLUS_AUTO, false);
  // The kernel's write-back cache would keep its own size and times of a
  // file in memory, hiding changes made on the server.
  want(FUSE_CAP_WRITEBACK_CACHE, false);
  // Splicing measured no gain: every reply is copied out of the block
  // cache anyway.
  want(FUSE_CAP_SPLICE_READ, false);
  want(FUSE_CAP_SPLICE_WRITE, false);
  want(FUSE_CAP_SPLICE_MOVE, false);
  // Locks stay in the kernel: the servers have none to share.
  want(FUSE_CAP_POSIX_LOCKS, false);
  want(FUSE_CAP_FLOCK_LOCKS, false);
}

void FuseFs::fillStat(fuse_req_t req, uint64_t ino, const RemoteAttr& attr, struct stat& st) const {
  std::memset(&st, 0, sizeof st);
  const bool isDir = attr.isDir();
  st.st_ino = ino;
  st.st_mode = isDir ? (S_IFDIR | kFolderMode) : (S_IFREG | kFileMode);
  if (readOnly_ || attr.readOnly) st.st_mode &= ~kWriteBits;
  // Folders say 1: find and fts then make no guesses from the link count.
  st.st_nlink = 1;
  // The drive belongs to whoever looks at it, as a Windows drive does; the
  // kernel checks no modes (no default_permissions).
  const fuse_ctx* ctx = req != nullptr ? fuse_req_ctx(req) : nullptr;
  st.st_uid = ctx != nullptr ? ctx->uid : ::getuid();
  st.st_gid = ctx != nullptr ? ctx->gid : ::getgid();
  st.st_size = isDir ? 0 : static_cast<off_t>(attr.size);
  st.st_blksize = static_cast<blksize_t>(volume_->config().cache.blockBytes);
  st.st_blocks = static_cast<blkcnt_t>((attr.size + kStatBlockBytes - 1) / kStatBlockBytes);
  st.st_mtim = ToTimespec(attr.mtime);
  st.st_ctim = ToTimespec(attr.ctime.isZero() ? attr.mtime : attr.ctime);
  st.st_atim = ToTimespec(attr.atime.isZero() ? attr.mtime : attr.atime);
}

void FuseFs::fillEntry(fuse_req_t req, uint64_t ino, const RemoteAttr& attr, fuse_entry_param& e) const {
  std::memset(&e, 0, sizeof e);
  e.ino = ino;
  e.generation = 0;  // node numbers are never reused
  e.attr_timeout = attrSeconds_;
  e.entry_timeout = entrySeconds_;
  fillStat(req, ino, attr, e.attr);
}

void FuseFs::replyEntry(fuse_req_t req, fuse_ino_t parent, const char* name, const RemoteAttr& attr) {
  const uint64_t ino = nodes_.lookup(parent, name);
  if (ino == 0) {
    fuse_reply_err(req, ENOENT);
    return;
  }
  fuse_entry_param e;
  fillEntry(req, ino, attr, e);
  if (readsLongerCopy(ino, attr)) e.attr_timeout = 0;
  if (fuse_reply_entry(req, &e) != 0) nodes_.forget(ino, 1);
}

int FuseFs::newChildPath(fuse_ino_t parent, const char* name, std::string& path) const {
  if (HasBackslash(name)) return EINVAL;
  return nodes_.childPath(parent, name, path) ? 0 : ENOENT;
}

Status FuseFs::atNodePath(fuse_ino_t ino, const char* name, std::string path,
                          const std::function<Status(const std::string&)>& call) {
  for (int tries = 1;; ++tries) {
    Status st = call(path);
    std::string now;
    const bool known = name != nullptr ? nodes_.childPath(ino, name, now) : nodes_.path(ino, now);
    if (st.code != Status::kNotFound || tries == kMovedPathTries || !known || now == path) return st;
    path = std::move(now);
  }
}

int FuseFs::madeChildPath(fuse_ino_t parent, const char* name, std::string& path) const {
  if (std::strlen(name) > volume_->caps()->maxNameBytes) return ENAMETOOLONG;
  return newChildPath(parent, name, path);
}

void FuseFs::lookup(fuse_req_t req, fuse_ino_t parent, const char* name) {
  std::string path;
  if (int err = newChildPath(parent, name, path); err != 0) {
    fuse_reply_err(req, err);
    return;
  }
  RemoteAttr attr;
  Status st = atNodePath(parent, name, path, [&](const std::string& at) { return volume_->getattr(at, attr); });
  if (st.code == Status::kNotFound) {
    // A negative entry: the kernel skips asking again for a while.
    fuse_entry_param e;
    std::memset(&e, 0, sizeof e);
    e.entry_timeout = negativeSeconds_;
    fuse_reply_entry(req, &e);
    return;
  }
  if (!st.ok()) {
    fuse_reply_err(req, StatusToErrno(st));
    return;
  }
  replyEntry(req, parent, name, attr);
}

void FuseFs::forget(fuse_ino_t ino, uint64_t count) { nodes_.forget(ino, count); }

void FuseFs::getattr(fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi) {
  RemoteAttr attr;
  std::string path;
  Status st;
  if (nodes_.path(ino, path)) {
    st = atNodePath(ino, nullptr, path, [&](const std::string& at) { return volume_->getattr(at, attr); });
    if (st.ok() && fi != nullptr && fi->fh != 0 && handleOf(fi).file) showHandlesCopy(*handleOf(fi).file, attr);
  } else if (fi != nullptr && fi->fh != 0 && handleOf(fi).file) {
    // A deleted file still open: what the handle knows.
    OpenFile& file = *handleOf(fi).file;
    std::lock_guard<std::mutex> lock(file.mu);
    attr = file.attr;
  } else {
    st = Status(Status::kNotFound, "");
  }
  if (!st.ok()) {
    fuse_reply_err(req, StatusToErrno(st));
    return;
  }
  struct stat out;
  fillStat(req, ino, attr, out);
  // Not kept while a handle reads a longer copy: its next read asks again.
  fuse_reply_attr(req, &out, fi == nullptr && readsLongerCopy(ino, attr) ? 0 : attrSeconds_);
}

void FuseFs::showHandlesCopy(OpenFile& file, RemoteAttr& attr) {
  if (file.isDir || attr.isDir() || !file.cache || file.cache->hasDirty() || file.cache->isDirty()) return;
  uint64_t taken = 0;
  const RemoteAttr held = file.cache->serverCopy(&taken);
  std::lock_guard<std::mutex> lock(file.mu);
  if (!file.copyBound) return;
  // Until the cache takes another copy, the handle reads the cache's (which
  // follows the drive's own uploads); after that, the one it began with.
  const RemoteAttr& read = taken == file.copyTaken ? held : file.copy;
  attr.size = read.size;
  attr.mtime = read.mtime;
}

bool FuseFs::readsLongerCopy(uint64_t ino, const RemoteAttr& attr) {
  if (attr.isDir()) return false;
  std::vector<std::shared_ptr<OpenFile>> files;
  {
    std::lock_guard<std::mutex> lock(handlesMu_);
    if (!fileNodes_.contains(ino)) return false;
    for (const auto& [raw, handle] : handles_)
      if (handle->node == ino && handle->file) files.push_back(handle->file);
  }
  for (const std::shared_ptr<OpenFile>& file : files) {
    RemoteAttr read = attr;
    showHandlesCopy(*file, read);
    if (read.size > attr.size) return true;
  }
  return false;
}

void FuseFs::setattr(fuse_req_t req, fuse_ino_t ino, const struct stat* attr, int toSet, fuse_file_info* fi) {
  std::string path;
  if (!nodes_.path(ino, path)) {
    fuse_reply_err(req, ENOENT);
    return;
  }
  if ((toSet & FUSE_SET_ATTR_SIZE) != 0) {
    std::shared_ptr<OpenFile> file = fi != nullptr && fi->fh != 0 ? handleOf(fi).file : nullptr;
    Status st;
    if (file) {
      st = volume_->setSize(file, static_cast<uint64_t>(attr->st_size));
    } else {
      // truncate(2) by name: a handle of our own for the change.
      st = atNodePath(ino, nullptr, path, [&](const std::string& at) { return volume_->open(at, file); });
      if (st.ok()) {
        st = volume_->setSize(file, static_cast<uint64_t>(attr->st_size));
        volume_->closeNow(file);
      }
    }
    if (!st.ok()) {
      fuse_reply_err(req, StatusToErrno(st));
      return;
    }
  }
  if ((toSet & (FUSE_SET_ATTR_MTIME | FUSE_SET_ATTR_MTIME_NOW)) != 0) {
    const Timestamp now = Timestamp::now();
    const Timestamp mtime = (toSet & FUSE_SET_ATTR_MTIME_NOW) != 0
                                ? now
                                : Timestamp::fromTimespec(attr->st_mtim.tv_sec, attr->st_mtim.tv_nsec);
    Timestamp atime = mtime;
    if ((toSet & FUSE_SET_ATTR_ATIME_NOW) != 0)
      atime = now;
    else if ((toSet & FUSE_SET_ATTR_ATIME) != 0)
      atime = Timestamp::fromTimespec(attr->st_atim.tv_sec, attr->st_atim.tv_nsec);
    Status st =
        atNodePath(ino, nullptr, path, [&](const std::string& at) { return volume_->setTimes(at, mtime, atime); });
    if (!st.ok()) {
      fuse_reply_err(req, StatusToErrno(st));
      return;
    }
  }
  if ((toSet & (FUSE_SET_ATTR_SIZE | FUSE_SET_ATTR_MTIME | FUSE_SET_ATTR_MTIME_NOW)) != 0) nodes_.noteChanged(ino);
  // Modes and owners are not the drive's to keep; they are accepted so
  // that cp -p and build tools go on.
  getattr(req, ino, fi);
}

void FuseFs::mknod(fuse_req_t req, fuse_ino_t parent, const char* name, mode_t mode) {
  if (!S_ISREG(mode)) {
    fuse_reply_err(req, EPERM);
    return;
  }
  std::string path;
  if (int err = madeChildPath(parent, name, path); err != 0) {
    fuse_reply_err(req, err);
    return;
  }
  std::shared_ptr<OpenFile> file;
  Status st = atNodePath(parent, name, path, [&](const std::string& at) { return volume_->create(at, false, file); });
  if (!st.ok()) {
    fuse_reply_err(req, StatusToErrno(st));
    return;
  }
  const RemoteAttr attr = file->attr;
  volume_->closeAsync(file);
  replyEntry(req, parent, name, attr);
}

void FuseFs::mkdir(fuse_req_t req, fuse_ino_t parent, const char* name) {
  std::string path;
  if (int err = madeChildPath(parent, name, path); err != 0) {
    fuse_reply_err(req, err);
    return;
  }
  std::shared_ptr<OpenFile> folder;
  Status st = atNodePath(parent, name, path, [&](const std::string& at) { return volume_->create(at, true, folder); });
  if (!st.ok()) {
    fuse_reply_err(req, StatusToErrno(st));
    return;
  }
  replyEntry(req, parent, name, folder->attr);
}

int FuseFs::checkEmptyFolder(const std::string& path) {
  std::shared_ptr<const DirListing> listing;
  Status st = volume_->readdir(path, listing);
  if (!st.ok()) return StatusToErrno(st);
  return listing->count() == 0 ? 0 : ENOTEMPTY;
}

void FuseFs::unlink(fuse_req_t req, fuse_ino_t parent, const char* name, bool isDir) {
  std::string path;
  if (int err = newChildPath(parent, name, path); err != 0) {
    fuse_reply_err(req, err);
    return;
  }
  int refused = 0;  // by the folder's own check
  Status st = atNodePath(parent, name, path, [&](const std::string& at) {
    if (isDir) {
      refused = checkEmptyFolder(at);
      if (refused == ENOENT) return Status(Status::kNotFound, at);
      if (refused != 0) return Status();
    }
    return volume_->unlink(at, isDir);
  });
  if (refused != 0) {
    fuse_reply_err(req, refused);
    return;
  }
  if (st.ok()) nodes_.remove(parent, name);
  fuse_reply_err(req, StatusToErrno(st));
}

void FuseFs::rename(fuse_req_t req, fuse_ino_t parent, const char* name, fuse_ino_t newParent,
                    const char* newName, unsigned int flags) {
  if ((flags & RENAME_EXCHANGE) != 0 || (flags & ~(RENAME_EXCHANGE | RENAME_NOREPLACE)) != 0) {
    fuse_reply_err(req, EINVAL);
    return;
  }
  std::string from;
  std::string to;
  int err = newChildPath(parent, name, from);
  if (err == 0) err = madeChildPath(newParent, newName, to);
  if (err != 0) {
    fuse_reply_err(req, err);
    return;
  }
  for (int tries = 1;; ++tries) {
    err = renameAt(parent, name, newParent, newName, flags, from, to);
    std::string nowFrom, nowTo;
    // Paths read before a rename of a folder above took effect: again at
    // the nodes' new places.
    if (err != ENOENT || tries == kMovedPathTries || !nodes_.childPath(parent, name, nowFrom) ||
        !nodes_.childPath(newParent, newName, nowTo) || (nowFrom == from && nowTo == to)) {
      fuse_reply_err(req, err);
      return;
    }
    from = std::move(nowFrom);
    to = std::move(nowTo);
  }
}

int FuseFs::renameAt(fuse_ino_t parent, const char* name, fuse_ino_t newParent, const char* newName,
                     unsigned int flags, const std::string& from, const std::string& to) {
  RemoteAttr source;
  RemoteAttr target;
  Status st = volume_->getattr(from, source);
  if (st.ok() && source.isDir() && volume_->getattr(to, target).ok()) {
    // A folder replaces only an empty one; a WebDAV move would drop a full one.
    if (!target.isDir()) return ENOTDIR;
    if (int err = checkEmptyFolder(to); err != 0) return err;
  }
  // The node moves before the work waiting for the rename goes on, so that
  // no path built from it afterwards names the old place.
  if (st.ok())
    st = volume_->rename(from, to, (flags & RENAME_NOREPLACE) == 0,
                         [&] { nodes_.rename(parent, name, newParent, newName); });
  return StatusToErrno(st);
}

void FuseFs::statfs(fuse_req_t req) {
  FsStats stats;
  volume_->statfs(stats);
  if (!stats.known) stats.total = stats.free = stats.available = kUnknownSpaceBytes;
  struct statvfs out;
  std::memset(&out, 0, sizeof out);
  out.f_bsize = kStatfsBlockBytes;
  out.f_frsize = kStatfsBlockBytes;
  out.f_blocks = stats.total / kStatfsBlockBytes;
  out.f_bfree = stats.free / kStatfsBlockBytes;
  out.f_bavail = stats.available / kStatfsBlockBytes;
  out.f_namemax = volume_->caps()->maxNameBytes;
  fuse_reply_statfs(req, &out);
}

void FuseFs::opendir(fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi) {
  std::string path;
  if (!nodes_.path(ino, path)) {
    fuse_reply_err(req, ENOENT);
    return;
  }
  auto handle = std::make_unique<Handle>();
  handle->node = ino;
  handle->listedAt = nodes_.changeCount();
  Status st =
      atNodePath(ino, nullptr, path, [&](const std::string& at) { return volume_->readdir(at, handle->listing); });
  if (!st.ok()) {
    fuse_reply_err(req, StatusToErrno(st));
    return;
  }
  // The kernel keeps the listing while it is the one it was given before.
  fi->cache_readdir = 1;
  fi->keep_cache = nodes_.sameVersion(ino, ListingFingerprint(*handle->listing)) ? 1 : 0;
  fi->fh = reinterpret_cast<uint64_t>(addHandle(std::move(handle)));
  if (fuse_reply_open(req, fi) != 0) dropHandle(&handleOf(fi));
}

void FuseFs::readdir(fuse_req_t req, fuse_ino_t ino, size_t size, off_t offset, fuse_file_info* fi, bool plus) {
  Handle& handle = handleOf(fi);
  std::vector<char> buf(size);
  size_t used = 0;
  // Look-ups counted for this reply, undone when it cannot be sent.
  std::vector<uint64_t> counted;
  const DirListing& listing = *handle.listing;
  // Offsets are places in the listing, hidden names included, so that they
  // stay the same for the handle's whole life.
  const off_t total = kDotEntries + static_cast<off_t>(listing.size());
  for (off_t at = offset < 0 ? 0 : offset; at < total; ++at) {
    const char* name;
    RemoteAttr attr;
    uint64_t child = 0;
    if (at < kDotEntries) {
      name = at == 0 ? "." : "..";
      attr.type = RemoteAttr::kDirectory;
    } else {
      const size_t i = static_cast<size_t>(at - kDotEntries);
      if (Hidden(listing, i)) continue;
      name = listing.nameText(i);
      attr = listing.attr(i);
    }
    size_t need;
    char* dst = buf.data() + used;
    const size_t room = size - used;
    if (plus) {
      fuse_entry_param e;
      // The kernel links no node for "." and ".."; only real names count.
      uint64_t changedAt = 0;
      if (at >= kDotEntries) child = nodes_.lookup(ino, name, &changedAt);
      if (at >= kDotEntries && child == 0) break;
      fillEntry(req, child, attr, e);
      if (at < kDotEntries) e.attr.st_ino = at == 0 ? ino : FUSE_ROOT_ID;
      if (child != 0 && readsLongerCopy(child, attr)) e.attr_timeout = 0;
      if (changedAt > handle.listedAt) {
        // The kernel has the file's size and times from a write, cut or
        // close after the listing was read: an entry without a node leaves
        // them, where the listing's would take the file back to what it was.
        nodes_.forget(child, 1);
        child = 0;
        e.ino = 0;
      }
      need = fuse_add_direntry_plus(req, dst, room, name, &e, at + 1);
    } else {
      struct stat st;
      std::memset(&st, 0, sizeof st);
      st.st_ino = at == 0 ? ino : at == 1 ? FUSE_ROOT_ID : kUnknownIno;
      st.st_mode = attr.isDir() ? S_IFDIR : S_IFREG;
      need = fuse_add_direntry(req, dst, room, name, &st, at + 1);
    }
    if (need > room) {
      if (child != 0) nodes_.forget(child, 1);
      break;
    }
    if (child != 0) counted.push_back(child);
    used += need;
  }
  if (fuse_reply_buf(req, buf.data(), used) != 0)
    for (uint64_t child : counted) nodes_.forget(child, 1);
}

void FuseFs::releasedir(fuse_req_t req, fuse_file_info* fi) {
  dropHandle(&handleOf(fi));
  fuse_reply_err(req, 0);
}

FuseFs::Handle* FuseFs::addHandle(std::unique_ptr<Handle> handle) {
  Handle* raw = handle.get();
  std::lock_guard<std::mutex> lock(handlesMu_);
  if (raw->file) ++fileNodes_[raw->node];
  handles_.emplace(raw, std::move(handle));
  return raw;
}

void FuseFs::dropHandle(Handle* handle) {
  std::unique_ptr<Handle> gone;
  {
    std::lock_guard<std::mutex> lock(handlesMu_);
    auto it = handles_.find(handle);
    if (it == handles_.end()) return;
    gone = std::move(it->second);
    handles_.erase(it);
    if (auto node = fileNodes_.find(gone->node); gone->file && node != fileNodes_.end() && --node->second == 0)
      fileNodes_.erase(node);
  }
  if (gone->file) volume_->closeAsync(gone->file);
}

size_t FuseFs::openHandles() {
  std::lock_guard<std::mutex> lock(handlesMu_);
  return handles_.size();
}

void FuseFs::flushOpen() {
  std::vector<std::shared_ptr<OpenFile>> files;
  {
    std::lock_guard<std::mutex> lock(handlesMu_);
    for (auto& [raw, handle] : handles_)
      if (handle->file) files.push_back(handle->file);
  }
  for (const std::shared_ptr<OpenFile>& file : files) volume_->closeNow(file);
}

void FuseFs::closeAll() {
  std::unordered_map<Handle*, std::unique_ptr<Handle>> all;
  {
    std::lock_guard<std::mutex> lock(handlesMu_);
    all.swap(handles_);
  }
  for (auto& [raw, handle] : all)
    if (handle->file) volume_->closeNow(handle->file);
}

// ---- the handler table -----------------------------------------------------

const fuse_lowlevel_ops& FuseFs::Operations() {
  static const fuse_lowlevel_ops ops = [] {
    fuse_lowlevel_ops o;
    std::memset(&o, 0, sizeof o);
    o.init = [](void* userdata, fuse_conn_info* conn) {
      Guard(nullptr, [&] { static_cast<FuseFs*>(userdata)->init(conn); });
    };
    o.lookup = [](fuse_req_t req, fuse_ino_t parent, const char* name) {
      Guard(req, [&] { Fs(req).lookup(req, parent, name); });
    };
    o.forget = [](fuse_req_t req, fuse_ino_t ino, uint64_t count) {
      Fs(req).forget(ino, count);
      fuse_reply_none(req);
    };
    o.forget_multi = [](fuse_req_t req, size_t count, fuse_forget_data* forgets) {
      for (size_t i = 0; i < count; ++i) Fs(req).forget(forgets[i].ino, forgets[i].nlookup);
      fuse_reply_none(req);
    };
    o.getattr = [](fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi) {
      Guard(req, [&] { Fs(req).getattr(req, ino, fi); });
    };
    o.setattr = [](fuse_req_t req, fuse_ino_t ino, struct stat* attr, int toSet, fuse_file_info* fi) {
      Guard(req, [&] { Fs(req).setattr(req, ino, attr, toSet, fi); });
    };
    o.mknod = [](fuse_req_t req, fuse_ino_t parent, const char* name, mode_t mode, dev_t) {
      Guard(req, [&] { Fs(req).mknod(req, parent, name, mode); });
    };
    o.mkdir = [](fuse_req_t req, fuse_ino_t parent, const char* name, mode_t) {
      Guard(req, [&] { Fs(req).mkdir(req, parent, name); });
    };
    o.unlink = [](fuse_req_t req, fuse_ino_t parent, const char* name) {
      Guard(req, [&] { Fs(req).unlink(req, parent, name, false); });
    };
    o.rmdir = [](fuse_req_t req, fuse_ino_t parent, const char* name) {
      Guard(req, [&] { Fs(req).unlink(req, parent, name, true); });
    };
    o.rename = [](fuse_req_t req, fuse_ino_t parent, const char* name, fuse_ino_t newParent, const char* newName,
                  unsigned int flags) {
      Guard(req, [&] { Fs(req).rename(req, parent, name, newParent, newName, flags); });
    };
    // Neither links nor symbolic links exist on a Windows-style drive.
    o.link = [](fuse_req_t req, fuse_ino_t, fuse_ino_t, const char*) { fuse_reply_err(req, EPERM); };
    o.symlink = [](fuse_req_t req, const char*, fuse_ino_t, const char*) { fuse_reply_err(req, EPERM); };
    o.statfs = [](fuse_req_t req, fuse_ino_t) { Guard(req, [&] { Fs(req).statfs(req); }); };
    o.opendir = [](fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi) {
      Guard(req, [&] { Fs(req).opendir(req, ino, fi); });
    };
    o.readdir = [](fuse_req_t req, fuse_ino_t ino, size_t size, off_t off, fuse_file_info* fi) {
      Guard(req, [&] { Fs(req).readdir(req, ino, size, off, fi, false); });
    };
    o.readdirplus = [](fuse_req_t req, fuse_ino_t ino, size_t size, off_t off, fuse_file_info* fi) {
      Guard(req, [&] { Fs(req).readdir(req, ino, size, off, fi, true); });
    };
    o.releasedir = [](fuse_req_t req, fuse_ino_t, fuse_file_info* fi) {
      Guard(req, [&] { Fs(req).releasedir(req, fi); });
    };
    o.fsyncdir = [](fuse_req_t req, fuse_ino_t, int, fuse_file_info*) { fuse_reply_err(req, 0); };
    o.open = [](fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi) {
      Guard(req, [&] { Fs(req).open(req, ino, fi); });
    };
    o.create = [](fuse_req_t req, fuse_ino_t parent, const char* name, mode_t, fuse_file_info* fi) {
      Guard(req, [&] { Fs(req).create(req, parent, name, fi); });
    };
    o.read = [](fuse_req_t req, fuse_ino_t, size_t size, off_t off, fuse_file_info* fi) {
      Guard(req, [&] { Fs(req).read(req, size, off, fi); });
    };
    o.write = [](fuse_req_t req, fuse_ino_t, const char* buf, size_t size, off_t off, fuse_file_info* fi) {
      Guard(req, [&] { Fs(req).write(req, buf, size, off, fi); });
    };
    o.flush = [](fuse_req_t req, fuse_ino_t, fuse_file_info* fi) { Guard(req, [&] { Fs(req).flush(req, fi); }); };
    o.release = [](fuse_req_t req, fuse_ino_t, fuse_file_info* fi) {
      Guard(req, [&] { Fs(req).release(req, fi); });
    };
    o.fsync = [](fuse_req_t req, fuse_ino_t, int, fuse_file_info* fi) {
      Guard(req, [&] { Fs(req).fsync(req, fi); });
    };
    return o;
  }();
  return ops;
}

}  // namespace tarn
