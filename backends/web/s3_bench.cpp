// Throughput of the S3 back-end against the S3 test store (Swift with s3api,
// TARN_S3_* variables of testing/servers/swift_s3.sh): one-PUT and multipart
// uploads, and ranged reads of two block sizes. scripts/bench-s3 runs these
// beside curl doing the same requests.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "backends/web/s3_backend.h"

namespace tarn {
namespace {

constexpr uint64_t kSingleBytes = kS3PartBytes;         // the largest object sent in one PUT
constexpr uint64_t kMultipartBytes = 8 * kS3PartBytes;  // eight parts
constexpr uint64_t kReadObjectBytes = 64ull << 20;
constexpr const char* kReadObject = "/bench-read.bin";

std::unique_ptr<S3Backend> Swift(benchmark::State& state) {
  const char* names[] = {"TARN_S3_URL", "TARN_S3_BUCKET", "TARN_S3_ACCESS_KEY", "TARN_S3_SECRET_KEY", "TARN_S3_REGION"};
  for (const char* name : names) {
    if (std::getenv(name) == nullptr) {
      state.SkipWithError("the TARN_S3_* variables must name the S3 test store");
      return nullptr;
    }
  }
  EndpointConfig ep;
  ep.protocol = "s3";
  ep.host = std::getenv("TARN_S3_URL");
  ep.root = std::string("/") + std::getenv("TARN_S3_BUCKET") + "/bench";
  ep.user = std::getenv("TARN_S3_ACCESS_KEY");
  ep.password = std::getenv("TARN_S3_SECRET_KEY");
  ep.extra = std::string("region=") + std::getenv("TARN_S3_REGION");
  auto s3 = std::make_unique<S3Backend>(ep);
  if (!s3->connect().ok()) {
    state.SkipWithError("cannot connect to the S3 test store");
    return nullptr;
  }
  return s3;
}

std::vector<uint8_t> Data(uint64_t size) {
  std::vector<uint8_t> data(size);
  std::mt19937_64 gen(42);
  for (size_t i = 0; i + 8 <= data.size(); i += 8) {
    uint64_t v = gen();
    std::memcpy(data.data() + i, &v, 8);
  }
  return data;
}

bool Upload(S3Backend& s3, const std::string& path, const std::vector<uint8_t>& data) {
  constexpr size_t kPiece = 1 << 20;
  std::unique_ptr<IWriteStream> w;
  if (!s3.openWrite(path, 0, data.size(), w).ok()) return false;
  for (size_t at = 0; at < data.size(); at += kPiece)
    if (!w->write(data.data() + at, std::min(kPiece, data.size() - at)).ok()) return false;
  return w->finish(nullptr).ok();
}

void BM_Upload(benchmark::State& state) {
  auto s3 = Swift(state);
  if (!s3) return;
  const std::vector<uint8_t> data = Data(static_cast<uint64_t>(state.range(0)));
  for (auto _ : state)
    if (!Upload(*s3, "/bench-upload.bin", data)) return state.SkipWithError("upload failed");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}
BENCHMARK(BM_Upload)->Arg(kSingleBytes)->Arg(kMultipartBytes)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RangedReads(benchmark::State& state) {
  auto s3 = Swift(state);
  if (!s3) return;
  RemoteAttr attr;
  if (!s3->stat(kReadObject, attr).ok() || attr.size != kReadObjectBytes) {
    if (!Upload(*s3, kReadObject, Data(kReadObjectBytes))) return state.SkipWithError("cannot write the object");
  }
  const uint64_t block = static_cast<uint64_t>(state.range(0));
  std::vector<uint8_t> buf(block);
  for (auto _ : state) {
    for (uint64_t at = 0; at < kReadObjectBytes; at += block) {
      uint64_t got = 0;
      if (!s3->readRange(kReadObject, at, buf.data(), block, got).ok() || got != block)
        return state.SkipWithError("read failed");
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kReadObjectBytes));
}
BENCHMARK(BM_RangedReads)->Arg(256 << 10)->Arg(4 << 20)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace tarn

BENCHMARK_MAIN();
