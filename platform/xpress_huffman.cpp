#include "platform/xpress_huffman.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace tarn::xpress {
namespace {

// The match finder keeps, per hash of the next five bytes, the newest
// position with that hash: one candidate per position, no chains. Measured
// beside the reference compressor, three candidates a position saved under
// 1 % of size for a fifth more time, ten with full lazy matching 2.5 % for
// twice the time; hashing four bytes lost more on text in short matches
// with costly offsets than it gained on machine code. A table of four times
// the window leaves few positions sharing a slot with a stranger: a smaller
// one was slower, its false candidates costing more than its cache misses.
constexpr unsigned kHashBits = 18;
constexpr uint32_t kHashSize = 1u << kHashBits;
constexpr uint32_t kWindowSize = kMaxOffset + 1;
// Lazy evaluation (a longer match a byte later wins) below this length.
constexpr uint32_t kMaxLazyLength = 8;
// Positions entered at the end of each match; those before are left out,
// as matches starting inside another are rare.
constexpr uint32_t kTailInserts = 2;
// After this many positions without a match the parser starts skipping, so
// incompressible data is rejected at a fraction of the full search cost.
constexpr uint32_t kSkipTrigger = 24;
constexpr uint32_t kSkipShift = 4;
constexpr uint32_t kLengthByteEscape = 15;   // low nibble meaning "length follows"
constexpr uint32_t kLengthWordEscape = 255;  // length byte meaning "16-bit length follows"

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

// Hashing reads eight bytes and uses the first five.
constexpr uint32_t kHashBytesRead = 8;
inline uint32_t Hash(const uint8_t* p) {
  return uint32_t(((Load64(p) << 24) * 0x9E3779B185EBCA87ull) >> (64 - kHashBits));
}
inline uint32_t OffsetBits(uint32_t offset) { return 31 - uint32_t(std::countl_zero(offset)); }

// Length of the common prefix of a and b, at most `limit`; a precedes b.
inline uint32_t MatchLength(const uint8_t* a, const uint8_t* b, uint32_t limit) {
  uint32_t n = 0;
  while (n + 8 <= limit) {
    uint64_t x = Load64(a + n) ^ Load64(b + n);
    if (x != 0) return n + uint32_t(std::countr_zero(x)) / 8;
    n += 8;
  }
  while (n < limit && a[n] == b[n]) ++n;
  return n;
}

// Minimum-redundancy code lengths in place (Moffat and Katajainen): `a`
// holds n >= 2 weights in ascending order and receives their code lengths.
void MinimumRedundancy(uint32_t* a, int n) {
  int root = 0, leaf = 2, next;
  a[0] += a[1];
  for (next = 1; next < n - 1; ++next) {
    if (leaf >= n || a[root] < a[leaf]) {
      a[next] = a[root];
      a[root++] = uint32_t(next);
    } else {
      a[next] = a[leaf++];
    }
    if (leaf >= n || (root < next && a[root] < a[leaf])) {
      a[next] += a[root];
      a[root++] = uint32_t(next);
    } else {
      a[next] += a[leaf++];
    }
  }
  a[n - 2] = 0;
  for (next = n - 3; next >= 0; --next) a[next] = a[a[next]] + 1;
  int avail = 1, used = 0;
  uint32_t depth = 0;
  root = n - 2;
  next = n - 1;
  while (avail > 0) {
    while (root >= 0 && a[root] == depth) {
      ++used;
      --root;
    }
    while (avail > used) {
      a[next--] = depth;
      --avail;
    }
    avail = 2 * used;
    ++depth;
    used = 0;
  }
}

// Code lengths of at most 15 bits forming a complete prefix code.
void BuildLengths(const uint32_t* freq, uint8_t* lens) {
  std::array<uint16_t, kNumSymbols> syms;
  int n = 0;
  for (uint32_t s = 0; s < kNumSymbols; ++s)
    if (freq[s] != 0) syms[n++] = uint16_t(s);
  std::memset(lens, 0, kNumSymbols);
  if (n < 2) {
    // A one-symbol alphabet still needs a complete code for the decoder.
    uint32_t only = n == 1 ? syms[0] : 0;
    lens[only] = 1;
    lens[only == 0 ? 1 : 0] = 1;
    return;
  }
  std::sort(syms.begin(), syms.begin() + n, [&](uint16_t x, uint16_t y) {
    return freq[x] != freq[y] ? freq[x] < freq[y] : x < y;
  });
  std::array<uint32_t, kNumSymbols> a;
  for (int i = 0; i < n; ++i) a[i] = freq[syms[i]];
  MinimumRedundancy(a.data(), n);

  std::array<uint32_t, kMaxCodeLength + 1> count{};
  for (int i = 0; i < n; ++i) count[std::min<uint32_t>(a[i], kMaxCodeLength)]++;
  uint32_t total = 0;
  for (uint32_t l = 1; l <= kMaxCodeLength; ++l) total += count[l] << (kMaxCodeLength - l);
  // Folding over-long codes to 15 bits over-subscribes the code; lengthen
  // shorter codes until the Kraft sum is exact again.
  while (total > (1u << kMaxCodeLength)) {
    count[kMaxCodeLength]--;
    for (uint32_t l = kMaxCodeLength - 1; l > 0; --l) {
      if (count[l] != 0) {
        count[l]--;
        count[l + 1] += 2;
        break;
      }
    }
    total--;
  }
  int i = 0;
  for (uint32_t l = kMaxCodeLength; l > 0; --l)
    for (uint32_t k = 0; k < count[l]; ++k) lens[syms[i++]] = uint8_t(l);
}

void CanonicalCodes(const uint8_t* lens, uint16_t* codes) {
  std::array<uint32_t, kMaxCodeLength + 2> count{}, next{};
  for (uint32_t s = 0; s < kNumSymbols; ++s) count[lens[s]]++;
  count[0] = 0;
  uint32_t code = 0;
  for (uint32_t l = 1; l <= kMaxCodeLength; ++l) {
    code = (code + count[l - 1]) << 1;
    next[l] = code;
  }
  for (uint32_t s = 0; s < kNumSymbols; ++s)
    if (lens[s] != 0) codes[s] = uint16_t(next[lens[s]]++);
}

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

// One match of a block's parse, after the literals that precede it.
struct Match {
  uint32_t literals;  // literal bytes between the previous match and this one
  uint16_t length;    // length minus kMinMatch
  uint16_t offset;
};

struct Compressor::Scratch {
  // The stamp (base + position) of the newest position per hash. Successive
  // streams are a whole window apart in stamps, so entries left by earlier
  // streams read as out of reach and nothing is cleared per call.
  std::vector<uint32_t> head = std::vector<uint32_t>(kHashSize, 0);
  std::unique_ptr<Match[]> matches{new Match[kBlockSize / kMinMatch + 1]};
  uint32_t base = kWindowSize;
};

Compressor::Compressor() : s_(std::make_unique<Scratch>()) {}
Compressor::~Compressor() = default;

size_t Compressor::compressStream(const uint8_t* data, size_t size, uint8_t* out, size_t capacity) {
  Scratch& s = *s_;
  // Stamps are 32-bit: a stream and the gap after it must fit in them even
  // right after the table was cleared.
  constexpr uint64_t kMaxStamp = 0xFFFFFFFFu;
  if (size > kMaxStamp - 2 * uint64_t(kWindowSize)) return 0;
  const uint32_t n = uint32_t(size);
  if (uint64_t(s.base) + n + kWindowSize > kMaxStamp) {
    std::fill(s.head.begin(), s.head.end(), 0);
    s.base = kWindowSize;
  }
  const uint32_t base = s.base;
  s.base = base + n + kWindowSize;
  uint32_t* head = s.head.data();
  Match* matches = s.matches.get();
  // Positions whose hashed bytes lie inside the data.
  const uint32_t hashEnd = n >= kHashBytesRead ? n - (kHashBytesRead - 1) : 0;

  // Enters p (hashing to h) and returns the distance to the position it
  // replaces, which is out of reach (beyond kMaxOffset) when there is none.
  auto enter = [&](uint32_t p, uint32_t h) __attribute__((always_inline)) -> uint32_t {
    const uint32_t dist = base + p - head[h];
    head[h] = base + p;
    return dist;
  };
  // The length of the match at distance dist from p (at least kMinMatch),
  // or 0.
  auto matchAt = [&](uint32_t p, uint32_t dist, uint32_t limit) __attribute__((always_inline)) -> uint32_t {
    if (dist > kMaxOffset) return 0;
    const uint8_t* cur = data + p;
    if (Load32(cur - dist) != Load32(cur)) return 0;
    // Within the last bytes of a block that is not the stream's last, the
    // limit can cut a match below the shortest one the format has.
    const uint32_t len = MatchLength(cur - dist, cur, limit);
    return len >= kMinMatch ? len : 0;
  };

  size_t total = 0;
  uint32_t blockStart = 0;
  do {
    const uint32_t blockEnd = std::min<uint32_t>(n, blockStart + uint32_t(kBlockSize));
    const uint32_t searchEnd = std::min(blockEnd, hashEnd);
    const bool last = blockEnd == n;
    std::array<uint32_t, kNumSymbols> freq{};
    uint64_t extraBits = 0;
    size_t escapeBytes = 0;
    uint32_t nmatch = 0;
    uint32_t p = blockStart;
    uint32_t litStart = p;
    uint32_t misses = 0;
    uint32_t h = p < searchEnd ? Hash(data + p) : 0;

    while (p < searchEnd) {
      const uint32_t dist = enter(p, h);
      // The next position's table entry is a cache miss: start it now, and
      // keep its hash for when the search moves on by one.
      const uint32_t hNext = p + 1 < hashEnd ? Hash(data + p + 1) : 0;
      __builtin_prefetch(&head[hNext]);
      uint32_t len = matchAt(p, dist, blockEnd - p);
      if (len == 0) {
        h = hNext;
        ++p;
        if (++misses > kSkipTrigger) {
          // Nothing matched for a while: step over bytes without searching.
          p += (misses - kSkipTrigger) >> kSkipShift;
          if (p < searchEnd) h = Hash(data + p);
        }
        continue;
      }
      misses = 0;
      uint32_t off = dist;
      // One step of lazy evaluation: a longer match a byte later wins.
      if (len < kMaxLazyLength && p + 1 < searchEnd) {
        const uint32_t dist1 = enter(p + 1, hNext);
        const uint32_t len1 = matchAt(p + 1, dist1, blockEnd - p - 1);
        if (len1 > len) {
          ++p;
          len = len1;
          off = dist1;
        }
      }
      for (uint32_t q = litStart; q < p; ++q) freq[data[q]]++;
      const uint32_t l = len - kMinMatch;
      const uint32_t ob = OffsetBits(off);
      freq[kEndSymbol + (ob << 4) + std::min(l, kLengthByteEscape)]++;
      extraBits += ob;
      if (l >= kLengthByteEscape) escapeBytes += (l - kLengthByteEscape < kLengthWordEscape) ? 1 : 3;
      matches[nmatch++] = Match{p - litStart, uint16_t(l), uint16_t(off)};
      p += len;
      litStart = p;
      // Only the last positions of a match are entered: matches starting
      // inside one are rare, and entering every position cost a third of
      // the time.
      for (uint32_t q = p - std::min(len - 1, kTailInserts); q < std::min(p, searchEnd); ++q) enter(q, Hash(data + q));
      if (p < searchEnd) h = Hash(data + p);
    }
    for (uint32_t q = litStart; q < blockEnd; ++q) freq[data[q]]++;
    if (last) freq[kEndSymbol]++;

    std::array<uint8_t, kNumSymbols> lens;
    BuildLengths(freq.data(), lens.data());
    uint64_t bits = extraBits;
    for (uint32_t k = 0; k < kNumSymbols; ++k) bits += uint64_t(freq[k]) * lens[k];
    size_t blockBytes = kTableBytes + 2 * ((bits + 15) / 16 + 1) + escapeBytes;
    if (blockBytes > capacity - total) return 0;

    uint8_t* o = out + total;
    for (uint32_t k = 0; k < kTableBytes; ++k) o[k] = uint8_t(lens[2 * k] | (lens[2 * k + 1] << 4));
    std::array<uint16_t, kNumSymbols> codes{};
    CanonicalCodes(lens.data(), codes.data());
    BitWriter w(o, kTableBytes);
    const uint8_t* lit = data + blockStart;
    for (uint32_t m = 0; m < nmatch; ++m) {
      const Match& mt = matches[m];
      for (const uint8_t* e = lit + mt.literals; lit < e; ++lit) w.bits(codes[*lit], lens[*lit]);
      const uint32_t l = mt.length;
      const uint32_t off = mt.offset;
      const uint32_t ob = OffsetBits(off);
      const uint32_t sym = kEndSymbol + (ob << 4) + std::min(l, kLengthByteEscape);
      w.bits(codes[sym], lens[sym]);
      if (l >= kLengthByteEscape) {
        if (l - kLengthByteEscape < kLengthWordEscape) {
          w.byte(l - kLengthByteEscape);
        } else {
          w.byte(kLengthWordEscape);
          w.word(l);
        }
      }
      if (ob != 0) w.bits(off - (1u << ob), ob);
      lit += l + kMinMatch;
    }
    for (; lit < data + blockEnd; ++lit) w.bits(codes[*lit], lens[*lit]);
    if (last) w.bits(codes[kEndSymbol], lens[kEndSymbol]);
    total += w.finish();
    blockStart = blockEnd;
  } while (blockStart < n);

  return total;
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

namespace {

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
