#include "platform/heap_policy.h"

#include <malloc.h>

#include "foundation/log.h"

namespace tarn {

Status ReturnLargeBlocksToSystem() {
  if (::mallopt(M_MMAP_THRESHOLD, int(kLargeBlockBytes)) == 1) return Status();
  Status st(Status::kIo, "mallopt refused the mmap threshold");
  vx::log::write(vx::log::kWarn, "cannot fix the heap's mmap threshold: %s", st.toString().c_str());
  return st;
}

}  // namespace tarn
