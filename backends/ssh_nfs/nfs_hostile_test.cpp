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

#include <algorithm>
#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "backends/ssh_nfs/nfs_backend.h"
#include "foundation/cancel_token.h"
#include "testing/gate.h"

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
      {"lookup reports an impossible size", kNfsLookup,
       [](XdrReader&, XdrWriter& w) {
         w.putU32(kNfs3Ok);
         w.putOpaque(Bytes{'F'});
         w.putBool(true);
         PutFattr(w, kNf3Reg, ~0ull);
         w.putBool(false);
         return true;
       },
       [](NfsBackend& b) {
         RemoteAttr a;
         return b.stat("/f", a);
       },
       Status::kProtocol},
      {"listed entry with an impossible size", kNfsReaddirplus,
       [](XdrReader&, XdrWriter& w) {
         w.putU32(kNfs3Ok);
         w.putBool(false);
         w.putU64(0);  // cookie verifier
         w.putBool(true);
         w.putU64(5);
         w.putString("huge");
         w.putU64(1);
         w.putBool(true);
         PutFattr(w, kNf3Reg, kMaxRemoteFileBytes + 1);
         w.putBool(false);
         w.putBool(false);
         w.putBool(true);
         return true;
       },
       [](NfsBackend& b) {
         std::vector<DirEntry> out;
         return b.list("/", out);
       },
       Status::kProtocol},
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

// The server restarts after a number of WRITEs: from then on every WRITE
// and the COMMIT carry its new verifier, as a real restarted server's do.
TEST(NfsHostileServerTest, ServerRestartDuringAnUploadFailsIt) {
  struct Case {
    const char* name;
    int restartAfterWrites;  // -1: never
    int32_t code;
  } cases[] = {
      {"no restart", -1, Status::kOk},
      {"restart between writes", 1, Status::kIo},
      {"restart after the last write", 3, Status::kIo},
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
    auto writes = std::make_shared<std::atomic<int>>(0);
    const int restartAt = c.restartAfterWrites;
    auto verifier = [writes, restartAt] { return restartAt >= 0 && writes->load() >= restartAt ? 2u : 1u; };
    server.on(kNfsProgram, kNfsWrite, [writes, verifier](XdrReader& args, XdrWriter& w) {
      args.getOpaque(kNfsFhMax);
      args.getU64();
      const uint32_t count = args.getU32();
      w.putU32(kNfs3Ok);
      w.putBool(false);
      w.putBool(false);
      w.putU32(count);
      w.putU32(kUnstable);
      w.putU64(verifier());
      ++*writes;
      return true;
    });
    server.on(kNfsProgram, kNfsCommit, [verifier](XdrReader&, XdrWriter& w) {
      w.putU32(kNfs3Ok);
      w.putBool(false);
      w.putBool(false);
      w.putU64(verifier());
      return true;
    });
    server.on(kNfsProgram, kNfsRemove, empty(kNfs3Ok, 2));
    server.on(kNfsProgram, kNfsRename, empty(kNfs3Ok, 4));
    // The upload lists its folder once: an empty one.
    server.on(kNfsProgram, kNfsReaddirplus, [](XdrReader&, XdrWriter& w) {
      w.putU32(kNfs3Ok);
      w.putBool(false);  // no folder attributes
      w.putU64(0);       // cookie verifier
      w.putBool(false);  // no entries
      w.putBool(true);   // the end
      return true;
    });

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

// A rename that stops an upload cancels its calls: the create of the
// upload's temporary, or its removal when the upload is given up, may be
// done by the server while its answer is never read. The temporary is then
// removed at the next connect, which the cut call makes necessary, and never
// stays beside the file.
TEST(NfsHostileServerTest, ATemporaryWhoseCreateOrRemovalWasCutShortGoesAtTheNextConnect) {
  for (const uint32_t cut : {kNfsCreate, kNfsRemove}) {
    SCOPED_TRACE(cut == kNfsCreate ? "create cut short" : "removal cut short");
    FakeNfsServer server;
    NfsBackend b(ConfigFor(server));
    ASSERT_TRUE(b.connect().ok());
    auto mu = std::make_shared<std::mutex>();
    auto created = std::make_shared<std::vector<std::string>>();  // guarded by *mu
    auto removed = std::make_shared<std::vector<std::string>>();  // guarded by *mu
    auto held = std::make_shared<test::Gate>();
    // The call that is cut short is held until the client has given up on
    // it, and then answered by dropping the connection.
    auto record = [mu, held, cut](uint32_t proc, std::vector<std::string>* names, XdrReader& args) {
      args.getOpaque(kNfsFhMax);
      const std::string name = args.getString(kNfsNameMax);
      {
        std::lock_guard<std::mutex> lock(*mu);
        names->push_back(name);
      }
      if (proc != cut || held->arrived()) return true;
      held->arriveAndWait();
      return false;
    };
    server.on(kNfsProgram, kNfsLookup, [](XdrReader&, XdrWriter& w) {
      w.putU32(kNfs3ErrNoent);
      w.putBool(false);
      return true;
    });
    server.on(kNfsProgram, kNfsReaddirplus, [](XdrReader&, XdrWriter& w) {
      w.putU32(kNfs3Ok);
      w.putBool(false);
      w.putU64(0);
      w.putBool(false);
      w.putBool(true);
      return true;
    });
    server.on(kNfsProgram, kNfsCreate, [record, created](XdrReader& args, XdrWriter& w) {
      if (!record(kNfsCreate, created.get(), args)) return false;
      w.putU32(kNfs3Ok);
      w.putBool(true);
      w.putOpaque(Bytes{'T', 'M', 'P'});
      w.putBool(false);
      w.putBool(false);
      w.putBool(false);
      return true;
    });
    server.on(kNfsProgram, kNfsRemove, [record, removed](XdrReader& args, XdrWriter& w) {
      if (!record(kNfsRemove, removed.get(), args)) return false;
      w.putU32(kNfs3Ok);
      w.putBool(false);
      w.putBool(false);
      return true;
    });

    CancelToken token;
    std::unique_ptr<IWriteStream> stream;
    if (cut == kNfsRemove) {
      ASSERT_TRUE(b.openWrite("/doc", 0, 10, stream).ok());
    }
    b.setCancelToken(&token);
    Status result;
    std::thread call([&] {
      if (cut == kNfsCreate) {
        result = b.openWrite("/doc", 0, 10, stream);
      } else {
        stream->abort();
      }
    });
    ASSERT_TRUE(held->waitArrived());
    token.cancel();
    call.join();
    held->release();
    if (cut == kNfsCreate) {
      EXPECT_EQ(result.code, Status::kCanceled) << result.toString();
    }
    b.setCancelToken(nullptr);
    ASSERT_TRUE(b.connect().ok());
    std::lock_guard<std::mutex> lock(*mu);
    ASSERT_EQ(created->size(), 1u);
    EXPECT_EQ(std::count(removed->begin(), removed->end(), created->front()), cut == kNfsCreate ? 1 : 2)
        << "the temporary " << created->front() << " stays";
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

// A tree the test changes between calls, served on FakeNfsServer: LOOKUP
// answers from `names`, READ returns bytes that tell both the handle read
// and the offset (at most `readCap` a call), and WRITE records its handle.
struct Tree {
  static constexpr uint64_t kFileSize = 10000;
  std::mutex mu;
  std::map<std::pair<Bytes, std::string>, Bytes> names;  // guarded by mu
  std::set<Bytes> folders;                                // guarded by mu
  std::vector<Bytes> written;                             // guarded by mu
  uint32_t readCap = 1u << 20;

  static uint8_t Byte(uint8_t handleByte, uint64_t offset) { return static_cast<uint8_t>(handleByte + offset * 7); }

  void serve(FakeNfsServer& server) {
    server.on(kNfsProgram, kNfsLookup, [this](XdrReader& args, XdrWriter& w) {
      const Bytes dir = args.getOpaque(kNfsFhMax);
      const std::string name = args.getString(kNfsNameMax);
      std::lock_guard<std::mutex> lock(mu);
      auto it = names.find({dir, name});
      if (it == names.end()) {
        w.putU32(kNfs3ErrNoent);
        w.putBool(false);
        return true;
      }
      w.putU32(kNfs3Ok);
      w.putOpaque(it->second);
      w.putBool(true);
      PutFattr(w, folders.count(it->second) != 0 ? kNf3Dir : kNf3Reg, kFileSize);
      w.putBool(false);
      return true;
    });
    server.on(kNfsProgram, kNfsRead, [this](XdrReader& args, XdrWriter& w) {
      const Bytes fh = args.getOpaque(kNfsFhMax);
      const uint64_t offset = args.getU64();
      const uint32_t count = args.getU32();
      const uint64_t n = offset >= kFileSize ? 0 : std::min<uint64_t>({count, readCap, kFileSize - offset});
      Bytes data(n);
      for (uint64_t k = 0; k < n; ++k) data[k] = Byte(fh[0], offset + k);
      w.putU32(kNfs3Ok);
      w.putBool(false);
      w.putU32(static_cast<uint32_t>(n));
      w.putBool(offset + n >= kFileSize);
      w.putOpaque(data);
      return true;
    });
    server.on(kNfsProgram, kNfsWrite, [this](XdrReader& args, XdrWriter& w) {
      const Bytes fh = args.getOpaque(kNfsFhMax);
      args.getU64();
      const uint32_t count = args.getU32();
      {
        std::lock_guard<std::mutex> lock(mu);
        written.push_back(fh);
      }
      w.putU32(kNfs3Ok);
      w.putBool(false);
      w.putBool(false);
      w.putU32(count);
      w.putU32(kFileSync);
      w.putU64(1);
      return true;
    });
  }
};

// True when buf holds what the tree serves from handleByte's file at offset.
::testing::AssertionResult Holds(const Bytes& buf, uint64_t got, uint8_t handleByte, uint64_t offset) {
  for (uint64_t k = 0; k < got; ++k)
    if (buf[k] != Tree::Byte(handleByte, offset + k))
      return ::testing::AssertionFailure() << "byte " << k << " is not from handle " << handleByte << " at "
                                           << offset + k;
  return ::testing::AssertionSuccess();
}

TEST(NfsHostileServerTest, RememberedHandlesCountOnlyOnceTheServerConfirmsThem) {
  const Bytes root{'R', 'O', 'O', 'T'}, a{'A'}, b{'B'}, d1{'D', '1'}, d2{'D', '2'};
  struct Case {
    const char* name;
    std::string path;
    std::function<void(Tree&)> change;
    uint8_t expected;    // the handle the second read must read
    int secondReads;     // READ calls the second read makes
  } cases[] = {
      {"nothing changed", "/f", [](Tree&) {}, 'A', 3},
      {"file replaced", "/f", [&](Tree& t) { t.names[{root, "f"}] = b; }, 'B', 5},
      {"folder replaced", "/d/f", [&](Tree& t) { t.names[{root, "d"}] = d2; }, 'B', 5},
  };
  for (const Case& c : cases) {
    FakeNfsServer server;
    Tree tree;
    tree.names = {{{root, "f"}, a}, {{root, "d"}, d1}, {{d1, "f"}, a}, {{d2, "f"}, b}};
    tree.folders = {d1, d2};
    tree.serve(server);
    NfsBackend backend(ConfigFor(server));
    ASSERT_TRUE(backend.connect().ok()) << c.name;
    Bytes buf(Tree::kFileSize);
    uint64_t got = 0;
    ASSERT_TRUE(backend.readRange(c.path, 0, buf.data(), buf.size(), got).ok()) << c.name;
    ASSERT_EQ(got, Tree::kFileSize) << c.name;
    EXPECT_TRUE(Holds(buf, got, 'A', 0)) << c.name;
    const int readsBefore = server.calls(kNfsProgram, kNfsRead);
    {
      std::lock_guard<std::mutex> lock(tree.mu);
      c.change(tree);
    }
    // Server calls run in order, so the ones of the read above are counted.
    ASSERT_TRUE(backend.readRange(c.path, 0, buf.data(), buf.size(), got).ok()) << c.name;
    ASSERT_EQ(got, Tree::kFileSize) << c.name;
    EXPECT_TRUE(Holds(buf, got, c.expected, 0)) << c.name;
    EXPECT_EQ(server.calls(kNfsProgram, kNfsRead) - readsBefore, c.secondReads)
        << c.name << ": READs sent ahead on the remembered handle, kept only when it held";
    ASSERT_TRUE(backend.writeAt(c.path, 0, buf.data(), 100).ok()) << c.name;
    std::lock_guard<std::mutex> lock(tree.mu);
    ASSERT_FALSE(tree.written.empty()) << c.name;
    for (const Bytes& fh : tree.written) EXPECT_EQ(fh[0], c.expected) << c.name << ": a write on a stale handle";
  }
}

TEST(NfsHostileServerTest, ShortReadsAreCompletedInOrder) {
  const Bytes root{'R', 'O', 'O', 'T'};
  struct Read {
    uint64_t offset;
    uint64_t length;
    uint64_t expected;
  } reads[] = {
      {0, Tree::kFileSize, Tree::kFileSize},
      {4000, 3000, 3000},
      {9000, 5000, 1000},
      {Tree::kFileSize, 10, 0},
  };
  for (uint32_t cap : {4096u, 1000u, 333u}) {
    FakeNfsServer server;
    Tree tree;
    tree.names = {{{root, "f"}, Bytes{'F'}}};
    tree.readCap = cap;
    tree.serve(server);
    NfsBackend backend(ConfigFor(server));
    ASSERT_TRUE(backend.connect().ok()) << cap;
    for (const Read& r : reads) {
      Bytes buf(r.length, 0xEE);
      uint64_t got = 0;
      Status s = backend.readRange("/f", r.offset, buf.data(), r.length, got);
      ASSERT_TRUE(s.ok()) << cap << ": " << s.toString();
      EXPECT_EQ(got, r.expected) << "cap " << cap << " offset " << r.offset;
      EXPECT_TRUE(Holds(buf, got, 'F', r.offset)) << "cap " << cap << " offset " << r.offset;
    }
    std::unique_ptr<IReadStream> stream;
    ASSERT_TRUE(backend.openRead("/f", 2500, stream).ok()) << cap;
    Bytes all, buf(1500);
    for (uint64_t got = 1; got > 0;) {
      ASSERT_TRUE(stream->read(buf.data(), buf.size(), got).ok()) << cap;
      all.insert(all.end(), buf.begin(), buf.begin() + static_cast<long>(got));
    }
    EXPECT_EQ(all.size(), Tree::kFileSize - 2500) << cap;
    EXPECT_TRUE(Holds(all, all.size(), 'F', 2500)) << cap;
  }
}

}  // namespace
}  // namespace tarn
