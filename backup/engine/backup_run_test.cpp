#include "backup/engine/backup_run.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <thread>

#include "backup/engine/backup_test_world.h"
#include "backup/engine/repository_check.h"
#include "engine/backend_factory.h"
#include "foundation/text.h"
#include "platform/caller_rights.h"
#include "testing/heap_peak.h"
#include "testing/remote_tree.h"

namespace tarn::backup {
namespace {

namespace fs = std::filesystem;
using test::MemOp;

const CallerToken kNobody{4242, 4343, {}};

std::string ReadLocal(const std::string& path) {
  std::string out;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    std::fclose(f);
  }
  return out;
}

// A tree with every kind of entry the walk meets; returns what a snapshot
// of it must hold, by path below the source's root entry.
std::map<std::string, std::string> EveryKindOfEntry(BackupWorld& bw) {
  const std::string large = RandomString(300000, 1);
  bw.write("large.bin", large);
  bw.write("empty", "");
  bw.write("text.txt", "hello");
  bw.write("sub/deeper/nested.txt", "nested");
  bw.write("locked", "secret");
  EXPECT_EQ(::chmod((bw.src + "/locked").c_str(), 0), 0);
  bw.write("bad\xFFname", "x");
  EXPECT_EQ(::symlink("text.txt", (bw.src + "/link-to-file").c_str()), 0);
  EXPECT_EQ(::symlink("sub", (bw.src + "/link-to-folder").c_str()), 0);
  EXPECT_EQ(::mkfifo((bw.src + "/fifo").c_str(), 0644), 0);
  fs::create_directories(bw.src + "/empty-folder");
  return {{"/src", "/"},
          {"/src/empty", ""},
          {"/src/empty-folder", "/"},
          {"/src/large.bin", large},
          {"/src/link-to-file", "hello"},
          {"/src/sub", "/"},
          {"/src/sub/deeper", "/"},
          {"/src/sub/deeper/nested.txt", "nested"},
          {"/src/text.txt", "hello"}};
}

TEST(BackupRun, TreeWithEveryKindOfEntryIsStoredAndUnchangedFilesAreNotReadAgain) {
  BackupWorld bw;
  auto expected = EveryKindOfEntry(bw);
  auto repo = bw.create();
  // The walk runs with an ordinary user's rights, so that the locked file
  // cannot be read; the state folder is open to that user.
  fs::create_directories(bw.state);
  fs::permissions(bw.state, fs::perms::all);
  auto run = [&] {
    ScopedCallerRights rights;
    EXPECT_TRUE(rights.enter(kNobody).ok());
    return bw.backup(*repo, bw.args());
  };

  BackupWorld::Result first = run();
  ASSERT_TRUE(first.status.ok()) << first.status.toString();
  ExpectSameTree(ReadSnapshot(*repo, first.snapshot.tree), expected);
  EXPECT_EQ(first.problems, (std::vector<std::string>{bw.src + "/bad\\xFFname: the name is not valid UTF-8",
                                                      bw.src + "/locked: cannot open (" +
                                                          vx::FormatWin32Error(EACCES) + ")"}));
  EXPECT_EQ(first.skipped, 2u) << "the link to a folder and the FIFO";
  const SnapshotInfo& s = first.snapshot;
  EXPECT_EQ(s.job, "job1");
  EXPECT_EQ(s.name, "Job job1");
  EXPECT_EQ(s.sources, std::vector<std::string>{bw.src});
  EXPECT_EQ(s.files, 5u);
  EXPECT_EQ(s.dirs, 4u);
  EXPECT_EQ(s.bytes, 300000u + 5 + 6 + 5);
  EXPECT_EQ(s.errors, 2u);
  EXPECT_GT(s.addedBytes, s.bytes) << "contents and listings";
  EXPECT_GT(s.storedBytes, 0u);
  EXPECT_FALSE(s.host.empty());

  std::vector<SnapshotInfo> listed;
  ASSERT_TRUE(repo->listSnapshots(listed).ok());
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].id, s.id);
  EXPECT_EQ(listed[0].tree, s.tree);

  // A second run takes every file from the cache; a changed file alone is
  // read again.
  BackupWorld::Result second = run();
  ASSERT_TRUE(second.status.ok());
  EXPECT_EQ(second.bytesRead, 0u);
  EXPECT_EQ(second.snapshot.tree, s.tree);
  EXPECT_EQ(second.snapshot.addedBytes, 0u);
  EXPECT_EQ(second.bytes, s.bytes);
  bw.write("text.txt", "hello, changed");
  BackupWorld::Result third = run();
  ASSERT_TRUE(third.status.ok());
  EXPECT_EQ(third.bytesRead, 28u) << "the file and the link to it";
  expected["/src/text.txt"] = "hello, changed";
  expected["/src/link-to-file"] = "hello, changed";
  auto reopened = bw.reopen();
  ExpectSameTree(ReadSnapshot(*reopened, third.snapshot.tree), expected);

  CheckReport report;
  ASSERT_TRUE(CheckRepository(*reopened, true, report, nullptr, nullptr).ok());
  EXPECT_TRUE(report.problems.empty()) << report.problems.front();
}

TEST(BackupRun, SourcesNameTheirRootEntries) {
  struct Case {
    std::string path;
    std::vector<std::string> before;
    std::string name;
  } cases[] = {
      {"/home/a/Docs", {}, "Docs"},
      {"/srv/docs", {"Docs"}, "docs (2)"},
      {"/srv/docs", {"Docs", "DOCS (2)"}, "docs (3)"},
      {"/", {}, "root"},
      {"/x/Ünïcode", {"üNÏCODE"}, "Ünïcode (2)"},
  };
  for (const Case& c : cases) {
    std::vector<ListingEntry> root;
    for (const std::string& n : c.before) root.push_back(ListingEntry{n});
    EXPECT_EQ(BackupRun::sourceEntryName(c.path, root), c.name) << c.path;
  }

  // Two folders of one name, one given with a trailing slash, a single file
  // and a missing source: each stored source is named once and listed as
  // given, made absolute.
  BackupWorld bw;
  bw.write("a/Docs/one.txt", "1");
  bw.write("b/docs/two.txt", "2");
  bw.write("single.txt", RandomString(70000, 2));
  auto repo = bw.create();
  BackupRunArgs args = bw.args("job1", {bw.src + "/a/Docs", bw.src + "/b/./docs/", bw.src + "/missing",
                                        bw.src + "/single.txt"});
  BackupWorld::Result r = bw.backup(*repo, args);
  ASSERT_TRUE(r.status.ok()) << r.status.toString();
  EXPECT_EQ(r.snapshot.sources,
            (std::vector<std::string>{bw.src + "/a/Docs", bw.src + "/b/docs", bw.src + "/single.txt"}));
  EXPECT_EQ(r.problems, std::vector<std::string>{bw.src + "/missing: cannot open the source (" +
                                                 vx::FormatWin32Error(ENOENT) + ")"});
  auto files = ReadSnapshot(*repo, r.snapshot.tree);
  EXPECT_EQ(files["/Docs/one.txt"], "1");
  EXPECT_EQ(files["/docs (2)/two.txt"], "2");
  EXPECT_EQ(files["/single.txt"], ReadLocal(bw.src + "/single.txt"));

  // A file given as a source has no cached state: it is read every time.
  BackupWorld::Result again = bw.backup(*repo, args);
  ASSERT_TRUE(again.status.ok());
  EXPECT_EQ(again.bytesRead, 70000u);
  EXPECT_EQ(again.snapshot.tree, r.snapshot.tree);
}

TEST(BackupRun, AFileThatKeepsChangingIsStoredUnderAWarningThatNamesIt) {
  BackupWorld bw;
  bw.write("steady.txt", "steady");
  auto generation = [&](int g) {
    bw.write("db", RandomString(90000, uint32_t(10 + g)));
    const timespec times[2] = {{1600000000 + g, 0}, {1600000000 + g, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (bw.src + "/db").c_str(), times, 0), 0);
  };
  generation(0);
  auto repo = bw.create();
  SnapshotInfo snapshot;
  std::vector<std::string> problems;
  WalkNotes notes;
  Progress progress;
  const Status st = RunBackup(*repo, bw.args(), &progress, nullptr, snapshot, problems, &notes,
                              [&](const std::string& path, int attempt) {
                                if (path == bw.src + "/db") generation(attempt);
                              });
  ASSERT_TRUE(st.ok()) << st.toString();
  EXPECT_EQ(problems, std::vector<std::string>{bw.src + "/db: kept changing while it was read; the stored copy may "
                                                        "mix old and new content"});
  EXPECT_EQ(notes.changedFiles, 1u);
  EXPECT_EQ(snapshot.errors, 1u);
  EXPECT_EQ(snapshot.files, 2u);
  // Stored as the last read saw it.
  auto files = ReadSnapshot(*repo, snapshot.tree);
  EXPECT_TRUE(files["/src/db"] == RandomString(90000, uint32_t(10 + kMaxReadAttempts - 1)));
  EXPECT_EQ(files["/src/steady.txt"], "steady");
}

TEST(BackupRun, TheNoteTellsWhatWasLeftOutOnPurpose) {
  WalkNotes many;
  for (size_t i = 0; i < kMaxNotedMounts + 2; ++i) many.skippedMounts.push_back("/m" + std::to_string(i) + " (nfs4)");
  std::string named;
  for (size_t i = 0; i < kMaxNotedMounts; ++i) named += (i ? ", /m" : "/m") + std::to_string(i) + " (nfs4)";
  struct Case {
    WalkNotes notes;
    std::string text;
  } cases[] = {
      {{}, ""},
      {{1, 0, {}}, "; 1 file changed while it was read, stored as last read"},
      {{2, 1, {}}, "; 2 files changed while they were read, stored as last read; 1 FIFO, socket or device skipped"},
      {{0, 3, {"/src/proc (proc)"}}, "; 3 FIFOs, sockets or devices skipped; not backed up: /src/proc (proc)"},
      {{0, 0, {}, 1}, "; 1 symbolic link that leads nowhere skipped"},
      {{0, 1, {}, 2}, "; 1 FIFO, socket or device skipped; 2 symbolic links that lead nowhere skipped"},
      {many, "; not backed up: " + named + " and 2 more mounts"},
  };
  for (const Case& c : cases) EXPECT_EQ(WalkNotesText(c.notes), c.text);
}

// Lines of words, which compress, so that blobs take both ways through the
// seal stage.
std::string TextLike(size_t size, uint32_t seed) {
  static const char* const kWords[] = {"backup ", "pack ", "blob ", "index ", "seal ", "upload ", "folder ", "\n"};
  std::mt19937 gen(seed);
  std::string out;
  while (out.size() < size) out += kWords[gen() % std::size(kWords)];
  out.resize(size);
  return out;
}

TEST(BackupRun, SlowUploadsHoldTheReadersBackWithinTheMemoryBudget) {
  BackupWorld bw;
  RepoOptions& options = bw.repoWorld.options;
  options.pipelineBytes = 4 * kMinPackTargetSize;
  options.sealThreads = 2;
  options.connections = 3;  // two upload workers
  // Four times the budget in one folder, so that every reader still has a
  // file to read when the budget is full.
  constexpr int kFiles = 32;
  constexpr size_t kFileSize = 524288;
  std::map<std::string, std::string> expected{{"/src", "/"}};
  for (int i = 0; i < kFiles; ++i) {
    const std::string name = "f" + std::to_string(i);
    const std::string content = i % 2 == 0 ? RandomString(kFileSize, uint32_t(i)) : TextLike(kFileSize, uint32_t(i));
    bw.write(name, content);
    expected["/src/" + name] = content;
  }
  auto repo = bw.create();
  // Each upload worker is held at its first pack.
  auto first = bw.repoWorld.server->addGate(MemOp::kOpenWrite, "/data/");
  auto second = bw.repoWorld.server->addGate(MemOp::kOpenWrite, "/data/");

  test::HeapPeak heap;
  BackupWorld::Result result;
  std::thread run([&] { result = bw.backup(*repo, bw.args()); });
  const bool full = first->waitArrived() && second->waitArrived() &&
                    RepoTestPeer::waitStoresWaiting(*repo, kDefaultFileReaders);
  const uint64_t peak = heap.peak();
  first->release();
  second->release();
  run.join();
  ASSERT_TRUE(full) << "every reader must come to wait for room";

  // What the pipeline counts, the buffers of the two open packs (made at
  // once with room for the target and a largest chunk), the readers'
  // buffers, and a megabyte for all else: the tails the closed packs leave
  // unused, the walk's own state.
  const uint64_t packBuffer = kMinPackTargetSize + kTestChunks.max + kSealOverhead;
  const uint64_t readerBuffer = kTestChunks.max * 3 / 2;
  const uint64_t bound =
      options.pipelineBytes + kTestChunks.max + 2 * packBuffer + kDefaultFileReaders * readerBuffer + 1048576;
  EXPECT_LE(peak, bound);
  EXPECT_LT(peak, kFiles * kFileSize / 2) << "far less than the tree is held";
  ASSERT_TRUE(result.status.ok()) << result.status.toString();
  ExpectSameTree(ReadSnapshot(*repo, result.snapshot.tree), expected);
}

TEST(BackupRun, FailedRunsWriteNoSnapshotAndLeaveTheStateAsItWas) {
  struct Case {
    const char* name;
    std::function<void(BackupWorld&, BackupRunArgs&, CancelToken&)> arrange;
    Status expected;
  } cases[] = {
      {"every source missing",
       [](BackupWorld& bw, BackupRunArgs& a, CancelToken&) { a.sources = {bw.src + "/gone", bw.src + "/gone2"}; },
       Status(Status::kNotFound, "none of the folders to back up could be read")},
      {"no sources", [](BackupWorld&, BackupRunArgs& a, CancelToken&) { a.sources.clear(); },
       Status(Status::kNotFound, "none of the folders to back up could be read")},
      {"cancelled", [](BackupWorld&, BackupRunArgs&, CancelToken& t) { t.cancel(); }, Status(Status::kCanceled, "")},
      {"uploads refused",
       [](BackupWorld& bw, BackupRunArgs&, CancelToken&) {
         bw.repoWorld.server->addFault(Fault(MemOp::kOpenWrite, 1, 0, Status(Status::kAccessDenied, "refused")));
       },
       Status(Status::kAccessDenied, "refused")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BackupWorld bw;
    bw.write("a.txt", RandomString(200000, 3));
    auto repo = bw.create();
    ASSERT_TRUE(bw.backup(*repo, bw.args()).status.ok());
    const std::string stateBin = bw.state + "/job1/state.bin";
    const std::string before = ReadLocal(stateBin);
    ASSERT_FALSE(before.empty());
    bw.write("b.txt", RandomString(200000, 4));

    BackupRunArgs a = bw.args();
    CancelToken token;
    c.arrange(bw, a, token);
    repo->cancel = &token;
    BackupWorld::Result r = bw.backup(*repo, a, &token);
    EXPECT_EQ(r.status.code, c.expected.code);
    EXPECT_EQ(r.status.message, c.expected.message);
    EXPECT_EQ(bw.repoWorld.names("/snapshots").size(), 1u) << "only the first run's record";
    EXPECT_EQ(ReadLocal(stateBin), before);
    EXPECT_FALSE(fs::exists(bw.state + "/job1/state.new"));
  }
}

// A real tree to each real server, checked reading every pack, then read
// back byte-exact from a fresh opening.
class BackupOnServer : public ::testing::TestWithParam<std::string> {};

TEST_P(BackupOnServer, TreeIsStoredChecksCleanAndReadsBack) {
  EndpointConfig base = TestServerEndpoint(GetParam());
  ASSERT_FALSE(::testing::Test::HasFailure());
  const std::string folder = "/backup-run-" + GetParam() + "-" + std::to_string(::getpid());
  EndpointConfig ep = base;
  ep.root = base.root + folder;
  ASSERT_TRUE(EnsureRemoteRoot(ep).ok());

  BackupWorld bw;
  auto expected = EveryKindOfEntry(bw);
  bw.write("more/big.bin", RandomString(3 * 1048576, 9));
  expected["/src/more"] = "/";
  expected["/src/more/big.bin"] = ReadLocal(bw.src + "/more/big.bin");
  expected["/src/locked"] = "secret";  // the test reads with root's rights
  auto make = [&] {
    auto repo = std::make_shared<Repo>([ep] { return MakeBackend(ep); }, TestRepoOptions());
    return repo;
  };
  SnapshotInfo snapshot;
  {
    auto repo = make();
    ASSERT_TRUE(repo->init(kTestPassword).ok());
    ASSERT_TRUE(repo->open(kTestPassword).ok());
    ASSERT_TRUE(repo->loadIndex().ok());
    BackupWorld::Result r = bw.backup(*repo, bw.args());
    ASSERT_TRUE(r.status.ok()) << r.status.toString();
    snapshot = r.snapshot;
  }
  auto repo = make();
  ASSERT_TRUE(repo->open(kTestPassword).ok());
  ASSERT_TRUE(repo->loadIndex().ok());
  CheckReport report;
  Progress progress;
  ASSERT_TRUE(CheckRepository(*repo, true, report, nullptr, nullptr, &progress).ok());
  EXPECT_TRUE(report.problems.empty()) << report.problems.front();
  EXPECT_EQ(progress.errors, 0u);
  EXPECT_GT(report.packsRead, 1u);
  ExpectSameTree(ReadSnapshot(*repo, snapshot.tree), expected);
  if (std::unique_ptr<IBackend> b = MakeBackend(base); b && b->connect().ok()) test::RemoveRemoteTree(*b, folder);
}

INSTANTIATE_TEST_SUITE_P(Servers, BackupOnServer, ::testing::Values("webdav", "sftp", "nfs"));

}  // namespace
}  // namespace tarn::backup
