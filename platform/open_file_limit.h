// The number of files this process may hold open. Debian's default soft
// limit (1024) is far below what a service serving several drives may need
// while thousands of files wait for upload; the hard limit is what the
// administrator allows, and servers commonly take all of it at start.
#pragma once

#include "foundation/status.h"

namespace tarn {

// Raises the soft RLIMIT_NOFILE to the hard limit; a failure is logged as a
// warning too (the process runs on under the old limit). Main thread,
// before other threads start.
Status RaiseOpenFileLimit();

// The soft RLIMIT_NOFILE: the descriptors this process may hold.
uint64_t OpenFileLimit();

}  // namespace tarn
