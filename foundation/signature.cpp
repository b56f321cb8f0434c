#include "foundation/signature.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/rsa.h>

#include <memory>
#include <string>

#include "foundation/codec.h"
#include "foundation/json.h"

namespace vx {
namespace {

constexpr uint8_t kDerSequence = 0x30;
constexpr uint8_t kDerInteger = 0x02;
constexpr uint8_t kUncompressedPoint = 0x04;
constexpr size_t kPssSaltBytes = 32;

template <class T, void (*F)(T*)>
struct Deleter {
  void operator()(T* p) const { F(p); }
};
using PkeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using PkeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, Deleter<EVP_PKEY_CTX, EVP_PKEY_CTX_free>>;
using MdCtxPtr = std::unique_ptr<EVP_MD_CTX, Deleter<EVP_MD_CTX, EVP_MD_CTX_free>>;
using BnPtr = std::unique_ptr<BIGNUM, Deleter<BIGNUM, BN_free>>;
using ParamBldPtr = std::unique_ptr<OSSL_PARAM_BLD, Deleter<OSSL_PARAM_BLD, OSSL_PARAM_BLD_free>>;
using ParamPtr = std::unique_ptr<OSSL_PARAM, Deleter<OSSL_PARAM, OSSL_PARAM_free>>;
using EcSigPtr = std::unique_ptr<ECDSA_SIG, Deleter<ECDSA_SIG, ECDSA_SIG_free>>;

struct Curve {
  int32_t crv;
  const char* group;
  size_t size;
  const char* digest;
};

constexpr Curve kCurves[] = {
    {kCurveP256, "prime256v1", 32, "SHA256"},
    {kCurveP384, "secp384r1", 48, "SHA384"},
    {kCurveP521, "secp521r1", 66, "SHA512"},
};

PkeyPtr KeyFromParams(const char* type, OSSL_PARAM_BLD* bld) {
  ParamPtr params(OSSL_PARAM_BLD_to_param(bld));
  if (!params) return nullptr;
  PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_name(nullptr, type, nullptr));
  EVP_PKEY* key = nullptr;
  if (!ctx || EVP_PKEY_fromdata_init(ctx.get()) != 1 ||
      EVP_PKEY_fromdata(ctx.get(), &key, EVP_PKEY_PUBLIC_KEY, params.get()) != 1)
    return nullptr;
  return PkeyPtr(key);
}

// Checks a DER signature; `configure` sets padding on the verify context.
template <class Configure>
bool DigestVerify(EVP_PKEY* key, const char* digest, const std::vector<uint8_t>& message,
                  const uint8_t* sig, size_t sigLen, Configure configure) {
  MdCtxPtr md(EVP_MD_CTX_new());
  EVP_PKEY_CTX* pctx = nullptr;  // owned by `md`
  if (!md || EVP_DigestVerifyInit_ex(md.get(), &pctx, digest, nullptr, nullptr, key, nullptr) != 1)
    return false;
  if (!configure(pctx)) return false;
  return EVP_DigestVerify(md.get(), sig, sigLen, message.data(), message.size()) == 1;
}

bool VerifyEcdsa(const PublicKey& key, const std::vector<uint8_t>& message,
                 const std::vector<uint8_t>& signature) {
  const Curve* curve = nullptr;
  for (const Curve& c : kCurves)
    if (c.crv == key.crv) curve = &c;
  if (curve == nullptr) return false;
  if (key.x.size() > curve->size || key.y.size() > curve->size) return false;

  std::vector<uint8_t> point(1 + 2 * curve->size, 0);
  point[0] = kUncompressedPoint;
  std::copy(key.x.begin(), key.x.end(), point.begin() + 1 + static_cast<long>(curve->size - key.x.size()));
  std::copy(key.y.begin(), key.y.end(), point.end() - static_cast<long>(key.y.size()));

  std::vector<uint8_t> raw;
  if (!DerToRawSignature(signature, curve->size, raw)) {
    if (signature.size() != 2 * curve->size) return false;
    raw = signature;
  }

  ParamBldPtr bld(OSSL_PARAM_BLD_new());
  if (!bld ||
      OSSL_PARAM_BLD_push_utf8_string(bld.get(), OSSL_PKEY_PARAM_GROUP_NAME, curve->group, 0) != 1 ||
      OSSL_PARAM_BLD_push_octet_string(bld.get(), OSSL_PKEY_PARAM_PUB_KEY, point.data(), point.size()) != 1)
    return false;
  PkeyPtr pkey = KeyFromParams("EC", bld.get());
  if (!pkey) return false;

  // OpenSSL checks DER; re-encode the raw form so both inputs take one road.
  EcSigPtr sig(ECDSA_SIG_new());
  BIGNUM* r = BN_bin2bn(raw.data(), static_cast<int>(curve->size), nullptr);
  BIGNUM* s = BN_bin2bn(raw.data() + curve->size, static_cast<int>(curve->size), nullptr);
  if (!sig || r == nullptr || s == nullptr || ECDSA_SIG_set0(sig.get(), r, s) != 1) {
    BN_free(r);
    BN_free(s);
    return false;
  }
  unsigned char* der = nullptr;
  const int derLen = i2d_ECDSA_SIG(sig.get(), &der);
  if (derLen <= 0) return false;
  const bool ok = DigestVerify(pkey.get(), curve->digest, message, der, static_cast<size_t>(derLen),
                               [](EVP_PKEY_CTX*) { return true; });
  OPENSSL_free(der);
  return ok;
}

bool VerifyRsa(const PublicKey& key, const std::vector<uint8_t>& message,
               const std::vector<uint8_t>& signature) {
  const char* digest = nullptr;
  bool pss = false;
  switch (key.alg) {
    case kAlgRs256: digest = "SHA256"; break;
    case kAlgRs384: digest = "SHA384"; break;
    case kAlgRs512: digest = "SHA512"; break;
    case kAlgPs256: digest = "SHA256"; pss = true; break;
    default: return false;
  }
  if (key.e.empty() || key.n.size() > 2048 || key.e.size() > 2048) return false;
  BnPtr n(BN_bin2bn(key.n.data(), static_cast<int>(key.n.size()), nullptr));
  BnPtr e(BN_bin2bn(key.e.data(), static_cast<int>(key.e.size()), nullptr));
  ParamBldPtr bld(OSSL_PARAM_BLD_new());
  if (!n || !e || !bld || OSSL_PARAM_BLD_push_BN(bld.get(), OSSL_PKEY_PARAM_RSA_N, n.get()) != 1 ||
      OSSL_PARAM_BLD_push_BN(bld.get(), OSSL_PKEY_PARAM_RSA_E, e.get()) != 1)
    return false;
  PkeyPtr pkey = KeyFromParams("RSA", bld.get());
  if (!pkey) return false;
  return DigestVerify(pkey.get(), digest, message, signature.data(), signature.size(),
                      [pss](EVP_PKEY_CTX* ctx) {
                        if (!pss) return EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING) == 1;
                        return EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PSS_PADDING) == 1 &&
                               EVP_PKEY_CTX_set_rsa_pss_saltlen(ctx, static_cast<int>(kPssSaltBytes)) == 1;
                      });
}

bool DecodeMember(const json::Value& obj, const char* name, std::vector<uint8_t>& out) {
  return Base64Decode(obj[name].asString(), out) && !out.empty();
}

}  // namespace

bool DerToRawSignature(const std::vector<uint8_t>& der, size_t componentSize,
                       std::vector<uint8_t>& out) {
  if (der.size() < 2 || der[0] != kDerSequence) return false;
  size_t pos = 1;
  size_t length = der[pos++];
  if (length >= 0x80) {
    const size_t count = length & 0x7F;
    if (count < 1 || count > 2 || pos + count > der.size()) return false;
    length = 0;
    for (size_t i = 0; i < count; ++i) length = (length << 8) | der[pos++];
  }
  if (pos + length != der.size()) return false;

  std::vector<uint8_t> raw(2 * componentSize, 0);
  for (int part = 0; part < 2; ++part) {
    if (pos + 2 > der.size() || der[pos] != kDerInteger) return false;
    size_t len = der[pos + 1];
    pos += 2;
    if (len < 1 || len > 127 || pos + len > der.size()) return false;
    size_t start = pos;
    while (len > 1 && der[start] == 0) {
      ++start;
      --len;
    }
    if (len > componentSize) return false;
    const size_t half = part == 0 ? 0 : componentSize;
    std::copy(der.begin() + static_cast<long>(start), der.begin() + static_cast<long>(start + len),
              raw.begin() + static_cast<long>(half + componentSize - len));
    pos = start + len;
  }
  if (pos != der.size()) return false;
  out = std::move(raw);
  return true;
}

bool ParsePublicKey(std::string_view text, PublicKey& out) {
  json::Value v;
  if (!json::Parse(text, v) || !v.isObject()) return false;
  out = PublicKey();
  out.alg = static_cast<int32_t>(v["alg"].asInt(kAlgEs256));
  const std::string kty = v["kty"].asString();
  if (kty == "EC2") {
    out.crv = static_cast<int32_t>(v["crv"].asInt(kCurveP256));
    return DecodeMember(v, "x", out.x) && DecodeMember(v, "y", out.y);
  }
  if (kty == "RSA") return DecodeMember(v, "n", out.n) && DecodeMember(v, "e", out.e);
  return false;
}

bool VerifySignature(const PublicKey& key, const std::vector<uint8_t>& message,
                     const std::vector<uint8_t>& signature) {
  if (signature.empty() || key.alg == kAlgEdDsa) return false;
  if (!key.x.empty()) return VerifyEcdsa(key, message, signature);
  if (!key.n.empty()) return VerifyRsa(key, message, signature);
  return false;
}

}  // namespace vx
