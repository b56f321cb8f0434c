// Writing one block of a stream: the 256-byte table of code lengths, then
// the parse's literals and matches in Huffman codes, offset bits and length
// escape bytes. The parser gathers the counts while it parses, so the block
// is sized before a byte is written. Internal to the codec; reentrant.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/xpress_huffman_symbols.h"

namespace tarn::xpress {

// One match of a block's parse, after the literals that precede it.
struct Token {
  uint32_t literals;    // literal bytes between the previous match and this one
  uint16_t lengthCode;  // match length minus kMinMatch
  uint16_t offset;
};

// What a block's symbols cost outside their Huffman codes, and how often
// each symbol occurs.
struct BlockCounts {
  std::array<uint32_t, kNumSymbols> freq{};
  uint64_t offsetBits = 0;
  size_t escapeBytes = 0;

  void addLiterals(const uint8_t* p, const uint8_t* end) {
    for (; p < end; ++p) freq[*p]++;
  }
  void addMatch(uint32_t lengthCode, uint32_t offset) {
    freq[MatchSymbol(lengthCode, offset)]++;
    offsetBits += OffsetBits(offset);
    if (lengthCode >= kLengthByteEscape) escapeBytes += lengthCode - kLengthByteEscape < kLengthWordEscape ? 1 : 3;
  }
};

// Writes the block of raw[0, rawLength) parsed as `tokens` (literals after
// the last token run to rawLength), with the end symbol when it is the
// stream's last, and leaves its code lengths in lens[kNumSymbols]. Returns
// its length, or 0 when it would exceed `capacity`.
size_t WriteBlock(const uint8_t* raw, uint32_t rawLength, const Token* tokens, uint32_t count,
                  const BlockCounts& counts, bool last, uint8_t* out, size_t capacity, uint8_t* lens);

}  // namespace tarn::xpress
