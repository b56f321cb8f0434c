// The storage interface over SFTP (SSH File Transfer Protocol) on one SSH
// connection. Paths resolve against the endpoint's root: an absolute root
// ("/srv/data") is a server path, a relative one ("data") lies in the
// login folder, an empty root is the server's "/".
//
// Uploads through openWrite go to a hidden work file beside the target
// (".tarn-upload-<random>") that replaces the target on finish, so an
// aborted upload leaves the previous copy intact; an upload that starts at
// an offset above 0 continues the existing file in place instead. Work
// files never show in listings; one left behind by a lost connection is
// removed after the next connect. Replacing an object is one atomic step
// on servers with posix-rename@openssh.com; elsewhere the old copy waits
// in a work folder beside it until the new one is in place.
//
// What interrupted work of any client left in a folder is tidied once per
// connection: when the folder is listed, before an object is made in it,
// and when a path in it is found missing (then the operation runs again).
// A set-aside copy goes back where no object stands; upload work files
// older than an hour are removed. A path that opens fine does not make its
// folder be read.
//
// Owned by one connection pool slot (std::unique_ptr); used by one thread
// at a time, streams included, as the storage interface requires.
#pragma once

#include <libssh2.h>
#include <libssh2_sftp.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/backend.h"

namespace tarn {

class SftpConnection;
struct SftpLeftovers;
struct SftpTempEntry;

class SftpBackend final : public IBackend {
 public:
  explicit SftpBackend(EndpointConfig config);
  ~SftpBackend() override;

  Status connect() override;
  void disconnect() override;
  bool isConnected() const override;
  Status ping() override;
  const EndpointConfig& config() const override { return config_; }
  std::string serverKey() const override { return hostKey_; }

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
  // The library's waits cannot watch a token: each wait of the calls that
  // follow (a connect's included) lasts at most what the token's deadline
  // leaves when it begins.
  void setCancelToken(const CancelToken* cancel) override;

  // The server path of a remote path.
  std::string serverPath(const std::string& path) const;

 private:
  // Network (14) "not connected" when there is no usable session. Every
  // call begins with it: it counts the calls.
  Status ready(const std::string& step);
  // list, with the work files of unfinished uploads in *leftovers when
  // given (left out otherwise).
  Status listFolder(const std::string& path, std::vector<DirEntry>& out, std::vector<DirEntry>* leftovers);
  // Protocol 3 servers answer many refusals with "failure": a look at the
  // object gives the specific code.
  Status explainFailure(Status st, const std::string& full, bool wantDir);
  // Runs op, and once more when it found nothing at `full` and tidying that
  // folder changed it (see SftpConnection::tidyFolder).
  Status retryAfterSweep(const std::string& full, const std::function<Status()>& op);
  Status openFile(const std::string& full, unsigned long flags, LIBSSH2_SFTP_HANDLE*& h);
  Status listOnce(const std::string& full, std::vector<DirEntry>& out, std::vector<SftpTempEntry>& temps);

  EndpointConfig config_;
  std::shared_ptr<SftpConnection> conn_;
  // What lost connections left on the server, tidied after each connect.
  std::shared_ptr<SftpLeftovers> leftovers_;
  // The access time the last stat found, for a setTimes that comes right
  // after it on this connection (as an upload's does): protocol 3 sets
  // both times at once, and the look need not be made twice.
  struct Look {
    uint64_t call = 0;  // 0: none
    std::string path;   // server path
    unsigned long atime = 0;
  };
  uint64_t calls_ = 0;
  Look lastLook_;
  const CancelToken* cancel_ = nullptr;  // the caller's, while the pool runs a call
  std::string hostKey_;  // of the last connect's key exchange
};

std::unique_ptr<IBackend> MakeSftpBackend(const EndpointConfig& config);

}  // namespace tarn
