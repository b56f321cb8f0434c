// The pack format: blobs sealed one by one and laid back to back, then the
// sealed header table with one 45-byte entry per blob, then a 4-byte trailer
// giving the sealed header's length. The same 45-byte entry is the record of
// index objects. Plain values and reentrant free functions; any thread.
//
// Packs come back from storage that may be damaged or forged, so the reader
// checks every length against the bytes it was given, in 64-bit arithmetic,
// before it trusts or allocates anything.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "backup/repo/blob_id.h"
#include "backup/repo/seal.h"
#include "foundation/status.h"

namespace tarn::backup {

constexpr uint8_t kBlobData = 1;
constexpr uint8_t kBlobTree = 2;

constexpr size_t kPackEntrySize = 45;
constexpr size_t kPackTrailerSize = 4;
// A pack's offsets and lengths are u32, so no pack may reach 4 GiB.
constexpr uint64_t kMaxPackBytes = 0xFFFFFFFFull;

struct PackEntry {
  uint8_t type = kBlobData;
  BlobId id;
  uint32_t offset = 0;        // of the sealed blob from the start of the pack
  uint32_t storedLength = 0;  // sealed length: payload + 28
  uint32_t rawLength = 0;     // plaintext length before compression
};

void AppendU32LE(std::vector<uint8_t>& out, uint32_t value);
uint32_t ReadU32LE(const uint8_t* p);
void WriteU32LE(uint8_t* p, uint32_t value);

void AppendPackEntry(std::vector<uint8_t>& out, const PackEntry& entry);
// Reads the 45 bytes at p.
PackEntry ReadPackEntry(const uint8_t* p);

// The plain header table of a pack: the entries in blob order, no count.
std::vector<uint8_t> PackHeaderTable(const std::vector<PackEntry>& entries);

// Reads the header at the end of a whole pack: the trailer must name a sealed
// header that fits after at least no blobs, it must open with the pack label
// and hold whole entries, and every entry must lie inside the blob area.
// Code 18 with a message naming what is wrong otherwise.
Status ReadPackHeader(const GcmCipher& cipher, const uint8_t* pack, size_t size, std::vector<PackEntry>& out);

// The table check of ReadPackHeader on an opened table, for a pack whose blob
// area is `blobArea` bytes long.
Status ParsePackHeaderTable(const uint8_t* table, size_t size, uint64_t blobArea, std::vector<PackEntry>& out);

}  // namespace tarn::backup
