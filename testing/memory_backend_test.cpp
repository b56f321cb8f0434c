#include "testing/memory_backend.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace tarn::test {
namespace {

class MemoryBackendTest : public ::testing::Test {
 protected:
  void SetUp() override { connect(); }

  void connect() {
    conn_ = server_->connection();
    ASSERT_TRUE(conn_->connect().ok());
  }

  std::string readAll(const std::string& path, uint64_t offset = 0) {
    std::unique_ptr<IReadStream> stream;
    Status st = conn_->openRead(path, offset, stream);
    EXPECT_TRUE(st.ok()) << st.toString();
    if (!st.ok()) return "";
    std::string out;
    uint8_t buf[3];
    for (;;) {
      uint64_t got = 0;
      st = stream->read(buf, sizeof buf, got);
      EXPECT_TRUE(st.ok()) << st.toString();
      if (!st.ok() || got == 0) break;
      out.append(reinterpret_cast<char*>(buf), got);
    }
    return out;
  }

  Status upload(const std::string& path, const std::string& data, RemoteAttr* out = nullptr) {
    std::unique_ptr<IWriteStream> stream;
    Status st = conn_->openWrite(path, 0, data.size(), stream);
    if (!st.ok()) return st;
    st = stream->write(reinterpret_cast<const uint8_t*>(data.data()), data.size());
    if (!st.ok()) return st;
    return stream->finish(out);
  }

  std::string content(const std::string& path) {
    std::string data;
    EXPECT_TRUE(server_->readFile(path, &data)) << path;
    return data;
  }

  std::shared_ptr<MemoryServer> server_ = std::make_shared<MemoryServer>();
  std::unique_ptr<MemoryBackend> conn_;
};

TEST_F(MemoryBackendTest, ReadsHonourTheEndsOfTheObject) {
  server_->putFile("/f", "0123456789");
  struct Case {
    uint64_t offset, length, got;
    std::string bytes;
  } cases[] = {
      {0, 4, 4, "0123"}, {6, 10, 4, "6789"}, {10, 4, 0, ""}, {11, 4, 0, ""}, {3, 0, 0, ""},
  };
  for (const Case& c : cases) {
    uint8_t buf[16] = {};
    uint64_t got = 99;
    Status st = conn_->readRange("/f", c.offset, buf, c.length, got);
    ASSERT_TRUE(st.ok()) << st.toString();
    EXPECT_EQ(got, c.got) << "offset " << c.offset;
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), got), c.bytes);
  }
  uint64_t got = 0;
  uint8_t buf[4];
  EXPECT_EQ(conn_->readRange("/missing", 0, buf, 4, got).code, Status::kNotFound);
  server_->makeDir("/d");
  EXPECT_EQ(conn_->readRange("/d", 0, buf, 4, got).code, Status::kIsDirectory);
  EXPECT_EQ(readAll("/f"), "0123456789");
  EXPECT_EQ(readAll("/f", 5), "56789");
  EXPECT_EQ(readAll("/f", 10), "");
  EXPECT_EQ(readAll("/f", 20), "");
}

TEST_F(MemoryBackendTest, NamespaceOperationsKeepTheirContracts) {
  server_->putFile("/a/file", "x");
  server_->makeDir("/a/empty");
  server_->putFile("/a/full/child", "y");
  std::vector<DirEntry> entries;
  RemoteAttr attr;
  struct Case {
    const char* name;
    std::function<Status()> call;
    int32_t code;
  } cases[] = {
      {"create on existing file", [&] { return conn_->create("/a/file"); }, Status::kExists},
      {"create on existing folder", [&] { return conn_->create("/a/empty"); }, Status::kExists},
      {"create without parent", [&] { return conn_->create("/nope/x"); }, Status::kNotFound},
      {"create under a file", [&] { return conn_->create("/a/file/x"); }, Status::kNotDirectory},
      {"mkdir existing", [&] { return conn_->mkdir("/a/empty"); }, Status::kExists},
      {"mkdir without parent", [&] { return conn_->mkdir("/x/y"); }, Status::kNotFound},
      {"remove missing", [&] { return conn_->remove("/a/gone", false); }, Status::kNotFound},
      {"remove file as folder", [&] { return conn_->remove("/a/file", true); }, Status::kNotDirectory},
      {"remove folder as file", [&] { return conn_->remove("/a/empty", false); }, Status::kIsDirectory},
      {"remove non-empty folder", [&] { return conn_->remove("/a/full", true); }, Status::kNotEmpty},
      {"remove the root", [&] { return conn_->remove("/", true); }, Status::kAccessDenied},
      {"rename missing", [&] { return conn_->rename("/a/gone", "/a/g2", false); }, Status::kNotFound},
      {"rename onto existing", [&] { return conn_->rename("/a/full/child", "/a/file", false); }, Status::kExists},
      {"rename file over folder", [&] { return conn_->rename("/a/file", "/a/empty", true); },
       Status::kIsDirectory},
      {"rename folder over full folder", [&] { return conn_->rename("/a/empty", "/a/full", true); },
       Status::kNotEmpty},
      {"rename into itself", [&] { return conn_->rename("/a", "/a/empty/a", false); }, Status::kInvalid},
      {"rename to missing parent", [&] { return conn_->rename("/a/file", "/q/file", false); },
       Status::kNotFound},
      {"list a file", [&] { return conn_->list("/a/file", entries); }, Status::kNotDirectory},
      {"list missing", [&] { return conn_->list("/zz", entries); }, Status::kNotFound},
      {"stat missing", [&] { return conn_->stat("/zz", attr); }, Status::kNotFound},
      {"writeAt without capability", [&] { return conn_->writeAt("/a/file", 0, nullptr, 0); },
       Status::kUnsupported},
      {"truncate without capability", [&] { return conn_->truncate("/a/file", 0); }, Status::kUnsupported},
  };
  for (const Case& c : cases) EXPECT_EQ(c.call().code, c.code) << c.name;
  // Failed calls changed nothing.
  EXPECT_EQ(content("/a/file"), "x");
  EXPECT_EQ(content("/a/full/child"), "y");
  EXPECT_TRUE(server_->exists("/a/empty"));
}

TEST_F(MemoryBackendTest, RenameMovesWholeTreesAndReplacesWhenAsked) {
  server_->putFile("/src/x", "1");
  server_->putFile("/src/sub/y", "2");
  server_->putFile("/other", "old");
  ASSERT_TRUE(conn_->rename("/src", "/dst", false).ok());
  EXPECT_FALSE(server_->exists("/src"));
  EXPECT_FALSE(server_->exists("/src/x"));
  EXPECT_EQ(content("/dst/x"), "1");
  EXPECT_EQ(content("/dst/sub/y"), "2");

  ASSERT_TRUE(conn_->rename("/dst/x", "/other", true).ok());
  EXPECT_EQ(content("/other"), "1");
  EXPECT_FALSE(server_->exists("/dst/x"));
}

TEST_F(MemoryBackendTest, ListShowsDirectChildrenOnly) {
  server_->putFile("/d/a", "1");
  server_->putFile("/d/b/c", "22");
  server_->putFile("/d2/z", "3");
  std::vector<DirEntry> out;
  ASSERT_TRUE(conn_->list("/d", out).ok());
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].name, "a");
  EXPECT_EQ(out[0].attr.size, 1u);
  EXPECT_EQ(out[1].name, "b");
  EXPECT_TRUE(out[1].attr.isDir());
  ASSERT_TRUE(conn_->list("/", out).ok());
  EXPECT_EQ(out.size(), 2u);

  server_->setReverseListing(true);
  ASSERT_TRUE(conn_->list("/d", out).ok());
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].name, "b");
  EXPECT_EQ(out[1].name, "a");
}

TEST_F(MemoryBackendTest, UploadReplacesOnlyOnFinish) {
  server_->putFile("/f", "old");
  RemoteAttr before;
  ASSERT_TRUE(server_->statPath("/f", &before));

  std::unique_ptr<IWriteStream> stream;
  ASSERT_TRUE(conn_->openWrite("/f", 0, 5, stream).ok());
  ASSERT_TRUE(stream->write(reinterpret_cast<const uint8_t*>("new"), 3).ok());
  EXPECT_EQ(content("/f"), "old") << "visible before finish";
  EXPECT_EQ(stream->finish(nullptr).code, Status::kInvalid) << "finish with bytes missing";
  EXPECT_EQ(stream->write(reinterpret_cast<const uint8_t*>("!!!"), 3).code, Status::kInvalid)
      << "more than announced";
  stream->abort();
  EXPECT_EQ(content("/f"), "old");

  RemoteAttr after;
  ASSERT_TRUE(upload("/f", "brand new", &after).ok());
  EXPECT_EQ(content("/f"), "brand new");
  EXPECT_EQ(after.size, 9u);
  EXPECT_NE(after.etag, before.etag);

  ASSERT_TRUE(upload("/empty", "").ok());
  EXPECT_EQ(content("/empty"), "");
  EXPECT_EQ(conn_->openWrite("/f", 4, 1, stream).code, Status::kUnsupported);
  EXPECT_EQ(conn_->openWrite("/no/parent", 0, 1, stream).code, Status::kNotFound);
}

TEST_F(MemoryBackendTest, CapabilitiesChangeBehaviour) {
  BackendCaps caps;
  caps.randomWrite = true;
  caps.truncate = true;
  caps.renameOverwrite = false;
  caps.renameDirs = false;
  caps.caseSensitive = false;
  caps.setMtime = false;
  caps.freeSpace = true;
  server_->setCaps(caps);
  server_->setCapacity(100);
  connect();

  server_->putFile("/File.txt", "hello");
  EXPECT_TRUE(server_->exists("/file.TXT"));
  EXPECT_EQ(conn_->create("/FILE.txt").code, Status::kExists);

  const uint8_t patch[] = {'J', 'Y'};
  ASSERT_TRUE(conn_->writeAt("/file.txt", 0, patch, 1).ok());
  ASSERT_TRUE(conn_->writeAt("/file.txt", 6, patch + 1, 1).ok());
  EXPECT_EQ(content("/File.txt"), std::string("Jello\0Y", 7));
  ASSERT_TRUE(conn_->truncate("/file.txt", 2).ok());
  EXPECT_EQ(content("/File.txt"), "Je");

  server_->putFile("/other", "o");
  EXPECT_EQ(conn_->rename("/other", "/file.txt", true).code, Status::kExists);
  ASSERT_TRUE(conn_->rename("/File.txt", "/FILE.TXT", false).ok()) << "a case-only rename keeps the object";
  std::vector<DirEntry> out;
  ASSERT_TRUE(conn_->list("/", out).ok());
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].name, "FILE.TXT");
  EXPECT_EQ(content("/file.txt"), "Je");
  server_->makeDir("/dir");
  EXPECT_EQ(conn_->rename("/dir", "/dir2", false).code, Status::kUnsupported);

  RemoteAttr before, after;
  ASSERT_TRUE(server_->statPath("/other", &before));
  ASSERT_TRUE(conn_->setTimes("/other", Timestamp{1000, 0}, Timestamp{1000, 0}).ok());
  ASSERT_TRUE(server_->statPath("/other", &after));
  EXPECT_EQ(after.mtime, before.mtime) << "setTimes is ignored without setMtime";

  FsStats fs;
  ASSERT_TRUE(conn_->statfs(fs).ok());
  EXPECT_TRUE(fs.known);
  EXPECT_EQ(fs.total, 100u);
  EXPECT_EQ(fs.free, 97u);
  std::unique_ptr<IWriteStream> stream;
  EXPECT_EQ(conn_->openWrite("/big", 0, 98, stream).code, Status::kNoSpace);
}

TEST_F(MemoryBackendTest, ImplicitFoldersExistThroughTheirObjects) {
  BackendCaps caps;
  caps.implicitFolders = true;
  server_->setCaps(caps);
  connect();
  ASSERT_TRUE(upload("/a/b/c", "x").ok());
  RemoteAttr attr;
  ASSERT_TRUE(conn_->stat("/a/b", attr).ok());
  EXPECT_TRUE(attr.isDir());
  std::vector<DirEntry> out;
  ASSERT_TRUE(conn_->list("/a", out).ok());
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].name, "b");
  ASSERT_TRUE(conn_->remove("/a/b/c", false).ok());
  EXPECT_EQ(conn_->stat("/a", attr).code, Status::kNotFound);
}

TEST_F(MemoryBackendTest, IgnoredRangeClearsTheCapabilityButKeepsBytesRight) {
  server_->putFile("/f", "0123456789");
  server_->setIgnoreRange(true);
  uint8_t buf[4];
  uint64_t got = 0;
  ASSERT_TRUE(conn_->readRange("/f", 0, buf, 4, got).ok());
  EXPECT_TRUE(conn_->caps().rangeRead) << "offset 0 cannot reveal it";
  ASSERT_TRUE(conn_->readRange("/f", 4, buf, 4, got).ok());
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), got), "4567");
  EXPECT_FALSE(conn_->caps().rangeRead);
}

TEST_F(MemoryBackendTest, FaultRulesFireOnTheirCallsOnly) {
  server_->putFile("/f", "0123456789");
  server_->putFile("/g", "x");
  server_->addFault({MemOp::kStat, "/f", 2, 2, FaultRule::Kind::kFail, Status(Status::kTimeout, "slow"), 0});
  RemoteAttr attr;
  std::vector<int32_t> codes;
  for (int i = 0; i < 5; ++i) codes.push_back(conn_->stat("/f", attr).code);
  EXPECT_EQ(codes, (std::vector<int32_t>{0, 15, 15, 0, 0}));
  EXPECT_TRUE(conn_->stat("/g", attr).ok()) << "other paths are untouched";

  server_->addFault({MemOp::kReadRange, "", 1, 0, FaultRule::Kind::kShortRead, Status(), 3});
  uint8_t buf[10];
  uint64_t got = 0;
  ASSERT_TRUE(conn_->readRange("/f", 0, buf, 10, got).ok());
  EXPECT_EQ(got, 3u);
  server_->clearFaults();
  ASSERT_TRUE(conn_->readRange("/f", 0, buf, 10, got).ok());
  EXPECT_EQ(got, 10u);

  server_->addFault({MemOp::kOpenRead, "/f", 1, 1, FaultRule::Kind::kEarlyEnd, Status(), 4});
  EXPECT_EQ(readAll("/f", 2), "2345");
  EXPECT_EQ(readAll("/f", 2), "23456789");

  server_->addFault({MemOp::kStreamRead, "/f", 2, 1, FaultRule::Kind::kFail, Status(Status::kNetwork, "cut"), 0});
  std::unique_ptr<IReadStream> stream;
  ASSERT_TRUE(conn_->openRead("/f", 0, stream).ok());
  EXPECT_TRUE(stream->read(buf, 2, got).ok());
  EXPECT_EQ(stream->read(buf, 2, got).code, Status::kNetwork);

  server_->addFault({MemOp::kFinish, "/f", 1, 1, FaultRule::Kind::kFail, Status(Status::kConflict, "busy"), 0});
  EXPECT_EQ(upload("/f", "replacement").code, Status::kConflict);
  EXPECT_EQ(content("/f"), "0123456789");

  server_->addFault({MemOp::kFinish, "/f", 1, 1, FaultRule::Kind::kKeepShort, Status(), 5});
  EXPECT_TRUE(upload("/f", "replacement").ok()) << "the server reports success";
  EXPECT_EQ(content("/f"), "repla");
}

TEST_F(MemoryBackendTest, ServerDownFailsEverythingUntilUp) {
  server_->putFile("/f", "x");
  server_->setDown(true);
  RemoteAttr attr;
  EXPECT_EQ(conn_->stat("/f", attr).code, Status::kNetwork);
  EXPECT_EQ(conn_->ping().code, Status::kNetwork);
  conn_->disconnect();
  EXPECT_FALSE(conn_->isConnected());
  EXPECT_EQ(conn_->connect().code, Status::kNetwork);
  server_->setDown(false);
  ASSERT_TRUE(conn_->connect().ok()) << "a disconnected object connects again";
  EXPECT_TRUE(conn_->stat("/f", attr).ok());
  conn_->disconnect();
  EXPECT_EQ(conn_->stat("/f", attr).code, Status::kNetwork) << "calls need a connection";
}

// A connection the server closed fails its next call without knowing it,
// as one the server dropped while it stood idle; a new connect works.
TEST_F(MemoryBackendTest, ConnectionsTheServerClosedFailUntilTheyConnectAgain) {
  server_->putFile("/f", "x");
  auto later = server_->connection();
  server_->closeConnections();
  ASSERT_TRUE(later->connect().ok());
  RemoteAttr attr;
  EXPECT_TRUE(later->stat("/f", attr).ok()) << "made after the closing";
  EXPECT_TRUE(conn_->isConnected());
  EXPECT_EQ(conn_->ping().toString(), "network: ping: send: Broken pipe");
  conn_->disconnect();
  ASSERT_TRUE(conn_->connect().ok());
  EXPECT_TRUE(conn_->stat("/f", attr).ok());
}

TEST_F(MemoryBackendTest, CallLogKeepsOrderAndConnection) {
  auto second = server_->connection();
  ASSERT_TRUE(second->connect().ok());
  server_->clearCalls();
  RemoteAttr attr;
  conn_->stat("/a", attr);
  second->mkdir("/b");
  conn_->remove("/b", true);
  std::vector<CallRecord> calls = server_->calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].op, MemOp::kStat);
  EXPECT_EQ(calls[0].connection, conn_->id());
  EXPECT_EQ(calls[1].op, MemOp::kMkdir);
  EXPECT_EQ(calls[1].connection, second->id());
  EXPECT_EQ(calls[2].path, "/b");
  EXPECT_EQ(server_->countCalls(MemOp::kMkdir, "/b"), 1);
  EXPECT_EQ(server_->countCalls(MemOp::kMkdir, "/c"), 0);
}

TEST_F(MemoryBackendTest, TwoThreadsOnOneConnectionFailTheTest) {
  auto gate = server_->addGate(MemOp::kStat, "/f");
  std::thread t([&] {
    RemoteAttr attr;
    conn_->stat("/f", attr);
  });
  ASSERT_TRUE(gate->waitArrived(5000));
  ::testing::TestPartResultArray failures;
  {
    ::testing::ScopedFakeTestPartResultReporter reporter(
        ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ALL_THREADS, &failures);
    conn_->ping();
  }
  gate->release();
  t.join();
  ASSERT_EQ(failures.size(), 1);
  EXPECT_NE(std::string(failures.GetTestPartResult(0).message()).find("two threads used memory connection"),
            std::string::npos);
  EXPECT_EQ(server_->misuseCount(), 1);
}

TEST_F(MemoryBackendTest, InjectedDelaysHoldCallsUntilCancelled) {
  server_->putFile("/f", std::string(1000, 'x'));
  struct Case {
    const char* name;
    std::function<void()> slow;
    std::function<void()> call;
  } cases[] = {
      {"latency", [&] { server_->setLatencyMs(600000); }, [&] { conn_->ping(); }},
      {"bandwidth", [&] { server_->setBandwidth(1); },  // a thousand seconds for the file
       [&] {
         uint8_t buf[1000];
         uint64_t got = 0;
         conn_->readRange("/f", 0, buf, sizeof buf, got);
         EXPECT_EQ(got, 1000u);
       }},
  };
  for (const Case& c : cases) {
    auto cancel = std::make_shared<CancelToken>();
    server_->setDelayCancel(cancel);
    c.slow();
    std::atomic<bool> done{false};
    std::thread t([&] {
      c.call();
      done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(done.load()) << c.name << ": the call was not slowed";
    cancel->cancel();
    // A delay that ignored the token would hold the call for minutes.
    for (int i = 0; i < 100 && !done.load(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(done.load()) << c.name;
    server_->setLatencyMs(0);
    server_->setBandwidth(0);
    t.join();
  }
}

TEST(MemoryServerFactory, MakesUnconnectedConnectionsWithTheirConfig) {
  auto server = std::make_shared<MemoryServer>();
  EndpointConfig config;
  config.protocol = "memory";
  config.root = "/r";
  auto factory = server->factory(config);
  std::unique_ptr<IBackend> a = factory();
  std::unique_ptr<IBackend> b = factory();
  ASSERT_TRUE(a && b);
  EXPECT_FALSE(a->isConnected());
  EXPECT_EQ(a->config().root, "/r");
  EXPECT_EQ(server->connectionsMade(), 2u);
  a.reset();
  b.reset();
  server.reset();
  EXPECT_EQ(factory(), nullptr) << "no server, no connection";
}

}  // namespace
}  // namespace tarn::test
