// A drive whose cache lives on a small disk: reads, uploads and creates
// against the disk's reserve, on the in-memory file system with a capacity.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/meta_seen_file.h"
#include "engine/volume.h"
#include "foundation/memory_env.h"
#include "testing/eventually.h"
#include "testing/memory_backend.h"
#include "testing/volume_harness.h"

namespace tarn {
namespace {

using test::MemOp;
using test::Pattern;

constexpr uint32_t kBs = 16384;
constexpr uint64_t kPage = kMemoryEnvPageBytes;
constexpr uint64_t kDisk = 8ull << 20;
constexpr const char* kRoot = "/var/cache/tarn";
constexpr uint32_t kWaitMs = test::Gate::kDefaultWaitMs;

class CacheDiskTest : public ::testing::Test {
 protected:
  CacheDiskTest() {
    emptyDisk();
    server_->setCaps(test::WritableCaps(false));
  }
  ~CacheDiskTest() override { volume_.reset(); }

  void emptyDisk() {
    volume_.reset();
    env_ = std::make_unique<MemoryEnv>();
    env_->setCapacity(kDisk);
  }

  void start(const MountConfig& config, VolumeTimings timings = test::QuickTimings()) {
    volume_.reset();
    volume_ = std::make_unique<Volume>(config, kRoot, server_->factory(), timings, env_.get());
    ASSERT_TRUE(volume_->start(nullptr).ok());
  }

  // Reads the file through the drive in the kernel's pieces.
  std::string readBack(const std::string& path) {
    std::shared_ptr<OpenFile> file;
    Status st = volume_->open(path, file);
    EXPECT_TRUE(st.ok()) << path << ": " << st.toString();
    if (!st.ok()) return std::string();
    std::string out = readOpen(file);
    volume_->closeNow(file);
    return out;
  }

  std::string readOpen(const std::shared_ptr<OpenFile>& file) {
    constexpr uint64_t kPiece = 128 << 10;
    std::string out;
    for (;;) {
      std::string piece(kPiece, '\0');
      uint64_t got = 0;
      Status st = volume_->read(file, out.size(), piece.data(), kPiece, got);
      EXPECT_TRUE(st.ok()) << file->path << "@" << out.size() << ": " << st.toString();
      if (!st.ok() || got == 0) return out;
      out.append(piece, 0, got);
    }
  }

  EnvSpace space() {
    EnvSpace s;
    EXPECT_TRUE(env_->space(kRoot, &s).ok());
    return s;
  }

  // Someone else's file, sized to leave `pages` free above the reserve.
  void fillTo(uint64_t pages) {
    const EnvSpace s = space();
    const uint64_t keep = CacheReserveOf(s).bytes + pages * kPage;
    ASSERT_GE(s.freeBytes, keep);
    // Whole pages, so that no less is left than asked for.
    const uint64_t filler = (s.freeBytes - keep) / kPage * kPage;
    ASSERT_TRUE(env_->writeFile("/filler", std::string(filler, 'x'), false, false).ok());
  }

  // A file of the drive's cache folder.
  std::string cacheFile(const std::string& name) const { return std::string(kRoot) + "/drive/" + name; }

  std::unique_ptr<MemoryEnv> env_;
  std::shared_ptr<test::MemoryServer> server_ = std::make_shared<test::MemoryServer>();
  std::unique_ptr<Volume> volume_;
};

// More is read back than the disk holds: every read is whole, by any way
// the drive reads, the data never takes the disk's reserve, and the cache's
// own records still save.
TEST_F(CacheDiskTest, ReadingBackMoreThanTheDiskHoldsKeepsItsReserve) {
  constexpr int kFiles = 16;
  constexpr uint64_t kFile = 640 << 10;  // 10 MiB in all
  for (int i = 0; i < kFiles; ++i) server_->putFile("/f" + std::to_string(i), Pattern(kFile, i));
  struct Case {
    const char* what;
    uint64_t wholeFileBelow;
    bool streams;
    bool allOpen;  // every file held open while all are read: none can go
  } cases[] = {
      {"ranged reads with readahead", 0, false, false},
      {"whole files fetched at open", 1 << 20, false, false},
      {"streams", 0, true, false},
      {"every file open at once", 0, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    emptyDisk();
    BackendCaps caps = test::WritableCaps(false);
    caps.streamSequential = c.streams;
    server_->setCaps(caps);
    MountConfig config = test::MemoryDrive(kBs);
    config.cache.wholeFileBelow = c.wholeFileBelow;
    start(config);
    const uint64_t reserve = CacheReserveOf(space()).bytes;
    // The maps of the files may take from the reserve; data never does.
    const uint64_t floor = reserve - kFiles * 2 * kPage;
    std::vector<std::shared_ptr<OpenFile>> open;
    for (int pass = 0; pass < 2; ++pass) {
      for (int i = 0; i < kFiles; ++i) {
        const std::string path = "/f" + std::to_string(i);
        if (c.allOpen) {
          if (pass == 0) {
            std::shared_ptr<OpenFile> file;
            ASSERT_TRUE(volume_->open(path, file).ok());
            open.push_back(file);
          }
          EXPECT_TRUE(readOpen(open[i]) == Pattern(kFile, i)) << path;
        } else {
          EXPECT_TRUE(readBack(path) == Pattern(kFile, i)) << path;
        }
        EXPECT_GE(space().freeBytes, floor) << path;
      }
    }
    for (const auto& file : open) volume_->closeNow(file);
    volume_->stop(0);
    EnvFileInfo info;
    EXPECT_TRUE(env_->stat(cacheFile(kMetaSeenFileName), &info).ok());
  }
}

// A change to a file whose server bytes the cache does not hold reaches
// the server, though the disk has no room to keep those bytes for the
// upload: they pass through from the server.
TEST_F(CacheDiskTest, AChangeToAnUncachedFileGoesUpWithoutRoomForTheRest) {
  constexpr uint64_t kFile = 6ull << 20;
  constexpr uint64_t kCut = 3ull << 20;  // on a block boundary: its last block is the server's
  const std::string original = Pattern(kFile, 7);
  std::string written = original;
  written.replace(kCut + 100, 10, "0123456789");
  struct Case {
    const char* what;
    bool randomWrite;
    uint64_t roomPages;  // free above the reserve when the change is made
    bool cut;            // a cut rather than a write
    std::string want;
  } cases[] = {
      {"a write, the file going up whole", false, 4 * kBs / kPage, false, written},
      {"a cut, the file going up whole", false, 0, true, original.substr(0, kCut)},
      {"a cut, the file written in place", true, 0, true, original.substr(0, kCut)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    emptyDisk();
    server_->putFile("/doc", original);
    server_->setCaps(test::WritableCaps(c.randomWrite));
    start(test::UploadDrive(kBs));
    std::shared_ptr<OpenFile> file;
    ASSERT_TRUE(volume_->open("/doc", file).ok());
    fillTo(c.roomPages);
    Status st = c.cut ? volume_->setSize(file, kCut) : volume_->write(file, kCut + 100, "0123456789", 10);
    ASSERT_TRUE(st.ok()) << st.toString();
    volume_->closeNow(file);
    EXPECT_TRUE(volume_->waitUploadsIdle(kWaitMs));
    std::string held;
    EXPECT_TRUE(server_->readFile("/doc", &held) && held == c.want);
    VolumeStatus status;
    volume_->status(status);
    EXPECT_EQ(status.lastError, "");
  }
}

// An upload that cannot record its end on a full disk does not go up again:
// the file is unchanged however often it is opened, read and closed, and
// after a restart.
TEST_F(CacheDiskTest, AnUnchangedFileGoesUpOnceOnAFullDisk) {
  MountConfig config = test::UploadDrive(kBs);
  config.cache.offlineMode = true;
  start(config);
  const std::string content = Pattern(5 * kBs + 7, 3);
  std::shared_ptr<OpenFile> file;
  ASSERT_TRUE(volume_->create("/kept", false, file).ok());
  ASSERT_TRUE(volume_->write(file, 0, content.data(), content.size()).ok());
  volume_->closeNow(file);
  volume_->commitMaps();
  // Someone else takes every byte and every inode left; the drive's own
  // records may take some meanwhile.
  for (int i = 0; space().freeBytes != 0; ++i)
    (void)env_->writeFile("/filler" + std::to_string(i), std::string(space().freeBytes, 'x'), false, false);
  constexpr uint64_t kCounted = 1000000;
  env_->setCapacity(kDisk, kCounted);
  env_->setCapacity(kDisk, kCounted - space().freeInodes);
  ASSERT_EQ(space().freeBytes, 0u);
  ASSERT_EQ(space().freeInodes, 0u);

  volume_->setOffline(false);
  ASSERT_TRUE(volume_->waitUploadsIdle(kWaitMs));
  std::string held;
  EXPECT_TRUE(server_->readFile("/kept", &held) && held == content);
  for (int round = 0; round < 3; ++round) {
    EXPECT_TRUE(readBack("/kept") == content);
    EXPECT_TRUE(volume_->waitUploadsIdle(kWaitMs));
  }
  MountConfig online = config;
  online.cache.offlineMode = false;
  start(online);
  EXPECT_TRUE(readBack("/kept") == content);
  EXPECT_TRUE(volume_->waitUploadsIdle(kWaitMs));
  EXPECT_EQ(server_->countCalls(MemOp::kOpenWrite, "/kept"), 1);
  EXPECT_EQ(server_->countCalls(MemOp::kWriteAt, "/kept"), 0);
}

// Files held open keep their copies: creates stop at the inode reserve of
// the cache's disk with "no-space" and the reason in the status, and leave
// nothing on the server. Once the files went up, their copies make room:
// the status clears by itself and creates go on.
TEST_F(CacheDiskTest, CreatesStopAtTheInodeReserveAndGoOnOnceCopiesCanGo) {
  env_->setCapacity(kDisk, 200);  // a reserve of 10
  VolumeTimings timings = test::QuickTimings();
  timings.roomLookMs = 1;
  start(test::UploadDrive(kBs), timings);
  std::vector<std::shared_ptr<OpenFile>> open;
  Status st;
  auto name = [](size_t i) { return "/n" + std::to_string(i); };
  while (open.size() < 200) {
    std::shared_ptr<OpenFile> file;
    st = volume_->create(name(open.size()), false, file);
    if (!st.ok()) break;
    ASSERT_TRUE(volume_->write(file, 0, "1", 1).ok()) << name(open.size());
    open.push_back(file);
  }
  EXPECT_EQ(st.code, Status::kNoSpace) << st.toString();
  EXPECT_EQ(st.message, "the cache's disk is full: new files would leave fewer than 10 of its inodes free");
  EXPECT_GT(open.size(), 80u);
  EXPECT_FALSE(server_->exists(name(open.size())));
  VolumeStatus status;
  volume_->status(status);
  EXPECT_EQ(status.lastError, st.toString());

  const size_t made = open.size();
  for (const auto& file : open) volume_->closeNow(file);
  open.clear();
  ASSERT_TRUE(volume_->waitUploadsIdle(kWaitMs));
  for (size_t i = 0; i < made; ++i) {
    std::string held;
    EXPECT_TRUE(server_->readFile(name(i), &held) && held == "1") << name(i);
  }
  EXPECT_TRUE(test::Eventually([&] {
    volume_->status(status);
    return status.lastError.empty();
  })) << status.lastError;
  std::shared_ptr<OpenFile> file;
  EXPECT_TRUE(volume_->create(name(made), false, file).ok());
}

// A create whose cache object cannot be made after all (the disk filled
// between the look and the create) is taken back: nothing of it reaches
// the server, now or with the offline changes later.
TEST_F(CacheDiskTest, ACreateTheCacheCannotHoldLeavesNothingOnTheServer) {
  for (const bool offline : {false, true}) {
    SCOPED_TRACE(offline ? "offline" : "online");
    emptyDisk();
    server_ = std::make_shared<test::MemoryServer>();
    MountConfig config = test::UploadDrive(kBs);
    config.cache.offlineMode = offline;
    start(config);
    env_->setHook([](const MemoryEnv::StepInfo& step) {
      if (step.step == MemoryEnv::Step::kCreate && step.path.ends_with(".bin"))
        return Status(Status::kNoSpace, "cannot create " + step.path, ENOSPC);
      return Status();
    });
    std::shared_ptr<OpenFile> file;
    Status st = volume_->create("/lost", false, file);
    env_->setHook(nullptr);
    EXPECT_EQ(st.code, Status::kNoSpace) << st.toString();
    RemoteAttr attr;
    EXPECT_FALSE(volume_->getattr("/lost", attr).ok());  // offline: not known, rather than there
    ASSERT_TRUE(volume_->create("/kept", false, file).ok());
    volume_->closeNow(file);
    volume_->setOffline(false);
    ASSERT_TRUE(volume_->waitUploadsIdle(kWaitMs));
    EXPECT_TRUE(server_->exists("/kept"));
    EXPECT_FALSE(server_->exists("/lost"));
  }
}

}  // namespace
}  // namespace tarn
