// Parse and write of a configuration-sized JSON text.
#include <benchmark/benchmark.h>

#include <string>

#include "foundation/json.h"

namespace {

std::string ConfigText(int drives) {
  std::string text = R"({"cacheRoot":"/var/lib/tarn/cache","logLevel":"info","language":"de","mounts":[)";
  for (int i = 0; i < drives; ++i) {
    if (i > 0) text += ",";
    text += R"({"id":"0123456789abcdef","name":"Drive )" + std::to_string(i) +
            R"(","drive":"E","autoMount":true,"endpoint":{"protocol":"webdav","host":"dav.example.org","port":443,)"
            R"("root":"/remote.php/dav/files/user/","user":"user","password":"dpapi:AAAA","tls":true,"verifyTls":true},)"
            R"("net":{"connectTimeoutSec":15,"ioTimeoutSec":60,"retries":5,"retryBaseMs":500,"keepaliveSec":30},)"
            R"("cache":{"blockSize":1048576,"sizeLimitMb":10240,"writeBackDelaySec":2.5},"probed":false})";
  }
  return text + "]}";
}

void BM_ParseConfig(benchmark::State& state) {
  std::string text = ConfigText(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    vx::json::Value v;
    benchmark::DoNotOptimize(vx::json::Parse(text, v));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ParseConfig)->Arg(1)->Arg(16);

void BM_DumpConfig(benchmark::State& state) {
  vx::json::Value v;
  vx::json::Parse(ConfigText(static_cast<int>(state.range(0))), v);
  for (auto _ : state) benchmark::DoNotOptimize(v.dump(2));
}
BENCHMARK(BM_DumpConfig)->Arg(1)->Arg(16);

}  // namespace

BENCHMARK_MAIN();
