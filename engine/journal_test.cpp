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

  // Loading folds the log into the document.
  Journal again(file());
  ASSERT_TRUE(again.load());
  std::string text;
  ASSERT_TRUE(vx::ReadWholeFile(file(), text));
  EXPECT_EQ(text.find("\"to\""), text.rfind("\"to\""));
  EXPECT_NE(text.find("\n \"ops\""), std::string::npos);  // one space per level
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

// Uploads wait for the records that name their path or a folder above it,
// through every change of the records and a reload; a record below a path,
// or a name that only begins like a folder's, holds nothing.
TEST_F(JournalTest, HoldsWhatARecordNamesAndWhatIsBelowIt) {
  Journal j(file());
  uint64_t first = 0, second = 0, rename = 0;
  ASSERT_TRUE(j.append({kJournalCreate, "/a/b", "", 0}, &first).ok());
  ASSERT_TRUE(j.append({kJournalUnlink, "/a/b", "", 0}, &second).ok());
  ASSERT_TRUE(j.append({kJournalRename, "/d", "/e", 0}, &rename).ok());
  ASSERT_TRUE(j.append({kJournalMkdir, "/s//t", "", 0}).ok());
  struct Probe {
    const char* path;
    bool held;
  };
  auto check = [](Journal& journal, const std::vector<Probe>& probes) {
    for (const Probe& p : probes) EXPECT_EQ(journal.holds(p.path), p.held) << p.path;
  };
  check(j, {{"/a/b", true}, {"/a/b/c", true}, {"/a", false}, {"/a/bc", false}, {"/", false},
            {"/d", true}, {"/d/f", true}, {"/dd", false}, {"/e/f/g", true}, {"/e", true},
            {"/s//t/u", true}, {"/s/t", false}, {"/s/", false}});
  // One of two records of a name goes: the other still holds it.
  ASSERT_TRUE(j.drop(first));
  check(j, {{"/a/b", true}});
  ASSERT_TRUE(j.drop(second));
  check(j, {{"/a/b", false}, {"/a/b/c", false}});
  j.rebase("/d", "/z");
  check(j, {{"/d/f", false}, {"/z/f", true}, {"/e", true}});

  Journal again(file());
  ASSERT_TRUE(again.load());
  check(again, {{"/a/b", false}, {"/d/f", false}, {"/z/f", true}, {"/e/x", true}, {"/s//t", true}});
  ASSERT_TRUE(again.append({kJournalRmdir, "/", "", 0}).ok());
  check(again, {{"/anything/at/all", true}, {"/", true}});
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

// A rename whose content goes to its destination by a whole upload keeps
// saying so across a reload, and its replay removes the source's copy on the
// server (done when it is gone already) and leaves the destination's copy
// alone: never the source's copy put over it.
TEST_F(JournalTest, ARenameByUploadReplaysAsTheRemovalOfItsSource) {
  auto server = std::make_shared<test::MemoryServer>();
  server->putFile("/d/.doc.tmp", "");
  server->putFile("/d/doc", "old");
  std::unique_ptr<test::MemoryBackend> backend = server->connection();
  ASSERT_TRUE(backend->connect().ok());
  {
    Journal j(file());
    JournalOp op{kJournalRename, "/d/.doc.tmp", "/d/doc"};
    op.online = op.moving = op.byUpload = true;
    ASSERT_TRUE(j.append(op).ok());
    JournalOp gone{kJournalRename, "/d/.gone.tmp", "/d/gone"};
    gone.byUpload = true;
    ASSERT_TRUE(j.append(gone).ok());
  }
  Journal again(file());
  ASSERT_TRUE(again.load());
  std::vector<JournalOp> moves = again.pendingMoves();
  ASSERT_EQ(moves.size(), 1u);
  EXPECT_TRUE(moves[0].byUpload);
  std::vector<JournalFailure> failed;
  EXPECT_TRUE(again.replay(*backend, &failed).ok());
  EXPECT_TRUE(failed.empty());
  EXPECT_TRUE(again.isEmpty());
  EXPECT_FALSE(server->exists("/d/.doc.tmp"));
  std::string doc;
  EXPECT_TRUE(server->readFile("/d/doc", &doc) && doc == "old");
  EXPECT_EQ(server->countCalls(MemOp::kRename), 0);
}

// A deletion that follows uploads waits at the head of the replay, after a
// reload too, until the owner says they are done; the records after it wait
// with it, and what it waits for is named as touched.
TEST_F(JournalTest, ADeletionAfterUploadsWaitsForThemAcrossAReload) {
  auto server = std::make_shared<test::MemoryServer>();
  server->putFile("/d/doc~", "old");
  server->putFile("/e/x", "x");
  std::unique_ptr<test::MemoryBackend> backend = server->connection();
  ASSERT_TRUE(backend->connect().ok());
  {
    Journal j(file());
    JournalOp op{kJournalUnlink, "/d/doc~"};
    op.after = {"/d/doc", "/d/other"};
    ASSERT_TRUE(j.append(op).ok());
    ASSERT_TRUE(j.append({kJournalUnlink, "/e/x"}).ok());
  }
  Journal again(file());
  ASSERT_TRUE(again.load());
  std::vector<std::string> asked;
  bool done = false;
  again.setUploadsDone([&](const std::vector<std::string>& paths) {
    asked = paths;
    return done;
  });
  EXPECT_FALSE(again.sendable());
  EXPECT_TRUE(again.replay(*backend, nullptr).ok());
  EXPECT_EQ(asked, (std::vector<std::string>{"/d/doc", "/d/other"}));
  EXPECT_EQ(again.awaited(), asked);
  EXPECT_TRUE(server->exists("/d/doc~"));
  EXPECT_TRUE(server->exists("/e/x"));
  struct Case {
    const char* path;
    bool touched;
  } cases[] = {{"/d/doc", true}, {"/d", true}, {"/d/doc~", true}, {"/e/x/y", true}, {"/d/new", false}, {"/f", false}};
  for (const Case& c : cases) EXPECT_EQ(again.touches(c.path), c.touched) << c.path;
  EXPECT_TRUE(again.deletes("/d/doc~"));
  EXPECT_FALSE(again.deletes("/d/doc"));
  done = true;
  EXPECT_TRUE(again.sendable());
  EXPECT_TRUE(again.replay(*backend, nullptr).ok());
  EXPECT_TRUE(again.isEmpty());
  EXPECT_FALSE(server->exists("/d/doc~"));
  EXPECT_FALSE(server->exists("/e/x"));
}

// What a create that timed out may have left: the empty file goes, a file
// another client gave content stays, and a name the server never made costs
// nothing.
TEST_F(JournalTest, UndoingACreateRemovesOnlyTheEmptyFileItLeft) {
  auto server = std::make_shared<test::MemoryServer>();
  server->putFile("/empty", "");
  server->putFile("/full", "theirs");
  server->makeDir("/folder");
  std::unique_ptr<test::MemoryBackend> backend = server->connection();
  ASSERT_TRUE(backend->connect().ok());
  Journal j(file());
  for (const char* path : {"/empty", "/full", "/folder", "/never"})
    ASSERT_TRUE(j.append({kJournalUndoCreate, path}).ok());
  EXPECT_TRUE(j.deletes("/empty"));
  EXPECT_EQ(reloaded(), 4u);
  std::vector<JournalFailure> failed;
  EXPECT_TRUE(j.replay(*backend, &failed).ok());
  EXPECT_TRUE(failed.empty());
  EXPECT_TRUE(j.isEmpty());
  EXPECT_FALSE(server->exists("/empty"));
  std::string full;
  EXPECT_TRUE(server->readFile("/full", &full) && full == "theirs");
  EXPECT_TRUE(server->exists("/folder"));
  EXPECT_FALSE(server->exists("/never"));
}

// A create whose name the server holds: an empty file there is taken as the
// create's own; a file with content or a folder is kept, and the offline file
// goes where the handler puts it, the records after it following it there.
// A handler that cannot reach the server keeps the record for the next replay.
TEST_F(JournalTest, ACreateMeetingAnotherFileKeepsItAndTheRecordsAfterItFollowTheOfflineFile) {
  auto server = std::make_shared<test::MemoryServer>();
  server->putFile("/empty", "");
  server->putFile("/full", "theirs");
  server->makeDir("/folder");
  std::unique_ptr<test::MemoryBackend> backend = server->connection();
  ASSERT_TRUE(backend->connect().ok());
  std::vector<std::string> asked;
  bool reachable = false;
  const KeepOfflineFile keep = [&](IBackend& b, const std::string& path, std::string& keptAs) {
    asked.push_back(path);
    if (!reachable) return Status(Status::kNetwork, "down");
    keptAs = path + ".mine";
    return b.create(keptAs);
  };

  Journal j(file());
  j.append({kJournalCreate, "/empty", "", 0});
  j.append({kJournalCreate, "/full", "", 0});
  j.append({kJournalRename, "/full", "/renamed", 0});
  j.append({kJournalCreate, "/folder", "", 0});
  j.append({kJournalUnlink, "/folder", "", 0});
  EXPECT_EQ(j.replay(*backend, nullptr, nullptr, &keep).code, Status::kNetwork);
  EXPECT_EQ(asked, (std::vector<std::string>{"/full"}));
  EXPECT_EQ(reloaded(), 4u);

  reachable = true;
  std::vector<JournalFailure> failed;
  std::vector<std::string> sent;
  EXPECT_TRUE(j.replay(*backend, &failed, &sent, &keep).ok());
  EXPECT_TRUE(failed.empty());
  EXPECT_EQ(asked, (std::vector<std::string>{"/full", "/full", "/folder"}));
  std::string content;
  EXPECT_TRUE(server->readFile("/full", &content) && content == "theirs");
  EXPECT_TRUE(server->exists("/renamed"));
  EXPECT_FALSE(server->exists("/full.mine"));
  EXPECT_TRUE(server->exists("/folder"));
  EXPECT_FALSE(server->exists("/folder.mine"));
  EXPECT_NE(std::find(sent.begin(), sent.end(), "/full.mine"), sent.end());
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
        if (!vx::ReadWholeFile(JournalLogPath(file()), text) || text.find('"' + path + '"') == std::string::npos)
          ++missing;
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
      if (full_ && step.step == MemoryEnv::Step::kWrite && step.path.starts_with("/cache/journal"))
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

// A log that refuses its lines (while the document can still be written):
// each change goes into the document instead, and none is lost.
TEST_F(JournalDiskTest, ChangesALogRefusesGoIntoTheDocument) {
  const std::string log = JournalLogPath(kFile);
  std::atomic<bool> refuse{false};
  env_.setHook([&](const MemoryEnv::StepInfo& step) {
    if (refuse && step.step == MemoryEnv::Step::kWrite && step.path == log)
      return Status(Status::kIo, "cannot write " + step.path, EIO);
    return Status();
  });
  Journal j(kFile, &env_);
  ASSERT_TRUE(j.append({kJournalCreate, "/a"}).ok());
  uint64_t rename = 0;
  ASSERT_TRUE(j.append({kJournalRename, "/a", "/b", 0, true}, &rename).ok());
  refuse = true;
  ASSERT_TRUE(j.append({kJournalMkdir, "/c"}).ok());
  EXPECT_NE(j.problem().find("cannot write " + log), std::string::npos) << j.problem();
  EXPECT_EQ(pathsAfterPowerLoss(), (std::vector<std::string>{"/a", "/a", "/b", "/c"}));
  ASSERT_TRUE(j.markMoved(rename));
  j.rebase("/c", "/d");
  EXPECT_EQ(pathsAfterPowerLoss(), (std::vector<std::string>{"/a", "/a", "/b", "/d"}));
  {
    std::unique_ptr<MemoryEnv> disk = env_.snapshot(MemoryEnv::Crash::kPowerLoss);
    Journal again(kFile, disk.get());
    ASSERT_TRUE(again.load());
    EXPECT_TRUE(again.pendingMoves().empty());
  }
  // Once the log takes lines again, it is started afresh and used.
  refuse = false;
  ASSERT_TRUE(j.append({kJournalUnlink, "/e"}).ok());
  EXPECT_EQ(j.problem(), "");
  EXPECT_EQ(pathsAfterPowerLoss(), (std::vector<std::string>{"/a", "/a", "/b", "/d", "/e"}));
}

TEST_F(JournalDiskTest, AFileThatDoesNotLoadIsSetAsideNeverOverwritten) {
  const std::string log = JournalLogPath(kFile);
  struct Case {
    const char* what;
    std::string file;
    std::string content;
    std::vector<std::string> loaded;  // what a load finds after one more change
  } cases[] = {
      {"document larger than the limit", kFile, std::string(kMaxJournalBytes + 1, ' '), {"/new"}},
      {"document not JSON", kFile, "{\"ops\":[{\"op\":\"create\",\"path\":\"/cut", {"/new"}},
      {"log larger than the limit", log, std::string(kMaxJournalBytes + 1, '\n'), {"/new"}},
      {"log without its generation", log, "{\"do\":\"drop\",\"id\":1}\n", {"/new"}},
      // The changes before the bad line are a state the drive was in.
      {"log line that is not a change", log,
       "{\"generation\":0}\n{\"do\":\"add\",\"id\":1,\"op\":\"create\",\"path\":\"/kept\"}\nnot a change\n"
       "{\"do\":\"add\",\"id\":2,\"op\":\"create\",\"path\":\"/later\"}\n",
       {"/kept", "/new"}},
  };
  int loads[2] = {0, 0};  // lines logged for the document, for the log
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MemoryEnv env;
    ASSERT_TRUE(env.makeDirs("/cache").ok());
    ASSERT_TRUE(env.writeFile(c.file, c.content, true, true).ok());
    {
      Journal j(kFile, &env);
      j.load();
      EXPECT_NE(j.problem().find("set aside as " + c.file + ".unread-"), std::string::npos) << j.problem();
      ASSERT_TRUE(j.append({kJournalCreate, "/new"}).ok());
      EXPECT_EQ(log_.countLines("[ERROR] journal: cannot load " + c.file + " ("), ++loads[c.file == log]);
    }
    std::vector<std::string> names;
    ASSERT_TRUE(env.list("/cache", &names).ok());
    const std::string prefix = c.file.substr(std::string("/cache/").size()) + ".unread-";
    auto aside = std::find_if(names.begin(), names.end(), [&](const std::string& n) { return n.starts_with(prefix); });
    ASSERT_NE(aside, names.end());
    std::string kept;
    ASSERT_TRUE(env.readFile("/cache/" + *aside, kMaxJournalBytes + 1, &kept).ok()) << *aside;
    EXPECT_TRUE(kept == c.content);
    Journal again(kFile, &env);
    again.load();
    EXPECT_EQ(again.touchedPaths(), c.loaded);
  }
}

// A journal.json written before the log existed loads, and changes made
// after it name its records correctly across restarts.
TEST_F(JournalDiskTest, AnEarlierDocumentLoadsAndLaterChangesNameItsRecords) {
  ASSERT_TRUE(env_.writeFile(kFile,
                             R"({"ops": [{"op": "create", "path": "/a", "at": 5},)"
                             R"( {"op": "rename", "path": "/a", "to": "/b", "at": 6, "moving": true},)"
                             R"( {"op": "unlink", "path": "/c", "at": 7}]})",
                             true, true)
                  .ok());
  {
    Journal j(kFile, &env_);
    ASSERT_TRUE(j.load());
    ASSERT_EQ(j.pendingMoves().size(), 1u);
    ASSERT_TRUE(j.markMoved(j.pendingMoves()[0].id));
    ASSERT_TRUE(j.append({kJournalMkdir, "/d"}).ok());
  }
  for (int restart = 0; restart < 2; ++restart) {
    Journal j(kFile, &env_);
    ASSERT_TRUE(j.load());
    EXPECT_EQ(j.touchedPaths(), (std::vector<std::string>{"/a", "/a", "/b", "/c", "/d"}));
    EXPECT_TRUE(j.pendingMoves().empty());
  }
}

// Records are looked up by number; a document edited into another order
// still has every log line reach the record it names, and the records
// replay in the order they were made.
TEST_F(JournalDiskTest, RecordsOutOfOrderInTheDocumentAreStillFoundByTheLog) {
  ASSERT_TRUE(env_.writeFile(kFile,
                             R"({"generation": 0, "next": 3, "ops": [)"
                             R"({"id": 3, "op": "unlink", "path": "/c"},)"
                             R"( {"id": 1, "op": "create", "path": "/a"},)"
                             R"( {"id": 2, "op": "mkdir", "path": "/b"}]})",
                             true, true)
                  .ok());
  ASSERT_TRUE(env_.writeFile(JournalLogPath(kFile),
                             "{\"generation\":0}\n{\"do\":\"drop\",\"id\":1}\n"
                             "{\"do\":\"add\",\"id\":4,\"op\":\"create\",\"path\":\"/d\"}\n"
                             "{\"do\":\"paths\",\"records\":[{\"id\":3,\"path\":\"/e\"}]}\n"
                             "{\"do\":\"add\",\"id\":3,\"op\":\"create\",\"path\":\"/twice\"}\n",
                             true, true)
                  .ok());
  Journal j(kFile, &env_);
  ASSERT_TRUE(j.load());
  EXPECT_EQ(j.touchedPaths(), (std::vector<std::string>{"/b", "/e", "/d"}));
  ASSERT_TRUE(j.append({kJournalCreate, "/f"}).ok());
  EXPECT_EQ(j.touchedPaths(), (std::vector<std::string>{"/b", "/e", "/d", "/f"}));
}

// A change costs one line in the log and one sync, whatever waits before
// it; the document is written when a replay has emptied the journal.
TEST_F(JournalDiskTest, AChangeWritesOneLineNotTheWholeJournal) {
  std::atomic<int> replaced{0}, logWrites{0}, syncs{0};
  env_.setHook([&](const MemoryEnv::StepInfo& step) {
    if (step.step == MemoryEnv::Step::kRename) ++replaced;
    if (step.step == MemoryEnv::Step::kWrite && step.path == JournalLogPath(kFile)) ++logWrites;
    if (step.step == MemoryEnv::Step::kSync) ++syncs;
    return Status();
  });
  constexpr int kRecords = 300;
  Journal j(kFile, &env_);
  for (int i = 0; i < kRecords; ++i) ASSERT_TRUE(j.append({kJournalCreate, "/" + std::to_string(i)}).ok());
  // The log's generation line comes first, once.
  EXPECT_EQ(replaced.load(), 0);
  EXPECT_EQ(logWrites.load(), kRecords + 1);
  EXPECT_EQ(syncs.load(), kRecords + 1);

  auto server = std::make_shared<test::MemoryServer>();
  std::unique_ptr<test::MemoryBackend> backend = server->connection();
  ASSERT_TRUE(backend->connect().ok());
  ASSERT_TRUE(j.replay(*backend, nullptr).ok());
  EXPECT_EQ(replaced.load(), 1);
  std::string log;
  ASSERT_TRUE(env_.readFile(JournalLogPath(kFile), kMaxJournalBytes, &log).ok());
  EXPECT_EQ(log.find("\"do\""), std::string::npos) << log;
  EXPECT_EQ(server->countCalls(MemOp::kCreate), kRecords);
}

// Whatever step a crash or a power loss cuts, a restart finds every change
// whose call returned, and no change that was not made: the state before or
// after the call under way. Folds run often (a tiny threshold) and at each
// load, so crashes fall inside them too.
TEST_F(JournalDiskTest, ACrashAtAnyStepFindsEveryChangeWhoseCallReturned) {
  constexpr uint64_t kFoldBytes = 150;
  struct Snapshot {
    std::unique_ptr<MemoryEnv> disk;
    size_t done;  // calls returned before the step
  };
  std::vector<Snapshot> disks;
  size_t done = 0;
  env_.setHook([&](const MemoryEnv::StepInfo& step) {
    if (step.step != MemoryEnv::Step::kRead) {
      disks.push_back({env_.snapshot(MemoryEnv::Crash::kProcess), done});
      disks.push_back({env_.snapshot(MemoryEnv::Crash::kPowerLoss), done});
    }
    return Status();
  });
  // The state after each call: paths, then renames still moving.
  auto seen = [](Journal& j) {
    std::vector<std::string> out = j.touchedPaths();
    for (const JournalOp& op : j.pendingMoves()) out.push_back("moving " + op.path);
    return out;
  };
  std::vector<std::vector<std::string>> states;
  auto journal = std::make_unique<Journal>(kFile, &env_, kFoldBytes);
  auto after = [&](bool ok) {
    ASSERT_TRUE(ok);
    states.push_back(seen(*journal));
    ++done;
  };
  states.push_back(seen(*journal));
  uint64_t rename = 0, online = 0;
  after(journal->append({kJournalMkdir, "/d"}).ok());
  after(journal->append({kJournalCreate, "/d/f"}).ok());
  after(journal->append({kJournalRename, "/d", "/e", 0, true}, &rename).ok());
  after(journal->append({kJournalCreate, "/e/g"}).ok());
  after(journal->append({kJournalRename, "/x", "/y", 0, true, true}, &online).ok());
  after(journal->drop(online));
  after(journal->markMoved(rename));
  journal->rebase("/e", "/h");
  after(true);
  journal = std::make_unique<Journal>(kFile, &env_, kFoldBytes);
  after(journal->load());
  after(journal->append({kJournalUnlink, "/h/f"}).ok());
  env_.setHook(nullptr);
  ASSERT_GT(disks.size(), 40u);
  for (const Snapshot& s : disks) {
    Journal j(kFile, s.disk.get(), kFoldBytes);
    j.load();
    const std::vector<std::string> got = seen(j);
    EXPECT_TRUE(got == states[s.done] || got == states[s.done + 1])
        << "after " << s.done << " calls: " << ::testing::PrintToString(got);
    EXPECT_EQ(j.problem(), "");
  }
}

// A crash in the middle of a line leaves its start: the change never
// happened, the lines before it stand, and later lines are not written
// after the broken one. A fold that could not empty the log loses and
// repeats nothing.
TEST_F(JournalDiskTest, ABrokenLastLineAndAHalfDoneFoldLoseNothing) {
  const std::string log = JournalLogPath(kFile);
  ASSERT_TRUE(env_.writeFile(log,
                             "{\"generation\":0}\n{\"do\":\"add\",\"id\":1,\"op\":\"create\",\"path\":\"/a\"}\n"
                             "{\"do\":\"add\",\"id\":2,\"op\":\"crea",
                             true, true)
                  .ok());
  std::atomic<bool> cutFails{true};
  env_.setHook([&](const MemoryEnv::StepInfo& step) {
    if (cutFails && step.step == MemoryEnv::Step::kTruncate && step.path == log)
      return Status(Status::kIo, "cannot cut " + step.path, EIO);
    return Status();
  });
  {
    Journal j(kFile, &env_);
    ASSERT_TRUE(j.load());
    EXPECT_EQ(j.touchedPaths(), std::vector<std::string>{"/a"});
    // The log still ends in the broken line: the change goes into the
    // document instead.
    ASSERT_TRUE(j.append({kJournalCreate, "/b"}).ok());
    EXPECT_NE(j.problem().find("cannot start " + log + " afresh"), std::string::npos) << j.problem();
  }
  cutFails = false;
  std::vector<std::string> expected{"/a", "/b"};
  for (const char* next : {"/c", "/d"}) {
    Journal j(kFile, &env_);
    ASSERT_TRUE(j.load());
    EXPECT_EQ(j.touchedPaths(), expected);
    ASSERT_TRUE(j.append({kJournalCreate, next}).ok());
    expected.push_back(next);
    EXPECT_EQ(j.problem(), "");
  }
}

}  // namespace
}  // namespace tarn
