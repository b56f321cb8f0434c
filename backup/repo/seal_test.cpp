#include "backup/repo/seal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "foundation/codec.h"

namespace tarn::backup {
namespace {

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

class SealTest : public testing::Test {
 protected:
  void SetUp() override {
    std::vector<uint8_t> key(kKeySize);
    for (size_t i = 0; i < key.size(); ++i) key[i] = uint8_t(i * 7 + 1);
    ASSERT_TRUE(cipher_.setKey(key));
  }
  GcmCipher cipher_;
};

TEST_F(SealTest, RoundTripsUnderEveryLabelAndSize) {
  for (std::string_view label : {kLabelKeys, kLabelBlob, kLabelPack, kLabelIndex, kLabelSnapshot}) {
    for (size_t n : {size_t(0), size_t(1), size_t(15), size_t(16), size_t(17), size_t(72), size_t(1) << 20}) {
      SCOPED_TRACE(testing::Message() << label << " " << n);
      std::vector<uint8_t> plain(n);
      for (size_t i = 0; i < n; ++i) plain[i] = uint8_t(i * 31 + n);
      std::vector<uint8_t> sealed, opened;
      ASSERT_TRUE(cipher_.seal(plain.data(), n, label, sealed));
      EXPECT_EQ(sealed.size(), n + kSealOverhead);
      ASSERT_TRUE(cipher_.open(sealed.data(), sealed.size(), label, opened));
      EXPECT_EQ(opened, plain);

      // Sealed where it lies, between room for the nonce and the tag.
      std::vector<uint8_t> inPlace(kNonceSize);
      inPlace.insert(inPlace.end(), plain.begin(), plain.end());
      inPlace.resize(n + kSealOverhead);
      ASSERT_TRUE(cipher_.sealInPlace(inPlace.data(), n, label));
      EXPECT_NE(inPlace, sealed) << "a fresh nonce";
      ASSERT_TRUE(cipher_.open(inPlace.data(), inPlace.size(), label, opened));
      EXPECT_EQ(opened, plain);
    }
  }
}

TEST_F(SealTest, EmptyPlaintextSealsTo28BytesAndOpensEmpty) {
  std::vector<uint8_t> sealed, opened = Bytes("stale");
  ASSERT_TRUE(cipher_.seal(nullptr, 0, kLabelBlob, sealed));
  EXPECT_EQ(sealed.size(), 28u);
  EXPECT_TRUE(cipher_.open(sealed.data(), sealed.size(), kLabelBlob, opened));
  EXPECT_TRUE(opened.empty());
}

TEST_F(SealTest, WrongLabelIsRefused) {
  auto plain = Bytes("index body");
  std::vector<uint8_t> sealed, opened;
  ASSERT_TRUE(cipher_.seal(plain.data(), plain.size(), kLabelIndex, sealed));
  for (std::string_view other : {kLabelBlob, kLabelSnapshot, std::string_view("tarn-backup/inde"),
                                 std::string_view("tarn-backup/index\0", 18), std::string_view()}) {
    EXPECT_FALSE(cipher_.open(sealed.data(), sealed.size(), other, opened)) << other;
    EXPECT_TRUE(opened.empty());
  }
}

TEST_F(SealTest, EveryChangedByteIsRefused) {
  auto plain = Bytes("a snapshot record of some length");
  std::vector<uint8_t> sealed, opened;
  ASSERT_TRUE(cipher_.seal(plain.data(), plain.size(), kLabelSnapshot, sealed));
  // Nonce, ciphertext and tag alike.
  for (size_t i = 0; i < sealed.size(); ++i) {
    for (uint8_t flip : {uint8_t(0x01), uint8_t(0x80)}) {
      std::vector<uint8_t> bad = sealed;
      bad[i] ^= flip;
      EXPECT_FALSE(cipher_.open(bad.data(), bad.size(), kLabelSnapshot, opened)) << i;
      EXPECT_TRUE(opened.empty());
    }
  }
  // Truncated or extended.
  EXPECT_FALSE(cipher_.open(sealed.data(), sealed.size() - 1, kLabelSnapshot, opened));
  sealed.push_back(0);
  EXPECT_FALSE(cipher_.open(sealed.data(), sealed.size(), kLabelSnapshot, opened));
}

TEST_F(SealTest, ShortInputAndMissingKeyAreRefused) {
  std::vector<uint8_t> junk(27, 0), out = Bytes("left over");
  EXPECT_FALSE(cipher_.open(junk.data(), junk.size(), kLabelBlob, out));
  EXPECT_TRUE(out.empty());

  GcmCipher keyless;
  EXPECT_FALSE(keyless.hasKey());
  std::vector<uint8_t> sealed;
  auto plain = Bytes("x");
  EXPECT_FALSE(keyless.seal(plain.data(), plain.size(), kLabelBlob, sealed));
  std::vector<uint8_t> room(1 + kSealOverhead, 0);
  EXPECT_FALSE(keyless.sealInPlace(room.data(), 1, kLabelBlob));
  ASSERT_TRUE(cipher_.seal(plain.data(), plain.size(), kLabelBlob, sealed));
  EXPECT_FALSE(keyless.open(sealed.data(), sealed.size(), kLabelBlob, out));

  for (size_t bad : {size_t(0), size_t(16), size_t(31), size_t(33)}) {
    std::vector<uint8_t> key(bad, 1);
    EXPECT_FALSE(keyless.setKey(key)) << bad;
  }
  EXPECT_FALSE(keyless.hasKey());
}

TEST_F(SealTest, OpensInPlaceAndWipesWhatFailsToOpen) {
  for (size_t n : {size_t(0), size_t(1), size_t(17), size_t(1) << 20}) {
    SCOPED_TRACE(n);
    std::vector<uint8_t> plain(n);
    for (size_t i = 0; i < n; ++i) plain[i] = uint8_t(i * 13 + 5);
    std::vector<uint8_t> sealed;
    ASSERT_TRUE(cipher_.seal(plain.data(), n, kLabelBlob, sealed));
    // Within a larger buffer, as a blob lies in a pack range: the bytes
    // around it stay as they are.
    std::vector<uint8_t> range(3 + sealed.size() + 3, 0xAA);
    std::copy(sealed.begin(), sealed.end(), range.begin() + 3);
    std::fill(range.end() - 3, range.end(), 0xBB);
    ASSERT_TRUE(cipher_.openInPlace(range.data() + 3, sealed.size(), kLabelBlob));
    EXPECT_TRUE(std::equal(plain.begin(), plain.end(), range.begin() + 3 + kNonceSize));
    EXPECT_EQ(range[2], 0xAA);
    EXPECT_EQ(range[3 + sealed.size()], 0xBB);

    // A changed ciphertext byte, a changed tag and a wrong label: nothing
    // of the unauthenticated plaintext is left behind.
    for (size_t at : {kNonceSize, sealed.size() - 1}) {
      if (n == 0 && at == kNonceSize) continue;
      std::vector<uint8_t> bad = sealed;
      bad[at] ^= 1;
      EXPECT_FALSE(cipher_.openInPlace(bad.data(), bad.size(), kLabelBlob)) << at;
      EXPECT_TRUE(std::all_of(bad.begin() + kNonceSize, bad.begin() + kNonceSize + n,
                              [](uint8_t b) { return b == 0; }));
    }
    std::vector<uint8_t> other = sealed;
    EXPECT_FALSE(cipher_.openInPlace(other.data(), other.size(), kLabelPack));
    EXPECT_TRUE(std::all_of(other.begin() + kNonceSize, other.begin() + kNonceSize + n,
                            [](uint8_t b) { return b == 0; }));
  }
  std::vector<uint8_t> junk(kSealOverhead - 1, 7);
  EXPECT_FALSE(cipher_.openInPlace(junk.data(), junk.size(), kLabelBlob));
  GcmCipher keyless;
  std::vector<uint8_t> sealed;
  ASSERT_TRUE(cipher_.seal(junk.data(), junk.size(), kLabelBlob, sealed));
  EXPECT_FALSE(keyless.openInPlace(sealed.data(), sealed.size(), kLabelBlob));
}

TEST_F(SealTest, FreshNonceEverySealAndKeysDoNotMix) {
  auto plain = Bytes("same plaintext");
  std::vector<uint8_t> a, b, opened;
  ASSERT_TRUE(cipher_.seal(plain.data(), plain.size(), kLabelBlob, a));
  ASSERT_TRUE(cipher_.seal(plain.data(), plain.size(), kLabelBlob, b));
  EXPECT_NE(a, b);
  EXPECT_NE(std::vector<uint8_t>(a.begin(), a.begin() + kNonceSize),
            std::vector<uint8_t>(b.begin(), b.begin() + kNonceSize));
  EXPECT_TRUE(cipher_.open(a.data(), a.size(), kLabelBlob, opened));
  EXPECT_TRUE(cipher_.open(b.data(), b.size(), kLabelBlob, opened));

  GcmCipher other;
  ASSERT_TRUE(other.setKey(std::vector<uint8_t>(kKeySize, 0xAB)));
  EXPECT_FALSE(other.open(a.data(), a.size(), kLabelBlob, opened));
}

TEST(DeriveKeyTest, KnownAnswers) {
  struct Vector {
    std::string password;
    std::string salt;
    uint32_t iterations;
    const char* hex;
  };
  const Vector vectors[] = {
      {"password", "salt", 1, "120fb6cffcf8b32c43e7225256c4f837a86548c92ccc35480805987cb70be17b"},
      {"password", "salt", 2, "ae4d0c95af6b46d32d0adff928f06dd02a303f8ef3c251dfd6e2d85a95474c43"},
      {"password", "salt", 4096, "c5e478d59288c841aa530db6845c4c8d962893a001ce4e11a4963873aa98134a"},
      {"passwordPASSWORDpassword", "saltSALTsaltSALTsaltSALTsaltSALTsalt", 4096,
       "348c89dbcbd32b2f32d814b8116e84cf2b17347ebc1800181c4e2a1fb8dd53e1"},
      {std::string("pass\0word", 9), std::string("sa\0lt", 5), 4096,
       "89b69d0516f829893c696226650a86878c029ac13ee276509d5ae58b6466a724"},
      // RFC 7914, section 11 (first 32 bytes of the 64-byte outputs).
      {"passwd", "salt", 1, "55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc"},
      {"Password", "NaCl", 80000, "4ddcd8f60b98be21830cee5ef22701f9641a4418d04c0414aeff08876b34ab56"},
  };
  for (const Vector& v : vectors) {
    SCOPED_TRACE(v.iterations);
    std::vector<uint8_t> out;
    ASSERT_TRUE(DeriveKey(v.password, Bytes(v.salt), v.iterations, out));
    EXPECT_EQ(vx::HexEncode(out), v.hex);
  }
}

TEST(DeriveKeyTest, ZeroIterationsAreRefused) {
  std::vector<uint8_t> out;
  EXPECT_FALSE(DeriveKey("password", Bytes("salt"), 0, out));
  EXPECT_TRUE(out.empty());
}

}  // namespace
}  // namespace tarn::backup
