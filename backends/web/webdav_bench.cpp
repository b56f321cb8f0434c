// Throughput of the parts on the read path: parsing a large multistatus
// reply, and ranged reads and a streamed upload against the Apache test
// server (TARN_DAV_URL, TARN_DAV_USER, TARN_DAV_PASSWORD).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "backends/web/webdav_backend.h"
#include "backends/web/xml.h"

namespace tarn {
namespace {

std::string Multistatus(int entries) {
  std::string doc = "<?xml version=\"1.0\" encoding=\"utf-8\"?><D:multistatus xmlns:D=\"DAV:\">";
  for (int i = 0; i < entries; ++i) {
    doc += "<D:response><D:href>/dav/folder/file%20" + std::to_string(i) +
           ".txt</D:href><D:propstat><D:prop><D:resourcetype/><D:getcontentlength>" + std::to_string(i * 1000) +
           "</D:getcontentlength><D:getlastmodified>Sun, 06 Nov 1994 08:49:37 GMT</D:getlastmodified>"
           "<D:getetag>\"abc-" + std::to_string(i) +
           "\"</D:getetag></D:prop><D:status>HTTP/1.1 200 OK</D:status></D:propstat></D:response>";
  }
  return doc + "</D:multistatus>";
}

void BM_ParseMultistatus(benchmark::State& state) {
  const std::string doc = Multistatus(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    auto root = ParseXml(doc);
    benchmark::DoNotOptimize(root);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(doc.size()));
}
BENCHMARK(BM_ParseMultistatus)->Arg(10)->Arg(1000)->Arg(10000);

std::unique_ptr<WebDavBackend> Apache(benchmark::State& state) {
  const char* url = std::getenv("TARN_DAV_URL");
  const char* user = std::getenv("TARN_DAV_USER");
  const char* password = std::getenv("TARN_DAV_PASSWORD");
  if (url == nullptr || user == nullptr || password == nullptr) {
    state.SkipWithError("TARN_DAV_URL, TARN_DAV_USER and TARN_DAV_PASSWORD must name the Apache test server");
    return nullptr;
  }
  EndpointConfig ep;
  ep.protocol = "webdav";
  ep.host = url;
  ep.user = user;
  ep.password = password;
  auto b = std::make_unique<WebDavBackend>(ep);
  if (!b->connect().ok()) {
    state.SkipWithError("cannot connect to the Apache test server");
    return nullptr;
  }
  return b;
}

constexpr uint64_t kFileBytes = 64ull << 20;

void BM_StreamedUpload(benchmark::State& state) {
  auto b = Apache(state);
  if (!b) return;
  std::vector<uint8_t> piece(1 << 20, 0x42);
  for (auto _ : state) {
    std::unique_ptr<IWriteStream> w;
    if (!b->openWrite("/bench.bin", 0, kFileBytes, w).ok()) return state.SkipWithError("openWrite failed");
    for (uint64_t sent = 0; sent < kFileBytes; sent += piece.size()) (void)w->write(piece.data(), piece.size());
    if (!w->finish(nullptr).ok()) return state.SkipWithError("upload failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileBytes));
}
BENCHMARK(BM_StreamedUpload)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RangedReads(benchmark::State& state) {
  auto b = Apache(state);
  if (!b) return;
  RemoteAttr attr;
  if (!b->stat("/bench.bin", attr).ok() || attr.size < kFileBytes)
    return state.SkipWithError("run BM_StreamedUpload first: /bench.bin is missing");
  const uint64_t block = static_cast<uint64_t>(state.range(0));
  std::vector<uint8_t> buf(block);
  for (auto _ : state) {
    for (uint64_t at = 0; at < kFileBytes; at += block) {
      uint64_t got = 0;
      if (!b->readRange("/bench.bin", at, buf.data(), block, got).ok()) return state.SkipWithError("read failed");
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileBytes));
}
BENCHMARK(BM_RangedReads)->Arg(256 << 10)->Arg(4 << 20)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace tarn

BENCHMARK_MAIN();
