#include "engine/meta_seen_file.h"

#include <gtest/gtest.h>

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
  seen.listings.emplace_back("/dir", std::vector<DirEntry>{{"\"odd\"\nname", Attr(RemoteAttr::kFile, 7, "x")}});
  seen.listings.emplace_back("/empty", std::vector<DirEntry>{});
  MetaSeen back;
  ASSERT_TRUE(DecodeMetaSeen(EncodeMetaSeen(seen), back));
  ASSERT_EQ(back.attrs.size(), 2u);
  ASSERT_EQ(back.listings.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(back.attrs[i].first, seen.attrs[i].first);
    ExpectSame(back.attrs[i].second, seen.attrs[i].second);
    EXPECT_EQ(back.listings[i].first, seen.listings[i].first);
    ASSERT_EQ(back.listings[i].second.size(), seen.listings[i].second.size());
  }
  EXPECT_EQ(back.listings[0].second[0].name, "\"odd\"\nname");
  ExpectSame(back.listings[0].second[0].attr, seen.listings[0].second[0].attr);
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

}  // namespace
}  // namespace tarn
