// The encoder: a block's parse, then the block written from it.
#include <algorithm>
#include <array>
#include <memory>
#include <vector>

#include "platform/xpress_huffman.h"
#include "platform/xpress_huffman_block_writer.h"
#include "platform/xpress_huffman_symbols.h"

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
// Hashing reads eight bytes and uses the first five.
constexpr uint32_t kHashBytesRead = 8;
inline uint32_t Hash(const uint8_t* p) {
  return uint32_t(((Load64(p) << 24) * 0x9E3779B185EBCA87ull) >> (64 - kHashBits));
}
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

}  // namespace

struct Compressor::Scratch {
  // The stamp (base + position) of the newest position per hash. Successive
  // streams are a whole window apart in stamps, so entries left by earlier
  // streams read as out of reach and nothing is cleared per call.
  std::vector<uint32_t> head = std::vector<uint32_t>(kHashSize, 0);
  std::unique_ptr<Token[]> tokens{new Token[kBlockSize / kMinMatch + 1]};
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
  Token* tokens = s.tokens.get();
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
    BlockCounts counts;
    uint32_t ntok = 0;
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
      counts.addLiterals(data + litStart, data + p);
      const uint32_t l = len - kMinMatch;
      counts.addMatch(l, off);
      tokens[ntok++] = Token{p - litStart, uint16_t(l), uint16_t(off)};
      p += len;
      litStart = p;
      // Only the last positions of a match are entered: matches starting
      // inside one are rare, and entering every position cost a third of
      // the time.
      for (uint32_t q = p - std::min(len - 1, kTailInserts); q < std::min(p, searchEnd); ++q) enter(q, Hash(data + q));
      if (p < searchEnd) h = Hash(data + p);
    }
    counts.addLiterals(data + litStart, data + blockEnd);
    const size_t written = WriteBlock(data + blockStart, blockEnd - blockStart, tokens, ntok, counts, last,
                                      out + total, capacity - total);
    if (written == 0) return 0;
    total += written;
    blockStart = blockEnd;
  } while (blockStart < n);

  return total;
}

}  // namespace tarn::xpress
