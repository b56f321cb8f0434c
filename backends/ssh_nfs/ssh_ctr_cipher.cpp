// The cipher-method interface that lets a program hand out a cipher of its
// own is deprecated in OpenSSL 3 but kept; a provider would be the same
// cipher at many times the code.
#define OPENSSL_SUPPRESS_DEPRECATED
#include "backends/ssh_nfs/ssh_ctr_cipher.h"

#include <dlfcn.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace tarn {
namespace {

constexpr int kCtrIvBytes = 16;  // also the AES block
// Keystream made per refill: 512 of the library's calls share one
// pipelined AES run.
constexpr size_t kKeystreamBytes = 8192;

struct KeystreamCtx {
  EVP_CIPHER_CTX* aes;  // OpenSSL's AES-CTR under the same key and counter
  size_t used;          // bytes of keystream handed out
  uint8_t keystream[kKeystreamBytes];
};

const uint8_t kZeros[kKeystreamBytes] = {};

KeystreamCtx* State(EVP_CIPHER_CTX* ctx) { return static_cast<KeystreamCtx*>(EVP_CIPHER_CTX_get_cipher_data(ctx)); }

// OpenSSL's own implementation, fetched once per key size.
const EVP_CIPHER* RealCtr(int keyBytes) {
  static EVP_CIPHER* const k128 = EVP_CIPHER_fetch(nullptr, "AES-128-CTR", nullptr);
  static EVP_CIPHER* const k192 = EVP_CIPHER_fetch(nullptr, "AES-192-CTR", nullptr);
  static EVP_CIPHER* const k256 = EVP_CIPHER_fetch(nullptr, "AES-256-CTR", nullptr);
  return keyBytes == 16 ? k128 : keyBytes == 24 ? k192 : k256;
}

int Init(EVP_CIPHER_CTX* ctx, const unsigned char* key, const unsigned char* iv, int /*enc*/) {
  KeystreamCtx* s = State(ctx);
  if (s->aes == nullptr) s->aes = EVP_CIPHER_CTX_new();
  const EVP_CIPHER* real = RealCtr(EVP_CIPHER_CTX_get_key_length(ctx));
  if (s->aes == nullptr || real == nullptr) return 0;
  // Counter mode encrypts and decrypts alike: the keystream is always made
  // by encrypting. Naming the cipher again would drop a key set before.
  const EVP_CIPHER* first = EVP_CIPHER_CTX_get0_cipher(s->aes) == nullptr ? real : nullptr;
  if (EVP_EncryptInit_ex(s->aes, first, nullptr, key, iv) != 1) return 0;
  s->used = kKeystreamBytes;
  return 1;
}

void Xor16(unsigned char* out, const unsigned char* in, const uint8_t* k) {
  uint64_t a[2], b[2];
  std::memcpy(a, in, 16);
  std::memcpy(b, k, 16);
  a[0] ^= b[0];
  a[1] ^= b[1];
  std::memcpy(out, a, 16);
}

int Crypt(EVP_CIPHER_CTX* ctx, unsigned char* out, const unsigned char* in, size_t length) {
  KeystreamCtx* s = State(ctx);
  // The library's one block per call.
  if (length == kCtrIvBytes && kKeystreamBytes - s->used >= kCtrIvBytes) {
    Xor16(out, in, s->keystream + s->used);
    s->used += kCtrIvBytes;
    return 1;
  }
  while (length > 0) {
    if (s->used == kKeystreamBytes) {
      int made = 0;
      if (EVP_EncryptUpdate(s->aes, s->keystream, &made, kZeros, int(kKeystreamBytes)) != 1 ||
          made != int(kKeystreamBytes))
        return 0;
      s->used = 0;
    }
    const size_t n = std::min(length, kKeystreamBytes - s->used);
    const uint8_t* k = s->keystream + s->used;
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
      uint64_t a, b;
      std::memcpy(&a, in + i, 8);
      std::memcpy(&b, k + i, 8);
      a ^= b;
      std::memcpy(out + i, &a, 8);
    }
    for (; i < n; ++i) out[i] = uint8_t(in[i] ^ k[i]);
    s->used += n;
    in += n;
    out += n;
    length -= n;
  }
  return 1;
}

int Cleanup(EVP_CIPHER_CTX* ctx) {
  if (KeystreamCtx* s = State(ctx); s != nullptr) {
    EVP_CIPHER_CTX_free(s->aes);
    s->aes = nullptr;
  }
  return 1;
}

int Control(EVP_CIPHER_CTX* /*ctx*/, int type, int /*arg*/, void* ptr) {
  if (type != EVP_CTRL_COPY) return -1;
  // The copy's state is a byte copy of ours: it needs an AES context of its own.
  auto* to = static_cast<EVP_CIPHER_CTX*>(ptr);
  KeystreamCtx* s = State(to);
  EVP_CIPHER_CTX* shared = s->aes;
  s->aes = EVP_CIPHER_CTX_new();
  return s->aes != nullptr && EVP_CIPHER_CTX_copy(s->aes, shared) == 1 ? 1 : 0;
}

EVP_CIPHER* MakeCipher(int keyBytes) {
  EVP_CIPHER* c = EVP_CIPHER_meth_new(NID_undef, 1, keyBytes);
  if (c == nullptr) return nullptr;
  const bool ok = EVP_CIPHER_meth_set_iv_length(c, kCtrIvBytes) == 1 &&
                  EVP_CIPHER_meth_set_flags(c, EVP_CIPH_STREAM_CIPHER | EVP_CIPH_CUSTOM_IV |
                                                   EVP_CIPH_ALWAYS_CALL_INIT | EVP_CIPH_CUSTOM_COPY) == 1 &&
                  EVP_CIPHER_meth_set_init(c, Init) == 1 && EVP_CIPHER_meth_set_do_cipher(c, Crypt) == 1 &&
                  EVP_CIPHER_meth_set_cleanup(c, Cleanup) == 1 && EVP_CIPHER_meth_set_ctrl(c, Control) == 1 &&
                  EVP_CIPHER_meth_set_impl_ctx_size(c, int(sizeof(KeystreamCtx))) == 1;
  if (!ok) {
    EVP_CIPHER_meth_free(c);
    return nullptr;
  }
  return c;
}

// Built once; OpenSSL's own EVP_aes_*_ctr return static objects too.
const EVP_CIPHER* Cipher(int keyBytes) {
  static EVP_CIPHER* const k128 = MakeCipher(16);
  static EVP_CIPHER* const k192 = MakeCipher(24);
  static EVP_CIPHER* const k256 = MakeCipher(32);
  return keyBytes == 16 ? k128 : keyBytes == 24 ? k192 : k256;
}

}  // namespace

bool SshCtrCiphersBound() {
  return dlsym(RTLD_DEFAULT, "EVP_aes_128_ctr") == reinterpret_cast<void*>(&EVP_aes_128_ctr) &&
         dlsym(RTLD_DEFAULT, "EVP_aes_192_ctr") == reinterpret_cast<void*>(&EVP_aes_192_ctr) &&
         dlsym(RTLD_DEFAULT, "EVP_aes_256_ctr") == reinterpret_cast<void*>(&EVP_aes_256_ctr);
}

}  // namespace tarn

// The entry points the SSH library calls, in place of OpenSSL's.
extern "C" {
__attribute__((visibility("default"))) const EVP_CIPHER* EVP_aes_128_ctr(void) { return tarn::Cipher(16); }
__attribute__((visibility("default"))) const EVP_CIPHER* EVP_aes_192_ctr(void) { return tarn::Cipher(24); }
__attribute__((visibility("default"))) const EVP_CIPHER* EVP_aes_256_ctr(void) { return tarn::Cipher(32); }
}
