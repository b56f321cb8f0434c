#include "platform/control_socket.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

#include "foundation/text.h"

namespace tarn {
namespace {

// How long to wait before trying again when the service's backlog is full.
constexpr uint32_t kBusyRetryMs = 50;
// A frame's body is read in pieces of at least this size, each at most as
// large as what has arrived before it.
constexpr size_t kFrameReadPiece = 64 * 1024;

Status ErrnoStatus(int32_t code, const std::string& what, int err) {
  return Status(code, what + ": " + vx::FormatWin32Error(static_cast<uint32_t>(err)), err);
}

int RemainingMs(ControlDeadline deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  return static_cast<int>(std::clamp<int64_t>(left.count(), 0, INT32_MAX));
}

bool FillAddress(const std::string& path, sockaddr_un& addr) {
  std::memset(&addr, 0, sizeof(addr));
  addr.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof(addr.sun_path)) return false;
  std::memcpy(addr.sun_path, path.data(), path.size());
  return true;
}

std::string ParentOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Waits until the descriptor is ready for `events`, or the deadline.
Status WaitReady(int fd, short events, ControlDeadline deadline) {
  for (;;) {
    pollfd p{fd, events, 0};
    const int n = ::poll(&p, 1, RemainingMs(deadline));
    if (n > 0) return Status();
    if (n == 0) return Status(Status::kTimeout, "timed out");
    if (errno != EINTR) return ErrnoStatus(Status::kIo, "poll", errno);
  }
}

// Reads exactly `size` bytes. `got` says how far it came, so that the caller
// can tell a peer that never spoke from one that stopped half-way.
Status ReadExact(int fd, uint8_t* data, size_t size, ControlDeadline deadline, size_t& got) {
  got = 0;
  while (got < size) {
    const ssize_t n = ::recv(fd, data + got, size - got, MSG_DONTWAIT);
    if (n > 0) {
      got += static_cast<size_t>(n);
      continue;
    }
    if (n == 0) return Status(Status::kProtocol, "connection closed");
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return ErrnoStatus(Status::kNetwork, "receive", errno);
    Status ready = WaitReady(fd, POLLIN, deadline);
    if (!ready.ok()) return ready;
  }
  return Status();
}

Status WriteExact(int fd, const uint8_t* data, size_t size, ControlDeadline deadline) {
  size_t sent = 0;
  while (sent < size) {
    const ssize_t n = ::send(fd, data + sent, size - sent, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n >= 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return ErrnoStatus(Status::kNetwork, "send", errno);
    Status ready = WaitReady(fd, POLLOUT, deadline);
    if (!ready.ok()) return ready;
  }
  return Status();
}

// The socket's folder: made when missing, refused when someone other than
// this process's user could replace what is in it.
Status PrepareFolder(const std::string& dir) {
  // Every local user reaches the socket through the folders it makes.
  if (!vx::MakeDirs(dir, kControlFolderMode)) return ErrnoStatus(Status::kIo, "cannot create " + dir, errno);
  struct stat st {};
  if (::lstat(dir.c_str(), &st) != 0) return ErrnoStatus(Status::kIo, dir, errno);
  if (!S_ISDIR(st.st_mode)) return Status(Status::kAccessDenied, dir + " is not a folder");
  if (st.st_uid != ::geteuid()) return Status(Status::kAccessDenied, dir + " belongs to another user");
  if ((st.st_mode & 07777) != kControlFolderMode && ::chmod(dir.c_str(), kControlFolderMode) != 0)
    return ErrnoStatus(Status::kIo, "cannot set the mode of " + dir, errno);
  return Status();
}

}  // namespace

ControlDeadline DeadlineAfterMs(uint32_t ms) {
  return std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
}

// ---- listener ------------------------------------------------------------

ControlListener::~ControlListener() { closeSocket(); }

Status ControlListener::open(const std::string& path) {
  sockaddr_un addr{};
  if (!FillAddress(path, addr)) return Status(Status::kInvalid, "socket path too long: " + path);
  Status folder = PrepareFolder(ParentOf(path));
  if (!folder.ok()) return folder;

  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0) {
    if (!S_ISSOCK(st.st_mode)) return Status(Status::kExists, path + " exists and is not a socket");
    // Only a socket that nobody listens on is stale; a busy one is in use.
    vx::UniqueFd probe;
    if (ConnectControlSocket(path, DeadlineAfterMs(0), probe).code != Status::kNotFound)
      return Status(Status::kBusy, "another service listens on " + path);
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) return ErrnoStatus(Status::kIo, "cannot remove " + path, errno);
  }

  vx::UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd.valid()) return ErrnoStatus(Status::kIo, "socket", errno);
  if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) != 0)
    return ErrnoStatus(Status::kIo, "cannot bind " + path, errno);
  path_ = path;
  if (::lstat(path.c_str(), &st) == 0) {
    boundDev_ = st.st_dev;
    boundIno_ = st.st_ino;
  }
  if (::chmod(path.c_str(), kControlSocketMode) != 0 || ::listen(fd.get(), kControlBacklog) != 0) {
    const int err = errno;
    removeSocketFile();
    return ErrnoStatus(Status::kIo, "cannot listen on " + path, err);
  }
  vx::UniqueFd wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!wake.valid()) {
    const int err = errno;
    removeSocketFile();
    return ErrnoStatus(Status::kIo, "eventfd", err);
  }
  listen_ = std::move(fd);
  wake_ = std::move(wake);
  return Status();
}

Status ControlListener::accept(vx::UniqueFd& client) {
  for (;;) {
    if (closed_.load()) {
      // Clients that come now must hear at once that nobody listens, rather
      // than wait in the backlog for their time-out.
      listen_.close();
      removeSocketFile();
      return Status(Status::kCanceled, "");
    }
    if (!listen_.valid()) return Status(Status::kInvalid, "not listening");
    pollfd p[2] = {{listen_.get(), POLLIN, 0}, {wake_.get(), POLLIN, 0}};
    const int n = ::poll(p, 2, -1);
    if (n < 0) {
      if (errno == EINTR) continue;
      return ErrnoStatus(Status::kIo, "poll", errno);
    }
    if (p[1].revents != 0) continue;
    const int fd = ::accept4(listen_.get(), nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) {
      client = vx::UniqueFd(fd);
      return Status();
    }
    // A client that gave up before being accepted, or a passing shortage of
    // descriptors, must not end the service's listening.
    if (errno == EINTR || errno == EAGAIN || errno == ECONNABORTED || errno == EPROTO) continue;
    if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
      std::this_thread::sleep_for(std::chrono::milliseconds(kBusyRetryMs));
      continue;
    }
    return ErrnoStatus(Status::kIo, "accept", errno);
  }
}

void ControlListener::close() {
  if (closed_.exchange(true) || !wake_.valid()) return;
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(wake_.get(), &one, sizeof(one));
}

void ControlListener::closeSocket() {
  close();
  listen_.close();
  removeSocketFile();
}

void ControlListener::removeSocketFile() {
  if (path_.empty()) return;
  // Only the file bound here: a newer service may already listen at the path.
  struct stat st {};
  if (::lstat(path_.c_str(), &st) == 0 && st.st_dev == boundDev_ && st.st_ino == boundIno_) ::unlink(path_.c_str());
  path_.clear();
}

// ---- client side ---------------------------------------------------------

Status ConnectControlSocket(const std::string& path, ControlDeadline deadline, vx::UniqueFd& out) {
  sockaddr_un addr{};
  if (!FillAddress(path, addr)) return Status(Status::kInvalid, "socket path too long: " + path);
  for (;;) {
    vx::UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd.valid()) return ErrnoStatus(Status::kIo, "socket", errno);
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) == 0) {
      out = std::move(fd);
      return Status();
    }
    const int err = errno;
    if (err == ENOENT || err == ECONNREFUSED) return Status(Status::kNotFound, "nobody listens on " + path, err);
    if (err != EAGAIN && err != EINTR) return ErrnoStatus(Status::kNetwork, "cannot connect to " + path, err);
    if (RemainingMs(deadline) == 0) return Status(Status::kTimeout, "the service is busy");
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min<int>(kBusyRetryMs, RemainingMs(deadline))));
  }
}

Status ReadPeerCredentials(int fd, PeerCredentials& out) {
  ucred cred{};
  socklen_t len = sizeof(cred);
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0) return ErrnoStatus(Status::kIo, "SO_PEERCRED", errno);
  std::vector<gid_t> groups(16);
  for (;;) {
    socklen_t bytes = static_cast<socklen_t>(groups.size() * sizeof(gid_t));
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERGROUPS, groups.data(), &bytes) == 0) {
      groups.resize(bytes / sizeof(gid_t));
      break;
    }
    // The kernel says how much room the list needs.
    if (errno != ERANGE || bytes / sizeof(gid_t) <= groups.size()) return ErrnoStatus(Status::kIo, "SO_PEERGROUPS", errno);
    groups.resize(bytes / sizeof(gid_t));
  }
  out.pid = cred.pid;
  out.uid = cred.uid;
  out.gid = cred.gid;
  out.groups.assign(groups.begin(), groups.end());
  return Status();
}

// ---- frames --------------------------------------------------------------

Status ReadFrameSize(int fd, ControlDeadline deadline, uint32_t& size) {
  uint8_t header[kFrameHeaderBytes];
  size_t got = 0;
  Status s = ReadExact(fd, header, sizeof(header), deadline, got);
  if (!s.ok()) {
    if (s.code == Status::kProtocol && got == 0) return Status(Status::kNetwork, "connection closed");
    if (s.code == Status::kProtocol) return Status(Status::kProtocol, "truncated frame");
    return s;
  }
  size = static_cast<uint32_t>(header[0]) | static_cast<uint32_t>(header[1]) << 8 |
         static_cast<uint32_t>(header[2]) << 16 | static_cast<uint32_t>(header[3]) << 24;
  return Status();
}

Status ReadFrameBody(int fd, ControlDeadline deadline, uint32_t size, std::string& body) {
  std::string data;
  while (data.size() < size) {
    // A peer that announces much and sends little costs no more than it sent.
    const size_t piece = std::min<size_t>(size - data.size(), std::max(data.size(), kFrameReadPiece));
    const size_t at = data.size();
    data.resize(at + piece);
    size_t got = 0;
    Status s = ReadExact(fd, reinterpret_cast<uint8_t*>(data.data() + at), piece, deadline, got);
    if (!s.ok()) return s.code == Status::kProtocol ? Status(Status::kProtocol, "truncated frame") : s;
  }
  body = std::move(data);
  return Status();
}

Status ReadFrame(int fd, ControlDeadline deadline, std::string& body, uint32_t maxBytes) {
  uint32_t size = 0;
  Status s = ReadFrameSize(fd, deadline, size);
  if (!s.ok()) return s;
  if (size > maxBytes) return Status(Status::kTooLarge, "frame too large");
  return ReadFrameBody(fd, deadline, size, body);
}

Status WriteFrame(int fd, std::string_view body, ControlDeadline deadline) {
  if (body.size() > kMaxControlFrameBytes) return Status(Status::kTooLarge, "frame too large");
  const auto size = static_cast<uint32_t>(body.size());
  const uint8_t header[kFrameHeaderBytes] = {static_cast<uint8_t>(size), static_cast<uint8_t>(size >> 8),
                                             static_cast<uint8_t>(size >> 16), static_cast<uint8_t>(size >> 24)};
  Status s = WriteExact(fd, header, sizeof(header), deadline);
  if (!s.ok()) return s;
  return WriteExact(fd, reinterpret_cast<const uint8_t*>(body.data()), body.size(), deadline);
}

void ShutdownConnection(int fd) { ::shutdown(fd, SHUT_RDWR); }

}  // namespace tarn
