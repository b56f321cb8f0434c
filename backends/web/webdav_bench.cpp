// Throughput of the parts on the read path: reading a large multistatus
// reply (time and the most heap it held, beside the whole-tree parse), and
// ranged reads and a streamed upload against the Apache test server
// (TARN_DAV_URL, TARN_DAV_USER, TARN_DAV_PASSWORD).
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "backends/web/webdav_backend.h"
#include "backends/web/webdav_multistatus.h"
#include "backends/web/xml.h"

namespace {

// Live and peak heap bytes of this process, for the memory counters.
std::atomic<int64_t> gLive{0};
std::atomic<int64_t> gPeak{0};

void* Counted(size_t size) {
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  int64_t live = gLive.fetch_add(static_cast<int64_t>(malloc_usable_size(p))) + static_cast<int64_t>(malloc_usable_size(p));
  int64_t peak = gPeak.load();
  while (live > peak && !gPeak.compare_exchange_weak(peak, live)) {
  }
  return p;
}

void Uncounted(void* p) {
  if (p == nullptr) return;
  gLive.fetch_sub(static_cast<int64_t>(malloc_usable_size(p)));
  std::free(p);
}

// The heap the code under measure added at its peak.
class PeakMeter {
 public:
  PeakMeter() : base_(gLive.load()) { gPeak.store(base_); }
  int64_t added() const { return gPeak.load() - base_; }

 private:
  int64_t base_;
};

}  // namespace

void* operator new(size_t size) { return Counted(size); }
void* operator new[](size_t size) { return Counted(size); }
void operator delete(void* p) noexcept { Uncounted(p); }
void operator delete[](void* p) noexcept { Uncounted(p); }
void operator delete(void* p, size_t) noexcept { Uncounted(p); }
void operator delete[](void* p, size_t) noexcept { Uncounted(p); }

namespace tarn {
namespace {

constexpr size_t kNetworkPiece = kDavBodyPieceBytes;

// A listing as Apache's mod_dav writes it, one response per file.
std::string Multistatus(int entries) {
  std::string doc =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<D:multistatus xmlns:D=\"DAV:\" xmlns:ns0=\"DAV:\">\n"
      "<D:response xmlns:lp1=\"DAV:\"><D:href>/dav/folder/</D:href><D:propstat><D:prop><lp1:resourcetype>"
      "<D:collection/></lp1:resourcetype></D:prop><D:status>HTTP/1.1 200 OK</D:status></D:propstat></D:response>\n";
  for (int i = 0; i < entries; ++i) {
    doc += "<D:response xmlns:lp1=\"DAV:\" xmlns:lp2=\"http://apache.org/dav/props/\">\n<D:href>/dav/folder/file%20" +
           std::to_string(i) +
           ".txt</D:href>\n<D:propstat>\n<D:prop>\n<lp1:resourcetype/>\n<lp1:creationdate>2024-05-01T10:00:00Z"
           "</lp1:creationdate>\n<lp1:getcontentlength>" + std::to_string(i * 1000) +
           "</lp1:getcontentlength>\n<lp1:getlastmodified>Wed, 01 May 2024 10:00:00 GMT</lp1:getlastmodified>\n"
           "<lp1:getetag>\"" + std::to_string(i * 7919) + "-61795d2a8c8d1\"</lp1:getetag>\n</D:prop>\n"
           "<D:status>HTTP/1.1 200 OK</D:status>\n</D:propstat>\n<D:propstat>\n<D:prop>\n<quota-available-bytes/>\n"
           "<quota-used-bytes/>\n</D:prop>\n<D:status>HTTP/1.1 404 Not Found</D:status>\n</D:propstat>\n"
           "</D:response>\n";
  }
  return doc + "</D:multistatus>\n";
}

// The whole reply held and parsed into one tree, as listings were read before.
void BM_ParseListingTree(benchmark::State& state) {
  const std::string doc = Multistatus(static_cast<int>(state.range(0)));
  int64_t peak = 0;
  for (auto _ : state) {
    PeakMeter meter;
    std::string body(doc);  // the reply as it was read whole
    auto root = ParseXml(body);
    benchmark::DoNotOptimize(root);
    peak = std::max(peak, meter.added());
  }
  state.counters["peak_MiB"] = static_cast<double>(peak) / (1 << 20);
  state.counters["reply_MiB"] = static_cast<double>(doc.size()) / (1 << 20);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(doc.size()));
}
BENCHMARK(BM_ParseListingTree)->Arg(1000)->Arg(200000)->Unit(benchmark::kMillisecond);

// The reply read as it streams in, in the pieces the network gives.
void BM_ReadListingStream(benchmark::State& state) {
  const std::string doc = Multistatus(static_cast<int>(state.range(0)));
  int64_t peak = 0;
  size_t entries = 0;
  for (auto _ : state) {
    PeakMeter meter;
    PropfindReader reader("/dav/folder", 1, false);
    for (size_t at = 0; at < doc.size(); at += kNetworkPiece)
      if (!reader.feed(std::string_view(doc).substr(at, kNetworkPiece)).ok()) return state.SkipWithError("feed");
    if (!reader.finish().ok()) return state.SkipWithError("finish");
    entries = reader.entries().size();
    peak = std::max(peak, meter.added());
  }
  if (entries != static_cast<size_t>(state.range(0))) return state.SkipWithError("wrong number of entries");
  state.counters["peak_MiB"] = static_cast<double>(peak) / (1 << 20);
  state.counters["reply_MiB"] = static_cast<double>(doc.size()) / (1 << 20);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(doc.size()));
}
BENCHMARK(BM_ReadListingStream)->Arg(1000)->Arg(200000)->Unit(benchmark::kMillisecond);

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

// Small files as a drive stores them: a look that misses, create, the
// bytes in one PUT, a look at the result. Each iteration is one file.
void BM_SmallFiles(benchmark::State& state) {
  auto b = Apache(state);
  if (!b) return;
  const std::string folder = "/bench-small-" + std::to_string(::getpid());
  (void)b->mkdir(folder);
  std::vector<uint8_t> data(4096, 0x5A);
  uint64_t n = 0;
  for (auto _ : state) {
    const std::string path = folder + "/f" + std::to_string(n++);
    RemoteAttr attr;
    (void)b->stat(path, attr);
    std::unique_ptr<IWriteStream> w;
    Status st = b->create(path);
    if (st.ok()) st = b->openWrite(path, 0, data.size(), w);
    if (st.ok()) st = w->write(data.data(), data.size());
    if (st.ok()) st = w->finish(&attr);
    if (st.ok()) st = b->stat(path, attr);
    if (!st.ok()) return state.SkipWithError(st.toString().c_str());
  }
  for (uint64_t i = 0; i < n; ++i) (void)b->remove(folder + "/f" + std::to_string(i), false);
  (void)b->remove(folder, true);
}
BENCHMARK(BM_SmallFiles)->Iterations(500)->UseRealTime();

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
BENCHMARK(BM_RangedReads)->Arg(256 << 10)->Arg(1 << 20)->Arg(4 << 20)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace tarn

BENCHMARK_MAIN();
