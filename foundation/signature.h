// Verification of signatures made by the system's server: a public key in
// the small JSON form of a COSE key, ECDSA (P-256, P-384, P-521) and RSA
// (PKCS#1 v1.5, PSS) checks over OpenSSL. Plain values and stateless free
// functions; any thread. Every failure is a false result, never a message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace vx {

// COSE algorithm and curve numbers.
inline constexpr int32_t kAlgEs256 = -7;
inline constexpr int32_t kAlgEdDsa = -8;
inline constexpr int32_t kAlgPs256 = -37;
inline constexpr int32_t kAlgRs256 = -257;
inline constexpr int32_t kAlgRs384 = -258;
inline constexpr int32_t kAlgRs512 = -259;
inline constexpr int32_t kCurveP256 = 1;
inline constexpr int32_t kCurveP384 = 2;
inline constexpr int32_t kCurveP521 = 3;

struct PublicKey {
  int32_t alg = kAlgEs256;
  std::vector<uint8_t> x;  // EC point, big-endian coordinates
  std::vector<uint8_t> y;
  int32_t crv = 0;
  std::vector<uint8_t> n;  // RSA modulus and exponent, big-endian
  std::vector<uint8_t> e;
};

// {"kty":"EC2","crv":1,"x":...,"y":...} or {"kty":"RSA","n":...,"e":...},
// byte members in base64 of either alphabet. True when the key is usable.
bool ParsePublicKey(std::string_view json, PublicKey& out);

// True only when `signature` is a valid signature of `message` under `key`.
// ECDSA signatures may be DER or raw r||s.
bool VerifySignature(const PublicKey& key, const std::vector<uint8_t>& message,
                     const std::vector<uint8_t>& signature);

// DER SEQUENCE { INTEGER r, INTEGER s } to r||s, each right-aligned in
// `componentSize` bytes. `out` is replaced only on success.
bool DerToRawSignature(const std::vector<uint8_t>& der, size_t componentSize,
                       std::vector<uint8_t>& out);

}  // namespace vx
