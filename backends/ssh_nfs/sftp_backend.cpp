#include "backends/ssh_nfs/sftp_backend.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>

#include "backends/ssh_nfs/sftp_connection.h"
#include "backends/ssh_nfs/sftp_status.h"
#include "backends/ssh_nfs/sftp_streams.h"
#include "foundation/cancel_token.h"
#include "foundation/remote_path.h"

namespace tarn {
namespace {

constexpr uint32_t kMaxNameBytes = 255;
constexpr uint32_t kMaxPathBytes = 4096;
constexpr size_t kNameBuffer = 4096;
constexpr uint64_t kMaxCallBytes = 1u << 20;
constexpr uint64_t kReadAheadFactor = 4;
constexpr const char kServerKind[] = "sftp";

bool IsDir(const LIBSSH2_SFTP_ATTRIBUTES& a) {
  return (a.flags & LIBSSH2_SFTP_ATTR_PERMISSIONS) && LIBSSH2_SFTP_S_ISDIR(a.permissions);
}

std::string ChildPath(const std::string& folder, const std::string& name) {
  return folder == "/" ? "/" + name : folder + "/" + name;
}

// The root as a server path prefix without trailing slash ("" for "/").
std::string RootPrefix(const std::string& root) {
  std::string r = root;
  while (!r.empty() && (r.back() == '/' || r.back() == '\\')) r.pop_back();
  return r;
}

}  // namespace

SftpBackend::SftpBackend(EndpointConfig config)
    : config_(std::move(config)), leftovers_(std::make_shared<SftpLeftovers>()) {
  // Beyond the interface's defaults; free space is cleared when the server
  // cannot report it.
  caps_.randomWrite = true;
  caps_.resumableUpload = true;
  caps_.atomicReplace = true;  // posix-rename@openssh.com
  caps_.truncate = true;
  caps_.setMtime = true;
  caps_.freeSpace = true;
  caps_.maxNameBytes = kMaxNameBytes;
  caps_.maxPathBytes = kMaxPathBytes;
  caps_.server = kServerKind;
}

SftpBackend::~SftpBackend() { disconnect(); }

std::unique_ptr<IBackend> MakeSftpBackend(const EndpointConfig& config) {
  return std::make_unique<SftpBackend>(config);
}

std::string SftpBackend::serverPath(const std::string& path) const {
  std::string prefix = RootPrefix(config_.root);
  std::string rel = NormalizeRemotePath(path);
  if (rel == "/") return prefix.empty() ? std::string("/") : prefix;
  return prefix + rel;
}

Status SftpBackend::ready(const std::string& step) {
  ++calls_;
  if (!conn_ || !conn_->usable()) return Status(Status::kNetwork, step + ": not connected");
  return Status();
}

void SftpBackend::setCancelToken(const CancelToken* cancel) {
  cancel_ = cancel;
  if (!conn_) return;
  // The caller's silence limit (a cached answer that waits) shortens it.
  const uint32_t io = SilenceLimitMs(cancel, config_.ioTimeoutMs);
  conn_->limitWaits(cancel, io);
  if (conn_->session() != nullptr) libssh2_session_set_timeout(conn_->session(), long(WaitLimitMs(cancel_, io)));
}

Status SftpBackend::connect() {
  disconnect();
  auto conn = std::make_shared<SftpConnection>(leftovers_);
  const uint32_t io = SilenceLimitMs(cancel_, config_.ioTimeoutMs);
  conn->limitWaits(cancel_, io);
  EndpointConfig bounded = config_;
  bounded.connectTimeoutMs = WaitLimitMs(cancel_, config_.connectTimeoutMs);
  bounded.ioTimeoutMs = WaitLimitMs(cancel_, io);
  Status st = conn->open(bounded);
  hostKey_ = conn->hostKey();
  if (!st.ok()) return st;
  const std::string root = serverPath("/");
  LIBSSH2_SFTP_ATTRIBUTES attrs;
  st = conn->statPath(root, attrs);
  if (!st.ok()) {
    st.message = "root folder " + root + ": " + st.message;
    return st;
  }
  if (!IsDir(attrs)) return Status(Status::kNotDirectory, "root folder " + root + " is not a folder");
  conn_ = std::move(conn);
  conn_->tidyLeftovers();
  return Status();
}

void SftpBackend::disconnect() {
  if (conn_) conn_->close();
  conn_.reset();
  lastLook_ = Look{};
}

bool SftpBackend::isConnected() const { return conn_ && conn_->usable(); }

Status SftpBackend::ping() {
  Status st = ready("ping");
  if (st.ok()) st = conn_->keepalive();
  if (!st.ok()) return st;
  LIBSSH2_SFTP_ATTRIBUTES attrs;
  return conn_->statPath(serverPath("/"), attrs);
}

Status SftpBackend::retryAfterSweep(const std::string& full, const std::function<Status()>& op) {
  Status st = op();
  if (st.code != Status::kNotFound || !conn_ || !conn_->sweepOnce(SftpConnection::ParentOf(full))) return st;
  return op();
}

Status SftpBackend::openFile(const std::string& full, unsigned long flags, LIBSSH2_SFTP_HANDLE*& h) {
  return retryAfterSweep(full, [&] {
    h = libssh2_sftp_open_ex(conn_->sftp(), full.data(), unsigned(full.size()), flags, 0, LIBSSH2_SFTP_OPENFILE);
    return h != nullptr ? Status() : explainFailure(conn_->error("open " + full), full, false);
  });
}

Status SftpBackend::explainFailure(Status st, const std::string& full, bool wantDir) {
  // OpenSSH reports ENOTDIR as "no such file" and most else as "failure".
  bool vague = st.native == int32_t(LIBSSH2_FX_FAILURE) || st.native == int32_t(LIBSSH2_FX_NO_SUCH_FILE);
  if (!vague || st.code == Status::kNetwork || !conn_->usable()) return st;
  LIBSSH2_SFTP_ATTRIBUTES attrs;
  if (!conn_->statPath(full, attrs).ok()) return st;
  if (IsDir(attrs) && !wantDir) return Status(Status::kIsDirectory, full + " is a folder", st.native);
  if (!IsDir(attrs) && wantDir) return Status(Status::kNotDirectory, full + " is not a folder", st.native);
  return st;
}

Status SftpBackend::stat(const std::string& path, RemoteAttr& out) {
  Status st = ready("stat");
  if (!st.ok()) return st;
  // The link itself first: a missing object (the common miss) costs one
  // request, and a link costs a second one for what it points to. A
  // dangling link shows as a link.
  const std::string full = serverPath(path);
  return retryAfterSweep(full, [&] {
    LIBSSH2_SFTP_ATTRIBUTES attrs;
    Status found = conn_->statPath(full, attrs, false);
    if (!found.ok()) return found;
    if ((attrs.flags & LIBSSH2_SFTP_ATTR_PERMISSIONS) && LIBSSH2_SFTP_S_ISLNK(attrs.permissions)) {
      LIBSSH2_SFTP_ATTRIBUTES target;
      found = conn_->statPath(full, target);
      if (found.ok()) attrs = target;
      else if (!conn_->usable()) return found;
    }
    if (attrs.flags & LIBSSH2_SFTP_ATTR_ACMODTIME) lastLook_ = Look{calls_, full, attrs.atime};
    return AttrFromSftp(attrs, full, out);
  });
}

Status SftpBackend::list(const std::string& path, std::vector<DirEntry>& out) {
  return listFolder(path, out, nullptr);
}

Status SftpBackend::listWithLeftovers(const std::string& path, std::vector<DirEntry>& out,
                                      std::vector<DirEntry>& leftovers) {
  return listFolder(path, out, &leftovers);
}

Status SftpBackend::listFolder(const std::string& path, std::vector<DirEntry>& out, std::vector<DirEntry>* leftovers) {
  if (leftovers != nullptr) leftovers->clear();
  Status st = ready("list");
  if (!st.ok()) return st;
  const std::string full = serverPath(path);
  std::vector<SftpTempEntry> temps;
  st = retryAfterSweep(full, [&] { return listOnce(full, out, temps); });
  // The listing met what interrupted work left: once it is tidied, the
  // objects put back are listed too.
  if (st.ok() && conn_->tidyFolder(full, temps)) st = listOnce(full, out, temps);
  if (!st.ok() || leftovers == nullptr) return st;
  for (const SftpTempEntry& t : temps) {
    if (!SftpConnection::IsUploadTempName(t.name)) continue;
    DirEntry e{t.name, RemoteAttr{}};
    if (st = AttrFromSftp(t.attrs, ChildPath(full, t.name), e.attr); !st.ok()) return st;
    leftovers->push_back(std::move(e));
  }
  return Status();
}

Status SftpBackend::listOnce(const std::string& full, std::vector<DirEntry>& out, std::vector<SftpTempEntry>& temps) {
  out.clear();
  temps.clear();
  Status st;
  LIBSSH2_SFTP_HANDLE* h =
      libssh2_sftp_open_ex(conn_->sftp(), full.data(), unsigned(full.size()), 0, 0, LIBSSH2_SFTP_OPENDIR);
  if (h == nullptr) return explainFailure(conn_->error("open folder " + full), full, true);
  std::vector<char> name(kNameBuffer);
  for (;;) {
    LIBSSH2_SFTP_ATTRIBUTES attrs;
    std::memset(&attrs, 0, sizeof(attrs));
    int n = libssh2_sftp_readdir_ex(h, name.data(), name.size(), nullptr, 0, &attrs);
    if (n == 0) break;
    if (n < 0) {
      st = conn_->error("read folder " + full, n);
      conn_->dropHandle(h);
      out.clear();
      return st;
    }
    std::string entry(name.data(), size_t(n));
    if (entry == "." || entry == "..") continue;
    // Uploads in progress and replaced copies are not the drive's objects.
    if (SftpConnection::IsTempName(entry)) {
      temps.push_back(SftpTempEntry{std::move(entry), attrs});
      continue;
    }
    DirEntry e;
    st = AttrFromSftp(attrs, ChildPath(full, entry), e.attr);
    if (!st.ok()) {
      conn_->dropHandle(h);
      out.clear();
      return st;
    }
    e.name = std::move(entry);
    out.push_back(std::move(e));
  }
  st = conn_->closeHandle(h, "close folder " + full);
  if (!st.ok()) {
    out.clear();
    return st;
  }
  // Listings carry the links themselves; show what they point to, as stat does.
  for (auto& e : out) {
    if (e.attr.type != RemoteAttr::kSymlink) continue;
    LIBSSH2_SFTP_ATTRIBUTES target;
    const std::string child = ChildPath(full, e.name);
    if (conn_->statPath(child, target).ok()) {
      st = AttrFromSftp(target, child, e.attr);
      if (!st.ok()) {
        out.clear();
        return st;
      }
    } else if (!conn_->usable()) {
      out.clear();
      return conn_->error("stat link " + child);
    }
  }
  return Status();
}

Status SftpBackend::statfs(FsStats& out) {
  out = FsStats{};
  Status st = ready("statfs");
  if (!st.ok()) return st;
  const std::string full = serverPath("/");
  LIBSSH2_SFTP_STATVFS vfs;
  std::memset(&vfs, 0, sizeof(vfs));
  int rc = libssh2_sftp_statvfs(conn_->sftp(), full.data(), full.size(), &vfs);
  if (rc != 0) {
    st = conn_->error("statvfs " + full, rc);
    if (st.retryable()) return st;
    // A server without the statvfs extension, or one that refuses it,
    // cannot report space.
    caps_.freeSpace = false;
    return Status();
  }
  uint64_t unit = vfs.f_frsize != 0 ? vfs.f_frsize : vfs.f_bsize;
  out.total = vfs.f_blocks * unit;
  out.free = vfs.f_bfree * unit;
  out.available = vfs.f_bavail * unit;
  out.known = true;
  caps_.freeSpace = true;
  return Status();
}

Status SftpBackend::readRange(const std::string& path, uint64_t offset, uint8_t* buffer, uint64_t length,
                              uint64_t& got) {
  got = 0;
  Status st = ready("read");
  if (!st.ok()) return st;
  const std::string full = serverPath(path);
  LIBSSH2_SFTP_HANDLE* h = nullptr;
  st = openFile(full, LIBSSH2_FXF_READ, h);
  if (!st.ok()) return st;
  libssh2_sftp_seek64(h, offset);
  while (got < length) {
    // The library asks the server for four times the buffer it is given, to
    // read ahead; a quarter of what is left keeps every request inside the
    // range instead of fetching up to three ranges more and dropping them.
    uint64_t ask = std::min((length - got + kReadAheadFactor - 1) / kReadAheadFactor, kMaxCallBytes);
    ssize_t n = libssh2_sftp_read(h, reinterpret_cast<char*>(buffer + got), size_t(ask));
    if (n == 0) break;
    if (n < 0) {
      st = explainFailure(conn_->error("read " + full, int(n)), full, false);
      conn_->dropHandle(h);
      got = 0;
      return st;
    }
    got += uint64_t(n);
  }
  st = conn_->closeHandle(h, "close " + full);
  if (!st.ok()) got = 0;
  return st;
}

Status SftpBackend::openRead(const std::string& path, uint64_t offset, std::unique_ptr<IReadStream>& out) {
  out.reset();
  Status st = ready("open");
  if (!st.ok()) return st;
  const std::string full = serverPath(path);
  LIBSSH2_SFTP_HANDLE* h = nullptr;
  st = openFile(full, LIBSSH2_FXF_READ, h);
  if (!st.ok()) return st;
  libssh2_sftp_seek64(h, offset);
  conn_->track(h);
  out = std::make_unique<SftpReadStream>(conn_, h, full);
  return Status();
}

Status SftpBackend::openWrite(const std::string& path, uint64_t offset, uint64_t size,
                              std::unique_ptr<IWriteStream>& out) {
  out.reset();
  Status st = ready("upload");
  if (!st.ok()) return st;
  const std::string full = serverPath(path);
  // Also removes abandoned work files of earlier uploads into this folder.
  conn_->sweepOnce(SftpConnection::ParentOf(full));
  if (!conn_->usable()) return conn_->breakage();
  LIBSSH2_SFTP_ATTRIBUTES attrs;
  bool exists = conn_->statPath(full, attrs).ok();
  if (!conn_->usable()) return conn_->error("stat " + full);
  if (exists && IsDir(attrs)) return Status(Status::kIsDirectory, "upload " + full + ": it is a folder");

  if (offset > 0) {
    // Continuing an earlier upload: the first `offset` bytes are on the
    // server already; anything after them is replaced.
    if (!exists) return Status(Status::kInvalid, "upload " + full + " at offset " + std::to_string(offset) + ": no earlier part");
    if ((attrs.flags & LIBSSH2_SFTP_ATTR_SIZE) && attrs.filesize < offset)
      return Status(Status::kInvalid, "upload " + full + " at offset " + std::to_string(offset) + ": only " +
                                          std::to_string(attrs.filesize) + " bytes stored");
    LIBSSH2_SFTP_HANDLE* h = libssh2_sftp_open_ex(conn_->sftp(), full.data(), unsigned(full.size()), LIBSSH2_FXF_WRITE,
                                                  0, LIBSSH2_SFTP_OPENFILE);
    if (h == nullptr) return conn_->error("open " + full);
    LIBSSH2_SFTP_ATTRIBUTES cut;
    std::memset(&cut, 0, sizeof(cut));
    cut.flags = LIBSSH2_SFTP_ATTR_SIZE;
    cut.filesize = offset;
    if (libssh2_sftp_fsetstat(h, &cut) != 0) {
      st = conn_->error("truncate " + full);
      conn_->dropHandle(h);
      return st;
    }
    libssh2_sftp_seek64(h, offset);
    conn_->track(h);
    out = std::make_unique<SftpWriteStream>(conn_, leftovers_, h, full, full, size, true);
    return Status();
  }

  // Keep the permissions of the copy being replaced.
  long mode = kSftpNewFileMode;
  if (exists && (attrs.flags & LIBSSH2_SFTP_ATTR_PERMISSIONS)) mode = long(attrs.permissions & 07777);
  const std::string temp = SftpConnection::SiblingTempName(full, SftpConnection::kUploadTag);
  LIBSSH2_SFTP_HANDLE* h =
      libssh2_sftp_open_ex(conn_->sftp(), temp.data(), unsigned(temp.size()),
                           LIBSSH2_FXF_WRITE | LIBSSH2_FXF_CREAT | LIBSSH2_FXF_EXCL, mode, LIBSSH2_SFTP_OPENFILE);
  if (h == nullptr) return conn_->error("upload " + full);
  conn_->track(h);
  out = std::make_unique<SftpWriteStream>(conn_, leftovers_, h, temp, full, size, false);
  return Status();
}

Status SftpBackend::writeAt(const std::string& path, uint64_t offset, const uint8_t* data, uint64_t length) {
  Status st = ready("write");
  if (!st.ok()) return st;
  const std::string full = serverPath(path);
  LIBSSH2_SFTP_HANDLE* h = nullptr;
  st = openFile(full, LIBSSH2_FXF_WRITE, h);
  if (!st.ok()) return st;
  libssh2_sftp_seek64(h, offset);
  while (length > 0) {
    ssize_t n = libssh2_sftp_write(h, reinterpret_cast<const char*>(data), size_t(std::min(length, kMaxCallBytes)));
    if (n <= 0) {
      st = n < 0 ? conn_->error("write " + full, int(n)) : Status(Status::kIo, "write " + full + ": the server accepted no data");
      conn_->dropHandle(h);
      return st;
    }
    data += n;
    length -= uint64_t(n);
  }
  return conn_->closeHandle(h, "close " + full);
}

Status SftpBackend::truncate(const std::string& path, uint64_t size) {
  Status st = ready("truncate");
  if (!st.ok()) return st;
  const std::string full = serverPath(path);
  LIBSSH2_SFTP_ATTRIBUTES attrs;
  std::memset(&attrs, 0, sizeof(attrs));
  attrs.flags = LIBSSH2_SFTP_ATTR_SIZE;
  attrs.filesize = size;
  return retryAfterSweep(full, [&] {
    int rc = libssh2_sftp_stat_ex(conn_->sftp(), full.data(), unsigned(full.size()), LIBSSH2_SFTP_SETSTAT, &attrs);
    return rc == 0 ? Status() : explainFailure(conn_->error("truncate " + full, rc), full, false);
  });
}

Status SftpBackend::create(const std::string& path) {
  Status st = ready("create");
  if (!st.ok()) return st;
  const std::string full = serverPath(path);
  // A copy set aside under this name goes back before anything new takes it.
  conn_->sweepOnce(SftpConnection::ParentOf(full));
  // A look that met a silent server broke the connection: the call ends.
  if (!conn_->usable()) return conn_->breakage();
  LIBSSH2_SFTP_HANDLE* h =
      libssh2_sftp_open_ex(conn_->sftp(), full.data(), unsigned(full.size()),
                           LIBSSH2_FXF_WRITE | LIBSSH2_FXF_CREAT | LIBSSH2_FXF_EXCL, kSftpNewFileMode,
                           LIBSSH2_SFTP_OPENFILE);
  if (h == nullptr) {
    st = conn_->error("create " + full);
    LIBSSH2_SFTP_ATTRIBUTES attrs;
    if (st.native == int32_t(LIBSSH2_FX_FAILURE) && conn_->statPath(full, attrs, false).ok())
      return Status(Status::kExists, "create " + full + ": already exists", st.native);
    return st;
  }
  return conn_->closeHandle(h, "close " + full);
}

Status SftpBackend::mkdir(const std::string& path) {
  Status st = ready("mkdir");
  if (!st.ok()) return st;
  const std::string full = serverPath(path);
  conn_->sweepOnce(SftpConnection::ParentOf(full));
  if (!conn_->usable()) return conn_->breakage();
  int rc = libssh2_sftp_mkdir_ex(conn_->sftp(), full.data(), unsigned(full.size()), kSftpNewFolderMode);
  if (rc == 0) return Status();
  st = conn_->error("mkdir " + full, rc);
  LIBSSH2_SFTP_ATTRIBUTES attrs;
  if (st.native == int32_t(LIBSSH2_FX_FAILURE) && conn_->statPath(full, attrs, false).ok())
    return Status(Status::kExists, "mkdir " + full + ": already exists", st.native);
  return st;
}

Status SftpBackend::remove(const std::string& path, bool isDir) {
  Status st = ready("remove");
  if (!st.ok()) return st;
  const std::string full = serverPath(path);
  return retryAfterSweep(full, [&] { return conn_->removePath(full, isDir); });
}

Status SftpBackend::rename(const std::string& from, const std::string& to, bool overwrite) {
  Status st = ready("rename");
  if (!st.ok()) return st;
  const std::string source = serverPath(from), target = serverPath(to);
  conn_->sweepOnce(SftpConnection::ParentOf(target));
  if (!conn_->usable()) return conn_->breakage();
  return retryAfterSweep(source, [&] { return conn_->renamePath(source, target, overwrite); });
}

Status SftpBackend::setTimes(const std::string& path, const Timestamp& mtime, const Timestamp& atime) {
  Status st = ready("set times");
  if (!st.ok()) return st;
  const std::string full = serverPath(path);
  constexpr int64_t kMaxWireSeconds = std::numeric_limits<uint32_t>::max();
  Timestamp access = atime;
  if (access.isZero() && lastLook_.call + 1 == calls_ && lastLook_.path == full) {
    access = Timestamp{int64_t(lastLook_.atime), 0};
  } else if (access.isZero()) {
    // Protocol 3 sets both times together: keep the stored access time.
    LIBSSH2_SFTP_ATTRIBUTES current;
    st = conn_->statPath(full, current);
    if (!st.ok()) return st;
    access = Timestamp{int64_t(current.atime), 0};
  }
  if (mtime.seconds < 0 || mtime.seconds > kMaxWireSeconds || access.seconds < 0 || access.seconds > kMaxWireSeconds)
    return Status(Status::kInvalid, "set times " + full + ": time outside the range sftp can store");
  LIBSSH2_SFTP_ATTRIBUTES attrs;
  std::memset(&attrs, 0, sizeof(attrs));
  attrs.flags = LIBSSH2_SFTP_ATTR_ACMODTIME;
  attrs.mtime = static_cast<unsigned long>(mtime.seconds);
  attrs.atime = static_cast<unsigned long>(access.seconds);
  return retryAfterSweep(full, [&] {
    int rc = libssh2_sftp_stat_ex(conn_->sftp(), full.data(), unsigned(full.size()), LIBSSH2_SFTP_SETSTAT, &attrs);
    return rc == 0 ? Status() : conn_->error("set times " + full, rc);
  });
}

}  // namespace tarn
