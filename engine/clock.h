// The drive engine's time base: steady-clock milliseconds for every deadline,
// interval and cache lifetime. Tests may replace the source so that lifetimes
// and intervals pass without real sleeps; any thread may read the clock.
#pragma once

#include <cstdint>

namespace tarn {

// The current steady-clock time in milliseconds.
uint64_t SteadyNowMs();

// A replacement time source; null restores the real steady clock. The source
// must be callable from any thread and stay valid until it is replaced.
using ClockSource = uint64_t (*)();
void SetClockSource(ClockSource source);

}  // namespace tarn
