#include "backends/ssh_nfs/xdr.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace tarn {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(XdrTest, EncodesBigEndianWithPadding) {
  struct Case {
    const char* name;
    std::function<void(XdrWriter&)> put;
    Bytes expected;
  } cases[] = {
      {"u32", [](XdrWriter& w) { w.putU32(0x01020304); }, {1, 2, 3, 4}},
      {"u64", [](XdrWriter& w) { w.putU64(0x0102030405060708ull); }, {1, 2, 3, 4, 5, 6, 7, 8}},
      {"bool", [](XdrWriter& w) { w.putBool(true); }, {0, 0, 0, 1}},
      {"empty opaque", [](XdrWriter& w) { w.putOpaque(nullptr, 0); }, {0, 0, 0, 0}},
      {"string of 1", [](XdrWriter& w) { w.putString("a"); }, {0, 0, 0, 1, 'a', 0, 0, 0}},
      {"string of 4", [](XdrWriter& w) { w.putString("abcd"); }, {0, 0, 0, 4, 'a', 'b', 'c', 'd'}},
      {"string of 5", [](XdrWriter& w) { w.putString("abcde"); },
       {0, 0, 0, 5, 'a', 'b', 'c', 'd', 'e', 0, 0, 0}},
      {"fixed of 3", [](XdrWriter& w) { const uint8_t b[3] = {9, 8, 7}; w.putFixed(b, 3); }, {9, 8, 7, 0}},
  };
  for (const Case& c : cases) {
    XdrWriter w;
    c.put(w);
    EXPECT_EQ(w.bytes(), c.expected) << c.name;
  }
}

TEST(XdrTest, RoundTripsEveryType) {
  XdrWriter w;
  w.putU32(0xFFFFFFFF);
  w.putU64(0x8000000000000001ull);
  w.putBool(false);
  for (size_t n = 0; n <= 9; ++n) w.putString(std::string(n, static_cast<char>('a' + n)));
  const uint8_t fixed[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  w.putFixed(fixed, 8);

  XdrReader r(w.bytes().data(), w.size());
  EXPECT_EQ(r.getU32(), 0xFFFFFFFFu);
  EXPECT_EQ(r.getU64(), 0x8000000000000001ull);
  EXPECT_FALSE(r.getBool());
  for (size_t n = 0; n <= 9; ++n) EXPECT_EQ(r.getString(9), std::string(n, static_cast<char>('a' + n)));
  uint8_t back[8] = {};
  EXPECT_TRUE(r.getFixed(back, 8));
  EXPECT_EQ(0, std::memcmp(back, fixed, 8));
  EXPECT_TRUE(r.ok());
  EXPECT_EQ(r.remaining(), 0u);
}

TEST(XdrTest, MalformedInputFailsAndStaysFailed) {
  auto words = [](std::initializer_list<uint32_t> ws) {
    XdrWriter w;
    for (uint32_t v : ws) w.putU32(v);
    return w.bytes();
  };
  struct Case {
    const char* name;
    Bytes input;
    std::function<void(XdrReader&)> read;
  } cases[] = {
      {"u32 from 3 bytes", {1, 2, 3}, [](XdrReader& r) { r.getU32(); }},
      {"u64 from 4 bytes", {1, 2, 3, 4}, [](XdrReader& r) { r.getU64(); }},
      {"bool of 2", words({2}), [](XdrReader& r) { r.getBool(); }},
      {"length beyond the message", words({100, 0}), [](XdrReader& r) { r.getOpaque(1000); }},
      {"length beyond the cap", words({8, 0, 0}), [](XdrReader& r) { r.getString(7); }},
      {"huge length", words({0xFFFFFFFF}), [](XdrReader& r) { r.getOpaque(SIZE_MAX); }},
      {"missing padding", {0, 0, 0, 1, 'a'}, [](XdrReader& r) { r.getString(10); }},
      {"fixed past the end", {1, 2}, [](XdrReader& r) {
         uint8_t b[8];
         r.getFixed(b, 8);
       }},
      {"skip past the end", {1, 2}, [](XdrReader& r) { r.skip(3); }},
  };
  for (const Case& c : cases) {
    XdrReader r(c.input.data(), c.input.size());
    c.read(r);
    EXPECT_FALSE(r.ok()) << c.name;
    // After a failure every read yields nothing, even where bytes would do.
    EXPECT_EQ(r.getU32(), 0u) << c.name;
    EXPECT_EQ(r.remaining(), 0u) << c.name;
    EXPECT_FALSE(r.ok()) << c.name;
  }
}

TEST(XdrTest, OpaqueViewPointsIntoTheMessage) {
  XdrWriter w;
  w.putString("xyz");
  w.putU32(5);
  XdrReader r(w.bytes().data(), w.size());
  const uint8_t* data = nullptr;
  size_t length = 0;
  ASSERT_TRUE(r.getOpaqueView(3, data, length));
  EXPECT_EQ(length, 3u);
  EXPECT_EQ(data, w.bytes().data() + 4);
  EXPECT_EQ(r.getU32(), 5u) << "padding skipped";
}

}  // namespace
}  // namespace tarn
