// The encoder's Huffman codes: always complete and at most 15 bits (the
// decoders refuse anything else), as short as an unlimited Huffman code
// whenever that one fits in 15 bits, and canonical, since the decoder
// rebuilds the codes from the lengths alone.
#include "platform/xpress_huffman_codes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <queue>
#include <vector>

namespace tarn::xpress {
namespace {

using Counts = std::vector<uint32_t>;

// An unlimited Huffman code, the textbook way: its total bits and its
// longest code.
struct Unlimited {
  uint64_t bits = 0;
  uint32_t longest = 0;
};
Unlimited UnlimitedHuffman(const Counts& freq) {
  // (weight, depth of the deepest leaf below)
  using Node = std::pair<uint64_t, uint32_t>;
  std::priority_queue<Node, std::vector<Node>, std::greater<>> q;
  for (uint32_t f : freq)
    if (f != 0) q.push({f, 0});
  Unlimited u;
  while (q.size() > 1) {
    const Node a = q.top();
    q.pop();
    const Node b = q.top();
    q.pop();
    u.bits += a.first + b.first;
    q.push({a.first + b.first, std::max(a.second, b.second) + 1});
  }
  if (!q.empty()) u.longest = q.top().second;
  return u;
}

struct Case {
  const char* what;
  Counts freq;
};

std::vector<Case> Cases() {
  std::vector<Case> v;
  v.push_back({"nothing", Counts(kNumSymbols, 0)});
  Counts one(kNumSymbols, 0);
  one[300] = 7;
  v.push_back({"one symbol", one});
  Counts zeroOnly(kNumSymbols, 0);
  zeroOnly[0] = 1;
  v.push_back({"symbol zero alone", zeroOnly});
  v.push_back({"all alike", Counts(kNumSymbols, 3)});
  Counts fib(kNumSymbols, 0);
  uint32_t a = 1, b = 1;
  for (int s = 0; s < 30; ++s) {
    fib[s * 17] = a;
    const uint32_t c = a + b;
    a = b;
    b = c;
  }
  v.push_back({"Fibonacci counts (an unlimited code runs to 29 bits)", fib});
  Counts skewed(kNumSymbols, 1);
  skewed['e'] = 65536 - kNumSymbols;
  v.push_back({"one symbol against 511 singletons", skewed});
  Counts bell(kNumSymbols, 0);
  for (int x = 0; x < 300; ++x) bell[x] = 50 + uint32_t(1000 * std::exp(-x * x / 5000.0));
  v.push_back({"bell-shaped counts over 300 symbols", bell});
  return v;
}

TEST(XpressCodes, CompleteLimitedAndOptimalWhereTheLimitAllows) {
  int optimalityChecked = 0;
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.what);
    uint8_t lens[kNumSymbols];
    BuildCodeLengths(c.freq.data(), lens);
    uint64_t kraft = 0, bits = 0;
    int used = 0;
    for (uint32_t s = 0; s < kNumSymbols; ++s) {
      ASSERT_LE(lens[s], kMaxCodeLength);
      if (c.freq[s] != 0) {
        EXPECT_NE(lens[s], 0) << s;
      }
      if (lens[s] == 0) continue;
      kraft += uint64_t(1) << (kMaxCodeLength - lens[s]);
      bits += uint64_t(c.freq[s]) * lens[s];
      ++used;
    }
    EXPECT_GE(used, 2);
    EXPECT_EQ(kraft, uint64_t(1) << kMaxCodeLength);
    const Unlimited u = UnlimitedHuffman(c.freq);
    if (used > 2 && u.longest <= kMaxCodeLength) {
      EXPECT_EQ(bits, u.bits);
      ++optimalityChecked;
    }
  }
  EXPECT_GE(optimalityChecked, 3);
}

TEST(XpressCodes, CanonicalOrderAndPrefixFree) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.what);
    uint8_t lens[kNumSymbols];
    uint16_t codes[kNumSymbols];
    BuildCodeLengths(c.freq.data(), lens);
    BuildCanonicalCodes(lens, codes);
    // Codes as left-aligned 15-bit intervals: in (length, symbol) order
    // each starts where the one before ended.
    std::vector<std::pair<uint32_t, uint32_t>> order;
    for (uint32_t s = 0; s < kNumSymbols; ++s)
      if (lens[s] != 0) order.push_back({lens[s], s});
    std::sort(order.begin(), order.end());
    uint32_t next = 0;
    for (const auto& [len, s] : order) {
      ASSERT_LT(codes[s], 1u << len) << s;
      EXPECT_EQ(uint32_t(codes[s]) << (kMaxCodeLength - len), next) << s;
      next = (uint32_t(codes[s]) + 1) << (kMaxCodeLength - len);
    }
    EXPECT_EQ(next, 1u << kMaxCodeLength);
  }
}

}  // namespace
}  // namespace tarn::xpress
