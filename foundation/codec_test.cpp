#include "foundation/codec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vx {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Of(std::string_view s) { return Bytes(s.begin(), s.end()); }

TEST(Hex, EncodeUsesTwoDigitsPerByteAndReadsBack) {
  Bytes data = {0x00, 0xAB, 0x0F, 0xF0};
  EXPECT_EQ(HexEncode(data), "00ab0ff0");
  EXPECT_EQ(HexEncode(data, true), "00AB0FF0");
  EXPECT_EQ(HexEncode(data.data(), 2, false), "00ab");
  EXPECT_EQ(HexEncode(nullptr, 0), "");
  Bytes all(256);
  for (int i = 0; i < 256; ++i) all[i] = static_cast<uint8_t>(i);
  for (bool upper : {false, true}) {
    Bytes back;
    ASSERT_TRUE(HexDecode(HexEncode(all, upper), back));
    EXPECT_EQ(back, all);
  }
}

TEST(Hex, DecodeSkipsSeparatorsAndRejectsBadText) {
  struct Case {
    const char* text;
    bool ok;
    Bytes bytes;
  } cases[] = {
      {"", true, {}},
      {"00ab", true, {0x00, 0xAB}},
      {"00AbcD", true, {0x00, 0xAB, 0xCD}},
      {"de:ad be\tef\r\n", true, {0xDE, 0xAD, 0xBE, 0xEF}},
      {"a:b", true, {0xAB}},  // separators may split a byte's digits
      {"abc", false, {}},
      {"0g", false, {}},
      {"00-11", false, {}},
      {"  :  ", true, {}},
      {"\xff\xfe", false, {}},
  };
  for (const auto& c : cases) {
    Bytes out = {1, 2, 3};
    EXPECT_EQ(HexDecode(c.text, out), c.ok) << c.text;
    EXPECT_EQ(out, c.bytes) << c.text;
  }
}

TEST(Base64, EncodePadsTheLastGroup) {
  struct Case {
    const char* data;
    const char* text;
  } cases[] = {
      // RFC 4648 test vectors.
      {"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},         {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Base64Encode(Of(c.data)), c.text);
    std::string raw = c.data;
    EXPECT_EQ(Base64Encode(raw.data(), raw.size()), c.text);
  }
  EXPECT_EQ(Base64Encode(Bytes{0xFB, 0xFF}), "+/8=");
}

TEST(Base64, DecodeReadsBothAlphabetsAndStopsAtPadding) {
  struct Case {
    const char* text;
    bool ok;
    const char* data;
  } cases[] = {
      {"", true, ""},
      {"Zm9vYmFy", true, "foobar"},
      {"Zm9v\r\nYmFy", true, "foobar"},
      {" Zm 9v\tYg== ", true, "foob"},
      {"Zg==", true, "f"},
      {"Zg", true, "f"},  // padding is optional
      {"Zm8=garbage*", true, "fo"},
      {"Zm9vY", false, ""},  // one dangling character in the last group
      {"Zm*v", false, ""},
      {"Zm9v\x01", false, ""},
      {"\x80Zm9v", false, ""},
      {"=", true, ""},
  };
  for (const auto& c : cases) {
    Bytes out = {9};
    EXPECT_EQ(Base64Decode(c.text, out), c.ok) << c.text;
    EXPECT_EQ(out, Of(c.data)) << c.text;
  }
  Bytes standard, urlSafe;
  ASSERT_TRUE(Base64Decode("+/8=", standard));
  ASSERT_TRUE(Base64Decode("-_8", urlSafe));
  EXPECT_EQ(standard, (Bytes{0xFB, 0xFF}));
  EXPECT_EQ(urlSafe, standard);
}

TEST(Base64, RoundTripsEveryLengthAndByte) {
  Bytes data;
  for (int n = 0; n < 300; ++n) {
    Bytes back;
    std::string text = Base64Encode(data);
    EXPECT_EQ(text.size(), (data.size() + 2) / 3 * 4);
    ASSERT_TRUE(Base64Decode(text, back)) << n;
    EXPECT_EQ(back, data) << n;
    data.push_back(static_cast<uint8_t>(n * 37 + 11));
  }
}

}  // namespace
}  // namespace vx
