#include "engine/cache_room.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "foundation/memory_env.h"
#include "testing/test_clock.h"

namespace tarn {
namespace {

constexpr uint32_t kBs = 4096;
constexpr uint64_t kPage = kMemoryEnvPageBytes;
constexpr const char* kRoot = "/cache";

TEST(CacheReserveTest, FivePercentOfBytesAndInodesWithinTheirBounds) {
  struct Case {
    EnvSpace disk;
    uint64_t bytes;
    uint64_t inodes;
  } cases[] = {
      {{300ull << 20, 0, 76800, 0}, 15ull << 20, 3840},
      {{100ull << 30, 0, 6553600, 0}, 1ull << 30, 65536},  // both bounds
      {{1000, 0, 0, 0}, 50, 0},                            // a disk that counts no inodes
      {{0, 0, 0, 0}, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.disk.totalBytes);
    const CacheReserve r = CacheReserveOf(c.disk);
    EXPECT_EQ(r.bytes, c.bytes);
    EXPECT_EQ(r.inodes, c.inodes);
  }
}

class CacheRoomTest : public ::testing::Test {
 protected:
  // A disk of 200 pages (a reserve of 10) and 100 inodes (a reserve of 5),
  // the cache's folders taking 3 of them.
  void SetUp() override {
    env_.setCapacity(200 * kPage, 100);
    cache_ = std::make_unique<DataCache>(kRoot, kBs, 1ull << 30, false, &env_);
    ASSERT_TRUE(cache_->ensureDir());
    room_ = std::make_unique<CacheRoom>(&env_, cache_.get());
  }

  // A clean copy of `blocks` blocks, saved and let go; its files take two
  // inodes, and its blocks and map that many pages and two more.
  void putClean(const std::string& path, uint64_t blocks) {
    auto f = cache_->open(path, true);
    ASSERT_TRUE(f != nullptr);
    const std::string content(blocks * kBs, 'c');
    RemoteAttr attr;
    attr.size = content.size();
    attr.etag = "e";
    ASSERT_TRUE(f->applyRemote(attr, nullptr, nullptr).ok());
    f->fillFromStream(0, content.data(), content.size(), f->epoch());
    ASSERT_TRUE(f->saveMap());
  }

  // Someone else's file on the same disk.
  void fill(const std::string& name, uint64_t pages) {
    ASSERT_TRUE(env_.writeFile("/" + name, std::string(pages * kPage, 'x'), false, false).ok());
  }

  EnvSpace space() {
    EnvSpace s;
    EXPECT_TRUE(env_.space(kRoot, &s).ok());
    return s;
  }

  MemoryEnv env_;
  std::unique_ptr<DataCache> cache_;
  std::unique_ptr<CacheRoom> room_;
};

TEST_F(CacheRoomTest, CleanCopiesMakeRoomUntilOnlyTheReserveIsLeft) {
  putClean("/old", 40);    // 42 pages
  putClean("/young", 40);  // 42 pages
  fill("other", 100);      // 184 of 200 taken, 16 free
  struct Step {
    const char* what;
    uint64_t bytes;
    uint64_t objects;
    bool fits;
    bool oldKept;
    bool youngKept;
  } steps[] = {
      {"above the reserve", 6 * kPage, 0, true, true, true},
      {"into the reserve", 7 * kPage, 0, true, false, true},
      {"more than the copies free", 100 * kPage, 0, false, false, false},
      {"all that is free above the reserve", 90 * kPage, 0, true, false, false},
      {"a byte more", 90 * kPage + 1, 0, false, false, false},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    Status st = room_->make(s.bytes, s.objects);
    EXPECT_EQ(st.ok(), s.fits) << st.toString();
    if (!s.fits) {
      EXPECT_EQ(st.code, Status::kNoSpace);
      EXPECT_EQ(st.message, "the cache's disk is full: new data would leave less than 40.0 KiB free on it");
    }
    EXPECT_EQ(cache_->exists("/old"), s.oldKept);
    EXPECT_EQ(cache_->exists("/young"), s.youngKept);
  }
}

TEST_F(CacheRoomTest, NewObjectsKeepTheInodeReserve) {
  for (int i = 0; i < 46; ++i) putClean("/f" + std::to_string(i), 0);  // 95 inodes taken
  EXPECT_EQ(space().freeInodes, 5u);
  Status st = room_->make(0, 1);
  EXPECT_TRUE(st.ok()) << st.toString();
  // Enough went for the new object and a few dozen after it.
  EXPECT_GE(space().freeInodes, 5 + kInodesPerCacheObject);
  EXPECT_FALSE(cache_->exists("/f0"));
  EXPECT_TRUE(cache_->exists("/f45"));

  // Objects nobody can drop (held open, before their first map) hold the
  // inodes down to the reserve once every copy went, and no further.
  std::vector<std::shared_ptr<CacheFile>> held;
  while ((st = room_->make(0, 1)).ok()) {
    held.push_back(cache_->open("/held" + std::to_string(held.size()), true));
    ASSERT_TRUE(held.back() != nullptr);
  }
  EXPECT_EQ(st.code, Status::kNoSpace);
  EXPECT_EQ(st.message, "the cache's disk is full: new files would leave fewer than 5 of its inodes free");
  EXPECT_FALSE(cache_->exists("/f45"));
  EXPECT_GE(space().freeInodes, 5u);
}

// Room held for bytes still on their way counts as taken: holds side by
// side never pass the reserve together, and one given back is room again.
TEST_F(CacheRoomTest, HeldRoomCountsUntilGivenBack) {
  fill("other", 200 - 10 - 30);  // 30 pages above the reserve
  Status why;
  std::unique_ptr<RoomHold> first = room_->hold(20 * kPage, &why);
  ASSERT_TRUE(first != nullptr) << why.toString();
  EXPECT_TRUE(room_->hold(20 * kPage, &why) == nullptr);
  EXPECT_EQ(why.code, Status::kNoSpace);
  EXPECT_TRUE(room_->hold(10 * kPage) != nullptr);  // given back at once
  EXPECT_TRUE(room_->make(0, 1).ok());               // objects take no bytes
  first.reset();
  EXPECT_TRUE(room_->hold(30 * kPage) != nullptr);
  EXPECT_EQ(room_->make(31 * kPage, 0).code, Status::kNoSpace);
}

// A pass that found nothing to drop is not repeated for every ask in a row:
// a copy that became droppable meanwhile goes with the first ask after the
// pause.
TEST_F(CacheRoomTest, AFutilePassWaitsOutItsPause) {
  test::ScopedTestClock clock;
  auto held = cache_->open("/held", true);
  ASSERT_TRUE(held != nullptr);
  fill("other", 190);
  EXPECT_EQ(room_->make(kPage, 0).code, Status::kNoSpace);
  putClean("/later", 1);
  ASSERT_TRUE(env_.unlink("/other").ok());
  fill("other", 187);
  EXPECT_EQ(room_->make(kPage, 0).code, Status::kNoSpace);
  EXPECT_TRUE(cache_->exists("/later"));
  clock.advance(kFutileEvictPauseMs);
  EXPECT_TRUE(room_->make(kPage, 0).ok());
  EXPECT_FALSE(cache_->exists("/later"));
}

}  // namespace
}  // namespace tarn
