#include "backends/ssh_nfs/onc_rpc.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <random>
#include <ctime>

namespace tarn {
namespace {

enum AcceptStat : uint32_t {
  kSuccess = 0,
  kProgUnavail = 1,
  kProgMismatch = 2,
  kProcUnavail = 3,
  kGarbageArgs = 4,
  kSystemErr = 5,
};
constexpr uint32_t kMsgAccepted = 0;
constexpr uint32_t kMsgDenied = 1;
constexpr uint32_t kRpcMismatch = 0;
constexpr uint32_t kAuthError = 1;

std::string Errno(int err) { return std::strerror(err); }

// Waits are cut into slices so that a cancelled token ends them promptly.
constexpr uint64_t kWaitSliceMs = 100;

Status Protocol(const std::string& what) { return Status(Status::kProtocol, what); }

uint32_t RandomXid() {
  std::random_device rd;
  return rd();
}

}  // namespace

namespace {

// Appends a whole call message for the given arguments to w.
void AppendRpcCall(XdrWriter& w, uint32_t xid, uint32_t program, uint32_t version, uint32_t procedure,
                   const RpcAuthUnix& auth, const uint8_t* args, size_t argsLength) {
  XdrWriter cred;
  cred.putU32(static_cast<uint32_t>(std::time(nullptr)));
  cred.putString(auth.machine);
  cred.putU32(auth.uid);
  cred.putU32(auth.gid);
  cred.putU32(1);
  cred.putU32(auth.gid);

  w.putU32(xid);
  w.putU32(kRpcCall);
  w.putU32(kRpcVersion);
  w.putU32(program);
  w.putU32(version);
  w.putU32(procedure);
  w.putU32(kAuthUnix);
  w.putOpaque(cred.bytes());
  w.putU32(kAuthNone);
  w.putU32(0);
  std::vector<uint8_t>& out = w.mutableBytes();
  if (argsLength > 0) out.insert(out.end(), args, args + argsLength);
}

}  // namespace

std::vector<uint8_t> EncodeRpcCall(uint32_t xid, uint32_t program, uint32_t version, uint32_t procedure,
                                   const RpcAuthUnix& auth, const uint8_t* args, size_t argsLength) {
  XdrWriter w;
  AppendRpcCall(w, xid, program, version, procedure, auth, args, argsLength);
  return std::move(w.mutableBytes());
}

Status ParseRpcReply(const uint8_t* data, size_t size, uint32_t expectedXid, size_t& bodyOffset) {
  XdrReader r(data, size);
  const uint32_t xid = r.getU32();
  const uint32_t type = r.getU32();
  if (!r.ok()) return Protocol("rpc reply truncated");
  if (xid != expectedXid) return Status(Status::kProtocol, "rpc reply for another call", kRpcXidMismatch);
  if (type != kRpcReply) return Protocol("rpc message is not a reply");
  const uint32_t replyStat = r.getU32();
  if (replyStat == kMsgDenied) {
    const uint32_t reject = r.getU32();
    if (reject == kRpcMismatch) {
      const uint32_t low = r.getU32();
      const uint32_t high = r.getU32();
      if (!r.ok()) return Protocol("rpc reply truncated");
      return Protocol("rpc version mismatch (server " + std::to_string(low) + "-" + std::to_string(high) + ")");
    }
    if (reject == kAuthError) {
      const uint32_t why = r.getU32();
      if (!r.ok()) return Protocol("rpc reply truncated");
      return Status(Status::kAuthFailed, "rpc auth error " + std::to_string(why), static_cast<int32_t>(why));
    }
    return Protocol("rpc call denied (" + std::to_string(reject) + ")");
  }
  if (replyStat != kMsgAccepted) return Protocol("rpc reply status " + std::to_string(replyStat));
  const uint32_t verfFlavor = r.getU32();
  const uint8_t* verf = nullptr;
  size_t verfLength = 0;
  r.getOpaqueView(kMaxAuthBytes, verf, verfLength);
  if (!r.ok()) return Protocol("rpc reply verifier malformed");
  // We send AUTH_UNIX, so the server may answer with none or a short-hand
  // credential; anything else is not a reply to our call.
  if (verfFlavor != kAuthNone && verfFlavor != kAuthShort)
    return Protocol("rpc reply verifier flavor " + std::to_string(verfFlavor));
  const uint32_t accept = r.getU32();
  if (!r.ok()) return Protocol("rpc reply truncated");
  switch (accept) {
    case kSuccess:
      bodyOffset = size - r.remaining();
      return Status();
    case kProgUnavail:
      return Status(Status::kUnsupported, "rpc program unavailable", static_cast<int32_t>(accept));
    case kProgMismatch: {
      const uint32_t low = r.getU32();
      const uint32_t high = r.getU32();
      if (!r.ok()) return Protocol("rpc reply truncated");
      return Status(Status::kUnsupported,
                    "rpc program version unsupported (server " + std::to_string(low) + "-" + std::to_string(high) + ")",
                    static_cast<int32_t>(accept));
    }
    case kProcUnavail:
      return Status(Status::kUnsupported, "rpc procedure unavailable", static_cast<int32_t>(accept));
    case kGarbageArgs:
      return Status(Status::kProtocol, "rpc server could not decode the arguments", static_cast<int32_t>(accept));
    case kSystemErr:
      return Status(Status::kIo, "rpc server system error", static_cast<int32_t>(accept));
    default:
      return Protocol("rpc accept status " + std::to_string(accept));
  }
}

void RpcConnection::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  localPort_ = 0;
  inFlight_.clear();
}

void RpcConnection::interrupt() {
  if (fd_ >= 0) ::shutdown(fd_, SHUT_RDWR);
}

Status RpcConnection::connectOne(const void* addr, unsigned addrLength, int family, int sourcePort,
                                 const std::string& where) {
  const int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_TCP);
  if (fd < 0) return Status(Status::kNetwork, "socket for " + where + ": " + Errno(errno), errno);
  auto fail = [&](int32_t code, const std::string& msg, int err) {
    ::close(fd);
    return Status(code, msg, err);
  };
  if (sourcePort > 0) {
    // Reserved ports are few and each closed connection holds its port in
    // TIME_WAIT for a minute; reuse lets the port serve another peer at once
    // (connect still refuses a pair that is in TIME_WAIT, and we move on).
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    sockaddr_storage local{};
    socklen_t localLength = 0;
    if (family == AF_INET6) {
      auto* a = reinterpret_cast<sockaddr_in6*>(&local);
      a->sin6_family = AF_INET6;
      a->sin6_addr = in6addr_any;
      a->sin6_port = htons(static_cast<uint16_t>(sourcePort));
      localLength = sizeof(sockaddr_in6);
    } else {
      auto* a = reinterpret_cast<sockaddr_in*>(&local);
      a->sin_family = AF_INET;
      a->sin_addr.s_addr = htonl(INADDR_ANY);
      a->sin_port = htons(static_cast<uint16_t>(sourcePort));
      localLength = sizeof(sockaddr_in);
    }
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), localLength) != 0)
      return fail(Status::kBusy, "bind reserved port: " + Errno(errno), errno);
  }
  if (::connect(fd, static_cast<const sockaddr*>(addr), addrLength) != 0) {
    if (errno != EINPROGRESS) {
      const int err = errno;
      return fail(err == EADDRNOTAVAIL || err == EADDRINUSE ? Status::kBusy : Status::kNetwork,
                  "connect to " + where + ": " + Errno(err), err);
    }
    Status ready = waitReady(fd, POLLOUT, connectTimeoutMs_,
                             Status(Status::kTimeout, "connect to " + where + ": timed out", ETIMEDOUT),
                             "connect to " + where);
    if (!ready.ok()) return fail(ready.code, ready.message, ready.native);
    int err = 0;
    socklen_t len = sizeof(err);
    ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
    if (err != 0)
      return fail(err == EADDRNOTAVAIL || err == EADDRINUSE ? Status::kBusy : Status::kNetwork,
                  "connect to " + where + ": " + Errno(err), err);
  }
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
  sockaddr_storage local{};
  socklen_t localLength = sizeof(local);
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLength) == 0)
    localPort_ = ntohs(local.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&local)->sin6_port
                                                   : reinterpret_cast<sockaddr_in*>(&local)->sin_port);
  fd_ = fd;
  return Status();
}

Status RpcConnection::open(const std::string& host, uint32_t port, uint32_t connectTimeoutMs, uint32_t ioTimeoutMs,
                           bool reservedPort) {
  close();
  connectTimeoutMs_ = connectTimeoutMs > 0 ? connectTimeoutMs : 15000;
  ioTimeoutMs_ = ioTimeoutMs > 0 ? ioTimeoutMs : 30000;
  if (nextXid_ == 0) nextXid_ = RandomXid();
  const std::string where = host + ":" + std::to_string(port);
  if (port == 0 || port > 65535) return Status(Status::kInvalid, "bad port for " + where);

  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* list = nullptr;
  const std::string service = std::to_string(port);
  const int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
  if (rc != 0) return Status(Status::kNetwork, "resolve " + host + ": " + ::gai_strerror(rc), rc);

  Status last(Status::kNetwork, "resolve " + host + ": no address");
  for (addrinfo* ai = list; ai != nullptr; ai = ai->ai_next) {
    if (!reservedPort) {
      last = connectOne(ai->ai_addr, ai->ai_addrlen, ai->ai_family, 0, where);
    } else {
      // A port in use locally, or still bound to this peer from an earlier
      // connection, fails bind or connect: move on to the next one down.
      for (int p = kHighestReservedPort; p >= kLowestReservedPort; --p) {
        last = connectOne(ai->ai_addr, ai->ai_addrlen, ai->ai_family, p, where);
        if (last.code != Status::kBusy) break;
      }
      if (last.code == Status::kBusy) last = Status(Status::kNetwork, "connect to " + where + ": no free reserved port");
    }
    if (last.ok() || last.code == Status::kTimeout) break;
  }
  ::freeaddrinfo(list);
  return last;
}

Status RpcConnection::sendAll(const uint8_t* data, size_t length, const std::string& step) {
  while (length > 0) {
    const ssize_t n = ::send(fd_, data, length, MSG_NOSIGNAL);
    if (n > 0) {
      data += n;
      length -= static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      Status ready = waitReady(fd_, POLLOUT, SilenceLimitMs(cancel_, ioTimeoutMs_),
                               Status(Status::kTimeout, step + ": send timed out", ETIMEDOUT), step);
      if (!ready.ok()) return ready;
      continue;
    }
    const int err = n < 0 ? errno : EPIPE;
    return Status(Status::kNetwork, step + ": send failed: " + Errno(err), err);
  }
  return Status();
}

Status RpcConnection::recvAll(uint8_t* data, size_t length, const std::string& step) {
  while (length > 0) {
    const ssize_t n = ::recv(fd_, data, length, 0);
    if (n > 0) {
      data += n;
      length -= static_cast<size_t>(n);
      continue;
    }
    if (n == 0) return Status(Status::kNetwork, step + ": connection closed by server", ECONNRESET);
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      Status ready = waitReady(fd_, POLLIN, SilenceLimitMs(cancel_, ioTimeoutMs_),
                               Status(Status::kTimeout, step + ": no reply from server", ETIMEDOUT), step);
      if (!ready.ok()) return ready;
      continue;
    }
    return Status(Status::kNetwork, step + ": receive failed: " + Errno(errno), errno);
  }
  return Status();
}

Status RpcConnection::waitReady(int fd, short events, uint32_t timeoutMs, Status late, const std::string& step) const {
  const uint64_t limit = std::min<uint64_t>(timeoutMs, MsToDeadline(cancel_, UINT64_MAX));
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    if (IsCancelled(cancel_)) return cancel_->timedOut() ? late : Status(Status::kCanceled, "");
    const uint64_t spent = static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
    if (spent >= limit) return late;
    pollfd p{fd, events, 0};
    const int r = ::poll(&p, 1, static_cast<int>(std::min(kWaitSliceMs, limit - spent)));
    if (r > 0) return Status();
    if (r < 0 && errno != EINTR) return Status(Status::kNetwork, step + ": " + Errno(errno), errno);
  }
}

Status RpcConnection::readRecord(RpcRecord& record, const std::string& step) {
  record.clear();
  for (;;) {
    uint8_t mark[4];
    Status s = recvAll(mark, sizeof(mark), step);
    if (!s.ok()) return s;
    const uint32_t word = (uint32_t{mark[0]} << 24) | (uint32_t{mark[1]} << 16) | (uint32_t{mark[2]} << 8) | mark[3];
    const size_t length = word & ~kLastFragment;
    if (length > kMaxRecordBytes - record.size())
      return Status(Status::kProtocol, step + ": rpc record too large");
    const size_t at = record.size();
    record.resize(at + length);
    s = recvAll(record.data() + at, length, step);
    if (!s.ok()) return s;
    if (word & kLastFragment) return Status();
  }
}

Status RpcConnection::call(uint32_t program, uint32_t version, uint32_t procedure, const XdrWriter& args,
                           RpcRecord& reply, size_t& bodyOffset, const std::string& step) {
  uint32_t xid = 0;
  Status s = start(program, version, procedure, args, xid, step);
  if (!s.ok()) return s;
  return wait(xid, reply, bodyOffset, step);
}

Status RpcConnection::start(uint32_t program, uint32_t version, uint32_t procedure, const XdrWriter& args,
                            uint32_t& xid, const std::string& step) {
  if (fd_ < 0) return Status(Status::kNetwork, step + ": not connected");
  xid = nextXid_++;
  // The record mark goes in front of the message, so that one send carries
  // the whole call and a small call leaves in one segment.
  XdrWriter framed;
  framed.putU32(0);
  AppendRpcCall(framed, xid, program, version, procedure, auth_, args.bytes().data(), args.size());
  std::vector<uint8_t>& msg = framed.mutableBytes();
  const uint32_t mark = kLastFragment | static_cast<uint32_t>(msg.size() - 4);
  for (int i = 0; i < 4; ++i) msg[static_cast<size_t>(i)] = static_cast<uint8_t>(mark >> (24 - 8 * i));
  Status s = sendAll(msg.data(), msg.size(), step);
  if (!s.ok()) {
    close();
    return s;
  }
  inFlight_.push_back(Pending{xid});
  return Status();
}

RpcConnection::Pending* RpcConnection::pending(uint32_t xid) {
  for (Pending& p : inFlight_)
    if (p.xid == xid) return &p;
  return nullptr;
}

void RpcConnection::drop(uint32_t xid) {
  for (size_t i = 0; i < inFlight_.size(); ++i) {
    if (inFlight_[i].xid == xid) {
      inFlight_.erase(inFlight_.begin() + static_cast<long>(i));
      return;
    }
  }
}

void RpcConnection::forget(uint32_t xid) {
  Pending* p = pending(xid);
  if (p == nullptr) return;
  if (p->arrived) {
    drop(xid);
  } else {
    p->wanted = false;
  }
}

Status RpcConnection::wait(uint32_t xid, RpcRecord& reply, size_t& bodyOffset, const std::string& step) {
  Pending* mine = pending(xid);
  if (fd_ < 0 || mine == nullptr || !mine->wanted)
    return Status(Status::kNetwork, step + ": the call is not in flight (its connection was lost)");
  Status s;
  if (mine->arrived) {
    reply.swap(mine->record);
    drop(xid);
  } else {
    for (int stale = 0;;) {
      s = readRecord(reply, step);
      if (!s.ok()) break;
      // Too short for an xid: the check below reports it as ours.
      uint32_t got = xid;
      if (reply.size() >= 4) {
        XdrReader head(reply.data(), 4);
        got = head.getU32();
      }
      if (got == xid) {
        drop(xid);
        break;
      }
      if (Pending* other = pending(got)) {
        if (other->wanted) {
          other->record.swap(reply);
          other->arrived = true;
        } else {
          drop(got);
        }
        continue;
      }
      if (++stale >= kMaxStaleReplies) {
        s = Status(Status::kProtocol, step + ": no reply matches the call");
        break;
      }
    }
    if (!s.ok()) {
      // Whatever went wrong, the stream's position is unknown now.
      close();
      return s;
    }
  }
  s = ParseRpcReply(reply.data(), reply.size(), xid, bodyOffset);
  if (s.ok()) return s;
  s.message = step + ": " + s.message;
  // A refused call leaves the stream in step; only framing faults break it.
  if (s.code == Status::kProtocol) close();
  return s;
}

Status PortmapGetPort(const std::string& host, uint32_t portmapPort, uint32_t program, uint32_t version,
                      uint32_t connectTimeoutMs, uint32_t ioTimeoutMs, uint32_t& port) {
  port = 0;
  RpcConnection conn;
  Status s = conn.open(host, portmapPort, connectTimeoutMs, ioTimeoutMs, false);
  if (!s.ok()) {
    s.message = "portmap: " + s.message;
    return s;
  }
  XdrWriter args;
  args.putU32(program);
  args.putU32(version);
  args.putU32(kIpProtoTcp);
  args.putU32(0);
  RpcRecord reply;
  size_t at = 0;
  s = conn.call(kPortmapProgram, kPortmapVersion, kPortmapGetPort, args, reply, at, "portmap getport");
  if (!s.ok()) return s;
  XdrReader r(reply.data() + at, reply.size() - at);
  const uint32_t p = r.getU32();
  if (!r.ok() || p > 65535) return Status(Status::kProtocol, "portmap getport: malformed reply");
  if (p == 0)
    return Status(Status::kUnsupported, "portmap: program " + std::to_string(program) + " version " +
                                            std::to_string(version) + " not registered");
  port = p;
  return Status();
}

}  // namespace tarn
