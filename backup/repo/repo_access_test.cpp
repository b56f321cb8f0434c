#include <gtest/gtest.h>

#include <cerrno>
#include <future>

#include "backup/repo/repo_test_world.h"
#include "testing/eventually.h"
#include "testing/test_clock.h"

namespace tarn::backup {
namespace {

using test::MemOp;

TEST(RepoAccess, UploadsGoThroughPartOnlyWhereRenameIsARealMove) {
  struct Case {
    bool randomWrite, nativeRename;
    size_t size;
    bool viaPart;
  } cases[] = {
      {true, true, 300000, true},   // SFTP, NFS
      {false, true, 300000, false},  // WebDAV
      {true, false, 10, false},     // rename that copies
      {true, true, 0, true},        // an empty object: no write call
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.randomWrite << c.nativeRename << c.size);
    RepoWorld w;
    BackendCaps caps;
    caps.randomWrite = c.randomWrite;
    caps.nativeRename = c.nativeRename;
    w.server->setCaps(caps);
    auto repo = w.make();
    std::vector<uint8_t> bytes = RandomBlob(c.size, 1);
    ASSERT_TRUE(RepoTestPeer::putObject(*repo, "/a/obj", bytes).ok());
    std::string stored;
    ASSERT_TRUE(w.server->readFile("/a/obj", &stored));
    EXPECT_EQ(stored, std::string(bytes.begin(), bytes.end()));
    EXPECT_EQ(w.server->countCalls(MemOp::kOpenWrite, "/a/obj.part"), c.viaPart ? 1 : 0);
    EXPECT_EQ(w.server->countCalls(MemOp::kRename), c.viaPart ? 1 : 0);
    EXPECT_FALSE(w.server->exists("/a/obj.part"));
    EXPECT_EQ(repo->bytesUploaded.load(), c.size);
    if (c.size == 0) {
      EXPECT_EQ(w.server->countCalls(MemOp::kStreamWrite), 0);
    }
  }
}

TEST(RepoAccess, UploadsTheServerDoesNotKeepWholeAreRetriedThenFail) {
  struct Case {
    test::FaultRule fault;
    std::string message;
  } cases[] = {
      {[] {
         test::FaultRule r = Fault(MemOp::kFinish, 1, 0);
         r.kind = test::FaultRule::Kind::kKeepShort;
         r.limit = 100;
         return r;
       }(),
       "the server kept 100 of 200 bytes"},
      {Fault(MemOp::kStat, 1, 0, Status(Status::kNotFound, "gone")), "the uploaded file is not there"},
  };
  for (const Case& c : cases) {
    RepoWorld w;
    auto repo = w.make();
    w.server->addFault(c.fault);
    Status st = RepoTestPeer::putObject(*repo, "/obj", RandomBlob(200, 2));
    EXPECT_EQ(st.code, Status::kNetwork);
    EXPECT_EQ(st.message, c.message);
    EXPECT_EQ(w.server->countCalls(MemOp::kOpenWrite), w.options.retry.maxAttempts);
  }
}

TEST(RepoAccess, FoldersAreMadeParentsFirstAndOnce) {
  for (bool implicitFolders : {false, true}) {
    RepoWorld w;
    BackendCaps caps;
    caps.implicitFolders = implicitFolders;
    w.server->setCaps(caps);
    auto repo = w.make();
    ASSERT_TRUE(RepoTestPeer::ensureDir(*repo, "/data/ab").ok());
    std::vector<std::string> made;
    for (const test::CallRecord& call : w.server->calls())
      if (call.op == MemOp::kMkdir || call.op == MemOp::kStat) made.push_back(call.path);
    const std::vector<std::string> expected =
        implicitFolders ? std::vector<std::string>{} : std::vector<std::string>{"/data", "/data/ab"};
    EXPECT_EQ(made, expected);
    w.server->clearCalls();
    ASSERT_TRUE(RepoTestPeer::ensureDir(*repo, "/data/ab").ok());
    EXPECT_EQ(w.server->countCalls(MemOp::kMkdir), 0);
  }
}

TEST(RepoAccess, ProbeGivesUpOnARefusedConnectionAsSoonAsADriveWould) {
  struct Case {
    const char* name;
    Status failure;
    int connects;
  } cases[] = {
      {"refused", Status(Status::kNetwork, "connect 127.0.0.1:22: Connection refused", ECONNREFUSED), 2},
      {"timed out", Status(Status::kTimeout, "connect 127.0.0.1:22: no answer", ETIMEDOUT), 3},
      {"reset", Status(Status::kNetwork, "ssh handshake: connection reset", ECONNRESET), 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RepoWorld w;
    ASSERT_LT(w.options.refusedRetry.maxAttempts, w.options.retry.maxAttempts);
    w.server->addFault(Fault(MemOp::kConnect, 1, 0, c.failure));
    Status st = w.make()->probe();
    EXPECT_EQ(st.code, c.failure.code);
    EXPECT_EQ(st.native, c.failure.native);
    EXPECT_EQ(w.server->countCalls(MemOp::kConnect), c.connects);
  }
}


// A server that stops answering as a stopped process does: the first call
// waits one I/O time-out on the test clock. With refuseWhileSilent, what
// comes after (a listing, the lock's removal) ends at once as timed out
// without asking the server, the clock stopped; without it, each asks the
// server and waits again.
TEST(RepoAccess, OnceACallFoundTheServerSilentTheOthersEndAtOnceWhereTheRepositoryRefuses) {
  constexpr uint32_t kIoMs = 2000;
  constexpr uint32_t kBudgetMs = 3000;
  for (bool refuse : {true, false}) {
    SCOPED_TRACE(refuse ? "refusing" : "waiting");
    test::ScopedTestClock clock;
    RepoWorld w;
    w.options.retry.budgetMs = kBudgetMs;
    w.options.refuseWhileSilent = refuse;
    std::shared_ptr<Repo> repo = w.create();
    ASSERT_TRUE(repo->lock(LockMode::kShared, "backup").ok());
    w.server->setSilent(kIoMs);
    auto first = std::async(std::launch::async, [&] {
      return RepoTestPeer::putObject(*repo, "/data/ab/" + std::string(64, 'a'), RandomBlob(100, 1));
    });
    auto ended = [](std::future<Status>& f) {
      return f.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    };
    // What reached the server, a dropped connection aside.
    auto questions = [&] {
      return w.server->calls().size() - size_t(w.server->countCalls(MemOp::kDisconnect));
    };
    ASSERT_TRUE(test::Eventually([&] { return w.server->silentWaiters() == 1; }));
    const size_t waited = questions();
    clock.advance(kBudgetMs);
    // Within the call too, nothing more is asked once the server was silent.
    ASSERT_TRUE(test::Eventually([&] { return ended(first) || questions() > waited; }));
    EXPECT_EQ(questions(), waited) << "the call asked the server again";
    w.server->setSilent(ended(first) ? kIoMs : 0);
    EXPECT_EQ(first.get().code, Status::kTimeout);

    const size_t asked = questions();
    auto later = std::async(std::launch::async, [&] {
      std::vector<SnapshotInfo> versions;
      Status st = repo->listSnapshots(versions);
      repo->unlock();
      return st;
    });
    ASSERT_TRUE(test::Eventually([&] { return ended(later) || w.server->silentWaiters() > 0; }));
    EXPECT_EQ(ended(later), refuse) << "waits for the server again";
    w.server->setSilent(0);
    const Status st = later.get();
    if (refuse) {
      EXPECT_EQ(st.code, Status::kTimeout);
      EXPECT_EQ(st.message, kServerSilent);
      EXPECT_EQ(questions(), asked) << "the server was asked again";
    }
    EXPECT_EQ(w.names("/locks").size(), refuse ? 1u : 0u) << "a lock it could not remove stays";
  }
}

// A call on its way when another finds the server silent ends then too,
// rather than waiting out a time-out of its own: where the repository
// refuses, a task ends within one budget however many uploads it had in
// flight.
TEST(RepoAccess, CallsInFlightEndWhenAnotherFindsTheServerSilent) {
  constexpr uint32_t kIoMs = 2000;
  test::ScopedTestClock clock;
  RepoWorld w;
  w.options.retry.budgetMs = kIoMs + kIoMs / 2;
  w.options.refuseWhileSilent = true;
  std::shared_ptr<Repo> repo = w.create();
  ASSERT_GE(repo->connectionCount(), 2);
  w.server->setSilent(kIoMs);
  auto upload = [&](char name) {
    return std::async(std::launch::async, [&repo, name] {
      return RepoTestPeer::putObject(*repo, "/data/ab/" + std::string(64, name), RandomBlob(100, uint32_t(name)));
    });
  };
  auto first = upload('a');
  ASSERT_TRUE(test::Eventually([&] { return w.server->silentWaiters() == 1; }));
  clock.advance(kIoMs / 2);
  auto second = upload('b');
  ASSERT_TRUE(test::Eventually([&] { return w.server->silentWaiters() == 2; }));
  // The first call's time-out; the second has half of its own still to go.
  clock.advance(kIoMs / 2);
  EXPECT_EQ(first.get().code, Status::kTimeout);
  const bool ended =
      test::Eventually([&] { return second.wait_for(std::chrono::seconds(0)) == std::future_status::ready; });
  w.server->setSilent(0);
  EXPECT_TRUE(ended) << "the call in flight waits for its own time-out";
  const Status st = second.get();
  EXPECT_EQ(st.code, Status::kTimeout);
  EXPECT_EQ(st.message, kServerSilent);
}

}  // namespace
}  // namespace tarn::backup
