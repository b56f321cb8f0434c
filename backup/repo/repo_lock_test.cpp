#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "backup/repo/repo_test_world.h"
#include "foundation/codec.h"
#include "foundation/env.h"
#include "foundation/json.h"
#include "foundation/text.h"
#include "testing/log_capture.h"

namespace tarn::backup {
namespace {

using test::MemOp;

std::string Boot() { return Env::Default()->bootId(); }

// Clients of one repository, each with a clock of its own that the test
// moves (seconds after the present).
struct LockWorld {
  RepoWorld w;
  std::shared_ptr<Repo> creator = w.create();
  const int64_t start = vx::UnixNow();

  struct Client {
    std::shared_ptr<Repo> repo;
    std::shared_ptr<std::atomic<int64_t>> offset = std::make_shared<std::atomic<int64_t>>(0);
  };
  Client client() {
    Client c;
    RepoOptions options = w.options;
    options.clock = [offset = c.offset] { return vx::UnixNow() + offset->load(); };
    c.repo = std::make_shared<Repo>(w.server->factory(), options);
    EXPECT_TRUE(c.repo->open(kTestPassword).ok());
    EXPECT_TRUE(c.repo->loadIndex().ok());
    return c;
  }
  // A lock object as another client would have written it; without a boot,
  // as versions before boots were recorded wrote it.
  void forge(const std::string& host, int64_t pid, int64_t written, bool exclusive = false,
             const std::string& boot = "", int64_t started = 0) {
    vx::json::Value v = vx::json::Value::object();
    v.set("exclusive", exclusive);
    v.set("purpose", "backup");
    v.set("host", host);
    v.set("pid", pid);
    v.set("time", written);
    v.set("refreshed", written);
    if (!boot.empty()) {
      v.set("boot", boot);
      v.set("started", started);
    }
    const std::string text = v.dump();
    std::vector<uint8_t> sealed;
    ASSERT_TRUE(RepoTestPeer::cipher(*creator).seal(reinterpret_cast<const uint8_t*>(text.data()), text.size(),
                                                     kLabelLock, sealed));
    w.server->putFile("/locks/" + vx::HexEncode(ObjectHash(sealed.data(), sealed.size())),
                      std::string(sealed.begin(), sealed.end()));
  }
  std::string holder(const char* purpose, const Client& c) {
    return std::string("busy: the repository is locked by ") + purpose + " on " + LocalHostName() + " (process " +
           std::to_string(::getpid()) + ") since " + vx::WideToUtf8(vx::FormatLocalTime(start + c.offset->load()));
  }
};

// A child that has exited and that nobody reaps until the test ends: what a
// holder killed with -9 is until its parent waits for it.
class Zombie {
 public:
  Zombie() : pid_(::fork()) {
    if (pid_ == 0) ::_exit(0);
    siginfo_t info{};
    // WNOWAIT: returns once the child has ended, leaving it unreaped.
    EXPECT_EQ(::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOWAIT), 0);
  }
  ~Zombie() { ::waitpid(pid_, nullptr, 0); }
  Zombie(const Zombie&) = delete;
  Zombie& operator=(const Zombie&) = delete;
  pid_t pid() const { return pid_; }

 private:
  const pid_t pid_;
};

TEST(RepoLock, SharedLocksGoTogetherAndTheExclusiveOneStandsAlone) {
  struct Case {
    LockMode first, second;
    bool secondTaken;
  } cases[] = {
      {LockMode::kShared, LockMode::kShared, true},
      {LockMode::kShared, LockMode::kExclusive, false},
      {LockMode::kExclusive, LockMode::kShared, false},
      {LockMode::kExclusive, LockMode::kExclusive, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << int(c.first) << " then " << int(c.second));
    LockWorld lw;
    LockWorld::Client a = lw.client(), b = lw.client();
    ASSERT_TRUE(a.repo->lock(c.first, "backup").ok());
    EXPECT_EQ(lw.w.names("/locks").size(), 1u) << "an older repository gets its lock folder";
    Status st = b.repo->lock(c.second, "prune");
    if (c.secondTaken) {
      EXPECT_TRUE(st.ok()) << st.toString();
      EXPECT_EQ(lw.w.names("/locks").size(), 2u);
    } else {
      EXPECT_EQ(st.toString(), lw.holder("backup", a));
      EXPECT_EQ(b.repo->lockMode(), LockMode::kNone);
      EXPECT_EQ(lw.w.names("/locks").size(), 1u) << "a refused lock leaves nothing behind";
    }
    a.repo->unlock();
    b.repo->unlock();
    EXPECT_TRUE(lw.w.names("/locks").empty());
  }
}

TEST(RepoLock, TheSharedLockIsKeptWhenTheExclusiveOneIsRefused) {
  LockWorld lw;
  LockWorld::Client a = lw.client(), b = lw.client();
  ASSERT_TRUE(a.repo->lock(LockMode::kShared, "backup").ok());
  ASSERT_TRUE(b.repo->lock(LockMode::kShared, "check").ok());
  EXPECT_EQ(a.repo->lock(LockMode::kExclusive, "prune").toString(), lw.holder("check", b));
  EXPECT_EQ(a.repo->lockMode(), LockMode::kShared);
  EXPECT_EQ(lw.w.names("/locks").size(), 2u);
  b.repo->unlock();
  ASSERT_TRUE(a.repo->lock(LockMode::kExclusive, "prune").ok());
  EXPECT_EQ(a.repo->lockMode(), LockMode::kExclusive);
  EXPECT_EQ(lw.w.names("/locks").size(), 1u) << "the shared lock object makes way for the exclusive one";
  EXPECT_EQ(b.repo->lock(LockMode::kShared, "backup").toString(), lw.holder("prune", a));
}

TEST(RepoLock, ALockNotWrittenAnewForHalfAnHourIsStaleAndItsHolderLearnsIt) {
  LockWorld lw;
  LockWorld::Client a = lw.client(), b = lw.client();
  ASSERT_TRUE(a.repo->lock(LockMode::kShared, "backup").ok());

  // Twenty minutes on, the holder writes its lock anew: at forty it stands.
  a.offset->store(20 * 60);
  ASSERT_TRUE(a.repo->refreshLock().ok());
  EXPECT_EQ(lw.w.names("/locks").size(), 1u) << "the old object goes once the new one is there";
  b.offset->store(40 * 60);
  EXPECT_EQ(b.repo->lock(LockMode::kExclusive, "prune").code, Status::kBusy);

  // Thirty minutes after its last writing it is stale and removed.
  test::LogCapture log;
  b.offset->store(50 * 60);
  ASSERT_TRUE(b.repo->lock(LockMode::kExclusive, "prune").ok());
  EXPECT_EQ(log.countLines("backup: removing the stale lock of backup on " + LocalHostName()), 1);
  EXPECT_EQ(lw.w.names("/locks").size(), 1u);

  // Its holder, back, stores nothing more on the strength of it.
  Status st = a.repo->refreshLock();
  EXPECT_EQ(st.code, Status::kConflict);
  EXPECT_EQ(st.message, "the repository lock of this backup was removed by another client that took it for stale");
  EXPECT_EQ(a.repo->lockStatus().code, Status::kConflict);
  BlobId id;
  const std::vector<uint8_t> data = RandomBlob(1000, 1);
  EXPECT_EQ(a.repo->storeBlob(kBlobData, data.data(), data.size(), id).code, Status::kConflict);
  SnapshotInfo info;
  EXPECT_EQ(a.repo->writeSnapshot(info).code, Status::kConflict);
  EXPECT_TRUE(lw.w.names("/snapshots").empty());
  EXPECT_EQ(lw.w.names("/locks").size(), 1u) << "only the new holder's lock is left";
}

TEST(RepoLock, LocksOfOthersStandUnlessTheyAreStale) {
  Zombie killed;
  ASSERT_GT(killed.pid(), 0);
  struct Case {
    const char* name;
    std::function<void(LockWorld&)> make;
    int64_t later;  // seconds the second client's clock is ahead
    const char* refusal;  // empty: the lock is stale and removed
  } cases[] = {
      {"another computer's fresh lock",
       [](LockWorld& lw) { lw.forge("elsewhere", 77, lw.start, true); }, 0,
       "busy: the repository is locked by backup on elsewhere (process 77) since "},
      {"another computer's old lock", [](LockWorld& lw) { lw.forge("elsewhere", 77, lw.start - kLockStaleSec); }, 0,
       ""},
      {"a gone process of this computer", [](LockWorld& lw) { lw.forge(LocalHostName(), 0x7ffffff0, lw.start); }, 0,
       ""},
      {"a live process of this computer", [](LockWorld& lw) { lw.forge(LocalHostName(), 1, lw.start); }, 0,
       "busy: the repository is locked by backup on "},
      {"a live process of this computer, with its boot and start",
       [](LockWorld& lw) { lw.forge(LocalHostName(), 1, lw.start, false, Boot(), ProcessStartTicks(1)); }, 0,
       "busy: the repository is locked by backup on "},
      {"another computer's fresh lock of another boot",
       [](LockWorld& lw) { lw.forge("elsewhere", 1, lw.start, false, "another boot", 1); }, 0,
       "busy: the repository is locked by backup on elsewhere (process 1) since "},
      {"a lock of this computer from before its last boot",
       [](LockWorld& lw) { lw.forge(LocalHostName(), 1, lw.start, false, "another boot", ProcessStartTicks(1)); }, 0,
       ""},
      {"another process under the number of the one that wrote it",
       [](LockWorld& lw) { lw.forge(LocalHostName(), 1, lw.start, false, Boot(), ProcessStartTicks(1) + 1); }, 0,
       ""},
      {"a holder killed and not yet reaped, with its boot and start",
       [&killed](LockWorld& lw) {
         lw.forge(LocalHostName(), killed.pid(), lw.start, true, Boot(), ProcessStartTicks(killed.pid()));
       },
       0, ""},
      {"this very process, held by none of its repositories (a removal that failed)",
       [](LockWorld& lw) { lw.forge(LocalHostName(), ::getpid(), lw.start); }, 0, ""},
      {"the same, as an older version of this service with its number wrote it",
       [](LockWorld& lw) { lw.forge(LocalHostName(), ::getpid(), lw.start, false, Boot(), 1); }, 0, ""},
      {"an object that does not open",
       [](LockWorld& lw) { lw.w.server->putFile("/locks/" + std::string(64, 'e'), "garbage"); }, 0,
       "busy: the repository is locked by a lock object that cannot be read (locks/eeeeeeee, written "},
      {"an object that does not open, written long ago",
       [](LockWorld& lw) { lw.w.server->putFile("/locks/" + std::string(64, 'e'), "garbage"); }, kLockStaleSec, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LockWorld lw;
    c.make(lw);
    LockWorld::Client b = lw.client();
    b.offset->store(c.later);
    Status st = b.repo->lock(LockMode::kExclusive, "prune");
    if (*c.refusal == '\0') {
      EXPECT_TRUE(st.ok()) << st.toString();
      EXPECT_EQ(lw.w.names("/locks").size(), 1u) << "the stale lock is removed";
    } else {
      EXPECT_EQ(st.toString().rfind(c.refusal, 0), 0u) << st.toString();
      EXPECT_EQ(lw.w.names("/locks").size(), 1u) << "the standing lock stays";
    }
  }
}

// A lock names its holder's boot and start besides what older versions
// read, and locks that repositories of this process hold stand for each
// other, as those of two processes do.
TEST(RepoLock, ALockNamesItsBootAndStartAndStandsWhileARepositoryOfThisProcessHoldsIt) {
  LockWorld lw;
  LockWorld::Client a = lw.client(), b = lw.client();
  ASSERT_TRUE(a.repo->lock(LockMode::kShared, "backup").ok());
  const std::vector<std::string> names = lw.w.names("/locks");
  ASSERT_EQ(names.size(), 1u);
  std::string sealed;
  ASSERT_TRUE(lw.w.server->readFile("/locks/" + names[0], &sealed));
  std::vector<uint8_t> plain;
  ASSERT_TRUE(RepoTestPeer::cipher(*lw.creator)
                  .open(reinterpret_cast<const uint8_t*>(sealed.data()), sealed.size(), kLabelLock, plain));
  vx::json::Value v;
  ASSERT_TRUE(vx::json::Parse(std::string(plain.begin(), plain.end()), v));
  EXPECT_EQ(v["host"].asString(), LocalHostName());
  EXPECT_EQ(v["pid"].asInt64(), ::getpid());
  EXPECT_FALSE(v["exclusive"].asBool(true));
  EXPECT_EQ(v["boot"].asString(), Boot());
  EXPECT_NE(v["started"].asInt64(), 0);
  EXPECT_EQ(v["started"].asInt64(), ProcessStartTicks(::getpid()));

  // Written anew, it still stands.
  a.offset->store(10 * 60);
  ASSERT_TRUE(a.repo->refreshLock().ok());
  const std::string refusal = b.repo->lock(LockMode::kExclusive, "prune").toString();
  EXPECT_EQ(refusal.rfind("busy: the repository is locked by backup on " + LocalHostName() + " (process " +
                              std::to_string(::getpid()) + ") since ",
                          0),
            0u)
      << refusal;
  EXPECT_EQ(lw.w.names("/locks").size(), 1u);
}

TEST(RepoLock, TwoClientsTakingTheExclusiveLockAtOnceNeverBothHoldIt) {
  LockWorld lw;
  LockWorld::Client a = lw.client(), b = lw.client();
  // A has found no lock and is about to write its own when B takes the
  // lock from start to end.
  std::shared_ptr<test::Gate> writing = lw.w.server->addGate(MemOp::kOpenWrite, "/locks/");
  Status first;
  std::thread racer([&] { first = a.repo->lock(LockMode::kExclusive, "prune"); });
  ASSERT_TRUE(writing->waitArrived());
  Status second = b.repo->lock(LockMode::kExclusive, "forget");
  writing->release();
  racer.join();
  EXPECT_TRUE(second.ok()) << second.toString();
  EXPECT_EQ(first.toString(), lw.holder("forget", b));
  EXPECT_EQ(a.repo->lockMode(), LockMode::kNone);
  EXPECT_EQ(lw.w.names("/locks").size(), 1u);
}

}  // namespace
}  // namespace tarn::backup
