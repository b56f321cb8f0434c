#include "foundation/data_protection.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>

#include "foundation/codec.h"
#include "foundation/error.h"
#include "foundation/file_util.h"
#include "foundation/hash.h"

namespace vx {
namespace {

constexpr size_t kMachineSecretBytes = 32;
constexpr size_t kNonceBytes = 12;
constexpr size_t kTempTagBytes = 8;
constexpr size_t kTagBytes = 16;
constexpr uint8_t kFormatVersion = 1;
constexpr std::string_view kKeyLabel = "tarn machine seal v1";

struct CipherCtxDeleter {
  void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
};
using CipherCtx = std::unique_ptr<EVP_CIPHER_CTX, CipherCtxDeleter>;


std::string RootPrefix() {
  const char* root = std::getenv("TARN_ROOT");
  return root != nullptr ? std::string(root) : std::string();
}

bool ReadSecret(const std::string& path, std::vector<uint8_t>& out) {
  vx::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (fd.get() < 0) return false;
  uint8_t buf[kMachineSecretBytes + 1];
  size_t got = 0;
  while (got < sizeof(buf)) {
    const ssize_t n = ::read(fd.get(), buf + got, sizeof(buf) - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  const bool ok = got == kMachineSecretBytes;
  if (ok) out.assign(buf, buf + kMachineSecretBytes);
  SecureWipe(buf, sizeof(buf));
  return ok;
}

bool WriteAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Publishes a complete secret with link(2), which never replaces an existing
// file: when two processes race, one link wins and both read the winner's.
bool CreateSecret(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? std::string(".") : path.substr(0, slash);
  if (!MakeDirs(dir)) return false;
  ::chmod(dir.c_str(), 0700);

  std::vector<uint8_t> secret;
  std::vector<uint8_t> tag;
  try {
    secret = RandomBytes(kMachineSecretBytes);
    tag = RandomBytes(kTempTagBytes);
  } catch (const Error&) {
    return false;
  }
  // A random name per attempt: racing threads of one process share a pid.
  const std::string temp = path + "." + HexEncode(tag) + ".new";
  bool ok = false;
  {
    vx::UniqueFd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (fd.get() < 0) {
      SecureWipe(secret);
      return false;
    }
    ok = WriteAll(fd.get(), secret.data(), secret.size()) && ::fsync(fd.get()) == 0;
  }
  SecureWipe(secret);
  if (ok && ::link(temp.c_str(), path.c_str()) != 0 && errno != EEXIST) ok = false;
  ::unlink(temp.c_str());
  return ok;
}

bool MachineSecret(std::vector<uint8_t>& out) {
  const std::string path = MachineKeyPath();
  if (ReadSecret(path, out)) return true;
  // A secret is only ever published whole, so one that exists but does not
  // read is damaged or not ours to read: never replace it. It may also have
  // been published since the first read, so it is read once more.
  if (FileExists(path)) return ReadSecret(path, out);
  CreateSecret(path);
  return ReadSecret(path, out);
}

bool DeriveKey(std::string_view entropy, std::vector<uint8_t>& key) {
  std::vector<uint8_t> secret;
  if (!MachineSecret(secret)) return false;
  std::string input(kKeyLabel);
  input.push_back('\0');
  input.append(entropy);
  try {
    key = HmacSha256(secret, input.data(), input.size());
  } catch (const Error&) {
    SecureWipe(secret);
    return false;
  }
  SecureWipe(secret);
  return key.size() == 32;
}

}  // namespace

std::string MachineKeyPath() { return RootPrefix() + "/etc/tarn/machine.key"; }

bool ProtectData(const std::vector<uint8_t>& plain, std::string_view entropy,
                 std::vector<uint8_t>& out) {
  if (plain.size() > static_cast<size_t>(INT32_MAX) - 64) return false;
  std::vector<uint8_t> key;
  if (!DeriveKey(entropy, key)) return false;
  std::vector<uint8_t> nonce;
  try {
    nonce = RandomBytes(kNonceBytes);
  } catch (const Error&) {
    SecureWipe(key);
    return false;
  }
  std::vector<uint8_t> sealed(1 + kNonceBytes + plain.size() + kTagBytes);
  sealed[0] = kFormatVersion;
  std::copy(nonce.begin(), nonce.end(), sealed.begin() + 1);
  uint8_t* body = sealed.data() + 1 + kNonceBytes;

  CipherCtx ctx(EVP_CIPHER_CTX_new());
  int len = 0;
  int fin = 0;
  const bool ok =
      ctx && EVP_EncryptInit_ex(ctx.get(), EVP_aes_256_gcm(), nullptr, nullptr, nullptr) == 1 &&
      EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_IVLEN, kNonceBytes, nullptr) == 1 &&
      EVP_EncryptInit_ex(ctx.get(), nullptr, nullptr, key.data(), nonce.data()) == 1 &&
      EVP_EncryptUpdate(ctx.get(), nullptr, &len, sealed.data(), 1) == 1 &&  // version as AAD
      EVP_EncryptUpdate(ctx.get(), body, &len, plain.data(), static_cast<int>(plain.size())) == 1 &&
      EVP_EncryptFinal_ex(ctx.get(), body + len, &fin) == 1 &&
      EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_GET_TAG, kTagBytes, body + plain.size()) == 1;
  SecureWipe(key);
  if (!ok) return false;
  out = std::move(sealed);
  return true;
}

bool UnprotectData(const std::vector<uint8_t>& sealed, std::string_view entropy,
                   std::vector<uint8_t>& out) {
  if (sealed.size() < 1 + kNonceBytes + kTagBytes || sealed[0] != kFormatVersion) return false;
  if (sealed.size() > static_cast<size_t>(INT32_MAX)) return false;
  std::vector<uint8_t> key;
  if (!DeriveKey(entropy, key)) return false;
  const uint8_t* nonce = sealed.data() + 1;
  const uint8_t* body = nonce + kNonceBytes;
  const size_t bodyLen = sealed.size() - 1 - kNonceBytes - kTagBytes;
  std::vector<uint8_t> tag(body + bodyLen, body + bodyLen + kTagBytes);
  std::vector<uint8_t> plain(bodyLen);

  CipherCtx ctx(EVP_CIPHER_CTX_new());
  int len = 0;
  int fin = 0;
  uint8_t last[16];
  const bool ok =
      ctx && EVP_DecryptInit_ex(ctx.get(), EVP_aes_256_gcm(), nullptr, nullptr, nullptr) == 1 &&
      EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_IVLEN, kNonceBytes, nullptr) == 1 &&
      EVP_DecryptInit_ex(ctx.get(), nullptr, nullptr, key.data(), nonce) == 1 &&
      EVP_DecryptUpdate(ctx.get(), nullptr, &len, sealed.data(), 1) == 1 &&
      EVP_DecryptUpdate(ctx.get(), plain.data(), &len, body, static_cast<int>(bodyLen)) == 1 &&
      EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_TAG, kTagBytes, tag.data()) == 1 &&
      EVP_DecryptFinal_ex(ctx.get(), last, &fin) == 1;
  SecureWipe(key);
  if (!ok) {
    SecureWipe(plain);
    return false;
  }
  out = std::move(plain);
  return true;
}

}  // namespace vx
