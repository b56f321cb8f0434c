// A drive's cache folder as the service opens it: the block cache, the
// journal and the metadata the drive engine keeps there are written by
// root, so the folder must be the service's own, mode 0700, below folders
// nobody else may change, as the backup folder is. Stateless free
// functions; any thread.
#pragma once

#include <string>

#include "foundation/mount_config.h"
#include "foundation/status.h"

namespace tarn {

// Makes the drive's cache folder (its own below `cacheRoot`, or the one its
// settings choose) ready for the drive engine: missing parents made, a
// folder or link that someone else made at its place set aside (logged), the
// folder and the engine's entries in it the service's own. A folder below
// folders others may change, or an entry of the engine's that is a link or
// another user's, refuses it with the reason.
Status OpenCacheFolder(const MountConfig& config, const std::string& cacheRoot);

// The cache root made ready the same way, before the service deletes what
// is set aside in it.
Status OpenCacheRoot(const std::string& cacheRoot);

}  // namespace tarn
