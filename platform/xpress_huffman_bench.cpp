// Throughput and ratio of the LZ77+Huffman encoder next to wimlib's XPRESS
// compressor (its default level), and of both decoders on the same streams
// (our encoder's). Every input is cut into 1 MiB blobs, each compressed as
// the backup repository does it (framed, kept only when it saves a 32nd),
// ours in 64 KiB chunks and in the repository's 1 MiB chunks; wimlib's
// XPRESS works on 64 KiB at most, so its column is always 64 KiB chunks.
// Besides generated data, three real corpora are read from the machine at
// start (platform/xpress_huffman_samples.h). The process pins itself to the
// processor it starts on, so that both sides run on one core.
#include <benchmark/benchmark.h>
#include <sched.h>
#include <wimlib.h>

#include <cmath>
#include <cstdio>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "platform/xpress_huffman.h"
#include "platform/xpress_huffman_samples.h"

namespace {

using tarn::xpress::kChunkSize;

constexpr size_t kInputSize = 4 << 20;

enum Kind { kText, kRecords, kLog, kBinary, kRandom, kPython, kPrograms, kHeaders, kKinds };
const char* const kKindNames[] = {"text", "records", "log", "binary", "random", "python", "usr-bin", "include-tar"};
// Windows of 1 MiB read from each real corpus.
constexpr size_t kRealWindows = 32;
constexpr size_t kBlob = tarn::xpress::samples::kWindowSize;
constexpr size_t kRepoChunk = 1048576;

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

// Service log lines: a clock that moves on by seconds, a few message forms,
// and a 40-digit hexadecimal id in each line.
std::vector<uint8_t> MakeLog(std::mt19937& rng) {
  static const char* const kForms[] = {"GET /api/v1/objects/%s 200 %ums", "PUT /api/v1/objects/%s 201 %ums",
                                       "cache miss for key %s (%u bytes)", "worker finished chunk %s in %u ms"};
  std::string s;
  uint32_t t = 1700000000;
  char id[41], line[256];
  while (s.size() < kInputSize) {
    t += rng() % 3;
    for (int k = 0; k < 40; ++k) id[k] = "0123456789abcdef"[rng() % 16];
    id[40] = 0;
    int n = std::snprintf(line, sizeof line, "2026-12-07T%02u:%02u:%02uZ INFO ", t / 3600 % 24, t / 60 % 60, t % 60);
    n += std::snprintf(line + n, sizeof line - size_t(n), kForms[rng() % 4], id, unsigned(rng() % 2000));
    s.append(line, size_t(n));
    s += '\n';
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
    using tarn::xpress::samples::RealCorpus;
    std::mt19937 rng(2024);
    std::vector<std::vector<uint8_t>> v;
    v.push_back(MakeText(rng));
    v.push_back(MakeRecords(rng));
    // Its own generator, so that the data after it stays what it was.
    std::mt19937 logRng(7);
    v.push_back(MakeLog(logRng));
    v.push_back(MakeBinary(rng));
    std::vector<uint8_t> noise(kInputSize);
    for (auto& b : noise) b = uint8_t(rng());
    v.push_back(noise);
    for (RealCorpus c : {RealCorpus::kPython, RealCorpus::kPrograms, RealCorpus::kHeaders})
      v.push_back(tarn::xpress::samples::Sample(c, kRealWindows));
    return v;
  }();
  return inputs[size_t(kind)];
}

// The label of a run: what was compressed, in which chunks.
std::string Label(const benchmark::State& state, size_t chunk) {
  return std::string(kKindNames[state.range(0)]) + (chunk == kChunkSize ? " 64k" : " 1m");
}

bool Missing(benchmark::State& state, const std::vector<uint8_t>& in) {
  if (!in.empty()) return false;
  state.SkipWithError("corpus missing on this machine");
  return true;
}

void BM_OursCompress(benchmark::State& state) {
  const auto& in = Input(int(state.range(0)));
  const size_t chunk = size_t(state.range(1));
  if (Missing(state, in)) return;
  tarn::xpress::Compressor c;
  std::vector<uint8_t> out;
  size_t packed = 0;
  for (auto _ : state) {
    packed = 0;
    for (size_t at = 0; at < in.size(); at += kBlob) {
      const size_t n = std::min(kBlob, in.size() - at);
      // The blob rule: keep the result only when it saves a 32nd.
      const bool ok = c.compress(in.data() + at, n, n - n / 32, out, chunk);
      packed += ok ? out.size() : n;
      benchmark::DoNotOptimize(out.data());
    }
  }
  state.SetBytesProcessed(int64_t(state.iterations() * in.size()));
  state.counters["ratio"] = double(packed) / double(in.size());
  state.SetLabel(Label(state, chunk));
}

void BM_WimlibCompress(benchmark::State& state) {
  const auto& in = Input(int(state.range(0)));
  if (Missing(state, in)) return;
  wimlib_compressor* c = nullptr;
  if (wimlib_create_compressor(WIMLIB_COMPRESSION_TYPE_XPRESS, kChunkSize, 0, &c) != 0) {
    state.SkipWithError("wimlib_create_compressor failed");
    return;
  }
  std::vector<uint8_t> out(kChunkSize);
  size_t packed = 0;
  for (auto _ : state) {
    packed = 0;
    for (size_t blob = 0; blob < in.size(); blob += kBlob) {
      const size_t blobSize = std::min(kBlob, in.size() - blob);
      // Same accounting as the framed form: a header, a 4-byte length per
      // chunk, raw chunks where they did not shrink, the blob rule.
      size_t framed = tarn::xpress::kFrameHeaderSize;
      for (size_t at = blob; at < blob + blobSize; at += kChunkSize) {
        const size_t n = std::min(kChunkSize, blob + blobSize - at);
        const size_t len = wimlib_compress(in.data() + at, n, out.data(), n - 1, c);
        framed += 4 + (len != 0 ? len : n);
      }
      packed += framed <= blobSize - blobSize / 32 ? framed : blobSize;
      benchmark::DoNotOptimize(out.data());
    }
  }
  wimlib_free_compressor(c);
  state.SetBytesProcessed(int64_t(state.iterations() * in.size()));
  state.counters["ratio"] = double(packed) / double(in.size());
  state.SetLabel(Label(state, kChunkSize));
}

// Our encoder's streams of `chunk` raw bytes each.
std::vector<std::vector<uint8_t>> OurStreams(const std::vector<uint8_t>& in, size_t chunk) {
  tarn::xpress::Compressor c;
  std::vector<std::vector<uint8_t>> streams;
  for (size_t at = 0; at < in.size(); at += chunk) {
    const size_t n = std::min(chunk, in.size() - at);
    std::vector<uint8_t> out(n + n / 8 + 4096);
    out.resize(c.compressStream(in.data() + at, n, out.data(), out.size()));
    streams.push_back(out);
  }
  return streams;
}

void BM_OursDecompress(benchmark::State& state) {
  const auto& in = Input(int(state.range(0)));
  const size_t chunk = size_t(state.range(1));
  if (Missing(state, in)) return;
  const auto streams = OurStreams(in, chunk);
  std::vector<uint8_t> back(chunk);
  for (auto _ : state) {
    size_t at = 0;
    for (const auto& st : streams) {
      const size_t n = std::min(chunk, in.size() - at);
      if (!tarn::xpress::DecompressStream(st.data(), st.size(), back.data(), n)) state.SkipWithError("decode failed");
      at += n;
    }
    benchmark::DoNotOptimize(back.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations() * in.size()));
  state.SetLabel(Label(state, chunk));
}

void BM_WimlibDecompress(benchmark::State& state) {
  const auto& in = Input(int(state.range(0)));
  if (Missing(state, in)) return;
  const auto streams = OurStreams(in, kChunkSize);
  wimlib_decompressor* d = nullptr;
  if (wimlib_create_decompressor(WIMLIB_COMPRESSION_TYPE_XPRESS, kChunkSize, &d) != 0) {
    state.SkipWithError("wimlib_create_decompressor failed");
    return;
  }
  std::vector<uint8_t> back(kChunkSize);
  for (auto _ : state) {
    size_t at = 0;
    for (const auto& st : streams) {
      const size_t n = std::min(kChunkSize, in.size() - at);
      if (wimlib_decompress(st.data(), st.size(), back.data(), n, d) != 0) state.SkipWithError("decode failed");
      at += n;
    }
    benchmark::DoNotOptimize(back.data());
  }
  wimlib_free_decompressor(d);
  state.SetBytesProcessed(int64_t(state.iterations() * in.size()));
  state.SetLabel(Label(state, kChunkSize));
}

// Generated data in 64 KiB chunks, each real corpus in both chunk sizes;
// wimlib in 64 KiB chunks only. Random data is not worth decoding: it is
// stored raw.
void Runs(benchmark::internal::Benchmark* b, bool bothChunks, bool withRandom) {
  for (int k = kText; k < kKinds; ++k) {
    if (k == kRandom && !withRandom) continue;
    b->Args({k, int64_t(kChunkSize)});
    if (bothChunks && k >= kPython) b->Args({k, int64_t(kRepoChunk)});
  }
  b->Unit(benchmark::kMillisecond);
}
void OursCompressRuns(benchmark::internal::Benchmark* b) { Runs(b, true, true); }
void TheirCompressRuns(benchmark::internal::Benchmark* b) { Runs(b, false, true); }
void OursDecompressRuns(benchmark::internal::Benchmark* b) { Runs(b, true, false); }
void TheirDecompressRuns(benchmark::internal::Benchmark* b) { Runs(b, false, false); }

BENCHMARK(BM_OursCompress)->Apply(OursCompressRuns);
BENCHMARK(BM_WimlibCompress)->Apply(TheirCompressRuns);
BENCHMARK(BM_OursDecompress)->Apply(OursDecompressRuns);
BENCHMARK(BM_WimlibDecompress)->Apply(TheirDecompressRuns);

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
