#include "backup/repo/folder_listing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarn::backup {
namespace {

BlobId Id(uint8_t fill) {
  BlobId id;
  id.bytes.fill(fill);
  return id;
}

const std::string kHexAB(64, 'a');  // hex of Id(0xAA)
const std::string kHex01 = [] {
  std::string s;
  for (int i = 0; i < 32; ++i) s += "01";
  return s;
}();  // hex of Id(0x01)

bool SameEntry(const ListingEntry& a, const ListingEntry& b) {
  return a.name == b.name && a.isDir == b.isDir && a.size == b.size && a.mtime == b.mtime &&
         a.attributes == b.attributes && a.content == b.content && a.tree == b.tree && a.src == b.src &&
         a.hasMode == b.hasMode && a.mode == b.mode && a.hasOwner == b.hasOwner && a.uid == b.uid && a.gid == b.gid;
}

TEST(FolderListingTest, WritesTheExactText) {
  ListingEntry file;
  file.name = "a\"b\\c\td\x01 é";
  file.size = 1234;
  file.mtime = 133000000000000000ull;
  file.attributes = 32;
  file.content = {Id(0xAA), Id(0x01)};
  ListingEntry dir;
  dir.name = "sub";
  dir.isDir = true;
  dir.tree = Id(0xAA);
  dir.attributes = 16;
  dir.src = "C:\\Users\\me";
  ListingEntry empty;
  empty.name = "empty";

  const std::string expected =
      "{\"v\":1,\"e\":["
      "{\"n\":\"a\\\"b\\\\c\\td\\u0001 é\",\"s\":1234,\"c\":\"" + kHexAB + kHex01 +
      "\",\"m\":\"133000000000000000\",\"a\":32},"
      "{\"n\":\"sub\",\"d\":1,\"t\":\"" + kHexAB + "\",\"m\":\"0\",\"a\":16,\"src\":\"C:\\\\Users\\\\me\"},"
      "{\"n\":\"empty\",\"s\":0,\"c\":\"\",\"m\":\"0\",\"a\":0}"
      "]}";
  EXPECT_EQ(WriteFolderListing({file, dir, empty}), expected);
  EXPECT_EQ(WriteFolderListing({}), "{\"v\":1,\"e\":[]}");
}

TEST(FolderListingTest, EqualFoldersGiveEqualBytesAndReadBack) {
  std::vector<ListingEntry> entries(3);
  entries[0].name = "z\x1f\b\f\n\r";
  entries[0].size = 0;
  entries[1].name = "big";
  entries[1].size = 1ull << 60;
  entries[1].mtime = (1ull << 53) + 1;  // beyond a double's exact integers
  entries[1].attributes = 0xFFFFFFFFu;
  for (int i = 0; i < 50; ++i) entries[1].content.push_back(Id(uint8_t(i)));
  entries[2].name = "Ordner";
  entries[2].isDir = true;
  entries[2].tree = Id(7);
  entries[2].src = "D:\\data";
  std::string once = WriteFolderListing(entries), twice = WriteFolderListing(entries);
  EXPECT_EQ(once, twice);

  std::vector<ListingEntry> back;
  ASSERT_TRUE(ParseFolderListing(once, back));
  ASSERT_EQ(back.size(), entries.size());
  for (size_t i = 0; i < back.size(); ++i) EXPECT_TRUE(SameEntry(back[i], entries[i])) << i;
  EXPECT_EQ(WriteFolderListing(back), once);

  ASSERT_TRUE(ParseFolderListing("{\"v\":1,\"e\":[]}", back));
  EXPECT_TRUE(back.empty());
}

TEST(FolderListingTest, ReaderIsTolerantOfFormAndVersion) {
  const std::string tree(64, 'B');
  const std::string text =
      "{ \"e\" : [ {\"a\": 16.0, \"m\": 42, \"t\": \"" + tree + "\", \"d\": true, \"n\": \"x\", \"extra\": [1]},\n"
      "  {\"n\": \"f\", \"s\": \"77\", \"c\": \"\", \"x\": null} ],\n \"v\": 7, \"more\": {} }";
  std::vector<ListingEntry> out;
  ASSERT_TRUE(ParseFolderListing(text, out));
  ASSERT_EQ(out.size(), 2u);
  EXPECT_TRUE(out[0].isDir);
  EXPECT_EQ(out[0].mtime, 42u);
  EXPECT_EQ(out[0].attributes, 16u);
  EXPECT_EQ(BlobIdToHex(out[0].tree), std::string(64, 'b'));
  EXPECT_TRUE(out[0].src.empty());
  EXPECT_FALSE(out[1].isDir);
  EXPECT_EQ(out[1].size, 77u);
  EXPECT_EQ(out[1].mtime, 0u);
  EXPECT_TRUE(out[1].content.empty());
}

TEST(FolderListingTest, DamagedListingsAreRefused) {
  const std::string id(64, 'c');
  struct Case {
    const char* what;
    std::string text;
    size_t keptBefore;
  };
  const Case cases[] = {
      {"not json", "{\"v\":1,\"e\":[", 0},
      {"no entries", "{\"v\":1}", 0},
      {"entries not an array", "{\"v\":1,\"e\":{}}", 0},
      {"content of 65 digits", "{\"e\":[{\"n\":\"a\",\"s\":1,\"c\":\"" + id + "0\"}]}", 0},
      {"content not hex", "{\"e\":[{\"n\":\"a\",\"s\":1,\"c\":\"" + std::string(64, 'z') + "\"}]}", 0},
      {"tree of 63 digits", "{\"e\":[{\"n\":\"ok\",\"s\":0,\"c\":\"\"},{\"n\":\"d\",\"d\":1,\"t\":\"" +
                                 id.substr(1) + "\"}]}", 1},
      {"folder without tree", "{\"e\":[{\"n\":\"d\",\"d\":1}]}", 0},
      {"negative size", "{\"e\":[{\"n\":\"a\",\"s\":-1,\"c\":\"\"}]}", 0},
      {"size beyond 64 bits", "{\"e\":[{\"n\":\"a\",\"s\":1e30,\"c\":\"\"}]}", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<ListingEntry> out(5);
    EXPECT_FALSE(ParseFolderListing(c.text, out));
    EXPECT_EQ(out.size(), c.keptBefore);
  }
}

TEST(FolderListingTest, ModesAndOwnersAreKeptOnlyWhenRecordedWhole) {
  ListingEntry file;
  file.name = "key";
  file.hasMode = true;
  file.mode = 0600;
  file.hasOwner = true;
  file.uid = 4294967295u;
  file.gid = 0;
  ListingEntry dir;
  dir.name = "home";
  dir.isDir = true;
  dir.tree = Id(0xAA);
  dir.src = "/home";
  dir.hasMode = true;
  dir.mode = 01777;
  const std::string text = WriteFolderListing({file, dir});
  EXPECT_EQ(text, "{\"v\":1,\"e\":["
                  "{\"n\":\"key\",\"s\":0,\"c\":\"\",\"m\":\"0\",\"a\":0,\"p\":384,\"u\":4294967295,\"g\":0},"
                  "{\"n\":\"home\",\"d\":1,\"t\":\"" + kHexAB + "\",\"m\":\"0\",\"a\":0,\"p\":1023,\"src\":\"/home\"}]}");
  std::vector<ListingEntry> back;
  ASSERT_TRUE(ParseFolderListing(text, back));
  ASSERT_EQ(back.size(), 2u);
  EXPECT_TRUE(SameEntry(back[0], file));
  EXPECT_TRUE(SameEntry(back[1], dir));

  // A value that is not what a writer makes counts as not recorded, so that
  // a restore gives owner-only access rather than guess.
  struct Case {
    const char* members;
    bool hasMode;
    uint32_t mode;
    bool hasOwner;
    uint32_t uid, gid;
  } cases[] = {
      {"", false, 0, false, 0, 0},
      {",\"p\":420,\"u\":1000,\"g\":100", true, 0644, true, 1000, 100},
      {",\"p\":4095", true, 07777, false, 0, 0},
      {",\"p\":4096", false, 0, false, 0, 0},
      {",\"p\":-1", false, 0, false, 0, 0},
      {",\"p\":420.5", false, 0, false, 0, 0},
      {",\"p\":\"420\"", false, 0, false, 0, 0},
      {",\"u\":1000", false, 0, false, 0, 0},
      {",\"u\":4294967296,\"g\":1", false, 0, false, 0, 0},
      {",\"u\":1,\"g\":null", false, 0, false, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.members);
    std::vector<ListingEntry> out;
    ASSERT_TRUE(ParseFolderListing(std::string("{\"e\":[{\"n\":\"f\",\"s\":1,\"c\":\"\"") + c.members + "}]}", out));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].hasMode, c.hasMode);
    EXPECT_EQ(out[0].mode, c.mode);
    EXPECT_EQ(out[0].hasOwner, c.hasOwner);
    EXPECT_EQ(out[0].uid, c.uid);
    EXPECT_EQ(out[0].gid, c.gid);
  }
}

TEST(FolderListingTest, NumbersReadTheWayTheyAreStored) {
  struct Case {
    std::string m, a, s;
    uint64_t mtime, size;
    uint32_t attributes;
  };
  const Case cases[] = {
      {"\"18446744073709551615\"", "4294967297", "0", 18446744073709551615ull, 0, 1},  // low 32 bits kept
      {"\"12abc\"", "0", "\"9007199254740993\"", 0, 9007199254740993ull, 0},
      {"\"\"", "-1", "12.9", 0, 12, 0xFFFFFFFFu},
      {"\"18446744073709551616\"", "16", "1e3", 0, 1000, 16},  // overflowing mtime reads 0
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.m);
    std::string text = "{\"e\":[{\"n\":\"f\",\"s\":" + c.s + ",\"c\":\"\",\"m\":" + c.m + ",\"a\":" + c.a + "}]}";
    std::vector<ListingEntry> out;
    ASSERT_TRUE(ParseFolderListing(text, out));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].mtime, c.mtime);
    EXPECT_EQ(out[0].size, c.size);
    EXPECT_EQ(out[0].attributes, c.attributes);
  }
}

}  // namespace
}  // namespace tarn::backup
