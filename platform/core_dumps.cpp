#include "platform/core_dumps.h"

#include <sys/prctl.h>

#include <cerrno>

#include "foundation/text.h"

namespace tarn {

Status MakeProcessNonDumpable() {
  if (::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0) return Status();
  const int err = errno;
  return Status(Status::kIo, "cannot keep the process out of core dumps: " + vx::FormatWin32Error(uint32_t(err)), err);
}

}  // namespace tarn
