#include "platform/xpress_huffman_block_writer.h"

#include "platform/xpress_huffman_codes.h"

namespace tarn::xpress {
namespace {

// Bits go into 16-bit little-endian words, most significant bit first. Two
// words are always reserved ahead of the one being filled, and the escape
// bytes of long match lengths go after them: that is where a decoder, which
// reads 32 bits ahead, finds its byte position.
class BitWriter {
 public:
  BitWriter(uint8_t* out, size_t start) : out_(out), pos1_(start), pos2_(start + 2), cur_(start + 4) {}
  void bits(uint32_t value, uint32_t count) {
    acc_ = (acc_ << count) | value;
    count_ += count;
    // A word is written only when a bit beyond it arrives, never when it is
    // just full: escape bytes in between must land after the next word.
    if (count_ > 16) {
      count_ -= 16;
      Put16(out_ + pos1_, uint32_t(acc_ >> count_));
      pos1_ = pos2_;
      pos2_ = cur_;
      cur_ += 2;
    }
  }
  void byte(uint32_t b) { out_[cur_++] = uint8_t(b); }
  void word(uint32_t w) {
    Put16(out_ + cur_, w);
    cur_ += 2;
  }
  size_t finish() {
    Put16(out_ + pos1_, uint32_t(acc_ << (16 - count_)));
    Put16(out_ + pos2_, 0);
    return cur_;
  }

 private:
  uint8_t* out_;
  size_t pos1_, pos2_, cur_;
  uint64_t acc_ = 0;
  uint32_t count_ = 0;
};

}  // namespace

size_t WriteBlock(const uint8_t* raw, uint32_t rawLength, const Token* tokens, uint32_t count,
                  const BlockCounts& counts, bool last, uint8_t* out, size_t capacity, uint8_t* lens) {
  std::array<uint32_t, kNumSymbols> freq = counts.freq;
  if (last) freq[kEndSymbol]++;
  BuildCodeLengths(freq.data(), lens);
  uint64_t bits = counts.offsetBits;
  for (uint32_t k = 0; k < kNumSymbols; ++k) bits += uint64_t(freq[k]) * lens[k];
  const size_t blockBytes = kTableBytes + 2 * ((bits + 15) / 16 + 1) + counts.escapeBytes;
  if (blockBytes > capacity) return 0;

  for (uint32_t k = 0; k < kTableBytes; ++k) out[k] = uint8_t(lens[2 * k] | (lens[2 * k + 1] << 4));
  std::array<uint16_t, kNumSymbols> codes{};
  BuildCanonicalCodes(lens, codes.data());
  BitWriter w(out, kTableBytes);
  const uint8_t* lit = raw;
  for (uint32_t m = 0; m < count; ++m) {
    const Token& t = tokens[m];
    for (const uint8_t* e = lit + t.literals; lit < e; ++lit) w.bits(codes[*lit], lens[*lit]);
    const uint32_t l = t.lengthCode;
    const uint32_t sym = MatchSymbol(l, t.offset);
    w.bits(codes[sym], lens[sym]);
    if (l >= kLengthByteEscape) {
      if (l - kLengthByteEscape < kLengthWordEscape) {
        w.byte(l - kLengthByteEscape);
      } else {
        w.byte(kLengthWordEscape);
        w.word(l);
      }
    }
    const uint32_t ob = OffsetBits(t.offset);
    w.bits(t.offset - (1u << ob), ob);
    lit += l + kMinMatch;
  }
  for (; lit < raw + rawLength; ++lit) w.bits(codes[*lit], lens[*lit]);
  if (last) w.bits(codes[kEndSymbol], lens[kEndSymbol]);
  return w.finish();
}

}  // namespace tarn::xpress
