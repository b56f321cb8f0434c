// The framed form: header, then a length and a stream (or the raw bytes)
// per chunk.
#include "platform/xpress_huffman.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "platform/xpress_huffman_symbols.h"

namespace tarn::xpress {
namespace {

inline void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
inline void Put64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = uint8_t(v >> (8 * i));
}
inline uint64_t Read64(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

}  // namespace

size_t MaxFramedSize(size_t rawSize, size_t chunkSize) {
  size_t chunks = chunkSize == 0 ? 0 : (rawSize + chunkSize - 1) / chunkSize;
  return kFrameHeaderSize + chunks * kChunkLengthSize + rawSize;
}

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  crc = ~crc;
  for (size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

bool Compressor::compress(const uint8_t* data, size_t size, size_t capacity, std::vector<uint8_t>& out,
                          size_t chunkSize) {
  out.clear();
  if (chunkSize == 0 || capacity < kFrameHeaderSize) return false;
  out.resize(std::min(capacity, MaxFramedSize(size, chunkSize)));
  uint8_t* o = out.data();
  std::memcpy(o, kFrameMagic, 4);
  Put16(o + 4, kFrameHeaderSize);
  o[7] = kAlgorithmXpressHuffman;
  Put64(o + 8, size);
  Put64(o + 16, chunkSize);
  uint32_t crc = Crc32(o, 6);
  crc = Crc32(o + 7, kFrameHeaderSize - 7, crc);
  o[6] = uint8_t(crc);

  size_t pos = kFrameHeaderSize;
  for (size_t done = 0; done < size;) {
    size_t raw = std::min(chunkSize, size - done);
    if (out.size() - pos < kChunkLengthSize) {
      out.clear();
      return false;
    }
    size_t room = out.size() - pos - kChunkLengthSize;
    // Only a stream shorter than the raw chunk is worth keeping; one of equal
    // length would read back as a raw chunk.
    size_t streamLen = raw > 1 ? compressStream(data + done, raw, o + pos + kChunkLengthSize,
                                                std::min(room, raw - 1))
                               : 0;
    if (streamLen == 0) {
      if (raw > room) {
        out.clear();
        return false;
      }
      std::memcpy(o + pos + kChunkLengthSize, data + done, raw);
      streamLen = raw;
    }
    Put32(o + pos, uint32_t(streamLen));
    pos += kChunkLengthSize + streamLen;
    done += raw;
  }
  out.resize(pos);
  return true;
}

bool Decompress(const uint8_t* in, size_t size, size_t expectedRaw, std::vector<uint8_t>& out) {
  out.clear();
  if (size < kFrameHeaderSize || std::memcmp(in, kFrameMagic, 4) != 0) return false;
  if (Read16(in + 4) != kFrameHeaderSize || in[7] != kAlgorithmXpressHuffman) return false;
  uint32_t crc = Crc32(in, 6);
  crc = Crc32(in + 7, kFrameHeaderSize - 7, crc);
  if (uint8_t(crc) != in[6]) return false;
  uint64_t raw = Read64(in + 8);
  uint64_t chunkSize = Read64(in + 16);
  if (raw != expectedRaw || chunkSize == 0) return false;
  // Every chunk carries at least its length word: a header announcing more
  // chunks than the input can hold is refused before the output exists.
  uint64_t chunks = raw / chunkSize + (raw % chunkSize != 0 ? 1 : 0);
  if (chunks > (size - kFrameHeaderSize) / kChunkLengthSize) return false;

  out.resize(expectedRaw);
  size_t pos = kFrameHeaderSize;
  for (uint64_t done = 0; done < raw;) {
    size_t chunkRaw = size_t(std::min<uint64_t>(chunkSize, raw - done));
    if (size - pos < kChunkLengthSize) break;
    size_t len = uint32_t(Read16(in + pos) | (Read16(in + pos + 2) << 16));
    pos += kChunkLengthSize;
    if (len > size - pos) break;
    if (len == chunkRaw) {
      std::memcpy(out.data() + done, in + pos, len);
    } else if (!DecompressStream(in + pos, len, out.data() + done, chunkRaw)) {
      break;
    }
    pos += len;
    done += chunkRaw;
    if (done == raw) {
      if (pos == size) return true;
      break;
    }
  }
  if (raw == 0 && pos == size) return true;
  out.clear();
  out.shrink_to_fit();
  return false;
}

}  // namespace tarn::xpress
