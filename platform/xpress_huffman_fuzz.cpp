// Feeds hostile bytes to the LZ77+Huffman decoders and checks that what the
// compressor writes always reads back. The first byte picks the mode.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/xpress_huffman.h"

namespace {

// Keeps one input from asking for gigabytes of output.
constexpr size_t kMaxRaw = 1 << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarn::xpress;
  if (size < 3) return 0;
  const uint8_t mode = data[0] % 3;
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
    std::vector<uint8_t> packed, back;
    if (!c.compress(data, size, SIZE_MAX, packed)) std::abort();
    if (!Decompress(packed.data(), packed.size(), size, back)) std::abort();
    if (back.size() != size || (size != 0 && std::memcmp(back.data(), data, size) != 0)) std::abort();
  }
  return 0;
}
