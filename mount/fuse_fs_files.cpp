// The FUSE file system's open files: open and create, reads, writes, and
// the close steps. A close makes the file's state durable in the block
// cache before the application's close returns (flush), so a file closed
// before the process dies is uploaded by the next start; the upload itself
// waits for the drive's write-back delay.
#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "mount/errno_map.h"
#include "mount/fuse_fs.h"

namespace tarn {
namespace {

bool Writable(const fuse_file_info* fi) { return (fi->flags & O_ACCMODE) != O_RDONLY; }

}  // namespace

int FuseFs::takeShare(fuse_req_t req, OpenFileShares::Ticket& ticket) {
  if (!shares_) return 0;
  return shares_->take(fuse_req_ctx(req)->uid, ticket);
}

int FuseFs::openFile(fuse_ino_t ino, const std::string& path, fuse_file_info* fi, OpenFileShares::Ticket& ticket) {
  auto handle = std::make_unique<Handle>();
  handle->node = ino;
  Status st = volume_->open(path, handle->file);
  if (!st.ok()) return StatusToErrno(st);
  if (handle->file->isDir) {
    volume_->closeAsync(handle->file);
    return EISDIR;
  }
  if ((fi->flags & O_TRUNC) != 0 && Writable(fi)) {
    st = volume_->setSize(handle->file, 0);
    if (!st.ok()) {
      volume_->closeAsync(handle->file);
      return StatusToErrno(st);
    }
    nodes_.noteChanged(ino);
  }
  // The kernel's pages stay while the volume shows the version they came
  // from; anything else (a change on the server, a truncation) drops them.
  const bool same = nodes_.sameVersion(ino, Fingerprint(*handle->file));
  fi->keep_cache = same ? 1 : 0;
  // So does the size the kernel holds, which may be of another copy than
  // the one this handle reads (the drive learned of a new one since the
  // kernel asked): the kernel asks again before it reads, and reads the
  // copy whole rather than cut at the other's size.
  if (!same && session_ != nullptr) (void)fuse_lowlevel_notify_inval_inode(session_, ino, -1, 0);
  // A read-only handle has nothing to save at close.
  fi->noflush = Writable(fi) ? 0 : 1;
  handle->share = std::move(ticket);
  fi->fh = reinterpret_cast<uint64_t>(addHandle(std::move(handle)));
  return 0;
}

void FuseFs::open(fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi) {
  std::string path;
  if (!nodes_.path(ino, path)) {
    fuse_reply_err(req, ENOENT);
    return;
  }
  // Counted before the volume opens anything: a user past their share
  // costs the process no descriptor.
  OpenFileShares::Ticket ticket;
  int err = takeShare(req, ticket);
  if (err != 0) {
    fuse_reply_err(req, err);
    return;
  }
  (void)atNodePath(ino, nullptr, path, [&](const std::string& at) {
    err = openFile(ino, at, fi, ticket);
    return err == ENOENT ? Status(Status::kNotFound, at) : Status();
  });
  if (err != 0) {
    fuse_reply_err(req, err);
    return;
  }
  if (fuse_reply_open(req, fi) != 0) dropHandle(&handleOf(fi));
}

void FuseFs::create(fuse_req_t req, fuse_ino_t parent, const char* name, fuse_file_info* fi) {
  std::string path;
  if (int err = madeChildPath(parent, name, path); err != 0) {
    fuse_reply_err(req, err);
    return;
  }
  auto handle = std::make_unique<Handle>();
  if (int err = takeShare(req, handle->share); err != 0) {
    fuse_reply_err(req, err);
    return;
  }
  Status st = atNodePath(parent, name, path,
                         [&](const std::string& at) { return volume_->create(at, false, handle->file); });
  if (st.code == Status::kExists && (fi->flags & O_EXCL) == 0) {
    // The kernel's negative entry was older than the file: open it instead,
    // where the node is now.
    const uint64_t ino = nodes_.lookup(parent, name);
    if (ino == 0 || !nodes_.path(ino, path)) {
      if (ino != 0) nodes_.forget(ino, 1);
      fuse_reply_err(req, ENOENT);
      return;
    }
    if (int err = openFile(ino, path, fi, handle->share); err != 0) {
      nodes_.forget(ino, 1);
      fuse_reply_err(req, err);
      return;
    }
    fuse_entry_param e;
    fillEntry(req, ino, handleOf(fi).file->attr, e);
    if (fuse_reply_create(req, &e, fi) != 0) {
      dropHandle(&handleOf(fi));
      nodes_.forget(ino, 1);
    }
    return;
  }
  if (!st.ok()) {
    fuse_reply_err(req, StatusToErrno(st));
    return;
  }
  const uint64_t ino = nodes_.lookup(parent, name);
  if (ino == 0) {
    volume_->closeAsync(handle->file);
    fuse_reply_err(req, ENOENT);
    return;
  }
  handle->node = ino;
  nodes_.setVersion(ino, Fingerprint(*handle->file));
  fuse_entry_param e;
  fillEntry(req, ino, handle->file->attr, e);
  fi->fh = reinterpret_cast<uint64_t>(addHandle(std::move(handle)));
  if (fuse_reply_create(req, &e, fi) != 0) {
    dropHandle(&handleOf(fi));
    nodes_.forget(ino, 1);
  }
}

void FuseFs::read(fuse_req_t req, size_t size, off_t offset, fuse_file_info* fi) {
  // One buffer per libfuse thread, grown to the largest request once.
  thread_local std::vector<char> buffer;
  if (buffer.size() < size) buffer.resize(size);
  uint64_t got = 0;
  Status st = volume_->read(handleOf(fi).file, static_cast<uint64_t>(offset), buffer.data(), size, got);
  if (!st.ok()) {
    fuse_reply_err(req, StatusToErrno(st));
    return;
  }
  fuse_reply_buf(req, buffer.data(), got);
}

void FuseFs::write(fuse_req_t req, const char* data, size_t size, off_t offset, fuse_file_info* fi) {
  Handle& handle = handleOf(fi);
  Status st = volume_->write(handle.file, static_cast<uint64_t>(offset), data, size);
  if (!st.ok()) {
    fuse_reply_err(req, StatusToErrno(st));
    return;
  }
  nodes_.noteChanged(handle.node);
  fuse_reply_write(req, size);
}

void FuseFs::flush(fuse_req_t req, fuse_file_info* fi) {
  Handle& handle = handleOf(fi);
  bool modified = false;
  {
    std::lock_guard<std::mutex> lock(handle.file->mu);
    modified = handle.file->modified;
  }
  if (modified) {
    volume_->closeNow(handle.file);
    // The kernel's pages hold what was just written: they stay valid.
    nodes_.setVersion(handle.node, Fingerprint(*handle.file));
  }
  fuse_reply_err(req, 0);
}

void FuseFs::release(fuse_req_t req, fuse_file_info* fi) {
  dropHandle(&handleOf(fi));
  fuse_reply_err(req, 0);
}

void FuseFs::fsync(fuse_req_t req, fuse_file_info* fi) {
  Status st = volume_->flush(handleOf(fi).file);
  fuse_reply_err(req, StatusToErrno(st));
}

}  // namespace tarn
