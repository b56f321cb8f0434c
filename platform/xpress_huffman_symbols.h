// The LZ77+Huffman alphabet as both directions of the codec see it: 256
// literal symbols, then one match symbol per (offset bit count, length
// nibble), the escape bytes of long lengths, and the format's little-endian
// words. Internal to the codec.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "platform/xpress_huffman.h"

namespace tarn::xpress {

constexpr uint32_t kLengthByteEscape = 15;   // length nibble meaning "a length byte follows"
constexpr uint32_t kLengthWordEscape = 255;  // length byte meaning "a 16-bit length follows"

// The position of the highest set bit: the offset's extra bit count.
inline uint32_t OffsetBits(uint32_t offset) { return 31 - uint32_t(std::countl_zero(offset)); }

// The symbol of a match of `length` - kMinMatch bytes at `offset`.
inline uint32_t MatchSymbol(uint32_t lengthCode, uint32_t offset) {
  return kEndSymbol + (OffsetBits(offset) << 4) + (lengthCode < kLengthByteEscape ? lengthCode : kLengthByteEscape);
}

inline uint32_t Load32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline uint64_t Load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}
inline uint32_t Read16(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8); }
inline void Put16(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}

}  // namespace tarn::xpress
