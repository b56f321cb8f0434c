// The plaintext of an index object: magic "TIDX", version, pack count, then
// per pack its id, its length, its blob count and that many 45-byte pack
// entries. The writer builds one object pack by pack; the reader turns an
// opened object into pack records. Plain values and reentrant free
// functions; any thread.
//
// Index objects come from storage: the reader trusts no count. Every record
// is checked against the bytes that remain, in 64-bit arithmetic, before it
// is read, and nothing is reserved from a count the object states.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "backup/repo/pack_format.h"

namespace tarn::backup {

// "TIDX" read as one little-endian u32.
constexpr uint32_t kIndexMagic = uint32_t('T') | uint32_t('I') << 8 | uint32_t('D') << 16 | uint32_t('X') << 24;
constexpr uint32_t kIndexVersion = 1;
constexpr size_t kIndexHeaderSize = 12;
constexpr size_t kIndexPackCountAt = 8;
constexpr size_t kIndexPackRecordSize = 40;

struct IndexPackRecord {
  BlobId id;
  uint32_t length = 0;
  std::vector<PackEntry> entries;
};

// An empty object: magic, version and a pack count of 0.
std::vector<uint8_t> IndexObjectStart();
// Appends one pack record and counts it in bytes 8..11.
void AppendIndexPack(std::vector<uint8_t>& object, const BlobId& id, uint32_t length,
                     const std::vector<PackEntry>& entries);

enum class IndexParse { kOk, kDamaged, kCutShort };

// Reads an opened index object. kDamaged: shorter than its header or without
// the magic (out empty). kCutShort: a record runs past the end; out holds the
// records before it. The version field is not checked.
IndexParse ParseIndexObject(const uint8_t* plain, size_t size, std::vector<IndexPackRecord>& out);

}  // namespace tarn::backup
