// The encoder's Huffman codes: code lengths of at most kMaxCodeLength bits
// from symbol counts, and the canonical codes the format derives from them.
// Internal to the codec; reentrant.
#pragma once

#include <cstdint>

#include "platform/xpress_huffman.h"

namespace tarn::xpress {

// Lengths for kNumSymbols counts, forming a complete prefix code (the
// decoders refuse any other), optimal unless a length had to be cut to 15
// bits. Symbols that never occur get 0, except that a code needs at least
// two symbols.
void BuildCodeLengths(const uint32_t* freq, uint8_t* lens);

// Canonical codes: shorter codes first, equal lengths in symbol order.
void BuildCanonicalCodes(const uint8_t* lens, uint16_t* codes);

}  // namespace tarn::xpress
