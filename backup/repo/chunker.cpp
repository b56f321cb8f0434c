#include "backup/repo/chunker.h"

#include <algorithm>
#include <bit>

namespace tarn::backup {
namespace {

constexpr uint64_t kSplitMixIncrement = 0x9E3779B97F4A7C15ull;
constexpr uint64_t kSplitMixMul1 = 0xBF58476D1CE4E5B9ull;
constexpr uint64_t kSplitMixMul2 = 0x94D049BB133111EBull;
constexpr int kMaxMaskBits = 32;
// Normalisation level 2: the small mask has two more bits than the average
// size asks for, the large mask two fewer.
constexpr int kNormalLevel = 2;

ChunkerParams Normalise(ChunkerParams p) {
  p.avg = std::max(p.avg, kChunkAvgFloor);
  p.min = std::min(p.min, p.avg);
  p.max = std::max(p.max, p.avg);
  return p;
}

}  // namespace

uint64_t Chunker::SpreadMask(int bits) {
  uint64_t mask = 0;
  bits = std::min(bits, kMaxMaskBits);
  for (int i = 0, bit = 63; i < bits && bit >= 0; ++i, bit -= 2) mask |= uint64_t(1) << bit;
  return mask;
}

std::array<uint64_t, 256> Chunker::GearTable(uint64_t seed) {
  std::array<uint64_t, 256> gear;
  uint64_t state = seed;
  for (uint64_t& entry : gear) {
    state += kSplitMixIncrement;
    uint64_t z = state;
    z = (z ^ (z >> 30)) * kSplitMixMul1;
    z = (z ^ (z >> 27)) * kSplitMixMul2;
    entry = z ^ (z >> 31);
  }
  return gear;
}

Chunker::Chunker(const ChunkerParams& params) : params_(Normalise(params)), gear_(GearTable(params_.seed)) {
  int bits = std::bit_width(params_.avg) - 1;  // floor(log2(avg))
  maskS_ = SpreadMask(bits + kNormalLevel);
  maskL_ = bits - kNormalLevel > 0 ? SpreadMask(bits - kNormalLevel) : 0;
}

uint64_t Chunker::cut(const uint8_t* data, uint64_t size) const {
  const uint64_t min = params_.min;
  if (size <= min) return size;
  const uint64_t end = std::min<uint64_t>(params_.max, size);
  const uint64_t normal = std::min<uint64_t>(params_.avg, end);
  uint64_t h = 0;
  uint64_t i = min;  // the first min bytes never enter the fingerprint
  for (; i < normal; ++i) {
    h = (h << 1) + gear_[data[i]];
    if ((h & maskS_) == 0) return i + 1;
  }
  for (; i < end; ++i) {
    h = (h << 1) + gear_[data[i]];
    if ((h & maskL_) == 0) return i + 1;
  }
  return end;
}

}  // namespace tarn::backup
