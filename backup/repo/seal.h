// Sealing and key derivation of the backup repository.
//
// GcmCipher seals every stored object with AES-256-GCM under a purpose
// label that is authenticated but not stored, so an object sealed for one
// purpose never opens as another. Sealed form: 12-byte random nonce,
// ciphertext, 16-byte tag (always 28 bytes longer than the plaintext).
// The repository owns one cipher, sets its key once while opening and then
// seals and opens from any thread: the key does not change after setKey and
// each call uses its own cipher context. The key buffer is wiped when the
// cipher is destroyed.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace tarn::backup {

constexpr size_t kKeySize = 32;
constexpr size_t kNonceSize = 12;
constexpr size_t kTagSize = 16;
constexpr size_t kSealOverhead = kNonceSize + kTagSize;
constexpr uint64_t kMaxSealPlaintext = 0xFFFFFFF0ull;

constexpr std::string_view kLabelKeys = "tarn-backup/keys";
constexpr std::string_view kLabelBlob = "tarn-backup/blob";
constexpr std::string_view kLabelPack = "tarn-backup/pack";
constexpr std::string_view kLabelIndex = "tarn-backup/index";
constexpr std::string_view kLabelSnapshot = "tarn-backup/snapshot";
constexpr std::string_view kLabelLock = "tarn-backup/lock";

class GcmCipher {
 public:
  GcmCipher() = default;
  ~GcmCipher();
  GcmCipher(const GcmCipher&) = delete;
  GcmCipher& operator=(const GcmCipher&) = delete;

  // False unless the key is exactly 32 bytes; a cipher without a key seals
  // and opens nothing.
  bool setKey(const uint8_t* key, size_t size);
  bool setKey(const std::vector<uint8_t>& key) { return setKey(key.data(), key.size()); }
  bool hasKey() const { return hasKey_; }

  // out becomes nonce || ciphertext || tag. Refuses more than 0xFFFFFFF0
  // bytes. May throw vx::Error when the system random generator fails.
  bool seal(const uint8_t* plain, size_t size, std::string_view label, std::vector<uint8_t>& out) const;
  // Seals where the bytes lie: `buffer` holds kNonceSize bytes of room, the
  // `size` bytes of plaintext and kTagSize bytes of room, and becomes the
  // sealed form, so that a writer of large objects needs no second buffer.
  bool sealInPlace(uint8_t* buffer, size_t size, std::string_view label) const;
  // out becomes the plaintext; on any failure (short input, wrong label,
  // damaged bytes) it is wiped and left empty.
  bool open(const uint8_t* sealed, size_t size, std::string_view label, std::vector<uint8_t>& out) const;
  // Opens where the bytes lie: the plaintext, size - kSealOverhead bytes,
  // replaces the ciphertext at sealed + kNonceSize, so that a reader of
  // many objects needs no buffer per object. On any failure that part is
  // wiped.
  bool openInPlace(uint8_t* sealed, size_t size, std::string_view label) const;

 private:
  // Writes the sealed form of `size` bytes of plaintext to `sealed`, whose
  // ciphertext part may be exactly where `plain` lies.
  bool encrypt(const uint8_t* plain, size_t size, std::string_view label, uint8_t* sealed) const;
  // Decrypts size - kSealOverhead bytes to `out`, which may be exactly
  // sealed + kNonceSize; on failure `out` is wiped.
  bool decrypt(const uint8_t* sealed, size_t size, std::string_view label, uint8_t* out) const;

  std::array<uint8_t, kKeySize> key_{};
  bool hasKey_ = false;
};

// PBKDF2 with HMAC-SHA256 over the password's bytes; out becomes 32 bytes.
// False for zero iterations or a failure of the crypto library.
bool DeriveKey(std::string_view password, const std::vector<uint8_t>& salt, uint32_t iterations,
               std::vector<uint8_t>& out);

}  // namespace tarn::backup
