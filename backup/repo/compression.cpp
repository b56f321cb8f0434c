#include "backup/repo/compression.h"

#include "platform/xpress_huffman.h"

namespace tarn::backup {

bool CompressBlob(const uint8_t* data, size_t size, std::vector<uint8_t>& out) {
  out.clear();
  if (size < kMinCompressSize) return false;
  // One per thread: its match-finder table is a megabyte to clear.
  thread_local xpress::Compressor compressor;
  if (!compressor.compress(data, size, size - size / kMinSavingDivisor, out, kBlobChunkSize)) {
    out.clear();
    return false;
  }
  return !out.empty();
}

bool DecompressBlob(const uint8_t* data, size_t size, size_t expectedRaw, std::vector<uint8_t>& out) {
  return xpress::Decompress(data, size, expectedRaw, out);
}

}  // namespace tarn::backup
