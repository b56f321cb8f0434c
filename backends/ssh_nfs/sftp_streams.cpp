#include "backends/ssh_nfs/sftp_streams.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "backends/ssh_nfs/sftp_connection.h"

namespace tarn {
namespace {

// The largest count handed to one library call; the library splits it into
// protocol packets itself.
constexpr uint64_t kMaxCallBytes = 1u << 20;
// Upload data sent and not yet acknowledged, across write calls: enough to
// keep the server busy while acknowledgements travel back.
constexpr uint64_t kMaxInFlightBytes = 4u << 20;
constexpr uint32_t kWriteBits = 0222;

Status Gone(const std::string& step) { return Status(Status::kNetwork, step + ": the connection was closed"); }

}  // namespace

Status AttrFromSftp(const LIBSSH2_SFTP_ATTRIBUTES& a, const std::string& path, RemoteAttr& out) {
  RemoteAttr r;
  if (a.flags & LIBSSH2_SFTP_ATTR_PERMISSIONS) {
    r.mode = uint32_t(a.permissions);
    switch (a.permissions & LIBSSH2_SFTP_S_IFMT) {
      case LIBSSH2_SFTP_S_IFDIR:
        r.type = RemoteAttr::kDirectory;
        break;
      case LIBSSH2_SFTP_S_IFLNK:
        r.type = RemoteAttr::kSymlink;
        break;
      case LIBSSH2_SFTP_S_IFREG:
      case 0:
        r.type = RemoteAttr::kFile;
        break;
      default:
        r.type = RemoteAttr::kOther;
        break;
    }
    r.readOnly = (a.permissions & kWriteBits) == 0;
  }
  if ((a.flags & LIBSSH2_SFTP_ATTR_SIZE) && r.type != RemoteAttr::kDirectory) {
    if (a.filesize > kMaxRemoteFileBytes)
      return Status(Status::kProtocol, "stat " + path + ": the server reports a size of " + std::to_string(a.filesize) +
                                           " bytes, more than a file can hold");
    r.size = a.filesize;
  }
  if (a.flags & LIBSSH2_SFTP_ATTR_ACMODTIME) {
    r.mtime = Timestamp{int64_t(a.mtime), 0};
    r.atime = Timestamp{int64_t(a.atime), 0};
    r.ctime = r.mtime;  // protocol 3 has no change or creation time
  }
  out = r;
  return Status();
}

Status SftpReadStream::read(uint8_t* buffer, uint64_t length, uint64_t& got) {
  got = 0;
  if (handle_ == nullptr) return Status(Status::kInvalid, "read " + path_ + ": stream closed");
  auto conn = conn_.lock();
  if (!conn || !conn->tracks(handle_)) {
    handle_ = nullptr;
    return Gone("read " + path_);
  }
  if (length == 0) return Status();
  ssize_t n = libssh2_sftp_read(handle_, reinterpret_cast<char*>(buffer), size_t(std::min(length, kMaxCallBytes)));
  if (n < 0) return conn->error("read " + path_, int(n));
  got = uint64_t(n);
  return Status();
}

void SftpReadStream::close() {
  if (handle_ == nullptr) return;
  auto conn = conn_.lock();
  if (conn && conn->tracks(handle_)) conn->closeHandle(handle_, "close " + path_);
  handle_ = nullptr;
}

std::shared_ptr<SftpConnection> SftpWriteStream::live(Status& st, const char* step) {
  auto conn = conn_.lock();
  if (!conn || handle_ == nullptr || !conn->tracks(handle_)) {
    handle_ = nullptr;
    st = Gone(std::string(step) + " " + target_);
    return nullptr;
  }
  return conn;
}

Status SftpWriteStream::fail(Status st) {
  abort();
  return st;
}

Status SftpWriteStream::write(const uint8_t* data, uint64_t length) {
  if (done_) return Status(Status::kInvalid, "upload " + target_ + ": stream already ended");
  if (length > size_ - written_)
    return fail(Status(Status::kInvalid, "upload " + target_ + ": more data than the announced " +
                                             std::to_string(size_) + " bytes"));
  Status st;
  auto conn = live(st, "upload");
  if (!conn) return fail(st);
  if (stage_.empty()) stage_.resize(size_t(std::min(size_, kMaxInFlightBytes + kMaxCallBytes)));
  while (length > 0) {
    // The library skips the bytes it already sent at the front of the
    // buffer it is given: new data goes right behind them.
    const uint64_t take = std::min({length, kMaxCallBytes, kMaxInFlightBytes - std::min(inFlight_, kMaxInFlightBytes)});
    std::memcpy(stage_.data() + inFlight_, data, size_t(take));
    st = push(*conn, take);
    if (!st.ok()) return fail(st);
    data += take;
    length -= take;
    written_ += take;
  }
  return Status();
}

Status SftpWriteStream::push(SftpConnection& conn, uint64_t fresh) {
  // Sends the fresh bytes and returns once the server acknowledged at least
  // the oldest write; the rest stays in flight across calls.
  ssize_t n = libssh2_sftp_write(handle_, reinterpret_cast<const char*>(stage_.data()), size_t(inFlight_ + fresh));
  if (n < 0) return conn.error("upload " + target_, int(n));
  if (n == 0) return Status(Status::kIo, "upload " + target_ + ": the server accepted no data");
  inFlight_ = inFlight_ + fresh - uint64_t(n);
  return Status();
}

Status SftpWriteStream::finish(RemoteAttr* out) {
  if (done_) return Status(Status::kInvalid, "upload " + target_ + ": stream already ended");
  if (written_ != size_)
    return fail(Status(Status::kInvalid, "upload " + target_ + ": ended after " + std::to_string(written_) + " of " +
                                             std::to_string(size_) + " bytes"));
  Status st;
  auto conn = live(st, "finish upload");
  if (!conn) return fail(st);
  while (inFlight_ > 0) {
    st = push(*conn, 0);
    if (!st.ok()) return fail(st);
  }
  // fsync@openssh.com makes the data durable before it replaces the old
  // copy; a server without the extension, or that refuses it, still gets
  // the upload. A failed flush fails the upload.
  if (libssh2_sftp_fsync(handle_) != 0) {
    st = conn->error("finish upload " + target_);
    if (st.code != Status::kUnsupported && st.code != Status::kAccessDenied) return fail(st);
  }
  LIBSSH2_SFTP_HANDLE* h = handle_;
  handle_ = nullptr;
  st = conn->closeHandle(h, "finish upload " + target_);
  if (!st.ok()) {
    done_ = true;
    if (!inPlace_) dropTemp(conn.get());
    return st;
  }
  if (!inPlace_) {
    st = conn->renamePath(writePath_, target_, true);
    if (!st.ok()) {
      done_ = true;
      dropTemp(conn.get());
      st.message = "finish upload " + target_ + ": " + st.message;
      return st;
    }
  }
  done_ = true;
  if (out != nullptr) {
    // The new content is in place: a failed look at it afterwards leaves
    // the attributes that the upload itself knows.
    LIBSSH2_SFTP_ATTRIBUTES attrs;
    if (!conn->statPath(target_, attrs).ok() || !AttrFromSftp(attrs, target_, *out).ok()) {
      *out = RemoteAttr{};
      out->size = size_;
    }
  }
  return Status();
}

void SftpWriteStream::dropTemp(SftpConnection* conn) {
  if (conn != nullptr && conn->usable() && conn->removePath(writePath_, false).ok()) return;
  if (conn != nullptr && conn->usable()) return;  // the server refused: nothing to retry later
  if (auto leftovers = leftovers_.lock()) leftovers->uploads.push_back(writePath_);
}

void SftpWriteStream::abort() {
  if (done_) return;
  done_ = true;
  auto conn = conn_.lock();
  if (conn && handle_ != nullptr && conn->tracks(handle_)) conn->closeHandle(handle_, "abort upload " + target_);
  handle_ = nullptr;
  // A resumed upload keeps what it stored, so that the next one continues.
  if (!inPlace_) dropTemp(conn.get());
}

}  // namespace tarn
