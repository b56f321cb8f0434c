#include "backup/repo/blob_id.h"

#include <algorithm>
#include <cstring>

#include "foundation/codec.h"
#include "foundation/hash.h"

namespace tarn::backup {

bool BlobId::isZero() const {
  return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; });
}

size_t BlobIdHash::operator()(const BlobId& id) const {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | id.bytes[size_t(i)];
  return size_t(v);
}

BlobId ComputeBlobId(const std::vector<uint8_t>& idKey, const void* data, size_t size) {
  std::vector<uint8_t> mac = vx::HmacSha256(idKey, data, size);
  BlobId id;
  std::memcpy(id.bytes.data(), mac.data(), std::min(mac.size(), id.bytes.size()));
  return id;
}

std::vector<uint8_t> ObjectHash(const void* data, size_t size) { return vx::Sha256(data, size); }

std::string BlobIdToHex(const BlobId& id) { return vx::HexEncode(id.bytes.data(), id.bytes.size(), false); }

bool ParseBlobId(std::string_view text, BlobId& out) {
  // The length test comes first: the decoder skips blanks and colons, which
  // would otherwise let a padded text through.
  if (text.size() != kBlobIdHexSize) return false;
  std::vector<uint8_t> bytes;
  if (!vx::HexDecode(text, bytes) || bytes.size() != kBlobIdSize) return false;
  std::memcpy(out.bytes.data(), bytes.data(), kBlobIdSize);
  return true;
}

}  // namespace tarn::backup
