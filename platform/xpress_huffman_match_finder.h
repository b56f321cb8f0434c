// Finds, for a position of a stream, a long and near earlier occurrence of
// the bytes there, within the format's window of 65535 bytes. Internal to
// the codec; owned by a Compressor, so one thread at a time.
//
// Every entered position is linked to the previous one whose next five
// bytes have the same hash (a hash chain), and a second table keeps the
// newest position per hash of three bytes, for the short matches close by
// that the chains do not see. Measured on real files beside wimlib's
// default level: chains on four bytes found fewer long matches for the same
// search depth (text 0.5 % larger), without the three-byte table machine
// code came out 3 % larger, and one candidate per position (no chains) made
// everything 11 to 17 % larger.
//
// Positions are kept as 32-bit stamps (a stream's base plus the position).
// Successive streams are a whole window apart in stamps, so entries left by
// earlier streams read as out of reach and nothing is cleared between
// streams; the tables start over only before the stamps would wrap.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <vector>

#include "platform/xpress_huffman_symbols.h"

namespace tarn::xpress {

class MatchFinder {
 public:
  // Bytes read at a position: entering or searching it needs this many.
  static constexpr uint32_t kBytesRead = 8;
  // What a literal is taken to cost, in quarter bits, when a longer match
  // competes with a shorter one at a nearer (cheaper) offset.
  static constexpr int kLiteralCost = 24;

  struct Match {
    uint32_t length = 0;  // 0: none
    uint32_t offset = 0;
  };

  // A match's worth against literals, in quarter bits: the bytes it covers
  // less what its offset costs beyond its symbol.
  static int Worth(const Match& m) { return int(m.length) * kLiteralCost - 4 * int(OffsetBits(m.offset)); }

  // The tables as one stream sees them: a small value meant to live in a
  // local variable, where the compiler keeps it in registers. Valid until
  // the next startStream.
  class Stream {
   public:
    // Enters positions [from, to) without searching.
    void enter(uint32_t from, uint32_t to) const {
      uint32_t p = from;
      // One load serves two positions: each hashes five bytes.
      for (; p + 1 < to; p += 2) {
        const uint64_t bytes = Load64(data_ + p);
        enterBytes(p, bytes);
        enterBytes(p + 1, bytes >> 8);
      }
      if (p < to) enterBytes(p, Load64(data_ + p));
    }

    // Enters every other position of [from, to). Inside a long match this
    // loses little: a later match from a position left out is found one
    // byte later and extended back by the parser.
    void enterEveryOther(uint32_t from, uint32_t to) const {
      for (uint32_t p = from; p < to; p += 2) enterBytes(p, Load64(data_ + p));
    }

    // Enters position p and returns its best match of at most `limit`
    // bytes among the first `depth` candidates of its chain, or the newest
    // three-byte one close by when the chain has none of four bytes or
    // more. A longer candidate wins only when its extra bytes pay for its
    // farther offset.
    __attribute__((always_inline)) Match find(uint32_t p, uint32_t limit, uint32_t depth) const {
      const uint8_t* cur = data_ + p;
      const uint32_t stamp = base_ + p;
      const uint64_t bytes = Load64(cur);
      uint32_t& head = head_[HeadHash(bytes)];
      uint32_t& near = near_[NearHash(bytes)];
      uint32_t d = stamp - head;
      const uint32_t dNear = stamp - near;
      head = stamp;
      near = stamp;
      d = d <= kMaxOffset ? d : 0;
      prev_[p & (kWindow - 1)] = uint16_t(d);

      Match best{kMinMatch, 0};
      const uint32_t first4 = uint32_t(bytes);
      const uint32_t nice = std::min(limit, kNiceLength);
      if (d != 0 && limit > kMinMatch) {
        for (; depth > 0; --depth) {
          const uint8_t* m = cur - d;
          const uint32_t step = prev_[(p - d) & (kWindow - 1)];
          // Only a candidate that also matches the byte at the current best
          // length can beat it.
          if (Load32(m + best.length - 3) == Load32(cur + best.length - 3) && Load32(m) == first4) {
            const uint32_t len = 4 + MatchLength(m + 4, cur + 4, limit - 4);
            if (len > best.length &&
                (best.offset == 0 ||
                 int(len - best.length) * kLiteralCost > 4 * (int(OffsetBits(d)) - int(OffsetBits(best.offset))))) {
              best = {len, d};
              if (len >= nice) break;
            }
          }
          d += step;
          if (step == 0 || d > kMaxOffset) break;
        }
      }
      if (best.offset != 0) return best;
      if (dNear - 1 < kNearOffset && limit >= kMinMatch && ((Load32(cur - dNear) ^ first4) << 8) == 0)
        return {kMinMatch + MatchLength(cur - dNear + 3, cur + 3, limit - kMinMatch), dNear};
      return {};
    }

   private:
    friend class MatchFinder;
    Stream(const uint8_t* data, uint32_t base, uint32_t* head, uint32_t* near, uint16_t* prev)
        : data_(data), base_(base), head_(head), near_(near), prev_(prev) {}

    void enterBytes(uint32_t p, uint64_t bytes) const {
      const uint32_t stamp = base_ + p;
      uint32_t& head = head_[HeadHash(bytes)];
      const uint32_t d = stamp - head;
      head = stamp;
      near_[NearHash(bytes)] = stamp;
      prev_[p & (kWindow - 1)] = uint16_t(d <= kMaxOffset ? d : 0);
    }

    const uint8_t* data_;
    uint32_t base_;  // the stamp of position 0
    uint32_t* head_;
    uint32_t* near_;
    uint16_t* prev_;
  };

  // Whether a stream of n bytes fits in the stamps, with the gap after it.
  static bool Fits(size_t n) { return n <= kMaxStamp - 2 * uint64_t(kWindow); }

  // Starts a stream of n bytes, which must fit.
  Stream startStream(const uint8_t* data, size_t n) {
    if (uint64_t(nextBase_) + n + kWindow > kMaxStamp) {
      std::fill(head_.begin(), head_.end(), 0);
      std::fill(near_.begin(), near_.end(), 0);
      nextBase_ = kWindow;
    }
    const uint32_t base = nextBase_;
    nextBase_ += uint32_t(n) + kWindow;
    return Stream(data, base, head_.data(), near_.data(), prev_.data());
  }

 private:
  static constexpr uint32_t kWindow = kMaxOffset + 1;
  static constexpr uint64_t kMaxStamp = 0xFFFFFFFFu;
  // A head table of the window's size: a larger one was faster on machine
  // code and slower on text, a smaller one slower on both.
  static constexpr unsigned kHeadBits = 16;
  static constexpr unsigned kNearBits = 12;
  // Three-byte matches farther away than this are rarely worth their
  // offset bits.
  static constexpr uint32_t kNearOffset = 4095;
  // A match this long ends the search.
  static constexpr uint32_t kNiceLength = 64;

  static uint32_t HeadHash(uint64_t bytes) {
    return uint32_t(((bytes << 24) * 0x9E3779B185EBCA87ull) >> (64 - kHeadBits));
  }
  static uint32_t NearHash(uint64_t bytes) { return (uint32_t(bytes << 8) * 0x9E3779B1u) >> (32 - kNearBits); }

  // Length of the common prefix of a and b, at most `limit`; a precedes b.
  static uint32_t MatchLength(const uint8_t* a, const uint8_t* b, uint32_t limit) {
    uint32_t n = 0;
    while (n + 8 <= limit) {
      const uint64_t x = Load64(a + n) ^ Load64(b + n);
      if (x != 0) return n + uint32_t(std::countr_zero(x)) / 8;
      n += 8;
    }
    while (n < limit && a[n] == b[n]) ++n;
    return n;
  }

  std::vector<uint32_t> head_ = std::vector<uint32_t>(size_t(1) << kHeadBits, 0);
  std::vector<uint32_t> near_ = std::vector<uint32_t>(size_t(1) << kNearBits, 0);
  // Distance to the previous position with the same head hash, 0 for none.
  std::vector<uint16_t> prev_ = std::vector<uint16_t>(kWindow, 0);
  uint32_t nextBase_ = kWindow;
};

}  // namespace tarn::xpress
