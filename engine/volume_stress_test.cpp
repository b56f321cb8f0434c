// Whole-drive tests: a writer process killed at random points, and writers,
// renames and deletions racing uploads on a server that fails now and then.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <thread>

#include "engine/volume.h"
#include "testing/temp_dir.h"
#include "testing/volume_harness.h"

namespace tarn {
namespace {

using test::FaultRule;
using test::MemOp;

constexpr uint32_t kBs = 4096;

std::string CrashContent(int round, int index) {
  return test::Pattern(1 + (static_cast<uint64_t>(index) * 2741 + round * 577) % (5 * kBs),
                       static_cast<uint32_t>(round * 100 + index));
}

std::string CrashName(int round, int index) { return "/r" + std::to_string(round) + "-" + std::to_string(index); }

// The child: an offline drive that creates, writes (in unaligned pieces) and
// closes one file after another, and reports each closed file's index.
[[noreturn]] void WriteUntilKilled(const std::string& root, int round, int report) {
  MountConfig config = test::UploadDrive(kBs);
  config.cache.offlineMode = true;
  auto server = std::make_shared<test::MemoryServer>();
  Volume volume(config, root, server->factory(), test::QuickTimings());
  if (!volume.start(nullptr).ok()) _exit(2);
  for (int i = 0;; ++i) {
    const std::string content = CrashContent(round, i);
    std::shared_ptr<OpenFile> file;
    if (!volume.create(CrashName(round, i), false, file).ok()) _exit(3);
    for (uint64_t at = 0; at < content.size();) {
      const uint64_t n = std::min<uint64_t>(content.size() - at, 1000 + at % 3000);
      if (!volume.write(file, at, content.data() + at, n).ok()) _exit(4);
      at += n;
    }
    volume.closeNow(file);
    const std::string line = std::to_string(i) + "\n";
    if (::write(report, line.data(), line.size()) != static_cast<ssize_t>(line.size())) _exit(5);
  }
}

TEST(VolumeCrashTest, EveryFileClosedBeforeAKillIsUploadedByTheNextDrive) {
  constexpr int kRounds = 6;
  test::TempDir root("tarn-crash");
  std::mt19937 rng(20240607);
  std::vector<std::pair<int, int>> closed;  // round, index
  for (int round = 0; round < kRounds; ++round) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(fds[0]);
      WriteUntilKilled(root.path(), round, fds[1]);
    }
    ::close(fds[1]);
    // Killed while it works on the file after a random number of closes.
    const int before = std::uniform_int_distribution<int>(1, 15)(rng);
    std::string reported;
    char buf[256];
    for (int lines = 0; lines < before;) {
      const ssize_t n = ::read(fds[0], buf, sizeof buf);
      ASSERT_GT(n, 0) << "the writer died on its own";
      reported.append(buf, static_cast<size_t>(n));
      lines = static_cast<int>(std::count(reported.begin(), reported.end(), '\n'));
    }
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;) reported.append(buf, static_cast<size_t>(n));
    ::close(fds[0]);
    for (size_t at = 0, end; (end = reported.find('\n', at)) != std::string::npos; at = end + 1)
      closed.emplace_back(round, std::stoi(reported.substr(at, end - at)));
  }

  auto server = std::make_shared<test::MemoryServer>();
  server->setCaps(test::WritableCaps(true));
  Volume volume(test::UploadDrive(kBs), root.path(), server->factory(), test::QuickTimings());
  ASSERT_TRUE(volume.start(nullptr).ok());
  ASSERT_TRUE(volume.waitUploadsIdle(test::Gate::kDefaultWaitMs));
  for (const auto& [round, index] : closed) {
    std::string content;
    EXPECT_TRUE(server->readFile(CrashName(round, index), &content) && content == CrashContent(round, index))
        << CrashName(round, index);
  }
}

// What one writer thread believes its folder holds.
using Model = std::map<std::string, std::string>;

// Random steps on the files of one folder: create, rewrite, resize, rename
// (onto a new name or over another file) and delete.
void Churn(Volume& volume, const std::string& folder, uint32_t seed, int steps, Model& model) {
  std::mt19937 rng(seed);
  auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
  auto any = [&] { return std::next(model.begin(), pick(static_cast<int>(model.size())))->first; };
  int names = 0;
  for (int step = 0; step < steps; ++step) {
    // 0 create, 1 rewrite, 2 rename to a new name, 3 rename over a file, 4 delete.
    constexpr int kOps[] = {0, 0, 1, 1, 2, 3, 4};
    const int op = model.size() < 2 ? 0 : kOps[pick(static_cast<int>(std::size(kOps)))];
    if (op <= 1) {
      const std::string path = op == 0 ? folder + "/f" + std::to_string(names++) : any();
      std::shared_ptr<OpenFile> file;
      ASSERT_TRUE((op == 0 ? volume.create(path, false, file) : volume.open(path, file)).ok()) << path;
      std::string& content = model[path];
      for (int piece = pick(3); piece >= 0; --piece) {
        const uint64_t at = pick(3 * kBs), n = 1 + pick(2 * kBs);
        const std::string data = test::Pattern(n, static_cast<uint32_t>(seed + step));
        ASSERT_TRUE(volume.write(file, at, data.data(), n).ok()) << path;
        if (content.size() < at + n) content.resize(at + n, '\0');
        content.replace(at, n, data);
      }
      if (pick(4) == 0) {
        const uint64_t size = pick(4 * kBs);
        ASSERT_TRUE(volume.setSize(file, size).ok()) << path;
        content.resize(size, '\0');
      }
      volume.closeNow(file);
    } else if (op <= 3) {
      const std::string from = any();
      const std::string to = op == 2 ? folder + "/f" + std::to_string(names++) : any();
      if (from == to) continue;
      ASSERT_TRUE(volume.rename(from, to, op == 3).ok()) << from << " -> " << to;
      model[to] = model[from];
      model.erase(from);
    } else {
      const std::string path = any();
      ASSERT_TRUE(volume.unlink(path, false).ok()) << path;
      model.erase(path);
    }
  }
}

TEST(VolumeStressTest, WritersRenamesAndUploadsOnAFaultyServerEndWithTheFinalContent) {
  constexpr int kWriters = 4;
  constexpr int kSteps = 80;
  for (bool randomWrite : {true, false}) {
    SCOPED_TRACE(randomWrite ? "in place" : "whole");
    test::VolumeHarness h(test::UploadDrive(kBs));
    h.server->setCaps(test::WritableCaps(randomWrite));
    // Network failures scattered over every step of an upload and of the
    // namespace calls, and a few refusals that end an upload attempt.
    for (MemOp op : {MemOp::kWriteAt, MemOp::kOpenWrite, MemOp::kStreamWrite, MemOp::kFinish, MemOp::kStat,
                     MemOp::kTruncate, MemOp::kCreate, MemOp::kRename, MemOp::kRemove})
      for (int call = 3; call < 400; call += 7) h.server->addFault({op, "", call, 1});
    for (int call = 5; call < 400; call += 23)
      h.server->addFault({randomWrite ? MemOp::kWriteAt : MemOp::kFinish, "", call, 1, FaultRule::Kind::kFail,
                          Status(Status::kIo, "injected")});
    ASSERT_TRUE(h.volume->start(nullptr).ok());
    std::vector<Model> models(kWriters);
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w) {
      const std::string folder = "/w" + std::to_string(w);
      std::shared_ptr<OpenFile> dir;
      ASSERT_TRUE(h.volume->create(folder, true, dir).ok());
      writers.emplace_back([&, w, folder] { Churn(*h.volume, folder, 1000 + w, kSteps, models[w]); });
    }
    for (std::thread& t : writers) t.join();
    ASSERT_TRUE(h.volume->waitUploadsIdle(test::Gate::kDefaultWaitMs));

    std::unique_ptr<test::MemoryBackend> look = h.server->connection();
    h.server->clearFaults();
    ASSERT_TRUE(look->connect().ok());
    for (int w = 0; w < kWriters; ++w) {
      const std::string folder = "/w" + std::to_string(w);
      std::vector<DirEntry> entries;
      ASSERT_TRUE(look->list(folder, entries).ok());
      EXPECT_EQ(entries.size(), models[w].size()) << folder;
      for (const auto& [path, content] : models[w]) {
        std::string got;
        EXPECT_TRUE(h.server->readFile(path, &got) && got == content) << path;
      }
    }
  }
}

}  // namespace
}  // namespace tarn
