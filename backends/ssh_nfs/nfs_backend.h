// tarn::NfsBackend: the storage interface over NFS version 3. One object is
// one TCP connection to the server's NFS service, opened by `connect` after
// the portmapper names the ports and MOUNT hands out the export's root file
// handle. Like every back-end it is used by one thread at a time (the
// connection pool leases it) and holds no lock; its streams run on the
// thread that holds the lease and must not outlive the back-end.
//
// Paths are resolved by LOOKUP, one component at a time, from the root
// handle on every operation: several connections of one drive change the
// same tree, so a remembered handle may no longer be what the path names.
// Handles met before only save round trips: the LOOKUPs that confirm them
// go out together in one round trip, and a READ sent on a remembered handle
// ahead of its confirmation is thrown away unless the handle is confirmed.
// Nothing that changes data is ever sent on an unconfirmed handle.
//
// Reads keep several READs in flight on the connection: a ranged read
// splits its range, and a read stream stays a few READs ahead of its
// reader.
//
// openWrite fills a hidden temporary file of its own beside the target
// (".NAME.tarn-part-" and 16 random hex digits) and renames it over the
// target on finish, so an abort leaves the old copy and two uploads of one
// path never write into each other. Listings leave temporaries out. A
// failed upload removes its temporary, or, when the connection broke, the
// next connect of the same object does; temporaries nobody has written for
// an hour, left by any client, go when their folder is listed or first
// uploaded into on a connection. Uploads always start at offset 0:
// continuing at an offset is what writeAt is for.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "backends/ssh_nfs/nfs_options.h"
#include "backends/ssh_nfs/nfs_protocol.h"
#include "backends/ssh_nfs/onc_rpc.h"
#include "engine/backend.h"

namespace tarn {

using NfsHandle = std::vector<uint8_t>;

class NfsBackend : public IBackend {
 public:
  explicit NfsBackend(const EndpointConfig& config);
  ~NfsBackend() override;
  NfsBackend(const NfsBackend&) = delete;
  NfsBackend& operator=(const NfsBackend&) = delete;

  Status connect() override;
  void disconnect() override;
  bool isConnected() const override;
  Status ping() override;
  const EndpointConfig& config() const override { return config_; }

  Status stat(const std::string& path, RemoteAttr& out) override;
  Status list(const std::string& path, std::vector<DirEntry>& out) override;
  Status listWithLeftovers(const std::string& path, std::vector<DirEntry>& out,
                           std::vector<DirEntry>& leftovers) override;
  Status statfs(FsStats& out) override;
  Status readRange(const std::string& path, uint64_t offset, uint8_t* buffer, uint64_t length,
                   uint64_t& got) override;
  Status openRead(const std::string& path, uint64_t offset, std::unique_ptr<IReadStream>& out) override;
  Status openWrite(const std::string& path, uint64_t offset, uint64_t size,
                   std::unique_ptr<IWriteStream>& out) override;
  Status writeAt(const std::string& path, uint64_t offset, const uint8_t* data, uint64_t length) override;
  Status truncate(const std::string& path, uint64_t size) override;
  Status create(const std::string& path) override;
  Status mkdir(const std::string& path) override;
  Status remove(const std::string& path, bool isDir) override;
  Status rename(const std::string& from, const std::string& to, bool overwrite) override;
  Status setTimes(const std::string& path, const Timestamp& mtime, const Timestamp& atime) override;
  // Waits on the server (the mount call of a connect included) end when the
  // token is cancelled or its deadline passes.
  void setCancelToken(const CancelToken* cancel) override {
    cancel_ = cancel;
    nfs_.setCancelToken(cancel);
  }

  // Breaks the NFS connection the way a network fault does (the socket is
  // shut down, not closed), so the next call reports network (14).
  void simulateNetworkFault() { nfs_.interrupt(); }
  // The local TCP port of the NFS connection, 0 when closed.
  int localPort() const { return nfs_.localPort(); }

  // Permissions of what create, mkdir and a first upload make.
  static constexpr uint32_t kNewFileMode = 0644;
  static constexpr uint32_t kNewFolderMode = 0755;

  // Upload temporaries older than this belong to no running upload.
  static constexpr int64_t kStaleUploadSeconds = 3600;

  // A new name for a temporary file that openWrite fills beside name.
  static std::string UploadTempName(const std::string& name);
  // Whether a listed name is such a temporary.
  static bool IsUploadTempName(const std::string& name);

 private:
  friend class NfsReadStream;
  friend class NfsWriteStream;

  // list, with the temporaries of unfinished uploads in *leftovers when
  // given (left out otherwise).
  Status listFolder(const std::string& path, std::vector<DirEntry>& out, std::vector<DirEntry>* leftovers);

  // LOOKUPs of one path in flight (see beginWalk).
  struct Walk {
    std::vector<std::string> parts;
    std::vector<uint32_t> xids;  // one per component from the first whose parent handle is known
    NfsHandle guess;             // the remembered handle of the whole path, else empty
  };
  // A READ in flight: where it reads, how much, and its call.
  struct ReadPiece {
    uint64_t offset = 0;
    uint32_t count = 0;
    uint32_t xid = 0;
  };
  // A temporary that a failed upload could not remove.
  struct Leftover {
    NfsHandle dir;
    std::string name;
  };

  // One NFS call; on ok, r reads the results after the status word, which is
  // in nfsStatus. Transport and RPC failures come back as the status.
  Status callNfs(uint32_t proc, const XdrWriter& args, const std::string& step, RpcRecord& reply,
                 XdrReader& r, uint32_t& nfsStatus);
  // The same, for calls where any NFS status but ok is the caller's failure.
  Status callNfsOk(uint32_t proc, const XdrWriter& args, const std::string& step, RpcRecord& reply,
                   XdrReader& r);

  Status lookupIn(const NfsHandle& dir, const std::string& name, const std::string& step, NfsHandle& fh,
                  RemoteAttr* attr);
  Status resolve(const std::string& path, NfsHandle& fh, RemoteAttr* attr, const std::string& step);
  Status resolveParent(const std::string& path, NfsHandle& dir, std::string& name, const std::string& step);
  // Starts the LOOKUPs of every component of parts whose parent handle is
  // remembered, all at once; walk.guess is the whole path's handle when that
  // is remembered too. endWalk waits for them, goes on one LOOKUP at a time
  // where the remembered handles end or prove stale, and tells in
  // guessHeld whether the server confirmed walk.guess.
  Status beginWalk(std::vector<std::string> parts, Walk& walk, const std::string& step);
  Status endWalk(Walk& walk, NfsHandle& fh, RemoteAttr* attr, bool& guessHeld, const std::string& step);
  void abandonWalk(Walk& walk);
  // Forgets remembered handles of path and of everything below it.
  void forgetHandles(const std::string& path);
  Status getattr(const NfsHandle& fh, RemoteAttr& out, const std::string& step);
  Status setattr(const NfsHandle& fh, const NfsSetAttr& a, const std::string& step);
  Status readAt(const NfsHandle& fh, uint64_t offset, uint8_t* buffer, uint32_t count, uint32_t& got, bool& eof,
                const std::string& step);
  Status startRead(const NfsHandle& fh, uint64_t offset, uint32_t count, ReadPiece& piece, const std::string& step);
  // Waits for a READ in flight; on ok data points into reply. A server that
  // asks to try again later gets the piece read again with readAt.
  Status finishRead(const NfsHandle& fh, const ReadPiece& piece, RpcRecord& reply, const uint8_t*& data,
                    uint32_t& got, bool& eof, const std::string& step);
  // Reads [offset, offset + length) with several READs in flight; `started`
  // holds READs already sent for its first pieces, in order.
  Status readPieces(const NfsHandle& fh, uint64_t offset, uint8_t* buffer, uint64_t length, uint64_t& got,
                    std::vector<ReadPiece> started, const std::string& step);
  // The size of each READ when `length` bytes are wanted.
  uint32_t pieceSize(uint64_t length) const;
  // Refuses attributes whose size no file can have.
  static Status checkAttr(const RemoteAttr& attr, const std::string& step);
  // The write verifier of the unstable writes so far. A server that
  // restarts changes it, and may have lost what it had not committed.
  struct WriteVerifier {
    uint8_t bytes[kNfsVerifierSize] = {};
    bool known = false;
  };
  // Writes all of data at offset. Pieces the server did not commit must all
  // carry the verifier already in `verifier` (or the first one seen), else
  // io (17); committedAll tells whether every piece reached stable storage.
  Status writeAll(const NfsHandle& fh, uint64_t offset, const uint8_t* data, uint64_t length, uint32_t stable,
                  WriteVerifier& verifier, bool& committedAll, const std::string& step);
  Status commit(const NfsHandle& fh, uint8_t* verifier, const std::string& step);
  Status createIn(const NfsHandle& dir, const std::string& name, uint32_t how, const NfsSetAttr& a,
                  const std::string& step, NfsHandle& fh);
  Status removeIn(const NfsHandle& dir, const std::string& name, bool isDir, const std::string& step);
  Status fsinfo();
  Status mountExport();
  void unmountExport();
  Status checkSize(uint64_t end, const std::string& step) const;
  // Removes the temporaries of uploads that failed with the connection.
  void removeLeftovers();
  // Removes the temporaries a listing of the folder met that nobody wrote
  // for kStaleUploadSeconds, and drops them from temps, which keeps the
  // others with their attributes; the folder counts as swept on this
  // connection.
  void removeStaleTemps(const NfsHandle& dir, const std::string& path, std::vector<NfsDirEntryPlus>& temps);

  EndpointConfig config_;
  NfsOptions options_;
  RpcConnection nfs_;
  const CancelToken* cancel_ = nullptr;  // the caller's, while the pool runs a call
  NfsHandle root_;
  std::string exportPath_;
  uint32_t mountPort_ = 0;
  uint32_t readChunk_ = 0;
  uint32_t writeChunk_ = 0;
  bool connected_ = false;
  bool readdirPlus_ = true;  // cleared when the server does not support it
  // Handles met on earlier walks, keyed by the path's components joined by
  // "/"; a hint only, confirmed by LOOKUP on every use.
  std::unordered_map<std::string, NfsHandle> handles_;
  std::vector<Leftover> leftovers_;
  // Folders listed on this connection, whose abandoned temporaries are gone.
  std::set<std::string> swept_;
};

std::unique_ptr<IBackend> MakeNfsBackend(const EndpointConfig& config);

}  // namespace tarn
