// NfsBackend against a scripted server on 127.0.0.1 that answers MOUNT and
// NFS calls on one port (the "mountport" and "nfsport" options point there),
// so that replies no real server sends can be played: oversized data,
// listings that never end, changing write verifiers, refused mounts.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "backends/ssh_nfs/nfs_backend.h"

namespace tarn {
namespace {

using Bytes = std::vector<uint8_t>;

void PutFattr(XdrWriter& w, uint32_t type, uint64_t size) {
  w.putU32(type);
  w.putU32(0755);
  for (int i = 0; i < 3; ++i) w.putU32(0);  // nlink, uid, gid
  w.putU64(size);
  w.putU64(0);  // used
  w.putU64(0);  // rdev
  w.putU64(1);  // fsid
  w.putU64(2);  // fileid
  for (int i = 0; i < 6; ++i) w.putU32(1);  // atime, mtime, ctime
}

// Serves one connection at a time, one call after another. A handler fills
// the results after the accept status; returning false drops the connection.
class FakeNfsServer {
 public:
  using Handler = std::function<bool(XdrReader& args, XdrWriter& results)>;

  FakeNfsServer() {
    listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof(a));
    ::listen(listen_, 4);
    socklen_t len = sizeof(a);
    ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);

    on(kMountProgram, kMountMnt, [](XdrReader&, XdrWriter& w) {
      w.putU32(0);
      w.putOpaque(Bytes{'R', 'O', 'O', 'T'});
      w.putU32(1);
      w.putU32(kAuthUnix);
      return true;
    });
    on(kMountProgram, kMountUmnt, [](XdrReader&, XdrWriter&) { return true; });
    on(kNfsProgram, kNfsNull, [](XdrReader&, XdrWriter&) { return true; });
    on(kNfsProgram, kNfsGetattr, [](XdrReader& args, XdrWriter& w) {
      const Bytes fh = args.getOpaque(kNfsFhMax);
      w.putU32(kNfs3Ok);
      PutFattr(w, fh == Bytes{'R', 'O', 'O', 'T'} ? kNf3Dir : kNf3Reg, 10000);
      return true;
    });
    on(kNfsProgram, kNfsFsinfo, [](XdrReader&, XdrWriter& w) {
      w.putU32(kNfs3Ok);
      w.putBool(false);
      for (uint32_t v : {4096u, 4096u, 1u, 4096u, 4096u, 1u, 4096u}) w.putU32(v);
      w.putU64(1ull << 40);  // maxfilesize
      w.putU32(0);
      w.putU32(1);  // time_delta
      w.putU32(0);  // properties
      return true;
    });
    on(kNfsProgram, kNfsLookup, [](XdrReader&, XdrWriter& w) {
      w.putU32(kNfs3Ok);
      w.putOpaque(Bytes{'F', 'I', 'L', 'E'});
      w.putBool(true);
      PutFattr(w, kNf3Reg, 10000);
      w.putBool(false);
      return true;
    });
    thread_ = std::thread([this] { serve(); });
  }

  ~FakeNfsServer() {
    stop_ = true;
    thread_.join();
    ::close(listen_);
  }

  void on(uint32_t program, uint32_t proc, Handler h) {
    std::lock_guard<std::mutex> lock(mu_);
    handlers_[{program, proc}] = std::move(h);
  }
  int calls(uint32_t program, uint32_t proc) {
    std::lock_guard<std::mutex> lock(mu_);
    return counts_[{program, proc}];
  }
  uint32_t port() const { return port_; }

 private:
  bool readFull(int fd, uint8_t* p, size_t n) {
    while (n > 0) {
      pollfd pfd{fd, POLLIN, 0};
      if (::poll(&pfd, 1, 50) == 0) {
        if (stop_) return false;
        continue;
      }
      const ssize_t r = ::recv(fd, p, n, 0);
      if (r <= 0) return false;
      p += r;
      n -= static_cast<size_t>(r);
    }
    return true;
  }

  void serveConnection(int fd) {
    for (;;) {
      uint8_t mark[4];
      if (!readFull(fd, mark, 4)) return;
      XdrReader mr(mark, 4);
      Bytes call(mr.getU32() & ~kLastFragment);
      if (!readFull(fd, call.data(), call.size())) return;
      XdrReader r(call.data(), call.size());
      const uint32_t xid = r.getU32();
      r.skip(8);  // message type, rpc version
      const uint32_t program = r.getU32();
      r.getU32();  // version
      const uint32_t proc = r.getU32();
      r.getU32();
      r.getOpaque(kMaxAuthBytes);  // credential
      r.getU32();
      r.getOpaque(kMaxAuthBytes);  // verifier
      Handler h;
      {
        std::lock_guard<std::mutex> lock(mu_);
        ++counts_[{program, proc}];
        auto it = handlers_.find({program, proc});
        if (it != handlers_.end()) h = it->second;
      }
      XdrWriter reply;
      for (uint32_t v : {xid, kRpcReply, 0u, kAuthNone, 0u, 0u}) reply.putU32(v);
      if (!h || !h(r, reply)) return;
      XdrWriter framed;
      framed.putU32(kLastFragment | static_cast<uint32_t>(reply.size()));
      framed.putFixed(reply.bytes().data(), reply.size());
      ::send(fd, framed.bytes().data(), framed.size(), MSG_NOSIGNAL);
    }
  }

  void serve() {
    while (!stop_) {
      pollfd pfd{listen_, POLLIN, 0};
      if (::poll(&pfd, 1, 50) <= 0) continue;
      const int fd = ::accept(listen_, nullptr, nullptr);
      if (fd < 0) continue;
      serveConnection(fd);
      ::close(fd);
    }
  }

  int listen_ = -1;
  uint32_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::mutex mu_;
  std::map<std::pair<uint32_t, uint32_t>, Handler> handlers_;  // guarded by mu_
  std::map<std::pair<uint32_t, uint32_t>, int> counts_;        // guarded by mu_
  std::thread thread_;
};

EndpointConfig ConfigFor(const FakeNfsServer& server) {
  EndpointConfig c;
  c.protocol = "nfs";
  c.host = "127.0.0.1";
  c.root = "/export";
  c.connectTimeoutMs = 2000;
  c.ioTimeoutMs = 2000;
  c.extra = "mountport=" + std::to_string(server.port()) + ";nfsport=" + std::to_string(server.port());
  return c;
}

TEST(NfsHostileServerTest, ConnectReadsLimitsAndRefusals) {
  {
    FakeNfsServer server;
    NfsBackend b(ConfigFor(server));
    Status s = b.connect();
    ASSERT_TRUE(s.ok()) << s.toString();
    EXPECT_EQ(b.caps().maxFileBytes, 1ull << 40);
    // The server's 4096-byte transfer size splits a larger read.
    std::vector<uint8_t> buf(10000);
    server.on(kNfsProgram, kNfsRead, [](XdrReader& args, XdrWriter& w) {
      args.getOpaque(kNfsFhMax);
      args.getU64();
      const uint32_t count = args.getU32();
      w.putU32(kNfs3Ok);
      w.putBool(false);
      w.putU32(count);
      w.putBool(false);
      w.putOpaque(Bytes(count, 7));
      return true;
    });
    uint64_t got = 0;
    ASSERT_TRUE(b.readRange("/f", 0, buf.data(), buf.size(), got).ok());
    EXPECT_EQ(got, 10000u);
    EXPECT_EQ(server.calls(kNfsProgram, kNfsRead), 3);
  }
  struct Case {
    const char* name;
    FakeNfsServer::Handler mnt;
    int32_t code;
  } cases[] = {
      {"refused export", [](XdrReader&, XdrWriter& w) { w.putU32(13); return true; }, Status::kAccessDenied},
      {"kerberos only",
       [](XdrReader&, XdrWriter& w) {
         w.putU32(0);
         w.putOpaque(Bytes{1});
         w.putU32(1);
         w.putU32(390003);
         return true;
       },
       Status::kAuthFailed},
      {"handle too long",
       [](XdrReader&, XdrWriter& w) {
         w.putU32(0);
         w.putOpaque(Bytes(kNfsFhMax + 1, 1));
         w.putU32(0);
         return true;
       },
       Status::kProtocol},
      {"connection dropped", [](XdrReader&, XdrWriter&) { return false; }, Status::kNetwork},
  };
  for (const Case& c : cases) {
    FakeNfsServer server;
    server.on(kMountProgram, kMountMnt, c.mnt);
    NfsBackend b(ConfigFor(server));
    Status s = b.connect();
    EXPECT_EQ(s.code, c.code) << c.name << ": " << s.toString();
    EXPECT_FALSE(b.isConnected()) << c.name;
  }
}

TEST(NfsHostileServerTest, MalformedResultsAreProtocolFaults) {
  auto readReply = [](uint32_t claimed, uint32_t sent) {
    return [claimed, sent](XdrReader& args, XdrWriter& w) {
      args.getOpaque(kNfsFhMax);
      args.getU64();
      args.getU32();
      w.putU32(kNfs3Ok);
      w.putBool(false);
      w.putU32(claimed);
      w.putBool(true);
      w.putOpaque(Bytes(sent, 1));
      return true;
    };
  };
  struct Case {
    const char* name;
    uint32_t proc;
    FakeNfsServer::Handler handler;
    std::function<Status(NfsBackend&)> op;
    int32_t code;
  } cases[] = {
      {"read returns more than asked", kNfsRead, readReply(20, 20),
       [](NfsBackend& b) {
         uint8_t buf[16];
         uint64_t got = 0;
         return b.readRange("/f", 0, buf, sizeof(buf), got);
       },
       Status::kProtocol},
      {"read count disagrees with data", kNfsRead, readReply(8, 4),
       [](NfsBackend& b) {
         uint8_t buf[16];
         uint64_t got = 0;
         return b.readRange("/f", 0, buf, sizeof(buf), got);
       },
       Status::kProtocol},
      {"listing pages never end", kNfsReaddirplus,
       [](XdrReader&, XdrWriter& w) {
         w.putU32(kNfs3Ok);
         w.putBool(false);
         w.putU64(0);      // cookie verifier
         w.putBool(false);  // no entries
         w.putBool(false);  // not the end
         return true;
       },
       [](NfsBackend& b) {
         std::vector<DirEntry> out;
         return b.list("/", out);
       },
       Status::kProtocol},
      {"lookup handle too long", kNfsLookup,
       [](XdrReader&, XdrWriter& w) {
         w.putU32(kNfs3Ok);
         w.putOpaque(Bytes(kNfsFhMax + 1, 1));
         return true;
       },
       [](NfsBackend& b) {
         RemoteAttr a;
         return b.stat("/f", a);
       },
       Status::kProtocol},
      {"lookup truncated", kNfsLookup,
       [](XdrReader&, XdrWriter& w) {
         w.putU32(kNfs3Ok);
         w.putU32(4);
         return true;
       },
       [](NfsBackend& b) {
         RemoteAttr a;
         return b.stat("/f", a);
       },
       Status::kProtocol},
      {"write stores nothing", kNfsWrite,
       [](XdrReader&, XdrWriter& w) {
         w.putU32(kNfs3Ok);
         w.putBool(false);
         w.putBool(false);  // wcc_data
         w.putU32(0);
         w.putU32(kFileSync);
         w.putU64(0);
         return true;
       },
       [](NfsBackend& b) { return b.writeAt("/f", 0, reinterpret_cast<const uint8_t*>("x"), 1); }, Status::kIo},
      {"server fault", kNfsSetattr,
       [](XdrReader&, XdrWriter& w) {
         w.putU32(kNfs3ErrJukebox);
         w.putBool(false);
         w.putBool(false);
         return true;
       },
       [](NfsBackend& b) { return b.truncate("/f", 0); }, Status::kBusy},
  };
  for (const Case& c : cases) {
    FakeNfsServer server;
    NfsBackend b(ConfigFor(server));
    ASSERT_TRUE(b.connect().ok()) << c.name;
    server.on(kNfsProgram, c.proc, c.handler);
    Status s = c.op(b);
    EXPECT_EQ(s.code, c.code) << c.name << ": " << s.toString();
  }
}

TEST(NfsHostileServerTest, ChangedWriteVerifierFailsTheUpload) {
  struct Case {
    const char* name;
    bool changePerWrite;
    uint64_t commitVerifier;
    int32_t code;
  } cases[] = {
      {"steady verifier", false, 1, Status::kOk},
      {"verifier changes between writes", true, 1, Status::kIo},
      {"verifier changes at commit", false, 2, Status::kIo},
  };
  auto empty = [](uint32_t status, int wccCount) {
    return [status, wccCount](XdrReader&, XdrWriter& w) {
      w.putU32(status);
      for (int i = 0; i < wccCount; ++i) w.putBool(false);
      return true;
    };
  };
  for (const Case& c : cases) {
    FakeNfsServer server;
    NfsBackend b(ConfigFor(server));
    ASSERT_TRUE(b.connect().ok());
    server.on(kNfsProgram, kNfsLookup, empty(kNfs3ErrNoent, 1));
    server.on(kNfsProgram, kNfsCreate, [](XdrReader&, XdrWriter& w) {
      w.putU32(kNfs3Ok);
      w.putBool(true);
      w.putOpaque(Bytes{'T', 'M', 'P'});
      w.putBool(false);
      w.putBool(false);
      w.putBool(false);
      return true;
    });
    auto verifier = std::make_shared<std::atomic<uint64_t>>(1);
    const bool change = c.changePerWrite;
    server.on(kNfsProgram, kNfsWrite, [verifier, change](XdrReader& args, XdrWriter& w) {
      args.getOpaque(kNfsFhMax);
      args.getU64();
      const uint32_t count = args.getU32();
      w.putU32(kNfs3Ok);
      w.putBool(false);
      w.putBool(false);
      w.putU32(count);
      w.putU32(kUnstable);
      w.putU64(change ? verifier->fetch_add(1) : 1);
      return true;
    });
    const uint64_t commitVerifier = c.commitVerifier;
    server.on(kNfsProgram, kNfsCommit, [commitVerifier](XdrReader&, XdrWriter& w) {
      w.putU32(kNfs3Ok);
      w.putBool(false);
      w.putBool(false);
      w.putU64(commitVerifier);
      return true;
    });
    server.on(kNfsProgram, kNfsRemove, empty(kNfs3Ok, 2));
    server.on(kNfsProgram, kNfsRename, empty(kNfs3Ok, 4));

    std::unique_ptr<IWriteStream> stream;
    ASSERT_TRUE(b.openWrite("/f", 0, 10000, stream).ok()) << c.name;
    const Bytes data(10000, 3);
    Status s = stream->write(data.data(), data.size());
    if (s.ok()) s = stream->finish(nullptr);
    EXPECT_EQ(s.code, c.code) << c.name << ": " << s.toString();
    const bool ok = c.code == Status::kOk;
    EXPECT_EQ(server.calls(kNfsProgram, kNfsRename), ok ? 1 : 0) << c.name << ": replaced only when sound";
    EXPECT_EQ(server.calls(kNfsProgram, kNfsRemove), ok ? 0 : 1) << c.name << ": a failed upload's temporary goes";
  }
}

TEST(NfsHostileServerTest, ListFallsBackToNamesWhenReaddirplusIsMissing) {
  FakeNfsServer server;
  NfsBackend b(ConfigFor(server));
  ASSERT_TRUE(b.connect().ok());
  server.on(kNfsProgram, kNfsReaddirplus, [](XdrReader&, XdrWriter& w) {
    w.putU32(kNfs3ErrNotsupp);
    w.putBool(false);
    return true;
  });
  server.on(kNfsProgram, kNfsReaddir, [](XdrReader& args, XdrWriter& w) {
    args.getOpaque(kNfsFhMax);
    const uint64_t cookie = args.getU64();
    w.putU32(kNfs3Ok);
    w.putBool(false);
    w.putU64(0);  // cookie verifier
    const std::vector<std::string> names = cookie == 0 ? std::vector<std::string>{".", "a", "b"}
                                                       : std::vector<std::string>{"c"};
    uint64_t next = cookie;
    for (const std::string& n : names) {
      w.putBool(true);
      w.putU64(9);
      w.putString(n);
      w.putU64(++next);
    }
    w.putBool(false);
    w.putBool(cookie != 0);  // two pages
    return true;
  });
  for (int round = 0; round < 2; ++round) {
    std::vector<DirEntry> out;
    Status s = b.list("/", out);
    ASSERT_TRUE(s.ok()) << s.toString();
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0].name, "a");
    EXPECT_EQ(out[2].name, "c");
    EXPECT_EQ(out[2].attr.size, 10000u) << "attributes from LOOKUP";
  }
  EXPECT_EQ(server.calls(kNfsProgram, kNfsReaddirplus), 1) << "asked once per connection";
  EXPECT_EQ(server.calls(kNfsProgram, kNfsReaddir), 4);
}

TEST(NfsHostileServerTest, TryAgainLaterIsRetriedThenBusy) {
  struct Case {
    int jukeboxAnswers;
    int32_t code;
    int calls;
  } cases[] = {
      {2, Status::kOk, 3},
      {100, Status::kBusy, 4},
  };
  for (const Case& c : cases) {
    FakeNfsServer server;
    NfsBackend b(ConfigFor(server));
    ASSERT_TRUE(b.connect().ok());
    auto left = std::make_shared<std::atomic<int>>(c.jukeboxAnswers);
    server.on(kNfsProgram, kNfsMkdir, [left](XdrReader&, XdrWriter& w) {
      const bool busy = left->fetch_sub(1) > 0;
      w.putU32(busy ? kNfs3ErrJukebox : kNfs3Ok);
      if (!busy) {
        w.putBool(false);  // no handle
        w.putBool(false);  // no attributes
      }
      w.putBool(false);
      w.putBool(false);  // wcc_data
      return true;
    });
    Status s = b.mkdir("/d");
    EXPECT_EQ(s.code, c.code) << c.jukeboxAnswers << ": " << s.toString();
    EXPECT_EQ(server.calls(kNfsProgram, kNfsMkdir), c.calls) << c.jukeboxAnswers;
  }
}

}  // namespace
}  // namespace tarn
