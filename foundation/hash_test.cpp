#include "foundation/hash.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/codec.h"
#include "foundation/error.h"

namespace vx {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Of(std::string_view s) { return Bytes(s.begin(), s.end()); }
Bytes Repeat(uint8_t b, size_t n) { return Bytes(n, b); }

TEST(Sha256, MatchesStandardDigests) {
  struct Case {
    std::string data;
    const char* hex;
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const auto& c : cases) {
    Bytes data = Of(c.data);
    EXPECT_EQ(HexEncode(Sha256(data)), c.hex);
    EXPECT_EQ(HexEncode(Sha256(c.data.data(), c.data.size())), c.hex);
    EXPECT_EQ(HexEncode(Sha256(std::span<const uint8_t>(data))), c.hex);
  }
  EXPECT_EQ(HexEncode(Sha256(nullptr, 0)), cases[0].hex);
}

TEST(HashData, HashesBothSpansInOrderAndSkipsEmptyOnes) {
  std::string a = "abcdbcdecdefdefgefghfghighij", b = "hijkijkljklmklmnlmnomnopnopq";
  std::string whole = a + b;
  EXPECT_EQ(HashData("SHA256", a.data(), a.size(), b.data(), b.size()), Sha256(whole.data(), whole.size()));
  EXPECT_EQ(HashData("SHA256", nullptr, 5, whole.data(), whole.size()), Sha256(whole.data(), whole.size()));
  EXPECT_EQ(HashData("SHA256", whole.data(), whole.size(), b.data(), 0), Sha256(whole.data(), whole.size()));
  EXPECT_NE(HashData("SHA256", b.data(), b.size(), a.data(), a.size()), Sha256(whole.data(), whole.size()));
}

TEST(HashData, KnowsTheLargerDigestsAndRefusesOthers) {
  EXPECT_EQ(HexEncode(HashData("SHA384", "abc", 3, nullptr, 0)),
            "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baeca134c825a7");
  EXPECT_EQ(HexEncode(HashData("SHA512", "abc", 3, nullptr, 0)),
            "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3feebbd"
            "454d4423643ce80e2a9ac94fa54ca49f");
  try {
    HashData("MD5", "abc", 3, nullptr, 0);
    FAIL() << "unknown algorithm accepted";
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "BCryptOpenAlgorithmProvider failed");
  }
}

TEST(HmacSha256, MatchesRfc4231) {
  struct Case {
    Bytes key;
    Bytes data;
    const char* hex;
  } cases[] = {
      {Repeat(0x0b, 20), Of("Hi There"), "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7"},
      {Of("Jefe"), Of("what do ya want for nothing?"),
       "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"},
      {Repeat(0xaa, 20), Repeat(0xdd, 50), "773ea91e36800e46854db8ebd09181a72959098b3ef8c122d9635514ced565fe"},
      {Repeat(0xaa, 131), Of("Test Using Larger Than Block-Size Key - Hash Key First"),
       "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54"},
      {{}, {}, "b613679a0814d9ec772f95d778c35fc5ff1697c493715653c6c712144292c5ad"},
  };
  for (const auto& c : cases) EXPECT_EQ(HexEncode(HmacSha256(c.key, c.data.data(), c.data.size())), c.hex);
  Bytes key = Of("key");
  EXPECT_EQ(HashData("SHA512", "a", 1, nullptr, 0, &key).size(), 64u);
}

TEST(RandomBytes, GivesTheCountAskedForAndDiffersBetweenCalls) {
  for (size_t n : {0u, 1u, 100000u}) EXPECT_EQ(RandomBytes(n).size(), n);
  // A buffer that stayed zero would betray a generator that never ran.
  EXPECT_NE(RandomBytes(4096), Bytes(4096, 0));
  EXPECT_NE(RandomBytes(32), RandomBytes(32));
}

}  // namespace
}  // namespace vx
