#include "engine/clock.h"

#include <atomic>
#include <chrono>

namespace tarn {
namespace {

std::atomic<ClockSource> g_source{nullptr};

}  // namespace

uint64_t SteadyNowMs() {
  if (ClockSource source = g_source.load(std::memory_order_acquire)) return source();
  auto since = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

void SetClockSource(ClockSource source) { g_source.store(source, std::memory_order_release); }

}  // namespace tarn
