// The ONC RPC client over TCP: call messages with AUTH_UNIX credentials,
// record marking with fragment reassembly, replies matched by xid, and the
// portmap GETPORT query. An RpcConnection is one TCP connection owned by one
// back-end object and used by one thread at a time; it holds no lock.
// Several calls may be in flight on it at once (start, then wait for each in
// any order): servers answer them in whatever order they finish, so a reply
// that arrives for another call in flight is kept until that call is waited
// for. Replies are hostile input: records are capped and every field is
// checked before it is used (ParseRpcReply is the decoder the fuzz target
// drives).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "backends/ssh_nfs/xdr.h"
#include "foundation/cancel_token.h"
#include "foundation/status.h"

namespace tarn {

constexpr uint32_t kRpcVersion = 2;
constexpr uint32_t kRpcCall = 0;
constexpr uint32_t kRpcReply = 1;
constexpr uint32_t kAuthNone = 0;
constexpr uint32_t kAuthUnix = 1;
constexpr uint32_t kAuthShort = 2;
constexpr size_t kMaxAuthBytes = 400;
// A reply record larger than this is refused: no NFS reply we ask for comes
// near it, and a hostile length must not make us allocate without bound.
constexpr size_t kMaxRecordBytes = 64u << 20;
constexpr uint32_t kLastFragment = 0x80000000u;
// Replies with a foreign xid (stale answers) skipped before giving up.
constexpr int kMaxStaleReplies = 16;
constexpr int kHighestReservedPort = 1023;
constexpr int kLowestReservedPort = 512;

constexpr uint32_t kPortmapProgram = 100000;
constexpr uint32_t kPortmapVersion = 2;
constexpr uint32_t kPortmapGetPort = 3;
constexpr uint32_t kPortmapPort = 111;
constexpr uint32_t kIpProtoTcp = 6;

// Allocates without zeroing what it makes: a record buffer is filled from
// the socket at once, and zeroing a megabyte of READ data first cost a
// tenth of the client's time.
template <class T>
struct UninitializedAllocator : std::allocator<T> {
  template <class U>
  struct rebind {
    using other = UninitializedAllocator<U>;
  };
  UninitializedAllocator() = default;
  template <class U>
  explicit UninitializedAllocator(const UninitializedAllocator<U>&) {}
  template <class U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};
// One received record.
using RpcRecord = std::vector<uint8_t, UninitializedAllocator<uint8_t>>;

struct RpcAuthUnix {
  uint32_t uid = 0;
  uint32_t gid = 0;
  std::string machine = "tarn";
};

// Builds a whole call message (without the record mark).
std::vector<uint8_t> EncodeRpcCall(uint32_t xid, uint32_t program, uint32_t version, uint32_t procedure,
                                   const RpcAuthUnix& auth, const uint8_t* args, size_t argsLength);

// Checks one reply record against the call's xid. On ok, bodyOffset is where
// the procedure's results begin. A foreign xid gives protocol (18) with
// native 1 so the caller can tell it from other faults.
Status ParseRpcReply(const uint8_t* data, size_t size, uint32_t expectedXid, size_t& bodyOffset);
constexpr int32_t kRpcXidMismatch = 1;

class RpcConnection {
 public:
  RpcConnection() = default;
  ~RpcConnection() { close(); }
  RpcConnection(const RpcConnection&) = delete;
  RpcConnection& operator=(const RpcConnection&) = delete;

  // Connects to host:port within connectTimeoutMs. With reservedPort the
  // source port is bound below 1024 first, trying downwards from 1023.
  Status open(const std::string& host, uint32_t port, uint32_t connectTimeoutMs, uint32_t ioTimeoutMs,
              bool reservedPort);
  void close();
  bool isOpen() const { return fd_ >= 0; }
  // Breaks the connection as a network fault would, without closing the
  // descriptor: the next call fails with network (14).
  void interrupt();
  int localPort() const { return localPort_; }

  void setAuth(const RpcAuthUnix& auth) { auth_ = auth; }
  // The caller's token (may be null) while it makes calls: a wait ends when
  // it is cancelled, and none outlasts its deadline or its silence limit,
  // which end it as the I/O time-out would.
  void setCancelToken(const CancelToken* cancel) { cancel_ = cancel; }

  // One call; on ok, reply holds the record and bodyOffset the start of the
  // results. A failed exchange closes the connection: network (14) when it
  // broke, timeout (15) when the server fell silent for ioTimeoutMs.
  Status call(uint32_t program, uint32_t version, uint32_t procedure, const XdrWriter& args,
              RpcRecord& reply, size_t& bodyOffset, const std::string& step);

  // Sends a call without waiting for its reply; xid names it for wait or
  // forget. Only calls with small replies should be left in flight in
  // numbers: unread replies queue up in the socket until waited for.
  Status start(uint32_t program, uint32_t version, uint32_t procedure, const XdrWriter& args, uint32_t& xid,
               const std::string& step);
  // The reply to a started call, with the results of call. A call lost with
  // a broken connection gives network (14).
  Status wait(uint32_t xid, RpcRecord& reply, size_t& bodyOffset, const std::string& step);
  // Gives up a started call: its reply is dropped when it comes.
  void forget(uint32_t xid);
  // Calls started and neither waited for nor answered after being forgotten.
  size_t inFlight() const { return inFlight_.size(); }

 private:
  // A started call; record holds its reply once it arrived ahead of wait.
  struct Pending {
    uint32_t xid = 0;
    bool wanted = true;
    bool arrived = false;
    RpcRecord record;
  };

  Status sendAll(const uint8_t* data, size_t length, const std::string& step);
  Status recvAll(uint8_t* data, size_t length, const std::string& step);
  Status readRecord(RpcRecord& record, const std::string& step);
  Status connectOne(const void* addr, unsigned addrLength, int family, int sourcePort, const std::string& where);
  // Waits until fd is ready for `events`, at most timeoutMs and within the
  // token; `late` is the result when the time is up.
  Status waitReady(int fd, short events, uint32_t timeoutMs, Status late, const std::string& step) const;
  Pending* pending(uint32_t xid);
  void drop(uint32_t xid);

  int fd_ = -1;
  int localPort_ = 0;
  uint32_t connectTimeoutMs_ = 15000;
  uint32_t ioTimeoutMs_ = 30000;
  uint32_t nextXid_ = 0;
  RpcAuthUnix auth_;
  const CancelToken* cancel_ = nullptr;
  std::vector<Pending> inFlight_;  // few: a linear search is the fastest
};

// Asks the portmapper on host:port (111) for the TCP port of a program.
Status PortmapGetPort(const std::string& host, uint32_t portmapPort, uint32_t program, uint32_t version,
                      uint32_t connectTimeoutMs, uint32_t ioTimeoutMs, uint32_t& port);

}  // namespace tarn
