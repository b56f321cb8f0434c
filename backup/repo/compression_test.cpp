// Blob compression: when a compressed blob is kept, and that it reads back
// only at its exact raw length.
#include "backup/repo/compression.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "platform/xpress_huffman.h"

namespace tarn::backup {
namespace {

std::vector<uint8_t> Make(int kind, size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> d(size);
  static const char* const kWords[] = {"snapshot ", "tree ", "{\"n\":", "\"c\":\"", "0123abcd", "\n", "pack ",
                                       "index ", "the ", "of "};
  size_t i = 0;
  switch (kind) {
    case 0:  // noise
      for (auto& b : d) b = uint8_t(rng());
      break;
    case 1:  // text
      while (i < size)
        for (const char* w = kWords[rng() % 10]; *w && i < size; ++w) d[i++] = uint8_t(*w);
      break;
    case 2:  // small alphabet, short repeats
      for (auto& b : d) b = uint8_t('a' + rng() % 4);
      break;
    default:  // runs and long repeats at every distance
      while (i < size) {
        size_t run = 1 + rng() % 3000;
        uint8_t v = uint8_t(rng() % 3);
        for (size_t k = 0; k < run && i < size; ++k) d[i++] = (k % 97 == 0) ? uint8_t(rng()) : v;
      }
      break;
  }
  return d;
}

TEST(CompressBlobTest, ShortBlobsAreNeverCompressed) {
  std::vector<uint8_t> zeros(255, 0), out{1, 2, 3};
  EXPECT_FALSE(CompressBlob(zeros.data(), zeros.size(), out));
  EXPECT_TRUE(out.empty());
}

TEST(CompressBlobTest, KeptOnlyWhenItSavesAThirtySecond) {
  // Every framed result carries a 24-byte header, a 4-byte chunk length and
  // a 256-byte table, so 256 bytes of one value (limit 248) cannot pass.
  // Walk across the real boundary and check the rule on every size.
  xpress::Compressor c;
  size_t firstKept = 0;
  for (size_t n = 256; n <= 600; ++n) {
    SCOPED_TRACE(n);
    std::vector<uint8_t> data(n, 'q');
    std::vector<uint8_t> unlimited, out;
    ASSERT_TRUE(c.compress(data.data(), n, SIZE_MAX, unlimited, kBlobChunkSize));
    const bool fits = unlimited.size() <= n - n / 32;
    ASSERT_EQ(CompressBlob(data.data(), n, out), fits);
    if (fits) {
      EXPECT_EQ(out, unlimited);
      std::vector<uint8_t> back;
      ASSERT_TRUE(DecompressBlob(out.data(), out.size(), n, back));
      EXPECT_EQ(back, data);
      if (firstKept == 0) firstKept = n;
    } else {
      EXPECT_TRUE(out.empty());
    }
  }
  EXPECT_GT(firstKept, 256u);
  EXPECT_LT(firstKept, 320u);
}

TEST(CompressBlobTest, NoiseIsRefusedAndTextIsKept) {
  for (size_t n : {size_t(4096), size_t(1) << 20}) {
    auto noise = Make(0, n, 11);
    std::vector<uint8_t> out{9};
    EXPECT_FALSE(CompressBlob(noise.data(), n, out)) << n;
    EXPECT_TRUE(out.empty());
  }
  for (size_t n : {size_t(1000), size_t(4096), size_t(65537), size_t(3) << 20}) {
    SCOPED_TRACE(n);
    auto text = Make(1, n, 12);
    std::vector<uint8_t> out, back;
    ASSERT_TRUE(CompressBlob(text.data(), n, out));
    EXPECT_LE(out.size(), n - n / 32);
    ASSERT_TRUE(DecompressBlob(out.data(), out.size(), n, back));
    EXPECT_EQ(back, text);
  }
}

TEST(CompressBlobTest, RepeatsAcrossTheCodecsBlocksAreFound) {
  // Noise repeated once at a distance just inside the window: the second
  // copy starts in the codec's second 64 KiB block and is a match only when
  // the blob is one stream, not chunks of 64 KiB without shared history.
  auto noise = Make(0, 65000, 14);
  std::vector<uint8_t> data = noise;
  data.insert(data.end(), noise.begin(), noise.end());
  std::vector<uint8_t> out, back, chunked;
  xpress::Compressor c;
  EXPECT_FALSE(c.compress(data.data(), data.size(), data.size() - data.size() / kMinSavingDivisor, chunked));
  ASSERT_TRUE(CompressBlob(data.data(), data.size(), out));
  EXPECT_LT(out.size(), noise.size() + 2048);
  ASSERT_TRUE(DecompressBlob(out.data(), out.size(), data.size(), back));
  EXPECT_EQ(back, data);
}

TEST(CompressBlobTest, RawLengthMustMatchExactly) {
  auto text = Make(1, 10000, 13);
  std::vector<uint8_t> out, back;
  ASSERT_TRUE(CompressBlob(text.data(), text.size(), out));
  for (size_t wrong : {text.size() - 1, text.size() + 1}) {
    EXPECT_FALSE(DecompressBlob(out.data(), out.size(), wrong, back));
    EXPECT_TRUE(back.empty());
  }
  // A stored blob that was never compressed is not a frame.
  EXPECT_FALSE(DecompressBlob(text.data(), text.size(), text.size(), back));
  EXPECT_TRUE(back.empty());
}

}  // namespace
}  // namespace tarn::backup
