// Pack headers come from storage that may be damaged or forged. The input is
// read once as a whole pack, which exercises the trailer checks, and once as
// a header table behind a blob area whose length its first 4 bytes give,
// sealed with a fixed key so that the table checks past the seal are reached.
// Whatever the reader accepts must lie inside the blob area.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "backup/repo/pack_format.h"

namespace {

// Keeps the blob areas that the fuzzer asks for small.
constexpr uint32_t kMaxBlobArea = 1u << 20;

const tarn::backup::GcmCipher& FixedCipher() {
  static tarn::backup::GcmCipher* cipher = [] {
    auto* c = new tarn::backup::GcmCipher;
    std::vector<uint8_t> key(tarn::backup::kKeySize, 0x5A);
    c->setKey(key);
    return c;
  }();
  return *cipher;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarn::backup;
  std::vector<PackEntry> entries;
  (void)ReadPackHeader(FixedCipher(), data, size, entries);
  if (size < 4) return 0;

  const uint32_t blobArea = ReadU32LE(data) % kMaxBlobArea;
  std::vector<uint8_t> pack(blobArea, 0);
  std::vector<uint8_t> sealed;
  if (!FixedCipher().seal(data + 4, size - 4, kLabelPack, sealed)) std::abort();
  pack.insert(pack.end(), sealed.begin(), sealed.end());
  AppendU32LE(pack, uint32_t(sealed.size()));
  if (!ReadPackHeader(FixedCipher(), pack.data(), pack.size(), entries).ok()) return 0;
  if (entries.size() * kPackEntrySize != size - 4) std::abort();
  for (const PackEntry& e : entries)
    if (uint64_t(e.offset) + e.storedLength > blobArea || e.storedLength < kSealOverhead) std::abort();
  return 0;
}
