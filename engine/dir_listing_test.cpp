#include "engine/dir_listing.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace tarn {
namespace {

RemoteAttr Attr(uint64_t size, std::string etag) {
  RemoteAttr attr;
  attr.size = size;
  attr.etag = std::move(etag);
  return attr;
}

std::string Name(size_t i) { return "report-" + std::to_string(i) + "-quarterly.txt"; }

TEST(DirListing, EveryFieldComesBackExactly) {
  RemoteAttr a;
  a.type = RemoteAttr::kDirectory;
  a.size = UINT64_MAX;
  a.mtime = Timestamp{1765000000, 123456700};
  a.ctime = Timestamp{-5, 0};
  a.atime = Timestamp{INT64_MAX, 999999900};
  a.mode = 0755;
  a.readOnly = true;
  a.etag = std::string("tag\0with nul", 12);
  a.fileId = 0xfedcba9876543210ull;
  DirListing listing;
  ASSERT_TRUE(listing.add(std::string_view("n\0ul", 4), a));
  ASSERT_TRUE(listing.add("plain", RemoteAttr()));
  auto fields = [](const RemoteAttr& x) {
    return std::tie(x.type, x.size, x.mtime, x.ctime, x.atime, x.mode, x.readOnly, x.etag, x.fileId);
  };
  EXPECT_TRUE(fields(listing.attr(0)) == fields(a));
  EXPECT_EQ(listing.name(0), std::string_view("n\0ul", 4));
  EXPECT_TRUE(listing.isDir(0));
  EXPECT_STREQ(listing.nameText(1), "plain");
  EXPECT_FALSE(listing.attr(1).readOnly);
  EXPECT_EQ(listing.attr(1).etag, "");
}

// Names are found through every growth of the index, a name taken twice
// keeps its first entry, and removed entries are skipped everywhere but
// keep their place.
TEST(DirListing, NamesAreFoundAcrossGrowthRemovalAndReuse) {
  constexpr size_t kEntries = 5000;
  DirListing listing;
  for (size_t i = 0; i < kEntries; ++i) ASSERT_TRUE(listing.add(Name(i), Attr(i, "e" + std::to_string(i))));
  EXPECT_FALSE(listing.add(Name(7), Attr(99, "other")));
  for (size_t i = 0; i < kEntries; i += 499) {
    ASSERT_EQ(listing.find(Name(i)), i);
    EXPECT_EQ(listing.attr(i).size, i);
  }
  EXPECT_EQ(listing.find("report-7-quarterly"), DirListing::kNone) << "a prefix is another name";
  EXPECT_EQ(listing.attr(7).size, 7u);

  listing.remove(3);
  listing.remove(3);
  EXPECT_EQ(listing.find(Name(3)), DirListing::kNone);
  EXPECT_EQ(listing.size(), kEntries);
  EXPECT_EQ(listing.count(), kEntries - 1);
  EXPECT_EQ(listing.entries().size(), kEntries - 1);
  EXPECT_EQ(listing.entries()[3].name, Name(4));
  ASSERT_TRUE(listing.add(Name(3), Attr(33, "back")));
  EXPECT_EQ(listing.find(Name(3)), kEntries);
  EXPECT_EQ(listing.attr(listing.find(Name(3))).etag, "back");

  const DirListing copy(listing.entries());
  EXPECT_EQ(copy.size(), kEntries);
  EXPECT_EQ(copy.find(Name(3)), kEntries - 1) << "built anew, in the order listed";
}

TEST(DirListing, ChangesReachOnlyTheirEntry) {
  DirListing listing(std::vector<DirEntry>{{"a", Attr(1, "1234")}, {"b", Attr(2, "xy")}, {"c", Attr(3, "")}});
  struct Change {
    const char* what;
    std::string etag;
  } changes[] = {{"a shorter tag", "12"}, {"a longer tag", "a-much-longer-tag-than-before"}, {"no tag", ""}};
  for (const Change& c : changes) {
    SCOPED_TRACE(c.what);
    listing.setAttr(1, Attr(20, c.etag));
    EXPECT_EQ(listing.attr(1).etag, c.etag);
    EXPECT_EQ(listing.attr(1).size, 20u);
    EXPECT_EQ(listing.name(1), "b");
    EXPECT_EQ(listing.find("b"), 1u);
    EXPECT_EQ(listing.attr(0).etag, "1234");
    EXPECT_EQ(listing.name(2), "c");
  }
  listing.setSizeAndTime(2, 30, Timestamp{5, 6});
  EXPECT_EQ(listing.attr(2).size, 30u);
  EXPECT_EQ(listing.attr(2).mtime, (Timestamp{5, 6}));
  EXPECT_EQ(listing.attr(0).size, 1u);
}

}  // namespace
}  // namespace tarn
