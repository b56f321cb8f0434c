#include "platform/xpress_huffman.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace tarn::xpress {
namespace {

// Chains follow a 4-byte hash. Three-byte matches are not looked for: in
// measurements they cost a table and a cache miss per position and gained
// nothing on text, a tenth of a percent on machine code. A table of twice
// the window keeps chains free of most collisions, which cost more in walk
// steps than the larger table costs in cache.
constexpr unsigned kHashBits = 16;
constexpr uint32_t kHashSize = 1u << kHashBits;
constexpr uint32_t kWindowSize = kMaxOffset + 1;
constexpr uint32_t kWindowMask = kWindowSize - 1;
constexpr uint32_t kDecodeBits = kMaxCodeLength;
constexpr uint32_t kDecodeSize = 1u << kDecodeBits;
// Match search effort: chain steps per position and the length that ends a
// search at once. Chosen by the benchmark against the reference compressor.
constexpr uint32_t kMaxChain = 10;
constexpr uint32_t kNiceLength = 32;
// Lazy evaluation is tried only below this length, and with a quarter of
// the chain once the current match is already good. Up to 16 it gained at
// most a fifth of a percent of size for about a tenth of the time.
constexpr uint32_t kMaxLazyLength = 6;
constexpr uint32_t kGoodLength = 4;
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

inline uint32_t Hash4(const uint8_t* p) { return (Load32(p) * 0x9E3779B1u) >> (32 - kHashBits); }

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

// Match tokens: the offset in the high half (0 for a literal), the literal
// byte or the length minus 3 in the low half.
inline uint32_t LiteralToken(uint8_t b) { return b; }
inline uint32_t MatchToken(uint32_t length, uint32_t offset) { return (offset << 16) | (length - kMinMatch); }

bool BuildDecodeTable(const uint8_t* table, uint8_t* lens, uint16_t* decode) {
  std::array<uint16_t, kNumSymbols> bucketed;
  std::array<uint32_t, kMaxCodeLength + 2> start{};
  for (uint32_t i = 0; i < kTableBytes; ++i) {
    lens[2 * i] = table[i] & 0x0F;
    lens[2 * i + 1] = table[i] >> 4;
  }
  for (uint32_t s = 0; s < kNumSymbols; ++s) start[lens[s] + 1]++;
  start[1] = 0;  // symbols of length 0 are not part of the code
  for (uint32_t l = 2; l <= kMaxCodeLength + 1; ++l) start[l] += start[l - 1];
  for (uint32_t s = 0; s < kNumSymbols; ++s)
    if (lens[s] != 0) bucketed[start[lens[s]]++] = uint16_t(s);
  // Entries in order of (length, symbol): each symbol of length L fills
  // 2^(15-L) slots; the slots must be filled exactly, no more and no less.
  uint32_t used = 0, k = 0;
  for (uint32_t l = 1; l <= kMaxCodeLength; ++l) {
    uint32_t span = 1u << (kMaxCodeLength - l);
    uint32_t end = start[l];
    for (; k < end; ++k) {
      if (used + span > kDecodeSize) return false;
      std::fill(decode + used, decode + used + span, bucketed[k]);
      used += span;
    }
  }
  return used == kDecodeSize;
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

struct Compressor::Scratch {
  // head holds the stamp (base + position) of the newest position per hash.
  // Successive streams are a whole window apart in stamps, so entries left
  // by earlier streams read as out of reach and nothing is cleared per call.
  std::vector<uint32_t> head = std::vector<uint32_t>(kHashSize, 0);
  // Distance from each position to the previous one with the same hash;
  // kMaxOffset when there is none in reach, which takes any walk out of the
  // window by the same test that ends it there. Left uninitialised: an entry
  // is written when its position is inserted, before any walk can reach it,
  // and tokens are written first.
  std::unique_ptr<uint16_t[]> prevDist{new uint16_t[kWindowSize]};
  std::unique_ptr<uint32_t[]> tokens{new uint32_t[kBlockSize + 1]};
  uint32_t base = kWindowSize;
};

Compressor::Compressor() : s_(std::make_unique<Scratch>()) {}
Compressor::~Compressor() = default;

size_t Compressor::compressStream(const uint8_t* data, size_t size, uint8_t* out, size_t capacity) {
  Scratch& s = *s_;
  // Stamps are 32-bit: a stream and the gap after it must fit in them even
  // right after the tables were cleared.
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
  uint16_t* prevDist = s.prevDist.get();
  uint32_t* tokens = s.tokens.get();
  const uint32_t hashEnd = n >= 4 ? n - 3 : 0;  // positions that can be hashed
  uint32_t nextInsert = 0;

  // Links p into its chain and returns the distance to the previous
  // position with the same hash (beyond kMaxOffset when there is none).
  auto link = [&](uint32_t p, uint32_t h) __attribute__((always_inline)) -> uint32_t {
    const uint32_t dist = base + p - head[h];
    prevDist[p & kWindowMask] = uint16_t(std::min(dist, kMaxOffset));
    head[h] = base + p;
    return dist;
  };
  // Finds the longest match at p (inserting p) and returns its length, or 0.
  // Inlined at both call sites: as a call it spent a sixth of the time
  // saving and restoring registers.
  auto search = [&](uint32_t p, uint32_t limit, uint32_t chainLimit, uint32_t& offset)
                    __attribute__((always_inline)) -> uint32_t {
    if (p >= hashEnd) return 0;
    while (nextInsert < p) {
      link(nextInsert, Hash4(data + nextInsert));
      ++nextInsert;
    }
    nextInsert = p + 1;
    const uint8_t* cur = data + p;
    const uint32_t cur4 = Load32(cur);
    uint32_t dist = link(p, Hash4(cur));
    if (p + 1 < hashEnd) __builtin_prefetch(&head[Hash4(cur + 1)]);
    uint32_t best = 0;
    uint32_t probe = kMinMatch;  // byte index that must match to beat `best`
    for (uint32_t chain = chainLimit; dist <= kMaxOffset;) {
      const uint8_t* c = cur - dist;
      // One branch for both tests: whether a candidate matches is close to
      // a coin toss, and each misprediction costs more than the loads.
      if (((Load32(c + probe - 3) ^ Load32(cur + probe - 3)) | (Load32(c) ^ cur4)) == 0) {
        uint32_t len = MatchLength(c, cur, limit);
        if (len > best) {
          best = len;
          offset = dist;
          if (len >= kNiceLength || len >= limit) break;
          probe = len;
        }
      }
      if (--chain == 0) break;
      dist += prevDist[(p - dist) & kWindowMask];
    }
    return best >= kMinMatch ? best : 0;
  };

  size_t total = 0;
  uint32_t blockStart = 0;
  do {
    const uint32_t blockEnd = std::min<uint32_t>(n, blockStart + uint32_t(kBlockSize));
    const bool last = blockEnd == n;
    std::array<uint32_t, kNumSymbols> freq{};
    uint64_t extraBits = 0;
    size_t escapeBytes = 0;
    uint32_t ntok = 0;
    uint32_t p = blockStart;
    uint32_t misses = 0;

    auto literal = [&](uint32_t q) {
      tokens[ntok++] = LiteralToken(data[q]);
      freq[data[q]]++;
    };
    auto match = [&](uint32_t len, uint32_t off) {
      tokens[ntok++] = MatchToken(len, off);
      uint32_t l = len - kMinMatch;
      uint32_t ob = OffsetBits(off);
      freq[kEndSymbol + (ob << 4) + std::min(l, kLengthByteEscape)]++;
      extraBits += ob;
      if (l >= kLengthByteEscape) escapeBytes += (l - kLengthByteEscape < kLengthWordEscape) ? 1 : 3;
    };

    while (p < blockEnd) {
      uint32_t limit = blockEnd - p;
      uint32_t off = 0;
      uint32_t len = limit >= kMinMatch ? search(p, limit, kMaxChain, off) : 0;
      if (len == 0) {
        literal(p++);
        if (++misses > kSkipTrigger) {
          // Nothing matched for a while: step over bytes without searching.
          uint32_t step = (misses - kSkipTrigger) >> kSkipShift;
          for (uint32_t k = 0; k < step && p < blockEnd; ++k) literal(p++);
          nextInsert = std::max(nextInsert, p);
        }
        continue;
      }
      misses = 0;
      // Lazy evaluation: a longer match one byte later wins over this one.
      while (len < kMaxLazyLength && p + 1 < blockEnd) {
        uint32_t off1 = 0;
        uint32_t len1 = search(p + 1, blockEnd - p - 1, len >= kGoodLength ? kMaxChain / 4 : kMaxChain, off1);
        if (len1 <= len) break;
        literal(p++);
        len = len1;
        off = off1;
      }
      match(len, off);
      p += len;
    }
    for (; nextInsert < std::min(p, hashEnd); ++nextInsert) link(nextInsert, Hash4(data + nextInsert));
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
    for (uint32_t t = 0; t < ntok; ++t) {
      uint32_t tok = tokens[t];
      uint32_t off = tok >> 16;
      if (off == 0) {
        w.bits(codes[tok], lens[tok]);
        continue;
      }
      uint32_t l = tok & 0xFFFF;
      uint32_t ob = OffsetBits(off);
      uint32_t sym = kEndSymbol + (ob << 4) + std::min(l, kLengthByteEscape);
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
    }
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

bool DecompressStream(const uint8_t* in, size_t size, uint8_t* out, size_t rawSize) {
  std::vector<uint16_t> decode(kDecodeSize);
  std::array<uint8_t, kNumSymbols> lens;
  size_t ip = 0, op = 0;
  while (op < rawSize) {
    if (size - ip < kTableBytes + 4) return false;
    if (!BuildDecodeTable(in + ip, lens.data(), decode.data())) return false;
    size_t cp = ip + kTableBytes;
    uint32_t bits = (Read16(in + cp) << 16) | Read16(in + cp + 2);
    cp += 4;
    int32_t extra = 16;
    // A match may run past the block's end; the next block starts there.
    const size_t blockEnd = op + kBlockSize;
    auto refill = [&]() -> bool {
      if (extra >= 0) return true;
      if (size - cp < 2) return false;
      bits |= Read16(in + cp) << uint32_t(-extra);
      extra += 16;
      cp += 2;
      return true;
    };
    while (op < blockEnd && op < rawSize) {
      uint32_t sym = decode[bits >> (32 - kDecodeBits)];
      uint32_t len = lens[sym];
      bits <<= len;
      extra -= int32_t(len);
      if (!refill()) return false;
      if (sym < kEndSymbol) {
        out[op++] = uint8_t(sym);
        continue;
      }
      // The end symbol doubles as the match (length 3, offset 1); it ends the
      // stream only once all output is there, which the loop already checks.
      sym -= kEndSymbol;
      uint32_t length = sym & 0x0F;
      uint32_t offsetBits = sym >> 4;
      if (length == kLengthByteEscape) {
        if (cp >= size) return false;
        length = in[cp++];
        if (length == kLengthWordEscape) {
          if (size - cp < 2) return false;
          length = Read16(in + cp);
          cp += 2;
          if (length < kLengthByteEscape) return false;
          length -= kLengthByteEscape;
        }
        length += kLengthByteEscape;
      }
      length += kMinMatch;
      uint32_t offset = (offsetBits != 0 ? bits >> (32 - offsetBits) : 0) + (1u << offsetBits);
      bits = offsetBits != 0 ? bits << offsetBits : bits;
      extra -= int32_t(offsetBits);
      if (!refill()) return false;
      if (offset > op || length > rawSize - op) return false;
      uint8_t* dst = out + op;
      const uint8_t* src = dst - offset;
      if (offset >= length) {
        std::memcpy(dst, src, length);
      } else {
        for (uint32_t k = 0; k < length; ++k) dst[k] = src[k];
      }
      op += length;
    }
    ip = cp;
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
