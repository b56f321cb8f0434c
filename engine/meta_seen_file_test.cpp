#include "engine/meta_seen_file.h"

#include <gtest/gtest.h>

#include <memory>

#include "testing/heap_peak.h"
#include "testing/temp_dir.h"

namespace tarn {
namespace {

RemoteAttr Attr(uint32_t type, uint64_t size, const char* etag) {
  RemoteAttr attr;
  attr.type = type;
  attr.size = size;
  attr.mtime = Timestamp{1765000000, 123456700};
  attr.ctime = Timestamp{-5, 0};
  attr.atime = Timestamp{1765000001, 999999900};
  attr.mode = 0644;
  attr.readOnly = true;
  attr.etag = etag;
  attr.fileId = 0xfedcba9876543210ull;  // more bits than a JSON number holds
  return attr;
}

void ExpectSame(const RemoteAttr& a, const RemoteAttr& b) {
  EXPECT_EQ(a.type, b.type);
  EXPECT_EQ(a.size, b.size);
  EXPECT_EQ(a.mtime, b.mtime);
  EXPECT_EQ(a.ctime, b.ctime);
  EXPECT_EQ(a.atime, b.atime);
  EXPECT_EQ(a.mode, b.mode);
  EXPECT_EQ(a.readOnly, b.readOnly);
  EXPECT_EQ(a.etag, b.etag);
  EXPECT_EQ(a.fileId, b.fileId);
}

TEST(MetaSeenFile, EveryFieldComesBackExactly) {
  MetaSeen seen;
  seen.attrs.emplace_back("/dir", Attr(RemoteAttr::kDirectory, 0, ""));
  seen.attrs.emplace_back("/dir/\"odd\"\nname", Attr(RemoteAttr::kFile, UINT64_MAX - 1, "\"e\""));
  seen.listings.emplace_back(
      "/dir", std::make_shared<DirListing>(std::vector<DirEntry>{{"\"odd\"\nname", Attr(RemoteAttr::kFile, 7, "x")}}));
  seen.listings.emplace_back("/empty", std::make_shared<DirListing>());
  MetaSeen back;
  ASSERT_TRUE(DecodeMetaSeen(EncodeMetaSeen(seen), back));
  ASSERT_EQ(back.attrs.size(), 2u);
  ASSERT_EQ(back.listings.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(back.attrs[i].first, seen.attrs[i].first);
    ExpectSame(back.attrs[i].second, seen.attrs[i].second);
    EXPECT_EQ(back.listings[i].first, seen.listings[i].first);
    ASSERT_EQ(back.listings[i].second->size(), seen.listings[i].second->size());
  }
  EXPECT_EQ(back.listings[0].second->name(0), "\"odd\"\nname");
  ExpectSame(back.listings[0].second->attr(0), seen.listings[0].second->attr(0));
}

// A damaged file is a cache miss, never a wrong folder: what is not whole
// is left out, and a listing with one bad entry is left out whole.
TEST(MetaSeenFile, DamagedEntriesAreLeftOut) {
  const std::string good = "[0,\"1\",2,3,4,5,6,7,8,false,\"e\",\"9\"]";
  struct Case {
    const char* what;
    std::string text;
    bool decodes;
    size_t attrs, listings;
  } cases[] = {
      {"not JSON", "{\"attrs\":[", false, 0, 0},
      {"not an object", "[]", false, 0, 0},
      {"empty", "{}", true, 0, 0},
      {"relative path", "{\"attrs\":[[\"dir\"," + good + "]]}", true, 0, 0},
      {"short attribute", "{\"attrs\":[[\"/a\",[0,1]]]}", true, 0, 0},
      {"negative size", "{\"attrs\":[[\"/a\",[0,\"-1\",2,3,4,5,6,7,8,false,\"e\",\"9\"]]]}", true, 0, 0},
      {"size past 64 bits", "{\"attrs\":[[\"/a\",[0,\"18446744073709551616\",2,3,4,5,6,7,8,false,\"e\",\"9\"]]]}", true, 0, 0},
      {"nanoseconds past a second", "{\"attrs\":[[\"/a\",[0,\"1\",2,1000000000,4,5,6,7,8,false,\"e\",\"9\"]]]}", true, 0, 0},
      {"unknown type", "{\"attrs\":[[\"/a\",[9,\"1\",2,3,4,5,6,7,8,false,\"e\",\"9\"]]]}", true, 0, 0},
      {"good beside bad", "{\"attrs\":[[\"/a\"," + good + "],[\"/b\",7]]}", true, 1, 0},
      {"listing with a bad entry", "{\"listings\":[[\"/d\",[[\"a\"," + good + "],[\"\"," + good + "]]]]}", true, 0, 0},
      {"whole listing", "{\"listings\":[[\"/d\",[[\"a\"," + good + "]]]]}", true, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MetaSeen out;
    out.attrs.emplace_back("/kept", RemoteAttr());
    EXPECT_EQ(DecodeMetaSeen(c.text, out), c.decodes);
    if (!c.decodes) {
      EXPECT_EQ(out.attrs.size(), 1u);  // untouched
      continue;
    }
    EXPECT_EQ(out.attrs.size(), c.attrs);
    EXPECT_EQ(out.listings.size(), c.listings);
  }
}


// One line a value: a damaged line costs its own entry, or the listing it
// belongs to, never the rest of the file.
TEST(MetaSeenFile, DamagedLinesCostOnlyTheirListing) {
  const std::string attr = "[0,\"1\",2,3,4,5,6,7,8,false,\"e\",\"9\"]";
  const std::string head = "{\"metadata\":2}\n";
  const std::string entry = "[\"a\"," + attr + "]\n";
  const std::string nextListing = "[\"l\",\"/next\",1]\n" + entry;
  struct Case {
    const char* what;
    std::string text;
    bool decodes;
    size_t attrs, listings, unlisted;
  } cases[] = {
      {"nothing", "", false, 0, 0, 0},
      {"only the first line", head, true, 0, 0, 0},
      {"a later version's form", "{\"metadata\":3}\n[\"a\",\"/x\"," + attr + "]\n", false, 0, 0, 0},
      {"every kind", head + "[\"a\",\"/x\"," + attr + "]\n[\"l\",\"/d\",1]\n" + entry + "[\"u\",\"/u\",0]\n", true,
       1, 1, 1},
      {"no last line end", head + "[\"l\",\"/d\",1]\n" + entry.substr(0, entry.size() - 1), true, 0, 1, 0},
      {"a relative path", head + "[\"a\",\"x\"," + attr + "]\n", true, 0, 0, 0},
      {"cut short by the next record", head + "[\"l\",\"/d\",2]\n" + entry + nextListing, true, 0, 1, 0},
      {"cut short by the end", head + nextListing + "[\"l\",\"/d\",2]\n" + entry, true, 0, 1, 0},
      {"an entry without a name", head + "[\"l\",\"/d\",2]\n" + entry + "[\"\"," + attr + "]\n" + nextListing, true, 0,
       1, 0},
      {"an entry that is not JSON", head + "[\"l\",\"/d\",1]\n[\"a\",\n" + nextListing, true, 0, 1, 0},
      {"an entry too long to be one", head + "[\"l\",\"/d\",1]\n" + std::string(kMaxMetaSeenLineBytes + 1, ' ') +
                                          "\n" + nextListing,
       true, 0, 1, 0},
      {"an earlier version's document too large to read whole",
       "{\"attrs\":[]" + std::string(kMaxOldMetaSeenBytes, ' ') + "}", false, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MetaSeen out;
    // Fed in pieces that split lines anywhere.
    MetaSeenDecoder decoder;
    const size_t piece = c.text.size() > kMaxMetaSeenLineBytes ? 65537 : 7;
    for (size_t at = 0; at < c.text.size(); at += piece) decoder.feed(std::string_view(c.text).substr(at, piece));
    ASSERT_EQ(decoder.finish(out), c.decodes);
    EXPECT_EQ(out.attrs.size(), c.attrs);
    EXPECT_EQ(out.listings.size(), c.listings);
    EXPECT_EQ(out.unlisted.size(), c.unlisted);
    for (const auto& [path, listing] : out.listings) EXPECT_EQ(listing->count(), 1u) << path;
  }
}

MetaSeen BigSeen(size_t entries) {
  MetaSeen seen;
  auto listing = std::make_shared<DirListing>();
  for (size_t i = 0; i < entries; ++i)
    listing->add("report-" + std::to_string(i) + "-quarterly-figures.txt", Attr(RemoteAttr::kFile, i, "15-6620da9515d36"));
  seen.listings.emplace_back("/big", listing);
  seen.attrs.emplace_back("/big", Attr(RemoteAttr::kDirectory, 0, ""));
  return seen;
}

// The file is written and read a piece at a time: besides the listings
// themselves, neither side holds more than a few pieces.
TEST(MetaSeenFile, WritingAndReadingHoldLittleBesideTheListings) {
  constexpr size_t kEntries = 20000;
  test::TempDir dir;
  const std::string file = dir.file(kMetaSeenFileName);
  constexpr uint64_t kSlack = 4 << 20;
  uint64_t packed = 0;
  {
    const MetaSeen seen = BigSeen(kEntries);
    packed = seen.listings[0].second->bytes();
    test::HeapPeak heap;
    ASSERT_TRUE(WriteMetaSeen(*Env::Default(), file, seen).ok());
    EXPECT_LT(heap.peak(), kSlack);
  }
  MetaSeen back;
  {
    test::HeapPeak heap;
    ASSERT_TRUE(ReadMetaSeen(*Env::Default(), file, back).ok());
    // A listing being built has up to half again its size in slack.
    EXPECT_LT(heap.peak(), packed * 3 / 2 + kSlack);
  }
  ASSERT_EQ(back.listings.size(), 1u);
  ASSERT_EQ(back.listings[0].second->count(), kEntries);
  const size_t last = back.listings[0].second->find("report-19999-quarterly-figures.txt");
  ASSERT_NE(last, DirListing::kNone);
  ExpectSame(back.listings[0].second->attr(last), Attr(RemoteAttr::kFile, 19999, "15-6620da9515d36"));
  ASSERT_EQ(back.attrs.size(), 1u);
  EXPECT_TRUE(back.attrs[0].second.isDir());

  // Beyond the cache's limits nothing is read that the cache would drop.
  MetaSeen limited;
  ASSERT_TRUE(ReadMetaSeen(*Env::Default(), file, limited, {.listingBytes = packed / 2, .maxAttrs = 0}).ok());
  EXPECT_TRUE(limited.listings.empty());
  EXPECT_TRUE(limited.attrs.empty());
}

}  // namespace
}  // namespace tarn
