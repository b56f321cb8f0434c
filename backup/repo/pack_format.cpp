#include "backup/repo/pack_format.h"

#include <cstring>

namespace tarn::backup {
namespace {

constexpr size_t kEntryOffsetAt = 1 + kBlobIdSize;
constexpr size_t kEntryStoredAt = kEntryOffsetAt + 4;
constexpr size_t kEntryRawAt = kEntryStoredAt + 4;

Status Damaged(const std::string& what) { return Status(Status::kProtocol, "pack header " + what); }

}  // namespace

void AppendU32LE(std::vector<uint8_t>& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(value >> (8 * i)));
}

uint32_t ReadU32LE(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void WriteU32LE(uint8_t* p, uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(value >> (8 * i));
}

void AppendPackEntry(std::vector<uint8_t>& out, const PackEntry& entry) {
  out.push_back(entry.type);
  out.insert(out.end(), entry.id.bytes.begin(), entry.id.bytes.end());
  AppendU32LE(out, entry.offset);
  AppendU32LE(out, entry.storedLength);
  AppendU32LE(out, entry.rawLength);
}

PackEntry ReadPackEntry(const uint8_t* p) {
  PackEntry e;
  e.type = p[0];
  std::memcpy(e.id.bytes.data(), p + 1, kBlobIdSize);
  e.offset = ReadU32LE(p + kEntryOffsetAt);
  e.storedLength = ReadU32LE(p + kEntryStoredAt);
  e.rawLength = ReadU32LE(p + kEntryRawAt);
  return e;
}

std::vector<uint8_t> PackHeaderTable(const std::vector<PackEntry>& entries) {
  std::vector<uint8_t> table;
  table.reserve(entries.size() * kPackEntrySize);
  for (const PackEntry& e : entries) AppendPackEntry(table, e);
  return table;
}

Status ParsePackHeaderTable(const uint8_t* table, size_t size, uint64_t blobArea, std::vector<PackEntry>& out) {
  out.clear();
  if (size % kPackEntrySize != 0) return Damaged("does not hold whole entries");
  out.reserve(size / kPackEntrySize);
  for (size_t at = 0; at < size; at += kPackEntrySize) {
    PackEntry e = ReadPackEntry(table + at);
    if (uint64_t(e.offset) + e.storedLength > blobArea || e.storedLength < kSealOverhead) {
      out.clear();
      return Damaged("has an entry outside the pack");
    }
    out.push_back(e);
  }
  return Status();
}

Status ReadPackHeader(const GcmCipher& cipher, const uint8_t* pack, size_t size, std::vector<PackEntry>& out) {
  out.clear();
  if (size < kPackTrailerSize + kSealOverhead) return Damaged("is missing");
  uint64_t sealedLength = ReadU32LE(pack + size - kPackTrailerSize);
  uint64_t beforeTrailer = size - kPackTrailerSize;
  if (sealedLength < kSealOverhead || sealedLength > beforeTrailer) return Damaged("length is out of range");
  uint64_t blobArea = beforeTrailer - sealedLength;
  std::vector<uint8_t> table;
  if (!cipher.open(pack + blobArea, size_t(sealedLength), kLabelPack, table)) return Damaged("does not decrypt");
  return ParsePackHeaderTable(table.data(), table.size(), blobArea, out);
}

}  // namespace tarn::backup
