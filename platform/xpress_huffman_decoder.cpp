// Decoding one stream. The decoder takes hostile input: every table,
// length and bit read is bounds-checked, and it fails rather than read or
// write outside a buffer.
#include <algorithm>
#include <array>

#include "platform/xpress_huffman.h"
#include "platform/xpress_huffman_symbols.h"

namespace tarn::xpress {
namespace {

// The decoding table: a first lookup on kRootBits bits, and for the few
// longer codes a second one on the next kSubBits bits. An entry holds the
// symbol and its code length, or (kLinkFlag set) where the code's second
// table starts. Small enough to stay in the first-level cache, which the
// one-lookup table of all 15 bits (64 KiB) did not.
constexpr unsigned kRootBits = 11;
constexpr unsigned kSubBits = kMaxCodeLength - kRootBits;
constexpr uint32_t kRootSize = 1u << kRootBits;
constexpr uint32_t kSubSize = 1u << kSubBits;
// A complete code has at least two codes under each first-level entry that
// links on, so at most half its symbols' worth of second tables.
constexpr uint32_t kTableEntries = kRootSize + kNumSymbols / 2 * kSubSize;
constexpr uint32_t kLinkFlag = 0x80;
constexpr uint32_t kLengthMask = 0x1F;

// Builds the table from a block's 256-byte length table. False unless the
// lengths form a complete prefix code (neither over- nor under-subscribed).
bool BuildDecodeTable(const uint8_t* lengths, uint32_t* table) {
  std::array<uint16_t, kNumSymbols> sorted;
  std::array<uint32_t, kMaxCodeLength + 2> start{};
  for (uint32_t i = 0; i < kTableBytes; ++i) {
    start[(lengths[i] & 0x0F) + 1]++;
    start[(lengths[i] >> 4) + 1]++;
  }
  start[1] = 0;  // symbols of length 0 are not part of the code
  for (uint32_t l = 2; l <= kMaxCodeLength + 1; ++l) start[l] += start[l - 1];
  const uint32_t coded = start[kMaxCodeLength + 1];
  for (uint32_t s = 0; s < kNumSymbols; ++s) {
    const uint32_t len = (lengths[s >> 1] >> ((s & 1) * 4)) & 0x0F;
    if (len != 0) sorted[start[len]++] = uint16_t(s);
  }
  // Codes in order of (length, symbol), each covering 2^(15-len) of the
  // 15-bit code space; the space must be filled exactly.
  constexpr uint32_t kSpace = 1u << kMaxCodeLength;
  uint32_t at = 0, next = kRootSize, linkedRoot = kRootSize;
  for (uint32_t k = 0; k < coded; ++k) {
    const uint32_t sym = sorted[k];
    const uint32_t len = (lengths[sym >> 1] >> ((sym & 1) * 4)) & 0x0F;
    const uint32_t span = 1u << (kMaxCodeLength - len);
    if (span > kSpace - at) return false;
    const uint32_t entry = (sym << 8) | len;
    if (len <= kRootBits) {
      std::fill(table + (at >> kSubBits), table + ((at + span) >> kSubBits), entry);
    } else {
      const uint32_t root = at >> kSubBits;
      if (root != linkedRoot) {
        if (next + kSubSize > kTableEntries) return false;
        linkedRoot = root;
        table[root] = (next << 8) | kLinkFlag;
        next += kSubSize;
      }
      const uint32_t sub = (table[root] >> 8) + (at & (kSubSize - 1));
      std::fill(table + sub, table + sub + span, entry);
    }
    at += span;
  }
  return at == kSpace;
}

// The eight bytes at pos as one load would give them, with zeros past the
// end. Out of line, and free of the reader's state so that the reader stays
// in registers.
__attribute__((noinline)) uint64_t TailLoad(const uint8_t* in, size_t size, size_t pos) {
  uint8_t tail[8] = {};
  for (size_t i = 0; i < 8 && pos + i < size; ++i) tail[i] = in[pos + i];
  return Load64(tail);
}

// Four 16-bit little-endian words as loaded, put in reading order with the
// first at the top.
inline uint64_t WordOrder(uint64_t x) {
  x = (x << 32) | (x >> 32);
  return ((x & 0x0000FFFF0000FFFFull) << 16) | ((x >> 16) & 0x0000FFFF0000FFFFull);
}

// Reads one block's bits: 16-bit little-endian words, most significant bit
// first, kept at 48 bits or more by whole words. The format's own reader
// holds only what the next step needs (16 to 31 bits), and the escape
// bytes of long match lengths sit where its input position is; rewind
// finds that position and drops the words read ahead of it.
class BlockBits {
 public:
  BlockBits(const uint8_t* in, size_t size, size_t start)
      : in_(in), size_(size), last_(size >= 8 ? size - 8 : 0), pos_(start), segmentStart_(start) {
    buf_ = load();
    count_ = 48;
    pos_ += 6;
  }
  // Tops up to at least 48 bits (at most 63); only bits below the ones held
  // change, so a table lookup on the top bits need not wait for it. The
  // buffer's bits below the count are the stream's next bits already (or
  // zeros), so adding the same bits again changes nothing.
  void fill() {
    const uint32_t words = (63 - count_) >> 4;
    buf_ |= load() >> count_;
    count_ += 16 * words;
    pos_ += 2 * words;
  }
  uint64_t peek() const { return buf_; }
  void consume(uint32_t n) {
    buf_ <<= n;
    count_ -= n;
  }
  // The top n bits (n <= 16) as a number; 0 when n is 0.
  uint32_t take(uint32_t n) {
    const uint32_t v = uint32_t((buf_ >> 32) >> (32 - n));
    consume(n);
    return v;
  }
  // Where the format's reader stands now: the byte after the words it has
  // loaded. Drops what this reader fetched beyond them.
  size_t rewind() {
    const uint64_t loaded = segmentWords_ + (pos_ - segmentStart_) / 2;
    const uint64_t used = 16 * loaded - count_;
    const uint64_t held = used <= 16 ? 2 : (used + 15) / 16 + 1;
    const size_t at = pos_ - 2 * size_t(loaded - held);
    count_ = uint32_t(16 * held - used);
    buf_ &= ~uint64_t(0) << (64 - count_);
    segmentWords_ = held;
    pos_ = at;
    return at;
  }
  // Continues after bytes read from the input at the reader's position.
  void resume(size_t at) {
    pos_ = at;
    segmentStart_ = at;
    fill();
  }

 private:
  // Past the end, zeros: rewind finds they were never there.
  uint64_t load() const { return WordOrder(pos_ <= last_ ? Load64(in_ + pos_) : TailLoad(in_, size_, pos_)); }

  const uint8_t* in_;
  size_t size_;
  size_t last_;  // the last position a whole 8-byte load may start at
  size_t pos_;
  uint64_t buf_ = 0;
  uint32_t count_ = 0;
  // Words are fetched from segmentStart_ on, after segmentWords_ words
  // (counted from the block's start) that came before the last escape.
  size_t segmentStart_;
  uint64_t segmentWords_ = 0;
};

inline void CopyMatch(uint8_t* out, size_t op, size_t rawSize, uint32_t offset, uint32_t length) {
  uint8_t* dst = out + op;
  const uint8_t* src = dst - offset;
  if (offset >= 16 && rawSize - op >= size_t(length) + 16) {
    // Whole 16-byte pieces; the last may run past the match, into output
    // not yet written. Most matches take one.
    uint32_t k = 0;
    do {
      uint8_t v[16];
      std::memcpy(v, src + k, 16);
      std::memcpy(dst + k, v, 16);
      k += 16;
    } while (k < length);
  } else if (offset >= 8 && rawSize - op >= size_t(length) + 8) {
    for (uint32_t k = 0; k < length; k += 8) {
      uint64_t v;
      std::memcpy(&v, src + k, 8);
      std::memcpy(dst + k, &v, 8);
    }
  } else if (offset == 1) {
    std::memset(dst, src[0], length);
  } else {
    for (uint32_t k = 0; k < length; ++k) dst[k] = src[k];
  }
}

}  // namespace

bool DecompressStream(const uint8_t* in, size_t size, uint8_t* out, size_t rawSize) {
  uint32_t table[kTableEntries];
  size_t ip = 0, op = 0;
  while (op < rawSize) {
    if (size - ip < kTableBytes + 4) return false;
    if (!BuildDecodeTable(in + ip, table)) return false;
    BlockBits bits(in, size, ip + kTableBytes);
    // A match may run past the block's end; the next block starts there.
    const size_t blockEnd = std::min(rawSize, op + kBlockSize);
    auto sub = [&](uint32_t e) __attribute__((always_inline)) {
      if (e & kLinkFlag) e = table[(e >> 8) + ((bits.peek() >> (64 - kMaxCodeLength)) & (kSubSize - 1))];
      bits.consume(e & kLengthMask);
      return e >> 8;
    };
    while (op < blockEnd) {
      // At least 11 bits are held here: the lookup goes out before the
      // top-up, which it does not depend on.
      uint32_t sym = table[bits.peek() >> (64 - kRootBits)];
      bits.fill();
      sym = sub(sym);
      if (sym < kEndSymbol) {
        out[op++] = uint8_t(sym);
        // 48 bits were held: enough for a second symbol, not for its offset.
        if (op == blockEnd) break;
        sym = sub(table[bits.peek() >> (64 - kRootBits)]);
        if (sym < kEndSymbol) {
          out[op++] = uint8_t(sym);
          continue;
        }
        bits.fill();
      }
      // The end symbol doubles as the match (length 3, offset 1); it ends the
      // stream only once all output is there, which the loop already checks.
      uint32_t length = sym & 0x0F;
      const uint32_t offsetBits = (sym >> 4) & 0x0F;
      if (length == kLengthByteEscape) {
        size_t at = bits.rewind();
        if (at >= size) return false;
        length = in[at++];
        if (length == kLengthWordEscape) {
          if (size - at < 2) return false;
          length = Read16(in + at);
          at += 2;
          if (length < kLengthByteEscape) return false;
          length -= kLengthByteEscape;
        }
        length += kLengthByteEscape;
        bits.resume(at);
      }
      length += kMinMatch;
      const uint32_t offset = (1u << offsetBits) | bits.take(offsetBits);
      if (offset > op || length > rawSize - op) return false;
      CopyMatch(out, op, rawSize, offset, length);
      op += length;
    }
    ip = bits.rewind();
    if (ip > size) return false;
  }
  return true;
}

}  // namespace tarn::xpress
