// Content-defined chunker (FastCDC with normalised chunking, two masks) over
// a gear table generated from the repository's secret seed, so that equal
// content gives equal chunks inside one repository while two repositories
// cut the same file at different places.
//
// A Chunker is immutable after construction and keeps no position: each
// cut() is independent, so one chunker may serve any number of threads.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace tarn::backup {

constexpr uint32_t kChunkMinDefault = 524288;   // 512 KiB
constexpr uint32_t kChunkAvgDefault = 1048576;  // 1 MiB
constexpr uint32_t kChunkMaxDefault = 8388608;  // 8 MiB
constexpr uint32_t kChunkAvgFloor = 4096;

struct ChunkerParams {
  uint32_t min = kChunkMinDefault;
  uint32_t avg = kChunkAvgDefault;
  uint32_t max = kChunkMaxDefault;
  uint64_t seed = 0;
};

class Chunker {
 public:
  explicit Chunker(const ChunkerParams& params);

  // Length of the first chunk of data[0, size): at most size, and size
  // itself when size <= min. The caller passes the bytes after the previous
  // cut, at least max of them while the file has that many left.
  uint64_t cut(const uint8_t* data, uint64_t size) const;

  const ChunkerParams& params() const { return params_; }
  const std::array<uint64_t, 256>& gear() const { return gear_; }
  uint64_t maskS() const { return maskS_; }
  uint64_t maskL() const { return maskL_; }

  // A mask with `bits` bits set at 63, 61, 59, ... (at most 32 of them).
  static uint64_t SpreadMask(int bits);
  static std::array<uint64_t, 256> GearTable(uint64_t seed);

 private:
  ChunkerParams params_;
  std::array<uint64_t, 256> gear_;
  uint64_t maskS_ = 0;
  uint64_t maskL_ = 0;
};

}  // namespace tarn::backup
