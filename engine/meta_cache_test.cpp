#include "engine/meta_cache.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "testing/heap_peak.h"
#include "testing/test_clock.h"

namespace tarn {
namespace {

RemoteAttr File(uint64_t size) {
  RemoteAttr attr;
  attr.size = size;
  attr.etag = "e" + std::to_string(size);
  return attr;
}

RemoteAttr Folder() {
  RemoteAttr attr;
  attr.type = RemoteAttr::kDirectory;
  return attr;
}

class MetaCacheTest : public ::testing::Test {
 protected:
  // Positive answer: size; negative answer: -1; miss: -2.
  int64_t probe(const std::string& path) {
    RemoteAttr attr;
    bool negative = false;
    if (!cache_.getAttr(path, &attr, &negative)) return -2;
    return negative ? -1 : static_cast<int64_t>(attr.size);
  }

  std::vector<std::string> names(const std::string& folder) {
    std::vector<DirEntry> entries;
    std::vector<std::string> out;
    if (!cache_.getListing(folder, &entries)) return {"<miss>"};
    for (const DirEntry& e : entries) out.push_back(e.name + ":" + std::to_string(e.attr.size));
    return out;
  }

  test::ScopedTestClock clock_;
  MetaCache cache_{10000, 5000, 2000, false};
};

TEST_F(MetaCacheTest, EntriesLiveForTheirLifetimes) {
  cache_.putAttr("/file", File(7));
  cache_.putNegative("/gone");
  cache_.putListing("/dir", {{"a", File(1)}});
  struct Check {
    uint64_t at;
    int64_t file, gone, child;
    bool listing;
  } checks[] = {
      {0, 7, -1, 1, true},       {1999, 7, -1, 1, true}, {2000, 7, -2, 1, true},
      {4999, 7, -2, 1, true},    {5000, 7, -2, 1, false}, {9999, 7, -2, 1, false},
      {10000, -2, -2, -2, false},
  };
  uint64_t start = clock_.now();
  for (const Check& c : checks) {
    clock_.set(start + c.at);
    EXPECT_EQ(probe("/file"), c.file) << "at +" << c.at;
    EXPECT_EQ(probe("/gone"), c.gone) << "at +" << c.at;
    EXPECT_EQ(probe("/dir/a"), c.child) << "at +" << c.at;
    EXPECT_EQ(names("/dir") != std::vector<std::string>{"<miss>"}, c.listing) << "at +" << c.at;
  }
}

TEST_F(MetaCacheTest, OfflineServesEverythingUntilOnlineClears) {
  cache_.putAttr("/old", File(3));
  cache_.putNegative("/none");
  cache_.setConfig(10000, 5000, 2000, true);
  clock_.advance(3600 * 1000);
  EXPECT_EQ(probe("/old"), 3);
  EXPECT_EQ(probe("/none"), -1);
  // Coming back online: the volume clears after switching.
  cache_.setConfig(10000, 5000, 2000, false);
  EXPECT_EQ(probe("/old"), -2) << "expired entries are not served online";
  cache_.clear();
  cache_.setConfig(10000, 5000, 2000, true);
  EXPECT_EQ(probe("/old"), -2) << "cleared entries stay gone";
}

TEST_F(MetaCacheTest, PositiveAnswerReplacesNegativeAtOnce) {
  cache_.putNegative("/x");
  EXPECT_EQ(probe("/x"), -1);
  cache_.putAttr("/x", File(4));
  EXPECT_EQ(probe("/x"), 4);
  cache_.putNegative("/x");
  RemoteAttr attr = File(99);
  bool negative = false;
  ASSERT_TRUE(cache_.getAttr("/x", &attr, &negative));
  EXPECT_TRUE(negative);
  EXPECT_EQ(attr.size, 99u) << "a negative answer copies no attributes out";
}

TEST_F(MetaCacheTest, LocalChangesReachTheParentListing) {
  cache_.putListing("/d", {{"a", File(1)}, {"b", File(2)}});
  cache_.putAttrAndEntry("/d/c", File(3));
  cache_.putAttrAndEntry("/d/a", File(10));
  EXPECT_EQ(names("/d"), (std::vector<std::string>{"a:10", "b:2", "c:3"}));
  cache_.putAttrAndEntry("/elsewhere/z", File(5));
  EXPECT_EQ(names("/elsewhere"), std::vector<std::string>{"<miss>"}) << "no listing is made up";

  // A local write without an attribute entry changes only the listing.
  cache_.invalidate("/d/b");
  cache_.putListing("/d", {{"a", File(1)}, {"b", File(2)}});
  cache_.putNegative("/d/b");
  cache_.updateLocal("/d/b", 50, Timestamp{99, 0});
  EXPECT_EQ(probe("/d/b"), -1) << "a negative entry is left alone";
  EXPECT_EQ(names("/d"), (std::vector<std::string>{"a:1", "b:50"}));

  clock_.advance(9000);
  cache_.updateLocal("/d/a", 60, Timestamp{100, 0});
  clock_.advance(9000);
  EXPECT_EQ(probe("/d/a"), 60) << "a local write renews the entry";
}

TEST_F(MetaCacheTest, InvalidationForgetsPathsListingsAndParents) {
  auto fill = [&] {
    cache_.clear();
    cache_.putListing("/", {{"a", Folder()}, {"ab", File(1)}});
    cache_.putListing("/a", {{"x", File(2)}, {"sub", Folder()}});
    cache_.putListing("/a/sub", {{"y", File(3)}});
  };
  fill();
  cache_.invalidate("/a/sub");
  EXPECT_EQ(probe("/a/sub"), -2);
  EXPECT_EQ(names("/a/sub"), std::vector<std::string>{"<miss>"});
  EXPECT_EQ(names("/a"), std::vector<std::string>{"<miss>"});
  EXPECT_EQ(probe("/a/sub/y"), 3) << "invalidate is not recursive";

  fill();
  cache_.invalidateTree("/a");
  for (const char* gone : {"/a", "/a/x", "/a/sub", "/a/sub/y"}) EXPECT_EQ(probe(gone), -2) << gone;
  EXPECT_EQ(names("/"), std::vector<std::string>{"<miss>"});
  EXPECT_EQ(probe("/ab"), 1) << "a sibling with the same first letters stays";
}

TEST_F(MetaCacheTest, RenameMovesEntriesWithTheirExpiry) {
  cache_.putListing("/", {{"a", Folder()}});
  cache_.putListing("/a", {{"x", File(2)}});
  cache_.putListing("/b", {});
  clock_.advance(4000);
  cache_.putNegative("/a/none");
  cache_.renameTree("/a", "/b");
  EXPECT_EQ(probe("/b"), 0);
  EXPECT_EQ(probe("/b/x"), 2);
  EXPECT_EQ(probe("/b/none"), -1) << "negative answers move too";
  EXPECT_EQ(probe("/a"), -2);
  EXPECT_EQ(probe("/a/x"), -2);
  for (const char* folder : {"/", "/a", "/b"}) EXPECT_EQ(names(folder), std::vector<std::string>{"<miss>"}) << folder;
  clock_.advance(5999);
  EXPECT_EQ(probe("/b/x"), 2);
  clock_.advance(1);
  EXPECT_EQ(probe("/b/x"), -2) << "the moved entry kept its original expiry";

  // With nothing to move, stale answers about the target go all the same.
  cache_.putNegative("/new");
  cache_.putAttr("/new2", File(8));
  cache_.renameTree("/old", "/new");
  cache_.renameTree("/old", "/new2");
  EXPECT_EQ(probe("/new"), -2);
  EXPECT_EQ(probe("/new2"), -2);
}

TEST_F(MetaCacheTest, KeysAreCaseSensitive) {
  cache_.putAttr("/A.txt", File(1));
  cache_.putAttr("/a.txt", File(2));
  EXPECT_EQ(probe("/A.txt"), 1);
  EXPECT_EQ(probe("/a.txt"), 2);
  cache_.invalidate("/a.txt");
  EXPECT_EQ(probe("/A.txt"), 1);
}

// A server answer describes the server when the question went out: a change
// the drive made meanwhile to the same name (or a folder above it, or, for a
// listing, a name in the folder) makes it too old to keep.
TEST_F(MetaCacheTest, AnswersOvertakenByTheDrivesOwnChangesAreNotKept) {
  struct Case {
    const char* change;
    std::function<void(MetaCache&)> make;
    bool attrKept;     // the answer about /d/f
    bool listingKept;  // the answer about /d
  } cases[] = {
      {"none", [](MetaCache&) {}, true, true},
      {"an upload of the file ended", [](MetaCache& c) { c.putAttr("/d/f", File(9)); }, false, false},
      {"the file was written", [](MetaCache& c) { c.updateLocal("/d/f", 9, Timestamp()); }, false, false},
      {"the file was deleted", [](MetaCache& c) { c.invalidate("/d/f"); }, false, false},
      {"a file was renamed onto it", [](MetaCache& c) { c.renameTree("/d/g", "/d/f"); }, false, false},
      {"its folder was renamed away", [](MetaCache& c) { c.renameTree("/d", "/e"); }, false, false},
      {"everything was forgotten", [](MetaCache& c) { c.clear(); }, false, false},
      {"another file of the folder changed", [](MetaCache& c) { c.putAttr("/d/g", File(9)); }, true, false},
      {"a file elsewhere changed", [](MetaCache& c) { c.putAttr("/x/f", File(9)); }, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.change);
    cache_.clear();
    MetaCache::Question asked = cache_.ask();
    c.make(cache_);
    EXPECT_EQ(cache_.answerAttr(asked, "/d/f", File(3)), c.attrKept);
    EXPECT_EQ(cache_.answerListing(asked, "/d", {{"f", File(3)}}), c.listingKept);
    EXPECT_EQ(cache_.changedSince(asked, "/d/f", false), !c.attrKept);
    // A question asked after the change may keep its answer.
    MetaCache::Question later = cache_.ask();
    EXPECT_TRUE(cache_.answerAttr(later, "/d/f", File(4)));
    EXPECT_EQ(probe("/d/f"), 4);
  }
  // Negative answers follow the same rule.
  MetaCache::Question asked = cache_.ask();
  cache_.putAttrAndEntry("/n", File(0));
  EXPECT_FALSE(cache_.answerNegative(asked, "/n"));
  EXPECT_EQ(probe("/n"), 0);
}


std::shared_ptr<DirListing> Files(size_t count, const std::string& prefix) {
  auto listing = std::make_shared<DirListing>();
  for (size_t i = 0; i < count; ++i) listing->add(prefix + "-" + std::to_string(i) + "-quarterly.txt", File(i));
  return listing;
}

// Listings count against one budget in all and another for one folder: past
// the first the oldest go, with the attributes they held; one past the
// second is taken but not kept, and the folder's older listing goes.
TEST(MetaCacheLimitsTest, ListingsPastTheBudgetDropTheOldestFirst) {
  test::ScopedTestClock clock;
  const uint64_t one = Files(1000, "f")->bytes();
  MetaCache cache(10000, 10000, 2000, false, {.listingBytes = 3 * one + one / 2, .folderBytes = 2 * one});
  for (const char* folder : {"/1", "/2", "/3", "/4"}) {
    MetaCache::Question q = cache.ask();
    ASSERT_TRUE(cache.answerListing(q, folder, Files(1000, "f")));
  }
  std::shared_ptr<const DirListing> held;
  EXPECT_FALSE(cache.getListing("/1", &held)) << "the oldest went";
  EXPECT_FALSE(cache.getAttr("/1/f-5-quarterly.txt", nullptr, nullptr)) << "with its entries";
  for (const char* folder : {"/2", "/3", "/4"}) EXPECT_TRUE(cache.getListing(folder, &held)) << folder;
  EXPECT_LE(cache.listingBytes(), 3 * one + one / 2);

  MetaCache::Question q = cache.ask();
  EXPECT_TRUE(cache.answerListing(q, "/3", Files(3000, "g"))) << "taken, though not kept";
  EXPECT_FALSE(cache.getListing("/3", &held)) << "no older listing stands in for it";
  EXPECT_FALSE(cache.getAttr("/3/f-5-quarterly.txt", nullptr, nullptr));
  EXPECT_TRUE(cache.getListing("/2", &held));
  EXPECT_TRUE(cache.getListing("/4", &held));

  // Growing a listing by local creates counts too, and never drops that listing.
  for (int i = 0; i < 2000; ++i) cache.putAttrAndEntry("/4/new-" + std::to_string(i), File(1));
  EXPECT_TRUE(cache.getListing("/4", &held));
  EXPECT_EQ(held->count(), 3000u);
  EXPECT_FALSE(cache.getListing("/2", &held));
  EXPECT_LE(cache.listingBytes(), 3 * one + one / 2);
}

// Attribute entries of their own are bounded by count: expired ones go
// first, then the oldest. A dropped entry never lets an older listing
// answer for its path.
TEST(MetaCacheLimitsTest, AttributeEntriesAreBoundedAndNoOlderAnswerReturns) {
  test::ScopedTestClock clock;
  MetaCache cache(10000, 10000, 2000, false, {.maxAttrs = 100});
  cache.putListing("/d", {{"x", File(5)}, {"y", File(6)}});
  cache.putNegative("/d/x");
  cache.updateLocal("/d/y", 60, Timestamp{});
  clock.advance(3000);  // the negative answer has expired, the listing not
  for (int i = 0; i < 150; ++i) cache.putAttr("/a/" + std::to_string(i), File(i));
  RemoteAttr attr;
  bool negative = false;
  EXPECT_FALSE(cache.getAttr("/d/x", &attr, &negative)) << "the listing's older size must not come back";
  EXPECT_FALSE(cache.getAttr("/d/y", &attr, &negative));
  EXPECT_TRUE(cache.getAttr("/a/149", &attr, &negative));
  EXPECT_EQ(attr.size, 149u);
  EXPECT_FALSE(cache.getAttr("/a/0", &attr, &negative)) << "the oldest went";
  int kept = 0;
  for (int i = 0; i < 150; ++i) kept += cache.getAttr("/a/" + std::to_string(i), nullptr, nullptr) ? 1 : 0;
  EXPECT_LE(kept, 100);
  EXPECT_GE(kept, 50);
}

// Whoever holds a listing holds what it was when handed out: the cache
// changes a copy.
TEST(MetaCacheLimitsTest, SharedListingsNeverChange) {
  test::ScopedTestClock clock;
  MetaCache cache(10000, 10000, 2000, false);
  cache.putListing("/d", {{"a", File(1)}, {"b", File(2)}});
  std::shared_ptr<const DirListing> before;
  ASSERT_TRUE(cache.getListing("/d", &before));
  cache.putAttrAndEntry("/d/c", File(3));
  cache.updateLocal("/d/a", 10, Timestamp{});
  std::shared_ptr<const DirListing> after;
  ASSERT_TRUE(cache.getListing("/d", &after));
  EXPECT_EQ(before->count(), 2u);
  EXPECT_EQ(before->attr(0).size, 1u);
  EXPECT_EQ(after->count(), 3u);
  EXPECT_EQ(after->attr(0).size, 10u);
  cache.invalidate("/d/b");
  EXPECT_NE(after->find("b"), DirListing::kNone);
  MetaSeen seen = cache.seen();
  ASSERT_EQ(seen.unlisted.size(), 1u);
  cache.putAttrAndEntry("/d/b", File(20));
  cache.invalidate("/d/a");
  EXPECT_NE(seen.unlisted[0].second->find("a"), DirListing::kNone) << "a snapshot being written stays whole";
}

// A reader that lets go of a listing has read it before the cache changes
// it in place (under TSan a missed ordering is a reported race).
TEST(MetaCacheLimitsTest, AListingLetGoOfIsChangedOnlyAfterItsReaderIsDone) {
  test::ScopedTestClock clock;
  MetaCache cache(10000, 10000, 2000, false);
  cache.putListing("/d", {{"a", File(1)}});
  std::atomic<bool> done{false};
  size_t read = 0;
  std::thread reader([&] {
    while (!done.load()) {
      std::shared_ptr<const DirListing> held;
      if (!cache.getListing("/d", &held)) continue;
      for (size_t i = 0; i < held->size(); ++i) read += held->name(i).size();
    }
  });
  for (int i = 0; i < 2000; ++i) cache.putAttrAndEntry("/d/f" + std::to_string(i), File(i));
  done = true;
  reader.join();
  std::shared_ptr<const DirListing> last;
  ASSERT_TRUE(cache.getListing("/d", &last));
  EXPECT_EQ(last->count(), 2001u);
  EXPECT_GT(read, 0u);
}

// A listing costs its packed entries once: storing it and answering from it
// makes no object per entry.
TEST(MetaCacheLimitsTest, AListingIsHeldOnceAndPacked) {
  test::ScopedTestClock clock;
  constexpr size_t kEntries = 100000;
  MetaCache cache(10000, 10000, 2000, false);
  std::shared_ptr<DirListing> listing = Files(kEntries, "report");
  const uint64_t packed = listing->bytes();
  EXPECT_LT(packed / kEntries, 160u) << "bytes an entry";
  test::HeapPeak heap;
  MetaCache::Question q = cache.ask();
  ASSERT_TRUE(cache.answerListing(q, "/big", std::move(listing)));
  for (size_t i = 0; i < kEntries; i += 97) {
    RemoteAttr attr;
    ASSERT_TRUE(cache.getAttr("/big/report-" + std::to_string(i) + "-quarterly.txt", &attr, nullptr));
    ASSERT_EQ(attr.size, i);
  }
  std::shared_ptr<const DirListing> held;
  ASSERT_TRUE(cache.getListing("/big", &held));
  MetaSeen seen = cache.seen();
  EXPECT_LT(heap.peak(), packed / 10) << "the cache copied the listing or made entries of its own";
}

}  // namespace
}  // namespace tarn
