#include "backup/repo/chunker.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace tarn::backup {
namespace {

std::vector<uint8_t> Noise(size_t size, uint32_t seed) {
  std::mt19937_64 rng(seed);
  std::vector<uint8_t> d(size);
  for (auto& b : d) b = uint8_t(rng());
  return d;
}

// Cuts a whole buffer the way the backup run feeds the chunker.
std::vector<uint64_t> CutAll(const Chunker& c, const std::vector<uint8_t>& data) {
  std::vector<uint64_t> sizes;
  uint64_t pos = 0;
  while (pos < data.size()) {
    uint64_t n = c.cut(data.data() + pos, data.size() - pos);
    EXPECT_GT(n, 0u);
    sizes.push_back(n);
    pos += n;
  }
  return sizes;
}

TEST(ChunkerTest, ParametersAreNormalised) {
  struct Case {
    ChunkerParams in;
    uint32_t min, avg, max;
  };
  const Case cases[] = {
      {{2000, 1000, 3000, 0}, 2000, 4096, 4096},
      {{524288, 1048576, 8388608, 0}, 524288, 1048576, 8388608},
      {{0, 0, 0, 0}, 0, 4096, 4096},
      {{9000, 8192, 100, 0}, 8192, 8192, 8192},
  };
  for (const Case& c : cases) {
    Chunker k(c.in);
    EXPECT_EQ(k.params().min, c.min);
    EXPECT_EQ(k.params().avg, c.avg);
    EXPECT_EQ(k.params().max, c.max);
  }
}

TEST(ChunkerTest, MasksSpreadBitsFromTheTop) {
  struct Case {
    uint32_t avg;
    uint64_t maskS, maskL;
  };
  const Case cases[] = {
      {1048576, 0xAAAAAAAAAAA00000ull, 0xAAAAAAAAA0000000ull},
      {4096, 0xAAAAAAA000000000ull, 0xAAAAA00000000000ull},
      {6000, 0xAAAAAAA000000000ull, 0xAAAAA00000000000ull},  // floor(log2) = 12
      {0x80000000u, 0xAAAAAAAAAAAAAAAAull, 0xAAAAAAAAAAAAAA80ull},  // 33 bits capped at 32, and 29
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.avg);
    Chunker k({0, c.avg, c.avg, 0});
    EXPECT_EQ(k.maskS(), c.maskS);
    EXPECT_EQ(k.maskL(), c.maskL);
  }
  EXPECT_EQ(Chunker::SpreadMask(0), 0u);
  EXPECT_EQ(Chunker::SpreadMask(-3), 0u);
  EXPECT_EQ(Chunker::SpreadMask(1), 0x8000000000000000ull);
  EXPECT_EQ(Chunker::SpreadMask(40), 0xAAAAAAAAAAAAAAAAull);
}

TEST(ChunkerTest, GearTableIsSplitMix64OfTheSeed) {
  // SplitMix64's published first outputs for seed 0 and for seed 1234567.
  auto zero = Chunker::GearTable(0);
  EXPECT_EQ(zero[0], 0xE220A8397B1DCDAFull);
  EXPECT_EQ(zero[1], 0x6E789E6AA1B965F4ull);
  EXPECT_EQ(zero[2], 0x06C45D188009454Full);
  auto other = Chunker::GearTable(1234567);
  EXPECT_EQ(other[0], 6457827717110365317ull);
  EXPECT_EQ(other[1], 3203168211198807973ull);
  EXPECT_NE(Chunker::GearTable(1), zero);
  Chunker k({0, 4096, 4096, 1234567});
  EXPECT_EQ(k.gear(), other);
}

// Bytes of a SplitMix64 stream, so that an independent implementation of
// the cut rule can reproduce the expected cut points.
std::vector<uint8_t> SplitMixBytes(uint64_t seed, size_t size) {
  std::vector<uint8_t> d;
  d.reserve(size + 8);
  uint64_t state = seed;
  while (d.size() < size) {
    state += 0x9E3779B97F4A7C15ull;
    uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    for (int i = 0; i < 8; ++i) d.push_back(uint8_t(z >> (8 * i)));
  }
  d.resize(size);
  return d;
}

TEST(ChunkerTest, CutPointsOnFixedData) {
  // Expected values computed by a separate reference implementation.
  const auto data = SplitMixBytes(2026, 300000);
  struct Case {
    ChunkerParams params;
    std::vector<uint64_t> firstCuts;
    size_t count;
  };
  const Case cases[] = {
      {{4096, 16384, 65536, 42},
       {5923, 7684, 22269, 29507, 22219, 7155, 24520, 7298, 17067, 19934, 21428, 19938, 5146, 4707, 19395, 6780,
        17301, 12448, 17472, 11809},
       20},
      {{2000, 1000, 3000, 7}, {4096, 4096, 4096, 4096, 4096, 4096, 3081, 4096, 4071, 4096, 4096, 4096}, 76},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.params.seed);
    auto cuts = CutAll(Chunker(c.params), data);
    EXPECT_EQ(cuts.size(), c.count);
    ASSERT_GE(cuts.size(), c.firstCuts.size());
    EXPECT_EQ(std::vector<uint64_t>(cuts.begin(), cuts.begin() + long(c.firstCuts.size())), c.firstCuts);
  }
}

TEST(ChunkerTest, ShortBuffersAreOneChunk) {
  Chunker k({1000, 4096, 16384, 7});
  auto data = Noise(2000, 1);
  for (uint64_t n : {uint64_t(0), uint64_t(1), uint64_t(999), uint64_t(1000)}) EXPECT_EQ(k.cut(data.data(), n), n);
  // min + 1: one hashed byte cannot end a chunk before the buffer does.
  EXPECT_EQ(k.cut(data.data(), 1001), 1001u);
}

TEST(ChunkerTest, CutsRespectMinAndMaxAndAverageRoughly) {
  Chunker k({8192, 32768, 131072, 42});
  auto data = Noise(8 << 20, 2);
  auto sizes = CutAll(k, data);
  ASSERT_GT(sizes.size(), 40u);
  uint64_t total = 0;
  for (size_t i = 0; i < sizes.size(); ++i) {
    total += sizes[i];
    EXPECT_LE(sizes[i], 131072u);
    if (i + 1 < sizes.size()) {
      EXPECT_GE(sizes[i], 8192u);
    }
  }
  EXPECT_EQ(total, data.size());
  double mean = double(total) / double(sizes.size());
  EXPECT_GT(mean, 32768 * 0.6);
  EXPECT_LT(mean, 32768 * 1.6);
}

TEST(ChunkerTest, TwentyMebibytesYieldAtMostMax) {
  Chunker k({kChunkMinDefault, kChunkAvgDefault, kChunkMaxDefault, 99});
  for (uint32_t seed : {3u, 4u}) {
    auto noise = Noise(20 << 20, seed);
    uint64_t n = k.cut(noise.data(), noise.size());
    EXPECT_LE(n, kChunkMaxDefault);
    EXPECT_GT(n, kChunkMinDefault);
  }
}

TEST(ChunkerTest, NoMaskHitMeansCutAtExactlyMax) {
  // Pick a seed whose gear entry for byte 0 has the top bits of both masks
  // set: (h << 1) + g then keeps bit 63 set for ever on zeros.
  uint64_t seed = 0;
  for (;; ++seed) {
    auto g = Chunker::GearTable(seed);
    // With h converging to 2*h + g mod 2^64, h = -g: check that it fails both masks.
    uint64_t h = 0;
    bool hit = false;
    Chunker k({4096, 16384, 65536, seed});
    for (int i = 0; i < 200 && !hit; ++i) {
      h = (h << 1) + g[0];
      hit = (h & k.maskL()) == 0;
    }
    if (!hit) break;
  }
  Chunker k({4096, 16384, 65536, seed});
  std::vector<uint8_t> zeros(1 << 20, 0);
  EXPECT_EQ(k.cut(zeros.data(), zeros.size()), 65536u);
  EXPECT_EQ(k.cut(zeros.data(), 50000), 50000u);
}

TEST(ChunkerTest, SameSeedSameCutsOtherSeedOtherCuts) {
  auto data = Noise(4 << 20, 4);
  Chunker a({8192, 32768, 131072, 5}), b({8192, 32768, 131072, 5}), c({8192, 32768, 131072, 6});
  EXPECT_EQ(CutAll(a, data), CutAll(b, data));
  EXPECT_NE(CutAll(a, data), CutAll(c, data));
}

TEST(ChunkerTest, InsertionNearTheStartResynchronises) {
  Chunker k({8192, 32768, 131072, 11});
  auto data = Noise(4 << 20, 5);
  auto shifted = data;
  shifted.insert(shifted.begin() + 100, uint8_t(0x5A));
  auto a = CutAll(k, data), b = CutAll(k, shifted);
  ASSERT_GT(a.size(), 10u);
  ASSERT_GT(b.size(), 10u);
  // After the first one or two chunks the cut lists agree (aligned from the end).
  size_t same = 0;
  while (same < std::min(a.size(), b.size()) && a[a.size() - 1 - same] == b[b.size() - 1 - same]) ++same;
  EXPECT_GE(same + 2, a.size());
}

}  // namespace
}  // namespace tarn::backup
