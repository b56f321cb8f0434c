#include "backup/repo/index_format.h"

#include <cstring>

namespace tarn::backup {
namespace {

constexpr size_t kRecordLengthAt = kBlobIdSize;
constexpr size_t kRecordCountAt = kBlobIdSize + 4;

}  // namespace

std::vector<uint8_t> IndexObjectStart() {
  std::vector<uint8_t> out;
  AppendU32LE(out, kIndexMagic);
  AppendU32LE(out, kIndexVersion);
  AppendU32LE(out, 0);
  return out;
}

void AppendIndexPack(std::vector<uint8_t>& object, const BlobId& id, uint32_t length,
                     const std::vector<PackEntry>& entries) {
  object.insert(object.end(), id.bytes.begin(), id.bytes.end());
  AppendU32LE(object, length);
  AppendU32LE(object, uint32_t(entries.size()));
  for (const PackEntry& e : entries) AppendPackEntry(object, e);
  uint8_t* count = object.data() + kIndexPackCountAt;
  WriteU32LE(count, ReadU32LE(count) + 1);
}

IndexParse ParseIndexObject(const uint8_t* plain, size_t size, std::vector<IndexPackRecord>& out) {
  out.clear();
  if (size < kIndexHeaderSize || ReadU32LE(plain) != kIndexMagic) return IndexParse::kDamaged;
  const uint32_t packs = ReadU32LE(plain + kIndexPackCountAt);
  uint64_t at = kIndexHeaderSize;
  for (uint32_t i = 0; i < packs; ++i) {
    if (size - at < kIndexPackRecordSize) return IndexParse::kCutShort;
    const uint8_t* record = plain + at;
    uint64_t blobs = ReadU32LE(record + kRecordCountAt);
    uint64_t recordBytes = kIndexPackRecordSize + blobs * kPackEntrySize;
    if (recordBytes > size - at) return IndexParse::kCutShort;
    IndexPackRecord r;
    std::memcpy(r.id.bytes.data(), record, kBlobIdSize);
    r.length = ReadU32LE(record + kRecordLengthAt);
    r.entries.reserve(size_t(blobs));
    for (uint64_t b = 0; b < blobs; ++b)
      r.entries.push_back(ReadPackEntry(record + kIndexPackRecordSize + b * kPackEntrySize));
    out.push_back(std::move(r));
    at += recordBytes;
  }
  return IndexParse::kOk;
}

}  // namespace tarn::backup
