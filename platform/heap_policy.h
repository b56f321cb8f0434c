// How the process's heap treats large blocks. glibc maps a block of its
// mmap threshold or more on its own and gives it back when freed, but raises
// that threshold to the size of every mapped block freed (up to 32 MiB). After
// a backup's packs have come and gone, every blob buffer then comes from the
// per-thread arenas of the reader and seal threads, which keep what they
// once held: a service would stay hundreds of MiB larger after one backup.
#pragma once

#include <cstddef>

#include "foundation/status.h"

namespace tarn {

// Blocks from this size on are mapped on their own: every buffer a backup
// or restore moves between threads, none of the small objects.
constexpr size_t kLargeBlockBytes = 262144;  // 256 KiB

// Fixes the threshold at kLargeBlockBytes, which also ends its raising; a
// failure is logged as a warning (the process runs on with the default).
// Main thread, before other threads start.
Status ReturnLargeBlocksToSystem();

}  // namespace tarn
