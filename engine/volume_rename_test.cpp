// Renames of files with changes still to upload, cut short by a kill at any
// step of the drive's cache and journal (a MemoryEnv stops the world there),
// uploads whose folder went missing on the server, and work in a folder
// while the folder is renamed.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "engine/volume.h"
#include "foundation/memory_env.h"
#include "testing/eventually.h"
#include "testing/gate.h"
#include "testing/log_capture.h"
#include "testing/volume_harness.h"

namespace tarn {
namespace {

using test::MemOp;

constexpr uint32_t kBs = 4096;
constexpr int kFiles = 4;
constexpr const char* kCacheRoot = "/cache";

std::string Content(int i) { return test::Pattern(kBs + 1000 * static_cast<uint64_t>(i), static_cast<uint32_t>(i)); }
std::string Name(const std::string& folder, int i) { return folder + "/f" + std::to_string(i); }

// Uploads wait an hour after a close: nothing goes up unless a start or a
// rename makes it due.
MountConfig HeldUploads() {
  MountConfig config = test::UploadDrive(kBs);
  config.cache.writebackDelayMs = 3600 * 1000;
  return config;
}

// A server as a rename of /dir to /moved leaves it, before or after the
// server's step: the files exist, empty, their content not yet uploaded.
std::shared_ptr<test::MemoryServer> ServerWith(const std::string& folder, bool randomWrite) {
  auto server = std::make_shared<test::MemoryServer>();
  server->setCaps(test::WritableCaps(randomWrite));
  server->makeDir(folder);
  for (int i = 0; i < kFiles; ++i) server->putFile(Name(folder, i), "");
  return server;
}

TEST(VolumeRenameCrashTest, AFolderRenameCutShortByAKillIsFinishedByTheNextStart) {
  for (bool randomWrite : {true, false}) {
    SCOPED_TRACE(randomWrite ? "in place" : "whole");
    MemoryEnv env;
    auto server = ServerWith("/dir", randomWrite);
    struct Disk {
      std::unique_ptr<MemoryEnv> env;
      bool renamedOnServer;
    };
    std::vector<Disk> disks;
    {
      Volume v(HeldUploads(), kCacheRoot, server->factory(), test::QuickTimings(), &env);
      ASSERT_TRUE(v.start(nullptr).ok());
      for (int i = 0; i < kFiles; ++i) {
        std::shared_ptr<OpenFile> file;
        ASSERT_TRUE(v.open(Name("/dir", i), file).ok());
        ASSERT_TRUE(v.write(file, 0, Content(i).data(), Content(i).size()).ok());
        v.closeNow(file);
      }
      // Kill points are the renaming thread's own steps: it alone changes
      // the server, so each disk is paired with the server it leaves. Maps
      // the closes left to the background are written meanwhile, and each
      // disk holds what of them had reached it.
      const std::thread::id renamer = std::this_thread::get_id();
      env.setHook([&](const MemoryEnv::StepInfo& step) {
        if (step.step != MemoryEnv::Step::kRead && std::this_thread::get_id() == renamer)
          disks.push_back({env.snapshot(MemoryEnv::Crash::kProcess), server->exists("/moved")});
        return Status();
      });
      ASSERT_TRUE(v.rename("/dir", "/moved", false).ok());
      env.setHook(nullptr);
      v.stop(0);
    }
    ASSERT_GT(disks.size(), 10u);
    int afterServer = 0;
    for (size_t k = 0; k < disks.size(); ++k) {
      SCOPED_TRACE("killed before step " + std::to_string(k));
      Disk& disk = disks[k];
      afterServer += disk.renamedOnServer ? 1 : 0;
      auto again = ServerWith(disk.renamedOnServer ? "/moved" : "/dir", randomWrite);
      MountConfig config = HeldUploads();
      Volume v(config, kCacheRoot, again->factory(), test::QuickTimings(), disk.env.get());
      ASSERT_TRUE(v.start(nullptr).ok());
      ASSERT_TRUE(v.waitUploadsIdle(test::Gate::kDefaultWaitMs)) << "uploads never end";
      // All of the content is in one folder, the one the rename left, or
      // the old one when it was cut short before anything was recorded.
      const std::string folder = again->exists("/moved") ? "/moved" : "/dir";
      EXPECT_FALSE(again->exists(folder == "/moved" ? "/dir" : "/moved"));
      for (int i = 0; i < kFiles; ++i) {
        std::string content;
        EXPECT_TRUE(again->readFile(Name(folder, i), &content) && content == Content(i))
            << Name(folder, i) << " holds " << content.size() << " bytes";
      }
      v.stop(0);
    }
    EXPECT_GT(afterServer, 0);
  }
}

// Another client renamed or deleted the folder on the server: the file goes
// up into the folder made again, once, instead of failing for ever.
TEST(VolumeRenameCrashTest, AnUploadWhoseFolderIsGoneMakesItAgain) {
  for (bool randomWrite : {true, false}) {
    SCOPED_TRACE(randomWrite ? "in place" : "whole");
    test::VolumeHarness h(HeldUploads());
    test::MemoryServer& server = *h.server;
    server.setCaps(test::WritableCaps(randomWrite));
    server.putFile(Name("/a/b", 0), "");
    ASSERT_TRUE(h.volume->start(nullptr).ok());
    std::shared_ptr<OpenFile> file;
    ASSERT_TRUE(h.volume->open(Name("/a/b", 0), file).ok());
    ASSERT_TRUE(h.volume->write(file, 0, Content(0).data(), Content(0).size()).ok());
    h.volume->closeNow(file);
    {
      std::unique_ptr<test::MemoryBackend> other = server.connection();
      ASSERT_TRUE(other->connect().ok());
      ASSERT_TRUE(other->remove(Name("/a/b", 0), false).ok());
      ASSERT_TRUE(other->remove("/a/b", true).ok());
      ASSERT_TRUE(other->remove("/a", true).ok());
    }
    h.volume->rescanDirty();
    ASSERT_TRUE(h.volume->waitUploadsIdle(test::Gate::kDefaultWaitMs));
    std::string content;
    EXPECT_TRUE(server.readFile(Name("/a/b", 0), &content) && content == Content(0));
    EXPECT_EQ(server.countCalls(MemOp::kMkdir), 2);
  }
}


// A writer that goes on creating files in a folder, and a reader that goes
// on opening them, while the folder is renamed: whatever a step of one meets
// of the other, a file is made (or opened) under the folder's new name, its
// content ends there, and the old folder is not made again. Each case holds
// one side at a step (at a server call, or at its first step on the cache's
// disk once the server has its change) and lets the other side run into it.
TEST(VolumeRenameTest, WorkInAFolderWhileItIsRenamedLandsUnderItsNewName) {
  enum class Side { kCreate, kOpen, kRename };
  struct Case {
    const char* what;
    Side held;
    bool heldAtServerCall;  // else at its first cache step once the server has the change
    Side other;
  } cases[] = {
      {"a create under way, not yet on the server, when the rename comes", Side::kCreate, true, Side::kRename},
      {"a create under way, on the server already, when the rename comes", Side::kCreate, false, Side::kRename},
      {"a create that comes once the server has renamed the folder", Side::kRename, false, Side::kCreate},
      {"an open that comes once the server has renamed the folder", Side::kRename, false, Side::kOpen},
  };
  const std::string old = Content(1);
  const std::string fresh = Content(2);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::LogCapture log;
    MemoryEnv env;
    auto server = std::make_shared<test::MemoryServer>();
    server->setCaps(test::WritableCaps(true));
    server->putFile("/X/w/old", old);
    MountConfig config = test::UploadDrive(kBs);
    // Every look is a question for the server, which a rename changes under it.
    config.cache.metaTtlMs = config.cache.dirTtlMs = config.cache.negativeTtlMs = 0;
    Volume v(config, kCacheRoot, server->factory(), test::QuickTimings(), &env);
    ASSERT_TRUE(v.start(nullptr).ok());

    std::atomic<std::thread::id> heldThread{};
    std::atomic<bool> fired{false};
    test::Gate gate;
    env.setHook([&](const MemoryEnv::StepInfo&) {
      if (std::this_thread::get_id() != heldThread.load() || fired.load()) return Status();
      const bool changed = c.held == Side::kRename ? server->exists("/Y") : server->exists("/X/w/new");
      if (changed && !fired.exchange(true)) gate.arriveAndWait();
      return Status();
    });
    std::shared_ptr<test::Gate> serverGate;
    if (c.held == Side::kCreate && c.heldAtServerCall) serverGate = server->addGate(MemOp::kCreate, "/X/w/new");

    std::shared_ptr<OpenFile> file;
    Status created, opened, renamed;
    auto run = [&](Side side) {
      if (side == Side::kCreate) created = v.create("/X/w/new", false, file);
      if (side == Side::kOpen) opened = v.open("/X/w/old", file);
      if (side == Side::kRename) renamed = v.rename("/X", "/Y", false);
    };
    std::thread held([&] {
      heldThread = std::this_thread::get_id();
      run(c.held);
    });
    ASSERT_TRUE(serverGate ? serverGate->waitArrived() : gate.waitArrived());
    auto other = std::async(std::launch::async, [&] { run(c.other); });
    // The other side either waits for the held one (and says so) or, when
    // nothing keeps them apart, runs to its end.
    const char* waits = c.other == Side::kRename ? "waits for what is under way there" : "waits for the rename of";
    EXPECT_TRUE(test::Eventually([&] {
      return log.countLines(waits) > 0 ||
             other.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    }));
    if (serverGate) serverGate->release();
    gate.release();
    held.join();
    other.get();

    // Every case runs to its end, so that each one's failure shows.
    EXPECT_TRUE(renamed.ok()) << renamed.toString();
    if (c.held == Side::kCreate || c.other == Side::kCreate) {
      EXPECT_TRUE(created.ok()) << created.toString();
      if (created.ok()) {
        EXPECT_TRUE(v.write(file, 0, fresh.data(), fresh.size()).ok());
        v.closeNow(file);
        EXPECT_TRUE(v.waitUploadsIdle(test::Gate::kDefaultWaitMs));
        std::string content;
        EXPECT_TRUE(server->readFile("/Y/w/new", &content) && content == fresh)
            << "/Y/w/new holds " << content.size() << " bytes";
        RemoteAttr attr;
        EXPECT_TRUE(v.getattr("/Y/w/new", attr).ok() && attr.size == fresh.size()) << attr.size;
      }
    } else {
      EXPECT_TRUE(opened.ok()) << opened.toString();
      if (opened.ok()) {
        std::string content(old.size(), '\0');
        uint64_t got = 0;
        EXPECT_TRUE(v.read(file, 0, content.data(), content.size(), got).ok());
        EXPECT_EQ(content.substr(0, got), old);
        v.closeNow(file);
      }
    }
    EXPECT_FALSE(server->exists("/X")) << "the old folder is there again";
    env.setHook(nullptr);
    v.stop(0);
  }
}

}  // namespace
}  // namespace tarn
