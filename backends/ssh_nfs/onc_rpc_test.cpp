// The RPC client's framing, reply checks and failure mapping, against a
// scripted TCP peer on 127.0.0.1, and the portmapper and the reserved source
// port against the real NFS server (TARN_NFS_HOST, TARN_NFS_EXPORT).
#include "backends/ssh_nfs/onc_rpc.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>

#include "backends/ssh_nfs/nfs_protocol.h"

namespace tarn {
namespace {

using Bytes = std::vector<uint8_t>;

void Put32(Bytes& b, uint32_t v) {
  XdrWriter w;
  w.putU32(v);
  b.insert(b.end(), w.bytes().begin(), w.bytes().end());
}

// An accepted reply with an AUTH_NONE verifier and the given body.
Bytes AcceptedReply(uint32_t xid, const Bytes& body, uint32_t verfFlavor = kAuthNone) {
  Bytes b;
  for (uint32_t v : {xid, kRpcReply, 0u, verfFlavor, 0u, 0u}) Put32(b, v);
  b.insert(b.end(), body.begin(), body.end());
  return b;
}

Bytes Record(const Bytes& msg, bool last = true) {
  Bytes b;
  Put32(b, (last ? kLastFragment : 0u) | static_cast<uint32_t>(msg.size()));
  b.insert(b.end(), msg.begin(), msg.end());
  return b;
}

// Accepts one connection, reads `calls` call records and answers with
// whatever the script makes of the first call's xid (the others follow it);
// then holds the connection open until the test ends unless the script asks
// to close it.
class ScriptedPeer {
 public:
  struct Answer {
    Bytes bytes;
    bool close = false;
  };
  using Script = std::function<Answer(uint32_t xid)>;

  explicit ScriptedPeer(Script script, int calls = 1) : script_(std::move(script)), calls_(calls) {
    listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof(a));
    ::listen(listen_, 1);
    socklen_t len = sizeof(a);
    ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { serve(); });
  }
  ~ScriptedPeer() {
    ::shutdown(listen_, SHUT_RDWR);
    if (conn_ >= 0) ::shutdown(conn_, SHUT_RDWR);
    done_ = true;
    thread_.join();
    if (conn_ >= 0) ::close(conn_);
    ::close(listen_);
  }
  uint32_t port() const { return port_; }
  // The last call read.
  const Bytes& call() const { return call_; }

 private:
  bool readFull(uint8_t* p, size_t n) {
    while (n > 0) {
      const ssize_t r = ::recv(conn_, p, n, 0);
      if (r <= 0) return false;
      p += r;
      n -= static_cast<size_t>(r);
    }
    return true;
  }
  void serve() {
    conn_ = ::accept(listen_, nullptr, nullptr);
    if (conn_ < 0) return;
    uint32_t first = 0;
    for (int i = 0; i < calls_; ++i) {
      uint8_t mark[4];
      if (!readFull(mark, 4)) return;
      XdrReader mr(mark, 4);
      call_.resize(mr.getU32() & ~kLastFragment);
      if (!readFull(call_.data(), call_.size())) return;
      XdrReader cr(call_.data(), call_.size());
      if (i == 0) first = cr.getU32();
    }
    const Answer answer = script_(first);
    ::send(conn_, answer.bytes.data(), answer.bytes.size(), MSG_NOSIGNAL);
    if (answer.close) {
      ::shutdown(conn_, SHUT_RDWR);
      return;
    }
    while (!done_) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }

  Script script_;
  int calls_;
  int listen_ = -1;
  int conn_ = -1;
  uint32_t port_ = 0;
  Bytes call_;
  std::atomic<bool> done_{false};
  std::thread thread_;
};

const Bytes kBody = {0, 0, 0, 7, 'd', 'a', 't', 'a'};

TEST(RpcConnectionTest, ExchangesAndFailuresMapToStatus) {
  struct Case {
    const char* name;
    ScriptedPeer::Script script;
    int32_t code;
    bool stillOpen;
  };
  const Case cases[] = {
      {"one fragment", [](uint32_t x) { return ScriptedPeer::Answer{Record(AcceptedReply(x, kBody))}; },
       Status::kOk, true},
      {"three fragments",
       [](uint32_t x) {
         const Bytes m = AcceptedReply(x, kBody);
         Bytes out = Record(Bytes(m.begin(), m.begin() + 5), false);
         const Bytes mid = Record(Bytes(m.begin() + 5, m.begin() + 17), false);
         const Bytes tail = Record(Bytes(m.begin() + 17, m.end()), true);
         out.insert(out.end(), mid.begin(), mid.end());
         out.insert(out.end(), tail.begin(), tail.end());
         return ScriptedPeer::Answer{out};
       },
       Status::kOk, true},
      {"stale reply before the right one",
       [](uint32_t x) {
         Bytes out = Record(AcceptedReply(x - 1, Bytes{0, 0, 0, 1}));
         const Bytes good = Record(AcceptedReply(x, kBody));
         out.insert(out.end(), good.begin(), good.end());
         return ScriptedPeer::Answer{out};
       },
       Status::kOk, true},
      {"only foreign replies",
       [](uint32_t x) {
         Bytes out;
         for (int i = 0; i <= kMaxStaleReplies; ++i) {
           const Bytes r = Record(AcceptedReply(x + 1 + static_cast<uint32_t>(i), kBody));
           out.insert(out.end(), r.begin(), r.end());
         }
         return ScriptedPeer::Answer{out};
       },
       Status::kProtocol, false},
      {"closed before replying", [](uint32_t) { return ScriptedPeer::Answer{Bytes{}, true}; }, Status::kNetwork,
       false},
      {"closed inside a record",
       [](uint32_t x) {
         Bytes r = Record(AcceptedReply(x, kBody));
         r.resize(r.size() - 3);
         return ScriptedPeer::Answer{r, true};
       },
       Status::kNetwork, false},
      {"silent server", [](uint32_t) { return ScriptedPeer::Answer{}; }, Status::kTimeout, false},
      {"record larger than the cap",
       [](uint32_t) {
         Bytes r;
         Put32(r, static_cast<uint32_t>(kMaxRecordBytes + 1));
         return ScriptedPeer::Answer{r};
       },
       Status::kProtocol, false},
      {"call message instead of reply",
       [](uint32_t x) {
         Bytes m;
         for (uint32_t v : {x, kRpcCall, 2u}) Put32(m, v);
         return ScriptedPeer::Answer{Record(m)};
       },
       Status::kProtocol, false},
      {"auth error leaves the stream usable",
       [](uint32_t x) {
         Bytes m;
         for (uint32_t v : {x, kRpcReply, 1u, 1u, 5u}) Put32(m, v);
         return ScriptedPeer::Answer{Record(m)};
       },
       Status::kAuthFailed, true},
  };
  for (const Case& c : cases) {
    ScriptedPeer peer(c.script);
    RpcConnection conn;
    ASSERT_TRUE(conn.open("127.0.0.1", peer.port(), 2000, 300, false).ok()) << c.name;
    XdrWriter args;
    args.putU32(42);
    RpcRecord reply;
    size_t at = 0;
    Status s = conn.call(kNfsProgram, kNfsVersion, kNfsGetattr, args, reply, at, "getattr /x");
    EXPECT_EQ(s.code, c.code) << c.name << ": " << s.toString();
    EXPECT_EQ(conn.isOpen(), c.stillOpen) << c.name;
    if (c.code == Status::kOk) {
      EXPECT_EQ(Bytes(reply.begin() + static_cast<long>(at), reply.end()), kBody) << c.name;
    } else {
      EXPECT_EQ(s.message.rfind("getattr /x: ", 0), 0u) << c.name << ": the step leads the message: " << s.message;
    }
  }
}

// A clock the test moves by hand, for tokens with a deadline.
std::atomic<uint64_t> gNowMs{0};
uint64_t NowMs() { return gNowMs.load(); }

// With an I/O time-out of an hour, a call to a silent server ends when the
// caller's token does: at its deadline or its silence limit as the time-out
// would, or cancelled.
TEST(RpcConnectionTest, ACallerTokenEndsTheWaitOnASilentServer) {
  constexpr uint32_t kHourMs = 3600000;
  enum End { kDeadline, kSilence, kCancelled };
  for (End end : {kDeadline, kSilence, kCancelled}) {
    const bool deadline = end != kCancelled;
    SCOPED_TRACE(end == kDeadline ? "deadline" : end == kSilence ? "silence limit" : "cancelled");
    ScriptedPeer peer([](uint32_t) { return ScriptedPeer::Answer{}; });
    gNowMs = 1000;
    auto stop = std::make_shared<CancelToken>();
    // The silence limit runs on the steady clock: short, as a test cannot move it.
    auto call = end == kSilence ? std::make_shared<CancelToken>(stop, 0, nullptr, 50)
                                : std::make_shared<CancelToken>(stop, 2000, &NowMs);
    RpcConnection conn;
    conn.setCancelToken(call.get());
    ASSERT_TRUE(conn.open("127.0.0.1", peer.port(), kHourMs, kHourMs, false).ok());
    std::atomic<bool> done{false};
    Status s;
    std::thread caller([&] {
      XdrWriter args;
      RpcRecord reply;
      size_t at = 0;
      s = conn.call(kNfsProgram, kNfsVersion, kNfsGetattr, args, reply, at, "getattr /x");
      done = true;
    });
    if (end == kDeadline)
      gNowMs = 2000;
    else if (end == kCancelled)
      stop->cancel();
    bool ended = false;
    for (int i = 0; i < 12000 && !ended; ++i) {
      ended = done.load();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(ended) << "waited for the I/O time-out";
    if (!ended) conn.interrupt();
    caller.join();
    EXPECT_EQ(s.toString(), deadline ? "timeout: getattr /x: no reply from server" : "canceled");
    EXPECT_FALSE(conn.isOpen()) << "the stream's position is unknown";
  }
}

TEST(RpcConnectionTest, RepliesToCallsInFlightArriveInAnyOrder) {
  // Four calls out at once; the peer answers the fourth (given up by then),
  // the third, the first and the second, each with its own xid as body.
  ScriptedPeer peer(
      [](uint32_t x) {
        Bytes out;
        for (uint32_t k : {3u, 2u, 0u, 1u}) {
          Bytes body;
          Put32(body, x + k);
          const Bytes r = Record(AcceptedReply(x + k, body));
          out.insert(out.end(), r.begin(), r.end());
        }
        return ScriptedPeer::Answer{out};
      },
      4);
  RpcConnection conn;
  ASSERT_TRUE(conn.open("127.0.0.1", peer.port(), 2000, 2000, false).ok());
  uint32_t xids[4] = {};
  for (uint32_t& x : xids) ASSERT_TRUE(conn.start(kNfsProgram, kNfsVersion, kNfsRead, XdrWriter(), x, "read").ok());
  EXPECT_EQ(conn.inFlight(), 4u);
  conn.forget(xids[3]);
  for (int k = 0; k < 3; ++k) {
    RpcRecord reply;
    size_t at = 0;
    Status s = conn.wait(xids[k], reply, at, "read");
    ASSERT_TRUE(s.ok()) << k << ": " << s.toString();
    XdrReader r(reply.data() + at, reply.size() - at);
    EXPECT_EQ(r.getU32(), xids[k]) << "the reply of call " << k;
  }
  EXPECT_EQ(conn.inFlight(), 0u) << "the forgotten reply was read and dropped";
  EXPECT_TRUE(conn.isOpen());
  RpcRecord reply;
  size_t at = 0;
  EXPECT_EQ(conn.wait(xids[0], reply, at, "read").code, Status::kNetwork) << "a reply is handed out once";
}

TEST(RpcConnectionTest, CallCarriesAuthUnixCredentialAndArguments) {
  ScriptedPeer peer([](uint32_t x) { return ScriptedPeer::Answer{Record(AcceptedReply(x, {}))}; });
  RpcConnection conn;
  ASSERT_TRUE(conn.open("127.0.0.1", peer.port(), 2000, 2000, false).ok());
  conn.setAuth(RpcAuthUnix{1001, 2002, "tarn"});
  XdrWriter args;
  args.putString("arg");
  RpcRecord reply;
  size_t at = 0;
  ASSERT_TRUE(conn.call(kMountProgram, kMountVersion, kMountMnt, args, reply, at, "mnt").ok());

  XdrReader r(peer.call().data(), peer.call().size());
  r.getU32();  // xid
  EXPECT_EQ(r.getU32(), kRpcCall);
  EXPECT_EQ(r.getU32(), kRpcVersion);
  EXPECT_EQ(r.getU32(), kMountProgram);
  EXPECT_EQ(r.getU32(), kMountVersion);
  EXPECT_EQ(r.getU32(), kMountMnt);
  EXPECT_EQ(r.getU32(), kAuthUnix);
  const Bytes cred = r.getOpaque(kMaxAuthBytes);
  EXPECT_EQ(r.getU32(), kAuthNone);
  EXPECT_EQ(r.getU32(), 0u);
  EXPECT_EQ(r.getString(16), "arg");
  EXPECT_TRUE(r.ok());
  EXPECT_EQ(r.remaining(), 0u);

  XdrReader c(cred.data(), cred.size());
  c.getU32();  // stamp
  EXPECT_EQ(c.getString(255), "tarn");
  EXPECT_EQ(c.getU32(), 1001u);
  EXPECT_EQ(c.getU32(), 2002u);
  EXPECT_EQ(c.getU32(), 1u);
  EXPECT_EQ(c.getU32(), 2002u);
  EXPECT_TRUE(c.ok());
  EXPECT_EQ(c.remaining(), 0u);
}

TEST(RpcConnectionTest, RefusedConnectionIsNetworkFailure) {
  // A port that was just free: bind, note it, close.
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof(a));
  socklen_t len = sizeof(a);
  ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(s);
  RpcConnection conn;
  Status st = conn.open("127.0.0.1", ntohs(a.sin_port), 2000, 2000, false);
  EXPECT_EQ(st.code, Status::kNetwork) << st.toString();
  EXPECT_FALSE(conn.isOpen());
  EXPECT_EQ(conn.open("no-such-host.invalid", 111, 2000, 2000, false).code, Status::kNetwork);
  XdrWriter args;
  RpcRecord reply;
  size_t at = 0;
  EXPECT_EQ(conn.call(1, 1, 0, args, reply, at, "x").code, Status::kNetwork) << "call without a connection";
}

TEST(ParseRpcReplyTest, ChecksEveryHeaderField) {
  auto msg = [](std::initializer_list<uint32_t> words) {
    Bytes b;
    for (uint32_t w : words) Put32(b, w);
    return b;
  };
  struct Case {
    const char* name;
    Bytes reply;
    int32_t code;
  } cases[] = {
      {"success", msg({9, 1, 0, 0, 0, 0}), Status::kOk},
      {"short verifier", msg({9, 1, 0, 2, 4, 0xAABBCCDD, 0}), Status::kOk},
      {"wrong xid", msg({8, 1, 0, 0, 0, 0}), Status::kProtocol},
      {"not a reply", msg({9, 0, 0, 0, 0, 0}), Status::kProtocol},
      {"truncated header", msg({9}), Status::kProtocol},
      {"truncated before accept status", msg({9, 1, 0, 0, 0}), Status::kProtocol},
      {"verifier longer than allowed", msg({9, 1, 0, 0, 401}), Status::kProtocol},
      {"verifier longer than the message", msg({9, 1, 0, 0, 0x7FFFFFF0}), Status::kProtocol},
      {"unix verifier", msg({9, 1, 0, 1, 0, 0}), Status::kProtocol},
      {"program unavailable", msg({9, 1, 0, 0, 0, 1}), Status::kUnsupported},
      {"version mismatch", msg({9, 1, 0, 0, 0, 2, 4, 4}), Status::kUnsupported},
      {"procedure unavailable", msg({9, 1, 0, 0, 0, 3}), Status::kUnsupported},
      {"garbage arguments", msg({9, 1, 0, 0, 0, 4}), Status::kProtocol},
      {"system error", msg({9, 1, 0, 0, 0, 5}), Status::kIo},
      {"unknown accept status", msg({9, 1, 0, 0, 0, 77}), Status::kProtocol},
      {"rpc version mismatch", msg({9, 1, 1, 0, 2, 2}), Status::kProtocol},
      {"auth too weak", msg({9, 1, 1, 1, 5}), Status::kAuthFailed},
      {"unknown reply status", msg({9, 1, 7}), Status::kProtocol},
  };
  for (const Case& c : cases) {
    size_t at = 0;
    Status s = ParseRpcReply(c.reply.data(), c.reply.size(), 9, at);
    EXPECT_EQ(s.code, c.code) << c.name << ": " << s.toString();
    if (s.ok()) {
      EXPECT_EQ(at, c.reply.size()) << c.name;
    }
  }
}

class RpcServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* host = std::getenv("TARN_NFS_HOST");
    const char* exportPath = std::getenv("TARN_NFS_EXPORT");
    ASSERT_TRUE(host != nullptr && exportPath != nullptr)
        << "TARN_NFS_HOST and TARN_NFS_EXPORT must be set (testing/servers/nfs_ganesha.sh)";
    host_ = host;
    export_ = exportPath;
  }
  std::string host_;
  std::string export_;
};

TEST_F(RpcServerTest, PortmapNamesTheServicePorts) {
  uint32_t port = 0;
  Status s = PortmapGetPort(host_, kPortmapPort, kNfsProgram, kNfsVersion, 5000, 5000, port);
  ASSERT_TRUE(s.ok()) << s.toString();
  EXPECT_GT(port, 0u);
  s = PortmapGetPort(host_, kPortmapPort, kMountProgram, kMountVersion, 5000, 5000, port);
  ASSERT_TRUE(s.ok()) << s.toString();
  EXPECT_GT(port, 0u);
  s = PortmapGetPort(host_, kPortmapPort, 399999, 1, 5000, 5000, port);
  EXPECT_EQ(s.code, Status::kUnsupported) << s.toString();
  EXPECT_EQ(port, 0u);
}

TEST_F(RpcServerTest, ExportDemandsReservedSourcePort) {
  ASSERT_EQ(::geteuid(), 0u) << "a reserved source port needs root";
  uint32_t mountPort = 0;
  uint32_t nfsPort = 0;
  ASSERT_TRUE(PortmapGetPort(host_, kPortmapPort, kMountProgram, kMountVersion, 5000, 5000, mountPort).ok());
  ASSERT_TRUE(PortmapGetPort(host_, kPortmapPort, kNfsProgram, kNfsVersion, 5000, 5000, nfsPort).ok());
  Bytes root;
  {
    RpcConnection conn;
    ASSERT_TRUE(conn.open(host_, mountPort, 5000, 5000, true).ok());
    XdrWriter args;
    args.putString(export_);
    RpcRecord reply;
    size_t at = 0;
    ASSERT_TRUE(conn.call(kMountProgram, kMountVersion, kMountMnt, args, reply, at, "mount").ok());
    XdrReader r(reply.data() + at, reply.size() - at);
    uint32_t status = 1;
    bool unixAllowed = false;
    ASSERT_TRUE(DecodeMountReply(r, status, root, unixAllowed));
    ASSERT_EQ(status, 0u);
    EXPECT_TRUE(unixAllowed);
  }
  for (const bool reserved : {false, true}) {
    RpcConnection conn;
    ASSERT_TRUE(conn.open(host_, nfsPort, 5000, 5000, reserved).ok());
    EXPECT_EQ(conn.localPort() < 1024, reserved);
    XdrWriter args;
    args.putOpaque(root);
    RpcRecord reply;
    size_t at = 0;
    Status s = conn.call(kNfsProgram, kNfsVersion, kNfsGetattr, args, reply, at, "getattr");
    uint32_t nfsStatus = 1;
    if (s.ok()) {
      XdrReader r(reply.data() + at, reply.size() - at);
      nfsStatus = r.getU32();
    }
    const bool accepted = s.ok() && nfsStatus == 0;
    EXPECT_EQ(accepted, reserved) << "reserved=" << reserved << ": " << s.toString() << " nfs status " << nfsStatus;
  }
}

}  // namespace
}  // namespace tarn
