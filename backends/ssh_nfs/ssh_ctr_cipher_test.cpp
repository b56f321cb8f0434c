// The SSH library's AES-CTR against OpenSSL's own, for every key size and
// for call sequences of every shape around the keystream's refills.
#include "backends/ssh_nfs/ssh_ctr_cipher.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <memory>
#include <numeric>
#include <vector>

namespace tarn {
namespace {

using Ctx = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;

Ctx NewCtx() { return Ctx(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free); }

std::vector<uint8_t> Bytes(size_t n, uint8_t seed) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = uint8_t(seed + i * 131 + (i >> 8));
  return v;
}

// OpenSSL's AES-CTR over the whole input in one call.
std::vector<uint8_t> Reference(const char* name, const std::vector<uint8_t>& key, const std::vector<uint8_t>& iv,
                               const std::vector<uint8_t>& in) {
  EVP_CIPHER* real = EVP_CIPHER_fetch(nullptr, name, nullptr);
  Ctx ctx = NewCtx();
  std::vector<uint8_t> out(in.size());
  int n = 0;
  EXPECT_EQ(EVP_EncryptInit_ex(ctx.get(), real, nullptr, key.data(), iv.data()), 1);
  EXPECT_EQ(EVP_EncryptUpdate(ctx.get(), out.data(), &n, in.data(), int(in.size())), 1);
  EVP_CIPHER_free(real);
  return out;
}

// Runs `in` through EVP_Cipher in calls of the given lengths, as the SSH
// library does.
std::vector<uint8_t> InCalls(EVP_CIPHER_CTX* ctx, const std::vector<uint8_t>& in, const std::vector<size_t>& calls) {
  std::vector<uint8_t> out(in.size());
  size_t at = 0;
  for (size_t n : calls) {
    EXPECT_NE(EVP_Cipher(ctx, out.data() + at, in.data() + at, unsigned(n)), -1);
    at += n;
  }
  return out;
}

TEST(SshCtrCipher, MatchesOpenSslForEveryKeySizeAndCallShape) {
  EXPECT_TRUE(SshCtrCiphersBound());
  struct Key {
    const EVP_CIPHER* (*entry)();
    const char* name;
    size_t bytes;
  } keys[] = {{EVP_aes_128_ctr, "AES-128-CTR", 16}, {EVP_aes_192_ctr, "AES-192-CTR", 24},
              {EVP_aes_256_ctr, "AES-256-CTR", 32}};
  const std::vector<std::vector<size_t>> shapes = {
      std::vector<size_t>(2000, 16),             // the library's blocks, across several refills
      {16, 8192, 16, 8160, 16, 1},               // calls that end on and straddle a refill
      {1, 15, 17, 0, 8191, 8193, 3, 20000, 16},  // stream lengths that are no multiple of a block
  };
  for (const Key& k : keys) {
    for (const auto& calls : shapes) {
      SCOPED_TRACE(std::string(k.name) + " in " + std::to_string(calls.size()) + " calls");
      const auto key = Bytes(k.bytes, 1), iv = Bytes(16, 2);
      const auto plain = Bytes(std::accumulate(calls.begin(), calls.end(), size_t(0)), 3);
      Ctx enc = NewCtx(), dec = NewCtx();
      ASSERT_EQ(EVP_CipherInit(enc.get(), k.entry(), key.data(), iv.data(), 1), 1);
      ASSERT_EQ(EVP_CipherInit(dec.get(), k.entry(), key.data(), iv.data(), 0), 1);
      const auto sealed = InCalls(enc.get(), plain, calls);
      EXPECT_EQ(sealed, Reference(k.name, key, iv, plain));
      EXPECT_EQ(InCalls(dec.get(), sealed, calls), plain);
    }
  }
}

TEST(SshCtrCipher, ContextsKeepTheirOwnCountersThroughCopiesAndNewKeys) {
  const auto key = Bytes(16, 7), iv = Bytes(16, 8), other = Bytes(16, 9);
  const auto plain = Bytes(3 * 8192, 10);
  const auto want = Reference("AES-128-CTR", key, iv, plain);
  Ctx a = NewCtx(), b = NewCtx();
  ASSERT_EQ(EVP_CipherInit(a.get(), EVP_aes_128_ctr(), key.data(), iv.data(), 1), 1);
  ASSERT_EQ(EVP_CipherInit(b.get(), EVP_aes_128_ctr(), other.data(), iv.data(), 1), 1);
  std::vector<uint8_t> out(plain.size());
  // Interleaved with another key's context, then continued by a copy.
  ASSERT_NE(EVP_Cipher(a.get(), out.data(), plain.data(), 5000), -1);
  std::vector<uint8_t> scratch(plain.size());
  ASSERT_NE(EVP_Cipher(b.get(), scratch.data(), plain.data(), 7000), -1);
  Ctx copy = NewCtx();
  ASSERT_EQ(EVP_CIPHER_CTX_copy(copy.get(), a.get()), 1);
  a.reset();
  ASSERT_NE(EVP_Cipher(copy.get(), out.data() + 5000, plain.data() + 5000, unsigned(plain.size() - 5000)), -1);
  EXPECT_EQ(out, want);
  // A new key and counter on a used context start a fresh keystream.
  ASSERT_EQ(EVP_CipherInit(b.get(), nullptr, key.data(), iv.data(), 1), 1);
  ASSERT_NE(EVP_Cipher(b.get(), scratch.data(), plain.data(), unsigned(plain.size())), -1);
  EXPECT_EQ(scratch, want);
}

}  // namespace
}  // namespace tarn
