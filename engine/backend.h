// The storage interface through which the whole system touches remote
// storage, and its two streams. One back-end object is one connection: it is
// used by one thread at a time (the connection pool guarantees it) and holds
// no locks. Implementations never throw across this interface.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/dir_listing.h"
#include "foundation/backend_types.h"
#include "foundation/endpoint_config.h"
#include "foundation/status.h"

namespace tarn {

class CancelToken;

class IReadStream {
 public:
  virtual ~IReadStream() = default;
  // got == 0 with ok: the end of the object.
  virtual Status read(uint8_t* buffer, uint64_t length, uint64_t& got) = 0;
  virtual void close() = 0;
  // The copy the stream's answer came from, once it came and named it: the
  // entity tag and the whole size. False when it named none.
  virtual bool copy(RemoteAttr& /*out*/) const { return false; }
};

class IWriteStream {
 public:
  virtual ~IWriteStream() = default;
  // The total written must equal the size given to openWrite.
  virtual Status write(const uint8_t* data, uint64_t length) = 0;
  // Makes the new content visible; fills *out with the server's attributes
  // as far as it reports them when out is not null.
  virtual Status finish(RemoteAttr* out) = 0;
  // Abandons the upload; the server's previous copy stays.
  virtual void abort() = 0;
};

// Whether `now` (a stat of a path) is still the server copy `copy`: the
// same file id where both have one (a file changed in place stays itself),
// else the same version text where both have one, else the same size and
// modification time.
bool SameServerCopy(const RemoteAttr& copy, const RemoteAttr& now);

class IBackend {
 public:
  virtual ~IBackend() = default;

  virtual Status connect() = 0;
  virtual void disconnect() = 0;
  // Cheap: the pool asks it under its lock.
  virtual bool isConnected() const = 0;
  virtual Status ping() = 0;
  virtual const BackendCaps& caps() const { return caps_; }
  virtual const EndpointConfig& config() const = 0;
  // The key by which users know the server, in the form they compare with
  // what its administrator gives ("SHA256:... (ED25519)" for an SSH host
  // key); empty for protocols without one. Known after connect, also when
  // a step after the key exchange failed.
  virtual std::string serverKey() const { return std::string(); }

  virtual Status stat(const std::string& path, RemoteAttr& out) = 0;
  virtual Status list(const std::string& path, std::vector<DirEntry>& out) = 0;
  // Lists like list, and gives in `leftovers` the hidden work files of
  // uploads that never ended (their process died), which list leaves out.
  // Back-ends whose uploads leave no such files give none.
  virtual Status listWithLeftovers(const std::string& path, std::vector<DirEntry>& out,
                                   std::vector<DirEntry>& leftovers) {
    leftovers.clear();
    return list(path, out);
  }
  // list, packed: a back-end that reads a long listing as it streams in
  // builds this form as it reads, so that no entry is ever an object of its
  // own. The others pack what list gives.
  virtual Status listPacked(const std::string& path, DirListing& out) {
    std::vector<DirEntry> entries;
    Status st = list(path, entries);
    out = st.ok() ? DirListing(entries) : DirListing();
    return st;
  }
  virtual Status statfs(FsStats& out) = 0;
  // got < length with ok: the object ended; got == 0: offset at or past the end.
  virtual Status readRange(const std::string& path, uint64_t offset, uint8_t* buffer, uint64_t length,
                           uint64_t& got) = 0;
  // The copy the last readRange read from, when its answer named it: the
  // entity tag and the whole size. False when it did not.
  virtual bool lastReadCopy(RemoteAttr& /*out*/) const { return false; }
  // readRange, but only from the server copy `copy` describes (what a stat
  // said of the file when it was read): the file at the path while it is
  // still that copy (or the same file, changed in place, where the server
  // names files by an id), or the copy the path named before, where the
  // server keeps a replaced file reachable. Conflict (13) once neither is
  // there. The base asks stat before and after a readRange.
  virtual Status readCopy(const std::string& path, const RemoteAttr& copy, uint64_t offset, uint8_t* buffer,
                          uint64_t length, uint64_t& got);
  // The stream uses this back-end object, so it must keep the pool lease
  // that lent it for its whole life and be closed before the pool goes.
  virtual Status openRead(const std::string& path, uint64_t offset, std::unique_ptr<IReadStream>& out) = 0;
  virtual Status openWrite(const std::string& path, uint64_t offset, uint64_t size,
                           std::unique_ptr<IWriteStream>& out) = 0;
  virtual Status writeAt(const std::string& path, uint64_t offset, const uint8_t* data, uint64_t length) = 0;
  virtual Status truncate(const std::string& path, uint64_t size) = 0;
  virtual Status create(const std::string& path) = 0;
  virtual Status mkdir(const std::string& path) = 0;
  virtual Status remove(const std::string& path, bool isDir) = 0;
  virtual Status rename(const std::string& from, const std::string& to, bool overwrite) = 0;
  virtual Status setTimes(const std::string& path, const Timestamp& mtime, const Timestamp& atime) = 0;

  // The caller's token for the operations that follow, until the next call
  // (null: none). The connection pool sets it around each operation it runs,
  // so that a back-end can end a call blocked on a slow server; one that
  // cannot ignores it.
  virtual void setCancelToken(const CancelToken* cancel) { (void)cancel; }

 protected:
  BackendCaps caps_;  // the back-end's own record; the defaults of the base
};

}  // namespace tarn
