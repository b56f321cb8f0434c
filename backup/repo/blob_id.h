// Content addresses of the backup repository: tarn::backup::BlobId, the
// keyed hash of a blob's plaintext under the repository's id key, its text
// form, and the plain SHA-256 that names stored objects (packs, index
// objects, snapshot records). Plain values and reentrant free functions;
// any thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarn::backup {

constexpr size_t kBlobIdSize = 32;
constexpr size_t kBlobIdHexSize = 2 * kBlobIdSize;
constexpr size_t kIdKeySize = 32;

struct BlobId {
  std::array<uint8_t, kBlobIdSize> bytes{};

  bool isZero() const;
  friend bool operator==(const BlobId&, const BlobId&) = default;
};

// The id is already uniformly random, so its first 8 bytes (little-endian)
// are the hash as they are.
struct BlobIdHash {
  size_t operator()(const BlobId& id) const;
};

// HMAC-SHA256 of the data under the repository's 32-byte id key.
BlobId ComputeBlobId(const std::vector<uint8_t>& idKey, const void* data, size_t size);

// Plain SHA-256 of an object's stored bytes; its hex form names the object.
std::vector<uint8_t> ObjectHash(const void* data, size_t size);

// 64 lower-case hex digits.
std::string BlobIdToHex(const BlobId& id);

// True only for exactly 64 hex digits (either case); `out` is written only
// on success.
bool ParseBlobId(std::string_view text, BlobId& out);

}  // namespace tarn::backup
