#include "backends/ssh_nfs/sftp_connection.h"

#include <fcntl.h>
#include <malloc.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/rand.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "backends/ssh_nfs/sftp_known_hosts.h"
#include "backends/ssh_nfs/ssh_kex_probe.h"
#include "backends/ssh_nfs/ssh_socket.h"
#include "backends/ssh_nfs/ssh_ctr_cipher.h"
#include "backends/ssh_nfs/sftp_status.h"
#include "foundation/codec.h"
#include "foundation/file_util.h"
#include "foundation/log.h"

namespace tarn {
namespace {

constexpr size_t kTempNameRandomBytes = 8;
constexpr const char kTempPrefix[] = ".tarn-";
constexpr size_t kNameBuffer = 4096;
// Socket reads of the library, in bytes: a burst of packets each.
constexpr size_t kRecvBufferBytes = 256 * 1024;

std::once_flag gLibraryInit;

}  // namespace

uint32_t WaitLimitMs(const CancelToken* cancel, uint32_t timeoutMs) {
  const uint64_t left = MsToDeadline(cancel, UINT64_MAX);
  if (left == UINT64_MAX) return timeoutMs;
  const uint64_t limit = timeoutMs == 0 ? left : std::min<uint64_t>(timeoutMs, left);
  return static_cast<uint32_t>(std::clamp<uint64_t>(limit, 1, UINT32_MAX));
}

Status SftpConnection::open(const EndpointConfig& config) {
  close();
  if (config.host.empty()) return Status(Status::kInvalid, "sftp host is empty");
  if (config.port > 65535) return Status(Status::kInvalid, "sftp port out of range: " + std::to_string(config.port));
  uint32_t port = config.port == 0 ? kSftpDefaultPort : config.port;
  std::call_once(gLibraryInit, [] {
    libssh2_init(0);
    if (!SshCtrCiphersBound())
      vx::log::write(vx::log::kWarn, "sftp: the ssh library runs AES one block per call; transfers cost more CPU");
  });

  Status st = ConnectTcp(config.host, port, config.connectTimeoutMs, fd_);
  if (st.ok()) st = startSession(config, port);
  if (st.ok()) {
    wipeFreed_ = true;
    st = authenticate(config);
    wipeFreed_ = false;
  }
  if (st.ok()) {
    sftp_ = libssh2_sftp_init(session_);
    if (sftp_ == nullptr) st = error("start sftp subsystem");
  }
  if (!st.ok()) {
    markBroken();  // nothing worth a polite goodbye
    close();
  }
  return st;
}

Status SftpConnection::startSession(const EndpointConfig& config, uint32_t port) {
  session_ = libssh2_session_init_ex(Alloc, Free, Realloc, this);
  if (session_ == nullptr) return Status(Status::kIo, "ssh session: out of memory");
  libssh2_session_set_blocking(session_, 1);
  libssh2_session_set_timeout(session_, long(config.ioTimeoutMs));
  recvBuf_.resize(kRecvBufferBytes);
  recvPos_ = recvEnd_ = 0;
  libssh2_session_callback_set(session_, LIBSSH2_CALLBACK_RECV, reinterpret_cast<void*>(&RecvCallback));
  // The endpoint's certificate check governs host keys as it governs TLS.
  const std::string knownHosts = config.verifyTls ? KnownHostsPath() : std::string();
  if (config.verifyTls) PreferKnownHostKeyType(session_, config.host, port, knownHosts);
  int rc = libssh2_session_handshake(session_, fd_);
  if (rc != 0) {
    Status st = error("ssh handshake with " + HostPort(config.host, port), rc);
    return rc == LIBSSH2_ERROR_KEX_FAILURE ? explainKexFailure(config, port, st) : st;
  }
  libssh2_keepalive_config(session_, 1, config.keepaliveSec);

  const char* banner = libssh2_session_banner_get(session_);
  hostKey_ = SessionHostKeyText(session_);
  const char* cipher = libssh2_session_methods(session_, LIBSSH2_METHOD_CRYPT_CS);
  const char* mac = libssh2_session_methods(session_, LIBSSH2_METHOD_MAC_CS);
  vx::log::write(vx::log::kInfo, "sftp: %s host key %s, %s, cipher %s, mac %s", HostPort(config.host, port).c_str(),
                 hostKey_.empty() ? "unavailable" : hostKey_.c_str(), banner ? banner : "no banner",
                 cipher ? cipher : "?", mac ? mac : "?");
  if (config.verifyTls) return CheckHostKey(session_, config.host, port, knownHosts);
  return Status();
}

Status SftpConnection::explainKexFailure(const EndpointConfig& config, uint32_t port, const Status& failed) {
  std::vector<std::string> offered;
  if (!ReadServerHostKeyAlgorithms(config.host, port, config.connectTimeoutMs, offered).ok()) return failed;
  const char** known = nullptr;
  const int count = libssh2_session_supported_algs(session_, LIBSSH2_METHOD_HOSTKEY, &known);
  bool common = false, allRsa = !offered.empty();
  std::string list;
  for (const std::string& name : offered) {
    for (int i = 0; i < count; ++i) common = common || name == known[i];
    allRsa = allRsa && (name.rfind("rsa-sha2-", 0) == 0 || name.rfind("ssh-rsa", 0) == 0);
    list += (list.empty() ? "" : ", ") + name;
  }
  if (known != nullptr) libssh2_free(session_, known);
  if (common || offered.empty()) return failed;
  // Not a passing fault: every retry would meet the same offer.
  const std::string where = "ssh handshake with " + HostPort(config.host, port);
  if (allRsa)
    return Status(Status::kUnsupported,
                  where + ": the server offers only RSA host keys (" + list +
                      "), which this build cannot verify: its SSH library checks RSA host keys with SHA-1 only; "
                      "an Ed25519 or ECDSA host key on the server is accepted",
                  failed.native);
  return Status(Status::kUnsupported,
                where + ": the server offers only host keys this build cannot verify (" + list + ")", failed.native);
}

void* SftpConnection::Alloc(size_t count, void** /*abstract*/) { return std::malloc(count); }

void* SftpConnection::Realloc(void* ptr, size_t count, void** abstract) {
  auto* self = static_cast<SftpConnection*>(*abstract);
  if (self == nullptr || !self->wipeFreed_ || ptr == nullptr) return std::realloc(ptr, count);
  // realloc would free the old block unwiped.
  void* fresh = std::malloc(count);
  if (fresh == nullptr) return nullptr;
  std::memcpy(fresh, ptr, std::min(count, ::malloc_usable_size(ptr)));
  Free(ptr, abstract);
  return fresh;
}

void SftpConnection::Free(void* ptr, void** abstract) {
  auto* self = static_cast<SftpConnection*>(*abstract);
  if (ptr != nullptr && self != nullptr && self->wipeFreed_) vx::SecureWipe(ptr, ::malloc_usable_size(ptr));
  std::free(ptr);
}

ssize_t SftpConnection::RecvCallback(libssh2_socket_t fd, void* data, size_t length, int flags, void** abstract) {
  auto* self = static_cast<SftpConnection*>(*abstract);
  if (self->recvPos_ == self->recvEnd_) {
    // A call of several requests would otherwise wait the time-out it had
    // at its start once for each of them.
    if (self->deadline_ != nullptr)
      libssh2_session_set_timeout(self->session_, long(WaitLimitMs(self->deadline_, self->ioTimeoutMs_)));
    ssize_t n = ::recv(fd, self->recvBuf_.data(), self->recvBuf_.size(), flags);
    if (n <= 0) return n == 0 ? 0 : -errno;
    self->recvPos_ = 0;
    self->recvEnd_ = size_t(n);
  }
  const size_t n = std::min(length, self->recvEnd_ - self->recvPos_);
  std::memcpy(data, self->recvBuf_.data() + self->recvPos_, n);
  self->recvPos_ += n;
  return ssize_t(n);
}

Status SftpConnection::keepalive() {
  if (!usable()) return Status(Status::kNetwork, "keepalive: not connected");
  int next = 0;
  int rc = libssh2_keepalive_send(session_, &next);
  return rc == 0 ? Status() : error("send keepalive", rc);
}

void SftpConnection::close() {
  if (session_ != nullptr) {
    if (!broken_ && fd_ >= 0) {
      // A goodbye only when it leaves at once: a frozen server must not
      // hold the caller.
      libssh2_session_set_blocking(session_, 0);
      libssh2_session_disconnect(session_, "closing");
      libssh2_session_set_blocking(session_, 1);
    }
    // With the socket shut, every call below fails at once and still frees
    // what it holds; the server closes the handles with the connection.
    if (fd_ >= 0) ::shutdown(fd_, SHUT_RDWR);
    for (LIBSSH2_SFTP_HANDLE* h : handles_) libssh2_sftp_close_handle(h);
    handles_.clear();
    if (sftp_ != nullptr) libssh2_sftp_shutdown(sftp_);
    sftp_ = nullptr;
    libssh2_session_free(session_);
    session_ = nullptr;
  }
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  broken_ = false;
  brokenBy_ = Status();
}

Status SftpConnection::error(const std::string& step, int rc) {
  if (session_ == nullptr) return Status(Status::kNetwork, step + ": not connected");
  char* text = nullptr;
  int textLen = 0;
  int last = libssh2_session_last_error(session_, &text, &textLen, 0);
  if (rc == 0) rc = last;
  Status st;
  if (rc == LIBSSH2_ERROR_SFTP_PROTOCOL && sftp_ != nullptr) {
    st = SftpStatusError(step, uint32_t(libssh2_sftp_last_error(sftp_)));
    if (st.code != Status::kNetwork) return st;
  } else if (rc == 0) {
    return Status(Status::kProtocol, step + ": failed without an error from the ssh library");
  } else {
    st = SshLibraryError(step, rc, text != nullptr ? std::string(text, size_t(std::max(textLen, 0))) : std::string());
    if (!SshErrorBreaksConnection(rc)) return st;
  }
  markBroken();
  brokenBy_ = st;
  return st;
}

void SftpConnection::markBroken() {
  broken_ = true;
  // Every later call on this session, handle clean-up included, then fails
  // at once instead of waiting out the I/O time-out again.
  if (fd_ >= 0) ::shutdown(fd_, SHUT_RDWR);
}

bool SftpConnection::tracks(LIBSSH2_SFTP_HANDLE* handle) const {
  return std::find(handles_.begin(), handles_.end(), handle) != handles_.end();
}

Status SftpConnection::closeHandle(LIBSSH2_SFTP_HANDLE* handle, const std::string& step) {
  auto it = std::find(handles_.begin(), handles_.end(), handle);
  if (it != handles_.end()) handles_.erase(it);
  int rc = libssh2_sftp_close_handle(handle);
  if (rc == 0) return Status();
  if (rc == LIBSSH2_ERROR_TIMEOUT || rc == LIBSSH2_ERROR_EAGAIN) handles_.push_back(handle);
  return error(step, rc);
}

void SftpConnection::dropHandle(LIBSSH2_SFTP_HANDLE* handle) {
  if (!broken_) {
    (void)closeHandle(handle, "close");
  } else if (!tracks(handle)) {
    handles_.push_back(handle);
  }
}

Status SftpConnection::statPath(const std::string& path, LIBSSH2_SFTP_ATTRIBUTES& attrs, bool follow) {
  std::memset(&attrs, 0, sizeof(attrs));
  int rc = libssh2_sftp_stat_ex(sftp_, path.data(), unsigned(path.size()), follow ? LIBSSH2_SFTP_STAT : LIBSSH2_SFTP_LSTAT,
                                &attrs);
  return rc == 0 ? Status() : error("stat " + path, rc);
}

std::string SftpConnection::SiblingTempName(const std::string& path, const char* tag) {
  uint8_t random[kTempNameRandomBytes] = {};
  if (RAND_bytes(random, sizeof(random)) != 1) {
    uint64_t t = uint64_t(std::chrono::steady_clock::now().time_since_epoch().count());
    std::memcpy(random, &t, sizeof(random));
  }
  std::string name = std::string(kTempPrefix) + tag + "-" + vx::HexEncode(random, sizeof(random));
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return name;
  return path.substr(0, slash + 1) + name;
}

bool SftpConnection::IsTempName(std::string_view name) {
  constexpr size_t kHexChars = 2 * kTempNameRandomBytes;
  if (name.substr(0, std::strlen(kTempPrefix)) != kTempPrefix || name.size() < kHexChars + 1) return false;
  std::string_view hex = name.substr(name.size() - kHexChars);
  return name[name.size() - kHexChars - 1] == '-' && hex.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

bool SftpConnection::IsUploadTempName(std::string_view name) {
  const std::string prefix = std::string(kTempPrefix) + kUploadTag + "-";
  return IsTempName(name) && name.substr(0, prefix.size()) == prefix;
}

bool SftpConnection::folderHasEntries(const std::string& path) {
  LIBSSH2_SFTP_HANDLE* h = libssh2_sftp_open_ex(sftp_, path.data(), unsigned(path.size()), 0, 0, LIBSSH2_SFTP_OPENDIR);
  if (h == nullptr) {
    (void)error("open folder " + path);
    return false;
  }
  char name[kNameBuffer];
  LIBSSH2_SFTP_ATTRIBUTES attrs;
  bool found = false;
  for (;;) {
    int n = libssh2_sftp_readdir_ex(h, name, sizeof(name), nullptr, 0, &attrs);
    if (n < 0) (void)error("read folder " + path, n);  // a time-out breaks the connection
    if (n <= 0) break;
    std::string_view entry(name, size_t(n));
    if (entry != "." && entry != "..") {
      found = true;
      break;
    }
  }
  dropHandle(h);
  return found;
}

Status SftpConnection::removePath(const std::string& path, bool isDir) {
  int rc = isDir ? libssh2_sftp_rmdir_ex(sftp_, path.data(), unsigned(path.size()))
                 : libssh2_sftp_unlink_ex(sftp_, path.data(), unsigned(path.size()));
  if (rc == 0) return Status();
  Status st = error(std::string(isDir ? "remove folder " : "remove file ") + path, rc);
  // Protocol 3 servers say only "failure" (or "no such file" for ENOTDIR);
  // the object tells why.
  if (st.native != int32_t(LIBSSH2_FX_FAILURE) && st.native != int32_t(LIBSSH2_FX_NO_SUCH_FILE)) return st;
  LIBSSH2_SFTP_ATTRIBUTES attrs;
  if (!statPath(path, attrs, false).ok()) return st;
  bool dir = (attrs.flags & LIBSSH2_SFTP_ATTR_PERMISSIONS) && LIBSSH2_SFTP_S_ISDIR(attrs.permissions);
  if (!isDir && dir) return Status(Status::kIsDirectory, "remove file " + path + ": it is a folder", st.native);
  if (isDir && !dir) return Status(Status::kNotDirectory, "remove folder " + path + ": it is not a folder", st.native);
  if (isDir && folderHasEntries(path)) return Status(Status::kNotEmpty, "remove folder " + path + ": not empty", st.native);
  return st;
}

}  // namespace tarn
