// The read and upload streams of SftpBackend. Each holds one SFTP handle
// and a weak reference to the connection that opened it: after a
// disconnect the connection has closed the handle and the stream reports
// network (14). Used by the thread that holds the back-end.
#pragma once

#include <libssh2.h>
#include <libssh2_sftp.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/backend.h"

namespace tarn {

class SftpConnection;
struct SftpLeftovers;

// Converts SFTP attributes of `path`; a server that knows one time gives
// all three. A size above kMaxRemoteFileBytes is refused as a protocol
// failure: the cache derives block counts from it.
Status AttrFromSftp(const LIBSSH2_SFTP_ATTRIBUTES& attrs, const std::string& path, RemoteAttr& out);

class SftpReadStream final : public IReadStream {
 public:
  SftpReadStream(std::weak_ptr<SftpConnection> conn, LIBSSH2_SFTP_HANDLE* handle, std::string path)
      : conn_(std::move(conn)), handle_(handle), path_(std::move(path)) {}
  ~SftpReadStream() override { close(); }
  Status read(uint8_t* buffer, uint64_t length, uint64_t& got) override;
  void close() override;

 private:
  std::weak_ptr<SftpConnection> conn_;
  LIBSSH2_SFTP_HANDLE* handle_;
  std::string path_;
};

class SftpWriteStream final : public IWriteStream {
 public:
  // `writePath` is the temporary file (or the target itself when resuming,
  // `inPlace`); `target` is where finish puts the content.
  SftpWriteStream(std::weak_ptr<SftpConnection> conn, std::weak_ptr<SftpLeftovers> leftovers,
                  LIBSSH2_SFTP_HANDLE* handle, std::string writePath, std::string target, uint64_t size, bool inPlace)
      : conn_(std::move(conn)),
        leftovers_(std::move(leftovers)),
        handle_(handle),
        writePath_(std::move(writePath)),
        target_(std::move(target)),
        size_(size),
        inPlace_(inPlace) {}
  ~SftpWriteStream() override { abort(); }
  Status write(const uint8_t* data, uint64_t length) override;
  Status finish(RemoteAttr* out) override;
  void abort() override;

 private:
  std::shared_ptr<SftpConnection> live(Status& st, const char* step);
  // Hands the library the bytes in flight plus `fresh` new ones staged
  // behind them; it sends what is new and waits for one acknowledgement.
  Status push(SftpConnection& conn, uint64_t fresh);
  Status fail(Status st);
  // Removes the temporary file, or leaves it to the back-end's next connect.
  void dropTemp(SftpConnection* conn);

  std::weak_ptr<SftpConnection> conn_;
  std::weak_ptr<SftpLeftovers> leftovers_;
  LIBSSH2_SFTP_HANDLE* handle_;
  std::string writePath_;
  std::string target_;
  uint64_t size_;
  uint64_t written_ = 0;
  // Bytes the library sent and the server has not acknowledged yet; their
  // places at the front of stage_ stay reserved, new data follows them.
  uint64_t inFlight_ = 0;
  std::vector<uint8_t> stage_;
  bool inPlace_;
  bool done_ = false;
};

}  // namespace tarn
