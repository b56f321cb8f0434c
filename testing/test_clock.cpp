#include "testing/test_clock.h"

#include <atomic>
#include <cstdlib>

#include "engine/clock.h"

namespace tarn::test {
namespace {

std::atomic<uint64_t> g_now{0};
std::atomic<bool> g_installed{false};

uint64_t ReadTestClock() { return g_now.load(std::memory_order_acquire); }

}  // namespace

ScopedTestClock::ScopedTestClock(uint64_t startMs) {
  // Two live test clocks would fight over one global source.
  if (g_installed.exchange(true)) std::abort();
  g_now.store(startMs, std::memory_order_release);
  SetClockSource(&ReadTestClock);
}

ScopedTestClock::~ScopedTestClock() {
  SetClockSource(nullptr);
  g_installed.store(false);
}

uint64_t ScopedTestClock::now() const { return g_now.load(std::memory_order_acquire); }

void ScopedTestClock::advance(uint64_t ms) { g_now.fetch_add(ms, std::memory_order_acq_rel); }

void ScopedTestClock::set(uint64_t ms) { g_now.store(ms, std::memory_order_release); }

}  // namespace tarn::test
