// Feeds hostile bytes to the LZ77+Huffman decoders and checks that what the
// compressor writes always reads back. The first byte picks the mode.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/xpress_huffman.h"

namespace {

// Keeps one input from asking for gigabytes of output.
constexpr size_t kMaxRaw = 1 << 20;
// Data built from a short input: enough for a stream of two blocks.
constexpr size_t kMaxExpanded = 100000;

// Reads the input as a recipe: runs of literal bytes taken from it, and
// copies of earlier output at any distance (also beyond the 64 KiB window)
// and of any length, so that small inputs make long data with the repeats
// a match finder must get right.
std::vector<uint8_t> Expand(const uint8_t* data, size_t size) {
  std::vector<uint8_t> out;
  size_t i = 0;
  while (i < size && out.size() < kMaxExpanded) {
    const uint8_t op = data[i++];
    if (op < 0x80) {
      const size_t n = std::min<size_t>((op & 0x3F) + 1, size - i);
      out.insert(out.end(), data + i, data + i + n);
      i += n;
      continue;
    }
    if (size - i < 3) break;
    const size_t distance = 1 + (size_t(data[i]) | size_t(data[i + 1]) << 8 | size_t(data[i + 2] & 1) << 16);
    i += 3;
    if (distance > out.size()) continue;
    const size_t length = std::min(size_t(op & 0x7F) * 37 + 3, kMaxExpanded - out.size());
    const size_t start = out.size();
    out.resize(start + length);
    // Pieces of at most `distance` bytes, so that each copies bytes already
    // there, as a match does.
    for (size_t k = 0; k < length; k += distance)
      std::memcpy(out.data() + start + k, out.data() + start + k - distance, std::min(distance, length - k));
  }
  return out;
}

void RoundTrip(tarn::xpress::Compressor& c, const std::vector<uint8_t>& data, size_t chunkSize) {
  std::vector<uint8_t> packed, back;
  if (!c.compress(data.data(), data.size(), SIZE_MAX, packed, chunkSize)) std::abort();
  if (!tarn::xpress::Decompress(packed.data(), packed.size(), data.size(), back)) std::abort();
  if (back != data) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarn::xpress;
  if (size < 3) return 0;
  const uint8_t mode = data[0] % 4;
  const size_t raw = size_t(data[1]) | (size_t(data[2]) << 8);
  data += 3;
  size -= 3;
  if (mode == 0) {
    // A framed input, taking the raw size its header claims when small.
    size_t expected = raw;
    if (size >= kFrameHeaderSize) {
      uint64_t claimed = 0;
      for (int i = 7; i >= 0; --i) claimed = (claimed << 8) | data[8 + i];
      if (claimed <= kMaxRaw) expected = size_t(claimed);
    }
    std::vector<uint8_t> out;
    if (Decompress(data, size, expected, out) && out.size() != expected) std::abort();
  } else if (mode == 1) {
    std::vector<uint8_t> out(raw + 1);
    DecompressStream(data, size, out.data(), raw + 1);
  } else {
    // One compressor for every input, as its users keep theirs: what one
    // input leaves in its tables must not spoil the next.
    static Compressor c;
    if (mode == 2) {
      RoundTrip(c, std::vector<uint8_t>(data, data + size), kChunkSize);
      return 0;
    }
    // Several streams in a row, as the backup repository writes them: in
    // 1 MiB chunks (one stream of several blocks), then in chunks that end
    // where the recipe's second and third bytes say.
    const std::vector<uint8_t> expanded = Expand(data, size);
    RoundTrip(c, expanded, 1 << 20);
    RoundTrip(c, expanded, 1 + raw * 3);
  }
  return 0;
}
