#include "engine/data_cache.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <future>
#include <map>
#include <thread>
#include <utility>

#include "engine/map_file.h"
#include "foundation/memory_env.h"
#include "testing/fake_remote.h"
#include "testing/gate.h"
#include "testing/log_capture.h"

namespace tarn {
namespace {

constexpr uint32_t kBs = 4096;
constexpr const char* kRoot = "/var/cache";
// Long enough for a thread that is not blocked to get through; a blocked one
// shows as still running after it.
constexpr auto kBlockedWait = std::chrono::milliseconds(200);

using test::Gate;
using Step = MemoryEnv::Step;

std::string Bytes(uint64_t n, char c) { return std::string(n, c); }

std::string Pattern(uint64_t n, uint8_t seed) {
  std::string s(n, '\0');
  for (uint64_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 7 + seed + i / 251) & 0xff);
  return s;
}

// Holds the first step of a kind on a path (ending with `suffix`) at a gate.
MemoryEnv::Hook HoldFirst(Step kind, const std::string& suffix, Gate& gate) {
  auto done = std::make_shared<std::atomic<bool>>(false);
  return [kind, suffix, &gate, done](const MemoryEnv::StepInfo& s) {
    if (s.step == kind && s.path.ends_with(suffix) && !done->exchange(true)) gate.arriveAndWait();
    return Status();
  };
}

class DataCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cache_ = std::make_unique<DataCache>(kRoot, kBs, 1 << 30, false, &env_);
    ASSERT_TRUE(cache_->ensureDir());
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
      EXPECT_TRUE(f->applyRemote(attr, nullptr, nullptr).ok());
      f->fillFromStream(0, content.data(), content.size(), f->epoch());
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

  bool fileExists(const std::string& path) {
    EnvFileInfo info;
    return env_.stat(path, &info).ok();
  }

  std::string binOf(const std::string& path) { return cache_->binPath(DataCache::objectName(path)); }
  std::string mapOf(const std::string& path) { return cache_->mapPath(DataCache::objectName(path)); }

  std::vector<std::string> sortedDirty() {
    auto v = cache_->dirtyFiles();
    std::sort(v.begin(), v.end());
    return v;
  }

  MemoryEnv env_;
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
    EXPECT_EQ(cache_->binPath(c.name), std::string(kRoot) + "/data/" + c.name + ".bin");
    EXPECT_EQ(cache_->mapPath(c.name), std::string(kRoot) + "/data/" + c.name + ".map");
  }
  EXPECT_NE(DataCache::objectName("/A"), DataCache::objectName("/a"));
  EXPECT_EQ(DataCache::objectName("/a").size(), kObjectNameDigits);
}

TEST_F(DataCacheTest, EnsureDirDropsWhatInterruptedWorkLeftBehind) {
  const std::string data = std::string(kRoot) + "/data/";
  put("/keep", "k", true).reset();
  struct Case {
    std::string file;
    bool kept;
  } cases[] = {
      {data + "0123.map.tmp", false},                                   // a save cut short
      {data + "aaaa.bin", false},                                       // data without its map
      {data + "bbbb.map", false},                                       // a map without its data
      {mapOf("/keep"), true},
      {binOf("/keep"), true},
  };
  for (const Case& c : cases) {
    if (!c.kept) {
      ASSERT_TRUE(env_.writeFile(c.file, "half", false, false).ok());
    }
  }
  DataCache again(kRoot, kBs, 1 << 30, false, &env_);
  ASSERT_TRUE(again.ensureDir());
  for (const Case& c : cases) EXPECT_EQ(fileExists(c.file), c.kept) << c.file;

  ASSERT_TRUE(env_.writeFile("/plain", "x", false, false).ok());
  DataCache blocked("/plain/cache", kBs, 1 << 30, false, &env_);
  std::string error;
  EXPECT_FALSE(blocked.ensureDir(&error));
  EXPECT_EQ(error, "cannot create cache directory /plain/cache");
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

// An open held in the disk (a slow or stalled cache disk) holds up only its
// own name: other names are opened, looked at, removed and listed meanwhile,
// and a second open of the same name waits for the one object being made.
TEST_F(DataCacheTest, OpenInTheDiskHoldsUpOnlyItsOwnName) {
  struct Case {
    const char* what;
    Step held;
    const char* suffix;
    bool cached;  // the held path has a saved object, or is made new
  } cases[] = {
      {"reading the map", Step::kRead, ".map", true},
      {"creating the data file", Step::kCreate, ".bin", false},
  };
  for (const Case& c : cases) {
    if (c.cached) put("/held", Bytes(kBs, 'h'), true).reset();
    put("/other", Bytes(kBs, 'o'), true).reset();
    put("/gone", Bytes(kBs, 'g'), false).reset();
    Gate gate;
    env_.setHook(HoldFirst(c.held, c.suffix, gate));
    auto held = std::async(std::launch::async, [&] { return cache_->open("/held", true); });
    ASSERT_TRUE(gate.waitArrived()) << c.what;
    auto second = std::async(std::launch::async, [&] { return cache_->open("/held", false); });
    auto others = std::async(std::launch::async, [&] {
      uint64_t size = 0;
      Timestamp mtime;
      std::shared_ptr<CacheFile> other = cache_->open("/other", false);
      const bool shown = cache_->unsentChanges("/other", &size, &mtime);
      cache_->remove("/gone");
      return other != nullptr && shown && size == kBs && !cache_->exists("/gone");
    });
    const bool othersDone =
        others.wait_for(std::chrono::milliseconds(Gate::kDefaultWaitMs)) == std::future_status::ready;
    EXPECT_TRUE(othersDone) << c.what << ": other names waited for the held open";
    EXPECT_EQ(second.wait_for(kBlockedWait), std::future_status::timeout) << c.what;
    gate.release();
    std::shared_ptr<CacheFile> first = held.get();
    env_.setHook(nullptr);
    EXPECT_TRUE(others.get()) << c.what;
    ASSERT_NE(first, nullptr) << c.what;
    EXPECT_EQ(second.get(), first) << c.what;
    EXPECT_EQ(first->size(), c.cached ? kBs : 0u) << c.what;
    first.reset();
    cache_->remove("/held");
    cache_->remove("/other");
  }
}

// What a listing shows of unsent changes, read from the map alone when no
// object is live, matches what an open would load.
TEST_F(DataCacheTest, UnsentChangesReadFromTheMapMatchWhatAnOpenLoads) {
  const Timestamp touched{1700000000, 5};
  struct Case {
    const char* what;
    std::function<void()> make;
    bool shown;
    uint64_t size;
    Timestamp mtime;
  } cases[] = {
      {"never cached", [] {}, false, 0, {}},
      {"clean", [&] { put("/f", Bytes(kBs, 'c'), false).reset(); }, false, 0, {}},
      {"written and saved", [&] { put("/f", Bytes(3 * kBs + 1, 'd'), true).reset(); }, true, 3 * kBs + 1, {}},
      {"written, its time set",
       [&] {
         auto f = put("/f", Bytes(10, 'd'), true);
         f->setPendingMtime(touched);
         ASSERT_TRUE(f->saveMap());
       },
       true, 10, touched},
      {"data file lost",
       [&] {
         put("/f", Bytes(kBs, 'd'), true).reset();
         ASSERT_TRUE(env_.unlink(binOf("/f")).ok());
       },
       false, 0, {}},
      {"map of another block size",
       [&] {
         DataCache other(kRoot, 2 * kBs, 1 << 30, false, &env_);
         auto f = other.open("/f", true);
         ASSERT_TRUE(f->write(0, "x", 1).ok());
         ASSERT_TRUE(f->saveMap());
       },
       false, 0, {}},
  };
  for (const Case& c : cases) {
    c.make();
    uint64_t size = 0;
    Timestamp mtime;
    EXPECT_EQ(cache_->unsentChanges("/f", &size, &mtime), c.shown) << c.what;
    if (c.shown) {
      EXPECT_EQ(size, c.size) << c.what;
      EXPECT_EQ(mtime, c.mtime) << c.what;
    }
    // An open agrees, and then the live object answers.
    auto f = cache_->open("/f", false);
    EXPECT_EQ(f != nullptr && (f->hasDirty() || f->isDirty()), c.shown) << c.what;
    EXPECT_EQ(cache_->unsentChanges("/f", &size, &mtime), c.shown) << c.what;
    f.reset();
    cache_->remove("/f");
  }
  // A live object written but never saved has no map yet.
  auto f = cache_->open("/new", true);
  ASSERT_TRUE(f->write(0, "abc", 3).ok());
  uint64_t size = 0;
  Timestamp mtime;
  EXPECT_TRUE(cache_->unsentChanges("/new", &size, &mtime));
  EXPECT_EQ(size, 3u);
}

// Counts the map files opened, failed opens too: a listing must not ask the
// disk about every entry.
class MapOpenCountingEnv : public Env {
 public:
  explicit MapOpenCountingEnv(Env* inner) : inner_(inner) {}
  Status open(const std::string& path, OpenMode mode, std::unique_ptr<EnvFile>* file) override {
    if (path.ends_with(".map")) ++mapOpens;
    return inner_->open(path, mode, file);
  }
  Status rename(const std::string& from, const std::string& to) override { return inner_->rename(from, to); }
  Status unlink(const std::string& path) override { return inner_->unlink(path); }
  Status syncDir(const std::string& path) override { return inner_->syncDir(path); }
  Status makeDir(const std::string& path) override { return inner_->makeDir(path); }
  Status list(const std::string& path, std::vector<std::string>* names) override { return inner_->list(path, names); }
  Status stat(const std::string& path, EnvFileInfo* info) override { return inner_->stat(path, info); }
  std::string bootId() const override { return inner_->bootId(); }

  std::atomic<uint64_t> mapOpens{0};

 private:
  Env* const inner_;
};

TEST(DataCacheListingTest, AListingReadsOnlyMapsThatMayHoldChanges) {
  MemoryEnv memory;
  MapOpenCountingEnv env(&memory);
  constexpr int kClean = 20;
  auto clean = [](int i) { return "/dir/c" + std::to_string(i); };
  auto make = [&]() {
    auto c = std::make_unique<DataCache>(kRoot, kBs, 1 << 30, false, &env);
    EXPECT_TRUE(c->ensureDir());
    return c;
  };
  auto store = [](DataCache& c, const std::string& path, uint64_t bytes, bool dirty) {
    auto f = c.open(path, true);
    ASSERT_NE(f, nullptr);
    const std::string content = Bytes(bytes, 'x');
    if (dirty) {
      ASSERT_TRUE(f->write(0, content.data(), content.size()).ok());
    } else {
      RemoteAttr attr;
      attr.size = bytes;
      ASSERT_TRUE(f->applyRemote(attr, nullptr, nullptr).ok());
      f->fillFromStream(0, content.data(), content.size(), f->epoch());
    }
    ASSERT_TRUE(f->saveMap());
  };
  // Lists the folder as the drive does; returns the paths shown with changes
  // and how many map files were opened for it.
  auto list = [&](DataCache& c) {
    std::map<std::string, uint64_t> shown;
    const uint64_t before = env.mapOpens.load();
    std::vector<std::string> paths = {"/dir/d", "/dir/never"};
    for (int i = 0; i < kClean; ++i) paths.push_back(clean(i));
    for (const std::string& p : paths) {
      uint64_t size = 0;
      Timestamp mtime;
      if (c.unsentChanges(p, &size, &mtime)) shown[p] = size;
    }
    return std::make_pair(shown, env.mapOpens.load() - before);
  };
  const std::map<std::string, uint64_t> onlyD = {{"/dir/d", 7}};

  auto first = make();
  for (int i = 0; i < kClean; ++i) store(*first, clean(i), kBs, false);
  store(*first, "/dir/d", 7, true);
  (void)list(*first);  // may read what this process opened, once
  auto [shown, opens] = list(*first);
  EXPECT_EQ(shown, onlyD);
  EXPECT_LE(opens, 1u) << "only the map with changes is read";

  // Opened and written since a look found it clean; moved onto a clean name.
  store(*first, clean(0), 3, true);
  ASSERT_TRUE(first->renameObject("/dir/d", clean(1)).ok());
  std::tie(shown, opens) = list(*first);
  EXPECT_EQ(shown, (std::map<std::string, uint64_t>{{clean(0), kBs}, {clean(1), 7}}));

  // A restart learns which maps hold changes while it settles the folder.
  first.reset();
  auto second = make();
  std::tie(shown, opens) = list(*second);
  EXPECT_EQ(shown, (std::map<std::string, uint64_t>{{clean(0), kBs}, {clean(1), 7}}));
  EXPECT_LE(opens, 2u);

  // A look that reads a clean map while the object is opened, written and
  // let go must not forget the changes it did not see.
  store(*second, "/dir/r", kBs, false);
  (void)list(*second);
  Gate gate;
  memory.setHook(HoldFirst(Step::kRead, DataCache::objectName("/dir/r") + ".map", gate));
  auto look = std::async(std::launch::async, [&] {
    uint64_t size = 0;
    Timestamp mtime;
    return second->unsentChanges("/dir/r", &size, &mtime);
  });
  ASSERT_TRUE(gate.waitArrived());
  memory.setHook(nullptr);
  store(*second, "/dir/r", 5, true);
  gate.release();
  (void)look.get();
  uint64_t size = 0;
  Timestamp mtime;
  EXPECT_TRUE(second->unsentChanges("/dir/r", &size, &mtime));
  EXPECT_EQ(size, kBs);
}

// One half of a pair without the other (a crash during a removal or a move)
// is an empty object: old bytes must never become the gaps of a new file
// and be uploaded as its content, and a map must not claim missing data.
TEST_F(DataCacheTest, ALoneHalfOfAPairOpensEmpty) {
  struct Case {
    const char* what;
    bool dropMap;
  } cases[] = {{"data file without its map", true}, {"map without its data file", false}};
  for (const Case& c : cases) {
    put("/lone", Bytes(3 * kBs, 'o'), true).reset();
    ASSERT_TRUE(env_.unlink(c.dropMap ? mapOf("/lone") : binOf("/lone")).ok());
    EXPECT_EQ(cache_->dirtyFiles(), std::vector<std::string>{}) << c.what;
    auto f = cache_->open("/lone", true);
    ASSERT_NE(f, nullptr) << c.what;
    EXPECT_EQ(f->size(), 0u) << c.what;
    EXPECT_FALSE(f->hasDirty()) << c.what;
    ASSERT_TRUE(f->truncate(2 * kBs).ok());  // the gap a new file would upload
    EXPECT_EQ(contentOf(*f), Bytes(2 * kBs, '\0')) << c.what;
    f.reset();
    cache_->remove("/lone");
  }
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
  cache_ = std::make_unique<DataCache>(kRoot, kBs, 1 << 30, false, &env_);
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
  DataCache other(kRoot, 2 * kBs, 1 << 30, false, &env_);
  auto o = other.open("/dir/clean", false);
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(o->size(), 0u);
}

// A power loss can keep a map whose data file lost its tail: the blocks the
// file no longer reaches are fetched again, never served as zeros.
TEST_F(DataCacheTest, DataFileShorterThanItsMapAfterACrashLosesOnlyTheBlocksItLacks) {
  const std::string content = Pattern(3 * kBs + 100, 3);
  put("/short", content, false).reset();
  {
    std::unique_ptr<EnvFile> data;
    ASSERT_TRUE(env_.open(binOf("/short"), Env::OpenMode::kReadWrite, &data).ok());
    ASSERT_TRUE(data->truncate(kBs + kBs / 2).ok());
  }
  cache_ = std::make_unique<DataCache>(kRoot, kBs, 1 << 30, false, &env_);
  ASSERT_TRUE(cache_->ensureDir());
  auto f = cache_->open("/short", false);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->size(), content.size());
  std::string block(kBs, '\0');
  EXPECT_TRUE(f->readIfCached(0, block.data(), kBs) && block == content.substr(0, kBs));
  for (uint64_t b = 1; b < 4; ++b) EXPECT_FALSE(f->readIfCached(b * kBs, block.data(), 1)) << b;
  test::FakeRemote remote;
  remote.content = content;
  std::string out(content.size(), '\0');
  uint64_t got = 0;
  ASSERT_TRUE(f->read(0, out.data(), out.size(), got, remote.fetcher(), nullptr).ok());
  EXPECT_TRUE(out == content) << "the blocks past the data file's end were not fetched again";
  EXPECT_EQ(remote.requests, (std::vector<std::pair<uint64_t, uint64_t>>{{kBs, content.size() - kBs}}));
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

TEST_F(DataCacheTest, EvictionTakesOldestCleanObjectsNobodyHolds) {
  // Data files are stamped in the order they are written: "/dirty" is the
  // oldest of all, yet never evicted; "/held" is next, but in use.
  put("/dirty", Bytes(kBs, 'd'), true);
  auto held = put("/held", Bytes(kBs, 'h'), false);
  for (const char* p : {"/c1", "/c2", "/c3", "/c4"}) put(p, Bytes(kBs, 'c'), false);
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
      EXPECT_EQ(cache_->exists(p), fileExists(binOf(p))) << p;
      if (cache_->exists(p)) cached.push_back(p);
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
  EXPECT_FALSE(fileExists(f->binPath()));
  ASSERT_TRUE(f->write(1, "xy", 2).ok());
  EXPECT_EQ(contentOf(*f), "g" + std::string("xy") + Bytes(kBs - 3, 'g'));
  EXPECT_TRUE(f->saveMap());
  EXPECT_FALSE(fileExists(f->mapPath()));
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
  EXPECT_FALSE(fileExists(binOf("/old-a")));
  auto a = cache_->open("/new-a", false);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(contentOf(*a), Bytes(kBs, 'a'));
  EXPECT_EQ(a->path(), "/new-a");

  // A live object is rebound: same object, new files, new path on disk.
  auto b = put("/old-b", Bytes(kBs, 'b'), true);
  ASSERT_TRUE(cache_->renameObject("/old-b", "/new-b").ok());
  EXPECT_EQ(b->path(), "/new-b");
  EXPECT_EQ(b->mapPath(), mapOf("/new-b"));
  EXPECT_EQ(b->binPath(), binOf("/new-b"));
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

// The object of a target in use is retired whether or not the source was
// cached: a later open must get a fresh object on fresh files, never a
// second object over the old holder's data file.
TEST_F(DataCacheTest, RenameOverAnObjectInUseRetiresTheReplacedObject) {
  struct Case {
    const char* what;
    bool sourceCached;
  } cases[] = {{"cached source", true}, {"uncached source", false}};
  for (const Case& c : cases) {
    auto target = put("/target", Bytes(3 * kBs, 't'), true);
    std::shared_ptr<CacheFile> source;
    if (c.sourceCached) source = put("/source", Bytes(kBs, 's'), true);
    ASSERT_TRUE(cache_->renameObject("/source", "/target").ok()) << c.what;
    EXPECT_TRUE(target->isRemoved()) << c.what;
    // The old holder goes on writing and saving; nothing it does may reach
    // the object that now stands at the target.
    ASSERT_TRUE(target->write(0, "T", 1).ok());
    EXPECT_TRUE(target->saveMap());
    auto now = cache_->open("/target", true);
    ASSERT_NE(now, nullptr) << c.what;
    EXPECT_NE(now, target) << c.what;
    if (c.sourceCached) {
      EXPECT_EQ(now, source) << c.what;
      EXPECT_EQ(contentOf(*now), Bytes(kBs, 's')) << c.what;
    } else {
      EXPECT_EQ(now->size(), 0u) << c.what;
      RemoteAttr attr;  // the server's copy of the renamed file arrives
      attr.size = 2 * kBs;
      attr.etag = "moved";
      ASSERT_TRUE(now->applyRemote(attr, nullptr, nullptr).ok());
    }
    EXPECT_EQ(contentOf(*target), "T" + Bytes(3 * kBs - 1, 't')) << c.what;  // its own data, still readable
    now.reset();
    source.reset();
    target.reset();
    cache_->remove("/target");
  }
}

TEST_F(DataCacheTest, FetchRunningDuringRenameLandsInTheMovedFile) {
  auto f = cache_->open("/moving", true);
  ASSERT_NE(f, nullptr);
  const std::string server = Bytes(2 * kBs, 'r');
  RemoteAttr attr;
  attr.size = server.size();
  attr.etag = "e";
  ASSERT_TRUE(f->applyRemote(attr, nullptr, nullptr).ok());
  // An object already at the target is replaced; its data file must not be
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
  DataCache restarted(kRoot, kBs, 1 << 30, false, &env_);
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
  env_.setHook(HoldFirst(Step::kRename, ".bin", gate));
  auto rename = std::async(std::launch::async, [&] { return cache_->renameObject("/before", "/after"); });
  gate.waitArrived();
  auto saver = std::async(std::launch::async, [&] {
    EXPECT_TRUE(f->write(0, "b", 1).ok());
    return f->saveMap();
  });
  EXPECT_EQ(saver.wait_for(kBlockedWait), std::future_status::timeout);
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
  // Created and written, never saved: no map yet, but its data must move too.
  auto unsaved = cache_->open("/d/new", true);
  ASSERT_TRUE(unsaved->write(0, "5", 1).ok());
  cache_->renameTree("/d", "/e");
  EXPECT_EQ(unsaved->path(), "/e/new");
  ASSERT_TRUE(unsaved->saveMap());
  struct Case {
    const char* path;
    bool cached;
  } cases[] = {
      {"/e/x", true},  {"/e/sub/y", true}, {"/e", true}, {"/dx/z", true}, {"/e/new", true},
      {"/d/x", false}, {"/d/sub/y", false}, {"/d", false}, {"/d/new", false},
  };
  for (const Case& c : cases) EXPECT_EQ(cache_->exists(c.path), c.cached) << c.path;
  EXPECT_EQ(sortedDirty(), (std::vector<std::string>{"/dx/z", "/e", "/e/new", "/e/sub/y", "/e/x"}));
}

// A file closed while its folder moves: its first map is saved and the
// object let go while the move looks through the folder. Whichever of the
// cache's two records (the maps, the live objects) the move reads first, the
// object must not slip between them and stay behind under the old name.
TEST_F(DataCacheTest, RenameTreeMovesAnObjectSavedAndLetGoWhileItLooks) {
  put("/d/seen", "1", true);
  auto closing = cache_->open("/d/closing", true);
  ASSERT_TRUE(closing->write(0, "2", 1).ok());
  const std::thread::id mover = std::this_thread::get_id();
  bool closed = false;
  env_.setHook([&](const MemoryEnv::StepInfo& s) {
    // The move's first look at a map on the disk: the close happens now.
    if (s.step == Step::kRead && std::this_thread::get_id() == mover && !std::exchange(closed, true)) {
      EXPECT_TRUE(closing->saveMap());
      closing.reset();
    }
    return Status();
  });
  cache_->renameTree("/d", "/e");
  env_.setHook(nullptr);
  ASSERT_TRUE(closed);
  EXPECT_FALSE(cache_->exists("/d/closing"));
  EXPECT_EQ(sortedDirty(), (std::vector<std::string>{"/e/closing", "/e/seen"}));
  auto moved = cache_->open("/e/closing", false);
  ASSERT_TRUE(moved != nullptr);
  EXPECT_EQ(contentOf(*moved), "2");
}

// While the files of a name are deleted, an open of the same path must wait
// and then get an object whose files exist.
TEST_F(DataCacheTest, OpenDuringRemovalOrEvictionNeverGetsVanishingFiles) {
  struct Case {
    const char* what;
    std::function<void(DataCache&)> drop;
    bool dirty;
  } cases[] = {
      {"eviction", [](DataCache& c) { c.evictTo(0); }, false},
      {"removal", [](DataCache& c) { c.remove("/victim"); }, true},
  };
  for (const Case& c : cases) {
    put("/victim", Bytes(kBs, 'v'), c.dirty).reset();
    Gate gate;
    env_.setHook(HoldFirst(Step::kUnlink, ".bin", gate));
    auto dropper = std::async(std::launch::async, [&] { c.drop(*cache_); });
    gate.waitArrived();
    auto opener = std::async(std::launch::async, [&] { return cache_->open("/victim", true); });
    EXPECT_EQ(opener.wait_for(kBlockedWait), std::future_status::timeout) << c.what;
    gate.release();
    dropper.get();
    auto f = opener.get();
    env_.setHook(nullptr);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->size(), 0u) << c.what;  // the dropped state is not resurrected
    ASSERT_TRUE(f->write(0, "new", 3).ok());
    ASSERT_TRUE(f->saveMap());
    f.reset();
    DataCache restarted(kRoot, kBs, 1 << 30, false, &env_);
    auto g = restarted.open("/victim", false);
    ASSERT_NE(g, nullptr) << c.what;
    EXPECT_EQ(contentOf(*g), "new") << c.what;
    g.reset();
    cache_->remove("/victim");
  }
}

// The candidates are gathered before any deletion; one that was changed and
// saved in between must be kept.
TEST_F(DataCacheTest, EvictionSparesObjectsChangedSinceTheScan) {
  put("/first", Bytes(kBs, '1'), false).reset();
  put("/second", Bytes(kBs, '2'), false).reset();
  Gate gate;
  env_.setHook(HoldFirst(Step::kUnlink, ".bin", gate));
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

TEST(DeleteFileRetryTest, RetriesOnlyWhatMayPass) {
  struct Case {
    const char* what;
    const char* path;
    int busyTimes;  // EBUSY answers before the delete goes through
    bool want;
    int wantWarnings;
  } cases[] = {
      {"a file", "/d/f", 0, true, 0},
      {"a missing file", "/d/none", 0, true, 0},
      {"a missing folder", "/no/such", 0, true, 0},
      {"a folder is not a file", "/d", 0, false, 0},
      {"busy a few times", "/d/f", 3, true, 0},
      {"busy for good", "/d/f", kDeleteAttempts, false, 1},
  };
  for (const Case& c : cases) {
    test::LogCapture log;
    MemoryEnv env;
    ASSERT_TRUE(env.makeDirs("/d").ok());
    ASSERT_TRUE(env.writeFile("/d/f", "x", false, false).ok());
    int busy = c.busyTimes;
    env.setHook([&](const MemoryEnv::StepInfo& s) {
      if (s.step == Step::kUnlink && busy > 0) {
        --busy;
        return Status(Status::kBusy, "cannot delete " + s.path, EBUSY);
      }
      return Status();
    });
    EXPECT_EQ(DeleteFileRetry(env, c.path), c.want) << c.what;
    EXPECT_EQ(log.countLines("[WARN ] cache: cannot delete " + std::string(c.path)), c.wantWarnings) << c.what;
  }
}

}  // namespace
}  // namespace tarn
