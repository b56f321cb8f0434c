#include "engine/journal.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <thread>

#include "foundation/file_util.h"
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

}  // namespace
}  // namespace tarn
