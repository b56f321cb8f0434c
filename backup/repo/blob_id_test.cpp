#include "backup/repo/blob_id.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <unordered_set>

#include "foundation/codec.h"

namespace tarn::backup {
namespace {

TEST(BlobIdTest, IdIsHmacSha256UnderTheIdKey) {
  // RFC 4231 test case 2.
  const std::string key = "Jefe", data = "what do ya want for nothing?";
  BlobId id = ComputeBlobId(std::vector<uint8_t>(key.begin(), key.end()), data.data(), data.size());
  EXPECT_EQ(BlobIdToHex(id), "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");

  // Another key gives another id for the same bytes.
  std::vector<uint8_t> k1(kIdKeySize, 1), k2(kIdKeySize, 2);
  EXPECT_EQ(ComputeBlobId(k1, data.data(), data.size()), ComputeBlobId(k1, data.data(), data.size()));
  EXPECT_NE(ComputeBlobId(k1, data.data(), data.size()), ComputeBlobId(k2, data.data(), data.size()));
}

TEST(BlobIdTest, ObjectHashIsPlainSha256) {
  const struct {
    std::string data;
    const char* hex;
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
  };
  for (const auto& c : cases) EXPECT_EQ(vx::HexEncode(ObjectHash(c.data.data(), c.data.size())), c.hex);
}

TEST(BlobIdTest, HexFormRoundTripsAndParsingIsStrict) {
  BlobId id;
  for (size_t i = 0; i < kBlobIdSize; ++i) id.bytes[i] = uint8_t(0xF0 - i * 3);
  const std::string hex = BlobIdToHex(id);
  ASSERT_EQ(hex.size(), 64u);
  EXPECT_EQ(hex.find_first_not_of("0123456789abcdef"), std::string::npos);

  struct Case {
    std::string text;
    bool ok;
  };
  std::string upper = hex;
  for (char& c : upper) c = char(std::toupper(static_cast<unsigned char>(c)));
  std::string spaced = hex.substr(0, 62) + "  ";
  std::string colons = hex.substr(0, 60) + "::" + hex.substr(60, 2);
  std::string nonHex = hex.substr(0, 63) + "g";
  const Case cases[] = {
      {hex, true},        {upper, true},      {hex.substr(0, 63), false}, {hex + "0", false},
      {spaced, false},    {colons, false},    {nonHex, false},            {"", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    BlobId out;
    out.bytes.fill(0x55);
    EXPECT_EQ(ParseBlobId(c.text, out), c.ok);
    if (c.ok) {
      EXPECT_EQ(out, id);
    } else {
      EXPECT_TRUE(std::all_of(out.bytes.begin(), out.bytes.end(), [](uint8_t b) { return b == 0x55; }));
    }
  }
}

TEST(BlobIdTest, HashIsTheFirstEightBytesLittleEndian) {
  BlobId id;
  id.bytes[0] = 1;
  EXPECT_EQ(BlobIdHash()(id), 1u);
  id.bytes[0] = 0;
  id.bytes[7] = 0x80;
  id.bytes[8] = 0xFF;  // beyond the first eight: ignored
  EXPECT_EQ(BlobIdHash()(id), size_t(0x8000000000000000ull));

  std::unordered_set<BlobId, BlobIdHash> set;
  std::vector<uint8_t> key(kIdKeySize, 9);
  for (int i = 0; i < 100; ++i) set.insert(ComputeBlobId(key, &i, sizeof i));
  set.insert(ComputeBlobId(key, "x", 1));
  set.insert(ComputeBlobId(key, "x", 1));
  EXPECT_EQ(set.size(), 101u);
}

TEST(BlobIdTest, ZeroIdIsRecognised) {
  BlobId id;
  EXPECT_TRUE(id.isZero());
  id.bytes[31] = 1;
  EXPECT_FALSE(id.isZero());
}

}  // namespace
}  // namespace tarn::backup
