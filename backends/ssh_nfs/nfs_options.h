// The NFS back-end's own options, read from the endpoint's `extra` text.
// Format: items "name=value" separated by ";" or ","; names are trimmed and
// compared without case, values trimmed; items without "=" and unknown names
// are ignored; a later item overrides an earlier one. Known names:
//   uid, gid     AUTH_UNIX identity sent with every call (decimal, 0..4294967295;
//                default: the process's effective ids)
//   mountport    TCP port of the MOUNT service (skips the portmap query)
//   nfsport      TCP port of the NFS service (skips the portmap query)
// A plain value; any thread.
#pragma once

#include <cstdint>
#include <string>

#include "foundation/status.h"

namespace tarn {

struct NfsOptions {
  uint32_t uid = 0;
  uint32_t gid = 0;
  uint32_t mountPort = 0;  // 0: ask the portmapper
  uint32_t nfsPort = 0;    // 0: the endpoint's port, else the portmapper
};

// Fills out from extra over the given default identity. A malformed number
// gives invalid (10) naming the item.
Status ParseNfsOptions(const std::string& extra, uint32_t defaultUid, uint32_t defaultGid, NfsOptions& out);

}  // namespace tarn
