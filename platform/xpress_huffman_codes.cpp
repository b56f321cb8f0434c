#include "platform/xpress_huffman_codes.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace tarn::xpress {
namespace {

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

// A block has at most 65537 symbols, so a count fits below the symbol
// number in one sort key.
constexpr uint32_t kSymbolBits = 9;
constexpr uint32_t kSymbolMask = (1u << kSymbolBits) - 1;

}  // namespace

void BuildCodeLengths(const uint32_t* freq, uint8_t* lens) {
  // One key per symbol sorts without reaching back into the counts; ties
  // go by symbol, so the code depends on the counts alone.
  std::array<uint32_t, kNumSymbols> keys;
  int n = 0;
  for (uint32_t s = 0; s < kNumSymbols; ++s)
    if (freq[s] != 0) keys[n++] = (freq[s] << kSymbolBits) | s;
  std::memset(lens, 0, kNumSymbols);
  if (n < 2) {
    // A one-symbol alphabet still needs a complete code for the decoder.
    const uint32_t only = n == 1 ? keys[0] & kSymbolMask : 0;
    lens[only] = 1;
    lens[only == 0 ? 1 : 0] = 1;
    return;
  }
  std::sort(keys.begin(), keys.begin() + n);
  std::array<uint32_t, kNumSymbols> a;
  for (int i = 0; i < n; ++i) a[i] = keys[i] >> kSymbolBits;
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
  // The rarest symbols take the longest codes.
  int i = 0;
  for (uint32_t l = kMaxCodeLength; l > 0; --l)
    for (uint32_t k = 0; k < count[l]; ++k) lens[keys[i++] & kSymbolMask] = uint8_t(l);
}

void BuildCanonicalCodes(const uint8_t* lens, uint16_t* codes) {
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

}  // namespace tarn::xpress
