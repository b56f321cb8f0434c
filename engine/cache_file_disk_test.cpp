// The disk side of one cached file: what its map keeps across a reload,
// which damaged maps it refuses, and how its saves meet the disk (a full
// one, a slow one). Objects live on a MemoryEnv.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <future>
#include <thread>

#include "engine/cache_file.h"
#include "engine/map_file.h"
#include "foundation/memory_env.h"
#include "testing/fake_remote.h"
#include "testing/gate.h"

namespace tarn {
namespace {

constexpr uint32_t kBs = 4096;

using test::Gate;

std::string Pattern(uint64_t n, uint8_t seed) {
  std::string s(n, '\0');
  for (uint64_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 7 + seed + i / 251) & 0xff);
  return s;
}

class CacheFileDiskTest : public ::testing::Test {
 protected:
  // A clean object whose server copy "e1" is `content`.
  std::shared_ptr<CacheFile> makeFile(const std::string& content, const std::string& tag) {
    remote_.content = content;
    auto f = std::make_shared<CacheFile>("/" + tag + ".bin", "/" + tag + ".map", "/remote/" + tag, tag, kBs, &env_);
    EXPECT_TRUE(f->openData().ok());
    RemoteAttr attr;
    attr.size = content.size();
    attr.etag = "e1";
    EXPECT_TRUE(f->applyRemote(attr, nullptr, nullptr).ok());
    return f;
  }

  std::string readAll(CacheFile& f, uint64_t offset, uint64_t length, Status* st = nullptr) {
    std::string out(length, '\xee');
    uint64_t got = 0;
    Status s = f.read(offset, out.data(), length, got, remote_.fetcher(), nullptr);
    if (st != nullptr) *st = s;
    EXPECT_TRUE(st != nullptr || s.ok()) << s.toString();
    out.resize(got);
    return out;
  }

  MemoryEnv env_;
  test::FakeRemote remote_;
};

TEST_F(CacheFileDiskTest, LongVersionTextStillMatchesAfterReload) {
  const std::string etag(300, 'v');
  auto f = makeFile(Pattern(kBs, 13), "long");
  RemoteAttr attr;
  attr.size = kBs;
  attr.etag = etag;
  f->applyRemote(attr, nullptr, nullptr);  // new version: recorded in full
  readAll(*f, 0, kBs);
  ASSERT_TRUE(f->saveMap());
  auto again = std::make_shared<CacheFile>(f->binPath(), f->mapPath(), "/remote/long", "long", kBs, &env_);
  ASSERT_TRUE(again->openData().ok());
  ASSERT_TRUE(again->loadMap());
  EXPECT_EQ(again->etag(), etag.substr(0, 255));
  bool changed = true;
  again->applyRemote(attr, &changed, nullptr);
  EXPECT_FALSE(changed);
  EXPECT_TRUE(again->isComplete());
}

TEST_F(CacheFileDiskTest, EmptyFileMapReloads) {
  auto f = makeFile("", "empty");
  ASSERT_TRUE(f->saveMap());
  auto again = std::make_shared<CacheFile>(f->binPath(), f->mapPath(), "/remote/empty", "empty", kBs, &env_);
  ASSERT_TRUE(again->openData().ok());
  ASSERT_TRUE(again->loadMap());
  EXPECT_EQ(again->size(), 0u);
  EXPECT_TRUE(again->isComplete());
}

TEST_F(CacheFileDiskTest, MapSurvivesReloadAndDamagedMapsStartEmpty) {
  auto f = makeFile(Pattern(3 * kBs, 17), "m");
  readAll(*f, 0, kBs);
  ASSERT_TRUE(f->saveMap());
  const std::string local(kBs, 'd');
  ASSERT_TRUE(f->write(kBs, local.data(), kBs).ok());
  f->setDirty(true);
  ASSERT_TRUE(f->saveMap());

  std::string bytes;
  ASSERT_TRUE(ReadSmallFile(env_, f->mapPath(), &bytes));
  ASSERT_EQ(bytes.size(), kMapHeaderSize + 3);
  EXPECT_EQ(static_cast<uint8_t>(bytes[kMapHeaderSize + 0]), kBlockPresent);
  EXPECT_EQ(static_cast<uint8_t>(bytes[kMapHeaderSize + 1]), kBlockPresent | kBlockDirty | kBlockWrittenSinceUpload);
  EXPECT_EQ(static_cast<uint8_t>(bytes[kMapHeaderSize + 2]), 0);

  auto again = std::make_shared<CacheFile>(f->binPath(), f->mapPath(), "/remote/m", "m", kBs, &env_);
  ASSERT_TRUE(again->openData().ok());
  ASSERT_TRUE(again->loadMap());
  EXPECT_EQ(again->size(), 3 * kBs);
  EXPECT_EQ(again->remoteSize(), 3 * kBs);
  EXPECT_EQ(again->etag(), "e1");
  EXPECT_TRUE(again->isDirty());
  EXPECT_EQ(again->dirtyRanges(), f->dirtyRanges());
  EXPECT_EQ(readAll(*again, 0, kBs), remote_.content.substr(0, kBs));
  EXPECT_EQ(remote_.calls(), 1u);

  struct Bad {
    const char* what;
    uint32_t blockSize;
    size_t cutTo;
    size_t corruptAt;
    uint64_t growTo;
    size_t hugeAt;  // a u64 field set to all ones
  } bad[] = {
      {"another block size", 2 * kBs, 0, 0, 0, 0},
      {"short map", kBs, kMapHeaderSize - 1, 0, 0, 0},
      {"foreign magic", kBs, 0, 3, 0, 0},
      {"wrong header size", kBs, 0, kMapOffHeaderSize, 0, 0},
      {"over 64 MiB", kBs, 0, 0, kMaxSmallFileBytes + 1, 0},
      {"size no file can have", kBs, 0, 0, 0, kMapOffSize},
      {"remote size no file can have", kBs, 0, 0, 0, kMapOffRemoteSize},
  };
  for (const Bad& b : bad) {
    std::string copy = bytes;
    if (b.cutTo != 0) copy.resize(b.cutTo);
    if (b.corruptAt != 0) copy[b.corruptAt] ^= 0x5a;
    if (b.hugeAt != 0) copy.replace(b.hugeAt, 8, 8, '\xff');
    const std::string path = "/bad.map";
    ASSERT_TRUE(WriteFileAtomic(env_, path, copy, false, false));
    if (b.growTo != 0) {
      std::unique_ptr<EnvFile> grown;
      ASSERT_TRUE(env_.open(path, Env::OpenMode::kReadWrite, &grown).ok());
      ASSERT_TRUE(grown->truncate(b.growTo).ok());
    }
    auto o = std::make_shared<CacheFile>("/bad.bin", path, "/bad", "bad", b.blockSize, &env_);
    ASSERT_TRUE(o->openData().ok());
    EXPECT_FALSE(o->loadMap()) << b.what;
    EXPECT_EQ(o->size(), 0u) << b.what;
    EXPECT_FALSE(o->isDirty()) << b.what;
    EXPECT_EQ(readAll(*o, 0, 10), "") << b.what;
  }
}

// A save with unsent changes waits for the disk twice (the data file, then
// the map); readers and writers of the object must not wait with it.
TEST_F(CacheFileDiskTest, ReadsAndWritesGoOnWhileADurableSaveWaitsForTheDisk) {
  auto f = std::make_shared<CacheFile>("/s.bin", "/s.map", "/s", "s", kBs, &env_);
  ASSERT_TRUE(f->openData().ok());
  ASSERT_TRUE(f->write(0, Pattern(2 * kBs, 23).data(), 2 * kBs).ok());
  Gate gate;
  env_.setHook([&gate](const MemoryEnv::StepInfo& step) {
    if (step.step == MemoryEnv::Step::kSync && !gate.arrived()) gate.arriveAndWait();
    return Status();
  });
  auto saver = std::async(std::launch::async, [&] { return f->saveMap(); });
  ASSERT_TRUE(gate.waitArrived());
  auto user = std::async(std::launch::async, [&] {
    std::string block(kBs, '\0');
    return f->readIfCached(kBs, block.data(), kBs) && f->write(0, "x", 1).ok() && f->hasDirty();
  });
  const bool finished = user.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
  gate.release();
  EXPECT_TRUE(finished) << "the object stayed locked for the whole save";
  EXPECT_TRUE(user.get());
  EXPECT_TRUE(saver.get());
  EXPECT_TRUE(f->saveMap());  // the write during the save is saved next
}

// Before a write lands on a block that the map on disk calls clean, the map
// must stop saying so; a run of writes pays for that once, not per write.
TEST_F(CacheFileDiskTest, WritesOverCleanBlocksRewriteTheMapOncePerRun) {
  constexpr uint64_t kBlocks = 8;
  auto f = makeFile(Pattern(kBlocks * kBs, 29), "w");
  readAll(*f, 0, kBlocks * kBs);
  ASSERT_TRUE(f->saveMap());
  int mapWrites = 0;
  const std::string mapPath = f->mapPath();
  auto countMapWrites = [&](const MemoryEnv::StepInfo& step) {
    if (step.step == MemoryEnv::Step::kRename && step.to == mapPath) ++mapWrites;
    return Status();
  };
  env_.setHook(countMapWrites);
  auto writeRun = [&](char c) {
    const std::string half(kBs / 2, c);
    for (uint64_t at = 0; at < kBlocks * kBs; at += half.size()) ASSERT_TRUE(f->write(at, half.data(), half.size()).ok());
  };
  writeRun('a');
  EXPECT_EQ(mapWrites, 1);
  ASSERT_TRUE(f->saveMap());
  writeRun('b');  // every block is dirty in the map on disk now
  EXPECT_EQ(mapWrites, 2);

  // Uploaded: the next save calls every block clean again.
  f->clearUploadMarks(0, kBlocks * kBs);
  f->markUploaded("e2", kBlocks * kBs, Timestamp());
  ASSERT_TRUE(f->saveMap());
  mapWrites = 0;
  writeRun('c');
  EXPECT_EQ(mapWrites, 1);
  env_.setHook(nullptr);
  std::string bytes;
  ASSERT_TRUE(ReadSmallFile(env_, mapPath, &bytes));
  for (char state : MapStates(bytes)) EXPECT_EQ(static_cast<uint8_t>(state) & kBlockPresent, 0);
  EXPECT_EQ(readAll(*f, 0, kBs), std::string(kBs, 'c'));
}

TEST_F(CacheFileDiskTest, FullDiskIsReportedAsNoSpace) {
  env_.setHook([](const MemoryEnv::StepInfo& step) {
    if (step.step == MemoryEnv::Step::kWrite) return Status(Status::kNoSpace, "cannot write " + step.path, ENOSPC);
    return Status();
  });
  auto f = std::make_shared<CacheFile>("/x.bin", "/x.map", "/x", "x", kBs, &env_);
  ASSERT_TRUE(f->openData().ok());
  const std::string big(2 * kBs, 'b');
  Status st = f->write(0, big.data(), big.size());
  EXPECT_EQ(st.code, Status::kNoSpace);
  EXPECT_EQ(st.message, "cache write failed");
  EXPECT_EQ(st.native, ENOSPC);

  // Fetched data that does not fit still reaches its reader, and leaves the
  // blocks missing.
  auto g = std::make_shared<CacheFile>("/y.bin", "/y.map", "/y", "y", kBs, &env_);
  ASSERT_TRUE(g->openData().ok());
  remote_.content = big;
  RemoteAttr attr;
  attr.size = big.size();
  attr.etag = "e";
  ASSERT_TRUE(g->applyRemote(attr, nullptr, nullptr).ok());
  EXPECT_EQ(readAll(*g, 0, big.size()), big);
  EXPECT_FALSE(g->isComplete());
}

// Where the disk has no room to keep fetched blocks, a reader still gets the
// file as the cache gives it (local changes over the server's bytes), and
// nothing is stored; readahead fetches nothing at all, and a fetch a writer
// needs says "no-space". Once there is room, blocks are kept again.
TEST_F(CacheFileDiskTest, BlocksTheDiskHasNoRoomForReachTheirReaderUnkept) {
  const std::string server = Pattern(4 * kBs, 3);
  remote_.content = server;
  std::atomic<bool> room{false};
  auto keeper = std::make_shared<const RoomKeeper>(
      [&](uint64_t) { return room.load() ? std::make_unique<RoomHold>() : nullptr; });
  auto f = std::make_shared<CacheFile>("/k.bin", "/k.map", "/remote/k", "k", kBs, &env_, keeper);
  ASSERT_TRUE(f->openData().ok());
  RemoteAttr attr;
  attr.size = server.size();
  attr.etag = "e1";
  ASSERT_TRUE(f->applyRemote(attr, nullptr, nullptr).ok());
  const std::string local(kBs, 'L');
  ASSERT_TRUE(f->write(kBs, local.data(), local.size()).ok());
  std::string file = server;
  file.replace(kBs, kBs, local);

  struct Case {
    const char* what;
    uint64_t offset;
    uint64_t length;
    size_t fetches;  // server requests the read makes
  } cases[] = {
      {"a missing block", 0, kBs, 1},
      {"part of one", 2 * kBs + 100, 50, 1},
      {"local change between missing blocks", kBs / 2, 2 * kBs, 2},
      {"the whole file", 0, 4 * kBs, 2},  // the missing runs either side of it
      {"past the end", 3 * kBs, 2 * kBs, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const size_t before = remote_.calls();
    EXPECT_EQ(readAll(*f, c.offset, c.length), file.substr(c.offset, c.length));
    EXPECT_EQ(remote_.calls() - before, c.fetches);
    EXPECT_EQ(f->unheldBytes(0, 4 * kBs), 3 * kBs);
  }
  const size_t before = remote_.calls();
  EXPECT_EQ(f->prefetchRange(0, 4 * kBs, remote_.fetcher(), nullptr).code, Status::kNoSpace);
  EXPECT_EQ(remote_.calls(), before);
  EXPECT_EQ(f->ensureRange(0, kBs, remote_.fetcher(), nullptr).code, Status::kNoSpace);
  EXPECT_EQ(f->unheldBytes(0, 4 * kBs), 3 * kBs);

  room = true;
  EXPECT_EQ(readAll(*f, 0, 4 * kBs), file);
  EXPECT_TRUE(f->isComplete());
}

// Bytes read through for a reader are of the copy the object records: a
// new copy taken while they were on their way starts the read over.
TEST_F(CacheFileDiskTest, AReadThroughAnswersWithTheCopyRecordedAtItsEnd) {
  auto f = makeFile(Pattern(2 * kBs, 5), "t");
  Gate gate;
  remote_.gate = &gate;
  std::string got;
  Status st;
  std::thread reader([&] {
    std::string out(2 * kBs, '\0');
    uint64_t n = 0;
    st = f->readThrough(0, out.data(), out.size(), n, remote_.fetcher(), nullptr);
    got = out.substr(0, n);
  });
  ASSERT_TRUE(gate.waitArrived());
  const std::string newer = Pattern(2 * kBs, 9);
  {
    std::lock_guard<std::mutex> lock(remote_.mu);
    remote_.content = newer;
  }
  RemoteAttr attr;
  attr.size = newer.size();
  attr.etag = "e2";
  bool changed = false;
  ASSERT_TRUE(f->applyRemote(attr, &changed, nullptr).ok());
  EXPECT_TRUE(changed);
  gate.release();
  reader.join();
  EXPECT_TRUE(st.ok()) << st.toString();
  EXPECT_TRUE(got == newer);
  EXPECT_EQ(f->unheldBytes(0, 2 * kBs), 2 * kBs);  // nothing kept
}

}  // namespace
}  // namespace tarn
