// Blob compression, with the LZ77+Huffman codec checked in both directions
// against an independent implementation (wimlib's XPRESS codec works on the
// same raw blocks of up to 64 KiB).
#include "backup/repo/compression.h"

#include <gtest/gtest.h>
#include <wimlib.h>

#include <memory>
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

struct WimCompressorFree {
  void operator()(wimlib_compressor* c) const { wimlib_free_compressor(c); }
};
struct WimDecompressorFree {
  void operator()(wimlib_decompressor* d) const { wimlib_free_decompressor(d); }
};

class WimlibCrossCheck : public testing::Test {
 protected:
  void SetUp() override {
    wimlib_compressor* c = nullptr;
    wimlib_decompressor* d = nullptr;
    ASSERT_EQ(wimlib_create_compressor(WIMLIB_COMPRESSION_TYPE_XPRESS, xpress::kBlockSize, 0, &c), 0);
    wc_.reset(c);
    ASSERT_EQ(wimlib_create_decompressor(WIMLIB_COMPRESSION_TYPE_XPRESS, xpress::kBlockSize, &d), 0);
    wd_.reset(d);
  }
  std::unique_ptr<wimlib_compressor, WimCompressorFree> wc_;
  std::unique_ptr<wimlib_decompressor, WimDecompressorFree> wd_;
  xpress::Compressor ours_;
};

const size_t kSizes[] = {1, 2, 3, 4, 17, 255, 256, 1000, 4096, 30000, 65535, 65536};

TEST_F(WimlibCrossCheck, TheyDecodeOurBlocks) {
  for (int kind = 0; kind < 4; ++kind) {
    for (size_t n : kSizes) {
      SCOPED_TRACE(testing::Message() << "kind " << kind << " size " << n);
      auto data = Make(kind, n, uint32_t(n * 4 + kind));
      std::vector<uint8_t> packed(n + 1024), back(n, 0xEE);
      size_t len = ours_.compressStream(data.data(), n, packed.data(), packed.size());
      ASSERT_NE(len, 0u);
      ASSERT_EQ(wimlib_decompress(packed.data(), len, back.data(), n, wd_.get()), 0);
      EXPECT_EQ(back, data);
    }
  }
}

TEST_F(WimlibCrossCheck, WeDecodeTheirBlocks) {
  int decoded = 0;
  for (int kind = 0; kind < 4; ++kind) {
    for (size_t n : kSizes) {
      SCOPED_TRACE(testing::Message() << "kind " << kind << " size " << n);
      auto data = Make(kind, n, uint32_t(n * 4 + kind + 1));
      std::vector<uint8_t> packed(n + 1024), back(n, 0xEE);
      size_t len = wimlib_compress(data.data(), n, packed.data(), packed.size(), wc_.get());
      if (len == 0) continue;  // they declined: nothing to check
      ASSERT_TRUE(xpress::DecompressStream(packed.data(), len, back.data(), n));
      EXPECT_EQ(back, data);
      // Their stream must also be refused for any other expected size.
      std::vector<uint8_t> wrong(n + 1);
      EXPECT_FALSE(xpress::DecompressStream(packed.data(), len, wrong.data(), n + 1));
      ++decoded;
    }
  }
  EXPECT_GT(decoded, 20);
}

TEST_F(WimlibCrossCheck, TheyDecodeEveryChunkOfOurFrames) {
  auto data = Make(1, 5 * xpress::kChunkSize + 777, 9);
  auto noise = Make(0, 70000, 10);
  data.insert(data.begin() + 100000, noise.begin(), noise.end());
  std::vector<uint8_t> framed;
  ASSERT_TRUE(ours_.compress(data.data(), data.size(), SIZE_MAX, framed));
  size_t pos = xpress::kFrameHeaderSize, done = 0, compressedChunks = 0;
  while (done < data.size()) {
    ASSERT_LE(pos + 4, framed.size());
    size_t len = framed[pos] | (framed[pos + 1] << 8) | (framed[pos + 2] << 16) | (size_t(framed[pos + 3]) << 24);
    pos += 4;
    size_t raw = std::min(xpress::kChunkSize, data.size() - done);
    if (len != raw) {
      std::vector<uint8_t> back(raw);
      ASSERT_EQ(wimlib_decompress(framed.data() + pos, len, back.data(), raw, wd_.get()), 0) << done;
      EXPECT_TRUE(std::equal(back.begin(), back.end(), data.begin() + long(done)));
      ++compressedChunks;
    }
    pos += len;
    done += raw;
  }
  EXPECT_EQ(pos, framed.size());
  EXPECT_GE(compressedChunks, 5u);
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
    ASSERT_TRUE(c.compress(data.data(), n, SIZE_MAX, unlimited));
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
