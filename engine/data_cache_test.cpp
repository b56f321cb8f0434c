#include "engine/data_cache.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <future>
#include <mutex>

#include "engine/map_file.h"
#include "testing/gate.h"

namespace tarn {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kBs = 4096;

using test::Gate;

std::string Bytes(uint64_t n, char c) { return std::string(n, c); }

class DataCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "tarn-datacache-XXXXXX").string();
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
    root_ = dir_ + "/cache";
    cache_ = std::make_unique<DataCache>(root_, kBs, 1 << 30);
    ASSERT_TRUE(cache_->ensureDir());
  }
  void TearDown() override {
    cache_.reset();
    fs::remove_all(dir_);
  }

  // A cached object holding `content`, written locally (dirty) or stored as
  // fetched from the server (clean), with its map saved.
  std::shared_ptr<CacheFile> put(const std::string& path, const std::string& content, bool dirty) {
    Status st;
    auto f = cache_->open(path, true, &st);
    EXPECT_TRUE(f != nullptr) << st.toString();
    if (!f) return f;
    if (dirty) {
      EXPECT_TRUE(f->write(0, content.data(), content.size()).ok());
    } else {
      RemoteAttr attr;
      attr.size = content.size();
      attr.etag = "e";
      f->applyRemote(attr, nullptr, nullptr);
      f->fillFromStream(0, content.data(), content.size());
      EXPECT_TRUE(f->isComplete());
    }
    EXPECT_TRUE(f->saveMap());
    return f;
  }

  std::string contentOf(CacheFile& f) {
    std::string out(f.size(), '\0');
    EXPECT_TRUE(f.readIfCached(0, out.data(), out.size()));
    return out;
  }

  void setDataTime(const std::string& path, int64_t seconds) {
    const std::string bin = cache_->binPath(DataCache::objectName(path));
    struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, bin.c_str(), times, 0), 0);
  }

  std::vector<std::string> sortedDirty() {
    auto v = cache_->dirtyFiles();
    std::sort(v.begin(), v.end());
    return v;
  }

  std::string dir_;
  std::string root_;
  std::unique_ptr<DataCache> cache_;
};

TEST_F(DataCacheTest, NamesAreTheHashedPathInTheDataFolder) {
  struct Case {
    const char* path;
    const char* name;  // first 32 hex digits of SHA-256 of the path
  } cases[] = {
      {"/docs/a.txt", "f238fe284c35edf8147efd7e6f091691"},
      {"", "e3b0c44298fc1c149afbf4c8996fb924"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DataCache::objectName(c.path), c.name) << c.path;
    EXPECT_EQ(cache_->binPath(c.name), root_ + "/data/" + c.name + ".bin");
    EXPECT_EQ(cache_->mapPath(c.name), root_ + "/data/" + c.name + ".map");
  }
  EXPECT_NE(DataCache::objectName("/A"), DataCache::objectName("/a"));
  EXPECT_EQ(DataCache::objectName("/a").size(), kObjectNameDigits);
}

TEST_F(DataCacheTest, EnsureDirMakesPrivateFoldersAndDropsStrayTemporaries) {
  struct stat st {};
  ASSERT_EQ(::stat((root_ + "/data").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  const std::string stray = root_ + "/data/0123.map.tmp";
  ASSERT_TRUE(WriteFileWhole(stray, "half", false, false));
  auto keep = put("/keep", "k", true);
  DataCache again(root_, kBs, 1 << 30);
  ASSERT_TRUE(again.ensureDir());
  EXPECT_FALSE(fs::exists(stray));
  EXPECT_TRUE(fs::exists(keep->mapPath()));

  ASSERT_TRUE(WriteFileWhole(dir_ + "/plain", "x", false, false));
  DataCache blocked(dir_ + "/plain/cache", kBs, 1 << 30);
  std::string error;
  EXPECT_FALSE(blocked.ensureDir(&error));
  EXPECT_EQ(error, "cannot create cache directory " + dir_ + "/plain/cache");
}

TEST_F(DataCacheTest, OpenHandsOutOneLiveObjectPerPath) {
  Status st;
  EXPECT_EQ(cache_->open("/none", false, &st), nullptr);
  EXPECT_EQ(st.code, Status::kNotFound);
  EXPECT_FALSE(cache_->exists("/none"));

  auto a = cache_->open("/a", true);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(cache_->open("/a", false), a);  // live, even before any map exists
  EXPECT_EQ(cache_->open("/a", true), a);
  EXPECT_FALSE(cache_->exists("/a"));
  ASSERT_TRUE(a->write(0, "hello", 5).ok());
  ASSERT_TRUE(a->saveMap());
  EXPECT_TRUE(cache_->exists("/a"));
  std::weak_ptr<CacheFile> old = a;
  a.reset();
  EXPECT_TRUE(old.expired());
  auto b = cache_->open("/a", false);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(contentOf(*b), "hello");
  EXPECT_TRUE(b->hasDirty());
}

TEST_F(DataCacheTest, PathsTooLongForTheMapAreRefusedNotCut) {
  const std::string fits = "/" + std::string(kMaxMapPathBytes - 1, 'p');
  const std::string tooLong = fits + "q";
  Status st;
  EXPECT_EQ(cache_->open(tooLong, true, &st), nullptr);
  EXPECT_EQ(st.code, Status::kInvalid);
  EXPECT_EQ(st.message, "remote path too long for the cache");
  EXPECT_FALSE(cache_->exists(tooLong));

  auto f = put(fits, "data", true);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(cache_->dirtyFiles(), std::vector<std::string>{fits});
  Status rst = cache_->renameObject(fits, tooLong);
  EXPECT_EQ(rst.code, Status::kInvalid);
  EXPECT_EQ(f->path(), fits);
  EXPECT_EQ(cache_->dirtyFiles(), std::vector<std::string>{fits});
}

TEST_F(DataCacheTest, RestartFindsDirtyFilesAndTheirData) {
  put("/dir/written", Bytes(kBs + 10, 'w'), true);
  put("/dir/clean", Bytes(2 * kBs + 5, 'c'), false);
  auto flagged = put("/dir/flagged", "f", false);
  flagged->setDirty(true);  // the whole file is due for upload, no dirty block
  ASSERT_TRUE(flagged->saveMap());
  auto unsaved = cache_->open("/dir/unsaved", true);
  ASSERT_TRUE(unsaved->write(0, "u", 1).ok());  // never saved: not seen by the scans
  EXPECT_EQ(cache_->diskBytes(), (kBs + 10) + (2 * kBs + 5) + 1);

  flagged.reset();
  unsaved.reset();
  cache_ = std::make_unique<DataCache>(root_, kBs, 1 << 30);
  ASSERT_TRUE(cache_->ensureDir());
  EXPECT_EQ(sortedDirty(), (std::vector<std::string>{"/dir/flagged", "/dir/written"}));
  EXPECT_EQ(cache_->diskBytes(), (kBs + 10) + (2 * kBs + 5) + 1);
  auto w = cache_->open("/dir/written", false);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(contentOf(*w), Bytes(kBs + 10, 'w'));
  auto c = cache_->open("/dir/clean", false);
  ASSERT_NE(c, nullptr);
  EXPECT_TRUE(c->isComplete());
  EXPECT_FALSE(c->hasDirty());
  EXPECT_EQ(contentOf(*c), Bytes(2 * kBs + 5, 'c'));

  // A cache with another block size ignores the maps and starts empty.
  DataCache other(root_, 2 * kBs, 1 << 30);
  auto o = other.open("/dir/clean", false);
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(o->size(), 0u);
}

TEST_F(DataCacheTest, WritesDuringAnUploadKeepTheFileListedAsDirty) {
  auto f = put("/busy", Bytes(2 * kBs, 'b'), true);
  f->clearUploadMarks(0, f->size());
  ASSERT_TRUE(f->write(kBs, "late", 4).ok());
  f->markUploaded("v2", f->size(), Timestamp{1, 0});
  ASSERT_TRUE(f->saveMap());
  EXPECT_EQ(cache_->dirtyFiles(), std::vector<std::string>{"/busy"});
  f->clearUploadMarks(0, f->size());
  f->markUploaded("v3", f->size(), Timestamp{2, 0});
  ASSERT_TRUE(f->saveMap());
  EXPECT_TRUE(cache_->dirtyFiles().empty());
}

TEST_F(DataCacheTest, MapWithoutItsDataFileStartsEmpty) {
  auto f = put("/lost", Bytes(kBs, 'l'), true);
  const std::string bin = f->binPath();
  f.reset();
  ASSERT_EQ(::unlink(bin.c_str()), 0);
  auto g = cache_->open("/lost", false);
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->size(), 0u);
  EXPECT_FALSE(g->hasDirty());
}

TEST_F(DataCacheTest, EvictionTakesOldestCleanObjectsNobodyHolds) {
  const char* clean[] = {"/c1", "/c2", "/c3", "/c4"};
  int64_t t = 1600000000;
  for (const char* p : clean) {
    put(p, Bytes(kBs, 'c'), false);
    setDataTime(p, t);
    t += 100;
  }
  put("/dirty", Bytes(kBs, 'd'), true);
  setDataTime("/dirty", 1);  // the oldest of all, yet never evicted
  auto held = put("/held", Bytes(kBs, 'h'), false);
  setDataTime("/held", 2);
  EXPECT_EQ(cache_->diskBytes(), 6u * kBs);

  struct Step {
    uint64_t limit;
    std::vector<std::string> wantCached;
    uint64_t wantBytes;
  } steps[] = {
      {7 * kBs, {"/c1", "/c2", "/c3", "/c4", "/dirty", "/held"}, 6 * kBs},  // under the limit: nothing
      {4 * kBs, {"/c3", "/c4", "/dirty", "/held"}, 4 * kBs},
      {4 * kBs - 1, {"/c4", "/dirty", "/held"}, 3 * kBs},
      {0, {"/dirty", "/held"}, 2 * kBs},
  };
  for (const Step& s : steps) {
    cache_->evictTo(s.limit);
    std::vector<std::string> cached;
    for (const char* p : {"/c1", "/c2", "/c3", "/c4", "/dirty", "/held"}) {
      if (cache_->exists(p)) {
        cached.push_back(p);
        EXPECT_TRUE(fs::exists(cache_->binPath(DataCache::objectName(p)))) << p;
      } else {
        EXPECT_FALSE(fs::exists(cache_->binPath(DataCache::objectName(p)))) << p;
      }
    }
    EXPECT_EQ(cached, s.wantCached) << s.limit;
    EXPECT_EQ(cache_->diskBytes(), s.wantBytes) << s.limit;
  }
  EXPECT_EQ(contentOf(*held), Bytes(kBs, 'h'));
}

TEST_F(DataCacheTest, RemovedObjectStaysUsableButLeavesNoFiles) {
  auto f = put("/gone", Bytes(kBs, 'g'), true);
  cache_->remove("/gone");
  EXPECT_TRUE(f->isRemoved());
  EXPECT_FALSE(cache_->exists("/gone"));
  EXPECT_FALSE(fs::exists(f->binPath()));
  ASSERT_TRUE(f->write(1, "xy", 2).ok());
  EXPECT_EQ(contentOf(*f), "g" + std::string("xy") + Bytes(kBs - 3, 'g'));
  EXPECT_TRUE(f->saveMap());
  EXPECT_FALSE(fs::exists(f->mapPath()));
  EXPECT_TRUE(cache_->dirtyFiles().empty());
  auto fresh = cache_->open("/gone", true);
  ASSERT_NE(fresh, nullptr);
  EXPECT_NE(fresh, f);
  EXPECT_EQ(fresh->size(), 0u);
  cache_->remove("/never-cached");  // nothing to do, nothing breaks
}

TEST_F(DataCacheTest, RenameMovesFilesOrRebindsTheLiveObject) {
  // Nothing cached, or the same object name: nothing happens.
  EXPECT_TRUE(cache_->renameObject("/x", "/y").ok());
  EXPECT_FALSE(cache_->exists("/y"));
  auto same = put("/same", "s", true);
  EXPECT_TRUE(cache_->renameObject("/same", "/same").ok());
  EXPECT_EQ(same->path(), "/same");

  // Without a live object the files move and the stored path follows.
  put("/old-a", Bytes(kBs, 'a'), true).reset();
  ASSERT_TRUE(cache_->renameObject("/old-a", "/new-a").ok());
  EXPECT_FALSE(cache_->exists("/old-a"));
  auto a = cache_->open("/new-a", false);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(contentOf(*a), Bytes(kBs, 'a'));
  EXPECT_EQ(a->path(), "/new-a");

  // A live object is rebound: same object, new files, new path on disk.
  auto b = put("/old-b", Bytes(kBs, 'b'), true);
  ASSERT_TRUE(cache_->renameObject("/old-b", "/new-b").ok());
  EXPECT_EQ(b->path(), "/new-b");
  EXPECT_EQ(b->mapPath(), cache_->mapPath(DataCache::objectName("/new-b")));
  EXPECT_EQ(cache_->open("/new-b", false), b);
  EXPECT_EQ(cache_->open("/old-b", false), nullptr);
  ASSERT_TRUE(b->write(0, "B", 1).ok());
  ASSERT_TRUE(b->saveMap());
  EXPECT_EQ(sortedDirty(), (std::vector<std::string>{"/new-a", "/new-b", "/same"}));
  b.reset();
  auto b2 = cache_->open("/new-b", false);
  ASSERT_NE(b2, nullptr);
  EXPECT_EQ(contentOf(*b2), "B" + Bytes(kBs - 1, 'b'));
}

TEST_F(DataCacheTest, RenameOverAnObjectInUseRetiresTheReplacedObject) {
  auto target = put("/target", Bytes(3 * kBs, 't'), true);
  auto source = put("/source", Bytes(kBs, 's'), true);
  ASSERT_TRUE(cache_->renameObject("/source", "/target").ok());
  EXPECT_TRUE(target->isRemoved());
  EXPECT_FALSE(source->isRemoved());
  // The old holder goes on writing and saving; the moved map must survive.
  ASSERT_TRUE(target->write(0, "T", 1).ok());
  EXPECT_TRUE(target->saveMap());
  std::string bytes;
  ASSERT_TRUE(ReadSmallFile(cache_->mapPath(DataCache::objectName("/target")), &bytes));
  MapHeader h;
  ASSERT_TRUE(DecodeMapHeader(bytes, &h));
  EXPECT_EQ(h.size, kBs);
  EXPECT_EQ(h.path, "/target");
  EXPECT_EQ(cache_->open("/target", false), source);
  EXPECT_EQ(contentOf(*source), Bytes(kBs, 's'));
  EXPECT_EQ(contentOf(*target), "T" + Bytes(3 * kBs - 1, 't'));  // its own data, still readable
}

TEST_F(DataCacheTest, FetchRunningDuringRenameLandsInTheMovedFile) {
  auto f = cache_->open("/moving", true);
  ASSERT_NE(f, nullptr);
  const std::string server = Bytes(2 * kBs, 'r');
  RemoteAttr attr;
  attr.size = server.size();
  attr.etag = "e";
  f->applyRemote(attr, nullptr, nullptr);
  // An object already at the target is replaced; its descriptor must not be
  // the one the fetch writes through.
  auto other = put("/moved", Bytes(kBs, 'o'), true);
  Gate gate;
  Fetcher fetcher = [&](CacheFile*, uint64_t off, uint8_t* buf, uint64_t len, uint64_t& got, const CancelToken*) {
    gate.arriveAndWait();
    std::memcpy(buf, server.data() + off, len);
    got = len;
    return Status();
  };
  auto reader = std::async(std::launch::async, [&] {
    std::string out(server.size(), '\0');
    uint64_t got = 0;
    Status st = f->read(0, out.data(), out.size(), got, fetcher, nullptr);
    return st.ok() ? out : st.toString();
  });
  gate.waitArrived();
  ASSERT_TRUE(cache_->renameObject("/moving", "/moved").ok());
  gate.release();
  EXPECT_TRUE(reader.get() == server);
  ASSERT_TRUE(f->saveMap());
  f.reset();
  other.reset();
  DataCache restarted(root_, kBs, 1 << 30);
  auto g = restarted.open("/moved", false);
  ASSERT_NE(g, nullptr);
  EXPECT_TRUE(g->isComplete());
  EXPECT_TRUE(contentOf(*g) == server);
}

// A save of the object while its files are moved must not leave a map under
// the old name, which a restart would report as a dirty file at the old path.
TEST_F(DataCacheTest, SaveDuringRenameLeavesNoMapUnderTheOldName) {
  auto f = put("/before", Bytes(kBs, 'a'), true);
  Gate gate;
  std::atomic<int> deletions{0};
  cache_->setFileDeleter([&](const std::string& path) {
    if (deletions++ == 0) gate.arriveAndWait();
    return DeleteFileRetry(path);
  });
  auto rename = std::async(std::launch::async, [&] { return cache_->renameObject("/before", "/after"); });
  gate.waitArrived();
  auto saver = std::async(std::launch::async, [&] {
    EXPECT_TRUE(f->write(0, "b", 1).ok());
    return f->saveMap();
  });
  EXPECT_EQ(saver.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
  gate.release();
  EXPECT_TRUE(rename.get().ok());
  EXPECT_TRUE(saver.get());
  EXPECT_FALSE(cache_->exists("/before"));
  EXPECT_EQ(cache_->dirtyFiles(), std::vector<std::string>{"/after"});
  EXPECT_EQ(contentOf(*f), "b" + Bytes(kBs - 1, 'a'));
}

TEST_F(DataCacheTest, RenameTreeMovesEverythingUnderThePrefix) {
  put("/d/x", "1", true);
  put("/d/sub/y", "2", true);
  put("/dx/z", "3", true);
  put("/d", "4", true);
  cache_->renameTree("/d", "/e");
  struct Case {
    const char* path;
    bool cached;
  } cases[] = {
      {"/e/x", true}, {"/e/sub/y", true}, {"/e", true}, {"/dx/z", true},
      {"/d/x", false}, {"/d/sub/y", false}, {"/d", false},
  };
  for (const Case& c : cases) EXPECT_EQ(cache_->exists(c.path), c.cached) << c.path;
  EXPECT_EQ(sortedDirty(), (std::vector<std::string>{"/dx/z", "/e", "/e/sub/y", "/e/x"}));
}

// While eviction deletes an object's files, an open of the same path must
// wait and then get an object whose files exist.
TEST_F(DataCacheTest, OpenDuringEvictionNeverGetsVanishingFiles) {
  put("/victim", Bytes(kBs, 'v'), false).reset();
  Gate gate;
  std::atomic<int> deletions{0};
  cache_->setFileDeleter([&](const std::string& path) {
    if (deletions++ == 0) gate.arriveAndWait();
    return DeleteFileRetry(path);
  });
  auto evict = std::async(std::launch::async, [&] { cache_->evictTo(0); });
  gate.waitArrived();
  auto opener = std::async(std::launch::async, [&] { return cache_->open("/victim", true); });
  EXPECT_EQ(opener.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
  gate.release();
  evict.get();
  auto f = opener.get();
  ASSERT_NE(f, nullptr);
  EXPECT_TRUE(fs::exists(f->binPath()));
  EXPECT_EQ(f->size(), 0u);  // the evicted state is not resurrected
  ASSERT_TRUE(f->write(0, "new", 3).ok());
  ASSERT_TRUE(f->saveMap());
  EXPECT_TRUE(cache_->exists("/victim"));
}

// The candidates are gathered before any deletion; one that was changed and
// saved in between must be kept.
TEST_F(DataCacheTest, EvictionSparesObjectsChangedSinceTheScan) {
  put("/first", Bytes(kBs, '1'), false).reset();
  setDataTime("/first", 1000);
  put("/second", Bytes(kBs, '2'), false).reset();
  setDataTime("/second", 2000);
  Gate gate;
  std::atomic<int> deletions{0};
  cache_->setFileDeleter([&](const std::string& path) {
    if (deletions++ == 0) gate.arriveAndWait();
    return DeleteFileRetry(path);
  });
  auto evict = std::async(std::launch::async, [&] { cache_->evictTo(0); });
  gate.waitArrived();  // "/first" is being deleted; "/second" is next
  {
    auto s = cache_->open("/second", false);
    ASSERT_NE(s, nullptr);
    ASSERT_TRUE(s->write(0, "changed", 7).ok());
    ASSERT_TRUE(s->saveMap());
  }
  gate.release();
  evict.get();
  EXPECT_FALSE(cache_->exists("/first"));
  EXPECT_TRUE(cache_->exists("/second"));
  EXPECT_EQ(cache_->dirtyFiles(), std::vector<std::string>{"/second"});
}

TEST(DeleteFileRetryTest, MissingFilesCountAsDeleted) {
  std::string tmpl = (fs::temp_directory_path() / "tarn-delete-XXXXXX").string();
  ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
  const std::string file = tmpl + "/f";
  ASSERT_TRUE(WriteFileWhole(file, "x", false, false));
  EXPECT_TRUE(DeleteFileRetry(file));
  EXPECT_FALSE(fs::exists(file));
  EXPECT_TRUE(DeleteFileRetry(file));
  EXPECT_TRUE(DeleteFileRetry(tmpl + "/no/such"));
  EXPECT_FALSE(DeleteFileRetry(tmpl));  // a folder is not a file
  fs::remove_all(tmpl);
}

}  // namespace
}  // namespace tarn
