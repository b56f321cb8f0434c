#include "engine/journal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fstream>
#include <thread>

#include "foundation/file_util.h"
#include "foundation/memory_env.h"
#include "testing/log_capture.h"
#include "testing/memory_backend.h"
#include "testing/temp_dir.h"

namespace tarn {
namespace {

using test::MemOp;

class JournalTest : public ::testing::Test {
 protected:
  std::string file() const { return dir_.file("journal.json"); }
  uint64_t reloaded() {
    Journal again(file());
    again.load();
    return again.count();
  }

  test::TempDir dir_{"tarn-journal"};
  test::LogCapture log_;
};

TEST_F(JournalTest, RecordsSurviveAReloadInOrderAndOnlyRenamesWriteTo) {
  Journal j(file());
  j.append({kJournalMkdir, "/d", "", 0});
  j.append({kJournalCreate, "/d/f", "", 7});
  j.append({kJournalRename, "/d", "/e", 0});
  j.append({kJournalUnlink, "/x", "", 0});
  j.append({kJournalRmdir, "/y", "", 0});
  std::string text;
  ASSERT_TRUE(vx::ReadWholeFile(file(), text));
  EXPECT_EQ(text.find("\"to\""), text.rfind("\"to\""));
  EXPECT_NE(text.find("\n \"ops\""), std::string::npos);  // one space per level

  Journal again(file());
  ASSERT_TRUE(again.load());
  EXPECT_EQ(again.count(), 5u);
  EXPECT_EQ(again.touchedPaths(), (std::vector<std::string>{"/d", "/d/f", "/d", "/e", "/x", "/y"}));
  again.rebase("/d", "/z");
  EXPECT_EQ(again.touchedPaths(), (std::vector<std::string>{"/z", "/z/f", "/z", "/e", "/x", "/y"}));
  EXPECT_EQ(reloaded(), 5u);

  uint32_t kind = 99;
  EXPECT_TRUE(ParseJournalOpKind("rmdir", kind));
  EXPECT_EQ(kind, kJournalRmdir);
  EXPECT_FALSE(ParseJournalOpKind("Create", kind));
  EXPECT_STREQ(JournalOpKindName(17), "?");
}

TEST_F(JournalTest, UnreadableFilesLoadAsEmpty) {
  struct Case {
    const char* content;  // null: no file
    bool loads;
  } cases[] = {
      {nullptr, false},
      {"not json", false},
      {R"({"ops":[{"op":"copy","path":"/a"}]})", true},
      {R"({"ops":"none"})", true},
  };
  for (const Case& c : cases) {
    ::unlink(file().c_str());
    if (c.content != nullptr) std::ofstream(file()) << c.content;
    Journal j(file());
    EXPECT_EQ(j.load(), c.loads) << (c.content ? c.content : "(none)");
    EXPECT_TRUE(j.isEmpty());
  }
}

TEST_F(JournalTest, ReplayDropsWhatIsDoneOrRefusedAndStopsAtANetworkFailure) {
  auto server = std::make_shared<test::MemoryServer>();
  server->putFile("/exists", "x");
  server->addFault({MemOp::kCreate, "/denied", 1, 1, test::FaultRule::Kind::kFail,
                    Status(Status::kAccessDenied, "no")});
  server->addFault({MemOp::kMkdir, "/n", 1, 1});
  std::unique_ptr<test::MemoryBackend> backend = server->connection();
  ASSERT_TRUE(backend->connect().ok());

  Journal j(file());
  j.append({kJournalCreate, "/exists", "", 0});
  j.append({kJournalUnlink, "/gone", "", 0});
  j.append({kJournalCreate, "/denied", "", 0});
  j.append({kJournalMkdir, "/n", "", 0});
  j.append({kJournalCreate, "/n/f", "", 0});
  std::vector<JournalFailure> failed;
  EXPECT_EQ(j.replay(*backend, &failed).code, Status::kNetwork);
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_EQ(failed[0].path, "/denied");
  EXPECT_EQ(failed[0].status.code, Status::kAccessDenied);
  EXPECT_EQ(log_.countLines("[ERROR] journal: create /denied failed permanently: access-denied: no"), 1);
  EXPECT_EQ(log_.countLines("journal:"), 1);
  EXPECT_EQ(reloaded(), 2u);

  EXPECT_TRUE(j.replay(*backend, nullptr).ok());
  EXPECT_TRUE(j.isEmpty());
  EXPECT_TRUE(server->exists("/n/f"));
  EXPECT_EQ(reloaded(), 0u);
}

TEST_F(JournalTest, EveryChangeIsInTheFileWhenItsCallReturns) {
  constexpr int kThreads = 8;
  constexpr int kEach = 25;
  Journal j(file());
  std::atomic<int> missing{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) {
        const std::string path = "/" + std::to_string(t) + "-" + std::to_string(i);
        j.append({kJournalCreate, path, "", 0});
        std::string text;
        if (!vx::ReadWholeFile(file(), text) || text.find('"' + path + '"') == std::string::npos) ++missing;
      }
    });
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(missing.load(), 0);
  EXPECT_EQ(reloaded(), static_cast<uint64_t>(kThreads * kEach));
  EXPECT_FALSE(vx::FileExists(file() + ".tmp"));
}

// Journals on a MemoryEnv, whose writes a test may fail and whose disk a
// power loss may cut back to what was synced.
class JournalDiskTest : public ::testing::Test {
 protected:
  static constexpr const char* kFile = "/cache/journal.json";
  void SetUp() override { ASSERT_TRUE(env_.makeDirs("/cache").ok()); }
  // Writes of the journal's temporary fail with a full disk while `full_`.
  void failWritesWhileFull() {
    env_.setHook([this](const MemoryEnv::StepInfo& step) {
      if (full_ && step.step == MemoryEnv::Step::kWrite && step.path.ends_with(".tmp"))
        return Status(Status::kNoSpace, "no space left on device", ENOSPC);
      return Status();
    });
  }
  std::vector<std::string> pathsAfterPowerLoss() {
    std::unique_ptr<MemoryEnv> disk = env_.snapshot(MemoryEnv::Crash::kPowerLoss);
    Journal j(kFile, disk.get());
    j.load();
    return j.touchedPaths();
  }

  MemoryEnv env_;
  bool full_ = false;
  test::LogCapture log_;
};

TEST_F(JournalDiskTest, EveryChangeSurvivesAPowerLossOnceItsCallReturns) {
  auto server = std::make_shared<test::MemoryServer>();
  std::unique_ptr<test::MemoryBackend> backend = server->connection();
  ASSERT_TRUE(backend->connect().ok());
  Journal j(kFile, &env_);
  ASSERT_TRUE(j.append({kJournalMkdir, "/d"}).ok());
  ASSERT_TRUE(j.append({kJournalCreate, "/d/f"}).ok());
  uint64_t id = 0;
  ASSERT_TRUE(j.append({kJournalRename, "/d", "/e", 0, true}, &id).ok());
  EXPECT_EQ(pathsAfterPowerLoss(), (std::vector<std::string>{"/d", "/d/f", "/d", "/e"}));
  ASSERT_TRUE(j.markMoved(id));
  {
    std::unique_ptr<MemoryEnv> disk = env_.snapshot(MemoryEnv::Crash::kPowerLoss);
    Journal again(kFile, disk.get());
    ASSERT_TRUE(again.load());
    EXPECT_TRUE(again.pendingMoves().empty());
  }
  j.rebase("/e", "/g");
  EXPECT_EQ(pathsAfterPowerLoss(), (std::vector<std::string>{"/d", "/d/f", "/d", "/g"}));
  ASSERT_TRUE(j.replay(*backend, nullptr).ok());
  EXPECT_EQ(pathsAfterPowerLoss(), std::vector<std::string>{});
}

// Offline: /a renamed to /b, then a new /a. A replay whose progress cannot
// be written must stop after the rename: were the new /a sent too, the
// rename would go out again after a restart and land on /b.
TEST_F(JournalDiskTest, ReplayStopsWhenItsProgressCannotBeWritten) {
  auto server = std::make_shared<test::MemoryServer>();
  server->putFile("/a", "content of a");
  std::unique_ptr<test::MemoryBackend> backend = server->connection();
  ASSERT_TRUE(backend->connect().ok());
  failWritesWhileFull();
  {
    Journal j(kFile, &env_);
    ASSERT_TRUE(j.append({kJournalRename, "/a", "/b"}).ok());
    ASSERT_TRUE(j.append({kJournalCreate, "/a"}).ok());
    full_ = true;
    Status st = j.replay(*backend, nullptr);
    EXPECT_EQ(st.code, Status::kIo) << st.toString();
    EXPECT_TRUE(j.needsReplay());
    EXPECT_NE(j.problem().find("no space left on device"), std::string::npos) << j.problem();
    EXPECT_EQ(j.replay(*backend, nullptr).code, Status::kIo);
    EXPECT_EQ(server->countCalls(test::MemOp::kRename), 1);
    EXPECT_EQ(server->countCalls(test::MemOp::kCreate), 0);
    EXPECT_EQ(log_.countLines("[ERROR] journal: cannot write /cache/journal.json"), 1);
    // A change that cannot be recorded does not happen.
    EXPECT_EQ(j.append({kJournalUnlink, "/x"}).code, Status::kIo);
    EXPECT_EQ(j.count(), 1u);
  }
  // The process ends with the disk still full; the next start finds both.
  full_ = false;
  Journal j(kFile, &env_);
  ASSERT_TRUE(j.load());
  EXPECT_EQ(j.count(), 2u);
  EXPECT_TRUE(j.replay(*backend, nullptr).ok());
  std::string b;
  EXPECT_TRUE(server->readFile("/b", &b) && b == "content of a") << b;
  EXPECT_TRUE(server->exists("/a"));
  EXPECT_EQ(j.problem(), "");
}

TEST_F(JournalDiskTest, AFileThatDoesNotLoadIsSetAsideNeverOverwritten) {
  struct Case {
    const char* what;
    std::string content;
  } cases[] = {
      {"larger than the limit", std::string(kMaxJournalBytes + 1, ' ')},
      {"not JSON", "{\"ops\":[{\"op\":\"create\",\"path\":\"/cut"},
  };
  int loads = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MemoryEnv env;
    ASSERT_TRUE(env.makeDirs("/cache").ok());
    ASSERT_TRUE(env.writeFile(kFile, c.content, true, true).ok());
    Journal j(kFile, &env);
    EXPECT_FALSE(j.load());
    EXPECT_TRUE(j.isEmpty());
    EXPECT_NE(j.problem().find("set aside as /cache/journal.json.unread-"), std::string::npos) << j.problem();
    ASSERT_TRUE(j.append({kJournalCreate, "/new"}).ok());
    std::vector<std::string> names;
    ASSERT_TRUE(env.list("/cache", &names).ok());
    std::sort(names.begin(), names.end());
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0], "journal.json");
    std::string kept;
    ASSERT_TRUE(env.readFile("/cache/" + names[1], kMaxJournalBytes + 1, &kept).ok()) << names[1];
    EXPECT_TRUE(kept == c.content);
    EXPECT_EQ(log_.countLines("[ERROR] journal: cannot load /cache/journal.json"), ++loads);
  }
}

}  // namespace
}  // namespace tarn
