// Throughput and ratio of the LZ77+Huffman encoder next to wimlib's XPRESS
// compressor on the same 64 KiB chunks, and of both decoders on the same
// streams (our encoder's chunks). The process pins itself to the processor
// it starts on, so that both sides run on one core.
#include <benchmark/benchmark.h>
#include <sched.h>
#include <wimlib.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "platform/xpress_huffman.h"

namespace {

using tarn::xpress::kChunkSize;

constexpr size_t kInputSize = 4 << 20;

enum Kind { kText = 0, kRecords = 1, kBinary = 2, kRandom = 3 };
const char* const kKindNames[] = {"text", "records", "binary", "random"};

// Words drawn with Zipf-like weights, so the data has the repeat structure of
// prose or source code rather than a handful of recurring strings.
std::vector<uint8_t> MakeText(std::mt19937& rng) {
  std::vector<std::string> vocab;
  for (int i = 0; i < 4000; ++i) {
    std::string w;
    size_t len = 2 + rng() % 9;
    for (size_t k = 0; k < len; ++k) w += char('a' + rng() % 26);
    vocab.push_back(w);
  }
  std::vector<double> weights;
  for (size_t i = 0; i < vocab.size(); ++i) weights.push_back(1.0 / double(i + 1));
  std::discrete_distribution<size_t> pick(weights.begin(), weights.end());
  std::vector<uint8_t> d;
  d.reserve(kInputSize);
  while (d.size() < kInputSize) {
    const std::string& w = vocab[pick(rng)];
    d.insert(d.end(), w.begin(), w.end());
    uint32_t r = rng() % 20;
    d.push_back(r == 0 ? '\n' : r == 1 ? ',' : ' ');
  }
  d.resize(kInputSize);
  return d;
}

// Folder-listing-like records: fixed keys, hex ids, numbers.
std::vector<uint8_t> MakeRecords(std::mt19937& rng) {
  std::string s;
  static const char kHex[] = "0123456789abcdef";
  while (s.size() < kInputSize) {
    s += "{\"n\":\"file_" + std::to_string(rng() % 100000) + ".dat\",\"s\":" + std::to_string(rng()) + ",\"c\":\"";
    for (int k = 0; k < 64; ++k) s += kHex[rng() % 16];
    s += "\",\"m\":\"13" + std::to_string(rng() % 1000000000) + "\",\"a\":32},";
  }
  s.resize(kInputSize);
  return std::vector<uint8_t>(s.begin(), s.end());
}

// Machine-code-like bytes: a small set of recurring instruction patterns
// with varying operands and runs of zero padding.
std::vector<uint8_t> MakeBinary(std::mt19937& rng) {
  std::vector<std::vector<uint8_t>> ops;
  for (int i = 0; i < 300; ++i) {
    std::vector<uint8_t> op(2 + rng() % 6);
    for (auto& b : op) b = uint8_t(rng() % 64 == 0 ? rng() : rng() % 16 + 0x40);
    ops.push_back(op);
  }
  std::vector<uint8_t> d;
  d.reserve(kInputSize);
  while (d.size() < kInputSize) {
    if (rng() % 200 == 0) {
      d.insert(d.end(), rng() % 512, 0);
      continue;
    }
    const auto& op = ops[std::min<size_t>(ops.size() - 1, size_t(std::pow(double(rng() % 1000) / 1000.0, 3) * 300))];
    d.insert(d.end(), op.begin(), op.end());
    for (int k = 0; k < 2; ++k) d.push_back(uint8_t(rng()));
  }
  d.resize(kInputSize);
  return d;
}

const std::vector<uint8_t>& Input(int kind) {
  static std::vector<std::vector<uint8_t>> inputs = [] {
    std::mt19937 rng(2024);
    std::vector<std::vector<uint8_t>> v;
    v.push_back(MakeText(rng));
    v.push_back(MakeRecords(rng));
    v.push_back(MakeBinary(rng));
    std::vector<uint8_t> noise(kInputSize);
    for (auto& b : noise) b = uint8_t(rng());
    v.push_back(noise);
    return v;
  }();
  return inputs[size_t(kind)];
}

void BM_OursCompress(benchmark::State& state) {
  const auto& in = Input(int(state.range(0)));
  tarn::xpress::Compressor c;
  std::vector<uint8_t> out;
  size_t packed = 0;
  for (auto _ : state) {
    // The blob rule: keep the result only when it saves a 32nd.
    bool ok = c.compress(in.data(), in.size(), in.size() - in.size() / 32, out);
    packed = ok ? out.size() : in.size();
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations() * in.size()));
  state.counters["ratio"] = double(packed) / double(in.size());
  state.SetLabel(kKindNames[state.range(0)]);
}

void BM_WimlibCompress(benchmark::State& state) {
  const auto& in = Input(int(state.range(0)));
  wimlib_compressor* c = nullptr;
  if (wimlib_create_compressor(WIMLIB_COMPRESSION_TYPE_XPRESS, kChunkSize, 0, &c) != 0) {
    state.SkipWithError("wimlib_create_compressor failed");
    return;
  }
  std::vector<uint8_t> out(kChunkSize);
  size_t packed = 0;
  for (auto _ : state) {
    packed = 0;
    for (size_t at = 0; at < in.size(); at += kChunkSize) {
      size_t n = std::min(kChunkSize, in.size() - at);
      size_t len = wimlib_compress(in.data() + at, n, out.data(), n - 1, c);
      // Same accounting as the framed form: a 4-byte length per chunk, raw
      // when it did not shrink.
      packed += 4 + (len != 0 ? len : n);
    }
    packed += tarn::xpress::kFrameHeaderSize;
    benchmark::DoNotOptimize(out.data());
  }
  wimlib_free_compressor(c);
  state.SetBytesProcessed(int64_t(state.iterations() * in.size()));
  state.counters["ratio"] = double(packed) / double(in.size());
  state.SetLabel(kKindNames[state.range(0)]);
}

// Our encoder's 64 KiB chunks, one stream each.
std::vector<std::vector<uint8_t>> OurChunks(const std::vector<uint8_t>& in) {
  tarn::xpress::Compressor c;
  std::vector<std::vector<uint8_t>> chunks;
  for (size_t at = 0; at < in.size(); at += kChunkSize) {
    const size_t n = std::min(kChunkSize, in.size() - at);
    std::vector<uint8_t> out(n + 4096);
    out.resize(c.compressStream(in.data() + at, n, out.data(), out.size()));
    chunks.push_back(out);
  }
  return chunks;
}

void BM_OursDecompress(benchmark::State& state) {
  const auto& in = Input(int(state.range(0)));
  const auto chunks = OurChunks(in);
  std::vector<uint8_t> back(kChunkSize);
  for (auto _ : state) {
    for (const auto& ch : chunks)
      if (!tarn::xpress::DecompressStream(ch.data(), ch.size(), back.data(), kChunkSize))
        state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(back.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations() * in.size()));
  state.SetLabel(kKindNames[state.range(0)]);
}

void BM_WimlibDecompress(benchmark::State& state) {
  const auto& in = Input(int(state.range(0)));
  const auto chunks = OurChunks(in);
  wimlib_decompressor* d = nullptr;
  if (wimlib_create_decompressor(WIMLIB_COMPRESSION_TYPE_XPRESS, kChunkSize, &d) != 0) {
    state.SkipWithError("wimlib_create_decompressor failed");
    return;
  }
  std::vector<uint8_t> back(kChunkSize);
  for (auto _ : state) {
    for (const auto& ch : chunks)
      if (wimlib_decompress(ch.data(), ch.size(), back.data(), kChunkSize, d) != 0) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(back.data());
  }
  wimlib_free_decompressor(d);
  state.SetBytesProcessed(int64_t(state.iterations() * in.size()));
  state.SetLabel(kKindNames[state.range(0)]);
}

BENCHMARK(BM_OursCompress)->DenseRange(kText, kRandom)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WimlibCompress)->DenseRange(kText, kRandom)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OursDecompress)->DenseRange(kText, kBinary)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WimlibDecompress)->DenseRange(kText, kBinary)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  const int cpu = sched_getcpu();
  if (cpu >= 0) {
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(cpu, &one);
    sched_setaffinity(0, sizeof(one), &one);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
