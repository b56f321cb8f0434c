#include "foundation/hash.h"

#include <openssl/evp.h>
#include <openssl/params.h>
#include <sys/random.h>

#include <cerrno>
#include <memory>
#include <string>

#include "foundation/error.h"

namespace vx {

namespace {

struct MacDeleter {
  void operator()(EVP_MAC_CTX* p) const { EVP_MAC_CTX_free(p); }
  void operator()(EVP_MD_CTX* p) const { EVP_MD_CTX_free(p); }
};

const EVP_MD* DigestByName(std::string_view algorithm) {
  if (algorithm == "SHA256") return EVP_sha256();
  if (algorithm == "SHA384") return EVP_sha384();
  if (algorithm == "SHA512") return EVP_sha512();
  return nullptr;
}

const char* DigestName(std::string_view algorithm) {
  if (algorithm == "SHA256") return "SHA256";
  if (algorithm == "SHA384") return "SHA384";
  return "SHA512";
}

bool Present(const void* data, size_t size) { return data != nullptr && size != 0; }

std::vector<uint8_t> PlainHash(const EVP_MD* md, const void* d1, size_t n1, const void* d2, size_t n2) {
  int length = EVP_MD_get_size(md);
  if (length <= 0) throw Error("BCryptGetProperty(HASH_LENGTH) failed");
  std::unique_ptr<EVP_MD_CTX, MacDeleter> ctx(EVP_MD_CTX_new());
  if (!ctx || EVP_DigestInit_ex2(ctx.get(), md, nullptr) != 1) throw Error("BCryptCreateHash failed");
  if (Present(d1, n1) && EVP_DigestUpdate(ctx.get(), d1, n1) != 1) throw Error("hash computation failed");
  if (Present(d2, n2) && EVP_DigestUpdate(ctx.get(), d2, n2) != 1) throw Error("hash computation failed");
  std::vector<uint8_t> out(static_cast<size_t>(length));
  unsigned int written = 0;
  if (EVP_DigestFinal_ex(ctx.get(), out.data(), &written) != 1 || written != out.size())
    throw Error("hash computation failed");
  return out;
}

std::vector<uint8_t> KeyedHash(std::string_view algorithm, const void* d1, size_t n1, const void* d2, size_t n2,
                               const std::vector<uint8_t>& key) {
  // Fetched once: request signing computes several HMACs per request. Kept
  // for the life of the process.
  static EVP_MAC* const mac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
  if (mac == nullptr) throw Error("BCryptOpenAlgorithmProvider failed");
  std::unique_ptr<EVP_MAC_CTX, MacDeleter> ctx(EVP_MAC_CTX_new(mac));
  if (!ctx) throw Error("BCryptCreateHash failed");
  OSSL_PARAM params[] = {
      OSSL_PARAM_construct_utf8_string("digest", const_cast<char*>(DigestName(algorithm)), 0),
      OSSL_PARAM_construct_end(),
  };
  // An empty key is a valid HMAC key; OpenSSL wants a non-null pointer.
  static const uint8_t kEmpty = 0;
  const uint8_t* keyData = key.empty() ? &kEmpty : key.data();
  if (EVP_MAC_init(ctx.get(), keyData, key.size(), params) != 1) throw Error("BCryptCreateHash failed");
  size_t length = EVP_MAC_CTX_get_mac_size(ctx.get());
  if (length == 0) throw Error("BCryptGetProperty(HASH_LENGTH) failed");
  if (Present(d1, n1) && EVP_MAC_update(ctx.get(), static_cast<const unsigned char*>(d1), n1) != 1)
    throw Error("hash computation failed");
  if (Present(d2, n2) && EVP_MAC_update(ctx.get(), static_cast<const unsigned char*>(d2), n2) != 1)
    throw Error("hash computation failed");
  std::vector<uint8_t> out(length);
  size_t written = 0;
  if (EVP_MAC_final(ctx.get(), out.data(), &written, out.size()) != 1 || written != length)
    throw Error("hash computation failed");
  return out;
}

}  // namespace

std::vector<uint8_t> HashData(std::string_view algorithm, const void* data1, size_t size1, const void* data2,
                              size_t size2, const std::vector<uint8_t>* key) {
  const EVP_MD* md = DigestByName(algorithm);
  if (md == nullptr) throw Error("BCryptOpenAlgorithmProvider failed");
  if (key != nullptr) return KeyedHash(algorithm, data1, size1, data2, size2, *key);
  return PlainHash(md, data1, size1, data2, size2);
}

std::vector<uint8_t> Sha256(const std::vector<uint8_t>& data) {
  return HashData("SHA256", data.data(), data.size(), nullptr, 0);
}

std::vector<uint8_t> Sha256(const void* data, size_t size) { return HashData("SHA256", data, size, nullptr, 0); }

std::vector<uint8_t> Sha256(std::span<const uint8_t> data) {
  return HashData("SHA256", data.data(), data.size(), nullptr, 0);
}

std::vector<uint8_t> HmacSha256(const std::vector<uint8_t>& key, const void* data, size_t size) {
  return HashData("SHA256", data, size, nullptr, 0, &key);
}

std::vector<uint8_t> RandomBytes(size_t count) {
  std::vector<uint8_t> out(count);
  size_t filled = 0;
  while (filled < count) {
    ssize_t n = getrandom(out.data() + filled, count - filled, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw Error("BCryptGenRandom failed");
    }
    filled += static_cast<size_t>(n);
  }
  return out;
}

}  // namespace vx
