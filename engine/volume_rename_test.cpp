// Renames of files with changes still to upload, cut short by a kill at any
// step of the drive's cache and journal (a MemoryEnv stops the world there),
// and uploads whose folder went missing on the server.
#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "engine/volume.h"
#include "foundation/memory_env.h"
#include "testing/gate.h"
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

}  // namespace
}  // namespace tarn
