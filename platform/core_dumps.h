// Keeps the service's memory, which holds the drives' passwords and keys in
// clear while it runs, out of core files and away from other processes of
// its user: a non-dumpable process writes no core, and only a holder of
// CAP_SYS_PTRACE may read its memory or trace it (gcore as root still can).
#pragma once

#include "foundation/status.h"

namespace tarn {

// Marks the whole process non-dumpable. Main thread, at start, before any
// secret is read.
Status MakeProcessNonDumpable();

}  // namespace tarn
