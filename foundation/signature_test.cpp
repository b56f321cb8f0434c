#include "foundation/signature.h"

#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>

#include <functional>
#include <string>

#include "foundation/codec.h"

namespace vx {
namespace {

std::vector<uint8_t> Bytes(std::string_view s) { return {s.begin(), s.end()}; }

// A key pair made in the test, with its public half as a PublicKey.
struct TestKey {
  EVP_PKEY* pkey = nullptr;
  PublicKey pub;
  ~TestKey() { EVP_PKEY_free(pkey); }
};

void MakeEc(TestKey& k, const char* group, int32_t crv, size_t size) {
  k.pkey = EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", group);
  ASSERT_NE(k.pkey, nullptr);
  std::vector<uint8_t> point(1 + 2 * size);
  size_t len = 0;
  ASSERT_EQ(EVP_PKEY_get_octet_string_param(k.pkey, OSSL_PKEY_PARAM_PUB_KEY, point.data(), point.size(), &len), 1);
  ASSERT_EQ(len, point.size());
  k.pub.alg = kAlgEs256;
  k.pub.crv = crv;
  k.pub.x.assign(point.begin() + 1, point.begin() + 1 + static_cast<long>(size));
  k.pub.y.assign(point.begin() + 1 + static_cast<long>(size), point.end());
}

void MakeRsa(TestKey& k, int32_t alg) {
  k.pkey = EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", static_cast<size_t>(2048));
  ASSERT_NE(k.pkey, nullptr);
  BIGNUM* n = nullptr;
  BIGNUM* e = nullptr;
  ASSERT_EQ(EVP_PKEY_get_bn_param(k.pkey, OSSL_PKEY_PARAM_RSA_N, &n), 1);
  ASSERT_EQ(EVP_PKEY_get_bn_param(k.pkey, OSSL_PKEY_PARAM_RSA_E, &e), 1);
  k.pub.alg = alg;
  k.pub.n.resize(static_cast<size_t>(BN_num_bytes(n)));
  k.pub.e.resize(static_cast<size_t>(BN_num_bytes(e)));
  BN_bn2bin(n, k.pub.n.data());
  BN_bn2bin(e, k.pub.e.data());
  BN_free(n);
  BN_free(e);
}

std::vector<uint8_t> Sign(EVP_PKEY* key, const char* digest, const std::vector<uint8_t>& msg, int padding = 0) {
  EVP_MD_CTX* md = EVP_MD_CTX_new();
  EVP_PKEY_CTX* pctx = nullptr;
  std::vector<uint8_t> sig;
  if (EVP_DigestSignInit_ex(md, &pctx, digest, nullptr, nullptr, key, nullptr) == 1) {
    if (padding != 0) {
      EVP_PKEY_CTX_set_rsa_padding(pctx, padding);
      if (padding == RSA_PKCS1_PSS_PADDING) EVP_PKEY_CTX_set_rsa_pss_saltlen(pctx, 32);
    }
    size_t len = 0;
    if (EVP_DigestSign(md, nullptr, &len, msg.data(), msg.size()) == 1) {
      sig.resize(len);
      if (EVP_DigestSign(md, sig.data(), &len, msg.data(), msg.size()) == 1) sig.resize(len);
      else sig.clear();
    }
  }
  EVP_MD_CTX_free(md);
  return sig;
}

TEST(SignatureTest, EcdsaCurvesAcceptDerAndRaw) {
  struct Case {
    const char* group;
    int32_t crv;
    size_t size;
    const char* digest;
  } cases[] = {{"P-256", kCurveP256, 32, "SHA256"},
               {"P-384", kCurveP384, 48, "SHA384"},
               {"P-521", kCurveP521, 66, "SHA512"}};
  const std::vector<uint8_t> msg = Bytes("{\"version\":\"1.2.3\"}");
  for (const Case& c : cases) {
    TestKey k;
    MakeEc(k, c.group, c.crv, c.size);
    const std::vector<uint8_t> der = Sign(k.pkey, c.digest, msg);
    ASSERT_FALSE(der.empty());
    EXPECT_TRUE(VerifySignature(k.pub, msg, der)) << c.group;
    std::vector<uint8_t> raw;
    ASSERT_TRUE(DerToRawSignature(der, c.size, raw));
    EXPECT_EQ(raw.size(), 2 * c.size);
    EXPECT_TRUE(VerifySignature(k.pub, msg, raw)) << c.group;

    std::vector<uint8_t> shortRaw(raw.begin(), raw.end() - 1);
    EXPECT_FALSE(VerifySignature(k.pub, msg, shortRaw)) << c.group;
    std::vector<uint8_t> flipped = raw;
    flipped[3] ^= 0x10;
    EXPECT_FALSE(VerifySignature(k.pub, msg, flipped)) << c.group;
    EXPECT_FALSE(VerifySignature(k.pub, Bytes("{\"version\":\"6.6.6\"}"), der)) << c.group;
    EXPECT_FALSE(VerifySignature(k.pub, msg, {})) << c.group;

    // Keys that do not match the signature, or are no valid key at all.
    for (const auto& damage : std::vector<std::function<void(PublicKey&)>>{
             [](PublicKey& p) { p.crv = 4; }, [](PublicKey& p) { p.alg = kAlgEdDsa; },
             [](PublicKey& p) { p.x.insert(p.x.begin(), 0); }, [](PublicKey& p) { p.y.back() ^= 1; }}) {
      PublicKey bad = k.pub;
      damage(bad);
      EXPECT_FALSE(VerifySignature(bad, msg, der)) << c.group;
    }
  }
}

TEST(SignatureTest, ShortCoordinatesArePadded) {
  // Find a P-256 key with a coordinate led by a zero byte, pass it stripped.
  for (int tries = 0; tries < 3000; ++tries) {
    TestKey k;
    MakeEc(k, "P-256", kCurveP256, 32);
    PublicKey stripped = k.pub;
    if (stripped.x[0] == 0) {
      stripped.x.erase(stripped.x.begin());
    } else if (stripped.y[0] == 0) {
      stripped.y.erase(stripped.y.begin());
    } else {
      continue;
    }
    const std::vector<uint8_t> msg = Bytes("m");
    EXPECT_TRUE(VerifySignature(stripped, msg, Sign(k.pkey, "SHA256", msg)));
    return;
  }
  GTEST_FAIL() << "no key with a leading zero coordinate found";
}

TEST(SignatureTest, RsaSchemes) {
  struct Case {
    int32_t alg;
    const char* digest;
    int padding;
  } cases[] = {{kAlgRs256, "SHA256", RSA_PKCS1_PADDING},
               {kAlgRs384, "SHA384", RSA_PKCS1_PADDING},
               {kAlgRs512, "SHA512", RSA_PKCS1_PADDING},
               {kAlgPs256, "SHA256", RSA_PKCS1_PSS_PADDING}};
  TestKey k;
  MakeRsa(k, kAlgRs256);
  const std::vector<uint8_t> msg = Bytes("manifest body");
  for (const Case& c : cases) {
    PublicKey pub = k.pub;
    pub.alg = c.alg;
    const std::vector<uint8_t> sig = Sign(k.pkey, c.digest, msg, c.padding);
    ASSERT_FALSE(sig.empty());
    EXPECT_TRUE(VerifySignature(pub, msg, sig)) << c.alg;
    EXPECT_FALSE(VerifySignature(pub, Bytes("manifest bodx"), sig)) << c.alg;
    std::vector<uint8_t> bad = sig;
    bad[10] ^= 1;
    EXPECT_FALSE(VerifySignature(pub, msg, bad)) << c.alg;
    for (const Case& other : cases) {  // a signature of another scheme fails
      if (other.alg == c.alg) continue;
      PublicKey wrong = k.pub;
      wrong.alg = other.alg;
      EXPECT_FALSE(VerifySignature(wrong, msg, sig)) << c.alg << " as " << other.alg;
    }
  }
  PublicKey notRsaAlg = k.pub;
  notRsaAlg.alg = kAlgEs256;
  EXPECT_FALSE(VerifySignature(notRsaAlg, msg, Sign(k.pkey, "SHA256", msg, RSA_PKCS1_PADDING)));
  EXPECT_FALSE(VerifySignature(PublicKey(), msg, Bytes("x")));
}

TEST(SignatureTest, ParsePublicKey) {
  TestKey k;
  MakeEc(k, "P-256", kCurveP256, 32);
  const std::string x = Base64Encode(k.pub.x);
  const std::string y = Base64Encode(k.pub.y);
  PublicKey key;
  ASSERT_TRUE(ParsePublicKey(R"({"kty":"EC2","x":")" + x + R"(","y":")" + y + R"("})", key));
  EXPECT_EQ(key.alg, kAlgEs256);
  EXPECT_EQ(key.crv, kCurveP256);
  EXPECT_EQ(key.x, k.pub.x);
  const std::vector<uint8_t> msg = Bytes("hello");
  EXPECT_TRUE(VerifySignature(key, msg, Sign(k.pkey, "SHA256", msg)));

  // Unpadded base64url, as keys are usually written.
  std::string urlX = x;
  for (char& c : urlX) c = c == '+' ? '-' : c == '/' ? '_' : c;
  while (!urlX.empty() && urlX.back() == '=') urlX.pop_back();
  ASSERT_TRUE(ParsePublicKey(R"({"alg":-7,"kty":"EC2","crv":1,"x":")" + urlX + R"(","y":")" + y + R"("})", key));
  EXPECT_EQ(key.x, k.pub.x);

  struct Case {
    std::string json;
    bool want;
  } cases[] = {
      {R"({"kty":"OKP","x":"AQ","y":"AQ"})", false},
      {R"({"kty":"ec2","x":"AQ","y":"AQ"})", false},
      {R"({"kty":"EC2","x":"AQ"})", false},
      {R"({"kty":"EC2","x":"","y":"AQ"})", false},
      {R"({"kty":"EC2","x":"!!","y":"AQ"})", false},
      {R"({"kty":"RSA","n":"AQAB"})", false},
      {R"({"kty":"RSA","n":"AQAB","e":"AQAB"})", true},
      {R"([1,2])", false},
      {R"(not json)", false},
      {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(ParsePublicKey(c.json, key), c.want) << c.json;
  ASSERT_TRUE(ParsePublicKey(R"({"alg":-257,"kty":"RSA","n":"AQAB","e":"AQAB"})", key));
  EXPECT_EQ(key.alg, kAlgRs256);
  EXPECT_EQ(key.crv, 0);
  EXPECT_TRUE(key.x.empty());
  ASSERT_TRUE(ParsePublicKey(R"({"kty":"EC2","crv":3,"x":"AQ","y":"AQ"})", key));
  EXPECT_EQ(key.crv, kCurveP521);
  EXPECT_TRUE(key.n.empty());  // reset from the previous parse
}

TEST(SignatureTest, DerToRawSignature) {
  auto seq = [](std::vector<uint8_t> body) {
    std::vector<uint8_t> out = {0x30, static_cast<uint8_t>(body.size())};
    out.insert(out.end(), body.begin(), body.end());
    return out;
  };
  auto integer = [](size_t len, uint8_t first, uint8_t fill) {
    std::vector<uint8_t> out = {0x02, static_cast<uint8_t>(len), first};
    out.insert(out.end(), len - 1, fill);
    return out;
  };
  auto cat = [](std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  std::vector<uint8_t> out;
  // r of 33 bytes led by zero: the zero is dropped.
  const auto r33 = integer(33, 0x00, 0x11);
  const auto s1 = integer(1, 0x05, 0);
  ASSERT_TRUE(DerToRawSignature(seq(cat(r33, s1)), 32, out));
  ASSERT_EQ(out.size(), 64u);
  EXPECT_EQ(out[0], 0x11);
  EXPECT_EQ(out[31], 0x11);
  EXPECT_EQ(out[32], 0x00);
  EXPECT_EQ(out[63], 0x05);

  struct Case {
    std::vector<uint8_t> der;
    const char* what;
  } bad[] = {
      {seq(cat(integer(33, 0x80, 0x11), s1)), "33 bytes not led by zero"},
      {cat(seq(cat(integer(2, 1, 1), s1)), {0x00}), "trailing byte after sequence"},
      {seq(cat(cat(integer(2, 1, 1), s1), {0x00})), "trailing byte inside sequence"},
      {{0x30, 0x09, 0x02, 0x01, 0x01, 0x02, 0x01, 0x01}, "outer length too long"},
      {{0x30, 0x05, 0x02, 0x01, 0x01, 0x02, 0x01, 0x01}, "outer length too short"},
      {{0x31, 0x06, 0x02, 0x01, 0x01, 0x02, 0x01, 0x01}, "not a sequence"},
      {{0x30, 0x06, 0x03, 0x01, 0x01, 0x02, 0x01, 0x01}, "not an integer"},
      {{0x30, 0x06, 0x02, 0x00, 0x02, 0x01, 0x01, 0x00}, "empty integer"},
      {{0x30, 0x03, 0x02, 0x01, 0x01}, "s missing"},
      {{0x30, 0x04, 0x02, 0x05, 0x01, 0x01}, "integer past end"},
      {{0x30}, "too short"},
      {{}, "empty"},
      {{0x30, 0x83, 0, 0, 6}, "three length bytes"},
      {{0x30, 0x80}, "zero length bytes"},
      {{0x30, 0x81}, "length byte missing"},
  };
  for (const Case& c : bad) {
    std::vector<uint8_t> keep = {9};
    EXPECT_FALSE(DerToRawSignature(c.der, 32, keep)) << c.what;
    EXPECT_EQ(keep, std::vector<uint8_t>{9}) << c.what;
  }
  // Long-form lengths of one and two bytes.
  std::vector<uint8_t> body = cat(integer(1, 1, 0), s1);
  std::vector<uint8_t> longForm = {0x30, 0x81, static_cast<uint8_t>(body.size())};
  EXPECT_TRUE(DerToRawSignature(cat(longForm, body), 32, out));
  std::vector<uint8_t> twoBytes = {0x30, 0x82, 0x00, static_cast<uint8_t>(body.size())};
  EXPECT_TRUE(DerToRawSignature(cat(twoBytes, body), 32, out));
}

}  // namespace
}  // namespace vx
