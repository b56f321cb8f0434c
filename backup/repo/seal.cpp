#include "backup/repo/seal.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>

#include "foundation/hash.h"

namespace tarn::backup {
namespace {

struct CtxFree {
  void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
};
using CipherCtx = std::unique_ptr<EVP_CIPHER_CTX, CtxFree>;

// The EVP update calls take int lengths; longer buffers go in pieces.
constexpr size_t kMaxUpdate = size_t(1) << 30;

void WipeAndClear(std::vector<uint8_t>& out) {
  if (!out.empty()) OPENSSL_cleanse(out.data(), out.size());
  out.clear();
}

}  // namespace

GcmCipher::~GcmCipher() { OPENSSL_cleanse(key_.data(), key_.size()); }

bool GcmCipher::setKey(const uint8_t* key, size_t size) {
  if (key == nullptr || size != kKeySize) return false;
  std::memcpy(key_.data(), key, kKeySize);
  hasKey_ = true;
  return true;
}

bool GcmCipher::seal(const uint8_t* plain, size_t size, std::string_view label, std::vector<uint8_t>& out) const {
  if (!hasKey_ || size > kMaxSealPlaintext) return false;
  out.resize(size + kSealOverhead);
  return encrypt(plain, size, label, out.data());
}

bool GcmCipher::sealInPlace(uint8_t* buffer, size_t size, std::string_view label) const {
  if (!hasKey_ || size > kMaxSealPlaintext) return false;
  return encrypt(buffer + kNonceSize, size, label, buffer);
}

bool GcmCipher::encrypt(const uint8_t* plain, size_t size, std::string_view label, uint8_t* sealed) const {
  std::vector<uint8_t> nonce = vx::RandomBytes(kNonceSize);
  std::memcpy(sealed, nonce.data(), kNonceSize);

  CipherCtx ctx(EVP_CIPHER_CTX_new());
  if (!ctx) return false;
  if (EVP_EncryptInit_ex(ctx.get(), EVP_aes_256_gcm(), nullptr, nullptr, nullptr) != 1) return false;
  if (EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_IVLEN, int(kNonceSize), nullptr) != 1) return false;
  if (EVP_EncryptInit_ex(ctx.get(), nullptr, nullptr, key_.data(), sealed) != 1) return false;
  int len = 0;
  if (!label.empty() &&
      EVP_EncryptUpdate(ctx.get(), nullptr, &len, reinterpret_cast<const uint8_t*>(label.data()),
                        int(label.size())) != 1)
    return false;
  size_t written = 0;
  for (size_t done = 0; done < size;) {
    size_t piece = std::min(kMaxUpdate, size - done);
    if (EVP_EncryptUpdate(ctx.get(), sealed + kNonceSize + written, &len, plain + done, int(piece)) != 1)
      return false;
    written += size_t(len);
    done += piece;
  }
  // GCM emits nothing at the end; the spare buffer keeps that an assumption
  // that cannot overrun `sealed`.
  std::array<uint8_t, kTagSize> spare;
  if (EVP_EncryptFinal_ex(ctx.get(), spare.data(), &len) != 1 || len != 0) return false;
  if (written != size) return false;
  return EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_GET_TAG, int(kTagSize), sealed + kNonceSize + size) == 1;
}

bool GcmCipher::open(const uint8_t* sealed, size_t size, std::string_view label, std::vector<uint8_t>& out) const {
  WipeAndClear(out);
  if (!hasKey_ || size < kSealOverhead) return false;
  out.resize(size - kSealOverhead);
  if (!decrypt(sealed, size, label, out.data())) {
    out.clear();
    return false;
  }
  return true;
}

bool GcmCipher::openInPlace(uint8_t* sealed, size_t size, std::string_view label) const {
  if (!hasKey_ || size < kSealOverhead) return false;
  return decrypt(sealed, size, label, sealed + kNonceSize);
}

bool GcmCipher::decrypt(const uint8_t* sealed, size_t size, std::string_view label, uint8_t* out) const {
  const size_t n = size - kSealOverhead;
  // The tag is read before an in-place decryption overwrites what precedes it.
  std::array<uint8_t, kTagSize> tag;
  std::memcpy(tag.data(), sealed + kNonceSize + n, kTagSize);
  // Until the final call `out` holds unauthenticated plaintext, which
  // fail() wipes.
  auto fail = [&]() {
    if (n > 0) OPENSSL_cleanse(out, n);
    return false;
  };

  CipherCtx ctx(EVP_CIPHER_CTX_new());
  if (!ctx) return fail();
  if (EVP_DecryptInit_ex(ctx.get(), EVP_aes_256_gcm(), nullptr, nullptr, nullptr) != 1) return fail();
  if (EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_IVLEN, int(kNonceSize), nullptr) != 1) return fail();
  if (EVP_DecryptInit_ex(ctx.get(), nullptr, nullptr, key_.data(), sealed) != 1) return fail();
  int len = 0;
  if (!label.empty() &&
      EVP_DecryptUpdate(ctx.get(), nullptr, &len, reinterpret_cast<const uint8_t*>(label.data()),
                        int(label.size())) != 1)
    return fail();
  size_t written = 0;
  for (size_t done = 0; done < n;) {
    size_t piece = std::min(kMaxUpdate, n - done);
    if (EVP_DecryptUpdate(ctx.get(), out + written, &len, sealed + kNonceSize + done, int(piece)) != 1)
      return fail();
    written += size_t(len);
    done += piece;
  }
  if (EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_TAG, int(kTagSize), tag.data()) != 1) return fail();
  std::array<uint8_t, kTagSize> spare;
  if (EVP_DecryptFinal_ex(ctx.get(), spare.data(), &len) != 1 || len != 0) return fail();
  if (written != n) return fail();
  return true;
}

bool DeriveKey(std::string_view password, const std::vector<uint8_t>& salt, uint32_t iterations,
               std::vector<uint8_t>& out) {
  if (iterations == 0 || iterations > uint32_t(INT_MAX) || password.size() > size_t(INT_MAX) ||
      salt.size() > size_t(INT_MAX))
    return false;
  out.assign(kKeySize, 0);
  if (PKCS5_PBKDF2_HMAC(password.data(), int(password.size()), salt.data(), int(salt.size()), int(iterations),
                        EVP_sha256(), int(kKeySize), out.data()) != 1) {
    WipeAndClear(out);
    return false;
  }
  return true;
}

}  // namespace tarn::backup
