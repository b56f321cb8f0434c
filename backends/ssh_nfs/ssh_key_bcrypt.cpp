// bcrypt_pbkdf: PBKDF2-like stretching over the "eksblowfish" hash, with the
// key bytes spread over the output blocks as OpenSSH does it.
#include <openssl/crypto.h>
#include <openssl/sha.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "backends/ssh_nfs/ssh_key.h"
#include "backends/ssh_nfs/ssh_key_blowfish_tables.h"

namespace tarn {
namespace {

constexpr int kBlowfishRounds = 16;
constexpr size_t kHashWords = 8;
constexpr size_t kHashBytes = kHashWords * 4;
constexpr int kExpandRounds = 64;
constexpr int kEncryptRounds = 64;
constexpr char kMagic[kHashBytes + 1] = "OxychromaticBlowfishSwatDynamite";

struct Blowfish {
  uint32_t p[kBlowfishRounds + 2];
  uint32_t s[4][256];

  Blowfish() {
    std::memcpy(p, bcrypt_tables::kInitP, sizeof(p));
    std::memcpy(s, bcrypt_tables::kInitS, sizeof(s));
  }
  ~Blowfish() { OPENSSL_cleanse(this, sizeof(*this)); }

  uint32_t f(uint32_t x) const {
    return ((s[0][x >> 24] + s[1][(x >> 16) & 0xff]) ^ s[2][(x >> 8) & 0xff]) + s[3][x & 0xff];
  }

  void encipher(uint32_t& xl, uint32_t& xr) const {
    uint32_t l = xl ^ p[0];
    uint32_t r = xr;
    for (int i = 1; i <= kBlowfishRounds; i += 2) {
      r ^= f(l) ^ p[i];
      l ^= f(r) ^ p[i + 1];
    }
    xl = r ^ p[kBlowfishRounds + 1];
    xr = l;
  }

  // Reads four bytes big-endian, wrapping around the input.
  static uint32_t streamWord(std::span<const uint8_t> data, size_t& pos) {
    uint32_t w = 0;
    for (int i = 0; i < 4; ++i) {
      if (pos >= data.size()) pos = 0;
      w = (w << 8) | data[pos++];
    }
    return w;
  }

  void xorKey(std::span<const uint8_t> key) {
    size_t pos = 0;
    for (uint32_t& w : p) w ^= streamWord(key, pos);
  }

  // With data empty this is the plain key schedule ("expand0").
  void expand(std::span<const uint8_t> data, std::span<const uint8_t> key) {
    xorKey(key);
    size_t pos = 0;
    uint32_t l = 0, r = 0;
    auto next = [&](uint32_t& a, uint32_t& b) {
      if (!data.empty()) {
        l ^= streamWord(data, pos);
        r ^= streamWord(data, pos);
      }
      encipher(l, r);
      a = l;
      b = r;
    };
    for (int i = 0; i < kBlowfishRounds + 2; i += 2) next(p[i], p[i + 1]);
    for (auto& box : s)
      for (int k = 0; k < 256; k += 2) next(box[k], box[k + 1]);
  }
};

void BcryptHash(const uint8_t* sha2pass, const uint8_t* sha2salt, uint8_t* out) {
  Blowfish bf;
  std::span<const uint8_t> pass(sha2pass, SHA512_DIGEST_LENGTH);
  std::span<const uint8_t> salt(sha2salt, SHA512_DIGEST_LENGTH);
  bf.expand(salt, pass);
  for (int i = 0; i < kExpandRounds; ++i) {
    bf.expand({}, salt);
    bf.expand({}, pass);
  }
  uint32_t cdata[kHashWords];
  size_t pos = 0;
  std::span<const uint8_t> magic(reinterpret_cast<const uint8_t*>(kMagic), kHashBytes);
  for (uint32_t& w : cdata) w = Blowfish::streamWord(magic, pos);
  for (int i = 0; i < kEncryptRounds; ++i)
    for (size_t k = 0; k < kHashWords; k += 2) bf.encipher(cdata[k], cdata[k + 1]);
  for (size_t i = 0; i < kHashWords; ++i) {
    out[4 * i + 3] = uint8_t(cdata[i] >> 24);
    out[4 * i + 2] = uint8_t(cdata[i] >> 16);
    out[4 * i + 1] = uint8_t(cdata[i] >> 8);
    out[4 * i + 0] = uint8_t(cdata[i]);
  }
  OPENSSL_cleanse(cdata, sizeof(cdata));
}

}  // namespace

bool BcryptPbkdf(std::string_view password, std::span<const uint8_t> salt, uint32_t rounds,
                 std::span<uint8_t> key) {
  constexpr size_t kMaxSalt = 1u << 20;
  if (rounds == 0 || password.empty() || salt.empty() || key.empty() || key.size() > kHashBytes * kHashBytes ||
      salt.size() > kMaxSalt)
    return false;
  const size_t stride = (key.size() + kHashBytes - 1) / kHashBytes;
  size_t amount = (key.size() + stride - 1) / stride;

  uint8_t sha2pass[SHA512_DIGEST_LENGTH];
  uint8_t sha2salt[SHA512_DIGEST_LENGTH];
  uint8_t out[kHashBytes];
  uint8_t tmp[kHashBytes];
  SHA512(reinterpret_cast<const uint8_t*>(password.data()), password.size(), sha2pass);

  std::vector<uint8_t> saltCount(salt.begin(), salt.end());
  size_t left = key.size();
  for (uint32_t count = 1; left > 0; ++count) {
    saltCount.resize(salt.size());
    saltCount.push_back(uint8_t(count >> 24));
    saltCount.push_back(uint8_t(count >> 16));
    saltCount.push_back(uint8_t(count >> 8));
    saltCount.push_back(uint8_t(count));
    SHA512(saltCount.data(), saltCount.size(), sha2salt);
    BcryptHash(sha2pass, sha2salt, tmp);
    std::memcpy(out, tmp, sizeof(out));
    for (uint32_t r = 1; r < rounds; ++r) {
      SHA512(tmp, sizeof(tmp), sha2salt);
      BcryptHash(sha2pass, sha2salt, tmp);
      for (size_t j = 0; j < sizeof(out); ++j) out[j] ^= tmp[j];
    }
    // Unlike PBKDF2 the output bytes are interleaved across the blocks.
    amount = std::min(amount, left);
    size_t i = 0;
    for (; i < amount; ++i) {
      size_t dest = i * stride + (count - 1);
      if (dest >= key.size()) break;
      key[dest] = out[i];
    }
    left -= i;
  }
  OPENSSL_cleanse(sha2pass, sizeof(sha2pass));
  OPENSSL_cleanse(sha2salt, sizeof(sha2salt));
  OPENSSL_cleanse(out, sizeof(out));
  OPENSSL_cleanse(tmp, sizeof(tmp));
  return true;
}

}  // namespace tarn
