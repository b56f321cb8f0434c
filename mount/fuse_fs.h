// The file system that libfuse's low-level session calls: every request of
// the kernel becomes one operation of the mounted tarn::Volume, and every
// failure one errno value (errno_map.h). It keeps the node numbers the
// kernel knows (node_table.h) and the handles of open files and folders.
//
// Owned by the FUSE mount host, which makes it before the session and
// destroys it after the session's threads are gone. libfuse calls the
// request handlers from its worker threads, any number at once; the host
// calls flushOpen and closeAll from its own thread.
//
// Locks: the node table locks itself; handlesMu_ guards the set of open
// handles and is never held across a volume call. A handle's own fields are
// set before libfuse learns of it and only read afterwards.
#pragma once

#define FUSE_USE_VERSION 312
#include <fuse_lowlevel.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/volume.h"
#include "mount/node_table.h"
#include "mount/open_file_shares.h"

namespace tarn {

// What the kernel is asked for at INIT and how many threads serve it; the
// defaults are the measured best (README, "Mount host").
struct FuseTuning {
  // The largest read and write one request carries.
  uint32_t maxIoBytes = 1u << 20;
  // Kernel readahead per file; raised through the mount's bdi.
  uint32_t readaheadKb = 4096;
  // Background requests (readahead) the kernel keeps in flight.
  uint32_t maxBackground = 64;
  uint32_t maxThreads = 64;
  uint32_t maxIdleThreads = 16;
};

class FuseFs {
 public:
  // `shares` (may be null: no bound) counts each user's open files.
  FuseFs(std::shared_ptr<Volume> volume, FuseTuning tuning, std::shared_ptr<OpenFileShares> shares = nullptr);
  ~FuseFs();
  FuseFs(const FuseFs&) = delete;
  FuseFs& operator=(const FuseFs&) = delete;

  // The handler table for fuse_session_new; the user data must be this.
  static const fuse_lowlevel_ops& Operations();

  // Saves the state of every open file and queues its upload, so that
  // nothing written so far depends on a release that may never come.
  void flushOpen();
  // After the session ended: closes the handles the kernel never released.
  void closeAll();
  size_t openHandles();

  const std::shared_ptr<Volume>& volume() const { return volume_; }
  // The session that serves this file system, for the notices it sends the
  // kernel; set by the host before the session's threads start.
  void setSession(fuse_session* session) { session_ = session; }

  // --- request handlers (fuse_fs.cpp: nodes and folders; fuse_fs_files.cpp:
  // open files). Each sends exactly one reply. ---
  void init(fuse_conn_info* conn);
  void lookup(fuse_req_t req, fuse_ino_t parent, const char* name);
  void forget(fuse_ino_t ino, uint64_t count);
  void getattr(fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi);
  void setattr(fuse_req_t req, fuse_ino_t ino, const struct stat* attr, int toSet, fuse_file_info* fi);
  void mknod(fuse_req_t req, fuse_ino_t parent, const char* name, mode_t mode);
  void mkdir(fuse_req_t req, fuse_ino_t parent, const char* name);
  void unlink(fuse_req_t req, fuse_ino_t parent, const char* name, bool isDir);
  void rename(fuse_req_t req, fuse_ino_t parent, const char* name, fuse_ino_t newParent, const char* newName,
              unsigned int flags);
  void statfs(fuse_req_t req);
  void opendir(fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi);
  void readdir(fuse_req_t req, fuse_ino_t ino, size_t size, off_t offset, fuse_file_info* fi, bool plus);
  void releasedir(fuse_req_t req, fuse_file_info* fi);

  void open(fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi);
  void create(fuse_req_t req, fuse_ino_t parent, const char* name, fuse_file_info* fi);
  void read(fuse_req_t req, size_t size, off_t offset, fuse_file_info* fi);
  void write(fuse_req_t req, const char* data, size_t size, off_t offset, fuse_file_info* fi);
  void flush(fuse_req_t req, fuse_file_info* fi);
  void release(fuse_req_t req, fuse_file_info* fi);
  void fsync(fuse_req_t req, fuse_file_info* fi);

 private:
  // One open file or folder; fi->fh points at it.
  struct Handle {
    uint64_t node = 0;
    std::shared_ptr<OpenFile> file;  // files only
    std::shared_ptr<const DirListing> listing;  // folders: the listing read at opendir
    OpenFileShares::Ticket share;                // files: counted against the opener's share
    uint64_t listedAt = 0;  // folders: NodeTable::changeCount() before the listing was read
  };

  static Handle& handleOf(const fuse_file_info* fi) { return *reinterpret_cast<Handle*>(fi->fh); }
  Handle* addHandle(std::unique_ptr<Handle> handle);
  void dropHandle(Handle* handle);

  // The kernel asks for the attributes before each read of a handle once
  // their lifetime is over, and reads no further than the size it gets: a
  // handle's read gets the size and time of the copy the handle reads, so
  // that a smaller copy another client put in its place does not cut it
  // short (the handle reads its own copy whole, or fails). A file with
  // local changes shows them instead.
  static void showHandlesCopy(OpenFile& file, RemoteAttr& attr);
  // A handle of the node reads a copy longer than `attr` says: attributes
  // given elsewhere (a look-up, a stat by name) are then not kept by the
  // kernel, so that the handle's next read asks with the handle again.
  bool readsLongerCopy(uint64_t ino, const RemoteAttr& attr);
  // The attributes as the kernel sees them, owned by the caller of req.
  void fillStat(fuse_req_t req, uint64_t ino, const RemoteAttr& attr, struct stat& st) const;
  // A lookup reply for a node the table now counts once more.
  void fillEntry(fuse_req_t req, uint64_t ino, const RemoteAttr& attr, fuse_entry_param& e) const;
  // Sends an entry for a name just made or found; undoes the lookup count
  // when the kernel is no longer waiting for it.
  void replyEntry(fuse_req_t req, fuse_ino_t parent, const char* name, const RemoteAttr& attr);
  // The remote path of a new name, or an errno for a refused one.
  int newChildPath(fuse_ino_t parent, const char* name, std::string& path) const;
  // The same for a name about to be made: ENAMETOOLONG past the longest
  // name the server takes, so that nothing is written that cannot be kept.
  int madeChildPath(fuse_ino_t parent, const char* name, std::string& path) const;
  // Runs `call` at `path`, read from the node `ino` (with `name`: of that
  // name in the folder `ino`). A path read just before a rename of a folder
  // above took effect names the old place: when `call` finds nothing there
  // and the node has moved since, it runs again at the node's new path.
  Status atNodePath(fuse_ino_t ino, const char* name, std::string path,
                    const std::function<Status(const std::string&)>& call);
  // One rename at paths read from the nodes; an errno, 0 for success.
  int renameAt(fuse_ino_t parent, const char* name, fuse_ino_t newParent, const char* newName, unsigned int flags,
               const std::string& from, const std::string& to);
  // The folder has no entries (a WebDAV server would delete a full one).
  int checkEmptyFolder(const std::string& path);
  // A new file handle's place in its opener's share; an errno when the
  // opener holds all they may.
  int takeShare(fuse_req_t req, OpenFileShares::Ticket& ticket);
  // Opens an existing file for a handle, applying O_TRUNC; the handle takes
  // the ticket when it opens.
  int openFile(fuse_ino_t ino, const std::string& path, fuse_file_info* fi, OpenFileShares::Ticket& ticket);
  // What the kernel's page cache of a file may keep.
  static uint64_t Fingerprint(OpenFile& file);

  const std::shared_ptr<Volume> volume_;
  const FuseTuning tuning_;
  const double entrySeconds_;
  const double attrSeconds_;
  const double negativeSeconds_;
  const bool readOnly_;
  const std::shared_ptr<OpenFileShares> shares_;
  NodeTable nodes_;
  fuse_session* session_ = nullptr;

  std::mutex handlesMu_;
  std::unordered_map<Handle*, std::unique_ptr<Handle>> handles_;  // guarded by handlesMu_
  // The nodes with open file handles, and how many each.
  std::unordered_map<uint64_t, uint32_t> fileNodes_;  // guarded by handlesMu_
};

}  // namespace tarn
